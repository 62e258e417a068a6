// The two IDPROM decoders. Images come from hardware, so every length is
// checked against the 256-byte image before it is used.
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <span>

#include "idprom.h"

namespace {

struct TextField {
  uint8_t tag;
  size_t offset;
  size_t capacity;  // bytes in the record, terminator included
  const char* name;
};

constexpr TextField kTextFields[] = {
    {DC_IDPROM_TAG_PID, offsetof(dc_idprom_content, pid), sizeof(dc_idprom_content::pid), "product id"},
    {DC_IDPROM_TAG_VID, offsetof(dc_idprom_content, vid), sizeof(dc_idprom_content::vid), "version id"},
    {DC_IDPROM_TAG_PCB_SERIAL, offsetof(dc_idprom_content, pcb_serial), sizeof(dc_idprom_content::pcb_serial),
     "PCB serial"},
    {DC_IDPROM_TAG_CLEI, offsetof(dc_idprom_content, clei), sizeof(dc_idprom_content::clei), "equipment code"},
    {DC_IDPROM_TAG_PART_NUM, offsetof(dc_idprom_content, part_num), sizeof(dc_idprom_content::part_num),
     "part number"},
    {DC_IDPROM_TAG_DESCR, offsetof(dc_idprom_content, descr), sizeof(dc_idprom_content::descr), "description"},
    {DC_IDPROM_TAG_HW_REV, offsetof(dc_idprom_content, hw_rev), sizeof(dc_idprom_content::hw_rev),
     "hardware revision"},
    {DC_IDPROM_TAG_MFG_DATE, offsetof(dc_idprom_content, mfg_date), sizeof(dc_idprom_content::mfg_date),
     "manufacturing date"},
};

struct NumberField {
  uint8_t tag;
  size_t offset;
  const char* name;
};

constexpr NumberField kNumberFields[] = {
    {DC_IDPROM_TAG_VERSION, offsetof(dc_idprom_content, version), "version"},
    {DC_IDPROM_TAG_BOARD_ID, offsetof(dc_idprom_content, board_id), "board id"},
    {DC_IDPROM_TAG_FORMAT_REV, offsetof(dc_idprom_content, format_rev), "format revision"},
};

constexpr uint8_t kRequired[] = {DC_IDPROM_TAG_VERSION, DC_IDPROM_TAG_BOARD_ID, DC_IDPROM_TAG_PID,
                                 DC_IDPROM_TAG_PCB_SERIAL};

const char* class_name(uint8_t unit_class) {
  switch (unit_class) {
    case DC_IDPROM_CLASS_FAN:
      return "fan tray";
    case DC_IDPROM_CLASS_PS:
      return "power module";
    default:
      return "unknown";
  }
}

int fail(char* err_text, uint32_t err_len, int code, const char* fmt, ...) __attribute__((format(printf, 4, 5)));
int fail(char* err_text, uint32_t err_len, int code, const char* fmt, ...) {
  if (err_text != nullptr && err_len > 0) {
    va_list ap;
    va_start(ap, fmt);
    std::vsnprintf(err_text, err_len, fmt, ap);
    va_end(ap);
  }
  return code;
}

uint32_t read_be32(std::span<const uint8_t> v) {
  return (uint32_t{v[0]} << 24) | (uint32_t{v[1]} << 16) | (uint32_t{v[2]} << 8) | uint32_t{v[3]};
}

int decode(const uint8_t* image, uint32_t image_len, dc_idprom_content* content, char* err_text, uint32_t err_len,
           uint8_t want_class) {
  if (err_text == nullptr || err_len == 0) return DC_IDPROM_ERR_ARG;
  err_text[0] = '\0';
  if (image == nullptr || content == nullptr)
    return fail(err_text, err_len, DC_IDPROM_ERR_ARG, "null %s", image == nullptr ? "image" : "record");
  if (image_len < DC_IDPROM_IMAGE_SIZE)
    return fail(err_text, err_len, DC_IDPROM_ERR_ARG, "image of %u bytes, %u needed", image_len,
                DC_IDPROM_IMAGE_SIZE);
  std::span<const uint8_t> img(image, DC_IDPROM_IMAGE_SIZE);

  if (img[0] != 'I' || img[1] != 'D')
    return fail(err_text, err_len, DC_IDPROM_ERR_MAGIC, "bad magic 0x%02x%02x", img[0], img[1]);
  if (img[2] != DC_IDPROM_FORMAT) return fail(err_text, err_len, DC_IDPROM_ERR_FORMAT, "unknown format %u", img[2]);
  const size_t payload_len = (size_t{img[4]} << 8) | img[5];
  if (payload_len == 0 || payload_len > DC_IDPROM_MAX_PAYLOAD)
    return fail(err_text, err_len, DC_IDPROM_ERR_LENGTH, "payload length %zu out of range", payload_len);
  const size_t crc_at = DC_IDPROM_HEADER_SIZE + payload_len;
  const uint16_t stored = static_cast<uint16_t>((img[crc_at] << 8) | img[crc_at + 1]);
  const uint16_t computed = dc_idprom_crc16(img.data(), crc_at);
  if (stored != computed)
    return fail(err_text, err_len, DC_IDPROM_ERR_CHECKSUM, "checksum 0x%04x, computed 0x%04x", stored, computed);
  // Only an intact image is judged by its class, so that damage is reported
  // as damage by either decoder.
  if (img[3] != want_class)
    return fail(err_text, err_len, DC_IDPROM_ERR_CLASS, "%s image, not a %s image", class_name(img[3]),
                class_name(want_class));

  std::memset(content, 0, sizeof(*content));
  content->unit_class = img[3];
  auto* rec = reinterpret_cast<unsigned char*>(content);
  uint32_t seen = 0;  // bit per tag 1..31
  std::span<const uint8_t> payload = img.subspan(DC_IDPROM_HEADER_SIZE, payload_len);
  size_t pos = 0;
  while (pos < payload.size()) {
    if (payload.size() - pos < 2)
      return fail(err_text, err_len, DC_IDPROM_ERR_TRUNCATED, "field header cut at payload byte %zu", pos);
    const uint8_t tag = payload[pos];
    const size_t len = payload[pos + 1];
    pos += 2;
    if (len > payload.size() - pos)
      return fail(err_text, err_len, DC_IDPROM_ERR_TRUNCATED, "field 0x%02x of %zu bytes runs past the payload",
                  tag, len);
    std::span<const uint8_t> value = payload.subspan(pos, len);
    pos += len;
    if (tag == 0 || tag > 31) continue;  // tags this decoder does not know
    if (seen & (1u << tag)) return fail(err_text, err_len, DC_IDPROM_ERR_FIELD, "field 0x%02x repeated", tag);
    seen |= 1u << tag;
    bool known = false;
    for (const auto& f : kNumberFields) {
      if (f.tag != tag) continue;
      known = true;
      if (len != 4) return fail(err_text, err_len, DC_IDPROM_ERR_FIELD, "%s of %zu bytes", f.name, len);
      const uint32_t v = read_be32(value);
      std::memcpy(rec + f.offset, &v, sizeof(v));
    }
    for (const auto& f : kTextFields) {
      if (f.tag != tag) continue;
      known = true;
      if (len >= f.capacity)
        return fail(err_text, err_len, DC_IDPROM_ERR_FIELD, "%s of %zu bytes, at most %zu", f.name, len,
                    f.capacity - 1);
      if (std::memchr(value.data(), '\0', len) != nullptr)
        return fail(err_text, err_len, DC_IDPROM_ERR_FIELD, "%s holds a zero byte", f.name);
      std::memcpy(rec + f.offset, value.data(), len);
      rec[f.offset + len] = '\0';
    }
    if (!known) seen &= ~(1u << tag);  // unknown tags may repeat
  }
  for (uint8_t tag : kRequired) {
    if (!(seen & (1u << tag)))
      return fail(err_text, err_len, DC_IDPROM_ERR_MISSING, "required field 0x%02x missing", tag);
  }
  return DC_IDPROM_OK;
}

}  // namespace

extern "C" {

uint16_t dc_idprom_crc16(const uint8_t* data, size_t len) {
  uint16_t crc = 0xffff;
  for (size_t i = 0; i < len; ++i) {
    crc = static_cast<uint16_t>(crc ^ (uint16_t{data[i]} << 8));
    for (int b = 0; b < 8; ++b)
      crc = static_cast<uint16_t>((crc & 0x8000) ? (crc << 1) ^ 0x1021 : crc << 1);
  }
  return crc;
}

int dc_extract_fan_idprom_content(const uint8_t* image, uint32_t image_len, dc_idprom_content* content,
                                  char* err_text, uint32_t err_len) {
  return decode(image, image_len, content, err_text, err_len, DC_IDPROM_CLASS_FAN);
}

int dc_extract_ps_idprom_content(const uint8_t* image, uint32_t image_len, dc_idprom_content* content,
                                 char* err_text, uint32_t err_len) {
  return decode(image, image_len, content, err_text, err_len, DC_IDPROM_CLASS_PS);
}

}  // extern "C"

// Writing IDPROM images in the layout that the decoders read.
#include <cstring>
#include <vector>

#include "idprom_image.h"

namespace {

void put_be32(std::vector<uint8_t>& out, uint8_t tag, uint32_t v) {
  out.insert(out.end(), {tag, 4, static_cast<uint8_t>(v >> 24), static_cast<uint8_t>(v >> 16),
                         static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v)});
}

// false when the text fills its field without a terminator.
bool put_text(std::vector<uint8_t>& out, uint8_t tag, const char* text, size_t capacity) {
  const size_t len = strnlen(text, capacity);
  if (len == capacity) return false;
  if (len == 0) return true;
  out.push_back(tag);
  out.push_back(static_cast<uint8_t>(len));
  out.insert(out.end(), text, text + len);
  return true;
}

}  // namespace

extern "C" {

int dc_idprom_image_build(const dc_idprom_content* c, uint8_t unit_class, uint8_t* image, size_t image_len) {
  if (c == nullptr || image == nullptr || image_len < DC_IDPROM_IMAGE_SIZE) return DC_IDPROM_ERR_ARG;
  std::vector<uint8_t> payload;
  put_be32(payload, DC_IDPROM_TAG_VERSION, c->version);
  put_be32(payload, DC_IDPROM_TAG_BOARD_ID, c->board_id);
  put_be32(payload, DC_IDPROM_TAG_FORMAT_REV, c->format_rev);
  const bool texts_ok = put_text(payload, DC_IDPROM_TAG_PID, c->pid, sizeof(c->pid)) &&
                        put_text(payload, DC_IDPROM_TAG_VID, c->vid, sizeof(c->vid)) &&
                        put_text(payload, DC_IDPROM_TAG_PCB_SERIAL, c->pcb_serial, sizeof(c->pcb_serial)) &&
                        put_text(payload, DC_IDPROM_TAG_CLEI, c->clei, sizeof(c->clei)) &&
                        put_text(payload, DC_IDPROM_TAG_PART_NUM, c->part_num, sizeof(c->part_num)) &&
                        put_text(payload, DC_IDPROM_TAG_DESCR, c->descr, sizeof(c->descr)) &&
                        put_text(payload, DC_IDPROM_TAG_HW_REV, c->hw_rev, sizeof(c->hw_rev)) &&
                        put_text(payload, DC_IDPROM_TAG_MFG_DATE, c->mfg_date, sizeof(c->mfg_date));
  if (!texts_ok || payload.size() > DC_IDPROM_MAX_PAYLOAD) return DC_IDPROM_ERR_FIELD;

  std::memset(image, 0xff, DC_IDPROM_IMAGE_SIZE);
  image[0] = 'I';
  image[1] = 'D';
  image[2] = DC_IDPROM_FORMAT;
  image[3] = unit_class;
  image[4] = static_cast<uint8_t>(payload.size() >> 8);
  image[5] = static_cast<uint8_t>(payload.size());
  std::memcpy(image + DC_IDPROM_HEADER_SIZE, payload.data(), payload.size());
  return dc_idprom_image_reseal(image, image_len);
}

int dc_idprom_image_reseal(uint8_t* image, size_t image_len) {
  if (image == nullptr || image_len < DC_IDPROM_IMAGE_SIZE) return DC_IDPROM_ERR_ARG;
  const size_t payload_len = (size_t{image[4]} << 8) | image[5];
  if (payload_len == 0 || payload_len > DC_IDPROM_MAX_PAYLOAD) return DC_IDPROM_ERR_LENGTH;
  const size_t crc_at = DC_IDPROM_HEADER_SIZE + payload_len;
  const uint16_t crc = dc_idprom_crc16(image, crc_at);
  image[crc_at] = static_cast<uint8_t>(crc >> 8);
  image[crc_at + 1] = static_cast<uint8_t>(crc);
  return DC_IDPROM_OK;
}

}  // extern "C"

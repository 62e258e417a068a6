#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "idprom.h"
#include "idprom_image.h"

namespace {

using Image = std::array<uint8_t, DC_IDPROM_IMAGE_SIZE>;

template <size_t N>
void put(char (&field)[N], const char* value) {
  std::snprintf(field, N, "%s", value);
}

dc_idprom_content fan_fields() {
  dc_idprom_content c{};
  c.version = 0x00020001;
  c.board_id = 0xab040002;
  c.format_rev = 1;
  put(c.pid, "TVR-FAN-8S-V2");
  put(c.pcb_serial, "FTV2320A0K1");
  put(c.vid, "V02");
  put(c.clei, "TVRF8S2A01");
  put(c.part_num, "68-4402-02");
  put(c.descr, "Fan tray");
  put(c.hw_rev, "2.1");
  put(c.mfg_date, "2023-05-17");
  return c;
}

Image build(const dc_idprom_content& c, uint8_t unit_class) {
  Image img{};
  EXPECT_EQ(dc_idprom_image_build(&c, unit_class, img.data(), img.size()), DC_IDPROM_OK);
  return img;
}

// An image whose payload is exactly `payload`, with a correct checksum.
Image raw_image(uint8_t unit_class, const std::vector<uint8_t>& payload) {
  Image img;
  img.fill(0xff);
  img[0] = 'I';
  img[1] = 'D';
  img[2] = DC_IDPROM_FORMAT;
  img[3] = unit_class;
  img[4] = static_cast<uint8_t>(payload.size() >> 8);
  img[5] = static_cast<uint8_t>(payload.size());
  std::copy(payload.begin(), payload.end(), img.begin() + DC_IDPROM_HEADER_SIZE);
  EXPECT_EQ(dc_idprom_image_reseal(img.data(), img.size()), DC_IDPROM_OK);
  return img;
}

std::vector<uint8_t> num(uint8_t tag, uint32_t v) {
  return {tag, 4, uint8_t(v >> 24), uint8_t(v >> 16), uint8_t(v >> 8), uint8_t(v)};
}
std::vector<uint8_t> text(uint8_t tag, const std::string& s) {
  std::vector<uint8_t> out(s.size() + 2);
  out[0] = tag;
  out[1] = uint8_t(s.size());
  std::memcpy(out.data() + 2, s.data(), s.size());
  return out;
}
std::vector<uint8_t> cat(std::initializer_list<std::vector<uint8_t>> parts) {
  std::vector<uint8_t> out;
  for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}
std::vector<uint8_t> required() {
  return cat({num(DC_IDPROM_TAG_VERSION, 0x10002), num(DC_IDPROM_TAG_BOARD_ID, 0xab040000),
              text(DC_IDPROM_TAG_PID, "TVR-FAN-8S"), text(DC_IDPROM_TAG_PCB_SERIAL, "ABC")});
}

TEST(IdpromDecode, GoodImagesDecodeEveryField) {
  const dc_idprom_content want = fan_fields();
  const Image img = build(want, DC_IDPROM_CLASS_FAN);
  dc_idprom_content got{};
  char err[500];
  ASSERT_EQ(dc_extract_fan_idprom_content(img.data(), 256, &got, err, sizeof(err)), DC_IDPROM_OK) << err;
  EXPECT_EQ(got.version, want.version);
  EXPECT_EQ(got.board_id, want.board_id);
  EXPECT_EQ(got.format_rev, want.format_rev);
  EXPECT_STREQ(got.pid, want.pid);
  EXPECT_STREQ(got.pcb_serial, want.pcb_serial);
  EXPECT_STREQ(got.vid, want.vid);
  EXPECT_STREQ(got.clei, want.clei);
  EXPECT_STREQ(got.part_num, want.part_num);
  EXPECT_STREQ(got.descr, want.descr);
  EXPECT_STREQ(got.hw_rev, want.hw_rev);
  EXPECT_STREQ(got.mfg_date, want.mfg_date);
  EXPECT_EQ(got.unit_class, DC_IDPROM_CLASS_FAN);

  // Bytes after the 256 of the image are not looked at.
  std::vector<uint8_t> longer(img.begin(), img.end());
  longer.resize(300, 0xaa);
  EXPECT_EQ(dc_extract_fan_idprom_content(longer.data(), 300, &got, err, sizeof(err)), DC_IDPROM_OK) << err;
}

TEST(IdpromDecode, EachDecoderTakesOnlyItsUnitClass) {
  const Image fan = build(fan_fields(), DC_IDPROM_CLASS_FAN);
  const Image ps = build(fan_fields(), DC_IDPROM_CLASS_PS);
  dc_idprom_content got{};
  char err[500];
  EXPECT_EQ(dc_extract_ps_idprom_content(ps.data(), 256, &got, err, sizeof(err)), DC_IDPROM_OK) << err;
  EXPECT_EQ(dc_extract_ps_idprom_content(fan.data(), 256, &got, err, sizeof(err)), DC_IDPROM_ERR_CLASS);
  EXPECT_STREQ(err, "fan tray image, not a power module image");
  EXPECT_EQ(dc_extract_fan_idprom_content(ps.data(), 256, &got, err, sizeof(err)), DC_IDPROM_ERR_CLASS);
}

TEST(IdpromDecode, DamagedImagesAreRefusedWithTheirReason) {
  struct Case {
    const char* name;
    Image image;
    int code;
    const char* reason;  // start of the error text
  };
  Image bad_magic = build(fan_fields(), DC_IDPROM_CLASS_FAN);
  bad_magic[0] = 'X';
  Image bad_format = build(fan_fields(), DC_IDPROM_CLASS_FAN);
  bad_format[2] = 2;
  Image bad_crc = build(fan_fields(), DC_IDPROM_CLASS_FAN);
  bad_crc[20] ^= 0x01;
  Image zero_len = build(fan_fields(), DC_IDPROM_CLASS_FAN);
  zero_len[4] = zero_len[5] = 0;
  Image long_len = build(fan_fields(), DC_IDPROM_CLASS_FAN);
  long_len[4] = 0;
  long_len[5] = DC_IDPROM_MAX_PAYLOAD + 1;
  Image blank;
  blank.fill(0xff);

  const Case cases[] = {
      {"erased part", blank, DC_IDPROM_ERR_MAGIC, "bad magic"},
      {"bad magic", bad_magic, DC_IDPROM_ERR_MAGIC, "bad magic"},
      {"unknown format", bad_format, DC_IDPROM_ERR_FORMAT, "unknown format 2"},
      {"flipped bit", bad_crc, DC_IDPROM_ERR_CHECKSUM, "checksum"},
      {"empty payload", zero_len, DC_IDPROM_ERR_LENGTH, "payload length 0"},
      {"payload past the image", long_len, DC_IDPROM_ERR_LENGTH, "payload length 249"},
      {"field longer than the payload",
       raw_image(DC_IDPROM_CLASS_FAN, cat({required(), {DC_IDPROM_TAG_DESCR, 40, 'a', 'b'}})),
       DC_IDPROM_ERR_TRUNCATED, "field 0x09 of 40 bytes runs past"},
      {"field header cut", raw_image(DC_IDPROM_CLASS_FAN, cat({required(), {DC_IDPROM_TAG_DESCR}})),
       DC_IDPROM_ERR_TRUNCATED, "field header cut"},
      {"short number", raw_image(DC_IDPROM_CLASS_FAN, cat({required(), {DC_IDPROM_TAG_FORMAT_REV, 3, 1, 2, 3}})),
       DC_IDPROM_ERR_FIELD, "format revision of 3 bytes"},
      {"product id too long for its field",
       raw_image(DC_IDPROM_CLASS_FAN, cat({num(DC_IDPROM_TAG_VERSION, 1), num(DC_IDPROM_TAG_BOARD_ID, 2),
                                           text(DC_IDPROM_TAG_PID, "ABCDEFGHIJKLMNOPQR"),
                                           text(DC_IDPROM_TAG_PCB_SERIAL, "S")})),
       DC_IDPROM_ERR_FIELD, "product id of 18 bytes, at most 17"},
      {"serial with a zero byte",
       raw_image(DC_IDPROM_CLASS_FAN, cat({num(DC_IDPROM_TAG_VERSION, 1), num(DC_IDPROM_TAG_BOARD_ID, 2),
                                           text(DC_IDPROM_TAG_PID, "P"),
                                           text(DC_IDPROM_TAG_PCB_SERIAL, std::string("AB\0C", 4))})),
       DC_IDPROM_ERR_FIELD, "PCB serial holds a zero byte"},
      {"repeated field", raw_image(DC_IDPROM_CLASS_FAN, cat({required(), text(DC_IDPROM_TAG_PID, "X")})),
       DC_IDPROM_ERR_FIELD, "field 0x04 repeated"},
      {"no serial",
       raw_image(DC_IDPROM_CLASS_FAN,
                 cat({num(DC_IDPROM_TAG_VERSION, 1), num(DC_IDPROM_TAG_BOARD_ID, 2), text(DC_IDPROM_TAG_PID, "P")})),
       DC_IDPROM_ERR_MISSING, "required field 0x06 missing"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    dc_idprom_content got{};
    char err[500] = "unchanged";
    EXPECT_EQ(dc_extract_fan_idprom_content(c.image.data(), 256, &got, err, sizeof(err)), c.code);
    EXPECT_EQ(std::string(err).rfind(c.reason, 0), 0u) << err;
  }
}

TEST(IdpromDecode, UnknownFieldsAreSkipped) {
  const Image img = raw_image(DC_IDPROM_CLASS_FAN, cat({{0x40, 2, 9, 9}, required(), {0x1f, 0}, {0x1f, 1, 7}}));
  dc_idprom_content got{};
  char err[500];
  ASSERT_EQ(dc_extract_fan_idprom_content(img.data(), 256, &got, err, sizeof(err)), DC_IDPROM_OK) << err;
  EXPECT_STREQ(got.pid, "TVR-FAN-8S");
  EXPECT_STREQ(got.pcb_serial, "ABC");
}

TEST(IdpromDecode, BadArgumentsAreRefused) {
  const Image img = build(fan_fields(), DC_IDPROM_CLASS_FAN);
  dc_idprom_content got{};
  char err[500];
  EXPECT_EQ(dc_extract_fan_idprom_content(img.data(), 255, &got, err, sizeof(err)), DC_IDPROM_ERR_ARG);
  EXPECT_STREQ(err, "image of 255 bytes, 256 needed");
  EXPECT_EQ(dc_extract_fan_idprom_content(nullptr, 256, &got, err, sizeof(err)), DC_IDPROM_ERR_ARG);
  EXPECT_EQ(dc_extract_fan_idprom_content(img.data(), 256, nullptr, err, sizeof(err)), DC_IDPROM_ERR_ARG);
  EXPECT_EQ(dc_extract_fan_idprom_content(img.data(), 256, &got, nullptr, 500), DC_IDPROM_ERR_ARG);
  EXPECT_EQ(dc_extract_fan_idprom_content(img.data(), 256, &got, err, 0), DC_IDPROM_ERR_ARG);

  // A small error buffer gets a cut, terminated text.
  char small[8];
  std::memset(small, 'x', sizeof(small));
  EXPECT_EQ(dc_extract_fan_idprom_content(img.data(), 10, &got, small, sizeof(small)), DC_IDPROM_ERR_ARG);
  EXPECT_STREQ(small, "image o");
}

TEST(IdpromImage, BuildRefusesWhatTheDecoderCouldNotRead) {
  dc_idprom_content c = fan_fields();
  Image img{};
  std::memset(c.pid, 'A', sizeof(c.pid));  // no terminator
  EXPECT_EQ(dc_idprom_image_build(&c, DC_IDPROM_CLASS_FAN, img.data(), img.size()), DC_IDPROM_ERR_FIELD);

  c = fan_fields();
  std::memset(c.descr, 'd', sizeof(c.descr) - 1);
  std::memset(c.mfg_date, 'm', sizeof(c.mfg_date) - 1);
  std::memset(c.hw_rev, 'h', sizeof(c.hw_rev) - 1);
  std::memset(c.part_num, 'p', sizeof(c.part_num) - 1);
  EXPECT_EQ(dc_idprom_image_build(&c, DC_IDPROM_CLASS_FAN, img.data(), img.size()), DC_IDPROM_ERR_FIELD);
  EXPECT_EQ(dc_idprom_image_build(&c, DC_IDPROM_CLASS_FAN, img.data(), 255), DC_IDPROM_ERR_ARG);
}

}  // namespace

// IDPROM field extraction: decoding, the product-id lists, the board-id
// correction and the refusal of short buffers and damaged images.
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "envmon_hal.h"
#include "hal_test_support.h"
#include "idprom.h"
#include "idprom_image.h"
#include "invreg.h"
#include "tlg_test.h"

namespace {

using Image = std::array<uint8_t, 256>;

template <size_t N>
void put(char (&field)[N], const char* value) {
  std::snprintf(field, N, "%s", value);
}

Image image(uint8_t unit_class, const char* pid, uint32_t board_id = 0xab010000, uint32_t version = 0x00030002) {
  dc_idprom_content c{};
  c.version = version;
  c.board_id = board_id;
  c.format_rev = 1;
  put(c.pid, pid);
  put(c.pcb_serial, "SER12345678");
  put(c.vid, "V03");
  put(c.clei, "CLEI000001");
  put(c.part_num, "68-1234-03");
  put(c.descr, "unit under test");
  put(c.hw_rev, "3.2");
  put(c.mfg_date, "2024-01-31");
  Image img{};
  EXPECT_EQ(dc_idprom_image_build(&c, unit_class, img.data(), img.size()), DC_IDPROM_OK) << pid;
  return img;
}

std::vector<uint8_t> read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

bool err_trace(const std::string& text) { return tlg_test_contains("envmon_lib_err", text); }

class Idprom : public testing::Test {
 protected:
  void SetUp() override {
    haltest::reset_pem();
    ASSERT_EQ(envmon_hal_tlg_init(nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                  nullptr),
              0u);
    tlg_test_clear();
  }
};

TEST_F(Idprom, ImagesOfTheDefaultChassis) {
  struct Case {
    const char* file;
    const char* pid;
    uint16_t hw_version;
    const char* serial;
  };
  const Case cases[] = {
      {"ft0.bin", "TVR-FAN-8S-V2", 0x0201, "FTV2320A0K1"}, {"ft1.bin", "TVR-FAN-8S-V2", 0x0201, "FTV2320A0K2"},
      {"ft2.bin", "TVR-FAN-8S-V2", 0x0201, "FTV2320A0K3"}, {"pm0.bin", "TVR-PSU3K-AC", 0x0103, "PTV2306B1A1"},
      {"pm1.bin", "TVR-PSU3K-AC", 0x0103, "PTV2306B1A2"},  {"pm2.bin", "TVR-PSU3K-DC", 0x0103, "PTV2306C2B1"},
      {"pm3.bin", "TVR-PSU3K-DC", 0x0103, "PTV2306C2B2"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file);
    const std::vector<uint8_t> img = read_file(std::string(ENVMON_SOURCE_DIR "/sim/data/idprom/") + c.file);
    ASSERT_EQ(img.size(), 256u);
    char pid[19] = {};
    EXPECT_EQ(envmon_hal_idprom_get_pid(img.data(), 256, pid, sizeof(pid)), 0);
    EXPECT_STREQ(pid, c.pid);
    uint16_t version = 0;
    EXPECT_EQ(envmon_hal_idprom_get_hw_version(img.data(), 256, &version), 0);
    EXPECT_EQ(version, c.hw_version);
    char serial[12] = {};
    EXPECT_EQ(envmon_hal_idprom_get_pcb_sn(img.data(), 256, serial, sizeof(serial)), 0);
    EXPECT_STREQ(serial, c.serial);
  }
}

TEST_F(Idprom, ProductIdsOfSupportedUnitsOnly) {
  struct Case {
    const char* name;
    uint8_t unit_class;
    const char* pid;
    int rc;
    const char* trace;  // expected on the error buffer, or null
  };
  const Case cases[] = {
      {"fan tray", DC_IDPROM_CLASS_FAN, "TVR-FAN-8S", 0, nullptr},
      {"fan tray", DC_IDPROM_CLASS_FAN, "TVR-FAN-8S-V2", 0, nullptr},
      {"fan tray", DC_IDPROM_CLASS_FAN, "TVR-FAN-16S", 0, nullptr},
      {"fan tray", DC_IDPROM_CLASS_FAN, "TVR-FAN-16S-R", 0, nullptr},
      {"fan tray", DC_IDPROM_CLASS_FAN, "TVR-FAN-16S-V2", 0, nullptr},
      {"fan tray", DC_IDPROM_CLASS_FAN, "TVR-FAN-4S", 0, nullptr},
      {"fan tray", DC_IDPROM_CLASS_FAN, "TVR-FAN-4S-V2", 0, nullptr},
      {"fan tray", DC_IDPROM_CLASS_FAN, "TVR-FAN-GEN", 0, nullptr},
      {"fan tray", DC_IDPROM_CLASS_FAN, "TVR-FAN-GEN-R", 0, nullptr},
      {"power module", DC_IDPROM_CLASS_PS, "TVR-PSU3K-AC", 0, nullptr},
      {"power module", DC_IDPROM_CLASS_PS, "TVR-PSU3K-ACR", 0, nullptr},
      {"power module", DC_IDPROM_CLASS_PS, "TVR-PSU3K-DC", 0, nullptr},
      {"power module", DC_IDPROM_CLASS_PS, "TVR-PSU3K-UV", 0, nullptr},
      {"power module", DC_IDPROM_CLASS_PS, "TVR-PSU3K-2HV", 0, nullptr},
      {"power module", DC_IDPROM_CLASS_PS, "TVR-PSU4K4-DC", 0, nullptr},
      {"power module", DC_IDPROM_CLASS_PS, "TVR-PSU1K6-AC", 0, nullptr},
      {"power module", DC_IDPROM_CLASS_PS, "TVR-PSU1K6-DC", 0, nullptr},
      {"unknown fan tray", DC_IDPROM_CLASS_FAN, "TVR-FAN-99", 22,
       "invalid fan tray pid TVR-FAN-99 from idprom\n"},
      {"fan list compares exactly", DC_IDPROM_CLASS_FAN, "tvr-fan-8s", 22,
       "invalid fan tray pid tvr-fan-8s from idprom\n"},
      {"longer than a listed id", DC_IDPROM_CLASS_PS, "TVR-PSU3K-AC-X", 22,
       "invalid power module pid TVR-PSU3K-AC-X from idprom\n"},
      {"shorter than a listed id", DC_IDPROM_CLASS_PS, "TVR-PSU3K", 22,
       "invalid power module pid TVR-PSU3K from idprom\n"},
      {"power module calling itself a fan", DC_IDPROM_CLASS_PS, "TVR-FAN-8S", 22,
       "invalid power module pid TVR-FAN-8S from idprom\n"},
      // Without "FAN" the fan-tray decode does not count; the image is
      // decoded again as a power module, which refuses a fan-tray image.
      {"fan-tray image without FAN in its id", DC_IDPROM_CLASS_FAN, "TVR-PSU3K-AC", 22,
       "cannot extract idprom content err = 0x104 (fan tray image, not a power module image)\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.name << " " << c.pid);
    tlg_test_clear();
    const Image img = image(c.unit_class, c.pid);
    char pid[20];
    std::memset(pid, 'x', sizeof(pid));
    EXPECT_EQ(envmon_hal_idprom_get_pid(img.data(), 256, pid, sizeof(pid)), c.rc);
    if (c.rc == 0) {
      EXPECT_STREQ(pid, c.pid);
      EXPECT_TRUE(tlg_test_lines("envmon_lib_err").empty());
    } else {
      EXPECT_EQ(pid[0], 'x') << "a refused id is not handed out";
      EXPECT_TRUE(err_trace(c.trace)) << c.trace;
    }
  }
}

TEST_F(Idprom, WrongSizesShortBuffersAndDamagedImagesAreRefused) {
  const Image good = image(DC_IDPROM_CLASS_FAN, "TVR-FAN-8S");
  Image damaged = good;
  damaged[40] ^= 0x20;
  Image erased;
  erased.fill(0xff);

  struct Case {
    const char* name;
    const uint8_t* image;
    uint32_t size;
    const char* trace;
  };
  const Case cases[] = {
      {"255 bytes", good.data(), 255, "NULL idprom ptr or incorrect idprom_size 255 \n"},
      {"257 bytes", good.data(), 257, "NULL idprom ptr or incorrect idprom_size 257 \n"},
      {"no image", nullptr, 256, "NULL idprom ptr or incorrect idprom_size 256 \n"},
      {"flipped bit", damaged.data(), 256, "cannot extract idprom content err = 0x106 (checksum"},
      {"erased part", erased.data(), 256, "cannot extract idprom content err = 0x102 (bad magic 0xffff)\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    tlg_test_clear();
    char pid[19] = "untouched";
    uint16_t version = 0x5a5a;
    char serial[12] = "untouched";
    EXPECT_EQ(envmon_hal_idprom_extract(c.image, c.size, nullptr, &version, pid, sizeof(pid), serial,
                                        sizeof(serial)),
              22);
    EXPECT_STREQ(pid, "untouched");
    EXPECT_STREQ(serial, "untouched");
    EXPECT_EQ(version, 0x5a5a);
    EXPECT_TRUE(err_trace(c.trace)) << c.trace;
  }

  // Buffers too small for what is asked are refused and left as they were.
  char pid[18];
  std::memset(pid, 'x', sizeof(pid));
  EXPECT_EQ(envmon_hal_idprom_get_pid(good.data(), 256, pid, 17), 22);
  EXPECT_EQ(pid[0], 'x');
  EXPECT_EQ(envmon_hal_idprom_get_pid(good.data(), 256, pid, 18), 0);
  EXPECT_STREQ(pid, "TVR-FAN-8S");
  char serial[13];
  std::memset(serial, 'x', sizeof(serial));
  EXPECT_EQ(envmon_hal_idprom_get_pcb_sn(good.data(), 256, serial, 10), 22);
  EXPECT_EQ(serial[0], 'x');
  EXPECT_EQ(envmon_hal_idprom_get_pcb_sn(good.data(), 256, serial, 11), 0);
  EXPECT_EQ(std::string(serial, 11), "SER12345678");
  EXPECT_EQ(serial[11], 'x') << "11 bytes and no more into an 11-byte buffer";
  EXPECT_EQ(envmon_hal_idprom_get_pcb_sn(good.data(), 256, serial, 12), 0);
  EXPECT_STREQ(serial, "SER12345678");
  EXPECT_EQ(envmon_hal_idprom_get_hw_version(good.data(), 256, nullptr), 22);

  // The shared step alone leaves a short product-id buffer as it is.
  std::memset(pid, 'x', sizeof(pid));
  EXPECT_EQ(envmon_hal_idprom_extract(good.data(), 256, nullptr, nullptr, pid, 17, nullptr, 0), 0);
  EXPECT_EQ(pid[0], 'x');
}

TEST_F(Idprom, ExtractFillsTheCallersDecodedRecord) {
  const Image img = image(DC_IDPROM_CLASS_PS, "TVR-PSU3K-UV", 0xab010020, 0x00040009);
  dc_idprom_content decoded{};
  uint16_t version = 0;
  char pid[18];
  char serial[11];
  EXPECT_EQ(envmon_hal_idprom_extract(img.data(), 256, &decoded, &version, pid, sizeof(pid), serial, sizeof(serial)),
            0);
  EXPECT_EQ(decoded.board_id, 0xab010020u);
  EXPECT_EQ(decoded.version, 0x00040009u);
  EXPECT_STREQ(decoded.descr, "unit under test");
  EXPECT_EQ(version, 0x0409);
  EXPECT_STREQ(pid, "TVR-PSU3K-UV");
  EXPECT_EQ(std::string(serial, 11), "SER12345678");
}

TEST_F(Idprom, InventoryRecordCarriesTheCorrectedBoardId) {
  struct Case {
    const char* pid;
    uint32_t decoded_board_id;
    uint32_t inv_board_id;
  };
  const Case cases[] = {
      {"TVR-PSU3K-DC", 0xab010000, 0xab010010},  {"TVR-PSU3K-UV", 0xab010000, 0xab010020},
      {"TVR-PSU3K-2HV", 0xab010000, 0xab010030}, {"TVR-PSU4K4-DC", 0xab010010, 0xab010040},
      {"TVR-PSU1K6-AC", 0x12345678, 0xab010308}, {"TVR-PSU1K6-DC", 0xab010308, 0xab010309},
      // Models without a correction keep what their IDPROM says.
      {"TVR-PSU3K-AC", 0xab010001, 0xab010001},  {"TVR-PSU3K-ACR", 0xab010000, 0xab010000},
      {"TVR-FAN-8S", 0xab040000, 0xab040000},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.pid);
    tlg_test_clear();
    const uint8_t unit_class = std::strstr(c.pid, "FAN") ? DC_IDPROM_CLASS_FAN : DC_IDPROM_CLASS_PS;
    const Image img = image(unit_class, c.pid, c.decoded_board_id);
    invreg_eeprom_data record{};
    dc_idprom_content* decoded = nullptr;
    EXPECT_EQ(envmon_hal_idprom_set_inv_proto_fields(img.data(), 256, &record, 0, &decoded), 0);
    ASSERT_NE(decoded, nullptr);
    EXPECT_EQ(record.board_id, c.inv_board_id);
    EXPECT_EQ(decoded->board_id, c.decoded_board_id);
    char trace[160];
    std::snprintf(trace, sizeof(trace),
                  "envmon_hal_idprom_set_inv_proto_fields: board_id 0x%x, pid %s, sn SER12345678, ver 0x30002\n",
                  c.decoded_board_id, c.pid);
    EXPECT_TRUE(tlg_test_contains("envmon_lib_main", trace)) << trace;
    std::free(decoded);
  }
}

TEST_F(Idprom, InventoryRecordFields) {
  const Image img = image(DC_IDPROM_CLASS_FAN, "TVR-FAN-16S-V2", 0xab040022, 0x00010004);
  invreg_eeprom_data record{};
  dc_idprom_content* decoded = nullptr;
  ASSERT_EQ(envmon_hal_idprom_set_inv_proto_fields(img.data(), 256, &record, 0, &decoded), 0);
  std::free(decoded);
  EXPECT_EQ(record.version, 0x00010004u);
  EXPECT_STREQ(record.eeprom_rev, "EPROMREV-1");
  EXPECT_EQ(record.board_id, 0xab040022u);
  EXPECT_STREQ(record.pid, "TVR-FAN-16S-V2");
  EXPECT_STREQ(record.vid, "V03");
  EXPECT_STREQ(record.pcb_serial, "SER12345678");
  EXPECT_STREQ(record.clei, "CLEI000001");
  EXPECT_STREQ(record.part_num, "68-1234-03");
  EXPECT_STREQ(record.descr, "unit under test");
  EXPECT_STREQ(record.hw_rev, "3.2");
  EXPECT_STREQ(record.pcb_rev, "3.2");
  EXPECT_STREQ(record.mfg_date, "2024-01-31");
  EXPECT_STREQ(record.ship_date, "2024-01-31");
  EXPECT_STREQ(record.asset_id, "ASSTID-1");
  EXPECT_STREQ(record.asset_alias, "ASSTAL");
  EXPECT_EQ(record.asset_flags, 0u);
  EXPECT_EQ(record.raw_eeprom, img.data());
  EXPECT_EQ(record.raw_eeprom_len, 256u);
  EXPECT_EQ(record.eeprom_size, 256u);
  for (int f = 0; f < INVREG_EEPROM_F_COUNT; ++f) {
    EXPECT_TRUE(record.present[f / 8] & (1u << (f % 8))) << "presence bit of field " << f;
  }
}

TEST_F(Idprom, InventoryRecordRefusalsStillHandOverTheDecodedRecord) {
  const Image good = image(DC_IDPROM_CLASS_FAN, "TVR-FAN-8S");
  Image damaged = good;
  damaged[7] ^= 1;
  struct Case {
    const char* name;
    const uint8_t* image;
    bool with_record;
    uint8_t skip;
  };
  const Case cases[] = {
      {"skip flag set", good.data(), true, 1},
      {"no record", good.data(), false, 0},
      {"no image", nullptr, true, 0},
      {"damaged image", damaged.data(), true, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    invreg_eeprom_data record{};
    dc_idprom_content* decoded = nullptr;
    EXPECT_EQ(envmon_hal_idprom_set_inv_proto_fields(c.image, 256, c.with_record ? &record : nullptr, c.skip, &decoded),
              22);
    EXPECT_NE(decoded, nullptr);
    EXPECT_EQ(record.present[0], 0);
    std::free(decoded);
  }
  invreg_eeprom_data record{};
  EXPECT_EQ(envmon_hal_idprom_set_inv_proto_fields(good.data(), 256, &record, 0, nullptr), 22);
}

}  // namespace

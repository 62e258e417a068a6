// Records of the platform-driver service: what is sent is what arrives, with
// presence bits and lists; malformed input is refused.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <vector>

#include "drvif.h"

namespace {

template <typename Rec>
std::vector<uint8_t> encode(const msgcodec_type* type, const Rec& rec) {
  uint8_t probe[1];
  const int n = msgcodec_encode(type, &rec, probe, 0);
  EXPECT_GT(n, 0);
  std::vector<uint8_t> out(static_cast<size_t>(n));
  EXPECT_EQ(msgcodec_encode(type, &rec, out.data(), out.size()), n);
  return out;
}

pelm_eid sensor_eid(uint32_t slot, uint32_t subtype) {
  static pelm_tsi levels[64];
  static size_t used = 0;
  pelm_tsi* tsi = &levels[used++ % 64];
  tsi[0] = {8, subtype, 1};
  pelm_eid e{};
  e.id = 1;
  e.rack = 0xfffe;
  e.slot = slot;
  e.tsi = tsi;
  e.tsi_count = 1;
  e.present = PELM_EID_HAS_ID | PELM_EID_HAS_RACK | PELM_EID_HAS_SLOT | PELM_EID_HAS_TSI;
  return e;
}

TEST(DrvifRecords, SensorDataWithOptionalFields) {
  drvif_sensor_data_rec recs[2]{};
  recs[0].eid = sensor_eid(41, 25);
  recs[0].value = -5;
  recs[0].hw_event = 0x10;
  recs[0].timestamp = 0x123456789ull;
  recs[0].thr_minor_high = 70;
  msgcodec_set_bit(recs[0].present, 0);
  msgcodec_set_bit(recs[0].present, 1);
  msgcodec_set_bit(recs[0].present, 3);
  msgcodec_set_bit(recs[0].present, 6);
  msgcodec_set_bit(recs[0].present, 13);
  recs[1].eid = sensor_eid(42, 29);
  recs[1].value = 12000;
  msgcodec_set_bit(recs[1].present, 1);  // an entry without its entity-id bit
  drvif_sensor_data_msg msg{};
  msg.data = recs;
  msg.data_count = 2;
  msg.present = 1;
  const auto bytes = encode(&msgcodec_type_drvif_sensor_data_msg, msg);

  drvif_sensor_data_msg back{};
  ASSERT_EQ(msgcodec_drvif_sensor_data_msg_decode_ext(&back, bytes.data(), bytes.size(), malloc),
            static_cast<int>(bytes.size()));
  ASSERT_EQ(back.data_count, 2u);
  EXPECT_EQ(back.data[0].value, -5);
  EXPECT_EQ(back.data[0].hw_event, 0x10u);
  EXPECT_EQ(back.data[0].timestamp, 0x123456789ull);
  EXPECT_EQ(back.data[0].thr_minor_high, 70);
  EXPECT_EQ(back.data[0].eid.slot, 41u);
  ASSERT_EQ(back.data[0].eid.tsi_count, 1u);
  EXPECT_EQ(back.data[0].eid.tsi[0].subtype, 25u);
  EXPECT_EQ(back.data[0].present[0], 0x4b);
  EXPECT_EQ(back.data[0].present[1], 0x20);
  // Absent fields arrive cleared, their bits clear.
  EXPECT_EQ(back.data[1].eid.tsi_count, 0u);
  EXPECT_EQ(back.data[1].present[0] & 0x1, 0);
  EXPECT_EQ(back.data[1].hw_event, 0u);
  msgcodec_drvif_sensor_data_msg_free_ext(&back, free);
}

TEST(DrvifRecords, EntityDataTextsAndImage) {
  uint8_t idprom[] = {1, 2, 3, 0, 5};
  drvif_eid_data_rec rec{};
  rec.eid = sensor_eid(41, 6);
  rec.serial = const_cast<char*>("FT1234");
  rec.idprom = idprom;
  rec.idprom_len = sizeof(idprom);
  rec.text1 = const_cast<char*>("removed by user");
  rec.state = 0x2;
  rec.fault = 0x800000;
  for (unsigned b : {0u, 2u, 3u, 4u, 6u, 8u}) msgcodec_set_bit(rec.present, b);
  drvif_eid_data_msg msg{};
  msg.data = &rec;
  msg.data_count = 1;
  msg.present = 1;
  const auto bytes = encode(&msgcodec_type_drvif_eid_data_msg, msg);
  drvif_eid_data_msg back{};
  ASSERT_GT(msgcodec_drvif_eid_data_msg_decode_ext(&back, bytes.data(), bytes.size(), malloc), 0);
  ASSERT_EQ(back.data_count, 1u);
  EXPECT_STREQ(back.data[0].serial, "FT1234");
  EXPECT_STREQ(back.data[0].text1, "removed by user");
  EXPECT_EQ(back.data[0].text2, nullptr);
  ASSERT_EQ(back.data[0].idprom_len, sizeof(idprom));
  EXPECT_EQ(back.data[0].idprom[3], 0);
  EXPECT_EQ(back.data[0].fault, 0x800000u);
  msgcodec_drvif_eid_data_msg_free_ext(&back, free);
}

TEST(DrvifRecords, FpgaDataKeepsItsBitPositions) {
  drvif_fpga_data_rec rec{};
  rec.eid = sensor_eid(2, 9);
  rec.upgrade_state = 2;
  rec.fw_major = 1;
  rec.inst_minor = 7;
  rec.fpd_size = 1ull << 33;
  rec.status_text = const_cast<char*>("erasing");
  for (unsigned b : {0u, 2u, 7u, 12u, 14u, 17u}) msgcodec_set_bit(rec.present, b);
  const auto bytes = encode(&msgcodec_type_drvif_fpga_data_rec, rec);
  drvif_fpga_data_rec back{};
  ASSERT_GT(msgcodec_drvif_fpga_data_rec_decode_ext(&back, bytes.data(), bytes.size(), malloc), 0);
  EXPECT_EQ(back.upgrade_state, 2u);
  EXPECT_EQ(back.fw_major, 1u);
  EXPECT_EQ(back.inst_minor, 7u);
  EXPECT_EQ(back.fpd_size, 1ull << 33);
  EXPECT_EQ(back.fault_text, nullptr);
  EXPECT_STREQ(back.status_text, "erasing");
  EXPECT_EQ(back.present[0], 0x85);
  EXPECT_EQ(back.present[1], 0x50);
  EXPECT_EQ(back.present[2], 0x02);
  msgcodec_drvif_fpga_data_rec_free_ext(&back, free);
}

TEST(DrvifRecords, MalformedInputIsRefused) {
  uint32_t ops[] = {1};
  uint32_t pts[] = {7};
  uint32_t rts[] = {7};
  drvif_eid_register_req req{ops, 1, pts, 1, rts, 1, 0x7};
  const auto good = encode(&msgcodec_type_drvif_eid_register_req, req);
  struct Case {
    const char* name;
    std::vector<uint8_t> bytes;
  };
  std::vector<uint8_t> truncated(good.begin(), good.end() - 1);
  std::vector<uint8_t> unknown_bit = good;
  unknown_bit[0] |= 0x80;  // names no field
  std::vector<uint8_t> huge_count = good;
  huge_count[1] = 0x7f;    // first list claims more elements than the input holds
  std::vector<uint8_t> trailing = good;
  trailing.push_back(0);
  const Case cases[] = {{"truncated", truncated},
                        {"unknown presence bit", unknown_bit},
                        {"count beyond the input", huge_count},
                        {"trailing bytes", trailing}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    drvif_eid_register_req back{};
    EXPECT_LT(msgcodec_drvif_eid_register_req_decode_ext(&back, c.bytes.data(), c.bytes.size(), malloc), 0);
    EXPECT_EQ(back.op, nullptr);
  }
}

}  // namespace

// The registration records survive the codec with what their senders fill,
// absent fields stay absent, and every message of the service has a type.
#include <gtest/gtest.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <vector>

#include "invreg.h"
#include "invreg_wire.h"

namespace {

template <typename T>
std::vector<uint8_t> encode(const msgcodec_type* type, const T& rec) {
  const int n = msgcodec_encode(type, &rec, nullptr, 0);
  EXPECT_GE(n, 0) << type->name;
  std::vector<uint8_t> buf(static_cast<size_t>(n > 0 ? n : 0));
  EXPECT_EQ(msgcodec_encode(type, &rec, buf.data(), buf.size()), n);
  return buf;
}

template <typename T>
T decode(const msgcodec_type* type, const std::vector<uint8_t>& bytes) {
  T out{};
  EXPECT_EQ(msgcodec_decode(type, &out, bytes.data(), bytes.size(), malloc, 0),
            static_cast<int>(bytes.size()))
      << type->name;
  return out;
}

pelm_tsi kLevels[] = {{5, 5, 1}, {8, 25, 3}};

pelm_eid sensor_eid() {
  pelm_eid e{};
  e.rack = 0xfffe;
  e.slot = 43;
  e.tsi = kLevels;
  e.tsi_count = 2;
  e.present = PELM_EID_HAS_RACK | PELM_EID_HAS_SLOT | PELM_EID_HAS_TSI;
  return e;
}

TEST(InvregRecords, FruTypeRequestKeepsTextsAndItsEvent) {
  invreg_fru_type_req req{};
  req.eid = sensor_eid();
  req.fru_type = 7;
  req.pd_type = 0xab040000;
  req.slot = 43;
  req.serial_num = const_cast<char*>("SN123");
  req.reg_flag = 1;
  req.name = const_cast<char*>("FAN-TRAY-X");
  req.event.eid = sensor_eid();
  req.event.event_type = 4;
  req.event.event_state = 2;
  req.event.descr = const_cast<char*>("HW Access Failure");
  req.event.present = 0xf;
  req.present = 0xff;
  auto out = decode<invreg_fru_type_req>(&msgcodec_type_invreg_fru_type_req,
                                         encode(&msgcodec_type_invreg_fru_type_req, req));
  EXPECT_EQ(out.eid.slot, 43u);
  ASSERT_EQ(out.eid.tsi_count, 2u);
  EXPECT_EQ(out.eid.tsi[1].subtype, 25u);
  EXPECT_EQ(out.pd_type, 0xab040000u);
  EXPECT_STREQ(out.serial_num, "SN123");
  EXPECT_STREQ(out.name, "FAN-TRAY-X");
  EXPECT_EQ(out.event.event_type, 4u);
  EXPECT_STREQ(out.event.descr, "HW Access Failure");
  msgcodec_free(&msgcodec_type_invreg_fru_type_req, &out, free);
}

TEST(InvregRecords, MultiAckCarriesParallelLists) {
  pelm_eid eids[3] = {sensor_eid(), sensor_eid(), sensor_eid()};
  uint32_t codes[3] = {1, 7, 2};
  invreg_multi_ack ack{eids, 3, codes, 3, 0x3};
  auto out = decode<invreg_multi_ack>(&msgcodec_type_invreg_multi_ack,
                                      encode(&msgcodec_type_invreg_multi_ack, ack));
  ASSERT_EQ(out.eid_count, 3u);
  ASSERT_EQ(out.ack_count, 3u);
  EXPECT_EQ(out.acks[1], 7u);
  EXPECT_EQ(out.acks[2], 2u);
  EXPECT_EQ(out.eids[2].slot, 43u);
  msgcodec_free(&msgcodec_type_invreg_multi_ack, &out, free);
}

TEST(InvregRecords, EepromReportKeepsImageAndOnlyThePresentFields) {
  uint8_t image[256];
  for (size_t i = 0; i < sizeof(image); ++i) image[i] = static_cast<uint8_t>(i);
  invreg_eeprom_req req{};
  req.eid = sensor_eid();
  snprintf(req.eeprom.pid, sizeof(req.eeprom.pid), "PID-1");
  req.eeprom.raw_eeprom = image;
  req.eeprom.raw_eeprom_len = sizeof(image);
  req.eeprom.eeprom_size = sizeof(image);
  msgcodec_set_bit(req.eeprom.present, INVREG_EEPROM_F_PID);
  msgcodec_set_bit(req.eeprom.present, INVREG_EEPROM_F_RAW);
  msgcodec_set_bit(req.eeprom.present, INVREG_EEPROM_F_SIZE);
  req.present = 0x3;
  auto out = decode<invreg_eeprom_req>(&msgcodec_type_invreg_eeprom_req,
                                       encode(&msgcodec_type_invreg_eeprom_req, req));
  EXPECT_STREQ(out.eeprom.pid, "PID-1");
  ASSERT_EQ(out.eeprom.raw_eeprom_len, 256u);
  EXPECT_EQ(memcmp(out.eeprom.raw_eeprom, image, sizeof(image)), 0);
  EXPECT_FALSE(msgcodec_test_bit(out.eeprom.present, INVREG_EEPROM_F_PCB_SERIAL));
  msgcodec_free(&msgcodec_type_invreg_eeprom_req, &out, free);
}

TEST(InvregRecords, TemperatureWithoutThresholdsLeavesThemAbsent) {
  invreg_temp_data d{};
  d.eid = sensor_eid();
  d.value = -5;
  d.timestamp = 0x1122334455ull;
  d.trap = 1;
  d.present[0] = 0xff;  // everything but the thresholds
  auto out = decode<invreg_temp_data>(&msgcodec_type_invreg_temp_data,
                                      encode(&msgcodec_type_invreg_temp_data, d));
  EXPECT_EQ(out.value, -5);
  EXPECT_EQ(out.timestamp, 0x1122334455ull);
  EXPECT_EQ(out.trap, 1);
  EXPECT_FALSE(msgcodec_test_bit(out.present, 8));
  msgcodec_free(&msgcodec_type_invreg_temp_data, &out, free);
}

TEST(InvregRecords, EveryMessageHasARecordType) {
  ASSERT_GT(invreg_wire::kMessageCount, 0u);
  for (size_t i = 0; i < invreg_wire::kMessageCount; ++i) {
    const auto& m = invreg_wire::kMessages[i];
    SCOPED_TRACE(m.name);
    EXPECT_NE(m.type, nullptr);
    EXPECT_EQ(invreg_wire::find(m.id), &m) << "message ids are unique";
  }
  EXPECT_EQ(invreg_wire::find(9999), nullptr);
}

}  // namespace

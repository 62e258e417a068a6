// Failure-log sensor, threshold and text records: marking, units, probing
// with single records until a first confirmation, bulk records after it,
// blocking while thresholds are unanswered, message numbers and the booking
// of answers; checked on what the OBFL manager model received.
#include "acq_fixture.h"
#include "envmon_obfl_private.h"
#include "obfl_mgr_test.h"
#include "tlg_test.h"

namespace {

constexpr uint64_t kNoDevice = 0x401012c000000813ULL | (3233ULL << 20);
constexpr uint64_t kNoUpdate = 0x201012c000000809ULL | (3233ULL << 20);

std::vector<ObflRequest> of_kind(const std::string& kind) {
  std::vector<ObflRequest> out;
  for (const auto& r : obfl_mgr_test_requests())
    if (r.kind == kind) out.push_back(r);
  return out;
}

class ObflRecords : public AcqFixture {
 protected:
  void SetUp() override {
    AcqFixture::SetUp();
    ASSERT_EQ(envmon_obfl_rm_init(loop), ENVMON_OK);
    ASSERT_EQ(envmon_obfl_nm_init(loop), ENVMON_OK);
    evloop_run_until_idle(loop);
    obfl_mgr_test_clear_requests();
  }
  obfl_mgr_handle_t* rack() { return envmon_obfl_handle[0]; }
  obfl_mgr_handle_t* node() { return envmon_obfl_handle[1]; }
  // A fan tray registered and its thresholds answered: records may flow.
  fantray_cb& ready_tray(uint32_t i, uint32_t client) {
    fantray_cb& ft = envmon_rm->fantray_cb[i];
    ft.obfl_client_id = client;
    ft.misc_state = 0;
    return ft;
  }
  void answer_log(uint32_t slot, uint32_t kind, uint32_t msn, uint64_t err = 0) {
    obfl_log_sensor_resp r{};
    r.err_code = err;
    r.msn = msn;
    r.sensor_type = kind;
    obfl_mgr_test_answer_log_sensor(slot == kOwnSlot ? node() : rack(), r, 0, slot);
  }
};

TEST_F(ObflRecords, ValuesInTheManagersUnits) {
  struct Case {
    const char* name;
    uint32_t kind, scale, precision;
    int32_t value, expected;
  };
  const Case cases[] = {
      {"temperature in thousandths, truncated", 1, 8, 0, 45999, 45},
      {"negative temperature truncates toward zero", 1, 8, 0, -1999, -1},
      {"temperature in units", 1, 9, 0, 45, 45},
      {"voltage in units to thousandths", 2, 9, 0, 12, 12000},
      {"voltage in thousandths with precision 3", 2, 8, 3, 12345, 12},
      {"current in units with precision 3", 3, 9, 3, 7, 7},
      {"another kind is unchanged", 4, 9, 3, 1234, 1234},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    envmon_sensor_info s{};
    s.value = c.value;
    s.scale = c.scale;
    s.precision = c.precision;
    EXPECT_EQ(envmon_obfl_scale_value(&s, c.kind), c.expected);
  }
}

TEST_F(ObflRecords, MarkingByKind) {
  envmon_sensor_info s{};
  s.scale = 8;
  s.obfl_last_value = 0xffffff;
  s.value = 40000;
  envmon_obfl_set_state(&s, 1);  // never logged
  EXPECT_TRUE(s.state & ENVMON_ST_OBFL_PENDING);
  struct Case {
    int32_t value;
    bool marked;
  };
  // Whole degrees against the last logged 40.
  const Case moves[] = {{40999, false}, {41000, false}, {42000, true}, {38000, true}, {39999, false}};
  for (const auto& m : moves) {
    s.state = 0;
    s.obfl_last_value = 40;
    s.value = m.value;
    envmon_obfl_set_state(&s, 1);
    EXPECT_EQ((s.state & ENVMON_ST_OBFL_PENDING) != 0, m.marked) << m.value;
  }
  for (int32_t kind : {2, 3}) {
    s.state = 0;
    envmon_obfl_set_state(&s, kind);
    EXPECT_TRUE(s.state & ENVMON_ST_OBFL_PENDING) << kind;
  }
  s.state = 0;
  s.obfl_log_disabled = 1;
  envmon_obfl_set_state(&s, 2);
  EXPECT_EQ(s.state, 0u);
  envmon_obfl_set_state(nullptr, 2);
}

TEST_F(ObflRecords, SingleRecordTakesTwoNumbers) {
  fantray_cb& ft = ready_tray(0, 0x11);
  envmon_sensor_info* s = fill_list(&ft.temp_data, 41, 25, {"Inlet"});
  s->value = 31500;
  s->scale = 8;
  s->precision = 0;
  s->state |= ENVMON_ST_OBFL_PENDING;
  envmon_obfl_msn = 10;
  envmon_obfl_rm_log_all(41, 0);
  const auto logs = of_kind("log_sensor");
  ASSERT_EQ(logs.size(), 1u);
  EXPECT_EQ(logs[0].msn, 11u);
  EXPECT_EQ(envmon_obfl_msn, 12u);
  EXPECT_EQ(s->obfl_seq_num, 11);
  EXPECT_EQ(s->obfl_last_value, 31);
  EXPECT_EQ(logs[0].value, 31);
  EXPECT_EQ(logs[0].client_id, 0x11u);
  EXPECT_EQ(logs[0].sensor_type, 1u);
  EXPECT_EQ(logs[0].sensor_id, 0u);
  EXPECT_EQ(logs[0].scale, 8);
  EXPECT_EQ(logs[0].eid, "65534/41");
  EXPECT_EQ(logs[0].user_ctx, 41u);
  // Sent, not yet confirmed; still marked as the first is not confirmed.
  EXPECT_TRUE(s->state & ENVMON_ST_OBFL_UNCONFIRMED);
  EXPECT_TRUE(s->state & ENVMON_ST_OBFL_PENDING);
}

TEST_F(ObflRecords, NothingWithoutClientIdOrWhileThresholdsAreUnanswered) {
  fantray_cb& ft = ready_tray(0, 0);
  envmon_sensor_info* s = fill_list(&ft.temp_data, 41, 25, {"Inlet", "Outlet"});
  s[0].state |= ENVMON_ST_OBFL_PENDING;
  envmon_obfl_rm_log_all(41, 0);
  EXPECT_TRUE(obfl_mgr_test_requests().empty());
  ft.obfl_client_id = 3;
  for (uint32_t blocking : {0x2000u, 0x20000u}) {
    ft.misc_state = blocking;
    envmon_obfl_rm_log_all(41, 0);
    EXPECT_TRUE(obfl_mgr_test_requests().empty()) << blocking;
  }
  // Voltage records are not held back by temperature thresholds.
  ft.misc_state = 0x2000;
  envmon_sensor_info* v = fill_list(&ft.voltage_data, 41, 29, {"VP12"});
  v->state |= ENVMON_ST_OBFL_PENDING;
  envmon_obfl_rm_log_all(41, 0);
  ASSERT_EQ(obfl_mgr_test_requests().size(), 1u);
  EXPECT_EQ(obfl_mgr_test_requests()[0].sensor_type, 2u);
}

// Probing: one record at a time until the manager confirms one of the kind;
// then everything sent meanwhile goes out again in one bulk record.
TEST_F(ObflRecords, ProbingThenBulkAfterTheFirstConfirmation) {
  fantray_cb& ft = ready_tray(1, 0x22);
  envmon_sensor_info* s = fill_list(&ft.temp_data, 42, 25, {"A", "B", "C"});
  for (int i = 0; i < 3; ++i) {
    s[i].value = 30 + i;
    s[i].scale = 9;
    s[i].state |= ENVMON_ST_OBFL_PENDING;
  }
  envmon_obfl_rm_log_all(42, 0);
  auto logs = of_kind("log_sensor");
  ASSERT_EQ(logs.size(), 1u);
  EXPECT_EQ(logs[0].sensor_id, 0u);
  // Asked again before an answer: the unconfirmed one goes again, as a re-send.
  envmon_obfl_rm_log_all(42, 0);
  logs = of_kind("log_sensor");
  ASSERT_EQ(logs.size(), 2u);
  EXPECT_EQ(logs[1].sensor_id, 0u);
  EXPECT_TRUE(of_kind("log_bulk_sensor").empty());

  answer_log(42, 1, logs[1].msn);
  EXPECT_TRUE(ft.misc_state & 0x10);  // first temperature record confirmed
  const auto bulk = of_kind("log_bulk_sensor");
  ASSERT_EQ(bulk.size(), 1u);
  EXPECT_EQ(bulk[0].count, 3u);
  EXPECT_EQ(bulk[0].sensor_ids, (std::vector<uint32_t>{0, 1, 2}));
  EXPECT_EQ(bulk[0].values, (std::vector<int32_t>{30, 31, 32}));
  EXPECT_EQ(bulk[0].scales, (std::vector<int32_t>{9, 9, 9}));
  EXPECT_EQ(bulk[0].flag, 0);
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(s[i].state & (ENVMON_ST_OBFL_PENDING | ENVMON_ST_OBFL_UNCONFIRMED),
              ENVMON_ST_OBFL_UNCONFIRMED);
    EXPECT_EQ(static_cast<uint32_t>(s[i].obfl_seq_num), bulk[0].msn);
  }
  // The bulk answer books the confirmation of those it carried.
  obfl_log_bulk_sensor_resp r{};
  r.msn = bulk[0].msn;
  r.sensor_type = 1;
  uint64_t errs[] = {0, kNoUpdate, 0};
  r.sensor_err = errs;
  r.sensor_err_count = 3;
  obfl_mgr_test_answer_log_bulk(rack(), r, 0, 42);
  for (int i = 0; i < 3; ++i) {
    EXPECT_FALSE(s[i].state & ENVMON_ST_OBFL_UNCONFIRMED);
    EXPECT_EQ(static_cast<uint32_t>(s[i].obfl_last_ack_ok_seq_num), bulk[0].msn);
  }
  // One marked sensor still goes as a single record, now clearing its mark.
  s[2].state |= ENVMON_ST_OBFL_PENDING;
  envmon_obfl_rm_log_all(42, 0);
  ASSERT_EQ(of_kind("log_sensor").size(), 3u);
  EXPECT_EQ(of_kind("log_sensor").back().sensor_id, 2u);
  EXPECT_FALSE(s[2].state & ENVMON_ST_OBFL_PENDING);
}

TEST_F(ObflRecords, NoDeviceAnswersAskForARetry) {
  fill_list(&envmon_nm->voltage_data, 0xfffe, 29, {"V1", "V2"});
  envmon_nm->obfl_client_id = 7;
  envmon_nm->misc_state = 0;
  envmon_nm->voltage_data.sensors[0].state |= ENVMON_ST_OBFL_PENDING;
  envmon_obfl_nm_log_all(0);
  const auto logs = of_kind("log_sensor");
  ASSERT_EQ(logs.size(), 1u);
  EXPECT_EQ(logs[0].handle, node());
  EXPECT_EQ(logs[0].user_ctx, kOwnSlot);
  answer_log(kOwnSlot, 2, logs[0].msn, kNoDevice);
  EXPECT_EQ(envmon_nm->misc_state, 0xF0000200u);
  // Another error is given up.
  envmon_nm->misc_state = 0;
  answer_log(kOwnSlot, 2, logs[0].msn, kNoUpdate);
  EXPECT_EQ(envmon_nm->misc_state, 0u);
  // A bulk answer with a sensor's own error asks again as well.
  obfl_log_bulk_sensor_resp r{};
  r.sensor_type = 2;
  uint64_t errs[] = {0, kNoDevice};
  r.sensor_err = errs;
  r.sensor_err_count = 2;
  obfl_mgr_test_answer_log_bulk(node(), r, 0, kOwnSlot);
  EXPECT_EQ(envmon_nm->misc_state, 0xF0000200u);
  // A confirmation clears the re-send bit.
  answer_log(kOwnSlot, 2, 99);
  EXPECT_EQ(envmon_nm->misc_state & 0x200, 0u);
}

TEST_F(ObflRecords, RetryOfACardOnlyWhileItIsPresent) {
  envmon_remote_card_cb& fc = envmon_rm->fc_cb[1];
  fc.obfl_client_id = 4;
  fc.misc_state = 0;
  answer_log(kFabricSlots[1], 1, 5, kNoDevice);
  EXPECT_EQ(fc.misc_state, 0x100u);
  fc.misc_state = 0x1;
  answer_log(kFabricSlots[1], 1, 5, kNoDevice);
  EXPECT_EQ(fc.misc_state, 0xF0000101u);
}

TEST_F(ObflRecords, ThresholdRecordsOfAnEntity) {
  fantray_cb& ft = ready_tray(2, 0x33);
  fill_list(&ft.temp_data, 43, 25,
            {"Inlet", "A_sensor_name_that_is_much_longer_than_forty_nine_characters_in_all"});
  envmon_obfl_msn = 5;
  envmon_obfl_write_env_temp_thresholds(ft.temp_data.sensors, 2, 43, ENVMON_SCOPE_RACK, 0);
  const auto thr = of_kind("write_temp_thr");
  ASSERT_EQ(thr.size(), 1u);
  EXPECT_EQ(thr[0].msn, 5u);
  EXPECT_EQ(envmon_obfl_msn, 6u);
  EXPECT_EQ(thr[0].client_id, 0x33u);
  EXPECT_EQ(thr[0].flag, 0);
  EXPECT_EQ(thr[0].fields[0], 10u);
  EXPECT_EQ(thr[0].fields[1], 100u);
  EXPECT_EQ(thr[0].fields[2], 0u);
  EXPECT_EQ(thr[0].sensor_ids, (std::vector<uint32_t>{0, 1}));
  ASSERT_EQ(thr[0].names.size(), 2u);
  EXPECT_EQ(thr[0].names[0], "Inlet");
  EXPECT_EQ(thr[0].names[1].size(), 49u);
  EXPECT_EQ(thr[0].present[1], 0x1f);  // every field up to the names
  EXPECT_EQ(ft.misc_state, 0xF0002000u);
  // Their answer clears the wait and sends the marked temperatures in bulk.
  ft.temp_data.sensors[0].state |= ENVMON_ST_OBFL_PENDING;
  ft.temp_data.sensors[1].state |= ENVMON_ST_OBFL_PENDING;
  ft.misc_state |= 0x10;
  obfl_write_thr_resp ok{};
  obfl_mgr_test_answer_thr(rack(), 1, ok, 0, 43);
  EXPECT_EQ(ft.misc_state & 0x22000, 0u);
  EXPECT_EQ(of_kind("log_bulk_sensor").size(), 1u);
  // No device yet: still waiting.
  ft.misc_state |= 0x4000;
  obfl_write_thr_resp nodev{};
  nodev.err_code = kNoDevice;
  obfl_mgr_test_answer_thr(rack(), 2, nodev, 0, 43);
  EXPECT_TRUE(ft.misc_state & 0x4000);
}

TEST_F(ObflRecords, ThresholdsWaitForTheClientId) {
  fantray_cb& ft = ready_tray(0, 0);
  fill_list(&ft.temp_data, 41, 25, {"T"});
  fill_list(&ft.voltage_data, 41, 29, {"V"});
  envmon_obfl_write_env_temp_thresholds(ft.temp_data.sensors, 1, 41, ENVMON_SCOPE_RACK, 0);
  envmon_obfl_write_env_volt_thresholds(ft.voltage_data.sensors, 1, 41, ENVMON_SCOPE_RACK, 0);
  EXPECT_EQ(ft.misc_state, 0x60000u);  // not written, no retries set
  fill_list(&envmon_rm->temp_data, 0xfffe, 25, {"Chassis"});
  envmon_obfl_write_env_temp_thresholds(envmon_rm->temp_data.sensors, 1, 0xfffe, ENVMON_SCOPE_RACK, 0);
  EXPECT_TRUE(envmon_rm->obfl_flags & ENVMON_RM_OBFL_THR_WRITE);
  EXPECT_TRUE(obfl_mgr_test_requests().empty());
  // Once registered, writing all of the entity sends the unwritten ones first
  // time and the outstanding ones as re-sends.
  ft.obfl_client_id = 8;
  ft.misc_state = 0x20000 | 0x4000;
  envmon_obfl_rm_write_thr_all(41);
  ASSERT_EQ(of_kind("write_temp_thr").size(), 1u);
  ASSERT_EQ(of_kind("write_volt_thr").size(), 1u);
  EXPECT_EQ(of_kind("write_temp_thr")[0].flag, 0);
  EXPECT_EQ(of_kind("write_volt_thr")[0].flag, 1);
  EXPECT_TRUE(of_kind("write_curr_thr").empty());
}

TEST_F(ObflRecords, FpdTextRecordsNeedTheFpdService) {
  fantray_cb& ft = ready_tray(0, 0x44);  // sensor service only
  inv_eid fpga = acq_inv_eid(0xfffe, 41, {{6, 9, 35}});
  envmon_obfl_log_fpd_info(&fpga, "upgrade started", ENVMON_SCOPE_RACK);
  EXPECT_TRUE(obfl_mgr_test_requests().empty());
  EXPECT_TRUE(tlg_test_contains("envmon_cmn_err", "envmon_obfl_log_fpd_info: RM Invalid client_id with slot=41\n"));
  ft.obfl_log_client_id = 0x45;
  envmon_obfl_msn = 20;
  envmon_obfl_log_fpd_info(&fpga, "upgrade started", ENVMON_SCOPE_RACK);
  envmon_obfl_log_fpd_info(&fpga, "successfully upgraded", ENVMON_SCOPE_RACK);
  const auto texts = of_kind("log_str");
  ASSERT_EQ(texts.size(), 2u);
  EXPECT_EQ(texts[0].client_id, 0x45u);
  EXPECT_EQ(texts[0].flag, 1);
  EXPECT_EQ(texts[0].sensor_type, 8u);  // record type
  EXPECT_EQ(texts[0].text, "upgrade started");
  EXPECT_EQ(texts[0].eid, "65534/41 6/9/35");
  EXPECT_EQ(texts[0].req_eid, "");
  EXPECT_EQ(texts[0].msn, 20u);
  EXPECT_EQ(texts[1].msn, 21u);
  EXPECT_EQ(texts[0].present[1] & 0x07, 0);  // the three fields after the type are not set
  EXPECT_EQ(texts[0].present[1] & 0x08, 0x08);  // the text is
}

}  // namespace

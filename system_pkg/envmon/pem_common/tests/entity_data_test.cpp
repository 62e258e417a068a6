// The power driver's entity data: PEMs, power trays and power controllers.
#include <gtest/gtest.h>

#include "drvif.h"
#include "envmon_pem_private.h"
#include "pem_fixture.h"
#include "tlg_test.h"

namespace {

uint64_t bit(uint32_t id) { return 1ull << id; }

class EntityDataTest : public PemFixture {};

TEST_F(EntityDataTest, FaultWordsBecomeTheAlarmBitmap) {
  struct Case {
    const char* name;
    uint32_t hw, fault, warn;
    uint64_t alarms;
  };
  const Case cases[] = {
      {"output disabled", 0x8, 0, 0, bit(17)},
      {"breaker off disables the output", 0x40, 0, 0, bit(17)},
      {"input B oring also counts for C", 0, 0x10000, 0, bit(27) | bit(31)},
      {"output oring also counts for C", 0, 0x20000, 0, bit(4) | bit(31)},
      {"fan fault and I2C error", 0, 0x100 | 0x800000, 0, bit(3) | bit(18)},
      {"power limited and temperature warning", 0, 0, 0x2 | 0x1, bit(19) | bit(20)},
      {"invalid fault read", 0, 0, 0x1000, bit(37)},
      {"no-input words are not mapped here", 0, 0, 0x4 | 0x80, 0},
  };
  for (const Case& c : cases) {
    uint64_t a = 0xdead;
    envmon_drvif_convert_pem_faults(c.hw, c.fault, c.warn, &a);
    EXPECT_EQ(a, c.alarms) << c.name;
  }
}

TEST_F(EntityDataTest, NoInputAlarmsFollowTheInputKind) {
  struct Case {
    uint32_t type;
    uint32_t warn;
    uint64_t alarms;
  };
  const Case cases[] = {
      {0xF01960, 0x4, bit(15)}, {0xF02050, 0x4, bit(16)}, {kAcPem, 0x80 | 0x100, bit(35) | bit(36)},
      {kDcPem, 0x80 | 0x100, bit(32) | bit(33)}, {kAcPem, 0x2000, bit(34)},
  };
  for (const Case& c : cases) {
    make_trays({1});
    EntityData d;
    d.type = c.type;
    d.warn_events = c.warn;
    notify(0, 0, d);
    EXPECT_EQ(pem(0, 0).pem_raw_data.hw_alarms, c.alarms) << std::hex << c.type;
    TearDown();
    SetUp();
  }
}

TEST_F(EntityDataTest, ANewPemIsRegisteredMaskedAndUpdated) {
  make_trays({2});
  EntityData d;
  d.type = kDcPem;
  d.serial = "DTM123456789XYZ";
  d.hours_used = 77;
  d.hw_major = 2;
  d.hw_minor = 5;
  d.has_vendor = true;
  d.vendor = 1;
  notify(0, 1, d);
  const pem_record& p = pem(0, 1);
  EXPECT_STREQ(p.serial_num, "DTM12345678");
  EXPECT_EQ(p.idprom_len, 256u);
  EXPECT_EQ(p.idprom_data[5], 5);
  EXPECT_EQ(p.hw_ver_maj, 2u);
  EXPECT_EQ(p.fru_hw_ver_min, 5u);
  EXPECT_EQ(p.vendor_id, 1u);
  EXPECT_EQ(p.pem_raw_data.hours_used, 77u);
  EXPECT_EQ(p.status, ENVMON_PEM_OK);
  EXPECT_EQ(p.capacity, 2100u);
  EXPECT_EQ(p.fru_reg_state, 0xf0000009u);  // registration armed, unregistration acknowledged
  EXPECT_NE(p.envmon_pem_init_timer_fd, -1);
  EXPECT_EQ(pemtest::calls("envmon_inv_invreg_reg_pwr_fru"),
            std::vector<std::string>{"envmon_inv_invreg_reg_pwr_fru(0, 1, 0xf0038a, DTM12345678, 11, 2, 5)"});
  // Known now: no second registration.
  notify(0, 1, d);
  EXPECT_EQ(pemtest::calls("envmon_inv_invreg_reg_pwr_fru").size(), 1u);
}

TEST_F(EntityDataTest, RemovalGoesStraightToTheStatusMachine) {
  make_trays({1});
  EntityData d;
  d.hw_events = 0x80;  // unsupported
  notify(0, 0, d);
  take_faults();
  d.hw_events = 0x2 | 0x80;
  notify(0, 0, d);
  EXPECT_EQ(pem(0, 0).status, ENVMON_PEM_NOT_PRESENT);
  for (const auto& f : take_faults()) EXPECT_NE(f.tag, 55u);  // module faults untouched
}

TEST_F(EntityDataTest, ModuleFaultsAreEdgeTriggered) {
  make_trays({1});
  EntityData d;
  d.hw_events = 0x1 | 0x80 | 0x100;
  d.fault_events = 0x8000000;
  d.fault_text = "PSU sensor read failed";
  d.warn_events = 0x40;
  d.warn_text = "IDPROM unreadable";
  notify(0, 0, d);
  notify(0, 0, d);
  std::vector<std::tuple<uint32_t, int32_t, std::string>> got;
  for (const auto& f : take_faults())
    if (f.tag == 55 || f.tag == 56 || f.tag == 50) got.emplace_back(f.tag, f.state, f.description);
  EXPECT_EQ(got, (std::vector<std::tuple<uint32_t, int32_t, std::string>>{
                     {55, 1, ""}, {56, 1, ""}, {50, 1, "PSU sensor read failed"}}));
  EXPECT_EQ(pem(0, 0).errors, 0x7u);
  EXPECT_EQ(pemtest::calls("envmon_process_drvif_idprom_access_fault"),
            std::vector<std::string>{"envmon_process_drvif_idprom_access_fault(65534/580 5/7/1, 1, IDPROM unreadable, 1)"});
  EntityData clean;
  notify(0, 0, clean);
  got.clear();
  for (const auto& f : take_faults())
    if (f.tag == 55 || f.tag == 56 || f.tag == 50) got.emplace_back(f.tag, f.state, f.description);
  EXPECT_EQ(got, (std::vector<std::tuple<uint32_t, int32_t, std::string>>{
                     {55, 2, ""}, {56, 2, ""}, {50, 2, "FAULT CLEARED"}}));
  EXPECT_EQ(pem(0, 0).errors, 0u);
  EXPECT_EQ(pemtest::calls("envmon_process_drvif_idprom_access_fault").size(), 2u);
}

TEST_F(EntityDataTest, AFailedModuleFaultReportIsTriedAgain) {
  make_trays({1});
  EntityData d;
  d.hw_events = 0x1 | 0x80;
  pemtest::standin().fault_rc = ENVMON_ERR_INVALID_ARG;
  notify(0, 0, d);
  EXPECT_EQ(pem(0, 0).errors & 0x2u, 0u);
  pemtest::standin().fault_rc = ENVMON_OK;
  take_faults();
  notify(0, 0, d);
  EXPECT_EQ(pem(0, 0).errors & 0x2u, 0x2u);
  bool raised = false;
  for (const auto& f : take_faults()) raised |= f.tag == 55 && f.state == 1;
  EXPECT_TRUE(raised);
}

TEST_F(EntityDataTest, EntriesWithoutStateOrForOtherSlotsAreSkipped) {
  make_trays({1});
  EntityData d;
  d.has_state = false;
  notify(0, 0, d);
  EXPECT_EQ(pem(0, 0).status, 0u);
  drvif_eid_data_rec entry{};
  entry.present[0] = 0x08;
  envmon_pem_drvif_eid_data_notification(1, &entry, nullptr, nullptr, nullptr, 0, 999, kAcPem, "", 1, 0, "", 0, "",
                                         0, nullptr, 0, 0, 0, 1);
  EXPECT_TRUE(tlg_test_contains("envmon_pem_lib_err", "invalid slot 999 for PEM\n"));
}

TEST_F(EntityDataTest, KnownPemOfARestartedDriverIsPolledAgain) {
  make_trays({1});
  add_sensor(0, 0, 29, "Input Voltage");
  notify(0, 0, kAcPem);
  pemtest::standin().calls.clear();
  notify(0, 0, kAcPem);  // its first voltage sensor was never polled
  EXPECT_EQ(pemtest::calls("envmon_drvif_poll_request").size(), 1u);
  pemtest::standin().calls.clear();
  notify(0, 0, kAcPem);  // polled now
  EXPECT_TRUE(pemtest::calls("envmon_drvif_poll_request").empty());
}

TEST_F(EntityDataTest, ControllerPresenceRemovalAndMixedTrays) {
  make_trays({1});
  rm.is_proto_chassis = 0;
  pctrl_data[0].idprom = static_cast<uint8_t*>(calloc(1, 256));
  inv_eid e{};
  e.rack = 0xfffe;
  e.slot = 0xfffe;
  e.level_count = 2;
  e.levels[0] = {6, 1, 0};
  e.levels[1] = {9, 44, 1};
  pelm_eid eid{};
  inv_util_convert_eid_to_pelm_eid(&e, &eid);
  drvif_eid_data_rec entry{};
  entry.present[0] = 0x08;
  uint8_t idprom[300] = {7};
  auto send = [&](uint32_t hw, uint32_t warn, uint32_t instance = 1) {
    eid.tsi[1].instance = instance;
    envmon_pem_drvif_eid_data_notification(44, &entry, &eid, &eid, eid.tsi, eid.tsi_count, 0xfffe, 0xAA0001, "PCM0SERIAL123",
                                           hw, 0, "", warn, "mixed trays", 0, idprom, sizeof idprom, 1, 0, 1);
  };
  send(0x1, 0x20);
  EXPECT_EQ(pctrl_data[0].state & 0x1u, 0x1u);
  EXPECT_STREQ(pctrl_data[0].serial_num, "PCM0SERIAL1");
  EXPECT_EQ(pctrl_data[0].idprom_len, 256u);  // bounded to the IDPROM size
  EXPECT_EQ(pctrl_data[0].reg_state, 0xf0000001u);
  EXPECT_EQ(pctrl_data[0].mixed_pwr_trays_alarm, 1);
  send(0x1, 0);
  send(0x2, 0);
  send(0x2, 0);
  send(0x1, 0, 3);  // no third controller
  std::vector<std::pair<uint32_t, int32_t>> faults;
  for (const auto& f : take_faults()) faults.emplace_back(f.tag, f.state);
  EXPECT_EQ(faults, (std::vector<std::pair<uint32_t, int32_t>>{{41, 1}, {41, 2}}));
  EXPECT_EQ(pemtest::calls("envmon_process_drvif_hw_undetected_fault"),
            std::vector<std::string>{"envmon_process_drvif_hw_undetected_fault(65534/65534 6/1/0 9/44/1, 1, 1)"});
  send(0x1, 0);
  EXPECT_EQ(pemtest::calls("envmon_process_drvif_hw_undetected_fault").size(), 2u);  // cleared
  send(0x0, 0);
  EXPECT_TRUE(tlg_test_contains("envmon_pem_lib_err", "invalid hw event 0 for power controller\n"));
  envmon_free_tsi(&eid);
}

TEST_F(EntityDataTest, CircuitBreakerFollowsASuccessfulReport) {
  make_trays({1});
  pelm_eid eid{};
  envmon_setup_fru_eid(3, &eid);
  pemtest::standin().fault_rc = ENVMON_ERR_INVALID_ARG;
  envmon_process_cbreaker_off_alm(&eid, 1, 1, true);
  EXPECT_EQ(rm.cbreaker_off_alarms, 0u);
  pemtest::standin().fault_rc = ENVMON_OK;
  envmon_process_cbreaker_off_alm(&eid, 1, 1, true);
  envmon_process_cbreaker_off_alm(&eid, 1, 1, true);
  EXPECT_EQ(rm.cbreaker_off_alarms, 0x2u);
  envmon_process_cbreaker_off_alm(&eid, 0, 1, false);  // never raised
  auto faults = take_faults();
  ASSERT_EQ(faults.size(), 2u);
  EXPECT_EQ(faults[1].tag, 49u);
  EXPECT_EQ(faults[1].description, "Power Shelf 1");
  pemtest::standin().hal.platform = "OBV8K";
  envmon_process_cbreaker_off_alm(&eid, 1, 1, false);
  faults = take_faults();
  ASSERT_EQ(faults.size(), 1u);
  EXPECT_EQ(faults[0].description, "Power Tray 1");
  EXPECT_EQ(rm.cbreaker_off_alarms, 0u);
}

TEST_F(EntityDataTest, PhysicalTrayPresenceAndRemoval) {
  make_trays({2, 2}, true);
  rm.is_proto_chassis = 0;
  tray_budgets[1].state = 0;
  tray_budgets[1].type = 0xAA0A91;
  pm.no_pt_detected = 1;
  pelm_eid eid{};
  envmon_setup_pwr_tray_eid(2, &eid);
  drvif_eid_data_rec entry{};
  entry.present[0] = 0x08;
  auto send = [&](uint32_t hw) {
    envmon_pem_drvif_eid_data_notification(23, &entry, &eid, &eid, eid.tsi, eid.tsi_count, 2, 0xAA0A91, "TRAYSERIAL12",
                                           hw, 0, "", 0, "", 0, nullptr, 0, 1, 0, 1);
  };
  // A new tray builds its PEM table from its description, which this
  // platform does not have: the server ends.
  EXPECT_EXIT(send(0x1), ::testing::ExitedWithCode(255), "");
  tray_budgets[1].state = 1;  // seen before
  apply(1, 0, kAcPem);
  pemtest::standin().calls.clear();
  send(0x1);
  EXPECT_EQ(pm.no_pt_detected, 1);
  EXPECT_EQ(pemtest::calls("envmon_pwr_mgmt_powertray_"),
            (std::vector<std::string>{"envmon_pwr_mgmt_powertray_hwtype_upd(1, 0xaa0a91)",
                                      "envmon_pwr_mgmt_powertray_oir_ev(1, 1)"}));
  pemtest::standin().calls.clear();
  send(0x2);
  EXPECT_EQ(pemtest::calls("envmon_inv_invreg_unreg_pwr_fru"),
            (std::vector<std::string>{"envmon_inv_invreg_unreg_pwr_fru(1, 0, 0xf00388)",
                                      "envmon_inv_invreg_unreg_pwr_fru(1, 0, 0xaa0a91)"}));
  EXPECT_EQ(pemtest::calls("envmon_process_drvif_hw_undetected_fault").size(), 1u);
  EXPECT_EQ(pemtest::calls("envmon_pwr_mgmt_powertray_oir_ev"),
            std::vector<std::string>{"envmon_pwr_mgmt_powertray_oir_ev(1, 0)"});
  envmon_free_tsi(&eid);
}

TEST_F(EntityDataTest, BatchEnds) {
  make_trays({1, 1}, true);
  rm.is_proto_chassis = 0;
  tray_budgets[0].state = 0;
  tray_budgets[1].state = 1;
  envmon_pem_drvif_eid_data_notification_complete(23);
  EXPECT_EQ(tray_budgets[0].state, 2);
  EXPECT_EQ(tray_budgets[1].state, 1);
  EXPECT_EQ(pemtest::calls("envmon_process_drvif_hw_undetected_fault"),
            std::vector<std::string>{"envmon_process_drvif_hw_undetected_fault(65534/1 9/23/1, 1, 1)"});
  pd_power_supplies_data.pem_drvif_reg_done = 1;
  envmon_pem_drvif_eid_data_notification_complete(1);
  EXPECT_EQ(pd_power_supplies_data.all_pem_info_rcvd, 1);
}

TEST_F(EntityDataTest, SingleAlarmBitEvents) {
  make_trays({1});
  apply(0, 0, kAcPem);
  take_faults();
  envmon_drvif_pem_fault_handling(0, 0, 0x400000, 3);
  EXPECT_TRUE(pem::alarm_set(pem(0, 0).alarms, 3));
  EXPECT_EQ(pem(0, 0).status, ENVMON_PEM_FAILED);
  envmon_pem_fault_handling(0, 0, 0x400000, 3);  // no change: no update
  EXPECT_EQ(take_faults().size(), 1u);
  envmon_pem_fault_handling(0, 0, 0, 3);
  EXPECT_EQ(pem(0, 0).status, ENVMON_PEM_OK);
  envmon_drvif_pem_fault_handling(4, 0, 0, 3);
  EXPECT_TRUE(tlg_test_contains("envmon_pem_lib_err", "envmon_drvif_pem_fault_handling(): invalid pwr_tray_num 4 \n"));
}

}  // namespace

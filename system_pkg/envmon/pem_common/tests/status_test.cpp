// PEM status and capacity: driver data sets a PEM's status and capacity by
// its type, and the tray and chassis totals follow every change of state.
#include <gtest/gtest.h>

#include "envmon_pem_private.h"
#include "pem_fixture.h"
#include "qyx_sysctl.h"
#include "tlg_test.h"

namespace {

constexpr uint64_t kOvFault = 1ull << 7;       // HW_OV_FAULT, a failing alarm
constexpr uint64_t kOutputDisabled = 1ull << 17;

class Status : public PemFixture {};

TEST_F(Status, CapacityFollowsThePemType) {
  struct Case {
    const char* name;
    uint32_t type;
    uint32_t vendor;
    const char* property;  // platform PSU capacity, null: not set
    uint32_t capacity;
  };
  const Case cases[] = {
      {"AC 3 kW", 0xF00388, 0, nullptr, 3000},
      {"DC 2.1 kW", 0xF0038A, 0, nullptr, 2100},
      {"1.75 kW", 0xF11992, 0, nullptr, 1750},
      {"4.4 kW", 0xAB010040, 0, nullptr, 4400},
      {"small types 1-3", 2, 0, nullptr, 1200},
      {"vendor 1 of the AC family", 0xF01960, 1, nullptr, 1050},
      {"other vendor of the AC family", 0xF01960, 2, nullptr, 1600},
      {"DC member of the family", 0xF01961, 1, nullptr, 1600},
      {"platform property missing", 0x501002, 0, nullptr, 850},
      {"platform property set", 0x501005, 0, "920", 920},
      {"unknown type keeps the old value", 0x123, 0, nullptr, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    make_trays({1, 1});
    qyx_sysctl_set("tolvu.zul.qyx.platform.psu.capacity", c.property);
    pem(0, 0).vendor_id = c.vendor;
    apply(0, 0, c.type);
    EXPECT_EQ(pem(0, 0).capacity, c.capacity);
    EXPECT_EQ(pem(0, 0).status, ENVMON_PEM_OK);
    if (c.type != 0xAB010040) {  // the feed hooks count the multi-feed one
      EXPECT_EQ(pm.total_capacity, c.capacity);
      EXPECT_EQ(pd_power_tray_info[0].tray_capacity, c.capacity);
    }
    TearDown();
    SetUp();
  }
  qyx_sysctl_set("tolvu.zul.qyx.platform.psu.capacity", nullptr);
}

TEST_F(Status, UsableTransitionsMoveTheTotalsOnce) {
  make_trays({2, 2});
  apply(0, 0, kAcPem);
  apply(1, 1, kDcPem);
  EXPECT_EQ(pm.total_capacity, 5100u);
  EXPECT_EQ(oper_counter(pem::kTotalCapacity), 5100u);
  apply(0, 0, kAcPem);  // still OK: nothing moves
  EXPECT_EQ(pm.total_capacity, 5100u);

  apply(0, 0, kAcPem, kOvFault);
  EXPECT_EQ(pem(0, 0).status, ENVMON_PEM_FAILED);
  EXPECT_EQ(pm.total_capacity, 2100u);
  EXPECT_EQ(pd_power_tray_info[0].tray_capacity, 0u);
  apply(0, 0, kAcPem, kOvFault);  // still failed: not subtracted again
  EXPECT_EQ(pm.total_capacity, 2100u);

  apply(0, 0, kAcPem);
  EXPECT_EQ(pem(0, 0).status, ENVMON_PEM_OK);
  EXPECT_EQ(pm.total_capacity, 5100u);
  EXPECT_EQ(pd_power_tray_info[0].tray_capacity, 3000u);
  EXPECT_EQ(pd_power_tray_info[1].tray_capacity, 2100u);
  EXPECT_TRUE(tlg_test_contains("envmon_pem_lib_pwrm",
                                "envmon_pwr_mgmt_pem_data_upd : pem (0, 0) status changed from FAILED to OK, total power "
                                "capacity changed from 2100 to 5100 (W) \n"));
}

TEST_F(Status, OutputDisabledFailsAPemExceptInAnUpgrade) {
  make_trays({2});
  apply(0, 0, kAcPem, kOutputDisabled);
  EXPECT_EQ(pem(0, 0).status, ENVMON_PEM_FAILED);
  pem(0, 1).status = ENVMON_PEM_OK | ENVMON_PEM_IN_FPD_UPG;
  apply(0, 1, kAcPem, kOutputDisabled);
  EXPECT_EQ(pem(0, 1).status, ENVMON_PEM_OK | ENVMON_PEM_IN_FPD_UPG);
  // The alarm is raised for both.
  EXPECT_TRUE(pem::alarm_set(pem(0, 0).alarms, 17));
  EXPECT_TRUE(pem::alarm_set(pem(0, 1).alarms, 17));
}

TEST_F(Status, ACapacityChangeOfAUsablePemKeepsTheTotalsTrue) {
  make_trays({1, 1});
  qyx_sysctl_set("tolvu.zul.qyx.platform.psu.capacity", "850");
  apply(0, 0, 0x501002);
  EXPECT_EQ(pm.total_capacity, 850u);
  qyx_sysctl_set("tolvu.zul.qyx.platform.psu.capacity", "1000");
  apply(0, 0, 0x501002);
  EXPECT_EQ(pm.total_capacity, 1000u);
  apply(0, 0, 0x501002, kOvFault);
  EXPECT_EQ(pm.total_capacity, 0u);
  EXPECT_EQ(pd_power_tray_info[0].tray_capacity, 0u);
  qyx_sysctl_set("tolvu.zul.qyx.platform.psu.capacity", nullptr);
}

TEST_F(Status, MultiFeedPemsAreCountedByTheHardwareAbstraction) {
  make_trays({1, 1});
  apply(0, 0, 0xAB010010);
  apply(1, 0, 0xAB010040);
  EXPECT_EQ(pm.total_capacity, 0u);
  EXPECT_EQ(pemtest::calls("envmon_hal_handle_"),
            (std::vector<std::string>{"envmon_hal_handle_dual_feed_capacity(0, 0, 0xab010010, 0x0)",
                                      "envmon_hal_handle_pem_status_change(0, 0, 0x0)",
                                      "envmon_hal_handle_triple_feed_capacity(1, 0, 0xab010040, 0x0)",
                                      "envmon_hal_handle_pem_status_change(1, 0, 0x0)"}));
}

TEST_F(Status, RemovalUnregistersNotifiesAndClears) {
  make_trays({2});
  apply(0, 1, kAcPem, kOvFault);
  pem(0, 1).pem_raw_data.input_voltage_a = 54000;
  add_sensor(0, 1, 29, "Input Voltage");
  take_faults();
  pemtest::standin().calls.clear();
  envmon_pwr_mgmt_pem_data_upd(0, 1, nullptr, 0);
  const pem_record& p = pem(0, 1);
  EXPECT_EQ(p.status, ENVMON_PEM_NOT_PRESENT);
  EXPECT_EQ(p.fru_reg_state & 0xf000000fu, 0xf0000004u);
  EXPECT_EQ(p.alarms, 0u);
  EXPECT_EQ(p.pem_raw_data.input_voltage_a, kNoReading);
  EXPECT_EQ(p.voltage_data.count, 0u);
  EXPECT_EQ(p.capacity, 3000u);  // the last type and capacity stay
  EXPECT_EQ(pemtest::calls("envmon_inv_invreg_unreg_pwr_fru"),
            std::vector<std::string>{"envmon_inv_invreg_unreg_pwr_fru(0, 1, 0xf00388)"});
  EXPECT_EQ(pemtest::calls("envmon_fm_fault_clear"),
            std::vector<std::string>{"envmon_fm_fault_clear(1, 65534/0 5/7/2)"});
  const auto faults = take_faults();
  ASSERT_EQ(faults.size(), 1u);
  EXPECT_EQ(faults[0].tag, 24u);
  EXPECT_EQ(faults[0].state, 3);
  EXPECT_EQ(faults[0].level, 2);
  EXPECT_EQ(faults[0].eid, "65534/581 5/7/2 9/9/1");
  EXPECT_EQ(oper_counter(pem::kPMremoval), 1u);
  // A removal of an absent PEM changes nothing more.
  envmon_pwr_mgmt_pem_data_upd(0, 1, nullptr, 0);
  EXPECT_TRUE(take_faults().empty());
}

TEST_F(Status, InsertionIsNotifiedOnce) {
  make_trays({1});
  apply(0, 0, kAcPem);
  apply(0, 0, kAcPem);
  const auto faults = take_faults();
  ASSERT_EQ(faults.size(), 1u);
  EXPECT_EQ(faults[0].tag, 23u);
  EXPECT_EQ(faults[0].state, 3);
  EXPECT_EQ(oper_counter(pem::kPMinsertion), 1u);
}

TEST_F(Status, BadIndexesOnlyTrace) {
  make_trays({1});
  pem_raw_data_t raw{};
  raw.pem_type = kAcPem;
  envmon_pwr_mgmt_pem_data_upd(2, 0, &raw, 1);
  envmon_pwr_mgmt_pem_data_upd(0, 1, &raw, 1);
  envmon_pwr_mgmt_pem_data_upd(0, 0, nullptr, 1);
  EXPECT_TRUE(tlg_test_contains("envmon_pem_lib_err", "envmon_pwr_mgmt_pem_data_upd: invalid power tray number 2 \n"));
  EXPECT_TRUE(tlg_test_contains("envmon_pem_lib_err", "envmon_pwr_mgmt_pem_data_upd: invalid pem number 1 \n"));
  EXPECT_TRUE(tlg_test_contains("envmon_pem_lib_err", "envmon_pwr_mgmt_pem_data_upd: NULL PEM raw data\n"));
  EXPECT_EQ(pm.total_capacity, 0u);
}

TEST_F(Status, StatusNames) {
  struct Case {
    uint32_t status;
    const char* name;
  };
  const Case cases[] = {
      {0x1, "NOT_PRESENT"}, {0x21, "NOT_PRESENT"},     {0x22, "PRESENT_BEFORE_CCC_RESTART"},
      {0x6, "OK+FPD_UPG_REQ"}, {0x14, "FPD_UPG_REQ+FAILED"}, {0x4, "FPD_UPG_REQ"},
      {0x2, "OK"},          {0x10, "FAILED"},          {0xa, "OK+IN_FPD_UPG"},
      {0x18, "IN_FPD_UPG+FAILED"}, {0x8, "IN_FPD_UPG"}, {0x0, "INVALID"}, {0x12, "INVALID"},
  };
  for (const Case& c : cases) EXPECT_STREQ(envmon_pem_status_to_str(c.status), c.name) << c.status;
  EXPECT_TRUE(tlg_test_contains("envmon_pem_lib_err", "invalid status 0x21\n"));
}

TEST_F(Status, PemsSilentAfterAControllerRestartAreDroppedAtTheEndOfTheBatch) {
  struct Case {
    const char* name;
    uint32_t chassis;
    bool dropped;
  };
  const Case cases[] = {{"listed chassis", kChassisType, true},
                        {"chassis that keeps them", 0x6001010B, false},
                        {"other chassis that keeps them", 0x60010107, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    make_trays({2});
    rm.chassis_type = c.chassis;
    apply(0, 0, kAcPem);
    apply(0, 1, kAcPem);
    pd_power_supplies_data.pem_drvif_reg_done = 1;
    envmon_pem_drvif_disconnect(ENVMON_DRV_POWER);
    if (c.chassis != kChassisType) {
      // On those chassis a standby disconnect changes nothing; an active one marks.
      EXPECT_EQ(pem(0, 0).status, ENVMON_PEM_OK | ENVMON_PEM_PRESENT_BEFORE_CCC_RESTART);
    }
    EXPECT_EQ(pd_power_supplies_data.pem_drvif_reg_done, 0);
    pd_power_supplies_data.pem_drvif_reg_done = 1;
    notify(0, 1, kAcPem);  // data of PEM 1 comes again
    pemtest::standin().calls.clear();
    envmon_pwr_mgmt_set_pem_data_done();
    EXPECT_EQ(pd_power_supplies_data.all_pem_info_rcvd, 1);
    EXPECT_EQ(pem(0, 1).status, ENVMON_PEM_OK);
    EXPECT_EQ(pem(0, 0).status, c.dropped ? ENVMON_PEM_NOT_PRESENT : ENVMON_PEM_OK);
    // Dropped PEMs are unregistered once.
    EXPECT_EQ(pemtest::calls("envmon_inv_invreg_unreg_pwr_fru").size(), c.dropped ? 1u : 0u);
    EXPECT_EQ(pm.total_capacity, c.dropped ? 3000u : 6000u);
    EXPECT_EQ(pemtest::calls("envmon_pwr_mgmt_check_card_shut_pending").size(), 1u);
    EXPECT_EQ(pemtest::calls("envmon_check_chassis_ps_alm(1)").size(), 1u);
    TearDown();
    SetUp();
  }
}

TEST_F(Status, DataBatchEndsAreIgnoredUntilRegisteredOnTheActiveRole) {
  make_trays({1});
  envmon_pwr_mgmt_set_pem_data_done();
  EXPECT_EQ(pd_power_supplies_data.all_pem_info_rcvd, 0);
  pd_power_supplies_data.pem_drvif_reg_done = 1;
  rm.svc_role = ENVMON_ROLE_STANDBY;
  envmon_pwr_mgmt_set_pem_data_done();
  EXPECT_EQ(pd_power_supplies_data.all_pem_info_rcvd, 0);
  EXPECT_TRUE(pemtest::calls("envmon_check_chassis_ps_alm").empty());
}

TEST_F(Status, TrayRemovalTakesEveryPemOut) {
  make_trays({2, 1});
  apply(0, 0, kAcPem);
  apply(0, 1, kDcPem);
  apply(1, 0, kAcPem);
  pd_power_supplies_data.pem_drvif_reg_done = 1;
  envmon_pwr_mgmt_set_pem_data_done();
  pemtest::standin().calls.clear();
  envmon_pem_pwr_mgmt_powertray_oir(0, 0);
  EXPECT_EQ(pd_power_tray_info[0].num_pems, 0u);
  EXPECT_EQ(tray_budgets[0].state, 2);
  EXPECT_EQ(pm.total_capacity, 3000u);
  EXPECT_EQ(pd_power_tray_info[0].tray_capacity, 0u);
  EXPECT_EQ(pemtest::calls("envmon_inv_invreg_unreg_pwr_fru").size(), 2u);
  EXPECT_EQ(pemtest::calls("envmon_check_chassis_ps_alm").size(), 1u);  // the data-done pass ran
  envmon_pem_pwr_mgmt_powertray_oir(0, 1);
  EXPECT_EQ(tray_budgets[0].state, 1);
}

}  // namespace

namespace {

TEST_F(Status, RoleChangeForgetsCountedCapacitiesAndTimers) {
  make_trays({2});
  notify(0, 0, kAcPem);
  pem(0, 1).pre_capacity = 3000;  // counted by the feed hooks
  ASSERT_NE(pem(0, 0).envmon_pem_init_timer_fd, -1);
  envmon_pem_pwr_mgmt_handle_role_change();
  EXPECT_EQ(pd_power_tray_info[0].num_pems, 0u);
  EXPECT_EQ(pd_power_tray_info[0].tray_capacity, 0u);
  EXPECT_EQ(pem(0, 1).pre_capacity, 0u);
  EXPECT_EQ(pem(0, 0).status, 0u);
  EXPECT_EQ(pem(0, 0).envmon_pem_init_timer_fd, -1);
  EXPECT_TRUE(armed_timers().empty());
  // Back on the active role the totals start over from what is counted again.
  pd_power_tray_info[0].num_pems = 2;
  pm.total_capacity = 0;
  apply(0, 0, kAcPem);
  EXPECT_EQ(pm.total_capacity, 3000u);
}

}  // namespace

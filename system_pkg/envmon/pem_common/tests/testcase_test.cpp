// The canned scenarios engineers replay.
#include <gtest/gtest.h>

#include "envmon_pem_private.h"
#include "pem_fixture.h"
#include "tlg_test.h"

namespace {

class TestCases : public PemFixture {};

TEST_F(TestCases, EveryRunIsTracedAndUnknownIdsRefused) {
  make_trays({2});
  envmon_pem_run_test_case(9);
  envmon_mirno_pem_run_test_case(9);
  EXPECT_TRUE(tlg_test_contains("envmon_pem_lib_pwrm", "envmon_pem_run_test_case: #9\n"));
  EXPECT_TRUE(tlg_test_contains("envmon_pem_lib_err", "envmon_pem_run_test_case: invalid test id 9\n"));
  EXPECT_TRUE(tlg_test_contains("envmon_pem_lib_err", "envmon_mirno_pem_run_test_case: invalid test id 9\n"));
}

TEST_F(TestCases, PemsOfTheGeneralAndTheMirnoVariant) {
  struct Case {
    const char* name;
    void (*run)(uint32_t);
    uint32_t dc;
  };
  const Case cases[] = {{"general", envmon_pem_run_test_case, 0xF0038A},
                        {"Mirno", envmon_mirno_pem_run_test_case, 0xF11991}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    make_trays({3});
    pd_power_supplies_data.pem_drvif_reg_done = 1;
    c.run(3);
    for (uint32_t i = 0; i < 3; ++i) {
      EXPECT_EQ(pem(0, i).pem_raw_data.pem_type, c.dc);
      EXPECT_EQ(pem(0, i).status, ENVMON_PEM_OK);
    }
    EXPECT_EQ(pemtest::calls("envmon_inv_invreg_reg_pwr_fru").size(), 3u);
    EXPECT_EQ(pd_power_supplies_data.all_pem_info_rcvd, 1);
    TearDown();
    SetUp();
  }
}

TEST_F(TestCases, AlarmScanEndsWithTheLastThreeBits) {
  make_trays({1, 9});
  envmon_pem_run_test_case(18);
  EXPECT_EQ(pem(1, 8).pem_raw_data.hw_alarms, (1ull << 38) | (1ull << 39) | (1ull << 40));
  EXPECT_EQ(pem(1, 8).pem_raw_data.hours_used, 20u);
  // Every id 1-37 was raised and cleared once on the way.
  uint32_t raised = 0;
  for (const auto& f : take_faults())
    if (f.state == 1 && f.eid == pemtest::eid_text(&pem(1, 8).ps_eid)) ++raised;
  EXPECT_GE(raised, 36u);
}

TEST_F(TestCases, TraysBudgetsAndModes) {
  make_trays({1, 1}, true);
  envmon_pem_run_test_case(2);
  EXPECT_EQ(pemtest::calls("envmon_pwr_mgmt_powertray_"),
            (std::vector<std::string>{"envmon_pwr_mgmt_powertray_hwtype_upd(1, 0xaa0a91)",
                                      "envmon_pwr_mgmt_powertray_oir_ev(1, 1)"}));
  pemtest::standin().calls.clear();
  apply(1, 0, kAcPem);
  envmon_pem_run_test_case(11);
  EXPECT_EQ(pemtest::calls("envmon_inv_invreg_unreg_pwr_fru"),
            (std::vector<std::string>{"envmon_inv_invreg_unreg_pwr_fru(1, 0, 0xf00388)",
                                      "envmon_inv_invreg_unreg_pwr_fru(1, 0, 0x0)"}));
  envmon_pem_run_test_case(7);
  envmon_pem_run_test_case(8);
  EXPECT_EQ(pemtest::calls("envmon_pwr_mgmt_set_action_mode"), std::vector<std::string>{"envmon_pwr_mgmt_set_action_mode(1)"});
  EXPECT_EQ(pemtest::calls("envmon_hal_pwr_mgmt_set_redundancy_num_pems").size(), 1u);
}

TEST_F(TestCases, VoltageEventsOnHealthyPems) {
  make_trays({2});
  add_sensor(0, 0, 29, "Input Voltage");
  add_sensor(0, 1, 29, "Input Voltage");
  apply(0, 0, kDcPem);
  apply(0, 1, kDcPem, 1ull << 5);  // failed: left out
  envmon_pem_run_test_case(25);
  const auto events = pemtest::calls("envmon_volt_value_change_event");
  ASSERT_EQ(events.size(), 7u);
  EXPECT_EQ(events[0], "envmon_volt_value_change_event(65534/580 5/7/1 8/29/1, 43990, 1, 0)");
  EXPECT_EQ(events[5], "envmon_volt_value_change_event(65534/580 5/7/1 8/29/1, 39998, 1, 0)");
}

TEST_F(TestCases, UpgradeEveryPemThatIsAdmitted) {
  make_trays({2});
  apply(0, 0, kAcPem);
  apply(0, 1, kAcPem);
  for (uint32_t i = 0; i < 2; ++i) {
    pem_record& p = pem(0, i);
    p.num_fpds = 1;
    p.fpds = static_cast<fpd_data*>(calloc(1, sizeof(fpd_data)));
    p.fpds[0].state = 25;
    std::snprintf(p.fpds[0].name, sizeof p.fpds[0].name, "FPD-%u", i);
  }
  envmon_pem_run_test_case(106);
  // The first is admitted; the second waits for it.
  EXPECT_EQ(pemtest::calls("envmon_drvif_request_fpd_upd"), std::vector<std::string>{"envmon_drvif_request_fpd_upd(2, FPD-0)"});
  EXPECT_TRUE(tlg_test_contains("envmon_pem_lib_pwrm", "envmon_pem_run_test_case: fpd(0,1,0) rc 2\n"));
}

}  // namespace

// Firmware upgrades of power modules: admission, queueing, sequencing,
// cancellation and the FPD notifications.
#include <gtest/gtest.h>

#include "envmon_fpd.h"
#include "envmon_pem_private.h"
#include "fpd_drv.h"
#include "fpd_drv_test.h"
#include "pem_fixture.h"
#include "tlg_test.h"

namespace {

struct Result {
  void* ctx;
  uint32_t state;
  std::string text;
};
std::vector<Result>& results() {
  static std::vector<Result> r;
  return r;
}
void on_result(void*, void* ctx, uint32_t state, const char* msg) { results().push_back({ctx, state, msg ? msg : ""}); }

class Upgrade : public PemFixture {
 protected:
  void SetUp() override {
    PemFixture::SetUp();
    fpd_drv_test_reset();
    results().clear();
  }
  // Gives the PEM `count` FPD records, idle, with framework handles.
  void fpds(uint32_t tray, uint32_t index, uint16_t count) {
    pem_record& p = pem(tray, index);
    p.num_fpds = count;
    p.fpds = static_cast<fpd_data*>(calloc(count, sizeof(fpd_data)));
    for (uint16_t f = 0; f < count; ++f) {
      fpd_data& r = p.fpds[f];
      std::snprintf(r.name, sizeof r.name, "PM%u-%u-FPD%u", tray, index, f);
      r.state = 25;
      r.fpd_out.fpd_hd = &r;  // any handle unique to the record
      r.cb_func = on_result;
      r.eid.rack = 0xfffe;
      r.eid.slot = static_cast<uint16_t>(slot(tray, index));
      r.eid.level_count = 1;
      r.eid.levels[0] = {9, 35, static_cast<uint16_t>(f + 1)};
    }
  }
  fpd_drv_upgrade_req request(uint32_t tray, uint32_t index, uint16_t f) {
    fpd_drv_upgrade_req r{};
    r.ctx = this;
    r.result_cb = on_result;
    r.eid = pem(tray, index).fpds[f].eid;
    r.slot = static_cast<uint32_t>(slot(tray, index));
    return r;
  }
  std::string extended(uint32_t tray, uint32_t index, uint16_t f, uint32_t value) {
    char hd[32];
    std::snprintf(hd, sizeof hd, "%p", pem(tray, index).fpds[f].fpd_out.fpd_hd);
    return std::string("extend(") + hd + "," + std::to_string(value) + ")";
  }
};

TEST_F(Upgrade, RefusedWhenTheRestCannotCarryTheBudget) {
  make_trays({2});
  apply(0, 0, kAcPem);
  apply(0, 1, kAcPem);
  fpds(0, 0, 1);
  pm.total_power_budget = 3500;
  fpd_drv_upgrade_req req = request(0, 0, 0);
  fpd_data* out = nullptr;
  uint32_t kind = 0;
  uint8_t proceed = 7;
  EXPECT_EQ(envmon_pem_fpd_image_set(&req, &out, &kind, &proceed), ENVMON_OK);
  EXPECT_EQ(proceed, 0);
  EXPECT_EQ(out, nullptr);
  EXPECT_EQ(pem(0, 0).fpds[0].state, 10u);
  ASSERT_EQ(results().size(), 1u);
  EXPECT_EQ(results()[0].ctx, this);
  EXPECT_EQ(results()[0].state, 10u);
  EXPECT_EQ(results()[0].text, "PM failed or not enough PMs in the chassis");
  EXPECT_EQ(pm.total_capacity, 6000u);
}

TEST_F(Upgrade, AFailedPemMayBeUpgradedWhateverTheBudget) {
  make_trays({2});
  apply(0, 0, kAcPem, 1ull << 5);
  apply(0, 1, kAcPem);
  fpds(0, 0, 1);
  pm.total_power_budget = 3500;
  EXPECT_EQ(envmon_pwr_mgmt_request_pem_upg(0, 0, 0), 0);
  EXPECT_EQ(pem(0, 0).status, ENVMON_PEM_FAILED | ENVMON_PEM_IN_FPD_UPG);
}

TEST_F(Upgrade, AdmittedUpgradeTakesThePemOutAndZeroesItsReadings) {
  make_trays({2});
  apply(0, 0, kAcPem);
  apply(0, 1, kAcPem);
  fpds(0, 0, 1);
  add_sensor(0, 0, 29, "Input Voltage", 230000);
  add_sensor(0, 0, 7, "Output Current", 30000);
  pm.total_power_budget = 3000;
  fpd_drv_upgrade_req req = request(0, 0, 0);
  fpd_data* out = nullptr;
  uint32_t kind = 0;
  uint8_t proceed = 0;
  EXPECT_EQ(envmon_pem_fpd_image_set(&req, &out, &kind, &proceed), ENVMON_OK);
  EXPECT_EQ(proceed, 1);
  EXPECT_EQ(out, &pem(0, 0).fpds[0]);
  EXPECT_EQ(kind, 2u);
  EXPECT_EQ(pem(0, 0).status, ENVMON_PEM_OK | ENVMON_PEM_IN_FPD_UPG);
  EXPECT_EQ(pm.total_capacity, 3000u);
  EXPECT_EQ(pd_power_tray_info[0].tray_capacity, 3000u);
  EXPECT_EQ(pem(0, 0).voltage_data.sensors[0].value, 0);
  EXPECT_EQ(pemtest::calls("envmon_inv_invreg_volt_sensor_update").size(), 1u);
  EXPECT_EQ(pemtest::calls("envmon_inv_invreg_curr_sensor_update").size(), 1u);
  EXPECT_EQ(pemtest::calls("envmon_check_chassis_ps_alm(1)").size(), 1u);
}

TEST_F(Upgrade, ASecondPemWaitsAndStartsWhenTheFirstEnds) {
  make_trays({3});
  for (uint32_t i = 0; i < 3; ++i) apply(0, i, kAcPem);
  fpds(0, 0, 1);
  fpds(0, 1, 1);
  fpd_drv_upgrade_req first = request(0, 0, 0);
  fpd_drv_upgrade_req second = request(0, 1, 0);
  fpd_data* out = nullptr;
  uint32_t kind = 0;
  uint8_t proceed = 0;
  envmon_pem_fpd_image_set(&first, &out, &kind, &proceed);
  EXPECT_EQ(proceed, 1);
  envmon_pem_fpd_image_set(&second, &out, &kind, &proceed);
  EXPECT_EQ(proceed, 0);
  EXPECT_EQ(pem(0, 1).status, ENVMON_PEM_OK | ENVMON_PEM_FPD_UPG_REQ);
  EXPECT_EQ(pem(0, 1).fpds[0].state, 0u);
  EXPECT_EQ(fpd_drv_test_calls(), std::vector<std::string>{extended(0, 1, 0, 3000)});
  EXPECT_EQ(pm.total_capacity, 6000u);
  // The first upgrade ends: the second starts.
  pem(0, 0).fpds[0].state = 5;
  envmon_pem_drvif_fpd_data_state_notification(static_cast<uint32_t>(slot(0, 0)), &pem(0, 0).fpds[0], 1, 2);
  EXPECT_EQ(pem(0, 0).status, ENVMON_PEM_OK);
  EXPECT_EQ(pem(0, 1).status, ENVMON_PEM_OK | ENVMON_PEM_IN_FPD_UPG);
  EXPECT_EQ(pem(0, 1).fpds[0].state, 1u);
  EXPECT_EQ(pemtest::calls("envmon_drvif_request_fpd_upd"),
            std::vector<std::string>{"envmon_drvif_request_fpd_upd(2, PM0-1-FPD0)"});
  EXPECT_EQ(fpd_drv_test_calls().back(), extended(0, 1, 0, 1500));
  EXPECT_EQ(pm.total_capacity, 6000u);  // one in, one out
}

TEST_F(Upgrade, TheNextFpdOfTheSamePemStartsWithoutLeavingTheUpgrade) {
  make_trays({2});
  apply(0, 0, kAcPem);
  apply(0, 1, kAcPem);
  fpds(0, 0, 2);
  EXPECT_EQ(envmon_pwr_mgmt_request_pem_upg(0, 0, 0), 0);
  pem(0, 0).fpds[0].state = 3;
  pem(0, 0).fpds[1].state = 0;  // queued
  envmon_pwr_mgmt_pem_upg_done(0, 0, 0, 0);
  EXPECT_EQ(pem(0, 0).status, ENVMON_PEM_OK | ENVMON_PEM_IN_FPD_UPG);
  EXPECT_EQ(pem(0, 0).fpds[1].state, 1u);
  EXPECT_EQ(pm.total_capacity, 3000u);
  pem(0, 0).fpds[1].state = 6;
  envmon_pem_drvif_fpd_data_state_notification(static_cast<uint32_t>(slot(0, 0)), &pem(0, 0).fpds[1], 1, 2);
  EXPECT_EQ(pem(0, 0).status, ENVMON_PEM_FAILED);  // the driver reported the failure
  EXPECT_EQ(pm.total_capacity, 3000u);
}

TEST_F(Upgrade, AnswersByFpdAndPemState) {
  make_trays({2});
  fpds(0, 0, 1);
  EXPECT_EQ(envmon_pwr_mgmt_request_pem_upg(0, 0, 0), 3);  // not present
  EXPECT_EQ(envmon_pwr_mgmt_request_pem_upg(0, 1, 0), 3);  // no FPDs
  EXPECT_TRUE(tlg_test_contains("envmon_pem_lib_pwrm", "0 FPD cnt for PEM(0,1)\n"));
  apply(0, 0, kAcPem);
  pem(0, 0).fpds[0].state = 3;
  EXPECT_EQ(envmon_pwr_mgmt_request_pem_upg(0, 0, 0), 1);
  pem(0, 0).fpds[0].state = 0;
  EXPECT_EQ(envmon_pwr_mgmt_request_pem_upg(0, 0, 0), 2);
}

TEST_F(Upgrade, RemovalEndsEveryUpgradeOfThePem) {
  make_trays({2});
  apply(0, 0, kAcPem);
  apply(0, 1, kAcPem);
  fpds(0, 0, 3);
  EXPECT_EQ(envmon_pwr_mgmt_request_pem_upg(0, 0, 0), 0);
  pem(0, 0).fpds[0].state = 3;
  pem(0, 0).fpds[1].state = 0;
  pem(0, 0).fpds[2].state = 25;
  const uint32_t before = pm.total_capacity;
  envmon_pwr_mgmt_pem_data_upd(0, 0, nullptr, 0);
  ASSERT_EQ(results().size(), 2u);
  for (const Result& r : results()) {
    EXPECT_EQ(r.state, 10u);
    EXPECT_EQ(r.text, "PM removed");
  }
  EXPECT_EQ(pm.total_capacity, before);  // already out of the totals
  EXPECT_EQ(pem(0, 0).status, ENVMON_PEM_NOT_PRESENT);
  // A late end of the upgrade is ignored.
  envmon_pwr_mgmt_pem_upg_done(0, 0, 0, 0);
  EXPECT_TRUE(tlg_test_contains("envmon_pem_lib_pwrm", "already removed, ignore UPD msg"));
}

TEST_F(Upgrade, RestartKeepsThePemWaitingWhileAnyFpdIsQueued) {
  make_trays({3});
  for (uint32_t i = 0; i < 3; ++i) apply(0, i, kAcPem);
  fpds(0, 1, 2);
  pem(0, 0).status |= ENVMON_PEM_IN_FPD_UPG;  // another upgrade runs
  pem(0, 1).status |= ENVMON_PEM_FPD_UPG_REQ;
  pem(0, 1).fpds[0].state = 0;
  pem(0, 1).fpds[1].state = 0;
  envmon_pem_restart_queued_fpd_upg();
  EXPECT_EQ(pem(0, 1).fpds[0].state, 0u);
  EXPECT_EQ(pem(0, 1).fpds[1].state, 0u);
  EXPECT_NE(pem(0, 1).status & ENVMON_PEM_FPD_UPG_REQ, 0u);
  // The other upgrade has ended; the budget now refuses the first FPD but the
  // second stays queued: the PEM keeps its request.
  pem(0, 0).status &= ~ENVMON_PEM_IN_FPD_UPG;
  pm.total_power_budget = 9000;
  envmon_pem_restart_queued_fpd_upg();
  EXPECT_EQ(pem(0, 1).fpds[0].state, 10u);
  EXPECT_EQ(pem(0, 1).fpds[1].state, 10u);
  EXPECT_EQ(pem(0, 1).status & ENVMON_PEM_FPD_UPG_REQ, 0u);
}

TEST_F(Upgrade, SkippedAndUnknownRequests) {
  make_trays({1});
  apply(0, 0, kAcPem);
  fpds(0, 0, 1);
  fpd_drv_upgrade_req req = request(0, 0, 0);
  uint8_t proceed = 1;
  pemtest::standin().hal.fpd_skip = true;
  EXPECT_EQ(envmon_pem_fpd_image_set(&req, nullptr, nullptr, &proceed), ENVMON_OK);
  EXPECT_EQ(proceed, 0);
  EXPECT_EQ(pem(0, 0).fpds[0].state, 13u);
  req.eid.levels[0].instance = 9;
  EXPECT_EQ(envmon_pem_fpd_image_set(&req, nullptr, nullptr, &proceed), ENVMON_ERR_INVALID_ARG);
  req.slot = 3;
  EXPECT_EQ(envmon_pem_fpd_image_set(&req, nullptr, nullptr, &proceed), ENVMON_ERR_INVALID_ARG);
}

TEST_F(Upgrade, TimeoutsByFpdSlotAndFaultNotifications) {
  make_trays({1});
  fpds(0, 0, 1);
  fpd_data other{};
  other.eid.slot = 7;
  other.fpd_out.fpd_hd = &other;
  EXPECT_EQ(envmon_pem_fpd_get_upgrade_timeout(&pem(0, 0).fpds[0]), 1500u);
  EXPECT_EQ(envmon_pem_fpd_get_upgrade_timeout(&other), 0u);
  // Entering the upgrade extends the time-out, more for a non-PEM FPD.
  fpd_data& mine = pem(0, 0).fpds[0];
  mine.upgrade_state = 2;
  mine.state = 3;
  envmon_pem_drvif_fpd_data_state_notification(static_cast<uint32_t>(slot(0, 0)), &mine, 1, 1);
  other.upgrade_state = 2;
  other.state = 3;
  envmon_pem_drvif_fpd_data_state_notification(7, &other, 1, 1);
  envmon_pem_drvif_fpd_data_state_notification(7, &other, 1, 2);  // already upgrading
  char hd[32];
  std::snprintf(hd, sizeof hd, "%p", static_cast<void*>(&other));
  EXPECT_EQ(fpd_drv_test_calls(), (std::vector<std::string>{extended(0, 0, 0, 1500),
                                                            std::string("extend(") + hd + ",1800)"}));
  // A fault of a PEM FPD raises the upgrade warning; of another FPD only extends.
  std::snprintf(mine.fault_msg, sizeof mine.fault_msg, "image checksum wrong");
  pelm_eid e{};
  inv_util_convert_eid_to_pelm_eid(&mine.eid, &e);
  envmon_pem_drvif_fpd_data_fault_notification(static_cast<uint32_t>(slot(0, 0)), &e, &mine);
  envmon_pem_drvif_fpd_data_fault_notification(7, &e, &other);
  const auto faults = take_faults();
  ASSERT_EQ(faults.size(), 1u);
  EXPECT_EQ(faults[0].tag, 48u);
  EXPECT_EQ(faults[0].level, 0);
  EXPECT_EQ(faults[0].description, "image checksum wrong");
  EXPECT_EQ(fpd_drv_test_calls().size(), 4u);
  envmon_free_tsi(&e);
}

TEST_F(Upgrade, LookUpAndInitialisationOfAPowerTraysFpds) {
  make_trays({2}, true);
  fpds(0, 1, 2);
  pem(0, 1).fpds[0].init_st = ENVMON_FPD_INIT_PENDING;
  pem(0, 1).fpds[1].init_st = ENVMON_FPD_INIT_DONE;
  EXPECT_EQ(envmon_pem_get_fpd_data(static_cast<uint32_t>(slot(0, 1)), &pem(0, 1).fpds[1].eid), &pem(0, 1).fpds[1]);
  inv_eid missing = pem(0, 1).fpds[1].eid;
  missing.levels[0].instance = 7;
  EXPECT_EQ(envmon_pem_get_fpd_data(static_cast<uint32_t>(slot(0, 1)), &missing), nullptr);
  EXPECT_EQ(envmon_pem_get_fpd_data(3, &missing), nullptr);
  envmon_pem_fpd_init_slot(1);  // tray 0's slot
  EXPECT_EQ(pemtest::calls("envmon_fpd_init"), std::vector<std::string>{"envmon_fpd_init(PM0-1-FPD0, 21)"});
  EXPECT_EQ(pem(0, 1).fpds[0].init_st, ENVMON_FPD_INIT_DONE);
}

}  // namespace

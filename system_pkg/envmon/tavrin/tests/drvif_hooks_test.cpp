// Platform-driver hooks of tavrin: what goes to the PEM library, the scope of
// a slot with its failure-log mark, optics temperatures into the fan
// algorithm, and board power from the hot-swap controllers.
#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "drvif.h"
#include "envmon_hal.h"
#include "fan_test_support.h"

namespace {

using fantest::FanChassis;
using fantest::faults_of;
using fantest::nb;
using haltest::pem;
using haltest::ptr;

TEST(DriverHooks, HandOverToThePemLibrary) {
  haltest::Chassis chassis(0x60010000);
  fpd_data fpd{};
  pelm_eid eid{};
  inv_eid ieid{};
  struct Case {
    const char* name;
    std::function<void()> call;
    std::vector<std::string> want;
  };
  const std::vector<Case> cases = {
      {"connect", [] { envmon_hal_drvif_connect(2); }, {"envmon_pem_drvif_connect(2)"}},
      {"disconnect", [] { envmon_hal_drvif_disconnect(1); }, {"envmon_pem_drvif_disconnect(1)"}},
      {"power driver connected",
       [] { envmon_hal_drvif_post_connect_actions(2); },
       {"envmon_drvif_pwr_regi_pem()", "envmon_pem_drvif_verify_uncompleted_fpd_upgrade()"}},
      {"another driver connected", [] { envmon_hal_drvif_post_connect_actions(1); }, {}},
      {"driver of a slot", [] { EXPECT_EQ(envmon_hal_drvif_get_driver_by_slot(44), 17u); },
       {"envmon_pem_drvif_get_driver_by_slot(44)"}},
      {"entity data",
       [&] {
         envmon_hal_drvif_eid_data_notification(0x1d, nullptr, &eid, &eid, nullptr, 2, 600, 0xab010000, "SN1", 1,
                                                0x800000, "t1", 0, "t2", 7, nullptr, 256, 1, 2, 1);
       },
       {"envmon_pem_drvif_eid_data_notification(29, " + ptr(nullptr) + ", " + ptr(&eid) + ", " + ptr(&eid) + ", " +
        ptr(nullptr) + ", 2, 600, 0xab010000, SN1, 0x1, 0x800000, t1, 0x0, t2, 7, " + ptr(nullptr) +
        ", 256, 1, 2, 1)"}},
      {"entity batch end", [] { envmon_hal_drvif_eid_data_notification_complete(2); },
       {"envmon_pem_drvif_eid_data_notification_complete(2)"}},
      {"sensor batch end", [] { envmon_hal_drvif_sensor_data_notification_complete(25); },
       {"envmon_pem_drvif_sensor_data_notification_complete(25)"}},
      {"FPD state", [&] { envmon_hal_drvif_fpd_data_state_notification(44, &fpd, 0x102, 3); },
       {"envmon_pem_drvif_fpd_data_state_notification(44, " + ptr(&fpd) + ", 2, 3)"}},
      {"FPD fault", [&] { envmon_hal_drvif_fpd_data_fault_notification(44, &eid, &fpd); },
       {"envmon_pem_drvif_fpd_data_fault_notification(44, " + ptr(&eid) + ", " + ptr(&fpd) + ")"}},
      {"FPD record", [&] { EXPECT_EQ(envmon_hal_get_fpd_data(44, &ieid), nullptr); },
       {"envmon_pem_get_fpd_data(44, " + ptr(&ieid) + ")"}},
      {"clean-up of inventory retries", [] { envmon_hal_fsa_rm_cleanup_inv_retry_request(); },
       {"envmon_pem_fsa_rm_cleanup_inv_retry_request()"}},
      {"clean-up of driver retries", [] { envmon_hal_fsa_rm_cleanup_drvif_retry_request(2); },
       {"envmon_pem_fsa_rm_cleanup_drvif_retry_request(2)"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    haltest::reset_pem();
    c.call();
    EXPECT_EQ(pem().calls, c.want);
  }
  haltest::reset_pem();
  pem().answer = 3;
  EXPECT_EQ(envmon_hal_fsa_rm_pd_error_count(), 3);
  EXPECT_TRUE(envmon_hal_is_fpd_upgrade_supported(2));
  EXPECT_FALSE(envmon_hal_is_fpd_upgrade_supported(1));
  EXPECT_FALSE(envmon_hal_check_get_fpd_resp(44, 9));
  EXPECT_EQ(envmon_hal_drvif_reg_ecu_eids(nullptr), 0);
}

TEST(DriverHooks, ScopeOfASlotAndItsFailureLogMark) {
  struct Case {
    const char* name;
    uint32_t slot;
    uint32_t scope;
    uint32_t node_mark;
    uint32_t rack_flags;
  };
  const Case cases[] = {
      {"this card", 0, 3, 0x10000, 0},     {"a port adapter", 514, 3, 0x10000, 0}, {"a fan tray", 42, 1, 0, 0x2},
      {"a power module", 60, 1, 0, 0x4},   {"another card", 10, 1, 0, 0x1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    haltest::reset_pem();
    pem().pem_slots = {60};
    haltest::Chassis chassis(0x60010000);
    envmon_mpa_cb mpa[3]{};
    chassis.nm.mpa = mpa;
    chassis.nm.max_mpa = 3;
    uint32_t scope = 0;
    envmon_hal_set_obfl_state_pending(c.slot, &scope);
    EXPECT_EQ(scope, c.scope);
    EXPECT_EQ(chassis.nm.misc_state, c.node_mark);
    EXPECT_EQ(chassis.rm.obfl_flags, c.rack_flags);
  }
}

// Fan management running, with readings of the platform driver.
class SensorPath : public testing::Test {
 protected:
  void SetUp() override {
    haltest::reset_pem();
    chassis.start_all_present();
    chassis.inv_temp(0, 1, "Inlet Temp", 25);
    nb().faults.clear();
  }

  void optics(uint32_t slot, int32_t value, int32_t minor_high, int32_t oper_state = 1) {
    drvif_sensor_data_rec rec{};
    rec.eid = fantest::temp_eid(slot, 1);
    rec.value = value;
    rec.thr_minor_high = minor_high;
    rec.oper_state = oper_state;
    envmon_hal_drvif_sensor_data_notification(ENVMON_SENSOR_TEMPERATURE, &rec, &rec.eid, "optics", rec.eid.tsi,
                                              rec.eid.tsi_count, slot, ENVMON_SCOPE_RACK, value, 0x10, 0, 0, 0, 9, 0,
                                              0, 100);
    envmon_free_tsi(&rec.eid);
  }

  size_t optics_nodes() const {
    size_t n = 0;
    for (const optics_sensor* s = optics_sensor_list; s != nullptr; s = s->next) ++n;
    return n;
  }

  FanChassis chassis;
};

TEST_F(SensorPath, OpticsAtTheirMinorHighStartTheRamp) {
  struct Case {
    const char* name;
    int32_t value;
    int32_t minor_high;
    int32_t oper_state;
    bool hot;
  };
  const Case cases[] = {
      {"at the threshold", 70, 70, 1, true},  {"above", 75, 70, 1, true},   {"below", 69, 70, 1, false},
      {"no threshold", 75, 0, 1, false},      {"negative threshold", 5, -3, 1, false},
      {"no valid reading", 75, 70, 2, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    nb().faults.clear();
    optics(650, c.value, c.minor_high, c.oper_state);
    EXPECT_EQ(optics_nodes(), c.hot ? 1u : 0u);
    EXPECT_EQ(faults_of(16, 79).size(), c.hot ? 1u : 0u) << "the ramp's fault";
    disable_optics_FT_algo();
  }
  // The PEM library gets every reading.
  size_t forwarded = 0;
  for (const std::string& call : pem().calls) forwarded += call.rfind("envmon_pem_drvif_sensor_data_notification(", 0) == 0;
  EXPECT_EQ(forwarded, std::size(cases));
}

TEST_F(SensorPath, ASecondHotReadingKeepsThePreviousOne) {
  optics(650, 72, 70);
  optics(650, 76, 70);
  ASSERT_EQ(optics_nodes(), 1u);
  EXPECT_EQ(optics_sensor_list->value, 76);
  EXPECT_EQ(optics_sensor_list->last_value, 72);
  EXPECT_EQ(optics_sensor_list->deltaT, -6);
  EXPECT_EQ(optics_sensor_list->last_deltaT, -2);
}

TEST_F(SensorPath, TheLastCoolReadingStartsTheWait) {
  optics(650, 72, 70);
  optics(651, 72, 70);
  chassis.advance(90);
  const uint8_t hot = chassis.zone_speed(0);
  optics(650, 60, 70);
  EXPECT_EQ(optics_nodes(), 1u);
  chassis.advance(300);
  EXPECT_GE(chassis.zone_speed(0), hot) << "one still hot: no wait, no step down";
  const uint8_t hotter = chassis.zone_speed(0);
  optics(651, 60, 70);
  EXPECT_EQ(optics_nodes(), 0u);
  chassis.advance(299);
  EXPECT_EQ(chassis.zone_speed(0), hotter);
  chassis.advance(1);
  EXPECT_LT(chassis.zone_speed(0), hotter);
}

TEST_F(SensorPath, OpticsAreIgnoredWhileTemperatureMonitoringIsOff) {
  chassis.records.nm.disable_temp_monitoring = 1;
  optics(650, 80, 70);
  EXPECT_EQ(optics_nodes(), 0u);
  EXPECT_TRUE(faults_of(16, 79).empty());
  EXPECT_FALSE(pem().calls.empty());
  chassis.records.nm.disable_temp_monitoring = 0;
}

TEST(OpticsPath, ReadingsBeforeFanManagementRunsAreDropped) {
  FanChassis chassis;
  drvif_sensor_data_rec rec{};
  rec.eid = fantest::temp_eid(650, 1);
  rec.value = 80;
  rec.thr_minor_high = 70;
  rec.oper_state = 1;
  envmon_hal_process_optics_sensor(&rec, &rec.eid, 650);
  EXPECT_EQ(optics_sensor_list, nullptr);
  envmon_free_tsi(&rec.eid);
}

// Board power from the hot-swap controller's voltage and current.
class BoardPower : public testing::Test {
 protected:
  static envmon_sensor_info sensor(uint32_t slot, uint32_t subtype, uint32_t instance, const char* name, int32_t value) {
    envmon_sensor_info s{};
    s.eid = fantest::temp_eid(slot, instance);
    s.eid.tsi[1].subtype = subtype;
    std::snprintf(s.name, sizeof(s.name), "%s", name);
    s.value = value;
    s.scale = ENVMON_SCALE_MILLI;
    s.hw_event = ENVMON_HW_EVENT_OPERATIONAL;
    return s;
  }
  void TearDown() override {
    for (auto* list : {&volts, &amps, &power}) {
      for (envmon_sensor_info& s : *list) envmon_free_tsi(&s.eid);
    }
  }
  envmon_err_t notify(uint32_t slot, uint32_t scope, envmon_sensor_info& s) {
    return envmon_hal_drvif_sensor_data_notification(static_cast<uint8_t>(s.eid.tsi[1].subtype), nullptr, &s.eid, "x",
                                                     s.eid.tsi, s.eid.tsi_count, slot, scope, s.value, 0x10, 0, 0, 0,
                                                     8, 0, 0, 1);
  }
  std::vector<std::string> pushes() const {
    std::vector<std::string> out;
    for (const std::string& c : nb().calls) {
      if (c.rfind("envmon_inv_invreg_power_usage_update", 0) == 0 || c.rfind("envmon_update_oper_state", 0) == 0)
        out.push_back(c);
    }
    return out;
  }
  FanChassis chassis;
  std::vector<envmon_sensor_info> volts, amps, power;
};

TEST_F(BoardPower, AFanTrayNeedsBothListsAndFollowsItsHotSwapSensors) {
  fantray_cb& ft = chassis.trays[1];
  amps = {sensor(42, 7, 1, "FT Hot_Swap Current", 10000)};
  power = {sensor(42, 23, 1, "FT Board Power", 0)};
  power[0].hw_event = 0;
  ft.current_data = {amps.data(), 1, 0};
  ft.power_data = {power.data(), 1, 0};
  EXPECT_EQ(notify(42, ENVMON_SCOPE_RACK, amps[0]), 0u);
  EXPECT_TRUE(pushes().empty()) << "no voltage list yet";
  volts = {sensor(42, 29, 1, "FT 3.3V", 3300), sensor(42, 29, 2, "FT Hot_Swap Voltage", 12000)};
  ft.voltage_data = {volts.data(), 2, 0};
  EXPECT_EQ(notify(42, ENVMON_SCOPE_RACK, volts[1]), 0u);
  EXPECT_EQ(pushes(), (std::vector<std::string>{"envmon_update_oper_state(slot 42, 0x10, 1)",
                                                "envmon_inv_invreg_power_usage_update(FT Board Power, 121, 1)"}));
  // The same reading again changes nothing.
  nb().calls.clear();
  notify(42, ENVMON_SCOPE_RACK, volts[1]);
  EXPECT_TRUE(pushes().empty());
}

TEST_F(BoardPower, TheCardsBoardPowerChangesOnlyWithItsHotSwapSensors) {
  envmon_nm_t& nm = chassis.records.nm;
  volts = {sensor(ENVMON_SLOT_SELF, 29, 1, "Hot_Swap Voltage", 12000), sensor(ENVMON_SLOT_SELF, 29, 2, "1.0V", 1000)};
  amps = {sensor(ENVMON_SLOT_SELF, 7, 1, "Hot_Swap Current", 20000)};
  power = {sensor(ENVMON_SLOT_SELF, 23, 1, "Board Power", 0)};
  nm.voltage_data = {volts.data(), 2, 0};
  nm.current_data = {amps.data(), 1, 0};
  nm.power_data = {power.data(), 1, 0};
  nm.board_pwr_idx = envmon_board_pwr_idx{};
  notify(0, ENVMON_SCOPE_NODE, volts[1]);
  EXPECT_TRUE(pushes().empty());
  notify(0, ENVMON_SCOPE_NODE, volts[0]);
  EXPECT_EQ(pushes(), (std::vector<std::string>{"envmon_inv_invreg_power_usage_update(Board Power, 241, 3)"}));
  // A sensor the card does not have: the lookup's error.
  envmon_sensor_info stranger = sensor(ENVMON_SLOT_SELF, 29, 9, "Hot_Swap X", 1);
  EXPECT_NE(notify(0, ENVMON_SCOPE_NODE, stranger), 0u);
  envmon_free_tsi(&stranger.eid);
  nm.voltage_data = nm.current_data = nm.power_data = envmon_sensor_list{};
}

}  // namespace

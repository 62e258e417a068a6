// The configuration client's passes over a configuration snapshot: which
// rack an item applies to, the values read, the defaults every pass starts
// from, and what each change sets off.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "cdb_store.h"
#include "core_traces.h"
#include "envcore_fakes.h"
#include "envmon_capi.h"
#include "records_fixture.h"
#include "tlg_test.h"

namespace {

using strings = std::vector<std::string>;
using keys = std::vector<std::pair<std::string, std::string>>;  // path, value ("" = none)

constexpr uint32_t kNsHash = 0x6493164f;

class Mgbl : public ::testing::Test {
 protected:
  void SetUp() override {
    fakes::reset();
    fakes::open_core_traces();
    fakes::hal().max_fantray = 2;
    fakes::hal().max_lc = 4;
    recs_.emplace();
    recs_->rm().rack = 0;
    env_ns_ = 1;
    pwr_ns_ = 2;
    // What the client's start does before the first callbacks.
    env({});
    pwr({});
  }
  void TearDown() override { recs_.reset(); }

  // Runs one pass of a namespace over a snapshot holding `k`.
  uint64_t pass(uint32_t* ns, const keys& k) {
    std::vector<cdbstore::Entry> entries;
    for (const auto& [path, value] : k) {
      entries.push_back({path, value, !value.empty()});
    }
    int cfg = cdbstore::snapshot_open(std::move(entries));
    fakes::clear_calls();
    uint64_t rc = envmon_conf_pull_callback(nullptr, cfg, ns, kNsHash);
    cdbstore::snapshot_close(cfg);
    return rc;
  }
  uint64_t env(const keys& k) { return pass(&env_ns_, k); }
  uint64_t pwr(const keys& k) { return pass(&pwr_ns_, k); }

  uint32_t env_ns_ = 1;
  uint32_t pwr_ns_ = 2;
  std::optional<fakes::records> recs_;
};

const std::string kAlt = "/environment/config/router/altitude";

TEST_F(Mgbl, RackSelection) {
  struct Case {
    const char* name;
    uint32_t rack;
    keys k;
    uint32_t altitude;
  };
  const Case cases[] = {
      {"nothing configured", 0, {}, 0},
      {"all racks", 0, {{kAlt + "/all/num_meters", "1200"}}, 1200},
      {"this rack in the list", 0,
       {{kAlt + "/rack_loc/location[0]/rackId", "0"},
        {kAlt + "/rack_loc/location[0]/num_meters", "900"},
        {kAlt + "/all/num_meters", "1200"}},
       900},
      {"another rack only", 0,
       {{kAlt + "/rack_loc/location[0]/rackId", "1"},
        {kAlt + "/rack_loc/location[0]/num_meters", "900"}},
       0},
      {"another rack in the list, all racks given", 0,
       {{kAlt + "/rack_loc/location[0]/rackId", "3"},
        {kAlt + "/rack_loc/location[0]/num_meters", "900"},
        {kAlt + "/all/num_meters", "1200"}},
       1200},
      {"the last matching entry wins", 2,
       {{kAlt + "/rack_loc/location[0]/rackId", "2"},
        {kAlt + "/rack_loc/location[0]/num_meters", "100"},
        {kAlt + "/rack_loc/location[1]/rackId", "5"},
        {kAlt + "/rack_loc/location[1]/num_meters", "200"},
        {kAlt + "/rack_loc/location[2]/rackId", "2"},
        {kAlt + "/rack_loc/location[2]/num_meters", "300"}},
       300},
      {"rack enumeration 39 is rack 240", 240,
       {{kAlt + "/rack_loc/location[0]/rackId", "39"},
        {kAlt + "/rack_loc/location[0]/num_meters", "700"}},
       700},
      {"a failing read leaves the default, not the old value", 0,
       {{kAlt + "/all/num_meters", "high"}}, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    recs_->rm().rack = c.rack;
    recs_->rm().env_cfg.altitude = 4242;
    EXPECT_EQ(env(c.k), 0u);
    EXPECT_EQ(recs_->rm().env_cfg.altitude, c.altitude);
  }
}

TEST_F(Mgbl, RackEnumeration) {
  struct Case {
    int32_t value;
    uint32_t rack;
  };
  constexpr Case cases[] = {{0, 0},     {15, 15},    {16, 0xffff}, {38, 0xffff},
                            {39, 240},  {42, 243},   {43, 0xffff}, {-1, 0xffff}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.value);
    EXPECT_EQ(envmon_conf_rack_enum_to_rack(c.value), c.rack);
  }
}

TEST_F(Mgbl, EnvironmentFlagsAndDefaults) {
  envmon_rm_t& rm = recs_->rm();
  env({{"/environment/config/fan-ctrl/disable/rack_loc/all", ""},
       {"/environment/config/temperature/disable/rack_loc/location[0]/rackId", "0"},
       {"/environment/config/monitoring/disable/rack_loc/location[0]/rackId", "7"},
       {"/environment/config/graceful-shutdown/disable/rack_loc/all", ""}});
  EXPECT_EQ(rm.env_cfg.ft_ctrl, 0);
  EXPECT_EQ(rm.env_cfg.temp_ctrl, 0);
  EXPECT_EQ(rm.env_cfg.envmon_ctrl, 1) << "given for another rack only";
  EXPECT_EQ(rm.vin_uv_shut_disabled, 1);
  EXPECT_TRUE(tlg_test_contains("envmon_cmn_main", "CDB callback UV shut is OFF.\n"));
  // The configuration goes away: every field back to its default, and fan
  // control coming back re-evaluates every tray.
  env({});
  EXPECT_EQ(rm.env_cfg.ft_ctrl, 1);
  EXPECT_EQ(rm.env_cfg.temp_ctrl, 1);
  EXPECT_EQ(rm.vin_uv_shut_disabled, 0);
  EXPECT_EQ(fakes::calls_of({"envmon_hal_fan_mgmt_fan_speed_update"}),
            (strings{"envmon_hal_fan_mgmt_fan_speed_update(0,0)",
                     "envmon_hal_fan_mgmt_fan_speed_update(1,0)"}));
  EXPECT_TRUE(tlg_test_contains("envmon_cmn_main", "CDB callback UV shut is ON.\n"));
}

TEST_F(Mgbl, AltitudeAndFanSpeed) {
  fakes::hal().altitude_fan_set_needed = false;
  env({{kAlt + "/all/num_meters", "1000"}});
  EXPECT_TRUE(fakes::called("envmon_hal_altitude_fan_set_needed(0,1000)"));
  EXPECT_TRUE(fakes::calls_of({"envmon_hal_fan_mgmt_fan_speed_update"}).empty());
  fakes::hal().altitude_fan_set_needed = true;
  env({{kAlt + "/all/num_meters", "2000"}});
  EXPECT_EQ(fakes::calls_of({"envmon_hal_fan_mgmt_fan_speed_update"}).size(), 2u);
  uint32_t alt = 0;
  uint8_t valid = 0;
  envmon_conf_get_altitude(&alt, &valid);
  EXPECT_EQ(alt, 2000u);
  EXPECT_EQ(valid, 1);
  // Both the raised fan speed and fan control by optics changed: told twice.
  env({{"/environment/config/raise-fan-speed/all/speed_pwm", "60"},
       {"/environment/config/fan-ctrl-optics/enable/rack_loc/all", ""},
       {kAlt + "/all/num_meters", "2000"}});
  EXPECT_EQ(recs_->rm().user_fan_speed_pwm, 60u);
  EXPECT_EQ(recs_->rm().fan_ctrl_optics, 1);
  EXPECT_EQ(fakes::calls_of({"envmon_hal_user_fan_speed_change"}).size(), 2u);
  EXPECT_TRUE(tlg_test_contains("envmon_cmn_info",
                                "envmon_handle_env_cfg_change: fan_speed_pwm=60 from config location "
                                "/environment/config/raise-fan-speed/all/speed_pwm\n"));
}

TEST_F(Mgbl, AirFilterDate) {
  env({{"/environment/config/air-filter/replaced/all/date", "2023-04-05"}});
  const envmon_date& d = recs_->rm().env_cfg.air_filter_reset_time;
  EXPECT_EQ(d.year, 2023);
  EXPECT_EQ(d.month, 4);
  EXPECT_EQ(d.day, 5);
  EXPECT_TRUE(fakes::called("envmon_hal_fan_mgmt_filter_reset(0)"));
  env({});
  EXPECT_EQ(recs_->rm().env_cfg.air_filter_reset_time.year, 0);
  EXPECT_EQ(recs_->rm().env_cfg.air_filter_reset_time.tz, 145);
}

TEST_F(Mgbl, PowerPass) {
  envmon_rm_t& rm = recs_->rm();
  // No configuration: defaults, the configuration counted as received.
  EXPECT_EQ(pwr({}), 0u);
  EXPECT_EQ(rm.pwr_cfg.pwr_ctrl, 1);
  EXPECT_EQ(rm.pwr_cfg.red_num_pems, 255u);
  EXPECT_EQ(rm.pwr_cfg.node_priority[3], 20);
  EXPECT_EQ(rm.pwr_cfg.node_priority[4], 0);
  EXPECT_TRUE(fakes::called("envmon_set_pwr_mgmt_cfg_rcvd()"));
  EXPECT_TRUE(fakes::calls_of({"envmon_hal_pwr_mgmt_set_redundancy_num_pems"}).empty());

  pwr({{"/power-mgmt/config/redundancy-num-pms/all/num_pm", "2"},
       {"/power-mgmt/config/action/disable/rack_loc/all", ""}});
  EXPECT_EQ(rm.pwr_cfg.red_num_pems, 2u);
  EXPECT_EQ(rm.pwr_cfg.pwr_ctrl, 0);
  EXPECT_TRUE(fakes::called("envmon_hal_pwr_mgmt_set_redundancy_num_pems(2)"));
  EXPECT_TRUE(fakes::called("envmon_pwr_mgmt_set_action_mode(0)"));
  // The same again: nothing changed, nothing told.
  pwr({{"/power-mgmt/config/redundancy-num-pms/all/num_pm", "2"},
       {"/power-mgmt/config/action/disable/rack_loc/all", ""}});
  EXPECT_TRUE(fakes::calls_of({"envmon_hal_pwr_mgmt_set_redundancy_num_pems",
                               "envmon_pwr_mgmt_set_action_mode"})
                  .empty());
  // Removed: 255 goes to the PEM library, actions come back on.
  pwr({});
  EXPECT_TRUE(fakes::called("envmon_hal_pwr_mgmt_set_redundancy_num_pems(255)"));
  EXPECT_TRUE(fakes::called("envmon_pwr_mgmt_set_action_mode(1)"));
  // A platform with a default sends it on every pass while unconfigured.
  fakes::hal().num_pems_for_red = 1;
  pwr({});
  pwr({});
  EXPECT_TRUE(fakes::called("envmon_hal_pwr_mgmt_set_redundancy_num_pems(1)"));
  // A failed read is the pass's result.
  EXPECT_NE(pwr({{"/power-mgmt/config/redundancy-num-pms/all/num_pm", "many"}}), 0u);
}

TEST_F(Mgbl, SingleFeedAndExtendedTemperature) {
  envmon_rm_t& rm = recs_->rm();
  fakes::set_result("envmon_pwr_mgmt_ready", 0);
  pwr({{"/power-mgmt/config/single-feed-mode/enable/rack_loc/all", ""}});
  EXPECT_EQ(rm.pwr_cfg.single_feed_operation, 1);
  EXPECT_TRUE(tlg_test_contains("envmon_cmn_err",
                                "PWR MGMT NOT READY. Single feed mode not applied\n"));
  EXPECT_TRUE(fakes::called(
      "envmon_hal_configured_pm_single_mode(/power-mgmt/config/single-feed-mode/enable/pm_loc)"));
  // Extended temperature mode only where the platform name says so.
  pwr({{"/power-mgmt/config/extended-temp/enable/rack_loc/all", ""}});
  EXPECT_EQ(rm.pwr_cfg.extended_mode_operation, 0);
  EXPECT_TRUE(tlg_test_contains("envmon_cmn_err", "extended mode not supported for this platform\n"));
  fakes::hal().platform_name = "Chassis-OBV8K-A";
  pwr({{"/power-mgmt/config/extended-temp/enable/rack_loc/all", ""}});
  EXPECT_EQ(rm.pwr_cfg.extended_mode_operation, 1);
  EXPECT_TRUE(fakes::called("envmon_pwr_mgmt_update_pbudget_data()"));
}

}  // namespace

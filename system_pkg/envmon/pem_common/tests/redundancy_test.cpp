// Redundancy against the allocated budget, the system power figures and the
// redundancy count's notification.
#include <gtest/gtest.h>

#include "envmon_msgs.h"
#include "envmon_pem_private.h"
#include "pem_fixture.h"

namespace {

uint64_t bit(uint32_t id) { return 1ull << id; }

class Redundancy : public PemFixture {
 protected:
  // Chassis figures as the check reads them.
  void figures(int32_t mode, uint32_t tc, int32_t tpb, uint32_t per_pem, uint32_t n) {
    pm.red_mode = mode;
    pm.total_capacity = tc;
    pm.total_power_budget = tpb;
    pd_power_supplies_data.power_for_pem_redundancy = per_pem;
    pd_power_supplies_data.redundancy_num_pems = n;
  }
};

TEST_F(Redundancy, SettingTheCountChoosesTheMode) {
  make_trays({1});
  struct Case {
    uint8_t count;
    int32_t mode;
    uint32_t stored;
  };
  for (const Case& c : {Case{255, 0, 0}, Case{2, 1, 2}, Case{0, 2, 0}}) {
    envmon_pem_pwr_mgmt_set_redundancy_num_pems(c.count);
    EXPECT_EQ(pm.red_mode, c.mode);
    EXPECT_EQ(pd_power_supplies_data.redundancy_num_pems, c.stored);
  }
  EXPECT_EQ(pemtest::calls("envmon_check_chassis_ps_alm(1)").size(), 3u);
}

TEST_F(Redundancy, AlarmsAndModeInForce) {
  struct Case {
    const char* name;
    int32_t mode;
    uint32_t tc;
    int32_t tpb;
    uint32_t per_pem, n;
    uint32_t tray0, tray1;  // tray capacities (tray groups)
    uint64_t alarms;        // raised afterwards
    int32_t act;
  };
  const Case cases[] = {
      {"N+1 holds", 1, 9000, 6000, 3000, 1, 0, 0, 0, 1},
      {"N+1 lost by one watt", 1, 9000, 6001, 3000, 1, 0, 0, bit(2), 2},
      {"N+n reserve above the capacity", 1, 3000, 100, 3000, 2, 0, 0, bit(2), 2},
      {"no redundancy configured", 2, 9000, 6000, 3000, 1, 0, 0, 0, 2},
      {"tray groups both carry", 0, 12000, 6000, 3000, 0, 6000, 6000, 0, 0},
      {"tray group short", 0, 12000, 6000, 3000, 0, 6000, 5000, bit(1), 1},
      {"budget above the capacity", 1, 5000, 6000, 3000, 1, 0, 0, bit(2) | bit(6), 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    make_trays({1, 1});
    figures(c.mode, c.tc, c.tpb, c.per_pem, c.n);
    pd_power_tray_info[0].tray_capacity = c.tray0;
    pd_power_tray_info[1].tray_capacity = c.tray1;
    envmon_pem_pwr_mgmt_check_chassis_pwr_supply_alarms();
    EXPECT_EQ(pm.alarms, c.alarms);
    EXPECT_EQ(pm.act_red_mode, c.act);
    TearDown();
    SetUp();
  }
}

TEST_F(Redundancy, ShortBudgetShutsEntitiesOnlyWithActionEnabled) {
  make_trays({1});
  figures(1, 5000, 6000, 3000, 1);
  envmon_pem_pwr_mgmt_check_chassis_pwr_supply_alarms();
  EXPECT_TRUE(pemtest::calls("envmon_pwr_mgmt_shutdown_entities").empty());
  pm.pwr_mgmt_action_ena = 1;
  envmon_pem_pwr_mgmt_check_chassis_pwr_supply_alarms();
  EXPECT_EQ(pemtest::calls("envmon_pwr_mgmt_shutdown_entities").size(), 1u);
}

TEST_F(Redundancy, UsableAndProtectionPower) {
  struct Case {
    const char* name;
    int32_t mode;
    uint32_t tc;
    int32_t tpb;
    uint32_t per_pem, n;
    uint32_t tray0, tray1;
    int32_t usable, prot;
  };
  const Case cases[] = {
      {"N+2 needs two PEMs", 1, 9000, 4500, 3000, 2, 0, 0, 6000, 3000},
      {"N+1 with room", 1, 9000, 3000, 3000, 1, 0, 0, 6000, 3000},
      {"needed PEMs above the capacity", 1, 5000, 4900, 3000, 1, 0, 0, 5000, 0},
      {"no PEM type known yet", 1, 9000, 4500, 0, 2, 0, 0, 9000, 0},
      {"budget above the capacity", 1, 3000, 4000, 3000, 1, 0, 0, 3000, 0},
      {"no redundancy", 2, 9000, 4500, 3000, 1, 0, 0, 9000, 0},
      {"tray groups", 0, 9000, 4500, 3000, 0, 5000, 4000, 5000, 4000},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    make_trays({1, 1});
    figures(c.mode, c.tc, c.tpb, c.per_pem, c.n);
    pd_power_tray_info[0].tray_capacity = c.tray0;
    pd_power_tray_info[1].tray_capacity = c.tray1;
    envmon_sys_pwr_data data{};
    EXPECT_TRUE(envmon_pem_check_n_update_system_pwr_data(&data, 0));
    EXPECT_EQ(data.usable_pwr, c.usable);
    EXPECT_EQ(data.prot_pwr, c.prot);
    TearDown();
    SetUp();
  }
}

TEST_F(Redundancy, CurrentsOfDrawingOrUsablePems) {
  make_trays({3, 2});
  apply(0, 0, kAcPem);                        // usable: 57100 available
  pem(0, 0).current = 20000;
  apply(0, 1, 0xAB010040, bit(33));           // triple feed, feed B lost
  pem(0, 1).current = 10000;
  apply(0, 2, kAcPem, bit(5) | bit(17));      // failed and output disabled
  pem(0, 2).current = 500;
  apply(1, 0, 0xAB010030);
  pem(1, 0).hw_events = 150u << 20;           // 150 x 100
  apply(1, 1, 0xAB1003, bit(5));              // failed, drawing
  pem(1, 1).current = 7;
  envmon_sys_pwr_data data{};
  envmon_pem_check_n_update_system_pwr_data(&data, 0);
  EXPECT_EQ(data.total_available_current, 57100 + 120000 + 15000 + 40000);
  EXPECT_EQ(data.total_drawn_current, 20000 + 10000 + 7);
}

TEST_F(Redundancy, TrayGroupsAreTheTwoHalves) {
  make_trays({1, 1, 1, 1, 1});
  for (uint32_t t = 0; t < 5; ++t) pd_power_tray_info[t].tray_capacity = 1000 * (t + 1);
  uint32_t a = 0, b = 0;
  envmon_get_pwr_tray_grp_capacity(&a, &b);
  EXPECT_EQ(a, 1000u + 2000u);
  EXPECT_EQ(b, 3000u + 4000u);  // the odd last tray is in no group
}

TEST_F(Redundancy, NotificationCarriesTheRedundantCount) {
  make_trays({1});
  pd_power_supplies_data.redundancy_num_pems = 2;
  for (int32_t mode : {1, 0}) {
    envmon_sys_pwr_data data{};
    data.cnf_pwr_red_mode = mode;
    notif_sys_pwr_data n{};
    n.cnf_pwr_red_mode = 2;
    envmon_pem_capi_notify_sys_pwr_data(&data, reinterpret_cast<envmon_notif_sys_pwr_data*>(&n));
    EXPECT_EQ(n.cnf_pwr_red_mode, mode == 1 ? 2u | (2u << 16) : 2u);
    EXPECT_EQ((n.present & NOTIF_SYS_PWR_DATA_HAS_CNF_PWR_RED_MODE) != 0, mode == 1);
  }
}

TEST_F(Redundancy, ReadyOnceAllPemDataArrived) {
  make_trays({1});
  EXPECT_FALSE(envmon_pem_is_pwr_mgmt_ready());
  pd_power_supplies_data.all_pem_info_rcvd = 1;
  EXPECT_TRUE(envmon_pem_is_pwr_mgmt_ready());
}

}  // namespace

#include <gtest/gtest.h>

#include <string.h>

#include <string>
#include <thread>
#include <vector>

#include "envcore_test_util.h"

namespace {

class Stats : public ::testing::Test {
 protected:
  void SetUp() override {
    envcore_standin_reset();
    envcore_open_traces();
    tlg_test_clear(nullptr);
    ship_reset();
    for (auto& row : envmon_counter_info) *row.handle = nullptr;
  }
  void TearDown() override { ship_test_refuse_table("INVREGNM_Err_Counters", 0); }
};

TEST_F(Stats, PowerCountersFollowTheLineAndFabricCardSlots) {
  struct Case {
    const char* name;
    uint32_t lc, fc;
    uint32_t total;
    const char* last;
  };
  const Case cases[] = {
      {"16 line and 6 fabric slots", 16, 6, 33, "Card21Pbudget"},
      {"no line or fabric cards", 0, 0, 11, "TotalPreq"},
      {"one line card", 1, 0, 12, "Card0Pbudget"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ship_reset();
    envcore_standin().max_lc = c.lc;
    envcore_standin().max_fc = c.fc;
    envmon_stats_init();
    ASSERT_EQ(ENVMON_PWRM_OPER_STAT_MAX, c.total);
    EXPECT_STREQ(envmon_pwrm_oper_counter_def[c.total - 1].name, c.last);
    const char* fixed[] = {"PwrAlmRaise", "PwrAlmClear", "PMalmRaise", "PMalmClear",
                           "PTinsertion", "PTremoval",   "PMinsertion", "PMremoval",
                           "TotalCapacity", "NoPbudget", "TotalPreq"};
    for (uint32_t i = 0; i < 11; ++i) EXPECT_STREQ(envmon_pwrm_oper_counter_def[i].name, fixed[i]);
    for (uint32_t i = 11; i < c.total; ++i)
      EXPECT_EQ(std::string(envmon_pwrm_oper_counter_def[i].name), "Card" + std::to_string(i - 11) + "Pbudget");
    // The block registered under "envmon" has the built counters.
    EXPECT_EQ(ship_get_counter("envmon", "ENVMON_PWRM", "PWRM_Oper_Counters", c.last), 0);
  }
}

TEST_F(Stats, EveryBlockIsRegisteredUnderItsGroupAndTable) {
  envmon_stats_init();
  struct Row {
    const char* group;
    const char* table;
    const char* first;
    const char* last;
    uint32_t* const* handle;
  };
  const Row rows[] = {
      {"ENVMON_PLAT_DRV", "PLAT_DRV_Oper_Cntr", "Connect", "ChassReq", &envmon_plat_driver_oper_stats_hdl},
      {"ENVMON_PLAT_DRV", "PLAT_DRV_Err_Cntr", "ErrConn", "ErrCrtHndl", &envmon_plat_driver_err_stats_hdl},
      {"ENVMON_INVREGRM", "INVREGRM_Oper_Counters", "Connect", "UnregPemFruack", &envmon_invregrm_oper_stats_hdl},
      {"ENVMON_INVREGRM", "INVREGRM_Err_Counters", "ErrConnect", "ErrCrtHndl", &envmon_invregrm_err_stats_hdl},
      {"ENVMON_INVREGNM", "INVREGNM_Oper_Counters", "Connect", "CurrSenUpd", &envmon_invregnm_oper_stats_hdl},
      {"ENVMON_INVREGNM", "INVREGNM_Err_Counters", "ErrConnect", "ErrCrtHndl", &envmon_invregnm_err_stats_hdl},
      {"ENVMON_DRVIF", "DRVIF_Oper_Counters", "Connect", "SensorDataResp", &envmon_drvif_oper_stats_hdl},
      {"ENVMON_DRVIF", "DRVIF_Err_Counters", "ErrConnect", "ErrCrtHndl", &envmon_drvif_err_stats_hdl},
      {"ENVMON_PWRM", "PWRM_Oper_Counters", "PwrAlmRaise", "TotalPreq", &envmon_pwrm_oper_stats_hdl},
      {"ENVMON_PWRM", "PWRM_Err_Counters", "AlmRepFail", "CMnotifErr", &envmon_pwrm_err_stats_hdl},
      {"ENVMON_FAN_ALGO", "FAN_ALGO_Oper_Counters", "TempUpdate", "ChassisShutReq", &envmon_fan_algo_oper_stats_hdl},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.table);
    ASSERT_NE(*r.handle, nullptr);
    EXPECT_EQ(ship_get_counter("envmon", r.group, r.table, r.first), 0);
    EXPECT_EQ(ship_get_counter("envmon", r.group, r.table, r.last), 0);
  }
  // Counter i of a block is the word at 5 * i: the service sees the increment.
  envmon_stats_bump(envmon_invregrm_oper_stats_hdl, 6, 2);  // "RegSensorEid"
  EXPECT_EQ(ship_get_counter("envmon", "ENVMON_INVREGRM", "INVREGRM_Oper_Counters", "RegSensorEid"), 2);
  EXPECT_EQ(ship_get_counter("envmon", "ENVMON_INVREGRM", "INVREGRM_Oper_Counters", "Filter"), 0);
  EXPECT_TRUE(envcore_standin_called("envmon_hal_ship_stats_init"));
}

TEST_F(Stats, ARefusedBlockStaysNullAndIsNotCounted) {
  ship_test_refuse_table("INVREGNM_Err_Counters", 17);
  envmon_stats_init();
  EXPECT_EQ(envmon_invregnm_err_stats_hdl, nullptr);
  EXPECT_TRUE(err_traced(" registered: INVREGNM_Err_Counters , rc:17\n"));
  envmon_stats_bump(envmon_invregnm_err_stats_hdl, 3);  // skipped, no crash
  EXPECT_EQ(envmon_stats_counter(envmon_invregnm_err_stats_hdl, 3), nullptr);
  // The other blocks register normally.
  EXPECT_NE(envmon_invregnm_oper_stats_hdl, nullptr);
  EXPECT_NE(envmon_fan_algo_oper_stats_hdl, nullptr);
  EXPECT_EQ(tlg_test_lines("envmon_cmn_err").size(), 1u);
}

TEST_F(Stats, AddReturnsTheValueBefore) {
  uint32_t counter = 0;
  EXPECT_EQ(envmon_stats_add(&counter, 1), 0u);
  EXPECT_EQ(envmon_stats_add(&counter, 1), 1u);
  counter = 0xffffffffu;
  EXPECT_EQ(envmon_stats_add(&counter, 2), 0xffffffffu);
  EXPECT_EQ(counter, 1u);  // wraps as a u32
}

TEST_F(Stats, ConcurrentIncrementsAreNotLost) {
  envmon_stats_init();
  uint32_t* counter = envmon_stats_counter(envmon_drvif_oper_stats_hdl, 4);  // "PollReq"
  ASSERT_NE(counter, nullptr);
  constexpr int kThreads = 8;
  constexpr int kAdds = 20000;
  std::vector<std::thread> threads;
  std::vector<std::vector<uint32_t>> seen(kThreads);
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      seen[t].reserve(kAdds);
      for (int i = 0; i < kAdds; ++i) seen[t].push_back(envmon_stats_add(counter, 1));
    });
  }
  for (auto& th : threads) th.join();
  EXPECT_EQ(*counter, static_cast<uint32_t>(kThreads * kAdds));
  // Every old value was handed out exactly once.
  std::vector<char> taken(kThreads * kAdds, 0);
  for (const auto& s : seen)
    for (uint32_t old : s) {
      ASSERT_LT(old, taken.size());
      EXPECT_EQ(taken[old]++, 0) << "value " << old << " returned twice";
    }
  // The counter's neighbours in the block are untouched.
  EXPECT_EQ(counter[1], 0u);
  EXPECT_EQ(counter[5], 0u);
}

}  // namespace

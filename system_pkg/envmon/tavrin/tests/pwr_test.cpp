// Power hooks of tavrin: system power under N+n redundancy, available and
// drawn current, capacity of dual- and triple-feed power modules, and the
// hardware that carries each budget.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "envmon_hal.h"
#include "hal_test_support.h"
#include "tlg_test.h"

namespace {

using haltest::pem;

constexpr uint32_t kOk = ENVMON_PEM_OK;
constexpr uint32_t kInUpgrade = ENVMON_PEM_OK | ENVMON_PEM_IN_FPD_UPG;
constexpr uint64_t bit(uint32_t alarm) { return uint64_t{1} << alarm; }
constexpr uint32_t kTotalCapacityCounter = 8;

struct Pem {
  uint32_t type;
  uint32_t status;
  uint32_t capacity;
  uint32_t current = 0;
  uint64_t alarms = 0;
  uint32_t hw_events = 0;
};

class Power : public testing::Test {
 protected:
  void SetUp() override {
    haltest::reset_pem();
    ASSERT_EQ(envmon_hal_tlg_init(nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                  nullptr),
              0u);
    haltest::reset_pem();
    tlg_test_clear();
  }

  // Places the PEMs over the two virtual trays, first tray first.
  void place(const std::vector<Pem>& pems) {
    trays_.reset();
    const uint8_t first = static_cast<uint8_t>(pems.size() < 4 ? pems.size() : 4);
    trays_ = std::make_unique<haltest::PowerTrays>(first, static_cast<uint8_t>(pems.size() - first));
    for (size_t i = 0; i < pems.size(); ++i) {
      pem_record& r = trays_->at(i < 4 ? 0 : 1, static_cast<uint8_t>(i < 4 ? i : i - 4));
      r.pem_raw_data.pem_type = pems[i].type;
      r.status = pems[i].status;
      r.capacity = pems[i].capacity;
      r.pre_capacity = pems[i].capacity;
      r.current = pems[i].current;
      r.alarms = pems[i].alarms;
      r.hw_events = pems[i].hw_events;
    }
  }

  uint32_t counter() const { return chassis_.pwrm_stats[5 * kTotalCapacityCounter]; }

  haltest::Chassis chassis_{0x60010000};
  std::unique_ptr<haltest::PowerTrays> trays_;
};

struct PowerCase {
  const char* name;
  int32_t red_mode;
  uint32_t total;
  int32_t allocated;
  uint32_t per_pem;
  uint32_t n;
  std::vector<Pem> pems;
  int32_t usable;
  int32_t prot;
};

TEST_F(Power, UsableAndProtectionPower) {
  const Pem ac4400{0xab010040, kOk, 4400};
  const Pem dc3150{0xab010030, kOk, 3150};
  const Pem ac3000{0xab010010, kOk, 3000};
  const Pem upgrading4400{0xab010040, kInUpgrade, 4400};
  const PowerCase cases[] = {
      {"no redundancy", 2, 12000, 5000, 3000, 1, {ac3000, ac3000, ac3000, ac3000}, 12000, 0},
      {"N+n, budget above capacity", 1, 9000, 9500, 3000, 1, {ac3000, ac3000, ac3000}, 9000, 0},
      {"N+n, budget equal to capacity", 1, 9000, 9000, 3000, 1, {ac3000, ac3000, ac3000}, 9000, 0},
      // Case 1: the headroom covers n modules.
      {"headroom, no 4400 W modules", 1, 9000, 1000, 3000, 1, {ac3000, ac3000, ac3000}, 6000, 3000},
      {"headroom, enough 4400 W modules", 1, 17600, 2000, 4400, 2, {ac4400, ac4400, ac4400, ac4400}, 8800, 8800},
      {"headroom, two 4400 W modules for n = 3", 1, 30000, 1000, 4400, 3, {ac4400, ac4400, ac3000, ac3000},
       30000 - (3 * 4400 - 1250), 3 * 4400 - 1250},
      {"headroom, one 4400 W module for n = 3", 1, 30000, 1000, 4400, 3, {ac4400, ac3000},
       30000 - (3 * 4400 - 2 * 1250), 3 * 4400 - 2 * 1250},
      {"headroom, a 4400 W module in upgrade is not counted", 1, 30000, 1000, 4400, 3,
       {ac4400, upgrading4400, ac3000}, 30000 - (3 * 4400 - 2 * 1250), 3 * 4400 - 2 * 1250},
      // Case 3: short headroom, no 4400 W modules: whole redundancy steps.
      {"short, 3000 W steps", 1, 12000, 7000, 3000, 2, {ac3000, ac3000, ac3000, ac3000}, 9000, 3000},
      {"short, steps cover the budget exactly", 1, 12000, 9000, 3000, 2, {ac3000, ac3000, ac3000, ac3000}, 9000,
       3000},
      {"short, odd count of 3000 W modules", 1, 9000, 6500, 3000, 1, {ac3000, ac3000, ac3000}, 9000, 0},
      // Case 4: 4400 W modules present, more 3150 W pairs than steps.
      {"short, 3150 W steps", 1, 17000, 8300, 4400, 2, {ac4400, dc3150, dc3150, dc3150, dc3150}, 9450, 7550},
      {"short, 3150 W steps then 4400", 1, 10700, 6400, 4400, 1, {ac4400, dc3150, dc3150}, 10700, 0},
      // Case 5: 4400 W modules make up the rest.
      {"short, mixed steps", 1, 16350, 8000, 4400, 2, {ac4400, ac4400, ac4400, dc3150}, 11950, 4400},
      {"short, mixed steps after an odd 3000", 1, 19350, 8000, 4400, 3, {ac4400, ac4400, ac4400, dc3150, ac3000},
       10550, 8800},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    place(c.pems);
    chassis_.pm.red_mode = c.red_mode;
    chassis_.pm.total_capacity = c.total;
    chassis_.pm.total_power_budget = c.allocated;
    pd_power_supplies_data.power_for_pem_redundancy = c.per_pem;
    pd_power_supplies_data.redundancy_num_pems = c.n;
    envmon_sys_pwr_data data{};
    data.resrv_n_alloc_pwr = 77;
    EXPECT_TRUE(envmon_hal_check_n_update_system_pwr_data(&data, 0));
    EXPECT_EQ(data.usable_pwr, c.usable);
    EXPECT_EQ(data.prot_pwr, c.prot);
    EXPECT_EQ(data.usable_pwr + data.prot_pwr, static_cast<int32_t>(c.total));
    EXPECT_EQ(data.resrv_n_alloc_pwr, 77) << "the caller's field";
  }
  EXPECT_TRUE(pem().calls.empty());
}

TEST_F(Power, RedundancyByTraysIsThePemLibrarys) {
  place({{0xab010010, kOk, 3000, 12}});
  chassis_.pm.red_mode = 0;
  envmon_sys_pwr_data data{};
  for (bool filled : {true, false}) {
    pem().calls.clear();
    pem().system_data_filled = filled;
    EXPECT_EQ(envmon_hal_check_n_update_system_pwr_data(&data, 1), filled);
    EXPECT_EQ(pem().calls, std::vector<std::string>{"envmon_pem_check_n_update_system_pwr_data(" +
                                                    haltest::ptr(&data) + ", 1)"});
  }
  EXPECT_EQ(data.total_drawn_current, 0) << "the PEM library fills the record";
}

TEST_F(Power, TheCaseThatRanIsTracedWhenItChanges) {
  place({{0xab010010, kOk, 3000}, {0xab010010, kOk, 3000}, {0xab010010, kOk, 3000}});
  chassis_.pm.red_mode = 1;
  chassis_.pm.total_capacity = 9000;
  pd_power_supplies_data.power_for_pem_redundancy = 3000;
  pd_power_supplies_data.redundancy_num_pems = 1;
  envmon_sys_pwr_data data{};
  chassis_.pm.total_power_budget = 7000;  // case 3
  envmon_hal_check_n_update_system_pwr_data(&data, 0);
  tlg_test_clear();
  envmon_hal_check_n_update_system_pwr_data(&data, 0);
  EXPECT_TRUE(tlg_test_lines("envmon_lib_pwrm").empty());
  chassis_.pm.total_power_budget = 1000;  // case 1
  envmon_hal_check_n_update_system_pwr_data(&data, 0);
  EXPECT_EQ(tlg_test_lines("envmon_lib_pwrm"), std::vector<std::string>{"power_math_curr:1 power_math_prev:3\n"});
}

TEST_F(Power, AvailableAndDrawnCurrent) {
  struct Case {
    const char* name;
    Pem pem;
    int32_t available;
    int32_t drawn;
  };
  const Case cases[] = {
      {"UV module: from its hardware events", {0xab010020, kOk, 3000, 10, 0, 25u << 20}, 2500, 10},
      {"2HV module: bits 20-30 only", {0xab010030, kOk, 3150, 0, 0, 0xfff00000u}, 0x7ff * 100, 0},
      {"3 kW AC", {0xab010000, kOk, 3000, 7}, 16000, 7},
      {"3 kW AC, second type", {0xab010001, kOk, 3000}, 16000, 0},
      {"1.6 kW AC", {0xab010308, kOk, 1600}, 16000, 0},
      {"1.6 kW DC", {0xab010309, kOk, 1600}, 16000, 0},
      {"3 kW DC, both feeds", {0xab010010, kOk, 3000, 3}, 90000, 3},
      {"3 kW DC, feed A out of range", {0xab010010, kOk, 1500, 0, bit(24)}, 45000, 0},
      {"3 kW DC, no input B", {0xab010010, kOk, 1500, 0, bit(33)}, 45000, 0},
      {"3 kW DC, both feeds lost", {0xab010010, kOk, 0, 0, bit(32) | bit(25)}, 0, 0},
      {"4.4 kW DC, three feeds", {0xab010040, kOk, 4400}, 180000, 0},
      {"4.4 kW DC, no input A", {0xab010040, kOk, 4400, 0, bit(32)}, 120000, 0},
      {"4.4 kW DC, feed C out of range", {0xab010040, kOk, 4400, 0, bit(30)}, 120000, 0},
      {"4.4 kW DC, all feeds lost", {0xab010040, kOk, 0, 0, bit(24) | bit(25) | bit(34)}, 0, 0},
      {"unknown type", {0x1234, kOk, 0, 9}, 0, 9},
      {"not usable but drawing", {0xab010000, 0, 0, 5}, 16000, 5},
      {"drawing with output disabled", {0xab010000, 0, 0, 5, bit(17)}, 0, 0},
      {"usable with output disabled", {0xab010000, kOk, 3000, 5, bit(17)}, 16000, 5},
      {"in upgrade, idle", {0xab010000, kInUpgrade, 3000}, 0, 0},
      {"in upgrade, drawing", {0xab010000, kInUpgrade, 3000, 4}, 16000, 4},
  };
  chassis_.pm.red_mode = 2;
  chassis_.pm.total_capacity = 3000;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    place({c.pem});
    envmon_sys_pwr_data data{};
    EXPECT_TRUE(envmon_hal_check_n_update_system_pwr_data(&data, 0));
    EXPECT_EQ(data.total_available_current, c.available);
    EXPECT_EQ(data.total_drawn_current, c.drawn);
  }
  // Both trays are walked.
  place({{0xab010000, kOk, 3000, 1}, {0xab010000, kOk, 3000, 2}, {0xab010000, kOk, 3000, 3},
         {0xab010000, kOk, 3000, 4}, {0xab010010, kOk, 3000, 5}});
  envmon_sys_pwr_data data{};
  envmon_hal_check_n_update_system_pwr_data(&data, 0);
  EXPECT_EQ(data.total_available_current, 4 * 16000 + 90000);
  EXPECT_EQ(data.total_drawn_current, 15);
}

struct FeedCase {
  const char* name;
  uint32_t type;
  uint32_t prev_status;
  uint32_t status;
  uint64_t alarms;
  uint32_t pre_capacity;  // before the call
  uint32_t capacity;      // after
  int32_t total_change;
};

void run_feed_cases(Power* fixture, const std::vector<FeedCase>& cases, bool triple,
                    haltest::Chassis& chassis, std::unique_ptr<haltest::PowerTrays>& trays) {
  (void)fixture;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    trays = std::make_unique<haltest::PowerTrays>(2, 0);
    pem_record& other = trays->at(0, 0);
    other.pem_raw_data.pem_type = c.type;
    other.status = kOk;
    other.capacity = other.pre_capacity = 3000;
    pem_record& p = trays->at(0, 1);
    p.pem_raw_data.pem_type = c.type;
    p.status = c.status;
    p.alarms = c.alarms;
    p.capacity = p.pre_capacity = c.pre_capacity;
    chassis.pm.total_capacity = 20000;
    trays->trays[0].tray_capacity = 10000;
    std::memset(chassis.pwrm_stats, 0, sizeof(chassis.pwrm_stats));
    if (triple) {
      envmon_hal_handle_triple_feed_capacity(0, 1, c.type, static_cast<uint8_t>(c.prev_status));
    } else {
      envmon_hal_handle_dual_feed_capacity(0, 1, c.type, static_cast<uint8_t>(c.prev_status));
    }
    EXPECT_EQ(p.capacity, c.capacity);
    EXPECT_EQ(p.pre_capacity, c.capacity);
    EXPECT_EQ(static_cast<int32_t>(chassis.pm.total_capacity), 20000 + c.total_change);
    EXPECT_EQ(static_cast<int32_t>(trays->trays[0].tray_capacity), 10000 + c.total_change);
    EXPECT_EQ(static_cast<int32_t>(chassis.pwrm_stats[5 * kTotalCapacityCounter]), c.total_change);
  }
}

TEST_F(Power, DualFeedCapacity) {
  const std::vector<FeedCase> cases = {
      {"inserted, both feeds", 0xab010010, 0, kOk, 0, 0, 3000, 3000},
      {"inserted, feed A out of range", 0xab010010, 0, kOk, bit(24), 0, 1500, 1500},
      {"inserted, no input B", 0xab010020, 0, kOk, bit(33), 0, 1500, 1500},
      {"inserted, both feeds lost", 0xab010000, 0, kOk, bit(32) | bit(25), 0, 0, 0},
      {"2HV keeps 3150 without feeds", 0xab010030, 0, kOk, bit(24) | bit(25) | bit(32) | bit(33), 0, 3150, 3150},
      {"counted, unchanged", 0xab010010, kOk, kOk, 0, 3000, 3000, 0},
      {"counted, loses feed B", 0xab010010, kOk, kOk, bit(25), 3000, 1500, -1500},
      {"counted, regains feed B", 0xab010010, kOk, kOk, 0, 1500, 3000, 1500},
      {"counted, fails", 0xab010010, kOk, 0, 0, 3000, 0, -3000},
      {"counted, starts an upgrade", 0xab010010, kOk, kInUpgrade, 0, 3000, 0, -3000},
      {"not usable before or after", 0xab010010, 0, ENVMON_PEM_FAILED, 0, 0, 0, 0},
      {"re-detected with a stale count", 0xab010010, 0, kOk, 0, 3000, 3000, 3000},
      {"upgrade ends", 0xab010010, kInUpgrade, kOk, bit(24), 0, 1500, 1500},
  };
  run_feed_cases(this, cases, false, chassis_, trays_);
}

TEST_F(Power, TripleFeedCapacity) {
  const std::vector<FeedCase> cases = {
      {"inserted, three feeds", 0xab010040, 0, kOk, 0, 0, 4400, 4400},
      {"inserted, feed A lost", 0xab010040, 0, kOk, bit(24), 0, 4400, 4400},
      {"inserted, feeds A and C lost", 0xab010040, 0, kOk, bit(32) | bit(30), 0, 2200, 2200},
      {"inserted, all feeds lost", 0xab010040, 0, kOk, bit(24) | bit(33) | bit(34), 0, 0, 0},
      {"counted, loses two feeds", 0xab010040, kOk, kOk, bit(25) | bit(34), 4400, 2200, -2200},
      {"counted, fails", 0xab010040, kOk, 0, 0, 4400, 0, -4400},
      // What was counted leaves the totals when the upgrade starts...
      {"counted, starts an upgrade", 0xab010040, kOk, kInUpgrade, 0, 4400, 0, -4400},
      // ... and comes back once when it ends.
      {"upgrade ends", 0xab010040, kInUpgrade, kOk, 0, 0, 4400, 4400},
      {"upgrade reported again", 0xab010040, kInUpgrade, kInUpgrade, 0, 0, 0, 0},
      {"stale count, not usable before, upgrading now", 0xab010040, 0, kInUpgrade, 0, 4400, 0, 0},
      {"re-detected with a stale count", 0xab010040, 0, kOk, 0, 4400, 4400, 4400},
  };
  run_feed_cases(this, cases, true, chassis_, trays_);
}

TEST_F(Power, CapacityTraces) {
  trays_ = std::make_unique<haltest::PowerTrays>(1, 1);
  pem_record& p = trays_->at(1, 0);
  p.status = 0;
  p.pre_capacity = 3000;  // stale
  chassis_.pm.total_capacity = 3000;
  trays_->trays[1].tray_capacity = 0;
  p.status = kOk;
  envmon_hal_handle_dual_feed_capacity(1, 0, 0xab010010, 0);
  p.status = 0;
  envmon_hal_handle_dual_feed_capacity(1, 0, 0xab010010, kOk);
  EXPECT_EQ(tlg_test_lines("envmon_lib_pwrm"),
            (std::vector<std::string>{
                "correct pre_capacity to 0 for pem(1, 0)\n",
                "Capacity for pem(1, 0) Pre 0, current 3000\n",
                "new total capacity 6000, new tray 1 capacity 3000\n",
                "envmon_power_for_pem_redundancy 3000\n",
                "Capacity 3000 removed for pem(1, 0), new total capacity 3000, new tray capacity 0\n",
                "envmon_power_for_pem_redundancy 3000\n",
            }));
}

TEST_F(Power, PowerForPemRedundancyFollowsTheLargestUsableModule) {
  struct Case {
    const char* name;
    std::vector<Pem> pems;
    uint32_t per_pem;
  };
  const Case cases[] = {
      {"3000 W modules", {{0xab010010, kOk, 3000}, {0xab010010, kOk, 3000}}, 3000},
      {"a 3150 W module", {{0xab010010, kOk, 3000}, {0xab010030, kOk, 3150}}, 3150},
      {"a 4400 W module", {{0xab010030, kOk, 3150}, {0xab010040, kOk, 4400}}, 4400},
      {"the 4400 W module is upgrading", {{0xab010030, kOk, 3150}, {0xab010040, kInUpgrade, 4400}}, 3150},
      {"no usable module", {{0xab010040, 0, 4400}}, 3000},
      {"a 4400 W module in the second tray",
       {{0xab010010, kOk, 3000}, {0xab010010, kOk, 3000}, {0xab010010, kOk, 3000}, {0xab010010, kOk, 3000},
        {0xab010040, kOk, 4400}},
       4400},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    place(c.pems);
    pd_power_supplies_data.power_for_pem_redundancy = 0;
    // An unchanged module still has the figure recomputed.
    envmon_hal_handle_dual_feed_capacity(0, 0, c.pems[0].type, static_cast<uint8_t>(c.pems[0].status));
    EXPECT_EQ(pd_power_supplies_data.power_for_pem_redundancy, c.per_pem);
  }
}

TEST_F(Power, FeedHooksIgnoreModulesThatDoNotExist) {
  place({{0xab010010, 0, 0}});
  chassis_.pm.total_capacity = 5000;
  trays_->at(0, 0).status = kOk;
  envmon_hal_handle_dual_feed_capacity(0, 1, 0xab010010, 0);   // past the tray's PEMs
  envmon_hal_handle_triple_feed_capacity(2, 0, 0xab010040, 0);  // past the trays
  envmon_hal_handle_dual_feed_capacity(1, 0, 0xab010010, 0);   // empty tray
  EXPECT_EQ(chassis_.pm.total_capacity, 5000u);
  EXPECT_EQ(trays_->at(0, 0).capacity, 0u);
}

TEST_F(Power, BudgetHardwareOfEachEntityType) {
  struct Case {
    const char* name;
    uint32_t chassis;
    uint32_t card_type;
    uint32_t entity;
    uint8_t subtype;
    int32_t pi;
    int32_t pd;
    const char* pid;
  };
  const Case cases[] = {
      {"route processor A", 0x60010000, 27024, 1, 27, 3, 27024, "TVR-RP-A"},
      {"route processor B", 0x60010000, 27059, 1, 27, 3, 27059, "TVR-RP-B"},
      {"system controller", 0x60010000, 21000, 1, 27, 3, 21000, "TVR-RP-C"},
      {"other route processor", 0x60010001, 0x60020100, 1, 27, 3, 0x60020100, "TVR-RP"},
      {"fan tray, 16 slots", 0x60010001, 0, 2, 6, 7, static_cast<int32_t>(0xab040022), "TVR-FAN-16S-V2"},
      {"fan tray, 4 slots", 0x60010002, 0, 2, 6, 7, static_cast<int32_t>(0xab040042), "TVR-FAN-4S-V3"},
      {"fan tray, 8 slots", 0x60010000, 0, 2, 6, 7, static_cast<int32_t>(0xab040002), "TVR-FAN-8S-V2"},
      {"fan tray, other chassis", 0x60010107, 0, 2, 6, 7, static_cast<int32_t>(0xab040206), "TVR-FAN-GEN"},
      {"fabric card, 16 slots", 0x60010001, 0, 3, 7, 6, 27004, "TVR-FC-16S"},
      {"fabric card, 4 slots", 0x60010002, 0, 3, 7, 6, 27002, "TVR-FC-4S"},
      {"fabric card, 8 slots", 0x60010000, 0, 3, 7, 6, 27003, "TVR-FC-8S"},
      {"line card", 0x60010000, 0, 4, 13, 4, 27000, "TVR-LC"},
      {"XC card", 0x60010000, 0, 9, 60, 16, 21005, "TVR-XC"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    haltest::Chassis chassis(c.chassis);
    chassis.nm.card_type = c.card_type;
    uint8_t subtype = 0;
    int32_t pi = 0, pd = 0, major = -1, minor = -1;
    char pid[32];
    std::memset(pid, 'x', sizeof(pid));
    EXPECT_TRUE(envmon_hal_pwr_mgmt_get_hw_type(c.entity, &subtype, &pi, &pd, pid, &major, &minor));
    EXPECT_EQ(subtype, c.subtype);
    EXPECT_EQ(pi, c.pi);
    EXPECT_EQ(pd, c.pd);
    EXPECT_STREQ(pid, c.pid);
    EXPECT_LE(std::strlen(pid), 15u);
    EXPECT_EQ(major, 0);
    EXPECT_EQ(minor, 1);
  }
  for (uint32_t unknown : {0u, 5u, 6u, 7u, 8u, 10u}) {
    SCOPED_TRACE(unknown);
    uint8_t subtype = 99;
    int32_t pi = 99, pd = 99, major = 99, minor = 99;
    char pid[16] = "untouched";
    EXPECT_FALSE(envmon_hal_pwr_mgmt_get_hw_type(unknown, &subtype, &pi, &pd, pid, &major, &minor));
    EXPECT_EQ(subtype, 99);
    EXPECT_EQ(pi + pd + major + minor, 4 * 99);
    EXPECT_STREQ(pid, "untouched");
  }
}

TEST_F(Power, BudgetDataAndRedundancyCountByChassis) {
  struct Case {
    uint32_t chassis;
    bool known;
    uint32_t red_count;
  };
  const Case cases[] = {{0x60010000, true, 255},  {0x60010001, true, 1},  {0x60010002, true, 255},
                        {0x60010003, false, 255}, {0x5fffffff, false, 255}, {0, false, 255}};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << std::hex << c.chassis);
    haltest::Chassis chassis(c.chassis);
    chassis.pm.pbudget_last_index = 9;
    pem().calls.clear();
    tlg_test_clear();
    envmon_hal_pwr_mgmt_pbudget_data_init();
    if (c.known) {
      EXPECT_EQ(pem().calls, std::vector<std::string>{"envmon_pem_lcc_pwr_mgmt_pbudget_data_init()"});
      EXPECT_EQ(chassis.pm.pbudget_last_index, 9);
    } else {
      EXPECT_TRUE(pem().calls.empty());
      EXPECT_EQ(chassis.pm.pbudget_last_index, 0);
      const std::string trace = "envmon_hal_pwr_mgmt_pbudget_data_init: invalid chassis type " +
                                std::to_string(static_cast<int32_t>(c.chassis)) + " \n";
      EXPECT_TRUE(tlg_test_contains("envmon_lib_err", trace)) << trace;
    }
    EXPECT_EQ(envmon_hal_get_num_pems_for_red(), c.red_count);
  }
}

}  // namespace

// Fault-manager and FPD hooks: fault tables, repeatable faults, the action
// callbacks, fault tags and severities, and the power-supply FPD skip rule.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "alarmd.h"
#include "alarmd_test.h"
#include "envmon_hal.h"
#include "fpd_drv.h"
#include "hal_test_support.h"
#include "tlg_test.h"

namespace {

using haltest::pem;
using haltest::ptr;

class FaultHooks : public testing::Test {
 protected:
  void SetUp() override {
    haltest::reset_pem();
    ASSERT_EQ(envmon_hal_tlg_init(nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                  nullptr),
              0u);
    haltest::reset_pem();
    tlg_test_clear();
  }
};

std::vector<alarmd_fault_id_t> ids(std::initializer_list<std::pair<uint32_t, uint32_t>> faults) {
  std::vector<alarmd_fault_id_t> out;
  for (auto [category, tag] : faults) out.push_back(alarmd_create_local_fault_id(category, tag));
  return out;
}

TEST_F(FaultHooks, FaultTablePerScope) {
  EXPECT_STREQ(envmon_hal_fm_get_fm_table(3), "envmon_tavrin_nm_fm.xml");
  for (uint32_t scope : {0u, 1u, 2u, 4u}) EXPECT_STREQ(envmon_hal_fm_get_fm_table(scope), "envmon_tavrin_rm_fm.xml");
  EXPECT_EQ(envmon_hal_fm_update_fm_table(1), 1);
  EXPECT_EQ(envmon_hal_fm_update_fm_table(3), 1);
}

TEST_F(FaultHooks, RepeatableFaultsInOrder) {
  alarmd_handle_t rack = alarmd_test_handle_new();
  envmon_hal_fm_rm_set_repeatable(rack);
  // The PEM library adds its own faults after the platform's (its mark here is (15, 43)).
  EXPECT_EQ(alarmd_test_repeat_marks(rack), ids({{16, 1}, {16, 2}, {16, 46}, {10, 100}, {14, 28}, {14, 29}, {14, 27},
                                                 {14, 44}, {14, 45}, {14, 30}, {16, 4}, {15, 43}}));
  EXPECT_EQ(pem().calls, std::vector<std::string>{"envmon_pem_fm_rm_set_repeatable(" + ptr(rack) + ")"});
  alarmd_test_handle_free(rack);

  alarmd_handle_t node = alarmd_test_handle_new();
  envmon_hal_fm_nm_set_repeatable(node);
  EXPECT_EQ(alarmd_test_repeat_marks(node), ids({{14, 1}, {14, 2}, {14, 3}, {14, 4}, {10, 100}, {14, 5}, {14, 6}}));
  alarmd_test_handle_free(node);
}

TEST_F(FaultHooks, ActionHandlersTraceUnknownTagsAndAcceptEveryFault) {
  struct Case {
    uint32_t tag;
    bool rack_unknown;
    bool node_unknown;
  };
  const Case cases[] = {
      {1, false, false},  {2, false, false}, {3, false, false}, {4, true, false},  {5, true, true},
      {27, false, true},  {28, false, true}, {29, false, true}, {30, false, true}, {31, true, true},
      {46, true, true},   {50, false, true}, {51, true, true},  {100, true, true}, {0, true, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.tag);
    alarmd_fault_t* fault = alarmd_test_fault_new(14, c.tag);
    const std::string unknown = "Unknown fault_tag=" + std::to_string(c.tag) + "\n";
    tlg_test_clear();
    pem().calls.clear();
    pem().answer = -1;  // what the PEM library answers does not change ours
    int data = 0;
    EXPECT_EQ(envmon_hal_fm_rm_action_handler(nullptr, fault, 2, &data, 4, nullptr), 0);
    EXPECT_EQ(tlg_test_contains("envmon_lib_err", unknown), c.rack_unknown);
    ASSERT_EQ(pem().calls.size(), 1u);
    EXPECT_EQ(pem().calls[0], "envmon_pem_fm_rm_action_handler(" + ptr(nullptr) + ", " + ptr(fault) + ", 2, " +
                                  ptr(&data) + ", 4, " + ptr(nullptr) + ")");

    tlg_test_clear();
    pem().calls.clear();
    EXPECT_EQ(envmon_hal_fm_nm_action_handler(nullptr, fault, 2, nullptr, 0, nullptr), 0);
    EXPECT_EQ(tlg_test_contains("envmon_lib_err", unknown), c.node_unknown);
    EXPECT_TRUE(pem().calls.empty());
    alarmd_test_fault_free(fault);
  }
  EXPECT_EQ(envmon_hal_fm_rm_error_handler(nullptr, -5), 0);
  EXPECT_EQ(envmon_hal_fm_nm_error_handler(nullptr, -5), 0);
}

TEST_F(FaultHooks, VoltageAlarmTagsAndSeverities) {
  struct Case {
    uint32_t alarm_id;
    uint32_t scope;
    uint32_t tag;
    uint16_t level;
  };
  constexpr uint32_t kUntouchedTag = 777;
  constexpr uint16_t kUntouchedLevel = 9;
  const Case cases[] = {
      {1, 1, 29, 5}, {2, 1, 29, 4}, {3, 1, 29, 3}, {4, 1, 28, 5}, {5, 1, 28, 4}, {6, 1, 28, 3},
      {1, 3, 3, 5},  {2, 3, 3, 4},  {3, 3, 3, 3},  {4, 3, 2, 5},  {5, 3, 2, 4},  {6, 3, 2, 3},
      // Any scope but the node's is the rack's.
      {1, 0, 29, 5}, {6, 2, 28, 3},
      // Other ids change nothing.
      {0, 1, kUntouchedTag, kUntouchedLevel}, {7, 3, kUntouchedTag, kUntouchedLevel},
      {0xffffffff, 1, kUntouchedTag, kUntouchedLevel},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "alarm " << c.alarm_id << " scope " << c.scope);
    alarmd_fault_data data;
    alarmd_fault_data_init(&data);
    data.alarm_level = kUntouchedLevel;
    envmon_fm_fault_req req{};
    req.fault_data = &data;
    req.fault_type = 14;
    req.fault_tag = kUntouchedTag;
    envmon_hal_fm_configure_voltage_fault(&req, &data, c.alarm_id, c.scope);
    EXPECT_EQ(req.fault_tag, c.tag);
    EXPECT_EQ(data.alarm_level, c.level);
    EXPECT_EQ(req.fault_type, 14u);
  }
}

TEST_F(FaultHooks, FixedTagsAndPowerTrayAnswers) {
  envmon_fm_fault_req req{};
  req.fault_type = 10;
  uint32_t scope = 1;
  envmon_hal_fm_configure_shutdown_card_fault(&req, &scope);
  EXPECT_EQ(scope, 3u);
  EXPECT_EQ(req.fault_tag, 100u);

  envmon_fm_fault_req idprom{};
  idprom.fault_type = 15;
  EXPECT_EQ(envmon_hal_fm_configure_idprom_access_failure(&idprom), &idprom);
  EXPECT_EQ(idprom.fault_tag, 42u);

  envmon_fm_fault_req oir{};
  envmon_hal_fm_configure_powertray_oir_fault(&oir, 1);
  EXPECT_EQ(oir.fault_tag, 0u);
  EXPECT_TRUE(tlg_test_contains("envmon_lib_err", "PT OIR - Tavrin does not have power tray\n"));
  EXPECT_EQ(envmon_hal_get_fm_powertray_slottype(5), 0xFFFFFFFFu);
  EXPECT_TRUE(tlg_test_contains("envmon_lib_err", "GET PT slottype - Tavrin does not have power tray\n"));
}

TEST_F(FaultHooks, PowerModuleFaultsGoToThePemLibrary) {
  char location[31];
  pelm_eid* e1 = nullptr;
  pelm_eid* e2 = nullptr;
  pem().answer = 1;
  EXPECT_EQ(envmon_hal_fm_configure_location_string(61, location, &e1, &e2), 1);
  pem().answer = 0x55;
  EXPECT_EQ(envmon_hal_fm_process_card_shut_on_low_budget(4, 1), 0x55u);

  pelm_eid eid{};
  envmon_fm_fault_req req{};
  char text[256];
  envmon_hal_fm_configure_hw_undetected_failure(&eid, &req, text);
  envmon_hal_fm_configure_hw_undetected_failure(nullptr, &req, text);
  envmon_hal_fm_configure_hw_undetected_failure(&eid, nullptr, text);
  EXPECT_EQ(pem().calls,
            (std::vector<std::string>{
                "envmon_pem_fm_configure_location_string(61, " + ptr(location) + ", " + ptr(&e1) + ", " + ptr(&e2) +
                    ")",
                "envmon_pem_fm_process_card_shut_on_low_budget(4, 1)",
                "envmon_pem_fm_configure_hw_undetected_failure(" + ptr(&eid) + ", " + ptr(&req) + ", " + ptr(text) +
                    ")",
            }));
  EXPECT_EQ(tlg_test_lines("envmon_lib_err"),
            std::vector<std::string>(2, "passed NULL pointer to get fault tag for HW undetected failure\n"));
}

TEST_F(FaultHooks, FpdHooksOfPowerModules) {
  fpd_drv_upgrade_req req{};
  fpd_data* fpd = nullptr;
  uint32_t driver = 17;
  uint8_t proceed = 1;
  pem().answer = 0;
  EXPECT_EQ(envmon_hal_fpd_image_set(&req, &fpd, &driver, &proceed), 0u);
  pem().answer = 22;
  EXPECT_EQ(envmon_hal_fpd_image_set(&req, &fpd, &driver, &proceed), 0x401014deca100802u);

  fpd_data record{};
  EXPECT_EQ(envmon_hal_fpd_get_upgrade_timeout(&record), 1500u);
  envmon_hal_fpd_init_slot(21);

  // The slot goes to the out value only when the PEM library accepts.
  uint32_t node_slot = 0;
  pem().answer = 0;
  EXPECT_EQ(envmon_hal_fpd_init(&record, 41, &node_slot, nullptr), 0);
  EXPECT_EQ(node_slot, 41u);
  pem().answer = 22;
  node_slot = 0;
  EXPECT_EQ(envmon_hal_fpd_init(&record, 41, &node_slot, nullptr), 22);
  EXPECT_EQ(node_slot, 2u) << "what the PEM library left";

  EXPECT_EQ(pem().calls[2], "envmon_pem_fpd_get_upgrade_timeout(" + ptr(&record) + ")");
  EXPECT_EQ(pem().calls[3], "envmon_pem_fpd_init_slot(21)");
}

struct SkipResult {
  int calls = 0;
  void* fpd_hd = nullptr;
  void* ctx = nullptr;
  uint32_t state = 0;
  std::string msg;
};
SkipResult g_skip;
void record_skip(void* fpd_hd, void* ctx, uint32_t state, const char* msg) {
  ++g_skip.calls;
  g_skip.fpd_hd = fpd_hd;
  g_skip.ctx = ctx;
  g_skip.state = state;
  g_skip.msg = msg;
}

TEST_F(FaultHooks, PowerSupplyUpgradesOnlyWhenNamedExplicitly) {
  struct Case {
    const char* name;
    uint32_t all_locations;
    uint32_t all_fpds;
    uint32_t auto_upgrade;
    bool skipped;
    const char* msg;
  };
  const Case cases[] = {
      {"location all", 1, 0, 0, true, "Power supplies excluded from upgrade location all option."},
      {"location all, every FPD", 1, 1, 0, true, "Power supplies excluded from upgrade location all option."},
      {"location all and auto upgrade", 1, 0, 1, true, "Power supplies excluded from upgrade location all option."},
      {"auto upgrade", 0, 0, 1, true, "Power supplies excluded from fpd auto upgrade option."},
      {"every FPD of one location", 0, 1, 0, false, nullptr},
      {"one FPD of one location", 0, 0, 0, false, nullptr},
  };
  int device = 0;
  int requester = 0;
  fpd_data fpd{};
  fpd.fpd_out.fpd_hd = &device;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    g_skip = SkipResult{};
    tlg_test_clear();
    fpd_drv_upgrade_req req{};
    req.ctx = &requester;
    req.result_cb = record_skip;
    req.all_locations = c.all_locations;
    req.all_fpds = c.all_fpds;
    req.auto_upgrade = c.auto_upgrade;
    EXPECT_EQ(envmon_hal_verify_pt_fpd_skip(&req, &fpd), c.skipped);
    const std::string flags = "location all " + std::to_string(c.all_locations) + " fpd all " +
                              std::to_string(c.all_fpds) + " auto upg " + std::to_string(c.auto_upgrade) + "\n";
    EXPECT_TRUE(tlg_test_contains("envmon_lib_main", flags)) << flags;
    if (!c.skipped) {
      EXPECT_EQ(g_skip.calls, 0);
      continue;
    }
    EXPECT_EQ(g_skip.calls, 1);
    EXPECT_EQ(g_skip.fpd_hd, &device);
    EXPECT_EQ(g_skip.ctx, &requester);
    EXPECT_EQ(g_skip.state, 13u);
    EXPECT_EQ(g_skip.msg, c.msg);
  }
}

}  // namespace

#include <gtest/gtest.h>

#include <dlfcn.h>
#include <malloc.h>
#include <string.h>

#include <regex>
#include <string>
#include <vector>

#include "envcore_test_util.h"

// Huge limits must fail to allocate, not abort, under the sanitizers too.
extern "C" const char* __asan_default_options() { return "allocator_may_return_null=1"; }

// The tracing library, seen through: which buffers are opened and enabled in
// which order, and a buffer whose open fails.
namespace {
std::vector<std::string> opened;
std::vector<std::string> enabled;
std::vector<uint32_t> opened_points;
std::vector<std::string> opened_paths;
std::vector<tlg_handle_t> opened_parents;
std::string failing_buffer;
}  // namespace

extern "C" int tlg_open_internal(tlg_handle_t* handle, const char* name, uint32_t size,
                                 uint32_t points, const char* component_path,
                                 const char* build_id, tlg_handle_t parent) {
  using Fn = int (*)(tlg_handle_t*, const char*, uint32_t, uint32_t, const char*, const char*,
                     tlg_handle_t);
  static Fn real = reinterpret_cast<Fn>(dlsym(RTLD_NEXT, "tlg_open_internal"));
  if (name && strncmp(name, "envmon_", 7) == 0) {
    opened.emplace_back(name);
    opened_points.push_back(points);
    opened_paths.emplace_back(component_path ? component_path : "");
    opened_parents.push_back(parent);
    if (failing_buffer == name) return -1;
  }
  return real(handle, name, size, points, component_path, build_id, parent);
}

extern "C" int tlg_enable_configuration(tlg_handle_t handle, struct evloop* loop) {
  using Fn = int (*)(tlg_handle_t, struct evloop*);
  static Fn real = reinterpret_cast<Fn>(dlsym(RTLD_NEXT, "tlg_enable_configuration"));
  enabled.emplace_back(tlg_get_name(handle));
  return real(handle, loop);
}

namespace {

constexpr const char* kBufferOrder[] = {
    "envmon_cmn_main", "envmon_cmn_err",   "envmon_cmn_info",  "envmon_cmn_dbg",
    "envmon_cmn_pwrm", "envmon_cmn_fanm",  "envmon_cmn_fault", "envmon_cmn_smil",
    "envmon_cmn_obfl", "envmon_pmlib"};

// A ctime text without its newline and one blank: "Wed Dec  9 19:14:35 2026 ".
const std::regex kTimestamp(R"(^[A-Z][a-z]{2} [A-Z][a-z]{2} [ 0-9]\d \d\d:\d\d:\d\d \d{4} )");

class Startup : public ::testing::Test {
 protected:
  void SetUp() override {
    envcore_standin_reset();
    envcore_free_records();
    opened.clear();
    enabled.clear();
    opened_points.clear();
    opened_paths.clear();
    opened_parents.clear();
    failing_buffer.clear();
    envcore_open_traces();
    opened.clear();
    enabled.clear();
    opened_points.clear();
    opened_paths.clear();
    opened_parents.clear();
    tlg_test_clear(nullptr);
    ship_reset();
    for (auto& row : envmon_counter_info) *row.handle = nullptr;
  }
  void TearDown() override {
    envcore_test_fail_calloc(-1);
    envcore_free_records();
  }
};

TEST_F(Startup, TraceBuffersOpenInOrderThenEnableFanBeforePower) {
  tlg_handle_t parents[10];
  for (int i = 0; i < 10; ++i) tlg_open_internal(&parents[i], ("parent" + std::to_string(i)).c_str(), 0, 0, "", "", nullptr);
  ASSERT_EQ(envmon_tlg_init(nullptr, parents[0], parents[1], parents[2], parents[3], parents[4],
                            parents[5], parents[6], parents[7], parents[8], parents[9]),
            ENVMON_OK);
  ASSERT_EQ(opened, std::vector<std::string>(std::begin(kBufferOrder), std::end(kBufferOrder)));
  for (size_t i = 0; i < 10; ++i) {
    SCOPED_TRACE(kBufferOrder[i]);
    EXPECT_EQ(opened_points[i], 1167u);
    EXPECT_EQ(opened_paths[i], "./pelmarok/system_pkg/envmon/common/envcore");
    EXPECT_EQ(opened_parents[i], parents[i]);
  }
  const std::vector<std::string> enable_order = {
      "envmon_cmn_main", "envmon_cmn_err",   "envmon_cmn_info", "envmon_cmn_dbg",
      "envmon_cmn_fanm", "envmon_cmn_pwrm",  "envmon_cmn_fault", "envmon_cmn_smil",
      "envmon_cmn_obfl", "envmon_pmlib"};
  EXPECT_EQ(enabled, enable_order);
  EXPECT_STREQ(tlg_get_name(pmlib_tlg_cmn_hdl), "envmon_pmlib");
  EXPECT_STREQ(tlg_get_name(fanm_tlg_cmn_hdl), "envmon_cmn_fanm");
}

TEST_F(Startup, AFailingTraceBufferStopsTheOpeningAndIsLoggedOnly) {
  struct Case {
    const char* buffer;
    const char* logged;
  };
  const Case cases[] = {
      {"envmon_cmn_main", "envmon_tlg_init(): tlg_open failed for envmon_main\n"},
      {"envmon_cmn_err", "envmon_tlg_init(): tlg_open failed for envmon_err\n"},
      {"envmon_cmn_info", "envmon_tlg_init(): tlg_open failed for envmon_info\n"},
      {"envmon_cmn_dbg", "envmon_tlg_init(): tlg_open failed for envmon_dbg\n"},
      {"envmon_cmn_pwrm", "envmon_tlg_init(): tlg_open failed for envmon_pwrm\n"},
      {"envmon_cmn_fanm", "envmon_tlg_init(): tlg_open failed for envmon_fanm\n"},
      {"envmon_cmn_fault", "envmon_tlg_init(): tlg_open failed for envmon_fault\n"},
      {"envmon_cmn_smil", "envmon_tlg_init(): tlg_open failed for envmon_smil\n"},
      {"envmon_cmn_obfl", "envmon_tlg_init(): tlg_open failed for envmon_obfl\n"},
      {"envmon_pmlib", "envmon_tlg_init(): tlg_open failed for envmon_pmlib\n"},
  };
  for (size_t i = 0; i < std::size(cases); ++i) {
    const Case& c = cases[i];
    SCOPED_TRACE(c.buffer);
    opened.clear();
    enabled.clear();
    failing_buffer = c.buffer;
    DebugStream log(&env_fd);
    EXPECT_EQ(envmon_tlg_init(nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                              nullptr, nullptr, nullptr, nullptr),
              0x301014deca100804ULL);
    EXPECT_EQ(opened, std::vector<std::string>(kBufferOrder, kBufferOrder + i + 1));
    EXPECT_TRUE(enabled.empty());
    const std::string text = log.text();
    EXPECT_TRUE(std::regex_search(text, kTimestamp)) << text;
    ASSERT_GE(text.size(), 25u);
    EXPECT_EQ(text.substr(25), c.logged);
  }
  // Without a debug stream nothing is written anywhere; with the dump stream
  // the line goes there without a timestamp.
  failing_buffer = "envmon_cmn_fault";
  EXPECT_EQ(envmon_tlg_init(nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                            nullptr, nullptr, nullptr),
            ENVMON_ERR_TLG_INIT);
  DebugStream dump(&env_dump_fd);
  envmon_tlg_init(nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                  nullptr, nullptr);
  EXPECT_EQ(dump.text(), "envmon_tlg_init(): tlg_open failed for envmon_fault\n");
}

// Writes every element of a table (the sanitizers catch a short one) and checks
// that the allocation holds at least that many.
template <typename T>
void expect_table(T* table, uint32_t n, const char* what) {
  SCOPED_TRACE(what);
  if (n == 0) {
    EXPECT_EQ(table, nullptr);
    return;
  }
  ASSERT_NE(table, nullptr);
  EXPECT_GE(malloc_usable_size(table), n * sizeof(T));
  for (uint32_t i = 0; i < n; ++i) {
    const T zero{};
    EXPECT_EQ(memcmp(&table[i], &zero, sizeof(T)), 0) << "entry " << i << " not zeroed";
    memset(&table[i], 0x5a, sizeof(T));
    memset(&table[i], 0, sizeof(T));  // the records' pointers are freed later
  }
}

TEST_F(Startup, RecordsAreSizedFromThePlatformLimits) {
  struct Case {
    const char* name;
    uint32_t fantray, powertray, rp, inv_slots, sn, clients, mpa;
  };
  const Case cases[] = {
      {"small tavrin", 3, 0, 2, 64, 12, 10, 3},
      {"power trays and no MPA bays", 6, 2, 2, 16, 12, 3, 0},
      {"one of everything", 1, 1, 1, 1, 1, 1, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    envcore_free_records();
    EnvcoreStandin& s = envcore_standin();
    s.max_fantray = c.fantray;
    s.max_powertray = c.powertray;
    s.max_rp = c.rp;
    s.max_inv_slots = c.inv_slots;
    s.chassis_sn_length = c.sn;
    s.max_clients = c.clients;
    s.max_mpa = c.mpa;
    ASSERT_EQ(envmon_init_rack_scope_data(), ENVMON_OK);
    ASSERT_EQ(envmon_init_node_scope_data(), ENVMON_OK);
    envmon_rm_t* rm = envmon_rm;
    EXPECT_EQ(rm->rack, 0xfffeu);
    EXPECT_EQ(rm->fm_loc_update_pending, 0);
    expect_table(rm->chassis_sn, c.sn, "chassis_sn");
    expect_table(rm->fantray_cb, c.fantray, "fantray_cb");
    expect_table(rm->pwr_tray_cont_reg_state, c.powertray, "pwr_tray_cont_reg_state");
    expect_table(rm->rp_hw_position, c.rp, "rp_hw_position");
    expect_table(rm->rp_info_rcvd, c.rp, "rp_info_rcvd");
    expect_table(rm->fru_objs_lst, c.inv_slots, "fru_objs_lst");
    envmon_nm_t* nm = envmon_nm;
    expect_table(nm->clients, c.clients, "clients");
    expect_table(nm->mpa, c.mpa, "mpa");
    EXPECT_EQ(nm->max_mpa, c.mpa);
    EXPECT_EQ(nm->ip_address, 0xffffffffu);
    EXPECT_EQ(nm->my_location, nullptr);
    EXPECT_EQ(nm->fm_loc_set, 0);
    const uint8_t switches[] = {nm->temp_debug, nm->volt_debug, nm->curr_debug,
                                nm->drvif_debug, nm->fan_debug, nm->pwr_debug};
    for (uint8_t sw : switches) EXPECT_EQ(sw, 1);
  }
}

TEST_F(Startup, RackRecordCreationCompletesOnARepeatedCall) {
  // Allocations in order: record, chassis_sn, fantray_cb, pwr_tray_cont_reg_state,
  // rp_hw_position, rp_info_rcvd, fru_objs_lst.
  struct Case {
    int failing;
    const char* traced;  // on the error buffer, or null
  };
  const Case cases[] = {
      {0, nullptr},
      {1, nullptr},
      {2, "envmon_init_rack_scope_data: calloc failed for Fantray CB\n"},
      {3, nullptr},
      {4, nullptr},
      {5, nullptr},
      {6, "envmon_init_rack_scope_data: calloc failed for fru_objs_lst\n"},
  };
  envcore_standin().max_powertray = 2;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.failing);
    envcore_free_records();
    tlg_test_clear("envmon_cmn_err");
    envcore_test_fail_calloc(c.failing);
    EXPECT_EQ(envmon_init_rack_scope_data(), 0x401014deca100806ULL);
    if (c.traced)
      EXPECT_TRUE(err_traced(c.traced));
    else
      EXPECT_TRUE(tlg_test_lines("envmon_cmn_err").empty());
    if (c.failing == 0) {
      EXPECT_EQ(envmon_rm, nullptr);
    } else {
      // What was built stays, with what was learnt meanwhile.
      envmon_rm->rack = 7;
      if (envmon_rm->chassis_sn) envmon_rm->chassis_sn[0] = 'S';
    }
    char* sn_before = envmon_rm ? envmon_rm->chassis_sn : nullptr;
    ASSERT_EQ(envmon_init_rack_scope_data(), ENVMON_OK);
    if (c.failing > 0) {
      EXPECT_EQ(envmon_rm->rack, 7u);
      if (sn_before) {
        EXPECT_EQ(envmon_rm->chassis_sn, sn_before);
        EXPECT_EQ(envmon_rm->chassis_sn[0], 'S');
      }
    }
    EXPECT_NE(envmon_rm->chassis_sn, nullptr);
    EXPECT_NE(envmon_rm->fantray_cb, nullptr);
    EXPECT_NE(envmon_rm->pwr_tray_cont_reg_state, nullptr);
    EXPECT_NE(envmon_rm->rp_hw_position, nullptr);
    EXPECT_NE(envmon_rm->rp_info_rcvd, nullptr);
    EXPECT_NE(envmon_rm->fru_objs_lst, nullptr);
  }
}

TEST_F(Startup, NodeRecordFailuresAreNotTraced) {
  for (int failing : {0, 1, 2}) {  // record, clients, mpa
    SCOPED_TRACE(failing);
    envcore_free_records();
    tlg_test_clear("envmon_cmn_err");
    envcore_test_fail_calloc(failing);
    EXPECT_EQ(envmon_init_node_scope_data(), ENVMON_ERR_NO_MEMORY);
    EXPECT_TRUE(tlg_test_lines("envmon_cmn_err").empty());
    if (failing == 2) {
      EXPECT_EQ(envmon_nm->max_mpa, 0);
    }
    ASSERT_EQ(envmon_init_node_scope_data(), ENVMON_OK);
    EXPECT_NE(envmon_nm->clients, nullptr);
    EXPECT_NE(envmon_nm->mpa, nullptr);
    EXPECT_EQ(envmon_nm->max_mpa, 3);
  }
}

TEST_F(Startup, RackEntityDataFollowsTheRemoteManagementOfEachClass) {
  struct Case {
    const char* name;
    int fc, lc, sw;
  };
  const Case cases[] = {{"none remote", 0, 0, 0}, {"all remote", 1, 1, 1}, {"line cards only", 0, 1, 0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    envcore_free_records();
    envcore_standin().calls.clear();
    EnvcoreStandin& s = envcore_standin();
    s.fc_remote = c.fc;
    s.lc_remote = c.lc;
    s.sw_remote = c.sw;
    s.max_swc = 2;
    ASSERT_EQ(envmon_init_rack_scope_data(), ENVMON_OK);
    ASSERT_EQ(envmon_init_rack_entity_data(), ENVMON_OK);
    envmon_rm_t* rm = envmon_rm;
    for (uint32_t i = 0; i < s.max_fantray; ++i) expect_table(rm->fantray_cb[i].eeprom, 256, "eeprom");
    expect_table(rm->fan_cont_pelm_eids, s.max_fantray, "fan_cont_pelm_eids");
    expect_table(rm->fan_cont_reg_state, s.max_fantray, "fan_cont_reg_state");
    expect_table(rm->fc_cb, c.fc ? s.max_fc : 0, "fc_cb");
    expect_table(rm->lc_cb, c.lc ? s.max_lc : 0, "lc_cb");
    expect_table(rm->sw_cb, c.sw ? s.max_swc : 0, "sw_cb");
    EXPECT_EQ(s.calls, std::vector<std::string>{"envmon_init_pwr_mgmt_data"});
  }
}

TEST_F(Startup, RackEntityDataFailuresTraceWhatFailedAndComplete) {
  // Allocations in order (three fan trays, line and switch cards remote):
  // eeprom 0..2, fan_cont_pelm_eids, fan_cont_reg_state, fc_cb, lc_cb, sw_cb.
  EnvcoreStandin& s = envcore_standin();
  s.fc_remote = s.lc_remote = s.sw_remote = 1;
  s.max_swc = 2;
  struct Case {
    int failing;
    const char* traced;
  };
  const Case cases[] = {
      {1, "envmon_init_rack_entity_data: calloc failed for Fantray CB EEPROM DATA\n"},
      {3, "envmon_init_rack_entity_data: calloc failed for Fantray CB for fan container EID\n"},
      {4, "envmon_init_rack_entity_data: calloc failed for Fantray CB for fan container reg state\n"},
      {5, "envmon_init_rack_entity_data: calloc failed for Fantray CB for fc callback\n"},
      {6, "envmon_init_rack_entity_data: calloc failed for Fantray CB for lc remotly\n"},
      {7, "envmon_init_rack_entity_data: calloc failed for Fantray CB for sw remotly\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.traced);
    envcore_free_records();
    ASSERT_EQ(envmon_init_rack_scope_data(), ENVMON_OK);
    tlg_test_clear("envmon_cmn_err");
    s.calls.clear();
    envcore_test_fail_calloc(c.failing);
    EXPECT_EQ(envmon_init_rack_entity_data(), ENVMON_ERR_NO_MEMORY);
    EXPECT_TRUE(err_traced(c.traced));
    EXPECT_TRUE(s.calls.empty());  // power management is not started on a failure
    ASSERT_EQ(envmon_init_rack_entity_data(), ENVMON_OK);
    EXPECT_NE(envmon_rm->sw_cb, nullptr);
    EXPECT_NE(envmon_rm->fantray_cb[2].eeprom, nullptr);
  }
  // A fan-tray table that the rack record could not get is created here.
  envcore_free_records();
  envcore_test_fail_calloc(2);
  ASSERT_EQ(envmon_init_rack_scope_data(), ENVMON_ERR_NO_MEMORY);
  ASSERT_EQ(envmon_rm->fantray_cb, nullptr);
  tlg_test_clear("envmon_cmn_err");
  envcore_test_fail_calloc(0);
  EXPECT_EQ(envmon_init_rack_entity_data(), ENVMON_ERR_NO_MEMORY);
  EXPECT_TRUE(err_traced("envmon_init_rack_entity_data: calloc failed for Fantray CB\n"));
  ASSERT_EQ(envmon_init_rack_entity_data(), ENVMON_OK);
  EXPECT_NE(envmon_rm->fantray_cb, nullptr);
}

TEST_F(Startup, CommonInitRunsItsStepsInOrder) {
  ASSERT_EQ(envmon_common_init(nullptr), ENVMON_OK);
  const std::vector<std::string> order = {
      "envmon_hal_ship_stats_init",           "envmon_fm_init(3)",
      "envmon_capi_pm_init",                  "envmon_fm_fault_report_resync(3, 1)",
      "envmon_hal_capi_platform_driver_init", "envmon_inv_invreg_nm_client_init",
      "envmon_capi_platform_handle_init"};
  EXPECT_EQ(envcore_standin().calls, order);
  EXPECT_NE(envmon_plat_driver_oper_stats_hdl, nullptr);  // statistics came first
}

TEST_F(Startup, CommonInitReturnsTheFailingStepsOwnCode) {
  struct Case {
    const char* name;
    envmon_err_t EnvcoreStandin::*result;
    const char* traced;
    const char* logged;
    size_t calls;  // calls made up to and including the failing step
  };
  const Case cases[] = {
      {"fault manager", &EnvcoreStandin::fm_init, "envmon_common_init: Failure in FM init!\n\n",
       "envmon_common_init(): Failure in FM init!\n", 2},
      {"process manager", &EnvcoreStandin::pm_init, "envmon_common_init: Failure in PM init!\n\n",
       "envmon_common_init(): Failure in PM init!\n", 3},
      {"hardware abstraction", &EnvcoreStandin::platform_driver_init,
       "envmon_common_init: Failure in Platform Driver init!\n\n",
       "envmon_common_init(): Failure in Platform Driver init!\n", 5},
      {"node inventory registration", &EnvcoreStandin::invreg_nm_init,
       "envmon_common_init: Failure in NM client init!\n\n",
       "envmon_common_init(): Failure in NM client init!\n", 6},
      {"platform-local client", &EnvcoreStandin::platform_handle_init,
       "envmon_common_init: Failure in Platform handle init!\n\n",
       "envmon_common_init(): Failure in Platform handle init!\n", 7},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    envcore_standin_reset();
    ship_reset();
    tlg_test_clear("envmon_cmn_err");
    const envmon_err_t code = 0x1234abcd00c0ffeeULL;
    envcore_standin().*c.result = code;
    DebugStream log(&env_dump_fd);
    EXPECT_EQ(envmon_common_init(nullptr), code);
    EXPECT_TRUE(err_traced(c.traced));
    EXPECT_EQ(log.text(), c.logged);
    EXPECT_EQ(envcore_standin().calls.size(), c.calls);
  }
}

TEST_F(Startup, ActiveInitStartsTheRackScope) {
  ASSERT_EQ(envmon_init_rack_scope_data(), ENVMON_OK);
  ASSERT_EQ(envmon_init_node_scope_data(), ENVMON_OK);
  struct Case {
    const char* name;
    uint32_t ip;
    uint32_t chassis_type;
    std::vector<std::string> calls;
  };
  const Case cases[] = {
      {"address and chassis known", 0x7f000102, 0x60010000,
       {"envmon_inv_invreg_rm_client_init", "envmon_capi_inv_init", "envmon_server_init(1)",
        "envmon_obfl_rm_init"}},
      {"address not yet known", 0xffffffff, 0x60010000,
       {"envmon_inv_invreg_rm_client_init", "envmon_capi_inv_init", "envmon_obfl_rm_init"}},
      {"chassis type unknown", 0x7f000102, 0,
       {"envmon_inv_invreg_rm_client_init", "envmon_capi_inv_init", "envmon_server_init(1)"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    envcore_standin().calls.clear();
    envmon_nm->ip_address = c.ip;
    envmon_rm->chassis_type = c.chassis_type;
    EXPECT_EQ(envmon_active_init(), ENVMON_OK);
    EXPECT_EQ(envcore_standin().calls, c.calls);
  }
  // Only the low 32 bits of a result are tested.
  envcore_standin().capi_inv_init = 0x4000000000000000ULL;
  EXPECT_EQ(envmon_active_init(), ENVMON_OK);
}

TEST_F(Startup, ActiveInitFailuresEndTheProcess) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  ASSERT_EQ(envmon_init_rack_scope_data(), ENVMON_OK);
  ASSERT_EQ(envmon_init_node_scope_data(), ENVMON_OK);
  envmon_nm->ip_address = 0x7f000102;
  envmon_rm->chassis_type = 0x60010000;
  struct Case {
    envmon_err_t EnvcoreStandin::*result;
    const char* logged;
  };
  const Case cases[] = {
      {&EnvcoreStandin::invreg_rm_init, "envmon_active_init:36 - exiting\\(\\)"},
      {&EnvcoreStandin::capi_inv_init, "envmon_active_init:44 - exiting\\(\\)"},
      {&EnvcoreStandin::server_init, "envmon_active_init:53 - exiting\\(\\)"},
      {&EnvcoreStandin::obfl_rm_init, "envmon_active_init:68 - exiting\\(\\)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.logged);
    envcore_standin_reset();
    envcore_standin().*c.result = 5;
    EXPECT_EXIT(
        {
          env_fd = stderr;
          envmon_active_init();
        },
        ::testing::ExitedWithCode(255), c.logged);
  }
}

}  // namespace

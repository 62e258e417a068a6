// Trace buffers of the library, the hooks that hand over to the PEM library,
// and the engineering test cases.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>
#include <string>
#include <vector>

#include "envhal_private.h"
#include "envmon_hal.h"
#include "envmon_pwr_mgmt.h"
#include "evloop.h"
#include "hal_test_support.h"
#include "tlg_test.h"

namespace {

using haltest::pem;
using haltest::ptr;

std::string read_stream(FILE* f) {
  std::fflush(f);
  std::rewind(f);
  std::string out;
  char buf[512];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof(buf), f)) > 0) out.append(buf, n);
  return out;
}

std::string read_file(const std::filesystem::path& p) {
  std::ifstream in(p);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

constexpr const char* kLibBuffers[] = {"envmon_lib_main", "envmon_lib_err",   "envmon_lib_info",
                                       "envmon_lib_dbg",  "envmon_lib_pwrm",  "envmon_lib_fanm",
                                       "envmon_lib_fault", "envmon_lib_smil", "envmon_lib_obfl"};
constexpr const char* kProcessBuffers[] = {"envmon_main", "envmon_err",   "envmon_info", "envmon_dbg", "envmon_pwrm",
                                           "envmon_fanm", "envmon_fault", "envmon_smil", "envmon_obfl"};

TEST(HalTracing, OpensItsBuffersUnderTheProcessBuffersThenThePemLibrarys) {
  haltest::reset_pem();
  tlg_handle_t process[9];
  for (int i = 0; i < 9; ++i) ASSERT_EQ(tlg_open_internal(&process[i], kProcessBuffers[i], 0, 10, "host", "0", nullptr), 0);
  evloop_t* loop = evloop_create("hal-tracing");
  evloop_t* server_loop = evloop_create("server");
  envmon_evloop = server_loop;
  FILE* log = std::tmpfile();
  env_fd = log;
  pem().answer = 0x1234;

  EXPECT_EQ(envmon_hal_tlg_init(loop, process[0], process[1], process[2], process[3], process[4], process[5],
                                process[6], process[7], process[8]),
            0x1234u)
      << "the PEM library's answer";

  const tlg_handle_t lib[] = {main_tlg_lib_hdl, err_tlg_lib_hdl,   info_tlg_lib_hdl, dbg_tlg_lib_hdl, pwrm_tlg_lib_hdl,
                              fanm_tlg_lib_hdl, fault_tlg_lib_hdl, smil_tlg_lib_hdl, obfl_tlg_lib_hdl};
  for (int i = 0; i < 9; ++i) EXPECT_STREQ(tlg_get_name(lib[i]), kLibBuffers[i]);
  // The PEM library gets the server's loop and the process's handles.
  std::string want = "envmon_pem_tlg_init(" + ptr(server_loop);
  for (tlg_handle_t h : process) want += ", " + ptr(h);
  EXPECT_EQ(pem().calls, std::vector<std::string>{want + ")"});

  const std::string text = read_stream(log);
  EXPECT_TRUE(std::regex_search(text, std::regex(" envmon_hal_tlg_init\\(\\): entered  [0-9]+\n"))) << text;
  EXPECT_TRUE(std::regex_search(text, std::regex(" envmon_hal_tlg_init\\(\\): returning \\(line [0-9]+\\)\n")))
      << text;
  EXPECT_EQ(text.find("tlg_open failed"), std::string::npos);

  // The dump leaves out the smil buffer; each dump names the library's
  // component, its build and the process buffer above it.
  const std::filesystem::path root = std::filesystem::temp_directory_path() / ("hal_tlg_" + std::to_string(getpid()));
  std::filesystem::create_directories(root);
  setenv("ENVMON_ROOT", root.c_str(), 1);
  envmon_hal_dump_tlgs();
  unsetenv("ENVMON_ROOT");
  for (int i = 0; i < 9; ++i) {
    SCOPED_TRACE(kLibBuffers[i]);
    const auto dump = root / "tmp/tlg_dump" / (std::string(kLibBuffers[i]) + "." + std::to_string(getpid()) + ".txt");
    if (std::string(kLibBuffers[i]) == "envmon_lib_smil") {
      EXPECT_FALSE(std::filesystem::exists(dump));
      continue;
    }
    const std::string first = read_file(dump);
    EXPECT_TRUE(std::regex_search(
        first, std::regex(std::string("^# trace buffer ") + kLibBuffers[i] +
                          ", component \\./pelmarok/system_pkg/envmon/tavrin/envhal_tavrin, build [0-9a-f]{32}, "
                          "parent " + kProcessBuffers[i] + ",")))
        << first;
  }
  std::filesystem::remove_all(root);
  env_fd = nullptr;
  std::fclose(log);
  envmon_evloop = nullptr;
  evloop_destroy(loop);
  evloop_destroy(server_loop);
}

class Hooks : public testing::Test {
 protected:
  void SetUp() override {
    haltest::reset_pem();
    ASSERT_EQ(envmon_hal_tlg_init(nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                  nullptr),
              0u);
    haltest::reset_pem();
    tlg_test_clear();
  }
  haltest::Chassis chassis_{0x60010000};
};

TEST_F(Hooks, PowerModuleQuestionsGoToThePemLibrary) {
  pem().pem_slots = {61};
  pem().answer = 0x401014deca100802;
  EXPECT_EQ(envmon_hal_init_pd_data(), 0x401014deca100802u);
  EXPECT_EQ(envmon_hal_get_misc_state(61), &pem().misc_state);
  EXPECT_EQ(envmon_hal_get_misc_state(5), nullptr);
  envmon_sensor_info* list = nullptr;
  uint16_t count = 0;
  EXPECT_EQ(envmon_hal_get_sensor_list(61, 29, &list, &count), 0x401014deca100802u);
  envmon_sensor_info sensor{};
  envmon_hal_customize_sensor_info(&sensor, 61, 8, 25);
  envmon_sys_pwr_data data{};
  int payload = 0;
  envmon_hal_capi_notify_sys_pwr_data(&data, reinterpret_cast<envmon_notif_sys_pwr_data*>(&payload));
  envmon_hal_update_rack_num(4);
  envmon_hal_inv_invreg_report_hw_event(62);
  EXPECT_EQ(pem().calls, (std::vector<std::string>{
                             "envmon_pem_init_pd_data()",
                             "envmon_get_pem_misc_state(61)",
                             "envmon_get_pem_misc_state(5)",
                             "envmon_pem_get_sensor_list(61, 29, " + ptr(&list) + ", " + ptr(&count) + ")",
                             "envmon_pem_customize_sensor_info(" + ptr(&sensor) + ", 61, 8, 25)",
                             "envmon_pem_capi_notify_sys_pwr_data(" + ptr(&data) + ", " + ptr(&payload) + ")",
                             "envmon_pem_send_rack_num_to_driver(4)",
                             "envmon_pem_inv_invreg_report_hw_event(62)",
                         }));
}

TEST_F(Hooks, PowerReadingsWaitForEveryModuleToBeDescribed) {
  envmon_sensor_info sensor{};
  pd_power_supplies_data.all_pem_info_rcvd = 0;
  envmon_hal_pwr_mgmt_volt_value_change_event(12000, &sensor, 61);
  envmon_hal_pwr_mgmt_update_fru_curr_data(35, &sensor, 61);
  EXPECT_TRUE(pem().calls.empty());
  pd_power_supplies_data.all_pem_info_rcvd = 1;
  envmon_hal_pwr_mgmt_volt_value_change_event(12000, &sensor, 61);
  envmon_hal_pwr_mgmt_update_fru_curr_data(35, &sensor, 61);
  EXPECT_EQ(pem().calls, (std::vector<std::string>{
                             "envmon_pem_pwr_mgmt_volt_value_change_event(12000, " + ptr(&sensor) + ", 61)",
                             "envmon_pem_pwr_mgmt_update_fru_curr_data(35, " + ptr(&sensor) + ", 61)",
                         }));
}

TEST_F(Hooks, RoleChangeAndAlarmChecksOnlyWhenTheyApply) {
  struct Case {
    const char* name;
    uint32_t role;
    bool forwarded;
  };
  const Case roles[] = {{"active", 1, false}, {"standby", 2, true}, {"none", 3, true}, {"no role yet", 0, true}};
  for (const auto& c : roles) {
    SCOPED_TRACE(c.name);
    pem().calls.clear();
    chassis_.rm.svc_role = c.role;
    envmon_hal_pwr_mgmt_handle_role_change();
    EXPECT_EQ(!pem().calls.empty(), c.forwarded);
  }

  pem().calls.clear();
  pem().ready = false;
  pem().answer = 7;
  EXPECT_EQ(envmon_hal_pwr_mgmt_check_chassis_pwr_supply_alarms(), 0u);
  EXPECT_EQ(pem().calls, std::vector<std::string>{"envmon_pem_is_pwr_mgmt_ready()"});
  pem().calls.clear();
  pem().ready = true;
  EXPECT_EQ(envmon_hal_pwr_mgmt_check_chassis_pwr_supply_alarms(true), 7u);
  EXPECT_EQ(pem().calls, (std::vector<std::string>{"envmon_pem_is_pwr_mgmt_ready()",
                                                   "envmon_pem_pwr_mgmt_check_chassis_pwr_supply_alarms()"}));
}

TEST_F(Hooks, PowerManagementForwarders) {
  pem().answer = 3;
  EXPECT_EQ(envmon_hal_pwr_mgmt_init(), 3);
  envmon_hal_pwr_mgmt_fru_power_allocated_update_all();
  envmon_hal_pwr_mgmt_set_redundancy_num_pems(2);
  envmon_hal_pwr_mgmt_dump_data();
  pem().ready = true;
  EXPECT_TRUE(envmon_hal_is_pwr_mgmt_ready());
  EXPECT_EQ(pem().calls, (std::vector<std::string>{
                             "envmon_pem_pwr_mgmt_init()",
                             "envmon_pem_pwr_mgmt_fru_power_allocated_update_all()",
                             "envmon_pem_pwr_mgmt_set_redundancy_num_pems(2)",
                             "envmon_pem_pwr_mgmt_dump_data()",
                             "envmon_pem_is_pwr_mgmt_ready()",
                         }));
  uint16_t max_budget = 400, ext_budget = 450;
  envmon_hal_override_power_budget_value(27000, &max_budget, &ext_budget);
  EXPECT_EQ(max_budget, 400);
  EXPECT_EQ(ext_budget, 450);
}

}  // namespace

// ---- Engineering test cases: what they call, recorded.
namespace {
std::vector<std::string> g_test_case_calls;
}

extern "C" {
envmon_err_t envmon_hal_fan_mgmt_fantray_oir(uint32_t tray, uint8_t presence, pelm_eid* oir_data,
                                             uint8_t idprom_access_fail, const char* reason) {
  g_test_case_calls.push_back("fantray_oir(" + std::to_string(tray) + ", " + std::to_string(presence) + ", " +
                              ptr(oir_data) + ", " + std::to_string(idprom_access_fail) + ", " + ptr(reason) + ")");
  return 0;
}
void envmon_rm_fan_cb_cleanup(uint32_t tray) { g_test_case_calls.push_back("fan_cb_cleanup(" + std::to_string(tray) + ")"); }
envmon_err_t envmon_inv_invreg_fan_fru_unreg(uint32_t slot) {
  g_test_case_calls.push_back("fan_fru_unreg(" + std::to_string(slot) + ")");
  return 0;
}
void envmon_pwr_mgmt_fantray_oir_ev(uint8_t tray, uint8_t present) {
  g_test_case_calls.push_back("fantray_oir_ev(" + std::to_string(tray) + ", " + std::to_string(present) + ")");
}
envmon_err_t envmon_drvif_rm_init(void) {
  g_test_case_calls.push_back("drvif_rm_init()");
  return 0;
}
}

namespace {

TEST_F(Hooks, TestCasesSimulateFanTrayRemovalAndRestartTheFanDrivers) {
  struct Case {
    uint32_t id;
    std::vector<std::string> calls;
    bool supported;
  };
  auto removal = [&](uint32_t tray) {
    return std::vector<std::string>{
        "fantray_oir(" + std::to_string(tray) + ", 0, " + ptr(&chassis_.fantrays[tray].ceid) + ", 0, " + ptr(nullptr) +
            ")",
        "fan_cb_cleanup(" + std::to_string(tray) + ")",
        "fan_fru_unreg(" + std::to_string(41 + tray) + ")",
        "fantray_oir_ev(" + std::to_string(tray) + ", 0)",
    };
  };
  const Case cases[] = {
      {107, removal(0), true}, {108, removal(1), true}, {109, removal(2), true},
      {110, {"drvif_rm_init()"}, true}, {106, {}, false}, {111, {}, false}, {0, {}, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.id);
    g_test_case_calls.clear();
    tlg_test_clear();
    envmon_hal_run_test_case(c.id);
    EXPECT_EQ(g_test_case_calls, c.calls);
    EXPECT_TRUE(tlg_test_contains("envmon_lib_main",
                                  "envmon_hal_run_test_case: called with test ID=" + std::to_string(c.id) + "\n"));
    EXPECT_EQ(tlg_test_contains("envmon_lib_err",
                                "envmon_hal_run_test_case: test id " + std::to_string(c.id) + " not supported\n"),
              !c.supported);
  }
}

TEST_F(Hooks, FanTrayRemovalNeedsTheFanTrayRecords) {
  chassis_.rm.fantray_cb = nullptr;
  g_test_case_calls.clear();
  envmon_hal_run_test_case(108);
  EXPECT_TRUE(g_test_case_calls.empty());
  EXPECT_TRUE(tlg_test_contains("envmon_lib_err", "envmon_hal_run_test_case: test id 108 not supported\n"));
}

}  // namespace

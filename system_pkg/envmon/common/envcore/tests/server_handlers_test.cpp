// The monitoring service's request handlers as a client sees them, over the
// real service libraries: which requests are answered and how, what each one
// sets off in the server, the client table and the power notifications.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "core_traces.h"
#include "envclient.h"
#include "envcore_fakes.h"
#include "envmon_server.h"
#include "evloop.h"
#include "evloop_test.h"
#include "records_fixture.h"
#include "tlg_test.h"

namespace {

using strings = std::vector<std::string>;

constexpr uint32_t kLoopback = 0x7f000001;
constexpr uint32_t kRpCardType = 0x1f0802;
constexpr uint32_t kOwnSlot = 1;

// One client of the service and every answer and notification it received.
struct client {
  envmon_handle* h = nullptr;
  bool connected = false;
  strings got;  // "resp <id> status <s> [fields]" / "notif <id> [fields]"

  static client* of(envmon_handle* h) { return static_cast<client*>(envmon_get_user_context(h)); }

  void start(evloop_t* loop, const msgpipe_endpoint& server) {
    ASSERT_EQ(envmon_handle_create(&h, loop, this), 0);
    envmon_set_connect_callback(h, [](envmon_handle* hh, int32_t status, void*) {
      if (status == 0) of(hh)->connected = true;
    });
    envmon_set_resp_sensor_value_set_callback(
        h, [](envmon_handle* hh, void*, uint8_t, int32_t status, void*) {
          of(hh)->got.push_back("resp 2 status " + std::to_string(status));
        });
    envmon_set_resp_sensor_fault_set_callback(
        h, [](envmon_handle* hh, void*, uint8_t, int32_t status, void*) {
          of(hh)->got.push_back("resp 3 status " + std::to_string(status));
        });
    envmon_set_resp_register_power_data_callback(
        h, [](envmon_handle* hh, void*, uint8_t, int32_t status, void*) {
          of(hh)->got.push_back("resp 6 status " + std::to_string(status));
        });
    envmon_set_power_budget_callback(
        h, [](envmon_handle* hh, void* p, uint8_t, int32_t status, void*) {
          auto* b = static_cast<power_budget*>(p);
          of(hh)->got.push_back("resp 1 status " + std::to_string(status) + " budget " +
                                std::to_string(b->budget_status) + " slot " +
                                std::to_string(b->eid.slot));
        });
    envmon_set_resp_altitude_value_callback(
        h, [](envmon_handle* hh, void*, uint8_t, int32_t status, void*) {
          of(hh)->got.push_back("resp 11 status " + std::to_string(status));
        });
    envmon_set_notif_sys_pwr_data_callback(h, [](envmon_handle* hh, void* p) {
      auto* n = static_cast<notif_sys_pwr_data*>(p);
      of(hh)->got.push_back("notif 7 usable " + std::to_string(n->usable_pwr) + " modes " +
                            std::to_string(n->cnf_pwr_red_mode) + "/" +
                            std::to_string(n->act_pwr_red_mode));
    });
    envmon_set_notif_fru_pwr_alloc_data_callback(h, [](envmon_handle* hh, void* p) {
      auto* n = static_cast<notif_fru_pwr_alloc_data*>(p);
      of(hh)->got.push_back("notif 8 slot " + std::to_string(n->eid.slot) + " power " +
                            std::to_string(n->power_allocated));
    });
    ASSERT_EQ(envmon_connect_with_endpoint(h, &server, nullptr), 0);
  }
};

class ServerHandlers : public ::testing::Test {
 protected:
  void SetUp() override {
    fakes::reset();
    fakes::open_core_traces();
    fakes::hal().max_clients = 2;
    loop_ = evloop_create("server_handlers_test");
    envmon_evloop = loop_;
    // No directory service here: the servers keep trying to reach one.
    setenv("ENVMON_DS_ENDPOINT", "127.0.0.1:1", 1);
    recs_.emplace();
    envmon_nm_t& nm = recs_->nm();
    nm.card_type = kRpCardType;
    nm.slot_num = kOwnSlot;
    nm.ip_address = kLoopback;
    recs_->rm().svc_role = 1;
    recs_->pwr_mgmt();
    ASSERT_EQ(envmon_server_init(loop_, ENVMON_SCOPE_RACK), 0u);
    msgpipe_get_local_endpoint(envmon_server_get_transport(envmon_svr_hdl[1]), &server_ep_);
    server_ep_.node_address = kLoopback;
    server_ep_.present = MSGPIPE_ENDPOINT_HAS_ADDRESS | MSGPIPE_ENDPOINT_HAS_PORT;
    connect(a_);
  }

  void TearDown() override {
    for (client* c : {&a_, &b_}) {
      if (c->h != nullptr) envmon_handle_destroy(c->h);
    }
    evloop_test_wait_for(loop_, [] { return false; }, 100);
    envmon_server_uninit(ENVMON_SCOPE_RACK);
    evloop_test_wait_for(loop_, [] { return false; }, 50);
    recs_.reset();
    evloop_destroy(loop_);
    envmon_evloop = nullptr;
    unsetenv("ENVMON_DS_ENDPOINT");
  }

  void connect(client& c) {
    c.start(loop_, server_ep_);
    ASSERT_TRUE(evloop_test_wait_for(loop_, [&] { return c.connected; })) << "no handshake";
  }

  // Requests on one connection are handled in order: once the altitude answer
  // that follows them is in, every request sent before it was handled.
  void settle(client& c) {
    size_t n = c.got.size();
    request_altitude_value req{};
    ASSERT_EQ(envmon_request_altitude_value(c.h, &req, nullptr), 0);
    ASSERT_TRUE(evloop_test_wait_for(loop_, [&] {
      return c.got.size() > n && c.got.back() == "resp 11 status 0";
    })) << "the server did not answer";
    c.got.pop_back();
  }

  pelm_eid eid_in(uint32_t slot) {
    pelm_eid e{};
    e.rack = 0;
    e.slot = slot;
    e.present = PELM_EID_HAS_RACK | PELM_EID_HAS_SLOT;
    return e;
  }

  evloop_t* loop_ = nullptr;
  std::optional<fakes::records> recs_;
  msgpipe_endpoint server_ep_{};
  client a_;
  client b_;
};

TEST_F(ServerHandlers, SensorValueSet) {
  struct Case {
    const char* name;
    uint32_t role;
    uint32_t slot;
    uint32_t subtype;
    uint8_t present;
    strings got;
    strings calls;
  };
  const Case cases[] = {
      {"this card's sensor: node scope, slot 0xfffe", 2, kOwnSlot, 25, 0x7, {},
       {"envmon_hal_fan_mgmt_temp_value_change_event(65534,42,3,9,0)",
        "envmon_obfl_nm_log_all(0,0x10000)"}},
      {"rack sensor on the active card", 1, 30, 29, 0x7, {},
       {"envmon_volt_value_change_event(30,42,1)", "envmon_obfl_rm_log_all(30,0,0x3f)"}},
      {"rack sensor on a standby card: refused", 2, 30, 7, 0x7, {"resp 2 status -1"}, {}},
      {"no value", 1, 30, 7, 0x3, {}, {}},
      {"no entity id", 1, 30, 7, 0x6, {}, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    recs_->rm().svc_role = c.role;
    fakes::clear_calls();
    sensor_value req{};
    if (c.present & SENSOR_VALUE_HAS_EID) req.eid = eid_in(c.slot);
    req.subtype = c.subtype;
    req.value = 42;
    req.present = c.present;
    ASSERT_EQ(envmon_sensor_value_set(a_.h, &req, nullptr), 0);
    settle(a_);
    EXPECT_EQ(a_.got, c.got);
    EXPECT_EQ(fakes::calls_of({"envmon_hal_fan_mgmt", "envmon_volt", "envmon_curr", "envmon_obfl"}),
              c.calls);
    EXPECT_EQ(recs_->nm().misc_state & 0x10000u, 0u);
    EXPECT_EQ(recs_->rm().obfl_flags & 0x3fu, 0u);
    a_.got.clear();
  }
  EXPECT_TRUE(tlg_test_contains("envmon_cmn_err", "envmon_server_sensor_value_set_cb no sensor value set\n"));
  EXPECT_TRUE(tlg_test_contains("envmon_cmn_err", "envmon_server_sensor_value_set_cb no eid value set\n"));
}

TEST_F(ServerHandlers, SensorFaultAndOperState) {
  sensor_fault f{};
  f.eid = eid_in(30);
  f.subtype = 29;
  f.fault = 0x4;
  f.present = 0x7;
  ASSERT_EQ(envmon_sensor_fault_set(a_.h, &f, nullptr), 0);
  oper_state o{};
  o.eid = eid_in(kOwnSlot);
  o.subtype = 7;
  o.oper_state = 2;
  o.present = 0x7;
  ASSERT_EQ(envmon_oper_state_set(a_.h, &o, nullptr), 0);
  settle(a_);
  EXPECT_TRUE(a_.got.empty()) << "neither is answered";
  EXPECT_TRUE(fakes::called("envmon_process_drvif_volt_fault(30,0x4,1)"));
  EXPECT_TRUE(fakes::called("envmon_inv_invreg_upd_eid_state(65534,2,1,3)"));
  // On standby the rack-scoped fault is refused with status -1; the oper
  // state is only traced.
  recs_->rm().svc_role = 2;
  fakes::clear_calls();
  ASSERT_EQ(envmon_sensor_fault_set(a_.h, &f, nullptr), 0);
  o.eid = eid_in(30);
  ASSERT_EQ(envmon_oper_state_set(a_.h, &o, nullptr), 0);
  settle(a_);
  EXPECT_EQ(a_.got, strings{"resp 3 status -1"});
  EXPECT_TRUE(fakes::calls().empty());
}

TEST_F(ServerHandlers, PowerBudget) {
  struct Case {
    const char* name;
    bool has_state;
    uint32_t state;
    uint8_t no_tray;
    uint8_t cfg_rcvd;
    uint8_t action;
    strings got;
    strings calls;
  };
  const Case cases[] = {
      {"granted by power management", false, 0, 0, 0, 0,
       {"resp 1 status 0 budget 2 slot 12"}, {"envmon_pwr_mgmt_get_budget(12,0x77,PID-LC,5,6)"}},
      {"answered for state 1, reload info follows", true, 1, 0, 0, 0,
       {"resp 1 status 0 budget 2 slot 12"},
       {"envmon_pwr_mgmt_get_budget(12,0x77,PID-LC,5,6)",
        "envmon_pwr_mgmt_update_card_reload_info(12,0x77,PID-LC,5,6,1)"}},
      {"state 3: no answer, the card is not reloading", true, 3, 0, 0, 0, {},
       {"envmon_pwr_mgmt_update_card_reload_info(12,0x77,PID-LC,5,6,0)"}},
      {"no power tray, actions on", false, 0, 1, 1, 1, {"resp 1 status 0 budget 2 slot 12"}, {}},
      {"no power tray, actions off", false, 0, 1, 1, 0, {"resp 1 status 0 budget 1 slot 12"}, {}},
      {"no power tray, configuration not in", false, 0, 1, 0, 1,
       {"resp 1 status 0 budget 1 slot 12"}, {}},
  };
  fakes::set_result("envmon_pwr_mgmt_get_budget", 2);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    envmon_pwr_mgmt_data_t& pm = *recs_->rm().pwr_mgmt_data;
    pm.no_pt_detected = c.no_tray;
    pm.pwr_mgmt_action_ena = c.action;
    recs_->rm().pwr_cfg.pwr_mgmt_cfg_rcvd = c.cfg_rcvd;
    fakes::clear_calls();
    request_power_budget req{};
    req.eid = eid_in(12);
    req.card_type = 0x77;
    req.pid = const_cast<char*>("PID-LC");
    req.extra1 = 5;
    req.extra2 = 6;
    req.request_state = c.state;
    req.present = 0x1f | (c.has_state ? REQUEST_POWER_BUDGET_HAS_REQUEST_STATE : 0);
    ASSERT_EQ(envmon_request_power_budget(a_.h, &req, nullptr), 0);
    settle(a_);
    EXPECT_EQ(a_.got, c.got);
    EXPECT_EQ(fakes::calls_of({"envmon_pwr_mgmt"}), c.calls);
    a_.got.clear();
  }
}

TEST_F(ServerHandlers, PowerDataGoesToRegisteredClientsOnly) {
  connect(b_);
  recs_->rm().cm_capi_connected = 1;
  register_power_data reg{};
  ASSERT_EQ(envmon_register_power_data(a_.h, &reg, nullptr), 0);
  settle(a_);
  EXPECT_EQ(a_.got, strings{"resp 6 status 0"});
  EXPECT_EQ(fakes::calls_of({"envmon_chk_n_upd", "envmon_fru_power_alloc"}),
            (strings{"envmon_chk_n_upd_system_pwr_data(1)", "envmon_fru_power_alloc_update_all(0)",
                     "envmon_fru_power_alloc_update_all(1)"}));
  // The card manager is connected and no card objects are asked for yet: they
  // are asked for (no card-manager client in this test: refused).
  EXPECT_TRUE(tlg_test_contains("envmon_cmn_pwrm",
                                "called envmon_cm_card_event_register_req, rc = 0xffffffff\n"));
  a_.got.clear();
  // System power: redundancy modes converted, only the registered client told.
  envmon_sys_pwr_data data{};
  data.usable_pwr = 3000;
  data.cnf_pwr_red_mode = 0;
  data.act_pwr_red_mode = 1;
  envmon_server_notify_sys_pwr_data(&data);
  data.cnf_pwr_red_mode = 2;
  data.act_pwr_red_mode = 7;
  envmon_server_notify_sys_pwr_data(&data);
  pelm_eid card = eid_in(12);
  envmon_server_notify_fru_pwr_alloc_data(&card, 150, 1, 3);  // not all card information yet
  recs_->rm().pwr_mgmt_data->all_card_info_rcvd = 1;
  envmon_server_notify_fru_pwr_alloc_data(&card, 160, 1, 3);
  settle(a_);
  settle(b_);
  EXPECT_EQ(a_.got, (strings{"notif 7 usable 3000 modes 3/2", "notif 7 usable 3000 modes 1/1",
                             "notif 8 slot 12 power 160"}));
  EXPECT_TRUE(b_.got.empty());
  EXPECT_TRUE(tlg_test_contains("envmon_cmn_info", "not sent to client"));
}

TEST_F(ServerHandlers, ClientBeyondTheLimit) {
  fakes::hal().max_clients = 1;
  connect(b_);
  EXPECT_EQ(client_count, 1u);
  EXPECT_TRUE(tlg_test_contains("envmon_cmn_err", "client counts exceeded max 1"));
  // Served, but not in the table: no answer to its power-data registration.
  register_power_data reg{};
  ASSERT_EQ(envmon_register_power_data(b_.h, &reg, nullptr), 0);
  settle(b_);
  EXPECT_TRUE(b_.got.empty());
  // Its going away releases its handle (ASan reports it otherwise).
  envmon_handle_destroy(b_.h);
  b_.h = nullptr;
  EXPECT_TRUE(evloop_test_wait_for(loop_, [] {
    return tlg_test_contains("envmon_cmn_err", "requested disconnect, but it was not connected");
  }));
  EXPECT_EQ(client_count, 1u);
}

TEST_F(ServerHandlers, DebugFlags) {
  struct Case {
    uint32_t flag;
    std::vector<uint8_t> switches;  // temp volt curr drvif fan pwr
  };
  const Case cases[] = {
      {14, {0, 0, 0, 0, 0, 0}}, {1, {1, 0, 0, 0, 0, 0}},  {4, {1, 0, 0, 0, 0, 0}},
      {3, {1, 1, 0, 0, 0, 0}},  {7, {1, 1, 0, 1, 0, 0}},  {11, {1, 1, 0, 1, 0, 1}},
      {2, {0, 1, 0, 1, 0, 1}},  {12, {0, 1, 0, 1, 0, 0}}, {0, {0, 1, 0, 1, 0, 0}},
      {15, {0, 1, 0, 1, 0, 0}}, {13, {1, 1, 1, 1, 1, 1}}, {10, {1, 1, 1, 1, 0, 1}},
  };
  envmon_nm_t& nm = recs_->nm();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.flag);
    set_dbg_flag req{};
    req.dbg_flag = c.flag;
    req.present = SET_DBG_FLAG_HAS_DBG_FLAG;
    envmon_server_set_dbg_flag_cb(nullptr, &req, 0);
    EXPECT_EQ((std::vector<uint8_t>{nm.temp_debug, nm.volt_debug, nm.curr_debug, nm.drvif_debug,
                                    nm.fan_debug, nm.pwr_debug}),
              c.switches);
  }
  EXPECT_TRUE(tlg_test_contains("envmon_cmn_err", "envmon_server_set_dbg_flag_cb invalid dbg flag 15\n"));
}

TEST_F(ServerHandlers, RequestsWithoutPayload) {
  // A request whose header carried a negative status reaches its handler
  // without a payload: treated as one with every field absent.
  envmon_server_sensor_value_set_cb(nullptr, nullptr, 1);
  envmon_server_sensor_fault_set_cb(nullptr, nullptr, 1);
  envmon_server_oper_state_set_cb(nullptr, nullptr);
  envmon_server_run_test_cb(nullptr, nullptr, 1);
  envmon_server_set_dbg_flag_cb(nullptr, nullptr, 1);
  envmon_server_temp_monitoring_cb(nullptr, nullptr, 1);
  envmon_server_fan_timer_disable_cb(nullptr, nullptr);
  envmon_rm_server_request_power_budget_cb(nullptr, nullptr, 1);
  EXPECT_TRUE(tlg_test_contains("envmon_cmn_err", "envmon_server_sensor_value_set_cb no sensor value set\n"));
  EXPECT_TRUE(tlg_test_contains("envmon_cmn_err", "envmon_server_sensor_fault_set_cb no fault set\n"));
  EXPECT_TRUE(tlg_test_contains("envmon_cmn_err", "envmon_server_oper_state_set_cb no oper state set\n"));
  EXPECT_TRUE(tlg_test_contains("envmon_cmn_err", "envmon_server_run_test_cb no test id sent\n"));
  EXPECT_TRUE(fakes::calls().empty());
}

TEST_F(ServerHandlers, SmallRequests) {
  run_test t{};
  t.test_id = 108;
  t.present = RUN_TEST_HAS_TEST_ID;
  ASSERT_EQ(envmon_run_test(a_.h, &t, nullptr), 0);
  temp_monitoring m{};
  m.disable = 1;
  m.present = TEMP_MONITORING_HAS_DISABLE;
  ASSERT_EQ(envmon_hw_temp_monitoring(a_.h, &m, nullptr), 0);
  timer_disable d{};
  d.disable = 1;
  d.present = TIMER_DISABLE_HAS_DISABLE;
  ASSERT_EQ(envmon_fan_timer_disable(a_.h, &d, nullptr), 0);
  settle(a_);
  EXPECT_TRUE(a_.got.empty());
  EXPECT_TRUE(fakes::called("envmon_hal_run_test_case(108)"));
  EXPECT_TRUE(fakes::called("envmon_hal_fan_timer_disable(1)"));
  EXPECT_EQ(recs_->nm().disable_temp_monitoring, 1);
}

class DumpDebug : public ServerHandlers {
 protected:
  void SetUp() override {
    char dir[] = "/tmp/envcore_dump_XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    root_ = dir;
    mkdir((root_ + "/tmp").c_str(), 0700);
    setenv("ENVMON_ROOT", root_.c_str(), 1);
    ServerHandlers::SetUp();
  }
  void TearDown() override {
    ServerHandlers::TearDown();
    unsetenv("ENVMON_ROOT");
    std::string cmd = "rm -rf '" + root_ + "'";
    ASSERT_EQ(system(cmd.c_str()), 0);
  }
  std::string read_dump() {
    std::ifstream f(root_ + "/tmp/envmon_dump");
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
  }
  std::string root_;
};

TEST_F(DumpDebug, RouteProcessorDumpsBothRecords) {
  dump_debug req{};
  ASSERT_EQ(envmon_dump_debug(a_.h, &req, nullptr), 0);
  settle(a_);
  EXPECT_TRUE(a_.got.empty()) << "never answered";
  const std::string dump = read_dump();
  EXPECT_NE(dump.find("slot_num"), std::string::npos) << dump;
  EXPECT_TRUE(fakes::called("envmon_hal_fan_mgmt_dump_data_structures()"));
  EXPECT_TRUE(fakes::called("envmon_hal_pwr_mgmt_dump_data()"));
  EXPECT_EQ(env_dump_fd, nullptr);
  struct stat st {};
  ASSERT_EQ(stat((root_ + "/tmp/envmon_dump").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
}

TEST_F(DumpDebug, OtherCardsDumpTheirOwnRecordOnly) {
  recs_->nm().card_type = 0x520d;
  dump_debug req{};
  ASSERT_EQ(envmon_dump_debug(a_.h, &req, nullptr), 0);
  settle(a_);
  EXPECT_FALSE(fakes::called("envmon_hal_fan_mgmt_dump_data_structures()"));
  EXPECT_NE(read_dump().find("slot_num"), std::string::npos);
}

TEST_F(DumpDebug, LinkAtTheDumpPathIsNotFollowed) {
  const std::string victim = root_ + "/victim";
  { std::ofstream(victim) << "keep"; }
  ASSERT_EQ(symlink(victim.c_str(), (root_ + "/tmp/envmon_dump").c_str()), 0);
  dump_debug req{};
  ASSERT_EQ(envmon_dump_debug(a_.h, &req, nullptr), 0);
  settle(a_);
  EXPECT_TRUE(tlg_test_contains("envmon_cmn_err", "Failed to create /tmp/envmon_dump\n"));
  std::ifstream f(victim);
  std::string content;
  f >> content;
  EXPECT_EQ(content, "keep");
}

}  // namespace

// The models inside the test process, on its event loop, reached by the
// families' client libraries over the real transport.
#include <gtest/gtest.h>

#include <stdlib.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <vector>

#include "card_mgr.h"
#include "cdb.h"
#include "envsim_sim.h"
#include "evloop.h"
#include "invreg.h"
#include "nodeid.h"
#include "platform_local.h"
#include "pm.h"
#include "provd.h"
#include "ship.h"
#include "sim_clock.h"
#include "zul_errmsg.h"

namespace {

constexpr uint32_t kBoundMs = 10000;

class ModelsInProcess : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/envsim_models_XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    root_ = tmpl;
    setenv("ENVMON_ROOT", root_.c_str(), 1);
    // No directory service: the services are found in this process.
    setenv("ENVMON_DS_ENDPOINT", "127.0.0.1:1", 1);
    unsetenv("ENVMON_CARD_ADDR");
    loop_ = evloop_create("test");
    ASSERT_NE(loop_, nullptr);
  }

  void TearDown() override {
    sim_.reset();
    evloop_run_until_idle(loop_);
    evloop_destroy(loop_);
    rmdir(root_.c_str());
    sim_clock_use_real();
  }

  void start(const char* file = "tavrin_default.json") {
    envsim::ChassisDesc desc;
    std::vector<std::string> errors;
    ASSERT_TRUE(envsim::chassis_load(std::string(ENVSIM_DATA_DIR) + "/" + file, &desc, &errors));
    envsim::Options o;
    o.instance = simsvc::instance_from_root(root_.c_str());
    std::string error;
    sim_ = envsim::Simulator::create(loop_, std::move(desc), o, &error);
    ASSERT_NE(sim_, nullptr) << error;
  }

  template <typename Pred>
  bool run_until(Pred pred) {
    struct Ctx {
      Pred* p;
    } ctx{&pred};
    return evloop_run_until(
               loop_, [](void* a) { return (*static_cast<Ctx*>(a)->p)() ? 1 : 0; }, &ctx,
               kBoundMs) == 0;
  }

  envsim::Result command(const std::vector<std::string>& args) {
    bool done = false;
    envsim::Result result;
    sim_->execute(args, 1, [&](envsim::Result r) {
      result = std::move(r);
      done = true;
    });
    EXPECT_TRUE(run_until([&] { return done; })) << "command did not finish: " << args[0];
    return result;
  }

  // Waits until `show model` has a line with every fragment.
  void expect_state(const std::string& model, const std::vector<std::string>& fragments) {
    std::vector<std::string> args = {"wait", model};
    args.insert(args.end(), fragments.begin(), fragments.end());
    bool done = false;
    sim_->execute(args, 7, [&](envsim::Result) { done = true; });
    if (!run_until([&] { return done; })) {
      sim_->forget_requester(7);
      ADD_FAILURE() << "state of " << model << " never showed the expected line; it is:\n"
                    << command({"show", model}).text;
    }
  }

  std::string root_;
  evloop_t* loop_ = nullptr;
  std::unique_ptr<envsim::Simulator> sim_;
};

// ---------------------------------------------------------------------------

struct PmSeen {
  int connects = 0;
  std::vector<std::pair<int32_t, uint32_t>> roles;  // role, id
  std::vector<std::pair<int32_t, uint32_t>> updates;
  int liveness = 0;
  std::string service;
};

TEST_F(ModelsInProcess, ProcessManagerRolesUpdatesAndLiveness) {
  sim_clock_use_fake(1000000000ull);
  start();
  pm_handle_t h = nullptr;
  ASSERT_EQ(pm_handle_create(&h, loop_, 0), 0);
  PmSeen seen;
  pm_set_connect_callback(h, [](pm_handle_t, int32_t status, void* ctx) {
    if (status == 0) static_cast<PmSeen*>(ctx)->connects++;
  });
  static PmSeen* current = nullptr;
  current = &seen;
  pm_set_service_control_callback(h, [](pm_handle_t hh, pm_service_control_msg* m, uint32_t id) {
    current->roles.push_back({m->role, id});
    current->service = m->service_name;
    pm_accept_role_msg a{};
    msgcodec_pm_accept_role_msg_clear(&a);
    a.service_name = m->service_name;
    a.role = m->role;
    msgcodec_set_bit(&a.present, 0);
    msgcodec_set_bit(&a.present, 1);
    EXPECT_EQ(pm_service_accept_role(hh, &a, 0, id), 0);
    if (m->role == 2) {
      pm_ha_ready_msg r{};
      msgcodec_pm_ha_ready_msg_clear(&r);
      r.service_name = m->service_name;
      msgcodec_set_bit(&r.present, 0);
      EXPECT_EQ(pm_lib_service_ha_ready(hh, &r), 0);
    }
  });
  pm_set_process_update_callback(h, [](pm_handle_t hh, pm_process_update_event_msg* m,
                                       uint32_t id) {
    current->updates.push_back({m->event_type, id});
    pm_process_update_event_resp r{};
    msgcodec_pm_process_update_event_resp_clear(&r);
    r.event_type = m->event_type;
    r.status = 1;
    msgcodec_set_bit(&r.present, 0);
    msgcodec_set_bit(&r.present, 1);
    EXPECT_EQ(pm_process_update_event_response(hh, &r, 1, 0, id), 0);
  });
  pm_set_liveness_callback(h, [](pm_handle_t, uint64_t* status, void*) {
    current->liveness++;
    *status = 0;
  });
  ASSERT_EQ(pm_connect(h, &seen), 0);

  // Without a card address the client is the first route processor, active.
  ASSERT_TRUE(run_until([&] { return !seen.roles.empty(); }));
  EXPECT_EQ(seen.connects, 1);
  EXPECT_EQ(seen.roles[0].first, 1);
  EXPECT_FALSE(seen.service.empty());
  expect_state("pm", {"slot=0", "role=1", "accepted=1", "ha_ready=0"});

  EXPECT_EQ(command({"role", "0", "standby"}).status, 0);
  ASSERT_TRUE(run_until([&] { return seen.roles.size() == 2; }));
  EXPECT_EQ(seen.roles[1].first, 2);
  EXPECT_NE(seen.roles[1].second, seen.roles[0].second) << "each service control has its own id";
  expect_state("pm", {"slot=0", "role=2", "accepted=2", "ha_ready=1"});

  EXPECT_EQ(command({"pm", "update", "0", "CARD_OFFLINE"}).status, 0);
  ASSERT_TRUE(run_until([&] { return !seen.updates.empty(); }));
  EXPECT_EQ(seen.updates[0].first, 2);
  expect_state("pm", {"slot=0", "update=CARD_OFFLINE", "update_status=1"});

  // Liveness is asked on the simulator's clock, not on the wall clock.
  EXPECT_EQ(seen.liveness, 0);
  sim_clock_advance_ms(30000);
  ASSERT_TRUE(run_until([&] { return seen.liveness == 1; }));
  expect_state("pm", {"slot=0", "liveness=0", "liveness_queries=1"});

  pm_handle_destroy(h);
  current = nullptr;
}

// ---------------------------------------------------------------------------

struct CardSeen {
  bool node_up = false;
  bool rack_up = false;
  bool cm_up = false;
  std::vector<std::string> infos;
  int registered = -1;
  std::vector<std::vector<std::string>> notes;  // per notification: "slot:event:state"
};

std::string card_text(const card_mgr_cardinfo_msg* m) {
  char buf[160];
  snprintf(buf, sizeof buf, "slot=%u pi=%u type=0x%x pid=%s hw=%u.%u", m->slot, m->pi_card_type,
           m->card_type, m->pid ? m->pid : "-", m->hw_ver_major, m->hw_ver_minor);
  return buf;
}

TEST_F(ModelsInProcess, CardManagerInformationAndCardEvents) {
  setenv("ENVMON_CARD_ADDR", "127.1.0.11", 1);  // the first line card, slot 10
  start();
  static CardSeen* seen = nullptr;
  CardSeen s;
  seen = &s;
  card_mgr_node_handle_t node = nullptr;
  card_mgr_rack_handle_t rack = nullptr;
  cm_handle_t cm = nullptr;
  ASSERT_EQ(card_mgr_node_handle_create(&node, loop_, 0), 0);
  ASSERT_EQ(card_mgr_rack_handle_create(&rack, loop_, 0), 0);
  ASSERT_EQ(cm_handle_create(&cm, loop_, 0), 0);
  card_mgr_node_set_connect_callback(node, [](card_mgr_node_handle_t, int32_t e, void*) {
    seen->node_up = e == 0;
  });
  card_mgr_rack_set_connect_callback(rack, [](card_mgr_rack_handle_t, int32_t e, void*) {
    seen->rack_up = e == 0;
  });
  cm_set_connect_callback(cm, [](cm_handle_t, int32_t e, void*) { seen->cm_up = e == 0; });
  int cookie = 0;
  card_mgr_node_set_cardinfo_callback(
      node, [](card_mgr_node_handle_t, card_mgr_cardinfo_msg* m, void* c, int32_t err, void*) {
        ASSERT_EQ(err, 0);
        seen->infos.push_back(card_text(m) + (c != nullptr ? " cookie" : ""));
      });
  card_mgr_rack_set_chassisinfo_callback(
      rack, [](card_mgr_rack_handle_t, card_mgr_chassisinfo_msg* m, void*, int32_t err, void*) {
        ASSERT_EQ(err, 0);
        char buf[96];
        snprintf(buf, sizeof buf, "chassis=0x%x serial=%s", m->pd_chassis_type, m->serial);
        seen->infos.push_back(buf);
      });
  cm_set_object_registered_callback(
      cm, [](cm_handle_t, cm_object_register_resp* r, void*, int32_t status, void*) {
        seen->registered = status == 0 ? r->result : -100;
      });
  cm_set_notify_object_data_callback(cm, [](cm_handle_t, cm_object_data_msg* m) {
    std::vector<std::string> cards;
    for (uint32_t i = 0; i < m->card_info_count; ++i) {
      const cm_card_info& c = m->card_info[i];
      ASSERT_EQ(c.card_loc_count, 1u);
      cards.push_back(std::to_string(c.card_loc[0].slot) + ":" + std::to_string(c.event_type) +
                      ":" + std::to_string(c.card_state) + ":" + std::to_string(c.card_type));
    }
    seen->notes.push_back(cards);
  });
  ASSERT_EQ(card_mgr_node_connect(node, nullptr), 0);
  ASSERT_EQ(card_mgr_rack_connect(rack, nullptr), 0);
  ASSERT_EQ(cm_connect(cm, nullptr), 0);
  ASSERT_TRUE(run_until([&] { return s.node_up && s.rack_up && s.cm_up; }));

  EXPECT_EQ(card_mgr_node_get_cardinfo(node, &cookie, 0), 0);
  ASSERT_TRUE(run_until([&] { return s.infos.size() == 1; }));
  EXPECT_EQ(s.infos[0], "slot=10 pi=0 type=0x6978 pid=TVR-LC-36X100 hw=2.0 cookie");
  EXPECT_EQ(card_mgr_rack_get_chassisinfo(rack, nullptr, 0), 0);
  ASSERT_TRUE(run_until([&] { return s.infos.size() == 2; }));
  EXPECT_EQ(s.infos[1], "chassis=0x60010000 serial=TVC2301A0B7");

  cm_card_obj_filter filter{};
  msgcodec_cm_card_obj_filter_clear(&filter);
  filter.all_cards = 1;
  msgcodec_set_bit(&filter.present, 3);
  cm_object_register_req req{};
  msgcodec_cm_object_register_req_clear(&req);
  req.card_filter = &filter;
  req.card_filter_count = 1;
  msgcodec_set_bit(&req.present, 0);
  ASSERT_EQ(cm_object_register(cm, &req, 0), 0);
  ASSERT_TRUE(run_until([&] { return s.registered == 0 && s.notes.size() == 1; }));
  ASSERT_EQ(s.notes[0].size(), 8u) << "every card of the chassis as it is";
  EXPECT_EQ(s.notes[0][0], "0:1:3:1");   // route processor, up
  EXPECT_EQ(s.notes[0][4], "10:1:3:0");  // line card

  struct Step {
    std::vector<std::string> cmd;
    const char* note;
  };
  const Step kSteps[] = {
      {{"card", "remove", "12"}, "12:2:3:0"},
      {{"card", "insert", "12"}, "12:1:3:0"},
      {{"card", "state", "4", "1"}, "4:1:1:3"},  // fabric card down
  };
  for (const auto& step : kSteps) {
    SCOPED_TRACE(step.cmd[1]);
    const size_t before = s.notes.size();
    EXPECT_EQ(command(step.cmd).status, 0);
    ASSERT_TRUE(run_until([&] { return s.notes.size() == before + 1; }));
    ASSERT_EQ(s.notes.back().size(), 1u);
    EXPECT_EQ(s.notes.back()[0], step.note);
  }
  EXPECT_EQ(command({"card", "remove", "12"}).status, 0);
  EXPECT_EQ(command({"card", "remove", "12"}).status, 1) << "a removed card cannot go again";
  EXPECT_EQ(command({"card", "insert", "30"}).status, 2) << "no card in that slot";
  expect_state("card_mgr", {"slot=10", "registered=yes", "notifications=5"});
  expect_state("card_mgr", {"slot=10", "cardinfo_requests=1"});
  expect_state("chassis", {"slot=12", "present=no"});

  card_mgr_node_handle_destroy(node);
  card_mgr_rack_handle_destroy(rack);
  cm_handle_destroy(cm);
  seen = nullptr;
}

// ---------------------------------------------------------------------------

struct PlSeen {
  bool up = false;
  int reg_code = -1;
  std::string location;
  int32_t fields[4] = {-1, -1, -1, -1};
  uint32_t address = 0;
};

TEST_F(ModelsInProcess, PlatformLocalNodeIdAndAddress) {
  setenv("ENVMON_CARD_ADDR", "127.1.0.2", 1);  // the second route processor
  start();
  static PlSeen* seen = nullptr;
  PlSeen s;
  seen = &s;
  platform_local_handle_t h = nullptr;
  ASSERT_EQ(platform_local_handle_create(&h, loop_, nullptr), 0);
  platform_local_set_connect_callback(h, [](platform_local_handle_t hh, int32_t status, void*) {
    seen->up = status == 0;
    platform_local_client_hello hello{};
    msgcodec_platform_local_client_hello_clear(&hello);
    hello.client_name = const_cast<char*>("envmon");
    msgcodec_set_bit(&hello.present, 0);
    platform_local_client_hi(hh, &hello);
    platform_local_reg_req req{};
    msgcodec_platform_local_reg_req_clear(&req);
    platform_local_register_for_my_nodeid(hh, &req, nullptr);
    platform_local_register_for_my_ip_address(hh, &req, nullptr);
  });
  platform_local_set_nodeid_registration_resp_callback(
      h, [](platform_local_handle_t, void*, void*, int32_t code) { seen->reg_code = code; });
  platform_local_set_nodeid_callback(
      h, [](platform_local_handle_t, nodeid_td node, void*, int32_t status, void*) {
        ASSERT_EQ(status, 0);
        char text[32];
        ASSERT_EQ(nodeid_to_str_external(node, text, sizeof text), NODEID_OK);
        seen->location = text;
        nodeid_extract_fields2(node, &seen->fields[0], &seen->fields[1], &seen->fields[2],
                               &seen->fields[3], nullptr);
      });
  platform_local_set_ip_address_callback(
      h, [](platform_local_handle_t, uint32_t* address) { seen->address = *address; });
  ASSERT_EQ(platform_local_connect(h, nullptr), 0);
  ASSERT_TRUE(run_until([&] { return !s.location.empty() && s.address != 0; }));
  EXPECT_EQ(s.reg_code, 0);
  EXPECT_EQ(s.location, "0/RP1");
  EXPECT_EQ(s.fields[2], NODEID_SLOT_RP);
  EXPECT_EQ(s.fields[3], 1);
  EXPECT_EQ(s.address, 0x7f010002u);
  expect_state("platform_local",
               {"slot=1", "hello=envmon", "nodeid=0/RP1", "address=127.1.0.2"});
  platform_local_handle_destroy(h);
  seen = nullptr;
}

// ---------------------------------------------------------------------------

struct ConfigSeen {
  std::vector<std::string> env;  // what each environment pass read
  int power_passes = 0;
};

uint64_t pull(void* arg, int cfg, void* cookie, uint32_t) {
  auto* seen = static_cast<ConfigSeen*>(arg);
  EXPECT_EQ(cdb_set_namespace(cfg, 0x6493164f), 0);
  if (*static_cast<uint32_t*>(cookie) == 2) {
    seen->power_passes++;
    return 0;
  }
  uint32_t alt = 0;
  const int rc = cdb_get_u_int32(cfg, &alt, "/environment/config/router/altitude/all/num_meters");
  const int disabled = cdb_exists(cfg, "%s/rack_loc/all", "/environment/config/fan-ctrl/disable");
  seen->env.push_back((rc == 0 ? std::to_string(alt) : "none") + (disabled ? " fan-off" : ""));
  return 0;
}

TEST_F(ModelsInProcess, ConfigurationNamespacesAndChanges) {
  start();
  ConfigSeen s;
  provd_handle_t h = nullptr;
  ASSERT_EQ(provd_handle_create(&h, loop_, "envmon", nullptr, &s), 0);
  uint32_t env_ns = 1;
  uint32_t pwr_ns = 2;
  ASSERT_EQ(provd_conf_register_namespace(h, &env_ns, pull, 0x6493164f, "/environment/config"),
            0u);
  ASSERT_EQ(provd_conf_register_namespace(h, &pwr_ns, pull, 0x6493164f, "/power-mgmt/config"),
            0u);
  ASSERT_EQ(provd_conf_activate(h), 0);
  EXPECT_EQ(provd_conf_register_namespace(h, &env_ns, pull, 0x6493164f, "/x"), 114u)
      << "no namespace after activation";
  // Each namespace is called back once after activation.
  ASSERT_TRUE(run_until([&] { return s.env.size() == 1 && s.power_passes == 1; }));
  EXPECT_EQ(s.env[0], "500");

  struct Step {
    std::vector<std::string> cmd;
    const char* read;
  };
  const Step kSteps[] = {
      {{"config", "set", "/environment/config/router/altitude/all/num_meters", "1200"}, "1200"},
      {{"config", "set", "/environment/config/fan-ctrl/disable/rack_loc/all"}, "1200 fan-off"},
      {{"config", "delete", "/environment/config/router"}, "none fan-off"},
  };
  for (const auto& step : kSteps) {
    SCOPED_TRACE(step.read);
    const size_t before = s.env.size();
    EXPECT_EQ(command(step.cmd).status, 0);
    ASSERT_TRUE(run_until([&] { return s.env.size() == before + 1; }));
    EXPECT_EQ(s.env.back(), step.read);
  }
  // A change elsewhere calls no one back.
  EXPECT_EQ(command({"config", "set", "/power-mgmt/config/action/disable/rack_loc/all"}).status, 0);
  ASSERT_TRUE(run_until([&] { return s.power_passes == 2; }));
  EXPECT_EQ(s.env.size(), 4u);
  expect_state("config", {"namespace=/environment/config", "pushes=4", "callbacks=4",
                          "last_result=0"});
  expect_state("config", {"key=/environment/config/fan-ctrl/disable/rack_loc/all"});
  EXPECT_EQ(command({"config", "delete", "/nothing/here"}).status, 1);
  EXPECT_EQ(command({"config", "set", "/bad//path", "1"}).status, 2);
  EXPECT_EQ(provd_conf_shutdown(h), 0);
  provd_handle_destroy(h);
}

// ---------------------------------------------------------------------------

TEST_F(ModelsInProcess, StatisticsAndSyslogFromThisProcess) {
  start();
  ship_counter_def defs[] = {{"Connect", 0}, {"Disconnect", 0}, {"CardInfo", 0}};
  uint32_t* block = nullptr;
  ASSERT_EQ(ship_register("ENVMON_DRVIF", "DRVIF_Oper_Counters", "envmon", 1, 0, defs, 3, &block),
            SHIP_OK);
  block[0] = 3;
  block[2 * SHIP_WORDS_PER_COUNTER] = 9;
  expect_state("statistics", {"table=DRVIF_Oper_Counters", "Connect=3", "Disconnect=0",
                              "CardInfo=9"});
  block[SHIP_WORDS_PER_COUNTER] = 4;
  expect_state("statistics", {"table=DRVIF_Oper_Counters", "Disconnect=4"});

  static const zul_msg_rec rec = {nullptr, "Unsupported Fan Tray (Location: %s, PID: %s, "
                                  "Controller Type: 0x%x)",
                                  nullptr, "ENVMON", "LIB", "UNSUPPORTED_FAN_TRAY", 3u << 16,
                                  {}, 0x14de0001, 0};
  zul_errmsg(&rec, 3, "0/FT1", "TVR-FAN-8S-V2", 0xab040002u);
  expect_state("syslog", {"code=0x14de0001", "severity=3",
                          "text=%ENVMON-LIB-3-UNSUPPORTED_FAN_TRAY : Unsupported Fan Tray "
                          "(Location: 0/FT1, PID: TVR-FAN-8S-V2, Controller Type: 0xab040002)"});
  ship_reset();
}

TEST_F(ModelsInProcess, InventoryKeepsWhatARegistrationClientRegistered) {
  start();
  invreg_handle_t* h = nullptr;
  ASSERT_EQ(invreg_handle_create(&h, loop_, 0), INVREG_OK);
  bool connected = false;
  invreg_set_connect_callback(h, [](invreg_handle_t*, uint32_t error, void* ctx) {
    *static_cast<bool*>(ctx) = error == 0;
  });
  ASSERT_EQ(invreg_connect(h, &connected), INVREG_OK);
  ASSERT_TRUE(run_until([&] { return connected; })) << "no connection to the inventory model";
  pelm_tsi levels[2] = {{5, 5, 1}, {8, 25, 1}};
  pelm_eid eid{};
  eid.rack = 0xfffe;
  eid.slot = 40;
  eid.tsi = levels;
  eid.tsi_count = 2;
  eid.present = 0x26;
  invreg_eid_list_req req{&eid, 1, 0x1};
  ASSERT_EQ(invreg_register_eid(h, &req, 1), INVREG_OK);
  expect_state("inventory", {"entity=65534/40_TSI:_5/5/1_8/25/1", "scope=1", "registered=1"});
  invreg_handle_destroy(h);
}

TEST(SimulatorLines, WholeWordMatching) {
  struct Case {
    const char* name;
    const char* text;
    std::vector<std::string> words;
    bool match;
  };
  const Case kCases[] = {
      {"all words on one line", "pm client=1 slot=0 role=1\n", {"slot=0", "role=1"}, true},
      {"words on different lines", "a slot=0\nb role=1\n", {"slot=0", "role=1"}, false},
      {"prefix of a word", "card slot=10 present=yes\n", {"slot=1"}, false},
      {"text with blanks", "syslog text=%A-B : hello world x\n", {"hello world"}, true},
      {"end of a word", "x client=11\n", {"ient=11"}, false},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(envsim::lines_match(c.text, c.words), c.match);
  }
}

}  // namespace

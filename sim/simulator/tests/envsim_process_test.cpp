// The simulator as its own process (envsim start/stop), the directory
// service as its own, and this test process as a client of every first model
// through the families' libraries; the effects are read back with `envsim`.
#include <gtest/gtest.h>

#include <ftw.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "card_mgr.h"
#include "cdb.h"
#include "envsim_proc.h"
#include "evloop.h"
#include "nodeid.h"
#include "platform_local.h"
#include "pm.h"
#include "provd.h"
#include "ship.h"
#include "simsvc.h"
#include "zul_errmsg.h"

namespace {

using envsim_test::Proc;

const std::string kData = ENVSIM_DATA_DIR;

int remove_entry(const char* path, const struct stat*, int, FTW*) { return remove(path); }

// Gone: no such process, or one that ended and waits to be reaped.
bool gone(pid_t pid) {
  if (kill(pid, 0) != 0) return true;
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string line;
  std::getline(stat, line);
  const auto p = line.rfind(')');
  return p != std::string::npos && p + 2 < line.size() && line[p + 2] == 'Z';
}

std::string make_root() {
  char tmpl[] = "/tmp/envsim_e2e_XXXXXX";
  return mkdtemp(tmpl) != nullptr ? simsvc::instance_from_root(tmpl) : std::string();
}

class EnvsimProcesses : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = make_root();
    ASSERT_FALSE(root_.empty());
    dsd_ = std::make_unique<Proc>(std::vector<std::string>{DSD_PROGRAM, "--endpoint",
                                                           "127.0.0.1:0"});
    const std::string line = dsd_->wait_line("listening on ");
    ASSERT_FALSE(line.empty()) << "the directory service did not start:\n" << dsd_->output();
    ds_endpoint_ = line.substr(line.find("listening on ") + 13);
    setenv("ENVMON_DS_ENDPOINT", ds_endpoint_.c_str(), 1);
    setenv("ENVMON_ROOT", root_.c_str(), 1);
    unsetenv("ENVMON_CARD_ADDR");
    loop_ = evloop_create("test");
    ASSERT_NE(loop_, nullptr);
  }

  void TearDown() override {
    for (const auto& r : started_) stop_and_check(r);
    evloop_run_until_idle(loop_);
    evloop_destroy(loop_);
    if (dsd_) {
      EXPECT_EQ(dsd_->stop(SIGTERM), 0);
    }
    for (const auto& r : roots_) nftw(r.c_str(), remove_entry, 16, FTW_DEPTH | FTW_PHYS);
    nftw(root_.c_str(), remove_entry, 16, FTW_DEPTH | FTW_PHYS);
  }

  // Runs `envsim --root root ARGS...`, keeping the test's loop running; the exit status.
  int envsim(const std::vector<std::string>& args, std::string* out = nullptr,
             const std::string& root = "") {
    std::vector<std::string> argv = {ENVSIM_PROGRAM, "--root", root.empty() ? root_ : root};
    argv.insert(argv.end(), args.begin(), args.end());
    Proc p(argv);
    const int rc = p.wait(loop_);
    if (out != nullptr) *out = p.output();
    return rc;
  }

  void start(const std::string& chassis, const std::string& root = "") {
    std::string out;
    ASSERT_EQ(envsim({"--chassis", kData + "/" + chassis, "--fake-clock", "start"}, &out, root), 0)
        << out;
    started_.push_back(root.empty() ? root_ : root);
  }

  // Waits until `show MODEL` has a line with every word.
  void expect_state(const std::string& model, const std::vector<std::string>& words,
                    const std::string& root = "") {
    std::vector<std::string> args = {"wait", "--timeout", "10000", model};
    args.insert(args.end(), words.begin(), words.end());
    std::string out;
    EXPECT_EQ(envsim(args, &out, root), 0) << out;
  }

  template <typename Pred>
  bool run_until(Pred pred) {
    struct Ctx {
      Pred* p;
    } ctx{&pred};
    return evloop_run_until(
               loop_, [](void* a) { return (*static_cast<Ctx*>(a)->p)() ? 1 : 0; }, &ctx,
               envsim_test::kBoundMs) == 0;
  }

  // Stops the simulator of `root` and checks that nothing of it stays.
  void stop_and_check(const std::string& root) {
    std::ifstream in(root + "/run/envsim/control");
    std::string endpoint;
    long pid = 0;
    in >> endpoint >> pid;
    std::string out;
    EXPECT_EQ(envsim({"stop"}, &out, root), 0) << out;
    struct stat st {};
    EXPECT_NE(stat((root + "/run").c_str(), &st), 0) << "run folder left behind in " << root;
    if (pid > 0) {
      EXPECT_TRUE(gone(static_cast<pid_t>(pid))) << "simulator still running";
    }
  }

  std::string root_;
  std::string ds_endpoint_;
  std::vector<std::string> started_;
  std::vector<std::string> roots_;
  std::unique_ptr<Proc> dsd_;
  evloop_t* loop_ = nullptr;
};

// ---------------------------------------------------------------------------

struct PmSeen {
  std::vector<int32_t> roles;
  std::vector<int32_t> updates;
  int liveness = 0;
};
PmSeen* g_pm = nullptr;

void pm_answering_client(pm_handle_t* out, evloop_t* loop, PmSeen* seen) {
  g_pm = seen;
  ASSERT_EQ(pm_handle_create(out, loop, 0), 0);
  pm_set_service_control_callback(*out, [](pm_handle_t h, pm_service_control_msg* m,
                                           uint32_t id) {
    g_pm->roles.push_back(m->role);
    pm_accept_role_msg a{};
    msgcodec_pm_accept_role_msg_clear(&a);
    a.service_name = m->service_name;
    a.role = m->role;
    msgcodec_set_bit(&a.present, 0);
    msgcodec_set_bit(&a.present, 1);
    pm_service_accept_role(h, &a, 0, id);
    if (m->role == 2) {
      pm_ha_ready_msg r{};
      msgcodec_pm_ha_ready_msg_clear(&r);
      r.service_name = m->service_name;
      msgcodec_set_bit(&r.present, 0);
      pm_lib_service_ha_ready(h, &r);
    }
  });
  pm_set_process_update_callback(*out, [](pm_handle_t h, pm_process_update_event_msg* m,
                                          uint32_t id) {
    g_pm->updates.push_back(m->event_type);
    pm_process_update_event_resp r{};
    msgcodec_pm_process_update_event_resp_clear(&r);
    r.event_type = m->event_type;
    r.status = 1;
    msgcodec_set_bit(&r.present, 0);
    msgcodec_set_bit(&r.present, 1);
    pm_process_update_event_response(h, &r, 1, 0, id);
  });
  pm_set_liveness_callback(*out, [](pm_handle_t, uint64_t* status, void*) {
    g_pm->liveness++;
    *status = 0;
  });
  ASSERT_EQ(pm_connect(*out, nullptr), 0);
}

TEST_F(EnvsimProcesses, ProcessManagerFromAnotherProcess) {
  start("tavrin_default.json");
  setenv("ENVMON_CARD_ADDR", "127.1.0.2", 1);  // the standby route processor
  PmSeen seen;
  pm_handle_t h = nullptr;
  pm_answering_client(&h, loop_, &seen);
  ASSERT_TRUE(run_until([&] { return !seen.roles.empty(); }));
  EXPECT_EQ(seen.roles[0], 2);
  expect_state("pm", {"slot=1", "role=2", "accepted=2", "ha_ready=1"});

  EXPECT_EQ(envsim({"role", "1", "active"}), 0);
  ASSERT_TRUE(run_until([&] { return seen.roles.size() == 2; }));
  EXPECT_EQ(seen.roles[1], 1);
  expect_state("pm", {"slot=1", "role=1", "accepted=1"});

  EXPECT_EQ(envsim({"pm", "update", "1", "CARD_SHUTDOWN"}), 0);
  ASSERT_TRUE(run_until([&] { return !seen.updates.empty(); }));
  EXPECT_EQ(seen.updates[0], 1);
  expect_state("pm", {"slot=1", "update=CARD_SHUTDOWN", "update_status=1"});

  // The liveness period passes on the simulator's clock only.
  EXPECT_EQ(envsim({"clock", "advance", "29999"}), 0);
  expect_state("pm", {"slot=1", "liveness_queries=0"});
  EXPECT_EQ(envsim({"clock", "advance", "1"}), 0);
  ASSERT_TRUE(run_until([&] { return seen.liveness == 1; }));
  expect_state("pm", {"slot=1", "liveness=0", "liveness_queries=1"});
  pm_handle_destroy(h);
  expect_state("chassis", {"slot=1", "role=active"});
}

// ---------------------------------------------------------------------------

struct CmSeen {
  bool node = false;
  bool rack = false;
  bool objects = false;
  std::string cardinfo;
  uint32_t chassis_type = 0;
  std::vector<std::string> notes;
};
CmSeen* g_cm = nullptr;

TEST_F(EnvsimProcesses, CardManagerFromAnotherProcess) {
  start("tavrin_default.json");
  setenv("ENVMON_CARD_ADDR", "127.1.0.12", 1);  // line card in slot 11
  CmSeen seen;
  g_cm = &seen;
  card_mgr_node_handle_t node = nullptr;
  card_mgr_rack_handle_t rack = nullptr;
  cm_handle_t cm = nullptr;
  ASSERT_EQ(card_mgr_node_handle_create(&node, loop_, 0), 0);
  ASSERT_EQ(card_mgr_rack_handle_create(&rack, loop_, 0), 0);
  ASSERT_EQ(cm_handle_create(&cm, loop_, 0), 0);
  card_mgr_node_set_connect_callback(node, [](card_mgr_node_handle_t h, int32_t e, void*) {
    g_cm->node = e == 0;
    card_mgr_node_get_cardinfo(h, nullptr, 0);
  });
  card_mgr_rack_set_connect_callback(rack, [](card_mgr_rack_handle_t h, int32_t e, void*) {
    g_cm->rack = e == 0;
    card_mgr_rack_get_chassisinfo(h, nullptr, 0);
  });
  card_mgr_node_set_cardinfo_callback(
      node, [](card_mgr_node_handle_t, card_mgr_cardinfo_msg* m, void*, int32_t err, void*) {
        ASSERT_EQ(err, 0);
        g_cm->cardinfo = "slot=" + std::to_string(m->slot) +
                         " pi=" + std::to_string(m->pi_card_type) +
                         " pid=" + std::string(m->pid ? m->pid : "-");
      });
  card_mgr_rack_set_chassisinfo_callback(
      rack, [](card_mgr_rack_handle_t, card_mgr_chassisinfo_msg* m, void*, int32_t err, void*) {
        ASSERT_EQ(err, 0);
        g_cm->chassis_type = m->pd_chassis_type;
      });
  cm_set_connect_callback(cm, [](cm_handle_t h, int32_t e, void*) {
    g_cm->objects = e == 0;
    static cm_card_obj_filter filter;
    msgcodec_cm_card_obj_filter_clear(&filter);
    filter.all_cards = 1;
    msgcodec_set_bit(&filter.present, 3);
    cm_object_register_req req{};
    msgcodec_cm_object_register_req_clear(&req);
    req.card_filter = &filter;
    req.card_filter_count = 1;
    msgcodec_set_bit(&req.present, 0);
    cm_object_register(h, &req, 0);
  });
  cm_set_notify_object_data_callback(cm, [](cm_handle_t, cm_object_data_msg* m) {
    std::string note;
    for (uint32_t i = 0; i < m->card_info_count; ++i) {
      note += std::to_string(m->card_info[i].card_loc[0].slot) + ":" +
              std::to_string(m->card_info[i].event_type) + " ";
    }
    g_cm->notes.push_back(note);
  });
  ASSERT_EQ(card_mgr_node_connect(node, nullptr), 0);
  ASSERT_EQ(card_mgr_rack_connect(rack, nullptr), 0);
  ASSERT_EQ(cm_connect(cm, nullptr), 0);
  ASSERT_TRUE(run_until([&] {
    return !seen.cardinfo.empty() && seen.chassis_type != 0 && seen.notes.size() == 1;
  }));
  EXPECT_EQ(seen.cardinfo, "slot=11 pi=0 pid=TVR-LC-36X100");
  EXPECT_EQ(seen.chassis_type, 0x60010000u);
  EXPECT_EQ(seen.notes[0], "0:1 1:1 4:1 5:1 10:1 11:1 12:1 13:1 ");

  EXPECT_EQ(envsim({"card", "remove", "13"}), 0);
  ASSERT_TRUE(run_until([&] { return seen.notes.size() == 2; }));
  EXPECT_EQ(seen.notes[1], "13:2 ");
  expect_state("card_mgr", {"slot=11", "registered=yes", "notifications=2", "cards_notified=9"});
  expect_state("card_mgr", {"slot=11", "cardinfo_requests=1"});
  expect_state("card_mgr", {"slot=11", "chassisinfo_requests=1"});
  expect_state("chassis", {"slot=13", "present=no"});
  card_mgr_node_handle_destroy(node);
  card_mgr_rack_handle_destroy(rack);
  cm_handle_destroy(cm);
}

// ---------------------------------------------------------------------------

struct PlSeen {
  std::string location;
  uint32_t address = 0;
};
PlSeen* g_pl = nullptr;

TEST_F(EnvsimProcesses, PlatformLocalFromAnotherProcess) {
  start("tavrin_default.json");
  setenv("ENVMON_CARD_ADDR", "127.1.0.12", 1);
  PlSeen seen;
  g_pl = &seen;
  platform_local_handle_t h = nullptr;
  ASSERT_EQ(platform_local_handle_create(&h, loop_, nullptr), 0);
  platform_local_set_connect_callback(h, [](platform_local_handle_t hh, int32_t, void*) {
    platform_local_client_hello hello{};
    msgcodec_platform_local_client_hello_clear(&hello);
    hello.client_name = const_cast<char*>("envmon");
    msgcodec_set_bit(&hello.present, 0);
    platform_local_client_hi(hh, &hello);
    platform_local_register_for_my_nodeid(hh, nullptr, nullptr);
    platform_local_register_for_my_ip_address(hh, nullptr, nullptr);
  });
  platform_local_set_nodeid_callback(
      h, [](platform_local_handle_t, nodeid_td node, void*, int32_t status, void*) {
        ASSERT_EQ(status, 0);
        char text[32];
        nodeid_to_str_external(node, text, sizeof text);
        g_pl->location = text;
      });
  platform_local_set_ip_address_callback(
      h, [](platform_local_handle_t, uint32_t* a) { g_pl->address = *a; });
  ASSERT_EQ(platform_local_connect(h, nullptr), 0);
  ASSERT_TRUE(run_until([&] { return !seen.location.empty() && seen.address != 0; }));
  EXPECT_EQ(seen.location, "0/1");
  EXPECT_EQ(seen.address, 0x7f01000cu);
  expect_state("platform_local", {"slot=11", "hello=envmon", "nodeid=0/1", "address=127.1.0.12"});
  platform_local_handle_destroy(h);
}

// ---------------------------------------------------------------------------

std::vector<std::string>* g_alt = nullptr;

uint64_t read_altitude(void*, int cfg, void*, uint32_t) {
  uint32_t alt = 0;
  const int rc = cdb_get_u_int32(cfg, &alt, "/environment/config/router/altitude/all/num_meters");
  g_alt->push_back(rc == 0 ? std::to_string(alt) : "none");
  return rc == 0 ? 0 : 5;
}

TEST_F(EnvsimProcesses, ConfigurationFromAnotherProcess) {
  start("tavrin_default.json");
  std::vector<std::string> seen;
  g_alt = &seen;
  provd_handle_t h = nullptr;
  ASSERT_EQ(provd_handle_create(&h, loop_, "envmon", nullptr, nullptr), 0);
  uint32_t ns = 1;
  ASSERT_EQ(provd_conf_register_namespace(h, &ns, read_altitude, 0x6493164f,
                                          "/environment/config"),
            0u);
  ASSERT_EQ(provd_conf_activate(h), 0);
  ASSERT_TRUE(run_until([&] { return seen.size() == 1; }));
  EXPECT_EQ(seen[0], "500");
  EXPECT_EQ(envsim({"config", "set", "/environment/config/router/altitude/all/num_meters",
                    "1500"}),
            0);
  ASSERT_TRUE(run_until([&] { return seen.size() == 2; }));
  EXPECT_EQ(seen[1], "1500");
  expect_state("config", {"component=envmon", "namespace=/environment/config", "callbacks=2",
                          "last_result=0"});
  EXPECT_EQ(envsim({"config", "delete", "/environment/config/router/altitude"}), 0);
  ASSERT_TRUE(run_until([&] { return seen.size() == 3; }));
  EXPECT_EQ(seen[2], "none");
  expect_state("config", {"namespace=/environment/config", "callbacks=3", "last_result=5"});
  provd_conf_shutdown(h);
  provd_handle_destroy(h);
}

// ---------------------------------------------------------------------------

TEST_F(EnvsimProcesses, StatisticsAndSyslogFromAnotherProcess) {
  start("tavrin_default.json");
  setenv("ENVMON_CARD_ADDR", "127.1.0.1", 1);
  ship_counter_def defs[] = {{"Connect", 0}, {"ErrConn", 0}};
  uint32_t* block = nullptr;
  ASSERT_EQ(ship_register("ENVMON_CMGR", "CMGR_Oper_Counters", "envmon", 1, 0, defs, 2, &block),
            SHIP_OK);
  block[0] = 5;
  expect_state("statistics", {"slot=0", "app=envmon", "group=ENVMON_CMGR",
                              "table=CMGR_Oper_Counters", "kind=1", "Connect=5", "ErrConn=0"});
  block[SHIP_WORDS_PER_COUNTER] = 2;
  expect_state("statistics", {"table=CMGR_Oper_Counters", "ErrConn=2"});

  static const zul_msg_rec rec = {"%s",
                                  "Power tray mismatch, inserted power tray is %s in PT%d, in "
                                  "chassis type %s",
                                  nullptr,
                                  "ENVMON",
                                  "LIB",
                                  "POWER_TRAY_MISMATCH",
                                  3u << 16,
                                  {},
                                  0x14de0000,
                                  0};
  zul_errmsg(&rec, 3, "0/PT0: ", "AC", 1, "DC");
  expect_state("syslog", {"slot=0", "severity=3", "code=0x14de0000",
                          "text=%ENVMON-LIB-3-POWER_TRAY_MISMATCH : 0/PT0: Power tray mismatch, "
                          "inserted power tray is AC in PT1, in chassis type DC"});
  ship_reset();
}

// ---------------------------------------------------------------------------

TEST_F(EnvsimProcesses, SimulatorsOfTwoRootsDoNotMeet) {
  start("tavrin_default.json");
  const std::string other = make_root();
  roots_.push_back(other);
  start("olbrisk_default.json", other);

  // A client of the second root, standing for the olbrisk route processor 0.
  setenv("ENVMON_ROOT", other.c_str(), 1);
  setenv("ENVMON_CARD_ADDR", "127.2.0.1", 1);
  PmSeen seen;
  pm_handle_t h = nullptr;
  pm_answering_client(&h, loop_, &seen);
  ASSERT_TRUE(run_until([&] { return !seen.roles.empty(); }));
  expect_state("pm", {"slot=0", "accepted=1"}, other);
  std::string out;
  EXPECT_EQ(envsim({"show", "pm"}, &out), 0);
  EXPECT_EQ(out, "") << "the first simulator saw the other root's client";
  EXPECT_EQ(envsim({"show", "chassis"}, &out, other), 0);
  EXPECT_NE(out.find("platform=olbrisk"), std::string::npos) << out;
  pm_handle_destroy(h);
}

TEST_F(EnvsimProcesses, MalformedDescriptionStartsNothing) {
  const std::string bad = root_ + "/bad.json";
  {
    std::ofstream f(bad);
    f << "{\n  \"platform\": \"tavrin\",\n  \"chassis\": {\"type\": 1},\n"
         "  \"cards\": [{\"slot\": 0, \"hw_type\": 1, \"role\": \"active\",\n"
         "              \"address\": \"127.1.0.1\", \"state\": 12}]\n}\n";
  }
  std::string out;
  EXPECT_EQ(envsim({"--chassis", bad, "start"}, &out), 2);
  EXPECT_NE(out.find("bad.json:5: cards[0].state: 12 is out of range 1-11"), std::string::npos)
      << out;
  EXPECT_NE(out.find("nothing started"), std::string::npos) << out;
  struct stat st {};
  EXPECT_NE(stat((root_ + "/run").c_str(), &st), 0);
  EXPECT_EQ(envsim({"status"}, &out), 1) << "no simulator may run";
  EXPECT_EQ(envsim({"check", bad}, &out), 2);
  EXPECT_NE(out.find("bad.json:5:"), std::string::npos) << out;
  EXPECT_EQ(envsim({"check", kData + "/tavrin_default.json"}, &out), 0) << out;
}

TEST_F(EnvsimProcesses, CommandLineFaultsAreRefused) {
  start("tavrin_default.json");
  struct Case {
    std::vector<std::string> args;
    int status;
    const char* says;
  };
  const Case kCases[] = {
      {{"role", "99", "active"}, 2, "\"99\" is no slot"},
      {{"role", "0", "boss"}, 2, "\"boss\" is no role"},
      {{"role", "20", "active"}, 2, "no card in slot 20"},
      {{"card", "pull", "10"}, 2, "\"pull\" is no card command"},
      {{"show", "alarms"}, 2, "\"alarms\" is no model"},
      {{"frobnicate"}, 2, "\"frobnicate\" is no command"},
      {{"--bogus", "status"}, 2, "unknown option \"--bogus\""},
      {{"card", "remove", "10"}, 0, "0/0 removed"},
      {{"card", "remove", "10"}, 1, "0/0 is not inserted"},
      {{"wait", "--timeout", "300", "pm", "slot=63"}, 1, "waited 300 ms for a pm line"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.args[0] + (c.args.size() > 1 ? " " + c.args[1] : ""));
    std::string out;
    EXPECT_EQ(envsim(c.args, &out), c.status) << out;
    EXPECT_NE(out.find(c.says), std::string::npos) << out;
  }
  std::string out;
  EXPECT_EQ(envsim({"--help"}, &out), 0);
  EXPECT_NE(out.find("card insert SLOT"), std::string::npos);
}

}  // namespace

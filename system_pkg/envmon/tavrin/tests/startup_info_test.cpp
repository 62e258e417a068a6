// Start-up completion from the card manager's card and chassis information:
// the node and rack clients over the real client library and the chassis
// simulator's card-manager model in this process, the records filled, the
// inventory descriptions read, the start steps (recorded) and the card events
// posted to the state machine.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "card_mgr.h"
#include "envhal_card_mgr.h"
#include "envhal_tavrin_fan.h"
#include "envmon_hal.h"
#include "envmon_stats.h"
#include "envsim_sim.h"
#include "evloop.h"
#include "hal_test_support.h"
#include "inv.h"
#include "inv_parser.h"

namespace {

namespace fs = std::filesystem;

constexpr uint32_t kBoundMs = 10000;

// The start steps of the core and its clients, recorded.
struct Steps {
  std::vector<std::string> calls;
  std::vector<uint32_t> events;
  std::map<std::string, envmon_err_t> results;  // by function name; 0 unless set
};
Steps& steps() {
  static Steps s;
  return s;
}

envmon_err_t record_args(const char* fn, const char* fmt, ...) __attribute__((format(printf, 2, 3)));
envmon_err_t record_args(const char* fn, const char* fmt, ...) {
  char args[128];
  va_list ap;
  va_start(ap, fmt);
  std::vsnprintf(args, sizeof(args), fmt, ap);
  va_end(ap);
  steps().calls.push_back(std::string(fn) + "(" + args + ")");
  auto it = steps().results.find(fn);
  return it == steps().results.end() ? 0 : it->second;
}

envmon_err_t record(const char* fn) { return record_args(fn, "%s", ""); }

size_t count_of(const std::string& call) {
  size_t n = 0;
  for (const std::string& c : steps().calls) n += c == call;
  return n;
}

// Index of a call in the record, or -1.
int index_of(const std::string& call) {
  for (size_t i = 0; i < steps().calls.size(); ++i) {
    if (steps().calls[i] == call) return static_cast<int>(i);
  }
  return -1;
}

}  // namespace

extern "C" {

envmon_err_t envmon_obfl_nm_init(struct evloop*) { return record("envmon_obfl_nm_init"); }
envmon_err_t envmon_obfl_rm_init(struct evloop*) { return record("envmon_obfl_rm_init"); }
envmon_err_t envmon_fm_init(uint32_t scope, struct evloop*) { return record_args("envmon_fm_init", "%u", scope); }
envmon_err_t envmon_server_init(struct evloop*, uint32_t scope) { return record_args("envmon_server_init", "%u", scope); }
envmon_err_t envmon_capi_inv_init(struct evloop*) { return record("envmon_capi_inv_init"); }
envmon_err_t envmon_fm_update_location(const char* location) {
  return record_args("envmon_fm_update_location", "%s", location);
}
void envmon_inv_invreg_nm_reg_all_sensors(void) { record("envmon_inv_invreg_nm_reg_all_sensors"); }
int32_t envmon_fm_start_resync_timer(void) { return static_cast<int32_t>(record("envmon_fm_start_resync_timer")); }
int32_t envmon_drvif_init(struct evloop*, uint32_t index) {
  return static_cast<int32_t>(record_args("envmon_drvif_init", "%u", index));
}
void envmon_obfl_write_env_temp_thresholds(envmon_sensor_info*, uint16_t count, uint32_t slot, uint32_t scope,
                                           uint32_t) {
  record_args("envmon_obfl_write_env_temp_thresholds", "%u, %u, %u", count, slot, scope);
}
void envmon_obfl_write_env_volt_thresholds(envmon_sensor_info*, uint16_t count, uint32_t slot, uint32_t scope,
                                           uint32_t) {
  record_args("envmon_obfl_write_env_volt_thresholds", "%u, %u, %u", count, slot, scope);
}
void envmon_obfl_write_env_curr_thresholds(envmon_sensor_info*, uint16_t count, uint32_t slot, uint32_t scope,
                                           uint32_t) {
  record_args("envmon_obfl_write_env_curr_thresholds", "%u, %u, %u", count, slot, scope);
}
envmon_err_t envmon_ceb_fsa_sched_event(uint32_t event) {
  steps().events.push_back(event);
  return 0;
}
envmon_err_t envmon_init_rack_entity_data(void) { return record("envmon_init_rack_entity_data"); }
envmon_err_t envmon_active_init(void) { return record("envmon_active_init"); }
envmon_err_t envmon_pwr_mgmt_init(void) { return record("envmon_pwr_mgmt_init"); }
void envmon_inv_invreg_rm_register_chassis_lvl_eids(void) { record("envmon_inv_invreg_rm_register_chassis_lvl_eids"); }
void envmon_drvif_rm_poll_all_sensors(uint32_t driver, uint32_t mode) {
  record_args("envmon_drvif_rm_poll_all_sensors", "%u, %u", driver, mode);
}
void envmon_inv_req_fru_power_info(void) { record("envmon_inv_req_fru_power_info"); }
void envmon_capi_inv_request_temp_notification(void) { record("envmon_capi_inv_request_temp_notification"); }

}  // extern "C"

namespace {

// A card of the test chassis.
struct Card {
  int slot;
  const char* hw_type;
  const char* address;
  int pi_type;  // -1: the slot's class decides
};

constexpr Card kRp = {0, "0x5216", "127.1.0.1", -1};
constexpr Card kLineCard = {10, "0x6978", "127.1.0.11", -1};
constexpr Card kOddCard = {11, "0x6978", "127.1.0.12", 2};
constexpr Card kRpByPiType = {1, "0x1234", "127.1.0.2", 1};

class StartupInfo : public testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/envhal_startup_XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    root_ = tmpl;
    setenv("ENVMON_ROOT", root_.c_str(), 1);
    setenv("ENVMON_DS_ENDPOINT", "127.0.0.1:1", 1);
    fs::create_directories(root_ / "opt/tolvu/pelmarok/usr/xml");
    for (const auto& f : fs::directory_iterator(fs::path(ENVMON_SOURCE_DIR) / "sim/data/xml")) {
      fs::copy_file(f.path(), xml_dir() / f.path().filename());
    }
    steps() = Steps{};
    haltest::reset_pem();
    loop_ = shared_loop();
    envmon_evloop = loop_;
    records_.rm.chassis_sn = sn_;
    records_.rm.rp_hw_position = rp_positions_;
    records_.rm.fan_cont_pelm_eids = fan_eids_;
    records_.rm.svc_role = ENVMON_ROLE_ACTIVE;
    records_.rm.pwr_cfg.red_num_pems = 255;
    records_.nm.ip_address = ENVMON_IP_UNKNOWN;
    for (fantray_cb& ft : records_.fantrays) ft.hw_position = 0;
    envmon_plat_driver_oper_stats_hdl = oper_;
    envmon_plat_driver_err_stats_hdl = err_;
  }

  void TearDown() override {
    envmon_plat_driver_oper_stats_hdl = nullptr;
    envmon_plat_driver_err_stats_hdl = nullptr;
    envmon_rm_t& rm = records_.rm;
    envmon_nm_t& nm = records_.nm;
    for (envmon_sensor_list* l : {&nm.temp_data, &nm.voltage_data, &nm.current_data, &nm.power_data}) {
      for (uint16_t i = 0; i < l->count; ++i) envmon_free_tsi(&l->sensors[i].eid);
      free(l->sensors);
    }
    envmon_free_tsi(&nm.card_ceid);
    envmon_free_tsi(&rm.chassis_eid);
    for (pelm_eid& e : fan_eids_) envmon_free_tsi(&e);
    for (envmon_eid_list& l : rm.card_eid_list) free(l.eids);
    free(rm.rp_cont_eids);
    free(rm.fan_cont_eids);
    free(rm.chassis_inv_eids);
    for (pd_power_tray_info_t& t : trays_.trays) {
      for (uint8_t p = 0; t.pems != nullptr && p < t.num_pems; ++p) {
        free(t.pems[p].idprom_data);
        envmon_free_tsi(&t.pems[p].cont_eid);
      }
      free(t.pems);
      t.pems = nullptr;
    }
    if (nm.card_xml != nullptr) inv_parser_close_xml_file(nm.card_xml);
    if (rm.chassis_xml != nullptr) inv_parser_close_xml_file(rm.chassis_xml);
    sim_.reset();
    evloop_run_until_idle(loop_);
    fs::remove_all(root_);
  }

  static evloop_t* shared_loop() {
    // One loop for the process: the library's clients of one test are
    // replaced when the next test starts the library again.
    static evloop_t* loop = evloop_create("startup-test");
    return loop;
  }

  fs::path xml_dir() const { return root_ / "opt/tolvu/pelmarok/usr/xml"; }

  // Starts the simulator with the cards and the chassis type given, and the
  // library's node client standing for `self`.
  void start(const Card& self, std::vector<Card> cards, const char* chassis_type = "0x60010000") {
    std::ofstream json(root_ / "chassis.json");
    json << R"({"platform": "tavrin", "chassis": {"type": ")" << chassis_type
         << R"(", "pid": "TVR-CHS-8S", "serial": "TVC2301A0B7", "hw_major": 1, "hw_minor": 2}, "cards": [)";
    for (size_t i = 0; i < cards.size(); ++i) {
      const Card& c = cards[i];
      json << (i ? "," : "") << R"({"slot": )" << c.slot << R"(, "hw_type": ")" << c.hw_type
           << R"(", "role": "active", "address": ")" << c.address << R"(", "pid": "TVR-CARD", "serial": "S)" << c.slot
           << R"(", "hw_major": 1, "hw_minor": 0)";
      if (c.pi_type >= 0) json << R"(, "pi_type": )" << c.pi_type;
      json << "}";
    }
    json << "]}";
    json.close();
    envsim::ChassisDesc desc;
    std::vector<std::string> errors;
    ASSERT_TRUE(envsim::chassis_load((root_ / "chassis.json").string(), &desc, &errors))
        << (errors.empty() ? "" : errors[0]);
    envsim::Options o;
    o.instance = simsvc::instance_from_root(root_.c_str());
    std::string error;
    sim_ = envsim::Simulator::create(loop_, std::move(desc), o, &error);
    ASSERT_NE(sim_, nullptr) << error;
    setenv("ENVMON_CARD_ADDR", self.address, 1);
    ASSERT_EQ(envmon_hal_capi_platform_driver_init(loop_), 0u);
    ASSERT_TRUE(run_until([] { return !steps().events.empty(); })) << "no connect event";
    ASSERT_EQ(steps().events, std::vector<uint32_t>{2});
  }

  template <typename Pred>
  bool run_until(Pred pred) {
    struct Ctx {
      Pred* p;
    } ctx{&pred};
    return evloop_run_until(
               loop_, [](void* a) { return (*static_cast<Ctx*>(a)->p)() ? 1 : 0; }, &ctx, kBoundMs) == 0;
  }

  // Asks for the card information and waits for its callback to have run.
  void card_info() {
    const uint32_t before = oper(3) + err(3);
    ASSERT_EQ(envmon_hal_send_card_info(), 0);
    ASSERT_TRUE(run_until([&] { return oper(3) + err(3) > before; })) << "no card information";
    evloop_run_until_idle(loop_);
  }

  void rack_connected() {
    ASSERT_TRUE(run_until([this] { return records_.nm.cm_rack_connected == 1; })) << "rack client not connected";
  }

  void chassis_info() {
    const uint32_t before = oper(4) + err(4);
    ASSERT_EQ(envmon_hal_send_chassis_info(), 0);
    ASSERT_TRUE(run_until([&] { return oper(4) + err(4) > before; })) << "no chassis information";
    evloop_run_until_idle(loop_);
  }

  uint32_t oper(uint32_t i) const { return oper_[5 * i]; }
  uint32_t err(uint32_t i) const { return err_[5 * i]; }

  fs::path root_;
  evloop_t* loop_ = nullptr;
  std::unique_ptr<envsim::Simulator> sim_;
  haltest::Chassis records_{0x60010000};
  haltest::PowerTrays trays_{0, 0};
  char sn_[12] = {};
  uint32_t rp_positions_[2] = {};
  pelm_eid fan_eids_[3] = {};
  uint32_t oper_[5 * 7] = {};
  uint32_t err_[5 * 8] = {};
};

TEST_F(StartupInfo, ARouteProcessorCompletesItsStartUpFromCardAndChassisInformation) {
  start(kRp, {kRp, kLineCard});
  card_info();
  envmon_nm_t& nm = records_.nm;
  ASSERT_NE(nm.misc_state & ENVMON_NM_CARD_INFO_DONE, 0u);
  EXPECT_EQ(nm.card_type, 0x5216u);
  EXPECT_EQ(nm.slot_num, 0u);
  EXPECT_EQ(nm.card_container_valid_flag, 1u);
  EXPECT_EQ(oper(3), 1u) << "CardInfo";
  EXPECT_EQ(oper(5), 1u) << "CardReq";
  // The card's description: its sensor lists and its own entity.
  EXPECT_EQ(nm.temp_data.count, 3);
  EXPECT_EQ(nm.voltage_data.count, 4);
  EXPECT_EQ(nm.current_data.count, 1);
  EXPECT_EQ(nm.power_data.count, 1);
  ASSERT_EQ(nm.card_ceid.tsi_count, 2u);
  EXPECT_EQ(nm.card_ceid.tsi[1].type, 9u);
  EXPECT_EQ(nm.card_ceid.tsi[1].subtype, 27u);
  EXPECT_EQ(nm.card_ceid.rack, ENVMON_RACK_UNKNOWN);
  EXPECT_EQ(nm.card_ceid.slot, ENVMON_SLOT_SELF);
  // The node-scope start steps in their order, the route processor's drivers.
  const std::vector<std::string> order = {"envmon_obfl_nm_init()",
                                          "envmon_fm_init(1)",
                                          "envmon_server_init(3)",
                                          "envmon_obfl_write_env_temp_thresholds(3, 0, 3)",
                                          "envmon_obfl_write_env_volt_thresholds(4, 0, 3)",
                                          "envmon_obfl_write_env_curr_thresholds(1, 0, 3)",
                                          "envmon_fm_start_resync_timer()",
                                          "envmon_drvif_init(1)",
                                          "envmon_drvif_init(2)",
                                          "envmon_drvif_init(11)",
                                          "envmon_drvif_init(12)"};
  int last = -1;
  for (const std::string& call : order) {
    const int at = index_of(call);
    EXPECT_GT(at, last) << call;
    last = at;
  }
  EXPECT_EQ(count_of("envmon_inv_invreg_nm_reg_all_sensors()"), 0u) << "registration client not connected";
  EXPECT_EQ(steps().events, std::vector<uint32_t>{2}) << "no card event on a route processor";

  // The state machine asks for the chassis at once: pending until the rack
  // client connects, whose connection posts the route-processor event.
  rack_connected();
  EXPECT_EQ(steps().events, (std::vector<uint32_t>{2}));
  records_.nm.cm_rack_connected = 0;
  EXPECT_EQ(envmon_hal_send_chassis_info(), static_cast<int32_t>(ENVMON_ERR32_ALREADY_DONE));
  envmon_card_mgr_rack_connect_cb(nullptr, 0, nullptr);
  EXPECT_EQ(steps().events, (std::vector<uint32_t>{2, 6}));
  envmon_card_mgr_rack_connect_cb(nullptr, 0, nullptr);
  EXPECT_EQ(steps().events, (std::vector<uint32_t>{2, 6})) << "once";

  chassis_info();
  envmon_rm_t& rm = records_.rm;
  ASSERT_NE(nm.misc_state & ENVMON_NM_CHASSIS_INFO_DONE, 0u);
  EXPECT_EQ(rm.chassis_type, 0x60010000u);
  EXPECT_STREQ(rm.chassis_sn, "TVC2301A0B7");
  EXPECT_STREQ(rm.pid, "TVR-CHS-8S");
  EXPECT_NE(rm.chassis_xml, nullptr);
  EXPECT_EQ(rm.rp_count, 2);
  EXPECT_EQ(rm.rp_hw_position[0], 0u);
  EXPECT_EQ(rm.rp_hw_position[1], 1u);
  EXPECT_EQ(rm.rp_cont_count, 2);
  EXPECT_EQ(rm.fan_cont_count, 3);
  for (uint32_t t = 0; t < 3; ++t) {
    EXPECT_EQ(records_.fantrays[t].hw_position, 41 + t);
    EXPECT_EQ(fan_eids_[t].slot, 41 + t);
    EXPECT_EQ(fan_eids_[t].rack, ENVMON_RACK_UNKNOWN);
    EXPECT_EQ(fan_eids_[t].tsi_count, 2u);
  }
  EXPECT_EQ(rm.chassis_eid.tsi_count, 1u);
  EXPECT_EQ(rm.chassis_eid.slot, ENVMON_SLOT_SELF);
  EXPECT_EQ(rm.card_eid_list[ENVMON_CARD_CLASS_LC].count, 8);
  EXPECT_EQ(rm.card_eid_list[ENVMON_CARD_CLASS_FC].count, 4);
  EXPECT_EQ(rm.card_eid_list[ENVMON_CARD_CLASS_XC].count, 0);
  // Four power modules over the two virtual trays, their containers and positions.
  for (uint32_t t = 0; t < 2; ++t) {
    ASSERT_EQ(trays_.trays[t].num_pems, 2);
    for (uint32_t p = 0; p < 2; ++p) {
      const pem_record& pem = trays_.trays[t].pems[p];
      EXPECT_EQ(pem.hw_position, static_cast<int32_t>(48 + t * 2 + p));
      EXPECT_NE(pem.idprom_data, nullptr);
      EXPECT_EQ(pem.cont_eid.rack, ENVMON_RACK_UNKNOWN);
      EXPECT_EQ(pem.pem_raw_data.input_voltage_a, 0xffffffu);
    }
  }
  for (const char* call : {"envmon_init_rack_entity_data()", "envmon_active_init()", "envmon_pwr_mgmt_init()",
                           "envmon_obfl_rm_init()"}) {
    EXPECT_EQ(count_of(call), 1u) << call;
  }
  const auto& pem_calls = haltest::pem().calls;
  EXPECT_NE(std::find(pem_calls.begin(), pem_calls.end(), "envmon_pem_init_pd_data()"), pem_calls.end());
  EXPECT_EQ(oper(4), 1u) << "ChassInfo";
  EXPECT_EQ(oper(6), 1u) << "ChassReq";
  // Everything once.
  EXPECT_EQ(envmon_hal_send_card_info(), static_cast<int32_t>(ENVMON_ERR32_ALREADY_DONE));
  EXPECT_EQ(envmon_hal_send_chassis_info(), static_cast<int32_t>(ENVMON_ERR32_ALREADY_DONE));
}

TEST_F(StartupInfo, OnlyOneChassisRequestGoesOut) {
  start(kRp, {kRp});
  card_info();
  rack_connected();
  steps().results["envmon_init_rack_entity_data"] = 1;  // the callback stops early
  chassis_info();
  EXPECT_EQ(records_.nm.misc_state & ENVMON_NM_CHASSIS_INFO_DONE, 0u);
  EXPECT_EQ(envmon_hal_send_chassis_info(), 0) << "sent once already";
  evloop_run_until_idle(loop_);
  EXPECT_EQ(oper(6), 1u);
}

TEST_F(StartupInfo, ALineCardStartsItsInventoryClientAndItsDrivers) {
  start(kLineCard, {kRp, kLineCard});
  card_info();
  envmon_nm_t& nm = records_.nm;
  ASSERT_NE(nm.misc_state & ENVMON_NM_CARD_INFO_DONE, 0u);
  EXPECT_EQ(nm.slot_num, 10u);
  EXPECT_EQ(steps().events, (std::vector<uint32_t>{2, 7}));
  EXPECT_EQ(count_of("envmon_capi_inv_init()"), 1u);
  EXPECT_EQ(count_of("envmon_server_init(3)"), 1u);
  EXPECT_EQ(count_of("envmon_fm_init(1)"), 0u);
  ASSERT_EQ(nm.card_ceid.tsi_count, 2u);
  EXPECT_EQ(nm.card_ceid.tsi[1].subtype, 13u);
  for (uint32_t d : {10u, 12u, 15u}) EXPECT_EQ(count_of("envmon_drvif_init(" + std::to_string(d) + ")"), 1u);
  EXPECT_EQ(count_of("envmon_drvif_init(1)"), 0u);
}

TEST_F(StartupInfo, ACardOfAnUnknownClassIsReportedInvalid) {
  start(kOddCard, {kRp, kOddCard});
  card_info();
  EXPECT_EQ(steps().events, (std::vector<uint32_t>{2, 4}));
  EXPECT_EQ(err(5), 1u) << "ErrCardPIt";
  EXPECT_EQ(count_of("envmon_capi_inv_init()"), 0u);
  EXPECT_EQ(count_of("envmon_server_init(3)"), 0u);
  EXPECT_EQ(records_.nm.misc_state & ENVMON_NM_CARD_INFO_DONE, 0u);
}

TEST_F(StartupInfo, ARouteProcessorByClassRunsTheRouteProcessorPathAndRetriesOnlyWhatFailed) {
  start(kRpByPiType, {kRp, kRpByPiType});
  steps().results["envmon_server_init"] = 1;
  card_info();  // stops at the service server
  EXPECT_EQ(records_.nm.misc_state & ENVMON_NM_CARD_INFO_DONE, 0u);
  EXPECT_EQ(count_of("envmon_fm_init(1)"), 1u);
  steps().results.erase("envmon_server_init");
  card_info();  // again: stops at the description, which this card type has not
  EXPECT_EQ(records_.nm.misc_state & ENVMON_NM_CARD_INFO_DONE, 0u);
  EXPECT_EQ(count_of("envmon_fm_init(1)"), 1u) << "the fault manager is registered once";
  EXPECT_EQ(count_of("envmon_server_init(3)"), 2u) << "the server start that failed is tried again";
  EXPECT_EQ(count_of("envmon_obfl_nm_init()"), 1u);
  rack_connected();
  EXPECT_EQ(oper(0), 2u) << "node and one rack connection";
}

TEST_F(StartupInfo, AChassisWithoutDescriptionIsReportedInvalidTwice) {
  start(kRp, {kRp}, "0x60010099");
  card_info();
  rack_connected();
  chassis_info();
  EXPECT_EQ(steps().events, (std::vector<uint32_t>{2, 8, 8}));
  EXPECT_EQ(err(4), 1u) << "ErrChassInfoEr";
  EXPECT_EQ(records_.nm.misc_state & ENVMON_NM_CHASSIS_INFO_DONE, 0u);
}

// The chassis callback on its own, with messages made here.
class ChassisInfo : public StartupInfo {
 protected:
  void deliver(uint8_t present_bits, uint32_t pd_type) {
    card_mgr_chassisinfo_msg m{};
    m.pi_chassis_type = 1;
    m.serial = const_cast<char*>("TVC2301A0B7XYZ");
    m.pd_chassis_type = pd_type;
    m.pid = const_cast<char*>("PID");
    m.present = present_bits;
    envmon_get_card_mgr_chassisinfo_cb(nullptr, &m, nullptr, 0, nullptr);
  }
  void SetUp() override {
    StartupInfo::SetUp();
    records_.nm.card_type = 0x5216;
    inv_parser_init(shared_loop());
  }
};

TEST_F(ChassisInfo, WithoutAChassisTypeTheDefaultChassisIsTaken) {
  deliver(0x3, 0x60010001);
  EXPECT_EQ(records_.rm.chassis_type, 0x60010000u);
  EXPECT_NE(records_.nm.misc_state & ENVMON_NM_CHASSIS_INFO_DONE, 0u);
  EXPECT_STREQ(records_.rm.chassis_sn, "TVC2301A0B7") << "cut to 11 characters";
}

TEST_F(ChassisInfo, AStandbyRouteProcessorSetsFanZonesButStartsNoActiveRackScope) {
  records_.rm.svc_role = ENVMON_ROLE_STANDBY;
  deliver(0x3f, 0x60010000);
  EXPECT_NE(records_.nm.misc_state & ENVMON_NM_CHASSIS_INFO_DONE, 0u);
  EXPECT_EQ(count_of("envmon_active_init()"), 0u);
  EXPECT_EQ(count_of("envmon_obfl_rm_init()"), 0u);
  // The route processors' zone is known: their inlet decides the fan speed.
  chassis_ft_type = 0;
  records_.rm.svc_role = ENVMON_ROLE_ACTIVE;
  records_.rm.env_cfg.ft_ctrl = 1;
  ASSERT_EQ(envmon_hal_fan_mgmt_init(), 0u);
  inv_sensor_value v{};
  v.eid.slot = 1;
  v.name = const_cast<char*>("Inlet Temp");
  v.value = 25;
  inv_threshold_data th{10, 70, 5, 80, 0, 90, 0};
  envmon_hal_fan_mgmt_inv_temp_notification(&v, &th, 1);
  EXPECT_EQ(chassis_fan_info->zones[5].speed, 20);
  envmon_hal_fan_mgmt_uninit();
}

TEST_F(ChassisInfo, AFailedRackFailureLogStartLeavesTheChassisUndone) {
  steps().results["envmon_obfl_rm_init"] = 1;
  deliver(0x3f, 0x60010000);
  EXPECT_EQ(records_.nm.misc_state & ENVMON_NM_CHASSIS_INFO_DONE, 0u);
  EXPECT_EQ(count_of("envmon_pwr_mgmt_init()"), 1u) << "the rack data was built";
  EXPECT_EQ(records_.rm.fan_cont_count, 3);
}

TEST_F(ChassisInfo, RouteProcessorsAreCutToTwoAndFivePowerModulesGiveTwoPerTray) {
  std::ifstream in(xml_dir() / "chassisTavrin8Slot.xml");
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const std::string pm3 = R"(<entity tsi="3/1/1 5/7/4" name="PM3" hw_position="51" pos_num="3"/>)";
  const size_t at = text.find(pm3);
  ASSERT_NE(at, std::string::npos);
  text.insert(at + pm3.size(), R"(
  <entity tsi="3/1/1 5/7/5" name="PM4" hw_position="52" pos_num="4"/>
  <entity tsi="3/1/1 5/2/3" name="RP2" hw_position="2" pos_num="2"/>)");
  std::ofstream(xml_dir() / "chassisTavrin8Slot.xml") << text;
  deliver(0x3f, 0x60010000);
  EXPECT_EQ(records_.rm.rp_count, 2);
  EXPECT_EQ(trays_.trays[0].num_pems, 2);
  EXPECT_EQ(trays_.trays[1].num_pems, 2);
  EXPECT_EQ(trays_.trays[1].pems[1].hw_position, 51) << "the fifth container is not used";
}

}  // namespace

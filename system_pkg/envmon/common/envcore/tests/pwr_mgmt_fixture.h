// A chassis for the power-management tests: the core's records built by its
// own start-up functions, a chassis description with route processors, fan
// trays and cards, and inventory descriptions of each hardware with its
// budgets, found through the inventory file table under a temporary root.
#pragma once

#include <gtest/gtest.h>

#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <array>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "envcore_test_util.h"
#include "envmon_pwr_mgmt_private.h"
#include "invxmltab.h"
#include "pwr_mgmt_standin.h"
#include "ship.h"
#include "simpaths.h"
#include "tlg_test.h"

namespace pwrtest {

// Hardware of the tests; every one has a row in the inventory file table.
inline constexpr uint32_t kRpType = 21014;        // route processor
inline constexpr uint32_t kScType = 2033671;      // system controller
inline constexpr uint32_t kLcType = 27060;        // line card
inline constexpr uint32_t kLcType2 = 27000;       // another line card
inline constexpr uint32_t kFcType = 27003;        // fabric card
inline constexpr uint32_t kXcType = 21005;        // cross-connect card
inline constexpr uint32_t kFtType = 0xab040000u;  // fan tray
inline constexpr uint32_t kPreReserveChassis = 3222;  // fabric cards budgeted up front
inline constexpr uint32_t kPlainChassis = 0x60010003u;  // fabric cards not budgeted up front

inline constexpr int32_t kClassLc = 0;
inline constexpr int32_t kClassRp = 1;
inline constexpr int32_t kClassFc = 3;
inline constexpr int32_t kClassXc = 14;

struct Budget {
  uint16_t max;
  uint16_t stby;
  uint16_t ext;
};

inline const char* kPwrm = "envmon_cmn_pwrm";
inline const char* kErr = "envmon_cmn_err";
inline const char* kInfo = "envmon_cmn_info";

class PwrTest : public ::testing::Test {
 protected:
  // The chassis to build; tests change these before start().
  uint32_t chassis_type = kPlainChassis;
  uint32_t rps = 2;                                   // route processors described
  uint32_t fan_trays = 3;                             // fan-tray containers described
  std::array<uint32_t, ENVMON_CARD_CLASS_COUNT> cards = {4, 2, 0, 1};  // LC, FC, SWC, XC
  // First slot of each group; card i of a group sits in slot first + i and
  // has instance i.
  std::array<uint32_t, ENVMON_CARD_CLASS_COUNT> first_slot = {2, 10, 14, 16};

  void SetUp() override {
    char dir[] = "/tmp/pwrmgmt_test_XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    root_ = dir;
    setenv(SIM_PATH_ROOT_ENV, root_.c_str(), 1);
    envcore_standin_reset();
    pwr_mgmt_standin_reset();
    EnvcoreStandin& s = envcore_standin();
    s.max_rp = 2;
    s.max_fantray = 3;
    s.max_fc = 2;
    s.max_lc = 4;
    s.max_swc = 0;
    s.max_xc = 1;
    s.max_powertray = 0;
    s.max_virtual_powertray = 2;
    PwrMgmtStandin& p = pwr_mgmt_standin();
    p.max_pri_fantray = 2;
    p.hw_types[1] = {27, 3, static_cast<int32_t>(kRpType), ""};
    p.hw_types[2] = {6, 7, static_cast<int32_t>(kFtType), ""};
    p.hw_types[3] = {7, 6, static_cast<int32_t>(kFcType), ""};
    p.hw_types[4] = {13, 4, static_cast<int32_t>(kLcType), ""};
    p.hw_types[9] = {60, 16, static_cast<int32_t>(kXcType), ""};
    p.card_budgets = [this] { platform_card_budgets(); };
    envcore_open_traces();
    tlg_test_clear(nullptr);
    ship_reset();
    for (auto& row : envmon_counter_info) *row.handle = nullptr;
    envmon_pm::fru_pwr_alloc_published = false;
    describe(3, kRpType, 27, {100, 20, 120});
    describe(7, kFtType, 6, {50, 50, 60});
    describe(4, kLcType, 13, {300, 30, 350});
    describe(4, kLcType2, 13, {400, 40, 450});
    describe(6, kFcType, 7, {200, 25, 220});
    describe(16, kXcType, 60, {80, 10, 90});
  }

  void TearDown() override {
    release();
    unsetenv(SIM_PATH_ROOT_ENV);
    std::error_code ec;
    std::filesystem::remove_all(root_, ec);
  }

  // Writes the inventory description of a hardware with its budgets at the
  // place the file table names.
  void describe(int32_t pi, uint32_t pd, uint8_t subtype, Budget b) {
    platform_inv_xml_req req{};
    req.pi_hw_type = pi;
    req.pd_hw_type = static_cast<int32_t>(pd);
    const char* fixed = platform_get_inv_xml_file_name_v2(&req);
    ASSERT_NE(fixed, nullptr) << "no file table row for pi " << pi << " pd " << pd;
    const std::filesystem::path path = root_ + fixed;
    std::filesystem::create_directories(path.parent_path());
    std::ofstream f(path);
    f << "<inventory>\n"
      << "  <entity tsi=\"5/1/1\" root=\"1\" name=\"module\"/>\n"
      << "  <entity category=\"6\" type=\"9\" subtype=\"" << int(subtype)
      << "\" instance=\"1\" name=\"power budget\" max_budget=\"" << b.max
      << "\" stby_zn_budget=\"" << b.stby << "\" ext_budget=\"" << b.ext << "\"/>\n"
      << "</inventory>\n";
  }

  // The platform's card budgets at start-up, as the PEM library gives them on
  // a line-card chassis: line cards on their standby zone, fabric cards
  // pre-reserved while acting, cross-connect cards pre-reserved.
  void platform_card_budgets() {
    envmon_pwr_mgmt_data_t& p = pm();
    static constexpr int32_t kKind[] = {4, 3, 5, 9};
    for (uint32_t g : {ENVMON_CARD_CLASS_LC, ENVMON_CARD_CLASS_FC, ENVMON_CARD_CLASS_XC}) {
      if (!envmon_pm::group_present(g)) continue;
      for (uint32_t i = p.start_index[g]; i <= p.last_index[g]; ++i) {
        envmon_entity_pbudget_info_t& c = p.pbudget_list[i];
        envmon_get_entity_power_budget(kKind[g], &c.max_budget, &c.stby_zn_budget, &c.ext_budget,
                                       nullptr);
        const bool full = g == ENVMON_CARD_CLASS_XC ||
                          (g == ENVMON_CARD_CLASS_FC && p.pwr_mgmt_action_ena != 0);
        c.pbudget = full ? (g == ENVMON_CARD_CLASS_FC ? get_lc_max_budget(static_cast<uint8_t>(i))
                                                      : c.max_budget)
                         : c.stby_zn_budget;
        c.status = full ? ENVMON_PWR_PRE_RESERVED : ENVMON_PWR_STBY_ZONE_RESERVED;
        p.total_power_budget += c.pbudget;
        envmon_pm::oper_add(envmon_pm::kCntTotalPreq, c.pbudget);
        envmon_pm::card_counter_add(i, c.pbudget);
      }
    }
  }

  // Builds the records and starts power management as the chassis callback does.
  void start() {
    build_records();
    ASSERT_EQ(envmon_pwr_mgmt_init(), ENVMON_OK);
  }

  // The records, the chassis description and the power record, not started.
  void build_records() {
    EnvcoreStandin& s = envcore_standin();
    ASSERT_EQ(envmon_init_rack_scope_data(), ENVMON_OK);
    ASSERT_EQ(envmon_init_node_scope_data(), ENVMON_OK);
    envmon_stats_init();
    ASSERT_EQ(envmon_init_rack_entity_data(), ENVMON_OK);
    ASSERT_NE(envmon_pwr_mgmt_data, nullptr);
    envmon_rm_t& rm = *envmon_rm;
    rm.chassis_type = chassis_type;
    rm.svc_role = ENVMON_ROLE_ACTIVE;
    rm.pwr_cfg.pwr_ctrl = 1;
    rm.pwr_cfg.red_num_pems = 255;
    rm.inv_invreg_connected = 1;
    rm.inv_capi_connected = 1;
    // Fan trays sit in slots 20 + i in the rack record.
    for (uint32_t i = 0; i < s.max_fantray; ++i) rm.fantray_cb[i].hw_position = 20 + i;

    std::string xml = "<inventory>\n";
    rp_eids_ = make_eids(rps, 2);
    for (uint32_t i = 0; i < rps; ++i) xml += entity(2, i, i, i);
    fan_eids_ = make_eids(fan_trays, 3);
    for (uint32_t i = 0; i < fan_trays; ++i) xml += entity(3, i, 20 + i, i);
    for (uint32_t g = 0; g < ENVMON_CARD_CLASS_COUNT; ++g) {
      card_eids_[g] = make_eids(cards[g], group_subtype(g));
      for (uint32_t i = 0; i < cards[g]; ++i)
        xml += entity(group_subtype(g), i, first_slot[g] + i, i);
    }
    xml += "</inventory>\n";
    chassis_xml_ = inv_parser_open_xml_buffer(xml.data(), xml.size(), "chassis");
    ASSERT_NE(chassis_xml_, nullptr);
    rm.chassis_xml = chassis_xml_;
    rm.rp_cont_eids = rp_eids_.data();
    rm.rp_cont_count = static_cast<uint16_t>(rps);
    rm.rp_count = static_cast<uint16_t>(rps);
    rm.fan_cont_eids = fan_eids_.data();
    rm.fan_cont_count = static_cast<uint16_t>(fan_trays);
    for (uint32_t g = 0; g < ENVMON_CARD_CLASS_COUNT; ++g) {
      rm.card_eid_list[g].eids = card_eids_[g].data();
      rm.card_eid_list[g].count = static_cast<uint16_t>(cards[g]);
    }
  }

  // Configuration received, card information from inventory, PEM data in.
  void make_ready(uint8_t action = 1) {
    envmon_rm->pwr_cfg.pwr_ctrl = action;
    envmon_pwr_mgmt_data->pwr_mgmt_action_ena = action;
    envmon_pwr_mgmt_data->all_card_info_rcvd = 1;
    envmon_set_pwr_mgmt_cfg_rcvd();
    pwr_mgmt_standin().calls.clear();
    tlg_test_clear(nullptr);
  }

  envmon_pwr_mgmt_data_t& pm() { return *envmon_pwr_mgmt_data; }
  envmon_entity_pbudget_info_t& card(uint32_t index) { return pm().pbudget_list[index]; }
  envmon_entity_pbudget_info_t& card_of(uint32_t group, uint32_t pos) {
    return card(pm().start_index[group] + pos);
  }
  uint32_t slot_of(uint32_t group, uint32_t pos) const { return first_slot[group] + pos; }
  std::vector<std::string>& calls() { return pwr_mgmt_standin().calls; }

  // The sum of every counted allocation; power management keeps the total equal to it.
  int32_t sum_of_allocations() {
    int32_t sum = 0;
    for (uint32_t i = 0; i < envcore_standin().max_rp; ++i) sum += pm().rp_pbudget[i].pbudget;
    for (uint32_t i = 0; i < envcore_standin().max_fantray; ++i)
      sum += pm().fantray_pbudget[i].pbudget;
    for (uint32_t i = 0; i < envmon_pm::card_records(); ++i) sum += pm().pbudget_list[i].pbudget;
    return sum;
  }

  // Power-management operational counter i (11 + card index: "Card%dPbudget").
  uint32_t oper(uint32_t i) {
    uint32_t* c = envmon_stats_counter(envmon_pwrm_oper_stats_hdl, i);
    return c ? *c : 0xdeadbeef;
  }
  uint32_t errc(uint32_t i) {
    uint32_t* c = envmon_stats_counter(envmon_pwrm_err_stats_hdl, i);
    return c ? *c : 0xdeadbeef;
  }

  // A card's entity id as a power request carries it: its slot and a card
  // level with the instance.
  struct ReqEid {
    pelm_eid e{};
    pelm_tsi level{};
    ReqEid(uint32_t slot, uint32_t subtype, uint32_t inst) {
      e.rack = 0;
      e.slot = slot;
      level = {5, subtype, inst};
      e.tsi = &level;
      e.tsi_count = 1;
      e.present = PELM_EID_HAS_RACK | PELM_EID_HAS_SLOT | PELM_EID_HAS_TSI;
    }
  };

  static std::string fru(const envmon_entity_pbudget_info_t& r, int alloc, int status, int current = 0) {
    return "notify_fru(" + pwr_eid_text(r.container_eid) + ", " + std::to_string(alloc) + ", " +
           std::to_string(status) + ", " + std::to_string(current) + ")";
  }

  static uint32_t group_subtype(uint32_t g) {
    static constexpr uint32_t kSub[] = {1, 4, 9, 16};
    return kSub[g];
  }

 private:
  static std::vector<inv_eid> make_eids(uint32_t n, uint32_t subtype) {
    std::vector<inv_eid> v(n ? n : 1);
    for (uint32_t i = 0; i < n; ++i) {
      memset(&v[i], 0, sizeof(inv_eid));
      v[i].level_count = 1;
      v[i].levels[0] = {5, static_cast<uint8_t>(subtype), static_cast<uint16_t>(i)};
    }
    return v;
  }
  static std::string entity(uint32_t subtype, uint32_t pos, uint32_t slot, uint32_t inst) {
    return "  <entity tsi=\"5/" + std::to_string(subtype) + "/" + std::to_string(inst) +
           "\" pos_num=\"" + std::to_string(pos) + "\" hw_position=\"" + std::to_string(slot) +
           "\"/>\n";
  }

  void release() {
    if (envmon_pwr_mgmt_data_t* p = envmon_pwr_mgmt_data) {
      auto free_recs = [](envmon_entity_pbudget_info_t* r, uint32_t n) {
        for (uint32_t i = 0; r && i < n; ++i) {
          envmon_free_tsi(&r[i].eid);
          envmon_free_tsi(&r[i].container_eid);
        }
        free(r);
      };
      free_recs(p->rp_pbudget, envcore_standin().max_rp);
      free_recs(p->fantray_pbudget, envcore_standin().max_fantray);
      free_recs(p->pbudget_list, envmon_pm::card_records());
      if (p->envmon_pwr_tray_data) {
        for (uint32_t i = 0; i < envcore_standin().max_powertray; ++i)
          free(p->envmon_pwr_tray_data[i].idprom);
        free(p->envmon_pwr_tray_data);
      }
      free(p);
      envmon_pwr_mgmt_data = nullptr;
    }
    envcore_free_records();
    if (chassis_xml_) inv_parser_close_xml_file(chassis_xml_);
    chassis_xml_ = nullptr;
  }

  std::string root_;
  inv_xml_handle_t chassis_xml_ = nullptr;
  std::vector<inv_eid> rp_eids_;
  std::vector<inv_eid> fan_eids_;
  std::array<std::vector<inv_eid>, ENVMON_CARD_CLASS_COUNT> card_eids_;
};

}  // namespace pwrtest

// Inventory hooks: the power modules' containers, the name prefixes of fan
// trays and power modules, the FRU current of card slots from their board
// current sensors, and what goes to the PEM library.
#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "entprefix.h"
#include "envmon_hal.h"
#include "envmon_invreg.h"
#include "hal_test_support.h"
#include "inv.h"
#include "invreg.h"
#include "nodeid.h"

namespace {

using haltest::pem;
using haltest::ptr;

// The rack registration client as these hooks see it.
struct Registration {
  bool connected = true;
  std::vector<std::pair<uint32_t, uint32_t>> containers;  // (logic slot, first level's instance)
  std::vector<std::pair<uint32_t, std::string>> prefixes;  // (slot of the entity, prefix)
  int answer = 0;
  std::vector<std::string> fru_currents;
};
Registration& reg() {
  static Registration r;
  return r;
}

pelm_eid eid_with(uint32_t slot, std::initializer_list<pelm_tsi> levels) {
  pelm_eid e{};
  e.rack = ENVMON_RACK_UNKNOWN;
  e.slot = slot;
  e.tsi_count = static_cast<uint32_t>(levels.size());
  e.tsi = static_cast<pelm_tsi*>(std::calloc(levels.size(), sizeof(pelm_tsi)));
  size_t i = 0;
  for (const pelm_tsi& l : levels) e.tsi[i++] = l;
  return e;
}

}  // namespace

extern "C" {

invreg_handle* envmon_get_invreg_handle(uint32_t scope, uint8_t* connected) {
  static int token;
  if (connected != nullptr) *connected = reg().connected && scope == ENVMON_SCOPE_RACK ? 1 : 0;
  return reinterpret_cast<invreg_handle*>(&token);
}

int invreg_register_container_eid(invreg_handle_t* /*handle*/, const invreg_container_req* req, uint64_t user_ctx) {
  EXPECT_EQ(user_ctx, req->container.logic_slot);
  reg().containers.emplace_back(req->container.logic_slot,
                                req->container.eid.tsi_count > 0 ? req->container.eid.tsi[0].instance : 0);
  return reg().answer;
}

int invreg_update_fru_prefix(invreg_handle_t* /*handle*/, const invreg_fru_prefix* data, uint64_t /*user_ctx*/) {
  reg().prefixes.emplace_back(data->eid.slot, data->prefix != nullptr ? data->prefix : "");
  return reg().answer;
}

void envmon_set_fru_current(int32_t slot, int32_t current) {
  reg().fru_currents.push_back(std::to_string(slot) + ":" + std::to_string(current));
}

}  // extern "C"

namespace {

class PemContainers : public testing::Test {
 protected:
  void SetUp() override {
    haltest::reset_pem();
    reg() = Registration{};
    for (uint8_t t = 0; t < 2; ++t) {
      for (uint8_t p = 0; p < trays.trays[t].num_pems; ++p) {
        pem_record& r = trays.at(t, p);
        r.hw_position = 60 + t * 2 + p;
        r.cont_eid = eid_with(ENVMON_SLOT_SELF, {{5, 7, static_cast<uint32_t>(t * 2 + p)}});
        r.container_reg_state = 0x08000006;
      }
    }
  }
  void TearDown() override {
    for (uint8_t t = 0; t < 2; ++t) {
      for (uint8_t p = 0; p < trays.trays[t].num_pems; ++p) {
        if (trays.at(t, p).cont_eid.tsi != nullptr) envmon_free_tsi(&trays.at(t, p).cont_eid);
      }
    }
  }
  haltest::Chassis chassis{0x60010000};
  haltest::PowerTrays trays{2, 1};
};

TEST_F(PemContainers, EveryPowerModuleContainerIsRegisteredByItsSlot) {
  uint32_t count = 5;
  envmon_hal_inv_invreg_rm_register_chassis_lvl_eids(&count);
  EXPECT_EQ(reg().containers, (std::vector<std::pair<uint32_t, uint32_t>>{{60, 0}, {61, 1}, {62, 2}}));
  EXPECT_EQ(count, 8u);
  for (uint8_t t = 0; t < 2; ++t) {
    for (uint8_t p = 0; p < trays.trays[t].num_pems; ++p) {
      const pem_record& r = trays.at(t, p);
      EXPECT_EQ(r.container_reg_state, 0xf8000005u) << "outstanding, bit 27 kept";
      EXPECT_EQ(r.eid.slot, static_cast<uint32_t>(r.hw_position));
      EXPECT_EQ(r.eid.rack, ENVMON_RACK_UNKNOWN);
    }
  }
}

TEST_F(PemContainers, RefusalsAndUncopyableIdsLeaveTheirWordsAsTheyAre) {
  envmon_free_tsi(&trays.at(0, 1).cont_eid);
  trays.at(0, 1).cont_eid.tsi_count = 2;  // levels missing: cannot be copied
  reg().answer = -1;
  uint32_t count = 0;
  envmon_hal_inv_invreg_rm_register_chassis_lvl_eids(&count);
  EXPECT_EQ(reg().containers.size(), 2u);
  EXPECT_EQ(count, 0u) << "refused requests are not counted";
  EXPECT_EQ(trays.at(0, 1).container_reg_state, 0x08000006u);
  EXPECT_EQ(trays.at(0, 0).container_reg_state, 0xf8000005u) << "a refused request is retried";
  trays.at(0, 1).cont_eid.tsi_count = 0;
  envmon_hal_inv_invreg_rm_register_chassis_lvl_eids(nullptr);  // no counter given
}

TEST_F(PemContainers, NothingIsSentWhileTheRackClientIsDown) {
  reg().connected = false;
  uint32_t count = 1;
  envmon_hal_inv_invreg_rm_register_chassis_lvl_eids(&count);
  EXPECT_TRUE(reg().containers.empty());
  EXPECT_EQ(count, 1u);
}

class Prefixes : public testing::Test {
 protected:
  void SetUp() override {
    haltest::reset_pem();
    reg() = Registration{};
    pem().pem_slots = {60};
    ASSERT_EQ(nodeid_create2(1, 0, 0, 0, 0, &node), 0);
    chassis.rm.rack_nodeid = node;
    chassis.rm.rack_nodeid_valid = 1;
    budgets[1].eid = eid_with(42, {{6, 5, 2}});
    chassis.pm.fantray_pbudget = budgets;
    trays.at(0, 0).ps_eid = eid_with(60, {{5, 7, 0}, {9, 6, 1}});
  }
  void TearDown() override {
    envmon_free_tsi(&budgets[1].eid);
    envmon_free_tsi(&trays.at(0, 0).ps_eid);
    nodeid_destroy(node);
  }
  // The prefix the location library gives for a backplane slot of this rack.
  static std::string expected(int32_t slot) {
    platform_fru_entity loc;
    platform_fru_entity_init(&loc);
    loc.chassis_class = 1;
    loc.rack = 0;
    loc.bp_slot_id = slot;
    platform_prefix_names names{};
    EXPECT_EQ(platform_create_prefix(&loc, &names), 0);
    return names.prefix_with_dash;
  }
  haltest::Chassis chassis{0x60010000};
  haltest::PowerTrays trays{1, 0};
  envmon_entity_pbudget_info_t budgets[3]{};
  nodeid_td node = nullptr;
};

TEST_F(Prefixes, AFanTrayPrefixGoesToInventoryAndToItsRecord) {
  envmon_hal_inv_invreg_update_entity_prefix(42);
  const std::string prefix = expected(42);
  ASSERT_FALSE(prefix.empty());
  EXPECT_EQ(prefix.back(), '-');
  EXPECT_EQ(reg().prefixes, (std::vector<std::pair<uint32_t, std::string>>{{42, prefix}}));
  EXPECT_STREQ(chassis.fantrays[1].prefix_str, prefix.c_str());
}

TEST_F(Prefixes, APowerModulePrefixGoesToInventoryAndToThePemLibrary) {
  envmon_hal_inv_invreg_update_entity_prefix(60);
  const std::string prefix = expected(60);
  EXPECT_EQ(reg().prefixes, (std::vector<std::pair<uint32_t, std::string>>{{60, prefix}}));
  EXPECT_EQ(pem().calls.back(), "envmon_pem_update_prefix_str(60, " + prefix + ")");
}

TEST_F(Prefixes, NothingIsSentWithoutNodeIdEntityOrClient) {
  struct Case {
    const char* name;
    std::function<void()> setup;
    int32_t slot;
  };
  const std::vector<Case> cases = {
      {"node id not valid", [this] { chassis.rm.rack_nodeid_valid = 0; }, 42},
      {"a slot that is neither", [] {}, 10},
      {"a fan tray without its entity id", [] {}, 41},
      {"rack client down", [] { reg().connected = false; }, 42},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    reg() = Registration{};
    chassis.rm.rack_nodeid_valid = 1;
    c.setup();
    envmon_hal_inv_invreg_update_entity_prefix(c.slot);
    EXPECT_TRUE(reg().prefixes.empty());
  }
  EXPECT_STREQ(chassis.fantrays[1].prefix_str, "");
}

TEST(BoardCurrent, FruCurrentOfACardSlotFollowsItsBoardSensors) {
  haltest::Chassis chassis(0x60010000);
  haltest::reset_pem();
  pem().pem_slots = {60};
  reg() = Registration{};
  struct Step {
    uint32_t event;
    uint32_t slot;
    const char* name;
    int32_t value;
    const char* published;  // "" none
  };
  const Step steps[] = {
      {5, 10, "Board Current", 500, "10:500"},
      {5, 10, "Board Current", 600, "10:600"},
      {5, 64, "Board Current", 500, ""},     // beyond the card slots
      {5, 60, "Board Current", 500, ""},     // a power module
      {5, 10, "ASIC Current", 900, ""},      // not a board sensor
      {3, 10, "Board Current", 700, ""},     // not a current reading
      {5, 10, "Board Current 2", 300, "10:900"},
      {5, 10, "Board Current", 100, ""},     // the second sensor leads now
      {5, 10, "Board Current 2", 200, "10:300"},
      {5, 11, "Board Current", 40, "11:40"},
  };
  for (const Step& s : steps) {
    SCOPED_TRACE(std::to_string(s.slot) + " " + s.name + " " + std::to_string(s.value));
    reg().fru_currents.clear();
    inv_notify_event_data data{};
    data.event = s.event;
    data.value.eid.slot = s.slot;
    data.value.name = const_cast<char*>(s.name);
    data.value.value = s.value;
    envmon_hal_inv_capi_notify_event(&data);
    EXPECT_EQ(reg().fru_currents, std::string(s.published).empty() ? std::vector<std::string>{}
                                                                   : std::vector<std::string>{s.published});
  }
}

TEST(InventoryHooks, HandOverToThePemLibrary) {
  haltest::Chassis chassis(0x60010000);
  pelm_eid eid{};
  struct Case {
    const char* name;
    std::function<void()> call;
    std::string want;
  };
  const std::vector<Case> cases = {
      {"connect", [] { envmon_hal_inv_invreg_rm_connect(); }, "envmon_pem_inv_invreg_rm_connect()"},
      {"disconnect", [] { envmon_hal_inv_invreg_rm_disconnect(); }, "envmon_pem_inv_invreg_rm_disconnect()"},
      {"flow resumed", [] { envmon_hal_invreg_flow_resume_chk_n_resend_pwr_data(); },
       "envmon_invreg_flow_resume_chk_n_resend_pem_data()"},
      {"entity registered", [&] { envmon_hal_inv_invreg_response_register_eid(7, &eid); },
       "envmon_pem_inv_invreg_response_register_eid(7, " + ptr(&eid) + ")"},
      {"EEPROM acknowledged", [] { envmon_hal_inv_invreg_response_report_eeprom_data(nullptr, 60); },
       "envmon_pem_inv_invreg_response_report_eeprom_data(" + ptr(nullptr) + ", 60)"},
      {"FRU type registered", [] { envmon_hal_inv_invreg_rm_response_register_fru_type(nullptr, 61); },
       "envmon_pem_inv_invreg_rm_response_register_fru_type(" + ptr(nullptr) + ", 61)"},
      {"FRU type unregistered", [] { envmon_hal_inv_invreg_rm_response_unregister_fru_type(nullptr, 61); },
       "envmon_pem_inv_invreg_rm_response_unregister_fru_type(" + ptr(nullptr) + ", 61)"},
      {"container registered", [] { envmon_hal_inv_invreg_rm_response_register_container_eid(nullptr, 62); },
       "envmon_pem_inv_invreg_rm_response_register_container_eid(" + ptr(nullptr) + ", 62)"},
      {"FRU registration", [] { envmon_hal_inv_invreg_rm_register_powertray_entities_fru(1, 2, 0xab010000, "S", 1, 3, 4); },
       "envmon_pem_inv_invreg_rm_register_powertray_entities_fru(1, 2, 0xab010000, S, 1, 3, 4)"},
      {"FRU unregistration", [] { envmon_hal_inv_invreg_rm_unregister_powertray_entities_fru(1, 2, 0xab010000); },
       "envmon_pem_inv_invreg_rm_unregister_powertray_entities_fru(1, 2, 0xab010000)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    haltest::reset_pem();
    c.call();
    EXPECT_EQ(pem().calls, std::vector<std::string>{c.want});
  }
  haltest::reset_pem();
  EXPECT_EQ(envmon_hal_convert_pd_type_2_inv_pi_type(0xab010000), 9u);
  pem().answer = 1;
  EXPECT_EQ(envmon_hal_convert_pd_type_2_inv_pi_type(0x1234), 0u) << "a type the PEM library does not know";
  EXPECT_EQ(envmon_hal_get_powertray_inv_hw_type(), 0xFFFFFFFFu);
}

}  // namespace

// Registration requests: what reaches the inventory model, the state words
// the requests leave, and the refusals.
#include <stdlib.h>

#include "inv_parser.h"
#include "invreg_fixture.h"
#include "invreg_wire.h"
#include "nodeid.h"

using namespace invtest;
namespace w = invreg_wire;

namespace {

using envmon::invreg::stamp_eeprom;
using envmon::invreg::stamp_poll;
using envmon::invreg::stamp_reg;
using envmon::invreg::stamp_unreg;

TEST(InvregStamps, KeepBit27SetTheirPendingBitAndClearTheirPair) {
  struct Case {
    const char* name;
    uint32_t (*stamp)(uint32_t);
    uint32_t word;
    uint32_t expected;
  };
  const Case cases[] = {
      {"registration, bit 27 clear", stamp_reg, 0x00000002, 0xf0000001},
      {"registration, bit 27 set", stamp_reg, 0x08000002, 0xf8000001},
      {"registration keeps other bits", stamp_reg, 0x00100240, 0xf0100241},
      {"EEPROM clears its done bit", stamp_eeprom, 0x00000023, 0xf0000013},
      {"polling clears its done bit", stamp_poll, 0x08000203, 0xf8000103},
      {"unregistration clears its done bit", stamp_unreg, 0x0000000a, 0xf0000006},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const uint32_t w = c.stamp(c.word);
    EXPECT_EQ(w, c.expected);
  }
  EXPECT_EQ(stamp_reg(0) >> 27, 30u);
  EXPECT_EQ(stamp_reg(0x08000000) >> 27, 31u);
}

class InvregReg : public InvregTest {};

TEST_F(InvregReg, NodeSensorsReachTheModelAndArePendingWithTheirRetries) {
  connect_node();
  envmon_sensor_list& list = nm().temp_data;
  fill_list(list, ENVMON_SLOT_SELF, ENVMON_SENSOR_TEMPERATURE, 3, "Inlet");
  list.sensors[1].state |= 0x08000000;  // bit 27 set before
  model().clear_received();
  EXPECT_EQ(envmon_inv_invreg_register_sensors(ENVMON_SCOPE_NODE, list.sensors, 3), ENVMON_OK);
  run();
  const auto got = model().received_of(w::kRegisterEid);
  ASSERT_EQ(got.size(), 1u) << "one request for the whole list";
  EXPECT_EQ(got[0].scope, ENVMON_SCOPE_NODE);
  EXPECT_EQ(got[0].count, 3u);
  for (uint16_t i = 0; i < 3; ++i) {
    SCOPED_TRACE(i);
    const invdb::Entity* e = in_model(list.sensors[i]);
    ASSERT_NE(e, nullptr);
    EXPECT_TRUE(e->registered);
    EXPECT_EQ(e->scope, ENVMON_SCOPE_NODE);
  }
  EXPECT_EQ(list.sensors[0].state >> 27, 30u);
  EXPECT_EQ(list.sensors[1].state >> 27, 31u);
  EXPECT_EQ(nm_counter(envmon::invreg::kNmRegEid), 3u);
}

TEST_F(InvregReg, RefusedRequestsSendNothingAndLeaveTheWordsAlone) {
  envmon_sensor_list& list = own_list(ENVMON_SLOT_SELF, ENVMON_SENSOR_VOLTAGE, 2, "VP");
  struct Case {
    const char* name;
    uint32_t scope;
    envmon_sensor_info* sensors;
    uint16_t count;
    envmon_err_t expected;
  };
  // The node client does not exist yet: no client of scope 3 either.
  const Case before[] = {
      {"null array", ENVMON_SCOPE_NODE, nullptr, 2, ENVMON_ERR_INVALID_ARG},
      {"zero count", ENVMON_SCOPE_NODE, list.sensors, 0, ENVMON_ERR_INVALID_ARG},
      {"scope 2 has no client", 2, list.sensors, 2, ENVMON_ERR_INVALID_ARG},
      {"rack client does not exist", ENVMON_SCOPE_RACK, list.sensors, 2, ENVMON_ERR_INVALID_ARG},
  };
  for (const Case& c : before) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(envmon_inv_invreg_register_sensors(c.scope, c.sensors, c.count), c.expected);
  }
  // A client that exists but has not connected yet.
  ASSERT_EQ(envmon_inv_invreg_nm_client_init(loop()), ENVMON_OK);
  EXPECT_EQ(envmon_inv_invreg_register_sensors(ENVMON_SCOPE_NODE, list.sensors, 2),
            ENVMON_ERR_NOT_CONNECTED);
  EXPECT_EQ(list.sensors[0].state, ENVMON_ST_FROM_XML) << "nothing stamped";
  EXPECT_TRUE(model().received_of(w::kRegisterEid).empty());
}

TEST_F(InvregReg, AFailedSendStillStampsSoTheStateMachineSendsAgain) {
  connect_node();
  envmon_sensor_list& list = own_list(ENVMON_SLOT_SELF, ENVMON_SENSOR_CURRENT, 2, "Curr");
  invsvc_local::invreg_hub().set_flow_controlled(ENVMON_SCOPE_NODE, true);
  model().clear_received();
  EXPECT_EQ(envmon_inv_invreg_register_sensors(ENVMON_SCOPE_NODE, list.sensors, 2),
            ENVMON_ERR_NOT_CONNECTED);
  run();
  EXPECT_TRUE(model().received_of(w::kRegisterEid).empty());
  for (uint16_t i = 0; i < 2; ++i)
    EXPECT_EQ(list.sensors[i].state & 0xf0000003, 0xf0000001u) << "pending with 30 retries";
  invsvc_local::invreg_hub().set_flow_controlled(ENVMON_SCOPE_NODE, false);
}

TEST_F(InvregReg, UnregisteredSensorsAreNeitherPendingNorRegistered) {
  connect_node();
  envmon_sensor_list& list = nm().temp_data;
  fill_list(list, ENVMON_SLOT_SELF, ENVMON_SENSOR_TEMPERATURE, 2, "Temp");
  ASSERT_EQ(envmon_inv_invreg_register_sensors(ENVMON_SCOPE_NODE, list.sensors, 2), ENVMON_OK);
  run();
  ASSERT_TRUE(in_model(list.sensors[0])->registered);
  ASSERT_NE(list.sensors[0].state & ENVMON_ST_REG_DONE, 0u) << "registration acknowledged";
  EXPECT_EQ(envmon_inv_invreg_unregister_sensors(ENVMON_SCOPE_NODE, list.sensors, 2), ENVMON_OK);
  run();
  EXPECT_FALSE(in_model(list.sensors[0])->registered);
  EXPECT_FALSE(in_model(list.sensors[1])->registered);
  for (uint16_t i = 0; i < 2; ++i)
    EXPECT_EQ(list.sensors[i].state & (ENVMON_ST_REG_PENDING | ENVMON_ST_REG_DONE), 0u);
  EXPECT_TRUE(invtest::calls_of("envmon_hal_fan_mgmt_sensor_fault_event").empty())
      << "faults are cleared only on obv8k platforms";
}

TEST_F(InvregReg, UnregistrationOnObv8kClearsEachSensorsFaultFirst) {
  answers().platform_name = "Tavrin-OBV8K-x";
  connect_node();
  envmon_sensor_list& list = own_list(ENVMON_SLOT_SELF, ENVMON_SENSOR_TEMPERATURE, 2, "Temp");
  ASSERT_EQ(envmon_inv_invreg_unregister_sensors(ENVMON_SCOPE_NODE, list.sensors, 2), ENVMON_OK);
  EXPECT_EQ(invtest::calls_of("envmon_hal_fan_mgmt_sensor_fault_event"),
            (std::vector<std::string>{"envmon_hal_fan_mgmt_sensor_fault_event(65534,1,3)",
                                      "envmon_hal_fan_mgmt_sensor_fault_event(65534,1,3)"}));
}

// A chassis description with two fan-tray containers; the second id is not in it.
constexpr char kChassisXml[] = R"(<inventory>
  <entity type="3" subtype="1" instance="1" name="Chassis" root="1"/>
  <entity tsi="3/1/1 5/5/1" name="FT0" logic_slot="40"/>
  <entity tsi="3/1/1 5/5/2" name="FT1" logic_slot="41"/>
</inventory>)";

inv_eid inv_id(std::initializer_list<inv_eid_level> levels) {
  inv_eid e{};
  e.rack = 0;
  e.slot = 0;
  for (const inv_eid_level& l : levels) e.levels[e.level_count++] = l;
  return e;
}

TEST_F(InvregReg, ContainersGoWithTheirLogicalSlotAndStopAtAnUnknownId) {
  inv_xml_handle_t xml = inv_parser_open_xml_buffer(kChassisXml, sizeof(kChassisXml) - 1, "chassis");
  ASSERT_NE(xml, nullptr);
  inv_eid ids[] = {inv_id({{3, 1, 1}, {5, 5, 1}}), inv_id({{3, 1, 1}, {5, 5, 9}}),
                   inv_id({{3, 1, 1}, {5, 5, 2}})};
  EXPECT_EQ(envmon_inv_invreg_rm_register_container_eid(ids, 3, xml), 0u)
      << "nothing is sent while the rack client is down";
  connect_rack();
  model().clear_received();
  EXPECT_EQ(envmon_inv_invreg_rm_register_container_eid(ids, 3, xml), 1u);
  run();
  const auto got = model().received_of(w::kRegisterContainer);
  ASSERT_EQ(got.size(), 1u) << "the unknown second id stops the loop";
  pelm_eid sent{};
  inv_eid first = ids[0];
  first.rack = ENVMON_RACK_UNKNOWN;
  first.slot = ENVMON_SLOT_SELF;
  inv_util_convert_eid_to_pelm_eid(&first, &sent);
  const invdb::Entity* e = model().find(sent);
  envmon_free_tsi(&sent);
  ASSERT_NE(e, nullptr) << "the container is named by rack and slot 0xfffe";
  ASSERT_TRUE(e->container.has_value());
  EXPECT_EQ(e->container->logic_slot, 40u);
  inv_parser_close_xml_file(xml);
}

TEST_F(InvregReg, FanTrayFruCarriesTheTraysPidSerialAndEvent) {
  envmon_set_hw_event_ctx(&tray(1).hw_ctx, 0x40, 0);
  EXPECT_EQ(envmon_inv_invreg_fan_fru_reg(kFanTraySlot0 + 1, 0xab040002, "SN1", nullptr, 0, nullptr),
            ENVMON_ERR_INVALID_ARG)
      << "refused while not connected";
  connect_rack();
  constexpr char kFanXml[] = R"(<inventory>
    <entity type="5" subtype="5" instance="1" name="FT" root="1"/>
    <entity tsi="5/5/1 9/38/1" name="FT IDPROM" category="6"/>
  </inventory>)";
  tray(1).fru_xml = inv_parser_open_xml_buffer(kFanXml, sizeof(kFanXml) - 1, "fan");
  ASSERT_EQ(envmon_inv_invreg_fan_fru_reg(kFanTraySlot0 + 1, 0xab040002, "SN1", nullptr, 0, nullptr),
            ENVMON_OK);
  run();
  pelm_eid fru{};
  envmon_setup_fru_eid(kFanTraySlot0 + 1, &fru);
  const invdb::Entity* e = model().find(fru);
  ASSERT_NE(e, nullptr);
  ASSERT_TRUE(e->fru.has_value());
  EXPECT_EQ(e->fru->fru_type, 7u);
  EXPECT_EQ(e->fru->pd_type, 0xab040002u);
  EXPECT_EQ(e->fru->slot, kFanTraySlot0 + 1);
  EXPECT_EQ(e->fru->serial_num, "SN1");
  EXPECT_EQ(e->fru->reg_flag, 1u);
  EXPECT_EQ(e->fru->name, "FAN-TRAY-1");
  ASSERT_TRUE(e->fru->event.has_value());
  EXPECT_EQ(e->fru->event->type, 4u);
  EXPECT_EQ(e->fru->event->state, 2u);
  EXPECT_EQ(e->fru->event->descr, "HW Not Operational");
  EXPECT_EQ(rm_counter(envmon::invreg::kRmRegFanFru), 1u);

  ASSERT_EQ(envmon_inv_invreg_fan_fru_unreg(kFanTraySlot0 + 1), ENVMON_OK);
  run();
  EXPECT_FALSE(model().find(fru)->fru.has_value());
  EXPECT_EQ(rm_counter(envmon::invreg::kRmUnregFanFru), 1u);
  inv_parser_close_xml_file(tray(1).fru_xml);
}

TEST_F(InvregReg, EepromEntityIsRegisteredReportedAndTakesOverTheCallersId) {
  constexpr char kFanXml[] = R"(<inventory>
    <entity type="5" subtype="5" instance="1" name="FT" root="1"/>
    <entity tsi="5/5/1 9/38/1" name="FT IDPROM" category="6"/>
  </inventory>)";
  inv_xml_handle_t xml = inv_parser_open_xml_buffer(kFanXml, sizeof(kFanXml) - 1, "fan");
  ASSERT_NE(xml, nullptr);
  connect_rack();
  uint8_t image[256] = {0x11, 0x22, 0x33};
  pelm_eid caller = entity_eid(kFanTraySlot0, 1, 1, 1);
  envmon_reg_and_set_eeprom_data(xml, kFanTraySlot0, &caller, image, sizeof(image));
  run();
  ASSERT_EQ(caller.tsi_count, 2u) << "the caller's record now holds the IDPROM entity";
  EXPECT_EQ(caller.tsi[1].subtype, 38u);
  EXPECT_EQ(caller.slot, kFanTraySlot0);
  const invdb::Entity* e = model().find(caller);
  ASSERT_NE(e, nullptr);
  EXPECT_TRUE(e->registered);
  ASSERT_TRUE(e->eeprom.has_value());
  EXPECT_EQ(e->eeprom->pid, "IDPROM-PID");
  ASSERT_EQ(e->eeprom->raw.size(), 256u);
  EXPECT_EQ(e->eeprom->raw[2], 0x33);
  EXPECT_EQ(rm_counter(envmon::invreg::kRmProm), 1u);
  envmon_free_tsi(&caller);
  inv_parser_close_xml_file(xml);
}

TEST_F(InvregReg, AFruDescriptionWithoutIdpromEntityEndsTheServer) {
  constexpr char kNoIdprom[] = R"(<inventory><entity type="5" subtype="5" instance="1"/></inventory>)";
  EXPECT_EXIT(
      {
        inv_xml_handle_t xml = inv_parser_open_xml_buffer(kNoIdprom, sizeof(kNoIdprom) - 1, "x");
        pelm_eid eid{};
        envmon_reg_and_set_eeprom_data(xml, 40, &eid, nullptr, 0);
      },
      ::testing::ExitedWithCode(255), "");
}

TEST_F(InvregReg, OneEidWhileTheRackClientIsDownAnswersTheAlreadyDoneValue) {
  pelm_eid eid = entity_eid(kFanTraySlot0, 9, 38, 1);
  EXPECT_EQ(static_cast<uint32_t>(envmon_rm_reg_one_eid(&eid, 1)), 0xca100802u);
  envmon_free_tsi(&eid);
}

TEST_F(InvregReg, ContainerLocationGoesOnceNodeIdsAreKnownAndNotBeyondTheSlots) {
  connect_rack();
  pelm_eid cont = entity_eid(ENVMON_SLOT_SELF, 5, 5, 1);
  const uint32_t slot = kFanTraySlot0;
  // Node ids not known yet: the container is only stored.
  envmon_upd_inv_container_eid_nodeid(ENVMON_SCOPE_RACK, slot, &cont);
  run();
  ASSERT_NE(rm().fru_objs_lst[slot].cont_eid, nullptr);
  EXPECT_EQ(rm().fru_objs_lst[slot].cont_eid->tsi_count, 1u);
  EXPECT_TRUE(model().received_of(w::kContainerLocation).empty());
  // Known: the location is sent with the node id's text.
  nodeid_td node = nullptr;
  ASSERT_EQ(nodeid_create(0, 3, 0, &node), 0);
  rm().fru_objs_lst[slot].nodeid = node;
  rm().rack_nodeid_valid = 1;
  envmon_upd_inv_container_eid_nodeid(ENVMON_SCOPE_RACK, slot, &cont);
  run();
  const invdb::Entity* e = model().find(cont);
  ASSERT_NE(e, nullptr);
  ASSERT_TRUE(e->container.has_value() && e->container->location.has_value());
  char text[32] = {};
  nodeid_to_str_external(node, text, sizeof(text));
  EXPECT_EQ(*e->container->location, text);
  // A slot equal to the number of inventory slots is refused.
  model().clear_received();
  envmon_upd_inv_container_eid_nodeid(ENVMON_SCOPE_RACK, answers().max_inv_slots, &cont);
  run();
  EXPECT_TRUE(model().received_of(w::kContainerLocation).empty());
  nodeid_destroy(node);
  rm().fru_objs_lst[slot].nodeid = nullptr;
  envmon_free_tsi(&cont);
}

TEST_F(InvregReg, PowerTrayFruTakesTheCardNameCutWhenTheIdpromHasNoPid) {
  answers().max_powertray = 1;
  answers().powertray_types[0x7e] = 0x44;
  answers().idprom_pid_rc = 22;
  answers().card_names[0x7e] = "TV-PWR-TRAY-LONG-NAME-X";
  envmon_pwr_tray_budget trays[1] = {};
  trays[0].hw_position = 70;
  trays[0].state = 1;
  rm().pwr_mgmt_data->envmon_pwr_tray_data = trays;
  rm().pwr_tray_count = 1;
  connect_rack();
  envmon_inv_invreg_reg_pwr_fru(0, 0, 0x7e, "PTSERIAL01", 11, 0, 0);
  run();
  pelm_eid fru{};
  envmon_setup_fru_eid(70, &fru);
  const invdb::Entity* e = model().find(fru);
  ASSERT_NE(e, nullptr);
  ASSERT_TRUE(e->fru.has_value());
  EXPECT_EQ(e->fru->fru_type, 0x44u);
  EXPECT_EQ(e->fru->pd_type, 0x7eu);
  EXPECT_EQ(e->fru->serial_num, "PTSERIAL01");
  EXPECT_EQ(e->fru->name, "TV-PWR-TRAY-LONG-") << "the card name, cut to 17 characters";
  EXPECT_STREQ(trays[0].pid, "TV-PWR-TRAY-LONG-");
  ASSERT_TRUE(e->fru->event.has_value());
  EXPECT_EQ(e->fru->event->descr, "HW Operational");
  // Not a power tray: the hardware abstraction registers the PEM FRU.
  envmon_inv_invreg_reg_pwr_fru(1, 2, 0x99, "S", 1, 3, 4);
  EXPECT_EQ(invtest::calls_of("envmon_hal_inv_invreg_rm_register_powertray_entities_fru"),
            std::vector<std::string>{
                "envmon_hal_inv_invreg_rm_register_powertray_entities_fru(1,2,0x99,S,1,3,4)"});
  rm().pwr_mgmt_data->envmon_pwr_tray_data = nullptr;
}

}  // namespace

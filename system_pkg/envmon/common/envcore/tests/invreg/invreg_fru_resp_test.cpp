// FRU and container acknowledgements: a fan tray comes alive in inventory; a
// power tray's container leads to its FRU and the power driver.
#include "invreg_fixture.h"
#include "invreg_wire.h"

using namespace invtest;
namespace w = invreg_wire;

namespace {

using strings = std::vector<std::string>;

constexpr char kFanXml[] = R"(<inventory>
  <entity type="5" subtype="5" instance="1" name="FT" root="1"/>
  <entity tsi="5/5/1 9/35/1" name="FT-FPGA" category="6"/>
  <entity tsi="5/5/1 9/38/1" name="FT IDPROM" category="6"/>
</inventory>)";

class InvregFruResp : public InvregTest {
 protected:
  void SetUp() override {
    InvregTest::SetUp();
    connect_rack();
    clear_calls();
    model().clear_received();
  }
  void TearDown() override {
    for (uint32_t t = 0; t < answers().max_fantray; ++t)
      if (tray(t).fru_xml != nullptr) inv_parser_close_xml_file(tray(t).fru_xml);
    InvregTest::TearDown();
  }
  // A fan tray with its description, sensors, one FPD and an IDPROM image.
  void equip(uint32_t t) {
    fantray_cb& ft = tray(t);
    ft.fru_xml = inv_parser_open_xml_buffer(kFanXml, sizeof(kFanXml) - 1, "fan");
    ASSERT_NE(ft.fru_xml, nullptr);
    fill_list(ft.temp_data, ft.hw_position, ENVMON_SENSOR_TEMPERATURE, 1, "FT T");
    fill_list(ft.voltage_data, ft.hw_position, ENVMON_SENSOR_VOLTAGE, 1, "FT V");
    fill_list(ft.current_data, ft.hw_position, ENVMON_SENSOR_CURRENT, 1, "FT I");
    fill_list(ft.fan_data, ft.hw_position, ENVMON_SENSOR_FAN_SPEED, 2, "Fan");
    fill_list(ft.subtype13_data, ft.hw_position, ENVMON_SENSOR_LED, 1, "LED");
    fpd_[t] = fpd_data{};
    fpd_data& fpd = fpd_[t];
    snprintf(fpd.name, sizeof(fpd.name), "FT-FPGA");
    fpd.eid.rack = ENVMON_RACK_UNKNOWN;
    fpd.eid.slot = static_cast<uint16_t>(ft.hw_position);
    fpd.eid.level_count = 2;
    fpd.eid.levels[0] = {5, 5, 1};
    fpd.eid.levels[1] = {9, 35, 1};
    ft.fpd_data = &fpd;
    ft.fpd_count = 1;
    for (size_t i = 0; i < sizeof(image_); ++i) image_[i] = static_cast<uint8_t>(i);
    ft.eeprom = image_;
    ft.eeprom_len = sizeof(image_);
  }
  void unequip(uint32_t t) {
    tray(t).fpd_data = nullptr;
    tray(t).fpd_count = 0;
    tray(t).eeprom = nullptr;
  }
  fpd_data fpd_[3];
  uint8_t image_[256];
};

TEST_F(InvregFruResp, AnAcceptedFanTrayComesAliveInInventory) {
  equip(0);
  fantray_cb& ft = tray(0);
  ft.flags = envmon::invreg::stamp_reg(0);  // as the caller stamps it
  ASSERT_EQ(envmon_inv_invreg_fan_fru_reg(ft.hw_position, 0xab040002, "SN", nullptr, 0, nullptr),
            ENVMON_OK);
  run();
  // Registered, then its EEPROM reported and acknowledged.
  EXPECT_EQ(ft.flags & 0x33u, 0x33u);
  EXPECT_EQ(rm_counter(envmon::invreg::kRmRegFanFruack), 1u);
  // The root entity: in inventory and in the tray's power-budget record.
  const envmon_entity_pbudget_info_t& budget = rm().pwr_mgmt_data->fantray_pbudget[0];
  ASSERT_EQ(budget.eid.tsi_count, 1u);
  EXPECT_EQ(budget.eid.rack, ENVMON_RACK_UNKNOWN);
  EXPECT_EQ(budget.eid.slot, ft.hw_position);
  ASSERT_NE(model().find(budget.eid), nullptr);
  EXPECT_TRUE(model().find(budget.eid)->registered);
  // The FPD entity, its record stamped and acknowledged.
  EXPECT_NE(fpd_[0].reg_state & ENVMON_ST_REG_DONE, 0u);
  EXPECT_EQ(invtest::calls_of("envmon_drvif_get_fpd_info"),
            strings{"envmon_drvif_get_fpd_info(2,40)"});
  // Every sensor list, on the rack scope.
  for (envmon_sensor_list* l : {&ft.temp_data, &ft.voltage_data, &ft.current_data, &ft.fan_data,
                                &ft.subtype13_data}) {
    for (uint16_t i = 0; i < l->count; ++i) {
      SCOPED_TRACE(l->sensors[i].name);
      ASSERT_NE(in_model(l->sensors[i]), nullptr);
      EXPECT_TRUE(in_model(l->sensors[i])->registered);
      EXPECT_EQ(in_model(l->sensors[i])->scope, ENVMON_SCOPE_RACK);
    }
    EXPECT_NE(l->reg_state & ENVMON_ST_POLL_PENDING, 0u);
  }
  EXPECT_EQ(ft.power_data.reg_state, 0u) << "an empty list gets no stamp";
  EXPECT_EQ(invtest::calls_of("envmon_drvif_poll_request"),
            (strings{"envmon_drvif_poll_request(Fan 1,2,3,1)", "envmon_drvif_poll_request(FT T 1,1,3,1)",
                     "envmon_drvif_poll_request(FT V 1,1,3,1)", "envmon_drvif_poll_request(FT I 1,1,3,1)",
                     "envmon_drvif_poll_request(LED 1,1,3,1)"}));
  // The IDPROM entity replaced the tray's id and carries the image.
  ASSERT_EQ(ft.ceid.tsi_count, 2u);
  EXPECT_EQ(ft.ceid.tsi[1].subtype, 38u);
  const invdb::Entity* prom = model().find(ft.ceid);
  ASSERT_TRUE(prom && prom->eeprom);
  EXPECT_EQ(prom->eeprom->raw.size(), 256u);
  EXPECT_EQ(invtest::calls_of("envmon_hal_fan_mgmt_inv_reg_set_state"),
            strings{"envmon_hal_fan_mgmt_inv_reg_set_state(0,1)"});
  EXPECT_EQ(invtest::calls_of("envmon_obfl_write_env"),
            (strings{"envmon_obfl_write_env_temp_thresholds(FT T 1,1,40,1,0)",
                     "envmon_obfl_write_env_volt_thresholds(FT V 1,1,40,1,0)"}));
  EXPECT_GE(invtest::count_of("envmon_ceb_fsa_sched_event(9)"), 1u);
  unequip(0);
}

TEST_F(InvregFruResp, TheDefaultChassisFanTrayDescriptionCarriesWhatTheTrayNeeds) {
  fantray_cb& ft = tray(0);
  ft.fru_xml = inv_parser_open_xml_file(SIM_DATA_DIR "/xml/moduleTavrinFan2_8slot.xml");
  ASSERT_NE(ft.fru_xml, nullptr);
  ft.flags = envmon::invreg::stamp_reg(0);
  envmon_inv_invreg_fan_fru_reg(ft.hw_position, 0xab040002, "SN", nullptr, 0, nullptr);
  run();
  EXPECT_EQ(ft.flags & 0x33u, 0x33u) << "registered and its EEPROM reported";
  ASSERT_EQ(ft.ceid.tsi_count, 2u);
  EXPECT_EQ(ft.ceid.tsi[1].type, 9u);
  EXPECT_EQ(ft.ceid.tsi[1].subtype, 38u);
  EXPECT_TRUE(model().find(rm().pwr_mgmt_data->fantray_pbudget[0].eid)->registered);
}

TEST_F(InvregFruResp, ASecondaryFanTrayIsPolledThroughTheSecondFanDriver) {
  answers().primary_fantrays = 2;
  equip(2);
  envmon_inv_invreg_fan_fru_reg(tray(2).hw_position, 0xab040002, "SN", nullptr, 0, nullptr);
  run();
  for (const std::string& c : invtest::calls_of("envmon_drvif_poll_request"))
    EXPECT_EQ(c.substr(c.rfind(',')), ",14)") << c;
  EXPECT_EQ(invtest::count_of("envmon_drvif_poll_request"), 5u);
  unequip(2);
}

TEST_F(InvregFruResp, RetryAndErrorCodesOfAFanTrayFru) {
  equip(1);
  fantray_cb& ft = tray(1);
  model().script_acks(w::kRegisterFruType, {8});
  ft.flags = envmon::invreg::stamp_reg(0);
  envmon_inv_invreg_fan_fru_reg(ft.hw_position, 0xab040002, "SN", nullptr, 0, nullptr);
  run();
  EXPECT_EQ(ft.flags, 0xf0000001u) << "a retry changes nothing";
  EXPECT_EQ(rm_counter(envmon::invreg::kRmRegFanFruack), 0u);
  EXPECT_TRUE(model().received_of(w::kRegisterEid).empty());
  model().script_acks(w::kRegisterFruType, {11});
  envmon_inv_invreg_fan_fru_reg(ft.hw_position, 0xab040002, "SN", nullptr, 0, nullptr);
  run();
  EXPECT_EQ(ft.flags, 0xf0000000u) << "an error drops the pending bit";
  EXPECT_EQ(rm_counter(envmon::invreg::kRmRegFanFruack), 1u) << "errors are counted too";
  EXPECT_TRUE(model().received_of(w::kRegisterEid).empty()) << "nothing comes alive";
  unequip(1);
}

TEST_F(InvregFruResp, FanTrayUnregistrationAcknowledgement) {
  struct Case {
    const char* name;
    uint32_t code;
    uint32_t expected;
    size_t set_state_calls;
  };
  const Case cases[] = {{"accepted", 1, 0xf000000c, 1}, {"retry", 5, 0xf0000004, 0},
                        {"error", 2, 0xf0000000, 0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    clear_calls();
    tray(0).flags = envmon::invreg::stamp_unreg(0);
    model().script_acks(w::kUnregisterFruType, {c.code});
    envmon_inv_invreg_fan_fru_unreg(tray(0).hw_position);
    run();
    EXPECT_EQ(tray(0).flags, c.expected);
    EXPECT_EQ(invtest::count_of("envmon_hal_fan_mgmt_inv_reg_set_state(0,0)"), c.set_state_calls);
  }
}

TEST_F(InvregFruResp, FanTrayContainerSendsItsLocationAndPublishesAllocations) {
  constexpr char kChassisXml[] = R"(<inventory>
    <entity tsi="3/1/1 5/5/1" name="FT0" logic_slot="40"/>
  </inventory>)";
  inv_xml_handle_t xml = inv_parser_open_xml_buffer(kChassisXml, sizeof(kChassisXml) - 1, "c");
  inv_eid cont{};
  cont.level_count = 2;
  cont.levels[0] = {3, 1, 1};
  cont.levels[1] = {5, 5, 1};
  rm().fan_cont_reg_state[0] = envmon::invreg::stamp_reg(0);
  envmon_inv_invreg_rm_register_container_eid(&cont, 1, xml);
  run();
  EXPECT_EQ(rm().fan_cont_reg_state[0] & 0x3u, 0x3u);
  EXPECT_EQ(rm().fan_cont_pelm_eids[0].tsi_count, 2u) << "the container id is kept";
  ASSERT_NE(rm().fru_objs_lst[kFanTraySlot0].cont_eid, nullptr);
  EXPECT_EQ(invtest::calls_of("envmon_fru_power_alloc_update_all"),
            strings{"envmon_fru_power_alloc_update_all(1)"});
  // Refused: the pending bit goes.
  model().script_acks(w::kRegisterContainer, {2});
  rm().fan_cont_reg_state[0] = envmon::invreg::stamp_reg(0);
  envmon_inv_invreg_rm_register_container_eid(&cont, 1, xml);
  run();
  EXPECT_EQ(rm().fan_cont_reg_state[0] & 0x3u, 0u);
  inv_parser_close_xml_file(xml);
}

TEST_F(InvregFruResp, PowerTrayContainersLeadToTheFruOnceAndThenToThePowerDriver) {
  answers().max_powertray = 2;
  answers().powertray_types[0x7e] = 0x44;
  envmon_pwr_tray_budget trays[2] = {};
  trays[0].hw_position = 70;
  trays[0].state = 1;
  trays[0].type = 0x7e;
  snprintf(trays[0].serial_num, sizeof(trays[0].serial_num), "PT00000001");
  trays[1].hw_position = 71;
  trays[1].state = 2;  // removed: no FRU
  trays[1].type = 0x7e;
  rm().pwr_mgmt_data->envmon_pwr_tray_data = trays;
  rm().pwr_tray_count = 2;
  uint32_t words[2] = {};
  rm().pwr_tray_cont_reg_state = words;
  constexpr char kChassisXml[] = R"(<inventory>
    <entity tsi="3/1/1 5/7/1" name="PT0" logic_slot="70"/>
    <entity tsi="3/1/1 5/7/2" name="PT1" logic_slot="71"/>
  </inventory>)";
  inv_xml_handle_t xml = inv_parser_open_xml_buffer(kChassisXml, sizeof(kChassisXml) - 1, "c");
  inv_eid conts[2] = {};
  for (uint16_t i = 0; i < 2; ++i) {
    conts[i].level_count = 2;
    conts[i].levels[0] = {3, 1, 1};
    conts[i].levels[1] = {5, 7, static_cast<uint16_t>(i + 1)};
  }
  envmon_inv_invreg_rm_register_container_eid(conts, 2, xml);
  run();
  EXPECT_EQ(trays[0].container_regi_done, 1);
  EXPECT_EQ(trays[1].container_regi_done, 1);
  EXPECT_EQ(model().received_of(w::kRegisterFruType).size(), 1u) << "only the present tray";
  pelm_eid fru{};
  envmon_setup_fru_eid(70, &fru);
  ASSERT_TRUE(model().find(fru) && model().find(fru)->fru);
  EXPECT_EQ(model().find(fru)->fru->serial_num, "PT00000001");
  // The FRU acknowledgement: registered, the tray's entities set.
  EXPECT_NE(trays[0].reg_state & ENVMON_PT_REG_DONE, 0u);
  EXPECT_NE(trays[0].reg_state & ENVMON_PT_SET_PENDING, 0u);
  EXPECT_EQ(invtest::calls_of("envmon_hal_inv_invreg_rm_register_powertray_entities"),
            strings{"envmon_hal_inv_invreg_rm_register_powertray_entities(0)"});
  EXPECT_EQ(invtest::count_of("envmon_drvif_pwr_regi"), 0u) << "the power driver is not connected";
  // Acknowledged again: no second FRU; with the driver connected and every
  // tray's container in, the power driver registration follows.
  nm().drvif_connected[ENVMON_DRV_POWER] = 1;
  answers().all_pt_containers_done = true;
  envmon_inv_invreg_rm_register_container_eid(conts, 1, xml);
  run();
  EXPECT_EQ(model().received_of(w::kRegisterFruType).size(), 1u);
  EXPECT_EQ(invtest::count_of("envmon_drvif_pwr_regi"), 1u);
  inv_parser_close_xml_file(xml);
  rm().pwr_mgmt_data->envmon_pwr_tray_data = nullptr;
  rm().pwr_tray_cont_reg_state = nullptr;
}

TEST_F(InvregFruResp, AcknowledgementsOfOtherSlotsGoToTheHardwareAbstraction) {
  invreg_ack ack{};
  envmon_setup_fru_eid(581, &ack.eid);
  ack.ack = 1;
  envmon_inv_invreg_rm_resp_register_fru_type_cb(envmon_inv_invreg_rm_hdl, &ack, 1, 0, 581);
  envmon_inv_invreg_rm_resp_unregister_fru_type_cb(envmon_inv_invreg_rm_hdl, &ack, 1, 0, 581);
  envmon_inv_invreg_rm_resp_register_container_eid_cb(envmon_inv_invreg_rm_hdl, &ack, 1, 0, 581);
  EXPECT_EQ(invtest::calls(),
            (strings{"envmon_hal_inv_invreg_rm_response_register_fru_type(1,581)",
                     "envmon_hal_inv_invreg_rm_response_unregister_fru_type(1,581)",
                     "envmon_hal_inv_invreg_rm_response_register_container_eid(1,581)"}));
  // A transport error reaches nobody.
  clear_calls();
  envmon_inv_invreg_rm_resp_register_fru_type_cb(envmon_inv_invreg_rm_hdl, &ack, 1, 3, 581);
  EXPECT_TRUE(invtest::calls().empty());
}

}  // namespace

// Acknowledgements of registrations and updates: what each code class does
// to the registered object, the values reported after registration, and the
// hand-offs to the hardware abstraction.
#include "invreg_fixture.h"
#include "invreg_wire.h"

using namespace invtest;
namespace w = invreg_wire;

namespace {

using strings = std::vector<std::string>;

class InvregResp : public InvregTest {
 protected:
  void SetUp() override {
    InvregTest::SetUp();
    connect_node();
    connect_rack();
    clear_calls();
  }
};

TEST(InvregAckClasses, CodesFallIntoTheirClasses) {
  using envmon::invreg::ack_class;
  using envmon::invreg::classify;
  for (uint32_t c : {1u, 3u, 4u, 12u, 17u}) EXPECT_EQ(classify(c), ack_class::accepted) << c;
  for (uint32_t c : {5u, 7u, 8u, 9u, 10u, 13u, 14u, 16u}) EXPECT_EQ(classify(c), ack_class::retry) << c;
  for (uint32_t c : {0u, 2u, 6u, 11u, 15u, 18u, 0xffffffffu})
    EXPECT_EQ(classify(c), ack_class::error) << c;
}

TEST_F(InvregResp, AcceptedRetryAndErrorCodesOfOneSensorList) {
  envmon_sensor_list& l = nm().temp_data;
  fill_list(l, ENVMON_SLOT_SELF, ENVMON_SENSOR_TEMPERATURE, 3, "T");
  for (uint16_t i = 0; i < 3; ++i) {
    l.sensors[i].value = 30 + i;
    l.sensors[i].state |= ENVMON_ST_VALUE_WAITING;  // a value waits for the registration
  }
  model().script_acks(w::kRegisterEid, {1, 7, 2});
  ASSERT_EQ(envmon_inv_invreg_register_sensors(ENVMON_SCOPE_NODE, l.sensors, 3), ENVMON_OK);
  run();
  // 1: registered, its value reported.
  EXPECT_EQ(l.sensors[0].state & (ENVMON_ST_REG_PENDING | ENVMON_ST_REG_DONE),
            ENVMON_ST_REG_PENDING | ENVMON_ST_REG_DONE);
  EXPECT_EQ(l.sensors[0].state & ENVMON_ST_VALUE_WAITING, 0u);
  ASSERT_TRUE(in_model(l.sensors[0])->value.has_value());
  EXPECT_EQ(in_model(l.sensors[0])->value->value, 30);
  // 7: still pending, nothing else.
  EXPECT_EQ(l.sensors[1].state & (ENVMON_ST_REG_PENDING | ENVMON_ST_REG_DONE), ENVMON_ST_REG_PENDING);
  EXPECT_NE(l.sensors[1].state & ENVMON_ST_VALUE_WAITING, 0u);
  EXPECT_EQ(in_model(l.sensors[1]), nullptr);
  // 2: refused: neither pending nor registered, and no value goes out.
  EXPECT_EQ(l.sensors[2].state & (ENVMON_ST_REG_PENDING | ENVMON_ST_REG_DONE), 0u);
  EXPECT_EQ(in_model(l.sensors[2]), nullptr);
  EXPECT_EQ(nm_counter(envmon::invreg::kNmRegEidAck), 1u);
  EXPECT_EQ(invtest::count_of("envmon_hal_activate_fanout"), 1u);
}

TEST_F(InvregResp, HiddenSensorsGetTheirStatusAndPollingMode) {
  envmon_sensor_list& l = nm().voltage_data;
  fill_list(l, ENVMON_SLOT_SELF, ENVMON_SENSOR_VOLTAGE, 3, "V");
  answers().hidden["V 1"] = 1;
  answers().hidden["V 2"] = 0;
  ASSERT_EQ(envmon_inv_invreg_register_sensors(ENVMON_SCOPE_NODE, l.sensors, 3), ENVMON_OK);
  run();
  EXPECT_TRUE(in_model(l.sensors[0])->hidden);
  EXPECT_FALSE(in_model(l.sensors[1])->hidden);
  EXPECT_EQ(invtest::calls_of("envmon_drvif_poll_request"),
            (strings{"envmon_drvif_poll_request(V 1,1,4,17)", "envmon_drvif_poll_request(V 2,1,3,17)"}));
}

TEST_F(InvregResp, AFailedHiddenStatusLeavesPollingAlone) {
  envmon_sensor_list& l = nm().voltage_data;
  fill_list(l, ENVMON_SLOT_SELF, ENVMON_SENSOR_VOLTAGE, 1, "V");
  answers().hidden["V 1"] = 1;
  ASSERT_EQ(envmon_inv_invreg_register_sensors(ENVMON_SCOPE_NODE, l.sensors, 1), ENVMON_OK);
  nm().inv_invreg_connected = 0;  // the hidden status cannot be sent when the answer comes
  run();
  EXPECT_EQ(invtest::count_of("envmon_drvif_poll_request"), 0u);
  EXPECT_NE(l.sensors[0].state & ENVMON_ST_REG_DONE, 0u);
}

TEST_F(InvregResp, DataPushedBeforeRegistrationIsPushedAgainOnceItIsAccepted) {
  envmon_sensor_list& l = nm().current_data;
  fill_list(l, ENVMON_SLOT_SELF, ENVMON_SENSOR_CURRENT, 1, "I");
  l.sensors[0].value = 1200;
  // The model answers a value of an unknown entity with a retry code.
  envmon_inv_invreg_curr_sensor_update(&l.sensors[0].eid, &l.sensors[0], ENVMON_SCOPE_NODE);
  run();
  EXPECT_NE(l.sensors[0].state & ENVMON_ST_VALUE_WAITING, 0u);
  model().clear_received();
  ASSERT_EQ(envmon_inv_invreg_register_sensors(ENVMON_SCOPE_NODE, l.sensors, 1), ENVMON_OK);
  run();
  EXPECT_EQ(l.sensors[0].state & ENVMON_ST_VALUE_WAITING, 0u);
  EXPECT_EQ(model().received_of(w::kCurrentData).size(), 1u) << "the value went again";
  EXPECT_EQ(invtest::count_of("envmon_update_oper_state"), 1u) << "with its state first";
}

TEST_F(InvregResp, ARetryOfAnUpdateOfSlot0xfffeFindsTheRackSensorWhenTheNodeHasNone) {
  envmon_sensor_list& chassis = rm().temp_data;
  fill_list(chassis, ENVMON_SLOT_SELF, ENVMON_SENSOR_TEMPERATURE, 1, "Chassis T");
  invreg_ack ack{};
  ack.eid = chassis.sensors[0].eid;
  ack.ack = 7;
  envmon_inv_invreg_notify_data_update_status_cb(envmon_inv_invreg_rm_hdl, &ack);
  EXPECT_NE(chassis.sensors[0].state & ENVMON_ST_VALUE_WAITING, 0u);
  // A node sensor of slot 0xfffe is found first.
  envmon_sensor_list& node = nm().temp_data;
  fill_list(node, ENVMON_SLOT_SELF, ENVMON_SENSOR_TEMPERATURE, 1, "Node T");
  ack.eid = node.sensors[0].eid;
  envmon_inv_invreg_notify_data_update_status_cb(envmon_inv_invreg_rm_hdl, &ack);
  EXPECT_NE(node.sensors[0].state & ENVMON_ST_VALUE_WAITING, 0u);
  // Accepted and error codes change nothing.
  node.sensors[0].state &= ~ENVMON_ST_VALUE_WAITING;
  for (uint32_t code : {1u, 2u}) {
    ack.ack = code;
    envmon_inv_invreg_notify_data_update_status_cb(envmon_inv_invreg_rm_hdl, &ack);
    EXPECT_EQ(node.sensors[0].state & ENVMON_ST_VALUE_WAITING, 0u) << code;
  }
}

TEST_F(InvregResp, FpdAcknowledgementsOfAFanTray) {
  fantray_cb& ft = tray(0);
  fpd_data fpd{};
  fpd.eid.rack = ENVMON_RACK_UNKNOWN;
  fpd.eid.slot = static_cast<uint16_t>(ft.hw_position);
  fpd.eid.level_count = 2;
  fpd.eid.levels[0] = {5, 5, 1};
  fpd.eid.levels[1] = {9, 35, 1};
  fpd.reg_state = 0xf0000001 | ENVMON_ST_VALUE_WAITING;
  ft.fpd_data = &fpd;
  ft.fpd_count = 1;
  pelm_eid eid{};
  inv_util_convert_eid_to_pelm_eid(&fpd.eid, &eid);
  uint32_t code = 1;
  invreg_multi_ack ack{&eid, 1, &code, 1, 0x3};
  envmon_inv_invreg_resp_register_eid_cb(envmon_inv_invreg_rm_hdl, &ack, 1, 0, 0);
  EXPECT_NE(fpd.reg_state & ENVMON_ST_REG_DONE, 0u);
  EXPECT_EQ(fpd.reg_state & ENVMON_ST_VALUE_WAITING, 0u) << "the waiting FPGA data went";
  run();
  EXPECT_FALSE(model().received_of(w::kFpgaData).empty());
  // Error: pending cleared.
  fpd.reg_state = 0xf0000001;
  code = 2;
  envmon_inv_invreg_resp_register_eid_cb(envmon_inv_invreg_rm_hdl, &ack, 1, 0, 0);
  EXPECT_EQ(fpd.reg_state & ENVMON_ST_REG_PENDING, 0u);
  // Another subtype of the tray, or a tray without FPD records: nothing.
  ft.fpd_count = 0;
  fpd.reg_state = 0xf0000001;
  code = 1;
  envmon_inv_invreg_resp_register_eid_cb(envmon_inv_invreg_rm_hdl, &ack, 1, 0, 0);
  EXPECT_EQ(fpd.reg_state, 0xf0000001u);
  // Any other slot goes to the hardware abstraction.
  pelm_eid pem = entity_eid(581, 9, 2, 1);
  ack.eids = &pem;
  envmon_inv_invreg_resp_register_eid_cb(envmon_inv_invreg_rm_hdl, &ack, 1, 0, 1);
  EXPECT_EQ(invtest::calls_of("envmon_hal_inv_invreg_response_register_eid"),
            strings{"envmon_hal_inv_invreg_response_register_eid(1,581)"});
  EXPECT_EQ(invtest::count_of("envmon_hal_inv_invreg_update_entity_prefix(581)"), 1u)
      << "ids registered from a FRU acknowledgement re-publish the prefix";
  envmon_free_tsi(&pem);
  envmon_free_tsi(&eid);
  ft.fpd_data = nullptr;
}

TEST_F(InvregResp, EepromAcknowledgementsSettleTheFruWord) {
  struct Case {
    const char* name;
    uint32_t code;
    uint32_t expected;
  };
  const Case cases[] = {{"accepted", 1, 0xf0000032}, {"retry", 16, 0xf0000012},
                        {"error", 6, 0xf0000002}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    tray(2).flags = 0xf0000012;
    invreg_ack ack{};
    envmon_setup_fru_eid(tray(2).hw_position, &ack.eid);
    ack.ack = c.code;
    envmon_inv_invreg_resp_report_eeprom_data_cb(envmon_inv_invreg_rm_hdl, &ack, 1, 0, 0);
    EXPECT_EQ(tray(2).flags, c.expected);
  }
  EXPECT_EQ(rm_counter(envmon::invreg::kRmPromAck), 3u);
  invreg_ack other{};
  envmon_setup_fru_eid(99, &other.eid);
  other.ack = 1;
  envmon_inv_invreg_resp_report_eeprom_data_cb(envmon_inv_invreg_rm_hdl, &other, 1, 0, 0);
  EXPECT_EQ(invtest::calls_of("envmon_hal_inv_invreg_response_report_eeprom_data"),
            strings{"envmon_hal_inv_invreg_response_report_eeprom_data(1,99)"});
  // A transport error: nothing at all.
  envmon_inv_invreg_resp_report_eeprom_data_cb(envmon_inv_invreg_rm_hdl, nullptr, 1, 5, 0);
  EXPECT_EQ(rm_counter(envmon::invreg::kRmPromAck), 4u);
}

TEST_F(InvregResp, FanTrayPowerAllocationAcknowledgement) {
  envmon_entity_pbudget_info_t& rec = rm().pwr_mgmt_data->fantray_pbudget[1];
  rec.eid = entity_eid(tray(1).hw_position, 5, 5, 2);
  struct Case {
    const char* name;
    uint32_t code;
    uint32_t expected;
  };
  const Case cases[] = {{"accepted", 1, 0xf0000003}, {"retry", 9, 0xf0000001},
                        {"error", 2, 0xf0000000}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    rec.reg_state = 0xf0000001;
    invreg_ack ack{};
    ack.eid = rec.eid;
    ack.ack = c.code;
    envmon_inv_invreg_rm_resp_update_fru_power_info_cb(envmon_inv_invreg_rm_hdl, &ack, 1, 0, 0);
    EXPECT_EQ(rec.reg_state, c.expected);
  }
  // An entity of another rack and slot changes nothing.
  rec.reg_state = 0xf0000001;
  invreg_ack ack{};
  ack.eid = entity_eid(tray(1).hw_position, 5, 5, 2);
  ack.eid.rack = 0;
  ack.ack = 1;
  envmon_inv_invreg_rm_resp_update_fru_power_info_cb(envmon_inv_invreg_rm_hdl, &ack, 1, 0, 0);
  EXPECT_EQ(rec.reg_state, 0xf0000001u);
  envmon_free_tsi(&ack.eid);
}

TEST_F(InvregResp, LedRetryAsksForTheValueAgain) {
  envmon_sensor_list& leds = tray(0).subtype13_data;
  fill_list(leds, tray(0).hw_position, ENVMON_SENSOR_LED, 1, "LED");
  leds.sensors[0].value = 2;
  model().script_acks(w::kLedStatus, {13});
  envmon_inv_invreg_led_status_update(&leds.sensors[0].eid, &leds.sensors[0], ENVMON_SCOPE_RACK);
  run();
  EXPECT_NE(leds.sensors[0].state & ENVMON_ST_VALUE_WAITING, 0u);
}

}  // namespace

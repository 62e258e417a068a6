// Value and state pushes: what the inventory model holds after them, the
// flow-control marks, and the set-hardware-state request of the service.
#include "invreg_fixture.h"
#include "invreg_wire.h"

using namespace invtest;
namespace w = invreg_wire;

namespace {

class InvregPush : public InvregTest {
 protected:
  void SetUp() override {
    InvregTest::SetUp();
    connect_node();
    connect_rack();
  }
};

TEST_F(InvregPush, SensorValuesReachTheModelWithTheirFields) {
  envmon_sensor_info& t = own_list(ENVMON_SLOT_SELF, ENVMON_SENSOR_TEMPERATURE, 1, "T").sensors[0];
  envmon_sensor_info& v = own_list(ENVMON_SLOT_SELF, ENVMON_SENSOR_VOLTAGE, 1, "V").sensors[0];
  envmon_sensor_info& c = own_list(ENVMON_SLOT_SELF, ENVMON_SENSOR_CURRENT, 1, "C").sensors[0];
  envmon_sensor_info& p = own_list(kFanTraySlot0, ENVMON_SENSOR_POWER, 1, "P").sensors[0];
  t.value = 41; t.last_value = 39; t.timestamp = 1000; t.pd_state = 5; t.pd_last_state = 4;
  t.update_rate = 10;
  t.threshold = {-10, 90, -5, 80, 0, 70};
  v.value = 12040; v.timestamp = 1001; v.pd_state = 0x12;
  c.value = 3300; c.timestamp = 1002;
  p.value = 150; p.timestamp = 1003;
  envmon_inv_invreg_temp_sensor_update(&t.eid, &t, ENVMON_SCOPE_NODE, 0);
  envmon_inv_invreg_volt_sensor_update(&v.eid, &v, ENVMON_SCOPE_NODE, 1);
  envmon_inv_invreg_curr_sensor_update(&c.eid, &c, ENVMON_SCOPE_NODE);
  envmon_inv_invreg_power_usage_update(&p.eid, &p, ENVMON_SCOPE_RACK);
  run();
  const invdb::Entity* te = in_model(t);
  ASSERT_TRUE(te && te->value);
  EXPECT_EQ(te->value->msg_id, w::kTempData);
  EXPECT_EQ(te->value->value, 41);
  EXPECT_EQ(te->value->last_value, 39);
  EXPECT_EQ(te->value->timestamp, 1000u);
  EXPECT_EQ(te->value->pd_state, 5u);
  EXPECT_EQ(te->value->update_rate, 10);
  EXPECT_FALSE(te->value->threshold.has_value()) << "the plain push carries no thresholds";
  const invdb::Entity* ve = in_model(v);
  ASSERT_TRUE(ve && ve->value);
  EXPECT_EQ(ve->value->value, 12040);
  EXPECT_EQ(ve->value->alarm, 0x12u);
  EXPECT_EQ(ve->value->trap, 1);
  EXPECT_EQ(v.last_trap_value, 12040) << "a trap push keeps the value sent";
  const invdb::Entity* ce = in_model(c);
  ASSERT_TRUE(ce && ce->value);
  EXPECT_EQ(ce->value->value, 3300);
  EXPECT_EQ(ce->value->trap, 0);
  const invdb::Entity* pe = in_model(p);
  ASSERT_TRUE(pe && pe->value);
  EXPECT_EQ(pe->value->trap, 0) << "no power thresholds configured";
  EXPECT_EQ(nm_counter(envmon::invreg::kNmTempSenUpd), 1u);
  EXPECT_EQ(nm_counter(envmon::invreg::kNmVoltSenUpd), 1u);
  EXPECT_EQ(nm_counter(envmon::invreg::kNmCurrSenUpd), 1u);
  // With thresholds: all six go.
  envmon_inv_invreg_temp_threshold_update(&t.eid, &t, ENVMON_SCOPE_NODE, 1);
  run();
  ASSERT_TRUE(in_model(t)->value->threshold.has_value());
  EXPECT_EQ(in_model(t)->value->threshold->critical_high, 90);
  EXPECT_EQ(in_model(t)->value->threshold->minor_low, 0);
  EXPECT_EQ(t.last_trap_value, 41);
}

TEST_F(InvregPush, PemInFpdUpgradeReportsZeroButKeepsItsTrapValue) {
  const uint32_t pem_slot = 581;
  answers().pem_slots[pem_slot] = {0, 1};
  pem_record pems[2] = {};
  pems[1].status = ENVMON_PEM_IN_FPD_UPG;
  pd_power_tray_info_t tray_info{0, 2, pems};
  pd_power_tray_info = &tray_info;
  envmon_sensor_info& v = own_list(pem_slot, ENVMON_SENSOR_VOLTAGE, 1, "Input V").sensors[0];
  envmon_sensor_info& c = own_list(pem_slot, ENVMON_SENSOR_CURRENT, 1, "Out I").sensors[0];
  v.value = 54000;
  c.value = 20;
  envmon_inv_invreg_volt_sensor_update(&v.eid, &v, ENVMON_SCOPE_RACK, 1);
  envmon_inv_invreg_curr_sensor_update(&c.eid, &c, ENVMON_SCOPE_RACK);
  run();
  EXPECT_EQ(in_model(v)->value->value, 0);
  EXPECT_EQ(in_model(c)->value->value, 0);
  EXPECT_EQ(v.last_trap_value, 54000);
  pems[1].status = ENVMON_PEM_OK;
  envmon_inv_invreg_volt_sensor_update(&v.eid, &v, ENVMON_SCOPE_RACK, 0);
  run();
  EXPECT_EQ(in_model(v)->value->value, 54000);
  pd_power_tray_info = nullptr;
}

TEST_F(InvregPush, PemTemperatureThresholdsAverageMajorHighUnsigned) {
  const uint32_t pem_slot = 580;
  answers().pem_slots[pem_slot] = {0, 0};
  envmon_sensor_info& t = own_list(pem_slot, ENVMON_SENSOR_TEMPERATURE, 1, "PEM T").sensors[0];
  // Summed as unsigned 32-bit values: no overflow into a negative average.
  t.threshold = {0, 0x7ffffff0, 0, 55, 0, 0x7ffffff0};
  t.value = 30;
  envmon_inv_invreg_temp_sensor_update(&t.eid, &t, ENVMON_SCOPE_RACK, 0);
  run();
  const invdb::Entity* e = in_model(t);
  ASSERT_TRUE(e && e->value && e->value->threshold);
  EXPECT_EQ(e->value->threshold->major_high, 0x7ffffff0);
  EXPECT_EQ(e->value->threshold->minor_high, 0x7ffffff0);
  EXPECT_EQ(e->value->value, 30);
}

TEST_F(InvregPush, FanSpeedSendsThresholdsOnlyWithAMaximum) {
  envmon_sensor_list& fans = tray(0).fan_data;
  fill_list(fans, kFanTraySlot0, ENVMON_SENSOR_FAN_SPEED, 2, "Fan");
  envmon_inv_invreg_rm_fan_speed_sensor_update(&fans.sensors[0], &fans.sensors[0].eid, 9000, 5, 1,
                                               16000, 2000);
  envmon_inv_invreg_rm_fan_speed_sensor_update(&fans.sensors[1], &fans.sensors[1].eid, 8000, 6, 0,
                                               0, 2000);
  run();
  const invdb::Entity* a = in_model(fans.sensors[0]);
  ASSERT_TRUE(a && a->value && a->value->threshold);
  EXPECT_EQ(a->value->threshold->minor_high, 16000);
  EXPECT_EQ(a->value->threshold->minor_low, 2000);
  EXPECT_EQ(a->value->threshold->critical_high, 0x7fffffff);
  EXPECT_EQ(a->value->threshold->major_low, -1);
  EXPECT_EQ(fans.sensors[0].last_trap_value, 9000) << "the record found by its id keeps the trap";
  const invdb::Entity* b = in_model(fans.sensors[1]);
  ASSERT_TRUE(b && b->value);
  EXPECT_FALSE(b->value->threshold.has_value());
  EXPECT_EQ(b->value->value, 8000);
}

TEST_F(InvregPush, FlowControlMarksTheSensorAndTheNextOtherResultClearsIt) {
  envmon_sensor_info& v = own_list(ENVMON_SLOT_SELF, ENVMON_SENSOR_VOLTAGE, 1, "V").sensors[0];
  invsvc_local::invreg_hub().set_flow_controlled(ENVMON_SCOPE_NODE, true);
  envmon_inv_invreg_volt_sensor_update(&v.eid, &v, ENVMON_SCOPE_NODE, 0);
  EXPECT_EQ(v.val_capi_flow_ctrl, 1);
  invsvc_local::invreg_hub().set_flow_controlled(ENVMON_SCOPE_NODE, false);
  run();
  envmon_inv_invreg_volt_sensor_update(&v.eid, &v, ENVMON_SCOPE_NODE, 0);
  EXPECT_EQ(v.val_capi_flow_ctrl, 0);
  // The PEM threshold push never marks.
  answers().pem_slots[580] = {0, 0};
  envmon_sensor_info& t = own_list(580, ENVMON_SENSOR_TEMPERATURE, 1, "PEM T").sensors[0];
  invsvc_local::invreg_hub().set_flow_controlled(ENVMON_SCOPE_RACK, true);
  envmon_inv_invreg_eid_upd_pem_temp_sensor_threshold(&t.eid, &t);
  EXPECT_EQ(t.val_capi_flow_ctrl, 0);
  invsvc_local::invreg_hub().set_flow_controlled(ENVMON_SCOPE_RACK, false);
}

TEST_F(InvregPush, LedCodesMapToInventoryColours) {
  struct Case {
    int32_t code;
    uint32_t colour;
  };
  const Case cases[] = {{1, 1}, {2, 2}, {3, 3}, {4, 4}, {5, 5}, {6, 8},
                        {7, 9}, {8, 6}, {9, 7}, {0, 0}, {10, 0}, {-1, 0}};
  envmon_sensor_list& leds = own_list(kFanTraySlot0, ENVMON_SENSOR_LED, 1, "LED");
  envmon_sensor_info& led = leds.sensors[0];
  for (const Case& c : cases) {
    SCOPED_TRACE(c.code);
    led.value = c.code;
    EXPECT_EQ(envmon_inv_invreg_led_status_update(&led.eid, &led, ENVMON_SCOPE_RACK), 0);
    run();
    const invdb::Entity* e = in_model(led);
    ASSERT_TRUE(e && e->led);
    EXPECT_EQ(e->led->color, c.colour);
    EXPECT_EQ(e->led->kind, c.code == 1 ? 3u : 2u) << "kind 3 only for a fan-tray LED with code 1";
  }
  envmon_sensor_info& other = own_list(ENVMON_SLOT_SELF, ENVMON_SENSOR_LED, 1, "LED").sensors[0];
  other.value = 1;
  envmon_inv_invreg_led_status_update(&other.eid, &other, ENVMON_SCOPE_RACK);
  run();
  EXPECT_EQ(in_model(other)->led->kind, 2u);
}

TEST_F(InvregPush, HardwareEventsCarryTheirStateAndText) {
  struct Case {
    uint32_t event;
    uint32_t state;
    const char* text;
  };
  const Case cases[] = {{1, 1, "HW Operational"}, {4, 2, "HW Access Failure"}, {2, 0, "Unknown"},
                        {0, 0, "Unknown"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.event);
    pelm_eid fru{};
    envmon_setup_fru_eid(kFanTraySlot0, &fru);
    envmon_inv_invreg_report_hw_event(&fru, ENVMON_SCOPE_RACK, c.event);
    run();
    const invdb::Entity* e = model().find(fru);
    ASSERT_TRUE(e && e->event);
    EXPECT_EQ(e->event->type, c.event);
    EXPECT_EQ(e->event->state, c.state);
    EXPECT_EQ(e->event->descr, c.text);
  }
}

TEST_F(InvregPush, EntityNamesCarryASequenceFromOne) {
  pelm_eid a = entity_eid(kFanTraySlot0, 5, 5, 1);
  pelm_eid b = entity_eid(kFanTraySlot0 + 1, 5, 5, 2);
  envmon_inv_invreg_upd_eid_name(&a, "0/FT0", ENVMON_SCOPE_RACK);
  envmon_inv_invreg_upd_eid_name(&b, "0/FT1", ENVMON_SCOPE_NODE);
  envmon_inv_invreg_upd_eid_name(&b, "0/FT1", 2);  // not a scope: nothing
  run();
  EXPECT_EQ(model().find(a)->name, "0/FT0");
  EXPECT_EQ(model().find(a)->name_seq, 1u);
  EXPECT_EQ(model().find(b)->name_seq, 2u);
  envmon_free_tsi(&a);
  envmon_free_tsi(&b);
}

TEST_F(InvregPush, HiddenFlagAndItsResults) {
  pelm_eid a = entity_eid(ENVMON_SLOT_SELF, 8, 25, 4);
  EXPECT_EQ(envmon_inv_invreg_hide_eid(nullptr, ENVMON_SCOPE_NODE, 1), 1);
  EXPECT_EQ(envmon_inv_invreg_hide_eid(&a, 2, 1), 2);
  EXPECT_EQ(envmon_inv_invreg_hide_eid(&a, ENVMON_SCOPE_NODE, 1), 0);
  run();
  EXPECT_TRUE(model().find(a)->hidden);
  nm().inv_invreg_connected = 0;
  EXPECT_EQ(envmon_inv_invreg_hide_eid(&a, ENVMON_SCOPE_NODE, 0), 2);
  envmon_free_tsi(&a);
}

TEST_F(InvregPush, OperStatesAndTheirResults) {
  envmon_sensor_list& l = own_list(ENVMON_SLOT_SELF, ENVMON_SENSOR_TEMPERATURE, 2, "T");
  const pelm_eid eids[2] = {l.sensors[0].eid, l.sensors[1].eid};
  const uint32_t states[2] = {1, 2};
  EXPECT_EQ(envmon_inv_invreg_upd_eid_state(nullptr, states, 2, ENVMON_SCOPE_NODE), -1);
  EXPECT_EQ(envmon_inv_invreg_upd_eid_state(eids, states, 0, ENVMON_SCOPE_NODE), -1);
  EXPECT_EQ(envmon_inv_invreg_upd_eid_state(eids, states, 2, ENVMON_SCOPE_NODE), 0);
  run();
  EXPECT_EQ(*in_model(l.sensors[0])->oper_state, 1u);
  EXPECT_EQ(*in_model(l.sensors[1])->oper_state, 2u);
  // Not connected: not delivered, so the caller must not take it as sent.
  nm().inv_invreg_connected = 0;
  EXPECT_NE(envmon_inv_invreg_upd_eid_state(eids, states, 2, ENVMON_SCOPE_NODE), 0);
  nm().inv_invreg_connected = 1;
  invsvc_local::invreg_hub().set_flow_controlled(ENVMON_SCOPE_NODE, true);
  EXPECT_EQ(envmon_inv_invreg_upd_eid_state(eids, states, 2, ENVMON_SCOPE_NODE), -3);
  invsvc_local::invreg_hub().set_flow_controlled(ENVMON_SCOPE_NODE, false);
  // Power admin and oper states answer the copy's 100 when sent.
  uint8_t connected = 0;
  invreg_handle* h = envmon_get_invreg_handle(ENVMON_SCOPE_RACK, &connected);
  EXPECT_EQ(envmon_inv_invreg_eid_upd_power_admin_state(h, &eids[0], 1), INV_UTIL_OK);
  EXPECT_EQ(envmon_inv_invreg_eid_upd_power_oper_state(h, &eids[0], 3), INV_UTIL_OK);
  run();
  EXPECT_EQ(*in_model(l.sensors[0])->power_admin_state, 1u);
  EXPECT_EQ(*in_model(l.sensors[0])->power_oper_state, 3u);
}

TEST_F(InvregPush, PowerDataNeedsTheRackClientAndSendsTheChassisFigures) {
  pelm_eid tray_eid = entity_eid(kFanTraySlot0, 5, 5, 1);
  envmon_inv_invreg_fru_power_alloc_update(&tray_eid, 180, 1, 2500, 0);
  rm().chassis_eid = entity_eid(ENVMON_SLOT_SELF, 3, 1, 1);
  envmon_inv_invreg_system_pwr_data_update(6000, 3000, 1200, 1, 2, 77);
  run();
  const invdb::Entity* e = model().find(tray_eid);
  ASSERT_TRUE(e && e->fru_power);
  EXPECT_EQ(e->fru_power->power_allocated, 180u);
  EXPECT_EQ(e->fru_power->fru_current, 2500);
  ASSERT_TRUE(model().system_power().has_value());
  EXPECT_EQ(model().system_power()->usable_pwr, 6000);
  EXPECT_EQ(model().system_power()->act_pwr_red_mode, 2);
  EXPECT_EQ(model().system_power()->reserved, 0) << "the sixth figure is not sent";
  // The flag must be exactly 1.
  rm().inv_invreg_connected = 2;
  model().clear_received();
  envmon_inv_invreg_fru_power_alloc_update(&tray_eid, 90, 1, 0, 0);
  run();
  EXPECT_TRUE(model().received_of(w::kFruPowerInfo).empty());
  rm().inv_invreg_connected = 1;
  envmon_free_tsi(&tray_eid);
  envmon_free_tsi(&rm().chassis_eid);
}

TEST_F(InvregPush, SetHardwareStateIsAnsweredAndReportedAsAnEvent) {
  answers().max_virtual_powertray = 0;
  ASSERT_TRUE(model().request_set_hw_state(kFanTraySlot0 + 2, 1));
  run();
  ASSERT_EQ(model().hw_state_answers().size(), 1u);
  EXPECT_EQ(model().hw_state_answers()[0].key.slot, kFanTraySlot0 + 2);
  EXPECT_EQ(model().hw_state_answers()[0].state, 1u);
  EXPECT_EQ(model().hw_state_answers()[0].result, 1u);
  pelm_eid fru{};
  envmon_setup_fru_eid(kFanTraySlot0 + 2, &fru);
  ASSERT_TRUE(model().find(fru) && model().find(fru)->event);
  EXPECT_EQ(model().find(fru)->event->type, 1u);
  // A slot of neither kind on a platform with virtual power trays goes to the
  // hardware abstraction.
  answers().max_virtual_powertray = 2;
  ASSERT_TRUE(model().request_set_hw_state(581, 1));
  run();
  EXPECT_EQ(invtest::calls_of("envmon_hal_inv_invreg_report_hw_event"),
            std::vector<std::string>{"envmon_hal_inv_invreg_report_hw_event(581)"});
}

TEST_F(InvregPush, RepushByKindAndScope) {
  struct Case {
    const char* name;
    uint32_t subtype;
    uint32_t scope;
    bool sent;
  };
  const Case cases[] = {
      {"temperature, node", ENVMON_SENSOR_TEMPERATURE, ENVMON_SCOPE_NODE, true},
      {"voltage, node", ENVMON_SENSOR_VOLTAGE, ENVMON_SCOPE_NODE, true},
      {"current, rack", ENVMON_SENSOR_CURRENT, ENVMON_SCOPE_RACK, true},
      {"fan speed, rack", ENVMON_SENSOR_FAN_SPEED, ENVMON_SCOPE_RACK, true},
      {"fan speed, node", ENVMON_SENSOR_FAN_SPEED, ENVMON_SCOPE_NODE, false},
      {"LED, node", ENVMON_SENSOR_LED, ENVMON_SCOPE_NODE, false},
      {"power, node", ENVMON_SENSOR_POWER, ENVMON_SCOPE_NODE, false},
      {"power, rack", ENVMON_SENSOR_POWER, ENVMON_SCOPE_RACK, true},
      {"altitude", ENVMON_SENSOR_ALTITUDE, ENVMON_SCOPE_RACK, false},
  };
  uint32_t slot = 100;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    envmon_sensor_info& s = own_list(slot++, c.subtype, 1, c.name).sensors[0];
    clear_calls();
    envmon_inv_invreg_report_sensor_data(c.subtype, &s, c.scope, 1);
    run();
    EXPECT_EQ(in_model(s) != nullptr, c.sent);
    EXPECT_EQ(invtest::count_of("envmon_update_oper_state"), 1u) << "the state goes first";
  }
}

}  // namespace

// The inventory-service client: its registrations with the inventory model,
// the FRU power information read once, the notifications it hands on, and the
// FRU insertion events of a line card.
#include "inv_wire.h"
#include "invreg_fixture.h"

using namespace invtest;

namespace {

using strings = std::vector<std::string>;

class InvClient : public InvregTest {};

// Another process publishes a sensor value: a second registration client of
// the rack scope pushes it, as a line card's server would.
void publish_temperature(invdb::Model& model, const pelm_eid& eid, int32_t value, bool down) {
  inv_notify_event_data n{};
  n.event = INV_EVENT_TEMPERATURE;
  n.value.eid = eid;
  n.value.name = const_cast<char*>("LC Inlet");
  n.value.value = value;
  n.value.oper_state = down ? 2 : 1;
  n.value.thresholds = inv_threshold_data{0, 60, 0, 70, -10, 80, 0x3f};
  n.value.present[0] = 0xff;
  n.value.present[1] = 0x04;  // thresholds
  n.present = 0x3;
  model.publish_event(n);
}

TEST_F(InvClient, RouteProcessorRegistersForEventsAndReadsFruPowerOnce) {
  nm().misc_state |= ENVMON_NM_CHASSIS_INFO_DONE;
  pelm_eid lc = entity_eid(3, 5, 1, 3);
  model().add_fru_power(lc, 450, 2);
  pelm_eid off = entity_eid(4, 5, 4, 2);
  model().add_fru_power(off, 300, 5);
  connect_inv();
  EXPECT_EQ(model().fru_event_registrations(), 1u);
  EXPECT_TRUE(model().has_event_registration(8, ENVMON_SENSOR_CURRENT, INV_EVENT_CURRENT))
      << "power management holds data: current notifications";
  EXPECT_TRUE(model().has_event_registration(8, ENVMON_SENSOR_CURRENT, INV_EVENT_OPER_STATE));
  EXPECT_EQ(invtest::calls_of("envmon_pwr_mgmt_card_powered_on_update_from_inv"),
            strings{"envmon_pwr_mgmt_card_powered_on_update_from_inv(1,3,2,450)"})
      << "only powered-on FRUs";
  EXPECT_EQ(rm().pwr_mgmt_data->all_card_info_rcvd, 1);
  EXPECT_EQ(invtest::calls_of("envmon_fru_power_alloc_update_all"),
            (strings{"envmon_fru_power_alloc_update_all(0)", "envmon_fru_power_alloc_update_all(1)"}));
  EXPECT_EQ(invtest::count_of("envmon_chk_n_upd_system_pwr_data(1)"), 1u);
  EXPECT_EQ(invtest::count_of("envmon_capi_cm_init"), 1u);
  // A second answer is ignored.
  clear_calls();
  envmon_inv_req_fru_power_info();
  run();
  EXPECT_TRUE(invtest::calls().empty()) << "nothing after the first answer";
  envmon_free_tsi(&lc);
  envmon_free_tsi(&off);
}

TEST_F(InvClient, AnEmptyFruPowerAnswerStillStartsTheCardManagerClient) {
  answers().platform_skip = true;
  connect_inv();
  EXPECT_EQ(invtest::count_of("envmon_pwr_mgmt_card_powered_on_update_from_inv"), 0u);
  EXPECT_EQ(rm().pwr_mgmt_data->all_card_info_rcvd, 0);
  EXPECT_EQ(invtest::count_of("envmon_capi_cm_init"), 1u);
}

TEST_F(InvClient, AFailingCardManagerStartEndsTheServer) {
  answers().platform_skip = true;
  answers().cm_init_rc = ENVMON_ERR_NOT_CONNECTED;
  EXPECT_EXIT(connect_inv(), ::testing::ExitedWithCode(255), "");
}

TEST_F(InvClient, RouteProcessorsThatDoNotWatchTheirFruEvents) {
  struct Case {
    uint32_t card_type;
    size_t fru_registrations;
  };
  for (const Case c : {Case{0x1f0802, 0}, Case{0x1f0807, 0}, Case{kRpCardType, 1}}) {
    SCOPED_TRACE(c.card_type);
    nm().card_type = c.card_type;
    nm().misc_state |= ENVMON_NM_CHASSIS_INFO_DONE;
    envmon_inv_first_fru_power_info = 1;
    clear_calls();
    connect_inv();
    EXPECT_EQ(model().fru_event_registrations(), c.fru_registrations);
    EXPECT_EQ(invtest::count_of("envmon_capi_cm_init"), 1u) << "FRU power is requested anyway";
    envmon_capi_inv_disconnect();
    run();
  }
}

TEST_F(InvClient, NodeCardsRegisterForFruEventsUntilTheirContainerIsKnown) {
  struct Case {
    uint32_t card_type;
    uint32_t container_known;
    size_t fru_registrations;
  };
  // 0x520d is a node card for this client.
  for (const Case c : {Case{0x520d, 0, 1}, Case{0x60030100, 1, 0}}) {
    SCOPED_TRACE(c.card_type);
    nm().card_type = c.card_type;
    nm().card_container_valid_flag = c.container_known;
    connect_inv();
    EXPECT_EQ(model().fru_event_registrations(), c.fru_registrations);
    EXPECT_FALSE(model().has_event_registration(8, ENVMON_SENSOR_CURRENT, INV_EVENT_CURRENT));
    EXPECT_EQ(invtest::count_of("envmon_capi_cm_init"), 0u);
    envmon_capi_inv_disconnect();
    run();
  }
}

TEST_F(InvClient, TemperatureNotificationsReachFanManagementWhileTheSensorIsUp) {
  connect_inv();
  envmon_capi_inv_request_temp_notification();
  run();
  ASSERT_TRUE(model().has_event_registration(8, ENVMON_SENSOR_TEMPERATURE, INV_EVENT_TEMPERATURE));
  pelm_eid lc_temp = sensor_eid(3, ENVMON_SENSOR_TEMPERATURE, 1);
  publish_temperature(model(), lc_temp, 47, false);
  publish_temperature(model(), lc_temp, 48, true);
  run();
  EXPECT_EQ(invtest::calls_of("envmon_hal_fan_mgmt_inv_temp_notification"),
            strings{"envmon_hal_fan_mgmt_inv_temp_notification(LC Inlet,47,80,3)"})
      << "the one whose oper state is down does not go on";
  EXPECT_EQ(invtest::count_of("envmon_hal_inv_capi_notify_event(3)"), 1u);
  envmon_free_tsi(&lc_temp);
}

TEST_F(InvClient, ValuesPushedByAnotherServerReachThisOne) {
  // This server watches currents; a line card's server pushes one to inventory.
  connect_inv();
  ASSERT_TRUE(model().has_event_registration(8, ENVMON_SENSOR_CURRENT, INV_EVENT_CURRENT));
  connect_rack();
  envmon_sensor_list& l = own_list(3, ENVMON_SENSOR_CURRENT, 1, "LC Current");
  ASSERT_EQ(envmon_inv_invreg_register_sensors(ENVMON_SCOPE_RACK, l.sensors, 1), ENVMON_OK);
  run();
  l.sensors[0].value = 2100;
  clear_calls();
  envmon_inv_invreg_curr_sensor_update(&l.sensors[0].eid, &l.sensors[0], ENVMON_SCOPE_RACK);
  run();
  EXPECT_EQ(invtest::calls_of("envmon_hal_inv_capi_notify_event"),
            strings{"envmon_hal_inv_capi_notify_event(5)"});
}

TEST_F(InvClient, NotificationRequestsWaitForTheConnection) {
  envmon_capi_inv_request_temp_notification();
  envmon_capi_inv_request_altitude_notification();
  EXPECT_FALSE(model().has_event_registration(8, ENVMON_SENSOR_TEMPERATURE, INV_EVENT_TEMPERATURE));
  connect_inv();
  envmon_capi_inv_request_altitude_notification();
  run();
  EXPECT_TRUE(model().has_event_registration(8, ENVMON_SENSOR_ALTITUDE, INV_EVENT_ALTITUDE));
  EXPECT_TRUE(model().has_event_registration(8, ENVMON_SENSOR_ALTITUDE, INV_EVENT_OPER_STATE));
}

TEST_F(InvClient, ALineCardLearnsItsContainerFromItsOwnFruEvent) {
  nm().card_type = 0x60030100;
  char location[] = "0/5/CPU0";
  nm().my_location = location;
  nm().fm_node_update_pending = 1;  // faults wait for the container
  connect_inv();
  ASSERT_EQ(model().fru_event_registrations(), 1u);
  struct Case {
    const char* name;
    uint32_t kind;
    uint32_t slot;
    uint32_t known;
  };
  const Case cases[] = {
      {"fan tray kind", 5, kOwnSlot, 0},
      {"another line card", 4, kOwnSlot + 1, 0},
      {"this line card", 4, kOwnSlot, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    inv_fru_oir_event ev{};
    ev.op = INV_FRU_OIR_INSERTED;
    ev.fru_kind = c.kind;
    ev.slot = c.slot;
    ev.cont_eid = entity_eid(c.slot, 5, 1, c.slot);
    ev.present = 0x17;
    model().publish_fru_oir(ev);
    run();
    EXPECT_EQ(nm().card_container_valid_flag, c.known);
    envmon_free_tsi(&ev.cont_eid);
  }
  EXPECT_EQ(nm().card_ceid.slot, kOwnSlot);
  EXPECT_EQ(nm().card_cont_eid.level_count, 1);
  EXPECT_EQ(invtest::calls_of("envmon_fm_fault_data_update"),
            strings{"envmon_fm_fault_data_update(3,5,5,0/5/CPU0)"});
  EXPECT_EQ(nm().fm_node_update_pending, 0);
  nm().my_location = nullptr;
}

TEST_F(InvClient, OperStateNotificationsOfPortAdaptersOfAnotherCardAreIgnored) {
  nm().card_type = 0x60030100;  // a line card: port-adapter notifications
  nm().max_mpa = 3;
  envmon_mpa_cb bays[3] = {};
  nm().mpa = bays;
  connect_inv();
  inv_notify_event_data n{};
  n.event = INV_EVENT_OPER_STATE;
  // Port adapter of card 2 (slot 2 here), bay 1; this card is in slot 5.
  n.base.eid = entity_eid(answers().mpa_start + 3 * 1 + 1, 9, 63, 1);
  n.base.oper_state = 3;
  n.base.present = 0x9;
  n.present = 0x5;
  clear_calls();
  envmon_mpa_inv_notify_event_cb(envmon_inv_hdl, &n);
  EXPECT_EQ(invtest::count_of("envmon_drvif_poll_request"), 0u);
  envmon_free_tsi(&n.base.eid);
  nm().mpa = nullptr;
}

}  // namespace

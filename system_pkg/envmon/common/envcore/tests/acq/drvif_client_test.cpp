// The core's platform-driver client against drivers served on the loop:
// connection per driver index, entity registrations, polling configuration
// with its acknowledgements, sensor setting with the flow-control exit, slot
// shutdown and rack number; checked on what the drivers received.
#include "drvif_fixture.h"
#include "tlg_test.h"

namespace {

bool main_traced(const std::string& t) { return tlg_test_contains("envmon_cmn_main", t); }
bool err_traced(const std::string& t) { return tlg_test_contains("envmon_cmn_err", t); }

class DrvifClient : public DrvifFixture {};

TEST_F(DrvifClient, SensorDriverRegistersAndPollsTheNodeOnConnect) {
  envmon_nm->inv_invreg_connected = 1;
  fill_list(&envmon_nm->temp_data, 0xfffe, 25, {"CPU", "Inlet"}, 12);
  fill_list(&envmon_nm->voltage_data, 0xfffe, 29, {"VP1P0"}, 10);
  FakeDriver& d = start(12);
  settle([&] { return !d.polls.empty(); });
  EXPECT_EQ(d.registrations, (std::vector<std::vector<uint32_t>>{{1, 8, 1}}));
  EXPECT_TRUE(acq_called("envmon_hal_drvif_post_connect_actions(12)"));
  EXPECT_TRUE(acq_called("envmon_inv_invreg_nm_reg_all_sensors"));
  // Only driver 12's sensors, in list order, polled with mode 3.
  ASSERT_EQ(d.polls.size(), 1u);
  EXPECT_EQ(d.polls[0].op, 3u);
  EXPECT_EQ(d.polls[0].eids, (std::vector<std::string>{"65534/65534 8/25/1", "65534/65534 8/25/2"}));
  EXPECT_EQ(d.polls[0].intervals, (std::vector<uint32_t>{10, 10}));
  EXPECT_EQ(d.polls[0].deltas, (std::vector<uint32_t>{1, 1}));
  // The temperature list was sent: the state machine is told.
  EXPECT_TRUE(acq_called("envmon_ceb_fsa_sched_event(9)"));
  // The acknowledgements mark the sensors, found under this card's slot.
  settle([&] { return envmon_nm->temp_data.sensors[1].state & ENVMON_ST_POLL_DONE; });
  EXPECT_EQ(envmon_nm->temp_data.sensors[0].state & 0xF0000300u, 0xF0000300u);
  // The voltage sensor belongs to a driver not connected: not marked.
  EXPECT_EQ(envmon_nm->voltage_data.sensors[0].state & ENVMON_ST_POLL_PENDING, 0u);
  EXPECT_EQ(get_drvif_driver_handler(12), envmon_drvif_driver_table[12]);
  EXPECT_EQ(get_drvif_driver_handler(17), nullptr);
  int other = 0;
  EXPECT_EQ(envmon_drvif_get_driver_index(reinterpret_cast<drvif_handle*>(&other)), 17u);
}

TEST_F(DrvifClient, FanDriverWaitsForTheRackInventoryClients) {
  FakeDriver& fan = start(1, ENVMON_SCOPE_RACK);
  EXPECT_TRUE(main_traced("envmon_drvif_connect_cb(): Not connected to invreg RM, register for fan notification later\n"));
  EXPECT_TRUE(fan.registrations.empty());
  // Later, from the inventory clients' connection: driver 14 is not there.
  EXPECT_EQ(envmon_drvif_rm_init(), ENVMON_ERR_INVALID_ARG);
  settle([&] { return !fan.registrations.empty(); });
  EXPECT_EQ(fan.registrations[0], (std::vector<uint32_t>{1, 7, 7}));
  FakeDriver& sec = start(14, ENVMON_SCOPE_RACK);
  EXPECT_EQ(envmon_drvif_rm_init(), ENVMON_OK);
  settle([&] { return !sec.registrations.empty(); });
}

TEST_F(DrvifClient, FanDriverReconnectResendsRunningUpgrades) {
  envmon_rm->inv_invreg_connected = 1;
  envmon_rm->inv_capi_connected = 1;
  fantray_cb& ft = envmon_rm->fantray_cb[0];
  ft.fpd_data = static_cast<fpd_data*>(calloc(2, sizeof(fpd_data)));
  ft.fpd_count = 2;
  ft.fpd_data[0].eid = acq_inv_eid(0xfffe, 41, {{6, 9, 35}});
  ft.fpd_data[0].state_set = 3;
  snprintf(ft.fpd_data[0].fpd_path, sizeof(ft.fpd_data[0].fpd_path), "/img/ft.bin");
  ft.fpd_data[1].eid = acq_inv_eid(0xfffe, 41, {{6, 9, 36}});
  ft.fpd_data[1].state_set = 1;
  FakeDriver& fan = start(1, ENVMON_SCOPE_RACK);
  settle([&] { return !fan.fpga_sets.empty(); });
  ASSERT_EQ(fan.fpga_sets.size(), 1u);
  EXPECT_EQ(fan.fpga_sets[0].eid, "65534/41 6/9/35");
  EXPECT_EQ(fan.fpga_sets[0].path, "/img/ft.bin");
  EXPECT_EQ(fan.fpga_sets[0].op, 12u);
  EXPECT_TRUE(acq_called("envmon_inv_invreg_rm_register_chassis_lvl_eids"));
}

TEST_F(DrvifClient, PowerDriverRegistersThePowerTraysOnce) {
  acq_standin().power_trays_registered = true;
  FakeDriver& pwr = start(2, ENVMON_SCOPE_RACK);
  settle([&] { return !pwr.registrations.empty(); });
  EXPECT_EQ(pwr.registrations[0], (std::vector<uint32_t>{1, 9, 10}));
  EXPECT_EQ(pm.pwr_tray_drvif_reg_done, 1);
  EXPECT_EQ(acq_calls("envmon_hal_drvif_connect"), std::vector<std::string>{"envmon_hal_drvif_connect(2)"});
  EXPECT_TRUE(acq_called("envmon_hal_drvif_post_connect_actions(2)"));
  EXPECT_TRUE(acq_called("envmon_hal_update_rack_num(0x" + [this] {
    char b[16];
    snprintf(b, sizeof(b), "%x", rack);
    return std::string(b);
  }() + ")"));
  // No polling from this connection.
  EXPECT_TRUE(pwr.polls.empty());
  acq_clear_calls();
  envmon_drvif_pwr_regi();
  EXPECT_TRUE(main_traced("envmon_drvif_pwr_regi ingore: already registered with PWR drv for pwr tray\n"));
  EXPECT_TRUE(acq_calls("envmon_hal_drvif_post_connect_actions").empty());
}

TEST_F(DrvifClient, NoPowerTrayAckIsRemembered) {
  acq_standin().power_trays_registered = true;
  drivers[2] = std::make_unique<FakeDriver>(loop, 2, ENVMON_SCOPE_RACK);
  drivers[2]->registration_acks = {0, 14};
  ASSERT_EQ(envmon_drvif_init(loop, 2), 0);
  settle([&] { return pm.no_pt_detected == 1; });
  EXPECT_TRUE(main_traced("No PT detected by driver 2\n"));
}

TEST_F(DrvifClient, PowerDriverWithoutRegisteredTraysWaits) {
  acq_standin().max_virtual_powertray = 0;
  FakeDriver& pwr = start(2, ENVMON_SCOPE_RACK);
  EXPECT_TRUE(main_traced("Cannot register with PWR driver yet - power tray container registration is not done.\n"));
  EXPECT_TRUE(pwr.registrations.empty());
  acq_standin().max_virtual_powertray = 2;
  drivers[2]->drop_client();
  // Reconnection repeats the connect: now the virtual trays go to the platform.
  settle([&] { return acq_called("envmon_hal_drvif_post_connect_actions(2)"); });
}

TEST_F(DrvifClient, EcuDriverRegistrationIsThePlatforms) {
  envmon_rm->inv_invreg_connected = 1;
  FakeDriver& ecu = start(7, ENVMON_SCOPE_RACK);
  EXPECT_TRUE(acq_called("envmon_hal_drvif_reg_ecu_eids"));
  EXPECT_TRUE(ecu.registrations.empty());
  EXPECT_TRUE(acq_called("envmon_inv_invreg_rm_register_chassis_lvl_eids"));
}

TEST_F(DrvifClient, LossOfADriverDropsItsPendingRequests) {
  start(12);
  acq_clear_calls();
  drivers[12].reset();  // the driver process goes away
  settle([&] { return envmon_nm->drvif_connected[12] == 0; });
  EXPECT_TRUE(acq_called("envmon_hal_drvif_disconnect(12)"));
  EXPECT_TRUE(acq_called("envmon_fsa_cleanup_all_drvif_retry_request(12)"));
  EXPECT_TRUE(main_traced("envmon_drvif_disconnect_cb(): Disconnecting from DRVIF Driver 12\n"));
}

TEST_F(DrvifClient, FailedConnectLeavesTheSlotEmptyAndCounts) {
  uint32_t oper[5 * 8] = {};
  uint32_t err[5 * 5] = {};
  envmon_drvif_oper_stats_hdl = oper;
  envmon_drvif_err_stats_hdl = err;
  setenv("ENVMON_DS_ENDPOINT", "not an endpoint", 1);
  EXPECT_NE(envmon_drvif_init(loop, 12), 0);
  EXPECT_EQ(envmon_drvif_driver_table[12], nullptr);
  EXPECT_EQ(err[5 * 0], 1u);  // ErrConnect
  EXPECT_TRUE(err_traced("envmon_drvif_init(): Failed to connect to drvif driver 12, error: "));
  // A second init with the slot taken keeps the handle it has.
  dir.reset();
  dir = std::make_unique<TestDirectory>(loop);
  FakeDriver& d = start(12);
  drvif_handle* h = envmon_drvif_driver_table[12];
  EXPECT_EQ(envmon_drvif_init(loop, 12), 0);
  EXPECT_EQ(envmon_drvif_driver_table[12], h);
  EXPECT_EQ(oper[5 * 0], 1u);  // Connect
  (void)d;
  envmon_drvif_oper_stats_hdl = nullptr;
  envmon_drvif_err_stats_hdl = nullptr;
}

TEST_F(DrvifClient, UnregistrationTypesPerDriver) {
  FakeDriver& fan = start(1, ENVMON_SCOPE_RACK);
  FakeDriver& pwr = start(2, ENVMON_SCOPE_RACK);
  FakeDriver& other = start(12);
  EXPECT_EQ(envmon_drvif_unregister_eid(1, 7, 2), 0);
  EXPECT_EQ(envmon_drvif_unregister_eid(2, 6, 2), 0);
  EXPECT_EQ(envmon_drvif_unregister_eid(12, 8, 2), 0);
  EXPECT_EQ(envmon_drvif_unregister_eid(5, 8, 2), -1);
  EXPECT_EQ(envmon_drvif_unregister_eid(17, 8, 2), -1);
  EXPECT_TRUE(err_traced("Driver(5) not registered\n"));
  settle([&] { return !fan.unregistrations.empty() && !pwr.unregistrations.empty() && !other.unregistrations.empty(); });
  EXPECT_EQ(fan.unregistrations[0], (std::vector<uint32_t>{2, 7, 4}));
  EXPECT_EQ(pwr.unregistrations[0], (std::vector<uint32_t>{2, 6, 8}));
  EXPECT_EQ(other.unregistrations[0], (std::vector<uint32_t>{2, 8, 1}));
}

TEST_F(DrvifClient, PollRequestGroupsByDriverInInputOrder) {
  FakeDriver& a = start(1, ENVMON_SCOPE_RACK);
  FakeDriver& b = start(3);
  a.polls.clear();
  b.polls.clear();
  envmon_sensor_list list{};
  envmon_sensor_info* s = fill_list(&list, 41, 25, {"a1", "b1", "a2", "none", "b2", "gone"});
  s[0].driver_ownership = 1;
  s[1].driver_ownership = 3;
  s[2].driver_ownership = 1;
  s[3].driver_ownership = 20;  // no driver
  s[4].driver_ownership = 3;
  s[5].driver_ownership = 9;   // not connected
  acq_standin().ok_to_poll[3] = 0;  // "a2": its delta is not sent
  s[2].delta = 7;
  s[2].update_rate = 30;
  envmon_drvif_poll_request(list.sensors, list.count, 3, 17);
  settle([&] { return !a.polls.empty() && !b.polls.empty(); });
  EXPECT_EQ(a.polls[0].eids, (std::vector<std::string>{"65534/41 8/25/1", "65534/41 8/25/3"}));
  EXPECT_EQ(a.polls[0].deltas, (std::vector<uint32_t>{1, 0}));
  EXPECT_EQ(a.polls[0].intervals, (std::vector<uint32_t>{10, 30}));
  EXPECT_EQ(b.polls[0].eids, (std::vector<std::string>{"65534/41 8/25/2", "65534/41 8/25/5"}));
  EXPECT_EQ(s[0].state & 0xF0000100u, 0xF0000100u);
  EXPECT_EQ(s[3].state & ENVMON_ST_POLL_PENDING, 0u);
  EXPECT_EQ(s[5].state & ENVMON_ST_POLL_PENDING, 0u);
  // One driver alone.
  envmon_drvif_poll_request(list.sensors, list.count, 4, 3);
  settle([&] { return b.polls.size() == 2; });
  EXPECT_EQ(b.polls[1].op, 4u);
  EXPECT_EQ(a.polls.size(), 1u);
  for (uint16_t i = 0; i < list.count; ++i) envmon_free_tsi(&list.sensors[i].eid);
  free(list.sensors);
}

TEST_F(DrvifClient, PollAcknowledgementsByClass) {
  fill_list(&envmon_rm->fantray_cb[0].temp_data, 41, 25, {"ok", "retry", "refused"}, 1);
  FakeDriver& fan = start(1, ENVMON_SCOPE_RACK);
  fan.ack_of = [](const std::string& eid) -> uint32_t {
    if (eid.find("8/25/2") != std::string::npos) return 12;
    if (eid.find("8/25/3") != std::string::npos) return 7;
    return 0;
  };
  envmon_sensor_info* s = envmon_rm->fantray_cb[0].temp_data.sensors;
  envmon_drvif_poll_request(s, 3, 3, 1);
  settle([&] { return s[0].state & ENVMON_ST_POLL_DONE; });
  settle([&] { return !(s[2].state & ENVMON_ST_POLL_PENDING); });
  EXPECT_EQ(s[1].state & 0x300u, 0x100u);  // asked again by the state machine
  EXPECT_EQ(s[2].state & 0x300u, 0u);      // given up
  EXPECT_TRUE(tlg_test_contains("envmon_cmn_smil", "Ack Retry=12"));
  EXPECT_TRUE(tlg_test_contains("envmon_cmn_smil", "Ack Error=7"));
}

TEST_F(DrvifClient, NodePollAllAndPortAdapters) {
  FakeDriver& d = start(12);
  d.polls.clear();
  fill_list(&envmon_nm->voltage_data, 0xfffe, 29, {"V"}, 12);
  envmon_nm->mpa[1].temp_data.reg_state = ENVMON_ST_POLL_PENDING;
  acq_clear_calls();
  envmon_drvif_nm_poll_all_sensors(12, 3);
  settle([&] { return !d.polls.empty(); });
  // Only the voltage list: no event for the state machine.
  EXPECT_TRUE(acq_calls("envmon_ceb_fsa_sched_event").empty());
  EXPECT_EQ(envmon_nm->voltage_data.reg_state & 0xF0000100u, 0xF0000100u);
  EXPECT_EQ(acq_calls("envmon_mpa_start_stop_sensor_polling"),
            (std::vector<std::string>{"envmon_mpa_start_stop_sensor_polling(0, 4)",
                                      "envmon_mpa_start_stop_sensor_polling(1, 3)"}));
}

TEST_F(DrvifClient, RackPollAllTakesEveryRemoteCard) {
  FakeDriver& d = start(12, ENVMON_SCOPE_RACK);
  d.polls.clear();
  acq_standin().platform_name = "TOLSEK-8";
  fill_list(&envmon_rm->temp_data, 0xfffe, 25, {"Chassis"}, 12);
  fill_list(&envmon_rm->fc_cb[1].temp_data, 5, 25, {"FC T"}, 12);
  fill_list(&envmon_rm->lc_cb[0].voltage_data, 10, 29, {"LC V"}, 12);
  fill_list(&envmon_rm->sw_cb[1].current_data, 27, 7, {"SW I"}, 12);
  acq_clear_calls();
  envmon_drvif_rm_poll_all_sensors(12, 3);
  settle([&] { return d.polls.size() == 4; });
  EXPECT_TRUE(acq_called("envmon_ceb_fsa_sched_event(9)"));
  // Polled sensors start from the down state on this platform, except the
  // line cards' which are not adjusted.
  EXPECT_EQ(envmon_rm->temp_data.sensors[0].hw_state, 2);
  EXPECT_EQ(envmon_rm->fc_cb[1].temp_data.sensors[0].hw_state, 2);
  EXPECT_EQ(envmon_rm->lc_cb[0].voltage_data.sensors[0].hw_state, 0);
  EXPECT_EQ(envmon_rm->sw_cb[1].current_data.sensors[0].hw_state, 2);
}

TEST_F(DrvifClient, SetSensorsAndTheirAcknowledgements) {
  fill_list(&envmon_rm->fantray_cb[0].fan_data, 41, 8, {"Fan 0", "Fan 1"}, 1);
  envmon_sensor_info* s = envmon_rm->fantray_cb[0].fan_data.sensors;
  pelm_eid* ids[] = {&s[0].eid, &s[1].eid};
  uint32_t values[] = {40, 60};
  uint32_t kinds[] = {13, 13};
  // Driver 1 not connected: nothing is sent, nothing ends.
  envmon_drvif_set_bulk_sensor_data(ids, values, kinds, 1, 2);
  EXPECT_TRUE(err_traced("envmon_drvif_set_bulk_sensor_data(): Failed to set sensor with driver 1drvif not connected\n"));
  FakeDriver& fan = start(1, ENVMON_SCOPE_RACK);
  fan.ack_of = [](const std::string& eid) { return eid.find("8/8/2") != std::string::npos ? 5u : 0u; };
  s[0].state |= ENVMON_ST_SET_PENDING;
  s[1].state |= ENVMON_ST_SET_PENDING;
  envmon_drvif_set_bulk_sensor_data(ids, values, kinds, 1, 2);
  settle([&] { return s[0].state & ENVMON_ST_SET_DONE; });
  ASSERT_EQ(fan.sets.size(), 1u);
  EXPECT_EQ(fan.sets[0].eids, (std::vector<std::string>{"65534/41 8/8/1", "65534/41 8/8/2"}));
  EXPECT_EQ(fan.sets[0].values, (std::vector<uint32_t>{40, 60}));
  EXPECT_EQ(fan.sets[0].kinds, (std::vector<uint32_t>{13, 13}));
  EXPECT_FALSE(fan.sets[0].auxiliary);
  EXPECT_FALSE(s[1].state & ENVMON_ST_SET_DONE);
  EXPECT_TRUE(s[1].state & ENVMON_ST_SET_PENDING);
  envmon_drvif_set_aux_bulk_sensor_data(ids, values, kinds, 1, 1);
  settle([&] { return fan.sets.size() == 2; });
  EXPECT_TRUE(fan.sets[1].auxiliary);
}

TEST_F(DrvifClient, SetAcknowledgementOfThisCardsSensorUsesNodeScope) {
  fill_list(&envmon_nm->temp_data, 0xfffe, 25, {"CPU"}, 12);
  FakeDriver& d = start(12);
  // The driver acks under this card's own slot number.
  pelm_eid own = acq_sensor_eid(kOwnSlot, 25, 1);
  drvif_eid_ack_resp resp{};
  uint32_t ack = 0;
  resp.eid = &own;
  resp.eid_count = 1;
  resp.ack = &ack;
  resp.ack_count = 1;
  resp.present = 0x3;
  envmon_drvif_resp_set_sensor_info_cb(envmon_drvif_driver_table[12], &resp, 1, 0, 0);
  // Looked up as this card's sensor: no such sensor under slot 0 in node scope.
  EXPECT_TRUE(err_traced("Cannot find sensor info EID = "));
  (void)d;
  envmon_free_tsi(&own);
}

TEST_F(DrvifClient, ShutSlotAndRackNumber) {
  EXPECT_EQ(envmon_drvif_shut_slot_req(10), -1);
  EXPECT_TRUE(err_traced("DRVIF connection to server is not established\n"));
  EXPECT_TRUE(err_traced("Could not shut slot 10\n"));
  FakeDriver& shut = start(11, ENVMON_SCOPE_RACK);
  EXPECT_EQ(envmon_drvif_shut_slot_req(512 + 3), 0);
  FakeDriver& pwr = start(2, ENVMON_SCOPE_RACK);
  envmon_drvif_send_rack_num_to_driver(2, 0x105);
  envmon_drvif_send_rack_num_to_driver(17, 0x105);
  settle([&] { return !shut.shut_slots.empty() && !pwr.rack_nums.empty(); });
  EXPECT_EQ(shut.shut_slots, std::vector<uint32_t>{515});
  EXPECT_EQ(pwr.rack_nums, std::vector<uint32_t>{0x105});
}

// A driver that cannot take fan settings ends the process with status 3; the
// auxiliary set only reports it.
TEST_F(DrvifClient, FlowControlOnASetEndsTheProcess) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  fill_list(&envmon_rm->fantray_cb[0].fan_data, 41, 8, {"Fan 0"}, 1);
  pelm_eid* ids[] = {&envmon_rm->fantray_cb[0].fan_data.sensors[0].eid};
  uint32_t values[] = {100};
  uint32_t kinds[] = {13};
  auto fill_queue = [&] {
    FakeDriver& fan = start(1, ENVMON_SCOPE_RACK);
    (void)fan;
    msgpipe_set_send_queue_limit(drvif_get_transport(envmon_drvif_driver_table[1]), 1, 1);
    std::vector<drvif_set_sensor_rec> many(4096);
    for (auto& r : many) r.present = 0x4;
    drvif_set_sensor_req big{many.data(), static_cast<uint32_t>(many.size()), 1};
    int rc = 0;
    for (int i = 0; i < 10000 && rc != DRVIF_ERR_FLOW_CONTROL; ++i)
      rc = drvif_set_sensor_info(envmon_drvif_driver_table[1], &big, 0);
    return rc;
  };
  EXPECT_EXIT(
      {
        if (fill_queue() != DRVIF_ERR_FLOW_CONTROL) exit(1);
        envmon_drvif_set_aux_bulk_sensor_data(ids, values, kinds, 1, 1);
        envmon_drvif_set_bulk_sensor_data(ids, values, kinds, 1, 1);
        exit(0);
      },
      ::testing::ExitedWithCode(3), "");
}

// When more endpoints of its driver are published, the client moves to the
// first one that is not its current one; a card that is no route processor
// passes rack-scope endpoints over.
TEST_F(DrvifClient, EndpointFilterMovesToTheDriversNextEndpoint) {
  envmon_nm->card_type = 0x12345;  // a line card
  FakeDriver& first = start(12);
  FakeDriver rack_scope(loop, 12, ENVMON_SCOPE_RACK);
  FakeDriver node_scope(loop, 12, ENVMON_SCOPE_NODE);
  settle([&] { return node_scope.connected(); });
  settle([&] { return !first.connected(); });
  EXPECT_FALSE(rack_scope.connected());
  EXPECT_TRUE(main_traced("envmon_drvif_filter_cb(): Not Running from RP/SCso don't connect to rack scope service\n"));

  // On a route processor: another driver's endpoint is passed over, the
  // rack-scope one of this driver taken.
  uint32_t oper[5 * 8] = {};
  envmon_drvif_oper_stats_hdl = oper;
  envmon_nm->card_type = 0x1e0810;
  FakeDriver other(loop, 3, ENVMON_SCOPE_NODE);
  FakeDriver::Entry e1, e2;
  other.entry(&e1, ENVMON_SCOPE_NODE);
  rack_scope.entry(&e2, ENVMON_SCOPE_RACK);
  ds_service_info list[] = {e1.info, e2.info};
  envmon_drvif_filter_cb(envmon_drvif_driver_table[12], list, 2);
  EXPECT_EQ(oper[5 * 3], 1u);  // Filter
  settle([&] { return rack_scope.connected(); });
  EXPECT_FALSE(other.connected());
  envmon_drvif_oper_stats_hdl = nullptr;
}

}  // namespace

// Notifications of the platform drivers through the core's driver client:
// sensor readings (own-slot rewrite, hardware state, hand-off to the
// platform, failure log after the batch), LED states and entity data.
#include "drvif_fixture.h"
#include "alarmd_test.h"
#include "fpd_drv_test.h"
#include "obfl_mgr_test.h"
#include "tlg_test.h"

namespace {

bool err_traced(const std::string& t) { return tlg_test_contains("envmon_cmn_err", t); }

drvif_sensor_data_rec reading(uint32_t slot, uint32_t subtype, uint32_t instance, int32_t value,
                              int32_t hw_event = -1) {
  drvif_sensor_data_rec r{};
  r.eid = acq_sensor_eid(slot, subtype, instance);
  r.value = value;
  r.present[0] = 0x1 | 0x2;
  if (hw_event >= 0) {
    r.hw_event = static_cast<uint32_t>(hw_event);
    r.present[0] |= 0x8;
  }
  return r;
}

class DrvifNotify : public DrvifFixture {
 protected:
  void TearDown() override {
    for (auto& r : owned) envmon_free_tsi(&r);
    DrvifFixture::TearDown();
  }
  // Sends one batch and waits for its completion hook.
  void batch(FakeDriver& d, std::vector<drvif_sensor_data_rec> recs) {
    for (auto& r : recs) owned.push_back(r.eid);
    const size_t before = acq_calls("sensor_complete").size();
    ASSERT_EQ(d.notify_sensor(recs), 0);
    settle([&] { return acq_calls("sensor_complete").size() > before; });
  }
  std::vector<pelm_eid> owned;
};

TEST_F(DrvifNotify, ReadingsReachThePlatformWithScopeAndOwnSlotRewritten) {
  fill_list(&envmon_nm->temp_data, 0xfffe, 25, {"CPU"});
  fill_list(&envmon_rm->fantray_cb[1].voltage_data, 42, 29, {"VP12"});
  FakeDriver& d = start(12);
  drvif_sensor_data_rec own = reading(kOwnSlot, 25, 1, 51, 0x50);
  own.fault_event = 0x4;
  own.warning_event = 0x8;
  own.scale = 9;
  own.aux1 = 3;
  own.aux2 = 4;
  own.sensor_type = 6;
  own.timestamp = 1700000000;
  own.present[0] |= 0x10 | 0x20 | 0x40 | 0x80 | 0x04;
  own.present[1] = 0x3;
  drvif_sensor_data_rec fan = reading(42, 29, 1, 12000, 0x30);
  drvif_sensor_data_rec no_eid{};
  no_eid.present[0] = 0x2;
  drvif_sensor_data_rec no_levels{};
  no_levels.eid = acq_eid(0xfffe, 42, {});
  no_levels.present[0] = 0x1;
  batch(d, {own, no_eid, fan, no_levels});
  const auto hooks = acq_calls("sensor(");
  ASSERT_EQ(hooks.size(), 2u);
  // This card's reading is named by slot 0xfffe, its slot argument the card's.
  EXPECT_EQ(hooks[0], "sensor(25, 65534/65534 TSI: 8/25/1, 1, 0, 3, value=51, hw=0x50, fault=0x4, "
                      "warn=0x8, aux2=4, scale=9, aux1=3, type=6, ts=1700000000)");
  EXPECT_EQ(hooks[1], "sensor(29, 65534/42 TSI: 8/29/1, 1, 42, 1, value=12000, hw=0x30, fault=0x0, "
                      "warn=0x0, aux2=0, scale=0, aux1=0, type=0, ts=0)");
  EXPECT_TRUE(acq_called("sensor_complete(29)"));
  EXPECT_TRUE(err_traced("envmon_drvif_notify_sensor_data_cb(): EID data missing for driver 12\n\n"));
  EXPECT_TRUE(err_traced("envmon_drvif_notify_sensor_data_cb(): tsi not set\n\n"));
  // Hardware states: 0x50 is down (0x40 first), 0x30 up.
  EXPECT_EQ(acq_calls("envmon_inv_invreg_upd_eid_state"),
            (std::vector<std::string>{
                "envmon_inv_invreg_upd_eid_state(65534/65534 TSI: 8/25/1, 2, 1, 3)",
                "envmon_inv_invreg_upd_eid_state(65534/42 TSI: 8/29/1, 1, 1, 1)"}));
  EXPECT_EQ(envmon_nm->temp_data.sensors[0].hw_state, 2);
  EXPECT_EQ(envmon_nm->temp_data.sensors[0].hw_event, 0x50u);
  EXPECT_EQ(envmon_rm->fantray_cb[1].voltage_data.sensors[0].hw_state, 1);
}

TEST_F(DrvifNotify, BatchWithoutAnyEntityIdStillCompletes) {
  FakeDriver& d = start(12);
  drvif_sensor_data_rec r{};
  r.present[0] = 0x2;
  batch(d, {r, r});
  EXPECT_TRUE(acq_calls("sensor(").empty());
  EXPECT_EQ(acq_calls("sensor_complete"), std::vector<std::string>{"sensor_complete(25)"});
}

TEST_F(DrvifNotify, HardwareStatePushesAndFlowControl) {
  fill_list(&envmon_nm->voltage_data, 0xfffe, 29, {"V"});
  envmon_sensor_info& s = envmon_nm->voltage_data.sensors[0];
  pelm_eid eid = acq_sensor_eid(0xfffe, 29, 1);
  struct Case {
    const char* name;
    const char* platform;
    uint32_t hw_event;
    int32_t rc;
    uint8_t before;
    uint8_t after;
    size_t pushes;
    uint8_t flow;
  };
  const Case cases[] = {
      {"same state pushed again elsewhere", "standin", 0x10, 0, 1, 1, 1, 0},
      {"same state not pushed on Tolsek", "Tolsek", 0x10, 0, 1, 1, 0, 0},
      {"changed state pushed on Tolsek", "tolsek", 0x20, 0, 1, 3, 1, 0},
      {"flow control keeps the old state", "standin", 0x40, -3, 1, 1, 1, 1},
      {"another failure leaves the state too", "standin", 0x40, -1, 1, 1, 1, 0},
      {"no state bit: nothing pushed", "standin", 0x4, 0, 1, 1, 0, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    acq_clear_calls();
    acq_standin().platform_name = c.platform;
    acq_standin().upd_eid_state_rc = c.rc;
    s.hw_state = c.before;
    s.hw_st_capi_flow_ctrl = 1;
    envmon_update_oper_state(&eid, c.hw_event, 3);
    EXPECT_EQ(s.hw_state, c.after);
    EXPECT_EQ(s.hw_event, c.hw_event);
    EXPECT_EQ(acq_calls("envmon_inv_invreg_upd_eid_state").size(), c.pushes);
    if (c.pushes) {
      EXPECT_EQ(s.hw_st_capi_flow_ctrl, c.flow);
    }
  }
  envmon_free_tsi(&eid);
}

// After a batch the failure log gets one pass per entity that changed.
TEST_F(DrvifNotify, FailureLogAfterTheBatch) {
  ASSERT_EQ(envmon_obfl_rm_init(loop), ENVMON_OK);
  ASSERT_EQ(envmon_obfl_nm_init(loop), ENVMON_OK);
  settle([&] { return envmon_rm->obfl_capi_connected && envmon_nm->obfl_capi_connected; });
  obfl_mgr_test_clear_requests();
  envmon_sensor_info* cpu = fill_list(&envmon_nm->temp_data, 0xfffe, 25, {"CPU"});
  envmon_nm->misc_state = 0;
  envmon_nm->obfl_client_id = 0;  // not registered yet: the request stays
  for (uint32_t i = 0; i < 3; ++i) {
    fill_list(&envmon_rm->fantray_cb[i].temp_data, kFanTraySlots[i], 25, {"T"});
    envmon_rm->fantray_cb[i].obfl_client_id = 0x10 + i;
    envmon_rm->fantray_cb[i].misc_state = 0;
    envmon_rm->fantray_cb[i].temp_data.sensors[0].state |= ENVMON_ST_OBFL_PENDING;
  }
  cpu->state |= ENVMON_ST_OBFL_PENDING;
  FakeDriver& d = start(12);
  batch(d, {reading(kOwnSlot, 25, 1, 40), reading(41, 25, 1, 30), reading(43, 25, 1, 31)});
  // Every fan tray is logged once, the request word cleared; the node keeps
  // its request until it has a client id.
  std::vector<uint32_t> slots;
  for (const auto& r : obfl_mgr_test_requests()) slots.push_back(r.user_ctx);
  EXPECT_EQ(slots, (std::vector<uint32_t>{41, 42, 43}));
  EXPECT_EQ(envmon_rm->obfl_flags & ENVMON_RM_OBFL_FANTRAYS, 0u);
  EXPECT_TRUE(envmon_nm->misc_state & ENVMON_NM_OBFL_LOG_ALL);
  envmon_nm->obfl_client_id = 5;
  obfl_mgr_test_clear_requests();
  batch(d, {reading(kOwnSlot, 25, 1, 41)});
  ASSERT_EQ(obfl_mgr_test_requests().size(), 1u);
  EXPECT_EQ(obfl_mgr_test_requests()[0].handle, envmon_obfl_handle[1]);
  EXPECT_FALSE(envmon_nm->misc_state & ENVMON_NM_OBFL_LOG_ALL);
}

TEST_F(DrvifNotify, LedStatesOfFanTrays) {
  envmon_sensor_info* leds = fill_list(&envmon_rm->fantray_cb[0].subtype13_data, 41, 13, {"FT LED", "Status"});
  leds[0].value = 1;
  leds[1].state |= ENVMON_ST_REG_DONE;
  FakeDriver& d = start(1, ENVMON_SCOPE_RACK);
  std::vector<drvif_led_data_rec> recs(4);
  recs[0].eid = acq_sensor_eid(41, 13, 1);
  recs[0].led_status = 3;
  recs[0].timestamp = 99;
  recs[0].hw_event = 0x10;
  recs[0].present = 0x1 | 0x2 | 0x4 | 0x20;
  recs[1].eid = acq_sensor_eid(41, 13, 2);
  recs[1].led_status = 5;
  recs[1].present = 0x3;
  recs[2].eid = acq_sensor_eid(41, 25, 1);  // no LED
  recs[2].present = 0x1;
  recs[3].present = 0x2;                     // no entity id
  for (auto& r : recs) owned.push_back(r.eid);
  ASSERT_EQ(d.notify_led(recs), 0);
  settle([&] { return acq_calls("envmon_inv_invreg_led_status_update").size() == 2; });
  EXPECT_EQ(leds[0].value, 3);
  EXPECT_EQ(leds[0].last_value, 1);
  EXPECT_EQ(leds[0].timestamp, 99u);
  // Not registered yet: reported after the registration as well.
  EXPECT_TRUE(leds[0].state & ENVMON_ST_VALUE_WAITING);
  EXPECT_FALSE(leds[1].state & ENVMON_ST_VALUE_WAITING);
  EXPECT_EQ(leds[0].hw_state, 1);
  EXPECT_TRUE(err_traced("envmon_drvif_notify_led_data_cb(): invalid subtype 25\n"));
  EXPECT_TRUE(err_traced("envmon_drvif_notify_led_data_cb(): EID data missing for idx 3\n"));
}

drvif_eid_data_rec entity(uint32_t slot, std::initializer_list<pelm_tsi> levels, uint32_t state) {
  drvif_eid_data_rec r{};
  r.eid = acq_eid(0xfffe, slot, levels);
  r.state = state;
  r.present[0] = 0x1 | 0x8;
  return r;
}

TEST_F(DrvifNotify, EntitiesOtherThanFanTraysGoToThePlatform) {
  FakeDriver& d = start(2, ENVMON_SCOPE_RACK);
  drvif_eid_data_rec pem = entity(48, {{5, 7, 0}, {6, 7, 1}}, 0x1);
  pem.board_id = 0xab010030;
  pem.serial = const_cast<char*>("PS00012345678");  // more than 11 characters: cut
  pem.present[0] |= 0x2 | 0x4;
  pem.text2 = const_cast<char*>("second");
  pem.hw_major = 2;
  pem.present[1] = 0x2 | 0x4;
  drvif_eid_data_rec own = entity(kOwnSlot, {{9, 27, 0}}, 0x1);
  drvif_eid_data_rec bad_pair = entity(30, {{5, 7, 0}}, 0x1);
  acq_standin().invalid_driver_slots = {30};
  for (auto* r : {&pem, &own, &bad_pair}) owned.push_back(r->eid);
  ASSERT_EQ(d.notify_eid({pem, own, bad_pair}), 0);
  settle([&] { return acq_called("entity_complete(27)"); });
  EXPECT_EQ(acq_calls("entity("),
            (std::vector<std::string>{
                "entity(7, 65534/48 TSI: 5/7/0 6/7/1, 48, 0xab010030, PS000123456, 0x1, 0x0, , 0x0, second, "
                "0, 0, 2.0, 1)",
                "entity(27, 65534/65534 TSI: 9/27/0, 0, 0x0, , 0x1, 0x0, , 0x0, , 0, 0, 0.0, 3)"}));
  EXPECT_TRUE(err_traced("Driver 2 slot 30 combination not valid\n"));
}

TEST_F(DrvifNotify, OpticsEntryDoesNotEndTheBatch) {
  acq_standin().optics_slots = {600};
  FakeDriver& d = start(12);
  drvif_eid_data_rec optics = entity(600, {{6, 63, 1}}, 0x2);
  drvif_eid_data_rec after = entity(48, {{5, 7, 0}}, 0x1);
  owned.push_back(optics.eid);
  owned.push_back(after.eid);
  ASSERT_EQ(d.notify_eid({optics, after}), 0);
  settle([&] { return !acq_calls("entity_complete").empty(); });
  EXPECT_TRUE(acq_called("envmon_hal_fan_algo_optics_removal(600)"));
  EXPECT_EQ(acq_calls("entity(").size(), 1u);
  EXPECT_TRUE(acq_called("entity_complete(7)"));
}

TEST_F(DrvifNotify, EmptyEntityBatchCompletesAndSaysSo) {
  FakeDriver& d = start(12);
  ASSERT_EQ(d.notify_eid({}), 0);
  settle([&] { return !acq_calls("entity_complete").empty(); });
  EXPECT_EQ(acq_calls("entity_complete"), std::vector<std::string>{"entity_complete(0)"});
  EXPECT_TRUE(err_traced("envmon_drvif_notify_eid_data_cb(): invalid eid count\n"));
}

TEST_F(DrvifNotify, FanTrayRepeatedPresenceAndNeitherBit) {
  acq_standin().fan_reg_active = {1};
  FakeDriver& fan = start(1, ENVMON_SCOPE_RACK);
  drvif_eid_data_rec again = entity(42, {{5, 5, 1}, {6, 6, 1}}, 0x11);
  again.warning = 0x80;
  again.present[0] |= 0x20;
  drvif_eid_data_rec neither = entity(43, {{5, 5, 2}, {6, 6, 1}}, 0x40);
  owned.push_back(again.eid);
  owned.push_back(neither.eid);
  ASSERT_EQ(fan.notify_eid({again, neither}), 0);
  settle([&] { return !acq_calls("entity_complete").empty(); });
  EXPECT_EQ(envmon_rm->fantray_cb[1].hw_warning, 0x80u);
  // Fan speed and power management refreshed, nothing registered again.
  EXPECT_TRUE(acq_called("envmon_hal_fan_mgmt_fan_speed_update(1, 1)"));
  EXPECT_TRUE(acq_called("envmon_hal_fan_mgmt_fantray_oir(1, 1, 0, none)"));
  EXPECT_TRUE(acq_called("envmon_pwr_mgmt_fantray_oir_ev(1, 1)"));
  EXPECT_TRUE(acq_called("envmon_hal_fan_mgmt_inv_reg_reset_state(0x11, 1, 0)"));
  EXPECT_TRUE(acq_calls("envmon_inv_invreg_fan_fru_reg").empty());
  // A state word with neither bit only reports the hardware event.
  EXPECT_TRUE(acq_called("envmon_inv_invreg_report_hw_event(43, 1, 4)"));
  EXPECT_TRUE(acq_called("envmon_inv_invreg_report_hw_event(42, 1, 1)"));
}

TEST_F(DrvifNotify, FanTrayRemoval) {
  set_location("0/RP0");
  register_fm();
  FakeDriver& fan = start(1, ENVMON_SCOPE_RACK);
  fantray_cb& ft = envmon_rm->fantray_cb[2];
  ft.board_id = 0xab040002;
  snprintf(ft.pid, sizeof(ft.pid), "TV-FAN2-8");
  ft.hw_warning = 0x4;
  ft.flags = 0xF0000002;
  fill_list(&ft.temp_data, 43, 25, {"T"});
  ft.eeprom_len = 10;
  // The tray's power-budget record names it until the removal.
  std::vector<envmon_entity_pbudget_info_t> tray_budgets(3);
  tray_budgets[2].eid = acq_eid(0xfffe, 43, {{5, 5, 2}});
  pm.fantray_pbudget = tray_budgets.data();
  // A fan fault raised on the tray is cleared with it.
  pelm_eid fan_sensor = acq_sensor_eid(43, 8, 1);
  alarmd_fault_data fd;
  alarmd_fault_data_init(&fd);
  fd.eid = &fan_sensor;
  fd.state = 1;
  fd.alarm_level = 4;
  envmon_fm_fault_req req{&fd, 16, 1, 0};
  ASSERT_EQ(envmon_fm_fault_report(1, &req), ENVMON_OK);
  ASSERT_EQ(alarmd_test_raised().size(), 1u);
  // Two FPDs, one of them upgrading.
  static std::vector<std::string> told;
  told.clear();
  struct Done {
    static void cb(void*, void*, uint32_t st, const char* msg) { told.push_back(std::to_string(st) + " " + msg); }
  };
  ft.fpd_data = static_cast<fpd_data*>(calloc(2, sizeof(fpd_data)));
  ft.fpd_count = 2;
  fpd_drv_reg_info reg{};
  for (uint32_t i = 0; i < 2; ++i) {
    ft.fpd_data[i].init_st = ENVMON_FPD_INIT_DONE;
    snprintf(reg.name, sizeof(reg.name), "FT-FPGA%u", i);
    ASSERT_EQ(fpd_drv_init(&reg, &ft.fpd_data[i].fpd_out.fpd_hd), 0);
  }
  ft.fpd_data[0].upgrade_state = 2;
  ft.fpd_data[0].cb_func = Done::cb;
  drvif_eid_data_rec gone = entity(43, {{5, 5, 2}, {6, 6, 1}}, 0x2);
  gone.fault = 0x800000;
  gone.text1 = const_cast<char*>("pulled by operator");
  gone.present[0] |= 0x10;
  gone.present[1] = 0x1;
  owned.push_back(gone.eid);
  const size_t unregs_before = fpd_drv_test_devices().size();
  ASSERT_EQ(fan.notify_eid({gone}), 0);
  settle([&] { return !acq_calls("entity_complete").empty(); });
  EXPECT_EQ(unregs_before, 2u);
  // The upgrade running on the tray ends as failed, with the reason.
  EXPECT_EQ(told, std::vector<std::string>{"6 Fan Tray is removed"});
  EXPECT_TRUE(fpd_drv_test_devices().empty());
  // Each device withdrawn exactly once.
  size_t unregisters = 0;
  for (const auto& c : fpd_drv_test_calls())
    if (c.rfind("unregister(", 0) == 0) ++unregisters;
  EXPECT_EQ(unregisters, 2u);
  EXPECT_TRUE(alarmd_test_raised().empty());
  EXPECT_EQ(ft.hw_warning, 0u);
  EXPECT_TRUE(acq_called("envmon_hal_fan_mgmt_fantray_oir(2, 0, 1, pulled by operator)"));
  EXPECT_TRUE(acq_called("envmon_update_card_budget(43, 0xab040002, TV-FAN2-8, 0, 0, 1, 0)"));
  EXPECT_TRUE(acq_called("envmon_inv_invreg_fan_fru_unreg(43)"));
  EXPECT_TRUE(acq_called("envmon_pwr_mgmt_fantray_oir_ev(2, 0)"));
  EXPECT_EQ(ft.flags, 0xF0000006u);
  // The tray's lists and records are gone.
  EXPECT_EQ(ft.temp_data.sensors, nullptr);
  EXPECT_EQ(ft.fpd_data, nullptr);
  EXPECT_EQ(ft.eeprom_len, 0u);
  // The budget record's id is left empty, not dangling.
  EXPECT_EQ(tray_budgets[2].eid.tsi, nullptr);
  EXPECT_EQ(tray_budgets[2].eid.tsi_count, 0);
  pm.fantray_pbudget = nullptr;
  envmon_free_tsi(&fan_sensor);
}

}  // namespace

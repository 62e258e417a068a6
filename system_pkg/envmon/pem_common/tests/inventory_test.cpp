// Inventory registration of PEMs and the acknowledgements that carry the
// chain on; PEM data kept current in inventory.
#include <gtest/gtest.h>

#include "entprefix.h"
#include "fpd_drv_test.h"
#include "envmon_pem_private.h"
#include "inv.h"
#include "invreg.h"
#include "pem_fixture.h"
#include "tlg_test.h"

namespace {

uint64_t bit(uint32_t id) { return 1ull << id; }

class Inventory : public PemFixture {
 protected:
  invreg_ack ack(uint32_t code, uint32_t tray, uint32_t index) {
    invreg_ack a{};
    a.ack = code;
    inv_util_copy_pelm_eid_to_pelm_eid(&pem(tray, index).cont_eid, &a.eid);
    acks_.push_back(a);
    return a;
  }
  void TearDown() override {
    for (invreg_ack& a : acks_) envmon_free_tsi(&a.eid);
    acks_.clear();
    PemFixture::TearDown();
  }
  std::vector<invreg_ack> acks_;
};

TEST_F(Inventory, ContainerRegistrationIsArmedEvenWhenItFails) {
  make_trays({2}, true);
  pemtest::standin().invreg_rc = -1;
  envmon_inv_invreg_rm_register_pem_entity(0, 1);
  EXPECT_EQ(pemtest::calls("invreg_register_container_eid"),
            std::vector<std::string>{"invreg_register_container_eid(65534/1 5/7/2, slot 21, 21)"});
  EXPECT_EQ(pem(0, 1).container_reg_state, 0xf0000001u);
  EXPECT_TRUE(tlg_test_contains("envmon_pem_lib_err", "Failed to register pem container with logic_slot 21 , capi error rc = -1"));
  pemtest::standin().invreg_connected = false;
  envmon_inv_invreg_rm_register_pem_entity(0, 0);
  EXPECT_EQ(pemtest::calls("invreg_register_container_eid").size(), 1u);
  EXPECT_EQ(pem(0, 0).container_reg_state, 0u);
  envmon_inv_invreg_rm_register_pem_entity(0, 2);
  EXPECT_TRUE(tlg_test_contains("envmon_pem_lib_err", "invalid pem idx 2"));
}

TEST_F(Inventory, FruRegistrationCarriesThePidOfTheIdprom) {
  struct Case {
    const char* name;
    uint32_t type;
    int pid_rc;
    const char* pid;
    const char* sent;  // null: nothing sent
  };
  const Case cases[] = {
      {"pid read", kAcPem, 0, "TV-PWR-AC", "invreg_register_fru_type(65534/580, type 9, pd 0xf00388, slot 580, serial "
                                           "SER12345678, pid TV-PWR-AC, 580)"},
      {"newline of the AC family dropped", 0xF01960, 0, "PWR-1.6KW-AC\n",
       "invreg_register_fru_type(65534/580, type 9, pd 0xf01960, slot 580, serial SER12345678, pid PWR-1.6KW-AC, 580)"},
      {"unknown type", 0x123, 0, "X", nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    make_trays({1});
    pemtest::standin().hal.pid = c.pid;
    pemtest::standin().hal.pid_rc = c.pid_rc;
    envmon_pem_inv_invreg_rm_register_powertray_entities_fru(0, 0, c.type, "SER123456789", 12, 1, 0);
    const auto sent = pemtest::calls("invreg_register_fru_type");
    if (c.sent == nullptr) {
      EXPECT_TRUE(sent.empty());
    } else {
      ASSERT_EQ(sent.size(), 1u);
      EXPECT_EQ(sent[0], c.sent);
    }
    TearDown();
    SetUp();
  }
}

TEST_F(Inventory, AnUnreadablePidFallsBackToTheCardName) {
  make_trays({1});
  pemtest::standin().hal.pid_rc = 22;
  envmon_pem_inv_invreg_rm_register_powertray_entities_fru(0, 0, kAcPem, "S", 1, 1, 0);
  EXPECT_STREQ(pem(0, 0).pid, envmon_get_card_name(kAcPem));
  EXPECT_TRUE(tlg_test_contains("envmon_pem_lib_err", "Failed to extract PID from pem (0, 0) IDPROM, err = 22"));
}

TEST_F(Inventory, FruUnregistrationForKnownTypes) {
  make_trays({1});
  envmon_pem_inv_invreg_rm_unregister_powertray_entities_fru(0, 0, kAcPem);
  envmon_pem_inv_invreg_rm_unregister_powertray_entities_fru(0, 0, 0x123);
  EXPECT_EQ(pemtest::calls("invreg_unregister_fru_type"),
            std::vector<std::string>{"invreg_unregister_fru_type(65534/580, type 9, slot 580, 580)"});
}

TEST_F(Inventory, FruAcknowledgementRegistersTheModulesEntities) {
  use_xml_root();
  make_trays({1});
  EntityData d;
  d.type = 0xab010000;
  d.serial = "POC12345678";
  notify(0, 0, d);
  std::snprintf(pem(0, 0).pid, sizeof pem(0, 0).pid, "TV-PWR-AC");
  pemtest::standin().calls.clear();
  pemtest::standin().events.clear();
  invreg_ack a = ack(1, 0, 0);
  envmon_pem_inv_invreg_rm_response_register_fru_type(&a, static_cast<uint32_t>(slot(0, 0)));
  const pem_record& p = pem(0, 0);
  EXPECT_EQ(p.fru_reg_state & 0x33u, 0x13u);  // registered, EEPROM report armed
  EXPECT_EQ(p.voltage_data.count, 2u);
  EXPECT_EQ(p.current_data.count, 2u);
  EXPECT_EQ(p.fan_data.count, 1u);
  EXPECT_EQ(p.led_data.count, 1u);
  EXPECT_EQ(p.voltage_data.reg_state & 0xf0000003u, 0xf0000001u);
  ASSERT_EQ(p.num_fpds, 1u);
  EXPECT_STREQ(p.fpds[0].name, "PO-PM-FW");
  EXPECT_EQ(pemtest::calls("envmon_inv_invreg_register_sensors").size(), 6u);
  EXPECT_EQ(pemtest::calls("envmon_drvif_poll_request").size(), 6u);
  EXPECT_EQ(pemtest::calls("envmon_inv_invreg_upd_eid_name"),
            std::vector<std::string>{"envmon_inv_invreg_upd_eid_name(65534/580 5/7/1 9/35/1, PO-PM-FW, 1)"});
  EXPECT_EQ(pemtest::calls("envmon_drvif_get_fpd_info").size(), 1u);
  EXPECT_EQ(pemtest::calls("invreg_report_pem_status_data").size(), 1u);
  EXPECT_EQ(pemtest::standin().events.back(), ENVMON_CEB_EV_REG_REQ);
  // A module that comes back keeps its sensor lists, restarted.
  pem_record& q = pem(0, 0);
  q.voltage_data.sensors[0].update_rate = 2;
  q.voltage_data.sensors[0].state = 0x202;
  envmon_pem_inv_invreg_rm_response_register_fru_type(&a, static_cast<uint32_t>(slot(0, 0)));
  EXPECT_EQ(q.voltage_data.count, 2u);
  EXPECT_EQ(q.voltage_data.sensors[0].update_rate, 10);
}

TEST_F(Inventory, FpdRecordsOfAnotherCountAreWithdrawnAndMadeAgain) {
  use_xml_root();
  make_trays({1});
  EntityData d;
  d.type = 0xab010000;
  notify(0, 0, d);
  std::snprintf(pem(0, 0).pid, sizeof pem(0, 0).pid, "TV-PWR-AC");
  pem_record& p = pem(0, 0);
  p.num_fpds = 2;  // the description names one
  p.fpds = static_cast<fpd_data*>(calloc(2, sizeof(fpd_data)));
  p.fpds[1].init_st = 2;
  p.fpds[1].fpd_out.fpd_hd = &p;
  fpd_drv_test_reset();
  invreg_ack a = ack(1, 0, 0);
  envmon_pem_inv_invreg_rm_response_register_fru_type(&a, static_cast<uint32_t>(slot(0, 0)));
  ASSERT_EQ(p.num_fpds, 1u);
  EXPECT_STREQ(p.fpds[0].name, "PO-PM-FW");
  EXPECT_EQ(p.fpds[0].reg_state & 0xf0000001u, 0xf0000001u);
  ASSERT_EQ(fpd_drv_test_calls().size(), 1u);
  EXPECT_EQ(fpd_drv_test_calls()[0].rfind("unregister(", 0), 0u);
}

TEST_F(Inventory, FpdNamesBySerialAndHiddenNames) {
  make_trays({1});
  pem_record& p = pem(0, 0);
  p.num_fpds = 1;
  p.fpds = static_cast<fpd_data*>(calloc(1, sizeof(fpd_data)));
  p.fpds[0].eid.level_count = 1;
  p.fpds[0].eid.levels[0] = {9, 35, 1};
  envmon_reg_fpd_pem_eid(&p.fpds[0], "AB-Pri2MCU-X", slot(0, 0));
  EXPECT_EQ(pemtest::calls("envmon_inv_invreg_hide_eid"),
            std::vector<std::string>{"envmon_inv_invreg_hide_eid(65534/580 9/35/1, 1, 1)"});
  EXPECT_TRUE(pemtest::calls("envmon_drvif_get_fpd_info").empty());
  EXPECT_TRUE(envmon_pem_hide_eid("AB-Sec54v2MCU"));
  EXPECT_FALSE(envmon_pem_hide_eid("AB-Sec5vMCU"));
  EXPECT_FALSE(envmon_pem_hide_eid(nullptr));
}

TEST_F(Inventory, AnUnknownSerialRegistersNoFpds) {
  use_xml_root();
  make_trays({1});
  EntityData d;
  d.type = 0xab010000;
  d.serial = "ZZZ12345678";
  notify(0, 0, d);
  std::snprintf(pem(0, 0).pid, sizeof pem(0, 0).pid, "TV-PWR-AC");
  invreg_ack a = ack(1, 0, 0);
  envmon_pem_inv_invreg_rm_response_register_fru_type(&a, static_cast<uint32_t>(slot(0, 0)));
  EXPECT_TRUE(pemtest::calls("envmon_inv_invreg_upd_eid_name").empty());
  EXPECT_TRUE(tlg_test_contains("envmon_pem_lib_err", "Invalid / Un supported PEM type SN ZZZ12345678"));
}

TEST_F(Inventory, LateOrFailedFruAcknowledgements) {
  make_trays({1});
  pem(0, 0).status = ENVMON_PEM_NOT_PRESENT;
  invreg_ack a = ack(1, 0, 0);
  envmon_pem_inv_invreg_rm_response_register_fru_type(&a, static_cast<uint32_t>(slot(0, 0)));
  EXPECT_TRUE(pemtest::calls("invreg_register_eid").empty());
  pem(0, 0).status = ENVMON_PEM_OK;
  pem(0, 0).fru_reg_state = 0xf0000001u;
  invreg_ack bad = ack(2, 0, 0);
  envmon_pem_inv_invreg_rm_response_register_fru_type(&bad, static_cast<uint32_t>(slot(0, 0)));
  // The request stays outstanding for the retry turn to send again.
  EXPECT_EQ(pem(0, 0).fru_reg_state, 0xf0000001u);
  EXPECT_TRUE(pemtest::calls("invreg_register_eid").empty());
}

TEST_F(Inventory, ContainerAcknowledgementsLeadToTheDriverRegistration) {
  make_trays({2});
  apply(0, 0, kAcPem);
  pem(0, 1).pem_raw_data.pem_type = kDcPem;  // seen before, gone now
  pem(0, 1).status = ENVMON_PEM_NOT_PRESENT;
  invreg_ack a0 = ack(3, 0, 0);
  invreg_ack a1 = ack(17, 0, 1);
  envmon_pem_inv_invreg_rm_response_register_container_eid(&a0, static_cast<uint32_t>(slot(0, 0)));
  EXPECT_TRUE(pemtest::calls("drvif_eid_register").empty());
  envmon_pem_inv_invreg_rm_response_register_container_eid(&a1, static_cast<uint32_t>(slot(0, 1)));
  EXPECT_EQ(pemtest::calls("envmon_inv_invreg_reg_pwr_fru").size(), 1u);
  EXPECT_EQ(pemtest::calls("envmon_inv_invreg_unreg_pwr_fru"),
            std::vector<std::string>{"envmon_inv_invreg_unreg_pwr_fru(0, 1, 0xf0038a)"});
  EXPECT_EQ(pemtest::calls("drvif_eid_register").size(), 1u);
  EXPECT_EQ(pemtest::calls("envmon_upd_inv_container_eid_nodeid").size(), 2u);
  // A later acknowledgement of the same container registers nothing again.
  pemtest::standin().calls.clear();
  envmon_pem_inv_invreg_rm_response_register_container_eid(&a0, static_cast<uint32_t>(slot(0, 0)));
  EXPECT_TRUE(pemtest::calls("envmon_inv_invreg_reg_pwr_fru").empty());
  // A disconnect forgets the acknowledgements.
  envmon_pem_inv_invreg_rm_disconnect();
  EXPECT_EQ(pem(0, 0).container_regi_done, 0);
  EXPECT_EQ(envmon_all_pem_container_regi_done(), 0);
}

TEST_F(Inventory, PemDataReport) {
  struct Case {
    const char* name;
    uint32_t status;
    uint64_t alarms;
    uint64_t hw_alarms;
    uint32_t psm;
    const char* event;
  };
  const Case cases[] = {
      {"operational", ENVMON_PEM_OK, 0, 0, 1, "1, 1, HW Operational"},
      {"failed with an I2C error", ENVMON_PEM_FAILED, bit(18), 0, 3, "4, 2, HW Access Failure"},
      {"failed thermally", ENVMON_PEM_FAILED, bit(6), 0, 2, "4, 3, HW Temp/Thermal Failure"},
      {"failed fan", ENVMON_PEM_FAILED, bit(3), 0, 2, "4, 100, HW Fan Failure"},
      {"one feed of two lost", ENVMON_PEM_FAILED, bit(5), bit(32), 4, "4, 5, No Input or HW Power Failure"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    make_trays({1});
    pem_record& p = pem(0, 0);
    p.status = c.status;
    p.alarms = c.alarms;
    p.pem_raw_data.hw_alarms = c.hw_alarms;
    p.pem_raw_data.hours_used = 12;
    p.capacity = 3000;
    envmon_inv_invreg_pem_data_update(0, 0, 0);
    EXPECT_EQ(pemtest::calls("invreg_report_event_data"),
              std::vector<std::string>{std::string("invreg_report_event_data(65534/580, ") + c.event + ")"});
    const auto status = pemtest::calls("invreg_report_pem_status_data");
    ASSERT_EQ(status.size(), 1u);
    char expected[256];
    std::snprintf(expected, sizeof expected,
                  "invreg_report_pem_status_data(65534/580 5/7/1 9/9/1, hours 12, faults 0x%x, psm %u, pd 0x%x, capacity 3000)",
                  static_cast<uint32_t>(c.alarms), c.psm, static_cast<uint32_t>((c.alarms << 4) | (c.status & 0xf)));
    EXPECT_EQ(status[0], expected);
    EXPECT_EQ(pemtest::calls("envmon_inv_invreg_upd_eid_state").size(), 1u);
    EXPECT_EQ(pemtest::calls("envmon_inv_invreg_eid_upd_power_admin_state").size(), 1u);
    EXPECT_EQ(p.state_reported_to_inv, c.psm);
    // Unchanged and not forced: nothing more.
    pemtest::standin().calls.clear();
    envmon_inv_invreg_pem_data_update(0, 0, 0);
    EXPECT_TRUE(pemtest::standin().calls.empty());
    TearDown();
    SetUp();
  }
}

TEST_F(Inventory, FlowControlledReportsAreSentAgainOnResume) {
  make_trays({1});
  apply(0, 0, kAcPem);
  add_sensor(0, 0, 29, "Input Voltage");
  pemtest::standin().invreg_rc = INVREG_FLOW_CONTROLLED;
  pemtest::standin().eid_state_rc = INVREG_FLOW_CONTROLLED;
  envmon_inv_invreg_pem_data_update(0, 0, 1);
  EXPECT_EQ(pem(0, 0).data_capi_flow_ctrl, 1);
  EXPECT_EQ(pem(0, 0).st_capi_flow_ctrl, 1);
  pemtest::standin().invreg_rc = 0;
  pemtest::standin().eid_state_rc = 0;
  pemtest::standin().calls.clear();
  envmon_invreg_flow_resume_chk_n_resend_pem_data();
  EXPECT_EQ(pemtest::calls("invreg_report_pem_status_data").size(), 1u);
  EXPECT_EQ(pemtest::calls("envmon_check_sensor_flow_ctrl_n_resend"),
            std::vector<std::string>{"envmon_check_sensor_flow_ctrl_n_resend(29, Input Voltage, 1)"});
  EXPECT_EQ(pem(0, 0).data_capi_flow_ctrl, 0);
  EXPECT_EQ(pem(0, 0).st_capi_flow_ctrl, 0);
}

TEST_F(Inventory, EntityAndEepromAcknowledgements) {
  make_trays({1});
  pem_record& p = pem(0, 0);
  p.fru_reg_state = 0xf0000010u;
  invreg_ack e = ack(1, 0, 0);
  envmon_pem_inv_invreg_response_report_eeprom_data(&e, static_cast<uint32_t>(slot(0, 0)));
  EXPECT_EQ(p.fru_reg_state, 0xf0000030u);
  // The controller's IDPROM.
  invreg_ack c{};
  c.ack = 4;
  inv_eid ce{};
  ce.rack = 0xfffe;
  ce.slot = 0xfffe;
  ce.level_count = 3;
  ce.levels[0] = {6, 1, 0};
  ce.levels[1] = {9, 44, 2};
  ce.levels[2] = {9, 38, 1};
  inv_util_convert_eid_to_pelm_eid(&ce, &c.eid);
  pctrl_data[1].idprom_reg_state = 0xf0000010u;
  envmon_pem_inv_invreg_response_report_eeprom_data(&c, 0xfffe);
  EXPECT_EQ(pctrl_data[1].idprom_reg_state, 0xf0000030u);
  envmon_free_tsi(&c.eid);
  // A PEM FPD's entity id; its FPGA data waited for it.
  p.num_fpds = 1;
  p.fpds = static_cast<fpd_data*>(calloc(1, sizeof(fpd_data)));
  p.fpds[0].eid.rack = 0xfffe;
  p.fpds[0].eid.slot = static_cast<uint16_t>(slot(0, 0));
  p.fpds[0].eid.level_count = 2;
  p.fpds[0].eid.levels[0] = {5, 7, 1};
  p.fpds[0].eid.levels[1] = {9, 35, 1};
  p.fpds[0].reg_state = 0xf0000041u;
  pelm_eid fe{};
  inv_util_convert_eid_to_pelm_eid(&p.fpds[0].eid, &fe);
  envmon_pem_inv_invreg_response_register_eid(1, &fe);
  EXPECT_EQ(p.fpds[0].reg_state, 0xf0000003u);
  EXPECT_EQ(pemtest::calls("envmon_inv_invreg_rm_report_fpga_data").size(), 1u);
  envmon_free_tsi(&fe);
  // Unregistration.
  p.fru_reg_state = 0xf0000004u;
  envmon_pem_inv_invreg_rm_response_unregister_fru_type(&e, static_cast<uint32_t>(slot(0, 0)));
  EXPECT_EQ(p.fru_reg_state, 0xf000000cu);
}

TEST_F(Inventory, PowerControllers) {
  make_trays({1});
  pctrl_data[0].idprom = static_cast<uint8_t*>(calloc(1, 256));
  pctrl_data[0].idprom_len = 256;
  envmon_inv_invreg_reg_pmbus_ctrl_eids(0, 1, 1, 1);
  envmon_inv_invreg_reg_pmbus_ctrl_eids(2, 1, 1, 1);
  EXPECT_EQ(pemtest::calls("envmon_rm_"), (std::vector<std::string>{"envmon_rm_reg_one_eid(0/0, 0)",
                                                                     "envmon_rm_reg_one_eid(0/0, 1)",
                                                                     "envmon_rm_report_eeprom_data(0/0, 256)"}));
  EXPECT_EQ(pctrl_data[0].reg_state, 0xf0000001u);
  EXPECT_EQ(pctrl_data[0].idprom_reg_state, 0xf0000001u);
  pemtest::standin().calls.clear();
  envmon_pem_inv_invreg_rm_connect();  // controller 0 was asked before; 1 never
  EXPECT_EQ(pemtest::calls("envmon_rm_reg_one_eid").size(), 2u);
}

TEST_F(Inventory, TypesNamesAndPrefixes) {
  make_trays({2, 2});
  pemtest::standin().powertray_types = {0xAA0A91};
  uint32_t t = 0;
  EXPECT_EQ(envmon_pem_convert_pd_type_2_inv_pi_type(0xAA0A91, &t), ENVMON_OK);
  EXPECT_EQ(t, 8u);
  EXPECT_EQ(envmon_pem_convert_pd_type_2_inv_pi_type(0xF02050, &t), ENVMON_OK);
  EXPECT_EQ(t, 9u);
  EXPECT_EQ(envmon_pem_convert_pd_type_2_inv_pi_type(0x123, &t), ENVMON_ERR_INVALID_ARG);
  EXPECT_STREQ(envmon_get_pem_sensor_string(4), "fan speed");
  EXPECT_EQ(envmon_get_pem_sensor_subtype(5), 13u);
  EXPECT_STREQ(envmon_get_pem_sensor_string(6), "INVALID");
  EXPECT_EQ(envmon_get_pem_sensor_subtype(6), 0u);
  platform_prefix_names names{};
  std::snprintf(names.prefix_with_dash, sizeof names.prefix_with_dash, "0/PM3-");
  envmon_pem_update_prefix_str(slot(0, 1), &names);
  EXPECT_STREQ(pem(0, 1).prefix_str, "0/PM3-");
  platform_fru_entity loc{};
  envmon_pem_update_input_for_entity_prefix(slot(1, 1), &loc);
  EXPECT_EQ(loc.level_count, 1);
  EXPECT_EQ(loc.level_kind[0], PLATFORM_LEVEL_PM);
  EXPECT_EQ(loc.level_index[0], 3);  // numbered across trays
}

TEST_F(Inventory, HotSwapCurrentsOfOtherSlots) {
  make_trays({1});
  inv_notify_event_data ev{};
  ev.event = 5;
  char name[] = "0/RP0-Hot Swap PEC";
  ev.value.name = name;
  ev.value.value = 4200;
  ev.value.eid.slot = 0;
  envmon_pem_inv_capi_notify_event(&ev);
  ev.value.eid.slot = static_cast<uint32_t>(slot(0, 0));  // a PEM's own
  envmon_pem_inv_capi_notify_event(&ev);
  EXPECT_EQ(pemtest::calls("envmon_set_fru_current"), std::vector<std::string>{"envmon_set_fru_current(0, 4200)"});
}

}  // namespace

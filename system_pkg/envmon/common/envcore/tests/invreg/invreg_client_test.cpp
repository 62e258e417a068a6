// The registration clients: what each connection registers, the start of the
// rack services, the choice of endpoint, re-sending after flow control,
// disconnection, and the FPD data report.
#include <stdlib.h>

#include "invreg_fixture.h"
#include "invreg_wire.h"

using namespace invtest;
namespace w = invreg_wire;

namespace {

class InvregClient : public InvregTest {
 protected:
  envmon_remote_card_cb fc_[2] = {};
};

using strings = std::vector<std::string>;

TEST_F(InvregClient, NodeConnectRegistersEachNonEmptyListAndAsksOnce) {
  fill_list(nm().temp_data, ENVMON_SLOT_SELF, ENVMON_SENSOR_TEMPERATURE, 2, "Inlet");
  fill_list(nm().current_data, ENVMON_SLOT_SELF, ENVMON_SENSOR_CURRENT, 1, "Curr");
  connect_node();
  const auto reqs = model().received_of(w::kRegisterEid);
  ASSERT_EQ(reqs.size(), 2u) << "one request per non-empty list";
  EXPECT_EQ(reqs[0].count, 2u);
  EXPECT_EQ(reqs[1].count, 1u);
  EXPECT_TRUE(in_model(nm().temp_data.sensors[1])->registered);
  EXPECT_TRUE(in_model(nm().current_data.sensors[0])->registered);
  EXPECT_EQ(nm().temp_data.reg_state & 0xf0000001, 0xf0000001u);
  EXPECT_EQ(nm().voltage_data.reg_state, 0u) << "an empty list is not stamped";
  EXPECT_EQ(invtest::calls_of("envmon_ceb_fsa_sched_event"),
            strings{"envmon_ceb_fsa_sched_event(9)"});
  EXPECT_EQ(invtest::calls_of("envmon_drvif_nm_poll_all_sensors"),
            strings{"envmon_drvif_nm_poll_all_sensors(17,3)"});
  EXPECT_EQ(nm_counter(envmon::invreg::kNmConnect), 1u);
}

TEST_F(InvregClient, AClientThatCannotBeCreatedIsCountedAndLeftNull) {
  EXPECT_NE(envmon_inv_invreg_nm_client_init(nullptr), ENVMON_OK);
  EXPECT_EQ(envmon_inv_invreg_nm_hdl, nullptr);
  EXPECT_EQ(envmon_invregnm_err_stats_hdl[envmon::invreg::kNmErrCrtHndl * ENVMON_COUNTER_STRIDE],
            1u);
  EXPECT_NE(envmon_inv_invreg_rm_client_init(nullptr), ENVMON_OK);
  EXPECT_EQ(envmon_inv_invreg_rm_hdl, nullptr);
  EXPECT_NE(envmon_capi_inv_init(nullptr), ENVMON_OK);
  EXPECT_EQ(envmon_inv_hdl, nullptr);
}

TEST_F(InvregClient, NodeConnectWithoutSensorsStillConfiguresPolling) {
  connect_node();
  EXPECT_TRUE(model().received_of(w::kRegisterEid).empty());
  EXPECT_EQ(invtest::count_of("envmon_ceb_fsa_sched_event"), 0u);
  EXPECT_EQ(invtest::count_of("envmon_drvif_nm_poll_all_sensors(17,3)"), 1u);
  // The card information arrives later and its caller registers again.
  fill_list(nm().voltage_data, ENVMON_SLOT_SELF, ENVMON_SENSOR_VOLTAGE, 3, "V");
  envmon_inv_invreg_nm_reg_all_sensors();
  run();
  EXPECT_TRUE(in_model(nm().voltage_data.sensors[2])->registered);
  EXPECT_EQ(invtest::count_of("envmon_ceb_fsa_sched_event(9)"), 1u);
}

TEST_F(InvregClient, RackConnectRegistersChassisContainersAndRemoteCards) {
  constexpr char kChassisXml[] = R"(<inventory>
    <entity tsi="3/1/1 5/5/1" name="FT0" logic_slot="40"/>
    <entity tsi="3/1/1 5/5/2" name="FT1" logic_slot="41"/>
  </inventory>)";
  rm().chassis_xml = inv_parser_open_xml_buffer(kChassisXml, sizeof(kChassisXml) - 1, "c");
  inv_eid conts[2] = {};
  for (uint8_t i = 0; i < 2; ++i) {
    conts[i].level_count = 2;
    conts[i].levels[0] = {3, 1, 1};
    conts[i].levels[1] = {5, 5, static_cast<uint16_t>(i + 1)};
  }
  rm().fan_cont_eids = conts;
  rm().fan_cont_count = 2;
  fill_list(rm().temp_data, ENVMON_SLOT_SELF, ENVMON_SENSOR_TEMPERATURE, 1, "Chassis T");
  answers().fc_remote = 1;
  answers().max_fc = 2;
  answers().hal_chassis_requests = 1;
  envmon_remote_card_cb* fc = fc_;
  fc[0].hw_position = 20;
  fc[1].hw_position = 21;
  rm().fc_cb = fc;
  fill_list(fc[0].temp_data, 20, ENVMON_SENSOR_TEMPERATURE, 1, "FC0 T");
  fill_list(fc[0].voltage_data, 20, ENVMON_SENSOR_VOLTAGE, 1, "FC0 V");
  fill_list(fc[0].current_data, 20, ENVMON_SENSOR_CURRENT, 1, "FC0 I");
  fill_list(fc[1].temp_data, 21, ENVMON_SENSOR_TEMPERATURE, 1, "FC1 T");
  fill_list(fc[1].voltage_data, 21, ENVMON_SENSOR_VOLTAGE, 1, "FC1 V");
  connect_rack();
  EXPECT_EQ(model().received_of(w::kRegisterContainer).size(), 2u);
  for (uint16_t i = 0; i < 2; ++i) {
    SCOPED_TRACE(i);
    EXPECT_NE(rm().fan_cont_reg_state[i] & ENVMON_ST_REG_DONE, 0u) << "acknowledged";
  }
  EXPECT_TRUE(in_model(rm().temp_data.sensors[0])->registered);
  EXPECT_TRUE(in_model(fc[0].current_data.sensors[0])->registered);
  EXPECT_TRUE(in_model(fc[1].voltage_data.sensors[0])->registered);
  EXPECT_EQ(fc[0].reg_state & ENVMON_ST_REG_PENDING, ENVMON_ST_REG_PENDING);
  EXPECT_EQ(fc[1].reg_state & ENVMON_ST_REG_PENDING, 0u) << "a card without all three lists";
  EXPECT_EQ(invtest::count_of("envmon_ceb_fsa_sched_event(9)"), 1u);
  EXPECT_EQ(invtest::count_of("envmon_hal_inv_invreg_rm_register_chassis_lvl_eids"), 1u);
  EXPECT_EQ(invtest::count_of("envmon_drvif_rm_poll_all_sensors(17,3)"), 1u);
  EXPECT_EQ(invtest::count_of("envmon_hal_inv_invreg_rm_connect"), 1u);
  EXPECT_EQ(invtest::count_of("envmon_hal_fan_mgmt_init"), 0u)
      << "the inventory-service client is not connected yet";
  rm().fan_cont_eids = nullptr;
  rm().fc_cb = nullptr;
  inv_parser_close_xml_file(rm().chassis_xml);
}

TEST_F(InvregClient, TheSecondOfTheTwoInventoryClientsStartsTheRackServices) {
  struct Case {
    const char* name;
    bool inv_first;
  };
  for (const Case c : {Case{"inventory service first", true}, Case{"registration first", false}}) {
    SCOPED_TRACE(c.name);
    clear_calls();
    if (c.inv_first) {
      connect_inv();
      EXPECT_EQ(invtest::count_of("envmon_hal_fan_mgmt_init"), 0u);
      connect_rack();
    } else {
      connect_rack();
      EXPECT_EQ(invtest::count_of("envmon_hal_fan_mgmt_init"), 0u);
      connect_inv();
    }
    EXPECT_EQ(invtest::count_of("envmon_hal_fan_mgmt_init"), 1u);
    EXPECT_EQ(invtest::count_of("envmon_drvif_rm_init"), 1u);
    EXPECT_EQ(invtest::count_of("envmon_mgbl_init"), 0u) << "node ids not known";
    envmon_inv_invreg_rm_client_disconnect();
    envmon_capi_inv_disconnect();
  }
  rm().rack_nodeid_valid = 1;
  clear_calls();
  connect_inv();
  connect_rack();
  EXPECT_EQ(invtest::count_of("envmon_mgbl_init"), 1u);
}

TEST_F(InvregClient, AFailingConfigurationStartEndsTheServer) {
  rm().rack_nodeid_valid = 1;
  answers().mgbl_init_rc = ENVMON_ERR_ACTIVATION;
  connect_inv();
  EXPECT_EXIT(connect_rack(), ::testing::ExitedWithCode(255), "");
}

// Offers as the directory service gives them.
struct Offers {
  std::vector<ds_service_info> infos;
  std::vector<std::vector<uint8_t>> eps;
  std::vector<ds_attribute> attrs;
  void add(uint32_t scope, uint32_t cl_name, const msgpipe_endpoint& ep) {
    std::vector<uint8_t> bytes(16);
    bytes.resize(msgcodec_msgpipe_endpoint_encode_ext(&ep, bytes.data(), bytes.size()));
    eps.push_back(bytes);
    ds_attribute a{};
    a.int_value = cl_name;
    a.present = 0x2;
    attrs.push_back(a);
    ds_service_info i{};
    i.scope = scope;
    i.present = 0x0f;
    infos.push_back(i);
  }
  const ds_service_info* get() {
    for (size_t k = 0; k < infos.size(); ++k) {
      infos[k].endpoint = eps[k].data();
      infos[k].endpoint_len = static_cast<uint32_t>(eps[k].size());
      infos[k].attributes = &attrs[k];
      infos[k].attribute_count = 1;
    }
    return infos.data();
  }
};

TEST_F(InvregClient, FilterTakesTheFirstOfferOfItsScopeAndClassThatConnects) {
  ASSERT_EQ(envmon_inv_invreg_nm_client_init(loop()), ENVMON_OK);
  msgpipe_endpoint unknown{};
  msgpipe_endpoint_set(&unknown, 0x7f000063, 1);
  Offers o;
  o.add(ENVMON_SCOPE_RACK, 1, invdb::LocalServer::invreg_endpoint(1));  // other scope
  o.add(ENVMON_SCOPE_NODE, 2, invdb::LocalServer::invreg_endpoint(3));  // other class
  o.add(ENVMON_SCOPE_NODE, 1, unknown);                                  // connect fails
  o.add(ENVMON_SCOPE_NODE, 1, invdb::LocalServer::invreg_endpoint(3));  // taken
  envmon_inv_invreg_nm_filter_cb(envmon_inv_invreg_nm_hdl, o.get(), 4);
  run();
  EXPECT_EQ(nm().inv_invreg_connected, 1);
  EXPECT_EQ(nm_counter(envmon::invreg::kNmFilter), 1u);
  EXPECT_EQ(envmon_invregnm_err_stats_hdl[envmon::invreg::kNmErrFilter * ENVMON_COUNTER_STRIDE],
            1u);
  // An empty offer while nothing is connected on the transport changes nothing.
  envmon_inv_invreg_nm_filter_cb(envmon_inv_invreg_nm_hdl, nullptr, 0);
  run();
  EXPECT_EQ(nm().inv_invreg_connected, 1);
}

TEST_F(InvregClient, FlowResumeResendsWhatWasHeldBackWithItsState) {
  connect_node();
  fill_list(nm().temp_data, ENVMON_SLOT_SELF, ENVMON_SENSOR_TEMPERATURE, 3, "T");
  fill_list(nm().power_data, ENVMON_SLOT_SELF, ENVMON_SENSOR_POWER, 1, "P");
  envmon_inv_invreg_nm_reg_all_sensors();
  run();
  envmon_sensor_info* t = nm().temp_data.sensors;
  t[0].value = 40;
  t[1].value = 41;
  t[1].hw_st_capi_flow_ctrl = 1;
  t[2].value = 42;
  invsvc_local::invreg_hub().set_flow_controlled(ENVMON_SCOPE_NODE, true);
  envmon_inv_invreg_temp_sensor_update(&t[0].eid, &t[0], ENVMON_SCOPE_NODE, 0);
  envmon_inv_invreg_temp_sensor_update(&t[1].eid, &t[1], ENVMON_SCOPE_NODE, 0);
  ASSERT_EQ(t[0].val_capi_flow_ctrl, 1);
  ASSERT_EQ(t[1].val_capi_flow_ctrl, 1);
  run();
  EXPECT_FALSE(in_model(t[0])->value.has_value());
  clear_calls();
  model().clear_received();
  invsvc_local::invreg_hub().set_flow_controlled(ENVMON_SCOPE_NODE, false);
  run();
  EXPECT_EQ(in_model(t[0])->value->value, 40);
  EXPECT_EQ(in_model(t[1])->value->value, 41);
  EXPECT_FALSE(in_model(t[2])->value.has_value()) << "nothing was held back for it";
  EXPECT_EQ(t[0].val_capi_flow_ctrl, 0);
  EXPECT_EQ(model().received_of(w::kTempData).size(), 2u) << "each sensor once";
  EXPECT_EQ(invtest::calls_of("envmon_update_oper_state"),
            strings{"envmon_update_oper_state(65534,0x0,3)"})
      << "only the sensor whose state was held back";
}

TEST_F(InvregClient, RackFlowResumeResendsFanTrayDataFpdAndPrefixes) {
  connect_rack();
  fantray_cb& ft = tray(1);
  fill_list(ft.fan_data, ft.hw_position, ENVMON_SENSOR_FAN_SPEED, 1, "Fan");
  ft.fan_data.sensors[0].value = 7000;
  ft.fan_data.sensors[0].val_capi_flow_ctrl = 1;
  ft.fru_prefix_capi_flow_ctrl = 1;
  fpd_data fpd{};
  fpd.eid.slot = static_cast<uint16_t>(ft.hw_position);
  fpd.eid.level_count = 2;
  fpd.eid.levels[0] = {5, 5, 2};
  fpd.eid.levels[1] = {9, 35, 1};
  fpd.val_capi_flow_ctrl = 1;
  fpd.fpd_ver_major = 3;
  ft.fpd_data = &fpd;
  ft.fpd_count = 1;
  envmon_inv_invreg_rm_flow_resume_cb(envmon_inv_invreg_rm_hdl);
  run();
  EXPECT_EQ(in_model(ft.fan_data.sensors[0])->value->value, 7000);
  EXPECT_EQ(fpd.val_capi_flow_ctrl, 0);
  pelm_eid fpd_eid{};
  inv_util_convert_eid_to_pelm_eid(&fpd.eid, &fpd_eid);
  fpd_eid.rack = ENVMON_RACK_UNKNOWN;
  const invdb::Entity* e = model().find(fpd_eid);
  ASSERT_TRUE(e && e->fpga);
  EXPECT_EQ(e->fpga->fpd_ver_major, 3u);
  EXPECT_EQ(invtest::count_of("envmon_hal_inv_invreg_update_entity_prefix(41)"), 1u);
  EXPECT_EQ(invtest::count_of("envmon_hal_invreg_flow_resume_chk_n_resend_pwr_data"), 1u);
  EXPECT_EQ(invtest::count_of("envmon_fpd_init"), 0u) << "a re-send never registers the FPD";
  envmon_free_tsi(&fpd_eid);
  ft.fpd_data = nullptr;
  ft.fpd_count = 0;
}

TEST_F(InvregClient, DisconnectsDropTheScopesRetriesAndTheRackTeardownForgetsItsHandle) {
  connect_node();
  connect_rack();
  clear_calls();
  invsvc_local::invreg_hub().drop(ENVMON_SCOPE_NODE);
  EXPECT_EQ(nm().inv_invreg_connected, 0);
  EXPECT_EQ(invtest::calls_of("envmon_fsa_cleanup_all_inv_retry_request"),
            strings{"envmon_fsa_cleanup_all_inv_retry_request(3)"});
  run();
  EXPECT_EQ(nm().inv_invreg_connected, 1) << "the library connects again";
  clear_calls();
  invsvc_local::invreg_hub().drop(ENVMON_SCOPE_RACK);
  EXPECT_EQ(rm().inv_invreg_connected, 0);
  EXPECT_EQ(invtest::calls_of("envmon_hal_fan_mgmt_inv_reg_set_state"),
            (strings{"envmon_hal_fan_mgmt_inv_reg_set_state(0,0)",
                     "envmon_hal_fan_mgmt_inv_reg_set_state(1,0)",
                     "envmon_hal_fan_mgmt_inv_reg_set_state(2,0)"}));
  EXPECT_EQ(invtest::count_of("envmon_hal_inv_invreg_rm_disconnect"), 1u);
  EXPECT_EQ(invtest::count_of("envmon_fsa_cleanup_all_inv_retry_request(1)"), 1u);
  run();
  envmon_inv_invreg_rm_client_disconnect();
  EXPECT_EQ(envmon_inv_invreg_rm_hdl, nullptr);
  EXPECT_EQ(rm().inv_invreg_connected, 0);
  uint8_t connected = 1;
  EXPECT_EQ(envmon_get_invreg_handle(ENVMON_SCOPE_RACK, &connected), nullptr);
  EXPECT_EQ(connected, 0);
  envmon_inv_invreg_rm_client_disconnect();  // no handle: traced only
}

TEST_F(InvregClient, FpgaReportFirstTimeRegistersTheFpdOnlyWhenSent) {
  connect_rack();
  fpd_data fpd{};
  snprintf(fpd.name, sizeof(fpd.name), "FT-FPGA");
  fpd.eid.slot = kFanTraySlot0;
  fpd.eid.level_count = 2;
  fpd.eid.levels[0] = {5, 5, 1};
  fpd.eid.levels[1] = {9, 35, 1};
  fpd.upgrade_state = 2;
  fpd.req_fpd_ver_major = 9;
  fpd.inst_fpd_ver_major = 4;
  // Flow-controlled: init_st is left alone.
  invsvc_local::invreg_hub().set_flow_controlled(ENVMON_SCOPE_RACK, true);
  EXPECT_EQ(envmon_inv_invreg_rm_report_fpga_data(&fpd, 1), INVREG_FLOW_CONTROLLED);
  EXPECT_EQ(fpd.init_st, 0u);
  EXPECT_EQ(fpd.val_capi_flow_ctrl, 1);
  invsvc_local::invreg_hub().set_flow_controlled(ENVMON_SCOPE_RACK, false);
  run();
  // Node ids unknown: registration with the framework waits.
  EXPECT_EQ(envmon_inv_invreg_rm_report_fpga_data(&fpd, 1), 0);
  EXPECT_EQ(fpd.init_st, ENVMON_FPD_INIT_PENDING);
  rm().rack_nodeid_valid = 1;
  EXPECT_EQ(envmon_inv_invreg_rm_report_fpga_data(&fpd, 1), 0);
  EXPECT_EQ(fpd.init_st, ENVMON_FPD_INIT_DONE);
  EXPECT_EQ(invtest::calls_of("envmon_fpd_init"), strings{"envmon_fpd_init(FT-FPGA,40)"});
  run();
  pelm_eid eid{};
  inv_util_convert_eid_to_pelm_eid(&fpd.eid, &eid);
  eid.rack = ENVMON_RACK_UNKNOWN;
  const invdb::Entity* e = model().find(eid);
  ASSERT_TRUE(e && e->fpga);
  EXPECT_EQ(e->fpga->fw_ver_major, 9u) << "an upgrade in progress reports the requested version";
  envmon_free_tsi(&eid);
}

TEST_F(InvregClient, InventoryAsksForFpgaDataOfAKnownFpdOnly) {
  connect_rack();
  fpd_data fpd{};
  fpd.hw_ver_major = 2;
  fpd.inst_fpd_ver_major = 5;
  answers().fpd_by_slot[kFanTraySlot0] = &fpd;
  pelm_eid eid = entity_eid(kFanTraySlot0, 6, 35, 1);
  ASSERT_TRUE(model().request_fpga_data(eid));
  pelm_eid other = entity_eid(kFanTraySlot0 + 1, 6, 35, 1);
  ASSERT_TRUE(model().request_fpga_data(other));
  run();
  ASSERT_EQ(model().fpga_answers().size(), 1u) << "no answer for an unknown FPD";
  EXPECT_EQ(model().fpga_answers()[0].hw_ver_major, 2u);
  EXPECT_EQ(model().fpga_answers()[0].fw_ver_major, 5u);
  envmon_free_tsi(&eid);
  envmon_free_tsi(&other);
}

}  // namespace

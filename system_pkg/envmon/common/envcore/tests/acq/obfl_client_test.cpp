// Failure-log client: handles per scope, service registration of every
// entity, client ids and progress words from the answers, disconnection,
// error texts and the endpoint filter; checked on the requests the OBFL
// manager model received.
#include <arpa/inet.h>

#include "acq_fixture.h"
#include "envmon_obfl_private.h"
#include "msgcodec.h"
#include "obfl_mgr_test.h"
#include "tlg_test.h"

namespace {

constexpr uint64_t kNoDevice = 0x401012c000000813ULL | (3233ULL << 20);

std::vector<ObflRequest> of_kind(const std::string& kind) {
  std::vector<ObflRequest> out;
  for (const auto& r : obfl_mgr_test_requests())
    if (r.kind == kind) out.push_back(r);
  return out;
}

obfl_svc_regn_resp regn(uint32_t client, uint32_t type, uint64_t err, bool with_id = true) {
  obfl_svc_regn_resp r{};
  r.client_id = client;
  r.svc_type = type;
  r.err_code = err;
  r.present = with_id ? 0xf : 0xe;
  return r;
}

class ObflClient : public AcqFixture {
 protected:
  obfl_mgr_handle_t* rack_handle() { return envmon_obfl_handle[0]; }
  obfl_mgr_handle_t* node_handle() { return envmon_obfl_handle[1]; }
  void start_rack() {
    ASSERT_EQ(envmon_obfl_rm_init(loop), ENVMON_OK);
    evloop_run_until_idle(loop);
  }
  void start_node() {
    ASSERT_EQ(envmon_obfl_nm_init(loop), ENVMON_OK);
    evloop_run_until_idle(loop);
  }
};

TEST_F(ObflClient, RackConnectRegistersEveryEntityOfTheRack) {
  start_rack();
  EXPECT_EQ(envmon_rm->obfl_capi_connected, 1);
  const auto regs = of_kind("svc_registration");
  // Three fan trays with two services each, four fabric, two switch, four line cards.
  ASSERT_EQ(regs.size(), 3u * 2 + 4 + 2 + 4);
  const std::string own = "65534/0";
  for (size_t i = 0; i < regs.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(regs[i].handle, rack_handle());
    EXPECT_EQ(regs[i].version, 1u);
    EXPECT_EQ(regs[i].req_eid, own);
    EXPECT_EQ(regs[i].client_name, "envmon");
    EXPECT_EQ(regs[i].constant, 4899u);
    EXPECT_EQ(regs[i].flag, 0);
    EXPECT_EQ(regs[i].msn, i + 1);  // one number each, from 1
    EXPECT_EQ(regs[i].present[0], 0xff);
    EXPECT_EQ(regs[i].present[1], 0x03);
  }
  EXPECT_EQ(regs[0].svc_name, "obfl_svc_sensor");
  EXPECT_EQ(regs[0].svc_type, 3u);
  EXPECT_EQ(regs[1].svc_name, "obfl_svc_fpd");
  EXPECT_EQ(regs[1].svc_type, 8u);
  EXPECT_EQ(regs[0].user_ctx, 41u);
  EXPECT_EQ(regs[0].eid, "65534/41");
  EXPECT_EQ(regs[6].user_ctx, kFabricSlots[0]);
  EXPECT_EQ(regs[10].user_ctx, kSwitchSlots[0]);
  EXPECT_EQ(regs[12].user_ctx, kLineCardSlots[0]);
  // Registration outstanding with its retries.
  EXPECT_EQ(envmon_rm->fantray_cb[0].misc_state, 0xF0001000u);
  EXPECT_EQ(envmon_rm->lc_cb[3].misc_state, 0xF0001000u);
  EXPECT_EQ(envmon_obfl_msn, regs.size() + 1);
}

TEST_F(ObflClient, CardClassesNotManagedRemotelyAreLeftOut) {
  acq_standin().fc_remote = 0;
  acq_standin().lc_remote = 0;
  start_rack();
  std::vector<uint32_t> slots;
  for (const auto& r : of_kind("svc_registration")) slots.push_back(r.user_ctx);
  EXPECT_EQ(slots, (std::vector<uint32_t>{41, 41, 42, 42, 43, 43, 26, 27}));
}

TEST_F(ObflClient, NodeConnectRegistersThisCardWithContextZero) {
  start_node();
  const auto regs = of_kind("svc_registration");
  ASSERT_EQ(regs.size(), 1u);
  EXPECT_EQ(regs[0].handle, node_handle());
  EXPECT_EQ(regs[0].user_ctx, 0u);
  EXPECT_EQ(regs[0].eid, "65534/0");
  EXPECT_EQ(envmon_nm->obfl_capi_connected, 1);
  EXPECT_EQ(envmon_nm->misc_state & 0xF0001000u, 0xF0001000u);
  // A retry says so.
  envmon_obfl_svc_registration(ENVMON_SCOPE_NODE, kOwnSlot, 1);
  EXPECT_EQ(of_kind("svc_registration").back().flag, 1);
  EXPECT_TRUE(tlg_test_contains("envmon_cmn_main",
                                "envmon_obfl_svc_registration: bfl_mgr NM svc registration done for slot 0 (re-sent)\n"));
}

TEST_F(ObflClient, FailedConnectLeavesNoHandleAndFailedStatusRegistersNothing) {
  obfl_mgr_test_fail_next("connect", -5);
  EXPECT_EQ(envmon_obfl_rm_init(loop), static_cast<envmon_err_t>(-5));
  EXPECT_EQ(rack_handle(), nullptr);
  EXPECT_TRUE(obfl_mgr_test_handles().empty());
  obfl_mgr_test_set_connect_status(111);
  start_rack();
  EXPECT_TRUE(of_kind("svc_registration").empty());
  EXPECT_EQ(envmon_rm->obfl_capi_connected, 0);
  EXPECT_TRUE(tlg_test_contains("envmon_cmn_err", "envmon_obfl_rm_connect_cb: CAPI returned error 111\n"));
}

TEST_F(ObflClient, RefusedRegistrationLeavesTheWordAlone) {
  start_rack();
  obfl_mgr_test_clear_requests();
  envmon_rm->fc_cb[0].misc_state = 0x1;
  obfl_mgr_test_fail_next("svc_registration", 4);
  envmon_obfl_svc_registration(ENVMON_SCOPE_RACK, kFabricSlots[0], 1);
  EXPECT_EQ(envmon_rm->fc_cb[0].misc_state, 0x1u);
  EXPECT_TRUE(tlg_test_contains("envmon_cmn_err",
                                "envmon_obfl_svc_registration: bfl_mgr RM svc registration failed for FC 4, rc = 0x4\n"));
  // A slot of no such entity sends nothing and still says it is done.
  envmon_obfl_svc_registration(ENVMON_SCOPE_RACK, 30, 0);
  EXPECT_TRUE(obfl_mgr_test_requests().empty());
  EXPECT_TRUE(tlg_test_contains("envmon_cmn_main",
                                "envmon_obfl_svc_registration: bfl_mgr RM svc registration done for slot 30 \n"));
}

TEST_F(ObflClient, RegistrationAnswersStoreClientIdsAndWriteThresholds) {
  fill_list(&envmon_rm->fantray_cb[1].temp_data, 42, 25, {"Inlet", "Outlet"});
  fill_list(&envmon_rm->fantray_cb[1].voltage_data, 42, 29, {"VP12"});
  start_rack();
  obfl_mgr_test_clear_requests();
  fantray_cb& ft = envmon_rm->fantray_cb[1];
  struct Case {
    const char* name;
    obfl_svc_regn_resp resp;
    uint32_t status;
    uint32_t sensor_id, fpd_id;
    bool outstanding;          // 0x1000 still set
    size_t thresholds;         // threshold writes sent
  };
  const Case cases[] = {
      {"transport error changes nothing", regn(7, 3, 0), 5, 0, 0, true, 0},
      {"no device yet keeps it outstanding", regn(0, 3, kNoDevice, false), 0, 0, 0, true, 0},
      {"FPD service id stored, no thresholds", regn(0x21, 8, 0), 0, 0, 0x21, false, 0},
      {"sensor service id writes the thresholds", regn(0x20, 3, 0), 0, 0x20, 0x21, false, 2},
      {"a second answer overwrites the id", regn(0x30, 3, 0), 0, 0x30, 0x21, false, 4},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ft.misc_state |= ENVMON_OBFL_SVC_REG_PENDING | 0x60000;
    obfl_mgr_test_answer_svc_regn(rack_handle(), c.resp, c.status, 42);
    EXPECT_EQ(ft.obfl_client_id, c.sensor_id);
    EXPECT_EQ(ft.obfl_log_client_id, c.fpd_id);
    EXPECT_EQ((ft.misc_state & ENVMON_OBFL_SVC_REG_PENDING) != 0, c.outstanding);
    EXPECT_EQ(of_kind("write_temp_thr").size() + of_kind("write_volt_thr").size(), c.thresholds);
  }
  // An error other than no-device ends the wait without an id.
  envmon_sensor_info* unused = fill_list(&envmon_rm->fc_cb[0].temp_data, 4, 25, {"T"});
  (void)unused;
  envmon_rm->fc_cb[0].misc_state |= ENVMON_OBFL_SVC_REG_PENDING;
  obfl_mgr_test_answer_svc_regn(rack_handle(), regn(0x40, 3, 0x501012c00000080cULL | (3233ULL << 20)), 0, 4);
  EXPECT_EQ(envmon_rm->fc_cb[0].obfl_client_id, 0u);
  EXPECT_EQ(envmon_rm->fc_cb[0].misc_state & ENVMON_OBFL_SVC_REG_PENDING, 0u);
  EXPECT_TRUE(tlg_test_contains("envmon_cmn_main", "[OBFL error ENOMEM ]"));
}

TEST_F(ObflClient, NodeAnswerStoresTheNodeIdAndWritesItsThresholds) {
  fill_list(&envmon_nm->temp_data, 0xfffe, 25, {"CPU"});
  fill_list(&envmon_nm->current_data, 0xfffe, 7, {"IIN"});
  // The sensors are set up before the service is registered: their
  // thresholds wait for the client id.
  envmon_obfl_write_env_temp_thresholds(envmon_nm->temp_data.sensors, 1, kOwnSlot, 3, 0);
  envmon_obfl_write_env_curr_thresholds(envmon_nm->current_data.sensors, 1, kOwnSlot, 3, 0);
  EXPECT_EQ(envmon_nm->misc_state & 0xe0000, 0xa0000u);
  EXPECT_TRUE(of_kind("write_temp_thr").empty());
  start_node();
  obfl_mgr_test_answer_svc_regn(node_handle(), regn(0x55, 3, 0), 0, 0);
  EXPECT_EQ(envmon_nm->obfl_client_id, 0x55u);
  EXPECT_EQ(of_kind("write_temp_thr").size(), 1u);
  EXPECT_EQ(of_kind("write_curr_thr").size(), 1u);
  EXPECT_TRUE(of_kind("write_volt_thr").empty());  // no voltage sensors
  EXPECT_EQ(of_kind("write_temp_thr")[0].handle, node_handle());
}

TEST_F(ObflClient, DisconnectReturnsEveryEntityToUnregistered) {
  start_rack();
  start_node();
  for (uint32_t i = 0; i < 3; ++i) {
    envmon_rm->fantray_cb[i].obfl_client_id = 9;
    envmon_rm->fantray_cb[i].obfl_log_client_id = 10;
    envmon_rm->fantray_cb[i].misc_state = 0xF000FFF0u;
  }
  envmon_rm->sw_cb[1].obfl_client_id = 3;
  envmon_nm->obfl_client_id = 5;
  envmon_nm->misc_state = 0x0000FFF6u;
  obfl_mgr_test_disconnect(rack_handle(), 1);
  obfl_mgr_test_disconnect(node_handle(), 1);
  EXPECT_EQ(envmon_rm->obfl_capi_connected, 0);
  EXPECT_EQ(envmon_nm->obfl_capi_connected, 0);
  for (uint32_t i = 0; i < 3; ++i) {
    EXPECT_EQ(envmon_rm->fantray_cb[i].obfl_client_id, 0u);
    EXPECT_EQ(envmon_rm->fantray_cb[i].obfl_log_client_id, 0u);
    // Nothing confirmed or outstanding; thresholds unwritten, log all asked.
    EXPECT_EQ(envmon_rm->fantray_cb[i].misc_state, 0xF00F0000u);
  }
  EXPECT_EQ(envmon_rm->sw_cb[1].obfl_client_id, 0u);
  EXPECT_EQ(envmon_rm->obfl_flags & 0x3f, 0x3fu);
  EXPECT_EQ(envmon_nm->obfl_client_id, 0u);
  EXPECT_EQ(envmon_nm->misc_state, 0x000F0006u);
}

TEST_F(ObflClient, ErrorTexts) {
  const uint64_t c = 3233ULL << 20;
  const std::pair<uint64_t, const char*> cases[] = {
      {0, "OBFL no error "},
      {0x101012c00000080bULL | c, "OBFL error EAGAIN "},
      {0x401012c000000801ULL | c, "OBFL error no more resources "},
      {0x301012c000000801ULL | c, "OBFL error in args from CAPI "},
      {kNoDevice, "OBFL error no device connected for svc "},
      {0x201012c000000809ULL | c, "OBFL info to client: no update is needed "},
      {0x401012c00000090aULL | c, "OBFL inv_register_fru_event failed "},
      {0x401012c000000813ULL, "OBFL no str version for this error "},       // no component
      {0x401012c000000813ULL | (7ULL << 20), "OBFL no str version for this error "},
      {0x401012c000000999ULL | c, "OBFL no str version for this error "},
  };
  for (const auto& [code, text] : cases) EXPECT_STREQ(envmon_obfl_err_to_str(code), text) << std::hex << code;
}

// A published endpoint of the OBFL manager as the directory service hands it.
struct Published {
  uint8_t bytes[16];
  ds_service_info info{};
  Published(uint32_t address, uint32_t port, uint32_t scope) {
    msgpipe_endpoint ep{};
    msgpipe_endpoint_set(&ep, address, port);
    const int n = msgcodec_msgpipe_endpoint_encode_ext(&ep, bytes, sizeof(bytes));
    info.endpoint = bytes;
    info.endpoint_len = static_cast<uint32_t>(n);
    info.scope = scope;
    info.present = (1u << DS_SERVICE_INFO_BIT_ENDPOINT) | (1u << DS_SERVICE_INFO_BIT_SCOPE);
  }
};

TEST_F(ObflClient, EndpointFilterTakesTheFirstOfItsScope) {
  start_rack();
  obfl_mgr_handle_t* h = rack_handle();
  const uint32_t lo = 0x7f000001;
  // Nothing published and nothing connected: nothing happens.
  obfl_mgr_test_filter(h, nullptr, 0);
  EXPECT_TRUE(obfl_mgr_test_endpoints(h).empty());
  Published node_ep(lo, 1, 3), first(lo, 2, 1), second(lo, 3, 1);
  ds_service_info list[] = {node_ep.info, first.info, second.info};
  obfl_mgr_test_filter(h, list, 3);
  auto eps = obfl_mgr_test_endpoints(h);
  ASSERT_EQ(eps.size(), 1u);
  EXPECT_EQ(eps[0].port, 2u);
  // The endpoint already in use is not taken again; the next one is, after
  // the transport heading elsewhere is closed.
  ds_service_info again[] = {first.info, second.info};
  obfl_mgr_test_filter(h, again, 2);
  eps = obfl_mgr_test_endpoints(h);
  ASSERT_EQ(eps.size(), 2u);
  EXPECT_EQ(eps[1].port, 3u);
  EXPECT_TRUE(tlg_test_contains("envmon_cmn_main", "envmon_obfl_ds_ep_filter(): successful call to msgpipe_disconnect\n\n"));
  // A failed connection goes on with the next endpoint.
  obfl_mgr_test_fail_next("connect_with_endpoint", -1);
  Published third(lo, 4, 1);
  ds_service_info more[] = {first.info, third.info};
  obfl_mgr_test_filter(h, more, 2);
  eps = obfl_mgr_test_endpoints(h);
  ASSERT_EQ(eps.size(), 3u);
  EXPECT_EQ(eps[2].port, 4u);
  // Nothing published any more: the transport is closed.
  obfl_mgr_test_filter(h, nullptr, 0);
  EXPECT_FALSE(msgpipe_is_connecting(obfl_mgr_get_transport(h)));
}

}  // namespace

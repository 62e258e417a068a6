// FPD image handling: registration of a slot's FPDs with the FPD framework
// (fan trays by the core, power modules through the hardware abstraction)
// and the framework's callbacks: image set handed to the tray's driver, image
// get with its status flags, image attributes, state set and get, abort and
// the failure-log text.
#include <stdlib.h>

#include <string>
#include <tuple>
#include <vector>

#include "drvif_fixture.h"
#include "fpd_drv_test.h"
#include "nodeid.h"
#include "tlg_test.h"

namespace {

bool main_traced(const std::string& t) { return tlg_test_contains("envmon_cmn_main", t); }
bool err_traced(const std::string& t) { return tlg_test_contains("envmon_cmn_err", t); }

std::vector<std::tuple<uint32_t, std::string>> g_done;
void completion(void*, void*, uint32_t status, const char* msg) { g_done.emplace_back(status, msg); }

class FpdImage : public DrvifFixture {
 protected:
  void SetUp() override {
    DrvifFixture::SetUp();
    g_done.clear();
    frus.assign(acq_standin().max_inv_slots, envmon_fru_obj{});
    envmon_rm->fru_objs_lst = frus.data();
    for (uint32_t slot : kFanTraySlots) ASSERT_EQ(nodeid_create(rack, static_cast<int32_t>(slot), 0, &frus[slot].nodeid), 0);
    for (uint32_t t = 0; t < 3; ++t) {
      fantray_cb& ft = envmon_rm->fantray_cb[t];
      ft.board_id = 0x4a0 + t;
      snprintf(ft.pid, sizeof(ft.pid), "FAN-TRAY-%u", t);
      snprintf(ft.prefix_str, sizeof(ft.prefix_str), "FT%u ", t);
    }
  }
  void TearDown() override {
    for (auto& f : frus) nodeid_destroy(f.nodeid);
    envmon_rm->fru_objs_lst = nullptr;
    for (auto& p : pems) envmon_free_tsi(&p.eid);
    DrvifFixture::TearDown();
  }
  // FPD records of a fan tray, all registration pending and upgradable.
  fpd_data* tray_fpds(uint32_t tray, std::initializer_list<const char*> names) {
    fantray_cb& ft = envmon_rm->fantray_cb[tray];
    free(ft.fpd_data);
    ft.fpd_data = static_cast<fpd_data*>(calloc(names.size(), sizeof(fpd_data)));
    ft.fpd_count = static_cast<uint32_t>(names.size());
    uint16_t i = 0;
    for (const char* n : names) {
      fpd_data& f = ft.fpd_data[i];
      f.eid = acq_inv_eid(0xfffe, kFanTraySlots[tray], {{6, 9, static_cast<uint16_t>(35 + i)}});
      snprintf(f.name, sizeof(f.name), "%s", n);
      f.name_len = static_cast<uint8_t>(strlen(n));
      f.init_st = ENVMON_FPD_INIT_PENDING;
      f.is_upgradable = 1;
      f.hw_ver_major = 1;
      f.hw_ver_minor = 3;
      ++i;
    }
    return ft.fpd_data;
  }
  fpd_drv_upgrade_req request(const fpd_data* f, const char* path = "/pkg/fpd/ft.img") {
    fpd_drv_upgrade_req r{};
    r.result_cb = completion;
    r.eid = f->eid;
    r.image_path = path;
    r.toggle = 5;
    r.ver_major = 4;
    r.ver_minor = 2;
    return r;
  }
  std::vector<envmon_fru_obj> frus;
  std::vector<pem_record> pems;
};

// Nothing is registered before the rack's node id is known; afterwards only
// the records still pending, once.
TEST_F(FpdImage, RegistrationWaitsForTheRackNodeIdAndTakesPendingRecordsOnce) {
  fpd_data* f = tray_fpds(0, {"FanCtrl", "Boot"});
  f[1].init_st = ENVMON_FPD_INIT_DONE;
  envmon_all_fpd_init_for_slot(41);
  EXPECT_TRUE(fpd_drv_test_devices().empty());
  EXPECT_TRUE(acq_calls("envmon_hal_fpd_init").empty());
  envmon_rm->rack_nodeid_valid = 1;
  envmon_all_fpd_init_for_slot(41);
  envmon_all_fpd_init_for_slot(41);
  ASSERT_EQ(fpd_drv_test_devices().size(), 1u);
  EXPECT_EQ(f[0].init_st, static_cast<uint32_t>(ENVMON_FPD_INIT_DONE));
  EXPECT_EQ(f[0].fpd_out.fpd_hd, fpd_drv_test_devices()[0]);
  EXPECT_EQ(f[1].fpd_out.fpd_hd, nullptr);
  EXPECT_EQ(acq_calls("envmon_hal_fpd_init"), std::vector<std::string>{"envmon_hal_fpd_init(41)"});
  // Slots other than fan trays are the hardware abstraction's.
  envmon_all_fpd_init_for_slot(60);
  EXPECT_EQ(acq_calls("envmon_hal_fpd_init_slot"), std::vector<std::string>{"envmon_hal_fpd_init_slot(60)"});
}

// What the framework learns of a fan tray's FPD.
TEST_F(FpdImage, RegistrationRecordOfAFanTrayFpd) {
  fpd_data* f = tray_fpds(2, {"FanControllerFpgaImage"});
  ASSERT_EQ(envmon_fpd_init(f, 43, loop), 0);
  const fpd_drv_reg_info* reg = fpd_drv_test_device(f->fpd_out.fpd_hd);
  ASSERT_NE(reg, nullptr);
  EXPECT_TRUE(envmon_inv_eid_same(&reg->eid, &f->eid));
  EXPECT_STREQ(reg->name, "FT2 FanControllerFpgaIma");  // prefix and name, 24 characters at most
  EXPECT_EQ(reg->name_len, 22u);
  EXPECT_EQ(reg->card_type, 0x4a2u);
  EXPECT_STREQ(reg->card_name, "FAN-TRAY-2");
  EXPECT_EQ(std::tie(reg->hw_major, reg->hw_minor), std::make_tuple(1u, 3u));
  EXPECT_EQ(reg->user_ctx, loop);
  EXPECT_EQ(reg->image_get, &envmon_fpd_image_get);
  EXPECT_EQ(reg->image_set, &envmon_fpd_image_set);
  EXPECT_EQ(reg->image_set_attr, &envmon_fpd_image_set_attr);
  EXPECT_EQ(reg->abort, &envmon_fpd_abort);
  EXPECT_EQ(reg->state_set, &envmon_fpd_state_set);
  EXPECT_EQ(reg->state_get, &envmon_fpd_state_get);
  EXPECT_EQ(reg->obfl_log, &envmon_fpd_obfl_log);
  char location[32] = "";
  ASSERT_EQ(nodeid_to_str_external(frus[43].nodeid, location, sizeof(location) - 1), 0);
  char handle[32];
  snprintf(handle, sizeof(handle), "%p", f->fpd_out.fpd_hd);
  EXPECT_TRUE(main_traced(std::string("fpd_drv_init returned 0 for location ") + location +
                          ", card FAN-TRAY-2(0x4a2), fpd FanControllerFpgaImage, eid 65534/43 TSI: 6/9/35, fpd_hd " +
                          handle + "\n"));
}

// A power module's FPD takes its card from the PEM's record: node slot is the
// slot divided by 20.
TEST_F(FpdImage, PowerModuleFpdTakesThePemsRecord) {
  pems.assign(2, pem_record{});
  pems[1].card_type = 0x77;
  snprintf(pems[1].name, sizeof(pems[1].name), "PSU-3KW");
  snprintf(pems[1].prefix_str, sizeof(pems[1].prefix_str), "PM1 ");
  pd_power_tray_info_t tray{6000, 2, pems.data()};
  tray_budgets.assign(1, envmon_pwr_tray_budget{});
  tray_budgets[0].pd_tray = &tray;
  pm.envmon_pwr_tray_data = tray_budgets.data();
  envmon_rm->pwr_tray_count = 1;
  acq_standin().pem_slots[121] = {0, 1};
  fpd_data f{};
  f.eid = acq_inv_eid(0xfffe, 121, {{6, 9, 35}});
  snprintf(f.name, sizeof(f.name), "PrimMCU");
  f.is_upgradable = 1;
  fpd_drv_reg_info reg{};
  uint32_t node_slot = 0;
  EXPECT_EQ(envmon_fpd_process_data(&f, 121, &node_slot, &reg), 0);
  EXPECT_EQ(node_slot, 6u);
  EXPECT_EQ(reg.card_type, 0x77u);
  EXPECT_STREQ(reg.card_name, "PSU-3KW");
  EXPECT_STREQ(reg.name, "PM1 PrimMCU");
  pm.envmon_pwr_tray_data = nullptr;
}

TEST_F(FpdImage, RegistrationFailures) {
  EXPECT_EQ(envmon_fpd_init(nullptr, 41, loop), 22);
  EXPECT_TRUE(err_traced("envmon_fpd_init():  passed NULL ptr\n"));
  // Not upgradable: a fault with the FPD's name, and no registration.
  fpd_data* f = tray_fpds(0, {"FanCtrl"});
  f->is_upgradable = 0;
  EXPECT_EQ(envmon_fpd_init(f, 41, loop), ENVMON_FPD_FAIL);
  EXPECT_STREQ(f->fault_msg, "FanCtrl: FPD upgrade is not supported");
  EXPECT_EQ(acq_calls("fpd_fault"), std::vector<std::string>{"fpd_fault(41, FanCtrl: FPD upgrade is not supported)"});
  EXPECT_TRUE(err_traced("envmon_fpd_process_data():  FPD(0,0) FanCtrl upgrade is not supported\n"));
  // Without the node id of its slot.
  f->is_upgradable = 1;
  nodeid_destroy(frus[41].nodeid);
  frus[41].nodeid = nullptr;
  EXPECT_EQ(envmon_fpd_init(f, 41, loop), 22);
  EXPECT_TRUE(err_traced("envmon_fpd_init:  nodeid_create failed for slot 41, rc: "));
  ASSERT_EQ(nodeid_create(rack, 41, 0, &frus[41].nodeid), 0);
  // The framework's refusal is returned, and the registration stays pending.
  fpd_drv_test_fail_next("init", 5);
  envmon_rm->rack_nodeid_valid = 1;
  envmon_all_fpd_init_for_slot(41);
  EXPECT_EQ(f->init_st, static_cast<uint32_t>(ENVMON_FPD_INIT_PENDING));
  EXPECT_TRUE(fpd_drv_test_devices().empty());
  envmon_all_fpd_init_for_slot(41);
  EXPECT_EQ(f->init_st, static_cast<uint32_t>(ENVMON_FPD_INIT_DONE));
}

// A fan tray's image goes to the fan driver of the tray's group.
TEST_F(FpdImage, ImageSetGoesToTheTraysOwnDriver) {
  FakeDriver& pri = start(1, ENVMON_SCOPE_RACK);
  FakeDriver& sec = start(14, ENVMON_SCOPE_RACK);
  const struct {
    uint32_t tray;
    FakeDriver* driver;
    const char* eid;
  } cases[] = {{0, &pri, "65534/41 6/9/35"}, {2, &sec, "65534/43 6/9/35"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.tray);
    fpd_data* f = tray_fpds(c.tray, {"FanCtrl"});
    fpd_drv_upgrade_req r = request(f);
    ASSERT_EQ(envmon_fpd_image_set(&r), 0);
    EXPECT_EQ(f->state, 1u);
    EXPECT_EQ(f->cb_func, &completion);
    EXPECT_STREQ(f->fpd_path, "/pkg/fpd/ft.img");
    EXPECT_EQ(std::tie(f->req_fpd_ver_major, f->req_fpd_ver_minor, f->toggle_upgrade),
              std::make_tuple(4u, 2u, uint8_t{1}));
    settle([&] { return c.driver->fpga_sets.size() == 1; });
    EXPECT_EQ(c.driver->fpga_sets[0].eid, c.eid);
    EXPECT_EQ(c.driver->fpga_sets[0].path, "/pkg/fpd/ft.img");
    EXPECT_EQ(std::tie(c.driver->fpga_sets[0].major, c.driver->fpga_sets[0].minor, c.driver->fpga_sets[0].toggle),
              std::make_tuple(4u, 2u, 1u));
  }
}

TEST_F(FpdImage, ImageSetOfOtherSlotsIsTheHardwareAbstractionsToDecide) {
  FakeDriver& pwr = start(2, ENVMON_SCOPE_RACK);
  fpd_data pem{};
  pem.eid = acq_inv_eid(0xfffe, 121, {{6, 9, 35}});
  fpd_drv_upgrade_req r = request(&pem, "/pkg/fpd/pm.img");
  // Refused: nothing stored.
  acq_standin().hal_fpd_image_set_rc = ENVMON_ERR_INVALID_ARG;
  acq_standin().hal_fpd_image_set_record = &pem;
  EXPECT_EQ(envmon_fpd_image_set(&r), ENVMON_FPD_FAIL);
  EXPECT_EQ(pem.cb_func, nullptr);
  EXPECT_STREQ(pem.fpd_path, "");
  // No record found: accepted without effect.
  acq_standin().hal_fpd_image_set_rc = ENVMON_OK;
  acq_standin().hal_fpd_image_set_record = nullptr;
  EXPECT_EQ(envmon_fpd_image_set(&r), 0);
  EXPECT_TRUE(err_traced("envmon_fpd_image_set: eid 65534/121 TSI: 6/9/35, fpd_data ptr NULL check envmon_hal_fpd_image_set()\n"));
  // Found, with the power driver.
  acq_standin().hal_fpd_image_set_record = &pem;
  acq_standin().hal_fpd_image_set_driver = 2;
  EXPECT_EQ(envmon_fpd_image_set(&r), 0);
  EXPECT_STREQ(pem.fpd_path, "/pkg/fpd/pm.img");
  EXPECT_EQ(pem.state, 1u);
  settle([&] { return pwr.fpga_sets.size() == 1; });
  EXPECT_EQ(pwr.fpga_sets[0].eid, "65534/121 6/9/35");
}

TEST_F(FpdImage, ImageSetRefusesIncompleteRequests) {
  fpd_data* f = tray_fpds(0, {"FanCtrl"});
  EXPECT_EQ(envmon_fpd_image_set(nullptr), ENVMON_FPD_FAIL);
  EXPECT_TRUE(err_traced("envmon_fpd_image_set: NULL ptr\n"));
  const struct {
    const char* name;
    void (*spoil)(fpd_drv_upgrade_req*);
  } cases[] = {
      {"no entity id", [](fpd_drv_upgrade_req* r) { r->eid.level_count = 0; }},
      {"no image", [](fpd_drv_upgrade_req* r) { r->image_path = nullptr; }},
      {"no callback", [](fpd_drv_upgrade_req* r) { r->result_cb = nullptr; }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    fpd_drv_upgrade_req r = request(f);
    c.spoil(&r);
    EXPECT_EQ(envmon_fpd_image_set(&r), ENVMON_FPD_FAIL);
    EXPECT_EQ(f->cb_func, nullptr);
    EXPECT_EQ(f->state, 0u);
  }
  // A long path is cut to 254 characters.
  std::string long_path(400, 'p');
  fpd_drv_upgrade_req r = request(f, long_path.c_str());
  EXPECT_EQ(envmon_fpd_image_set(&r), 0);
  EXPECT_EQ(strlen(f->fpd_path), 254u);
  EXPECT_EQ(f->fpd_path[sizeof(f->fpd_path) - 1], 0);
}

TEST_F(FpdImage, ImageGetReportsVersionsAndStatus) {
  fpd_data* f = tray_fpds(0, {"FanCtrl"});
  f->req_fpd_ver_major = 7;
  f->req_fpd_ver_minor = 8;
  const struct {
    uint32_t state;
    uint32_t major, minor;
    uint32_t flags;
  } cases[] = {
      {6, 1, 2, 64}, {13, 1, 2, 64}, {3, 1, 2, 16}, {1, 1, 2, 0}, {5, 1, 2, 0},
      // Running -2.-2 needs an upgrade whatever the state.
      {3, 0xfffffffeu, 0xfffffffeu, 64}, {0, 0xfffffffeu, 0xfffffffeu, 64},
      {0, 0xfffffffeu, 2, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.state << " " << c.major << "." << c.minor);
    f->state = c.state;
    f->fpd_ver_major = c.major;
    f->fpd_ver_minor = c.minor;
    fpd_drv_image_info info;
    memset(&info, 0xa5, sizeof(info));
    ASSERT_EQ(envmon_fpd_image_get(&f->eid, &info), 0);
    EXPECT_EQ(std::tie(info.running_major, info.running_minor), std::tie(c.major, c.minor));
    EXPECT_EQ(info.reserved, 0u);
    EXPECT_EQ(std::tie(info.programmed_major, info.programmed_minor), std::make_tuple(7u, 8u));
    EXPECT_EQ(info.status_flags, c.flags);
  }
  EXPECT_TRUE(main_traced("envmon_fpd_image_get: eid 65534/41 TSI: 6/9/35 Need Upgrade\n\n"));
  fpd_drv_image_info info{};
  inv_eid unknown = acq_inv_eid(0xfffe, 41, {{6, 9, 99}});
  EXPECT_EQ(envmon_fpd_image_get(&unknown, &info), ENVMON_FPD_FAIL);
  EXPECT_EQ(envmon_fpd_image_get(&f->eid, nullptr), ENVMON_FPD_FAIL);
  EXPECT_EQ(envmon_fpd_image_get(nullptr, &info), ENVMON_FPD_FAIL);
}

TEST_F(FpdImage, ImageAttributesKeptOnlyWithAKnownBit) {
  fpd_data* f = tray_fpds(0, {"FanCtrl"});
  f->image_attr = 0x8;
  const struct {
    uint32_t reported;
    uint32_t kept;
    const char* trace;
  } cases[] = {
      {0x1, 0x8, "(0x1), is_golden: no, is_secure: no, is_protected: no, is_hidden: no\n"},
      {0x12, 0x12, "(0x12), is_golden: yes, is_secure: yes, is_protected: no, is_hidden: no\n"},
      {0x0, 0x12, "(0x0), is_golden: no, is_secure: no, is_protected: no, is_hidden: no\n"},
      {0x5, 0x5, "(0x5), is_golden: no, is_secure: no, is_protected: yes, is_hidden: no\n"},
      {0x8, 0x8, "(0x8), is_golden: no, is_secure: no, is_protected: no, is_hidden: yes\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.reported);
    acq_clear_calls();
    uint32_t attr = c.reported;
    acq_standin().report_fpga_rc = static_cast<int32_t>(c.reported);
    EXPECT_EQ(envmon_fpd_image_set_attr(&f->eid, &attr), static_cast<int32_t>(c.reported));
    EXPECT_EQ(f->image_attr, c.kept);
    EXPECT_TRUE(main_traced(std::string("Setting FPD attribute for 65534/41 TSI: 6/9/35 on Attr: ") + c.trace));
    EXPECT_EQ(acq_calls("envmon_inv_invreg_rm_report_fpga_data"),
              std::vector<std::string>{"envmon_inv_invreg_rm_report_fpga_data(FanCtrl, 0)"});
  }
  uint32_t attr = 0x10;
  EXPECT_EQ(envmon_fpd_image_set_attr(nullptr, &attr), ENVMON_FPD_FAIL);
  EXPECT_TRUE(err_traced("envmon_fpd_image_set_attr(): Null EID received\n"));
  inv_eid unknown = acq_inv_eid(0xfffe, 42, {{6, 9, 35}});
  EXPECT_EQ(envmon_fpd_image_set_attr(&unknown, &attr), ENVMON_FPD_FAIL);
  EXPECT_TRUE(err_traced("envmon_fpd_image_set_attr(): Failed to get FPD data for EDI 65534/42 TSI: 6/9/35\n"));
  EXPECT_EQ(f->image_attr, 0x8u);
}

// Entering state 3 gives the upgrade more time, once.
TEST_F(FpdImage, StateSetExtendsTheTimeOutOnEnteringState3) {
  fpd_data* f = tray_fpds(0, {"FanCtrl"});
  f->upg_progress = 55;
  envmon_rm->rack_nodeid_valid = 1;
  envmon_all_fpd_init_for_slot(41);
  ASSERT_NE(f->fpd_out.fpd_hd, nullptr);
  char handle[32];
  snprintf(handle, sizeof(handle), "%p", f->fpd_out.fpd_hd);
  acq_standin().fpd_timeout = 1500;
  const struct {
    uint32_t state;
    bool extended;
  } steps[] = {{1, false}, {3, true}, {3, false}, {0x20003, false}, {2, false}, {0x10003, true}};
  for (const auto& s : steps) {
    SCOPED_TRACE(s.state);
    fpd_drv_test_reset();
    acq_clear_calls();
    EXPECT_EQ(envmon_fpd_state_set(&f->eid, s.state), 0);
    EXPECT_EQ(fpd_drv_test_calls(),
              s.extended ? std::vector<std::string>{"extend(" + std::string(handle) + ",1500)"}
                         : std::vector<std::string>{});
    EXPECT_EQ(f->state_set, s.state);
    EXPECT_EQ(acq_calls("envmon_inv_invreg_rm_report_fpga_data").size(), 1u);
    uint32_t state = 0, progress = 0;
    EXPECT_EQ(envmon_fpd_state_get(&f->eid, &state, &progress), 0);
    EXPECT_EQ(state, s.state);
    EXPECT_EQ(progress, 55u);
  }
  EXPECT_EQ(envmon_fpd_state_set(nullptr, 3), ENVMON_FPD_FAIL);
  EXPECT_TRUE(err_traced("envmon_fpd_state_set: NULL eid \n"));
  inv_eid unknown = acq_inv_eid(0xfffe, 42, {{6, 9, 35}});
  EXPECT_EQ(envmon_fpd_state_set(&unknown, 3), ENVMON_FPD_FAIL);
  EXPECT_TRUE(err_traced("envmon_fpd_state_set: fpd data not found \n"));
  uint32_t state = 0;
  EXPECT_EQ(envmon_fpd_state_get(&unknown, &state, nullptr), ENVMON_FPD_FAIL);
  EXPECT_EQ(envmon_fpd_state_get(&f->eid, nullptr, nullptr), ENVMON_FPD_FAIL);
}

TEST_F(FpdImage, AbortAndFailureLogText) {
  fpd_data* f = tray_fpds(0, {"FanCtrl"});
  testing::internal::CaptureStdout();
  EXPECT_EQ(envmon_fpd_abort(&f->eid), 0);
  char expected[64];
  snprintf(expected, sizeof(expected), "ABORT EID %p upgrade", static_cast<const void*>(&f->eid));
  EXPECT_EQ(testing::internal::GetCapturedStdout(), expected);
  // Only fan trays' texts go to the failure log (which here has no client yet).
  inv_eid pem = acq_inv_eid(0xfffe, 121, {{6, 9, 35}});
  EXPECT_EQ(envmon_fpd_obfl_log(&pem, "upgrade started"), 0);
  EXPECT_FALSE(err_traced("envmon_obfl_log_fpd_info"));
  EXPECT_EQ(envmon_fpd_obfl_log(&f->eid, "upgrade started"), 0);
  EXPECT_TRUE(err_traced("envmon_obfl_log_fpd_info: RM Invalid client_id with slot=41\n"));
}

}  // namespace

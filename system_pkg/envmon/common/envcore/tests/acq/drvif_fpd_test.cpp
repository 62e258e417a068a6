// FPDs through the platform drivers: information requests to the driver of
// the slot, FPGA-data answers and notifications with the status they give
// the FPD framework, upgrade requests and their acknowledgements, and the
// 60-second retry of an information request on the fake clock.
#include <stdlib.h>

#include <string>
#include <tuple>
#include <vector>

#include "drvif_fixture.h"
#include "fpd_drv_test.h"
#include "sim_clock.h"
#include "tlg_test.h"

namespace {

bool main_traced(const std::string& t) { return tlg_test_contains("envmon_cmn_main", t); }
bool err_traced(const std::string& t) { return tlg_test_contains("envmon_cmn_err", t); }

// What the framework's completion callback received.
struct Completion {
  void* hd;
  void* ctx;
  uint32_t status;
  std::string msg;
  bool operator==(const Completion&) const = default;
};
std::vector<Completion> g_done;
void completion(void* hd, void* ctx, uint32_t status, const char* msg) {
  g_done.push_back({hd, ctx, status, msg ? msg : "(null)"});
}

// The request id the fake driver recorded with a get-info request.
uint32_t id_of(const std::string& get) {
  return static_cast<uint32_t>(strtoul(get.substr(get.find('#') + 1).c_str(), nullptr, 10));
}

class DrvifFpd : public DrvifFixture {
 protected:
  void SetUp() override {
    DrvifFixture::SetUp();
    g_done.clear();
  }
  void TearDown() override {
    for (auto& e : owned) envmon_free_tsi(&e);
    DrvifFixture::TearDown();
    sim_clock_use_real();
  }
  // One FPD record on fan tray `tray`, found by the hardware abstraction.
  fpd_data* tray_fpd(uint32_t tray, uint16_t instance = 35) {
    fantray_cb& ft = envmon_rm->fantray_cb[tray];
    free(ft.fpd_data);
    ft.fpd_data = static_cast<fpd_data*>(calloc(1, sizeof(fpd_data)));
    ft.fpd_count = 1;
    fpd_data* f = ft.fpd_data;
    f->eid = acq_inv_eid(0xfffe, kFanTraySlots[tray], {{6, 9, instance}});
    snprintf(f->name, sizeof(f->name), "FT%u-FPGA", tray);
    f->cb_func = completion;
    f->fpd_out.fpd_hd = reinterpret_cast<void*>(0x5000 + tray);
    acq_standin().hal_fpds[kFanTraySlots[tray]] = f;
    return f;
  }
  // An entry naming the FPD of `slot` with every number field present.
  drvif_fpga_data_rec entry(uint32_t slot, uint32_t upgrade_state, const char* fault = nullptr,
                            const char* status = nullptr) {
    drvif_fpga_data_rec r{};
    r.eid = acq_eid(0xfffe, slot, {{6, 9, 35}});
    owned.push_back(r.eid);
    r.upgradable = 7;
    r.upgrade_state = upgrade_state;
    r.hw_major = 1;
    r.hw_minor = 2;
    r.fw_major = 3;
    r.fw_minor = 4;
    r.inst_major = 5;
    r.inst_minor = 6;
    r.fpd_size = 0x100000001ull;  // kept in 32 bits
    r.progress = 40;
    r.fault_text = const_cast<char*>(fault);
    r.status_text = const_cast<char*>(status);
    r.present[0] = 0x9f;
    r.present[1] = 0xf9;
    r.present[2] = (fault ? 0x1 : 0) | (status ? 0x2 : 0);
    return r;
  }
  // Sends one notification and waits for the core's acknowledgement.
  void notify(FakeDriver& d, std::vector<drvif_fpga_data_rec> recs, uint32_t cookie) {
    drvif_fpga_data_msg msg{recs.data(), static_cast<uint32_t>(recs.size()), nullptr, 0, 0x1};
    const size_t acks = d.fpga_acks.size();
    ASSERT_EQ(d.notify_fpga(msg, cookie), 0);
    settle([&] { return d.fpga_acks.size() > acks; });
    EXPECT_EQ(d.fpga_acks.back(), cookie);
  }
  // Asks for the information of the tray FPD and answers it with `recs` and `codes`.
  void ask_and_answer(FakeDriver& d, uint32_t slot, std::vector<drvif_fpga_data_rec> recs,
                      std::vector<uint32_t> codes = {}) {
    inv_eid eid = acq_inv_eid(0, 99, {{6, 9, 35}});
    const size_t before = d.fpga_gets.size();
    envmon_drvif_get_fpd_info(&eid, slot);
    settle([&] { return d.fpga_gets.size() > before; });
    drvif_fpga_data_msg msg{recs.data(), static_cast<uint32_t>(recs.size()), codes.data(),
                            static_cast<uint32_t>(codes.size()),
                            static_cast<uint8_t>(0x1 | (codes.empty() ? 0 : 0x2))};
    tlg_test_clear();
    ASSERT_EQ(d.answer_get_fpga(id_of(d.fpga_gets.back()), msg), 0);
    settle([&] { return tlg_test_contains("envmon_cmn_main", "envmon_drvif_resp_get_fpga_info_cb Ent fpga_cnt"); });
  }
  std::vector<pelm_eid> owned;
};

// The information request goes to the driver serving the slot, the id in this rack.
TEST_F(DrvifFpd, InformationIsAskedOfTheDriverOfTheSlot) {
  acq_standin().driver_by_slot[60] = 2;
  FakeDriver& pri = start(1, ENVMON_SCOPE_RACK);
  FakeDriver& sec = start(14, ENVMON_SCOPE_RACK);
  FakeDriver& pwr = start(2, ENVMON_SCOPE_RACK);
  struct Case {
    uint32_t slot;
    FakeDriver* driver;
    const char* eid;
  };
  const Case cases[] = {
      {41, &pri, "65534/41 6/9/35"},  // a tray of the primary group
      {43, &sec, "65534/43 6/9/35"},  // the secondary group has its own driver
      {60, &pwr, "65534/60 6/9/35"},  // any other slot: the hardware abstraction's driver
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.slot);
    inv_eid eid = acq_inv_eid(7, 99, {{6, 9, 35}});
    const size_t before = c.driver->fpga_gets.size();
    envmon_drvif_get_fpd_info(&eid, c.slot);
    settle([&] { return c.driver->fpga_gets.size() > before; });
    const std::string& got = c.driver->fpga_gets.back();
    EXPECT_EQ(got.substr(0, got.find(" #")), c.eid);
  }
  EXPECT_EQ(pri.fpga_gets.size() + sec.fpga_gets.size() + pwr.fpga_gets.size(), 3u);
  inv_eid eid = acq_inv_eid(0, 70, {{6, 9, 35}});
  envmon_drvif_get_fpd_info(&eid, 70);
  EXPECT_TRUE(err_traced("envmon_drvif_get_fpd_info: invalid slot 70 \n"));
  EXPECT_EQ(envmon_drvif_fpd_driver_for_slot(42), 1u);
  EXPECT_EQ(envmon_drvif_fpd_driver_for_slot(70), 17u);
}

// An answer stores the driver's figures; inventory hears of them only once
// the FPD is registered there, and the framework may then offer upgrades.
TEST_F(DrvifFpd, AnswerStoresTheFiguresAndReportsOnlyRegisteredFpds) {
  fpd_data* f = tray_fpd(0);
  FakeDriver& d = start(1, ENVMON_SCOPE_RACK);
  ask_and_answer(d, 41, {entry(41, 0)});
  EXPECT_EQ(f->is_upgradable, 1);
  EXPECT_EQ(std::tie(f->hw_ver_major, f->hw_ver_minor), std::make_tuple(1u, 2u));
  EXPECT_EQ(std::tie(f->fpd_ver_major, f->fpd_ver_minor), std::make_tuple(3u, 4u));
  EXPECT_EQ(std::tie(f->inst_fpd_ver_major, f->inst_fpd_ver_minor), std::make_tuple(5u, 6u));
  EXPECT_EQ(std::tie(f->req_fpd_ver_major, f->req_fpd_ver_minor), std::make_tuple(5u, 6u));
  EXPECT_EQ(f->fpd_size, 1u);
  EXPECT_EQ(f->upg_progress, 40u);
  EXPECT_EQ(f->reg_state, ENVMON_ST_VALUE_WAITING);
  EXPECT_TRUE(acq_calls("envmon_inv_invreg_rm_report_fpga_data").empty());
  EXPECT_EQ(fpd_drv_test_calls(), std::vector<std::string>{"enable(0x5000,1)"});
  EXPECT_TRUE(main_traced("envmon_drvif_resp_get_fpga_info_cb: eid 65534/41 TSI: 6/9/35, is_upgradable 1, hw_ver 1.2, "
                          "fw_ver 3.4, inst_fw_ver 5.6, upgrade_state 0 (fault: none), upgrade_progress 40 "
                          "from resp_get_fpga_info\n\n"));
  EXPECT_TRUE(g_done.empty());

  f->reg_state = ENVMON_ST_REG_DONE;
  ask_and_answer(d, 41, {entry(41, 0, nullptr, "golden image")});
  EXPECT_EQ(acq_calls("envmon_inv_invreg_rm_report_fpga_data"),
            std::vector<std::string>{"envmon_inv_invreg_rm_report_fpga_data(FT0-FPGA, 1)"});
  EXPECT_STREQ(f->fault_msg, "golden image");
  EXPECT_TRUE(main_traced("(fault: golden image)"));
  // An answer never moves the framework's status.
  EXPECT_TRUE(g_done.empty());
}

TEST_F(DrvifFpd, AnswersWithoutUsableEntries) {
  tray_fpd(0);
  FakeDriver& d = start(1, ENVMON_SCOPE_RACK);
  ask_and_answer(d, 41, {});
  EXPECT_TRUE(err_traced("envmon_drvif_resp_get_fpga_info_cb: no fpga info in the msg\n"));
  drvif_fpga_data_rec anonymous = entry(41, 0);
  anonymous.present[0] &= ~0x1;
  ask_and_answer(d, 41, {anonymous, entry(42, 0)});
  EXPECT_TRUE(err_traced("envmon_drvif_resp_get_fpga_info_cb: no eid for fpga date - idx 0 \n"));
  EXPECT_TRUE(err_traced("envmon_drvif_resp_get_fpga_info_cb: Invalid fpd_data for pelm eid 65534/42 TSI: 6/9/35 in slot 42\n"));
  EXPECT_EQ(envmon_rm->fantray_cb[0].fpd_data[0].fpd_ver_major, 0u);
}

// A response code the hardware abstraction names asks again 60 s later; the
// other entries of the answer are taken as they are.
TEST_F(DrvifFpd, RetryCodeAsksAgainAfterSixtySeconds) {
  sim_clock_use_fake(1000000000ull);
  acq_standin().retry_fpd_codes = {0x21};
  fpd_data* f0 = tray_fpd(0);
  fpd_data* f1 = tray_fpd(1);
  FakeDriver& d = start(1, ENVMON_SCOPE_RACK);
  ask_and_answer(d, 41, {entry(41, 0), entry(42, 0)}, {0x21, 0});
  EXPECT_TRUE(main_traced("timer start for slot 41\n"));
  EXPECT_EQ(f0->fpd_ver_major, 0u);
  EXPECT_EQ(f1->fpd_ver_major, 3u);
  ASSERT_EQ(d.fpga_gets.size(), 1u);
  sim_clock_advance_ms(59999);
  evloop_run_until_idle(loop);
  EXPECT_FALSE(main_traced("get fpd for slot"));
  sim_clock_advance_ms(1);
  settle([&] { return d.fpga_gets.size() == 2; });
  EXPECT_TRUE(main_traced("get fpd for slot 41 EID:65534/41 TSI: 6/9/35\n"));
  const std::string& again = d.fpga_gets[1];
  EXPECT_EQ(again.substr(0, again.find(" #")), "65534/41 6/9/35");
  // Once only.
  sim_clock_advance_ms(120000);
  evloop_run_until_idle(loop);
  EXPECT_EQ(d.fpga_gets.size(), 2u);
}

// The driver's upgrade states, notified one after another, and what the
// framework, inventory and the hardware abstraction are told of each.
TEST_F(DrvifFpd, NotificationsMoveTheFrameworkStatus) {
  fpd_data* f = tray_fpd(0);
  f->reg_state = ENVMON_ST_REG_DONE;
  FakeDriver& d = start(1, ENVMON_SCOPE_RACK);
  void* hd = f->fpd_out.fpd_hd;
  struct Step {
    const char* name;
    uint32_t upgrade_state;
    const char* fault;
    std::vector<Completion> done;   // framework calls of this step
    std::vector<std::string> hal;   // hardware-abstraction calls of this step
    std::vector<std::string> reports;
    uint32_t state;                 // status kept for the framework
    const char* msg;
  };
  const Step steps[] = {
      {"upgrade requested", 1, nullptr, {}, {"fpd_state(41, 1, 0)"}, {}, 0, ""},
      {"first in-progress report", 2, nullptr, {{hd, f, 3, "upgrade started"}},
       {"fpd_state(41, 1, 1)"}, {}, 3, "upgrade started"},
      {"in progress again: said once", 2, nullptr, {}, {"fpd_state(41, 1, 2)"}, {}, 3, "upgrade started"},
      {"in progress with a text: a fault", 2, "flash erase slow", {},
       {"fpd_fault(41, flash erase slow)", "fpd_state(41, 1, 2)"}, {}, 3, "flash erase slow"},
      {"success without text", 3, nullptr, {{hd, f, 5, "successfully upgraded"}},
       {"envmon_hal_fan_mgmt_fan_speed_update(0, 0)", "fpd_state(41, 1, 2)"},
       {"envmon_inv_invreg_rm_report_fpga_data(FT0-FPGA, 0)"}, 5, "successfully upgraded"},
      {"failure", 4, "crc mismatch", {{hd, f, 6, "crc mismatch"}}, {"fpd_state(41, 1, 3)"}, {}, 6,
       "crc mismatch"},
      {"the other failure", 5, nullptr, {{hd, f, 6, "crc mismatch"}}, {"fpd_state(41, 1, 4)"}, {}, 6,
       "crc mismatch"},
      {"back to none: a plain report", 0, nullptr, {}, {},
       {"envmon_inv_invreg_rm_report_fpga_data(FT0-FPGA, 0)"}, 6, "crc mismatch"},
  };
  uint32_t cookie = 100;
  for (const auto& s : steps) {
    SCOPED_TRACE(s.name);
    g_done.clear();
    acq_clear_calls();
    notify(d, {entry(41, s.upgrade_state, s.fault)}, ++cookie);
    EXPECT_EQ(g_done, s.done);
    std::vector<std::string> hal = acq_calls("fpd_");
    const auto fan = acq_calls("envmon_hal_fan_mgmt_fan_speed_update");
    hal.insert(hal.begin(), fan.begin(), fan.end());
    EXPECT_EQ(hal, s.hal);
    EXPECT_EQ(acq_calls("envmon_inv_invreg_rm_report_fpga_data"), s.reports);
    EXPECT_EQ(f->state, s.state);
    EXPECT_STREQ(f->fault_msg, s.msg);
    EXPECT_EQ(f->upgrade_state, s.upgrade_state);
  }
  EXPECT_TRUE(main_traced("from notify_fpga_data\n\n"));
}

// A power module's FPD succeeds without the fan algorithm being touched.
TEST_F(DrvifFpd, SuccessOfAnotherSlotLeavesTheFans) {
  fpd_data pem{};
  pem.eid = acq_inv_eid(0xfffe, 60, {{6, 9, 35}});
  pem.upgrade_state = 2;
  pem.cb_func = completion;
  acq_standin().hal_fpds[60] = &pem;
  acq_standin().driver_by_slot[60] = 2;
  FakeDriver& d = start(2, ENVMON_SCOPE_RACK);
  notify(d, {entry(60, 3)}, 1);
  EXPECT_EQ(g_done.size(), 1u);
  EXPECT_STREQ(pem.fault_msg, "successfully upgraded");
  EXPECT_TRUE(acq_calls("envmon_hal_fan_mgmt_fan_speed_update").empty());
}

// Upgrade requests carry the image and the operation; the driver's acks decide
// what follows.
TEST_F(DrvifFpd, UpgradeRequestAndItsAcknowledgements) {
  fpd_data* f = tray_fpd(0);
  snprintf(f->fpd_path, sizeof(f->fpd_path), "/pkg/fpd/ft.img");
  f->req_fpd_ver_major = 2;
  f->req_fpd_ver_minor = 9;
  f->toggle_upgrade = 1;
  f->upgrade_state = 2;
  acq_standin().driver_by_slot[41] = 1;
  FakeDriver& d = start(1, ENVMON_SCOPE_RACK);
  envmon_drvif_request_fpd_upd(1, f);
  settle([&] { return d.fpga_sets.size() == 1; });
  const FakeDriver::FpgaSet first = d.fpga_sets[0];
  EXPECT_EQ(first.eid, "65534/41 6/9/35");
  EXPECT_EQ(first.path, "/pkg/fpd/ft.img");
  EXPECT_EQ(std::tie(first.major, first.minor, first.toggle, first.op), std::make_tuple(2u, 9u, 1u, 12u));
  EXPECT_TRUE(tlg_test_contains("envmon_cmn_pwrm",
                                "envmon_drvif_request_fpd_upd: drvif_set_fpga_info for eid 65534/41 TSI: 6/9/35, "
                                "fpd path /pkg/fpd/ft.img, rc 0x0\n"));
  struct Case {
    uint32_t ack;
    size_t resent;                 // further requests sent
    std::vector<Completion> done;
    const char* msg;
    std::vector<std::string> hal;
  };
  void* hd = f->fpd_out.fpd_hd;
  const Case cases[] = {
      {0, 0, {}, "before", {}},
      {9, 1, {}, "before", {}},  // busy: sent again at once
      {13, 0, {{hd, f, 6, "One or more Feed A/B/C are missing"}}, "One or more Feed A/B/C are missing",
       {"fpd_state(41, 0, 2)"}},
      {1, 0, {{hd, f, 6, "Invalid parameter"}}, "Invalid parameter", {"fpd_state(41, 0, 2)"}},
      {3, 0, {{hd, f, 6, "Invalid parameter"}}, "Invalid parameter", {"fpd_state(41, 0, 2)"}},
      {7, 0, {}, "before", {}},  // other acks: nothing
  };
  pelm_eid named = acq_eid(0xfffe, 41, {{6, 9, 35}});
  owned.push_back(named);
  size_t expected = 1;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.ack);
    g_done.clear();
    acq_clear_calls();
    tlg_test_clear();
    f->state = 1;
    snprintf(f->fault_msg, sizeof(f->fault_msg), "before");
    // A request of its own for each answer (the first was sent above).
    if (&c != cases) {
      envmon_drvif_request_fpd_upd(1, f);
      ++expected;
    }
    settle([&] { return d.fpga_sets.size() == expected; });
    const size_t sets = expected;
    ASSERT_EQ(d.answer_set_fpga(d.fpga_sets.back().id, {named}, {c.ack}), 0);
    settle([&] { return main_traced("envmon_drvif_resp_set_fpga_info_cb(): ack " + std::to_string(c.ack) +
                                    " for eid 65534/41 TSI: 6/9/35 \n"); });
    if (c.resent) {
      expected += c.resent;
      settle([&] { return d.fpga_sets.size() == expected; });
      EXPECT_EQ(d.fpga_sets.back().path, "/pkg/fpd/ft.img");
    } else {
      EXPECT_EQ(d.fpga_sets.size(), sets);
    }
    EXPECT_EQ(g_done, c.done);
    EXPECT_STREQ(f->fault_msg, c.msg);
    EXPECT_EQ(f->state, c.done.empty() ? 1u : 6u);
    EXPECT_EQ(acq_calls("fpd_"), c.hal);
  }
}

TEST_F(DrvifFpd, UpgradeRequestsRefused) {
  fpd_data* f = tray_fpd(0);
  FakeDriver& d = start(1, ENVMON_SCOPE_RACK);
  envmon_drvif_request_fpd_upd(12, f);
  EXPECT_TRUE(err_traced("envmon_drvif_request_fpd_upd: invalid drvif driver 12 \n"));
  envmon_drvif_request_fpd_upd(1, nullptr);
  EXPECT_TRUE(err_traced("envmon_drvif_request_fpd_upd: NUll fpd data ptr\n"));
  // An ack for an FPD nobody knows only says so.
  pelm_eid stranger = acq_eid(0xfffe, 42, {{6, 9, 35}});
  owned.push_back(stranger);
  envmon_drvif_request_fpd_upd(1, f);
  settle([&] { return d.fpga_sets.size() == 1; });
  ASSERT_EQ(d.answer_set_fpga(d.fpga_sets[0].id, {stranger}, {13}), 0);
  settle([&] { return err_traced("envmon_drvif_resp_set_fpga_info_cb(): get_fpd_data_ptr failed for eid"); });
  EXPECT_TRUE(g_done.empty());
  EXPECT_EQ(d.fpga_sets.size(), 1u);
}

}  // namespace

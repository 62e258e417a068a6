// The card-event state machine on the event loop: the 5 s one-shot timers are
// real timerfds attached to the loop, fired through the loop's test hook
// instead of waiting for them.
#include "envmon_ceb_fsa.h"

#include <gtest/gtest.h>
#include <sys/timerfd.h>

#include <cstdlib>
#include <optional>
#include <string>

#include "envcore_fakes.h"
#include "core_traces.h"
#include "evloop.h"
#include "records_fixture.h"
#include "tlg_test.h"

namespace {

constexpr uint32_t kRpCardType = 0x1f0802;  // a route-processor card type
constexpr uint32_t kLcCardType = 0x520d;    // not one

constexpr uint32_t CONNECTING = ENVMON_CEB_ST_CONNECTING, REQ_CARD = ENVMON_CEB_ST_REQING_CARD,
                   REQ_CHASSIS = ENVMON_CEB_ST_REQING_CHASSIS, REG = ENVMON_CEB_ST_REGISTERING,
                   REGISTERED = ENVMON_CEB_ST_REGISTERED, ERR = ENVMON_CEB_ST_ERROR;

class CebFsa : public ::testing::Test {
 protected:
  void SetUp() override {
    fakes::reset();
    fakes::open_core_traces();
    loop_ = evloop_create("ceb_fsa_test");
    envmon_evloop = loop_;
    recs_ = new fakes::records();
  }

  void TearDown() override {
    if (envmon_fsa != nullptr) {
      envmon_ceb_st_destroy_timer(&envmon_fsa->ctx);
      free(envmon_fsa);
      envmon_fsa = nullptr;
    }
    delete recs_;
    evloop_destroy(loop_);
    envmon_evloop = nullptr;
  }

  void start() { ASSERT_EQ(envmon_ceb_fsa_init_n_start(), 0u); }
  uint32_t state() const { return envmon_ceb_sm_state(envmon_fsa); }

  int armed() { return evloop_test_armed_timerfds(loop_, nullptr, 0); }

  // The one armed timer: a one-shot of at most 5 s; fired as if it expired.
  void fire() {
    int fds[4];
    ASSERT_EQ(evloop_test_armed_timerfds(loop_, fds, 4), 1) << "exactly one timer must run";
    itimerspec cur{};
    ASSERT_EQ(timerfd_gettime(fds[0], &cur), 0);
    EXPECT_EQ(cur.it_interval.tv_sec, 0);
    EXPECT_EQ(cur.it_interval.tv_nsec, 0);
    EXPECT_LE(cur.it_value.tv_sec, ENVMON_CEB_TIMER_SECONDS);
    ASSERT_EQ(evloop_test_fire_fd(loop_, fds[0], EVLOOP_FD_READABLE), 0);
  }

  size_t count_calls(const char* prefix) { return fakes::calls_of({prefix}).size(); }

  evloop_t* loop_ = nullptr;
  fakes::records* recs_ = nullptr;
};

TEST_F(CebFsa, LineCardStartToRegistered) {
  recs_->nm().card_type = kLcCardType;
  start();
  EXPECT_EQ(state(), CONNECTING);
  EXPECT_EQ(armed(), 0);
  envmon_ceb_fsa_sched_event(ENVMON_CEB_EV_CONNECT);
  EXPECT_EQ(state(), REQ_CARD);
  EXPECT_EQ(count_calls("envmon_hal_send_card_info"), 1u);
  EXPECT_EQ(armed(), 1);
  // The card information is in; the card is not a route processor.
  envmon_ceb_fsa_sched_event(ENVMON_CEB_EV_CARD_LC);
  EXPECT_EQ(state(), REG);
  EXPECT_EQ(armed(), 1) << "the first registering entry only restarts the timer";
  EXPECT_FALSE(tlg_test_contains("envmon_cmn_smil", "bd_err="));
  fire();
  EXPECT_TRUE(tlg_test_contains(
      "envmon_cmn_smil",
      "FSA: envmon_ceb_st_registering: st=5, bd_err=0, ft_err=0, pt_err=0, fab_err=0\n"));
  EXPECT_EQ(state(), REGISTERED);
  EXPECT_EQ(armed(), 0);
  EXPECT_EQ(count_calls("envmon_hal_send_card_info"), 1u);
}

TEST_F(CebFsa, RouteProcessorWaitsForChassisInformation) {
  delete recs_;
  fakes::hal().max_fantray = 1;
  recs_ = new fakes::records();  // with a fan tray
  fakes::records& recs = *recs_;
  recs.nm().card_type = kRpCardType;
  recs.pwr_mgmt();
  start();
  envmon_ceb_fsa_sched_event(ENVMON_CEB_EV_CONNECT);
  envmon_ceb_fsa_sched_event(ENVMON_CEB_EV_CARD_RP);
  EXPECT_EQ(state(), REQ_CHASSIS);
  EXPECT_EQ(count_calls("envmon_hal_send_chassis_info"), 1u);
  // The chassis callback registers entities: a registration request follows.
  envmon_ceb_fsa_sched_event(ENVMON_CEB_EV_REG_REQ);
  EXPECT_EQ(state(), REG);
  for (int pass = 0; pass < 3; ++pass) {
    SCOPED_TRACE(pass);
    tlg_test_clear("envmon_cmn_smil");
    fire();
    EXPECT_EQ(state(), REG);
    EXPECT_TRUE(tlg_test_contains(
        "envmon_cmn_smil",
        "FSA: envmon_ceb_st_registering: st=5, bd_err=0, ft_err=0, pt_err=1, fab_err=0\n"));
    // Every pass without the chassis information asks for it again.
    EXPECT_EQ(count_calls("envmon_hal_send_chassis_info"), 2u + pass);
  }
  recs.nm().misc_state |= ENVMON_NM_CHASSIS_INFO_DONE;
  fire();
  EXPECT_EQ(state(), REGISTERED);
}

TEST_F(CebFsa, RouteProcessorAsksForTheChassisOnceItsCardIsKnown) {
  // The card information came before the rack client: the next card request
  // finds it processed, and the chassis request that follows marks itself
  // pending until the rack client connects (which posts the route-processor
  // event).
  recs_->nm().card_type = kRpCardType;
  start();
  envmon_ceb_fsa_sched_event(ENVMON_CEB_EV_CONNECT);
  EXPECT_EQ(count_calls("envmon_hal_send_chassis_info"), 0u);
  fakes::set_result("envmon_hal_send_card_info", static_cast<int32_t>(ENVMON_ERR32_ALREADY_DONE));
  fire();
  EXPECT_EQ(state(), REQ_CARD);
  EXPECT_EQ(count_calls("envmon_hal_send_chassis_info"), 1u);
  envmon_ceb_fsa_sched_event(ENVMON_CEB_EV_CARD_RP);
  EXPECT_EQ(state(), REQ_CHASSIS);
  EXPECT_EQ(count_calls("envmon_hal_send_chassis_info"), 2u);
  // A line card never asks for the chassis.
  recs_->nm().card_type = kLcCardType;
  fakes::clear_calls();
  envmon_req_card(&envmon_fsa->ctx);
  EXPECT_EQ(count_calls("envmon_hal_send_chassis_info"), 0u);
}

TEST_F(CebFsa, CardInformationThatNeverComes) {
  start();
  envmon_ceb_fsa_sched_event(ENVMON_CEB_EV_CONNECT);
  for (int timeout = 1; timeout <= 2; ++timeout) {
    fire();
    EXPECT_EQ(state(), REQ_CARD);
  }
  EXPECT_EQ(count_calls("envmon_hal_send_card_info"), 3u);
  EXPECT_FALSE(tlg_test_contains("envmon_cmn_smil", "Reached Max Retry"));
  // The third timeout sends the fourth request and ends the requests.
  fire();
  EXPECT_EQ(count_calls("envmon_hal_send_card_info"), 4u) << "four requests in all";
  EXPECT_TRUE(tlg_test_contains(
      "envmon_cmn_smil",
      "FSA: envmon_ceb_st_reqing_card-Reached Max Retry #(3) to get card info\n"));
  EXPECT_EQ(state(), ERR);
  EXPECT_EQ(armed(), 0) << "leaving for the error state stops the timer";
}

TEST_F(CebFsa, ChassisInformationThatNeverComes) {
  recs_->nm().card_type = kRpCardType;
  start();
  envmon_ceb_fsa_sched_event(ENVMON_CEB_EV_CONNECT);
  envmon_ceb_fsa_sched_event(ENVMON_CEB_EV_CARD_RP);
  for (int timeout = 1; timeout <= 3; ++timeout) fire();
  EXPECT_EQ(count_calls("envmon_hal_send_chassis_info"), 4u);
  EXPECT_TRUE(tlg_test_contains(
      "envmon_cmn_smil",
      "FSA: envmon_ceb_st_reqing_chassis-Reached Max Retry #(3) to get chassis info\n"));
  EXPECT_EQ(state(), ERR);
  EXPECT_EQ(armed(), 0);
}

TEST_F(CebFsa, FailedSendsAreNotCounted) {
  fakes::set_result("envmon_hal_send_card_info", -2);
  start();
  envmon_ceb_fsa_sched_event(ENVMON_CEB_EV_CONNECT);
  for (int timeout = 1; timeout <= 6; ++timeout) fire();
  EXPECT_EQ(state(), REQ_CARD);
  EXPECT_EQ(count_calls("envmon_hal_send_card_info"), 7u);
  EXPECT_TRUE(tlg_test_contains("envmon_cmn_smil",
                                "FSA: envmon_req_card-send card info failure!\n"));
  // Once sends succeed, four of them end the requests.
  fakes::set_result("envmon_hal_send_card_info", 0);
  for (int timeout = 1; timeout <= 3; ++timeout) fire();
  EXPECT_EQ(state(), REQ_CARD);
  fire();
  EXPECT_EQ(count_calls("envmon_hal_send_card_info"), 11u);
  EXPECT_EQ(state(), ERR);
}

TEST_F(CebFsa, InvalidCardEndsInError) {
  start();
  envmon_ceb_fsa_sched_event(ENVMON_CEB_EV_CONNECT);
  envmon_ceb_fsa_sched_event(ENVMON_CEB_EV_INVALID_CARD);
  EXPECT_EQ(state(), ERR);
  EXPECT_EQ(armed(), 0);
}

TEST_F(CebFsa, RegistrationRequestsWhileRegisteringPostponeTheCheck) {
  recs_->nm().card_type = kLcCardType;
  fakes::records::fill(recs_->nm().temp_data, "temp", {0xf0000001u}, 0xf0000001u);
  start();
  envmon_ceb_fsa_sched_event(ENVMON_CEB_EV_CONNECT);
  envmon_ceb_fsa_sched_event(ENVMON_CEB_EV_CARD_LC);
  for (int i = 0; i < 5; ++i) {
    envmon_ceb_fsa_sched_event(ENVMON_CEB_EV_REG_REQ);
    EXPECT_EQ(state(), REG);
    EXPECT_EQ(armed(), 1);
  }
  EXPECT_EQ(count_calls("envmon_inv_invreg_register_sensors"), 0u) << "no check ran";
  // The check: the sensor is still pending, re-sent once, the wait goes on.
  fire();
  EXPECT_EQ(state(), REG);
  EXPECT_EQ(count_calls("envmon_inv_invreg_register_sensors"), 1u);
  EXPECT_TRUE(tlg_test_contains(
      "envmon_cmn_smil",
      "FSA: envmon_ceb_st_registering: st=5, bd_err=1, ft_err=0, pt_err=0, fab_err=0\n"));
  EXPECT_EQ(armed(), 1);
  // Inventory accepts it: the next pass settles and the machine is done.
  recs_->nm().temp_data.sensors[0].state |= ENVMON_ST_REG_DONE;
  fire();
  EXPECT_EQ(state(), REGISTERED);
  EXPECT_EQ(recs_->nm().temp_data.sensors[0].state & 0x3u, 0x2u);
  EXPECT_EQ(recs_->nm().temp_data.reg_state & 0x3u, 0x2u);
  // A later request brings it back to registering.
  envmon_ceb_fsa_sched_event(ENVMON_CEB_EV_REG_REQ);
  EXPECT_EQ(state(), REG);
  fire();
  EXPECT_EQ(state(), REGISTERED);
}

TEST_F(CebFsa, ErrorState) {
  start();
  envmon_ceb_fsa_sched_event(ENVMON_CEB_EV_CONNECT);
  envmon_ceb_fsa_sched_event(ENVMON_CEB_EV_MAJOR_ERR);
  EXPECT_EQ(state(), ERR);
  // The card requests are over for good ...
  for (uint32_t ev : {ENVMON_CEB_EV_CONNECT, ENVMON_CEB_EV_TIMEOUT, ENVMON_CEB_EV_CARD_LC,
                      ENVMON_CEB_EV_CARD_RP, ENVMON_CEB_EV_REG_OK}) {
    envmon_ceb_fsa_sched_event(ev);
    EXPECT_EQ(state(), ERR) << "event " << ev;
  }
  EXPECT_EQ(count_calls("envmon_hal_send_card_info"), 1u);
  // ... but registrations made later still get their retries.
  envmon_ceb_fsa_sched_event(ENVMON_CEB_EV_REG_REQ);
  EXPECT_EQ(state(), REG);
  fire();
  EXPECT_EQ(state(), REGISTERED);
}

TEST_F(CebFsa, RefusedEvents) {
  struct Case {
    const char* name;
    uint32_t event;
    const char* trace;
  };
  const Case cases[] = {
      {"zero", 0, "FSA: envmon_ceb_fsa_sched_event: invalid event = 0\n"},
      {"above the last", 12, "FSA: envmon_ceb_fsa_sched_event: invalid event = 12\n"},
  };
  start();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_NE(envmon_ceb_fsa_sched_event(c.event), 0u);
    EXPECT_TRUE(tlg_test_contains("envmon_cmn_smil", c.trace));
    EXPECT_EQ(state(), CONNECTING);
  }
}

TEST_F(CebFsa, PostBeforeTheMachineExistsIsRefused) {
  ASSERT_EQ(envmon_fsa, nullptr);
  EXPECT_NE(envmon_ceb_fsa_sched_event(ENVMON_CEB_EV_REG_REQ), 0u);
  EXPECT_TRUE(tlg_test_contains("envmon_cmn_smil", "machine not started, event = 9"));
}

TEST_F(CebFsa, SecondTimerKeepsTheFirst) {
  start();
  envmon_ceb_fsa_sched_event(ENVMON_CEB_EV_CONNECT);
  const int fd = envmon_fsa->ctx.timer_fd;
  ASSERT_GT(fd, 0);
  EXPECT_EQ(envmon_ceb_fsa_start_timer(envmon_ceb_fsa_timeout_handler, 5, &envmon_fsa->ctx), 0);
  EXPECT_EQ(envmon_fsa->ctx.timer_fd, fd);
  EXPECT_EQ(armed(), 1);
  EXPECT_TRUE(tlg_test_contains("envmon_cmn_smil",
                                "FSA: envmon_ceb_fsa_start_timer: Timer is already running\n"));
}

TEST_F(CebFsa, RealExpiryOnTheLoop) {
  // One timer left to expire by itself (1 s, not the machine's 5 s): the loop
  // delivers it and the machine takes the timeout.
  start();
  envmon_ceb_fsa_sched_event(ENVMON_CEB_EV_CONNECT);
  envmon_ceb_st_destroy_timer(&envmon_fsa->ctx);
  ASSERT_EQ(envmon_ceb_fsa_start_timer(envmon_ceb_fsa_timeout_handler, 1, &envmon_fsa->ctx), 0);
  auto two_requests = [](void*) -> int {
    return fakes::calls_of({"envmon_hal_send_card_info"}).size() >= 2 ? 1 : 0;
  };
  ASSERT_EQ(evloop_run_until(loop_, two_requests, nullptr, 10000), 0)
      << "the timeout did not reach the machine";
  EXPECT_EQ(state(), REQ_CARD);
  EXPECT_EQ(armed(), 1) << "the expired descriptor is replaced by a fresh one";
}

}  // namespace

namespace {

class CebCleanup : public ::testing::Test {
 protected:
  void SetUp() override {
    fakes::reset();
    fakes::open_core_traces();
    fakes::hal().max_fantray = 1;
    fakes::hal().max_powertray = 1;
    fakes::hal().max_fc = 1;
    fakes::hal().max_swc = 1;
    fakes::hal().fc_remote = 1;
    fakes::hal().sw_remote = 1;
    recs_.emplace();
    envmon_rm_t& rm = recs_->rm();
    envmon_nm_t& nm = recs_->nm();
    const uint32_t all = 0xf0000d05;  // registration, EEPROM/set, polling and speed pending
    for (envmon_sensor_list* l : {&nm.temp_data, &nm.voltage_data, &nm.current_data, &rm.temp_data}) {
      l->reg_state = all;
    }
    fantray_cb& ft = rm.fantray_cb[0];
    for (envmon_sensor_list* l : {&ft.temp_data, &ft.voltage_data, &ft.current_data, &ft.fan_data,
                                  &ft.subtype13_data}) {
      l->reg_state = all;
    }
    ft.flags = 0xf0000015;
    rm.fan_cont_reg_state[0] = 0xf0000001;
    rm.pwr_tray_count = 1;
    rm.pwr_tray_cont_reg_state[0] = 0xf0000001;
    recs_->pwr_mgmt(1).envmon_pwr_tray_data[0].reg_state = 0xf0000015;
    for (envmon_remote_card_cb* c : {&rm.fc_cb[0], &rm.sw_cb[0]}) {
      c->temp_data.reg_state = all;
      c->voltage_data.reg_state = all;
      c->current_data.reg_state = all;
    }
  }
  std::optional<fakes::records> recs_;
};

TEST_F(CebCleanup, InventoryRetriesByScope) {
  struct Case {
    const char* name;
    uint32_t scope;
    bool node;
  };
  const Case cases[] = {{"node scope", 3, true}, {"rack scope", 1, false}, {"scope 2 is rack", 2, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SetUp();
    envmon_fsa_cleanup_all_inv_retry_request(c.scope);
    envmon_rm_t& rm = recs_->rm();
    envmon_nm_t& nm = recs_->nm();
    const uint32_t cleaned = 0xf0000d04;
    const uint32_t untouched = 0xf0000d05;
    EXPECT_EQ(nm.temp_data.reg_state, c.node ? cleaned : untouched);
    EXPECT_EQ(nm.current_data.reg_state, c.node ? cleaned : untouched);
    EXPECT_EQ(rm.temp_data.reg_state, c.node ? untouched : cleaned);
    const fantray_cb& ft = rm.fantray_cb[0];
    EXPECT_EQ(ft.flags, c.node ? 0xf0000015u : 0xf0000000u);
    EXPECT_EQ(ft.fan_data.reg_state, c.node ? untouched : cleaned);
    EXPECT_EQ(ft.current_data.reg_state, untouched) << "the tray's current list is left alone";
    EXPECT_EQ(rm.fan_cont_reg_state[0], c.node ? 0xf0000001u : 0xf0000000u);
    EXPECT_EQ(rm.pwr_tray_cont_reg_state[0], c.node ? 0xf0000001u : 0xf0000000u);
    EXPECT_EQ(rm.pwr_mgmt_data->envmon_pwr_tray_data[0].reg_state,
              c.node ? 0xf0000015u : 0xf0000000u);
    EXPECT_EQ(rm.fc_cb[0].voltage_data.reg_state, c.node ? untouched : cleaned);
    EXPECT_EQ(rm.sw_cb[0].current_data.reg_state, c.node ? untouched : cleaned);
    EXPECT_EQ(fakes::called("envmon_hal_fsa_rm_cleanup_inv_retry_request()"), !c.node);
    recs_.reset();
  }
}

TEST_F(CebCleanup, DriverRetries) {
  envmon_rm_t& rm = recs_->rm();
  envmon_fsa_cleanup_all_drvif_retry_request(14);
  const fantray_cb& ft = rm.fantray_cb[0];
  EXPECT_EQ(ft.fan_data.reg_state, 0xf0000805u) << "polling and speed sets dropped";
  EXPECT_EQ(ft.temp_data.reg_state, 0xf0000c05u);
  EXPECT_EQ(ft.current_data.reg_state, 0xf0000d05u);
  EXPECT_EQ(rm.fc_cb[0].temp_data.reg_state, 0xf0000d05u);
  EXPECT_FALSE(fakes::called("envmon_hal_fsa_rm_cleanup_drvif_retry_request(14)"));
  envmon_fsa_cleanup_all_drvif_retry_request(4);
  EXPECT_EQ(rm.fc_cb[0].temp_data.reg_state, 0xf0000c05u);
  EXPECT_EQ(rm.sw_cb[0].temp_data.reg_state, 0xf0000d05u);
  EXPECT_TRUE(fakes::called("envmon_hal_fsa_rm_cleanup_drvif_retry_request(4)"));
  envmon_fsa_cleanup_all_drvif_retry_request(8);
  EXPECT_EQ(rm.sw_cb[0].current_data.reg_state, 0xf0000c05u);
  EXPECT_TRUE(tlg_test_contains("envmon_cmn_main",
                                "envmon_fsa_cleanup_all_drvif_retry_request: Cleanup RM DRVIF: "
                                "driver 8\n\n"));
}

}  // namespace

// Alarm masking and insertion/removal notices: the 12-second timer of a PEM,
// driven through the event loop's attached descriptors.
#include <gtest/gtest.h>
#include <sys/timerfd.h>

#include "envmon_pem_private.h"
#include "pem_fixture.h"
#include "tlg_test.h"

namespace {

uint64_t bit(uint32_t id) { return 1ull << id; }

class Masking : public PemFixture {
 protected:
  // Arms for 12 s, one-shot.
  void expect_twelve_seconds(int fd) {
    itimerspec its{};
    ASSERT_EQ(timerfd_gettime(fd, &its), 0);
    EXPECT_EQ(its.it_interval.tv_sec, 0);
    EXPECT_EQ(its.it_interval.tv_nsec, 0);
    EXPECT_LE(its.it_value.tv_sec, 12);
    EXPECT_TRUE(its.it_value.tv_sec > 0 || its.it_value.tv_nsec > 0);
  }
  void expire(int fd) { ASSERT_EQ(evloop_test_fire_fd(loop, fd, EVLOOP_FD_READABLE), 0); }
};

TEST_F(Masking, ANewPemIsMaskedForTwelveSeconds) {
  make_trays({2});
  notify(0, 1, kDcPem);
  const int fd = pem(0, 1).envmon_pem_init_timer_fd;
  ASSERT_NE(fd, -1);
  EXPECT_EQ(armed_timers(), std::vector<int>{fd});
  expect_twelve_seconds(fd);
  EXPECT_EQ(pem(0, 0).envmon_pem_init_timer_fd, -1);
}

TEST_F(Masking, InputOutOfRangeAgainRearmsTheSameTimer) {
  make_trays({1});
  notify(0, 0, kDcPem);
  const int fd = pem(0, 0).envmon_pem_init_timer_fd;
  apply(0, 0, kDcPem, bit(14));  // input out of range raised
  EXPECT_EQ(pem(0, 0).envmon_pem_init_timer_fd, fd);
  EXPECT_EQ(armed_timers(), std::vector<int>{fd});
  EXPECT_TRUE(tlg_test_contains("envmon_pem_lib_pwrm", "reset timer for PEM(0, 0)"));
  tlg_test_clear("envmon_pem_lib_pwrm");
  apply(0, 0, kDcPem, bit(14));  // still raised: the timer is left alone
  EXPECT_FALSE(tlg_test_contains("envmon_pem_lib_pwrm", "reset timer"));
  apply(0, 0, kDcPem, 0);  // back in range: no new mask
  EXPECT_FALSE(tlg_test_contains("envmon_pem_lib_pwrm", "reset timer"));
  apply(0, 0, kDcPem, bit(16));
  apply(0, 0, kDcPem, 0);  // input came back: re-armed
  EXPECT_TRUE(tlg_test_contains("envmon_pem_lib_pwrm", "reset timer for PEM(0, 0)"));
  EXPECT_EQ(pem(0, 0).envmon_pem_init_timer_fd, fd);
  expect_twelve_seconds(fd);
}

TEST_F(Masking, FirstOutOfRangeOfAnUnmaskedPemStartsATimer) {
  make_trays({1});
  apply(0, 0, kDcPem);
  EXPECT_EQ(pem(0, 0).envmon_pem_init_timer_fd, -1);  // data alone does not mask
  apply(0, 0, kDcPem, bit(16));
  EXPECT_EQ(pem(0, 0).envmon_pem_init_timer_fd, -1);  // no input, not out of range
  apply(0, 0, kDcPem, 0);                             // input back
  EXPECT_NE(pem(0, 0).envmon_pem_init_timer_fd, -1);
}

TEST_F(Masking, LowVoltageWaitsForTheExpiry) {
  make_trays({1});
  envmon_sensor_info& in = add_sensor(0, 0, 29, "Input Voltage A", 40700);
  notify(0, 0, kDcPem);
  take_faults();
  const int fd = pem(0, 0).envmon_pem_init_timer_fd;
  envmon_check_pem_low_volt_alm(0, 0, 40700, &in);
  EXPECT_TRUE(take_faults().empty());
  EXPECT_TRUE(tlg_test_contains("envmon_pem_lib_pwrm",
                                "envmon_check_pem_low_volt_alm: LOW VIN alarm condition for PEM (0, 0) - hold on raising the alarm\n"));
  expire(fd);
  EXPECT_EQ(pem(0, 0).envmon_pem_init_timer_fd, -1);
  EXPECT_TRUE(armed_timers().empty());
  const auto faults = take_faults();
  ASSERT_EQ(faults.size(), 1u);
  EXPECT_EQ(faults[0].tag, 26u);
  EXPECT_EQ(faults[0].level, 4);
  EXPECT_EQ(faults[0].name, "Input Voltage A < 42V  (40700 mV)");
}

TEST_F(Masking, RemovalClosesTheTimerWithoutTheCheck) {
  make_trays({1});
  add_sensor(0, 0, 29, "Input Voltage A", 40000);
  notify(0, 0, kDcPem);
  take_faults();
  EXPECT_EQ(armed_timers().size(), 1u);
  EntityData removed;
  removed.type = kDcPem;
  removed.hw_events = 0x2;
  notify(0, 0, removed);
  EXPECT_EQ(pem(0, 0).envmon_pem_init_timer_fd, -1);
  EXPECT_TRUE(armed_timers().empty());
  const auto faults = take_faults();
  ASSERT_EQ(faults.size(), 1u);
  EXPECT_EQ(faults[0].tag, 24u);  // the removal notice, no low-voltage alarm
}

TEST_F(Masking, ExpiredTimersOfUnknownOrZeroSlotsAreStillClosed) {
  make_trays({2});
  // A PEM in slot 0: its timer's context is 0.
  pem(0, 0).hw_position = 0;
  envmon_alm_mask_on_pem_oir_start_timer(envmon_alm_mask_on_pem_oir_timeout_handler, 12, 0);
  const int zero = pem(0, 0).envmon_pem_init_timer_fd;
  ASSERT_NE(zero, -1);
  // A timer whose PEM no longer holds it.
  envmon_alm_mask_on_pem_oir_start_timer(envmon_alm_mask_on_pem_oir_timeout_handler, 12, slot(0, 1));
  const int stale = pem(0, 1).envmon_pem_init_timer_fd;
  pem(0, 1).envmon_pem_init_timer_fd = -1;
  expire(zero);
  expire(stale);
  EXPECT_EQ(pem(0, 0).envmon_pem_init_timer_fd, -1);
  EXPECT_TRUE(armed_timers().empty());
  EXPECT_EQ(evloop_test_fire_fd(loop, stale, EVLOOP_FD_READABLE), -1);  // no longer attached
}

TEST_F(Masking, InvalidSlotStartsNoTimer) {
  make_trays({1});
  envmon_alm_mask_on_pem_oir_start_timer(envmon_alm_mask_on_pem_oir_timeout_handler, 12, 12345);
  EXPECT_TRUE(armed_timers().empty());
  EXPECT_TRUE(tlg_test_contains("envmon_pem_lib_err", "envmon_alm_mask_on_pem_oir_start_timer: invalid PEM slot 12345\n"));
}

TEST_F(Masking, PowerSupplyEntityFromThePemDescription) {
  use_xml_root();
  make_trays({1});
  envmon_free_tsi(&pem(0, 0).ps_eid);
  pemtest::standin().hal.pid = "TV-PWR-AC";
  pem(0, 0).pem_raw_data.pem_type = 0xab010000;
  std::snprintf(pem(0, 0).pid, sizeof pem(0, 0).pid, "TV-PWR-AC");
  envmon_setup_eid_for_pem_alm(0, 0);
  EXPECT_EQ(pemtest::eid_text(&pem(0, 0).ps_eid), "65534/580 5/7/1");
}

TEST_F(Masking, APemWithoutDescriptionEndsTheServer) {
  use_xml_root();
  make_trays({1});
  envmon_free_tsi(&pem(0, 0).ps_eid);
  pem(0, 0).pem_raw_data.pem_type = 0x123456;
  EXPECT_EXIT(envmon_setup_eid_for_pem_alm(0, 0), ::testing::ExitedWithCode(255), "");
}

}  // namespace

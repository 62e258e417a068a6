// Faults declared before this card's location is known, their completion
// once it arrives, the forwarders (clear, resync) and the resync timer.
#include <string.h>
#include <sys/timerfd.h>

#include "acq_fixture.h"
#include "alarmd_test.h"
#include "envmon_fm_private.h"
#include "tlg_test.h"

namespace {

struct Fault {
  alarmd_fault_data data;
  envmon_fm_fault_req req;
  explicit Fault(pelm_eid* eid) {
    memset(&req, 0, sizeof(req));
    alarmd_fault_data_init(&data);
    data.eid = eid;
    data.state = 1;
    data.alarm_level = 3;
    req.fault_data = &data;
    req.fault_type = 14;
    req.fault_tag = 2;
  }
};

std::vector<std::string> updates() {
  std::vector<std::string> out;
  for (const auto& c : alarmd_test_calls())
    if (c.rfind("update(", 0) == 0) out.push_back(c);
  return out;
}

class FmPending : public AcqFixture {};

TEST_F(FmPending, NodeFaultBeforeTheLocationIsPendingUntilItArrives) {
  register_fm();
  pelm_eid eid = acq_sensor_eid(0xfffe, 29, 2);
  Fault f(&eid);
  ASSERT_EQ(envmon_fm_fault_report(3, &f.req), ENVMON_OK);
  const auto d = alarmd_test_declarations().back();
  EXPECT_EQ(d.pending, 1);
  EXPECT_EQ(d.slot, kOwnSlot);
  // Declared at once with the partly qualified id on this card's slot.
  EXPECT_EQ(d.eid, std::to_string(rack) + "/0 8/29/2");
  EXPECT_EQ(alarmd_test_raised().size(), 1u);
  EXPECT_EQ(alarmd_test_raised()[0].pending, 1);
  EXPECT_EQ(envmon_nm->fm_node_update_pending, 1);

  set_location("0/RP0");
  ASSERT_EQ(envmon_fm_update_location(nullptr), ENVMON_OK);
  const auto calls = alarmd_test_calls();
  EXPECT_NE(std::find(calls.begin(), calls.end(), "location(0/RP0)"), calls.end());
  EXPECT_EQ(updates(), std::vector<std::string>{"update(slot=0 chassis=0 cont=" + std::to_string(rack) +
                                                "/0 5/2/0 loc=0/RP0)"});
  EXPECT_EQ(envmon_nm->fm_node_update_pending, 0);
  EXPECT_EQ(alarmd_test_raised()[0].pending, 0);
  EXPECT_EQ(alarmd_test_raised()[0].location, "0/RP0");
  // Nothing is pending any more.
  ASSERT_EQ(envmon_fm_update_location(nullptr), ENVMON_OK);
  EXPECT_EQ(updates().size(), 1u);
  envmon_free_tsi(&eid);
}

TEST_F(FmPending, RackFaultsBeforeTheLocationWaitOnePerSlot) {
  register_fm();
  pelm_eid fan1 = acq_sensor_eid(41, 8, 1);
  pelm_eid fan2 = acq_sensor_eid(41, 8, 2);
  pelm_eid fc = acq_sensor_eid(5, 25, 1);
  pelm_eid chassis = acq_eid(0xfffe, 0xfffe, {{3, 1, 0}, {8, 25, 3}});
  for (pelm_eid* e : {&fan1, &fan2, &fc, &chassis}) {
    Fault f(e);
    ASSERT_EQ(envmon_fm_fault_report(1, &f.req), ENVMON_OK);
    EXPECT_EQ(f.data.eid, e);
  }
  const auto d = alarmd_test_declarations();
  ASSERT_EQ(d.size(), 4u);
  const std::string r = std::to_string(rack);
  EXPECT_EQ(d[0].eid, r + "/41 8/8/1");
  EXPECT_EQ(d[0].slot, 41u);
  EXPECT_EQ(d[2].slot, 5u);
  // The chassis fault keeps its trimmed id.
  EXPECT_EQ(d[3].eid, r + "/65534 8/25/3");
  for (const auto& x : d) EXPECT_EQ(x.pending, 1);
  EXPECT_EQ(envmon_rm->fm_rack_pending_faults, 1);
  EXPECT_TRUE(tlg_test_contains("envmon_cmn_fault",
                                "envmon_fm_add_pqeid_item: Found existing node with slot=41!\n"));

  set_location("0/RP0");
  ASSERT_EQ(envmon_fm_update_location(nullptr), ENVMON_OK);
  // Newest slot first; a chassis container with one level is chassis level.
  EXPECT_EQ(updates(), (std::vector<std::string>{
                           "update(slot=65534 chassis=1 cont=" + r + "/65534 3/1/0 loc=0)",
                           "update(slot=5 chassis=0 cont=" + r + "/5 5/4/1 loc=0/FC1)",
                           "update(slot=41 chassis=0 cont=" + r + "/41 5/5/0 loc=0/FT0)",
                       }));
  EXPECT_EQ(envmon_rm->fm_rack_pending_faults, 0);
  for (const auto& x : alarmd_test_raised()) EXPECT_EQ(x.pending, 0) << x.eid;
  for (pelm_eid* e : {&fan1, &fan2, &fc, &chassis}) envmon_free_tsi(e);
}

TEST_F(FmPending, RackFaultWithoutContainerCannotWait) {
  register_fm();
  pelm_eid own = acq_sensor_eid(kOtherRpSlot, 25, 1);
  envmon_rm->rp_cont_count = 1;  // no container known for the other route processor
  Fault f(&own);
  EXPECT_EQ(envmon_fm_fault_report(1, &f.req), ENVMON_ERR_INVALID_ARG);
  EXPECT_TRUE(alarmd_test_declarations().empty());
  EXPECT_EQ(envmon_rm->fm_rack_pending_faults, 0);
  envmon_free_tsi(&own);
}

TEST_F(FmPending, UpdateLocationBeforeRegistrationAndOnFailure) {
  EXPECT_EQ(envmon_fm_update_location(nullptr), ENVMON_OK);
  EXPECT_TRUE(tlg_test_contains("envmon_cmn_main", "FM not initialized, deferring table update.\n\n"));
  register_fm();
  set_location("0/RP0");
  alarmd_test_fail_next("location", 0x77);
  EXPECT_EQ(envmon_fm_update_location(nullptr), 0x77u);
}

TEST_F(FmPending, ClearNamesTheObjectInThisRackAndLeavesTheCallersId) {
  EXPECT_EQ(envmon_fm_fault_clear(1, nullptr), ENVMON_ERR_INVALID_ARG);
  set_location("0/RP0");
  register_fm();
  pelm_eid s1 = acq_sensor_eid(41, 8, 1);
  Fault f(&s1);
  ASSERT_EQ(envmon_fm_fault_report(1, &f.req), ENVMON_OK);
  ASSERT_EQ(alarmd_test_raised().size(), 1u);
  pelm_eid fq = acq_eid(0xfffe, 41, {{5, kContFanTray, 0}});
  ASSERT_EQ(envmon_fm_fault_clear(1, &fq), ENVMON_OK);
  EXPECT_EQ(fq.rack, 0xfffeu);
  EXPECT_EQ(alarmd_test_calls().back(), "clear(" + std::to_string(rack) + "/41 5/5/0)");
  EXPECT_TRUE(alarmd_test_raised().empty());
  alarmd_test_fail_next("clear", 9);
  EXPECT_EQ(envmon_fm_fault_clear(1, &fq), 9u);
  envmon_free_tsi(&s1);
  envmon_free_tsi(&fq);
}

TEST_F(FmPending, ResyncTypesAndReadiness) {
  EXPECT_EQ(envmon_fm_fault_report_resync(3, 1), ENVMON_ERR_INVALID_ARG);
  register_fm();
  EXPECT_EQ(envmon_fm_fault_report_resync(3, 3), ENVMON_ERR_INVALID_ARG);
  EXPECT_TRUE(tlg_test_contains("envmon_cmn_err",
                                "envmon_fm_fault_report_resync: Invalid resync_type =3\n"));
  EXPECT_EQ(envmon_fm_fault_report_resync(3, 1), ENVMON_OK);
  EXPECT_EQ(envmon_fm_fault_report_resync(3, 2), ENVMON_OK);
  alarmd_test_fail_next("resync", 5);
  EXPECT_EQ(envmon_fm_fault_report_resync(3, 1), 5u);
}

// The resync started at start-up ends 120 s later; faults not declared again
// by then are cleared by the fault manager.
TEST_F(FmPending, ResyncTimerEndsTheResyncOnce) {
  set_location("0/RP0");
  register_fm();
  pelm_eid stale = acq_sensor_eid(0xfffe, 29, 1);
  Fault old(&stale);
  ASSERT_EQ(envmon_fm_fault_report(3, &old.req), ENVMON_OK);
  ASSERT_EQ(envmon_fm_fault_report_resync(3, 1), ENVMON_OK);
  pelm_eid fresh = acq_sensor_eid(0xfffe, 29, 2);
  Fault again(&fresh);
  ASSERT_EQ(envmon_fm_fault_report(3, &again.req), ENVMON_OK);

  ASSERT_EQ(envmon_fm_start_resync_timer(), 0);
  // Started again: the first timer is replaced, not added to.
  ASSERT_EQ(envmon_fm_start_resync_timer(), 0);
  int fds[4];
  ASSERT_EQ(evloop_test_armed_timerfds(loop, fds, 4), 1);
  itimerspec left{};
  ASSERT_EQ(timerfd_gettime(fds[0], &left), 0);
  EXPECT_LE(left.it_value.tv_sec, 120);
  EXPECT_GT(left.it_value.tv_sec + left.it_value.tv_nsec, 0);
  EXPECT_EQ(left.it_interval.tv_sec, 0);
  EXPECT_EQ(left.it_interval.tv_nsec, 0);

  ASSERT_EQ(evloop_test_fire_fd(loop, fds[0], EVLOOP_FD_READABLE), 0);
  const auto calls = alarmd_test_calls();
  EXPECT_EQ(std::count(calls.begin(), calls.end(), "resync(2)"), 1);
  EXPECT_EQ(evloop_test_armed_timerfds(loop, fds, 4), 0);
  const auto raised = alarmd_test_raised();
  ASSERT_EQ(raised.size(), 1u);
  EXPECT_EQ(raised[0].eid, std::to_string(rack) + "/0 5/2/0 8/29/2");
  envmon_free_tsi(&stale);
  envmon_free_tsi(&fresh);
}

TEST_F(FmPending, HandlersForwardToThePlatform) {
  EXPECT_EQ(envmon_fm_rm_error_handler(nullptr, 4), 7);
  EXPECT_EQ(envmon_fm_nm_error_handler(nullptr, 4), 3);
  int data = 0;
  EXPECT_EQ(envmon_fm_rm_action_handler(nullptr, nullptr, 1, &data, sizeof(data), nullptr), 0);
  EXPECT_TRUE(acq_called("envmon_hal_fm_rm_action_handler(1, 4)"));
  acq_clear_calls();
  EXPECT_EQ(envmon_fm_nm_action_handler(nullptr, nullptr, 1, nullptr, 0, nullptr),
            static_cast<int>(ENVMON_ERR_INVALID_ARG));
  EXPECT_TRUE(acq_calls("envmon_hal_fm_nm_action_handler").empty());
}

}  // namespace

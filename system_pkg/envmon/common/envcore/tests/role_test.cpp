// Role changes and the rack scope that follows them: what is started on the
// way to active and what is torn down, in order, on the way out.
#include "envmon_role.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "core_traces.h"
#include "envcore_fakes.h"
#include "records_fixture.h"
#include "tlg_test.h"

// The rack scope's own start, the remote-card proxy and the service server
// are observed here, not run.
extern "C" {
envmon_err_t envmon_active_init(void) {
  fakes::rec(__func__, "%s", "");
  return 0;
}
envmon_err_t envmon_remotecard_init(uint32_t slot, uint32_t cls, uint32_t pd) {
  fakes::rec(__func__, "%u,%u,0x%x", slot, cls, pd);
  return 0;
}
envmon_err_t envmon_remotecard_uninit(uint32_t slot, uint32_t cls, uint32_t pd) {
  fakes::rec(__func__, "%u,%u,0x%x", slot, cls, pd);
  return 0;
}
envmon_err_t envmon_server_uninit(uint32_t scope) {
  fakes::rec(__func__, "%u", scope);
  return 0;
}
}

namespace {

using strings = std::vector<std::string>;

constexpr uint32_t kRpCardType = 0x1f0802;
constexpr uint32_t kLcCardType = 0x520d;

const strings kTeardown = {
    "envmon_hal_clear_rack_scope_alarms()",
    "envmon_inv_invreg_rm_client_disconnect()",
    "envmon_capi_inv_disconnect()",
    "envmon_drvif_rm_poll_all_sensors(17,4)",
    "envmon_drvif_unregister_eid(1,7,2)",
    "envmon_drvif_unregister_eid(14,7,2)",
    "envmon_hal_fan_mgmt_uninit()",
    "envmon_drvif_unregister_eid(2,6,2)",
    "envmon_drvif_unregister_eid(2,9,2)",
    "envmon_pwr_mgmt_handle_role_ch()",
    "envmon_server_uninit(1)",
};

class Role : public ::testing::Test {
 protected:
  void SetUp() override {
    fakes::reset();
    fakes::open_core_traces();
  }
  void make() {
    recs_.emplace();
    recs_->nm().card_type = kRpCardType;
    recs_->nm().misc_state = ENVMON_NM_CARD_INFO_DONE | ENVMON_NM_CHASSIS_INFO_DONE;
  }
  strings apply(uint32_t role) {
    fakes::clear_calls();
    envmon_role_notification(role, "envmon");
    return fakes::calls();
  }
  std::optional<fakes::records> recs_;
};

TEST_F(Role, NoneActiveStandbyActive) {
  make();
  EXPECT_EQ(apply(3), strings{});
  EXPECT_EQ(recs_->rm().svc_role, 3u);
  EXPECT_EQ(apply(1), (strings{"envmon_active_init()", "envmon_hal_handle_role_for_pec_oir(1)"}));
  EXPECT_EQ(recs_->rm().prev_role, 3u);
  EXPECT_EQ(apply(2), kTeardown);
  EXPECT_EQ(recs_->rm().svc_role, 2u);
  EXPECT_EQ(recs_->rm().prev_role, 1u);
  EXPECT_EQ(apply(1), strings{"envmon_active_init()"}) << "no pec hook coming from standby";
  EXPECT_TRUE(tlg_test_contains("envmon_cmn_main",
                                "envmon_role_notification(): role-old:new=2:1\n"));
}

TEST_F(Role, Transitions) {
  struct Case {
    const char* name;
    std::vector<uint32_t> before;
    uint32_t role;
    strings calls;
    uint32_t svc_role;
    uint32_t prev_role;
  };
  const Case cases[] = {
      {"first role active", {}, 1, {"envmon_active_init()"}, 1, 0},
      {"active twice: only the previous role moves", {1}, 1, {}, 1, 1},
      {"active to none tears down", {1}, 3, kTeardown, 3, 1},
      {"standby without a prior active", {3}, 2, {}, 2, 3},
      {"none after standby", {2}, 3, {}, 3, 2},
      {"a number that is no role is not stored", {1}, 5, {}, 1, 1},
      {"standby after an ignored number still tears down", {1, 5}, 2, kTeardown, 2, 1},
      {"role 0 is not stored", {2}, 0, {}, 2, 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    make();
    for (uint32_t r : c.before) apply(r);
    EXPECT_EQ(apply(c.role), c.calls);
    EXPECT_EQ(recs_->rm().svc_role, c.svc_role);
    EXPECT_EQ(recs_->rm().prev_role, c.prev_role);
    recs_.reset();
  }
}

TEST_F(Role, ActiveBeforeTheChassisInformation) {
  make();
  recs_->nm().misc_state = ENVMON_NM_CARD_INFO_DONE;
  EXPECT_EQ(apply(1), strings{}) << "the chassis callback starts the rack scope later";
  EXPECT_EQ(recs_->rm().svc_role, 1u);
  recs_->nm().misc_state |= ENVMON_NM_CHASSIS_INFO_DONE;
  recs_->nm().card_type = kLcCardType;
  apply(2);
  EXPECT_EQ(apply(1), strings{}) << "a line card does not host the rack scope";
}

TEST_F(Role, RemotelyManagedCardsFollowTheRole) {
  fakes::hal().max_fc = 2;
  fakes::hal().max_lc = 2;
  fakes::hal().max_swc = 1;
  fakes::hal().fc_remote = 1;
  fakes::hal().lc_remote = 1;
  fakes::hal().sw_remote = 1;
  make();
  envmon_rm_t& rm = recs_->rm();
  auto card = [](envmon_remote_card_cb& c, uint32_t present, uint32_t cm_type, uint32_t slot) {
    c.misc_state = present;
    c.cm_card_type = cm_type;
    c.hw_position = slot;
  };
  card(rm.fc_cb[0], 0, 0x11, 4);
  card(rm.fc_cb[1], 1, 0x12, 5);
  card(rm.sw_cb[0], 1, 0x1f0806, 26);
  card(rm.lc_cb[0], 1, 0x21, 10);
  card(rm.lc_cb[1], 0, 0x22, 11);
  // Only present cards start ...
  EXPECT_EQ(apply(1), (strings{"envmon_active_init()", "envmon_remotecard_init(5,3,0x12)",
                               "envmon_remotecard_init(26,9,0x1f0806)",
                               "envmon_remotecard_init(10,0,0x21)"}));
  // ... every slot is released, between power management and the server.
  strings down = apply(2);
  strings expected = kTeardown;
  expected.insert(expected.end() - 1,
                  {"envmon_remotecard_uninit(4,3,0x11)", "envmon_remotecard_uninit(5,3,0x12)",
                   "envmon_remotecard_uninit(26,9,0x1f0806)", "envmon_remotecard_uninit(10,0,0x21)",
                   "envmon_remotecard_uninit(11,0,0x22)"});
  EXPECT_EQ(down, expected);
  // A platform that wants every fabric slot started regardless of presence.
  fakes::hal().platform_skip = true;
  strings up = apply(1);
  EXPECT_TRUE(std::find(up.begin(), up.end(), "envmon_remotecard_init(4,3,0x11)") != up.end());
}

}  // namespace

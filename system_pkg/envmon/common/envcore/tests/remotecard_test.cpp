// Remote-card proxy: set-up and tear-down of the rack-scope monitoring of a
// fabric, line or switch card from its inventory description.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "core_traces.h"
#include "envcore_fakes.h"
#include "envmon_role.h"
#include "records_fixture.h"
#include "tlg_test.h"

namespace {
std::string g_description;        // what the file table answers
std::vector<std::string> g_asked;  // "pi/pd" of each lookup
}  // namespace

extern "C" {
// The inventory XML file table of the platform: every card is the fixture.
struct platform_inv_xml_req {
  int32_t pi_hw_type;
  int32_t pd_hw_type;
  int32_t hw_ver_maj;
  int32_t hw_ver_min;
  char pid[37];
};
const char* platform_get_inv_xml_file_name_v2(const platform_inv_xml_req* req) {
  g_asked.push_back(std::to_string(req->pi_hw_type) + "/" + std::to_string(req->pd_hw_type));
  if (g_description.empty()) return nullptr;
  static std::string path;
  path = req->pi_hw_type == 13 ? std::string(ENVCORE_TEST_DATA) + "/remote_switch_card.xml"
                               : g_description;
  return path.c_str();
}
envmon_err_t envmon_ceb_fsa_sched_event(uint32_t event) {
  fakes::rec(__func__, "%u", event);
  return 0;
}
}

namespace {

using strings = std::vector<std::string>;

constexpr uint32_t kFcPd = 0x4242;

class RemoteCard : public ::testing::Test {
 protected:
  void SetUp() override {
    fakes::reset();
    fakes::open_core_traces();
    g_description = std::string(ENVCORE_TEST_DATA) + "/remote_fabric_card.xml";
    g_asked.clear();
  }
  void make_fc() {
    fakes::hal().max_fc = 2;
    fakes::hal().fc_remote = 1;
    recs_.emplace();
    recs_->rm().fc_cb[0].hw_position = 4;
    recs_->rm().fc_cb[1].hw_position = 5;
  }
  std::optional<fakes::records> recs_;
};

TEST_F(RemoteCard, ClassNotManagedRemotely) {
  recs_.emplace();
  for (uint32_t cls : {ENVMON_RC_CLASS_LC, ENVMON_RC_CLASS_FC, ENVMON_RC_CLASS_SW}) {
    SCOPED_TRACE(cls);
    tlg_test_clear("envmon_cmn_err");
    EXPECT_EQ(envmon_remotecard_init(5, cls, kFcPd), ENVMON_ERR_INVALID_ARG);
    EXPECT_EQ(envmon_remotecard_uninit(5, cls, kFcPd), ENVMON_ERR_INVALID_ARG);
    EXPECT_TRUE(tlg_test_contains("envmon_cmn_err", "not remotely managed\n"));
  }
  EXPECT_TRUE(g_asked.empty());
}

TEST_F(RemoteCard, FabricCardUpAndDown) {
  make_fc();
  envmon_remote_card_cb& fc = recs_->rm().fc_cb[1];
  ASSERT_EQ(envmon_remotecard_init(5, ENVMON_RC_CLASS_FC, kFcPd), 0u);
  EXPECT_EQ(g_asked, strings{"6/16962"});
  EXPECT_EQ(fc.ceid.rack, 0xfffeu);
  EXPECT_EQ(fc.ceid.slot, 5u);
  EXPECT_EQ(fc.card_type, kFcPd);
  EXPECT_EQ(fc.card_state, 0x100001);
  ASSERT_EQ(fc.temp_data.count, 2);
  ASSERT_EQ(fc.voltage_data.count, 1);
  EXPECT_EQ(fc.current_data.count, 0);
  EXPECT_EQ(fc.card_xml, nullptr) << "the description is closed again";
  EXPECT_EQ(fc.temp_data.reg_state, 0xf0000101u) << "registration and polling requested";
  EXPECT_EQ(fc.voltage_data.reg_state, 0xf0000101u);
  EXPECT_EQ(fakes::calls(),
            (strings{"envmon_inv_invreg_register_sensors(1,FC Inlet,2)",
                     "envmon_inv_invreg_register_sensors(1,FC 1V0,1)",
                     "envmon_drvif_poll_request(FC Inlet,2,3,17)",
                     "envmon_drvif_poll_request(FC 1V0,1,3,17)",
                     "envmon_ceb_fsa_sched_event(9)",
                     "envmon_obfl_write_env_temp_thresholds(2,5,1,0)",
                     "envmon_obfl_write_env_volt_thresholds(1,5,1,0)",
                     "envmon_obfl_write_env_curr_thresholds(0,5,1,0)"}));
  // Again with the same type: nothing read, nothing sent.
  fakes::clear_calls();
  g_asked.clear();
  EXPECT_EQ(envmon_remotecard_init(5, ENVMON_RC_CLASS_FC, kFcPd), 0u);
  EXPECT_TRUE(g_asked.empty());
  EXPECT_TRUE(fakes::calls().empty());
  EXPECT_TRUE(tlg_test_contains("envmon_cmn_main", "initialized already"));
  // Down: the record is emptied (ASan checks that its arrays went).
  EXPECT_EQ(envmon_remotecard_uninit(5, ENVMON_RC_CLASS_FC, kFcPd), 0u);
  EXPECT_EQ(fc.card_state, 0);
  EXPECT_EQ(fc.card_type, 0u);
  EXPECT_EQ(fc.temp_data.sensors, nullptr);
  EXPECT_EQ(fc.temp_data.count, 0);
  EXPECT_EQ(fc.temp_data.reg_state, 0u);
  EXPECT_EQ(fc.ceid.tsi, nullptr);
  // Down once more: not initialised, nothing to free.
  EXPECT_EQ(envmon_remotecard_uninit(5, ENVMON_RC_CLASS_FC, kFcPd), 0u);
  EXPECT_TRUE(tlg_test_contains("envmon_cmn_info", "card(5) is not initialized yet"));
}

TEST_F(RemoteCard, FailedRegistrationIsAskedAgain) {
  make_fc();
  envmon_remote_card_cb& fc = recs_->rm().fc_cb[0];
  fakes::set_result("envmon_inv_invreg_register_sensors", static_cast<int64_t>(ENVMON_ERR_NOT_CONNECTED));
  EXPECT_EQ(envmon_remotecard_init(4, ENVMON_RC_CLASS_FC, kFcPd), ENVMON_ERR_NOT_CONNECTED);
  EXPECT_EQ(fc.card_state, 0x100000) << "initialised, not registered";
  EXPECT_EQ(fc.card_type, kFcPd);
  EXPECT_TRUE(fakes::called("envmon_obfl_write_env_temp_thresholds(2,4,1,0)"));
  EXPECT_FALSE(fakes::called("envmon_ceb_fsa_sched_event(9)"));
  EXPECT_TRUE(tlg_test_contains("envmon_cmn_err",
                                "envmon_remotecard_init: Failed to register remote card"));
  // Inventory is back: the next start of the card registers it.
  fakes::set_result("envmon_inv_invreg_register_sensors", 0);
  fakes::clear_calls();
  EXPECT_EQ(envmon_remotecard_init(4, ENVMON_RC_CLASS_FC, kFcPd), 0u);
  EXPECT_EQ(fc.card_state, 0x100001);
  EXPECT_TRUE(fakes::called("envmon_ceb_fsa_sched_event(9)"));
  envmon_remotecard_uninit(4, ENVMON_RC_CLASS_FC, kFcPd);
}

TEST_F(RemoteCard, RefusedArguments) {
  make_fc();
  EXPECT_EQ(envmon_remotecard_init(9, ENVMON_RC_CLASS_FC, kFcPd), ENVMON_ERR_INVALID_ARG);
  EXPECT_TRUE(tlg_test_contains("envmon_cmn_err", "envmon_remotecard_init Invalid slot id=9\n"));
  g_description.clear();
  EXPECT_EQ(envmon_remotecard_init(5, ENVMON_RC_CLASS_FC, kFcPd), ENVMON_ERR_NOT_CONNECTED);
  EXPECT_TRUE(tlg_test_contains("envmon_cmn_err",
                                "failed to open xml file, pi_hw_type=0x6, pd_hw_type=0x4242\n"));
  EXPECT_EQ(recs_->rm().fc_cb[1].card_state, 0);
}

TEST_F(RemoteCard, SwitchCardTypeFollowsTheChassis) {
  fakes::hal().max_swc = 1;
  fakes::hal().sw_remote = 1;
  recs_.emplace();
  recs_->rm().sw_cb[0].hw_position = 26;
  recs_->rm().chassis_type = 0x9099e;
  EXPECT_EQ(envmon_remotecard_init(26, ENVMON_RC_CLASS_SW, 0x1234), 0u);
  EXPECT_EQ(g_asked, strings{"13/2033672"}) << "looked up as type 0x1f0808 whatever was passed";
  EXPECT_EQ(recs_->rm().sw_cb[0].card_type, 0x1f0808u);
  envmon_remotecard_uninit(26, ENVMON_RC_CLASS_SW, 0x1234);
}

TEST_F(RemoteCard, DescriptionWithoutTheCardEndsTheProcess) {
  make_fc();
  g_description = std::string(ENVCORE_TEST_DATA) + "/remote_switch_card.xml";
  EXPECT_EXIT(envmon_remotecard_init(5, ENVMON_RC_CLASS_FC, kFcPd),
              ::testing::ExitedWithCode(255), "");
}

}  // namespace

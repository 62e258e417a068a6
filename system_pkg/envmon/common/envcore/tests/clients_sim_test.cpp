// The core's clients of the process manager, the platform-local service, the
// card manager and the configuration database against the simulator's models
// in this process, over the real transport: roles with their
// acknowledgements, node identity, card objects and configuration changes.
// Each test runs in its own process (one client handle per process).
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <optional>
#include <string>
#include <vector>

#include "core_traces.h"
#include "envcore_fakes.h"
#include "envmon_capi.h"
#include "envsim_sim.h"
#include "evloop.h"
#include "evloop_test.h"
#include "nodeid.h"
#include "records_fixture.h"
#include "tlg_test.h"

namespace {

using strings = std::vector<std::string>;

constexpr uint32_t kRpCardType = 0x5216;  // the default chassis's route processors

class ClientsOnSim : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/envcore_sim_XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    root_ = tmpl;
    setenv("ENVMON_ROOT", root_.c_str(), 1);
    setenv("ENVMON_DS_ENDPOINT", "127.0.0.1:1", 1);  // services are found in this process
    unsetenv("ENVMON_CARD_ADDR");                      // the first route processor, slot 0
    fakes::reset();
    fakes::open_core_traces();
    loop_ = evloop_create("clients_sim_test");
    envmon_evloop = loop_;
    envsim::ChassisDesc desc;
    std::vector<std::string> errors;
    ASSERT_TRUE(envsim::chassis_load(std::string(ENVSIM_DATA_DIR) + "/tavrin_default.json", &desc,
                                     &errors));
    envsim::Options o;
    o.instance = simsvc::instance_from_root(root_.c_str());
    std::string error;
    sim_ = envsim::Simulator::create(loop_, std::move(desc), o, &error);
    ASSERT_NE(sim_, nullptr) << error;
    recs_.emplace();
    recs_->nm().card_type = kRpCardType;
    recs_->nm().misc_state = ENVMON_NM_CARD_INFO_DONE | ENVMON_NM_CHASSIS_INFO_DONE;
  }

  void TearDown() override {
    sim_.reset();
    evloop_run_until_idle(loop_);
    recs_.reset();
    evloop_destroy(loop_);
    envmon_evloop = nullptr;
    std::string cmd = "rm -rf '" + root_ + "'";
    EXPECT_EQ(system(cmd.c_str()), 0);
  }

  envsim::Result command(const std::vector<std::string>& args) {
    bool done = false;
    envsim::Result result;
    sim_->execute(args, 1, [&](envsim::Result r) {
      result = std::move(r);
      done = true;
    });
    EXPECT_TRUE(evloop_test_wait_for(loop_, [&] { return done; })) << "command " << args[0];
    return result;
  }

  // Until `show model` holds `text`.
  bool wait_show(const char* model, const std::string& text) {
    return evloop_test_wait_for(loop_, [&] {
      return command({"show", model}).text.find(text) != std::string::npos;
    });
  }

  std::string root_;
  evloop_t* loop_ = nullptr;
  std::unique_ptr<envsim::Simulator> sim_;
  std::optional<fakes::records> recs_;
};

TEST_F(ClientsOnSim, RolesFromTheProcessManager) {
  ASSERT_EQ(envmon_capi_pm_init(loop_), 0u);
  ASSERT_TRUE(evloop_test_wait_for(loop_, [&] { return recs_->rm().svc_role == 1; }))
      << "the active role of slot 0 did not arrive";
  EXPECT_EQ(recs_->nm().pm_capi_connected, 1);
  EXPECT_TRUE(wait_show("pm", "accepted=1"));
  EXPECT_TRUE(tlg_test_contains("envmon_cmn_main",
                                "envmon_pm_service_control_cb(): Received role 1 for service name"));

  // Standby: accepted, applied (the rack scope goes), HA ready reported.
  fakes::clear_calls();
  command({"role", "0", "standby"});
  ASSERT_TRUE(evloop_test_wait_for(loop_, [&] { return recs_->rm().svc_role == 2; }));
  EXPECT_TRUE(wait_show("pm", "ha_ready=1"));
  EXPECT_TRUE(fakes::called("envmon_pwr_mgmt_handle_role_ch()"));
  EXPECT_EQ(recs_->rm().prev_role, 1u);

  // Process updates: answered with status 1; a shutdown dumps the traces first.
  command({"pm", "update", "0", "CARD_OFFLINE"});
  EXPECT_TRUE(wait_show("pm", "update=CARD_OFFLINE update_status=1"));
  EXPECT_FALSE(fakes::called("envmon_hal_dump_tlgs()"));
  command({"pm", "update", "0", "CARD_SHUTDOWN"});
  EXPECT_TRUE(wait_show("pm", "update=CARD_SHUTDOWN update_status=1"));
  EXPECT_TRUE(fakes::called("envmon_hal_dump_tlgs()"));
  // Liveness.
  command({"pm", "liveness"});
  EXPECT_TRUE(wait_show("pm", "liveness=0"));
}

TEST_F(ClientsOnSim, NodeIdentityAndAddress) {
  recs_->rm().svc_role = 2;  // standby: no configuration start, no rack server
  ASSERT_EQ(envmon_capi_platform_handle_init(loop_), 0u);
  ASSERT_TRUE(evloop_test_wait_for(loop_, [&] {
    return recs_->rm().rack_nodeid_valid == 1 && recs_->nm().ip_address == 0x7f010001u;
  })) << "node id and address of slot 0 did not arrive";
  EXPECT_EQ(recs_->rm().rack, 0u);
  ASSERT_NE(recs_->nm().my_location, nullptr);
  EXPECT_STREQ(recs_->nm().my_location, "0/RP0");
  // Every inventory slot got its node id; slot 0 is RP0, slot 10 line card 0.
  ASSERT_NE(recs_->rm().fru_objs_lst[10].nodeid, nullptr);
  char loc[32] = {};
  nodeid_to_str_external(static_cast<nodeid_td>(recs_->rm().fru_objs_lst[10].nodeid), loc,
                         sizeof(loc));
  EXPECT_STREQ(loc, "0/0");
  EXPECT_TRUE(fakes::called("envmon_fm_update_location(0/RP0)"));
  EXPECT_TRUE(fakes::called("envmon_hal_update_rack_num(0x0)"));
  EXPECT_TRUE(tlg_test_contains("envmon_cmn_main",
                                "envmon_mgbl_init not called since chassis info not rcvd\n"));
  EXPECT_TRUE(wait_show("platform_local", "envmon"));
}

TEST_F(ClientsOnSim, CardObjectsOfTheChassis) {
  recs_->rm().svc_role = 1;
  recs_->pwr_mgmt();
  recs_->rm().rp_count = 2;
  ASSERT_EQ(envmon_capi_cm_init(loop_), 0u);
  EXPECT_EQ(envmon_capi_cm_init(loop_), 0u);
  EXPECT_TRUE(tlg_test_contains("envmon_cmn_err", "CM init is already done\n"));
  ASSERT_TRUE(evloop_test_wait_for(loop_, [&] { return recs_->rm().cm_capi_connected == 1; }));
  EXPECT_EQ(recs_->rm().cm_obj_reged, 0) << "nobody asked for power data yet";
  // A client registers for power data: the card objects are asked for and
  // every card of the chassis is reported.
  ASSERT_EQ(envmon_cm_card_event_register_req(), 0);
  EXPECT_EQ(recs_->rm().cm_obj_reged, 1);
  ASSERT_TRUE(evloop_test_wait_for(loop_, [] {
    return fakes::called("envmon_pwr_mgmt_card_state_upd(13,0,0x6978,,1,0,3)");
  })) << "card objects did not come";
  EXPECT_EQ(recs_->rm().rp_info_rcvd[0], 1);
  // A line card goes away.
  fakes::clear_calls();
  command({"card", "remove", "12"});
  ASSERT_TRUE(evloop_test_wait_for(loop_, [] {
    return fakes::called("envmon_pwr_mgmt_card_state_upd(12,0,0x6978,,1,0,0)");
  }));
  EXPECT_TRUE(fakes::called("envmon_pwr_mgmt_set_card_state_upd_done()"));
}

TEST_F(ClientsOnSim, ConfigurationFollowsChanges) {
  recs_->rm().rack = 0;
  ASSERT_EQ(envmon_mgbl_init(loop_), 0u);
  EXPECT_EQ(envmon_mgbl_init(loop_), 0u);
  EXPECT_TRUE(tlg_test_contains("envmon_cmn_err", "envmon_mgbl_init: mgbl init is already done\n"));
  // The default chassis configures 500 m for all racks.
  ASSERT_TRUE(evloop_test_wait_for(loop_, [&] { return recs_->rm().env_cfg.altitude == 500; }))
      << "the configured altitude did not arrive";
  ASSERT_TRUE(evloop_test_wait_for(loop_, [&] { return fakes::called("envmon_set_pwr_mgmt_cfg_rcvd()"); }));
  command({"config", "set", "/environment/config/router/altitude/all/num_meters", "1900"});
  ASSERT_TRUE(evloop_test_wait_for(loop_, [&] { return recs_->rm().env_cfg.altitude == 1900; }));
  // A list entry for this rack wins over all racks; another rack's does not.
  command({"config", "set", "/environment/config/router/altitude/rack_loc/location[0]/rackId", "3"});
  command({"config", "set", "/environment/config/router/altitude/rack_loc/location[0]/num_meters", "300"});
  command({"config", "set", "/environment/config/router/altitude/rack_loc/location[1]/rackId", "0"});
  command({"config", "set", "/environment/config/router/altitude/rack_loc/location[1]/num_meters", "800"});
  ASSERT_TRUE(evloop_test_wait_for(loop_, [&] { return recs_->rm().env_cfg.altitude == 800; }));
  command({"config", "delete", "/environment/config/router/altitude"});
  ASSERT_TRUE(evloop_test_wait_for(loop_, [&] { return recs_->rm().env_cfg.altitude == 0; }));
  EXPECT_EQ(envmon_mgbl_uninit(), 0u);
  EXPECT_EQ(recs_->rm().mgbl_init_done, 0);
  EXPECT_EQ(recs_->nm().provd_hdl, nullptr);
}

}  // namespace

// The clients against the inventory model served on the simulator's service
// mechanism: over the loopback transport, as between the server and the
// simulator daemon.
#include "evloop_test.h"
#include "invreg_fixture.h"
#include "invreg_wire.h"
#include "simsvc.h"

using namespace invtest;
namespace w = invreg_wire;

namespace {

class InvregTransport : public InvregTest {
 protected:
  void SetUp() override {
    in_process_ = false;
    InvregTest::SetUp();
    std::string error;
    server_ = simsvc::Server::create(loop(), 0x7f000001, simsvc::own_instance(), &error);
    ASSERT_NE(server_, nullptr) << error;
    host_ = std::make_unique<invdb::ServiceHost>(*server_);
    model_ = &host_->model();
    server_->publish();
  }
  void TearDown() override {
    // The clients go first, then what serves them.
    if (envmon_inv_invreg_nm_hdl != nullptr) invreg_handle_destroy(envmon_inv_invreg_nm_hdl);
    if (envmon_inv_invreg_rm_hdl != nullptr) invreg_handle_destroy(envmon_inv_invreg_rm_hdl);
    envmon_inv_invreg_nm_hdl = envmon_inv_invreg_rm_hdl = nullptr;
    envmon_capi_inv_disconnect();
    evloop_run_until_idle(loop());
    host_.reset();
    server_.reset();
    InvregTest::TearDown();
  }
  template <typename F>
  void wait_for(F done, const char* what) {
    ASSERT_TRUE(evloop_test_wait_for(loop(), done)) << "timed out waiting for " << what;
  }

  std::unique_ptr<simsvc::Server> server_;
  std::unique_ptr<invdb::ServiceHost> host_;
};

TEST_F(InvregTransport, NodeSensorsAreRegisteredAndTheirValuesKeptOverTheTransport) {
  fill_list(nm().temp_data, ENVMON_SLOT_SELF, ENVMON_SENSOR_TEMPERATURE, 2, "Inlet");
  ASSERT_EQ(envmon_inv_invreg_nm_client_init(loop()), ENVMON_OK);
  wait_for([this] { return nm().inv_invreg_connected == 1; }, "the node client's connection");
  envmon_sensor_info* s = nm().temp_data.sensors;
  wait_for([s] { return (s[1].state & ENVMON_ST_REG_DONE) != 0; }, "the registration's answer");
  ASSERT_NE(in_model(s[0]), nullptr);
  EXPECT_TRUE(in_model(s[0])->registered);
  EXPECT_EQ(in_model(s[0])->scope, ENVMON_SCOPE_NODE) << "the scope said on the connection";
  s[0].value = 44;
  envmon_inv_invreg_temp_sensor_update(&s[0].eid, &s[0], ENVMON_SCOPE_NODE, 0);
  wait_for([&] { return in_model(s[0])->value.has_value(); }, "the value");
  EXPECT_EQ(in_model(s[0])->value->value, 44);
}

TEST_F(InvregTransport, TheInventoryServiceAnswersWhatTheRackClientPushed) {
  ASSERT_EQ(envmon_inv_invreg_rm_client_init(loop()), ENVMON_OK);
  wait_for([this] { return rm().inv_invreg_connected == 1; }, "the rack client's connection");
  pelm_eid lc = entity_eid(3, 5, 1, 3);
  envmon_inv_invreg_fru_power_alloc_update(&lc, 450, 2, 0, 0);
  wait_for([&] { return model().find(lc) != nullptr && model().find(lc)->fru_power.has_value(); },
           "the allocation");
  nm().misc_state |= ENVMON_NM_CHASSIS_INFO_DONE;
  ASSERT_EQ(envmon_capi_inv_init(loop()), ENVMON_OK);
  wait_for([] { return invtest::count_of("envmon_capi_cm_init") == 1; },
           "the FRU power information");
  EXPECT_EQ(invtest::calls_of("envmon_pwr_mgmt_card_powered_on_update_from_inv"),
            std::vector<std::string>{"envmon_pwr_mgmt_card_powered_on_update_from_inv(1,3,2,450)"});
  EXPECT_EQ(invtest::count_of("envmon_hal_fan_mgmt_init"), 1u) << "both inventory clients are up";
  envmon_free_tsi(&lc);
}

}  // namespace

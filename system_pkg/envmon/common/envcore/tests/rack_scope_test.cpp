// The rack scope on the real service transport and directory service: role
// changes none -> active -> standby -> active publish, answer from and
// withdraw the rack-scope server; a client asks the altitude from it.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "core_traces.h"
#include "dsd_server.h"
#include "envclient.h"
#include "envcore_fakes.h"
#include "envmon_role.h"
#include "envmon_server.h"
#include "evloop.h"
#include "evloop_test.h"
#include "records_fixture.h"
#include "tlg_test.h"

namespace {

using strings = std::vector<std::string>;

constexpr uint32_t kRpCardType = 0x1f0802;
constexpr uint32_t kLoopback = 0x7f000001;

// What the test's service client saw.
struct client_view {
  envmon_handle* h = nullptr;
  int connected = 0;       // handshakes completed
  int disconnected = 0;    // connections that ended
  std::vector<std::string> answers;  // altitude answers: "config=N", "sensor=N" or "none"
};

int ds_factory(void* ctx, msgpipe_endpoint* ep) {
  *ep = *static_cast<msgpipe_endpoint*>(ctx);
  return 0;
}

class RackScope : public ::testing::Test {
 protected:
  void SetUp() override {
    fakes::reset();
    fakes::open_core_traces();
    loop_ = evloop_create("rack_scope_test");
    envmon_evloop = loop_;
    ds_.emplace(loop_, [](const std::string&) {});
    msgpipe_endpoint any{};
    any.node_address = kLoopback;
    any.present = MSGPIPE_ENDPOINT_HAS_ADDRESS | MSGPIPE_ENDPOINT_HAS_PORT;
    ASSERT_EQ(ds_->start(any), 0);
    ds_ep_ = ds_->local_endpoint();
    ds_text_ = "127.0.0.1:" + std::to_string(ds_ep_.port);
    setenv("ENVMON_DS_ENDPOINT", ds_text_.c_str(), 1);
    recs_.emplace();
    recs_->nm().card_type = kRpCardType;
    recs_->nm().misc_state = ENVMON_NM_CARD_INFO_DONE | ENVMON_NM_CHASSIS_INFO_DONE;
    recs_->nm().ip_address = kLoopback;
  }

  void TearDown() override {
    if (view_.h != nullptr) envmon_handle_destroy(view_.h);
    envmon_server_uninit(ENVMON_SCOPE_RACK);
    evloop_test_wait_for(loop_, [] { return false; }, 50);  // delayed frees
    recs_.reset();
    ds_.reset();
    evloop_destroy(loop_);
    envmon_evloop = nullptr;
    unsetenv("ENVMON_DS_ENDPOINT");
  }

  void role(uint32_t r) {
    fakes::clear_calls();
    envmon_role_notification(r, "envmon");
  }

  bool wait_entries(size_t n) {
    return evloop_test_wait_for(loop_, [&] { return ds_->registry().entry_count() == n; }, 10000);
  }

  void start_client() {
    ASSERT_EQ(envmon_handle_create(&view_.h, loop_, &view_), 0);
    envmon_set_ds_endpoint_factory(view_.h, ds_factory, &ds_ep_);
    envmon_set_connect_callback(view_.h, [](envmon_handle* h, int32_t status, void*) {
      if (status == 0) static_cast<client_view*>(envmon_get_user_context(h))->connected++;
    });
    envmon_set_disconnect_callback(view_.h, [](envmon_handle* h, int32_t, void*) {
      static_cast<client_view*>(envmon_get_user_context(h))->disconnected++;
    });
    envmon_set_resp_altitude_value_callback(
        view_.h, [](envmon_handle* h, void* payload, uint8_t, int32_t status, void*) {
          auto* v = static_cast<client_view*>(envmon_get_user_context(h));
          auto* a = static_cast<resp_altitude_value*>(payload);
          if (status != 0 || a == nullptr) {
            v->answers.push_back("status " + std::to_string(status));
          } else if ((a->present & RESP_ALTITUDE_VALUE_HAS_ALTITUDE_CONFIG) != 0) {
            v->answers.push_back("config=" + std::to_string(a->altitude_config));
          } else if ((a->present & RESP_ALTITUDE_VALUE_HAS_ALTITUDE_SENSOR) != 0) {
            v->answers.push_back("sensor=" + std::to_string(a->altitude_sensor));
          } else {
            v->answers.push_back("none");
          }
        });
    ASSERT_EQ(envmon_connect(view_.h, nullptr), 0);
  }

  void ask_altitude(size_t answers_before) {
    request_altitude_value req{};
    ASSERT_EQ(envmon_request_altitude_value(view_.h, &req, nullptr), 0);
    ASSERT_TRUE(evloop_test_wait_for(loop_, [&] { return view_.answers.size() > answers_before; }))
        << "no altitude answer from the rack-scope server";
  }

  evloop_t* loop_ = nullptr;
  std::optional<DsServer> ds_;
  msgpipe_endpoint ds_ep_{};
  std::string ds_text_;
  std::optional<fakes::records> recs_;
  client_view view_;
};

TEST_F(RackScope, NoneActiveStandbyActive) {
  role(3);
  EXPECT_EQ(envmon_svr_hdl[1], nullptr);
  role(1);
  ASSERT_NE(envmon_svr_hdl[1], nullptr) << "the active route processor serves the rack scope";
  ASSERT_TRUE(wait_entries(1)) << "rack-scope server not published";

  // A client finds it and asks the altitude: configured, then none.
  recs_->rm().env_cfg.altitude = 1500;
  start_client();
  ASSERT_TRUE(evloop_test_wait_for(loop_, [&] { return view_.connected == 1; }))
      << "client did not reach the rack-scope server";
  ask_altitude(0);
  recs_->rm().env_cfg.altitude = 0;
  ask_altitude(1);
  EXPECT_EQ(view_.answers, (strings{"config=1500", "none"}));
  EXPECT_EQ(client_count, 1u);

  // Standby: the rack scope goes in order, the server last, its clients with it.
  role(2);
  EXPECT_EQ(fakes::calls().back(), "envmon_pwr_mgmt_handle_role_ch()");
  EXPECT_EQ(envmon_svr_hdl[1], nullptr);
  EXPECT_TRUE(wait_entries(0)) << "rack-scope server still published on standby";
  EXPECT_TRUE(evloop_test_wait_for(loop_, [&] { return view_.disconnected >= 1 && client_count == 0; }))
      << "the standby card kept the rack-scope client";

  // Active again: published again, and the client finds it again.
  role(1);
  EXPECT_TRUE(wait_entries(1));
  ASSERT_TRUE(evloop_test_wait_for(loop_, [&] { return view_.connected == 2; }));
  recs_->rm().env_cfg.altitude = 2100;
  ask_altitude(view_.answers.size());
  EXPECT_EQ(view_.answers.back(), "config=2100");
}

TEST_F(RackScope, AddressChangeReplacesTheServer) {
  role(1);
  ASSERT_TRUE(wait_entries(1));
  envmon_server_handle* first = envmon_svr_hdl[1];
  // The same scope started again: the earlier server goes, one stays published.
  ASSERT_EQ(envmon_server_init(loop_, ENVMON_SCOPE_RACK), 0u);
  EXPECT_NE(envmon_svr_hdl[1], first);
  EXPECT_TRUE(wait_entries(1));
  role(2);
  EXPECT_TRUE(wait_entries(0)) << "a replaced server must not stay published";
}

}  // namespace

// The server library with a real client on one loop: ownership of payload
// records and handles, destruction from inside callbacks, flow control of
// responses, and the client-handle options.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "envmon_server_texts.h"
#include "svc_testkit.h"
#include "tlg_test.h"

using namespace svc_test;
namespace T = envmon_server_text;

namespace {

class ServerDispatch : public ::testing::Test {
 protected:
  void SetUp() override { k_.connect_pair(); }
  envmon_client_handle* client() { return k_.established.at(0); }
  Kit k_;
};

TEST_F(ServerDispatch, AKeptRequestRecordBelongsToTheHandler) {
  request_power_budget kept{};
  k_.on_request = [&](const Request&, void* payload) {
    auto* rec = static_cast<request_power_budget*>(payload);
    rec->keep = 1;
    kept = *rec;
  };
  const envmon_any_payload ask = sample(envmon_wire_request(ENVMON_REQ_POWER_BUDGET));
  ASSERT_EQ(envmon_request_power_budget(k_.client, &ask.request_power_budget, nullptr), 0);
  ASSERT_TRUE(k_.run_until([&] { return k_.requests.size() == 1; }));
  ASSERT_NE(kept.pid, nullptr);  // still valid: the library did not release it
  EXPECT_STREQ(kept.pid, "NC-PWR-ACX");
  ASSERT_NE(kept.eid.tsi, nullptr);
  EXPECT_EQ(kept.eid.tsi_count, 3u);
  msgcodec_request_power_budget_free_ext(&kept, free);
}

TEST_F(ServerDispatch, TheOwnerMayDestroyTheClientInsideAnyCallback) {
  // Inside a request handler.
  k_.on_request = [&](const Request& r, void*) {
    envmon_client_handle_destroy(r.client);
    k_.established.clear();
  };
  const dump_debug d{};
  ASSERT_EQ(envmon_dump_debug(k_.client, &d, nullptr), 0);
  ASSERT_TRUE(k_.run_until([&] { return k_.requests.size() == 1; }));
  k_.run_idle();
  EXPECT_EQ(trace_count(T::kInfoBuffer, "delayed_ev: freeing client handle"), 1u);
  ASSERT_TRUE(k_.run_until([&] { return k_.client_disconnects.size() == 1; }))
      << "the client did not see its connection go";

  // Inside the error callback, after an undecodable payload.
  tlg_test_clear(T::kInfoBuffer);
  RawPeer raw(k_.loop);
  raw.connect(k_.server_ep);
  ASSERT_TRUE(k_.run_until([&] { return raw.received.size() == 1; }));
  raw.send_init("envmon");
  ASSERT_TRUE(k_.run_until([&] { return k_.established.size() == 1; }));
  k_.on_server_error = [&](envmon_client_handle* c, int32_t) {
    envmon_client_handle_destroy(c);
    k_.established.clear();
  };
  std::vector<uint8_t> bad = RawPeer::frame(envmon_wire_request(ENVMON_REQ_DUMP_DEBUG), nullptr, 1);
  bad.push_back(9);  // the dump request carries no fields
  raw.send(bad);
  ASSERT_TRUE(k_.run_until([&] { return !k_.server_errors.empty(); }));
  EXPECT_EQ(k_.server_errors[0], ENVMON_ERR_BAD_PAYLOAD);
  k_.run_idle();
  EXPECT_EQ(trace_count(T::kInfoBuffer, "delayed_ev: freeing client handle"), 1u);
  EXPECT_TRUE(k_.run_until([&] { return raw.disconnects == 1; }));
}

TEST_F(ServerDispatch, DestroyingTheServerTwiceAndNull) {
  envmon_server_handle* s = k_.server;
  EXPECT_EQ(envmon_server_handle_destroy(s), 0);
  EXPECT_EQ(envmon_server_handle_destroy(s), 0);  // before the delayed free: nothing happens
  k_.server = nullptr;
  k_.run_idle();
  EXPECT_EQ(trace_count(T::kInfoBuffer, "delayed_ev: freeing server handle"), 1u);
  EXPECT_EQ(envmon_server_handle_destroy(nullptr), -1);
  EXPECT_EQ(envmon_client_handle_destroy(nullptr), -1);
}

TEST_F(ServerDispatch, DestroyingTheServerDropsClientsStillInTheirHandshake) {
  RawPeer raw(k_.loop);
  raw.connect(k_.server_ep);
  ASSERT_TRUE(k_.run_until([&] { return raw.received.size() == 1; }));  // server INIT only
  envmon_server_handle_destroy(k_.server);
  k_.server = nullptr;
  // The pending client is the library's and goes with the server (ASan
  // reports it otherwise); the established one is the owner's and stays.
  ASSERT_TRUE(k_.run_until([&] { return raw.disconnects == 1; }));
  EXPECT_TRUE(k_.server_connects.size() == 1 && k_.server_disconnects.empty());
  const request_altitude_value ask{};
  EXPECT_EQ(envmon_request_altitude_value(k_.client, &ask, nullptr), 0);
  EXPECT_TRUE(k_.run_until([&] { return k_.requests.size() == 1; }));
}

TEST_F(ServerDispatch, FlowControlledResponseIsSentAgainAfterFlowResume) {
  // Large notifications fill the connection while the loop does not run.
  std::vector<pelm_tsi> levels(40000, pelm_tsi{8, 25, 1});
  notif_fru_pwr_alloc_data big{};
  big.eid.tsi = levels.data();
  big.eid.tsi_count = static_cast<uint32_t>(levels.size());
  big.eid.present = PELM_EID_HAS_TSI;
  big.present = NOTIF_FRU_PWR_ALLOC_DATA_HAS_EID;
  int rc = 0;
  int sent = 0;
  for (; sent < 1000 && (rc = envmon_notif_fru_pwr_alloc_data(client(), &big)) == 0; ++sent) {
  }
  ASSERT_EQ(rc, -3) << "never flow-controlled after " << sent << " notifications";
  ASSERT_TRUE(k_.run_until([&] { return k_.server_flow_resumes > 0; }, 20000));
  EXPECT_EQ(envmon_notif_fru_pwr_alloc_data(client(), &big), 0);
  EXPECT_TRUE(k_.run_until([&] { return k_.responses.size() == static_cast<size_t>(sent) + 1; },
                           20000));
}

TEST_F(ServerDispatch, ClientOptionsAndIdentity) {
  struct Case {
    uint32_t option;
    const char* value;
    int32_t result;
  };
  constexpr Case kCases[] = {{1, "peer", 0}, {2, "local", 0}, {3, "kept", 0},
                             {4, "altsvc", 0}, {4, "envmon", 0}, {5, "x", -1}, {0, "x", -1}};
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.option);
    EXPECT_EQ(envmon_client_set_option(client(), c.option, c.value), c.result);
  }
  EXPECT_EQ(envmon_client_get_remote_ip(client()), kLoopback);
  EXPECT_NE(envmon_client_get_client_argv0(client()), nullptr);
  EXPECT_STREQ(envmon_server_get_server_version(k_.server), "0.0.1");
  EXPECT_EQ(envmon_server_get_error_code(k_.server), 0);
  EXPECT_EQ(envmon_server_set_service_instance(k_.server, nullptr), -1);
  EXPECT_EQ(envmon_server_set_service_instance(k_.server, "i1"), 0);
  EXPECT_EQ(envmon_server_set_service_instance(k_.server, "i2"), 0);  // replaces (ASan: no leak)
}

}  // namespace

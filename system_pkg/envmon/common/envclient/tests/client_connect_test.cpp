// The client handle: lifecycle, options, the default endpoint filter,
// reconnection after a lost or refused connection (on the fake clock), user
// disconnection, and sending under flow control.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

#include "envmon_client_texts.h"
#include "envmon_wire_texts.h"
#include "sim_clock.h"
#include "svc_testkit.h"
#include "tlg_test.h"

using namespace svc_test;
namespace T = envmon_client_text;
namespace W = envmon_wire_text;

namespace {

// Reconnection delays run on the fake clock of this test program.
class FakeClock : public ::testing::Environment {
 public:
  void SetUp() override { sim_clock_use_fake(1'000'000'000); }
};
const auto* const kFakeClock = ::testing::AddGlobalTestEnvironment(new FakeClock);

// How long to let the loop run to see that something does NOT happen.
constexpr uint32_t kQuietMs = 200;

TEST(ClientHandle, DestroyTwiceAndNull) {
  Kit k;
  envmon_handle* h = nullptr;
  ASSERT_EQ(envmon_handle_create(&h, k.loop, nullptr), 0);
  ASSERT_NE(h, nullptr);
  EXPECT_STREQ(envmon_get_client_version(h), "0.0.1");
  EXPECT_EQ(envmon_handle_destroy(h), 0);
  EXPECT_EQ(envmon_handle_destroy(h), 0);  // before the delayed free: nothing happens
  k.run_idle();
  EXPECT_EQ(envmon_handle_destroy(nullptr), -1);
}

TEST(ClientHandle, CreateRefusedByTheLoop) {
  envmon_handle* h = reinterpret_cast<envmon_handle*>(0x1);
  EXPECT_EQ(envmon_handle_create(&h, nullptr, nullptr), -6);
  EXPECT_EQ(h, nullptr);
}

TEST(ClientHandle, Options) {
  Kit k;
  envmon_handle* h = nullptr;
  ASSERT_EQ(envmon_handle_create(&h, k.loop, nullptr), 0);
  struct Case {
    uint32_t option;
    const char* value;
    int32_t result;
  };
  constexpr Case kCases[] = {{0, "x", -1},      {1, "peer", 0},   {2, "local", 0},
                             {3, "dsname", 0},  {3, "again", 0},  {4, "altsvc", 0},
                             {4, "altsvc2", 0}, {5, "x", -1},     {99, "x", -1}};
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.option);
    EXPECT_EQ(envmon_set_option(h, c.option, c.value), c.result);
  }
  EXPECT_EQ(envmon_set_service_instance(h, nullptr), -1);
  EXPECT_EQ(envmon_set_service_instance(h, "a"), 0);
  EXPECT_EQ(envmon_set_service_instance(h, "b"), 0);  // replaces (ASan: no leak)
  EXPECT_EQ(envmon_set_tcp_user_timeout(h, 30), 0);
  envmon_handle_destroy(h);
  k.run_idle();
}

TEST(ClientHandle, RequestWhileNotConnectedFails) {
  Kit k;
  k.start_server();
  envmon_handle* h = nullptr;
  ASSERT_EQ(envmon_handle_create(&h, k.loop, nullptr), 0);
  k.client = h;
  envmon_connect_with_endpoint(h, &k.server_ep, nullptr);  // opens the trace buffers
  const request_altitude_value ask{};
  tlg_test_clear(T::kErrorBuffer);
  EXPECT_EQ(envmon_request_altitude_value(h, &ask, nullptr), -1);
  EXPECT_EQ(trace_count(T::kErrorBuffer,
                        "CAPI ERROR:envmon_request_altitude_value(): not connected.\n"),
            1u);
}

class ClientLink : public ::testing::Test {
 protected:
  void SetUp() override { k_.connect_pair(); }
  msgpipe_handle_t* transport() { return envmon_get_transport(k_.client); }
  Kit k_;
};

TEST_F(ClientLink, HandshakeLearnsTheServer) {
  EXPECT_EQ(envmon_get_pid(k_.client), static_cast<unsigned long>(getpid()));
  EXPECT_EQ(envmon_get_remote_ip(k_.client), kLoopback);
  EXPECT_STREQ(envmon_get_server_version(k_.client), "0.0.1");
  ASSERT_NE(envmon_get_server_argv0(k_.client), nullptr);
  ASSERT_EQ(k_.established.size(), 1u);
  EXPECT_EQ(envmon_client_get_pid(k_.established[0]), static_cast<uint64_t>(getpid()));
  EXPECT_STREQ(envmon_client_get_client_version(k_.established[0]), "0.0.1");
  EXPECT_EQ(trace_count(T::kConnBuffer, format(T::kInitReceived, static_cast<void*>(k_.client),
                                               envmon_get_server_argv0(k_.client),
                                               static_cast<unsigned long>(getpid()))),
            1u);
}

TEST_F(ClientLink, LostServerIsReconnectedAfterTheDelay) {
  int cookie = 0;
  const run_test t{1, RUN_TEST_HAS_TEST_ID, 0, 0};
  ASSERT_EQ(envmon_run_test(k_.client, &t, &cookie), 0);
  ASSERT_TRUE(k_.run_until([&] { return !k_.requests.empty(); }));
  const msgpipe_endpoint ep = k_.server_ep;
  k_.stop_server();
  ASSERT_TRUE(k_.run_until([&] { return !k_.client_disconnects.empty(); }))
      << "the client did not see the server go";
  // Its request died with the connection: no answer ever comes for it.
  k_.requests.clear();
  k_.server_connects.clear();

  // A new server on the same endpoint; the client waits for its delay.
  k_.start_server(&ep);
  EXPECT_FALSE(k_.run_until([&] { return !k_.server_connects.empty(); }, kQuietMs));
  sim_clock_advance_ms(1000);
  ASSERT_TRUE(k_.run_until([&] { return k_.client_connects.size() == 2; }))
      << "no reconnection after the delay";
  EXPECT_EQ(k_.client_connects.back(), 0);
  EXPECT_TRUE(k_.responses.empty());
}

TEST_F(ClientLink, AUserDisconnectIsNotFollowedByAReconnection) {
  ASSERT_EQ(envmon_disconnect(k_.client, nullptr), 0);
  ASSERT_TRUE(k_.run_until([&] { return !k_.client_disconnects.empty(); }));
  EXPECT_EQ(k_.client_disconnects[0], 0);
  sim_clock_advance_ms(5000);
  EXPECT_FALSE(k_.run_until([&] { return k_.server_connects.size() > 1; }, kQuietMs));

  // The flag is spent: a new connection that is lost comes back by itself.
  ASSERT_EQ(envmon_connect_with_endpoint(k_.client, &k_.server_ep, nullptr), 0);
  ASSERT_TRUE(k_.run_until([&] {
    return k_.client_connects.size() == 2 && k_.server_connects.size() == 2;
  }));
  ASSERT_EQ(k_.established.size(), 1u);
  envmon_client_disconnect(k_.established.back());
  ASSERT_TRUE(k_.run_until([&] { return k_.client_disconnects.size() == 2; }));
  sim_clock_advance_ms(1000);
  EXPECT_TRUE(k_.run_until([&] { return k_.client_connects.size() == 3; }));
}

TEST(ClientRefused, ARefusedConnectionIsRetriedOnlyAfterTheDelay) {
  Kit k;
  msgpipe_endpoint nobody{};
  msgpipe_endpoint_set(&nobody, kLoopback, free_port());
  k.start_client(&nobody);
  ASSERT_TRUE(k.run_until([&] { return k.client_connects.size() == 1; }));
  EXPECT_LT(k.client_connects[0], 0);
  EXPECT_EQ(envmon_get_error_code(k.client), k.client_connects[0]);
  EXPECT_FALSE(k.run_until([&] { return k.client_connects.size() > 1; }, kQuietMs))
      << "retried without waiting";
  sim_clock_advance_ms(1000);
  EXPECT_TRUE(k.run_until([&] { return k.client_connects.size() == 2; }));
}

TEST_F(ClientLink, FlowControlledRequestIsSentAgainAfterFlowResume) {
  // Big requests that the server does not read while this test keeps the
  // loop from running fill the connection.
  std::string big(512 * 1024, 'p');
  request_power_budget rec{};
  rec.pid = big.data();
  rec.present = REQUEST_POWER_BUDGET_HAS_PID;
  int rc = 0;
  int sent = 0;
  for (; sent < 1000 && (rc = envmon_request_power_budget(k_.client, &rec, nullptr)) == 0; ++sent) {
  }
  ASSERT_EQ(rc, -3) << "never flow-controlled after " << sent << " requests";
  EXPECT_EQ(trace_count(T::kErrorBuffer,
                        "envmon_request_power_budget(): msgpipe_send() returned flow control.\n"),
            1u);
  bool resent = false;
  k_.on_flow_resume = [&] { resent = envmon_request_power_budget(k_.client, &rec, nullptr) == 0; };
  ASSERT_TRUE(k_.run_until([&] { return k_.client_flow_resumes > 0; }, 20000));
  EXPECT_TRUE(resent);
  EXPECT_TRUE(k_.run_until([&] { return k_.requests.size() == static_cast<size_t>(sent) + 1; }, 20000));
}

TEST_F(ClientLink, MessagesStillQueuedWhenTheConnectionEndsAreReportedAsFailedSends) {
  std::string big(512 * 1024, 'p');
  request_power_budget rec{};
  rec.pid = big.data();
  rec.present = REQUEST_POWER_BUDGET_HAS_PID;
  int queued = 0;
  while (queued < 1000 && envmon_request_power_budget(k_.client, &rec, nullptr) == 0) ++queued;
  ASSERT_GT(queued, 1);
  ASSERT_EQ(envmon_disconnect(k_.client, nullptr), 0);
  ASSERT_TRUE(k_.run_until([&] { return !k_.client_disconnects.empty(); }));
  ASSERT_FALSE(k_.client_errors.empty()) << "queued requests vanished without a word";
  for (int32_t code : k_.client_errors) EXPECT_EQ(code, ENVMON_ERR_SEND);
}

// The default endpoint filter, given directory-service entries by hand.
class DefaultFilter : public ::testing::Test {
 protected:
  struct Entry {
    ds_service_info info{};
    uint8_t bytes[16]{};
  };
  static Entry entry(uint32_t port) {
    Entry e;
    msgpipe_endpoint ep{};
    msgpipe_endpoint_set(&ep, kLoopback, port);
    const int n = msgcodec_msgpipe_endpoint_encode_ext(&ep, e.bytes, sizeof e.bytes);
    e.info.endpoint_len = static_cast<uint32_t>(n);
    e.info.scope = 3;
    e.info.present = 1u << DS_SERVICE_INFO_BIT_ENDPOINT | 1u << DS_SERVICE_INFO_BIT_SCOPE;
    return e;
  }
  void filter(std::vector<Entry>& entries) {
    std::vector<ds_service_info> infos;
    for (auto& e : entries) {
      e.info.endpoint = e.bytes;
      infos.push_back(e.info);
    }
    envmon_default_ds_endpoint_filter(k_.client, infos.empty() ? nullptr : infos.data(),
                                      static_cast<uint32_t>(infos.size()));
  }
  uint32_t remote_port() {
    msgpipe_endpoint ep{};
    if (msgpipe_get_remote_endpoint(envmon_get_transport(k_.client), &ep) != 0) return 0;
    return ep.port;
  }
  Kit k_;
};

TEST_F(DefaultFilter, ChoosesAnEndpoint) {
  k_.start_server();
  const uint32_t live = k_.server_ep.port;
  const uint32_t other1 = free_port(), other2 = other1 + 1;
  ASSERT_EQ(envmon_handle_create(&k_.client, k_.loop, nullptr), 0);
  envmon_set_connect_callback(k_.client, [](envmon_handle*, int32_t s, void*) {
    kit().client_connects.push_back(s);
  });

  // Idle: the first entry.
  std::vector<Entry> list{entry(live), entry(other1)};
  filter(list);
  EXPECT_EQ(remote_port(), live);
  ASSERT_TRUE(k_.run_until([&] { return !k_.client_connects.empty(); }));
  ASSERT_EQ(k_.client_connects[0], 0);

  // Busy and listed anywhere: the connection stays.
  tlg_test_clear(T::kConnBuffer);
  std::vector<Entry> with_live{entry(other1), entry(live), entry(other2)};
  filter(with_live);
  EXPECT_EQ(trace_count(T::kConnBuffer, T::kFilterMatch), 1u);
  EXPECT_TRUE(msgpipe_is_connected(envmon_get_transport(k_.client)));

  // Undecodable entry: no change.
  std::vector<Entry> bad{entry(other1)};
  bad[0].info.endpoint_len = 3;
  filter(bad);
  EXPECT_EQ(trace_count(T::kConnBuffer, format(T::kFilterBadEntry, static_cast<void*>(k_.client), 0)),
            1u);
  EXPECT_TRUE(msgpipe_is_connected(envmon_get_transport(k_.client)));
  EXPECT_EQ(remote_port(), live);

  // Busy and not listed: move to the last entry.
  std::vector<Entry> without{entry(other1), entry(other2)};
  filter(without);
  EXPECT_EQ(remote_port(), other2);

  // Empty list: drop the connection (attempt) and forget the endpoint.
  std::vector<Entry> none;
  filter(none);
  EXPECT_FALSE(msgpipe_is_connected(envmon_get_transport(k_.client)));
  EXPECT_EQ(remote_port(), 0u);
}

}  // namespace

// The client library against the daemon's server side in one process, on the
// real transport: publication, discovery, withdrawal, reconnection after the
// daemon comes back, and bad input in both directions. Retries run on the fake
// clock.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "dsd_server.h"
#include "evloop.h"
#include "evloop_test.h"
#include "msgpipe.h"
#include "pelmarok_ds.h"
#include "sim_clock.h"
#include "tlg_test.h"

namespace {

constexpr uint32_t kLoopback = 0x7f000001;

std::vector<uint32_t> ports_of(const ds_service_info* entries, uint32_t count) {
  std::vector<uint32_t> ports;
  for (uint32_t i = 0; i < count; ++i) {
    msgpipe_endpoint ep{};
    EXPECT_GE(msgcodec_msgpipe_endpoint_decode_ext(&ep, entries[i].endpoint, entries[i].endpoint_len, malloc), 0);
    ports.push_back(ep.port);
  }
  return ports;
}

// Everything one client handle was told.
struct Client {
  pelmarok_ds_handle_t* ds = nullptr;
  msgpipe_endpoint* daemon = nullptr;
  std::vector<int32_t> connects;
  int disconnects = 0;
  std::vector<int32_t> errors;
  std::vector<int32_t> registered;
  std::vector<int32_t> published;
  std::vector<std::vector<uint32_t>> notified;
  std::vector<std::vector<uint32_t>> deleted;
  std::vector<uint32_t> scopes;
  std::vector<uint32_t> first_attribute;
  // What to do in the connect callback (publishers publish, some watchers watch).
  std::function<void(Client&)> on_connect;
  std::function<void(Client&)> on_notify;

  static int factory(void* ctx, msgpipe_endpoint* ep) {
    *ep = *static_cast<msgpipe_endpoint*>(ctx);
    return 0;
  }

  void create(evloop_t* loop, msgpipe_endpoint* ep) {
    daemon = ep;
    ASSERT_EQ(pelmarok_ds_handle_create(&ds, loop, this), 0);
    pelmarok_ds_set_ds_endpoint_factory(ds, factory, daemon);
    pelmarok_ds_set_connect_callback(ds, [](pelmarok_ds_handle_t* h, int32_t status, void*) {
      auto* c = static_cast<Client*>(pelmarok_ds_get_user_context(h));
      c->connects.push_back(status);
      if (status == 0 && c->on_connect) c->on_connect(*c);
    });
    pelmarok_ds_set_disconnect_callback(ds, [](pelmarok_ds_handle_t* h, int32_t, void*) {
      static_cast<Client*>(pelmarok_ds_get_user_context(h))->disconnects++;
    });
    pelmarok_ds_set_error_callback(ds, [](pelmarok_ds_handle_t* h, int32_t code, void*) {
      static_cast<Client*>(pelmarok_ds_get_user_context(h))->errors.push_back(code);
    });
    pelmarok_ds_set_registered_service_callback(ds, [](pelmarok_ds_handle_t* h, int32_t status, void*) {
      static_cast<Client*>(pelmarok_ds_get_user_context(h))->registered.push_back(status);
    });
    pelmarok_ds_set_published_service_callback(ds, [](pelmarok_ds_handle_t*, int32_t status, void* ctx) {
      static_cast<Client*>(ctx)->published.push_back(status);
    });
    pelmarok_ds_set_notify_service_callback(
        ds, [](pelmarok_ds_handle_t* h, const ds_service_info* e, uint32_t n, void*) {
          auto* c = static_cast<Client*>(pelmarok_ds_get_user_context(h));
          c->notified.push_back(ports_of(e, n));
          for (uint32_t i = 0; i < n; ++i) {
            c->scopes.push_back(e[i].scope);
            c->first_attribute.push_back(e[i].attribute_count ? e[i].attributes[0].int_value : 0);
          }
          if (c->on_notify) c->on_notify(*c);
        });
    pelmarok_ds_set_notify_deleted_service_callback(
        ds, [](pelmarok_ds_handle_t* h, const ds_service_info* e, uint32_t n, void*) {
          static_cast<Client*>(pelmarok_ds_get_user_context(h))->deleted.push_back(ports_of(e, n));
        });
  }

  void watch(const char* service) {
    ds_service_notification_req req{};
    req.service_name = const_cast<char*>(service);
    req.present = 0x01;
    EXPECT_EQ(pelmarok_ds_register_service_notification(ds, &req, this), 0);
  }

  // Publishes `port` as the endpoint of "envmon" with the attributes the
  // monitoring server uses ({1: scope}, {2: 1}).
  void publish(uint32_t port, uint32_t scope) {
    msgpipe_endpoint ep;
    msgpipe_endpoint_set(&ep, kLoopback, port);
    uint8_t buf[16];
    const int n = msgcodec_msgpipe_endpoint_encode_ext(&ep, buf, sizeof buf);
    ds_attribute attrs[2] = {};
    attrs[0].id = 1;
    attrs[0].int_value = scope;
    attrs[0].present = 0x03;
    attrs[1].id = 2;
    attrs[1].int_value = 1;
    attrs[1].present = 0x03;
    ds_service_info info{};
    info.endpoint = buf;
    info.endpoint_len = static_cast<uint32_t>(n);
    info.scope = scope;
    info.attributes = attrs;
    info.attribute_count = 2;
    info.present = 0x0e;
    ds_service_publish_info pub{};
    pub.service_name = const_cast<char*>("envmon");
    pub.service_info = &info;
    pub.service_info_count = 1;
    pub.present = 0x05;
    EXPECT_EQ(pelmarok_ds_publish_service(ds, &pub, 0), 0);
  }

  ~Client() {
    if (ds) pelmarok_ds_handle_destroy(ds);
  }
};

class DsClientTest : public ::testing::Test {
 protected:
  void SetUp() override {
    sim_clock_use_fake(1'000'000'000);
    loop_ = evloop_create("pelmarok_ds_client_test");
    ASSERT_NE(loop_, nullptr);
    msgpipe_endpoint_set(&endpoint_, kLoopback, 0);
    start_server();
  }
  void TearDown() override {
    clients_.clear();
    server_.reset();
    evloop_run_until_idle(loop_);
    evloop_destroy(loop_);
  }

  void start_server() {
    server_ = std::make_unique<DsServer>(loop_, [this](const std::string& s) { log_.push_back(s); });
    ASSERT_EQ(server_->start(endpoint_), 0);
    endpoint_ = server_->local_endpoint();  // the port it took, kept for restarts
  }

  Client& add_client() {
    clients_.push_back(std::make_unique<Client>());
    clients_.back()->create(loop_, &endpoint_);
    return *clients_.back();
  }

  // Runs the loop until `done` holds; fails with `what` after 10 s.
  void wait_for(const std::function<bool()>& done, const char* what) {
    ASSERT_TRUE(evloop_test_wait_for(loop_, done, 10000)) << "timed out waiting for: " << what;
  }

  bool logged(const std::string& text) const {
    for (const auto& l : log_) {
      if (l.find(text) != std::string::npos) return true;
    }
    return false;
  }

  evloop_t* loop_ = nullptr;
  msgpipe_endpoint endpoint_{};
  std::unique_ptr<DsServer> server_;
  std::vector<std::string> log_;
  std::vector<std::unique_ptr<Client>> clients_;
};

TEST_F(DsClientTest, PublishedServiceIsDiscoveredWithScopeAndAttributes) {
  Client& watcher = add_client();
  watcher.on_connect = [](Client& c) { c.watch("envmon"); };
  Client& server = add_client();
  server.on_connect = [](Client& c) { c.publish(40001, 1); };
  ASSERT_EQ(pelmarok_ds_connect(watcher.ds, nullptr), 0);
  ASSERT_EQ(pelmarok_ds_connect(server.ds, nullptr), 0);

  ASSERT_NO_FATAL_FAILURE(wait_for([&] { return !watcher.notified.empty() && watcher.notified.back() ==
                                                                                 std::vector<uint32_t>{40001}; },
                                   "the watcher to learn the endpoint"));
  EXPECT_EQ(watcher.registered, std::vector<int32_t>{0});
  EXPECT_EQ(watcher.scopes.back(), 1u);
  EXPECT_EQ(watcher.first_attribute.back(), 1u);
  ASSERT_NO_FATAL_FAILURE(wait_for([&] { return !server.published.empty(); }, "the publication's answer"));
  EXPECT_EQ(server.published, std::vector<int32_t>{0});
}

TEST_F(DsClientTest, DestroyedPublisherIsWithdrawn) {
  Client& watcher = add_client();
  watcher.on_connect = [](Client& c) { c.watch("envmon"); };
  Client& server = add_client();
  server.on_connect = [](Client& c) { c.publish(40002, 3); };
  pelmarok_ds_connect(watcher.ds, nullptr);
  pelmarok_ds_connect(server.ds, nullptr);
  ASSERT_NO_FATAL_FAILURE(wait_for([&] { return !watcher.notified.empty() && !watcher.notified.back().empty(); },
                                   "the endpoint"));
  pelmarok_ds_handle_destroy(server.ds);
  server.ds = nullptr;
  ASSERT_NO_FATAL_FAILURE(wait_for([&] { return watcher.notified.back().empty(); }, "the empty list"));
  EXPECT_EQ(watcher.deleted, std::vector<std::vector<uint32_t>>{{40002}});
}

TEST_F(DsClientTest, AfterTheDaemonRestartsPublishersRepublishAndWatchesComeBack) {
  // One watcher registers in its connect callback, the other once up front:
  // after the restart each must hold exactly one watch again.
  Client& in_callback = add_client();
  in_callback.on_connect = [](Client& c) { c.watch("envmon"); };
  Client& up_front = add_client();
  up_front.watch("envmon");
  Client& server = add_client();
  server.on_connect = [](Client& c) { c.publish(40003, 1); };
  for (Client* c : {&in_callback, &up_front, &server}) ASSERT_EQ(pelmarok_ds_connect(c->ds, nullptr), 0);
  auto sees_endpoint = [](const Client& c) { return !c.notified.empty() && c.notified.back() == std::vector<uint32_t>{40003}; };
  ASSERT_NO_FATAL_FAILURE(wait_for([&] { return sees_endpoint(in_callback) && sees_endpoint(up_front); },
                                   "both watchers to see the endpoint"));

  server_.reset();  // the daemon goes away
  ASSERT_NO_FATAL_FAILURE(wait_for(
      [&] { return in_callback.disconnects == 1 && up_front.disconnects == 1 && server.disconnects == 1; },
      "every client to see the daemon go"));
  for (Client* c : {&in_callback, &up_front}) {
    c->notified.clear();
    c->registered.clear();
  }
  ASSERT_NO_FATAL_FAILURE(start_server());
  EXPECT_FALSE(pelmarok_ds_is_connected(server.ds)) << "no retry before the retry delay has passed";
  sim_clock_advance_ms(PELMAROK_DS_RETRY_MS);
  ASSERT_NO_FATAL_FAILURE(wait_for([&] { return sees_endpoint(in_callback) && sees_endpoint(up_front); },
                                   "both watchers to see the republished endpoint"));
  EXPECT_EQ(in_callback.registered, std::vector<int32_t>{0});
  EXPECT_EQ(up_front.registered, std::vector<int32_t>{0});
  EXPECT_EQ(server_->registry().watch_count(), 2u);
  EXPECT_EQ(server_->registry().entry_count(), 1u);
}

TEST_F(DsClientTest, ConnectRetriesUntilTheDaemonIsThere) {
  server_.reset();
  Client& c = add_client();
  c.on_connect = [](Client& cl) { cl.watch("envmon"); };
  ASSERT_EQ(pelmarok_ds_connect(c.ds, nullptr), 0);
  ASSERT_NO_FATAL_FAILURE(wait_for([&] { return c.connects.size() == 1; }, "the first failed attempt"));
  EXPECT_EQ(c.connects[0], PELMAROK_DS_ERR_TRANSPORT);
  sim_clock_advance_ms(PELMAROK_DS_RETRY_MS);
  ASSERT_NO_FATAL_FAILURE(wait_for([&] { return c.connects.size() == 2; }, "the retried attempt"));
  EXPECT_EQ(c.connects[1], PELMAROK_DS_ERR_TRANSPORT);
  ASSERT_NO_FATAL_FAILURE(start_server());
  sim_clock_advance_ms(PELMAROK_DS_RETRY_MS);
  ASSERT_NO_FATAL_FAILURE(wait_for([&] { return !c.registered.empty(); }, "connection and watch"));
  EXPECT_EQ(c.connects.back(), 0);
}

TEST_F(DsClientTest, HandleDestroyedInsideItsCallbackGetsNoMoreCalls) {
  Client& server = add_client();
  server.on_connect = [](Client& c) { c.publish(40004, 1); };
  Client& watcher = add_client();
  watcher.on_notify = [](Client& c) {
    pelmarok_ds_handle_destroy(c.ds);
    c.ds = nullptr;
  };
  watcher.watch("envmon");
  pelmarok_ds_connect(server.ds, nullptr);
  pelmarok_ds_connect(watcher.ds, nullptr);
  ASSERT_NO_FATAL_FAILURE(wait_for([&] { return watcher.ds == nullptr; }, "the watcher's first notification"));
  ASSERT_NO_FATAL_FAILURE(wait_for([&] { return !server.published.empty(); }, "the publication"));
  evloop_run_until_idle(loop_);
  EXPECT_EQ(watcher.notified.size(), 1u);
}

TEST_F(DsClientTest, PublishingNeedsAConnectionAndOptionFourNamesTheClient) {
  Client& c = add_client();
  ds_service_publish_info pub{};
  EXPECT_EQ(pelmarok_ds_publish_service(c.ds, &pub, 0), -1);
  EXPECT_EQ(pelmarok_ds_set_option(c.ds, 3, "x"), -1);
  EXPECT_EQ(pelmarok_ds_set_option(c.ds, PELMAROK_DS_OPT_CLIENT_NAME, "probe-client"), 0);
  c.watch("envmon");
  pelmarok_ds_connect(c.ds, nullptr);
  ASSERT_NO_FATAL_FAILURE(wait_for([&] { return !c.registered.empty(); }, "the watch"));
  EXPECT_TRUE(logged("is probe-client (pid "));
}

TEST_F(DsClientTest, RefusedPublicationReachesThePublisher) {
  Client& c = add_client();
  c.on_connect = [](Client& cl) {
    ds_service_publish_info pub{};  // no service name
    EXPECT_EQ(pelmarok_ds_publish_service(cl.ds, &pub, 0), 0);
  };
  pelmarok_ds_connect(c.ds, nullptr);
  ASSERT_NO_FATAL_FAILURE(wait_for([&] { return !c.published.empty(); }, "the answer"));
  EXPECT_EQ(c.published[0], PELMAROK_DS_ERR_FAILED);
  EXPECT_TRUE(tlg_test_contains("pelmarok_ds", "publication without a service name"));
}

// A raw transport connection sends bytes that are no message: the daemon
// answers with an error, traces the fault and goes on serving.
TEST_F(DsClientTest, DaemonRejectsUndecodableMessagesAndKeepsServing) {
  struct Raw {
    msgpipe_handle_t* h = nullptr;
    bool connected = false;
    std::vector<std::vector<uint8_t>> got;
  } raw;
  ASSERT_EQ(msgpipe_handle_create(0, &raw.h), 0);
  msgpipe_handle_set_user_context(raw.h, &raw);
  evloop_attach_msgpipe_handle(loop_, raw.h, [](msgpipe_handle_t* h, uint32_t ev, int failed, void* buf, int32_t size, uint32_t) {
    auto* r = static_cast<Raw*>(msgpipe_handle_get_user_context(h));
    if (ev == MSGPIPE_EV_CONNECTED) r->connected = !failed;
    if (ev == MSGPIPE_EV_RECEIVE_READY) {
      void* b = std::malloc(static_cast<size_t>(size) + 1);
      if (msgpipe_receive(h, b, static_cast<uint32_t>(size), 0, 0) != 0) std::free(b);
    }
    if (ev == MSGPIPE_EV_RECEIVED) {
      r->got.emplace_back(static_cast<uint8_t*>(buf), static_cast<uint8_t*>(buf) + size);
      std::free(buf);
    }
    if (ev == MSGPIPE_EV_SENT) std::free(buf);
  });
  ASSERT_EQ(msgpipe_connect(raw.h, 0, &endpoint_), 0);
  ASSERT_NO_FATAL_FAILURE(wait_for([&] { return raw.connected; }, "the raw connection"));
  tlg_test_clear("msgcodec");
  auto* junk = static_cast<uint8_t*>(std::malloc(5));
  std::memcpy(junk, "\x01\x00\x00\x00\x04", 5);  // op bit only, then a truncated op
  ASSERT_EQ(msgpipe_send(raw.h, junk, 5, 0, 0), 0);
  ASSERT_NO_FATAL_FAILURE(wait_for([&] { return !raw.got.empty(); }, "the daemon's answer"));

  ds_wire_msg answer;
  ASSERT_GE(msgcodec_ds_wire_msg_decode_ext(&answer, raw.got[0].data(), raw.got[0].size(), malloc), 0);
  EXPECT_EQ(answer.op, DS_OP_ERROR);
  EXPECT_EQ(answer.status, PELMAROK_DS_ERR_UNDECODABLE);
  msgcodec_ds_wire_msg_free_ext(&answer, free);
  EXPECT_TRUE(tlg_test_contains("msgcodec", "cannot decode ds_wire_msg: input ends inside a value"));
  EXPECT_TRUE(logged("undecodable message of 5 bytes"));

  Client& c = add_client();
  c.watch("envmon");
  pelmarok_ds_connect(c.ds, nullptr);
  ASSERT_NO_FATAL_FAILURE(wait_for([&] { return !c.registered.empty(); }, "a well-formed client's watch"));
  msgpipe_handle_destroy(raw.h);
}

// A daemon that answers with bytes that are no message: the client reports
// the error and traces it.
TEST_F(DsClientTest, ClientReportsUndecodableMessagesFromTheDaemon) {
  struct Fake {
    msgpipe_handle_t* listener = nullptr;
    msgpipe_handle_t* conn = nullptr;
  } fake;
  ASSERT_EQ(msgpipe_handle_create(0, &fake.listener), 0);
  msgpipe_handle_set_user_context(fake.listener, &fake);
  evloop_attach_msgpipe_handle(loop_, fake.listener, [](msgpipe_handle_t* h, uint32_t ev, int failed, void* buf, int32_t size, uint32_t) {
    auto* f = static_cast<Fake*>(msgpipe_handle_get_user_context(h));
    if (ev == MSGPIPE_EV_CONNECTED && !failed && h != f->listener) {
      f->conn = h;
      auto* junk = static_cast<uint8_t*>(std::malloc(3));
      std::memcpy(junk, "\xff\xff\xff", 3);
      if (msgpipe_send(h, junk, 3, 0, 0) != 0) std::free(junk);
    }
    if (ev == MSGPIPE_EV_RECEIVE_READY) {
      void* b = std::malloc(static_cast<size_t>(size) + 1);
      if (msgpipe_receive(h, b, static_cast<uint32_t>(size), 0, 0) != 0) std::free(b);
    }
    if (ev == MSGPIPE_EV_RECEIVED || ev == MSGPIPE_EV_SENT) std::free(buf);
  });
  msgpipe_endpoint any;
  msgpipe_endpoint_set(&any, kLoopback, 0);
  ASSERT_EQ(msgpipe_bind(fake.listener, 0, &any), 0);
  msgpipe_endpoint fake_ep{};
  msgpipe_get_local_endpoint(fake.listener, &fake_ep);

  tlg_test_clear("pelmarok_ds");
  Client& c = add_client();
  c.daemon = &fake_ep;
  pelmarok_ds_set_ds_endpoint_factory(c.ds, Client::factory, &fake_ep);
  pelmarok_ds_connect(c.ds, nullptr);
  ASSERT_NO_FATAL_FAILURE(wait_for([&] { return !c.errors.empty(); }, "the error callback"));
  EXPECT_EQ(c.errors[0], PELMAROK_DS_ERR_UNDECODABLE);
  EXPECT_TRUE(tlg_test_contains("pelmarok_ds", "undecodable message of 3 bytes"));
  EXPECT_TRUE(pelmarok_ds_is_connected(c.ds)) << "one bad message does not end the connection";
  clients_.clear();
  if (fake.conn) msgpipe_handle_destroy(fake.conn);
  msgpipe_handle_destroy(fake.listener);
}

TEST(DsEndpointText, ParsesAddressAndPort) {
  struct Case {
    const char* text;
    int rc;
    uint32_t address;
    uint32_t port;
  };
  constexpr Case kCases[] = {
      {"127.0.0.1:17600", 0, 0x7f000001, 17600}, {"127.1.2.3:0", 0, 0x7f010203, 0},
      {"127.0.0.1", -1, 0, 0},  {"127.0.0.1:", -1, 0, 0},      {":80", -1, 0, 0},
      {"localhost:80", -1, 0, 0}, {"127.0.0.1:65536", -1, 0, 0}, {"127.0.0.1:8x", -1, 0, 0},
      {"127.0.0.1:-1", -1, 0, 0},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.text);
    msgpipe_endpoint ep{};
    ASSERT_EQ(pelmarok_ds_parse_endpoint(c.text, &ep), c.rc);
    if (c.rc == 0) {
      EXPECT_EQ(ep.node_address, c.address);
      EXPECT_EQ(ep.port, c.port);
    }
  }
}

}  // namespace

// Activation publishes the service in the directory service (the daemon's
// server side runs in this process): scope, endpoint with the port the
// listener took, copied attributes and instance name; re-activation moves
// the publication, a restarted directory service gets it again, deactivation
// withdraws it; a client finds the server through it.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "dsd_server.h"
#include "envmon_server_texts.h"
#include "sim_clock.h"
#include "svc_testkit.h"
#include "tlg_test.h"

using namespace svc_test;
namespace T = envmon_server_text;

namespace {

class FakeClock : public ::testing::Environment {
 public:
  void SetUp() override { sim_clock_use_fake(1'000'000'000); }
};
const auto* const kFakeClock = ::testing::AddGlobalTestEnvironment(new FakeClock);

constexpr uint32_t kRackAddress = 0x7f000002;  // the card's own address in these tests

// One published entry as a watcher saw it.
struct Seen {
  uint32_t address;
  uint32_t port;
  uint32_t scope;
  std::vector<std::pair<uint32_t, uint32_t>> attributes;  // (id, int_value)
  std::string string_attr;
  std::string instance;
};

class Publish : public ::testing::Test {
 protected:
  void SetUp() override {
    start_ds(0);
    ASSERT_EQ(pelmarok_ds_handle_create(&watcher_, k_.loop, this), 0);
    pelmarok_ds_set_ds_endpoint_factory(watcher_, factory, &ds_ep_);
    pelmarok_ds_set_connect_callback(watcher_, [](pelmarok_ds_handle_t* ds, int32_t st, void*) {
      if (st != 0) return;
      ds_service_notification_req req{};
      req.service_name = const_cast<char*>("envmon");
      req.present = 1u << DS_NOTIFICATION_REQ_BIT_SERVICE_NAME;
      pelmarok_ds_register_service_notification(ds, &req, nullptr);
    });
    pelmarok_ds_set_notify_service_callback(
        watcher_, [](pelmarok_ds_handle_t* ds, const ds_service_info* e, uint32_t n, void*) {
          static_cast<Publish*>(pelmarok_ds_get_user_context(ds))->record(e, n);
        });
    ASSERT_EQ(pelmarok_ds_connect(watcher_, nullptr), 0);
  }
  void TearDown() override {
    pelmarok_ds_handle_destroy(watcher_);
    for (auto* s : servers_) envmon_server_handle_destroy(s);
    k_.run_idle();
    ds_.reset();
    k_.run_idle();
    unsetenv(PELMAROK_DS_ENDPOINT_ENV);
  }

  void start_ds(uint32_t port) {
    msgpipe_endpoint ep{};
    msgpipe_endpoint_set(&ep, kLoopback, port);
    ds_ = std::make_unique<DsServer>(k_.loop, [](const std::string&) {});
    ASSERT_EQ(ds_->start(ep), 0);
    ds_ep_ = ds_->local_endpoint();
    // The server library gives its directory-service handle no endpoint
    // factory: the address comes from the environment.
    setenv(PELMAROK_DS_ENDPOINT_ENV, format("127.0.0.1:%u", ds_ep_.port).c_str(), 1);
  }

  static int factory(void* ctx, msgpipe_endpoint* ep) {
    *ep = *static_cast<msgpipe_endpoint*>(ctx);
    return 0;
  }

  void record(const ds_service_info* e, uint32_t n) {
    std::vector<Seen> now;
    for (uint32_t i = 0; i < n; ++i) {
      Seen s{};
      msgpipe_endpoint ep{};
      EXPECT_GE(msgcodec_msgpipe_endpoint_decode_ext(&ep, e[i].endpoint, e[i].endpoint_len, malloc), 0);
      s.address = ep.node_address;
      s.port = ep.port;
      s.scope = e[i].scope;
      for (uint32_t a = 0; a < e[i].attribute_count; ++a) {
        s.attributes.emplace_back(e[i].attributes[a].id, e[i].attributes[a].int_value);
        if (e[i].attributes[a].string_value != nullptr) s.string_attr = e[i].attributes[a].string_value;
      }
      if (e[i].instance_name != nullptr) s.instance = e[i].instance_name;
      now.push_back(s);
    }
    lists_.push_back(now);
  }

  // A server handle with the kit's callbacks, activated as the core does.
  envmon_server_handle* activate(uint32_t address, uint32_t scope, uint32_t role,
                                 const char* instance = nullptr) {
    envmon_server_handle* s = nullptr;
    EXPECT_EQ(envmon_server_handle_create(&s, k_.loop), 0);
    servers_.push_back(s);
    if (instance != nullptr) envmon_server_set_service_instance(s, instance);
    EXPECT_EQ(reactivate(s, address, scope, role), 0);
    return s;
  }
  int32_t reactivate(envmon_server_handle* s, uint32_t address, uint32_t scope, uint32_t role) {
    ds_attribute attrs[2] = {};
    attrs[0].id = 1;
    attrs[0].int_value = role;
    attrs[0].present = 1u << DS_ATTRIBUTE_BIT_ID | 1u << DS_ATTRIBUTE_BIT_INT_VALUE;
    attrs[1].id = 2;
    attrs[1].int_value = 1;
    attrs[1].present = attrs[0].present;
    envmon_server_activation_info info{};
    info.endpoint.node_address = address;
    info.endpoint.present = MSGPIPE_ENDPOINT_HAS_ADDRESS;  // the port is left to the transport
    info.scope = scope;
    info.attributes = attrs;
    info.attribute_count = 2;
    return envmon_server_activate(s, &info);
  }
  uint32_t bound_port(envmon_server_handle* s) {
    msgpipe_endpoint ep{};
    msgpipe_get_local_endpoint(envmon_server_get_transport(s), &ep);
    return ep.port;
  }
  bool wait_list(const std::function<bool(const std::vector<Seen>&)>& ok) {
    return k_.run_until([&] { return !lists_.empty() && ok(lists_.back()); });
  }

  Kit k_;
  std::unique_ptr<DsServer> ds_;
  msgpipe_endpoint ds_ep_{};
  pelmarok_ds_handle_t* watcher_ = nullptr;
  std::vector<envmon_server_handle*> servers_;
  std::vector<std::vector<Seen>> lists_;
};

TEST_F(Publish, NodeAndRackScopesArePublishedWithTheirAttributes) {
  struct Case {
    const char* name;
    uint32_t address;
    uint32_t scope;
    uint32_t attr1;
    const char* instance;
  };
  const Case kCases[] = {{"node scope", kLoopback, 3, 3, nullptr},
                         {"rack scope", kRackAddress, 1, 1, "rack0"}};
  std::vector<envmon_server_handle*> made;
  for (const auto& c : kCases) made.push_back(activate(c.address, c.scope, c.attr1, c.instance));
  ASSERT_TRUE(wait_list([](const std::vector<Seen>& l) { return l.size() == 2; }))
      << "both publications did not arrive";
  for (size_t i = 0; i < 2; ++i) {
    const Case& c = kCases[i];
    SCOPED_TRACE(c.name);
    const Seen* s = nullptr;
    for (const auto& e : lists_.back()) {
      if (e.scope == c.scope) s = &e;
    }
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(s->address, c.address);
    EXPECT_EQ(s->port, bound_port(made[i]));
    EXPECT_NE(s->port, 0u);
    const std::vector<std::pair<uint32_t, uint32_t>> attrs{{1, c.attr1}, {2, 1}};
    EXPECT_EQ(s->attributes, attrs);
    EXPECT_EQ(s->instance, c.instance != nullptr ? c.instance : "");
  }
  EXPECT_GE(trace_count(T::kConnBuffer, T::kPublished), 2u);
}

TEST_F(Publish, AttributesArePublishedFromTheServersOwnCopy) {
  envmon_server_handle* s = nullptr;
  ASSERT_EQ(envmon_server_handle_create(&s, k_.loop), 0);
  servers_.push_back(s);
  char text[] = "original";
  ds_attribute attr{};
  attr.id = 7;
  attr.int_value = 9;
  attr.string_value = text;
  attr.present = 1u << DS_ATTRIBUTE_BIT_ID | 1u << DS_ATTRIBUTE_BIT_INT_VALUE |
                 1u << DS_ATTRIBUTE_BIT_STRING_VALUE;
  envmon_server_activation_info info{};
  msgpipe_endpoint_set(&info.endpoint, kLoopback, 0);
  info.scope = 3;
  info.attributes = &attr;
  info.attribute_count = 1;
  ASSERT_EQ(envmon_server_activate(s, &info), 0);
  // The publication goes out later, from the directory service's callback.
  memcpy(text, "changed!", sizeof text);
  attr.int_value = 10;
  ASSERT_TRUE(wait_list([](const std::vector<Seen>& l) { return l.size() == 1; }));
  EXPECT_EQ(lists_.back()[0].string_attr, "original");
  EXPECT_EQ(lists_.back()[0].attributes[0].second, 9u);
}

TEST_F(Publish, ASecondActivationMovesThePublication) {
  envmon_server_handle* s = activate(kLoopback, 3, 3);
  ASSERT_TRUE(wait_list([](const std::vector<Seen>& l) { return l.size() == 1 && l[0].scope == 3; }));
  ASSERT_EQ(reactivate(s, kRackAddress, 1, 1), 0);
  EXPECT_EQ(trace_count(T::kConnBuffer, T::kPublishing), 1u);
  ASSERT_TRUE(wait_list([](const std::vector<Seen>& l) {
    return l.size() == 1 && l[0].scope == 1 && l[0].address == kRackAddress;
  })) << "the new scope and address were not published";
  EXPECT_EQ(lists_.back()[0].port, bound_port(s));
}

TEST_F(Publish, ARestartedDirectoryServiceGetsThePublicationAgain) {
  activate(kLoopback, 3, 3);
  ASSERT_TRUE(wait_list([](const std::vector<Seen>& l) { return l.size() == 1; }));
  const uint32_t port = ds_ep_.port;
  ds_.reset();
  k_.run_idle();
  start_ds(port);
  lists_.clear();
  // Both the server's and the watcher's handles retry after their delay.
  sim_clock_advance_ms(PELMAROK_DS_RETRY_MS);
  ASSERT_TRUE(wait_list([](const std::vector<Seen>& l) { return l.size() == 1; }))
      << "not published again";
}

TEST_F(Publish, DeactivationWithdrawsAndTheHandleCanBeActivatedAgain) {
  envmon_server_handle* s = activate(kLoopback, 3, 3);
  ASSERT_TRUE(wait_list([](const std::vector<Seen>& l) { return l.size() == 1; }));
  EXPECT_EQ(envmon_server_deactivate(s), 0);
  EXPECT_TRUE(wait_list([](const std::vector<Seen>& l) { return l.empty(); }));
  EXPECT_EQ(trace_count(T::kInfoBuffer, T::kDeactivating), 1u);
  ASSERT_EQ(reactivate(s, kLoopback, 3, 3), 0);
  EXPECT_TRUE(wait_list([](const std::vector<Seen>& l) { return l.size() == 1; }));
}

TEST_F(Publish, FailedActivationsLeaveAUsableHandle) {
  envmon_server_handle* s = nullptr;
  ASSERT_EQ(envmon_server_handle_create(&s, k_.loop), 0);
  servers_.push_back(s);
  EXPECT_EQ(envmon_server_activate(s, nullptr), -1);
  EXPECT_EQ(trace_count(T::kErrorBuffer, T::kActivateNull), 1u);
  // An address that is not this machine's cannot be bound.
  EXPECT_EQ(reactivate(s, 0x0a0b0c0d, 1, 1), -1);
  EXPECT_EQ(trace_count(T::kErrorBuffer, T::kActivateBind), 1u);
  EXPECT_EQ(reactivate(s, kLoopback, 3, 3), 0);
  EXPECT_TRUE(wait_list([](const std::vector<Seen>& l) { return l.size() == 1; }));
}

TEST_F(Publish, AClientFindsTheServerThroughTheDirectoryService) {
  struct Case {
    const char* name;
    bool null_filter;  // a client that cleared its filter gets the default one
  };
  for (const Case c : {Case{"default filter", false}, Case{"filter set to none", true}}) {
    SCOPED_TRACE(c.name);
    k_.server_connects.clear();
    k_.client_connects.clear();
    envmon_server_handle* s = activate(kLoopback, 3, 3);
    k_.server = s;  // the kit's callbacks for its clients
    envmon_server_set_connect_callback(s, [](envmon_client_handle* cl, envmon_server_handle*, int32_t st) {
      kit().server_connects.push_back(st);
      kit().established.push_back(cl);
    });
    ASSERT_EQ(envmon_handle_create(&k_.client, k_.loop, nullptr), 0);
    envmon_set_connect_callback(k_.client, [](envmon_handle*, int32_t st, void*) {
      kit().client_connects.push_back(st);
    });
    if (c.null_filter) envmon_set_ds_endpoint_filter_callback(k_.client, nullptr);
    envmon_set_ds_endpoint_factory(k_.client, factory, &ds_ep_);
    ASSERT_EQ(envmon_connect(k_.client, nullptr), 0);
    EXPECT_EQ(envmon_connect(k_.client, nullptr), 0);  // no second directory-service handle
    ASSERT_TRUE(k_.run_until([&] { return !k_.client_connects.empty() && !k_.server_connects.empty(); }));
    EXPECT_EQ(k_.client_connects[0], 0);
    EXPECT_EQ(trace_count("envmon_capi_info", "instantiated for envmon client handle"), 1u);
    envmon_handle_destroy(k_.client);
    k_.client = nullptr;
    for (auto* cl : k_.established) envmon_client_handle_destroy(cl);
    k_.established.clear();
    k_.server = nullptr;
    envmon_server_deactivate(s);
    tlg_test_clear();
  }
}

}  // namespace

// The directory service's registry: what each publication, watch and lost
// connection sends to whom.
#include "dsd_registry.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "msgpipe.h"
#include "pelmarok_ds.h"

namespace {

constexpr uint64_t kWatcher = 1;
constexpr uint64_t kPublisherA = 2;
constexpr uint64_t kPublisherB = 3;

// A message as the server hands it to the registry: decoded, owning its parts.
struct Decoded {
  ds_wire_msg msg{};
  explicit Decoded(const ds_wire_msg& m) {
    uint32_t len = 0;
    uint8_t* buf = ds_wire_encode(m, &len);
    EXPECT_NE(buf, nullptr);
    EXPECT_GE(msgcodec_ds_wire_msg_decode_ext(&msg, buf, len, malloc, nullptr, 0), 0);
    std::free(buf);
  }
  explicit Decoded(const std::vector<uint8_t>& bytes) {
    EXPECT_GE(msgcodec_ds_wire_msg_decode_ext(&msg, bytes.data(), bytes.size(), malloc, nullptr, 0), 0);
  }
  ~Decoded() { msgcodec_ds_wire_msg_free_ext(&msg, free); }
  Decoded(const Decoded&) = delete;
  Decoded& operator=(const Decoded&) = delete;
};

std::vector<uint8_t> endpoint_bytes(uint32_t port) {
  msgpipe_endpoint ep;
  msgpipe_endpoint_set(&ep, 0x7f000001, port);
  std::vector<uint8_t> b(16);
  b.resize(static_cast<size_t>(msgcodec_msgpipe_endpoint_encode_ext(&ep, b.data(), b.size())));
  return b;
}

uint32_t port_of(const ds_service_info& info) {
  msgpipe_endpoint ep{};
  EXPECT_GE(msgcodec_msgpipe_endpoint_decode_ext(&ep, info.endpoint, info.endpoint_len, malloc), 0);
  return ep.port;
}

struct Offer {
  uint32_t port;
  uint32_t scope;
  const char* instance;  // null: none
};

ds_wire_msg publish_msg(const char* service, const std::vector<Offer>& offers,
                        std::vector<std::vector<uint8_t>>& keep_eps, std::vector<ds_service_info>& keep_infos) {
  keep_infos.clear();
  keep_eps.clear();
  keep_eps.reserve(offers.size());
  for (const Offer& o : offers) {
    keep_eps.push_back(endpoint_bytes(o.port));
    ds_service_info info{};
    info.endpoint = keep_eps.back().data();
    info.endpoint_len = static_cast<uint32_t>(keep_eps.back().size());
    info.scope = o.scope;
    info.instance_name = const_cast<char*>(o.instance);
    info.present = 0x06 | (o.instance ? 0x10 : 0);
    keep_infos.push_back(info);
  }
  ds_wire_msg m = ds_wire_make(DS_OP_PUBLISH, 5);
  m.publish.service_name = const_cast<char*>(service);
  m.publish.service_info = keep_infos.data();
  m.publish.service_info_count = static_cast<uint32_t>(keep_infos.size());
  m.publish.present = 0x05;
  msgcodec_set_bit(m.present, DS_WIRE_BIT_PUBLISH);
  return m;
}

struct Fixture {
  std::vector<std::string> log;
  DsRegistry reg{[this](const std::string& s) { log.push_back(s); }};

  std::vector<DsOutgoing> publish(uint64_t conn, const char* service, const std::vector<Offer>& offers) {
    std::vector<std::vector<uint8_t>> eps;
    std::vector<ds_service_info> infos;
    Decoded d(publish_msg(service, offers, eps, infos));
    std::vector<DsOutgoing> out;
    reg.handle(conn, d.msg, out);
    return out;
  }
  std::vector<DsOutgoing> watch(uint64_t conn, uint32_t id, const char* service, const char* instance = nullptr) {
    ds_wire_msg m = ds_wire_make(DS_OP_WATCH, id);
    m.watch.service_name = const_cast<char*>(service);
    m.watch.instance_name = const_cast<char*>(instance);
    m.watch.present = static_cast<uint8_t>((service ? 1 : 0) | (instance ? 2 : 0));
    msgcodec_set_bit(m.present, DS_WIRE_BIT_WATCH);
    Decoded d(m);
    std::vector<DsOutgoing> out;
    reg.handle(conn, d.msg, out);
    return out;
  }
  std::vector<DsOutgoing> drop(uint64_t conn) {
    std::vector<DsOutgoing> out;
    reg.drop(conn, out);
    return out;
  }
};

// What one outgoing message says, for comparisons.
struct Seen {
  uint64_t conn;
  uint32_t op;
  uint32_t seq;
  int32_t status;
  std::vector<uint32_t> ports;  // of the entries
  std::string text;
};

std::vector<Seen> seen(const std::vector<DsOutgoing>& out) {
  std::vector<Seen> v;
  for (const DsOutgoing& o : out) {
    Decoded d(o.bytes);
    Seen s{o.conn, d.msg.op, d.msg.seq, d.msg.status, {}, d.msg.text ? d.msg.text : ""};
    for (uint32_t i = 0; i < d.msg.entry_count; ++i) s.ports.push_back(port_of(d.msg.entries[i]));
    v.push_back(s);
  }
  return v;
}

void expect_seen(const std::vector<DsOutgoing>& out, const std::vector<Seen>& want) {
  const std::vector<Seen> got = seen(out);
  ASSERT_EQ(got.size(), want.size());
  for (size_t i = 0; i < got.size(); ++i) {
    SCOPED_TRACE("message " + std::to_string(i));
    EXPECT_EQ(got[i].conn, want[i].conn);
    EXPECT_EQ(got[i].op, want[i].op) << ds_wire_op_name(got[i].op);
    EXPECT_EQ(got[i].seq, want[i].seq);
    EXPECT_EQ(got[i].status, want[i].status);
    EXPECT_EQ(got[i].ports, want[i].ports);
  }
}

TEST(DsdRegistry, WatcherGetsTheCurrentListThenEveryPublication) {
  Fixture f;
  expect_seen(f.watch(kWatcher, 7, "envmon"),
              {{kWatcher, DS_OP_WATCH_ACK, 7, 0, {}, ""}, {kWatcher, DS_OP_NOTIFY, 7, 0, {}, ""}});
  expect_seen(f.publish(kPublisherA, "envmon", {{1000, 1, nullptr}}),
              {{kPublisherA, DS_OP_PUBLISH_ACK, 5, 0, {}, ""}, {kWatcher, DS_OP_NOTIFY, 7, 0, {1000}, ""}});
  expect_seen(f.publish(kPublisherB, "envmon", {{2000, 3, nullptr}}),
              {{kPublisherB, DS_OP_PUBLISH_ACK, 5, 0, {}, ""}, {kWatcher, DS_OP_NOTIFY, 7, 0, {1000, 2000}, ""}});
  // Another service's publication does not reach the watcher.
  expect_seen(f.publish(kPublisherB, "drvif", {{3000, 3, nullptr}}), {{kPublisherB, DS_OP_PUBLISH_ACK, 5, 0, {}, ""}});
}

TEST(DsdRegistry, DeliveredEntriesCarryServiceScopeAndInstance) {
  Fixture f;
  f.publish(kPublisherA, "envmon", {{1000, 1, "rack0"}});
  const std::vector<DsOutgoing> out = f.watch(kWatcher, 1, "envmon");
  ASSERT_EQ(out.size(), 2u);
  Decoded d(out[1].bytes);
  ASSERT_EQ(d.msg.entry_count, 1u);
  EXPECT_STREQ(d.msg.entries[0].service_name, "envmon");
  EXPECT_EQ(d.msg.entries[0].scope, 1u);
  EXPECT_STREQ(d.msg.entries[0].instance_name, "rack0");
}

TEST(DsdRegistry, RepublishingReplacesAndReportsWhatWasWithdrawn) {
  Fixture f;
  f.watch(kWatcher, 7, "envmon");
  f.publish(kPublisherA, "envmon", {{1000, 1, nullptr}});
  f.publish(kPublisherB, "envmon", {{2000, 1, nullptr}});
  expect_seen(f.publish(kPublisherA, "envmon", {{1001, 1, nullptr}}),
              {{kPublisherA, DS_OP_PUBLISH_ACK, 5, 0, {}, ""},
               {kWatcher, DS_OP_NOTIFY_DELETED, 7, 0, {1000}, ""},
               {kWatcher, DS_OP_NOTIFY, 7, 0, {2000, 1001}, ""}});
  // The same entry published again is not a withdrawal.
  expect_seen(f.publish(kPublisherA, "envmon", {{1001, 1, nullptr}}),
              {{kPublisherA, DS_OP_PUBLISH_ACK, 5, 0, {}, ""}, {kWatcher, DS_OP_NOTIFY, 7, 0, {2000, 1001}, ""}});
  EXPECT_EQ(f.reg.entry_count(), 2u);
}

TEST(DsdRegistry, InstanceWatchSeesOnlyItsInstance) {
  Fixture f;
  f.watch(kWatcher, 4, "envmon", "node3");
  expect_seen(f.publish(kPublisherA, "envmon", {{1000, 1, "rack0"}}), {{kPublisherA, DS_OP_PUBLISH_ACK, 5, 0, {}, ""}});
  expect_seen(f.publish(kPublisherB, "envmon", {{2000, 3, "node3"}}),
              {{kPublisherB, DS_OP_PUBLISH_ACK, 5, 0, {}, ""}, {kWatcher, DS_OP_NOTIFY, 4, 0, {2000}, ""}});
}

TEST(DsdRegistry, LostPublisherIsWithdrawnAndLostWatcherForgotten) {
  Fixture f;
  f.watch(kWatcher, 7, "envmon");
  f.publish(kPublisherA, "envmon", {{1000, 1, nullptr}, {1001, 3, nullptr}});
  f.publish(kPublisherB, "envmon", {{2000, 1, nullptr}});
  expect_seen(f.drop(kPublisherA), {{kWatcher, DS_OP_NOTIFY_DELETED, 7, 0, {1000, 1001}, ""},
                                    {kWatcher, DS_OP_NOTIFY, 7, 0, {2000}, ""}});
  EXPECT_EQ(f.reg.entry_count(), 1u);
  EXPECT_TRUE(f.drop(kWatcher).empty());
  EXPECT_EQ(f.reg.watch_count(), 0u);
  expect_seen(f.drop(kPublisherB), {});  // nobody watches any more
  EXPECT_EQ(f.reg.entry_count(), 0u);
}

TEST(DsdRegistry, BadRequestsAreRefusedWithTheirReason) {
  struct Case {
    const char* name;
    std::vector<uint8_t> endpoint;
    const char* service;
    const char* reason;
  };
  std::vector<uint8_t> bloated = endpoint_bytes(1);
  bloated.resize(16, 0);
  const Case kCases[] = {
      {"no service name", endpoint_bytes(1), nullptr, "publication without a service name"},
      {"empty endpoint", {}, "envmon", "entry without an endpoint"},
      {"endpoint above 15 bytes", bloated, "envmon", "encoded endpoint longer than 15 bytes"},
      {"endpoint that does not decode", {0x03, 0x7f}, "envmon", "endpoint does not decode"},
      {"endpoint without a port", {0x01, 0x7f, 0, 0, 1}, "envmon", "endpoint does not decode"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    Fixture f;
    f.watch(kWatcher, 1, "envmon");
    std::vector<uint8_t> ep = c.endpoint;
    ds_service_info info{};
    info.endpoint = ep.empty() ? nullptr : ep.data();
    info.endpoint_len = static_cast<uint32_t>(ep.size());
    info.present = 0x02;
    ds_wire_msg m = ds_wire_make(DS_OP_PUBLISH, 9);
    m.publish.service_name = const_cast<char*>(c.service);
    m.publish.service_info = &info;
    m.publish.service_info_count = 1;
    m.publish.present = static_cast<uint8_t>((c.service ? 0x01 : 0) | 0x04);
    msgcodec_set_bit(m.present, DS_WIRE_BIT_PUBLISH);
    Decoded d(m);
    std::vector<DsOutgoing> out;
    f.reg.handle(kPublisherA, d.msg, out);
    const std::vector<Seen> got = seen(out);
    ASSERT_EQ(got.size(), 1u) << "only the refusal; the watcher hears nothing";
    EXPECT_EQ(got[0].op, DS_OP_PUBLISH_ACK);
    EXPECT_EQ(got[0].status, PELMAROK_DS_ERR_FAILED);
    EXPECT_NE(got[0].text.find(c.reason), std::string::npos) << got[0].text;
    EXPECT_EQ(f.reg.entry_count(), 0u);
    ASSERT_FALSE(f.log.empty());
    EXPECT_NE(f.log.back().find(c.reason), std::string::npos) << f.log.back();
  }
}

TEST(DsdRegistry, WatchWithoutNameAndUnknownMessagesAreRefused) {
  Fixture f;
  const std::vector<Seen> w = seen(f.watch(kWatcher, 3, nullptr));
  ASSERT_EQ(w.size(), 1u);
  EXPECT_EQ(w[0].op, DS_OP_WATCH_ACK);
  EXPECT_EQ(w[0].status, PELMAROK_DS_ERR_FAILED);
  EXPECT_EQ(f.reg.watch_count(), 0u);

  Decoded d(ds_wire_make(DS_OP_NOTIFY, 3));  // a daemon-to-client message sent the wrong way
  std::vector<DsOutgoing> out;
  f.reg.handle(kWatcher, d.msg, out);
  const std::vector<Seen> e = seen(out);
  ASSERT_EQ(e.size(), 1u);
  EXPECT_EQ(e[0].op, DS_OP_ERROR);
  EXPECT_NE(e[0].text.find("unexpected message 8"), std::string::npos) << e[0].text;
}

TEST(DsdRegistry, UnwatchEndsTheWatch) {
  Fixture f;
  f.watch(kWatcher, 3, "envmon");
  Decoded stop(ds_wire_make(DS_OP_UNWATCH, 3));
  std::vector<DsOutgoing> out;
  f.reg.handle(kWatcher, stop.msg, out);
  expect_seen(out, {{kWatcher, DS_OP_UNWATCH_ACK, 3, 0, {}, ""}});
  expect_seen(f.publish(kPublisherA, "envmon", {{1000, 1, nullptr}}), {{kPublisherA, DS_OP_PUBLISH_ACK, 5, 0, {}, ""}});
  out.clear();
  f.reg.handle(kWatcher, stop.msg, out);
  expect_seen(out, {{kWatcher, DS_OP_UNWATCH_ACK, 3, PELMAROK_DS_ERR_FAILED, {}, ""}});
}

}  // namespace

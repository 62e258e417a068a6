// What the server's receiver makes of hand-made frames from a bare transport
// peer in a client's place: handshake-pending clients are dropped without a
// word, established ones are told through the error callback and closed, and
// messages that cannot be trusted are dropped with the connection kept.
#include <gtest/gtest.h>

#include <functional>

#include "envmon_server_texts.h"
#include "envmon_wire_texts.h"
#include "svc_testkit.h"
#include "tlg_test.h"

using namespace svc_test;
namespace T = envmon_server_text;
namespace W = envmon_wire_text;

namespace {

using Bytes = std::vector<uint8_t>;

// A request frame; a non-zero status is put into its header as well (no
// client of the library sends one).
Bytes request(uint32_t id, const void* payload = nullptr, int32_t status = 0) {
  envmon_msg_desc d = *envmon_wire_request(id);
  if (status != 0) d.kind = ENVMON_KIND_RESPONSE;
  return RawPeer::frame(&d, payload, 7, status);
}

Bytes with_header_len(Bytes b, uint32_t len) {
  for (int i = 0; i < 4; ++i) b[i] = static_cast<uint8_t>(len >> (24 - 8 * i));
  return b;
}

struct Case {
  const char* name;
  bool handshake_first;  // the raw client completes its INIT first
  std::function<void(RawPeer&)> send;
  std::vector<int32_t> connects;  // connect callbacks after the handshake's
  std::vector<int32_t> errors;
  std::vector<std::pair<uint32_t, bool>> requests;  // (id, with payload) seen by handlers
  bool kept;
  const char* buffer;
  std::string trace;
};

std::vector<Case> cases() {
  const Bytes alt = request(ENVMON_REQ_ALTITUDE_VALUE);
  const uint32_t hl = (uint32_t{alt[2]} << 8) | alt[3];
  sensor_value sv{};
  sv.value = -40;
  sv.present = SENSOR_VALUE_HAS_VALUE;
  return {
      {"request before the client's INIT", false,
       [=](RawPeer& p) { p.send(alt); }, {}, {}, {}, false, T::kInfoBuffer,
       format(W::kDispatched, "request_altitude_value")},
      {"undecodable header before the client's INIT", false,
       [=](RawPeer& p) {
         Bytes b = alt;
         b[5] = 0xff;
         p.send(b);
       },
       {}, {}, {}, false, T::kErrorBuffer, "decode of CAPI message header failed"},
      {"INIT naming another service, then a request", false,
       [=](RawPeer& p) {
         p.send_init("othersvc");
         p.send(alt);
       },
       {}, {}, {}, false, T::kErrorBuffer, format(W::kHandshakeFailed, "(null)", "othersvc")},
      {"INIT naming another service, then the right one", false,
       [=](RawPeer& p) {
         p.send_init("othersvc");
         p.send_init("envmon");
       },
       {0}, {}, {}, true, nullptr, ""},
      {"INIT again after the handshake", true, [](RawPeer& p) { p.send_init("envmon"); }, {0}, {},
       {}, true, nullptr, ""},
      {"header length one beyond the message", true,
       [=](RawPeer& p) { p.send(with_header_len(alt, hl + 1)); }, {}, {}, {}, true,
       T::kErrorBuffer,
       format(W::kInvalidHeaderLen, static_cast<int>(hl + 1), static_cast<int>(alt.size()))},
      {"messages shorter than the length word", true,
       [](RawPeer& p) {
         p.send({});
         p.send({1, 2});
       },
       {}, {}, {}, true, T::kErrorBuffer, "message has invalid header len (header_len = 0, msg_size=2)"},
      {"undecodable header", true,
       [=](RawPeer& p) {
         Bytes b = alt;
         b[5] = 0xff;
         p.send(b);
       },
       {}, {ENVMON_ERR_BAD_HEADER}, {}, false, T::kErrorBuffer,
       "decode of CAPI message header failed"},
      {"undecodable payload", true,
       [=](RawPeer& p) {
         Bytes b = alt;
         b.push_back(0);  // the altitude request carries no fields
         p.send(b);
       },
       {}, {ENVMON_ERR_BAD_PAYLOAD}, {}, false, T::kErrorBuffer,
       format(W::kInvalidPayload, "request_altitude_value")},
      {"ids no request uses", true,
       [](RawPeer& p) {
         for (uint32_t id : {0u, 7u, 8u, 14u, 0x7fffu}) {
           envmon_msg_desc d = *envmon_wire_request(ENVMON_REQ_DUMP_DEBUG);
           d.id = id;
           p.send(RawPeer::frame(&d, nullptr, 3));
         }
       },
       {}, {}, {}, true, nullptr, ""},
      {"requests with a negative status reach their handlers without payload", true,
       [=](RawPeer& p) {
         p.send(request(ENVMON_REQ_SENSOR_VALUE_SET, &sv, -5));
         p.send(request(ENVMON_REQ_FAN_TIMER_DISABLE, nullptr, -5));
       },
       {}, {}, {{ENVMON_REQ_SENSOR_VALUE_SET, false}, {ENVMON_REQ_FAN_TIMER_DISABLE, false}}, true,
       nullptr, ""},
      {"request without a handler", true, [=](RawPeer& p) { p.send(request(ENVMON_REQ_RUN_TEST)); },
       {}, {}, {}, true, T::kErrorBuffer, format(T::kNotConfigured, "run_test")},
  };
}

TEST(ServerFraming, HandMadeFramesFromTheClientSide) {
  for (const Case& c : cases()) {
    SCOPED_TRACE(c.name);
    Kit k;
    k.start_server();
    envmon_server_set_run_test_callback(k.server, nullptr);
    RawPeer raw(k.loop);
    raw.connect(k.server_ep);
    ASSERT_TRUE(k.run_until([&] { return raw.connects == 1 && raw.received.size() == 1; }))
        << "the server's INIT did not come";
    size_t connects_before = 0;
    if (c.handshake_first) {
      raw.send_init("envmon");
      ASSERT_TRUE(k.run_until([&] { return k.server_connects.size() == 1; }));
      connects_before = 1;
    }
    c.send(raw);
    if (c.kept) {
      // A request answered on the same connection proves it stayed.
      raw.send(request(ENVMON_REQ_ALTITUDE_VALUE));
      ASSERT_TRUE(k.run_until([&] {
        return !k.requests.empty() && k.requests.back().id == ENVMON_REQ_ALTITUDE_VALUE;
      })) << "the connection did not carry on";
      k.requests.pop_back();
      EXPECT_EQ(raw.disconnects, 0);
    } else {
      ASSERT_TRUE(k.run_until([&] { return raw.disconnects == 1; })) << "the connection stayed";
      k.run_idle();
    }
    const std::vector<int32_t> connects(k.server_connects.begin() + static_cast<long>(connects_before),
                                        k.server_connects.end());
    EXPECT_EQ(connects, c.connects);
    EXPECT_EQ(k.server_errors, c.errors);
    std::vector<std::pair<uint32_t, bool>> seen;
    for (const auto& r : k.requests) seen.emplace_back(r.id, r.has_payload);
    EXPECT_EQ(seen, c.requests);
    if (!c.handshake_first && !c.kept) {
      EXPECT_TRUE(k.server_disconnects.empty()) << "a pending client is dropped without a word";
    }
    if (c.buffer != nullptr) {
      EXPECT_GE(trace_count(c.buffer, c.trace), 1u) << c.trace;
    }
  }
}

TEST(ServerFraming, NegativeStatusBecomesTheClientsLastError) {
  Kit k;
  k.start_server();
  RawPeer raw(k.loop);
  raw.connect(k.server_ep);
  ASSERT_TRUE(k.run_until([&] { return raw.received.size() == 1; }));
  raw.send_init("envmon");
  ASSERT_TRUE(k.run_until([&] { return k.established.size() == 1; }));
  raw.send(request(ENVMON_REQ_DUMP_DEBUG, nullptr, -12));
  ASSERT_TRUE(k.run_until([&] { return k.requests.size() == 1; }));
  EXPECT_FALSE(k.requests[0].has_payload);
  EXPECT_EQ(k.requests[0].request_id, 7u);
  EXPECT_EQ(envmon_client_get_error_code(k.established[0]), -12);
}

}  // namespace

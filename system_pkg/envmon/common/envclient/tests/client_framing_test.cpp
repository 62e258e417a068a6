// What the client's receiver makes of hand-made frames from a bare transport
// peer in the server's place: which are dispatched, which are dropped with
// the connection kept, which restart or close it, and what the owner hears.
#include <gtest/gtest.h>

#include <functional>

#include "envmon_client_texts.h"
#include "envmon_wire_texts.h"
#include "svc_testkit.h"
#include "tlg_test.h"

using namespace svc_test;
namespace T = envmon_client_text;
namespace W = envmon_wire_text;

namespace {

using Bytes = std::vector<uint8_t>;

const envmon_msg_desc* resp_fault() { return envmon_wire_server_msg(ENVMON_RESP_SENSOR_FAULT_SET); }

Bytes with_header_len(Bytes b, uint32_t len) {
  b[0] = static_cast<uint8_t>(len >> 24);
  b[1] = static_cast<uint8_t>(len >> 16);
  b[2] = static_cast<uint8_t>(len >> 8);
  b[3] = static_cast<uint8_t>(len);
  return b;
}

uint32_t header_len(const Bytes& b) {
  return (uint32_t{b[0]} << 24) | (uint32_t{b[1]} << 16) | (uint32_t{b[2]} << 8) | b[3];
}

// The request id of a request frame the client sent.
uint32_t request_id_of(const Bytes& frame) {
  envmon_wire_frame f;
  if (envmon_wire_parse(frame.data(), static_cast<int32_t>(frame.size()), &f, nullptr) != 0) {
    ADD_FAILURE() << "the client sent an unreadable frame";
    return 0;
  }
  const uint32_t id = f.header.request_id;
  envmon_wire_frame_free(&f);
  return id;
}

struct Case {
  const char* name;
  const char* option4;   // expected server name set on the client, or null
  bool handshake_first;  // the raw server sends a valid INIT first
  // Sends the case's frames; rid is a request the client has pending.
  std::function<void(RawPeer&, uint32_t rid)> send;
  std::vector<int32_t> connects;  // connect callbacks after the handshake's
  std::vector<int32_t> errors;
  size_t responses;               // response callbacks before the check message
  bool kept;                      // the connection stays up
  const char* buffer;             // where `trace` must appear (null: none)
  std::string trace;
};

std::vector<Case> cases() {
  const Bytes empty_resp = RawPeer::frame(resp_fault(), nullptr, 0);
  const uint32_t hl = header_len(empty_resp);
  auto resp = [](uint32_t rid) { return RawPeer::frame(resp_fault(), nullptr, rid); };
  return {
      {"response with header length = size - 4", nullptr, true,
       [=](RawPeer& p, uint32_t rid) { p.send(resp(rid)); }, {}, {}, 1, true, nullptr, ""},
      {"header length one beyond the message", nullptr, true,
       [=](RawPeer& p, uint32_t rid) { p.send(with_header_len(resp(rid), hl + 1)); }, {}, {}, 0,
       true, T::kErrorBuffer,
       format(W::kInvalidHeaderLen, static_cast<int>(hl + 1), static_cast<int>(empty_resp.size()))},
      {"header length 2^32 - 4", nullptr, true,
       [=](RawPeer& p, uint32_t rid) { p.send(with_header_len(resp(rid), 0xfffffffcu)); }, {}, {},
       0, true, T::kErrorBuffer, "message has invalid header len (header_len = -4, "},
      {"messages shorter than the length word", nullptr, true,
       [](RawPeer& p, uint32_t) {
         p.send({});
         p.send({0});
         p.send({0, 0, 0});
       },
       {}, {}, 0, true, T::kErrorBuffer, "message has invalid header len (header_len = 0, msg_size=3)"},
      {"undecodable header", nullptr, true,
       [=](RawPeer& p, uint32_t rid) {
         Bytes b = resp(rid);
         b[5] = 0xff;
         p.send(b);
       },
       {}, {ENVMON_ERR_BAD_HEADER}, 0, false, T::kErrorBuffer, "decode of CAPI message header failed"},
      {"undecodable payload", nullptr, true,
       [=](RawPeer& p, uint32_t rid) {
         Bytes b = resp(rid);
         b.push_back(0x42);  // the empty response has no room for it
         p.send(b);
       },
       {}, {ENVMON_ERR_BAD_PAYLOAD}, 0, false, T::kErrorBuffer,
       format(W::kInvalidPayload, "resp_sensor_fault_set")},
      {"ids no server message uses", nullptr, true,
       [=](RawPeer& p, uint32_t rid) {
         for (uint32_t id : {0u, 12u, 13u, 14u, 0x7fffu}) {
           envmon_msg_desc d = *resp_fault();
           d.id = id;
           p.send(RawPeer::frame(&d, nullptr, rid));
         }
       },
       {}, {}, 0, true, nullptr, ""},
      {"response for no pending request", nullptr, true,
       [=](RawPeer& p, uint32_t rid) { p.send(resp(rid + 1000)); }, {}, {}, 0, true,
       T::kInfoBuffer, "response dispatching failed entry for ID "},
      {"response before the server's INIT", nullptr, false,
       [=](RawPeer& p, uint32_t rid) { p.send(resp(rid)); }, {ENVMON_ERR_NOT_COMPLETED}, {}, 0,
       false, T::kErrorBuffer, format(T::kNeverCompleted, "resp_sensor_fault_set")},
      {"undecodable header before the server's INIT", nullptr, false,
       [=](RawPeer& p, uint32_t rid) {
         Bytes b = resp(rid);
         b[5] = 0xff;
         p.send(b);
       },
       {ENVMON_ERR_BAD_HEADER}, {}, 0, false, T::kErrorBuffer,
       "decode of CAPI message header failed"},
      {"INIT naming another service", nullptr, false,
       [](RawPeer& p, uint32_t) { p.send_init("othersvc"); }, {}, {}, 0, false, T::kErrorBuffer,
       format(W::kHandshakeFailed, "(null)", "othersvc")},
      {"INIT with the name set by option 4", "altsvc", false,
       [](RawPeer& p, uint32_t) { p.send_init("altsvc"); }, {0}, {}, 0, true, nullptr, ""},
      {"INIT naming envmon while option 4 names another", "altsvc", false,
       [](RawPeer& p, uint32_t) { p.send_init("envmon"); }, {}, {}, 0, false, T::kErrorBuffer,
       format(W::kHandshakeFailed, "altsvc", "envmon")},
  };
}

TEST(ClientFraming, HandMadeFramesFromTheServerSide) {
  for (const Case& c : cases()) {
    SCOPED_TRACE(c.name);
    Kit k;
    RawPeer raw(k.loop);
    const msgpipe_endpoint ep = raw.listen();
    k.start_client(&ep);
    if (c.option4 != nullptr) envmon_set_option(k.client, 4, c.option4);
    ASSERT_TRUE(k.run_until([&] { return raw.connects == 1 && raw.received.size() == 1; }))
        << "the client's INIT did not come";
    size_t connects_before = 0;
    if (c.handshake_first) {
      raw.send_init("envmon");
      ASSERT_TRUE(k.run_until([&] { return k.client_connects.size() == 1; }));
      ASSERT_EQ(k.client_connects[0], 0);
      connects_before = 1;
    }
    // A pending request the case's frames can answer.
    const sensor_fault f{};
    ASSERT_EQ(envmon_sensor_fault_set(k.client, &f, nullptr), 0);
    ASSERT_TRUE(k.run_until([&] { return raw.received.size() == 2; }));
    const uint32_t rid = request_id_of(raw.received[1]);

    c.send(raw, rid);
    if (c.kept) {
      // A later request answered on the same connection proves it stayed and
      // that everything before it was handled.
      const run_test t{1, RUN_TEST_HAS_TEST_ID, 0, 0};
      ASSERT_EQ(envmon_run_test(k.client, &t, nullptr), 0);
      ASSERT_TRUE(k.run_until([&] { return raw.received.size() == 3; }));
      raw.send(RawPeer::frame(envmon_wire_server_msg(ENVMON_RESP_TEST), nullptr,
                              request_id_of(raw.received[2])));
      ASSERT_TRUE(k.run_until([&] { return !k.responses.empty() && k.responses.back().row == 3; }))
          << "the connection did not carry on";
      EXPECT_EQ(k.responses.size(), c.responses + 1);
      EXPECT_EQ(raw.disconnects, 0);
    } else {
      ASSERT_TRUE(k.run_until([&] { return raw.disconnects == 1; })) << "the connection stayed";
      k.run_idle();
      EXPECT_EQ(k.responses.size(), c.responses);
    }
    const std::vector<int32_t> connects(k.client_connects.begin() + static_cast<long>(connects_before),
                                        k.client_connects.end());
    EXPECT_EQ(connects, c.connects);
    EXPECT_EQ(k.client_errors, c.errors);
    if (c.buffer != nullptr) {
      EXPECT_GE(trace_count(c.buffer, c.trace), 1u) << c.trace;
    }
  }
}

// A response that comes on a new connection for a request of the old one
// finds no pending entry: requests never outlive their connection.
TEST(ClientFraming, RequestsDieWithTheirConnection) {
  Kit k;
  RawPeer raw(k.loop);
  const msgpipe_endpoint ep = raw.listen();
  k.start_client(&ep);
  ASSERT_TRUE(k.run_until([&] { return raw.received.size() == 1; }));
  raw.send_init("envmon");
  ASSERT_TRUE(k.run_until([&] { return k.client_connects.size() == 1; }));
  int cookie = 0;
  const run_test t{1, RUN_TEST_HAS_TEST_ID, 0, 0};
  ASSERT_EQ(envmon_run_test(k.client, &t, &cookie), 0);
  ASSERT_TRUE(k.run_until([&] { return raw.received.size() == 2; }));
  const uint32_t rid = request_id_of(raw.received[1]);

  msgpipe_disconnect(raw.conn(), nullptr);
  ASSERT_TRUE(k.run_until([&] { return k.client_disconnects.size() == 1; }));
  EXPECT_EQ(k.client_disconnects[0], 0);
  ASSERT_TRUE(k.run_until([&] { return raw.connects == 2 && raw.received.size() == 3; }, 5000));
  raw.send_init("envmon");
  ASSERT_TRUE(k.run_until([&] { return k.client_connects.size() == 2; }));
  raw.send(RawPeer::frame(envmon_wire_server_msg(ENVMON_RESP_TEST), nullptr, rid));
  const std::string dropped = format(T::kNoPendingEntry, static_cast<int>(rid));
  EXPECT_TRUE(k.run_until([&] { return trace_count(T::kInfoBuffer, dropped) == 1; }));
  EXPECT_TRUE(k.responses.empty());
}

}  // namespace

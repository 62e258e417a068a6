// Client (this process) and server (envmon_svc_peer) in different processes
// find each other through the directory service (dsd), complete the
// handshake and exchange every message with all fields intact; after the
// server process dies and a new one starts, the client is back without its
// owner doing anything.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "pelmarok_ds.h"
#include "svc_testkit.h"

using namespace svc_test;

namespace {

constexpr uint32_t kBoundMs = 20000;

class Processes : public ::testing::Test {
 protected:
  void SetUp() override {
    const uint32_t port = free_port();
    ds_text_ = format("127.0.0.1:%u", port);
    // Every process of the test finds the directory service here.
    setenv(PELMAROK_DS_ENDPOINT_ENV, ds_text_.c_str(), 1);
    ASSERT_TRUE(dsd_.start("dsd", {"--endpoint", ds_text_}));
    ASSERT_TRUE(dsd_.wait_for_line("listening on")) << "dsd did not start";
    start_peer(peer_);
    k_.make_client();
    ASSERT_EQ(envmon_connect(k_.client, nullptr), 0);
    ASSERT_TRUE(k_.run_until([&] { return !k_.client_connects.empty(); }, kBoundMs))
        << "the client found no server through the directory service";
    ASSERT_EQ(k_.client_connects[0], 0);
  }
  void TearDown() override { unsetenv(PELMAROK_DS_ENDPOINT_ENV); }

  void start_peer(Child& peer) {
    ASSERT_TRUE(peer.start("envmon_svc_peer", {}));
    ASSERT_TRUE(peer.wait_for_line("serving envmon scope 3")) << "the server did not start";
  }

  // Waits (running the client's loop) for the server to print a line.
  bool server_printed(Child& peer, const std::string& text) {
    const size_t from = peer.line_count();
    return k_.run_until([&] { return peer.poll_line(text, from); }, kBoundMs);
  }

  std::string ds_text_;
  Child dsd_;
  Child peer_;
  Kit k_;
};

TEST_F(Processes, EveryMessageCrossesIntact) {
  int cookies[16];
  for (const envmon_msg_desc* req : requests()) {
    SCOPED_TRACE(req->sender);
    const envmon_any_payload sent = sample(req);
    const size_t before = k_.responses.size();
    ASSERT_EQ(send_request(k_.client, req->id, &sent, &cookies[req->id]), 0);
    // The server printed what it decoded, re-encoded: equal bytes mean equal fields.
    EXPECT_TRUE(server_printed(peer_, std::string("request ") + req->name + " rid ")) << "not received";
    const auto got = peer_.lines_with(std::string("request ") + req->name + " rid ");
    ASSERT_FALSE(got.empty());
    EXPECT_NE(got.back().find("payload " + hex(encode_payload(req, &sent))), std::string::npos)
        << got.back();

    const uint32_t answer = answer_of(req->id);
    if (answer == 0) continue;  // one-way
    const size_t expected = before + (req->id == ENVMON_REQ_REGISTER_POWER_DATA ? 3 : 1);
    ASSERT_TRUE(k_.run_until([&] { return k_.responses.size() == expected; }, kBoundMs))
        << "no answer";
    const envmon_msg_desc* resp = envmon_wire_server_msg(answer);
    const Response& r = k_.responses[before];
    EXPECT_EQ(r.row, resp->row);
    EXPECT_EQ(r.cookie, &cookies[req->id]);
    EXPECT_EQ(r.final, 1);
    if (req->id == ENVMON_REQ_SENSOR_VALUE_SET) {
      // The server refuses this one: a negative status and no payload record.
      EXPECT_EQ(r.status, -1);
      EXPECT_FALSE(r.has_payload);
      EXPECT_EQ(envmon_get_error_code(k_.client), -1);
      continue;
    }
    EXPECT_EQ(r.status, 0);
    const envmon_any_payload reply = sample(resp);
    EXPECT_EQ(r.payload, encode_payload(resp, &reply));
    if (req->id == ENVMON_REQ_REGISTER_POWER_DATA) {
      // Followed by the two power notifications.
      for (size_t i = 1; i < 3; ++i) {
        const uint32_t id = i == 1 ? ENVMON_NOTIF_SYS_PWR_DATA : ENVMON_NOTIF_FRU_PWR_ALLOC_DATA;
        const envmon_any_payload note = sample(envmon_wire_server_msg(id));
        EXPECT_EQ(k_.responses[before + i].row, i == 1 ? kRowNotifSys : kRowNotifFru);
        EXPECT_EQ(k_.responses[before + i].payload,
                  encode_payload(envmon_wire_server_msg(id), &note));
      }
    }
  }
  // Message id 11 in both directions: the operational-state request reached
  // the server's one-way handler, and the server's message 11 answered the
  // altitude request.
  EXPECT_FALSE(peer_.lines_with("request oper_state_set rid 0 payload").empty());
  EXPECT_FALSE(peer_.lines_with("answered with message 11 status 0").empty());
}

TEST_F(Processes, ARestartedServerIsReachedAgainWithoutTheOwner) {
  const request_altitude_value ask{};
  ASSERT_EQ(envmon_request_altitude_value(k_.client, &ask, nullptr), 0);
  ASSERT_TRUE(k_.run_until([&] { return k_.responses.size() == 1; }, kBoundMs));

  peer_.kill_now();
  // Seen as the connection's end (and again for each reconnection attempt that
  // the directory service's withdrawal of the dead server abandons).
  ASSERT_TRUE(k_.run_until([&] { return !k_.client_disconnects.empty(); }, kBoundMs))
      << "the client did not see the server die";
  Child again;
  start_peer(again);
  // The directory service withdraws the dead server and offers the new one;
  // the client connects to it by itself.
  ASSERT_TRUE(k_.run_until([&] { return k_.client_connects.back() == 0 && k_.client_connects.size() > 1; },
                           kBoundMs))
      << "not reconnected";
  ASSERT_EQ(envmon_request_altitude_value(k_.client, &ask, nullptr), 0);
  ASSERT_TRUE(k_.run_until([&] { return k_.responses.size() == 2; }, kBoundMs));
  EXPECT_EQ(k_.responses[1].row, 8);
  EXPECT_TRUE(server_printed(again, "request request_altitude_value"));
}

}  // namespace

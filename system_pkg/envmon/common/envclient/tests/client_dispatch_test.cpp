// A client and a server on one event loop over the real transport: requests
// reach their handlers, answers reach the callback of their kind with the
// request's cookie, and the client's ownership rules hold.
#include <gtest/gtest.h>

#include <cstdlib>
#include <thread>

#include "envmon_client_texts.h"
#include "svc_testkit.h"
#include "tlg_test.h"

using namespace svc_test;
namespace T = envmon_client_text;

namespace {

class ClientDispatch : public ::testing::Test {
 protected:
  void SetUp() override { k_.connect_pair(); }
  // Sends a request and waits until the server's handler has it.
  const Request& request(uint32_t id, const void* payload, void* cookie) {
    const size_t before = k_.requests.size();
    EXPECT_EQ(send_request(k_.client, id, payload, cookie), 0);
    EXPECT_TRUE(k_.run_until([&] { return k_.requests.size() > before; }))
        << "request " << id << " did not arrive";
    return k_.requests.back();
  }
  bool wait_responses(size_t n) {
    return k_.run_until([&] { return k_.responses.size() >= n; });
  }
  Kit k_;
};

TEST_F(ClientDispatch, EveryRequestAndItsAnswerArriveWithAllFieldsIntact) {
  int cookies[16];
  for (const envmon_msg_desc* req : requests()) {
    SCOPED_TRACE(req->sender);
    const envmon_any_payload sent = sample(req);
    const Request& got = request(req->id, &sent, &cookies[req->id]);
    EXPECT_EQ(got.id, req->id);
    ASSERT_TRUE(got.has_payload);
    EXPECT_EQ(got.payload, encode_payload(req, &sent));

    const uint32_t answer = answer_of(req->id);
    if (answer == 0) {
      EXPECT_EQ(got.request_id, 0u) << "one-way requests carry no request id";
      continue;
    }
    const envmon_msg_desc* resp = envmon_wire_server_msg(answer);
    const envmon_any_payload reply = sample(resp);
    const size_t before = k_.responses.size();
    ASSERT_EQ(send_server_msg(got.client, answer, &reply, 1, 0, got.request_id), 0);
    ASSERT_TRUE(wait_responses(before + 1));
    const Response& r = k_.responses.back();
    EXPECT_EQ(r.row, resp->row);
    EXPECT_EQ(r.cookie, &cookies[req->id]);
    EXPECT_EQ(r.final, 1);
    EXPECT_EQ(r.status, 0);
    ASSERT_TRUE(r.has_payload);
    EXPECT_EQ(r.payload, encode_payload(resp, &reply));
  }
}

TEST_F(ClientDispatch, IdElevenIsTheOperStateRequestOneWayAndTheAltitudeAnswerTheOtherWay) {
  const envmon_any_payload op = sample(envmon_wire_request(ENVMON_REQ_OPER_STATE_SET));
  const Request& one_way = request(ENVMON_REQ_OPER_STATE_SET, &op, nullptr);
  EXPECT_EQ(one_way.id, 11u);

  int cookie = 0;
  const request_altitude_value ask{};
  const Request& alt = request(ENVMON_REQ_ALTITUDE_VALUE, &ask, &cookie);
  resp_altitude_value reply{};
  reply.altitude_config = 1800;
  reply.present = RESP_ALTITUDE_VALUE_HAS_ALTITUDE_CONFIG;
  ASSERT_EQ(envmon_resp_altitude_value(alt.client, &reply, 1, 0, alt.request_id), 0);
  ASSERT_TRUE(wait_responses(1));
  ASSERT_EQ(k_.responses[0].row, 8) << "message 11 from the server is the altitude answer";
  resp_altitude_value back;
  Kit::decode(envmon_wire_server_msg(11), k_.responses[0].payload, &back);
  EXPECT_EQ(back.present, RESP_ALTITUDE_VALUE_HAS_ALTITUDE_CONFIG);
  EXPECT_EQ(back.altitude_config, 1800);
}

TEST_F(ClientDispatch, NotificationsReachTheirCallbacksWithAllFields) {
  ASSERT_EQ(k_.established.size(), 1u);
  for (uint32_t id : {ENVMON_NOTIF_SYS_PWR_DATA, ENVMON_NOTIF_FRU_PWR_ALLOC_DATA}) {
    const envmon_msg_desc* m = envmon_wire_server_msg(id);
    const envmon_any_payload sent = sample(m);
    const size_t before = k_.responses.size();
    ASSERT_EQ(send_server_msg(k_.established[0], id, &sent, 1, 0, 0), 0);
    ASSERT_TRUE(wait_responses(before + 1));
    EXPECT_EQ(k_.responses.back().row, id == ENVMON_NOTIF_SYS_PWR_DATA ? kRowNotifSys : kRowNotifFru);
    EXPECT_EQ(k_.responses.back().payload, encode_payload(m, &sent));
  }
}

TEST_F(ClientDispatch, ResponsesWithFinalZeroKeepTheRequestUntilTheFinalOne) {
  int cookie = 0;
  const run_test t{5, RUN_TEST_HAS_TEST_ID, 0, 0};
  const Request& got = request(ENVMON_REQ_RUN_TEST, &t, &cookie);
  const resp_test reply{};
  struct Step {
    int final_arg;
    uint8_t final_seen;
  };
  constexpr Step kSteps[] = {{0, 0}, {2, 0}, {3, 1}};
  for (const auto& s : kSteps) {
    ASSERT_EQ(envmon_resp_test(got.client, &reply, s.final_arg, 0, got.request_id), 0);
  }
  ASSERT_TRUE(wait_responses(3));
  for (size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(k_.responses[i].final, kSteps[i].final_seen);
    EXPECT_EQ(k_.responses[i].cookie, &cookie);
  }
  // After the final answer the request id is no longer pending.
  tlg_test_clear(T::kInfoBuffer);
  ASSERT_EQ(envmon_resp_test(got.client, &reply, 1, 0, got.request_id), 0);
  const std::string dropped = format(T::kNoPendingEntry, static_cast<int>(got.request_id));
  ASSERT_TRUE(k_.run_until([&] { return trace_count(T::kInfoBuffer, dropped) == 1; }));
  EXPECT_EQ(k_.responses.size(), 3u);
}

TEST_F(ClientDispatch, NegativeStatusReachesTheCallbackWithoutPayload) {
  int cookie = 0;
  const envmon_any_payload sv = sample(envmon_wire_request(ENVMON_REQ_SENSOR_VALUE_SET));
  const Request& got = request(ENVMON_REQ_SENSOR_VALUE_SET, &sv, &cookie);
  const resp_sensor_value empty{};
  ASSERT_EQ(envmon_resp_sensor_value_set(got.client, &empty, 1, -1, got.request_id), 0);
  ASSERT_TRUE(wait_responses(1));
  EXPECT_FALSE(k_.responses[0].has_payload);
  EXPECT_EQ(k_.responses[0].status, -1);
  EXPECT_EQ(k_.responses[0].cookie, &cookie);
  EXPECT_EQ(envmon_get_error_code(k_.client), -1);
}

TEST_F(ClientDispatch, AnswerWithoutCallbackIsTracedAndStillEndsTheRequest) {
  envmon_set_resp_dbg_flag_callback(k_.client, nullptr);
  const set_dbg_flag f{13, SET_DBG_FLAG_HAS_DBG_FLAG, 0, 0};
  const Request& got = request(ENVMON_REQ_SET_DBG_FLAG, &f, nullptr);
  const resp_dbg_flag reply{};
  ASSERT_EQ(envmon_resp_dbg_flag(got.client, &reply, 1, 0, got.request_id), 0);
  const std::string unset = format(T::kNotConfigured, "resp_dbg_flag");
  ASSERT_TRUE(k_.run_until([&] { return trace_count(T::kErrorBuffer, unset) == 1; }));
  ASSERT_EQ(envmon_resp_dbg_flag(got.client, &reply, 1, 0, got.request_id), 0);
  const std::string dropped = format(T::kNoPendingEntry, static_cast<int>(got.request_id));
  EXPECT_TRUE(k_.run_until([&] { return trace_count(T::kInfoBuffer, dropped) == 1; }));
  EXPECT_TRUE(k_.responses.empty());
}

TEST_F(ClientDispatch, AKeptRecordBelongsToTheCallback) {
  const envmon_msg_desc* m = envmon_wire_server_msg(ENVMON_RESP_POWER_BUDGET);
  power_budget kept{};
  k_.on_response = [&](const Response&, void* payload) {
    auto* rec = static_cast<power_budget*>(payload);
    rec->keep = 1;
    kept = *rec;
  };
  const envmon_any_payload ask = sample(envmon_wire_request(ENVMON_REQ_POWER_BUDGET));
  const Request& got = request(ENVMON_REQ_POWER_BUDGET, &ask, nullptr);
  const envmon_any_payload reply = sample(m);
  ASSERT_EQ(envmon_power_budget(got.client, &reply.power_budget, 1, 0, got.request_id), 0);
  ASSERT_TRUE(wait_responses(1));
  // The entity id's levels were allocated by the decoder and are still valid.
  ASSERT_NE(kept.eid.tsi, nullptr);
  EXPECT_EQ(kept.eid.tsi_count, 3u);
  EXPECT_EQ(kept.eid.tsi[2].subtype, 29u);
  msgcodec_power_budget_free_ext(&kept, free);
}

TEST_F(ClientDispatch, DestroyingTheHandleInsideACallbackIsSafe) {
  struct Case {
    const char* name;
    int32_t status;
    int final_arg;
  };
  constexpr Case kCases[] = {{"final answer", 0, 1}, {"partial answer", 0, 0},
                             {"refusal", -1, 1}};
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    if (k_.client == nullptr) {
      k_.start_client();
      ASSERT_TRUE(k_.run_until([&] { return !k_.client_connects.empty(); }));
    }
    k_.client_connects.clear();
    k_.responses.clear();
    k_.on_response = [&](const Response&, void*) {
      envmon_handle_destroy(k_.client);
      k_.client = nullptr;
    };
    const run_test t{1, RUN_TEST_HAS_TEST_ID, 0, 0};
    const Request& got = request(ENVMON_REQ_RUN_TEST, &t, nullptr);
    const resp_test reply{};
    ASSERT_EQ(envmon_resp_test(got.client, &reply, c.final_arg, c.status, got.request_id), 0);
    ASSERT_TRUE(wait_responses(1));
    k_.on_response = nullptr;
    // The handle is freed by the loop after the event: nothing else happens.
    k_.run_idle();
    EXPECT_EQ(trace_count(T::kInfoBuffer, "delayed_ev: freeing handle"), 1u);
    tlg_test_clear(T::kInfoBuffer);
  }
}

TEST_F(ClientDispatch, DestroyingTheHandleInsideTheConnectCallbackIsSafe) {
  envmon_handle_destroy(k_.client);
  k_.client = nullptr;
  k_.run_idle();
  k_.client_connects.clear();
  k_.on_client_connect = [&](int32_t) {
    envmon_handle_destroy(k_.client);
    k_.client = nullptr;
  };
  k_.start_client();
  ASSERT_TRUE(k_.run_until([&] { return !k_.client_connects.empty(); }));
  EXPECT_EQ(k_.client_connects[0], 0);
  k_.run_idle();
  EXPECT_EQ(k_.client, nullptr);
}

TEST_F(ClientDispatch, RequestsFromASecondThreadAreAllAnswered) {
  constexpr int kRequests = 300;
  k_.on_request = [&](const Request& r, void*) {
    const resp_test reply{};
    envmon_resp_test(r.client, &reply, 1, 0, r.request_id);
  };
  std::atomic<int> sent{0};
  std::thread sender([&] {
    const run_test t{2, RUN_TEST_HAS_TEST_ID, 0, 0};
    for (int i = 0; i < kRequests; ++i) {
      while (envmon_run_test(k_.client, &t, reinterpret_cast<void*>(static_cast<intptr_t>(i + 1))) != 0) {
        std::this_thread::yield();  // flow-controlled: the loop thread drains it
      }
      ++sent;
    }
  });
  const bool all = k_.run_until([&] { return k_.responses.size() == kRequests; }, 20000);
  sender.join();
  ASSERT_TRUE(all) << "answers " << k_.responses.size() << " of " << sent.load();
  std::vector<bool> seen(kRequests + 1, false);
  for (const auto& r : k_.responses) {
    const auto i = reinterpret_cast<intptr_t>(r.cookie);
    ASSERT_TRUE(i >= 1 && i <= kRequests);
    EXPECT_FALSE(seen[i]) << "cookie " << i << " answered twice";
    seen[i] = true;
  }
}

}  // namespace

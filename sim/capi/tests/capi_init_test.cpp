// INIT frames on a real loopback connection, and process-wide unique ids.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <set>
#include <thread>
#include <vector>

#include "capi.h"
#include "evloop.h"
#include "evloop_test.h"
#include "msgpipe.h"

namespace {

// One listener and one client connection on the same loop; the listener's
// side keeps the messages it receives.
struct Pair {
  evloop_t* loop = nullptr;
  msgpipe_handle_t* listener = nullptr;
  msgpipe_handle_t* client = nullptr;
  msgpipe_handle_t* accepted = nullptr;
  bool client_connected = false;
  std::vector<std::vector<uint8_t>> received;

  static void on_event(msgpipe_handle_t* h, uint32_t event, int failed, void* buf, int32_t size, uint32_t) {
    auto* self = static_cast<Pair*>(msgpipe_handle_get_user_context(h));
    switch (event) {
      case MSGPIPE_EV_CONNECTED:
        if (failed) break;
        if (h == self->client) {
          self->client_connected = true;
        } else {
          self->accepted = h;
        }
        break;
      case MSGPIPE_EV_RECEIVE_READY: {
        void* b = std::malloc(size > 0 ? static_cast<size_t>(size) : 1);
        if (msgpipe_receive(h, b, static_cast<uint32_t>(size), 0, 0) != 0) std::free(b);
        break;
      }
      case MSGPIPE_EV_RECEIVED: {
        auto* p = static_cast<uint8_t*>(buf);
        if (!failed) self->received.emplace_back(p, p + size);
        std::free(buf);
        break;
      }
      case MSGPIPE_EV_SENT:
        std::free(buf);
        break;
      default:
        break;
    }
  }

  template <typename F>
  bool run_until(F done) {
    return evloop_test_wait_for(loop, done, 10000);
  }

  void set_up() {
    loop = evloop_create("capi_init_test");
    ASSERT_NE(loop, nullptr);
    ASSERT_EQ(msgpipe_handle_create(0, &listener), 0);
    msgpipe_handle_set_user_context(listener, this);
    ASSERT_EQ(evloop_attach_msgpipe_handle(loop, listener, on_event), 0);
    msgpipe_endpoint ep;
    msgpipe_endpoint_set(&ep, 0x7f000001, 0);
    ASSERT_EQ(msgpipe_bind(listener, 0, &ep), 0);
    ASSERT_EQ(msgpipe_get_local_endpoint(listener, &ep), 0);

    ASSERT_EQ(msgpipe_handle_create(0, &client), 0);
    msgpipe_handle_set_user_context(client, this);
    ASSERT_EQ(evloop_attach_msgpipe_handle(loop, client, on_event), 0);
    ASSERT_EQ(msgpipe_connect(client, 0, &ep), 0);
    ASSERT_TRUE(run_until([&] { return client_connected && accepted != nullptr; }))
        << "loopback connection did not come up";
  }

  ~Pair() {
    if (client) msgpipe_handle_destroy(client);
    if (accepted) msgpipe_handle_destroy(accepted);
    if (listener) msgpipe_handle_destroy(listener);
    if (loop) evloop_destroy(loop);
  }
};

uint32_t be32(const uint8_t* p) {
  return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
}

TEST(CapiInit, FrameCarriesTheHeaderWithPidAndProgramName) {
  Pair pair;
  ASSERT_NO_FATAL_FAILURE(pair.set_up());
  ASSERT_EQ(capi_send_init_msg(pair.client, "envmon", CAPI_INIT_MSG_ID, 321, 0x7f000001, "0.0.1"), 0);
  ASSERT_TRUE(pair.run_until([&] { return !pair.received.empty(); })) << "INIT frame never arrived";

  const std::vector<uint8_t>& frame = pair.received.front();
  ASSERT_GE(frame.size(), 4u);
  const uint32_t header_len = be32(frame.data());
  EXPECT_EQ(frame.size(), 4u + header_len) << "INIT carries no payload";

  capi_header h;
  ASSERT_EQ(msgcodec_capi_header_decode_ext(&h, frame.data() + 4, header_len, malloc, nullptr, 0),
            static_cast<int>(header_len));
  EXPECT_EQ(h.msg_id, CAPI_INIT_MSG_ID);
  EXPECT_STREQ(h.service_name, "envmon");
  EXPECT_EQ(h.node_addr, 0x7f000001u);
  EXPECT_EQ(h.pid, static_cast<uint32_t>(getpid()));
  EXPECT_STREQ(h.version, "0.0.1");
  ASSERT_NE(h.program_name, nullptr);
  EXPECT_STREQ(h.program_name, program_invocation_name) << "argv[0] of this test program";
  EXPECT_EQ(h.unique_id, 321u);
  EXPECT_FALSE(msgcodec_test_bit(h.present, CAPI_HEADER_BIT_REQUEST_ID));
  EXPECT_FALSE(msgcodec_test_bit(h.present, CAPI_HEADER_BIT_STATUS));
  msgcodec_capi_header_free_ext(&h, free, nullptr);
}

TEST(CapiInit, NotSentWithoutAConnectionOrArguments) {
  msgpipe_handle_t* idle = nullptr;
  ASSERT_EQ(msgpipe_handle_create(0, &idle), 0);
  // The frame stays with capi and is released (the asan build checks).
  EXPECT_NE(capi_send_init_msg(idle, "envmon", CAPI_INIT_MSG_ID, 1, 0, "0.0.1"), 0);
  EXPECT_EQ(capi_send_init_msg(idle, nullptr, CAPI_INIT_MSG_ID, 1, 0, "0.0.1"), -1);
  EXPECT_EQ(capi_send_init_msg(nullptr, "envmon", CAPI_INIT_MSG_ID, 1, 0, "0.0.1"), -1);
  msgpipe_handle_destroy(idle);
}

TEST(CapiUniqueId, DistinctAcrossThreads) {
  constexpr int kThreads = 4;
  constexpr int kPerThread = 20000;
  std::vector<std::vector<uint32_t>> got(kThreads);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&got, t] {
      for (int k = 0; k < kPerThread; ++k) got[t].push_back(capi_get_unique_id_in_process());
    });
  }
  for (auto& th : threads) th.join();
  std::set<uint32_t> all;
  for (const auto& v : got) {
    for (uint32_t id : v) {
      EXPECT_NE(id, 0u);
      all.insert(id);
    }
  }
  EXPECT_EQ(all.size(), static_cast<size_t>(kThreads * kPerThread)) << "some id was handed out twice";
}

}  // namespace

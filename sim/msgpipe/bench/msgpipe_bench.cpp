// Raw transport round trip on loopback: a client sends a message, an echo
// server on its own thread and loop sends it back. This is the floor that the
// service interface's request/response is measured against.
//
//   build/default/bin/msgpipe_bench
#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <deque>
#include <future>
#include <thread>
#include <utility>

#include "evloop.h"
#include "msgpipe.h"

namespace {

constexpr uint32_t kLoopback = 0x7f000001u;

// ---- echo server ----

struct Echo {
  std::deque<std::pair<void*, int32_t>> held;  // refused by flow control, sent on resume
};

void echo_send(msgpipe_handle_t* h, Echo* e, void* buf, int32_t size) {
  if (!e->held.empty() || msgpipe_send(h, buf, static_cast<uint32_t>(size), 0, 0) != 0) {
    e->held.emplace_back(buf, size);
  }
}

void echo_handler(msgpipe_handle_t* h, uint32_t event, int failed, void* buf, int32_t size,
                  uint32_t) {
  auto* e = static_cast<Echo*>(msgpipe_handle_get_user_context(h));
  switch (event) {
    case MSGPIPE_EV_RECEIVE_READY: {
      void* b = malloc(size > 0 ? static_cast<size_t>(size) : 1);
      if (msgpipe_receive(h, b, static_cast<uint32_t>(size), 0, 0) != 0) free(b);
      break;
    }
    case MSGPIPE_EV_RECEIVED:
      echo_send(h, e, buf, size);
      break;
    case MSGPIPE_EV_SENT:
      free(buf);
      break;
    case MSGPIPE_EV_FLOW_RESUMED:
      while (!e->held.empty() &&
             msgpipe_send(h, e->held.front().first, static_cast<uint32_t>(e->held.front().second),
                          0, 0) == 0) {
        e->held.pop_front();
      }
      break;
    case MSGPIPE_EV_DISCONNECTED:
      for (auto& [b, n] : e->held) free(b);
      e->held.clear();
      msgpipe_handle_destroy(h);
      break;
    default:
      (void)failed;
      break;
  }
}

class EchoServer {
 public:
  EchoServer() {
    std::promise<uint32_t> port;
    auto port_future = port.get_future();
    thread_ = std::thread([this, &port] {
      loop_ = evloop_create("echo", 0);
      msgpipe_handle_create(0, &listener_);
      msgpipe_handle_set_user_context(listener_, &echo_);
      evloop_attach_msgpipe_handle(loop_, listener_, echo_handler);
      msgpipe_endpoint ep{};
      msgpipe_endpoint_set(&ep, kLoopback, 0);
      msgpipe_bind(listener_, 0, &ep, nullptr);
      msgpipe_get_local_endpoint(listener_, &ep);
      port.set_value(ep.port);
      evloop_block(loop_, 0);
      msgpipe_handle_destroy(listener_);
      evloop_destroy(loop_);
    });
    port_ = port_future.get();
  }
  ~EchoServer() {
    evloop_stop(loop_);
    thread_.join();
  }
  uint32_t port() const { return port_; }

 private:
  std::thread thread_;
  evloop_t* loop_ = nullptr;
  msgpipe_handle_t* listener_ = nullptr;
  Echo echo_;
  uint32_t port_ = 0;
};

// ---- client ----

struct Client {
  evloop_t* loop = nullptr;
  msgpipe_handle_t* h = nullptr;
  bool connected = false;
  bool failed = false;
  int64_t replies = 0;
};

void client_handler(msgpipe_handle_t* h, uint32_t event, int failed, void* buf, int32_t size,
                    uint32_t) {
  auto* c = static_cast<Client*>(msgpipe_handle_get_user_context(h));
  switch (event) {
    case MSGPIPE_EV_CONNECTED:
      c->connected = !failed;
      c->failed = failed != 0;
      break;
    case MSGPIPE_EV_RECEIVE_READY: {
      void* b = malloc(size > 0 ? static_cast<size_t>(size) : 1);
      if (msgpipe_receive(h, b, static_cast<uint32_t>(size), 0, 0) != 0) free(b);
      break;
    }
    case MSGPIPE_EV_RECEIVED:
      ++c->replies;
      free(buf);
      break;
    case MSGPIPE_EV_SENT:
      free(buf);
      break;
    case MSGPIPE_EV_DISCONNECTED:
      c->failed = true;
      break;
    default:
      break;
  }
}

bool connect_client(Client* c, uint32_t port) {
  c->loop = evloop_create("bench_client", 0);
  msgpipe_handle_create(0, &c->h);
  msgpipe_handle_set_user_context(c->h, c);
  evloop_attach_msgpipe_handle(c->loop, c->h, client_handler);
  msgpipe_endpoint ep{};
  msgpipe_endpoint_set(&ep, kLoopback, port);
  if (msgpipe_connect(c->h, 0, &ep, nullptr) != 0) return false;
  while (!c->connected && !c->failed) evloop_run_once(c->loop, -1);
  return c->connected;
}

void close_client(Client* c) {
  msgpipe_handle_destroy(c->h);
  evloop_run_until_idle(c->loop);
  evloop_destroy(c->loop);
}

bool send_copy(Client* c, const std::string& payload) {
  void* buf = malloc(payload.empty() ? 1 : payload.size());
  memcpy(buf, payload.data(), payload.size());
  if (msgpipe_send(c->h, buf, static_cast<uint32_t>(payload.size()), 0, 0) != 0) {
    free(buf);
    return false;
  }
  return true;
}

// One message in flight: send, wait for the echo, repeat.
void BM_RoundTrip(benchmark::State& state) {
  EchoServer server;
  Client c;
  if (!connect_client(&c, server.port())) {
    state.SkipWithError("connect failed");
    return;
  }
  std::string payload(static_cast<size_t>(state.range(0)), 'p');
  for (auto _ : state) {
    int64_t want = c.replies + 1;
    if (!send_copy(&c, payload)) {
      state.SkipWithError("send refused");
      break;
    }
    while (c.replies < want && !c.failed) evloop_run_once(c.loop, -1);
  }
  state.SetItemsProcessed(state.iterations());
  state.SetBytesProcessed(state.iterations() * state.range(0) * 2);
  close_client(&c);
}

// Pipelined: each iteration sends a batch of messages back to back and waits
// for all their echoes; items_per_second is the message rate.
void BM_Pipelined(benchmark::State& state) {
  EchoServer server;
  Client c;
  if (!connect_client(&c, server.port())) {
    state.SkipWithError("connect failed");
    return;
  }
  const size_t size = static_cast<size_t>(state.range(0));
  std::string payload(size, 'p');
  // Keep the batch within the transport's send queue.
  const int64_t batch = std::clamp<int64_t>(static_cast<int64_t>((4u << 20) / (size + 1)), 1, 32);
  for (auto _ : state) {
    int64_t want = c.replies + batch;
    for (int64_t i = 0; i < batch; ++i) {
      if (!send_copy(&c, payload)) {
        state.SkipWithError("send refused");
        break;
      }
    }
    while (c.replies < want && !c.failed) evloop_run_once(c.loop, -1);
  }
  state.counters["batch"] = static_cast<double>(batch);
  state.SetItemsProcessed(state.iterations() * batch);
  state.SetBytesProcessed(state.iterations() * batch * state.range(0) * 2);
  close_client(&c);
}

BENCHMARK(BM_RoundTrip)->Arg(16)->Arg(256)->Arg(4096)->Arg(65536)->Arg(1 << 20)->UseRealTime();
BENCHMARK(BM_Pipelined)->Arg(16)->Arg(256)->Arg(4096)->Arg(65536)->Arg(1 << 20)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();

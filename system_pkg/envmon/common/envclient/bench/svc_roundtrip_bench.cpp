// Round trip of the monitoring service (altitude request 13 answered by
// message 11) against the raw transport carrying messages of the same sizes,
// one in flight and pipelined. The server runs on its own thread and loop in
// both cases; the client on the benchmark's thread.
//
//   build/default/bin/envmon_svc_bench
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <cstring>
#include <future>
#include <thread>

#include "envclient.h"
#include "envmon_wire.h"
#include "envmon_wire_texts.h"
#include "envserve.h"

namespace {

constexpr uint32_t kLoopback = 0x7f000001u;
constexpr int64_t kBatch = 32;

// Frame sizes of the two messages, as the libraries build them.
uint32_t frame_size(const envmon_msg_desc* m, const void* payload) {
  envmon_wire_side side{nullptr, nullptr, nullptr, nullptr, nullptr, kLoopback};
  uint8_t* f = nullptr;
  uint32_t len = 0;
  envmon_wire_build(&side, m, payload, 1, 0, 1, 1, &f, &len);
  free(f);
  return len;
}

resp_altitude_value answer() {
  resp_altitude_value r{};
  r.altitude_config = 1800;
  r.present = RESP_ALTITUDE_VALUE_HAS_ALTITUDE_CONFIG;
  return r;
}

// A server of either kind on its own thread.
class ServerThread {
 public:
  explicit ServerThread(bool raw) : raw_(raw) {
    std::promise<uint32_t> port;
    auto ready = port.get_future();
    thread_ = std::thread([this, &port] {
      loop_ = evloop_create("bench_server", 0);
      msgpipe_endpoint ep{};
      msgpipe_endpoint_set(&ep, kLoopback, 0);
      msgpipe_handle_t* listening = nullptr;
      if (raw_) {
        msgpipe_handle_create(0, &listening);
        msgpipe_handle_set_user_context(listening, this);
        evloop_attach_msgpipe_handle(loop_, listening, raw_handler);
        msgpipe_bind(listening, 0, &ep, nullptr);
      } else {
        envmon_server_handle_create(&server_, loop_);
        envmon_server_set_connect_callback(server_, [](envmon_client_handle*, envmon_server_handle*, int32_t) {});
        envmon_server_set_disconnect_callback(server_, [](envmon_client_handle* c, int32_t) {
          envmon_client_handle_destroy(c);
        });
        envmon_server_set_error_callback(server_, [](envmon_client_handle*, envmon_server_handle*, int32_t) {});
        envmon_server_set_request_altitude_value_callback(server_, [](envmon_client_handle* c, void*, uint32_t rid) {
          const resp_altitude_value r = answer();
          envmon_resp_altitude_value(c, &r, 1, 0, rid);
        });
        envmon_server_bind(server_, &ep);
        listening = envmon_server_get_transport(server_);
      }
      msgpipe_get_local_endpoint(listening, &ep);
      port.set_value(ep.port);
      evloop_block(loop_, 0);
      if (raw_) {
        msgpipe_handle_destroy(listening);
      } else {
        envmon_server_handle_destroy(server_);
      }
      evloop_run_until_idle(loop_);
      evloop_destroy(loop_);
    });
    port_ = ready.get();
  }
  ~ServerThread() {
    evloop_stop(loop_);
    thread_.join();
  }
  uint32_t port() const { return port_; }
  // The size of the raw server's answers.
  static uint32_t raw_reply_size;

 private:
  static void raw_handler(msgpipe_handle_t* h, uint32_t event, int, void* buf, int32_t size,
                          uint32_t) {
    switch (event) {
      case MSGPIPE_EV_CONNECTED:  // as the service server sets its connections
        msgpipe_set_option(h, MSGPIPE_OPT_NODELAY, 1);
        break;
      case MSGPIPE_EV_RECEIVE_READY: {
        void* b = malloc(size > 0 ? static_cast<size_t>(size) : 1);
        if (msgpipe_receive(h, b, static_cast<uint32_t>(size), 0, 0) != 0) free(b);
        break;
      }
      case MSGPIPE_EV_RECEIVED: {
        free(buf);
        void* reply = calloc(1, raw_reply_size);
        if (msgpipe_send(h, reply, raw_reply_size, 0, 0) != 0) free(reply);
        break;
      }
      case MSGPIPE_EV_SENT:
        free(buf);
        break;
      case MSGPIPE_EV_DISCONNECTED:
        msgpipe_handle_destroy(h);
        break;
      default:
        break;
    }
  }

  bool raw_;
  std::thread thread_;
  evloop_t* loop_ = nullptr;
  envmon_server_handle* server_ = nullptr;
  uint32_t port_ = 0;
};
uint32_t ServerThread::raw_reply_size = 0;

// ---- service client ----

struct SvcClient {
  evloop_t* loop = nullptr;
  envmon_handle* h = nullptr;
  int connected = 0;
  int64_t answers = 0;
};
SvcClient* g_svc = nullptr;

bool start_svc(SvcClient* c, uint32_t port) {
  g_svc = c;
  c->loop = evloop_create("bench_client", 0);
  envmon_handle_create(&c->h, c->loop, c);
  envmon_set_connect_callback(c->h, [](envmon_handle*, int32_t st, void*) {
    g_svc->connected = st == 0 ? 1 : -1;
  });
  envmon_set_resp_altitude_value_callback(c->h, [](envmon_handle*, void*, uint8_t, int32_t, void*) {
    ++g_svc->answers;
  });
  msgpipe_endpoint ep{};
  msgpipe_endpoint_set(&ep, kLoopback, port);
  envmon_connect_with_endpoint(c->h, &ep, c);
  while (c->connected == 0) evloop_run_once(c->loop, -1);
  return c->connected == 1;
}

void stop_svc(SvcClient* c) {
  envmon_handle_destroy(c->h);
  evloop_run_until_idle(c->loop);
  evloop_destroy(c->loop);
}

// ---- raw client ----

struct RawClient {
  evloop_t* loop = nullptr;
  msgpipe_handle_t* h = nullptr;
  int connected = 0;
  int64_t answers = 0;
};

void raw_client_handler(msgpipe_handle_t* h, uint32_t event, int failed, void* buf, int32_t size,
                        uint32_t) {
  auto* c = static_cast<RawClient*>(msgpipe_handle_get_user_context(h));
  switch (event) {
    case MSGPIPE_EV_CONNECTED:
      c->connected = failed ? -1 : 1;
      break;
    case MSGPIPE_EV_RECEIVE_READY: {
      void* b = malloc(size > 0 ? static_cast<size_t>(size) : 1);
      if (msgpipe_receive(h, b, static_cast<uint32_t>(size), 0, 0) != 0) free(b);
      break;
    }
    case MSGPIPE_EV_RECEIVED:
      ++c->answers;
      free(buf);
      break;
    case MSGPIPE_EV_SENT:
      free(buf);
      break;
    default:
      break;
  }
}

bool start_raw(RawClient* c, uint32_t port) {
  c->loop = evloop_create("bench_client", 0);
  msgpipe_handle_create(0, &c->h);
  msgpipe_handle_set_user_context(c->h, c);
  evloop_attach_msgpipe_handle(c->loop, c->h, raw_client_handler);
  msgpipe_set_option(c->h, MSGPIPE_OPT_NODELAY, 1);
  msgpipe_endpoint ep{};
  msgpipe_endpoint_set(&ep, kLoopback, port);
  msgpipe_connect(c->h, 0, &ep, nullptr);
  while (c->connected == 0) evloop_run_once(c->loop, -1);
  return c->connected == 1;
}

void stop_raw(RawClient* c) {
  msgpipe_handle_destroy(c->h);
  evloop_run_until_idle(c->loop);
  evloop_destroy(c->loop);
}

uint32_t request_size() {
  const request_altitude_value ask{};
  return frame_size(envmon_wire_request(ENVMON_REQ_ALTITUDE_VALUE), &ask);
}
uint32_t reply_size() {
  const resp_altitude_value r = answer();
  return frame_size(envmon_wire_server_msg(ENVMON_RESP_ALTITUDE_VALUE), &r);
}

bool raw_send(RawClient* c, uint32_t size) {
  void* buf = calloc(1, size);
  if (msgpipe_send(c->h, buf, size, 0, 0) == 0) return true;
  free(buf);
  return false;
}

void BM_ServiceRoundTrip(benchmark::State& state) {
  ServerThread server(false);
  SvcClient c;
  if (!start_svc(&c, server.port())) {
    state.SkipWithError("no handshake");
    return;
  }
  const request_altitude_value ask{};
  for (auto _ : state) {
    const int64_t want = c.answers + 1;
    if (envmon_request_altitude_value(c.h, &ask, nullptr) != 0) {
      state.SkipWithError("request refused");
      break;
    }
    while (c.answers < want) evloop_run_once(c.loop, -1);
  }
  state.SetItemsProcessed(state.iterations());
  state.counters["request_bytes"] = request_size();
  state.counters["answer_bytes"] = reply_size();
  stop_svc(&c);
}

void BM_RawRoundTrip(benchmark::State& state) {
  ServerThread::raw_reply_size = reply_size();
  ServerThread server(true);
  RawClient c;
  if (!start_raw(&c, server.port())) {
    state.SkipWithError("connect failed");
    return;
  }
  const uint32_t size = request_size();
  for (auto _ : state) {
    const int64_t want = c.answers + 1;
    if (!raw_send(&c, size)) {
      state.SkipWithError("send refused");
      break;
    }
    while (c.answers < want) evloop_run_once(c.loop, -1);
  }
  state.SetItemsProcessed(state.iterations());
  state.counters["request_bytes"] = size;
  state.counters["answer_bytes"] = ServerThread::raw_reply_size;
  stop_raw(&c);
}

// Pipelined from one client: a batch of requests back to back, then all
// their answers; items_per_second is the request rate.
void BM_ServicePipelined(benchmark::State& state) {
  ServerThread server(false);
  SvcClient c;
  if (!start_svc(&c, server.port())) {
    state.SkipWithError("no handshake");
    return;
  }
  const request_altitude_value ask{};
  for (auto _ : state) {
    const int64_t want = c.answers + kBatch;
    for (int64_t i = 0; i < kBatch; ++i) {
      if (envmon_request_altitude_value(c.h, &ask, nullptr) != 0) {
        state.SkipWithError("request refused");
        break;
      }
    }
    while (c.answers < want) evloop_run_once(c.loop, -1);
  }
  state.SetItemsProcessed(state.iterations() * kBatch);
  stop_svc(&c);
}

void BM_RawPipelined(benchmark::State& state) {
  ServerThread::raw_reply_size = reply_size();
  ServerThread server(true);
  RawClient c;
  if (!start_raw(&c, server.port())) {
    state.SkipWithError("connect failed");
    return;
  }
  const uint32_t size = request_size();
  for (auto _ : state) {
    const int64_t want = c.answers + kBatch;
    for (int64_t i = 0; i < kBatch; ++i) {
      if (!raw_send(&c, size)) {
        state.SkipWithError("send refused");
        break;
      }
    }
    while (c.answers < want) evloop_run_once(c.loop, -1);
  }
  state.SetItemsProcessed(state.iterations() * kBatch);
  stop_raw(&c);
}

// The ten trace lines that one service round trip writes (each side: the
// sender's entry, sequence-chart source and success lines, the receiver's
// dispatch and sequence-chart sink lines), on this thread alone: the part of
// the round trip's cost that is the tracing library's.
void BM_TraceLinesOfOneRoundTrip(benchmark::State& state) {
  namespace W = envmon_wire_text;
  tlg_handle_t info[2] = {}, msc[2] = {};
  tlg_open_internal(&info[0], "envmon_capi_info", 4096, 237, "", "", nullptr);
  tlg_open_internal(&msc[0], "envmon_capi_msc", 4096, 237, "", "", nullptr);
  tlg_open_internal(&info[1], "envmon_capi_server_info", 4096, 209, "", "", nullptr);
  tlg_open_internal(&msc[1], "envmon_capi_server_msc", 4096, 209, "", "", nullptr);
  uint32_t uid = 0;
  for (auto _ : state) {
    for (int side = 0; side < 2; ++side) {
      const char* fn = side == 0 ? "envmon_request_altitude_value" : "envmon_resp_altitude_value";
      tlg_internal(info[side], W::kEntered, static_cast<void*>(&state));
      envmon_wire_msc_source(msc[side], fn, kLoopback, ++uid);
      tlg_internal(info[side], W::kSendOk, static_cast<void*>(&state), fn);
      tlg_internal(info[1 - side], W::kDispatched, fn + 7);
      envmon_wire_msc_sink(msc[1 - side], fn, kLoopback, 4242, uid);
    }
  }
  state.SetItemsProcessed(state.iterations());
}

BENCHMARK(BM_ServiceRoundTrip)->UseRealTime();
BENCHMARK(BM_TraceLinesOfOneRoundTrip);
BENCHMARK(BM_RawRoundTrip)->UseRealTime();
BENCHMARK(BM_ServicePipelined)->UseRealTime();
BENCHMARK(BM_RawPipelined)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();

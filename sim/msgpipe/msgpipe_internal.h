// What the transport's source files share: the handle record and the helpers
// that move events from the socket side to the handler.
#pragma once

#include <pthread.h>

#include <atomic>
#include <deque>
#include <string>
#include <vector>

#include "msgpipe.h"

namespace msgpipe {

// Event kind of the queue that is not a transport event: "the first message
// of the inbox is offered" (delivered as MSGPIPE_EV_RECEIVE_READY).
constexpr uint32_t kOfferMessage = 0x100;

struct Event {
  uint32_t event;
  int failed;
  void* buf;
  int32_t size;
  uint32_t flags;
  msgpipe_handle_t* subject;  // accepted connection (event 4 of a listener), ref held
};

struct SendItem {
  uint8_t header[4];  // big-endian message length
  void* buf;
  uint32_t len;
  uint32_t tag;
  size_t written;  // of the 4 + len bytes
};

enum class State { kIdle, kDelaying, kConnecting, kConnected, kListening };

const char* state_name(State s);

}  // namespace msgpipe

struct msgpipe_handle {
  // The connection's mutex, recursive: callers hold it around sends and the
  // transport takes it for every change below. Never held while the handler
  // runs. Lock order: this mutex, then the loop's.
  pthread_mutex_t mutex;
  std::atomic<int> refs{1};  // the owner's, plus one per pending callback into the handle

  std::string name = "msgpipe";
  void* user_ctx = nullptr;
  evloop_t* loop = nullptr;
  msgpipe_event_handler_t handler = nullptr;

  msgpipe::State state = msgpipe::State::kIdle;
  bool destroyed = false;
  int fd = -1;
  uint32_t registered = 0;  // event mask the fd is attached with, 0: not attached
  int error = 0;

  msgpipe_endpoint remote{};
  bool has_remote = false;
  msgpipe_endpoint local{};
  bool has_local = false;
  uint32_t connect_delay_ms = 0;
  uint64_t delay_timer = 0;

  // Sending.
  std::deque<msgpipe::SendItem> sendq;
  size_t queued_bytes = 0;
  uint32_t max_messages = 1024;
  uint32_t max_bytes = 8u * 1024u * 1024u;
  bool flow_blocked = false;

  // Receiving: bytes read and not yet framed, and whole messages not yet taken.
  std::vector<uint8_t> rx;
  size_t rx_len = 0;
  std::deque<std::vector<uint8_t>> inbox;
  bool offering = false;  // a message is offered to the handler right now

  // Events waiting for the handler, and whether a drain is queued on the loop.
  std::deque<msgpipe::Event> events;
  bool drain_queued = false;
  bool flush_queued = false;  // a write of the send queue is queued on the loop

  // Options.
  std::string peer_description;
  std::string local_description;
  int nodelay = 1;
  int keepalive_probes = 0;
  int user_timeout_s = 0;

  tlg_handle_t tlg_info = nullptr;
  tlg_handle_t tlg_error = nullptr;
  tlg_handle_t tlg_conn = nullptr;
};

namespace msgpipe {

// Holds a handle's mutex for a scope.
class Lock {
 public:
  explicit Lock(msgpipe_handle_t* h) : h_(h) { pthread_mutex_lock(&h_->mutex); }
  ~Lock() { pthread_mutex_unlock(&h_->mutex); }
  Lock(const Lock&) = delete;
  Lock& operator=(const Lock&) = delete;

 private:
  msgpipe_handle_t* h_;
};

void ref(msgpipe_handle_t* h);
void unref(msgpipe_handle_t* h);

// Caller holds h->mutex.
void push_event(msgpipe_handle_t* h, const Event& ev);
// Queues a drain on the loop (after the current event). Caller holds h->mutex.
void schedule_drain(msgpipe_handle_t* h);
// Delivers queued events now. Caller must not hold h->mutex and must be on the
// loop's thread, outside any handler of this handle.
void drain(msgpipe_handle_t* h);
// Makes the fd's registration match the state. Caller holds h->mutex.
void update_interest(msgpipe_handle_t* h);
// Closes the socket; returns queued buffers failed, then event 5 with flags
// (for a connection), or event 4 failed (while connecting). Caller holds h->mutex.
void teardown(msgpipe_handle_t* h, bool user_initiated, uint32_t flags, int error);
// Closes the socket and frees everything queued, without events (destroy).
void discard_all(msgpipe_handle_t* h);
// Applies the options to the socket. Caller holds h->mutex.
void apply_options(msgpipe_handle_t* h);

// Trace helpers: into the handle's buffer, or the transport's own buffer.
void trace_conn(msgpipe_handle_t* h, const char* fmt, ...) __attribute__((format(printf, 2, 3)));
void trace_error(msgpipe_handle_t* h, const char* fmt, ...) __attribute__((format(printf, 2, 3)));
std::string endpoint_text(const msgpipe_endpoint& ep);

}  // namespace msgpipe

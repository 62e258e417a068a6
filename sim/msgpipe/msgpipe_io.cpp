// Sockets of the transport: connecting, listening, framing and the event
// queue that hands everything to the handler on the handle's loop.
//
// Frame on the socket: a 4-byte big-endian length, then that many bytes.
#include <arpa/inet.h>
#include <errno.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>

#include "msgpipe_internal.h"

namespace msgpipe {

namespace {

constexpr size_t kReadChunk = 256 * 1024;
constexpr int kMaxIov = 64;
constexpr int kAcceptBurst = 16;
constexpr uint32_t kLoopback = 0x7f000001u;

void io_handler(int fd, uint32_t events, void* ctx);

uint32_t be32(const uint8_t* p) {
  return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | uint32_t{p[3]};
}

sockaddr_in to_sockaddr(const msgpipe_endpoint& ep) {
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_port = htons(static_cast<uint16_t>(ep.port));
  sa.sin_addr.s_addr = htonl(ep.node_address);
  return sa;
}

msgpipe_endpoint from_sockaddr(const sockaddr_in& sa) {
  msgpipe_endpoint ep{};
  msgpipe_endpoint_set(&ep, ntohl(sa.sin_addr.s_addr), ntohs(sa.sin_port));
  return ep;
}

bool local_of(int fd, msgpipe_endpoint* ep) {
  sockaddr_in sa{};
  socklen_t len = sizeof sa;
  if (getsockname(fd, reinterpret_cast<sockaddr*>(&sa), &len) != 0) return false;
  *ep = from_sockaddr(sa);
  return true;
}

// Caller holds h->mutex.
void close_socket(msgpipe_handle_t* h) {
  if (h->fd < 0) return;
  if (h->registered != 0 && h->loop != nullptr) {
    evloop_attach_fd(h->loop, h->fd, 0, nullptr, 0, 0, nullptr, 0);
  }
  h->registered = 0;
  close(h->fd);
  h->fd = -1;
  h->has_local = false;
}

// Caller holds h->mutex.
void cancel_delay(msgpipe_handle_t* h) {
  if (h->delay_timer == 0) return;
  // The timer holds a reference; a cancelled timer will not drop it itself.
  if (evloop_timer_cancel(h->loop, h->delay_timer) == 0) h->refs.fetch_sub(1);
  h->delay_timer = 0;
}

void drain_item(void* arg) {
  auto* h = static_cast<msgpipe_handle_t*>(arg);
  {
    Lock lock(h);
    h->drain_queued = false;
  }
  drain(h);
  unref(h);
}

void flush(msgpipe_handle_t* h);

void flush_item(void* arg) {
  auto* h = static_cast<msgpipe_handle_t*>(arg);
  {
    Lock lock(h);
    h->flush_queued = false;
    if (!h->destroyed && h->state == State::kConnected) flush(h);
  }
  drain(h);
  unref(h);
}

// Caller holds h->mutex. On the loop's own thread several sends made while one
// event is handled go out together, in one system call, right after it.
void flush_soon(msgpipe_handle_t* h) {
  if (evloop_current() != h->loop) {
    flush(h);
    return;
  }
  if (h->flush_queued) return;
  ref(h);
  if (evloop_delayed_ev_item_enqueue(h->loop, flush_item, h) != 0) {
    h->refs.fetch_sub(1);
    flush(h);
    return;
  }
  h->flush_queued = true;
}

// Caller holds h->mutex.
void connected(msgpipe_handle_t* h) {
  h->state = State::kConnected;
  h->error = 0;
  h->has_local = local_of(h->fd, &h->local);
  trace_conn(h, "connected to %s from %s", endpoint_text(h->remote).c_str(),
             endpoint_text(h->local).c_str());
  push_event(h, Event{MSGPIPE_EV_CONNECTED, 0, nullptr, 0, 0, nullptr});
  update_interest(h);
}

// Caller holds h->mutex.
void connect_failed(msgpipe_handle_t* h, int err) {
  close_socket(h);
  h->state = State::kIdle;
  h->error = -err;
  trace_conn(h, "connect to %s failed: %s", endpoint_text(h->remote).c_str(), strerror(err));
  push_event(h, Event{MSGPIPE_EV_CONNECTED, 1, nullptr, 0, 0, nullptr});
}

// Caller holds h->mutex.
void start_connect(msgpipe_handle_t* h) {
  int fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (fd < 0) {
    connect_failed(h, errno);
    return;
  }
  h->fd = fd;
  h->state = State::kConnecting;
  apply_options(h);
  sockaddr_in sa = to_sockaddr(h->remote);
  if (connect(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) == 0) {
    connected(h);
  } else if (errno == EINPROGRESS) {
    update_interest(h);
  } else {
    connect_failed(h, errno);
  }
}

void delayed_connect(void* arg) {
  auto* h = static_cast<msgpipe_handle_t*>(arg);
  {
    Lock lock(h);
    h->delay_timer = 0;
    if (!h->destroyed && h->state == State::kDelaying) start_connect(h);
  }
  drain(h);
  unref(h);
}

// Caller holds h->mutex.
void finish_connect(msgpipe_handle_t* h) {
  int err = 0;
  socklen_t len = sizeof err;
  if (getsockopt(h->fd, SOL_SOCKET, SO_ERROR, &err, &len) != 0) err = errno;
  if (err == 0) {
    connected(h);
  } else {
    connect_failed(h, err);
  }
}

// Caller holds h->mutex.
void flush(msgpipe_handle_t* h) {
  while (!h->sendq.empty()) {
    iovec iov[kMaxIov];
    int n = 0;
    for (auto it = h->sendq.begin(); it != h->sendq.end() && n + 2 <= kMaxIov; ++it) {
      if (it->written < 4) {
        iov[n++] = iovec{it->header + it->written, 4 - it->written};
        if (it->len > 0) iov[n++] = iovec{it->buf, it->len};
      } else {
        size_t done = it->written - 4;
        iov[n++] = iovec{static_cast<uint8_t*>(it->buf) + done, it->len - done};
      }
    }
    msghdr msg{};
    msg.msg_iov = iov;
    msg.msg_iovlen = static_cast<size_t>(n);
    ssize_t w = sendmsg(h->fd, &msg, MSG_NOSIGNAL);
    if (w < 0) {
      if (errno == EINTR) continue;
      if (errno == EAGAIN || errno == EWOULDBLOCK) break;
      int err = errno;
      trace_conn(h, "send to %s failed: %s", endpoint_text(h->remote).c_str(), strerror(err));
      teardown(h, false, 0, -err);
      return;
    }
    size_t left = static_cast<size_t>(w);
    while (left > 0) {
      SendItem& item = h->sendq.front();
      size_t take = std::min(left, 4 + size_t{item.len} - item.written);
      item.written += take;
      left -= take;
      if (item.written == 4 + size_t{item.len}) {
        push_event(h, Event{MSGPIPE_EV_SENT, 0, item.buf, static_cast<int32_t>(item.len), 0, nullptr});
        h->queued_bytes -= item.len;
        h->sendq.pop_front();
      }
    }
  }
  // Resume once the queue has room for a good share of its bound again.
  if (h->flow_blocked && h->sendq.size() <= h->max_messages / 2 &&
      h->queued_bytes <= h->max_bytes / 2) {
    h->flow_blocked = false;
    push_event(h, Event{MSGPIPE_EV_FLOW_RESUMED, 0, nullptr, 0, 0, nullptr});
  }
  update_interest(h);
}

// Caller holds h->mutex. Takes the whole messages out of the bytes read.
// False when the stream is bad (and the connection was closed).
bool frame(msgpipe_handle_t* h) {
  size_t pos = 0;
  while (h->rx_len - pos >= 4) {
    uint32_t len = be32(h->rx.data() + pos);
    if (len > MSGPIPE_MAX_MESSAGE) {
      trace_error(h, "frame of %u bytes from %s exceeds the limit of %u bytes; connection closed",
                  len, endpoint_text(h->remote).c_str(), MSGPIPE_MAX_MESSAGE);
      teardown(h, false, 0, -EPROTO);
      return false;
    }
    if (h->rx_len - pos - 4 < len) break;
    const uint8_t* body = h->rx.data() + pos + 4;
    h->inbox.emplace_back(body, body + len);
    push_event(h, Event{kOfferMessage, 0, nullptr, 0, 0, nullptr});
    pos += 4 + size_t{len};
  }
  if (pos > 0) {
    memmove(h->rx.data(), h->rx.data() + pos, h->rx_len - pos);
    h->rx_len -= pos;
  }
  return true;
}

// Caller holds h->mutex.
void read_some(msgpipe_handle_t* h) {
  size_t want = h->rx_len + kReadChunk;
  if (h->rx_len >= 4) want = std::max(want, 4 + size_t{be32(h->rx.data())});
  if (h->rx.size() < want) {
    h->rx.resize(want);
  } else if (h->rx.size() > 4 * kReadChunk && h->rx_len < kReadChunk) {
    // Give back the room of a large message once it has gone.
    h->rx.resize(want);
    h->rx.shrink_to_fit();
  }
  ssize_t n = read(h->fd, h->rx.data() + h->rx_len, h->rx.size() - h->rx_len);
  if (n > 0) {
    h->rx_len += static_cast<size_t>(n);
    frame(h);
    return;
  }
  if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) return;
  int err = n < 0 ? errno : 0;
  if (h->rx_len > 0) {
    trace_error(h, "connection from %s ended inside a message (%zu bytes of it received)",
                endpoint_text(h->remote).c_str(), h->rx_len);
  }
  trace_conn(h, "connection to %s closed by the peer%s%s", endpoint_text(h->remote).c_str(),
             err ? ": " : "", err ? strerror(err) : "");
  teardown(h, false, 0, -err);
}

// Caller holds h->mutex of the listener.
void accept_some(msgpipe_handle_t* h) {
  for (int i = 0; i < kAcceptBurst; ++i) {
    sockaddr_in sa{};
    socklen_t len = sizeof sa;
    int fd = accept4(h->fd, reinterpret_cast<sockaddr*>(&sa), &len, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (fd < 0) {
      if (errno == EINTR || errno == ECONNABORTED) continue;
      if (errno != EAGAIN && errno != EWOULDBLOCK) {
        trace_error(h, "accept on %s failed: %s", endpoint_text(h->local).c_str(), strerror(errno));
      }
      return;
    }
    msgpipe_handle_t* c = nullptr;
    if (msgpipe_handle_create(0, &c) != 0) {
      trace_error(h, "no memory for a connection from %s", endpoint_text(from_sockaddr(sa)).c_str());
      close(fd);
      continue;
    }
    {
      Lock lock(c);
      c->name = h->name;
      c->user_ctx = h->user_ctx;
      c->loop = h->loop;
      c->handler = h->handler;
      c->tlg_info = h->tlg_info;
      c->tlg_error = h->tlg_error;
      c->tlg_conn = h->tlg_conn;
      c->peer_description = h->peer_description;
      c->local_description = h->local_description;
      c->nodelay = h->nodelay;
      c->keepalive_probes = h->keepalive_probes;
      c->user_timeout_s = h->user_timeout_s;
      c->max_messages = h->max_messages;
      c->max_bytes = h->max_bytes;
      c->fd = fd;
      c->state = State::kConnected;
      c->remote = from_sockaddr(sa);
      c->has_remote = true;
      c->has_local = local_of(fd, &c->local);
      apply_options(c);
      update_interest(c);
      trace_conn(c, "accepted connection from %s on %s", endpoint_text(c->remote).c_str(),
                 endpoint_text(c->local).c_str());
    }
    ref(c);  // held by the event until it is delivered
    push_event(h, Event{MSGPIPE_EV_CONNECTED, 0, nullptr, 0, 0, c});
  }
}

void io_handler(int fd, uint32_t events, void* ctx) {
  auto* h = static_cast<msgpipe_handle_t*>(ctx);
  ref(h);
  {
    Lock lock(h);
    if (!h->destroyed && h->fd == fd) {
      switch (h->state) {
        case State::kConnecting:
          finish_connect(h);
          break;
        case State::kConnected:
          if (events & EVLOOP_FD_WRITABLE) flush(h);
          if (h->state == State::kConnected && (events & (EVLOOP_FD_READABLE | EVLOOP_FD_ERROR))) {
            read_some(h);
          }
          break;
        case State::kListening:
          accept_some(h);
          break;
        default:
          break;
      }
    }
  }
  drain(h);
  unref(h);
}

}  // namespace

void push_event(msgpipe_handle_t* h, const Event& ev) { h->events.push_back(ev); }

void schedule_drain(msgpipe_handle_t* h) {
  if (h->drain_queued || h->loop == nullptr || h->handler == nullptr || h->events.empty()) return;
  ref(h);
  if (evloop_delayed_ev_item_enqueue(h->loop, drain_item, h) != 0) {
    h->refs.fetch_sub(1);
    return;
  }
  h->drain_queued = true;
}

void drain(msgpipe_handle_t* h) {
  ref(h);
  for (;;) {
    Event ev{};
    msgpipe_event_handler_t handler;
    int32_t offered = 0;
    {
      Lock lock(h);
      if (h->destroyed || h->handler == nullptr || h->events.empty()) break;
      ev = h->events.front();
      h->events.pop_front();
      handler = h->handler;
      if (ev.event == kOfferMessage) {
        if (h->inbox.empty()) continue;
        h->offering = true;
        offered = static_cast<int32_t>(h->inbox.front().size());
      }
    }
    if (ev.event == kOfferMessage) {
      handler(h, MSGPIPE_EV_RECEIVE_READY, 0, nullptr, offered, 0);
      Lock lock(h);
      if (h->offering) {
        h->offering = false;
        if (!h->destroyed && !h->inbox.empty()) {
          trace_error(h, "message of %d bytes from %s not taken by the handler; dropped", offered,
                      endpoint_text(h->remote).c_str());
          h->inbox.pop_front();
        }
      }
      continue;
    }
    handler(ev.subject ? ev.subject : h, ev.event, ev.failed, ev.buf, ev.size, ev.flags);
    if (ev.subject != nullptr) unref(ev.subject);
  }
  unref(h);
}

void update_interest(msgpipe_handle_t* h) {
  uint32_t want = 0;
  if (h->fd >= 0 && h->loop != nullptr && !h->destroyed) {
    switch (h->state) {
      case State::kConnecting: want = EVLOOP_FD_WRITABLE; break;
      case State::kConnected:
        want = EVLOOP_FD_READABLE | (h->sendq.empty() ? 0 : EVLOOP_FD_WRITABLE);
        break;
      case State::kListening: want = EVLOOP_FD_READABLE; break;
      default: break;
    }
  }
  if (want == h->registered) return;
  if (want == 0) {
    if (h->loop != nullptr && h->fd >= 0) evloop_attach_fd(h->loop, h->fd, 0, nullptr, 0, 0, nullptr, 0);
    h->registered = 0;
    return;
  }
  if (evloop_attach_fd(h->loop, h->fd, 0, io_handler, want, 0, h, 0) == 0) {
    h->registered = want;
  } else {
    trace_error(h, "event loop refused descriptor %d: %s", h->fd, strerror(errno));
  }
}

void teardown(msgpipe_handle_t* h, bool user_initiated, uint32_t flags, int error) {
  State was = h->state;
  cancel_delay(h);
  close_socket(h);
  h->state = State::kIdle;
  h->error = error;
  for (const SendItem& item : h->sendq) {
    push_event(h, Event{MSGPIPE_EV_SENT, 1, item.buf, static_cast<int32_t>(item.len), 0, nullptr});
  }
  h->sendq.clear();
  h->queued_bytes = 0;
  h->flow_blocked = false;
  h->rx_len = 0;
  if (user_initiated) {
    // Closed on purpose: messages not yet offered are not wanted any more.
    h->inbox.clear();
    h->events.erase(std::remove_if(h->events.begin(), h->events.end(),
                                   [](const Event& e) { return e.event == kOfferMessage; }),
                    h->events.end());
  }
  if (was == State::kConnected || user_initiated) {
    push_event(h, Event{MSGPIPE_EV_DISCONNECTED, 0, nullptr, 0, flags, nullptr});
  }
}

void discard_all(msgpipe_handle_t* h) {
  // Whatever the socket takes now still reaches the peer.
  if (h->state == State::kConnected && !h->sendq.empty()) flush(h);
  cancel_delay(h);
  close_socket(h);
  h->state = State::kIdle;
  for (const SendItem& item : h->sendq) free(item.buf);
  h->sendq.clear();
  h->queued_bytes = 0;
  for (const Event& ev : h->events) {
    if (ev.event == MSGPIPE_EV_SENT || ev.event == MSGPIPE_EV_RECEIVED) free(ev.buf);
    if (ev.subject != nullptr) {
      msgpipe_handle_destroy(ev.subject);
      unref(ev.subject);
    }
  }
  h->events.clear();
  h->inbox.clear();
  h->rx.clear();
  h->rx.shrink_to_fit();
  h->rx_len = 0;
}

void apply_options(msgpipe_handle_t* h) {
  if (h->fd < 0 || h->state == State::kListening) return;
  setsockopt(h->fd, IPPROTO_TCP, TCP_NODELAY, &h->nodelay, sizeof h->nodelay);
  int keep = h->keepalive_probes > 0 ? 1 : 0;
  setsockopt(h->fd, SOL_SOCKET, SO_KEEPALIVE, &keep, sizeof keep);
  if (keep) setsockopt(h->fd, IPPROTO_TCP, TCP_KEEPCNT, &h->keepalive_probes, sizeof(int));
  unsigned int timeout_ms = static_cast<unsigned int>(h->user_timeout_s) * 1000u;
  setsockopt(h->fd, IPPROTO_TCP, TCP_USER_TIMEOUT, &timeout_ms, sizeof timeout_ms);
}

}  // namespace msgpipe

using msgpipe::Event;
using msgpipe::Lock;
using msgpipe::State;

int evloop_attach_msgpipe_handle(evloop_t* loop, msgpipe_handle_t* h,
                                 msgpipe_event_handler_t handler, uint32_t, uint32_t, uint32_t) {
  if (h == nullptr) return -1;
  Lock lock(h);
  if (h->destroyed) return -1;
  if (handler == nullptr) {
    h->handler = nullptr;
    return 0;
  }
  if (loop == nullptr) return -1;
  if (h->loop != loop && h->registered != 0) {
    evloop_attach_fd(h->loop, h->fd, 0, nullptr, 0, 0, nullptr, 0);
    h->registered = 0;
  }
  h->loop = loop;
  h->handler = handler;
  msgpipe::update_interest(h);
  msgpipe::schedule_drain(h);
  return 0;
}

int msgpipe_connect(msgpipe_handle_t* h, uint32_t, const msgpipe_endpoint* ep, void*) {
  if (h == nullptr || ep == nullptr || !(ep->present & MSGPIPE_ENDPOINT_HAS_PORT) ||
      ep->port == 0 || ep->port > 65535) {
    return -1;
  }
  Lock lock(h);
  if (h->destroyed || h->state != State::kIdle) return -1;
  if (h->loop == nullptr) h->loop = evloop_current();
  if (h->loop == nullptr) {
    msgpipe::trace_error(h, "connect to %s refused: no event loop on this thread",
                         msgpipe::endpoint_text(*ep).c_str());
    return -1;
  }
  uint32_t address = (ep->present & MSGPIPE_ENDPOINT_HAS_ADDRESS) ? ep->node_address
                                                                   : msgpipe::kLoopback;
  msgpipe_endpoint_set(&h->remote, address, ep->port);
  h->has_remote = true;
  h->error = 0;
  if (h->connect_delay_ms > 0) {
    msgpipe::ref(h);  // held by the timer
    uint64_t id = evloop_timer_start(h->loop, h->connect_delay_ms, msgpipe::delayed_connect, h);
    if (id == 0) {
      h->refs.fetch_sub(1);
      return -1;
    }
    h->delay_timer = id;
    h->connect_delay_ms = 0;
    h->state = State::kDelaying;
    return 0;
  }
  msgpipe::start_connect(h);
  msgpipe::schedule_drain(h);
  return 0;
}

namespace {

int disconnect(msgpipe_handle_t* h, uint32_t flags) {
  if (h == nullptr) return -1;
  Lock lock(h);
  if (h->destroyed || h->state == State::kIdle || h->state == State::kListening) return -1;
  msgpipe::trace_conn(h, "%sdisconnect from %s (%s)", flags ? "silent " : "",
                      msgpipe::endpoint_text(h->remote).c_str(), msgpipe::state_name(h->state));
  // Messages sent just before (still waiting for the write after the current
  // event) go out as far as the socket takes them now.
  if (h->state == State::kConnected && !h->sendq.empty()) msgpipe::flush(h);
  if (h->state != State::kIdle) msgpipe::teardown(h, true, flags, 0);
  msgpipe::schedule_drain(h);
  return 0;
}

}  // namespace

int msgpipe_disconnect(msgpipe_handle_t* h, void*) { return disconnect(h, 0); }

int msgpipe_silent_disconnect(msgpipe_handle_t* h, void*) {
  return disconnect(h, MSGPIPE_FLAG_SILENT);
}

int msgpipe_bind(msgpipe_handle_t* h, uint32_t, const msgpipe_endpoint* ep, void*) {
  if (h == nullptr || ep == nullptr) return -1;
  uint32_t port = (ep->present & MSGPIPE_ENDPOINT_HAS_PORT) ? ep->port : 0;
  if (port > 65535) return -1;
  Lock lock(h);
  if (h->destroyed || h->state != State::kIdle) return -1;
  if (h->loop == nullptr) h->loop = evloop_current();
  msgpipe_endpoint want{};
  msgpipe_endpoint_set(&want,
                       (ep->present & MSGPIPE_ENDPOINT_HAS_ADDRESS) ? ep->node_address
                                                                    : msgpipe::kLoopback,
                       port);
  if (h->loop == nullptr) {
    msgpipe::trace_error(h, "bind to %s refused: no event loop on this thread",
                         msgpipe::endpoint_text(want).c_str());
    return -1;
  }
  int fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  const char* step = "socket";
  if (fd >= 0) {
    int one = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in sa = msgpipe::to_sockaddr(want);
    step = "bind";
    if (bind(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) == 0) {
      step = "listen";
      if (listen(fd, 128) == 0) step = nullptr;
    }
  }
  if (step != nullptr) {
    int err = errno;
    h->error = -err;
    msgpipe::trace_error(h, "%s for %s failed: %s", step, msgpipe::endpoint_text(want).c_str(),
                         strerror(err));
    if (fd >= 0) close(fd);
    return -1;
  }
  h->fd = fd;
  h->state = State::kListening;
  h->has_local = msgpipe::local_of(fd, &h->local);
  msgpipe::update_interest(h);
  msgpipe::trace_conn(h, "listening on %s", msgpipe::endpoint_text(h->local).c_str());
  return 0;
}

int msgpipe_unbind(msgpipe_handle_t* h) {
  if (h == nullptr) return -1;
  Lock lock(h);
  if (h->state != State::kListening) return -1;
  msgpipe::close_socket(h);
  h->state = State::kIdle;
  return 0;
}

int msgpipe_send(msgpipe_handle_t* h, void* buf, uint32_t len, uint32_t, uint32_t tag) {
  if (h == nullptr || (buf == nullptr && len > 0)) return MSGPIPE_FAILED;
  Lock lock(h);
  if (h->destroyed || h->state != State::kConnected) return MSGPIPE_FAILED;
  if (len > MSGPIPE_MAX_MESSAGE) {
    msgpipe::trace_error(h, "message of %u bytes (tag %u) exceeds the limit of %u bytes", len,
                         tag, MSGPIPE_MAX_MESSAGE);
    return MSGPIPE_FAILED;
  }
  if (!h->sendq.empty() &&
      (h->sendq.size() >= h->max_messages || h->queued_bytes + len > h->max_bytes)) {
    h->flow_blocked = true;
    return MSGPIPE_FLOW_CONTROLLED;
  }
  msgpipe::SendItem item{{static_cast<uint8_t>(len >> 24), static_cast<uint8_t>(len >> 16),
                          static_cast<uint8_t>(len >> 8), static_cast<uint8_t>(len)},
                         buf, len, tag, 0};
  bool was_empty = h->sendq.empty();
  h->sendq.push_back(item);
  h->queued_bytes += len;
  // What the socket does not take at once waits for it to become writable.
  if (was_empty) msgpipe::flush_soon(h);
  msgpipe::schedule_drain(h);
  return MSGPIPE_OK;
}

int msgpipe_receive(msgpipe_handle_t* h, void* buf, uint32_t size, uint32_t, uint32_t) {
  if (h == nullptr) return MSGPIPE_FAILED;
  Lock lock(h);
  if (h->destroyed || !h->offering || h->inbox.empty()) return MSGPIPE_FAILED;
  const std::vector<uint8_t>& msg = h->inbox.front();
  if (size < msg.size() || (buf == nullptr && !msg.empty())) return MSGPIPE_FAILED;
  if (!msg.empty()) memcpy(buf, msg.data(), msg.size());
  int32_t got = static_cast<int32_t>(msg.size());
  h->inbox.pop_front();
  h->offering = false;
  // Next event the handler sees: the lent buffer, filled.
  h->events.push_front(Event{MSGPIPE_EV_RECEIVED, 0, buf, got, 0, nullptr});
  return MSGPIPE_OK;
}

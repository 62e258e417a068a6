// Handle life cycle, properties, options and endpoints of the transport.
#include <arpa/inet.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>

#include <new>

#include "msgpipe_internal.h"

namespace msgpipe {

const char* state_name(State s) {
  switch (s) {
    case State::kIdle: return "idle";
    case State::kDelaying: return "waiting to connect";
    case State::kConnecting: return "connecting";
    case State::kConnected: return "connected";
    case State::kListening: return "listening";
  }
  return "?";
}

void ref(msgpipe_handle_t* h) { h->refs.fetch_add(1, std::memory_order_relaxed); }

void unref(msgpipe_handle_t* h) {
  if (h->refs.fetch_sub(1, std::memory_order_acq_rel) != 1) return;
  pthread_mutex_destroy(&h->mutex);
  delete h;
}

namespace {

// Lines of handles that were given no trace buffer of their own.
tlg_handle_t own_buffer() {
  static tlg_handle_t h = [] {
    tlg_handle_t t = nullptr;
    tlg_open_internal(&t, "msgpipe", 0, 0, "./sim/msgpipe", "", nullptr);
    return t;
  }();
  return h;
}

void vtrace(tlg_handle_t buffer, msgpipe_handle_t* h, const char* fmt, va_list ap) {
  char text[512];
  vsnprintf(text, sizeof text, fmt, ap);
  tlg_internal(buffer ? buffer : own_buffer(), "msgpipe %s (%p): %s\n", h->name.c_str(),
               static_cast<void*>(h), text);
}

}  // namespace

void trace_conn(msgpipe_handle_t* h, const char* fmt, ...) {
  va_list ap;
  va_start(ap, fmt);
  vtrace(h->tlg_conn, h, fmt, ap);
  va_end(ap);
}

void trace_error(msgpipe_handle_t* h, const char* fmt, ...) {
  va_list ap;
  va_start(ap, fmt);
  vtrace(h->tlg_error, h, fmt, ap);
  va_end(ap);
}

std::string endpoint_text(const msgpipe_endpoint& ep) {
  char text[32];
  snprintf(text, sizeof text, "%u.%u.%u.%u:%u", ep.node_address >> 24,
           (ep.node_address >> 16) & 0xffu, (ep.node_address >> 8) & 0xffu,
           ep.node_address & 0xffu, ep.port);
  return text;
}

}  // namespace msgpipe

using msgpipe::State;

using msgpipe::Lock;

int msgpipe_handle_create(uint32_t, msgpipe_handle_t** out) {
  if (out == nullptr) return -1;
  *out = nullptr;
  auto* h = new (std::nothrow) msgpipe_handle();
  if (h == nullptr) return -1;
  pthread_mutexattr_t attr;
  pthread_mutexattr_init(&attr);
  pthread_mutexattr_settype(&attr, PTHREAD_MUTEX_RECURSIVE);
  int rc = pthread_mutex_init(&h->mutex, &attr);
  pthread_mutexattr_destroy(&attr);
  if (rc != 0) {
    delete h;
    return -1;
  }
  *out = h;
  return 0;
}

void msgpipe_handle_destroy(msgpipe_handle_t* h) {
  if (h == nullptr) return;
  {
    Lock lock(h);
    if (h->destroyed) return;
    h->destroyed = true;
    msgpipe::discard_all(h);
  }
  msgpipe::unref(h);
}

int msgpipe_handle_set_name(msgpipe_handle_t* h, const char* name) {
  if (h == nullptr || name == nullptr) return -1;
  Lock lock(h);
  h->name = name;
  return 0;
}

const char* msgpipe_handle_get_name(const msgpipe_handle_t* h) {
  return h ? h->name.c_str() : "";
}

void msgpipe_handle_set_user_context(msgpipe_handle_t* h, void* ctx) {
  if (h == nullptr) return;
  Lock lock(h);
  h->user_ctx = ctx;
}

void* msgpipe_handle_get_user_context(const msgpipe_handle_t* h) {
  if (h == nullptr) return nullptr;
  auto* m = const_cast<msgpipe_handle_t*>(h);
  Lock lock(m);
  return h->user_ctx;
}

void msgpipe_handle_endpoint_init(msgpipe_handle_t* h) {
  if (h == nullptr) return;
  Lock lock(h);
  if (h->state != State::kIdle) return;
  h->remote = msgpipe_endpoint{};
  h->has_remote = false;
}

int msgpipe_set_option(msgpipe_handle_t* h, uint32_t option, ...) {
  if (h == nullptr) return -1;
  va_list ap;
  va_start(ap, option);
  int rc = 0;
  Lock lock(h);
  switch (option) {
    case MSGPIPE_OPT_PEER_DESCRIPTION:
    case MSGPIPE_OPT_LOCAL_DESCRIPTION: {
      const char* text = va_arg(ap, const char*);
      std::string& field = option == MSGPIPE_OPT_PEER_DESCRIPTION ? h->peer_description
                                                                   : h->local_description;
      field = text ? text : "";
      break;
    }
    case MSGPIPE_OPT_NODELAY: {
      int v = va_arg(ap, int);
      if (v != 0 && v != 1) {
        rc = -1;
        break;
      }
      h->nodelay = v;
      break;
    }
    case MSGPIPE_OPT_KEEPALIVE_PROBES: {
      int v = va_arg(ap, int);
      if (v < 0 || v > 127) {
        rc = -1;
        break;
      }
      h->keepalive_probes = v;
      break;
    }
    case MSGPIPE_OPT_USER_TIMEOUT: {
      int v = va_arg(ap, int);
      if (v < 0 || v > 255) {
        rc = -1;
        break;
      }
      h->user_timeout_s = v;
      break;
    }
    default:
      rc = -1;
  }
  va_end(ap);
  if (rc == 0) msgpipe::apply_options(h);
  return rc;
}

evloop_t* msgpipe_get_evloop(const msgpipe_handle_t* h) {
  if (h == nullptr) return nullptr;
  auto* m = const_cast<msgpipe_handle_t*>(h);
  Lock lock(m);
  return h->loop;
}

int msgpipe_set_connect_delay(msgpipe_handle_t* h, uint32_t delay_ms) {
  if (h == nullptr) return -1;
  Lock lock(h);
  h->connect_delay_ms = delay_ms;
  return 0;
}

bool msgpipe_is_connected(const msgpipe_handle_t* h) {
  if (h == nullptr) return false;
  auto* m = const_cast<msgpipe_handle_t*>(h);
  Lock lock(m);
  return h->state == State::kConnected;
}

bool msgpipe_is_connecting(const msgpipe_handle_t* h) {
  if (h == nullptr) return false;
  auto* m = const_cast<msgpipe_handle_t*>(h);
  Lock lock(m);
  return h->state == State::kDelaying || h->state == State::kConnecting;
}

int msgpipe_get_remote_endpoint(const msgpipe_handle_t* h, msgpipe_endpoint* ep) {
  if (h == nullptr || ep == nullptr) return -1;
  auto* m = const_cast<msgpipe_handle_t*>(h);
  Lock lock(m);
  if (!h->has_remote) return -1;
  *ep = h->remote;
  return 0;
}

int msgpipe_get_local_endpoint(const msgpipe_handle_t* h, msgpipe_endpoint* ep) {
  if (h == nullptr || ep == nullptr) return -1;
  auto* m = const_cast<msgpipe_handle_t*>(h);
  Lock lock(m);
  if (!h->has_local) return -1;
  *ep = h->local;
  return 0;
}

bool msgpipe_endpoint_equals(const msgpipe_endpoint* a, const msgpipe_endpoint* b) {
  if (a == nullptr || b == nullptr) return a == b;
  uint8_t both = MSGPIPE_ENDPOINT_HAS_ADDRESS | MSGPIPE_ENDPOINT_HAS_PORT;
  if ((a->present & both) != (b->present & both)) return false;
  if ((a->present & MSGPIPE_ENDPOINT_HAS_ADDRESS) && a->node_address != b->node_address) {
    return false;
  }
  if ((a->present & MSGPIPE_ENDPOINT_HAS_PORT) && a->port != b->port) return false;
  return true;
}

void msgpipe_endpoint_set(msgpipe_endpoint* ep, uint32_t node_address, uint32_t port) {
  if (ep == nullptr) return;
  ep->node_address = node_address;
  ep->port = port;
  ep->present = MSGPIPE_ENDPOINT_HAS_ADDRESS | MSGPIPE_ENDPOINT_HAS_PORT;
}

int msgpipe_get_error(const msgpipe_handle_t* h) {
  if (h == nullptr) return 0;
  auto* m = const_cast<msgpipe_handle_t*>(h);
  Lock lock(m);
  return h->error;
}

pthread_mutex_t* msgpipe_get_mutex(msgpipe_handle_t* h) { return h ? &h->mutex : nullptr; }

int msgpipe_set_send_queue_limit(msgpipe_handle_t* h, uint32_t max_messages, uint32_t max_bytes) {
  if (h == nullptr || max_messages == 0 || max_bytes == 0) return -1;
  Lock lock(h);
  h->max_messages = max_messages;
  h->max_bytes = max_bytes;
  return 0;
}

void msgpipe_set_tlg_info_parent_handle(msgpipe_handle_t* h, tlg_handle_t buffer) {
  if (h == nullptr) return;
  Lock lock(h);
  h->tlg_info = buffer;
}

void msgpipe_set_tlg_error_parent_handle(msgpipe_handle_t* h, tlg_handle_t buffer) {
  if (h == nullptr) return;
  Lock lock(h);
  h->tlg_error = buffer;
}

void msgpipe_set_tlg_conn_parent_handle(msgpipe_handle_t* h, tlg_handle_t buffer) {
  if (h == nullptr) return;
  Lock lock(h);
  h->tlg_conn = buffer;
}

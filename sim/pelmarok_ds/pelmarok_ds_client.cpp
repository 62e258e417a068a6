// Client library of the directory service: one connection to the daemon per
// handle, retried by itself, with the handle's watches registered again after
// every reconnection.
#include <pthread.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "capi.h"
#include "ds_wire.h"
#include "pelmarok_ds.h"

namespace {

constexpr char kTraceBuffer[] = "pelmarok_ds";

struct Watch {
  uint32_t id;
  std::string service;
  bool has_instance;
  std::string instance;
  void* ctx;
  uint64_t sent_generation;  // connection generation it was last sent on (0: never)
};

}  // namespace

struct pelmarok_ds_handle {
  evloop_t* loop = nullptr;
  void* user_context = nullptr;
  tlg_handle_t trace = nullptr;
  tlg_handle_t info_parent = nullptr;
  tlg_handle_t error_parent = nullptr;
  pelmarok_ds_endpoint_factory_t factory = nullptr;
  void* factory_ctx = nullptr;
  std::string client_name;

  pelmarok_ds_connect_cb_t on_connect = nullptr;
  pelmarok_ds_disconnect_cb_t on_disconnect = nullptr;
  pelmarok_ds_error_cb_t on_error = nullptr;
  pelmarok_ds_notify_service_cb_t on_notify = nullptr;
  pelmarok_ds_notify_service_cb_t on_notify_deleted = nullptr;
  pelmarok_ds_status_cb_t on_registered = nullptr;
  pelmarok_ds_status_cb_t on_unregistered = nullptr;
  pelmarok_ds_status_cb_t on_published = nullptr;

  void* connect_ctx = nullptr;
  msgpipe_handle_t* transport = nullptr;
  bool started = false;
  bool connected = false;
  uint64_t generation = 0;
  uint64_t retry_timer = 0;
  msgpipe_endpoint daemon{};

  std::vector<Watch> watches;
  uint32_t next_watch_id = 1;
  uint32_t next_seq = 1;
  std::map<uint32_t, void*> pending_unwatch;        // watch id -> ctx of the unregistered callback
  std::deque<std::pair<void*, uint32_t>> backlog;   // frames held back by flow control

  int depth = 0;  // nesting of transport events being handled
  bool destroyed = false;
};

namespace {

using Handle = pelmarok_ds_handle;

std::string endpoint_text(const msgpipe_endpoint& ep) {
  char text[32];
  std::snprintf(text, sizeof text, "%u.%u.%u.%u:%u", ep.node_address >> 24, (ep.node_address >> 16) & 0xff,
                (ep.node_address >> 8) & 0xff, ep.node_address & 0xff, ep.port);
  return text;
}

void release_backlog(Handle* ds) {
  for (auto& [buf, len] : ds->backlog) std::free(buf);
  ds->backlog.clear();
}

void free_handle(Handle* ds) {
  release_backlog(ds);
  std::unique_ptr<Handle> owned(ds);
}

// Keeps the handle alive while a transport event is handled; frees it at the
// end when a callback destroyed it meanwhile.
class EventScope {
 public:
  explicit EventScope(Handle* ds) : ds_(ds) { ++ds_->depth; }
  ~EventScope() {
    if (--ds_->depth == 0 && ds_->destroyed) free_handle(ds_);
  }
  EventScope(const EventScope&) = delete;
  EventScope& operator=(const EventScope&) = delete;

 private:
  Handle* ds_;
};

// Sends one message; frames that meet flow control wait in the backlog.
int send_msg(Handle* ds, const ds_wire_msg& msg) {
  if (!ds->connected || !ds->transport) return -1;
  uint32_t len = 0;
  uint8_t* buf = ds_wire_encode(msg, &len);
  if (!buf) {
    tlg_internal(ds->trace, "pelmarok_ds: %s message cannot be encoded\n", ds_wire_op_name(msg.op));
    return -1;
  }
  if (!ds->backlog.empty()) {
    ds->backlog.emplace_back(buf, len);
    return 0;
  }
  pthread_mutex_t* m = msgpipe_get_mutex(ds->transport);
  if (m) pthread_mutex_lock(m);
  const int rc = msgpipe_send(ds->transport, buf, len, 0, msg.seq);
  if (m) pthread_mutex_unlock(m);
  if (rc == 0) return 0;
  if (rc == MSGPIPE_FLOW_CONTROLLED) {
    ds->backlog.emplace_back(buf, len);
    return 0;
  }
  std::free(buf);
  tlg_internal(ds->trace, "pelmarok_ds: sending %s to the directory service failed (%d)\n", ds_wire_op_name(msg.op),
               rc);
  return -1;
}

void flush_backlog(Handle* ds) {
  while (!ds->backlog.empty() && ds->transport) {
    auto [buf, len] = ds->backlog.front();
    pthread_mutex_t* m = msgpipe_get_mutex(ds->transport);
    if (m) pthread_mutex_lock(m);
    const int rc = msgpipe_send(ds->transport, buf, len, 0, 0);
    if (m) pthread_mutex_unlock(m);
    if (rc == MSGPIPE_FLOW_CONTROLLED) return;
    ds->backlog.pop_front();
    if (rc != 0) std::free(buf);
  }
}

int send_watch(Handle* ds, Watch& w) {
  ds_wire_msg msg = ds_wire_make(DS_OP_WATCH, w.id);
  msg.watch.service_name = const_cast<char*>(w.service.c_str());
  msgcodec_set_bit(&msg.watch.present, DS_NOTIFICATION_REQ_BIT_SERVICE_NAME);
  if (w.has_instance) {
    msg.watch.instance_name = const_cast<char*>(w.instance.c_str());
    msgcodec_set_bit(&msg.watch.present, DS_NOTIFICATION_REQ_BIT_INSTANCE_NAME);
  }
  msgcodec_set_bit(msg.present, DS_WIRE_BIT_WATCH);
  const int rc = send_msg(ds, msg);
  if (rc == 0) w.sent_generation = ds->generation;
  return rc;
}

int attempt_connect(Handle* ds);

void retry_later(Handle* ds) {
  if (ds->destroyed || ds->retry_timer != 0) return;
  ds->retry_timer = evloop_timer_start(
      ds->loop, PELMAROK_DS_RETRY_MS,
      [](void* arg) {
        auto* h = static_cast<Handle*>(arg);
        h->retry_timer = 0;
        if (attempt_connect(h) != 0) retry_later(h);
      },
      ds);
}

bool resolve_daemon(Handle* ds) {
  msgpipe_endpoint ep{};
  const int rc = ds->factory ? ds->factory(ds->factory_ctx, &ep) : pelmarok_ds_default_endpoint(&ep);
  if (rc != 0) {
    tlg_internal(ds->trace, "pelmarok_ds: no endpoint for the directory service (%s=\"%s\")\n",
                 PELMAROK_DS_ENDPOINT_ENV, std::getenv(PELMAROK_DS_ENDPOINT_ENV) ? std::getenv(PELMAROK_DS_ENDPOINT_ENV) : "");
    return false;
  }
  ds->daemon = ep;
  return true;
}

int attempt_connect(Handle* ds) {
  if (!resolve_daemon(ds)) return -1;
  if (msgpipe_connect(ds->transport, 0, &ds->daemon, ds) != 0) {
    tlg_internal(ds->trace, "pelmarok_ds: connect to the directory service at %s refused\n",
                 endpoint_text(ds->daemon).c_str());
    return -1;
  }
  return 0;
}

void on_connected(Handle* ds) {
  ds->connected = true;
  ++ds->generation;
  tlg_internal(ds->trace, "pelmarok_ds: connected to the directory service at %s\n", endpoint_text(ds->daemon).c_str());
  ds_wire_msg hello = ds_wire_make(DS_OP_HELLO, 0);
  hello.client_name = const_cast<char*>(ds->client_name.c_str());
  hello.pid = static_cast<uint32_t>(getpid());
  msgcodec_set_bit(hello.present, DS_WIRE_BIT_CLIENT_NAME);
  msgcodec_set_bit(hello.present, DS_WIRE_BIT_PID);
  send_msg(ds, hello);
  if (ds->on_connect) ds->on_connect(ds, 0, ds->connect_ctx);
  if (ds->destroyed || !ds->connected) return;
  // Watches the connect callback did not register again itself.
  for (Watch& w : ds->watches) {
    if (w.sent_generation != ds->generation) send_watch(ds, w);
  }
}

Watch* find_watch(Handle* ds, uint32_t id) {
  for (Watch& w : ds->watches) {
    if (w.id == id) return &w;
  }
  return nullptr;
}

void dispatch(Handle* ds, ds_wire_msg& msg) {
  switch (msg.op) {
    case DS_OP_PUBLISH_ACK:
      if (msg.status != 0) {
        tlg_internal(ds->trace, "pelmarok_ds: publication refused (%d): %s\n", msg.status, msg.text ? msg.text : "");
      }
      if (ds->on_published) ds->on_published(ds, msg.status, ds->user_context);
      return;
    case DS_OP_WATCH_ACK: {
      Watch* w = find_watch(ds, msg.seq);
      if (msg.status != 0) {
        tlg_internal(ds->trace, "pelmarok_ds: watch %u refused (%d): %s\n", msg.seq, msg.status, msg.text ? msg.text : "");
      }
      if (w && ds->on_registered) ds->on_registered(ds, msg.status, w->ctx);
      return;
    }
    case DS_OP_UNWATCH_ACK: {
      auto it = ds->pending_unwatch.find(msg.seq);
      if (it == ds->pending_unwatch.end()) return;
      void* ctx = it->second;
      ds->pending_unwatch.erase(it);
      if (ds->on_unregistered) ds->on_unregistered(ds, msg.status, ctx);
      return;
    }
    case DS_OP_NOTIFY:
    case DS_OP_NOTIFY_DELETED: {
      Watch* w = find_watch(ds, msg.seq);
      if (!w) return;  // a watch that has ended meanwhile
      pelmarok_ds_notify_service_cb_t cb = msg.op == DS_OP_NOTIFY ? ds->on_notify : ds->on_notify_deleted;
      if (cb) cb(ds, msg.entries, msg.entry_count, w->ctx);
      return;
    }
    case DS_OP_ERROR:
      tlg_internal(ds->trace, "pelmarok_ds: the directory service reports error %d: %s\n", msg.status,
                   msg.text ? msg.text : "");
      if (ds->on_error) ds->on_error(ds, msg.status, ds->connect_ctx);
      return;
    default:
      tlg_internal(ds->trace, "pelmarok_ds: unexpected message %u (%s) from the directory service\n", msg.op,
                   ds_wire_op_name(msg.op));
      return;
  }
}

void on_received(Handle* ds, const uint8_t* bytes, int32_t size) {
  ds_wire_msg msg;
  if (msgcodec_ds_wire_msg_decode_ext(&msg, bytes, static_cast<size_t>(size), malloc, nullptr, 0) < 0) {
    tlg_internal(ds->trace, "pelmarok_ds: undecodable message of %d bytes from the directory service\n", size);
    if (ds->on_error) ds->on_error(ds, PELMAROK_DS_ERR_UNDECODABLE, ds->connect_ctx);
    return;
  }
  dispatch(ds, msg);
  msgcodec_ds_wire_msg_free_ext(&msg, free);
}

void on_event(msgpipe_handle_t* h, uint32_t event, int failed, void* buf, int32_t size, uint32_t) {
  auto* ds = static_cast<Handle*>(msgpipe_handle_get_user_context(h));
  EventScope scope(ds);
  switch (event) {
    case MSGPIPE_EV_CONNECTED:
      if (failed) {
        tlg_internal(ds->trace, "pelmarok_ds: connecting to the directory service at %s failed (%d), will retry\n",
                     endpoint_text(ds->daemon).c_str(), msgpipe_get_error(h));
        if (ds->on_connect) ds->on_connect(ds, PELMAROK_DS_ERR_TRANSPORT, ds->connect_ctx);
        retry_later(ds);
      } else {
        on_connected(ds);
      }
      return;
    case MSGPIPE_EV_DISCONNECTED: {
      const bool was_connected = ds->connected;
      ds->connected = false;
      release_backlog(ds);
      ds->pending_unwatch.clear();
      tlg_internal(ds->trace, "pelmarok_ds: connection to the directory service at %s ended, will retry\n",
                   endpoint_text(ds->daemon).c_str());
      if (was_connected && ds->on_disconnect) ds->on_disconnect(ds, failed ? -1 : 0, ds->connect_ctx);
      retry_later(ds);
      return;
    }
    case MSGPIPE_EV_RECEIVE_READY: {
      void* b = std::malloc(size > 0 ? static_cast<size_t>(size) : 1);
      if (!b || msgpipe_receive(h, b, static_cast<uint32_t>(size), 0, 0) != 0) std::free(b);
      return;
    }
    case MSGPIPE_EV_RECEIVED:
      if (!failed && !ds->destroyed) on_received(ds, static_cast<uint8_t*>(buf), size);
      std::free(buf);
      return;
    case MSGPIPE_EV_SENT:
      std::free(buf);
      return;
    case MSGPIPE_EV_FLOW_RESUMED:
      flush_backlog(ds);
      return;
    default:
      return;
  }
}

std::string default_client_name() {
  std::string name = capi_get_program_name();
  const size_t slash = name.rfind('/');
  if (slash != std::string::npos) name = name.substr(slash + 1);
  return name.empty() ? "client" : name;
}

}  // namespace

extern "C" int pelmarok_ds_handle_create(pelmarok_ds_handle_t** out, evloop_t* loop, void* user_context) {
  if (!out) return -1;
  *out = nullptr;
  if (!loop) return -1;
  auto ds = std::make_unique<Handle>();
  ds->loop = loop;
  ds->user_context = user_context;
  ds->client_name = default_client_name();
  tlg_open_internal(&ds->trace, kTraceBuffer, 0, 0, "./sim/pelmarok_ds", "", nullptr);
  if (msgpipe_handle_create(0, &ds->transport) != 0) return -1;
  msgpipe_handle_set_name(ds->transport, "pelmarok_ds");
  msgpipe_handle_set_user_context(ds->transport, ds.get());
  if (evloop_attach_msgpipe_handle(loop, ds->transport, on_event) != 0) {
    msgpipe_handle_destroy(ds->transport);
    return -1;
  }
  *out = ds.release();
  return 0;
}

extern "C" int pelmarok_ds_handle_destroy(pelmarok_ds_handle_t* ds) {
  if (!ds) return -1;
  if (ds->destroyed) return 0;
  ds->destroyed = true;
  ds->connected = false;
  if (ds->retry_timer != 0) {
    evloop_timer_cancel(ds->loop, ds->retry_timer);
    ds->retry_timer = 0;
  }
  if (ds->transport) {
    evloop_attach_msgpipe_handle(ds->loop, ds->transport, nullptr);
    msgpipe_handle_destroy(ds->transport);
    ds->transport = nullptr;
  }
  if (ds->depth == 0) free_handle(ds);
  return 0;
}

extern "C" void pelmarok_ds_set_user_context(pelmarok_ds_handle_t* ds, void* user_context) {
  if (ds) ds->user_context = user_context;
}
extern "C" void* pelmarok_ds_get_user_context(const pelmarok_ds_handle_t* ds) {
  return ds ? ds->user_context : nullptr;
}
extern "C" void pelmarok_ds_set_tlg_info_parent_handle(pelmarok_ds_handle_t* ds, tlg_handle_t buffer) {
  if (ds) ds->info_parent = buffer;
}
extern "C" void pelmarok_ds_set_tlg_parent_handle(pelmarok_ds_handle_t* ds, tlg_handle_t buffer) {
  if (ds) ds->error_parent = buffer;
}
extern "C" void pelmarok_ds_set_ds_endpoint_factory(pelmarok_ds_handle_t* ds,
                                                    pelmarok_ds_endpoint_factory_t factory, void* factory_ctx) {
  if (!ds) return;
  ds->factory = factory;
  ds->factory_ctx = factory_ctx;
}
extern "C" int pelmarok_ds_set_option(pelmarok_ds_handle_t* ds, uint32_t option, const char* value) {
  if (!ds || option != PELMAROK_DS_OPT_CLIENT_NAME || !value) return -1;
  ds->client_name = value;
  return 0;
}

extern "C" void pelmarok_ds_set_connect_callback(pelmarok_ds_handle_t* ds, pelmarok_ds_connect_cb_t cb) {
  if (ds) ds->on_connect = cb;
}
extern "C" void pelmarok_ds_set_disconnect_callback(pelmarok_ds_handle_t* ds, pelmarok_ds_disconnect_cb_t cb) {
  if (ds) ds->on_disconnect = cb;
}
extern "C" void pelmarok_ds_set_error_callback(pelmarok_ds_handle_t* ds, pelmarok_ds_error_cb_t cb) {
  if (ds) ds->on_error = cb;
}
extern "C" void pelmarok_ds_set_notify_service_callback(pelmarok_ds_handle_t* ds,
                                                        pelmarok_ds_notify_service_cb_t cb) {
  if (ds) ds->on_notify = cb;
}
extern "C" void pelmarok_ds_set_notify_deleted_service_callback(pelmarok_ds_handle_t* ds,
                                                                pelmarok_ds_notify_service_cb_t cb) {
  if (ds) ds->on_notify_deleted = cb;
}
extern "C" void pelmarok_ds_set_registered_service_callback(pelmarok_ds_handle_t* ds, pelmarok_ds_status_cb_t cb) {
  if (ds) ds->on_registered = cb;
}
extern "C" void pelmarok_ds_set_unregistered_service_callback(pelmarok_ds_handle_t* ds,
                                                              pelmarok_ds_status_cb_t cb) {
  if (ds) ds->on_unregistered = cb;
}
extern "C" void pelmarok_ds_set_published_service_callback(pelmarok_ds_handle_t* ds, pelmarok_ds_status_cb_t cb) {
  if (ds) ds->on_published = cb;
}

extern "C" int pelmarok_ds_connect(pelmarok_ds_handle_t* ds, void* ctx) {
  if (!ds || ds->destroyed || !ds->transport) return -1;
  ds->connect_ctx = ctx;
  if (ds->started) return 0;
  if (attempt_connect(ds) != 0) return -1;
  ds->started = true;
  return 0;
}

extern "C" bool pelmarok_ds_is_connected(const pelmarok_ds_handle_t* ds) { return ds && ds->connected; }

extern "C" int pelmarok_ds_register_service_notification(pelmarok_ds_handle_t* ds,
                                                         const ds_service_notification_req* req, void* ctx) {
  if (!ds || ds->destroyed || !req || !req->service_name || !req->service_name[0]) return -1;
  const bool has_instance = req->instance_name != nullptr;
  const std::string instance = has_instance ? req->instance_name : "";
  Watch* w = nullptr;
  for (Watch& existing : ds->watches) {
    if (existing.service == req->service_name && existing.has_instance == has_instance &&
        existing.instance == instance && existing.ctx == ctx) {
      w = &existing;
    }
  }
  if (!w) {
    ds->watches.push_back(Watch{ds->next_watch_id++, req->service_name, has_instance, instance, ctx, 0});
    w = &ds->watches.back();
  }
  if (ds->connected) return send_watch(ds, *w);
  return 0;
}

extern "C" int pelmarok_ds_unregister_service_notification(pelmarok_ds_handle_t* ds,
                                                           const ds_service_notification_req* req, void* ctx) {
  if (!ds || !req || !req->service_name) return -1;
  const bool has_instance = req->instance_name != nullptr;
  for (auto it = ds->watches.begin(); it != ds->watches.end(); ++it) {
    if (it->service != req->service_name || it->has_instance != has_instance || it->ctx != ctx ||
        (has_instance && it->instance != req->instance_name)) {
      continue;
    }
    const uint32_t id = it->id;
    ds->watches.erase(it);
    if (!ds->connected) return 0;
    ds->pending_unwatch[id] = ctx;
    return send_msg(ds, ds_wire_make(DS_OP_UNWATCH, id));
  }
  return -1;
}

extern "C" int pelmarok_ds_publish_service(pelmarok_ds_handle_t* ds, const ds_service_publish_info* info,
                                           uint32_t) {
  if (!ds || ds->destroyed || !info) return -1;
  if (!ds->connected) {
    tlg_internal(ds->trace, "pelmarok_ds: cannot publish %s: not connected to the directory service\n",
                 info->service_name ? info->service_name : "(no name)");
    return -1;
  }
  ds_wire_msg msg = ds_wire_make(DS_OP_PUBLISH, ds->next_seq++);
  msg.publish = *info;  // read while encoding only
  msgcodec_set_bit(msg.present, DS_WIRE_BIT_PUBLISH);
  return send_msg(ds, msg);
}

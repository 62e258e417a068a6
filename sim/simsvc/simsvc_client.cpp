// Client side: find the service, connect, introduce, exchange frames, reconnect.
#include <stdlib.h>

#include "pelmarok_ds.h"
#include "simsvc_internal.h"

namespace simsvc {

namespace {
constexpr uint32_t kRetryMs = 1000;
}  // namespace

using detail::Conn;
using detail::trace;

struct Client::Impl {
  enum class State { idle, seeking, connecting, introducing, connected };

  evloop_t* loop = nullptr;
  const Service* service = nullptr;
  Events events;
  Client* self = nullptr;
  msgpipe_handle_t* transport = nullptr;
  std::unique_ptr<Conn> conn;
  pelmarok_ds_handle_t* ds = nullptr;
  State state = State::idle;
  bool started = false;
  bool dead = false;
  int in_event = 0;
  bool have_target = false;
  bool fixed_target = false;  // given by set_endpoint: no finding
  msgpipe_endpoint target{};
  std::string instance;
  uint32_t own_address = 0;
  uint32_t last_request_id = 0;

  struct EventScope {
    explicit EventScope(Impl* i) : impl(i) { ++impl->in_event; }
    ~EventScope() { --impl->in_event; }
    Impl* impl;
  };

  static void on_transport(msgpipe_handle_t* h, uint32_t event, int failed, void* buf,
                           int32_t size, uint32_t) {
    auto* impl = static_cast<Impl*>(msgpipe_handle_get_user_context(h));
    if (impl == nullptr || impl->conn == nullptr) {
      if (event == MSGPIPE_EV_SENT || event == MSGPIPE_EV_RECEIVED) free(buf);
      return;
    }
    EventScope scope(impl);
    impl->conn->handle_event(event, failed, buf, size);
  }

  void on_frame(detail::Frame& f) {
    if (dead) return;
    if (f.header.msg_id == CAPI_INIT_MSG_ID) {
      if (state != State::introducing) return;
      state = State::connected;
      tlg_internal(trace(), "simsvc: connected to %s at %s\n", service->name,
                   detail::endpoint_text(target).c_str());
      if (events.connected) events.connected(0);
      return;
    }
    if (state != State::connected) return;
    const Message* msg = service->find(f.header.msg_id);
    if (msg == nullptr) {
      tlg_internal(trace(), "simsvc: %s sent unknown message %u\n", service->name,
                   f.header.msg_id);
      return;
    }
    void* payload = nullptr;
    if (msg->type != nullptr) {
      std::string why;
      payload = detail::decode_payload(msg->type, f.payload, f.payload_len, &why);
      if (payload == nullptr) {
        tlg_internal(trace(), "simsvc: %s %s dropped: %s\n", service->name, msg->name,
                     why.c_str());
        return;
      }
    }
    if (events.message) events.message(*msg, f.header.request_id, f.header.status, payload);
    detail::free_payload(msg->type, payload);
  }

  void on_transport_event(uint32_t event, int failed) {
    if (dead) return;
    if (event == MSGPIPE_EV_CONNECTED) {
      if (failed != 0) {
        tlg_internal(trace(), "simsvc: connecting to %s at %s failed (%d)\n", service->name,
                     detail::endpoint_text(target).c_str(), msgpipe_get_error(transport));
        state = State::seeking;
        retry();
        return;
      }
      state = State::introducing;
      if (conn->send_init(service->name, own_address) != 0) {
        tlg_internal(trace(), "simsvc: INIT to %s could not be sent\n", service->name);
        msgpipe_disconnect(transport);
      }
      return;
    }
    if (event == MSGPIPE_EV_DISCONNECTED) {
      const bool was_connected = state == State::connected;
      state = State::seeking;
      if (was_connected) {
        tlg_internal(trace(), "simsvc: disconnected from %s\n", service->name);
        if (events.disconnected) events.disconnected(0);
      }
      if (!dead && started) retry();
    }
  }

  // Connects to the service's endpoint when one is known.
  void attempt() {
    if (dead || !started || state != State::seeking) return;
    msgpipe_endpoint ep{};
    if (fixed_target) {
      // The endpoint was given; nothing to find.
    } else if (detail::local_lookup(service->name, instance, &ep)) {
      target = ep;
      have_target = true;
    } else if (ds == nullptr) {
      watch_directory();
    }
    if (!have_target) return;
    state = State::connecting;
    if (msgpipe_connect(transport, 0, &target) != 0) {
      state = State::seeking;
      tlg_internal(trace(), "simsvc: cannot start connecting to %s\n", service->name);
    }
  }

  void retry() {
    msgpipe_set_connect_delay(transport, kRetryMs);
    attempt();
  }

  void watch_directory() {
    if (pelmarok_ds_handle_create(&ds, loop, this) != 0) {
      ds = nullptr;
      tlg_internal(trace(), "simsvc: no directory-service handle for %s\n", service->name);
      return;
    }
    pelmarok_ds_set_option(ds, PELMAROK_DS_OPT_CLIENT_NAME, service->name);
    pelmarok_ds_set_notify_service_callback(ds, &Impl::on_directory);
    ds_service_notification_req req{};
    msgcodec_ds_service_notification_req_clear(&req);
    req.service_name = const_cast<char*>(service->name);
    msgcodec_set_bit(&req.present, DS_NOTIFICATION_REQ_BIT_SERVICE_NAME);
    if (!instance.empty()) {
      req.instance_name = const_cast<char*>(instance.c_str());
      msgcodec_set_bit(&req.present, DS_NOTIFICATION_REQ_BIT_INSTANCE_NAME);
    }
    pelmarok_ds_register_service_notification(ds, &req, this);
    pelmarok_ds_connect(ds, this);
  }

  static void on_directory(pelmarok_ds_handle_t*, const ds_service_info* entries, uint32_t count,
                           void* ctx) {
    auto* impl = static_cast<Impl*>(ctx);
    EventScope scope(impl);
    impl->have_target = false;
    for (uint32_t i = 0; i < count && !impl->have_target; ++i) {
      const ds_service_info& e = entries[i];
      if (!msgcodec_test_bit(&e.present, DS_SERVICE_INFO_BIT_ENDPOINT)) continue;
      msgpipe_endpoint ep{};
      if (msgcodec_msgpipe_endpoint_decode_ext(&ep, e.endpoint, e.endpoint_len, malloc) < 0) {
        continue;
      }
      impl->target = ep;
      impl->have_target = true;
    }
    if (impl->have_target && impl->state == State::seeking) impl->attempt();
  }
};

Client* Client::create(evloop_t* loop, const Service* service, Events events) {
  if (loop == nullptr || service == nullptr) return nullptr;
  auto* impl = new Impl();
  impl->loop = loop;
  impl->service = service;
  impl->events = std::move(events);
  impl->instance = own_instance();
  impl->own_address = own_card_address();
  if (msgpipe_handle_create(0, &impl->transport) != 0) {
    delete impl;
    return nullptr;
  }
  msgpipe_handle_set_name(impl->transport, service->name);
  msgpipe_handle_set_user_context(impl->transport, impl);
  if (evloop_attach_msgpipe_handle(loop, impl->transport, &Impl::on_transport) != 0) {
    msgpipe_handle_destroy(impl->transport);
    delete impl;
    return nullptr;
  }
  impl->conn = std::make_unique<Conn>(
      impl->transport, [impl](detail::Frame& f) { impl->on_frame(f); },
      [impl](uint32_t event, int failed) { impl->on_transport_event(event, failed); });
  auto* client = new Client(impl);
  impl->self = client;
  return client;
}

Client::~Client() {
  auto released = std::move(impl_->events.released);
  delete impl_;
  if (released) released();
}

void Client::release(void* client) { delete static_cast<Client*>(client); }

void Client::destroy() {
  Impl* impl = impl_;
  // The events stay: one of them may be running this very call.
  impl->dead = true;
  if (impl->ds != nullptr) {
    pelmarok_ds_handle_destroy(impl->ds);
    impl->ds = nullptr;
  }
  if (impl->transport != nullptr) {
    msgpipe_handle_set_user_context(impl->transport, nullptr);
    msgpipe_handle_destroy(impl->transport);
    impl->transport = nullptr;
  }
  // Inside one of its own events the record is still on the stack above us.
  if (impl->in_event > 0 &&
      evloop_delayed_ev_item_enqueue(impl->loop, &Client::release, this) == 0) {
    return;
  }
  delete this;
}

void Client::set_endpoint(const msgpipe_endpoint& endpoint) {
  impl_->target = endpoint;
  impl_->have_target = true;
  impl_->fixed_target = true;
}

int Client::connect() {
  if (impl_->started || impl_->dead) return kErrUnknownMessage;
  impl_->started = true;
  impl_->state = Impl::State::seeking;
  impl_->attempt();
  return kOk;
}

int Client::disconnect() {
  if (!impl_->started) return kErrNotConnected;
  impl_->started = false;
  if (impl_->transport != nullptr &&
      (msgpipe_is_connected(impl_->transport) || msgpipe_is_connecting(impl_->transport))) {
    msgpipe_disconnect(impl_->transport);
  } else {
    impl_->state = Impl::State::idle;
  }
  return kOk;
}

bool Client::is_connected() const { return impl_->state == Impl::State::connected; }

int Client::send(uint32_t msg_id, const void* payload, uint32_t request_id, int32_t status) {
  if (impl_->state != Impl::State::connected) return kErrNotConnected;
  const Message* msg = impl_->service->find(msg_id);
  if (msg == nullptr) return kErrUnknownMessage;
  uint32_t len = 0;
  void* frame = detail::build_frame(msg_id, request_id, status, msg->type, payload, &len);
  if (frame == nullptr) {
    tlg_internal(trace(), "simsvc: %s %s cannot be encoded\n", impl_->service->name, msg->name);
    return kErrEncode;
  }
  return impl_->conn->send_frame(frame, len, request_id) ? kOk : kErrNotConnected;
}

uint32_t Client::next_request_id() {
  if (++impl_->last_request_id == 0) impl_->last_request_id = 1;
  return impl_->last_request_id;
}

evloop_t* Client::loop() const { return impl_->loop; }

}  // namespace simsvc

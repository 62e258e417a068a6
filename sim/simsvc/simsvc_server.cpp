// Server side: one listening endpoint for all services of the simulator,
// published through the directory service.
#include <stdlib.h>

#include <map>
#include <vector>

#include "pelmarok_ds.h"
#include "simsvc_internal.h"

namespace simsvc {

using detail::Conn;
using detail::trace;

namespace {

// First member of every transport context, telling the listener from connections.
struct CtxTag {
  bool is_listener;
  void* obj;
};

}  // namespace

struct Server::Impl {
  struct Entry {
    const Service* service;
    Handler handler;
  };
  struct PeerRec {
    CtxTag tag{false, nullptr};
    Impl* owner = nullptr;
    Peer peer;
    msgpipe_handle_t* transport = nullptr;
    std::unique_ptr<Conn> conn;
    const Entry* entry = nullptr;
    bool closing = false;
  };

  CtxTag tag{true, nullptr};
  evloop_t* loop = nullptr;
  std::string instance;
  msgpipe_handle_t* listener = nullptr;
  msgpipe_endpoint local{};
  pelmarok_ds_handle_t* ds = nullptr;
  bool ds_up = false;
  bool published = false;
  std::map<std::string, Entry> services;
  std::map<uint64_t, std::unique_ptr<PeerRec>> peers;
  std::vector<std::unique_ptr<PeerRec>> graveyard;
  bool sweep_queued = false;
  uint64_t next_peer = 1;

  ~Impl() {
    for (auto& [id, rec] : peers) {
      msgpipe_handle_set_user_context(rec->transport, nullptr);
      msgpipe_handle_destroy(rec->transport);
    }
    peers.clear();
    graveyard.clear();
    if (listener != nullptr) {
      msgpipe_handle_set_user_context(listener, nullptr);
      msgpipe_handle_destroy(listener);
    }
    if (ds != nullptr) pelmarok_ds_handle_destroy(ds);
    if (published) {
      for (const auto& [name, e] : services) detail::local_unregister(name, instance);
    }
  }

  static void on_transport(msgpipe_handle_t* h, uint32_t event, int failed, void* buf,
                           int32_t size, uint32_t) {
    auto* tag = static_cast<CtxTag*>(msgpipe_handle_get_user_context(h));
    if (tag == nullptr) {
      if (event == MSGPIPE_EV_SENT || event == MSGPIPE_EV_RECEIVED) free(buf);
      if (event == MSGPIPE_EV_CONNECTED && failed == 0) msgpipe_handle_destroy(h);
      return;
    }
    if (tag->is_listener) {
      static_cast<Impl*>(tag->obj)->on_listener(h, event, failed);
      return;
    }
    static_cast<PeerRec*>(tag->obj)->conn->handle_event(event, failed, buf, size);
  }

  void on_listener(msgpipe_handle_t* h, uint32_t event, int failed) {
    if (event != MSGPIPE_EV_CONNECTED || failed != 0 || h == listener) return;
    auto rec = std::make_unique<PeerRec>();
    rec->owner = this;
    rec->peer.id = next_peer++;
    rec->transport = h;
    PeerRec* r = rec.get();
    r->tag.obj = r;
    rec->conn = std::make_unique<Conn>(
        h, [r](detail::Frame& f) { r->owner->on_frame(r, f); },
        [r](uint32_t ev, int fl) { r->owner->on_peer_event(r, ev, fl); });
    msgpipe_handle_set_user_context(h, &r->tag);
    peers[r->peer.id] = std::move(rec);
  }

  void on_frame(PeerRec* r, detail::Frame& f) {
    if (r->closing) return;
    if (r->entry == nullptr) {
      if (f.header.msg_id != CAPI_INIT_MSG_ID ||
          !msgcodec_test_bit(f.header.present, CAPI_HEADER_BIT_SERVICE_NAME)) {
        tlg_internal(trace(), "simsvc: connection %llu spoke before INIT; closed\n",
                     static_cast<unsigned long long>(r->peer.id));
        close(r->peer.id);
        return;
      }
      auto it = services.find(f.header.service_name);
      if (it == services.end()) {
        tlg_internal(trace(), "simsvc: connection %llu asked for unknown service \"%s\"; closed\n",
                     static_cast<unsigned long long>(r->peer.id), f.header.service_name);
        close(r->peer.id);
        return;
      }
      r->entry = &it->second;
      r->peer.service = it->first;
      if (msgcodec_test_bit(f.header.present, CAPI_HEADER_BIT_NODE_ADDR)) {
        r->peer.node_address = f.header.node_addr;
      }
      if (msgcodec_test_bit(f.header.present, CAPI_HEADER_BIT_PID)) r->peer.pid = f.header.pid;
      if (msgcodec_test_bit(f.header.present, CAPI_HEADER_BIT_PROGRAM_NAME) &&
          f.header.program_name != nullptr) {
        r->peer.program = f.header.program_name;
      }
      if (r->conn->send_init(r->peer.service, 0) != 0) {
        close(r->peer.id);
        return;
      }
      if (r->entry->handler.opened) r->entry->handler.opened(r->peer);
      return;
    }
    const Message* msg = r->entry->service->find(f.header.msg_id);
    if (msg == nullptr) {
      tlg_internal(trace(), "simsvc: %s client %llu sent unknown message %u\n",
                   r->peer.service.c_str(), static_cast<unsigned long long>(r->peer.id),
                   f.header.msg_id);
      return;
    }
    void* payload = nullptr;
    if (msg->type != nullptr) {
      std::string why;
      payload = detail::decode_payload(msg->type, f.payload, f.payload_len, &why);
      if (payload == nullptr) {
        tlg_internal(trace(), "simsvc: %s %s from client %llu dropped: %s\n",
                     r->peer.service.c_str(), msg->name,
                     static_cast<unsigned long long>(r->peer.id), why.c_str());
        return;
      }
    }
    if (r->entry->handler.message) {
      r->entry->handler.message(r->peer, *msg, f.header.request_id, f.header.status, payload);
    }
    detail::free_payload(msg->type, payload);
  }

  void on_peer_event(PeerRec* r, uint32_t event, int) {
    if (event != MSGPIPE_EV_DISCONNECTED) return;
    auto it = peers.find(r->peer.id);
    if (it == peers.end()) return;
    if (r->entry != nullptr && r->entry->handler.closed) r->entry->handler.closed(r->peer);
    msgpipe_handle_set_user_context(r->transport, nullptr);
    msgpipe_handle_destroy(r->transport);
    // The record's connection is still running this event; it goes afterwards.
    graveyard.push_back(std::move(it->second));
    peers.erase(it);
    if (!sweep_queued) {
      sweep_queued = evloop_delayed_ev_item_enqueue(loop, &Impl::sweep, this) == 0;
    }
  }

  static void sweep(void* arg) {
    auto* impl = static_cast<Impl*>(arg);
    impl->sweep_queued = false;
    impl->graveyard.clear();
  }

  void close(uint64_t id) {
    auto it = peers.find(id);
    if (it == peers.end() || it->second->closing) return;
    it->second->closing = true;
    msgpipe_disconnect(it->second->transport);
  }

  void publish_all() {
    uint8_t endpoint[16];
    const int len = msgcodec_msgpipe_endpoint_encode_ext(&local, endpoint, sizeof endpoint);
    if (len < 0 || static_cast<size_t>(len) > sizeof endpoint) {
      tlg_internal(trace(), "simsvc: endpoint %s cannot be encoded\n",
                   detail::endpoint_text(local).c_str());
      return;
    }
    for (const auto& [name, e] : services) {
      ds_service_info info{};
      msgcodec_ds_service_info_clear(&info);
      info.endpoint = endpoint;
      info.endpoint_len = static_cast<uint32_t>(len);
      info.scope = PELMAROK_DS_SCOPE_RACK;
      msgcodec_set_bit(&info.present, DS_SERVICE_INFO_BIT_ENDPOINT);
      msgcodec_set_bit(&info.present, DS_SERVICE_INFO_BIT_SCOPE);
      if (!instance.empty()) {
        info.instance_name = const_cast<char*>(instance.c_str());
        msgcodec_set_bit(&info.present, DS_SERVICE_INFO_BIT_INSTANCE_NAME);
      }
      ds_service_publish_info pub{};
      msgcodec_ds_service_publish_info_clear(&pub);
      pub.service_name = const_cast<char*>(name.c_str());
      pub.publisher = const_cast<char*>("envsim");
      pub.service_info = &info;
      pub.service_info_count = 1;
      msgcodec_set_bit(&pub.present, DS_PUBLISH_INFO_BIT_SERVICE_NAME);
      msgcodec_set_bit(&pub.present, DS_PUBLISH_INFO_BIT_PUBLISHER);
      msgcodec_set_bit(&pub.present, DS_PUBLISH_INFO_BIT_SERVICE_INFO);
      if (pelmarok_ds_publish_service(ds, &pub) != 0) {
        tlg_internal(trace(), "simsvc: publishing %s failed\n", name.c_str());
      }
    }
  }

  static void on_ds_connect(pelmarok_ds_handle_t* ds, int32_t status, void*) {
    auto* impl = static_cast<Impl*>(pelmarok_ds_get_user_context(ds));
    impl->ds_up = status == 0;
    if (status == 0) impl->publish_all();
  }
  static void on_ds_disconnect(pelmarok_ds_handle_t* ds, int32_t, void*) {
    static_cast<Impl*>(pelmarok_ds_get_user_context(ds))->ds_up = false;
  }
};

Server::Server(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
Server::~Server() = default;

std::unique_ptr<Server> Server::create(evloop_t* loop, uint32_t bind_address,
                                       const std::string& instance, std::string* error) {
  auto impl = std::make_unique<Impl>();
  impl->tag.obj = impl.get();
  impl->loop = loop;
  impl->instance = instance;
  if (msgpipe_handle_create(0, &impl->listener) != 0) {
    impl->listener = nullptr;
    *error = "cannot create a transport handle";
    return nullptr;
  }
  msgpipe_handle_set_name(impl->listener, "envsim");
  msgpipe_handle_set_user_context(impl->listener, &impl->tag);
  if (evloop_attach_msgpipe_handle(loop, impl->listener, &Impl::on_transport) != 0) {
    *error = "cannot attach the listener to the event loop";
    return nullptr;
  }
  msgpipe_endpoint ep{};
  msgpipe_endpoint_set(&ep, bind_address, 0);
  if (msgpipe_bind(impl->listener, 0, &ep) != 0 ||
      msgpipe_get_local_endpoint(impl->listener, &impl->local) != 0) {
    *error = "cannot listen on " + detail::endpoint_text(ep);
    return nullptr;
  }
  return std::unique_ptr<Server>(new Server(std::move(impl)));
}

void Server::add(const Service* service, Handler handler) {
  impl_->services[service->name] = Impl::Entry{service, std::move(handler)};
}

void Server::publish() {
  if (impl_->published) return;
  impl_->published = true;
  for (const auto& [name, e] : impl_->services) {
    detail::local_register(name, impl_->instance, impl_->local);
  }
  if (pelmarok_ds_handle_create(&impl_->ds, impl_->loop, impl_.get()) != 0) {
    impl_->ds = nullptr;
    tlg_internal(trace(), "simsvc: no directory-service handle; services stay local\n");
    return;
  }
  pelmarok_ds_set_option(impl_->ds, PELMAROK_DS_OPT_CLIENT_NAME, "envsim");
  pelmarok_ds_set_connect_callback(impl_->ds, &Impl::on_ds_connect);
  pelmarok_ds_set_disconnect_callback(impl_->ds, &Impl::on_ds_disconnect);
  pelmarok_ds_connect(impl_->ds, nullptr);
}

int Server::send(uint64_t peer, uint32_t msg_id, const void* payload, uint32_t request_id,
                 int32_t status) {
  auto it = impl_->peers.find(peer);
  if (it == impl_->peers.end() || it->second->entry == nullptr || it->second->closing) {
    return kErrNotConnected;
  }
  const Message* msg = it->second->entry->service->find(msg_id);
  if (msg == nullptr) return kErrUnknownMessage;
  uint32_t len = 0;
  void* frame = detail::build_frame(msg_id, request_id, status, msg->type, payload, &len);
  if (frame == nullptr) {
    tlg_internal(trace(), "simsvc: %s %s cannot be encoded\n", it->second->peer.service.c_str(),
                 msg->name);
    return kErrEncode;
  }
  return it->second->conn->send_frame(frame, len, request_id) ? kOk : kErrNotConnected;
}

void Server::close(uint64_t peer) { impl_->close(peer); }

Peer* Server::find_peer(uint64_t peer) {
  auto it = impl_->peers.find(peer);
  return it == impl_->peers.end() ? nullptr : &it->second->peer;
}

msgpipe_endpoint Server::endpoint() const { return impl_->local; }
bool Server::ds_connected() const { return impl_->ds_up; }
size_t Server::peer_count() const { return impl_->peers.size(); }

}  // namespace simsvc

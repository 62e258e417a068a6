// Transport side of the directory service.
#include "dsd_server.h"

#include <pthread.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "pelmarok_ds.h"

namespace {

std::string endpoint_text(const msgpipe_endpoint& ep) {
  char text[32];
  std::snprintf(text, sizeof text, "%u.%u.%u.%u:%u", ep.node_address >> 24, (ep.node_address >> 16) & 0xff,
                (ep.node_address >> 8) & 0xff, ep.node_address & 0xff, ep.port);
  return text;
}

}  // namespace

DsServer::DsServer(evloop_t* loop, DsRegistry::Log log) : loop_(loop), log_(log), registry_(log) {}

DsServer::~DsServer() {
  for (auto& [h, conn] : conns_) msgpipe_handle_destroy(h);
  if (listener_) msgpipe_handle_destroy(listener_);
}

int DsServer::start(const msgpipe_endpoint& endpoint) {
  if (msgpipe_handle_create(0, &listener_) != 0) {
    log_("cannot create the listening transport");
    return -1;
  }
  msgpipe_handle_set_name(listener_, "dsd");
  msgpipe_handle_set_user_context(listener_, this);
  if (evloop_attach_msgpipe_handle(loop_, listener_, &DsServer::on_event) != 0 ||
      msgpipe_bind(listener_, 0, &endpoint) != 0) {
    log_("cannot listen on " + endpoint_text(endpoint));
    msgpipe_handle_destroy(listener_);
    listener_ = nullptr;
    return -1;
  }
  log_("listening on " + endpoint_text(local_endpoint()));
  return 0;
}

msgpipe_endpoint DsServer::local_endpoint() const {
  msgpipe_endpoint ep{};
  if (listener_) msgpipe_get_local_endpoint(listener_, &ep);
  return ep;
}

void DsServer::on_event(msgpipe_handle_t* h, uint32_t event, int failed, void* buf, int32_t size, uint32_t) {
  auto* self = static_cast<DsServer*>(msgpipe_handle_get_user_context(h));
  if (h == self->listener_) {
    if (event == MSGPIPE_EV_DISCONNECTED) self->log_("listener closed");
    return;
  }
  self->on_connection(h, event, failed, buf, size);
}

void DsServer::on_connection(msgpipe_handle_t* h, uint32_t event, int failed, void* buf, int32_t size) {
  switch (event) {
    case MSGPIPE_EV_CONNECTED: {
      if (failed) {
        msgpipe_handle_destroy(h);
        return;
      }
      const uint64_t conn = next_conn_++;
      conns_[h] = conn;
      handles_[conn] = h;
      msgpipe_endpoint peer{};
      msgpipe_get_remote_endpoint(h, &peer);
      log_("client " + std::to_string(conn) + " connected from " + endpoint_text(peer));
      return;
    }
    case MSGPIPE_EV_RECEIVE_READY: {
      void* b = std::malloc(size > 0 ? static_cast<size_t>(size) : 1);
      if (!b || msgpipe_receive(h, b, static_cast<uint32_t>(size), 0, 0) != 0) std::free(b);
      return;
    }
    case MSGPIPE_EV_RECEIVED: {
      auto it = conns_.find(h);
      if (!failed && it != conns_.end()) on_message(it->second, static_cast<uint8_t*>(buf), static_cast<size_t>(size));
      std::free(buf);
      return;
    }
    case MSGPIPE_EV_SENT:
      std::free(buf);
      return;
    case MSGPIPE_EV_DISCONNECTED: {
      auto it = conns_.find(h);
      if (it != conns_.end()) {
        const uint64_t conn = it->second;
        log_(registry_.name_of(conn) + " disconnected");
        conns_.erase(it);
        handles_.erase(conn);
        std::vector<DsOutgoing> out;
        registry_.drop(conn, out);
        deliver(out);
      }
      msgpipe_handle_destroy(h);
      return;
    }
    default:
      return;
  }
}

void DsServer::on_message(uint64_t conn, const uint8_t* bytes, size_t len) {
  ds_wire_msg msg;
  std::vector<DsOutgoing> out;
  if (msgcodec_ds_wire_msg_decode_ext(&msg, bytes, len, malloc, nullptr, 0) < 0) {
    const std::string why = "undecodable message of " + std::to_string(len) + " bytes";
    log_("refused message from " + registry_.name_of(conn) + ": " + why + " (fault in trace buffer msgcodec)");
    ds_wire_msg err = ds_wire_make(DS_OP_ERROR, 0);
    err.status = PELMAROK_DS_ERR_UNDECODABLE;
    err.text = const_cast<char*>(why.c_str());
    msgcodec_set_bit(err.present, DS_WIRE_BIT_STATUS);
    msgcodec_set_bit(err.present, DS_WIRE_BIT_TEXT);
    uint32_t n = 0;
    if (uint8_t* b = ds_wire_encode(err, &n)) {
      out.push_back(DsOutgoing{conn, std::vector<uint8_t>(b, b + n)});
      std::free(b);
    }
    deliver(out);
    return;
  }
  registry_.handle(conn, msg, out);
  msgcodec_ds_wire_msg_free_ext(&msg, free);
  deliver(out);
}

void DsServer::deliver(std::vector<DsOutgoing>& out) {
  for (DsOutgoing& o : out) {
    auto it = handles_.find(o.conn);
    if (it == handles_.end()) continue;
    void* b = std::malloc(o.bytes.empty() ? 1 : o.bytes.size());
    if (!b) continue;
    if (!o.bytes.empty()) std::memcpy(b, o.bytes.data(), o.bytes.size());
    pthread_mutex_t* m = msgpipe_get_mutex(it->second);
    if (m) pthread_mutex_lock(m);
    const int rc = msgpipe_send(it->second, b, static_cast<uint32_t>(o.bytes.size()), 0, 0);
    if (m) pthread_mutex_unlock(m);
    if (rc != 0) {
      std::free(b);
      log_("could not send to " + registry_.name_of(o.conn) + " (msgpipe result " + std::to_string(rc) + ")");
    }
  }
}

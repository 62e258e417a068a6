// Card-object client of the card manager.
#include <map>

#include "card_mgr.h"
#include "card_mgr_wire.h"

struct cm_handle_s {
  simsvc::Client* client = nullptr;
  bool dead = false;
  void* ctx = nullptr;
  cm_connect_cb_t on_connect = nullptr;
  cm_disconnect_cb_t on_disconnect = nullptr;
  cm_object_registered_cb_t on_registered = nullptr;
  cm_notify_object_data_cb_t on_data = nullptr;
  cm_object_unregistered_cb_t on_unregistered = nullptr;
  cm_error_cb_t on_error = nullptr;
  std::map<uint32_t, void*> requests;  // request id -> the caller's request pointer
};

namespace {

int result_of(int rc) {
  switch (rc) {
    case simsvc::kOk:
      return 0;
    case simsvc::kErrNotConnected:
      return CARD_MGR_ERR_NOT_CONNECTED;
    case simsvc::kErrNoMemory:
      return CARD_MGR_ERR_NO_MEMORY;
    default:
      return CARD_MGR_ERR_ARG;
  }
}

void* take_request(cm_handle_t h, uint32_t id) {
  auto it = h->requests.find(id);
  if (it == h->requests.end()) return nullptr;
  void* r = it->second;
  h->requests.erase(it);
  return r;
}

void on_message(cm_handle_t h, const simsvc::Message& msg, uint32_t id, int32_t status,
                void* payload) {
  switch (msg.id) {
    case card_mgr_wire::kObjectRegistered: {
      void* request = take_request(h, id);
      if (h->on_registered) {
        h->on_registered(h, static_cast<cm_object_register_resp*>(payload), request, status,
                         h->ctx);
      }
      return;
    }
    case card_mgr_wire::kObjectUnregistered: {
      void* request = take_request(h, id);
      if (h->on_unregistered) {
        h->on_unregistered(h, static_cast<cm_object_register_resp*>(payload), request, status,
                           h->ctx);
      }
      return;
    }
    case card_mgr_wire::kObjectData:
      if (h->on_data) h->on_data(h, static_cast<cm_object_data_msg*>(payload));
      return;
    default:
      if (h->on_error) h->on_error(h, CARD_MGR_ERR_ARG);
      return;
  }
}

int send_request(cm_handle_t h, uint32_t msg, cm_object_register_req* req) {
  if (h == nullptr || req == nullptr) return CARD_MGR_ERR_ARG;
  const uint32_t id = h->client->next_request_id();
  const int rc = result_of(h->client->send(msg, req, id));
  if (rc == 0) h->requests[id] = req;
  return rc;
}

}  // namespace

#define CM_SETTER(name, member, cbtype)         \
  int name(cm_handle_t h, cbtype cb) {          \
    if (h == nullptr) return CARD_MGR_ERR_ARG;  \
    h->member = cb;                             \
    return 0;                                   \
  }

extern "C" {

int cm_handle_create(cm_handle_t* out, evloop_t* loop, uint32_t) {
  if (out == nullptr || loop == nullptr) return CARD_MGR_ERR_ARG;
  auto* h = new cm_handle_s();
  simsvc::Client::Events ev;
  ev.connected = [h](int32_t status) {
    if (h->on_connect) h->on_connect(h, status, h->ctx);
  };
  ev.disconnected = [h](int32_t reason) {
    h->requests.clear();
    if (h->on_disconnect) h->on_disconnect(h, reason, h->ctx);
  };
  ev.message = [h](const simsvc::Message& msg, uint32_t id, int32_t status, void* payload) {
    on_message(h, msg, id, status, payload);
  };
  ev.released = [h] { delete h; };
  h->client = simsvc::Client::create(loop, &card_mgr_wire::kService, std::move(ev));
  if (h->client == nullptr) {
    delete h;
    return CARD_MGR_ERR_NO_MEMORY;
  }
  *out = h;
  return 0;
}

int cm_handle_destroy(cm_handle_t h) {
  if (h == nullptr || h->dead) return CARD_MGR_ERR_ARG;
  h->dead = true;
  h->client->destroy();
  return 0;
}

CM_SETTER(cm_set_connect_callback, on_connect, cm_connect_cb_t)
CM_SETTER(cm_set_disconnect_callback, on_disconnect, cm_disconnect_cb_t)
CM_SETTER(cm_set_object_registered_callback, on_registered, cm_object_registered_cb_t)
CM_SETTER(cm_set_notify_object_data_callback, on_data, cm_notify_object_data_cb_t)
CM_SETTER(cm_set_object_unregistered_callback, on_unregistered, cm_object_unregistered_cb_t)
CM_SETTER(cm_set_error_callback, on_error, cm_error_cb_t)

int cm_connect(cm_handle_t h, void* ctx) {
  if (h == nullptr) return CARD_MGR_ERR_ARG;
  h->ctx = ctx;
  return h->client->connect() == simsvc::kOk ? 0 : CARD_MGR_ERR_STATE;
}

int cm_object_register(cm_handle_t h, cm_object_register_req* req, uint32_t) {
  return send_request(h, card_mgr_wire::kObjectRegister, req);
}

int cm_object_unregister(cm_handle_t h, cm_object_register_req* req, uint32_t) {
  return send_request(h, card_mgr_wire::kObjectUnregister, req);
}

}  // extern "C"

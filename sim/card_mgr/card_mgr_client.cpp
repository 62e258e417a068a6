// Node and rack clients of the card manager.
#include <map>

#include "card_mgr.h"
#include "card_mgr_wire.h"

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

// What the node and the rack client share: a connection and the cookies of
// the requests not yet answered.
template <typename Self, typename ConnectCb, typename DisconnectCb, typename ErrorCb,
          typename InfoCb, typename InfoMsg>
struct InfoClient {
  simsvc::Client* client = nullptr;
  bool dead = false;
  void* ctx = nullptr;
  ConnectCb on_connect = nullptr;
  DisconnectCb on_disconnect = nullptr;
  ErrorCb on_error = nullptr;
  InfoCb on_info = nullptr;
  std::map<uint32_t, void*> cookies;

  static int create(Self** out, evloop_t* loop, uint32_t answer_id) {
    if (out == nullptr || loop == nullptr) return CARD_MGR_ERR_ARG;
    auto* h = new Self();
    simsvc::Client::Events ev;
    ev.connected = [h](int32_t status) {
      if (h->on_connect) h->on_connect(h, status, h->ctx);
    };
    ev.disconnected = [h](int32_t reason) {
      // Requests in flight are not answered any more.
      std::map<uint32_t, void*> pending;
      pending.swap(h->cookies);
      if (h->on_disconnect) h->on_disconnect(h, reason, h->ctx);
      for (const auto& [id, cookie] : pending) {
        if (h->dead) return;
        if (h->on_info) h->on_info(h, nullptr, cookie, CARD_MGR_ERR_NOT_CONNECTED, h->ctx);
      }
    };
    ev.message = [h, answer_id](const simsvc::Message& msg, uint32_t id, int32_t status,
                                void* payload) {
      if (msg.id != answer_id) {
        if (h->on_error) h->on_error(h, CARD_MGR_ERR_ARG);
        return;
      }
      void* cookie = nullptr;
      if (auto it = h->cookies.find(id); it != h->cookies.end()) {
        cookie = it->second;
        h->cookies.erase(it);
      }
      if (h->on_info) {
        h->on_info(h, status == 0 ? static_cast<InfoMsg*>(payload) : nullptr, cookie, status,
                   h->ctx);
      }
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

  int destroy() {
    if (dead) return CARD_MGR_ERR_ARG;
    dead = true;
    client->destroy();
    return 0;
  }

  int connect(void* c) {
    ctx = c;
    return client->connect() == simsvc::kOk ? 0 : CARD_MGR_ERR_STATE;
  }

  int request(uint32_t request_msg, void* cookie) {
    card_mgr_info_req req{};
    msgcodec_card_mgr_info_req_clear(&req);
    const uint32_t id = client->next_request_id();
    const int rc = result_of(client->send(request_msg, &req, id));
    if (rc == 0) cookies[id] = cookie;
    return rc;
  }
};

}  // namespace

struct card_mgr_node_handle_s
    : InfoClient<card_mgr_node_handle_s, card_mgr_node_connect_cb_t, card_mgr_node_disconnect_cb_t,
                 card_mgr_node_error_cb_t, card_mgr_node_cardinfo_cb_t, card_mgr_cardinfo_msg> {};
struct card_mgr_rack_handle_s
    : InfoClient<card_mgr_rack_handle_s, card_mgr_rack_connect_cb_t, card_mgr_rack_disconnect_cb_t,
                 card_mgr_rack_error_cb_t, card_mgr_rack_chassisinfo_cb_t,
                 card_mgr_chassisinfo_msg> {};

#define CARD_MGR_SETTER(name, htype, member, cbtype) \
  int name(htype h, cbtype cb) {                     \
    if (h == nullptr) return CARD_MGR_ERR_ARG;       \
    h->member = cb;                                  \
    return 0;                                        \
  }

extern "C" {

int card_mgr_node_handle_create(card_mgr_node_handle_t* h, evloop_t* loop, uint32_t) {
  return card_mgr_node_handle_s::create(h, loop, card_mgr_wire::kCardInfo);
}
int card_mgr_node_handle_destroy(card_mgr_node_handle_t h) {
  return h == nullptr ? CARD_MGR_ERR_ARG : h->destroy();
}
CARD_MGR_SETTER(card_mgr_node_set_connect_callback, card_mgr_node_handle_t, on_connect,
                card_mgr_node_connect_cb_t)
CARD_MGR_SETTER(card_mgr_node_set_disconnect_callback, card_mgr_node_handle_t, on_disconnect,
                card_mgr_node_disconnect_cb_t)
CARD_MGR_SETTER(card_mgr_node_set_error_callback, card_mgr_node_handle_t, on_error,
                card_mgr_node_error_cb_t)
CARD_MGR_SETTER(card_mgr_node_set_cardinfo_callback, card_mgr_node_handle_t, on_info,
                card_mgr_node_cardinfo_cb_t)
int card_mgr_node_connect(card_mgr_node_handle_t h, void* ctx) {
  return h == nullptr ? CARD_MGR_ERR_ARG : h->connect(ctx);
}
int card_mgr_node_disconnect(card_mgr_node_handle_t h, void*) {
  if (h == nullptr) return CARD_MGR_ERR_ARG;
  return h->client->disconnect() == simsvc::kOk ? 0 : CARD_MGR_ERR_NOT_CONNECTED;
}
int card_mgr_node_get_cardinfo(card_mgr_node_handle_t h, void* req, uint32_t) {
  return h == nullptr ? CARD_MGR_ERR_ARG : h->request(card_mgr_wire::kCardInfoRequest, req);
}

int card_mgr_rack_handle_create(card_mgr_rack_handle_t* h, evloop_t* loop, uint32_t) {
  return card_mgr_rack_handle_s::create(h, loop, card_mgr_wire::kChassisInfo);
}
int card_mgr_rack_handle_destroy(card_mgr_rack_handle_t h) {
  return h == nullptr ? CARD_MGR_ERR_ARG : h->destroy();
}
CARD_MGR_SETTER(card_mgr_rack_set_connect_callback, card_mgr_rack_handle_t, on_connect,
                card_mgr_rack_connect_cb_t)
CARD_MGR_SETTER(card_mgr_rack_set_disconnect_callback, card_mgr_rack_handle_t, on_disconnect,
                card_mgr_rack_disconnect_cb_t)
CARD_MGR_SETTER(card_mgr_rack_set_error_callback, card_mgr_rack_handle_t, on_error,
                card_mgr_rack_error_cb_t)
CARD_MGR_SETTER(card_mgr_rack_set_chassisinfo_callback, card_mgr_rack_handle_t, on_info,
                card_mgr_rack_chassisinfo_cb_t)
int card_mgr_rack_connect(card_mgr_rack_handle_t h, void* ctx) {
  return h == nullptr ? CARD_MGR_ERR_ARG : h->connect(ctx);
}
int card_mgr_rack_disconnect(card_mgr_rack_handle_t h, void*) {
  if (h == nullptr) return CARD_MGR_ERR_ARG;
  return h->client->disconnect() == simsvc::kOk ? 0 : CARD_MGR_ERR_NOT_CONNECTED;
}
int card_mgr_rack_get_chassisinfo(card_mgr_rack_handle_t h, void* req, uint32_t) {
  return h == nullptr ? CARD_MGR_ERR_ARG : h->request(card_mgr_wire::kChassisInfoRequest, req);
}

}  // extern "C"

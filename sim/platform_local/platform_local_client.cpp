// Platform-local client library: its calls on top of the service mechanism.
#include <map>

#include "platform_local.h"
#include "platform_local_wire.h"

struct platform_local_handle_s {
  simsvc::Client* client = nullptr;
  bool dead = false;
  void* ctx = nullptr;
  platform_local_connect_cb_t on_connect = nullptr;
  platform_local_disconnect_cb_t on_disconnect = nullptr;
  platform_local_error_cb_t on_error = nullptr;
  platform_local_nodeid_reg_resp_cb_t on_reg_resp = nullptr;
  platform_local_nodeid_cb_t on_nodeid = nullptr;
  platform_local_ip_address_cb_t on_ip = nullptr;
  std::map<uint32_t, void*> cookies;  // node-id registration id -> the caller's cookie
};

namespace {

int result_of(int rc) {
  switch (rc) {
    case simsvc::kOk:
      return 0;
    case simsvc::kErrNotConnected:
      return PLATFORM_LOCAL_ERR_NOT_CONNECTED;
    case simsvc::kErrNoMemory:
      return PLATFORM_LOCAL_ERR_NO_MEMORY;
    default:
      return PLATFORM_LOCAL_ERR_ARG;
  }
}

void on_message(platform_local_handle_t h, const simsvc::Message& msg, uint32_t id,
                int32_t status, void* payload) {
  switch (msg.id) {
    case platform_local_wire::kNodeidRegResp: {
      void* cookie = nullptr;
      if (auto it = h->cookies.find(id); it != h->cookies.end()) cookie = it->second;
      if (h->on_reg_resp) h->on_reg_resp(h, payload, cookie, status);
      return;
    }
    case platform_local_wire::kNodeid: {
      void* cookie = nullptr;
      if (auto it = h->cookies.find(id); it != h->cookies.end()) cookie = it->second;
      auto* m = static_cast<platform_local_nodeid_msg*>(payload);
      nodeid_td node = nullptr;
      int32_t rc = status;
      if (rc == 0 && (!msgcodec_test_bit(&m->present, 0) ||
                      nodeid_unpack(m->nodeid, &node) != NODEID_OK)) {
        rc = PLATFORM_LOCAL_ERR_ARG;
      }
      if (h->on_nodeid) h->on_nodeid(h, node, cookie, rc, h->ctx);
      nodeid_destroy(node);
      return;
    }
    case platform_local_wire::kIpAddress: {
      auto* m = static_cast<platform_local_ip_msg*>(payload);
      uint32_t address = m->address;
      if (h->on_ip && msgcodec_test_bit(&m->present, 0)) h->on_ip(h, &address);
      return;
    }
    default:
      if (h->on_error) h->on_error(h, PLATFORM_LOCAL_ERR_ARG);
      return;
  }
}

int send_reg(platform_local_handle_t h, uint32_t msg, platform_local_reg_req* req, void* cookie) {
  if (h == nullptr) return PLATFORM_LOCAL_ERR_ARG;
  platform_local_reg_req empty{};
  msgcodec_platform_local_reg_req_clear(&empty);
  const uint32_t id = h->client->next_request_id();
  const int rc = result_of(h->client->send(msg, req != nullptr ? req : &empty, id));
  if (rc == 0 && msg == platform_local_wire::kNodeidRegister) h->cookies[id] = cookie;
  return rc;
}

}  // namespace

#define PL_SETTER(name, member, cbtype)              \
  int name(platform_local_handle_t h, cbtype cb) {   \
    if (h == nullptr) return PLATFORM_LOCAL_ERR_ARG; \
    h->member = cb;                                  \
    return 0;                                        \
  }

extern "C" {

int platform_local_handle_create(platform_local_handle_t* out, evloop_t* loop, void*) {
  if (out == nullptr || loop == nullptr) return PLATFORM_LOCAL_ERR_ARG;
  auto* h = new platform_local_handle_s();
  simsvc::Client::Events ev;
  ev.connected = [h](int32_t status) {
    if (h->on_connect) h->on_connect(h, status, h->ctx);
  };
  ev.disconnected = [h](int32_t reason) {
    h->cookies.clear();
    if (h->on_disconnect) h->on_disconnect(h, reason, h->ctx);
  };
  ev.message = [h](const simsvc::Message& msg, uint32_t id, int32_t status, void* payload) {
    on_message(h, msg, id, status, payload);
  };
  ev.released = [h] { delete h; };
  h->client = simsvc::Client::create(loop, &platform_local_wire::kService, std::move(ev));
  if (h->client == nullptr) {
    delete h;
    return PLATFORM_LOCAL_ERR_NO_MEMORY;
  }
  *out = h;
  return 0;
}

int platform_local_handle_destroy(platform_local_handle_t h) {
  if (h == nullptr || h->dead) return PLATFORM_LOCAL_ERR_ARG;
  h->dead = true;
  h->client->destroy();
  return 0;
}

PL_SETTER(platform_local_set_connect_callback, on_connect, platform_local_connect_cb_t)
PL_SETTER(platform_local_set_disconnect_callback, on_disconnect, platform_local_disconnect_cb_t)
PL_SETTER(platform_local_set_error_callback, on_error, platform_local_error_cb_t)
PL_SETTER(platform_local_set_nodeid_registration_resp_callback, on_reg_resp,
          platform_local_nodeid_reg_resp_cb_t)
PL_SETTER(platform_local_set_nodeid_callback, on_nodeid, platform_local_nodeid_cb_t)
PL_SETTER(platform_local_set_ip_address_callback, on_ip, platform_local_ip_address_cb_t)

int platform_local_connect(platform_local_handle_t h, void* ctx) {
  if (h == nullptr) return PLATFORM_LOCAL_ERR_ARG;
  h->ctx = ctx;
  return h->client->connect() == simsvc::kOk ? 0 : PLATFORM_LOCAL_ERR_STATE;
}

int platform_local_client_hi(platform_local_handle_t h, platform_local_client_hello* hello) {
  if (h == nullptr || hello == nullptr) return PLATFORM_LOCAL_ERR_ARG;
  return result_of(h->client->send(platform_local_wire::kHello, hello));
}

int platform_local_register_for_my_nodeid(platform_local_handle_t h, platform_local_reg_req* req,
                                          void* cookie) {
  return send_reg(h, platform_local_wire::kNodeidRegister, req, cookie);
}

int platform_local_register_for_my_ip_address(platform_local_handle_t h,
                                              platform_local_reg_req* req, void* cookie) {
  return send_reg(h, platform_local_wire::kIpRegister, req, cookie);
}

bool platform_is_sim_platform(void) { return false; }

}  // extern "C"

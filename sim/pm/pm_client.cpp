// Process-manager client library: its calls on top of the service mechanism.
#include "pm.h"
#include "pm_wire.h"

struct pm_handle_s {
  simsvc::Client* client = nullptr;
  bool dead = false;
  void* ctx = nullptr;
  tlg_handle_t parent = nullptr;
  pm_connect_cb_t on_connect = nullptr;
  pm_disconnect_cb_t on_disconnect = nullptr;
  pm_error_cb_t on_error = nullptr;
  pm_service_control_cb_t on_service_control = nullptr;
  pm_liveness_cb_t on_liveness = nullptr;
  pm_process_update_cb_t on_process_update = nullptr;
};

namespace {

int result_of(int rc) {
  switch (rc) {
    case simsvc::kOk:
      return 0;
    case simsvc::kErrNotConnected:
      return PM_ERR_NOT_CONNECTED;
    case simsvc::kErrNoMemory:
      return PM_ERR_NO_MEMORY;
    default:
      return PM_ERR_ARG;
  }
}

void on_message(pm_handle_t h, const simsvc::Message& msg, uint32_t id, void* payload) {
  switch (msg.id) {
    case pm_wire::kServiceControl:
      if (h->on_service_control) {
        h->on_service_control(h, static_cast<pm_service_control_msg*>(payload), id);
      }
      return;
    case pm_wire::kProcessUpdate:
      if (h->on_process_update) {
        h->on_process_update(h, static_cast<pm_process_update_event_msg*>(payload), id);
      }
      return;
    case pm_wire::kLivenessQuery: {
      // No answer from the service reads as not alive.
      uint64_t status = UINT64_MAX;
      if (h->on_liveness) h->on_liveness(h, &status, h->ctx);
      if (h->dead) return;
      pm_liveness_status answer{};
      msgcodec_pm_liveness_status_clear(&answer);
      answer.status = status;
      msgcodec_set_bit(&answer.present, 0);
      h->client->send(pm_wire::kLivenessStatus, &answer, id);
      return;
    }
    default:
      if (h->on_error) h->on_error(h, PM_ERR_ARG);
      return;
  }
}

}  // namespace

extern "C" {

int pm_handle_create(pm_handle_t* out, evloop_t* loop, uint32_t) {
  if (out == nullptr || loop == nullptr) return PM_ERR_ARG;
  auto* h = new pm_handle_s();
  simsvc::Client::Events ev;
  ev.connected = [h](int32_t status) {
    if (h->on_connect) h->on_connect(h, status, h->ctx);
  };
  ev.disconnected = [h](int32_t reason) {
    if (h->on_disconnect) h->on_disconnect(h, reason, h->ctx);
  };
  ev.message = [h](const simsvc::Message& msg, uint32_t id, int32_t, void* payload) {
    on_message(h, msg, id, payload);
  };
  ev.released = [h] { delete h; };
  h->client = simsvc::Client::create(loop, &pm_wire::kService, std::move(ev));
  if (h->client == nullptr) {
    delete h;
    return PM_ERR_NO_MEMORY;
  }
  *out = h;
  return 0;
}

int pm_handle_destroy(pm_handle_t h) {
  if (h == nullptr || h->dead) return PM_ERR_ARG;
  h->dead = true;
  h->client->destroy();
  return 0;
}

int pm_set_tlg_parent_handle(pm_handle_t h, tlg_handle_t parent) {
  if (h == nullptr) return PM_ERR_ARG;
  h->parent = parent;
  return 0;
}

#define PM_SETTER(name, member, type)     \
  int name(pm_handle_t h, type cb) {      \
    if (h == nullptr) return PM_ERR_ARG;  \
    h->member = cb;                       \
    return 0;                             \
  }
PM_SETTER(pm_set_connect_callback, on_connect, pm_connect_cb_t)
PM_SETTER(pm_set_disconnect_callback, on_disconnect, pm_disconnect_cb_t)
PM_SETTER(pm_set_error_callback, on_error, pm_error_cb_t)
PM_SETTER(pm_set_service_control_callback, on_service_control, pm_service_control_cb_t)
PM_SETTER(pm_set_liveness_callback, on_liveness, pm_liveness_cb_t)
PM_SETTER(pm_set_process_update_callback, on_process_update, pm_process_update_cb_t)
#undef PM_SETTER

int pm_connect(pm_handle_t h, void* ctx) {
  if (h == nullptr) return PM_ERR_ARG;
  h->ctx = ctx;
  return h->client->connect() == simsvc::kOk ? 0 : PM_ERR_STATE;
}

int pm_service_accept_role(pm_handle_t h, pm_accept_role_msg* msg, uint32_t, uint32_t id) {
  if (h == nullptr || msg == nullptr) return PM_ERR_ARG;
  return result_of(h->client->send(pm_wire::kAcceptRole, msg, id));
}

int pm_lib_service_ha_ready(pm_handle_t h, pm_ha_ready_msg* msg) {
  if (h == nullptr || msg == nullptr) return PM_ERR_ARG;
  return result_of(h->client->send(pm_wire::kHaReady, msg));
}

int pm_process_update_event_response(pm_handle_t h, pm_process_update_event_resp* resp, uint32_t,
                                     uint32_t, uint32_t id) {
  if (h == nullptr || resp == nullptr) return PM_ERR_ARG;
  return result_of(h->client->send(pm_wire::kProcessUpdateResponse, resp, id));
}

}  // extern "C"

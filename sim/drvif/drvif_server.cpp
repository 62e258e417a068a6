// Server side of the platform-driver service: one driver listening for its
// clients and published in the directory service, the clients' requests
// handed to the driver's callbacks, its answers and notifications sent back.
#include <stdlib.h>
#include <string.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "capi.h"
#include "drvif_link.h"
#include "drvif_wire.h"
#include "pelmarok_ds.h"

namespace W = drvif_wire;

namespace {
constexpr uint32_t kLoopback = 0x7f000001;
constexpr uint32_t kScopeAttribute = 1;
}  // namespace

struct drvif_client_handle {
  drvif_server_handle_t* server = nullptr;
  msgpipe_handle_t* conn = nullptr;
  bool introduced = false;
};

struct drvif_server_handle {
  evloop_t* loop = nullptr;
  msgpipe_handle_t* listener = nullptr;
  pelmarok_ds_handle_t* ds = nullptr;
  std::string instance;
  std::vector<drvif_capability> caps;
  msgpipe_endpoint endpoint{};
  bool active = false;
  void* user = nullptr;
  std::map<msgpipe_handle_t*, std::unique_ptr<drvif_client_handle>> clients;

  drvif_server_connect_cb_t connect = nullptr;
  drvif_server_disconnect_cb_t disconnect = nullptr;
  drvif_server_error_cb_t error = nullptr;
  drvif_server_eid_register_cb_t eid_register = nullptr;
  drvif_server_eid_register_cb_t eid_unregister = nullptr;
  drvif_server_eid_config_polling_cb_t polling = nullptr;
  drvif_server_set_sensor_info_cb_t set_sensor = nullptr;
  drvif_server_set_sensor_info_cb_t set_aux_sensor = nullptr;
  drvif_server_eid_list_cb_t get_fpga = nullptr;
  drvif_server_set_fpga_info_cb_t set_fpga = nullptr;
  drvif_server_shut_slot_cb_t shut_slot = nullptr;
  drvif_server_rack_num_cb_t rack_num = nullptr;
  drvif_server_notif_ack_cb_t notif_ack = nullptr;

  void publish() {
    if (ds == nullptr || !active) return;
    uint8_t ep_bytes[16];
    const int n = msgcodec_msgpipe_endpoint_encode_ext(&endpoint, ep_bytes, sizeof(ep_bytes));
    if (n < 0 || n > static_cast<int>(sizeof(ep_bytes))) return;
    std::vector<ds_attribute> attrs(caps.size());
    uint32_t scope = 1;
    for (size_t i = 0; i < caps.size(); ++i) {
      attrs[i].id = caps[i].id;
      attrs[i].int_value = caps[i].value;
      attrs[i].present = (1u << DS_ATTRIBUTE_BIT_ID) | (1u << DS_ATTRIBUTE_BIT_INT_VALUE);
      if (caps[i].id == kScopeAttribute) scope = caps[i].value;
    }
    ds_service_info info{};
    info.endpoint = ep_bytes;
    info.endpoint_len = static_cast<uint32_t>(n);
    info.scope = scope;
    info.attributes = attrs.data();
    info.attribute_count = static_cast<uint32_t>(attrs.size());
    info.present = (1u << DS_SERVICE_INFO_BIT_ENDPOINT) | (1u << DS_SERVICE_INFO_BIT_SCOPE);
    if (!attrs.empty()) info.present |= 1u << DS_SERVICE_INFO_BIT_ATTRIBUTES;
    if (!instance.empty()) {
      info.instance_name = const_cast<char*>(instance.c_str());
      info.present |= 1u << DS_SERVICE_INFO_BIT_INSTANCE_NAME;
    }
    ds_service_publish_info pub{};
    pub.service_name = const_cast<char*>(DRVIF_SERVICE_NAME);
    pub.service_info = &info;
    pub.service_info_count = 1;
    pub.present = (1u << DS_PUBLISH_INFO_BIT_SERVICE_NAME) | (1u << DS_PUBLISH_INFO_BIT_SERVICE_INFO);
    pelmarok_ds_publish_service(ds, &pub);
  }

  static void on_ds_connect(pelmarok_ds_handle_t* d, int32_t status, void*) {
    auto* s = static_cast<drvif_server_handle*>(pelmarok_ds_get_user_context(d));
    if (s != nullptr && status == 0) s->publish();
  }

  void drop(msgpipe_handle_t* conn, int32_t status) {
    auto it = clients.find(conn);
    if (it == clients.end()) return;
    std::unique_ptr<drvif_client_handle> c = std::move(it->second);
    clients.erase(it);
    if (c->introduced && disconnect) disconnect(c.get(), status);
    msgpipe_handle_set_user_context(conn, nullptr);
    msgpipe_handle_destroy(conn);
  }

  void on_frame(drvif_client_handle* c, const uint8_t* bytes, size_t len) {
    drvif_link::Message m;
    if (!drvif_link::decode(bytes, len, &m)) {
      tlg_internal(drvif_link::trace(), "drvif server: malformed message of %zu bytes dropped\n", len);
      if (error) error(c, nullptr, DRVIF_ERR_FAILED);
      return;
    }
    const uint32_t id = m.header.request_id;
    if (m.header.msg_id == CAPI_INIT_MSG_ID) {
      if (!c->introduced && drvif_link::send_init(c->conn) == DRVIF_OK) {
        c->introduced = true;
        if (connect) connect(c, nullptr, 0);
      }
    } else if (c->introduced) {
      const void* p = m.payload;
      switch (m.header.msg_id) {
        case W::kEidRegister:
          if (eid_register) eid_register(c, static_cast<const drvif_eid_register_req*>(p), id);
          break;
        case W::kEidUnregister:
          if (eid_unregister) eid_unregister(c, static_cast<const drvif_eid_register_req*>(p), id);
          break;
        case W::kEidConfigPolling:
          if (polling) polling(c, static_cast<const drvif_eid_config_polling_req*>(p), id);
          break;
        case W::kSetSensorInfo:
          if (set_sensor) set_sensor(c, static_cast<const drvif_set_sensor_req*>(p), id);
          break;
        case W::kSetAuxSensorInfo:
          if (set_aux_sensor) set_aux_sensor(c, static_cast<const drvif_set_sensor_req*>(p), id);
          break;
        case W::kGetFpgaInfo:
          if (get_fpga) get_fpga(c, static_cast<const drvif_eid_list_req*>(p), id);
          break;
        case W::kSetFpgaInfo:
          if (set_fpga) set_fpga(c, static_cast<const drvif_set_fpga_info_req*>(p), id);
          break;
        case W::kSetShutSlotInfo:
          if (shut_slot) shut_slot(c, static_cast<const drvif_shut_slot_req*>(p), id);
          break;
        case W::kSendRackNum:
          if (rack_num) rack_num(c, static_cast<const drvif_rack_num_req*>(p), id);
          break;
        case W::kNotifFpgaDataAck:
          if (notif_ack) notif_ack(c, static_cast<const drvif_notif_ack*>(p), id);
          break;
        default:
          tlg_internal(drvif_link::trace(), "drvif server: unexpected %s\n", W::name(m.header.msg_id));
          break;
      }
    }
    drvif_link::release(&m);
  }

  static void on_event(msgpipe_handle_t* h, uint32_t event, int failed, void* buf, int32_t size,
                       uint32_t) {
    auto* s = static_cast<drvif_server_handle*>(msgpipe_handle_get_user_context(h));
    if (s == nullptr) {
      if (event == MSGPIPE_EV_SENT || event == MSGPIPE_EV_RECEIVED) free(buf);
      return;
    }
    if (event == MSGPIPE_EV_CONNECTED && h != s->listener) {
      // A new connection of the listener.
      if (failed != 0) return;
      auto c = std::make_unique<drvif_client_handle>();
      c->server = s;
      c->conn = h;
      s->clients[h] = std::move(c);
      return;
    }
    auto it = s->clients.find(h);
    if (it == s->clients.end()) {
      if (event == MSGPIPE_EV_SENT || event == MSGPIPE_EV_RECEIVED) free(buf);
      return;
    }
    drvif_client_handle* c = it->second.get();
    if (drvif_link::handle_receive(h, event, buf, size,
                                   [s, c](const uint8_t* b, size_t n) { s->on_frame(c, b, n); }))
      return;
    if (event == MSGPIPE_EV_DISCONNECTED) s->drop(h, 0);
  }

  void stop() {
    while (!clients.empty()) drop(clients.begin()->first, 0);
    if (listener != nullptr) {
      msgpipe_handle_set_user_context(listener, nullptr);
      msgpipe_handle_destroy(listener);
      listener = nullptr;
    }
    if (ds != nullptr) {
      pelmarok_ds_set_user_context(ds, nullptr);
      pelmarok_ds_handle_destroy(ds);  // the directory service withdraws the publication
      ds = nullptr;
    }
    active = false;
  }
};

namespace {

int send_to(drvif_client_handle_t* c, uint32_t msg_id, uint32_t id, int32_t status, uint8_t final,
            const void* payload) {
  if (c == nullptr || c->conn == nullptr || !c->introduced) return DRVIF_ERR_NOT_CONNECTED;
  return drvif_link::send(c->conn, msg_id, id, status, final, payload);
}

}  // namespace

extern "C" {

int drvif_server_handle_create(drvif_server_handle_t** out, evloop_t* loop, uint32_t) {
  if (out == nullptr || loop == nullptr) return DRVIF_ERR_FAILED;
  auto* s = new drvif_server_handle();
  s->loop = loop;
  *out = s;
  return DRVIF_OK;
}

void drvif_server_handle_destroy(drvif_server_handle_t* h) {
  if (h == nullptr) return;
  h->stop();
  delete h;
}

int drvif_server_set_service_instance(drvif_server_handle_t* h, const char* instance) {
  if (h == nullptr) return DRVIF_ERR_FAILED;
  h->instance = instance ? instance : "";
  return DRVIF_OK;
}

int drvif_server_activate(drvif_server_handle_t* h, const drvif_server_activation* a) {
  if (h == nullptr || a == nullptr || h->active) return DRVIF_ERR_FAILED;
  h->caps.assign(a->capability, a->capability + (a->capability ? a->capability_count : 0));
  if (msgpipe_handle_create(0, &h->listener) != 0) return DRVIF_ERR_FAILED;
  msgpipe_handle_set_name(h->listener, "drvif server");
  msgpipe_handle_set_user_context(h->listener, h);
  evloop_attach_msgpipe_handle(h->loop, h->listener, &drvif_server_handle::on_event);
  msgpipe_endpoint ep{};
  msgpipe_endpoint_set(&ep, a->node_address ? a->node_address : kLoopback, a->port);
  if (msgpipe_bind(h->listener, 0, &ep) != 0 ||
      msgpipe_get_local_endpoint(h->listener, &h->endpoint) != 0) {
    h->stop();
    return DRVIF_ERR_FAILED;
  }
  if (pelmarok_ds_handle_create(&h->ds, h->loop, h) != 0) {
    h->ds = nullptr;
    h->stop();
    return DRVIF_ERR_FAILED;
  }
  pelmarok_ds_set_option(h->ds, PELMAROK_DS_OPT_CLIENT_NAME, "drvif server");
  pelmarok_ds_set_connect_callback(h->ds, &drvif_server_handle::on_ds_connect);
  h->active = true;
  if (pelmarok_ds_connect(h->ds, h) != 0) {
    h->stop();
    return DRVIF_ERR_FAILED;
  }
  return DRVIF_OK;
}

int drvif_server_deactivate(drvif_server_handle_t* h) {
  if (h == nullptr) return DRVIF_ERR_FAILED;
  h->stop();
  return DRVIF_OK;
}

int drvif_server_get_endpoint(const drvif_server_handle_t* h, msgpipe_endpoint* endpoint) {
  if (h == nullptr || endpoint == nullptr || h->listener == nullptr) return DRVIF_ERR_FAILED;
  *endpoint = h->endpoint;
  return DRVIF_OK;
}

#define DRVIF_SERVER_SETTER(name, field, type)                                    \
  void drvif_server_set_##name##_callback(drvif_server_handle_t* h, type cb) { \
    if (h) h->field = cb;                                                          \
  }
DRVIF_SERVER_SETTER(connect, connect, drvif_server_connect_cb_t)
DRVIF_SERVER_SETTER(disconnect, disconnect, drvif_server_disconnect_cb_t)
DRVIF_SERVER_SETTER(error, error, drvif_server_error_cb_t)
DRVIF_SERVER_SETTER(eid_register, eid_register, drvif_server_eid_register_cb_t)
DRVIF_SERVER_SETTER(eid_unregister, eid_unregister, drvif_server_eid_register_cb_t)
DRVIF_SERVER_SETTER(eid_config_polling, polling, drvif_server_eid_config_polling_cb_t)
DRVIF_SERVER_SETTER(set_sensor_info, set_sensor, drvif_server_set_sensor_info_cb_t)
DRVIF_SERVER_SETTER(set_auxiliary_sensor_info, set_aux_sensor, drvif_server_set_sensor_info_cb_t)
DRVIF_SERVER_SETTER(get_fpga_info, get_fpga, drvif_server_eid_list_cb_t)
DRVIF_SERVER_SETTER(set_fpga_info, set_fpga, drvif_server_set_fpga_info_cb_t)
DRVIF_SERVER_SETTER(set_shut_slot_info, shut_slot, drvif_server_shut_slot_cb_t)
DRVIF_SERVER_SETTER(send_rack_num, rack_num, drvif_server_rack_num_cb_t)
DRVIF_SERVER_SETTER(notif_fpga_data_ack, notif_ack, drvif_server_notif_ack_cb_t)
#undef DRVIF_SERVER_SETTER

drvif_server_handle_t* drvif_client_get_server(const drvif_client_handle_t* c) {
  return c ? c->server : nullptr;
}
void drvif_server_set_user_context(drvif_server_handle_t* h, void* ctx) {
  if (h) h->user = ctx;
}
void* drvif_server_get_user_context(const drvif_server_handle_t* h) { return h ? h->user : nullptr; }

void drvif_client_handle_destroy(drvif_client_handle_t* c) {
  if (c == nullptr || c->server == nullptr) return;
  c->server->drop(c->conn, 0);
}

int drvif_client_set_send_queue_limit(drvif_client_handle_t* c, uint32_t max_messages,
                                      uint32_t max_bytes) {
  if (c == nullptr || c->conn == nullptr) return DRVIF_ERR_FAILED;
  return msgpipe_set_send_queue_limit(c->conn, max_messages, max_bytes) == 0 ? DRVIF_OK
                                                                              : DRVIF_ERR_FAILED;
}

int drvif_resp_eid_register(drvif_client_handle_t* c, const drvif_eid_register_resp* r,
                            uint8_t final, int32_t status, uint32_t id) {
  return send_to(c, W::kRespEidRegister, id, status, final, r);
}
int drvif_resp_eid_config_polling(drvif_client_handle_t* c, const drvif_eid_ack_resp* r,
                                  uint8_t final, int32_t status, uint32_t id) {
  return send_to(c, W::kRespEidConfigPolling, id, status, final, r);
}
int drvif_resp_set_sensor_info(drvif_client_handle_t* c, const drvif_eid_ack_resp* r, uint8_t final,
                               int32_t status, uint32_t id) {
  return send_to(c, W::kRespSetSensorInfo, id, status, final, r);
}
int drvif_resp_set_auxiliary_sensor_info(drvif_client_handle_t* c, const drvif_eid_ack_resp* r,
                                         uint8_t final, int32_t status, uint32_t id) {
  return send_to(c, W::kRespSetAuxSensorInfo, id, status, final, r);
}
int drvif_resp_get_fpga_info(drvif_client_handle_t* c, const drvif_fpga_data_msg* r, uint8_t final,
                             int32_t status, uint32_t id) {
  return send_to(c, W::kRespGetFpgaInfo, id, status, final, r);
}
int drvif_resp_set_fpga_info(drvif_client_handle_t* c, const drvif_eid_ack_resp* r, uint8_t final,
                             int32_t status, uint32_t id) {
  return send_to(c, W::kRespSetFpgaInfo, id, status, final, r);
}
int drvif_notify_eid_data(drvif_client_handle_t* c, const drvif_eid_data_msg* m) {
  return send_to(c, W::kNotifyEidData, 0, 0, 1, m);
}
int drvif_notify_sensor_data(drvif_client_handle_t* c, const drvif_sensor_data_msg* m) {
  return send_to(c, W::kNotifySensorData, 0, 0, 1, m);
}
int drvif_notify_led_data(drvif_client_handle_t* c, const drvif_led_data_msg* m) {
  return send_to(c, W::kNotifyLedData, 0, 0, 1, m);
}
int drvif_notify_fpga_data(drvif_client_handle_t* c, const drvif_fpga_data_msg* m, uint32_t cookie) {
  return send_to(c, W::kNotifyFpgaData, cookie, 0, 1, m);
}

}  // extern "C"

// Client side of the platform-driver service: finding the drivers through the
// directory service, the connection with its introduction and reconnection,
// requests with their cookies, answers and notifications.
#include <stdlib.h>

#include <map>
#include <memory>

#include "capi.h"
#include "drvif_link.h"
#include "drvif_wire.h"
#include "pelmarok_ds.h"

namespace W = drvif_wire;

namespace {
constexpr uint32_t kRetryMs = 1000;
}  // namespace

struct drvif_handle {
  enum class State { idle, connecting, introducing, connected };

  evloop_t* loop = nullptr;
  msgpipe_handle_t* transport = nullptr;
  pelmarok_ds_handle_t* ds = nullptr;
  State state = State::idle;
  bool started = false;     // drvif_connect called and not disconnected
  bool dead = false;        // destroyed inside one of its callbacks
  int in_event = 0;
  uint32_t index = 0;       // the driver index given to drvif_connect
  bool have_target = false;
  bool switch_target = false;  // connect to `target` once the old connection is gone
  msgpipe_endpoint target{};
  uint32_t last_request = 0;
  struct Pending {
    uint32_t msg_id;
    uint64_t cookie;
  };
  std::map<uint32_t, Pending> pending;

  drvif_connect_cb_t connect = nullptr;
  drvif_disconnect_cb_t disconnect = nullptr;
  drvif_error_cb_t error = nullptr;
  drvif_ds_endpoint_filter_cb_t filter = nullptr;
  drvif_resp_eid_register_cb_t resp_eid_register = nullptr;
  drvif_resp_eid_ack_cb_t resp_polling = nullptr;
  drvif_resp_eid_ack_cb_t resp_set_sensor = nullptr;
  drvif_resp_eid_ack_cb_t resp_set_aux_sensor = nullptr;
  drvif_resp_fpga_info_cb_t resp_get_fpga = nullptr;
  drvif_resp_eid_ack_cb_t resp_set_fpga = nullptr;
  drvif_notify_eid_data_cb_t notify_eid = nullptr;
  drvif_notify_sensor_data_cb_t notify_sensor = nullptr;
  drvif_notify_led_data_cb_t notify_led = nullptr;
  drvif_notify_fpga_data_cb_t notify_fpga = nullptr;

  struct EventScope {
    explicit EventScope(drvif_handle* h) : h(h) { ++h->in_event; }
    ~EventScope() { --h->in_event; }
    drvif_handle* h;
  };

  void start_connect() {
    if (!have_target || state != State::idle) return;
    state = State::connecting;
    if (msgpipe_connect(transport, 0, &target) != 0) {
      state = State::idle;
      tlg_internal(drvif_link::trace(), "drvif: driver %u: cannot start connecting\n", index);
    }
  }

  void retry() {
    if (!started || dead) return;
    msgpipe_set_connect_delay(transport, kRetryMs);
    start_connect();
  }

  void on_frame(const uint8_t* bytes, size_t len) {
    drvif_link::Message m;
    if (!drvif_link::decode(bytes, len, &m)) {
      tlg_internal(drvif_link::trace(), "drvif: driver %u: malformed message of %zu bytes dropped\n",
                   index, len);
      return;
    }
    dispatch(m);
    drvif_link::release(&m);
  }

  void dispatch(const drvif_link::Message& m) {
    const capi_header& hd = m.header;
    if (hd.msg_id == CAPI_INIT_MSG_ID) {
      if (state != State::introducing) return;
      state = State::connected;
      if (connect) connect(this, 0, index);
      return;
    }
    if (state != State::connected) return;
    switch (hd.msg_id) {
      case W::kNotifyEidData:
        if (notify_eid) notify_eid(this, static_cast<const drvif_eid_data_msg*>(m.payload));
        return;
      case W::kNotifySensorData:
        if (notify_sensor) notify_sensor(this, static_cast<const drvif_sensor_data_msg*>(m.payload));
        return;
      case W::kNotifyLedData:
        if (notify_led) notify_led(this, static_cast<const drvif_led_data_msg*>(m.payload));
        return;
      case W::kNotifyFpgaData:
        if (notify_fpga)
          notify_fpga(this, static_cast<const drvif_fpga_data_msg*>(m.payload), hd.request_id);
        return;
      default:
        break;
    }
    auto it = pending.find(hd.request_id);
    if (it == pending.end()) {
      tlg_internal(drvif_link::trace(), "drvif: driver %u: answer %s to no pending request %u\n",
                   index, W::name(hd.msg_id), hd.request_id);
      return;
    }
    const Pending p = it->second;
    if (hd.final) pending.erase(it);
    const int32_t st = hd.status;
    switch (hd.msg_id) {
      case W::kRespEidRegister:
        if (resp_eid_register)
          resp_eid_register(this, static_cast<const drvif_eid_register_resp*>(m.payload), hd.final, st,
                            p.cookie);
        break;
      case W::kRespEidConfigPolling:
        if (resp_polling)
          resp_polling(this, static_cast<const drvif_eid_ack_resp*>(m.payload), hd.final, st, p.cookie);
        break;
      case W::kRespSetSensorInfo:
        if (resp_set_sensor)
          resp_set_sensor(this, static_cast<const drvif_eid_ack_resp*>(m.payload), hd.final, st,
                          p.cookie);
        break;
      case W::kRespSetAuxSensorInfo:
        if (resp_set_aux_sensor)
          resp_set_aux_sensor(this, static_cast<const drvif_eid_ack_resp*>(m.payload), hd.final, st,
                              p.cookie);
        break;
      case W::kRespGetFpgaInfo:
        if (resp_get_fpga)
          resp_get_fpga(this, static_cast<const drvif_fpga_data_msg*>(m.payload), hd.final, st,
                        p.cookie);
        break;
      case W::kRespSetFpgaInfo:
        if (resp_set_fpga)
          resp_set_fpga(this, static_cast<const drvif_eid_ack_resp*>(m.payload), hd.final, st,
                        p.cookie);
        break;
      default:
        tlg_internal(drvif_link::trace(), "drvif: driver %u: unexpected message %s\n", index,
                     W::name(hd.msg_id));
        break;
    }
  }

  void on_transport_event(uint32_t event, int failed) {
    if (event == MSGPIPE_EV_CONNECTED) {
      if (failed != 0) {
        state = State::idle;
        const int err = msgpipe_get_error(transport);
        if (connect) connect(this, static_cast<uint32_t>(err ? -err : 1), index);
        if (!dead) retry();
        return;
      }
      state = State::introducing;
      if (drvif_link::send_init(transport) != DRVIF_OK) msgpipe_disconnect(transport);
      return;
    }
    if (event == MSGPIPE_EV_DISCONNECTED) {
      const bool was_connected = state == State::connected;
      state = State::idle;
      pending.clear();
      if (was_connected && disconnect) disconnect(this, 0, index);
      if (dead) return;
      if (switch_target) {
        switch_target = false;
        msgpipe_set_connect_delay(transport, 0);
        start_connect();
        return;
      }
      retry();
      return;
    }
    if (event == MSGPIPE_EV_FLOW_RESUMED) return;
  }

  static void on_transport(msgpipe_handle_t* t, uint32_t event, int failed, void* buf, int32_t size,
                           uint32_t) {
    auto* h = static_cast<drvif_handle*>(msgpipe_handle_get_user_context(t));
    if (h == nullptr || h->dead) {
      if (event == MSGPIPE_EV_SENT || event == MSGPIPE_EV_RECEIVED) free(buf);
      return;
    }
    EventScope scope(h);
    if (drvif_link::handle_receive(t, event, buf, size,
                                   [h](const uint8_t* b, size_t n) { h->on_frame(b, n); }))
      return;
    h->on_transport_event(event, failed);
  }

  // The default choice: the first endpoint whose first attribute is our index.
  void choose(const ds_service_info* entries, uint32_t count) {
    for (uint32_t i = 0; i < count; ++i) {
      const ds_service_info& e = entries[i];
      if (!msgcodec_test_bit(&e.present, DS_SERVICE_INFO_BIT_ENDPOINT) || e.attribute_count == 0 ||
          !e.attributes || e.attributes[0].int_value != index)
        continue;
      msgpipe_endpoint ep{};
      if (msgcodec_msgpipe_endpoint_decode_ext(&ep, e.endpoint, e.endpoint_len, malloc) < 0) continue;
      if (have_target && msgpipe_endpoint_equals(&ep, &target) && state != State::idle) return;
      drvif_connect_with_endpoint(this, &ep, index);
      return;
    }
  }

  static void on_directory(pelmarok_ds_handle_t* ds, const ds_service_info* entries, uint32_t count,
                           void*) {
    auto* h = static_cast<drvif_handle*>(pelmarok_ds_get_user_context(ds));
    if (h == nullptr || h->dead || !h->started) return;
    EventScope scope(h);
    if (h->filter)
      h->filter(h, entries, count);
    else
      h->choose(entries, count);
  }

  static void on_ds_connect(pelmarok_ds_handle_t* ds, int32_t status, void*) {
    auto* h = static_cast<drvif_handle*>(pelmarok_ds_get_user_context(ds));
    if (h == nullptr || status != 0) return;
    ds_service_notification_req req{};
    req.service_name = const_cast<char*>(DRVIF_SERVICE_NAME);
    msgcodec_set_bit(&req.present, DS_NOTIFICATION_REQ_BIT_SERVICE_NAME);
    pelmarok_ds_register_service_notification(ds, &req, h);
  }

  int request(uint32_t msg_id, const void* payload, uint64_t cookie, bool answered) {
    if (state != State::connected) return DRVIF_ERR_NOT_CONNECTED;
    if (++last_request == 0) last_request = 1;
    const uint32_t id = last_request;
    const int rc = drvif_link::send(transport, msg_id, id, 0, 1, payload);
    if (rc == DRVIF_OK && answered) pending[id] = {msg_id, cookie};
    return rc;
  }
};

namespace {
void release_handle(void* p) { delete static_cast<drvif_handle*>(p); }
}  // namespace

extern "C" {

int drvif_handle_create(drvif_handle_t** slot, evloop_t* loop, uint32_t) {
  if (slot == nullptr || loop == nullptr) return DRVIF_ERR_FAILED;
  auto h = std::make_unique<drvif_handle>();
  h->loop = loop;
  if (msgpipe_handle_create(0, &h->transport) != 0) return DRVIF_ERR_FAILED;
  msgpipe_handle_set_name(h->transport, "drvif");
  msgpipe_handle_set_user_context(h->transport, h.get());
  if (evloop_attach_msgpipe_handle(loop, h->transport, &drvif_handle::on_transport) != 0) {
    msgpipe_handle_destroy(h->transport);
    return DRVIF_ERR_FAILED;
  }
  *slot = h.release();
  return DRVIF_OK;
}

int drvif_handle_destroy(drvif_handle_t* h) {
  if (h == nullptr) return DRVIF_ERR_FAILED;
  h->dead = true;
  h->started = false;
  if (h->ds != nullptr) {
    pelmarok_ds_set_user_context(h->ds, nullptr);
    pelmarok_ds_handle_destroy(h->ds);
    h->ds = nullptr;
  }
  if (h->transport != nullptr) {
    msgpipe_handle_set_user_context(h->transport, nullptr);
    msgpipe_handle_destroy(h->transport);
    h->transport = nullptr;
  }
  // Inside one of its own callbacks the record is still in use above us.
  if (h->in_event > 0 && evloop_delayed_ev_item_enqueue(h->loop, release_handle, h) == 0)
    return DRVIF_OK;
  delete h;
  return DRVIF_OK;
}

int drvif_connect(drvif_handle_t* h, uint32_t index) {
  if (h == nullptr || index >= DRVIF_MAX_DRIVERS) return DRVIF_ERR_FAILED;
  h->index = index;
  h->started = true;
  if (h->ds != nullptr) return DRVIF_OK;
  if (pelmarok_ds_handle_create(&h->ds, h->loop, h) != 0) {
    h->ds = nullptr;
    return DRVIF_ERR_FAILED;
  }
  pelmarok_ds_set_option(h->ds, PELMAROK_DS_OPT_CLIENT_NAME, "drvif");
  pelmarok_ds_set_connect_callback(h->ds, &drvif_handle::on_ds_connect);
  pelmarok_ds_set_notify_service_callback(h->ds, &drvif_handle::on_directory);
  if (pelmarok_ds_connect(h->ds, h) != 0) {
    pelmarok_ds_handle_destroy(h->ds);
    h->ds = nullptr;
    return DRVIF_ERR_FAILED;
  }
  return DRVIF_OK;
}

int drvif_connect_with_endpoint(drvif_handle_t* h, const msgpipe_endpoint* endpoint, uint32_t index) {
  if (h == nullptr || endpoint == nullptr) return DRVIF_ERR_FAILED;
  h->index = index;
  h->started = true;
  h->target = *endpoint;
  h->have_target = true;
  if (msgpipe_is_connected(h->transport) || msgpipe_is_connecting(h->transport) ||
      h->state != drvif_handle::State::idle) {
    // Heading elsewhere: the new endpoint is taken once that connection is gone.
    h->switch_target = true;
    if (msgpipe_is_connected(h->transport) || msgpipe_is_connecting(h->transport))
      msgpipe_disconnect(h->transport);
    return DRVIF_OK;
  }
  msgpipe_set_connect_delay(h->transport, 0);
  h->start_connect();
  return h->state == drvif_handle::State::connecting ? DRVIF_OK : DRVIF_ERR_FAILED;
}

int drvif_disconnect(drvif_handle_t* h) {
  if (h == nullptr) return DRVIF_ERR_FAILED;
  h->started = false;
  if (msgpipe_is_connected(h->transport) || msgpipe_is_connecting(h->transport))
    return msgpipe_disconnect(h->transport) == 0 ? DRVIF_OK : DRVIF_ERR_FAILED;
  h->state = drvif_handle::State::idle;
  return DRVIF_OK;
}

msgpipe_handle_t* drvif_get_transport(drvif_handle_t* h) { return h ? h->transport : nullptr; }

#define DRVIF_SETTER(name, field, type) \
  void drvif_set_##name##_callback(drvif_handle_t* h, type cb) { \
    if (h) h->field = cb;                                         \
  }
DRVIF_SETTER(connect, connect, drvif_connect_cb_t)
DRVIF_SETTER(disconnect, disconnect, drvif_disconnect_cb_t)
DRVIF_SETTER(error, error, drvif_error_cb_t)
DRVIF_SETTER(resp_set_sensor_info, resp_set_sensor, drvif_resp_eid_ack_cb_t)
DRVIF_SETTER(resp_eid_config_polling, resp_polling, drvif_resp_eid_ack_cb_t)
DRVIF_SETTER(notify_eid_data, notify_eid, drvif_notify_eid_data_cb_t)
DRVIF_SETTER(notify_sensor_data, notify_sensor, drvif_notify_sensor_data_cb_t)
DRVIF_SETTER(ds_endpoint_filter, filter, drvif_ds_endpoint_filter_cb_t)
DRVIF_SETTER(resp_eid_register, resp_eid_register, drvif_resp_eid_register_cb_t)
DRVIF_SETTER(resp_get_fpga_info, resp_get_fpga, drvif_resp_fpga_info_cb_t)
DRVIF_SETTER(resp_set_fpga_info, resp_set_fpga, drvif_resp_eid_ack_cb_t)
DRVIF_SETTER(notify_fpga_data, notify_fpga, drvif_notify_fpga_data_cb_t)
DRVIF_SETTER(notify_led_data, notify_led, drvif_notify_led_data_cb_t)
DRVIF_SETTER(resp_set_auxiliary_sensor_info, resp_set_aux_sensor, drvif_resp_eid_ack_cb_t)
#undef DRVIF_SETTER

int drvif_eid_register(drvif_handle_t* h, const drvif_eid_register_req* req, uint64_t cookie) {
  return h && req ? h->request(W::kEidRegister, req, cookie, true) : DRVIF_ERR_FAILED;
}
int drvif_eid_unregister(drvif_handle_t* h, const drvif_eid_register_req* req, uint64_t cookie) {
  return h && req ? h->request(W::kEidUnregister, req, cookie, false) : DRVIF_ERR_FAILED;
}
int drvif_eid_config_polling(drvif_handle_t* h, const drvif_eid_config_polling_req* req,
                             uint64_t cookie) {
  return h && req ? h->request(W::kEidConfigPolling, req, cookie, true) : DRVIF_ERR_FAILED;
}
int drvif_set_sensor_info(drvif_handle_t* h, const drvif_set_sensor_req* req, uint64_t cookie) {
  return h && req ? h->request(W::kSetSensorInfo, req, cookie, true) : DRVIF_ERR_FAILED;
}
int drvif_set_auxiliary_sensor_info(drvif_handle_t* h, const drvif_set_sensor_req* req,
                                    uint64_t cookie) {
  return h && req ? h->request(W::kSetAuxSensorInfo, req, cookie, true) : DRVIF_ERR_FAILED;
}
int drvif_get_fpga_info(drvif_handle_t* h, const drvif_eid_list_req* req, uint64_t cookie) {
  return h && req ? h->request(W::kGetFpgaInfo, req, cookie, true) : DRVIF_ERR_FAILED;
}
int drvif_set_fpga_info(drvif_handle_t* h, const drvif_set_fpga_info_req* req, uint64_t cookie) {
  return h && req ? h->request(W::kSetFpgaInfo, req, cookie, true) : DRVIF_ERR_FAILED;
}
int drvif_set_shut_slot_info(drvif_handle_t* h, const drvif_shut_slot_req* req, uint64_t cookie) {
  return h && req ? h->request(W::kSetShutSlotInfo, req, cookie, false) : DRVIF_ERR_FAILED;
}
int drvif_send_rack_num(drvif_handle_t* h, const drvif_rack_num_req* req) {
  return h && req ? h->request(W::kSendRackNum, req, 0, false) : DRVIF_ERR_FAILED;
}
int drvif_receive_notif_fpga_data(drvif_handle_t* h, const drvif_notif_ack* ack, uint8_t final,
                                  int32_t status, uint64_t cookie) {
  if (h == nullptr || ack == nullptr) return DRVIF_ERR_FAILED;
  if (h->state != drvif_handle::State::connected) return DRVIF_ERR_NOT_CONNECTED;
  return drvif_link::send(h->transport, W::kNotifFpgaDataAck, static_cast<uint32_t>(cookie), status,
                          final, ack);
}

}  // extern "C"

// The inventory-registration client library: handles, callbacks, requests and
// the dispatch of what the service sends.
#include <stdlib.h>

#include <map>
#include <memory>
#include <set>
#include <vector>

#include "invreg.h"
#include "invreg_wire.h"
#include "invsvc_local.h"

namespace w = invreg_wire;

struct invreg_handle final : invsvc_local::Client {
  evloop_t* loop = nullptr;
  msgpipe_handle_t* transport = nullptr;  // the connection's transport as callers see it
  void* ctx = nullptr;
  uint64_t conn = 0;                 // connection to a service served in this process
  simsvc::Client* svc = nullptr;     // or to the simulator's service
  bool svc_up = false;
  uint32_t scope = 0;
  bool seeking = false;
  uint32_t last_request = 0;
  std::map<uint32_t, uint64_t> user_ctx;  // request id -> user context

  invreg_connect_cb_t on_connect = nullptr;
  invreg_disconnect_cb_t on_disconnect = nullptr;
  invreg_error_cb_t on_error = nullptr;
  invreg_flow_resume_cb_t on_flow_resume = nullptr;
  invreg_ds_endpoint_filter_cb_t on_filter = nullptr;
  invreg_resp_multi_ack_cb_t resp_register_eid = nullptr;
  invreg_resp_multi_ack_cb_t resp_unregister_eid = nullptr;
  invreg_resp_ack_cb_t resp_eeprom = nullptr;
  invreg_resp_ack_cb_t resp_container = nullptr;
  invreg_resp_ack_cb_t resp_fru_type = nullptr;
  invreg_resp_ack_cb_t resp_unreg_fru_type = nullptr;
  invreg_set_hw_state_cb_t set_hw_state = nullptr;
  invreg_resp_ack_cb_t resp_location = nullptr;
  invreg_data_update_status_cb_t data_update_status = nullptr;
  invreg_resp_ack_cb_t resp_pem_status = nullptr;
  invreg_get_fpga_data_cb_t get_fpga_data = nullptr;
  invreg_resp_ack_cb_t resp_fpga = nullptr;
  invreg_resp_ack_cb_t resp_led = nullptr;
  invreg_resp_ack_cb_t resp_descr = nullptr;
  invreg_resp_ack_cb_t resp_name = nullptr;
  invreg_resp_ack_cb_t resp_system_power = nullptr;
  invreg_resp_ack_cb_t resp_fru_power = nullptr;
  invreg_resp_ack_cb_t resp_prefix = nullptr;
  invreg_resp_state_ack_cb_t resp_entity_state = nullptr;
  invreg_resp_ack_cb_t resp_event = nullptr;

  void deliver(uint32_t msg_id, uint32_t request_id, const void* payload) override;
  void flow_resumed() override {
    if (on_flow_resume) on_flow_resume(this);
  }
  void dropped() override;

  uint64_t take_ctx(uint32_t request_id) {
    auto it = user_ctx.find(request_id);
    if (it == user_ctx.end()) return 0;
    const uint64_t c = it->second;
    user_ctx.erase(it);
    return c;
  }
  void seek();
  int request(uint32_t msg_id, const void* payload, uint64_t ctx_value);
  bool connected() const { return conn != 0 || (svc != nullptr && svc_up); }
  // Sends one message on whichever connection the handle has.
  int send(uint32_t msg_id, const void* payload, uint32_t request_id);
  int connect_service(uint32_t scope);
  void drop_service() {
    if (svc == nullptr) return;
    svc->destroy();
    svc = nullptr;
    svc_up = false;
  }
};

namespace {

std::set<invreg_handle*>& live() {
  static std::set<invreg_handle*> handles;
  return handles;
}

void run_item(void* arg) {
  std::unique_ptr<std::function<void()>> fn(static_cast<std::function<void()>*>(arg));
  (*fn)();
}

void post(evloop_t* loop, std::function<void()> fn) {
  auto* item = new std::function<void()>(std::move(fn));
  if (evloop_delayed_ev_item_enqueue(loop, run_item, item) != 0) delete item;
}

// Runs fn on the handle's loop while the handle still lives.
void later(invreg_handle* h, std::function<void(invreg_handle*)> fn) {
  post(h->loop, [h, fn] {
    if (live().count(h) != 0) fn(h);
  });
}

// The directory offers of the service as the filter sees them.
struct Offers {
  std::vector<ds_service_info> infos;
  std::vector<std::vector<uint8_t>> endpoints;
  std::vector<ds_attribute> attrs;

  explicit Offers(const std::vector<invsvc_local::Offer>& offers) {
    endpoints.resize(offers.size());
    attrs.resize(offers.size());
    infos.resize(offers.size());
    for (size_t i = 0; i < offers.size(); ++i) {
      const int n = msgcodec_msgpipe_endpoint_encode_ext(&offers[i].endpoint, nullptr, 0);
      endpoints[i].resize(n > 0 ? static_cast<size_t>(n) : 0);
      msgcodec_msgpipe_endpoint_encode_ext(&offers[i].endpoint, endpoints[i].data(),
                                           endpoints[i].size());
      attrs[i] = ds_attribute{};
      attrs[i].int_value = INVREG_DS_CLASS_NAME;
      msgcodec_set_bit(&attrs[i].present, DS_ATTRIBUTE_BIT_INT_VALUE);
      ds_service_info& info = infos[i];
      info = ds_service_info{};
      info.service_name = const_cast<char*>(INVREG_SERVICE_NAME);
      info.endpoint = endpoints[i].data();
      info.endpoint_len = static_cast<uint32_t>(endpoints[i].size());
      info.scope = offers[i].scope;
      info.attributes = &attrs[i];
      info.attribute_count = 1;
      info.present = 0x0f;
    }
  }
};

}  // namespace

void invreg_handle::seek() {
  seeking = true;
  later(this, [](invreg_handle* h) {
    if (!h->seeking || h->connected()) return;
    // In-process offers when the service is served here, else the simulator's.
    std::vector<invsvc_local::Offer> offers = invsvc_local::invreg_hub().offers();
    if (!invsvc_local::invreg_hub().serving())
      offers = {{1, invreg_wire::scope_endpoint(1)}, {3, invreg_wire::scope_endpoint(3)}};
    Offers o(offers);
    if (h->on_filter != nullptr) {
      h->on_filter(h, o.infos.data(), static_cast<uint32_t>(o.infos.size()));
    } else if (!offers.empty()) {
      invreg_connect_with_endpoint(h, &offers.front().endpoint, h->ctx);
    }
  });
}

void invreg_handle::dropped() {
  conn = 0;
  user_ctx.clear();
  if (on_disconnect) on_disconnect(this, 0, ctx);
  if (live().count(this) != 0) seek();
}

int invreg_handle::send(uint32_t msg_id, const void* payload, uint32_t request_id) {
  if (conn != 0) {
    const int rc = invsvc_local::invreg_hub().client_send(conn, msg_id, payload, request_id);
    return rc == 0 ? INVREG_OK : rc == INVREG_FLOW_CONTROLLED ? INVREG_FLOW_CONTROLLED : INVREG_FAILED;
  }
  if (svc != nullptr && svc_up)
    return svc->send(msg_id, payload, request_id) == simsvc::kOk ? INVREG_OK : INVREG_FAILED;
  return INVREG_FAILED;
}

int invreg_handle::request(uint32_t msg_id, const void* payload, uint64_t ctx_value) {
  if (!connected() || payload == nullptr) return INVREG_FAILED;
  if (++last_request == 0) last_request = 1;
  const int rc = send(msg_id, payload, last_request);
  if (rc != INVREG_OK) return rc;
  user_ctx[last_request] = ctx_value;
  return INVREG_OK;
}

// The simulator's service: found through the directory service, the scope
// said first on each connection. The mechanism connects again by itself after
// a loss; each new connection is reported as a connect.
int invreg_handle::connect_service(uint32_t s) {
  drop_service();
  scope = s;
  simsvc::Client::Events ev;
  ev.connected = [this](int32_t status) {
    if (status != 0) return;
    svc_up = true;
    invreg_hello hello{scope, 0x1};
    svc->send(invreg_wire::kHello, &hello);
    if (on_connect) on_connect(this, 0, ctx);
  };
  ev.disconnected = [this](int32_t reason) {
    svc_up = false;
    user_ctx.clear();
    if (on_disconnect) on_disconnect(this, static_cast<uint32_t>(reason), ctx);
  };
  ev.message = [this](const simsvc::Message& m, uint32_t request_id, int32_t, void* payload) {
    deliver(m.id, request_id, payload);
  };
  svc = simsvc::Client::create(loop, &invreg_wire::service(), std::move(ev));
  if (svc == nullptr) return INVREG_FAILED;
  return svc->connect() == simsvc::kOk ? INVREG_OK : INVREG_FAILED;
}

void invreg_handle::deliver(uint32_t msg_id, uint32_t request_id, const void* payload) {
  const auto* ack = static_cast<const invreg_ack*>(payload);
  auto single = [&](invreg_resp_ack_cb_t cb) {
    const uint64_t c = take_ctx(request_id);
    if (cb) cb(this, ack, 1, 0, c);
  };
  switch (msg_id) {
    case w::kRegisterEidResp:
    case w::kUnregisterEidResp: {
      const uint64_t c = take_ctx(request_id);
      invreg_resp_multi_ack_cb_t cb =
          msg_id == w::kRegisterEidResp ? resp_register_eid : resp_unregister_eid;
      if (cb) cb(this, static_cast<const invreg_multi_ack*>(payload), 1, 0, c);
      return;
    }
    case w::kRegisterContainerResp: single(resp_container); return;
    case w::kRegisterFruTypeResp: single(resp_fru_type); return;
    case w::kUnregisterFruTypeResp: single(resp_unreg_fru_type); return;
    case w::kContainerLocationResp: single(resp_location); return;
    case w::kEepromDataResp: single(resp_eeprom); return;
    case w::kLedStatusResp: single(resp_led); return;
    case w::kFruPowerInfoResp: single(resp_fru_power); return;
    case w::kSystemPowerInfoResp: single(resp_system_power); return;
    case w::kEventDataResp: single(resp_event); return;
    case w::kEidNameResp: single(resp_name); return;
    case w::kEidDescrResp: single(resp_descr); return;
    case w::kFruPrefixResp: single(resp_prefix); return;
    case w::kFpgaDataResp: single(resp_fpga); return;
    case w::kPemStatusResp: single(resp_pem_status); return;
    case w::kDataUpdateStatus:
      if (data_update_status) data_update_status(this, ack);
      return;
    case w::kEntityStateResp: {
      const uint64_t c = take_ctx(request_id);
      if (resp_entity_state)
        resp_entity_state(this, static_cast<const invreg_entity_state_ack*>(payload), 1, 0, c);
      return;
    }
    case w::kSetHwStateReq:
      if (set_hw_state)
        set_hw_state(this, static_cast<const invreg_set_hw_state_req*>(payload), request_id);
      return;
    case w::kGetFpgaDataReq:
      if (get_fpga_data)
        get_fpga_data(this, &static_cast<const invreg_fpga_data_req*>(payload)->eid, request_id);
      return;
    default:
      if (on_error) on_error(this, -1);
      return;
  }
}

extern "C" {

int invreg_handle_create(invreg_handle_t** handle, struct evloop* loop, uint32_t) {
  if (handle == nullptr || loop == nullptr) return INVREG_FAILED;
  auto* h = new invreg_handle();
  h->loop = loop;
  if (msgpipe_handle_create(0, &h->transport) != 0) h->transport = nullptr;
  live().insert(h);
  *handle = h;
  return INVREG_OK;
}

int invreg_handle_destroy(invreg_handle_t* h) {
  if (h == nullptr || live().erase(h) == 0) return INVREG_FAILED;
  h->drop_service();
  if (h->conn != 0) invsvc_local::invreg_hub().close(h->conn);
  if (h->transport != nullptr) msgpipe_handle_destroy(h->transport);
  delete h;
  return INVREG_OK;
}

int invreg_connect(invreg_handle_t* h, void* ctx) {
  if (h == nullptr) return INVREG_FAILED;
  h->ctx = ctx;
  h->seek();
  return INVREG_OK;
}

int invreg_connect_with_endpoint(invreg_handle_t* h, const msgpipe_endpoint* endpoint, void* ctx) {
  uint32_t scope = 0;
  if (h == nullptr || endpoint == nullptr) return INVREG_FAILED;
  const bool local = invsvc_local::invreg_hub().serving();
  if (local ? !invsvc_local::invreg_hub().find_offer(*endpoint, &scope)
            : !invreg_wire::scope_of_endpoint(*endpoint, &scope))
    return INVREG_FAILED;
  if (ctx != nullptr) h->ctx = ctx;
  if (h->conn != 0) {
    invsvc_local::invreg_hub().close(h->conn);
    h->conn = 0;
  }
  h->seeking = false;
  if (!local) return h->connect_service(scope);
  later(h, [scope](invreg_handle* hh) {
    if (hh->conn != 0) return;
    hh->conn = invsvc_local::invreg_hub().open(hh, scope);
    if (hh->on_connect) hh->on_connect(hh, hh->conn != 0 ? 0u : 111u, hh->ctx);
  });
  return INVREG_OK;
}

int invreg_disconnect(invreg_handle_t* h, void*) {
  if (h == nullptr) return INVREG_FAILED;
  h->seeking = false;
  if (h->svc != nullptr) {
    h->drop_service();
    h->user_ctx.clear();
    return INVREG_OK;
  }
  if (h->conn == 0) return INVREG_FAILED;
  invsvc_local::invreg_hub().close(h->conn);
  h->conn = 0;
  h->user_ctx.clear();
  return INVREG_OK;
}

msgpipe_handle_t* invreg_get_transport(invreg_handle_t* h) {
  return h != nullptr ? h->transport : nullptr;
}

#define INVREG_SETTER(name, type, member) \
  int name(invreg_handle_t* h, type cb) {  \
    if (h == nullptr) return INVREG_FAILED; \
    h->member = cb;                        \
    return INVREG_OK;                      \
  }

INVREG_SETTER(invreg_set_connect_callback, invreg_connect_cb_t, on_connect)
INVREG_SETTER(invreg_set_disconnect_callback, invreg_disconnect_cb_t, on_disconnect)
INVREG_SETTER(invreg_set_error_callback, invreg_error_cb_t, on_error)
INVREG_SETTER(invreg_set_flow_resume_callback, invreg_flow_resume_cb_t, on_flow_resume)
INVREG_SETTER(invreg_set_ds_endpoint_filter_callback, invreg_ds_endpoint_filter_cb_t, on_filter)
INVREG_SETTER(invreg_set_resp_register_eid_callback, invreg_resp_multi_ack_cb_t, resp_register_eid)
INVREG_SETTER(invreg_set_resp_unregister_eid_callback, invreg_resp_multi_ack_cb_t,
              resp_unregister_eid)
INVREG_SETTER(invreg_set_resp_report_eeprom_data_callback, invreg_resp_ack_cb_t, resp_eeprom)
INVREG_SETTER(invreg_set_resp_register_container_eid_callback, invreg_resp_ack_cb_t,
              resp_container)
INVREG_SETTER(invreg_set_resp_register_fru_type_callback, invreg_resp_ack_cb_t, resp_fru_type)
INVREG_SETTER(invreg_set_resp_unregister_fru_type_callback, invreg_resp_ack_cb_t,
              resp_unreg_fru_type)
INVREG_SETTER(invreg_set_set_hw_state_callback, invreg_set_hw_state_cb_t, set_hw_state)
INVREG_SETTER(invreg_set_resp_update_container_location_callback, invreg_resp_ack_cb_t,
              resp_location)
INVREG_SETTER(invreg_set_notify_data_update_status_callback, invreg_data_update_status_cb_t,
              data_update_status)
INVREG_SETTER(invreg_set_resp_report_pem_status_data_callback, invreg_resp_ack_cb_t,
              resp_pem_status)
INVREG_SETTER(invreg_set_get_fpga_data_callback, invreg_get_fpga_data_cb_t, get_fpga_data)
INVREG_SETTER(invreg_set_resp_report_fpga_data_callback, invreg_resp_ack_cb_t, resp_fpga)
INVREG_SETTER(invreg_set_resp_report_led_status_data_callback, invreg_resp_ack_cb_t, resp_led)
INVREG_SETTER(invreg_set_resp_update_eid_descr_callback, invreg_resp_ack_cb_t, resp_descr)
INVREG_SETTER(invreg_set_resp_update_eid_name_callback, invreg_resp_ack_cb_t, resp_name)
INVREG_SETTER(invreg_set_resp_update_system_power_info_callback, invreg_resp_ack_cb_t,
              resp_system_power)
INVREG_SETTER(invreg_set_resp_update_fru_power_info_callback, invreg_resp_ack_cb_t,
              resp_fru_power)
INVREG_SETTER(invreg_set_resp_update_fru_prefix_callback, invreg_resp_ack_cb_t, resp_prefix)
INVREG_SETTER(invreg_set_resp_update_entity_state_callback, invreg_resp_state_ack_cb_t,
              resp_entity_state)
INVREG_SETTER(invreg_set_resp_report_event_data_callback, invreg_resp_ack_cb_t, resp_event)

#define INVREG_REQUEST(name, type, id)                                            \
  int name(invreg_handle_t* h, const type* req, uint64_t user_ctx) {              \
    return h != nullptr ? h->request(id, req, user_ctx) : INVREG_FAILED;          \
  }
#define INVREG_NOTIFY(name, type, id)                                             \
  int name(invreg_handle_t* h, const type* data) {                                \
    return h != nullptr ? h->request(id, data, 0) : INVREG_FAILED;                \
  }

INVREG_REQUEST(invreg_register_eid, invreg_eid_list_req, w::kRegisterEid)
INVREG_REQUEST(invreg_unregister_eid, invreg_eid_list_req, w::kUnregisterEid)
INVREG_REQUEST(invreg_register_container_eid, invreg_container_req, w::kRegisterContainer)
INVREG_REQUEST(invreg_register_fru_type, invreg_fru_type_req, w::kRegisterFruType)
INVREG_REQUEST(invreg_unregister_fru_type, invreg_fru_unreg_req, w::kUnregisterFruType)
INVREG_REQUEST(invreg_update_container_location, invreg_container_location_req,
               w::kContainerLocation)
INVREG_REQUEST(invreg_report_eeprom_data, invreg_eeprom_req, w::kEepromData)
INVREG_NOTIFY(invreg_notify_sensor_temp_data, invreg_temp_data, w::kTempData)
INVREG_NOTIFY(invreg_notify_sensor_fan_data, invreg_fan_data, w::kFanData)
INVREG_NOTIFY(invreg_notify_sensor_voltage_data, invreg_voltage_data, w::kVoltageData)
INVREG_NOTIFY(invreg_notify_sensor_current_data, invreg_sensor_data, w::kCurrentData)
INVREG_NOTIFY(invreg_notify_sensor_power_usage_data, invreg_sensor_data, w::kPowerUsageData)
INVREG_REQUEST(invreg_report_led_status_data, invreg_led_status, w::kLedStatus)
INVREG_REQUEST(invreg_update_fru_power_info, invreg_fru_power_info, w::kFruPowerInfo)
INVREG_REQUEST(invreg_update_system_power_info, invreg_system_power_info, w::kSystemPowerInfo)
INVREG_REQUEST(invreg_update_entity_oper_state, invreg_entity_state_list, w::kOperState)
INVREG_REQUEST(invreg_update_entity_power_admin_state, invreg_entity_state_list,
               w::kPowerAdminState)
INVREG_REQUEST(invreg_update_entity_power_oper_state, invreg_entity_state_list,
               w::kPowerOperState)
INVREG_REQUEST(invreg_report_event_data, invreg_event_data, w::kEventData)
INVREG_REQUEST(invreg_update_eid_name, invreg_eid_name, w::kEidName)
INVREG_REQUEST(invreg_update_eid_descr, invreg_eid_descr, w::kEidDescr)
INVREG_REQUEST(invreg_update_fru_prefix, invreg_fru_prefix, w::kFruPrefix)
INVREG_REQUEST(invreg_update_eid_base_data, invreg_eid_base_data, w::kEidBaseData)
INVREG_REQUEST(invreg_report_fpga_data, invreg_fpga_data, w::kFpgaData)
INVREG_REQUEST(invreg_report_pem_status_data, invreg_pem_status_data, w::kPemStatus)

int invreg_resp_set_hw_state(invreg_handle_t* h, const invreg_set_hw_state_resp* resp, uint8_t,
                             int32_t, uint64_t req_arg) {
  if (h == nullptr || resp == nullptr) return INVREG_FAILED;
  return h->send(w::kSetHwStateResp, resp, static_cast<uint32_t>(req_arg));
}

int invreg_resp_fpga_data(invreg_handle_t* h, const invreg_fpga_data* resp, uint8_t, int32_t,
                          uint64_t req_ctx) {
  if (h == nullptr || resp == nullptr) return INVREG_FAILED;
  return h->send(w::kGetFpgaDataResp, resp, static_cast<uint32_t>(req_ctx));
}

}  // extern "C"

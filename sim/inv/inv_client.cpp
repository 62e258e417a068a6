// The inventory-service client library: handles, callbacks, requests and the
// dispatch of answers and notifications.
#include <stdlib.h>

#include <functional>
#include <map>
#include <memory>
#include <set>
#include <vector>

#include "inv.h"
#include "inv_wire.h"
#include "invsvc_local.h"

namespace w = inv_wire;

namespace invsvc_local {

Hub& inv_hub() {
  static Hub hub([](uint32_t id) -> const msgcodec_type* {
    const inv_wire::Message* m = inv_wire::find(id);
    return m != nullptr ? m->type : nullptr;
  });
  return hub;
}

}  // namespace invsvc_local

struct inv_handle final : invsvc_local::Client {
  evloop_t* loop = nullptr;
  msgpipe_handle_t* transport = nullptr;
  void* ctx = nullptr;
  uint64_t conn = 0;                 // connection to a service served in this process
  simsvc::Client* svc = nullptr;     // or to the simulator's service
  bool svc_up = false;
  bool seeking = false;
  uint32_t last_request = 0;
  std::map<uint32_t, uint64_t> user_ctx;

  inv_connect_cb_t on_connect = nullptr;
  inv_disconnect_cb_t on_disconnect = nullptr;
  inv_error_cb_t on_error = nullptr;
  inv_ds_endpoint_filter_cb_t on_filter = nullptr;
  inv_resp_event_cb_t resp_register_event = nullptr;
  inv_resp_event_cb_t resp_register_fru_event = nullptr;
  inv_resp_fru_power_cb_t resp_fru_power = nullptr;
  inv_resp_data_group_cb_t resp_data_group = nullptr;
  inv_resp_sensor_attribute_cb_t resp_sensor_attribute = nullptr;
  inv_notify_event_cb_t notify_event = nullptr;
  inv_notify_fru_oir_cb_t notify_fru_oir = nullptr;

  void deliver(uint32_t msg_id, uint32_t request_id, const void* payload) override;
  void flow_resumed() override {}
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
  int connect_service();
  void drop_service() {
    if (svc == nullptr) return;
    svc->destroy();
    svc = nullptr;
    svc_up = false;
  }
};

namespace {

std::set<inv_handle*>& live() {
  static std::set<inv_handle*> handles;
  return handles;
}

void run_item(void* arg) {
  std::unique_ptr<std::function<void()>> fn(static_cast<std::function<void()>*>(arg));
  (*fn)();
}

void later(inv_handle* h, std::function<void(inv_handle*)> fn) {
  auto* item = new std::function<void()>([h, fn] {
    if (live().count(h) != 0) fn(h);
  });
  if (evloop_delayed_ev_item_enqueue(h->loop, run_item, item) != 0) delete item;
}

}  // namespace

void inv_handle::seek() {
  seeking = true;
  later(this, [](inv_handle* h) {
    if (!h->seeking || h->connected()) return;
    // In-process offers when the service is served here, else the simulator's.
    std::vector<invsvc_local::Offer> offers = invsvc_local::inv_hub().offers();
    if (!invsvc_local::inv_hub().serving()) offers = {{1, inv_wire::offer_endpoint()}};
    std::vector<ds_service_info> infos(offers.size());
    std::vector<std::vector<uint8_t>> eps(offers.size());
    std::vector<ds_attribute> attrs(offers.size());
    for (size_t i = 0; i < offers.size(); ++i) {
      const int n = msgcodec_msgpipe_endpoint_encode_ext(&offers[i].endpoint, nullptr, 0);
      eps[i].resize(n > 0 ? static_cast<size_t>(n) : 0);
      msgcodec_msgpipe_endpoint_encode_ext(&offers[i].endpoint, eps[i].data(), eps[i].size());
      attrs[i] = ds_attribute{};
      attrs[i].int_value = INV_DS_CLASS_NAME;
      msgcodec_set_bit(&attrs[i].present, DS_ATTRIBUTE_BIT_INT_VALUE);
      infos[i].service_name = const_cast<char*>(INV_SERVICE_NAME);
      infos[i].endpoint = eps[i].data();
      infos[i].endpoint_len = static_cast<uint32_t>(eps[i].size());
      infos[i].scope = offers[i].scope;
      infos[i].attributes = &attrs[i];
      infos[i].attribute_count = 1;
      infos[i].present = 0x0f;
    }
    if (h->on_filter != nullptr)
      h->on_filter(h, infos.data(), static_cast<uint32_t>(infos.size()));
    else if (!offers.empty())
      inv_connect_with_endpoint(h, &offers.front().endpoint, h->ctx);
  });
}

void inv_handle::dropped() {
  conn = 0;
  user_ctx.clear();
  if (on_disconnect) on_disconnect(this, 0, ctx);
  if (live().count(this) != 0) seek();
}

int inv_handle::request(uint32_t msg_id, const void* payload, uint64_t ctx_value) {
  if (!connected() || payload == nullptr) return INV_FAILED;
  if (++last_request == 0) last_request = 1;
  const int rc = conn != 0
                     ? invsvc_local::inv_hub().client_send(conn, msg_id, payload, last_request)
                     : svc->send(msg_id, payload, last_request);
  if (rc != 0) return INV_FAILED;
  user_ctx[last_request] = ctx_value;
  return INV_OK;
}

// The simulator's service, found through the directory service; the mechanism
// connects again by itself after a loss.
int inv_handle::connect_service() {
  drop_service();
  simsvc::Client::Events ev;
  ev.connected = [this](int32_t status) {
    if (status != 0) return;
    svc_up = true;
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
  svc = simsvc::Client::create(loop, &inv_wire::service(), std::move(ev));
  if (svc == nullptr) return INV_FAILED;
  return svc->connect() == simsvc::kOk ? INV_OK : INV_FAILED;
}

void inv_handle::deliver(uint32_t msg_id, uint32_t request_id, const void* payload) {
  switch (msg_id) {
    case w::kRegisterEventResp:
    case w::kRegisterFruEventResp: {
      const uint64_t c = take_ctx(request_id);
      inv_resp_event_cb_t cb =
          msg_id == w::kRegisterEventResp ? resp_register_event : resp_register_fru_event;
      if (cb) cb(this, static_cast<const inv_event_ack*>(payload), 1, 0, c);
      return;
    }
    case w::kFruPowerInfoResp: {
      const uint64_t c = take_ctx(request_id);
      if (resp_fru_power)
        resp_fru_power(this, static_cast<const inv_fru_power_list*>(payload), 1, 0, c);
      return;
    }
    case w::kDataGroupResp: {
      const uint64_t c = take_ctx(request_id);
      if (resp_data_group)
        resp_data_group(this, static_cast<const inv_data_group*>(payload), 1, 0, c);
      return;
    }
    case w::kNotifyEvent:
      if (notify_event) notify_event(this, static_cast<const inv_notify_event_data*>(payload));
      return;
    case w::kNotifyFruOir:
      if (notify_fru_oir) notify_fru_oir(this, static_cast<const inv_fru_oir_event*>(payload));
      return;
    default:
      if (on_error) on_error(this, -1);
      return;
  }
}

extern "C" {

int inv_handle_create(inv_handle_t** handle, struct evloop* loop, uint32_t) {
  if (handle == nullptr || loop == nullptr) return INV_FAILED;
  auto* h = new inv_handle();
  h->loop = loop;
  if (msgpipe_handle_create(0, &h->transport) != 0) h->transport = nullptr;
  live().insert(h);
  *handle = h;
  return INV_OK;
}

int inv_handle_destroy(inv_handle_t* h) {
  if (h == nullptr || live().erase(h) == 0) return INV_FAILED;
  h->drop_service();
  if (h->conn != 0) invsvc_local::inv_hub().close(h->conn);
  if (h->transport != nullptr) msgpipe_handle_destroy(h->transport);
  delete h;
  return INV_OK;
}

int inv_connect(inv_handle_t* h, void* ctx) {
  if (h == nullptr) return INV_FAILED;
  h->ctx = ctx;
  h->seek();
  return INV_OK;
}

int inv_connect_with_endpoint(inv_handle_t* h, const msgpipe_endpoint* endpoint, void* ctx) {
  uint32_t scope = 0;
  if (h == nullptr || endpoint == nullptr) return INV_FAILED;
  const bool local = invsvc_local::inv_hub().serving();
  if (local ? !invsvc_local::inv_hub().find_offer(*endpoint, &scope) : [&] {
        const msgpipe_endpoint ep = inv_wire::offer_endpoint();
        return !msgpipe_endpoint_equals(&ep, endpoint);
      }())
    return INV_FAILED;
  if (ctx != nullptr) h->ctx = ctx;
  if (h->conn != 0) {
    invsvc_local::inv_hub().close(h->conn);
    h->conn = 0;
  }
  h->seeking = false;
  if (!local) return h->connect_service();
  later(h, [scope](inv_handle* hh) {
    if (hh->conn != 0) return;
    hh->conn = invsvc_local::inv_hub().open(hh, scope);
    if (hh->on_connect) hh->on_connect(hh, hh->conn != 0 ? 0u : 111u, hh->ctx);
  });
  return INV_OK;
}

int inv_disconnect(inv_handle_t* h, void*) {
  if (h == nullptr) return INV_FAILED;
  if (h->svc != nullptr) {
    h->seeking = false;
    h->drop_service();
    h->user_ctx.clear();
    return INV_OK;
  }
  if (h->conn == 0) return INV_FAILED;
  h->seeking = false;
  invsvc_local::inv_hub().close(h->conn);
  h->conn = 0;
  h->user_ctx.clear();
  return INV_OK;
}

msgpipe_handle_t* inv_get_transport(inv_handle_t* h) { return h != nullptr ? h->transport : nullptr; }

#define INV_SETTER(name, type, member)   \
  int name(inv_handle_t* h, type cb) {   \
    if (h == nullptr) return INV_FAILED; \
    h->member = cb;                      \
    return INV_OK;                       \
  }

INV_SETTER(inv_set_connect_callback, inv_connect_cb_t, on_connect)
INV_SETTER(inv_set_disconnect_callback, inv_disconnect_cb_t, on_disconnect)
INV_SETTER(inv_set_error_callback, inv_error_cb_t, on_error)
INV_SETTER(inv_set_ds_endpoint_filter_callback, inv_ds_endpoint_filter_cb_t, on_filter)
INV_SETTER(inv_set_resp_register_event_callback, inv_resp_event_cb_t, resp_register_event)
INV_SETTER(inv_set_resp_register_fru_event_callback, inv_resp_event_cb_t, resp_register_fru_event)
INV_SETTER(inv_set_resp_fru_power_info_callback, inv_resp_fru_power_cb_t, resp_fru_power)
INV_SETTER(inv_set_resp_eid_group_callback, inv_resp_data_group_cb_t, resp_data_group)
INV_SETTER(inv_set_resp_sensor_attribute_callback, inv_resp_sensor_attribute_cb_t,
           resp_sensor_attribute)
INV_SETTER(inv_set_notify_event_callback, inv_notify_event_cb_t, notify_event)
INV_SETTER(inv_set_notify_fru_oir_event_callback, inv_notify_fru_oir_cb_t, notify_fru_oir)

int inv_register_event(inv_handle_t* h, const inv_event_reg_req* req, uint64_t user_ctx) {
  return h != nullptr ? h->request(w::kRegisterEvent, req, user_ctx) : INV_FAILED;
}
int inv_register_fru_event(inv_handle_t* h, const inv_fru_event_reg_req* req, uint64_t user_ctx) {
  return h != nullptr ? h->request(w::kRegisterFruEvent, req, user_ctx) : INV_FAILED;
}
int inv_req_fru_power_info(inv_handle_t* h, const inv_data_req* req, uint64_t user_ctx) {
  return h != nullptr ? h->request(w::kFruPowerInfo, req, user_ctx) : INV_FAILED;
}
int inv_retrieve_inv_data_group(inv_handle_t* h, const inv_data_req* req, uint64_t user_ctx) {
  return h != nullptr ? h->request(w::kDataGroup, req, user_ctx) : INV_FAILED;
}

}  // extern "C"

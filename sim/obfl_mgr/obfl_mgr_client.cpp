// The OBFL manager's client library with the manager kept in the process: it
// records requests and answers when a test says so.
#include <stdlib.h>

#include <algorithm>
#include <mutex>
#include <string>
#include <vector>

#include "obfl_mgr.h"
#include "obfl_mgr_test.h"

struct obfl_mgr_handle {
  evloop_t* loop = nullptr;
  msgpipe_handle_t* transport = nullptr;
  obfl_mgr_connect_cb_t connect = nullptr;
  obfl_mgr_disconnect_cb_t disconnect = nullptr;
  obfl_mgr_error_cb_t error = nullptr;
  obfl_mgr_svc_regn_done_cb_t regn_done = nullptr;
  obfl_mgr_svc_regn_done_cb_t unregn_done = nullptr;
  obfl_mgr_log_sensor_done_cb_t log_done = nullptr;
  obfl_mgr_log_bulk_sensor_done_cb_t bulk_done = nullptr;
  obfl_mgr_write_thr_done_cb_t thr_done[3] = {};
  obfl_mgr_ds_endpoint_filter_cb_t filter = nullptr;
  obfl_mgr_log_str_done_cb_t str_done = nullptr;
  std::vector<msgpipe_endpoint> endpoints;
};

namespace {

struct Model {
  std::mutex mu;
  std::vector<obfl_mgr_handle_t*> handles;
  std::vector<ObflRequest> requests;
  std::vector<std::pair<std::string, int>> fail_next;
  uint32_t connect_status = 0;
};

Model& model() {
  static Model* m = new Model();
  return *m;
}

bool alive(obfl_mgr_handle_t* h) {
  const auto& hs = model().handles;
  return std::find(hs.begin(), hs.end(), h) != hs.end();
}

int injected(const std::string& kind) {
  auto& f = model().fail_next;
  for (auto it = f.begin(); it != f.end(); ++it) {
    if (it->first == kind) {
      const int rc = it->second;
      f.erase(it);
      return rc;
    }
  }
  return 0;
}

bool bit(const uint8_t* present, unsigned n) { return (present[n / 8] >> (n % 8)) & 1u; }

std::string eid_text(const pelm_eid& e, bool present) {
  if (!present) return "";
  std::string out = std::to_string(e.rack) + "/" + std::to_string(e.slot);
  for (uint32_t i = 0; e.tsi && i < e.tsi_count; ++i)
    out += " " + std::to_string(e.tsi[i].type) + "/" + std::to_string(e.tsi[i].subtype) + "/" +
           std::to_string(e.tsi[i].instance);
  return out;
}

template <typename Req>
ObflRequest header(obfl_mgr_handle_t* h, const char* kind, const Req* r, uint32_t ctx) {
  ObflRequest o{};
  o.handle = h;
  o.kind = kind;
  o.user_ctx = ctx;
  o.version = r->version;
  o.timestamp = r->timestamp;
  o.eid = eid_text(r->eid, bit(r->present, OBFL_HDR_BIT_EID));
  o.req_eid = eid_text(r->req_eid, bit(r->present, OBFL_HDR_BIT_REQ_EID));
  o.present[0] = r->present[0];
  o.present[1] = r->present[1];
  return o;
}

// Records a request; the injected result, else 0.
int take(ObflRequest o) {
  std::lock_guard<std::mutex> lock(model().mu);
  if (!alive(o.handle)) return -1;
  const int rc = injected(o.kind);
  if (rc == 0) model().requests.push_back(std::move(o));
  return rc;
}

void on_transport(msgpipe_handle_t*, uint32_t event, int, void* buf, int32_t, uint32_t) {
  if (event == MSGPIPE_EV_SENT || event == MSGPIPE_EV_RECEIVED) free(buf);
}

struct ConnectItem {
  obfl_mgr_handle_t* handle;
  uint32_t status;
};

void deliver_connect(void* arg) {
  auto* item = static_cast<ConnectItem*>(arg);
  obfl_mgr_handle_t* h = item->handle;
  const uint32_t status = item->status;
  delete item;
  if (alive(h) && h->connect) h->connect(h, status);
}

template <typename Req, typename F>
int thresholds(obfl_mgr_handle_t* h, const char* kind, const Req* r, uint32_t ctx, F) {
  if (!h || !r) return -1;
  ObflRequest o = header(h, kind, r, ctx);
  o.client_id = r->client_id;
  o.flag = r->resend;
  o.msn = r->msn;
  o.fields[0] = r->field8;
  o.fields[1] = r->field9;
  o.fields[2] = r->field10;
  o.count = r->count;
  for (uint32_t i = 0; i < r->count; ++i) {
    o.sensor_ids.push_back(r->sensor_ids ? r->sensor_ids[i] : 0);
    o.names.emplace_back(r->names && r->names[i] ? r->names[i] : "");
  }
  return take(std::move(o));
}

}  // namespace

extern "C" {

int obfl_mgr_handle_create(obfl_mgr_handle_t** handle, evloop_t* loop, void*) {
  if (!handle || !loop) return -1;
  auto* h = new obfl_mgr_handle();
  h->loop = loop;
  if (msgpipe_handle_create(0, &h->transport) != 0) {
    delete h;
    return -1;
  }
  msgpipe_handle_set_name(h->transport, "obfl_mgr");
  evloop_attach_msgpipe_handle(loop, h->transport, on_transport);
  std::lock_guard<std::mutex> lock(model().mu);
  model().handles.push_back(h);
  *handle = h;
  return 0;
}

void obfl_mgr_handle_destroy(obfl_mgr_handle_t* handle) {
  {
    std::lock_guard<std::mutex> lock(model().mu);
    if (!alive(handle)) return;
    std::erase(model().handles, handle);
  }
  msgpipe_handle_destroy(handle->transport);
  delete handle;
}

int obfl_mgr_connect(obfl_mgr_handle_t* handle, uint32_t) {
  uint32_t status = 0;
  {
    std::lock_guard<std::mutex> lock(model().mu);
    if (!alive(handle)) return -1;
    if (int rc = injected("connect")) return rc;
    status = model().connect_status;
  }
  return evloop_delayed_ev_item_enqueue(handle->loop, deliver_connect,
                                        new ConnectItem{handle, status}) == 0
             ? 0
             : -1;
}

int obfl_mgr_connect_with_endpoint(obfl_mgr_handle_t* handle, const msgpipe_endpoint* endpoint) {
  if (!handle || !endpoint) return -1;
  {
    std::lock_guard<std::mutex> lock(model().mu);
    if (int rc = injected("connect_with_endpoint")) return rc;
  }
  handle->endpoints.push_back(*endpoint);
  // The transport really heads for the endpoint, so its state is what a
  // client of the manager would see.
  return msgpipe_connect(handle->transport, 0, endpoint) == 0 ? 0 : -1;
}

msgpipe_handle_t* obfl_mgr_get_transport(obfl_mgr_handle_t* handle) {
  return handle ? handle->transport : nullptr;
}

#define OBFL_SETTER(name, field, type) \
  void obfl_mgr_set_##name##_callback(obfl_mgr_handle_t* h, type cb) { \
    if (h) h->field = cb;                                               \
  }
OBFL_SETTER(connect, connect, obfl_mgr_connect_cb_t)
OBFL_SETTER(disconnect, disconnect, obfl_mgr_disconnect_cb_t)
OBFL_SETTER(error, error, obfl_mgr_error_cb_t)
OBFL_SETTER(svc_regn_done, regn_done, obfl_mgr_svc_regn_done_cb_t)
OBFL_SETTER(svc_unregn_done, unregn_done, obfl_mgr_svc_regn_done_cb_t)
OBFL_SETTER(log_env_sensor_info_done, log_done, obfl_mgr_log_sensor_done_cb_t)
OBFL_SETTER(log_bulk_env_sensor_info_done, bulk_done, obfl_mgr_log_bulk_sensor_done_cb_t)
OBFL_SETTER(write_env_temp_thresholds_done, thr_done[0], obfl_mgr_write_thr_done_cb_t)
OBFL_SETTER(write_env_volt_thresholds_done, thr_done[1], obfl_mgr_write_thr_done_cb_t)
OBFL_SETTER(write_env_current_thresholds_done, thr_done[2], obfl_mgr_write_thr_done_cb_t)
OBFL_SETTER(ds_endpoint_filter, filter, obfl_mgr_ds_endpoint_filter_cb_t)
OBFL_SETTER(log_str_done, str_done, obfl_mgr_log_str_done_cb_t)
#undef OBFL_SETTER

int obfl_mgr_svc_registration(obfl_mgr_handle_t* h, const obfl_svc_regn_req* r, uint32_t ctx) {
  if (!h || !r) return -1;
  ObflRequest o = header(h, "svc_registration", r, ctx);
  o.flag = r->resend;
  o.msn = r->msn;
  o.svc_name = r->svc_name ? r->svc_name : "";
  o.svc_type = r->svc_type;
  o.client_name = r->client_name ? r->client_name : "";
  o.constant = r->constant;
  return take(std::move(o));
}

int obfl_mgr_log_env_sensor_info(obfl_mgr_handle_t* h, const obfl_log_sensor_req* r,
                                 uint32_t ctx) {
  if (!h || !r) return -1;
  ObflRequest o = header(h, "log_sensor", r, ctx);
  o.client_id = r->client_id;
  o.flag = r->flag;
  o.msn = r->msn;
  o.sensor_type = r->sensor_type;
  o.sensor_id = r->sensor_id;
  o.adjust_type = r->adjust_type;
  o.value = r->value;
  o.scale = r->scale;
  return take(std::move(o));
}

int obfl_mgr_log_bulk_env_sensor_info(obfl_mgr_handle_t* h, const obfl_log_bulk_sensor_req* r,
                                      uint32_t ctx) {
  if (!h || !r) return -1;
  ObflRequest o = header(h, "log_bulk_sensor", r, ctx);
  o.client_id = r->client_id;
  o.flag = r->flag;
  o.msn = r->msn;
  o.sensor_type = r->sensor_type;
  o.count = r->count;
  for (uint32_t i = 0; i < r->count; ++i) {
    o.sensor_ids.push_back(r->sensor_ids ? r->sensor_ids[i] : 0);
    o.adjust_types.push_back(r->adjust_types ? r->adjust_types[i] : 0);
    o.values.push_back(r->values ? r->values[i] : 0);
    o.scales.push_back(r->scales ? r->scales[i] : 0);
  }
  return take(std::move(o));
}

int obfl_mgr_write_env_temp_thresholds(obfl_mgr_handle_t* h, const obfl_write_thr_req* r,
                                       uint32_t ctx) {
  return thresholds(h, "write_temp_thr", r, ctx, 0);
}
int obfl_mgr_write_env_volt_thresholds(obfl_mgr_handle_t* h, const obfl_write_thr_req* r,
                                       uint32_t ctx) {
  return thresholds(h, "write_volt_thr", r, ctx, 0);
}
int obfl_mgr_write_env_current_thresholds(obfl_mgr_handle_t* h, const obfl_write_thr_req* r,
                                          uint32_t ctx) {
  return thresholds(h, "write_curr_thr", r, ctx, 0);
}

int obfl_mgr_log_str(obfl_mgr_handle_t* h, const obfl_log_str_req* r, uint32_t ctx) {
  if (!h || !r) return -1;
  ObflRequest o = header(h, "log_str", r, ctx);
  o.client_id = r->client_id;
  o.flag = r->flag;
  o.msn = r->msn;
  o.sensor_type = r->rec_type;
  o.fields[0] = r->field9;
  o.fields[1] = r->field10;
  o.fields[2] = r->field11;
  o.text = r->text ? r->text : "";
  return take(std::move(o));
}

}  // extern "C"

std::vector<ObflRequest> obfl_mgr_test_requests() {
  std::lock_guard<std::mutex> lock(model().mu);
  return model().requests;
}

void obfl_mgr_test_clear_requests() {
  std::lock_guard<std::mutex> lock(model().mu);
  model().requests.clear();
}

void obfl_mgr_test_fail_next(const std::string& kind, int rc) {
  std::lock_guard<std::mutex> lock(model().mu);
  model().fail_next.emplace_back(kind, rc);
}

std::vector<obfl_mgr_handle_t*> obfl_mgr_test_handles() {
  std::lock_guard<std::mutex> lock(model().mu);
  return model().handles;
}

std::vector<msgpipe_endpoint> obfl_mgr_test_endpoints(obfl_mgr_handle_t* h) {
  return h ? h->endpoints : std::vector<msgpipe_endpoint>{};
}

void obfl_mgr_test_set_connect_status(uint32_t status) {
  std::lock_guard<std::mutex> lock(model().mu);
  model().connect_status = status;
}

void obfl_mgr_test_disconnect(obfl_mgr_handle_t* h, uint32_t status) {
  if (h && h->disconnect) h->disconnect(h, status);
}
void obfl_mgr_test_error(obfl_mgr_handle_t* h, int32_t code) {
  if (h && h->error) h->error(h, code);
}
void obfl_mgr_test_answer_svc_regn(obfl_mgr_handle_t* h, const obfl_svc_regn_resp& resp,
                                   uint32_t status, uint32_t ctx) {
  if (h && h->regn_done) h->regn_done(h, &resp, status, ctx);
}
void obfl_mgr_test_answer_svc_unregn(obfl_mgr_handle_t* h, const obfl_svc_regn_resp& resp,
                                     uint32_t status, uint32_t ctx) {
  if (h && h->unregn_done) h->unregn_done(h, &resp, status, ctx);
}
void obfl_mgr_test_answer_log_sensor(obfl_mgr_handle_t* h, const obfl_log_sensor_resp& resp,
                                     uint32_t status, uint32_t ctx) {
  if (h && h->log_done) h->log_done(h, &resp, status, ctx);
}
void obfl_mgr_test_answer_log_bulk(obfl_mgr_handle_t* h, const obfl_log_bulk_sensor_resp& resp,
                                   uint32_t status, uint32_t ctx) {
  if (h && h->bulk_done) h->bulk_done(h, &resp, status, ctx);
}
void obfl_mgr_test_answer_thr(obfl_mgr_handle_t* h, uint32_t kind, const obfl_write_thr_resp& resp,
                              uint32_t status, uint32_t ctx) {
  if (h && kind >= 1 && kind <= 3 && h->thr_done[kind - 1]) h->thr_done[kind - 1](h, &resp, status, ctx);
}
void obfl_mgr_test_answer_log_str(obfl_mgr_handle_t* h, const obfl_log_str_resp& resp,
                                  uint32_t status, uint32_t ctx) {
  if (h && h->str_done) h->str_done(h, &resp, status, ctx);
}
void obfl_mgr_test_filter(obfl_mgr_handle_t* h, const ds_service_info* entries, uint32_t count) {
  if (h && h->filter) h->filter(h, entries, count);
}

void obfl_mgr_test_reset() {
  std::lock_guard<std::mutex> lock(model().mu);
  model().requests.clear();
  model().fail_next.clear();
  model().connect_status = 0;
}

// The request functions: each sends its message by the frame rule; those that
// expect an answer keep a pending entry with the caller's cookie until the
// final answer arrives or the connection ends.
#include <cstdlib>

#include "envmon_client.h"

namespace {

int add_entry(void* ctx, uint32_t msg_id, void* cookie, uint32_t* request_id) {
  auto* h = static_cast<envmon_handle*>(ctx);
  capi_table_entry* e = capi_table_add(&h->pending);
  if (e == nullptr) return -1;
  e->msg_id = msg_id;
  e->cookie = cookie;
  *request_id = e->request_id;
  return 0;
}

void drop_entry(void* ctx, uint32_t request_id) {
  auto* h = static_cast<envmon_handle*>(ctx);
  free(capi_table_remove(&h->pending, request_id));
}

int32_t send_request(envmon_handle* h, uint32_t id, const void* payload, void* cookie) {
  if (h == nullptr) return ENVMON_ERR_FAILED;
  const envmon_msg_desc* msg = envmon_wire_request(id);
  const envmon_wire_side side = envmon_client_side(h);
  const envmon_wire_pending pending{add_entry, drop_entry, h, cookie};
  return envmon_wire_send(&side, msg, payload, 0, 0, 1, &pending);
}

}  // namespace

extern "C" int32_t envmon_request_power_budget(envmon_handle* h,
                                               const request_power_budget* payload, void* cookie) {
  return send_request(h, ENVMON_REQ_POWER_BUDGET, payload, cookie);
}
extern "C" int32_t envmon_sensor_value_set(envmon_handle* h, const sensor_value* payload,
                                           void* cookie) {
  return send_request(h, ENVMON_REQ_SENSOR_VALUE_SET, payload, cookie);
}
extern "C" int32_t envmon_sensor_fault_set(envmon_handle* h, const sensor_fault* payload,
                                           void* cookie) {
  return send_request(h, ENVMON_REQ_SENSOR_FAULT_SET, payload, cookie);
}
extern "C" int32_t envmon_run_test(envmon_handle* h, const run_test* payload, void* cookie) {
  return send_request(h, ENVMON_REQ_RUN_TEST, payload, cookie);
}
extern "C" int32_t envmon_set_dbg_flag(envmon_handle* h, const set_dbg_flag* payload,
                                       void* cookie) {
  return send_request(h, ENVMON_REQ_SET_DBG_FLAG, payload, cookie);
}
extern "C" int32_t envmon_register_power_data(envmon_handle* h,
                                              const register_power_data* payload, void* cookie) {
  return send_request(h, ENVMON_REQ_REGISTER_POWER_DATA, payload, cookie);
}
extern "C" int32_t envmon_dump_debug(envmon_handle* h, const dump_debug* payload, void* cookie) {
  return send_request(h, ENVMON_REQ_DUMP_DEBUG, payload, cookie);
}
extern "C" int32_t envmon_hw_temp_monitoring(envmon_handle* h, const temp_monitoring* payload,
                                             void* cookie) {
  return send_request(h, ENVMON_REQ_HW_TEMP_MONITORING, payload, cookie);
}
extern "C" int32_t envmon_request_altitude_value(envmon_handle* h,
                                                 const request_altitude_value* payload,
                                                 void* cookie) {
  return send_request(h, ENVMON_REQ_ALTITUDE_VALUE, payload, cookie);
}
extern "C" int32_t envmon_oper_state_set(envmon_handle* h, const oper_state* payload, void*) {
  return send_request(h, ENVMON_REQ_OPER_STATE_SET, payload, nullptr);
}
extern "C" int32_t envmon_fan_timer_disable(envmon_handle* h, const timer_disable* payload,
                                            void*) {
  return send_request(h, ENVMON_REQ_FAN_TIMER_DISABLE, payload, nullptr);
}

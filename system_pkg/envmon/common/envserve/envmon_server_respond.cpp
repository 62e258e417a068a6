// Responses and notifications to one client, sent by the frame rule. The
// server keeps no pending state: the request id is echoed as given.
#include "envmon_server.h"

namespace {

int32_t send(envmon_client_handle* c, uint32_t id, const void* payload, int final, int32_t status,
             uint32_t request_id) {
  if (c == nullptr) return ENVMON_ERR_FAILED;
  const envmon_wire_side side{c, c->transport, c->info_tlg, c->error_tlg, c->msc_tlg,
                              c->local_addr};
  return envmon_wire_send(&side, envmon_wire_server_msg(id), payload, request_id, status,
                          static_cast<uint32_t>(final), nullptr);
}

}  // namespace

extern "C" int32_t envmon_power_budget(envmon_client_handle* c, const power_budget* payload,
                                       int final, int32_t status, uint32_t request_id) {
  return send(c, ENVMON_RESP_POWER_BUDGET, payload, final, status, request_id);
}
extern "C" int32_t envmon_resp_sensor_value_set(envmon_client_handle* c,
                                                const resp_sensor_value* payload, int final,
                                                int32_t status, uint32_t request_id) {
  return send(c, ENVMON_RESP_SENSOR_VALUE_SET, payload, final, status, request_id);
}
extern "C" int32_t envmon_resp_sensor_fault_set(envmon_client_handle* c,
                                                const resp_sensor_fault_set* payload, int final,
                                                int32_t status, uint32_t request_id) {
  return send(c, ENVMON_RESP_SENSOR_FAULT_SET, payload, final, status, request_id);
}
extern "C" int32_t envmon_resp_test(envmon_client_handle* c, const resp_test* payload, int final,
                                    int32_t status, uint32_t request_id) {
  return send(c, ENVMON_RESP_TEST, payload, final, status, request_id);
}
extern "C" int32_t envmon_resp_dbg_flag(envmon_client_handle* c, const resp_dbg_flag* payload,
                                        int final, int32_t status, uint32_t request_id) {
  return send(c, ENVMON_RESP_DBG_FLAG, payload, final, status, request_id);
}
extern "C" int32_t envmon_resp_register_power_data(envmon_client_handle* c,
                                                   const resp_register_power_data* payload,
                                                   int final, int32_t status,
                                                   uint32_t request_id) {
  return send(c, ENVMON_RESP_REGISTER_POWER_DATA, payload, final, status, request_id);
}
extern "C" int32_t envmon_resp_dump_debug(envmon_client_handle* c, const resp_dump_debug* payload,
                                          int final, int32_t status, uint32_t request_id) {
  return send(c, ENVMON_RESP_DUMP_DEBUG, payload, final, status, request_id);
}
extern "C" int32_t envmon_resp_temp_monitoring(envmon_client_handle* c,
                                               const resp_temp_monitoring* payload, int final,
                                               int32_t status, uint32_t request_id) {
  return send(c, ENVMON_RESP_TEMP_MONITORING, payload, final, status, request_id);
}
extern "C" int32_t envmon_resp_altitude_value(envmon_client_handle* c,
                                              const resp_altitude_value* payload, int final,
                                              int32_t status, uint32_t request_id) {
  return send(c, ENVMON_RESP_ALTITUDE_VALUE, payload, final, status, request_id);
}
extern "C" int32_t envmon_notif_sys_pwr_data(envmon_client_handle* c,
                                             const notif_sys_pwr_data* payload) {
  return send(c, ENVMON_NOTIF_SYS_PWR_DATA, payload, 1, 0, 0);
}
extern "C" int32_t envmon_notif_fru_pwr_alloc_data(envmon_client_handle* c,
                                                   const notif_fru_pwr_alloc_data* payload) {
  return send(c, ENVMON_NOTIF_FRU_PWR_ALLOC_DATA, payload, 1, 0, 0);
}

#include "svc_samples.h"

#include <cstdio>
#include <cstring>

namespace svc_test {

std::vector<uint8_t> encode_payload(const envmon_msg_desc* m, const void* rec) {
  uint8_t probe[1];
  const int need = msgcodec_encode(m->type, rec, probe, 0);
  std::vector<uint8_t> out(need > 0 ? static_cast<size_t>(need) : 0);
  if (need > 0) msgcodec_encode(m->type, rec, out.data(), out.size());
  return out;
}

envmon_any_payload sample(const envmon_msg_desc* m) {
  static pelm_tsi levels[3] = {{6, 1, 3}, {8, 25, 2}, {8, 29, 7}};
  static char pid[] = "NC-PWR-ACX";
  envmon_any_payload p;
  memset(&p, 0, sizeof p);
  pelm_eid eid{};
  eid.id = 1;
  eid.rack = 0xfffe;
  eid.slot = 41;
  eid.subid = 5;
  eid.tsi = levels;
  eid.tsi_count = 3;
  eid.present = PELM_EID_HAS_ID | PELM_EID_HAS_RACK | PELM_EID_HAS_SLOT | PELM_EID_HAS_SUBID |
                PELM_EID_HAS_TSI;
  const bool to_server = m->kind == ENVMON_KIND_REQUEST || m->kind == ENVMON_KIND_ONE_WAY;
  switch (m->id + (to_server ? 0 : 100)) {
    case ENVMON_REQ_POWER_BUDGET:
      p.request_power_budget = {eid, 0x1f0803, pid, 11, 22, 1, 0x3f, 0, 0};
      break;
    case ENVMON_REQ_SENSOR_VALUE_SET:
      p.sensor_value = {eid, 25, -40, 0x07, 0, 0};
      break;
    case ENVMON_REQ_SENSOR_FAULT_SET:
      p.sensor_fault = {eid, 29, 0x10, 0x07, 0, 0};
      break;
    case ENVMON_REQ_RUN_TEST:
      p.run_test = {17, 0x01, 0, 0};
      break;
    case ENVMON_REQ_SET_DBG_FLAG:
      p.set_dbg_flag = {12, 0x01, 0, 0};
      break;
    case ENVMON_REQ_HW_TEMP_MONITORING:
      p.temp_monitoring = {1, 0x01, 0, 0};
      break;
    case ENVMON_REQ_OPER_STATE_SET:
      p.oper_state = {eid, 7, 2, 0x07, 0, 0};
      break;
    case ENVMON_REQ_FAN_TIMER_DISABLE:
      p.timer_disable = {1, 0x01, 0, 0};
      break;
    case 100 + ENVMON_RESP_POWER_BUDGET:
      p.power_budget = {eid, 3, 0x03, 0, 0};
      break;
    case 100 + ENVMON_RESP_ALTITUDE_VALUE:
      p.resp_altitude_value = {-120, 1800, 0x03, 0, 0};
      break;
    case 100 + ENVMON_NOTIF_SYS_PWR_DATA:
      p.notif_sys_pwr_data = {5000, 1200, 3100, 3, 2, 0, 90, 45, 0xff, 0, 0};
      break;
    case 100 + ENVMON_NOTIF_FRU_PWR_ALLOC_DATA:
      p.notif_fru_pwr_alloc_data = {eid, 650, 4, 12, 0x0f, 0, 0};
      break;
    default:
      break;  // no fields
  }
  return p;
}

std::vector<const envmon_msg_desc*> requests() {
  std::vector<const envmon_msg_desc*> out;
  for (uint32_t id = 0; id < 16; ++id) {
    if (const auto* m = envmon_wire_request(id)) out.push_back(m);
  }
  return out;
}

std::vector<const envmon_msg_desc*> server_msgs() {
  std::vector<const envmon_msg_desc*> out;
  for (uint32_t id = 0; id < 16; ++id) {
    if (const auto* m = envmon_wire_server_msg(id)) out.push_back(m);
  }
  return out;
}

int32_t send_request(envmon_handle* h, uint32_t id, const void* p, void* cookie) {
  switch (id) {
    case ENVMON_REQ_POWER_BUDGET:
      return envmon_request_power_budget(h, static_cast<const request_power_budget*>(p), cookie);
    case ENVMON_REQ_SENSOR_VALUE_SET:
      return envmon_sensor_value_set(h, static_cast<const sensor_value*>(p), cookie);
    case ENVMON_REQ_SENSOR_FAULT_SET:
      return envmon_sensor_fault_set(h, static_cast<const sensor_fault*>(p), cookie);
    case ENVMON_REQ_RUN_TEST:
      return envmon_run_test(h, static_cast<const run_test*>(p), cookie);
    case ENVMON_REQ_SET_DBG_FLAG:
      return envmon_set_dbg_flag(h, static_cast<const set_dbg_flag*>(p), cookie);
    case ENVMON_REQ_REGISTER_POWER_DATA:
      return envmon_register_power_data(h, static_cast<const register_power_data*>(p), cookie);
    case ENVMON_REQ_DUMP_DEBUG:
      return envmon_dump_debug(h, static_cast<const dump_debug*>(p), cookie);
    case ENVMON_REQ_HW_TEMP_MONITORING:
      return envmon_hw_temp_monitoring(h, static_cast<const temp_monitoring*>(p), cookie);
    case ENVMON_REQ_OPER_STATE_SET:
      return envmon_oper_state_set(h, static_cast<const oper_state*>(p), cookie);
    case ENVMON_REQ_FAN_TIMER_DISABLE:
      return envmon_fan_timer_disable(h, static_cast<const timer_disable*>(p), cookie);
    case ENVMON_REQ_ALTITUDE_VALUE:
      return envmon_request_altitude_value(h, static_cast<const request_altitude_value*>(p),
                                           cookie);
    default:
      return -1;
  }
}

int32_t send_server_msg(envmon_client_handle* c, uint32_t id, const void* p, int final,
                        int32_t status, uint32_t rid) {
  switch (id) {
    case ENVMON_RESP_POWER_BUDGET:
      return envmon_power_budget(c, static_cast<const power_budget*>(p), final, status, rid);
    case ENVMON_RESP_SENSOR_VALUE_SET:
      return envmon_resp_sensor_value_set(c, static_cast<const resp_sensor_value*>(p), final,
                                          status, rid);
    case ENVMON_RESP_SENSOR_FAULT_SET:
      return envmon_resp_sensor_fault_set(c, static_cast<const resp_sensor_fault_set*>(p), final,
                                          status, rid);
    case ENVMON_RESP_TEST:
      return envmon_resp_test(c, static_cast<const resp_test*>(p), final, status, rid);
    case ENVMON_RESP_DBG_FLAG:
      return envmon_resp_dbg_flag(c, static_cast<const resp_dbg_flag*>(p), final, status, rid);
    case ENVMON_RESP_REGISTER_POWER_DATA:
      return envmon_resp_register_power_data(c, static_cast<const resp_register_power_data*>(p),
                                             final, status, rid);
    case ENVMON_NOTIF_SYS_PWR_DATA:
      return envmon_notif_sys_pwr_data(c, static_cast<const notif_sys_pwr_data*>(p));
    case ENVMON_NOTIF_FRU_PWR_ALLOC_DATA:
      return envmon_notif_fru_pwr_alloc_data(c, static_cast<const notif_fru_pwr_alloc_data*>(p));
    case ENVMON_RESP_DUMP_DEBUG:
      return envmon_resp_dump_debug(c, static_cast<const resp_dump_debug*>(p), final, status, rid);
    case ENVMON_RESP_TEMP_MONITORING:
      return envmon_resp_temp_monitoring(c, static_cast<const resp_temp_monitoring*>(p), final,
                                         status, rid);
    case ENVMON_RESP_ALTITUDE_VALUE:
      return envmon_resp_altitude_value(c, static_cast<const resp_altitude_value*>(p), final,
                                        status, rid);
    default:
      return -1;
  }
}

std::string hex(const std::vector<uint8_t>& bytes) {
  std::string out;
  char two[3];
  for (uint8_t b : bytes) {
    snprintf(two, sizeof two, "%02x", b);
    out += two;
  }
  return out;
}

uint32_t answer_of(uint32_t request) {
  switch (request) {
    case ENVMON_REQ_OPER_STATE_SET:
    case ENVMON_REQ_FAN_TIMER_DISABLE:
      return 0;
    case ENVMON_REQ_ALTITUDE_VALUE:
      return ENVMON_RESP_ALTITUDE_VALUE;
    default:
      return request;
  }
}

}  // namespace svc_test

// The message tables of both directions: id, kind, names, payload codec and
// the first buffer size of every message.
#include <cstddef>

#include "envmon_wire.h"

namespace {

constexpr uint8_t kNoRow = 0xff;

#define ENVMON_MSG(id, kind, row, fn, type, first)                                          \
  envmon_msg_desc {                                                                         \
    id, kind, row, &fn[sizeof("envmon_") - 1], fn, &msgcodec_type_##type, first,            \
        static_cast<uint32_t>(offsetof(type, keep))                                         \
  }

const envmon_msg_desc kRequests[] = {
    ENVMON_MSG(ENVMON_REQ_POWER_BUDGET, ENVMON_KIND_REQUEST, kNoRow,
               "envmon_request_power_budget", request_power_budget, 4222),
    ENVMON_MSG(ENVMON_REQ_SENSOR_VALUE_SET, ENVMON_KIND_REQUEST, kNoRow, "envmon_sensor_value_set",
               sensor_value, 3948),
    ENVMON_MSG(ENVMON_REQ_SENSOR_FAULT_SET, ENVMON_KIND_REQUEST, kNoRow, "envmon_sensor_fault_set",
               sensor_fault, 3948),
    ENVMON_MSG(ENVMON_REQ_RUN_TEST, ENVMON_KIND_REQUEST, kNoRow, "envmon_run_test", run_test, 834),
    ENVMON_MSG(ENVMON_REQ_SET_DBG_FLAG, ENVMON_KIND_REQUEST, kNoRow, "envmon_set_dbg_flag",
               set_dbg_flag, 834),
    ENVMON_MSG(ENVMON_REQ_REGISTER_POWER_DATA, ENVMON_KIND_REQUEST, kNoRow,
               "envmon_register_power_data", register_power_data, 828),
    ENVMON_MSG(ENVMON_REQ_DUMP_DEBUG, ENVMON_KIND_REQUEST, kNoRow, "envmon_dump_debug", dump_debug,
               828),
    ENVMON_MSG(ENVMON_REQ_HW_TEMP_MONITORING, ENVMON_KIND_REQUEST, kNoRow,
               "envmon_hw_temp_monitoring", temp_monitoring, 830),
    ENVMON_MSG(ENVMON_REQ_OPER_STATE_SET, ENVMON_KIND_ONE_WAY, kNoRow, "envmon_oper_state_set",
               oper_state, 3948),
    ENVMON_MSG(ENVMON_REQ_FAN_TIMER_DISABLE, ENVMON_KIND_ONE_WAY, kNoRow,
               "envmon_fan_timer_disable", timer_disable, 830),
    ENVMON_MSG(ENVMON_REQ_ALTITUDE_VALUE, ENVMON_KIND_REQUEST, kNoRow,
               "envmon_request_altitude_value", request_altitude_value, 828),
};

const envmon_msg_desc kServerMsgs[] = {
    ENVMON_MSG(ENVMON_RESP_POWER_BUDGET, ENVMON_KIND_RESPONSE, 0, "envmon_power_budget",
               power_budget, 3942),
    ENVMON_MSG(ENVMON_RESP_SENSOR_VALUE_SET, ENVMON_KIND_RESPONSE, 1,
               "envmon_resp_sensor_value_set", resp_sensor_value, 828),
    ENVMON_MSG(ENVMON_RESP_SENSOR_FAULT_SET, ENVMON_KIND_RESPONSE, 2,
               "envmon_resp_sensor_fault_set", resp_sensor_fault_set, 828),
    ENVMON_MSG(ENVMON_RESP_TEST, ENVMON_KIND_RESPONSE, 3, "envmon_resp_test", resp_test, 828),
    ENVMON_MSG(ENVMON_RESP_DBG_FLAG, ENVMON_KIND_RESPONSE, 4, "envmon_resp_dbg_flag", resp_dbg_flag,
               828),
    ENVMON_MSG(ENVMON_RESP_REGISTER_POWER_DATA, ENVMON_KIND_RESPONSE, 5,
               "envmon_resp_register_power_data", resp_register_power_data, 828),
    ENVMON_MSG(ENVMON_NOTIF_SYS_PWR_DATA, ENVMON_KIND_NOTIFICATION, kNoRow,
               "envmon_notif_sys_pwr_data", notif_sys_pwr_data, 876),
    ENVMON_MSG(ENVMON_NOTIF_FRU_PWR_ALLOC_DATA, ENVMON_KIND_NOTIFICATION, kNoRow,
               "envmon_notif_fru_pwr_alloc_data", notif_fru_pwr_alloc_data, 3954),
    ENVMON_MSG(ENVMON_RESP_DUMP_DEBUG, ENVMON_KIND_RESPONSE, 6, "envmon_resp_dump_debug",
               resp_dump_debug, 828),
    ENVMON_MSG(ENVMON_RESP_TEMP_MONITORING, ENVMON_KIND_RESPONSE, 7, "envmon_resp_temp_monitoring",
               resp_temp_monitoring, 828),
    ENVMON_MSG(ENVMON_RESP_ALTITUDE_VALUE, ENVMON_KIND_RESPONSE, 8, "envmon_resp_altitude_value",
               resp_altitude_value, 840),
};

#undef ENVMON_MSG

template <size_t N>
const envmon_msg_desc* find(const envmon_msg_desc (&table)[N], uint32_t id) {
  for (const auto& m : table) {
    if (m.id == id) return &m;
  }
  return nullptr;
}

}  // namespace

extern "C" const envmon_msg_desc* envmon_wire_request(uint32_t id) { return find(kRequests, id); }

extern "C" const envmon_msg_desc* envmon_wire_server_msg(uint32_t id) {
  return find(kServerMsgs, id);
}

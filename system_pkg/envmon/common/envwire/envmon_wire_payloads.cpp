// Field tables of the service payloads: one table and one line per type.
#include "envmon_msgs.h"
#include "msgcodec_define.h"

#ifndef MSGCODEC_DEFINE_EMPTY
// A record type without fields: encodes to nothing and decodes from nothing.
#define MSGCODEC_DEFINE_EMPTY(name, ctype)                                                      \
  extern "C" const msgcodec_type msgcodec_type_##name = {#name, sizeof(ctype), -1, 0, nullptr, \
                                                         0};                                   \
  MSGCODEC_DEFINE_FUNCTIONS_(name, ctype)
#endif

namespace {

constexpr msgcodec_field kRequestPowerBudget[] = {
    MSGCODEC_RECORD(request_power_budget, eid, 0),
    MSGCODEC_INT(request_power_budget, card_type, 1),
    MSGCODEC_TEXT(request_power_budget, pid, 2),
    MSGCODEC_INT(request_power_budget, extra1, 3),
    MSGCODEC_INT(request_power_budget, extra2, 4),
    MSGCODEC_INT(request_power_budget, request_state, 5),
};

constexpr msgcodec_field kSensorValue[] = {
    MSGCODEC_RECORD(sensor_value, eid, 0),
    MSGCODEC_INT(sensor_value, subtype, 1),
    MSGCODEC_INT(sensor_value, value, 2),
};

constexpr msgcodec_field kSensorFault[] = {
    MSGCODEC_RECORD(sensor_fault, eid, 0),
    MSGCODEC_INT(sensor_fault, subtype, 1),
    MSGCODEC_INT(sensor_fault, fault, 2),
};

constexpr msgcodec_field kOperState[] = {
    MSGCODEC_RECORD(oper_state, eid, 0),
    MSGCODEC_INT(oper_state, subtype, 1),
    MSGCODEC_INT(oper_state, oper_state, 2),
};

constexpr msgcodec_field kRunTest[] = {MSGCODEC_INT(run_test, test_id, 0)};
constexpr msgcodec_field kSetDbgFlag[] = {MSGCODEC_INT(set_dbg_flag, dbg_flag, 0)};
constexpr msgcodec_field kTempMonitoring[] = {MSGCODEC_INT(temp_monitoring, disable, 0)};
constexpr msgcodec_field kTimerDisable[] = {MSGCODEC_INT(timer_disable, disable, 0)};

constexpr msgcodec_field kPowerBudget[] = {
    MSGCODEC_RECORD(power_budget, eid, 0),
    MSGCODEC_INT(power_budget, budget_status, 1),
};

constexpr msgcodec_field kRespAltitudeValue[] = {
    MSGCODEC_INT(resp_altitude_value, altitude_sensor, 0),
    MSGCODEC_INT(resp_altitude_value, altitude_config, 1),
};

constexpr msgcodec_field kNotifSysPwrData[] = {
    MSGCODEC_INT(notif_sys_pwr_data, usable_pwr, 0),
    MSGCODEC_INT(notif_sys_pwr_data, prot_pwr, 1),
    MSGCODEC_INT(notif_sys_pwr_data, resrv_n_alloc_pwr, 2),
    MSGCODEC_INT(notif_sys_pwr_data, cnf_pwr_red_mode, 3),
    MSGCODEC_INT(notif_sys_pwr_data, act_pwr_red_mode, 4),
    MSGCODEC_INT(notif_sys_pwr_data, reserved, 5),
    MSGCODEC_INT(notif_sys_pwr_data, total_available_current, 6),
    MSGCODEC_INT(notif_sys_pwr_data, total_drawn_current, 7),
};

constexpr msgcodec_field kNotifFruPwrAllocData[] = {
    MSGCODEC_RECORD(notif_fru_pwr_alloc_data, eid, 0),
    MSGCODEC_INT(notif_fru_pwr_alloc_data, power_allocated, 1),
    MSGCODEC_INT(notif_fru_pwr_alloc_data, status, 2),
    MSGCODEC_INT(notif_fru_pwr_alloc_data, fru_current, 3),
};

}  // namespace

MSGCODEC_DEFINE(request_power_budget, request_power_budget, present, kRequestPowerBudget)
MSGCODEC_DEFINE(sensor_value, sensor_value, present, kSensorValue)
MSGCODEC_DEFINE(sensor_fault, sensor_fault, present, kSensorFault)
MSGCODEC_DEFINE(oper_state, oper_state, present, kOperState)
MSGCODEC_DEFINE(run_test, run_test, present, kRunTest)
MSGCODEC_DEFINE(set_dbg_flag, set_dbg_flag, present, kSetDbgFlag)
MSGCODEC_DEFINE(temp_monitoring, temp_monitoring, present, kTempMonitoring)
MSGCODEC_DEFINE(timer_disable, timer_disable, present, kTimerDisable)
MSGCODEC_DEFINE_EMPTY(register_power_data, register_power_data)
MSGCODEC_DEFINE_EMPTY(dump_debug, dump_debug)
MSGCODEC_DEFINE_EMPTY(request_altitude_value, request_altitude_value)
MSGCODEC_DEFINE(power_budget, power_budget, present, kPowerBudget)
MSGCODEC_DEFINE(resp_altitude_value, resp_altitude_value, present, kRespAltitudeValue)
MSGCODEC_DEFINE(notif_sys_pwr_data, notif_sys_pwr_data, present, kNotifSysPwrData)
MSGCODEC_DEFINE(notif_fru_pwr_alloc_data, notif_fru_pwr_alloc_data, present,
                kNotifFruPwrAllocData)
MSGCODEC_DEFINE_EMPTY(resp_sensor_value, resp_sensor_value)
MSGCODEC_DEFINE_EMPTY(resp_sensor_fault_set, resp_sensor_fault_set)
MSGCODEC_DEFINE_EMPTY(resp_test, resp_test)
MSGCODEC_DEFINE_EMPTY(resp_dbg_flag, resp_dbg_flag)
MSGCODEC_DEFINE_EMPTY(resp_register_power_data, resp_register_power_data)
MSGCODEC_DEFINE_EMPTY(resp_dump_debug, resp_dump_debug)
MSGCODEC_DEFINE_EMPTY(resp_temp_monitoring, resp_temp_monitoring)

// Messages of the monitoring service "envmon": message ids of both directions
// and the payload record of every message, with their codec functions
// (msgcodec_<type>_encode_ext / _decode_ext / _free_ext / _clear).
//
// Every payload field has a presence bit in `present`, 0x01 upwards in field
// order. Behind the fields each record carries two bytes for the receiving
// library: `keep`, which a callback sets to take over what the decoder
// allocated inside the record (it then releases it with the type's _free_ext
// and free), and `received`, set to 1 by the library on every record it hands
// to a callback.
#pragma once

#include <stdint.h>

#include "inv_util.h"
#include "msgcodec.h"

#ifdef __cplusplus
extern "C" {
#endif

// The handshake message, either direction.
#define ENVMON_MSG_INIT 0x8000u

// Client-to-server message ids (requests).
#define ENVMON_REQ_POWER_BUDGET 1u
#define ENVMON_REQ_SENSOR_VALUE_SET 2u
#define ENVMON_REQ_SENSOR_FAULT_SET 3u
#define ENVMON_REQ_RUN_TEST 4u
#define ENVMON_REQ_SET_DBG_FLAG 5u
#define ENVMON_REQ_REGISTER_POWER_DATA 6u
#define ENVMON_REQ_DUMP_DEBUG 9u
#define ENVMON_REQ_HW_TEMP_MONITORING 10u
#define ENVMON_REQ_OPER_STATE_SET 11u    // one-way
#define ENVMON_REQ_FAN_TIMER_DISABLE 12u // one-way
#define ENVMON_REQ_ALTITUDE_VALUE 13u

// Server-to-client message ids (responses and notifications). One number can
// mean different messages in the two directions: 11 is the altitude answer
// here and the operational-state request above.
#define ENVMON_RESP_POWER_BUDGET 1u
#define ENVMON_RESP_SENSOR_VALUE_SET 2u
#define ENVMON_RESP_SENSOR_FAULT_SET 3u
#define ENVMON_RESP_TEST 4u
#define ENVMON_RESP_DBG_FLAG 5u
#define ENVMON_RESP_REGISTER_POWER_DATA 6u
#define ENVMON_NOTIF_SYS_PWR_DATA 7u
#define ENVMON_NOTIF_FRU_PWR_ALLOC_DATA 8u
#define ENVMON_RESP_DUMP_DEBUG 9u
#define ENVMON_RESP_TEMP_MONITORING 10u
#define ENVMON_RESP_ALTITUDE_VALUE 11u

// ---------------------------------------------------------------------------
// Requests

// Request 1: a card asks for power.
typedef struct request_power_budget {
  pelm_eid eid;            // card asking for power
  uint32_t card_type;      // 32-bit hardware type code
  char* pid;               // product id
  uint32_t extra1;
  uint32_t extra2;
  uint32_t request_state;  // answered only when absent or 1
  uint8_t present;
  uint8_t keep;
  uint8_t received;
} request_power_budget;
#define REQUEST_POWER_BUDGET_HAS_EID 0x01u
#define REQUEST_POWER_BUDGET_HAS_CARD_TYPE 0x02u
#define REQUEST_POWER_BUDGET_HAS_PID 0x04u
#define REQUEST_POWER_BUDGET_HAS_EXTRA1 0x08u
#define REQUEST_POWER_BUDGET_HAS_EXTRA2 0x10u
#define REQUEST_POWER_BUDGET_HAS_REQUEST_STATE 0x20u

// Request 2: a reading injected for a sensor.
typedef struct sensor_value {
  pelm_eid eid;
  uint32_t subtype;  // 25 temperature, 29 voltage, 7 current
  int32_t value;
  uint8_t present;
  uint8_t keep;
  uint8_t received;
} sensor_value;
#define SENSOR_VALUE_HAS_EID 0x01u
#define SENSOR_VALUE_HAS_SUBTYPE 0x02u
#define SENSOR_VALUE_HAS_VALUE 0x04u

// Request 3: a platform-driver fault bit injected for a sensor.
typedef struct sensor_fault {
  pelm_eid eid;
  uint32_t subtype;
  uint32_t fault;  // 0x1 none, 0x2 critical low ... 0x40 minor high
  uint8_t present;
  uint8_t keep;
  uint8_t received;
} sensor_fault;
#define SENSOR_FAULT_HAS_EID 0x01u
#define SENSOR_FAULT_HAS_SUBTYPE 0x02u
#define SENSOR_FAULT_HAS_FAULT 0x04u

// Request 11 (one-way): operational state of a sensor.
typedef struct oper_state {
  pelm_eid eid;
  uint32_t subtype;
  uint32_t oper_state;  // 1 up, 2 down
  uint8_t present;
  uint8_t keep;
  uint8_t received;
} oper_state;
#define OPER_STATE_HAS_EID 0x01u
#define OPER_STATE_HAS_SUBTYPE 0x02u
#define OPER_STATE_HAS_OPER_STATE 0x04u

// Request 4.
typedef struct run_test {
  uint32_t test_id;
  uint8_t present;
  uint8_t keep;
  uint8_t received;
} run_test;
#define RUN_TEST_HAS_TEST_ID 0x01u

// Request 5.
typedef struct set_dbg_flag {
  uint32_t dbg_flag;  // 1..12 one switch on/off, 13 all on, 14 all off
  uint8_t present;
  uint8_t keep;
  uint8_t received;
} set_dbg_flag;
#define SET_DBG_FLAG_HAS_DBG_FLAG 0x01u

// Request 10.
typedef struct temp_monitoring {
  uint8_t disable;  // 1 disables hardware temperature monitoring
  uint8_t present;
  uint8_t keep;
  uint8_t received;
} temp_monitoring;
#define TEMP_MONITORING_HAS_DISABLE 0x01u

// Request 12 (one-way).
typedef struct timer_disable {
  uint8_t disable;  // 1 disables the fan-speed control timer
  uint8_t present;
  uint8_t keep;
  uint8_t received;
} timer_disable;
#define TIMER_DISABLE_HAS_DISABLE 0x01u

// Requests 6, 9 and 13 carry no fields.
typedef struct register_power_data {
  uint8_t keep;
  uint8_t received;
} register_power_data;
typedef struct dump_debug {
  uint8_t keep;
  uint8_t received;
} dump_debug;
typedef struct request_altitude_value {
  uint8_t keep;
  uint8_t received;
} request_altitude_value;

// ---------------------------------------------------------------------------
// Responses and notifications

// Response 1.
typedef struct power_budget {
  pelm_eid eid;
  uint32_t budget_status;  // 1 granted, 2 no budget, 3 not ready, 4 bad request
  uint8_t present;
  uint8_t keep;
  uint8_t received;
} power_budget;
#define POWER_BUDGET_HAS_EID 0x01u
#define POWER_BUDGET_HAS_BUDGET_STATUS 0x02u

// Response 11, the answer to request 13. At most one of the two is set.
typedef struct resp_altitude_value {
  int32_t altitude_sensor;
  int32_t altitude_config;
  uint8_t present;
  uint8_t keep;
  uint8_t received;
} resp_altitude_value;
#define RESP_ALTITUDE_VALUE_HAS_ALTITUDE_SENSOR 0x01u
#define RESP_ALTITUDE_VALUE_HAS_ALTITUDE_CONFIG 0x02u

// Notification 7.
typedef struct notif_sys_pwr_data {
  uint32_t usable_pwr;
  uint32_t prot_pwr;
  uint32_t resrv_n_alloc_pwr;
  uint32_t cnf_pwr_red_mode;
  uint32_t act_pwr_red_mode;
  uint32_t reserved;  // sent as 0
  uint32_t total_available_current;
  uint32_t total_drawn_current;
  uint8_t present;
  uint8_t keep;
  uint8_t received;
} notif_sys_pwr_data;
#define NOTIF_SYS_PWR_DATA_HAS_USABLE_PWR 0x01u
#define NOTIF_SYS_PWR_DATA_HAS_PROT_PWR 0x02u
#define NOTIF_SYS_PWR_DATA_HAS_RESRV_N_ALLOC_PWR 0x04u
#define NOTIF_SYS_PWR_DATA_HAS_CNF_PWR_RED_MODE 0x08u
#define NOTIF_SYS_PWR_DATA_HAS_ACT_PWR_RED_MODE 0x10u
#define NOTIF_SYS_PWR_DATA_HAS_RESERVED 0x20u
#define NOTIF_SYS_PWR_DATA_HAS_TOTAL_AVAILABLE_CURRENT 0x40u
#define NOTIF_SYS_PWR_DATA_HAS_TOTAL_DRAWN_CURRENT 0x80u

// Notification 8.
typedef struct notif_fru_pwr_alloc_data {
  pelm_eid eid;
  uint32_t power_allocated;
  uint32_t status;  // the card's power status in the inventory's coding
  uint32_t fru_current;
  uint8_t present;
  uint8_t keep;
  uint8_t received;
} notif_fru_pwr_alloc_data;
#define NOTIF_FRU_PWR_ALLOC_DATA_HAS_EID 0x01u
#define NOTIF_FRU_PWR_ALLOC_DATA_HAS_POWER_ALLOCATED 0x02u
#define NOTIF_FRU_PWR_ALLOC_DATA_HAS_STATUS 0x04u
#define NOTIF_FRU_PWR_ALLOC_DATA_HAS_FRU_CURRENT 0x08u

// Responses 2 to 6, 9 and 10 carry no fields.
typedef struct resp_sensor_value {
  uint8_t keep;
  uint8_t received;
} resp_sensor_value;
typedef struct resp_sensor_fault_set {
  uint8_t keep;
  uint8_t received;
} resp_sensor_fault_set;
typedef struct resp_test {
  uint8_t keep;
  uint8_t received;
} resp_test;
typedef struct resp_dbg_flag {
  uint8_t keep;
  uint8_t received;
} resp_dbg_flag;
typedef struct resp_register_power_data {
  uint8_t keep;
  uint8_t received;
} resp_register_power_data;
typedef struct resp_dump_debug {
  uint8_t keep;
  uint8_t received;
} resp_dump_debug;
typedef struct resp_temp_monitoring {
  uint8_t keep;
  uint8_t received;
} resp_temp_monitoring;

MSGCODEC_DECLARE(request_power_budget, request_power_budget)
MSGCODEC_DECLARE(sensor_value, sensor_value)
MSGCODEC_DECLARE(sensor_fault, sensor_fault)
MSGCODEC_DECLARE(oper_state, oper_state)
MSGCODEC_DECLARE(run_test, run_test)
MSGCODEC_DECLARE(set_dbg_flag, set_dbg_flag)
MSGCODEC_DECLARE(temp_monitoring, temp_monitoring)
MSGCODEC_DECLARE(timer_disable, timer_disable)
MSGCODEC_DECLARE(register_power_data, register_power_data)
MSGCODEC_DECLARE(dump_debug, dump_debug)
MSGCODEC_DECLARE(request_altitude_value, request_altitude_value)
MSGCODEC_DECLARE(power_budget, power_budget)
MSGCODEC_DECLARE(resp_altitude_value, resp_altitude_value)
MSGCODEC_DECLARE(notif_sys_pwr_data, notif_sys_pwr_data)
MSGCODEC_DECLARE(notif_fru_pwr_alloc_data, notif_fru_pwr_alloc_data)
MSGCODEC_DECLARE(resp_sensor_value, resp_sensor_value)
MSGCODEC_DECLARE(resp_sensor_fault_set, resp_sensor_fault_set)
MSGCODEC_DECLARE(resp_test, resp_test)
MSGCODEC_DECLARE(resp_dbg_flag, resp_dbg_flag)
MSGCODEC_DECLARE(resp_register_power_data, resp_register_power_data)
MSGCODEC_DECLARE(resp_dump_debug, resp_dump_debug)
MSGCODEC_DECLARE(resp_temp_monitoring, resp_temp_monitoring)

#ifdef __cplusplus
}
#endif

// The sensor record, its threshold set and the sensor list, shared by every
// library of the monitoring server process, and the numbers that go with them.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "inv_util.h"

extern "C" {

// Scopes: inventory registration, fault manager, failure log and service
// server instances exist once per scope.
enum : uint32_t {
  ENVMON_SCOPE_RACK = 1,
  ENVMON_SCOPE_NODE = 3,
};

// A slot id that stands for this card (or for a slot not learnt yet).
inline constexpr uint32_t ENVMON_SLOT_SELF = 0xfffe;
// A rack id not learnt yet.
inline constexpr uint32_t ENVMON_RACK_UNKNOWN = 0xfffe;

// Entity type of every sensor, and the sensor subtypes used as list keys.
inline constexpr uint32_t ENVMON_ENTITY_TYPE_SENSOR = 8;
enum : uint32_t {
  ENVMON_SENSOR_CURRENT = 7,
  ENVMON_SENSOR_FAN_SPEED = 8,
  ENVMON_SENSOR_LED = 13,  // fan trays only: no scale, precision or thresholds
  ENVMON_SENSOR_POWER = 23,
  ENVMON_SENSOR_TEMPERATURE = 25,
  ENVMON_SENSOR_VOLTAGE = 29,
  ENVMON_SENSOR_ALTITUDE = 30,
};

// Scale codes of a value.
enum : uint32_t {
  ENVMON_SCALE_MILLI = 8,
  ENVMON_SCALE_UNITS = 9,
};

// Request progress word (`envmon_sensor_state_bits`): pairs of a pending bit
// and a done bit, plus a retries-left count in bits 27-31. The same layout is
// used by sensor `state`, sensor list `reg_state` and the container, FRU and
// power-allocation words.
enum : uint32_t {
  ENVMON_ST_REG_PENDING = 0x1,
  ENVMON_ST_REG_DONE = 0x2,
  ENVMON_ST_UNREG_PENDING = 0x4,
  ENVMON_ST_UNREG_DONE = 0x8,
  ENVMON_ST_EEPROM_PENDING = 0x10,
  ENVMON_ST_EEPROM_DONE = 0x20,
  ENVMON_ST_VALUE_WAITING = 0x40,    // a value waits to be reported after registration
  ENVMON_ST_OBFL_UNCONFIRMED = 0x80, // failure-log record sent and not confirmed
  ENVMON_ST_POLL_PENDING = 0x100,
  ENVMON_ST_POLL_DONE = 0x200,
  ENVMON_ST_SET_PENDING = 0x400,     // fan-speed (set-sensor) request
  ENVMON_ST_SET_DONE = 0x800,
  ENVMON_ST_OBFL_PENDING = 0x10000,  // marked for the failure log
  ENVMON_ST_FROM_XML = 0x100000,     // built from an XML description
};
inline constexpr uint32_t ENVMON_ST_RETRY_SHIFT = 27;
inline constexpr uint32_t ENVMON_ST_RETRY_MASK = 0xf8000000u;
// Reloading sets bits 28-31 and keeps bit 27: 30 retries, or 31 when bit 27 was set.
inline constexpr uint32_t ENVMON_ST_RETRY_RELOAD = 0xf0000000u;

// Threshold levels.
enum : uint32_t {
  ENVMON_LEVEL_CRITICAL_LOW = 1,
  ENVMON_LEVEL_MAJOR_LOW = 2,
  ENVMON_LEVEL_MINOR_LOW = 3,
  ENVMON_LEVEL_NORMAL = 4,
  ENVMON_LEVEL_MINOR_HIGH = 5,
  ENVMON_LEVEL_MAJOR_HIGH = 6,
  ENVMON_LEVEL_CRITICAL_HIGH = 7,
};

// Hardware state word reported by the driver.
enum : uint32_t {
  ENVMON_HW_EVENT_OPERATIONAL = 0x10,
  ENVMON_HW_EVENT_NOT_READABLE = 0x20,
};

// Six thresholds, in this order; units are those of the sensor's value.
typedef struct envmon_threshold_set {
  int32_t critical_low;
  int32_t critical_high;
  int32_t major_low;
  int32_t major_high;
  int32_t minor_low;
  int32_t minor_high;
} envmon_threshold_set;

// Longest sensor name kept (the field holds it and its terminator, with room).
inline constexpr size_t ENVMON_SENSOR_NAME_MAX = 48;
inline constexpr size_t ENVMON_SENSOR_NAME_LEN = 52;

// One monitored sensor. The first 29 fields are the core's; those after them
// are kept by fan control and the hardware abstractions on the same record.
typedef struct envmon_sensor_info {
  pelm_eid eid;                  // owns its TSI array
  uint32_t state;                // ENVMON_ST_* bits
  uint32_t driver_ownership;     // platform-driver index 0-16
  char name[ENVMON_SENSOR_NAME_LEN];
  envmon_threshold_set threshold;
  int32_t value;
  int32_t last_value;
  int32_t obfl_last_value;       // 0xffffff until first written to the failure log
  int32_t obfl_seq_num;
  int32_t obfl_last_ack_ok_seq_num;
  uint32_t obfl_log_disabled;    // 1: the description disables failure logging
  uint64_t timestamp;            // seconds, of `value`
  uint32_t pd_state;             // driver's operational state / threshold level / raised voltage alarms
  uint32_t pd_last_state;        // the one before
  int32_t previous_update_rate;  // seconds
  int32_t update_rate;           // seconds
  int32_t delta;                 // change that makes the driver report
  uint32_t scale;                // ENVMON_SCALE_*
  uint32_t precision;
  int32_t alarm_severity;
  uint8_t in_fault;
  uint32_t fault_event;          // fault bits reported by the driver (last fault value)
  uint8_t driver_reported;
  int32_t last_trap_value;
  uint32_t hw_event;             // ENVMON_HW_EVENT_*
  uint8_t hw_state;              // 1 up, 2 down, 3 not applicable
  uint8_t hw_st_capi_flow_ctrl;
  uint8_t val_capi_flow_ctrl;
  uint32_t xml_attr;             // top byte of the description's attribute
  // Kept by fan control and the hardware abstractions.
  uint8_t alarm_init;            // an alarm state has been established
  uint8_t trap_flag;
  uint32_t max_speed;            // fan-speed sensors
  uint32_t min_speed;
  uint32_t poll_enable;          // polling-enable word
  uint32_t ev_word[2];           // the two event words of the last reading
  uint8_t first_value_seen;      // temperature: first value seen; fan speed: fault pushed to inventory
  uint8_t oper_state_pending;    // oper-state report waits for inventory flow control
} envmon_sensor_info;

// The sensors of one subtype of one entity. A list with count 0 and a null
// array is a valid empty list; the array may be longer than count.
typedef struct envmon_sensor_list {
  envmon_sensor_info* sensors;
  uint16_t count;
  uint32_t reg_state;            // ENVMON_ST_* bits of the list as a whole
} envmon_sensor_list;

// A list of inventory entity ids (no sensors).
typedef struct envmon_eid_list {
  inv_eid* eids;
  uint16_t count;
} envmon_eid_list;

}  // extern "C"

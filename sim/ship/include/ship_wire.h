// The statistics registrations between processes and the statistics model of
// the chassis simulator: a process announces each table it registered; the
// model asks for the counters' values when someone wants to see them.
#pragma once

#include <stdint.h>

#include "msgcodec.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef struct ship_counter_name {
  char* name;  // bit 0
  uint8_t present;
} ship_counter_name;

typedef struct ship_table_msg {
  uint32_t table_id;             // bit 0, the process's number for the table
  char* app;                     // bit 1
  char* group;                   // bit 2
  char* table;                   // bit 3
  uint32_t kind;                 // bit 4, 1 operational, 11 error
  ship_counter_name* counters;   // bit 5
  uint32_t counter_count;
  uint8_t present;
} ship_table_msg;

typedef struct ship_table_values {
  uint32_t table_id;  // bit 0
  uint32_t* values;   // bit 1
  uint32_t value_count;
  uint8_t present;
} ship_table_values;

typedef struct ship_values_msg {
  ship_table_values* tables;  // bit 0
  uint32_t table_count;
  uint8_t present;
} ship_values_msg;

MSGCODEC_DECLARE(ship_counter_name, ship_counter_name)
MSGCODEC_DECLARE(ship_table_msg, ship_table_msg)
MSGCODEC_DECLARE(ship_table_values, ship_table_values)
MSGCODEC_DECLARE(ship_values_msg, ship_values_msg)

#ifdef __cplusplus
}

#include "simsvc.h"

namespace ship_wire {

enum : uint32_t {
  kRegister = 1,     // client -> model, ship_table_msg
  kReadRequest = 2,  // model -> client, no payload
  kValues = 3,       // client -> model, ship_values_msg (request id of the read)
  kReset = 4,        // client -> model, no payload: the process forgot its tables
};

extern const simsvc::Service kService;

}  // namespace ship_wire
#endif

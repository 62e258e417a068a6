// Fault manager client library (alarmd_*): fault identities, repeat marks and
// the callbacks through which the fault manager hands faults back to their
// owner.
#pragma once

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct alarmd_handle* alarmd_handle_t;
// A local fault id: the fault category in the high 32 bits, the tag in the low.
typedef uint64_t alarmd_fault_id_t;
// A fault as the fault manager hands it to the owner's action callback.
typedef struct alarmd_fault alarmd_fault_t;

struct pelm_eid;

// Data of a fault to declare or clear, prepared with alarmd_fault_data_init.
typedef struct alarmd_fault_data {
  struct pelm_eid* eid;           // the faulty entity
  int32_t state;                  // 1 raise, 2 clear, 3 passed on
  int32_t pending;                // declared before its container is known
  uint32_t slot;                  // slot of a pending fault
  uint16_t alarm_level;           // 0..5: 5 critical, 4 major, 3 minor
  const char* description;
  int32_t alarm_scope;            // 3 node, 1 rack
  const char* location;
  const char* description2;
  const char* name;
  const char* description3;
  uint64_t timestamp;             // seconds
  const char* syslog_location;
} alarmd_fault_data;

// Action callback of an owner: (handle, fault, action, action data, its
// length, owner context); the owner answers 0 when it accepts the action.
typedef int (*alarmd_action_handler_t)(alarmd_handle_t handle, alarmd_fault_t* fault, uint32_t action,
                                       void* action_data, uint32_t action_data_len, void* ctx);
// Error callback of an owner: (handle, error).
typedef int (*alarmd_error_handler_t)(alarmd_handle_t handle, int64_t error);

// Zeroes the record: no entity, state 0, level 0, no texts.
// The client `name` has registered everything it will declare. 0 when told.
int alarmd_registerations_complete(const char* name);
// The card's own address, which the fault manager shows with its faults.
int alarmd_local_vm_ip_update(uint32_t address);

void alarmd_fault_data_init(alarmd_fault_data* data);

alarmd_fault_id_t alarmd_create_local_fault_id(uint32_t category, uint32_t tag);
// Marks a fault as one that may be raised again while raised (repeat 1) or
// not (0). 0 on success, -1 for a null handle.
int alarmd_set_action_repeat(alarmd_handle_t handle, alarmd_fault_id_t id, uint32_t repeat);
// Tag of a fault; -1 for a null fault.
long alarmd_get_fault_tag(const alarmd_fault_t* fault);

#ifdef __cplusplus
}
#endif

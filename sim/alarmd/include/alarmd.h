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

struct evloop;

// Registration of an owner (prepared with alarmd_init_info_init).
typedef struct alarmd_init_info {
  struct evloop* evloop;
  uint32_t facility;
  const char* component;
  const char* my_location;        // may be null: set later with alarmd_set_my_location
  alarmd_action_handler_t action_handler;
  alarmd_error_handler_t error_handler;
  uint32_t flags;                 // reserved, 0
  void* ctx;                      // given back to the action handler
} alarmd_init_info;

// An update of the data of faults declared pending for a slot: their
// container, now known, and location.
typedef struct alarmd_fault_data_update {
  uint32_t slot;
  uint32_t chassis_level;         // 1: the faults belong to the chassis
  struct pelm_eid* cont_eid;
  const char* location;
} alarmd_fault_data_update_t;

// Results of the calls below: 0 on success, else an error code of the fault
// manager (ALARMD_ERR_*).
#define ALARMD_ERR_INVALID ((int64_t)0x4010100000000016LL)
#define ALARMD_ERR_NOT_INIT ((int64_t)0x4010100000000001LL)

// Once per process, before the first registration.
int64_t alarmd_init(const char* component);
// Defaults: no loop, no texts, no handlers.
void alarmd_init_info_init(alarmd_init_info* info);
// Registers an owner with the fault table of that name.
int64_t alarmd_register(const alarmd_init_info* info, const char* fault_table,
                        alarmd_handle_t* handle);
// The object the next declarations belong to.
int64_t alarmd_set_owner_comp_object_id(alarmd_handle_t handle, const struct pelm_eid* eid);
int64_t alarmd_fault_declare(alarmd_handle_t handle, alarmd_fault_id_t id,
                             const alarmd_fault_data* data);
// Clears every fault raised on the object.
int64_t alarmd_clear_object_faults(alarmd_handle_t handle, const struct pelm_eid* eid);
// 1 starts a resynchronisation (faults not declared again until its end are
// cleared at the end), 2 ends it.
int64_t alarmd_fault_report_resync(alarmd_handle_t handle, uint32_t type);
int64_t alarmd_set_my_location(alarmd_handle_t handle, const char* location);
void alarmd_fault_data_update_init(struct alarmd_fault_data_update* update);
int64_t alarmd_fault_data_update(alarmd_handle_t handle,
                                 const struct alarmd_fault_data_update* update);

alarmd_fault_id_t alarmd_create_local_fault_id(uint32_t category, uint32_t tag);
// Marks a fault as one that may be raised again while raised (repeat 1) or
// not (0). 0 on success, -1 for a null handle.
int alarmd_set_action_repeat(alarmd_handle_t handle, alarmd_fault_id_t id, uint32_t repeat);
// Tag of a fault; -1 for a null fault.
long alarmd_get_fault_tag(const alarmd_fault_t* fault);

#ifdef __cplusplus
}
#endif

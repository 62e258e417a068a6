// Fault-manager client of the server (one per scope).
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "envmon_errors.h"
#include "inv_util.h"

struct evloop;
struct alarmd_fault_data;  // the fault manager's data of one fault
struct alarmd_fault_data_update;
struct alarmd_handle;
struct alarmd_fault;

extern "C" {

// Resync types.
enum : uint32_t {
  ENVMON_FM_RESYNC_START = 1,
  ENVMON_FM_RESYNC_END = 2,
};

// A fault to report: the caller zeroes it, then fills the category and the
// data; the hardware abstraction's configure hooks set the tag.
typedef struct envmon_fm_fault_req {
  struct alarmd_fault_data* fault_data;
  uint32_t fault_type;       // category: 10 card shutdown, 14 voltage, 15 IDPROM or undetected
  uint32_t fault_tag;        // the fault within its category
  uint32_t shutdown_action;  // 0 none, 1 the chassis, 2 a card
} envmon_fm_fault_req;

// Registration of one scope with the fault manager (scope 3 node, any other
// value rack).
typedef struct envmon_fm_cb_t {
  uint32_t state;                 // 1 once registered
  struct alarmd_handle* handle;
} envmon_fm_cb_t;
// Index 0 node scope, 1 rack scope.
extern envmon_fm_cb_t envmon_fm_cb[2];

// A slot whose faults wait for this card's location: declared pending, sent
// again with their container once the location is known. Newest first.
inline constexpr size_t ENVMON_FM_LOC_LEN = 32;
typedef struct envmon_fm_pqeid_item {
  uint32_t slot;
  char loc[ENVMON_FM_LOC_LEN];
  uint32_t loc_type;              // card kind of the node-id library
  pelm_eid cont_eid;              // the container, owns its levels
  struct envmon_fm_pqeid_item* next;
} envmon_fm_pqeid_item;

envmon_err_t envmon_fm_init(uint32_t scope, struct evloop* loop);
// Declares (or clears) one fault; on return the request's fault data points at
// the caller's entity id again.
envmon_err_t envmon_fm_fault_report(int32_t scope, envmon_fm_fault_req* req);
envmon_err_t envmon_fm_fault_report_resync(uint32_t scope, uint32_t type);
// Clears every fault of the object, named with the rack record's rack.
envmon_err_t envmon_fm_fault_clear(uint32_t scope, const pelm_eid* eid);
// The argument is not read: the location comes from envmon_nm->my_location.
envmon_err_t envmon_fm_update_location(const char* location);
envmon_err_t envmon_fm_fault_data_update(uint32_t scope, struct alarmd_fault_data_update* update);
// 0 or the failing library's code.
int32_t envmon_fm_start_resync_timer(void);
void evnmon_fm_rsync_timeout_handler(int fd, uint32_t events, void* ctx);
// Location text (31 characters at most) of a slot of the given card kind.
int32_t envmon_fm_get_loc_str(uint32_t slot, uint32_t loc_type, char* text, uint32_t* slot_index,
                              uint32_t* value2, uint32_t* value3);
void envmon_fm_add_pqeid_item(uint32_t slot, const inv_eid* cont, uint32_t loc_type);
envmon_fm_pqeid_item* envon_fm_get_pending_pqeid_item(void);
void envmon_fm_delete_pqeid_item(envmon_fm_pqeid_item* item);
void envmon_fm_nm_set_repeatable(struct alarmd_handle* handle);
void envmon_fm_rm_set_repeatable(struct alarmd_handle* handle);
int envmon_fm_nm_action_handler(struct alarmd_handle* handle, struct alarmd_fault* fault,
                                uint32_t action, void* data, uint32_t data_len, void* ctx);
int envmon_fm_rm_action_handler(struct alarmd_handle* handle, struct alarmd_fault* fault,
                                uint32_t action, void* data, uint32_t data_len, void* ctx);
int envmon_fm_nm_error_handler(struct alarmd_handle* handle, int64_t error);
int envmon_fm_rm_error_handler(struct alarmd_handle* handle, int64_t error);

}  // extern "C"

// Fault-manager client of the server (one per scope).
#pragma once

#include <stdint.h>

#include "envmon_errors.h"
#include "inv_util.h"

struct evloop;
struct alarmd_fault_data;  // the fault manager's data of one fault

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

envmon_err_t envmon_fm_init(uint32_t scope, struct evloop* loop);
envmon_err_t envmon_fm_fault_report_resync(uint32_t scope, uint32_t type);
envmon_err_t envmon_fm_fault_clear(uint32_t scope, const pelm_eid* eid);
// The argument is not read: the location comes from envmon_nm->my_location.
envmon_err_t envmon_fm_update_location(const char* location);

}  // extern "C"

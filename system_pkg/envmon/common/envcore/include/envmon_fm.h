// Fault-manager client of the server (one per scope).
#pragma once

#include <stdint.h>

#include "envmon_errors.h"
#include "inv_util.h"

struct evloop;

extern "C" {

// Resync types.
enum : uint32_t {
  ENVMON_FM_RESYNC_START = 1,
  ENVMON_FM_RESYNC_END = 2,
};

envmon_err_t envmon_fm_init(uint32_t scope, struct evloop* loop);
envmon_err_t envmon_fm_fault_report_resync(uint32_t scope, uint32_t type);
envmon_err_t envmon_fm_fault_clear(uint32_t scope, const pelm_eid* eid);
// The argument is not read: the location comes from envmon_nm->my_location.
envmon_err_t envmon_fm_update_location(const char* location);

}  // extern "C"

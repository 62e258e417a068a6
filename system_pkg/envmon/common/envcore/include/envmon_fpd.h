// FPD (field-programmable device) handling of the server: registration of the
// devices of a slot with the FPD framework and the framework's callbacks.
#pragma once

#include <stdint.h>

#include "envmon_records.h"
#include "inv_util.h"

struct evloop;
struct fpd_drv_upgrade_req;
struct fpd_drv_image_info;
struct fpd_drv_reg_info;

extern "C" {

// The 32-bit failure answer of the FPD callbacks: the low word of the
// invalid-argument code.
inline constexpr int32_t ENVMON_FPD_FAIL = static_cast<int32_t>(0xca100802u);
// `init_st` of an FPD record.
enum : uint32_t {
  ENVMON_FPD_INIT_PENDING = 1,
  ENVMON_FPD_INIT_DONE = 2,
};

// Registers the FPDs of one slot with the framework once the rack-scope node
// id is known.
void envmon_all_fpd_init_for_slot(uint32_t slot);
// Registers one FPD: the framework's result, 22, or ENVMON_FPD_FAIL.
int32_t envmon_fpd_init(fpd_data* fpd, uint32_t slot, struct evloop* loop);
// Fills the slot-dependent part of a registration record: 0 or 22.
int32_t envmon_fpd_process_data(fpd_data* fpd, uint32_t slot, uint32_t* node_slot,
                                struct fpd_drv_reg_info* reg);

// Callbacks of the framework.
int32_t envmon_fpd_image_get(const inv_eid* eid, struct fpd_drv_image_info* info);
int32_t envmon_fpd_image_set(struct fpd_drv_upgrade_req* req);
int32_t envmon_fpd_image_set_attr(const inv_eid* eid, uint32_t* attributes);
int32_t envmon_fpd_state_set(const inv_eid* eid, uint32_t state);
int32_t envmon_fpd_state_get(const inv_eid* eid, uint32_t* state, uint32_t* progress);
int32_t envmon_fpd_abort(const inv_eid* eid);
int32_t envmon_fpd_obfl_log(const inv_eid* eid, const char* text);

}  // extern "C"

// FPD framework (fpd_drv_*): the upgrade requests it hands to the owner of a
// field-programmable device, and the states it knows.
#pragma once

#include <stdint.h>

#include "inv_util.h"

#ifdef __cplusplus
extern "C" {
#endif

// States of an FPD upgrade.
enum {
  FPD_DRV_STATE_UPGRADE_STARTED = 3,
  FPD_DRV_STATE_SUCCESS = 5,
  FPD_DRV_STATE_FAILURE = 6,
  FPD_DRV_STATE_SKIPPED = 13,
};

// Result callback of a request: (the device's framework handle, the request's
// context, state, message text).
typedef void (*fpd_drv_result_cb_t)(void* fpd_hd, void* ctx, uint32_t state, const char* msg);

// An upgrade request as the framework hands it to the device's owner.
typedef struct fpd_drv_upgrade_req {
  void* ctx;                      // the requester's context, given back in results
  fpd_drv_result_cb_t result_cb;
  uint32_t all_fpds;              // 1: every FPD of the location was asked for
  uint32_t all_locations;         // 1: every location was asked for
  uint32_t auto_upgrade;          // 1: automatic upgrade after an image change
  inv_eid eid;                    // the device the image is for
  uint32_t slot;                  // the device's slot
} fpd_drv_upgrade_req;

// Gives the device's running upgrade `value` more time (the framework's time
// unit). 0 on success, -1 for a null handle.
int fpd_drv_extend_timeout(void* fpd_hd, uint32_t value);
// Withdraws a device registered with the framework. 0 on success, -1 for a
// null handle.
int fpd_drv_unregister(void* fpd_hd);

#ifdef __cplusplus
}
#endif

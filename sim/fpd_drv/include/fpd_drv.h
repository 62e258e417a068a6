// FPD framework (fpd_drv_*): the upgrade requests it hands to the owner of a
// field-programmable device, and the states it knows.
#pragma once

#include <stddef.h>
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
  const char* image_path;         // the image to program
  uint32_t toggle;                // 1: switch to the image once programmed
  uint32_t ver_major;             // version of the image
  uint32_t ver_minor;
} fpd_drv_upgrade_req;

// What a device's owner reports of its images (image-get callback).
typedef struct fpd_drv_image_info {
  uint32_t running_major;
  uint32_t running_minor;
  uint32_t reserved;              // 0
  uint32_t programmed_major;
  uint32_t programmed_minor;
  uint32_t status_flags;          // 64 upgrade needed or failed, 16 upgrading, 0
} fpd_drv_image_info;

// Registration of one device with the framework, and the owner's callbacks.
// Each callback answers 0 or a failure value of the owner.
#define FPD_DRV_NAME_LEN 25
#define FPD_DRV_CARD_NAME_LEN 128
typedef struct fpd_drv_reg_info {
  inv_eid eid;
  char name[FPD_DRV_NAME_LEN];    // display name (24 characters at most)
  uint32_t name_len;
  uint32_t card_type;
  char card_name[FPD_DRV_CARD_NAME_LEN];
  uint32_t hw_major;
  uint32_t hw_minor;
  void* user_ctx;
  int32_t (*image_get)(const inv_eid* eid, fpd_drv_image_info* info);
  int32_t (*image_set)(fpd_drv_upgrade_req* req);
  int32_t (*image_set_attr)(const inv_eid* eid, uint32_t* attributes);
  int32_t (*abort)(const inv_eid* eid);
  int32_t (*state_set)(const inv_eid* eid, uint32_t state);
  int32_t (*state_get)(const inv_eid* eid, uint32_t* state, uint32_t* progress);
  int32_t (*obfl_log)(const inv_eid* eid, const char* text);
} fpd_drv_reg_info;

// Registers a device; *fpd_hd receives its framework handle. 0 on success.
int fpd_drv_init(const fpd_drv_reg_info* reg, void** fpd_hd);
// Enables (1) the device's upgrades once its owner knows its data. 0 on
// success, -1 for a null handle.
int fpd_drv_enable_fpd(void* fpd_hd, uint32_t enable);

// Gives the device's running upgrade `value` more time (the framework's time
// unit). 0 on success, -1 for a null handle.
int fpd_drv_extend_timeout(void* fpd_hd, uint32_t value);
// Withdraws a device registered with the framework. 0 on success, -1 for a
// null handle.
int fpd_drv_unregister(void* fpd_hd);

#ifdef __cplusplus
}
#endif

// Card-event state machine of the monitoring server: the object, its context,
// the event entry point, the 5 s one-shot timer and the clean-up of pending
// retries that other parts call when they drop their outstanding requests.
// The transition table and its scheduler are the driver's (ceb_driver.h).
#pragma once

#include <stdint.h>

#include "ceb_driver.h"
#include "envmon_core.h"

extern "C" {

// Context handed to every state-entry function, action and timer callback.
typedef struct envmon_ceb_ctx {
  void* fsa;                   // the object this context belongs to
  uint32_t started;            // 1 from the start on
  int32_t timer_fd;            // the running one-shot timer, 0 when none runs
  uint32_t card_req_count;     // card-information requests sent
  uint32_t chassis_req_count;  // chassis-information requests sent
  uint32_t reg_skip_check;     // next registering entry only restarts the timer
  uint32_t fm_resync;
} envmon_ceb_ctx;

// The machine object: the driver's area first (its first 32 bits are the state
// word), then the context.
typedef struct envmon_ceb_fsa {
  envmon_ceb_sm sm;
  envmon_ceb_ctx ctx;
} envmon_ceb_fsa;

// Null until envmon_ceb_fsa_init_n_start has run.
extern envmon_ceb_fsa* envmon_fsa;

#define ENVMON_CEB_TIMER_SECONDS 5

// envmon_ceb_fsa_init_n_start and envmon_ceb_fsa_sched_event (which posts
// one event 1-11 and returns the driver's result, non-zero for an invalid
// event or a machine not yet started) are declared in envmon_core.h.
envmon_err_t envmon_ceb_fsa_create(envmon_ceb_fsa** pointer);
typedef void (*envmon_ceb_timer_handler_t)(int fd, uint32_t events, void* ctx);
int envmon_ceb_fsa_start_timer(envmon_ceb_timer_handler_t handler, uint32_t seconds,
                               envmon_ceb_ctx* ctx);
void envmon_ceb_fsa_timeout_handler(int fd, uint32_t events, void* ctx);
void envmon_ceb_fsa_reset_fm_resync(void);

void envmon_fsa_cleanup_all_inv_retry_request(uint32_t scope);
void envmon_fsa_cleanup_nm_inv_retry_request(void);
void envmon_fsa_cleanup_rm_inv_retry_request(void);
void envmon_fsa_cleanup_all_drvif_retry_request(uint32_t driver);

}  // extern "C"

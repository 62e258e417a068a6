// Driver of the card-event state machine. The monitoring server core owns the
// machine object and supplies the state-entry functions and transition actions
// (exported by name); this library holds the transition table and runs it.
//
// Layout of the machine object: the driver's area (envmon_ceb_sm, below) comes
// first, its first 32 bits being the current state number; the core's context
// follows it directly and is what every entry function and action receives.
//
// Events posted while a transition runs (from an entry function or an action)
// are queued and run, in order, once the current transition has completed.
// Leaving requesting-card, requesting-chassis or registering, also into the
// same state, runs envmon_ceb_st_destroy_timer before the action and the next
// entry. Major error (3) leads to the error state from any state. An event
// that the table does not list for the current state is dropped. Each change
// of state is written to the server's debug log (envmon_debug_log, bound by
// name from the process).
#pragma once

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

// State numbers. Registering must read 5: the core compares the state word
// with 5 before it declares the registration finished.
enum envmon_ceb_state {
  ENVMON_CEB_ST_NONE = 0,  // before envmon_ceb_init_sm
  ENVMON_CEB_ST_INIT = 1,
  ENVMON_CEB_ST_CONNECTING = 2,
  ENVMON_CEB_ST_REQING_CARD = 3,
  ENVMON_CEB_ST_REQING_CHASSIS = 4,
  ENVMON_CEB_ST_REGISTERING = 5,
  ENVMON_CEB_ST_REGISTERED = 6,
  ENVMON_CEB_ST_ERROR = 7,
};

#define ENVMON_CEB_SM_QUEUE_LEN 64u

// The driver's area at the head of the machine object.
typedef struct envmon_ceb_sm {
  uint32_t state;                         // enum envmon_ceb_state
  uint32_t running;                       // 1 while a transition runs
  uint32_t q_head;                        // index of the oldest queued event
  uint32_t q_count;                       // events queued
  uint8_t queue[ENVMON_CEB_SM_QUEUE_LEN]; // posted while running
  uint64_t transitions;                   // transitions run so far
} __attribute__((aligned(8))) envmon_ceb_sm;

// The core's context (defined by the core); it follows the driver's area.
struct envmon_ceb_ctx;

// Prepares the driver's area of fsa and puts the machine in the init state.
// enter_init non-zero also runs the init state's entry function.
void envmon_ceb_init_sm(void* fsa, int enter_init);

// Each hands one event to the machine: 0 when accepted (run now or queued),
// -1 for a null object or a full queue.
int envmon_ceb_schedule_on_ev_start(void* fsa);
int envmon_ceb_schedule_on_ev_connect(void* fsa);
int envmon_ceb_schedule_on_ev_major_err(void* fsa);
int envmon_ceb_schedule_on_ev_invalid_card(void* fsa);
int envmon_ceb_schedule_on_ev_timeout(void* fsa);
int envmon_ceb_schedule_on_ev_get_card_rp(void* fsa);
int envmon_ceb_schedule_on_ev_get_card_lc(void* fsa);
int envmon_ceb_schedule_on_ev_invalid_chassis(void* fsa);
int envmon_ceb_schedule_on_ev_reg_req(void* fsa);
int envmon_ceb_schedule_on_ev_reg_ok(void* fsa);
int envmon_ceb_schedule_on_ev_reg_err(void* fsa);

// The current state of fsa (ENVMON_CEB_ST_NONE for null).
uint32_t envmon_ceb_sm_state(const void* fsa);
// The printable name of a state number.
const char* envmon_ceb_sm_state_name(uint32_t state);

// Supplied by the core, bound by name: state-entry functions ...
void envmon_ceb_st_init(struct envmon_ceb_ctx* ctx);
void envmon_ceb_st_connecting(struct envmon_ceb_ctx* ctx);
void envmon_ceb_st_reqing_card(struct envmon_ceb_ctx* ctx);
void envmon_ceb_st_reqing_chassis(struct envmon_ceb_ctx* ctx);
void envmon_ceb_st_registering(struct envmon_ceb_ctx* ctx);
void envmon_ceb_st_reg_ok(struct envmon_ceb_ctx* ctx);
void envmon_ceb_st_error(struct envmon_ceb_ctx* ctx);
// ... the exit function of the three timed states ...
void envmon_ceb_st_destroy_timer(struct envmon_ceb_ctx* ctx);
// ... and the transition actions.
void envmon_ceb_init(struct envmon_ceb_ctx* ctx);
void envmon_req_card(struct envmon_ceb_ctx* ctx);
void envmon_req_card_timeout(struct envmon_ceb_ctx* ctx);
void envmon_invalid_card(struct envmon_ceb_ctx* ctx);
void envmon_req_chassis(struct envmon_ceb_ctx* ctx);
void envmon_req_chassis_timeout(struct envmon_ceb_ctx* ctx);
void envmon_invalid_chassis(struct envmon_ceb_ctx* ctx);
void envmon_register(struct envmon_ceb_ctx* ctx);
void envmon_register_timeout(struct envmon_ceb_ctx* ctx);
void envmon_reg_ok(struct envmon_ceb_ctx* ctx);
void envmon_register_failed(struct envmon_ceb_ctx* ctx);

#ifdef __cplusplus
}
#endif

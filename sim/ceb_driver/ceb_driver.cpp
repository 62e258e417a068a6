// Transition table and run-to-completion scheduler of the card-event state
// machine (see ceb_driver.h).
#include "ceb_driver.h"

#include <array>
#include <cstddef>

// The server's debug log, bound by name from the process like the entry
// functions: every transition is written there, so that a running server
// shows where its card-event machine stands.
extern "C" void envmon_debug_log(const char* fmt, ...) __attribute__((format(printf, 1, 2)));

namespace {

// Card-event numbers.
enum : uint32_t {
  EV_START = 1,
  EV_CONNECT = 2,
  EV_MAJOR_ERR = 3,
  EV_INVALID_CARD = 4,
  EV_TIMEOUT = 5,
  EV_GET_CARD_RP = 6,
  EV_GET_CARD_LC = 7,
  EV_INVALID_CHASSIS = 8,
  EV_REG_REQ = 9,
  EV_REG_OK = 10,
  EV_REG_ERR = 11,
};

using entry_fn = void (*)(envmon_ceb_ctx*);

struct transition {
  uint32_t from;
  uint32_t event;
  entry_fn action;  // may be null
  uint32_t to;
};

// Major error (3) is handled for every state outside the table. Registration
// requests in the error state go back to registering like in registered: the
// card and chassis requests are over for good there, but what the rest of the
// server registers still needs its retries, or a lost request would stay lost
// for the life of the process.
constexpr std::array<transition, 17> kTable = {{
    {ENVMON_CEB_ST_INIT, EV_START, envmon_ceb_init, ENVMON_CEB_ST_CONNECTING},
    {ENVMON_CEB_ST_CONNECTING, EV_CONNECT, envmon_req_card, ENVMON_CEB_ST_REQING_CARD},
    {ENVMON_CEB_ST_REQING_CARD, EV_TIMEOUT, envmon_req_card_timeout,
     ENVMON_CEB_ST_REQING_CARD},
    {ENVMON_CEB_ST_REQING_CARD, EV_INVALID_CARD, envmon_invalid_card,
     ENVMON_CEB_ST_REQING_CARD},
    {ENVMON_CEB_ST_REQING_CARD, EV_GET_CARD_RP, envmon_req_chassis,
     ENVMON_CEB_ST_REQING_CHASSIS},
    {ENVMON_CEB_ST_REQING_CARD, EV_GET_CARD_LC, envmon_register,
     ENVMON_CEB_ST_REGISTERING},
    {ENVMON_CEB_ST_REQING_CARD, EV_REG_REQ, envmon_register, ENVMON_CEB_ST_REGISTERING},
    {ENVMON_CEB_ST_REQING_CHASSIS, EV_TIMEOUT, envmon_req_chassis_timeout,
     ENVMON_CEB_ST_REQING_CHASSIS},
    {ENVMON_CEB_ST_REQING_CHASSIS, EV_INVALID_CHASSIS, envmon_invalid_chassis,
     ENVMON_CEB_ST_REQING_CHASSIS},
    {ENVMON_CEB_ST_REQING_CHASSIS, EV_REG_REQ, envmon_register,
     ENVMON_CEB_ST_REGISTERING},
    {ENVMON_CEB_ST_REGISTERING, EV_REG_REQ, envmon_register, ENVMON_CEB_ST_REGISTERING},
    {ENVMON_CEB_ST_REGISTERING, EV_TIMEOUT, envmon_register_timeout,
     ENVMON_CEB_ST_REGISTERING},
    {ENVMON_CEB_ST_REGISTERING, EV_REG_OK, envmon_reg_ok, ENVMON_CEB_ST_REGISTERED},
    {ENVMON_CEB_ST_REGISTERING, EV_REG_ERR, envmon_register_failed,
     ENVMON_CEB_ST_ERROR},
    {ENVMON_CEB_ST_REGISTERED, EV_REG_REQ, envmon_register, ENVMON_CEB_ST_REGISTERING},
    {ENVMON_CEB_ST_ERROR, EV_REG_REQ, envmon_register, ENVMON_CEB_ST_REGISTERING},
    {0, 0, nullptr, 0},  // end
}};

entry_fn entry_of(uint32_t state) {
  switch (state) {
    case ENVMON_CEB_ST_INIT: return envmon_ceb_st_init;
    case ENVMON_CEB_ST_CONNECTING: return envmon_ceb_st_connecting;
    case ENVMON_CEB_ST_REQING_CARD: return envmon_ceb_st_reqing_card;
    case ENVMON_CEB_ST_REQING_CHASSIS: return envmon_ceb_st_reqing_chassis;
    case ENVMON_CEB_ST_REGISTERING: return envmon_ceb_st_registering;
    case ENVMON_CEB_ST_REGISTERED: return envmon_ceb_st_reg_ok;
    case ENVMON_CEB_ST_ERROR: return envmon_ceb_st_error;
    default: return nullptr;
  }
}

bool is_timed(uint32_t state) {
  return state == ENVMON_CEB_ST_REQING_CARD || state == ENVMON_CEB_ST_REQING_CHASSIS ||
         state == ENVMON_CEB_ST_REGISTERING;
}

envmon_ceb_sm* area(void* fsa) { return static_cast<envmon_ceb_sm*>(fsa); }

envmon_ceb_ctx* ctx_of(void* fsa) {
  return reinterpret_cast<envmon_ceb_ctx*>(static_cast<char*>(fsa) + sizeof(envmon_ceb_sm));
}

// One transition: exit of a timed state, action, new state, entry.
void run_one(void* fsa, uint32_t event) {
  envmon_ceb_sm* sm = area(fsa);
  const transition* hit = nullptr;
  transition major{sm->state, EV_MAJOR_ERR, nullptr, ENVMON_CEB_ST_ERROR};
  if (event == EV_MAJOR_ERR && sm->state != ENVMON_CEB_ST_NONE) {
    hit = &major;
  } else {
    for (const transition& t : kTable) {
      if (t.from == sm->state && t.event == event) {
        hit = &t;
        break;
      }
    }
  }
  if (hit == nullptr) return;  // not listed for this state: dropped
  envmon_ceb_ctx* ctx = ctx_of(fsa);
  if (is_timed(sm->state)) envmon_ceb_st_destroy_timer(ctx);
  if (hit->action != nullptr) hit->action(ctx);
  if (hit->to != sm->state) {
    envmon_debug_log("card-event machine: %s -> %s (event %u)\n",
                     envmon_ceb_sm_state_name(sm->state), envmon_ceb_sm_state_name(hit->to), event);
  }
  sm->state = hit->to;
  sm->transitions++;
  if (entry_fn entry = entry_of(hit->to)) entry(ctx);
}

// Runs queued events one complete transition at a time.
void drain(void* fsa) {
  envmon_ceb_sm* sm = area(fsa);
  sm->running = 1;
  while (sm->q_count != 0) {
    uint32_t next = sm->queue[sm->q_head];
    sm->q_head = (sm->q_head + 1) % ENVMON_CEB_SM_QUEUE_LEN;
    sm->q_count--;
    run_one(fsa, next);
  }
  sm->running = 0;
}

int post(void* fsa, uint32_t event) {
  if (fsa == nullptr) return -1;
  envmon_ceb_sm* sm = area(fsa);
  if (sm->q_count == ENVMON_CEB_SM_QUEUE_LEN) return -1;
  sm->queue[(sm->q_head + sm->q_count) % ENVMON_CEB_SM_QUEUE_LEN] = static_cast<uint8_t>(event);
  sm->q_count++;
  if (sm->running == 0) drain(fsa);  // else the transition under way runs it afterwards
  return 0;
}

}  // namespace

extern "C" {

void envmon_ceb_init_sm(void* fsa, int enter_init) {
  if (fsa == nullptr) return;
  *area(fsa) = envmon_ceb_sm{};
  area(fsa)->state = ENVMON_CEB_ST_INIT;
  if (enter_init != 0) {
    area(fsa)->running = 1;
    envmon_ceb_st_init(ctx_of(fsa));
    drain(fsa);  // what the init entry posted
  }
}

int envmon_ceb_schedule_on_ev_start(void* fsa) { return post(fsa, EV_START); }
int envmon_ceb_schedule_on_ev_connect(void* fsa) { return post(fsa, EV_CONNECT); }
int envmon_ceb_schedule_on_ev_major_err(void* fsa) { return post(fsa, EV_MAJOR_ERR); }
int envmon_ceb_schedule_on_ev_invalid_card(void* fsa) {
  return post(fsa, EV_INVALID_CARD);
}
int envmon_ceb_schedule_on_ev_timeout(void* fsa) { return post(fsa, EV_TIMEOUT); }
int envmon_ceb_schedule_on_ev_get_card_rp(void* fsa) {
  return post(fsa, EV_GET_CARD_RP);
}
int envmon_ceb_schedule_on_ev_get_card_lc(void* fsa) {
  return post(fsa, EV_GET_CARD_LC);
}
int envmon_ceb_schedule_on_ev_invalid_chassis(void* fsa) {
  return post(fsa, EV_INVALID_CHASSIS);
}
int envmon_ceb_schedule_on_ev_reg_req(void* fsa) { return post(fsa, EV_REG_REQ); }
int envmon_ceb_schedule_on_ev_reg_ok(void* fsa) { return post(fsa, EV_REG_OK); }
int envmon_ceb_schedule_on_ev_reg_err(void* fsa) { return post(fsa, EV_REG_ERR); }

uint32_t envmon_ceb_sm_state(const void* fsa) {
  return fsa == nullptr ? uint32_t{ENVMON_CEB_ST_NONE} : static_cast<const envmon_ceb_sm*>(fsa)->state;
}

const char* envmon_ceb_sm_state_name(uint32_t state) {
  switch (state) {
    case ENVMON_CEB_ST_NONE: return "none";
    case ENVMON_CEB_ST_INIT: return "init";
    case ENVMON_CEB_ST_CONNECTING: return "connecting";
    case ENVMON_CEB_ST_REQING_CARD: return "requesting card";
    case ENVMON_CEB_ST_REQING_CHASSIS: return "requesting chassis";
    case ENVMON_CEB_ST_REGISTERING: return "registering";
    case ENVMON_CEB_ST_REGISTERED: return "registered";
    case ENVMON_CEB_ST_ERROR: return "error";
    default: return "unknown";
  }
}

}  // extern "C"

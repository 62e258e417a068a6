// The driver against recording entry functions and actions: the table, the
// exit function of the timed states, major error from anywhere, and events
// posted from inside a transition run only after it.
#include "ceb_driver.h"

#include <gtest/gtest.h>

#include <cstdarg>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

struct envmon_ceb_ctx {
  int unused;
};

namespace {

struct machine {
  envmon_ceb_sm sm;
  envmon_ceb_ctx ctx;
};

std::string g_log;
machine* g_machine = nullptr;
// Called inside the named function, to post from within a transition.
std::string g_hook_at;
std::function<void()> g_hook;

void record(const char* name, envmon_ceb_ctx* ctx) {
  EXPECT_EQ(ctx, &g_machine->ctx) << name << " did not get the context";
  if (!g_log.empty()) g_log += ' ';
  g_log += name;
  if (g_hook && g_hook_at == name) g_hook();
}

}  // namespace

std::vector<std::string> g_debug_log;

extern "C" void envmon_debug_log(const char* fmt, ...) {
  char line[256];
  va_list ap;
  va_start(ap, fmt);
  vsnprintf(line, sizeof(line), fmt, ap);
  va_end(ap);
  g_debug_log.push_back(line);
}

#define RECORDER(fn) \
  extern "C" void fn(envmon_ceb_ctx* ctx) { record(#fn, ctx); }
RECORDER(envmon_ceb_st_init)
RECORDER(envmon_ceb_st_connecting)
RECORDER(envmon_ceb_st_reqing_card)
RECORDER(envmon_ceb_st_reqing_chassis)
RECORDER(envmon_ceb_st_registering)
RECORDER(envmon_ceb_st_reg_ok)
RECORDER(envmon_ceb_st_error)
RECORDER(envmon_ceb_st_destroy_timer)
RECORDER(envmon_ceb_init)
RECORDER(envmon_req_card)
RECORDER(envmon_req_card_timeout)
RECORDER(envmon_invalid_card)
RECORDER(envmon_req_chassis)
RECORDER(envmon_req_chassis_timeout)
RECORDER(envmon_invalid_chassis)
RECORDER(envmon_register)
RECORDER(envmon_register_timeout)
RECORDER(envmon_reg_ok)
RECORDER(envmon_register_failed)

namespace {

int post(void* fsa, uint32_t event) {
  switch (event) {
    case 1: return envmon_ceb_schedule_on_ev_start(fsa);
    case 2: return envmon_ceb_schedule_on_ev_connect(fsa);
    case 3: return envmon_ceb_schedule_on_ev_major_err(fsa);
    case 4: return envmon_ceb_schedule_on_ev_invalid_card(fsa);
    case 5: return envmon_ceb_schedule_on_ev_timeout(fsa);
    case 6: return envmon_ceb_schedule_on_ev_get_card_rp(fsa);
    case 7: return envmon_ceb_schedule_on_ev_get_card_lc(fsa);
    case 8: return envmon_ceb_schedule_on_ev_invalid_chassis(fsa);
    case 9: return envmon_ceb_schedule_on_ev_reg_req(fsa);
    case 10: return envmon_ceb_schedule_on_ev_reg_ok(fsa);
    case 11: return envmon_ceb_schedule_on_ev_reg_err(fsa);
    default: return -100;
  }
}

class CebDriver : public ::testing::Test {
 protected:
  void SetUp() override {
    m = machine{};
    g_machine = &m;
    g_log.clear();
    g_hook_at.clear();
    g_hook = nullptr;
    envmon_ceb_init_sm(&m, 0);
  }
  void TearDown() override { g_machine = nullptr; }
  machine m;
};

TEST_F(CebDriver, TransitionTable) {
  constexpr uint32_t INIT = ENVMON_CEB_ST_INIT, CONN = ENVMON_CEB_ST_CONNECTING,
                     CARD = ENVMON_CEB_ST_REQING_CARD, CHAS = ENVMON_CEB_ST_REQING_CHASSIS,
                     REG = ENVMON_CEB_ST_REGISTERING, OK = ENVMON_CEB_ST_REGISTERED,
                     ERR = ENVMON_CEB_ST_ERROR;
  struct Case {
    const char* name;
    uint32_t from;
    uint32_t event;
    const char* calls;
    uint32_t to;
  };
  const Case cases[] = {
      {"start", INIT, 1, "envmon_ceb_init envmon_ceb_st_connecting", CONN},
      {"connect", CONN, 2, "envmon_req_card envmon_ceb_st_reqing_card", CARD},
      {"card timeout leaves and re-enters", CARD, 5,
       "envmon_ceb_st_destroy_timer envmon_req_card_timeout envmon_ceb_st_reqing_card", CARD},
      {"invalid card", CARD, 4,
       "envmon_ceb_st_destroy_timer envmon_invalid_card envmon_ceb_st_reqing_card", CARD},
      {"card is a route processor", CARD, 6,
       "envmon_ceb_st_destroy_timer envmon_req_chassis envmon_ceb_st_reqing_chassis", CHAS},
      {"card is a line card", CARD, 7,
       "envmon_ceb_st_destroy_timer envmon_register envmon_ceb_st_registering", REG},
      {"registration request while requesting card", CARD, 9,
       "envmon_ceb_st_destroy_timer envmon_register envmon_ceb_st_registering", REG},
      {"chassis timeout", CHAS, 5,
       "envmon_ceb_st_destroy_timer envmon_req_chassis_timeout envmon_ceb_st_reqing_chassis",
       CHAS},
      {"invalid chassis", CHAS, 8,
       "envmon_ceb_st_destroy_timer envmon_invalid_chassis envmon_ceb_st_reqing_chassis", CHAS},
      {"registration request while requesting chassis", CHAS, 9,
       "envmon_ceb_st_destroy_timer envmon_register envmon_ceb_st_registering", REG},
      {"registration request while registering", REG, 9,
       "envmon_ceb_st_destroy_timer envmon_register envmon_ceb_st_registering", REG},
      {"registering timeout", REG, 5,
       "envmon_ceb_st_destroy_timer envmon_register_timeout envmon_ceb_st_registering", REG},
      {"registration ok", REG, 10, "envmon_ceb_st_destroy_timer envmon_reg_ok envmon_ceb_st_reg_ok",
       OK},
      {"registration error", REG, 11,
       "envmon_ceb_st_destroy_timer envmon_register_failed envmon_ceb_st_error", ERR},
      {"registration request when registered", OK, 9, "envmon_register envmon_ceb_st_registering",
       REG},
      {"registration request in error", ERR, 9, "envmon_register envmon_ceb_st_registering", REG},
      {"major error from init", INIT, 3, "envmon_ceb_st_error", ERR},
      {"major error from connecting", CONN, 3, "envmon_ceb_st_error", ERR},
      {"major error from requesting card", CARD, 3,
       "envmon_ceb_st_destroy_timer envmon_ceb_st_error", ERR},
      {"major error from requesting chassis", CHAS, 3,
       "envmon_ceb_st_destroy_timer envmon_ceb_st_error", ERR},
      {"major error from registering", REG, 3, "envmon_ceb_st_destroy_timer envmon_ceb_st_error",
       ERR},
      {"major error from registered", OK, 3, "envmon_ceb_st_error", ERR},
      {"major error in error", ERR, 3, "envmon_ceb_st_error", ERR},
      {"timeout when connecting is dropped", CONN, 5, "", CONN},
      {"registration request in init is dropped", INIT, 9, "", INIT},
      {"timeout when registered is dropped", OK, 5, "", OK},
      {"registration ok when requesting card is dropped", CARD, 10, "", CARD},
      {"line-card event when requesting chassis is dropped", CHAS, 7, "", CHAS},
      {"start again is dropped", CONN, 1, "", CONN},
      {"timeout in error is dropped", ERR, 5, "", ERR},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    m.sm.state = c.from;
    g_log.clear();
    EXPECT_EQ(post(&m, c.event), 0);
    EXPECT_EQ(g_log, c.calls);
    EXPECT_EQ(envmon_ceb_sm_state(&m), c.to);
  }
}

TEST_F(CebDriver, StateChangesAreLogged) {
  g_debug_log.clear();
  m.sm.state = ENVMON_CEB_ST_REGISTERING;
  EXPECT_EQ(post(&m, 5), 0);  // stays: not a change
  EXPECT_EQ(post(&m, 10), 0);
  EXPECT_EQ(g_debug_log,
            std::vector<std::string>{"card-event machine: registering -> registered (event 10)\n"});
}

TEST_F(CebDriver, InitRunsTheInitEntryOnlyWhenAsked) {
  EXPECT_EQ(m.sm.state, uint32_t{ENVMON_CEB_ST_INIT});
  EXPECT_EQ(g_log, "");
  envmon_ceb_init_sm(&m, 1);
  EXPECT_EQ(g_log, "envmon_ceb_st_init");
  EXPECT_EQ(m.sm.state, uint32_t{ENVMON_CEB_ST_INIT});
}

TEST_F(CebDriver, PostFromInsideATransitionRunsAfterIt) {
  // The invalid-card action posts major error: the transition it belongs to
  // completes (entry included) before the error transition starts.
  m.sm.state = ENVMON_CEB_ST_REQING_CARD;
  g_hook_at = "envmon_invalid_card";
  g_hook = [this] { EXPECT_EQ(post(&m, 3), 0); };
  EXPECT_EQ(post(&m, 4), 0);
  EXPECT_EQ(g_log,
            "envmon_ceb_st_destroy_timer envmon_invalid_card envmon_ceb_st_reqing_card "
            "envmon_ceb_st_destroy_timer envmon_ceb_st_error");
  EXPECT_EQ(m.sm.state, uint32_t{ENVMON_CEB_ST_ERROR});
}

TEST_F(CebDriver, PostsFromAnEntryRunInOrder) {
  // An entry that posts two events: both wait for the entry to return, then run
  // one complete transition each, in the order posted.
  m.sm.state = ENVMON_CEB_ST_REGISTERING;
  g_hook_at = "envmon_register_timeout";
  int calls = 0;
  g_hook = [this, &calls] {
    if (calls++ == 0) {
      EXPECT_EQ(post(&m, 10), 0);
      EXPECT_EQ(post(&m, 9), 0);
      EXPECT_EQ(m.sm.state, uint32_t{ENVMON_CEB_ST_REGISTERING}) << "ran re-entrantly";
    }
  };
  EXPECT_EQ(post(&m, 5), 0);
  EXPECT_EQ(g_log,
            "envmon_ceb_st_destroy_timer envmon_register_timeout envmon_ceb_st_registering "
            "envmon_ceb_st_destroy_timer envmon_reg_ok envmon_ceb_st_reg_ok "
            "envmon_register envmon_ceb_st_registering");
  EXPECT_EQ(m.sm.state, uint32_t{ENVMON_CEB_ST_REGISTERING});
}

TEST_F(CebDriver, RefusedPosts) {
  EXPECT_EQ(post(nullptr, 9), -1);
  // A full queue refuses the post and keeps what it holds.
  m.sm.state = ENVMON_CEB_ST_REGISTERED;
  g_hook_at = "envmon_register";
  int refused = 0;
  g_hook = [this, &refused] {
    g_hook = nullptr;
    for (uint32_t i = 0; i <= ENVMON_CEB_SM_QUEUE_LEN; ++i) {
      if (post(&m, 5) != 0) refused++;
    }
  };
  EXPECT_EQ(post(&m, 9), 0);
  EXPECT_EQ(refused, 1);
  EXPECT_EQ(m.sm.q_count, 0u);
  EXPECT_EQ(m.sm.running, 0u);
  EXPECT_EQ(m.sm.state, uint32_t{ENVMON_CEB_ST_REGISTERING});
}

}  // namespace

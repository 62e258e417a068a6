// For tests: wait on the loop for a condition, with a bound in real time.
#pragma once

#include "evloop.h"

// Runs the loop until done() holds or bound_ms of real time have passed.
// True when done() held. Use it for what comes from sockets or other
// processes; timers on the fake clock need sim_clock_advance_ms instead.
template <class F>
bool evloop_test_wait_for(evloop_t* loop, F done, uint32_t bound_ms = 20000) {
  return evloop_run_until(
             loop, [](void* arg) { return (*static_cast<F*>(arg))() ? 1 : 0; }, &done,
             bound_ms) == 0;
}

// The process's monotonic clock as the stand-in platform sees it. By default it
// is CLOCK_MONOTONIC; tests switch to a fake clock that only moves when they
// advance it, and every loop timer and timer tree then runs on the fake time.
#pragma once

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

// Current time in nanoseconds (monotonic, or the fake time).
uint64_t sim_clock_now_ns(void);

// Switches to the fake clock, starting at start_ns. Do this before any timer
// is started: deadlines already set keep the base they were computed in.
void sim_clock_use_fake(uint64_t start_ns);
// Back to CLOCK_MONOTONIC.
void sim_clock_use_real(void);
// Non-zero while the fake clock is in use.
int sim_clock_is_fake(void);

// Moves the fake clock forward and wakes every event loop so that timers that
// became due run (on their loops). No effect on the real clock.
void sim_clock_advance_ns(uint64_t ns);
void sim_clock_advance_ms(uint64_t ms);

// Called after every advance; the event loop registers itself here.
// Returns an id for sim_clock_remove_listener, 0 on failure.
uint64_t sim_clock_add_listener(void (*fn)(void* arg), void* arg);
void sim_clock_remove_listener(uint64_t id);

#ifdef __cplusplus
}
#endif

// The event loop: one per thread, on epoll. It serves file descriptors (level
// triggered), its own timers, attached timer trees and deferred work items.
// Timers and trees run on the sim clock (sim_clock.h), so tests can move time
// without sleeping.
//
// The transport's handles are attached with evloop_attach_msgpipe_handle,
// declared in msgpipe.h next to the handle type.
#pragma once

#include <stdint.h>

#include "mtimer.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef struct evloop evloop_t;

// Event bits of evloop_attach_fd and of the fd handler.
#define EVLOOP_FD_READABLE 0x2u
#define EVLOOP_FD_WRITABLE 0x4u
#define EVLOOP_FD_ERROR 0x8u  // error or hang-up; always reported

typedef void (*evloop_fd_handler_t)(int fd, uint32_t events, void* ctx);
typedef int (*evloop_tree_expiry_t)(mtimer_tree_t* tree, void* ctx);
typedef void (*evloop_item_fn_t)(void* arg);

// A new loop named `name` (for traces), or null. The first loop created on a
// thread becomes that thread's current loop. flags: reserved (0).
evloop_t* evloop_create(const char* name, uint32_t flags = 0);
// Runs the delayed items still queued (deferred frees), then frees the loop.
// It closes its own descriptors, not the attached ones. Call it on the loop's
// thread, not from inside the loop, after the transport handles attached to
// it have been destroyed.
void evloop_destroy(evloop_t* loop);
const char* evloop_get_name(const evloop_t* loop);
// The loop created on (or running on) the calling thread, or null.
evloop_t* evloop_current(void);

// Runs the loop until evloop_stop. Returns 0 when stopped, -1 for a null loop.
// flags: reserved (0).
int evloop_block(evloop_t* loop, uint32_t flags = 0);
// Makes evloop_block return after the event being handled. Any thread.
void evloop_stop(evloop_t* loop);
// Wakes the loop from its wait so that it looks at its timers again. Any thread.
void evloop_wake(evloop_t* loop);

// One pass: waits at most timeout_ms (0: do not wait, -1: no bound) for
// something to do, then handles what is ready. Returns the number of handlers
// run (fd handlers, timers, tree expiries, delayed items), -1 on error.
int evloop_run_once(evloop_t* loop, int timeout_ms);
// Passes without waiting until a pass runs nothing. Returns the handlers run.
int evloop_run_until_idle(evloop_t* loop);
// Runs passes until done(arg) is non-zero or bound_ms of real time have
// passed. 0 when done, -1 when the bound was reached first. For tests and
// tools that wait on something that comes from another process.
int evloop_run_until(evloop_t* loop, int (*done)(void* arg), void* arg, uint32_t bound_ms);

// Attaches fd: handler(fd, events, ctx) is called on the loop while the fd is
// in one of the states in `events` (level triggered). Attaching an attached fd
// again replaces its handler, events and ctx; attaching it with a null handler
// and events 0 detaches it. flags, priority and reserved are not used.
// 0 on success, negative on failure (bad fd, epoll refused it, unknown fd to
// detach). Any thread; a detach from a handler takes effect at once.
int evloop_attach_fd(evloop_t* loop, int fd, uint32_t flags, evloop_fd_handler_t handler,
                     uint32_t events, uint32_t priority, void* ctx, uint32_t reserved);

// Attaches a timer tree: expiry(tree, ctx) is called on the loop whenever one
// of its leaves is due, and again on the next pass while due leaves remain.
// One loop per tree; attaching again replaces the expiry function. Freeing the
// tree detaches it. 0 on success, negative on failure.
int evloop_attach_tree_timer(evloop_t* loop, mtimer_tree_t* tree, evloop_tree_expiry_t expiry,
                             void* ctx = nullptr, uint32_t a5 = 0, uint32_t a6 = 0,
                             uint32_t a7 = 0);
int evloop_detach_tree_timer(evloop_t* loop, mtimer_tree_t* tree);

// Queues fn(arg) to run on the loop after the event being handled has been
// handled completely (or on the next pass when called outside any handler).
// Items run in the order queued. Any thread. 0 when queued, negative if not.
int evloop_delayed_ev_item_enqueue(evloop_t* loop, evloop_item_fn_t fn, void* arg);

// One-shot loop timers: fn(arg) runs on the loop delay_ms after now on the sim
// clock. Returns an id (never 0) for evloop_timer_cancel, 0 on failure.
uint64_t evloop_timer_start(evloop_t* loop, uint64_t delay_ms, evloop_item_fn_t fn, void* arg);
// Cancels a timer that has not run. 0 when cancelled, -1 when unknown or run.
int evloop_timer_cancel(evloop_t* loop, uint64_t id);

// Test hooks for descriptors the loop cannot time itself. Product code makes
// its own timerfds (timerfd_create/timerfd_settime) and attaches them; those
// follow the real clock, not the fake one. A test lists the attached timerfds
// that are armed and fires one as if it had expired.
//
// Fills fds with up to max attached timerfds that are armed; returns how many
// there are (may exceed max).
int evloop_test_armed_timerfds(evloop_t* loop, int* fds, int max);
// Calls the handler attached for fd once with `events`, on the calling thread
// (which must be the loop's), followed by the delayed items, as a pass would.
// 0 when a handler ran, -1 when fd is not attached.
int evloop_test_fire_fd(evloop_t* loop, int fd, uint32_t events);

#ifdef __cplusplus
}
#endif

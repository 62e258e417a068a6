// Timer trees: a tree groups one-shot leaves; the event loop the tree is
// attached to (evloop_attach_tree_timer) calls the tree's expiry function when
// a leaf is due, and that function takes the due leaves one by one with
// mtimer_tree_first_expired. Time is the sim clock (sim_clock.h).
//
// A tree may be used from several threads; the expiry function runs on the
// thread of the loop it is attached to.
#pragma once

#include <stdbool.h>
#include <stdint.h>
#include <sys/time.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct mtimer_tree mtimer_tree_t;
typedef struct mtimer_leaf mtimer_leaf_t;

// A new tree, or null when out of memory. Both arguments are reserved (0).
mtimer_tree_t* mtimer_tree_new(uint32_t flags = 0, void* reserved = nullptr);
// Frees the tree and every leaf still in it, and detaches it from its loop.
// Leaf pointers of the tree are invalid afterwards.
void mtimer_tree_free(mtimer_tree_t* tree);

// A new stopped leaf of the tree, with a type and a context readable in the
// expiry function. The parent is kept for the caller's bookkeeping only (the
// leaf is always timed on its own). Null when the tree is null or out of memory.
mtimer_leaf_t* mtimer_leaf_new(mtimer_tree_t* tree, mtimer_leaf_t* parent, uint32_t type,
                               void* context);
// Stops and frees the leaf. Null is ignored.
void mtimer_leaf_free(mtimer_leaf_t* leaf);

// Starts the one-shot leaf to expire after `after` (seconds and microseconds);
// a running leaf is re-armed from now. A non-null ctx replaces the leaf's
// context. 0 on success, -1 for a null leaf or time value, or a negative time.
int mtimer_leaf_start(mtimer_leaf_t* leaf, const struct timeval* after, void* ctx = nullptr);
// Stops the leaf (an expired leaf not yet taken is dropped too). 0, or -1 for null.
int mtimer_leaf_stop(mtimer_leaf_t* leaf);
// True from start until the leaf is stopped or taken by mtimer_tree_first_expired.
bool mtimer_leaf_running(const mtimer_leaf_t* leaf);
// Whole seconds (rounded up) until the leaf expires; 0 when it is not running.
int32_t mtimer_leaf_remaining(const mtimer_leaf_t* leaf);

uint32_t mtimer_leaf_get_type(const mtimer_leaf_t* leaf);
void* mtimer_leaf_get_context(const mtimer_leaf_t* leaf);
mtimer_leaf_t* mtimer_leaf_get_parent(const mtimer_leaf_t* leaf);
mtimer_tree_t* mtimer_leaf_get_tree(const mtimer_leaf_t* leaf);

// The due leaf that expires first (ties in the order they were started), or
// null when none is due. The leaf stops running: leaves are one-shot, so
// calling this in a loop takes every due leaf once, in expiry order.
mtimer_leaf_t* mtimer_tree_first_expired(mtimer_tree_t* tree);

// For the event loop: the earliest expiry of the tree's running leaves in sim
// clock nanoseconds; false when no leaf runs.
bool mtimer_tree_next_expiry_ns(mtimer_tree_t* tree, uint64_t* when_ns);
// For the event loop: called (from the thread that changed the tree) whenever
// a leaf is started, and with freed = 1 when the tree is being freed. One hook
// per tree; null clears it.
typedef void (*mtimer_tree_hook_t)(mtimer_tree_t* tree, void* arg, int freed);
void mtimer_tree_set_hook(mtimer_tree_t* tree, mtimer_tree_hook_t hook, void* arg);

#ifdef __cplusplus
}
#endif

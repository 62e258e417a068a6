// Statistics registration: a process registers tables of named counters; the
// service hands back a block of five u32 words per counter (value first) that
// the process increments in place, and keeps the definitions it was given.
#pragma once

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct ship_counter_def {
  const char* name;
  uint32_t value;
} ship_counter_def;

#define SHIP_WORDS_PER_COUNTER 5

#define SHIP_OK 0
#define SHIP_ERR_ARG 22      // null or empty argument, no counters
#define SHIP_ERR_EXISTS 17   // (application, group, table) already registered
#define SHIP_ERR_NO_MEMORY 12

// Registers `count` counters of `defs` as table `table` of `group` for
// application `app`; kind 1 operational, 11 error. `flags` is reserved.
// SHIP_OK and *handle = the counter block; otherwise *handle is left alone.
int ship_register(const char* group, const char* table, const char* app, uint32_t kind,
                  uint32_t flags, ship_counter_def* defs, uint32_t count, uint32_t** handle);

// Value of counter `name` of a registered table, or -1 when unknown.
int64_t ship_get_counter(const char* app, const char* group, const char* table,
                         const char* name);
// Forgets every registration (the blocks stay allocated for their holders).
void ship_reset(void);
// Makes the next registrations of `table` answer `rc` (0 stops it).
void ship_test_refuse_table(const char* table, int rc);

#ifdef __cplusplus
}
#endif

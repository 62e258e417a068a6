// What the source modules of envcore share and do not export.
#pragma once

#include <stdint.h>

#include "envmon_core.h"

#include <stddef.h>

// calloc for the core's records; a test can make the nth next call fail
// (envcore_test_fail_calloc, exported for tests only).
void* envmon_calloc(size_t n, size_t size);
extern "C" void envcore_test_fail_calloc(int nth);

// Writes "%s:%d - exiting()\n" with the function and line to the debug log by
// the mirroring rule and ends the process with `status`.
[[noreturn]] void envmon_exit_at(const char* func, int line, int status);

// The same file descriptor rule as the mirroring, for the dumps: each line to
// env_dump_fd, else to env_fd with the ctime prefix, else dropped; flushed.
// (envmon_debug_log in envmon_core.h.)

// Number of usable entries in a table sized by a platform limit, 0 when the
// table does not exist.
template <typename T>
inline uint32_t envmon_table_count(const T* table, uint32_t limit) {
  return table ? limit : 0;
}

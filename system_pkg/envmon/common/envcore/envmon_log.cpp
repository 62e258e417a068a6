// The small routines every module of the core uses: component number, the
// debug-log timestamp, the white-box cluster test, mirroring to the debug log.
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <time.h>
#include <unistd.h>

#include "envcore_private.h"
#include "simpaths.h"

namespace {
constexpr char kWhiteboxCluster[] = "/etc/onl/whitebox_cluster";
constexpr char kExiting[] = "%s:%d - exiting()\n";
}  // namespace

extern "C" {

uint32_t envmon_component_id(void) { return static_cast<uint32_t>(ENVMON_COMPONENT_ID); }

void envmon_log_timestamp(void) {
  if (!env_fd) return;
  time_t now = time(nullptr);
  char text[32];
  if (!ctime_r(&now, text)) return;
  fprintf(env_fd, "%.24s ", text);  // ctime's 24 characters, without the newline
}

bool envmon_is_whitebox_cluster(void) {
  char path[512];
  if (!sim_path(kWhiteboxCluster, path, sizeof(path))) return false;
  return access(path, F_OK) == 0;
}

void envmon_debug_log(const char* fmt, ...) {
  FILE* out = env_dump_fd;
  if (!out) {
    if (!env_fd) return;
    envmon_log_timestamp();
    out = env_fd;
  }
  va_list ap;
  va_start(ap, fmt);
  vfprintf(out, fmt, ap);
  va_end(ap);
  fflush(out);
}

}  // extern "C"

void envmon_exit_at(const char* func, int line, int status) {
  envmon_debug_log(kExiting, func, line);
  exit(status);
}

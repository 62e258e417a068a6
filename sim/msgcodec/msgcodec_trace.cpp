// Writes the codec's fault lines to its trace buffer, opened on first use.
#include "msgcodec_trace.h"

#include <cstdarg>
#include <cstdio>
#include <mutex>

#include "tlg.h"

namespace {
tlg_handle_t trace_buffer() {
  static std::once_flag once;
  static tlg_handle_t handle = nullptr;
  std::call_once(once, [] {
    tlg_open_internal(&handle, kMsgcodecTraceBuffer, 0, 0, "./sim/msgcodec", "", nullptr);
  });
  return handle;
}
}  // namespace

void msgcodec_trace(const char* fmt, ...) {
  char line[512];
  va_list ap;
  va_start(ap, fmt);
  std::vsnprintf(line, sizeof line, fmt, ap);
  va_end(ap);
  tlg_internal(trace_buffer(), "%s", line);
}

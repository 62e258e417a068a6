// A hardware abstraction whose start fails, for the host test: everything
// else it would provide is answered by the stand-in library.
#include <stdint.h>

struct evloop;

extern "C" uint64_t envmon_hal_capi_platform_driver_init(struct evloop*) {
  return 0x401014deca100806ULL;  // out of memory
}

// Allocation of the core's records, with a failure a test can arm to show
// what the start-up functions do when memory runs out.
#include <stdlib.h>

#include <atomic>

#include "envcore_private.h"

namespace {
std::atomic<int> fail_countdown{-1};
}

void* envmon_calloc(size_t n, size_t size) {
  int c = fail_countdown.load();
  while (c >= 0) {
    if (fail_countdown.compare_exchange_weak(c, c - 1)) {
      if (c == 0) return nullptr;
      break;
    }
  }
  return calloc(n, size);
}

extern "C" void envcore_test_fail_calloc(int nth) { fail_countdown.store(nth); }

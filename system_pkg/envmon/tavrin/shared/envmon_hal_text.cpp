// Bounded text copies of the hardware abstraction.
#include <cstring>

extern "C" {
#include <safe_str_lib.h>
}

#include "envhal_private.h"

namespace envhal {

void copy_text(char* dst, size_t cap, const char* src) {
  if (dst == nullptr || cap == 0) return;
  const size_t len = src != nullptr ? strnlen(src, cap - 1) : 0;
  if (len == 0) {
    dst[0] = '\0';
    return;
  }
  strncpy_s(dst, cap, src, len);
}

}  // namespace envhal

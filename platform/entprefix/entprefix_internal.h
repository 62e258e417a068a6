// What the entprefix sources share.
#pragma once

#include <cstddef>
#include <cstring>
#include <string_view>

extern "C" {
#include <safe_str_lib.h>
}

#include "entprefix.h"

namespace entprefix {

// Copies `s` into a zeroed field of `cap` bytes; false when it does not fit
// with its terminator.
inline bool put(char* field, size_t cap, std::string_view s) {
  if (s.size() >= cap) return false;
  if (!s.empty()) strncpy_s(field, cap, s.data(), s.size());
  return true;
}

// Appends `s` to the terminated text in `field`; false when it does not fit.
inline bool append(char* field, size_t cap, std::string_view s) {
  const size_t used = strnlen(field, cap);
  if (used >= cap || s.size() >= cap - used) return false;
  memcpy(field + used, s.data(), s.size());
  field[used + s.size()] = '\0';
  return true;
}

// The prefix without its '-' has to fit its own 32-byte field.
inline bool set_prefix_from_dash_form(platform_prefix_names* out) {
  const size_t len = strnlen(out->prefix_with_dash, sizeof out->prefix_with_dash);
  if (len == 0) return false;
  return put(out->prefix, sizeof out->prefix, std::string_view(out->prefix_with_dash, len - 1));
}

}  // namespace entprefix

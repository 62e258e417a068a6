// Entity ids as text for trace lines, in a buffer that lives as long as the
// expression that uses it.
#pragma once

#include <array>

#include "envmon_core.h"

namespace envmon {

using eid_text_buf = std::array<char, ENVMON_EID_STR_LEN>;

inline eid_text_buf eid_text(const pelm_eid& eid) {
  eid_text_buf buf{};
  envmon_dump_pelm_eid_to_string(&eid, buf.data());
  return buf;
}

inline eid_text_buf inv_eid_text(const inv_eid* eid) {
  eid_text_buf buf{};
  if (eid != nullptr) envmon_dump_inv_eid_to_string(eid, buf.data());
  return buf;
}

}  // namespace envmon

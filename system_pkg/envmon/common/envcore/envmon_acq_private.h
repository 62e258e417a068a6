// Small helpers of the driver, fault-manager, failure-log and FPD modules of
// the core: bounded text copies, entity ids that release their levels, and
// entity-id texts for traces.
#pragma once

#include <stddef.h>
#include <string.h>

#include "envcore_private.h"
#include "envmon_core.h"

extern "C" {
#include <safe_str_lib.h>
}

namespace envmon_acq {

// Copies at most room - 1 characters of src (null: empty) and terminates dst.
inline void copy_text(char* dst, size_t room, const char* src) {
  if (!dst || room == 0) return;
  const char* s = src ? src : "";
  const size_t n = strnlen(s, room - 1);
  if (n == 0 || strncpy_s(dst, room, s, n) != EOK) dst[0] = '\0';
}

// A pelm entity id whose levels are released when it goes out of scope.
struct OwnedEid {
  pelm_eid eid{};
  OwnedEid() = default;
  OwnedEid(const OwnedEid&) = delete;
  OwnedEid& operator=(const OwnedEid&) = delete;
  ~OwnedEid() { envmon_free_tsi(&eid); }
};

// Text of an entity id for traces.
struct EidText {
  char text[ENVMON_EID_STR_LEN];
  explicit EidText(const pelm_eid* eid) { envmon_dump_pelm_eid_to_string(eid, text); }
  explicit EidText(const inv_eid* eid) { envmon_dump_inv_eid_to_string(eid, text); }
};

}  // namespace envmon_acq

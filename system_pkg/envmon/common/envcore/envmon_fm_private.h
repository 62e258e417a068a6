// What the fault-manager modules of the core share: the scope mapping, the
// chassis list that decides the backplane numbering, and a scoped entity id.
#pragma once

#include <stdint.h>

#include "alarmd.h"
#include "envcore_private.h"
#include "envmon_acq_private.h"
#include "envmon_fm.h"

namespace envmon_fm {

// Scope 3 is the node entry (index 0, alarm scope 3); any other value is the
// rack entry (index 1, alarm scope 1).
inline uint32_t index_of(int64_t scope) { return scope == ENVMON_SCOPE_NODE ? 0 : 1; }
inline int32_t alarm_scope_of(int64_t scope) {
  return scope == ENVMON_SCOPE_NODE ? ENVMON_SCOPE_NODE : ENVMON_SCOPE_RACK;
}
inline bool ready(uint32_t idx) {
  return envmon_fm_cb[idx].handle != nullptr && envmon_fm_cb[idx].state == 1;
}

// 1 when the chassis type is not one of the listed chassis, whose backplane
// slots the node-id library numbers the other way.
int32_t unlisted_chassis_flag();

// The inventory-form container of this card: the route-processor container
// when this card sits in a route-processor slot, else its own container.
bool node_container(inv_eid* out);

// Frees the pending list without completing it.
void pending_clear();

using envmon_acq::EidText;
using envmon_acq::OwnedEid;

}  // namespace envmon_fm

// For tests: forgets the registrations, the pending list, the resync timer and
// that the fault-manager library was initialised.
extern "C" void envmon_fm_test_forget(void);

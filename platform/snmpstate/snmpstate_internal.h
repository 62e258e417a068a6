// What the snmpstate sources share: the state lists by number, the mapping
// table and the reader of an entity id's last level.
#pragma once

#include <cstdint>

#include "snmpstate.h"

namespace snmpstate {

// State lists by number: 1 module admin, 2 module oper, 3 power admin, 4 power
// oper, 5 special-card power oper, 6 sensor status, 7 fan-tray oper, 8 reset
// reason, 9 and 10 module admin and oper of class 2.
const taavrin_snmpsu_state* state_list(int number);

extern const taavrin_snmpsu_mapping kMappingTable[];

// Level count and the type/subtype of the last level of an inventory entity id.
struct LastLevel {
  uint8_t type;
  uint8_t subtype;
};

// The inventory form holds at most this many levels in its 70 bytes.
constexpr uint8_t kMaxLevels = 16;

// SNMPSTATE_EINVAL for a null id, no levels, or more levels than the form
// holds (so that a bad count never leads the read past the 70 bytes).
int read_last_level(const void* eid, LastLevel* out);

constexpr bool is_special_card(const LastLevel& l) {
  return l.type == 6 && (l.subtype == 1 || l.subtype == 2 || l.subtype == 3);
}

}  // namespace snmpstate

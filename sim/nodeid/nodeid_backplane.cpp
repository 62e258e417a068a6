// Backplane slot numbering of the chassis: which unit sits in which slot.
#include <array>

#include "nodeid_internal.h"

using namespace nodeid_detail;

namespace {

struct SlotRange {
  int32_t first;
  int32_t count;
  int32_t slot_type;
};

constexpr std::array<SlotRange, 9> kBackplane = {{
    {0, 2, NODEID_SLOT_RP},
    {2, 2, NODEID_SLOT_SC},
    {4, 6, NODEID_SLOT_FC},
    {10, 16, NODEID_SLOT_LC},
    {26, 4, NODEID_SLOT_SW},
    {30, 4, NODEID_SLOT_PT},
    {34, 1, NODEID_SLOT_CI},
    {41, 6, NODEID_SLOT_FT},
    {48, 16, NODEID_SLOT_PM},
}};

}  // namespace

extern "C" int interpret_backplane_slotid(int32_t bp_slot, int32_t rack_type, int32_t* pi_slot,
                                          int32_t* slot_type, int32_t* slot_num) {
  if (rack_type < 0 || rack_type > NODEID_MAX_RACK_TYPE) return NODEID_EINVAL;
  for (const auto& r : kBackplane) {
    if (bp_slot < r.first || bp_slot - r.first >= r.count) continue;
    const int32_t num = bp_slot - r.first;
    if (pi_slot != nullptr) *pi_slot = (r.slot_type << 8) | num;
    if (slot_type != nullptr) *slot_type = r.slot_type;
    if (slot_num != nullptr) *slot_num = num;
    return NODEID_OK;
  }
  return NODEID_EINVAL;
}

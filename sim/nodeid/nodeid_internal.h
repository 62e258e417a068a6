// What the node-id sources share: the record behind nodeid_td and the field checks.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

#include "nodeid.h"

struct nodeid_rec {
  uint32_t magic;
  int32_t rack_type;
  int32_t rack_num;
  int32_t slot_type;
  int32_t slot_num;  // -1: none
  int32_t instance;
};

namespace nodeid_detail {

constexpr uint32_t kMagic = 0x4e4f4445;  // "NODE"
constexpr int32_t kNoSlotNum = -1;
constexpr uint32_t kSlotNumNone = 0xff;  // -1 inside a platform slot

// External name of each slot type, indexed by type; the line card has none.
constexpr std::array<std::string_view, 9> kSlotNames = {"", "RP", "SC", "FC", "SW",
                                                        "PT", "FT", "PM", "CI"};

constexpr bool rack_fields_ok(int32_t rack_type, int32_t rack_num) {
  return rack_type >= 0 && rack_type <= NODEID_MAX_RACK_TYPE && rack_num >= 0 &&
         rack_num <= NODEID_MAX_RACK_NUM;
}

constexpr bool slot_fields_ok(int32_t slot_type, int32_t slot_num) {
  if (slot_type < 0 || static_cast<size_t>(slot_type) >= kSlotNames.size()) return false;
  if (slot_num == kNoSlotNum) return slot_type != NODEID_SLOT_LC;
  return slot_num >= 0 && slot_num <= NODEID_MAX_SLOT_NUM;
}

constexpr bool instance_ok(int32_t instance) {
  return instance >= 0 && instance <= NODEID_MAX_INSTANCE;
}

bool record_ok(const nodeid_rec* rec);

// Allocates a record of checked fields; NODEID_ENOMEM when calloc fails.
int make_record(int32_t rack_type, int32_t rack_num, int32_t slot_type, int32_t slot_num,
                int32_t instance, nodeid_td* out);

}  // namespace nodeid_detail

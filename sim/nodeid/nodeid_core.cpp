// Creation, copy, checks and field access of node ids and rack ids.
#include <cstdlib>

#include "nodeid_internal.h"

namespace nodeid_detail {

bool record_ok(const nodeid_rec* rec) {
  return rec != nullptr && rec->magic == kMagic && rack_fields_ok(rec->rack_type, rec->rack_num) &&
         slot_fields_ok(rec->slot_type, rec->slot_num) && instance_ok(rec->instance);
}

int make_record(int32_t rack_type, int32_t rack_num, int32_t slot_type, int32_t slot_num,
                int32_t instance, nodeid_td* out) {
  if (out == nullptr || !rack_fields_ok(rack_type, rack_num) ||
      !slot_fields_ok(slot_type, slot_num) || !instance_ok(instance)) {
    return NODEID_EINVAL;
  }
  auto* rec = static_cast<nodeid_rec*>(calloc(1, sizeof(nodeid_rec)));
  if (rec == nullptr) return NODEID_ENOMEM;
  *rec = {kMagic, rack_type, rack_num, slot_type, slot_num, instance};
  *out = rec;
  return NODEID_OK;
}

}  // namespace nodeid_detail

using namespace nodeid_detail;

namespace {

// Splits a rack id; false when it is not one this library makes.
bool split_rack(uint32_t rack, int32_t* rack_type, int32_t* rack_num) {
  if (rack > ((static_cast<uint32_t>(NODEID_MAX_RACK_TYPE) << 8) | 0xffu)) return false;
  *rack_type = static_cast<int32_t>(rack >> 8);
  *rack_num = static_cast<int32_t>(rack & 0xffu);
  return rack_fields_ok(*rack_type, *rack_num);
}

bool split_pi_slot(int32_t pi_slot, int32_t* slot_type, int32_t* slot_num) {
  if (pi_slot < 0 || pi_slot > 0xffff) return false;
  const auto raw = static_cast<uint32_t>(pi_slot);
  *slot_type = static_cast<int32_t>(raw >> 8);
  const uint32_t num = raw & 0xffu;
  *slot_num = num == kSlotNumNone ? kNoSlotNum : static_cast<int32_t>(num);
  return slot_fields_ok(*slot_type, *slot_num);
}

uint32_t rack_id_of(const nodeid_rec* rec) {
  return (static_cast<uint32_t>(rec->rack_type) << 8) | static_cast<uint32_t>(rec->rack_num);
}

int32_t pi_slot_of(const nodeid_rec* rec) {
  const uint32_t num = rec->slot_num == kNoSlotNum ? kSlotNumNone : static_cast<uint32_t>(rec->slot_num);
  return static_cast<int32_t>((static_cast<uint32_t>(rec->slot_type) << 8) | num);
}

}  // namespace

extern "C" {

int nodeid_rack_create(int32_t rack_type, int32_t rack_num, uint32_t* rack) {
  if (rack == nullptr || !rack_fields_ok(rack_type, rack_num)) return NODEID_EINVAL;
  *rack = (static_cast<uint32_t>(rack_type) << 8) | static_cast<uint32_t>(rack_num);
  return NODEID_OK;
}

int nodeid_extract_rack_fields(uint32_t rack, int32_t* rack_type, int32_t* rack_num) {
  int32_t type = 0;
  int32_t num = 0;
  if (!split_rack(rack, &type, &num)) return NODEID_EINVAL;
  if (rack_type != nullptr) *rack_type = type;
  if (rack_num != nullptr) *rack_num = num;
  return NODEID_OK;
}

int nodeid_create(uint32_t rack, int32_t pi_slot, int32_t instance, nodeid_td* out) {
  int32_t rack_type = 0;
  int32_t rack_num = 0;
  int32_t slot_type = 0;
  int32_t slot_num = 0;
  if (!split_rack(rack, &rack_type, &rack_num) || !split_pi_slot(pi_slot, &slot_type, &slot_num)) {
    return NODEID_EINVAL;
  }
  return make_record(rack_type, rack_num, slot_type, slot_num, instance, out);
}

int nodeid_create2(int32_t rack_type, int32_t rack_num, int32_t slot_type, int32_t slot_num,
                   int32_t instance, nodeid_td* out) {
  return make_record(rack_type, rack_num, slot_type, slot_num, instance, out);
}

int nodeid_create0(nodeid_td src, nodeid_td* copy) {
  if (!record_ok(src)) return NODEID_EINVAL;
  return make_record(src->rack_type, src->rack_num, src->slot_type, src->slot_num, src->instance,
                     copy);
}

void nodeid_destroy(nodeid_td node) {
  if (node == nullptr) return;
  node->magic = 0;  // a stale pointer then fails every check instead of passing
  free(node);
}

int nodeid_validate(nodeid_td node) { return record_ok(node) ? NODEID_OK : NODEID_EINVAL; }

int nodeid_compare(nodeid_td a, nodeid_td b) {
  if (a == b) return 0;
  if (a == nullptr) return -1;
  if (b == nullptr) return 1;
  const std::array<int32_t, 5> ka = {a->rack_type, a->rack_num, a->slot_type, a->slot_num, a->instance};
  const std::array<int32_t, 5> kb = {b->rack_type, b->rack_num, b->slot_type, b->slot_num, b->instance};
  if (ka < kb) return -1;
  if (kb < ka) return 1;
  return 0;
}

int nodeid_extract_fields(nodeid_td node, uint32_t* rack, int32_t* pi_slot) {
  if (!record_ok(node)) return NODEID_EINVAL;
  if (rack != nullptr) *rack = rack_id_of(node);
  if (pi_slot != nullptr) *pi_slot = pi_slot_of(node);
  return NODEID_OK;
}

int nodeid_extract_fields2(nodeid_td node, int32_t* rack_type, int32_t* rack_num,
                           int32_t* slot_type, int32_t* slot_num, int32_t* instance) {
  if (!record_ok(node)) return NODEID_EINVAL;
  if (rack_type != nullptr) *rack_type = node->rack_type;
  if (rack_num != nullptr) *rack_num = node->rack_num;
  if (slot_type != nullptr) *slot_type = node->slot_type;
  if (slot_num != nullptr) *slot_num = node->slot_num;
  if (instance != nullptr) *instance = node->instance;
  return NODEID_OK;
}

// Word layout: bits 0-7 rack type, 8-15 rack number, 16-31 platform slot, 32-47 instance.
int nodeid_pack(nodeid_td node, uint64_t* word) {
  if (word == nullptr || !record_ok(node)) return NODEID_EINVAL;
  *word = static_cast<uint64_t>(node->rack_type) |
          (static_cast<uint64_t>(node->rack_num) << 8) |
          (static_cast<uint64_t>(static_cast<uint32_t>(pi_slot_of(node))) << 16) |
          (static_cast<uint64_t>(node->instance) << 32);
  return NODEID_OK;
}

int nodeid_unpack(uint64_t word, nodeid_td* out) {
  if (out == nullptr || (word >> 48) != 0) return NODEID_EINVAL;
  const auto rack_type = static_cast<int32_t>(word & 0xffu);
  const auto rack_num = static_cast<int32_t>((word >> 8) & 0xffu);
  int32_t slot_type = 0;
  int32_t slot_num = 0;
  if (!split_pi_slot(static_cast<int32_t>((word >> 16) & 0xffffu), &slot_type, &slot_num)) {
    return NODEID_EINVAL;
  }
  return make_record(rack_type, rack_num, slot_type, slot_num,
                     static_cast<int32_t>((word >> 32) & 0xffffu), out);
}

}  // extern "C"

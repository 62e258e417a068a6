// Building the name record of an entity location.
#include <cstdio>

#include "entprefix_internal.h"
#include "nodeid.h"

using entprefix::append;
using entprefix::put;
using entprefix::set_prefix_from_dash_form;

namespace {

constexpr int32_t kUnset = -1;
// The node-id library's slot type for a location that names no slot.
constexpr int32_t kDefaultSlot = 5;

const char* level_kind_name(int32_t kind) {
  switch (kind) {
    case PLATFORM_LEVEL_PM:
      return "PM";
    case PLATFORM_LEVEL_SPA:
      return "SPA";
    case PLATFORM_LEVEL_PORT:
      return "PORT";
    default:
      return "UNKNOWN";
  }
}

int refuse(platform_prefix_names* out, int rc) {
  memset(out, 0, sizeof *out);
  return rc;
}

int create_rack_prefix(const platform_fru_entity* loc, platform_prefix_names* out) {
  uint32_t rack = 0;
  int rc = nodeid_rack_create(loc->chassis_class, loc->rack, &rack);
  if (rc != NODEID_OK) return refuse(out, rc);
  rc = nodeid_RACK_to_str_external(rack, out->first_part, sizeof out->first_part);
  if (rc != NODEID_OK) return refuse(out, rc);
  if (!append(out->prefix_with_dash, sizeof out->prefix_with_dash, "Rack ") ||
      !append(out->prefix_with_dash, sizeof out->prefix_with_dash, out->first_part) ||
      !append(out->prefix_with_dash, sizeof out->prefix_with_dash, "-") ||
      !set_prefix_from_dash_form(out)) {
    return refuse(out, ENTPREFIX_EINVAL);
  }
  out->marker_count = 0;
  return ENTPREFIX_OK;
}

}  // namespace

extern "C" {

void platform_fru_entity_init(platform_fru_entity* loc) {
  if (loc == nullptr) return;
  loc->chassis_class = kUnset;
  loc->rack = kUnset;
  loc->slot = kUnset;
  loc->sub_slot = kUnset;
  loc->bp_slot_id = kUnset;
  loc->level_count = 0;
  for (int i = 0; i < PLATFORM_MAX_LEVELS; ++i) {
    loc->level_kind[i] = 0;
    loc->level_index[i] = kUnset;
  }
}

int platform_create_prefix(const platform_fru_entity* loc, platform_prefix_names* out) {
  if (loc == nullptr || out == nullptr || loc->chassis_class == kUnset || loc->rack == kUnset ||
      loc->level_count > PLATFORM_MAX_LEVELS) {
    return ENTPREFIX_EINVAL;
  }
  memset(out, 0, sizeof *out);
  if (loc->slot == kUnset && loc->sub_slot == kUnset && loc->bp_slot_id == kUnset) {
    return create_rack_prefix(loc, out);
  }

  int32_t slot = kDefaultSlot;
  int32_t sub_slot = kUnset;
  if (loc->slot != kUnset && loc->sub_slot != kUnset) {
    slot = loc->slot;
    sub_slot = loc->sub_slot;
  } else if (loc->bp_slot_id != kUnset) {
    const int rc =
        interpret_backplane_slotid(loc->bp_slot_id, loc->chassis_class, nullptr, &slot, &sub_slot);
    if (rc != NODEID_OK) return refuse(out, rc);
  }

  nodeid_td node = nullptr;
  int rc = nodeid_create2(loc->chassis_class, loc->rack, slot, sub_slot, 0, &node);
  if (rc != NODEID_OK) return refuse(out, rc);
  rc = nodeid_to_str_external(node, out->first_part, sizeof out->first_part);
  nodeid_destroy(node);
  if (rc != NODEID_OK) return refuse(out, rc);
  if (!append(out->prefix_with_dash, sizeof out->prefix_with_dash, out->first_part) ||
      !append(out->prefix_with_dash, sizeof out->prefix_with_dash, "-")) {
    return refuse(out, ENTPREFIX_EINVAL);
  }

  char* const level_names[PLATFORM_MAX_LEVELS] = {out->second_part, out->third_part};
  uint8_t made = 0;
  for (int i = 0; i < loc->level_count; ++i) {
    const int32_t index = loc->level_index[i];
    if (index == kUnset) continue;
    // A negative index would put a '-' inside the level name and break the
    // name's split.
    if (index < 0) return refuse(out, ENTPREFIX_EINVAL);
    char name[PLATFORM_NAME_LEN];
    const int n = snprintf(name, sizeof name, "%s%d", level_kind_name(loc->level_kind[i]), index);
    if (n < 0 || !put(level_names[made], PLATFORM_NAME_LEN, name) ||
        !append(out->prefix_with_dash, sizeof out->prefix_with_dash, name) ||
        !append(out->prefix_with_dash, sizeof out->prefix_with_dash, "-")) {
      return refuse(out, ENTPREFIX_EINVAL);
    }
    ++made;
  }
  if (!set_prefix_from_dash_form(out)) return refuse(out, ENTPREFIX_EINVAL);
  out->marker_count = made;
  return ENTPREFIX_OK;
}

}  // extern "C"

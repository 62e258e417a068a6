// Entity-id helpers of the inventory service: conversions between the pelm
// form (levels in an allocated array) and the fixed 70-byte inventory form,
// copies, merges, comparison and text.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "inv_util.h"

namespace {

constexpr int kFail = -1;

bool level_fits(const pelm_tsi& l) {
  return l.type <= 0xff && l.subtype <= 0xff && l.instance <= 0xffff;
}

}  // namespace

extern "C" {

pelm_eid* inv_util_alloc_pelm_eid(uint32_t count) {
  if (count == 0) return nullptr;
  return static_cast<pelm_eid*>(calloc(count, sizeof(pelm_eid)));
}

void inv_util_free_pelm_eid(pelm_eid* array, uint32_t count) {
  if (!array) return;
  for (uint32_t i = 0; i < count; ++i) free(array[i].tsi);
  free(array);
}

int inv_util_copy_pelm_eid_to_pelm_eid(const pelm_eid* from, pelm_eid* to) {
  if (!from || !to) return kFail;
  if (from->tsi_count > INV_EID_MAX_LEVELS || (from->tsi_count && !from->tsi)) return kFail;
  pelm_tsi* levels = nullptr;
  if (from->tsi_count) {
    levels = static_cast<pelm_tsi*>(calloc(from->tsi_count, sizeof(pelm_tsi)));
    if (!levels) return kFail;
    memcpy(levels, from->tsi, from->tsi_count * sizeof(pelm_tsi));
  }
  // The destination's old levels belong to whoever filled it; they are not freed here.
  *to = *from;
  to->tsi = levels;
  to->ext = nullptr;
  return INV_UTIL_OK;
}

int inv_util_convert_eid_to_pelm_eid(const inv_eid* from, pelm_eid* to) {
  if (!from || !to || from->level_count > INV_EID_MAX_LEVELS) return kFail;
  pelm_tsi* levels = nullptr;
  if (from->level_count) {
    levels = static_cast<pelm_tsi*>(calloc(from->level_count, sizeof(pelm_tsi)));
    if (!levels) return kFail;
    for (uint32_t i = 0; i < from->level_count; ++i) {
      levels[i].type = from->levels[i].type;
      levels[i].subtype = from->levels[i].subtype;
      levels[i].instance = from->levels[i].instance;
    }
  }
  memset(to, 0, sizeof(*to));
  to->rack = from->rack;
  to->slot = from->slot;
  to->tsi = levels;
  to->tsi_count = from->level_count;
  to->present = PELM_EID_HAS_RACK | PELM_EID_HAS_SLOT | (levels ? PELM_EID_HAS_TSI : 0);
  return INV_UTIL_OK;
}

int inv_util_convert_pelm_eid_to_eid(const pelm_eid* from, inv_eid* to) {
  if (!from || !to || from->tsi_count > INV_EID_MAX_LEVELS) return kFail;
  if (from->tsi_count && !from->tsi) return kFail;
  if (from->rack > 0xffff || from->slot > 0xffff) return kFail;
  for (uint32_t i = 0; i < from->tsi_count; ++i)
    if (!level_fits(from->tsi[i])) return kFail;
  memset(to, 0, sizeof(*to));
  to->rack = static_cast<uint16_t>(from->rack);
  to->slot = static_cast<uint16_t>(from->slot);
  to->level_count = static_cast<uint8_t>(from->tsi_count);
  for (uint32_t i = 0; i < from->tsi_count; ++i) {
    to->levels[i].type = static_cast<uint8_t>(from->tsi[i].type);
    to->levels[i].subtype = static_cast<uint8_t>(from->tsi[i].subtype);
    to->levels[i].instance = static_cast<uint16_t>(from->tsi[i].instance);
  }
  return INV_UTIL_OK;
}

int inv_util_copy_eid_to_eid(const inv_eid* from, inv_eid* to, uint32_t level_count) {
  if (!from || !to || level_count > INV_EID_MAX_LEVELS) return kFail;
  inv_eid out;
  memset(&out, 0, sizeof(out));
  out.rack = from->rack;
  out.slot = from->slot;
  out.level_count = static_cast<uint8_t>(level_count);
  memcpy(out.levels, from->levels, level_count * sizeof(inv_eid_level));
  *to = out;
  return INV_UTIL_OK;
}

int inv_util_merge_eid(const inv_eid* container, const inv_eid* extra, inv_eid* out) {
  if (!container || !extra || !out) return kFail;
  if (container->level_count > INV_EID_MAX_LEVELS || extra->level_count > INV_EID_MAX_LEVELS)
    return kFail;
  // The extra id's leading levels that repeat the container's are not added twice.
  uint32_t skip = 0;
  while (skip < container->level_count && skip < extra->level_count &&
         memcmp(&container->levels[skip], &extra->levels[skip], sizeof(inv_eid_level)) == 0)
    ++skip;
  const uint32_t total = container->level_count + extra->level_count - skip;
  if (total > INV_EID_MAX_LEVELS) return kFail;
  inv_eid m;
  memset(&m, 0, sizeof(m));
  m.rack = container->rack;
  m.slot = container->slot;
  m.level_count = static_cast<uint8_t>(total);
  memcpy(m.levels, container->levels, container->level_count * sizeof(inv_eid_level));
  memcpy(&m.levels[container->level_count], &extra->levels[skip],
         (extra->level_count - skip) * sizeof(inv_eid_level));
  *out = m;
  return INV_UTIL_OK;
}

int inv_util_sanitize_eid(inv_eid* eid) {
  if (!eid || eid->level_count > INV_EID_MAX_LEVELS) return kFail;
  // Levels past the count carry nothing.
  memset(&eid->levels[eid->level_count], 0,
         (INV_EID_MAX_LEVELS - eid->level_count) * sizeof(inv_eid_level));
  eid->reserved = 0;
  return INV_UTIL_OK;
}

uint32_t inv_util_get_pelm_tsi_subtype(const pelm_tsi* level) {
  return level ? level->subtype : 0;
}

void inv_util_dump_pelm_eid_to_string(const pelm_eid* eid, char* buf, size_t buf_len) {
  if (!buf || buf_len == 0) return;
  buf[0] = '\0';
  if (!eid) {
    snprintf(buf, buf_len, "(null eid)");
    return;
  }
  size_t used = 0;
  auto put = [&](int n) {
    if (n > 0) used += static_cast<size_t>(n);
    if (used >= buf_len) used = buf_len - 1;
  };
  put(snprintf(buf, buf_len, "eid{rack=0x%x slot=0x%x tsi=", eid->rack, eid->slot));
  const uint32_t n = eid->tsi ? (eid->tsi_count > INV_EID_MAX_LEVELS ? INV_EID_MAX_LEVELS : eid->tsi_count) : 0;
  for (uint32_t i = 0; i < n; ++i)
    put(snprintf(buf + used, buf_len - used, "%s%u.%u.%u", i ? "," : "", eid->tsi[i].type,
                 eid->tsi[i].subtype, eid->tsi[i].instance));
  put(snprintf(buf + used, buf_len - used, "}"));
}

int pelm_eid_compare_eid(const pelm_eid* a, const pelm_eid* b) {
  if (!a || !b) return kFail;
  if (a->rack != b->rack || a->slot != b->slot || a->tsi_count != b->tsi_count) return 1;
  if (a->tsi_count == 0) return 0;
  if (!a->tsi || !b->tsi) return 1;
  return memcmp(a->tsi, b->tsi, a->tsi_count * sizeof(pelm_tsi)) == 0 ? 0 : 1;
}

}  // extern "C"

// Entity ids: their text forms, set-up, comparison, release, and the fully
// qualified entity id of a sensor or FRU.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "envcore_private.h"

namespace {

constexpr size_t kTextLen = ENVMON_EID_STR_LEN;
constexpr char kHead[] = "%u/%u TSI:";
constexpr char kLevel[] = " %u/%u/%u";

constexpr char kNullInvEid[] = "%s: NULL inv eid\n";
constexpr char kInvalidInvEid[] = "%s: INVALID inv eid\n";
constexpr char kCannotMergeRel[] = "%s: Cannot merge: eid1=%s, eid2=%s\n";
constexpr char kCannotConvertInv[] = "%s: Cannot convert to inv EID format: eid=%s\n";
constexpr char kCannotCopyInv[] = "%s: Cannot copy to inv EID format: eid=%s\n";
constexpr char kCannotMergePq[] = "%s: Cannot merge: cont=%s, pq=%s\n";
constexpr char kCannotConvertPelm[] = "%s: Cannot convert to pelm EID format: eid=%s\n";

// Appends to a 256-byte text, stopping (still terminated) when it is full.
struct Text {
  char* buf;
  size_t used = 0;
  bool full = false;
  template <typename... Args>
  void add(const char* fmt, Args... args) {
    if (full) return;
    const int n = snprintf(buf + used, kTextLen - used, fmt, args...);
    if (n < 0 || static_cast<size_t>(n) >= kTextLen - used) {
      used = kTextLen - 1;
      full = true;
    } else {
      used += static_cast<size_t>(n);
    }
  }
};

// The inventory library's own text of an id, in either form.
struct LibText {
  char text[kTextLen];
  explicit LibText(const pelm_eid* eid) { inv_util_dump_pelm_eid_to_string(eid, text, sizeof(text)); }
  explicit LibText(const inv_eid* eid) {
    pelm_eid p;
    memset(&p, 0, sizeof(p));
    if (eid && inv_util_convert_eid_to_pelm_eid(eid, &p) == INV_UTIL_OK) {
      inv_util_dump_pelm_eid_to_string(&p, text, sizeof(text));
      free(p.tsi);
    } else {
      snprintf(text, sizeof(text), "(bad inv eid)");
    }
  }
};

}  // namespace

extern "C" {

void envmon_dump_pelm_eid_to_string(const pelm_eid* eid, char* buf) {
  if (!buf) return;
  if (!eid) {
    snprintf(buf, kTextLen, "\n");
    return;
  }
  buf[0] = '\0';
  Text t{buf};
  t.add(kHead, eid->rack, eid->slot);
  if (!eid->tsi) return;
  for (uint32_t i = 0; i < eid->tsi_count && !t.full; ++i) {
    const pelm_tsi& l = eid->tsi[i];
    t.add(kLevel, l.type, inv_util_get_pelm_tsi_subtype(&l), l.instance);
  }
}

void envmon_dump_inv_eid_to_string(const inv_eid* eid, char* buf) {
  if (!buf) return;
  if (!eid) {
    snprintf(buf, kTextLen, "\n");
    return;
  }
  buf[0] = '\0';
  Text t{buf};
  t.add(kHead, static_cast<unsigned>(eid->rack), static_cast<unsigned>(eid->slot));
  // A corrupt count must not read past the 16 levels of the record.
  const uint32_t n = eid->level_count > INV_EID_MAX_LEVELS ? INV_EID_MAX_LEVELS : eid->level_count;
  for (uint32_t i = 0; i < n && !t.full; ++i) {
    const inv_eid_level& l = eid->levels[i];
    t.add(kLevel, static_cast<unsigned>(l.type), static_cast<unsigned>(l.subtype),
          static_cast<unsigned>(l.instance));
  }
}

int inv_set_inv_tsi_subtype(const pelm_tsi* level, uint8_t* pair) {
  if (!level || !pair) return -1;
  pair[1] = static_cast<uint8_t>(inv_util_get_pelm_tsi_subtype(level));
  return 0;
}

void envmon_setup_fru_eid(uint32_t slot, pelm_eid* eid) {
  if (!eid) return;
  memset(eid, 0, sizeof(*eid));
  eid->id = 1;
  eid->rack = ENVMON_RACK_UNKNOWN;
  eid->slot = slot;
  eid->subid = 0;
  eid->present = PELM_EID_HAS_ID | PELM_EID_HAS_RACK | PELM_EID_HAS_SLOT | PELM_EID_HAS_SUBID;
}

void envmon_setup_pwr_tray_eid(uint32_t slot, pelm_eid* eid) {
  if (!eid) return;
  inv_eid tray;
  memset(&tray, 0, sizeof(tray));
  tray.rack = static_cast<uint16_t>(ENVMON_RACK_UNKNOWN);
  tray.slot = static_cast<uint16_t>(slot);
  tray.level_count = 1;
  tray.levels[0] = {9, 23, 1};
  inv_util_convert_eid_to_pelm_eid(&tray, eid);
}

int envmon_inv_eid_same(const inv_eid* a, const inv_eid* b) {
  if (!a || !b) return 0;
  if (a->rack != b->rack || a->slot != b->slot || a->level_count != b->level_count) return 0;
  if (a->level_count > INV_EID_MAX_LEVELS) return 0;
  for (uint32_t i = 0; i < a->level_count; ++i) {
    if (a->levels[i].type != b->levels[i].type || a->levels[i].subtype != b->levels[i].subtype ||
        a->levels[i].instance != b->levels[i].instance)
      return 0;
  }
  return 1;
}

void envmon_free_tsi(pelm_eid* eid) {
  if (!eid || eid->tsi_count == 0 || !eid->tsi) return;
  free(eid->tsi);
  eid->tsi = nullptr;
  eid->tsi_count = 0;
  eid->present &= static_cast<uint8_t>(~PELM_EID_HAS_TSI);
}

envmon_err_t envmon_util_build_fq_eid(const inv_eid* cont, const inv_eid* rel,
                                      const pelm_eid* pq, pelm_eid* out) {
  static constexpr char kFunc[] = "envmon_util_build_fq_eid";
  if (!cont) {
    tlg_internal(err_tlg_cmn_hdl, kNullInvEid, kFunc);
    return ENVMON_ERR_INVALID_ARG;
  }
  if (!out) return ENVMON_ERR_INVALID_ARG;
  inv_eid sane = *cont;
  if (inv_util_sanitize_eid(&sane) != INV_UTIL_OK) {
    tlg_internal(err_tlg_cmn_hdl, kInvalidInvEid, kFunc);
    return ENVMON_ERR_INVALID_ARG;
  }
  inv_eid base = sane;
  if (rel && inv_util_merge_eid(&sane, rel, &base) != INV_UTIL_OK) {
    tlg_internal(err_tlg_cmn_hdl, kCannotMergeRel, kFunc, LibText(&sane).text, LibText(rel).text);
    return ENVMON_ERR_INVALID_ARG;
  }
  inv_eid copy;
  memset(&copy, 0, sizeof(copy));
  if (pq) {
    if (inv_util_convert_pelm_eid_to_eid(pq, &copy) != INV_UTIL_OK) {
      tlg_internal(err_tlg_cmn_hdl, kCannotConvertInv, kFunc, LibText(pq).text);
      return ENVMON_ERR_INVALID_ARG;
    }
  } else if (inv_util_copy_eid_to_eid(&base, &copy, base.level_count) != INV_UTIL_OK) {
    tlg_internal(err_tlg_cmn_hdl, kCannotCopyInv, kFunc, LibText(&base).text);
    return ENVMON_ERR_INVALID_ARG;
  }
  const inv_eid* result = &base;
  inv_eid merged;
  if (memcmp(base.levels, copy.levels, base.level_count * sizeof(inv_eid_level)) != 0) {
    if (inv_util_merge_eid(&base, &copy, &merged) != INV_UTIL_OK) {
      tlg_internal(err_tlg_cmn_hdl, kCannotMergePq, kFunc, LibText(&base).text, LibText(&copy).text);
      return ENVMON_ERR_INVALID_ARG;
    }
    result = &merged;
  }
  if (inv_util_convert_eid_to_pelm_eid(result, out) != INV_UTIL_OK) {
    tlg_internal(err_tlg_cmn_hdl, kCannotConvertPelm, kFunc, LibText(result).text);
    return ENVMON_ERR_INVALID_ARG;
  }
  return ENVMON_OK;
}

}  // extern "C"

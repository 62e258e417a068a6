// Entity identities of the inventory service and the helpers that convert,
// copy, compare and print them. Two forms exist: the pelm entity id used inside
// the system (levels in an allocated array) and the fixed 70-byte inventory
// entity id used towards inventory and found in the XML descriptions.
#pragma once

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

// Result of the converting and copying helpers when they succeed.
#define INV_UTIL_OK 100

#define INV_EID_MAX_LEVELS 16

// One type/subtype/instance level of a pelm entity id.
typedef struct pelm_tsi {
  uint32_t type;
  uint32_t subtype;
  uint32_t instance;
} pelm_tsi;

// Presence bits of pelm_eid.present, in field order.
#define PELM_EID_HAS_ID 0x01u
#define PELM_EID_HAS_RACK 0x02u
#define PELM_EID_HAS_SLOT 0x04u
#define PELM_EID_HAS_SUBID 0x08u
#define PELM_EID_HAS_EXT 0x10u
#define PELM_EID_HAS_TSI 0x20u

// 40 bytes on a 64-bit host. The record owns its tsi array.
typedef struct pelm_eid {
  uint32_t id;          // 1 for a card or FRU
  uint32_t rack;        // 0xfffe: this card, or not learnt yet
  uint32_t slot;
  uint32_t subid;       // 0 for a FRU
  void* ext;            // extension owned by the inventory library; unused here
  pelm_tsi* tsi;        // tsi_count levels, calloc'd
  uint32_t tsi_count;
  uint8_t present;      // PELM_EID_HAS_* bits
} pelm_eid;

// One level of the inventory form.
typedef struct __attribute__((packed)) inv_eid_level {
  uint8_t type;
  uint8_t subtype;
  uint16_t instance;
} inv_eid_level;

// The inventory's fixed 70-byte entity id.
typedef struct __attribute__((packed)) inv_eid {
  uint16_t rack;
  uint16_t slot;
  uint8_t level_count;  // at most INV_EID_MAX_LEVELS in a valid id
  uint8_t reserved;
  inv_eid_level levels[INV_EID_MAX_LEVELS];
} inv_eid;

#ifdef __cplusplus
static_assert(sizeof(inv_eid) == 70, "inventory entity id is 70 bytes");
static_assert(sizeof(pelm_eid) == 40, "pelm entity id is 40 bytes");
#endif

// Functions (implemented by the inv_util stand-in library). Unless said
// otherwise they return INV_UTIL_OK on success and another value on failure;
// an inventory id whose level_count exceeds INV_EID_MAX_LEVELS is refused.
pelm_eid* inv_util_alloc_pelm_eid(uint32_t count);
void inv_util_free_pelm_eid(pelm_eid* array, uint32_t count);
int inv_util_copy_pelm_eid_to_pelm_eid(const pelm_eid* from, pelm_eid* to);
int inv_util_convert_eid_to_pelm_eid(const inv_eid* from, pelm_eid* to);
int inv_util_convert_pelm_eid_to_eid(const pelm_eid* from, inv_eid* to);
int inv_util_copy_eid_to_eid(const inv_eid* from, inv_eid* to, uint32_t level_count);
int inv_util_merge_eid(const inv_eid* container, const inv_eid* extra, inv_eid* out);
int inv_util_sanitize_eid(inv_eid* eid);
// Subtype of a level; 0 for a null level.
uint32_t inv_util_get_pelm_tsi_subtype(const pelm_tsi* level);
// Writes the inventory library's own text of the id into buf (at least 256 bytes).
void inv_util_dump_pelm_eid_to_string(const pelm_eid* eid, char* buf, size_t buf_len);
// 0 when both ids name the same entity.
int pelm_eid_compare_eid(const pelm_eid* a, const pelm_eid* b);

#ifdef __cplusplus
}
#endif

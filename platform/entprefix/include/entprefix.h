// Entity location prefixes: the printable name prefix of an entity's location
// ("<node>-", "<node>-PM2-", "Rack <rack>-") that inventory shows in front of
// entity and sensor names, and the split of such a full name back into its
// parts. No state; every function may be called from any thread.
#pragma once

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define ENTPREFIX_OK 0
#define ENTPREFIX_EINVAL 22

// Kinds of a sub-level; any other value prints "UNKNOWN".
#define PLATFORM_LEVEL_PM 1
#define PLATFORM_LEVEL_SPA 2
#define PLATFORM_LEVEL_PORT 3

#define PLATFORM_MAX_LEVELS 2
#define PLATFORM_NAME_LEN 32
#define PLATFORM_PREFIX_DASH_LEN 64

// Location of an entity, filled by the caller; -1 means unset.
typedef struct platform_fru_entity {
  int32_t chassis_class;  // rack type of the node-id library
  int32_t rack;           // rack number
  int32_t slot;
  int32_t sub_slot;
  int32_t bp_slot_id;  // used when slot and sub-slot are not both set
  uint8_t level_count;  // at most PLATFORM_MAX_LEVELS
  int32_t level_kind[PLATFORM_MAX_LEVELS];
  int32_t level_index[PLATFORM_MAX_LEVELS];  // -1 skips the level
} platform_fru_entity;

// Name record (225 bytes), zeroed before it is filled.
typedef struct platform_prefix_names {
  char first_part[PLATFORM_NAME_LEN];  // node name, or rack name
  char prefix[PLATFORM_NAME_LEN];      // prefix without its trailing '-'
  char prefix_with_dash[PLATFORM_PREFIX_DASH_LEN];
  uint8_t marker_count;  // level names made, or sub-level markers found
  char second_part[PLATFORM_NAME_LEN];  // first level name, e.g. "PM0"
  char third_part[PLATFORM_NAME_LEN];   // second level name
  char rest[PLATFORM_NAME_LEN];         // a decoded name's own part
} platform_prefix_names;

void platform_fru_entity_init(platform_fru_entity* loc);
// 0, ENTPREFIX_EINVAL, or the node-id library's result unchanged.
int platform_create_prefix(const platform_fru_entity* loc, platform_prefix_names* out);
// Splits `full_name`; `pattern` (the node name) must occur in `full_name` and in `text`.
int platform_decode_full_name(const char* full_name, const char* pattern, const char* text,
                              platform_prefix_names* out);

#ifdef __cplusplus
}

#include <cstddef>
static_assert(sizeof(platform_prefix_names) == 225);
static_assert(offsetof(platform_prefix_names, prefix) == 32);
static_assert(offsetof(platform_prefix_names, prefix_with_dash) == 64);
static_assert(offsetof(platform_prefix_names, marker_count) == 128);
static_assert(offsetof(platform_prefix_names, second_part) == 129);
static_assert(offsetof(platform_prefix_names, third_part) == 161);
static_assert(offsetof(platform_prefix_names, rest) == 193);
#endif

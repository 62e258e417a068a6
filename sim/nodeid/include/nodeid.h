// Node ids: the rack/slot/instance identity of a card or of a chassis-level
// unit (fan tray, power tray, power module), and the backplane slot numbering
// that leads to them.
//
// A node id is an allocated record behind an opaque pointer; whoever creates
// one (nodeid_create, nodeid_create0, nodeid_create2, nodeid_from_str_external,
// nodeid_unpack) destroys it with nodeid_destroy.
//
// Two views of the same identity:
//   - rack id, platform slot and instance (nodeid_create, nodeid_extract_fields);
//   - rack type, rack number, slot type, slot number and instance
//     (nodeid_create2, nodeid_extract_fields2).
// A rack id is the 32-bit value (rack type << 8) | rack number; it never
// takes the value 0xfffe that entity ids use for "this card".
// A platform slot is (slot type << 8) | (slot number & 0xff), slot number -1
// (none) being stored as 0xff; a line card's platform slot is its number.
//
// Slot types and their external names ("<rack>/<name>", at most 31 characters):
//   0 line card "<n>"     1 route processor "RP<n>"   2 system controller "SC<n>"
//   3 fabric card "FC<n>" 4 switch "SW<n>"            5 power tray "PT<n>"
//   6 fan tray "FT<n>"    7 power module "PM<n>"      8 craft interface "CI<n>"
// A slot number of -1 prints the name alone ("0/PT"); line cards need a number.
// The instance is not part of the text; texts parse back with rack type 0 and
// instance 0.
//
// Backplane slots (interpret_backplane_slotid), the same for every rack type:
//   0-1 RP0-RP1, 2-3 SC0-SC1, 4-9 FC0-FC5, 10-25 line cards 0-15, 26-29 SW0-SW3,
//   30-33 PT0-PT3, 34 CI0, 41-46 FT0-FT5, 48-63 PM0-PM15; any other slot is
//   refused with NODEID_EINVAL.
//
// Every function returns NODEID_OK (0) or one of the small codes below; output
// arguments are written only on success unless said otherwise.
#pragma once

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define NODEID_OK 0
#define NODEID_ENOMEM 12
#define NODEID_EINVAL 22
#define NODEID_ENOSPC 28  // text buffer too small

#define NODEID_MAX_RACK_TYPE 15
#define NODEID_MAX_RACK_NUM 255
#define NODEID_MAX_SLOT_NUM 254
#define NODEID_MAX_INSTANCE 65535

enum nodeid_slot_type {
  NODEID_SLOT_LC = 0,
  NODEID_SLOT_RP = 1,
  NODEID_SLOT_SC = 2,
  NODEID_SLOT_FC = 3,
  NODEID_SLOT_SW = 4,
  NODEID_SLOT_PT = 5,
  NODEID_SLOT_FT = 6,
  NODEID_SLOT_PM = 7,
  NODEID_SLOT_CI = 8,
};

typedef struct nodeid_rec* nodeid_td;

// Rack id of rack `rack_num` of rack type `rack_type`.
int nodeid_rack_create(int32_t rack_type, int32_t rack_num, uint32_t* rack);
// Rack type and rack number of a rack id; either output may be null.
int nodeid_extract_rack_fields(uint32_t rack, int32_t* rack_type, int32_t* rack_num);

int nodeid_create(uint32_t rack, int32_t pi_slot, int32_t instance, nodeid_td* out);
int nodeid_create2(int32_t rack_type, int32_t rack_num, int32_t slot_type, int32_t slot_num,
                   int32_t instance, nodeid_td* out);
// An owned copy of `src`.
int nodeid_create0(nodeid_td src, nodeid_td* copy);
// Accepts null.
void nodeid_destroy(nodeid_td node);

// NODEID_OK for a node id that can be used, NODEID_EINVAL otherwise (null included).
int nodeid_validate(nodeid_td node);
// 0 when both name the same node (two nulls included), else the sign of a < b / a > b.
int nodeid_compare(nodeid_td a, nodeid_td b);

// Either output may be null.
int nodeid_extract_fields(nodeid_td node, uint32_t* rack, int32_t* pi_slot);
int nodeid_extract_fields2(nodeid_td node, int32_t* rack_type, int32_t* rack_num,
                           int32_t* slot_type, int32_t* slot_num, int32_t* instance);

// External text of a node id or a rack id. On failure a buffer of non-zero
// length is left holding the empty text.
int nodeid_to_str_external(nodeid_td node, char* buf, size_t buf_len);
int nodeid_RACK_to_str_external(uint32_t rack, char* buf, size_t buf_len);
// Only the exact texts the printers make are accepted.
int nodeid_from_str_external(const char* text, nodeid_td* out);
int nodeid_RACK_from_str_external(const char* text, uint32_t* rack);

// Platform slot and slot type/number of a backplane slot of a rack type;
// any output may be null.
int interpret_backplane_slotid(int32_t bp_slot, int32_t rack_type, int32_t* pi_slot,
                               int32_t* slot_type, int32_t* slot_num);

// A node id as one 64-bit word, for carrying it in messages, and back.
int nodeid_pack(nodeid_td node, uint64_t* word);
int nodeid_unpack(uint64_t word, nodeid_td* out);

#ifdef __cplusplus
}
#endif

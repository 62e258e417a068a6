// Inventory XML parser: reads the inventory description of a chassis, card,
// fan tray, power shelf or power module and answers which entities it holds
// and their data. A description file lists entities, one element each:
//
//   <inventory>
//     <entity category="6" type="8" subtype="25" instance="1" name="Inlet Temp"
//             driver="0" scale="9" precision="0"
//             crit_lo="-10" crit_hi="85" maj_lo="-5" maj_hi="75" min_lo="0" min_hi="65"
//             obfl_disabled="0" attr="0x01000000" root="0" .../>
//   </inventory>
//
// Attributes not given are 0 (category: 6). Numbers are decimal or 0x-hex.
// An entity's id is its levels: the attribute tsi="5/2/1 8/25/3" (type/subtype/
// instance per level, at most 16), or without it the one level type/subtype/
// instance; type and subtype default to those of the last level.
// <inventory> may give poll_rate and delta. A file that is not well formed, or
// holds a bad number or level, is refused as a whole.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "inv_util.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef struct inv_parser_xml* inv_xml_handle_t;
struct evloop;

// Key of inv_parser_open_xml_file_v2: the same key the inventory XML file table
// is searched with. Hardware versions are carried, not compared.
typedef struct inv_parser_open_req {
  uint32_t pi_hw_type;  // PI class (1 chassis, 3 RP, 4 LC, 7 fan tray, 8 power shelf, 9 PEM, ...)
  uint32_t pd_hw_type;  // PD hardware type code
  char pid[37];         // product id, empty for any
  uint32_t hw_major;
  uint32_t hw_minor;
} inv_parser_open_req;

#define INV_PARSER_NAME_LEN 64

// Data of one entity of a description.
typedef struct inv_parser_eid_data {
  char name[INV_PARSER_NAME_LEN];
  uint32_t hw_position;   // slot
  uint32_t pos_num;       // position number (index within its kind)
  uint16_t instance;
  uint32_t logic_slot;
  uint32_t driver;        // owning platform driver (sensors)
  uint8_t scale;          // sensors: 9 units, 8 milli
  uint8_t precision;
  // Thresholds in the order critical low, critical high, major low, major high,
  // minor low, minor high.
  int32_t thresholds[6];
  uint8_t obfl_disabled;
  uint32_t attr;
  int32_t poll_rate;      // seconds, 0 when not given
  int32_t delta;          // 0 when not given
  uint16_t stby_zn_budget; // power-budget entities
  uint16_t max_budget;
  uint16_t ext_budget;
} inv_parser_eid_data;

// Results.
#define INV_PARSER_OK 0
#define INV_PARSER_ERR_ARG (-1)       // null or bad argument
#define INV_PARSER_ERR_NOT_FOUND (-2) // no such entity
#define INV_PARSER_ERR_NO_MEMORY (-3)
#define INV_PARSER_ERR_INCOMPLETE (-4) // a sensor without its six thresholds

// Remembers the event loop (unused by the parser itself). 0.
int inv_parser_init(struct evloop* loop);

// Opens the description for the key (mode 1 chassis, cards, fan trays, power
// shelves and modules; 2 port adapters). The file is found through the
// inventory XML file table and read under the root directory (sim_path).
// Null when there is no description or it cannot be read; the reason is traced
// in the "inv_parser" trace buffer with the file name.
inv_xml_handle_t inv_parser_open_xml_file_v2(uint32_t mode, const inv_parser_open_req* req);
// Opens a description by its path (resolved with sim_path). Null on failure,
// traced as above.
inv_xml_handle_t inv_parser_open_xml_file(const char* path);
// Reads a description held in memory; `name` names it in traces.
inv_xml_handle_t inv_parser_open_xml_buffer(const char* data, size_t len, const char* name);
// Path the handle was opened from ("" for null).
const char* inv_parser_get_file_name(inv_xml_handle_t xml);
void inv_parser_close_xml_file(inv_xml_handle_t xml);

// The entity ids (inventory form) of every entity of `category`, `type` and
// `subtype`, in file order, in *eids (malloc'd, freed by the caller with free;
// null when none) and their number in *count. No such entity is a count of 0
// and INV_PARSER_OK.
int inv_parser_get_eid_by_type_subtype(inv_xml_handle_t xml, uint32_t category, uint8_t type,
                                       uint8_t subtype, uint16_t* count, inv_eid** eids);
// Data of the entity with that id (rack and slot are not compared).
// INV_PARSER_ERR_NOT_FOUND when the description has no such entity;
// INV_PARSER_ERR_INCOMPLETE for a sensor (type 8, subtype other than 13) whose
// element lacks one of the six thresholds (traced with the file and the
// missing attribute).
int inv_parser_get_eid_data(inv_xml_handle_t xml, const inv_eid* eid, inv_parser_eid_data* data);
// The root entity of the description (the element marked root="1", else the
// first one) in *eid (malloc'd, freed by the caller).
int inv_parser_get_root_eid(inv_xml_handle_t xml, inv_eid** eid);
// The description's default poll rate and delta (attributes of <inventory>),
// 0 when not given.
int inv_parser_get_poll_rate(inv_xml_handle_t xml, int32_t* poll_rate);
int inv_parser_get_delta(inv_xml_handle_t xml, int32_t* delta);

#ifdef __cplusplus
}
#endif

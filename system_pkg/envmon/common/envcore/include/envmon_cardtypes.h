// Card-type lists: the card's 32-bit hardware type code decides its class.
#pragma once

#include <stdint.h>

extern "C" {

// The core's lists, which decide where the rack scope runs and which cards
// publish their location and address.
// List 1: route-processor card types (119 codes): hosts the rack scope.
bool envmon_is_rp_card_type(uint32_t card_type);
// List 2: the other location card types (459 codes).
bool envmon_is_other_loc_card_type(uint32_t card_type);
// List 3: the fabric-dependent card types (48 codes).
bool envmon_is_fabric_dep_card_type(uint32_t card_type);
// A publishing card gives its location to the fault manager and publishes its
// address: list 1 or 2, or list 3 while fabric cards are not managed remotely.
bool envmon_is_publishing_card_type(uint32_t card_type);

// The route-processor list of the hardware abstraction (115 codes, in the
// order tested): list 1 without 0x1f0802, 0x1f0803, 0x1f0804, 0x1f0807.
extern const uint32_t envmon_rp_card_types[115];
extern const uint32_t envmon_rp_card_types_count;
// The route-processor/system-controller list of the driver client's endpoint
// filter (120 codes, in order): list 1 and 0x520d.
extern const uint32_t envmon_rp_sc_card_types[120];
extern const uint32_t envmon_rp_sc_card_types_count;

}  // extern "C"

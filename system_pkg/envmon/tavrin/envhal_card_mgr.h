// The hardware abstraction's clients of the card manager: creation and
// connection (shared by the platforms), and the callbacks registered with the
// card manager's client library.
#pragma once

#include <stdint.h>

#include "card_mgr.h"

extern "C" {

// Creates and connects the node (is_rack 0) or rack client: 0, 22 without an
// event loop, or the card manager's error after destroying the handle.
int32_t envmon_capi_card_mgr_init(evloop_t* loop, uint8_t is_rack);
void envmon_capi_card_mgr_disconnect(uint8_t is_rack);

void envmon_card_mgr_node_connect_cb(card_mgr_node_handle_t h, int32_t err, void* ctx);
void envmon_card_mgr_rack_connect_cb(card_mgr_rack_handle_t h, int32_t err, void* ctx);
void envmon_card_mgr_node_disconnect_cb(card_mgr_node_handle_t h, int32_t err, void* ctx);
void envmon_card_mgr_rack_disconnect_cb(card_mgr_rack_handle_t h, int32_t err, void* ctx);
void envmon_card_mgr_node_error_cb(card_mgr_node_handle_t h, int32_t code);
void envmon_card_mgr_rack_error_cb(card_mgr_rack_handle_t h, int32_t code);

// The platform's information callbacks.
void envmon_get_card_mgr_cardinfo_cb(card_mgr_node_handle_t h, card_mgr_cardinfo_msg* msg, void* cookie,
                                     int32_t error, void* user);
void envmon_get_card_mgr_chassisinfo_cb(card_mgr_rack_handle_t h, card_mgr_chassisinfo_msg* msg, void* cookie,
                                        int32_t error, void* user);

// Tavrin: the card's sensor lists, the card containers of one subtype, and
// the power modules' records.
void envmon_nm_get_sensor_eids(void);
int32_t envmon_get_card_container_eids_by_cardtype(uint8_t subtype);
void envmon_tavrin_pwr_mgmt_pem_data_init(void);

}  // extern "C"

// Card-manager clients.
//
// - Node client (card_mgr_node_*): this card's own information.
// - Rack client (card_mgr_rack_*): the chassis information.
// - Card-object client (cm_*): registration for card objects and the
//   notifications of every card's state that follow.
//
// Each handle is one connection to the card manager, on the caller's event
// loop; every callback runs on that loop. Records carry a presence bit per
// field (bit n of `present` is field n, in the order listed). Records handed to
// callbacks belong to the library for the duration of the callback.
#pragma once

#include <stdint.h>

#include "evloop.h"
#include "msgcodec.h"

#ifdef __cplusplus
extern "C" {
#endif

// Results: 0 success, or one of these.
#define CARD_MGR_ERR_ARG (-22)
#define CARD_MGR_ERR_NOT_CONNECTED (-107)
#define CARD_MGR_ERR_NO_MEMORY (-12)
#define CARD_MGR_ERR_STATE (-114)  // already connected or connecting
// Error argument of an information callback whose request the card manager refused.
#define CARD_MGR_ERR_REFUSED 61

// ---------------------------------------------------------------------------
// Records of the node and rack clients.

// Card information of the card the client runs on.
typedef struct card_mgr_cardinfo_msg {
  uint32_t slot;          // bit 0, backplane slot
  uint8_t pi_card_type;   // bit 1, card class: 0 line card, 1 route processor, 3 fabric, 14 ...
  uint32_t card_type;     // bit 2, hardware type code
  char* pid;              // bit 3
  char* serial;           // bit 4
  uint16_t hw_ver_major;  // bit 5
  uint16_t hw_ver_minor;  // bit 6
  uint8_t present;
} card_mgr_cardinfo_msg;

typedef struct card_mgr_chassisinfo_msg {
  uint32_t pi_chassis_type;  // bit 0, rack type
  char* serial;              // bit 1
  uint32_t pd_chassis_type;  // bit 2, chassis type code
  uint32_t hw_ver_major;     // bit 3
  uint32_t hw_ver_minor;     // bit 4
  char* pid;                 // bit 5
  uint8_t present;
} card_mgr_chassisinfo_msg;

// The (empty) request of card_mgr_node_get_cardinfo / card_mgr_rack_get_chassisinfo.
typedef struct card_mgr_info_req {
  uint32_t reserved;  // bit 0
  uint8_t present;
} card_mgr_info_req;

MSGCODEC_DECLARE(card_mgr_cardinfo_msg, card_mgr_cardinfo_msg)
MSGCODEC_DECLARE(card_mgr_chassisinfo_msg, card_mgr_chassisinfo_msg)
MSGCODEC_DECLARE(card_mgr_info_req, card_mgr_info_req)

typedef struct card_mgr_node_handle_s* card_mgr_node_handle_t;
typedef struct card_mgr_rack_handle_s* card_mgr_rack_handle_t;

// connect(handle, errno, ctx): 0 connected, else the failure; the library
// connects again by itself after a disconnect.
typedef void (*card_mgr_node_connect_cb_t)(card_mgr_node_handle_t h, int32_t err, void* ctx);
typedef void (*card_mgr_node_disconnect_cb_t)(card_mgr_node_handle_t h, int32_t err, void* ctx);
typedef void (*card_mgr_node_error_cb_t)(card_mgr_node_handle_t h, int32_t code);
// cardinfo(handle, message, cookie, error, user): the answer to
// card_mgr_node_get_cardinfo; cookie is the request pointer it was given,
// user the context given to card_mgr_node_connect. message is null when
// error is not 0.
typedef void (*card_mgr_node_cardinfo_cb_t)(card_mgr_node_handle_t h, card_mgr_cardinfo_msg* msg,
                                            void* cookie, int32_t error, void* user);

typedef void (*card_mgr_rack_connect_cb_t)(card_mgr_rack_handle_t h, int32_t err, void* ctx);
typedef void (*card_mgr_rack_disconnect_cb_t)(card_mgr_rack_handle_t h, int32_t err, void* ctx);
typedef void (*card_mgr_rack_error_cb_t)(card_mgr_rack_handle_t h, int32_t code);
typedef void (*card_mgr_rack_chassisinfo_cb_t)(card_mgr_rack_handle_t h,
                                               card_mgr_chassisinfo_msg* msg, void* cookie,
                                               int32_t error, void* user);

int card_mgr_node_handle_create(card_mgr_node_handle_t* h, evloop_t* loop, uint32_t flags);
int card_mgr_node_handle_destroy(card_mgr_node_handle_t h);
int card_mgr_node_set_connect_callback(card_mgr_node_handle_t h, card_mgr_node_connect_cb_t cb);
int card_mgr_node_set_disconnect_callback(card_mgr_node_handle_t h,
                                          card_mgr_node_disconnect_cb_t cb);
int card_mgr_node_set_error_callback(card_mgr_node_handle_t h, card_mgr_node_error_cb_t cb);
int card_mgr_node_set_cardinfo_callback(card_mgr_node_handle_t h, card_mgr_node_cardinfo_cb_t cb);
// ctx: handed to the connect and disconnect callbacks and as `user` to the
// information callback. 0 when under way.
int card_mgr_node_connect(card_mgr_node_handle_t h, void* ctx);
// Closes the connection (the disconnect callback follows); the handle stays.
int card_mgr_node_disconnect(card_mgr_node_handle_t h, void* ctx);
// Asks for this card's information. The request may be null. 0 when sent.
int card_mgr_node_get_cardinfo(card_mgr_node_handle_t h, void* req, uint32_t flags);

int card_mgr_rack_handle_create(card_mgr_rack_handle_t* h, evloop_t* loop, uint32_t flags);
int card_mgr_rack_handle_destroy(card_mgr_rack_handle_t h);
int card_mgr_rack_set_connect_callback(card_mgr_rack_handle_t h, card_mgr_rack_connect_cb_t cb);
int card_mgr_rack_set_disconnect_callback(card_mgr_rack_handle_t h,
                                          card_mgr_rack_disconnect_cb_t cb);
int card_mgr_rack_set_error_callback(card_mgr_rack_handle_t h, card_mgr_rack_error_cb_t cb);
int card_mgr_rack_set_chassisinfo_callback(card_mgr_rack_handle_t h,
                                           card_mgr_rack_chassisinfo_cb_t cb);
int card_mgr_rack_connect(card_mgr_rack_handle_t h, void* ctx);
int card_mgr_rack_disconnect(card_mgr_rack_handle_t h, void* ctx);
int card_mgr_rack_get_chassisinfo(card_mgr_rack_handle_t h, void* req, uint32_t flags);

// ---------------------------------------------------------------------------
// Card-object client.

// Event types of card information: 1 card state change, 2 card removed.
#define CM_EVENT_STATE_CHANGE 1
#define CM_EVENT_REMOVED 2

typedef struct cm_card_location {
  uint32_t rack;  // bit 0
  uint32_t slot;  // bit 1
  uint8_t present;
} cm_card_location;

typedef struct cm_card_info {
  int32_t event_type;          // bit 0
  char* location_name;         // bit 1, "0/RP0", ...
  cm_card_location* card_loc;  // bit 2, one location (null when sent empty)
  uint32_t card_loc_count;
  int32_t card_type;           // bit 3, card class: 1 route processor; 0, 3, 9 ...
  int32_t card_state;          // bit 4, 1-11
  char* pid;                   // bit 5
  uint32_t sub_card_type;      // bit 6, hardware type code
  int32_t sw_card_state;       // bit 7
  uint8_t present;
} cm_card_info;

// Notification of card objects: a list of card information.
typedef struct cm_object_data_msg {
  cm_card_info* card_info;  // bit 0
  uint32_t card_info_count;
  uint8_t present;
} cm_object_data_msg;

// Which card objects a registration asks for. A registration for every card
// sets all_cards (bit 3) to 1 and leaves the lists out.
typedef struct cm_card_obj_filter {
  uint32_t* slots;  // bit 0
  uint32_t slot_count;
  uint32_t* card_types;  // bit 1
  uint32_t card_type_count;
  uint32_t* event_types;  // bit 2
  uint32_t event_type_count;
  uint8_t all_cards;  // bit 3
  uint8_t present;
} cm_card_obj_filter;

typedef struct cm_object_register_req {
  cm_card_obj_filter* card_filter;  // bit 0
  uint32_t card_filter_count;
  uint8_t present;
} cm_object_register_req;

typedef struct cm_object_register_resp {
  int32_t result;  // bit 0, 0 registered
  uint8_t present;
} cm_object_register_resp;

MSGCODEC_DECLARE(cm_card_location, cm_card_location)
MSGCODEC_DECLARE(cm_card_info, cm_card_info)
MSGCODEC_DECLARE(cm_object_data_msg, cm_object_data_msg)
MSGCODEC_DECLARE(cm_card_obj_filter, cm_card_obj_filter)
MSGCODEC_DECLARE(cm_object_register_req, cm_object_register_req)
MSGCODEC_DECLARE(cm_object_register_resp, cm_object_register_resp)

typedef struct cm_handle_s* cm_handle_t;

typedef void (*cm_connect_cb_t)(cm_handle_t h, int32_t status, void* ctx);
typedef void (*cm_disconnect_cb_t)(cm_handle_t h, int32_t status, void* ctx);
// object_registered(handle, response, request, status, ctx): request is the
// request pointer given to cm_object_register; status 0 when answered.
typedef void (*cm_object_registered_cb_t)(cm_handle_t h, cm_object_register_resp* resp,
                                          void* request, int32_t status, void* ctx);
typedef void (*cm_notify_object_data_cb_t)(cm_handle_t h, cm_object_data_msg* msg);
typedef void (*cm_object_unregistered_cb_t)(cm_handle_t h, cm_object_register_resp* resp,
                                            void* request, int32_t status, void* ctx);
typedef void (*cm_error_cb_t)(cm_handle_t h, int32_t code);

int cm_handle_create(cm_handle_t* h, evloop_t* loop, uint32_t flags);
int cm_handle_destroy(cm_handle_t h);
int cm_set_connect_callback(cm_handle_t h, cm_connect_cb_t cb);
int cm_set_disconnect_callback(cm_handle_t h, cm_disconnect_cb_t cb);
int cm_set_object_registered_callback(cm_handle_t h, cm_object_registered_cb_t cb);
int cm_set_notify_object_data_callback(cm_handle_t h, cm_notify_object_data_cb_t cb);
int cm_set_object_unregistered_callback(cm_handle_t h, cm_object_unregistered_cb_t cb);
int cm_set_error_callback(cm_handle_t h, cm_error_cb_t cb);
// ctx: handed to the connect, disconnect and registration callbacks.
int cm_connect(cm_handle_t h, void* ctx);
// Registers for card objects. The request is read during the call. The
// object-registered callback answers; notifications of every matching card
// follow, first the cards as they are, then each change.
int cm_object_register(cm_handle_t h, cm_object_register_req* req, uint32_t flags);
// Ends the registration; the object-unregistered callback answers.
int cm_object_unregister(cm_handle_t h, cm_object_register_req* req, uint32_t flags);

#ifdef __cplusplus
}
#endif

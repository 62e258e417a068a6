// Process-manager client: the role of the services of a card (1 active,
// 2 standby, 3 none), their acknowledgements, process-update events and
// liveness. One handle is one connection to the process manager, on the
// caller's event loop; every callback runs on that loop.
//
// Messages carry a presence bit per field (bit n of `present` is field n, in
// the order listed); a sender clears a record with msgcodec_<record>_clear and
// sets the fields it fills. Records handed to callbacks belong to the library
// for the duration of the callback.
#pragma once

#include <stdint.h>

#include "evloop.h"
#include "msgcodec.h"
#include "tlg.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef struct pm_handle_s* pm_handle_t;

// Results: 0 success, or one of these.
#define PM_ERR_ARG (-22)          // null handle or record, record that cannot be encoded
#define PM_ERR_NOT_CONNECTED (-107)
#define PM_ERR_NO_MEMORY (-12)
#define PM_ERR_STATE (-114)       // already connected or connecting

// Service control (received): the role the process manager gives a service.
typedef struct pm_service_control_msg {
  char* service_name;  // bit 0
  int32_t role;        // bit 1
  uint8_t present;
} pm_service_control_msg;

// Accept role (sent) in answer to a service control.
typedef struct pm_accept_role_msg {
  char* service_name;  // bit 0
  int32_t role;        // bit 1
  uint32_t reason;     // bit 2, not used by the process manager
  uint32_t flags;      // bit 3, not used by the process manager
  uint8_t present;
} pm_accept_role_msg;

// HA ready (sent) by a service that took the standby role.
typedef struct pm_ha_ready_msg {
  char* service_name;  // bit 0
  uint8_t present;
} pm_ha_ready_msg;

// Process-update event (received); event types 1-6 are card shutdown,
// offline, online, admin-VM shutdown, all-VM shutdown and quiesce.
typedef struct pm_process_update_event_msg {
  int32_t event_type;  // bit 0
  uint32_t card_slot;  // bit 1, the slot of the card the event concerns
  uint8_t present;
} pm_process_update_event_msg;

// Process-update response (sent): status 1 done, 2 deferred.
typedef struct pm_process_update_event_resp {
  int32_t event_type;  // bit 0
  int32_t status;      // bit 1
  uint32_t reason;     // bit 2, not used by the process manager
  uint32_t flags;      // bit 3, not used by the process manager
  uint8_t present;
} pm_process_update_event_resp;

MSGCODEC_DECLARE(pm_service_control_msg, pm_service_control_msg)
MSGCODEC_DECLARE(pm_accept_role_msg, pm_accept_role_msg)
MSGCODEC_DECLARE(pm_ha_ready_msg, pm_ha_ready_msg)
MSGCODEC_DECLARE(pm_process_update_event_msg, pm_process_update_event_msg)
MSGCODEC_DECLARE(pm_process_update_event_resp, pm_process_update_event_resp)

// connect(handle, status, ctx): status 0 connected, else the failure.
typedef void (*pm_connect_cb_t)(pm_handle_t h, int32_t status, void* ctx);
// disconnect(handle, reason, ctx): the connection went away; the library
// connects again by itself and reports it through the connect callback.
typedef void (*pm_disconnect_cb_t)(pm_handle_t h, int32_t reason, void* ctx);
typedef void (*pm_error_cb_t)(pm_handle_t h, int32_t code);
// service_control(handle, message, id): answer with pm_service_accept_role(.., id).
typedef void (*pm_service_control_cb_t)(pm_handle_t h, pm_service_control_msg* msg, uint32_t id);
// liveness(handle, status_out, ctx): write 0 into *status_out while alive.
typedef void (*pm_liveness_cb_t)(pm_handle_t h, uint64_t* status_out, void* ctx);
// process_update(handle, message, id): answer with pm_process_update_event_response(.., id).
typedef void (*pm_process_update_cb_t)(pm_handle_t h, pm_process_update_event_msg* msg,
                                       uint32_t id);

// A handle on `loop` in *h. flags: reserved (0). 0 or an error.
int pm_handle_create(pm_handle_t* h, evloop_t* loop, uint32_t flags);
// Closes the connection and frees the handle; allowed from its callbacks.
int pm_handle_destroy(pm_handle_t h);
int pm_set_tlg_parent_handle(pm_handle_t h, tlg_handle_t parent);

int pm_set_connect_callback(pm_handle_t h, pm_connect_cb_t cb);
int pm_set_disconnect_callback(pm_handle_t h, pm_disconnect_cb_t cb);
int pm_set_error_callback(pm_handle_t h, pm_error_cb_t cb);
int pm_set_service_control_callback(pm_handle_t h, pm_service_control_cb_t cb);
int pm_set_liveness_callback(pm_handle_t h, pm_liveness_cb_t cb);
int pm_set_process_update_callback(pm_handle_t h, pm_process_update_cb_t cb);

// Starts connecting; ctx is handed to the connect, disconnect and liveness
// callbacks. 0 when under way.
int pm_connect(pm_handle_t h, void* ctx);

// Acknowledges the service control `id`. flags: reserved (0). 0 when sent.
int pm_service_accept_role(pm_handle_t h, pm_accept_role_msg* msg, uint32_t flags, uint32_t id);
int pm_lib_service_ha_ready(pm_handle_t h, pm_ha_ready_msg* msg);
// Answers the process-update event `id`. `a` and `b` are reserved (1 and 0).
int pm_process_update_event_response(pm_handle_t h, pm_process_update_event_resp* resp,
                                     uint32_t a, uint32_t b, uint32_t id);

#ifdef __cplusplus
}
#endif

// Inventory service (inv_*): the client library by which a process reads the
// inventory: it registers for sensor events and FRU insertion/removal events
// that other processes publish, and asks for FRU power information and data
// groups. A client handle lives on one event loop; every callback runs there.
// The service is published in the directory service with scope 1 and the
// first attribute value 1; the endpoint filter picks an offer.
//
// Requests return INV_OK when they went out, else INV_FAILED; answers come to
// the response callbacks with the request's user context. Record fields have
// presence bits in field order (bit n: byte n / 8, mask 1 << n % 8).
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "inv_util.h"
#include "msgcodec.h"
#include "msgpipe.h"

#ifdef __cplusplus
extern "C" {
#endif

struct evloop;

#define INV_OK 0
#define INV_FAILED (-1)

#define INV_SERVICE_NAME "inv"
#define INV_DS_CLASS_NAME 1u

// Event numbers of sensor events.
#define INV_EVENT_OPER_STATE 2u
#define INV_EVENT_TEMPERATURE 3u
#define INV_EVENT_CURRENT 5u
#define INV_EVENT_ALTITUDE 16u

// FRU insertion and removal.
#define INV_FRU_OIR_INSERTED 1u
#define INV_FRU_OIR_REMOVED 2u

// Registration for the events of one kind of entity: every entity of `type`
// and `subtype` when `all` is 1.
typedef struct inv_event_reg_req {
  uint32_t type;       // 8 sensor, 9 card-level entity
  uint32_t subtype;
  uint8_t all;
  uint32_t event;      // INV_EVENT_*
  uint8_t present;
} inv_event_reg_req;

// Registration for FRU insertion and removal events. The four values select
// the events; they are the service's and sent unchanged.
typedef struct inv_fru_event_reg_req {
  char* client_name;
  uint32_t value1;
  uint32_t value2;
  uint32_t value3;
  uint32_t value4;
  uint8_t present;
} inv_fru_event_reg_req;

// A data request: FRU power information (type 5), a data group (type 8 and a
// sensor subtype) or the system power (type 6, subtype 1).
typedef struct inv_data_req {
  uint32_t type;
  uint32_t subtype;
  pelm_eid eid;
  uint8_t present;
} inv_data_req;

// Answer of a registration.
typedef struct inv_event_ack {
  uint32_t ack;        // 1 accepted
  uint8_t present;
} inv_event_ack;

// One FRU's power information.
typedef struct inv_fru_power_rec {
  pelm_eid eid;
  uint32_t power_allocated;   // W
  uint32_t fru_power_status;  // 2 or 4: powered on
  uint32_t hw_type;
  char* pid;
  uint8_t present;
} inv_fru_power_rec;

typedef struct inv_fru_power_list {
  inv_fru_power_rec* recs;
  uint32_t count;
  uint8_t present;
} inv_fru_power_list;

// Thresholds in the order of a threshold message.
typedef struct inv_threshold_data {
  int32_t minor_low;
  int32_t minor_high;
  int32_t major_low;
  int32_t major_high;
  int32_t critical_low;
  int32_t critical_high;
  uint8_t present;
} inv_threshold_data;

// A sensor's value as inventory holds it.
typedef struct inv_sensor_value {
  pelm_eid eid;
  char* name;
  int32_t value;
  int32_t last_value;
  uint32_t state;
  uint32_t last_state;
  int32_t update_rate;
  uint32_t oper_state;        // 1 up
  uint64_t timestamp;
  uint32_t data_word;
  inv_threshold_data thresholds;
  uint8_t thresholds_invalid;
  uint8_t present[2];
} inv_sensor_value;

// Where an entity is.
typedef struct inv_location {
  char* location;
  uint32_t slot;
  uint32_t card_type;         // card type of the location
  char* fru_name;
  uint8_t present;
} inv_location;

// Entity data of an oper-state event.
typedef struct inv_base_data {
  pelm_eid eid;
  inv_location location;
  char* name;
  uint32_t oper_state;        // raw oper state (1 up, 2 down, ...)
  uint8_t present;
} inv_base_data;

// A notification: the event number, the sensor value of value events, the
// entity data of oper-state events.
typedef struct inv_notify_event_data {
  uint32_t event;
  inv_sensor_value value;
  inv_base_data base;
  uint8_t present;
} inv_notify_event_data;

// Port-adapter data of a FRU event.
typedef struct inv_mpa_data {
  uint32_t slot_id;
  uint32_t pd_card_type;
  char* pid;
  pelm_eid fru_eid;
  uint8_t present;
} inv_mpa_data;

// A FRU insertion or removal.
typedef struct inv_fru_oir_event {
  uint32_t op;                // INV_FRU_OIR_*
  uint32_t fru_kind;          // 4 LC, 6 FC, 16 XC, 18 port adapter, ...
  uint32_t slot;
  uint32_t pi_type;           // card PI type (18 port adapter)
  pelm_eid cont_eid;          // the FRU's container
  inv_mpa_data mpa;
  uint8_t present;
} inv_fru_oir_event;

// A data group: the entities of one type and subtype.
typedef struct inv_data_group {
  uint32_t type;
  uint32_t subtype;
  inv_sensor_value* sensors;
  uint32_t sensor_count;
  uint8_t present;
} inv_data_group;

// Answer of a sensor-attribute request.
typedef struct inv_sensor_attribute {
  int32_t current_value;
  int32_t last_value;
  uint64_t timestamp;
  uint8_t present;
} inv_sensor_attribute;

MSGCODEC_DECLARE(inv_event_reg_req, inv_event_reg_req)
MSGCODEC_DECLARE(inv_fru_event_reg_req, inv_fru_event_reg_req)
MSGCODEC_DECLARE(inv_data_req, inv_data_req)
MSGCODEC_DECLARE(inv_event_ack, inv_event_ack)
MSGCODEC_DECLARE(inv_fru_power_rec, inv_fru_power_rec)
MSGCODEC_DECLARE(inv_fru_power_list, inv_fru_power_list)
MSGCODEC_DECLARE(inv_threshold_data, inv_threshold_data)
MSGCODEC_DECLARE(inv_sensor_value, inv_sensor_value)
MSGCODEC_DECLARE(inv_location, inv_location)
MSGCODEC_DECLARE(inv_base_data, inv_base_data)
MSGCODEC_DECLARE(inv_notify_event_data, inv_notify_event_data)
MSGCODEC_DECLARE(inv_mpa_data, inv_mpa_data)
MSGCODEC_DECLARE(inv_fru_oir_event, inv_fru_oir_event)
MSGCODEC_DECLARE(inv_data_group, inv_data_group)
MSGCODEC_DECLARE(inv_sensor_attribute, inv_sensor_attribute)

typedef struct inv_handle inv_handle_t;

typedef void (*inv_connect_cb_t)(inv_handle_t* handle, uint32_t error, void* ctx);
typedef void (*inv_disconnect_cb_t)(inv_handle_t* handle, uint32_t reason, void* ctx);
typedef void (*inv_error_cb_t)(inv_handle_t* handle, int32_t code);
typedef void (*inv_ds_endpoint_filter_cb_t)(inv_handle_t* handle, const ds_service_info* infos,
                                            uint32_t count);
// Answers: (handle, answer, final, error (non-zero: no answer came), user context).
typedef void (*inv_resp_event_cb_t)(inv_handle_t* handle, const inv_event_ack* ack,
                                    uint8_t final, int32_t error, uint64_t user_ctx);
typedef void (*inv_resp_fru_power_cb_t)(inv_handle_t* handle, const inv_fru_power_list* list,
                                        uint8_t final, int32_t error, uint64_t user_ctx);
typedef void (*inv_resp_data_group_cb_t)(inv_handle_t* handle, const inv_data_group* group,
                                         uint8_t final, int32_t error, uint64_t user_ctx);
typedef void (*inv_resp_sensor_attribute_cb_t)(inv_handle_t* handle,
                                               const inv_sensor_attribute* attr, uint8_t final,
                                               int32_t error, uint64_t user_ctx);
typedef void (*inv_notify_event_cb_t)(inv_handle_t* handle, const inv_notify_event_data* data);
typedef void (*inv_notify_fru_oir_cb_t)(inv_handle_t* handle, const inv_fru_oir_event* event);

int inv_handle_create(inv_handle_t** handle, struct evloop* loop, uint32_t flags);
int inv_handle_destroy(inv_handle_t* handle);
int inv_connect(inv_handle_t* handle, void* ctx);
int inv_connect_with_endpoint(inv_handle_t* handle, const msgpipe_endpoint* endpoint, void* ctx);
int inv_disconnect(inv_handle_t* handle, void* ctx);
msgpipe_handle_t* inv_get_transport(inv_handle_t* handle);

int inv_set_connect_callback(inv_handle_t* handle, inv_connect_cb_t cb);
int inv_set_disconnect_callback(inv_handle_t* handle, inv_disconnect_cb_t cb);
int inv_set_error_callback(inv_handle_t* handle, inv_error_cb_t cb);
int inv_set_ds_endpoint_filter_callback(inv_handle_t* handle, inv_ds_endpoint_filter_cb_t cb);
int inv_set_resp_register_event_callback(inv_handle_t* handle, inv_resp_event_cb_t cb);
int inv_set_resp_register_fru_event_callback(inv_handle_t* handle, inv_resp_event_cb_t cb);
int inv_set_resp_fru_power_info_callback(inv_handle_t* handle, inv_resp_fru_power_cb_t cb);
int inv_set_resp_eid_group_callback(inv_handle_t* handle, inv_resp_data_group_cb_t cb);
int inv_set_resp_sensor_attribute_callback(inv_handle_t* handle,
                                           inv_resp_sensor_attribute_cb_t cb);
int inv_set_notify_event_callback(inv_handle_t* handle, inv_notify_event_cb_t cb);
int inv_set_notify_fru_oir_event_callback(inv_handle_t* handle, inv_notify_fru_oir_cb_t cb);

int inv_register_event(inv_handle_t* handle, const inv_event_reg_req* req, uint64_t user_ctx);
int inv_register_fru_event(inv_handle_t* handle, const inv_fru_event_reg_req* req,
                           uint64_t user_ctx);
int inv_req_fru_power_info(inv_handle_t* handle, const inv_data_req* req, uint64_t user_ctx);
int inv_retrieve_inv_data_group(inv_handle_t* handle, const inv_data_req* req,
                                uint64_t user_ctx);

#ifdef __cplusplus
}
#endif

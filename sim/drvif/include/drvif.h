// Platform-driver interface (drvif_*): the service through which the
// monitoring server and the test tool reach the platform drivers, and through
// which a driver process (the power-supply plug-ins, a fake driver of a test,
// the simulator) serves one driver.
//
// Discovery: every driver publishes the directory-service service "drvif"
// with its scope (1 rack, 3 node) and attributes; the value of the first
// attribute is the driver index it serves (0-16). A client watches "drvif";
// its endpoint filter callback (or, without one, the first entry whose first
// attribute is the index given to drvif_connect) picks the endpoint, and
// drvif_connect_with_endpoint connects to it.
//
// Wire: one msgpipe message per frame, the request layer's frame (big-endian
// length of the capi_header, the header, the payload record of the message's
// type). The client introduces itself with the request layer's INIT; the
// server answers with INIT, after which the client reports connect status 0.
// A request carries a request id; its answer carries the same id, which gives
// the caller's cookie back.
//
// Records: plain structs whose presence bits lie in the `present` member after
// the fields (bit n is byte n / 8, mask 1 << n % 8) as the field tables of
// drvif_records.cpp give them; lists are a pointer and a count with one bit.
// Records handed to callbacks belong to the library for the call.
//
// Results of the calls: 0 done or sent; DRVIF_ERR_FLOW_CONTROL when the
// connection's send queue is full (send again after a while);
// DRVIF_ERR_NOT_CONNECTED; DRVIF_ERR_FAILED for bad arguments or a record
// that cannot be encoded.
#pragma once

#include <stdint.h>

#include "evloop.h"
#include "inv_util.h"
#include "msgcodec.h"
#include "msgpipe.h"

#ifdef __cplusplus
extern "C" {
#endif

#define DRVIF_OK 0
#define DRVIF_ERR_FAILED (-1)
#define DRVIF_ERR_FLOW_CONTROL (-3)
#define DRVIF_ERR_NOT_CONNECTED (-9)

#define DRVIF_SERVICE_NAME "drvif"
#define DRVIF_MAX_DRIVERS 17

// ---------------------------------------------------------------------------
// Records.

// Entity registration (drvif_eid_register / drvif_eid_unregister): three
// parallel lists, bits 0 op, 1 pt (entity type), 2 rt.
typedef struct drvif_eid_register_req {
  uint32_t* op;
  uint32_t op_count;
  uint32_t* pt;
  uint32_t pt_count;
  uint32_t* rt;
  uint32_t rt_count;
  uint8_t present;
} drvif_eid_register_req;

// Answer of a registration: one ack per op (bit 0). Ack 14: no power tray.
typedef struct drvif_eid_register_resp {
  uint32_t* ack;
  uint32_t ack_count;
  uint8_t present;
} drvif_eid_register_resp;

// Polling configuration: bits 0 op (3 start, 4 stop), 1 eids, 2 deltas,
// 3 intervals; the lists are parallel.
typedef struct drvif_eid_config_polling_req {
  uint32_t op;
  pelm_eid* eid;
  uint32_t eid_count;
  uint32_t* delta;
  uint32_t delta_count;
  uint32_t* interval;
  uint32_t interval_count;
  uint8_t present;
} drvif_eid_config_polling_req;

// Answer of a request about entity ids: bits 0 eids, 1 acks (one per eid),
// 2 a text. Ack 0 accepted.
typedef struct drvif_eid_ack_resp {
  pelm_eid* eid;
  uint32_t eid_count;
  uint32_t* ack;
  uint32_t ack_count;
  char* text;
  uint8_t present;
} drvif_eid_ack_resp;

// One sensor reading. Bits: 0 eid, 1 value, 2 sensor type, 3 hardware event
// (0x10 up, 0x20 not available, 0x40 down), 4 fault event, 5 warning event,
// 6 timestamp (s), 7 scale (8 thousandths, 9 units); 8 first auxiliary word
// (the power drivers' precision), 9 second auxiliary word, 10 operational
// state (1 valid reading), 11 a spare word, 12 minor-low and 13 minor-high
// thresholds.
typedef struct drvif_sensor_data_rec {
  pelm_eid eid;
  int32_t value;
  uint64_t sensor_type;
  uint32_t hw_event;
  uint32_t fault_event;
  uint32_t warning_event;
  uint64_t timestamp;
  uint32_t scale;
  uint32_t aux1;
  uint32_t aux2;
  int32_t oper_state;
  uint32_t spare;
  int32_t thr_minor_low;
  int32_t thr_minor_high;
  uint8_t present[2];
} drvif_sensor_data_rec;

// Sensor-data notification (or answer): bits 0 records, 1 results.
typedef struct drvif_sensor_data_msg {
  drvif_sensor_data_rec* data;
  uint32_t data_count;
  uint32_t* result;
  uint32_t result_count;
  uint8_t present;
} drvif_sensor_data_msg;

// One LED reading: bits 0 eid, 1 LED status, 2 hardware event, 3 fault
// event, 4 warning event, 5 timestamp.
typedef struct drvif_led_data_rec {
  pelm_eid eid;
  uint32_t led_status;
  uint32_t hw_event;
  uint32_t fault_event;
  uint32_t warning_event;
  uint64_t timestamp;
  uint8_t present;
} drvif_led_data_rec;

// LED-data notification: bits 0 records, 1 results.
typedef struct drvif_led_data_msg {
  drvif_led_data_rec* data;
  uint32_t data_count;
  uint32_t* result;
  uint32_t result_count;
  uint8_t present;
} drvif_led_data_msg;

// One entity's data (presence, identity, faults). Bits: 0 eid, 1 board id,
// 2 serial text, 3 state word (0x1 present, 0x2 removed), 4 fault word,
// 5 warning word, 6 IDPROM image, 7 misc word (hours used); 8 first text
// (removal reason), 9 second text, 10 hardware version major, 11 minor,
// 12 auxiliary word.
typedef struct drvif_eid_data_rec {
  pelm_eid eid;
  uint32_t board_id;
  char* serial;
  uint32_t state;
  uint32_t fault;
  uint32_t warning;
  uint8_t* idprom;
  uint32_t idprom_len;
  uint32_t misc;
  char* text1;
  char* text2;
  uint32_t hw_major;
  uint32_t hw_minor;
  uint32_t aux;
  uint8_t present[2];
} drvif_eid_data_rec;

// Entity-data notification: bits 0 records, 1 a list of words not used by
// the clients.
typedef struct drvif_eid_data_msg {
  drvif_eid_data_rec* data;
  uint32_t data_count;
  uint32_t* extra;
  uint32_t extra_count;
  uint8_t present;
} drvif_eid_data_msg;

// One FPD's data. Bits: 0 eid, 1 upgradable, 2 upgrade state (0 none,
// 1 requested, 2 in progress, 3 success, 4 and 5 failed), 3/4 hardware
// version, 7/8 running version, 11/12 installed version, 13 timestamp,
// 14 image size, 15 progress (%); 16 fault text, 17 second (status) text.
typedef struct drvif_fpga_data_rec {
  pelm_eid eid;
  uint32_t upgradable;
  uint32_t upgrade_state;
  uint32_t hw_major;
  uint32_t hw_minor;
  uint32_t fw_major;
  uint32_t fw_minor;
  uint32_t inst_major;
  uint32_t inst_minor;
  uint64_t timestamp;
  uint64_t fpd_size;
  uint32_t progress;
  char* fault_text;
  char* status_text;
  uint8_t present[3];
} drvif_fpga_data_rec;

// FPGA-data notification or answer of a get-info request: bits 0 records,
// 1 response codes (one per record).
typedef struct drvif_fpga_data_msg {
  drvif_fpga_data_rec* data;
  uint32_t data_count;
  uint32_t* resp;
  uint32_t resp_count;
  uint8_t present;
} drvif_fpga_data_msg;

// A list of entity ids (get-FPGA-info request, ...): bit 0.
typedef struct drvif_eid_list_req {
  pelm_eid* eid;
  uint32_t eid_count;
  uint8_t present;
} drvif_eid_list_req;

// One FPD to upgrade: bits 0 eid, 1 image path, 2 requested major, 3 minor,
// 4 toggle.
typedef struct drvif_fpga_set_rec {
  pelm_eid eid;
  char* path;
  uint32_t req_major;
  uint32_t req_minor;
  uint8_t toggle;
  uint8_t present;
} drvif_fpga_set_rec;

// Set-FPGA-info request: bits 0 entries, 1 operations (12 upgrade).
typedef struct drvif_set_fpga_info_req {
  drvif_fpga_set_rec* entry;
  uint32_t entry_count;
  uint32_t* op;
  uint32_t op_count;
  uint8_t present;
} drvif_set_fpga_info_req;

// One sensor to set: bits 0 eid, 1 op, 2 value, 3 kind (13 fan PWM), 4 and 5
// further words.
typedef struct drvif_set_sensor_rec {
  pelm_eid eid;
  uint32_t op;
  uint32_t value;
  uint32_t kind;
  uint32_t word4;
  uint32_t word5;
  uint8_t present;
} drvif_set_sensor_rec;

// Set-sensor request (normal and auxiliary): bit 0 entries.
typedef struct drvif_set_sensor_req {
  drvif_set_sensor_rec* entry;
  uint32_t entry_count;
  uint8_t present;
} drvif_set_sensor_req;

// Shut-slot request: bit 0 slot.
typedef struct drvif_shut_slot_req {
  uint32_t slot;
  uint8_t present;
} drvif_shut_slot_req;

// Rack-number request: bit 0 rack.
typedef struct drvif_rack_num_req {
  uint32_t rack;
  uint8_t present;
} drvif_rack_num_req;

// Acknowledgement of an FPGA-data notification: bit 0 a word no client sets.
typedef struct drvif_notif_ack {
  uint32_t reserved;
  uint8_t present;
} drvif_notif_ack;

MSGCODEC_DECLARE(drvif_eid_register_req, drvif_eid_register_req)
MSGCODEC_DECLARE(drvif_eid_register_resp, drvif_eid_register_resp)
MSGCODEC_DECLARE(drvif_eid_config_polling_req, drvif_eid_config_polling_req)
MSGCODEC_DECLARE(drvif_eid_ack_resp, drvif_eid_ack_resp)
MSGCODEC_DECLARE(drvif_sensor_data_rec, drvif_sensor_data_rec)
MSGCODEC_DECLARE(drvif_sensor_data_msg, drvif_sensor_data_msg)
MSGCODEC_DECLARE(drvif_led_data_rec, drvif_led_data_rec)
MSGCODEC_DECLARE(drvif_led_data_msg, drvif_led_data_msg)
MSGCODEC_DECLARE(drvif_eid_data_rec, drvif_eid_data_rec)
MSGCODEC_DECLARE(drvif_eid_data_msg, drvif_eid_data_msg)
MSGCODEC_DECLARE(drvif_fpga_data_rec, drvif_fpga_data_rec)
MSGCODEC_DECLARE(drvif_fpga_data_msg, drvif_fpga_data_msg)
MSGCODEC_DECLARE(drvif_eid_list_req, drvif_eid_list_req)
MSGCODEC_DECLARE(drvif_fpga_set_rec, drvif_fpga_set_rec)
MSGCODEC_DECLARE(drvif_set_fpga_info_req, drvif_set_fpga_info_req)
MSGCODEC_DECLARE(drvif_set_sensor_rec, drvif_set_sensor_rec)
MSGCODEC_DECLARE(drvif_set_sensor_req, drvif_set_sensor_req)
MSGCODEC_DECLARE(drvif_shut_slot_req, drvif_shut_slot_req)
MSGCODEC_DECLARE(drvif_rack_num_req, drvif_rack_num_req)
MSGCODEC_DECLARE(drvif_notif_ack, drvif_notif_ack)

// ---------------------------------------------------------------------------
// Client side.

typedef struct drvif_handle drvif_handle_t;

typedef void (*drvif_connect_cb_t)(drvif_handle_t* h, uint32_t status, uint64_t ctx);
typedef void (*drvif_disconnect_cb_t)(drvif_handle_t* h, uint32_t reason, uint64_t ctx);
typedef void (*drvif_error_cb_t)(drvif_handle_t* h, int32_t code);
typedef void (*drvif_ds_endpoint_filter_cb_t)(drvif_handle_t* h, const ds_service_info* endpoints,
                                              uint32_t count);
typedef void (*drvif_resp_eid_register_cb_t)(drvif_handle_t* h, const drvif_eid_register_resp* m,
                                             uint8_t final, int32_t status, uint64_t cookie);
typedef void (*drvif_resp_eid_ack_cb_t)(drvif_handle_t* h, const drvif_eid_ack_resp* m,
                                        uint8_t final, int32_t status, uint64_t cookie);
typedef void (*drvif_resp_fpga_info_cb_t)(drvif_handle_t* h, const drvif_fpga_data_msg* m,
                                          uint8_t final, int32_t status, uint64_t cookie);
typedef void (*drvif_notify_sensor_data_cb_t)(drvif_handle_t* h, const drvif_sensor_data_msg* m);
typedef void (*drvif_notify_led_data_cb_t)(drvif_handle_t* h, const drvif_led_data_msg* m);
typedef void (*drvif_notify_eid_data_cb_t)(drvif_handle_t* h, const drvif_eid_data_msg* m);
typedef void (*drvif_notify_fpga_data_cb_t)(drvif_handle_t* h, const drvif_fpga_data_msg* m,
                                            uint64_t cookie);

// Fills *slot with a new handle on the loop. 0 on success.
int drvif_handle_create(drvif_handle_t** slot, evloop_t* loop, uint32_t flags);
// Closes and frees the handle; allowed from inside its callbacks.
int drvif_handle_destroy(drvif_handle_t* h);
// Starts the lookup of the drivers and the connection to driver `index`;
// connect(h, status, index) follows. Reconnects by itself after a loss.
int drvif_connect(drvif_handle_t* h, uint32_t index);
// Connects to one published endpoint (from the endpoint filter).
int drvif_connect_with_endpoint(drvif_handle_t* h, const msgpipe_endpoint* endpoint,
                                uint32_t index);
// Closes the connection; no reconnection follows until drvif_connect.
int drvif_disconnect(drvif_handle_t* h);
msgpipe_handle_t* drvif_get_transport(drvif_handle_t* h);

void drvif_set_connect_callback(drvif_handle_t* h, drvif_connect_cb_t cb);
void drvif_set_disconnect_callback(drvif_handle_t* h, drvif_disconnect_cb_t cb);
void drvif_set_error_callback(drvif_handle_t* h, drvif_error_cb_t cb);
void drvif_set_resp_set_sensor_info_callback(drvif_handle_t* h, drvif_resp_eid_ack_cb_t cb);
void drvif_set_resp_eid_config_polling_callback(drvif_handle_t* h, drvif_resp_eid_ack_cb_t cb);
void drvif_set_notify_eid_data_callback(drvif_handle_t* h, drvif_notify_eid_data_cb_t cb);
void drvif_set_notify_sensor_data_callback(drvif_handle_t* h, drvif_notify_sensor_data_cb_t cb);
void drvif_set_ds_endpoint_filter_callback(drvif_handle_t* h, drvif_ds_endpoint_filter_cb_t cb);
void drvif_set_resp_eid_register_callback(drvif_handle_t* h, drvif_resp_eid_register_cb_t cb);
void drvif_set_resp_get_fpga_info_callback(drvif_handle_t* h, drvif_resp_fpga_info_cb_t cb);
void drvif_set_resp_set_fpga_info_callback(drvif_handle_t* h, drvif_resp_eid_ack_cb_t cb);
void drvif_set_notify_fpga_data_callback(drvif_handle_t* h, drvif_notify_fpga_data_cb_t cb);
void drvif_set_notify_led_data_callback(drvif_handle_t* h, drvif_notify_led_data_cb_t cb);
void drvif_set_resp_set_auxiliary_sensor_info_callback(drvif_handle_t* h,
                                                       drvif_resp_eid_ack_cb_t cb);

// Requests; `cookie` comes back with the answer.
int drvif_eid_register(drvif_handle_t* h, const drvif_eid_register_req* req, uint64_t cookie);
// Not answered.
int drvif_eid_unregister(drvif_handle_t* h, const drvif_eid_register_req* req, uint64_t cookie);
int drvif_eid_config_polling(drvif_handle_t* h, const drvif_eid_config_polling_req* req,
                             uint64_t cookie);
int drvif_set_sensor_info(drvif_handle_t* h, const drvif_set_sensor_req* req, uint64_t cookie);
int drvif_set_auxiliary_sensor_info(drvif_handle_t* h, const drvif_set_sensor_req* req,
                                    uint64_t cookie);
int drvif_get_fpga_info(drvif_handle_t* h, const drvif_eid_list_req* req, uint64_t cookie);
int drvif_set_fpga_info(drvif_handle_t* h, const drvif_set_fpga_info_req* req, uint64_t cookie);
// Not answered.
int drvif_set_shut_slot_info(drvif_handle_t* h, const drvif_shut_slot_req* req, uint64_t cookie);
int drvif_send_rack_num(drvif_handle_t* h, const drvif_rack_num_req* req);
// Acknowledges an FPGA-data notification (its cookie).
int drvif_receive_notif_fpga_data(drvif_handle_t* h, const drvif_notif_ack* ack, uint8_t final,
                                  int32_t status, uint64_t cookie);

// ---------------------------------------------------------------------------
// Server side: one driver served to its clients.

typedef struct drvif_server_handle drvif_server_handle_t;
typedef struct drvif_client_handle drvif_client_handle_t;

// Activation: where to listen and what to publish. The capabilities are the
// published attributes (id, value), in order: the first one's value is the
// driver index; the value of capability id 1, when present, is the scope
// (default 1, rack).
typedef struct drvif_capability {
  uint32_t id;
  uint32_t value;
} drvif_capability;

typedef struct drvif_server_activation {
  uint32_t node_address;  // IPv4 to listen on (0: 127.0.0.1)
  uint32_t port;          // 0: any free port
  uint32_t version;
  drvif_capability* capability;
  uint32_t capability_count;
} drvif_server_activation;

typedef void (*drvif_server_connect_cb_t)(drvif_client_handle_t* c, void* reserved,
                                          int32_t status);
typedef void (*drvif_server_disconnect_cb_t)(drvif_client_handle_t* c, int32_t status);
typedef void (*drvif_server_error_cb_t)(drvif_client_handle_t* c, void* reserved, int32_t code);
typedef void (*drvif_server_eid_register_cb_t)(drvif_client_handle_t* c,
                                               const drvif_eid_register_req* req, uint32_t id);
typedef void (*drvif_server_eid_config_polling_cb_t)(drvif_client_handle_t* c,
                                                     const drvif_eid_config_polling_req* req,
                                                     uint32_t id);
typedef void (*drvif_server_set_sensor_info_cb_t)(drvif_client_handle_t* c,
                                                  const drvif_set_sensor_req* req, uint32_t id);
typedef void (*drvif_server_eid_list_cb_t)(drvif_client_handle_t* c, const drvif_eid_list_req* req,
                                           uint32_t id);
typedef void (*drvif_server_set_fpga_info_cb_t)(drvif_client_handle_t* c,
                                                const drvif_set_fpga_info_req* req, uint32_t id);
typedef void (*drvif_server_shut_slot_cb_t)(drvif_client_handle_t* c,
                                            const drvif_shut_slot_req* req, uint32_t id);
typedef void (*drvif_server_rack_num_cb_t)(drvif_client_handle_t* c, const drvif_rack_num_req* req,
                                           uint32_t id);
typedef void (*drvif_server_notif_ack_cb_t)(drvif_client_handle_t* c, const drvif_notif_ack* ack,
                                            uint32_t id);

int drvif_server_handle_create(drvif_server_handle_t** out, evloop_t* loop, uint32_t flags);
void drvif_server_handle_destroy(drvif_server_handle_t* h);
// The instance name the service is published under ("PWR").
int drvif_server_set_service_instance(drvif_server_handle_t* h, const char* instance);
// Listens and publishes. 0, or negative when it cannot listen or reach the
// directory service.
int drvif_server_activate(drvif_server_handle_t* h, const drvif_server_activation* activation);
// Withdraws the publication and closes every client connection.
int drvif_server_deactivate(drvif_server_handle_t* h);
// The endpoint listened on (after activation).
int drvif_server_get_endpoint(const drvif_server_handle_t* h, msgpipe_endpoint* endpoint);

void drvif_server_set_connect_callback(drvif_server_handle_t* h, drvif_server_connect_cb_t cb);
void drvif_server_set_disconnect_callback(drvif_server_handle_t* h,
                                          drvif_server_disconnect_cb_t cb);
void drvif_server_set_error_callback(drvif_server_handle_t* h, drvif_server_error_cb_t cb);
void drvif_server_set_eid_register_callback(drvif_server_handle_t* h,
                                            drvif_server_eid_register_cb_t cb);
void drvif_server_set_eid_unregister_callback(drvif_server_handle_t* h,
                                              drvif_server_eid_register_cb_t cb);
void drvif_server_set_eid_config_polling_callback(drvif_server_handle_t* h,
                                                  drvif_server_eid_config_polling_cb_t cb);
void drvif_server_set_set_sensor_info_callback(drvif_server_handle_t* h,
                                               drvif_server_set_sensor_info_cb_t cb);
void drvif_server_set_set_auxiliary_sensor_info_callback(drvif_server_handle_t* h,
                                                         drvif_server_set_sensor_info_cb_t cb);
void drvif_server_set_get_fpga_info_callback(drvif_server_handle_t* h,
                                             drvif_server_eid_list_cb_t cb);
void drvif_server_set_set_fpga_info_callback(drvif_server_handle_t* h,
                                             drvif_server_set_fpga_info_cb_t cb);
void drvif_server_set_set_shut_slot_info_callback(drvif_server_handle_t* h,
                                                  drvif_server_shut_slot_cb_t cb);
void drvif_server_set_send_rack_num_callback(drvif_server_handle_t* h,
                                             drvif_server_rack_num_cb_t cb);
void drvif_server_set_notif_fpga_data_ack_callback(drvif_server_handle_t* h,
                                                   drvif_server_notif_ack_cb_t cb);

// The server a client connection belongs to, and a context of the server's user.
drvif_server_handle_t* drvif_client_get_server(const drvif_client_handle_t* c);
void drvif_server_set_user_context(drvif_server_handle_t* h, void* ctx);
void* drvif_server_get_user_context(const drvif_server_handle_t* h);
// Closes one client connection (the disconnect callback follows).
void drvif_client_handle_destroy(drvif_client_handle_t* c);
// Queue bound of one client connection's sends (flow control in tests).
int drvif_client_set_send_queue_limit(drvif_client_handle_t* c, uint32_t max_messages,
                                      uint32_t max_bytes);

// Answers (`id` is the request's) and notifications.
int drvif_resp_eid_register(drvif_client_handle_t* c, const drvif_eid_register_resp* resp,
                            uint8_t final, int32_t status, uint32_t id);
int drvif_resp_eid_config_polling(drvif_client_handle_t* c, const drvif_eid_ack_resp* resp,
                                  uint8_t final, int32_t status, uint32_t id);
int drvif_resp_set_sensor_info(drvif_client_handle_t* c, const drvif_eid_ack_resp* resp,
                               uint8_t final, int32_t status, uint32_t id);
int drvif_resp_set_auxiliary_sensor_info(drvif_client_handle_t* c, const drvif_eid_ack_resp* resp,
                                         uint8_t final, int32_t status, uint32_t id);
int drvif_resp_get_fpga_info(drvif_client_handle_t* c, const drvif_fpga_data_msg* resp,
                             uint8_t final, int32_t status, uint32_t id);
int drvif_resp_set_fpga_info(drvif_client_handle_t* c, const drvif_eid_ack_resp* resp,
                             uint8_t final, int32_t status, uint32_t id);
int drvif_notify_eid_data(drvif_client_handle_t* c, const drvif_eid_data_msg* msg);
int drvif_notify_sensor_data(drvif_client_handle_t* c, const drvif_sensor_data_msg* msg);
int drvif_notify_led_data(drvif_client_handle_t* c, const drvif_led_data_msg* msg);
// `cookie` comes back with the client's acknowledgement.
int drvif_notify_fpga_data(drvif_client_handle_t* c, const drvif_fpga_data_msg* msg,
                           uint32_t cookie);

#ifdef __cplusplus
}
#endif

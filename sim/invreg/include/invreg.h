// Inventory registration (invreg_*): the client library by which a process
// registers entities and sensors with the inventory service and keeps their
// data there, and the records of its requests, answers and notifications.
//
// A client handle lives on one event loop; every callback runs on that loop.
// The service is published in the directory service once per scope (1 rack,
// 3 node) with the class-name attribute 1; the client's endpoint filter picks
// one offer and connects to it with invreg_connect_with_endpoint.
//
// Every request returns INVREG_OK when it went out, INVREG_FLOW_CONTROLLED when
// the connection is flow-controlled (the flow-resume callback follows once it
// takes data again) and INVREG_FAILED otherwise (not connected, bad record).
// A request with a user context gets its answer in the matching response
// callback with that context unchanged.
//
// Every record field has a presence bit, numbered in field order from 0 (bit n
// is byte n / 8, mask 1 << n % 8 of `present`); a sender sets the bit of each
// field it fills. Records are encoded with msgcodec (msgcodec_invreg_*).
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

// Results of the requests.
#define INVREG_OK 0
#define INVREG_FAILED (-1)
#define INVREG_FLOW_CONTROLLED (-3)

// Class name (first attribute value) of the service's directory offers.
#define INVREG_DS_CLASS_NAME 1u
// Directory-service name of the service.
#define INVREG_SERVICE_NAME "invreg"

// ---------------------------------------------------------------------------
// EEPROM data of an IDPROM entity (invreg_report_eeprom_data). Presence bits
// in the order of the INVREG_EEPROM_F_* numbers. Texts are terminated.
enum {
  INVREG_EEPROM_F_VERSION = 0,       // hardware version word
  INVREG_EEPROM_F_EEPROM_REV,        // revision of the EEPROM layout
  INVREG_EEPROM_F_BOARD_ID,          // hardware type
  INVREG_EEPROM_F_PID,
  INVREG_EEPROM_F_VID,
  INVREG_EEPROM_F_PCB_SERIAL,
  INVREG_EEPROM_F_CLEI,
  INVREG_EEPROM_F_PART_NUM,
  INVREG_EEPROM_F_DESCR,
  INVREG_EEPROM_F_HW_REV,
  INVREG_EEPROM_F_PCB_REV,
  INVREG_EEPROM_F_MFG_DATE,
  INVREG_EEPROM_F_SHIP_DATE,
  INVREG_EEPROM_F_ASSET_ID,
  INVREG_EEPROM_F_ASSET_ALIAS,
  INVREG_EEPROM_F_ASSET_FLAGS,
  INVREG_EEPROM_F_RAW,               // raw_eeprom and raw_eeprom_len
  INVREG_EEPROM_F_SIZE,
  INVREG_EEPROM_F_COUNT
};

typedef struct invreg_eeprom_data {
  uint32_t version;
  char eeprom_rev[16];
  uint32_t board_id;
  char pid[20];
  char vid[8];
  char pcb_serial[16];
  char clei[16];
  char part_num[32];
  char descr[96];
  char hw_rev[32];
  char pcb_rev[32];
  char mfg_date[56];
  char ship_date[56];
  char asset_id[16];
  char asset_alias[16];
  uint32_t asset_flags;
  const uint8_t* raw_eeprom;         // owned by the sender until the request is sent
  uint32_t raw_eeprom_len;
  uint32_t eeprom_size;
  uint8_t present[(INVREG_EEPROM_F_COUNT + 7) / 8];
} invreg_eeprom_data;

// ---------------------------------------------------------------------------
// Requests.

// Entity ids to register or unregister (invreg_register_eid, invreg_unregister_eid).
typedef struct invreg_eid_list_req {
  pelm_eid* eids;
  uint32_t eid_count;
  uint8_t present;
} invreg_eid_list_req;

// A container slot (invreg_register_container_eid).
typedef struct invreg_container_info {
  pelm_eid eid;
  uint32_t logic_slot;
  uint8_t present;
} invreg_container_info;

typedef struct invreg_container_req {
  invreg_container_info container;
  uint8_t present;
} invreg_container_req;

// A hardware event of an entity: on its own (invreg_report_event_data) and as
// the event of a FRU registration.
typedef struct invreg_event_data {
  pelm_eid eid;
  uint32_t event_type;   // 1 operational, 4 access failure, ...
  uint32_t event_state;
  char* descr;
  uint8_t present;
} invreg_event_data;

// A FRU and its type (invreg_register_fru_type).
typedef struct invreg_fru_type_req {
  pelm_eid eid;          // the FRU entity of the slot
  uint32_t fru_type;     // inventory hardware type (7 fan tray)
  uint32_t pd_type;      // card type code
  uint32_t slot;
  char* serial_num;
  uint32_t reg_flag;     // always 1
  char* name;            // product id
  invreg_event_data event;
  uint8_t present;
} invreg_fru_type_req;

// invreg_unregister_fru_type.
typedef struct invreg_fru_unreg_req {
  pelm_eid eid;
  uint32_t fru_type;
  uint32_t slot;
  uint8_t present;
} invreg_fru_unreg_req;

// Location text of a registered container (invreg_update_container_location).
typedef struct invreg_container_location_req {
  uint32_t id;           // left 0
  pelm_eid eid;
  char* location;
  uint8_t present;
} invreg_container_location_req;

// invreg_report_eeprom_data.
typedef struct invreg_eeprom_req {
  pelm_eid eid;
  invreg_eeprom_data eeprom;
  uint8_t present;
} invreg_eeprom_req;

// Six thresholds, in the order of the server's threshold set.
typedef struct invreg_threshold {
  int32_t critical_low;
  int32_t critical_high;
  int32_t major_low;
  int32_t major_high;
  int32_t minor_low;
  int32_t minor_high;
  uint8_t present;
} invreg_threshold;

// Sensor values (invreg_notify_sensor_*_data). `trap`: the value crossed a
// threshold and is to be reported as a trap.
typedef struct invreg_temp_data {
  pelm_eid eid;
  int32_t value;
  int32_t last_value;
  uint64_t timestamp;
  uint32_t pd_state;
  uint32_t pd_last_state;
  int32_t update_rate;
  uint8_t trap;
  invreg_threshold threshold;
  uint8_t present[2];
} invreg_temp_data;

typedef struct invreg_fan_data {
  pelm_eid eid;
  int32_t value;
  uint64_t timestamp;
  uint8_t trap;
  invreg_threshold threshold;
  uint8_t present;
} invreg_fan_data;

typedef struct invreg_voltage_data {
  pelm_eid eid;
  int32_t value;
  uint64_t timestamp;
  uint32_t alarm;        // raised voltage alarms
  uint8_t trap;
  uint8_t present;
} invreg_voltage_data;

// Current and power-usage values.
typedef struct invreg_sensor_data {
  pelm_eid eid;
  int32_t value;
  uint64_t timestamp;
  uint8_t trap;
  uint8_t present;
} invreg_sensor_data;

// invreg_report_led_status_data.
typedef struct invreg_led_status {
  pelm_eid eid;
  uint32_t led_kind;
  uint32_t color;
  uint64_t timestamp;
  uint8_t present;
} invreg_led_status;

// invreg_update_fru_power_info.
typedef struct invreg_fru_power_info {
  pelm_eid eid;
  uint32_t power_allocated;  // W
  int32_t status;            // inventory power status
  int32_t fru_current;
  uint8_t is_producer;
  uint8_t present;
} invreg_fru_power_info;

// invreg_update_system_power_info.
typedef struct invreg_system_power_info {
  pelm_eid eid;              // the chassis
  int32_t usable_pwr;
  int32_t prot_pwr;
  int32_t resrv_n_alloc_pwr;
  int32_t cnf_pwr_red_mode;
  int32_t act_pwr_red_mode;
  int32_t reserved;
  uint8_t present;
} invreg_system_power_info;

// invreg_update_eid_name.
typedef struct invreg_eid_name {
  uint32_t seq_num;
  pelm_eid eid;
  char* name;
  uint8_t present;
} invreg_eid_name;

// invreg_update_eid_descr.
typedef struct invreg_eid_descr {
  pelm_eid eid;
  char* descr;
  uint8_t present;
} invreg_eid_descr;

// invreg_update_fru_prefix.
typedef struct invreg_fru_prefix {
  pelm_eid eid;
  char* prefix;
  uint8_t present;
} invreg_fru_prefix;

// invreg_update_eid_base_data.
typedef struct invreg_eid_base_data {
  pelm_eid eid;
  uint8_t hidden;
  uint8_t present;
} invreg_eid_base_data;

// One entity's state; lists of them update oper, power-admin and power-oper
// states (invreg_update_entity_*_state).
typedef struct invreg_entity_state {
  pelm_eid eid;
  uint32_t state;
  uint8_t present;
} invreg_entity_state;

typedef struct invreg_entity_state_list {
  invreg_entity_state* entries;
  uint32_t count;
  uint8_t present;
} invreg_entity_state_list;

// Data of a field-programmable device (invreg_report_fpga_data, and the
// answer to the service's FPGA-data request).
typedef struct invreg_fpga_data {
  pelm_eid eid;
  uint32_t fpd_size;
  uint8_t is_upgradable;
  uint32_t hw_ver_major;
  uint32_t hw_ver_minor;
  uint32_t fpd_ver_major;
  uint32_t fpd_ver_minor;
  uint32_t spi_flash;
  uint32_t state;
  uint32_t fw_ver_major;
  uint32_t fw_ver_minor;
  uint32_t image_attr;
  uint8_t present[2];
} invreg_fpga_data;

// Status of a power module (invreg_report_pem_status_data).
typedef struct invreg_pem_status_data {
  pelm_eid eid;
  uint32_t hours_used;
  uint32_t fault_status;
  uint32_t psm_state;
  uint32_t pd_state;
  uint32_t capacity;     // W
  uint8_t present;
} invreg_pem_status_data;

// ---------------------------------------------------------------------------
// From the service.

// Acknowledgement of one entity.
typedef struct invreg_ack {
  pelm_eid eid;
  uint32_t ack;
  uint8_t present;
} invreg_ack;

// Acknowledgement of an entity-id list: parallel lists of ids and codes.
typedef struct invreg_multi_ack {
  pelm_eid* eids;
  uint32_t eid_count;
  uint32_t* acks;
  uint32_t ack_count;
  uint8_t present;
} invreg_multi_ack;

// Acknowledgement of a state-list update: one entry per entity.
typedef struct invreg_entity_state_ack {
  invreg_ack* entries;
  uint32_t count;
  uint8_t present;
} invreg_entity_state_ack;

// The service asks for the hardware state of a slot to be set.
typedef struct invreg_set_hw_state_req {
  uint32_t slot;
  uint32_t state;
  uint8_t present;
} invreg_set_hw_state_req;

// The answer: the slot's FRU entity, the state, and a result word.
typedef struct invreg_set_hw_state_resp {
  pelm_eid eid;
  uint32_t state;
  uint32_t result;
  uint8_t present;
} invreg_set_hw_state_resp;

// The service asks for the data of a field-programmable device.
typedef struct invreg_fpga_data_req {
  pelm_eid eid;
  uint8_t present;
} invreg_fpga_data_req;

// What a client says first on a connection: the scope of the offer it took.
typedef struct invreg_hello {
  uint32_t scope;
  uint8_t present;
} invreg_hello;

MSGCODEC_DECLARE(invreg_eeprom_data, invreg_eeprom_data)
MSGCODEC_DECLARE(invreg_hello, invreg_hello)
MSGCODEC_DECLARE(invreg_eid_list_req, invreg_eid_list_req)
MSGCODEC_DECLARE(invreg_container_info, invreg_container_info)
MSGCODEC_DECLARE(invreg_container_req, invreg_container_req)
MSGCODEC_DECLARE(invreg_event_data, invreg_event_data)
MSGCODEC_DECLARE(invreg_fru_type_req, invreg_fru_type_req)
MSGCODEC_DECLARE(invreg_fru_unreg_req, invreg_fru_unreg_req)
MSGCODEC_DECLARE(invreg_container_location_req, invreg_container_location_req)
MSGCODEC_DECLARE(invreg_eeprom_req, invreg_eeprom_req)
MSGCODEC_DECLARE(invreg_threshold, invreg_threshold)
MSGCODEC_DECLARE(invreg_temp_data, invreg_temp_data)
MSGCODEC_DECLARE(invreg_fan_data, invreg_fan_data)
MSGCODEC_DECLARE(invreg_voltage_data, invreg_voltage_data)
MSGCODEC_DECLARE(invreg_sensor_data, invreg_sensor_data)
MSGCODEC_DECLARE(invreg_led_status, invreg_led_status)
MSGCODEC_DECLARE(invreg_fru_power_info, invreg_fru_power_info)
MSGCODEC_DECLARE(invreg_system_power_info, invreg_system_power_info)
MSGCODEC_DECLARE(invreg_eid_name, invreg_eid_name)
MSGCODEC_DECLARE(invreg_eid_descr, invreg_eid_descr)
MSGCODEC_DECLARE(invreg_fru_prefix, invreg_fru_prefix)
MSGCODEC_DECLARE(invreg_eid_base_data, invreg_eid_base_data)
MSGCODEC_DECLARE(invreg_entity_state, invreg_entity_state)
MSGCODEC_DECLARE(invreg_entity_state_list, invreg_entity_state_list)
MSGCODEC_DECLARE(invreg_fpga_data, invreg_fpga_data)
MSGCODEC_DECLARE(invreg_pem_status_data, invreg_pem_status_data)
MSGCODEC_DECLARE(invreg_ack, invreg_ack)
MSGCODEC_DECLARE(invreg_multi_ack, invreg_multi_ack)
MSGCODEC_DECLARE(invreg_entity_state_ack, invreg_entity_state_ack)
MSGCODEC_DECLARE(invreg_set_hw_state_req, invreg_set_hw_state_req)
MSGCODEC_DECLARE(invreg_set_hw_state_resp, invreg_set_hw_state_resp)
MSGCODEC_DECLARE(invreg_fpga_data_req, invreg_fpga_data_req)

// ---------------------------------------------------------------------------
// Client handle and callbacks.

typedef struct invreg_handle invreg_handle_t;

// Connection outcome (error 0: connected) and its end.
typedef void (*invreg_connect_cb_t)(invreg_handle_t* handle, uint32_t error, void* ctx);
typedef void (*invreg_disconnect_cb_t)(invreg_handle_t* handle, uint32_t reason, void* ctx);
typedef void (*invreg_error_cb_t)(invreg_handle_t* handle, int32_t code);
// The connection takes data again after INVREG_FLOW_CONTROLLED.
typedef void (*invreg_flow_resume_cb_t)(invreg_handle_t* handle);
// The directory service's offers of the service (possibly none).
typedef void (*invreg_ds_endpoint_filter_cb_t)(invreg_handle_t* handle,
                                               const ds_service_info* infos, uint32_t count);
// Answers: (handle, answer, final, error (non-zero: no answer came), user context).
typedef void (*invreg_resp_multi_ack_cb_t)(invreg_handle_t* handle, const invreg_multi_ack* ack,
                                           uint8_t final, int32_t error, uint64_t user_ctx);
typedef void (*invreg_resp_ack_cb_t)(invreg_handle_t* handle, const invreg_ack* ack,
                                     uint8_t final, int32_t error, uint64_t user_ctx);
typedef void (*invreg_resp_state_ack_cb_t)(invreg_handle_t* handle,
                                           const invreg_entity_state_ack* ack, uint8_t final,
                                           int32_t error, uint64_t user_ctx);
// Status of a sensor-data notification.
typedef void (*invreg_data_update_status_cb_t)(invreg_handle_t* handle, const invreg_ack* ack);
// Requests of the service; answered with invreg_resp_set_hw_state /
// invreg_resp_fpga_data and the request argument given here.
typedef void (*invreg_set_hw_state_cb_t)(invreg_handle_t* handle,
                                         const invreg_set_hw_state_req* req, uint64_t req_arg);
typedef void (*invreg_get_fpga_data_cb_t)(invreg_handle_t* handle, const pelm_eid* eid,
                                          uint64_t req_ctx);

// 0 and a handle on `loop`; non-zero on failure. flags: reserved.
int invreg_handle_create(invreg_handle_t** handle, struct evloop* loop, uint32_t flags);
// Closes the connection and frees the handle (allowed from its callbacks).
int invreg_handle_destroy(invreg_handle_t* handle);
// Starts looking for the service (the endpoint filter picks the offer); ctx is
// given to the connect and disconnect callbacks. 0 when started.
int invreg_connect(invreg_handle_t* handle, void* ctx);
// Connects to this endpoint. 0 when the connection was started.
int invreg_connect_with_endpoint(invreg_handle_t* handle, const msgpipe_endpoint* endpoint,
                                 void* ctx);
// Ends the connection without looking for the service again. 0 or non-zero.
int invreg_disconnect(invreg_handle_t* handle, void* ctx);
// The connection's transport.
msgpipe_handle_t* invreg_get_transport(invreg_handle_t* handle);

// Callback setters: 0, or non-zero for a null handle.
int invreg_set_connect_callback(invreg_handle_t* handle, invreg_connect_cb_t cb);
int invreg_set_disconnect_callback(invreg_handle_t* handle, invreg_disconnect_cb_t cb);
int invreg_set_error_callback(invreg_handle_t* handle, invreg_error_cb_t cb);
int invreg_set_flow_resume_callback(invreg_handle_t* handle, invreg_flow_resume_cb_t cb);
int invreg_set_ds_endpoint_filter_callback(invreg_handle_t* handle,
                                           invreg_ds_endpoint_filter_cb_t cb);
int invreg_set_resp_register_eid_callback(invreg_handle_t* handle, invreg_resp_multi_ack_cb_t cb);
int invreg_set_resp_unregister_eid_callback(invreg_handle_t* handle,
                                            invreg_resp_multi_ack_cb_t cb);
int invreg_set_resp_report_eeprom_data_callback(invreg_handle_t* handle, invreg_resp_ack_cb_t cb);
int invreg_set_resp_register_container_eid_callback(invreg_handle_t* handle,
                                                    invreg_resp_ack_cb_t cb);
int invreg_set_resp_register_fru_type_callback(invreg_handle_t* handle, invreg_resp_ack_cb_t cb);
int invreg_set_resp_unregister_fru_type_callback(invreg_handle_t* handle,
                                                 invreg_resp_ack_cb_t cb);
int invreg_set_set_hw_state_callback(invreg_handle_t* handle, invreg_set_hw_state_cb_t cb);
int invreg_set_resp_update_container_location_callback(invreg_handle_t* handle,
                                                       invreg_resp_ack_cb_t cb);
int invreg_set_notify_data_update_status_callback(invreg_handle_t* handle,
                                                  invreg_data_update_status_cb_t cb);
int invreg_set_resp_report_pem_status_data_callback(invreg_handle_t* handle,
                                                    invreg_resp_ack_cb_t cb);
int invreg_set_get_fpga_data_callback(invreg_handle_t* handle, invreg_get_fpga_data_cb_t cb);
int invreg_set_resp_report_fpga_data_callback(invreg_handle_t* handle, invreg_resp_ack_cb_t cb);
int invreg_set_resp_report_led_status_data_callback(invreg_handle_t* handle,
                                                    invreg_resp_ack_cb_t cb);
int invreg_set_resp_update_eid_descr_callback(invreg_handle_t* handle, invreg_resp_ack_cb_t cb);
int invreg_set_resp_update_eid_name_callback(invreg_handle_t* handle, invreg_resp_ack_cb_t cb);
int invreg_set_resp_update_system_power_info_callback(invreg_handle_t* handle,
                                                      invreg_resp_ack_cb_t cb);
int invreg_set_resp_update_fru_power_info_callback(invreg_handle_t* handle,
                                                   invreg_resp_ack_cb_t cb);
int invreg_set_resp_update_fru_prefix_callback(invreg_handle_t* handle, invreg_resp_ack_cb_t cb);
int invreg_set_resp_update_entity_state_callback(invreg_handle_t* handle,
                                                 invreg_resp_state_ack_cb_t cb);
int invreg_set_resp_report_event_data_callback(invreg_handle_t* handle, invreg_resp_ack_cb_t cb);

// Requests (INVREG_OK, INVREG_FLOW_CONTROLLED or INVREG_FAILED).
int invreg_register_eid(invreg_handle_t* handle, const invreg_eid_list_req* req,
                        uint64_t user_ctx);
int invreg_unregister_eid(invreg_handle_t* handle, const invreg_eid_list_req* req,
                          uint64_t user_ctx);
int invreg_register_container_eid(invreg_handle_t* handle, const invreg_container_req* req,
                                  uint64_t user_ctx);
int invreg_register_fru_type(invreg_handle_t* handle, const invreg_fru_type_req* req,
                             uint64_t user_ctx);
int invreg_unregister_fru_type(invreg_handle_t* handle, const invreg_fru_unreg_req* req,
                               uint64_t user_ctx);
int invreg_update_container_location(invreg_handle_t* handle,
                                     const invreg_container_location_req* req, uint64_t user_ctx);
int invreg_report_eeprom_data(invreg_handle_t* handle, const invreg_eeprom_req* req,
                              uint64_t user_ctx);
// Sensor values: answered through the data-update-status callback.
int invreg_notify_sensor_temp_data(invreg_handle_t* handle, const invreg_temp_data* data);
int invreg_notify_sensor_fan_data(invreg_handle_t* handle, const invreg_fan_data* data);
int invreg_notify_sensor_voltage_data(invreg_handle_t* handle, const invreg_voltage_data* data);
int invreg_notify_sensor_current_data(invreg_handle_t* handle, const invreg_sensor_data* data);
int invreg_notify_sensor_power_usage_data(invreg_handle_t* handle,
                                          const invreg_sensor_data* data);
int invreg_report_led_status_data(invreg_handle_t* handle, const invreg_led_status* data,
                                  uint64_t user_ctx);
int invreg_update_fru_power_info(invreg_handle_t* handle, const invreg_fru_power_info* data,
                                 uint64_t user_ctx);
int invreg_update_system_power_info(invreg_handle_t* handle,
                                    const invreg_system_power_info* data, uint64_t user_ctx);
int invreg_update_entity_oper_state(invreg_handle_t* handle, const invreg_entity_state_list* req,
                                    uint64_t user_ctx);
int invreg_update_entity_power_admin_state(invreg_handle_t* handle,
                                           const invreg_entity_state_list* req,
                                           uint64_t user_ctx);
int invreg_update_entity_power_oper_state(invreg_handle_t* handle,
                                          const invreg_entity_state_list* req, uint64_t user_ctx);
int invreg_report_event_data(invreg_handle_t* handle, const invreg_event_data* data,
                             uint64_t user_ctx);
int invreg_update_eid_name(invreg_handle_t* handle, const invreg_eid_name* data,
                           uint64_t user_ctx);
int invreg_update_eid_descr(invreg_handle_t* handle, const invreg_eid_descr* data,
                            uint64_t user_ctx);
int invreg_update_fru_prefix(invreg_handle_t* handle, const invreg_fru_prefix* data,
                             uint64_t user_ctx);
int invreg_update_eid_base_data(invreg_handle_t* handle, const invreg_eid_base_data* data,
                                uint64_t user_ctx);
int invreg_report_fpga_data(invreg_handle_t* handle, const invreg_fpga_data* data,
                            uint64_t user_ctx);
int invreg_report_pem_status_data(invreg_handle_t* handle, const invreg_pem_status_data* data,
                                  uint64_t user_ctx);
// Answers to the service's requests: final 1, status 0, and the request's argument.
int invreg_resp_set_hw_state(invreg_handle_t* handle, const invreg_set_hw_state_resp* resp,
                             uint8_t final, int32_t status, uint64_t req_arg);
int invreg_resp_fpga_data(invreg_handle_t* handle, const invreg_fpga_data* resp, uint8_t final,
                          int32_t status, uint64_t req_ctx);

#ifdef __cplusplus
}
#endif

// OBFL manager client library (obfl_mgr_*): on-board failure-log records of
// an entity's sensors, thresholds and texts, and the registration of the
// services that carry them.
//
// A handle is created on the caller's event loop and connected; its
// callbacks run on that loop. Every request takes the handle, the request
// record and a 32-bit user context, and returns 0 when the request was
// accepted; its answer comes later through the request's done callback with
// the answer record, a transport status (0 ok) and the same user context.
//
// Records are plain structs with their presence bits in the `present` bytes
// after the fields (bit n is byte n / 8, mask 1 << n % 8), in field order.
// Every request starts with the same four fields (format version, timestamp,
// entity id, requester entity id). Pointers in requests stay the caller's.
#pragma once

#include <stdint.h>

#include "evloop.h"
#include "inv_util.h"
#include "msgcodec.h"
#include "msgpipe.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef struct obfl_mgr_handle obfl_mgr_handle_t;

// Presence bits of the common header.
enum {
  OBFL_HDR_BIT_VERSION = 0,
  OBFL_HDR_BIT_TIMESTAMP = 1,
  OBFL_HDR_BIT_EID = 2,
  OBFL_HDR_BIT_REQ_EID = 3,
};

// Service registration: bits 4.. for resend .. constant.
typedef struct obfl_svc_regn_req {
  uint32_t version;
  uint32_t timestamp;
  pelm_eid eid;
  pelm_eid req_eid;
  uint8_t resend;
  uint32_t msn;
  const char* svc_name;
  uint32_t svc_type;
  const char* client_name;
  uint32_t constant;
  uint8_t present[2];
} obfl_svc_regn_req;

// One sensor value: bits 4.. for client id .. scale.
typedef struct obfl_log_sensor_req {
  uint32_t version;
  uint32_t timestamp;
  pelm_eid eid;
  pelm_eid req_eid;
  uint32_t client_id;
  uint8_t flag;
  uint32_t msn;
  uint32_t sensor_type;
  uint32_t sensor_id;
  int32_t adjust_type;
  int32_t value;
  int32_t scale;
  uint8_t present[2];
} obfl_log_sensor_req;

// Several sensor values of one kind: bits 4.. for client id .. scales; the
// four arrays hold `count` entries.
typedef struct obfl_log_bulk_sensor_req {
  uint32_t version;
  uint32_t timestamp;
  pelm_eid eid;
  pelm_eid req_eid;
  uint32_t client_id;
  uint8_t flag;
  uint32_t msn;
  uint32_t sensor_type;
  uint32_t count;
  uint32_t* sensor_ids;
  int32_t* adjust_types;
  int32_t* values;
  int32_t* scales;
  uint8_t present[2];
} obfl_log_bulk_sensor_req;

// The sensor names of an entity as its threshold records: bits 4.. for client
// id .. names; `names` holds `count` texts.
typedef struct obfl_write_thr_req {
  uint32_t version;
  uint32_t timestamp;
  pelm_eid eid;
  pelm_eid req_eid;
  uint32_t client_id;
  uint8_t resend;
  uint32_t msn;
  uint32_t field8;
  uint32_t field9;
  uint32_t field10;
  uint32_t count;
  uint32_t* sensor_ids;
  char** names;
  uint8_t present[2];
} obfl_write_thr_req;

// A text record: bits 4.. for client id .. text.
typedef struct obfl_log_str_req {
  uint32_t version;
  uint32_t timestamp;
  pelm_eid eid;
  pelm_eid req_eid;
  uint32_t client_id;
  uint8_t flag;
  uint32_t msn;
  uint32_t rec_type;
  uint32_t field9;
  uint32_t field10;
  uint32_t field11;
  const char* text;
  uint8_t present[2];
} obfl_log_str_req;

// Answers.
typedef struct obfl_svc_regn_resp {
  uint32_t client_id;
  uint32_t svc_type;
  uint64_t err_code;
  uint32_t msn;
  uint8_t present;  // bits 0..3 in field order
} obfl_svc_regn_resp;

typedef struct obfl_log_sensor_resp {
  uint32_t client_id;
  uint64_t err_code;
  uint32_t msn;
  uint32_t sensor_type;
  uint8_t present;
} obfl_log_sensor_resp;

typedef struct obfl_log_bulk_sensor_resp {
  uint32_t client_id;
  uint64_t err_code;
  uint32_t msn;
  uint32_t sensor_type;
  uint64_t* sensor_err;        // one per sensor of the request
  uint32_t sensor_err_count;
  uint8_t present;
} obfl_log_bulk_sensor_resp;

typedef struct obfl_write_thr_resp {
  uint32_t client_id;
  uint64_t err_code;
  uint32_t msn;
  uint8_t present;
} obfl_write_thr_resp;

typedef struct obfl_log_str_resp {
  uint64_t err_code;
  uint8_t present;
} obfl_log_str_resp;

// Callbacks.
typedef void (*obfl_mgr_connect_cb_t)(obfl_mgr_handle_t* h, uint32_t status);
typedef void (*obfl_mgr_disconnect_cb_t)(obfl_mgr_handle_t* h, uint32_t status);
typedef void (*obfl_mgr_error_cb_t)(obfl_mgr_handle_t* h, int32_t code);
typedef void (*obfl_mgr_svc_regn_done_cb_t)(obfl_mgr_handle_t* h, const obfl_svc_regn_resp* resp,
                                            uint32_t status, uint32_t user_ctx);
typedef void (*obfl_mgr_log_sensor_done_cb_t)(obfl_mgr_handle_t* h,
                                              const obfl_log_sensor_resp* resp, uint32_t status,
                                              uint32_t user_ctx);
typedef void (*obfl_mgr_log_bulk_sensor_done_cb_t)(obfl_mgr_handle_t* h,
                                                   const obfl_log_bulk_sensor_resp* resp,
                                                   uint32_t status, uint32_t user_ctx);
typedef void (*obfl_mgr_write_thr_done_cb_t)(obfl_mgr_handle_t* h, const obfl_write_thr_resp* resp,
                                             uint32_t status, uint32_t user_ctx);
typedef void (*obfl_mgr_log_str_done_cb_t)(obfl_mgr_handle_t* h, const obfl_log_str_resp* resp,
                                           uint32_t status, uint32_t user_ctx);
// The published endpoints of the OBFL manager (each an encoded endpoint and
// its scope), whenever they change.
typedef void (*obfl_mgr_ds_endpoint_filter_cb_t)(obfl_mgr_handle_t* h,
                                                 const ds_service_info* endpoints, uint32_t count);

// 0 on success.
int obfl_mgr_handle_create(obfl_mgr_handle_t** handle, evloop_t* loop, void* reserved);
void obfl_mgr_handle_destroy(obfl_mgr_handle_t* handle);
// Starts connecting; the connect callback follows on the loop.
int obfl_mgr_connect(obfl_mgr_handle_t* handle, uint32_t flags);
int obfl_mgr_connect_with_endpoint(obfl_mgr_handle_t* handle, const msgpipe_endpoint* endpoint);
msgpipe_handle_t* obfl_mgr_get_transport(obfl_mgr_handle_t* handle);

void obfl_mgr_set_connect_callback(obfl_mgr_handle_t* h, obfl_mgr_connect_cb_t cb);
void obfl_mgr_set_disconnect_callback(obfl_mgr_handle_t* h, obfl_mgr_disconnect_cb_t cb);
void obfl_mgr_set_error_callback(obfl_mgr_handle_t* h, obfl_mgr_error_cb_t cb);
void obfl_mgr_set_svc_regn_done_callback(obfl_mgr_handle_t* h, obfl_mgr_svc_regn_done_cb_t cb);
void obfl_mgr_set_svc_unregn_done_callback(obfl_mgr_handle_t* h, obfl_mgr_svc_regn_done_cb_t cb);
void obfl_mgr_set_log_env_sensor_info_done_callback(obfl_mgr_handle_t* h,
                                                    obfl_mgr_log_sensor_done_cb_t cb);
void obfl_mgr_set_log_bulk_env_sensor_info_done_callback(obfl_mgr_handle_t* h,
                                                         obfl_mgr_log_bulk_sensor_done_cb_t cb);
void obfl_mgr_set_write_env_temp_thresholds_done_callback(obfl_mgr_handle_t* h,
                                                          obfl_mgr_write_thr_done_cb_t cb);
void obfl_mgr_set_write_env_volt_thresholds_done_callback(obfl_mgr_handle_t* h,
                                                          obfl_mgr_write_thr_done_cb_t cb);
void obfl_mgr_set_write_env_current_thresholds_done_callback(obfl_mgr_handle_t* h,
                                                             obfl_mgr_write_thr_done_cb_t cb);
void obfl_mgr_set_ds_endpoint_filter_callback(obfl_mgr_handle_t* h,
                                              obfl_mgr_ds_endpoint_filter_cb_t cb);
void obfl_mgr_set_log_str_done_callback(obfl_mgr_handle_t* h, obfl_mgr_log_str_done_cb_t cb);

// Requests: 0 when accepted.
int obfl_mgr_svc_registration(obfl_mgr_handle_t* h, const obfl_svc_regn_req* req,
                              uint32_t user_ctx);
int obfl_mgr_log_env_sensor_info(obfl_mgr_handle_t* h, const obfl_log_sensor_req* req,
                                 uint32_t user_ctx);
int obfl_mgr_log_bulk_env_sensor_info(obfl_mgr_handle_t* h, const obfl_log_bulk_sensor_req* req,
                                      uint32_t user_ctx);
int obfl_mgr_write_env_temp_thresholds(obfl_mgr_handle_t* h, const obfl_write_thr_req* req,
                                       uint32_t user_ctx);
int obfl_mgr_write_env_volt_thresholds(obfl_mgr_handle_t* h, const obfl_write_thr_req* req,
                                       uint32_t user_ctx);
int obfl_mgr_write_env_current_thresholds(obfl_mgr_handle_t* h, const obfl_write_thr_req* req,
                                          uint32_t user_ctx);
int obfl_mgr_log_str(obfl_mgr_handle_t* h, const obfl_log_str_req* req, uint32_t user_ctx);

#ifdef __cplusplus
}
#endif

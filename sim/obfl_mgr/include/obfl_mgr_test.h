// For tests: the OBFL manager the client library stands for, kept in the
// process. It records every request as received and answers only when a test
// tells it to, through the request's done callback on the handle's loop.
#pragma once

#include <stdint.h>

#include <string>
#include <vector>

#include "obfl_mgr.h"

// One request as received. Fields a kind does not carry stay zero or empty;
// `present` holds the request's presence bytes.
struct ObflRequest {
  obfl_mgr_handle_t* handle;
  std::string kind;  // "svc_registration", "log_sensor", "log_bulk_sensor",
                     // "write_temp_thr", "write_volt_thr", "write_curr_thr", "log_str"
  uint32_t user_ctx;
  uint32_t version;
  uint32_t timestamp;
  std::string eid;      // "rack/slot t/s/i ..." of the entity id; "" when absent
  std::string req_eid;  // the requester's, "" when absent
  uint32_t client_id;
  uint8_t flag;         // resend or flag byte
  uint32_t msn;
  std::string svc_name;
  uint32_t svc_type;
  std::string client_name;
  uint32_t constant;
  uint32_t sensor_type;
  uint32_t sensor_id;
  int32_t adjust_type;
  int32_t value;
  int32_t scale;
  uint32_t count;
  std::vector<uint32_t> sensor_ids;
  std::vector<int32_t> adjust_types;
  std::vector<int32_t> values;
  std::vector<int32_t> scales;
  std::vector<std::string> names;
  uint32_t fields[3];   // thresholds: 8, 9, 10; text: 9, 10, 11
  std::string text;
  uint8_t present[2];
};

std::vector<ObflRequest> obfl_mgr_test_requests();
void obfl_mgr_test_clear_requests();
// The next request of that kind (or "connect") returns `rc` instead of 0.
void obfl_mgr_test_fail_next(const std::string& kind, int rc);
// Handles created and not destroyed, in creation order.
std::vector<obfl_mgr_handle_t*> obfl_mgr_test_handles();
// The endpoints connect_with_endpoint was called with on a handle, in order.
std::vector<msgpipe_endpoint> obfl_mgr_test_endpoints(obfl_mgr_handle_t* h);
// Status the connect callback gets after obfl_mgr_connect (default 0).
void obfl_mgr_test_set_connect_status(uint32_t status);

// Deliver callbacks now, on the calling thread (the handle's loop thread).
void obfl_mgr_test_disconnect(obfl_mgr_handle_t* h, uint32_t status);
void obfl_mgr_test_error(obfl_mgr_handle_t* h, int32_t code);
void obfl_mgr_test_answer_svc_regn(obfl_mgr_handle_t* h, const obfl_svc_regn_resp& resp,
                                   uint32_t status, uint32_t user_ctx);
void obfl_mgr_test_answer_svc_unregn(obfl_mgr_handle_t* h, const obfl_svc_regn_resp& resp,
                                     uint32_t status, uint32_t user_ctx);
void obfl_mgr_test_answer_log_sensor(obfl_mgr_handle_t* h, const obfl_log_sensor_resp& resp,
                                     uint32_t status, uint32_t user_ctx);
void obfl_mgr_test_answer_log_bulk(obfl_mgr_handle_t* h, const obfl_log_bulk_sensor_resp& resp,
                                   uint32_t status, uint32_t user_ctx);
// kind: 1 temperature, 2 voltage, 3 current.
void obfl_mgr_test_answer_thr(obfl_mgr_handle_t* h, uint32_t kind, const obfl_write_thr_resp& resp,
                              uint32_t status, uint32_t user_ctx);
void obfl_mgr_test_answer_log_str(obfl_mgr_handle_t* h, const obfl_log_str_resp& resp,
                                  uint32_t status, uint32_t user_ctx);
void obfl_mgr_test_filter(obfl_mgr_handle_t* h, const ds_service_info* entries, uint32_t count);
// Forgets every request, endpoint, injected failure and the connect status.
void obfl_mgr_test_reset();

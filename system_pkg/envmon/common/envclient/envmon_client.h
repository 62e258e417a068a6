// The client handle and what the client library's files share.
#pragma once

#include <stdint.h>

#include <cstdarg>

#include "capi.h"
#include "envclient.h"
#include "envmon_wire.h"
#include "pelmarok_ds.h"

// Rows of the response-callback matrix: one per response kind; slots are the
// message id of the request being answered.
constexpr int kRespRows = 9;
constexpr int kRespSlots = 14;

// Time before the transport connects again after a lost or refused connection.
constexpr uint32_t kReconnectDelayMs = 1000;

struct envmon_handle {
  envmon_connect_callback connect_cb;
  envmon_disconnect_callback disconnect_cb;
  envmon_error_callback error_cb;
  envmon_flow_resume_callback flow_resume_cb;
  envmon_ds_endpoint_filter_callback filter_cb;
  envmon_resp_callback resp_cb[kRespRows][kRespSlots];
  envmon_notif_callback notif_sys_pwr_data_cb;
  envmon_notif_callback notif_fru_pwr_alloc_data_cb;
  const char* service_name;     // "envmon"
  pelmarok_ds_handle_t* ds;
  unsigned long server_pid;
  uint32_t server_addr;
  uint32_t local_addr;
  char* server_argv0;
  const char* client_version;   // "0.0.1"
  char* server_version;
  uint8_t awaiting_init;
  msgpipe_endpoint saved_endpoint;
  uint8_t user_disconnect;
  uint8_t destroyed;
  msgpipe_handle_t* transport;
  evloop_t* loop;
  capi_table pending;
  int32_t last_error;
  void* user_ctx;
  void* cb_ctx;
  pelmarok_ds_endpoint_factory_t factory;
  void* factory_ctx;
  tlg_handle_t error_parent;
  tlg_handle_t info_parent;
  tlg_handle_t conn_parent;     // no setter: stays null
  tlg_handle_t error_tlg;
  tlg_handle_t info_tlg;
  tlg_handle_t conn_tlg;
  tlg_handle_t msc_tlg;
  char* ds_option;              // option 3
  char* expected_name;          // option 4
  char* service_instance;
  uint8_t traces_open;
};

// Opens the info, error and connection buffers once per handle.
void envmon_client_open_traces(envmon_handle* h);
// Opens the message-sequence buffer on first use and writes its entity line.
void envmon_client_open_msc(envmon_handle* h);
// A message-sequence event with a formatted label.
void envmon_client_msc_label(envmon_handle* h, const char* fmt, ...)
    __attribute__((format(printf, 2, 3)));
// Removes and frees every pending request (the caller holds the mutex).
void envmon_client_drop_pending(envmon_handle* h);
// What the frame sender needs to know of this handle.
envmon_wire_side envmon_client_side(const envmon_handle* h);
// Connects again to the saved endpoint after the reconnection delay.
void envmon_client_reconnect(envmon_handle* h);

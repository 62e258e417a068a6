// The server and client handles and what the server library's files share.
#pragma once

#include <stdint.h>

#include "capi.h"
#include "envmon_wire.h"
#include "envserve.h"
#include "pelmarok_ds.h"

constexpr int kRequestSlots = 14;  // request ids 0-13

// The fifteen callback slots: connect, disconnect, error, flow resume and the
// handlers of requests 1-6, 9-13 (two-way ones in `request`, 11 and 12 in
// `oneway`, indexed by request id).
struct envmon_server_callbacks {
  envmon_server_connect_callback connect;
  envmon_server_disconnect_callback disconnect;
  envmon_server_error_callback error;
  envmon_server_flow_resume_callback flow_resume;
  envmon_server_request_callback request[kRequestSlots];
  envmon_server_oneway_callback oneway[kRequestSlots];
};

struct envmon_server_handle {
  envmon_server_callbacks cb;
  ds_service_publish_info* publish;  // owned, with all it holds
  const char* version;               // "0.0.1"
  uint8_t destroying;
  pelmarok_ds_handle_t* ds;
  msgpipe_handle_t* transport;       // listening, "envmon_server"
  evloop_t* loop;
  int32_t last_error;                // nothing sets it
  void* user_ctx;
  pelmarok_ds_endpoint_factory_t factory;  // kept only
  void* factory_ctx;
  tlg_handle_t error_parent;
  tlg_handle_t info_parent;
  tlg_handle_t conn_parent;          // no setter: stays null
  tlg_handle_t error_tlg;
  tlg_handle_t info_tlg;
  tlg_handle_t conn_tlg;
  tlg_handle_t msc_tlg;
  char* service_instance;
  envmon_client_handle* pending_head;  // clients whose handshake is pending
};

struct envmon_client_handle {
  envmon_server_callbacks cb;  // copied at acceptance
  uint8_t destroyed;
  uint8_t handshake_pending;
  msgpipe_handle_t* transport;
  evloop_t* loop;
  capi_table pending;          // never used on the server side
  int32_t last_error;
  void* user_ctx;
  envmon_server_handle* server;
  tlg_handle_t error_tlg;
  tlg_handle_t info_tlg;
  tlg_handle_t conn_tlg;
  tlg_handle_t msc_tlg;
  uint64_t client_pid;
  uint32_t client_addr;
  uint32_t local_addr;
  char* client_version;
  char* client_argv0;
  envmon_client_handle* next;  // in the server's handshake-pending list
  char* option3;
  char* expected_name;         // option 4
};

void envmon_server_open_traces(envmon_server_handle* s, tlg_handle_t info_parent,
                               tlg_handle_t error_parent, tlg_handle_t conn_parent);
void envmon_client_open_traces(envmon_client_handle* c, tlg_handle_t info_parent,
                               tlg_handle_t error_parent, tlg_handle_t conn_parent);
// Opens the server's message-sequence buffer on first use (entity line).
void envmon_server_open_msc(envmon_server_handle* s);
// Opens a client's message-sequence buffer on first use.
void envmon_client_open_msc(envmon_client_handle* c);
// Takes a client out of its server's handshake-pending list.
void envmon_server_unlist(envmon_client_handle* c);
// Drops a client without any callback: unlisted and destroyed.
void envmon_server_drop_client(envmon_client_handle* c);
void envmon_server_delayed_free(void* server);
void envmon_client_delayed_free(void* client);

// What the client and the server library share of the service's wire: the
// message tables, the frame (big-endian header length, capi_header, payload),
// the sending rule with its two encoding attempts, the checks of a received
// frame, the service-name check of INIT and the message-sequence trace lines.
// Private to envclient and envserve.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "envmon_msgs.h"
#include "msgcodec.h"
#include "msgpipe.h"
#include "tlg.h"

#ifdef __cplusplus
extern "C" {
#endif

// Results of the service functions and the codes given to the callbacks.
#define ENVMON_OK 0
#define ENVMON_ERR_FAILED (-1)
#define ENVMON_ERR_FLOW_CONTROL (-3)
#define ENVMON_ERR_NO_MEMORY (-4)
#define ENVMON_ERR_EVLOOP (-6)
#define ENVMON_ERR_BAD_HEADER (-7)
#define ENVMON_ERR_BAD_PAYLOAD (-8)
#define ENVMON_ERR_SEND (-9)
#define ENVMON_ERR_RECEIVE (-10)
#define ENVMON_ERR_DS_REGISTER (-13)
#define ENVMON_ERR_NOT_COMPLETED (-18)

#define ENVMON_SERVICE_NAME "envmon"
#define ENVMON_VERSION "0.0.1"
#define ENVMON_LOOPBACK 0x7f000001u

// Which header fields a sender sets.
typedef enum envmon_msg_kind {
  ENVMON_KIND_REQUEST = 1,   // message id, request id, unique id
  ENVMON_KIND_ONE_WAY,       // message id, unique id
  ENVMON_KIND_RESPONSE,      // message id, request id, status, final, unique id
  ENVMON_KIND_NOTIFICATION,  // message id, unique id
} envmon_msg_kind;

// One message of one direction.
typedef struct envmon_msg_desc {
  uint32_t id;
  uint8_t kind;                // envmon_msg_kind
  uint8_t row;                 // server messages: row of the client's response matrix
  const char* name;            // in the receivers' traces: "request_altitude_value"
  const char* sender;          // exported sending function: "envmon_request_altitude_value"
  const msgcodec_type* type;   // payload codec
  uint32_t first_size;         // whole frame of the first encoding attempt
  uint32_t keep_offset;        // of the record's keep byte; `received` follows it
} envmon_msg_desc;

// The message of a client-to-server id, or null for an id no request uses.
const envmon_msg_desc* envmon_wire_request(uint32_t id);
// The message of a server-to-client id, or null.
const envmon_msg_desc* envmon_wire_server_msg(uint32_t id);

// Storage for any decoded payload during one dispatch.
typedef union envmon_any_payload {
  request_power_budget request_power_budget;
  sensor_value sensor_value;
  sensor_fault sensor_fault;
  oper_state oper_state;
  run_test run_test;
  set_dbg_flag set_dbg_flag;
  temp_monitoring temp_monitoring;
  timer_disable timer_disable;
  register_power_data register_power_data;
  dump_debug dump_debug;
  request_altitude_value request_altitude_value;
  power_budget power_budget;
  resp_altitude_value resp_altitude_value;
  notif_sys_pwr_data notif_sys_pwr_data;
  notif_fru_pwr_alloc_data notif_fru_pwr_alloc_data;
  resp_sensor_value resp_sensor_value;
  resp_sensor_fault_set resp_sensor_fault_set;
  resp_test resp_test;
  resp_dbg_flag resp_dbg_flag;
  resp_register_power_data resp_register_power_data;
  resp_dump_debug resp_dump_debug;
  resp_temp_monitoring resp_temp_monitoring;
} envmon_any_payload;

// One side of one connection as the sender sees it.
typedef struct envmon_wire_side {
  const void* owner;            // handle printed in the traces
  msgpipe_handle_t* transport;  // may be null
  tlg_handle_t info;
  tlg_handle_t error;
  tlg_handle_t msc;
  uint32_t node_addr;           // own end of the connection
} envmon_wire_side;

// How a request that expects an answer keeps its pending entry (client only).
// add: 0 and the request id, or non-zero when no entry could be made. drop:
// removes and frees the entry again.
typedef struct envmon_wire_pending {
  int (*add)(void* ctx, uint32_t msg_id, void* cookie, uint32_t* request_id);
  void (*drop)(void* ctx, uint32_t request_id);
  void* ctx;
  void* cookie;
} envmon_wire_pending;

// Sends one message by the frame rule: under the connection's mutex, tests
// the connection, makes the pending entry (requests that expect an answer),
// builds the frame in at most two encoding attempts and hands it to the
// transport. status and final count only for responses (final: bit 0).
// 0 sent, -1 failed, -3 flow-controlled; on failure no pending entry stays.
int envmon_wire_send(const envmon_wire_side* side, const envmon_msg_desc* msg,
                     const void* payload, uint32_t request_id, int32_t status, uint32_t final,
                     const envmon_wire_pending* pending);

// Builds the frame of one message into a malloc'd buffer (no transport
// involved): *frame and *len on 0; -1 on failure with the sender's traces.
int envmon_wire_build(const envmon_wire_side* side, const envmon_msg_desc* msg,
                      const void* payload, uint32_t request_id, int32_t status, uint32_t final,
                      uint32_t unique_id, uint8_t** frame, uint32_t* len);

// A received frame split into its decoded header and its payload bytes.
typedef struct envmon_wire_frame {
  capi_header header;
  uint32_t header_len;
  const uint8_t* payload;
  size_t payload_len;
} envmon_wire_frame;

#define ENVMON_WIRE_BAD_LENGTH (-100)

// Checks the length word and decodes the header of a received message.
// 0: decoded (release with envmon_wire_frame_free). ENVMON_WIRE_BAD_LENGTH:
// shorter than the length word or a header longer than the message; traced,
// nothing to release. ENVMON_ERR_BAD_HEADER: the header does not decode;
// traced with its bytes, nothing to release.
int envmon_wire_parse(const void* buf, int32_t size, envmon_wire_frame* frame,
                      tlg_handle_t error);
void envmon_wire_frame_free(envmon_wire_frame* frame);

// Decodes the payload of a frame into rec (at least the type's size):
// keep := 0, received := 1 first. 0, or ENVMON_ERR_BAD_PAYLOAD.
int envmon_wire_decode_payload(const envmon_msg_desc* msg, const envmon_wire_frame* frame,
                               void* rec);
// Releases what the decoder allocated in rec unless its keep byte is set.
void envmon_wire_release_payload(const envmon_msg_desc* msg, void* rec);

// INIT: 0 when the header names the expected service (null expected:
// "envmon"); otherwise traces the handshake failure and returns -1.
int envmon_wire_check_service(const capi_header* header, const char* expected,
                              tlg_handle_t error);

// Node text of an address in the message-sequence lines: "$n" for the
// loopback address, else lower-case hexadecimal. out holds 17 bytes.
void envmon_wire_node_text(uint32_t node_addr, char out[17]);

// Message-sequence lines.
void envmon_wire_msc_entity(tlg_handle_t msc);
void envmon_wire_msc_label(tlg_handle_t msc, const char* label);
void envmon_wire_msc_source(tlg_handle_t msc, const char* function, uint32_t own_addr,
                            uint32_t unique_id);
void envmon_wire_msc_sink(tlg_handle_t msc, const char* function, uint32_t peer_addr,
                          uint32_t peer_pid, uint32_t unique_id);
void envmon_wire_msc_init_source(tlg_handle_t msc, uint32_t own_addr, uint32_t unique_id);
void envmon_wire_msc_init_sink(tlg_handle_t msc, uint32_t peer_addr, uint32_t peer_pid,
                               uint32_t unique_id);

// Node id of the tracing library from a connection's own address: taken when
// the address is not 0 and the node id is still 0 or the loopback address.
void envmon_wire_adopt_node_id(uint32_t local_addr);

// Copy of a text or null (for null or when memory is short).
char* envmon_wire_strdup(const char* text);

#ifdef __cplusplus
}

#include <pthread.h>

// Holds a connection's mutex for a scope; unlock() ends it early.
class envmon_wire_lock {
 public:
  explicit envmon_wire_lock(pthread_mutex_t* m) : m_(m) {
    if (m_ != nullptr) pthread_mutex_lock(m_);
  }
  ~envmon_wire_lock() { unlock(); }
  void unlock() {
    if (m_ != nullptr) pthread_mutex_unlock(m_);
    m_ = nullptr;
  }
  envmon_wire_lock(const envmon_wire_lock&) = delete;
  envmon_wire_lock& operator=(const envmon_wire_lock&) = delete;

 private:
  pthread_mutex_t* m_;
};
#endif

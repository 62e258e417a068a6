// Messages between the directory-service client library and the daemon. Each
// msgpipe message is one ds_wire_msg encoded by msgcodec, nothing else.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "msgcodec.h"

extern "C" {

typedef struct ds_wire_msg {
  uint32_t op;                         // DS_OP_*
  uint32_t seq;                        // request number, or the watch id
  int32_t status;                      // answers: 0 done, negative refused
  char* client_name;                   // HELLO
  uint32_t pid;                        // HELLO
  ds_service_publish_info publish;     // PUBLISH
  ds_service_notification_req watch;   // WATCH
  ds_service_info* entries;            // NOTIFY, NOTIFY_DELETED
  uint32_t entry_count;
  char* text;                          // why a request was refused
  uint8_t present[2];
} ds_wire_msg;

MSGCODEC_DECLARE(ds_wire_msg, ds_wire_msg)
}

enum : unsigned {
  DS_WIRE_BIT_OP = 0,
  DS_WIRE_BIT_SEQ,
  DS_WIRE_BIT_STATUS,
  DS_WIRE_BIT_CLIENT_NAME,
  DS_WIRE_BIT_PID,
  DS_WIRE_BIT_PUBLISH,
  DS_WIRE_BIT_WATCH,
  DS_WIRE_BIT_ENTRIES,
  DS_WIRE_BIT_TEXT,
};

enum : uint32_t {
  DS_OP_HELLO = 1,           // client -> daemon: client_name, pid
  DS_OP_PUBLISH = 2,         // client -> daemon: seq, publish
  DS_OP_PUBLISH_ACK = 3,     // daemon -> client: seq, status, text
  DS_OP_WATCH = 4,           // client -> daemon: seq = watch id, watch
  DS_OP_WATCH_ACK = 5,       // daemon -> client: seq, status, text
  DS_OP_UNWATCH = 6,         // client -> daemon: seq = watch id
  DS_OP_UNWATCH_ACK = 7,     // daemon -> client: seq, status
  DS_OP_NOTIFY = 8,          // daemon -> client: seq = watch id, entries (all current)
  DS_OP_NOTIFY_DELETED = 9,  // daemon -> client: seq = watch id, entries (withdrawn)
  DS_OP_ERROR = 10,          // daemon -> client: status, text (a message it could not take)
};

// A cleared message with op (and seq) set.
ds_wire_msg ds_wire_make(uint32_t op, uint32_t seq);
// Encodes the message into a malloc'd buffer for msgpipe_send; null when it
// cannot be encoded or memory is short. *len gets the size.
uint8_t* ds_wire_encode(const ds_wire_msg& msg, uint32_t* len);
// Name of an op for logs ("PUBLISH"), "op <n>" style text for unknown ones.
const char* ds_wire_op_name(uint32_t op);
// Address and port of an encoded endpoint as "a.b.c.d:port"; "(bad endpoint)"
// when it does not decode.
std::string ds_wire_endpoint_text(const uint8_t* bytes, uint32_t len);

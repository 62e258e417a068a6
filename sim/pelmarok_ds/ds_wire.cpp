// Field table and helpers of the directory-service messages.
#include "ds_wire.h"

#include <cstdio>
#include <cstdlib>

#include "msgcodec_define.h"
#include "msgpipe.h"

constexpr msgcodec_field kDsWireFields[] = {
    MSGCODEC_INT(ds_wire_msg, op, DS_WIRE_BIT_OP),
    MSGCODEC_INT(ds_wire_msg, seq, DS_WIRE_BIT_SEQ),
    MSGCODEC_INT(ds_wire_msg, status, DS_WIRE_BIT_STATUS),
    MSGCODEC_TEXT(ds_wire_msg, client_name, DS_WIRE_BIT_CLIENT_NAME),
    MSGCODEC_INT(ds_wire_msg, pid, DS_WIRE_BIT_PID),
    MSGCODEC_RECORD(ds_wire_msg, publish, DS_WIRE_BIT_PUBLISH),
    MSGCODEC_RECORD(ds_wire_msg, watch, DS_WIRE_BIT_WATCH),
    MSGCODEC_RECORD_LIST(ds_wire_msg, entries, entry_count, DS_WIRE_BIT_ENTRIES),
    MSGCODEC_TEXT(ds_wire_msg, text, DS_WIRE_BIT_TEXT),
};
MSGCODEC_DEFINE(ds_wire_msg, ds_wire_msg, present, kDsWireFields)

ds_wire_msg ds_wire_make(uint32_t op, uint32_t seq) {
  ds_wire_msg msg;
  msgcodec_ds_wire_msg_clear(&msg);
  msg.op = op;
  msg.seq = seq;
  msgcodec_set_bit(msg.present, DS_WIRE_BIT_OP);
  msgcodec_set_bit(msg.present, DS_WIRE_BIT_SEQ);
  return msg;
}

uint8_t* ds_wire_encode(const ds_wire_msg& msg, uint32_t* len) {
  const int need = msgcodec_ds_wire_msg_encode_ext(&msg, nullptr, 0);
  if (need < 0) return nullptr;
  auto* buf = static_cast<uint8_t*>(std::malloc(need > 0 ? static_cast<size_t>(need) : 1));
  if (!buf) return nullptr;
  msgcodec_ds_wire_msg_encode_ext(&msg, buf, static_cast<size_t>(need));
  *len = static_cast<uint32_t>(need);
  return buf;
}

const char* ds_wire_op_name(uint32_t op) {
  switch (op) {
    case DS_OP_HELLO: return "HELLO";
    case DS_OP_PUBLISH: return "PUBLISH";
    case DS_OP_PUBLISH_ACK: return "PUBLISH_ACK";
    case DS_OP_WATCH: return "WATCH";
    case DS_OP_WATCH_ACK: return "WATCH_ACK";
    case DS_OP_UNWATCH: return "UNWATCH";
    case DS_OP_UNWATCH_ACK: return "UNWATCH_ACK";
    case DS_OP_NOTIFY: return "NOTIFY";
    case DS_OP_NOTIFY_DELETED: return "NOTIFY_DELETED";
    case DS_OP_ERROR: return "ERROR";
    default: return "unknown op";
  }
}

std::string ds_wire_endpoint_text(const uint8_t* bytes, uint32_t len) {
  msgpipe_endpoint ep{};
  if (!bytes || msgcodec_msgpipe_endpoint_decode_ext(&ep, bytes, len, malloc) < 0 ||
      (ep.present & (MSGPIPE_ENDPOINT_HAS_ADDRESS | MSGPIPE_ENDPOINT_HAS_PORT)) !=
          (MSGPIPE_ENDPOINT_HAS_ADDRESS | MSGPIPE_ENDPOINT_HAS_PORT)) {
    return "(bad endpoint)";
  }
  char text[32];
  std::snprintf(text, sizeof text, "%u.%u.%u.%u:%u", ep.node_address >> 24, (ep.node_address >> 16) & 0xff,
                (ep.node_address >> 8) & 0xff, ep.node_address & 0xff, ep.port);
  return text;
}

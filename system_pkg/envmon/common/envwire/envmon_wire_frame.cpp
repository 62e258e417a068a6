// The frame of every service message: a 4-byte big-endian header length, the
// encoded capi_header, the encoded payload. Building (two encoding attempts at
// most), sending, and the checks a receiver makes before it dispatches.
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>

#include "capi.h"
#include "envmon_wire.h"
#include "envmon_wire_texts.h"

namespace T = envmon_wire_text;

namespace {

void put_be32(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v >> 24);
  p[1] = static_cast<uint8_t>(v >> 16);
  p[2] = static_cast<uint8_t>(v >> 8);
  p[3] = static_cast<uint8_t>(v);
}

uint32_t get_be32(const uint8_t* p) {
  return (static_cast<uint32_t>(p[0]) << 24) | (static_cast<uint32_t>(p[1]) << 16) |
         (static_cast<uint32_t>(p[2]) << 8) | static_cast<uint32_t>(p[3]);
}

// A sender starts from a cleared header and sets only its kind's fields.
void fill_header(capi_header* h, const envmon_msg_desc* msg, uint32_t request_id, int32_t status,
                 uint32_t final, uint32_t unique_id) {
  msgcodec_capi_header_clear(h);
  h->msg_id = msg->id;
  msgcodec_set_bit(h->present, CAPI_HEADER_BIT_MSG_ID);
  if (msg->kind == ENVMON_KIND_REQUEST || msg->kind == ENVMON_KIND_RESPONSE) {
    h->request_id = request_id;
    msgcodec_set_bit(h->present, CAPI_HEADER_BIT_REQUEST_ID);
  }
  if (msg->kind == ENVMON_KIND_RESPONSE) {
    h->status = status;
    msgcodec_set_bit(h->present, CAPI_HEADER_BIT_STATUS);
    h->final = static_cast<uint8_t>(final & 1u);
    msgcodec_set_bit(h->present, CAPI_HEADER_BIT_FINAL);
  }
  h->unique_id = unique_id;
  msgcodec_set_bit(h->present, CAPI_HEADER_BIT_UNIQUE_ID);
}

// Largest dump of header bytes after a failed header decode: enough to see
// what went wrong without letting a peer choose how much is formatted.
constexpr uint32_t kMaxHeaderDump = 256;

}  // namespace

extern "C" int envmon_wire_build(const envmon_wire_side* side, const envmon_msg_desc* msg,
                                 const void* payload, uint32_t request_id, int32_t status,
                                 uint32_t final, uint32_t unique_id, uint8_t** frame,
                                 uint32_t* len) {
  // A missing payload is sent as a record with no field present.
  envmon_any_payload empty{};
  if (payload == nullptr) payload = &empty;

  size_t size = msg->first_size;
  uint8_t* buf = nullptr;
  for (int attempt = 0; attempt < 2; ++attempt) {
    auto* grown = static_cast<uint8_t*>(realloc(buf, size));
    if (grown == nullptr) {
      free(buf);
      tlg_internal(side->error, T::kOutOfMemory, msg->sender);
      return ENVMON_ERR_FAILED;
    }
    buf = grown;

    capi_header h;
    fill_header(&h, msg, request_id, status, final, unique_id);
    envmon_wire_msc_source(side->msc, msg->sender, side->node_addr, unique_id);

    const int hl = msgcodec_capi_header_encode_ext(&h, buf + 4, size - 4);
    int pl = -1;
    if (hl >= 0) {
      const size_t used = 4 + static_cast<size_t>(hl);
      // Zero room when the header alone did not fit.
      const size_t room = used < size ? size - used : 0;
      pl = msgcodec_encode(msg->type, payload, room > 0 ? buf + used : buf, room);
      put_be32(buf, static_cast<uint32_t>(hl));
    }
    if (hl < 0 || pl < 0) {
      free(buf);
      tlg_internal(side->error, T::kInvalidLength, msg->sender);
      return ENVMON_ERR_FAILED;
    }
    const size_t total = 4 + static_cast<size_t>(hl) + static_cast<size_t>(pl);
    if (total <= size) {
      *frame = buf;
      *len = static_cast<uint32_t>(total);
      return ENVMON_OK;
    }
    if (total > MSGPIPE_MAX_MESSAGE) break;  // no transport carries it
    size = total;
  }
  free(buf);
  tlg_internal(side->error, T::kSecondAttempt, msg->sender);
  return ENVMON_ERR_FAILED;
}

extern "C" int envmon_wire_send(const envmon_wire_side* side, const envmon_msg_desc* msg,
                                const void* payload, uint32_t request_id, int32_t status,
                                uint32_t final, const envmon_wire_pending* pending) {
  msgpipe_handle_t* t = side->transport;
  if (t == nullptr) {
    tlg_internal(side->error, T::kNullTransport, side->owner, msg->sender);
    return ENVMON_ERR_FAILED;
  }
  envmon_wire_lock lock(msgpipe_get_mutex(t));
  tlg_internal(side->info, T::kEntered, side->owner);
  if (!msgpipe_is_connected(t)) {
    lock.unlock();
    tlg_internal(side->error, T::kNotConnected, msg->sender);
    return ENVMON_ERR_FAILED;
  }
  const uint32_t unique_id = capi_get_unique_id_in_process();

  const bool keeps_entry = msg->kind == ENVMON_KIND_REQUEST && pending != nullptr;
  if (keeps_entry) {
    if (pending->add(pending->ctx, msg->id, pending->cookie, &request_id) != 0) {
      lock.unlock();
      tlg_internal(side->error, T::kNoTableEntry, msg->sender);
      return ENVMON_ERR_FAILED;
    }
  }
  auto drop_entry = [&] {
    if (keeps_entry) pending->drop(pending->ctx, request_id);
  };

  uint8_t* frame = nullptr;
  uint32_t len = 0;
  if (envmon_wire_build(side, msg, payload, request_id, status, final, unique_id, &frame, &len) !=
      ENVMON_OK) {
    drop_entry();
    return ENVMON_ERR_FAILED;
  }

  const bool tagged = msg->kind == ENVMON_KIND_REQUEST || msg->kind == ENVMON_KIND_RESPONSE;
  const int rc = msgpipe_send(t, frame, len, 0, tagged ? request_id : 0);
  if (rc == MSGPIPE_OK) {
    lock.unlock();
    tlg_internal(side->info, T::kSendOk, side->owner, msg->sender);
    return ENVMON_OK;
  }
  free(frame);
  drop_entry();
  lock.unlock();
  if (rc == MSGPIPE_FAILED) {
    tlg_internal(side->error, T::kSendError, msg->sender);
    return ENVMON_ERR_FAILED;
  }
  tlg_internal(side->error, T::kSendFlowControl, msg->sender);
  return ENVMON_ERR_FLOW_CONTROL;
}

extern "C" int envmon_wire_parse(const void* buf, int32_t size, envmon_wire_frame* frame,
                                 tlg_handle_t error) {
  const auto* bytes = static_cast<const uint8_t*>(buf);
  // Compared in 64 bits: a header length near 2^32 must not wrap past the check.
  if (bytes == nullptr || size < 4) {
    tlg_internal(error, T::kInvalidHeaderLen, 0, static_cast<int>(size));
    return ENVMON_WIRE_BAD_LENGTH;
  }
  const uint32_t hl = get_be32(bytes);
  if (static_cast<uint64_t>(hl) > static_cast<uint64_t>(size) - 4) {
    tlg_internal(error, T::kInvalidHeaderLen, static_cast<int>(hl), static_cast<int>(size));
    return ENVMON_WIRE_BAD_LENGTH;
  }
  msgcodec_capi_header_clear(&frame->header);
  const int rc = msgcodec_capi_header_decode_ext(&frame->header, bytes + 4, hl, malloc, nullptr, 0);
  if (rc < 0) {
    tlg_internal(error, T::kHeaderDecodeFailed, static_cast<int>(hl), rc);
    std::string dump;
    const uint32_t shown = std::min(hl, kMaxHeaderDump);
    for (uint32_t i = 0; i < shown; ++i) {
      char one[8];
      snprintf(one, sizeof one, T::kHeaderByte, bytes[4 + i]);
      dump += one;
    }
    dump += T::kHeaderDumpEnd;
    tlg_internal(error, "%s", dump.c_str());
    return ENVMON_ERR_BAD_HEADER;
  }
  frame->header_len = hl;
  frame->payload = bytes + 4 + hl;
  frame->payload_len = static_cast<size_t>(size) - 4 - hl;
  return ENVMON_OK;
}

extern "C" void envmon_wire_frame_free(envmon_wire_frame* frame) {
  msgcodec_capi_header_free_ext(&frame->header, free);
}

extern "C" int envmon_wire_decode_payload(const envmon_msg_desc* msg,
                                          const envmon_wire_frame* frame, void* rec) {
  auto* r = static_cast<uint8_t*>(rec);
  memset(r, 0, msg->type->size);
  r[msg->keep_offset] = 0;
  r[msg->keep_offset + 1] = 1;
  if (msgcodec_decode(msg->type, rec, frame->payload, frame->payload_len, malloc, 0) < 0) {
    return ENVMON_ERR_BAD_PAYLOAD;
  }
  return ENVMON_OK;
}

extern "C" void envmon_wire_release_payload(const envmon_msg_desc* msg, void* rec) {
  const auto* r = static_cast<const uint8_t*>(rec);
  if (r[msg->keep_offset] == 0) msgcodec_free(msg->type, rec, free);
}

extern "C" int envmon_wire_check_service(const capi_header* header, const char* expected,
                                         tlg_handle_t error) {
  const char* want = expected != nullptr ? expected : ENVMON_SERVICE_NAME;
  const bool has_name = msgcodec_test_bit(header->present, CAPI_HEADER_BIT_SERVICE_NAME) &&
                        header->service_name != nullptr;
  if (has_name && strcmp(header->service_name, want) == 0) return ENVMON_OK;
  tlg_internal(error, T::kHandshakeFailed, expected != nullptr ? expected : T::kNone,
               has_name ? header->service_name : T::kNone);
  return ENVMON_ERR_FAILED;
}

extern "C" void envmon_wire_adopt_node_id(uint32_t local_addr) {
  const uint32_t current = tlg_get_node_id();
  if (local_addr != 0 && (current == 0 || current == ENVMON_LOOPBACK)) tlg_set_node_id(local_addr);
}

extern "C" char* envmon_wire_strdup(const char* text) {
  return text != nullptr ? strdup(text) : nullptr;
}

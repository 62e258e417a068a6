// Frames of the platform-driver service.
#include "drvif_link.h"

#include <stdlib.h>
#include <string.h>

#include "capi.h"
#include "drvif_wire.h"

namespace drvif_link {

namespace {
constexpr char kVersion[] = "1";
}  // namespace

tlg_handle_t trace() {
  static tlg_handle_t h = [] {
    tlg_handle_t t = nullptr;
    tlg_open_internal(&t, "drvif", 0, 0, "./sim/drvif", "sim", nullptr);
    return t;
  }();
  return h;
}

uint8_t* build(uint32_t msg_id, uint32_t request_id, int32_t status, uint8_t final,
               const void* payload, uint32_t* len) {
  const msgcodec_type* type = drvif_wire::payload_type(msg_id);
  if (type == nullptr || payload == nullptr || len == nullptr) return nullptr;
  capi_header h{};
  msgcodec_capi_header_clear(&h);
  h.msg_id = msg_id;
  h.request_id = request_id;
  h.status = status;
  h.final = final;
  for (unsigned b : {CAPI_HEADER_BIT_MSG_ID, CAPI_HEADER_BIT_REQUEST_ID, CAPI_HEADER_BIT_STATUS,
                     CAPI_HEADER_BIT_FINAL})
    msgcodec_set_bit(h.present, b);
  uint8_t probe[1];
  const int hlen = msgcodec_capi_header_encode_ext(&h, probe, 0);
  const int plen = msgcodec_encode(type, payload, probe, 0);
  if (hlen < 0 || plen < 0) {
    tlg_internal(trace(), "drvif: %s cannot be encoded\n", drvif_wire::name(msg_id));
    return nullptr;
  }
  const size_t total = CAPI_FRAME_LENGTH_BYTES + static_cast<size_t>(hlen) + static_cast<size_t>(plen);
  if (total > MSGPIPE_MAX_MESSAGE) return nullptr;
  auto* buf = static_cast<uint8_t*>(malloc(total));
  if (buf == nullptr) return nullptr;
  for (int i = 0; i < 4; ++i) buf[i] = static_cast<uint8_t>(static_cast<uint32_t>(hlen) >> (24 - 8 * i));
  msgcodec_capi_header_encode_ext(&h, buf + CAPI_FRAME_LENGTH_BYTES, static_cast<size_t>(hlen));
  msgcodec_encode(type, payload, buf + CAPI_FRAME_LENGTH_BYTES + hlen, static_cast<size_t>(plen));
  *len = static_cast<uint32_t>(total);
  return buf;
}

int send(msgpipe_handle_t* t, uint32_t msg_id, uint32_t request_id, int32_t status, uint8_t final,
         const void* payload) {
  if (t == nullptr) return DRVIF_ERR_FAILED;
  if (!msgpipe_is_connected(t)) return DRVIF_ERR_NOT_CONNECTED;
  uint32_t len = 0;
  uint8_t* buf = build(msg_id, request_id, status, final, payload, &len);
  if (buf == nullptr) return DRVIF_ERR_FAILED;
  const int rc = msgpipe_send(t, buf, len, 0, msg_id);
  if (rc == MSGPIPE_OK) return DRVIF_OK;
  free(buf);
  if (rc == MSGPIPE_FLOW_CONTROLLED) return DRVIF_ERR_FLOW_CONTROL;
  return msgpipe_is_connected(t) ? DRVIF_ERR_FAILED : DRVIF_ERR_NOT_CONNECTED;
}

int send_init(msgpipe_handle_t* t) {
  return capi_send_init_msg(t, DRVIF_SERVICE_NAME, CAPI_INIT_MSG_ID, capi_get_unique_id_in_process(),
                            0, kVersion) == 0
             ? DRVIF_OK
             : DRVIF_ERR_FAILED;
}

bool decode(const uint8_t* bytes, size_t len, Message* out) {
  *out = Message{};
  msgcodec_capi_header_clear(&out->header);
  if (bytes == nullptr || len < CAPI_FRAME_LENGTH_BYTES) return false;
  const uint32_t hlen = (static_cast<uint32_t>(bytes[0]) << 24) | (static_cast<uint32_t>(bytes[1]) << 16) |
                        (static_cast<uint32_t>(bytes[2]) << 8) | bytes[3];
  if (hlen > len - CAPI_FRAME_LENGTH_BYTES) return false;
  if (msgcodec_capi_header_decode_ext(&out->header, bytes + CAPI_FRAME_LENGTH_BYTES, hlen, malloc) < 0)
    return false;
  const uint8_t* payload = bytes + CAPI_FRAME_LENGTH_BYTES + hlen;
  const size_t plen = len - CAPI_FRAME_LENGTH_BYTES - hlen;
  if (!msgcodec_test_bit(out->header.present, CAPI_HEADER_BIT_MSG_ID)) {
    release(out);
    return false;
  }
  if (out->header.msg_id == CAPI_INIT_MSG_ID) return plen == 0;
  out->type = drvif_wire::payload_type(out->header.msg_id);
  if (out->type == nullptr) {
    release(out);
    return false;
  }
  out->payload = calloc(1, out->type->size);
  if (out->payload == nullptr) {
    release(out);
    return false;
  }
  msgcodec_clear(out->type, out->payload);
  if (msgcodec_decode(out->type, out->payload, payload, plen, malloc, 0) < 0) {
    release(out);
    return false;
  }
  return true;
}

void release(Message* m) {
  if (m->payload != nullptr && m->type != nullptr) {
    msgcodec_free(m->type, m->payload, free);
    free(m->payload);
  } else {
    free(m->payload);
  }
  m->payload = nullptr;
  msgcodec_capi_header_free_ext(&m->header, free);
}

bool handle_receive(msgpipe_handle_t* h, uint32_t event, void* buf, int32_t size,
                    const std::function<void(const uint8_t*, size_t)>& on_frame) {
  if (event == MSGPIPE_EV_RECEIVE_READY) {
    if (size <= 0) {
      msgpipe_receive(h, nullptr, 0, 0, 0);
      return true;
    }
    void* mem = malloc(static_cast<size_t>(size));
    if (mem == nullptr || msgpipe_receive(h, mem, static_cast<uint32_t>(size), 0, 0) != MSGPIPE_OK)
      free(mem);
    return true;
  }
  if (event == MSGPIPE_EV_RECEIVED) {
    if (buf != nullptr) {
      on_frame(static_cast<const uint8_t*>(buf), static_cast<size_t>(size));
      free(buf);
    }
    return true;
  }
  if (event == MSGPIPE_EV_SENT) {
    free(buf);
    return true;
  }
  return false;
}

}  // namespace drvif_link

// What the client and the server of the platform-driver service share: the
// frame (header length, capi_header, payload), sending one message, taking
// one message off a connection, and the trace buffer.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <functional>

#include "drvif.h"
#include "tlg.h"

namespace drvif_link {

tlg_handle_t trace();

// One received frame, its payload decoded (null for a message without one or
// an INIT).
struct Message {
  capi_header header;
  const msgcodec_type* type = nullptr;
  void* payload = nullptr;
};

// Builds the frame of one message into a malloc'd buffer (null when the
// record cannot be encoded or the id is unknown); *len is its size.
uint8_t* build(uint32_t msg_id, uint32_t request_id, int32_t status, uint8_t final,
               const void* payload, uint32_t* len);
// Sends one message: DRVIF_OK, DRVIF_ERR_FLOW_CONTROL, DRVIF_ERR_NOT_CONNECTED
// or DRVIF_ERR_FAILED (the record cannot be encoded, an unknown id).
int send(msgpipe_handle_t* t, uint32_t msg_id, uint32_t request_id, int32_t status, uint8_t final,
         const void* payload);
// Sends the INIT of the request layer.
int send_init(msgpipe_handle_t* t);

// Decodes one frame of `len` bytes. False when it is malformed: a short or
// inconsistent length, a header or payload that does not decode, an unknown
// message id. The caller releases the message with release().
bool decode(const uint8_t* bytes, size_t len, Message* out);
void release(Message* m);

// Handles the transport's receive events of one connection: takes offered
// messages and hands each received buffer to `on_frame`. True when the event
// was one of them.
bool handle_receive(msgpipe_handle_t* h, uint32_t event, void* buf, int32_t size,
                    const std::function<void(const uint8_t*, size_t)>& on_frame);

}  // namespace drvif_link

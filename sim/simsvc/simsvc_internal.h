// What the parts of the service mechanism share.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <string>

#include "capi.h"
#include "msgcodec.h"
#include "msgpipe.h"
#include "simsvc.h"
#include "tlg.h"

namespace simsvc::detail {

tlg_handle_t trace();

// Builds one frame (length word, header, payload) in a malloc'd buffer.
// Null when the header or the payload cannot be encoded.
void* build_frame(uint32_t msg_id, uint32_t request_id, int32_t status,
                  const msgcodec_type* type, const void* payload, uint32_t* len);

struct Frame {
  capi_header header{};
  const uint8_t* payload = nullptr;
  size_t payload_len = 0;
};
// Splits a received frame; the header's texts are malloc'd (release with
// release_header). False, with `why` set, for a frame that does not decode.
bool parse_frame(const void* buf, size_t len, Frame* frame, std::string* why);
void release_header(capi_header* h);

// Decodes a payload into a fresh record (calloc'd); null with `why` set when
// it does not decode. Release with free_payload.
void* decode_payload(const msgcodec_type* type, const uint8_t* bytes, size_t len,
                     std::string* why);
void free_payload(const msgcodec_type* type, void* rec);

std::string endpoint_text(const msgpipe_endpoint& ep);

// Services served in this process (by a Server), found by clients before the
// directory service is asked.
void local_register(const std::string& service, const std::string& instance,
                    const msgpipe_endpoint& ep);
void local_unregister(const std::string& service, const std::string& instance);
bool local_lookup(const std::string& service, const std::string& instance, msgpipe_endpoint* ep);

// One msgpipe connection: framing, the two-step receive, a backlog while the
// transport is flow-controlled. Lives on one loop.
class Conn {
 public:
  using OnFrame = std::function<void(Frame& frame)>;
  using OnEvent = std::function<void(uint32_t event, int failed)>;

  Conn(msgpipe_handle_t* handle, OnFrame on_frame, OnEvent on_event)
      : handle_(handle), on_frame_(std::move(on_frame)), on_event_(std::move(on_event)) {}
  ~Conn();

  msgpipe_handle_t* handle() const { return handle_; }
  // Queues a built frame (taking it); false when it cannot go (not connected).
  bool send_frame(void* frame, uint32_t len, uint32_t tag);
  // Sends INIT for `service` as this process.
  int send_init(const std::string& service, uint32_t node_address);
  // The transport's events of this connection.
  void handle_event(uint32_t event, int failed, void* buf, int32_t size);
  // Drops what waits in the backlog.
  void clear_backlog();

 private:
  void flush();

  msgpipe_handle_t* handle_;
  OnFrame on_frame_;
  OnEvent on_event_;
  struct Pending {
    void* frame;
    uint32_t len;
    uint32_t tag;
  };
  std::deque<Pending> backlog_;
};

}  // namespace simsvc::detail

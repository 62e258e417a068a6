// Frames, payload records, the process's own identity and its table of
// services served in-process.
#include <arpa/inet.h>
#include <stdlib.h>
#include <string.h>

#include <climits>
#include <map>
#include <mutex>

#include "simsvc_internal.h"

namespace simsvc {

const Message* Service::find(uint32_t id) const {
  for (size_t i = 0; i < message_count; ++i) {
    if (messages[i].id == id) return &messages[i];
  }
  return nullptr;
}

uint32_t own_card_address() {
  const char* text = getenv(kCardAddressEnv);
  in_addr a{};
  if (text == nullptr || inet_pton(AF_INET, text, &a) != 1) return 0;
  return ntohl(a.s_addr);
}

std::string instance_from_root(const char* root) {
  if (root == nullptr || *root == '\0') return std::string();
  char resolved[PATH_MAX];
  std::string out = realpath(root, resolved) != nullptr ? std::string(resolved) : std::string(root);
  while (out.size() > 1 && out.back() == '/') out.pop_back();
  return out;
}

std::string own_instance() { return instance_from_root(getenv("ENVMON_ROOT")); }

namespace detail {

tlg_handle_t trace() {
  static tlg_handle_t handle = [] {
    tlg_handle_t h = nullptr;
    tlg_open_internal(&h, "simsvc", 0, 0, "sim/simsvc", "", nullptr);
    return h;
  }();
  return handle;
}

void* build_frame(uint32_t msg_id, uint32_t request_id, int32_t status,
                  const msgcodec_type* type, const void* payload, uint32_t* len) {
  capi_header h{};
  msgcodec_capi_header_clear(&h);
  h.msg_id = msg_id;
  h.request_id = request_id;
  h.status = status;
  msgcodec_set_bit(h.present, CAPI_HEADER_BIT_MSG_ID);
  msgcodec_set_bit(h.present, CAPI_HEADER_BIT_REQUEST_ID);
  msgcodec_set_bit(h.present, CAPI_HEADER_BIT_STATUS);
  uint8_t probe[1];
  const int hlen = msgcodec_capi_header_encode_ext(&h, probe, 0);
  if (hlen < 0) return nullptr;
  int plen = 0;
  if (type != nullptr) {
    if (payload == nullptr) return nullptr;
    plen = msgcodec_encode(type, payload, probe, 0);
    if (plen < 0) return nullptr;
  }
  const size_t total = CAPI_FRAME_LENGTH_BYTES + static_cast<size_t>(hlen) +
                       static_cast<size_t>(plen);
  if (total > MSGPIPE_MAX_MESSAGE) return nullptr;
  auto* buf = static_cast<uint8_t*>(malloc(total));
  if (buf == nullptr) return nullptr;
  buf[0] = static_cast<uint8_t>(hlen >> 24);
  buf[1] = static_cast<uint8_t>(hlen >> 16);
  buf[2] = static_cast<uint8_t>(hlen >> 8);
  buf[3] = static_cast<uint8_t>(hlen);
  if (msgcodec_capi_header_encode_ext(&h, buf + CAPI_FRAME_LENGTH_BYTES,
                                      static_cast<size_t>(hlen)) != hlen ||
      (type != nullptr &&
       msgcodec_encode(type, payload, buf + CAPI_FRAME_LENGTH_BYTES + hlen,
                       static_cast<size_t>(plen)) != plen)) {
    free(buf);
    return nullptr;
  }
  *len = static_cast<uint32_t>(total);
  return buf;
}

bool parse_frame(const void* buf, size_t len, Frame* frame, std::string* why) {
  const auto* b = static_cast<const uint8_t*>(buf);
  if (len < CAPI_FRAME_LENGTH_BYTES) {
    *why = "frame of " + std::to_string(len) + " bytes has no header length";
    return false;
  }
  const size_t hlen = (static_cast<size_t>(b[0]) << 24) | (static_cast<size_t>(b[1]) << 16) |
                      (static_cast<size_t>(b[2]) << 8) | b[3];
  if (hlen > len - CAPI_FRAME_LENGTH_BYTES) {
    *why = "header length " + std::to_string(hlen) + " exceeds the frame of " +
           std::to_string(len) + " bytes";
    return false;
  }
  msgcodec_capi_header_clear(&frame->header);
  if (msgcodec_capi_header_decode_ext(&frame->header, b + CAPI_FRAME_LENGTH_BYTES, hlen, malloc) <
      0) {
    *why = "header does not decode";
    return false;
  }
  if (!msgcodec_test_bit(frame->header.present, CAPI_HEADER_BIT_MSG_ID)) {
    release_header(&frame->header);
    *why = "header has no message id";
    return false;
  }
  frame->payload = b + CAPI_FRAME_LENGTH_BYTES + hlen;
  frame->payload_len = len - CAPI_FRAME_LENGTH_BYTES - hlen;
  return true;
}

void release_header(capi_header* h) { msgcodec_capi_header_free_ext(h, free); }

void* decode_payload(const msgcodec_type* type, const uint8_t* bytes, size_t len,
                     std::string* why) {
  void* rec = calloc(1, type->size);
  if (rec == nullptr) {
    *why = "no memory for a " + std::string(type->name);
    return nullptr;
  }
  msgcodec_clear(type, rec);
  if (msgcodec_decode(type, rec, bytes, len, malloc, 0) < 0) {
    free(rec);
    *why = std::string(type->name) + " payload of " + std::to_string(len) +
           " bytes does not decode";
    return nullptr;
  }
  return rec;
}

void free_payload(const msgcodec_type* type, void* rec) {
  if (rec == nullptr) return;
  msgcodec_free(type, rec, free);
  free(rec);
}

std::string endpoint_text(const msgpipe_endpoint& ep) {
  const uint32_t a = ep.node_address;
  return std::to_string(a >> 24) + "." + std::to_string((a >> 16) & 0xff) + "." +
         std::to_string((a >> 8) & 0xff) + "." + std::to_string(a & 0xff) + ":" +
         std::to_string(ep.port);
}

namespace {

struct LocalTable {
  std::mutex mu;
  std::map<std::string, msgpipe_endpoint> services;
};

LocalTable& local_table() {
  static LocalTable* t = new LocalTable();  // reachable until the process ends
  return *t;
}

std::string local_key(const std::string& service, const std::string& instance) {
  return service + '\n' + instance;
}

}  // namespace

void local_register(const std::string& service, const std::string& instance,
                    const msgpipe_endpoint& ep) {
  LocalTable& t = local_table();
  std::lock_guard<std::mutex> lock(t.mu);
  t.services[local_key(service, instance)] = ep;
}

void local_unregister(const std::string& service, const std::string& instance) {
  LocalTable& t = local_table();
  std::lock_guard<std::mutex> lock(t.mu);
  t.services.erase(local_key(service, instance));
}

bool local_lookup(const std::string& service, const std::string& instance, msgpipe_endpoint* ep) {
  LocalTable& t = local_table();
  std::lock_guard<std::mutex> lock(t.mu);
  auto it = t.services.find(local_key(service, instance));
  if (it == t.services.end()) return false;
  *ep = it->second;
  return true;
}

// ---------------------------------------------------------------------------

Conn::~Conn() { clear_backlog(); }

void Conn::clear_backlog() {
  for (auto& p : backlog_) free(p.frame);
  backlog_.clear();
}

bool Conn::send_frame(void* frame, uint32_t len, uint32_t tag) {
  if (!backlog_.empty()) {
    backlog_.push_back(Pending{frame, len, tag});
    return true;
  }
  pthread_mutex_t* mu = msgpipe_get_mutex(handle_);
  if (mu != nullptr) pthread_mutex_lock(mu);
  int rc = MSGPIPE_FAILED;
  if (msgpipe_is_connected(handle_)) rc = msgpipe_send(handle_, frame, len, 0, tag);
  if (mu != nullptr) pthread_mutex_unlock(mu);
  if (rc == MSGPIPE_OK) return true;
  if (rc == MSGPIPE_FLOW_CONTROLLED) {
    backlog_.push_back(Pending{frame, len, tag});
    return true;
  }
  free(frame);
  return false;
}

void Conn::flush() {
  while (!backlog_.empty()) {
    Pending p = backlog_.front();
    const int rc = msgpipe_send(handle_, p.frame, p.len, 0, p.tag);
    if (rc == MSGPIPE_FLOW_CONTROLLED) return;
    backlog_.pop_front();
    if (rc != MSGPIPE_OK) free(p.frame);
  }
}

int Conn::send_init(const std::string& service, uint32_t node_address) {
  return capi_send_init_msg(handle_, service.c_str(), CAPI_INIT_MSG_ID,
                            capi_get_unique_id_in_process(), node_address, "1");
}

void Conn::handle_event(uint32_t event, int failed, void* buf, int32_t size) {
  switch (event) {
    case MSGPIPE_EV_SENT:
      free(buf);
      return;
    case MSGPIPE_EV_RECEIVE_READY: {
      const size_t n = size > 0 ? static_cast<size_t>(size) : 0;
      void* in = malloc(n == 0 ? 1 : n);
      if (in == nullptr || msgpipe_receive(handle_, in, static_cast<uint32_t>(n), 0, 0) != 0) {
        free(in);
        tlg_internal(trace(), "simsvc: could not take a message of %d bytes\n", size);
      }
      return;
    }
    case MSGPIPE_EV_RECEIVED: {
      Frame frame;
      std::string why;
      const size_t n = size > 0 ? static_cast<size_t>(size) : 0;
      if (!parse_frame(buf, n, &frame, &why)) {
        tlg_internal(trace(), "simsvc: dropped a frame: %s\n", why.c_str());
      } else {
        on_frame_(frame);
        release_header(&frame.header);
      }
      free(buf);
      return;
    }
    case MSGPIPE_EV_FLOW_RESUMED:
      flush();
      return;
    case MSGPIPE_EV_DISCONNECTED:
      clear_backlog();
      on_event_(event, failed);
      return;
    default:
      on_event_(event, failed);
      return;
  }
}

}  // namespace detail
}  // namespace simsvc

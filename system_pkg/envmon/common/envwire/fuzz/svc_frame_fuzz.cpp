// Arbitrary frames fed to both receivers of the service: the client's
// transport event handler and the server's handler of an accepted
// connection, called directly as the transport would call them.
//
// Input: one flags byte, then frames, each a 16-bit big-endian length and
// that many bytes. Flags bit 0: 0 the client receives, 1 the server does.
// Bit 1: the peer's INIT is delivered first, so later frames meet a completed
// handshake. The client also has three requests pending (ids 1, 2, 3 for
// requests 4, 13 and 1) so that responses can be matched.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "capi.h"
#include "envclient.h"
#include "envmon_client.h"
#include "envmon_wire.h"
#include "envserve.h"
#include "tlg.h"

namespace {

evloop_t* g_loop = nullptr;

// Callbacks re-encode what they are given, so every decoded field is read.
void touch(const envmon_msg_desc* m, const void* payload) {
  if (m == nullptr || payload == nullptr) return;
  uint8_t probe[1];
  const int need = msgcodec_encode(m->type, payload, probe, 0);
  if (need > 0) {
    std::vector<uint8_t> out(static_cast<size_t>(need));
    msgcodec_encode(m->type, payload, out.data(), out.size());
  }
}

template <uint32_t Id>
void resp_cb(envmon_handle*, void* payload, uint8_t, int32_t, void*) {
  touch(envmon_wire_server_msg(Id), payload);
}
template <uint32_t Id>
void notif_cb(envmon_handle*, void* payload) {
  touch(envmon_wire_server_msg(Id), payload);
}
template <uint32_t Id>
void request_cb(envmon_client_handle*, void* payload, uint32_t) {
  touch(envmon_wire_request(Id), payload);
}
template <uint32_t Id>
void oneway_cb(envmon_client_handle*, void* payload) {
  touch(envmon_wire_request(Id), payload);
}

envmon_client_handle* g_established = nullptr;
void server_connect_cb(envmon_client_handle* c, envmon_server_handle*, int32_t status) {
  if (status == 0) g_established = c;
}
void server_disconnect_cb(envmon_client_handle* c, int32_t) { envmon_client_handle_destroy(c); }
void server_error_cb(envmon_client_handle*, envmon_server_handle*, int32_t) {}

std::vector<uint8_t> init_frame() {
  capi_header h;
  msgcodec_capi_header_clear(&h);
  h.msg_id = ENVMON_MSG_INIT;
  h.service_name = const_cast<char*>("envmon");
  h.node_addr = 0x7f000001;
  h.pid = 4242;
  h.version = const_cast<char*>("0.0.1");
  h.program_name = const_cast<char*>("fuzz-peer");
  h.unique_id = 1;
  for (unsigned bit : {CAPI_HEADER_BIT_MSG_ID, CAPI_HEADER_BIT_SERVICE_NAME,
                       CAPI_HEADER_BIT_NODE_ADDR, CAPI_HEADER_BIT_PID, CAPI_HEADER_BIT_VERSION,
                       CAPI_HEADER_BIT_PROGRAM_NAME, CAPI_HEADER_BIT_UNIQUE_ID}) {
    msgcodec_set_bit(h.present, bit);
  }
  uint8_t buf[256];
  const int hl = msgcodec_capi_header_encode_ext(&h, buf + 4, sizeof buf - 4);
  buf[0] = buf[1] = buf[2] = 0;
  buf[3] = static_cast<uint8_t>(hl);
  return std::vector<uint8_t>(buf, buf + 4 + hl);
}

// Hands one received message to a handler, as the transport does: a
// malloc'd buffer that the handler frees.
void deliver(msgpipe_event_handler_t handler, msgpipe_handle_t* t, const uint8_t* bytes,
             size_t len) {
  void* buf = malloc(len > 0 ? len : 1);
  if (len > 0) memcpy(buf, bytes, len);
  handler(t, MSGPIPE_EV_RECEIVED, 0, buf, static_cast<int32_t>(len), 0);
}

std::vector<std::vector<uint8_t>> split(const uint8_t* data, size_t size) {
  std::vector<std::vector<uint8_t>> frames;
  size_t at = 0;
  while (at + 2 <= size) {
    size_t n = (static_cast<size_t>(data[at]) << 8) | data[at + 1];
    at += 2;
    n = n < size - at ? n : size - at;
    frames.emplace_back(data + at, data + at + n);
    at += n;
  }
  return frames;
}

void fuzz_client(bool handshake, const std::vector<std::vector<uint8_t>>& frames) {
  envmon_handle* h = nullptr;
  if (envmon_handle_create(&h, g_loop, nullptr) != 0) return;
  envmon_set_power_budget_callback(h, resp_cb<ENVMON_RESP_POWER_BUDGET>);
  envmon_set_resp_sensor_value_set_callback(h, resp_cb<ENVMON_RESP_SENSOR_VALUE_SET>);
  envmon_set_resp_test_callback(h, resp_cb<ENVMON_RESP_TEST>);
  envmon_set_resp_altitude_value_callback(h, resp_cb<ENVMON_RESP_ALTITUDE_VALUE>);
  envmon_set_notif_sys_pwr_data_callback(h, notif_cb<ENVMON_NOTIF_SYS_PWR_DATA>);
  envmon_set_notif_fru_pwr_alloc_data_callback(h, notif_cb<ENVMON_NOTIF_FRU_PWR_ALLOC_DATA>);
  // Pending requests as the request functions leave them.
  for (uint32_t msg_id : {ENVMON_REQ_RUN_TEST, ENVMON_REQ_ALTITUDE_VALUE, ENVMON_REQ_POWER_BUDGET}) {
    capi_table_entry* e = capi_table_add(&h->pending);
    if (e != nullptr) e->msg_id = msg_id;
  }
  msgpipe_handle_t* t = envmon_get_transport(h);
  envmon_msgpipe_event_handler(t, MSGPIPE_EV_CONNECTED, 0, nullptr, 0, 0);
  if (handshake) {
    const auto init = init_frame();
    deliver(envmon_msgpipe_event_handler, t, init.data(), init.size());
  }
  for (const auto& f : frames) deliver(envmon_msgpipe_event_handler, t, f.data(), f.size());
  envmon_handle_destroy(h);
  evloop_run_until_idle(g_loop);
}

void fuzz_server(bool handshake, const std::vector<std::vector<uint8_t>>& frames) {
  envmon_server_handle* s = nullptr;
  if (envmon_server_handle_create(&s, g_loop) != 0) return;
  envmon_server_set_connect_callback(s, server_connect_cb);
  envmon_server_set_disconnect_callback(s, server_disconnect_cb);
  envmon_server_set_error_callback(s, server_error_cb);
  envmon_server_set_request_power_budget_callback(s, request_cb<ENVMON_REQ_POWER_BUDGET>);
  envmon_server_set_sensor_value_set_callback(s, request_cb<ENVMON_REQ_SENSOR_VALUE_SET>);
  envmon_server_set_sensor_fault_set_callback(s, request_cb<ENVMON_REQ_SENSOR_FAULT_SET>);
  envmon_server_set_set_dbg_flag_callback(s, request_cb<ENVMON_REQ_SET_DBG_FLAG>);
  envmon_server_set_oper_state_set_callback(s, oneway_cb<ENVMON_REQ_OPER_STATE_SET>);
  envmon_server_set_fan_timer_disable_callback(s, oneway_cb<ENVMON_REQ_FAN_TIMER_DISABLE>);
  envmon_server_set_request_altitude_value_callback(s, request_cb<ENVMON_REQ_ALTITUDE_VALUE>);

  // A new inbound connection, as the listening handle reports it.
  msgpipe_handle_t* t = nullptr;
  if (msgpipe_handle_create(0, &t) != 0) {
    envmon_server_handle_destroy(s);
    return;
  }
  msgpipe_handle_set_user_context(t, s);
  envmon_server_listen_event_handler(t, MSGPIPE_EV_CONNECTED, 0, nullptr, 0, 0);
  auto* c = static_cast<envmon_client_handle*>(msgpipe_handle_get_user_context(t));
  g_established = nullptr;
  bool gone = c == nullptr || c == reinterpret_cast<envmon_client_handle*>(s);
  auto feed = [&](const std::vector<uint8_t>& f) {
    if (gone) return;
    // A handler that drops or destroys the client destroys the transport too.
    deliver(envmon_server_client_event_handler, t, f.data(), f.size());
    gone = envmon_client_get_transport(c) == nullptr;
  };
  if (handshake) feed(init_frame());
  for (const auto& f : frames) feed(f);
  if (!gone) envmon_client_handle_destroy(c);
  envmon_server_handle_destroy(s);
  evloop_run_until_idle(g_loop);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (g_loop == nullptr) g_loop = evloop_create("svc_frame_fuzz", 0);
  if (size == 0) return 0;
  const uint8_t flags = data[0];
  const auto frames = split(data + 1, size - 1);
  if (flags & 1) {
    fuzz_server((flags & 2) != 0, frames);
  } else {
    fuzz_client((flags & 2) != 0, frames);
  }
  return 0;
}

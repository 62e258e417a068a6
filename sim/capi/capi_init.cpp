// The INIT message, the process's program name and unique ids.
#include <pthread.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>

#include "capi.h"
#include "tlg.h"

namespace {

constexpr char kTraceBuffer[] = "capi";

tlg_handle_t trace_buffer() {
  static std::once_flag once;
  static tlg_handle_t handle = nullptr;
  std::call_once(once, [] { tlg_open_internal(&handle, kTraceBuffer, 0, 0, "./sim/capi", "", nullptr); });
  return handle;
}

// argv[0] as the process was started: the first string of /proc/self/cmdline.
std::string read_program_name() {
  std::string name;
  if (FILE* f = std::fopen("/proc/self/cmdline", "rb")) {
    int c;
    while ((c = std::fgetc(f)) != EOF && c != '\0') name.push_back(static_cast<char>(c));
    std::fclose(f);
  }
  if (name.empty() && program_invocation_name) name = program_invocation_name;
  return name;
}

std::atomic<uint32_t> g_unique_id{0};

}  // namespace

extern "C" const char* capi_get_program_name(void) {
  // Never destroyed: a client library's thread may still ask while the
  // process runs its exit handlers.
  static const std::string* name = new std::string(read_program_name());
  return name->c_str();
}

extern "C" uint32_t capi_get_unique_id_in_process(void) {
  uint32_t id = g_unique_id.fetch_add(1, std::memory_order_relaxed) + 1;
  while (id == 0) id = g_unique_id.fetch_add(1, std::memory_order_relaxed) + 1;
  return id;
}

extern "C" int capi_send_init_msg(msgpipe_handle_t* transport, const char* service_name, uint32_t msg_id,
                                  uint32_t unique_id, uint32_t node_addr, const char* version) {
  if (!transport || !service_name || !version) {
    tlg_internal(trace_buffer(), "capi_send_init_msg(): missing argument (transport %p, service %p, version %p)\n",
                 static_cast<void*>(transport), static_cast<const void*>(service_name),
                 static_cast<const void*>(version));
    return -1;
  }
  capi_header h;
  msgcodec_capi_header_clear(&h);
  h.msg_id = msg_id;
  h.service_name = const_cast<char*>(service_name);
  h.node_addr = node_addr;
  h.pid = static_cast<uint32_t>(getpid());
  h.version = const_cast<char*>(version);
  h.program_name = const_cast<char*>(capi_get_program_name());
  h.unique_id = unique_id;
  for (unsigned bit : {CAPI_HEADER_BIT_MSG_ID, CAPI_HEADER_BIT_SERVICE_NAME, CAPI_HEADER_BIT_NODE_ADDR,
                       CAPI_HEADER_BIT_PID, CAPI_HEADER_BIT_VERSION, CAPI_HEADER_BIT_PROGRAM_NAME,
                       CAPI_HEADER_BIT_UNIQUE_ID}) {
    msgcodec_set_bit(h.present, bit);
  }
  const int header_len = msgcodec_capi_header_encode_ext(&h, nullptr, 0);
  if (header_len < 0) {
    tlg_internal(trace_buffer(), "capi_send_init_msg(): header for service %s cannot be encoded\n", service_name);
    return -1;
  }
  const size_t frame_len = CAPI_FRAME_LENGTH_BYTES + static_cast<size_t>(header_len);
  auto* frame = static_cast<uint8_t*>(std::malloc(frame_len));
  if (!frame) {
    tlg_internal(trace_buffer(), "capi_send_init_msg(): out of memory for a frame of %zu bytes\n", frame_len);
    return -1;
  }
  const uint32_t h32 = static_cast<uint32_t>(header_len);
  frame[0] = static_cast<uint8_t>(h32 >> 24);
  frame[1] = static_cast<uint8_t>(h32 >> 16);
  frame[2] = static_cast<uint8_t>(h32 >> 8);
  frame[3] = static_cast<uint8_t>(h32);
  msgcodec_capi_header_encode_ext(&h, frame + CAPI_FRAME_LENGTH_BYTES, static_cast<size_t>(header_len));

  pthread_mutex_t* mutex = msgpipe_get_mutex(transport);
  if (mutex) pthread_mutex_lock(mutex);
  int rc = MSGPIPE_FAILED;
  if (msgpipe_is_connected(transport)) {
    rc = msgpipe_send(transport, frame, static_cast<uint32_t>(frame_len), 0, 0);
  }
  if (mutex) pthread_mutex_unlock(mutex);
  if (rc != 0) {
    std::free(frame);
    tlg_internal(trace_buffer(), "capi_send_init_msg(): INIT for service %s not sent (msgpipe result %d)\n",
                 service_name, rc);
  }
  return rc;
}

// Test kit of the service libraries: one event loop with a server handle, a
// client handle and raw transport peers, every callback recorded. Only one
// kit exists at a time (the callbacks find it through a global).
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "envclient.h"
#include "envmon_wire.h"
#include "envserve.h"
#include "svc_samples.h"

namespace svc_test {

// Row of a recorded server message: 0-8 the response rows, then the two notifications.
constexpr int kRowNotifSys = 9;
constexpr int kRowNotifFru = 10;

struct Response {
  int row;
  bool has_payload;
  std::vector<uint8_t> payload;  // re-encoded record
  uint8_t final;
  int32_t status;
  void* cookie;
};

struct Request {
  uint32_t id;
  bool has_payload;
  std::vector<uint8_t> payload;
  uint32_t request_id;
  envmon_client_handle* client;
};

// A bare transport end that sends hand-made frames and records what arrives.
class RawPeer {
 public:
  explicit RawPeer(evloop_t* loop);
  ~RawPeer();
  // Listens on 127.0.0.1 and any port; returns the bound endpoint.
  msgpipe_endpoint listen();
  void connect(const msgpipe_endpoint& ep);
  // The connection (the accepted one for a listener), or null.
  msgpipe_handle_t* conn() const { return conn_; }
  int send(const std::vector<uint8_t>& bytes);
  int send_init(const char* service_name);
  // A frame of a message built by the library's own rule.
  static std::vector<uint8_t> frame(const envmon_msg_desc* m, const void* payload,
                                    uint32_t request_id, int32_t status = 0, uint32_t final = 1);

  std::vector<std::vector<uint8_t>> received;
  int connects = 0;
  int disconnects = 0;

 private:
  static void handler(msgpipe_handle_t* t, uint32_t event, int failed, void* buf, int32_t size,
                      uint32_t flags);
  evloop_t* loop_;
  msgpipe_handle_t* listener_ = nullptr;
  msgpipe_handle_t* conn_ = nullptr;
};

class Kit {
 public:
  Kit();
  ~Kit();
  Kit(const Kit&) = delete;
  Kit& operator=(const Kit&) = delete;

  // Waits (real time, bounded) until done() holds, running the loop.
  bool run_until(const std::function<bool()>& done, uint32_t bound_ms = 5000);
  void run_idle();

  // A server with every callback and handler set, bound to `at` or to
  // 127.0.0.1 and any port (no directory service involved).
  void start_server(const msgpipe_endpoint* at = nullptr);
  void stop_server();  // destroys its established clients and the server
  // A client with every callback set, connected to the server's endpoint.
  void start_client(const msgpipe_endpoint* ep = nullptr);
  // A client with every callback set, not connected.
  void make_client();
  // Both, and waits for the handshake on both sides.
  void connect_pair();

  // Reads a recorded payload back into a record of the message's type; the
  // caller releases it with the type's free.
  static void decode(const envmon_msg_desc* m, const std::vector<uint8_t>& bytes, void* rec);

  evloop_t* loop = nullptr;
  envmon_server_handle* server = nullptr;
  msgpipe_endpoint server_ep{};
  envmon_handle* client = nullptr;

  // Client side.
  std::vector<int32_t> client_connects;
  std::vector<int32_t> client_disconnects;
  std::vector<int32_t> client_errors;
  int client_flow_resumes = 0;
  std::vector<Response> responses;
  std::function<void(const Response&, void* payload)> on_response;
  std::function<void(int32_t)> on_client_connect;
  std::function<void()> on_flow_resume;

  // Server side.
  std::vector<envmon_client_handle*> established;
  std::vector<int32_t> server_connects;
  std::vector<int32_t> server_disconnects;
  std::vector<int32_t> server_errors;
  int server_flow_resumes = 0;
  std::vector<Request> requests;
  std::function<void(const Request&, void* payload)> on_request;
  std::function<void(envmon_client_handle*)> on_server_disconnect;
  std::function<void(envmon_client_handle*, int32_t)> on_server_error;
  bool destroy_on_disconnect = true;

 private:
  void set_server_callbacks();
  void set_client_callbacks();
};

// The kit of the running test.
Kit& kit();

// A program of the build started with its standard output on a pipe.
class Child {
 public:
  Child() = default;
  ~Child();
  Child(const Child&) = delete;
  Child& operator=(const Child&) = delete;
  // Starts bin/<program> (beside the test binary) with the arguments.
  bool start(const std::string& program, const std::vector<std::string>& args);
  // Waits (real time, bounded) for an output line containing text; the lines
  // read on the way are kept.
  bool wait_for_line(const std::string& text, uint32_t bound_ms = 10000);
  // Without waiting: reads what output is there and looks for a line
  // containing text among all lines read after index `from`.
  bool poll_line(const std::string& text, size_t from = 0);
  size_t line_count() const { return lines_.size(); }
  // Lines read so far that contain text.
  std::vector<std::string> lines_with(const std::string& text) const;
  void kill_now();  // SIGKILL and reap
  void stop();      // SIGTERM and reap
  pid_t pid() const { return pid_; }

 private:
  bool read_some(int timeout_ms);
  pid_t pid_ = -1;
  int out_ = -1;
  std::string partial_;
  std::vector<std::string> lines_;
};

// A free TCP port on 127.0.0.1 (the kernel's choice of the moment).
uint32_t free_port();

// Text lines of a trace buffer that contain `text`.
size_t trace_count(const char* buffer, const std::string& text);
std::string format(const char* fmt, ...) __attribute__((format(printf, 1, 2)));

}  // namespace svc_test

#include "svc_testkit.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdarg>
#include <cstdlib>
#include <cstring>

#include "capi.h"
#include "tlg_test.h"

namespace svc_test {

namespace {

Kit* g_kit = nullptr;

// Client callbacks.
void client_connect_cb(envmon_handle*, int32_t status, void*) {
  g_kit->client_connects.push_back(status);
  if (g_kit->on_client_connect) g_kit->on_client_connect(status);
}
void client_disconnect_cb(envmon_handle*, int32_t reason, void*) {
  g_kit->client_disconnects.push_back(reason);
}
void client_error_cb(envmon_handle*, int32_t code) { g_kit->client_errors.push_back(code); }
void client_flow_cb(envmon_handle*) {
  ++g_kit->client_flow_resumes;
  if (g_kit->on_flow_resume) g_kit->on_flow_resume();
}

const envmon_msg_desc* server_msg_of_row(int row) {
  for (uint32_t id = 0; id < 16; ++id) {
    const envmon_msg_desc* m = envmon_wire_server_msg(id);
    if (m == nullptr) continue;
    if (m->kind == ENVMON_KIND_RESPONSE && m->row == row) return m;
    if (row == kRowNotifSys && id == ENVMON_NOTIF_SYS_PWR_DATA) return m;
    if (row == kRowNotifFru && id == ENVMON_NOTIF_FRU_PWR_ALLOC_DATA) return m;
  }
  return nullptr;
}

void record_response(int row, void* payload, uint8_t final, int32_t status, void* cookie) {
  Response r{row, payload != nullptr, {}, final, status, cookie};
  if (payload != nullptr) r.payload = encode_payload(server_msg_of_row(row), payload);
  g_kit->responses.push_back(r);
  if (g_kit->on_response) g_kit->on_response(g_kit->responses.back(), payload);
}

template <int Row>
void resp_cb(envmon_handle*, void* payload, uint8_t final, int32_t status, void* cookie) {
  record_response(Row, payload, final, status, cookie);
}
template <int Row>
void notif_cb(envmon_handle*, void* payload) {
  record_response(Row, payload, 1, 0, nullptr);
}

// Server callbacks.
void server_connect_cb(envmon_client_handle* c, envmon_server_handle*, int32_t status) {
  g_kit->server_connects.push_back(status);
  if (status == 0 && c != nullptr) {
    bool known = false;
    for (auto* e : g_kit->established) known = known || e == c;
    if (!known) g_kit->established.push_back(c);
  }
}
void server_disconnect_cb(envmon_client_handle* c, int32_t reason) {
  g_kit->server_disconnects.push_back(reason);
  if (g_kit->on_server_disconnect) g_kit->on_server_disconnect(c);
  if (!g_kit->destroy_on_disconnect) return;
  auto& v = g_kit->established;
  for (auto it = v.begin(); it != v.end(); ++it) {
    if (*it == c) {
      v.erase(it);
      break;
    }
  }
  envmon_client_handle_destroy(c);
}
void server_error_cb(envmon_client_handle* c, envmon_server_handle*, int32_t code) {
  g_kit->server_errors.push_back(code);
  if (g_kit->on_server_error) g_kit->on_server_error(c, code);
}
void server_flow_cb(envmon_client_handle*) { ++g_kit->server_flow_resumes; }

void record_request(uint32_t id, envmon_client_handle* c, void* payload, uint32_t rid) {
  Request r{id, payload != nullptr, {}, rid, c};
  if (payload != nullptr) r.payload = encode_payload(envmon_wire_request(id), payload);
  g_kit->requests.push_back(r);
  if (g_kit->on_request) g_kit->on_request(g_kit->requests.back(), payload);
}
template <uint32_t Id>
void request_cb(envmon_client_handle* c, void* payload, uint32_t rid) {
  record_request(Id, c, payload, rid);
}
template <uint32_t Id>
void oneway_cb(envmon_client_handle* c, void* payload) {
  record_request(Id, c, payload, 0);
}

}  // namespace

Kit& kit() { return *g_kit; }

size_t trace_count(const char* buffer, const std::string& text) {
  size_t n = 0;
  for (const auto& line : tlg_test_lines(buffer)) n += line.find(text) != std::string::npos;
  return n;
}

std::string format(const char* fmt, ...) {
  char buf[1024];
  va_list ap;
  va_start(ap, fmt);
  vsnprintf(buf, sizeof buf, fmt, ap);
  va_end(ap);
  return buf;
}

// ---------------------------------------------------------------------------
RawPeer::RawPeer(evloop_t* loop) : loop_(loop) {}

RawPeer::~RawPeer() {
  if (conn_ != nullptr) msgpipe_handle_destroy(conn_);
  if (listener_ != nullptr) msgpipe_handle_destroy(listener_);
}

msgpipe_endpoint RawPeer::listen() {
  msgpipe_handle_create(0, &listener_);
  msgpipe_handle_set_user_context(listener_, this);
  evloop_attach_msgpipe_handle(loop_, listener_, handler);
  msgpipe_endpoint ep{};
  msgpipe_endpoint_set(&ep, kLoopback, 0);
  EXPECT_EQ(msgpipe_bind(listener_, 0, &ep, nullptr), 0);
  msgpipe_get_local_endpoint(listener_, &ep);
  return ep;
}

void RawPeer::connect(const msgpipe_endpoint& ep) {
  msgpipe_handle_create(0, &conn_);
  msgpipe_handle_set_user_context(conn_, this);
  evloop_attach_msgpipe_handle(loop_, conn_, handler);
  EXPECT_EQ(msgpipe_connect(conn_, 0, &ep, nullptr), 0);
}

int RawPeer::send(const std::vector<uint8_t>& bytes) {
  void* buf = malloc(bytes.empty() ? 1 : bytes.size());
  if (!bytes.empty()) memcpy(buf, bytes.data(), bytes.size());
  const int rc = msgpipe_send(conn_, buf, static_cast<uint32_t>(bytes.size()), 0, 0);
  if (rc != 0) free(buf);
  return rc;
}

int RawPeer::send_init(const char* service_name) {
  msgpipe_endpoint local{};
  msgpipe_get_local_endpoint(conn_, &local);
  return capi_send_init_msg(conn_, service_name, ENVMON_MSG_INIT, capi_get_unique_id_in_process(),
                            local.node_address, ENVMON_VERSION);
}

std::vector<uint8_t> RawPeer::frame(const envmon_msg_desc* m, const void* payload,
                                    uint32_t request_id, int32_t status, uint32_t final) {
  envmon_wire_side side{nullptr, nullptr, nullptr, nullptr, nullptr, kLoopback};
  uint8_t* f = nullptr;
  uint32_t len = 0;
  EXPECT_EQ(envmon_wire_build(&side, m, payload, request_id, status, final, 1, &f, &len), 0);
  std::vector<uint8_t> out(f, f + len);
  free(f);
  return out;
}

void RawPeer::handler(msgpipe_handle_t* t, uint32_t event, int failed, void* buf, int32_t size,
                      uint32_t) {
  auto* self = static_cast<RawPeer*>(msgpipe_handle_get_user_context(t));
  switch (event) {
    case MSGPIPE_EV_CONNECTED:
      if (!failed) {
        ++self->connects;
        if (t != self->conn_) {
          if (self->conn_ != nullptr) msgpipe_handle_destroy(self->conn_);
          self->conn_ = t;
        }
      }
      break;
    case MSGPIPE_EV_DISCONNECTED:
      ++self->disconnects;
      break;
    case MSGPIPE_EV_RECEIVE_READY: {
      void* b = malloc(size > 0 ? static_cast<size_t>(size) : 1);
      if (msgpipe_receive(t, b, static_cast<uint32_t>(size), 0, 0) != 0) free(b);
      break;
    }
    case MSGPIPE_EV_RECEIVED: {
      const auto* p = static_cast<const uint8_t*>(buf);
      if (!failed) self->received.emplace_back(p, p + size);
      free(buf);
      break;
    }
    case MSGPIPE_EV_SENT:
      free(buf);
      break;
    default:
      break;
  }
}

// ---------------------------------------------------------------------------
Kit::Kit() {
  g_kit = this;
  loop = evloop_create("svc_test", 0);
  tlg_test_clear();
}

Kit::~Kit() {
  if (client != nullptr) envmon_handle_destroy(client);
  stop_server();
  run_idle();
  evloop_destroy(loop);
  g_kit = nullptr;
}

bool Kit::run_until(const std::function<bool()>& done, uint32_t bound_ms) {
  auto check = [](void* arg) -> int { return (*static_cast<const std::function<bool()>*>(arg))() ? 1 : 0; };
  return evloop_run_until(loop, check, const_cast<std::function<bool()>*>(&done), bound_ms) == 0;
}

void Kit::run_idle() { evloop_run_until_idle(loop); }

void Kit::set_server_callbacks() {
  envmon_server_set_connect_callback(server, server_connect_cb);
  envmon_server_set_disconnect_callback(server, server_disconnect_cb);
  envmon_server_set_error_callback(server, server_error_cb);
  envmon_server_set_flow_resume_callback(server, server_flow_cb);
  envmon_server_set_request_power_budget_callback(server, request_cb<ENVMON_REQ_POWER_BUDGET>);
  envmon_server_set_sensor_value_set_callback(server, request_cb<ENVMON_REQ_SENSOR_VALUE_SET>);
  envmon_server_set_sensor_fault_set_callback(server, request_cb<ENVMON_REQ_SENSOR_FAULT_SET>);
  envmon_server_set_run_test_callback(server, request_cb<ENVMON_REQ_RUN_TEST>);
  envmon_server_set_set_dbg_flag_callback(server, request_cb<ENVMON_REQ_SET_DBG_FLAG>);
  envmon_server_set_register_power_data_callback(server,
                                                 request_cb<ENVMON_REQ_REGISTER_POWER_DATA>);
  envmon_server_set_dump_debug_callback(server, request_cb<ENVMON_REQ_DUMP_DEBUG>);
  envmon_server_set_hw_temp_monitoring_callback(server, request_cb<ENVMON_REQ_HW_TEMP_MONITORING>);
  envmon_server_set_oper_state_set_callback(server, oneway_cb<ENVMON_REQ_OPER_STATE_SET>);
  envmon_server_set_fan_timer_disable_callback(server, oneway_cb<ENVMON_REQ_FAN_TIMER_DISABLE>);
  envmon_server_set_request_altitude_value_callback(server, request_cb<ENVMON_REQ_ALTITUDE_VALUE>);
}

void Kit::set_client_callbacks() {
  envmon_set_connect_callback(client, client_connect_cb);
  envmon_set_disconnect_callback(client, client_disconnect_cb);
  envmon_set_error_callback(client, client_error_cb);
  envmon_set_flow_resume_callback(client, client_flow_cb);
  envmon_set_power_budget_callback(client, resp_cb<0>);
  envmon_set_resp_sensor_value_set_callback(client, resp_cb<1>);
  envmon_set_resp_sensor_fault_set_callback(client, resp_cb<2>);
  envmon_set_resp_test_callback(client, resp_cb<3>);
  envmon_set_resp_dbg_flag_callback(client, resp_cb<4>);
  envmon_set_resp_register_power_data_callback(client, resp_cb<5>);
  envmon_set_resp_dump_debug_callback(client, resp_cb<6>);
  envmon_set_resp_temp_monitoring_callback(client, resp_cb<7>);
  envmon_set_resp_altitude_value_callback(client, resp_cb<8>);
  envmon_set_notif_sys_pwr_data_callback(client, notif_cb<kRowNotifSys>);
  envmon_set_notif_fru_pwr_alloc_data_callback(client, notif_cb<kRowNotifFru>);
}

void Kit::start_server(const msgpipe_endpoint* at) {
  ASSERT_EQ(envmon_server_handle_create(&server, loop), 0);
  set_server_callbacks();
  msgpipe_endpoint ep{};
  msgpipe_endpoint_set(&ep, kLoopback, 0);
  if (at != nullptr) ep = *at;
  ASSERT_EQ(envmon_server_bind(server, &ep), 0);
  ASSERT_EQ(msgpipe_get_local_endpoint(envmon_server_get_transport(server), &server_ep), 0);
}

void Kit::stop_server() {
  for (auto* c : established) envmon_client_handle_destroy(c);
  established.clear();
  if (server != nullptr) envmon_server_handle_destroy(server);
  server = nullptr;
}

void Kit::make_client() {
  ASSERT_EQ(envmon_handle_create(&client, loop, this), 0);
  set_client_callbacks();
}

void Kit::start_client(const msgpipe_endpoint* ep) {
  make_client();
  ASSERT_EQ(envmon_connect_with_endpoint(client, ep != nullptr ? ep : &server_ep, this), 0);
}

void Kit::connect_pair() {
  start_server();
  start_client();
  ASSERT_TRUE(run_until([&] { return !client_connects.empty() && !established.empty(); }))
      << "no handshake: client connects " << client_connects.size() << ", server connects "
      << server_connects.size();
  ASSERT_EQ(client_connects.back(), 0);
}

void Kit::decode(const envmon_msg_desc* m, const std::vector<uint8_t>& bytes, void* rec) {
  memset(rec, 0, m->type->size);
  ASSERT_GE(msgcodec_decode(m->type, rec, bytes.data(), bytes.size(), malloc, 0), 0);
}

// ---------------------------------------------------------------------------
extern "C" char** environ;

Child::~Child() { stop(); }

bool Child::start(const std::string& program, const std::vector<std::string>& args) {
  char self[4096];
  const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
  if (n <= 0) return false;
  self[n] = 0;
  std::string path(self);
  path = path.substr(0, path.rfind('/') + 1) + program;

  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) return false;
  posix_spawn_file_actions_t fa;
  posix_spawn_file_actions_init(&fa);
  posix_spawn_file_actions_adddup2(&fa, fds[1], STDOUT_FILENO);
  std::vector<std::string> all{path};
  all.insert(all.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (auto& a : all) argv.push_back(a.data());
  argv.push_back(nullptr);
  const int rc = posix_spawn(&pid_, path.c_str(), &fa, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&fa);
  close(fds[1]);
  if (rc != 0) {
    close(fds[0]);
    pid_ = -1;
    return false;
  }
  out_ = fds[0];
  return true;
}

bool Child::read_some(int timeout_ms) {
  pollfd p{out_, POLLIN, 0};
  if (poll(&p, 1, timeout_ms) <= 0) return false;
  char buf[4096];
  const ssize_t n = read(out_, buf, sizeof buf);
  if (n <= 0) return false;
  partial_.append(buf, static_cast<size_t>(n));
  size_t nl;
  while ((nl = partial_.find('\n')) != std::string::npos) {
    lines_.push_back(partial_.substr(0, nl));
    partial_.erase(0, nl + 1);
  }
  return true;
}

bool Child::wait_for_line(const std::string& text, uint32_t bound_ms) {
  if (out_ < 0) return false;
  timespec start{};
  clock_gettime(CLOCK_MONOTONIC, &start);
  size_t seen = 0;
  for (;;) {
    for (; seen < lines_.size(); ++seen) {
      if (lines_[seen].find(text) != std::string::npos) return true;
    }
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    const long elapsed = (now.tv_sec - start.tv_sec) * 1000 + (now.tv_nsec - start.tv_nsec) / 1000000;
    if (elapsed >= static_cast<long>(bound_ms)) return false;
    if (!read_some(static_cast<int>(bound_ms - elapsed)) && elapsed + 1 >= static_cast<long>(bound_ms)) {
      return false;
    }
  }
}

bool Child::poll_line(const std::string& text, size_t from) {
  while (out_ >= 0 && read_some(0)) {
  }
  for (size_t i = from; i < lines_.size(); ++i) {
    if (lines_[i].find(text) != std::string::npos) return true;
  }
  return false;
}

std::vector<std::string> Child::lines_with(const std::string& text) const {
  std::vector<std::string> out;
  for (const auto& l : lines_) {
    if (l.find(text) != std::string::npos) out.push_back(l);
  }
  return out;
}

void Child::kill_now() {
  if (pid_ <= 0) return;
  ::kill(pid_, SIGKILL);
  waitpid(pid_, nullptr, 0);
  pid_ = -1;
  if (out_ >= 0) close(out_);
  out_ = -1;
}

void Child::stop() {
  if (pid_ <= 0) return;
  ::kill(pid_, SIGTERM);
  waitpid(pid_, nullptr, 0);
  pid_ = -1;
  if (out_ >= 0) close(out_);
  out_ = -1;
}

uint32_t free_port() {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_addr.s_addr = htonl(kLoopback);
  socklen_t len = sizeof sa;
  uint32_t port = 0;
  if (bind(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) == 0 &&
      getsockname(fd, reinterpret_cast<sockaddr*>(&sa), &len) == 0) {
    port = ntohs(sa.sin_port);
  }
  close(fd);
  return port;
}

}  // namespace svc_test

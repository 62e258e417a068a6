// envmon_svc_peer: a monitoring-service server for the tests that run client
// and server in different processes. It publishes "envmon" through the
// directory service, prints every request it receives with the encoding of
// its payload, and answers from the sample payloads the tests know.
#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <algorithm>
#include <string>
#include <vector>

#include "envserve.h"
#include "pelmarok_ds.h"
#include "svc_samples.h"

using namespace svc_test;

namespace {

// Clients whose handshake completed: this program owns them.
std::vector<envmon_client_handle*> g_clients;

constexpr char kUsage[] =
    "usage: envmon_svc_peer [--scope N] [--address A.B.C.D] [--help]\n"
    "\n"
    "Serves the monitoring service \"envmon\" for tests: publishes it through the\n"
    "directory service (" PELMAROK_DS_ENDPOINT_ENV "), prints each request with the\n"
    "hexadecimal encoding of its payload, answers each two-way request with a sample\n"
    "payload (request 2 with status -1), and sends notifications 7 and 8 after\n"
    "answering request 6.\n"
    "\n"
    "  --scope N          scope to publish (1 rack, 3 node; default 3)\n"
    "  --address A.B.C.D  address to listen on (default 127.0.0.1); any free port\n"
    "  --help             this text\n"
    "\n"
    "Stops on SIGINT or SIGTERM.\n";

void say(const std::string& text) {
  std::printf("envmon_svc_peer[%d]: %s\n", static_cast<int>(getpid()), text.c_str());
  std::fflush(stdout);
}

void on_connect(envmon_client_handle* c, envmon_server_handle*, int32_t status) {
  if (status != 0) {
    say("failed connection event " + std::to_string(status));
    return;
  }
  const char* argv0 = envmon_client_get_client_argv0(c);
  if (std::find(g_clients.begin(), g_clients.end(), c) == g_clients.end()) g_clients.push_back(c);
  say(std::string("client connected: ") + (argv0 != nullptr ? argv0 : "?") + " pid " +
      std::to_string(envmon_client_get_pid(c)));
}

void on_disconnect(envmon_client_handle* c, int32_t reason) {
  say("client disconnected (" + std::to_string(reason) + ")");
  g_clients.erase(std::remove(g_clients.begin(), g_clients.end(), c), g_clients.end());
  envmon_client_handle_destroy(c);
}

void on_error(envmon_client_handle*, envmon_server_handle*, int32_t code) {
  say("client error " + std::to_string(code));
}

void answer(envmon_client_handle* c, uint32_t id, void* payload, uint32_t rid) {
  const envmon_msg_desc* req = envmon_wire_request(id);
  say("request " + std::string(req->name) + " rid " + std::to_string(rid) + " payload " +
      (payload != nullptr ? hex(encode_payload(req, payload)) : std::string("none")));
  const uint32_t reply_id = answer_of(id);
  if (reply_id == 0) return;
  const envmon_any_payload reply = sample(envmon_wire_server_msg(reply_id));
  const int32_t status = id == ENVMON_REQ_SENSOR_VALUE_SET ? -1 : 0;
  int rc = send_server_msg(c, reply_id, &reply, 1, status, rid);
  say("answered with message " + std::to_string(reply_id) + " status " + std::to_string(status) +
      " rc " + std::to_string(rc));
  if (id == ENVMON_REQ_REGISTER_POWER_DATA) {
    for (uint32_t n : {ENVMON_NOTIF_SYS_PWR_DATA, ENVMON_NOTIF_FRU_PWR_ALLOC_DATA}) {
      const envmon_any_payload note = sample(envmon_wire_server_msg(n));
      rc = send_server_msg(c, n, &note, 1, 0, 0);
      say("notified message " + std::to_string(n) + " rc " + std::to_string(rc));
    }
  }
}

template <uint32_t Id>
void two_way(envmon_client_handle* c, void* payload, uint32_t rid) {
  answer(c, Id, payload, rid);
}
template <uint32_t Id>
void one_way(envmon_client_handle* c, void* payload) {
  answer(c, Id, payload, 0);
}

void on_signal(int fd, uint32_t, void* loop) {
  signalfd_siginfo info{};
  if (read(fd, &info, sizeof info) > 0) say("stopping on signal " + std::to_string(info.ssi_signo));
  evloop_stop(static_cast<evloop_t*>(loop));
}

}  // namespace

int main(int argc, char** argv) {
  uint32_t scope = 3;
  uint32_t address = kLoopback;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--help" || a == "-h") {
      std::fputs(kUsage, stdout);
      return 0;
    }
    if (a == "--scope" && i + 1 < argc) {
      scope = static_cast<uint32_t>(std::strtoul(argv[++i], nullptr, 10));
      continue;
    }
    if (a == "--address" && i + 1 < argc) {
      msgpipe_endpoint ep{};
      const std::string text = std::string(argv[++i]) + ":1";
      if (pelmarok_ds_parse_endpoint(text.c_str(), &ep) != 0) {
        std::fprintf(stderr, "envmon_svc_peer: --address \"%s\" is not A.B.C.D\n", argv[i]);
        return 2;
      }
      address = ep.node_address;
      continue;
    }
    std::fprintf(stderr, "envmon_svc_peer: unknown or incomplete option \"%s\"\n\n%s", argv[i],
                 kUsage);
    return 2;
  }

  sigset_t mask;
  sigemptyset(&mask);
  sigaddset(&mask, SIGINT);
  sigaddset(&mask, SIGTERM);
  sigprocmask(SIG_BLOCK, &mask, nullptr);
  signal(SIGPIPE, SIG_IGN);
  const int sfd = signalfd(-1, &mask, SFD_CLOEXEC | SFD_NONBLOCK);
  evloop_t* loop = evloop_create("envmon_svc_peer");
  if (loop == nullptr || sfd < 0) {
    std::fprintf(stderr, "envmon_svc_peer: cannot create the event loop or the signal descriptor\n");
    return 1;
  }
  evloop_attach_fd(loop, sfd, 0, on_signal, EVLOOP_FD_READABLE, 0, loop, 0);

  envmon_server_handle* server = nullptr;
  if (envmon_server_handle_create(&server, loop) != 0) {
    std::fprintf(stderr, "envmon_svc_peer: cannot create the server handle\n");
    return 1;
  }
  envmon_server_set_connect_callback(server, on_connect);
  envmon_server_set_disconnect_callback(server, on_disconnect);
  envmon_server_set_error_callback(server, on_error);
  envmon_server_set_request_power_budget_callback(server, two_way<ENVMON_REQ_POWER_BUDGET>);
  envmon_server_set_sensor_value_set_callback(server, two_way<ENVMON_REQ_SENSOR_VALUE_SET>);
  envmon_server_set_sensor_fault_set_callback(server, two_way<ENVMON_REQ_SENSOR_FAULT_SET>);
  envmon_server_set_run_test_callback(server, two_way<ENVMON_REQ_RUN_TEST>);
  envmon_server_set_set_dbg_flag_callback(server, two_way<ENVMON_REQ_SET_DBG_FLAG>);
  envmon_server_set_register_power_data_callback(server, two_way<ENVMON_REQ_REGISTER_POWER_DATA>);
  envmon_server_set_dump_debug_callback(server, two_way<ENVMON_REQ_DUMP_DEBUG>);
  envmon_server_set_hw_temp_monitoring_callback(server, two_way<ENVMON_REQ_HW_TEMP_MONITORING>);
  envmon_server_set_oper_state_set_callback(server, one_way<ENVMON_REQ_OPER_STATE_SET>);
  envmon_server_set_fan_timer_disable_callback(server, one_way<ENVMON_REQ_FAN_TIMER_DISABLE>);
  envmon_server_set_request_altitude_value_callback(server, two_way<ENVMON_REQ_ALTITUDE_VALUE>);

  ds_attribute attrs[2] = {};
  attrs[0].id = 1;
  attrs[0].int_value = scope == PELMAROK_DS_SCOPE_RACK ? 1 : 3;
  attrs[0].present = 1u << DS_ATTRIBUTE_BIT_ID | 1u << DS_ATTRIBUTE_BIT_INT_VALUE;
  attrs[1].id = 2;
  attrs[1].int_value = 1;
  attrs[1].present = attrs[0].present;
  envmon_server_activation_info info{};
  info.endpoint.node_address = address;
  info.endpoint.present = MSGPIPE_ENDPOINT_HAS_ADDRESS;
  info.scope = scope;
  info.attributes = attrs;
  info.attribute_count = 2;
  if (envmon_server_activate(server, &info) != 0) {
    std::fprintf(stderr, "envmon_svc_peer: activation on %x failed\n", address);
    return 1;
  }
  msgpipe_endpoint bound{};
  msgpipe_get_local_endpoint(envmon_server_get_transport(server), &bound);
  char where[64];
  std::snprintf(where, sizeof where, "%u.%u.%u.%u:%u", bound.node_address >> 24,
                (bound.node_address >> 16) & 0xff, (bound.node_address >> 8) & 0xff,
                bound.node_address & 0xff, bound.port);
  say("serving envmon scope " + std::to_string(scope) + " on " + where);

  evloop_block(loop);

  for (auto* c : g_clients) envmon_client_handle_destroy(c);
  envmon_server_handle_destroy(server);
  evloop_run_until_idle(loop);
  evloop_attach_fd(loop, sfd, 0, nullptr, 0, 0, nullptr, 0);
  close(sfd);
  evloop_destroy(loop);
  say("stopped");
  return 0;
}

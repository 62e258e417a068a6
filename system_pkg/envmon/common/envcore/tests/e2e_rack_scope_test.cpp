// The whole system in real processes: the directory service, the simulator
// with the default chassis and one monitoring server per card. A client of
// the monitoring service asks the rack-scope server of the active route
// processor for the altitude, the configuration changes through the
// simulator and the next answer follows it, and when the route processor
// loses its role the rack-scope server is withdrawn.
#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "envclient.h"
#include "evloop.h"
#include "evloop_test.h"

extern char** environ;

namespace {

using strings = std::vector<std::string>;

// A child process with its output in a file.
class proc {
 public:
  proc(const strings& argv, const std::string& log, const strings& env = {}) : log_(log) {
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_addopen(&fa, STDOUT_FILENO, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
    posix_spawn_file_actions_adddup2(&fa, STDOUT_FILENO, STDERR_FILENO);
    std::vector<char*> args;
    for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    std::vector<std::string> envs;
    for (char** e = environ; *e != nullptr; ++e) envs.emplace_back(*e);
    for (const auto& e : env) envs.push_back(e);
    std::vector<char*> envp;
    for (auto& e : envs) envp.push_back(e.data());
    envp.push_back(nullptr);
    if (posix_spawn(&pid_, args[0], &fa, nullptr, args.data(), envp.data()) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&fa);
  }
  ~proc() { stop(); }
  void stop() {
    if (pid_ <= 0) return;
    kill(pid_, SIGTERM);
    for (int i = 0; i < 100 && waitpid(pid_, nullptr, WNOHANG) == 0; ++i) usleep(20000);
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
    pid_ = -1;
  }
  bool alive() const { return pid_ > 0 && waitpid(pid_, nullptr, WNOHANG) == 0; }
  std::string output() const {
    std::string text;
    FILE* f = fopen(log_.c_str(), "r");
    if (f == nullptr) return text;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof(buf), f)) > 0) text.append(buf, n);
    fclose(f);
    return text;
  }

 private:
  pid_t pid_ = -1;
  std::string log_;
};

int run(const strings& argv) {
  std::vector<char*> args;
  for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  pid_t pid;
  if (posix_spawn(&pid, args[0], nullptr, nullptr, args.data(), environ) != 0) return -1;
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

uint16_t free_port() {
  int s = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bind(s, reinterpret_cast<sockaddr*>(&a), sizeof(a));
  socklen_t len = sizeof(a);
  getsockname(s, reinterpret_cast<sockaddr*>(&a), &len);
  close(s);
  return ntohs(a.sin_port);
}

// The client's view: the rack-scope entries the directory service lists, the
// answers it got.
struct client {
  envmon_handle* h = nullptr;
  int rack_entries = -1;
  bool connected = false;
  bool asking = false;
  strings answers;
};

client* of(envmon_handle* h) { return static_cast<client*>(envmon_get_user_context(h)); }

class EndToEnd : public ::testing::Test {
 protected:
  void SetUp() override {
    bin_ = BIN_DIR;
    char tmpl[] = "/tmp/envmon_e2e_XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    root_ = tmpl;
    setenv("ENVMON_ROOT", root_.c_str(), 1);
    const std::string xml = root_ + "/opt/tolvu/pelmarok/usr";
    ASSERT_EQ(run({"/bin/mkdir", "-p", xml}), 0);
    ASSERT_EQ(symlink(SIM_XML_DIR, (xml + "/xml").c_str()), 0);
    ds_ = "127.0.0.1:" + std::to_string(free_port());
    setenv("ENVMON_DS_ENDPOINT", ds_.c_str(), 1);
    dsd_ = std::make_unique<proc>(strings{bin_ + "/dsd", "--endpoint", ds_}, root_ + "/dsd.log");
    ASSERT_EQ(run({bin_ + "/envsim", "--root", root_, "--chassis", CHASSIS, "--ds", ds_, "start"}), 0)
        << "the simulator did not start";
    for (const char* addr : {"127.1.0.1", "127.1.0.2", "127.1.0.5", "127.1.0.6", "127.1.0.11",
                             "127.1.0.12", "127.1.0.13", "127.1.0.14"}) {
      servers_.push_back(std::make_unique<proc>(
          strings{bin_ + "/envmon_server", "--platform", "tavrin"},
          root_ + "/envmon_server-" + addr + ".log",
          strings{std::string("ENVMON_CARD_ADDR=") + addr}));
    }
    loop_ = evloop_create("e2e");
  }

  void TearDown() override {
    if (c_.h != nullptr) envmon_handle_destroy(c_.h);
    if (loop_ != nullptr) {
      evloop_test_wait_for(loop_, [] { return false; }, 50);
      evloop_destroy(loop_);
    }
    servers_.clear();
    if (!root_.empty()) {
      run({bin_ + "/envsim", "--root", root_, "stop"});
      dsd_.reset();
      if (!HasFailure()) run({"/bin/rm", "-rf", root_});
    }
  }

  void envsim(const strings& words) {
    strings argv = {bin_ + "/envsim", "--root", root_};
    argv.insert(argv.end(), words.begin(), words.end());
    EXPECT_EQ(run(argv), 0) << "envsim " << words[0];
  }

  // Connects to the rack-scope server: the entry of scope 1.
  void start_client() {
    ASSERT_EQ(envmon_handle_create(&c_.h, loop_, &c_), 0);
    envmon_set_connect_callback(c_.h, [](envmon_handle* h, int32_t status, void*) {
      if (status == 0) of(h)->connected = true;
    });
    envmon_set_disconnect_callback(c_.h, [](envmon_handle* h, int32_t, void*) {
      of(h)->connected = false;
    });
    envmon_set_ds_endpoint_filter_callback(
        c_.h, [](envmon_handle* h, const ds_service_info* e, uint32_t n) {
          int rack = 0;
          for (uint32_t i = 0; i < n; ++i) {
            if (e[i].scope != 1) continue;
            ++rack;
            msgpipe_endpoint ep{};
            if (msgcodec_msgpipe_endpoint_decode_ext(&ep, e[i].endpoint, e[i].endpoint_len,
                                                     malloc) >= 0) {
              envmon_connect_with_endpoint(h, &ep, nullptr);
            }
          }
          of(h)->rack_entries = rack;
        });
    envmon_set_resp_altitude_value_callback(
        c_.h, [](envmon_handle* h, void* p, uint8_t, int32_t status, void*) {
          auto* a = static_cast<resp_altitude_value*>(p);
          std::string text = "status " + std::to_string(status);
          if (a != nullptr && (a->present & RESP_ALTITUDE_VALUE_HAS_ALTITUDE_CONFIG) != 0) {
            text += " config " + std::to_string(a->altitude_config);
          }
          of(h)->answers.push_back(text);
          of(h)->asking = false;
        });
    ASSERT_EQ(envmon_connect(c_.h, nullptr), 0);
  }

  // Asks again after each answer until one is `want`, within the bound.
  bool answered(const std::string& want) {
    return evloop_test_wait_for(loop_, [&] {
      if (!c_.answers.empty() && c_.answers.back() == want) return true;
      if (!c_.asking && c_.connected) {
        request_altitude_value req{};
        c_.asking = envmon_request_altitude_value(c_.h, &req, nullptr) == 0;
      }
      return false;
    }, 15000);
  }

  std::string logs() const {
    std::string text;
    for (const auto& s : servers_) text += s->output().substr(0, 4000) + "\n----\n";
    return text;
  }

  std::string bin_;
  std::string root_;
  std::string ds_;
  std::unique_ptr<proc> dsd_;
  std::vector<std::unique_ptr<proc>> servers_;
  evloop_t* loop_ = nullptr;
  client c_;
};

TEST_F(EndToEnd, AltitudeFromTheRackScopeServer) {
  start_client();
  ASSERT_TRUE(evloop_test_wait_for(loop_, [&] { return c_.connected; }, 30000))
      << "no rack-scope server reached\n" << logs();
  // The default chassis configures 500 m for all racks.
  EXPECT_TRUE(answered("status 0 config 500")) << (c_.answers.empty() ? "no answer" : c_.answers.back());
  envsim({"config", "set", "/environment/config/router/altitude/all/num_meters", "1750"});
  // The change reaches the server on its own connection: answers follow it.
  EXPECT_TRUE(answered("status 0 config 1750"))
      << "the altitude did not follow the configuration: " << c_.answers.back();
  // The active route processor loses its role: its rack-scope server goes.
  envsim({"role", "0", "standby"});
  EXPECT_TRUE(evloop_test_wait_for(loop_, [&] { return c_.rack_entries == 0 && !c_.connected; },
                                   15000))
      << "rack-scope server still published\n" << logs();
}

}  // namespace

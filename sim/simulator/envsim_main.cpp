// envsim: runs the chassis simulator and scripts it.
#include <fcntl.h>
#include <limits.h>
#include <poll.h>
#include <signal.h>
#include <stdio.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

#include "envsim_chassis.h"
#include "envsim_cli.h"
#include "envsim_control.h"
#include "envsim_control_wire.h"
#include "pelmarok_ds.h"
#include "simpaths.h"

namespace envsim {

const char kUsage[] =
    "usage: envsim [OPTIONS] SUBCOMMAND [WORDS...]\n"
    "\n"
    "The chassis simulator: the platform services of a simulated chassis (process\n"
    "manager, card manager, platform-local service, configuration database,\n"
    "statistics, syslog) for the system's processes, and the commands that script and\n"
    "inspect it. A simulator belongs to a root directory; simulators of different roots\n"
    "run side by side.\n"
    "\n"
    "Subcommands:\n"
    "  run                            run the simulator in the foreground (Ctrl-C stops it)\n"
    "  start                          run it in the background; returns once it serves\n"
    "                                 (log in ROOT/var/log/envsim.log)\n"
    "  stop                           stop the simulator of the root and wait until it is gone\n"
    "  check FILE...                  check chassis descriptions and report every fault\n"
    "  help                           this text\n"
    "%s"
    "\n"
    "Options:\n"
    "  --root DIR        root directory of the simulator (default: $ENVMON_ROOT)\n"
    "  --chassis FILE    chassis description (run, start)\n"
    "  --ds ADDR:PORT    directory service (run, start; default: $ENVMON_DS_ENDPOINT or\n"
    "                    " PELMAROK_DS_DEFAULT_ENDPOINT ")\n"
    "  --fake-clock      the simulator's timers run on a clock moved only by\n"
    "                    `envsim clock advance` (run, start)\n"
    "  --liveness MS     period of the process manager's liveness queries on the\n"
    "                    simulator's clock (run, start; default 30000, 0: none)\n"
    "  --timeout MS      how long to wait for the simulator's answer (default 10000)\n"
    "  --ready-fd N      (internal) descriptor on which `run` reports that it serves\n"
    "  --help            this text\n"
    "\n"
    "Exit status: 0 done; 1 failed (simulator not running, no answer, refused); 2 bad\n"
    "command line or chassis description.\n";

namespace {

bool parse_u64(const std::string& s, uint64_t max, uint64_t* out) {
  if (s.empty() || s.size() > 19) return false;
  uint64_t v = 0;
  for (char c : s) {
    if (c < '0' || c > '9') return false;
    v = v * 10 + static_cast<uint64_t>(c - '0');
  }
  if (v > max) return false;
  *out = v;
  return true;
}

void print_usage(FILE* f) { std::fprintf(f, kUsage, kCommandHelp); }

}  // namespace

bool parse_cli(int argc, char** argv, CliOptions* out, std::string* error) {
  CliOptions o;
  if (const char* r = getenv("ENVMON_ROOT")) o.root = r;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    auto value = [&](std::string* v) {
      if (i + 1 >= argc) {
        *error = a + " needs a value";
        return false;
      }
      *v = argv[++i];
      return true;
    };
    std::string v;
    uint64_t n = 0;
    if (a == "--root") {
      if (!value(&o.root)) return false;
    } else if (a == "--chassis") {
      if (!value(&o.chassis)) return false;
    } else if (a == "--ds") {
      if (!value(&o.ds)) return false;
      msgpipe_endpoint ep{};
      if (pelmarok_ds_parse_endpoint(o.ds.c_str(), &ep) != 0) {
        *error = "--ds \"" + o.ds + "\" is not ADDRESS:PORT";
        return false;
      }
    } else if (a == "--fake-clock") {
      o.fake_clock = true;
    } else if (a == "--liveness") {
      if (!value(&v)) return false;
      if (!parse_u64(v, 86400000, &n)) {
        *error = "--liveness \"" + v + "\" is no number of milliseconds";
        return false;
      }
      o.liveness_ms = n;
    } else if (a == "--timeout" && !(!o.args.empty() && o.args[0] == "wait")) {
      if (!value(&v)) return false;
      if (!parse_u64(v, 3600000, &n) || n == 0) {
        *error = "--timeout \"" + v + "\" is no number of milliseconds (1-3600000)";
        return false;
      }
      o.timeout_ms = static_cast<uint32_t>(n);
    } else if (a == "--ready-fd") {
      if (!value(&v)) return false;
      if (!parse_u64(v, 65535, &n)) {
        *error = "--ready-fd \"" + v + "\" is no descriptor";
        return false;
      }
      o.ready_fd = static_cast<int>(n);
    } else if (a.size() > 2 && a.compare(0, 2, "--") == 0 && a != "--timeout") {
      *error = "unknown option \"" + a + "\"";
      return false;
    } else {
      o.args.push_back(a);
    }
  }
  *out = std::move(o);
  return true;
}

bool resolve_root(CliOptions* o, std::string* error) {
  if (o->root.empty()) {
    *error = "no root directory: give --root DIR or set ENVMON_ROOT";
    return false;
  }
  if (sim_mkdirs(o->root.c_str()) != 0) {
    *error = "cannot create the root directory " + o->root + ": " + std::strerror(errno);
    return false;
  }
  char resolved[PATH_MAX];
  if (realpath(o->root.c_str(), resolved) == nullptr) {
    *error = "root directory " + o->root + ": " + std::strerror(errno);
    return false;
  }
  o->root = resolved;
  setenv("ENVMON_ROOT", o->root.c_str(), 1);
  // The chassis file is named as the simulator will show it: absolute.
  if (!o->chassis.empty() && realpath(o->chassis.c_str(), resolved) != nullptr) {
    o->chassis = resolved;
  }
  return true;
}

std::string control_file() {
  char buf[4096];
  const char* p = sim_path("/run/envsim/control", buf, sizeof buf);
  return p != nullptr ? p : "";
}

bool read_control_file(Running* r) {
  std::ifstream in(control_file());
  std::string endpoint;
  long pid = 0;
  if (!(in >> endpoint >> pid) || pid <= 0) return false;
  r->endpoint = endpoint;
  r->pid = static_cast<pid_t>(pid);
  return true;
}

bool process_alive(pid_t pid) {
  if (pid <= 0 || (kill(pid, 0) != 0 && errno != EPERM)) return false;
  // A process that ended but was not reaped yet is gone as well.
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string line;
  if (!std::getline(stat, line)) return true;
  const auto close_paren = line.rfind(')');
  return close_paren == std::string::npos || close_paren + 2 >= line.size() ||
         line[close_paren + 2] != 'Z';
}

bool send_command(const Running& r, const std::vector<std::string>& args, uint32_t bound_ms,
                  int* status, std::string* text, std::string* error) {
  msgpipe_endpoint ep{};
  if (pelmarok_ds_parse_endpoint(r.endpoint.c_str(), &ep) != 0) {
    *error = "control file " + control_file() + " holds no endpoint";
    return false;
  }
  evloop_t* loop = evloop_create("envsim-ctl");
  if (loop == nullptr) {
    *error = "cannot create an event loop";
    return false;
  }
  struct State {
    bool connected = false;
    bool answered = false;
    bool lost = false;
    int status = 0;
    std::string text;
  } st;
  simsvc::Client::Events ev;
  ev.connected = [&st](int32_t s) { st.connected = s == 0; };
  ev.disconnected = [&st](int32_t) { st.lost = true; };
  ev.message = [&st](const simsvc::Message& m, uint32_t, int32_t, void* payload) {
    if (m.id != envsim_wire::kResult) return;
    auto* res = static_cast<envsim_result_msg*>(payload);
    st.status = res->status;
    st.text = res->text != nullptr ? res->text : "";
    st.answered = true;
  };
  simsvc::Client* client = simsvc::Client::create(loop, &envsim_wire::kService, std::move(ev));
  bool ok = false;
  if (client == nullptr) {
    *error = "cannot create a transport handle";
  } else {
    client->set_endpoint(ep);
    client->connect();
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(bound_ms);
    auto left = [&] {
      const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                          deadline - std::chrono::steady_clock::now())
                          .count();
      return static_cast<uint32_t>(ms > 0 ? ms : 0);
    };
    evloop_run_until(
        loop, [](void* a) { return static_cast<State*>(a)->connected ? 1 : 0; }, &st, left());
    if (!st.connected) {
      *error = "no simulator answers at " + r.endpoint + " (pid " + std::to_string(r.pid) + ")";
    } else {
      std::vector<envsim_arg> wire(args.size());
      for (size_t i = 0; i < args.size(); ++i) {
        msgcodec_envsim_arg_clear(&wire[i]);
        wire[i].text = const_cast<char*>(args[i].c_str());
        msgcodec_set_bit(&wire[i].present, 0);
      }
      envsim_command_msg cmd{};
      msgcodec_envsim_command_msg_clear(&cmd);
      cmd.args = wire.data();
      cmd.arg_count = static_cast<uint32_t>(wire.size());
      msgcodec_set_bit(&cmd.present, 0);
      if (client->send(envsim_wire::kCommand, &cmd, client->next_request_id()) != simsvc::kOk) {
        *error = "the command could not be sent";
      } else {
        evloop_run_until(
            loop,
            [](void* a) {
              auto* s = static_cast<State*>(a);
              return s->answered || s->lost ? 1 : 0;
            },
            &st, left());
        if (st.answered) {
          *status = st.status;
          *text = st.text;
          ok = true;
        } else if (st.lost) {
          *error = "the simulator closed the connection before answering";
        } else {
          *error = "no answer within " + std::to_string(bound_ms) + " ms";
        }
      }
    }
    client->destroy();
  }
  evloop_run_until_idle(loop);
  evloop_destroy(loop);
  return ok;
}

int forward_command(const CliOptions& o, const std::vector<std::string>& args) {
  Command c;
  std::string error;
  if (!parse_command(args, &c, &error)) {
    std::fprintf(stderr, "envsim: %s\n", error.c_str());
    return kExitUsage;
  }
  Running r;
  if (!read_control_file(&r)) {
    std::fprintf(stderr, "envsim: no simulator runs for root %s (no %s)\n", o.root.c_str(),
                 control_file().c_str());
    return 1;
  }
  const uint32_t bound = c.kind == CommandKind::wait ? c.timeout_ms : o.timeout_ms;
  int status = 0;
  std::string text;
  if (!send_command(r, args, bound, &status, &text, &error)) {
    if (c.kind == CommandKind::wait) {
      std::string words;
      for (const auto& f : c.fragments) words += " \"" + f + "\"";
      std::fprintf(stderr, "envsim: waited %u ms for a %s line with%s; %s\n", bound,
                   c.models[0].c_str(), words.c_str(), error.c_str());
      std::string shown;
      std::string e2;
      if (send_command(r, {"show", c.models[0]}, o.timeout_ms, &status, &shown, &e2)) {
        std::fprintf(stderr, "envsim: %s is now:\n%s", c.models[0].c_str(), shown.c_str());
      }
      return 1;
    }
    std::fprintf(stderr, "envsim: %s: %s\n", args[0].c_str(), error.c_str());
    return 1;
  }
  std::fputs(text.c_str(), status == 0 ? stdout : stderr);
  return status;
}

namespace {

// Waits (bounded) until process `pid` is gone.
bool wait_gone(pid_t pid, uint32_t bound_ms) {
  const int fd = static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
  if (fd < 0) return !process_alive(pid);
  pollfd p{fd, POLLIN, 0};
  const int n = poll(&p, 1, static_cast<int>(bound_ms));
  close(fd);
  if (n > 0) return true;
  return !process_alive(pid);
}

int start(const CliOptions& o, char** argv) {
  ChassisDesc desc;
  std::vector<std::string> errors;
  if (!chassis_load(o.chassis, &desc, &errors)) {
    for (const auto& e : errors) std::fprintf(stderr, "envsim: %s\n", e.c_str());
    std::fprintf(stderr, "envsim: chassis description %s refused; nothing started\n",
                 o.chassis.c_str());
    return kExitUsage;
  }
  Running r;
  if (read_control_file(&r) && process_alive(r.pid)) {
    std::fprintf(stderr, "envsim: a simulator already runs for root %s (pid %d)\n",
                 o.root.c_str(), static_cast<int>(r.pid));
    return 1;
  }
  char buf[4096];
  const char* log_dir = sim_path("/var/log", buf, sizeof buf);
  if (log_dir == nullptr || sim_mkdirs(log_dir) != 0) {
    std::fprintf(stderr, "envsim: cannot create the log folder under %s\n", o.root.c_str());
    return 1;
  }
  const std::string log = std::string(log_dir) + "/envsim.log";
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) {
    std::fprintf(stderr, "envsim: pipe: %s\n", std::strerror(errno));
    return 1;
  }
  char self[PATH_MAX];
  const ssize_t len = readlink("/proc/self/exe", self, sizeof self - 1);
  const std::string program = len > 0 ? std::string(self, static_cast<size_t>(len)) : argv[0];
  const pid_t pid = fork();
  if (pid < 0) {
    std::fprintf(stderr, "envsim: fork: %s\n", std::strerror(errno));
    return 1;
  }
  if (pid == 0) {
    setsid();
    const int out = open(log.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    const int in = open("/dev/null", O_RDONLY | O_CLOEXEC);
    if (out >= 0) {
      dup2(out, STDOUT_FILENO);
      dup2(out, STDERR_FILENO);
    }
    if (in >= 0) dup2(in, STDIN_FILENO);
    fcntl(fds[1], F_SETFD, 0);  // handed to run
    close(fds[0]);
    std::vector<std::string> a = {program, "run", "--root", o.root, "--chassis", o.chassis,
                                  "--liveness", std::to_string(o.liveness_ms),
                                  "--ready-fd", std::to_string(fds[1])};
    if (o.fake_clock) a.push_back("--fake-clock");
    if (!o.ds.empty()) {
      a.push_back("--ds");
      a.push_back(o.ds);
    }
    std::vector<char*> cargs;
    for (auto& s : a) cargs.push_back(s.data());
    cargs.push_back(nullptr);
    execv(program.c_str(), cargs.data());
    std::fprintf(stderr, "envsim: cannot run %s: %s\n", program.c_str(), std::strerror(errno));
    _exit(127);
  }
  close(fds[1]);
  std::string answer;
  pollfd p{fds[0], POLLIN, 0};
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(o.timeout_ms);
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                          deadline - std::chrono::steady_clock::now())
                          .count();
    if (left <= 0 || poll(&p, 1, static_cast<int>(left)) <= 0) break;
    char c[256];
    const ssize_t n = read(fds[0], c, sizeof c);
    if (n <= 0) break;
    answer.append(c, static_cast<size_t>(n));
    if (answer.find('\n') != std::string::npos) break;
  }
  close(fds[0]);
  if (answer.rfind("ready", 0) == 0) {
    std::printf("envsim: simulator running (pid %d) for root %s with %s; log %s\n",
                static_cast<int>(pid), o.root.c_str(), o.chassis.c_str(), log.c_str());
    return 0;
  }
  // Not started: nothing may stay behind.
  if (waitpid(pid, nullptr, WNOHANG) == 0) {
    kill(pid, SIGTERM);
    if (!wait_gone(pid, 5000)) kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
  }
  std::fprintf(stderr, "envsim: the simulator did not start%s; its log %s says:\n",
               answer.empty() ? "" : (" (" + answer.substr(0, answer.find('\n')) + ")").c_str(),
               log.c_str());
  std::ifstream in(log);
  std::vector<std::string> lines;
  for (std::string l; std::getline(in, l);) lines.push_back(l);
  for (size_t i = lines.size() > 20 ? lines.size() - 20 : 0; i < lines.size(); ++i) {
    std::fprintf(stderr, "  %s\n", lines[i].c_str());
  }
  return 1;
}

int stop(const CliOptions& o) {
  Running r;
  if (!read_control_file(&r)) {
    std::fprintf(stderr, "envsim: no simulator runs for root %s\n", o.root.c_str());
    return 1;
  }
  if (!process_alive(r.pid)) {
    unlink(control_file().c_str());
    std::fprintf(stderr, "envsim: the simulator of root %s (pid %d) was gone; removed %s\n",
                 o.root.c_str(), static_cast<int>(r.pid), control_file().c_str());
    return 1;
  }
  int status = 0;
  std::string text;
  std::string error;
  if (!send_command(r, {"stop"}, o.timeout_ms, &status, &text, &error) || status != 0) {
    std::fprintf(stderr, "envsim: stop command not answered (%s); sending SIGTERM to %d\n",
                 error.empty() ? text.c_str() : error.c_str(), static_cast<int>(r.pid));
    kill(r.pid, SIGTERM);
  }
  if (!wait_gone(r.pid, o.timeout_ms)) {
    std::fprintf(stderr, "envsim: the simulator (pid %d) did not end within %u ms\n",
                 static_cast<int>(r.pid), o.timeout_ms);
    return 1;
  }
  std::printf("envsim: simulator of root %s stopped\n", o.root.c_str());
  return 0;
}

int check(const std::vector<std::string>& files) {
  int rc = 0;
  for (const auto& f : files) {
    ChassisDesc d;
    std::vector<std::string> errors;
    if (chassis_load(f, &d, &errors)) {
      std::printf("%s: platform %s, chassis type 0x%x, %zu cards, %zu fan trays: ok\n", f.c_str(),
                  platform_name(d.platform), d.chassis_type, d.cards.size(), d.fan_trays.size());
    } else {
      for (const auto& e : errors) std::fprintf(stderr, "%s\n", e.c_str());
      rc = kExitUsage;
    }
  }
  return rc;
}

}  // namespace

}  // namespace envsim

int main(int argc, char** argv) {
  using namespace envsim;
  CliOptions o;
  std::string error;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
      print_usage(stdout);
      return 0;
    }
  }
  if (!parse_cli(argc, argv, &o, &error)) {
    std::fprintf(stderr, "envsim: %s\n\n", error.c_str());
    print_usage(stderr);
    return kExitUsage;
  }
  if (o.args.empty()) {
    print_usage(stderr);
    return kExitUsage;
  }
  const std::string& sub = o.args[0];
  if (sub == "help") {
    print_usage(stdout);
    return 0;
  }
  if (sub == "check") {
    if (o.args.size() < 2) {
      std::fprintf(stderr, "envsim: usage: check FILE...\n");
      return kExitUsage;
    }
    return check({o.args.begin() + 1, o.args.end()});
  }
  const bool starts = sub == "run" || sub == "start";
  if (starts && o.chassis.empty()) {
    std::fprintf(stderr, "envsim: %s needs --chassis FILE\n", sub.c_str());
    return kExitUsage;
  }
  if ((starts || sub == "stop") && o.args.size() != 1) {
    std::fprintf(stderr, "envsim: %s takes no words (\"%s\")\n", sub.c_str(), o.args[1].c_str());
    return kExitUsage;
  }
  if (!starts && sub != "stop") {
    // Refuse a malformed command before looking for a simulator.
    Command c;
    if (!parse_command(o.args, &c, &error)) {
      std::fprintf(stderr, "envsim: %s\n", error.c_str());
      return kExitUsage;
    }
  }
  if (!resolve_root(&o, &error)) {
    std::fprintf(stderr, "envsim: %s\n", error.c_str());
    return kExitUsage;
  }
  if (!o.ds.empty()) setenv(PELMAROK_DS_ENDPOINT_ENV, o.ds.c_str(), 1);
  if (sub == "run") return run_simulator(o);
  if (sub == "start") return start(o, argv);
  if (sub == "stop") return stop(o);
  return forward_command(o, o.args);
}

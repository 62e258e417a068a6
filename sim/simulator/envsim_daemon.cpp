// `envsim run`: the simulator in the foreground of this process.
#include <signal.h>
#include <stdio.h>
#include <sys/signalfd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <fstream>

#include "envsim_cli.h"
#include "envsim_sim.h"
#include "pelmarok_ds.h"
#include "sim_clock.h"
#include "simpaths.h"

namespace envsim {

namespace {

void log_line(const std::string& text) {
  std::time_t now = std::time(nullptr);
  char stamp[32];
  std::strftime(stamp, sizeof stamp, "%H:%M:%S", std::localtime(&now));
  std::printf("%s envsim[%d]: %s\n", stamp, static_cast<int>(getpid()), text.c_str());
  std::fflush(stdout);
}

struct SignalCtx {
  evloop_t* loop;
};

void on_signal(int fd, uint32_t, void* arg) {
  signalfd_siginfo info{};
  if (read(fd, &info, sizeof info) == static_cast<ssize_t>(sizeof info)) {
    log_line("stopping on signal " + std::to_string(info.ssi_signo));
  }
  evloop_stop(static_cast<SignalCtx*>(arg)->loop);
}

std::string run_dir() {
  char buf[4096];
  const char* p = sim_path("/run/envsim", buf, sizeof buf);
  return p != nullptr ? p : "";
}

// Writes the control file in one step so that a reader never sees half of it.
bool write_control_file(const msgpipe_endpoint& ep, std::string* error) {
  const std::string path = control_file();
  const std::string tmp = path + ".tmp";
  {
    std::ofstream out(tmp, std::ios::trunc);
    out << address_text(ep.node_address) << ":" << ep.port << " " << getpid() << "\n";
    if (!out) {
      *error = "cannot write " + tmp + ": " + std::strerror(errno);
      return false;
    }
  }
  if (rename(tmp.c_str(), path.c_str()) != 0) {
    *error = "cannot rename " + tmp + " to " + path + ": " + std::strerror(errno);
    unlink(tmp.c_str());
    return false;
  }
  return true;
}

std::string hex_text(uint32_t v) {
  char buf[16];
  snprintf(buf, sizeof buf, "0x%x", v);
  return buf;
}

void tell_starter(int fd, const std::string& text) {
  if (fd < 0) return;
  const std::string line = text + "\n";
  ssize_t n = write(fd, line.data(), line.size());
  (void)n;
  close(fd);
}

}  // namespace

int run_simulator(const CliOptions& o) {
  // Everything that can be refused is checked before anything is started.
  ChassisDesc desc;
  std::vector<std::string> errors;
  if (!chassis_load(o.chassis, &desc, &errors)) {
    for (const auto& e : errors) std::fprintf(stderr, "envsim: %s\n", e.c_str());
    std::fprintf(stderr, "envsim: chassis description %s refused; nothing started\n",
                 o.chassis.c_str());
    tell_starter(o.ready_fd, "error: chassis description refused");
    return kExitUsage;
  }
  Running running;
  if (read_control_file(&running)) {
    if (process_alive(running.pid)) {
      std::fprintf(stderr, "envsim: a simulator already runs for root %s (pid %d)\n",
                   o.root.c_str(), static_cast<int>(running.pid));
      tell_starter(o.ready_fd, "error: already running");
      return 1;
    }
    unlink(control_file().c_str());  // left by a simulator that was killed
  }
  const std::string dir = run_dir();
  if (dir.empty() || sim_mkdirs(dir.c_str()) != 0) {
    std::fprintf(stderr, "envsim: cannot create %s: %s\n", dir.c_str(), std::strerror(errno));
    tell_starter(o.ready_fd, "error: no run directory");
    return 1;
  }
  if (o.fake_clock) sim_clock_use_fake(0);

  sigset_t mask;
  sigemptyset(&mask);
  sigaddset(&mask, SIGINT);
  sigaddset(&mask, SIGTERM);
  sigprocmask(SIG_BLOCK, &mask, nullptr);
  signal(SIGPIPE, SIG_IGN);
  const int sfd = signalfd(-1, &mask, SFD_CLOEXEC | SFD_NONBLOCK);
  evloop_t* loop = evloop_create("envsim");
  if (loop == nullptr || sfd < 0) {
    std::fprintf(stderr, "envsim: cannot create the event loop or the signal descriptor\n");
    tell_starter(o.ready_fd, "error: no event loop");
    return 1;
  }
  SignalCtx sig{loop};
  evloop_attach_fd(loop, sfd, 0, on_signal, EVLOOP_FD_READABLE, 0, &sig, 0);

  Options options;
  options.instance = simsvc::own_instance();
  options.liveness_period_ms = o.liveness_ms;
  options.log = log_line;
  options.stop = [loop] {
    log_line("stopping on the stop command");
    // After the answer to the command has gone out.
    evloop_delayed_ev_item_enqueue(loop, [](void* l) { evloop_stop(static_cast<evloop_t*>(l)); },
                                   loop);
  };
  std::string error;
  int rc = 0;
  {
    const std::string file = desc.file;
    std::unique_ptr<Simulator> sim = Simulator::create(loop, std::move(desc), options, &error);
    if (!sim) {
      std::fprintf(stderr, "envsim: cannot start the simulator: %s\n", error.c_str());
      tell_starter(o.ready_fd, "error: " + error);
      rc = 1;
    } else if (!write_control_file(sim->server().endpoint(), &error)) {
      std::fprintf(stderr, "envsim: %s\n", error.c_str());
      tell_starter(o.ready_fd, "error: " + error);
      rc = 1;
    } else {
      const ChassisState& c = sim->chassis();
      const msgpipe_endpoint ep = sim->server().endpoint();
      msgpipe_endpoint ds{};
      pelmarok_ds_default_endpoint(&ds);
      log_line("simulating " + file + ": platform " + platform_name(c.desc.platform) +
               ", chassis type " + hex_text(c.desc.chassis_type) + ", " +
               std::to_string(c.cards.size()) + " cards, " +
               std::to_string(c.desc.fan_trays.size()) + " fan trays");
      for (const auto& card : c.cards) {
        log_line("  card " + card.location + " slot " + std::to_string(card.desc.slot) +
                 " address " + address_text(card.desc.address) + " role " +
                 role_name(card.role) + (card.present ? "" : " (not inserted)"));
      }
      log_line("services on " + address_text(ep.node_address) + ":" + std::to_string(ep.port) +
               ", published through the directory service at " +
               address_text(ds.node_address) + ":" + std::to_string(ds.port) +
               (options.instance.empty() ? "" : " as instance " + options.instance));
      log_line(std::string("clock ") + (o.fake_clock ? "fake (moved by `envsim clock advance`)"
                                                     : "real") +
               ", control file " + control_file());
      tell_starter(o.ready_fd, "ready");
      evloop_block(loop);
    }
  }
  // The simulator is gone (its connections closed, its services withdrawn).
  unlink(control_file().c_str());
  rmdir(run_dir().c_str());
  char buf[4096];
  if (const char* run = sim_path("/run", buf, sizeof buf)) rmdir(run);  // only when empty
  evloop_run_until_idle(loop);
  evloop_attach_fd(loop, sfd, 0, nullptr, 0, 0, nullptr, 0);
  close(sfd);
  evloop_destroy(loop);
  log_line(rc == 0 ? "stopped" : "not started");
  return rc;
}

}  // namespace envsim

// The monitoring server's host: creates the event loop, defines the data
// symbols the server's libraries bind by name, loads the core and then the
// hardware abstraction of the platform, runs the core's start-up sequence and
// the loop, and stops on SIGINT or SIGTERM.
#include <dlfcn.h>
#include <errno.h>
#include <getopt.h>
#include <limits.h>
#include <pthread.h>
#include <signal.h>
#include <stdarg.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/signalfd.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <array>
#include <string>
#include <vector>

#include "envmon_errors.h"
#include "envmon_records.h"
#include "evloop.h"
#include "tlg.h"

// Data symbols of the host, bound by name by the server's libraries.
extern "C" {
struct evloop* envmon_evloop;
FILE* env_fd;
pthread_mutex_t atomic_mutex = PTHREAD_MUTEX_INITIALIZER;
uint64_t __proc_total_respawn;
}

namespace {

constexpr char kProgram[] = "envmon_server";

struct Options {
  std::string platform = "tavrin";
  std::string lib_dir;
  std::string debug_log = "-";
  std::string standin = "libenvcore_standin.so";
  bool use_standin = true;
};

void usage(FILE* out) {
  fprintf(out,
          "usage: %s [options]\n"
          "Hosts the monitoring server: loads libenvcore.so and the hardware abstraction of the\n"
          "platform, runs the server's start-up sequence and its event loop until SIGINT/SIGTERM.\n"
          "\n"
          "  --platform NAME    platform whose hardware abstraction is loaded, libenvhal_NAME.so\n"
          "                     (tavrin or olbrisk; default tavrin)\n"
          "  --lib-dir DIR      where the libraries are (default: ../lib beside this program)\n"
          "  --debug-log PATH   the server's debug log (env_fd): a file, '-' for standard error\n"
          "                     (default), or 'none'\n"
          "  --standin LIB      library that answers for the server's neighbours not built yet\n"
          "                     (default libenvcore_standin.so)\n"
          "  --no-standin       load no such library\n"
          "  --help             this text\n",
          kProgram);
}

void say(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
void say(const char* fmt, ...) {
  time_t now = time(nullptr);
  char stamp[32];
  struct tm tm;
  localtime_r(&now, &tm);
  strftime(stamp, sizeof(stamp), "%H:%M:%S", &tm);
  printf("%s %s: ", stamp, kProgram);
  va_list ap;
  va_start(ap, fmt);
  vprintf(fmt, ap);
  va_end(ap);
  printf("\n");
  fflush(stdout);
}

bool parse(int argc, char** argv, Options* o) {
  enum { kPlatform = 1, kLibDir, kDebugLog, kStandin, kNoStandin, kHelp };
  static const option longs[] = {{"platform", required_argument, nullptr, kPlatform},
                                 {"lib-dir", required_argument, nullptr, kLibDir},
                                 {"debug-log", required_argument, nullptr, kDebugLog},
                                 {"standin", required_argument, nullptr, kStandin},
                                 {"no-standin", no_argument, nullptr, kNoStandin},
                                 {"help", no_argument, nullptr, kHelp},
                                 {nullptr, 0, nullptr, 0}};
  int c;
  opterr = 0;
  while ((c = getopt_long(argc, argv, "", longs, nullptr)) != -1) {
    switch (c) {
      case kPlatform:
        o->platform = optarg;
        break;
      case kLibDir:
        o->lib_dir = optarg;
        break;
      case kDebugLog:
        o->debug_log = optarg;
        break;
      case kStandin:
        o->standin = optarg;
        break;
      case kNoStandin:
        o->use_standin = false;
        break;
      case kHelp:
        usage(stdout);
        exit(0);
      default:
        fprintf(stderr, "%s: unknown option or missing value: %s\n", kProgram,
                argv[optind - 1] ? argv[optind - 1] : "?");
        usage(stderr);
        return false;
    }
  }
  if (optind < argc) {
    fprintf(stderr, "%s: unexpected argument: %s\n", kProgram, argv[optind]);
    return false;
  }
  if (o->platform != "tavrin" && o->platform != "olbrisk") {
    fprintf(stderr, "%s: unknown platform \"%s\" (tavrin or olbrisk)\n", kProgram,
            o->platform.c_str());
    return false;
  }
  if (o->lib_dir.empty()) {
    char self[PATH_MAX];
    const ssize_t n = readlink("/proc/self/exe", self, sizeof(self) - 1);
    if (n <= 0) {
      fprintf(stderr, "%s: cannot find this program's directory: %s\n", kProgram, strerror(errno));
      return false;
    }
    self[n] = '\0';
    std::string dir(self);
    dir.erase(dir.rfind('/'));
    o->lib_dir = dir + "/../lib";
  }
  return true;
}

bool exists(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0;
}

void* load(const std::string& path) {
  // Lazy: the core calls the hardware abstraction, which is loaded after it.
  void* h = dlopen(path.c_str(), RTLD_LAZY | RTLD_GLOBAL);
  if (!h) say("cannot load %s: %s", path.c_str(), dlerror());
  return h;
}

// The library of the process that provides `name`, for the log.
std::string provider(const char* name) {
  void* sym = dlsym(RTLD_DEFAULT, name);
  if (!sym) return "";
  Dl_info info;
  if (!dladdr(sym, &info) || !info.dli_fname) return "?";
  std::string lib = info.dli_fname;
  return lib.substr(lib.rfind('/') + 1);
}

// What the core's start-up reaches in other libraries; the log names the
// library that answers each.
constexpr const char* kNeighbours[] = {
    "envmon_hal_get_max_fantray", "envmon_hal_capi_platform_driver_init", "envmon_fm_init",
    "envmon_fm_fault_report_resync", "envmon_capi_pm_init", "envmon_inv_invreg_nm_client_init",
    "envmon_capi_platform_handle_init", "envmon_init_pwr_mgmt_data", "envmon_ceb_fsa_init_n_start"};

volatile sig_atomic_t stop_signal = 0;

void on_signal(int fd, uint32_t, void* ctx) {
  signalfd_siginfo info;
  if (read(fd, &info, sizeof(info)) == static_cast<ssize_t>(sizeof(info)))
    stop_signal = static_cast<sig_atomic_t>(info.ssi_signo);
  evloop_stop(static_cast<evloop_t*>(ctx));
}

template <typename Fn>
Fn core_fn(const char* name) {
  return reinterpret_cast<Fn>(dlsym(RTLD_DEFAULT, name));
}

// Runs one start-up step; false (logged with its exact code) on failure.
template <typename Fn, typename... Args>
bool step(int number, const char* name, Args... args) {
  auto fn = core_fn<Fn>(name);
  if (!fn) {
    say("step %d: %s is not in any loaded library", number, name);
    return false;
  }
  const envmon_err_t rc = fn(args...);
  if (rc != 0) {
    say("step %d: %s failed with 0x%016llx", number, name, static_cast<unsigned long long>(rc));
    return false;
  }
  say("step %d: %s: 0x0", number, name);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  Options opt;
  if (!parse(argc, argv, &opt)) return 2;
  say("starting: platform %s, libraries from %s, pid %d", opt.platform.c_str(), opt.lib_dir.c_str(),
      static_cast<int>(getpid()));

  // Step 1: the event loop and the debug log.
  evloop_t* loop = evloop_create(kProgram);
  if (!loop) {
    say("cannot create the event loop");
    return 1;
  }
  envmon_evloop = loop;
  if (opt.debug_log == "-") {
    env_fd = stderr;
  } else if (opt.debug_log != "none") {
    env_fd = fopen(opt.debug_log.c_str(), "a");
    if (!env_fd) {
      say("cannot open the debug log %s: %s", opt.debug_log.c_str(), strerror(errno));
      return 1;
    }
  }
  say("step 1: event loop %s created; debug log %s", evloop_get_name(loop),
      env_fd ? opt.debug_log.c_str() : "none");

  // The core first: the other libraries bind its functions and records.
  const std::string core = opt.lib_dir + "/libenvcore.so";
  if (!load(core)) return 1;
  say("loaded %s", core.c_str());
  const std::string hal = opt.lib_dir + "/libenvhal_" + opt.platform + ".so";
  if (exists(hal)) {
    if (!load(hal)) return 1;
    say("loaded the hardware abstraction %s", hal.c_str());
  } else {
    say("no hardware abstraction %s built yet; going on without it", hal.c_str());
  }
  if (opt.use_standin) {
    const std::string standin = opt.lib_dir + "/" + opt.standin;
    if (exists(standin) && load(standin))
      say("loaded %s for what no other library provides", standin.c_str());
    else
      say("no stand-in library %s", standin.c_str());
  }
  for (const char* name : kNeighbours) {
    const std::string lib = provider(name);
    say("%s: %s", name, lib.empty() ? "missing" : lib.c_str());
  }

  // Step 2: trace buffers, under ten buffers of the host.
  static constexpr std::array<const char*, 10> kTopics = {"main", "err",   "info", "dbg",  "pwrm",
                                                          "fanm", "fault", "smil", "obfl", "pmlib"};
  std::array<tlg_handle_t, 10> parents{};
  for (size_t i = 0; i < kTopics.size(); ++i) {
    const std::string name = std::string("envmon_server_") + kTopics[i];
    tlg_open_internal(&parents[i], name.c_str(), 0, 0, "./sim/envmon_host", "host", nullptr);
  }
  using TlgInit = envmon_err_t (*)(evloop_t*, tlg_handle_t, tlg_handle_t, tlg_handle_t,
                                   tlg_handle_t, tlg_handle_t, tlg_handle_t, tlg_handle_t,
                                   tlg_handle_t, tlg_handle_t, tlg_handle_t);
  using NoArgs = envmon_err_t (*)();
  using WithLoop = envmon_err_t (*)(evloop_t*);
  if (!step<TlgInit>(2, "envmon_tlg_init", loop, parents[0], parents[1], parents[2], parents[3],
                     parents[4], parents[5], parents[6], parents[7], parents[8], parents[9]) ||
      !step<NoArgs>(3, "envmon_init_rack_scope_data") ||
      !step<NoArgs>(4, "envmon_init_node_scope_data"))
    return 1;

  auto** rm = core_fn<envmon_rm_t**>("envmon_rm");
  auto** nm = core_fn<envmon_nm_t**>("envmon_nm");
  auto limit = [](const char* name) {
    auto fn = core_fn<uint32_t (*)()>(name);
    return fn ? fn() : 0u;
  };
  if (rm && *rm && nm && *nm) {
    say("records: rack-scope at %p (rack 0x%x, %u fan trays, %u route processors, %u inventory "
        "slots, %u-byte chassis serial), node-scope at %p (%u clients, %u MPA bays, address 0x%x)",
        static_cast<void*>(*rm), (*rm)->rack, limit("envmon_hal_get_max_fantray"),
        limit("envmon_hal_get_max_rp"), limit("envmon_hal_get_max_inv_slots"),
        limit("envmon_hal_get_chassis_sn_length"), static_cast<void*>(*nm),
        limit("envmon_hal_get_max_clients"), (*nm)->max_mpa, (*nm)->ip_address);
  }

  if (!step<WithLoop>(5, "envmon_common_init", loop) ||
      !step<NoArgs>(6, "envmon_ceb_fsa_init_n_start"))
    return 1;

  // Step 7: the loop, until SIGINT or SIGTERM.
  sigset_t stops;
  sigemptyset(&stops);
  sigaddset(&stops, SIGINT);
  sigaddset(&stops, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stops, nullptr);
  const int sfd = signalfd(-1, &stops, SFD_NONBLOCK | SFD_CLOEXEC);
  if (sfd < 0 || evloop_attach_fd(loop, sfd, 0, on_signal, EVLOOP_FD_READABLE, 0, loop, 0) < 0) {
    say("cannot watch SIGINT/SIGTERM: %s", strerror(errno));
    return 1;
  }
  say("step 7: running the event loop");
  evloop_block(loop);
  say("stopping on %s", stop_signal == SIGINT ? "SIGINT" : stop_signal == SIGTERM ? "SIGTERM" : "request");
  evloop_attach_fd(loop, sfd, 0, nullptr, 0, 0, nullptr, 0);
  close(sfd);
  say("stopped");
  return 0;
}

// dsd: the directory service daemon.
#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>

#include "dsd_server.h"
#include "evloop.h"
#include "pelmarok_ds.h"

namespace {

constexpr char kUsage[] =
    "usage: dsd [--endpoint ADDRESS:PORT] [--help]\n"
    "\n"
    "The directory service: processes publish their services' endpoints here and\n"
    "watchers learn them and every change. A client's publications are withdrawn\n"
    "when its connection ends.\n"
    "\n"
    "  --endpoint ADDRESS:PORT  where to listen (IPv4 loopback address and TCP port;\n"
    "                           port 0 takes any free port). Default: the value of\n"
    "                           " PELMAROK_DS_ENDPOINT_ENV ", else " PELMAROK_DS_DEFAULT_ENDPOINT ".\n"
    "  --help                   this text.\n"
    "\n"
    "It logs what it does on standard output and stops on SIGINT or SIGTERM.\n";

void log_line(const std::string& text) {
  std::time_t now = std::time(nullptr);
  char stamp[32];
  std::strftime(stamp, sizeof stamp, "%H:%M:%S", std::localtime(&now));
  std::printf("%s dsd[%d]: %s\n", stamp, static_cast<int>(getpid()), text.c_str());
  std::fflush(stdout);
}

struct SignalCtx {
  evloop_t* loop;
  int fd;
};

void on_signal(int fd, uint32_t, void* arg) {
  auto* ctx = static_cast<SignalCtx*>(arg);
  signalfd_siginfo info{};
  if (read(fd, &info, sizeof info) == static_cast<ssize_t>(sizeof info)) {
    log_line("stopping on signal " + std::to_string(info.ssi_signo));
  }
  evloop_stop(ctx->loop);
}

}  // namespace

int main(int argc, char** argv) {
  const char* endpoint_text = nullptr;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
      std::fputs(kUsage, stdout);
      return 0;
    }
    if (std::strcmp(argv[i], "--endpoint") == 0 && i + 1 < argc) {
      endpoint_text = argv[++i];
      continue;
    }
    std::fprintf(stderr, "dsd: unknown or incomplete option \"%s\"\n\n%s", argv[i], kUsage);
    return 2;
  }
  msgpipe_endpoint endpoint{};
  if (endpoint_text) {
    if (pelmarok_ds_parse_endpoint(endpoint_text, &endpoint) != 0) {
      std::fprintf(stderr, "dsd: --endpoint \"%s\" is not ADDRESS:PORT\n", endpoint_text);
      return 2;
    }
  } else if (pelmarok_ds_default_endpoint(&endpoint) != 0) {
    std::fprintf(stderr, "dsd: %s=\"%s\" is not ADDRESS:PORT\n", PELMAROK_DS_ENDPOINT_ENV,
                 std::getenv(PELMAROK_DS_ENDPOINT_ENV));
    return 2;
  }

  sigset_t mask;
  sigemptyset(&mask);
  sigaddset(&mask, SIGINT);
  sigaddset(&mask, SIGTERM);
  sigprocmask(SIG_BLOCK, &mask, nullptr);
  signal(SIGPIPE, SIG_IGN);
  const int sfd = signalfd(-1, &mask, SFD_CLOEXEC | SFD_NONBLOCK);

  evloop_t* loop = evloop_create("dsd");
  if (!loop || sfd < 0) {
    std::fprintf(stderr, "dsd: cannot create the event loop or the signal descriptor\n");
    return 1;
  }
  SignalCtx sig{loop, sfd};
  evloop_attach_fd(loop, sfd, 0, on_signal, EVLOOP_FD_READABLE, 0, &sig, 0);

  int rc = 0;
  {
    DsServer server(loop, log_line);
    log_line("directory service starting");
    if (server.start(endpoint) != 0) {
      rc = 1;
    } else {
      evloop_block(loop);
    }
    log_line("directory service stopped");
  }
  evloop_attach_fd(loop, sfd, 0, nullptr, 0, 0, nullptr, 0);
  close(sfd);
  evloop_destroy(loop);
  return rc;
}

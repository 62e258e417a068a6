// The directory service with real processes: the dsd program, publisher
// processes, and this test process as the watcher.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "evloop.h"
#include "evloop_test.h"
#include "msgpipe.h"
#include "pelmarok_ds.h"

extern char** environ;

namespace {

constexpr int kBoundMs = 15000;

// A child process whose standard output the test reads line by line.
class Proc {
 public:
  Proc(const std::vector<std::string>& argv) {
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) return;
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_adddup2(&fa, fds[1], STDOUT_FILENO);
    std::vector<char*> args;
    for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    if (posix_spawn(&pid_, args[0], &fa, nullptr, args.data(), environ) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&fa);
    close(fds[1]);
    out_ = fds[0];
  }
  ~Proc() {
    if (pid_ > 0) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
    if (out_ >= 0) close(out_);
  }
  Proc(const Proc&) = delete;
  Proc& operator=(const Proc&) = delete;

  bool started() const { return pid_ > 0; }
  const std::string& output() const { return seen_; }

  // Reads until a line holding `needle` arrives after the lines already
  // matched; returns that line, or "" when the bound passes or output ends.
  std::string wait_line(const std::string& needle) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kBoundMs);
    for (;;) {
      size_t nl;
      while ((nl = pending_.find('\n')) != std::string::npos) {
        std::string line = pending_.substr(0, nl);
        pending_.erase(0, nl + 1);
        if (line.find(needle) != std::string::npos) return line;
      }
      if (!read_some(deadline)) return "";
    }
  }

  // Sends `sig` and waits (bounded) until the process has ended; its exit
  // status, or -1 when it did not end.
  int stop(int sig) {
    if (pid_ <= 0) return -1;
    kill(pid_, sig);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kBoundMs);
    while (read_some(deadline)) {
    }
    int status = 0;
    if (waitpid(pid_, &status, 0) != pid_) return -1;
    pid_ = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }

 private:
  // False at end of output or when the deadline passes.
  bool read_some(std::chrono::steady_clock::time_point deadline) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return false;
    pollfd p{out_, POLLIN, 0};
    if (poll(&p, 1, static_cast<int>(left.count())) <= 0) return false;
    char buf[512];
    const ssize_t n = read(out_, buf, sizeof buf);
    if (n <= 0) return false;
    pending_.append(buf, static_cast<size_t>(n));
    seen_.append(buf, static_cast<size_t>(n));
    return true;
  }

  pid_t pid_ = -1;
  int out_ = -1;
  std::string pending_;
  std::string seen_;
};

struct Watcher {
  evloop_t* loop = nullptr;
  pelmarok_ds_handle_t* ds = nullptr;
  std::vector<std::vector<uint32_t>> notified;
  std::vector<std::vector<uint32_t>> deleted;
  int disconnects = 0;

  static std::vector<uint32_t> ports(const ds_service_info* e, uint32_t n) {
    std::vector<uint32_t> v;
    for (uint32_t i = 0; i < n; ++i) {
      msgpipe_endpoint ep{};
      if (msgcodec_msgpipe_endpoint_decode_ext(&ep, e[i].endpoint, e[i].endpoint_len, malloc) >= 0) v.push_back(ep.port);
    }
    return v;
  }

  void start() {
    loop = evloop_create("watcher");
    ASSERT_EQ(pelmarok_ds_handle_create(&ds, loop, this), 0);
    pelmarok_ds_set_notify_service_callback(ds, [](pelmarok_ds_handle_t* h, const ds_service_info* e, uint32_t n, void*) {
      static_cast<Watcher*>(pelmarok_ds_get_user_context(h))->notified.push_back(ports(e, n));
    });
    pelmarok_ds_set_notify_deleted_service_callback(
        ds, [](pelmarok_ds_handle_t* h, const ds_service_info* e, uint32_t n, void*) {
          static_cast<Watcher*>(pelmarok_ds_get_user_context(h))->deleted.push_back(ports(e, n));
        });
    pelmarok_ds_set_disconnect_callback(ds, [](pelmarok_ds_handle_t* h, int32_t, void*) {
      static_cast<Watcher*>(pelmarok_ds_get_user_context(h))->disconnects++;
    });
    ds_service_notification_req req{};
    req.service_name = const_cast<char*>("envmon");
    req.present = 0x01;
    ASSERT_EQ(pelmarok_ds_register_service_notification(ds, &req, this), 0);
    ASSERT_EQ(pelmarok_ds_connect(ds, nullptr), 0);
  }

  ~Watcher() {
    if (ds) pelmarok_ds_handle_destroy(ds);
    if (loop) evloop_destroy(loop);
  }

  bool wait_for(const std::function<bool()>& done) { return evloop_test_wait_for(loop, done, kBoundMs); }
  bool last_is(const std::vector<uint32_t>& ports) const { return !notified.empty() && notified.back() == ports; }
};

std::string listening_endpoint(Proc& dsd) {
  const std::string line = dsd.wait_line("listening on ");
  const size_t at = line.find("listening on ");
  return at == std::string::npos ? "" : line.substr(at + std::strlen("listening on "));
}

TEST(DsProcesses, PublishDiscoverWithdrawAndRepublishAfterDaemonRestart) {
  Proc dsd({DSD_PROGRAM, "--endpoint", "127.0.0.1:0"});
  ASSERT_TRUE(dsd.started());
  const std::string endpoint = listening_endpoint(dsd);
  ASSERT_FALSE(endpoint.empty()) << "dsd did not say where it listens:\n" << dsd.output();
  ASSERT_EQ(setenv(PELMAROK_DS_ENDPOINT_ENV, endpoint.c_str(), 1), 0);

  Watcher w;
  ASSERT_NO_FATAL_FAILURE(w.start());

  {
    Proc publisher({DSD_TEST_PUBLISHER, "envmon", "1", "45001"});
    ASSERT_FALSE(publisher.wait_line("published 0").empty()) << publisher.output();
    ASSERT_TRUE(w.wait_for([&] { return w.last_is({45001}); })) << "the watcher never saw the publication";
    ASSERT_EQ(publisher.stop(SIGKILL), 128 + SIGKILL);
  }
  ASSERT_TRUE(w.wait_for([&] { return w.last_is({}); })) << "the killed publisher was not withdrawn";
  EXPECT_EQ(w.deleted, std::vector<std::vector<uint32_t>>{{45001}});
  EXPECT_FALSE(dsd.wait_line("withdrew envmon entry").empty()) << dsd.output();

  Proc publisher({DSD_TEST_PUBLISHER, "envmon", "1", "45002"});
  ASSERT_FALSE(publisher.wait_line("published 0").empty()) << publisher.output();
  ASSERT_TRUE(w.wait_for([&] { return w.last_is({45002}); }));

  // The daemon stops and comes back on the same endpoint: the publisher
  // republishes from its connect callback, the watcher's watch is registered
  // again by the library.
  EXPECT_EQ(dsd.stop(SIGTERM), 0);
  EXPECT_NE(dsd.output().find("stopping on signal"), std::string::npos) << dsd.output();
  ASSERT_TRUE(w.wait_for([&] { return w.disconnects == 1; })) << "the watcher did not see the daemon go";
  w.notified.clear();
  Proc dsd2({DSD_PROGRAM, "--endpoint", endpoint});
  ASSERT_EQ(listening_endpoint(dsd2), endpoint) << dsd2.output();
  ASSERT_FALSE(publisher.wait_line("published 0").empty()) << "no republication:\n" << publisher.output();
  ASSERT_TRUE(w.wait_for([&] { return w.last_is({45002}); })) << "the watcher did not learn the endpoint again";
  EXPECT_EQ(publisher.stop(SIGTERM), 128 + SIGTERM);
  EXPECT_EQ(dsd2.stop(SIGINT), 0);
}

TEST(DsProcesses, DaemonExplainsBadOptions) {
  struct Case {
    std::vector<std::string> args;
    int status;
    const char* text;
  };
  const Case kCases[] = {
      {{DSD_PROGRAM, "--help"}, 0, "usage: dsd"},
      {{DSD_PROGRAM, "--endpoint", "nowhere"}, 2, ""},
      {{DSD_PROGRAM, "--bogus"}, 2, ""},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.args.back());
    Proc p(c.args);
    EXPECT_EQ(p.stop(0), c.status);
    EXPECT_NE(p.output().find(c.text), std::string::npos) << p.output();
  }
}

}  // namespace

// Child processes for the tests with real processes: started with their
// output captured, waited for with a bound while the test's event loop runs.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <vector>

#include "evloop.h"

extern char** environ;

namespace envsim_test {

constexpr uint32_t kBoundMs = 15000;

class Proc {
 public:
  explicit Proc(const std::vector<std::string>& argv) {
    int fds[2];
    if (pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0) return;
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_adddup2(&fa, fds[1], STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&fa, fds[1], STDERR_FILENO);
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

  pid_t pid() const { return pid_; }
  const std::string& output() const { return seen_; }

  // Reads what is there; true once the process has ended (status in exit_status()).
  bool poll_done() {
    drain();
    if (pid_ <= 0) return true;
    int status = 0;
    if (waitpid(pid_, &status, WNOHANG) != pid_) return false;
    drain();
    exit_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    pid_ = -1;
    return true;
  }
  int exit_status() const { return exit_; }

  // Waits for the end, running `loop` meanwhile when one is given. -1 when
  // the bound passed first.
  int wait(evloop_t* loop = nullptr, uint32_t bound_ms = kBoundMs) {
    if (loop != nullptr) {
      evloop_run_until(
          loop, [](void* a) { return static_cast<Proc*>(a)->poll_done() ? 1 : 0; }, this,
          bound_ms);
    } else {
      const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(bound_ms);
      while (!poll_done() && std::chrono::steady_clock::now() < deadline) {
        pollfd p{out_, POLLIN, 0};
        poll(&p, 1, 50);
      }
    }
    return poll_done() ? exit_ : -1;
  }

  // Reads until a line holding `needle` arrived; that line, or "" after the bound.
  std::string wait_line(const std::string& needle, uint32_t bound_ms = kBoundMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(bound_ms);
    for (;;) {
      size_t nl;
      while ((nl = pending_.find('\n')) != std::string::npos) {
        std::string line = pending_.substr(0, nl);
        pending_.erase(0, nl + 1);
        if (line.find(needle) != std::string::npos) return line;
      }
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                            deadline - std::chrono::steady_clock::now())
                            .count();
      if (left <= 0) return "";
      pollfd p{out_, POLLIN, 0};
      if (poll(&p, 1, static_cast<int>(left)) <= 0) return "";
      if (!drain()) return "";
    }
  }

  // Sends `sig` and waits (bounded) for the end; the exit status or -1.
  int stop(int sig) {
    if (pid_ <= 0) return exit_;
    kill(pid_, sig);
    return wait();
  }

 private:
  // False at the end of the output.
  bool drain() {
    char buf[4096];
    for (;;) {
      const ssize_t n = read(out_, buf, sizeof buf);
      if (n > 0) {
        pending_.append(buf, static_cast<size_t>(n));
        seen_.append(buf, static_cast<size_t>(n));
        continue;
      }
      return n < 0;  // EAGAIN: more may come
    }
  }

  pid_t pid_ = -1;
  int out_ = -1;
  int exit_ = -1;
  std::string pending_;
  std::string seen_;
};

}  // namespace envsim_test

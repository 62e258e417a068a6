// The host program as a process: start-up sequence, its log, stopping on a
// signal, and a failing step's exact code.
#include <gtest/gtest.h>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <vector>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

struct Server {
  pid_t pid = -1;
  int out = -1;  // the program's standard output and error
  std::string text;

  Server(const std::vector<std::string>& args, const std::vector<std::string>& env) {
    int p[2];
    if (pipe2(p, O_CLOEXEC) != 0) return;
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_adddup2(&fa, p[1], 1);
    posix_spawn_file_actions_adddup2(&fa, p[1], 2);
    std::vector<std::string> all_args = {ENVMON_SERVER_BIN};
    all_args.insert(all_args.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& a : all_args) argv.push_back(a.data());
    argv.push_back(nullptr);
    std::vector<std::string> all_env;
    for (char** e = environ; *e; ++e) all_env.emplace_back(*e);
    all_env.insert(all_env.end(), env.begin(), env.end());
    std::vector<char*> envp;
    for (auto& e : all_env) envp.push_back(e.data());
    envp.push_back(nullptr);
    if (posix_spawn(&pid, ENVMON_SERVER_BIN, &fa, nullptr, argv.data(), envp.data()) != 0) pid = -1;
    posix_spawn_file_actions_destroy(&fa);
    close(p[1]);
    out = p[0];
  }
  ~Server() {
    if (pid > 0) {
      kill(pid, SIGKILL);
      waitpid(pid, nullptr, 0);
    }
    if (out >= 0) close(out);
  }
  // Reads output until it holds `what` or the output ends; false after `bound`.
  bool wait_for(const std::string& what, std::chrono::seconds bound) {
    const auto deadline = Clock::now() + bound;
    while (text.find(what) == std::string::npos) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
      if (left.count() <= 0) return false;
      pollfd pfd = {out, POLLIN, 0};
      if (poll(&pfd, 1, static_cast<int>(left.count())) <= 0) continue;
      char buf[4096];
      const ssize_t n = read(out, buf, sizeof(buf));
      if (n <= 0) return text.find(what) != std::string::npos;
      text.append(buf, static_cast<size_t>(n));
    }
    return true;
  }
  // Waits for the process to end; its exit status, or -1 after `bound`.
  int exit_status(std::chrono::seconds bound) {
    wait_for("\x01never\x01", bound);  // drains the output until it ends
    const auto deadline = Clock::now() + bound;
    int status = 0;
    while (Clock::now() < deadline) {
      const pid_t r = waitpid(pid, &status, WNOHANG);
      if (r == pid) {
        pid = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
      }
      pollfd none = {-1, 0, 0};
      poll(&none, 0, 10);
    }
    return -1;
  }
};

std::string temp_root() {
  char dir[] = "/tmp/envmon_host_test.XXXXXX";
  return mkdtemp(dir) ? dir : "/tmp";
}

TEST(EnvmonHost, StartsRunsItsLoopAndStopsOnSigterm) {
  const std::string root = temp_root();
  Server s({}, {"ENVMON_ROOT=" + root});
  ASSERT_GT(s.pid, 0);
  ASSERT_TRUE(s.wait_for("step 7: running the event loop", std::chrono::seconds(30)))
      << "the host did not reach its loop; output so far:\n" << s.text;
  // The steps in their order, each with its result.
  const char* steps[] = {"step 1: event loop envmon_server created",
                         "loaded ",
                         "step 2: envmon_tlg_init: 0x0",
                         "step 3: envmon_init_rack_scope_data: 0x0",
                         "step 4: envmon_init_node_scope_data: 0x0",
                         "records: rack-scope at ",
                         "step 5: envmon_common_init: 0x0",
                         "step 6: envmon_ceb_fsa_init_n_start: 0x0",
                         "step 7: running the event loop"};
  size_t at = 0;
  for (const char* step : steps) {
    const size_t found = s.text.find(step, at);
    ASSERT_NE(found, std::string::npos) << "missing or out of order: " << step << "\n" << s.text;
    at = found;
  }
  // The limits are the tavrin hardware abstraction's: before the chassis type
  // is known the fan-tray table has room for 6 trays.
  EXPECT_NE(s.text.find("loaded the hardware abstraction "), std::string::npos) << s.text;
  EXPECT_NE(s.text.find("envmon_hal_get_max_fantray: libenvhal_tavrin.so"), std::string::npos) << s.text;
  EXPECT_NE(s.text.find("(rack 0xfffe, 6 fan trays, 2 route processors, 64 inventory slots, "
                        "12-byte chassis serial)"),
            std::string::npos)
      << s.text;
  EXPECT_NE(s.text.find("address 0xffffffff"), std::string::npos);
  ASSERT_EQ(kill(s.pid, SIGTERM), 0);
  EXPECT_EQ(s.exit_status(std::chrono::seconds(30)), 0) << s.text;
  EXPECT_NE(s.text.find("stopping on SIGTERM"), std::string::npos) << s.text;
  EXPECT_NE(s.text.find("stopped"), std::string::npos);
}

// A library directory with every library of the build, except that the
// hardware abstraction is one whose start fails.
std::string lib_dir_with_failing_hal() {
  const std::string dir = temp_root() + "/lib";
  mkdir(dir.c_str(), 0700);
  if (DIR* d = opendir(ENVMON_LIB_DIR)) {
    while (dirent* e = readdir(d)) {
      const std::string name = e->d_name;
      if (name.size() < 4 || name.compare(name.size() - 3, 3, ".so") != 0) continue;
      if (name == "libenvhal_tavrin.so") continue;
      symlink((std::string(ENVMON_LIB_DIR) + "/" + name).c_str(), (dir + "/" + name).c_str());
    }
    closedir(d);
  }
  symlink(FAILING_HAL, (dir + "/libenvhal_tavrin.so").c_str());
  return dir;
}

TEST(EnvmonHost, AFailingStepIsReportedWithItsExactCode) {
  Server s({"--debug-log", "-", "--lib-dir", lib_dir_with_failing_hal()},
           {"ENVMON_ROOT=" + temp_root()});
  ASSERT_GT(s.pid, 0);
  EXPECT_EQ(s.exit_status(std::chrono::seconds(30)), 1) << s.text;
  EXPECT_NE(s.text.find("step 5: envmon_common_init failed with 0x401014deca100806"), std::string::npos)
      << s.text;
  // The core's own line went to the debug log (standard error here).
  EXPECT_NE(s.text.find("envmon_common_init(): Failure in Platform Driver init!"), std::string::npos) << s.text;
  EXPECT_EQ(s.text.find("step 6:"), std::string::npos);
}

TEST(EnvmonHost, HelpAndBadOptions) {
  {
    Server s({"--help"}, {});
    EXPECT_EQ(s.exit_status(std::chrono::seconds(30)), 0);
    for (const char* option : {"--platform", "--lib-dir", "--debug-log", "--standin", "--no-standin", "--help"})
      EXPECT_NE(s.text.find(option), std::string::npos) << option;
  }
  {
    Server s({"--platform", "quartz"}, {});
    EXPECT_EQ(s.exit_status(std::chrono::seconds(30)), 2);
    EXPECT_NE(s.text.find("unknown platform \"quartz\""), std::string::npos) << s.text;
  }
  {
    Server s({"--bogus"}, {});
    EXPECT_EQ(s.exit_status(std::chrono::seconds(30)), 2);
    EXPECT_NE(s.text.find("unknown option"), std::string::npos) << s.text;
  }
}

}  // namespace

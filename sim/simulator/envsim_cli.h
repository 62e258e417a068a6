// The `envsim` program: its options, the running simulator of a root
// directory, and the pieces its subcommands share.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

namespace envsim {

struct CliOptions {
  std::string root;       // --root or ENVMON_ROOT
  std::string chassis;    // --chassis
  std::string ds;         // --ds
  bool fake_clock = false;
  uint64_t liveness_ms = 30000;
  uint32_t timeout_ms = 10000;  // bound on an answer of the simulator
  int ready_fd = -1;            // --ready-fd (start hands it to run)
  std::vector<std::string> args;  // the subcommand and its words
};

constexpr int kExitUsage = 2;

// Parses the options (anywhere on the line) and the subcommand's words.
// False with `error` naming the option and the fault.
bool parse_cli(int argc, char** argv, CliOptions* out, std::string* error);

// The root directory made absolute; false with `error` when there is none.
bool resolve_root(CliOptions* o, std::string* error);

// Where a running simulator of the root (ENVMON_ROOT set) writes its control
// endpoint and process id.
std::string control_file();
struct Running {
  std::string endpoint;  // "a.b.c.d:port"
  pid_t pid = 0;
};
// Reads the control file; false when there is none or it is malformed.
bool read_control_file(Running* r);
bool process_alive(pid_t pid);

// Runs the simulator in this process until it is stopped (SIGINT, SIGTERM,
// the stop command). Exit status of the program.
int run_simulator(const CliOptions& o);

// Sends a control command to the running simulator and prints its answer.
// Exit status: the command's, 1 when the simulator did not answer in time.
int forward_command(const CliOptions& o, const std::vector<std::string>& args);
// Sends a command and gives back the answer; false with `error` on failure.
bool send_command(const Running& r, const std::vector<std::string>& args, uint32_t bound_ms,
                  int* status, std::string* text, std::string* error);

extern const char kUsage[];

}  // namespace envsim

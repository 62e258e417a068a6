// The control commands of the simulator: what `envsim` forwards to a running
// simulator and what the simulator carries out. Parsing is shared so that a
// malformed command is refused before anything is asked of the simulator.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace envsim {

enum class CommandKind {
  status,
  show,
  wait,
  role,
  card_insert,
  card_remove,
  card_state,
  config_set,
  config_delete,
  pm_update,
  pm_liveness,
  clock_advance,
  stop,
};

struct Command {
  CommandKind kind = CommandKind::status;
  std::vector<std::string> models;     // show, wait
  std::vector<std::string> fragments;  // wait
  uint32_t timeout_ms = 10000;         // wait: how long the caller waits at most
  int32_t slot = 0;
  int32_t value = 0;   // role, card state, process-update event
  int32_t value2 = 0;  // software card state
  std::string path;
  std::string text;
  bool has_text = false;
  uint64_t ms = 0;
};

// The model names of show and wait.
extern const char* const kModelNames[];
extern const size_t kModelCount;

// Parses a control command. False with `error` naming the word and the fault.
bool parse_command(const std::vector<std::string>& args, Command* out, std::string* error);

// The commands' part of `envsim --help`.
extern const char kCommandHelp[];

}  // namespace envsim

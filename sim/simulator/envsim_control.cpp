// Parsing of the control commands.
#include "envsim_control.h"

#include <algorithm>
#include <cstring>

#include "envsim_chassis.h"

namespace envsim {

const char* const kModelNames[] = {"chassis",  "pm",         "platform_local", "card_mgr",
                                   "config",   "statistics", "syslog"};
const size_t kModelCount = sizeof kModelNames / sizeof kModelNames[0];

const char kCommandHelp[] =
    "Commands to a running simulator:\n"
    "  status                         chassis, endpoints, clients and clock\n"
    "  show [MODEL...]                state of the models in plain text, one line per item;\n"
    "                                 MODEL: chassis pm platform_local card_mgr config\n"
    "                                 statistics syslog (all when none is given)\n"
    "  wait [--timeout MS] MODEL WORDS...\n"
    "                                 wait until one line of `show MODEL` holds every WORDS\n"
    "                                 argument as whole words (default bound 10000 ms);\n"
    "                                 exit status 1 and the model's state when it does not come\n"
    "  role SLOT ROLE                 give a card's services a role: active, standby, none\n"
    "                                 or a number\n"
    "  card insert SLOT               insert a card (card-object notification)\n"
    "  card remove SLOT               remove a card\n"
    "  card state SLOT STATE [SW]     card state 1-11 and software state\n"
    "  config set PATH [VALUE]        set a configuration key (without VALUE: a key that is\n"
    "                                 there without a value)\n"
    "  config delete PATH             delete a key and every key below it\n"
    "  pm update SLOT EVENT           send a process update to a card's clients; EVENT 1-6 or\n"
    "                                 CARD_SHUTDOWN CARD_OFFLINE CARD_ONLINE ADMIN_VM_SHUTDOWN\n"
    "                                 ALL_VM_SHUTDOWN CARD_QUIESCE\n"
    "  pm liveness                    ask every process-manager client for its liveness now\n"
    "  clock advance MS               move the simulator's clock (only with --fake-clock)\n"
    "  stop                           stop the simulator\n";

namespace {

bool parse_int(const std::string& text, int64_t lo, int64_t hi, int64_t* out) {
  if (text.empty() || text.size() > 20) return false;
  size_t i = text[0] == '-' ? 1 : 0;
  if (i == text.size()) return false;
  int64_t v = 0;
  for (; i < text.size(); ++i) {
    if (text[i] < '0' || text[i] > '9') return false;
    if (v > (INT64_MAX - 9) / 10) return false;
    v = v * 10 + (text[i] - '0');
  }
  if (text[0] == '-') v = -v;
  if (v < lo || v > hi) return false;
  *out = v;
  return true;
}

bool slot_arg(const std::string& text, int32_t* slot, std::string* error) {
  int64_t v = 0;
  if (!parse_int(text, 0, 63, &v)) {
    *error = "\"" + text + "\" is no slot (0-63)";
    return false;
  }
  *slot = static_cast<int32_t>(v);
  return true;
}

bool known_model(const std::string& name) {
  return std::any_of(kModelNames, kModelNames + kModelCount,
                     [&](const char* m) { return name == m; });
}

std::string model_list() {
  std::string s;
  for (size_t i = 0; i < kModelCount; ++i) s += std::string(i ? ", " : "") + kModelNames[i];
  return s;
}

bool count(const std::vector<std::string>& a, size_t lo, size_t hi, const char* usage,
           std::string* error) {
  if (a.size() < lo || a.size() > hi) {
    *error = std::string("usage: ") + usage;
    return false;
  }
  return true;
}

constexpr const char* kUpdateNames[] = {"CARD_SHUTDOWN",    "CARD_OFFLINE",    "CARD_ONLINE",
                                        "ADMIN_VM_SHUTDOWN", "ALL_VM_SHUTDOWN", "CARD_QUIESCE"};

}  // namespace

bool parse_command(const std::vector<std::string>& a, Command* out, std::string* error) {
  if (a.empty()) {
    *error = "no command given";
    return false;
  }
  Command c;
  const std::string& cmd = a[0];
  if (cmd == "status") {
    if (!count(a, 1, 1, "status", error)) return false;
    c.kind = CommandKind::status;
  } else if (cmd == "stop") {
    if (!count(a, 1, 1, "stop", error)) return false;
    c.kind = CommandKind::stop;
  } else if (cmd == "show") {
    c.kind = CommandKind::show;
    for (size_t i = 1; i < a.size(); ++i) {
      if (!known_model(a[i])) {
        *error = "\"" + a[i] + "\" is no model (" + model_list() + ")";
        return false;
      }
      c.models.push_back(a[i]);
    }
  } else if (cmd == "wait") {
    c.kind = CommandKind::wait;
    size_t i = 1;
    if (i < a.size() && a[i] == "--timeout") {
      int64_t ms = 0;
      if (i + 1 >= a.size() || !parse_int(a[i + 1], 1, 3600000, &ms)) {
        *error = "--timeout needs a number of milliseconds (1-3600000)";
        return false;
      }
      c.timeout_ms = static_cast<uint32_t>(ms);
      i += 2;
    }
    if (a.size() < i + 2) {
      *error = "usage: wait [--timeout MS] MODEL WORDS...";
      return false;
    }
    if (!known_model(a[i])) {
      *error = "\"" + a[i] + "\" is no model (" + model_list() + ")";
      return false;
    }
    c.models.push_back(a[i]);
    for (size_t k = i + 1; k < a.size(); ++k) {
      if (a[k].empty() || a[k].find('\n') != std::string::npos) {
        *error = "a word to wait for must be a non-empty text on one line";
        return false;
      }
      c.fragments.push_back(a[k]);
    }
  } else if (cmd == "role") {
    if (!count(a, 3, 3, "role SLOT active|standby|none|NUMBER", error)) return false;
    c.kind = CommandKind::role;
    if (!slot_arg(a[1], &c.slot, error)) return false;
    if (!parse_role(a[2], &c.value)) {
      *error = "\"" + a[2] + "\" is no role (active, standby, none or a number)";
      return false;
    }
  } else if (cmd == "card") {
    if (a.size() < 2) {
      *error = "usage: card insert|remove SLOT, card state SLOT STATE [SW_STATE]";
      return false;
    }
    if (a[1] == "insert" || a[1] == "remove") {
      if (!count(a, 3, 3, "card insert|remove SLOT", error)) return false;
      c.kind = a[1] == "insert" ? CommandKind::card_insert : CommandKind::card_remove;
      if (!slot_arg(a[2], &c.slot, error)) return false;
    } else if (a[1] == "state") {
      if (!count(a, 4, 5, "card state SLOT STATE [SW_STATE]", error)) return false;
      c.kind = CommandKind::card_state;
      if (!slot_arg(a[2], &c.slot, error)) return false;
      int64_t v = 0;
      if (!parse_int(a[3], 0, INT32_MAX, &v)) {
        *error = "\"" + a[3] + "\" is no card state (a number, 1-11 are known)";
        return false;
      }
      c.value = static_cast<int32_t>(v);
      if (a.size() == 5) {
        if (!parse_int(a[4], INT32_MIN, INT32_MAX, &v)) {
          *error = "\"" + a[4] + "\" is no software state (a number)";
          return false;
        }
        c.value2 = static_cast<int32_t>(v);
      }
    } else {
      *error = "\"" + a[1] + "\" is no card command (insert, remove, state)";
      return false;
    }
  } else if (cmd == "config") {
    if (a.size() >= 2 && a[1] == "set") {
      if (!count(a, 3, 4, "config set PATH [VALUE]", error)) return false;
      c.kind = CommandKind::config_set;
      c.path = a[2];
      if (a.size() == 4) {
        c.text = a[3];
        c.has_text = true;
      }
    } else if (a.size() >= 2 && a[1] == "delete") {
      if (!count(a, 3, 3, "config delete PATH", error)) return false;
      c.kind = CommandKind::config_delete;
      c.path = a[2];
    } else {
      *error = "usage: config set PATH [VALUE], config delete PATH";
      return false;
    }
    if (c.path.empty() || c.path[0] != '/') {
      *error = "\"" + c.path + "\" is no key path such as /environment/config/...";
      return false;
    }
  } else if (cmd == "pm") {
    if (a.size() >= 2 && a[1] == "liveness") {
      if (!count(a, 2, 2, "pm liveness", error)) return false;
      c.kind = CommandKind::pm_liveness;
    } else if (a.size() >= 2 && a[1] == "update") {
      if (!count(a, 4, 4, "pm update SLOT EVENT", error)) return false;
      c.kind = CommandKind::pm_update;
      if (!slot_arg(a[2], &c.slot, error)) return false;
      int64_t v = 0;
      bool named = false;
      for (int k = 0; k < 6; ++k) {
        if (a[3] == kUpdateNames[k]) {
          c.value = k + 1;
          named = true;
        }
      }
      if (!named) {
        if (!parse_int(a[3], INT32_MIN, INT32_MAX, &v)) {
          *error = "\"" + a[3] + "\" is no process-update event (1-6 or its name)";
          return false;
        }
        c.value = static_cast<int32_t>(v);
      }
    } else {
      *error = "usage: pm update SLOT EVENT, pm liveness";
      return false;
    }
  } else if (cmd == "clock") {
    if (!count(a, 3, 3, "clock advance MS", error)) return false;
    if (a[1] != "advance") {
      *error = "\"" + a[1] + "\" is no clock command (advance)";
      return false;
    }
    int64_t v = 0;
    if (!parse_int(a[2], 0, INT64_MAX / 1000000, &v)) {
      *error = "\"" + a[2] + "\" is no number of milliseconds";
      return false;
    }
    c.kind = CommandKind::clock_advance;
    c.ms = static_cast<uint64_t>(v);
  } else {
    *error = "\"" + cmd + "\" is no command (see envsim --help)";
    return false;
  }
  *out = std::move(c);
  return true;
}

}  // namespace envsim

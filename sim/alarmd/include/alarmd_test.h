// For tests: handles and faults without a fault manager behind them, what was
// marked on a handle, and the in-process fault manager the client library
// talks to: what it was told, which faults stand raised, and failures to
// inject.
#pragma once

#include <stdint.h>

#include <string>
#include <vector>

#include "alarmd.h"

alarmd_handle_t alarmd_test_handle_new();
void alarmd_test_handle_free(alarmd_handle_t handle);
// The fault ids marked repeatable on the handle, in the order of the calls.
std::vector<alarmd_fault_id_t> alarmd_test_repeat_marks(alarmd_handle_t handle);

alarmd_fault_t* alarmd_test_fault_new(uint32_t category, uint32_t tag);
void alarmd_test_fault_free(alarmd_fault_t* fault);

// An entity id as the fault manager keeps it: "rack/slot" and its levels
// "type/subtype/instance", e.g. "65534/3 6/1/2 8/25/1".
std::string alarmd_test_eid_text(const struct pelm_eid* eid);

struct AlarmdRegistration {
  alarmd_handle_t handle;
  std::string component;
  uint32_t facility;
  std::string location;     // "" when none was given
  std::string fault_table;
  bool has_action_handler;
  bool has_error_handler;
};

// One fault declaration as received.
struct AlarmdDeclaration {
  alarmd_handle_t handle;
  uint32_t category;
  uint32_t tag;
  std::string eid;          // alarmd_test_eid_text of the declared entity
  std::string owner;        // the owner object set before it ("" none)
  int32_t state;
  int32_t pending;
  uint32_t slot;
  uint16_t alarm_level;
  int32_t alarm_scope;
  std::string description;
  std::string location;
  std::string description2;
  std::string name;
  std::string description3;
  std::string syslog_location;
  uint64_t timestamp;
};

// A fault that stands raised (declared with state 1 and not cleared since).
struct AlarmdRaised {
  alarmd_handle_t handle;
  uint32_t category;
  uint32_t tag;
  std::string eid;
  int32_t pending;          // still waiting for its container
  uint16_t alarm_level;
  std::string location;
};

// Every registration, declaration and other call since the last reset.
std::vector<AlarmdRegistration> alarmd_test_registrations();
std::vector<AlarmdDeclaration> alarmd_test_declarations();
std::vector<AlarmdRaised> alarmd_test_raised();
// The other calls, in order, as text: "init(envmon)", "clear(<eid>)",
// "resync(1)", "location(0/RP0)", "update(slot=5 chassis=0 cont=<eid> loc=0/FT0)".
std::vector<std::string> alarmd_test_calls();
// The next call of that name ("init", "register", "declare", "clear",
// "resync", "location", "update", "owner") answers `code` instead.
void alarmd_test_fail_next(const std::string& call, int64_t code);
// Forgets everything, frees the registered handles, and allows alarmd_init again.
void alarmd_test_reset();

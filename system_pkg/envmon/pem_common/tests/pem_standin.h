// What the PEM library's tests share: recording stand-ins of the functions
// the library binds by name in the server process (the core's fault-manager
// client, power management, inventory registration, the platform-driver
// client, the hardware abstraction), with answers the tests set, and the
// host's data symbols.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "envmon_pem.h"
#include "envmon_pemcore.h"
#include "envmon_pwr_mgmt.h"

namespace pemtest {

// One envmon_fm_fault_report as the fault-manager client received it.
struct Fault {
  uint32_t type = 0;
  uint32_t tag = 0;
  uint32_t action = 0;
  int32_t state = 0;
  uint16_t level = 0;
  std::string eid;          // eid_text of the entity
  std::string description;  // "" when none
  std::string name;         // "" when none
};

// Answers of the hardware abstraction.
struct Hal {
  uint32_t max_powertray = 0;
  uint32_t max_virtual_powertray = 2;
  uint32_t max_idprom_size = 256;
  uint32_t max_fc = 6;
  uint32_t max_xc = 2;
  std::string platform = "tavrin";
  uint32_t num_pems_for_red = 255;
  uint32_t pem_temp_delta = 2;
  int single_feed = 0;
  bool fpd_skip = false;
  int hw_version_rc = 0;
  uint16_t hw_version = 0x0102;
  int pid_rc = 0;
  std::string pid = "TV-PWR-AC";
};

struct Budget {
  uint16_t max = 0, standby = 0, extended = 0;
};

struct Standin {
  Hal hal;
  std::vector<std::string> calls;  // every other call, "name(arguments)"
  std::vector<Fault> faults;
  envmon_err_t fault_rc = 0;       // answer of envmon_fm_fault_report
  std::vector<uint32_t> events;    // card events posted to the state machine
  // Power management.
  std::map<int32_t, Budget> budgets;  // by budget entity kind
  bool extended_mode = false;
  // Inventory registration.
  bool invreg_connected = true;
  int32_t invreg_rc = 0;            // answer of the invreg_* requests
  int32_t eid_state_rc = 0;         // answer of envmon_inv_invreg_upd_eid_state
  // Platform-driver client.
  bool power_driver_handle = true;  // get_drvif_driver_handler(2) gives a handle
  int drvif_register_rc = 0;        // answer of drvif_eid_register
  int32_t fpd_init_rc = 0;          // answer of envmon_fpd_init
  std::vector<uint32_t> powertray_types;  // envmon_hal_is_powertray
};
Standin& standin();
// Forgets every call and restores the default answers.
void reset();
// The calls whose text begins with `prefix`, in order.
std::vector<std::string> calls(const std::string& prefix);
// "rack/slot t/s/i ..." of an entity id ("-" for none).
std::string eid_text(const pelm_eid* eid);

}  // namespace pemtest

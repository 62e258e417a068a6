// Test-only answers of what the core's driver, fault-manager, failure-log and
// FPD clients call in neighbours that are not built (hardware abstraction
// hooks, PEM library, inventory registration, the card-event state machine),
// with a log of the calls made. Linked into the test programs, so these come
// before any library's definition of the same name.
#pragma once

#include <stdint.h>

#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "envmon.h"

struct AcqStandin {
  // Platform limits and classes.
  uint32_t max_fantray = 3;
  uint32_t max_pri_fantray = 2;   // trays below this index belong to the primary fan driver
  uint32_t max_fc = 4;
  uint32_t max_lc = 4;
  uint32_t max_swc = 2;
  uint32_t max_rp = 2;
  uint32_t max_xc = 0;
  uint32_t max_powertray = 0;
  uint32_t max_virtual_powertray = 0;
  uint32_t max_idprom_size = 256;
  uint32_t max_inv_slots = 600;
  int fc_remote = 1;
  int lc_remote = 1;
  int sw_remote = 1;
  uint32_t mpa_start = 512;
  uint32_t mpa_end = 559;
  std::string platform_name = "standin";
  std::map<uint32_t, std::string> card_names;

  // Fault-manager hooks.
  bool platform_fm_table = true;
  // Slots the hardware abstraction locates itself: text, container and extra part.
  struct Location {
    std::string text;
    pelm_eid* container = nullptr;
    pelm_eid* extra = nullptr;
  };
  std::map<uint32_t, Location> hal_locations;
  // Sensor names the hardware abstraction hides.
  std::vector<std::string> hidden_names;
  // Voltage sensors of slots the core keeps no list for (voltage-fault hook).
  std::map<uint32_t, envmon_sensor_list*> hal_volt_lists;
  // Sensor lists of slots the core keeps no list for: (slot, subtype).
  std::map<std::pair<uint32_t, uint32_t>, envmon_sensor_list*> hal_lists;
  uint32_t powertray_slottype = 0xffffffffu;

  // PEM library: slot -> (tray, PEM).
  std::map<uint32_t, std::pair<uint32_t, uint32_t>> pem_slots;

  // Platform-driver hooks.
  std::map<uint32_t, int> ok_to_poll;             // by sensor instance; default 1
  std::vector<uint32_t> invalid_driver_slots;      // slots no driver serves
  std::vector<uint32_t> optics_slots;
  std::vector<uint32_t> fan_reg_active;            // trays fan management knows
  bool pid_fails = false;
  std::string idprom_pid = "FAN-TRAY-PID";
  uint16_t idprom_hw_version = 0x0102;
  bool hw_version_fails = false;
  std::vector<uint32_t> fpd_upgrade_drivers = {1, 2, 14};
  std::map<uint32_t, fpd_data*> hal_fpds;          // by slot
  std::vector<uint32_t> retry_fpd_codes;           // get-info codes asking for a retry
  std::map<uint32_t, uint32_t> driver_by_slot;     // default 17
  uint32_t fpd_timeout = 1800;
  envmon_err_t hal_fpd_image_set_rc = 0;
  fpd_data* hal_fpd_image_set_record = nullptr;
  uint32_t hal_fpd_image_set_driver = 2;
  bool power_trays_registered = false;

  // Inventory registration results.
  int32_t upd_eid_state_rc = 0;
  int32_t led_status_rc = 0;
  envmon_err_t volt_update_rc = 0;
  int32_t report_fpga_rc = 0;

  // Every call, in order ("envmon_ceb_fsa_sched_event(9)").
  std::vector<std::string> calls;
  // Run after a call of that name was logged.
  std::map<std::string, std::function<void()>> on_call;
};

AcqStandin& acq_standin();
void acq_standin_reset();
// Calls whose text starts with `prefix`, in order.
std::vector<std::string> acq_calls(const std::string& prefix);
bool acq_called(const std::string& call);
void acq_clear_calls();
// Logs a call (for stand-ins defined in a test file).
void acq_log(const char* fmt, ...) __attribute__((format(printf, 1, 2)));

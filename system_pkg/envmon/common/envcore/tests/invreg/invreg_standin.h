// Recording stand-ins of what inventory registration calls in its neighbours
// (hardware abstraction, PEM library, platform-driver, failure-log and FPD
// clients, power management, the card-event state machine, configuration and
// card-manager start): each records "name(args)" and answers from settable
// values. Linked before the core so that they also stand in for what the
// core itself defines. Test-only.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "envmon.h"

namespace invtest {

struct Answers {
  uint32_t max_fantray = 3;
  uint32_t max_powertray = 0;
  uint32_t max_virtual_powertray = 2;
  uint32_t max_rp = 2;
  uint32_t max_fc = 0;
  uint32_t max_lc = 16;
  uint32_t max_swc = 0;
  uint32_t max_inv_slots = 64;
  int fc_remote = 0;
  int lc_remote = 0;
  int sw_remote = 0;
  const char* platform_name = "tavrin";
  bool platform_skip = false;
  bool mpa_supported_on_rp = false;
  bool no_pec = false;
  // Fan trays below this index are primary (polled through driver 1).
  uint32_t primary_fantrays = 3;
  // PD types the hardware abstraction calls power trays, and their PI types.
  std::map<uint32_t, uint32_t> powertray_types;
  uint32_t powertray_inv_hw_type = 0x31;
  // PID read from an IDPROM: result and text.
  int idprom_pid_rc = 0;
  std::string idprom_pid = "PT-PID";
  // Sensors the hardware abstraction hides (by name), with the hide value.
  std::map<std::string, uint8_t> hidden;
  // PEM slots: slot -> (tray, pem).
  std::map<uint32_t, std::pair<uint32_t, uint32_t>> pem_slots;
  // FPD records the hardware abstraction answers by slot.
  std::map<uint32_t, fpd_data*> fpd_by_slot;
  // Requests the hardware abstraction adds to the chassis-level count.
  uint32_t hal_chassis_requests = 0;
  int32_t fpd_init_rc = 0;
  envmon_err_t mgbl_init_rc = 0;
  envmon_err_t cm_init_rc = 0;
  bool all_pt_containers_done = false;
  // Card names of hardware types.
  std::map<uint32_t, std::string> card_names;
  // MPA slots: slot = start + 3 * (card - 1) + bay.
  uint32_t mpa_start = 512;
  uint32_t mpa_end = 559;
};

Answers& answers();
void reset();

const std::vector<std::string>& calls();
// The calls whose text starts with `prefix`, in order.
std::vector<std::string> calls_of(const std::string& prefix);
size_t count_of(const std::string& prefix);
void clear_calls();

}  // namespace invtest

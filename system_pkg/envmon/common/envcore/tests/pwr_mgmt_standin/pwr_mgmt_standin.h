// Recording stand-ins of what power management calls in its neighbours: the
// hardware abstraction's power hooks, inventory registration's value and
// allocation pushes, the failure-log mark, the platform-local service, and
// the core's service notifications and card-event posts. Test-only: each
// real library replaces its part as it lands.
//
// The same source is built into the core's shared test stand-in (so that every
// test program of the core links) and into each power-management test
// program, whose exported copy then answers for the whole process.
#pragma once

#include <stdint.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "envmon.h"

// The hardware the platform names for a budget entity type.
struct PwrStandinHw {
  uint8_t subtype;
  int32_t pi_type;
  int32_t pd_type;
  std::string pid;
};

struct PwrMgmtStandin {
  // Answers of the hardware abstraction.
  uint8_t lc_card_subtype = 13;
  uint32_t max_pri_fantray = 2;
  bool pwr_mgmt_ready = true;        // envmon_hal_is_pwr_mgmt_ready
  int32_t pwr_mgmt_init = 0;         // envmon_hal_pwr_mgmt_init
  bool sys_pwr_filled = true;        // envmon_hal_check_n_update_system_pwr_data
  envmon_sys_pwr_data sys_pwr{};     // the figures it fills (the three of power
                                     // management are kept as given)
  std::map<uint32_t, PwrStandinHw> hw_types;  // envmon_hal_pwr_mgmt_get_hw_type
  envmon_err_t shut_result = 0;      // envmon_hal_fm_process_card_shut_on_low_budget
  bool trap = false;                 // envmon_hal_is_trap_needed
  // Run by envmon_hal_pwr_mgmt_pbudget_data_init: the platform's card budgets.
  std::function<void()> card_budgets;
  // Platform-local service.
  bool sim_platform = false;

  // Every call, in order ("shut(3, 1)", "notify_fru(<eid>, 100, 4, 0)", ...).
  std::vector<std::string> calls;
};

PwrMgmtStandin& pwr_mgmt_standin();
// Back to the defaults with an empty log.
void pwr_mgmt_standin_reset();
// The calls whose text starts with one of the prefixes, in order.
std::vector<std::string> pwr_mgmt_calls(const std::vector<std::string>& prefixes);
// Text of an entity id as the log writes it.
std::string pwr_eid_text(const pelm_eid& eid);

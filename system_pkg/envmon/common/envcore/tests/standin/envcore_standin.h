// Stand-ins for what the core calls in its neighbours that are not built yet
// (hardware abstraction limits and hooks, fault manager, driver, inventory,
// failure-log and power-management clients, the core's own control flow),
// with answers a test sets and a log of the calls made. Test-only: the real
// libraries replace each of these as they land.
#pragma once

#include <stdint.h>

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "envmon.h"

struct EnvcoreStandin {
  // Platform limits (the defaults are those of a small tavrin chassis).
  uint32_t max_fantray = 3;
  uint32_t max_powertray = 0;
  uint32_t max_virtual_powertray = 2;
  uint32_t max_rp = 2;
  uint32_t max_fc = 6;
  uint32_t max_lc = 16;
  uint32_t max_swc = 0;
  uint32_t max_xc = 2;
  uint32_t max_mpa = 3;
  uint32_t max_inv_slots = 64;
  uint32_t max_idprom_size = 256;
  uint32_t max_clients = 10;
  uint32_t chassis_sn_length = 12;
  int fc_remote = 0;
  int lc_remote = 0;
  int sw_remote = 0;
  uint32_t mpa_start = 512;
  uint32_t mpa_end = 559;
  std::string platform_name = "standin";
  std::map<uint32_t, std::string> card_names;
  // Sensor names containing one of these are hidden by the name filter.
  std::vector<std::string> hidden_names;
  // Sensor lists and misc-state words of slots the core does not own.
  std::map<std::pair<int32_t, uint32_t>, envmon_sensor_list*> slot_lists;
  std::map<int32_t, uint32_t*> misc_states;
  // When not negative, the customisation hook sets this delta.
  int32_t customize_delta = -1;

  // Results of the start-up calls.
  envmon_err_t fm_init = 0;
  envmon_err_t pm_init = 0;
  envmon_err_t platform_driver_init = 0;
  envmon_err_t invreg_nm_init = 0;
  envmon_err_t platform_handle_init = 0;
  envmon_err_t invreg_rm_init = 0;
  envmon_err_t capi_inv_init = 0;
  envmon_err_t server_init = 0;
  envmon_err_t obfl_rm_init = 0;
  envmon_err_t ceb_start = 0;
  envmon_err_t hal_ship_stats_init = 0;

  // Every call, in order, with its arguments ("envmon_fm_init(3)").
  std::vector<std::string> calls;
  // Hardware events reported to inventory: (slot, scope, state).
  std::vector<std::vector<uint32_t>> hw_events;
};

EnvcoreStandin& envcore_standin();
// Back to the defaults, with an empty call log.
void envcore_standin_reset();
// True when `call` is in the log.
bool envcore_standin_called(const std::string& call);

// Small rack and node records for tests, built from the hardware
// abstraction's answers of envcore_fakes and released with everything they
// own. Installs them in envmon_rm and envmon_nm for its lifetime.
#pragma once

#include <cstdint>
#include <vector>

#include "envmon.h"

namespace fakes {

class records {
 public:
  records();
  ~records();
  records(const records&) = delete;
  records& operator=(const records&) = delete;

  envmon_rm_t& rm() { return *rm_; }
  envmon_nm_t& nm() { return *nm_; }

  // Fills `list` with sensors named "<prefix>0".., each with the given state
  // word and an entity id in `slot`; the list's own word is `reg_state`.
  static void fill(envmon_sensor_list& list, const char* prefix,
                   const std::vector<uint32_t>& states, uint32_t reg_state, uint32_t slot = 0);

  // Power-management data with route-processor (slots 0, 1, ...) and fan-tray
  // budget records, and power trays.
  envmon_pwr_mgmt_data_t& pwr_mgmt(uint32_t power_trays = 0);

 private:
  envmon_rm_t* rm_;
  envmon_nm_t* nm_;
  envmon_pwr_mgmt_data_t* pm_ = nullptr;
};

// Frees a list's sensors (their levels too) and empties it.
void free_list(envmon_sensor_list& list);

}  // namespace fakes

// What the hardware abstraction's tests share: a PEM library that records the
// calls handed over to it, the host's data symbols, and records of a small
// chassis to run against.
#pragma once

#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "envmon_core.h"
#include "envmon_pem.h"
#include "envmon_pwr_mgmt.h"

namespace haltest {

// The PEM library as the hooks see it: every call is logged as
// "name(arguments)" and answered from here.
struct PemLibrary {
  std::vector<std::string> calls;
  std::set<int32_t> pem_slots;        // slots envmon_is_pem_slot answers 1 for
  int64_t answer = 0;                 // result of the forwarded functions that have one
  bool ready = false;                 // envmon_pem_is_pwr_mgmt_ready
  bool system_data_filled = true;     // envmon_pem_check_n_update_system_pwr_data
  uint32_t misc_state = 0;            // the word envmon_get_pem_misc_state points to
  fpd_data* fpd = nullptr;            // envmon_pem_get_fpd_data
};
PemLibrary& pem();
void reset_pem();
// "0x..." text of a pointer, as the call log writes it.
std::string ptr(const void* p);

// Rack and node records of a chassis of the given type with three fan trays in
// slots 41, 42, 43, and power-management data; removed again by the destructor.
class Chassis {
 public:
  explicit Chassis(uint32_t chassis_type);
  ~Chassis();
  Chassis(const Chassis&) = delete;
  Chassis& operator=(const Chassis&) = delete;

  envmon_rm_t rm{};
  envmon_nm_t nm{};
  envmon_pwr_mgmt_data_t pm{};
  fantray_cb fantrays[3]{};
  uint32_t pwrm_stats[5 * 12]{};
};

// Two virtual power trays with the given PEMs each, in pd_power_tray_info.
class PowerTrays {
 public:
  PowerTrays(uint8_t pems_tray0, uint8_t pems_tray1);
  ~PowerTrays();
  PowerTrays(const PowerTrays&) = delete;
  PowerTrays& operator=(const PowerTrays&) = delete;

  pem_record& at(uint8_t tray, uint8_t pem) { return pems_[tray][pem]; }
  pd_power_tray_info_t trays[2]{};

 private:
  std::vector<pem_record> pems_[2];
};

}  // namespace haltest

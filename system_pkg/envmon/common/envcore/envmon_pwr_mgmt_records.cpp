// The power-management record: its allocation, the power-status names and
// their inventory form, and the small accessors every power-management
// module uses.
#include <stdlib.h>

#include "envmon_pwr_mgmt_private.h"

namespace {

constexpr char kAllocated[] = "%s: memory allocated for envmon_pwr_mgmt_data\n";
constexpr char kNoTraysErr[] = "%s(): no power trays, also 0 virtual power trays \n";
constexpr char kNoTraysLog[] = "%s: no power trays, also 0 virtual power trays\n";
constexpr char kCallocData[] = "%s(): calloc Failure in PWR MGMT data init\n";
constexpr char kCallocRp[] = "%s(): calloc Failure in PWR MGMT data init RP budget\n";
constexpr char kCallocFt[] = "%s(): calloc Failure in PWR MGMT data init Fan-Tray budget\n";
constexpr char kCallocCards[] = "%s(): calloc Failure in PWR MGMT data init cards budget\n";
constexpr char kCallocTrays[] = "%s(): calloc Failure in PWR MGMT data init Power-Tray budget\n";
constexpr char kCallocIdprom[] =
    "%s(): calloc Failure in PWR MGMT data init Power-Tray EEPROM data\n";

constexpr const char* kStatusNames[] = {
    "INVALID",       "ON",           "TEMP_RESERVED",      "OFF_TEMP_RESERVED",
    "PRE_RESERVED",  "OFF",          "OFF_RESERVED",       "OFF_REQUESTED",
    "STBY_ZONE_RESERVED", "PWR_RESERVED_GOING_DOWN", "PWR_ON_GOING_DOWN",
};

// An allocation failure at start-up ends the process.
[[noreturn]] void fail(const char* text) {
  tlg_internal(err_tlg_cmn_hdl, text, "envmon_init_pwr_mgmt_data");
  exit(-1);
}

void* alloc_or_fail(size_t n, size_t size, const char* text) {
  void* p = envmon_calloc(n ? n : 1, size);
  if (!p) fail(text);
  return p;
}

}  // namespace

namespace envmon_pm {

bool fru_pwr_alloc_published = false;

bool holds_budget(int32_t status) {
  switch (status) {
    case ENVMON_PWR_ON:
    case ENVMON_PWR_TEMP_RESERVED:
    case ENVMON_PWR_OFF_TEMP_RESERVED:
    case ENVMON_PWR_PRE_RESERVED:
    case ENVMON_PWR_OFF_RESERVED:
    case ENVMON_PWR_OFF_REQUESTED:
    case ENVMON_PWR_RESERVED_GOING_DOWN:
    case ENVMON_PWR_ON_GOING_DOWN:
      return true;
    default:
      return false;
  }
}

const char* status_name(int32_t status) {
  if (status < 0 || status > ENVMON_PWR_ON_GOING_DOWN) return kStatusNames[0];
  return kStatusNames[status];
}

uint32_t card_records() {
  return envmon_hal_get_max_fc() + envmon_hal_get_max_lc() + envmon_hal_get_max_swc() +
         envmon_hal_get_max_xc();
}

bool valid_card_index(uint32_t index) {
  envmon_pwr_mgmt_data_t* p = pm();
  return p && p->pbudget_list && index < card_records();
}

bool group_present(uint32_t group) {
  envmon_pwr_mgmt_data_t* p = pm();
  return p && group < ENVMON_CARD_CLASS_COUNT && p->start_index[group] != ENVMON_PWR_NO_INDEX &&
         p->last_index[group] != ENVMON_PWR_NO_INDEX;
}

void oper_add(uint32_t counter, int32_t delta) {
  envmon_stats_bump(envmon_pwrm_oper_stats_hdl, counter, static_cast<uint32_t>(delta));
}

void card_counter_add(uint32_t index, int32_t delta) {
  if (index >= envmon_hal_get_max_lc() + envmon_hal_get_max_fc()) return;
  oper_add(kCntCardFirst + index, delta);
}

void err_bump(uint32_t counter) { envmon_stats_bump(envmon_pwrm_err_stats_hdl, counter, 1); }

void counters_move(uint32_t index, int32_t from, int32_t to) {
  oper_add(kCntTotalPreq, to - from);
  card_counter_add(index, to - from);
}

bool cfg_received() { return envmon_rm && envmon_rm->pwr_cfg.pwr_mgmt_cfg_rcvd == 1; }

bool extended_mode() { return envmon_rm && envmon_rm->pwr_cfg.extended_mode_operation != 0; }

}  // namespace envmon_pm

using namespace envmon_pm;

extern "C" {

envmon_pwr_mgmt_data_t* envmon_pwr_mgmt_data;

envmon_err_t envmon_init_pwr_mgmt_data(void) {
  static constexpr char kFunc[] = "envmon_init_pwr_mgmt_data";
  auto* p = static_cast<envmon_pwr_mgmt_data_t*>(
      alloc_or_fail(1, sizeof(envmon_pwr_mgmt_data_t), kCallocData));
  envmon_debug_log(kAllocated, kFunc);

  p->rp_pbudget = static_cast<envmon_entity_pbudget_info_t*>(
      alloc_or_fail(envmon_hal_get_max_rp(), sizeof(envmon_entity_pbudget_info_t), kCallocRp));
  p->fantray_pbudget = static_cast<envmon_entity_pbudget_info_t*>(alloc_or_fail(
      envmon_hal_get_max_fantray(), sizeof(envmon_entity_pbudget_info_t), kCallocFt));
  p->pbudget_list = static_cast<envmon_entity_pbudget_info_t*>(
      alloc_or_fail(card_records(), sizeof(envmon_entity_pbudget_info_t), kCallocCards));

  const uint32_t physical = envmon_hal_get_max_powertray();
  const uint32_t trays = physical != 0 ? physical : envmon_hal_get_max_virtual_powertray();
  if (trays > 0) {
    p->envmon_pwr_tray_data = static_cast<envmon_pwr_tray_budget*>(
        alloc_or_fail(trays, sizeof(envmon_pwr_tray_budget), kCallocTrays));
    const uint32_t idprom_size = envmon_hal_get_max_idprom_size();
    for (uint32_t i = 0; i < physical; ++i) {
      p->envmon_pwr_tray_data[i].idprom =
          static_cast<uint8_t*>(alloc_or_fail(idprom_size, 1, kCallocIdprom));
      p->envmon_pwr_tray_data[i].idprom_len = idprom_size;
    }
  } else {
    tlg_internal(err_tlg_cmn_hdl, kNoTraysErr, kFunc);
    envmon_debug_log(kNoTraysLog, kFunc);
  }
  envmon_pwr_mgmt_data = p;
  return ENVMON_OK;
}

int32_t envmon_convert_to_inv_pwr_stat(int32_t status) {
  switch (status) {
    case ENVMON_PWR_ON:
    case ENVMON_PWR_ON_GOING_DOWN:
      return 2;
    case ENVMON_PWR_OFF:
    case ENVMON_PWR_OFF_RESERVED:
      return 3;
    case ENVMON_PWR_TEMP_RESERVED:
    case ENVMON_PWR_OFF_TEMP_RESERVED:
    case ENVMON_PWR_PRE_RESERVED:
    case ENVMON_PWR_OFF_REQUESTED:
    case ENVMON_PWR_STBY_ZONE_RESERVED:
    case ENVMON_PWR_RESERVED_GOING_DOWN:
      return 4;
    default:
      return 1;
  }
}

const char* envmon_pwr_status_str(int32_t status) { return status_name(status); }

const char* envmon_rm_pwr_kind_str(int32_t entity_type) {
  switch (entity_type) {
    case 1: return "RP/SC";
    case 2: return "FANTRAY";
    case 3: return "FC";
    case 4: return "LC";
    case 5: return "SW";
    case 6: return "POWERFILTER";
    case 7: return "ECU";
    case 8: return "ECU2";
    case 9: return "XC";
    default: return "INVALID";
  }
}

const char* envmon_pwr_card_group_str(uint32_t group) {
  switch (group) {
    case ENVMON_CARD_CLASS_LC: return "LC";
    case ENVMON_CARD_CLASS_FC: return "FC";
    case ENVMON_CARD_CLASS_SWC: return "SW";
    case ENVMON_CARD_CLASS_XC: return "XC";
    default: return "INVALID";
  }
}

bool is_extended_mode_on(void) { return extended_mode(); }

uint16_t get_lc_max_budget(uint8_t card_index) {
  if (!valid_card_index(card_index)) return 0;
  const envmon_entity_pbudget_info_t& c = pm()->pbudget_list[card_index];
  return is_extended_mode_on() ? c.ext_budget : c.max_budget;
}

bool envmon_pwr_mgmt_check_valid_indexes(uint8_t first, int8_t last) {
  return !(first == ENVMON_PWR_NO_INDEX && last == -1);
}

envmon_err_t envmon_pwr_mgmt_shutdown_entities(void) { return ENVMON_OK; }

}  // extern "C"

// Tavrin's power figures: usable and protection power under N+n redundancy,
// available and drawn current, the capacity of dual- and triple-feed power
// modules from the state of their feeds, and the hardware that carries the
// budget of each entity type.
#include <cstdio>

#include "envmon_core.h"
#include "envmon_hal.h"
#include "envmon_pem.h"
#include "envmon_pwr_mgmt.h"
#include "envmon_stats.h"
#include "envhal_private.h"
#include "envhal_tavrin_units.h"

using namespace envhal::tavrin;

namespace {

// PEM hardware types.
constexpr uint32_t kPem3kAc = 0xab010000;
constexpr uint32_t kPem3kAcB = 0xab010001;
constexpr uint32_t kPem3kDc = 0xab010010;
constexpr uint32_t kPem3kUv = 0xab010020;
constexpr uint32_t kPem3k2Hv = 0xab010030;
constexpr uint32_t kPem4k4Dc = 0xab010040;
constexpr uint32_t kPem1k6Ac = 0xab010308;
constexpr uint32_t kPem1k6Dc = 0xab010309;

// PEM alarms (bit n of `alarms` while alarm n is raised).
constexpr uint32_t kAlarmOutputDisabled = 17;
constexpr uint32_t kAlarmVinAOutOfRange = 24;
constexpr uint32_t kAlarmVinBOutOfRange = 25;
constexpr uint32_t kAlarmVinCOutOfRange = 30;
constexpr uint32_t kAlarmNoInputA = 32;
constexpr uint32_t kAlarmNoInputB = 33;
constexpr uint32_t kAlarmNoInputC = 34;

// Redundancy modes of the power budget.
constexpr int32_t kRedByTrays = 0;
constexpr int32_t kRedNPlusN = 1;

// Capacities, W.
constexpr uint32_t kCap4400 = 4400;
constexpr uint32_t kCap3150 = 3150;
constexpr uint32_t kCap3000 = 3000;
constexpr uint32_t kCap2200 = 2200;
constexpr uint32_t kCap1500 = 1500;
// What a 4400 W module short of the redundancy count leaves unprotected.
constexpr uint32_t kShortfallPerMissing4400 = 1250;

// Counter "TotalCapacity" of the power-management block.
constexpr uint32_t kTotalCapacityCounter = 8;

// Which case of the N+n computation ran last (1, 3, 4 or 5).
uint8_t power_math_curr = 0;

bool raised(const pem_record& p, uint32_t alarm) { return (p.alarms >> alarm) & 1u; }
bool feed_a_lost(const pem_record& p) { return raised(p, kAlarmVinAOutOfRange) || raised(p, kAlarmNoInputA); }
bool feed_b_lost(const pem_record& p) { return raised(p, kAlarmVinBOutOfRange) || raised(p, kAlarmNoInputB); }
bool feed_c_lost(const pem_record& p) { return raised(p, kAlarmVinCOutOfRange) || raised(p, kAlarmNoInputC); }

// Usable: OK and not in an FPD upgrade.
bool usable_status(uint32_t status) { return (status & ENVMON_PEM_OK) && !(status & ENVMON_PEM_IN_FPD_UPG); }

uint32_t tray_count() {
  if (envmon_hal_get_max_powertray() != 0) return envmon_rm != nullptr ? envmon_rm->pwr_tray_count : 0;
  return envmon_hal_get_max_virtual_powertray();
}

template <typename Fn>
void for_each_pem(Fn&& fn) {
  pd_power_tray_info_t* all = envhal::pem_trays();
  if (all == nullptr) return;
  const uint32_t trays = tray_count();
  for (uint32_t t = 0; t < trays; ++t) {
    pd_power_tray_info_t& tray = all[t];
    if (tray.pems == nullptr) continue;
    for (uint32_t p = 0; p < tray.num_pems; ++p) fn(tray.pems[p]);
  }
}

envmon_pwr_mgmt_data_t* pwr_data() { return envmon_rm != nullptr ? envmon_rm->pwr_mgmt_data : nullptr; }

// The PEM record of (tray, pem), or null when there is none.
pem_record* pem_at(uint8_t tray, uint8_t pem) {
  pd_power_tray_info_t* all = envhal::pem_trays();
  if (all == nullptr || tray >= tray_count()) return nullptr;
  pd_power_tray_info_t& t = all[tray];
  if (t.pems == nullptr || pem >= t.num_pems) return nullptr;
  return &t.pems[pem];
}

void recompute_power_for_pem_redundancy() {
  pd_power_supplies_data_t* supplies = envhal::pem_supplies();
  if (supplies == nullptr) return;
  bool has4400 = false, has3150 = false;
  for_each_pem([&](const pem_record& p) {
    if (!usable_status(p.status)) return;
    has4400 |= p.capacity == kCap4400;
    has3150 |= p.capacity == kCap3150;
  });
  supplies->power_for_pem_redundancy = has4400 ? kCap4400 : has3150 ? kCap3150 : kCap3000;
  tlg_internal(pwrm_tlg_lib_hdl, "envmon_power_for_pem_redundancy %d\n", supplies->power_for_pem_redundancy);
}

void add_to_capacities(envmon_pwr_mgmt_data_t* pm, pd_power_tray_info_t& tray, int64_t delta) {
  pm->total_capacity = static_cast<uint32_t>(pm->total_capacity + delta);
  tray.tray_capacity = static_cast<uint32_t>(tray.tray_capacity + delta);
  envmon_stats_bump(envmon_pwrm_oper_stats_hdl, kTotalCapacityCounter, static_cast<uint32_t>(delta));
}

// Takes the capacity last counted for a PEM out of the totals.
void remove_counted_capacity(envmon_pwr_mgmt_data_t* pm, pd_power_tray_info_t& tray, pem_record& p, uint8_t t,
                             uint8_t i) {
  add_to_capacities(pm, tray, -static_cast<int64_t>(p.pre_capacity));
  tlg_internal(pwrm_tlg_lib_hdl,
               "Capacity %d removed for pem(%d, %d), new total capacity %d, new tray capacity %d\n",
               p.pre_capacity, t, i, pm->total_capacity, tray.tray_capacity);
  p.capacity = 0;
  p.pre_capacity = 0;
}

// Counts a usable PEM's new capacity in, in place of what was counted before.
void count_capacity(envmon_pwr_mgmt_data_t* pm, pd_power_tray_info_t& tray, pem_record& p, uint8_t t, uint8_t i,
                    bool was_usable, uint32_t capacity) {
  if (!was_usable && p.pre_capacity != 0) {
    p.pre_capacity = 0;
    tlg_internal(pwrm_tlg_lib_hdl, "correct pre_capacity to 0 for pem(%d, %d)\n", t, i);
  }
  p.capacity = capacity;
  if (p.capacity == p.pre_capacity) return;
  tlg_internal(pwrm_tlg_lib_hdl, "Capacity for pem(%d, %d) Pre %d, current %d\n", t, i, p.pre_capacity, p.capacity);
  add_to_capacities(pm, tray, static_cast<int64_t>(p.capacity) - p.pre_capacity);
  tlg_internal(pwrm_tlg_lib_hdl, "new total capacity %d, new tray %d capacity %d\n", pm->total_capacity, t,
               tray.tray_capacity);
  p.pre_capacity = p.capacity;
}

struct HwTypeRow {
  uint32_t pd_type;
  const char* pid;
};

HwTypeRow fantray_for_chassis(uint32_t chassis) {
  switch (chassis) {
    case kChassis16Slot: return {0xab040022, kPidFan16V2};
    case kChassis4Slot: return {0xab040042, "TVR-FAN-4S-V3"};
    case kChassis8Slot: return {0xab040002, kPidFan8V2};
    default: return {0xab040206, kPidFanGen};
  }
}

HwTypeRow fabric_for_chassis(uint32_t chassis) {
  switch (chassis) {
    case kChassis16Slot: return {27004, "TVR-FC-16S"};
    case kChassis4Slot: return {27002, "TVR-FC-4S"};
    default: return {27003, "TVR-FC-8S"};
  }
}

const char* rp_pid_for_card(uint32_t card_type) {
  switch (card_type) {
    case 27024: return "TVR-RP-A";
    case 27059: return "TVR-RP-B";
    case 21000: return "TVR-RP-C";
    default: return "TVR-RP";
  }
}

}  // namespace

extern "C" {

void envmon_hal_pwr_mgmt_pbudget_data_init(void) {
  const uint32_t chassis = envmon_rm != nullptr ? envmon_rm->chassis_type : 0;
  if (chassis >= kChassis8Slot && chassis <= kChassis4Slot) {
    envmon_pem_lcc_pwr_mgmt_pbudget_data_init();
    return;
  }
  if (envmon_pwr_mgmt_data_t* pm = pwr_data()) pm->pbudget_last_index = 0;
  tlg_internal(err_tlg_lib_hdl, "%s: invalid chassis type %d \n", __func__, chassis);
}

uint32_t envmon_hal_get_num_pems_for_red(void) {
  const uint32_t chassis = envmon_rm != nullptr ? envmon_rm->chassis_type : 0;
  return chassis == kChassis16Slot ? 1 : 255;
}

bool envmon_hal_check_n_update_system_pwr_data(envmon_sys_pwr_data* data, uint8_t force) {
  envmon_pwr_mgmt_data_t* pm = pwr_data();
  if (data == nullptr || pm == nullptr) return false;
  if (pm->red_mode == kRedByTrays) return envmon_pem_check_n_update_system_pwr_data(data, force);
  const pd_power_supplies_data_t* supplies = envhal::pem_supplies();
  if (supplies == nullptr) return false;

  const uint32_t total = pm->total_capacity;
  const uint32_t allocated = static_cast<uint32_t>(pm->total_power_budget);
  const uint32_t per_pem = supplies->power_for_pem_redundancy;
  const uint32_t n = supplies->redundancy_num_pems;

  if (pm->red_mode != kRedNPlusN || allocated >= total) {
    data->usable_pwr = static_cast<int32_t>(total);
    data->prot_pwr = 0;
  } else {
    uint32_t x = 0, y = 0, z = 0;  // usable PEMs of 4400, 3150 and 3000 W
    for_each_pem([&](const pem_record& p) {
      if (!usable_status(p.status)) return;
      x += p.capacity == kCap4400;
      y += p.capacity == kCap3150;
      z += p.capacity == kCap3000;
    });
    uint8_t math_case = 0;
    uint32_t usable = 0;
    uint32_t prot = 0;
    if (total - allocated >= per_pem * n) {
      math_case = 1;
      prot = (x == 0 || x >= n) ? per_pem * n : per_pem * n - kShortfallPerMissing4400 * (n - x);
      usable = total - prot;
    } else {
      // A redundancy step of 0 W cannot be divided by; then no step fits.
      uint32_t k = per_pem != 0 ? allocated / per_pem : 0;
      const uint32_t u = z / 2 + y;
      usable = (z % 2 == 1) ? kCap3000 : 0;
      if (x == 0) {
        math_case = 3;
        usable += k * per_pem;
        if (usable < allocated) usable += per_pem;
      } else {
        if (u > k) {
          math_case = 4;
          usable += k * kCap3150;
          if (usable < allocated) {
            usable += kCap3150;
            ++k;
          }
        } else {
          math_case = 5;
          usable += u * kCap3150 + (k - u) * kCap4400;
          if (usable < allocated) {
            usable += kCap4400;
            ++k;
          }
        }
        if (usable < allocated) usable += u > k ? kCap3150 : kCap4400;
      }
      if (usable > total) usable = total;
      prot = total - usable;
    }
    data->usable_pwr = static_cast<int32_t>(usable);
    data->prot_pwr = static_cast<int32_t>(prot);
    if (math_case != power_math_curr) {
      const uint8_t prev = power_math_curr;
      power_math_curr = math_case;
      tlg_internal(pwrm_tlg_lib_hdl, "power_math_curr:%d power_math_prev:%d\n", power_math_curr, prev);
    }
  }

  for_each_pem([&](const pem_record& p) {
    const bool drawing = p.current != 0 && !raised(p, kAlarmOutputDisabled);
    if (!drawing && !usable_status(p.status)) return;
    switch (p.pem_raw_data.pem_type) {
      case kPem3kUv:
      case kPem3k2Hv:
        data->total_available_current += static_cast<int32_t>(((p.hw_events >> 20) & 0x7ffu) * 100);
        break;
      case kPem3kAc:
      case kPem3kAcB:
      case kPem1k6Ac:
      case kPem1k6Dc:
        data->total_available_current += 16000;
        break;
      case kPem3kDc:
        data->total_available_current += (feed_a_lost(p) ? 0 : 45000) + (feed_b_lost(p) ? 0 : 45000);
        break;
      case kPem4k4Dc:
        data->total_available_current +=
            (feed_a_lost(p) ? 0 : 60000) + (feed_b_lost(p) ? 0 : 60000) + (feed_c_lost(p) ? 0 : 60000);
        break;
      default:
        break;
    }
    data->total_drawn_current += static_cast<int32_t>(p.current);
  });
  return true;
}

void envmon_hal_handle_dual_feed_capacity(uint8_t tray, uint8_t pem, uint32_t pem_type, uint8_t prev_status) {
  envmon_pwr_mgmt_data_t* pm = pwr_data();
  pem_record* p = pem_at(tray, pem);
  if (pm == nullptr || p == nullptr) return;
  pd_power_tray_info_t& t = envhal::pem_trays()[tray];
  const bool was_usable = usable_status(prev_status);
  const bool is_usable = usable_status(p->status);
  if (was_usable && !is_usable) {
    remove_counted_capacity(pm, t, *p, tray, pem);
  } else if (is_usable) {
    uint32_t capacity = kCap3000;
    if (pem_type == kPem3k2Hv) {
      capacity = kCap3150;  // whatever its feeds
    } else if (feed_a_lost(*p) && feed_b_lost(*p)) {
      capacity = 0;
    } else if (feed_a_lost(*p) || feed_b_lost(*p)) {
      capacity = kCap1500;
    }
    count_capacity(pm, t, *p, tray, pem, was_usable, capacity);
  }
  recompute_power_for_pem_redundancy();
}

void envmon_hal_handle_triple_feed_capacity(uint8_t tray, uint8_t pem, uint32_t /*pem_type*/, uint8_t prev_status) {
  envmon_pwr_mgmt_data_t* pm = pwr_data();
  pem_record* p = pem_at(tray, pem);
  if (pm == nullptr || p == nullptr) return;
  pd_power_tray_info_t& t = envhal::pem_trays()[tray];
  const bool was_usable = usable_status(prev_status);
  const bool is_usable = usable_status(p->status);
  // A module entering an FPD upgrade is counted out below; forgetting what was
  // counted before that would leave it in the totals and count it twice once
  // the upgrade ends, so only a module that was not counted is reset here.
  if (p->status == (ENVMON_PEM_OK | ENVMON_PEM_IN_FPD_UPG) && !was_usable) {
    p->capacity = 0;
    p->pre_capacity = 0;
  }
  if (was_usable && !is_usable) {
    remove_counted_capacity(pm, t, *p, tray, pem);
  } else if (is_usable) {
    const int lost = feed_a_lost(*p) + feed_b_lost(*p) + feed_c_lost(*p);
    const uint32_t capacity = lost <= 1 ? kCap4400 : lost == 2 ? kCap2200 : 0;
    count_capacity(pm, t, *p, tray, pem, was_usable, capacity);
  }
  recompute_power_for_pem_redundancy();
}

bool envmon_hal_pwr_mgmt_get_hw_type(uint32_t entity_type, uint8_t* subtype, int32_t* pi_type, int32_t* pd_type,
                                     char* pid, int32_t* hw_major, int32_t* hw_minor) {
  const uint32_t chassis = envmon_rm != nullptr ? envmon_rm->chassis_type : 0;
  uint8_t sub = 0;
  int32_t pi = 0;
  HwTypeRow row{};
  switch (entity_type) {
    case 1: {  // route processor or system controller: this card
      const uint32_t card = envmon_nm != nullptr ? envmon_nm->card_type : 0;
      sub = 27;
      pi = 3;
      row = {card, rp_pid_for_card(card)};
      break;
    }
    case 2:
      sub = 6;
      pi = 7;
      row = fantray_for_chassis(chassis);
      break;
    case 3:
      sub = 7;
      pi = 6;
      row = fabric_for_chassis(chassis);
      break;
    case 4:
      sub = 13;
      pi = 4;
      row = {27000, "TVR-LC"};
      break;
    case 9:
      sub = 60;
      pi = 16;
      row = {21005, "TVR-XC"};
      break;
    default:
      return false;
  }
  if (subtype != nullptr) *subtype = sub;
  if (pi_type != nullptr) *pi_type = pi;
  if (pd_type != nullptr) *pd_type = static_cast<int32_t>(row.pd_type);
  if (pid != nullptr) std::snprintf(pid, 16, "%s", row.pid);
  if (hw_major != nullptr) *hw_major = 0;
  if (hw_minor != nullptr) *hw_minor = 1;
  return true;
}

}  // extern "C"

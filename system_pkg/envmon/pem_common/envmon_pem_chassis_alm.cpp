// Chassis power-supply alarms: the six chassis-level alarms that summarise the
// power modules against the budget, each reported once per change.
#include <unistd.h>

#include <cstdio>

#include "envmon_pem_private.h"
#include "simpaths.h"
#include "zul_errmsg.h"

namespace {

constexpr uint32_t kMaxId = 6;
constexpr uint32_t kActionShutChassis = 1;
constexpr char kHalverstrandMarker[] = "/tmp/wyl_chassis_type_halverstrand";
constexpr uint32_t kDowngradeCapacity = 2400;

struct ChassisAlarm {
  const char* name;
  uint32_t tag;
  uint16_t severity;
  uint32_t action;
  const char* raise_text;
  const char* clear_text;
};
const ChassisAlarm kAlarms[kMaxId + 1] = {
    {"NO ALARM", 0, 0, 0, nullptr, nullptr},
    {"POWER_TRAY_LVL_REDUNDANCY_LOST", 21, 4, 0, nullptr, nullptr},
    {"PEM_LVL_REDUNDANCY_LOST", 22, 4, 0, nullptr, nullptr},
    {"ALL_PEMS_LOW_VIN", 5, 5, 0,
     "Low input voltage is detected in all operational power modules < 40.75V.",
     "Condition cleared: Low input voltage is detected in all power modules < 40.75V."},
    {"PEM_LOW_VIN_CHASSIS_SHUTDOWN", 102, 5, kActionShutChassis,
     "CHASSIS SHUTDOWN due to all power modules in failed or input voltage < 40V condition.", nullptr},
    {"LOW_POWER_BUDGET_CHASSIS_SHUTDOWN", 6, 5, kActionShutChassis, nullptr, nullptr},
    {"POWER_BUDGET_OVERUSED", 40, 3, 0, nullptr, nullptr},
};

const char* alarm_name(uint32_t id) { return id >= 1 && id <= kMaxId ? kAlarms[id].name : "NO ALARM"; }

bool halverstrand_marker() {
  char path[512];
  return sim_path(kHalverstrandMarker, path, sizeof path) != nullptr && access(path, F_OK) == 0;
}

}  // namespace

extern "C" {

// Severity 3 in the byte at offset 50 of the record.
const zul_msg_rec zul_msg_rec_envmon_power_redundancy_lost = {
    nullptr,
    "Power redundancy at higher ambient temperatures(> 50 degree celsius), requires additional power supply for "
    "(2+1) configuration. System will continue to have power module redundancy with (1+1) configuration at normal "
    "temperatures",
    nullptr,
    "ENVMON",
    "LIB",
    "POWER_REDUNDANCY_LOST",
    3u << 16,
    {},
    0x14de0000u,
    0};

const zul_msg_rec* zul_msg_rec_envmon_power_redundancy_lost_getfn(void) {
  return &zul_msg_rec_envmon_power_redundancy_lost;
}

envmon_err_t envmon_report_chassis_ps_alm(uint32_t id, int32_t mode) {
  static constexpr char kFunc[] = "envmon_report_chassis_ps_alm";
  if (id < 1 || id > kMaxId) {
    tlg_internal(err_tlg_pem_hdl, "%s: invalid chassis level power supply alarm ID %d\n", kFunc, id);
    return ENVMON_ERR_INVALID_ARG;
  }
  const bool raise = mode == 1;
  const ChassisAlarm& a = kAlarms[id];
  pelm_eid* chassis = envmon_rm != nullptr ? &envmon_rm->chassis_eid : nullptr;
  pem::FaultRequest fr(a.tag, chassis, raise ? pem::kRaise : pem::kClear, a.severity);
  pem::count_oper(raise ? pem::kPwrAlmRaise : pem::kPwrAlmClear);
  char descr[256];
  descr[0] = '\0';
  if (id == 5 && raise) {
    const uint32_t type = envmon_rm != nullptr ? envmon_rm->chassis_type : 0;
    pem::format(descr, sizeof descr, "%s%s", "CHASSIS SHUTDOWN due to power budget not enough for RPs, fan trays",
                  envmon_pwr_is_fc_prereserve_chassis(type) ? " and fabric cards." : ".");
    fr.data.description = descr;
  } else if (raise ? a.raise_text != nullptr : a.clear_text != nullptr) {
    fr.data.description = raise ? a.raise_text : a.clear_text;
  }
  // Shutting the chassis down belongs to the raise only: a clear of the same
  // fault must not ask for it again.
  if (raise) fr.req.shutdown_action = a.action;
  fr.data.name = "";
  if (id == 2) {
    const envmon_pwr_mgmt_data_t* p = pem::pm();
    if (halverstrand_marker() && p != nullptr && p->total_capacity == kDowngradeCapacity) {
      fr.data.alarm_level = 3;
      zul_errmsg(&zul_msg_rec_envmon_power_redundancy_lost, 3);
    }
  }
  const envmon_err_t rc = fr.send();
  if (rc != ENVMON_OK)
    tlg_internal(err_tlg_pem_hdl, "In %s: envmon_fm_fault_report returned error for %s %s alarm, rc = %ld.\n", kFunc,
                 raise ? "raising" : "clearing", a.name, static_cast<long>(rc));
  else
    tlg_internal(fault_tlg_pem_hdl, "%s: %s %s alarm\n", kFunc, raise ? "raised" : "cleared", a.name);
  return rc;
}

envmon_err_t envmon_process_chassis_ps_alm(uint32_t id, int32_t mode) {
  static constexpr char kFunc[] = "envmon_process_chassis_ps_alm";
  if (id < 1 || id > kMaxId) {
    tlg_internal(err_tlg_pem_hdl, "%s: invalid alarm ID %d\n", kFunc, id);
    return ENVMON_ERR_INVALID_ARG;
  }
  if (mode != 0 && mode != 1) {
    tlg_internal(err_tlg_pem_hdl, "%s: invalid alarm mode %d\n", kFunc, mode);
    return ENVMON_ERR_INVALID_ARG;
  }
  envmon_pwr_mgmt_data_t* p = pem::pm();
  if (p == nullptr) return ENVMON_ERR_INVALID_ARG;
  const uint64_t bit = 1ull << id;
  const bool raised = (p->alarms & bit) != 0;
  if ((mode == 1) == raised) return ENVMON_OK;
  const envmon_err_t rc = envmon_report_chassis_ps_alm(id, mode);
  if (mode == 1)
    p->alarms |= bit;
  else
    p->alarms &= ~bit;
  tlg_internal(fault_tlg_pem_hdl, "%s : alarm %s %s, alarm bitmap 0x%x\n", kFunc, alarm_name(id),
               mode == 1 ? "raised" : "cleared", static_cast<uint32_t>(p->alarms));
  return rc;
}

}  // extern "C"

// Configuration client: the environment and power-management configuration
// of this rack, read again whole on every change of a namespace.
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "cdb.h"
#include "envmon.h"
#include "envmon_capi.h"
#include "provd.h"

// The PEM library's tray table is bound weakly, so that the core loads in a
// process that has no PEM library yet; without it there is nothing to re-check.
extern pd_power_tray_info_t* pd_power_tray_info __attribute__((weak));

namespace {

constexpr uint32_t kNsHash = 0x6493164f;
constexpr uint32_t kEnvNs = 1;
constexpr uint32_t kPwrNs = 2;
constexpr const char kEnvPath[] = "/environment/config";
constexpr const char kPwrPath[] = "/power-mgmt/config";

constexpr const char kAltitudeKey[] = "/environment/config/router/altitude";
constexpr const char kFanSpeedKey[] = "/environment/config/raise-fan-speed";
constexpr const char kOpticsKey[] = "/environment/config/fan-ctrl-optics/enable";
constexpr const char kFilterKey[] = "/environment/config/air-filter/replaced";
constexpr const char kFanCtrlKey[] = "/environment/config/fan-ctrl/disable";
constexpr const char kTempKey[] = "/environment/config/temperature/disable";
constexpr const char kMonitorKey[] = "/environment/config/monitoring/disable";
constexpr const char kGracefulKey[] = "/environment/config/graceful-shutdown/disable";
constexpr const char kSingleFeedKey[] = "/power-mgmt/config/single-feed-mode/enable";
constexpr const char kExtendedKey[] = "/power-mgmt/config/extended-temp/enable";
constexpr const char kRedundancyKey[] = "/power-mgmt/config/redundancy-num-pms";
constexpr const char kActionKey[] = "/power-mgmt/config/action/disable";

constexpr const char kAlreadyDone[] = "%s: mgbl init is already done\n";
constexpr const char kInitDefaults[] =
    "%s: pwr_mgmt_action pwr_ctrl=%d, pwr_mgmt_cfg_rcvd FALSE, single_feed_operation = "
    "%d,extended_mode_operation = %d,progressive_mode_operation = %d,red_num_pems=%d\n";
constexpr const char kCreateFailed[] = "%s: failed to create provd handle, rc=%lx\n";
constexpr const char kEnvNsFailed[] = "%s: failed to register envmon namespace, rc=%lx\n";
constexpr const char kPwrNsFailed[] = "%s: failed to register envmon power namespace, rc=%lx\n";
constexpr const char kActivateFailed[] = "%s: failed to activate provd handle, rc=%lx\n";
constexpr const char kInitDone[] = "%s: MGBL initialization done!\n";
constexpr const char kShutdownFailed[] = "%s: failed to shutdown provd handle, rc=%lx\n";
constexpr const char kInstances[] = "%d instance(s) at %s%s\n";
constexpr const char kEnumFailed[] = "cdb_get_enum_value failed at %s%s[%d]%s\n";
constexpr const char kRackAt[] = "rack %d(0x%x) at %s%s[%d]%s\n";
constexpr const char kErrU32[] = "%s: Err in cdb_get_uint32, path=%s, rc=0x%x\n";
constexpr const char kErrUInt32[] = "%s: Err in cdb_get_u_int32, path=%s, rc=0x%x\n";
constexpr const char kErrDate[] = "%s: Err in cdb_get_duration, path=%s, rc=0x%x\n";
constexpr const char kAltitude[] = "%s: altitude=%d from config location %s\n";
constexpr const char kFanSpeed[] = "%s: fan_speed_pwm=%d from config location %s\n";
constexpr const char kFilter[] = "%s: fan tray air filter reset time=%d-%d-%d from config location %s\n";
constexpr const char kUvShut[] = "CDB callback UV shut is %s.\n";
constexpr const char kEnvSummary[] =
    "%s: CDB callback - alt=%d, filter year=%d, ft_ctrl=%d, temp_ctrl=%d, envmon_ctrl=%d, "
    "fan_speed=%d, fan_ctrl_optics=%d vin_uv_shut_disabled=%s.\n";
constexpr const char kEnvSummaryLog[] =
    "%s: CDB callback - alt=%d, filter=%ld, ft_ctrl=%d, temp_ctrl=%d, envmon_ctrl=%d, "
    "fan_speed=%d, fan_ctrl_optics=%d, vin_uv_shut_disabled=%s\n";
constexpr const char kSingleFeedChanged[] = "CHANGED from %d to cdbp->single_feed_operation = %d\n";
constexpr const char kNotReady[] = "PWR MGMT NOT READY. Single feed mode not applied\n";
constexpr const char kNoExtended[] = "extended mode not supported for this platform\n";
constexpr const char kExtendedChanged[] = "CHANGED from %d to cdbp->extended_mode_operation = %d\n";
constexpr const char kRedundancy[] = "%s: RED number of PEMs = %d from config location %s\n";
constexpr const char kPwrSummary[] =
    "%s: CDB callback - pwr_mgmt_action pwr_ctrl=%d, single_feed_operation "
    "%d,extended_mode_operation %d,progressive_mode_operation %d,red_num_pems=%d cdb_ret 0x%x\n";
constexpr const char kPwrSummaryLog[] =
    "%s: CDB callback - pwr_mgmt_action pwr_ctrl=%d, single_feed_operation = "
    "%d,extended_mode_operation = %d,progressive_mode_operation = %d,red_num_pems=%d cdb_ret "
    "0x%x\n";

constexpr uint32_t kRedNotConfigured = 255;
constexpr int32_t kNodePriorityDefault = 20;
constexpr int32_t kTrayPresent = 1;

// Paths are composed in buffers of this size (a longer path is cut).
constexpr size_t kPathLen = 127;
struct path_buf {
  char s[kPathLen] = {};
};

__attribute__((format(printf, 1, 2))) path_buf make_path(const char* fmt, ...) {
  path_buf p;
  va_list ap;
  va_start(ap, fmt);
  vsnprintf(p.s, sizeof(p.s), fmt, ap);
  va_end(ap);
  return p;
}

bool truth(uint32_t v) { return v != 0; }

void env_defaults(envmon_rm_t& rm) {
  rm.env_cfg.air_filter_reset_time = ENVMON_AIR_FILTER_RESET_TIME_DEFAULT;
  rm.env_cfg.altitude = 0;
  rm.env_cfg.ft_ctrl = 1;
  rm.env_cfg.temp_ctrl = 1;
  rm.env_cfg.envmon_ctrl = 1;
}

void pwr_defaults(envmon_rm_t& rm) {
  envmon_pwr_cfg& p = rm.pwr_cfg;
  p.pwr_ctrl = 1;
  p.red_num_pems = kRedNotConfigured;
  p.single_feed_operation = 0;
  p.extended_mode_operation = 0;
  p.progressive_mode_operation = 0;
  p.reserved = 0;
  p.prog_shut_threshold = 0;
  // One value per line-card index, within the table's room.
  uint32_t n = envmon_hal_get_max_lc();
  if (n > ENVMON_NODE_PRIORITY_MAX) n = ENVMON_NODE_PRIORITY_MAX;
  for (uint32_t i = 0; i < n; ++i) p.node_priority[i] = kNodePriorityDefault;
  envmon_hal_pwr_conf_init();
}

// Whether a configuration item applies to this rack: given for all racks, or
// for a rack list that names this rack.
bool flag_applies(int cfg, const char* key) {
  const path_buf p = make_path("%s/rack_loc", key);
  if (envmon_conf_all_instances(cfg, p.s) != 0) return true;
  uint32_t count = 0;
  uint32_t index = 0;
  return envmon_configured_local_rack(cfg, p.s, &count, &index) != 0;
}

// Where the value of an item is read for this rack: its entry in the rack
// list, else its value for all racks; false when neither is there.
bool value_path(int cfg, const char* key, const char* leaf, path_buf& out) {
  const path_buf p = make_path("%s/rack_loc", key);
  uint32_t count = 0;
  uint32_t index = 0;
  if (envmon_configured_local_rack(cfg, p.s, &count, &index) != 0) {
    out = make_path("%s%s[%d]%s", p.s, "/location", static_cast<int>(index), leaf);
    return true;
  }
  out = make_path("%s/all%s", key, leaf);
  return cdb_exists(cfg, "%s", out.s) != 0;
}

// Reads a 32-bit item; the field keeps the default the pass set when the
// read fails.
bool read_u32(const char* fn, int cfg, const char* key, const char* leaf, const char* err_text,
              uint32_t* value, path_buf& path) {
  if (!value_path(cfg, key, leaf, path)) return false;
  uint32_t v = 0;
  int rc = cdb_get_u_int32(cfg, &v, "%s", path.s);
  if (rc != CDB_OK) {
    tlg_internal(err_tlg_cmn_hdl, err_text, fn, path.s, static_cast<unsigned>(rc));
    return false;
  }
  *value = v;
  return true;
}

void update_all_fan_trays() {
  const uint32_t trays = envmon_hal_get_max_fantray();
  for (uint32_t t = 0; t < trays; ++t) envmon_hal_fan_mgmt_fan_speed_update(t, 0);
}

void envmon_handle_env_cfg_change(int cfg) {
  const char* fn = __func__;
  envmon_rm_t& rm = *envmon_rm;
  const uint32_t old_speed = rm.user_fan_speed_pwm;
  const uint8_t old_optics = rm.fan_ctrl_optics;
  const uint8_t old_uv = rm.vin_uv_shut_disabled;
  const uint8_t old_ft_ctrl = rm.env_cfg.ft_ctrl;
  const uint32_t old_altitude = rm.env_cfg.altitude;
  env_defaults(rm);
  path_buf path;

  if (cdb_exists(cfg, "%s", kAltitudeKey) != 0) {
    uint32_t v = 0;
    if (read_u32(fn, cfg, kAltitudeKey, "/num_meters", kErrU32, &v, path)) {
      rm.env_cfg.altitude = v;
      tlg_internal(info_tlg_cmn_hdl, kAltitude, fn, static_cast<int>(v), path.s);
    }
  }
  rm.user_fan_speed_pwm = 0;
  if (cdb_exists(cfg, "%s", kFanSpeedKey) == 1) {
    uint32_t v = 0;
    if (read_u32(fn, cfg, kFanSpeedKey, "/speed_pwm", kErrU32, &v, path)) {
      rm.user_fan_speed_pwm = v;
      tlg_internal(info_tlg_cmn_hdl, kFanSpeed, fn, static_cast<int>(v), path.s);
    }
  }
  rm.fan_ctrl_optics = 0;
  if (cdb_exists(cfg, "%s", kOpticsKey) == 1 && flag_applies(cfg, kOpticsKey)) {
    rm.fan_ctrl_optics = 1;
  }
  if (cdb_exists(cfg, "%s", kFilterKey) != 0 && value_path(cfg, kFilterKey, "/date", path)) {
    cdb_date d{};
    int rc = cdb_get_date(cfg, &d, "%s", path.s);
    if (rc != CDB_OK) {
      tlg_internal(err_tlg_cmn_hdl, kErrDate, fn, path.s, static_cast<unsigned>(rc));
    } else {
      rm.env_cfg.air_filter_reset_time.year = d.year;
      rm.env_cfg.air_filter_reset_time.month = d.month;
      rm.env_cfg.air_filter_reset_time.day = d.day;
      rm.env_cfg.air_filter_reset_time.tz = static_cast<uint16_t>(d.tz);
      envmon_hal_fan_mgmt_filter_reset(0);
      tlg_internal(info_tlg_cmn_hdl, kFilter, fn, d.year, d.month, d.day, path.s);
    }
  }
  if (cdb_exists(cfg, "%s", kFanCtrlKey) != 0 && flag_applies(cfg, kFanCtrlKey)) {
    rm.env_cfg.ft_ctrl = 0;
  }
  if (cdb_exists(cfg, "%s", kTempKey) != 0 && flag_applies(cfg, kTempKey)) {
    rm.env_cfg.temp_ctrl = 0;
  }
  if (cdb_exists(cfg, "%s", kMonitorKey) != 0 && flag_applies(cfg, kMonitorKey)) {
    rm.env_cfg.envmon_ctrl = 0;
  }
  const bool fan_ctrl_back = !truth(old_ft_ctrl) && truth(rm.env_cfg.ft_ctrl);
  if (fan_ctrl_back || envmon_hal_altitude_fan_set_needed(old_altitude, rm.env_cfg.altitude)) {
    update_all_fan_trays();
  }
  if (rm.user_fan_speed_pwm != old_speed) envmon_hal_user_fan_speed_change();
  if (truth(rm.fan_ctrl_optics) != truth(old_optics)) envmon_hal_user_fan_speed_change();
  rm.vin_uv_shut_disabled = 0;
  if (cdb_exists(cfg, "%s", kGracefulKey) == 1 && flag_applies(cfg, kGracefulKey)) {
    rm.vin_uv_shut_disabled = 1;
  }
  if (truth(rm.vin_uv_shut_disabled) != truth(old_uv)) {
    tlg_internal(main_tlg_cmn_hdl, kUvShut, rm.vin_uv_shut_disabled != 0 ? "OFF" : "ON");
  }
  const char* uv = rm.vin_uv_shut_disabled != 0 ? "TRUE" : "FALSE";
  tlg_internal(main_tlg_cmn_hdl, kEnvSummary, fn, static_cast<int>(rm.env_cfg.altitude),
               rm.env_cfg.air_filter_reset_time.year, rm.env_cfg.ft_ctrl, rm.env_cfg.temp_ctrl,
               rm.env_cfg.envmon_ctrl, static_cast<int>(rm.user_fan_speed_pwm),
               rm.fan_ctrl_optics, uv);
  envmon_debug_log(kEnvSummaryLog, fn, static_cast<int>(rm.env_cfg.altitude),
                   static_cast<long>(duration_to_secs(&rm.env_cfg.air_filter_reset_time)),
                   rm.env_cfg.ft_ctrl, rm.env_cfg.temp_ctrl, rm.env_cfg.envmon_ctrl,
                   static_cast<int>(rm.user_fan_speed_pwm), rm.fan_ctrl_optics, uv);
}

// Power trays that have records: the physical count, or the virtual count
// when there are no physical trays.
uint32_t tray_records() {
  const uint32_t physical = envmon_rm->pwr_tray_count;
  return physical != 0 ? physical : envmon_hal_get_max_virtual_powertray();
}

void recheck_single_feed_alarms() {
  envmon_pwr_mgmt_data_t* pm = envmon_rm->pwr_mgmt_data;
  if (pm == nullptr || pm->envmon_pwr_tray_data == nullptr || &pd_power_tray_info == nullptr ||
      pd_power_tray_info == nullptr) {
    return;
  }
  const uint32_t trays = tray_records();
  for (uint32_t t = 0; t < trays; ++t) {
    if (pm->envmon_pwr_tray_data[t].state != kTrayPresent) continue;
    pd_power_tray_info_t& tray = pd_power_tray_info[t];
    for (uint32_t j = 0; tray.pems != nullptr && j < tray.num_pems; ++j) {
      const uint32_t st = tray.pems[j].status;
      if (st == 0 || st == 1) continue;
      uint8_t failed = 0;
      envmon_check_single_pem_alm(t, j, &failed);
    }
  }
}

}  // namespace

extern "C" {

uint32_t envmon_conf_rack_enum_to_rack(int32_t value) {
  if (value >= 0 && value <= 15) return static_cast<uint32_t>(value);
  if (value >= 39 && value <= 42) return static_cast<uint32_t>(value + 201);
  return 0xffff;
}

uint32_t envmon_conf_all_instances(int cfg, const char* path) {
  const int n = cdb_num_instances(cfg, "%s%s", path, "/all");
  tlg_internal(info_tlg_cmn_hdl, kInstances, n, path, "/all");
  return n > 0 ? static_cast<uint32_t>(n) : 0;
}

uint8_t envmon_configured_local_rack(int cfg, const char* path, uint32_t* count, uint32_t* index) {
  uint32_t found_count = 0;
  uint32_t found_index = 0;
  uint8_t found = 0;
  if (cdb_exists(cfg, "%s%s", path, "/location") != 0) {
    const int n = cdb_num_instances(cfg, "%s%s", path, "/location");
    tlg_internal(info_tlg_cmn_hdl, kInstances, n, path, "/location");
    found_count = n > 0 ? static_cast<uint32_t>(n) : 0;
    // The whole list is walked: the last entry that names this rack wins.
    for (int i = 0; i < n; ++i) {
      int32_t value = 0;
      if (cdb_get_enum_value(cfg, &value, "%s%s[%d]%s", path, "/location", i, "/rackId") != 0) {
        tlg_internal(err_tlg_cmn_hdl, kEnumFailed, path, "/location", i, "/rackId");
        continue;
      }
      const uint32_t rack = envmon_conf_rack_enum_to_rack(value);
      tlg_internal(info_tlg_cmn_hdl, kRackAt, value, rack, path, "/location", i, "/rackId");
      if (envmon_rm != nullptr && rack == envmon_rm->rack) {
        found = 1;
        found_index = static_cast<uint32_t>(i);
      }
    }
  }
  if (count != nullptr) *count = found_count;
  if (index != nullptr) *index = found_index;
  return found;
}

envmon_err_t envmon_handle_pwr_cfg_change(int cfg) {
  const char* fn = __func__;
  envmon_rm_t& rm = *envmon_rm;
  const envmon_pwr_cfg old = rm.pwr_cfg;
  pwr_defaults(rm);
  envmon_pwr_cfg& p = rm.pwr_cfg;
  int32_t result = 0;

  if (cdb_exists(cfg, "%s", kSingleFeedKey) != 0) {
    if (flag_applies(cfg, kSingleFeedKey)) p.single_feed_operation = 1;
    if (truth(p.single_feed_operation) != truth(old.single_feed_operation)) {
      tlg_internal(pwrm_tlg_cmn_hdl, kSingleFeedChanged, old.single_feed_operation,
                   p.single_feed_operation);
      if (envmon_pwr_mgmt_ready()) {
        recheck_single_feed_alarms();
      } else {
        tlg_internal(err_tlg_cmn_hdl, kNotReady);
      }
    }
    const path_buf pm_loc = make_path("%s/pm_loc", kSingleFeedKey);
    envmon_hal_configured_pm_single_mode(cfg, pm_loc.s);
  }
  if (cdb_exists(cfg, "%s", kExtendedKey) != 0) {
    if (!envmon_is_extended_mode_supported()) {
      tlg_internal(err_tlg_cmn_hdl, kNoExtended);
    } else {
      if (flag_applies(cfg, kExtendedKey)) p.extended_mode_operation = 1;
      if (truth(p.extended_mode_operation) != truth(old.extended_mode_operation)) {
        tlg_internal(pwrm_tlg_cmn_hdl, kExtendedChanged, old.extended_mode_operation,
                     p.extended_mode_operation);
        envmon_pwr_mgmt_update_pbudget_data();
        update_all_fan_trays();
      }
    }
  }
  envmon_hal_handle_progressive_mode_change(cfg);
  if (cdb_exists(cfg, "%s", kRedundancyKey) == 1) {
    path_buf path;
    if (value_path(cfg, kRedundancyKey, "/num_pm", path)) {
      uint32_t v = 0;
      result = cdb_get_u_int32(cfg, &v, "%s", path.s);
      if (result == CDB_OK) {
        p.red_num_pems = v;
        tlg_internal(pwrm_tlg_cmn_hdl, kRedundancy, fn, static_cast<int>(v), path.s);
      } else {
        tlg_internal(err_tlg_cmn_hdl, kErrUInt32, fn, path.s, static_cast<unsigned>(result));
      }
    }
  }
  const uint32_t platform_default = envmon_hal_get_num_pems_for_red();
  if (p.red_num_pems == kRedNotConfigured && platform_default != kRedNotConfigured) {
    envmon_hal_pwr_mgmt_set_redundancy_num_pems(static_cast<uint8_t>(platform_default));
  } else if (p.red_num_pems != old.red_num_pems) {
    envmon_hal_pwr_mgmt_set_redundancy_num_pems(static_cast<uint8_t>(p.red_num_pems & 0xff));
  }
  if (cdb_exists(cfg, "%s", kActionKey) == 1 && flag_applies(cfg, kActionKey)) p.pwr_ctrl = 0;
  if (truth(p.pwr_ctrl) != truth(old.pwr_ctrl)) envmon_pwr_mgmt_set_action_mode(p.pwr_ctrl);
  envmon_set_pwr_mgmt_cfg_rcvd();
  tlg_internal(pwrm_tlg_cmn_hdl, kPwrSummary, fn, p.pwr_ctrl, p.single_feed_operation,
               p.extended_mode_operation, p.progressive_mode_operation,
               static_cast<int>(p.red_num_pems), static_cast<unsigned>(result));
  envmon_debug_log(kPwrSummaryLog, fn, p.pwr_ctrl, p.single_feed_operation,
                   p.extended_mode_operation, p.progressive_mode_operation,
                   static_cast<int>(p.red_num_pems), static_cast<unsigned>(result));
  return static_cast<envmon_err_t>(static_cast<int64_t>(result));
}

uint64_t envmon_conf_pull_callback(void*, int cfg, void* cookie, uint32_t) {
  if (envmon_rm == nullptr) return 0;
  cdb_set_namespace(cfg, kNsHash);
  if (cookie != nullptr && *static_cast<uint32_t*>(cookie) == kPwrNs) {
    return envmon_handle_pwr_cfg_change(cfg);
  }
  envmon_handle_env_cfg_change(cfg);
  return 0;
}

void envmon_mgbl_error_cb(provd_handle_t, int32_t, void*) {}

envmon_err_t envmon_mgbl_init(struct evloop* loop) {
  if (envmon_rm == nullptr || envmon_nm == nullptr) return ENVMON_ERR_INVALID_ARG;
  envmon_rm_t& rm = *envmon_rm;
  if (rm.mgbl_init_done != 0) {
    tlg_internal(err_tlg_cmn_hdl, kAlreadyDone, __func__);
    return 0;
  }
  env_defaults(rm);
  pwr_defaults(rm);
  rm.pwr_cfg.pwr_mgmt_cfg_rcvd = 0;
  envmon_debug_log(kInitDefaults, __func__, rm.pwr_cfg.pwr_ctrl, rm.pwr_cfg.single_feed_operation,
                   rm.pwr_cfg.extended_mode_operation, rm.pwr_cfg.progressive_mode_operation,
                   static_cast<int>(rm.pwr_cfg.red_num_pems));
  provd_handle_t h = nullptr;
  int rc = provd_handle_create(&h, loop, "envmon", main_tlg_cmn_hdl, &envmon_nm);
  if (rc != 0) {
    tlg_internal(err_tlg_cmn_hdl, kCreateFailed, __func__, static_cast<unsigned long>(rc));
    return ENVMON_ERR_INVALID_ARG;
  }
  envmon_nm->provd_hdl = h;
  provd_set_error_callback(h, envmon_mgbl_error_cb);
  // A handle that is given up is cleared too, so nothing refers to it.
  auto give_up = [&](const char* text, uint64_t code, envmon_err_t result) {
    tlg_internal(err_tlg_cmn_hdl, text, "envmon_mgbl_init", static_cast<unsigned long>(code));
    provd_handle_destroy(h);
    envmon_nm->provd_hdl = nullptr;
    return result;
  };
  rm.env_cfg_ns = kEnvNs;
  uint64_t reg = provd_conf_register_namespace(h, &rm.env_cfg_ns, envmon_conf_pull_callback,
                                               kNsHash, kEnvPath);
  if (reg != 0) return give_up(kEnvNsFailed, reg, ENVMON_ERR_INVALID_ARG);
  rm.pwr_cfg.pwr_cfg_ns = kPwrNs;
  reg = provd_conf_register_namespace(h, &rm.pwr_cfg.pwr_cfg_ns, envmon_conf_pull_callback,
                                      kNsHash, kPwrPath);
  if (reg != 0) return give_up(kPwrNsFailed, reg, ENVMON_ERR_INVALID_ARG);
  envmon_hal_progressive_register_valpoint();
  rc = provd_conf_activate(h);
  if (rc != 0) return give_up(kActivateFailed, static_cast<uint64_t>(rc), ENVMON_ERR_ACTIVATION);
  rm.mgbl_init_done = 1;
  tlg_internal(main_tlg_cmn_hdl, kInitDone, __func__);
  return 0;
}

envmon_err_t envmon_mgbl_uninit(void) {
  if (envmon_nm == nullptr || envmon_rm == nullptr) return 0;
  auto h = static_cast<provd_handle_t>(envmon_nm->provd_hdl);
  int rc = provd_conf_shutdown(h);
  if (rc != 0) {
    tlg_internal(err_tlg_cmn_hdl, kShutdownFailed, __func__, static_cast<unsigned long>(rc));
    return static_cast<envmon_err_t>(static_cast<int64_t>(rc));
  }
  provd_handle_destroy(h);
  envmon_nm->provd_hdl = nullptr;
  envmon_rm->mgbl_init_done = 0;
  return 0;
}

}  // extern "C"

// Writing fan speeds to the fan driver, second-generation trays in steps of
// 10 PWM, and the fan hooks the core calls by name.
#include <algorithm>
#include <cstdlib>
#include <vector>

#include "envhal_private.h"
#include "envhal_tavrin_fan.h"
#include "envmon_drvif.h"
#include "envmon_hal.h"

using namespace envhal::tavrin;

namespace {

constexpr uint8_t kRampStep = 10;

// Set-request marks of a request word: pending with the retries reloaded.
constexpr uint32_t kSetMask = 0xf0000c00u;
constexpr uint32_t kSetMark = 0xf0000400u;
// Poll-request marks.
constexpr uint32_t kPollMask = 0xf0000300u;
constexpr uint32_t kPollMark = 0xf0000100u;

bool selected(bool all_trays, uint32_t tray, uint32_t i) { return all_trays || i == tray; }

// A tray whose fan-speed sensors can be written.
envmon_sensor_list* fan_group(uint32_t tray) {
  if (envmon_rm == nullptr || envmon_rm->fantray_cb == nullptr) return nullptr;
  return &envmon_rm->fantray_cb[tray].fan_data;
}

struct Write {
  std::vector<pelm_eid*> sensors;
  std::vector<uint32_t> values;
  std::vector<uint32_t> kinds;
};

// The fans of one tray that need writing, appended to `w`; the tray's request
// word and each written sensor's word are marked. Returns the fans added.
size_t fill_tray(uint32_t tray, Write& w, bool optics_quelm) {
  static constexpr char kFunc[] = "envmon_tavrin_fan_speed_set";
  envmon_sensor_list* group = fan_group(tray);
  fan_tray_info& t = chassis_fan_info->trays[tray];
  const bool was_requested = (group->reg_state & ENVMON_ST_SET_PENDING) != 0;
  const uint32_t fans = std::min<uint32_t>(group->count, envmon_hal_get_fans_per_tray());
  const size_t before = w.sensors.size();
  for (uint32_t f = 0; f < fans && group->sensors != nullptr; ++f) {
    fan_info& fan = t.fans[f];
    if (optics_quelm && f == 1) {
      // Quelm keeps its second fan while the optics drive the others.
      fan.speed = fan.last_speed;
      tlg_internal(fanm_tlg_lib_hdl, "%s(): skip tray %d fan %d speed %d last_speed %d skip %d\n", kFunc, tray, f,
                   fan.speed, fan.last_speed, 1);
    }
    if (fan.speed == fan.last_speed && was_requested) continue;
    uint8_t value = fan.speed;
    const int diff = static_cast<int>(fan.speed) - static_cast<int>(fan.last_speed);
    if (is_fan_tray_type_gen2() && std::abs(diff) > kRampStep) {
      control().fan_ramp_pending = 1;
      if (diff > 0) {
        value = static_cast<uint8_t>(fan.last_speed + kRampStep);
        tlg_internal(fanm_tlg_lib_hdl, "%s(): FAN_RAMPING UP :- set fan tray %d fan %d to speed %d\n", kFunc, tray, f,
                     value);
      } else {
        value = static_cast<uint8_t>(fan.last_speed - kRampStep);
        tlg_internal(fanm_tlg_lib_hdl, "%s(): FAN_RAMPING DOWN :- set fan tray %d fan %d to speed %d\n", kFunc, tray,
                     f, value);
      }
    } else {
      tlg_internal(fanm_tlg_lib_hdl, "%s(): set fan tray %d fan %d to speed %d\n", kFunc, tray, f, value);
    }
    fan.last_speed = value;
    envmon_sensor_info& sensor = group->sensors[f];
    sensor.state = (sensor.state & ~kSetMask) | kSetMark;
    w.sensors.push_back(&sensor.eid);
    w.values.push_back(value);
    w.kinds.push_back(kFanKindPwm);
  }
  const size_t added = w.sensors.size() - before;
  if (added > 0) {
    group->reg_state = (group->reg_state & ~kSetMask) | kSetMark;
    tlg_internal(fanm_tlg_lib_hdl, "%s(): set_request_flag %d\n", kFunc, 1);
  }
  return added;
}

}  // namespace

namespace envhal::tavrin {

void init_tray_fans(uint32_t tray) {
  const uint32_t fans = envmon_hal_get_fans_per_tray();
  fan_info* f = chassis_fan_info->trays[tray].fans;
  for (uint32_t i = 0; i < fans; ++i) {
    f[i] = fan_info{};
    f[i].h_zone = static_cast<int32_t>(fans == 12 ? i / 4 + 3 : i / 2 + 3);
    f[i].v_zone = static_cast<int32_t>(tray);
    f[i].speed = f[i].last_speed = ENVMON_FAN_PWM_UNSET;
  }
}

envmon_err_t envmon_tavrin_fan_speed_set(bool all_trays, uint32_t tray, bool check_init) {
  static constexpr char kFunc[] = "envmon_tavrin_fan_speed_set";
  FanControl& c = control();
  const uint8_t pending_on_entry = c.fan_ramp_pending;
  // A refused write keeps an unfinished ramp pending, so that the next write
  // that goes through resumes the periodic evaluation.
  if (c.fan_ctrl_disabled != 0) {
    tlg_internal(fanm_tlg_lib_hdl, "%s(): Fan speed control disable set \n", kFunc);
    return ENVMON_OK;
  }
  if (check_init && leaf_running(timers().init)) {
    tlg_internal(fanm_tlg_lib_hdl, "%s(): envmon_init_tmr running, set fan speed later\n", kFunc);
    return ENVMON_OK;
  }
  if (chassis_fan_info == nullptr) {
    tlg_internal(fanm_tlg_lib_hdl, "%s(): NULL chassis_fan_info, set fan speed later\n", kFunc);
    return ENVMON_OK;
  }
  if (chassis_fan_info->trays == nullptr) {
    tlg_internal(fanm_tlg_lib_hdl, "%s(): NULL chassis_fan_info->trays, set fan speed later\n", kFunc);
    return ENVMON_OK;
  }
  if (envmon_rm == nullptr || envmon_rm->svc_role != ENVMON_ROLE_ACTIVE || envmon_rm->env_cfg.ft_ctrl != 1) {
    tlg_internal(fanm_tlg_lib_hdl, "%s(): fan speed not set. Envmon svc_role %d, fan_tray_ctrl %d\n", kFunc,
                 envmon_rm != nullptr ? envmon_rm->svc_role : 0, envmon_rm != nullptr ? envmon_rm->env_cfg.ft_ctrl : 0);
    return ENVMON_OK;
  }
  c.fan_ramp_pending = 0;

  uint8_t max = 0;
  for (const fan_zone_info& z : chassis_fan_info->zones) max = std::max(max, z.speed);
  const uint8_t target =
      envmon_rm->user_fan_speed_pwm > max ? static_cast<uint8_t>(envmon_rm->user_fan_speed_pwm) : max;
  const uint32_t trays = max_fantray();
  for (uint32_t i = 0; i < trays; ++i) {
    if (!selected(all_trays, tray, i) || chassis_fan_info->trays[i].active == 0) continue;
    for (uint32_t f = 0; f < envmon_hal_get_fans_per_tray(); ++f) chassis_fan_info->trays[i].fans[f].speed = target;
  }

  // Only the trays selected above are written.
  const bool optics_quelm = is_quelm() && (c.is_optics_ramping != 0 || c.optics_ramp_down != 0);
  Write w;
  for (uint32_t i = 0; i < trays; ++i) {
    if (!selected(all_trays, tray, i) || chassis_fan_info->trays[i].active == 0) continue;
    if (optics_quelm && i < 2) continue;
    fill_tray(i, w, optics_quelm);
  }
  if (!w.sensors.empty()) {
    envmon_drvif_set_bulk_sensor_data(w.sensors.data(), w.values.data(), w.kinds.data(), ENVMON_DRV_FAN,
                                      static_cast<uint32_t>(w.sensors.size()));
  }
  if (c.fan_ramp_pending != 0) {
    leaf_stop(timers().period);
    leaf_start(timers().ramp, kRampSecs);
  } else if (pending_on_entry != 0) {
    leaf_start(timers().period, kPeriodSecs);
  }
  if (!w.sensors.empty()) envmon_ceb_fsa_sched_event(ENVMON_CEB_EV_REG_REQ);
  return ENVMON_OK;
}

}  // namespace envhal::tavrin

extern "C" {

envmon_err_t envmon_hal_fan_mgmt_fan_speed_update(uint32_t tray, uint32_t poll) {
  if (chassis_fan_info == nullptr || chassis_fan_info->trays == nullptr) return ENVMON_OK;
  if (envmon_rm->svc_role != ENVMON_ROLE_ACTIVE) return envmon_rm->svc_role;
  if (tray >= max_fantray() || chassis_fan_info->trays[tray].active == 0) return ENVMON_OK;
  if (poll != 0) {
    fantray_cb& ft = envmon_rm->fantray_cb[tray];
    for (envmon_sensor_list* g : {&ft.temp_data, &ft.voltage_data, &ft.current_data, &ft.power_data, &ft.fan_data,
                                  &ft.subtype13_data}) {
      envmon_drvif_poll_request(g->sensors, g->count, ENVMON_POLL_START, ENVMON_DRV_FAN);
      g->reg_state = (g->reg_state & ~kPollMask) | kPollMark;
    }
  }
  envmon_err_t rc = ENVMON_OK;
  if (!leaf_running(timers().init) && fan_tray_ctrl_on()) {
    const uint32_t present = envmon_count_present_fantrays();
    if (present >= 1 && present + 1 <= max_fantray()) chassis_fan_info->envmon_fan_state = ENVMON_FAN_ONE_MISSING;
    envmon_tavrin_process_fan_speed();
    rc = envmon_tavrin_fan_speed_set(false, tray, true);
  }
  if (poll != 0) envmon_ceb_fsa_sched_event(ENVMON_CEB_EV_REG_REQ);
  return rc;
}

void envmon_hal_fan_mgmt_fan_speed_update_per_eid(uint32_t tray, envmon_sensor_info* sensor) {
  if (chassis_fan_info == nullptr || chassis_fan_info->trays == nullptr || tray >= max_fantray() ||
      sensor == nullptr)
    return;
  if (envmon_rm->svc_role != ENVMON_ROLE_ACTIVE || chassis_fan_info->trays[tray].active == 0 ||
      leaf_running(timers().init) || !fan_tray_ctrl_on())
    return;
  envmon_sensor_list& group = envmon_rm->fantray_cb[tray].fan_data;
  const uint32_t fans = std::min<uint32_t>(group.count, envmon_hal_get_fans_per_tray());
  for (uint32_t f = 0; f < fans && group.sensors != nullptr; ++f) {
    if (pelm_eid_compare_eid(&group.sensors[f].eid, &sensor->eid) != 0) continue;
    const uint32_t value = chassis_fan_info->trays[tray].fans[f].speed;
    tlg_internal(fanm_tlg_lib_hdl, "%s(): set fan tray %d fan %d to speed %d\n",
                 "envmon_hal_fan_mgmt_fan_speed_update_per_eid", tray, f, value);
    pelm_eid* eid = &group.sensors[f].eid;
    const uint32_t kind = kFanKindPwm;
    envmon_drvif_set_bulk_sensor_data(&eid, &value, &kind, ENVMON_DRV_FAN, 1);
    return;
  }
}

uint8_t envmon_hal_fan_mgmt_is_fantray_active(uint32_t tray) {
  if (chassis_fan_info == nullptr || chassis_fan_info->trays == nullptr || tray >= max_fantray()) return 0;
  return chassis_fan_info->trays[tray].active;
}

bool envmon_hal_fan_mgmt_is_inv_reg_active(uint32_t tray) {
  if (chassis_fan_info == nullptr || chassis_fan_info->trays == nullptr || tray >= max_fantray()) return false;
  return chassis_fan_info->trays[tray].inv_reg != 0;
}

uint8_t envmon_hal_fan_mgmt_inv_reg_set_state(uint32_t tray, uint8_t state) {
  if (chassis_fan_info == nullptr || chassis_fan_info->trays == nullptr || tray >= max_fantray()) return 0;
  chassis_fan_info->trays[tray].inv_reg = state;
  return state;
}

// Nothing to do on this platform.
void envmon_hal_fan_mgmt_inv_reg_reset_state(uint32_t /*state*/, uint32_t /*tray*/, uint32_t /*flag*/) {}
void envmon_hal_fan_mgmt_filter_reset(uint32_t /*tray*/) {}
void envmon_hal_set_db_default_on_rp_down(uint32_t /*slot*/) {}
void envmon_hal_sec_fan_alarm_clear(uint32_t /*slot*/) {}
void envmon_hal_clear_temp_alarm(void) {}
void envmon_hal_fan_mgmt_inv_altitude_notification(const inv_sensor_value* /*value*/) {}
int envmon_hal_is_driver_and_slot_valid(uint32_t /*driver*/, uint32_t /*slot*/) { return 1; }

void envmon_hal_fan_timer_disable(uint8_t flag) { control().fan_ctrl_disabled = flag != 0 ? 1 : 0; }

void envmon_hal_user_fan_speed_change(void) {
  envmon_debug_log("%s: start config user fan speed\n", "envmon_hal_user_fan_speed_change");
  envmon_fan_algo_set_control_thresholds();
  evaluate_and_set_all();
}

bool envmon_hal_altitude_fan_set_needed(uint32_t old_altitude, uint32_t new_altitude) {
  return (old_altitude >= kAltitudeHigh) != (new_altitude >= kAltitudeHigh);
}

void envmon_hal_altitude_sensor_value(uint32_t* value, uint8_t* valid) {
  // No altitude sensor on this platform.
  if (value != nullptr) *value = 0;
  if (valid != nullptr) *valid = 0;
}

}  // extern "C"

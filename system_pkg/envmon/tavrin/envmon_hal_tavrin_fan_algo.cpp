// Fan-control algorithm of platform tavrin: the speed tables, the control
// thresholds, the lowest PWM chosen from the route processors' inlet
// temperature, and the evaluation that gives each fan zone its target speed.
#include <algorithm>
#include <cstring>
#include <iterator>

#include "envhal_private.h"
#include "envhal_tavrin_fan.h"
#include "envhal_tavrin_units.h"
#include "envmon_hal.h"

using namespace envhal::tavrin;

namespace {

constexpr uint32_t kQuelmA = 0x6001010b;
constexpr uint32_t kQuelmB = 0x60010107;

constexpr SpeedRow kQuelmLow[] = {
    {-100, 15, 30}, {16, 25, 45}, {26, 33, 60}, {34, 40, 80}, {41, 120, 100},
};
constexpr SpeedRow kQuelmHigh[] = {
    {-100, 15, 30}, {16, 25, 55}, {26, 33, 70}, {34, 40, 90}, {41, 120, 100},
};
constexpr SpeedRow kTableLow[] = {
    {-100, 23, 44}, {24, 25, 47}, {26, 27, 50}, {28, 29, 55}, {30, 31, 60},
    {32, 33, 65},   {34, 35, 70}, {36, 37, 80}, {38, 39, 90}, {40, 120, 100},
};
constexpr SpeedRow kTableHigh[] = {
    {-100, 23, 60}, {24, 25, 64}, {26, 27, 68}, {28, 29, 73},
    {30, 31, 78},   {32, 33, 83}, {34, 35, 87}, {36, 120, 100},
};

// First-generation (other chassis) inlet bounds.
constexpr int32_t kGen1Level0Max = 30;
constexpr int32_t kGen1Level1Max = 39;
constexpr int32_t kGen1Level1Return = 27;  // leaves level 1 at or below
constexpr int32_t kGen1FullReturn = 36;    // leaves full speed at or below
constexpr int32_t kQuelmHysteresis = 2;

constexpr const char kLowestPwmTrace[] = "FAN_SPEED_LOWEST_PWM %d->%d based on RP%d inlet val %d \n";

// Row of the table whose maximum bounds the inlet (the last row takes the rest).
template <size_t N>
int32_t row_for(const SpeedRow (&table)[N], int32_t inlet) {
  for (size_t r = 0; r + 1 < N; ++r) {
    if (inlet <= table[r].max) return static_cast<int32_t>(r);
  }
  return static_cast<int32_t>(N - 1);
}

bool high_altitude() { return altitude() > kAltitudeHigh - 1; }

void trace_rp_inlets(const int32_t inlet[2]) {
  for (int i = 0; i < 2; ++i) tlg_internal(fanm_tlg_lib_hdl, "RP%d inlet TEMP %d\n", i, inlet[i]);
}

// Second generation: the table row of the inlet, in both directions at once.
void lowest_pwm_by_inlet(int32_t inlet, const int32_t rp_inlet[2], int rp) {
  FanControl& c = control();
  const bool high = chassis_fan_info != nullptr && high_altitude();
  int32_t level;
  int32_t pwm;
  if (!high) {
    tlg_internal(fanm_tlg_lib_hdl, "Altitude less then 1800, hence this table \n\n");
    level = row_for(kTableLow, inlet);
    pwm = kTableLow[level].pwm;
  } else {
    level = row_for(kTableHigh, inlet);
    pwm = kTableHigh[level].pwm;
  }
  c.fan_speed_level = level;
  if (pwm != c.fan_speed_lowest_pwm) {
    trace_rp_inlets(rp_inlet);
    tlg_internal(fanm_tlg_lib_hdl, kLowestPwmTrace, c.fan_speed_lowest_pwm, pwm, rp, inlet);
    c.fan_speed_lowest_pwm = pwm;
  }
}

// First generation: up at once, down only past the hysteresis.
void lowest_pwm_by_inlet_hyst(int32_t inlet, const int32_t rp_inlet[2], int rp) {
  FanControl& c = control();
  const int32_t current = c.fan_speed_lowest_pwm;
  const bool quelm = is_quelm();
  int32_t pwm;
  if (quelm) {
    const SpeedRow* table = high_altitude() ? kQuelmHigh : kQuelmLow;
    c.fan_speed_level = row_for(kQuelmLow, inlet);  // both tables share their bounds
    pwm = table[c.fan_speed_level].pwm;
  } else if (inlet <= kGen1Level0Max) {
    pwm = c.fan_level0_pwm;
  } else if (inlet <= kGen1Level1Max) {
    pwm = c.fan_level1_pwm;
  } else {
    pwm = kFullSpeed;
  }
  if (pwm == current) return;
  for (int i = 0; i < 2; ++i) {
    tlg_internal(fanm_tlg_lib_hdl, "RP%d inlet TEMP %d new lowest pwm %d\n", i, rp_inlet[i], pwm);
  }
  if (pwm > current) {
    tlg_internal(fanm_tlg_lib_hdl, kLowestPwmTrace, current, pwm, rp, inlet);
    c.fan_speed_lowest_pwm = pwm;
    return;
  }
  if (quelm) {
    if (c.fan_speed_table == nullptr) envmon_fan_algo_select_speed_table();
    const int32_t next = c.fan_speed_level + 1;
    // The top row has no row above it to hold the speed for.
    if (next < c.fan_speed_table_rows && c.fan_speed_table[next].min - inlet <= kQuelmHysteresis) {
      tlg_internal(fanm_tlg_lib_hdl,
                   "Quelm FAN_SPEED_LOWEST_PWM %d unchanged on inlet val %d, level %d due to hystersis\n",
                   current, inlet, c.fan_speed_level);
      return;
    }
    tlg_internal(fanm_tlg_lib_hdl,
                 "Quelm FAN_SPEED_LOWEST_PWM %d->%d based on RP%d inlet val %d Fan MIn %d, Index %d\n", current, pwm,
                 rp, inlet, next < c.fan_speed_table_rows ? c.fan_speed_table[next].min : 0, c.fan_speed_level);
    c.fan_speed_lowest_pwm = pwm;
    return;
  }
  if (current == 30) {
    tlg_internal(fanm_tlg_lib_hdl,
                 "FAN_SPEED_LOWEST_PWM %d(default)->%d because of higher available RP%d inlet val %d \n", current,
                 pwm, rp, inlet);
    c.fan_speed_lowest_pwm = pwm;
  } else if (current == c.fan_level1_pwm) {
    if (inlet <= kGen1Level1Return) {
      tlg_internal(fanm_tlg_lib_hdl,
                   "FAN_SPEED_LOWEST_PWM %d(level1)->%d because of higher available RP%d inlet val %d \n", current,
                   pwm, rp, inlet);
      c.fan_speed_lowest_pwm = pwm;
    }
  } else if (current == kFullSpeed) {
    if (inlet <= kGen1FullReturn) {
      tlg_internal(fanm_tlg_lib_hdl,
                   "FAN_SPEED_LOWEST_PWM %d(level2)->%d because of higher available RP%d inlet val %d \n", current,
                   pwm, rp, inlet);
      c.fan_speed_lowest_pwm = pwm;
    }
  }
}

uint32_t rp_slot(int i) {
  if (envmon_rm == nullptr || envmon_rm->rp_hw_position == nullptr) return ENVMON_SLOT_SELF;
  return envmon_rm->rp_hw_position[i];
}

// The lowest PWM from the hotter of the two route processors' inlets.
void read_rp_inlet() {
  FanControl& c = control();
  const int32_t zone = envmon_fan_zone_of_slot(rp_slot(0));
  if (zone > 5) {
    tlg_internal(fanm_tlg_lib_hdl, "got fan zone %d for RP\n", zone);
    return;
  }
  const fan_algo_sensor* node = zone_lists().head[zone];
  if (node == nullptr) {
    c.fan_speed_lowest_pwm = kFullSpeed;
    return;
  }
  int32_t rp_inlet[2] = {0, 0};
  int32_t max_inlet = 0;
  int rp = 0;
  bool found = false;
  for (; node != nullptr; node = node->next) {
    for (int i = 0; i < 2; ++i) {
      if (static_cast<uint32_t>(node->slot) != rp_slot(i) || std::strstr(node->name, "Inlet") == nullptr) continue;
      found = true;
      rp_inlet[i] = node->value;
      if (node->value > max_inlet) {
        max_inlet = node->value;
        rp = i;
      }
    }
  }
  if (!found) {
    c.fan_speed_lowest_pwm = kFullSpeed;
    return;
  }
  if (chassis_ft_type == 2 || chassis_ft_type == 4 || chassis_ft_type == 6) {
    lowest_pwm_by_inlet(max_inlet, rp_inlet, rp);
  } else {
    lowest_pwm_by_inlet_hyst(max_inlet, rp_inlet, rp);
  }
}

void set_all_zones(uint8_t speed) {
  for (fan_zone_info& z : chassis_fan_info->zones) z.speed = z.last_speed = speed;
}

// Zone speeds from the zones' sensors once the lowest PWM is known.
void zone_speeds() {
  const int32_t lowest = control().fan_speed_lowest_pwm;
  for (int32_t zone = 0; zone < ENVMON_FAN_ZONES; ++zone) {
    fan_zone_info& z = chassis_fan_info->zones[zone];
    const fan_algo_sensor* head = zone_lists().head[zone];
    uint8_t speed = static_cast<uint8_t>(lowest);
    if (head != nullptr) {
      bool warm = false;
      int32_t smallest = 5;
      for (const fan_algo_sensor* n = head; n != nullptr; n = n->next) {
        if (n->state == ENVMON_FAN_SENSOR_WARM || n->state == ENVMON_FAN_SENSOR_CRITICAL) warm = true;
        smallest = std::min(smallest, n->deltaT);
      }
      if (warm) {
        speed = kFullSpeed;
      } else {
        z.last_smallest_deltaT = z.smallest_deltaT;
        z.smallest_deltaT = smallest;
      }
    }
    z.speed = z.last_speed = speed;
  }
}

// The evaluation on quelm chassis: degraded on any major sensor or faulty fan,
// and a running hold of the optics ramp-down also blocks it.
void quelm_process_fan_speed() {
  FanControl& c = control();
  FanTimers& t = timers();
  if (sensor_major_crossed != 0 || chassis_fan_info->envmon_fan_state == ENVMON_FAN_ONE_MISSING ||
      chassis_fan_info->envmon_fan_state == ENVMON_FAN_TWO_MISSING ||
      chassis_fan_info->num_fans_out_of_tolerance != 0) {
    set_all_zones(kFullSpeed);
    leaf_stop(t.period);
    disable_optics_FT_algo();
    tlg_internal(fanm_tlg_lib_hdl, "FAN_ALGO_OPTICS:Speed set to MAX.\n");
    return;
  }
  if (leaf_running(t.optics_ramp) || (enable_fan_ramp_down != 0 && leaf_running(t.optics_hold))) {
    tlg_internal(fanm_tlg_lib_hdl, "FAN_ALGO_OPTICS:ramping/hold timer already running, do nothing\n");
    return;
  }
  if (leaf_running(t.optics_wait)) {
    tlg_internal(fanm_tlg_lib_hdl, " FAN_ALGO_OPTICS:in 5 min wait\n");
    return;
  }
  if (c.is_optics_ramping != 0 || c.optics_ramp_down != 0) {
    tlg_internal(fanm_tlg_lib_hdl, "Ramp index %d, Up %d Down %d\n", c.fan_speed_level, c.is_optics_ramping,
                 c.optics_ramp_down);
    optics_ramp_step(true);
  } else {
    read_rp_inlet();
    envmon_fan_algo_select_speed_table();
    c.fan_speed_normal_level = c.fan_speed_level;
  }
  if (c.fan_speed_lowest_pwm == kFullSpeed) {
    set_all_zones(kFullSpeed);
    return;
  }
  zone_speeds();
}

}  // namespace

extern "C" {

uint8_t chassis_ft_type = 0;

int is_fan_tray_type_gen2(void) { return chassis_ft_type == 2 || chassis_ft_type == 4 || chassis_ft_type == 6; }

uint32_t envmon_hal_get_fans_per_tray(void) {
  const uint32_t chassis = envmon_rm != nullptr ? envmon_rm->chassis_type : 0;
  if (chassis == kChassis16Slot) return 12;
  if (chassis == kChassis4Slot) return 4;
  return 6;
}

}  // extern "C"

namespace envhal::tavrin {

bool is_quelm() {
  const uint32_t chassis = envmon_rm != nullptr ? envmon_rm->chassis_type : 0;
  return chassis == kQuelmA || chassis == kQuelmB;
}

uint32_t altitude() { return envmon_rm != nullptr ? envmon_rm->env_cfg.altitude : 0; }

bool fan_tray_ctrl_on() { return envmon_rm != nullptr && envmon_rm->env_cfg.ft_ctrl == 1; }

uint32_t max_fantray() { return envmon_hal_get_max_fantray(); }

void envmon_fan_algo_set_control_thresholds() {
  if (envmon_rm == nullptr) {
    tlg_internal(fanm_tlg_lib_hdl, "%s: envmon RM is NULL\n", "envmon_fan_algo_set_control_thresholds");
    return;
  }
  FanControl& c = control();
  const bool optics = envmon_rm->fan_ctrl_optics != 0;
  switch (chassis_ft_type) {
    case 0:
    case 1:
      chassis_ft_type = optics ? 1 : 0;
      break;
    case 2:
    case 3:
      chassis_ft_type = optics ? 3 : 2;
      break;
    case 4:
    case 5:
      chassis_ft_type = optics ? 5 : 4;
      break;
    case 6:
      break;
    default:
      tlg_internal(fanm_tlg_lib_hdl, "Invalid chassis FT type %d\n", chassis_ft_type);
      return;
  }
  tlg_internal(fanm_tlg_lib_hdl, "Current Chassis FT type is %d.\n", chassis_ft_type);
  if (optics) {
    c.fan_level0_pwm = 35;
    c.fan_level1_pwm = 100;
  } else if (!is_fan_tray_type_gen2()) {
    c.fan_level1_pwm = envmon_rm->chassis_type == kChassis16Slot ? 55 : 50;
    c.fan_level0_pwm = 20;
  }
}

void envmon_fan_algo_select_speed_table() {
  FanControl& c = control();
  const bool high = high_altitude();
  if (is_quelm()) {
    c.fan_speed_table = high ? kQuelmHigh : kQuelmLow;
    c.fan_speed_table_rows = static_cast<int32_t>(std::size(kQuelmLow));
  } else if (is_fan_tray_type_gen2() && high) {
    c.fan_speed_table = kTableHigh;
    c.fan_speed_table_rows = static_cast<int32_t>(std::size(kTableHigh));
  } else {
    c.fan_speed_table = kTableLow;
    c.fan_speed_table_rows = static_cast<int32_t>(std::size(kTableLow));
  }
}

void envmon_tavrin_process_fan_speed() {
  if (chassis_fan_info == nullptr) {
    tlg_internal(fanm_tlg_lib_hdl, "%s: chassis info structure is NULL.\n", "envmon_tavrin_process_fan_speed");
    return;
  }
  if (is_quelm()) {
    quelm_process_fan_speed();
    return;
  }
  FanControl& c = control();
  FanTimers& t = timers();
  if (chassis_fan_info->envmon_fan_state == ENVMON_FAN_ONE_MISSING ||
      chassis_fan_info->envmon_fan_state == ENVMON_FAN_TWO_MISSING ||
      chassis_fan_info->num_fans_out_of_tolerance > 1) {
    set_all_zones(kFullSpeed);
    leaf_stop(t.period);
    return;
  }
  if (leaf_running(t.optics_ramp)) {
    tlg_internal(fanm_tlg_lib_hdl, "FAN_ALGO_OPTICS:ramping timer already running, do nothing\n");
    return;
  }
  if (leaf_running(t.optics_wait)) {
    tlg_internal(fanm_tlg_lib_hdl, "FAN_ALGO_OPTICS:in 5 min wait\n");
    return;
  }
  if (c.is_optics_ramping != 0 || c.optics_ramp_down != 0) {
    optics_ramp_step(false);
  } else {
    read_rp_inlet();
    envmon_fan_algo_select_speed_table();
    c.fan_speed_normal_level = c.fan_speed_level;
  }
  if (c.fan_speed_lowest_pwm == kFullSpeed) {
    set_all_zones(kFullSpeed);
    return;
  }
  zone_speeds();
}

void all_zones_full_speed() {
  if (chassis_fan_info != nullptr) set_all_zones(kFullSpeed);
}

void evaluate_and_set_all() {
  envmon_tavrin_process_fan_speed();
  envmon_tavrin_fan_speed_set(true, 0, true);
}

}  // namespace envhal::tavrin

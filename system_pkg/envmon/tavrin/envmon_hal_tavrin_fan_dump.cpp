// Debug dump of fan management's data.
#include "envhal_private.h"
#include "envhal_tavrin_fan.h"
#include "envmon_hal.h"

using namespace envhal::tavrin;

namespace {

void dump_stats(const char* what, uint32_t n, const slot_temp_alarm_stats* stats) {
  for (uint32_t i = 0; i < n; ++i) {
    const int32_t zone = envmon_fan_zone_of_slot(what[0] == 'M' ? i + 512 : i);
    envmon_debug_log("%s %d: fan zone %d, num_minor %d, num_major %d, num_critical %d\n", what, i, zone,
                     stats[i].num_minor, stats[i].num_major, stats[i].num_critical);
  }
}

}  // namespace

extern "C" void envmon_hal_fan_mgmt_dump_data_structures(void) {
  envmon_debug_log("FAN DATA STRUCTURES\n");
  if (envmon_rm != nullptr) {
    envmon_debug_log("role %d, altitude %d, max fan trays %d, fan_tray_ctrl %d, envmon_ctrl %d\n", envmon_rm->svc_role,
                     envmon_rm->env_cfg.altitude, max_fantray(), envmon_rm->env_cfg.ft_ctrl,
                     envmon_rm->env_cfg.envmon_ctrl);
  }
  if (envmon_nm != nullptr) envmon_debug_log("temp sensors in fault %d\n", envmon_nm->temp_sensors_in_fault);
  if (chassis_fan_info == nullptr) return;
  const chassis_fan_info_t& info = *chassis_fan_info;
  envmon_debug_log("FAN STATE = %d\n", info.envmon_fan_state);
  envmon_debug_log("TEMPERATURE STATE = %d\n", info.envmon_temp_state);
  envmon_debug_log("temp_sensors_in_alarm = %d\n", info.temp_sensors_in_alarm);
  envmon_debug_log("num_fans_out_of_tolerance  = %d\n", info.num_fans_out_of_tolerance);
  for (int32_t z = 0; z < ENVMON_FAN_ZONES; ++z) {
    envmon_debug_log("Fan Zone %d: speed %d, last_speed %d, smallest_deltaT %d \n", z, info.zones[z].speed,
                     info.zones[z].last_speed, info.zones[z].smallest_deltaT);
  }
  const uint32_t fans = envmon_hal_get_fans_per_tray();
  for (uint32_t t = 0; t < max_fantray() && info.trays != nullptr; ++t) {
    const fan_tray_info& tray = info.trays[t];
    const uint32_t in_fault =
        envmon_rm != nullptr && envmon_rm->fantray_cb != nullptr ? envmon_rm->fantray_cb[t].speed_sensors_in_fault : 0;
    envmon_debug_log("tray %d: active %d, inv_reg %d, alarm_state %d, oir_ev_rcvd %d, idprom_access_fail %d, "
                     "speed_sensors_in_fault %d\n",
                     t, tray.active, tray.inv_reg, tray.alarm_state, tray.oir_ev_rcvd, tray.idprom_access_fail,
                     in_fault);
    for (uint32_t f = 0; f < fans; ++f) {
      const fan_info& fan = tray.fans[f];
      envmon_debug_log("tray %d fan %d: h_zone %d, v_zone %d\n", t, f, fan.h_zone, fan.v_zone);
      envmon_debug_log("tray %d fan %d: speed %dPWM, last_speed %dPWM\n", t, f, fan.speed, fan.last_speed);
      envmon_debug_log("tray %d fan %d: hw_speed from fan driver %d\n", t, f, fan.hw_speed);
    }
  }
  dump_stats("SLOT", ENVMON_FAN_CARD_SLOTS, slot_alarm_stats());
  dump_stats("MPA", ENVMON_FAN_MPA_SLOTS, mpa_alarm_stats());
  const ZoneLists& lists = zone_lists();
  for (int32_t z = 0; z < ENVMON_FAN_ZONES; ++z) {
    envmon_debug_log("Fan Zone %d sensor list:\n", z);
    int32_t n = 0;
    for (const fan_algo_sensor* s = lists.head[z]; s != nullptr; s = s->next, ++n) {
      envmon_debug_log(" %s->\n", s->name);
      envmon_debug_log("     slot %d, value %d, deltaT %d, state %d, threshold %d, last_threshold %d\n", s->slot,
                       s->value, s->deltaT, s->state, s->threshold, s->last_threshold);
    }
    envmon_debug_log("null\n");
    if (n != lists.count[z]) {
      envmon_debug_log("### ERROR in sensor list, zone=%d, curr_cnt=%d, sensor_list_cnt=%d\n", z, n, lists.count[z]);
    }
  }
}

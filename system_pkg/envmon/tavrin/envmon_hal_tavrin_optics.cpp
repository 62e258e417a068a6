// Optics-driven fan ramp: while any optics module is at its minor-high
// temperature the fans step up one row of the speed table every 90 s; once the
// optics are cool for 5 minutes they step down one row every 10 minutes back
// to the row the route processors' inlet asks for. A 15-minute recover timer
// ends it all when no optics event renews it.
#include <algorithm>
#include <cstdlib>

#include "envhal_private.h"
#include "envhal_tavrin_fan.h"
#include "envmon_hal.h"

using namespace envhal::tavrin;

namespace {

constexpr uint32_t kTagOptics = 79;
constexpr const char kOpticsText[] = "Optics fan algo running.";

void free_node(optics_sensor* node) {
  envmon_free_tsi(&node->eid);
  std::free(node);
}

// Unlinks and frees the node after `link`.
void remove_at(optics_sensor** link) {
  optics_sensor* node = *link;
  *link = node->next;
  free_node(node);
}

}  // namespace

namespace envhal::tavrin {

void free_optics_list() {
  while (optics_sensor_list != nullptr) remove_at(&optics_sensor_list);
}

void optics_ramp_step(bool quelm) {
  FanControl& c = control();
  if (optics_sensor_list != nullptr) {
    ++c.fan_speed_level;
    c.is_optics_ramping = 1;
  } else {
    --c.fan_speed_level;
    c.optics_ramp_down = 1;
    c.is_optics_ramping = 0;
  }
  if (c.fan_speed_table == nullptr) envmon_fan_algo_select_speed_table();
  const int32_t rows = c.fan_speed_table_rows;
  c.fan_speed_level = std::clamp(c.fan_speed_level, 0, rows - 1);
  if (c.fan_speed_level <= c.fan_speed_normal_level) {
    c.is_optics_ramping = 0;
    c.optics_ramp_down = 0;
    c.fan_speed_level = c.fan_speed_normal_level;
    tlg_internal(fanm_tlg_lib_hdl, "FAN_ALGO_OPTICS:optics ramping over\n");
    leaf_stop(timers().optics_recover);
  } else {
    c.is_optics_ramping = 1;
  }
  tlg_internal(fanm_tlg_lib_hdl,
               "FAN_ALGO_OPTICS:new_index:%d is_optics_ramping:%d last index(at normal ramping):%d optics_list:%p\n",
               c.fan_speed_level, c.is_optics_ramping, c.fan_speed_normal_level,
               static_cast<void*>(optics_sensor_list));
  if (!quelm && c.fan_speed_level == rows - 1 && !leaf_running(timers().optics_recover)) {
    leaf_start(timers().optics_recover, kOpticsRecoverSecs);
  }
  c.fan_speed_lowest_pwm = c.fan_speed_table[std::clamp(c.fan_speed_level, 0, rows - 1)].pwm;
}

void optics_ramp_expired() {
  FanControl& c = control();
  c.is_optics_ramping = 1;
  restart_optics_recover_timer();
  evaluate_and_set_all();
  if (c.is_optics_ramping != 0) leaf_start(timers().optics_ramp, kOpticsRampSecs);
}

void optics_wait_or_hold_expired(uint32_t type) {
  FanControl& c = control();
  FanTimers& t = timers();
  tlg_internal(fanm_tlg_lib_hdl, " FAN_ALGO_OPTICS:WAIT and RAMP                                   down expired type %d\n",
               type);
  leaf_stop(t.optics_wait);
  leaf_stop(t.optics_ramp);
  leaf_stop(t.optics_hold);
  restart_optics_recover_timer();
  c.is_optics_ramping = 0;
  c.optics_ramp_down = 1;
  evaluate_and_set_all();
  if (c.optics_ramp_down != 0) {
    tlg_internal(fanm_tlg_lib_hdl, " FAN_ALGO_OPTICS:fan ramp down timer started\n");
    leaf_start(t.optics_hold, kOpticsHoldSecs);
    enable_fan_ramp_down = 1;
  } else {
    envmon_hal_optics_FT_alm(0);
    tlg_internal(fanm_tlg_lib_hdl, " FAN_ALGO_OPTICS:normal timer started:\n");
    leaf_start(t.period, kPeriodSecs);
  }
}

void optics_recover_expired() {
  disable_optics_FT_algo();
  tlg_internal(fanm_tlg_lib_hdl, "FAN_ALGO_OPTICS: optics ramp recover timer expired \n\n");
}

void optics_reading(const pelm_eid* eid, uint32_t slot, int32_t value, int32_t minor_high, uint32_t oper_state) {
  if (is_timer_init_done() == 0) {
    tlg_internal(fanm_tlg_lib_hdl, "FAN_ALGO_OPTICS:Timer init is not done\n");
    return;
  }
  tlg_internal(fanm_tlg_lib_hdl, "FAN_ALGO_OPTICS:NOTIFICATION slot: %d value:%d minor_high:%d oper_state:%d\n", slot,
               value, minor_high, oper_state);
  optics_sensor** link = &optics_sensor_list;
  while (*link != nullptr && (*link)->slot != static_cast<int32_t>(slot)) link = &(*link)->next;
  if (oper_state == 1 && value >= minor_high && minor_high > 0) {
    optics_sensor* node = *link;
    if (node != nullptr) {
      node->last_value = node->value;
      node->last_deltaT = node->deltaT;
    } else {
      node = static_cast<optics_sensor*>(std::calloc(1, sizeof(optics_sensor)));
      if (node == nullptr) {
        tlg_internal(err_tlg_lib_hdl, "%s(): no memory\n", "envmon_hal_process_optics_sensor");
        return;
      }
      if (eid == nullptr || inv_util_copy_pelm_eid_to_pelm_eid(eid, &node->eid) != INV_UTIL_OK) {
        std::free(node);
        return;
      }
      node->slot = static_cast<int32_t>(slot);
      node->next = optics_sensor_list;
      optics_sensor_list = node;
    }
    node->value = value;
    node->deltaT = minor_high - value;
    optics_ramp_wait_timer_start_stop(0);
    tlg_internal(fanm_tlg_lib_hdl, "FAN_ALGO_OPTICS:slot:%d\n", slot);
    update_fan_speed();
    restart_optics_recover_timer();
    return;
  }
  if (optics_sensor_list == nullptr) {
    tlg_internal(fanm_tlg_lib_hdl, "optics_sensor_list,list is NULL \n");
    return;
  }
  if (*link != nullptr) {
    remove_at(link);
    restart_optics_recover_timer();
  }
  if (optics_sensor_list == nullptr) {
    tlg_internal(fanm_tlg_lib_hdl, "Optics ramp wait timer started\n");
    optics_ramp_wait_timer_start_stop(1);
  } else {
    tlg_internal(fanm_tlg_lib_hdl, "Optics sensor list is not empty\n \n");
  }
}

}  // namespace envhal::tavrin

extern "C" {

int32_t update_fan_speed(void) {
  FanControl& c = control();
  leaf_stop(timers().period);
  if (c.is_optics_ramping != 0) return 0;
  tlg_internal(fanm_tlg_lib_hdl, "FAN_ALGO_OPTICS:optics ramp started\n");
  c.is_optics_ramping = 1;
  evaluate_and_set_all();
  leaf_start(timers().optics_ramp, kOpticsRampSecs);
  envmon_hal_optics_FT_alm(1);
  return 0;
}

int32_t restart_optics_recover_timer(void) {
  tlg_internal(fanm_tlg_lib_hdl, "Recover timer restarted\n\n");
  leaf_stop(timers().optics_recover);
  leaf_start(timers().optics_recover, kOpticsRecoverSecs);
  return 0;
}

int32_t optics_ramp_wait_timer_start_stop(uint8_t start) {
  FanTimers& t = timers();
  if (start != 0) {
    tlg_internal(fanm_tlg_lib_hdl, "Wait timer restarted\n\n");
    leaf_stop(t.optics_wait);
    leaf_start(t.optics_wait, kOpticsWaitSecs);
    return 0;
  }
  tlg_internal(fanm_tlg_lib_hdl, "Wait timer stopped\n\n");
  if (leaf_running(t.optics_wait)) {
    tlg_internal(fanm_tlg_lib_hdl, "ramp wait timer stoped\n");
    leaf_stop(t.optics_wait);
  }
  return 0;
}

void disable_optics_FT_algo(void) {
  FanControl& c = control();
  FanTimers& t = timers();
  c.is_optics_ramping = 0;
  c.optics_ramp_down = 0;
  free_optics_list();
  leaf_stop(t.optics_ramp);
  if (enable_fan_ramp_down != 0) leaf_stop(t.optics_hold);
  leaf_stop(t.optics_wait);
  envmon_hal_optics_FT_alm(0);
}

void envmon_hal_optics_FT_alm(uint8_t raise) {
  static constexpr char kFunc[] = "envmon_hal_optics_FT_alm";
  pelm_eid* chassis = envmon_rm != nullptr ? &envmon_rm->chassis_eid : nullptr;
  const envmon_err_t rc = report_fault(
      ENVMON_SCOPE_RACK, {16, kTagOptics, 0, raise != 0 ? 1 : 2, 2, raise != 0 ? kOpticsText : nullptr, nullptr, chassis});
  if (rc != ENVMON_OK) {
    tlg_internal(err_tlg_lib_hdl, "In %s: envmon_fm_fault_report returned error for %s alarm, rc = %ld.\n", kFunc,
                 raise != 0 ? "raising" : "clearing", static_cast<long>(rc));
  } else {
    tlg_internal(fanm_tlg_lib_hdl, "In %s: envmon_fm_fault_report ok for %s alarm\n", kFunc,
                 raise != 0 ? "raising" : "clearing");
  }
}

void envmon_hal_fan_algo_optics_sensor_list_upd(uint32_t slot, uint32_t card_type, uint8_t inserted) {
  if (!is_optics_line_card(card_type) || optics_sensor_list == nullptr)
    return;
  tlg_internal(fanm_tlg_lib_hdl, "FAN_ALGO_OPTICS:slot:%ul inserted:%d\n", slot, inserted);
  if (inserted != 0) return;
  bool removed = false;
  optics_sensor** link = &optics_sensor_list;
  while (*link != nullptr) {
    if (envmon_hal_if_logical_slot_to_lc_logical_slot(static_cast<uint32_t>((*link)->slot)) != slot) {
      link = &(*link)->next;
      continue;
    }
    tlg_internal(fanm_tlg_lib_hdl,
                 link == &optics_sensor_list ? "FAN_ALGO_OPTICS:removing node slot:%ul\n"
                                             : "FAN_ALGO_OPTICS:removing node in between slot:%ul\n",
                 (*link)->slot);
    remove_at(link);
    removed = true;
  }
  if (optics_sensor_list == nullptr) optics_ramp_wait_timer_start_stop(1);
  if (removed) restart_optics_recover_timer();
}

void envmon_hal_fan_algo_optics_removal(uint32_t slot) {
  if (optics_sensor_list == nullptr) return;
  optics_sensor** link = &optics_sensor_list;
  while (*link != nullptr && (*link)->slot != static_cast<int32_t>(slot)) link = &(*link)->next;
  if (*link != nullptr) {
    remove_at(link);
    restart_optics_recover_timer();
    tlg_internal(fanm_tlg_lib_hdl, "FAN_ALGO_OPTICS:removing node slot:%ul\n", slot);
  }
  if (optics_sensor_list == nullptr) optics_ramp_wait_timer_start_stop(1);
}

}  // extern "C"

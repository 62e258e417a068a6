// Start and stop of fan management and its timer tree: the start-up wait for
// the fan trays, the periodic evaluation, the ramp steps, the shutdown
// delays and the optics ramp, all dispatched by one timer handler.
#include <cstdlib>

#include "envhal_private.h"
#include "envhal_tavrin_fan.h"
#include "envmon_drvif.h"
#include "envmon_hal.h"
#include "envmon_invreg.h"
#include "evloop.h"

using namespace envhal::tavrin;

namespace {

constexpr const char kLeafLabel[] = "Main-Thread Timer";

[[noreturn]] void out_of_memory(const char* func, int line) {
  tlg_internal(err_tlg_lib_hdl, "%s(): no memory\n", func);
  envmon_debug_log("%s:%d - exiting()\n", func, line);
  std::exit(-1);
}

bool new_leaf(uint32_t type, void* context, mtimer_leaf_t** leaf) {
  return envmon_mtimer_leaf_new(timers().tree, nullptr, type, context, kLeafLabel, leaf) == 0;
}

// The tree and its leaves; a failure is traced and ends the set-up, keeping
// what was made.
bool create_timers() {
  FanTimers& t = timers();
  t.tree = mtimer_tree_new(0, nullptr);
  if (t.tree == nullptr) {
    tlg_internal(err_tlg_lib_hdl, "creating timer tree failed\n");
    tlg_internal(err_tlg_lib_hdl, "Timer create failed\n");
    return false;
  }
  if (evloop_attach_tree_timer(envmon_evloop, t.tree, envmon_main_timer_handler, nullptr, 0, 0, 0) < 0) {
    tlg_internal(err_tlg_lib_hdl, "Timer attach failed\n");
    return false;
  }
  struct Single {
    uint32_t type;
    mtimer_leaf_t** leaf;
    const char* failure;
  };
  const Single singles[] = {
      {kLeafInit, &t.init, "Timer leaf attach to tree failed\n"},
      {kLeafPeriod, &t.period, "Timer leaf attach to tree failed\n"},
      {kLeafRamp, &t.ramp, "Timer leaf attach to tree failed\n"},
      {kLeafOpticsRamp, &t.optics_ramp, "Timer leaf attach to tree failed\n"},
      {kLeafOpticsHold, &t.optics_hold, "Timer leaf hold/ramp-down attach to tree failed\n"},
      {kLeafOpticsWait, &t.optics_wait, "Timer leaf attach to tree failed\n"},
      {kLeafOpticsRecover, &t.optics_recover, "Timer leaf attach to tree failed\n"},
      {kLeafChassisShut, &t.chassis_shut, "Timer leaf attach to tree failed\n"},
  };
  for (const Single& s : singles) {
    if (!new_leaf(s.type, nullptr, s.leaf)) {
      tlg_internal(err_tlg_lib_hdl, "%s", s.failure);
      return false;
    }
  }
  for (uint32_t slot = 0; slot < ENVMON_FAN_CARD_SLOTS; ++slot) {
    card_shut_context[slot] = static_cast<int32_t>(slot);
    if (!new_leaf(kLeafCardShut, &card_shut_context[slot], &t.card_shut[slot])) {
      tlg_internal(err_tlg_lib_hdl, "Timer leaf attach to tree failed. slot = %d\n", slot);
      return false;
    }
  }
  for (uint32_t mpa = 0; mpa < ENVMON_FAN_MPA_SLOTS; ++mpa) {
    mpa_shut_context[mpa] = static_cast<int32_t>(mpa);
    if (!new_leaf(kLeafMpaShut, &mpa_shut_context[mpa], &t.mpa_shut[mpa])) {
      tlg_internal(err_tlg_lib_hdl, "Timer leaf attach to tree failed. MPA slot = %d\n", mpa);
      return false;
    }
  }
  return true;
}

// Every leaf that was made, then the tree; nothing is left pointing at them.
void free_timers() {
  FanTimers& t = timers();
  for (mtimer_leaf_t** leaf : {&t.init, &t.period, &t.ramp, &t.chassis_shut, &t.optics_ramp, &t.optics_wait,
                               &t.optics_hold, &t.optics_recover}) {
    mtimer_leaf_free(*leaf);
    *leaf = nullptr;
  }
  for (mtimer_leaf_t*& leaf : t.card_shut) {
    mtimer_leaf_free(leaf);
    leaf = nullptr;
  }
  for (mtimer_leaf_t*& leaf : t.mpa_shut) {
    mtimer_leaf_free(leaf);
    leaf = nullptr;
  }
  if (t.tree != nullptr) mtimer_tree_free(t.tree);
  t.tree = nullptr;
}

// Expiry of the start-up leaf. False when the handler is to return at once.
bool startup_pass() {
  static constexpr char kFunc[] = "envmon_main_timer_handler";
  FanControl& c = control();
  FanTimers& t = timers();
  bool alarm_only = false;
  if (c.init_wait_cnt != 0) {
    bool asked = false;
    uint8_t all_seen = 0;
    if (envmon_rm->inv_capi_connected == 1 && envmon_rm->inv_invreg_connected == 1 && envmon_nm != nullptr &&
        envmon_nm->drvif_connected[ENVMON_DRV_FAN] != 0) {
      asked = true;
      if (envmon_fantray_idprom_fail_check(&all_seen) == 0) {
        leaf_start(t.init, kInitSettleSecs);
        tlg_internal(fanm_tlg_lib_hdl, "envmon_init_tmr started after init_wait cnt %d\n", c.init_wait_cnt);
        c.init_wait_cnt = 0;
        return false;
      }
    }
    ++c.init_wait_cnt;
    leaf_start(t.init, kInitWaitSecs);
    if (!asked || all_seen == 0) return false;
    alarm_only = true;
  }
  const uint32_t trays = max_fantray();
  for (uint32_t i = 0; i < trays; ++i) {
    const fan_tray_info& tray = chassis_fan_info->trays[i];
    if (tray.active != 0 || tray.idprom_access_fail != 0) continue;
    if (alarm_only && tray.alarm_state != 0) continue;
    raise_tray_removed(i, true);
  }
  if (alarm_only) return true;

  const uint32_t present = envmon_count_present_fantrays();
  if (present == trays) {
    chassis_fan_info->envmon_fan_state = ENVMON_FAN_ALL_PRESENT;
  } else if (present + 1 == trays) {
    chassis_fan_info->envmon_fan_state = ENVMON_FAN_ONE_MISSING;
  } else {
    trays_missing_check_start(present);
  }
  if (present > 0) evaluate_and_set_all();
  if (chassis_fan_info->envmon_fan_state == ENVMON_FAN_ALL_PRESENT && !leaf_running(t.period)) {
    leaf_start(t.period, kPeriodSecs);
  }
  tlg_internal(fanm_tlg_lib_hdl, "%s(): Init complete\n", kFunc);
  return true;
}

}  // namespace

extern "C" {

envmon_err_t envmon_hal_fan_mgmt_init(void) {
  static constexpr char kFunc[] = "envmon_hal_fan_mgmt_init";
  // A fresh start begins from the start values, whatever an earlier run left.
  if (chassis_fan_info == nullptr) reset_run_control();
  if (envmon_rm != nullptr && envmon_rm->fantray_cb != nullptr) {
    for (uint32_t i = 0; i < max_fantray(); ++i) envmon_rm->fantray_cb[i].speed_sensors_in_fault = 0;
  }
  envmon_fan_algo_set_control_thresholds();
  if (chassis_fan_info != nullptr) {
    envmon_capi_inv_request_temp_notification();
    return ENVMON_OK;
  }

  chassis_fan_info = static_cast<chassis_fan_info_t*>(std::calloc(1, sizeof(chassis_fan_info_t)));
  if (chassis_fan_info == nullptr) out_of_memory(kFunc, __LINE__);
  const uint32_t trays = max_fantray();
  const uint32_t fans = envmon_hal_get_fans_per_tray();
  if (trays > 0) {
    chassis_fan_info->trays = static_cast<fan_tray_info*>(std::calloc(trays, sizeof(fan_tray_info)));
    if (chassis_fan_info->trays == nullptr) out_of_memory(kFunc, __LINE__);
    for (uint32_t i = 0; i < trays; ++i) {
      chassis_fan_info->trays[i].fans = static_cast<fan_info*>(std::calloc(fans, sizeof(fan_info)));
      if (chassis_fan_info->trays[i].fans == nullptr) out_of_memory(kFunc, __LINE__);
      init_tray_fans(i);
    }
  }
  for (fan_zone_info& z : chassis_fan_info->zones) {
    z.speed = z.last_speed = ENVMON_FAN_PWM_UNSET;
    z.smallest_deltaT = z.last_smallest_deltaT = 5;
  }
  chassis_fan_info->envmon_temp_state = 1;
  chassis_fan_info->envmon_fan_state = ENVMON_FAN_ALL_PRESENT;

  if (create_timers()) {
    leaf_start(timers().init, kInitWaitSecs);
    tlg_internal(fanm_tlg_lib_hdl, "envmon_init_tmr INIT_WAIT started\n");
    envmon_capi_inv_request_temp_notification();
  }
  envmon_debug_log("%s: Init done!\n", kFunc);
  return ENVMON_OK;
}

void envmon_hal_fan_mgmt_uninit(void) {
  free_zone_lists();
  if (chassis_fan_info != nullptr) {
    if (chassis_fan_info->trays != nullptr) {
      for (uint32_t i = 0; i < max_fantray(); ++i) std::free(chassis_fan_info->trays[i].fans);
      std::free(chassis_fan_info->trays);
    }
    std::free(chassis_fan_info);
    chassis_fan_info = nullptr;
  }
  free_timers();
  for (uint32_t i = 0; i < ENVMON_FAN_CARD_SLOTS; ++i) slot_alarm_stats()[i] = slot_temp_alarm_stats{};
  for (uint32_t i = 0; i < ENVMON_FAN_MPA_SLOTS; ++i) mpa_alarm_stats()[i] = slot_temp_alarm_stats{};
  for (uint32_t i = 0; i < max_fantray(); ++i) envmon_rm_fan_cb_cleanup(i);
}

int envmon_main_timer_handler(mtimer_tree_t* tree, void* /*ctx*/) {
  static constexpr char kFunc[] = "envmon_main_timer_handler";
  while (mtimer_leaf_t* leaf = mtimer_tree_first_expired(tree)) {
    const uint32_t type = mtimer_leaf_get_type(leaf);
    if (chassis_fan_info != nullptr) {
      tlg_internal(fanm_tlg_lib_hdl,
                   "%s():type = %d, envmon_fan_state = %d, envmon_temp_state = %d, temp_sensors_in_alarm = %d, \n",
                   kFunc, type, chassis_fan_info->envmon_fan_state, chassis_fan_info->envmon_temp_state,
                   chassis_fan_info->temp_sensors_in_alarm);
    }
    mtimer_leaf_stop(leaf);
    // A timer of a stopped fan management has nothing left to act on.
    if (chassis_fan_info == nullptr) continue;
    switch (type) {
      case kLeafInit:
        if (!startup_pass()) return 0;
        break;
      case kLeafPeriod:
        if (leaf_running(timers().optics_ramp)) break;
        evaluate_and_set_all();
        if (chassis_fan_info->envmon_fan_state == ENVMON_FAN_ALL_PRESENT) leaf_start(timers().period, kPeriodSecs);
        break;
      case kLeafChassisShut:
        chassis_shut_expired();
        break;
      case kLeafCardShut: {
        const auto* slot = static_cast<const int32_t*>(mtimer_leaf_get_context(leaf));
        if (slot != nullptr) card_shut_expired(static_cast<uint32_t>(*slot));
        break;
      }
      case kLeafMpaShut:
        mpa_shut_expired(static_cast<const int32_t*>(mtimer_leaf_get_context(leaf)));
        break;
      case kLeafRamp:
        tlg_internal(fanm_tlg_lib_hdl, "in ramp timer :\n");
        envmon_tavrin_fan_speed_set(true, 0, true);
        break;
      case kLeafOpticsRamp:
        optics_ramp_expired();
        break;
      case kLeafOpticsHold:
      case kLeafOpticsWait:
        optics_wait_or_hold_expired(type);
        break;
      case kLeafOpticsRecover:
        optics_recover_expired();
        break;
      default:
        tlg_internal(err_tlg_lib_hdl, "unrecognized timer event\n");
        break;
    }
  }
  return 0;
}

int is_timer_init_done(void) { return timers().tree != nullptr && timers().optics_ramp != nullptr ? 1 : 0; }

}  // extern "C"

#include "fan_test_support.h"

#include <cstdio>
#include <cstring>

#include <gtest/gtest.h>

#include "alarmd.h"
#include "envmon_drvif.h"
#include "envmon_fm.h"
#include "envmon_hal.h"
#include "envmon_invreg.h"
#include "envmon_stats.h"
#include "sim_clock.h"

namespace fantest {

Neighbours& nb() {
  static Neighbours n;
  return n;
}

void reset_neighbours() { nb() = Neighbours{}; }

std::vector<Fault> faults_of(uint32_t type, uint32_t tag) {
  std::vector<Fault> out;
  for (const Fault& f : nb().faults) {
    if (f.type == type && f.tag == tag) out.push_back(f);
  }
  return out;
}

namespace {

pelm_eid make_eid(uint32_t slot, std::initializer_list<pelm_tsi> levels) {
  pelm_eid eid{};
  eid.rack = ENVMON_RACK_UNKNOWN;
  eid.slot = slot;
  eid.tsi_count = static_cast<uint32_t>(levels.size());
  eid.tsi = static_cast<pelm_tsi*>(calloc(levels.size(), sizeof(pelm_tsi)));
  size_t i = 0;
  for (const pelm_tsi& l : levels) eid.tsi[i++] = l;
  eid.present = PELM_EID_HAS_RACK | PELM_EID_HAS_SLOT | PELM_EID_HAS_TSI;
  return eid;
}

uint32_t fan_index(const pelm_eid* eid) {
  return eid->tsi_count > 0 ? eid->tsi[eid->tsi_count - 1].instance - 1 : 0xffffffffu;
}

}  // namespace

pelm_eid fan_eid(uint32_t slot, uint32_t fan) { return make_eid(slot, {{6, 5, 1}, {8, 8, fan + 1}}); }

pelm_eid temp_eid(uint32_t slot, uint32_t instance) { return make_eid(slot, {{9, 27, 1}, {8, 25, instance}}); }

FanChassis::FanChassis(uint32_t chassis_type) : records(chassis_type) {
  sim_clock_use_fake(1000ull * 1000000000ull);
  loop = evloop_create("fan-test");
  envmon_evloop = loop;
  reset_neighbours();
  haltest::reset_pem();
  envmon_hal_fan_timer_disable(0);
  chassis_ft_type = 0;
  envmon_init_card_fan_zone();
  envmon_rm_t& rm = records.rm;
  rm.svc_role = ENVMON_ROLE_ACTIVE;
  rm.env_cfg.ft_ctrl = 1;
  rm.env_cfg.envmon_ctrl = 1;
  rm.inv_capi_connected = 1;
  rm.inv_invreg_connected = 1;
  rm.rp_hw_position = rp_positions;
  rm.fan_cont_pelm_eids = containers;
  rm.chassis_eid.rack = ENVMON_RACK_UNKNOWN;
  rm.chassis_eid.slot = ENVMON_SLOT_SELF;
  records.nm.drvif_connected[ENVMON_DRV_FAN] = 1;
  rm.fantray_cb = trays;
  for (uint32_t t = 0; t < 6; ++t) {
    trays[t].hw_position = 41 + t;
    containers[t].rack = ENVMON_RACK_UNKNOWN;
    containers[t].slot = 41 + t;
    fans[t].resize(6);
    for (uint32_t f = 0; f < 6; ++f) {
      fans[t][f].eid = fan_eid(41 + t, f);
      std::snprintf(fans[t][f].name, sizeof(fans[t][f].name), "FT%u Fan %u Speed", t, f);
    }
    trays[t].fan_data.sensors = fans[t].data();
    trays[t].fan_data.count = 6;
    trays[t].board_id = 0xab040000;
  }
  envmon_set_card_fan_zone(1, 0, 0);
  envmon_set_card_fan_zone(1, 1, 1);
  envmon_fan_algo_oper_stats_hdl = fan_algo_stats;
}

FanChassis::~FanChassis() {
  // What lives beyond a run of fan management goes with the chassis.
  while (chassis_fan_info != nullptr && lc_info != nullptr) {
    envmon_hal_fan_algo_card_state_upd(static_cast<uint32_t>(lc_info->slot), static_cast<uint32_t>(lc_info->card_type),
                                       0, 0);
  }
  disable_optics_FT_algo();
  envmon_hal_fan_mgmt_uninit();
  for (auto& tray : fans) {
    for (envmon_sensor_info& s : tray) envmon_free_tsi(&s.eid);
  }
  envmon_fan_algo_oper_stats_hdl = nullptr;
  envmon_evloop = nullptr;
  evloop_destroy(loop);
  sim_clock_use_real();
}

uint32_t FanChassis::tray_count() const { return envmon_hal_get_max_fantray(); }

void FanChassis::start() { ASSERT_EQ(envmon_hal_fan_mgmt_init(), 0u); }

void FanChassis::start_all_present() {
  start();
  for (uint32_t t = 0; t < tray_count(); ++t) insert(t);
  advance(10);  // every tray seen: 20 s more
  advance(20);  // start-up pass
}

void FanChassis::advance(uint32_t seconds) {
  // One second at a time, so that leaves due at different times are taken in
  // their own expiry calls.
  for (uint32_t s = 0; s < seconds; ++s) {
    sim_clock_advance_ms(1000);
    evloop_run_until_idle(loop);
  }
}

void FanChassis::insert(uint32_t tray) {
  envmon_hal_fan_mgmt_fantray_oir(tray, 1, &containers[tray], 0, nullptr);
}

void FanChassis::remove(uint32_t tray) { envmon_hal_fan_mgmt_fantray_oir(tray, 0, &containers[tray], 0, nullptr); }

void FanChassis::inv_temp(uint32_t slot, uint32_t instance, const char* name, int32_t value, int32_t minor_high,
                          int32_t major_high, int32_t critical_high) {
  inv_sensor_value v{};
  v.eid = temp_eid(slot, instance);
  v.name = const_cast<char*>(name);
  v.value = value;
  inv_threshold_data th{};
  th.minor_low = -5;
  th.major_low = -10;
  th.critical_low = -15;
  th.minor_high = minor_high;
  th.major_high = major_high;
  th.critical_high = critical_high;
  envmon_hal_fan_mgmt_inv_temp_notification(&v, &th, slot);
  envmon_free_tsi(&v.eid);
}

std::vector<int32_t> FanChassis::last_written(uint32_t tray) const {
  std::vector<int32_t> out(6, -1);
  for (const Write& w : nb().writes) {
    for (size_t i = 0; i < w.values.size(); ++i) {
      if (w.slots[i] == 41 + tray && w.fans[i] < 6) out[w.fans[i]] = static_cast<int32_t>(w.values[i]);
    }
  }
  return out;
}

}  // namespace fantest

using fantest::nb;

// Recording stand-ins of the neighbours.
extern "C" {

envmon_err_t envmon_fm_fault_report(int32_t scope, envmon_fm_fault_req* req) {
  fantest::Fault f{};
  f.scope = scope;
  f.type = req->fault_type;
  f.tag = req->fault_tag;
  f.action = req->shutdown_action;
  if (const alarmd_fault_data* d = req->fault_data) {
    f.state = d->state;
    f.level = d->alarm_level;
    f.text = d->description != nullptr ? d->description : "";
    f.name = d->name != nullptr ? d->name : "";
    if (d->eid != nullptr) {
      f.rack = d->eid->rack;
      f.slot = d->eid->slot;
    }
  }
  nb().faults.push_back(f);
  return nb().fault_result;
}

void envmon_drvif_set_bulk_sensor_data(pelm_eid* const* sensors, const uint32_t* values, const uint32_t* kinds,
                                       uint32_t driver, uint32_t count) {
  fantest::Write w{driver, {}, {}, {}, {}};
  for (uint32_t i = 0; i < count; ++i) {
    w.slots.push_back(sensors[i]->slot);
    w.fans.push_back(fantest::fan_index(sensors[i]));
    w.values.push_back(values[i]);
    w.kinds.push_back(kinds[i]);
  }
  nb().writes.push_back(w);
}

void envmon_drvif_poll_request(envmon_sensor_info* sensors, uint16_t count, uint32_t mode, uint32_t driver) {
  nb().polls.push_back({sensors != nullptr && count > 0 ? sensors[0].name : "", count, mode, driver,
                        sensors != nullptr && count > 0 ? sensors[0].update_rate : 0});
}

int32_t envmon_drvif_shut_slot_req(uint32_t slot) {
  nb().shut_slots.push_back(slot);
  return nb().shut_result;
}

envmon_err_t envmon_ceb_fsa_sched_event(uint32_t event) {
  nb().events.push_back(event);
  return 0;
}

void envmon_capi_inv_request_temp_notification(void) { nb().calls.push_back("envmon_capi_inv_request_temp_notification()"); }

void envmon_inv_invreg_temp_sensor_update(const pelm_eid* /*eid*/, envmon_sensor_info* sensor, uint32_t /*scope*/,
                                          uint8_t trap) {
  nb().pushes.push_back({"temp", sensor->name, sensor->value, trap});
}

void envmon_inv_invreg_rm_fan_speed_sensor_update(envmon_sensor_info* sensor, const pelm_eid* /*eid*/, int32_t speed,
                                                  uint64_t /*timestamp*/, uint8_t trap, uint32_t /*max_speed*/,
                                                  uint32_t /*min_speed*/) {
  nb().pushes.push_back({"fan", sensor->name, speed, trap});
}

void envmon_obfl_set_state(envmon_sensor_info* sensor, int32_t kind) {
  nb().calls.push_back(std::string("envmon_obfl_set_state(") + sensor->name + ", " + std::to_string(kind) + ")");
}

void envmon_update_oper_state(const pelm_eid* eid, uint32_t hw_event, uint32_t scope) {
  char text[96];
  std::snprintf(text, sizeof(text), "envmon_update_oper_state(slot %u, 0x%x, %u)", eid->slot, hw_event, scope);
  nb().calls.push_back(text);
}

void envmon_inv_invreg_power_usage_update(const pelm_eid* /*eid*/, envmon_sensor_info* sensor, uint32_t scope) {
  nb().calls.push_back(std::string("envmon_inv_invreg_power_usage_update(") + sensor->name + ", " +
                       std::to_string(sensor->value) + ", " + std::to_string(scope) + ")");
}

void envmon_rm_fan_cb_cleanup(uint32_t tray) {
  nb().calls.push_back("envmon_rm_fan_cb_cleanup(" + std::to_string(tray) + ")");
}

void envmon_set_fru_current(int32_t slot, int32_t current) {
  nb().calls.push_back("envmon_set_fru_current(" + std::to_string(slot) + ", " + std::to_string(current) + ")");
}

}  // extern "C"

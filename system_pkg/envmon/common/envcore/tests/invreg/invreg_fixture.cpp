#include "invreg_fixture.h"

#include <stdio.h>
#include <stdlib.h>

namespace invtest {

namespace {

pelm_eid make_eid(uint32_t slot, std::vector<pelm_tsi> levels) {
  pelm_eid e{};
  e.id = 1;
  e.rack = ENVMON_RACK_UNKNOWN;
  e.slot = slot;
  e.present = PELM_EID_HAS_ID | PELM_EID_HAS_RACK | PELM_EID_HAS_SLOT;
  if (!levels.empty()) {
    e.tsi = static_cast<pelm_tsi*>(calloc(levels.size(), sizeof(pelm_tsi)));
    for (size_t i = 0; i < levels.size(); ++i) e.tsi[i] = levels[i];
    e.tsi_count = static_cast<uint32_t>(levels.size());
    e.present |= PELM_EID_HAS_TSI;
  }
  return e;
}

template <typename T>
T* zeroed(size_t n) {
  return static_cast<T*>(calloc(n, sizeof(T)));
}

}  // namespace

pelm_eid sensor_eid(uint32_t slot, uint32_t subtype, uint32_t instance) {
  return make_eid(slot, {{5, 5, 1}, {ENVMON_ENTITY_TYPE_SENSOR, subtype, instance}});
}

pelm_eid entity_eid(uint32_t slot, uint32_t type, uint32_t subtype, uint32_t instance) {
  return make_eid(slot, {{type, subtype, instance}});
}

invdb::Key key_of(const pelm_eid& eid) { return invdb::Key::of(eid); }

void InvregTest::SetUp() {
  reset();
  loop_ = evloop_create("invreg-test");
  ASSERT_NE(loop_, nullptr);
  envmon_evloop = loop_;
  if (in_process_) {
    server_ = std::make_unique<invdb::LocalServer>(loop_);
    model_ = &server_->model();
  }

  envmon_nm = zeroed<envmon_nm_t>(1);
  envmon_nm->card_type = kRpCardType;
  envmon_nm->slot_num = kOwnSlot;
  envmon_rm = zeroed<envmon_rm_t>(1);
  envmon_rm->rack = ENVMON_RACK_UNKNOWN;
  envmon_rm->svc_role = ENVMON_ROLE_ACTIVE;
  const uint32_t trays = answers().max_fantray;
  envmon_rm->fantray_cb = zeroed<fantray_cb>(trays);
  envmon_rm->fan_cont_reg_state = zeroed<uint32_t>(trays);
  envmon_rm->fan_cont_pelm_eids = zeroed<pelm_eid>(trays);
  for (uint32_t t = 0; t < trays; ++t) {
    envmon_rm->fantray_cb[t].hw_position = kFanTraySlot0 + t;
    snprintf(envmon_rm->fantray_cb[t].pid, sizeof(envmon_rm->fantray_cb[t].pid), "FAN-TRAY-%u", t);
  }
  envmon_rm->fru_objs_lst = zeroed<envmon_fru_obj>(answers().max_inv_slots);
  auto* pm = zeroed<envmon_pwr_mgmt_data_t>(1);
  pm->fantray_pbudget = zeroed<envmon_entity_pbudget_info_t>(trays);
  for (uint32_t t = 0; t < trays; ++t)
    pm->fantray_pbudget[t].hw_position = static_cast<int32_t>(kFanTraySlot0 + t);
  envmon_rm->pwr_mgmt_data = pm;

  rm_oper_.assign(29 * ENVMON_COUNTER_STRIDE, 0);
  rm_err_.assign(25 * ENVMON_COUNTER_STRIDE, 0);
  nm_oper_.assign(9 * ENVMON_COUNTER_STRIDE, 0);
  nm_err_.assign(11 * ENVMON_COUNTER_STRIDE, 0);
  envmon_invregrm_oper_stats_hdl = rm_oper_.data();
  envmon_invregrm_err_stats_hdl = rm_err_.data();
  envmon_invregnm_oper_stats_hdl = nm_oper_.data();
  envmon_invregnm_err_stats_hdl = nm_err_.data();
  envmon_inv_first_fru_power_info = 1;
}

void InvregTest::TearDown() {
  if (envmon_inv_invreg_nm_hdl != nullptr) {
    invreg_handle_destroy(envmon_inv_invreg_nm_hdl);
    envmon_inv_invreg_nm_hdl = nullptr;
  }
  if (envmon_inv_invreg_rm_hdl != nullptr) {
    invreg_handle_destroy(envmon_inv_invreg_rm_hdl);
    envmon_inv_invreg_rm_hdl = nullptr;
  }
  envmon_capi_inv_disconnect();
  server_.reset();
  if (loop_ != nullptr) {
    evloop_run_until_idle(loop_);
    evloop_destroy(loop_);
  }
  envmon_evloop = nullptr;
  envmon_invregrm_oper_stats_hdl = envmon_invregrm_err_stats_hdl = nullptr;
  envmon_invregnm_oper_stats_hdl = envmon_invregnm_err_stats_hdl = nullptr;
  for (envmon_sensor_list* l : lists_) free_list(*l);
  lists_.clear();
  own_lists_.clear();
  if (envmon_rm != nullptr) {
    const uint32_t trays = answers().max_fantray;
    for (uint32_t t = 0; t < trays; ++t) {
      envmon_free_tsi(&envmon_rm->fantray_cb[t].ceid);
      envmon_free_tsi(&envmon_rm->fan_cont_pelm_eids[t]);
      envmon_free_tsi(&envmon_rm->pwr_mgmt_data->fantray_pbudget[t].eid);
    }
    for (uint32_t s = 0; s < answers().max_inv_slots; ++s) {
      envmon_fru_obj& o = envmon_rm->fru_objs_lst[s];
      if (o.cont_eid != nullptr) envmon_free_tsi(o.cont_eid);
      free(o.cont_eid);
    }
    free(envmon_rm->fru_objs_lst);
    free(envmon_rm->fantray_cb);
    free(envmon_rm->fan_cont_reg_state);
    free(envmon_rm->fan_cont_pelm_eids);
    free(envmon_rm->pwr_mgmt_data->fantray_pbudget);
    free(envmon_rm->pwr_mgmt_data);
    free(envmon_rm);
    envmon_rm = nullptr;
  }
  if (envmon_nm != nullptr) {
    envmon_free_tsi(&envmon_nm->card_ceid);
    free(envmon_nm);
    envmon_nm = nullptr;
  }
}

void InvregTest::run() { evloop_run_until_idle(loop_); }

void InvregTest::connect_node() {
  ASSERT_EQ(envmon_inv_invreg_nm_client_init(loop_), ENVMON_OK);
  run();
  ASSERT_EQ(nm().inv_invreg_connected, 1) << "the node client did not connect";
}

void InvregTest::connect_rack() {
  ASSERT_EQ(envmon_inv_invreg_rm_client_init(loop_), ENVMON_OK);
  run();
  ASSERT_EQ(rm().inv_invreg_connected, 1) << "the rack client did not connect";
}

void InvregTest::connect_inv() {
  ASSERT_EQ(envmon_capi_inv_init(loop_), ENVMON_OK);
  run();
  ASSERT_EQ(rm().inv_capi_connected, 1) << "the inventory-service client did not connect";
}

void InvregTest::fill_list(envmon_sensor_list& list, uint32_t slot, uint32_t subtype, uint16_t n,
                           const std::string& prefix) {
  free_list(list);
  list.sensors = zeroed<envmon_sensor_info>(n);
  list.count = n;
  for (uint16_t i = 0; i < n; ++i) {
    envmon_sensor_info& s = list.sensors[i];
    s.eid = sensor_eid(slot, subtype, i + 1u);
    snprintf(s.name, sizeof(s.name), "%s %u", prefix.c_str(), i + 1u);
    s.driver_ownership = 12;
    s.state = ENVMON_ST_FROM_XML;
    s.hw_state = 1;
  }
  lists_.push_back(&list);
}

envmon_sensor_list& InvregTest::own_list(uint32_t slot, uint32_t subtype, uint16_t n,
                                         const std::string& prefix) {
  own_lists_.emplace_back();
  fill_list(own_lists_.back(), slot, subtype, n, prefix);
  return own_lists_.back();
}

void InvregTest::free_list(envmon_sensor_list& list) {
  for (uint16_t i = 0; list.sensors != nullptr && i < list.count; ++i)
    envmon_free_tsi(&list.sensors[i].eid);
  free(list.sensors);
  list.sensors = nullptr;
  list.count = 0;
}

}  // namespace invtest

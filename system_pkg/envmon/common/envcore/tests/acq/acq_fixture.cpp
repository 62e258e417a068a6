#include "acq_fixture.h"

#include <stdlib.h>
#include <string.h>

#include "alarmd_test.h"
#include "envmon_fm_private.h"
#include "envmon_obfl_private.h"
#include "fpd_drv_test.h"
#include "nodeid.h"
#include "obfl_mgr_test.h"
#include "tlg_test.h"

namespace {

template <typename T>
T* alloc(size_t n) {
  return static_cast<T*>(calloc(n ? n : 1, sizeof(T)));
}

void free_list(envmon_sensor_list* l) {
  for (uint16_t i = 0; l->sensors && i < l->count; ++i) envmon_free_tsi(&l->sensors[i].eid);
  free(l->sensors);
  *l = envmon_sensor_list{};
}

template <typename Card>
void free_card_lists(Card* c) {
  free_list(&c->temp_data);
  free_list(&c->voltage_data);
  free_list(&c->current_data);
}

template <size_t N>
void fill_eids(envmon_eid_list* l, const uint32_t (&slots)[N], uint8_t subtype) {
  l->eids = alloc<inv_eid>(N);
  l->count = N;
  for (uint16_t i = 0; i < N; ++i) l->eids[i] = acq_inv_eid(0, slots[i], {{5, subtype, i}});
}

}  // namespace

pelm_eid acq_eid(uint32_t rack, uint32_t slot, std::initializer_list<pelm_tsi> levels) {
  pelm_eid e{};
  e.id = 1;
  e.rack = rack;
  e.slot = slot;
  e.present = PELM_EID_HAS_ID | PELM_EID_HAS_RACK | PELM_EID_HAS_SLOT;
  if (levels.size() > 0) {
    e.tsi = static_cast<pelm_tsi*>(calloc(levels.size(), sizeof(pelm_tsi)));
    e.tsi_count = static_cast<uint32_t>(levels.size());
    uint32_t i = 0;
    for (const auto& l : levels) e.tsi[i++] = l;
    e.present |= PELM_EID_HAS_TSI;
  }
  return e;
}

inv_eid acq_inv_eid(uint32_t rack, uint32_t slot, std::initializer_list<inv_eid_level> levels) {
  inv_eid e{};
  e.rack = static_cast<uint16_t>(rack);
  e.slot = static_cast<uint16_t>(slot);
  for (const auto& l : levels) e.levels[e.level_count++] = l;
  return e;
}

pelm_eid acq_sensor_eid(uint32_t slot, uint32_t subtype, uint32_t instance) {
  return acq_eid(0xfffe, slot, {{ENVMON_ENTITY_TYPE_SENSOR, subtype, instance}});
}

std::string acq_eid_text(const pelm_eid* eid) {
  char buf[ENVMON_EID_STR_LEN];
  envmon_dump_pelm_eid_to_string(eid, buf);
  return buf;
}

void AcqFixture::SetUp() {
  acq_standin_reset();
  alarmd_test_reset();
  envmon_fm_test_forget();
  envmon_obfl_test_forget();
  obfl_mgr_test_reset();
  fpd_drv_test_reset();
  envmon_tlg_init(nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                  nullptr, nullptr);
  tlg_test_clear();
  loop = evloop_create("acq_test");
  envmon_evloop = loop;
  ASSERT_EQ(nodeid_rack_create(0, 0, &rack), 0);

  envmon_rm_t* rm = alloc<envmon_rm_t>(1);
  envmon_rm = rm;
  rm->chassis_type = kChassisType;
  rm->rack = rack;
  rm->rack_num = 0;
  rm->chassis_eid = acq_eid(0xfffe, 0xfffe, {{3, 1, 0}});
  const uint32_t trays = acq_standin().max_fantray;
  rm->fantray_cb = alloc<fantray_cb>(trays);
  for (uint32_t i = 0; i < trays; ++i) {
    rm->fantray_cb[i].hw_position = kFanTraySlots[i];
    rm->fantray_cb[i].eeprom = alloc<uint8_t>(acq_standin().max_idprom_size);
  }
  rm->fan_cont_eids = alloc<inv_eid>(trays);
  rm->fan_cont_count = static_cast<uint16_t>(trays);
  for (uint32_t i = 0; i < trays; ++i)
    rm->fan_cont_eids[i] = acq_inv_eid(0, kFanTraySlots[i], {{5, kContFanTray, static_cast<uint16_t>(i)}});
  rm->fan_cont_reg_state = alloc<uint32_t>(trays);
  rm->fc_cb = alloc<envmon_remote_card_cb>(4);
  for (uint32_t i = 0; i < 4; ++i) rm->fc_cb[i].hw_position = kFabricSlots[i];
  rm->lc_cb = alloc<envmon_remote_card_cb>(4);
  for (uint32_t i = 0; i < 4; ++i) rm->lc_cb[i].hw_position = kLineCardSlots[i];
  rm->sw_cb = alloc<envmon_remote_card_cb>(2);
  for (uint32_t i = 0; i < 2; ++i) rm->sw_cb[i].hw_position = kSwitchSlots[i];
  fill_eids(&rm->card_eid_list[ENVMON_CARD_CLASS_LC], kLineCardSlots, kContLineCard);
  fill_eids(&rm->card_eid_list[ENVMON_CARD_CLASS_FC], kFabricSlots, kContFabric);
  fill_eids(&rm->card_eid_list[ENVMON_CARD_CLASS_SWC], kSwitchSlots, kContSwitch);
  rm->rp_count = 2;
  rm->rp_cont_eids = alloc<inv_eid>(2);
  rm->rp_cont_count = 2;
  for (uint16_t i = 0; i < 2; ++i) rm->rp_cont_eids[i] = acq_inv_eid(0, i, {{5, kContRp, i}});

  // Budget records: the slot tests of the core find route processors and
  // card groups through them.
  rp_budgets.assign(2, envmon_entity_pbudget_info_t{});
  rp_budgets[0].hw_position = static_cast<int32_t>(kOwnSlot);
  rp_budgets[1].hw_position = static_cast<int32_t>(kOtherRpSlot);
  budgets.assign(10, envmon_entity_pbudget_info_t{});
  for (int i = 0; i < 4; ++i) budgets[i].hw_position = static_cast<int32_t>(kLineCardSlots[i]);
  for (int i = 0; i < 4; ++i) budgets[4 + i].hw_position = static_cast<int32_t>(kFabricSlots[i]);
  for (int i = 0; i < 2; ++i) budgets[8 + i].hw_position = static_cast<int32_t>(kSwitchSlots[i]);
  pm = envmon_pwr_mgmt_data_t{};
  pm.rp_pbudget = rp_budgets.data();
  pm.pbudget_list = budgets.data();
  pm.start_index[ENVMON_CARD_CLASS_LC] = 0;
  pm.last_index[ENVMON_CARD_CLASS_LC] = 3;
  pm.start_index[ENVMON_CARD_CLASS_FC] = 4;
  pm.last_index[ENVMON_CARD_CLASS_FC] = 7;
  pm.start_index[ENVMON_CARD_CLASS_SWC] = 8;
  pm.last_index[ENVMON_CARD_CLASS_SWC] = 9;
  pm.start_index[ENVMON_CARD_CLASS_XC] = 255;
  pm.last_index[ENVMON_CARD_CLASS_XC] = 255;
  rm->pwr_mgmt_data = &pm;
  envmon_pwr_mgmt_data = &pm;

  envmon_nm_t* nm = alloc<envmon_nm_t>(1);
  envmon_nm = nm;
  nm->slot_num = kOwnSlot;
  nm->card_type = 0x1e0810;
  nm->card_container_valid_flag = 1;
  nm->card_ceid = acq_eid(0xfffe, 0xfffe, {{5, kContRp, 0}});
  nm->card_cont_eid = acq_inv_eid(0, kOwnSlot, {{5, kContRp, 0}});
  nm->max_mpa = 2;
  nm->mpa = alloc<envmon_mpa_cb>(2);
  for (uint16_t i = 0; i < 2; ++i)
    nm->mpa[i].inv_ceid = acq_inv_eid(0, kMpaSlot + 16u * i, {{6, kContMpa, i}});
}

void AcqFixture::TearDown() {
  envmon_fm_test_forget();
  envmon_obfl_test_forget();
  obfl_mgr_test_reset();
  if (envmon_rm_t* rm = envmon_rm) {
    for (uint32_t i = 0; rm->fantray_cb && i < acq_standin().max_fantray; ++i) {
      fantray_cb& ft = rm->fantray_cb[i];
      free_list(&ft.temp_data);
      free_list(&ft.voltage_data);
      free_list(&ft.current_data);
      free_list(&ft.fan_data);
      free_list(&ft.subtype13_data);
      free_list(&ft.power_data);
      free(ft.fpd_data);
      free(ft.eeprom);
      envmon_free_tsi(&ft.ceid);
    }
    free(rm->fantray_cb);
    free(rm->fan_cont_eids);
    free(rm->fan_cont_reg_state);
    for (uint32_t i = 0; i < 4; ++i) free_card_lists(&rm->fc_cb[i]);
    for (uint32_t i = 0; i < 4; ++i) free_card_lists(&rm->lc_cb[i]);
    for (uint32_t i = 0; i < 2; ++i) free_card_lists(&rm->sw_cb[i]);
    free(rm->fc_cb);
    free(rm->lc_cb);
    free(rm->sw_cb);
    for (auto& l : rm->card_eid_list) free(l.eids);
    free(rm->rp_cont_eids);
    free(rm->pwr_tray_cont_eids);
    free_list(&rm->temp_data);
    envmon_free_tsi(&rm->chassis_eid);
    free(rm);
    envmon_rm = nullptr;
  }
  if (envmon_nm_t* nm = envmon_nm) {
    free_card_lists(nm);
    free_list(&nm->power_data);
    for (uint32_t i = 0; nm->mpa && i < nm->max_mpa; ++i) free_card_lists(&nm->mpa[i]);
    free(nm->mpa);
    envmon_free_tsi(&nm->card_ceid);
    free(nm->my_location);
    free(nm);
    envmon_nm = nullptr;
  }
  for (auto& t : tray_budgets) envmon_free_tsi(&t.eid);
  envmon_pwr_mgmt_data = nullptr;
  envmon_evloop = nullptr;
  if (loop) evloop_destroy(loop);
  loop = nullptr;
  alarmd_test_reset();
}

envmon_sensor_info* AcqFixture::fill_list(envmon_sensor_list* list, uint32_t slot, uint32_t subtype,
                                          std::initializer_list<const char*> names,
                                          uint32_t driver) {
  free_list(list);
  list->sensors = alloc<envmon_sensor_info>(names.size());
  list->count = static_cast<uint16_t>(names.size());
  uint32_t i = 0;
  for (const char* n : names) {
    envmon_sensor_info& s = list->sensors[i];
    s.eid = acq_sensor_eid(slot, subtype, i + 1);
    snprintf(s.name, sizeof(s.name), "%s", n);
    s.driver_ownership = driver;
    s.obfl_last_value = 0xffffff;
    s.update_rate = 10;
    s.delta = 1;
    s.state = ENVMON_ST_FROM_XML;
    ++i;
  }
  return list->sensors;
}

void AcqFixture::register_fm() {
  ASSERT_EQ(envmon_fm_init(ENVMON_SCOPE_NODE, loop), ENVMON_OK);
  ASSERT_EQ(envmon_fm_init(ENVMON_SCOPE_RACK, loop), ENVMON_OK);
}

void AcqFixture::set_location(const char* location) {
  free(envmon_nm->my_location);
  envmon_nm->my_location = location ? strdup(location) : nullptr;
}

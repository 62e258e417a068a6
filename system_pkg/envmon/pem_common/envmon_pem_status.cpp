// PEM status and capacity: every piece of news about a PEM sets its status
// bits, resolves its capacity from its type and keeps the tray and chassis
// capacity totals in step.
#include <vector>

#include "envmon_invreg.h"
#include "envmon_pem_private.h"
#include "fpd_drv.h"
#include "qyx_sysctl.h"

namespace {

constexpr uint32_t kNoReading = 0xffffff;
constexpr uint32_t kFpdIdle = 25;
constexpr char kPsuCapacityKey[] = "tolvu.zul.qyx.platform.psu.capacity";

struct CapacityRow {
  std::initializer_list<uint32_t> types;
  uint32_t capacity;  // 0: from the platform property; 1: by vendor
};
constexpr uint32_t kFromProperty = 0;
constexpr uint32_t kByVendor = 1;

const CapacityRow kCapacity[] = {
    {{0xF00388, 0xF00188, 0xF11993, 0xF0038D}, 3000},
    {{0xF0038A, 0xF0018A}, 2100},
    {{0xF11991, 0xF11990}, 2750},
    {{0xF11995, 0xF11996}, 2000},
    {{0xF11992}, 1750},
    {{0xAB010000, 0xAB010001, 0xAB010020, 0xAB010010}, 3000},
    {{0xAB010030}, 3150},
    {{0xAB1001, 0xAB1002, 0xAB1005}, 650},
    {{0xAB1003, 0xAB1004}, 930},
    {{0xAB1006, 0xAB1007, 0xAB1008, 0xAB1009}, 1200},
    {{0x501001, 0x501002, 0x501005}, kFromProperty},
    {{0xAB010202, 0xAB010212}, 950},
    {{0xAB010200, 0xAB010201, 0xAB010204, 0xAB010205, 0xAB010203}, 1100},
    {{0xAB010206, 0xAB010207}, 400},
    {{0xAB010100, 0xAB010101, 0xAB010102, 0xAB010103, 0xAB010109, 0xAB01010A}, 2000},
    {{0xF0100E, 0xF0100F, 0xF01960, 0xF01961}, kByVendor},
    {{1, 2, 3, 0xAB010104}, 1200},
    {{0xAB010307}, 900},
    {{0xAB010105}, 930},
    {{0xAB010106}, 900},
    {{0xF11997, 0xF11998}, 2000},
    {{0xF1199B, 0xF1199C}, 2500},
    {{0xAB010040}, 4400},
    {{0xAB010309, 0xAB010308}, 1600},
};

constexpr uint32_t kTripleFeed = 0xAB010040;

bool listed(uint32_t type, std::initializer_list<uint32_t> codes) {
  for (uint32_t c : codes)
    if (c == type) return true;
  return false;
}

// Sets the PEM's capacity (and the capacity one PEM gives to N+n redundancy)
// from its type; an unknown type keeps the previous value.
void set_capacity(uint8_t tray, uint8_t pem, pem_record& p) {
  const uint32_t type = p.pem_raw_data.pem_type;
  for (const CapacityRow& row : kCapacity) {
    if (!listed(type, row.types)) continue;
    uint32_t capacity = row.capacity;
    if (capacity == kFromProperty) {
      capacity = static_cast<uint32_t>(qyx_sysctl_get_size(kPsuCapacityKey, 850));
    } else if (capacity == kByVendor) {
      capacity = envmon_get_bel_pem_capacity(type, p.vendor_id);
      tlg_internal(pwrm_tlg_pem_hdl, "for PT%d PM%d type %x vendor id %d setting the capacity %d\n", tray, pem,
                   type, p.vendor_id, capacity);
    }
    p.capacity = capacity;
    pd_power_supplies_data.power_for_pem_redundancy = capacity;
    return;
  }
  tlg_internal(err_tlg_pem_hdl, "%s: invalid PEM type 0x%x for pem(%d, %d)\n", "envmon_pwr_mgmt_pem_data_upd", type,
               tray, pem);
}

// Capacity each PEM has counted in the totals (PEMs other than multi-feed).
std::vector<std::vector<uint32_t>>& counted() {
  static auto* v = new std::vector<std::vector<uint32_t>>();
  return *v;
}

uint32_t& counted_at(uint8_t tray, uint8_t pem) {
  auto& c = counted();
  if (c.size() <= tray) c.resize(tray + 1u);
  if (c[tray].size() <= pem) c[tray].resize(pem + 1u, 0);
  return c[tray][pem];
}

void add_to_totals(uint8_t tray, int64_t delta) {
  if (delta == 0) return;
  if (envmon_pwr_mgmt_data_t* p = pem::pm()) p->total_capacity = static_cast<uint32_t>(p->total_capacity + delta);
  if (pd_power_tray_info_t* t = pem::tray_at(tray))
    t->tray_capacity = static_cast<uint32_t>(t->tray_capacity + delta);
  pem::count_oper(pem::kTotalCapacity, static_cast<int32_t>(delta));
}

uint32_t total_capacity() {
  envmon_pwr_mgmt_data_t* p = pem::pm();
  return p != nullptr ? p->total_capacity : 0;
}

void count_alarm_result(envmon_err_t rc) {
  if (rc != ENVMON_OK) pem::count_error();
}

}  // namespace

namespace pem {

bool multi_feed_type(uint32_t type) {
  return listed(type, {0xF0038B, 0xF0038C, 0xAB010000, 0xAB010001, 0xAB010020, 0xAB010030, 0xAB010010, kTripleFeed});
}

void account_capacity(uint8_t tray, uint8_t pem, uint32_t old_status) {
  pem_record* p = pem_at(tray, pem);
  if (p == nullptr) return;
  const uint32_t type = p->pem_raw_data.pem_type;
  if (multi_feed_type(type)) {
    if (type == kTripleFeed)
      envmon_hal_handle_triple_feed_capacity(tray, pem, type, static_cast<uint8_t>(old_status & 0xff));
    else
      envmon_hal_handle_dual_feed_capacity(tray, pem, type, static_cast<uint8_t>(old_status & 0xff));
    return;
  }
  uint32_t& in_totals = counted_at(tray, pem);
  const uint32_t now = usable(p->status) ? p->capacity : 0;
  if (now == in_totals) return;
  add_to_totals(tray, static_cast<int64_t>(now) - in_totals);
  in_totals = now;
}

void forget_counted_capacity() { counted().clear(); }

}  // namespace pem

extern "C" {

uint32_t envmon_get_bel_pem_capacity(uint32_t type, uint32_t vendor_id) {
  return type == 0xF01960 && vendor_id == 1 ? 1050 : 1600;
}

const char* envmon_pem_status_to_str(uint32_t s) {
  if (s & ENVMON_PEM_NOT_PRESENT) {
    if (s != ENVMON_PEM_NOT_PRESENT) tlg_internal(err_tlg_pem_hdl, "invalid status 0x%x\n", s);
    return "NOT_PRESENT";
  }
  if (s & ENVMON_PEM_PRESENT_BEFORE_CCC_RESTART) return "PRESENT_BEFORE_CCC_RESTART";
  if ((s & ENVMON_PEM_IN_FPD_UPG) == 0) {
    if (s & ENVMON_PEM_FPD_UPG_REQ) {
      if (s & ENVMON_PEM_OK) return "OK+FPD_UPG_REQ";
      if (s & ENVMON_PEM_FAILED) return "FPD_UPG_REQ+FAILED";
      return "FPD_UPG_REQ";
    }
    if (s == ENVMON_PEM_OK) return "OK";
    if (s == ENVMON_PEM_FAILED) return "FAILED";
    return "INVALID";
  }
  if (s & ENVMON_PEM_FPD_UPG_REQ) tlg_internal(err_tlg_pem_hdl, "invalid status 0x%x\n", s);
  if (s & ENVMON_PEM_OK) return "OK+IN_FPD_UPG";
  if (s & ENVMON_PEM_FAILED) return "IN_FPD_UPG+FAILED";
  return "IN_FPD_UPG";
}

void envmon_pwr_mgmt_pem_data_upd(uint8_t tray, uint8_t pem, const pem_raw_data_t* raw, int32_t present) {
  static constexpr char kFunc[] = "envmon_pwr_mgmt_pem_data_upd";
  tlg_internal(pwrm_tlg_pem_hdl, "%s, pem (%d, %d) : present %d\n", kFunc, tray, pem, present);
  pd_power_tray_info_t* t = pem::tray_at(tray);
  if (t == nullptr) {
    tlg_internal(err_tlg_pem_hdl, "%s: invalid power tray number %d \n", kFunc, tray);
    return;
  }
  pem_record* p = pem::pem_at(tray, pem);
  if (p == nullptr) {
    tlg_internal(err_tlg_pem_hdl, "%s: invalid pem number %d \n", kFunc, pem);
    return;
  }
  const uint32_t old_status = p->status;
  const uint32_t old_total = total_capacity();
  const bool was_absent = old_status == 0 || old_status == ENVMON_PEM_NOT_PRESENT;
  if (present == 1) {
    if (was_absent) count_alarm_result(envmon_report_pem_oir_alm(tray, pem, 1));
    if (raw == nullptr) {
      tlg_internal(err_tlg_pem_hdl, "%s: NULL PEM raw data\n", kFunc);
      return;
    }
    p->pem_raw_data = *raw;
    set_capacity(tray, pem, *p);
    uint8_t failed = 0;
    count_alarm_result(pem::check_single_pem_alm(tray, pem, &failed));
    p->status &= ~ENVMON_PEM_NOT_PRESENT;
    if (failed)
      p->status = (p->status | ENVMON_PEM_FAILED) & ~ENVMON_PEM_OK;
    else
      p->status = (p->status | ENVMON_PEM_OK) & ~ENVMON_PEM_FAILED;
  } else {
    p->status = ENVMON_PEM_NOT_PRESENT;
    if (old_status & (ENVMON_PEM_FPD_UPG_REQ | ENVMON_PEM_IN_FPD_UPG)) envmon_pem_cancel_fpd_upg(tray, pem);
    if (!was_absent) {
      envmon_inv_invreg_unreg_pwr_fru(tray, pem, p->pem_raw_data.pem_type);
      p->fru_reg_state = (p->fru_reg_state & 0x0ffffff3u) | 0xf0000004u;
      count_alarm_result(envmon_report_pem_oir_alm(tray, pem, 0));
    }
    envmon_clear_pem_data(tray, pem, false);
  }
  pem::account_capacity(tray, pem, old_status);
  envmon_inv_invreg_pem_data_update(tray, pem, 0);
  if (total_capacity() != old_total) {
    tlg_internal(pwrm_tlg_pem_hdl,
                 "%s : pem (%d, %d) status changed from %s to %s, total power capacity changed from %d to %d (W) \n",
                 kFunc, tray, pem, envmon_pem_status_to_str(old_status), envmon_pem_status_to_str(p->status),
                 old_total, total_capacity());
  }
  if (p->status != old_status) envmon_hal_handle_pem_status_change(tray, pem, static_cast<uint8_t>(old_status));
}

void envmon_clear_pem_data(uint8_t tray, uint8_t pem, bool container) {
  pem_record* p = pem::pem_at(tray, pem);
  if (p == nullptr) return;
  p->pem_raw_data.input_voltage_a = kNoReading;
  p->pem_raw_data.input_voltage_b = kNoReading;
  p->pem_raw_data.input_voltage_c = kNoReading;
  p->pem_raw_data.hw_alarms = 0;
  p->alarms = 0;
  if (container) {
    p->container_regi_done = 0;
    p->container_reg_state = 0;
  }
  p->hw_ver_maj = 0;
  p->hw_ver_min = 0;
  p->misc_state = 0;
  p->errors = 0;
  p->state_reported_to_inv = 0;
  p->hour_used_reported_to_inv = 0;
  p->fault_status_reported_to_inv = 0;
  p->admin_state_reported_to_inv = 0;
  p->st_capi_flow_ctrl = 0;
  p->data_capi_flow_ctrl = 0;
  p->fru_prefix_capi_flow_ctrl = 0;
  for (uint32_t l = 0; l < pem::kListCount; ++l) {
    envmon_sensor_list* list = pem::sensor_list(*p, l);
    if (list->count == 0) continue;
    tlg_internal(pwrm_tlg_pem_hdl, "Sensor at PT[%d] PM[%d]:type[%d] count %d ptr %p\n", tray, pem,
                 pem::kListSubtype[l], list->count, static_cast<void*>(list->sensors));
    for (uint16_t i = 0; list->sensors != nullptr && i < list->count; ++i) {
      tlg_internal(pwrm_tlg_pem_hdl, "%s: freeing tsi for sensor at idx[%d],name[%s]\n", "envmon_clear_pem_data", i,
                   list->sensors[i].name);
      envmon_free_tsi(&list->sensors[i].eid);
    }
    free(list->sensors);
    list->sensors = nullptr;
    list->count = 0;
  }
  for (uint16_t f = 0; p->fpds != nullptr && f < p->num_fpds; ++f) {
    fpd_data& fpd = p->fpds[f];
    if (fpd.init_st == 2) {
      const int rc = fpd_drv_unregister(fpd.fpd_out.fpd_hd);
      tlg_internal(pwrm_tlg_pem_hdl, "fpd_drv_unregister for PEM(%d, %d) fpd %d, rc = 0x%x.\n", tray, pem, f, rc);
    }
    std::memset(&fpd, 0, sizeof fpd);
    fpd.state = kFpdIdle;
  }
}

void envmon_pwr_mgmt_set_pem_data_done(void) {
  if (envmon_rm == nullptr || envmon_rm->svc_role != ENVMON_ROLE_ACTIVE ||
      pd_power_supplies_data.pem_drvif_reg_done != 1) {
    tlg_internal(pwrm_tlg_pem_hdl,
                 "Not active RP or not registered for PEM data yet, ignore the PEM data received.\n");
    return;
  }
  if (pd_power_supplies_data.all_pem_info_rcvd != 1) {
    tlg_internal(pwrm_tlg_pem_hdl, "all pem info rcvd\n");
    pd_power_supplies_data.all_pem_info_rcvd = 1;
    const uint32_t chassis = envmon_rm->chassis_type;
    const bool keeps_quiet_pems = chassis == 0x6001010B || chassis == 0x60010107;
    pem::for_each_pem([&](uint32_t t, uint32_t i, pem_record& p) {
      if ((p.status & ENVMON_PEM_PRESENT_BEFORE_CCC_RESTART) == 0) return;
      p.status &= ~ENVMON_PEM_PRESENT_BEFORE_CCC_RESTART;
      if (p.pem_raw_data.pem_type == 0 || keeps_quiet_pems) return;
      // The removal below unregisters the FRU (once) and arms the request.
      envmon_pwr_mgmt_pem_data_upd(static_cast<uint8_t>(t), static_cast<uint8_t>(i), nullptr, 0);
      tlg_internal(pwrm_tlg_pem_hdl, "Did not receive PEM(%d, %d) eid data after ccc restart, unreg the PEM.\n", t,
                   i);
    });
  }
  envmon_pwr_mgmt_check_card_shut_pending();
  envmon_check_chassis_ps_alm(true);
  if (envmon_check_dc_pem_low_vin_alm() != ENVMON_OK) pem::count_error();
}

void envmon_pem_pwr_mgmt_powertray_oir(uint8_t tray, uint8_t inserted) {
  envmon_pwr_tray_budget* b = pem::tray_budget(tray);
  if (inserted) {
    if (b != nullptr && b->state != 1) b->state = 1;
    return;
  }
  if (pd_power_tray_info_t* t = pem::tray_at(tray)) {
    for (uint32_t i = 0; t->pems != nullptr && i < t->num_pems; ++i) {
      envmon_pwr_mgmt_pem_data_upd(tray, static_cast<uint8_t>(i), nullptr, 0);
      t->pems[i].container_regi_done = 0;
    }
    t->num_pems = 0;
  }
  if (b != nullptr) b->state = 2;
  if (pd_power_supplies_data.all_pem_info_rcvd)
    envmon_pwr_mgmt_set_pem_data_done();
  else
    tlg_internal(pwrm_tlg_pem_hdl, "Received PT removal msg before receiving any PEM data msg.\n");
}

}  // extern "C"

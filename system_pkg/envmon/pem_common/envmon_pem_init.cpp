// Start-up of the PEM library: the controllers' IDPROM buffers, the tray array,
// each tray's PEM table from its power-shelf description, the controllers'
// entity ids from the chassis description, and the reset on a role change.
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "envmon_pem_private.h"
#include "inv_parser.h"

namespace {

constexpr uint32_t kPowerShelfKind = 8;
constexpr uint32_t kNoReading = 0xffffff;
constexpr uint32_t kFpdIdle = 25;
constexpr uint32_t kNotConfigured = 255;
constexpr uint16_t kUnknownLocation = 0xfffe;

// PEM records allocated per tray. A tray that comes back with more PEM
// containers than before gets a larger array (its records kept), so the
// table never outgrows what was allocated.
struct Allocation {
  pem_record* array = nullptr;
  uint32_t count = 0;
};
std::vector<Allocation>& allocations() {
  static std::vector<Allocation>* v = new std::vector<Allocation>();
  return *v;
}

struct EidList {
  inv_eid* eids = nullptr;
  ~EidList() { free(eids); }
};
struct XmlFile {
  inv_xml_handle_t xml = nullptr;
  ~XmlFile() {
    if (xml != nullptr) inv_parser_close_xml_file(xml);
  }
};

// Grows the tray's PEM array to `count` records; new records start zeroed
// with no masking timer. False when memory is short.
bool ensure_pems(uint32_t tray, pd_power_tray_info_t& t, uint32_t count) {
  std::vector<Allocation>& all = allocations();
  if (all.size() <= tray) all.resize(tray + 1u);
  Allocation& a = all[tray];
  // An array this library did not allocate holds what the tray says.
  const uint32_t have = t.pems == nullptr ? 0 : (t.pems == a.array ? a.count : t.num_pems);
  if (t.pems != nullptr && count <= have) return true;
  auto* grown = static_cast<pem_record*>(calloc(count, sizeof(pem_record)));
  if (grown == nullptr) return false;
  if (have != 0) std::memcpy(grown, t.pems, have * sizeof(pem_record));
  for (uint32_t i = have; i < count; ++i) grown[i].envmon_pem_init_timer_fd = -1;
  free(t.pems);
  t.pems = grown;
  a.array = grown;
  a.count = count;
  return true;
}

}  // namespace

extern "C" {

envmon_err_t envmon_pem_init_pd_data(void) {
  const uint32_t size = envmon_hal_get_max_idprom_size();
  for (pctrl_data_t& c : pctrl_data) {
    if (c.idprom != nullptr) continue;
    c.idprom = static_cast<uint8_t*>(calloc(1, size ? size : 1));
    if (c.idprom == nullptr) {
      tlg_internal(err_tlg_pem_hdl, "%s(): calloc of %u bytes for a power controller IDPROM failed\n", __func__,
                   size);
      return ENVMON_ERR_NO_MEMORY;
    }
  }
  if (envmon_rm != nullptr) envmon_rm->pctrl = pctrl_data;
  return ENVMON_OK;
}

int32_t envmon_pem_pwr_mgmt_init(void) {
  const uint32_t rack_trays = envmon_rm != nullptr ? envmon_rm->pwr_tray_count : 0;
  const uint32_t virtual_trays = envmon_hal_get_max_virtual_powertray();
  if (rack_trays == 0 && virtual_trays == 0) {
    tlg_internal(err_tlg_pem_hdl, "no power trays\n");
    envmon_debug_log("no power trays - exit\n");
    exit(-1);
  }
  if (pd_power_tray_info == nullptr) {
    // The walks use the rack count only with physical trays; the array covers
    // whichever bound a walk takes.
    const uint32_t count = std::max(rack_trays != 0 ? rack_trays : virtual_trays, pem::tray_count());
    pd_power_tray_info = static_cast<pd_power_tray_info_t*>(calloc(count, sizeof(pd_power_tray_info_t)));
    if (pd_power_tray_info == nullptr) {
      tlg_internal(err_tlg_pem_hdl, "%s(): calloc Failure in Platform Dependent PWR MGMT data init\n", __func__);
      exit(-1);
    }
  }
  if (envmon_pwr_mgmt_data_t* p = pem::pm()) {
    if (p->envmon_pwr_tray_data != nullptr) {
      const uint32_t n = pem::tray_count();
      for (uint32_t i = 0; i < n; ++i) p->envmon_pwr_tray_data[i].pd_tray = &pd_power_tray_info[i];
    }
    p->power_supplies = &pd_power_supplies_data;
  }
  return 0;
}

void envmon_pwr_mgmt_pem_data_init(uint8_t tray) {
  pd_power_tray_info_t* t = pem::tray_at(tray);
  envmon_pwr_tray_budget* b = pem::tray_budget(tray);
  if (t == nullptr || b == nullptr) {
    tlg_internal(err_tlg_pem_hdl, "%s(): invalid power tray %d\n", __func__, tray);
    return;
  }
  uint16_t version = 0;
  const int vrc = envmon_hal_idprom_get_hw_version(b->idprom, b->idprom_len, &version);
  if (vrc != 0) {
    tlg_internal(err_tlg_pem_hdl, "%s(): Failed to retrieve HW version from chassis IDPROM image - rc = 0x%x\n",
                 __func__, vrc);
    version = 0;
  }
  inv_parser_open_req req{};
  req.pi_hw_type = kPowerShelfKind;
  req.pd_hw_type = static_cast<uint32_t>(b->type);
  pem::copy_text(req.pid, sizeof req.pid, b->pid, 35);
  req.hw_major = version >> 8;
  req.hw_minor = version & 0xff;
  XmlFile file;
  file.xml = inv_parser_open_xml_file_v2(1, &req);
  if (file.xml == nullptr) {
    tlg_internal(err_tlg_pem_hdl, "%s(): Failed to parse power shelf xml file\n", __func__);
    exit(-1);
  }
  EidList list;
  uint16_t count = 0;
  const int rc = inv_parser_get_eid_by_type_subtype(file.xml, 6, 5, 7, &count, &list.eids);
  if (rc != INV_PARSER_OK || count == 0) {
    tlg_internal(err_tlg_pem_hdl, "%s(): Failed to get pem container eids, rc %d, cnt %d\n", __func__, rc, count);
    return;
  }
  const uint32_t pems = std::min<uint32_t>(count, 255);
  if (!ensure_pems(tray, *t, pems)) {
    envmon_debug_log("FAILED to allocate memory for PEM info - exit\n");
    exit(-1);
  }
  t->num_pems = static_cast<uint8_t>(pems);
  const uint32_t idprom_size = envmon_hal_get_max_idprom_size();
  for (uint16_t i = 0; i < count; ++i) {
    // Every record of the tray gets its IDPROM buffer, kept across removals.
    if (i < pems && t->pems[i].idprom_data == nullptr) {
      t->pems[i].idprom_data = static_cast<uint8_t*>(calloc(1, idprom_size ? idprom_size : 1));
      if (t->pems[i].idprom_data == nullptr) {
        envmon_debug_log("FAILED to allocate memory for PEM IDPROM data - exit\n");
        exit(-1);
      }
    }
    inv_parser_eid_data data{};
    const int drc = inv_parser_get_eid_data(file.xml, &list.eids[i], &data);
    if (drc != INV_PARSER_OK) {
      tlg_internal(err_tlg_pem_hdl, "%s(): inv_parser_get_eid_data error, rc = %d \n", __func__, drc);
      continue;
    }
    const uint8_t position = static_cast<uint8_t>(data.pos_num);
    if (position >= t->num_pems) {
      tlg_internal(err_tlg_pem_hdl, "%s(): invalid pem position %d \n", __func__, position);
      continue;
    }
    pem_record& p = t->pems[position];
    p.hw_position = static_cast<int32_t>(data.hw_position);
    p.instance = data.instance;
    if (p.cont_eid.tsi_count == 0) {
      inv_eid cont = list.eids[i];
      cont.rack = kUnknownLocation;
      cont.slot = static_cast<uint16_t>(b->hw_position);
      inv_util_convert_eid_to_pelm_eid(&cont, &p.cont_eid);
    }
  }
  const uint32_t configured = envmon_rm != nullptr ? envmon_rm->pwr_cfg.red_num_pems : kNotConfigured;
  tlg_internal(pwrm_tlg_pem_hdl, "envmon_rm->p_cdb.redundancy_num_pems  %d\n", configured);
  if (configured == kNotConfigured)
    envmon_pem_pwr_mgmt_set_redundancy_num_pems(static_cast<uint8_t>(envmon_hal_get_num_pems_for_red()));
  for (uint32_t i = 0; i < t->num_pems; ++i) {
    pem_record& p = t->pems[i];
    p.pem_raw_data.input_voltage_a = kNoReading;
    p.pem_raw_data.input_voltage_b = kNoReading;
    for (uint16_t f = 0; p.fpds != nullptr && f < p.num_fpds; ++f) p.fpds[f].state = kFpdIdle;
  }
}

void envmon_parser_pem_pmbus_controller_eids(void) {
  if (envmon_rm == nullptr) return;
  envmon_rm->is_proto_chassis = 1;
  EidList ctrls;
  uint16_t count = 0;
  int rc = inv_parser_get_eid_by_type_subtype(envmon_rm->chassis_xml, 6, 9, 44, &count, &ctrls.eids);
  if (rc != INV_PARSER_OK) {
    tlg_internal(err_tlg_pem_hdl, "%s(): Failed to get power controller eids\n", __func__);
    return;
  }
  if (count == 0) {
    tlg_internal(err_tlg_pem_hdl, "%s(): No PMBus controller EIDs in XML file\n", __func__);
    return;
  }
  envmon_rm->is_proto_chassis = 0;
  for (uint16_t i = 0; i < count; ++i) {
    inv_parser_eid_data data{};
    rc = inv_parser_get_eid_data(envmon_rm->chassis_xml, &ctrls.eids[i], &data);
    if (rc != INV_PARSER_OK) {
      tlg_internal(err_tlg_pem_hdl, "%s: geting pmbus_ctrl eid data failed, rc = 0x%x\n", __func__, rc);
      continue;
    }
    const int index = static_cast<int>(data.instance) - 1;
    if (index < 0 || index > 1) continue;
    inv_eid e = ctrls.eids[i];
    e.rack = kUnknownLocation;
    e.slot = kUnknownLocation;
    envmon_free_tsi(&pctrl_data[index].eid);
    inv_util_convert_eid_to_pelm_eid(&e, &pctrl_data[index].eid);
    tlg_internal(main_tlg_pem_hdl, "%s: pmbus_ctrl eid %s\n", __func__, pem::EidText(&pctrl_data[index].eid).text);
  }
  EidList proms;
  count = 0;
  rc = inv_parser_get_eid_by_type_subtype(envmon_rm->chassis_xml, 6, 9, 38, &count, &proms.eids);
  if (rc != INV_PARSER_OK || count == 0) {
    tlg_internal(err_tlg_pem_hdl, "%s(): Failed to get power controller idprom eids\n", __func__);
    pem::exit_process(__func__, __LINE__);
  }
  for (uint16_t i = 0; i < count; ++i) {
    inv_parser_eid_data data{};
    rc = inv_parser_get_eid_data(envmon_rm->chassis_xml, &proms.eids[i], &data);
    if (rc != INV_PARSER_OK) {
      tlg_internal(err_tlg_pem_hdl, "%s: geting pctrl idprom eid data failed, rc = 0x%x\n", __func__, rc);
      continue;
    }
    int index = -1;
    if (std::strncmp(data.name, "PCM0-IDPROM", 12) == 0) index = 0;
    if (std::strncmp(data.name, "PCM1-IDPROM", 12) == 0) index = 1;
    if (index < 0) continue;
    inv_eid e = proms.eids[i];
    e.rack = kUnknownLocation;
    e.slot = kUnknownLocation;
    envmon_free_tsi(&pctrl_data[index].idprom_eid);
    inv_util_convert_eid_to_pelm_eid(&e, &pctrl_data[index].idprom_eid);
    tlg_internal(main_tlg_pem_hdl, "%s: pmbus controller idprom eid %s\n", __func__,
                 pem::EidText(&pctrl_data[index].idprom_eid).text);
  }
}

void envmon_pem_pwr_mgmt_handle_role_change(void) {
  pd_power_supplies_data.pem_drvif_reg_done = 0;
  pd_power_supplies_data.all_pem_info_rcvd = 0;
  const uint32_t trays = pem::tray_count();
  for (uint32_t t = 0; pd_power_tray_info != nullptr && t < trays; ++t) {
    pd_power_tray_info_t& tray = pd_power_tray_info[t];
    tray.tray_capacity = 0;
    for (uint32_t p = 0; tray.pems != nullptr && p < tray.num_pems; ++p) {
      pem_record& rec = tray.pems[p];
      // A masking timer left running would fire for a PEM no longer known.
      envmon_pem_close_timer_fd(&rec.envmon_pem_init_timer_fd);
      envmon_clear_pem_data(static_cast<uint8_t>(t), static_cast<uint8_t>(p), true);
      rec.status = 0;
      // What the feed hooks counted is forgotten with the totals.
      rec.pre_capacity = 0;
    }
    tray.num_pems = 0;
  }
  pem::forget_counted_capacity();
  for (pctrl_data_t& c : pctrl_data) {
    c.reg_state = 0;
    c.idprom_reg_state = 0;
  }
}

int envmon_all_pem_container_regi_done(void) {
  if (pd_power_tray_info == nullptr) return 0;
  bool any = false;
  const uint32_t trays = pem::tray_count();
  for (uint32_t t = 0; t < trays; ++t) {
    const pd_power_tray_info_t& tray = pd_power_tray_info[t];
    if (tray.pems == nullptr || tray.num_pems == 0) continue;
    any = true;
    for (uint32_t p = 0; p < tray.num_pems; ++p)
      if (tray.pems[p].container_regi_done != 1) return 0;
  }
  return any ? 1 : 0;
}

uint32_t envmon_pem_get_powertray_container_eid_subtype(void) { return 6; }

void envmon_pem_pwr_mgmt_fru_power_allocated_update_all(void) {}

}  // extern "C"

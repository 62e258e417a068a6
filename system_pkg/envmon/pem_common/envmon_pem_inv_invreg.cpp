// Inventory registration of power trays, PEM containers, PEM FRUs, their
// power-supply entities, IDPROMs, sensors and FPDs, and the two PMBus power
// controllers, through the rack-scope inventory-registration client. The
// acknowledgements continue the chain (envmon_pem_inv_invreg_ack.cpp).
#include <cstdlib>
#include <cstring>
#include <memory>

#include "entprefix.h"
#include "envmon_drvif.h"
#include "envmon_fpd.h"
#include "envmon_invreg.h"
#include "envmon_pem_private.h"
#include "fpd_drv.h"
#include "inv_parser.h"
#include "invreg.h"

namespace {

constexpr uint32_t kInvPowerShelf = 8;
constexpr uint32_t kInvPem = 9;
constexpr uint16_t kUnknownLocation = 0xfffe;
constexpr uint32_t kFpdIdle = 25;
constexpr size_t kFpdNameMax = 24;
constexpr uint32_t kBelAcType = 0xF01960;
constexpr char kBelAcPid[] = "PWR-1.6KW-AC";

constexpr uint32_t kKnownPemTypes[] = {
    0xF60670,   0xF60671,   0xF60672,   0xF60679,   0xF6067B,   0xF6067D,   0xF60673,   0xF60675,   0xF60677,
    0xF00388,   0xF0038A,   0xF00188,   0xF0018A,   0xF11990,   0xF11991,   0xF11993,   0xF11992,   0xF0038B,
    0xF0038C,   0xAB010000, 0xAB010001, 0xAB010010, 0xAB010020, 0xAB010030, 0xAB010100, 0xAB010101, 0xAB010102,
    0xAB010103, 0xAB010200, 0xAB010201, 0xAB010202, 0xAB010212, 0xAB010203, 0xAB010204, 0xAB010205, 0xF11995,
    0xF11996,   0xF11997,   0xF11998,   0xF1199B,   0xF1199C,   0xAB1001,   0xAB1002,   0x501002,   0xAB1003,
    0xAB1004,   0xAB1005,   0xAB1006,   0xAB1007,   0xAB1008,   0xAB1009,   0xF0100E,   0xF0100F,   0xF01960,
    0xF01961,   0xAB010206, 0xAB010207, 0xAB010104, 0xAB010105, 0xAB010106, 0xAB010307, 0xF02050,   0x1,
    0x2,        0x3,        0xAB010107, 0xAB010108, 0xAB010109, 0xAB01010A, 0xAB010040, 0xAB010309, 0xAB010308,
    0xF0038D};

bool known_pem_type(uint32_t type) {
  for (uint32_t t : kKnownPemTypes)
    if (t == type) return true;
  return false;
}

struct FpdPrefix {
  const char* serial_start;
  const char* format;
};
constexpr FpdPrefix kFpdPrefixes[] = {
    {"ART", "EM-%s"}, {"DTM", "DT-%s"},   {"ATT", "AB-%s"},   {"ADG", "AB-%s"},   {"PO", "PO-%s"},
    {"PS", "PS-%s"},  {"LIT", "LIT-%s"}, {"DCI", "DCI-%s"}, {"DCA", "DCA-%s"}, {"QCS", "QCS-%s"},
    {"SDG", "SDG-%s"},
};

const char* fpd_prefix(const char* serial) {
  for (const FpdPrefix& p : kFpdPrefixes)
    if (std::strncmp(serial, p.serial_start, std::strlen(p.serial_start)) == 0) return p.format;
  return nullptr;
}

struct XmlFile {
  inv_xml_handle_t xml = nullptr;
  ~XmlFile() {
    if (xml != nullptr) inv_parser_close_xml_file(xml);
  }
};

// A copy of an entity id whose levels are freed with it.
struct EidCopy {
  pelm_eid eid{};
  explicit EidCopy(const pelm_eid& from) { inv_util_copy_pelm_eid_to_pelm_eid(&from, &eid); }
  EidCopy() = default;
  ~EidCopy() { envmon_free_tsi(&eid); }
  EidCopy(const EidCopy&) = delete;
  EidCopy& operator=(const EidCopy&) = delete;
};

int32_t register_eid(invreg_handle* handle, pelm_eid* eid, uint64_t flag) {
  invreg_eid_list_req req{};
  req.eids = eid;
  req.eid_count = 1;
  req.present = 0x3;
  return invreg_register_eid(handle, &req, flag);
}

// Sends one container registration and arms its request word whatever the
// outcome, so that a failed one is sent again.
void send_container(invreg_handle* handle, uint8_t tray, uint8_t pem, pem_record& p) {
  static constexpr char kFunc[] = "envmon_inv_invreg_rm_register_pem_entity";
  const int32_t slot = pem::pem_slot(tray, pem);
  invreg_container_req req{};
  inv_util_copy_pelm_eid_to_pelm_eid(&p.cont_eid, &req.container.eid);
  req.container.logic_slot = static_cast<uint32_t>(slot);
  req.container.present = 0x3;
  req.present = 0x1;
  tlg_internal(info_tlg_pem_hdl, "%s(): register pem container EID = %s to invDB\n", kFunc,
               pem::EidText(&req.container.eid).text);
  const int rc = invreg_register_container_eid(handle, &req, static_cast<uint64_t>(slot));
  envmon_free_tsi(&req.container.eid);
  if (rc != 0)
    tlg_internal(err_tlg_pem_hdl, "%s(): Failed to register pem container with logic_slot %d , capi error rc = %d\n",
                 kFunc, slot, rc);
  p.container_reg_state = (p.container_reg_state & 0x0ffffffcu) | 0xf0000001u;
}

}  // namespace

extern "C" {

const char* envmon_get_pem_sensor_string(uint32_t index) {
  static const char* const kNames[] = {"voltage", "current", "power", "temperature", "fan speed", "led"};
  return index < pem::kListCount ? kNames[index] : "INVALID";
}

uint32_t envmon_get_pem_sensor_subtype(uint32_t index) {
  return index < pem::kListCount ? pem::kListSubtype[index] : 0;
}

bool envmon_pem_hide_eid(const char* name) {
  if (name == nullptr) return false;
  return std::strncmp(name, "AB-Sec54v2MCU", 13) == 0 || std::strncmp(name, "AB-Pri2MCU", 10) == 0;
}

envmon_err_t envmon_pem_convert_pd_type_2_inv_pi_type(uint32_t hw_type, uint32_t* inv_type) {
  uint32_t t = 0;
  if (envmon_hal_is_powertray(hw_type)) {
    t = kInvPowerShelf;
  } else if (known_pem_type(hw_type)) {
    t = kInvPem;
  } else {
    tlg_internal(err_tlg_pem_hdl, "%s: PD FRU type 0x%x should not be handled by envmon.\n", __func__, hw_type);
    return ENVMON_ERR_INVALID_ARG;
  }
  if (inv_type != nullptr) *inv_type = t;
  return ENVMON_OK;
}

uint32_t envmon_pem_get_powertray_inv_hw_type(void) { return kInvPowerShelf; }

void envmon_inv_invreg_rm_register_pem_entity(uint8_t tray, uint8_t pem) {
  static constexpr char kFunc[] = "envmon_inv_invreg_rm_register_pem_entity";
  pd_power_tray_info_t* t = pem::tray_at(tray);
  if (t == nullptr) {
    tlg_internal(err_tlg_pem_hdl, "%s(): invalid  power tray idx %d \n", kFunc, tray);
    return;
  }
  pem_record* p = pem::pem_at(tray, pem);
  if (p == nullptr) {
    tlg_internal(err_tlg_pem_hdl, "%s(): invalid pem idx %d \n", kFunc, pem);
    return;
  }
  if (p->hw_position < 0 || static_cast<uint32_t>(p->hw_position) >= t->num_pems) {
    tlg_internal(err_tlg_pem_hdl, "%s(): invalid pem position %d \n", kFunc, p->hw_position);
    return;
  }
  bool connected = false;
  invreg_handle* h = pem::rack_invreg(&connected);
  if (!connected) {
    tlg_internal(err_tlg_pem_hdl, "%s(): Failed to register pem container with logic_slot %d , RM INVREG not connected\n",
                 kFunc, pem::pem_slot(tray, pem));
    return;
  }
  send_container(h, tray, pem, *p);
}

void envmon_pem_inv_invreg_rm_register_powertray_entities(uint32_t tray) {
  static constexpr char kFunc[] = "envmon_pem_inv_invreg_rm_register_powertray_entities";
  envmon_pwr_tray_budget* b = pem::tray_budget(tray);
  pd_power_tray_info_t* t = pem::tray_at(tray);
  if (b == nullptr || t == nullptr) {
    tlg_internal(err_tlg_pem_hdl, "%s: invalid power tray %d \n", kFunc, tray);
    return;
  }
  uint16_t version = 0;
  const int vrc = envmon_hal_idprom_get_hw_version(b->idprom, b->idprom_len, &version);
  if (vrc != 0) {
    tlg_internal(err_tlg_pem_hdl, "%s(): Failed to retrieve HW version from chassis IDPROM image - rc = 0x%x\n",
                 kFunc, vrc);
    version = 0;
  }
  inv_parser_open_req req{};
  req.pi_hw_type = kInvPowerShelf;
  req.pd_hw_type = static_cast<uint32_t>(b->type);
  req.hw_major = version >> 8;
  req.hw_minor = version & 0xff;
  pem::copy_text(req.pid, sizeof req.pid, b->pid, 35);
  XmlFile file;
  file.xml = inv_parser_open_xml_file_v2(1, &req);
  if (file.xml == nullptr) {
    tlg_internal(err_tlg_pem_hdl, "%s(): Failed to parse power shelf xml file\n", kFunc);
    exit(-1);
  }
  inv_eid* root = nullptr;
  if (inv_parser_get_root_eid(file.xml, &root) != INV_PARSER_OK || root == nullptr) {
    // Without its root the tray cannot be registered at all.
    tlg_internal(err_tlg_pem_hdl, "%s(): power shelf description of tray %d has no root entity\n", kFunc, tray);
    free(root);
    return;
  }
  root->rack = kUnknownLocation;
  root->slot = static_cast<uint16_t>(b->hw_position);
  envmon_free_tsi(&b->fru_eid);
  inv_util_convert_eid_to_pelm_eid(root, &b->fru_eid);
  free(root);
  bool connected = false;
  invreg_handle* h = pem::rack_invreg(&connected);
  if (!connected) {
    tlg_internal(err_tlg_pem_hdl, "%s(): RM INVREG not connected\n", kFunc);
    return;
  }
  EidCopy id(b->fru_eid);
  const int32_t rc = register_eid(h, &id.eid, 1);
  if (rc == -1) {
    tlg_internal(err_tlg_pem_hdl, "EID registeration failed! ret=%x\n", static_cast<unsigned>(rc));
    return;
  }
  envmon_reg_and_set_eeprom_data(file.xml, static_cast<uint32_t>(b->hw_position), &b->idprom_eid, b->idprom,
                                 b->idprom_len);
  tlg_internal(info_tlg_pem_hdl, "%s(): registering %d PEM container eids with inv invreg\n", kFunc, t->num_pems);
  for (uint32_t i = 0; t->pems != nullptr && i < t->num_pems; ++i) {
    envmon_setup_fru_eid(static_cast<uint32_t>(pem::pem_slot(tray, i)), &t->pems[i].eid);
    send_container(h, static_cast<uint8_t>(tray), static_cast<uint8_t>(i), t->pems[i]);
  }
}

void envmon_pem_inv_invreg_rm_register_powertray_entities_fru(uint32_t tray, uint32_t pem, uint32_t hw_type,
                                                              const char* serial, uint32_t serial_len,
                                                              uint32_t /*hw_major*/, uint32_t /*hw_minor*/) {
  static constexpr char kFunc[] = "envmon_pem_inv_invreg_rm_register_powertray_entities_fru";
  tlg_internal(info_tlg_pem_hdl, "%s(): Trying to register PEM\n", kFunc);
  if (!known_pem_type(hw_type)) return;
  pem_record* p = pem::pem_at(tray, pem);
  if (p == nullptr) return;
  bool connected = false;
  invreg_handle* h = pem::rack_invreg(&connected);
  if (!connected) {
    tlg_internal(err_tlg_pem_hdl, "%s(): cannot reg PEM (%d, %d) fru - invreg not connected\n", kFunc, tray, pem);
    return;
  }
  tlg_internal(info_tlg_pem_hdl, "%s(): PEM\n", kFunc);
  const uint32_t inv_type = envmon_hal_convert_pd_type_2_inv_pi_type(hw_type);
  if (inv_type == 0) return;
  char pid[sizeof p->pid] = "";
  const int prc = envmon_hal_idprom_get_pid(p->idprom_data, p->idprom_len, pid, sizeof pid);
  if (prc != 0 || strnlen(pid, sizeof pid) < 2) {
    tlg_internal(err_tlg_pem_hdl, "%s(): Failed to extract PID from pem (%d, %d) IDPROM, err = %ld\n", kFunc, tray, pem,
                 static_cast<long>(prc));
    pem::copy_text(pid, sizeof pid, envmon_get_card_name(hw_type), ENVMON_PID_MAX);
  } else {
    if (hw_type == kBelAcType && std::strstr(pid, kBelAcPid) != nullptr) {
      const size_t n = strnlen(pid, sizeof pid);
      if (n > 0 && pid[n - 1] == '\n') pid[n - 1] = '\0';
    }
    tlg_internal(info_tlg_pem_hdl,
                 "%s(): Succeeded to extract PID %s from pem (%d, %d) IDPROM, err =  %ld idprom len %d  size of idporom  %d\n",
                 kFunc, pid, tray, pem, static_cast<long>(prc), p->idprom_len, envmon_hal_get_max_idprom_size());
  }
  pem::copy_text(p->pid, sizeof p->pid, pid, sizeof p->pid - 1);
  tlg_internal(info_tlg_pem_hdl, "Sending PID %s for pem (%d, %d)\n", p->pid, tray, pem);
  const int32_t slot = pem::pem_slot(tray, pem);
  char serial_text[12];
  pem::copy_text(serial_text, sizeof serial_text, serial, std::min<uint32_t>(serial_len, 11));
  invreg_fru_type_req req{};
  envmon_setup_fru_eid(static_cast<uint32_t>(slot), &req.eid);
  req.fru_type = inv_type;
  req.pd_type = hw_type;
  req.slot = static_cast<uint32_t>(slot);
  req.serial_num = serial_text;
  req.reg_flag = 1;
  req.name = p->pid;
  req.present = 0x7f;  // every field but the event
  const int rc = invreg_register_fru_type(h, &req, static_cast<uint64_t>(slot));
  tlg_internal(info_tlg_pem_hdl, "%s():  fru registration sent for pem (%d, %d), eid %s, ret: %d\n", kFunc, tray, pem,
               pem::EidText(&req.eid).text, rc);
  if (rc != 0)
    tlg_internal(err_tlg_pem_hdl, "%s(): Failed to reg pem (%d, %d),capi error rc = %d\n", kFunc, tray, pem, rc);
  else
    pem::count_invreg(pem::kRegPemFru);
}

void envmon_pem_inv_invreg_rm_unregister_powertray_entities_fru(uint32_t tray, uint32_t pem, uint32_t hw_type) {
  static constexpr char kFunc[] = "envmon_pem_inv_invreg_rm_unregister_powertray_entities_fru";
  if (!known_pem_type(hw_type) || pem::pem_at(tray, pem) == nullptr) return;
  bool connected = false;
  invreg_handle* h = pem::rack_invreg(&connected);
  if (!connected) {
    tlg_internal(err_tlg_pem_hdl, "%s(): cannot unreg PEM (%d, %d) fru - invreg not connected\n", kFunc, tray, pem);
    return;
  }
  const int32_t slot = pem::pem_slot(tray, pem);
  invreg_fru_unreg_req req{};
  envmon_setup_fru_eid(static_cast<uint32_t>(slot), &req.eid);
  req.fru_type = kInvPem;
  req.slot = static_cast<uint32_t>(slot);
  req.present = 0x7;
  const int rc = invreg_unregister_fru_type(h, &req, static_cast<uint64_t>(slot));
  tlg_internal(info_tlg_pem_hdl, "%s():  fru unregistration sent for pem: (%d, %d), ret: %d\n", kFunc, tray, pem, rc);
  if (rc != 0)
    tlg_internal(err_tlg_pem_hdl, "%s(): Failed to unreg pem: (%d, %d), capi error rc = %d\n", kFunc, tray, pem, rc);
  else
    pem::count_invreg(pem::kUnregPemFru);
}

void envmon_inv_invreg_rm_setup_powersupply_eid(int32_t slot, uint8_t tray, uint8_t pem, inv_xml_handle_t xml) {
  static constexpr char kFunc[] = "envmon_inv_invreg_rm_setup_powersupply_eid";
  pem_record* p = pem::pem_at(tray, pem);
  if (p == nullptr) return;
  bool connected = false;
  invreg_handle* h = pem::rack_invreg(&connected);
  if (!connected) {
    tlg_internal(err_tlg_pem_hdl, "%s(): error registering power supply eid for PEM (%d, %d), RM INVREG not connected\n",
                 kFunc, tray, pem);
    return;
  }
  if (p->ps_eid.tsi_count == 0) {
    inv_eid* root = nullptr;
    const int rc = inv_parser_get_root_eid(xml, &root);
    if (rc != INV_PARSER_OK || root == nullptr) {
      tlg_internal(err_tlg_pem_hdl, "%s():  faild to get POWERSUPPLY type, rc: %ld\n", kFunc, static_cast<long>(rc));
      free(root);
      pem::exit_process(kFunc, __LINE__);
    }
    root->rack = kUnknownLocation;
    root->slot = static_cast<uint16_t>(slot);
    inv_util_convert_eid_to_pelm_eid(root, &p->ps_eid);
    free(root);
  }
  EidCopy id(p->ps_eid);
  const int32_t rc = register_eid(h, &id.eid, 1);
  if (rc != 0)
    tlg_internal(err_tlg_pem_hdl, "%s(): error registering power supply eid for PEM (%d, %d), capi error rc = %d\n",
                 kFunc, tray, pem, rc);
}

void envmon_reg_fpd_pem_eid(fpd_data* fpd, const char* name, int32_t slot) {
  static constexpr char kFunc[] = "envmon_reg_fpd_pem_eid";
  if (fpd == nullptr) return;
  bool connected = false;
  invreg_handle* h = pem::rack_invreg(&connected);
  if (!connected) {
    tlg_internal(err_tlg_pem_hdl, "%s(): error registering fpd eid for slot %d, RM INVREG not connected\n", kFunc, slot);
    return;
  }
  inv_eid e = fpd->eid;
  e.rack = kUnknownLocation;
  e.slot = static_cast<uint16_t>(slot);
  EidCopy id;
  inv_util_convert_eid_to_pelm_eid(&e, &id.eid);
  const int32_t rc = register_eid(h, &id.eid, 0);
  if (rc != 0)
    tlg_internal(err_tlg_pem_hdl, "%s(): error registering fpd eid for slot %d, capi error rc = %d\n", kFunc, slot, rc);
  if (name != nullptr) {
    if (envmon_pem_hide_eid(name)) {
      if (envmon_inv_invreg_hide_eid(&id.eid, ENVMON_SCOPE_RACK, 1) == 0)
        tlg_internal(info_tlg_pem_hdl, "updated invdb with hide status for fpd %s\n", name);
      else
        tlg_internal(err_tlg_pem_hdl, "failed to update invdb with hide status for fpd %s\n", name);
      return;
    }
    envmon_inv_invreg_upd_eid_name(&id.eid, name, ENVMON_SCOPE_RACK);
    tlg_internal(info_tlg_pem_hdl, "%s(): invoked envmon_inv_invreg_upd_eid_name to update PEM fpd name %s for slot %d\n",
                 kFunc, name, slot);
  }
  envmon_drvif_get_fpd_info(&fpd->eid, static_cast<uint32_t>(slot));
}

void envmon_inv_invreg_rm_register_pem_entities(int32_t slot, uint8_t tray, uint8_t pem, inv_xml_handle_t xml) {
  static constexpr char kFunc[] = "envmon_inv_invreg_rm_register_pem_entities";
  pem_record* p = pem::pem_at(tray, pem);
  if (p == nullptr) return;
  envmon_reg_and_set_eeprom_data(xml, static_cast<uint32_t>(slot), &p->idprom_eid, p->idprom_data, p->idprom_len);
  for (uint32_t l = 0; l < pem::kListCount; ++l) {
    envmon_sensor_list* list = pem::sensor_list(*p, l);
    if (list->count != 0 && list->sensors != nullptr) {
      // The PEM came back: its sensors start over.
      for (uint16_t s = 0; s < list->count; ++s) {
        list->sensors[s].update_rate = 10;
        list->sensors[s].state = 0;
      }
      continue;
    }
    if (envmon_util_xml_parse_n_store_info(static_cast<uint32_t>(slot), xml, ENVMON_ENTITY_TYPE_SENSOR,
                                           pem::kListSubtype[l], &list->count, &list->sensors) != ENVMON_OK) {
      tlg_internal(err_tlg_pem_hdl, "%s: failed to get %s sensor list\n", kFunc, envmon_get_pem_sensor_string(l));
      pem::exit_process(kFunc, __LINE__);
    }
  }
  for (uint32_t l = 0; l < pem::kListCount; ++l) {
    envmon_sensor_list* list = pem::sensor_list(*p, l);
    envmon_inv_invreg_register_sensors(ENVMON_SCOPE_RACK, list->sensors, list->count);
    if (list->count != 0) list->reg_state = pem::arm(list->reg_state, ENVMON_ST_REG_PENDING, ENVMON_ST_REG_DONE);
  }
  envmon_drvif_pem_sensors_poll_request(tray, pem, ENVMON_POLL_START);

  inv_eid* ids = nullptr;
  uint16_t n = 0;
  const int rc = inv_parser_get_eid_by_type_subtype(xml, 6, 9, 35, &n, &ids);
  if (rc != INV_PARSER_OK) {
    tlg_internal(err_tlg_pem_hdl, "%s():  failed to get fpga eid for PEM (%d, %d), rc: %ld \n", kFunc, tray, pem,
                 static_cast<long>(rc));
    return;
  }
  std::unique_ptr<inv_eid, decltype(&free)> own(ids, &free);
  if (n == 0) {
    tlg_internal(err_tlg_pem_hdl, "%s(): PEM (%d, %d) xml parse error with 0 FPDs\n", kFunc, tray, pem);
    return;
  }
  if (p->fpds != nullptr && p->num_fpds != n) {
    // Records registered with the FPD framework are withdrawn before they go.
    for (uint16_t f = 0; f < p->num_fpds; ++f)
      if (p->fpds[f].init_st == ENVMON_FPD_INIT_DONE) fpd_drv_unregister(p->fpds[f].fpd_out.fpd_hd);
    free(p->fpds);
    p->fpds = nullptr;
    p->num_fpds = 0;
  }
  if (p->fpds == nullptr) {
    p->fpds = static_cast<fpd_data*>(calloc(n, sizeof(fpd_data)));
    if (p->fpds == nullptr) {
      tlg_internal(err_tlg_pem_hdl, "Failed to allocate memory fpr PEM(%d,%d) fpds\n", tray, pem);
      return;
    }
    for (uint16_t f = 0; f < n; ++f) p->fpds[f].state = kFpdIdle;
    p->num_fpds = n;
  }
  for (uint16_t i = 0; i < n; ++i) {
    fpd_data& rec = p->fpds[i];
    if (inv_util_copy_eid_to_eid(&ids[i], &rec.eid, ids[i].level_count) != INV_UTIL_OK) {
      tlg_internal(err_tlg_pem_hdl, "%s():  inv_util_copy_eid_to_eid for slot %d\n", kFunc, slot);
      continue;
    }
    inv_parser_eid_data data{};
    const int drc = inv_parser_get_eid_data(xml, &ids[i], &data);
    if (drc != INV_PARSER_OK) {
      tlg_internal(err_tlg_pem_hdl, "%s: geting eid data failed, rc = %ld \n", kFunc, static_cast<long>(drc));
      continue;
    }
    const char* format = fpd_prefix(p->serial_num);
    if (format == nullptr) {
      tlg_internal(err_tlg_pem_hdl, "%s Invalid / Un supported PEM type SN %s.Not updating description for PEM\n", kFunc,
                   p->serial_num);
      continue;
    }
    char name[ENVMON_FPD_NAME_LEN];
    pem::format(name, kFpdNameMax + 1, format, data.name);
    pem::copy_text(rec.name, sizeof rec.name, name, kFpdNameMax);
    rec.name_len = static_cast<uint8_t>(strnlen(rec.name, sizeof rec.name));
    rec.eid.rack = kUnknownLocation;
    rec.eid.slot = static_cast<uint16_t>(slot);
    envmon_reg_fpd_pem_eid(&rec, rec.name, slot);
    rec.reg_state = pem::arm(rec.reg_state, ENVMON_ST_REG_PENDING, ENVMON_ST_REG_DONE);
  }
}

void envmon_inv_invreg_reg_pmbus_ctrl_eids(uint32_t index, uint8_t controller, uint8_t idprom, uint8_t arm) {
  if (index > 1) return;
  bool connected = false;
  pem::rack_invreg(&connected);
  if (!connected) {
    tlg_internal(err_tlg_pem_hdl, "%s(): Failed to update inventory data, RM invreg not connected\n", __func__);
    return;
  }
  pctrl_data_t& c = pctrl_data[index];
  if (controller) {
    envmon_rm_reg_one_eid(&c.eid, 0);
    if (arm) c.reg_state = 0xf0000001u;
  }
  if (idprom) {
    envmon_rm_reg_one_eid(&c.idprom_eid, 1);
    if (arm) c.idprom_reg_state = 0xf0000001u;
    envmon_rm_report_eeprom_data(&c.idprom_eid, c.idprom, c.idprom_len);
  }
}

void envmon_upd_inv_pem_container_eid_nodeid(uint8_t tray, uint8_t pem) {
  static constexpr char kFunc[] = "envmon_upd_inv_pem_container_eid_nodeid";
  tlg_internal(info_tlg_pem_hdl, "%s, PT # = %d, PM # = %d\n", kFunc, tray, pem);
  bool connected = false;
  invreg_handle* h = pem::rack_invreg(&connected);
  if (!connected) {
    tlg_internal(err_tlg_pem_hdl, "%s(): RM INVREG not connected\n", kFunc);
    return;
  }
  pd_power_tray_info_t* t = pem::tray_at(tray);
  envmon_pwr_tray_budget* b = pem::tray_budget(tray);
  if (t == nullptr || b == nullptr) {
    tlg_internal(err_tlg_pem_hdl, "%s: invalid power tray %d \n", kFunc, tray);
    return;
  }
  tlg_internal(info_tlg_pem_hdl, "%s, PT#PMs= %d\n", kFunc, t->num_pems);
  pem_record* p = pem::pem_at(tray, pem);
  if (p == nullptr) {
    tlg_internal(err_tlg_pem_hdl, "%s: invalid pem %d\n", kFunc, pem);
    return;
  }
  if (b->loc_str[0] == '\0') {
    p->cont_nodeid_upd_pending = 1;
    return;
  }
  char location[32];
  pem::copy_text(location, sizeof location, b->loc_str, 31);
  invreg_container_location_req req{};
  inv_util_copy_pelm_eid_to_pelm_eid(&p->cont_eid, &req.eid);
  req.location = location;
  req.present = 0x7;
  const int32_t slot = pem::pem_slot(tray, pem);
  const int rc = invreg_update_container_location(h, &req, static_cast<uint64_t>(slot));
  envmon_free_tsi(&req.eid);
  if (rc != 0) {
    tlg_internal(err_tlg_pem_hdl, "%s: invreg_update_container_location() failed, error_code: %d\n", kFunc, rc);
    return;
  }
  p->cont_nodeid_upd_pending = 0;
  tlg_internal(info_tlg_pem_hdl, "%s: invreg_update_container_location() successful, nodeid string %s\n", kFunc,
               location);
}

void envmon_pem_inv_invreg_update_powertray_entities_prefix(uint32_t tray) {
  static constexpr char kFunc[] = "envmon_pem_inv_invreg_update_powertray_entities_prefix";
  tlg_internal(info_tlg_pem_hdl, "%s, PT# = %d, MAX PTs= %d\n", kFunc, tray, envmon_hal_get_max_powertray());
  if (!pem::real_trays()) return;
  const uint32_t count = envmon_rm != nullptr ? envmon_rm->pwr_tray_count : 0;
  tlg_internal(info_tlg_pem_hdl, "%s, PT# = %d, eid cnt= %d\n", kFunc, tray, count);
  pd_power_tray_info_t* t = pem::tray_at(tray);
  if (tray >= count || t == nullptr) {
    tlg_internal(err_tlg_pem_hdl, "%s: invalid power tray %d \n", kFunc, tray);
    return;
  }
  tlg_internal(info_tlg_pem_hdl, "%s, PT# = %d, num_pems = %d\n", kFunc, tray, t->num_pems);
  for (uint32_t i = 0; t->pems != nullptr && i < t->num_pems; ++i) {
    pem_record& p = t->pems[i];
    tlg_internal(info_tlg_pem_hdl, "%s, PT# = %d, regi_pend = %d\n", kFunc, tray, p.cont_nodeid_upd_pending);
    if (!p.cont_nodeid_upd_pending) continue;
    envmon_upd_inv_pem_container_eid_nodeid(static_cast<uint8_t>(tray), static_cast<uint8_t>(i));
    if (p.ps_eid.tsi_count != 0) envmon_hal_inv_invreg_update_entity_prefix(static_cast<int32_t>(p.ps_eid.slot));
  }
}

void envmon_pem_inv_invreg_reg_fpd_eid(const pelm_eid* eid, uint32_t slot, const char* name) {
  uint32_t t = 0, i = 0;
  if (eid == nullptr || name == nullptr || !envmon_is_pem_slot(static_cast<int32_t>(slot), &t, &i)) return;
  envmon_inv_invreg_upd_eid_name(eid, name, ENVMON_SCOPE_RACK);
  tlg_internal(info_tlg_pem_hdl, "%s(): invoked envmon_inv_invreg_upd_eid_name to update PEM fpd name %s for slot %d\n",
               __func__, name, slot);
}

void envmon_pem_update_prefix_str(int32_t slot, const struct platform_prefix_names* prefix) {
  uint32_t t = 0, i = 0;
  if (prefix == nullptr || !envmon_is_pem_slot(slot, &t, &i)) return;
  pem_record* p = pem::pem_at(t, i);
  pem::copy_text(p->prefix_str, sizeof p->prefix_str, prefix->prefix_with_dash, sizeof p->prefix_str - 1);
}

void envmon_pem_update_input_for_entity_prefix(int32_t slot, struct platform_fru_entity* location) {
  uint32_t t = 0, i = 0;
  if (location == nullptr || !envmon_is_pem_slot(slot, &t, &i)) return;
  // Numbered across the trays, as the PEM's fault location is.
  const uint32_t first_tray_pems = pd_power_tray_info[0].num_pems;
  location->rack = envmon_rm != nullptr ? static_cast<int32_t>(envmon_rm->rack_num) : 0;
  location->level_count = 1;
  location->level_kind[0] = PLATFORM_LEVEL_PM;
  location->level_index[0] = static_cast<int32_t>(pem::real_trays() ? i : t * first_tray_pems + i);
}

}  // extern "C"

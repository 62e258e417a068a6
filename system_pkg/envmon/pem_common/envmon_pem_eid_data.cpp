// The power driver's entity data: every power module, power tray and PMBus
// power controller it sees, with presence, type, serial, IDPROM, hardware
// version and three event words. The entries become the PEM record's raw data
// and alarm bitmap, start inventory registration of new modules and raise and
// clear the module faults the driver reports directly.
#include <strings.h>

#include <cstring>

#include "drvif.h"
#include "envmon_drvif.h"
#include "envmon_invreg.h"
#include "envmon_pem_private.h"

namespace {

constexpr uint8_t kSubtypePem = 1;
constexpr uint8_t kSubtypeController = 44;
constexpr uint32_t kHwPresent = 0x1;
constexpr uint32_t kHwRemoved = 0x2;
constexpr uint32_t kHwOutputOff = 0x8;
constexpr uint32_t kHwBreakerOff = 0x40;
constexpr uint32_t kHwUnsupported = 0x80;
constexpr uint32_t kHwIncompatible = 0x100;
constexpr uint32_t kFaultInvalidRead = 0x8000000;
constexpr uint32_t kWarnNoInput = 0x4;
constexpr uint32_t kWarnNoInputA = 0x80;
constexpr uint32_t kWarnNoInputB = 0x100;
constexpr uint32_t kWarnNoInputC = 0x2000;
constexpr uint32_t kWarnMixedTrays = 0x20;
constexpr uint32_t kWarnIdprom = 0x40;
constexpr uint32_t kErrInvalidRead = 0x1;
constexpr uint32_t kErrUnsupported = 0x2;
constexpr uint32_t kErrIncompatible = 0x4;
constexpr uint32_t kTagCbreaker = 49;
constexpr uint32_t kTagInvalidRead = 50;
constexpr uint32_t kTagUnsupported = 55;
constexpr uint32_t kTagIncompatible = 56;

struct Bit {
  uint32_t word_bit;
  uint32_t alarm;
};
constexpr Bit kFaultBits[] = {
    {0x4000, 1},      {0x800, 2},       {0x100, 3},       {0x20000, 4},     {0x200, 5},
    {0x2000, 6},      {0x400, 7},       {0x1000, 8},      {0x200000, 9},    {0x80, 10},
    {0x80000, 11},    {0x100000, 12},   {0x8000, 13},     {0x40000, 14},    {0x800000, 18},
    {0x10000000, 24}, {0x20000000, 25}, {0x40000000, 26}, {0x10000, 27},    {0x10000, 31},
    {0x20000, 31},
};
constexpr Bit kWarnBits[] = {
    {0x2, 19}, {0x1, 20}, {0x10, 21}, {0x8, 23}, {0x400, 28}, {0x800, 29}, {0x4000, 30}, {0x1000, 37},
};

constexpr uint32_t kAcTypes[] = {0xF00388,   0xF00188,   0xF0038B,   0xF11993,   0xF11990,   0xAB010000,
                                 0xAB010001, 0xAB010020, 0xAB010030, 0xAB010200, 0xAB010201, 0xAB010205,
                                 0xAB010204, 0xAB010100, 0xAB010101, 0xAB010104, 0xAB010107, 0xAB010108,
                                 0xAB010109, 0xAB010308, 0xAB01010A, 0xF11995,   0xAB1001,   0xAB1002,
                                 0xAB1006,   0xAB1007,   0xAB1005,   0x1,        0xF0038D,   0xF01960};

bool ac_type(uint32_t type) {
  for (uint32_t t : kAcTypes)
    if (t == type) return true;
  return false;
}

uint64_t bit(uint32_t id) { return 1ull << id; }

// The no-input warnings, by the module's kind of input.
uint64_t no_input_alarms(uint32_t type, uint32_t warn) {
  uint64_t a = 0;
  const bool ac = ac_type(type);
  if (warn & kWarnNoInput) a |= bit(ac ? 15 : 16);
  if (warn & kWarnNoInputA) a |= bit(ac ? 35 : 32);
  if (warn & kWarnNoInputB) a |= bit(ac ? 36 : 33);
  if (warn & kWarnNoInputC) a |= bit(34);
  return a;
}

bool has_state(const drvif_eid_data_rec* entry) { return entry != nullptr && (entry->present[0] & 0x08) != 0; }
bool has_vendor(const drvif_eid_data_rec* entry) { return entry != nullptr && (entry->present[1] & 0x10) != 0; }

void copy_idprom(uint8_t* dst, uint32_t* dst_len, const uint8_t* src, uint32_t len) {
  if (dst == nullptr || dst_len == nullptr) return;
  const uint32_t n = src != nullptr ? std::min(len, envmon_hal_get_max_idprom_size()) : 0;
  if (n != 0) std::memcpy(dst, src, n);
  *dst_len = n;
}

envmon_err_t send(uint32_t tag, pelm_eid* eid, bool raise, uint16_t level, const char* descr, const char* name) {
  pem::FaultRequest fr(tag, eid, raise ? pem::kRaise : pem::kClear, level);
  fr.data.description = descr;
  fr.data.name = name;
  return fr.send();
}

bool contains_nocase(const char* text, const char* word) {
  if (text == nullptr) return false;
  const size_t n = std::strlen(word);
  for (const char* p = text; *p != '\0'; ++p)
    if (strncasecmp(p, word, n) == 0) return true;
  return false;
}

void pem_entry(const drvif_eid_data_rec* entry, pelm_eid* eid, uint32_t slot, uint32_t board_id, const char* serial,
               uint32_t hw, uint32_t fault, const char* fault_text, uint32_t warn, const char* warn_text,
               uint32_t hours, const uint8_t* idprom, uint32_t idprom_len, uint32_t hw_major, uint32_t hw_minor,
               uint32_t scope) {
  static constexpr char kFunc[] = "envmon_pem_drvif_eid_data_notification";
  if (!has_state(entry)) return;
  uint32_t t = 0, i = 0;
  if (!envmon_is_pem_slot(static_cast<int32_t>(slot), &t, &i)) {
    tlg_internal(err_tlg_pem_hdl, "%s: invalid slot %d for PEM\n", kFunc, slot);
    return;
  }
  pem_record* p = pem::pem_at(t, i);
  if (p == nullptr) {
    tlg_internal(err_tlg_pem_hdl, "%s: memory not allocated for PEMs in tray %d\n", kFunc, t);
    return;
  }
  const uint8_t tray = static_cast<uint8_t>(t), pem = static_cast<uint8_t>(i);
  tlg_internal(pwrm_tlg_pem_hdl, "%s: hw events 0x%x, fault_events 0x%x, warn_events 0x%x for PEM (%d, %d)\n", kFunc,
               hw, fault, warn, tray, pem);
  p->hw_events = hw;
  if (hw & kHwRemoved) {
    envmon_pwr_mgmt_pem_data_upd(tray, pem, nullptr, 0);
    return;
  }
  p->pem_raw_data.pem_type = board_id;
  if (pd_power_supplies_data.all_pem_info_rcvd != 1) p->status &= ~ENVMON_PEM_PRESENT_BEFORE_CCC_RESTART;
  if (p->status == 0 || p->status == ENVMON_PEM_NOT_PRESENT) {
    copy_idprom(p->idprom_data, &p->idprom_len, idprom, idprom_len);
    p->hw_ver_maj = hw_major;
    p->hw_ver_min = hw_minor;
    pem::copy_text(p->serial_num, sizeof p->serial_num, serial, 11);
    tlg_internal(pwrm_tlg_pem_hdl, "PEM (%d, %d) serial_num %s\n", tray, pem, p->serial_num);
    p->fru_hw_ver_maj = hw_major;
    p->fru_hw_ver_min = hw_minor;
    envmon_inv_invreg_reg_pwr_fru(tray, pem, board_id, p->serial_num, 11, hw_major, hw_minor);
    p->fru_reg_state = (p->fru_reg_state & ~0xcu) | 0x8u;
    p->fru_reg_state = (p->fru_reg_state & 0x0ffffffcu) | 0xf0000001u;
    envmon_setup_eid_for_pem_alm(tray, pem);
    pem::start_or_rearm_mask(tray, pem);
  } else if (p->voltage_data.sensors != nullptr && p->voltage_data.count != 0 &&
             (p->voltage_data.sensors[0].state & ENVMON_SBIT_DRVIF_REG) == 0) {
    // The driver came back: its polling and any upgrade it cut short.
    envmon_drvif_pem_sensors_poll_request(tray, pem, ENVMON_POLL_START);
    envmon_drvif_ccc_restart_pem_fpd_upg_handling(tray, pem);
  }
  pem_raw_data_t raw{};
  raw.pem_type = board_id;
  raw.input_voltage_a = p->pem_raw_data.input_voltage_a;
  raw.input_voltage_b = p->pem_raw_data.input_voltage_b;
  raw.input_voltage_c = p->pem_raw_data.input_voltage_c;
  raw.hours_used = hours;
  envmon_drvif_convert_pem_faults(hw, fault, warn, &raw.hw_alarms);
  raw.hw_alarms |= no_input_alarms(board_id, warn);
  struct ErrorKind {
    uint32_t hw_bit, error, kind;
  };
  for (const ErrorKind& k : {ErrorKind{kHwUnsupported, kErrUnsupported, 2}, ErrorKind{kHwIncompatible, kErrIncompatible, 4}}) {
    const bool on = (hw & k.hw_bit) != 0;
    const bool raised = (p->errors & k.error) != 0;
    if (on == raised) continue;
    if (envmon_process_drvif_pem_errors(eid, on, k.kind) == ENVMON_OK) p->errors ^= k.error;
  }
  p->vendor_id = has_vendor(entry) ? entry->aux : 0;
  tlg_internal(pwrm_tlg_pem_hdl, "vendor id %d for PEM (%d, %d)\n", p->vendor_id, tray, pem);
  envmon_pwr_mgmt_pem_data_upd(tray, pem, &raw, 1);
  const bool invalid_read = (fault & kFaultInvalidRead) != 0 && fault_text != nullptr && strnlen(fault_text, 2) > 1;
  if (invalid_read && !(p->errors & kErrInvalidRead)) {
    if (envmon_process_drvif_invalid_sensor_read(eid, static_cast<int32_t>(scope), fault_text, true) == ENVMON_OK)
      p->errors |= kErrInvalidRead;
  } else if (!invalid_read && (p->errors & kErrInvalidRead)) {
    if (envmon_process_drvif_invalid_sensor_read(eid, static_cast<int32_t>(scope), fault_text, false) == ENVMON_OK)
      p->errors &= ~kErrInvalidRead;
  }
  if ((warn & kWarnIdprom) && p->idprom_fault_raised == 0) {
    p->idprom_fault_raised = 1;
    envmon_process_drvif_idprom_access_fault(eid, scope, warn_text, 1);
  } else if (!(warn & kWarnIdprom) && p->idprom_fault_raised) {
    p->idprom_fault_raised = 0;
    envmon_process_drvif_idprom_access_fault(eid, scope, warn_text, 0);
  }
}

void raise_tray_undetected(uint32_t slot, bool raise) {
  pelm_eid tray_eid{};
  envmon_setup_pwr_tray_eid(slot, &tray_eid);
  envmon_process_drvif_hw_undetected_fault(&tray_eid, ENVMON_SCOPE_RACK, raise ? 1 : 0);
  envmon_free_tsi(&tray_eid);
}

void tray_entry(const drvif_eid_data_rec* entry, pelm_eid* eid, uint32_t slot, uint32_t type, const char* serial,
                uint32_t hw, uint32_t warn, const char* warn_text, const uint8_t* idprom, uint32_t idprom_len,
                uint32_t hw_major, uint32_t hw_minor, uint32_t scope) {
  static constexpr char kFunc[] = "envmon_pem_drvif_eid_data_notification";
  if (!has_state(entry)) return;
  uint32_t t = 0;
  envmon_pwr_tray_budget* b = nullptr;
  if (!envmon_is_powertray_slot(slot, &t) || (b = pem::tray_budget(t)) == nullptr) {
    tlg_internal(err_tlg_pem_hdl, "%s: invalid slot %d for power tray\n", kFunc, slot);
    return;
  }
  const uint8_t tray = static_cast<uint8_t>(t);
  tlg_internal(pwrm_tlg_pem_hdl, "%s: hw events 0x%x warn events 0x%x for power tray type 0x%x, slot %d\n", kFunc, hw,
               warn, type, slot);
  const bool controllers = envmon_rm != nullptr && !envmon_rm->is_proto_chassis;
  if (hw & kHwRemoved) {
    if (controllers && b->state != 2) raise_tray_undetected(slot, true);
    if (b->state == 1) {
      pem::for_each_pem([&](uint32_t pt, uint32_t pi, pem_record& p) {
        if (pt != t || !pem::present(p.status)) return;
        envmon_inv_invreg_unreg_pwr_fru(pt, pi, p.pem_raw_data.pem_type);
        p.fru_reg_state = (p.fru_reg_state & 0x0ffffff3u) | 0xf0000004u;
      });
      envmon_inv_invreg_unreg_pwr_fru(t, 0, static_cast<uint32_t>(b->type));
      b->reg_state = (b->reg_state & 0x0ffffff3u) | 0xf0000004u;
    }
    envmon_pwr_mgmt_powertray_oir_ev(tray, 0);
    return;
  }
  if (controllers && b->state == 2) raise_tray_undetected(slot, false);
  envmon_pwr_mgmt_powertray_hwtype_upd(tray, static_cast<int32_t>(type));
  if (b->state != 1) {
    envmon_pwr_mgmt_data_t* p = pem::pm();
    if (p != nullptr && p->no_pt_detected) {
      tlg_internal(pwrm_tlg_pem_hdl, "Reset the NO PT detected flag on PT detection %d\n", tray);
      p->no_pt_detected = 0;
    }
    if (b->idprom == nullptr) b->idprom = static_cast<uint8_t*>(calloc(1, envmon_hal_get_max_idprom_size() + 1));
    copy_idprom(b->idprom, &b->idprom_len, idprom, idprom_len);
    pem::copy_text(b->serial_num, sizeof b->serial_num, serial, 11);
    envmon_pwr_mgmt_pem_data_init(tray);
    envmon_inv_invreg_reg_pwr_fru(t, 0, type, b->serial_num, 11, hw_major, hw_minor);
    b->reg_state = (b->reg_state & 0x0ffffffcu) | 0xf0000001u;
  } else if (pd_power_supplies_data.pem_drvif_reg_done != 1 && envmon_all_pem_container_regi_done()) {
    envmon_drvif_pwr_regi_pem();
  }
  envmon_pwr_mgmt_powertray_oir_ev(tray, 1);
  if (!controllers) envmon_process_cbreaker_off_alm(eid, t, static_cast<int32_t>(scope), (hw & kHwBreakerOff) != 0);
  pelm_eid fru{};
  envmon_setup_fru_eid(slot, &fru);
  if ((warn & kWarnIdprom) && !b->hw_access_failure) {
    b->hw_access_failure = 1;
    envmon_process_drvif_idprom_access_fault(eid, scope, warn_text, 1);
    envmon_inv_invreg_report_hw_event(&fru, ENVMON_SCOPE_RACK, ENVMON_INV_HW_DOWN);
  } else if (!(warn & kWarnIdprom) && b->hw_access_failure) {
    b->hw_access_failure = 0;
    envmon_process_drvif_idprom_access_fault(eid, scope, warn_text, 0);
    envmon_inv_invreg_report_hw_event(&fru, ENVMON_SCOPE_RACK, ENVMON_INV_HW_UP);
  }
}

void controller_entry(pelm_eid* eid, const pelm_tsi* tsi, uint32_t tsi_count, uint32_t type, const char* serial,
                      uint32_t hw, uint32_t warn, const char* warn_text, const uint8_t* idprom, uint32_t idprom_len,
                      uint32_t scope) {
  static constexpr char kFunc[] = "envmon_pem_drvif_eid_data_notification";
  if (tsi == nullptr || tsi_count == 0) return;
  const uint32_t instance = tsi[tsi_count - 1].instance;
  if (instance < 1 || instance > 2) return;
  const uint32_t index = instance - 1;
  pctrl_data_t& c = pctrl_data[index];
  tlg_internal(pwrm_tlg_pem_hdl, "%s: hw events 0x%x warn events 0x%x for power controller %d\n", kFunc, hw, warn,
               index);
  if (hw & kHwRemoved) {
    c.state &= ~0x1u;
    if (!(c.state & 0x2u)) {
      envmon_process_drvif_hw_undetected_fault(eid, ENVMON_SCOPE_RACK, 1);
      c.state |= 0x2u;
    }
    return;
  }
  if (!(hw & kHwPresent)) {
    tlg_internal(err_tlg_pem_hdl, "%s: invalid hw event %d for power controller\n", kFunc, hw);
    return;
  }
  c.hw_type = type;
  pem::copy_text(c.serial_num, sizeof c.serial_num, serial, 11);
  copy_idprom(c.idprom, &c.idprom_len, idprom, idprom_len);
  envmon_inv_invreg_reg_pmbus_ctrl_eids(index, 1, 1, 1);
  c.state |= 0x1u;
  if (c.state & 0x2u) {
    envmon_process_drvif_hw_undetected_fault(eid, ENVMON_SCOPE_RACK, 0);
    c.state &= ~0x2u;
  }
  if (warn & kWarnMixedTrays) {
    c.mixed_pwr_trays_alarm = 1;
    envmon_process_drvif_mixed_power_trays(eid, static_cast<int32_t>(scope), warn_text, 1);
  } else if (c.mixed_pwr_trays_alarm) {
    c.mixed_pwr_trays_alarm = 0;
    envmon_process_drvif_mixed_power_trays(eid, static_cast<int32_t>(scope), "", 0);
  }
  envmon_process_cbreaker_off_alm(eid, index, static_cast<int32_t>(scope), (hw & kHwBreakerOff) != 0);
  if ((warn & kWarnIdprom) && !c.idprom_fault_raised) {
    c.idprom_fault_raised = 1;
    envmon_process_drvif_idprom_access_fault(eid, scope, warn_text, 1);
  } else if (!(warn & kWarnIdprom) && c.idprom_fault_raised) {
    c.idprom_fault_raised = 0;
    envmon_process_drvif_idprom_access_fault(eid, scope, warn_text, 0);
  }
}

}  // namespace

extern "C" {

void envmon_drvif_convert_pem_faults(uint32_t hw, uint32_t fault, uint32_t warn, uint64_t* alarms) {
  if (alarms == nullptr) return;
  uint64_t a = 0;
  if (hw & (kHwOutputOff | kHwBreakerOff)) a |= bit(17);
  for (const Bit& b : kFaultBits)
    if (fault & b.word_bit) a |= bit(b.alarm);
  for (const Bit& b : kWarnBits)
    if (warn & b.word_bit) a |= bit(b.alarm);
  *alarms = a;
}

void envmon_pem_drvif_eid_data_notification(uint8_t subtype, const struct drvif_eid_data_rec* entry,
                                            const pelm_eid* /*entry_eid*/, pelm_eid* eid, pelm_tsi* tsi,
                                            uint32_t tsi_count, uint32_t slot, uint32_t board_id, const char* serial,
                                            uint32_t hw_events, uint32_t fault_events, const char* fault_text,
                                            uint32_t warn_events, const char* warn_text, uint32_t hours_used,
                                            const uint8_t* idprom, uint32_t idprom_len, uint32_t hw_major,
                                            uint32_t hw_minor, uint32_t scope) {
  if (subtype == kSubtypePem) {
    pem_entry(entry, eid, slot, board_id, serial, hw_events, fault_events, fault_text, warn_events, warn_text,
              hours_used, idprom, idprom_len, hw_major, hw_minor, scope);
  } else if (subtype >= 23 && subtype <= 25) {
    tray_entry(entry, eid, slot, board_id, serial, hw_events, warn_events, warn_text, idprom, idprom_len, hw_major,
               hw_minor, scope);
  } else if (subtype == kSubtypeController) {
    controller_entry(eid, tsi, tsi_count, board_id, serial, hw_events, warn_events, warn_text, idprom, idprom_len,
                     scope);
  }
}

void envmon_pem_drvif_eid_data_notification_complete(uint8_t subtype) {
  if (subtype == kSubtypePem) {
    envmon_pwr_mgmt_set_pem_data_done();
    return;
  }
  if (envmon_rm == nullptr || envmon_rm->is_proto_chassis || !pem::real_trays() || subtype < 23 || subtype > 25) return;
  for (uint32_t t = 0; t < envmon_rm->pwr_tray_count; ++t) {
    envmon_pwr_tray_budget* b = pem::tray_budget(t);
    if (b == nullptr || b->state != 0) continue;
    b->state = 2;
    raise_tray_undetected(static_cast<uint32_t>(b->hw_position), true);
  }
}

void envmon_drvif_pem_fault_handling(uint8_t tray, uint8_t pem, uint32_t fault_flags, uint32_t alarm_id) {
  static constexpr char kFunc[] = "envmon_drvif_pem_fault_handling";
  if (pem::tray_at(tray) == nullptr) {
    tlg_internal(err_tlg_pem_hdl, "%s(): invalid pwr_tray_num %d \n", kFunc, tray);
    return;
  }
  pem_record* p = pem::pem_at(tray, pem);
  if (p == nullptr) {
    tlg_internal(err_tlg_pem_hdl, "%s(): invalid pem_num %d\n", kFunc, pem);
    return;
  }
  if (alarm_id > 63) return;
  pem_raw_data_t copy = p->pem_raw_data;
  if (fault_flags & 0x400000)
    copy.hw_alarms |= bit(alarm_id);
  else
    copy.hw_alarms &= ~bit(alarm_id);
  if (copy.hw_alarms != p->pem_raw_data.hw_alarms) envmon_pwr_mgmt_pem_data_upd(tray, pem, &copy, 1);
}

void envmon_process_cbreaker_off_alm(pelm_eid* eid, uint32_t index, int32_t /*scope*/, bool off) {
  static constexpr char kFunc[] = "envmon_process_cbreaker_off_alm";
  if (envmon_rm == nullptr || index > 31) return;
  const uint32_t mask = 1u << index;
  const bool raised = (envmon_rm->cbreaker_off_alarms & mask) != 0;
  if (off == raised) return;
  char text[256];
  pem::format(text, sizeof text, "%s %d", contains_nocase(envmon_hal_get_platform_name(), "obv8k") ? "Power Tray" : "Power Shelf",
              index);
  const envmon_err_t rc = send(kTagCbreaker, eid, off, 4, text, text);
  if (rc != ENVMON_OK) {
    tlg_internal(err_tlg_pem_hdl, "In %s: envmon_fm_fault_report returned error for %s cbreaker off alm, rc = %ld.\n", kFunc,
                 off ? "raising" : "clearing", static_cast<long>(rc));
    return;
  }
  envmon_rm->cbreaker_off_alarms ^= mask;
  tlg_internal(fault_tlg_pem_hdl, "%s: %s cbreaker off alm for power shelf %d\n", kFunc, off ? "raised" : "cleared", index);
}

envmon_err_t envmon_process_drvif_invalid_sensor_read(pelm_eid* eid, int32_t /*scope*/, const char* text, bool raise) {
  static constexpr char kFunc[] = "envmon_process_drvif_invalid_sensor_read";
  char descr[256];
  pem::format(descr, sizeof descr, "%s", raise ? (text != nullptr ? text : "") : "FAULT CLEARED");
  const envmon_err_t rc = send(kTagInvalidRead, eid, raise, 3, descr, nullptr);
  if (rc != ENVMON_OK)
    tlg_internal(err_tlg_pem_hdl, "In %s: envmon_fm_fault_report returned error for %s invalid sensor read fault, rc = %ld.\n",
                 kFunc, raise ? "raising" : "clearing", static_cast<long>(rc));
  else
    tlg_internal(fault_tlg_pem_hdl, "%s: %s invalid sensor read fault\n", kFunc, raise ? "raised" : "cleared");
  return rc;
}

envmon_err_t envmon_process_drvif_pem_errors(pelm_eid* eid, bool raise, uint32_t kind) {
  static constexpr char kFunc[] = "envmon_process_drvif_pem_errors";
  uint32_t tag = 0;
  uint16_t level = 0;
  const char* name = nullptr;
  if (kind == 2) {
    tag = kTagUnsupported;
    level = 3;
    name = "PEM_UNSUPPORTED";
  } else if (kind == 4) {
    tag = kTagIncompatible;
    level = 4;
    name = "PEM_FPDS_INCOMPATIBLE";
  } else {
    tlg_internal(err_tlg_pem_hdl, "%s: invalid error type 0x%x\n", kFunc, kind);
    return ENVMON_ERR_INVALID_ARG;
  }
  const envmon_err_t rc = send(tag, eid, raise, level, nullptr, nullptr);
  if (rc != ENVMON_OK)
    tlg_internal(err_tlg_pem_hdl, "In %s: envmon_fm_fault_report returned error for %s %s alarm, rc = %ld.\n", kFunc,
                 raise ? "raising" : "clearing", name, static_cast<long>(rc));
  else
    tlg_internal(fault_tlg_pem_hdl, "%s: %s %s alarm\n", kFunc, raise ? "raised" : "cleared", name);
  return rc;
}

}  // extern "C"

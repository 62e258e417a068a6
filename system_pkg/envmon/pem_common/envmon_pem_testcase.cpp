// Canned scenarios for engineers: tray and PEM insertion and removal,
// hardware alarms, low-voltage thresholds, budgets and PEM firmware upgrades
// replayed without hardware. Nothing in the server calls them.
#include <array>
#include <cstring>

#include "envmon_drvif.h"
#include "envmon_invreg.h"
#include "envmon_pem_private.h"
#include "inv_parser.h"
#include "simpaths.h"

namespace {

struct Codes {
  uint32_t tray_a, tray_b, dc, ac;
  bool mirno;
};
constexpr Codes kGeneral{0xAA0A91, 0xAA0A90, 0xF0038A, 0xF00388, false};
constexpr Codes kMirno{0xAA0A97, 0xAA0A98, 0xF11991, 0xF11990, true};
constexpr uint32_t kTrayC = 0xAA0A95;
constexpr uint32_t kTrayD = 0xAA0A94;
constexpr uint32_t kLineCardType = 0x540864;
constexpr char kSerial[] = "TSTSN000001";
constexpr uint32_t kNoChange = 0xffffffffu;
constexpr std::array<const char*, 3> kAcImages = {"/opt/tolvu/pelmarok/bin/delta_ac_primary_mcu.bin",
                                                  "/opt/tolvu/pelmarok/bin/delta_ac_sec54v_mcu.bin",
                                                  "/opt/tolvu/pelmarok/bin/delta_ac_sec5v_mcu.bin"};
constexpr std::array<const char*, 3> kDcImages = {"/opt/tolvu/pelmarok/bin/delta_dc_primary_mcu.bin",
                                                  "/opt/tolvu/pelmarok/bin/delta_dc_sec54v_mcu.bin",
                                                  "/opt/tolvu/pelmarok/bin/delta_dc_sec5v_mcu.bin"};
constexpr char kFanImage[] = "/opt/tolvu/pelmarok/bin/vantorel_fpga.bin";

// A PEM as the driver would report it; voltages kNoChange keep the PEM's.
void simulate_pem(uint8_t tray, uint8_t pem, uint32_t type, uint64_t hw_alarms = 0, uint32_t hours = 0,
                  uint32_t volt_a = kNoChange, uint32_t volt_b = kNoChange) {
  pem_record* p = pem::pem_at(tray, pem);
  if (p == nullptr) {
    tlg_internal(err_tlg_pem_hdl, "%s: no PEM (%d, %d)\n", "envmon_pem_run_test_case", tray, pem);
    return;
  }
  if (p->status == 0 || p->status == ENVMON_PEM_NOT_PRESENT)
    envmon_inv_invreg_reg_pwr_fru(tray, pem, type, kSerial, 11, 1, 0);
  pem_raw_data_t raw{};
  raw.pem_type = type;
  raw.input_voltage_a = volt_a != kNoChange ? volt_a : p->pem_raw_data.input_voltage_a;
  raw.input_voltage_b = volt_b != kNoChange ? volt_b : p->pem_raw_data.input_voltage_b;
  raw.input_voltage_c = p->pem_raw_data.input_voltage_c;
  raw.hours_used = hours;
  raw.hw_alarms = hw_alarms;
  envmon_pwr_mgmt_pem_data_upd(tray, pem, &raw, 1);
}

void insert_tray(uint8_t tray, uint32_t type) {
  envmon_pwr_mgmt_powertray_hwtype_upd(tray, static_cast<int32_t>(type));
  envmon_pwr_tray_budget* b = pem::tray_budget(tray);
  if (b == nullptr || b->state != 1) {
    envmon_pwr_mgmt_pem_data_init(tray);
    envmon_inv_invreg_reg_pwr_fru(tray, 0, type, kSerial, 11, 0, 0);
  }
  envmon_pwr_mgmt_powertray_oir_ev(tray, 1);
}

void remove_tray(uint8_t tray) {
  envmon_pwr_tray_budget* b = pem::tray_budget(tray);
  if (b != nullptr && b->state == 1) {
    pem::for_each_pem([&](uint32_t t, uint32_t i, pem_record& p) {
      if (t == tray && pem::present(p.status)) envmon_inv_invreg_unreg_pwr_fru(t, i, p.pem_raw_data.pem_type);
    });
    envmon_inv_invreg_unreg_pwr_fru(tray, 0, static_cast<uint32_t>(b->type));
  }
  envmon_pwr_mgmt_powertray_oir_ev(tray, 0);
}

void remove_pem(uint8_t tray, uint8_t pem) {
  pem_record* p = pem::pem_at(tray, pem);
  if (p != nullptr && pem::present(p->status)) envmon_inv_invreg_unreg_pwr_fru(tray, pem, p->pem_raw_data.pem_type);
  envmon_pwr_mgmt_pem_data_upd(tray, pem, nullptr, 0);
}

void budget_request(uint32_t offset) {
  envmon_pwr_mgmt_data_t* p = pem::pm();
  if (p == nullptr || p->pbudget_list == nullptr) return;
  const uint32_t index = p->start_index[ENVMON_CARD_CLASS_LC] + offset;
  if (p->start_index[ENVMON_CARD_CLASS_LC] == ENVMON_PWR_NO_INDEX || index > p->pbudget_last_index) return;
  envmon_pwr_mgmt_get_budget(&p->pbudget_list[index].eid, kLineCardType, "", 0, 1);
}

// Walks trays for the voltage scenarios: the general variant falls back on
// the virtual trays, the Mirno one does not.
uint32_t scenario_trays(const Codes& c) {
  const uint32_t rack = envmon_rm != nullptr ? envmon_rm->pwr_tray_count : 0;
  if (c.mirno || rack != 0) return rack;
  return envmon_hal_get_max_virtual_powertray();
}

void voltage_events(const Codes& c, bool ok_only, std::initializer_list<int32_t> values, int32_t last_base,
                    int32_t last_extra) {
  const uint32_t trays = std::min(scenario_trays(c), pem::tray_count());
  for (uint32_t t = 0; pd_power_tray_info != nullptr && t < trays; ++t) {
    pd_power_tray_info_t& tray = pd_power_tray_info[t];
    for (uint32_t i = 0; tray.pems != nullptr && i < tray.num_pems; ++i) {
      pem_record& p = tray.pems[i];
      if (ok_only && p.status != ENVMON_PEM_OK) continue;
      if (p.voltage_data.sensors == nullptr || p.voltage_data.count == 0) continue;
      const pelm_eid* eid = &p.voltage_data.sensors[0].eid;
      for (int32_t v : values) envmon_volt_value_change_event(eid, v, ENVMON_SCOPE_RACK, 0);
      envmon_volt_value_change_event(eid, last_base + static_cast<int32_t>(i), ENVMON_SCOPE_RACK, 0);
      if (last_extra != 0) envmon_volt_value_change_event(eid, last_extra, ENVMON_SCOPE_RACK, 0);
    }
  }
}

void set_image(fpd_data& fpd, const char* image) {
  char path[ENVMON_FPD_PATH_LEN];
  pem::copy_text(fpd.fpd_path, sizeof fpd.fpd_path,
                 sim_path(image, path, sizeof path) != nullptr ? path : image, sizeof fpd.fpd_path - 1);
}

void upgrade_fan_tray(uint32_t tray) {
  if (envmon_rm == nullptr || envmon_rm->fantray_cb == nullptr || tray >= envmon_hal_get_max_fantray()) return;
  fantray_cb& ft = envmon_rm->fantray_cb[tray];
  if (ft.fpd_data == nullptr || ft.fpd_count == 0) return;
  fpd_data copy = ft.fpd_data[0];
  set_image(copy, kFanImage);
  envmon_drvif_request_fpd_upd(ENVMON_DRV_FAN, &copy);
}

void upgrade_pem(uint8_t tray, uint8_t pem) {
  pem_record* p = pem::pem_at(tray, pem);
  for (uint16_t f = 0; p != nullptr && p->fpds != nullptr && f < p->num_fpds; ++f) {
    fpd_data copy = p->fpds[f];
    set_image(copy, kAcImages[f % kAcImages.size()]);
    envmon_drvif_request_fpd_upd(ENVMON_DRV_POWER, &copy);
  }
}

void upgrade_all_pems() {
  pem::for_each_pem([](uint32_t t, uint32_t i, pem_record& p) {
    for (uint16_t f = 0; p.fpds != nullptr && f < p.num_fpds; ++f) {
      fpd_data copy = p.fpds[f];
      set_image(copy, kDcImages[f % kDcImages.size()]);
      const int32_t rc = envmon_pwr_mgmt_request_pem_upg(static_cast<uint8_t>(t), static_cast<uint8_t>(i), f);
      if (rc == 0) envmon_drvif_request_fpd_upd(ENVMON_DRV_POWER, &copy);
      tlg_internal(pwrm_tlg_pem_hdl, "%s: fpd(%d,%d,%d) rc %d\n", "envmon_pem_run_test_case", t, i, f, rc);
    }
  });
}

void card_states() {
  const uint8_t slots[] = {20, 8, 17};
  const int32_t states[] = {1, 2, 0};
  for (uint8_t s : slots) {
    for (int32_t st : states) {
      envmon_pwr_mgmt_card_state_upd(s, ENVMON_CARD_CLASS_LC, kLineCardType, "", 0, 1, st);
      envmon_pwr_mgmt_set_card_state_upd_done();
    }
  }
}

void open_dc_description(const Codes& c) {
  inv_parser_open_req req{};
  req.pi_hw_type = 9;
  req.pd_hw_type = c.dc;
  req.hw_major = 1;
  req.hw_minor = 0;
  inv_xml_handle_t xml = inv_parser_open_xml_file_v2(1, &req);
  if (xml == nullptr) {
    tlg_internal(err_tlg_pem_hdl, "inv_parser_open_xml_file failed\n");
    return;
  }
  inv_parser_close_xml_file(xml);
}

void run(const char* func, const Codes& c, uint32_t id) {
  tlg_internal(pwrm_tlg_pem_hdl, "%s: #%d\n", func, id);
  switch (id) {
    case 1: insert_tray(0, c.tray_a); return;
    case 2: insert_tray(1, c.tray_a); return;
    case 14: insert_tray(1, c.tray_b); return;
    case 20: insert_tray(0, c.tray_b); return;
    case 3:
      for (uint8_t i = 0; i < 3; ++i) simulate_pem(0, i, c.dc);
      break;
    case 4:
      for (uint8_t i = 1; i <= 3; ++i) simulate_pem(1, i, c.dc, i == 3 ? 0x80 : 0, 1);
      break;
    case 5: budget_request(0); return;
    case 6:
      budget_request(1);
      budget_request(2);
      return;
    case 7: envmon_pwr_mgmt_set_action_mode(1); return;
    case 8: envmon_hal_pwr_mgmt_set_redundancy_num_pems(1); return;
    case 10: remove_tray(0); return;
    case 11:
    case 15: remove_tray(1); return;
    case 12: remove_pem(0, 2); break;
    case 13: open_dc_description(c); return;
    case 16: simulate_pem(1, 5, c.ac); break;
    case 17: remove_pem(1, 5); break;
    case 18:
      for (uint32_t s = 0; s <= 38; ++s) {
        simulate_pem(1, 8, c.dc, 1ull << s, 20);
        envmon_pwr_mgmt_set_pem_data_done();
      }
      for (uint32_t s = 0; s <= 38; ++s) {
        uint64_t bits = (1ull << s) | (1ull << (s + 1));
        if (s % 2 == 0) bits |= 1ull << (s + 2);
        simulate_pem(1, 8, c.dc, bits, 20);
        envmon_pwr_mgmt_set_pem_data_done();
      }
      return;
    case 19: card_states(); return;
    case 21:
    case 22:
    case 23:
    case 24: {
      const uint8_t tray = (id == 21 || id == 23) ? 0 : 1;
      if (c.mirno) {
        for (uint8_t i = 0; i < 4; ++i) simulate_pem(tray, i, c.dc);
        for (uint8_t i = 4; i < 8; ++i) simulate_pem(tray, i, c.ac);
      } else {
        const bool dc = id == 21 || id == 22;
        for (uint8_t i = 0; i < (dc ? 9 : 6); ++i) simulate_pem(tray, i, dc ? c.dc : c.ac);
      }
      break;
    }
    case 25: voltage_events(c, true, {43990, 44010, 42000, 40749, 40700}, 39998, 39800); return;
    case 26:
    case 27:
    case 31:
    case 32: {
      const uint8_t first = (id == 26 || id == 31) ? 0 : 1;
      const uint32_t type = (id == 26 || id == 27) ? kTrayC : kTrayD;
      for (uint8_t t = first; t <= 5; t = static_cast<uint8_t>(t + 2)) insert_tray(t, type);
      return;
    }
    case 28:
    case 29:
    case 33:
    case 34: {
      const uint8_t first = (id == 28 || id == 33) ? 0 : 1;
      const bool dc = id == 28 || id == 29;
      const uint8_t count = dc ? 4 : (c.mirno ? 4 : 3);
      for (uint8_t t = first; t <= 5; t = static_cast<uint8_t>(t + 2))
        for (uint8_t i = 0; i < count; ++i)
          simulate_pem(t, i, dc ? c.dc : c.ac, 0, 0, dc ? 56000 : 192000, dc ? 55100 : 193000);
      break;
    }
    case 30:
      for (uint8_t t = 0; t <= 4; t = static_cast<uint8_t>(t + 2))
        simulate_pem(t, t == 4 ? 3 : t, c.dc, 0, 0, 56200, 55300);
      break;
    case 35:
      for (uint8_t t = 1; t <= 5; t = static_cast<uint8_t>(t + 2))
        simulate_pem(t, static_cast<uint8_t>(t / 2), c.ac, 0, 0, 210200, 215300);
      break;
    case 36: voltage_events(c, false, {43990, 44010, 45001, 43500, 39000}, 43499, 0); return;
    case 101: upgrade_fan_tray(0); return;
    case 102: upgrade_fan_tray(1); return;
    case 103: upgrade_pem(0, 0); return;
    case 104: upgrade_pem(0, 5); return;
    case 105: upgrade_pem(1, 1); return;
    case 106: upgrade_all_pems(); return;
    default:
      tlg_internal(err_tlg_pem_hdl, "%s: invalid test id %d\n", func, id);
      return;
  }
  // The scenarios that change PEMs end their batch.
  envmon_pwr_mgmt_set_pem_data_done();
}

}  // namespace

extern "C" {

void envmon_pem_run_test_case(uint32_t test_id) { run(__func__, kGeneral, test_id); }

void envmon_mirno_pem_run_test_case(uint32_t test_id) { run(__func__, kMirno, test_id); }

}  // extern "C"

// Low input voltage of the chassis fed by DC power modules: all operational
// DC PEMs low raises ALL_PEMS_LOW_VIN and polls the inputs fast; no PEM left to
// judge raises PEM_LOW_VIN_CHASSIS_SHUTDOWN.
#include <strings.h>

#include <cstring>

#include "envmon_drvif.h"
#include "envmon_pem_private.h"

namespace {

constexpr uint32_t kAllPemsLowVin = 3;
constexpr uint32_t kLowVinShutdown = 4;
constexpr uint32_t kNoReading = 0xffffff;
constexpr int32_t kFastRate = 2;
constexpr int32_t kNormalRate = 10;

enum class Kind { kNotDc, kMultiInput, kDc, kOther };

bool in(uint32_t type, std::initializer_list<uint32_t> codes) {
  for (uint32_t c : codes)
    if (c == type) return true;
  return false;
}

Kind kind(uint32_t type) {
  if (in(type, {0xF00388, 0xF00188, 0xF11993, 0xF0038B, 0xF11990, 0xAB1001, 0xAB1002, 0xAB1006, 0xAB1007,
                0xAB1005, 0xF11995, 0xAB010200, 0xAB010201, 0xAB010205, 0xAB010204, 0xAB010100, 0xAB010101,
                0xAB010104, 0xAB010107, 0xAB010108, 0xAB010109, 0xAB010308, 0xAB01010A, 0xF01960, 0xF0100E, 1,
                0xF0038D}))
    return Kind::kNotDc;
  if (in(type, {0xAB010000, 0xAB010001, 0xAB010020, 0xAB010030})) return Kind::kMultiInput;
  if (in(type, {0xF0038A, 0xF0018A, 0xF11992, 0xF0038C, 0xF11991, 0xAB1003, 0xAB1004, 0xAB1008, 0xAB1009,
                0xAB010010, 0xF11996, 0xAB010202, 0xAB010212, 0xAB010203, 0xAB010102, 0xAB010103, 0xAB010105,
                0xAB010309, 0xAB010207, 0xAB010106, 0xF01961, 0xF0100F, 2, 0xAB010040}))
    return Kind::kDc;
  return Kind::kOther;
}

bool triple_feed_dc(uint32_t type) { return type == 0xAB010010 || type == 0xAB010040; }

bool contains_nocase(const char* text, const char* word) {
  if (text == nullptr) return false;
  const size_t n = std::strlen(word);
  for (const char* p = text; *p != '\0'; ++p)
    if (strncasecmp(p, word, n) == 0) return true;
  return false;
}

bool all_low_raised() {
  const envmon_pwr_mgmt_data_t* p = pem::pm();
  return p != nullptr && pem::alarm_set(p->alarms, kAllPemsLowVin);
}

}  // namespace

namespace pem {

// Sets the update rate of the first input sensor of each present PEM whose
// rate differs, and asks the power driver to apply it.
void set_input_poll_rate(int32_t rate) {
  bool any = false;
  for_each_pem([&](uint32_t, uint32_t, pem_record& p) {
    if (!present(p.status)) return;
    for (uint16_t s = 0; p.voltage_data.sensors != nullptr && s < p.voltage_data.count; ++s) {
      envmon_sensor_info& sensor = p.voltage_data.sensors[s];
      if (!is_input_sensor(sensor) || sensor.update_rate == rate) continue;
      sensor.update_rate = rate;
      envmon_drvif_poll_request(&sensor, 1, ENVMON_POLL_START, ENVMON_DRV_POWER);
      p.voltage_data.reg_state = arm(p.voltage_data.reg_state, ENVMON_ST_POLL_PENDING, ENVMON_ST_POLL_DONE);
      any = true;
      break;
    }
  });
  if (any) envmon_ceb_fsa_sched_event(ENVMON_CEB_EV_REG_REQ);
}

}  // namespace pem

extern "C" envmon_err_t envmon_check_dc_pem_low_vin_alm(void) {
  static constexpr char kFunc[] = "envmon_check_dc_pem_low_vin_alm";
  if (envmon_nm == nullptr || envmon_nm->my_location == nullptr) {
    tlg_internal(pwrm_tlg_pem_hdl, "Rack no not yet rcvd . Hold on raising alarm\n");
    return ENVMON_ERR_NOT_CONNECTED;
  }
  uint32_t dc_pems = 0;
  envmon_err_t multi_rc = ENVMON_OK;
  const uint32_t trays = pem::tray_count();
  for (uint32_t t = 0; pd_power_tray_info != nullptr && t < trays; ++t) {
    pd_power_tray_info_t& tray = pd_power_tray_info[t];
    for (uint32_t i = 0; tray.pems != nullptr && i < tray.num_pems; ++i) {
      pem_record& p = tray.pems[i];
      if (p.status == ENVMON_PEM_NOT_PRESENT) continue;
      switch (kind(p.pem_raw_data.pem_type)) {
        case Kind::kNotDc:
          return ENVMON_OK;
        case Kind::kMultiInput: {
          const uint64_t a = p.alarms;
          if (pem::alarm_set(a, 11) || pem::alarm_set(a, 14) || pem::alarm_set(a, 15) || pem::alarm_set(a, 17))
            break;
          if (!all_low_raised()) return ENVMON_OK;
          // Cleared directly: the bit follows only a report that went out.
          multi_rc = envmon_report_chassis_ps_alm(kAllPemsLowVin, 0);
          if (multi_rc == ENVMON_OK) pem::pm()->alarms &= ~(1ull << kAllPemsLowVin);
          pem::set_input_poll_rate(kNormalRate);
          tlg_internal(pwrm_tlg_pem_hdl, "clear ALL_PEMS_LOW_VIN, rc = %ld \n", static_cast<long>(multi_rc));
          return multi_rc;
        }
        case Kind::kDc:
          ++dc_pems;
          break;
        case Kind::kOther:
          break;
      }
    }
  }
  if (dc_pems == 0) {
    tlg_internal(pwrm_tlg_pem_hdl, "%s: NO DC PEM detected\n", kFunc);
    return ENVMON_OK;
  }
  const bool raised = all_low_raised();
  const uint32_t low_limit = raised ? 41750 : 40750;
  bool none_evaluated = !(envmon_rm != nullptr && envmon_rm->vin_uv_shut_disabled);
  bool all_low = true;
  for (uint32_t t = 0; t < trays; ++t) {
    pd_power_tray_info_t& tray = pd_power_tray_info[t];
    for (uint32_t i = 0; tray.pems != nullptr && i < tray.num_pems; ++i) {
      pem_record& p = tray.pems[i];
      if (!pem::present(p.status)) continue;
      const uint32_t type = p.pem_raw_data.pem_type;
      const uint64_t a = p.alarms;
      if (pem::alarm_set(a, 16) || pem::alarm_set(a, 17) || kind(type) == Kind::kMultiInput) continue;
      if (triple_feed_dc(type)) {
        const bool feed_a = pem::alarm_set(a, 32) || pem::alarm_set(a, 24);
        const bool feed_b = pem::alarm_set(a, 33) || pem::alarm_set(a, 25);
        const bool feed_c = pem::alarm_set(a, 34) || pem::alarm_set(a, 30);
        if ((feed_a && feed_b && feed_c) || pem::alarm_set(a, 14) || pem::alarm_set(a, 11)) continue;
      }
      const uint32_t va = p.pem_raw_data.input_voltage_a;
      const uint32_t vb = p.pem_raw_data.input_voltage_b;
      if (va <= 39999 && vb <= 39999) continue;
      none_evaluated = false;
      const bool low = (va < low_limit && vb < low_limit) || (raised && (va == kNoReading || vb == kNoReading));
      if (!low) {
        all_low = false;
        break;  // the rest of this tray; the next tray is still walked
      }
    }
  }
  if (none_evaluated) {
    const char* platform = envmon_hal_get_platform_name();
    const uint32_t chassis = envmon_rm != nullptr ? envmon_rm->chassis_type : 0;
    if (contains_nocase(platform, "Mirno") || contains_nocase(platform, "oskaline") || chassis == 0x6001010B ||
        chassis == 0x60010107) {
      tlg_internal(pwrm_tlg_pem_hdl, "Chassis shut raise action is not supported on %s platform\n",
                   platform != nullptr ? platform : "");
      return ENVMON_OK;
    }
    return envmon_process_chassis_ps_alm(kLowVinShutdown, 1);
  }
  if (!all_low) {
    const envmon_err_t rc = envmon_process_chassis_ps_alm(kAllPemsLowVin, 0);
    pem::set_input_poll_rate(kNormalRate);
    return rc;
  }
  pem::set_input_poll_rate(kFastRate);
  const envmon_pwr_mgmt_data_t* p = pem::pm();
  if (p != nullptr && pem::alarm_set(p->alarms, kLowVinShutdown)) return ENVMON_OK;
  return envmon_process_chassis_ps_alm(kAllPemsLowVin, 1);
}

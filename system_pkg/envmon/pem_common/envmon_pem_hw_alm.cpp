// PEM hardware alarms: the power driver's 37 alarm conditions of a PEM become
// fault-manager alarms, reported on change; they decide whether the PEM counts
// as failed and start its masking timer when its input leaves or comes back.
#include <cstdio>

#include "envmon_pem_private.h"

namespace {

constexpr uint32_t kMaxId = 37;

struct AlarmRow {
  const char* name;
  uint32_t tag;  // 0: tracked in the bitmap only
  uint16_t severity;
};
const AlarmRow kAlarms[kMaxId + 1] = {
    {"NO ALARM", 0, 0},
    {"HW_LOGIC_CTRL_VOLT_OUT_OF_RANGE", 7, 4},
    {"HW_OUTPUT_STAGE_OT", 8, 4},
    {"HW_FAN_FAULT", 9, 4},
    {"HW_OUTPUT_ORING_FAULT", 10, 4},
    {"HW_OC_FAULT", 11, 4},
    {"HW_OT_FAULT", 12, 4},
    {"HW_OV_FAULT", 13, 4},
    {"HW_INPUT_STAGE_OT", 14, 4},
    {"HW_FAULT_INDUCED_SHUTDOWN", 15, 4},
    {"HW_THERMAL_SENSOR_FAULT", 16, 4},
    {"HW_VOUT_OUT_OF_RANGE", 17, 4},
    {"HW_BOOST_VBULK_FAULT", 18, 4},
    {"HW_INPUT_ORING_FAULT", 76, 4},
    {"HW_VIN_OUT_OF_RANGE", 25, 4},
    {"HW_NO_INPUT_DETECTED", 38, 4},
    {"HW_NO_INPUT_DETECTED_DC", 38, 4},
    {"HW_OUTPUT_DISABLED", 34, 4},
    {"I2C_ACCESS_ERROR", 51, 4},
    {"HW_POWER_LIMITED", 37, 4},
    {"HW_OT_WARNING", 36, 3},
    {"HW_LEDS_TEST_FAULT", 35, 2},
    {"HW_INPUT_OPER_MODE", 0, 2},
    {"HW_PEC_ERR", 39, 3},
    {"HW_VIN_A_OUT_OF_RANGE", 74, 4},
    {"HW_VIN_B_OUT_OF_RANGE", 75, 4},
    {"HW_INPUT_A_ORING_FAULT", 19, 4},
    {"HW_INPUT_B_ORING_FAULT", 20, 4},
    {"HW_IIN_OC_WARNING", 60, 3},
    {"HW_PIN_OP_WARNING", 61, 3},
    {"HW_VIN_C_OUT_OF_RANGE", 78, 4},
    {"HW_INPUT_C_ORING_FAULT", 141, 4},
    {"HW_NO_INPUT_A_DETECTED_DC", 71, 4},
    {"HW_NO_INPUT_B_DETECTED_DC", 72, 4},
    {"HW_NO_INPUT_C_DETECTED_DC", 150, 4},
    {"HW_NO_INPUT_A_DETECTED", 71, 4},
    {"HW_NO_INPUT_B_DETECTED", 72, 4},
    {"HW_INVALID_FAULT_READ", 137, 4},
};
constexpr uint32_t kInputOperMode = 22;

bool one_of(uint32_t type, std::initializer_list<uint32_t> codes) {
  for (uint32_t c : codes)
    if (c == type) return true;
  return false;
}

const char* alarm_name(uint32_t id) { return id <= kMaxId ? kAlarms[id].name : "NO ALARM"; }

bool bel_type(uint32_t type) { return type == 0xF01960 || type == 0xF01961; }

// Text appended after "condition" in an alarm's description.
const char* suffix(uint32_t id, bool raise, const pem_record& p) {
  const uint32_t type = p.pem_raw_data.pem_type;
  const bool virt = pem::virtual_tray_texts();
  switch (id) {
    case 1:
      if (bel_type(type)) return " - Standby Output is out of range";
      if (!raise) return ".";
      return one_of(type, {0xAB010000, 0xAB010001, 0xAB010020, 0xAB010030, 0xAB010010})
                 ? " - exceeded tolerance of +/-0.3V."
                 : " - exceeded tolerance of +/-0.25V.";
    case 19:
      return raise ? " - greater than 110 percent of full load." : " - below 105 percent of full load.";
    case 11:
      if (!raise) return ".";
      if (type == 0xAB010010) return "(output < 11.2V or > 13V).";
      if (one_of(type, {0xAB010000, 0xAB010001, 0xAB010020, 0xAB010030, 0xF01961, 0xAB010309, 0xAB010308, 0xF01960}))
        return "(output < 11.4V or > 12.6V).";
      if (virt) return type == 0xAB010040 ? "(output < 11.2V or > 12.6V)." : ".";
      return "(output < 50.5V or > 57.5V).";
    case 24:
      if (!raise) return ".";
      if (one_of(type, {0xF11991, 0xF11992, 0xF0038C, 0xAB010010, 0xF0038A, 0xAB010309}))
        return "(input A < 39.5V or > 73.5V).";
      if (type == 0xAB010040) return "(input A < 38.5V or > 78V).";
      if (one_of(type, {0xF01961, 0xF0100F})) return "(input A < 40V or > 72V).";
      if (virt) return ".";
      return type == 0xF01960 && p.vendor_id == 1 ? "(input A < 89V or > 144V)." : "(input A < 176V or > 273V).";
    case 25:
      if (!raise) return ".";
      if (one_of(type, {0xF11991, 0xF11992, 0xF0038C, 0xAB010010, 0xF0038A})) return "(input B < 39.5V or > 73.5V).";
      if (type == 0xAB010040) return "(input B < 38.5V or > 78V).";
      if (one_of(type, {0xF01961, 0xF0100F}) || virt) return ".";
      return "(input B < 176V or > 273V).";
    case 30:
      return raise && type == 0xAB010040 ? "(input C < 38.5V or > 78V)." : ".";
    default:
      return ".";
  }
}

bool single_feed(uint8_t tray, uint8_t pem, uint32_t id) {
  return envmon_rm != nullptr && envmon_rm->pwr_cfg.single_feed_operation != 0 &&
         is_hal_single_feed_on(tray, pem, id) != 0;
}

envmon_err_t clear_bit(uint8_t tray, uint8_t pem, pem_record& p, uint32_t id) {
  const envmon_err_t rc = envmon_report_pem_alm(tray, pem, id, 0);
  p.alarms &= ~(1ull << id);
  return rc;
}

}  // namespace

namespace pem {

envmon_err_t check_single_pem_alm(uint8_t tray, uint8_t pem, uint8_t* failed) {
  uint8_t f = 0;
  envmon_err_t result = ENVMON_OK;
  pem_record* p = pem_at(tray, pem);
  if (p == nullptr) {
    if (failed != nullptr) *failed = 0;
    return ENVMON_ERR_INVALID_ARG;
  }
  for (uint32_t id = 1; id <= kMaxId; ++id) {
    int32_t mode = 0;
    if (alarm_set(p->pem_raw_data.hw_alarms, id)) {
      mode = 1;
      if (id <= 16 || id == 18) f = 1;
      // A PEM in an upgrade disables its output on purpose.
      if (id == 17 && (p->status & ENVMON_PEM_IN_FPD_UPG) == 0) f = 1;
      if (id == 14 && !alarm_set(p->alarms, 14)) start_or_rearm_mask(tray, pem);
    } else if ((id == 15 || id == 16 || (id >= 32 && id <= 36)) && alarm_set(p->alarms, id)) {
      start_or_rearm_mask(tray, pem);
    }
    result |= envmon_process_pem_alm(tray, pem, id, mode);
  }
  const uint64_t hw = p->pem_raw_data.hw_alarms;
  if (alarm_set(hw, 16) || alarm_set(hw, 32) || alarm_set(hw, 33) || alarm_set(hw, 34))
    envmon_pem_recheck_input_low_volt(tray, pem);
  if (failed != nullptr) *failed = f;
  return result;
}

}  // namespace pem

extern "C" {

void envmon_check_single_pem_alm(uint32_t tray, uint32_t pem, uint8_t* failed) {
  pem::check_single_pem_alm(static_cast<uint8_t>(tray), static_cast<uint8_t>(pem), failed);
}

bool envmon_pem_alm_applicable(uint8_t tray, uint8_t pem, uint32_t id) {
  pem_record* p = pem::pem_at(tray, pem);
  if (p == nullptr || !single_feed(tray, pem, id)) return true;
  const uint64_t hw = p->pem_raw_data.hw_alarms;
  bool yes = true;
  if (id >= 32 && id <= 36) yes = false;
  if ((id == 24 || id == 26) && (pem::alarm_set(hw, 35) || pem::alarm_set(hw, 32))) yes = false;
  if ((id == 25 || id == 27) && (pem::alarm_set(hw, 36) || pem::alarm_set(hw, 33))) yes = false;
  if ((id == 30 || id == 31) && pem::alarm_set(hw, 34)) yes = false;
  tlg_internal(fault_tlg_pem_hdl, "Sending %d for alm id %d\n", yes ? 1 : 0, id);
  return yes;
}

envmon_err_t envmon_process_pem_alm(uint8_t tray, uint8_t pem, uint32_t id, int32_t mode) {
  static constexpr char kFunc[] = "envmon_process_pem_alm";
  if (id < 1 || id > kMaxId) {
    tlg_internal(err_tlg_pem_hdl, "%s for power tray %d pem %d: invalid alarm ID %d\n", kFunc, tray, pem, id);
    return ENVMON_ERR_INVALID_ARG;
  }
  if (mode != 0 && mode != 1) {
    tlg_internal(err_tlg_pem_hdl, "%s for power tray %d pem %d : invalid alarm mode %d\n", kFunc, tray, pem, mode);
    return ENVMON_ERR_INVALID_ARG;
  }
  pem_record* p = pem::pem_at(tray, pem);
  if (p == nullptr) return ENVMON_ERR_INVALID_ARG;
  const uint64_t before = p->alarms;
  envmon_err_t rc = ENVMON_OK;
  const bool raised = pem::alarm_set(p->alarms, id);
  if (mode == 0) {
    if (raised) rc = clear_bit(tray, pem, *p, id);
  } else if (!raised) {
    tlg_internal(fault_tlg_pem_hdl, "Req for raising alarm %dfor pem %d, for first time\n", id, pem);
    if (envmon_pem_alm_applicable(tray, pem, id)) {
      rc = envmon_report_pem_alm(tray, pem, id, 1);
      p->alarms |= 1ull << id;
    }
  } else if (single_feed(tray, pem, id)) {
    tlg_internal(fault_tlg_pem_hdl, "Req for clearing alarm %d which was already raisedfor pem %d\n", id, pem);
    const uint64_t hw = p->pem_raw_data.hw_alarms;
    const uint64_t al = p->alarms;
    bool clear = false;
    if ((id == 24 || id == 26) && (pem::alarm_set(hw, 35) || pem::alarm_set(hw, 32))) clear = true;
    if ((id == 25 || id == 27) && (pem::alarm_set(hw, 36) || pem::alarm_set(hw, 33))) clear = true;
    if ((id == 30 || id == 31) && pem::alarm_set(hw, 34)) clear = true;
    if ((id == 33 || id == 36) && !(pem::alarm_set(al, 25) && pem::alarm_set(al, 27))) clear = true;
    if ((id == 32 || id == 35) && !(pem::alarm_set(al, 24) && pem::alarm_set(al, 26))) clear = true;
    if (id == 34 && !(pem::alarm_set(al, 30) && pem::alarm_set(al, 31))) clear = true;
    if (clear) rc = clear_bit(tray, pem, *p, id);
  }
  if (p->alarms != before) {
    const bool now_raised = pem::alarm_set(p->alarms, id);
    tlg_internal(fault_tlg_pem_hdl, "%s for power tray %d, pem %d: alarm %s %s, alarm bitmap 0x%x\n", kFunc, tray, pem,
                 alarm_name(id), now_raised ? "raised" : "cleared", static_cast<uint32_t>(p->alarms));
  }
  return rc;
}

envmon_err_t envmon_report_pem_alm(uint8_t tray, uint8_t pem, uint32_t id, int32_t mode) {
  static constexpr char kFunc[] = "envmon_report_pem_alm";
  tlg_internal(fault_tlg_pem_hdl, "%s:Report alm:%d mode:%d tray:%d pem:%d\n", kFunc, id, mode, tray, pem);
  if (id < 1 || id > kMaxId) {
    tlg_internal(err_tlg_pem_hdl, "%s for pem(%d, %d): invalid pem alarm ID %d\n", kFunc, tray, pem, id);
    return ENVMON_ERR_INVALID_ARG;
  }
  pem_record* p = pem::pem_at(tray, pem);
  if (p == nullptr) return ENVMON_ERR_INVALID_ARG;
  const bool raise = mode == 1;
  pem::count_oper(raise ? pem::kPMalmRaise : pem::kPMalmClear);
  if (id == kInputOperMode) return ENVMON_OK;
  const AlarmRow& row = kAlarms[id];
  uint32_t tag = row.tag;
  if (id == 1 && bel_type(p->pem_raw_data.pem_type)) tag = 138;
  char descr[256];
  const char* sfx = suffix(id, raise, *p);
  if (pem::virtual_tray_texts()) {
    if (raise)
      pem::format(descr, sizeof descr, "Power module is under %s condition%s", row.name, sfx);
    else
      pem::format(descr, sizeof descr, "Power module condition %s is cleared%s", row.name, sfx);
  } else if (raise) {
    pem::format(descr, sizeof descr, "Power tray %d power module %d is under %s condition%s", tray, pem, row.name,
                  sfx);
  } else {
    pem::format(descr, sizeof descr, "Power tray %d power module %d condition %s is cleared%s", tray, pem,
                  row.name, sfx);
  }
  pem::FaultRequest fr(tag, &p->ps_eid, raise ? pem::kRaise : pem::kClear, row.severity);
  fr.data.description = descr;
  fr.data.name = "";
  const envmon_err_t rc = fr.send();
  tlg_internal(fault_tlg_pem_hdl, "%s:Reported alm:%d mode:%d tray:%d pem:%d rc:%d\n", kFunc, id, mode, tray, pem,
               static_cast<int>(rc));
  if (rc != ENVMON_OK)
    tlg_internal(err_tlg_pem_hdl,
                 "In %s for pem(%d, %d): envmon_fm_fault_report returned error when %s %s alarm, rc = %ld.\n", kFunc,
                 tray, pem, raise ? "raising" : "clearing", row.name, static_cast<long>(rc));
  else
    tlg_internal(fault_tlg_pem_hdl, "%s for pem(%d, %d): %s %s alarm\n", kFunc, tray, pem,
                 raise ? "raised" : "cleared", row.name);
  return rc;
}

}  // extern "C"

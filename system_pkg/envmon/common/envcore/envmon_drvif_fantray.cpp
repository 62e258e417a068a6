// Fan trays: reading an inserted tray's inventory description into its sensor
// lists and FPD records, reporting a tray no description fits, and releasing
// a removed tray's lists and records.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "envmon.h"
#include "envmon_acq_private.h"
#include "envmon_syslog.h"
#include "fpd_drv.h"
#include "nodeid.h"

using envmon_acq::copy_text;
using envmon_acq::EidText;

namespace {

constexpr uint32_t kPiFanTray = 7;
constexpr uint32_t kSensorCategory = 8;
constexpr uint32_t kFpgaCategory = 6;
constexpr uint8_t kFpgaType = 9;
constexpr uint8_t kFpgaSubtype = 35;
constexpr size_t kFpdName = 24;
constexpr size_t kPidClear = 19;
constexpr size_t kLocLen = 32;

constexpr char kNoHwVersion[] =
    "%s(): Failed to retrieve HW version from chassis IDPROM image - rc = 0x%x\n";
constexpr char kNoXml[] = "%s(): Failed to parse xml file for FT 0x%x, %s\n";
constexpr char kNoXmlDbg[] = "%s:%d - error in opening xml file \n";
constexpr char kNoLocation[] = "nodeid_to_str_external() failed, for slot: %d rc: %d\n";
constexpr char kNoTemp[] = "failed to get temperature sensor list\n";
constexpr char kNoVolt[] = "failed to get voltage sensor list\n";
constexpr char kNoCurr[] = "failed to process current sensor list\n";
constexpr char kNoPower[] = "no power sensor for FT\n";
constexpr char kNoSpeed[] = "failed to get speed sensor list\n";
constexpr char kNoLed[] = "failed to get led sensor list\n";
constexpr char kNoFpga[] = "%s():  failed to get fpga eid for fan tray %d, rc: %ld\n";
constexpr char kNoFpgaDbg[] = "%s: FAN TRAY does not have FPGA \n";
constexpr char kNoEidData[] = "%s: geting eid data failed, rc = %ld \n";
constexpr char kUnregDbg[] = "fpd drv unreg for fan %d is done with retcode=%d";
constexpr char kUnreg[] = "fpd_drv_unregister for FT(%d), rc = 0x%d.\n";

struct SensorList {
  uint32_t subtype;
  envmon_sensor_list fantray_cb::*list;
  const char* failure;
  bool fatal;
  tlg_handle_t* buffer;
};

void free_list(envmon_sensor_list* l) {
  for (uint16_t i = 0; l->sensors && i < l->count; ++i) envmon_free_tsi(&l->sensors[i].eid);
  free(l->sensors);
  l->sensors = nullptr;
  l->count = 0;
}

// Reports a tray no description fits; the unsupported-fan-tray code.
envmon_err_t unsupported(const fantray_cb& ft, uint32_t slot, const char* func) {
  tlg_internal(err_tlg_cmn_hdl, kNoXml, func, ft.pd_type, ft.pid);
  envmon_debug_log(kNoXmlDbg, func, __LINE__);
  char location[kLocLen] = "";
  const envmon_fru_obj* fru =
      envmon_rm->fru_objs_lst && slot < envmon_hal_get_max_inv_slots() ? &envmon_rm->fru_objs_lst[slot] : nullptr;
  const int rc = fru && fru->nodeid ? nodeid_to_str_external(fru->nodeid, location, kLocLen) : NODEID_EINVAL;
  if (rc != 0) {
    tlg_internal(err_tlg_cmn_hdl, kNoLocation, static_cast<int>(slot), rc);
    snprintf(location, sizeof(location), "slot-%d", static_cast<int>(slot));
  }
  envmon_syslog_unsupported_fan_tray(location, ft.pid, ft.pd_type);
  return ENVMON_ERR_UNSUPPORTED_FANTRAY;
}

}  // namespace

extern "C" {

envmon_err_t envmon_rm_fan_parse_xml(uint32_t slot) {
  static constexpr char kFunc[] = "envmon_rm_fan_parse_xml";
  uint32_t tray = 0;
  if (!envmon_rm || !envmon_is_fantray_slot(slot, &tray)) return ENVMON_OK;
  fantray_cb& ft = envmon_rm->fantray_cb[tray];
  uint16_t version = 0;
  const int vrc = ft.eeprom ? envmon_hal_idprom_get_hw_version(ft.eeprom, ft.eeprom_len, &version) : -1;
  if (vrc != 0) {
    tlg_internal(err_tlg_cmn_hdl, kNoHwVersion, kFunc, static_cast<unsigned>(vrc));
    version = 0;
  }
  inv_parser_open_req req{};
  req.pi_hw_type = kPiFanTray;
  req.pd_hw_type = ft.pd_type;
  copy_text(req.pid, sizeof(req.pid), ft.pid);
  req.hw_major = version >> 8;
  req.hw_minor = version & 0xff;
  if (ft.fru_xml) inv_parser_close_xml_file(ft.fru_xml);
  ft.fru_xml = inv_parser_open_xml_file_v2(1, &req);
  if (!ft.fru_xml) return unsupported(ft, slot, kFunc);

  static const SensorList kLists[] = {
      {ENVMON_SENSOR_TEMPERATURE, &fantray_cb::temp_data, kNoTemp, true, &err_tlg_cmn_hdl},
      {ENVMON_SENSOR_VOLTAGE, &fantray_cb::voltage_data, kNoVolt, true, &err_tlg_cmn_hdl},
      {ENVMON_SENSOR_CURRENT, &fantray_cb::current_data, kNoCurr, false, &err_tlg_cmn_hdl},
      {ENVMON_SENSOR_POWER, &fantray_cb::power_data, kNoPower, false, &info_tlg_cmn_hdl},
      {ENVMON_SENSOR_FAN_SPEED, &fantray_cb::fan_data, kNoSpeed, true, &err_tlg_cmn_hdl},
      {ENVMON_SENSOR_LED, &fantray_cb::subtype13_data, kNoLed, true, &err_tlg_cmn_hdl},
  };
  for (const auto& l : kLists) {
    envmon_sensor_list& list = ft.*(l.list);
    if (envmon_util_xml_parse_n_store_info(slot, ft.fru_xml, kSensorCategory, l.subtype, &list.count,
                                           &list.sensors) == ENVMON_OK)
      continue;
    tlg_internal(*l.buffer, "%s", l.failure);
    // A tray's description without these lists is installed data gone bad.
    if (l.fatal) envmon_exit_at(kFunc, __LINE__, -1);
  }
  if (ft.fpd_data && ft.fpd_count) return ENVMON_OK;
  uint16_t count = 0;
  inv_eid* eids = nullptr;
  const int rc = inv_parser_get_eid_by_type_subtype(ft.fru_xml, kFpgaCategory, kFpgaType, kFpgaSubtype,
                                                    &count, &eids);
  if (rc != 0 || count == 0) {
    tlg_internal(err_tlg_cmn_hdl, kNoFpga, kFunc, static_cast<int>(tray), static_cast<long>(rc));
    envmon_debug_log(kNoFpgaDbg, kFunc);
    free(eids);
    return ENVMON_OK;
  }
  ft.fpd_data = static_cast<fpd_data*>(calloc(count, sizeof(fpd_data)));
  if (!ft.fpd_data) {
    free(eids);
    return ENVMON_ERR_NO_MEMORY;
  }
  ft.fpd_count = count;
  for (uint16_t i = 0; i < count; ++i) {
    fpd_data& fpd = ft.fpd_data[i];
    fpd.eid = eids[i];
    fpd.eid.rack = static_cast<uint16_t>(ENVMON_RACK_UNKNOWN);
    fpd.eid.slot = static_cast<uint16_t>(slot);
    fpd.init_st = ENVMON_FPD_INIT_PENDING;
    inv_parser_eid_data data{};
    const int drc = inv_parser_get_eid_data(ft.fru_xml, &eids[i], &data);
    if (drc != 0) tlg_internal(err_tlg_cmn_hdl, kNoEidData, kFunc, static_cast<long>(drc));
    copy_text(fpd.name, kFpdName + 1, data.name);
    fpd.name_len = static_cast<uint8_t>(strnlen(fpd.name, sizeof(fpd.name)));
  }
  free(eids);
  return ENVMON_OK;
}

void envmon_rm_fan_cb_cleanup(uint32_t tray) {
  if (!envmon_rm || !envmon_rm->fantray_cb || tray >= envmon_hal_get_max_fantray()) return;
  fantray_cb& ft = envmon_rm->fantray_cb[tray];
  free_list(&ft.temp_data);
  free_list(&ft.voltage_data);
  free_list(&ft.current_data);
  free_list(&ft.fan_data);
  // The power and LED lists are built anew at the next insertion too.
  free_list(&ft.power_data);
  free_list(&ft.subtype13_data);
  envmon_free_tsi(&ft.ceid);
  if (ft.eeprom) memset(ft.eeprom, 0, envmon_hal_get_max_idprom_size());
  ft.eeprom_len = 0;
  if (ft.fpd_data) {
    // Every device still registered is withdrawn, each once.
    for (uint32_t i = 0; i < ft.fpd_count; ++i) {
      fpd_data& fpd = ft.fpd_data[i];
      if (!fpd.fpd_out.fpd_hd) continue;
      const int rc = fpd_drv_unregister(fpd.fpd_out.fpd_hd);
      fpd.fpd_out.fpd_hd = nullptr;
      envmon_debug_log(kUnregDbg, static_cast<int>(tray), rc);
      tlg_internal(main_tlg_cmn_hdl, kUnreg, static_cast<int>(tray), rc);
    }
    free(ft.fpd_data);
    ft.fpd_data = nullptr;
    ft.fpd_count = 0;
  }
  if (ft.fru_xml) {
    inv_parser_close_xml_file(ft.fru_xml);
    ft.fru_xml = nullptr;
  }
  memset(ft.pid, 0, kPidClear);
}

}  // extern "C"

#include "pem_fixture.h"

#include <cstdlib>
#include <cstring>

#include <unistd.h>

#include "simpaths.h"

#include "drvif.h"
#include "envmon_stats.h"
#include "tlg_test.h"

namespace {

pelm_eid make_eid(uint32_t rack, uint32_t slot, std::initializer_list<inv_eid_level> levels) {
  inv_eid e{};
  e.rack = static_cast<uint16_t>(rack);
  e.slot = static_cast<uint16_t>(slot);
  for (const inv_eid_level& l : levels) e.levels[e.level_count++] = l;
  pelm_eid out{};
  inv_util_convert_eid_to_pelm_eid(&e, &out);
  return out;
}

void free_list(envmon_sensor_list& l) {
  for (uint16_t i = 0; l.sensors != nullptr && i < l.count; ++i) envmon_free_tsi(&l.sensors[i].eid);
  free(l.sensors);
  l = envmon_sensor_list{};
}

}  // namespace

void PemFixture::SetUp() {
  rm = envmon_rm_t{};
  nm = envmon_nm_t{};
  pm = envmon_pwr_mgmt_data_t{};
  tray_budgets.clear();
  tray_cont_eids.clear();
  std::memset(oper_stats_, 0, sizeof oper_stats_);
  std::memset(err_stats_, 0, sizeof err_stats_);
  pemtest::reset();
  tlg_test_clear();
  envmon_pem_tlg_init(nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr);
  loop = evloop_create("pem_test");
  envmon_evloop = loop;
  rm.chassis_type = kChassisType;
  rm.chassis_eid = make_eid(0xfffe, 0xfffe, {{3, 1, 0}});
  rm.rack_num = 0;
  rm.svc_role = ENVMON_ROLE_ACTIVE;
  rm.pwr_cfg.red_num_pems = 255;
  rm.pwr_mgmt_data = &pm;
  envmon_rm = &rm;
  nm.my_location = strdup("0/RP0");
  nm.drvif_connected[ENVMON_DRV_POWER] = 1;
  envmon_nm = &nm;
  envmon_pwrm_oper_stats_hdl = oper_stats_;
  envmon_pwrm_err_stats_hdl = err_stats_;
}

void PemFixture::TearDown() {
  if (pd_power_tray_info != nullptr) {
    // Closes masking timers and frees sensor lists.
    envmon_pem_pwr_mgmt_handle_role_change();
    for (size_t t = 0; t < tray_budgets.size(); ++t) {
      pd_power_tray_info_t& tray = pd_power_tray_info[t];
      tray.num_pems = static_cast<uint8_t>(tray_budgets[t].inst);
      for (uint32_t i = 0; tray.pems != nullptr && i < tray.num_pems; ++i) {
        pem_record& p = tray.pems[i];
        for (pelm_eid* e : {&p.eid, &p.cont_eid, &p.ps_eid, &p.idprom_eid}) envmon_free_tsi(e);
        for (envmon_sensor_list* l : {&p.voltage_data, &p.current_data, &p.power_data, &p.temp_data,
                                      &p.fan_data, &p.led_data})
          free_list(*l);
        free(p.fpds);
        free(p.idprom_data);
      }
      free(tray.pems);
    }
    free(pd_power_tray_info);
    pd_power_tray_info = nullptr;
  }
  for (pctrl_data_t& c : pctrl_data) {
    envmon_free_tsi(&c.eid);
    envmon_free_tsi(&c.idprom_eid);
    free(c.idprom);
    c = pctrl_data_t{};
  }
  pd_power_supplies_data = pd_power_supplies_data_t{};
  for (envmon_pwr_tray_budget& b : tray_budgets) envmon_free_tsi(&b.eid);
  envmon_free_tsi(&rm.chassis_eid);
  free(nm.my_location);
  envmon_rm = nullptr;
  envmon_nm = nullptr;
  envmon_pwrm_oper_stats_hdl = nullptr;
  envmon_pwrm_err_stats_hdl = nullptr;
  envmon_evloop = nullptr;
  evloop_destroy(loop);
  if (!root_.empty()) {
    unlink((root_ + "/opt/tolvu/pelmarok/usr/xml").c_str());
    for (const char* d : {"/opt/tolvu/pelmarok/usr", "/opt/tolvu/pelmarok", "/opt/tolvu", "/opt", ""})
      rmdir((root_ + d).c_str());
    unsetenv(SIM_PATH_ROOT_ENV);
    root_.clear();
  }
}

void PemFixture::use_xml_root() {
  char root[] = "/tmp/pem_xml_root.XXXXXX";
  ASSERT_NE(mkdtemp(root), nullptr);
  root_ = root;
  ASSERT_EQ(sim_mkdirs((root_ + "/opt/tolvu/pelmarok/usr").c_str()), 0);
  ASSERT_EQ(symlink(ENVMON_SOURCE_DIR "/sim/data/xml", (root_ + "/opt/tolvu/pelmarok/usr/xml").c_str()), 0);
  setenv(SIM_PATH_ROOT_ENV, root_.c_str(), 1);
}

std::vector<int> PemFixture::armed_timers() {
  int fds[16];
  const int n = evloop_test_armed_timerfds(loop, fds, 16);
  return std::vector<int>(fds, fds + std::min(n, 16));
}

void PemFixture::make_trays(std::initializer_list<uint8_t> pems, bool physical) {
  physical_ = physical;
  const uint32_t n = static_cast<uint32_t>(pems.size());
  pemtest::standin().hal.max_powertray = physical ? n : 0;
  pemtest::standin().hal.max_virtual_powertray = physical ? 0 : n;
  rm.pwr_tray_count = physical ? static_cast<uint16_t>(n) : 0;
  tray_budgets.assign(n, envmon_pwr_tray_budget{});
  tray_cont_eids.assign(n, inv_eid{});
  uint32_t t = 0;
  for (uint8_t count : pems) {
    envmon_pwr_tray_budget& b = tray_budgets[t];
    b.hw_position = physical ? static_cast<int32_t>(t + 1) : 0;
    b.state = 1;
    b.inst = count;  // the test's own record of the tray's PEM count
    std::snprintf(b.loc_str, sizeof b.loc_str, "0/PT%u", t);
    b.eid = make_eid(0xfffe, static_cast<uint32_t>(b.hw_position), {{9, 23, static_cast<uint16_t>(t + 1)}});
    tray_cont_eids[t].rack = 0xfffe;
    tray_cont_eids[t].slot = 0xfffe;
    tray_cont_eids[t].level_count = 1;
    tray_cont_eids[t].levels[0] = {5, 6, static_cast<uint16_t>(t)};
    ++t;
  }
  pm.envmon_pwr_tray_data = tray_budgets.data();
  rm.pwr_tray_cont_eids = tray_cont_eids.data();
  ASSERT_EQ(envmon_pem_pwr_mgmt_init(), 0);
  t = 0;
  for (uint8_t count : pems) {
    pd_power_tray_info_t& tray = pd_power_tray_info[t];
    tray.num_pems = count;
    tray.pems = static_cast<pem_record*>(calloc(count ? count : 1, sizeof(pem_record)));
    for (uint32_t i = 0; i < count; ++i) {
      pem_record& p = tray.pems[i];
      p.hw_position = physical ? static_cast<int32_t>(i) : static_cast<int32_t>(kVirtualFirstSlot + 4 * t + i);
      const uint32_t s = static_cast<uint32_t>(slot(t, i));
      p.cont_eid = make_eid(0xfffe, physical ? t + 1 : 0, {{5, 7, static_cast<uint16_t>(i + 1)}});
      p.ps_eid = make_eid(0xfffe, s, {{5, 7, static_cast<uint16_t>(i + 1)}, {9, 9, 1}});
      p.envmon_pem_init_timer_fd = -1;
      p.pem_raw_data.input_voltage_a = kNoReading;
      p.pem_raw_data.input_voltage_b = kNoReading;
      p.pem_raw_data.input_voltage_c = kNoReading;
      p.idprom_data = static_cast<uint8_t*>(calloc(1, 256));
    }
    ++t;
  }
}

pem_record& PemFixture::pem(uint32_t tray, uint32_t index) { return pd_power_tray_info[tray].pems[index]; }

int32_t PemFixture::slot(uint32_t tray, uint32_t index) const {
  if (physical_) return static_cast<int32_t>((tray + 1) * 20 + index);
  return static_cast<int32_t>(kVirtualFirstSlot + 4 * tray + index);
}

void PemFixture::apply(uint32_t tray, uint32_t index, uint32_t type, uint64_t hw_alarms) {
  pem_raw_data_t raw{};
  raw.pem_type = type;
  raw.input_voltage_a = pem(tray, index).pem_raw_data.input_voltage_a;
  raw.input_voltage_b = pem(tray, index).pem_raw_data.input_voltage_b;
  raw.input_voltage_c = pem(tray, index).pem_raw_data.input_voltage_c;
  raw.hw_alarms = hw_alarms;
  envmon_pwr_mgmt_pem_data_upd(static_cast<uint8_t>(tray), static_cast<uint8_t>(index), &raw, 1);
}

envmon_sensor_info& PemFixture::add_sensor(uint32_t tray, uint32_t index, uint32_t subtype, const char* name,
                                           int32_t value) {
  pem_record& p = pem(tray, index);
  envmon_sensor_list* list = nullptr;
  switch (subtype) {
    case 29: list = &p.voltage_data; break;
    case 7: list = &p.current_data; break;
    case 23: list = &p.power_data; break;
    case 25: list = &p.temp_data; break;
    case 8: list = &p.fan_data; break;
    default: list = &p.led_data; break;
  }
  // Room for every sensor a test adds, so that references handed out stay good.
  constexpr uint16_t kRoom = 16;
  if (list->sensors == nullptr) list->sensors = static_cast<envmon_sensor_info*>(calloc(kRoom, sizeof(envmon_sensor_info)));
  EXPECT_LT(list->count, kRoom);
  envmon_sensor_info& s = list->sensors[list->count];
  s = envmon_sensor_info{};
  ++list->count;
  s.eid = make_eid(0xfffe, static_cast<uint32_t>(slot(tray, index)),
                   {{5, 7, static_cast<uint16_t>(index + 1)}, {8, static_cast<uint8_t>(subtype), list->count}});
  std::snprintf(s.name, sizeof s.name, "%s", name);
  s.value = value;
  s.update_rate = 10;
  return s;
}

std::vector<pemtest::Fault> PemFixture::take_faults() {
  std::vector<pemtest::Fault> f;
  f.swap(pemtest::standin().faults);
  return f;
}

void PemFixture::notify(uint32_t tray, uint32_t index, const EntityData& d) {
  drvif_eid_data_rec entry{};
  const uint32_t s = static_cast<uint32_t>(slot(tray, index));
  entry.eid = make_eid(0xfffe, s, {{5, 7, static_cast<uint16_t>(index + 1)}});
  if (d.has_state) entry.present[0] |= 0x08;
  if (d.has_vendor) {
    entry.present[1] |= 0x10;
    entry.aux = d.vendor;
  }
  uint8_t idprom[256];
  for (size_t i = 0; i < sizeof idprom; ++i) idprom[i] = static_cast<uint8_t>(i);
  envmon_pem_drvif_eid_data_notification(1, &entry, &entry.eid, &entry.eid, entry.eid.tsi, entry.eid.tsi_count, s,
                                         d.type, d.serial, d.hw_events, d.fault_events, d.fault_text, d.warn_events,
                                         d.warn_text, d.hours_used, idprom, sizeof idprom, d.hw_major, d.hw_minor, 1);
  envmon_free_tsi(&entry.eid);
}

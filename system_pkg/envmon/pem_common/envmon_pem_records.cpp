// The PEM tables other libraries bind by name, and the walks over them.
#include <cstdarg>
#include <cstdio>
#include <cstdlib>

extern "C" {
#include <safe_str_lib.h>
}

#include "envmon_invreg.h"
#include "envmon_pem_private.h"

extern "C" {
pd_power_tray_info_t* pd_power_tray_info = nullptr;
pd_power_supplies_data_t pd_power_supplies_data{};
pctrl_data_t pctrl_data[2]{};
inv_eid pem_cont_inv_eid{};
}

namespace pem {

bool real_trays() { return envmon_hal_get_max_powertray() != 0; }

uint32_t tray_count() {
  if (real_trays()) return envmon_rm != nullptr ? envmon_rm->pwr_tray_count : 0;
  return envmon_hal_get_max_virtual_powertray();
}

envmon_pwr_mgmt_data_t* pm() { return envmon_rm != nullptr ? envmon_rm->pwr_mgmt_data : nullptr; }

envmon_pwr_tray_budget* tray_budget(uint32_t tray) {
  envmon_pwr_mgmt_data_t* p = pm();
  if (p == nullptr || p->envmon_pwr_tray_data == nullptr || tray >= tray_count()) return nullptr;
  return &p->envmon_pwr_tray_data[tray];
}

pd_power_tray_info_t* tray_at(uint32_t tray) {
  if (pd_power_tray_info == nullptr || tray >= tray_count()) return nullptr;
  return &pd_power_tray_info[tray];
}

pem_record* pem_at(uint32_t tray, uint32_t pem) {
  pd_power_tray_info_t* t = tray_at(tray);
  if (t == nullptr || t->pems == nullptr || pem >= t->num_pems) return nullptr;
  return &t->pems[pem];
}

int32_t pem_slot(uint32_t tray, uint32_t pem) {
  pem_record* p = pem_at(tray, pem);
  if (p == nullptr) return -1;
  if (!real_trays()) return p->hw_position;
  envmon_pwr_tray_budget* b = tray_budget(tray);
  return (b != nullptr ? b->hw_position : 0) * 20 + p->hw_position;
}

envmon_sensor_list* sensor_list(pem_record& p, uint32_t index) {
  switch (index) {
    case 0: return &p.voltage_data;
    case 1: return &p.current_data;
    case 2: return &p.power_data;
    case 3: return &p.temp_data;
    case 4: return &p.fan_data;
    case 5: return &p.led_data;
    default: return nullptr;
  }
}

envmon_sensor_list* sensor_list_by_subtype(pem_record& p, uint32_t subtype) {
  for (uint32_t i = 0; i < kListCount; ++i)
    if (kListSubtype[i] == subtype) return sensor_list(p, i);
  return nullptr;
}

void count_oper(uint32_t counter, int32_t amount) {
  if (envmon_pwrm_oper_stats_hdl == nullptr) return;
  envmon_stats_add(envmon_stats_counter(envmon_pwrm_oper_stats_hdl, counter), static_cast<uint32_t>(amount));
}

void count_error() { envmon_stats_bump(envmon_pwrm_err_stats_hdl, 0); }

void count_invreg(uint32_t counter) { envmon_stats_bump(envmon_invregrm_oper_stats_hdl, counter); }

void copy_text(char* dst, size_t dst_size, const char* src, size_t max) {
  if (dst == nullptr || dst_size == 0) return;
  dst[0] = '\0';
  if (src == nullptr) return;
  size_t n = strnlen_s(src, max);
  if (n >= dst_size) n = dst_size - 1;
  if (n > 0) strncpy_s(dst, dst_size, src, n);
  dst[n] = '\0';
}

void format(char* buf, size_t size, const char* fmt, ...) {
  if (buf == nullptr || size == 0) return;
  va_list ap;
  va_start(ap, fmt);
  std::vsnprintf(buf, size, fmt, ap);
  va_end(ap);
}

void exit_process(const char* func, int line) {
  envmon_debug_log("%s:%d - exiting()\n", func, line);
  exit(-1);
}

invreg_handle* rack_invreg(bool* connected) {
  uint8_t c = 0;
  invreg_handle* h = envmon_get_invreg_handle(ENVMON_SCOPE_RACK, &c);
  if (connected != nullptr) *connected = h != nullptr && c != 0;
  return h;
}

}  // namespace pem

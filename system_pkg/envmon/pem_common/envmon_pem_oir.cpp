// Alarm masking and the insertion/removal notice of a PEM. While a PEM's
// 12-second masking timer runs, changes of its low-input-voltage alarm are
// held back; its expiry runs the check once on the PEM's input sensors.
#include <sys/timerfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "envmon_pem_private.h"
#include "evloop.h"
#include "inv_parser.h"

namespace {

constexpr uint32_t kTagInserted = 23;
constexpr uint32_t kTagRemoved = 24;
constexpr uint16_t kSeverityWarning = 2;
constexpr uint32_t kPemKind = 9;
constexpr uint32_t kBelAcType = 0xF01960;
// Product id of the 1.6 kW AC module of that family, whose IDPROM text can
// carry a trailing line feed.
constexpr char kBelAcPid[] = "PWR-1.6KW-AC";
constexpr uint16_t kUnknownLocation = 0xfffe;

int arm(int fd, uint32_t seconds) {
  itimerspec its{};
  its.it_value.tv_sec = static_cast<time_t>(seconds);
  return timerfd_settime(fd, 0, &its, nullptr);
}

// Ends the descriptor's event-loop registration, then closes it, so that a
// reused descriptor number never reaches this handler.
void detach_and_close(int fd) {
  if (fd < 0) return;
  evloop_attach_fd(envmon_evloop, fd, 0, nullptr, 0, 0, nullptr, 0);
  close(fd);
}

struct XmlFile {
  inv_xml_handle_t xml = nullptr;
  ~XmlFile() {
    if (xml != nullptr) inv_parser_close_xml_file(xml);
  }
};

}  // namespace

namespace pem {

bool is_input_sensor(const envmon_sensor_info& sensor) { return std::strncmp(sensor.name, "Input", 5) == 0; }

void start_or_rearm_mask(uint8_t tray, uint8_t pem) {
  pem_record* p = pem_at(tray, pem);
  if (p == nullptr) return;
  if (p->envmon_pem_init_timer_fd == -1) {
    envmon_alm_mask_on_pem_oir_start_timer(envmon_alm_mask_on_pem_oir_timeout_handler, kMaskSeconds,
                                           pem_slot(tray, pem));
    return;
  }
  envmon_timer_settime(&p->envmon_pem_init_timer_fd, kMaskSeconds);
  tlg_internal(pwrm_tlg_pem_hdl, "%s: reset timer for PEM(%d, %d)\n", "envmon_check_single_pem_alm", tray, pem);
}

}  // namespace pem

extern "C" {

void envmon_alm_mask_on_pem_oir_start_timer(evloop_fd_handler_t handler, int32_t seconds, int32_t slot) {
  static constexpr char kFunc[] = "envmon_alm_mask_on_pem_oir_start_timer";
  uint32_t t = 0, i = 0;
  if (!envmon_is_pem_slot(slot, &t, &i)) {
    tlg_internal(err_tlg_pem_hdl, "%s: invalid PEM slot %d\n", kFunc, slot);
    return;
  }
  pem_record* p = pem::pem_at(t, i);
  const int fd = timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK);
  if (fd < 0) {
    const int e = errno;
    envmon_debug_log("%s: Unable to create timer, errno=%d\n", kFunc, e);
    tlg_internal(err_tlg_pem_hdl, "%s: Unable to create timer, errno=%d\n", kFunc, e);
    return;
  }
  void* ctx = reinterpret_cast<void*>(static_cast<intptr_t>(slot));
  if (evloop_attach_fd(envmon_evloop, fd, 0, handler, EVLOOP_FD_READABLE, 0, ctx, 0) < 0) {
    const int e = errno;
    envmon_debug_log("%s: Error attaching timer to evloop, errno=%d\n", kFunc, e);
    tlg_internal(err_tlg_pem_hdl, "%s: Error attaching timer to evloop errno=%d\n", kFunc, e);
    close(fd);
    return;
  }
  if (arm(fd, static_cast<uint32_t>(seconds)) != 0) {
    const int e = errno;
    envmon_debug_log("%s: Error setting time, errno=%d\n", kFunc, e);
    tlg_internal(err_tlg_pem_hdl, "%s: Error setting time, errno=%d\n\n", kFunc, e);
    detach_and_close(fd);
    return;
  }
  // A timer the PEM still holds is replaced, not leaked.
  envmon_pem_close_timer_fd(&p->envmon_pem_init_timer_fd);
  p->envmon_pem_init_timer_fd = fd;
  tlg_internal(pwrm_tlg_pem_hdl, "%s: timer_fd %d for slot %d\n", kFunc, fd, slot);
}

void envmon_timer_settime(int32_t* fd, uint32_t seconds) {
  if (fd == nullptr) return;
  if (arm(*fd, seconds) != 0) {
    const int e = errno;
    envmon_debug_log("%s: Error setting time, errno=%d\n", __func__, e);
    tlg_internal(err_tlg_pem_hdl, "%s: Error setting time, errno=%d\n", __func__, e);
  }
}

void envmon_pem_close_timer_fd(int32_t* fd) {
  if (fd == nullptr || *fd == -1) return;
  detach_and_close(*fd);
  *fd = -1;
}

void envmon_alm_mask_on_pem_oir_timeout_handler(int fd, uint32_t /*events*/, void* ctx) {
  const int32_t slot = static_cast<int32_t>(reinterpret_cast<intptr_t>(ctx));
  uint32_t t = 0, i = 0;
  pem_record* p = nullptr;
  if (slot != 0 && envmon_is_pem_slot(slot, &t, &i) && pem::pem_at(t, i)->envmon_pem_init_timer_fd == fd)
    p = pem::pem_at(t, i);
  // A PEM in slot 0 (or one whose slot changed) is found by its descriptor,
  // so that its expired timer is still closed and its check run.
  if (p == nullptr) {
    pem::for_each_pem([&](uint32_t tt, uint32_t ii, pem_record& rec) {
      if (p == nullptr && rec.envmon_pem_init_timer_fd == fd) {
        p = &rec;
        t = tt;
        i = ii;
      }
    });
  }
  if (p == nullptr) {
    // No PEM owns it any more; an expired descriptor left open would stay
    // readable and fire again and again.
    detach_and_close(fd);
    return;
  }
  envmon_pem_close_timer_fd(&p->envmon_pem_init_timer_fd);
  envmon_pem_recheck_input_low_volt(static_cast<uint8_t>(t), static_cast<uint8_t>(i));
}

void envmon_pem_recheck_input_low_volt(uint8_t tray, uint8_t pem) {
  pem_record* p = pem::pem_at(tray, pem);
  if (p == nullptr) return;
  for (uint16_t s = 0; p->voltage_data.sensors != nullptr && s < p->voltage_data.count; ++s) {
    envmon_sensor_info& sensor = p->voltage_data.sensors[s];
    if (pem::is_input_sensor(sensor))
      envmon_check_pem_low_volt_alm(tray, pem, static_cast<uint32_t>(sensor.value), &sensor);
  }
}

envmon_err_t envmon_report_pem_oir_alm(uint8_t tray, uint8_t pem, uint8_t inserted) {
  static constexpr char kFunc[] = "envmon_report_pem_oir_alm";
  pem_record* p = pem::pem_at(tray, pem);
  if (p == nullptr) return ENVMON_ERR_INVALID_ARG;
  if (p->ps_eid.tsi_count == 0) envmon_setup_eid_for_pem_alm(tray, pem);
  uint32_t tag = kTagInserted;
  if (inserted) {
    pem::count_oper(pem::kPMinsertion);
  } else {
    envmon_pem_close_timer_fd(&p->envmon_pem_init_timer_fd);
    tag = kTagRemoved;
    pem::count_oper(pem::kPMremoval);
    pelm_eid container{};
    if (pem::real_trays()) {
      inv_eid cont{}, merged{};
      inv_util_convert_pelm_eid_to_eid(&p->cont_eid, &cont);
      const inv_eid* tray_eid = envmon_rm != nullptr && envmon_rm->pwr_tray_cont_eids != nullptr
                                    ? &envmon_rm->pwr_tray_cont_eids[tray]
                                    : nullptr;
      if (tray_eid != nullptr && inv_util_merge_eid(tray_eid, &cont, &merged) == INV_UTIL_OK)
        inv_util_convert_eid_to_pelm_eid(&merged, &container);
      else
        inv_util_convert_eid_to_pelm_eid(&cont, &container);
    } else {
      inv_util_copy_pelm_eid_to_pelm_eid(&p->cont_eid, &container);
    }
    const envmon_err_t clear_rc = envmon_fm_fault_clear(ENVMON_SCOPE_RACK, &container);
    envmon_free_tsi(&container);
    p->alarms = 0;
    tlg_internal(fault_tlg_pem_hdl, "pem(%d, %d) removed, envmon_fm_fault_clear() returned rc %ld \n", tray, pem,
                 static_cast<long>(clear_rc));
  }
  pem::FaultRequest fr(tag, &p->ps_eid, pem::kNotice, kSeverityWarning);
  const envmon_err_t rc = fr.send();
  const char* what = inserted ? "IN" : "OUT";
  if (rc != ENVMON_OK)
    tlg_internal(err_tlg_pem_hdl, "In %s: envmon_fm_fault_report returned error for pem(%d, %d) OIR %s alarm, rc = %ld.\n",
                 kFunc, tray, pem, what, static_cast<long>(rc));
  else
    tlg_internal(fault_tlg_pem_hdl, "%s: reported pem(%d, %d) OIR %s alarm\n", kFunc, tray, pem, what);
  return rc;
}

void envmon_setup_eid_for_pem_alm(uint8_t tray, uint8_t pem) {
  static constexpr char kFunc[] = "envmon_setup_eid_for_pem_alm";
  pem_record* p = pem::pem_at(tray, pem);
  if (p == nullptr || p->ps_eid.tsi_count != 0) return;
  if (p->pem_raw_data.pem_type == kBelAcType && std::strstr(p->pid, kBelAcPid) != nullptr) {
    const size_t n = strnlen(p->pid, sizeof p->pid);
    if (n > 0 && p->pid[n - 1] == '\n') p->pid[n - 1] = '\0';
  }
  inv_parser_open_req req{};
  req.pi_hw_type = kPemKind;
  req.pd_hw_type = p->pem_raw_data.pem_type;
  pem::copy_text(req.pid, sizeof req.pid, p->pid, 36);
  req.hw_major = p->hw_ver_maj;
  req.hw_minor = p->hw_ver_min;
  XmlFile file;
  file.xml = inv_parser_open_xml_file_v2(1, &req);
  if (file.xml == nullptr) {
    tlg_internal(err_tlg_pem_hdl, "%s(): Failed to parse PEM xml file\n", kFunc);
    pem::exit_process(kFunc, __LINE__);
  }
  inv_eid* root = nullptr;
  const int rc = inv_parser_get_root_eid(file.xml, &root);
  if (rc != INV_PARSER_OK || root == nullptr) {
    tlg_internal(err_tlg_pem_hdl, "%s():  faild to get POWERSUPPLY type, rc: %ld\n", kFunc, static_cast<long>(rc));
    free(root);
    pem::exit_process(kFunc, __LINE__);
  }
  envmon_free_tsi(&p->ps_eid);
  root->rack = kUnknownLocation;
  root->slot = static_cast<uint16_t>(pem::pem_slot(tray, pem));
  inv_util_convert_eid_to_pelm_eid(root, &p->ps_eid);
  free(root);
}

}  // extern "C"

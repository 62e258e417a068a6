// Re-sending of unacknowledged PEM requests. Every 5 s while the card-event
// state machine registers, it asks how many PEM requests are pending; the
// question re-sends the first class of requests that still has work, gives up
// on requests without retries left, and answers the number re-sent.
#include <cstdio>

#include "envmon_drvif.h"
#include "envmon_invreg.h"
#include "envmon_pem_private.h"

namespace {

constexpr uint32_t kCountMask = 0xf8000000u;

enum class Step { kIdle, kSettled, kResend, kSpent };

// One request of a word: acknowledged requests settle, others spend one
// retry or are given up. Giving up clears the request and its count only, so
// that the word's other requests and flags (a sensor's registration, its
// waiting value) stay.
Step step(uint32_t& word, uint32_t pending, uint32_t done) {
  if (!(word & pending)) return Step::kIdle;
  if (word & done) {
    word &= ~pending;
    return Step::kSettled;
  }
  const uint32_t left = word >> 27;
  if (left != 0) {
    word = (word & ~kCountMask) | ((left - 1) << 27);
    return Step::kResend;
  }
  word &= ~(pending | kCountMask);
  return Step::kSpent;
}

// A re-send arms its request again; the retries left stay what this pass
// counted down to, so that the request ends after its retries.
template <typename Send>
void resend_keeping_count(uint32_t& word, Send&& send) {
  const uint32_t count = word & kCountMask;
  send();
  word = (word & ~kCountMask) | count;
}

const char* text(const pelm_eid& eid, char* buf) {
  envmon_dump_pelm_eid_to_string(&eid, buf);
  return buf;
}

}  // namespace

extern "C" {

int32_t envmon_err_hdl_rm_pctrl_eids(void) {
  static constexpr char kFunc[] = "envmon_err_hdl_rm_pctrl_eids";
  int32_t outstanding = 0, sent = 0;
  char buf[ENVMON_EID_STR_LEN];
  for (uint32_t c = 0; c < 2; ++c) {
    pctrl_data_t& ctrl = pctrl_data[c];
    struct Word {
      uint32_t* word;
      pelm_eid* eid;
      uint8_t controller, idprom;
    };
    for (const Word& w : {Word{&ctrl.reg_state, &ctrl.eid, 1, 0}, Word{&ctrl.idprom_reg_state, &ctrl.idprom_eid, 0, 1}}) {
      switch (step(*w.word, ENVMON_ST_REG_PENDING, ENVMON_ST_REG_DONE)) {
        case Step::kResend:
          ++outstanding;
          ++sent;
          resend_keeping_count(*w.word, [&] { envmon_inv_invreg_reg_pmbus_ctrl_eids(c, w.controller, w.idprom, 0); });
          break;
        case Step::kSpent:
          ++outstanding;
          tlg_internal(err_tlg_pem_hdl, "FSA: %s-RM PMBUS eid REG_REQ failed: EID=%s\n", kFunc, text(*w.eid, buf));
          break;
        default:
          break;
      }
    }
  }
  if (outstanding) tlg_internal(pwrm_tlg_pem_hdl, "FSA:RM CHASSIS PMBUS eid REG[%d,%d]\n", outstanding, sent);
  return sent;
}

int32_t envmon_err_hdl_rm_pem_cont(void) {
  static constexpr char kFunc[] = "envmon_err_hdl_rm_pem_cont";
  if (pd_power_tray_info == nullptr) return 0;
  int32_t sent = 0;
  bool chassis_level_sent = false;
  char buf[ENVMON_EID_STR_LEN];
  const uint32_t trays = pem::tray_count();
  for (uint32_t t = 0; t < trays; ++t) {
    pd_power_tray_info_t& tray = pd_power_tray_info[t];
    int32_t outstanding = 0, tray_sent = 0;
    for (uint32_t i = 0; tray.pems != nullptr && i < tray.num_pems; ++i) {
      pem_record& p = tray.pems[i];
      switch (step(p.container_reg_state, ENVMON_ST_REG_PENDING, ENVMON_ST_REG_DONE)) {
        case Step::kResend:
          ++outstanding;
          ++tray_sent;
          resend_keeping_count(p.container_reg_state, [&] {
            if (pem::real_trays()) {
              envmon_inv_invreg_rm_register_pem_entity(static_cast<uint8_t>(t), static_cast<uint8_t>(i));
            } else if (!chassis_level_sent) {
              // One request registers the containers of every virtual tray.
              envmon_hal_inv_invreg_rm_register_chassis_lvl_eids(nullptr);
              chassis_level_sent = true;
            }
          });
          break;
        case Step::kSpent:
          ++outstanding;
          tlg_internal(err_tlg_pem_hdl, "FSA: %s-PEM[%d][%d] container REG_REQ failed: EID=%s\n", kFunc, t, i,
                       text(p.cont_eid, buf));
          break;
        default:
          break;
      }
    }
    if (outstanding)
      tlg_internal(pwrm_tlg_pem_hdl, "FSA:RM-PT[%d] PEM CONTAINER REG[%d,%d]\n", t, outstanding, tray_sent);
    sent += tray_sent;
  }
  return sent;
}

int32_t envmon_err_hdl_rm_pem_fru(void) {
  static constexpr char kFunc[] = "envmon_err_hdl_rm_pem_fru";
  if (pd_power_tray_info == nullptr) return 0;
  int32_t sent = 0;
  char buf[ENVMON_EID_STR_LEN];
  pem::for_each_pem([&](uint32_t t, uint32_t i, pem_record& p) {
    const uint8_t tray = static_cast<uint8_t>(t), pem = static_cast<uint8_t>(i);
    bool registered_again = false;
    switch (step(p.fru_reg_state, ENVMON_ST_REG_PENDING, ENVMON_ST_REG_DONE)) {
      case Step::kResend:
        resend_keeping_count(p.fru_reg_state, [&] {
          envmon_inv_invreg_reg_pwr_fru(t, i, p.pem_raw_data.pem_type, p.serial_num, 11, p.fru_hw_ver_maj,
                                        p.fru_hw_ver_min);
        });
        registered_again = true;
        ++sent;
        tlg_internal(pwrm_tlg_pem_hdl, "FSA:RM-PT PEM[%d,%d] EEPROM REG[1,%d]\n", t, i, 1);
        break;
      case Step::kSpent:
        tlg_internal(err_tlg_pem_hdl, "FSA: %s-PEM[%d,%d] EEPROM REG_REQ failed: EID=%s\n", kFunc, t, i, text(p.eid, buf));
        tlg_internal(pwrm_tlg_pem_hdl, "FSA:RM-PT PEM[%d,%d] EEPROM REG[1,%d]\n", t, i, 0);
        break;
      default:
        break;
    }
    if (!registered_again) {
      switch (step(p.fru_reg_state, ENVMON_ST_EEPROM_PENDING, ENVMON_ST_EEPROM_DONE)) {
        case Step::kResend:
          resend_keeping_count(p.fru_reg_state, [&] { envmon_inv_rereg_pem_fru_data(tray, pem); });
          ++sent;
          tlg_internal(pwrm_tlg_pem_hdl, "FSA:RM-PT PEM[%d,%d] EEPROM SET[1,%d]\n", t, i, 1);
          break;
        case Step::kSpent:
          tlg_internal(err_tlg_pem_hdl, "FSA: %s-PEM[%d,%d] EEPROM SET_REQ failed: EID=%s\n", kFunc, t, i,
                       text(p.eid, buf));
          tlg_internal(pwrm_tlg_pem_hdl, "FSA:RM-PT PEM[%d,%d] EEPROM SET[1,%d]\n", t, i, 0);
          break;
        default:
          break;
      }
    }
    switch (step(p.fru_reg_state, ENVMON_ST_UNREG_PENDING, ENVMON_ST_UNREG_DONE)) {
      case Step::kResend:
        resend_keeping_count(p.fru_reg_state, [&] { envmon_inv_invreg_unreg_pwr_fru(t, i, p.pem_raw_data.pem_type); });
        ++sent;
        tlg_internal(pwrm_tlg_pem_hdl, "FSA:RM-PT PEM[%d,%d] EEPROM UNREG[1,%d]\n", t, i, 1);
        break;
      case Step::kSpent:
        tlg_internal(err_tlg_pem_hdl, "FSA: %s-PEM[%d,%d] EEPROM UNREG_REQ failed: EID=%s\n", kFunc, t, i,
                     text(p.eid, buf));
        tlg_internal(pwrm_tlg_pem_hdl, "FSA:RM-PT PEM[%d,%d] EEPROM UNREG[1,%d]\n", t, i, 0);
        break;
      default:
        break;
    }
    for (uint16_t f = 0; p.fpds != nullptr && f < p.num_fpds; ++f) {
      fpd_data& fpd = p.fpds[f];
      switch (step(fpd.reg_state, ENVMON_ST_REG_PENDING, ENVMON_ST_REG_DONE)) {
        case Step::kResend:
          resend_keeping_count(fpd.reg_state, [&] { envmon_reg_fpd_pem_eid(&fpd, fpd.name, pem::pem_slot(t, i)); });
          ++sent;
          tlg_internal(pwrm_tlg_pem_hdl, "FSA:RM-PT PEM[%d,%d] FPD[%d] REG[1,%d]\n", t, i, f, 1);
          break;
        case Step::kSpent:
          envmon_dump_inv_eid_to_string(&fpd.eid, buf);
          tlg_internal(err_tlg_pem_hdl, "FSA: %s-PEM[%d][%d] FPD[%d] REG_REQ failed: EID=%s\n", kFunc, t, i, f, buf);
          tlg_internal(pwrm_tlg_pem_hdl, "FSA:RM-PT PEM[%d,%d] FPD[%d] REG[1,%d]\n", t, i, f, 0);
          break;
        default:
          break;
      }
    }
  });
  return sent;
}

int32_t envmon_err_hdl_rm_pt_sensor(void) {
  static constexpr char kFunc[] = "envmon_err_hdl_rm_pt_sensor";
  if (pd_power_tray_info == nullptr) return 0;
  int32_t counted_all = 0;
  char buf[ENVMON_EID_STR_LEN];
  char name[ENVMON_SENSOR_NAME_LEN + 8];
  const uint32_t trays = pem::tray_count();
  for (uint32_t t = 0; t < trays; ++t) {
    pd_power_tray_info_t& tray = pd_power_tray_info[t];
    int32_t outstanding = 0, counted = 0;
    for (uint32_t i = 0; tray.pems != nullptr && i < tray.num_pems; ++i) {
      pem_record& p = tray.pems[i];
      for (uint32_t l = 0; l < pem::kListCount; ++l) {
        envmon_sensor_list* list = pem::sensor_list(p, l);
        if (!(list->reg_state & ENVMON_ST_REG_PENDING)) continue;
        int32_t list_counted = 0;
        for (int s = static_cast<int>(list->count) - 1; list->sensors != nullptr && s >= 0; --s) {
          envmon_sensor_info& sensor = list->sensors[s];
          switch (step(sensor.state, ENVMON_ST_REG_PENDING, ENVMON_ST_REG_DONE)) {
            case Step::kResend:
              ++outstanding;
              ++list_counted;
              resend_keeping_count(sensor.state, [&] {
                envmon_inv_invreg_register_sensors(ENVMON_SCOPE_RACK, &sensor, 1);
                pem::format(name, sizeof name, "PM%d %s", i, sensor.name);
                envmon_inv_invreg_upd_eid_name(&sensor.eid, name, ENVMON_SCOPE_RACK);
              });
              break;
            case Step::kSpent:
              ++outstanding;
              tlg_internal(err_tlg_pem_hdl, "FSA: %s-PEM[%d][%d] sensor[%d] REG_REQ failed: EID=%s\n", kFunc, t, i, s,
                           text(sensor.eid, buf));
              break;
            case Step::kIdle:
              if (sensor.state & ENVMON_ST_VALUE_WAITING) {
                if (sensor.state & ENVMON_ST_REG_DONE)
                  envmon_inv_invreg_report_sensor_data_after_reg(pem::kListSubtype[l], &sensor, ENVMON_SCOPE_RACK);
                ++list_counted;
              }
              break;
            default:
              break;
          }
        }
        if (list_counted == 0) list->reg_state = (list->reg_state & ~ENVMON_ST_REG_PENDING) | ENVMON_ST_REG_DONE;
        counted += list_counted;
      }
    }
    if (outstanding) tlg_internal(pwrm_tlg_pem_hdl, "FSA:RM-PT[%d] SENSOR REG[%d,%d]\n", t, outstanding, counted);
    counted_all += counted;
  }
  return counted_all;
}

int32_t envmon_err_hdl_rm_pt_drvif(void) {
  static constexpr char kFunc[] = "envmon_err_hdl_rm_pt_drvif";
  if (pd_power_tray_info == nullptr) return 0;
  int32_t lists_all = 0;
  char buf[ENVMON_EID_STR_LEN];
  const uint32_t trays = pem::tray_count();
  for (uint32_t t = 0; t < trays; ++t) {
    pd_power_tray_info_t& tray = pd_power_tray_info[t];
    int32_t outstanding = 0, lists = 0;
    for (uint32_t i = 0; tray.pems != nullptr && i < tray.num_pems; ++i) {
      pem_record& p = tray.pems[i];
      for (uint32_t l = 0; l < pem::kListCount; ++l) {
        envmon_sensor_list* list = pem::sensor_list(p, l);
        if (!(list->reg_state & ENVMON_ST_POLL_PENDING)) continue;
        bool resent = false;
        for (int s = static_cast<int>(list->count) - 1; list->sensors != nullptr && s >= 0; --s) {
          envmon_sensor_info& sensor = list->sensors[s];
          switch (step(sensor.state, ENVMON_ST_POLL_PENDING, ENVMON_ST_POLL_DONE)) {
            case Step::kResend:
              ++outstanding;
              resent = true;
              // A PEM's sensors are polled by the power driver.
              resend_keeping_count(sensor.state,
                                   [&] { envmon_drvif_poll_request(&sensor, 1, ENVMON_POLL_START, ENVMON_DRV_POWER); });
              break;
            case Step::kSpent:
              ++outstanding;
              tlg_internal(err_tlg_pem_hdl, "FSA: %s-PT[%d][%d] senor [%d] DRVIF_POLL_REQ failed: EID=%s\n", kFunc, t, i,
                           s, text(sensor.eid, buf));
              break;
            default:
              break;
          }
        }
        if (resent)
          ++lists;
        else
          list->reg_state = (list->reg_state & ~ENVMON_ST_POLL_PENDING) | ENVMON_ST_POLL_DONE;
      }
    }
    if (outstanding) tlg_internal(pwrm_tlg_pem_hdl, "FSA:RM-PT[%d] SENSOR DRVIF_POLL[%d,%d]\n", t, outstanding, lists);
    lists_all += lists;
  }
  return lists_all;
}

int32_t envmon_pem_fsa_rm_pd_error_count(void) {
  for (int32_t (*cls)(void) : {envmon_err_hdl_rm_pctrl_eids, envmon_err_hdl_rm_pem_cont, envmon_err_hdl_rm_pem_fru,
                               envmon_err_hdl_rm_pt_sensor, envmon_err_hdl_rm_pt_drvif}) {
    const int32_t n = cls();
    if (n != 0) return n;
  }
  return 0;
}

void envmon_pem_fsa_rm_cleanup_inv_retry_request(void) {
  pem::for_each_pem([](uint32_t, uint32_t, pem_record& p) {
    p.container_reg_state &= ~ENVMON_ST_REG_PENDING;
    p.fru_reg_state &= ~(ENVMON_ST_REG_PENDING | ENVMON_ST_UNREG_PENDING | ENVMON_ST_EEPROM_PENDING);
    for (uint32_t l = 0; l < pem::kListCount; ++l) pem::sensor_list(p, l)->reg_state &= ~ENVMON_ST_REG_PENDING;
  });
}

void envmon_pem_fsa_rm_cleanup_drvif_retry_request(uint32_t driver) {
  if (driver != ENVMON_DRV_POWER) return;
  pem::for_each_pem([](uint32_t, uint32_t, pem_record& p) {
    for (uint32_t l = 0; l < pem::kListCount; ++l) pem::sensor_list(p, l)->reg_state &= ~ENVMON_ST_POLL_PENDING;
  });
}

}  // extern "C"

// Retry handlers of the sensor registrations with inventory.
#include <array>

#include "envmon.h"
#include "envmon_eid_text.h"
#include "envmon_err_hdl.h"
#include "envmon_err_hdl_walk.h"

namespace {

using namespace envmon::retry;
using envmon::eid_text;
using envmon::inv_eid_text;

constexpr const char kNmFailed[] = "FSA: %s-%s REG_REQ failed: EID=%s\n";
constexpr const char kNmSummary[] = "FSA:NM SENSOR REG[%d,%d]\n";
constexpr const char kChassisFailed[] = "FSA: %s-RM CHASSIS temp REG_REQ failed: EID=%s\n";
constexpr const char kChassisSummary[] = "FSA:RM CHASSIS sensor REG[%d,%d]\n";
constexpr const char kFcFailed[] = "FSA: %s-FC temp REG_REQ failed: EID=%s\n";
constexpr const char kSwFailed[] = "FSA: %s-SW temp REG_REQ failed: EID=%s\n";
constexpr const char kLcFailed[] = "FSA: %s-LC temp REG_REQ failed: EID=%s\n";
constexpr const char kFcSummary[] = "FSA:FC[%d] SENSOR REG[%d,%d]\n";
constexpr const char kSwSummary[] = "FSA:SW[%d] SENSOR REG[%d,%d]\n";
constexpr const char kLcSummary[] = "FSA:LC[%d] SENSOR REG[%d,%d]\n";
constexpr const char kFtFailed[] = "FSA: %s-FT[%d]senor[%d] REG_REQ failed: EID=%s\n";
constexpr const char kFtSummary[] = "FSA:RM-FT[%d] SENSOR REG[%d,%d]\n";

// A sensor whose value waits for its registration: sent once the registration
// was accepted. When the registration was refused the value has nowhere to go;
// it is dropped rather than counted at every pass, which would keep the state
// machine in its registering state for good.
auto waiting_value(uint32_t subtype, uint32_t scope) {
  return [subtype, scope](envmon_sensor_info& s, int& count) {
    if ((s.state & kValueWaiting) == 0) return;
    if ((s.state & kReg.done) != 0) {
      envmon_inv_invreg_report_sensor_data_after_reg(subtype, &s, scope);
      ++count;
    } else {
      s.state &= ~kValueWaiting;
    }
  };
}

// One registration pass over a list, with the value step.
template <class Fail>
int reg_pass(envmon_sensor_list& list, uint32_t subtype, uint32_t scope, int& seen, Fail&& fail) {
  return walk_list(
      list, kReg, seen,
      [scope](envmon_sensor_info& s) { envmon_inv_invreg_register_sensors(scope, &s, 1); },
      fail, waiting_value(subtype, scope));
}

struct named_list {
  envmon_sensor_list* list;
  uint32_t subtype;
  const char* name;
};

// This card's or one MPA's three lists.
int node_lists(const char* fn, envmon_sensor_list& temp, envmon_sensor_list& volt,
               envmon_sensor_list& curr, int& seen) {
  const std::array<named_list, 3> lists = {{
      {&temp, ENVMON_SENSOR_TEMPERATURE, "temp sensor"},
      {&volt, ENVMON_SENSOR_VOLTAGE, "volt sensor"},
      {&curr, ENVMON_SENSOR_CURRENT, "curr sensor"},
  }};
  int total = 0;
  for (const named_list& l : lists) {
    total += reg_pass(*l.list, l.subtype, ENVMON_SCOPE_NODE, seen,
                      [fn, &l](const envmon_sensor_info& s) {
                        tlg_internal(err_tlg_cmn_hdl, kNmFailed, fn, l.name, eid_text(s.eid).data());
                      });
  }
  return total;
}

// Each remotely managed card of one class: its three lists on the rack scope.
int card_pass(const char* fn, envmon_remote_card_cb* cards, uint32_t n, const char* failed,
              const char* summary) {
  if (cards == nullptr) return 0;
  int total = 0;
  for (uint32_t i = 0; i < n; ++i) {
    envmon_remote_card_cb& card = cards[i];
    int seen = 0;
    int count = 0;
    auto fail = [fn, failed](const envmon_sensor_info& s) {
      tlg_internal(err_tlg_cmn_hdl, failed, fn, eid_text(s.eid).data());
    };
    count += reg_pass(card.temp_data, ENVMON_SENSOR_TEMPERATURE, ENVMON_SCOPE_RACK, seen, fail);
    count += reg_pass(card.voltage_data, ENVMON_SENSOR_VOLTAGE, ENVMON_SCOPE_RACK, seen, fail);
    count += reg_pass(card.current_data, ENVMON_SENSOR_CURRENT, ENVMON_SCOPE_RACK, seen, fail);
    if (seen != 0) tlg_internal(smil_tlg_cmn_hdl, summary, static_cast<int>(i), seen, count);
    total += count;
  }
  return total;
}

}  // namespace

extern "C" {

int envmon_err_hdl_nm_bd_sensor(void) {
  if (envmon_nm == nullptr) return 0;
  int seen = 0;
  int total = node_lists(__func__, envmon_nm->temp_data, envmon_nm->voltage_data,
                         envmon_nm->current_data, seen);
  if (seen != 0) tlg_internal(smil_tlg_cmn_hdl, kNmSummary, seen, total);
  return total;
}

// Every bay's lists are swept, not only the first bay's: a bay whose
// registration was lost would otherwise never be asked again.
int envmon_err_hdl_nm_MPA_sensor(void) {
  if (envmon_nm == nullptr || envmon_nm->mpa == nullptr) return 0;
  int seen = 0;
  int total = 0;
  for (uint32_t b = 0; b < envmon_nm->max_mpa; ++b) {
    envmon_mpa_cb& mpa = envmon_nm->mpa[b];
    total += node_lists(__func__, mpa.temp_data, mpa.voltage_data, mpa.current_data, seen);
  }
  if (seen != 0) tlg_internal(smil_tlg_cmn_hdl, kNmSummary, seen, total);
  return total;
}

int envmon_err_hdl_rm_bd_sensor(void) {
  if (envmon_rm == nullptr) return 0;
  int seen = 0;
  const char* fn = __func__;
  int total = walk_list(
      envmon_rm->temp_data, kReg, seen,
      [](envmon_sensor_info& s) { envmon_inv_invreg_register_sensors(ENVMON_SCOPE_RACK, &s, 1); },
      [fn](const envmon_sensor_info& s) {
        tlg_internal(err_tlg_cmn_hdl, kChassisFailed, fn, eid_text(s.eid).data());
      },
      no_other);
  if (seen != 0) tlg_internal(smil_tlg_cmn_hdl, kChassisSummary, seen, total);
  return total;
}

int envmon_err_hdl_rm_fab_sensor(void) {
  if (envmon_rm == nullptr || !envmon_hal_are_fc_managed_remotely()) return 0;
  return card_pass(__func__, envmon_rm->fc_cb, envmon_hal_get_max_fc(), kFcFailed, kFcSummary);
}

int envmon_err_hdl_rm_swc_sensor(void) {
  if (envmon_rm == nullptr) return 0;
  return card_pass(__func__, envmon_rm->sw_cb, envmon_hal_get_max_swc(), kSwFailed, kSwSummary);
}

int envmon_err_hdl_rm_lc_sensor(void) {
  if (envmon_rm == nullptr) return 0;
  return card_pass(__func__, envmon_rm->lc_cb, envmon_hal_get_max_lc(), kLcFailed, kLcSummary);
}

int envmon_err_hdl_rm_ft_sensor(void) {
  if (envmon_rm == nullptr || envmon_rm->fantray_cb == nullptr) return 0;
  const uint32_t trays = envmon_hal_get_max_fantray();
  int total = 0;
  for (uint32_t t = 0; t < trays; ++t) {
    fantray_cb& ft = envmon_rm->fantray_cb[t];
    const std::array<std::pair<envmon_sensor_list*, uint32_t>, 4> lists = {{
        {&ft.fan_data, ENVMON_SENSOR_FAN_SPEED},
        {&ft.temp_data, ENVMON_SENSOR_TEMPERATURE},
        {&ft.voltage_data, ENVMON_SENSOR_VOLTAGE},
        {&ft.subtype13_data, ENVMON_SENSOR_LED},
    }};
    int seen = 0;
    int count = 0;
    for (size_t k = 0; k < lists.size(); ++k) {
      const char* fn = __func__;
      count += reg_pass(*lists[k].first, lists[k].second, ENVMON_SCOPE_RACK, seen,
                        [fn, t, k](const envmon_sensor_info& s) {
                          tlg_internal(err_tlg_cmn_hdl, kFtFailed, fn, static_cast<int>(t),
                                       static_cast<int>(k), eid_text(s.eid).data());
                        });
    }
    if (seen != 0) tlg_internal(smil_tlg_cmn_hdl, kFtSummary, static_cast<int>(t), seen, count);
    total += count;
  }
  return total;
}

}  // extern "C"

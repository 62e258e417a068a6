// Retry handlers of the driver polling configuration and the fan-speed sets.
#include <array>

#include "envmon.h"
#include "envmon_eid_text.h"
#include "envmon_err_hdl.h"
#include "envmon_err_hdl_walk.h"

namespace {

using namespace envmon::retry;
using envmon::eid_text;
using envmon::inv_eid_text;

constexpr const char kFcFailed[] = "FSA: %s-FC[%d] REG_REQ failed: EID=%s\n";
constexpr const char kSwFailed[] = "FSA: %s-SW[%d] REG_REQ failed: EID=%s\n";
constexpr const char kLcFailed[] = "FSA: %s-LC[%d] REG_REQ failed: EID=%s\n";
constexpr const char kFcSummary[] = "FSA:FC[%d] SENSOR DRVIF_POLL [%d,%d]\n";
constexpr const char kSwSummary[] = "FSA:SW[%d] SENSOR DRVIF_POLL [%d,%d]\n";
constexpr const char kLcSummary[] = "FSA:LC[%d] SENSOR DRVIF_POLL [%d,%d]\n";
constexpr const char kFtFailed[] = "FSA: %s-FT[%d]senor[%d] POLL_REQ failed: EID=%s\n";
constexpr const char kFtSummary[] = "FSA:RM-FT[%d] SENSOR DRVIF_POLL[%d,%d]\n";
constexpr const char kSpeedFailed[] = "FSA: %s-FT[%d] speed senor DRVIF_SET_REQ failed: EID=%s\n";
constexpr const char kSpeedSummary[] = "FSA:RM-FT[%d] SPEED DRVIF_SET[%d,%d]\n";

// Polling is configured in mode 3; a retry goes to one sensor at a time.
constexpr uint32_t kPollMode = 3;

template <class Fail>
int poll_pass(envmon_sensor_list& list, uint32_t driver, int& seen, Fail&& fail) {
  return walk_list(
      list, kPoll, seen,
      [driver](envmon_sensor_info& s) { envmon_drvif_poll_request(&s, 1, kPollMode, driver); },
      fail, no_other);
}

int card_pass(const char* fn, envmon_remote_card_cb* cards, uint32_t n, const char* failed,
              const char* summary) {
  if (cards == nullptr) return 0;
  int total = 0;
  for (uint32_t i = 0; i < n; ++i) {
    envmon_remote_card_cb& card = cards[i];
    int seen = 0;
    int count = 0;
    auto fail = [fn, failed, i](const envmon_sensor_info& s) {
      tlg_internal(err_tlg_cmn_hdl, failed, fn, static_cast<int>(i), eid_text(s.eid).data());
    };
    count += poll_pass(card.temp_data, ENVMON_DRV_ALL, seen, fail);
    count += poll_pass(card.voltage_data, ENVMON_DRV_ALL, seen, fail);
    count += poll_pass(card.current_data, ENVMON_DRV_ALL, seen, fail);
    if (seen != 0) tlg_internal(smil_tlg_cmn_hdl, summary, static_cast<int>(i), seen, count);
    total += count;
  }
  return total;
}

}  // namespace

extern "C" {

int envmon_err_hdl_rm_fab_drvif(void) {
  if (envmon_rm == nullptr || !envmon_hal_are_fc_managed_remotely()) return 0;
  return card_pass(__func__, envmon_rm->fc_cb, envmon_hal_get_max_fc(), kFcFailed, kFcSummary);
}

int envmon_err_hdl_rm_swc_drvif(void) {
  if (envmon_rm == nullptr) return 0;
  return card_pass(__func__, envmon_rm->sw_cb, envmon_hal_get_max_swc(), kSwFailed, kSwSummary);
}

int envmon_err_hdl_rm_lc_drvif(void) {
  if (envmon_rm == nullptr) return 0;
  return card_pass(__func__, envmon_rm->lc_cb, envmon_hal_get_max_lc(), kLcFailed, kLcSummary);
}

int envmon_err_hdl_rm_ft_drvif(void) {
  if (envmon_rm == nullptr || envmon_rm->fantray_cb == nullptr) return 0;
  const char* fn = __func__;
  const uint32_t trays = envmon_hal_get_max_fantray();
  int total = 0;
  for (uint32_t t = 0; t < trays; ++t) {
    fantray_cb& ft = envmon_rm->fantray_cb[t];
    const uint32_t driver = envmon_is_ft_idx_belongs_to_pft(t) ? ENVMON_DRV_FAN : ENVMON_DRV_FAN2;
    const std::array<envmon_sensor_list*, 4> lists = {
        &ft.fan_data, &ft.temp_data, &ft.voltage_data, &ft.subtype13_data};
    int seen = 0;
    int count = 0;
    for (size_t k = 0; k < lists.size(); ++k) {
      count += poll_pass(*lists[k], driver, seen, [fn, t, k](const envmon_sensor_info& s) {
        tlg_internal(err_tlg_cmn_hdl, kFtFailed, fn, static_cast<int>(t), static_cast<int>(k),
                     eid_text(s.eid).data());
      });
    }
    if (seen != 0) tlg_internal(smil_tlg_cmn_hdl, kFtSummary, static_cast<int>(t), seen, count);
    total += count;
  }
  // Fan-speed sets, after the polling of every tray.
  for (uint32_t t = 0; t < trays; ++t) {
    fantray_cb& ft = envmon_rm->fantray_cb[t];
    if ((ft.fan_data.reg_state & kSpeed.pending) == 0) continue;
    int seen = 0;
    int count = walk_list(
        ft.fan_data, kSpeed, seen,
        [t](envmon_sensor_info& s) { envmon_hal_fan_mgmt_fan_speed_update_per_eid(t, &s); },
        [fn, t](const envmon_sensor_info& s) {
          tlg_internal(err_tlg_cmn_hdl, kSpeedFailed, fn, static_cast<int>(t),
                       eid_text(s.eid).data());
        },
        no_other);
    tlg_internal(smil_tlg_cmn_hdl, kSpeedSummary, static_cast<int>(t), seen, count);
    total += count;
  }
  return total;
}

}  // extern "C"

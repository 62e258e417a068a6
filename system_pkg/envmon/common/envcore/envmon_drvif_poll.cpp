// Polling configuration: one request per driver with the sensors it owns,
// the request stamp on each sensor and list, the poll-everything entry points
// of the node and rack scopes, and the acknowledgements.
#include <stdlib.h>

#include <array>

#include <algorithm>

#include "envmon.h"
#include "envmon_ceb_fsa.h"
#include "envmon_drvif_private.h"

using namespace envmon_drvif;
using envmon_acq::EidText;

namespace {

constexpr char kNoMemory[] = "%s(): Failed to update sensor poll rate with driver %d, No Memory\n";
constexpr char kSendFailed[] = "%s(): Failed to update sensor poll rate with driver %d, capi error rc = %d\n";
constexpr char kAdjust[] = "Sensors, sensors_cnt:%x, scope: %d\n\n";
constexpr char kBadHandle[] = "%s(): error getting driver %d for hdl %p\n\n";
constexpr char kRespError[] = "%s(): error getting resp for set sensor polling, err: %u\n";
constexpr char kNotFound[] = "%s(): Cannot find sensor info eid= %s, for driver %d, rc=%d\n";
constexpr char kAckRetry[] = "%s(): Ack Retry=%d, eid=%s\n";
constexpr char kAckError[] = "%s(): Ack Error=%d, eid=%s\n";

// The per-driver arrays of one request.
struct DriverRequest {
  uint32_t count = 0;
  uint32_t filled = 0;
  pelm_eid* eids = nullptr;
  uint32_t* deltas = nullptr;
  uint32_t* intervals = nullptr;
  bool prepared = false;
  bool no_memory = false;  // selected, but its arrays could not be had
  void release() {
    if (eids) inv_util_free_pelm_eid(eids, count);
    free(deltas);
    free(intervals);
    eids = nullptr;
    deltas = intervals = nullptr;
  }
};

// Sends one list; true when anything could be sent to a driver.
bool poll_list(envmon_sensor_list* list, uint32_t mode, uint32_t driver, bool adjust, uint32_t scope) {
  if (!list) return false;
  if (adjust) envmon_drvif_adjust_sensors_for_platform(list->sensors, list->count, scope);
  envmon_drvif_poll_request(list->sensors, list->count, mode, driver);
  list->reg_state = poll_stamp(list->reg_state);
  return true;
}

template <typename Card>
bool poll_card(Card* card, uint32_t mode, uint32_t driver, bool adjust) {
  bool sent = false;
  if (card->temp_data.count) sent |= poll_list(&card->temp_data, mode, driver, adjust, ENVMON_SCOPE_RACK);
  if (card->voltage_data.sensors)
    sent |= poll_list(&card->voltage_data, mode, driver, adjust, ENVMON_SCOPE_RACK);
  if (card->current_data.sensors)
    sent |= poll_list(&card->current_data, mode, driver, adjust, ENVMON_SCOPE_RACK);
  return sent;
}

}  // namespace

extern "C" {

void envmon_drvif_poll_request(envmon_sensor_info* sensors, uint16_t n, uint32_t mode,
                               uint32_t driver) {
  static constexpr char kFunc[] = "envmon_drvif_poll_request";
  if (!sensors || n == 0) return;
  std::array<DriverRequest, ENVMON_DRVIF_MAX> req{};
  auto selected = [&](uint32_t d) {
    return (driver == ENVMON_DRV_ALL || d == driver) && connected(d);
  };
  // Counting pass, then one allocation per driver.
  for (uint16_t i = 0; i < n; ++i)
    if (driver_ok(sensors[i].driver_ownership)) ++req[sensors[i].driver_ownership].count;
  for (uint32_t d = 0; d < ENVMON_DRVIF_MAX; ++d) {
    DriverRequest& r = req[d];
    if (!selected(d) || r.count == 0) continue;
    r.eids = inv_util_alloc_pelm_eid(r.count);
    r.deltas = static_cast<uint32_t*>(calloc(r.count, sizeof(uint32_t)));
    r.intervals = static_cast<uint32_t*>(calloc(r.count, sizeof(uint32_t)));
    if (!r.eids || !r.deltas || !r.intervals) {
      tlg_internal(err_tlg_cmn_hdl, kNoMemory, kFunc, static_cast<int>(d));
      r.release();
      r.no_memory = true;
      continue;
    }
    r.prepared = true;
  }
  // Filling pass, in the order of the input.
  for (uint16_t i = 0; i < n; ++i) {
    envmon_sensor_info& s = sensors[i];
    const uint32_t d = s.driver_ownership;
    if (!driver_ok(d)) continue;
    DriverRequest& r = req[d];
    // Without memory now, the state machine asks again while retries last.
    if (r.no_memory) s.state = poll_stamp(s.state);
    if (!r.prepared) continue;
    inv_util_copy_pelm_eid_to_pelm_eid(&s.eid, &r.eids[r.filled]);
    r.deltas[r.filled] = envmon_hal_ok_to_poll_sensor(&s) == 1 ? static_cast<uint32_t>(s.delta) : 0;
    r.intervals[r.filled] = static_cast<uint32_t>(s.update_rate);
    ++r.filled;
    s.state = poll_stamp(s.state);
  }
  for (uint32_t d = 0; d < ENVMON_DRVIF_MAX; ++d) {
    DriverRequest& r = req[d];
    if (!r.prepared) continue;
    drvif_eid_config_polling_req msg{};
    msg.op = mode;
    msg.eid = r.eids;
    msg.eid_count = r.filled;
    msg.delta = r.deltas;
    msg.delta_count = r.filled;
    msg.interval = r.intervals;
    msg.interval_count = r.filled;
    msg.present = 0xf;
    const int rc = drvif_eid_config_polling(envmon_drvif_driver_table[d], &msg, d);
    if (rc != 0)
      tlg_internal(err_tlg_cmn_hdl, kSendFailed, kFunc, static_cast<int>(d), rc);
    else
      count(kPollReq, r.filled);
    r.release();
  }
}

void envmon_drvif_adjust_sensors_for_platform(envmon_sensor_info* sensors, uint16_t n,
                                              uint32_t scope) {
  tlg_internal(info_tlg_cmn_hdl, kAdjust, static_cast<unsigned>(n), static_cast<int>(scope));
  if (!sensors || !tolsek_platform()) return;
  // The first report of each sensor is then compared against the down state.
  for (uint16_t i = 0; i < n; ++i) sensors[i].hw_state = 2;
}

void envmon_drvif_rm_poll_all_sensors(uint32_t driver, uint32_t mode) {
  envmon_rm_t* rm = envmon_rm;
  if (!rm) return;
  bool sent = false;
  if (rm->temp_data.count) sent |= poll_list(&rm->temp_data, mode, driver, true, ENVMON_SCOPE_RACK);
  if (envmon_hal_are_fc_managed_remotely() && rm->fc_cb)
    for (uint32_t i = 0; i < envmon_hal_get_max_fc(); ++i) sent |= poll_card(&rm->fc_cb[i], mode, driver, true);
  if (envmon_hal_are_lc_managed_remotely() && rm->lc_cb)
    for (uint32_t i = 0; i < envmon_hal_get_max_lc(); ++i)
      sent |= poll_card(&rm->lc_cb[i], mode, ENVMON_DRV_ALL, false);
  if (envmon_hal_are_sw_managed_remotely() && rm->sw_cb)
    for (uint32_t i = 0; i < envmon_hal_get_max_swc(); ++i)
      sent |= poll_card(&rm->sw_cb[i], mode, ENVMON_DRV_ALL, true);
  if (sent) envmon_ceb_fsa_sched_event(ENVMON_CEB_EV_REG_REQ);
}

void envmon_drvif_nm_poll_all_sensors(uint32_t driver, uint32_t mode) {
  envmon_nm_t* nm = envmon_nm;
  if (!nm) return;
  bool temp_sent = false;
  if (nm->temp_data.count) temp_sent = poll_list(&nm->temp_data, mode, driver, true, ENVMON_SCOPE_NODE);
  if (nm->voltage_data.count) poll_list(&nm->voltage_data, mode, driver, true, ENVMON_SCOPE_NODE);
  if (nm->current_data.count) poll_list(&nm->current_data, mode, driver, true, ENVMON_SCOPE_NODE);
  if (temp_sent) envmon_ceb_fsa_sched_event(ENVMON_CEB_EV_REG_REQ);
  // The port adapters keep their own polling state.
  for (uint32_t i = 0; nm->mpa && i < nm->max_mpa; ++i)
    envmon_mpa_start_stop_sensor_polling(static_cast<uint8_t>(i),
                                         (nm->mpa[i].temp_data.reg_state & ENVMON_ST_POLL_PENDING)
                                             ? ENVMON_POLL_START
                                             : ENVMON_POLL_STOP);
}

void envmon_drvif_resp_eid_config_polling_cb(struct drvif_handle* handle,
                                             const struct drvif_eid_ack_resp* msg, uint8_t,
                                             int32_t status, uint64_t) {
  static constexpr char kFunc[] = "envmon_drvif_resp_eid_config_polling_cb";
  const uint32_t index = envmon_drvif_get_driver_index(handle);
  if (index == ENVMON_DRV_ALL) {
    tlg_internal(err_tlg_cmn_hdl, kBadHandle, kFunc, static_cast<int>(index), static_cast<void*>(handle));
    return;
  }
  if (status != 0 || !msg) {
    tlg_internal(err_tlg_cmn_hdl, kRespError, kFunc, static_cast<unsigned>(status));
    return;
  }
  // An answer with fewer acks than ids covers only the ids it has acks for.
  const uint32_t n = (msg->eid && msg->ack) ? std::min(msg->eid_count, msg->ack_count) : 0;
  for (uint32_t i = 0; i < n; ++i) {
    envmon_acq::OwnedEid copy;
    uint32_t scope = ENVMON_SCOPE_RACK;
    if (!copy_own_slot(&msg->eid[i], &copy.eid, &scope)) continue;
    envmon_sensor_info* s = nullptr;
    const envmon_err_t rc = envmon_util_get_sensor_info(&copy.eid, &s, scope);
    if (rc != ENVMON_OK || !s) {
      tlg_internal(err_tlg_cmn_hdl, kNotFound, kFunc, EidText(&copy.eid).text, static_cast<int>(index),
                   static_cast<int>(rc));
      continue;
    }
    const uint32_t ack = msg->ack[i];
    if (ack == 0) {
      s->state |= ENVMON_ST_POLL_DONE;
    } else if (ack_retryable(ack)) {
      tlg_internal(smil_tlg_cmn_hdl, kAckRetry, kFunc, static_cast<int>(ack), EidText(&copy.eid).text);
    } else {
      s->state &= ~static_cast<uint32_t>(ENVMON_ST_POLL_PENDING);
      tlg_internal(smil_tlg_cmn_hdl, kAckError, kFunc, static_cast<int>(ack), EidText(&copy.eid).text);
    }
  }
}

}  // extern "C"

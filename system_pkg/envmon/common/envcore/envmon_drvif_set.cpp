// Writes to the platform drivers: sensor values (fan speeds), their
// acknowledgements, shutting a slot and the rack number.
#include <stdlib.h>

#include <memory>

#include <algorithm>

#include "envmon.h"
#include "envmon_drvif_private.h"

using namespace envmon_drvif;
using envmon_acq::EidText;

namespace {

constexpr char kNotConnected[] = "%s(): Failed to set sensor with driver %ddrvif not connected\n";
constexpr char kCallocFailed[] = "%s(): calloc failed with sizeof(%d)\n";
constexpr char kSetting[] = "%s(): setting sensor EID = %s value %d with driver %d\n";
constexpr char kSendFailed[] = "%s(): Failed to update sensor with driver %d, capi error rc = %d\n";
constexpr char kFlowCtrl[] = "%s(): Flow-ctrl hit, exit process\n";
constexpr char kBadHandle[] = "%s(): error getting driver %d for hdl %p\n\n";
constexpr char kBadHandleAux[] = "error getting driver %d for hdl %p\n\n";
constexpr char kRespError[] = "%s(): error getting resp for set sensor info, err: %u\n";
constexpr char kRespErrorAux[] = "error getting resp for set sensor info, err: %u\n";
constexpr char kAck[] = "%s(): ack[%d]: %d\n";
constexpr char kAckAux[] = "%s(): ack[%d]: %d slot %d\n";
constexpr char kNotFound[] = "%s(): Cannot find sensor info EID = %s  rc=%d\n";
constexpr char kNotFoundAux[] = "Cannot find sensor info EID = %s  rc=%d\n";
constexpr char kAckRetry[] = "%s(): Ack Retry=%d, EID=%s\n";
constexpr char kAckError[] = "%s(): Ack Error=%d, EID=%s\n";
constexpr char kNoShutDriver[] = "DRVIF connection to server is not established\n";
constexpr char kShutFailed[] = "Could not shut slot %d\n";
constexpr char kRackNum[] = "%s: rack num %X, drvif_driver %d, rc 0x%x\n";

constexpr int kExitFlowControl = 3;

struct Entries {
  drvif_set_sensor_rec* p = nullptr;
  uint32_t n = 0;
  ~Entries() {
    for (uint32_t i = 0; p && i < n; ++i) envmon_free_tsi(&p[i].eid);
    free(p);
  }
};

// Steps 1-5 of a set request; the send result, or 1 when nothing was sent.
int set_sensors(pelm_eid* const* sensors, const uint32_t* values, const uint32_t* kinds,
                uint32_t driver, uint32_t count_, bool auxiliary, const char* func) {
  if (!connected(driver)) {
    tlg_internal(err_tlg_cmn_hdl, kNotConnected, func, static_cast<int>(driver));
    return 1;
  }
  if (!sensors || !values || !kinds || count_ == 0) return 1;
  Entries e;
  e.p = static_cast<drvif_set_sensor_rec*>(calloc(count_, sizeof(drvif_set_sensor_rec)));
  if (!e.p) {
    tlg_internal(err_tlg_cmn_hdl, kCallocFailed, func,
                 static_cast<int>(count_ * sizeof(drvif_set_sensor_rec)));
    return 1;
  }
  e.n = count_;
  for (uint32_t i = 0; i < count_; ++i) {
    if (sensors[i]) inv_util_copy_pelm_eid_to_pelm_eid(sensors[i], &e.p[i].eid);
    e.p[i].value = values[i];
    e.p[i].kind = kinds[i];
    e.p[i].word4 = 0;
    e.p[i].word5 = 0;
    e.p[i].present = 0x1 | 0x4 | 0x8 | 0x10 | 0x20;
    tlg_internal(main_tlg_cmn_hdl, kSetting, func, EidText(&e.p[i].eid).text, static_cast<int>(values[i]),
                 static_cast<int>(driver));
  }
  drvif_set_sensor_req req{e.p, count_, 1};
  drvif_handle_t* h = envmon_drvif_driver_table[driver];
  const int rc = auxiliary ? drvif_set_auxiliary_sensor_info(h, &req, 0) : drvif_set_sensor_info(h, &req, 0);
  if (rc != 0)
    tlg_internal(err_tlg_cmn_hdl, kSendFailed, func, static_cast<int>(driver), rc);
  else
    count(kSetSensorReq);
  return rc;
}

struct AckTexts {
  const char* bad_handle;
  const char* resp_error;
  const char* not_found;
  bool aux;
};

void ack_cb(struct drvif_handle* handle, const drvif_eid_ack_resp* msg, int32_t status,
            const char* func, const AckTexts& t) {
  const uint32_t index = envmon_drvif_get_driver_index(handle);
  if (index == ENVMON_DRV_ALL) {
    if (t.aux)
      tlg_internal(err_tlg_cmn_hdl, t.bad_handle, static_cast<int>(index), static_cast<void*>(handle));
    else
      tlg_internal(err_tlg_cmn_hdl, t.bad_handle, func, static_cast<int>(index), static_cast<void*>(handle));
    return;
  }
  if (status != 0 || !msg) {
    if (t.aux)
      tlg_internal(err_tlg_cmn_hdl, t.resp_error, static_cast<unsigned>(status));
    else
      tlg_internal(err_tlg_cmn_hdl, t.resp_error, func, static_cast<unsigned>(status));
    return;
  }
  const uint32_t n = (msg->eid && msg->ack) ? std::min(msg->eid_count, msg->ack_count) : 0;
  for (uint32_t i = 0; i < n; ++i) {
    const pelm_eid& eid = msg->eid[i];
    const uint32_t ack = msg->ack[i];
    if (t.aux)
      tlg_internal(main_tlg_cmn_hdl, kAckAux, func, static_cast<int>(i), static_cast<int>(ack),
                   static_cast<int>(eid.slot));
    else
      tlg_internal(main_tlg_cmn_hdl, kAck, func, static_cast<int>(i), static_cast<int>(ack));
    // The id is looked up as received, in the scope its slot gives.
    const uint32_t scope =
        envmon_nm && eid.slot == envmon_nm->slot_num ? ENVMON_SCOPE_NODE : ENVMON_SCOPE_RACK;
    envmon_sensor_info* s = nullptr;
    const envmon_err_t rc = envmon_util_get_sensor_info(&eid, &s, scope);
    if (rc != ENVMON_OK || !s) {
      if (t.aux)
        tlg_internal(err_tlg_cmn_hdl, t.not_found, EidText(&eid).text, static_cast<int>(rc));
      else
        tlg_internal(err_tlg_cmn_hdl, t.not_found, func, EidText(&eid).text, static_cast<int>(rc));
      continue;
    }
    if (ack == 0) {
      s->state |= ENVMON_ST_SET_DONE;
    } else if (ack_retryable(ack)) {
      tlg_internal(smil_tlg_cmn_hdl, kAckRetry, func, static_cast<int>(ack), EidText(&eid).text);
    } else {
      s->state &= ~static_cast<uint32_t>(ENVMON_ST_SET_PENDING);
      tlg_internal(smil_tlg_cmn_hdl, kAckError, func, static_cast<int>(ack), EidText(&eid).text);
    }
  }
}

}  // namespace

extern "C" {

void envmon_drvif_set_bulk_sensor_data(pelm_eid* const* sensors, const uint32_t* values,
                                       const uint32_t* kinds, uint32_t driver, uint32_t count_) {
  static constexpr char kFunc[] = "envmon_drvif_set_bulk_sensor_data";
  const int rc = set_sensors(sensors, values, kinds, driver, count_, false, kFunc);
  if (rc == DRVIF_ERR_FLOW_CONTROL) {
    // The driver cannot take fan settings: the process is restarted rather
    // than left with fans it cannot control.
    tlg_internal(err_tlg_cmn_hdl, kFlowCtrl, kFunc);
    exit(kExitFlowControl);
  }
}

void envmon_drvif_set_aux_bulk_sensor_data(pelm_eid* const* sensors, const uint32_t* values,
                                           const uint32_t* kinds, uint32_t driver, uint32_t count_) {
  set_sensors(sensors, values, kinds, driver, count_, true, "envmon_drvif_set_aux_bulk_sensor_data");
}

void envmon_drvif_resp_set_sensor_info_cb(struct drvif_handle* handle, const struct drvif_eid_ack_resp* msg,
                                          uint8_t, int32_t status, uint64_t) {
  ack_cb(handle, msg, status, "envmon_drvif_resp_set_sensor_info_cb",
         {kBadHandle, kRespError, kNotFound, false});
}

void envmon_drvif_resp_set_aux_sensor_info_cb(struct drvif_handle* handle,
                                              const struct drvif_eid_ack_resp* msg, uint8_t,
                                              int32_t status, uint64_t) {
  ack_cb(handle, msg, status, "envmon_drvif_resp_set_aux_sensor_info_cb",
         {kBadHandleAux, kRespErrorAux, kNotFoundAux, true});
}

int32_t envmon_drvif_shut_slot_req(uint32_t slot) {
  int32_t rc = -1;
  drvif_shut_slot_req req{slot, 1};
  if (connected(ENVMON_DRV_SLOT_SHUT))
    rc = drvif_set_shut_slot_info(envmon_drvif_driver_table[ENVMON_DRV_SLOT_SHUT], &req, ENVMON_DRV_SLOT_SHUT);
  else
    tlg_internal(err_tlg_cmn_hdl, kNoShutDriver);
  if (rc != 0) tlg_internal(err_tlg_cmn_hdl, kShutFailed, static_cast<int>(slot));
  return rc;
}

void envmon_drvif_send_rack_num_to_driver(uint32_t driver, uint32_t rack) {
  static constexpr char kFunc[] = "envmon_drvif_send_rack_num_to_driver";
  drvif_handle_t* h = get_drvif_driver_handler(driver);
  if (!driver_ok(driver) || !h) return;
  drvif_rack_num_req req{rack, 1};
  const int rc = drvif_send_rack_num(h, &req);
  tlg_internal(main_tlg_cmn_hdl, kRackNum, kFunc, rack, static_cast<int>(driver), static_cast<unsigned>(rc));
  envmon_debug_log(kRackNum, kFunc, rack, static_cast<int>(driver), static_cast<unsigned>(rc));
}

}  // extern "C"

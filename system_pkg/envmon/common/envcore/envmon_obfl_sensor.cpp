// Failure-log sensor records: which sensors are marked, their values in the
// units the OBFL manager keeps, single records until the first of a kind is
// confirmed for an entity and bulk records after it, and the booking of the
// answers.
#include <stdlib.h>

#include <cstdlib>
#include <memory>

#include "envmon.h"
#include "envmon_obfl_private.h"

using namespace envmon_obfl;

namespace {

constexpr int32_t kNeverLogged = 0xffffff;
constexpr int32_t kTempMarkDelta = 2;

constexpr char kLogFailed[] =
    "%s: %s obfl_mgr_log_env_sensor_info failed for sensor_type %d in slot %d, rc 0x%x\n";
constexpr char kLogSent[] = "%s: %s obfl_mgr_log_env_sensor_info for one sensor with type %d in slot %d \n";
constexpr char kInvalidType[] = "%s : invallid sensor type %d\n";
constexpr char kCallocIds[] = "%s : calloc failed for sensor_id\n";
constexpr char kCallocAdjust[] = "%s : calloc failed for adjust_type\n";
constexpr char kCallocValue[] = "%s : calloc failed for value\n";
constexpr char kCallocScale[] = "%s : calloc failed for scale\n";
constexpr char kCollected[] =
    "%s: %s sensor with type %d in slot %d - name %s, value %d, scale %d, precision %d, obfl_value "
    "%d, id %d\n";
constexpr char kBulkFailed[] =
    "%s: %s obfl_mgr_log_bulk_env_sensor_info failed for sensor_type %d in slot %d, rc 0x%x\n";
constexpr char kBulkSent[] = "%s: %s obfl_mgr_log_bulk_env_sensor_info for %d sensors of type %d in slot %d %s\n";
constexpr char kAnswerCapi[] = "%s for %s user_context %d: CAPI returned error %u\n";
constexpr char kAnswer[] =
    "%s for %s user_context %d: client_id 0x%x, sensor type %d, msn %d, err_code %ld[%s]\n";
constexpr char kBulkAnswer[] =
    "%s for %s user_context %d: client_id 0x%x, sensor type %d, msn %d, err_code %ld[%s], "
    "sensor_log_err_code %ld[%s]\n";

struct FreeDeleter {
  void operator()(void* p) const { free(p); }
};
template <typename T>
using CArray = std::unique_ptr<T[], FreeDeleter>;
template <typename T>
CArray<T> calloc_array(size_t n) {
  return CArray<T>(static_cast<T*>(calloc(n, sizeof(T))));
}

// The entity of a failed answer is to be asked again by the state machine:
// set the kind's re-send bit and reload the retries, where the entity is
// there to be asked.
void mark_resend(uint32_t scope, uint32_t slot, uint32_t kind) {
  KindBits b{};
  if (!kind_bits(kind, &b)) return;
  uint32_t* w = entity_word(scope, scope == ENVMON_SCOPE_RACK ? slot : own_slot());
  if (!w) return;
  *w |= b.resend;
  if (scope != ENVMON_SCOPE_RACK) {
    *w |= kRetryReload;
    return;
  }
  uint32_t i = 0;
  envmon_rm_t* rm = envmon_rm;
  if (envmon_is_fantray_slot(slot, &i)) {
    const envmon_pwr_mgmt_data_t* pm = rm->pwr_mgmt_data;
    if (pm && pm->fantray_pbudget && pm->fantray_pbudget[i].status == ENVMON_PWR_ON)
      *w |= kRetryReload;
  } else if (envmon_is_fc_slot(slot, &i) || envmon_is_sw_slot(slot, &i)) {
    if (*w & ENVMON_OBFL_CARD_PRESENT) *w |= kRetryReload;
  } else if (envmon_hal_are_lc_managed_remotely()) {
    *w |= kRetryReload;
  }
}

void log_sensor_done_chk(uint32_t scope, const obfl_log_sensor_resp* resp, uint32_t status,
                         uint32_t slot) {
  static constexpr char kFunc[] = "envmon_obfl_log_env_sensor_info_done_chk";
  const char* who = scope_name(scope);
  if (status != 0 || !resp) {
    tlg_internal(err_tlg_cmn_hdl, kAnswerCapi, kFunc, who, static_cast<int>(slot), status);
    return;
  }
  if (resp->err_code == 0) {
    if (scope == ENVMON_SCOPE_RACK)
      tlg_internal(obfl_tlg_cmn_hdl, kAnswer, kFunc, who, static_cast<int>(slot), resp->client_id,
                   static_cast<int>(resp->sensor_type), static_cast<int>(resp->msn), 0L,
                   envmon_obfl_err_to_str(0));
    envmon_obfl_sensor_type_done(slot, scope, resp->sensor_type, resp->msn);
    return;
  }
  tlg_internal(err_tlg_cmn_hdl, kAnswer, kFunc, who, static_cast<int>(slot), resp->client_id,
               static_cast<int>(resp->sensor_type), static_cast<int>(resp->msn),
               static_cast<long>(resp->err_code), envmon_obfl_err_to_str(resp->err_code));
  if (resp->err_code == kNoDeviceConnected) mark_resend(scope, slot, resp->sensor_type);
}

void log_bulk_done_chk(uint32_t scope, const obfl_log_bulk_sensor_resp* resp, uint32_t status,
                       uint32_t slot) {
  static constexpr char kFunc[] = "envmon_obfl_log_bulk_env_sensor_info_done_chk";
  const char* who = scope_name(scope);
  if (status != 0 || !resp) {
    tlg_internal(err_tlg_cmn_hdl, kAnswerCapi, kFunc, who, static_cast<int>(slot), status);
    return;
  }
  uint64_t sensor_err = 0;
  for (uint32_t i = 0; resp->sensor_err && i < resp->sensor_err_count; ++i) {
    const uint64_t e = resp->sensor_err[i];
    if (e != 0 && e != kNoUpdateNeeded) {
      sensor_err = e;
      break;
    }
  }
  if (resp->err_code == 0 && sensor_err == 0) {
    if (scope == ENVMON_SCOPE_RACK)
      tlg_internal(obfl_tlg_cmn_hdl, kAnswer, kFunc, who, static_cast<int>(slot), resp->client_id,
                   static_cast<int>(resp->sensor_type), static_cast<int>(resp->msn), 0L,
                   envmon_obfl_err_to_str(0));
    envmon_obfl_sensor_type_done(slot, scope, resp->sensor_type, resp->msn);
    return;
  }
  tlg_internal(err_tlg_cmn_hdl, kBulkAnswer, kFunc, who, static_cast<int>(slot), resp->client_id,
               static_cast<int>(resp->sensor_type), static_cast<int>(resp->msn),
               static_cast<long>(resp->err_code), envmon_obfl_err_to_str(resp->err_code),
               static_cast<long>(sensor_err), envmon_obfl_err_to_str(sensor_err));
  if (resp->err_code == kNoDeviceConnected || sensor_err != 0)
    mark_resend(scope, slot, resp->sensor_type);
}

void rm_log_done(obfl_mgr_handle_t*, const obfl_log_sensor_resp* r, uint32_t s, uint32_t ctx) {
  log_sensor_done_chk(ENVMON_SCOPE_RACK, r, s, ctx);
}
void nm_log_done(obfl_mgr_handle_t*, const obfl_log_sensor_resp* r, uint32_t s, uint32_t ctx) {
  log_sensor_done_chk(ENVMON_SCOPE_NODE, r, s, ctx);
}
void rm_bulk_done(obfl_mgr_handle_t*, const obfl_log_bulk_sensor_resp* r, uint32_t s, uint32_t ctx) {
  log_bulk_done_chk(ENVMON_SCOPE_RACK, r, s, ctx);
}
void nm_bulk_done(obfl_mgr_handle_t*, const obfl_log_bulk_sensor_resp* r, uint32_t s, uint32_t ctx) {
  log_bulk_done_chk(ENVMON_SCOPE_NODE, r, s, ctx);
}

}  // namespace

namespace envmon_obfl {

void set_record_callbacks(obfl_mgr_handle_t* h, uint32_t scope) {
  const bool rack = scope == ENVMON_SCOPE_RACK;
  obfl_mgr_set_log_env_sensor_info_done_callback(h, rack ? rm_log_done : nm_log_done);
  obfl_mgr_set_log_bulk_env_sensor_info_done_callback(h, rack ? rm_bulk_done : nm_bulk_done);
  set_threshold_callbacks(h, scope);
}

}  // namespace envmon_obfl

extern "C" {

void envmon_obfl_set_state(envmon_sensor_info* sensor, int32_t kind) {
  if (!sensor || sensor->obfl_log_disabled == 1) return;
  switch (kind) {
    case ENVMON_OBFL_KIND_VOLT:
    case ENVMON_OBFL_KIND_CURR:
      // Every change of a voltage or current is logged (current thresholds
      // are written as well, and a current never marked would never be).
      sensor->state |= ENVMON_ST_OBFL_PENDING;
      break;
    case ENVMON_OBFL_KIND_TEMP: {
      const int32_t v = envmon_obfl_scale_value(sensor, ENVMON_OBFL_KIND_TEMP);
      const int64_t moved = std::llabs(static_cast<int64_t>(v) - sensor->obfl_last_value);
      if (sensor->obfl_last_value == kNeverLogged || moved >= kTempMarkDelta)
        sensor->state |= ENVMON_ST_OBFL_PENDING;
      break;
    }
    default:
      break;
  }
}

int32_t envmon_obfl_scale_value(const envmon_sensor_info* sensor, uint32_t kind) {
  if (!sensor) return 0;
  // 32-bit arithmetic as the OBFL manager keeps it: wider intermediates, the
  // result cut back to 32 bits; divisions truncate toward zero.
  int64_t v = sensor->value;
  if (kind < ENVMON_OBFL_KIND_TEMP || kind > ENVMON_OBFL_KIND_CURR) return sensor->value;
  if (kind == ENVMON_OBFL_KIND_TEMP) {
    if (sensor->scale == ENVMON_SCALE_MILLI) v /= 1000;
  } else if (sensor->scale == ENVMON_SCALE_UNITS) {
    v = static_cast<int32_t>(v * 1000);
  }
  if (sensor->precision == 3) v /= 1000;
  return static_cast<int32_t>(v);
}

void envmon_obfl_log_sensor_info(envmon_sensor_info* sensor, uint32_t scope, uint32_t kind,
                                 uint32_t sensor_id, bool resend, bool first_confirmed) {
  static constexpr char kFunc[] = "envmon_obfl_log_sensor_info";
  if (!sensor) return;
  const uint32_t slot = scope == ENVMON_SCOPE_RACK ? sensor->eid.slot : own_slot();
  const uint32_t client = envmon_obfl_get_client_id(scope, slot, ENVMON_OBFL_SVC_SENSOR);
  if (client == 0) return;
  obfl_log_sensor_req req{};
  fill_header(&req, slot);
  req.client_id = client;
  req.flag = 0;
  req.msn = ++envmon_obfl_msn;
  req.sensor_type = kind;
  req.sensor_id = sensor_id;
  req.value = envmon_obfl_scale_value(sensor, kind);
  sensor->obfl_last_value = req.value;
  sensor->obfl_seq_num = static_cast<int32_t>(envmon_obfl_msn);
  ++envmon_obfl_msn;
  req.scale = static_cast<int32_t>(sensor->scale);
  req.adjust_type = static_cast<int32_t>(sensor->precision);
  for (unsigned b = 4; b <= 11; ++b) set_bit(req.present, b);
  obfl_mgr_handle_t* h = handle_of(scope);
  const int rc = h ? obfl_mgr_log_env_sensor_info(h, &req, slot) : -1;
  envmon_free_tsi(&req.eid);
  if (rc != 0) {
    tlg_internal(err_tlg_cmn_hdl, kLogFailed, kFunc, scope_name(scope), static_cast<int>(kind),
                 static_cast<int>(slot), static_cast<unsigned>(rc));
    return;
  }
  if (!resend && first_confirmed) sensor->state &= ~static_cast<uint32_t>(ENVMON_ST_OBFL_PENDING);
  sensor->state |= ENVMON_ST_OBFL_UNCONFIRMED;
  tlg_internal(info_tlg_cmn_hdl, kLogSent, kFunc, scope_name(scope), static_cast<int>(kind),
               static_cast<int>(slot));
}

void envmon_obfl_log_bulk_sensor_info(envmon_sensor_info* sensors, uint16_t count, uint32_t kind,
                                      uint32_t slot, uint32_t scope, bool resend) {
  static constexpr char kFunc[] = "envmon_obfl_log_bulk_sensor_info";
  const uint32_t client = envmon_obfl_get_client_id(scope, slot, ENVMON_OBFL_SVC_SENSOR);
  if (client == 0 || count == 0 || !sensors) return;
  KindBits b{};
  if (!kind_bits(kind, &b)) {
    tlg_internal(err_tlg_cmn_hdl, kInvalidType, kFunc, static_cast<int>(kind));
    return;
  }
  const uint32_t* w = entity_word(scope, slot);
  if (!w || (*w & (b.not_written | b.thr_pending))) return;
  const bool first = (*w & b.first_ok) != 0;

  CArray<uint32_t> ids;
  CArray<int32_t> adjust, values, scales;
  uint32_t n = 0;
  int32_t first_collected = -1;
  const bool rack = scope == ENVMON_SCOPE_RACK;
  for (uint16_t i = 0; i < count; ++i) {
    envmon_sensor_info& s = sensors[i];
    if (!(s.state & (ENVMON_ST_OBFL_PENDING | ENVMON_ST_OBFL_UNCONFIRMED))) continue;
    if (n == 0) {
      ids = calloc_array<uint32_t>(count);
      adjust = calloc_array<int32_t>(count);
      values = calloc_array<int32_t>(count);
      scales = calloc_array<int32_t>(count);
      const char* failed = !ids ? kCallocIds : !adjust ? kCallocAdjust : !values ? kCallocValue
                                              : !scales ? kCallocScale : nullptr;
      if (failed) {
        tlg_internal(err_tlg_cmn_hdl, failed, kFunc);
        return;
      }
      first_collected = i;
    }
    ids[n] = i;
    values[n] = envmon_obfl_scale_value(&s, kind);
    s.obfl_last_value = values[n];
    s.obfl_seq_num = static_cast<int32_t>(envmon_obfl_msn);
    adjust[n] = static_cast<int32_t>(s.precision);
    scales[n] = static_cast<int32_t>(s.scale);
    tlg_internal(rack ? obfl_tlg_cmn_hdl : info_tlg_cmn_hdl, kCollected, kFunc, scope_name(scope),
                 static_cast<int>(kind), static_cast<int>(slot), s.name, s.value,
                 static_cast<int>(s.scale), static_cast<int>(s.precision), values[n],
                 static_cast<int>(i));
    ++n;
  }
  if (n == 0) return;
  if (n == 1) {
    envmon_obfl_log_sensor_info(&sensors[first_collected], scope, kind,
                                static_cast<uint32_t>(first_collected), resend, first);
    return;
  }
  if (!resend && !first) {
    // Until the manager confirms a first record of this kind for the entity,
    // one record at a time: the one sent and unconfirmed again, else the first.
    for (uint16_t i = 0; i < count; ++i) {
      if (sensors[i].state & ENVMON_ST_OBFL_UNCONFIRMED) {
        envmon_obfl_log_sensor_info(&sensors[i], scope, kind, i, true, first);
        return;
      }
    }
    envmon_obfl_log_sensor_info(&sensors[first_collected], scope, kind,
                                static_cast<uint32_t>(first_collected), resend, first);
    return;
  }
  obfl_log_bulk_sensor_req req{};
  fill_header(&req, slot);
  req.client_id = client;
  req.flag = 0;
  req.msn = envmon_obfl_msn++;
  req.sensor_type = kind;
  req.count = n;
  req.sensor_ids = ids.get();
  req.adjust_types = adjust.get();
  req.values = values.get();
  req.scales = scales.get();
  for (unsigned bit = 4; bit <= 12; ++bit) set_bit(req.present, bit);
  obfl_mgr_handle_t* h = handle_of(scope);
  const int rc = h ? obfl_mgr_log_bulk_env_sensor_info(h, &req, slot) : -1;
  envmon_free_tsi(&req.eid);
  if (rc != 0) {
    tlg_internal(err_tlg_cmn_hdl, kBulkFailed, kFunc, scope_name(scope), static_cast<int>(kind),
                 static_cast<int>(slot), static_cast<unsigned>(rc));
    return;
  }
  for (uint16_t i = 0; i < count; ++i) {
    if (sensors[i].state & ENVMON_ST_OBFL_PENDING) {
      sensors[i].state &= ~static_cast<uint32_t>(ENVMON_ST_OBFL_PENDING);
      sensors[i].state |= ENVMON_ST_OBFL_UNCONFIRMED;
    }
  }
  tlg_internal(rack ? obfl_tlg_cmn_hdl : info_tlg_cmn_hdl, kBulkSent, kFunc, scope_name(scope),
               static_cast<int>(n), static_cast<int>(kind), static_cast<int>(slot),
               resend ? "re-sent" : "");
}

void envmon_obfl_nm_log_all(uint32_t retry) {
  if (!envmon_nm) return;
  const uint32_t slot = own_slot();
  envmon_obfl_log_bulk_sensor_info(envmon_nm->temp_data.sensors, envmon_nm->temp_data.count,
                                   ENVMON_OBFL_KIND_TEMP, slot, ENVMON_SCOPE_NODE, retry != 0);
  envmon_obfl_log_bulk_sensor_info(envmon_nm->voltage_data.sensors, envmon_nm->voltage_data.count,
                                   ENVMON_OBFL_KIND_VOLT, slot, ENVMON_SCOPE_NODE, retry != 0);
  envmon_obfl_log_bulk_sensor_info(envmon_nm->current_data.sensors, envmon_nm->current_data.count,
                                   ENVMON_OBFL_KIND_CURR, slot, ENVMON_SCOPE_NODE, retry != 0);
}

void envmon_obfl_rm_log_all(uint32_t slot, uint32_t retry) {
  if (slot == 0 || !envmon_rm) return;
  const bool resend = retry != 0;
  uint32_t i = 0;
  if (envmon_is_fantray_slot(slot, &i)) {
    fantray_cb& ft = envmon_rm->fantray_cb[i];
    envmon_obfl_log_bulk_sensor_info(ft.temp_data.sensors, ft.temp_data.count, ENVMON_OBFL_KIND_TEMP,
                                     slot, ENVMON_SCOPE_RACK, resend);
    envmon_obfl_log_bulk_sensor_info(ft.voltage_data.sensors, ft.voltage_data.count,
                                     ENVMON_OBFL_KIND_VOLT, slot, ENVMON_SCOPE_RACK, resend);
    return;
  }
  envmon_remote_card_cb* card = nullptr;
  if (envmon_is_fc_slot(slot, &i))
    card = &envmon_rm->fc_cb[i];
  else if (envmon_is_lc_slot(slot, &i))
    card = &envmon_rm->lc_cb[i];
  else if (envmon_is_sw_slot(slot, &i))
    card = &envmon_rm->sw_cb[i];
  if (!card) return;
  envmon_obfl_log_bulk_sensor_info(card->temp_data.sensors, card->temp_data.count,
                                   ENVMON_OBFL_KIND_TEMP, slot, ENVMON_SCOPE_RACK, resend);
  envmon_obfl_log_bulk_sensor_info(card->voltage_data.sensors, card->voltage_data.count,
                                   ENVMON_OBFL_KIND_VOLT, slot, ENVMON_SCOPE_RACK, resend);
  envmon_obfl_log_bulk_sensor_info(card->current_data.sensors, card->current_data.count,
                                   ENVMON_OBFL_KIND_CURR, slot, ENVMON_SCOPE_RACK, resend);
}

void envmon_obfl_sensor_type_done(uint32_t slot, uint32_t scope, uint32_t kind, uint32_t msn) {
  KindBits b{};
  if (!kind_bits(kind, &b)) return;
  const uint32_t entity_slot = scope == ENVMON_SCOPE_RACK ? slot : own_slot();
  uint32_t* w = entity_word(scope, entity_slot);
  if (!w) return;
  *w &= ~b.resend;
  bool first = false;
  if (!(*w & b.first_ok)) {
    *w |= b.first_ok;
    first = true;
  }
  envmon_sensor_info* sensors = nullptr;
  uint16_t count = 0;
  if (!entity_array(scope, entity_slot, kind, &sensors, &count)) return;
  if (first) {
    // Everything sent while probing goes out again, now in bulk.
    for (uint16_t i = 0; i < count; ++i) {
      if (sensors[i].state & ENVMON_ST_OBFL_UNCONFIRMED) {
        sensors[i].state |= ENVMON_ST_OBFL_PENDING;
        sensors[i].state &= ~static_cast<uint32_t>(ENVMON_ST_OBFL_UNCONFIRMED);
      }
    }
    envmon_obfl_log_bulk_sensor_info(sensors, count, kind, entity_slot, scope, false);
    return;
  }
  for (uint16_t i = 0; i < count; ++i) {
    if (static_cast<uint32_t>(sensors[i].obfl_seq_num) == msn) {
      sensors[i].state &= ~static_cast<uint32_t>(ENVMON_ST_OBFL_UNCONFIRMED);
      sensors[i].obfl_last_ack_ok_seq_num = static_cast<int32_t>(msn);
    }
  }
}

}  // extern "C"

// Failure-log threshold records: the sensor names of an entity announced to
// the OBFL manager per record kind, their answers, and the writing of all
// thresholds of an entity after its registration.
#include <stdlib.h>

#include <memory>

#include "envmon.h"
#include "envmon_obfl_private.h"

using namespace envmon_obfl;

namespace {

constexpr size_t kNameBuf = 50;

struct Kind {
  uint32_t kind;
  const char* func;
  const char* name;   // request name in traces
  int (*submit)(obfl_mgr_handle_t*, const obfl_write_thr_req*, uint32_t);
};

constexpr Kind kKinds[] = {
    {ENVMON_OBFL_KIND_TEMP, "envmon_obfl_write_env_temp_thresholds",
     "obfl_mgr_write_env_temp_thresholds", obfl_mgr_write_env_temp_thresholds},
    {ENVMON_OBFL_KIND_VOLT, "envmon_obfl_write_env_volt_thresholds",
     "obfl_mgr_write_env_volt_thresholds", obfl_mgr_write_env_volt_thresholds},
    {ENVMON_OBFL_KIND_CURR, "envmon_obfl_write_env_curr_thresholds",
     "obfl_mgr_write_env_current_thresholds", obfl_mgr_write_env_current_thresholds},
};

constexpr char kCallocIds[] = "%s : calloc failed for sensor_id\n";
constexpr char kCallocNames[] = "%s : calloc failed for sensor_name\n";
constexpr char kWriteFailed[] = "%s: %s %s for slot %d, rc 0x%x\n";
constexpr char kWrittenTrace[] = "%s: %s %sfor slot %d\n";
constexpr char kWrittenDbg[] = "%s: %s %s for slot %d\n";
constexpr char kAnswerCapi[] = "%s for %s user_context %d: CAPI returned error %u\n";
constexpr char kAnswer[] = "%s for %s user_context %d: client_id 0x%x, msn %d, err_code %ld[%s]\n";
constexpr char kRackOk[] = "%s: ok for slot %d\n";
constexpr char kNodeTempOk[] = "%s: status ok \n";
constexpr char kNodeOk[] = "%s: status ok\n";

void write_thresholds(const Kind& k, envmon_sensor_info* sensors, uint16_t count, uint32_t slot,
                      uint32_t scope, uint32_t resend) {
  if (count == 0 || !sensors) return;
  KindBits b{};
  kind_bits(k.kind, &b);
  const bool chassis = scope == ENVMON_SCOPE_RACK && slot == ENVMON_SLOT_SELF;
  const uint32_t client = envmon_obfl_get_client_id(scope, slot, ENVMON_OBFL_SVC_SENSOR);
  if (client == 0) {
    // Written once the entity's service is registered.
    if (scope != ENVMON_SCOPE_RACK) {
      if (envmon_nm) envmon_nm->misc_state |= b.not_written;
    } else if (chassis) {
      if (k.kind == ENVMON_OBFL_KIND_TEMP && envmon_rm) envmon_rm->obfl_flags |= ENVMON_RM_OBFL_THR_WRITE;
    } else if (uint32_t* w = envmon_rm_get_misc_state(slot)) {
      *w |= b.not_written;
    }
    return;
  }
  struct Names {
    char** p = nullptr;
    uint16_t n = 0;
    ~Names() {
      for (uint16_t i = 0; p && i < n; ++i) free(p[i]);
      free(p);
    }
  } names;
  std::unique_ptr<uint32_t, decltype(&free)> ids(static_cast<uint32_t*>(calloc(count, sizeof(uint32_t))),
                                                 &free);
  if (!ids) {
    tlg_internal(err_tlg_cmn_hdl, kCallocIds, k.func);
    return;
  }
  names.p = static_cast<char**>(calloc(count, sizeof(char*)));
  if (!names.p) {
    tlg_internal(err_tlg_cmn_hdl, kCallocNames, k.func);
    return;
  }
  names.n = count;
  for (uint16_t i = 0; i < count; ++i) {
    names.p[i] = static_cast<char*>(calloc(1, kNameBuf));
    if (!names.p[i]) {
      tlg_internal(err_tlg_cmn_hdl, kCallocNames, k.func);
      return;
    }
    envmon_acq::copy_text(names.p[i], kNameBuf, sensors[i].name);
    ids.get()[i] = i;
  }
  obfl_write_thr_req req{};
  fill_header(&req, slot);
  req.client_id = client;
  req.resend = static_cast<uint8_t>(resend);
  req.msn = envmon_obfl_msn++;
  req.field8 = 10;
  req.field9 = 100;
  req.field10 = 0;
  req.count = count;
  req.sensor_ids = ids.get();
  req.names = names.p;
  for (unsigned bit = 4; bit <= 12; ++bit) set_bit(req.present, bit);
  obfl_mgr_handle_t* h = handle_of(scope);
  const int rc = h ? k.submit(h, &req, slot) : -1;
  envmon_free_tsi(&req.eid);
  if (rc != 0) {
    tlg_internal(err_tlg_cmn_hdl, kWriteFailed, k.func, scope_name(scope), k.name,
                 static_cast<int>(slot), static_cast<unsigned>(rc));
    return;
  }
  if (chassis) {
    if (k.kind == ENVMON_OBFL_KIND_TEMP && envmon_rm)
      envmon_rm->obfl_flags &= ~static_cast<uint32_t>(ENVMON_RM_OBFL_THR_WRITE);
  } else if (uint32_t* w = scope == ENVMON_SCOPE_RACK ? envmon_rm_get_misc_state(slot)
                                                      : (envmon_nm ? &envmon_nm->misc_state : nullptr)) {
    *w = (*w & ~b.not_written) | kRetryReload | b.thr_pending;
  }
  tlg_internal(obfl_tlg_cmn_hdl, kWrittenTrace, k.func, scope_name(scope), k.name,
               static_cast<int>(slot));
  envmon_debug_log(kWrittenDbg, k.func, scope_name(scope), k.name, static_cast<int>(slot));
}

void thr_done_chk(uint32_t kind, uint32_t scope, const obfl_write_thr_resp* resp, uint32_t status,
                  uint32_t slot, const char* func) {
  const char* who = scope_name(scope);
  if (status != 0 || !resp) {
    tlg_internal(err_tlg_cmn_hdl, kAnswerCapi, func, who, static_cast<int>(slot), status);
    return;
  }
  tlg_internal(main_tlg_cmn_hdl, kAnswer, func, who, static_cast<int>(slot), resp->client_id,
               static_cast<int>(resp->msn), static_cast<long>(resp->err_code),
               envmon_obfl_err_to_str(resp->err_code));
  // No device yet: the state machine writes them again.
  if (resp->err_code == kNoDeviceConnected) return;
  KindBits b{};
  kind_bits(kind, &b);
  const uint32_t entity = scope == ENVMON_SCOPE_RACK ? slot : own_slot();
  if (uint32_t* w = entity_word(scope, entity)) *w &= ~(b.not_written | b.thr_pending);
  if (resp->err_code != 0) return;
  if (scope == ENVMON_SCOPE_RACK) {
    envmon_debug_log(kRackOk, func, static_cast<int>(slot));
    tlg_internal(main_tlg_cmn_hdl, kRackOk, func, static_cast<int>(slot));
  } else {
    envmon_debug_log(kind == ENVMON_OBFL_KIND_TEMP ? kNodeTempOk : kNodeOk, func);
  }
  envmon_sensor_info* sensors = nullptr;
  uint16_t count = 0;
  if (entity_array(scope, entity, kind, &sensors, &count))
    envmon_obfl_log_bulk_sensor_info(sensors, count, kind, entity, scope, false);
}

#define THR_DONE(fn, kind, scope)                                                            \
  void fn(obfl_mgr_handle_t*, const obfl_write_thr_resp* r, uint32_t s, uint32_t ctx) {      \
    thr_done_chk(kind, scope, r, s, ctx, #fn);                                                \
  }

}  // namespace

extern "C" {

THR_DONE(envmon_obfl_rm_write_env_temp_thresholds_done_cb, ENVMON_OBFL_KIND_TEMP, ENVMON_SCOPE_RACK)
THR_DONE(envmon_obfl_nm_write_env_temp_thresholds_done_cb, ENVMON_OBFL_KIND_TEMP, ENVMON_SCOPE_NODE)
THR_DONE(envmon_obfl_rm_write_env_volt_thresholds_done_cb, ENVMON_OBFL_KIND_VOLT, ENVMON_SCOPE_RACK)
THR_DONE(envmon_obfl_nm_write_env_volt_thresholds_done_cb, ENVMON_OBFL_KIND_VOLT, ENVMON_SCOPE_NODE)
THR_DONE(envmon_obfl_rm_write_env_current_thresholds_done_cb, ENVMON_OBFL_KIND_CURR, ENVMON_SCOPE_RACK)
THR_DONE(envmon_obfl_nm_write_env_current_thresholds_done_cb, ENVMON_OBFL_KIND_CURR, ENVMON_SCOPE_NODE)

void envmon_obfl_write_env_temp_thresholds(envmon_sensor_info* sensors, uint16_t count,
                                           uint32_t slot, uint32_t scope, uint32_t flag) {
  write_thresholds(kKinds[0], sensors, count, slot, scope, flag);
}

void envmon_obfl_write_env_volt_thresholds(envmon_sensor_info* sensors, uint16_t count,
                                           uint32_t slot, uint32_t scope, uint32_t flag) {
  write_thresholds(kKinds[1], sensors, count, slot, scope, flag);
}

void envmon_obfl_write_env_curr_thresholds(envmon_sensor_info* sensors, uint16_t count,
                                           uint32_t slot, uint32_t scope, uint32_t flag) {
  write_thresholds(kKinds[2], sensors, count, slot, scope, flag);
}

void envmon_obfl_nm_write_thr_all(void) {
  envmon_nm_t* nm = envmon_nm;
  if (!nm) return;
  const envmon_sensor_list* lists[] = {&nm->temp_data, &nm->voltage_data, &nm->current_data};
  for (int k = 0; k < 3; ++k) {
    KindBits b{};
    kind_bits(kKinds[k].kind, &b);
    const uint32_t w = nm->misc_state;
    if (w & b.not_written)
      write_thresholds(kKinds[k], lists[k]->sensors, lists[k]->count, own_slot(), ENVMON_SCOPE_NODE, 0);
    else if (w & b.thr_pending)
      write_thresholds(kKinds[k], lists[k]->sensors, lists[k]->count, own_slot(), ENVMON_SCOPE_NODE, 1);
  }
}

void envmon_obfl_rm_write_thr_all(uint32_t slot) {
  envmon_rm_t* rm = envmon_rm;
  if (!rm) return;
  uint32_t i = 0;
  const envmon_sensor_list* lists[3] = {};
  uint32_t* w = nullptr;
  if (envmon_is_fantray_slot(slot, &i)) {
    lists[0] = &rm->fantray_cb[i].temp_data;
    lists[1] = &rm->fantray_cb[i].voltage_data;
    w = &rm->fantray_cb[i].misc_state;
  } else {
    envmon_remote_card_cb* c = nullptr;
    if (envmon_is_fc_slot(slot, &i))
      c = &rm->fc_cb[i];
    else if (envmon_is_sw_slot(slot, &i))
      c = &rm->sw_cb[i];
    else if (envmon_is_lc_slot(slot, &i))
      c = &rm->lc_cb[i];
    if (!c) return;
    lists[0] = &c->temp_data;
    lists[1] = &c->voltage_data;
    lists[2] = &c->current_data;
    w = &c->misc_state;
  }
  for (int k = 0; k < 3; ++k) {
    if (!lists[k]) continue;
    KindBits b{};
    kind_bits(kKinds[k].kind, &b);
    if (*w & b.not_written)
      write_thresholds(kKinds[k], lists[k]->sensors, lists[k]->count, slot, ENVMON_SCOPE_RACK, 0);
    else if (*w & b.thr_pending)
      write_thresholds(kKinds[k], lists[k]->sensors, lists[k]->count, slot, ENVMON_SCOPE_RACK, 1);
  }
}

}  // extern "C"

namespace envmon_obfl {

void set_threshold_callbacks(obfl_mgr_handle_t* h, uint32_t scope) {
  const bool rack = scope == ENVMON_SCOPE_RACK;
  obfl_mgr_set_write_env_temp_thresholds_done_callback(
      h, rack ? envmon_obfl_rm_write_env_temp_thresholds_done_cb
              : envmon_obfl_nm_write_env_temp_thresholds_done_cb);
  obfl_mgr_set_write_env_volt_thresholds_done_callback(
      h, rack ? envmon_obfl_rm_write_env_volt_thresholds_done_cb
              : envmon_obfl_nm_write_env_volt_thresholds_done_cb);
  obfl_mgr_set_write_env_current_thresholds_done_callback(
      h, rack ? envmon_obfl_rm_write_env_current_thresholds_done_cb
              : envmon_obfl_nm_write_env_current_thresholds_done_cb);
}

}  // namespace envmon_obfl

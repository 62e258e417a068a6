// Retry handlers of the failure-log requests: service registration,
// threshold writes and logs, at most one per entity and pass.
#include "envmon.h"
#include "envmon_eid_text.h"
#include "envmon_err_hdl.h"
#include "envmon_retry_word.h"

namespace {

using namespace envmon::retry;
using envmon::eid_text;
using envmon::inv_eid_text;

constexpr const char kSvcResent[] = "FSA: %s OBFL_SVC_REG_REQ re-sent\n";
constexpr const char kSvcFailed[] = "FSA: %s OBFL_SVC_REG_REQ failed\n";
constexpr const char kThrResent[] = "FSA: %s OBFL_THR_REQ re-sent\n";
constexpr const char kThrFailed[] = "FSA: %s OBFL_THR_REQ failed\n";
constexpr const char kLogResent[] = "FSA: %s OBFL LOG re-sent\n";
constexpr const char kLogFailed[] = "FSA: %s OBFL LOG failed\n";

constexpr const char kRackSvcResent[] = "FSA: %s-%s[%d] OBFL_SVC_REG_REQ re-sent\n";
constexpr const char kRackSvcFailed[] = "FSA: %s-%s[%d] OBFL_SVC_REG_REQ failed\n";
constexpr const char kRackThrResent[] = "FSA: %s-%s[%d] OBFL_THR_REQ re-sent\n";
constexpr const char kRackThrFailed[] = "FSA: %s-%s[%d] OBFL_THR_REQ failed\n";
constexpr const char kRackLogResent[] = "FSA: %s-%s[%d] OBFL LOG re-sent\n";
constexpr const char kRackLogFailed[] = "FSA: %s-%s[%d] OBFL LOG failed\n";

// One entity's failure-log word. Returns true when a request was re-sent.
template <class Send, class Trace>
bool obfl_entity(uint32_t& word, Send&& send, Trace&& trace) {
  const obfl_step_result r = obfl_step(word);
  if (r.request == obfl_request::none) return false;
  trace(r.request, r.resend);
  if (!r.resend) return false;
  send(r.request);
  // The client may have changed pending bits meanwhile; only the count is ours.
  word = (word & ~kCountMask) | (r.word & kCountMask);
  return true;
}

const char* pick(obfl_request r, bool resent, const char* svc_ok, const char* svc_failed,
                 const char* thr_ok, const char* thr_failed, const char* log_ok,
                 const char* log_failed) {
  switch (r) {
    case obfl_request::svc_reg: return resent ? svc_ok : svc_failed;
    case obfl_request::thresholds: return resent ? thr_ok : thr_failed;
    default: return resent ? log_ok : log_failed;
  }
}

// The rack entity in `slot` with its failure-log word.
bool rack_entity(const char* fn, const char* kind, uint32_t index, uint32_t& word, uint32_t slot) {
  return obfl_entity(
      word,
      [slot](obfl_request r) {
        switch (r) {
          case obfl_request::svc_reg:
            envmon_obfl_svc_registration(ENVMON_SCOPE_RACK, slot, 1);
            break;
          case obfl_request::thresholds: envmon_obfl_rm_write_thr_all(slot); break;
          default: envmon_obfl_rm_log_all(slot, 1); break;
        }
      },
      [fn, kind, index](obfl_request r, bool resent) {
        tlg_internal(err_tlg_cmn_hdl,
                     pick(r, resent, kRackSvcResent, kRackSvcFailed, kRackThrResent,
                          kRackThrFailed, kRackLogResent, kRackLogFailed),
                     fn, kind, static_cast<int>(index));
      });
}

int card_pass(const char* fn, const char* kind, envmon_remote_card_cb* cards, uint32_t n) {
  if (cards == nullptr) return 0;
  int total = 0;
  for (uint32_t i = 0; i < n; ++i) {
    if (rack_entity(fn, kind, i, cards[i].misc_state, cards[i].hw_position)) ++total;
  }
  return total;
}

}  // namespace

extern "C" {

int envmon_err_hdl_nm_obfl(void) {
  if (envmon_nm == nullptr) return 0;
  const char* fn = __func__;
  const uint32_t slot = envmon_nm->slot_num;
  bool resent = obfl_entity(
      envmon_nm->misc_state,
      [slot](obfl_request r) {
        switch (r) {
          case obfl_request::svc_reg:
            envmon_obfl_svc_registration(ENVMON_SCOPE_NODE, slot, 1);
            break;
          case obfl_request::thresholds: envmon_obfl_nm_write_thr_all(); break;
          default: envmon_obfl_nm_log_all(1); break;
        }
      },
      [fn](obfl_request r, bool ok) {
        tlg_internal(err_tlg_cmn_hdl,
                     pick(r, ok, kSvcResent, kSvcFailed, kThrResent, kThrFailed, kLogResent,
                          kLogFailed),
                     fn);
      });
  return resent ? 1 : 0;
}

int envmon_err_hdl_rm_fab_obfl(void) {
  if (envmon_rm == nullptr || !envmon_hal_are_fc_managed_remotely()) return 0;
  return card_pass(__func__, "FC", envmon_rm->fc_cb, envmon_hal_get_max_fc());
}

int envmon_err_hdl_rm_swc_obfl(void) {
  if (envmon_rm == nullptr) return 0;
  return card_pass(__func__, "SW", envmon_rm->sw_cb, envmon_hal_get_max_swc());
}

int envmon_err_hdl_rm_lc_obfl(void) {
  if (envmon_rm == nullptr) return 0;
  return card_pass(__func__, "LC", envmon_rm->lc_cb, envmon_hal_get_max_lc());
}

int envmon_err_hdl_rm_ft_obfl(void) {
  if (envmon_rm == nullptr || envmon_rm->fantray_cb == nullptr) return 0;
  const uint32_t trays = envmon_hal_get_max_fantray();
  int total = 0;
  for (uint32_t t = 0; t < trays; ++t) {
    fantray_cb& ft = envmon_rm->fantray_cb[t];
    if (rack_entity(__func__, "FT", t, ft.misc_state, ft.hw_position)) ++total;
  }
  return total;
}

}  // extern "C"

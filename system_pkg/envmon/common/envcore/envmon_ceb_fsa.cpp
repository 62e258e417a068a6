// Card-event state machine: object, event entry, one-shot timer, state-entry
// functions, transition actions and the registration check.
#include "envmon_ceb_fsa.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/timerfd.h>
#include <unistd.h>

#include <cstdlib>
#include <iterator>

#include "envmon.h"
#include "evloop.h"
#include "envmon_err_hdl.h"

extern "C" {
envmon_ceb_fsa* envmon_fsa = nullptr;
}

namespace {

constexpr const char kEnter[] = "FSA: %s\n";
constexpr const char kStart[] = "FSA: %s: State Machine Start!\n";
constexpr const char kCannotCreate[] = "FSA: %s: Cannot create FSA! %ld\n";
constexpr const char kCalloc[] = "FSA: %s: Calloc failure: size=%d\n";
constexpr const char kInvalidEvent[] = "FSA: %s: invalid event = %d\n";
constexpr const char kNotStarted[] = "FSA: %s: machine not started, event = %d dropped\n";
constexpr const char kEventSetFailed[] = "FSA: %s: Failure in FSA event(%d) set\n";
constexpr const char kTimerRunning[] = "FSA: %s: Timer is already running\n";
constexpr const char kTimerCreate[] = "FSA: %s: Unable to create timer, errno=%d\n";
constexpr const char kTimerAttach[] = "FSA: %s: Error attaching timer to evloop errno=%d\n";
constexpr const char kTimerSet[] = "FSA: %s: Error setting time, errno=%d\n\n";
constexpr const char kTimerStart[] = "FSA: %s Timer(%d) Start\n";
constexpr const char kTimerDisarm[] = "FSA: %s: Error setting time %d\n";
constexpr const char kTimerEnd[] = "FSA: %s Timer(%d) End\n";
constexpr const char kCardMax[] = "FSA: %s-Reached Max Retry #(%d) to get card info\n";
constexpr const char kChassisMax[] = "FSA: %s-Reached Max Retry #(%d) to get chassis info\n";
constexpr const char kCardSendFailed[] = "FSA: %s-send card info failure!\n";
constexpr const char kChassisSendFailed[] = "FSA: %s-send chassis info failure!\n";
constexpr const char kLcErr[] = "FSA: %s: st=%d, lc_err=%d\n";
constexpr const char kRegCheck[] = "FSA: %s: st=%d, bd_err=%d, ft_err=%d, pt_err=%d, fab_err=%d\n";
constexpr const char kCleanupDrvif[] = "%s: Cleanup RM DRVIF: driver %d\n\n";

// Drivers of the remotely managed fabric and switch cards.
constexpr uint32_t kDrvFabric = 4;
constexpr uint32_t kDrvSwitch = 8;

// Card and chassis requests stop after this many, the first one included.
constexpr uint32_t kMaxRequests = 4;

void trace_enter(const char* fn) { tlg_internal(smil_tlg_cmn_hdl, kEnter, fn); }

// A request state's entry: the timer first, then the limit.
void request_state_entry(const char* fn, envmon_ceb_ctx* ctx, uint32_t* count,
                         const char* max_text) {
  trace_enter(fn);
  envmon_ceb_fsa_start_timer(envmon_ceb_fsa_timeout_handler, ENVMON_CEB_TIMER_SECONDS, ctx);
  if (*count >= kMaxRequests) {
    (*count)--;
    tlg_internal(smil_tlg_cmn_hdl, max_text, fn, *count);
    envmon_ceb_fsa_sched_event(ENVMON_CEB_EV_MAJOR_ERR);
  }
}

void clear_bits(envmon_sensor_list& list, uint32_t bits) { list.reg_state &= ~bits; }

// On a route-processor-class card the chassis information is asked for next.
// The chassis-request state is entered only on the route-processor event, which
// the hardware abstraction posts when its rack client connects after a
// chassis request found it unconnected; the request itself therefore has to
// come from here, or the card would never learn its chassis.
void ask_chassis_info() {
  if (envmon_nm != nullptr && envmon_is_rp_card_type(envmon_nm->card_type) &&
      (envmon_nm->misc_state & ENVMON_NM_CHASSIS_INFO_DONE) == 0) {
    envmon_hal_send_chassis_info();
  }
}


}  // namespace

extern "C" {

envmon_err_t envmon_ceb_fsa_create(envmon_ceb_fsa** pointer) {
  if (pointer == nullptr) return 0;
  auto* fsa = static_cast<envmon_ceb_fsa*>(calloc(1, sizeof(envmon_ceb_fsa)));
  if (fsa == nullptr) {
    tlg_internal(smil_tlg_cmn_hdl, kCalloc, __func__, static_cast<int>(sizeof(envmon_ceb_fsa)));
    return ENVMON_ERR_NO_MEMORY;
  }
  *pointer = fsa;
  return 0;
}

envmon_err_t envmon_ceb_fsa_init_n_start(void) {
  tlg_internal(smil_tlg_cmn_hdl, kStart, __func__);
  uint64_t rc = envmon_ceb_fsa_create(&envmon_fsa);
  if (rc != 0) {
    tlg_internal(smil_tlg_cmn_hdl, kCannotCreate, __func__, static_cast<long>(rc));
    return rc;
  }
  envmon_ceb_ctx& ctx = envmon_fsa->ctx;
  ctx.fsa = envmon_fsa;
  ctx.started = 1;
  ctx.card_req_count = 0;
  ctx.chassis_req_count = 0;
  ctx.fm_resync = 0;
  ctx.timer_fd = 0;
  envmon_ceb_init_sm(envmon_fsa, 1);
  envmon_ceb_fsa_sched_event(ENVMON_CEB_EV_START);
  return 0;
}

envmon_err_t envmon_ceb_fsa_sched_event(uint32_t event) {
  using post_fn = int (*)(void*);
  static constexpr post_fn kPost[] = {
      nullptr,
      envmon_ceb_schedule_on_ev_start,
      envmon_ceb_schedule_on_ev_connect,
      envmon_ceb_schedule_on_ev_major_err,
      envmon_ceb_schedule_on_ev_invalid_card,
      envmon_ceb_schedule_on_ev_timeout,
      envmon_ceb_schedule_on_ev_get_card_rp,
      envmon_ceb_schedule_on_ev_get_card_lc,
      envmon_ceb_schedule_on_ev_invalid_chassis,
      envmon_ceb_schedule_on_ev_reg_req,
      envmon_ceb_schedule_on_ev_reg_ok,
      envmon_ceb_schedule_on_ev_reg_err,
  };
  if (event == 0 || event >= std::size(kPost)) {
    tlg_internal(smil_tlg_cmn_hdl, kInvalidEvent, __func__, static_cast<int>(event));
    return ENVMON_ERR_INVALID_ARG;
  }
  // Callbacks that fire before the machine exists must not reach the driver
  // with a null object.
  if (envmon_fsa == nullptr) {
    tlg_internal(smil_tlg_cmn_hdl, kNotStarted, __func__, static_cast<int>(event));
    return ENVMON_ERR_INVALID_ARG;
  }
  int rc = kPost[event](envmon_fsa);
  if (rc != 0) tlg_internal(smil_tlg_cmn_hdl, kEventSetFailed, __func__, static_cast<int>(event));
  return static_cast<envmon_err_t>(static_cast<int64_t>(rc));
}

int envmon_ceb_fsa_start_timer(envmon_ceb_timer_handler_t handler, uint32_t seconds,
                               envmon_ceb_ctx* ctx) {
  if (ctx->timer_fd != 0) {
    tlg_internal(smil_tlg_cmn_hdl, kTimerRunning, __func__);
    return 0;
  }
  int fd = timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC);
  if (fd == 0) {
    // 0 stands for "no timer" in the context; keep the descriptor off it.
    int moved = fcntl(fd, F_DUPFD_CLOEXEC, 1);
    close(fd);
    fd = moved;
  }
  if (fd < 0) {
    int err = errno;
    tlg_internal(smil_tlg_cmn_hdl, kTimerCreate, __func__, err);
    return err;
  }
  if (evloop_attach_fd(envmon_evloop, fd, 0, handler, EVLOOP_FD_READABLE, 0, ctx, 0) < 0) {
    int err = errno;
    tlg_internal(smil_tlg_cmn_hdl, kTimerAttach, __func__, err);
    close(fd);
    return err;
  }
  itimerspec spec{};
  spec.it_value.tv_sec = seconds;
  if (timerfd_settime(fd, 0, &spec, nullptr) != 0) {
    int err = errno;
    tlg_internal(smil_tlg_cmn_hdl, kTimerSet, __func__, err);
    evloop_attach_fd(envmon_evloop, fd, 0, nullptr, 0, 0, nullptr, 0);
    close(fd);
    return err;
  }
  ctx->timer_fd = fd;
  tlg_internal(smil_tlg_cmn_hdl, kTimerStart, __func__, fd);
  return 0;
}

void envmon_ceb_fsa_timeout_handler(int fd, uint32_t /*events*/, void* ctx) {
  if (ctx == nullptr) return;
  // Take the expiry so that a level-triggered loop does not call again before
  // the machine has released the descriptor.
  uint64_t expirations = 0;
  ssize_t got = read(fd, &expirations, sizeof(expirations));
  (void)got;
  envmon_ceb_schedule_on_ev_timeout(static_cast<envmon_ceb_ctx*>(ctx)->fsa);
}

void envmon_ceb_fsa_reset_fm_resync(void) {
  if (envmon_fsa != nullptr) envmon_fsa->ctx.fm_resync = 0;
}

// ---- state-entry functions

void envmon_ceb_st_init(envmon_ceb_ctx*) { trace_enter(__func__); }
void envmon_ceb_st_connecting(envmon_ceb_ctx*) { trace_enter(__func__); }

void envmon_ceb_st_reqing_card(envmon_ceb_ctx* ctx) {
  request_state_entry(__func__, ctx, &ctx->card_req_count, kCardMax);
}

void envmon_ceb_st_reqing_chassis(envmon_ceb_ctx* ctx) {
  request_state_entry(__func__, ctx, &ctx->chassis_req_count, kChassisMax);
}

void envmon_ceb_st_registering(envmon_ceb_ctx* ctx) {
  trace_enter(__func__);
  if (ctx->reg_skip_check != 0) {
    ctx->reg_skip_check = 0;
    envmon_ceb_fsa_start_timer(envmon_ceb_fsa_timeout_handler, ENVMON_CEB_TIMER_SECONDS, ctx);
    return;
  }
  const uint32_t st = envmon_fsa != nullptr ? envmon_fsa->sm.state : 0;
  int bd_err = envmon_err_hdl_nm_bd_sensor() + envmon_err_hdl_nm_obfl();
  int ft_err = 0;
  int pt_err = 0;
  int pd_err = 0;
  int fab_err = 0;
  if (envmon_nm != nullptr && envmon_is_rp_card_type(envmon_nm->card_type)) {
    bd_err += envmon_err_hdl_rm_bd_sensor();
    if (envmon_nm->mpa != nullptr) bd_err += envmon_err_hdl_nm_MPA_sensor();
    // Fan-tray FRUs wait for their containers; sensors, polling, power
    // updates and failure logs wait for both.
    ft_err = envmon_err_hdl_rm_ft_cont();
    if (ft_err == 0) ft_err += envmon_err_hdl_rm_ft_fru();
    if (ft_err == 0) {
      ft_err += envmon_err_hdl_rm_ft_sensor();
      ft_err += envmon_err_hdl_rm_ft_drvif();
      ft_err += envmon_err_hdl_rm_pwr_info();
      ft_err += envmon_err_hdl_rm_ft_obfl();
    }
    if ((envmon_nm->misc_state & ENVMON_NM_CHASSIS_INFO_DONE) != 0) {
      pt_err = envmon_err_hdl_rm_pt_cont();
      if (pt_err == 0) pt_err += envmon_err_hdl_rm_pt_fru();
      pd_err = envmon_hal_fsa_rm_pd_error_count();
      if (envmon_hal_are_fc_managed_remotely()) {
        fab_err = envmon_err_hdl_rm_fab_sensor();
        fab_err += envmon_err_hdl_rm_fab_drvif();
        fab_err += envmon_err_hdl_rm_fab_obfl();
      }
      fab_err += envmon_err_hdl_rm_swc_sensor();
      fab_err += envmon_err_hdl_rm_swc_drvif();
      fab_err += envmon_err_hdl_rm_swc_obfl();
      if (envmon_hal_are_lc_managed_remotely()) {
        int lc_err = envmon_err_hdl_rm_lc_sensor();
        lc_err += envmon_err_hdl_rm_lc_drvif();
        lc_err += envmon_err_hdl_rm_lc_obfl();
        tlg_internal(smil_tlg_cmn_hdl, kLcErr, __func__, static_cast<int>(st), lc_err);
        bd_err += lc_err;
      }
    } else {
      pt_err = 1;  // no chassis information yet: keep waiting, and ask for it
      ask_chassis_info();
    }
  }
  tlg_internal(smil_tlg_cmn_hdl, kRegCheck, __func__, static_cast<int>(st), bd_err, ft_err, pt_err,
               fab_err);
  if (bd_err + ft_err + pt_err + fab_err + pd_err == 0 && st == ENVMON_CEB_ST_REGISTERING) {
    envmon_ceb_fsa_sched_event(ENVMON_CEB_EV_REG_OK);
  } else {
    envmon_ceb_fsa_start_timer(envmon_ceb_fsa_timeout_handler, ENVMON_CEB_TIMER_SECONDS, ctx);
  }
}

void envmon_ceb_st_reg_ok(envmon_ceb_ctx*) { trace_enter(__func__); }
void envmon_ceb_st_error(envmon_ceb_ctx*) { trace_enter(__func__); }

void envmon_ceb_st_destroy_timer(envmon_ceb_ctx* ctx) {
  if (ctx->timer_fd == 0) return;
  itimerspec zero{};
  if (timerfd_settime(ctx->timer_fd, 0, &zero, nullptr) != 0) {
    tlg_internal(smil_tlg_cmn_hdl, kTimerDisarm, __func__, errno);
  }
  tlg_internal(smil_tlg_cmn_hdl, kTimerEnd, __func__, ctx->timer_fd);
  evloop_attach_fd(envmon_evloop, ctx->timer_fd, 0, nullptr, 0, 0, nullptr, 0);
  close(ctx->timer_fd);
  ctx->timer_fd = 0;
}

// ---- transition actions

void envmon_ceb_init(envmon_ceb_ctx*) { trace_enter(__func__); }

void envmon_req_card(envmon_ceb_ctx* ctx) {
  trace_enter(__func__);
  const int32_t rc = envmon_hal_send_card_info();
  if (rc == 0) {
    ctx->card_req_count++;
  } else {
    tlg_internal(smil_tlg_cmn_hdl, kCardSendFailed, __func__);
    if (static_cast<uint32_t>(rc) == ENVMON_ERR32_ALREADY_DONE) ask_chassis_info();
  }
}

void envmon_req_card_timeout(envmon_ceb_ctx* ctx) {
  trace_enter(__func__);
  envmon_req_card(ctx);
}

void envmon_invalid_card(envmon_ceb_ctx*) {
  trace_enter(__func__);
  envmon_ceb_fsa_sched_event(ENVMON_CEB_EV_MAJOR_ERR);
}

void envmon_req_chassis(envmon_ceb_ctx* ctx) {
  trace_enter(__func__);
  if (envmon_hal_send_chassis_info() == 0) {
    ctx->chassis_req_count++;
  } else {
    tlg_internal(smil_tlg_cmn_hdl, kChassisSendFailed, __func__);
  }
}

void envmon_req_chassis_timeout(envmon_ceb_ctx* ctx) {
  trace_enter(__func__);
  envmon_req_chassis(ctx);
}

void envmon_invalid_chassis(envmon_ceb_ctx*) {
  trace_enter(__func__);
  envmon_ceb_fsa_sched_event(ENVMON_CEB_EV_MAJOR_ERR);
}

void envmon_register(envmon_ceb_ctx* ctx) {
  trace_enter(__func__);
  ctx->reg_skip_check = 1;
}

void envmon_register_timeout(envmon_ceb_ctx*) { trace_enter(__func__); }
void envmon_reg_ok(envmon_ceb_ctx*) { trace_enter(__func__); }
void envmon_register_failed(envmon_ceb_ctx*) { trace_enter(__func__); }

// ---- clean-up of pending requests that their senders dropped

void envmon_fsa_cleanup_nm_inv_retry_request(void) {
  if (envmon_nm == nullptr) return;
  clear_bits(envmon_nm->temp_data, 0x1);
  clear_bits(envmon_nm->voltage_data, 0x1);
  clear_bits(envmon_nm->current_data, 0x1);
}

void envmon_fsa_cleanup_rm_inv_retry_request(void) {
  if (envmon_rm == nullptr) return;
  envmon_rm_t& rm = *envmon_rm;
  clear_bits(rm.temp_data, 0x1);
  if (rm.fantray_cb != nullptr) {
    const uint32_t trays = envmon_hal_get_max_fantray();
    for (uint32_t t = 0; t < trays; ++t) {
      if (rm.fan_cont_reg_state != nullptr) rm.fan_cont_reg_state[t] &= ~0x1u;
      fantray_cb& ft = rm.fantray_cb[t];
      ft.flags &= ~(0x1u | 0x4u | 0x10u);
      clear_bits(ft.temp_data, 0x1);
      clear_bits(ft.voltage_data, 0x1);
      clear_bits(ft.fan_data, 0x1);
      clear_bits(ft.subtype13_data, 0x1);
    }
  }
  if (envmon_hal_get_max_powertray() != 0) {
    for (uint32_t t = 0; t < rm.pwr_tray_count; ++t) {
      if (rm.pwr_tray_cont_reg_state != nullptr) rm.pwr_tray_cont_reg_state[t] &= ~0x1u;
      if (rm.pwr_mgmt_data != nullptr && rm.pwr_mgmt_data->envmon_pwr_tray_data != nullptr) {
        rm.pwr_mgmt_data->envmon_pwr_tray_data[t].reg_state &=
            ~(ENVMON_PT_REG_PENDING | ENVMON_PT_SET_PENDING | ENVMON_PT_UNREG_PENDING);
      }
    }
  }
  envmon_hal_fsa_rm_cleanup_inv_retry_request();
  if (envmon_hal_are_fc_managed_remotely() && rm.fc_cb != nullptr) {
    const uint32_t n = envmon_hal_get_max_fc();
    for (uint32_t i = 0; i < n; ++i) {
      clear_bits(rm.fc_cb[i].temp_data, 0x1);
      clear_bits(rm.fc_cb[i].voltage_data, 0x1);
      clear_bits(rm.fc_cb[i].current_data, 0x1);
    }
  }
  if (rm.sw_cb != nullptr) {
    const uint32_t n = envmon_hal_get_max_swc();
    for (uint32_t i = 0; i < n; ++i) {
      clear_bits(rm.sw_cb[i].temp_data, 0x1);
      clear_bits(rm.sw_cb[i].voltage_data, 0x1);
      clear_bits(rm.sw_cb[i].current_data, 0x1);
    }
  }
}

void envmon_fsa_cleanup_all_inv_retry_request(uint32_t scope) {
  if (scope == ENVMON_SCOPE_NODE) {
    envmon_fsa_cleanup_nm_inv_retry_request();
  } else {
    envmon_fsa_cleanup_rm_inv_retry_request();
  }
}

void envmon_fsa_cleanup_all_drvif_retry_request(uint32_t driver) {
  tlg_internal(main_tlg_cmn_hdl, kCleanupDrvif, __func__, static_cast<int>(driver));
  if (envmon_rm == nullptr) return;
  envmon_rm_t& rm = *envmon_rm;
  if (driver == ENVMON_DRV_FAN || driver == ENVMON_DRV_FAN2) {
    if (rm.fantray_cb == nullptr) return;
    const uint32_t trays = envmon_hal_get_max_fantray();
    for (uint32_t t = 0; t < trays; ++t) {
      fantray_cb& ft = rm.fantray_cb[t];
      clear_bits(ft.fan_data, 0x100 | 0x400);
      clear_bits(ft.temp_data, 0x100);
      clear_bits(ft.voltage_data, 0x100);
      clear_bits(ft.subtype13_data, 0x100);
    }
    return;
  }
  envmon_hal_fsa_rm_cleanup_drvif_retry_request(driver);
  envmon_remote_card_cb* cards = nullptr;
  uint32_t n = 0;
  if (driver == kDrvFabric && envmon_hal_are_fc_managed_remotely()) {
    cards = rm.fc_cb;
    n = envmon_hal_get_max_fc();
  } else if (driver == kDrvSwitch) {
    cards = rm.sw_cb;
    n = envmon_hal_get_max_swc();
  }
  if (cards == nullptr) return;
  for (uint32_t i = 0; i < n; ++i) {
    clear_bits(cards[i].temp_data, 0x100);
    clear_bits(cards[i].voltage_data, 0x100);
    clear_bits(cards[i].current_data, 0x100);
  }
}

}  // extern "C"

// Fault-manager client: registration per scope, the forwarders to the fault
// manager (clear, resync, fault-data update), the callbacks handed to it and
// the one-shot resync timer after start-up.
#include <errno.h>
#include <string.h>
#include <sys/timerfd.h>
#include <unistd.h>

#include "envmon.h"
#include "envmon_fm_private.h"
#include "evloop.h"

using namespace envmon_fm;

namespace {

constexpr uint32_t kFacility = 0x14de;
constexpr char kComponent[] = "envmon";
constexpr char kNodeTable[] = "envmon_nm_fm.xml";
constexpr char kRackTable[] = "envmon_rm_fm.xml";
constexpr time_t kResyncSeconds = 120;

constexpr char kInitTrace[] = "%s %s : FM init[%d]\n";
constexpr char kInitFailed[] = "alarmd_init: error=%d\n";
constexpr char kNoPlatformTable[] = "platform fm lib should be provided.\n";
constexpr char kRegisterFailed[] = "alarmd_register[%d]:rc=%d\n";
constexpr char kInitDone[] = "FM[%d] init done, with FM[%d]=0x%p!\n";
constexpr char kAlreadyRegistered[] = "%s: FM[%d] already registered\n";
constexpr char kNotReady[] = "FM infra is not ready:hndl=0x%p, state=%d\n";
constexpr char kNotReadyFn[] = "%s: FM infra is not ready:hndl=0x%p, state=%d\n";
constexpr char kClearTrace[] = "%s: scope=%d, idx=%d\n";
constexpr char kClearFailed[] = "Failed to clear fault:rc=%d\n";
constexpr char kResyncTrace[] = "%s: scope=%d, idx=%d, type=%d\n";
constexpr char kResyncInvalid[] = "%s: Invalid resync_type =%d\n";
constexpr char kResyncFailed[] = "%s: FM resync failed, rc=0x%x\n";
constexpr char kUpdateTrace[] = "%s: PQEID(%d), slot=%d, loc=%s, CEID=%s\n";
constexpr char kUpdateFailed[] = "%s: fault data update failed, rc=0x%x\n";
constexpr char kTimerReset[] = "%s: reset fm resync timer=%d\n";
constexpr char kTimerCreate[] = "%s: Unable to create timer, errno=%d\n";
constexpr char kTimerAttach[] = "%s: Error attaching timer to evloop errno=%d\n";
constexpr char kTimerSet[] = "%s: Error setting time, errno=%d\n\n";
constexpr char kTimerStarted[] = "%s: FM resync start timer!\n";
constexpr char kResyncEnd[] = "%s: FM resync end report!\n";
constexpr char kTimerDisarm[] = "%s: Error setting time %d\n";

// Set once alarmd_init has succeeded in this process.
bool g_fm_initialised = false;
// Descriptor of the resync timer, 0 while there is none.
int g_resync_fd = 0;

void stop_timer(int fd, const char* func, const char* disarm_failed) {
  itimerspec off{};
  if (timerfd_settime(fd, 0, &off, nullptr) != 0 && disarm_failed)
    tlg_internal(fault_tlg_cmn_hdl, disarm_failed, func, errno);
  evloop_attach_fd(envmon_evloop, fd, 0, nullptr, 0, 0, nullptr, 0);
  close(fd);
}

}  // namespace

namespace envmon_fm {

int32_t unlisted_chassis_flag() {
  static constexpr uint32_t kListed[] = {
      0xc96,      0x109f,     0x10a0,     0x109e0,    0x109e1,    0x12020,    0x12021,
      0x12022,    0x90999,    0x9099a,    0x9099b,    0x9099c,    0x909d0,    0x909d1,
      0x909d4,    0x909da,    0x10009d,   0x10009e,   0x10009f,   0x2009f0,   0xef02f2,
      0xef02f3,   0xef02f4,   0xef02f5,   0xef02f6,   0xef02f7,   0xef02f8,   0xef02fa,
      0xef02fb,   0xef02fe,   0xef02ff,   0xef1015,   0x60010000, 0x60010001, 0x60010002,
      0x60010100, 0x60010101, 0x60010102, 0x60010103, 0x60010104, 0x60010105, 0x60010106,
      0x60010107, 0x60010108, 0x60010109, 0x6001010b, 0x60010200, 0x60010201, 0x60010202,
      0x60010204, 0x60010205, 0x60010206, 0x60010207, 0x60010208, 0x60010209, 0x6001020a,
      0x6001020b, 0x6001020d};
  static_assert(sizeof(kListed) / sizeof(kListed[0]) == 58);
  const uint32_t type = envmon_rm ? envmon_rm->chassis_type : 0;
  for (uint32_t t : kListed)
    if (t == type) return 0;
  return 1;
}

bool node_container(inv_eid* out) {
  if (!envmon_nm || !out) return false;
  uint32_t rp = 0;
  if (envmon_rm && envmon_is_rp_slot(envmon_nm->slot_num, &rp)) {
    if (!envmon_rm->rp_cont_eids || rp >= envmon_rm->rp_cont_count) return false;
    *out = envmon_rm->rp_cont_eids[rp];
    return true;
  }
  if (envmon_nm->card_cont_eid.level_count > 0) {
    *out = envmon_nm->card_cont_eid;
    return true;
  }
  return inv_util_convert_pelm_eid_to_eid(&envmon_nm->card_ceid, out) == INV_UTIL_OK;
}

}  // namespace envmon_fm

extern "C" {

envmon_fm_cb_t envmon_fm_cb[2];

int envmon_fm_nm_action_handler(struct alarmd_handle* handle, struct alarmd_fault* fault,
                                uint32_t action, void* data, uint32_t data_len, void* ctx) {
  if (data_len == 0) return static_cast<int>(ENVMON_ERR_INVALID_ARG);
  return envmon_hal_fm_nm_action_handler(handle, fault, action, data, data_len, ctx);
}

int envmon_fm_rm_action_handler(struct alarmd_handle* handle, struct alarmd_fault* fault,
                                uint32_t action, void* data, uint32_t data_len, void* ctx) {
  if (data_len == 0) return static_cast<int>(ENVMON_ERR_INVALID_ARG);
  return envmon_hal_fm_rm_action_handler(handle, fault, action, data, data_len, ctx);
}

int envmon_fm_nm_error_handler(struct alarmd_handle* handle, int64_t error) {
  return envmon_hal_fm_nm_error_handler(handle, error);
}

int envmon_fm_rm_error_handler(struct alarmd_handle* handle, int64_t error) {
  return envmon_hal_fm_rm_error_handler(handle, error);
}

void envmon_fm_nm_set_repeatable(struct alarmd_handle* handle) {
  envmon_hal_fm_nm_set_repeatable(handle);
}

void envmon_fm_rm_set_repeatable(struct alarmd_handle* handle) {
  envmon_hal_fm_rm_set_repeatable(handle);
}

envmon_err_t envmon_fm_init(uint32_t scope, struct evloop* loop) {
  static constexpr char kFunc[] = "envmon_fm_init";
  const uint32_t idx = index_of(scope);
  tlg_internal(fault_tlg_cmn_hdl, kInitTrace, __DATE__, __TIME__, static_cast<int>(scope));
  // A second start-up pass must not leave a second registration behind.
  if (ready(idx)) {
    tlg_internal(fault_tlg_cmn_hdl, kAlreadyRegistered, kFunc, static_cast<int>(idx));
    return ENVMON_OK;
  }
  if (!g_fm_initialised) {
    const int64_t rc = alarmd_init(kComponent);
    if (rc != 0) {
      tlg_internal(err_tlg_cmn_hdl, kInitFailed, static_cast<int>(rc));
      return static_cast<envmon_err_t>(rc);
    }
  }
  alarmd_init_info info;
  alarmd_init_info_init(&info);
  info.evloop = loop;
  info.facility = kFacility;
  info.component = kComponent;
  info.my_location = envmon_nm ? envmon_nm->my_location : nullptr;
  info.action_handler = idx == 0 ? envmon_fm_nm_action_handler : envmon_fm_rm_action_handler;
  info.error_handler = idx == 0 ? envmon_fm_nm_error_handler : envmon_fm_rm_error_handler;
  const char* table = idx == 0 ? kNodeTable : kRackTable;
  if (envmon_hal_fm_update_fm_table(scope)) {
    table = envmon_hal_fm_get_fm_table(scope);
  } else {
    tlg_internal(fault_tlg_cmn_hdl, kNoPlatformTable);
  }
  alarmd_handle_t handle = nullptr;
  const int64_t rc = alarmd_register(&info, table, &handle);
  if (rc != 0) {
    tlg_internal(err_tlg_cmn_hdl, kRegisterFailed, static_cast<int>(idx), static_cast<int>(rc));
    return static_cast<envmon_err_t>(rc);
  }
  envmon_fm_cb[idx].handle = handle;
  envmon_fm_cb[idx].state = 1;
  g_fm_initialised = true;
  if (idx == 0) {
    if (envmon_nm) {
      envmon_nm->fm_node_entry = &envmon_fm_cb[0];
      envmon_nm->fm_hdl = handle;
    }
    envmon_fm_nm_set_repeatable(handle);
  } else {
    if (envmon_rm) {
      envmon_rm->fm_rack_entry = &envmon_fm_cb[1];
      envmon_rm->fm_hdl = handle;
    }
    envmon_fm_rm_set_repeatable(handle);
  }
  tlg_internal(fault_tlg_cmn_hdl, kInitDone, static_cast<int>(idx), static_cast<int>(idx),
               static_cast<void*>(handle));
  return ENVMON_OK;
}

envmon_err_t envmon_fm_fault_clear(uint32_t scope, const pelm_eid* eid) {
  static constexpr char kFunc[] = "envmon_fm_fault_clear";
  const uint32_t idx = index_of(scope);
  if (!ready(idx)) {
    tlg_internal(err_tlg_cmn_hdl, kNotReady, static_cast<void*>(envmon_fm_cb[idx].handle),
                 static_cast<int>(envmon_fm_cb[idx].state));
    return ENVMON_ERR_INVALID_ARG;
  }
  tlg_internal(main_tlg_cmn_hdl, kClearTrace, kFunc, static_cast<int>(scope),
               static_cast<int>(idx));
  if (!eid) return ENVMON_ERR_INVALID_ARG;
  // The object is named in this rack; the caller's id is left as it is.
  pelm_eid object = *eid;
  if (envmon_rm) object.rack = envmon_rm->rack;
  const int64_t rc = alarmd_clear_object_faults(envmon_fm_cb[idx].handle, &object);
  if (rc != 0) {
    tlg_internal(err_tlg_cmn_hdl, kClearFailed, static_cast<int>(rc));
    return static_cast<envmon_err_t>(rc);
  }
  return ENVMON_OK;
}

envmon_err_t envmon_fm_fault_report_resync(uint32_t scope, uint32_t type) {
  static constexpr char kFunc[] = "envmon_fm_fault_report_resync";
  const uint32_t idx = index_of(scope);
  tlg_internal(fault_tlg_cmn_hdl, kResyncTrace, kFunc, static_cast<int>(scope),
               static_cast<int>(idx), static_cast<int>(type));
  envmon_debug_log(kResyncTrace, kFunc, static_cast<int>(scope), static_cast<int>(idx),
                   static_cast<int>(type));
  if (type != ENVMON_FM_RESYNC_START && type != ENVMON_FM_RESYNC_END) {
    tlg_internal(err_tlg_cmn_hdl, kResyncInvalid, kFunc, static_cast<int>(type));
    return ENVMON_ERR_INVALID_ARG;
  }
  if (!ready(idx)) {
    tlg_internal(err_tlg_cmn_hdl, kNotReadyFn, kFunc, static_cast<void*>(envmon_fm_cb[idx].handle),
                 static_cast<int>(envmon_fm_cb[idx].state));
    return ENVMON_ERR_INVALID_ARG;
  }
  const int64_t rc = alarmd_fault_report_resync(envmon_fm_cb[idx].handle, type);
  if (rc != 0) {
    tlg_internal(err_tlg_cmn_hdl, kResyncFailed, kFunc, static_cast<unsigned>(rc));
    return static_cast<envmon_err_t>(rc);
  }
  return ENVMON_OK;
}

envmon_err_t envmon_fm_fault_data_update(uint32_t scope, struct alarmd_fault_data_update* update) {
  static constexpr char kFunc[] = "envmon_fm_fault_data_update";
  const uint32_t idx = index_of(scope);
  if (!ready(idx)) {
    tlg_internal(err_tlg_cmn_hdl, kNotReadyFn, kFunc, static_cast<void*>(envmon_fm_cb[idx].handle),
                 static_cast<int>(envmon_fm_cb[idx].state));
    return ENVMON_ERR_INVALID_ARG;
  }
  if (!update) return ENVMON_ERR_INVALID_ARG;
  tlg_internal(fault_tlg_cmn_hdl, kUpdateTrace, kFunc, static_cast<int>(update->chassis_level),
               static_cast<int>(update->slot), update->location ? update->location : "",
               EidText(update->cont_eid).text);
  const int64_t rc = alarmd_fault_data_update(envmon_fm_cb[idx].handle, update);
  if (rc != 0) {
    tlg_internal(err_tlg_cmn_hdl, kUpdateFailed, kFunc, static_cast<unsigned>(rc));
    return static_cast<envmon_err_t>(rc);
  }
  return ENVMON_OK;
}

int32_t envmon_fm_start_resync_timer(void) {
  static constexpr char kFunc[] = "envmon_fm_start_resync_timer";
  if (g_resync_fd != 0) {
    tlg_internal(fault_tlg_cmn_hdl, kTimerReset, kFunc, g_resync_fd);
    envmon_debug_log(kTimerReset, kFunc, g_resync_fd);
    stop_timer(g_resync_fd, kFunc, nullptr);
    g_resync_fd = 0;
  }
  const int fd = timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK);
  if (fd < 0) {
    const int err = errno;
    tlg_internal(err_tlg_cmn_hdl, kTimerCreate, kFunc, err);
    return err;
  }
  if (evloop_attach_fd(envmon_evloop, fd, 0, evnmon_fm_rsync_timeout_handler, EVLOOP_FD_READABLE,
                       0, nullptr, 0) < 0) {
    const int err = errno;
    tlg_internal(err_tlg_cmn_hdl, kTimerAttach, kFunc, err);
    close(fd);
    return err ? err : EINVAL;
  }
  itimerspec once{};
  once.it_value.tv_sec = kResyncSeconds;
  if (timerfd_settime(fd, 0, &once, nullptr) != 0) {
    const int err = errno;
    tlg_internal(err_tlg_cmn_hdl, kTimerSet, kFunc, err);
    evloop_attach_fd(envmon_evloop, fd, 0, nullptr, 0, 0, nullptr, 0);
    close(fd);
    return err;
  }
  g_resync_fd = fd;
  envmon_debug_log(kTimerStarted, kFunc);
  return 0;
}

void evnmon_fm_rsync_timeout_handler(int /*fd*/, uint32_t /*events*/, void* /*ctx*/) {
  static constexpr char kFunc[] = "evnmon_fm_rsync_timeout_handler";
  envmon_debug_log(kResyncEnd, kFunc);
  tlg_internal(fault_tlg_cmn_hdl, kResyncEnd, kFunc);
  envmon_fm_fault_report_resync(ENVMON_SCOPE_NODE, ENVMON_FM_RESYNC_END);
  if (g_resync_fd != 0) {
    stop_timer(g_resync_fd, kFunc, kTimerDisarm);
    g_resync_fd = 0;
  }
}

void envmon_fm_test_forget(void) {
  for (auto& e : envmon_fm_cb) e = envmon_fm_cb_t{};
  g_fm_initialised = false;
  if (g_resync_fd != 0) {
    stop_timer(g_resync_fd, "envmon_fm_test_forget", nullptr);
    g_resync_fd = 0;
  }
  pending_clear();
}

}  // extern "C"

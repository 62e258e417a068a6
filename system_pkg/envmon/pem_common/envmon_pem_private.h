// What the sources of the PEM library share: its trace buffers, the walks
// over trays and power modules, request words, counters and fault requests.
// Everything here runs on the server's one event-loop thread.
#pragma once

#include <cstdint>
#include <algorithm>
#include <cstring>
#include <initializer_list>

#include "alarmd.h"
#include "envmon_core.h"
#include "envmon_fm.h"
#include "envmon_hal.h"
#include "envmon_pem.h"
#include "envmon_pemcore.h"
#include "envmon_pwr_mgmt.h"
#include "envmon_stats.h"
#include "tlg.h"

extern "C" {
// The library's trace buffers; null until envmon_pem_tlg_init opens them.
extern tlg_handle_t main_tlg_pem_hdl;
extern tlg_handle_t err_tlg_pem_hdl;
extern tlg_handle_t info_tlg_pem_hdl;
extern tlg_handle_t dbg_tlg_pem_hdl;
extern tlg_handle_t pwrm_tlg_pem_hdl;
extern tlg_handle_t fanm_tlg_pem_hdl;
extern tlg_handle_t fault_tlg_pem_hdl;
extern tlg_handle_t smil_tlg_pem_hdl;
extern tlg_handle_t obfl_tlg_pem_hdl;
}

#pragma GCC visibility push(hidden)
namespace pem {

// ---- Trays and power modules. ----

// Physical power trays exist (else the PEMs are grouped in virtual trays).
bool real_trays();
// Bound of every walk over the trays: the rack's tray count with physical
// trays, else the virtual tray count.
uint32_t tray_count();
// The power-management record, or null before power management starts.
envmon_pwr_mgmt_data_t* pm();
// The tray's budget entry of power management, or null.
envmon_pwr_tray_budget* tray_budget(uint32_t tray);
// The tray record, or null when the array is missing or tray is out of range.
pd_power_tray_info_t* tray_at(uint32_t tray);
// The PEM record, or null when there is none at (tray, pem).
pem_record* pem_at(uint32_t tray, uint32_t pem);
// Slot number of a PEM: with physical trays the tray's position x 20 plus the
// PEM's, else the PEM's own position.
int32_t pem_slot(uint32_t tray, uint32_t pem);
// Calls fn(tray, pem, record) for every PEM position of every tray.
template <typename Fn>
void for_each_pem(Fn&& fn) {
  if (pd_power_tray_info == nullptr) return;
  const uint32_t trays = tray_count();
  for (uint32_t t = 0; t < trays; ++t) {
    pd_power_tray_info_t& tray = pd_power_tray_info[t];
    if (tray.pems == nullptr) continue;
    for (uint32_t p = 0; p < tray.num_pems; ++p) fn(t, p, tray.pems[p]);
  }
}

// Usable: OK and not in a firmware upgrade; only usable PEMs count in the
// capacity totals.
constexpr bool usable(uint32_t status) {
  return (status & ENVMON_PEM_OK) != 0 && (status & ENVMON_PEM_IN_FPD_UPG) == 0;
}
// Present: seen and not NOT_PRESENT.
constexpr bool present(uint32_t status) { return status != 0 && (status & ENVMON_PEM_NOT_PRESENT) == 0; }
constexpr bool alarm_set(uint64_t bitmap, uint32_t id) { return id < 64 && ((bitmap >> id) & 1u) != 0; }

// The six sensor lists of a PEM in their order, and their subtypes.
inline constexpr uint32_t kListCount = 6;
inline constexpr uint32_t kListSubtype[kListCount] = {29, 7, 23, 25, 8, 13};
envmon_sensor_list* sensor_list(pem_record& p, uint32_t index);
envmon_sensor_list* sensor_list_by_subtype(pem_record& p, uint32_t subtype);

// ---- Request words. ----
// A request is armed by clearing its two bits and bits 28-31 and setting its
// pending bit and bits 28-31: 30 retries left, 31 when bit 27 was set.
constexpr uint32_t arm(uint32_t word, uint32_t pending, uint32_t done) {
  return (word & ~(pending | done | 0xf0000000u)) | pending | 0xf0000000u;
}
constexpr uint32_t retries_left(uint32_t word) { return word >> 27; }

// ---- Counters (PWRM_Oper_Counters, the error block, rack inventory). ----
enum : uint32_t {
  kPwrAlmRaise = 0,
  kPwrAlmClear = 1,
  kPMalmRaise = 2,
  kPMalmClear = 3,
  kPTinsertion = 4,
  kPTremoval = 5,
  kPMinsertion = 6,
  kPMremoval = 7,
  kTotalCapacity = 8,
  kTotalPreq = 10,
  kCardPbudget = 11,  // + card index
};
enum : uint32_t {
  kRegPemFru = 25,
  kRegPemFruack = 26,
  kUnregPemFru = 27,
  kUnregPemFruack = 28,
};
void count_oper(uint32_t counter, int32_t amount = 1);
// The power-management error counter ("AlmRepFail").
void count_error();
void count_invreg(uint32_t counter);

// ---- Fault requests: fault type 15, fault data prepared for filling. ----
inline constexpr uint32_t kFaultType = 15;
struct FaultRequest {
  alarmd_fault_data data;
  envmon_fm_fault_req req;
  FaultRequest(uint32_t tag, pelm_eid* eid, int32_t state, uint16_t level) {
    alarmd_fault_data_init(&data);
    std::memset(&req, 0, sizeof req);
    req.fault_data = &data;
    req.fault_type = kFaultType;
    req.fault_tag = tag;
    data.eid = eid;
    data.state = state;
    data.alarm_level = level;
  }
  envmon_err_t send() { return envmon_fm_fault_report(ENVMON_SCOPE_RACK, &req); }
};
inline constexpr int32_t kRaise = 1;
inline constexpr int32_t kClear = 2;
inline constexpr int32_t kNotice = 3;

// Text of an entity id for traces.
struct EidText {
  char text[ENVMON_EID_STR_LEN];
  explicit EidText(const pelm_eid* eid) { envmon_dump_pelm_eid_to_string(eid, text); }
};
struct InvEidText {
  char text[ENVMON_EID_STR_LEN];
  explicit InvEidText(const inv_eid* eid) { envmon_dump_inv_eid_to_string(eid, text); }
};

// Bounded copy of at most `max` characters of src (null: empty) into dst of
// dst_size bytes, always terminated.
void copy_text(char* dst, size_t dst_size, const char* src, size_t max);

// A text bounded to size - 1 characters (the descriptions, locations and
// alarm texts are cut, not refused, when they do not fit).
void format(char* buf, size_t size, const char* fmt, ...) __attribute__((format(printf, 3, 4)));

// Writes "%s:%d - exiting()\n" to the debug stream and ends the process.
[[noreturn]] void exit_process(const char* func, int line);

// Rack-scope inventory-registration client and whether it is connected.
struct invreg_handle* rack_invreg(bool* connected);

// ---- Capacity accounting. ----
// Types fed by two or three inputs: the hardware abstraction counts their
// capacity from the state of their feeds.
bool multi_feed_type(uint32_t pem_type);
// After a status change of a PEM from old_status: counts its capacity into the
// tray and chassis totals when it became usable, out when it stopped being
// usable, and by the difference when a usable PEM's capacity changed.
void account_capacity(uint8_t tray, uint8_t pem, uint32_t old_status);
// Forgets what was counted (the totals are reset with it).
void forget_counted_capacity();

// Fault texts name the tray and PEM only with physical trays.
inline bool virtual_tray_texts() { return envmon_hal_get_max_virtual_powertray() != 0; }

// ---- Alarm masking. ----
inline constexpr int32_t kMaskSeconds = 12;
// Starts the PEM's masking timer, or re-arms the one it has to a fresh 12 s.
void start_or_rearm_mask(uint8_t tray, uint8_t pem);
// The PEM's voltage sensors whose name begins with "Input".
bool is_input_sensor(const envmon_sensor_info& sensor);

// Hardware-alarm check of one PEM with its combined result (the exported
// check keeps the core's declaration without a result).
envmon_err_t check_single_pem_alm(uint8_t tray, uint8_t pem, uint8_t* failed);

// Batch flags of the sensor-data dispatch.
extern bool fan_fault_seen;
extern bool pem_current_changed;

}  // namespace pem
#pragma GCC visibility pop

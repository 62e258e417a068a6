// What the sources of the hardware abstraction share: its trace buffers, the
// debug stream, and the answers each platform's library supplies to the
// platform-independent sources (shared/), which both platforms compile in.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <span>

#include "alarmd.h"
#include "envmon_pem.h"
#include "idprom.h"
#include "mtimer.h"
#include "tlg.h"

extern "C" {

// Trace buffers of the library; null until envmon_hal_tlg_init opens them.
extern tlg_handle_t main_tlg_lib_hdl;
extern tlg_handle_t err_tlg_lib_hdl;
extern tlg_handle_t info_tlg_lib_hdl;
extern tlg_handle_t dbg_tlg_lib_hdl;
extern tlg_handle_t pwrm_tlg_lib_hdl;
extern tlg_handle_t fanm_tlg_lib_hdl;
extern tlg_handle_t fault_tlg_lib_hdl;
extern tlg_handle_t smil_tlg_lib_hdl;
extern tlg_handle_t obfl_tlg_lib_hdl;

// Timer leaves of the library's timer trees. A new leaf of the tree with the
// type and context: 0, or -1 (traced) when it cannot be made or `leaf` is null.
int32_t envmon_mtimer_leaf_new(mtimer_tree_t* tree, mtimer_leaf_t* parent, uint32_t type, void* context,
                               const char* label, mtimer_leaf_t** leaf);
// Starts the leaf for `seconds`; nothing for a null leaf or 0 seconds.
void envmon_timer_leaf_start(mtimer_leaf_t* leaf, uint32_t seconds);

// Clears a sensor's raised temperature alarm (the sensor is looked up by its
// entity id when not given) because its value can no longer be read.
void envmon_clear_temp_alarm(const pelm_eid* eid, envmon_sensor_info* sensor, int32_t scope);

}  // extern "C"

#pragma GCC visibility push(hidden)
namespace envhal {

// The PEM library's chassis-wide figures and its trays (null before the
// library allocates them).
inline pd_power_supplies_data_t* pem_supplies() { return &pd_power_supplies_data; }
inline pd_power_tray_info_t* pem_trays() { return pd_power_tray_info; }

// Copies at most cap - 1 characters of src (null: nothing) into dst and
// terminates it; cap 0 writes nothing.
void copy_text(char* dst, size_t cap, const char* src);

// The result every IDPROM failure returns (a plain number, not an error code).
inline constexpr int kIdpromError = 22;

// Hardware version from a decoded version word: major in the high byte,
// minor in the low byte.
inline uint16_t idprom_hw_version(uint32_t version_word) {
  return static_cast<uint16_t>(((version_word >> 16) << 8) | (version_word & 0xff));
}

// Trap decision once the levels of a sensor's value and last value are known:
// the first report traps when not normal, later ones on a change of level.
bool trap_on_level_change(uint8_t* driver_reported, uint32_t level_value, uint32_t level_last);

// A fault by category and tag, and the marking of a list of them as
// repeatable on a fault-manager handle, in list order.
struct FaultKey {
  uint32_t category;
  uint32_t tag;
};
void fm_set_repeatable(alarmd_handle_t handle, std::span<const FaultKey> faults);

// Card-manager clients of the library, shared by the platforms' start-up
// completion.
struct CardMgrState {
  void* node = nullptr;               // card_mgr_node_handle_t
  void* rack = nullptr;               // card_mgr_rack_handle_t
  struct evloop* loop = nullptr;      // given at start-up
  bool node_connected_once = false;
  bool chassis_request_pending = false;
  int32_t chassis_requests_sent = 0;
  uint32_t steps_done = 0;            // start steps of the card information that ran (platform's bits)
};
CardMgrState& card_mgr();

// Counters of the card-manager paths.
enum CardMgrCounter : uint32_t {
  kCmConnect = 0,
  kCmDisconnect = 1,
  kCmError = 2,
  kCmCardInfo = 3,
  kCmChassInfo = 4,
  kCmCardReq = 5,
  kCmChassReq = 6,
};
enum CardMgrErrCounter : uint32_t {
  kCmErrConn = 0,
  kCmErrDisconn = 1,
  kCmErrError = 2,
  kCmErrCardInfo = 3,
  kCmErrChassInfo = 4,
  kCmErrCardPIt = 5,
  kCmErrChasPid = 6,
  kCmErrCrtHndl = 7,
};
void cm_count(CardMgrCounter counter);
void cm_count_error(CardMgrErrCounter counter);

// This card is handled as a route processor: its card type is in the
// route-processor list, or its PI card type says so.
bool is_rp_card_type(uint32_t card_type);

// "%s:%d - exiting()" of a start-up step that gives up, to the debug stream.
void exit_line(const char* func, int line);

// --- Supplied by each platform's library ------------------------------------

namespace plat {
// Component path and build identifier under which the trace buffers open.
const char* tlg_component_path();
const char* tlg_build_id();
// Whether an IDPROM product id is one of the platform's units; traces the
// refusal itself. fan_tray tells which decoder accepted the image.
bool idprom_pid_accepted(bool fan_tray, const char* pid);
// Board id reported to inventory for a decoded IDPROM.
uint32_t idprom_inv_board_id(const dc_idprom_content& decoded);
// Trace of a filled inventory EEPROM record.
void idprom_trace_inv_fields(const dc_idprom_content& decoded);
}  // namespace plat

}  // namespace envhal
#pragma GCC visibility pop

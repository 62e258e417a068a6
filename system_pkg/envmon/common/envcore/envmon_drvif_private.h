// What the platform-driver modules of the core share: the driver-side
// statistics, the request stamp of a progress word, the own-slot rewrite and
// the platform test.
#pragma once

#include <stdint.h>

#include "drvif.h"
#include "envmon_acq_private.h"
#include "envmon_drvif.h"
#include "envmon_stats.h"

namespace envmon_drvif {

// Counters of "DRVIF_Oper_Counters" and "DRVIF_Err_Counters".
enum Oper : uint32_t {
  kConnect = 0,
  kDisconn = 1,
  kError = 2,
  kFilter = 3,
  kPollReq = 4,
  kSetSensorReq = 5,
  kFpdUpdReq = 6,
  kSensorDataResp = 7,
};
enum Err : uint32_t {
  kErrConnect = 0,
  kErrDisconn = 1,
  kErrError = 2,
  kErrFilter = 3,
  kErrCrtHndl = 4,
};
inline void count(Oper c, uint32_t n = 1) { envmon_stats_bump(envmon_drvif_oper_stats_hdl, c, n); }
inline void count(Err c) { envmon_stats_bump(envmon_drvif_err_stats_hdl, c); }

// A poll request sets 0x100, clears 0x200 and reloads the retries (bit 27
// kept: 30 or 31 retries).
inline uint32_t poll_stamp(uint32_t w) { return (w & 0x0FFFFCFFu) | 0xF0000100u; }

// Driver-ack classes of poll and set requests: 0 accepted; these are asked
// again by the state machine; any other is given up.
inline bool ack_retryable(uint32_t ack) { return ack == 4 || ack == 5 || ack == 12; }

inline bool driver_ok(uint32_t d) { return d < ENVMON_DRVIF_MAX; }
inline bool connected(uint32_t d) {
  return driver_ok(d) && envmon_nm && envmon_nm->drvif_connected[d] == 1;
}

// True on a platform whose name contains "Tolsek" (any case): identical
// hardware states are not pushed twice there, and polled sensors start down.
bool tolsek_platform();

// Copies an entity id; when its slot is this card's, the copy names slot
// 0xfffe and *scope becomes 3 (else 1). The copy owns its levels.
bool copy_own_slot(const pelm_eid* from, pelm_eid* to, uint32_t* scope);

// Whether a record received from a driver carries an entity id: its own
// presence bit or any presence bit of the embedded id.
inline bool has_eid(uint8_t entry_bit0, const pelm_eid& eid) { return entry_bit0 || eid.present; }

}  // namespace envmon_drvif

// For tests: destroys the driver handles and the FPD timer tree.
extern "C" void envmon_drvif_test_forget(void);

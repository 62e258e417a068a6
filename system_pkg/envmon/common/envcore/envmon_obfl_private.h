// What the failure-log modules of the core share: the handles, the entity
// progress words, the request header and the two error codes that drive the
// client.
#pragma once

#include <stdint.h>

#include "envmon_acq_private.h"
#include "envmon_obfl.h"
#include "obfl_mgr.h"

namespace envmon_obfl {

// Handle index of a scope: requests of scope 1 go through the rack handle,
// all others through the node handle.
inline uint32_t handle_index(uint32_t scope) { return scope == ENVMON_SCOPE_RACK ? 0 : 1; }
inline obfl_mgr_handle_t* handle_of(uint32_t scope) {
  return envmon_obfl_handle[handle_index(scope)];
}
inline const char* scope_name(uint32_t scope) { return scope == ENVMON_SCOPE_RACK ? "RM" : "NM"; }

// The two answers that drive the client.
inline constexpr uint64_t kNoDeviceConnected = envmon_make_err(0x401012c000000813ULL);
inline constexpr uint64_t kNoUpdateNeeded = envmon_make_err(0x201012c000000809ULL);

// Entity progress bits beyond those of envmon_records.h.
enum : uint32_t {
  kTempFirstOk = 0x10,
  kVoltFirstOk = 0x20,
  kCurrFirstOk = 0x40,
  kTempThrNotWritten = 0x20000,
  kVoltThrNotWritten = 0x40000,
  kCurrThrNotWritten = 0x80000,
  kRetryReload = 0xF0000000u,
};

// The bits of one record kind (1 temperature, 2 voltage, 3 current).
struct KindBits {
  uint32_t first_ok;
  uint32_t resend;
  uint32_t thr_pending;
  uint32_t not_written;
};
// False for another kind.
bool kind_bits(uint32_t kind, KindBits* out);

// The progress word of the entity of (scope, slot): the node's for any scope
// but 1; for scope 1 the fan tray's, fabric card's, switch card's or (while
// line cards are managed remotely) line card's; else null.
uint32_t* entity_word(uint32_t scope, uint32_t slot);
// The sensor array of one kind of the entity; false when the entity has none.
bool entity_array(uint32_t scope, uint32_t slot, uint32_t kind, envmon_sensor_info** sensors,
                  uint16_t* count);
// This card's slot.
uint32_t own_slot();
// Sets the done callbacks of the sensor and threshold records on a handle.
void set_record_callbacks(obfl_mgr_handle_t* h, uint32_t scope);
void set_threshold_callbacks(obfl_mgr_handle_t* h, uint32_t scope);

uint32_t now_seconds();

// Fills the common header: version 1, the wall-clock seconds, the entity id
// of `slot` (presence bits 0-2).
template <typename Req>
void fill_header(Req* req, uint32_t slot) {
  req->version = 1;
  req->timestamp = now_seconds();
  envmon_setup_fru_eid(slot, &req->eid);
  req->present[0] = static_cast<uint8_t>(req->present[0] | (1u << OBFL_HDR_BIT_VERSION) |
                                         (1u << OBFL_HDR_BIT_TIMESTAMP) | (1u << OBFL_HDR_BIT_EID));
}
inline void set_bit(uint8_t* present, unsigned bit) {
  present[bit / 8] = static_cast<uint8_t>(present[bit / 8] | (1u << (bit % 8)));
}

}  // namespace envmon_obfl

// For tests: forgets the handles and resets the message sequence number.
extern "C" void envmon_obfl_test_forget(void);

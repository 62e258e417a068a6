// Progress words of the requests the server sends to its peers: pairs of a
// pending and a done bit, and a 5-bit retries-left count in bits 27-31 shared
// by every pair of the word. The retry handlers and the senders work on whole
// words through these helpers.
#pragma once

#include <cstdint>

namespace envmon::retry {

// Request pairs (pending, done).
struct pair {
  uint32_t pending;
  uint32_t done;
};
inline constexpr pair kReg{0x1u, 0x2u};       // registration with inventory
inline constexpr pair kUnreg{0x4u, 0x8u};     // unregistration from inventory
inline constexpr pair kEeprom{0x10u, 0x20u};  // EEPROM data or entity set
inline constexpr pair kPoll{0x100u, 0x200u};  // driver polling configuration
inline constexpr pair kSpeed{0x400u, 0x800u}; // fan-speed set
inline constexpr uint32_t kValueWaiting = 0x40u;  // sensor value to report after registration

inline constexpr uint32_t kCountShift = 27;
inline constexpr uint32_t kCountMask = 0xf8000000u;
inline constexpr uint32_t kReloadBits = 0xf0000000u;  // bits 28-31

// Failure-log word of an entity.
inline constexpr uint32_t kObflSvcReg = 0x1000u;
inline constexpr uint32_t kObflThr = 0xe000u;
inline constexpr uint32_t kObflLog = 0x700u;

constexpr uint32_t retries_left(uint32_t word) { return word >> kCountShift; }

// What a first send does: pending set, done cleared, bits 28-31 set and bit 27
// kept, which gives 30 retries, or 31 when bit 27 was already set.
constexpr uint32_t arm(uint32_t word, pair p) { return (word & ~p.done) | p.pending | kReloadBits; }

enum class outcome : uint8_t {
  idle,     // pending bit clear: nothing asked
  settled,  // answered: pending cleared, done kept
  resend,   // re-send once more; one retry spent
  spent,    // no retry left: given up
};

struct step_result {
  uint32_t word;
  outcome what;
};

// The retry step for one pair of a word. A spent request loses its pending
// bit and its count only: the other pairs and flags of the word (a sensor's
// registered bit, its waiting value, its built-from-description bit) stay, so
// giving up on a poll or a fan-speed set does not forget that the sensor is
// registered.
constexpr step_result step(uint32_t word, pair p) {
  if ((word & p.pending) == 0) return {word, outcome::idle};
  if ((word & p.done) != 0) return {word & ~p.pending, outcome::settled};
  const uint32_t n = retries_left(word);
  if (n != 0) return {(word & ~kCountMask) | ((n - 1) << kCountShift), outcome::resend};
  return {word & ~(p.pending | kCountMask), outcome::spent};
}

// A list whose sensors needed nothing in this pass is done.
constexpr uint32_t settle(uint32_t word, pair p) { return (word & ~p.pending) | p.done; }

// Failure-log word: at most one request per entity and pass, by priority.
enum class obfl_request : uint8_t { none, svc_reg, thresholds, logs };

constexpr obfl_request obfl_pending(uint32_t word) {
  if ((word & kObflSvcReg) != 0) return obfl_request::svc_reg;
  if ((word & kObflThr) != 0) return obfl_request::thresholds;
  if ((word & kObflLog) != 0) return obfl_request::logs;
  return obfl_request::none;
}

struct obfl_step_result {
  uint32_t word;
  obfl_request request;
  bool resend;  // false with a request pending: the count is spent
};

// The pending bits stay: the failure-log client clears them when a request
// succeeds. Each re-send spends one retry.
constexpr obfl_step_result obfl_step(uint32_t word) {
  const obfl_request r = obfl_pending(word);
  if (r == obfl_request::none) return {word, r, false};
  const uint32_t n = retries_left(word);
  if (n == 0) return {word, r, false};
  return {(word & ~kCountMask) | ((n - 1) << kCountShift), r, true};
}

}  // namespace envmon::retry

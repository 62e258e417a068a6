// The walk that the retry handlers share: one sensor list, last sensor first,
// one request pair of the progress word.
#pragma once

#include <string>

#include "envmon_retry_word.h"
#include "envmon_sensor.h"

namespace envmon::retry {

// Walks `list` when its own word has the pending bit of `p`. Each sensor with
// that bit set is seen and gets the retry step: `resend(sensor)` when a retry
// is left, `fail(sensor)` when the count is spent. `other(sensor, count)` is
// called for the sensors without the pending bit. When nothing was counted the
// list is settled. Returns what was counted for the list.
template <class Resend, class Fail, class Other>
int walk_list(envmon_sensor_list& list, pair p, int& seen, Resend&& resend, Fail&& fail,
              Other&& other) {
  if ((list.reg_state & p.pending) == 0) return 0;
  int count = 0;
  for (uint16_t i = list.count; list.sensors != nullptr && i-- > 0;) {
    envmon_sensor_info& s = list.sensors[i];
    if ((s.state & p.pending) == 0) {
      other(s, count);
      continue;
    }
    ++seen;
    const step_result r = step(s.state, p);
    if (r.what == outcome::resend) {
      resend(s);
      // The sender may reload the count; this pass has spent one retry.
      s.state = (s.state & ~kCountMask) | (r.word & kCountMask);
      ++count;
    } else {
      if (r.what == outcome::spent) fail(s);
      s.state = r.word;
    }
  }
  if (count == 0) list.reg_state = settle(list.reg_state, p);
  return count;
}

inline void no_other(envmon_sensor_info&, int&) {}

// Single-word items (containers, FRU words, power-allocation words): the
// retry step with the re-send and the failure trace. Returns true when
// re-sent.
template <class Resend, class Fail>
bool step_word(uint32_t& word, pair p, Resend&& resend, Fail&& fail) {
  const step_result r = step(word, p);
  if (r.what == outcome::resend) {
    resend();
    word = (word & ~kCountMask) | (r.word & kCountMask);
    return true;
  }
  if (r.what == outcome::spent) fail();
  word = r.word;
  return false;
}

}  // namespace envmon::retry

// Recording stand-ins for the neighbours of the core's control flow: the
// hardware abstraction, inventory registration, the driver, failure-log and
// fault-manager clients, power management and the PEM library. Each records
// its call as "name(arg,...)" and answers from a settable result. Test-only.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "envmon.h"

namespace fakes {

// The calls seen since the last reset, oldest first.
const std::vector<std::string>& calls();
// The calls whose text starts with one of the prefixes, in order.
std::vector<std::string> calls_of(std::initializer_list<const char*> prefixes);
bool called(const std::string& call);
void clear_calls();

// Forgets calls, results, hooks and the hardware abstraction's answers.
void reset();

// The result a stand-in gives (by function name); 0 unless set.
void set_result(const std::string& fn, int64_t value);
int64_t result(const char* fn);

// Records a call, for stand-ins written in a test.
void rec(const char* fn, const char* fmt, ...) __attribute__((format(printf, 2, 3)));

// Runs `hook` inside the named stand-in, after its call is recorded.
void on_call(const std::string& fn, std::function<void()> hook);

// Answers of the hardware abstraction.
struct hal_answers {
  uint32_t max_fantray = 0;
  uint32_t max_powertray = 0;
  uint32_t max_rp = 2;
  uint32_t max_fc = 0;
  uint32_t max_lc = 0;
  uint32_t max_swc = 0;
  uint32_t max_mpa = 0;
  uint32_t max_inv_slots = 64;
  uint32_t max_clients = 10;
  int fc_remote = 0;
  int lc_remote = 0;
  int sw_remote = 0;
  bool platform_skip = false;
  bool ft_primary = true;
  int budget_supported = 1;
  uint32_t altitude_sensor = 0;
  uint8_t altitude_sensor_valid = 0;
  uint32_t num_pems_for_red = 255;
  const char* platform_name = "tavrin";
  bool altitude_fan_set_needed = false;
  envmon_remote_card_cb* rc_cb = nullptr;  // what envmon_hal_get_rc_cb answers
  uint32_t rc_inv_hw_type = 0;
  uint32_t rc_card_subtype = 0;
};
hal_answers& hal();

}  // namespace fakes

// Product ids of tavrin's power-module and fan-tray hardware types.
#include "envmon_hal.h"
#include "envhal_tavrin_units.h"

using namespace envhal::tavrin;

namespace {

struct CardName {
  uint32_t card_type;
  const char* pid;
};

constexpr CardName kCardNames[] = {
    {0xab010000, kPid3kAc},    {0xab010001, kPid3kAc},    {0xab010010, kPid3kDc},     {0xab010020, kPid3kUv},
    {0xab010030, kPid3k2Hv},   {0xab010040, kPid4k4Dc},   {0xab010308, kPid1k6Ac},    {0xab010309, kPid1k6Dc},
    {0xab040000, kPidFan8},    {0xab040001, kPidFan8},    {0xab040002, kPidFan8V2},   {0xab040020, kPidFan16},
    {0xab040021, kPidFan16R},  {0xab040022, kPidFan16V2}, {0xab040040, kPidFan4},    {0xab040041, kPidFan4V2},
    {0xab040206, kPidFanGen},  {0xab040207, kPidFanGenR},
};

}  // namespace

extern "C" const char* envmon_hal_get_card_name(uint32_t card_type) {
  for (const CardName& c : kCardNames) {
    if (c.card_type == card_type) return c.pid;
  }
  return nullptr;
}

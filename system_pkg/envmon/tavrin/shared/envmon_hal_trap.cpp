// The part of the trap decision that both platforms share: what happens once
// a sensor's value and last value have been graded.
#include "envmon_sensor.h"
#include "envhal_private.h"

namespace envhal {

bool trap_on_level_change(uint8_t* driver_reported, uint32_t level_value, uint32_t level_last) {
  // The driver's first report traps only when it is not normal; after that
  // every change of level traps.
  if (*driver_reported != 1) {
    *driver_reported = 1;
    return level_value != ENVMON_LEVEL_NORMAL;
  }
  return level_value != level_last;
}

}  // namespace envhal

// Configured values that other parts of the server ask for.
#include "envmon.h"
#include "envmon_capi.h"

extern "C" void envmon_conf_get_altitude(uint32_t* altitude, uint8_t* valid) {
  if (envmon_rm == nullptr) {
    *altitude = 0;
    *valid = 0;
    return;
  }
  *altitude = envmon_rm->env_cfg.altitude;
  *valid = 1;
}

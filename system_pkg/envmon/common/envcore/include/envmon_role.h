// Roles from the process manager and the rack scope that follows the active
// role; the remote-card proxy that the role change and the card-manager
// client start and stop.
#pragma once

#include <stdint.h>

#include "envmon_core.h"

extern "C" {

// Applies a role (1 active, 2 standby, 3 none); the service name is not used.
void envmon_role_notification(uint32_t role, const char* service_name);

// Remote-card proxy: card class 0 line card, 3 fabric card, 9 switch card.
enum : uint32_t {
  ENVMON_RC_CLASS_LC = 0,
  ENVMON_RC_CLASS_FC = 3,
  ENVMON_RC_CLASS_SW = 9,
};
envmon_err_t envmon_remotecard_init(uint32_t slot_id, uint32_t card_class, uint32_t pd_card_type);
envmon_err_t envmon_remotecard_uninit(uint32_t slot_id, uint32_t card_class,
                                      uint32_t pd_card_type);
void envmon_remotecard_free_objects(uint16_t count, envmon_sensor_info* sensors);

// The monitoring service's servers (node scope 3, rack scope 1).
envmon_err_t envmon_server_uninit(uint32_t scope);

}  // extern "C"

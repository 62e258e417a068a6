// The process manager's messages between its client library and its model in
// the chassis simulator.
#pragma once

#include <stdint.h>

#include "msgcodec.h"

#ifdef __cplusplus
extern "C" {
#endif

// Answer to a liveness query.
typedef struct pm_liveness_status {
  uint64_t status;  // bit 0, 0 alive
  uint8_t present;
} pm_liveness_status;

MSGCODEC_DECLARE(pm_liveness_status, pm_liveness_status)

#ifdef __cplusplus
}

#include "simsvc.h"

namespace pm_wire {

enum : uint32_t {
  kServiceControl = 1,         // model -> client, pm_service_control_msg, id = request id
  kAcceptRole = 2,             // client -> model, pm_accept_role_msg
  kHaReady = 3,                // client -> model, pm_ha_ready_msg
  kLivenessQuery = 4,          // model -> client, no payload
  kLivenessStatus = 5,         // client -> model, pm_liveness_status
  kProcessUpdate = 6,          // model -> client, pm_process_update_event_msg
  kProcessUpdateResponse = 7,  // client -> model, pm_process_update_event_resp
};

extern const simsvc::Service kService;

}  // namespace pm_wire
#endif

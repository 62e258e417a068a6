// The platform-local service's messages between its client library and its
// model in the chassis simulator.
#pragma once

#include <stdint.h>

#include "platform_local.h"

#ifdef __cplusplus
extern "C" {
#endif

// This card's node id, packed with nodeid_pack.
typedef struct platform_local_nodeid_msg {
  uint64_t nodeid;  // bit 0
  uint8_t present;
} platform_local_nodeid_msg;

typedef struct platform_local_ip_msg {
  uint32_t address;  // bit 0, host order
  uint8_t present;
} platform_local_ip_msg;

MSGCODEC_DECLARE(platform_local_nodeid_msg, platform_local_nodeid_msg)
MSGCODEC_DECLARE(platform_local_ip_msg, platform_local_ip_msg)

#ifdef __cplusplus
}

#include "simsvc.h"

namespace platform_local_wire {

enum : uint32_t {
  kHello = 1,           // client -> model, platform_local_client_hello
  kNodeidRegister = 2,  // client -> model, platform_local_reg_req
  kNodeidRegResp = 3,   // model -> client, platform_local_reg_req echoed; status = code
  kNodeid = 4,          // model -> client, platform_local_nodeid_msg; status
  kIpRegister = 5,      // client -> model, platform_local_reg_req
  kIpAddress = 6,       // model -> client, platform_local_ip_msg
};

extern const simsvc::Service kService;

}  // namespace platform_local_wire
#endif

// The provider layer's messages between its client library and the
// configuration model of the chassis simulator.
#pragma once

#include <stdint.h>

#include "msgcodec.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef struct provd_entry {
  char* path;   // bit 0
  char* value;  // bit 1, absent for a key without a value
  uint8_t present;
} provd_entry;

// A namespace followed by a client.
typedef struct provd_namespace_msg {
  uint32_t ns_id;    // bit 0, the client's number for it
  char* path;        // bit 1
  uint32_t ns_hash;  // bit 2
  char* component;   // bit 3, the name given to provd_handle_create
  uint8_t present;
} provd_namespace_msg;

// The keys of a namespace as they are now.
typedef struct provd_config_msg {
  uint32_t ns_id;         // bit 0
  provd_entry* entries;   // bit 1
  uint32_t entry_count;
  uint8_t present;
} provd_config_msg;

MSGCODEC_DECLARE(provd_entry, provd_entry)
MSGCODEC_DECLARE(provd_namespace_msg, provd_namespace_msg)
MSGCODEC_DECLARE(provd_config_msg, provd_config_msg)

#ifdef __cplusplus
}

#include "simsvc.h"

namespace provd_wire {

enum : uint32_t {
  kRegisterNamespace = 1,  // client -> model, provd_namespace_msg
  kConfig = 2,             // model -> client, provd_config_msg
  kShutdown = 3,           // client -> model, no payload: forget this client's namespaces
  kCallbackDone = 4,       // client -> model, provd_namespace_msg (ns_id); status = result
};

extern const simsvc::Service kService;

}  // namespace provd_wire
#endif

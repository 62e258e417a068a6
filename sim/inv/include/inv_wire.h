// Messages between the inventory-service client library and the inventory
// model of the simulator.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "inv.h"
#include "simsvc.h"

namespace inv_wire {

enum : uint32_t {
  kRegisterEvent = 1,        // inv_event_reg_req -> kRegisterEventResp
  kRegisterEventResp = 2,    // inv_event_ack
  kRegisterFruEvent = 3,     // inv_fru_event_reg_req -> kRegisterFruEventResp
  kRegisterFruEventResp = 4, // inv_event_ack
  kFruPowerInfo = 5,         // inv_data_req -> kFruPowerInfoResp
  kFruPowerInfoResp = 6,     // inv_fru_power_list
  kDataGroup = 7,            // inv_data_req -> kDataGroupResp
  kDataGroupResp = 8,        // inv_data_group
  kNotifyEvent = 9,          // model -> client, inv_notify_event_data
  kNotifyFruOir = 10,        // model -> client, inv_fru_oir_event
};

struct Message {
  uint32_t id;
  const msgcodec_type* type;
  const char* name;
};

extern const Message kMessages[];
extern const size_t kMessageCount;
const Message* find(uint32_t id);

// The one offer of the service (scope 1) as the endpoint filter sees it, and
// the service as the simulator's service mechanism carries it.
msgpipe_endpoint offer_endpoint();
const simsvc::Service& service();

}  // namespace inv_wire

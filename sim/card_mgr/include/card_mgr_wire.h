// The card manager's messages between its client libraries and its model in
// the chassis simulator. One service serves the node, rack and card-object
// clients; each handle is its own connection.
#pragma once

#include "card_mgr.h"

#ifdef __cplusplus
#include "simsvc.h"

namespace card_mgr_wire {

enum : uint32_t {
  kCardInfoRequest = 1,     // client -> model, card_mgr_info_req
  kCardInfo = 2,            // model -> client, card_mgr_cardinfo_msg; status = error
  kChassisInfoRequest = 3,  // client -> model, card_mgr_info_req
  kChassisInfo = 4,         // model -> client, card_mgr_chassisinfo_msg; status = error
  kObjectRegister = 5,      // client -> model, cm_object_register_req
  kObjectRegistered = 6,    // model -> client, cm_object_register_resp
  kObjectData = 7,          // model -> client, cm_object_data_msg
  kObjectUnregister = 8,    // client -> model, cm_object_register_req
  kObjectUnregistered = 9,  // model -> client, cm_object_register_resp
};

extern const simsvc::Service kService;

}  // namespace card_mgr_wire
#endif

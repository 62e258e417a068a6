// Messages between the inventory-registration client library and the
// inventory model of the simulator: each is an id and the record type of its
// payload. Requests go from the client; answers, status and the service's own
// requests come from the model.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "invreg.h"

#ifdef __cplusplus
#include "simsvc.h"
#endif

namespace invreg_wire {

enum : uint32_t {
  kRegisterEid = 1,               // invreg_eid_list_req -> kRegisterEidResp
  kRegisterEidResp = 2,           // invreg_multi_ack
  kUnregisterEid = 3,             // invreg_eid_list_req -> kUnregisterEidResp
  kUnregisterEidResp = 4,         // invreg_multi_ack
  kRegisterContainer = 5,         // invreg_container_req -> kRegisterContainerResp
  kRegisterContainerResp = 6,     // invreg_ack
  kRegisterFruType = 7,           // invreg_fru_type_req -> kRegisterFruTypeResp
  kRegisterFruTypeResp = 8,       // invreg_ack
  kUnregisterFruType = 9,         // invreg_fru_unreg_req -> kUnregisterFruTypeResp
  kUnregisterFruTypeResp = 10,    // invreg_ack
  kContainerLocation = 11,        // invreg_container_location_req -> kContainerLocationResp
  kContainerLocationResp = 12,    // invreg_ack
  kEepromData = 13,               // invreg_eeprom_req -> kEepromDataResp
  kEepromDataResp = 14,           // invreg_ack
  kDataUpdateStatus = 15,         // invreg_ack, answers the sensor-data messages
  kTempData = 16,                 // invreg_temp_data
  kFanData = 17,                  // invreg_fan_data
  kVoltageData = 18,              // invreg_voltage_data
  kCurrentData = 19,              // invreg_sensor_data
  kPowerUsageData = 20,           // invreg_sensor_data
  kLedStatus = 21,                // invreg_led_status -> kLedStatusResp
  kLedStatusResp = 22,            // invreg_ack
  kFruPowerInfo = 23,             // invreg_fru_power_info -> kFruPowerInfoResp
  kFruPowerInfoResp = 24,         // invreg_ack
  kSystemPowerInfo = 25,          // invreg_system_power_info -> kSystemPowerInfoResp
  kSystemPowerInfoResp = 26,      // invreg_ack
  kOperState = 27,                // invreg_entity_state_list -> kEntityStateResp
  kPowerAdminState = 28,          // invreg_entity_state_list -> kEntityStateResp
  kPowerOperState = 29,           // invreg_entity_state_list -> kEntityStateResp
  kEntityStateResp = 30,          // invreg_entity_state_ack
  kEventData = 31,                // invreg_event_data -> kEventDataResp
  kEventDataResp = 32,            // invreg_ack
  kEidName = 33,                  // invreg_eid_name -> kEidNameResp
  kEidNameResp = 34,              // invreg_ack
  kEidDescr = 35,                 // invreg_eid_descr -> kEidDescrResp
  kEidDescrResp = 36,             // invreg_ack
  kFruPrefix = 37,                // invreg_fru_prefix -> kFruPrefixResp
  kFruPrefixResp = 38,            // invreg_ack
  kEidBaseData = 39,              // invreg_eid_base_data, not answered
  kFpgaData = 40,                 // invreg_fpga_data -> kFpgaDataResp
  kFpgaDataResp = 41,             // invreg_ack
  kPemStatus = 42,                // invreg_pem_status_data -> kPemStatusResp
  kPemStatusResp = 43,            // invreg_ack
  kSetHwStateReq = 44,            // model -> client, invreg_set_hw_state_req
  kSetHwStateResp = 45,           // client -> model, invreg_set_hw_state_resp
  kGetFpgaDataReq = 46,           // model -> client, invreg_fpga_data_req
  kGetFpgaDataResp = 47,          // client -> model, invreg_fpga_data
  kHello = 48,                    // client -> model, invreg_hello, first on a connection
};

struct Message {
  uint32_t id;
  const msgcodec_type* type;
  const char* name;
};

extern const Message kMessages[];
extern const size_t kMessageCount;
// The message of an id, null for an unknown id.
const Message* find(uint32_t id);

// Offers of the service as its clients' endpoint filter sees them: one per
// scope (1 rack, 3 node). Connecting to one of these endpoints reaches the
// service of the simulator; the scope is said first on the connection.
msgpipe_endpoint scope_endpoint(uint32_t scope);
// The scope of such an endpoint; false for another endpoint.
bool scope_of_endpoint(const msgpipe_endpoint& endpoint, uint32_t* scope);

// The service as the simulator's service mechanism carries it.
const simsvc::Service& service();

}  // namespace invreg_wire

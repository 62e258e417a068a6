// Messages of the platform-driver service: each an id and the record type of
// its payload. Requests go from the client; answers carry the request's id.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "drvif.h"

namespace drvif_wire {

enum : uint32_t {
  // Client to driver.
  kEidRegister = 1,            // drvif_eid_register_req -> kRespEidRegister
  kEidUnregister = 2,          // drvif_eid_register_req, not answered
  kEidConfigPolling = 3,       // drvif_eid_config_polling_req -> kRespEidConfigPolling
  kSetSensorInfo = 4,          // drvif_set_sensor_req -> kRespSetSensorInfo
  kSetAuxSensorInfo = 5,       // drvif_set_sensor_req -> kRespSetAuxSensorInfo
  kGetFpgaInfo = 6,            // drvif_eid_list_req -> kRespGetFpgaInfo
  kSetFpgaInfo = 7,            // drvif_set_fpga_info_req -> kRespSetFpgaInfo
  kSetShutSlotInfo = 8,        // drvif_shut_slot_req, not answered
  kSendRackNum = 9,            // drvif_rack_num_req, not answered
  kNotifFpgaDataAck = 10,      // drvif_notif_ack, acknowledges kNotifyFpgaData
  // Driver to client.
  kRespEidRegister = 101,      // drvif_eid_register_resp
  kRespEidConfigPolling = 103, // drvif_eid_ack_resp
  kRespSetSensorInfo = 104,    // drvif_eid_ack_resp
  kRespSetAuxSensorInfo = 105, // drvif_eid_ack_resp
  kRespGetFpgaInfo = 106,      // drvif_fpga_data_msg
  kRespSetFpgaInfo = 107,      // drvif_eid_ack_resp
  kNotifyEidData = 121,        // drvif_eid_data_msg
  kNotifySensorData = 122,     // drvif_sensor_data_msg
  kNotifyLedData = 123,        // drvif_led_data_msg
  kNotifyFpgaData = 124,       // drvif_fpga_data_msg; the request id is the cookie
};

// The payload type of a message id, or null for an unknown id.
const msgcodec_type* payload_type(uint32_t id);
// Its name for traces ("eid_register"), "unknown" for an unknown id.
const char* name(uint32_t id);

}  // namespace drvif_wire

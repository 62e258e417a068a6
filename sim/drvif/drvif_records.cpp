// Field tables of the platform-driver records and the payload type of each
// message id.
#include "drvif.h"
#include "drvif_wire.h"
#include "msgcodec_define.h"

constexpr msgcodec_field kEidRegisterReq[] = {
    MSGCODEC_INT_LIST(drvif_eid_register_req, op, op_count, 0),
    MSGCODEC_INT_LIST(drvif_eid_register_req, pt, pt_count, 1),
    MSGCODEC_INT_LIST(drvif_eid_register_req, rt, rt_count, 2),
};
MSGCODEC_DEFINE(drvif_eid_register_req, drvif_eid_register_req, present, kEidRegisterReq)

constexpr msgcodec_field kEidRegisterResp[] = {
    MSGCODEC_INT_LIST(drvif_eid_register_resp, ack, ack_count, 0),
};
MSGCODEC_DEFINE(drvif_eid_register_resp, drvif_eid_register_resp, present, kEidRegisterResp)

constexpr msgcodec_field kPollingReq[] = {
    MSGCODEC_INT(drvif_eid_config_polling_req, op, 0),
    MSGCODEC_RECORD_LIST(drvif_eid_config_polling_req, eid, eid_count, 1),
    MSGCODEC_INT_LIST(drvif_eid_config_polling_req, delta, delta_count, 2),
    MSGCODEC_INT_LIST(drvif_eid_config_polling_req, interval, interval_count, 3),
};
MSGCODEC_DEFINE(drvif_eid_config_polling_req, drvif_eid_config_polling_req, present, kPollingReq)

constexpr msgcodec_field kEidAckResp[] = {
    MSGCODEC_RECORD_LIST(drvif_eid_ack_resp, eid, eid_count, 0),
    MSGCODEC_INT_LIST(drvif_eid_ack_resp, ack, ack_count, 1),
    MSGCODEC_TEXT(drvif_eid_ack_resp, text, 2),
};
MSGCODEC_DEFINE(drvif_eid_ack_resp, drvif_eid_ack_resp, present, kEidAckResp)

constexpr msgcodec_field kSensorDataRec[] = {
    MSGCODEC_RECORD(drvif_sensor_data_rec, eid, 0),
    MSGCODEC_INT(drvif_sensor_data_rec, value, 1),
    MSGCODEC_INT(drvif_sensor_data_rec, sensor_type, 2),
    MSGCODEC_INT(drvif_sensor_data_rec, hw_event, 3),
    MSGCODEC_INT(drvif_sensor_data_rec, fault_event, 4),
    MSGCODEC_INT(drvif_sensor_data_rec, warning_event, 5),
    MSGCODEC_INT(drvif_sensor_data_rec, timestamp, 6),
    MSGCODEC_INT(drvif_sensor_data_rec, scale, 7),
    MSGCODEC_INT(drvif_sensor_data_rec, aux1, 8),
    MSGCODEC_INT(drvif_sensor_data_rec, aux2, 9),
    MSGCODEC_INT(drvif_sensor_data_rec, oper_state, 10),
    MSGCODEC_INT(drvif_sensor_data_rec, spare, 11),
    MSGCODEC_INT(drvif_sensor_data_rec, thr_minor_low, 12),
    MSGCODEC_INT(drvif_sensor_data_rec, thr_minor_high, 13),
};
MSGCODEC_DEFINE(drvif_sensor_data_rec, drvif_sensor_data_rec, present, kSensorDataRec)

constexpr msgcodec_field kSensorDataMsg[] = {
    MSGCODEC_RECORD_LIST(drvif_sensor_data_msg, data, data_count, 0),
    MSGCODEC_INT_LIST(drvif_sensor_data_msg, result, result_count, 1),
};
MSGCODEC_DEFINE(drvif_sensor_data_msg, drvif_sensor_data_msg, present, kSensorDataMsg)

constexpr msgcodec_field kLedDataRec[] = {
    MSGCODEC_RECORD(drvif_led_data_rec, eid, 0),
    MSGCODEC_INT(drvif_led_data_rec, led_status, 1),
    MSGCODEC_INT(drvif_led_data_rec, hw_event, 2),
    MSGCODEC_INT(drvif_led_data_rec, fault_event, 3),
    MSGCODEC_INT(drvif_led_data_rec, warning_event, 4),
    MSGCODEC_INT(drvif_led_data_rec, timestamp, 5),
};
MSGCODEC_DEFINE(drvif_led_data_rec, drvif_led_data_rec, present, kLedDataRec)

constexpr msgcodec_field kLedDataMsg[] = {
    MSGCODEC_RECORD_LIST(drvif_led_data_msg, data, data_count, 0),
    MSGCODEC_INT_LIST(drvif_led_data_msg, result, result_count, 1),
};
MSGCODEC_DEFINE(drvif_led_data_msg, drvif_led_data_msg, present, kLedDataMsg)

constexpr msgcodec_field kEidDataRec[] = {
    MSGCODEC_RECORD(drvif_eid_data_rec, eid, 0),
    MSGCODEC_INT(drvif_eid_data_rec, board_id, 1),
    MSGCODEC_TEXT(drvif_eid_data_rec, serial, 2),
    MSGCODEC_INT(drvif_eid_data_rec, state, 3),
    MSGCODEC_INT(drvif_eid_data_rec, fault, 4),
    MSGCODEC_INT(drvif_eid_data_rec, warning, 5),
    MSGCODEC_BYTES(drvif_eid_data_rec, idprom, idprom_len, 6),
    MSGCODEC_INT(drvif_eid_data_rec, misc, 7),
    MSGCODEC_TEXT(drvif_eid_data_rec, text1, 8),
    MSGCODEC_TEXT(drvif_eid_data_rec, text2, 9),
    MSGCODEC_INT(drvif_eid_data_rec, hw_major, 10),
    MSGCODEC_INT(drvif_eid_data_rec, hw_minor, 11),
    MSGCODEC_INT(drvif_eid_data_rec, aux, 12),
};
MSGCODEC_DEFINE(drvif_eid_data_rec, drvif_eid_data_rec, present, kEidDataRec)

constexpr msgcodec_field kEidDataMsg[] = {
    MSGCODEC_RECORD_LIST(drvif_eid_data_msg, data, data_count, 0),
    MSGCODEC_INT_LIST(drvif_eid_data_msg, extra, extra_count, 1),
};
MSGCODEC_DEFINE(drvif_eid_data_msg, drvif_eid_data_msg, present, kEidDataMsg)

constexpr msgcodec_field kFpgaDataRec[] = {
    MSGCODEC_RECORD(drvif_fpga_data_rec, eid, 0),
    MSGCODEC_INT(drvif_fpga_data_rec, upgradable, 1),
    MSGCODEC_INT(drvif_fpga_data_rec, upgrade_state, 2),
    MSGCODEC_INT(drvif_fpga_data_rec, hw_major, 3),
    MSGCODEC_INT(drvif_fpga_data_rec, hw_minor, 4),
    MSGCODEC_INT(drvif_fpga_data_rec, fw_major, 7),
    MSGCODEC_INT(drvif_fpga_data_rec, fw_minor, 8),
    MSGCODEC_INT(drvif_fpga_data_rec, inst_major, 11),
    MSGCODEC_INT(drvif_fpga_data_rec, inst_minor, 12),
    MSGCODEC_INT(drvif_fpga_data_rec, timestamp, 13),
    MSGCODEC_INT(drvif_fpga_data_rec, fpd_size, 14),
    MSGCODEC_INT(drvif_fpga_data_rec, progress, 15),
    MSGCODEC_TEXT(drvif_fpga_data_rec, fault_text, 16),
    MSGCODEC_TEXT(drvif_fpga_data_rec, status_text, 17),
};
MSGCODEC_DEFINE(drvif_fpga_data_rec, drvif_fpga_data_rec, present, kFpgaDataRec)

constexpr msgcodec_field kFpgaDataMsg[] = {
    MSGCODEC_RECORD_LIST(drvif_fpga_data_msg, data, data_count, 0),
    MSGCODEC_INT_LIST(drvif_fpga_data_msg, resp, resp_count, 1),
};
MSGCODEC_DEFINE(drvif_fpga_data_msg, drvif_fpga_data_msg, present, kFpgaDataMsg)

constexpr msgcodec_field kEidListReq[] = {
    MSGCODEC_RECORD_LIST(drvif_eid_list_req, eid, eid_count, 0),
};
MSGCODEC_DEFINE(drvif_eid_list_req, drvif_eid_list_req, present, kEidListReq)

constexpr msgcodec_field kFpgaSetRec[] = {
    MSGCODEC_RECORD(drvif_fpga_set_rec, eid, 0),
    MSGCODEC_TEXT(drvif_fpga_set_rec, path, 1),
    MSGCODEC_INT(drvif_fpga_set_rec, req_major, 2),
    MSGCODEC_INT(drvif_fpga_set_rec, req_minor, 3),
    MSGCODEC_INT(drvif_fpga_set_rec, toggle, 4),
};
MSGCODEC_DEFINE(drvif_fpga_set_rec, drvif_fpga_set_rec, present, kFpgaSetRec)

constexpr msgcodec_field kSetFpgaInfoReq[] = {
    MSGCODEC_RECORD_LIST(drvif_set_fpga_info_req, entry, entry_count, 0),
    MSGCODEC_INT_LIST(drvif_set_fpga_info_req, op, op_count, 1),
};
MSGCODEC_DEFINE(drvif_set_fpga_info_req, drvif_set_fpga_info_req, present, kSetFpgaInfoReq)

constexpr msgcodec_field kSetSensorRec[] = {
    MSGCODEC_RECORD(drvif_set_sensor_rec, eid, 0),
    MSGCODEC_INT(drvif_set_sensor_rec, op, 1),
    MSGCODEC_INT(drvif_set_sensor_rec, value, 2),
    MSGCODEC_INT(drvif_set_sensor_rec, kind, 3),
    MSGCODEC_INT(drvif_set_sensor_rec, word4, 4),
    MSGCODEC_INT(drvif_set_sensor_rec, word5, 5),
};
MSGCODEC_DEFINE(drvif_set_sensor_rec, drvif_set_sensor_rec, present, kSetSensorRec)

constexpr msgcodec_field kSetSensorReq[] = {
    MSGCODEC_RECORD_LIST(drvif_set_sensor_req, entry, entry_count, 0),
};
MSGCODEC_DEFINE(drvif_set_sensor_req, drvif_set_sensor_req, present, kSetSensorReq)

constexpr msgcodec_field kShutSlotReq[] = {
    MSGCODEC_INT(drvif_shut_slot_req, slot, 0),
};
MSGCODEC_DEFINE(drvif_shut_slot_req, drvif_shut_slot_req, present, kShutSlotReq)

constexpr msgcodec_field kRackNumReq[] = {
    MSGCODEC_INT(drvif_rack_num_req, rack, 0),
};
MSGCODEC_DEFINE(drvif_rack_num_req, drvif_rack_num_req, present, kRackNumReq)

constexpr msgcodec_field kNotifAck[] = {
    MSGCODEC_INT(drvif_notif_ack, reserved, 0),
};
MSGCODEC_DEFINE(drvif_notif_ack, drvif_notif_ack, present, kNotifAck)

namespace drvif_wire {

namespace {
struct Msg {
  uint32_t id;
  const msgcodec_type* type;
  const char* name;
};
constexpr Msg kMsgs[] = {
    {kEidRegister, &msgcodec_type_drvif_eid_register_req, "eid_register"},
    {kEidUnregister, &msgcodec_type_drvif_eid_register_req, "eid_unregister"},
    {kEidConfigPolling, &msgcodec_type_drvif_eid_config_polling_req, "eid_config_polling"},
    {kSetSensorInfo, &msgcodec_type_drvif_set_sensor_req, "set_sensor_info"},
    {kSetAuxSensorInfo, &msgcodec_type_drvif_set_sensor_req, "set_auxiliary_sensor_info"},
    {kGetFpgaInfo, &msgcodec_type_drvif_eid_list_req, "get_fpga_info"},
    {kSetFpgaInfo, &msgcodec_type_drvif_set_fpga_info_req, "set_fpga_info"},
    {kSetShutSlotInfo, &msgcodec_type_drvif_shut_slot_req, "set_shut_slot_info"},
    {kSendRackNum, &msgcodec_type_drvif_rack_num_req, "send_rack_num"},
    {kNotifFpgaDataAck, &msgcodec_type_drvif_notif_ack, "notif_fpga_data_ack"},
    {kRespEidRegister, &msgcodec_type_drvif_eid_register_resp, "resp_eid_register"},
    {kRespEidConfigPolling, &msgcodec_type_drvif_eid_ack_resp, "resp_eid_config_polling"},
    {kRespSetSensorInfo, &msgcodec_type_drvif_eid_ack_resp, "resp_set_sensor_info"},
    {kRespSetAuxSensorInfo, &msgcodec_type_drvif_eid_ack_resp, "resp_set_auxiliary_sensor_info"},
    {kRespGetFpgaInfo, &msgcodec_type_drvif_fpga_data_msg, "resp_get_fpga_info"},
    {kRespSetFpgaInfo, &msgcodec_type_drvif_eid_ack_resp, "resp_set_fpga_info"},
    {kNotifyEidData, &msgcodec_type_drvif_eid_data_msg, "notify_eid_data"},
    {kNotifySensorData, &msgcodec_type_drvif_sensor_data_msg, "notify_sensor_data"},
    {kNotifyLedData, &msgcodec_type_drvif_led_data_msg, "notify_led_data"},
    {kNotifyFpgaData, &msgcodec_type_drvif_fpga_data_msg, "notify_fpga_data"},
};
}  // namespace

const msgcodec_type* payload_type(uint32_t id) {
  for (const auto& m : kMsgs)
    if (m.id == id) return m.type;
  return nullptr;
}

const char* name(uint32_t id) {
  for (const auto& m : kMsgs)
    if (m.id == id) return m.name;
  return "unknown";
}

}  // namespace drvif_wire

// Field tables of the card manager's records and its service table.
#include "card_mgr.h"
#include "card_mgr_wire.h"
#include "msgcodec_define.h"

namespace {

constexpr msgcodec_field kCardInfo[] = {
    MSGCODEC_INT(card_mgr_cardinfo_msg, slot, 0),
    MSGCODEC_INT(card_mgr_cardinfo_msg, pi_card_type, 1),
    MSGCODEC_INT(card_mgr_cardinfo_msg, card_type, 2),
    MSGCODEC_TEXT(card_mgr_cardinfo_msg, pid, 3),
    MSGCODEC_TEXT(card_mgr_cardinfo_msg, serial, 4),
    MSGCODEC_INT(card_mgr_cardinfo_msg, hw_ver_major, 5),
    MSGCODEC_INT(card_mgr_cardinfo_msg, hw_ver_minor, 6),
};
constexpr msgcodec_field kChassisInfo[] = {
    MSGCODEC_INT(card_mgr_chassisinfo_msg, pi_chassis_type, 0),
    MSGCODEC_TEXT(card_mgr_chassisinfo_msg, serial, 1),
    MSGCODEC_INT(card_mgr_chassisinfo_msg, pd_chassis_type, 2),
    MSGCODEC_INT(card_mgr_chassisinfo_msg, hw_ver_major, 3),
    MSGCODEC_INT(card_mgr_chassisinfo_msg, hw_ver_minor, 4),
    MSGCODEC_TEXT(card_mgr_chassisinfo_msg, pid, 5),
};
constexpr msgcodec_field kInfoReq[] = {
    MSGCODEC_INT(card_mgr_info_req, reserved, 0),
};
constexpr msgcodec_field kLocation[] = {
    MSGCODEC_INT(cm_card_location, rack, 0),
    MSGCODEC_INT(cm_card_location, slot, 1),
};

}  // namespace

// Nested types first: their tables are looked up through the struct's codec name.
MSGCODEC_DEFINE(cm_card_location, cm_card_location, present, kLocation)

namespace {

constexpr msgcodec_field kCardInfoRec[] = {
    MSGCODEC_INT(cm_card_info, event_type, 0),
    MSGCODEC_TEXT(cm_card_info, location_name, 1),
    MSGCODEC_RECORD_LIST(cm_card_info, card_loc, card_loc_count, 2),
    MSGCODEC_INT(cm_card_info, card_type, 3),
    MSGCODEC_INT(cm_card_info, card_state, 4),
    MSGCODEC_TEXT(cm_card_info, pid, 5),
    MSGCODEC_INT(cm_card_info, sub_card_type, 6),
    MSGCODEC_INT(cm_card_info, sw_card_state, 7),
};

}  // namespace

MSGCODEC_DEFINE(cm_card_info, cm_card_info, present, kCardInfoRec)

namespace {

constexpr msgcodec_field kObjectData[] = {
    MSGCODEC_RECORD_LIST(cm_object_data_msg, card_info, card_info_count, 0),
};
constexpr msgcodec_field kFilter[] = {
    MSGCODEC_INT_LIST(cm_card_obj_filter, slots, slot_count, 0),
    MSGCODEC_INT_LIST(cm_card_obj_filter, card_types, card_type_count, 1),
    MSGCODEC_INT_LIST(cm_card_obj_filter, event_types, event_type_count, 2),
    MSGCODEC_INT(cm_card_obj_filter, all_cards, 3),
};

}  // namespace

MSGCODEC_DEFINE(cm_object_data_msg, cm_object_data_msg, present, kObjectData)
MSGCODEC_DEFINE(cm_card_obj_filter, cm_card_obj_filter, present, kFilter)

namespace {

constexpr msgcodec_field kRegisterReq[] = {
    MSGCODEC_RECORD_LIST(cm_object_register_req, card_filter, card_filter_count, 0),
};
constexpr msgcodec_field kRegisterResp[] = {
    MSGCODEC_INT(cm_object_register_resp, result, 0),
};

}  // namespace

MSGCODEC_DEFINE(card_mgr_cardinfo_msg, card_mgr_cardinfo_msg, present, kCardInfo)
MSGCODEC_DEFINE(card_mgr_chassisinfo_msg, card_mgr_chassisinfo_msg, present, kChassisInfo)
MSGCODEC_DEFINE(card_mgr_info_req, card_mgr_info_req, present, kInfoReq)
MSGCODEC_DEFINE(cm_object_register_req, cm_object_register_req, present, kRegisterReq)
MSGCODEC_DEFINE(cm_object_register_resp, cm_object_register_resp, present, kRegisterResp)

namespace card_mgr_wire {

namespace {
constexpr simsvc::Message kMessages[] = {
    {kCardInfoRequest, &msgcodec_type_card_mgr_info_req, "cardinfo-request"},
    {kCardInfo, &msgcodec_type_card_mgr_cardinfo_msg, "cardinfo"},
    {kChassisInfoRequest, &msgcodec_type_card_mgr_info_req, "chassisinfo-request"},
    {kChassisInfo, &msgcodec_type_card_mgr_chassisinfo_msg, "chassisinfo"},
    {kObjectRegister, &msgcodec_type_cm_object_register_req, "object-register"},
    {kObjectRegistered, &msgcodec_type_cm_object_register_resp, "object-registered"},
    {kObjectData, &msgcodec_type_cm_object_data_msg, "object-data"},
    {kObjectUnregister, &msgcodec_type_cm_object_register_req, "object-unregister"},
    {kObjectUnregistered, &msgcodec_type_cm_object_register_resp, "object-unregistered"},
};
}  // namespace

const simsvc::Service kService = simsvc::make_service("card_mgr", kMessages);

}  // namespace card_mgr_wire

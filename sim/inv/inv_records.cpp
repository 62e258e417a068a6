// Field tables of the inventory-service records (inv.h).
#include "inv.h"
#include "msgcodec_define.h"

constexpr msgcodec_field kEventRegFields[] = {
    MSGCODEC_INT(inv_event_reg_req, type, 0),
    MSGCODEC_INT(inv_event_reg_req, subtype, 1),
    MSGCODEC_INT(inv_event_reg_req, all, 2),
    MSGCODEC_INT(inv_event_reg_req, event, 3),
};
MSGCODEC_DEFINE(inv_event_reg_req, inv_event_reg_req, present, kEventRegFields)

constexpr msgcodec_field kFruEventRegFields[] = {
    MSGCODEC_TEXT(inv_fru_event_reg_req, client_name, 0),
    MSGCODEC_INT(inv_fru_event_reg_req, value1, 1),
    MSGCODEC_INT(inv_fru_event_reg_req, value2, 2),
    MSGCODEC_INT(inv_fru_event_reg_req, value3, 3),
    MSGCODEC_INT(inv_fru_event_reg_req, value4, 4),
};
MSGCODEC_DEFINE(inv_fru_event_reg_req, inv_fru_event_reg_req, present, kFruEventRegFields)

constexpr msgcodec_field kDataReqFields[] = {
    MSGCODEC_INT(inv_data_req, type, 0),
    MSGCODEC_INT(inv_data_req, subtype, 1),
    MSGCODEC_RECORD(inv_data_req, eid, 2),
};
MSGCODEC_DEFINE(inv_data_req, inv_data_req, present, kDataReqFields)

constexpr msgcodec_field kEventAckFields[] = {
    MSGCODEC_INT(inv_event_ack, ack, 0),
};
MSGCODEC_DEFINE(inv_event_ack, inv_event_ack, present, kEventAckFields)

constexpr msgcodec_field kFruPowerRecFields[] = {
    MSGCODEC_RECORD(inv_fru_power_rec, eid, 0),
    MSGCODEC_INT(inv_fru_power_rec, power_allocated, 1),
    MSGCODEC_INT(inv_fru_power_rec, fru_power_status, 2),
    MSGCODEC_INT(inv_fru_power_rec, hw_type, 3),
    MSGCODEC_TEXT(inv_fru_power_rec, pid, 4),
};
MSGCODEC_DEFINE(inv_fru_power_rec, inv_fru_power_rec, present, kFruPowerRecFields)

constexpr msgcodec_field kFruPowerListFields[] = {
    MSGCODEC_RECORD_LIST(inv_fru_power_list, recs, count, 0),
};
MSGCODEC_DEFINE(inv_fru_power_list, inv_fru_power_list, present, kFruPowerListFields)

constexpr msgcodec_field kThresholdFields[] = {
    MSGCODEC_INT(inv_threshold_data, minor_low, 0),
    MSGCODEC_INT(inv_threshold_data, minor_high, 1),
    MSGCODEC_INT(inv_threshold_data, major_low, 2),
    MSGCODEC_INT(inv_threshold_data, major_high, 3),
    MSGCODEC_INT(inv_threshold_data, critical_low, 4),
    MSGCODEC_INT(inv_threshold_data, critical_high, 5),
};
MSGCODEC_DEFINE(inv_threshold_data, inv_threshold_data, present, kThresholdFields)

constexpr msgcodec_field kSensorValueFields[] = {
    MSGCODEC_RECORD(inv_sensor_value, eid, 0),
    MSGCODEC_TEXT(inv_sensor_value, name, 1),
    MSGCODEC_INT(inv_sensor_value, value, 2),
    MSGCODEC_INT(inv_sensor_value, last_value, 3),
    MSGCODEC_INT(inv_sensor_value, state, 4),
    MSGCODEC_INT(inv_sensor_value, last_state, 5),
    MSGCODEC_INT(inv_sensor_value, update_rate, 6),
    MSGCODEC_INT(inv_sensor_value, oper_state, 7),
    MSGCODEC_INT(inv_sensor_value, timestamp, 8),
    MSGCODEC_INT(inv_sensor_value, data_word, 9),
    MSGCODEC_RECORD(inv_sensor_value, thresholds, 10),
    MSGCODEC_INT(inv_sensor_value, thresholds_invalid, 11),
};
MSGCODEC_DEFINE(inv_sensor_value, inv_sensor_value, present, kSensorValueFields)

constexpr msgcodec_field kLocationFields[] = {
    MSGCODEC_TEXT(inv_location, location, 0),
    MSGCODEC_INT(inv_location, slot, 1),
    MSGCODEC_INT(inv_location, card_type, 2),
    MSGCODEC_TEXT(inv_location, fru_name, 3),
};
MSGCODEC_DEFINE(inv_location, inv_location, present, kLocationFields)

constexpr msgcodec_field kBaseDataFields[] = {
    MSGCODEC_RECORD(inv_base_data, eid, 0),
    MSGCODEC_RECORD(inv_base_data, location, 1),
    MSGCODEC_TEXT(inv_base_data, name, 2),
    MSGCODEC_INT(inv_base_data, oper_state, 3),
};
MSGCODEC_DEFINE(inv_base_data, inv_base_data, present, kBaseDataFields)

constexpr msgcodec_field kNotifyFields[] = {
    MSGCODEC_INT(inv_notify_event_data, event, 0),
    MSGCODEC_RECORD(inv_notify_event_data, value, 1),
    MSGCODEC_RECORD(inv_notify_event_data, base, 2),
};
MSGCODEC_DEFINE(inv_notify_event_data, inv_notify_event_data, present, kNotifyFields)

constexpr msgcodec_field kMpaDataFields[] = {
    MSGCODEC_INT(inv_mpa_data, slot_id, 0),
    MSGCODEC_INT(inv_mpa_data, pd_card_type, 1),
    MSGCODEC_TEXT(inv_mpa_data, pid, 2),
    MSGCODEC_RECORD(inv_mpa_data, fru_eid, 3),
};
MSGCODEC_DEFINE(inv_mpa_data, inv_mpa_data, present, kMpaDataFields)

constexpr msgcodec_field kFruOirFields[] = {
    MSGCODEC_INT(inv_fru_oir_event, op, 0),
    MSGCODEC_INT(inv_fru_oir_event, fru_kind, 1),
    MSGCODEC_INT(inv_fru_oir_event, slot, 2),
    MSGCODEC_INT(inv_fru_oir_event, pi_type, 3),
    MSGCODEC_RECORD(inv_fru_oir_event, cont_eid, 4),
    MSGCODEC_RECORD(inv_fru_oir_event, mpa, 5),
};
MSGCODEC_DEFINE(inv_fru_oir_event, inv_fru_oir_event, present, kFruOirFields)

constexpr msgcodec_field kDataGroupFields[] = {
    MSGCODEC_INT(inv_data_group, type, 0),
    MSGCODEC_INT(inv_data_group, subtype, 1),
    MSGCODEC_RECORD_LIST(inv_data_group, sensors, sensor_count, 2),
};
MSGCODEC_DEFINE(inv_data_group, inv_data_group, present, kDataGroupFields)

constexpr msgcodec_field kSensorAttrFields[] = {
    MSGCODEC_INT(inv_sensor_attribute, current_value, 0),
    MSGCODEC_INT(inv_sensor_attribute, last_value, 1),
    MSGCODEC_INT(inv_sensor_attribute, timestamp, 2),
};
MSGCODEC_DEFINE(inv_sensor_attribute, inv_sensor_attribute, present, kSensorAttrFields)

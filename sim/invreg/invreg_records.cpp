// Field tables of the inventory-registration records. Presence bits follow
// the field order of each struct (invreg.h).
#include "invreg.h"
#include "msgcodec_define.h"

#define F_INT(T, m, b) MSGCODEC_INT(T, m, b)
#define F_EID(T, m, b) MSGCODEC_RECORD(T, m, b)

constexpr msgcodec_field kEepromFields[] = {
    F_INT(invreg_eeprom_data, version, INVREG_EEPROM_F_VERSION),
    MSGCODEC_FIXED_TEXT(invreg_eeprom_data, eeprom_rev, INVREG_EEPROM_F_EEPROM_REV),
    F_INT(invreg_eeprom_data, board_id, INVREG_EEPROM_F_BOARD_ID),
    MSGCODEC_FIXED_TEXT(invreg_eeprom_data, pid, INVREG_EEPROM_F_PID),
    MSGCODEC_FIXED_TEXT(invreg_eeprom_data, vid, INVREG_EEPROM_F_VID),
    MSGCODEC_FIXED_TEXT(invreg_eeprom_data, pcb_serial, INVREG_EEPROM_F_PCB_SERIAL),
    MSGCODEC_FIXED_TEXT(invreg_eeprom_data, clei, INVREG_EEPROM_F_CLEI),
    MSGCODEC_FIXED_TEXT(invreg_eeprom_data, part_num, INVREG_EEPROM_F_PART_NUM),
    MSGCODEC_FIXED_TEXT(invreg_eeprom_data, descr, INVREG_EEPROM_F_DESCR),
    MSGCODEC_FIXED_TEXT(invreg_eeprom_data, hw_rev, INVREG_EEPROM_F_HW_REV),
    MSGCODEC_FIXED_TEXT(invreg_eeprom_data, pcb_rev, INVREG_EEPROM_F_PCB_REV),
    MSGCODEC_FIXED_TEXT(invreg_eeprom_data, mfg_date, INVREG_EEPROM_F_MFG_DATE),
    MSGCODEC_FIXED_TEXT(invreg_eeprom_data, ship_date, INVREG_EEPROM_F_SHIP_DATE),
    MSGCODEC_FIXED_TEXT(invreg_eeprom_data, asset_id, INVREG_EEPROM_F_ASSET_ID),
    MSGCODEC_FIXED_TEXT(invreg_eeprom_data, asset_alias, INVREG_EEPROM_F_ASSET_ALIAS),
    F_INT(invreg_eeprom_data, asset_flags, INVREG_EEPROM_F_ASSET_FLAGS),
    MSGCODEC_BYTES(invreg_eeprom_data, raw_eeprom, raw_eeprom_len, INVREG_EEPROM_F_RAW),
    F_INT(invreg_eeprom_data, eeprom_size, INVREG_EEPROM_F_SIZE),
};
MSGCODEC_DEFINE(invreg_eeprom_data, invreg_eeprom_data, present, kEepromFields)

constexpr msgcodec_field kEidListFields[] = {
    MSGCODEC_RECORD_LIST(invreg_eid_list_req, eids, eid_count, 0),
};
MSGCODEC_DEFINE(invreg_eid_list_req, invreg_eid_list_req, present, kEidListFields)

constexpr msgcodec_field kContainerInfoFields[] = {
    F_EID(invreg_container_info, eid, 0),
    F_INT(invreg_container_info, logic_slot, 1),
};
MSGCODEC_DEFINE(invreg_container_info, invreg_container_info, present, kContainerInfoFields)

constexpr msgcodec_field kContainerReqFields[] = {
    MSGCODEC_RECORD(invreg_container_req, container, 0),
};
MSGCODEC_DEFINE(invreg_container_req, invreg_container_req, present, kContainerReqFields)

constexpr msgcodec_field kEventDataFields[] = {
    F_EID(invreg_event_data, eid, 0),
    F_INT(invreg_event_data, event_type, 1),
    F_INT(invreg_event_data, event_state, 2),
    MSGCODEC_TEXT(invreg_event_data, descr, 3),
};
MSGCODEC_DEFINE(invreg_event_data, invreg_event_data, present, kEventDataFields)

constexpr msgcodec_field kFruTypeFields[] = {
    F_EID(invreg_fru_type_req, eid, 0),
    F_INT(invreg_fru_type_req, fru_type, 1),
    F_INT(invreg_fru_type_req, pd_type, 2),
    F_INT(invreg_fru_type_req, slot, 3),
    MSGCODEC_TEXT(invreg_fru_type_req, serial_num, 4),
    F_INT(invreg_fru_type_req, reg_flag, 5),
    MSGCODEC_TEXT(invreg_fru_type_req, name, 6),
    MSGCODEC_RECORD(invreg_fru_type_req, event, 7),
};
MSGCODEC_DEFINE(invreg_fru_type_req, invreg_fru_type_req, present, kFruTypeFields)

constexpr msgcodec_field kFruUnregFields[] = {
    F_EID(invreg_fru_unreg_req, eid, 0),
    F_INT(invreg_fru_unreg_req, fru_type, 1),
    F_INT(invreg_fru_unreg_req, slot, 2),
};
MSGCODEC_DEFINE(invreg_fru_unreg_req, invreg_fru_unreg_req, present, kFruUnregFields)

constexpr msgcodec_field kContainerLocationFields[] = {
    F_INT(invreg_container_location_req, id, 0),
    F_EID(invreg_container_location_req, eid, 1),
    MSGCODEC_TEXT(invreg_container_location_req, location, 2),
};
MSGCODEC_DEFINE(invreg_container_location_req, invreg_container_location_req, present,
                kContainerLocationFields)

constexpr msgcodec_field kEepromReqFields[] = {
    F_EID(invreg_eeprom_req, eid, 0),
    MSGCODEC_RECORD(invreg_eeprom_req, eeprom, 1),
};
MSGCODEC_DEFINE(invreg_eeprom_req, invreg_eeprom_req, present, kEepromReqFields)

constexpr msgcodec_field kThresholdFields[] = {
    F_INT(invreg_threshold, critical_low, 0), F_INT(invreg_threshold, critical_high, 1),
    F_INT(invreg_threshold, major_low, 2),    F_INT(invreg_threshold, major_high, 3),
    F_INT(invreg_threshold, minor_low, 4),    F_INT(invreg_threshold, minor_high, 5),
};
MSGCODEC_DEFINE(invreg_threshold, invreg_threshold, present, kThresholdFields)

constexpr msgcodec_field kTempFields[] = {
    F_EID(invreg_temp_data, eid, 0),
    F_INT(invreg_temp_data, value, 1),
    F_INT(invreg_temp_data, last_value, 2),
    F_INT(invreg_temp_data, timestamp, 3),
    F_INT(invreg_temp_data, pd_state, 4),
    F_INT(invreg_temp_data, pd_last_state, 5),
    F_INT(invreg_temp_data, update_rate, 6),
    F_INT(invreg_temp_data, trap, 7),
    MSGCODEC_RECORD(invreg_temp_data, threshold, 8),
};
MSGCODEC_DEFINE(invreg_temp_data, invreg_temp_data, present, kTempFields)

constexpr msgcodec_field kFanFields[] = {
    F_EID(invreg_fan_data, eid, 0),
    F_INT(invreg_fan_data, value, 1),
    F_INT(invreg_fan_data, timestamp, 2),
    F_INT(invreg_fan_data, trap, 3),
    MSGCODEC_RECORD(invreg_fan_data, threshold, 4),
};
MSGCODEC_DEFINE(invreg_fan_data, invreg_fan_data, present, kFanFields)

constexpr msgcodec_field kVoltageFields[] = {
    F_EID(invreg_voltage_data, eid, 0),
    F_INT(invreg_voltage_data, value, 1),
    F_INT(invreg_voltage_data, timestamp, 2),
    F_INT(invreg_voltage_data, alarm, 3),
    F_INT(invreg_voltage_data, trap, 4),
};
MSGCODEC_DEFINE(invreg_voltage_data, invreg_voltage_data, present, kVoltageFields)

constexpr msgcodec_field kSensorDataFields[] = {
    F_EID(invreg_sensor_data, eid, 0),
    F_INT(invreg_sensor_data, value, 1),
    F_INT(invreg_sensor_data, timestamp, 2),
    F_INT(invreg_sensor_data, trap, 3),
};
MSGCODEC_DEFINE(invreg_sensor_data, invreg_sensor_data, present, kSensorDataFields)

constexpr msgcodec_field kLedFields[] = {
    F_EID(invreg_led_status, eid, 0),
    F_INT(invreg_led_status, led_kind, 1),
    F_INT(invreg_led_status, color, 2),
    F_INT(invreg_led_status, timestamp, 3),
};
MSGCODEC_DEFINE(invreg_led_status, invreg_led_status, present, kLedFields)

constexpr msgcodec_field kFruPowerFields[] = {
    F_EID(invreg_fru_power_info, eid, 0),
    F_INT(invreg_fru_power_info, power_allocated, 1),
    F_INT(invreg_fru_power_info, status, 2),
    F_INT(invreg_fru_power_info, fru_current, 3),
    F_INT(invreg_fru_power_info, is_producer, 4),
};
MSGCODEC_DEFINE(invreg_fru_power_info, invreg_fru_power_info, present, kFruPowerFields)

constexpr msgcodec_field kSystemPowerFields[] = {
    F_EID(invreg_system_power_info, eid, 0),
    F_INT(invreg_system_power_info, usable_pwr, 1),
    F_INT(invreg_system_power_info, prot_pwr, 2),
    F_INT(invreg_system_power_info, resrv_n_alloc_pwr, 3),
    F_INT(invreg_system_power_info, cnf_pwr_red_mode, 4),
    F_INT(invreg_system_power_info, act_pwr_red_mode, 5),
    F_INT(invreg_system_power_info, reserved, 6),
};
MSGCODEC_DEFINE(invreg_system_power_info, invreg_system_power_info, present, kSystemPowerFields)

constexpr msgcodec_field kEidNameFields[] = {
    F_INT(invreg_eid_name, seq_num, 0),
    F_EID(invreg_eid_name, eid, 1),
    MSGCODEC_TEXT(invreg_eid_name, name, 2),
};
MSGCODEC_DEFINE(invreg_eid_name, invreg_eid_name, present, kEidNameFields)

constexpr msgcodec_field kEidDescrFields[] = {
    F_EID(invreg_eid_descr, eid, 0),
    MSGCODEC_TEXT(invreg_eid_descr, descr, 1),
};
MSGCODEC_DEFINE(invreg_eid_descr, invreg_eid_descr, present, kEidDescrFields)

constexpr msgcodec_field kFruPrefixFields[] = {
    F_EID(invreg_fru_prefix, eid, 0),
    MSGCODEC_TEXT(invreg_fru_prefix, prefix, 1),
};
MSGCODEC_DEFINE(invreg_fru_prefix, invreg_fru_prefix, present, kFruPrefixFields)

constexpr msgcodec_field kBaseDataFields[] = {
    F_EID(invreg_eid_base_data, eid, 0),
    F_INT(invreg_eid_base_data, hidden, 1),
};
MSGCODEC_DEFINE(invreg_eid_base_data, invreg_eid_base_data, present, kBaseDataFields)

constexpr msgcodec_field kEntityStateFields[] = {
    F_EID(invreg_entity_state, eid, 0),
    F_INT(invreg_entity_state, state, 1),
};
MSGCODEC_DEFINE(invreg_entity_state, invreg_entity_state, present, kEntityStateFields)

constexpr msgcodec_field kEntityStateListFields[] = {
    MSGCODEC_RECORD_LIST(invreg_entity_state_list, entries, count, 0),
};
MSGCODEC_DEFINE(invreg_entity_state_list, invreg_entity_state_list, present,
                kEntityStateListFields)

constexpr msgcodec_field kFpgaFields[] = {
    F_EID(invreg_fpga_data, eid, 0),
    F_INT(invreg_fpga_data, fpd_size, 1),
    F_INT(invreg_fpga_data, is_upgradable, 2),
    F_INT(invreg_fpga_data, hw_ver_major, 3),
    F_INT(invreg_fpga_data, hw_ver_minor, 4),
    F_INT(invreg_fpga_data, fpd_ver_major, 5),
    F_INT(invreg_fpga_data, fpd_ver_minor, 6),
    F_INT(invreg_fpga_data, spi_flash, 7),
    F_INT(invreg_fpga_data, state, 8),
    F_INT(invreg_fpga_data, fw_ver_major, 9),
    F_INT(invreg_fpga_data, fw_ver_minor, 10),
    F_INT(invreg_fpga_data, image_attr, 11),
};
MSGCODEC_DEFINE(invreg_fpga_data, invreg_fpga_data, present, kFpgaFields)

constexpr msgcodec_field kPemStatusFields[] = {
    F_EID(invreg_pem_status_data, eid, 0),
    F_INT(invreg_pem_status_data, hours_used, 1),
    F_INT(invreg_pem_status_data, fault_status, 2),
    F_INT(invreg_pem_status_data, psm_state, 3),
    F_INT(invreg_pem_status_data, pd_state, 4),
    F_INT(invreg_pem_status_data, capacity, 5),
};
MSGCODEC_DEFINE(invreg_pem_status_data, invreg_pem_status_data, present, kPemStatusFields)

constexpr msgcodec_field kAckFields[] = {
    F_EID(invreg_ack, eid, 0),
    F_INT(invreg_ack, ack, 1),
};
MSGCODEC_DEFINE(invreg_ack, invreg_ack, present, kAckFields)

constexpr msgcodec_field kMultiAckFields[] = {
    MSGCODEC_RECORD_LIST(invreg_multi_ack, eids, eid_count, 0),
    MSGCODEC_INT_LIST(invreg_multi_ack, acks, ack_count, 1),
};
MSGCODEC_DEFINE(invreg_multi_ack, invreg_multi_ack, present, kMultiAckFields)

constexpr msgcodec_field kStateAckFields[] = {
    MSGCODEC_RECORD_LIST(invreg_entity_state_ack, entries, count, 0),
};
MSGCODEC_DEFINE(invreg_entity_state_ack, invreg_entity_state_ack, present, kStateAckFields)

constexpr msgcodec_field kSetHwStateReqFields[] = {
    F_INT(invreg_set_hw_state_req, slot, 0),
    F_INT(invreg_set_hw_state_req, state, 1),
};
MSGCODEC_DEFINE(invreg_set_hw_state_req, invreg_set_hw_state_req, present, kSetHwStateReqFields)

constexpr msgcodec_field kSetHwStateRespFields[] = {
    F_EID(invreg_set_hw_state_resp, eid, 0),
    F_INT(invreg_set_hw_state_resp, state, 1),
    F_INT(invreg_set_hw_state_resp, result, 2),
};
MSGCODEC_DEFINE(invreg_set_hw_state_resp, invreg_set_hw_state_resp, present,
                kSetHwStateRespFields)

constexpr msgcodec_field kFpgaReqFields[] = {
    F_EID(invreg_fpga_data_req, eid, 0),
};
MSGCODEC_DEFINE(invreg_fpga_data_req, invreg_fpga_data_req, present, kFpgaReqFields)

constexpr msgcodec_field kHelloFields[] = {
    F_INT(invreg_hello, scope, 0),
};
MSGCODEC_DEFINE(invreg_hello, invreg_hello, present, kHelloFields)

// The message table of the inventory-registration service.
#include "invreg_wire.h"

#include <iterator>
#include <vector>

namespace invreg_wire {

#define M(id, rec) {id, &msgcodec_type_##rec, #id}
const Message kMessages[] = {
    M(kRegisterEid, invreg_eid_list_req),
    M(kRegisterEidResp, invreg_multi_ack),
    M(kUnregisterEid, invreg_eid_list_req),
    M(kUnregisterEidResp, invreg_multi_ack),
    M(kRegisterContainer, invreg_container_req),
    M(kRegisterContainerResp, invreg_ack),
    M(kRegisterFruType, invreg_fru_type_req),
    M(kRegisterFruTypeResp, invreg_ack),
    M(kUnregisterFruType, invreg_fru_unreg_req),
    M(kUnregisterFruTypeResp, invreg_ack),
    M(kContainerLocation, invreg_container_location_req),
    M(kContainerLocationResp, invreg_ack),
    M(kEepromData, invreg_eeprom_req),
    M(kEepromDataResp, invreg_ack),
    M(kDataUpdateStatus, invreg_ack),
    M(kTempData, invreg_temp_data),
    M(kFanData, invreg_fan_data),
    M(kVoltageData, invreg_voltage_data),
    M(kCurrentData, invreg_sensor_data),
    M(kPowerUsageData, invreg_sensor_data),
    M(kLedStatus, invreg_led_status),
    M(kLedStatusResp, invreg_ack),
    M(kFruPowerInfo, invreg_fru_power_info),
    M(kFruPowerInfoResp, invreg_ack),
    M(kSystemPowerInfo, invreg_system_power_info),
    M(kSystemPowerInfoResp, invreg_ack),
    M(kOperState, invreg_entity_state_list),
    M(kPowerAdminState, invreg_entity_state_list),
    M(kPowerOperState, invreg_entity_state_list),
    M(kEntityStateResp, invreg_entity_state_ack),
    M(kEventData, invreg_event_data),
    M(kEventDataResp, invreg_ack),
    M(kEidName, invreg_eid_name),
    M(kEidNameResp, invreg_ack),
    M(kEidDescr, invreg_eid_descr),
    M(kEidDescrResp, invreg_ack),
    M(kFruPrefix, invreg_fru_prefix),
    M(kFruPrefixResp, invreg_ack),
    M(kEidBaseData, invreg_eid_base_data),
    M(kFpgaData, invreg_fpga_data),
    M(kFpgaDataResp, invreg_ack),
    M(kPemStatus, invreg_pem_status_data),
    M(kPemStatusResp, invreg_ack),
    M(kSetHwStateReq, invreg_set_hw_state_req),
    M(kSetHwStateResp, invreg_set_hw_state_resp),
    M(kGetFpgaDataReq, invreg_fpga_data_req),
    M(kGetFpgaDataResp, invreg_fpga_data),
    M(kHello, invreg_hello),
};
#undef M
const size_t kMessageCount = std::size(kMessages);

const Message* find(uint32_t id) {
  for (const Message& m : kMessages)
    if (m.id == id) return &m;
  return nullptr;
}

namespace {
constexpr uint32_t kLoopback = 0x7f000001;
constexpr uint32_t kScopePortBase = 47000;
}  // namespace

msgpipe_endpoint scope_endpoint(uint32_t scope) {
  msgpipe_endpoint ep{};
  msgpipe_endpoint_set(&ep, kLoopback, kScopePortBase + scope);
  return ep;
}

bool scope_of_endpoint(const msgpipe_endpoint& endpoint, uint32_t* scope) {
  for (uint32_t s : {1u, 3u}) {
    const msgpipe_endpoint ep = scope_endpoint(s);
    if (!msgpipe_endpoint_equals(&ep, &endpoint)) continue;
    if (scope != nullptr) *scope = s;
    return true;
  }
  return false;
}

const simsvc::Service& service() {
  static const std::vector<simsvc::Message> messages = [] {
    std::vector<simsvc::Message> v;
    for (const Message& m : kMessages) v.push_back(simsvc::Message{m.id, m.type, m.name});
    return v;
  }();
  static const simsvc::Service s{INVREG_SERVICE_NAME, messages.data(), messages.size()};
  return s;
}

}  // namespace invreg_wire

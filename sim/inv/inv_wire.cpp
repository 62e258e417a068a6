// The message table of the inventory service.
#include "inv_wire.h"

#include <iterator>
#include <vector>

namespace inv_wire {

#define M(id, rec) {id, &msgcodec_type_##rec, #id}
const Message kMessages[] = {
    M(kRegisterEvent, inv_event_reg_req),
    M(kRegisterEventResp, inv_event_ack),
    M(kRegisterFruEvent, inv_fru_event_reg_req),
    M(kRegisterFruEventResp, inv_event_ack),
    M(kFruPowerInfo, inv_data_req),
    M(kFruPowerInfoResp, inv_fru_power_list),
    M(kDataGroup, inv_data_req),
    M(kDataGroupResp, inv_data_group),
    M(kNotifyEvent, inv_notify_event_data),
    M(kNotifyFruOir, inv_fru_oir_event),
};
#undef M
const size_t kMessageCount = std::size(kMessages);

const Message* find(uint32_t id) {
  for (const Message& m : kMessages)
    if (m.id == id) return &m;
  return nullptr;
}

msgpipe_endpoint offer_endpoint() {
  msgpipe_endpoint ep{};
  msgpipe_endpoint_set(&ep, 0x7f000001, 47010);
  return ep;
}

const simsvc::Service& service() {
  static const std::vector<simsvc::Message> messages = [] {
    std::vector<simsvc::Message> v;
    for (const Message& m : kMessages) v.push_back(simsvc::Message{m.id, m.type, m.name});
    return v;
  }();
  static const simsvc::Service s{INV_SERVICE_NAME, messages.data(), messages.size()};
  return s;
}

}  // namespace inv_wire

// The message table of the inventory service.
#include "inv_wire.h"

#include <iterator>

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

}  // namespace inv_wire

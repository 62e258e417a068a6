// The inventory model: requests of both services, the database they fill,
// and the events it publishes.
#include <inttypes.h>
#include <stdio.h>
#include <string.h>

#include <algorithm>
#include <tuple>

#include "inv_wire.h"
#include "invdb.h"
#include "invreg_wire.h"

namespace invdb {

namespace w = invreg_wire;

bool ack_is_accepted(uint32_t code) {
  return code == 1 || code == 3 || code == 4 || code == 12 || code == 17;
}

namespace {

bool has(const uint8_t* present, unsigned bit) { return msgcodec_test_bit(present, bit) != 0; }

// A pelm_eid that shows a key (the levels are the key's; nothing is owned).
pelm_eid view_of(const Key& key) {
  pelm_eid e{};
  e.rack = key.rack;
  e.slot = key.slot;
  e.tsi = const_cast<pelm_tsi*>(key.levels.data());
  e.tsi_count = static_cast<uint32_t>(key.levels.size());
  e.present = PELM_EID_HAS_RACK | PELM_EID_HAS_SLOT | (key.levels.empty() ? 0 : PELM_EID_HAS_TSI);
  return e;
}

std::string text_or_empty(const char* s) { return s != nullptr ? s : ""; }

}  // namespace

Key Key::of(const pelm_eid& eid) {
  Key k;
  k.rack = eid.rack;
  k.slot = eid.slot;
  if (eid.tsi != nullptr) k.levels.assign(eid.tsi, eid.tsi + eid.tsi_count);
  return k;
}

uint32_t Key::type() const { return levels.empty() ? 0 : levels.back().type; }
uint32_t Key::subtype() const { return levels.empty() ? 0 : levels.back().subtype; }

std::string Key::text() const {
  char buf[32];
  snprintf(buf, sizeof(buf), "%u/%u TSI:", rack, slot);
  std::string s = buf;
  for (const pelm_tsi& l : levels) {
    snprintf(buf, sizeof(buf), " %u/%u/%u", l.type, l.subtype, l.instance);
    s += buf;
  }
  return s;
}

bool Key::operator<(const Key& o) const {
  if (rack != o.rack) return rack < o.rack;
  if (slot != o.slot) return slot < o.slot;
  return std::lexicographical_compare(
      levels.begin(), levels.end(), o.levels.begin(), o.levels.end(),
      [](const pelm_tsi& a, const pelm_tsi& b) {
        return std::tie(a.type, a.subtype, a.instance) < std::tie(b.type, b.subtype, b.instance);
      });
}

bool Key::operator==(const Key& o) const { return !(*this < o) && !(o < *this); }

Model::Model(Send invreg_send, Send inv_send)
    : invreg_send_(std::move(invreg_send)), inv_send_(std::move(inv_send)) {}

void Model::invreg_opened(uint64_t peer, uint32_t scope) { invreg_peers_[peer] = scope; }
void Model::invreg_closed(uint64_t peer) { invreg_peers_.erase(peer); }
void Model::inv_opened(uint64_t peer) { inv_peers_.insert(peer); }

void Model::inv_closed(uint64_t peer) {
  inv_peers_.erase(peer);
  fru_event_peers_.erase(peer);
  std::erase_if(event_regs_, [peer](const EventReg& r) { return r.peer == peer; });
}

void Model::script_acks(uint32_t msg_id, std::vector<uint32_t> codes) {
  auto& q = scripted_[msg_id];
  q.insert(q.end(), codes.begin(), codes.end());
}

uint32_t Model::next_ack(uint32_t msg_id, uint32_t fallback) {
  auto it = scripted_.find(msg_id);
  if (it == scripted_.end() || it->second.empty()) return fallback;
  const uint32_t code = it->second.front();
  it->second.pop_front();
  return code;
}

Entity& Model::entity(const pelm_eid& eid) {
  Key k = Key::of(eid);
  auto it = entities_.find(k);
  if (it == entities_.end()) {
    it = entities_.emplace(k, Entity{}).first;
    it->second.key = k;
  }
  return it->second;
}

const Entity* Model::find(const Key& key) const {
  auto it = entities_.find(key);
  return it == entities_.end() ? nullptr : &it->second;
}

const Entity* Model::find(const pelm_eid& eid) const { return find(Key::of(eid)); }

std::vector<const Entity*> Model::entities() const {
  std::vector<const Entity*> out;
  for (const auto& [k, e] : entities_) out.push_back(&e);
  return out;
}

std::vector<Received> Model::received_of(uint32_t msg_id) const {
  std::vector<Received> out;
  for (const Received& r : received_)
    if (r.msg_id == msg_id) out.push_back(r);
  return out;
}

bool Model::has_event_registration(uint32_t type, uint32_t subtype, uint32_t event) const {
  return std::any_of(event_regs_.begin(), event_regs_.end(), [&](const EventReg& r) {
    return r.type == type && r.subtype == subtype && r.event == event;
  });
}

void Model::log(uint64_t peer, uint32_t msg_id, const pelm_eid* eid, uint32_t count) {
  Received r;
  auto it = invreg_peers_.find(peer);
  r.scope = it == invreg_peers_.end() ? 0 : it->second;
  r.msg_id = msg_id;
  r.key = eid != nullptr ? Key::of(*eid).text() : "";
  r.count = count;
  received_.push_back(std::move(r));
}

void Model::ack_one(uint64_t peer, uint32_t resp_id, uint32_t request_id, uint32_t msg_id,
                    const pelm_eid& eid, uint32_t code) {
  (void)msg_id;
  invreg_ack ack{};
  ack.eid = eid;
  ack.eid.ext = nullptr;
  ack.ack = code;
  msgcodec_set_bit(&ack.present, 0);
  msgcodec_set_bit(&ack.present, 1);
  invreg_send_(peer, resp_id, &ack, request_id);
}

void Model::data_status(uint64_t peer, const pelm_eid& eid, uint32_t msg_id) {
  const Entity* e = find(eid);
  const uint32_t code =
      next_ack(msg_id, e != nullptr && e->registered ? kAckAccepted : kAckRetry);
  ack_one(peer, w::kDataUpdateStatus, 0, msg_id, eid, code);
}

void Model::store_value(uint64_t peer, uint32_t msg_id, const pelm_eid& eid,
                        const SensorValue& v) {
  log(peer, msg_id, &eid);
  Entity& e = entity(eid);
  const bool known = e.registered;
  e.value = v;
  data_status(peer, eid, msg_id);
  if (known) notify_value(e);
}

void Model::states(uint64_t peer, uint32_t msg_id, uint32_t request_id,
                   const invreg_entity_state_list& list) {
  log(peer, msg_id, list.count != 0 ? &list.entries[0].eid : nullptr, list.count);
  std::vector<invreg_ack> acks(list.count);
  for (uint32_t i = 0; i < list.count; ++i) {
    const invreg_entity_state& s = list.entries[i];
    Entity& e = entity(s.eid);
    if (msg_id == w::kOperState) {
      e.oper_state = s.state;
      notify_oper_state(e);
    } else if (msg_id == w::kPowerAdminState) {
      e.power_admin_state = s.state;
    } else {
      e.power_oper_state = s.state;
    }
    acks[i].eid = s.eid;
    acks[i].eid.ext = nullptr;
    acks[i].ack = next_ack(msg_id, kAckAccepted);
    acks[i].present = 0x3;
  }
  invreg_entity_state_ack resp{};
  resp.entries = acks.data();
  resp.count = list.count;
  resp.present = 0x1;
  invreg_send_(peer, w::kEntityStateResp, &resp, request_id);
}

void Model::invreg_message(uint64_t peer, uint32_t msg_id, uint32_t request_id,
                           const void* payload) {
  switch (msg_id) {
    case w::kRegisterEid:
    case w::kUnregisterEid: {
      const auto* req = static_cast<const invreg_eid_list_req*>(payload);
      log(peer, msg_id, req->eid_count != 0 ? &req->eids[0] : nullptr, req->eid_count);
      const uint32_t scope = invreg_peers_.count(peer) ? invreg_peers_[peer] : 0;
      std::vector<uint32_t> codes(req->eid_count);
      std::vector<pelm_eid> eids(req->eid_count);
      for (uint32_t i = 0; i < req->eid_count; ++i) {
        codes[i] = next_ack(msg_id, kAckAccepted);
        eids[i] = req->eids[i];
        eids[i].ext = nullptr;
        if (!ack_is_accepted(codes[i])) continue;
        Entity& e = entity(req->eids[i]);
        e.registered = msg_id == w::kRegisterEid;
        e.scope = scope;
      }
      invreg_multi_ack ack{};
      ack.eids = eids.data();
      ack.eid_count = req->eid_count;
      ack.acks = codes.data();
      ack.ack_count = req->eid_count;
      ack.present = 0x3;
      invreg_send_(peer, msg_id == w::kRegisterEid ? w::kRegisterEidResp : w::kUnregisterEidResp,
                   &ack, request_id);
      return;
    }
    case w::kRegisterContainer: {
      const auto* req = static_cast<const invreg_container_req*>(payload);
      const pelm_eid& eid = req->container.eid;
      log(peer, msg_id, &eid);
      const uint32_t code = next_ack(msg_id, kAckAccepted);
      if (ack_is_accepted(code)) {
        Entity& e = entity(eid);
        e.registered = true;
        e.scope = invreg_peers_[peer];
        if (!e.container) e.container = Container{};
        e.container->logic_slot = req->container.logic_slot;
      }
      ack_one(peer, w::kRegisterContainerResp, request_id, msg_id, eid, code);
      return;
    }
    case w::kRegisterFruType: {
      const auto* req = static_cast<const invreg_fru_type_req*>(payload);
      log(peer, msg_id, &req->eid);
      const uint32_t code = next_ack(msg_id, kAckAccepted);
      if (ack_is_accepted(code)) {
        Entity& e = entity(req->eid);
        e.registered = true;
        e.scope = invreg_peers_[peer];
        Fru f;
        f.fru_type = req->fru_type;
        f.pd_type = req->pd_type;
        f.slot = req->slot;
        f.serial_num = text_or_empty(req->serial_num);
        f.reg_flag = req->reg_flag;
        f.name = text_or_empty(req->name);
        if (has(&req->present, 7))
          f.event = Event{req->event.event_type, req->event.event_state,
                          text_or_empty(req->event.descr)};
        e.fru = std::move(f);
      }
      ack_one(peer, w::kRegisterFruTypeResp, request_id, msg_id, req->eid, code);
      return;
    }
    case w::kUnregisterFruType: {
      const auto* req = static_cast<const invreg_fru_unreg_req*>(payload);
      log(peer, msg_id, &req->eid);
      const uint32_t code = next_ack(msg_id, kAckAccepted);
      if (ack_is_accepted(code)) {
        Entity& e = entity(req->eid);
        e.registered = false;
        e.fru.reset();
      }
      ack_one(peer, w::kUnregisterFruTypeResp, request_id, msg_id, req->eid, code);
      return;
    }
    case w::kContainerLocation: {
      const auto* req = static_cast<const invreg_container_location_req*>(payload);
      log(peer, msg_id, &req->eid);
      Entity& e = entity(req->eid);
      if (!e.container) e.container = Container{};
      e.container->location = text_or_empty(req->location);
      ack_one(peer, w::kContainerLocationResp, request_id, msg_id, req->eid,
              next_ack(msg_id, kAckAccepted));
      return;
    }
    case w::kEepromData: {
      const auto* req = static_cast<const invreg_eeprom_req*>(payload);
      log(peer, msg_id, &req->eid);
      Entity& e = entity(req->eid);
      Eeprom ee;
      ee.board_id = req->eeprom.board_id;
      ee.pid = req->eeprom.pid;
      ee.pcb_serial = req->eeprom.pcb_serial;
      if (req->eeprom.raw_eeprom != nullptr)
        ee.raw.assign(req->eeprom.raw_eeprom, req->eeprom.raw_eeprom + req->eeprom.raw_eeprom_len);
      ee.eeprom_size = req->eeprom.eeprom_size;
      e.eeprom = std::move(ee);
      ack_one(peer, w::kEepromDataResp, request_id, msg_id, req->eid,
              next_ack(msg_id, kAckAccepted));
      return;
    }
    case w::kTempData: {
      const auto* d = static_cast<const invreg_temp_data*>(payload);
      SensorValue v{msg_id, d->value, d->last_value, d->timestamp, d->pd_state, d->pd_last_state,
                    d->update_rate, 0, d->trap, std::nullopt};
      if (has(d->present, 8)) v.threshold = d->threshold;
      store_value(peer, msg_id, d->eid, v);
      return;
    }
    case w::kFanData: {
      const auto* d = static_cast<const invreg_fan_data*>(payload);
      SensorValue v{};
      v.msg_id = msg_id;
      v.value = d->value;
      v.timestamp = d->timestamp;
      v.trap = d->trap;
      if (has(&d->present, 4)) v.threshold = d->threshold;
      store_value(peer, msg_id, d->eid, v);
      return;
    }
    case w::kVoltageData: {
      const auto* d = static_cast<const invreg_voltage_data*>(payload);
      SensorValue v{};
      v.msg_id = msg_id;
      v.value = d->value;
      v.timestamp = d->timestamp;
      v.alarm = d->alarm;
      v.trap = d->trap;
      store_value(peer, msg_id, d->eid, v);
      return;
    }
    case w::kCurrentData:
    case w::kPowerUsageData: {
      const auto* d = static_cast<const invreg_sensor_data*>(payload);
      SensorValue v{};
      v.msg_id = msg_id;
      v.value = d->value;
      v.timestamp = d->timestamp;
      v.trap = d->trap;
      store_value(peer, msg_id, d->eid, v);
      return;
    }
    case w::kLedStatus: {
      const auto* d = static_cast<const invreg_led_status*>(payload);
      log(peer, msg_id, &d->eid);
      Entity& e = entity(d->eid);
      e.led = Led{d->led_kind, d->color, d->timestamp};
      ack_one(peer, w::kLedStatusResp, request_id, msg_id, d->eid,
              next_ack(msg_id, e.registered ? kAckAccepted : kAckRetry));
      return;
    }
    case w::kFruPowerInfo: {
      const auto* d = static_cast<const invreg_fru_power_info*>(payload);
      log(peer, msg_id, &d->eid);
      entity(d->eid).fru_power = FruPower{d->power_allocated, d->status, d->fru_current,
                                          d->is_producer};
      ack_one(peer, w::kFruPowerInfoResp, request_id, msg_id, d->eid,
              next_ack(msg_id, kAckAccepted));
      return;
    }
    case w::kSystemPowerInfo: {
      const auto* d = static_cast<const invreg_system_power_info*>(payload);
      log(peer, msg_id, &d->eid);
      system_power_ = *d;
      system_power_->eid = pelm_eid{};
      ack_one(peer, w::kSystemPowerInfoResp, request_id, msg_id, d->eid,
              next_ack(msg_id, kAckAccepted));
      return;
    }
    case w::kOperState:
    case w::kPowerAdminState:
    case w::kPowerOperState:
      states(peer, msg_id, request_id, *static_cast<const invreg_entity_state_list*>(payload));
      return;
    case w::kEventData: {
      const auto* d = static_cast<const invreg_event_data*>(payload);
      log(peer, msg_id, &d->eid);
      entity(d->eid).event = Event{d->event_type, d->event_state, text_or_empty(d->descr)};
      ack_one(peer, w::kEventDataResp, request_id, msg_id, d->eid,
              next_ack(msg_id, kAckAccepted));
      return;
    }
    case w::kEidName: {
      const auto* d = static_cast<const invreg_eid_name*>(payload);
      log(peer, msg_id, &d->eid);
      Entity& e = entity(d->eid);
      e.name = text_or_empty(d->name);
      e.name_seq = d->seq_num;
      ack_one(peer, w::kEidNameResp, request_id, msg_id, d->eid, next_ack(msg_id, kAckAccepted));
      return;
    }
    case w::kEidDescr: {
      const auto* d = static_cast<const invreg_eid_descr*>(payload);
      log(peer, msg_id, &d->eid);
      entity(d->eid).descr = text_or_empty(d->descr);
      ack_one(peer, w::kEidDescrResp, request_id, msg_id, d->eid, next_ack(msg_id, kAckAccepted));
      return;
    }
    case w::kFruPrefix: {
      const auto* d = static_cast<const invreg_fru_prefix*>(payload);
      log(peer, msg_id, &d->eid);
      entity(d->eid).prefix = text_or_empty(d->prefix);
      ack_one(peer, w::kFruPrefixResp, request_id, msg_id, d->eid,
              next_ack(msg_id, kAckAccepted));
      return;
    }
    case w::kEidBaseData: {
      const auto* d = static_cast<const invreg_eid_base_data*>(payload);
      log(peer, msg_id, &d->eid);
      entity(d->eid).hidden = d->hidden != 0;
      return;
    }
    case w::kFpgaData: {
      const auto* d = static_cast<const invreg_fpga_data*>(payload);
      log(peer, msg_id, &d->eid);
      invreg_fpga_data copy = *d;
      copy.eid = pelm_eid{};
      entity(d->eid).fpga = copy;
      ack_one(peer, w::kFpgaDataResp, request_id, msg_id, d->eid, next_ack(msg_id, kAckAccepted));
      return;
    }
    case w::kPemStatus: {
      const auto* d = static_cast<const invreg_pem_status_data*>(payload);
      log(peer, msg_id, &d->eid);
      invreg_pem_status_data copy = *d;
      copy.eid = pelm_eid{};
      entity(d->eid).pem_status = copy;
      ack_one(peer, w::kPemStatusResp, request_id, msg_id, d->eid,
              next_ack(msg_id, kAckAccepted));
      return;
    }
    case w::kSetHwStateResp: {
      const auto* d = static_cast<const invreg_set_hw_state_resp*>(payload);
      log(peer, msg_id, &d->eid);
      hw_state_answers_.push_back(HwStateAnswer{Key::of(d->eid), d->state, d->result});
      return;
    }
    case w::kGetFpgaDataResp: {
      const auto* d = static_cast<const invreg_fpga_data*>(payload);
      log(peer, msg_id, &d->eid);
      invreg_fpga_data copy = *d;
      copy.eid = pelm_eid{};
      fpga_answers_.push_back(copy);
      return;
    }
    default:
      log(peer, msg_id, nullptr);
      return;
  }
}

bool Model::request_set_hw_state(uint32_t slot, uint32_t state) {
  invreg_set_hw_state_req req{};
  req.slot = slot;
  req.state = state;
  req.present = 0x3;
  bool sent = false;
  for (const auto& [peer, scope] : invreg_peers_) {
    if (scope != 1) continue;
    invreg_send_(peer, w::kSetHwStateReq, &req, ++next_service_request_);
    sent = true;
  }
  return sent;
}

bool Model::request_fpga_data(const pelm_eid& eid) {
  invreg_fpga_data_req req{};
  req.eid = eid;
  req.eid.ext = nullptr;
  req.present = 0x1;
  bool sent = false;
  for (const auto& [peer, scope] : invreg_peers_) {
    if (scope != 1) continue;
    invreg_send_(peer, w::kGetFpgaDataReq, &req, ++next_service_request_);
    sent = true;
  }
  return sent;
}

void Model::publish_event(const inv_notify_event_data& data) {
  const pelm_eid* eid = nullptr;
  if (msgcodec_test_bit(&data.present, 1)) eid = &data.value.eid;
  else if (msgcodec_test_bit(&data.present, 2)) eid = &data.base.eid;
  uint32_t type = 0, subtype = 0;
  if (eid != nullptr) {
    const Key k = Key::of(*eid);
    type = k.type();
    subtype = k.subtype();
  }
  std::set<uint64_t> sent;
  for (const EventReg& r : event_regs_) {
    if (r.event != data.event || r.type != type || r.subtype != subtype) continue;
    if (!sent.insert(r.peer).second) continue;
    inv_send_(r.peer, inv_wire::kNotifyEvent, &data, 0);
  }
}

void Model::notify_value(const Entity& e) {
  if (e.key.type() != 8 || !e.value) return;
  uint32_t event = 0;
  switch (e.key.subtype()) {
    case 25: event = INV_EVENT_TEMPERATURE; break;
    case 7: event = INV_EVENT_CURRENT; break;
    case 30: event = INV_EVENT_ALTITUDE; break;
    default: return;
  }
  inv_notify_event_data n{};
  n.event = event;
  n.value.eid = view_of(e.key);
  n.value.name = const_cast<char*>(e.name.c_str());
  n.value.value = e.value->value;
  n.value.last_value = e.value->last_value;
  n.value.state = e.value->pd_state;
  n.value.last_state = e.value->pd_last_state;
  n.value.update_rate = e.value->update_rate;
  n.value.oper_state = e.oper_state.value_or(1);
  n.value.timestamp = e.value->timestamp;
  n.value.present[0] = 0xff;
  n.value.present[1] = 0x02;  // data word and thresholds below are optional
  if (e.value->threshold) {
    const invreg_threshold& t = *e.value->threshold;
    n.value.thresholds = inv_threshold_data{t.minor_low, t.minor_high, t.major_low,
                                            t.major_high, t.critical_low, t.critical_high, 0x3f};
    msgcodec_set_bit(n.value.present, 10);
  } else {
    n.value.thresholds_invalid = 1;
    msgcodec_set_bit(n.value.present, 11);
  }
  n.present = 0x3;
  publish_event(n);
}

void Model::notify_oper_state(const Entity& e) {
  if (!e.oper_state) return;
  inv_notify_event_data n{};
  n.event = INV_EVENT_OPER_STATE;
  n.base.eid = view_of(e.key);
  n.base.location.slot = e.key.slot;
  n.base.location.present = 0x2;
  n.base.name = const_cast<char*>(e.name.c_str());
  n.base.oper_state = *e.oper_state;
  n.base.present = 0xf;
  n.present = 0x5;
  publish_event(n);
}

void Model::publish_fru_oir(const inv_fru_oir_event& event) {
  for (uint64_t peer : fru_event_peers_) inv_send_(peer, inv_wire::kNotifyFruOir, &event, 0);
}

void Model::add_fru_power(const pelm_eid& eid, uint32_t power_allocated, uint32_t status) {
  extra_fru_power_.push_back({Key::of(eid), {power_allocated, status}});
}

void Model::answer_fru_power(uint64_t peer, uint32_t request_id) {
  std::vector<inv_fru_power_rec> recs;
  for (const auto& [key, p] : extra_fru_power_) {
    inv_fru_power_rec r{};
    r.eid = view_of(key);
    r.power_allocated = p.first;
    r.fru_power_status = p.second;
    r.present = 0x7;
    recs.push_back(r);
  }
  for (const auto& [key, e] : entities_) {
    if (!e.fru_power) continue;
    inv_fru_power_rec r{};
    r.eid = view_of(e.key);
    r.power_allocated = e.fru_power->power_allocated;
    r.fru_power_status = static_cast<uint32_t>(e.fru_power->status);
    r.present = 0x7;
    recs.push_back(r);
  }
  inv_fru_power_list list{};
  list.recs = recs.data();
  list.count = static_cast<uint32_t>(recs.size());
  list.present = 0x1;
  inv_send_(peer, inv_wire::kFruPowerInfoResp, &list, request_id);
}

void Model::answer_data_group(uint64_t peer, uint32_t request_id, const inv_data_req& req) {
  std::vector<inv_sensor_value> sensors;
  for (const auto& [key, e] : entities_) {
    if (!e.registered || key.type() != req.type || key.subtype() != req.subtype) continue;
    inv_sensor_value v{};
    v.eid = view_of(e.key);
    v.name = const_cast<char*>(e.name.c_str());
    v.present[0] = 0x03;
    if (e.value) {
      v.value = e.value->value;
      v.last_value = e.value->last_value;
      v.timestamp = e.value->timestamp;
      msgcodec_set_bit(v.present, 2);
      msgcodec_set_bit(v.present, 3);
      msgcodec_set_bit(v.present, 8);
    }
    v.oper_state = e.oper_state.value_or(1);
    msgcodec_set_bit(v.present, 7);
    sensors.push_back(v);
  }
  inv_data_group g{};
  g.type = req.type;
  g.subtype = req.subtype;
  g.sensors = sensors.data();
  g.sensor_count = static_cast<uint32_t>(sensors.size());
  g.present = 0x7;
  inv_send_(peer, inv_wire::kDataGroupResp, &g, request_id);
}

void Model::inv_message(uint64_t peer, uint32_t msg_id, uint32_t request_id,
                        const void* payload) {
  Received r;
  r.msg_id = 0x100 + msg_id;  // apart from the registration service's ids
  received_.push_back(r);
  switch (msg_id) {
    case inv_wire::kRegisterEvent: {
      const auto* req = static_cast<const inv_event_reg_req*>(payload);
      event_regs_.push_back(EventReg{peer, req->type, req->subtype, req->event});
      inv_event_ack ack{kAckAccepted, 0x1};
      inv_send_(peer, inv_wire::kRegisterEventResp, &ack, request_id);
      return;
    }
    case inv_wire::kRegisterFruEvent: {
      fru_event_peers_.insert(peer);
      inv_event_ack ack{kAckAccepted, 0x1};
      inv_send_(peer, inv_wire::kRegisterFruEventResp, &ack, request_id);
      return;
    }
    case inv_wire::kFruPowerInfo:
      answer_fru_power(peer, request_id);
      return;
    case inv_wire::kDataGroup:
      answer_data_group(peer, request_id, *static_cast<const inv_data_req*>(payload));
      return;
    default:
      return;
  }
}

}  // namespace invdb

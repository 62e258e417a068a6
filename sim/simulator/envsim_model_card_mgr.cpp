// Card-manager model: card and chassis information, and the card-object
// notifications of every card's state to the clients registered for them.
#include <map>
#include <sstream>

#include "card_mgr.h"
#include "card_mgr_wire.h"
#include "envsim_sim.h"

namespace envsim {

namespace {

struct CmClient {
  int32_t slot = -1;
  int cardinfo_requests = 0;
  int chassisinfo_requests = 0;
  bool registered = false;
  bool all_cards = false;
  std::vector<uint32_t> slots;  // registration filter; empty with all_cards
  int notifications = 0;
  int cards_notified = 0;
};

// Owns the texts and lists of one notification while it is encoded.
struct Notification {
  std::vector<cm_card_info> infos;
  std::vector<cm_card_location> locations;
  std::vector<std::string> texts;

  void add(const CardState& card, int32_t event_type, const ChassisDesc& d) {
    texts.push_back(card.location);
    texts.push_back(card.desc.pid);
    locations.emplace_back();
    cm_card_location& loc = locations.back();
    msgcodec_cm_card_location_clear(&loc);
    loc.rack = static_cast<uint32_t>(d.rack_num);
    loc.slot = static_cast<uint32_t>(card.desc.slot);
    msgcodec_set_bit(&loc.present, 0);
    msgcodec_set_bit(&loc.present, 1);
    infos.emplace_back();
    cm_card_info& i = infos.back();
    msgcodec_cm_card_info_clear(&i);
    i.event_type = event_type;
    i.card_type = card.desc.cm_card_type;
    i.card_state = card.state;
    i.sub_card_type = card.desc.hw_type;
    i.sw_card_state = card.sw_state;
    for (unsigned bit = 0; bit < 8; ++bit) msgcodec_set_bit(&i.present, bit);
  }

  // Points the records at their texts and locations (after the vectors settled).
  cm_object_data_msg message() {
    for (size_t k = 0; k < infos.size(); ++k) {
      infos[k].location_name = const_cast<char*>(texts[2 * k].c_str());
      infos[k].pid = const_cast<char*>(texts[2 * k + 1].c_str());
      infos[k].card_loc = &locations[k];
      infos[k].card_loc_count = 1;
    }
    cm_object_data_msg m{};
    msgcodec_cm_object_data_msg_clear(&m);
    m.card_info = infos.data();
    m.card_info_count = static_cast<uint32_t>(infos.size());
    msgcodec_set_bit(&m.present, 0);
    return m;
  }
};

class CardMgrModel : public Model {
 public:
  explicit CardMgrModel(Simulator& sim) : sim_(sim) {
    simsvc::Server::Handler h;
    h.opened = [this](simsvc::Peer& p) {
      CardState* card = sim_.chassis().card_of(p.node_address);
      clients_[p.id].slot = card != nullptr ? card->desc.slot : -1;
      sim_.log("card_mgr: " + sim_.client_text(p) + " connected");
      sim_.changed();
    };
    h.closed = [this](simsvc::Peer& p) {
      clients_.erase(p.id);
      sim_.changed();
    };
    h.message = [this](simsvc::Peer& p, const simsvc::Message& m, uint32_t id, int32_t,
                       void* payload) { message(p, m, id, payload); };
    sim_.server().add(&card_mgr_wire::kService, std::move(h));
  }

  const char* name() const override { return "card_mgr"; }

  void show(std::ostream& out) const override {
    for (const auto& [id, c] : clients_) {
      out << "card_mgr " << sim_.client_text(*sim_.server().find_peer(id))
          << " cardinfo_requests=" << c.cardinfo_requests
          << " chassisinfo_requests=" << c.chassisinfo_requests
          << " registered=" << (c.registered ? "yes" : "no") << " notifications=" << c.notifications
          << " cards_notified=" << c.cards_notified << "\n";
    }
  }

  // Tells the registered clients about `card`.
  void notify(const CardState& card, int32_t event_type) {
    for (auto& [id, c] : clients_) {
      if (!c.registered || !wants(c, card.desc.slot)) continue;
      Notification n;
      n.add(card, event_type, sim_.chassis().desc);
      send(id, c, n);
    }
  }

 private:
  static bool wants(const CmClient& c, int32_t slot) {
    if (c.all_cards) return true;
    for (uint32_t s : c.slots) {
      if (static_cast<int32_t>(s) == slot) return true;
    }
    return false;
  }

  void send(uint64_t peer, CmClient& c, Notification& n) {
    cm_object_data_msg m = n.message();
    if (sim_.server().send(peer, card_mgr_wire::kObjectData, &m) == simsvc::kOk) {
      ++c.notifications;
      c.cards_notified += static_cast<int>(n.infos.size());
    }
  }

  void message(simsvc::Peer& p, const simsvc::Message& m, uint32_t id, void* payload) {
    auto it = clients_.find(p.id);
    if (it == clients_.end()) return;
    CmClient& c = it->second;
    CardState* card = sim_.chassis().card_at(c.slot);
    switch (m.id) {
      case card_mgr_wire::kCardInfoRequest:
        ++c.cardinfo_requests;
        send_cardinfo(p.id, card, id);
        break;
      case card_mgr_wire::kChassisInfoRequest:
        ++c.chassisinfo_requests;
        send_chassisinfo(p.id, id);
        break;
      case card_mgr_wire::kObjectRegister:
        register_client(p, c, static_cast<cm_object_register_req*>(payload), id);
        break;
      case card_mgr_wire::kObjectUnregister: {
        c.registered = false;
        cm_object_register_resp r{};
        msgcodec_cm_object_register_resp_clear(&r);
        msgcodec_set_bit(&r.present, 0);
        sim_.server().send(p.id, card_mgr_wire::kObjectUnregistered, &r, id);
        break;
      }
      default:
        return;
    }
    sim_.changed();
  }

  void send_cardinfo(uint64_t peer, CardState* card, uint32_t id) {
    card_mgr_cardinfo_msg m{};
    msgcodec_card_mgr_cardinfo_msg_clear(&m);
    if (card == nullptr) {
      sim_.server().send(peer, card_mgr_wire::kCardInfo, &m, id, CARD_MGR_ERR_REFUSED);
      return;
    }
    m.slot = static_cast<uint32_t>(card->desc.slot);
    m.pi_card_type = static_cast<uint8_t>(card->desc.pi_type);
    m.card_type = card->desc.hw_type;
    m.pid = const_cast<char*>(card->desc.pid.c_str());
    m.serial = const_cast<char*>(card->desc.serial.c_str());
    m.hw_ver_major = card->desc.hw_major;
    m.hw_ver_minor = card->desc.hw_minor;
    for (unsigned bit = 0; bit < 7; ++bit) msgcodec_set_bit(&m.present, bit);
    sim_.server().send(peer, card_mgr_wire::kCardInfo, &m, id, 0);
  }

  void send_chassisinfo(uint64_t peer, uint32_t id) {
    const ChassisDesc& d = sim_.chassis().desc;
    card_mgr_chassisinfo_msg m{};
    msgcodec_card_mgr_chassisinfo_msg_clear(&m);
    m.pi_chassis_type = static_cast<uint32_t>(d.rack_type);
    m.serial = const_cast<char*>(d.serial.c_str());
    m.pd_chassis_type = d.chassis_type;
    m.hw_ver_major = d.hw_major;
    m.hw_ver_minor = d.hw_minor;
    m.pid = const_cast<char*>(d.pid.c_str());
    for (unsigned bit = 0; bit < 6; ++bit) msgcodec_set_bit(&m.present, bit);
    sim_.server().send(peer, card_mgr_wire::kChassisInfo, &m, id, 0);
  }

  void register_client(simsvc::Peer& p, CmClient& c, const cm_object_register_req* req,
                       uint32_t id) {
    cm_object_register_resp r{};
    msgcodec_cm_object_register_resp_clear(&r);
    msgcodec_set_bit(&r.present, 0);
    c.all_cards = false;
    c.slots.clear();
    bool any = false;
    for (uint32_t k = 0; req != nullptr && k < req->card_filter_count; ++k) {
      const cm_card_obj_filter& f = req->card_filter[k];
      if (msgcodec_test_bit(&f.present, 3) && f.all_cards != 0) {
        c.all_cards = true;
        any = true;
      }
      if (msgcodec_test_bit(&f.present, 0)) {
        c.slots.insert(c.slots.end(), f.slots, f.slots + f.slot_count);
        any = true;
      }
    }
    // A registration that names no card is refused, as nothing would follow it.
    r.result = any ? 0 : CARD_MGR_ERR_ARG;
    c.registered = any;
    sim_.server().send(p.id, card_mgr_wire::kObjectRegistered, &r, id);
    sim_.log("card_mgr: " + sim_.client_text(p) + (any ? " registered for card objects" :
                                                         " registered with an empty filter"));
    if (!any) return;
    // The cards as they are now, in one notification.
    Notification n;
    for (const CardState& card : sim_.chassis().cards) {
      if (card.present && wants(c, card.desc.slot)) {
        n.add(card, CM_EVENT_STATE_CHANGE, sim_.chassis().desc);
      }
    }
    if (!n.infos.empty()) send(p.id, c, n);
  }

  Simulator& sim_;
  std::map<uint64_t, CmClient> clients_;
};

CardMgrModel* cm_of(Simulator& sim) { return dynamic_cast<CardMgrModel*>(sim.model("card_mgr")); }

Result no_card(int32_t slot) { return Result{2, "no card in slot " + std::to_string(slot) + "\n"}; }

}  // namespace

std::unique_ptr<Model> make_card_mgr_model(Simulator& sim) {
  return std::make_unique<CardMgrModel>(sim);
}

namespace control {

Result card_insert(Simulator& sim, int32_t slot) {
  CardState* card = sim.chassis().card_at(slot);
  if (card == nullptr) return no_card(slot);
  if (card->present) return Result{1, card->location + " is already inserted\n"};
  card->present = true;
  card->state = card->desc.state;
  sim.log("card " + card->location + " inserted");
  if (CardMgrModel* cm = cm_of(sim)) cm->notify(*card, CM_EVENT_STATE_CHANGE);
  sim.changed();
  return Result{0, card->location + " inserted\n"};
}

Result card_remove(Simulator& sim, int32_t slot) {
  CardState* card = sim.chassis().card_at(slot);
  if (card == nullptr) return no_card(slot);
  if (!card->present) return Result{1, card->location + " is not inserted\n"};
  card->present = false;
  sim.log("card " + card->location + " removed");
  if (CardMgrModel* cm = cm_of(sim)) cm->notify(*card, CM_EVENT_REMOVED);
  sim.changed();
  return Result{0, card->location + " removed\n"};
}

Result card_state(Simulator& sim, int32_t slot, int32_t state, int32_t sw_state) {
  CardState* card = sim.chassis().card_at(slot);
  if (card == nullptr) return no_card(slot);
  if (!card->present) return Result{1, card->location + " is not inserted\n"};
  card->state = state;
  card->sw_state = sw_state;
  sim.log("card " + card->location + " state " + std::to_string(state) + " software state " +
          std::to_string(sw_state));
  if (CardMgrModel* cm = cm_of(sim)) cm->notify(*card, CM_EVENT_STATE_CHANGE);
  sim.changed();
  return Result{0, card->location + " state " + std::to_string(state) + "\n"};
}

}  // namespace control

}  // namespace envsim

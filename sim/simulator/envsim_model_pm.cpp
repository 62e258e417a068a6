// Process-manager model: gives every client the role of its card, records
// the acknowledgements, sends process updates and asks for liveness.
#include <map>
#include <sstream>

#include "envsim_sim.h"
#include "pm.h"
#include "pm_wire.h"

namespace envsim {

namespace {

constexpr const char* kUpdateNames[] = {"CARD_SHUTDOWN",    "CARD_OFFLINE",    "CARD_ONLINE",
                                        "ADMIN_VM_SHUTDOWN", "ALL_VM_SHUTDOWN", "CARD_QUIESCE"};

std::string update_name(int32_t type) {
  if (type >= 1 && type <= 6) return kUpdateNames[type - 1];
  return std::to_string(type);
}

std::string service_name_of(const simsvc::Peer& peer) {
  const auto slash = peer.program.rfind('/');
  std::string base = slash == std::string::npos ? peer.program : peer.program.substr(slash + 1);
  return base.empty() ? std::string("unknown") : base;
}

struct PmClient {
  uint64_t peer = 0;
  int32_t slot = -1;
  std::string service;
  uint32_t next_id = 0;
  // Last role sent and its id; last role accepted (with the id it named).
  bool role_sent = false;
  int32_t role = 0;
  uint32_t role_id = 0;
  bool accepted = false;
  int32_t accepted_role = 0;
  uint32_t accepted_id = 0;
  int ha_ready = 0;
  bool update_sent = false;
  int32_t update = 0;
  uint32_t update_id = 0;
  bool update_answered = false;
  int32_t update_status = 0;
  bool liveness_answered = false;
  uint64_t liveness = 0;
  int liveness_queries = 0;
};

class PmModel : public Model {
 public:
  explicit PmModel(Simulator& sim) : sim_(sim) {
    simsvc::Server::Handler h;
    h.opened = [this](simsvc::Peer& p) { opened(p); };
    h.closed = [this](simsvc::Peer& p) {
      clients_.erase(p.id);
      sim_.changed();
    };
    h.message = [this](simsvc::Peer& p, const simsvc::Message& m, uint32_t id, int32_t,
                       void* payload) { message(p, m, id, payload); };
    sim_.server().add(&pm_wire::kService, std::move(h));
    start_liveness_timer();
  }
  ~PmModel() override {
    if (timer_ != 0) evloop_timer_cancel(sim_.loop(), timer_);
  }

  const char* name() const override { return "pm"; }

  void show(std::ostream& out) const override {
    for (const auto& [id, c] : clients_) {
      out << "pm " << sim_.client_text(*sim_.server().find_peer(id)) << " service=" << c.service
          << " role=" << (c.role_sent ? std::to_string(c.role) : "-")
          << " accepted=" << (c.accepted ? std::to_string(c.accepted_role) : "-")
          << " ha_ready=" << c.ha_ready
          << " update=" << (c.update_sent ? update_name(c.update) : "-")
          << " update_status=" << (c.update_answered ? std::to_string(c.update_status) : "-")
          << " liveness=" << (c.liveness_answered ? std::to_string(c.liveness) : "-")
          << " liveness_queries=" << c.liveness_queries << "\n";
    }
  }

  // Sends the role of `slot` to that card's clients.
  void push_role(int32_t slot) {
    for (auto& [id, c] : clients_) {
      if (c.slot == slot) send_role(c);
    }
  }

  int update(int32_t slot, int32_t type) {
    int sent = 0;
    for (auto& [id, c] : clients_) {
      if (c.slot != slot) continue;
      pm_process_update_event_msg m{};
      msgcodec_pm_process_update_event_msg_clear(&m);
      m.event_type = type;
      m.card_slot = static_cast<uint32_t>(slot);
      msgcodec_set_bit(&m.present, 0);
      msgcodec_set_bit(&m.present, 1);
      c.update_sent = true;
      c.update = type;
      c.update_id = ++c.next_id;
      c.update_answered = false;
      if (sim_.server().send(id, pm_wire::kProcessUpdate, &m, c.update_id) == simsvc::kOk) ++sent;
    }
    return sent;
  }

  int query_liveness() {
    int sent = 0;
    for (auto& [id, c] : clients_) {
      ++c.liveness_queries;
      if (sim_.server().send(id, pm_wire::kLivenessQuery, nullptr, ++c.next_id) == simsvc::kOk) {
        ++sent;
      }
    }
    return sent;
  }

 private:
  void opened(simsvc::Peer& p) {
    PmClient& c = clients_[p.id];
    c.peer = p.id;
    c.service = service_name_of(p);
    CardState* card = sim_.chassis().card_of(p.node_address);
    c.slot = card != nullptr ? card->desc.slot : -1;
    sim_.log("pm: " + sim_.client_text(p) + " connected");
    if (card != nullptr) send_role(c);
    sim_.changed();
  }

  void send_role(PmClient& c) {
    CardState* card = sim_.chassis().card_at(c.slot);
    if (card == nullptr) return;
    pm_service_control_msg m{};
    msgcodec_pm_service_control_msg_clear(&m);
    m.service_name = const_cast<char*>(c.service.c_str());
    m.role = card->role;
    msgcodec_set_bit(&m.present, 0);
    msgcodec_set_bit(&m.present, 1);
    c.role_sent = true;
    c.role = card->role;
    c.role_id = ++c.next_id;
    sim_.server().send(c.peer, pm_wire::kServiceControl, &m, c.role_id);
  }

  void message(simsvc::Peer& p, const simsvc::Message& m, uint32_t id, void* payload) {
    auto it = clients_.find(p.id);
    if (it == clients_.end()) return;
    PmClient& c = it->second;
    switch (m.id) {
      case pm_wire::kAcceptRole: {
        auto* r = static_cast<pm_accept_role_msg*>(payload);
        c.accepted = true;
        c.accepted_role = msgcodec_test_bit(&r->present, 1) ? r->role : 0;
        c.accepted_id = id;
        sim_.log("pm: " + sim_.client_text(p) + " accepted role " +
                 std::to_string(c.accepted_role) + (id == c.role_id ? "" : " (for an older id)"));
        break;
      }
      case pm_wire::kHaReady:
        ++c.ha_ready;
        sim_.log("pm: " + sim_.client_text(p) + " is HA ready");
        break;
      case pm_wire::kProcessUpdateResponse: {
        auto* r = static_cast<pm_process_update_event_resp*>(payload);
        if (id == c.update_id) {
          c.update_answered = true;
          c.update_status = msgcodec_test_bit(&r->present, 1) ? r->status : 0;
        }
        sim_.log("pm: " + sim_.client_text(p) + " answered process update " +
                 update_name(r->event_type) + " with status " + std::to_string(r->status));
        break;
      }
      case pm_wire::kLivenessStatus: {
        auto* r = static_cast<pm_liveness_status*>(payload);
        c.liveness_answered = true;
        c.liveness = r->status;
        break;
      }
      default:
        return;
    }
    sim_.changed();
  }

  void start_liveness_timer() {
    if (sim_.options().liveness_period_ms == 0) return;
    timer_ = evloop_timer_start(sim_.loop(), sim_.options().liveness_period_ms, &PmModel::tick,
                                this);
  }
  static void tick(void* arg) {
    auto* self = static_cast<PmModel*>(arg);
    self->timer_ = 0;
    self->query_liveness();
    self->start_liveness_timer();
  }

  Simulator& sim_;
  std::map<uint64_t, PmClient> clients_;
  uint64_t timer_ = 0;
};

PmModel* pm_of(Simulator& sim) { return dynamic_cast<PmModel*>(sim.model("pm")); }

}  // namespace

std::unique_ptr<Model> make_pm_model(Simulator& sim) { return std::make_unique<PmModel>(sim); }

namespace control {

Result set_role(Simulator& sim, int32_t slot, int32_t role) {
  CardState* card = sim.chassis().card_at(slot);
  if (card == nullptr) return Result{2, "no card in slot " + std::to_string(slot) + "\n"};
  const int32_t old = card->role;
  card->role = role;
  sim.log("role of " + card->location + " (slot " + std::to_string(slot) + "): " +
          role_name(old) + " -> " + role_name(role));
  if (PmModel* pm = pm_of(sim)) pm->push_role(slot);
  sim.changed();
  return Result{0, "slot " + std::to_string(slot) + " role " + role_name(role) + "\n"};
}

Result pm_update(Simulator& sim, int32_t slot, int32_t event_type) {
  CardState* card = sim.chassis().card_at(slot);
  if (card == nullptr) return Result{2, "no card in slot " + std::to_string(slot) + "\n"};
  PmModel* pm = pm_of(sim);
  const int sent = pm != nullptr ? pm->update(slot, event_type) : 0;
  sim.log("process update " + update_name(event_type) + " to " + card->location + ": " +
          std::to_string(sent) + " client(s)");
  sim.changed();
  return Result{0, "process update " + update_name(event_type) + " sent to " +
                       std::to_string(sent) + " client(s)\n"};
}

Result pm_liveness(Simulator& sim) {
  PmModel* pm = pm_of(sim);
  const int sent = pm != nullptr ? pm->query_liveness() : 0;
  sim.changed();
  return Result{0, "liveness asked of " + std::to_string(sent) + " client(s)\n"};
}

}  // namespace control

}  // namespace envsim

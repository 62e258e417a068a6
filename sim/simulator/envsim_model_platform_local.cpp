// Platform-local model: tells every client the node id and the address of
// the card it stands for.
#include <map>
#include <sstream>

#include "envsim_sim.h"
#include "nodeid.h"
#include "platform_local.h"
#include "platform_local_wire.h"

namespace envsim {

namespace {

// Error code of answers to a client whose address no card has.
constexpr int32_t kNoSuchCard = 19;

struct PlClient {
  int32_t slot = -1;
  std::string hello;
  int nodeid_registrations = 0;
  int ip_registrations = 0;
  std::string nodeid_sent;  // text of the last node id sent
  uint32_t address_sent = 0;
};

class PlatformLocalModel : public Model {
 public:
  explicit PlatformLocalModel(Simulator& sim) : sim_(sim) {
    simsvc::Server::Handler h;
    h.opened = [this](simsvc::Peer& p) {
      CardState* card = sim_.chassis().card_of(p.node_address);
      clients_[p.id].slot = card != nullptr ? card->desc.slot : -1;
      sim_.log("platform_local: " + sim_.client_text(p) + " connected");
      sim_.changed();
    };
    h.closed = [this](simsvc::Peer& p) {
      clients_.erase(p.id);
      sim_.changed();
    };
    h.message = [this](simsvc::Peer& p, const simsvc::Message& m, uint32_t id, int32_t,
                       void* payload) { message(p, m, id, payload); };
    sim_.server().add(&platform_local_wire::kService, std::move(h));
  }

  const char* name() const override { return "platform_local"; }

  void show(std::ostream& out) const override {
    for (const auto& [id, c] : clients_) {
      out << "platform_local " << sim_.client_text(*sim_.server().find_peer(id))
          << " hello=" << (c.hello.empty() ? "-" : c.hello)
          << " nodeid_registrations=" << c.nodeid_registrations
          << " nodeid=" << (c.nodeid_sent.empty() ? "-" : c.nodeid_sent)
          << " ip_registrations=" << c.ip_registrations
          << " address=" << (c.address_sent != 0 ? address_text(c.address_sent) : "-") << "\n";
    }
  }

 private:
  void message(simsvc::Peer& p, const simsvc::Message& m, uint32_t id, void* payload) {
    auto it = clients_.find(p.id);
    if (it == clients_.end()) return;
    PlClient& c = it->second;
    CardState* card = sim_.chassis().card_at(c.slot);
    switch (m.id) {
      case platform_local_wire::kHello: {
        auto* h = static_cast<platform_local_client_hello*>(payload);
        c.hello = msgcodec_test_bit(&h->present, 0) && h->client_name ? h->client_name : "";
        break;
      }
      case platform_local_wire::kNodeidRegister: {
        ++c.nodeid_registrations;
        const int32_t code = card != nullptr ? 0 : kNoSuchCard;
        sim_.server().send(p.id, platform_local_wire::kNodeidRegResp, payload, id, code);
        send_nodeid(p, c, card, id);
        break;
      }
      case platform_local_wire::kIpRegister: {
        ++c.ip_registrations;
        if (card != nullptr) {
          platform_local_ip_msg ip{};
          msgcodec_platform_local_ip_msg_clear(&ip);
          ip.address = card->desc.address;
          msgcodec_set_bit(&ip.present, 0);
          if (sim_.server().send(p.id, platform_local_wire::kIpAddress, &ip, id) == simsvc::kOk) {
            c.address_sent = ip.address;
          }
        }
        break;
      }
      default:
        return;
    }
    sim_.changed();
  }

  void send_nodeid(simsvc::Peer& p, PlClient& c, CardState* card, uint32_t id) {
    platform_local_nodeid_msg m{};
    msgcodec_platform_local_nodeid_msg_clear(&m);
    int32_t status = kNoSuchCard;
    if (card != nullptr) {
      const ChassisDesc& d = sim_.chassis().desc;
      nodeid_td node = nullptr;
      if (nodeid_create2(d.rack_type, d.rack_num, card->desc.slot_type, card->desc.slot_num, 0,
                         &node) == NODEID_OK &&
          nodeid_pack(node, &m.nodeid) == NODEID_OK) {
        msgcodec_set_bit(&m.present, 0);
        status = 0;
        c.nodeid_sent = card->location;
      }
      nodeid_destroy(node);
    }
    sim_.server().send(p.id, platform_local_wire::kNodeid, &m, id, status);
  }

  Simulator& sim_;
  std::map<uint64_t, PlClient> clients_;
};

}  // namespace

std::unique_ptr<Model> make_platform_local_model(Simulator& sim) {
  return std::make_unique<PlatformLocalModel>(sim);
}

}  // namespace envsim

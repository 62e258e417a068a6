// The inventory model served on the simulator's service mechanism.
#include "inv_wire.h"
#include "invdb.h"
#include "invreg_wire.h"
#include "simsvc.h"

namespace invdb {

ServiceHost::ServiceHost(simsvc::Server& server, std::function<void()> changed)
    : server_(server),
      changed_(std::move(changed)),
      model_(
          [this](uint64_t peer, uint32_t msg_id, const void* payload, uint32_t request_id) {
            server_.send(peer, msg_id, payload, request_id);
          },
          [this](uint64_t peer, uint32_t msg_id, const void* payload, uint32_t request_id) {
            server_.send(peer, msg_id, payload, request_id);
          }) {
  simsvc::Server::Handler reg;
  // A registration client says its scope first; until then it is not served.
  reg.message = [this](simsvc::Peer& peer, const simsvc::Message& m, uint32_t request_id,
                       int32_t, void* payload) {
    if (m.id == invreg_wire::kHello) {
      const auto* hello = static_cast<const invreg_hello*>(payload);
      model_.invreg_opened(peer.id, hello->scope);
      peer.model_data = &model_;
      return;
    }
    if (peer.model_data == nullptr) return;
    model_.invreg_message(peer.id, m.id, request_id, payload);
    if (changed_) changed_();
  };
  reg.closed = [this](simsvc::Peer& peer) { model_.invreg_closed(peer.id); };
  server_.add(&invreg_wire::service(), std::move(reg));

  simsvc::Server::Handler inv;
  inv.opened = [this](simsvc::Peer& peer) { model_.inv_opened(peer.id); };
  inv.message = [this](simsvc::Peer& peer, const simsvc::Message& m, uint32_t request_id, int32_t,
                       void* payload) {
    model_.inv_message(peer.id, m.id, request_id, payload);
    if (changed_) changed_();
  };
  inv.closed = [this](simsvc::Peer& peer) { model_.inv_closed(peer.id); };
  server_.add(&inv_wire::service(), std::move(inv));
}

}  // namespace invdb

// The inventory model served in this process.
#include "inv_wire.h"
#include "invdb.h"
#include "invreg_wire.h"
#include "invsvc_local.h"

namespace invdb {

msgpipe_endpoint LocalServer::invreg_endpoint(uint32_t scope) {
  return invreg_wire::scope_endpoint(scope);
}

msgpipe_endpoint LocalServer::inv_endpoint() { return inv_wire::offer_endpoint(); }

LocalServer::LocalServer(struct evloop* loop)
    : model_(
          [](uint64_t peer, uint32_t msg_id, const void* payload, uint32_t request_id) {
            invsvc_local::invreg_hub().send(peer, msg_id, payload, request_id);
          },
          [](uint64_t peer, uint32_t msg_id, const void* payload, uint32_t request_id) {
            invsvc_local::inv_hub().send(peer, msg_id, payload, request_id);
          }) {
  invsvc_local::Hub::Service reg;
  reg.opened = [this](uint64_t conn, uint32_t scope) { model_.invreg_opened(conn, scope); };
  reg.closed = [this](uint64_t conn) { model_.invreg_closed(conn); };
  reg.message = [this](uint64_t conn, uint32_t id, uint32_t rid, const void* p) {
    model_.invreg_message(conn, id, rid, p);
  };
  invsvc_local::invreg_hub().serve(
      loop, std::move(reg),
      {{1, invreg_endpoint(1)}, {3, invreg_endpoint(3)}});
  invsvc_local::Hub::Service inv;
  inv.opened = [this](uint64_t conn, uint32_t) { model_.inv_opened(conn); };
  inv.closed = [this](uint64_t conn) { model_.inv_closed(conn); };
  inv.message = [this](uint64_t conn, uint32_t id, uint32_t rid, const void* p) {
    model_.inv_message(conn, id, rid, p);
  };
  invsvc_local::inv_hub().serve(loop, std::move(inv), {{1, inv_endpoint()}});
}

LocalServer::~LocalServer() {
  invsvc_local::invreg_hub().withdraw();
  invsvc_local::inv_hub().withdraw();
}

}  // namespace invdb

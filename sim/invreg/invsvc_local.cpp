// In-process serving of the inventory services (invsvc_local.h).
#include "invsvc_local.h"

#include <stdlib.h>

#include <memory>

#include "invreg_wire.h"

namespace invsvc_local {

namespace {

void run_item(void* arg) {
  std::unique_ptr<std::function<void()>> fn(static_cast<std::function<void()>*>(arg));
  (*fn)();
}

// A decoded copy of encoded bytes, released when it goes out of scope.
struct Decoded {
  const msgcodec_type* type;
  void* rec = nullptr;
  Decoded(const msgcodec_type* t, const std::vector<uint8_t>& bytes) : type(t) {
    if (t == nullptr) return;
    rec = calloc(1, t->size);
    if (rec == nullptr) return;
    if (msgcodec_decode(t, rec, bytes.data(), bytes.size(), malloc, 0) !=
        static_cast<int>(bytes.size())) {
      free(rec);
      rec = nullptr;
    }
  }
  ~Decoded() {
    if (rec == nullptr) return;
    msgcodec_free(type, rec, free);
    free(rec);
  }
  Decoded(const Decoded&) = delete;
  Decoded& operator=(const Decoded&) = delete;
};

const msgcodec_type* invreg_type(uint32_t id) {
  const invreg_wire::Message* m = invreg_wire::find(id);
  return m != nullptr ? m->type : nullptr;
}

}  // namespace

Hub& invreg_hub() {
  static Hub hub(invreg_type);
  return hub;
}

void Hub::post(std::function<void()> fn) {
  if (loop_ == nullptr) return;
  auto* item = new std::function<void()>(std::move(fn));
  if (evloop_delayed_ev_item_enqueue(loop_, run_item, item) != 0) delete item;
}

std::vector<uint8_t>* Hub::encode(uint32_t msg_id, const void* payload) {
  const msgcodec_type* t = type_of_(msg_id);
  if (t == nullptr || payload == nullptr) return nullptr;
  const int n = msgcodec_encode(t, payload, nullptr, 0);
  if (n < 0) return nullptr;
  auto* bytes = new std::vector<uint8_t>(static_cast<size_t>(n));
  if (msgcodec_encode(t, payload, bytes->data(), bytes->size()) != n) {
    delete bytes;
    return nullptr;
  }
  return bytes;
}

void Hub::serve(evloop_t* loop, Service service, std::vector<Offer> offers) {
  withdraw();
  loop_ = loop;
  service_ = std::move(service);
  offers_ = std::move(offers);
  serving_ = true;
  ++generation_;
}

void Hub::withdraw() {
  if (!serving_) return;
  serving_ = false;
  ++generation_;
  auto conns = std::move(conns_);
  conns_.clear();
  for (auto& [id, c] : conns) c.client->dropped();
  offers_.clear();
  service_ = Service{};
}

bool Hub::find_offer(const msgpipe_endpoint& endpoint, uint32_t* scope) const {
  for (const Offer& o : offers_) {
    if (!msgpipe_endpoint_equals(&o.endpoint, &endpoint)) continue;
    if (scope != nullptr) *scope = o.scope;
    return true;
  }
  return false;
}

uint64_t Hub::open(Client* client, uint32_t scope) {
  if (!serving_) return 0;
  const uint64_t id = ++next_conn_;
  conns_[id] = Conn{client, scope, false};
  if (service_.opened) service_.opened(id, scope);
  return id;
}

void Hub::close(uint64_t conn) {
  if (conns_.erase(conn) == 0) return;
  if (service_.closed) service_.closed(conn);
}

int Hub::client_send(uint64_t conn, uint32_t msg_id, const void* payload, uint32_t request_id) {
  auto it = conns_.find(conn);
  if (it == conns_.end()) return -1;
  if (flow_controlled_[it->second.scope]) {
    it->second.refused = true;
    return -3;
  }
  std::unique_ptr<std::vector<uint8_t>> bytes(encode(msg_id, payload));
  if (!bytes && type_of_(msg_id) != nullptr) return -1;
  std::shared_ptr<std::vector<uint8_t>> shared(bytes.release());
  const uint64_t gen = generation_;
  post([this, gen, conn, msg_id, request_id, shared] {
    if (gen != generation_ || conns_.count(conn) == 0 || !service_.message) return;
    Decoded d(type_of_(msg_id), shared ? *shared : std::vector<uint8_t>{});
    if (type_of_(msg_id) != nullptr && d.rec == nullptr) return;
    service_.message(conn, msg_id, request_id, d.rec);
  });
  return 0;
}

int Hub::send(uint64_t conn, uint32_t msg_id, const void* payload, uint32_t request_id) {
  if (conns_.count(conn) == 0) return -1;
  std::unique_ptr<std::vector<uint8_t>> bytes(encode(msg_id, payload));
  if (!bytes) return -1;
  std::shared_ptr<std::vector<uint8_t>> shared(bytes.release());
  const uint64_t gen = generation_;
  post([this, gen, conn, msg_id, request_id, shared] {
    if (gen != generation_) return;
    auto it = conns_.find(conn);
    if (it == conns_.end()) return;
    Decoded d(type_of_(msg_id), *shared);
    if (d.rec == nullptr) return;
    it->second.client->deliver(msg_id, request_id, d.rec);
  });
  return 0;
}

void Hub::set_flow_controlled(uint32_t scope, bool on) {
  flow_controlled_[scope] = on;
  if (on) return;
  for (auto& [id, c] : conns_) {
    if (c.scope != scope || !c.refused) continue;
    c.refused = false;
    const uint64_t conn = id;
    post([this, conn] {
      auto it = conns_.find(conn);
      if (it != conns_.end()) it->second.client->flow_resumed();
    });
  }
}

void Hub::drop(uint32_t scope) {
  std::vector<std::pair<uint64_t, Client*>> gone;
  for (auto it = conns_.begin(); it != conns_.end();) {
    if (it->second.scope == scope) {
      gone.emplace_back(it->first, it->second.client);
      it = conns_.erase(it);
    } else {
      ++it;
    }
  }
  for (auto& [id, client] : gone) {
    if (service_.closed) service_.closed(id);
    client->dropped();
  }
}

}  // namespace invsvc_local

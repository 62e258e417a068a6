// The inventory services served inside this process: how the client libraries
// of the inventory-registration (invreg) and inventory (inv) services reach
// the inventory model when it runs in the same process, on the clients' event
// loop (tests, and tools that carry the model). Each family has one Hub.
//
// A server publishes offers (a scope and an endpoint each); a client handle
// that connects to an offer's endpoint becomes a connection the server sees
// opened, gets messages from and sends messages to. Every message is encoded
// with its record type and decoded again on the other side, and delivered on
// the loop after the current event, as over a transport. Tests can hold a
// scope's connections flow-controlled and drop them.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <vector>

#include "evloop.h"
#include "msgcodec.h"
#include "msgpipe.h"

namespace invsvc_local {

// The record type of a message id of the family; null for an unknown id.
using TypeOf = const msgcodec_type* (*)(uint32_t msg_id);

struct Offer {
  uint32_t scope = 0;
  msgpipe_endpoint endpoint{};
};

// What a client handle of the family gives the hub.
class Client {
 public:
  virtual ~Client() = default;
  // A decoded message from the server (payload null for none).
  virtual void deliver(uint32_t msg_id, uint32_t request_id, const void* payload) = 0;
  virtual void flow_resumed() = 0;
  // The server ended the connection.
  virtual void dropped() = 0;
};

class Hub {
 public:
  struct Service {
    std::function<void(uint64_t conn, uint32_t scope)> opened;
    std::function<void(uint64_t conn)> closed;
    std::function<void(uint64_t conn, uint32_t msg_id, uint32_t request_id, const void* payload)>
        message;
  };

  explicit Hub(TypeOf type_of) : type_of_(type_of) {}

  // Serving side. serve() replaces a service being served.
  void serve(evloop_t* loop, Service service, std::vector<Offer> offers);
  void withdraw();
  bool serving() const { return serving_; }
  // Sends to a connection; 0, or -1 when it is gone or the record does not encode.
  int send(uint64_t conn, uint32_t msg_id, const void* payload, uint32_t request_id);
  // While on, the sends of the clients of `scope` are refused as flow-controlled;
  // turning it off tells the refused clients that they may send again.
  void set_flow_controlled(uint32_t scope, bool on);
  // Ends every connection of `scope` as the server would.
  void drop(uint32_t scope);
  const std::vector<Offer>& offers() const { return offers_; }

  // Client side.
  // The scope of the offer with this endpoint; false when none.
  bool find_offer(const msgpipe_endpoint& endpoint, uint32_t* scope) const;
  // Opens a connection of a client to an offer's scope; 0 when none is served.
  uint64_t open(Client* client, uint32_t scope);
  void close(uint64_t conn);
  // 0 sent, -3 flow-controlled, -1 not connected or not encodable.
  int client_send(uint64_t conn, uint32_t msg_id, const void* payload, uint32_t request_id);
  evloop_t* loop() const { return loop_; }

 private:
  struct Conn {
    Client* client;
    uint32_t scope;
    bool refused;  // a send was refused for flow control
  };
  std::vector<uint8_t>* encode(uint32_t msg_id, const void* payload);
  void post(std::function<void()> fn);

  TypeOf type_of_;
  evloop_t* loop_ = nullptr;
  bool serving_ = false;
  Service service_;
  std::vector<Offer> offers_;
  std::map<uint64_t, Conn> conns_;
  std::map<uint32_t, bool> flow_controlled_;
  uint64_t next_conn_ = 0;
  uint64_t generation_ = 0;  // bumped on serve/withdraw: older deliveries are dropped
};

// The hubs of the two families (inv_hub is the inventory-service library's).
Hub& invreg_hub();
Hub& inv_hub();

}  // namespace invsvc_local

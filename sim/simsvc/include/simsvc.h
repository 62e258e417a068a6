// The one way a platform service's client library reaches its model in the
// chassis simulator, and answers and notifications come back.
//
// A service is a name and a table of messages, each an id and the codec
// record type of its payload. A client library keeps a Client on the caller's
// event loop: it finds the service through the directory service (or, when
// the models run in the same process, through this process's own table),
// connects over msgpipe, introduces itself with the request layer's INIT
// (carrying the card address the process stands for) and then sends and
// receives frames: a capi_header (message id, request id, status) followed by
// the payload record. Received payloads are decoded into a record of the
// message's type, handed to the client's message function on its loop and
// released when that returns. A lost connection is reported and made again.
//
// The simulator keeps a Server with one listening endpoint for all its
// services; it publishes each service under its name (and, as instance name,
// the simulator's root directory, so that simulators of different roots never
// serve each other's clients).
//
// A family's client library is then its records' field tables, a Service
// table and a list of calls.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "evloop.h"
#include "msgcodec.h"
#include "msgpipe.h"

namespace simsvc {

struct Message {
  uint32_t id;
  const msgcodec_type* type;  // null: no payload
  const char* name;
};

struct Service {
  const char* name;  // directory-service name
  const Message* messages;
  size_t message_count;

  const Message* find(uint32_t id) const;
};

template <size_t N>
constexpr Service make_service(const char* name, const Message (&messages)[N]) {
  return Service{name, messages, N};
}

// Variable that names the card a process stands for ("127.a.b.c").
constexpr const char kCardAddressEnv[] = "ENVMON_CARD_ADDR";
// The card address of this process from kCardAddressEnv, host order; 0 when
// unset or malformed.
uint32_t own_card_address();
// The instance name services are published under and looked up by: the root
// directory of ENVMON_ROOT in a canonical form, "" when unset.
std::string instance_from_root(const char* root);
std::string own_instance();

// Results of send().
constexpr int kOk = 0;
constexpr int kErrNotConnected = -107;
constexpr int kErrEncode = -22;
constexpr int kErrNoMemory = -12;
constexpr int kErrUnknownMessage = -2;

class Client {
 public:
  struct Events {
    // After the service accepted the connection (status 0).
    std::function<void(int32_t status)> connected;
    // The connection went away; a new one is being made.
    std::function<void(int32_t reason)> disconnected;
    // A message from the service; payload is null for messages without one.
    std::function<void(const Message& msg, uint32_t request_id, int32_t status, void* payload)>
        message;
    // The client's memory is gone (after destroy(), possibly after the event
    // that called it); a family frees its own handle here.
    std::function<void()> released;
  };

  // A client of `service` on `loop`; null when the transport cannot be had.
  static Client* create(evloop_t* loop, const Service* service, Events events);
  // Closes and frees the client; allowed from inside its own events (the
  // memory goes after the event).
  void destroy();

  // Connects to this endpoint instead of finding the service (before connect()).
  void set_endpoint(const msgpipe_endpoint& endpoint);
  // Starts finding and connecting to the service. kOk, or negative when
  // already started.
  int connect();
  // Closes the connection without reconnecting; disconnected follows.
  int disconnect();
  bool is_connected() const;
  // Sends one message. request_id ties a request to its answer (0: none).
  int send(uint32_t msg_id, const void* payload, uint32_t request_id = 0, int32_t status = 0);
  // A fresh request id of this client (never 0).
  uint32_t next_request_id();
  evloop_t* loop() const;

  struct Impl;

 private:
  explicit Client(Impl* impl) : impl_(impl) {}
  ~Client();
  static void release(void* client);
  Impl* impl_;
};

// A connection accepted by a Server, as its models see it.
struct Peer {
  uint64_t id = 0;
  std::string service;
  uint32_t node_address = 0;  // the card address the client stands for (0: none given)
  uint32_t pid = 0;
  std::string program;
  void* model_data = nullptr;  // free for the model's use
};

class Server {
 public:
  struct Handler {
    std::function<void(Peer& peer)> opened;
    std::function<void(Peer& peer, const Message& msg, uint32_t request_id, int32_t status,
                       void* payload)>
        message;
    std::function<void(Peer& peer)> closed;
  };

  // Listens on `bind_address`, any free port. Null with `error` set on failure.
  static std::unique_ptr<Server> create(evloop_t* loop, uint32_t bind_address,
                                        const std::string& instance, std::string* error);
  ~Server();

  // Serves `service` with `handler`. Before publish().
  void add(const Service* service, Handler handler);
  // Makes the services findable: in this process at once, and through the
  // directory service once connected to it (and again after each reconnection).
  void publish();

  int send(uint64_t peer, uint32_t msg_id, const void* payload, uint32_t request_id = 0,
           int32_t status = 0);
  // Ends a connection; the handler's closed follows.
  void close(uint64_t peer);
  Peer* find_peer(uint64_t peer);

  msgpipe_endpoint endpoint() const;
  bool ds_connected() const;
  size_t peer_count() const;

  struct Impl;

 private:
  explicit Server(std::unique_ptr<Impl> impl);
  std::unique_ptr<Impl> impl_;
};

// The event loop of a thread this library runs for families whose calls carry
// no event loop (syslog messages, statistics registration). Started on first
// use, stopped at process exit.
evloop_t* agent_loop();
// Runs fn on the agent loop (from any thread). False when it could not be queued.
bool agent_post(std::function<void()> fn);

}  // namespace simsvc

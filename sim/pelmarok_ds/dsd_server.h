// The directory service's transport side: a listener, one connection per
// client, each message decoded and handed to the registry, and the registry's
// answers and notifications sent back.
#pragma once

#include <cstdint>
#include <map>

#include "dsd_registry.h"
#include "evloop.h"
#include "msgpipe.h"

class DsServer {
 public:
  DsServer(evloop_t* loop, DsRegistry::Log log);
  ~DsServer();
  DsServer(const DsServer&) = delete;
  DsServer& operator=(const DsServer&) = delete;

  // Listens on `endpoint` (port 0: any). 0, or -1 when it cannot.
  int start(const msgpipe_endpoint& endpoint);
  // Where it listens (valid after start).
  msgpipe_endpoint local_endpoint() const;
  const DsRegistry& registry() const { return registry_; }

 private:
  static void on_event(msgpipe_handle_t* h, uint32_t event, int failed, void* buf, int32_t size,
                       uint32_t flags);
  void on_connection(msgpipe_handle_t* h, uint32_t event, int failed, void* buf, int32_t size);
  void on_message(uint64_t conn, const uint8_t* bytes, size_t len);
  void deliver(std::vector<DsOutgoing>& out);

  evloop_t* loop_;
  DsRegistry::Log log_;
  DsRegistry registry_;
  msgpipe_handle_t* listener_ = nullptr;
  std::map<msgpipe_handle_t*, uint64_t> conns_;
  std::map<uint64_t, msgpipe_handle_t*> handles_;
  uint64_t next_conn_ = 1;
};

// The directory service's state: published entries in publication order and
// the watches of every client, with the messages each change produces. No I/O:
// the server feeds it decoded messages and sends what it returns.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "ds_wire.h"

struct DsOutgoing {
  uint64_t conn;
  std::vector<uint8_t> bytes;  // one encoded ds_wire_msg
};

class DsRegistry {
 public:
  using Log = std::function<void(const std::string&)>;
  explicit DsRegistry(Log log);

  // One decoded message from client `conn`. Parts of `msg` may be taken over
  // (the caller still releases it with msgcodec_ds_wire_msg_free_ext).
  void handle(uint64_t conn, ds_wire_msg& msg, std::vector<DsOutgoing>& out);
  // The client's connection is gone: its watches end and its entries are withdrawn.
  void drop(uint64_t conn, std::vector<DsOutgoing>& out);
  // Name the client gave in HELLO, else "client <conn>".
  std::string name_of(uint64_t conn) const;
  size_t entry_count() const { return entries_.size(); }
  size_t watch_count() const { return watches_.size(); }

 private:
  struct InfoFree {
    void operator()(ds_service_info* p) const;
  };
  struct Entry {
    uint64_t conn;
    std::string service;
    std::unique_ptr<ds_service_info, InfoFree> info;
  };
  struct Watch {
    uint64_t conn;
    uint32_t id;
    std::string service;
    bool has_instance;
    std::string instance;
  };

  void publish(uint64_t conn, ds_wire_msg& msg, std::vector<DsOutgoing>& out);
  void watch(uint64_t conn, const ds_wire_msg& msg, std::vector<DsOutgoing>& out);
  void unwatch(uint64_t conn, const ds_wire_msg& msg, std::vector<DsOutgoing>& out);
  // Tells every watch of `service` what was withdrawn and what is current.
  // touched: entries added or removed; withdrawn: those of them that are gone.
  void notify_change(const std::string& service, const std::vector<const ds_service_info*>& touched,
                     const std::vector<const ds_service_info*>& withdrawn, std::vector<DsOutgoing>& out);
  bool matches(const Watch& w, const std::string& service, const ds_service_info& info) const;
  void send_entries(const Watch& w, uint32_t op, const std::vector<const ds_service_info*>& list,
                    std::vector<DsOutgoing>& out);
  void answer(uint64_t conn, uint32_t op, uint32_t seq, int32_t status, const std::string& why,
              std::vector<DsOutgoing>& out);

  Log log_;
  std::vector<Entry> entries_;
  std::vector<Watch> watches_;
  std::map<uint64_t, std::string> names_;
};

// The key store behind the configuration database: used by the configuration
// model of the simulator and, for the snapshot a callback reads, by the
// client side of cdb.h.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "cdb.h"

namespace cdbstore {

struct Entry {
  std::string path;
  std::string value;
  bool has_value = false;
};

class Store {
 public:
  // Sets a key, with a value or without one. False for a malformed path
  // (it must start with "/", have no empty step and no trailing "/").
  bool set(const std::string& path, const std::string* value);
  // Removes the key and every key below it; how many went.
  size_t erase(const std::string& path);
  bool exists(const std::string& path) const;
  int num_instances(const std::string& path) const;
  // The key's value; null when the key is missing or holds none.
  const std::string* value(const std::string& path) const;
  // The keys at or below `prefix`, in path order.
  std::vector<Entry> under(const std::string& prefix) const;
  std::vector<Entry> all() const { return under("/"); }
  size_t size() const { return keys_.size(); }

  static bool valid_path(const std::string& path);
  // True when `path` is `prefix` or lies below it.
  static bool is_under(const std::string& path, const std::string& prefix);

 private:
  std::map<std::string, std::optional<std::string>> keys_;
};

// Value readers shared by the cdb_get_* calls.
int parse_u32(const std::string& text, uint32_t* out);
int parse_enum(const std::string& text, int32_t* out);
int parse_date(const std::string& text, cdb_date* out);

// Handles of the cdb_* reads: a snapshot of a namespace, valid until closed.
int snapshot_open(std::vector<Entry> entries);
void snapshot_close(int cfg);

}  // namespace cdbstore

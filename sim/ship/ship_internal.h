// What the registration table shares with the link to the statistics model.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace ship_detail {

struct TableCopy {
  uint32_t id;
  std::string app;
  std::string group;
  std::string table;
  uint32_t kind;
  std::vector<std::string> names;
  std::vector<uint32_t> values;
};

// Every registered table with its counters' present values.
std::vector<TableCopy> snapshot();

// Tells the statistics model (from the service mechanism's own thread).
void announce(uint32_t table_id);
void announce_reset();

}  // namespace ship_detail

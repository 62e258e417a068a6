// Statistics registration stand-in: the registrations of this process.
#include <stdlib.h>
#include <string.h>

#include <map>
#include <mutex>
#include <string>
#include <tuple>
#include <vector>

#include "ship.h"
#include "ship_internal.h"

namespace {

struct Table {
  uint32_t id = 0;
  uint32_t kind = 0;
  ship_counter_def* defs = nullptr;
  uint32_t count = 0;
  uint32_t* block = nullptr;
};

using Key = std::tuple<std::string, std::string, std::string>;

struct Registry {
  std::mutex mu;
  std::map<Key, Table> tables;
  std::map<std::string, int> refused;
  std::vector<uint32_t*> blocks;  // every block handed out; holders keep using them
  uint32_t last_id = 0;
};

Registry& registry() {
  static Registry* r = new Registry();  // lives as long as the blocks handed out
  return *r;
}

bool empty(const char* s) { return !s || !*s; }

}  // namespace

extern "C" {

int ship_register(const char* group, const char* table, const char* app, uint32_t kind,
                  uint32_t /*flags*/, ship_counter_def* defs, uint32_t count, uint32_t** handle) {
  if (empty(group) || empty(table) || empty(app) || !defs || count == 0 || !handle)
    return SHIP_ERR_ARG;
  Registry& r = registry();
  std::lock_guard<std::mutex> lock(r.mu);
  if (auto it = r.refused.find(table); it != r.refused.end()) return it->second;
  Key key{app, group, table};
  if (r.tables.count(key)) return SHIP_ERR_EXISTS;
  auto* block = static_cast<uint32_t*>(calloc(static_cast<size_t>(count) * SHIP_WORDS_PER_COUNTER,
                                              sizeof(uint32_t)));
  if (!block) return SHIP_ERR_NO_MEMORY;
  for (uint32_t i = 0; i < count; ++i) block[i * SHIP_WORDS_PER_COUNTER] = defs[i].value;
  r.blocks.push_back(block);
  const uint32_t id = ++r.last_id;
  r.tables[key] = Table{id, kind, defs, count, block};
  *handle = block;
  ship_detail::announce(id);
  return SHIP_OK;
}

int64_t ship_get_counter(const char* app, const char* group, const char* table, const char* name) {
  if (empty(app) || empty(group) || empty(table) || empty(name)) return -1;
  Registry& r = registry();
  std::lock_guard<std::mutex> lock(r.mu);
  auto it = r.tables.find(Key{app, group, table});
  if (it == r.tables.end()) return -1;
  const Table& t = it->second;
  for (uint32_t i = 0; i < t.count; ++i) {
    if (t.defs[i].name && strcmp(t.defs[i].name, name) == 0)
      return __atomic_load_n(&t.block[i * SHIP_WORDS_PER_COUNTER], __ATOMIC_RELAXED);
  }
  return -1;
}

void ship_reset(void) {
  Registry& r = registry();
  std::lock_guard<std::mutex> lock(r.mu);
  r.tables.clear();  // blocks stay with their holders
  r.refused.clear();
  ship_detail::announce_reset();
}

void ship_test_refuse_table(const char* table, int rc) {
  if (empty(table)) return;
  Registry& r = registry();
  std::lock_guard<std::mutex> lock(r.mu);
  if (rc == 0)
    r.refused.erase(table);
  else
    r.refused[table] = rc;
}

}  // extern "C"

namespace ship_detail {

std::vector<TableCopy> snapshot() {
  Registry& r = registry();
  std::lock_guard<std::mutex> lock(r.mu);
  std::vector<TableCopy> out;
  for (const auto& [key, t] : r.tables) {
    TableCopy c{t.id, std::get<0>(key), std::get<1>(key), std::get<2>(key), t.kind, {}, {}};
    for (uint32_t i = 0; i < t.count; ++i) {
      c.names.emplace_back(t.defs[i].name ? t.defs[i].name : "");
      c.values.push_back(__atomic_load_n(&t.block[i * SHIP_WORDS_PER_COUNTER], __ATOMIC_RELAXED));
    }
    out.push_back(std::move(c));
  }
  return out;
}

}  // namespace ship_detail

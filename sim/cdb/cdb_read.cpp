// cdb_* reads on the configuration handles of the provider layer.
#include <stdarg.h>
#include <stdio.h>

#include <map>
#include <memory>
#include <mutex>

#include "cdb.h"
#include "cdb_store.h"

namespace {

struct Handles {
  std::mutex mu;
  int next = 1;
  std::map<int, std::shared_ptr<const cdbstore::Store>> open;
};

Handles& handles() {
  static Handles* h = new Handles();  // used until the process ends
  return *h;
}

std::shared_ptr<const cdbstore::Store> lookup(int cfg) {
  Handles& h = handles();
  std::lock_guard<std::mutex> lock(h.mu);
  auto it = h.open.find(cfg);
  return it == h.open.end() ? nullptr : it->second;
}

// Composes the path; CDB_OK or why not.
int compose(char* buf, size_t len, const char* fmt, va_list ap) {
  if (fmt == nullptr) return CDB_ERR_BAD_VALUE;
  const int n = vsnprintf(buf, len, fmt, ap);
  if (n < 0) return CDB_ERR_BAD_VALUE;
  if (static_cast<size_t>(n) >= len) return CDB_ERR_PATH_TOO_LONG;
  return CDB_OK;
}

// Reads the value at the composed path and converts it with `parse`.
template <typename T, typename Parse>
int read_value(int cfg, T* out, const char* fmt, va_list ap, Parse parse) {
  if (out == nullptr) return CDB_ERR_BAD_VALUE;
  auto store = lookup(cfg);
  if (!store) return CDB_ERR_BAD_HANDLE;
  char path[CDB_MAX_PATH + 1];
  if (int rc = compose(path, sizeof path, fmt, ap); rc != CDB_OK) return rc;
  const std::string* v = store->value(path);
  if (v == nullptr) return CDB_ERR_NOT_FOUND;
  return parse(*v, out);
}

}  // namespace

namespace cdbstore {

int snapshot_open(std::vector<Entry> entries) {
  auto store = std::make_shared<Store>();
  for (const auto& e : entries) store->set(e.path, e.has_value ? &e.value : nullptr);
  Handles& h = handles();
  std::lock_guard<std::mutex> lock(h.mu);
  const int cfg = h.next++;
  if (h.next <= 0) h.next = 1;
  h.open[cfg] = std::move(store);
  return cfg;
}

void snapshot_close(int cfg) {
  Handles& h = handles();
  std::lock_guard<std::mutex> lock(h.mu);
  h.open.erase(cfg);
}

}  // namespace cdbstore

extern "C" {

int cdb_set_namespace(int cfg, uint32_t) { return lookup(cfg) ? CDB_OK : CDB_ERR_BAD_HANDLE; }

int cdb_exists(int cfg, const char* fmt, ...) {
  auto store = lookup(cfg);
  if (!store) return 0;
  char path[CDB_MAX_PATH + 1];
  va_list ap;
  va_start(ap, fmt);
  const int rc = compose(path, sizeof path, fmt, ap);
  va_end(ap);
  return rc == CDB_OK && store->exists(path) ? 1 : 0;
}

int cdb_num_instances(int cfg, const char* fmt, ...) {
  auto store = lookup(cfg);
  if (!store) return 0;
  char path[CDB_MAX_PATH + 1];
  va_list ap;
  va_start(ap, fmt);
  const int rc = compose(path, sizeof path, fmt, ap);
  va_end(ap);
  return rc == CDB_OK ? store->num_instances(path) : 0;
}

int cdb_get_enum_value(int cfg, int32_t* value, const char* fmt, ...) {
  va_list ap;
  va_start(ap, fmt);
  const int rc = read_value(cfg, value, fmt, ap, cdbstore::parse_enum);
  va_end(ap);
  return rc;
}

int cdb_get_u_int32(int cfg, uint32_t* value, const char* fmt, ...) {
  va_list ap;
  va_start(ap, fmt);
  const int rc = read_value(cfg, value, fmt, ap, cdbstore::parse_u32);
  va_end(ap);
  return rc;
}

int cdb_get_date(int cfg, cdb_date* date, const char* fmt, ...) {
  va_list ap;
  va_start(ap, fmt);
  const int rc = read_value(cfg, date, fmt, ap, cdbstore::parse_date);
  va_end(ap);
  return rc;
}

}  // extern "C"

// The key store of the configuration database.
#include "cdb_store.h"

#include <set>

namespace cdbstore {

namespace {

bool starts_with(const std::string& s, const std::string& prefix) {
  return s.size() >= prefix.size() && s.compare(0, prefix.size(), prefix) == 0;
}

}  // namespace

bool Store::valid_path(const std::string& path) {
  if (path.size() < 2 || path[0] != '/' || path.back() == '/') return false;
  if (path.size() > CDB_MAX_PATH) return false;
  for (size_t i = 1; i < path.size(); ++i) {
    const char c = path[i];
    if (c == '/' && path[i - 1] == '/') return false;
    if (c == '\0' || c == ' ' || c == '\n' || c == '\t') return false;
  }
  return true;
}

bool Store::is_under(const std::string& path, const std::string& prefix) {
  if (prefix == "/") return !path.empty() && path[0] == '/';
  if (!starts_with(path, prefix)) return false;
  return path.size() == prefix.size() || path[prefix.size()] == '/' ||
         path[prefix.size()] == '[';
}

bool Store::set(const std::string& path, const std::string* value) {
  if (!valid_path(path)) return false;
  if (value != nullptr) {
    keys_[path] = *value;
  } else {
    keys_[path] = std::nullopt;
  }
  return true;
}

size_t Store::erase(const std::string& path) {
  size_t n = 0;
  for (auto it = keys_.lower_bound(path); it != keys_.end() && starts_with(it->first, path);) {
    if (is_under(it->first, path)) {
      it = keys_.erase(it);
      ++n;
    } else {
      ++it;
    }
  }
  return n;
}

bool Store::exists(const std::string& path) const {
  for (auto it = keys_.lower_bound(path); it != keys_.end() && starts_with(it->first, path);
       ++it) {
    if (is_under(it->first, path)) return true;
  }
  return false;
}

int Store::num_instances(const std::string& path) const {
  const std::string open = path + "[";
  std::set<unsigned long> indexes;
  for (auto it = keys_.lower_bound(open); it != keys_.end() && starts_with(it->first, open);
       ++it) {
    const std::string& k = it->first;
    size_t i = open.size();
    size_t digits = 0;
    unsigned long n = 0;
    while (i < k.size() && k[i] >= '0' && k[i] <= '9' && digits < 9) {
      n = n * 10 + static_cast<unsigned long>(k[i] - '0');
      ++i;
      ++digits;
    }
    if (digits == 0 || i >= k.size() || k[i] != ']') continue;
    ++i;
    if (i == k.size() || k[i] == '/' || k[i] == '[') indexes.insert(n);
  }
  if (!indexes.empty()) return static_cast<int>(indexes.size());
  return exists(path) ? 1 : 0;
}

const std::string* Store::value(const std::string& path) const {
  auto it = keys_.find(path);
  if (it == keys_.end() || !it->second) return nullptr;
  return &*it->second;
}

std::vector<Entry> Store::under(const std::string& prefix) const {
  std::vector<Entry> out;
  for (const auto& [k, v] : keys_) {
    if (!is_under(k, prefix)) continue;
    out.push_back(Entry{k, v.value_or(std::string()), v.has_value()});
  }
  return out;
}

int parse_u32(const std::string& text, uint32_t* out) {
  if (text.empty() || text.size() > 10) return CDB_ERR_BAD_VALUE;
  uint64_t v = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return CDB_ERR_BAD_VALUE;
    v = v * 10 + static_cast<uint64_t>(c - '0');
  }
  if (v > 0xffffffffu) return CDB_ERR_BAD_VALUE;
  *out = static_cast<uint32_t>(v);
  return CDB_OK;
}

int parse_enum(const std::string& text, int32_t* out) {
  const bool negative = !text.empty() && text[0] == '-';
  uint32_t magnitude = 0;
  if (parse_u32(negative ? text.substr(1) : text, &magnitude) != CDB_OK) return CDB_ERR_BAD_VALUE;
  const int64_t v = negative ? -static_cast<int64_t>(magnitude) : magnitude;
  if (v < INT32_MIN || v > INT32_MAX) return CDB_ERR_BAD_VALUE;
  *out = static_cast<int32_t>(v);
  return CDB_OK;
}

int parse_date(const std::string& text, cdb_date* out) {
  // YYYY-MM-DD, optionally followed by a blank and the time-zone number.
  if (text.size() < 10 || text[4] != '-' || text[7] != '-') return CDB_ERR_BAD_VALUE;
  uint32_t year = 0;
  uint32_t month = 0;
  uint32_t day = 0;
  if (parse_u32(text.substr(0, 4), &year) != CDB_OK ||
      parse_u32(text.substr(5, 2), &month) != CDB_OK ||
      parse_u32(text.substr(8, 2), &day) != CDB_OK) {
    return CDB_ERR_BAD_VALUE;
  }
  if (month < 1 || month > 12 || day < 1 || day > 31) return CDB_ERR_BAD_VALUE;
  int32_t tz = 0;
  if (text.size() > 10) {
    if (text[10] != ' ' || parse_enum(text.substr(11), &tz) != CDB_OK || tz < INT16_MIN ||
        tz > INT16_MAX) {
      return CDB_ERR_BAD_VALUE;
    }
  }
  out->year = static_cast<uint16_t>(year);
  out->month = static_cast<uint8_t>(month);
  out->day = static_cast<uint8_t>(day);
  out->tz = static_cast<int16_t>(tz);
  return CDB_OK;
}

}  // namespace cdbstore

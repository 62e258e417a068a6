// Platform properties from the properties file and the process's own settings.
#include "qyx_sysctl.h"

#include <strings.h>

#include <cerrno>
#include <cstdlib>

#include <fstream>
#include <map>
#include <mutex>
#include <optional>
#include <string>

#include "simpaths.h"

namespace {

constexpr char kFile[] = "/etc/qyx_sysctl.conf";

struct Store {
  std::mutex mu;
  std::map<std::string, std::string> set;   // qyx_sysctl_set
  std::map<std::string, std::string> file;  // the properties file
};

Store& store() {
  static Store* s = new Store();
  return *s;
}

std::string trim(const std::string& s) {
  const auto b = s.find_first_not_of(" \t\r");
  if (b == std::string::npos) return "";
  const auto e = s.find_last_not_of(" \t\r");
  return s.substr(b, e - b + 1);
}

// Reads the file again (it is small, and the simulator may rewrite it).
void refresh(Store& s) {
  s.file.clear();
  char path[512];
  if (!sim_path(kFile, path, sizeof(path))) return;
  std::ifstream in(path);
  std::string line;
  while (std::getline(in, line)) {
    const auto hash = line.find('#');
    if (hash != std::string::npos) line.resize(hash);
    const auto eq = line.find('=');
    if (eq == std::string::npos) continue;
    const std::string key = trim(line.substr(0, eq));
    if (!key.empty()) s.file[key] = trim(line.substr(eq + 1));
  }
}

std::optional<std::string> lookup(const char* key) {
  Store& s = store();
  std::lock_guard<std::mutex> lock(s.mu);
  if (auto it = s.set.find(key); it != s.set.end()) return it->second;
  refresh(s);
  if (auto it = s.file.find(key); it != s.file.end()) return it->second;
  return std::nullopt;
}

}  // namespace

extern "C" {

bool qyx_sysctl_get_bool(const char* key, bool def) {
  if (key == nullptr) return def;
  const auto v = lookup(key);
  if (!v) return def;
  for (const char* t : {"1", "true", "yes", "on"})
    if (strcasecmp(v->c_str(), t) == 0) return true;
  for (const char* f : {"0", "false", "no", "off"})
    if (strcasecmp(v->c_str(), f) == 0) return false;
  return def;
}

size_t qyx_sysctl_get_size(const char* key, size_t def) {
  if (key == nullptr) return def;
  const auto v = lookup(key);
  if (!v || v->empty() || (*v)[0] == '-' || (*v)[0] == '+') return def;
  errno = 0;
  char* end = nullptr;
  const unsigned long long n = std::strtoull(v->c_str(), &end, 0);
  if (errno != 0 || end == v->c_str() || *end != '\0') return def;
  return static_cast<size_t>(n);
}

int qyx_sysctl_set(const char* key, const char* value) {
  if (key == nullptr || *key == '\0') return -1;
  Store& s = store();
  std::lock_guard<std::mutex> lock(s.mu);
  if (value == nullptr)
    s.set.erase(key);
  else
    s.set[key] = value;
  return 0;
}

}  // extern "C"

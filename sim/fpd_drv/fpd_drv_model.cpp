// The FPD framework as far as device owners talk to it: time-out extensions
// of running upgrades and withdrawals of devices, kept in the process.
#include <cstdio>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "fpd_drv.h"
#include "fpd_drv_test.h"

namespace {

struct Model {
  std::mutex mu;
  std::vector<std::string> calls;
  std::map<std::string, int> fail_next;
};

Model& model() {
  static Model* m = new Model();
  return *m;
}

int answer(const std::string& name, const std::string& call) {
  Model& m = model();
  std::lock_guard<std::mutex> lock(m.mu);
  m.calls.push_back(call);
  auto it = m.fail_next.find(name);
  if (it == m.fail_next.end()) return 0;
  const int code = it->second;
  m.fail_next.erase(it);
  return code;
}

std::string handle_text(const void* p) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%p", p);
  return buf;
}

}  // namespace

extern "C" int fpd_drv_extend_timeout(void* fpd_hd, uint32_t value) {
  if (fpd_hd == nullptr) return -1;
  return answer("extend", "extend(" + handle_text(fpd_hd) + "," + std::to_string(value) + ")");
}

extern "C" int fpd_drv_unregister(void* fpd_hd) {
  if (fpd_hd == nullptr) return -1;
  return answer("unregister", "unregister(" + handle_text(fpd_hd) + ")");
}

std::vector<std::string> fpd_drv_test_calls() {
  Model& m = model();
  std::lock_guard<std::mutex> lock(m.mu);
  return m.calls;
}

void fpd_drv_test_fail_next(const std::string& call, int code) {
  Model& m = model();
  std::lock_guard<std::mutex> lock(m.mu);
  m.fail_next[call] = code;
}

void fpd_drv_test_reset() {
  Model& m = model();
  std::lock_guard<std::mutex> lock(m.mu);
  m.calls.clear();
  m.fail_next.clear();
}

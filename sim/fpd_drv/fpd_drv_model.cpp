// The FPD framework as far as device owners talk to it: time-out extensions
// of running upgrades and withdrawals of devices, kept in the process.
#include <cstdio>
#include <cstring>
#include <algorithm>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "fpd_drv.h"
#include "fpd_drv_test.h"

namespace {

struct Device {
  fpd_drv_reg_info reg;
};

struct Model {
  std::mutex mu;
  std::vector<std::string> calls;
  std::map<std::string, int> fail_next;
  std::vector<std::unique_ptr<Device>> devices;
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
  const int rc = answer("unregister", "unregister(" + handle_text(fpd_hd) + ")");
  if (rc == 0) {
    Model& m = model();
    std::lock_guard<std::mutex> lock(m.mu);
    std::erase_if(m.devices, [fpd_hd](const auto& d) { return d.get() == fpd_hd; });
  }
  return rc;
}

extern "C" int fpd_drv_init(const fpd_drv_reg_info* reg, void** fpd_hd) {
  if (reg == nullptr || fpd_hd == nullptr) return -1;
  const std::string name(reg->name, strnlen(reg->name, sizeof(reg->name)));
  const int rc = answer("init", "init(" + name + ")");
  if (rc != 0) return rc;
  Model& m = model();
  std::lock_guard<std::mutex> lock(m.mu);
  m.devices.push_back(std::make_unique<Device>(Device{*reg}));
  *fpd_hd = m.devices.back().get();
  return 0;
}

extern "C" int fpd_drv_enable_fpd(void* fpd_hd, uint32_t enable) {
  if (fpd_hd == nullptr) return -1;
  return answer("enable", "enable(" + handle_text(fpd_hd) + "," + std::to_string(enable) + ")");
}

const fpd_drv_reg_info* fpd_drv_test_device(void* fpd_hd) {
  Model& m = model();
  std::lock_guard<std::mutex> lock(m.mu);
  for (const auto& d : m.devices)
    if (d.get() == fpd_hd) return &d->reg;
  return nullptr;
}

std::vector<void*> fpd_drv_test_devices() {
  Model& m = model();
  std::lock_guard<std::mutex> lock(m.mu);
  std::vector<void*> out;
  for (const auto& d : m.devices) out.push_back(d.get());
  return out;
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
  m.devices.clear();
}

// The client side of the fault manager with the fault manager itself kept in
// the process: registrations, declarations, raised faults, resync and the
// updates of pending faults.
#include <stdio.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "alarmd.h"
#include "alarmd_test.h"
#include "inv_util.h"
#include "tlg.h"

struct alarmd_handle {
  std::vector<alarmd_fault_id_t> repeat_marks;
  std::string owner;
};

struct alarmd_fault {
  alarmd_fault_id_t id;
};

namespace {

struct RaisedKey {
  alarmd_handle_t handle;
  alarmd_fault_id_t id;
  std::string eid;
  bool operator<(const RaisedKey& o) const {
    return std::tie(handle, id, eid) < std::tie(o.handle, o.id, o.eid);
  }
};

struct Model {
  std::mutex mu;
  bool initialised = false;
  std::vector<AlarmdRegistration> registrations;
  std::vector<std::unique_ptr<alarmd_handle>> handles;
  std::vector<AlarmdDeclaration> declarations;
  std::map<RaisedKey, AlarmdRaised> raised;
  std::vector<std::string> calls;
  std::map<std::string, int64_t> fail_next;
  bool resyncing = false;
  std::set<RaisedKey> declared_in_resync;
};

Model& model() {
  static Model* m = new Model();
  return *m;
}

std::string text(const char* s) { return s ? s : ""; }

// The injected failure of a call, 0 when none.
int64_t injected(Model& m, const std::string& call) {
  auto it = m.fail_next.find(call);
  if (it == m.fail_next.end()) return 0;
  const int64_t code = it->second;
  m.fail_next.erase(it);
  return code;
}

bool known(Model& m, alarmd_handle_t h) {
  return std::any_of(m.handles.begin(), m.handles.end(), [h](const auto& p) { return p.get() == h; });
}

}  // namespace

std::string alarmd_test_eid_text(const struct pelm_eid* eid) {
  if (eid == nullptr) return "(none)";
  std::string out = std::to_string(eid->rack) + "/" + std::to_string(eid->slot);
  for (uint32_t i = 0; eid->tsi != nullptr && i < eid->tsi_count; ++i) {
    out += " " + std::to_string(eid->tsi[i].type) + "/" + std::to_string(eid->tsi[i].subtype) +
           "/" + std::to_string(eid->tsi[i].instance);
  }
  return out;
}

extern "C" {

void alarmd_fault_data_init(alarmd_fault_data* data) {
  if (data != nullptr) std::memset(data, 0, sizeof(*data));
}

alarmd_fault_id_t alarmd_create_local_fault_id(uint32_t category, uint32_t tag) {
  return (static_cast<alarmd_fault_id_t>(category) << 32) | tag;
}

int alarmd_set_action_repeat(alarmd_handle_t handle, alarmd_fault_id_t id, uint32_t repeat) {
  if (handle == nullptr) return -1;
  std::erase(handle->repeat_marks, id);
  if (repeat != 0) handle->repeat_marks.push_back(id);
  return 0;
}

// Calls no test asks about yet are kept in the "alarmd" trace buffer, where
// tests and people can read them.
static tlg_handle_t alarmd_trace() {
  static tlg_handle_t h = [] {
    tlg_handle_t t = nullptr;
    tlg_open_internal(&t, "alarmd", 0, 0, "./sim/alarmd", "sim", nullptr);
    return t;
  }();
  return h;
}

int alarmd_registerations_complete(const char* name) {
  if (name == nullptr) return -1;
  tlg_internal(alarmd_trace(), "registrations complete: %s\n", name);
  return 0;
}

int alarmd_local_vm_ip_update(uint32_t address) {
  tlg_internal(alarmd_trace(), "local address: 0x%x\n", address);
  return 0;
}

long alarmd_get_fault_tag(const alarmd_fault_t* fault) {
  if (fault == nullptr) return -1;
  return static_cast<long>(fault->id & 0xffffffffu);
}

int64_t alarmd_init(const char* component) {
  Model& m = model();
  std::lock_guard<std::mutex> lock(m.mu);
  m.calls.push_back("init(" + text(component) + ")");
  if (int64_t rc = injected(m, "init")) return rc;
  if (component == nullptr || *component == '\0') return ALARMD_ERR_INVALID;
  m.initialised = true;
  return 0;
}

void alarmd_init_info_init(alarmd_init_info* info) {
  if (info != nullptr) std::memset(info, 0, sizeof(*info));
}

int64_t alarmd_register(const alarmd_init_info* info, const char* fault_table,
                        alarmd_handle_t* handle) {
  Model& m = model();
  std::lock_guard<std::mutex> lock(m.mu);
  if (int64_t rc = injected(m, "register")) return rc;
  if (!m.initialised) return ALARMD_ERR_NOT_INIT;
  if (info == nullptr || handle == nullptr || fault_table == nullptr) return ALARMD_ERR_INVALID;
  m.handles.push_back(std::make_unique<alarmd_handle>());
  *handle = m.handles.back().get();
  m.registrations.push_back({*handle, text(info->component), info->facility,
                             text(info->my_location), fault_table,
                             info->action_handler != nullptr, info->error_handler != nullptr});
  return 0;
}

int64_t alarmd_set_owner_comp_object_id(alarmd_handle_t handle, const struct pelm_eid* eid) {
  Model& m = model();
  std::lock_guard<std::mutex> lock(m.mu);
  if (int64_t rc = injected(m, "owner")) return rc;
  if (!known(m, handle) || eid == nullptr) return ALARMD_ERR_INVALID;
  handle->owner = alarmd_test_eid_text(eid);
  return 0;
}

int64_t alarmd_fault_declare(alarmd_handle_t handle, alarmd_fault_id_t id,
                             const alarmd_fault_data* d) {
  Model& m = model();
  std::lock_guard<std::mutex> lock(m.mu);
  if (int64_t rc = injected(m, "declare")) return rc;
  if (!known(m, handle) || d == nullptr || d->eid == nullptr) return ALARMD_ERR_INVALID;
  AlarmdDeclaration rec{handle,
                        static_cast<uint32_t>(id >> 32),
                        static_cast<uint32_t>(id & 0xffffffffu),
                        alarmd_test_eid_text(d->eid),
                        handle->owner,
                        d->state,
                        d->pending,
                        d->slot,
                        d->alarm_level,
                        d->alarm_scope,
                        text(d->description),
                        text(d->location),
                        text(d->description2),
                        text(d->name),
                        text(d->description3),
                        text(d->syslog_location),
                        d->timestamp};
  m.declarations.push_back(rec);
  const RaisedKey key{handle, id, rec.eid};
  if (d->state == 1) {
    m.raised[key] = {handle, rec.category, rec.tag, rec.eid, d->pending, d->alarm_level, rec.location};
    if (m.resyncing) m.declared_in_resync.insert(key);
  } else if (d->state == 2) {
    m.raised.erase(key);
  }
  return 0;
}

int64_t alarmd_clear_object_faults(alarmd_handle_t handle, const struct pelm_eid* eid) {
  Model& m = model();
  std::lock_guard<std::mutex> lock(m.mu);
  const std::string object = alarmd_test_eid_text(eid);
  m.calls.push_back("clear(" + object + ")");
  if (int64_t rc = injected(m, "clear")) return rc;
  if (!known(m, handle) || eid == nullptr) return ALARMD_ERR_INVALID;
  // Faults of the object and of everything inside it.
  std::erase_if(m.raised, [&](const auto& kv) {
    const std::string& e = kv.second.eid;
    return kv.first.handle == handle &&
           (e == object || (e.size() > object.size() && e.compare(0, object.size(), object) == 0 &&
                            e[object.size()] == ' '));
  });
  return 0;
}

int64_t alarmd_fault_report_resync(alarmd_handle_t handle, uint32_t type) {
  Model& m = model();
  std::lock_guard<std::mutex> lock(m.mu);
  m.calls.push_back("resync(" + std::to_string(type) + ")");
  if (int64_t rc = injected(m, "resync")) return rc;
  if (!known(m, handle) || (type != 1 && type != 2)) return ALARMD_ERR_INVALID;
  if (type == 1) {
    m.resyncing = true;
    m.declared_in_resync.clear();
  } else if (m.resyncing) {
    // What the owner did not declare again during the resync is gone.
    std::erase_if(m.raised, [&](const auto& kv) {
      return kv.first.handle == handle && m.declared_in_resync.count(kv.first) == 0;
    });
    m.resyncing = false;
  }
  return 0;
}

int64_t alarmd_set_my_location(alarmd_handle_t handle, const char* location) {
  Model& m = model();
  std::lock_guard<std::mutex> lock(m.mu);
  m.calls.push_back("location(" + text(location) + ")");
  if (int64_t rc = injected(m, "location")) return rc;
  if (!known(m, handle) || location == nullptr) return ALARMD_ERR_INVALID;
  for (auto& r : m.registrations)
    if (r.handle == handle) r.location = location;
  return 0;
}

void alarmd_fault_data_update_init(struct alarmd_fault_data_update* update) {
  if (update != nullptr) std::memset(update, 0, sizeof(*update));
}

int64_t alarmd_fault_data_update(alarmd_handle_t handle, const struct alarmd_fault_data_update* u) {
  Model& m = model();
  std::lock_guard<std::mutex> lock(m.mu);
  if (u == nullptr) return ALARMD_ERR_INVALID;
  m.calls.push_back("update(slot=" + std::to_string(u->slot) +
                    " chassis=" + std::to_string(u->chassis_level) +
                    " cont=" + alarmd_test_eid_text(u->cont_eid) + " loc=" + text(u->location) + ")");
  if (int64_t rc = injected(m, "update")) return rc;
  if (!known(m, handle)) return ALARMD_ERR_INVALID;
  // The pending faults of that slot now have their location.
  for (auto& kv : m.raised) {
    AlarmdRaised& r = kv.second;
    if (kv.first.handle != handle || !r.pending) continue;
    for (const auto& d : m.declarations)
      if (d.handle == handle && d.eid == r.eid && d.pending && d.slot == u->slot) {
        r.pending = 0;
        r.location = text(u->location);
        break;
      }
  }
  return 0;
}

}  // extern "C"

alarmd_handle_t alarmd_test_handle_new() { return std::make_unique<alarmd_handle>().release(); }
void alarmd_test_handle_free(alarmd_handle_t handle) { std::unique_ptr<alarmd_handle> owned(handle); }
std::vector<alarmd_fault_id_t> alarmd_test_repeat_marks(alarmd_handle_t handle) {
  return handle ? handle->repeat_marks : std::vector<alarmd_fault_id_t>{};
}
alarmd_fault_t* alarmd_test_fault_new(uint32_t category, uint32_t tag) {
  return std::make_unique<alarmd_fault>(alarmd_fault{alarmd_create_local_fault_id(category, tag)}).release();
}
void alarmd_test_fault_free(alarmd_fault_t* fault) { std::unique_ptr<alarmd_fault> owned(fault); }

std::vector<AlarmdRegistration> alarmd_test_registrations() {
  std::lock_guard<std::mutex> lock(model().mu);
  return model().registrations;
}

std::vector<AlarmdDeclaration> alarmd_test_declarations() {
  std::lock_guard<std::mutex> lock(model().mu);
  return model().declarations;
}

std::vector<AlarmdRaised> alarmd_test_raised() {
  std::lock_guard<std::mutex> lock(model().mu);
  std::vector<AlarmdRaised> out;
  for (const auto& kv : model().raised) out.push_back(kv.second);
  return out;
}

std::vector<std::string> alarmd_test_calls() {
  std::lock_guard<std::mutex> lock(model().mu);
  return model().calls;
}

void alarmd_test_fail_next(const std::string& call, int64_t code) {
  std::lock_guard<std::mutex> lock(model().mu);
  model().fail_next[call] = code;
}

void alarmd_test_reset() {
  Model& m = model();
  std::lock_guard<std::mutex> lock(m.mu);
  m.initialised = false;
  m.registrations.clear();
  m.handles.clear();
  m.declarations.clear();
  m.raised.clear();
  m.calls.clear();
  m.fail_next.clear();
  m.resyncing = false;
  m.declared_in_resync.clear();
}

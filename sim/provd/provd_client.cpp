// Provider-layer client library: namespaces, activation, the pull callbacks
// on the caller's loop with a configuration handle for the cdb_* reads.
#include <string>
#include <vector>

#include "cdb_store.h"
#include "provd.h"
#include "provd_wire.h"

namespace {

struct Namespace {
  uint32_t id;
  std::string path;
  uint32_t hash;
  void* cookie;
  provd_conf_pull_cb_t cb;
};

enum class Phase { registering, active, shut_down };

}  // namespace

struct provd_handle_s {
  simsvc::Client* client = nullptr;
  bool dead = false;
  std::string name;
  tlg_handle_t trace = nullptr;
  void* arg = nullptr;
  provd_error_cb_t on_error = nullptr;
  Phase phase = Phase::registering;
  std::vector<Namespace> namespaces;
};

namespace {

void register_all(provd_handle_t h) {
  for (const auto& ns : h->namespaces) {
    provd_namespace_msg m{};
    msgcodec_provd_namespace_msg_clear(&m);
    m.ns_id = ns.id;
    m.path = const_cast<char*>(ns.path.c_str());
    m.ns_hash = ns.hash;
    m.component = const_cast<char*>(h->name.c_str());
    for (unsigned bit = 0; bit < 4; ++bit) msgcodec_set_bit(&m.present, bit);
    if (h->client->send(provd_wire::kRegisterNamespace, &m) != simsvc::kOk) {
      tlg_internal(h->trace, "provd: registering namespace %s failed\n", ns.path.c_str());
    }
  }
}

void on_config(provd_handle_t h, const provd_config_msg* m) {
  if (h->phase != Phase::active) return;
  const Namespace* ns = nullptr;
  for (const auto& n : h->namespaces) {
    if (n.id == m->ns_id) ns = &n;
  }
  if (ns == nullptr) return;
  std::vector<cdbstore::Entry> entries;
  entries.reserve(m->entry_count);
  for (uint32_t i = 0; i < m->entry_count; ++i) {
    const provd_entry& e = m->entries[i];
    if (!msgcodec_test_bit(&e.present, 0) || e.path == nullptr) continue;
    const bool has_value = msgcodec_test_bit(&e.present, 1) && e.value != nullptr;
    entries.push_back(cdbstore::Entry{e.path, has_value ? e.value : "", has_value});
  }
  const int cfg = cdbstore::snapshot_open(std::move(entries));
  const Namespace copy = *ns;  // the callback may shut the handle down
  const uint64_t rc = copy.cb(h->arg, cfg, copy.cookie, copy.hash);
  cdbstore::snapshot_close(cfg);
  if (h->dead || h->phase != Phase::active) return;
  provd_namespace_msg done{};
  msgcodec_provd_namespace_msg_clear(&done);
  done.ns_id = copy.id;
  msgcodec_set_bit(&done.present, 0);
  h->client->send(provd_wire::kCallbackDone, &done, 0, static_cast<int32_t>(rc));
}

}  // namespace

extern "C" {

int provd_handle_create(provd_handle_t* out, evloop_t* loop, const char* name, tlg_handle_t trace,
                        void* arg) {
  if (out == nullptr || loop == nullptr || name == nullptr || *name == '\0') return PROVD_ERR_ARG;
  auto* h = new provd_handle_s();
  h->name = name;
  h->trace = trace;
  h->arg = arg;
  simsvc::Client::Events ev;
  ev.connected = [h](int32_t status) {
    if (status == 0) {
      if (h->phase == Phase::active) register_all(h);
    } else if (h->on_error) {
      h->on_error(h, status, h->arg);
    }
  };
  ev.disconnected = [h](int32_t reason) {
    tlg_internal(h->trace, "provd: configuration database went away (%d); reconnecting\n",
                 reason);
  };
  ev.message = [h](const simsvc::Message& msg, uint32_t, int32_t, void* payload) {
    if (msg.id == provd_wire::kConfig) on_config(h, static_cast<provd_config_msg*>(payload));
  };
  ev.released = [h] { delete h; };
  h->client = simsvc::Client::create(loop, &provd_wire::kService, std::move(ev));
  if (h->client == nullptr) {
    delete h;
    return PROVD_ERR_NO_MEMORY;
  }
  *out = h;
  return 0;
}

int provd_handle_destroy(provd_handle_t h) {
  if (h == nullptr || h->dead) return -PROVD_ERR_ARG;
  h->dead = true;
  h->client->destroy();
  return 0;
}

int provd_set_error_callback(provd_handle_t h, provd_error_cb_t cb) {
  if (h == nullptr) return -PROVD_ERR_ARG;
  h->on_error = cb;
  return 0;
}

uint64_t provd_conf_register_namespace(provd_handle_t h, void* cookie, provd_conf_pull_cb_t cb,
                                       uint32_t ns_hash, const char* path) {
  if (h == nullptr || cb == nullptr || path == nullptr || !cdbstore::Store::valid_path(path)) {
    return PROVD_ERR_ARG;
  }
  if (h->phase != Phase::registering) return PROVD_ERR_STATE;
  h->namespaces.push_back(
      Namespace{static_cast<uint32_t>(h->namespaces.size() + 1), path, ns_hash, cookie, cb});
  return 0;
}

int provd_conf_activate(provd_handle_t h) {
  if (h == nullptr) return -PROVD_ERR_ARG;
  if (h->phase != Phase::registering) return -PROVD_ERR_STATE;
  h->phase = Phase::active;
  if (h->client->is_connected()) {
    register_all(h);
    return 0;
  }
  return h->client->connect() == simsvc::kOk ? 0 : -PROVD_ERR_STATE;
}

int provd_conf_shutdown(provd_handle_t h) {
  if (h == nullptr) return -PROVD_ERR_ARG;
  if (h->phase == Phase::shut_down) return -PROVD_ERR_STATE;
  if (h->phase == Phase::active && h->client->is_connected()) {
    h->client->send(provd_wire::kShutdown, nullptr);
  }
  h->phase = Phase::shut_down;
  h->namespaces.clear();
  return 0;
}

}  // extern "C"

// Configuration model: the configuration database's keys and the provider
// layer's namespaces, with a callback to every client following a namespace
// when it is registered and whenever a key in it changes.
#include <map>
#include <sstream>

#include "cdb_store.h"
#include "envsim_sim.h"
#include "provd_wire.h"

namespace envsim {

namespace {

struct Followed {
  std::string path;
  uint32_t hash = 0;
  int pushes = 0;
  int callbacks = 0;
  bool answered = false;
  int32_t last_result = 0;
};

struct ConfigClient {
  std::string component;
  std::map<uint32_t, Followed> namespaces;  // by the client's namespace id
};

class ConfigModel : public Model {
 public:
  explicit ConfigModel(Simulator& sim) : sim_(sim) {
    for (const auto& e : sim_.chassis().desc.config) {
      store_.set(e.path, e.has_value ? &e.value : nullptr);
    }
    simsvc::Server::Handler h;
    h.opened = [this](simsvc::Peer& p) {
      clients_[p.id];
      sim_.log("config: " + sim_.client_text(p) + " connected");
      sim_.changed();
    };
    h.closed = [this](simsvc::Peer& p) {
      clients_.erase(p.id);
      sim_.changed();
    };
    h.message = [this](simsvc::Peer& p, const simsvc::Message& m, uint32_t, int32_t status,
                       void* payload) { message(p, m, status, payload); };
    sim_.server().add(&provd_wire::kService, std::move(h));
  }

  const char* name() const override { return "config"; }

  void show(std::ostream& out) const override {
    for (const auto& e : store_.all()) {
      out << "config key=" << e.path;
      if (e.has_value) out << " value=" << e.value;
      out << "\n";
    }
    for (const auto& [id, c] : clients_) {
      for (const auto& [ns_id, f] : c.namespaces) {
        out << "config " << sim_.client_text(*sim_.server().find_peer(id))
            << " component=" << c.component << " namespace=" << f.path << " pushes=" << f.pushes
            << " callbacks=" << f.callbacks
            << " last_result=" << (f.answered ? std::to_string(f.last_result) : "-") << "\n";
      }
    }
  }

  Result set(const std::string& path, const std::string* value) {
    if (!store_.set(path, value)) {
      return Result{2, "\"" + path + "\" is no key path such as /environment/config/...\n"};
    }
    sim_.log("config: " + path + (value != nullptr ? " = " + *value : " set"));
    push_changed(path);
    return Result{0, path + (value != nullptr ? " = " + *value : " set") + "\n"};
  }

  Result erase(const std::string& path) {
    if (!cdbstore::Store::valid_path(path)) {
      return Result{2, "\"" + path + "\" is no key path such as /environment/config/...\n"};
    }
    const size_t n = store_.erase(path);
    if (n == 0) return Result{1, "no key at or below " + path + "\n"};
    sim_.log("config: " + path + " deleted (" + std::to_string(n) + " key(s))");
    push_changed(path);
    return Result{0, std::to_string(n) + " key(s) deleted\n"};
  }

 private:
  void message(simsvc::Peer& p, const simsvc::Message& m, int32_t status, void* payload) {
    auto it = clients_.find(p.id);
    if (it == clients_.end()) return;
    ConfigClient& c = it->second;
    switch (m.id) {
      case provd_wire::kRegisterNamespace: {
        auto* r = static_cast<provd_namespace_msg*>(payload);
        if (!msgcodec_test_bit(&r->present, 0) || !msgcodec_test_bit(&r->present, 1) ||
            r->path == nullptr) {
          return;
        }
        if (msgcodec_test_bit(&r->present, 3) && r->component != nullptr) {
          c.component = r->component;
        }
        Followed& f = c.namespaces[r->ns_id];
        f.path = r->path;
        f.hash = r->ns_hash;
        sim_.log("config: " + sim_.client_text(p) + " follows " + f.path);
        push(p.id, r->ns_id, f);
        break;
      }
      case provd_wire::kCallbackDone: {
        auto* r = static_cast<provd_namespace_msg*>(payload);
        auto f = c.namespaces.find(r->ns_id);
        if (f == c.namespaces.end()) return;
        ++f->second.callbacks;
        f->second.answered = true;
        f->second.last_result = status;
        break;
      }
      case provd_wire::kShutdown:
        c.namespaces.clear();
        break;
      default:
        return;
    }
    sim_.changed();
  }

  void push(uint64_t peer, uint32_t ns_id, Followed& f) {
    const auto entries = store_.under(f.path);
    std::vector<provd_entry> wire(entries.size());
    for (size_t i = 0; i < entries.size(); ++i) {
      msgcodec_provd_entry_clear(&wire[i]);
      wire[i].path = const_cast<char*>(entries[i].path.c_str());
      msgcodec_set_bit(&wire[i].present, 0);
      if (entries[i].has_value) {
        wire[i].value = const_cast<char*>(entries[i].value.c_str());
        msgcodec_set_bit(&wire[i].present, 1);
      }
    }
    provd_config_msg m{};
    msgcodec_provd_config_msg_clear(&m);
    m.ns_id = ns_id;
    m.entries = wire.data();
    m.entry_count = static_cast<uint32_t>(wire.size());
    msgcodec_set_bit(&m.present, 0);
    msgcodec_set_bit(&m.present, 1);
    if (sim_.server().send(peer, provd_wire::kConfig, &m) == simsvc::kOk) ++f.pushes;
  }

  void push_changed(const std::string& path) {
    for (auto& [id, c] : clients_) {
      for (auto& [ns_id, f] : c.namespaces) {
        if (cdbstore::Store::is_under(path, f.path) || cdbstore::Store::is_under(f.path, path)) {
          push(id, ns_id, f);
        }
      }
    }
    sim_.changed();
  }

  Simulator& sim_;
  cdbstore::Store store_;
  std::map<uint64_t, ConfigClient> clients_;
};

ConfigModel* config_of(Simulator& sim) { return dynamic_cast<ConfigModel*>(sim.model("config")); }

}  // namespace

std::unique_ptr<Model> make_config_model(Simulator& sim) {
  return std::make_unique<ConfigModel>(sim);
}

namespace control {

Result config_set(Simulator& sim, const std::string& path, const std::string* value) {
  ConfigModel* m = config_of(sim);
  return m != nullptr ? m->set(path, value) : Result{1, "no configuration model\n"};
}

Result config_delete(Simulator& sim, const std::string& path) {
  ConfigModel* m = config_of(sim);
  return m != nullptr ? m->erase(path) : Result{1, "no configuration model\n"};
}

}  // namespace control

}  // namespace envsim

// Statistics model: the counter tables the processes registered, with their
// values as the processes report them when asked.
#include <map>
#include <set>
#include <sstream>

#include "envsim_sim.h"
#include "ship_wire.h"

namespace envsim {

namespace {

struct Table {
  std::string app;
  std::string group;
  std::string table;
  uint32_t kind = 0;
  std::vector<std::string> names;
  std::vector<uint32_t> values;
  bool have_values = false;
};

struct ShipClient {
  std::map<uint32_t, Table> tables;  // by the process's table id
  uint32_t next_id = 0;
};

std::string word(std::string s) {
  for (char& ch : s) {
    if (ch == ' ' || ch == '=' || ch == '\n' || ch == '\t') ch = '_';
  }
  return s.empty() ? std::string("-") : s;
}

class StatisticsModel : public Model {
 public:
  explicit StatisticsModel(Simulator& sim) : sim_(sim) {
    simsvc::Server::Handler h;
    h.opened = [this](simsvc::Peer& p) {
      clients_[p.id];
      sim_.changed();
    };
    h.closed = [this](simsvc::Peer& p) {
      clients_.erase(p.id);
      answered(p.id, 0, true);
      sim_.changed();
    };
    h.message = [this](simsvc::Peer& p, const simsvc::Message& m, uint32_t id, int32_t,
                       void* payload) { message(p, m, id, payload); };
    sim_.server().add(&ship_wire::kService, std::move(h));
  }

  const char* name() const override { return "statistics"; }

  void show(std::ostream& out) const override {
    for (const auto& [id, c] : clients_) {
      for (const auto& [tid, t] : c.tables) {
        out << "statistics " << sim_.client_text(*sim_.server().find_peer(id))
            << " app=" << word(t.app) << " group=" << word(t.group) << " table=" << word(t.table)
            << " kind=" << t.kind;
        for (size_t i = 0; i < t.names.size(); ++i) {
          out << " " << word(t.names[i]) << "="
              << (t.have_values && i < t.values.size() ? std::to_string(t.values[i]) : "-");
        }
        out << "\n";
      }
    }
  }

  // Asks every process with tables for its values; done when all answered or went away.
  void refresh(std::function<void()> done) override {
    Pending p;
    p.done = std::move(done);
    for (auto& [id, c] : clients_) {
      if (c.tables.empty()) continue;
      const uint32_t rid = ++c.next_id;
      if (sim_.server().send(id, ship_wire::kReadRequest, nullptr, rid) == simsvc::kOk) {
        p.waiting.insert({id, rid});
      }
    }
    if (p.waiting.empty()) {
      p.done();
      return;
    }
    pending_.push_back(std::move(p));
  }

 private:
  struct Pending {
    std::set<std::pair<uint64_t, uint32_t>> waiting;
    std::function<void()> done;
  };

  // A process answered request `rid` (or, with `gone`, went away).
  void answered(uint64_t peer, uint32_t rid, bool gone) {
    std::vector<std::function<void()>> ready;
    for (auto it = pending_.begin(); it != pending_.end();) {
      for (auto w = it->waiting.begin(); w != it->waiting.end();) {
        w = (w->first == peer && (gone || w->second == rid)) ? it->waiting.erase(w) : std::next(w);
      }
      if (it->waiting.empty()) {
        ready.push_back(std::move(it->done));
        it = pending_.erase(it);
      } else {
        ++it;
      }
    }
    for (auto& fn : ready) fn();
  }

  void message(simsvc::Peer& p, const simsvc::Message& m, uint32_t id, void* payload) {
    auto it = clients_.find(p.id);
    if (it == clients_.end()) return;
    ShipClient& c = it->second;
    switch (m.id) {
      case ship_wire::kRegister: {
        auto* r = static_cast<ship_table_msg*>(payload);
        Table& t = c.tables[r->table_id];
        t.app = r->app != nullptr ? r->app : "";
        t.group = r->group != nullptr ? r->group : "";
        t.table = r->table != nullptr ? r->table : "";
        t.kind = r->kind;
        t.names.clear();
        for (uint32_t i = 0; i < r->counter_count; ++i) {
          t.names.emplace_back(r->counters[i].name != nullptr ? r->counters[i].name : "");
        }
        t.have_values = false;
        sim_.log("statistics: " + sim_.client_text(p) + " registered " + t.app + " " + t.group +
                 " " + t.table + " (" + std::to_string(t.names.size()) + " counters)");
        break;
      }
      case ship_wire::kValues: {
        auto* v = static_cast<ship_values_msg*>(payload);
        for (uint32_t k = 0; k < v->table_count; ++k) {
          const ship_table_values& tv = v->tables[k];
          auto t = c.tables.find(tv.table_id);
          if (t == c.tables.end()) continue;
          t->second.values.assign(tv.values, tv.values + tv.value_count);
          t->second.have_values = true;
        }
        answered(p.id, id, false);
        break;
      }
      case ship_wire::kReset:
        c.tables.clear();
        break;
      default:
        return;
    }
    sim_.changed();
  }

  Simulator& sim_;
  std::map<uint64_t, ShipClient> clients_;
  std::vector<Pending> pending_;
};

}  // namespace

std::unique_ptr<Model> make_statistics_model(Simulator& sim) {
  return std::make_unique<StatisticsModel>(sim);
}

}  // namespace envsim

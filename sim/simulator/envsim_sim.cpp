// The simulator: chassis state, models, control commands and waits.
#include "envsim_sim.h"

#include <sys/timerfd.h>
#include <unistd.h>

#include <cinttypes>
#include <sstream>

#include "envsim_control.h"
#include "sim_clock.h"

namespace envsim {

namespace {

// How often a wait on the statistics asks the processes for their counters
// (real time: counters change without telling anyone).
constexpr long kStatisticsPollMs = 200;

std::string hex(uint32_t v) {
  char buf[16];
  snprintf(buf, sizeof buf, "0x%x", v);
  return buf;
}

class ChassisModel : public Model {
 public:
  explicit ChassisModel(Simulator& sim) : sim_(sim) {}
  const char* name() const override { return "chassis"; }
  void show(std::ostream& out) const override {
    const ChassisState& c = sim_.chassis();
    const ChassisDesc& d = c.desc;
    out << "chassis file=" << d.file << " platform=" << platform_name(d.platform)
        << " type=" << hex(d.chassis_type) << " pid=" << (d.pid.empty() ? "-" : d.pid)
        << " serial=" << (d.serial.empty() ? "-" : d.serial) << " rack=" << d.rack_num << "\n";
    for (const auto& card : c.cards) {
      out << "card slot=" << card.desc.slot << " location=" << card.location
          << " hw_type=" << hex(card.desc.hw_type) << " address=" << address_text(card.desc.address)
          << " role=" << role_name(card.role) << " state=" << card.state
          << " sw_state=" << card.sw_state << " present=" << (card.present ? "yes" : "no") << "\n";
    }
    for (const auto& ft : d.fan_trays) {
      out << "fan_tray slot=" << ft.slot << " location=" << c.location_of(ft.slot)
          << " hw_type=" << hex(ft.hw_type) << " fans=" << ft.fans
          << " present=" << (ft.present ? "yes" : "no") << "\n";
    }
    for (size_t t = 0; t < d.power_trays.size(); ++t) {
      for (const auto& pm : d.power_trays[t].modules) {
        out << "power_module slot=" << pm.slot << " location=" << c.location_of(pm.slot)
            << " tray=" << t << " hw_type=" << hex(pm.hw_type)
            << " present=" << (pm.present ? "yes" : "no") << "\n";
      }
    }
  }

 private:
  Simulator& sim_;
};

// True when `fragment` stands in `line` as whole words.
bool line_holds(const std::string& line, const std::string& fragment) {
  for (size_t pos = line.find(fragment); pos != std::string::npos;
       pos = line.find(fragment, pos + 1)) {
    const size_t end = pos + fragment.size();
    if ((pos == 0 || line[pos - 1] == ' ') && (end == line.size() || line[end] == ' ')) {
      return true;
    }
  }
  return false;
}

}  // namespace

bool lines_match(const std::string& text, const std::vector<std::string>& fragments) {
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) {
    bool all = true;
    for (const auto& f : fragments) {
      if (!line_holds(line, f)) {
        all = false;
        break;
      }
    }
    if (all) return true;
  }
  return false;
}

ChassisState::ChassisState(ChassisDesc d) : desc(std::move(d)) {
  for (const auto& c : desc.cards) {
    CardState s;
    s.desc = c;
    s.location = slot_location(desc.rack_type, desc.rack_num, c.slot);
    s.role = c.role;
    s.state = c.state;
    s.sw_state = c.sw_state;
    s.present = c.present;
    cards.push_back(std::move(s));
  }
}

CardState* ChassisState::card_at(int32_t slot) {
  for (auto& c : cards) {
    if (c.desc.slot == slot) return &c;
  }
  return nullptr;
}

CardState* ChassisState::card_of(uint32_t node_address) {
  for (auto& c : cards) {
    if (node_address != 0 ? c.desc.address == node_address : c.desc.slot_type == 1) return &c;
  }
  return nullptr;
}

std::string ChassisState::location_of(int32_t slot) const {
  return slot_location(desc.rack_type, desc.rack_num, slot);
}

struct Simulator::Impl {
  struct Wait {
    uint64_t requester;
    std::string model;
    std::vector<std::string> fragments;
    Done done;
  };
  std::vector<Wait> waits;
  bool checking = false;
  bool check_again = false;
  int poll_fd = -1;
  bool polling = false;
  bool refreshing = false;

  ~Impl() {
    if (poll_fd >= 0) close(poll_fd);
  }
};

Simulator::Simulator(evloop_t* loop, ChassisDesc desc, Options options)
    : loop_(loop),
      chassis_(std::move(desc)),
      options_(std::move(options)),
      impl_(std::make_unique<Impl>()) {}

Simulator::~Simulator() {
  if (impl_->poll_fd >= 0) {
    evloop_attach_fd(loop_, impl_->poll_fd, 0, nullptr, 0, 0, nullptr, 0);
  }
  // Models first: they hold the server's handlers; then the server closes
  // every connection.
  models_.clear();
  server_.reset();
}

std::unique_ptr<Simulator> Simulator::create(evloop_t* loop, ChassisDesc desc, Options options,
                                             std::string* error) {
  std::unique_ptr<Simulator> sim(new Simulator(loop, std::move(desc), std::move(options)));
  sim->server_ = simsvc::Server::create(loop, sim->options_.bind_address, sim->options_.instance,
                                        error);
  if (!sim->server_) return nullptr;
  sim->models_.push_back(make_chassis_model(*sim));
  sim->models_.push_back(make_pm_model(*sim));
  sim->models_.push_back(make_platform_local_model(*sim));
  sim->models_.push_back(make_card_mgr_model(*sim));
  sim->models_.push_back(make_config_model(*sim));
  sim->models_.push_back(make_statistics_model(*sim));
  sim->models_.push_back(make_syslog_model(*sim));
  sim->models_.push_back(make_inventory_model(*sim));
  add_control_service(*sim);
  sim->server_->publish();
  return sim;
}

std::unique_ptr<Model> make_chassis_model(Simulator& sim) {
  return std::make_unique<ChassisModel>(sim);
}

Model* Simulator::model(const std::string& name) const {
  for (const auto& m : models_) {
    if (name == m->name()) return m.get();
  }
  return nullptr;
}

void Simulator::log(const std::string& line) const {
  if (options_.log) options_.log(line);
}

std::string Simulator::client_text(const simsvc::Peer& peer) {
  const CardState* card = chassis_.card_of(peer.node_address);
  const auto slash = peer.program.rfind('/');
  const std::string program =
      slash == std::string::npos ? peer.program : peer.program.substr(slash + 1);
  return "client=" + std::to_string(peer.id) +
         " slot=" + (card != nullptr ? std::to_string(card->desc.slot) : std::string("-")) +
         " program=" + (program.empty() ? std::string("-") : program) +
         " pid=" + std::to_string(peer.pid);
}

void Simulator::changed() {
  if (impl_->waits.empty()) return;
  if (impl_->checking) {
    impl_->check_again = true;
    return;
  }
  impl_->checking = true;
  do {
    impl_->check_again = false;
    for (size_t i = 0; i < impl_->waits.size();) {
      Impl::Wait& w = impl_->waits[i];
      std::ostringstream text;
      if (Model* m = model(w.model)) m->show(text);
      if (lines_match(text.str(), w.fragments)) {
        Done done = std::move(w.done);
        impl_->waits.erase(impl_->waits.begin() + static_cast<long>(i));
        done(Result{0, text.str()});
        impl_->check_again = true;
      } else {
        ++i;
      }
    }
  } while (impl_->check_again && !impl_->waits.empty());
  impl_->checking = false;
}

void Simulator::forget_requester(uint64_t requester) {
  auto& w = impl_->waits;
  for (auto it = w.begin(); it != w.end();) {
    it = it->requester == requester ? w.erase(it) : std::next(it);
  }
}

namespace {

void on_poll(int fd, uint32_t, void* arg) {
  uint64_t expirations = 0;
  if (read(fd, &expirations, sizeof expirations) < 0) return;
  static_cast<Simulator*>(arg)->execute({"__poll_statistics"}, 0, nullptr);
}

}  // namespace

void Simulator::execute(const std::vector<std::string>& args, uint64_t requester, Done done) {
  if (args.size() == 1 && args[0] == "__poll_statistics") {
    // Internal: a wait on the statistics needs fresh counters now and then.
    bool any = false;
    for (const auto& w : impl_->waits) any = any || w.model == "statistics";
    if (!any) {
      itimerspec off{};
      timerfd_settime(impl_->poll_fd, 0, &off, nullptr);
      impl_->polling = false;
      return;
    }
    if (impl_->refreshing) return;
    impl_->refreshing = true;
    model("statistics")->refresh([this] {
      impl_->refreshing = false;
      changed();
    });
    return;
  }
  Command c;
  std::string error;
  if (!parse_command(args, &c, &error)) {
    done(Result{2, error + "\n"});
    return;
  }
  switch (c.kind) {
    case CommandKind::status: {
      std::ostringstream out;
      const ChassisDesc& d = chassis_.desc;
      const msgpipe_endpoint ep = server_->endpoint();
      out << "simulator pid=" << getpid() << " chassis=" << d.file
          << " platform=" << platform_name(d.platform) << " type=" << hex(d.chassis_type)
          << " cards=" << chassis_.cards.size() << "\n"
          << "endpoint=" << address_text(ep.node_address) << ":" << ep.port
          << " directory=" << (server_->ds_connected() ? "connected" : "not-connected")
          << " instance=" << (options_.instance.empty() ? "-" : options_.instance) << "\n"
          << "clock=" << (sim_clock_is_fake() ? "fake" : "real")
          << " now_ms=" << sim_clock_now_ns() / 1000000 << "\n"
          << "clients=" << server_->peer_count() << "\n";
      done(Result{0, out.str()});
      return;
    }
    case CommandKind::show: {
      std::vector<std::string> names = c.models;
      if (names.empty()) {
        for (size_t i = 0; i < kModelCount; ++i) names.push_back(kModelNames[i]);
      }
      // Refreshes the models one after the other, then shows them all.
      auto step = std::make_shared<std::function<void(size_t)>>();
      *step = [this, names, done, step](size_t i) {
        if (i == names.size()) {
          std::ostringstream out;
          for (const auto& n : names) model(n)->show(out);
          done(Result{0, out.str()});
          *step = nullptr;  // breaks the cycle of the shared function
          return;
        }
        model(names[i])->refresh([step, i] {
          if (*step) (*step)(i + 1);
        });
      };
      (*step)(0);
      return;
    }
    case CommandKind::wait: {
      impl_->waits.push_back(Impl::Wait{requester, c.models[0], c.fragments, std::move(done)});
      if (c.models[0] == "statistics" && !impl_->polling) {
        if (impl_->poll_fd < 0) {
          impl_->poll_fd = timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC);
          if (impl_->poll_fd >= 0) {
            evloop_attach_fd(loop_, impl_->poll_fd, 0, on_poll, EVLOOP_FD_READABLE, 0, this, 0);
          }
        }
        itimerspec every{};
        every.it_interval.tv_nsec = kStatisticsPollMs * 1000000L;
        every.it_value = every.it_interval;
        if (impl_->poll_fd >= 0 && timerfd_settime(impl_->poll_fd, 0, &every, nullptr) == 0) {
          impl_->polling = true;
        }
      }
      changed();
      return;
    }
    case CommandKind::role:
      done(control::set_role(*this, c.slot, c.value));
      return;
    case CommandKind::card_insert:
      done(control::card_insert(*this, c.slot));
      return;
    case CommandKind::card_remove:
      done(control::card_remove(*this, c.slot));
      return;
    case CommandKind::card_state:
      done(control::card_state(*this, c.slot, c.value, c.value2));
      return;
    case CommandKind::config_set:
      done(control::config_set(*this, c.path, c.has_text ? &c.text : nullptr));
      return;
    case CommandKind::config_delete:
      done(control::config_delete(*this, c.path));
      return;
    case CommandKind::pm_update:
      done(control::pm_update(*this, c.slot, c.value));
      return;
    case CommandKind::pm_liveness:
      done(control::pm_liveness(*this));
      return;
    case CommandKind::clock_advance:
      if (!sim_clock_is_fake()) {
        done(Result{2, "the clock is real; start the simulator with --fake-clock to move it\n"});
        return;
      }
      sim_clock_advance_ms(c.ms);
      log("clock advanced by " + std::to_string(c.ms) + " ms");
      done(Result{0, "now_ms=" + std::to_string(sim_clock_now_ns() / 1000000) + "\n"});
      return;
    case CommandKind::stop:
      if (!options_.stop) {
        done(Result{2, "this simulator cannot be stopped from here\n"});
        return;
      }
      done(Result{0, "stopping\n"});
      options_.stop();
      return;
  }
}

}  // namespace envsim

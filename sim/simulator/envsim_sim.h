// The chassis simulator: the chassis as it is now, the platform-service models
// that serve it to the system's processes, and the commands that script and
// inspect it. Runs on one event loop, in the envsim daemon or inside a test.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "envsim_chassis.h"
#include "evloop.h"
#include "simsvc.h"

namespace envsim {

// A card as it is now.
struct CardState {
  CardDesc desc;
  std::string location;  // "0/RP0", ...
  int32_t role = kRoleNone;
  int32_t state = kCardStateDefault;
  int32_t sw_state = 0;
  bool present = true;
};

struct ChassisState {
  ChassisDesc desc;
  std::vector<CardState> cards;

  explicit ChassisState(ChassisDesc d);
  CardState* card_at(int32_t slot);
  // The card a client stands for: the card with that address, or the first
  // route processor when the client gave none. Null for an address no card has.
  CardState* card_of(uint32_t node_address);
  std::string location_of(int32_t slot) const;
};

struct Result {
  int status = 0;  // 0 done; otherwise what a command line tool exits with
  std::string text;
};
using Done = std::function<void(Result)>;

class Simulator;

// One platform-service model.
class Model {
 public:
  virtual ~Model() = default;
  virtual const char* name() const = 0;
  // Its state as plain-text lines "<name> key=value ...".
  virtual void show(std::ostream& out) const = 0;
  // Brings what show() reports up to date first (asks the clients, ...);
  // done runs on the loop when it may be shown. Most models are always current.
  virtual void refresh(std::function<void()> done) { done(); }
};

struct Options {
  std::string instance;           // root directory: the services' instance name
  uint32_t bind_address = 0x7f000001u;
  uint64_t liveness_period_ms = 30000;  // on the simulator's clock
  std::function<void(const std::string&)> log;  // one line per call, no newline
  std::function<void()> stop;  // what the stop command does (the daemon's loop)
};

class Simulator {
 public:
  static std::unique_ptr<Simulator> create(evloop_t* loop, ChassisDesc desc, Options options,
                                           std::string* error);
  ~Simulator();

  // Runs one control command (see envsim_control.h); `done` runs on the loop,
  // at once or later (waits, statistics). `requester` names the control
  // connection whose closing drops what it waits for (0: none).
  void execute(const std::vector<std::string>& args, uint64_t requester, Done done);
  // Drops what `requester` waits for.
  void forget_requester(uint64_t requester);

  // Called by models after their state changed: pending waits are checked.
  void changed();
  void log(const std::string& line) const;

  evloop_t* loop() const { return loop_; }
  ChassisState& chassis() { return chassis_; }
  simsvc::Server& server() { return *server_; }
  const Options& options() const { return options_; }
  Model* model(const std::string& name) const;
  const std::vector<std::unique_ptr<Model>>& models() const { return models_; }
  // A description of a client for show(): "client=N slot=S program=P pid=I".
  std::string client_text(const simsvc::Peer& peer);

  struct Impl;

 private:
  Simulator(evloop_t* loop, ChassisDesc desc, Options options);

  evloop_t* loop_;
  ChassisState chassis_;
  Options options_;
  std::unique_ptr<simsvc::Server> server_;
  std::vector<std::unique_ptr<Model>> models_;
  std::unique_ptr<Impl> impl_;
};

// Model constructors (each registers its service with the simulator's server).
std::unique_ptr<Model> make_chassis_model(Simulator& sim);
std::unique_ptr<Model> make_pm_model(Simulator& sim);
std::unique_ptr<Model> make_platform_local_model(Simulator& sim);
std::unique_ptr<Model> make_card_mgr_model(Simulator& sim);
std::unique_ptr<Model> make_config_model(Simulator& sim);
std::unique_ptr<Model> make_statistics_model(Simulator& sim);
std::unique_ptr<Model> make_syslog_model(Simulator& sim);
std::unique_ptr<Model> make_inventory_model(Simulator& sim);
// The simulator's own control service ("envsim").
void add_control_service(Simulator& sim);

// What the models offer the control commands.
namespace control {
// Process manager: give `card` its role (tells its clients), send a process
// update, ask every client's liveness now.
Result set_role(Simulator& sim, int32_t slot, int32_t role);
Result pm_update(Simulator& sim, int32_t slot, int32_t event_type);
Result pm_liveness(Simulator& sim);
// Card manager: insert, remove, change the state of a card.
Result card_insert(Simulator& sim, int32_t slot);
Result card_remove(Simulator& sim, int32_t slot);
Result card_state(Simulator& sim, int32_t slot, int32_t state, int32_t sw_state);
// Configuration: set or delete keys.
Result config_set(Simulator& sim, const std::string& path, const std::string* value);
Result config_delete(Simulator& sim, const std::string& path);
}  // namespace control

// Splits `text` into lines and tells whether one line holds every fragment,
// each as whole words ("slot=1" does not match "slot=10").
bool lines_match(const std::string& text, const std::vector<std::string>& fragments);

}  // namespace envsim

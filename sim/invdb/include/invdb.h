// The inventory model of the simulator: the database behind the inventory-
// registration service (invreg) and the inventory service (inv). It keeps
// what processes register and push (entities, FRUs, containers, sensor
// values, states, events, EEPROM and FPD data, power information), answers
// every request with an acknowledgement, and publishes to inventory-service
// clients the events they registered for. Tests and the simulator's control
// script the acknowledgement codes and read the database back.
//
// The model is transport-free: a serving layer hands it each decoded message
// of a connection (peer) and sends what it answers through the given senders.
#pragma once

#include <cstdint>
#include <functional>
#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "inv.h"
#include "invreg.h"

namespace invdb {

// Acknowledgement codes the model answers with.
inline constexpr uint32_t kAckAccepted = 1;
inline constexpr uint32_t kAckRetry = 7;   // data of an entity not registered yet
// Accepted codes: the object is taken.
bool ack_is_accepted(uint32_t code);

// Identity of an entity: rack, slot and levels (the first and fourth integers
// of an entity id are not part of it).
struct Key {
  uint32_t rack = 0;
  uint32_t slot = 0;
  std::vector<pelm_tsi> levels;

  static Key of(const pelm_eid& eid);
  // Type and subtype of the last level; 0 without levels.
  uint32_t type() const;
  uint32_t subtype() const;
  std::string text() const;  // "rack/slot TSI: t/s/i ..."
  bool operator<(const Key& other) const;
  bool operator==(const Key& other) const;
};

struct SensorValue {
  uint32_t msg_id = 0;        // which push set it (invreg_wire ids)
  int32_t value = 0;
  int32_t last_value = 0;
  uint64_t timestamp = 0;
  uint32_t pd_state = 0;
  uint32_t pd_last_state = 0;
  int32_t update_rate = 0;
  uint32_t alarm = 0;         // voltage alarm bits
  uint8_t trap = 0;
  std::optional<invreg_threshold> threshold;
};

struct Event {
  uint32_t type = 0;
  uint32_t state = 0;
  std::string descr;
};

struct Fru {
  uint32_t fru_type = 0;
  uint32_t pd_type = 0;
  uint32_t slot = 0;
  std::string serial_num;
  uint32_t reg_flag = 0;
  std::string name;
  std::optional<Event> event;
};

struct Container {
  uint32_t logic_slot = 0;
  std::optional<std::string> location;
};

struct Eeprom {
  uint32_t board_id = 0;
  std::string pid;
  std::string pcb_serial;
  std::vector<uint8_t> raw;
  uint32_t eeprom_size = 0;
};

struct Led {
  uint32_t kind = 0;
  uint32_t color = 0;
  uint64_t timestamp = 0;
};

struct FruPower {
  uint32_t power_allocated = 0;
  int32_t status = 0;
  int32_t fru_current = 0;
  uint8_t is_producer = 0;
};

// One entity as inventory holds it.
struct Entity {
  Key key;
  uint32_t scope = 0;         // scope of the client that registered it
  bool registered = false;
  bool hidden = false;
  uint32_t name_seq = 0;
  std::string name;
  std::string descr;
  std::string prefix;
  std::optional<uint32_t> oper_state;
  std::optional<uint32_t> power_admin_state;
  std::optional<uint32_t> power_oper_state;
  std::optional<SensorValue> value;
  std::optional<Led> led;
  std::optional<FruPower> fru_power;
  std::optional<Event> event;
  std::optional<invreg_fpga_data> fpga;     // eid field cleared
  std::optional<Eeprom> eeprom;
  std::optional<invreg_pem_status_data> pem_status;  // eid field cleared
  std::optional<Fru> fru;
  std::optional<Container> container;
};

// One request as it arrived: the connection's scope, the message and the
// entity it named (the first one of a list).
struct Received {
  uint32_t scope = 0;
  uint32_t msg_id = 0;
  std::string key;            // Key::text(), "" when the message names none
  uint32_t count = 0;         // entities in a list request
};

// What a client answered to a request of the service.
struct HwStateAnswer {
  Key key;
  uint32_t state = 0;
  uint32_t result = 0;
};

class Model {
 public:
  // Sends one message to a connection: (peer, message id, payload, request id).
  using Send = std::function<void(uint64_t peer, uint32_t msg_id, const void* payload,
                                  uint32_t request_id)>;

  Model(Send invreg_send, Send inv_send);

  // Connections. `scope` is the scope of the offer the client connected to.
  void invreg_opened(uint64_t peer, uint32_t scope);
  void invreg_closed(uint64_t peer);
  void inv_opened(uint64_t peer);
  void inv_closed(uint64_t peer);
  void invreg_message(uint64_t peer, uint32_t msg_id, uint32_t request_id, const void* payload);
  void inv_message(uint64_t peer, uint32_t msg_id, uint32_t request_id, const void* payload);

  // Acknowledgement codes: the answers to requests of `msg_id` take these
  // codes, one per acknowledged entity, before the defaults apply again.
  void script_acks(uint32_t msg_id, std::vector<uint32_t> codes);

  // Requests of the service to the rack-scope clients; false when none is
  // connected.
  bool request_set_hw_state(uint32_t slot, uint32_t state);
  bool request_fpga_data(const pelm_eid& eid);
  // Events to the inventory-service clients that registered for them.
  void publish_event(const inv_notify_event_data& data);
  void publish_fru_oir(const inv_fru_oir_event& event);
  // FRU power information answered besides what was pushed through invreg.
  void add_fru_power(const pelm_eid& eid, uint32_t power_allocated, uint32_t status);

  // Reading back.
  const Entity* find(const pelm_eid& eid) const;
  const Entity* find(const Key& key) const;
  std::vector<const Entity*> entities() const;
  const std::vector<Received>& received() const { return received_; }
  std::vector<Received> received_of(uint32_t msg_id) const;
  const std::vector<HwStateAnswer>& hw_state_answers() const { return hw_state_answers_; }
  const std::vector<invreg_fpga_data>& fpga_answers() const { return fpga_answers_; }
  const std::optional<invreg_system_power_info>& system_power() const { return system_power_; }
  // Inventory-service registrations of a kind of event: (type, subtype, event).
  bool has_event_registration(uint32_t type, uint32_t subtype, uint32_t event) const;
  size_t fru_event_registrations() const { return fru_event_peers_.size(); }
  void clear_received() { received_.clear(); }

 private:
  struct EventReg {
    uint64_t peer;
    uint32_t type;
    uint32_t subtype;
    uint32_t event;
  };

  Entity& entity(const pelm_eid& eid);
  uint32_t next_ack(uint32_t msg_id, uint32_t fallback);
  void log(uint64_t peer, uint32_t msg_id, const pelm_eid* eid, uint32_t count = 0);
  void ack_one(uint64_t peer, uint32_t resp_id, uint32_t request_id, uint32_t msg_id,
               const pelm_eid& eid, uint32_t code);
  void data_status(uint64_t peer, const pelm_eid& eid, uint32_t msg_id);
  void store_value(uint64_t peer, uint32_t msg_id, const pelm_eid& eid, const SensorValue& v);
  void states(uint64_t peer, uint32_t msg_id, uint32_t request_id,
              const invreg_entity_state_list& list);
  void notify_value(const Entity& e);
  void notify_oper_state(const Entity& e);
  void answer_fru_power(uint64_t peer, uint32_t request_id);
  void answer_data_group(uint64_t peer, uint32_t request_id, const inv_data_req& req);

  Send invreg_send_;
  Send inv_send_;
  std::map<uint64_t, uint32_t> invreg_peers_;  // peer -> scope
  std::set<uint64_t> inv_peers_;
  std::vector<EventReg> event_regs_;
  std::set<uint64_t> fru_event_peers_;
  std::map<Key, Entity> entities_;
  std::map<uint32_t, std::deque<uint32_t>> scripted_;
  std::vector<Received> received_;
  std::vector<HwStateAnswer> hw_state_answers_;
  std::vector<invreg_fpga_data> fpga_answers_;
  std::optional<invreg_system_power_info> system_power_;
  std::vector<std::pair<Key, std::pair<uint32_t, uint32_t>>> extra_fru_power_;
  uint32_t next_service_request_ = 0;
};

}  // namespace invdb

struct evloop;

namespace invdb {

// The model served in this process (invsvc_local.h) on the clients' loop:
// registration offers of scopes 1 and 3 and an inventory-service offer of
// scope 1. Withdrawn when destroyed.
class LocalServer {
 public:
  explicit LocalServer(struct evloop* loop);
  ~LocalServer();
  LocalServer(const LocalServer&) = delete;
  LocalServer& operator=(const LocalServer&) = delete;

  Model& model() { return model_; }
  // Endpoint of an offer (registration scope 1 or 3, or the inventory service).
  static msgpipe_endpoint invreg_endpoint(uint32_t scope);
  static msgpipe_endpoint inv_endpoint();

 private:
  Model model_;
};

}  // namespace invdb

namespace simsvc {
class Server;
}

namespace invdb {

// The model served on the simulator's service mechanism: both services are
// added to `server` (before it publishes). The server must outlive the host.
class ServiceHost {
 public:
  // `changed` runs after each message the model took.
  explicit ServiceHost(simsvc::Server& server, std::function<void()> changed = nullptr);
  ServiceHost(const ServiceHost&) = delete;
  ServiceHost& operator=(const ServiceHost&) = delete;

  Model& model() { return model_; }

 private:
  simsvc::Server& server_;
  std::function<void()> changed_;
  Model model_;
};

}  // namespace invdb

// A platform driver served on the test's loop through the driver interface's
// server side, and the directory service it is published in: what the core's
// driver client sends arrives here as it would at a real driver.
#pragma once

#include <stdint.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "drvif.h"
#include "evloop.h"

class DsServer;

// The directory service of a test, on its loop; ENVMON_DS_ENDPOINT points at
// it while it lives.
class TestDirectory {
 public:
  explicit TestDirectory(evloop_t* loop);
  ~TestDirectory();
  size_t entries() const;

 private:
  std::unique_ptr<DsServer> ds_;
};

class FakeDriver {
 public:
  struct Poll {
    uint32_t op;
    std::vector<std::string> eids;
    std::vector<uint32_t> deltas;
    std::vector<uint32_t> intervals;
    uint32_t id;
  };
  struct Set {
    std::vector<std::string> eids;
    std::vector<uint32_t> values;
    std::vector<uint32_t> kinds;
    bool auxiliary;
    uint32_t id;
  };
  struct FpgaSet {
    std::string eid;
    std::string path;
    uint32_t major, minor, toggle, op;
    uint32_t id;
  };

  FakeDriver(evloop_t* loop, uint32_t index, uint32_t scope);
  ~FakeDriver();

  uint32_t index() const { return index_; }
  // The client connection (null while none).
  drvif_client_handle_t* client() const { return client_; }
  bool connected() const { return client_ != nullptr; }
  // Where it listens.
  msgpipe_endpoint endpoint() const;
  // Its directory-service entry as a client's filter sees it.
  struct Entry {
    uint8_t bytes[16];
    ds_attribute attr[2];
    ds_service_info info;
  };
  void entry(Entry* e, uint32_t scope) const;

  // What arrived, in order.
  std::vector<std::vector<uint32_t>> registrations;    // {op, pt, rt}
  std::vector<std::vector<uint32_t>> unregistrations;  // {op, pt, rt}
  std::vector<Poll> polls;
  std::vector<Set> sets;
  std::vector<std::string> fpga_gets;
  std::vector<FpgaSet> fpga_sets;
  std::vector<uint32_t> shut_slots;
  std::vector<uint32_t> rack_nums;
  std::vector<uint32_t> fpga_acks;

  // The slot of the card the driver serves: ids the core sends with slot
  // 0xfffe come back with it, as a driver names its own card.
  uint32_t card_slot = 0;

  // Answers given by themselves: registrations get these acks; polls and
  // sets ack each entity id with ack_of (0 by default); set to false to answer by hand.
  std::vector<uint32_t> registration_acks = {0};
  std::function<uint32_t(const std::string& eid)> ack_of;
  bool answer_polls = true;
  bool answer_sets = true;

  // Answers and notifications sent by hand.
  int answer_poll(const Poll& p, const std::vector<uint32_t>& acks, int32_t status = 0);
  int answer_get_fpga(uint32_t id, const drvif_fpga_data_msg& msg, int32_t status = 0);
  int answer_set_fpga(uint32_t id, const std::vector<pelm_eid>& eids, const std::vector<uint32_t>& acks);
  int notify_sensor(const std::vector<drvif_sensor_data_rec>& recs);
  int notify_led(const std::vector<drvif_led_data_rec>& recs);
  int notify_eid(const std::vector<drvif_eid_data_rec>& recs);
  int notify_fpga(const drvif_fpga_data_msg& msg, uint32_t cookie);
  // Closes the client's connection from the driver's side.
  void drop_client();

 private:
  static FakeDriver* of(drvif_client_handle_t* c);
  uint32_t index_;
  drvif_server_handle_t* h_ = nullptr;
  drvif_client_handle_t* client_ = nullptr;
  drvif_capability caps_[2];
};

// The text an entity id is recorded with: "rack/slot t/s/i ...".
std::string fake_eid_text(const pelm_eid& e);

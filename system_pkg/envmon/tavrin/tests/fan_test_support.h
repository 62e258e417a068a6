// What the fan-management tests share: recording stand-ins of the neighbours
// fan management calls (fault manager, fan and slot-shut drivers, inventory
// pushes, the card-event state machine), and a chassis of three fan trays
// whose fan management is brought up on the fake clock.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "envhal_tavrin_fan.h"
#include "envmon_core.h"
#include "evloop.h"
#include "hal_test_support.h"
#include "inv.h"

namespace fantest {

// One fault report as fan management made it.
struct Fault {
  int32_t scope;
  uint32_t type;
  uint32_t tag;
  uint32_t action;
  int32_t state;          // 1 raise, 2 clear
  uint16_t level;
  std::string text;       // "" without a description
  std::string name;
  uint32_t rack;
  uint32_t slot;
};

// One bulk write to a driver: the written sensors' fan index (instance of
// their last level minus 1) with the tray slot, and the values.
struct Write {
  uint32_t driver;
  std::vector<uint32_t> slots;
  std::vector<uint32_t> fans;
  std::vector<uint32_t> values;
  std::vector<uint32_t> kinds;
};

// A temperature or fan-speed push to inventory.
struct Push {
  std::string what;       // "temp" or "fan"
  std::string sensor;     // sensor name
  int32_t value;
  uint8_t trap;
};

struct Poll {
  std::string sensor;     // first sensor's name ("" for none)
  uint16_t count;
  uint32_t mode;
  uint32_t driver;
  int32_t update_rate;    // of the first sensor
};

struct Neighbours {
  std::vector<Fault> faults;
  std::vector<Write> writes;
  std::vector<Push> pushes;
  std::vector<Poll> polls;
  std::vector<uint32_t> events;        // card events posted
  std::vector<uint32_t> shut_slots;    // slot-shut requests
  std::vector<std::string> calls;      // every other call, "name(args)"
  int32_t shut_result = 0;             // answer of envmon_drvif_shut_slot_req
  envmon_err_t fault_result = 0;       // answer of envmon_fm_fault_report
};
Neighbours& nb();
void reset_neighbours();

// Faults of one category and tag, in order.
std::vector<Fault> faults_of(uint32_t type, uint32_t tag);

// Sensor entity id of a fan (fan from 0) of a tray slot, and of a card's
// temperature sensor; released by the caller (envmon_free_tsi).
pelm_eid fan_eid(uint32_t slot, uint32_t fan);
pelm_eid temp_eid(uint32_t slot, uint32_t instance);

// A chassis with its fan trays (three, or six on the chassis types that have
// six; slots from 41, six fans each, first-generation board ids unless set),
// route processors in slots 0 and 1, and fan management stopped. Every test
// gets a fresh one.
class FanChassis {
 public:
  explicit FanChassis(uint32_t chassis_type = 0x60010000);
  ~FanChassis();
  FanChassis(const FanChassis&) = delete;
  FanChassis& operator=(const FanChassis&) = delete;

  uint32_t tray_count() const;
  // Starts fan management, reports every tray present, and runs the start-up
  // wait to its end with every connection up.
  void start_all_present();
  // Starts fan management only.
  void start();
  // Moves the fake clock and runs what became due.
  void advance(uint32_t seconds);
  // Tray presence as the driver client reports it.
  void insert(uint32_t tray);
  void remove(uint32_t tray);
  // An inventory temperature reading of a card sensor.
  void inv_temp(uint32_t slot, uint32_t instance, const char* name, int32_t value, int32_t minor_high = 70,
                int32_t major_high = 80, int32_t critical_high = 90);
  // The speeds of the last write to each fan of a tray (-1 never written).
  std::vector<int32_t> last_written(uint32_t tray) const;
  uint8_t zone_speed(int32_t zone) const { return chassis_fan_info->zones[zone].speed; }

  haltest::Chassis records;
  evloop_t* loop = nullptr;
  uint32_t rp_positions[2] = {0, 1};
  fantray_cb trays[6]{};
  pelm_eid containers[6]{};
  uint32_t fan_algo_stats[5 * 9]{};
  std::vector<envmon_sensor_info> fans[6];
};

}  // namespace fantest

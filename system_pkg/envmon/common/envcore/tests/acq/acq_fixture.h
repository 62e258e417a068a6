// The records of a small chassis for the driver, fault-manager, failure-log
// and FPD tests, built fresh for every test and released after it.
//
// This card is the route processor in slot 0 (a second one sits in slot 1);
// fan trays sit in slots 41-43, remotely managed fabric cards in 4-7, line
// cards in 10-13, switch cards in 26-27; port-adapter slots start at 512.
// Containers are inventory ids with one level (type 5, a subtype per class,
// the index as instance); the chassis is 3/1/0.
#pragma once

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <vector>

#include "acq_standin.h"
#include "envmon.h"
#include "evloop.h"

inline constexpr uint32_t kOwnSlot = 0;
inline constexpr uint32_t kOtherRpSlot = 1;
inline constexpr uint32_t kFanTraySlots[] = {41, 42, 43};
inline constexpr uint32_t kFabricSlots[] = {4, 5, 6, 7};
inline constexpr uint32_t kLineCardSlots[] = {10, 11, 12, 13};
inline constexpr uint32_t kSwitchSlots[] = {26, 27};
inline constexpr uint32_t kMpaSlot = 512;
inline constexpr uint32_t kChassisType = 0x60010000;  // a listed chassis

// Container subtypes of the fixture's inventory ids.
enum : uint8_t {
  kContRp = 2,
  kContFanTray = 5,
  kContPowerTray = 7,
  kContFabric = 4,
  kContLineCard = 1,
  kContSwitch = 20,
  kContXc = 21,
  kContMpa = 63,
};

// An entity id with the given levels; the caller releases it (envmon_free_tsi).
pelm_eid acq_eid(uint32_t rack, uint32_t slot, std::initializer_list<pelm_tsi> levels);
inv_eid acq_inv_eid(uint32_t rack, uint32_t slot, std::initializer_list<inv_eid_level> levels);
// A sensor's entity id: one level (8, subtype, instance).
pelm_eid acq_sensor_eid(uint32_t slot, uint32_t subtype, uint32_t instance);
std::string acq_eid_text(const pelm_eid* eid);

class AcqFixture : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Fills a list with one sensor per name (subtype of the list, instances
  // from 1, slot as given, driver as given, thresholds zero).
  envmon_sensor_info* fill_list(envmon_sensor_list* list, uint32_t slot, uint32_t subtype,
                                std::initializer_list<const char*> names, uint32_t driver = 12);
  // Registers both scopes with the fault manager model.
  void register_fm();
  // Sets this card's location (as the node-id callback does).
  void set_location(const char* location);

  evloop_t* loop = nullptr;
  envmon_pwr_mgmt_data_t pm{};
  uint32_t rack = 0;
  std::vector<envmon_entity_pbudget_info_t> budgets;
  std::vector<envmon_entity_pbudget_info_t> rp_budgets;
  std::vector<envmon_pwr_tray_budget> tray_budgets;
};

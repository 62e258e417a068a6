// The records of a chassis with power trays for the PEM library's tests,
// built fresh for every test and released after it. With virtual trays (the
// default) PEM j of tray t sits in slot 580 + 4t + j; with physical trays
// tray t has position t + 1 and its PEM j slot (t + 1) x 20 + j.
#pragma once

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <vector>

#include "envmon_core.h"
#include "envmon_pem.h"
#include "envmon_pemcore.h"
#include "envmon_pwr_mgmt.h"
#include "evloop.h"
#include "pem_standin.h"

inline constexpr uint32_t kChassisType = 0x60010000;
inline constexpr uint32_t kVirtualFirstSlot = 580;
inline constexpr uint32_t kAcPem = 0xF00388;     // 3000 W, AC
inline constexpr uint32_t kDcPem = 0xF0038A;     // 2100 W, DC
inline constexpr uint32_t kNoReading = 0xffffff;

class PemFixture : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Trays with the given PEM positions each, their budget entries and the
  // library's tray array; every PEM starts never seen (status 0).
  void make_trays(std::initializer_list<uint8_t> pems, bool physical = false);
  pem_record& pem(uint32_t tray, uint32_t index);
  int32_t slot(uint32_t tray, uint32_t index) const;
  // Applies driver data to a PEM: present, with its type and alarm bitmap.
  void apply(uint32_t tray, uint32_t index, uint32_t type, uint64_t hw_alarms = 0);
  // The power driver's entity data of a PEM (subtype 1), as the hardware
  // abstraction hands it on.
  struct EntityData {
    uint32_t type = kAcPem;
    uint32_t hw_events = 0x1;
    uint32_t fault_events = 0;
    const char* fault_text = "";
    uint32_t warn_events = 0;
    const char* warn_text = "";
    const char* serial = "POC12345678";
    uint32_t hours_used = 0;
    uint32_t hw_major = 1, hw_minor = 0;
    bool has_state = true;
    bool has_vendor = false;
    uint32_t vendor = 0;
  };
  void notify(uint32_t tray, uint32_t index, const EntityData& data);
  void notify(uint32_t tray, uint32_t index, uint32_t type) {
    EntityData d;
    d.type = type;
    notify(tray, index, d);
  }
  // Adds a sensor to one of a PEM's lists; its entity id has the PEM's slot.
  envmon_sensor_info& add_sensor(uint32_t tray, uint32_t index, uint32_t subtype, const char* name,
                                 int32_t value = 0);
  // A root directory whose inventory description directory is the shipped
  // one (sim/data/xml), for the lifetime of the test.
  void use_xml_root();
  // The armed timer descriptors attached to the loop.
  std::vector<int> armed_timers();
  // Counter i of the power-management operational block.
  uint32_t oper_counter(uint32_t i) const { return oper_stats_[5 * i]; }
  uint32_t error_counter(uint32_t i) const { return err_stats_[5 * i]; }
  // The faults reported since the last call, and forgets them.
  std::vector<pemtest::Fault> take_faults();

  evloop_t* loop = nullptr;
  envmon_rm_t rm{};
  envmon_nm_t nm{};
  envmon_pwr_mgmt_data_t pm{};
  std::vector<envmon_pwr_tray_budget> tray_budgets;
  std::vector<inv_eid> tray_cont_eids;

 private:
  bool physical_ = false;
  std::string root_;
  uint32_t oper_stats_[5 * 40]{};
  uint32_t err_stats_[5 * 2]{};
};

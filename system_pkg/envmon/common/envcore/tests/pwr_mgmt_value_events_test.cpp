// Voltage and current value changes: the sensor record, the failure-log mark,
// the push to inventory and the platform's power handling, in that order.
#include "pwr_mgmt_fixture.h"

namespace {

using namespace pwrtest;

// A sensor of one subtype in a card's slot, found through the hardware
// abstraction's sensor lists.
struct Sensor {
  pelm_tsi levels[2];
  envmon_sensor_info info{};
  envmon_sensor_list list{};
  Sensor(uint32_t slot, uint32_t subtype, const char* name) {
    levels[0] = {5, 1, 0};
    levels[1] = {ENVMON_ENTITY_TYPE_SENSOR, subtype, 1};
    info.eid.rack = 0;
    info.eid.slot = slot;
    info.eid.tsi = levels;
    info.eid.tsi_count = 2;
    info.eid.present = PELM_EID_HAS_RACK | PELM_EID_HAS_SLOT | PELM_EID_HAS_TSI;
    snprintf(info.name, sizeof(info.name), "%s", name);
    info.value = 11000;
    list.sensors = &info;
    list.count = 1;
    envcore_standin().slot_lists[{static_cast<int32_t>(slot), subtype}] = &list;
  }
};

class ValueEvents : public PwrTest {
 protected:
  void SetUp() override {
    PwrTest::SetUp();
    start();
    for (int32_t& v : bb_lc_fru_current_db) v = 0;
    calls().clear();
  }
};

TEST_F(ValueEvents, VoltageIsRecordedMarkedPushedAndHandedOn) {
  struct Case {
    const char* name;
    uint32_t state;
    bool trap;
    uint32_t pushed_state;
  };
  const Case cases[] = {
      {"not yet registered: held for after registration", 0x1, false, 0x41},
      {"registered", 0x2, true, 0x2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Sensor s(3, ENVMON_SENSOR_VOLTAGE, "Input Voltage");
    s.info.state = c.state;
    pwr_mgmt_standin().trap = c.trap;
    calls().clear();
    envmon_volt_value_change_event(&s.info.eid, 12000, ENVMON_SCOPE_RACK, 1234567);
    EXPECT_EQ(s.info.last_value, 11000);
    EXPECT_EQ(s.info.value, 12000);
    EXPECT_EQ(s.info.timestamp, 1234567u);
    EXPECT_EQ(s.info.state, c.pushed_state);
    char pushed[64];
    snprintf(pushed, sizeof(pushed), "inv_volt(3, 12000, 1, %d, 0x%x)", c.trap ? 1 : 0,
             c.pushed_state);
    // The record is updated before anyone reads it.
    EXPECT_EQ(calls(), (std::vector<std::string>{"obfl(2, 12000)", "hal_trap(3, 29)", pushed,
                                                 "hal_volt(12000, 12000, 3)"}));
  }
}

TEST_F(ValueEvents, CurrentIsRecordedMarkedPushedAndHandedOn) {
  Sensor s(3, ENVMON_SENSOR_CURRENT, "Output Current");
  envmon_curr_value_change_event(&s.info.eid, 42, ENVMON_SCOPE_NODE, 99);
  EXPECT_EQ(s.info.last_value, 11000);
  EXPECT_EQ(s.info.value, 42);
  EXPECT_EQ(s.info.timestamp, 99u);
  EXPECT_EQ(calls(), (std::vector<std::string>{"obfl(3, 42)", "inv_curr(3, 42, 3, 0x40)",
                                               "hal_curr(42, 42, 3)"}));
}

TEST_F(ValueEvents, UnknownSensorIsTracedAndDropped) {
  Sensor s(3, ENVMON_SENSOR_VOLTAGE, "Input Voltage");
  pelm_tsi other[2] = {{5, 1, 0}, {ENVMON_ENTITY_TYPE_SENSOR, ENVMON_SENSOR_VOLTAGE, 9}};
  pelm_eid eid = s.info.eid;
  eid.tsi = other;
  envmon_volt_value_change_event(&eid, 1, ENVMON_SCOPE_RACK, 1);
  envmon_curr_value_change_event(&eid, 1, ENVMON_SCOPE_RACK, 1);
  EXPECT_TRUE(err_traced("envmon_volt_value_change_event: unable to find EID 0/3 TSI: 5/1/0 8/29/9\n"));
  EXPECT_TRUE(err_traced("envmon_curr_value_change_event: unable to find EID 0/3 TSI: 5/1/0 8/29/9\n"));
  EXPECT_EQ(s.info.value, 11000);
  EXPECT_EQ(calls(), std::vector<std::string>{});
}

TEST_F(ValueEvents, LocalLineCardHotSwapCurrentIsKeptForTheBackplane) {
  struct Case {
    const char* name;
    uint32_t card_type;
    uint32_t slot;
    const char* sensor;
    bool kept;
  };
  const Case cases[] = {
      {"card 4130144, slot 2", 4130144, 2, "0/2-Hot Swap PEC Current", true},
      {"card 4130124, slot 2", 4130124, 2, "Hot Swap PEC", true},
      {"another line card", 4130128, 2, "0/2-Hot Swap PEC Current", false},
      {"another slot", 4130144, 3, "0/3-Hot Swap PEC Current", false},
      {"another sensor", 4130144, 2, "0/2-Board Current", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    tlg_test_clear(nullptr);
    for (int32_t& v : bb_lc_fru_current_db) v = 0;
    envmon_nm->card_type = c.card_type;
    Sensor s(c.slot, ENVMON_SENSOR_CURRENT, c.sensor);
    envmon_curr_value_change_event(&s.info.eid, 17, ENVMON_SCOPE_NODE, 1);
    EXPECT_EQ(bb_lc_fru_current_db[2], c.kept ? 17 : 0);
    EXPECT_EQ(info_traced("Updating local LC DB PEC at idx 2 with val 17\n"), c.kept);
    for (int i = 0; i < 14; ++i) {
      if (i != 2) {
        EXPECT_EQ(bb_lc_fru_current_db[i], 0) << i;
      }
    }
  }
}

}  // namespace

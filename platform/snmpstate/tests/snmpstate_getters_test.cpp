#include <gtest/gtest.h>

#include <initializer_list>
#include <utility>
#include <vector>

#include "snmpstate.h"

namespace {

// An inventory entity id of exactly 70 bytes on the heap, so that a read past
// its end is caught by the sanitizer build.
std::vector<uint8_t> eid_of(std::initializer_list<std::pair<uint8_t, uint8_t>> levels) {
  std::vector<uint8_t> eid(70, 0);
  eid[4] = static_cast<uint8_t>(levels.size());
  size_t k = 1;
  for (const auto& [type, subtype] : levels) {
    eid[4 * k + 2] = type;
    eid[4 * k + 3] = subtype;
    ++k;
  }
  return eid;
}

std::vector<uint8_t> eid_with_count(uint8_t count) {
  std::vector<uint8_t> eid(70, 0);
  eid[4] = count;
  return eid;
}

const taavrin_snmpsu_key kClass2 = {2, "V1"};
const taavrin_snmpsu_key kClass3 = {3, "V1"};
const taavrin_snmpsu_key kClass4 = {4, "V1"};
const taavrin_snmpsu_key kClass3V2 = {3, "V2"};
// A version that fills its field without a terminator.
const taavrin_snmpsu_key kClass3Full = {3, {'V', '1', 'x', 'x', 'x', 'x', 'x', 'x', 'x', 'x', 'x', 'x'}};

using SnmpGetter = int (*)(const void*, const taavrin_snmpsu_key*, int32_t, int32_t*);
using PiGetter = int (*)(const void*, int32_t, int32_t*);

const auto kCard = eid_of({{1, 0}, {6, 7}});
const auto kSpecial1 = eid_of({{1, 0}, {6, 1}});
const auto kSpecial3 = eid_of({{6, 3}});
const auto kNotSpecial = eid_of({{6, 4}});
// Only the last level counts: a special card above a plain entity is not special.
const auto kSpecialThenOther = eid_of({{6, 2}, {3, 0}});
const auto kFanTray = eid_of({{7, 0}});
const auto kFanTrayUnderCard = eid_of({{6, 1}, {7, 5}});
const auto kSensor = eid_of({{1, 0}, {8, 25}});
const auto kVoltageSensor = eid_of({{8, 29}});
const auto kNoLevels = eid_with_count(0);

struct SnmpCase {
  const char* name;
  SnmpGetter fn;
  const std::vector<uint8_t>* eid;
  const taavrin_snmpsu_key* key;
  int32_t state;
  int rc;
  int32_t out;
};

TEST(SnmpstateGetters, SnmpStatesByMappingRowAndSpecialCard) {
  const SnmpCase kCases[] = {
      {"module oper, class 3", inv_snmp_api_get_module_oper_state, &kCard, &kClass3, 12, 0, 12},
      {"module oper, class 2", inv_snmp_api_get_module_oper_state, &kCard, &kClass2, 3, 0, 2},
      {"module oper, special card uses its power row", inv_snmp_api_get_module_oper_state,
       &kSpecial1, &kClass3, 2, 0, 8},
      {"module oper, special subtype 3", inv_snmp_api_get_module_oper_state, &kSpecial3, &kClass3,
       4, 0, 12},
      {"module oper, subtype 4 is no special card", inv_snmp_api_get_module_oper_state,
       &kNotSpecial, &kClass3, 2, 0, 2},
      {"module oper, last level decides", inv_snmp_api_get_module_oper_state, &kSpecialThenOther,
       &kClass3, 2, 0, 2},
      {"module oper, special card without a row", inv_snmp_api_get_module_oper_state, &kSpecial1,
       &kClass4, 2, 2, -9},
      {"module oper, no row for class 4", inv_snmp_api_get_module_oper_state, &kCard, &kClass4, 2,
       2, -9},
      {"module oper, version V2", inv_snmp_api_get_module_oper_state, &kCard, &kClass3V2, 2, 2, -9},
      {"module oper, unterminated version", inv_snmp_api_get_module_oper_state, &kCard,
       &kClass3Full, 2, 2, -9},
      {"module oper, state without entry", inv_snmp_api_get_module_oper_state, &kCard, &kClass3,
       22, 2, -9},
      {"module admin", inv_snmp_api_get_module_admin_state, &kCard, &kClass3, 3, 0, 3},
      {"module admin, class 2", inv_snmp_api_get_module_admin_state, &kCard, &kClass2, 0, 0, 2},
      {"module admin, class 4", inv_snmp_api_get_module_admin_state, &kCard, &kClass4, 4, 0, 4},
      {"module admin, special card is state 1", inv_snmp_api_get_module_admin_state, &kSpecial1,
       &kClass3, 4, 0, 1},
      {"module admin, special card, missing state", inv_snmp_api_get_module_admin_state,
       &kSpecial3, &kClass3, 99, 0, 1},
      {"reset reason", inv_snmp_api_get_module_reset_reason, &kCard, &kClass3, 23, 0, 23},
      {"reset reason 0", inv_snmp_api_get_module_reset_reason, &kCard, &kClass4, 0, 0, 1},
      {"reset reason of class 2", inv_snmp_api_get_module_reset_reason, &kCard, &kClass2, 15, 0, 15},
      {"reset reason 14", inv_snmp_api_get_module_reset_reason, &kCard, &kClass3, 14, 2, -9},
      {"reset reason, id without levels", inv_snmp_api_get_module_reset_reason, &kNoLevels,
       &kClass3, 7, 0, 7},
      {"power admin", inv_snmp_api_get_power_admin_state, &kCard, &kClass3, 3, 0, 3},
      {"power admin, special card is state 1", inv_snmp_api_get_power_admin_state, &kSpecial1,
       &kClass3, 4, 0, 1},
      {"power admin, no row for class 2", inv_snmp_api_get_power_admin_state, &kCard, &kClass2, 1,
       2, -9},
      {"power oper", inv_snmp_api_get_power_oper_state, &kCard, &kClass3, 9, 0, 9},
      {"power oper, special card row", inv_snmp_api_get_power_oper_state, &kSpecial3, &kClass3, 1,
       0, 2},
      {"fan tray", inv_snmp_api_get_fan_tray_oper_state, &kFanTray, &kClass3, 12, 0, 3},
      {"fan tray under a card", inv_snmp_api_get_fan_tray_oper_state, &kFanTrayUnderCard, &kClass3,
       20, 0, 4},
      {"fan tray, state without entry", inv_snmp_api_get_fan_tray_oper_state, &kFanTray, &kClass3,
       3, 2, -9},
      {"fan tray, not a fan tray", inv_snmp_api_get_fan_tray_oper_state, &kSensor, &kClass3, 1, 22,
       -9},
      {"fan tray, no row is invalid", inv_snmp_api_get_fan_tray_oper_state, &kFanTray, &kClass4, 1,
       22, -9},
      {"sensor", inv_snmp_api_get_sensor_status, &kSensor, &kClass4, 2, 0, 3},
      {"sensor, state 0 first entry", inv_snmp_api_get_sensor_status, &kSensor, &kClass4, 0, 0, 2},
      {"sensor, not a sensor", inv_snmp_api_get_sensor_status, &kFanTray, &kClass4, 1, 22, -9},
      {"sensor, no row is not found", inv_snmp_api_get_sensor_status, &kSensor, &kClass3, 1, 2, -9},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    int32_t out = -9;
    EXPECT_EQ(c.fn(c.eid->data(), c.key, c.state, &out), c.rc);
    EXPECT_EQ(out, c.out);
  }
}

TEST(SnmpstateGetters, BadEntityIdsAndKeysAreRefused) {
  struct Getter {
    const char* name;
    SnmpGetter fn;
    bool needs_levels;
    const std::vector<uint8_t>* good;
    const taavrin_snmpsu_key* key;
  };
  const Getter kGetters[] = {
      {"module oper", inv_snmp_api_get_module_oper_state, true, &kCard, &kClass3},
      {"module admin", inv_snmp_api_get_module_admin_state, true, &kCard, &kClass3},
      {"reset reason", inv_snmp_api_get_module_reset_reason, false, &kCard, &kClass3},
      {"power admin", inv_snmp_api_get_power_admin_state, true, &kCard, &kClass3},
      {"power oper", inv_snmp_api_get_power_oper_state, true, &kCard, &kClass3},
      {"fan tray", inv_snmp_api_get_fan_tray_oper_state, true, &kFanTray, &kClass3},
      {"sensor", inv_snmp_api_get_sensor_status, true, &kSensor, &kClass4},
  };
  // Counts past the 16 levels the 70-byte form holds would lead the read out of the id.
  const auto kTooMany = eid_with_count(17);
  const auto kAll = eid_with_count(255);
  for (const auto& g : kGetters) {
    SCOPED_TRACE(g.name);
    int32_t out = -9;
    EXPECT_EQ(g.fn(nullptr, g.key, 1, &out), 22);
    EXPECT_EQ(g.fn(g.good->data(), nullptr, 1, &out), 22);
    if (g.needs_levels) {
      EXPECT_EQ(g.fn(kNoLevels.data(), g.key, 1, &out), 22);
      EXPECT_EQ(g.fn(kTooMany.data(), g.key, 1, &out), 22);
      EXPECT_EQ(g.fn(kAll.data(), g.key, 1, &out), 22);
    }
    EXPECT_EQ(out, -9);
    // No output: the state lookup refuses it.
    EXPECT_EQ(g.fn(g.good->data(), g.key, 1, nullptr), 22);
  }
}

TEST(SnmpstateGetters, SixteenLevelsReadTheLastOne) {
  std::vector<uint8_t> eid(70, 0);
  eid[4] = 16;
  eid[4 * 16 + 2] = 7;  // last level: a fan tray
  int32_t out = -9;
  EXPECT_EQ(inv_snmp_api_get_fan_tray_oper_state(eid.data(), &kClass3, 2, &out), 0);
  EXPECT_EQ(out, 2);
}

struct PiCase {
  const char* name;
  PiGetter fn;
  const std::vector<uint8_t>* eid;
  int32_t state;
  int rc;
  int32_t out;
};

TEST(SnmpstateGetters, SystemCommonStates) {
  const auto kCardAnySubtype = eid_of({{6, 9}});
  const PiCase kCases[] = {
      {"admin", inv_snmp_api_get_pi_admin_state, &kCard, 1, 0, 2},
      {"admin 0", inv_snmp_api_get_pi_admin_state, &kCard, 0, 0, 1},
      {"admin, special card is state 1", inv_snmp_api_get_pi_admin_state, &kSpecial1, 3, 0, 2},
      {"admin, missing state", inv_snmp_api_get_pi_admin_state, &kCard, 7, 2, -9},
      {"oper", inv_snmp_api_get_pi_oper_state, &kCard, 4, 0, 2},
      {"oper, voltage sensor in state 16", inv_snmp_api_get_pi_oper_state, &kVoltageSensor, 16, 0, 2},
      {"oper, voltage sensor in state 3", inv_snmp_api_get_pi_oper_state, &kVoltageSensor, 3, 0, 1},
      {"oper, state 16 of another subtype", inv_snmp_api_get_pi_oper_state, &kSensor, 16, 0, 1},
      {"oper, special card", inv_snmp_api_get_pi_oper_state, &kSpecial1, 4, 0, 2},
      {"oper, special card missing state", inv_snmp_api_get_pi_oper_state, &kSpecial1, 5, 2, -9},
      {"oper 0", inv_snmp_api_get_pi_oper_state, &kCard, 0, 0, 255},
      {"power admin", inv_snmp_api_get_pi_power_admin_state, &kSensor, 3, 0, 2},
      {"power admin, any card type is state 1", inv_snmp_api_get_pi_power_admin_state,
       &kCardAnySubtype, 2, 0, 2},
      {"power admin, other type keeps its state", inv_snmp_api_get_pi_power_admin_state, &kFanTray,
       2, 0, 1},
      {"power oper", inv_snmp_api_get_pi_power_oper_state, &kCard, 9, 0, 2},
      {"power oper 0", inv_snmp_api_get_pi_power_oper_state, &kCard, 0, 0, 1},
      {"power oper, id without levels", inv_snmp_api_get_pi_power_oper_state, &kNoLevels, 2, 0, 2},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    int32_t out = -9;
    EXPECT_EQ(c.fn(c.eid->data(), c.state, &out), c.rc);
    EXPECT_EQ(out, c.out);
  }
}

TEST(SnmpstateGetters, SystemCommonRefusals) {
  const auto kTooMany = eid_with_count(17);
  struct Getter {
    const char* name;
    PiGetter fn;
    bool needs_levels;
  };
  constexpr Getter kGetters[] = {{"admin", inv_snmp_api_get_pi_admin_state, true},
                                 {"oper", inv_snmp_api_get_pi_oper_state, true},
                                 {"power admin", inv_snmp_api_get_pi_power_admin_state, true},
                                 {"power oper", inv_snmp_api_get_pi_power_oper_state, false}};
  for (const auto& g : kGetters) {
    SCOPED_TRACE(g.name);
    int32_t out = -9;
    EXPECT_EQ(g.fn(nullptr, 1, &out), 22);
    if (g.needs_levels) {
      EXPECT_EQ(g.fn(kNoLevels.data(), 1, &out), 22);
      EXPECT_EQ(g.fn(kTooMany.data(), 1, &out), 22);
    }
    EXPECT_EQ(out, -9);
    EXPECT_EQ(g.fn(kCard.data(), 1, nullptr), 22);
  }
  EXPECT_EQ(inv_snmp_api_get_pi_oper_state(kVoltageSensor.data(), 16, nullptr), 22);
}

TEST(SnmpstateGetters, SubtypeRuleOnlyForVoltageSensorsInState16) {
  struct Case {
    int32_t subtype, state, answer, result, out;
  };
  constexpr Case kCases[] = {{29, 16, 1, 0, 2}, {29, 15, 0, -9, -9}, {25, 16, 0, -9, -9}};
  for (const auto& c : kCases) {
    SCOPED_TRACE(testing::Message() << c.subtype << "/" << c.state);
    int32_t result = -9, out = -9;
    EXPECT_EQ(taavrin_snmpsu_type_subtype_based_pi_oper_state(c.subtype, c.state, &result, &out),
              c.answer);
    EXPECT_EQ(result, c.result);
    EXPECT_EQ(out, c.out);
  }
  int32_t result = -9;
  EXPECT_EQ(taavrin_snmpsu_type_subtype_based_pi_oper_state(29, 16, &result, nullptr), 22);
  EXPECT_EQ(result, -9);
}

TEST(SnmpstateGetters, SelfTestEndsWithTheSensorLookup) {
  EXPECT_EQ(taavrin_snmpsu_test_all_snmp_apis(), 0);
}

}  // namespace

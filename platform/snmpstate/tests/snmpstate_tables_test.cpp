#include <gtest/gtest.h>

#include <ostream>
#include <vector>

#include "snmpstate.h"

// Found by argument lookup, so beside the record's own (global) namespace.
bool operator==(const taavrin_snmpsu_state& a, const taavrin_snmpsu_state& b) {
  return a.internal_state == b.internal_state && a.snmp_state == b.snmp_state &&
         a.syscommon_state == b.syscommon_state;
}
void PrintTo(const taavrin_snmpsu_state& e, std::ostream* os) {
  *os << "{" << e.internal_state << ", " << e.snmp_state << ", " << e.syscommon_state << "}";
}

namespace {

using Entries = std::vector<taavrin_snmpsu_state>;

std::vector<taavrin_snmpsu_state> walk(const taavrin_snmpsu_state* list) {
  std::vector<taavrin_snmpsu_state> out;
  for (; list != nullptr && list->internal_state != -1; ++list) out.push_back(*list);
  return out;
}

// The lists as the mapping rows give them: {internal, SNMP, system-common}.
const Entries kModuleAdmin = {{1, 1, 2}, {2, 2, 1}, {3, 3, 1}, {4, 4, 1}, {0, 2, 1}};
const Entries kModuleOper = {{1, 1, 255}, {2, 2, 2},   {12, 12, 1}, {3, 3, 1},   {4, 4, 2},
                             {5, 5, 255}, {6, 6, 1},   {7, 7, 1},   {8, 8, 1},   {9, 9, 1},
                             {10, 10, 1}, {11, 11, 1}, {13, 13, 1}, {14, 14, 1}, {15, 15, 1},
                             {16, 16, 1}, {17, 17, 1}, {18, 18, 1}, {19, 19, 2}, {20, 20, 2},
                             {21, 21, 2}, {0, 1, 255}};
const Entries kPowerAdmin = {{1, 1, 2}, {2, 2, 1}, {3, 3, 2}, {4, 4, 2}, {0, 2, 1}};
const Entries kPowerOper = {{2, 2, 2}, {3, 3, 1}, {1, 1, 1}, {4, 4, 1}, {5, 5, 1},
                            {6, 6, 1}, {7, 7, 1}, {8, 8, 1}, {9, 9, 2}, {0, 3, 1}};
const Entries kSpecialPowerOper = {{1, 2, 2}, {3, 1, 1}, {2, 8, 1}, {0, 3, 1}, {4, 12, 2}};
const Entries kSensorStatus = {{0, 2, 255}, {1, 1, 2},   {2, 3, 1},
                               {5, 2, 255}, {3, 2, 255}, {0, 2, 255}};
const Entries kFanTrayOper = {{1, 1, 255}, {2, 2, 2},  {12, 3, 1}, {4, 2, 2},  {7, 4, 1},
                              {8, 3, 1},   {9, 3, 1},  {10, 3, 1}, {13, 3, 1}, {14, 4, 1},
                              {15, 3, 1},  {16, 2, 2}, {17, 3, 1}, {18, 3, 1}, {19, 2, 2},
                              {20, 4, 2},  {21, 2, 2}, {0, 1, 255}};
Entries reset_reasons() {
  Entries e;
  for (int32_t n = 1; n <= 23; ++n) {
    if (n != 14) e.push_back({n, n, 254});
  }
  e.push_back({0, 1, 254});
  return e;
}
const Entries kClass2Admin = {{1, 1, 2}, {2, 2, 1}, {3, 3, 1}, {4, 4, 1}, {0, 2, 1}};
const Entries kClass2Oper = {{1, 1, 255}, {3, 2, 1}, {2, 3, 2}, {4, 4, 2}, {0, 1, 255}};

TEST(SnmpstateMapping, EveryRowGivesItsListEntryForEntry) {
  struct Row {
    int32_t hw_class, category, kind;
    Entries list;
  };
  const Row kRows[] = {
      {3, 1, 2, kModuleAdmin},  {3, 1, 1, kModuleOper},   {3, 1, 4, kPowerAdmin},
      {3, 1, 3, kPowerOper},    {4, 8, 1, kSensorStatus}, {3, 7, 1, kFanTrayOper},
      {3, 1, 5, reset_reasons()}, {4, 1, 5, reset_reasons()}, {4, 1, 2, kModuleAdmin},
      {2, 1, 5, reset_reasons()}, {2, 1, 2, kClass2Admin},  {2, 1, 1, kClass2Oper},
      {3, 6, 3, kSpecialPowerOper},
  };
  for (const auto& r : kRows) {
    SCOPED_TRACE(testing::Message() << "class " << r.hw_class << " category " << r.category
                                    << " kind " << r.kind);
    const taavrin_snmpsu_state* list =
        taavrin_snmpsu_get_mapping(r.category, r.kind, r.hw_class, "V1");
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(walk(list), r.list);
  }
}

TEST(SnmpstateMapping, KeysWithoutARowFindNothing) {
  struct Miss {
    const char* name;
    int32_t category, kind, hw_class;
    const char* version;
  };
  constexpr Miss kMisses[] = {
      {"version V2", 1, 1, 3, "V2"},          {"empty version", 1, 1, 3, ""},
      {"version with a tail", 1, 1, 3, "V1 "}, {"lower-case version", 1, 1, 3, "v1"},
      {"no version", 1, 1, 3, nullptr},       {"class 4 has no oper row", 1, 1, 4, "V1"},
      {"class 5", 1, 2, 5, "V1"},             {"special card of class 4", 6, 3, 4, "V1"},
      {"fan tray of class 4", 7, 1, 4, "V1"}, {"sensor of class 3", 8, 1, 3, "V1"},
      {"end row", 13, 0, 0, ""},              {"end row category", 13, 0, 0, "V1"},
  };
  for (const auto& m : kMisses) {
    SCOPED_TRACE(m.name);
    EXPECT_EQ(taavrin_snmpsu_get_mapping(m.category, m.kind, m.hw_class, m.version), nullptr);
  }
}

TEST(SnmpstateLookup, FirstMatchingEntryWinsInEveryDirection) {
  const taavrin_snmpsu_state* sensor = taavrin_snmpsu_get_mapping(8, 1, 4, "V1");
  const taavrin_snmpsu_state* admin = taavrin_snmpsu_get_mapping(1, 2, 3, "V1");
  ASSERT_NE(sensor, nullptr);
  ASSERT_NE(admin, nullptr);
  struct Case {
    const char* name;
    int (*fn)(int32_t, const taavrin_snmpsu_state*, int32_t*);
    const taavrin_snmpsu_state* list;
    int32_t state;
    int rc;
    int32_t out;
  };
  const Case kCases[] = {
      {"internal to SNMP", taavrin_snmpsu_get_snmp_state, admin, 4, 0, 4},
      {"internal 0 to SNMP", taavrin_snmpsu_get_snmp_state, admin, 0, 0, 2},
      {"internal to system-common", taavrin_snmpsu_get_syscommon_state, admin, 1, 0, 2},
      {"duplicate internal 0, first applies", taavrin_snmpsu_get_syscommon_state, sensor, 0, 0, 255},
      // System-common 1 is carried by 2, 3, 4 and 0: the first, 2, answers.
      {"system-common to SNMP", taavrin_snmpsu_convert_sc_state_to_snmp_state, admin, 1, 0, 2},
      {"system-common 2 to SNMP", taavrin_snmpsu_convert_sc_state_to_snmp_state, admin, 2, 0, 1},
      {"missing internal state", taavrin_snmpsu_get_snmp_state, admin, 5, 2, -9},
      {"missing system-common state", taavrin_snmpsu_convert_sc_state_to_snmp_state, admin, 254, 2, -9},
      {"end marker is no entry", taavrin_snmpsu_get_snmp_state, admin, -1, 2, -9},
      {"no list", taavrin_snmpsu_get_snmp_state, nullptr, 1, 2, -9},
      {"no list, system-common", taavrin_snmpsu_get_syscommon_state, nullptr, 1, 2, -9},
      {"no list, convert", taavrin_snmpsu_convert_sc_state_to_snmp_state, nullptr, 1, 2, -9},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    int32_t out = -9;
    EXPECT_EQ(c.fn(c.state, c.list, &out), c.rc);
    EXPECT_EQ(out, c.out);
  }
  EXPECT_EQ(taavrin_snmpsu_get_snmp_state(1, admin, nullptr), 22);
  EXPECT_EQ(taavrin_snmpsu_get_syscommon_state(1, admin, nullptr), 22);
  EXPECT_EQ(taavrin_snmpsu_convert_sc_state_to_snmp_state(1, admin, nullptr), 22);
  // A missing list is reported before a missing output.
  EXPECT_EQ(taavrin_snmpsu_get_snmp_state(1, nullptr, nullptr), 2);
}

TEST(SnmpstateLookup, ResetReasonFourteenHasNoEntry) {
  const taavrin_snmpsu_state* reasons = taavrin_snmpsu_get_mapping(1, 5, 3, "V1");
  int32_t out = -9;
  EXPECT_EQ(taavrin_snmpsu_get_snmp_state(14, reasons, &out), 2);
  EXPECT_EQ(taavrin_snmpsu_get_snmp_state(13, reasons, &out), 0);
  EXPECT_EQ(out, 13);
  EXPECT_EQ(taavrin_snmpsu_get_snmp_state(24, reasons, &out), 2);
}

}  // namespace

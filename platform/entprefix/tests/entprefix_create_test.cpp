#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "entprefix.h"
#include "nodeid.h"

namespace {

platform_fru_entity location(int32_t chassis_class, int32_t rack) {
  platform_fru_entity loc;
  platform_fru_entity_init(&loc);
  loc.chassis_class = chassis_class;
  loc.rack = rack;
  return loc;
}

platform_prefix_names filled(char c) {
  platform_prefix_names n;
  memset(&n, c, sizeof n);
  return n;
}

bool all_bytes(const platform_prefix_names& n, unsigned char c) {
  const auto* b = reinterpret_cast<const unsigned char*>(&n);
  for (size_t i = 0; i < sizeof n; ++i) {
    if (b[i] != c) return false;
  }
  return true;
}

TEST(EntprefixInit, EverythingUnsetAndNoLevels) {
  platform_fru_entity loc;
  memset(&loc, 0x5a, sizeof loc);
  platform_fru_entity_init(&loc);
  EXPECT_EQ(loc.chassis_class, -1);
  EXPECT_EQ(loc.rack, -1);
  EXPECT_EQ(loc.slot, -1);
  EXPECT_EQ(loc.sub_slot, -1);
  EXPECT_EQ(loc.bp_slot_id, -1);
  EXPECT_EQ(loc.level_count, 0);
  for (int i = 0; i < PLATFORM_MAX_LEVELS; ++i) {
    EXPECT_EQ(loc.level_kind[i], 0);
    EXPECT_EQ(loc.level_index[i], -1);
  }
  platform_fru_entity_init(nullptr);
}

struct LocCase {
  const char* name;
  int32_t slot, sub_slot, bp_slot_id;
  uint8_t level_count;
  int32_t kinds[2], indexes[2];
  const char* node;
  const char* prefix;
  uint8_t count;
  const char* level1;
  const char* level2;
};

TEST(EntprefixCreate, PrefixOfEveryKindOfLocation) {
  const LocCase kCases[] = {
      {"rack level", -1, -1, -1, 0, {0, 0}, {-1, -1}, "0", "Rack 0", 0, "", ""},
      {"rack level ignores levels", -1, -1, -1, 1, {1, 0}, {2, -1}, "0", "Rack 0", 0, "", ""},
      {"own slot and sub-slot", NODEID_SLOT_RP, 1, -1, 0, {0, 0}, {-1, -1}, "0/RP1", "0/RP1", 0,
       "", ""},
      {"own slot and sub-slot win over the backplane slot", NODEID_SLOT_FC, 2, 41, 0, {0, 0},
       {-1, -1}, "0/FC2", "0/FC2", 0, "", ""},
      {"backplane fan-tray slot", -1, -1, 43, 0, {0, 0}, {-1, -1}, "0/FT2", "0/FT2", 0, "", ""},
      {"backplane power-module slot", -1, -1, 48, 0, {0, 0}, {-1, -1}, "0/PM0", "0/PM0", 0, "", ""},
      {"backplane line-card slot", -1, -1, 12, 0, {0, 0}, {-1, -1}, "0/2", "0/2", 0, "", ""},
      {"slot without sub-slot names slot 5", 3, -1, -1, 0, {0, 0}, {-1, -1}, "0/PT", "0/PT", 0, "",
       ""},
      {"sub-slot without slot names slot 5", -1, 3, -1, 0, {0, 0}, {-1, -1}, "0/PT", "0/PT", 0, "",
       ""},
      {"power module under the default slot", -1, 2, -1, 1, {PLATFORM_LEVEL_PM, 0}, {2, -1}, "0/PT",
       "0/PT-PM2", 1, "PM2", ""},
      {"one PM level", -1, -1, 30, 1, {PLATFORM_LEVEL_PM, 0}, {2, -1}, "0/PT0", "0/PT0-PM2", 1,
       "PM2", ""},
      {"SPA and PORT levels", NODEID_SLOT_LC, 3, -1, 2, {PLATFORM_LEVEL_SPA, PLATFORM_LEVEL_PORT},
       {1, 7}, "0/3", "0/3-SPA1-PORT7", 2, "SPA1", "PORT7"},
      {"unknown kind", -1, -1, 41, 1, {7, 0}, {4, -1}, "0/FT0", "0/FT0-UNKNOWN4", 1, "UNKNOWN4", ""},
      {"kind 0 is unknown too", -1, -1, 41, 1, {0, 0}, {0, -1}, "0/FT0", "0/FT0-UNKNOWN0", 1,
       "UNKNOWN0", ""},
      {"index -1 skips the first level", -1, -1, 41, 2, {PLATFORM_LEVEL_PM, PLATFORM_LEVEL_SPA},
       {-1, 5}, "0/FT0", "0/FT0-SPA5", 1, "SPA5", ""},
      {"index -1 skips the second level", -1, -1, 41, 2, {PLATFORM_LEVEL_PM, PLATFORM_LEVEL_SPA},
       {3, -1}, "0/FT0", "0/FT0-PM3", 1, "PM3", ""},
      {"both levels skipped", -1, -1, 41, 2, {PLATFORM_LEVEL_PM, PLATFORM_LEVEL_SPA}, {-1, -1},
       "0/FT0", "0/FT0", 0, "", ""},
      {"only level-count levels are read", -1, -1, 41, 1, {PLATFORM_LEVEL_PM, PLATFORM_LEVEL_SPA},
       {3, 4}, "0/FT0", "0/FT0-PM3", 1, "PM3", ""},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    platform_fru_entity loc = location(1, 0);
    loc.slot = c.slot;
    loc.sub_slot = c.sub_slot;
    loc.bp_slot_id = c.bp_slot_id;
    loc.level_count = c.level_count;
    for (int i = 0; i < 2; ++i) {
      loc.level_kind[i] = c.kinds[i];
      loc.level_index[i] = c.indexes[i];
    }
    platform_prefix_names out = filled('x');
    ASSERT_EQ(platform_create_prefix(&loc, &out), 0);
    EXPECT_STREQ(out.first_part, c.node);
    EXPECT_STREQ(out.prefix, c.prefix);
    EXPECT_EQ(std::string(out.prefix_with_dash), std::string(c.prefix) + "-");
    EXPECT_EQ(out.marker_count, c.count);
    EXPECT_STREQ(out.second_part, c.level1);
    EXPECT_STREQ(out.third_part, c.level2);
    // The rest of the record is zero: the remainder and every byte past each text.
    for (char b : out.rest) EXPECT_EQ(b, '\0');
    for (size_t i = strlen(out.prefix_with_dash); i < sizeof out.prefix_with_dash; ++i) {
      EXPECT_EQ(out.prefix_with_dash[i], '\0');
    }
  }
}

TEST(EntprefixCreate, RackNumberAndClassReachTheName) {
  platform_fru_entity loc = location(3, 12);
  platform_prefix_names out{};
  ASSERT_EQ(platform_create_prefix(&loc, &out), 0);
  EXPECT_STREQ(out.prefix_with_dash, "Rack 12-");
  loc.bp_slot_id = 0;
  ASSERT_EQ(platform_create_prefix(&loc, &out), 0);
  EXPECT_STREQ(out.prefix_with_dash, "12/RP0-");
}

TEST(EntprefixCreate, InvalidLocationsLeaveTheRecordUntouched) {
  struct Case {
    const char* name;
    int32_t chassis_class, rack;
    uint8_t level_count;
  };
  constexpr Case kCases[] = {{"class unset", -1, 0, 0},
                             {"rack unset", 1, -1, 0},
                             {"three levels", 1, 0, 3},
                             {"255 levels", 1, 0, 255}};
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    platform_fru_entity loc = location(c.chassis_class, c.rack);
    loc.bp_slot_id = 41;
    loc.level_count = c.level_count;
    platform_prefix_names out = filled('x');
    EXPECT_EQ(platform_create_prefix(&loc, &out), 22);
    EXPECT_TRUE(all_bytes(out, 'x'));
  }
  platform_fru_entity loc = location(1, 0);
  EXPECT_EQ(platform_create_prefix(nullptr, nullptr), 22);
  EXPECT_EQ(platform_create_prefix(&loc, nullptr), 22);
  platform_prefix_names out = filled('x');
  EXPECT_EQ(platform_create_prefix(nullptr, &out), 22);
  EXPECT_TRUE(all_bytes(out, 'x'));
}

TEST(EntprefixCreate, NodeIdFailuresComeBackUnchangedWithAZeroRecord) {
  struct Case {
    const char* name;
    int32_t chassis_class, rack, slot, sub_slot, bp_slot_id;
  };
  constexpr Case kCases[] = {
      {"backplane slot outside the chassis", 1, 0, -1, -1, 35},
      {"class the node-id library refuses", 16, 0, -1, -1, 41},
      {"rack the node-id library refuses", 1, 300, -1, -1, 41},
      {"rack-level name of a refused rack", 1, 300, -1, -1, -1},
      {"slot type the node-id library refuses", 1, 0, 42, 0, -1},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    platform_fru_entity loc = location(c.chassis_class, c.rack);
    loc.slot = c.slot;
    loc.sub_slot = c.sub_slot;
    loc.bp_slot_id = c.bp_slot_id;
    platform_prefix_names out = filled('x');
    EXPECT_EQ(platform_create_prefix(&loc, &out), NODEID_EINVAL);
    EXPECT_TRUE(all_bytes(out, 0));
  }
}

TEST(EntprefixCreate, LevelsThatWouldBreakTheNameAreRefused) {
  struct Case {
    const char* name;
    int32_t kinds[2], indexes[2];
  };
  constexpr Case kCases[] = {
      // "PM-5" would carry a '-' into the prefix.
      {"negative index", {PLATFORM_LEVEL_PM, 0}, {-5, -1}},
      // "0/FT0-UNKNOWN2147483647-UNKNOWN2147483647" cannot fit the 32-byte prefix.
      {"prefix longer than its field", {9, 9}, {2147483647, 2147483647}},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    platform_fru_entity loc = location(1, 0);
    loc.bp_slot_id = 41;
    loc.level_count = 2;
    for (int i = 0; i < 2; ++i) {
      loc.level_kind[i] = c.kinds[i];
      loc.level_index[i] = c.indexes[i];
    }
    platform_prefix_names out = filled('x');
    EXPECT_EQ(platform_create_prefix(&loc, &out), 22);
    EXPECT_TRUE(all_bytes(out, 0));
  }
  // The longest prefix that fits: 31 characters before the '-'.
  platform_fru_entity loc = location(1, 0);
  loc.bp_slot_id = 41;  // "0/FT0"
  loc.level_count = 2;
  loc.level_kind[0] = 9;
  loc.level_index[0] = 123456;  // "UNKNOWN123456"
  loc.level_kind[1] = PLATFORM_LEVEL_SPA;
  loc.level_index[1] = 1234567;  // "SPA1234567"
  platform_prefix_names out{};
  ASSERT_EQ(platform_create_prefix(&loc, &out), 0);
  EXPECT_STREQ(out.prefix, "0/FT0-UNKNOWN123456-SPA1234567");
  EXPECT_EQ(strlen(out.prefix), 30u);
  loc.level_index[1] = 12345678;
  ASSERT_EQ(platform_create_prefix(&loc, &out), 0);
  EXPECT_EQ(strlen(out.prefix), 31u);
  loc.level_index[1] = 123456789;
  EXPECT_EQ(platform_create_prefix(&loc, &out), 22);
}

}  // namespace

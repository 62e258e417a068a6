#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "entprefix.h"
#include "nodeid.h"

namespace {

platform_prefix_names filled(char c) {
  platform_prefix_names n;
  memset(&n, c, sizeof n);
  return n;
}

bool all_zero(const platform_prefix_names& n) {
  const auto* b = reinterpret_cast<const unsigned char*>(&n);
  for (size_t i = 0; i < sizeof n; ++i) {
    if (b[i] != 0) return false;
  }
  return true;
}

struct DecodeCase {
  const char* name;
  const char* full_name;
  const char* pattern;
  uint8_t markers;
  const char* first;
  const char* second;
  const char* third;
  const char* prefix;
  const char* rest;
};

TEST(EntprefixDecode, SplitsByMarkerCount) {
  const DecodeCase kCases[] = {
      {"no marker", "0/RP0-Inlet Temp", "0/RP0", 0, "0/RP0", "", "", "0/RP0", "Inlet Temp"},
      {"dashes inside the entity's own name", "0/3-Hot-Swap Current", "0/3", 0, "0/3", "", "",
       "0/3", "Hot-Swap Current"},
      {"punctuation in the entity's own name", "0/3-V(in) 3.3V: A/B_1 ~`!@#$%^&*+=|\\{};\"'<,>?",
       "0/3", 0, "0/3", "", "", "0/3", "V(in) 3.3V: A/B_1 ~`!@#$%^&*+=|"},
      {"own name ends at a character outside its set", "0/3-Temp\tC", "0/3", 0, "0/3", "", "",
       "0/3", "Temp"},
      {"brackets end the own name", "0/3-Temp [C]", "0/3", 0, "0/3", "", "", "0/3", "Temp "},
      {"no dash at all", "0/RP0", "0/RP0", 0, "0/RP0", "", "", "0/RP0", ""},
      {"nothing after the dash", "0/RP0-", "0/RP0", 0, "0/RP0", "", "", "0/RP0", ""},
      {"one PM marker", "0/PT0-PM1-Input Voltage A", "0/PT0", 1, "0/PT0", "PM1", "",
       "0/PT0-PM1", "Input Voltage A"},
      {"module named by its prefix", "0/PT0-PM1", "0/PT0", 1, "0/PT0", "PM1", "", "0/PT0-PM1",
       ""},
      {"one SPA marker", "0/3-SPA2-Temp", "0/3", 1, "0/3", "SPA2", "", "0/3-SPA2", "Temp"},
      {"one Port marker", "0/3-Port4-Rx Power", "0/3", 1, "0/3", "Port4", "", "0/3-Port4",
       "Rx Power"},
      {"marker found inside the own name", "0/RP0-PM_Sensor", "0/RP0", 1, "0/RP0", "PM_Sensor", "",
       "0/RP0-PM_Sensor", ""},
      {"upper-case PORT is no marker", "0/3-PORT4-Rx", "0/3", 0, "0/3", "", "", "0/3", "PORT4-Rx"},
      {"two markers", "0/3-SPA1-Port2-Rx Power", "0/3", 2, "0/3", "SPA1", "Port2",
       "0/3-SPA1-Port2", "Rx Power"},
      {"two markers in either order", "0/PT-PM2-SPA1-Temp", "0/PT", 2, "0/PT", "PM2", "SPA1",
       "0/PT-PM2-SPA1", "Temp"},
      {"a marker counts once", "0/3-PM1-PM2-Temp", "0/3", 1, "0/3", "PM1", "", "0/3-PM1",
       "PM2-Temp"},
      {"-MPA means no sub-levels", "0/3-MPA0-PM1-Temp", "0/3", 0, "0/3", "", "", "0/3",
       "MPA0-PM1-Temp"},
      {"rack name", "Rack 0-Chassis Temp", "Rack 0", 0, "Rack 0", "", "", "Rack 0", "Chassis Temp"},
      {"empty pattern occurs everywhere", "0/FT1-Fan 1 Speed", "", 0, "0/FT1", "", "", "0/FT1",
       "Fan 1 Speed"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    platform_prefix_names out = filled('x');
    ASSERT_EQ(platform_decode_full_name(c.full_name, c.pattern, c.pattern, &out), 0);
    EXPECT_EQ(out.marker_count, c.markers);
    EXPECT_STREQ(out.first_part, c.first);
    EXPECT_STREQ(out.second_part, c.second);
    EXPECT_STREQ(out.third_part, c.third);
    EXPECT_STREQ(out.prefix, c.prefix);
    EXPECT_EQ(std::string(out.prefix_with_dash), std::string(c.prefix) + "-");
    EXPECT_STREQ(out.rest, c.rest);
  }
}

TEST(EntprefixDecode, PatternMustOccurInNameAndText) {
  struct Case {
    const char* name;
    const char* full_name;
    const char* pattern;
    const char* text;
    int rc;
  };
  constexpr Case kCases[] = {
      {"in both", "0/RP0-Temp", "RP0", "0/RP0", 0},
      {"absent from the text", "0/RP0-Temp", "0/RP0", "0/RP1", 22},
      {"absent from the name", "0/RP1-Temp", "0/RP0", "0/RP0", 22},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    platform_prefix_names out = filled('x');
    EXPECT_EQ(platform_decode_full_name(c.full_name, c.pattern, c.text, &out), c.rc);
    if (c.rc != 0) {
      EXPECT_TRUE(all_zero(out));
    }
  }
}

TEST(EntprefixDecode, MissingArgumentsLeaveTheRecordUntouched) {
  platform_prefix_names out = filled('x');
  EXPECT_EQ(platform_decode_full_name(nullptr, "a", "a", &out), 22);
  EXPECT_EQ(platform_decode_full_name("a-b", nullptr, "a", &out), 22);
  EXPECT_EQ(platform_decode_full_name("a-b", "a", nullptr, &out), 22);
  EXPECT_EQ(out.first_part[0], 'x');
  EXPECT_EQ(platform_decode_full_name("a-b", "a", "a", nullptr), 22);
}

TEST(EntprefixDecode, OverlongAndMalformedNamesAreRefused) {
  const std::string n31(31, 'N'), n32(32, 'N');
  const std::string r40(40, 'r');
  struct Case {
    const char* name;
    std::string full_name;
  };
  const Case kCases[] = {
      {"node name of 32 characters", n32 + "-Temp"},
      {"node name of 32 characters, no dash", n32},
      {"level name of 32 characters", "0/3-PM" + std::string(30, '1') + "-Temp"},
      {"prefix over 31 characters", "0/PT0-PM" + std::string(20, '1') + "-SPA" +
                                        std::string(10, '2') + "-Temp"},
      {"one marker, prefix of 32 characters", std::string(27, 'N') + "-PM12-Temp"},
      {"three markers", "0/3-Port1-PM2-SPA3-Temp"},
      {"empty node name", "-PM1-Temp"},
      {"empty name", ""},
      {"empty level name", "0/PT0--PM1-Temp"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    platform_prefix_names out = filled('x');
    EXPECT_EQ(platform_decode_full_name(c.full_name.c_str(), "", "", &out), 22);
    EXPECT_TRUE(all_zero(out));
  }
  // The longest parts that fit.
  platform_prefix_names out{};
  ASSERT_EQ(platform_decode_full_name((n31 + "-Temp").c_str(), "", "", &out), 0);
  EXPECT_EQ(std::string(out.prefix), n31);
  ASSERT_EQ(platform_decode_full_name((n31.substr(0, 26) + "-PM12-Temp").c_str(), "", "", &out), 0);
  EXPECT_EQ(strlen(out.prefix), 31u);
  // An entity's own name longer than its field is cut, the prefix kept.
  ASSERT_EQ(platform_decode_full_name(("0/RP0-" + r40).c_str(), "0/RP0", "0/RP0", &out), 0);
  EXPECT_STREQ(out.prefix, "0/RP0");
  EXPECT_EQ(std::string(out.rest), r40.substr(0, 31));
}

TEST(EntprefixRoundTrip, CreatedPrefixesDecodeBack) {
  struct Case {
    const char* name;
    int32_t slot, sub_slot, bp_slot_id;
    uint8_t level_count;
    int32_t kinds[2], indexes[2];
    const char* decoded_prefix;  // what the decoder finds in "<prefix>-Temp"
  };
  const Case kCases[] = {
      {"rack level", -1, -1, -1, 0, {0, 0}, {-1, -1}, "Rack 0"},
      {"own slot", NODEID_SLOT_SC, 0, -1, 0, {0, 0}, {-1, -1}, "0/SC0"},
      {"backplane slot", -1, -1, 44, 0, {0, 0}, {-1, -1}, "0/FT3"},
      {"default slot", 4, -1, -1, 0, {0, 0}, {-1, -1}, "0/PT"},
      {"PM level", -1, -1, 31, 1, {PLATFORM_LEVEL_PM, 0}, {3, -1}, "0/PT1-PM3"},
      {"SPA level", -1, -1, 15, 1, {PLATFORM_LEVEL_SPA, 0}, {0, -1}, "0/5-SPA0"},
      {"PM and SPA levels", -1, -1, 30, 2, {PLATFORM_LEVEL_PM, PLATFORM_LEVEL_SPA}, {1, 2},
       "0/PT0-PM1-SPA2"},
      // Markers are "-Port", "-PM" and "-SPA": a PORT or UNKNOWN level is read
      // back as part of the entity's own name.
      {"PORT level", -1, -1, 15, 1, {PLATFORM_LEVEL_PORT, 0}, {1, -1}, "0/5"},
      {"unknown level", -1, -1, 15, 1, {9, 0}, {1, -1}, "0/5"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    platform_fru_entity loc;
    platform_fru_entity_init(&loc);
    loc.chassis_class = 1;
    loc.rack = 0;
    loc.slot = c.slot;
    loc.sub_slot = c.sub_slot;
    loc.bp_slot_id = c.bp_slot_id;
    loc.level_count = c.level_count;
    for (int i = 0; i < 2; ++i) {
      loc.level_kind[i] = c.kinds[i];
      loc.level_index[i] = c.indexes[i];
    }
    platform_prefix_names made{};
    ASSERT_EQ(platform_create_prefix(&loc, &made), 0);
    const std::string full = std::string(made.prefix_with_dash) + "Temp";
    platform_prefix_names back{};
    ASSERT_EQ(platform_decode_full_name(full.c_str(), made.first_part, made.first_part, &back), 0);
    EXPECT_STREQ(back.prefix, c.decoded_prefix);
    if (std::string(c.decoded_prefix) == made.prefix) {
      EXPECT_STREQ(back.prefix_with_dash, made.prefix_with_dash);
      EXPECT_EQ(back.marker_count, made.marker_count);
      EXPECT_STREQ(back.second_part, made.second_part);
      EXPECT_STREQ(back.third_part, made.third_part);
      EXPECT_STREQ(back.rest, "Temp");
    }
  }
}

}  // namespace

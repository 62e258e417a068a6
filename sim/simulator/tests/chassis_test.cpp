#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "envsim_chassis.h"

namespace {

using envsim::ChassisDesc;

std::string joined(const std::vector<std::string>& lines) {
  std::string out;
  for (const auto& l : lines) out += l + "\n";
  return out;
}

// A description with one fault per case; the fault sits on the line given.
struct BadCase {
  const char* name;
  const char* text;
  int line;
  const char* fragment;
};

constexpr BadCase kBadCases[] = {
    {"missing comma", R"({
  "platform": "tavrin"
  "chassis": {"type": 1}
})",
     3, "malformed JSON"},
    {"file ends inside an object", R"({
  "platform": "tavrin",
  "chassis": {"type": 1},)",
     3, "malformed JSON"},
    {"top level is a list", R"([
  1, 2
])",
     1, "a chassis description is a JSON object"},
    {"unknown platform", R"({
  "platform": "quelm",
  "chassis": {"type": 1},
  "cards": [{"slot": 0, "hw_type": 1, "role": "active", "address": "127.1.0.1"}]
})",
     2, "\"quelm\" is no platform"},
    {"chassis without type", R"({
  "platform": "tavrin",
  "chassis": {"pid": "X"},
  "cards": [{"slot": 0, "hw_type": 1, "role": "active", "address": "127.1.0.1"}]
})",
     3, "chassis: missing key \"type\""},
    {"misspelt key", R"({
  "platform": "tavrin",
  "chassis": {"type": 1},
  "cards": [{"slot": 0, "hw_type": 1, "role": "active",
             "adress": "127.1.0.1"}]
})",
     5, "cards[0].adress: unknown key"},
    {"key given twice", R"({
  "platform": "tavrin",
  "chassis": {"type": 1},
  "cards": [{"slot": 0, "hw_type": 1, "role": "active", "address": "127.1.0.1",
             "slot": 1}]
})",
     5, "key \"slot\" appears twice"},
    {"slot out of range", R"({
  "platform": "tavrin",
  "chassis": {"type": 1},
  "cards": [
    {"slot": 70, "hw_type": 1, "role": "active", "address": "127.1.0.1"}
  ]
})",
     5, "cards[0].slot: 70 is out of range 0-63"},
    {"card in a fan-tray slot", R"({
  "platform": "tavrin",
  "chassis": {"type": 1},
  "cards": [
    {"slot": 0, "hw_type": 1, "role": "active", "address": "127.1.0.1"},
    {"slot": 41, "hw_type": 1, "role": "active", "address": "127.1.0.2"}
  ]
})",
     6, "slot 41 is no card slot"},
    {"two cards in one slot", R"({
  "platform": "tavrin",
  "chassis": {"type": 1},
  "cards": [
    {"slot": 0, "hw_type": 1, "role": "active", "address": "127.1.0.1"},
    {"slot": 0, "hw_type": 1, "role": "standby", "address": "127.1.0.2"}
  ]
})",
     6, "slot 0 is already taken by cards[0].slot"},
    {"two cards with one address", R"({
  "platform": "tavrin",
  "chassis": {"type": 1},
  "cards": [
    {"slot": 0, "hw_type": 1, "role": "active", "address": "127.1.0.1"},
    {"slot": 1, "hw_type": 1, "role": "standby", "address": "127.1.0.1"}
  ]
})",
     6, "127.1.0.1 is already the address of cards[0]"},
    {"address outside the loopback range", R"({
  "platform": "tavrin",
  "chassis": {"type": 1},
  "cards": [
    {"slot": 0, "hw_type": 1, "role": "active", "address": "10.0.0.1"}
  ]
})",
     5, "\"10.0.0.1\" is no 127.x.y.z address"},
    {"unknown role", R"({
  "platform": "tavrin",
  "chassis": {"type": 1},
  "cards": [
    {"slot": 0, "hw_type": 1, "role": "primary", "address": "127.1.0.1"}
  ]
})",
     5, "\"primary\" is no role"},
    {"hardware type not hexadecimal", R"({
  "platform": "tavrin",
  "chassis": {"type": 1},
  "cards": [
    {"slot": 0, "hw_type": "0x6002zz00", "role": "active", "address": "127.1.0.1"}
  ]
})",
     5, "\"0x6002zz00\" is not a hexadecimal code"},
    {"hardware type wider than 32 bits", R"({
  "platform": "tavrin",
  "chassis": {"type": 4294967296},
  "cards": [{"slot": 0, "hw_type": 1, "role": "active", "address": "127.1.0.1"}]
})",
     3, "chassis.type: 4294967296 is out of range"},
    {"no card at all", R"({
  "platform": "tavrin",
  "chassis": {"type": 1},
  "cards": []
})",
     4, "a chassis needs at least one card"},
    {"no route processor", R"({
  "platform": "tavrin",
  "chassis": {"type": 1},
  "cards": [
    {"slot": 10, "hw_type": 1, "role": "active", "address": "127.1.0.11"}
  ]
})",
     4, "a chassis needs a route processor"},
    {"olbrisk card beyond its slots", R"({
  "platform": "olbrisk",
  "chassis": {"type": 1},
  "cards": [
    {"slot": 0, "hw_type": 1, "role": "active", "address": "127.1.0.1"},
    {"slot": 20, "hw_type": 1, "role": "active", "address": "127.1.0.2"}
  ]
})",
     6, "olbrisk cards sit in slots below 16"},
    {"five thresholds", R"({
  "platform": "tavrin",
  "chassis": {"type": 1},
  "cards": [
    {"slot": 0, "hw_type": 1, "role": "active", "address": "127.1.0.1",
     "sensors": [{"name": "Inlet", "kind": "temperature", "value": 20,
                  "thresholds": [1, 2, 3, 4, 5]}]}
  ]
})",
     7, "needs 6 values"},
    {"unknown sensor kind", R"({
  "platform": "tavrin",
  "chassis": {"type": 1},
  "cards": [
    {"slot": 0, "hw_type": 1, "role": "active", "address": "127.1.0.1",
     "sensors": [{"name": "Inlet", "kind": "humidity", "value": 20}]}
  ]
})",
     6, "\"humidity\" is no sensor kind"},
    {"sensor listed twice", R"({
  "platform": "tavrin",
  "chassis": {"type": 1},
  "cards": [
    {"slot": 0, "hw_type": 1, "role": "active", "address": "127.1.0.1",
     "sensors": [{"name": "Inlet", "kind": "temperature", "value": 20},
                 {"name": "Inlet", "kind": "voltage", "value": 900}]}
  ]
})",
     7, "sensor \"Inlet\" is listed twice"},
    {"fan tray in a card slot", R"({
  "platform": "tavrin",
  "chassis": {"type": 1},
  "cards": [{"slot": 0, "hw_type": 1, "role": "active", "address": "127.1.0.1"}],
  "fan_trays": [
    {"slot": 10, "hw_type": "0xab040002"}
  ]
})",
     6, "slot 10 is no fan tray slot"},
    {"power module without hardware type", R"({
  "platform": "tavrin",
  "chassis": {"type": 1},
  "cards": [{"slot": 0, "hw_type": 1, "role": "active", "address": "127.1.0.1"}],
  "power_trays": [{"modules": [
    {"slot": 48}
  ]}]
})",
     6, "power_trays[0].modules[0]: missing key \"hw_type\""},
    {"IDPROM image that is not there", R"({
  "platform": "tavrin",
  "chassis": {"type": 1},
  "cards": [{"slot": 0, "hw_type": 1, "role": "active", "address": "127.1.0.1"}],
  "fan_trays": [
    {"slot": 41, "hw_type": 1, "idprom": "no-such-image.bin"}
  ]
})",
     6, "no-such-image.bin\" cannot be read"},
    {"configuration key that is no path", R"({
  "platform": "tavrin",
  "chassis": {"type": 1},
  "cards": [{"slot": 0, "hw_type": 1, "role": "active", "address": "127.1.0.1"}],
  "config": {
    "environment/config": 1
  }
})",
     6, "is no key path"},
    {"serial number too long", R"({
  "platform": "tavrin",
  "chassis": {"type": 1, "serial": "ABCDEFGHIJKLM"},
  "cards": [{"slot": 0, "hw_type": 1, "role": "active", "address": "127.1.0.1"}]
})",
     3, "longer than 11 characters"},
};

TEST(ChassisDescription, MalformedDescriptionsNameFileLineAndFault) {
  for (const auto& c : kBadCases) {
    SCOPED_TRACE(c.name);
    ChassisDesc d;
    d.description = "untouched";
    std::vector<std::string> errors;
    EXPECT_FALSE(envsim::chassis_parse(c.text, "/some/dir/bad.json", &d, &errors));
    ASSERT_FALSE(errors.empty());
    const std::string prefix = "bad.json:" + std::to_string(c.line) + ": ";
    bool found = false;
    for (const auto& e : errors) {
      if (e.rfind(prefix, 0) == 0 && e.find(c.fragment) != std::string::npos) found = true;
    }
    EXPECT_TRUE(found) << "expected a line starting with \"" << prefix << "\" holding \""
                       << c.fragment << "\", got:\n"
                       << joined(errors);
    EXPECT_EQ(d.description, "untouched") << "a refused description must not be half applied";
  }
}

TEST(ChassisDescription, EveryFaultOfOneFileIsListed) {
  const char* text = R"({
  "platform": "tavrin",
  "chassis": {"type": 1},
  "cards": [
    {"slot": 0, "hw_type": 1, "role": "boss", "address": "127.1.0.1"},
    {"slot": 1, "hw_type": 1, "role": "standby", "address": "127.1.0.300"}
  ]
})";
  ChassisDesc d;
  std::vector<std::string> errors;
  ASSERT_FALSE(envsim::chassis_parse(text, "two.json", &d, &errors));
  ASSERT_EQ(errors.size(), 2u) << joined(errors);
  EXPECT_EQ(errors[0], "two.json:5: cards[0].role: \"boss\" is no role (active, standby, none)");
  EXPECT_EQ(errors[1], "two.json:6: cards[1].address: \"127.1.0.300\" is no 127.x.y.z address");
}

TEST(ChassisDescription, UnreadableFileIsNamed) {
  ChassisDesc d;
  std::vector<std::string> errors;
  EXPECT_FALSE(envsim::chassis_load("/nonexistent/dir/chassis.json", &d, &errors));
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_EQ(errors[0], "/nonexistent/dir/chassis.json: cannot be read: No such file or directory");
}

TEST(ChassisDescription, ValuesAndDefaultsOfAMinimalDescription) {
  const char* text = R"({
  "platform": "olbrisk",
  "chassis": {"type": "0x60010100", "rack": 3},
  "cards": [
    {"slot": 1, "hw_type": "0x60020103", "role": "standby", "address": "127.2.0.2"},
    {"slot": 10, "hw_type": 4001648, "role": "none", "address": "127.2.0.11", "state": 8,
     "present": false}
  ],
  "config": {"/environment/config/fan-ctrl/disable": true, "/a/b/num": 12, "/a/c": "x"}
})";
  ChassisDesc d;
  std::vector<std::string> errors;
  ASSERT_TRUE(envsim::chassis_parse(text, "min.json", &d, &errors)) << joined(errors);
  EXPECT_EQ(d.platform, envsim::Platform::olbrisk);
  EXPECT_EQ(d.chassis_type, 0x60010100u);
  EXPECT_EQ(d.rack_num, 3);
  ASSERT_EQ(d.cards.size(), 2u);
  const auto& rp = d.cards[0];
  EXPECT_EQ(rp.slot_type, 1);  // route processor
  EXPECT_EQ(rp.slot_num, 1);
  EXPECT_EQ(rp.pi_type, 1);
  EXPECT_EQ(rp.cm_card_type, 1);
  EXPECT_EQ(rp.role, envsim::kRoleStandby);
  EXPECT_EQ(rp.address, 0x7f020002u);
  EXPECT_EQ(rp.state, envsim::kCardStateDefault);
  EXPECT_TRUE(rp.present);
  const auto& lc = d.cards[1];
  EXPECT_EQ(lc.slot_type, 0);  // line card 0
  EXPECT_EQ(lc.slot_num, 0);
  EXPECT_EQ(lc.pi_type, 0);
  EXPECT_EQ(lc.hw_type, 4001648u);
  EXPECT_EQ(lc.state, 8);
  EXPECT_FALSE(lc.present);
  ASSERT_EQ(d.config.size(), 3u);
  EXPECT_EQ(d.config[0].path, "/a/b/num");
  EXPECT_EQ(d.config[0].value, "12");
  EXPECT_TRUE(d.config[0].has_value);
  EXPECT_EQ(d.config[2].path, "/environment/config/fan-ctrl/disable");
  EXPECT_FALSE(d.config[2].has_value);
}

TEST(ChassisDescription, ShippedDefaultsLoad) {
  struct Case {
    const char* file;
    envsim::Platform platform;
    uint32_t chassis_type;
  };
  constexpr Case kCases[] = {
      {"tavrin_default.json", envsim::Platform::tavrin, 0x60010000u},
      {"olbrisk_default.json", envsim::Platform::olbrisk, 0x60010100u},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.file);
    ChassisDesc d;
    std::vector<std::string> errors;
    ASSERT_TRUE(envsim::chassis_load(std::string(ENVSIM_DATA_DIR) + "/" + c.file, &d, &errors))
        << joined(errors);
    EXPECT_EQ(d.platform, c.platform);
    EXPECT_EQ(d.chassis_type, c.chassis_type);
    int rps = 0;
    int lcs = 0;
    for (const auto& card : d.cards) {
      rps += card.slot_type == 1 ? 1 : 0;
      lcs += card.slot_type == 0 ? 1 : 0;
    }
    EXPECT_GE(rps, 2);
    EXPECT_GE(lcs, 2);
    EXPECT_GE(d.fan_trays.size(), 2u);
    size_t modules = 0;
    for (const auto& pt : d.power_trays) modules += pt.modules.size();
    EXPECT_GE(modules, 2u);
  }
}

TEST(ChassisDescription, RoleAndAddressTexts) {
  struct Case {
    const char* text;
    bool ok;
    int32_t role;
  };
  constexpr Case kCases[] = {{"active", true, 1}, {"standby", true, 2}, {"none", true, 3},
                             {"5", true, 5},      {"-1", true, -1},     {"", false, 0},
                             {"1x", false, 0},    {"-", false, 0},      {"99999999999", false, 0}};
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.text);
    int32_t role = 0;
    EXPECT_EQ(envsim::parse_role(c.text, &role), c.ok);
    if (c.ok) {
      EXPECT_EQ(role, c.role);
    }
  }
  EXPECT_EQ(envsim::slot_location(0, 0, 0), "0/RP0");
  EXPECT_EQ(envsim::slot_location(0, 0, 12), "0/2");
  EXPECT_EQ(envsim::slot_location(0, 0, 41), "0/FT0");
}

}  // namespace

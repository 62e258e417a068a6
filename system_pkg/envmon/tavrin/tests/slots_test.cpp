// Slot arithmetic of tavrin (port adapters and optics), fan-tray types and the
// names of power-module and fan-tray models.
#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>

#include "envmon_hal.h"
#include "hal_test_support.h"

namespace {

TEST(TavrinSlots, OpticsSlotBounds) {
  struct Case {
    uint32_t slot;
    bool optics;
  };
  const Case cases[] = {{0, false}, {559, false}, {599, false}, {600, true},
                        {1000, true}, {1879, true}, {1880, false}, {0xfffe, false}};
  for (const auto& c : cases) EXPECT_EQ(envmon_hal_is_optics_slot(c.slot), c.optics) << "slot " << c.slot;
}

TEST(TavrinSlots, OpticsSlotToLineCard) {
  struct Case {
    uint32_t chassis_type;
    uint32_t slot;
    uint32_t line_card;
  };
  const Case cases[] = {
      // Chassis whose port adapters carry optics.
      {0x60010107, 600, 1},   {0x60010107, 679, 1},   {0x60010107, 680, 512}, {0x60010107, 699, 512},
      {0x60010107, 700, 513}, {0x60010107, 719, 513}, {0x60010107, 720, 514}, {0x60010107, 1879, 514},
      {0x6001010b, 679, 1},   {0x6001010b, 700, 513},
      // Every other chassis: 80 optics per line card.
      {0x60010000, 600, 1},   {0x60010000, 679, 1},   {0x60010000, 680, 2},   {0x60010000, 1879, 16},
      {0x60010001, 1000, 6},  {0x60010002, 759, 2},   {0, 840, 4},
  };
  for (const auto& c : cases) {
    haltest::Chassis chassis(c.chassis_type);
    EXPECT_EQ(envmon_hal_if_logical_slot_to_lc_logical_slot(c.slot), c.line_card)
        << "chassis 0x" << std::hex << c.chassis_type << std::dec << " slot " << c.slot;
  }
}

TEST(TavrinSlots, PortAdapterSlotArithmetic) {
  struct Case {
    uint32_t slot;
    uint16_t card;
    uint8_t index;
  };
  const Case cases[] = {{512, 1, 0}, {513, 1, 1}, {514, 1, 2}, {515, 2, 0}, {530, 7, 0}, {558, 16, 1}, {559, 16, 2}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.slot);
    uint8_t index = 0xff;
    uint16_t card = 0xffff;
    envmon_hal_get_mpa_bay_slot(c.slot, &index, &card);
    EXPECT_EQ(card, c.card);
    EXPECT_EQ(index, c.index);
    uint32_t back = 0;
    envmon_hal_get_mpa_logic_slot(c.card, c.index, &back);
    EXPECT_EQ(back, c.slot);
  }
  // Every slot of the range maps to a distinct (card, index) and back.
  uint32_t last = 0, first = 0;
  envmon_hal_get_mpa_range(&last, &first);
  EXPECT_EQ(first, 512u);
  EXPECT_EQ(last, 559u);
  std::set<std::pair<uint16_t, uint8_t>> seen;
  for (uint32_t slot = first; slot <= last; ++slot) {
    uint8_t index = 0;
    uint16_t card = 0;
    envmon_hal_get_mpa_bay_slot(slot, &index, &card);
    EXPECT_TRUE(card >= 1 && card <= 16 && index <= 2) << slot;
    seen.insert({card, index});
    uint32_t back = 0;
    envmon_hal_get_mpa_logic_slot(card, index, &back);
    EXPECT_EQ(back, slot);
  }
  EXPECT_EQ(seen.size(), 48u);
}

TEST(TavrinSlots, PortAdapterLocationNamesTheBayOfThisCard) {
  haltest::Chassis chassis(0x60010000);
  char location[64];
  std::memset(location, 'x', sizeof(location));
  // Without this card's own location there is no name to give.
  EXPECT_NE(hal_get_mpa_nodeid_location(514, location, sizeof(location)), 0);
  EXPECT_EQ(location[0], 'x');

  char own[] = "0/RP0/CPU0";
  chassis.nm.my_location = own;
  struct Case {
    uint32_t slot;
    const char* text;
  };
  const Case cases[] = {{512, "0/RP0/CPU0/1"}, {513, "0/RP0/CPU0/2"}, {514, "0/RP0/CPU0/3"}, {515, "0/RP0/CPU0/1"}};
  for (const auto& c : cases) {
    EXPECT_EQ(hal_get_mpa_nodeid_location(c.slot, location, sizeof(location)), 0);
    EXPECT_STREQ(location, c.text);
  }
  // At most 31 bytes are written, terminator included.
  char long_location[] = "0/LC12/CPU0/a-very-long-location-name";
  chassis.nm.my_location = long_location;
  std::memset(location, 'x', sizeof(location));
  EXPECT_EQ(hal_get_mpa_nodeid_location(513, location, sizeof(location)), 0);
  EXPECT_EQ(std::strlen(location), 30u);
  EXPECT_EQ(location[31], 'x');
}

TEST(TavrinNames, CardNamesAndFanTrayTypes) {
  struct Case {
    uint32_t card_type;
    const char* name;  // null: no name
    bool fan_tray;
  };
  const Case cases[] = {
      {0xab010000, "TVR-PSU3K-AC", false},   {0xab010001, "TVR-PSU3K-AC", false},
      {0xab010010, "TVR-PSU3K-DC", false},   {0xab010020, "TVR-PSU3K-UV", false},
      {0xab010030, "TVR-PSU3K-2HV", false},  {0xab010040, "TVR-PSU4K4-DC", false},
      {0xab010308, "TVR-PSU1K6-AC", false},  {0xab010309, "TVR-PSU1K6-DC", false},
      {0xab040000, "TVR-FAN-8S", true},      {0xab040001, "TVR-FAN-8S", true},
      {0xab040002, "TVR-FAN-8S-V2", true},   {0xab040020, "TVR-FAN-16S", true},
      {0xab040021, "TVR-FAN-16S-R", true},   {0xab040022, "TVR-FAN-16S-V2", true},
      {0xab040040, "TVR-FAN-4S", true},      {0xab040041, "TVR-FAN-4S-V2", true},
      // Named, but not a fan tray of this platform's chassis.
      {0xab040206, "TVR-FAN-GEN", false},    {0xab040207, "TVR-FAN-GEN-R", false},
      {0xab040042, nullptr, false},          {0xab010002, nullptr, false},
      {0x60020100, nullptr, false},          {0, nullptr, false},
  };
  std::set<std::string> distinct;
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "0x" << std::hex << c.card_type);
    const char* name = envmon_hal_get_card_name(c.card_type);
    if (c.name == nullptr) {
      EXPECT_EQ(name, nullptr);
    } else {
      ASSERT_NE(name, nullptr);
      EXPECT_STREQ(name, c.name);
      EXPECT_LE(std::strlen(name), 17u);
      distinct.insert(name);
    }
    EXPECT_EQ(envmon_hal_is_fantray(c.card_type), c.fan_tray);
  }
  EXPECT_EQ(distinct.size(), 16u);
}

}  // namespace

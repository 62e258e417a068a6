// Platform limits of tavrin per chassis type, and the limits that do not
// depend on the chassis.
#include <gtest/gtest.h>

#include <memory>

#include "envmon_hal.h"
#include "hal_test_support.h"

namespace {

constexpr uint32_t kNoRackRecord = 0xffffffff;  // row marker: before the rack record exists

struct ChassisLimits {
  const char* name;
  uint32_t chassis_type;
  uint32_t max_fantray;
  uint32_t max_lc;
};

constexpr ChassisLimits kChassisLimits[] = {
    {"before the rack record", kNoRackRecord, 6, 8},
    {"8-slot chassis", 0x60010000, 3, 8},
    {"16-slot chassis", 0x60010001, 3, 16},
    {"4-slot chassis", 0x60010002, 3, 4},
    {"chassis type not yet known", 0, 6, 8},
    {"other chassis", 0x60010107, 6, 8},
};

TEST(TavrinLimits, ChassisDependentLimits) {
  for (const auto& c : kChassisLimits) {
    SCOPED_TRACE(c.name);
    std::unique_ptr<haltest::Chassis> chassis;
    if (c.chassis_type != kNoRackRecord) chassis = std::make_unique<haltest::Chassis>(c.chassis_type);
    EXPECT_EQ(envmon_hal_get_max_fantray(), c.max_fantray);
    EXPECT_EQ(envmon_hal_get_max_pri_fantray(), c.max_fantray);
    EXPECT_EQ(envmon_hal_get_max_lc(), c.max_lc);
  }
}

TEST(TavrinLimits, FixedLimits) {
  // The same answers on every chassis type.
  for (uint32_t chassis_type : {0x60010000u, 0x60010001u, 0x60010002u, 0x12345678u}) {
    SCOPED_TRACE(chassis_type);
    haltest::Chassis chassis(chassis_type);
    struct Limit {
      const char* name;
      uint32_t got;
      uint32_t want;
    };
    const Limit limits[] = {
        {"max clients", envmon_hal_get_max_clients(), 10},
        {"chassis serial length", envmon_hal_get_chassis_sn_length(), 12},
        {"IDPROM size", envmon_hal_get_max_idprom_size(), 256},
        {"inventory slots", envmon_hal_get_max_inv_slots(), 64},
        {"MPA fan trays", envmon_hal_get_max_mpa_fantray(), 0},
        {"power trays", envmon_hal_get_max_powertray(), 0},
        {"virtual power trays", envmon_hal_get_max_virtual_powertray(), 2},
        {"route processors", envmon_hal_get_max_rp(), 2},
        {"fabric cards", envmon_hal_get_max_fc(), 6},
        {"MPAs", envmon_hal_get_max_mpa(), 3},
        {"switch cards", envmon_hal_get_max_swc(), 0},
        {"XC cards", envmon_hal_get_max_xc(), 2},
        {"line-card subtype", envmon_hal_get_lc_card_subtype(), 13},
        {"fan-tray container subtype", envmon_hal_get_fantray_container_eid_subtype(), 5},
        {"power-tray container subtype", envmon_hal_get_powertray_container_eid_subtype(), 0},
    };
    for (const auto& l : limits) EXPECT_EQ(l.got, l.want) << l.name;
    EXPECT_STREQ(envmon_hal_get_platform_name(), "tavrin");
    EXPECT_FALSE(envmon_hal_are_sw_managed_remotely());
    EXPECT_FALSE(envmon_hal_are_fc_managed_remotely());
    EXPECT_FALSE(envmon_hal_are_lc_managed_remotely());
    EXPECT_FALSE(envmon_hal_is_mpa_supported_on_rp(0x60020100));
  }
}

TEST(TavrinLimits, SensorNameFilterHidesStatusAndAttentionLeds) {
  struct Case {
    uint32_t subtype;
    const char* name;
    int hidden;
  };
  const Case cases[] = {
      {13, "FC Status LED", 1}, {13, "Attention", 1},   {13, "Slot1 Attention LED", 1},
      {13, "Power LED", 0},     {25, "FC Status", 0},   {29, "Attention", 0},
      {13, "fc status", 0},     {13, nullptr, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name ? c.name : "(null)");
    EXPECT_EQ(envmon_hal_filter_sensor_eid_by_name(c.subtype, c.name), c.hidden) << "subtype " << c.subtype;
  }
}

}  // namespace

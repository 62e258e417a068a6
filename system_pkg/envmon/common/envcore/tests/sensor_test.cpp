#include <gtest/gtest.h>

#include <limits.h>
#include <string.h>

#include <string>

#include "envcore_test_util.h"

namespace {

constexpr char kCardXml[] = ENVCORE_TEST_DATA "/card.xml";

// ---- Grading ----

TEST(ThresholdLevel, TemperatureOverAllSevenLevelsAndBoundaries) {
  const envmon_threshold_set t = {-10, 85, -5, 75, 0, 65};  // crit lo/hi, maj lo/hi, min lo/hi
  struct Case {
    const char* name;
    int32_t value;
    uint32_t level;
  };
  const Case cases[] = {
      {"far below", INT32_MIN, 1},        {"below critical low", -11, 1},
      {"at critical low", -10, 1},        {"just above critical low", -9, 2},
      {"at major low", -5, 2},            {"just above major low", -4, 3},
      {"at minor low", 0, 3},             {"just above minor low", 1, 4},
      {"normal", 30, 4},                  {"just below minor high", 64, 4},
      {"at minor high", 65, 5},           {"just below major high", 74, 5},
      {"at major high", 75, 6},           {"just below critical high", 84, 6},
      {"at critical high", 85, 7},        {"far above", INT32_MAX, 7},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(envmon_threshold_level_check(&t, c.value, ENVMON_SENSOR_TEMPERATURE), c.level);
  }
}

TEST(ThresholdLevel, VoltageIsUnsignedWithoutMajorLevels) {
  const envmon_threshold_set t = {900, 1100, 920, 1080, 950, 1050};
  struct Case {
    const char* name;
    int32_t value;
    uint32_t level;
  };
  const Case cases[] = {
      {"zero", 0, 1},
      {"at critical low", 900, 1},
      {"just above critical low (major low ignored)", 901, 3},
      {"at major low", 920, 3},
      {"at minor low", 950, 3},
      {"just above minor low", 951, 4},
      {"at minor high", 1050, 5},
      {"at major high is still minor high", 1080, 5},
      {"just below critical high", 1099, 5},
      {"at critical high", 1100, 7},
      {"negative is a huge unsigned value", -1, 7},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(envmon_threshold_level_check(&t, c.value, ENVMON_SENSOR_VOLTAGE), c.level);
  }
  // A negative critical low compares as a very large number: every value is at or below it.
  const envmon_threshold_set neg = {-5, 1100, 900, 1080, 950, 1050};
  EXPECT_EQ(envmon_threshold_level_check(&neg, 1000, ENVMON_SENSOR_VOLTAGE), 1u);
  // The same set graded as a temperature uses signed comparisons.
  EXPECT_EQ(envmon_threshold_level_check(&neg, 1000, ENVMON_SENSOR_TEMPERATURE), 4u);
}

TEST(Thresholds, HysteresisMovesTheBoundOfTheLevelTowardsNormal) {
  const envmon_threshold_set base = {-10, 85, -5, 75, 0, 65};
  struct Case {
    uint32_t level;
    envmon_threshold_set expected;
  };
  const Case cases[] = {
      {1, {-7, 85, -5, 75, 0, 65}},  {2, {-10, 85, -2, 75, 0, 65}}, {3, {-10, 85, -5, 75, 3, 65}},
      {4, {-10, 85, -5, 75, 0, 65}}, {5, {-10, 85, -5, 75, 0, 62}}, {6, {-10, 85, -5, 72, 0, 65}},
      {7, {-10, 85, -5, 75, 0, 65}},
  };
  const envmon_threshold_msg msg = {0, 65, -5, 75, -10, 85};  // minor, major, critical pairs
  for (const Case& c : cases) {
    SCOPED_TRACE(c.level);
    envmon_threshold_set out;
    memset(&out, 0x77, sizeof(out));
    envmon_get_new_thresholds_from_alm_data(&base, c.level, 3, &out);
    EXPECT_EQ(memcmp(&out, &c.expected, sizeof(out)), 0);
    memset(&out, 0x77, sizeof(out));
    envmon_get_new_thresholds_from_threshold_data(&msg, c.level, 3, &out);
    EXPECT_EQ(memcmp(&out, &c.expected, sizeof(out)), 0);
  }
  // A hysteresis larger than the high bound leaves it unchanged.
  envmon_threshold_set out;
  envmon_get_new_thresholds_from_alm_data(&base, 5, 66, &out);
  EXPECT_EQ(out.minor_high, 65);
  envmon_get_new_thresholds_from_alm_data(&base, 6, 76, &out);
  EXPECT_EQ(out.major_high, 75);
  envmon_get_new_thresholds_from_alm_data(&base, 5, 65, &out);
  EXPECT_EQ(out.minor_high, 0);
}

TEST(Thresholds, MissingInputsAreTracedAndTheOutputUntouched) {
  envcore_open_traces();
  tlg_test_clear("envmon_cmn_err");
  const envmon_threshold_set base = {1, 2, 3, 4, 5, 6};
  envmon_threshold_set out = {9, 9, 9, 9, 9, 9};
  envmon_get_new_thresholds_from_alm_data(nullptr, 3, 1, &out);
  envmon_get_new_thresholds_from_threshold_data(nullptr, 3, 1, &out);
  envmon_get_new_thresholds_from_alm_data(&base, 3, 1, nullptr);
  EXPECT_EQ(out.minor_low, 9);
  EXPECT_TRUE(err_traced("envmon_get_new_thresholds_from_alm_data: Passed NULL normal_threshold\n"));
  EXPECT_TRUE(err_traced("envmon_get_new_thresholds_from_threshold_data: Passed NULL threshold_data\n"));
  EXPECT_TRUE(err_traced("envmon_get_new_thresholds_from_alm_data: Passed NULL new_threshold\n"));
}

// ---- Sensor lists from a description ----

class SensorList : public ::testing::Test {
 protected:
  void SetUp() override {
    envcore_standin_reset();
    envcore_free_records();
    envcore_open_traces();
    tlg_test_clear(nullptr);
    xml_ = inv_parser_open_xml_file(kCardXml);
    ASSERT_NE(xml_, nullptr) << kCardXml;
  }
  void TearDown() override {
    free_list(&temp_);
    free_list(&volt_);
    free_list(&curr_);
    free_list(&led_);
    inv_parser_close_xml_file(xml_);
    envcore_free_records();
  }
  struct List {
    envmon_sensor_info* s = nullptr;
    uint16_t n = 0;
  };
  static void free_list(List* l) {
    for (uint16_t i = 0; i < l->n; ++i) envmon_free_tsi(&l->s[i].eid);
    free(l->s);
    l->s = nullptr;
    l->n = 0;
  }
  envmon_err_t build(List* l, uint32_t subtype, uint32_t slot = 0xfffe) {
    return envmon_util_xml_parse_n_store_info(slot, xml_, 8, subtype, &l->n, &l->s);
  }
  inv_xml_handle_t xml_ = nullptr;
  List temp_, volt_, curr_, led_;
};

TEST_F(SensorList, RecordsCarryEveryFieldOfTheDescription) {
  ASSERT_EQ(build(&temp_, 25), ENVMON_OK);
  // The third temperature sensor has no thresholds: left out, the others kept in order.
  ASSERT_EQ(temp_.n, 2);
  const envmon_sensor_info& a = temp_.s[0];
  EXPECT_EQ(a.eid.rack, 0xfffeu);
  EXPECT_EQ(a.eid.slot, 0xfffeu);
  ASSERT_EQ(a.eid.tsi_count, 2u);
  EXPECT_EQ(a.eid.tsi[0].type, 5u);
  EXPECT_EQ(a.eid.tsi[0].subtype, 2u);
  EXPECT_EQ(a.eid.tsi[1].type, 8u);
  EXPECT_EQ(a.eid.tsi[1].subtype, 25u);
  EXPECT_EQ(a.eid.tsi[1].instance, 1u);
  EXPECT_EQ(a.state, 0x100000u);
  EXPECT_EQ(a.driver_ownership, 0u);
  EXPECT_STREQ(a.name, "Inlet Temp");
  EXPECT_EQ(a.threshold.critical_low, -10);
  EXPECT_EQ(a.threshold.critical_high, 85);
  EXPECT_EQ(a.threshold.major_low, -5);
  EXPECT_EQ(a.threshold.major_high, 75);
  EXPECT_EQ(a.threshold.minor_low, 0);
  EXPECT_EQ(a.threshold.minor_high, 65);
  EXPECT_EQ(a.value, 0);
  EXPECT_EQ(a.last_value, 0);
  EXPECT_EQ(a.obfl_last_value, 0xffffff);
  EXPECT_EQ(a.obfl_seq_num, 0);
  EXPECT_EQ(a.obfl_last_ack_ok_seq_num, 0);
  EXPECT_EQ(a.obfl_log_disabled, 0u);
  EXPECT_EQ(a.timestamp, 0u);
  EXPECT_EQ(a.pd_state, 0u);
  EXPECT_EQ(a.pd_last_state, 0u);
  EXPECT_EQ(a.previous_update_rate, 10);
  EXPECT_EQ(a.update_rate, 10);
  EXPECT_EQ(a.delta, 1);
  EXPECT_EQ(a.scale, 9u);
  EXPECT_EQ(a.precision, 0u);
  EXPECT_EQ(a.alarm_severity, 0);
  EXPECT_EQ(a.in_fault, 0);
  EXPECT_EQ(a.fault_event, 0u);
  EXPECT_EQ(a.driver_reported, 0);
  EXPECT_EQ(a.last_trap_value, 0);
  EXPECT_EQ(a.hw_event, 0u);
  EXPECT_EQ(a.hw_state, 0);
  EXPECT_EQ(a.hw_st_capi_flow_ctrl, 0);
  EXPECT_EQ(a.val_capi_flow_ctrl, 0);
  EXPECT_EQ(a.xml_attr, 0x2au);  // the attribute's top byte

  const envmon_sensor_info& b = temp_.s[1];
  EXPECT_EQ(b.driver_ownership, 1u);
  EXPECT_EQ(strlen(b.name), 48u);  // cut at 48 characters
  EXPECT_EQ(std::string(b.name), std::string("Outlet Temp With A Name Longer Than Forty-Eight Chars", 48));
  EXPECT_EQ(b.precision, 1u);
  EXPECT_EQ(b.obfl_log_disabled, 1u);
  EXPECT_EQ(b.eid.tsi[1].instance, 2u);

  // The sensor whose data could not be had is traced with its levels, and the
  // parser names the file and what was missing.
  EXPECT_TRUE(err_traced("failed to get EID data: \n"));
  EXPECT_TRUE(err_traced("tsi[1] typ = 8, subtype = 25, inst = 3\n"));
  EXPECT_TRUE(tlg_test_contains("inv_parser", "card.xml"));
  EXPECT_TRUE(tlg_test_contains("inv_parser", "sensor \"No Thresholds\" (8/25) has no threshold maj_lo, maj_hi, min_lo, min_hi"));
  EXPECT_TRUE(info_traced("sensor name = Inlet Temp, EID: 65534/65534 TSI: 5/2/1 8/25/1, scale: 9, precision 0\n"));
  // Every record was offered to the hardware abstraction.
  EXPECT_TRUE(envcore_standin_called("envmon_hal_customize_sensor_info(65534, 8, 25)"));
}

TEST_F(SensorList, ObflDisabledSensorIsLoggedToTheDebugStream) {
  DebugStream log(&env_dump_fd);
  ASSERT_EQ(build(&temp_, 25), ENVMON_OK);
  EXPECT_EQ(log.text(),
            "envmon_util_xml_parse_n_store_info: OBFL log is disabled on sensor = "
            "Outlet Temp With A Name Longer Than Forty-Eight \n");
}

TEST_F(SensorList, VoltageDeltaIsComputedSafely) {
  ASSERT_EQ(build(&volt_, 29), ENVMON_OK);
  ASSERT_EQ(volt_.n, 4);
  struct Case {
    const char* name;
    int32_t critical_low;
    int32_t delta;
  };
  const Case cases[] = {
      {"VP1P0", 1000, 5},          // 0.5 % of 1000
      {"VP0P1", 100, 5},           // 0 replaced by 5
      {"VNEG", -5, 5},             // a bad threshold does not wrap into millions
      {"VHUGE", 2000000000, 10000000},  // no 32-bit overflow of critical_low * 5
  };
  for (uint16_t i = 0; i < volt_.n; ++i) {
    SCOPED_TRACE(cases[i].name);
    EXPECT_STREQ(volt_.s[i].name, cases[i].name);
    EXPECT_EQ(volt_.s[i].threshold.critical_low, cases[i].critical_low);
    EXPECT_EQ(volt_.s[i].delta, cases[i].delta);
  }
  ASSERT_EQ(build(&curr_, 7), ENVMON_OK);
  ASSERT_EQ(curr_.n, 1);
  EXPECT_EQ(curr_.s[0].delta, 5);
  EXPECT_EQ(curr_.s[0].precision, 3u);
}

TEST_F(SensorList, LedListHasNoScaleOrThresholdsAndHonoursTheNameFilter) {
  envcore_standin().hidden_names = {"FC Status"};
  ASSERT_EQ(build(&led_, 13), ENVMON_OK);
  ASSERT_EQ(led_.n, 1);
  EXPECT_STREQ(led_.s[0].name, "Power LED");
  EXPECT_EQ(led_.s[0].scale, 0u);
  EXPECT_EQ(led_.s[0].precision, 0u);
  EXPECT_EQ(led_.s[0].xml_attr, 1u);
  EXPECT_EQ(led_.s[0].driver_ownership, 1u);
  EXPECT_TRUE(envcore_standin_called("envmon_hal_filter_sensor_eid_by_name(13, FC Status LED)"));
}

TEST_F(SensorList, RebuildingReplacesTheListAndAnAbsentSubtypeEmptiesIt) {
  ASSERT_EQ(build(&temp_, 25, 41), ENVMON_OK);
  ASSERT_EQ(temp_.n, 2);
  EXPECT_EQ(temp_.s[0].eid.slot, 41u);
  envcore_standin().customize_delta = 9;
  ASSERT_EQ(build(&temp_, 25, 42), ENVMON_OK);  // the old array is released (ASan checks)
  ASSERT_EQ(temp_.n, 2);
  EXPECT_EQ(temp_.s[0].eid.slot, 42u);
  EXPECT_EQ(temp_.s[0].delta, 9);  // the hardware abstraction's adjustment wins
  ASSERT_EQ(envmon_util_xml_parse_n_store_info(42, xml_, 8, 8, &temp_.n, &temp_.s), ENVMON_OK);
  EXPECT_EQ(temp_.n, 0);
  EXPECT_EQ(temp_.s, nullptr);
  EXPECT_TRUE(info_traced("no sensor with type/subtype 8/8 for slot 42\n"));
}

TEST_F(SensorList, AnUnreadableDescriptionEndsTheProcess) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  // No description (a missing or malformed file gives no handle).
  EXPECT_EQ(inv_parser_open_xml_file(ENVCORE_TEST_DATA "/missing.xml"), nullptr);
  EXPECT_TRUE(tlg_test_contains("inv_parser", "missing.xml: cannot open"));
  EXPECT_EXIT(
      {
        env_fd = stderr;
        envmon_util_xml_parse_n_store_info(0xfffe, nullptr, 8, 25, &temp_.n, &temp_.s);
      },
      ::testing::ExitedWithCode(255), "envmon_util_xml_parse_n_store_info:[0-9]+ - exiting\\(\\)");
  // Out of memory for the array ends it the same way.
  EXPECT_EXIT(
      {
        env_fd = stderr;
        envcore_test_fail_calloc(0);
        envmon_util_xml_parse_n_store_info(0xfffe, xml_, 8, 25, &temp_.n, &temp_.s);
      },
      ::testing::ExitedWithCode(255), "envmon_util_xml_parse_n_store_info:[0-9]+ - exiting\\(\\)");
}

// ---- Finding a sensor ----

class SensorLookup : public SensorList {
 protected:
  void SetUp() override {
    SensorList::SetUp();
    ASSERT_EQ(envmon_init_rack_scope_data(), ENVMON_OK);
    ASSERT_EQ(envmon_init_node_scope_data(), ENVMON_OK);
    ASSERT_EQ(envmon_init_rack_entity_data(), ENVMON_OK);
  }
  void TearDown() override {
    envmon_nm->temp_data = {};
    envmon_rm->temp_data = {};
    envmon_rm->fantray_cb[1].voltage_data = {};
    envmon_nm->mpa[1].current_data = {};
    SensorList::TearDown();
  }
  static pelm_eid sensor_eid(uint32_t slot, uint32_t subtype, uint32_t instance, pelm_tsi* levels) {
    levels[0] = {5, 2, 1};
    levels[1] = {8, subtype, instance};
    pelm_eid e{};
    e.rack = 0xfffe;
    e.slot = slot;
    e.tsi = levels;
    e.tsi_count = 2;
    return e;
  }
};

TEST_F(SensorLookup, ChoosesTheListBySlotScopeAndSubtype) {
  ASSERT_EQ(build(&temp_, 25), ENVMON_OK);
  envmon_nm->temp_data = {temp_.s, temp_.n, 0};
  ASSERT_EQ(build(&volt_, 29, 42), ENVMON_OK);
  envmon_rm->fantray_cb[1].hw_position = 42;
  envmon_rm->fantray_cb[1].voltage_data = {volt_.s, volt_.n, 0};
  ASSERT_EQ(build(&curr_, 7, 516), ENVMON_OK);
  envmon_nm->mpa[1].current_data = {curr_.s, curr_.n, 0};  // slot 516: index (516-512) % 3 = 1
  ASSERT_EQ(build(&led_, 13, 300), ENVMON_OK);
  envmon_sensor_list pem_leds = {led_.s, led_.n, 0};
  envcore_standin().slot_lists[{300, 13}] = &pem_leds;

  struct Case {
    const char* name;
    uint32_t slot, subtype, instance, scope;
    const envmon_sensor_info* expected;
  };
  const Case cases[] = {
      {"this card's temperature", 0xfffe, 25, 2, 3, &temp_.s[1]},
      {"fan tray voltage", 42, 29, 3, 1, &volt_.s[2]},
      {"MPA current, any scope", 516, 7, 1, 3, &curr_.s[0]},
      {"a slot of the hardware abstraction", 300, 13, 2, 1, &led_.s[1]},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    pelm_tsi levels[2];
    pelm_eid e = sensor_eid(c.slot, c.subtype, c.instance, levels);
    envmon_sensor_info* out = nullptr;
    ASSERT_EQ(envmon_util_get_sensor_info(&e, &out, c.scope), ENVMON_OK);
    EXPECT_EQ(out, c.expected);
  }
}

TEST_F(SensorLookup, RefusesWhatNamesNoSensor) {
  ASSERT_EQ(build(&temp_, 25), ENVMON_OK);
  envmon_nm->temp_data = {temp_.s, temp_.n, 0};
  envmon_rm->fantray_cb[1].hw_position = 42;
  struct Case {
    const char* name;
    uint32_t slot, subtype, instance, scope, levels;
    const char* traced;
  };
  const Case cases[] = {
      {"no levels", 0xfffe, 25, 1, 3, 0, "envmon_util_get_sensor_info: Invalid TSI value=0\n"},
      {"seventeen levels", 0xfffe, 25, 1, 3, 17, "envmon_util_get_sensor_info: Invalid TSI value=17\n"},
      {"fan tray subtype", 42, 30, 1, 1, 2, "envmon_util_get_sensor_info: Invalid FT sensor subtype=30\n"},
      {"node subtype", 0xfffe, 8, 1, 3, 2, "envmon_util_get_sensor_info: Invalid NODE sensor subtype=8\n"},
      {"rack subtype", 0xfffe, 29, 1, 1, 2, "envmon_util_get_sensor_info: Invalid RACK sensor subtype=29\n"},
      {"no such instance", 0xfffe, 25, 9, 3, 2, " Did not find matching pelm eid in envmon_util_find_sensor_info()\n\n"},
  };
  pelm_tsi many[17];
  for (auto& l : many) l = {8, 25, 1};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    tlg_test_clear("envmon_cmn_err");
    pelm_tsi levels[2];
    pelm_eid e = sensor_eid(c.slot, c.subtype, c.instance, levels);
    e.tsi_count = c.levels;
    if (c.levels == 17) e.tsi = many;
    envmon_sensor_info* out = reinterpret_cast<envmon_sensor_info*>(0x1);
    EXPECT_EQ(envmon_util_get_sensor_info(&e, &out, c.scope), 0x401014deca100802ULL);
    EXPECT_EQ(out, reinterpret_cast<envmon_sensor_info*>(0x1));  // untouched
    EXPECT_TRUE(err_traced(c.traced));
  }
  // The last level must be a sensor.
  pelm_tsi levels[2];
  pelm_eid e = sensor_eid(0xfffe, 25, 1, levels);
  levels[1].type = 9;
  envmon_sensor_info* out = nullptr;
  EXPECT_EQ(envmon_util_get_sensor_info(&e, &out, 3), ENVMON_ERR_INVALID_ARG);
  EXPECT_TRUE(err_traced("envmon_util_get_sensor_info: Invalid sensor type=9\n"));
}

}  // namespace

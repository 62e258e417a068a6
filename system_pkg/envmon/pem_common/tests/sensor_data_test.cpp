// Sensor readings routed by subtype, the batch-end work, and the value
// changes of PEM voltages, currents and power.
#include <gtest/gtest.h>

#include "drvif.h"
#include "envmon_pem_private.h"
#include "pem_fixture.h"
#include "tlg_test.h"

namespace {

class SensorData : public PemFixture {
 protected:
  drvif_sensor_data_rec entry(bool value, bool fault, bool thresholds = false) {
    drvif_sensor_data_rec e{};
    if (value) e.present[0] |= 0x02;
    if (fault) e.present[0] |= 0x10;
    if (thresholds) {
      e.present[1] |= 0x10 | 0x20;
      e.thr_minor_low = 60;
      e.thr_minor_high = 75;
    }
    return e;
  }
  void send(uint8_t subtype, const drvif_sensor_data_rec& e, envmon_sensor_info& s, uint32_t slot, int32_t value,
            uint32_t hw = 0x10, uint32_t fault = 0) {
    envmon_pem_drvif_sensor_data_notification(subtype, &e, &s.eid, "eid", s.eid.tsi, s.eid.tsi_count, slot, 1, value,
                                              hw, fault, 0, 11, 22, 33, 44, 1000);
  }
};

TEST_F(SensorData, RoutingBySubtypeAndSlot) {
  make_trays({1});
  envmon_sensor_info& out_i = add_sensor(0, 0, 7, "Output Current");
  envmon_sensor_info& in_v = add_sensor(0, 0, 29, "Input Voltage");
  const uint32_t s = static_cast<uint32_t>(slot(0, 0));
  send(7, entry(true, false), out_i, s, 30000);
  send(29, entry(true, true), in_v, s, 48000, 0x10, 0x4);
  send(29, entry(true, true), in_v, 7, 12000, 0x40, 0x4);  // another slot, sensor down
  EXPECT_EQ(pemtest::calls("envmon_"),
            (std::vector<std::string>{"envmon_curr_value_change_event(65534/580 5/7/1 8/7/1, 30000, 1, 1000)",
                                      "envmon_process_drvif_pem_volt_fault(65534/580 5/7/1 8/29/1, 48000, 0x4, 1)",
                                      "envmon_volt_value_change_event(65534/580 5/7/1 8/29/1, 48000, 1, 1000)",
                                      "envmon_process_drvif_volt_fault(65534/580 5/7/1 8/29/1, 0x4, 1)"}));
  pemtest::standin().calls.clear();
  envmon_pem_drvif_sensor_data_notification_complete();
  EXPECT_EQ(pemtest::calls("envmon_chk_n_upd_system_pwr_data"),
            std::vector<std::string>{"envmon_chk_n_upd_system_pwr_data(0)"});
  pemtest::standin().calls.clear();
  envmon_pem_drvif_sensor_data_notification_complete();  // the flag was consumed
  EXPECT_TRUE(pemtest::calls("envmon_chk_n_upd_system_pwr_data").empty());
}

TEST_F(SensorData, PemFanReadingsAndFaultsReportedAtTheEndOfTheBatch) {
  make_trays({1});
  envmon_sensor_info& fan = add_sensor(0, 0, 8, "Fan 0", 1000);
  const uint32_t s = static_cast<uint32_t>(slot(0, 0));
  send(8, entry(true, true, true), fan, s, 9000, 0x10, 0x400000);
  send(8, entry(true, true), fan, s, 9100, 0x10, 0x400000);
  EXPECT_EQ(fan.value, 9100);
  EXPECT_EQ(fan.last_value, 9000);
  EXPECT_EQ(fan.threshold.minor_low, 60);
  EXPECT_EQ(fan.threshold.minor_high, 75);
  EXPECT_NE(fan.state & ENVMON_ST_VALUE_WAITING, 0u);
  EXPECT_EQ(pemtest::calls("envmon_inv_invreg_rm_fan_speed_sensor_update").size(), 2u);
  EXPECT_TRUE(take_faults().empty());
  envmon_pem_drvif_sensor_data_notification_complete();
  auto faults = take_faults();
  ASSERT_EQ(faults.size(), 1u);  // one raise for two faulty readings
  EXPECT_EQ(faults[0].tag, 47u);
  EXPECT_EQ(faults[0].level, 3);
  EXPECT_EQ(faults[0].name, "Fan 0");
  EXPECT_EQ(faults[0].description, "Power module Fan 0 failed.");
  // Set and cleared within one batch: nothing to send.
  send(8, entry(true, true), fan, s, 9100, 0x10, 0);
  send(8, entry(true, true), fan, s, 9100, 0x10, 0x400000);
  envmon_pem_drvif_sensor_data_notification_complete();
  EXPECT_TRUE(take_faults().empty());
  send(8, entry(true, true), fan, s, 9100, 0x10, 0);
  envmon_pem_drvif_sensor_data_notification_complete();
  faults = take_faults();
  ASSERT_EQ(faults.size(), 1u);
  EXPECT_EQ(faults[0].state, 2);
  EXPECT_EQ(faults[0].description, "Power module Fan 0 failure cleared.");
}

TEST_F(SensorData, UnreadableFanUpdatesNothingButItsFault) {
  make_trays({1});
  envmon_sensor_info& fan = add_sensor(0, 0, 8, "Fan 0", 1000);
  send(8, entry(true, true), fan, static_cast<uint32_t>(slot(0, 0)), 5, 0x20, 0x400000);
  EXPECT_EQ(fan.value, 1000);
  EXPECT_EQ(fan.in_fault, 1);
  EXPECT_TRUE(pemtest::calls("envmon_inv_invreg_rm_fan_speed_sensor_update").empty());
}

TEST_F(SensorData, TemperatureThresholdsAndMonitoringDisabled) {
  make_trays({1});
  envmon_sensor_info& t = add_sensor(0, 0, 25, "Inlet Temp");
  const uint32_t s = static_cast<uint32_t>(slot(0, 0));
  send(25, entry(true, false, true), t, s, 41);
  EXPECT_EQ(t.threshold.minor_high, 60);
  EXPECT_EQ(t.threshold.critical_high, 75);
  EXPECT_EQ(pemtest::calls("envmon_hal_fan_mgmt_temp_value_change_event"),
            std::vector<std::string>{"envmon_hal_fan_mgmt_temp_value_change_event(65534/580 5/7/1 8/25/1, 41, 1, 1000, 22, 33)"});
  pemtest::standin().calls.clear();
  nm.disable_temp_monitoring = 1;
  send(25, entry(true, false, true), t, s, 43);
  EXPECT_EQ(pemtest::calls("envmon_inv_invreg_eid_upd_pem_temp_sensor_threshold").size(), 1u);
  EXPECT_EQ(pemtest::calls("envmon_hal_clear_temp_alarm").size(), 1u);
  EXPECT_TRUE(pemtest::calls("envmon_hal_fan_mgmt_temp_value_change_event").empty());
  EXPECT_EQ(t.eid.tsi_count, 2u);  // the entity id stays its owner's
  EXPECT_NE(t.eid.tsi, nullptr);
}

TEST_F(SensorData, PowerReadingsWaitForAllPemData) {
  make_trays({1});
  envmon_sensor_info& p = add_sensor(0, 0, 23, "Output Power", 100);
  const uint32_t s = static_cast<uint32_t>(slot(0, 0));
  send(23, entry(true, false), p, s, 1500);
  EXPECT_EQ(p.value, 100);
  pd_power_supplies_data.all_pem_info_rcvd = 1;
  send(23, entry(true, false), p, s, 1500);
  EXPECT_EQ(p.value, 1500);
  EXPECT_EQ(p.last_value, 100);
  EXPECT_EQ(p.timestamp, 1000u);
  EXPECT_NE(p.state & ENVMON_ST_VALUE_WAITING, 0u);
  EXPECT_EQ(pemtest::calls("envmon_inv_invreg_power_usage_update"),
            std::vector<std::string>{"envmon_inv_invreg_power_usage_update(65534/580 5/7/1 8/23/1, 1500, 1)"});
  pelm_eid other{};
  envmon_setup_fru_eid(9, &other);
  envmon_power_value_change_event(&other, 1, 1, 0);
  EXPECT_TRUE(tlg_test_contains("envmon_pem_lib_err", "envmon_power_value_change_event: unable to find EID"));
}

TEST_F(SensorData, InputVoltagesByFeed) {
  make_trays({1});
  apply(0, 0, kDcPem);
  envmon_sensor_info& b = add_sensor(0, 0, 29, "Input Voltage B", 48000);
  envmon_sensor_info& all = add_sensor(0, 0, 29, "Input Voltage", 50000);
  envmon_sensor_info& out = add_sensor(0, 0, 29, "Output Voltage", 12000);
  const uint32_t s = static_cast<uint32_t>(slot(0, 0));
  envmon_pem_pwr_mgmt_volt_value_change_event(48000, &b, s);
  EXPECT_EQ(pem(0, 0).pem_raw_data.input_voltage_b, kNoReading);  // not all PEM data yet
  pd_power_supplies_data.all_pem_info_rcvd = 1;
  envmon_pem_pwr_mgmt_volt_value_change_event(48000, &b, s);
  EXPECT_EQ(pem(0, 0).pem_raw_data.input_voltage_a, kNoReading);
  EXPECT_EQ(pem(0, 0).pem_raw_data.input_voltage_b, 48000u);
  envmon_pem_pwr_mgmt_volt_value_change_event(12000, &out, s);
  EXPECT_EQ(pem(0, 0).pem_raw_data.input_voltage_a, kNoReading);
  envmon_pem_pwr_mgmt_volt_value_change_event(50000, &all, s);
  EXPECT_EQ(pem(0, 0).pem_raw_data.input_voltage_a, 50000u);
  EXPECT_EQ(pem(0, 0).pem_raw_data.input_voltage_b, 50000u);
  EXPECT_EQ(pem(0, 0).pem_raw_data.input_voltage_c, 50000u);
}

TEST_F(SensorData, OutputCurrentReachesTheAllocationOnChange) {
  make_trays({1});
  apply(0, 0, kAcPem);
  envmon_sensor_info& out = add_sensor(0, 0, 7, "Output Current", 30000);
  envmon_sensor_info& in = add_sensor(0, 0, 7, "Input Current", 9000);
  const uint32_t s = static_cast<uint32_t>(slot(0, 0));
  envmon_pem_pwr_mgmt_update_fru_curr_data(0, &out, s);
  envmon_pem_pwr_mgmt_update_fru_curr_data(0, &out, s);  // unchanged
  envmon_pem_pwr_mgmt_update_fru_curr_data(0, &in, s);   // not an output
  pem(0, 0).status |= ENVMON_PEM_IN_FPD_UPG;
  out.value = 31000;
  envmon_pem_pwr_mgmt_update_fru_curr_data(0, &out, s);
  EXPECT_EQ(pemtest::calls("envmon_inv_invreg_fru_power_alloc_update"),
            (std::vector<std::string>{"envmon_inv_invreg_fru_power_alloc_update(65534/0 5/7/1, 0, 2, 30000, 1)",
                                      "envmon_inv_invreg_fru_power_alloc_update(65534/0 5/7/1, 0, 3, 31000, 1)"}));
  EXPECT_EQ(pem(0, 0).current, 31000u);
}

}  // namespace

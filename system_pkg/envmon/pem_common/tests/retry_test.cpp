// The retry turn of unacknowledged PEM requests and its clean-ups.
#include <gtest/gtest.h>

#include "envmon_pem_private.h"
#include "pem_fixture.h"
#include "tlg_test.h"

namespace {

class Retry : public PemFixture {};

TEST_F(Retry, OnlyTheFirstClassWithWorkIsSent) {
  make_trays({1});
  pem_record& p = pem(0, 0);
  p.container_reg_state = 0xf0000001u;
  envmon_sensor_info& s = add_sensor(0, 0, 29, "Input Voltage");
  p.voltage_data.reg_state = 0xf0000001u;
  s.state = 0xf0000001u;
  EXPECT_EQ(envmon_pem_fsa_rm_pd_error_count(), 1);
  EXPECT_EQ(pemtest::calls("envmon_hal_inv_invreg_rm_register_chassis_lvl_eids").size(), 1u);
  EXPECT_TRUE(pemtest::calls("envmon_inv_invreg_register_sensors").empty());
  EXPECT_EQ(p.container_reg_state, 0xe8000001u);  // 29 left
  p.container_reg_state |= ENVMON_ST_REG_DONE;     // acknowledged
  EXPECT_EQ(envmon_pem_fsa_rm_pd_error_count(), 1);  // the sensor's turn now
  EXPECT_EQ(p.container_reg_state & 0x3u, 0x2u);
  EXPECT_EQ(pemtest::calls("envmon_inv_invreg_register_sensors").size(), 1u);
  EXPECT_EQ(pemtest::calls("envmon_inv_invreg_upd_eid_name"),
            std::vector<std::string>{"envmon_inv_invreg_upd_eid_name(65534/580 5/7/1 8/29/1, PM0 Input Voltage, 1)"});
  EXPECT_TRUE(tlg_test_contains("envmon_pem_lib_pwrm", "FSA:RM-PT[0] SENSOR REG[1,1]\n"));
}

TEST_F(Retry, ARequestEndsAfterItsRetries) {
  make_trays({1}, true);
  pem_record& p = pem(0, 0);
  p.container_reg_state = 0xf0000001u;
  for (int i = 0; i < 30; ++i) EXPECT_EQ(envmon_err_hdl_rm_pem_cont(), 1) << i;
  EXPECT_EQ(envmon_err_hdl_rm_pem_cont(), 0);
  EXPECT_EQ(p.container_reg_state, 0u);
  EXPECT_EQ(pemtest::calls("invreg_register_container_eid").size(), 30u);
  const auto lines = tlg_test_lines("envmon_pem_lib_err");
  EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                          [](const std::string& l) { return l.find("container REG_REQ failed") != std::string::npos; }),
            1);
  EXPECT_EQ(envmon_err_hdl_rm_pem_cont(), 0);
}

TEST_F(Retry, GivingUpOnAPollKeepsTheSensorRegistered) {
  make_trays({1});
  envmon_sensor_info& s = add_sensor(0, 0, 29, "Input Voltage");
  pem(0, 0).voltage_data.reg_state = ENVMON_ST_POLL_PENDING;
  s.state = ENVMON_ST_REG_DONE | ENVMON_ST_POLL_PENDING;  // no retries left
  EXPECT_EQ(envmon_err_hdl_rm_pt_drvif(), 0);
  EXPECT_EQ(s.state, static_cast<uint32_t>(ENVMON_ST_REG_DONE));
  EXPECT_EQ(pem(0, 0).voltage_data.reg_state, static_cast<uint32_t>(ENVMON_ST_POLL_DONE));
}

TEST_F(Retry, PollingIsAskedOfThePowerDriverAgain) {
  make_trays({1});
  add_sensor(0, 0, 29, "Input Voltage");
  add_sensor(0, 0, 29, "Output Voltage");
  envmon_sensor_info& a = pem(0, 0).voltage_data.sensors[0];
  envmon_sensor_info& b = pem(0, 0).voltage_data.sensors[1];
  pem(0, 0).voltage_data.reg_state = 0xf0000100u;
  a.state = 0xf0000100u;
  b.state = 0xf0000300u;  // acknowledged
  EXPECT_EQ(envmon_err_hdl_rm_pt_drvif(), 1);
  EXPECT_EQ(pemtest::calls("envmon_drvif_poll_request"),
            std::vector<std::string>{"envmon_drvif_poll_request(Input Voltage, 1, 3, 2)"});
  EXPECT_EQ(b.state & 0x300u, 0x200u);
  EXPECT_EQ(a.state >> 27, 29u);
}

TEST_F(Retry, ValuesWaitingForRegistrationCountAsPending) {
  make_trays({1});
  envmon_sensor_info& s = add_sensor(0, 0, 25, "Inlet Temp");
  pem(0, 0).temp_data.reg_state = 0xf0000001u;
  s.state = ENVMON_ST_REG_DONE | ENVMON_ST_VALUE_WAITING;
  EXPECT_EQ(envmon_err_hdl_rm_pt_sensor(), 1);
  EXPECT_EQ(pemtest::calls("envmon_inv_invreg_report_sensor_data_after_reg").size(), 1u);
  EXPECT_EQ(envmon_err_hdl_rm_pt_sensor(), 0);  // nothing left: the list is done
  EXPECT_EQ(pem(0, 0).temp_data.reg_state & 0x3u, 0x2u);
}

TEST_F(Retry, FruRequestsOfAPem) {
  make_trays({1});
  pem_record& p = pem(0, 0);
  apply(0, 0, kAcPem);
  std::snprintf(p.serial_num, sizeof p.serial_num, "SER00000001");
  p.fru_hw_ver_maj = 3;
  p.fru_reg_state = 0xf0000015u;  // register, unregister and EEPROM set outstanding
  pemtest::standin().calls.clear();
  EXPECT_EQ(envmon_err_hdl_rm_pem_fru(), 2);  // the re-set waits while the registration is sent
  EXPECT_EQ(pemtest::calls("envmon_inv_invreg_"),
            (std::vector<std::string>{"envmon_inv_invreg_reg_pwr_fru(0, 0, 0xf00388, SER00000001, 11, 3, 0)",
                                      "envmon_inv_invreg_unreg_pwr_fru(0, 0, 0xf00388)"}));
}

TEST_F(Retry, ControllerWords) {
  make_trays({1});
  pctrl_data[1].reg_state = 0xf0000001u;
  pctrl_data[1].idprom_reg_state = 0xf0000003u;  // acknowledged
  EXPECT_EQ(envmon_pem_fsa_rm_pd_error_count(), 1);
  EXPECT_EQ(pemtest::calls("envmon_rm_reg_one_eid").size(), 1u);
  EXPECT_EQ(pctrl_data[1].idprom_reg_state, 0xf0000002u);
  EXPECT_TRUE(tlg_test_contains("envmon_pem_lib_pwrm", "FSA:RM CHASSIS PMBUS eid REG[1,1]\n"));
}

TEST_F(Retry, CleanUps) {
  make_trays({1});
  pem_record& p = pem(0, 0);
  add_sensor(0, 0, 29, "Input Voltage");
  p.container_reg_state = 0xf0000003u;
  p.fru_reg_state = 0xf000003fu;
  p.voltage_data.reg_state = 0xf0000303u;
  envmon_pem_fsa_rm_cleanup_drvif_retry_request(ENVMON_DRV_FAN);
  EXPECT_EQ(p.voltage_data.reg_state, 0xf0000303u);
  envmon_pem_fsa_rm_cleanup_drvif_retry_request(ENVMON_DRV_POWER);
  EXPECT_EQ(p.voltage_data.reg_state, 0xf0000203u);
  envmon_pem_fsa_rm_cleanup_inv_retry_request();
  EXPECT_EQ(p.container_reg_state, 0xf0000002u);
  EXPECT_EQ(p.fru_reg_state, 0xf000002au);
  EXPECT_EQ(p.voltage_data.reg_state, 0xf0000202u);
}

TEST_F(Retry, NothingWithoutTrays) {
  EXPECT_EQ(envmon_err_hdl_rm_pem_cont(), 0);
  EXPECT_EQ(envmon_err_hdl_rm_pem_fru(), 0);
  EXPECT_EQ(envmon_err_hdl_rm_pt_sensor(), 0);
  EXPECT_EQ(envmon_err_hdl_rm_pt_drvif(), 0);
}

}  // namespace

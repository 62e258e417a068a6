// The power driver as the PEM library sees it: registration, polling,
// connects, disconnects, the rack number and upgrades cut short by a
// controller restart.
#include <gtest/gtest.h>

#include "envmon_drvif.h"
#include "envmon_pem_private.h"
#include "fpd_drv_test.h"
#include "pem_fixture.h"
#include "tlg_test.h"

namespace {

class Driver : public PemFixture {
 protected:
  void SetUp() override {
    PemFixture::SetUp();
    fpd_drv_test_reset();
  }
  void containers_acknowledged() {
    for (size_t t = 0; t < tray_budgets.size(); ++t)
      for (uint32_t i = 0; i < pd_power_tray_info[t].num_pems; ++i) pem(t, i).container_regi_done = 1;
  }
};

TEST_F(Driver, RegistersOnceAllContainersAreKnownAndTheDriverIsUp) {
  make_trays({2, 2});
  envmon_drvif_pwr_regi_pem();
  EXPECT_TRUE(pemtest::calls("drvif_eid_register").empty());
  EXPECT_TRUE(tlg_test_contains("envmon_pem_lib_pwrm", "delay register with PWR driver for PEM - pem_container_regi not done"));
  containers_acknowledged();
  nm.drvif_connected[ENVMON_DRV_POWER] = 0;
  envmon_drvif_pwr_regi_pem();
  EXPECT_TRUE(pemtest::calls("drvif_eid_register").empty());
  nm.drvif_connected[ENVMON_DRV_POWER] = 1;
  envmon_drvif_pwr_regi_pem();
  EXPECT_EQ(pemtest::calls("drvif_eid_register"), std::vector<std::string>{"drvif_eid_register(op 1, pt 6, rt 11, 0)"});
  EXPECT_EQ(pd_power_supplies_data.pem_drvif_reg_done, 1);
  envmon_drvif_pwr_regi_pem();
  EXPECT_EQ(pemtest::calls("drvif_eid_register").size(), 1u);
  EXPECT_TRUE(tlg_test_contains("envmon_pem_lib_pwrm", "envmon_drvif_pwr_regi_pem ingore: already registered with PWR drv for PEM\n"));
}

TEST_F(Driver, PhysicalTraysRegisterWithoutWaiting) {
  make_trays({1}, true);
  nm.drvif_connected[ENVMON_DRV_POWER] = 0;
  envmon_drvif_pwr_regi_pem();
  EXPECT_EQ(pemtest::calls("drvif_eid_register").size(), 1u);
}

TEST_F(Driver, AFailedRegistrationIsTriedAgainLater) {
  make_trays({1});
  containers_acknowledged();
  pemtest::standin().drvif_register_rc = -9;
  envmon_drvif_pwr_regi_pem();
  EXPECT_EQ(pd_power_supplies_data.pem_drvif_reg_done, 0);
  EXPECT_TRUE(tlg_test_contains("envmon_pem_lib_err",
                                "envmon_drvif_pwr_regi_pem(): error while register with PWR driver for PEM,  rc = -9\n"));
  pemtest::standin().drvif_register_rc = 0;
  envmon_drvif_pwr_regi_pem();
  EXPECT_EQ(pd_power_supplies_data.pem_drvif_reg_done, 1);
  pemtest::standin().power_driver_handle = false;  // no handle: not sent
  pd_power_supplies_data.pem_drvif_reg_done = 0;
  envmon_drvif_pwr_regi_pem();
  EXPECT_EQ(pd_power_supplies_data.pem_drvif_reg_done, 0);
}

TEST_F(Driver, PollingRequestArmsEveryListWithSensors) {
  make_trays({1});
  envmon_sensor_info& in = add_sensor(0, 0, 29, "Input Voltage");
  add_sensor(0, 0, 25, "Inlet Temp");
  envmon_drvif_pem_sensors_poll_request(0, 0, ENVMON_POLL_START);
  EXPECT_EQ(pemtest::calls("envmon_drvif_poll_request"),
            (std::vector<std::string>{"envmon_drvif_poll_request(Input Voltage, 1, 3, 2)",
                                      "envmon_drvif_poll_request(Inlet Temp, 1, 3, 2)"}));
  EXPECT_EQ(pem(0, 0).voltage_data.reg_state, 0xf0000100u);
  EXPECT_EQ(pem(0, 0).temp_data.reg_state, 0xf0000100u);
  EXPECT_EQ(pem(0, 0).current_data.reg_state, 0u);
  EXPECT_NE(in.state & ENVMON_SBIT_DRVIF_REG, 0u);
  EXPECT_EQ(pemtest::standin().events, std::vector<uint32_t>{ENVMON_CEB_EV_REG_REQ});
  envmon_drvif_pem_sensors_poll_request(0, 3, ENVMON_POLL_START);
  EXPECT_TRUE(tlg_test_contains("envmon_pem_lib_err",
                                "envmon_drvif_pem_sensors_poll_request: invalid pwr_tray_num 0 or pem_num 3\n"));
}

TEST_F(Driver, FreshConnectForgetsThePollingMarks) {
  make_trays({1, 1});
  envmon_sensor_info& a = add_sensor(0, 0, 29, "Input Voltage");
  envmon_sensor_info& b = add_sensor(1, 0, 29, "Input Voltage");
  a.state |= ENVMON_SBIT_DRVIF_REG;
  b.state |= ENVMON_SBIT_DRVIF_REG;
  envmon_pem_drvif_connect(ENVMON_DRV_FAN);
  EXPECT_NE(a.state & ENVMON_SBIT_DRVIF_REG, 0u);
  envmon_pem_drvif_connect(ENVMON_DRV_POWER);
  EXPECT_EQ(a.state & ENVMON_SBIT_DRVIF_REG, 0u);
  EXPECT_EQ(b.state & ENVMON_SBIT_DRVIF_REG, 0u);
}

TEST_F(Driver, DisconnectMarksPresentPems) {
  struct Case {
    const char* name;
    uint32_t chassis;
    uint32_t role;
    uint32_t driver;
    bool marks;
  };
  const Case cases[] = {
      {"power driver", kChassisType, ENVMON_ROLE_ACTIVE, ENVMON_DRV_POWER, true},
      {"another driver", kChassisType, ENVMON_ROLE_ACTIVE, ENVMON_DRV_FAN, false},
      {"standby on a quiet chassis", 0x6001010B, ENVMON_ROLE_STANDBY, ENVMON_DRV_POWER, false},
      {"active on a quiet chassis", 0x6001010B, ENVMON_ROLE_ACTIVE, ENVMON_DRV_POWER, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    make_trays({2});
    rm.chassis_type = c.chassis;
    rm.svc_role = c.role;
    apply(0, 0, kAcPem);
    pd_power_supplies_data.pem_drvif_reg_done = 1;
    pd_power_supplies_data.all_pem_info_rcvd = 1;
    pm.pwr_tray_drvif_reg_done = 1;
    envmon_pem_drvif_disconnect(c.driver);
    EXPECT_EQ(pem(0, 0).status, c.marks ? (ENVMON_PEM_OK | ENVMON_PEM_PRESENT_BEFORE_CCC_RESTART) : ENVMON_PEM_OK);
    EXPECT_EQ(pem(0, 1).status, 0u);  // never seen: not marked
    EXPECT_EQ(pd_power_supplies_data.pem_drvif_reg_done, c.marks ? 0 : 1);
    EXPECT_EQ(pd_power_supplies_data.all_pem_info_rcvd, c.marks ? 0 : 1);
    EXPECT_EQ(pm.pwr_tray_drvif_reg_done, c.marks ? 0 : 1);
    TearDown();
    SetUp();
  }
}

TEST_F(Driver, RackNumberWaitsForTheTrayRegistration) {
  make_trays({1});
  envmon_pem_send_rack_num_to_driver(3);
  EXPECT_TRUE(pemtest::calls("envmon_drvif_send_rack_num_to_driver").empty());
  EXPECT_TRUE(tlg_test_contains("envmon_pem_lib_pwrm", "Set rack num to PWR DR not done yet, waiting for DRVIF reg done\n"));
  pm.pwr_tray_drvif_reg_done = 1;
  envmon_pem_send_rack_num_to_driver(3);
  EXPECT_EQ(pemtest::calls("envmon_drvif_send_rack_num_to_driver"),
            std::vector<std::string>{"envmon_drvif_send_rack_num_to_driver(2, 3)"});
  rm.pwr_mgmt_data = nullptr;
  envmon_pem_send_rack_num_to_driver(3);
  EXPECT_TRUE(tlg_test_contains("envmon_pem_lib_pwrm", "waiting for pwr mgmt init\n"));
}

TEST_F(Driver, DriverBySlot) {
  make_trays({2});
  EXPECT_EQ(envmon_pem_drvif_get_driver_by_slot(slot(0, 1)), ENVMON_DRV_POWER);
  EXPECT_EQ(envmon_pem_drvif_get_driver_by_slot(7), ENVMON_DRV_ALL);
}

TEST_F(Driver, ControllerRestartAsksAgainForTheInterruptedUpgrade) {
  make_trays({1});
  pem_record& p = pem(0, 0);
  p.num_fpds = 3;
  p.fpds = static_cast<fpd_data*>(calloc(3, sizeof(fpd_data)));
  int handles[3];
  for (int f = 0; f < 3; ++f) {
    std::snprintf(p.fpds[f].name, sizeof p.fpds[f].name, "FPD%d", f);
    p.fpds[f].fpd_out.fpd_hd = &handles[f];
    p.fpds[f].eid.rack = 0xfffe;
    p.fpds[f].eid.slot = static_cast<uint16_t>(slot(0, 0));
    p.fpds[f].eid.level_count = 1;
    p.fpds[f].eid.levels[0] = {9, 35, static_cast<uint16_t>(f + 1)};
  }
  p.fpds[0].state_set = 2;
  p.fpds[0].state = 5;  // not under way
  p.fpds[1].state_set = 2;
  p.fpds[1].state = 3;  // upgrading
  p.fpds[2].state_set = 3;
  envmon_drvif_ccc_restart_pem_fpd_upg_handling(0, 0);
  EXPECT_EQ(pemtest::calls("envmon_drvif_get_fpd_info"),
            std::vector<std::string>{"envmon_drvif_get_fpd_info(65534/580 9/35/1, 580)"});
  EXPECT_EQ(pemtest::calls("envmon_drvif_request_fpd_upd"),
            std::vector<std::string>{"envmon_drvif_request_fpd_upd(2, FPD1)"});
  char hd[32];
  std::snprintf(hd, sizeof hd, "%p", static_cast<void*>(&handles[1]));
  EXPECT_EQ(fpd_drv_test_calls(), std::vector<std::string>{std::string("extend(") + hd + ",1500)"});
}

}  // namespace

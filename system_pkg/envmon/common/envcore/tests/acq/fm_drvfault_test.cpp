// Driver fault processing: the voltage alarms of board and PEM voltage
// sensors, the card shutdown after a critical raise, and the power-tray,
// IDPROM and undetected-hardware faults, as the fault manager receives them.
#include <string.h>

#include "acq_fixture.h"
#include "alarmd_test.h"
#include "qyx_sysctl.h"
#include "tlg_test.h"

namespace {

constexpr char kVoltageSupport[] = "tolvu.zul.qyx.platform.psu.voltage_sensor_support";

// What the fault manager received since the last look: "+4" raise of alarm id
// 4 (tag and level give the id back), "-1" clear, "shut" card shutdown.
struct Seen {
  size_t from = 0;
  std::vector<std::string> next() {
    std::vector<std::string> out;
    const auto d = alarmd_test_declarations();
    for (size_t i = from; i < d.size(); ++i) {
      if (d[i].category == 10) {
        out.push_back("shut");
        continue;
      }
      // Tags 29/3 are the first group (ids 1-3), 28/2 the second (4-6).
      const bool first = d[i].tag == 29 || d[i].tag == 3;
      const int id = (first ? 1 : 4) + (5 - d[i].alarm_level);
      out.push_back((d[i].state == 1 ? "+" : "-") + std::to_string(id));
    }
    from = d.size();
    return out;
  }
};

class DrvFault : public AcqFixture {
 protected:
  void SetUp() override {
    AcqFixture::SetUp();
    set_location("0/RP0");
    register_fm();
    qyx_sysctl_set(kVoltageSupport, nullptr);
  }
  void TearDown() override {
    qyx_sysctl_set(kVoltageSupport, nullptr);
    AcqFixture::TearDown();
  }
  Seen seen;
};

using Steps = std::vector<std::pair<uint32_t, std::vector<std::string>>>;

TEST_F(DrvFault, BoardVoltageAlarmsFollowTheFaultBits) {
  envmon_sensor_info* s = fill_list(&envmon_rm->fantray_cb[0].voltage_data, 41, 29, {"VP12"});
  struct Case {
    const char* name;
    Steps steps;  // fault bits and what is declared for them
    uint32_t pd_state;
  };
  const Case cases[] = {
      {"critical and minor of the second group raise only the critical",
       {{0x44, {"+4", "shut"}}, {0x40, {"-4", "+6"}}},
       0x40},
      {"a major report clears the critical and raises the major",
       {{0x4, {"+4", "shut"}}, {0x10, {"-4", "+5"}}},
       0x20},
      {"weaker raised alarms stay when a stronger one comes",
       {{0x40, {"+6"}}, {0x10, {"+5"}}, {0x4, {"+4", "shut"}}},
       0x70},
      {"both groups, the strongest bit of each", {{0x26, {"+4", "shut", "+1", "shut"}}}, 0x12},
      {"no bits clear everything raised, the second group first",
       {{0x42, {"+6", "+1", "shut"}}, {0x0, {"-6", "-1"}}},
       0x0},
      {"the same bits again raise nothing", {{0x8, {"+2"}}, {0x8, {}}}, 0x4},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    s->pd_state = 0;
    seen.next();
    for (const auto& [bits, expected] : c.steps) {
      envmon_process_drvif_volt_fault(&s->eid, bits, 1);
      EXPECT_EQ(seen.next(), expected) << "bits 0x" << std::hex << bits;
    }
    EXPECT_EQ(s->pd_state, c.pd_state);
    envmon_process_drvif_volt_fault(&s->eid, 0, 1);
    seen.next();
  }
  // A critical raise of a fan tray's sensor asks for the tray's slot to be shut.
  bool shut_41 = false;
  for (const auto& d : alarmd_test_declarations())
    if (d.category == 10 && d.eid == std::to_string(rack) + "/" + std::to_string(6 << 8) + " 5/2/0")
      shut_41 = true;
  EXPECT_TRUE(shut_41);
  // Each report pushes the sensor's value to inventory.
  EXPECT_FALSE(acq_calls("envmon_inv_invreg_volt_sensor_update(").empty());
}

TEST_F(DrvFault, UnknownSensorChangesNothing) {
  pelm_eid eid = acq_sensor_eid(42, 29, 9);
  envmon_process_drvif_volt_fault(&eid, 0x2, 1);
  EXPECT_TRUE(alarmd_test_declarations().empty());
  EXPECT_TRUE(acq_calls("envmon_inv_invreg_volt_sensor_update(").empty());
  EXPECT_TRUE(tlg_test_contains("envmon_cmn_err", "unable to find EID "));
  envmon_free_tsi(&eid);
}

TEST_F(DrvFault, SensorsOfOtherSlotsComeFromThePlatform) {
  envmon_sensor_list list{};
  envmon_sensor_info* s = fill_list(&list, 48, 29, {"PM0_VOUT"});
  acq_standin().hal_volt_lists[48] = &list;
  pelm_eid cont = acq_eid(0, 48, {{5, kContPowerTray, 0}});
  acq_standin().hal_locations[48] = {"0/PM0", &cont, nullptr};
  envmon_process_drvif_volt_fault(&s->eid, 0x20, 1);
  EXPECT_EQ(seen.next(), std::vector<std::string>{"+3"});
  EXPECT_EQ(alarmd_test_declarations().back().location, "0/PM0");
  envmon_free_tsi(&s->eid);
  free(list.sensors);
  envmon_free_tsi(&cont);
}

TEST_F(DrvFault, CriticalRaiseInNodeScopeShutsThisCardDown) {
  envmon_sensor_info* s = fill_list(&envmon_nm->voltage_data, 0xfffe, 29, {"VP0P9_CORE"});
  envmon_process_drvif_volt_fault(&s->eid, 0x2, 3);
  EXPECT_EQ(seen.next(), (std::vector<std::string>{"+1", "shut"}));
  const auto shut = alarmd_test_declarations().back();
  EXPECT_EQ(shut.tag, 100u);
  EXPECT_EQ(shut.alarm_level, 5);
  EXPECT_EQ(shut.description, "Requesting shutdown due to critical voltage alarm");
  // The shutdown names this card's backplane slot (route processor 0).
  EXPECT_EQ(shut.eid, std::to_string(rack) + "/256 5/2/0");
  // Clearing asks for nothing more.
  envmon_process_drvif_volt_fault(&s->eid, 0x0, 3);
  EXPECT_EQ(seen.next(), std::vector<std::string>{"-1"});
  // A raise the fault manager refuses still shuts the card.
  alarmd_test_fail_next("declare", 1);
  envmon_process_drvif_volt_fault(&s->eid, 0x4, 3);
  EXPECT_EQ(seen.next(), std::vector<std::string>{"shut"});
}

TEST_F(DrvFault, InvalidAlarmIdsAreIgnored) {
  pelm_eid eid = acq_sensor_eid(41, 29, 1);
  envmon_report_volt_alm(&eid, 0, 1, 1, "x");
  envmon_report_volt_alm(&eid, 7, 1, 1, "x");
  envmon_report_pem_volt_alm(&eid, 7, 1, 1, 12000, "x");
  EXPECT_TRUE(alarmd_test_declarations().empty());
  EXPECT_TRUE(tlg_test_contains("envmon_cmn_err", "envmon_report_volt_alm: invalid alarm ID 7\n"));
  envmon_free_tsi(&eid);
}

TEST_F(DrvFault, StrongestBitGivesTheAlarmId) {
  const std::pair<uint32_t, uint32_t> cases[] = {{0x0, 0},  {0x2, 1},  {0x8, 2},  {0x20, 3},
                                                 {0x4, 4},  {0x10, 5}, {0x40, 6}, {0x46, 4},
                                                 {0x2a, 1}, {0x50, 5}, {0x60, 6}, {0x1, 0}};
  for (const auto& [bits, id] : cases) EXPECT_EQ(envmon_hw_fault_to_volt_fault(bits), id) << bits;
}

TEST_F(DrvFault, PemVoltageAlarmsChangeWithTheStrongestBit) {
  acq_standin().pem_slots[48] = {0, 0};
  envmon_sensor_list list{};
  envmon_sensor_info* s = fill_list(&list, 48, 29, {"Input Voltage"});
  // The PEM's sensors are found through the platform's sensor lists.
  acq_standin().hal_lists[{48, 29}] = &list;
  pelm_eid cont = acq_eid(0, 48, {{5, kContPowerTray, 0}});
  acq_standin().hal_locations[48] = {"0/PM0", &cont, nullptr};

  // With the platform property off nothing happens.
  envmon_process_drvif_pem_volt_fault(&s->eid, 12000, 0x4, 1);
  EXPECT_TRUE(alarmd_test_declarations().empty());

  qyx_sysctl_set(kVoltageSupport, "true");
  const Steps steps = {
      {0x4, {"+4"}},           // second group critical
      {0x2, {"-4", "+1"}},     // to the first group: the old one is cleared first
      {0x8, {"+2"}},           // within a group: raised without clearing
      {0x8, {}},               // unchanged: nothing, no inventory push
      {0x0, {"-2"}},
  };
  size_t pushes = acq_calls("envmon_inv_invreg_volt_sensor_update(").size();
  for (const auto& [bits, expected] : steps) {
    SCOPED_TRACE(bits);
    envmon_process_drvif_pem_volt_fault(&s->eid, 11900, bits, 1);
    EXPECT_EQ(seen.next(), expected);
    const size_t now = acq_calls("envmon_inv_invreg_volt_sensor_update(").size();
    EXPECT_EQ(now - pushes, expected.empty() ? 0u : 1u);
    pushes = now;
  }
  const auto d = alarmd_test_declarations();
  EXPECT_EQ(d[0].description, "Input Voltage has crossed a critical threshold, Current voltage: 11.90 V");
  EXPECT_EQ(d[1].description, "Input Voltage has cleared a critical threshold, Current voltage: 11.90 V");
  EXPECT_EQ(d[3].description, "Input Voltage has crossed a major threshold, Current voltage: 11.90 V");
  EXPECT_EQ(d[0].name, "Input Voltage");
  // A critical PEM alarm asks for no card shutdown.
  for (const auto& x : d) EXPECT_NE(x.category, 10u);
  // A slot that holds no PEM is refused.
  pelm_eid other = acq_sensor_eid(41, 29, 1);
  envmon_process_drvif_pem_volt_fault(&other, 1, 0x4, 1);
  EXPECT_TRUE(tlg_test_contains("envmon_cmn_err", "envmon_process_drvif_pem_volt_fault: Invalid PEM Slot 41\n"));
  envmon_free_tsi(&other);
  envmon_free_tsi(&s->eid);
  free(list.sensors);
  envmon_free_tsi(&cont);
}

TEST_F(DrvFault, IdpromAndUndetectedHardwareFaults) {
  pelm_eid pt = acq_eid(0xfffe, 30, {});
  pelm_eid cont = acq_eid(0, 30, {{5, kContPowerTray, 0}});
  acq_standin().hal_locations[30] = {"0/PT0", &cont, nullptr};
  envmon_process_drvif_idprom_access_fault(&pt, 0, "PT0 IDPROM unreadable", 1);
  envmon_process_drvif_idprom_access_fault(&pt, 0, "ignored on clear", 2);
  envmon_process_drvif_hw_undetected_fault(&pt, 1, 1);
  const auto d = alarmd_test_declarations();
  ASSERT_EQ(d.size(), 3u);
  EXPECT_EQ(d[0].category, 15u);
  EXPECT_EQ(d[0].tag, 42u);
  EXPECT_EQ(d[0].state, 1);
  EXPECT_EQ(d[0].description, "PT0 IDPROM unreadable");
  EXPECT_EQ(d[1].state, 2);
  EXPECT_EQ(d[1].description, "");
  EXPECT_EQ(d[2].tag, 53u);
  EXPECT_EQ(d[2].alarm_level, 4);
  EXPECT_EQ(d[2].description, "Power Tray 30");
  EXPECT_EQ(d[2].name, "Power Tray 30");
  envmon_free_tsi(&cont);
}

TEST_F(DrvFault, PowerTrayInsertionAndRemovalAreBothRaised) {
  tray_budgets.assign(1, envmon_pwr_tray_budget{});
  tray_budgets[0].eid = acq_eid(0xfffe, 30, {});
  pm.envmon_pwr_tray_data = tray_budgets.data();
  envmon_rm->pwr_tray_count = 1;
  pelm_eid cont = acq_eid(0, 30, {{5, kContPowerTray, 0}});
  acq_standin().hal_locations[30] = {"0/PT0", &cont, nullptr};
  envmon_report_powertray_oir_alm(0, 1);
  envmon_report_powertray_oir_alm(0, 0);
  envmon_report_powertray_oir_alm(1, 0);  // no such tray
  const auto d = alarmd_test_declarations();
  ASSERT_EQ(d.size(), 2u);
  EXPECT_EQ(d[0].category, 1u);
  EXPECT_EQ(d[0].state, 1);
  EXPECT_EQ(d[1].state, 1);
  EXPECT_EQ(d[0].tag, 7u);
  EXPECT_EQ(d[1].tag, 8u);
  EXPECT_EQ(d[0].alarm_scope, 1);
  envmon_free_tsi(&cont);
}

}  // namespace

// Fault declaration: registration per scope, the location text and fully
// qualified entity id of each slot class, hidden sensors, deferral before the
// location is known, shutdown requests and refused requests; checked on what
// the fault manager model received.
#include <string.h>

#include "acq_fixture.h"
#include "alarmd_test.h"
#include "envmon_fm_private.h"
#include "tlg_test.h"

namespace {

bool fault_traced(const std::string& text) { return tlg_test_contains("envmon_cmn_fault", text); }
bool err_traced(const std::string& text) { return tlg_test_contains("envmon_cmn_err", text); }

// A fault request around one entity id, as the callers build it.
struct Fault {
  alarmd_fault_data data;
  envmon_fm_fault_req req;
  explicit Fault(pelm_eid* eid, int32_t state = 1, uint16_t level = 4, uint32_t type = 14,
                 uint32_t tag = 28) {
    memset(&req, 0, sizeof(req));
    alarmd_fault_data_init(&data);
    data.eid = eid;
    data.state = state;
    data.alarm_level = level;
    data.description = "Voltage out of range";
    data.name = "VP1P0";
    req.fault_data = &data;
    req.fault_type = type;
    req.fault_tag = tag;
  }
};

class FmDeclare : public AcqFixture {};

TEST_F(FmDeclare, RegistersEachScopeOnceWithThePlatformTable) {
  set_location("0/RP0");
  register_fm();
  const auto regs = alarmd_test_registrations();
  ASSERT_EQ(regs.size(), 2u);
  EXPECT_EQ(regs[0].component, "envmon");
  EXPECT_EQ(regs[0].facility, 0x14deu);
  EXPECT_EQ(regs[0].fault_table, "standin_nm_fm.xml");
  EXPECT_EQ(regs[1].fault_table, "standin_rm_fm.xml");
  EXPECT_EQ(regs[0].location, "0/RP0");
  EXPECT_TRUE(regs[0].has_action_handler && regs[0].has_error_handler);
  // The fault-manager library is initialised once for the process.
  const auto calls = alarmd_test_calls();
  EXPECT_EQ(std::count(calls.begin(), calls.end(), "init(envmon)"), 1);
  EXPECT_EQ(envmon_nm->fm_node_entry, &envmon_fm_cb[0]);
  EXPECT_EQ(envmon_rm->fm_rack_entry, &envmon_fm_cb[1]);
  EXPECT_TRUE(acq_called("envmon_hal_fm_nm_set_repeatable"));
  EXPECT_TRUE(acq_called("envmon_hal_fm_rm_set_repeatable"));
  // A second start-up pass leaves the one registration.
  EXPECT_EQ(envmon_fm_init(ENVMON_SCOPE_RACK, loop), ENVMON_OK);
  EXPECT_EQ(alarmd_test_registrations().size(), 2u);
}

TEST_F(FmDeclare, DefaultTablesWithoutPlatformTablesAndFailuresReturned) {
  acq_standin().platform_fm_table = false;
  alarmd_test_fail_next("register", 0x55);
  EXPECT_EQ(envmon_fm_init(7, loop), 0x55u);
  EXPECT_EQ(envmon_fm_cb[1].state, 0u);
  EXPECT_TRUE(err_traced("alarmd_register[1]:rc=85\n"));
  EXPECT_EQ(envmon_fm_init(7, loop), ENVMON_OK);
  ASSERT_EQ(alarmd_test_registrations().size(), 1u);
  EXPECT_EQ(alarmd_test_registrations()[0].fault_table, "envmon_rm_fm.xml");
  EXPECT_TRUE(fault_traced("platform fm lib should be provided.\n"));
}

TEST_F(FmDeclare, AlarmdInitFailureEndsRegistration) {
  alarmd_test_fail_next("init", 0x21);
  EXPECT_EQ(envmon_fm_init(ENVMON_SCOPE_NODE, loop), 0x21u);
  EXPECT_TRUE(alarmd_test_registrations().empty());
  EXPECT_TRUE(err_traced("alarmd_init: error=33\n"));
}

// Where each kind of fault ends up once this card's location is known.
TEST_F(FmDeclare, LocationAndQualifiedIdPerSlotClass) {
  set_location("0/RP0");
  register_fm();
  pelm_eid pem_cont = acq_eid(0, 48, {{5, kContPowerTray, 0}});
  pelm_eid pem_extra = acq_eid(0, 48, {{9, 7, 1}});
  acq_standin().hal_locations[48] = {"0/PM0", &pem_cont, &pem_extra};
  struct Case {
    const char* name;
    int32_t scope;
    uint32_t slot;
    std::initializer_list<pelm_tsi> levels;
    const char* fq;        // as the fault manager keeps it
    const char* location;
  };
  const std::string r = std::to_string(rack);
  const Case cases[] = {
      {"own sensor, node scope", 3, 0xfffe, {{8, 29, 1}}, "/0 5/2/0 8/29/1", "0/RP0"},
      {"port adapter of a route processor, node scope", 3, kMpaSlot, {{8, 25, 2}}, "/0 5/2/0 8/25/2",
       "0/RP0"},
      {"fan tray", 1, 42, {{8, 8, 3}}, "/42 5/5/1 8/8/3", "0/FT1"},
      {"fabric card", 1, 5, {{8, 25, 1}}, "/5 5/4/1 8/25/1", "0/FC1"},
      {"line card", 1, 11, {{8, 25, 1}}, "/11 5/1/1 8/25/1", "0/1"},
      {"power module located by the platform", 1, 48, {{8, 29, 4}}, "/48 5/7/0 9/7/1 8/29/4",
       "0/PM0"},
      {"port adapter, rack scope", 1, kMpaSlot + 16, {{8, 25, 1}}, "/528 6/63/1 8/25/1",
       "0/RP0/MPA1"},
      {"this card, rack scope", 1, kOwnSlot, {{8, 25, 1}}, "/0 5/2/0 8/25/1", "0/RP0"},
      {"chassis level, first level dropped", 1, 0xfffe, {{3, 1, 0}, {9, 2, 1}, {8, 25, 7}},
       "/65534 3/1/0 9/2/1 8/25/7", "0"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const size_t before = alarmd_test_declarations().size();
    pelm_eid eid = acq_eid(0xfffe, c.slot, c.levels);
    pelm_tsi* levels = eid.tsi;
    Fault f(&eid);
    ASSERT_EQ(envmon_fm_fault_report(c.scope, &f.req), ENVMON_OK);
    // The caller's record is the caller's again, untouched.
    EXPECT_EQ(f.data.eid, &eid);
    EXPECT_EQ(eid.tsi, levels);
    EXPECT_EQ(eid.tsi_count, c.levels.size());
    const auto d = alarmd_test_declarations();
    ASSERT_EQ(d.size(), before + 1);
    EXPECT_EQ(d.back().eid, r + c.fq);
    EXPECT_EQ(d.back().owner, r + c.fq);
    EXPECT_EQ(d.back().location, c.location);
    EXPECT_EQ(d.back().pending, 0);
    EXPECT_EQ(d.back().alarm_scope, c.scope == 3 ? 3 : 1);
    EXPECT_EQ(d.back().category, 14u);
    EXPECT_EQ(d.back().tag, 28u);
    EXPECT_EQ(d.back().description2, "Voltage out of range");
    EXPECT_EQ(d.back().description3, "Voltage out of range");
    EXPECT_NE(d.back().timestamp, 0u);
    envmon_free_tsi(&eid);
  }
  envmon_free_tsi(&pem_cont);
  envmon_free_tsi(&pem_extra);
}

TEST_F(FmDeclare, AnyScopeButNodeIsRackScope) {
  set_location("0/RP0");
  register_fm();
  pelm_eid eid = acq_sensor_eid(41, 25, 1);
  Fault f(&eid);
  ASSERT_EQ(envmon_fm_fault_report(0, &f.req), ENVMON_OK);
  ASSERT_EQ(envmon_fm_fault_report(2, &f.req), ENVMON_OK);
  const auto d = alarmd_test_declarations();
  ASSERT_EQ(d.size(), 2u);
  for (const auto& x : d) {
    EXPECT_EQ(x.handle, envmon_fm_cb[1].handle);
    EXPECT_EQ(x.alarm_scope, 1);
    EXPECT_EQ(x.location, "0/FT0");
  }
  envmon_free_tsi(&eid);
}

TEST_F(FmDeclare, PowerModuleFaultsCarryTheirTraysSyslogLocation) {
  set_location("0/RP0");
  register_fm();
  pelm_eid pem_cont = acq_eid(0, 48, {{5, kContPowerTray, 0}});
  acq_standin().hal_locations[48] = {"0/PM0", &pem_cont, nullptr};
  acq_standin().pem_slots[48] = {0, 0};
  tray_budgets.assign(1, envmon_pwr_tray_budget{});
  snprintf(tray_budgets[0].loc_str, sizeof(tray_budgets[0].loc_str), "0/PT0");
  pm.envmon_pwr_tray_data = tray_budgets.data();
  pelm_eid eid = acq_sensor_eid(48, 29, 1);
  Fault f(&eid);
  ASSERT_EQ(envmon_fm_fault_report(1, &f.req), ENVMON_OK);
  EXPECT_EQ(alarmd_test_declarations().back().location, "0/PM0");
  EXPECT_EQ(alarmd_test_declarations().back().syslog_location, "0/PT0");
  envmon_free_tsi(&eid);
  envmon_free_tsi(&pem_cont);
}

TEST_F(FmDeclare, HiddenSensorIsDeclaredAsClear) {
  set_location("0/RP0");
  register_fm();
  fill_list(&envmon_nm->voltage_data, 0xfffe, 29, {"VP1P0", "HIDDEN_VP3P3"});
  acq_standin().hidden_names = {"HIDDEN"};
  Fault f(&envmon_nm->voltage_data.sensors[1].eid, 1);
  ASSERT_EQ(envmon_fm_fault_report(3, &f.req), ENVMON_OK);
  EXPECT_EQ(alarmd_test_declarations().back().state, 2);
  EXPECT_TRUE(fault_traced("envmon_fm_fault_report: Sensor : HIDDEN_VP3P3 is Hide\n"));
  Fault g(&envmon_nm->voltage_data.sensors[0].eid, 1);
  ASSERT_EQ(envmon_fm_fault_report(3, &g.req), ENVMON_OK);
  EXPECT_EQ(alarmd_test_declarations().back().state, 1);
}

TEST_F(FmDeclare, RefusedRequests) {
  pelm_eid eid = acq_sensor_eid(41, 25, 1);
  Fault before_registration(&eid);
  EXPECT_EQ(envmon_fm_fault_report(1, &before_registration.req), ENVMON_ERR_INVALID_ARG);
  EXPECT_TRUE(err_traced("FM infra is not ready:hndl=0x(nil), state=0\n"));
  set_location("0/RP0");
  register_fm();
  EXPECT_EQ(envmon_fm_fault_report(1, nullptr), ENVMON_ERR_INVALID_ARG);
  EXPECT_TRUE(err_traced("Null info\n"));
  struct Case {
    const char* name;
    int32_t state;
    uint16_t level;
    bool no_eid;
  };
  const Case cases[] = {{"state 0", 0, 4, false},
                        {"state 4", 4, 4, false},
                        {"level 6", 1, 6, false},
                        {"no entity", 1, 4, true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Fault f(c.no_eid ? nullptr : &eid, c.state, c.level);
    EXPECT_EQ(envmon_fm_fault_report(1, &f.req), ENVMON_ERR_INVALID_ARG);
  }
  EXPECT_TRUE(err_traced("Invalid parameter(s):eid=0x(nil), state=1alarm_lvl=4\n"));
  EXPECT_TRUE(alarmd_test_declarations().empty());
  envmon_free_tsi(&eid);
}

TEST_F(FmDeclare, LineCardOutsideTheLineCardTableIsRefused) {
  set_location("0/RP0");
  register_fm();
  // Backplane slot 25 is the sixteenth line card; the chassis has four.
  pelm_eid eid = acq_sensor_eid(25, 25, 1);
  Fault f(&eid);
  EXPECT_EQ(envmon_fm_fault_report(1, &f.req), ENVMON_ERR_INVALID_ARG);
  EXPECT_TRUE(err_traced("slot_td 15 not for LC\n"));
  EXPECT_TRUE(alarmd_test_declarations().empty());
  EXPECT_EQ(f.data.eid, &eid);
  // A slot no backplane position matches ends with the node-id library's code.
  pelm_eid nowhere = acq_sensor_eid(40, 25, 1);
  Fault g(&nowhere);
  EXPECT_EQ(envmon_fm_fault_report(1, &g.req), 22u);
  EXPECT_TRUE(err_traced("Failed to get PI slot=40: rc=0x16\n"));
  envmon_free_tsi(&eid);
  envmon_free_tsi(&nowhere);
}

TEST_F(FmDeclare, UnbuildableLocationReadsUnknown) {
  set_location("0/RP0");
  register_fm();
  envmon_rm->chassis_type = 0x909e2;  // switch-card locations are built on this chassis
  pelm_eid eid = acq_sensor_eid(kSwitchSlots[1], 25, 1);
  Fault f(&eid);
  ASSERT_EQ(envmon_fm_fault_report(1, &f.req), ENVMON_OK);
  EXPECT_EQ(alarmd_test_declarations().back().location, "unknown");
  EXPECT_EQ(alarmd_test_declarations().back().eid, std::to_string(rack) + "/27 5/20/1 8/25/1");
  envmon_free_tsi(&eid);
}

TEST_F(FmDeclare, ShutdownRequestsNameTheBackplaneSlot) {
  set_location("0/RP0");
  register_fm();
  // Card shutdown: the declared entity's slot is the backplane position of the card.
  pelm_eid fru{};
  envmon_setup_fru_eid(kFabricSlots[2], &fru);
  Fault card(&fru, 1, 5, 10, 100);
  card.req.shutdown_action = 2;
  ASSERT_EQ(envmon_fm_fault_report(1, &card.req), ENVMON_OK);
  EXPECT_EQ(alarmd_test_declarations().back().eid, std::to_string(rack) + "/" +
                                                       std::to_string((3 << 8) | 2) + " 5/4/2");
  // A card the backplane does not know is not shut.
  pelm_eid lost{};
  envmon_setup_fru_eid(40, &lost);
  acq_standin().hal_locations[40] = {"0/X", nullptr, nullptr};
  pelm_eid cont = acq_eid(0, 40, {{5, 1, 9}});
  acq_standin().hal_locations[40].container = &cont;
  Fault lost_card(&lost, 1, 5, 10, 100);
  lost_card.req.shutdown_action = 2;
  const size_t declared = alarmd_test_declarations().size();
  EXPECT_EQ(envmon_fm_fault_report(1, &lost_card.req), 22u);
  EXPECT_EQ(alarmd_test_declarations().size(), declared);
  EXPECT_EQ(lost_card.data.eid, &lost);
  // Chassis shutdown: this card's backplane slot; 16 when it cannot be had.
  pelm_eid chassis = acq_eid(0xfffe, 0xfffe, {{3, 1, 0}});
  Fault whole(&chassis, 1, 5, 16, 4);
  whole.req.shutdown_action = 1;
  ASSERT_EQ(envmon_fm_fault_report(1, &whole.req), ENVMON_OK);
  EXPECT_EQ(alarmd_test_declarations().back().eid, std::to_string(rack) + "/256 3/1/0");
  envmon_nm->slot_num = 40;
  ASSERT_EQ(envmon_fm_fault_report(1, &whole.req), ENVMON_OK);
  EXPECT_EQ(alarmd_test_declarations().back().eid, std::to_string(rack) + "/16 3/1/0");
  EXPECT_TRUE(tlg_test_contains("envmon_cmn_main",
                                "envmon_fm_fault_report: Shutdown chassis: rack_num=0, pi_slot=16\n"));
  envmon_free_tsi(&cont);
  envmon_free_tsi(&chassis);
}

TEST_F(FmDeclare, DeclareFailureIsReturned) {
  set_location("0/RP0");
  register_fm();
  pelm_eid eid = acq_sensor_eid(41, 25, 1);
  Fault f(&eid);
  alarmd_test_fail_next("declare", 0x4010);
  EXPECT_EQ(envmon_fm_fault_report(1, &f.req), 0x4010u);
  EXPECT_TRUE(err_traced("Failed to declare fault(28:0xe0000001c):rc=0x4010\n"));
  EXPECT_EQ(f.data.eid, &eid);
  envmon_free_tsi(&eid);
}

}  // namespace

// Fan-tray insertion through the fan driver's entity data: identity and
// IDPROM, the tray's inventory description read into its sensor lists and FPD
// records, FRU registration and the fan and power managers told; a tray no
// description fits goes to syslog instead. Clean-up of a tray's records.
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "drvif_fixture.h"
#include "envmon_syslog.h"
#include "fpd_drv_test.h"
#include "nodeid.h"
#include "simsvc.h"
#include "tlg_test.h"
#include "zul_errmsg.h"
#include "zul_errmsg_wire.h"

namespace {

bool main_traced(const std::string& t) { return tlg_test_contains("envmon_cmn_main", t); }
bool err_traced(const std::string& t) { return tlg_test_contains("envmon_cmn_err", t); }

// A description of the 4-slot tray without current, power or FPGA entities.
constexpr char kSmallTray[] = R"(<?xml version="1.0"?>
<inventory poll_rate="10">
  <entity type="5" subtype="5" instance="1" name="FT" root="1"/>
  <entity tsi="5/5/1 9/38/1" name="FT-IDPROM" category="6"/>
  <entity tsi="5/5/1 8/25/1" name="Inlet" driver="1" scale="9" precision="0"
          crit_lo="-10" crit_hi="70" maj_lo="-5" maj_hi="65" min_lo="0" min_hi="60"/>
  <entity tsi="5/5/1 8/29/1" name="VP12P0" driver="1" scale="8" precision="0"
          crit_lo="10800" crit_hi="13200" maj_lo="11160" maj_hi="12840" min_lo="11400" min_hi="12600"/>
  <entity tsi="5/5/1 8/8/1" name="Fan 0" driver="1" scale="9" precision="0"
          crit_lo="0" crit_hi="20000" maj_lo="1000" maj_hi="18000" min_lo="2000" min_hi="16000"/>
  <entity tsi="5/5/1 8/13/1" name="Fan Tray LED" driver="1"/>
</inventory>
)";

// The installed descriptions, under a root of this test program: the 8-slot
// tray's as the simulator ships it, the 4-slot one written above.
const std::string& test_root() {
  // Kept until the handler that removes it has run.
  static const std::string* root = new std::string([] {
    char tmpl[] = "/tmp/envmon_fantray_XXXXXX";
    const char* made = mkdtemp(tmpl);
    std::string r = made ? made : "";
    std::string dir = r;
    for (const char* part : {"/opt", "/tolvu", "/pelmarok", "/usr", "/xml"}) {
      dir += part;
      mkdir(dir.c_str(), 0755);
    }
    std::ifstream in(std::string(SIM_XML_DIR) + "/moduleTavrinFan2_8slot.xml");
    std::stringstream all;
    all << in.rdbuf();
    std::ofstream(dir + "/moduleTavrinFan2_8slot.xml") << all.str();
    std::ofstream(dir + "/moduleTavrinFan2_4slot.xml") << kSmallTray;
    return r;
  }());
  static const bool removed_at_exit = atexit([] { std::filesystem::remove_all(*root); }) == 0;
  (void)removed_at_exit;
  return *root;
}

// The syslog service, served on the test's loop: the lines that reached it.
class SyslogService {
 public:
  explicit SyslogService(evloop_t* loop) {
    std::string error;
    server_ = simsvc::Server::create(loop, 0x7f000001u, simsvc::own_instance(), &error);
    EXPECT_NE(server_, nullptr) << error;
    if (!server_) return;
    simsvc::Server::Handler h;
    h.message = [this](simsvc::Peer&, const simsvc::Message& m, uint32_t, int32_t, void* payload) {
      if (m.id != syslog_wire::kLog) return;
      const auto* r = static_cast<const zul_log_msg*>(payload);
      lines.push_back(std::to_string(r->severity) + " " + std::to_string(r->code) + " " +
                      (r->text ? r->text : ""));
    };
    server_->add(&syslog_wire::kService, std::move(h));
    server_->publish();
  }
  std::vector<std::string> lines;

 private:
  std::unique_ptr<simsvc::Server> server_;
};

class FanTray : public DrvifFixture {
 protected:
  void SetUp() override {
    setenv("ENVMON_ROOT", test_root().c_str(), 1);
    DrvifFixture::SetUp();
    frus.assign(acq_standin().max_inv_slots, envmon_fru_obj{});
    envmon_rm->fru_objs_lst = frus.data();
    for (uint32_t slot : kFanTraySlots)
      ASSERT_EQ(nodeid_create(rack, static_cast<int32_t>(slot), 0, &frus[slot].nodeid), 0);
    acq_standin().idprom_pid = "TV-FAN2-8";
  }
  void TearDown() override {
    for (auto& r : owned) envmon_free_tsi(&r);
    for (uint32_t t = 0; t < 3; ++t) envmon_rm_fan_cb_cleanup(t);
    for (auto& f : frus) nodeid_destroy(f.nodeid);
    envmon_rm->fru_objs_lst = nullptr;
    DrvifFixture::TearDown();
  }
  std::string location(uint32_t slot) {
    char text[32] = "";
    EXPECT_EQ(nodeid_to_str_external(frus[slot].nodeid, text, sizeof(text)), 0);
    return text;
  }
  // A presence report of the tray in `slot`.
  drvif_eid_data_rec present(uint32_t slot, uint32_t pd_type, uint32_t idprom_len = 64) {
    drvif_eid_data_rec r{};
    r.eid = acq_eid(0xfffe, slot, {{5, 5, static_cast<uint16_t>(slot - 41)}, {6, 6, 1}});
    owned.push_back(r.eid);
    r.board_id = 0x4a1;
    r.serial = const_cast<char*>("FTS0042");
    r.state = 0x1;
    r.warning = 0x2;
    idprom.assign(idprom_len, 0);
    for (uint32_t i = 0; i < idprom_len; ++i) idprom[i] = static_cast<uint8_t>(i + 1);
    r.idprom = idprom.data();
    r.idprom_len = idprom_len;
    r.hw_major = 1;
    r.hw_minor = 2;
    r.aux = pd_type;
    r.present[0] = 0x1 | 0x2 | 0x4 | 0x8 | 0x20 | 0x40;
    r.present[1] = 0x4 | 0x8 | 0x10;
    return r;
  }
  void insert(FakeDriver& fan, const drvif_eid_data_rec& r) {
    acq_clear_calls();
    ASSERT_EQ(fan.notify_eid({r}), 0);
    settle([&] { return !acq_calls("entity_complete").empty(); });
  }
  static std::vector<std::string> names(const envmon_sensor_list& l) {
    std::vector<std::string> out;
    for (uint16_t i = 0; i < l.count; ++i) out.push_back(l.sensors[i].name);
    return out;
  }
  std::vector<envmon_fru_obj> frus;
  std::vector<pelm_eid> owned;
  std::vector<uint8_t> idprom;
};

TEST_F(FanTray, InsertionReadsTheDescriptionAndRegistersTheTray) {
  FakeDriver& fan = start(1, ENVMON_SCOPE_RACK);
  fantray_cb& ft = envmon_rm->fantray_cb[1];
  ft.flags = 0x10 | 0x2;
  const drvif_eid_data_rec r = present(42, 0xab040002, 300);
  insert(fan, r);
  EXPECT_TRUE(main_traced("envmon_drvif_notify_eid_data_cb(): FAN Event: Slot 42:Present:board Id 0x4a1\n\n"));
  EXPECT_TRUE(main_traced("envmon_drvif_notify_eid_data_cb(): OIR in  \n\n"));
  EXPECT_EQ(ft.board_id, 0x4a1u);
  EXPECT_EQ(ft.pd_type, 0xab040002u);
  EXPECT_EQ(ft.hw_warning, 0x2u);
  // The IDPROM is cut to the platform's size before the PID is read from it.
  EXPECT_EQ(ft.eeprom_len, 256u);
  EXPECT_EQ(ft.eeprom[0], 1);
  EXPECT_EQ(ft.eeprom[255], 0);  // byte 256 of the image is 0x00 (256 & 0xff)
  EXPECT_EQ(ft.eeprom[254], 255);
  EXPECT_TRUE(acq_called("envmon_hal_idprom_get_pid(256)"));
  EXPECT_STREQ(ft.pid, "TV-FAN2-8");
  EXPECT_EQ(acq_eid_text(&ft.ceid), "65534/42 TSI: 5/5/1 6/6/1");
  // The sensor lists of the description, named by the tray's slot.
  EXPECT_EQ(names(ft.temp_data), std::vector<std::string>{"Fan Tray Temp"});
  EXPECT_EQ(names(ft.voltage_data), std::vector<std::string>{"VP12P0 Hot_Swap"});
  EXPECT_EQ(names(ft.current_data), std::vector<std::string>{"Hot_Swap Current"});
  EXPECT_EQ(names(ft.power_data), std::vector<std::string>{"Fan Tray Power"});
  EXPECT_EQ(names(ft.fan_data), (std::vector<std::string>{"Fan 0", "Fan 1"}));
  EXPECT_EQ(names(ft.subtype13_data), (std::vector<std::string>{"FC Status LED", "Fan Tray LED"}));
  EXPECT_EQ(ft.fan_data.sensors[1].eid.slot, 42);
  // Its FPGA as an FPD record waiting for registration.
  ASSERT_EQ(ft.fpd_count, 1u);
  EXPECT_EQ(ft.fpd_data[0].eid.rack, 0xfffe);
  EXPECT_EQ(ft.fpd_data[0].eid.slot, 42);
  EXPECT_STREQ(ft.fpd_data[0].name, "FT-FPGA");
  EXPECT_EQ(ft.fpd_data[0].name_len, 7);
  EXPECT_EQ(ft.fpd_data[0].init_st, static_cast<uint32_t>(ENVMON_FPD_INIT_PENDING));
  // Fan management, the budget, inventory and power management, in order.
  EXPECT_EQ(acq_calls("envmon_"),
            (std::vector<std::string>{"envmon_hal_idprom_get_pid(256)",
                                      "envmon_hal_fan_mgmt_fantray_oir(1, 1, 0, none)",
                                      "envmon_update_card_budget(42, 0x4a1, TV-FAN2-8, 1, 2, 1, 1)",
                                      "envmon_inv_invreg_fan_fru_reg(42, 0x4a1, FTS0042, 256, 65534/42 TSI: 5/5/1 6/6/1)",
                                      "envmon_pwr_mgmt_fantray_oir_ev(1, 1)"}));
  EXPECT_EQ(ft.flags, 0xF0000011u);
  EXPECT_EQ(ft.hw_ctx.state, 0x1u);
}

TEST_F(FanTray, TrayNoDescriptionFitsGoesToSyslog) {
  SyslogService syslog(loop);
  FakeDriver& fan = start(1, ENVMON_SCOPE_RACK);
  acq_standin().idprom_pid = "TV-FAN9-X";
  const struct {
    uint32_t slot;
    bool has_node;
    std::string where;
  } cases[] = {{41, true, location(41)}, {43, false, "slot-43"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.slot);
    if (!c.has_node) {
      nodeid_destroy(frus[c.slot].nodeid);
      frus[c.slot].nodeid = nullptr;
    }
    const size_t before = syslog.lines.size();
    insert(fan, present(c.slot, 0xab040002));
    fantray_cb& ft = envmon_rm->fantray_cb[c.slot - 41];
    EXPECT_TRUE(err_traced("envmon_rm_fan_parse_xml(): Failed to parse xml file for FT 0xab040002, TV-FAN9-X\n"));
    // Its identity is kept; nothing is registered or told.
    EXPECT_EQ(ft.board_id, 0x4a1u);
    EXPECT_STREQ(ft.pid, "TV-FAN9-X");
    EXPECT_EQ(acq_calls("envmon_"), std::vector<std::string>{"envmon_hal_idprom_get_pid(64)"});
    EXPECT_EQ(ft.flags & 0xF0000000u, 0u);
    ASSERT_TRUE(wait([&] { return syslog.lines.size() == before + 1; })) << "no syslog line";
    EXPECT_EQ(syslog.lines.back(),
              "3 " + std::to_string(0x14de0001) + " %ENVMON-LIB-3-UNSUPPORTED_FAN_TRAY : Unsupported Fan Tray (Location: " +
                  c.where + ", PID: TV-FAN9-X, Controller Type: 0xab040002)");
  }
  EXPECT_TRUE(err_traced("nodeid_to_str_external() failed, for slot: 43 rc: "));
  // One message per insertion.
  evloop_test_wait_for(loop, [] { return false; }, 50);
  EXPECT_EQ(syslog.lines.size(), 2u);
}

TEST_F(FanTray, PidFallsBackToTheCardName) {
  FakeDriver& fan = start(1, ENVMON_SCOPE_RACK);
  acq_standin().pid_fails = true;
  acq_standin().card_names[0x4a1] = "TV-FAN2-8-WITH-A-LONG-NAME";
  insert(fan, present(42, 0xab040002));
  EXPECT_TRUE(err_traced("envmon_drvif_notify_eid_data_cb(): Failed to extract PID from fan tray 1 IDPROM, err = 22\n"));
  EXPECT_STREQ(envmon_rm->fantray_cb[1].pid, "TV-FAN2-8-WITH-A-");  // 17 characters
}

// Optional lists and the FPGA may be missing; the hardware version comes
// from the IDPROM when it can be read.
TEST_F(FanTray, DescriptionWithoutOptionalParts) {
  FakeDriver& fan = start(1, ENVMON_SCOPE_RACK);
  acq_standin().idprom_pid = "TV-FAN2-4";
  acq_standin().hw_version_fails = true;
  insert(fan, present(43, 0xab040042));
  fantray_cb& ft = envmon_rm->fantray_cb[2];
  EXPECT_TRUE(err_traced("envmon_rm_fan_parse_xml(): Failed to retrieve HW version from chassis IDPROM image - rc = 0x16\n"));
  EXPECT_EQ(names(ft.temp_data), std::vector<std::string>{"Inlet"});
  EXPECT_EQ(ft.current_data.count, 0);
  EXPECT_EQ(ft.power_data.count, 0);
  EXPECT_EQ(ft.fpd_data, nullptr);
  EXPECT_TRUE(err_traced("envmon_rm_fan_parse_xml():  failed to get fpga eid for fan tray 2, rc: 0\n"));
  EXPECT_TRUE(acq_called("envmon_inv_invreg_fan_fru_reg(43, 0x4a1, FTS0042, 64, 65534/43 TSI: 5/5/2 6/6/1)"));
}

TEST_F(FanTray, ReReadingKeepsTheFpdRecords) {
  EXPECT_EQ(envmon_rm_fan_parse_xml(30), ENVMON_OK);  // not a fan tray: nothing read
  EXPECT_FALSE(err_traced("envmon_rm_fan_parse_xml"));
  fantray_cb& ft = envmon_rm->fantray_cb[0];
  ft.pd_type = 0xab040002;
  snprintf(ft.pid, sizeof(ft.pid), "TV-FAN2-8");
  ASSERT_EQ(envmon_rm_fan_parse_xml(41), ENVMON_OK);
  ASSERT_EQ(ft.fpd_count, 1u);
  fpd_data* records = ft.fpd_data;
  records[0].init_st = ENVMON_FPD_INIT_DONE;
  ASSERT_EQ(envmon_rm_fan_parse_xml(41), ENVMON_OK);
  EXPECT_EQ(ft.fpd_data, records);
  EXPECT_EQ(ft.fpd_count, 1u);
  EXPECT_EQ(ft.fpd_data[0].init_st, static_cast<uint32_t>(ENVMON_FPD_INIT_DONE));
  EXPECT_EQ(ft.fan_data.count, 2);
}

// Clean-up withdraws every registered device of the tray once and releases
// the tray's lists and records.
TEST_F(FanTray, CleanupReleasesTheTray) {
  fantray_cb& ft = envmon_rm->fantray_cb[0];
  ft.pd_type = 0xab040002;
  snprintf(ft.pid, sizeof(ft.pid), "TV-FAN2-8");
  ft.eeprom_len = 20;
  ft.eeprom[3] = 7;
  ft.ceid = acq_eid(0xfffe, 41, {{5, 5, 0}});
  ASSERT_EQ(envmon_rm_fan_parse_xml(41), ENVMON_OK);
  // A second device, both registered with the framework.
  fpd_data* two = static_cast<fpd_data*>(calloc(2, sizeof(fpd_data)));
  two[0] = ft.fpd_data[0];
  free(ft.fpd_data);
  ft.fpd_data = two;
  ft.fpd_count = 2;
  fpd_drv_reg_info reg{};
  for (uint32_t i = 0; i < 2; ++i) ASSERT_EQ(fpd_drv_init(&reg, &two[i].fpd_out.fpd_hd), 0);
  envmon_rm_fan_cb_cleanup(0);
  EXPECT_TRUE(fpd_drv_test_devices().empty());
  size_t unregisters = 0;
  for (const auto& c : fpd_drv_test_calls())
    if (c.rfind("unregister(", 0) == 0) ++unregisters;
  EXPECT_EQ(unregisters, 2u);
  EXPECT_TRUE(main_traced("fpd_drv_unregister for FT(0), rc = 0x0.\n"));
  EXPECT_EQ(ft.fpd_data, nullptr);
  EXPECT_EQ(ft.fpd_count, 0u);
  for (const envmon_sensor_list* l : {&ft.temp_data, &ft.voltage_data, &ft.current_data, &ft.fan_data}) {
    EXPECT_EQ(l->sensors, nullptr);
    EXPECT_EQ(l->count, 0);
  }
  EXPECT_EQ(ft.ceid.tsi, nullptr);
  EXPECT_EQ(ft.eeprom_len, 0u);
  EXPECT_EQ(ft.eeprom[3], 0);
  EXPECT_EQ(ft.pid[0], '\0');
  // A tray without FPD records: only its lists.
  ASSERT_EQ(envmon_rm_fan_parse_xml(41), ENVMON_OK);
  free(ft.fpd_data);
  ft.fpd_data = nullptr;
  ft.fpd_count = 0;
  fpd_drv_test_reset();
  envmon_rm_fan_cb_cleanup(0);
  EXPECT_TRUE(fpd_drv_test_calls().empty());
  EXPECT_EQ(ft.temp_data.sensors, nullptr);
}

// The two records as the syslog library reads them, and what they print.
TEST(SyslogRecords, LayoutGettersAndText) {
  static_assert(sizeof(zul_msg_rec) == 72);
  const struct {
    const zul_msg_rec* rec;
    const zul_msg_rec* got;
    bool leading;
    const char* mnemonic;
    uint32_t code;
  } cases[] = {
      {&zul_msg_rec_envmon_power_tray_mismatch, zul_msg_rec_envmon_power_tray_mismatch_getfn(), true,
       "POWER_TRAY_MISMATCH", 0x14de0000},
      {&zul_msg_rec_envmon_unsupported_fan_tray, zul_msg_rec_envmon_unsupported_fan_tray_getfn(), false,
       "UNSUPPORTED_FAN_TRAY", 0x14de0001},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.mnemonic);
    EXPECT_EQ(c.got, c.rec);
    const auto* bytes = reinterpret_cast<const uint8_t*>(c.rec);
    EXPECT_EQ(c.rec->prefix_fmt != nullptr, c.leading);
    EXPECT_EQ(c.rec->reserved0, nullptr);
    EXPECT_STREQ(c.rec->facility, "ENVMON");
    EXPECT_STREQ(c.rec->sub_facility, "LIB");
    EXPECT_STREQ(c.rec->mnemonic, c.mnemonic);
    // Offset 48: two zero bytes, the severity, then zeros up to the code.
    EXPECT_EQ(bytes[48], 0);
    EXPECT_EQ(bytes[49], 0);
    EXPECT_EQ(bytes[50], 3);
    for (size_t i = 51; i < 64; ++i) EXPECT_EQ(bytes[i], 0) << i;
    uint32_t code = 0, last = 1;
    memcpy(&code, bytes + 64, 4);
    memcpy(&last, bytes + 68, 4);
    EXPECT_EQ(code, c.code);
    EXPECT_EQ(last, 0u);
  }
  char text[256];
  zul_msg_format(text, sizeof(text), &zul_msg_rec_envmon_power_tray_mismatch, 3, "PT1: ", "PWR-DC-2",
                 1, "TV-8");
  EXPECT_STREQ(text, "%ENVMON-LIB-3-POWER_TRAY_MISMATCH : PT1: Power tray mismatch, inserted power tray is "
                     "PWR-DC-2 in PT1, in chassis type TV-8");
  zul_msg_format(text, sizeof(text), &zul_msg_rec_envmon_unsupported_fan_tray, 3, "0/FT0", "X", 0x12u);
  EXPECT_STREQ(text, "%ENVMON-LIB-3-UNSUPPORTED_FAN_TRAY : Unsupported Fan Tray (Location: 0/FT0, PID: X, "
                     "Controller Type: 0x12)");
}

}  // namespace

#include <gtest/gtest.h>

#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "inv_parser.h"
#include "tlg_test.h"

namespace {

constexpr char kBuffer[] = "inv_parser";

std::string read_file(const std::string& path) {
  std::ifstream in(path);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

const std::string kCard = read_file(ENVMON_PARSER_CORPUS "/card.xml");

struct Xml {
  inv_xml_handle_t h;
  explicit Xml(const std::string& text, const char* name = "t.xml")
      : h(inv_parser_open_xml_buffer(text.data(), text.size(), name)) {}
  ~Xml() { inv_parser_close_xml_file(h); }
};

struct Eids {
  uint16_t count = 0;
  inv_eid* eids = nullptr;
  ~Eids() { free(eids); }
};

class InvParser : public ::testing::Test {
 protected:
  void SetUp() override { tlg_test_clear(kBuffer); }
};

TEST_F(InvParser, FindsEntitiesByTypeAndSubtypeInFileOrder) {
  Xml x(kCard);
  ASSERT_NE(x.h, nullptr);
  Eids temp;
  ASSERT_EQ(inv_parser_get_eid_by_type_subtype(x.h, 6, 8, 25, &temp.count, &temp.eids), INV_PARSER_OK);
  ASSERT_EQ(temp.count, 1);
  ASSERT_EQ(temp.eids[0].level_count, 2);
  EXPECT_EQ(temp.eids[0].levels[0].type, 5);
  EXPECT_EQ(temp.eids[0].levels[1].subtype, 25);
  EXPECT_EQ(temp.eids[0].levels[1].instance, 1);

  Eids budget;
  ASSERT_EQ(inv_parser_get_eid_by_type_subtype(x.h, 6, 9, 27, &budget.count, &budget.eids), INV_PARSER_OK);
  ASSERT_EQ(budget.count, 1);
  inv_parser_eid_data d;
  ASSERT_EQ(inv_parser_get_eid_data(x.h, &budget.eids[0], &d), INV_PARSER_OK);
  EXPECT_EQ(d.max_budget, 350);
  EXPECT_EQ(d.stby_zn_budget, 20);
  EXPECT_EQ(d.ext_budget, 400);
}

TEST_F(InvParser, AMissingEntityIsACountOfZero) {
  Xml x(kCard);
  Eids none;
  none.count = 99;
  ASSERT_EQ(inv_parser_get_eid_by_type_subtype(x.h, 6, 8, 7, &none.count, &none.eids), INV_PARSER_OK);
  EXPECT_EQ(none.count, 0);
  EXPECT_EQ(none.eids, nullptr);
  // Another category is another entity.
  ASSERT_EQ(inv_parser_get_eid_by_type_subtype(x.h, 7, 8, 25, &none.count, &none.eids), INV_PARSER_OK);
  EXPECT_EQ(none.count, 0);
}

TEST_F(InvParser, SensorDataCarriesEveryField) {
  Xml x(kCard);
  Eids volt;
  ASSERT_EQ(inv_parser_get_eid_by_type_subtype(x.h, 6, 8, 29, &volt.count, &volt.eids), INV_PARSER_OK);
  ASSERT_EQ(volt.count, 1);
  inv_eid other_place = volt.eids[0];
  other_place.rack = 0xfffe;  // rack and slot are not part of the match
  other_place.slot = 12;
  inv_parser_eid_data d;
  memset(&d, 0xa5, sizeof(d));
  ASSERT_EQ(inv_parser_get_eid_data(x.h, &other_place, &d), INV_PARSER_OK);
  EXPECT_STREQ(d.name, "VP1P0");
  EXPECT_EQ(d.driver, 0u);
  EXPECT_EQ(d.scale, 8);
  EXPECT_EQ(d.precision, 0);
  const int32_t expected[6] = {900, 1100, 920, 1080, 950, 1050};
  for (int i = 0; i < 6; ++i) EXPECT_EQ(d.thresholds[i], expected[i]) << i;
  EXPECT_EQ(d.obfl_disabled, 1);
  EXPECT_EQ(d.attr, 0u);
  EXPECT_EQ(d.instance, 2);

  Eids temp;
  ASSERT_EQ(inv_parser_get_eid_by_type_subtype(x.h, 6, 8, 25, &temp.count, &temp.eids), INV_PARSER_OK);
  ASSERT_EQ(inv_parser_get_eid_data(x.h, &temp.eids[0], &d), INV_PARSER_OK);
  EXPECT_EQ(d.thresholds[0], -10);
  EXPECT_EQ(d.attr, 0x3000000u);
  EXPECT_EQ(d.obfl_disabled, 0);
}

TEST_F(InvParser, RootPollRateAndDelta) {
  Xml x(kCard);
  inv_eid* root = nullptr;
  ASSERT_EQ(inv_parser_get_root_eid(x.h, &root), INV_PARSER_OK);
  EXPECT_EQ(root->level_count, 1);
  EXPECT_EQ(root->levels[0].subtype, 2);
  free(root);
  int32_t v = -1;
  ASSERT_EQ(inv_parser_get_poll_rate(x.h, &v), INV_PARSER_OK);
  EXPECT_EQ(v, 10);
  ASSERT_EQ(inv_parser_get_delta(x.h, &v), INV_PARSER_OK);
  EXPECT_EQ(v, 2);
}

TEST_F(InvParser, AnEntityNotInTheFileIsNotFound) {
  Xml x(kCard);
  inv_eid id;
  memset(&id, 0, sizeof(id));
  id.level_count = 2;
  id.levels[0] = {5, 2, 1};
  id.levels[1] = {8, 25, 9};
  inv_parser_eid_data d;
  EXPECT_EQ(inv_parser_get_eid_data(x.h, &id, &d), INV_PARSER_ERR_NOT_FOUND);
  id.level_count = 200;  // a corrupt id is no match, never a read past the levels
  EXPECT_EQ(inv_parser_get_eid_data(x.h, &id, &d), INV_PARSER_ERR_NOT_FOUND);
}

TEST_F(InvParser, SensorWithoutThresholdsIsRefusedNamingFileAndAttribute) {
  const std::string text =
      "<inventory><entity tsi=\"8/25/1\" name=\"Hot\" crit_lo=\"1\" crit_hi=\"9\" "
      "maj_lo=\"2\" min_lo=\"3\" min_hi=\"7\"/>"
      "<entity tsi=\"8/13/1\" name=\"LED\"/></inventory>";
  Xml x(text, "/opt/x/fantray.xml");
  ASSERT_NE(x.h, nullptr);
  Eids temp;
  ASSERT_EQ(inv_parser_get_eid_by_type_subtype(x.h, 6, 8, 25, &temp.count, &temp.eids), INV_PARSER_OK);
  ASSERT_EQ(temp.count, 1);
  inv_parser_eid_data d;
  EXPECT_EQ(inv_parser_get_eid_data(x.h, &temp.eids[0], &d), INV_PARSER_ERR_INCOMPLETE);
  EXPECT_TRUE(tlg_test_contains(kBuffer, "/opt/x/fantray.xml"));
  EXPECT_TRUE(tlg_test_contains(kBuffer, "sensor \"Hot\" (8/25) has no threshold maj_hi"));
  // An LED entry has no thresholds to give.
  Eids led;
  ASSERT_EQ(inv_parser_get_eid_by_type_subtype(x.h, 6, 8, 13, &led.count, &led.eids), INV_PARSER_OK);
  EXPECT_EQ(inv_parser_get_eid_data(x.h, &led.eids[0], &d), INV_PARSER_OK);
}

TEST_F(InvParser, BadDescriptionsAreRefusedWithTheReason) {
  struct Case {
    const char* name;
    std::string text;
    const char* traced;
  };
  const Case cases[] = {
      {"not well formed", "<inventory><entity type=\"8\"", "bad.xml: line 1: not well formed"},
      {"wrong root", "<chassis/>", "bad.xml: root element is not <inventory>"},
      {"bad number", "<inventory><entity type=\"8\" subtype=\"x25\"/></inventory>",
       "bad value \"x25\" of attribute subtype"},
      {"subtype out of range", "<inventory><entity type=\"8\" subtype=\"256\"/></inventory>",
       "bad value \"256\" of attribute subtype"},
      {"threshold beyond 32 bits", "<inventory><entity type=\"8\" subtype=\"25\" crit_hi=\"4294967296\"/></inventory>",
       "attribute crit_hi"},
      {"no type", "<inventory><entity name=\"x\"/></inventory>", "entity without type/subtype"},
      {"seventeen levels",
       "<inventory><entity tsi=\"1/1/1 1/1/1 1/1/1 1/1/1 1/1/1 1/1/1 1/1/1 1/1/1 1/1/1 1/1/1 "
       "1/1/1 1/1/1 1/1/1 1/1/1 1/1/1 1/1/1 8/25/1\"/></inventory>",
       "bad tsi"},
      {"instance too large", "<inventory><entity tsi=\"8/25/70000\"/></inventory>", "bad tsi"},
      {"name too long",
       "<inventory><entity type=\"8\" subtype=\"25\" name=\"" + std::string(64, 'n') + "\"/></inventory>",
       "longer than 63 characters"},
      {"bad poll rate", "<inventory poll_rate=\"-1\"/>", "attribute poll_rate"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    tlg_test_clear(kBuffer);
    Xml x(c.text, "bad.xml");
    EXPECT_EQ(x.h, nullptr);
    EXPECT_TRUE(tlg_test_contains(kBuffer, c.traced)) << "trace lines: " << tlg_test_lines(kBuffer).size();
  }
}

TEST_F(InvParser, OpensFilesUnderTheRootDirectory) {
  namespace fs = std::filesystem;
  const fs::path root = fs::temp_directory_path() / ("inv_parser_test." + std::to_string(getpid()));
  fs::create_directories(root / "opt/tolvu/pelmarok/usr/xml");
  {
    std::ofstream(root / "opt/tolvu/pelmarok/usr/xml/card.xml") << kCard;
  }
  setenv("ENVMON_ROOT", root.c_str(), 1);
  inv_xml_handle_t h = inv_parser_open_xml_file("/opt/tolvu/pelmarok/usr/xml/card.xml");
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(std::string(inv_parser_get_file_name(h)), (root / "opt/tolvu/pelmarok/usr/xml/card.xml").string());
  inv_parser_close_xml_file(h);

  EXPECT_EQ(inv_parser_open_xml_file("/opt/tolvu/pelmarok/usr/xml/missing.xml"), nullptr);
  EXPECT_TRUE(tlg_test_contains(kBuffer, "usr/xml/missing.xml: cannot open: No such file or directory"));
  unsetenv("ENVMON_ROOT");
  fs::remove_all(root);
}

TEST_F(InvParser, NullArgumentsAreRefused) {
  Xml x(kCard);
  Eids e;
  EXPECT_EQ(inv_parser_get_eid_by_type_subtype(nullptr, 6, 8, 25, &e.count, &e.eids), INV_PARSER_ERR_ARG);
  EXPECT_EQ(inv_parser_get_eid_by_type_subtype(x.h, 6, 8, 25, nullptr, &e.eids), INV_PARSER_ERR_ARG);
  EXPECT_EQ(inv_parser_get_eid_data(x.h, nullptr, nullptr), INV_PARSER_ERR_ARG);
  EXPECT_EQ(inv_parser_open_xml_file(nullptr), nullptr);
  EXPECT_EQ(inv_parser_open_xml_file_v2(1, nullptr), nullptr);
}

}  // namespace

namespace {

// The descriptions of the default simulated chassis are read whole, and every
// sensor in them gives its data.
TEST(InvParserShippedData, EveryDescriptionAndSensorReads) {
  namespace fs = std::filesystem;
  int files = 0;
  for (const auto& entry : fs::directory_iterator(ENVMON_SIM_XML)) {
    if (entry.path().extension() != ".xml") continue;
    ++files;
    SCOPED_TRACE(entry.path().filename().string());
    const std::string text = read_file(entry.path().string());
    inv_xml_handle_t x = inv_parser_open_xml_buffer(text.data(), text.size(), entry.path().c_str());
    ASSERT_NE(x, nullptr) << tlg_test_lines("inv_parser").back();
    inv_eid* root = nullptr;
    ASSERT_EQ(inv_parser_get_root_eid(x, &root), INV_PARSER_OK);
    free(root);
    uint32_t sensors = 0;
    for (uint8_t subtype : {25, 29, 7, 8, 13, 23}) {
      uint16_t n = 0;
      inv_eid* eids = nullptr;
      ASSERT_EQ(inv_parser_get_eid_by_type_subtype(x, 6, 8, subtype, &n, &eids), INV_PARSER_OK);
      for (uint16_t i = 0; i < n; ++i) {
        inv_parser_eid_data d;
        EXPECT_EQ(inv_parser_get_eid_data(x, &eids[i], &d), INV_PARSER_OK) << subtype << "/" << i;
        EXPECT_NE(d.name[0], '\0');
      }
      sensors += n;
      free(eids);
    }
    EXPECT_GT(sensors, 0u);
    inv_parser_close_xml_file(x);
  }
  EXPECT_GT(files, 0);
}

}  // namespace

namespace {

// The default chassis's hardware finds its descriptions through the file table.
TEST(InvParserShippedData, KeysOfTheDefaultChassisFindTheirFiles) {
  namespace fs = std::filesystem;
  const fs::path root = fs::temp_directory_path() / ("inv_parser_v2." + std::to_string(getpid()));
  fs::create_directories(root / "opt/tolvu/pelmarok/usr");
  fs::create_directory_symlink(ENVMON_SIM_XML, root / "opt/tolvu/pelmarok/usr/xml");
  setenv("ENVMON_ROOT", root.c_str(), 1);
  struct Case {
    const char* name;
    uint32_t pi, pd;
    const char* file;  // null: no description
  };
  const Case cases[] = {
      {"8-slot chassis", 1, 0x60010000, "chassisTavrin8Slot.xml"},
      {"route processor", 3, 21014, "moduleRouteProcessor.xml"},
      {"line card", 4, 27000, "moduleTremaskLC_36_100G.xml"},
      {"fabric card", 6, 27003, "moduleBexin8-FC.xml"},
      {"fan tray", 7, 0xab040002, "moduleTavrinFan2_8slot.xml"},
      {"AC power module", 9, 0xab010000, "moduleTavrinPem.xml"},
      {"DC power module", 9, 0xab010010, "moduleTavrinDCPem.xml"},
      {"unknown card", 4, 99999, nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    tlg_test_clear("inv_parser");
    inv_parser_open_req req{};
    req.pi_hw_type = c.pi;
    req.pd_hw_type = c.pd;
    inv_xml_handle_t x = inv_parser_open_xml_file_v2(1, &req);
    if (!c.file) {
      EXPECT_EQ(x, nullptr);
      EXPECT_TRUE(tlg_test_contains("inv_parser", "no description for pi 4 pd 0x1869f"));
      continue;
    }
    ASSERT_NE(x, nullptr) << (tlg_test_lines("inv_parser").empty() ? "" : tlg_test_lines("inv_parser").back());
    EXPECT_EQ(fs::path(inv_parser_get_file_name(x)).filename(), c.file);
    inv_parser_close_xml_file(x);
  }
  unsetenv("ENVMON_ROOT");
  fs::remove_all(root);
}

}  // namespace

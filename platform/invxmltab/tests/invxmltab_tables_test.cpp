#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>
#include <vector>

#include "invxmltab.h"

namespace {

constexpr char kDir[] = "/opt/tolvu/pelmarok/usr/xml/";

struct Row {
  int32_t pi;
  uint32_t pd;
  const char* file;
};

// Row order, PI class and file of every row, as the tables must hold them.
const std::vector<Row> kChassis = {
    {1, 0x60010000, "chassisTavrin8Slot.xml"},
    {1, 0x60010001, "chassisTavrin16Slot.xml"},
    {1, 0x60010002, "chassisTavrin4Slot.xml"},
    {1, 0x60010107, "chassisTavrinQuelm.xml"},
    {1, 0x6001010b, "chassisTavrinQuelm_Non_SE.xml"},
};
const std::vector<Row> kCards = {
    {3, 21014, "moduleRouteProcessor.xml"},
    {3, 27024, "moduleRouteProcessor_E.xml"},
    {3, 27059, "moduleRouteProcessor2_E.xml"},
    {3, 27065, "moduleRouteProcessorQuelm.xml"},
    {3, 21000, "moduleRouteProcessor.xml"},
    {16, 21005, "moduleSystemController.xml"},
    {4, 27060, "moduleTremaskLC_32T16Q4H.xml"},
    {4, 27064, "moduleTremaskLC_32T16Q4H.xml"},
    {4, 27000, "moduleTremaskLC_36_100G.xml"},
    {4, 27023, "moduleTremaskLC_36_100G_JPT.xml"},
    {4, 27034, "moduleTremaskMODCr.xml"},
    {4, 27035, "moduleTremaskMOD.xml"},
    {4, 27001, "moduleTremaskLC_6_100G.xml"},
    {4, 27006, "moduleTremaskLC_12_100G.xml"},
    {6, 27003, "moduleBexin8-FC.xml"},
    {6, 27004, "moduleBexin16-FC.xml"},
    {6, 27037, "modulePlovenar16-FC.xml"},
    {6, 27002, "moduleBexin4-FC.xml"},
    {4, 27010, "moduleTremaskLC_36_40G.xml"},
    {6, 27042, "modulePlovenar8-FC.xml"},
    {4, 27010, "moduleTremaskLC_36_40G.xml"},
    {4, 27010, "moduleTremaskLC_36_40G.xml"},
    {4, 27017, "moduleTremaskLC_36_40G_tcam.xml"},
    {4, 27014, "moduleTremaskLC_12_100G_tcam.xml"},
    {4, 27011, "moduleTremaskLC_24_100G_tcam.xml"},
    {4, 27011, "moduleTremaskLC_24_100G_tcam.xml"},
    {4, 27012, "moduleTremaskLC_12_100G_coherent.xml"},
    {4, 27013, "moduleTremaskLC_18_100G_macsec.xml"},
    {4, 27018, "moduleTremaskLC_36_100G_macsec.xml"},
    {18, 0x60040500, "moduleMPAMorthane.xml"},
    {18, 0x60040502, "moduleMPATessavel.xml"},
    {18, 0x60040503, "moduleMPASkelmor.xml"},
    {18, 0x60040501, "moduleMPAYop.xml"},
    {18, 0x60040508, "moduleMPAYopHX.xml"},
    {18, 0x60040505, "moduleMPATessavelHD.xml"},
    {18, 0x60040509, "moduleMPATessavelHX.xml"},
    {18, 0x6004050a, "moduleMPA800G.xml"},
    {18, 0x6004050b, "moduleMPAGildrane.xml"},
    {18, 0x6004050c, "moduleMPASevrok.xml"},
    {18, 0x6004050d, "moduleMPAMarindole.xml"},
    {18, 0x6004050e, "moduleMPAPresket.xml"},
    {4, 27044, "moduleNaltoLC_24_400G_J2.xml"},
    {4, 27044, "moduleNaltoLC_24_400G_J2.xml"},
    {4, 27050, "moduleNaltoLC_24_400G_Proto_J2.xml"},
    {4, 27046, "moduleNaltoLC_18_400G_J2T.xml"},
    {4, 27046, "moduleNaltoLC_18_400G_J2T.xml"},
    {4, 27055, "moduleNaltoLC_18_400G_Proto_J2T.xml"},
    {4, 27062, "moduleNaltoLC_36_100_J2T.xml"},
    {4, 27061, "moduleNaltoLC_36_100_6_400_J2.xml"},
    {4, 27063, "moduleNaltoLC_dco_12_400_J2T.xml"},
    {4, 27066, "moduleQuelmLC_NON_SE.xml"},
    {4, 27067, "moduleQuelmLC_SE.xml"},
    {6, 27043, "modulePlovenar4-FC.xml"},
    {4, 27068, "moduleNaltoMODLC_J2.xml"},
};
// The two trays with a file of their own (0xab040206, 0xab040207) are
// checked apart: their names are this platform's choice.
const std::vector<Row> kFanTrays = {
    {7, 0xab040000, "moduleTavrinFan.xml"},      {7, 0xab040000, "moduleTavrinFan.xml"},
    {7, 0xab040002, "moduleTavrinFan2_8slot.xml"}, {7, 0xab040042, "moduleTavrinFan2_4slot.xml"},
    {7, 0xab040021, "moduleTavrinFan16slot.xml"},  {7, 0xab040020, "moduleTavrinFan16slot.xml"},
    {7, 0xab040022, "moduleTavrinFan2_16slot.xml"}, {7, 0xab040206, nullptr},
    {7, 0xab040207, nullptr},                    {7, 0xab040040, "moduleTavrinFan4slot.xml"},
    {7, 0xab040041, "moduleTavrinFan4slot.xml"}, {7, 0xab040000, "moduleTavrinFan.xml"},
    {7, 0xab040001, "moduleTavrinFan.xml"},      {7, 0xab040001, "moduleTavrinFan.xml"},
};
// One of the 0xab010000 rows names the DC module's file; which one is product data.
const std::vector<Row> kPems = {
    {9, 0xab010000, nullptr}, {9, 0xab010000, nullptr}, {9, 0xab010001, "moduleTavrinPem.xml"},
    {9, 0xab010000, nullptr}, {9, 0xab010000, nullptr}, {9, 0xab010001, "moduleTavrinPem.xml"},
    {9, 0xab010010, "moduleTavrinDCPem.xml"}, {9, 0xab010000, nullptr},
    {9, 0xab010020, "moduleTavrinUVPem.xml"}, {9, 0xab010030, "moduleTavrin2HVPem.xml"},
    {9, 0xab010040, "moduleTavrinDC2Pem.xml"}, {9, 0xab010308, "moduleQuelmPemAc.xml"},
    {9, 0xab010309, "moduleQuelmPemDc.xml"},
};

std::string base_name(const char* path) {
  const std::string p(path);
  EXPECT_EQ(p.rfind(kDir, 0), 0u) << p;
  return p.substr(sizeof kDir - 1);
}

// Checks every row against `want` and returns the end row.
const platform_inv_xml_filedb* check_table(int32_t pi, const std::vector<Row>& want) {
  const platform_inv_xml_filedb* t = platform_get_xml_filedb(pi);
  EXPECT_NE(t, nullptr);
  if (t == nullptr) return nullptr;
  std::map<int32_t, std::set<std::string>> pids_of_code;
  for (size_t i = 0; i < want.size(); ++i) {
    SCOPED_TRACE(testing::Message() << "row " << i + 1);
    const platform_inv_xml_filedb& r = t[i];
    EXPECT_EQ(r.pi_hw_type, want[i].pi);
    EXPECT_EQ(static_cast<uint32_t>(r.pd_hw_type), want[i].pd);
    if (want[i].file != nullptr) {
      EXPECT_EQ(base_name(r.xml_file), want[i].file);
    }
    EXPECT_STREQ(r.pid_alias, "");
    EXPECT_NE(r.pid[0], '\0');
    EXPECT_NE(r.description[0], '\0');
    EXPECT_NE(r.snmp_vendor_type_oid[0], '\0');
    EXPECT_NE(r.snmp_vendor_type_mib[0], '\0');
    // Rows sharing a code differ in their PID.
    EXPECT_TRUE(pids_of_code[r.pd_hw_type].insert(r.pid).second) << r.pid;
  }
  const platform_inv_xml_filedb* end = &t[want.size()];
  EXPECT_TRUE(end->pi_hw_type == -1 || end->pd_hw_type == -1);
  return end;
}

TEST(InvxmltabTables, ChassisRowsAndTheUnknownEndRow) {
  const auto* end = check_table(1, kChassis);
  ASSERT_NE(end, nullptr);
  EXPECT_STREQ(end->pid, "UNKNOWN");
  EXPECT_EQ(base_name(end->xml_file), "chassisTavrinUnknown.xml");
}

TEST(InvxmltabTables, CardRowsAndTheUnknownModuleEndRow) {
  const auto* end = check_table(3, kCards);
  ASSERT_NE(end, nullptr);
  EXPECT_STREQ(end->pid, "");
  EXPECT_EQ(base_name(end->xml_file), "moduleUnknown.xml");
}

TEST(InvxmltabTables, FanTrayRows) {
  const auto* end = check_table(7, kFanTrays);
  ASSERT_NE(end, nullptr);
  EXPECT_STREQ(end->pid, "");
  EXPECT_STREQ(end->xml_file, "");
  const platform_inv_xml_filedb* t = platform_get_xml_filedb(7);
  // The two trays of their own have distinct files, used by no other row.
  const std::string own1 = base_name(t[7].xml_file), own2 = base_name(t[8].xml_file);
  EXPECT_NE(own1, own2);
  for (const auto& r : kFanTrays) {
    if (r.file != nullptr) {
      EXPECT_NE(own1, r.file);
      EXPECT_NE(own2, r.file);
    }
  }
}

TEST(InvxmltabTables, PowerModuleRowsAndTheirVersions) {
  const auto* end = check_table(9, kPems);
  ASSERT_NE(end, nullptr);
  EXPECT_STREQ(end->pid, "");
  EXPECT_STREQ(end->xml_file, "");
  const platform_inv_xml_filedb* t = platform_get_xml_filedb(9);
  int dc_rows = 0;
  for (size_t i = 0; i < kPems.size(); ++i) {
    if (kPems[i].file != nullptr) continue;
    const std::string f = base_name(t[i].xml_file);
    EXPECT_TRUE(f == "moduleTavrinPem.xml" || f == "moduleTavrinDCPem.xml") << f;
    dc_rows += f == "moduleTavrinDCPem.xml";
  }
  EXPECT_EQ(dc_rows, 1);
  // Every row carries version 0.1, the fourth power-module row 1.0.
  for (int32_t pi : {1, 3, 7, 9}) {
    const platform_inv_xml_filedb* r = platform_get_xml_filedb(pi);
    for (size_t i = 0; r[i].pi_hw_type != -1; ++i) {
      SCOPED_TRACE(testing::Message() << "class " << pi << " row " << i + 1);
      const bool fourth_pem = pi == 9 && i == 3;
      EXPECT_EQ(r[i].hw_ver_maj, fourth_pem ? 1 : 0);
      EXPECT_EQ(r[i].hw_ver_min, fourth_pem ? 0 : 1);
    }
  }
}

TEST(InvxmltabTables, TableOfEachClass) {
  const platform_inv_xml_filedb* chassis = platform_get_xml_filedb(1);
  const platform_inv_xml_filedb* cards = platform_get_xml_filedb(3);
  struct Case {
    int32_t pi;
    const platform_inv_xml_filedb* table;
  };
  const Case kCases[] = {
      {1, chassis}, {2, chassis}, {3, cards}, {4, cards}, {6, cards}, {12, cards}, {16, cards},
      {18, cards},  {7, platform_get_xml_filedb(7)}, {9, platform_get_xml_filedb(9)},
      {0, nullptr}, {5, nullptr}, {8, nullptr}, {10, nullptr}, {11, nullptr}, {13, nullptr},
      {17, nullptr}, {19, nullptr}, {-1, nullptr},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.pi);
    EXPECT_EQ(platform_get_xml_filedb(c.pi), c.table);
  }
  EXPECT_EQ(platform_get_xml_filedb(7)[0].pi_hw_type, 7);
  EXPECT_EQ(platform_get_xml_filedb(9)[0].pi_hw_type, 9);
}

}  // namespace

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "invxmltab.h"

namespace {

constexpr char kDir[] = "/opt/tolvu/pelmarok/usr/xml/";

std::string file_or_null(const char* path) {
  if (path == nullptr) return "(null)";
  const std::string p(path);
  EXPECT_EQ(p.rfind(kDir, 0), 0u) << p;
  return p.substr(sizeof kDir - 1);
}

constexpr int32_t code(uint32_t v) { return static_cast<int32_t>(v); }

TEST(InvxmltabHwinfo, RowsByClassCodeAndPid) {
  struct Case {
    const char* name;
    int32_t pi, pd;
    const char* pid;
    const char* want_pid;  // PID of the row found, or null for none
  };
  const Case kCases[] = {
      {"no PID takes the first row of the code", 4, 27010, nullptr, "TV-LC-36X40G"},
      {"empty PID likewise", 4, 27010, "", "TV-LC-36X40G"},
      {"PID selects among rows of one code", 4, 27010, "TV-LC-36X40G-C", "TV-LC-36X40G-C"},
      {"unknown PID", 4, 27010, "TV-LC-36X40G-D", nullptr},
      {"PID compared over 19 characters only", 4, 27061, "TV-NL-36X100-6X400+anything", nullptr},
      {"class must match the row", 3, 27010, nullptr, nullptr},
      {"code of another table", 7, 27010, nullptr, nullptr},
      {"no table", 8, 27010, nullptr, nullptr},
      {"first chassis row", 1, code(0x60010000), nullptr, "TV-CHAS-8"},
      {"last chassis row", 1, code(0x6001010b), nullptr, "TV-QLM-CHAS"},
      {"UNKNOWN gives the unknown-chassis row", 1, 0x12345678, "UNKNOWN", "UNKNOWN"},
      {"UNKNOWN under class 2 too", 2, 0x12345678, "UNKNOWN", "UNKNOWN"},
      {"unknown chassis without PID", 1, 0x12345678, "", nullptr},
      {"unknown chassis, other PID", 1, 0x12345678, "UNKNOWNX", nullptr},
      {"card end row has no PID to match", 3, 0x12345678, "UNKNOWN", nullptr},
      {"system controller", 16, 21005, nullptr, "TV-SC"},
      {"last card row", 4, 27068, nullptr, "TV-NL-MOD"},
      {"'*' is no wildcard here", 9, code(0xab010000), "TV-PWR-AC-X", nullptr},
      {"'*' row by its own text", 9, code(0xab010000), "TV-PWR-AC-*", "TV-PWR-AC-*"},
      {"last power module", 9, code(0xab010309), nullptr, "TV-QLM-PWR-DC"},
      {"last fan tray", 7, code(0xab040001), "TV-FANR-*", "TV-FANR-*"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    const platform_inv_xml_filedb* row = platform_get_inv_hwinfo(c.pi, c.pd, c.pid);
    if (c.want_pid == nullptr) {
      EXPECT_EQ(row, nullptr) << row->pid;
    } else {
      ASSERT_NE(row, nullptr);
      EXPECT_STREQ(row->pid, c.want_pid);
    }
  }
}

TEST(InvxmltabHwinfo, PortAdapterShortCodesAreMapped) {
  struct Case {
    int32_t n;
    const char* file;  // null: not mapped, nothing found
  };
  constexpr Case kCases[] = {
      {0, "moduleMPAMorthane.xml"},  {1, "moduleMPAYop.xml"},        {2, "moduleMPATessavel.xml"},
      {3, "moduleMPASkelmor.xml"},   {4, nullptr},                   {5, "moduleMPATessavelHD.xml"},
      {6, nullptr},                  {7, nullptr},                   {8, "moduleMPAYopHX.xml"},
      {9, "moduleMPATessavelHX.xml"}, {10, "moduleMPA800G.xml"},     {11, "moduleMPAGildrane.xml"},
      {12, "moduleMPASevrok.xml"},   {13, "moduleMPAMarindole.xml"}, {14, "moduleMPAPresket.xml"},
      {15, nullptr},                 {-1, nullptr},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.n);
    const platform_inv_xml_filedb* row = platform_get_inv_hwinfo(18, 40000 + c.n, nullptr);
    if (c.file == nullptr) {
      EXPECT_EQ(row, nullptr);
      continue;
    }
    ASSERT_NE(row, nullptr);
    EXPECT_EQ(file_or_null(row->xml_file), c.file);
    // The file-name lookup takes no short codes, only the table's.
    EXPECT_EQ(platform_get_inv_xml_file_name(18, 40000 + c.n, nullptr), nullptr);
    EXPECT_EQ(file_or_null(platform_get_inv_xml_file_name(18, row->pd_hw_type, nullptr)), c.file);
  }
}

TEST(InvxmltabFileName, SameWalkWithoutMappingOrEndRow) {
  struct Case {
    const char* name;
    int32_t pi, pd;
    const char* pid;
    const char* file;
  };
  const Case kCases[] = {
      {"first row of a code", 3, 21014, nullptr, "moduleRouteProcessor.xml"},
      {"by PID", 9, code(0xab010000), "TV-PWR-DC-A", "moduleTavrinDCPem.xml"},
      {"by PID, first of the code", 9, code(0xab010000), "TV-PWR-AC", "moduleTavrinPem.xml"},
      {"unknown PID", 9, code(0xab010000), "TV-PWR-XX", nullptr},
      {"no end-row rule", 1, 0x12345678, "UNKNOWN", nullptr},
      {"chassis", 1, code(0x60010107), "", "chassisTavrinQuelm.xml"},
      {"no table", 11, 1, nullptr, nullptr},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    const char* f = platform_get_inv_xml_file_name(c.pi, c.pd, c.pid);
    EXPECT_EQ(file_or_null(f), c.file == nullptr ? "(null)" : c.file);
  }
}

platform_inv_xml_req request(int32_t pi, int32_t pd, const char* pid) {
  platform_inv_xml_req r{};
  r.pi_hw_type = pi;
  r.pd_hw_type = pd;
  r.hw_ver_maj = 7;  // versions are not compared
  r.hw_ver_min = 9;
  // A PID filling the whole field stays unterminated, as a peer may send it.
  memcpy(r.pid, pid, std::min(strlen(pid), sizeof r.pid));
  return r;
}

TEST(InvxmltabFileNameV2, OpticsByPdSubtypeAndExactPid) {
  struct Case {
    int32_t subtype;
    const char* pid;
    const char* file;
  };
  const Case kCases[] = {
      {3, "", "moduleSfpPlus.xml"},
      {4, "ANY", "moduleSfp.xml"},
      {5, "", "moduleQsfpPlus.xml"},
      {6, "", "moduleCfp2.xml"},
      {6, "UNQUALIFIED-OPTICS", "moduleCfp2_Unqualified.xml"},
      {6, "UNQUALIFIED-OPTICS-2", "moduleCfp2.xml"},
      {6, "UNQUALIFIED-OPTIC", "moduleCfp2.xml"},
      {6, "CFP2-ACO-3PT-OCL", "moduleCfp2_3PT.xml"},
      {6, "CFP2-ACO-3PT-Aca", "moduleCfp2_3PT.xml"},
      {6, "CFP2-ACO-3PT-ACA", "moduleCfp2.xml"},
      {7, "", "moduleQsfp28.xml"},
      {7, "BASIC-100GE-DWDM2", "moduleThirdParty_DWDM2.xml"},
      {7, "UNQUALIFIED-OPTICS", "moduleQsfp28.xml"},
      {9, "", "moduleSfp28_SR.xml"},
      {11, "", "moduleCfp2DCO.xml"},
      {11, "UNQUALIFIED-OPTICS", "moduleCfpDCO_Unqualified.xml"},
      {11, "CFP2-ACO-3PT-OCL", "moduleCfp2DCO.xml"},
      {12, "", "moduleQsfpDD.xml"},
      {20, "", "moduleSfp56.xml"},
      {0, "", nullptr},
      {2, "", nullptr},
      {8, "", nullptr},
      {10, "", nullptr},
      {13, "", nullptr},
      {19, "", nullptr},
      {21, "", nullptr},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(testing::Message() << c.subtype << " " << c.pid);
    const platform_inv_xml_req r = request(12, c.subtype, c.pid);
    EXPECT_EQ(file_or_null(platform_get_inv_xml_file_name_v2(&r)),
              c.file == nullptr ? "(null)" : c.file);
  }
}

TEST(InvxmltabFileNameV2, PidFillingItsFieldIsReadWithinIt) {
  // 36 characters and no terminator: compared as a 36-character PID.
  const platform_inv_xml_req r = request(12, 6, "UNQUALIFIED-OPTICSUNQUALIFIED-OPTICS");
  ASSERT_EQ(memchr(r.pid, '\0', sizeof r.pid), nullptr);
  EXPECT_EQ(file_or_null(platform_get_inv_xml_file_name_v2(&r)), "moduleCfp2.xml");
  const platform_inv_xml_req t = request(7, code(0xab040000), "TV-FAN-0123456789012345678901234567");
  EXPECT_EQ(file_or_null(platform_get_inv_xml_file_name_v2(&t)), "moduleTavrinFan.xml");
}

TEST(InvxmltabFileNameV2, TableRowsMatchUpToTheirStar) {
  struct Case {
    const char* name;
    int32_t pi, pd;
    const char* pid;
    const char* file;
  };
  const Case kCases[] = {
      {"empty PID takes the first row", 9, code(0xab010000), "", "moduleTavrinPem.xml"},
      {"exact PID", 9, code(0xab010000), "TV-PWR-DC-A", "moduleTavrinDCPem.xml"},
      {"prefix up to '*'", 9, code(0xab010000), "TV-PWR-AC-Z", "moduleTavrinPem.xml"},
      {"'*' row of another code", 9, code(0xab010001), "TV-PWR-AC-R-9", "moduleTavrinPem.xml"},
      {"no row without '*' takes a longer PID", 9, code(0xab010010), "TV-PWR-DC-2", nullptr},
      {"prefix too short for the '*' row", 9, code(0xab010000), "TV-PWR-AC", "moduleTavrinPem.xml"},
      {"no match at all", 9, code(0xab010000), "TV-PWR-XX", nullptr},
      {"fan-tray '*' row", 7, code(0xab040000), "TV-FAN-Q", "moduleTavrinFan.xml"},
      {"fan tray of its own", 7, code(0xab040206), "", nullptr},
      {"class must match", 4, 21014, "", nullptr},
      {"chassis row", 1, code(0x60010001), "TV-CHAS-16", "chassisTavrin16Slot.xml"},
      {"no end-row rule", 1, 0x12345678, "UNKNOWN", nullptr},
      {"class without a table", 8, code(0xab010000), "", nullptr},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    const platform_inv_xml_req r = request(c.pi, c.pd, c.pid);
    const char* f = platform_get_inv_xml_file_name_v2(&r);
    if (std::string(c.name) == "fan tray of its own") {
      EXPECT_NE(f, nullptr);  // its name is product data
      continue;
    }
    EXPECT_EQ(file_or_null(f), c.file == nullptr ? "(null)" : c.file);
  }
  EXPECT_EQ(platform_get_inv_xml_file_name_v2(nullptr), nullptr);
}

TEST(InvxmltabHwinfoPid, AliasesAreEmptySoOnlyAnEmptyAliasMatches) {
  EXPECT_STREQ(platform_get_inv_hwinfo_pid(4, 27011, nullptr), "TV-LC-24X100G-TC");
  EXPECT_STREQ(platform_get_inv_hwinfo_pid(4, 27011, ""), "TV-LC-24X100G-TC");
  EXPECT_EQ(platform_get_inv_hwinfo_pid(4, 27011, "TV"), nullptr);
  EXPECT_EQ(platform_get_inv_hwinfo_pid(4, 21014, nullptr), nullptr);
  EXPECT_EQ(platform_get_inv_hwinfo_pid(8, 27011, nullptr), nullptr);
  // The answer points into the table.
  EXPECT_EQ(platform_get_inv_hwinfo_pid(3, 21014, nullptr), platform_get_xml_filedb(3)[0].pid);
}

TEST(InvxmltabHwtype, ClassOfEveryListedCode) {
  struct Group {
    int32_t pi;
    std::vector<int32_t> codes;
  };
  const Group kGroups[] = {
      {3, {21014, 27024, 27059, 27065, 21000}},
      {16, {21005}},
      {4, {27000, 27001, 27006, 27011, 27012, 27013, 27018, 27010, 27017, 27023, 27060, 27064,
           27034, 27035, 27044, 27050, 27046, 27055, 27061, 27062, 27063, 27067, 27066, 27068,
           27069, 27070, 27014}},
      {6, {27002, 27003, 27004, 27037, 27042, 27043}},
      {7, {code(0xab040000), code(0xab040001), code(0xab040002), code(0xab040041),
           code(0xab040042), code(0xab040040), code(0xab040021), code(0xab040020),
           code(0xab040022), code(0xab040205), code(0xab040204), code(0xab040206),
           code(0xab040207)}},
      {9, {code(0xab010000), code(0xab010001), code(0xab010020), code(0xab010030),
           code(0xab010010), code(0xab010040), code(0xab010309), code(0xab010308)}},
      {1, {code(0x60010000), code(0x60010001), code(0x60010002), code(0x6001010b),
           code(0x60010107)}},
      {12, {7, 5}},
      {18, {40000, 40001, 40002, 40003, 40005, 40008, 40009, 40010, 40011, 40012, 40013, 40014}},
      {-1, {0, -1, 3, 6, 27071, 21001, 40004, 40006, 40007, 40015, 39999, code(0x60040500),
            code(0xab040203), code(0xab010002), code(0x60010003)}},
  };
  for (const auto& g : kGroups) {
    for (int32_t c : g.codes) {
      SCOPED_TRACE(testing::Message() << std::hex << "0x" << c);
      EXPECT_EQ(platform_get_inv_hwtype_from_pd_hwtype(c), g.pi);
    }
  }
}

struct FruArray {
  platform_inv_fru_info* p = nullptr;
  ~FruArray() { free(p); }
};

TEST(InvxmltabFruInfo, EveryRowUsingAFileInTableOrder) {
  struct Want {
    int32_t pi;
    uint32_t pd;
    const char* pid;
    int32_t maj, min;
  };
  struct Case {
    const char* file;
    std::vector<Want> rows;
  };
  const Case kCases[] = {
      {"moduleTremaskLC_36_40G.xml",
       {{4, 27010, "TV-LC-36X40G", 0, 1}, {4, 27010, "TV-LC-36X40G-B", 0, 1},
        {4, 27010, "TV-LC-36X40G-C", 0, 1}}},
      {"moduleRouteProcessor.xml", {{3, 21014, "TV-RP", 0, 1}, {3, 21000, "TV-RP-B", 0, 1}}},
      {"moduleTavrinFan.xml",
       {{7, 0xab040000, "TV-FAN", 0, 1}, {7, 0xab040000, "TV-FAN-B", 0, 1},
        {7, 0xab040000, "TV-FAN-*", 0, 1}, {7, 0xab040001, "TV-FAN-R", 0, 1},
        {7, 0xab040001, "TV-FANR-*", 0, 1}}},
      {"moduleTavrinPem.xml",
       {{9, 0xab010000, "TV-PWR-AC", 0, 1}, {9, 0xab010000, "TV-PWR-AC-B", 0, 1},
        {9, 0xab010001, "TV-PWR-AC-R", 0, 1}, {9, 0xab010000, "TV-PWR-AC-V1", 1, 0},
        {9, 0xab010000, "TV-PWR-AC-*", 0, 1}, {9, 0xab010001, "TV-PWR-AC-R-*", 0, 1}}},
      {"chassisTavrin4Slot.xml", {{1, 0x60010002, "TV-CHAS-4", 0, 1}}},
      {"moduleMPAPresket.xml", {{18, 0x6004050e, "TV-MPA-PRESKET", 0, 1}}},
      // End rows are not searched.
      {"chassisTavrinUnknown.xml", {}},
      {"moduleUnknown.xml", {}},
      {"moduleCfp2.xml", {}},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.file);
    FruArray out;
    out.p = reinterpret_cast<platform_inv_fru_info*>(0x1);
    const std::string path = std::string(kDir) + c.file;
    const int n = platform_get_inv_fru_info(path.c_str(), &out.p);
    ASSERT_EQ(n, static_cast<int>(c.rows.size()));
    if (n == 0) {
      EXPECT_EQ(out.p, nullptr);
      continue;
    }
    for (int i = 0; i < n; ++i) {
      SCOPED_TRACE(i);
      const platform_inv_fru_info& r = out.p[i];
      EXPECT_EQ(r.pi_hw_type, c.rows[i].pi);
      EXPECT_EQ(static_cast<uint32_t>(r.pd_hw_type), c.rows[i].pd);
      EXPECT_EQ(r.hw_ver_maj, c.rows[i].maj);
      EXPECT_EQ(r.hw_ver_min, c.rows[i].min);
      EXPECT_STREQ(r.pid, c.rows[i].pid);
      // NUL-padded to the end of the field, and the flag is 0.
      for (size_t k = strlen(r.pid); k < sizeof r.pid; ++k) EXPECT_EQ(r.pid[k], '\0');
      EXPECT_EQ(r.flag, 0);
    }
  }
}

TEST(InvxmltabFruInfo, PathsThatMatchNothingAndMissingArguments) {
  const std::string near_miss = std::string(kDir) + "moduleTavrinFan.xmlx";
  const char* const kPaths[] = {"moduleTavrinFan.xml", near_miss.c_str(), ""};
  for (const char* p : kPaths) {
    SCOPED_TRACE(p);
    FruArray out;
    EXPECT_EQ(platform_get_inv_fru_info(p, &out.p), 0);
    EXPECT_EQ(out.p, nullptr);
  }
  FruArray out;
  out.p = reinterpret_cast<platform_inv_fru_info*>(0x1);
  EXPECT_EQ(platform_get_inv_fru_info(nullptr, &out.p), 0);
  EXPECT_EQ(out.p, nullptr);
  EXPECT_EQ(platform_get_inv_fru_info("/opt/tolvu/pelmarok/usr/xml/moduleSfp.xml", nullptr), 0);
}

}  // namespace

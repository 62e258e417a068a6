#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "invxmltab.h"

namespace {

std::vector<std::string> lines_of(const std::string& s) {
  std::vector<std::string> out;
  size_t start = 0;
  for (size_t nl; (nl = s.find('\n', start)) != std::string::npos; start = nl + 1) {
    out.push_back(s.substr(start, nl - start));
  }
  return out;
}

TEST(InvxmltabPrint, ClassListingLinesAndResult) {
  testing::internal::CaptureStderr();
  const int32_t rc = platform_print_inv_xml_filenames(1);
  const std::vector<std::string> lines = lines_of(testing::internal::GetCapturedStderr());
  EXPECT_EQ(rc, -1);
  ASSERT_EQ(lines.size(), 5u);
  EXPECT_EQ(lines[0],
            "pd_hw_type: 1610678272(0x60010000), hw maj.min: 0.1, pid: TV-CHAS-8, file: "
            "/opt/tolvu/pelmarok/usr/xml/chassisTavrin8Slot.xml");
  EXPECT_EQ(lines[4].rfind("pd_hw_type: 1610678539(0x6001010b), hw maj.min: 0.1,", 0), 0u);
}

TEST(InvxmltabPrint, NegativeCodesPrintSignedAndHex) {
  testing::internal::CaptureStderr();
  platform_print_inv_xml_filenames(9);
  const std::vector<std::string> lines = lines_of(testing::internal::GetCapturedStderr());
  ASSERT_EQ(lines.size(), 13u);
  EXPECT_EQ(lines[3],
            "pd_hw_type: -1425997824(0xab010000), hw maj.min: 1.0, pid: TV-PWR-AC-V1, file: "
            "/opt/tolvu/pelmarok/usr/xml/moduleTavrinPem.xml");
}

TEST(InvxmltabPrint, ClassesWithoutTableOrRows) {
  struct Case {
    int32_t pi;
    int32_t rc;
  };
  // 0 for a class without a table, -1 once a table was walked, rows or not.
  constexpr Case kCases[] = {{8, 0}, {11, 0}, {0, 0}, {2, -1}, {12, -1}};
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.pi);
    testing::internal::CaptureStderr();
    EXPECT_EQ(platform_print_inv_xml_filenames(c.pi), c.rc);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  }
}

TEST(InvxmltabPrint, AllClassesInOrderWithTheirHeaders) {
  testing::internal::CaptureStderr();
  platform_print_inv_xml_all_filenames();
  const std::vector<std::string> lines = lines_of(testing::internal::GetCapturedStderr());
  struct Section {
    const char* header;
    size_t rows;
  };
  constexpr Section kSections[] = {
      {" INV_HW_RACK_LCC, pi_hw_type: 1 ", 5},  {" INV_HW_RACK_FCC, pi_hw_type: 2 ", 0},
      {" INV_HW_RP, pi_hw_type: 3 ", 5},        {" INV_HW_XC, pi_hw_type: 16 ", 1},
      {" INV_HW_LC, pi_hw_type: 4 ", 30},       {" INV_HW_FC, pi_hw_type: 6 ", 6},
      {" INV_HW_FANTRAY, pi_hw_type: 7 ", 14},  {" INV_HW_POWERSHELF, pi_hw_type: 8 ", 0},
      {" INV_HW_PEM, pi_hw_type: 9 ", 13},      {" INV_HW_CRAFT, pi_hw_type: 11 ", 0},
      {" INV_HW_PORTMODULE, pi_hw_type: 12 ", 0},
  };
  // Each header is "\n<text>\n": an empty line, the text, then its rows.
  size_t at = 0;
  for (const auto& s : kSections) {
    SCOPED_TRACE(s.header);
    ASSERT_LT(at + 1, lines.size());
    EXPECT_EQ(lines[at], "");
    EXPECT_EQ(lines[at + 1], s.header);
    at += 2;
    for (size_t r = 0; r < s.rows; ++r, ++at) {
      ASSERT_LT(at, lines.size());
      EXPECT_EQ(lines[at].rfind("pd_hw_type: ", 0), 0u) << lines[at];
    }
  }
  EXPECT_EQ(at, lines.size());
}

}  // namespace

#include "qyx_sysctl.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <fstream>
#include <string>

#include "simpaths.h"

namespace {

constexpr char kKey[] = "tolvu.zul.qyx.platform.psu.voltage_sensor_support";

// A root directory of its own with the properties file written into it.
class QyxSysctl : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/qyx_sysctl_test.XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    root_ = tmpl;
    setenv(SIM_PATH_ROOT_ENV, root_.c_str(), 1);
    ASSERT_EQ(sim_mkdirs((root_ + "/etc").c_str()), 0);
    qyx_sysctl_set(kKey, nullptr);
  }
  void TearDown() override {
    unlink((root_ + "/etc/qyx_sysctl.conf").c_str());
    rmdir((root_ + "/etc").c_str());
    rmdir(root_.c_str());
    unsetenv(SIM_PATH_ROOT_ENV);
  }
  void write(const std::string& text) {
    std::ofstream(root_ + "/etc/qyx_sysctl.conf") << text;
  }
  std::string root_;
};

TEST_F(QyxSysctl, MissingPropertyGivesTheDefault) {
  EXPECT_FALSE(qyx_sysctl_get_bool(kKey, false));
  EXPECT_TRUE(qyx_sysctl_get_bool(kKey, true));
}

TEST_F(QyxSysctl, FileValuesReadAsBooleans) {
  struct Case {
    const char* text;
    bool def;
    bool expected;
  };
  const Case cases[] = {
      {"true", false, true},  {"YES", false, true}, {"1", false, true},   {"on", false, true},
      {"false", true, false}, {"0", true, false},   {"Off", true, false}, {"maybe", true, true},
      {"maybe", false, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    write(std::string("# platform\n  ") + kKey + " = " + c.text + "  # comment\nother=1\n");
    EXPECT_EQ(qyx_sysctl_get_bool(kKey, c.def), c.expected);
  }
}

TEST_F(QyxSysctl, ProcessSettingWinsOverTheFileAndCanBeRemoved) {
  write(std::string(kKey) + "=false\n");
  ASSERT_EQ(qyx_sysctl_set(kKey, "true"), 0);
  EXPECT_TRUE(qyx_sysctl_get_bool(kKey, false));
  ASSERT_EQ(qyx_sysctl_set(kKey, nullptr), 0);
  EXPECT_FALSE(qyx_sysctl_get_bool(kKey, true));
  EXPECT_EQ(qyx_sysctl_set("", "1"), -1);
}

}  // namespace

TEST_F(QyxSysctl, SizesReadAsDecimalOrHexadecimal) {
  struct Case {
    const char* text;  // null: the property is missing
    size_t expected;
  };
  const Case cases[] = {
      {nullptr, 850}, {"1050", 1050}, {"0x400", 1024}, {"0", 0},
      {"-5", 850},    {"12W", 850},   {"", 850},       {"+7", 850},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text ? c.text : "(missing)");
    write(c.text ? std::string(kKey) + "=" + c.text + "\n" : std::string("other=1\n"));
    EXPECT_EQ(qyx_sysctl_get_size(kKey, 850), c.expected);
  }
}

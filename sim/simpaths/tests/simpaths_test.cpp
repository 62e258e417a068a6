#include "simpaths.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

namespace {

class RootEnv {
 public:
  explicit RootEnv(const char* value) {
    const char* old = getenv(SIM_PATH_ROOT_ENV);
    had_ = old != nullptr;
    if (had_) old_ = old;
    if (value != nullptr) {
      setenv(SIM_PATH_ROOT_ENV, value, 1);
    } else {
      unsetenv(SIM_PATH_ROOT_ENV);
    }
  }
  ~RootEnv() {
    if (had_) {
      setenv(SIM_PATH_ROOT_ENV, old_.c_str(), 1);
    } else {
      unsetenv(SIM_PATH_ROOT_ENV);
    }
  }

 private:
  bool had_ = false;
  std::string old_;
};

TEST(SimPath, PrefixesTheRootFromTheEnvironment) {
  struct Case {
    const char* name;
    const char* root;  // null: unset
    const char* fixed;
    const char* expected;
  };
  const Case cases[] = {
      {"unset root", nullptr, "/tmp/envmon_dump", "/tmp/envmon_dump"},
      {"empty root", "", "/etc/onl/whitebox", "/etc/onl/whitebox"},
      {"root", "/work/r1", "/tmp/envmon_dump", "/work/r1/tmp/envmon_dump"},
      {"root with trailing slash", "/work/r1/", "/opt/x/", "/work/r1/opt/x/"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    RootEnv env(c.root);
    char out[128];
    ASSERT_EQ(sim_path(c.fixed, out, sizeof out), out);
    EXPECT_STREQ(out, c.expected);
  }
}

TEST(SimPath, RefusesWhatDoesNotFit) {
  RootEnv env("/a/long/root/directory");
  char out[24];
  EXPECT_EQ(sim_path("/tmp/envmon_dump", out, sizeof out), nullptr);
  EXPECT_STREQ(out, "");
  EXPECT_EQ(sim_path(nullptr, out, sizeof out), nullptr);
  EXPECT_EQ(sim_path("/x", nullptr, 10), nullptr);
  // Exactly full: the terminator needs the last byte.
  char exact[22 + 3 + 1];
  EXPECT_EQ(sim_path("/ab", exact, sizeof exact - 1), nullptr);
  EXPECT_EQ(sim_path("/ab", exact, sizeof exact), exact);
  EXPECT_STREQ(exact, "/a/long/root/directory/ab");
}

TEST(SimMkdirs, CreatesNestedDirectoriesAndAcceptsExisting) {
  char tmpl[] = "/tmp/simpaths_test.XXXXXX";
  ASSERT_NE(mkdtemp(tmpl), nullptr);
  std::string nested = std::string(tmpl) + "/a/b/c";
  EXPECT_EQ(sim_mkdirs(nested.c_str()), 0);
  struct stat st {};
  ASSERT_EQ(stat(nested.c_str(), &st), 0);
  EXPECT_TRUE(S_ISDIR(st.st_mode));
  EXPECT_EQ(sim_mkdirs(nested.c_str()), 0);
  std::string file = std::string(tmpl) + "/a/file";
  FILE* f = fopen(file.c_str(), "w");
  ASSERT_NE(f, nullptr);
  fclose(f);
  EXPECT_EQ(sim_mkdirs((file + "/under").c_str()), -1);
  EXPECT_EQ(sim_mkdirs(""), -1);
  std::string cmd = std::string("rm -rf ") + tmpl;
  ASSERT_EQ(system(cmd.c_str()), 0);
}

}  // namespace

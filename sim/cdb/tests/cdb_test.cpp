#include <gtest/gtest.h>

#include <string>

#include "cdb.h"
#include "cdb_store.h"

namespace {

constexpr const char kAlt[] = "/environment/config/router/altitude";
constexpr const char kFan[] = "/environment/config/raise-fan-speed";

// The keys of a configuration as the configuration client reads them: one
// item for all racks, one with a list of racks, a date, a text.
class CdbReads : public ::testing::Test {
 protected:
  void SetUp() override {
    cdbstore::Store s;
    auto put = [&](const std::string& path, const char* value) {
      std::string v = value ? value : "";
      ASSERT_TRUE(s.set(path, value ? &v : nullptr)) << path;
    };
    put(std::string(kAlt) + "/rack_loc/all", nullptr);
    put(std::string(kAlt) + "/all/num_meters", "1200");
    put(std::string(kFan) + "/rack_loc/location[0]/rackId", "39");
    put(std::string(kFan) + "/rack_loc/location[0]/speed_pwm", "80");
    put(std::string(kFan) + "/rack_loc/location[1]/rackId", "2");
    put(std::string(kFan) + "/rack_loc/location[1]/speed_pwm", "70");
    put("/environment/config/air-filter/replaced/all/date", "2024-03-15");
    put("/environment/config/air-filter/badmonth/all/date", "2024-13-15");
    put("/environment/config/air-filter/zoned/all/date", "2023-11-02 -60");
    put("/x/text", "abc");
    put("/x/negative", "-5");
    put("/x/big", "4294967296");
    cfg_ = cdbstore::snapshot_open(s.all());
  }
  void TearDown() override { cdbstore::snapshot_close(cfg_); }
  int cfg_ = 0;
};

TEST_F(CdbReads, ExistsAndInstances) {
  struct Case {
    std::string path;
    int exists;
    int instances;
  };
  const std::string alt = kAlt;
  const std::string fan = kFan;
  const Case kCases[] = {
      {kAlt, 1, 1},
      {(alt + "/rack_loc/all"), 1, 1},
      {"/environment/config/router/alt", 0, 0},  // a shorter step name is another key
      {(fan + "/rack_loc/location"), 1, 2},
      {(fan + "/rack_loc/location[1]"), 1, 1},
      {(fan + "/rack_loc/location[2]"), 0, 0},
      {"/nothing/here", 0, 0},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.path);
    EXPECT_EQ(cdb_exists(cfg_, "%s", c.path.c_str()), c.exists);
    EXPECT_EQ(cdb_num_instances(cfg_, "%s", c.path.c_str()), c.instances);
  }
}

TEST_F(CdbReads, ValuesByKind) {
  uint32_t u = 7;
  EXPECT_EQ(cdb_get_u_int32(cfg_, &u, "%s/all/num_meters", kAlt), CDB_OK);
  EXPECT_EQ(u, 1200u);
  struct Case {
    const char* path;
    int rc;
  };
  constexpr Case kU32[] = {
      {"/x/text", CDB_ERR_BAD_VALUE},   {"/x/negative", CDB_ERR_BAD_VALUE},
      {"/x/big", CDB_ERR_BAD_VALUE},    {"/x/missing", CDB_ERR_NOT_FOUND},
      {"/environment/config/router/altitude/rack_loc/all", CDB_ERR_NOT_FOUND},  // no value
  };
  for (const auto& c : kU32) {
    SCOPED_TRACE(c.path);
    u = 7;
    EXPECT_EQ(cdb_get_u_int32(cfg_, &u, "%s", c.path), c.rc);
    EXPECT_EQ(u, 7u) << "a failed read must leave the value alone";
  }
  int32_t e = 0;
  EXPECT_EQ(cdb_get_enum_value(cfg_, &e, "%s%s[%d]%s", (std::string(kFan) + "/rack_loc").c_str(),
                               "/location", 1, "/rackId"),
            CDB_OK);
  EXPECT_EQ(e, 2);
  EXPECT_EQ(cdb_get_enum_value(cfg_, &e, "/x/negative"), CDB_OK);
  EXPECT_EQ(e, -5);

  struct DateCase {
    const char* path;
    int rc;
    cdb_date want;
  };
  constexpr DateCase kDates[] = {
      {"/environment/config/air-filter/replaced/all/date", CDB_OK, {2024, 3, 15, 0}},
      {"/environment/config/air-filter/zoned/all/date", CDB_OK, {2023, 11, 2, -60}},
      {"/environment/config/air-filter/badmonth/all/date", CDB_ERR_BAD_VALUE, {}},
      {"/x/text", CDB_ERR_BAD_VALUE, {}},
  };
  for (const auto& c : kDates) {
    SCOPED_TRACE(c.path);
    cdb_date d{};
    EXPECT_EQ(cdb_get_date(cfg_, &d, "%s", c.path), c.rc);
    if (c.rc == CDB_OK) {
      EXPECT_EQ(d.year, c.want.year);
      EXPECT_EQ(d.month, c.want.month);
      EXPECT_EQ(d.day, c.want.day);
      EXPECT_EQ(d.tz, c.want.tz);
    }
  }
  static_assert(sizeof(cdb_date) == 6);
}

TEST_F(CdbReads, ClosedOrUnknownHandlesAndLongPaths) {
  uint32_t u = 0;
  EXPECT_EQ(cdb_set_namespace(cfg_, 0x6493164f), CDB_OK);
  EXPECT_EQ(cdb_set_namespace(cfg_ + 1000, 0x6493164f), CDB_ERR_BAD_HANDLE);
  EXPECT_EQ(cdb_exists(cfg_ + 1000, "%s", kAlt), 0);
  EXPECT_EQ(cdb_num_instances(-1, "%s", kAlt), 0);
  EXPECT_EQ(cdb_get_u_int32(cfg_ + 1000, &u, "%s/all/num_meters", kAlt), CDB_ERR_BAD_HANDLE);
  const std::string long_path(CDB_MAX_PATH + 10, 'a');
  EXPECT_EQ(cdb_get_u_int32(cfg_, &u, "/%s", long_path.c_str()), CDB_ERR_PATH_TOO_LONG);
  EXPECT_EQ(cdb_exists(cfg_, "/%s", long_path.c_str()), 0);

  const int other = cdbstore::snapshot_open({});
  cdbstore::snapshot_close(other);
  EXPECT_EQ(cdb_exists(other, "%s", kAlt), 0) << "a closed handle shows nothing";
}

TEST(CdbStore, SettingAndErasing) {
  cdbstore::Store s;
  const std::string v = "1";
  struct Case {
    const char* path;
    bool ok;
  };
  constexpr Case kPaths[] = {{"/a/b", true},  {"a/b", false}, {"/a//b", false},
                             {"/a/b/", false}, {"/", false},   {"/a b", false}};
  for (const auto& c : kPaths) {
    SCOPED_TRACE(c.path);
    EXPECT_EQ(s.set(c.path, &v), c.ok);
  }
  s.set("/a/b[0]/c", &v);
  s.set("/a/bc", &v);
  s.set("/a/b/d", nullptr);
  EXPECT_EQ(s.erase("/a/b"), 3u);  // /a/b, /a/b[0]/c, /a/b/d; not /a/bc
  EXPECT_FALSE(s.exists("/a/b"));
  EXPECT_TRUE(s.exists("/a/bc"));
  ASSERT_NE(s.value("/a/bc"), nullptr);
  EXPECT_EQ(*s.value("/a/bc"), "1");
}

}  // namespace

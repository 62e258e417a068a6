#include <gtest/gtest.h>

#include <set>

#include "envcore_test_util.h"

namespace {

class CardTypes : public ::testing::Test {
 protected:
  void SetUp() override { envcore_standin_reset(); }
};

TEST_F(CardTypes, RangeEdgesAndTheirNeighbours) {
  struct Case {
    uint32_t code;
    bool rp, other, fabric;
  };
  const Case cases[] = {
      {0xd7c, false, false, false},     {0xd7d, true, false, false},
      {0xd7e, true, false, false},      {0xd7f, false, false, false},
      {0x1f0801, false, false, false},  {0x1f0802, true, false, false},
      {0x1f0807, true, false, false},   {0x60020107, false, false, false},
      {0x6002020d, true, false, false}, {0x70022011, true, false, false},
      {0x70022012, false, false, false}, {0xc93, false, true, false},
      {0x3f0500, false, true, false},   {0x3f0600, false, true, false},
      {0x3f0601, false, false, false},  {0xfa0a11, false, true, false},
      {0x697a, false, false, true},     {0x697d, false, false, false},
      {0x460628, false, false, false},  {0x46062c, false, false, true},
      {0, false, false, false},         {0xffffffff, false, false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << std::hex << "0x" << c.code);
    EXPECT_EQ(envmon_is_rp_card_type(c.code), c.rp);
    EXPECT_EQ(envmon_is_other_loc_card_type(c.code), c.other);
    EXPECT_EQ(envmon_is_fabric_dep_card_type(c.code), c.fabric);
  }
}

TEST_F(CardTypes, TheRouteProcessorListsAgree) {
  // The driver client's 120 codes are the route-processor list and 0x520d; the
  // hardware abstraction's 115 leave out 0x1f0802-0x1f0804 and 0x1f0807.
  std::set<uint32_t> sc(envmon_rp_sc_card_types, envmon_rp_sc_card_types + envmon_rp_sc_card_types_count);
  std::set<uint32_t> hal(envmon_rp_card_types, envmon_rp_card_types + envmon_rp_card_types_count);
  EXPECT_EQ(sc.size(), 120u);
  EXPECT_EQ(hal.size(), 115u);
  for (uint32_t code : sc) {
    SCOPED_TRACE(code);
    EXPECT_EQ(envmon_is_rp_card_type(code), code != 0x520d);
    EXPECT_FALSE(envmon_is_fabric_dep_card_type(code));
    EXPECT_EQ(envmon_is_other_loc_card_type(code), code == 0x520d);
  }
  for (uint32_t code : hal) EXPECT_TRUE(sc.count(code)) << code;
  for (uint32_t code : {0x1f0802u, 0x1f0803u, 0x1f0804u, 0x1f0807u, 0x520du})
    EXPECT_FALSE(hal.count(code)) << code;
}

TEST_F(CardTypes, PublishingCards) {
  struct Case {
    const char* name;
    uint32_t code;
    int fc_remote;
    bool hosts_rack, publishes;
  };
  const Case cases[] = {
      {"route processor", 0x1e0810, 0, true, true},
      {"0x520d publishes but never hosts the rack scope", 0x520d, 0, false, true},
      {"fabric-dependent, fabric cards local", 0x420845, 0, false, true},
      {"fabric-dependent, fabric cards remote", 0x420845, 1, false, false},
      {"in no list", 0x12345678, 0, false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    envcore_standin().fc_remote = c.fc_remote;
    EXPECT_EQ(envmon_is_rp_card_type(c.code), c.hosts_rack);
    EXPECT_EQ(envmon_is_publishing_card_type(c.code), c.publishes);
  }
}

}  // namespace

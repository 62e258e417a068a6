#include <gtest/gtest.h>

#include <stdlib.h>
#include <string.h>

#include <string>

#include "inv_util.h"

namespace {

inv_eid make_inv(uint16_t rack, uint16_t slot, std::initializer_list<inv_eid_level> levels) {
  inv_eid e;
  memset(&e, 0, sizeof(e));
  e.rack = rack;
  e.slot = slot;
  for (const auto& l : levels) e.levels[e.level_count++] = l;
  return e;
}

struct PelmGuard {
  pelm_eid e{};
  ~PelmGuard() { free(e.tsi); }
};

TEST(InvUtil, ConvertRoundTripKeepsEveryLevel) {
  inv_eid in = make_inv(0xfffe, 7, {{5, 2, 1}, {8, 25, 3}, {8, 29, 65535}});
  PelmGuard p;
  ASSERT_EQ(inv_util_convert_eid_to_pelm_eid(&in, &p.e), INV_UTIL_OK);
  EXPECT_EQ(p.e.rack, 0xfffeu);
  EXPECT_EQ(p.e.slot, 7u);
  ASSERT_EQ(p.e.tsi_count, 3u);
  EXPECT_EQ(p.e.tsi[2].instance, 65535u);
  EXPECT_TRUE(p.e.present & PELM_EID_HAS_TSI);
  inv_eid back;
  ASSERT_EQ(inv_util_convert_pelm_eid_to_eid(&p.e, &back), INV_UTIL_OK);
  EXPECT_EQ(memcmp(&in, &back, sizeof(in)), 0);
}

TEST(InvUtil, RefusesLevelCountsAboveSixteen) {
  inv_eid in = make_inv(1, 2, {});
  in.level_count = 17;
  pelm_eid p{};
  EXPECT_NE(inv_util_convert_eid_to_pelm_eid(&in, &p), INV_UTIL_OK);
  EXPECT_EQ(p.tsi, nullptr);
  inv_eid out;
  EXPECT_NE(inv_util_copy_eid_to_eid(&in, &out, 17), INV_UTIL_OK);
  EXPECT_NE(inv_util_sanitize_eid(&in), INV_UTIL_OK);

  pelm_tsi levels[17] = {};
  pelm_eid big{};
  big.tsi = levels;
  big.tsi_count = 17;
  EXPECT_NE(inv_util_convert_pelm_eid_to_eid(&big, &out), INV_UTIL_OK);
  pelm_eid copy{};
  EXPECT_NE(inv_util_copy_pelm_eid_to_pelm_eid(&big, &copy), INV_UTIL_OK);
  EXPECT_EQ(copy.tsi, nullptr);
}

TEST(InvUtil, PelmToInventoryRefusesValuesThatDoNotFit) {
  struct Case {
    const char* name;
    uint32_t rack, slot;
    pelm_tsi level;
  };
  const Case cases[] = {
      {"rack above 16 bits", 0x10000, 1, {8, 25, 1}},
      {"slot above 16 bits", 1, 0x10000, {8, 25, 1}},
      {"type above 8 bits", 1, 1, {256, 25, 1}},
      {"subtype above 8 bits", 1, 1, {8, 256, 1}},
      {"instance above 16 bits", 1, 1, {8, 25, 65536}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    pelm_tsi l = c.level;
    pelm_eid p{};
    p.rack = c.rack;
    p.slot = c.slot;
    p.tsi = &l;
    p.tsi_count = 1;
    inv_eid out;
    EXPECT_NE(inv_util_convert_pelm_eid_to_eid(&p, &out), INV_UTIL_OK);
  }
}

TEST(InvUtil, CopyPelmIsDeep) {
  pelm_tsi levels[2] = {{5, 2, 1}, {8, 25, 4}};
  pelm_eid src{};
  src.rack = 3;
  src.slot = 9;
  src.tsi = levels;
  src.tsi_count = 2;
  PelmGuard dst;
  ASSERT_EQ(inv_util_copy_pelm_eid_to_pelm_eid(&src, &dst.e), INV_UTIL_OK);
  EXPECT_NE(dst.e.tsi, src.tsi);
  levels[1].instance = 99;
  EXPECT_EQ(dst.e.tsi[1].instance, 4u);
}

TEST(InvUtil, CompareNamesTheSameEntity) {
  pelm_tsi a_l[2] = {{5, 2, 1}, {8, 25, 4}};
  pelm_tsi b_l[2] = {{5, 2, 1}, {8, 25, 4}};
  pelm_eid a{}, b{};
  a.rack = b.rack = 0xfffe;
  a.slot = b.slot = 3;
  a.tsi = a_l;
  b.tsi = b_l;
  a.tsi_count = b.tsi_count = 2;
  EXPECT_EQ(pelm_eid_compare_eid(&a, &b), 0);
  b_l[1].instance = 5;
  EXPECT_NE(pelm_eid_compare_eid(&a, &b), 0);
  b_l[1].instance = 4;
  b.slot = 4;
  EXPECT_NE(pelm_eid_compare_eid(&a, &b), 0);
  b.slot = 3;
  b.tsi_count = 1;
  EXPECT_NE(pelm_eid_compare_eid(&a, &b), 0);
  EXPECT_NE(pelm_eid_compare_eid(&a, nullptr), 0);
}

TEST(InvUtil, MergeAppendsWithoutRepeatingSharedLeadingLevels) {
  inv_eid cont = make_inv(0xfffe, 0xfffe, {{3, 1, 1}, {5, 2, 1}});
  inv_eid rel = make_inv(0, 0, {{8, 25, 2}});
  inv_eid out;
  ASSERT_EQ(inv_util_merge_eid(&cont, &rel, &out), INV_UTIL_OK);
  ASSERT_EQ(out.level_count, 3);
  EXPECT_EQ(out.levels[2].subtype, 25);
  inv_eid again = make_inv(0, 0, {{3, 1, 1}, {5, 2, 1}, {8, 25, 2}});
  ASSERT_EQ(inv_util_merge_eid(&cont, &again, &out), INV_UTIL_OK);
  EXPECT_EQ(out.level_count, 3);
  EXPECT_EQ(out.rack, 0xfffe);

  inv_eid full = make_inv(0, 0, {});
  full.level_count = 16;
  for (int i = 0; i < 16; ++i) full.levels[i] = {9, 9, static_cast<uint16_t>(i)};
  EXPECT_NE(inv_util_merge_eid(&cont, &full, &out), INV_UTIL_OK);
}

TEST(InvUtil, CopyEidTakesOnlyTheGivenLevels) {
  inv_eid in = make_inv(1, 2, {{5, 2, 1}, {8, 25, 3}});
  inv_eid out;
  memset(&out, 0xff, sizeof(out));
  ASSERT_EQ(inv_util_copy_eid_to_eid(&in, &out, 1), INV_UTIL_OK);
  EXPECT_EQ(out.level_count, 1);
  EXPECT_EQ(out.levels[1].type, 0);
}

TEST(InvUtil, TextStaysInsideTheBuffer) {
  pelm_tsi levels[16];
  for (uint32_t i = 0; i < 16; ++i) levels[i] = {200, 201, 60000 + i};
  pelm_eid p{};
  p.tsi = levels;
  p.tsi_count = 16;
  char buf[40];
  memset(buf, 'x', sizeof(buf));
  inv_util_dump_pelm_eid_to_string(&p, buf, sizeof(buf));
  EXPECT_EQ(strlen(buf), sizeof(buf) - 1);
  EXPECT_EQ(std::string(buf).rfind("eid{rack=0x0 slot=0x0 tsi=200.201.60000", 0), 0u);
}

}  // namespace

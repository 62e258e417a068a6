#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

#include "nodeid.h"

namespace {

struct NodeidDeleter {
  void operator()(nodeid_rec* n) const { nodeid_destroy(n); }
};
using NodeidPtr = std::unique_ptr<nodeid_rec, NodeidDeleter>;

NodeidPtr make2(int32_t rack_type, int32_t rack_num, int32_t slot_type, int32_t slot_num,
                int32_t instance = 0) {
  nodeid_td n = nullptr;
  EXPECT_EQ(nodeid_create2(rack_type, rack_num, slot_type, slot_num, instance, &n), NODEID_OK);
  return NodeidPtr(n);
}

std::string text_of(nodeid_td n) {
  char buf[32];
  EXPECT_EQ(nodeid_to_str_external(n, buf, sizeof buf), NODEID_OK);
  return buf;
}

TEST(NodeidBackplane, EverySlotRangeAndItsEdges) {
  struct Case {
    int32_t bp;
    int32_t slot_type;
    int32_t slot_num;
    const char* text;
  };
  constexpr Case kCases[] = {
      {0, NODEID_SLOT_RP, 0, "0/RP0"},  {1, NODEID_SLOT_RP, 1, "0/RP1"},
      {2, NODEID_SLOT_SC, 0, "0/SC0"},  {3, NODEID_SLOT_SC, 1, "0/SC1"},
      {4, NODEID_SLOT_FC, 0, "0/FC0"},  {9, NODEID_SLOT_FC, 5, "0/FC5"},
      {10, NODEID_SLOT_LC, 0, "0/0"},   {25, NODEID_SLOT_LC, 15, "0/15"},
      {26, NODEID_SLOT_SW, 0, "0/SW0"}, {29, NODEID_SLOT_SW, 3, "0/SW3"},
      {30, NODEID_SLOT_PT, 0, "0/PT0"}, {33, NODEID_SLOT_PT, 3, "0/PT3"},
      {34, NODEID_SLOT_CI, 0, "0/CI0"}, {41, NODEID_SLOT_FT, 0, "0/FT0"},
      {46, NODEID_SLOT_FT, 5, "0/FT5"}, {48, NODEID_SLOT_PM, 0, "0/PM0"},
      {63, NODEID_SLOT_PM, 15, "0/PM15"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.bp);
    int32_t pi_slot = -7, slot_type = -7, slot_num = -7;
    ASSERT_EQ(interpret_backplane_slotid(c.bp, 1, &pi_slot, &slot_type, &slot_num), NODEID_OK);
    EXPECT_EQ(slot_type, c.slot_type);
    EXPECT_EQ(slot_num, c.slot_num);
    // The platform slot and the type/number pair name the same node.
    nodeid_td by_pi = nullptr;
    ASSERT_EQ(nodeid_create(0, pi_slot, 0, &by_pi), NODEID_OK);
    NodeidPtr a(by_pi);
    NodeidPtr b = make2(0, 0, slot_type, slot_num);
    EXPECT_EQ(nodeid_compare(a.get(), b.get()), 0);
    EXPECT_EQ(text_of(a.get()), c.text);
  }
}

TEST(NodeidBackplane, SlotsOutsideTheMapAndBadRackTypesAreRefused) {
  struct Case {
    int32_t bp;
    int32_t rack_type;
  };
  constexpr Case kCases[] = {{-1, 0}, {35, 0}, {40, 0}, {47, 0}, {64, 0},
                             {0xfffe, 0}, {0, -1}, {0, 16}};
  for (const auto& c : kCases) {
    SCOPED_TRACE(testing::Message() << c.bp << " type " << c.rack_type);
    int32_t pi_slot = -7, slot_type = -7, slot_num = -7;
    EXPECT_EQ(interpret_backplane_slotid(c.bp, c.rack_type, &pi_slot, &slot_type, &slot_num),
              NODEID_EINVAL);
    EXPECT_EQ(pi_slot, -7);
    EXPECT_EQ(slot_type, -7);
    EXPECT_EQ(slot_num, -7);
  }
}

TEST(NodeidBackplane, OutputsMayBeOmitted) {
  int32_t slot_num = -7;
  EXPECT_EQ(interpret_backplane_slotid(43, 0, nullptr, nullptr, &slot_num), NODEID_OK);
  EXPECT_EQ(slot_num, 2);
}

TEST(NodeidText, EveryNameRoundTripsThroughTheParser) {
  struct Case {
    int32_t rack_num;
    int32_t slot_type;
    int32_t slot_num;
    const char* text;
  };
  constexpr Case kCases[] = {
      {0, NODEID_SLOT_LC, 0, "0/0"},       {3, NODEID_SLOT_LC, 254, "3/254"},
      {0, NODEID_SLOT_RP, 1, "0/RP1"},     {255, NODEID_SLOT_SC, 0, "255/SC0"},
      {1, NODEID_SLOT_FC, 12, "1/FC12"},   {0, NODEID_SLOT_SW, 2, "0/SW2"},
      {0, NODEID_SLOT_PT, -1, "0/PT"},     {0, NODEID_SLOT_PT, 1, "0/PT1"},
      {7, NODEID_SLOT_FT, 5, "7/FT5"},     {0, NODEID_SLOT_PM, -1, "0/PM"},
      {0, NODEID_SLOT_PM, 15, "0/PM15"},   {0, NODEID_SLOT_CI, 0, "0/CI0"},
      {0, NODEID_SLOT_RP, -1, "0/RP"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.text);
    NodeidPtr n = make2(0, c.rack_num, c.slot_type, c.slot_num);
    EXPECT_EQ(text_of(n.get()), c.text);
    nodeid_td parsed = nullptr;
    ASSERT_EQ(nodeid_from_str_external(c.text, &parsed), NODEID_OK);
    NodeidPtr p(parsed);
    EXPECT_EQ(nodeid_compare(n.get(), p.get()), 0);
  }
}

TEST(NodeidText, ParserRefusesWhatThePrinterNeverMakes) {
  constexpr const char* kBad[] = {"",       "0",       "0/",      "/RP0",    "00/RP0",
                                  "0/RP01", "0/RP0x",  "256/RP0", "0/RP255", "0/XX0",
                                  "0/RP0/1", "-1/RP0", "0/rp0",   " 0/RP0",  "0/-1",
                                  "0/1000", "1234/0",  "0//RP0",  "0/RP 0",  "0/+3"};
  for (const char* text : kBad) {
    SCOPED_TRACE(text);
    nodeid_td out = reinterpret_cast<nodeid_td>(0x1);
    EXPECT_EQ(nodeid_from_str_external(text, &out), NODEID_EINVAL);
    EXPECT_EQ(out, reinterpret_cast<nodeid_td>(0x1));
  }
  nodeid_td out = nullptr;
  EXPECT_EQ(nodeid_from_str_external(nullptr, &out), NODEID_EINVAL);
  EXPECT_EQ(nodeid_from_str_external("0/RP0", nullptr), NODEID_EINVAL);
}

TEST(NodeidText, ParsedNodesCarryRackTypeAndInstanceZero) {
  nodeid_td parsed = nullptr;
  ASSERT_EQ(nodeid_from_str_external("2/FT1", &parsed), NODEID_OK);
  NodeidPtr p(parsed);
  int32_t rack_type = -1, rack_num = -1, slot_type = -1, slot_num = -1, instance = -1;
  ASSERT_EQ(nodeid_extract_fields2(p.get(), &rack_type, &rack_num, &slot_type, &slot_num, &instance),
            NODEID_OK);
  EXPECT_EQ(rack_type, 0);
  EXPECT_EQ(rack_num, 2);
  EXPECT_EQ(slot_type, NODEID_SLOT_FT);
  EXPECT_EQ(slot_num, 1);
  EXPECT_EQ(instance, 0);
}

TEST(NodeidText, TooSmallBufferFailsAndLeavesTheEmptyText) {
  NodeidPtr n = make2(0, 12, NODEID_SLOT_PM, 15);  // "12/PM15", 7 characters
  char buf[16];
  EXPECT_EQ(nodeid_to_str_external(n.get(), buf, 8), NODEID_OK);
  EXPECT_STREQ(buf, "12/PM15");
  memset(buf, 'x', sizeof buf);
  EXPECT_EQ(nodeid_to_str_external(n.get(), buf, 7), NODEID_ENOSPC);
  EXPECT_EQ(buf[0], '\0');
  EXPECT_EQ(buf[7], 'x');  // nothing written past the given length
  EXPECT_EQ(nodeid_to_str_external(n.get(), buf, 0), NODEID_EINVAL);
  EXPECT_EQ(nodeid_to_str_external(n.get(), nullptr, 32), NODEID_EINVAL);
  memset(buf, 'x', sizeof buf);
  EXPECT_EQ(nodeid_to_str_external(nullptr, buf, sizeof buf), NODEID_EINVAL);
  EXPECT_EQ(buf[0], '\0');
}

TEST(NodeidRack, RackIdsRoundTripAndPrint) {
  struct Case {
    int32_t rack_type;
    int32_t rack_num;
    uint32_t rack;
    const char* text;
  };
  constexpr Case kCases[] = {
      {0, 0, 0x0, "0"}, {1, 0, 0x100, "0"}, {0, 255, 0xff, "255"}, {15, 7, 0xf07, "7"}};
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.rack);
    uint32_t rack = 0xdead;
    ASSERT_EQ(nodeid_rack_create(c.rack_type, c.rack_num, &rack), NODEID_OK);
    EXPECT_EQ(rack, c.rack);
    int32_t type = -1, num = -1;
    ASSERT_EQ(nodeid_extract_rack_fields(rack, &type, &num), NODEID_OK);
    EXPECT_EQ(type, c.rack_type);
    EXPECT_EQ(num, c.rack_num);
    char buf[8];
    ASSERT_EQ(nodeid_RACK_to_str_external(rack, buf, sizeof buf), NODEID_OK);
    EXPECT_STREQ(buf, c.text);
  }
  uint32_t parsed = 0xdead;
  ASSERT_EQ(nodeid_RACK_from_str_external("42", &parsed), NODEID_OK);
  EXPECT_EQ(parsed, 42u);
}

TEST(NodeidRack, InvalidRacksAreRefused) {
  struct Case {
    int32_t rack_type;
    int32_t rack_num;
  };
  constexpr Case kBadFields[] = {{-1, 0}, {16, 0}, {0, -1}, {0, 256}};
  for (const auto& c : kBadFields) {
    SCOPED_TRACE(testing::Message() << c.rack_type << "/" << c.rack_num);
    uint32_t rack = 0xdead;
    EXPECT_EQ(nodeid_rack_create(c.rack_type, c.rack_num, &rack), NODEID_EINVAL);
    EXPECT_EQ(rack, 0xdeadu);
  }
  EXPECT_EQ(nodeid_rack_create(0, 0, nullptr), NODEID_EINVAL);
  // 0xfffe stands for "this card" in entity ids and is no rack id.
  constexpr uint32_t kBadRacks[] = {0xfffe, 0x1000, 0xffffffff};
  for (uint32_t rack : kBadRacks) {
    SCOPED_TRACE(rack);
    char buf[8] = "x";
    EXPECT_EQ(nodeid_RACK_to_str_external(rack, buf, sizeof buf), NODEID_EINVAL);
    EXPECT_EQ(buf[0], '\0');
    EXPECT_EQ(nodeid_extract_rack_fields(rack, nullptr, nullptr), NODEID_EINVAL);
    nodeid_td n = nullptr;
    EXPECT_EQ(nodeid_create(rack, 0, 0, &n), NODEID_EINVAL);
  }
  char small[2];
  EXPECT_EQ(nodeid_RACK_to_str_external(0x0c, small, sizeof small), NODEID_ENOSPC);
  constexpr const char* kBadTexts[] = {"", "x", "256", "01", "1/", "-1"};
  for (const char* text : kBadTexts) {
    SCOPED_TRACE(text);
    uint32_t rack = 0xdead;
    EXPECT_EQ(nodeid_RACK_from_str_external(text, &rack), NODEID_EINVAL);
    EXPECT_EQ(rack, 0xdeadu);
  }
}

TEST(NodeidCreate, BothViewsOfANodeAgree) {
  uint32_t rack = 0;
  ASSERT_EQ(nodeid_rack_create(1, 2, &rack), NODEID_OK);
  nodeid_td by_rack = nullptr;
  const int32_t pi_slot = (NODEID_SLOT_FT << 8) | 3;
  ASSERT_EQ(nodeid_create(rack, pi_slot, 9, &by_rack), NODEID_OK);
  NodeidPtr a(by_rack);
  NodeidPtr b = make2(1, 2, NODEID_SLOT_FT, 3, 9);
  EXPECT_EQ(nodeid_compare(a.get(), b.get()), 0);

  uint32_t got_rack = 0;
  int32_t got_slot = 0;
  ASSERT_EQ(nodeid_extract_fields(b.get(), &got_rack, &got_slot), NODEID_OK);
  EXPECT_EQ(got_rack, rack);
  EXPECT_EQ(got_slot, pi_slot);

  // A line card's platform slot is its number, as the port-adapter locations expect.
  nodeid_td lc = nullptr;
  ASSERT_EQ(nodeid_create(0, 4, 1, &lc), NODEID_OK);
  NodeidPtr l(lc);
  EXPECT_EQ(text_of(l.get()), "0/4");
  // A slot number of -1 survives the platform-slot view.
  NodeidPtr none = make2(0, 0, NODEID_SLOT_PT, -1);
  ASSERT_EQ(nodeid_extract_fields(none.get(), nullptr, &got_slot), NODEID_OK);
  nodeid_td again = nullptr;
  ASSERT_EQ(nodeid_create(0, got_slot, 0, &again), NODEID_OK);
  NodeidPtr g(again);
  EXPECT_EQ(nodeid_compare(none.get(), g.get()), 0);
}

TEST(NodeidCreate, InvalidFieldsAreRefused) {
  struct Case {
    const char* name;
    int32_t rack_type, rack_num, slot_type, slot_num, instance;
  };
  constexpr Case kCases[] = {
      {"rack type -1", -1, 0, 1, 0, 0},   {"rack type 16", 16, 0, 1, 0, 0},
      {"rack -1", 0, -1, 1, 0, 0},        {"rack 256", 0, 256, 1, 0, 0},
      {"slot type -1", 0, 0, -1, 0, 0},   {"slot type 9", 0, 0, 9, 0, 0},
      {"slot -2", 0, 0, 1, -2, 0},        {"slot 255", 0, 0, 1, 255, 0},
      {"line card without number", 0, 0, NODEID_SLOT_LC, -1, 0},
      {"instance -1", 0, 0, 1, 0, -1},    {"instance 65536", 0, 0, 1, 0, 65536},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    nodeid_td n = reinterpret_cast<nodeid_td>(0x1);
    EXPECT_EQ(nodeid_create2(c.rack_type, c.rack_num, c.slot_type, c.slot_num, c.instance, &n),
              NODEID_EINVAL);
    EXPECT_EQ(n, reinterpret_cast<nodeid_td>(0x1));
  }
  EXPECT_EQ(nodeid_create2(0, 0, 1, 0, 0, nullptr), NODEID_EINVAL);
  constexpr int32_t kBadPiSlots[] = {-1, 0xfffe, 0x900, 0x10000, 0x0ff};
  for (int32_t pi : kBadPiSlots) {
    SCOPED_TRACE(pi);
    nodeid_td n = nullptr;
    EXPECT_EQ(nodeid_create(0, pi, 0, &n), NODEID_EINVAL);
  }
}

TEST(NodeidCreate, CopyOutlivesItsSource) {
  nodeid_td src = nullptr;
  ASSERT_EQ(nodeid_create2(0, 1, NODEID_SLOT_RP, 0, 0, &src), NODEID_OK);
  nodeid_td copy = nullptr;
  ASSERT_EQ(nodeid_create0(src, &copy), NODEID_OK);
  NodeidPtr c(copy);
  EXPECT_NE(copy, src);
  EXPECT_EQ(nodeid_compare(src, copy), 0);
  nodeid_destroy(src);
  EXPECT_EQ(nodeid_validate(copy), NODEID_OK);
  EXPECT_EQ(text_of(copy), "1/RP0");
  nodeid_td none = nullptr;
  EXPECT_EQ(nodeid_create0(nullptr, &none), NODEID_EINVAL);
  EXPECT_EQ(none, nullptr);
  nodeid_destroy(nullptr);
}

TEST(NodeidCreate, ValidateAndExtractRefuseNull) {
  EXPECT_EQ(nodeid_validate(nullptr), NODEID_EINVAL);
  NodeidPtr n = make2(0, 0, NODEID_SLOT_SC, 1);
  EXPECT_EQ(nodeid_validate(n.get()), NODEID_OK);
  int32_t v = -9;
  EXPECT_EQ(nodeid_extract_fields2(nullptr, &v, &v, &v, &v, &v), NODEID_EINVAL);
  EXPECT_EQ(v, -9);
  EXPECT_EQ(nodeid_extract_fields(nullptr, nullptr, &v), NODEID_EINVAL);
  // Every output of the field views may be omitted.
  EXPECT_EQ(nodeid_extract_fields2(n.get(), nullptr, nullptr, nullptr, &v, nullptr), NODEID_OK);
  EXPECT_EQ(v, 1);
}

TEST(NodeidCompare, OrdersByEveryField) {
  NodeidPtr base = make2(1, 1, 1, 1, 1);
  struct Case {
    const char* name;
    NodeidPtr other;
  };
  Case cases[] = {{"rack type", make2(2, 1, 1, 1, 1)}, {"rack", make2(1, 2, 1, 1, 1)},
                  {"slot type", make2(1, 1, 2, 1, 1)}, {"slot", make2(1, 1, 1, 2, 1)},
                  {"instance", make2(1, 1, 1, 1, 2)}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_LT(nodeid_compare(base.get(), c.other.get()), 0);
    EXPECT_GT(nodeid_compare(c.other.get(), base.get()), 0);
  }
  EXPECT_EQ(nodeid_compare(nullptr, nullptr), 0);
  EXPECT_NE(nodeid_compare(base.get(), nullptr), 0);
  EXPECT_NE(nodeid_compare(nullptr, base.get()), 0);
}

TEST(NodeidPack, WordsRoundTripAndBadWordsAreRefused) {
  NodeidPtr n = make2(3, 200, NODEID_SLOT_PT, -1, 65535);
  uint64_t word = 0;
  ASSERT_EQ(nodeid_pack(n.get(), &word), NODEID_OK);
  nodeid_td back = nullptr;
  ASSERT_EQ(nodeid_unpack(word, &back), NODEID_OK);
  NodeidPtr b(back);
  EXPECT_EQ(nodeid_compare(n.get(), b.get()), 0);

  EXPECT_EQ(nodeid_pack(nullptr, &word), NODEID_EINVAL);
  EXPECT_EQ(nodeid_pack(n.get(), nullptr), NODEID_EINVAL);
  const uint64_t kBadWords[] = {
      word | (1ull << 48),                   // bits above the instance
      (word & ~0xffull) | 16,                // rack type 16
      (word & ~0xffff0000ull) | (9ull << 24),  // slot type 9
      (word & ~0xffff0000ull) | (0xffull << 16),  // line card without number
  };
  for (uint64_t bad : kBadWords) {
    SCOPED_TRACE(bad);
    nodeid_td out = nullptr;
    EXPECT_EQ(nodeid_unpack(bad, &out), NODEID_EINVAL);
    EXPECT_EQ(out, nullptr);
  }
}

}  // namespace

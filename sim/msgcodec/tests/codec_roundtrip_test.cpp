// Round trips of every field kind, presence handling and the needed-size rule.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "codec_test_records.h"
#include "tlg_test.h"

namespace {

template <size_t N>
void set_text(char (&dst)[N], const char* text) {
  std::snprintf(dst, N, "%s", text);
}

std::vector<uint8_t> encode(const kind_all& rec) {
  const int need = msgcodec_kind_all_encode_ext(&rec, nullptr, 0);
  EXPECT_GE(need, 0);
  std::vector<uint8_t> out(static_cast<size_t>(need > 0 ? need : 0));
  EXPECT_EQ(msgcodec_kind_all_encode_ext(&rec, out.data(), out.size()), need);
  return out;
}

// A record with every field present and values at the edges of their widths.
struct FullRecord {
  char text[300];
  uint8_t bytes[5] = {0x00, 0xff, 0x00, 0x7f, 0x80};
  kind_inner list[3] = {};
  int64_t ints[4] = {std::numeric_limits<int64_t>::min(), -1, 0, std::numeric_limits<int64_t>::max()};
  kind_all rec = {};

  FullRecord() {
    std::memset(text, 'x', sizeof text - 1);
    text[sizeof text - 1] = '\0';
    rec.u8 = 0xff;
    rec.i8 = -128;
    rec.u16 = 0xfffe;
    rec.i16 = -32768;
    rec.u32 = 0xfffffffe;
    rec.i32 = std::numeric_limits<int32_t>::min();
    rec.u64 = 0xfedcba9876543210ull;
    rec.i64 = -2;
    set_text(rec.fixed, "abcde");
    rec.text = text;
    rec.bytes = bytes;
    rec.bytes_len = sizeof bytes;
    rec.inner.a = -7;
    set_text(rec.inner.label, "inner");
    rec.inner.present = 0x03;
    list[0].a = 1;
    list[0].present = 0x01;
    set_text(list[1].label, "");
    list[1].present = 0x02;
    list[2].a = 32767;
    set_text(list[2].label, "seven77");
    list[2].present = 0x03;
    rec.list = list;
    rec.list_count = 3;
    rec.ints = ints;
    rec.int_count = 4;
    rec.flag_cleared_to_7 = 0;
    rec.present[0] = 0xff;
    rec.present[1] = 0x3f;
    rec.present[2] = 0x01;
  }
};

TEST(CodecRoundTrip, EveryFieldKindComesBackEqual) {
  FullRecord full;
  const std::vector<uint8_t> wire = encode(full.rec);

  kind_all out;
  std::memset(&out, 0xa5, sizeof out);  // garbage must not survive decoding
  out.keep = 0x5a;
  ASSERT_EQ(msgcodec_kind_all_decode_ext(&out, wire.data(), wire.size(), malloc),
            static_cast<int>(wire.size()));

  EXPECT_EQ(out.u8, full.rec.u8);
  EXPECT_EQ(out.i8, full.rec.i8);
  EXPECT_EQ(out.u16, full.rec.u16);
  EXPECT_EQ(out.i16, full.rec.i16);
  EXPECT_EQ(out.u32, full.rec.u32);
  EXPECT_EQ(out.i32, full.rec.i32);
  EXPECT_EQ(out.u64, full.rec.u64);
  EXPECT_EQ(out.i64, full.rec.i64);
  EXPECT_STREQ(out.fixed, "abcde");
  ASSERT_NE(out.text, nullptr);
  EXPECT_NE(out.text, full.text);
  EXPECT_STREQ(out.text, full.text);
  ASSERT_EQ(out.bytes_len, 5u);
  EXPECT_EQ(std::memcmp(out.bytes, full.bytes, 5), 0);
  EXPECT_EQ(out.inner.a, -7);
  EXPECT_STREQ(out.inner.label, "inner");
  EXPECT_EQ(out.inner.present, 0x03);
  ASSERT_EQ(out.list_count, 3u);
  EXPECT_EQ(out.list[0].a, 1);
  EXPECT_EQ(out.list[0].present, 0x01);
  EXPECT_STREQ(out.list[0].label, "");
  EXPECT_EQ(out.list[1].a, 0);
  EXPECT_EQ(out.list[1].present, 0x02);
  EXPECT_EQ(out.list[2].a, 32767);
  EXPECT_STREQ(out.list[2].label, "seven77");
  ASSERT_EQ(out.int_count, 4u);
  for (int k = 0; k < 4; ++k) EXPECT_EQ(out.ints[k], full.ints[k]) << "element " << k;
  EXPECT_EQ(out.flag_cleared_to_7, 0u) << "a present field keeps its value, not the cleared one";
  EXPECT_EQ(out.present[0], 0xff);
  EXPECT_EQ(out.present[1], 0x3f);
  EXPECT_EQ(out.present[2], 0x01);
  EXPECT_EQ(out.keep, 0x5a) << "bytes outside the field table belong to the caller";

  EXPECT_EQ(encode(out), wire) << "decoding then encoding gives the same bytes";
  msgcodec_kind_all_free_ext(&out, free);
  EXPECT_EQ(out.text, nullptr);
  EXPECT_EQ(out.list, nullptr);
  EXPECT_EQ(out.list_count, 0u);
  EXPECT_EQ(out.flag_cleared_to_7, 7u);
}

TEST(CodecRoundTrip, AbsentFieldsTakeNoBytesAndComeBackCleared) {
  FullRecord full;
  kind_all rec = full.rec;
  rec.present[0] = rec.present[1] = rec.present[2] = 0;
  const std::vector<uint8_t> wire = encode(rec);
  EXPECT_EQ(wire, (std::vector<uint8_t>{0, 0, 0})) << "only the three presence bytes";

  kind_all out;
  std::memset(&out, 0xa5, sizeof out);
  ASSERT_EQ(msgcodec_kind_all_decode_ext(&out, wire.data(), wire.size(), malloc), 3);
  EXPECT_EQ(out.u64, 0u);
  EXPECT_EQ(out.text, nullptr);
  EXPECT_EQ(out.bytes, nullptr);
  EXPECT_EQ(out.list, nullptr);
  EXPECT_EQ(out.ints, nullptr);
  EXPECT_STREQ(out.fixed, "");
  EXPECT_EQ(out.inner.present, 0);
  EXPECT_EQ(out.flag_cleared_to_7, 7u);
  msgcodec_kind_all_free_ext(&out, free);
}

TEST(CodecRoundTrip, EachFieldAloneRoundTrips) {
  struct Case {
    const char* name;
    unsigned bit;
  };
  constexpr Case kCases[] = {
      {"u8", kBitU8},     {"i8", kBitI8},       {"u16", kBitU16},   {"i16", kBitI16},
      {"u32", kBitU32},   {"i32", kBitI32},     {"u64", kBitU64},   {"i64", kBitI64},
      {"fixed", kBitFixed}, {"text", kBitText}, {"bytes", kBitBytes}, {"inner", kBitInner},
      {"list", kBitList}, {"ints", kBitInts},   {"cleared 7", kBitCleared7},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    FullRecord full;
    kind_all rec = full.rec;
    rec.present[0] = rec.present[1] = rec.present[2] = 0;
    msgcodec_set_bit(rec.present, c.bit);
    const std::vector<uint8_t> wire = encode(rec);
    kind_all out{};
    ASSERT_EQ(msgcodec_kind_all_decode_ext(&out, wire.data(), wire.size(), malloc),
              static_cast<int>(wire.size()));
    for (unsigned b = 0; b < 24; ++b) {
      EXPECT_EQ(msgcodec_test_bit(out.present, b), b == c.bit ? 1 : 0) << "bit " << b;
    }
    EXPECT_EQ(encode(out), wire);
    msgcodec_kind_all_free_ext(&out, free);
  }
}

TEST(CodecRoundTrip, EmptyTextBytesAndListsArePresentButEmpty) {
  char empty[] = "";
  kind_all rec{};
  rec.text = empty;
  rec.bytes = nullptr;
  rec.bytes_len = 0;
  rec.list = nullptr;
  rec.list_count = 0;
  msgcodec_set_bit(rec.present, kBitText);
  msgcodec_set_bit(rec.present, kBitBytes);
  msgcodec_set_bit(rec.present, kBitList);
  msgcodec_set_bit(rec.present, kBitInts);
  const std::vector<uint8_t> wire = encode(rec);
  EXPECT_EQ(wire.size(), 3u + 4 * 4) << "presence plus four zero lengths";
  kind_all out{};
  ASSERT_EQ(msgcodec_kind_all_decode_ext(&out, wire.data(), wire.size(), malloc), 19);
  ASSERT_NE(out.text, nullptr);
  EXPECT_STREQ(out.text, "");
  EXPECT_EQ(out.bytes_len, 0u);
  EXPECT_EQ(out.list_count, 0u);
  EXPECT_TRUE(msgcodec_test_bit(out.present, kBitList));
  msgcodec_kind_all_free_ext(&out, free);
}

TEST(CodecRoundTrip, IntegersAreBigEndianOnTheWire) {
  kind_all rec{};
  rec.u32 = 0x0a0b0c0d;
  rec.i16 = -2;
  msgcodec_set_bit(rec.present, kBitU32);
  msgcodec_set_bit(rec.present, kBitI16);
  EXPECT_EQ(encode(rec), (std::vector<uint8_t>{0x18, 0, 0, 0xff, 0xfe, 0x0a, 0x0b, 0x0c, 0x0d}));
}

TEST(CodecNeededSize, EncodeReportsItsSizeAndNeverWritesPastRoom) {
  FullRecord full;
  const std::vector<uint8_t> wire = encode(full.rec);
  const size_t n = wire.size();
  for (size_t room = 0; room <= n + 2; ++room) {
    SCOPED_TRACE("room " + std::to_string(room));
    std::vector<uint8_t> buf(n + 16, 0xee);
    ASSERT_EQ(msgcodec_kind_all_encode_ext(&full.rec, buf.data(), room), static_cast<int>(n));
    for (size_t k = room; k < buf.size(); ++k) {
      ASSERT_EQ(buf[k], 0xee) << "byte " << k << " written";
    }
    if (room >= n) {
      EXPECT_TRUE(std::equal(wire.begin(), wire.end(), buf.begin()));
    }
  }
}

TEST(CodecEncode, RefusesRecordsItCannotRepresent) {
  struct Case {
    const char* name;
    void (*spoil)(kind_all&);
    const char* trace;
  };
  const Case kCases[] = {
      {"present text is null", [](kind_all& r) { r.text = nullptr; }, "present text is a null pointer"},
      {"bytes with length but no pointer", [](kind_all& r) { r.bytes = nullptr; },
       "present byte string is a null pointer"},
      {"list with count but no pointer", [](kind_all& r) { r.list = nullptr; }, "present list is a null pointer"},
      {"int list with count but no pointer", [](kind_all& r) { r.ints = nullptr; },
       "present list is a null pointer"},
      {"fixed text fills its member", [](kind_all& r) { std::memset(r.fixed, 'z', sizeof r.fixed); },
       "fixed text without its terminating zero"},
      {"fixed text of a nested record fills its member",
       [](kind_all& r) { std::memset(r.inner.label, 'z', sizeof r.inner.label); },
       "fixed text without its terminating zero"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    FullRecord full;
    c.spoil(full.rec);
    tlg_test_clear("msgcodec");
    uint8_t buf[64];
    EXPECT_LT(msgcodec_kind_all_encode_ext(&full.rec, buf, sizeof buf), 0);
    EXPECT_TRUE(tlg_test_contains("msgcodec", c.trace));
  }
}

TEST(CodecEncode, SpoiledFieldThatIsAbsentDoesNotMatter) {
  kind_all rec{};
  rec.text = nullptr;
  std::memset(rec.fixed, 'z', sizeof rec.fixed);
  msgcodec_set_bit(rec.present, kBitU8);
  EXPECT_EQ(msgcodec_kind_all_encode_ext(&rec, nullptr, 0), 4);
}

TEST(CodecClear, SetsClearedValuesWithoutReleasing) {
  FullRecord full;
  kind_all rec = full.rec;
  rec.keep = 9;
  msgcodec_kind_all_clear(&rec);
  EXPECT_EQ(rec.u8, 0);
  EXPECT_EQ(rec.text, nullptr);
  EXPECT_EQ(rec.list_count, 0u);
  EXPECT_EQ(rec.flag_cleared_to_7, 7u);
  EXPECT_EQ(rec.present[0] | rec.present[1] | rec.present[2], 0);
  EXPECT_EQ(rec.keep, 9);
  EXPECT_EQ(full.text[0], 'x') << "the text the record pointed to is untouched";
}

}  // namespace

// Truncated, corrupted and oversized input: decoding fails with a negative
// result, leaves nothing allocated (the asan build checks leaks) and writes a
// trace line naming the fault.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "codec_test_records.h"
#include "tlg_test.h"

namespace {

// A valid encoding that holds every field kind.
std::vector<uint8_t> valid_wire() {
  static char text[] = "some text";
  static uint8_t bytes[] = {1, 2, 3};
  static kind_inner list[2] = {{5, "ab", 0x03}, {6, "", 0x01}};
  static int64_t ints[] = {-1, 2};
  kind_all rec{};
  rec.u32 = 77;
  std::memcpy(rec.fixed, "fix", 4);
  rec.text = text;
  rec.bytes = bytes;
  rec.bytes_len = 3;
  rec.inner.a = 3;
  rec.inner.present = 0x01;
  rec.list = list;
  rec.list_count = 2;
  rec.ints = ints;
  rec.int_count = 2;
  rec.present[0] = 0x10;
  rec.present[1] = 0x3f;
  const int n = msgcodec_kind_all_encode_ext(&rec, nullptr, 0);
  std::vector<uint8_t> out(static_cast<size_t>(n));
  msgcodec_kind_all_encode_ext(&rec, out.data(), out.size());
  return out;
}

// Decodes and checks the failure contract; returns the trace lines written.
std::string expect_rejected(const std::vector<uint8_t>& wire) {
  tlg_test_clear("msgcodec");
  kind_all out;
  std::memset(&out, 0xa5, sizeof out);
  out.keep = 0x11;
  const int rc = msgcodec_kind_all_decode_ext(&out, wire.data(), wire.size(), malloc);
  EXPECT_LT(rc, 0);
  EXPECT_EQ(out.text, nullptr);
  EXPECT_EQ(out.bytes, nullptr);
  EXPECT_EQ(out.list, nullptr);
  EXPECT_EQ(out.ints, nullptr);
  EXPECT_EQ(out.keep, 0x11);
  std::string lines;
  for (const auto& l : tlg_test_lines("msgcodec")) lines += l;
  EXPECT_NE(lines.find("cannot decode kind_all"), std::string::npos) << lines;
  if (rc >= 0) msgcodec_kind_all_free_ext(&out, free);
  return lines;
}

void put_u32(std::vector<uint8_t>& v, uint32_t x) {
  for (int i = 3; i >= 0; --i) v.push_back(static_cast<uint8_t>(x >> (8 * i)));
}

TEST(CodecMalformed, EveryTruncationIsRejected) {
  const std::vector<uint8_t> wire = valid_wire();
  for (size_t n = 0; n < wire.size(); ++n) {
    SCOPED_TRACE("first " + std::to_string(n) + " bytes");
    expect_rejected(std::vector<uint8_t>(wire.begin(), wire.begin() + static_cast<long>(n)));
  }
}

TEST(CodecMalformed, CorruptedInputsAreRejectedWithTheirFault) {
  struct Case {
    const char* name;
    std::vector<uint8_t> wire;
    const char* fault;
  };
  std::vector<Case> cases;
  {
    Case c{"presence bit without a field", {0, 0, 0x02}, "presence bit names no field"};
    cases.push_back(c);
  }
  {
    Case c{"text length beyond the input", {0, 0x02, 0}, "beyond the end of the input"};
    put_u32(c.wire, 10);
    c.wire.insert(c.wire.end(), {'a', 'b'});
    cases.push_back(c);
  }
  {
    Case c{"zero byte inside a text", {0, 0x02, 0}, "zero byte inside a text"};
    put_u32(c.wire, 3);
    c.wire.insert(c.wire.end(), {'a', 0, 'b'});
    cases.push_back(c);
  }
  {
    Case c{"fixed text longer than its member", {0, 0x01, 0}, "text longer than its fixed member"};
    put_u32(c.wire, 6);
    c.wire.insert(c.wire.end(), {'a', 'b', 'c', 'd', 'e', 'f'});
    cases.push_back(c);
  }
  {
    Case c{"huge record list count", {0, 0x10, 0}, "beyond the end of the input"};
    put_u32(c.wire, 0xffffffffu);
    cases.push_back(c);
  }
  {
    Case c{"int list count too large for its u16 member", {0, 0x20, 0}, "too large for its member"};
    put_u32(c.wire, 0x10000);
    cases.push_back(c);
  }
  {
    Case c{"int list shorter than its count", {0, 0x20, 0}, "beyond the end of the input"};
    put_u32(c.wire, 3);
    c.wire.insert(c.wire.end(), 16, 0);
    cases.push_back(c);
  }
  {
    Case c{"unknown bit in a nested record", {0, 0x08, 0, 0x80}, "presence bit names no field"};
    cases.push_back(c);
  }
  {
    Case c{"bad element in the middle of a list", {0, 0x10, 0}, "presence bit names no field"};
    put_u32(c.wire, 3);
    c.wire.insert(c.wire.end(), {0x01, 0x00, 0x05});  // element 1: a = 5
    c.wire.insert(c.wire.end(), {0x02});              // element 2: label
    put_u32(c.wire, 1);
    c.wire.push_back('q');
    c.wire.push_back(0x40);                           // element 3: unknown bit
    cases.push_back(c);
  }
  {
    Case c{"trailing byte after the record", {0, 0, 0, 0}, "trailing bytes after the record"};
    cases.push_back(c);
  }
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string lines = expect_rejected(c.wire);
    EXPECT_NE(lines.find(c.fault), std::string::npos) << lines;
  }
}

TEST(CodecMalformed, PrefixFlagAllowsTrailingBytes) {
  std::vector<uint8_t> wire = valid_wire();
  const size_t n = wire.size();
  wire.push_back(0x99);
  kind_all out{};
  EXPECT_EQ(msgcodec_kind_all_decode_ext(&out, wire.data(), wire.size(), malloc, nullptr,
                                         MSGCODEC_DECODE_PREFIX),
            static_cast<int>(n));
  msgcodec_kind_all_free_ext(&out, free);
}

// Any single corrupted byte either is rejected cleanly or decodes to a record
// that encodes back to exactly the corrupted bytes (the encoding is canonical).
TEST(CodecMalformed, FlippedBytesNeverDecodeToSomethingElse) {
  const std::vector<uint8_t> wire = valid_wire();
  for (size_t pos = 0; pos < wire.size(); ++pos) {
    for (uint8_t mask : {0x01, 0x80, 0xff}) {
      std::vector<uint8_t> bad = wire;
      bad[pos] ^= mask;
      kind_all out{};
      const int rc = msgcodec_kind_all_decode_ext(&out, bad.data(), bad.size(), malloc);
      if (rc < 0) {
        EXPECT_EQ(out.list, nullptr);
        continue;
      }
      SCOPED_TRACE("byte " + std::to_string(pos) + " mask " + std::to_string(mask));
      ASSERT_EQ(rc, static_cast<int>(bad.size()));
      std::vector<uint8_t> again(bad.size() + 8);
      ASSERT_EQ(msgcodec_kind_all_encode_ext(&out, again.data(), again.size()), rc);
      again.resize(static_cast<size_t>(rc));
      EXPECT_EQ(again, bad);
      msgcodec_kind_all_free_ext(&out, free);
    }
  }
}

// An allocator that runs out after a number of allocations.
int g_allocs_left = 0;
void* failing_alloc(size_t n) {
  if (g_allocs_left-- <= 0) return nullptr;
  return malloc(n);
}

TEST(CodecMalformed, RunningOutOfMemoryHalfWayReleasesWhatWasAllocated) {
  const std::vector<uint8_t> wire = valid_wire();
  // The valid record needs four allocations (text, bytes, list, ints); fail each in turn.
  for (int allowed = 0; allowed < 4; ++allowed) {
    SCOPED_TRACE("allocations allowed: " + std::to_string(allowed));
    g_allocs_left = allowed;
    tlg_test_clear("msgcodec");
    kind_all out{};
    EXPECT_LT(msgcodec_kind_all_decode_ext(&out, wire.data(), wire.size(), failing_alloc), 0);
    EXPECT_EQ(out.text, nullptr);
    EXPECT_EQ(out.list, nullptr);
    EXPECT_TRUE(tlg_test_contains("msgcodec", "out of memory"));
  }
  g_allocs_left = 4;
  kind_all out{};
  EXPECT_EQ(msgcodec_kind_all_decode_ext(&out, wire.data(), wire.size(), failing_alloc),
            static_cast<int>(wire.size()));
  msgcodec_kind_all_free_ext(&out, free);
}

}  // namespace

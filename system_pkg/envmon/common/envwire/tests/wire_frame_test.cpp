// Frames of the service: header fields per kind of message, the big-endian
// length word, the second encoding attempt, and what a receiver rejects.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "envmon_wire.h"
#include "envmon_wire_texts.h"
#include "tlg_test.h"

namespace W = envmon_wire_text;

namespace {

constexpr const char kErrorBuf[] = "wire_test_error";
constexpr const char kMscBuf[] = "wire_test_msc";

class WireFrame : public ::testing::Test {
 protected:
  void SetUp() override {
    tlg_open_internal(&error_, kErrorBuf, 0, 0, "", "", nullptr);
    tlg_open_internal(&msc_, kMscBuf, 0, 0, "", "", nullptr);
    tlg_test_clear();
    side_ = envmon_wire_side{this, nullptr, nullptr, error_, msc_, 0x0a000001};
  }

  std::vector<uint8_t> build(const envmon_msg_desc* m, const void* payload, uint32_t request_id,
                             int32_t status, uint32_t final, uint32_t unique_id = 1) {
    uint8_t* frame = nullptr;
    uint32_t len = 0;
    EXPECT_EQ(envmon_wire_build(&side_, m, payload, request_id, status, final, unique_id, &frame,
                                &len),
              ENVMON_OK);
    std::vector<uint8_t> out(frame, frame + len);
    free(frame);
    return out;
  }

  tlg_handle_t error_ = nullptr;
  tlg_handle_t msc_ = nullptr;
  envmon_wire_side side_{};
};

std::vector<const envmon_msg_desc*> all_messages() {
  std::vector<const envmon_msg_desc*> out;
  for (uint32_t id = 0; id < 16; ++id) {
    if (const auto* m = envmon_wire_request(id)) out.push_back(m);
    if (const auto* m = envmon_wire_server_msg(id)) out.push_back(m);
  }
  return out;
}

uint32_t be32(const std::vector<uint8_t>& b) {
  return (uint32_t{b[0]} << 24) | (uint32_t{b[1]} << 16) | (uint32_t{b[2]} << 8) | b[3];
}

bool has(const capi_header& h, unsigned bit) { return msgcodec_test_bit(h.present, bit) != 0; }

TEST_F(WireFrame, EveryMessageCarriesExactlyTheHeaderFieldsOfItsKind) {
  const auto messages = all_messages();
  ASSERT_EQ(messages.size(), 22u);
  for (const envmon_msg_desc* m : messages) {
    SCOPED_TRACE(m->sender);
    const auto frame = build(m, nullptr, 77, -5, 0, 1234);
    envmon_wire_frame f;
    ASSERT_EQ(envmon_wire_parse(frame.data(), static_cast<int32_t>(frame.size()), &f, error_),
              ENVMON_OK);
    EXPECT_EQ(be32(frame), f.header_len);
    EXPECT_EQ(4 + f.header_len + f.payload_len, frame.size());

    const bool two_way = m->kind == ENVMON_KIND_REQUEST || m->kind == ENVMON_KIND_RESPONSE;
    const bool response = m->kind == ENVMON_KIND_RESPONSE;
    EXPECT_TRUE(has(f.header, CAPI_HEADER_BIT_MSG_ID));
    EXPECT_EQ(f.header.msg_id, m->id);
    EXPECT_TRUE(has(f.header, CAPI_HEADER_BIT_UNIQUE_ID));
    EXPECT_EQ(f.header.unique_id, 1234u);
    EXPECT_EQ(has(f.header, CAPI_HEADER_BIT_REQUEST_ID), two_way);
    EXPECT_EQ(f.header.request_id, two_way ? 77u : 0u);
    EXPECT_EQ(has(f.header, CAPI_HEADER_BIT_STATUS), response);
    EXPECT_EQ(has(f.header, CAPI_HEADER_BIT_FINAL), response);
    // Requests and notifications leave status and final at their cleared values.
    EXPECT_EQ(f.header.status, response ? -5 : 0);
    EXPECT_EQ(f.header.final, response ? 0 : 1);
    for (unsigned bit : {CAPI_HEADER_BIT_SERVICE_NAME, CAPI_HEADER_BIT_NODE_ADDR,
                         CAPI_HEADER_BIT_PID, CAPI_HEADER_BIT_VERSION,
                         CAPI_HEADER_BIT_PROGRAM_NAME}) {
      EXPECT_FALSE(has(f.header, bit)) << "bit " << bit;
    }
    envmon_wire_frame_free(&f);
  }
}

TEST_F(WireFrame, OnlyBitZeroOfTheFinalArgumentCounts) {
  struct Case {
    uint32_t final_arg;
    uint8_t on_wire;
  };
  constexpr Case kCases[] = {{0, 0}, {1, 1}, {2, 0}, {3, 1}, {0xfffffffe, 0}};
  const envmon_msg_desc* m = envmon_wire_server_msg(ENVMON_RESP_ALTITUDE_VALUE);
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.final_arg);
    const auto frame = build(m, nullptr, 1, 0, c.final_arg);
    envmon_wire_frame f;
    ASSERT_EQ(envmon_wire_parse(frame.data(), static_cast<int32_t>(frame.size()), &f, error_), 0);
    EXPECT_EQ(f.header.final, c.on_wire);
    envmon_wire_frame_free(&f);
  }
}

TEST_F(WireFrame, LengthWordIsMostSignificantByteFirst) {
  const auto frame = build(envmon_wire_request(ENVMON_REQ_FAN_TIMER_DISABLE), nullptr, 0, 0, 1);
  envmon_wire_frame f;
  ASSERT_EQ(envmon_wire_parse(frame.data(), static_cast<int32_t>(frame.size()), &f, error_), 0);
  ASSERT_LT(f.header_len, 256u);
  EXPECT_EQ(frame[0], 0);
  EXPECT_EQ(frame[1], 0);
  EXPECT_EQ(frame[2], 0);
  EXPECT_EQ(frame[3], f.header_len);
  envmon_wire_frame_free(&f);
}

TEST_F(WireFrame, AnEncodingLargerThanTheFirstSizeIsEncodedOnceMoreIntoAnExactFrame) {
  const envmon_msg_desc* m = envmon_wire_request(ENVMON_REQ_POWER_BUDGET);
  struct Case {
    const char* name;
    size_t pid_len;
    size_t attempts;
  };
  const Case kCases[] = {{"fits the first size", 16, 1},
                         {"one byte beyond", m->first_size, 2},
                         {"far beyond", 100000, 2}};
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    tlg_test_clear(kMscBuf);
    std::string pid(c.pid_len, 'p');
    request_power_budget rec{};
    rec.pid = pid.data();
    rec.present = REQUEST_POWER_BUDGET_HAS_PID;
    const auto frame = build(m, &rec, 9, 0, 1, 4242);
    envmon_wire_frame f;
    ASSERT_EQ(envmon_wire_parse(frame.data(), static_cast<int32_t>(frame.size()), &f, error_), 0);
    EXPECT_EQ(frame.size(), 4 + f.header_len + f.payload_len);
    EXPECT_EQ(c.attempts > 1, frame.size() > m->first_size);
    // One message-sequence source line per encoding attempt.
    size_t sources = 0;
    for (const auto& line : tlg_test_lines(kMscBuf)) {
      if (line.find("@msc_source") != std::string::npos &&
          line.find("/4242\"") != std::string::npos) {
        ++sources;
      }
    }
    EXPECT_EQ(sources, c.attempts);

    request_power_budget back{};
    ASSERT_EQ(envmon_wire_decode_payload(m, &f, &back), ENVMON_OK);
    ASSERT_NE(back.pid, nullptr);
    EXPECT_EQ(std::string(back.pid), pid);
    envmon_wire_release_payload(m, &back);
    envmon_wire_frame_free(&f);
  }
}

// A frame of the empty response 2 (payload of zero bytes) to cut up.
class WireReceive : public WireFrame {
 protected:
  void SetUp() override {
    WireFrame::SetUp();
    good_ = build(envmon_wire_server_msg(ENVMON_RESP_SENSOR_VALUE_SET), nullptr, 3, 0, 1);
  }
  std::vector<uint8_t> good_;
};

TEST_F(WireReceive, HeaderLengthMustFitInsideTheMessage) {
  const uint32_t hl = be32(good_);
  ASSERT_EQ(good_.size(), 4u + hl) << "the empty response has no payload bytes";
  struct Case {
    const char* name;
    std::vector<uint8_t> bytes;
    int expected;
  };
  auto with_len = [&](uint32_t len) {
    auto b = good_;
    b[0] = static_cast<uint8_t>(len >> 24);
    b[1] = static_cast<uint8_t>(len >> 16);
    b[2] = static_cast<uint8_t>(len >> 8);
    b[3] = static_cast<uint8_t>(len);
    return b;
  };
  auto corrupt_presence = [&] {
    auto b = good_;
    b[5] = 0xff;  // second presence byte: bits that name no header field
    return b;
  };
  const Case kCases[] = {
      {"header length = size - 4", good_, ENVMON_OK},
      {"header length one beyond", with_len(hl + 1), ENVMON_WIRE_BAD_LENGTH},
      {"header length 2^32 - 1", with_len(0xffffffffu), ENVMON_WIRE_BAD_LENGTH},
      {"header length 2^32 - 4 (wraps when 4 is added)", with_len(0xfffffffcu),
       ENVMON_WIRE_BAD_LENGTH},
      {"empty message", {}, ENVMON_WIRE_BAD_LENGTH},
      {"one byte", {0}, ENVMON_WIRE_BAD_LENGTH},
      {"three bytes", {0, 0, 0}, ENVMON_WIRE_BAD_LENGTH},
      {"length word only, header length 0", {0, 0, 0, 0}, ENVMON_ERR_BAD_HEADER},
      {"header shorter than its encoding", with_len(hl - 1), ENVMON_ERR_BAD_HEADER},
      {"undecodable presence bits", corrupt_presence(), ENVMON_ERR_BAD_HEADER},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    envmon_wire_frame f;
    const int rc = envmon_wire_parse(c.bytes.empty() ? nullptr : c.bytes.data(),
                                     static_cast<int32_t>(c.bytes.size()), &f, error_);
    EXPECT_EQ(rc, c.expected);
    if (rc == ENVMON_OK) {
      EXPECT_EQ(f.payload_len, 0u);
      envmon_wire_frame_free(&f);
    }
  }
}

TEST_F(WireReceive, RejectionsAreTracedWithTheirTexts) {
  auto b = good_;
  b[3] = static_cast<uint8_t>(b[3] + 1);
  envmon_wire_frame f;
  tlg_test_clear(kErrorBuf);
  ASSERT_EQ(envmon_wire_parse(b.data(), static_cast<int32_t>(b.size()), &f, error_),
            ENVMON_WIRE_BAD_LENGTH);
  char want[256];
  snprintf(want, sizeof want, W::kInvalidHeaderLen, static_cast<int>(be32(b)),
           static_cast<int>(b.size()));
  EXPECT_TRUE(tlg_test_contains(kErrorBuf, want));

  b = good_;
  b[5] = 0xff;
  tlg_test_clear(kErrorBuf);
  ASSERT_EQ(envmon_wire_parse(b.data(), static_cast<int32_t>(b.size()), &f, error_),
            ENVMON_ERR_BAD_HEADER);
  const auto lines = tlg_test_lines(kErrorBuf);
  ASSERT_GE(lines.size(), 2u);
  EXPECT_EQ(lines[lines.size() - 2].rfind("decode of CAPI message header failed (header_len = ", 0),
            0u);
  // The header's bytes follow, "%2x " each.
  char first_two[16];
  snprintf(first_two, sizeof first_two, "%2x %2x ", b[4], b[5]);
  EXPECT_EQ(lines.back().rfind(first_two, 0), 0u) << lines.back();
}

TEST_F(WireReceive, UndecodablePayloadIsReported) {
  const envmon_msg_desc* m = envmon_wire_request(ENVMON_REQ_SENSOR_VALUE_SET);
  sensor_value rec{};
  rec.subtype = 25;
  rec.value = -40;
  rec.present = SENSOR_VALUE_HAS_SUBTYPE | SENSOR_VALUE_HAS_VALUE;
  const auto frame = build(m, &rec, 5, 0, 1);
  struct Case {
    const char* name;
    size_t cut;       // bytes removed from the end
    uint8_t presence;  // replaces the payload's presence byte when non-zero
    int expected;
  };
  constexpr Case kCases[] = {
      {"intact", 0, 0, ENVMON_OK},
      {"last byte missing", 1, 0, ENVMON_ERR_BAD_PAYLOAD},
      {"presence names a field beyond the record", 0, 0x80, ENVMON_ERR_BAD_PAYLOAD},
      {"presence announces an absent entity id", 0, 0x07, ENVMON_ERR_BAD_PAYLOAD},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    auto b = frame;
    b.resize(b.size() - c.cut);
    envmon_wire_frame f;
    ASSERT_EQ(envmon_wire_parse(b.data(), static_cast<int32_t>(b.size()), &f, error_), 0);
    if (c.presence != 0) b[4 + f.header_len] = c.presence;
    sensor_value back;
    EXPECT_EQ(envmon_wire_decode_payload(m, &f, &back), c.expected);
    if (c.expected == ENVMON_OK) {
      EXPECT_EQ(back.value, -40);
      EXPECT_EQ(back.keep, 0);
      EXPECT_EQ(back.received, 1);
      envmon_wire_release_payload(m, &back);
    }
    envmon_wire_frame_free(&f);
  }
}

TEST_F(WireReceive, AKeptPayloadOutlivesTheRelease) {
  const envmon_msg_desc* m = envmon_wire_request(ENVMON_REQ_POWER_BUDGET);
  request_power_budget rec{};
  rec.pid = const_cast<char*>("pid-7");
  rec.present = REQUEST_POWER_BUDGET_HAS_PID;
  const auto frame = build(m, &rec, 5, 0, 1);
  envmon_wire_frame f;
  ASSERT_EQ(envmon_wire_parse(frame.data(), static_cast<int32_t>(frame.size()), &f, error_), 0);
  request_power_budget back;
  ASSERT_EQ(envmon_wire_decode_payload(m, &f, &back), ENVMON_OK);
  back.keep = 1;
  envmon_wire_release_payload(m, &back);
  ASSERT_NE(back.pid, nullptr);  // still ours: ASan reports a use after free otherwise
  EXPECT_STREQ(back.pid, "pid-7");
  msgcodec_request_power_budget_free_ext(&back, free);
  envmon_wire_frame_free(&f);
}

TEST(WireInit, ServiceNameCheck) {
  struct Case {
    const char* name;
    const char* in_init;   // null: absent
    const char* expected;  // null: not configured
    bool passes;
  };
  constexpr Case kCases[] = {
      {"default name", "envmon", nullptr, true},
      {"absent name", nullptr, nullptr, false},
      {"another name", "envmonx", nullptr, false},
      {"envmon while another is configured", "envmon", "altsvc", false},
      {"the configured name", "altsvc", "altsvc", true},
      {"prefix of the configured name", "alt", "altsvc", false},
  };
  tlg_handle_t err = nullptr;
  tlg_open_internal(&err, kErrorBuf, 0, 0, "", "", nullptr);
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    tlg_test_clear(kErrorBuf);
    capi_header h;
    msgcodec_capi_header_clear(&h);
    if (c.in_init != nullptr) {
      h.service_name = const_cast<char*>(c.in_init);
      msgcodec_set_bit(h.present, CAPI_HEADER_BIT_SERVICE_NAME);
    }
    EXPECT_EQ(envmon_wire_check_service(&h, c.expected, err) == ENVMON_OK, c.passes);
    if (!c.passes) {
      char want[256];
      snprintf(want, sizeof want, W::kHandshakeFailed, c.expected ? c.expected : "(null)",
               c.in_init ? c.in_init : "(null)");
      EXPECT_TRUE(tlg_test_contains(kErrorBuf, want));
    }
  }
}

TEST(WireMsc, NodeTextIsDollarNForLoopbackElseHex) {
  struct Case {
    uint32_t addr;
    const char* text;
  };
  constexpr Case kCases[] = {
      {0x7f000001, "$n"}, {0x7f000002, "7f000002"}, {0x0a0b0c0d, "a0b0c0d"}, {0, "0"}};
  for (const auto& c : kCases) {
    char out[17];
    envmon_wire_node_text(c.addr, out);
    EXPECT_STREQ(out, c.text);
  }
}

}  // namespace

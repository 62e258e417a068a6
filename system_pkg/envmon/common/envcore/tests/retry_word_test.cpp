// The progress-word arithmetic over whole words: reload, decrement,
// exhaustion and settling, with the other pairs and flags of the word intact.
#include "envmon_retry_word.h"

#include <gtest/gtest.h>

namespace {

using namespace envmon::retry;

TEST(RetryWord, Arm) {
  struct Case {
    const char* name;
    uint32_t word;
    pair p;
    uint32_t expect;
    uint32_t retries;
  };
  constexpr Case cases[] = {
      {"fresh registration", 0x00000000u, kReg, 0xf0000001u, 30},
      {"bit 27 kept gives 31", 0x08000000u, kReg, 0xf8000001u, 31},
      {"done cleared, other pairs kept", 0x00100242u, kReg, 0xf0100241u, 30},
      {"spent count reloaded", 0x00000200u, kPoll, 0xf0000100u, 30},
      {"partly spent count reloaded, bit 27 set", 0x48000000u, kPoll, 0xf8000100u, 31},
      {"partly spent count reloaded, bit 27 clear", 0x50000000u, kSpeed, 0xf0000400u, 30},
      {"fan speed on a polled sensor", 0xa0000302u, kSpeed, 0xf0000702u, 30},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(arm(c.word, c.p), c.expect);
    EXPECT_EQ(retries_left(arm(c.word, c.p)), c.retries);
  }
}

TEST(RetryWord, Step) {
  struct Case {
    const char* name;
    uint32_t word;
    pair p;
    uint32_t expect;
    outcome what;
  };
  constexpr Case cases[] = {
      {"nothing asked", 0xf0000002u, kReg, 0xf0000002u, outcome::idle},
      {"answered: pending cleared, done and count kept", 0xf0000003u, kReg, 0xf0000002u,
       outcome::settled},
      {"answered with no count left", 0x00000003u, kReg, 0x00000002u, outcome::settled},
      {"30 left: 29 after the re-send", 0xf0000001u, kReg, 0xe8000001u, outcome::resend},
      {"31 left: 30 after the re-send", 0xf8000001u, kReg, 0xf0000001u, outcome::resend},
      {"last retry: count 0 after the re-send", 0x08000001u, kReg, 0x00000001u, outcome::resend},
      {"spent alone", 0x00000001u, kReg, 0x00000000u, outcome::spent},
      {"spent registration keeps value, poll and description bits", 0x00100341u, kReg,
       0x00100340u, outcome::spent},
      {"spent poll keeps the registered bit", 0x00000102u, kPoll, 0x00000002u, outcome::spent},
      {"spent poll leaves the pending registration", 0x00000101u, kPoll, 0x00000001u,
       outcome::spent},
      {"poll re-sent, registration pair untouched", 0x80000103u, kPoll, 0x78000103u,
       outcome::resend},
      {"fan speed answered", 0x30000c00u, kSpeed, 0x30000800u, outcome::settled},
      {"fan speed re-sent", 0x18000400u, kSpeed, 0x10000400u, outcome::resend},
      {"unregistration spent keeps registration done", 0x00000006u, kUnreg, 0x00000002u,
       outcome::spent},
      {"EEPROM data answered", 0xf0000032u, kEeprom, 0xf0000022u, outcome::settled},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const step_result r = step(c.word, c.p);
    EXPECT_EQ(r.word, c.expect) << std::hex << "got 0x" << r.word;
    EXPECT_EQ(r.what, c.what);
  }
}

TEST(RetryWord, UnansweredRequestIsResentThirtyTimesThenGivenUp) {
  struct Case {
    const char* name;
    uint32_t start;
    int resends;
  };
  constexpr Case cases[] = {
      {"armed with bit 27 clear", arm(0x00000000u, kReg), 30},
      {"armed with bit 27 set", arm(0x08000000u, kReg), 31},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    uint32_t w = c.start | 0x00100000u;  // plus a flag that must survive
    int resends = 0;
    int pass = 0;
    step_result r{};
    for (; pass < 40; ++pass) {
      r = step(w, kReg);
      w = r.word;
      if (r.what != outcome::resend) break;
      ++resends;
    }
    EXPECT_EQ(resends, c.resends);
    EXPECT_EQ(pass, c.resends) << "given up in pass " << pass + 1;
    EXPECT_EQ(r.what, outcome::spent);
    EXPECT_EQ(w, 0x00100000u);
    EXPECT_EQ(step(w, kReg).what, outcome::idle) << "a spent request is asked no more";
  }
}

TEST(RetryWord, Settle) {
  struct Case {
    const char* name;
    uint32_t word;
    pair p;
    uint32_t expect;
  };
  constexpr Case cases[] = {
      {"registration list", 0xf0000001u, kReg, 0xf0000002u},
      {"poll list keeps the registration pair", 0xe8000103u, kPoll, 0xe8000203u},
      {"speed list", 0x00000f00u, kSpeed, 0x00000b00u},
      {"already done", 0x00000002u, kReg, 0x00000002u},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(settle(c.word, c.p), c.expect);
  }
}

TEST(RetryWord, FailureLogStep) {
  struct Case {
    const char* name;
    uint32_t word;
    uint32_t expect;
    obfl_request request;
    bool resend;
  };
  constexpr Case cases[] = {
      {"nothing pending", 0xf0000002u, 0xf0000002u, obfl_request::none, false},
      {"service registration before thresholds", 0xf0003000u, 0xe8003000u,
       obfl_request::svc_reg, true},
      {"thresholds before logs", 0x10008100u, 0x08008100u, obfl_request::thresholds, true},
      {"voltage threshold", 0x08004000u, 0x00004000u, obfl_request::thresholds, true},
      {"logs", 0xf0000400u, 0xe8000400u, obfl_request::logs, true},
      {"spent: pending bits stay, nothing sent", 0x00001700u, 0x00001700u,
       obfl_request::svc_reg, false},
      {"card-information flags are no request", 0x10000006u, 0x10000006u, obfl_request::none,
       false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const obfl_step_result r = obfl_step(c.word);
    EXPECT_EQ(r.word, c.expect) << std::hex << "got 0x" << r.word;
    EXPECT_EQ(r.request, c.request);
    EXPECT_EQ(r.resend, c.resend);
  }
}

}  // namespace

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <string>

#include "sim_clock.h"
#include "simpaths.h"
#include "tlg.h"
#include "tlg_test.h"

using ::testing::ElementsAre;

namespace {

tlg_handle_t open_buffer(const char* name, uint32_t size = 0) {
  tlg_handle_t h = nullptr;
  EXPECT_EQ(tlg_open_internal(&h, name, size, 237, "./test/component", "0123abcd", nullptr), 0);
  EXPECT_NE(h, nullptr);
  return h;
}

TEST(Tlg, KeepsEachWriteFormattedInOrder) {
  tlg_handle_t h = open_buffer("tlg_test_order");
  tlg_test_clear("tlg_test_order");
  tlg_internal(h, "%s(): value %d\n", "f", 42);
  tlg_internal(h, "no newline");
  tlg_internal(h, "%s", "");
  EXPECT_THAT(tlg_test_lines("tlg_test_order"), ElementsAre("f(): value 42\n", "no newline", ""));
  EXPECT_TRUE(tlg_test_contains("tlg_test_order", "value 42"));
  EXPECT_FALSE(tlg_test_contains("tlg_test_order", "value 43"));
}

TEST(Tlg, ExpandsPlaceholdersAfterFormatting) {
  tlg_handle_t h = open_buffer("tlg_test_expand");
  tlg_test_clear("tlg_test_expand");
  sim_clock_use_fake(12345678901ull);
  tlg_set_node_id(0xc0a80102u);
  tlg_set_current_thread_name("worker");
  std::string pid = std::to_string(getpid());
  struct Case {
    const char* name;
    const char* arg;  // formatted into "%s"
    std::string expected;
  };
  const Case cases[] = {
      {"node", "$n", "192.168.1.2"},
      {"pid", "$p", pid},
      {"thread", "$T", "worker"},
      {"time", "$S", "12.345678"},
      {"entity line", "id=\"$n/$p/$T\" time=\"$S\"",
       "id=\"192.168.1.2/" + pid + "/worker\" time=\"12.345678\""},
      {"other dollar kept", "$x $", "$x $"},
      {"dollar dollar", "$$n", "$192.168.1.2"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    tlg_test_clear("tlg_test_expand");
    tlg_internal(h, "%s", c.arg);
    EXPECT_THAT(tlg_test_lines("tlg_test_expand"), ElementsAre(c.expected));
  }
  tlg_set_current_thread_name(nullptr);
  tlg_test_clear("tlg_test_expand");
  tlg_internal(h, "$T");
  ASSERT_EQ(tlg_test_lines("tlg_test_expand").size(), 1u);
  EXPECT_NE(tlg_test_lines("tlg_test_expand")[0], "$T");
  tlg_set_node_id(0);
  sim_clock_use_real();
}

TEST(Tlg, SameNameIsOneBufferAndClosedHandlesStayUsable) {
  tlg_handle_t a = open_buffer("tlg_test_shared");
  tlg_handle_t b = open_buffer("tlg_test_shared");
  EXPECT_EQ(a, b);
  tlg_test_clear("tlg_test_shared");
  tlg_internal(a, "one");
  tlg_close(a);
  tlg_internal(b, "two");
  EXPECT_THAT(tlg_test_lines("tlg_test_shared"), ElementsAre("one", "two"));
  EXPECT_STREQ(tlg_get_name(a), "tlg_test_shared");
}

TEST(Tlg, BadArgumentsNeverFailTheCaller) {
  tlg_handle_t h = reinterpret_cast<tlg_handle_t>(0x1);
  EXPECT_EQ(tlg_open_internal(&h, "", 0, 0, nullptr, nullptr, nullptr), -1);
  EXPECT_EQ(h, nullptr);
  EXPECT_EQ(tlg_open_internal(&h, nullptr, 0, 0, nullptr, nullptr, nullptr), -1);
  EXPECT_EQ(tlg_open_internal(nullptr, "x", 0, 0, nullptr, nullptr, nullptr), -1);
  tlg_internal(nullptr, "dropped %d", 1);
  tlg_close(nullptr);
  EXPECT_EQ(tlg_dump(nullptr), -1);
  EXPECT_EQ(tlg_enable_configuration(nullptr, nullptr), -1);
  EXPECT_TRUE(tlg_test_lines("tlg_test_never_opened").empty());
  // A line longer than any stack buffer is kept whole up to the line bound.
  tlg_handle_t big = open_buffer("tlg_test_big");
  tlg_test_clear("tlg_test_big");
  std::string long_text(3000, 'x');
  tlg_internal(big, "<%s>", long_text.c_str());
  EXPECT_THAT(tlg_test_lines("tlg_test_big"), ElementsAre("<" + long_text + ">"));
}

TEST(Tlg, RingDropsOldestLinesBeyondItsSize) {
  tlg_handle_t h = open_buffer("tlg_test_ring");
  tlg_test_clear("tlg_test_ring");
  std::string line(1000, 'a');
  for (int i = 0; i < 1000; ++i) tlg_internal(h, "%04d%s", i, line.c_str());
  auto lines = tlg_test_lines("tlg_test_ring");
  ASSERT_FALSE(lines.empty());
  EXPECT_LT(lines.size(), 1000u);
  EXPECT_EQ(lines.back().substr(0, 4), "0999");
  // Oldest dropped first: what is left is the newest lines, contiguous.
  int first = std::stoi(lines.front().substr(0, 4));
  EXPECT_EQ(first + static_cast<int>(lines.size()), 1000);
}

TEST(Tlg, DumpWritesTheLinesUnderTheRoot) {
  char root[] = "/tmp/tlg_test_root.XXXXXX";
  ASSERT_NE(mkdtemp(root), nullptr);
  setenv(SIM_PATH_ROOT_ENV, root, 1);
  tlg_handle_t parent = open_buffer("tlg_test_dump_parent");
  tlg_handle_t h = nullptr;
  ASSERT_EQ(tlg_open_internal(&h, "tlg_test_dump", 4096, 209, "./x/envserve", "feed", parent), 0);
  tlg_test_clear("tlg_test_dump");
  tlg_internal(h, "first\n");
  tlg_internal(h, "second");
  ASSERT_EQ(tlg_dump(h), 0);
  std::string path = std::string(root) + "/tmp/tlg_dump/tlg_test_dump." +
                     std::to_string(getpid()) + ".txt";
  std::ifstream in(path);
  ASSERT_TRUE(in.good()) << "no dump at " << path;
  std::stringstream all;
  all << in.rdbuf();
  EXPECT_EQ(all.str(),
            "# trace buffer tlg_test_dump, component ./x/envserve, build feed, parent "
            "tlg_test_dump_parent, 2 lines\nfirst\nsecond\n");
  unsetenv(SIM_PATH_ROOT_ENV);
  std::string cmd = std::string("rm -rf ") + root;
  ASSERT_EQ(system(cmd.c_str()), 0);
}

TEST(Tlg, NodeIdAndProcessPrefix) {
  tlg_set_node_id(0x7f000001u);
  EXPECT_EQ(tlg_get_node_id(), 0x7f000001u);
  tlg_set_node_id(0);
  EXPECT_STRNE(tlg_get_process_prefix(), "");
  tlg_set_process_prefix("envview");
  EXPECT_STREQ(tlg_get_process_prefix(), "envview");
}

}  // namespace

#include <gtest/gtest.h>

#include <vector>

#include "mtimer.h"
#include "sim_clock.h"

namespace {

constexpr uint64_t kSecond = 1000000000ull;

class MtimerTree : public ::testing::Test {
 protected:
  void SetUp() override {
    sim_clock_use_fake(1000 * kSecond);
    tree_ = mtimer_tree_new(0, nullptr);
    ASSERT_NE(tree_, nullptr);
  }
  void TearDown() override {
    mtimer_tree_free(tree_);
    sim_clock_use_real();
  }
  mtimer_leaf_t* start(uint32_t type, long sec, long usec = 0) {
    mtimer_leaf_t* leaf = mtimer_leaf_new(tree_, nullptr, type, nullptr);
    timeval tv{sec, usec};
    EXPECT_EQ(mtimer_leaf_start(leaf, &tv), 0);
    return leaf;
  }
  std::vector<uint32_t> take_expired() {
    std::vector<uint32_t> types;
    while (mtimer_leaf_t* leaf = mtimer_tree_first_expired(tree_)) types.push_back(mtimer_leaf_get_type(leaf));
    return types;
  }
  mtimer_tree_t* tree_ = nullptr;
};

TEST_F(MtimerTree, ExpiredLeavesComeOutInExpiryOrderOnce) {
  start(5, 5);
  start(1, 1);
  start(30, 30);
  start(3, 3);
  start(4, 3);  // same expiry as type 3, started later
  EXPECT_TRUE(take_expired().empty());
  sim_clock_advance_ns(kSecond - 1);
  EXPECT_TRUE(take_expired().empty());
  sim_clock_advance_ns(1);
  EXPECT_EQ(take_expired(), (std::vector<uint32_t>{1}));
  sim_clock_advance_ms(10000);
  EXPECT_EQ(take_expired(), (std::vector<uint32_t>{3, 4, 5}));
  EXPECT_TRUE(take_expired().empty());
  sim_clock_advance_ms(100000);
  EXPECT_EQ(take_expired(), (std::vector<uint32_t>{30}));
}

TEST_F(MtimerTree, StopRestartAndRunningState) {
  mtimer_leaf_t* a = start(1, 10);
  mtimer_leaf_t* b = start(2, 20);
  EXPECT_TRUE(mtimer_leaf_running(a));
  EXPECT_EQ(mtimer_leaf_stop(a), 0);
  EXPECT_FALSE(mtimer_leaf_running(a));
  // Restarting a running leaf re-arms it from now.
  sim_clock_advance_ms(15000);
  timeval tv{10, 0};
  ASSERT_EQ(mtimer_leaf_start(b, &tv), 0);
  sim_clock_advance_ms(6000);
  EXPECT_TRUE(take_expired().empty());
  EXPECT_EQ(mtimer_leaf_remaining(b), 4);
  sim_clock_advance_ms(4000);
  EXPECT_EQ(take_expired(), (std::vector<uint32_t>{2}));
  EXPECT_FALSE(mtimer_leaf_running(b));
  EXPECT_EQ(mtimer_leaf_remaining(b), 0);
  // A due leaf that is stopped before it is taken is not returned.
  ASSERT_EQ(mtimer_leaf_start(a, &tv), 0);
  sim_clock_advance_ms(10000);
  mtimer_leaf_stop(a);
  EXPECT_TRUE(take_expired().empty());
}

TEST_F(MtimerTree, TypeContextAndParentReadBack) {
  int c1 = 0, c2 = 0;
  mtimer_leaf_t* parent = mtimer_leaf_new(tree_, nullptr, 7, &c1);
  mtimer_leaf_t* leaf = mtimer_leaf_new(tree_, parent, 4, &c1);
  EXPECT_EQ(mtimer_leaf_get_type(leaf), 4u);
  EXPECT_EQ(mtimer_leaf_get_parent(leaf), parent);
  EXPECT_EQ(mtimer_leaf_get_tree(leaf), tree_);
  timeval tv{0, 500000};
  ASSERT_EQ(mtimer_leaf_start(leaf, &tv), 0);
  EXPECT_EQ(mtimer_leaf_get_context(leaf), &c1);  // null ctx keeps the context
  ASSERT_EQ(mtimer_leaf_start(leaf, &tv, &c2), 0);
  EXPECT_EQ(mtimer_leaf_get_context(leaf), &c2);
  EXPECT_EQ(mtimer_leaf_remaining(leaf), 1);  // half a second rounds up
  sim_clock_advance_ms(500);
  EXPECT_EQ(mtimer_tree_first_expired(tree_), leaf);
  mtimer_leaf_free(leaf);
  mtimer_leaf_free(parent);
}

TEST_F(MtimerTree, BadArgumentsAreRefused) {
  mtimer_leaf_t* leaf = mtimer_leaf_new(tree_, nullptr, 0, nullptr);
  timeval negative{-1, 0};
  EXPECT_EQ(mtimer_leaf_start(leaf, &negative), -1);
  EXPECT_EQ(mtimer_leaf_start(leaf, nullptr), -1);
  EXPECT_EQ(mtimer_leaf_start(nullptr, &negative), -1);
  EXPECT_EQ(mtimer_leaf_stop(nullptr), -1);
  EXPECT_FALSE(mtimer_leaf_running(nullptr));
  EXPECT_EQ(mtimer_leaf_new(nullptr, nullptr, 0, nullptr), nullptr);
  EXPECT_EQ(mtimer_tree_first_expired(nullptr), nullptr);
  mtimer_leaf_free(nullptr);
  mtimer_tree_free(nullptr);
}

TEST_F(MtimerTree, NextExpiryFollowsTheEarliestRunningLeaf) {
  uint64_t when = 0;
  EXPECT_FALSE(mtimer_tree_next_expiry_ns(tree_, &when));
  mtimer_leaf_t* late = start(1, 30);
  start(2, 5);
  ASSERT_TRUE(mtimer_tree_next_expiry_ns(tree_, &when));
  EXPECT_EQ(when, sim_clock_now_ns() + 5 * kSecond);
  sim_clock_advance_ms(5000);
  take_expired();
  ASSERT_TRUE(mtimer_tree_next_expiry_ns(tree_, &when));
  EXPECT_EQ(when, sim_clock_now_ns() + 25 * kSecond);
  mtimer_leaf_free(late);
  EXPECT_FALSE(mtimer_tree_next_expiry_ns(tree_, &when));
}

}  // namespace

#include <gtest/gtest.h>
#include <sys/timerfd.h>
#include <unistd.h>

#include <chrono>
#include <future>
#include <thread>
#include <vector>

#include "evloop.h"
#include "sim_clock.h"

namespace {

class EvloopTimer : public ::testing::Test {
 protected:
  void SetUp() override {
    sim_clock_use_fake(5000ull * 1000000000ull);
    loop_ = evloop_create("evloop_timer_test", 0);
    ASSERT_NE(loop_, nullptr);
  }
  void TearDown() override {
    evloop_destroy(loop_);
    sim_clock_use_real();
  }
  evloop_t* loop_ = nullptr;
};

struct TreeSeen {
  std::vector<std::vector<uint32_t>> calls;  // types taken per expiry call
  std::vector<void*> contexts;
  int take_at_most = 1000;
};

int take_expired(mtimer_tree_t* tree, void* ctx) {
  auto* seen = static_cast<TreeSeen*>(ctx);
  seen->calls.emplace_back();
  for (int i = 0; i < seen->take_at_most; ++i) {
    mtimer_leaf_t* leaf = mtimer_tree_first_expired(tree);
    if (leaf == nullptr) break;
    seen->calls.back().push_back(mtimer_leaf_get_type(leaf));
    seen->contexts.push_back(mtimer_leaf_get_context(leaf));
  }
  return 0;
}

void start(mtimer_leaf_t* leaf, long sec) {
  timeval tv{sec, 0};
  ASSERT_EQ(mtimer_leaf_start(leaf, &tv), 0);
}

TEST_F(EvloopTimer, TreeExpiryGetsSeveralDueLeavesInOnePassInOrder) {
  mtimer_tree_t* tree = mtimer_tree_new(0, nullptr);
  ASSERT_NE(tree, nullptr);
  TreeSeen seen;
  ASSERT_EQ(evloop_attach_tree_timer(loop_, tree, take_expired, &seen, 0, 0, 0), 0);
  int ctx1 = 1, ctx2 = 2, ctx3 = 3;
  mtimer_leaf_t* l120 = mtimer_leaf_new(tree, nullptr, 120, &ctx3);
  mtimer_leaf_t* l5 = mtimer_leaf_new(tree, nullptr, 5, &ctx1);
  mtimer_leaf_t* l30 = mtimer_leaf_new(tree, nullptr, 30, &ctx2);
  start(l120, 120);
  start(l5, 5);
  start(l30, 30);
  evloop_run_until_idle(loop_);
  EXPECT_TRUE(seen.calls.empty());
  sim_clock_advance_ms(4999);
  evloop_run_until_idle(loop_);
  EXPECT_TRUE(seen.calls.empty());
  sim_clock_advance_ms(1);
  evloop_run_until_idle(loop_);
  ASSERT_EQ(seen.calls.size(), 1u);
  EXPECT_EQ(seen.calls[0], (std::vector<uint32_t>{5}));
  // Jump past both others: one expiry call takes both, earliest first.
  sim_clock_advance_ms(200000);
  evloop_run_until_idle(loop_);
  ASSERT_EQ(seen.calls.size(), 2u);
  EXPECT_EQ(seen.calls[1], (std::vector<uint32_t>{30, 120}));
  EXPECT_EQ(seen.contexts, (std::vector<void*>{&ctx1, &ctx2, &ctx3}));
  mtimer_tree_free(tree);
}

TEST_F(EvloopTimer, AHandlerThatLeavesDueLeavesIsCalledAgain) {
  mtimer_tree_t* tree = mtimer_tree_new(0, nullptr);
  TreeSeen seen;
  seen.take_at_most = 1;
  ASSERT_EQ(evloop_attach_tree_timer(loop_, tree, take_expired, &seen), 0);
  for (uint32_t type = 1; type <= 3; ++type) start(mtimer_leaf_new(tree, nullptr, type, nullptr), type);
  sim_clock_advance_ms(10000);
  evloop_run_until_idle(loop_);
  ASSERT_EQ(seen.calls.size(), 3u);
  EXPECT_EQ(seen.calls[0], (std::vector<uint32_t>{1}));
  EXPECT_EQ(seen.calls[1], (std::vector<uint32_t>{2}));
  EXPECT_EQ(seen.calls[2], (std::vector<uint32_t>{3}));
  mtimer_tree_free(tree);
}

int free_tree_handler(mtimer_tree_t* tree, void* ctx) {
  ++*static_cast<int*>(ctx);
  mtimer_tree_free(tree);
  return 0;
}

TEST_F(EvloopTimer, FreeingATreeDetachesIt) {
  mtimer_tree_t* tree = mtimer_tree_new(0, nullptr);
  int calls = 0;
  ASSERT_EQ(evloop_attach_tree_timer(loop_, tree, free_tree_handler, &calls), 0);
  start(mtimer_leaf_new(tree, nullptr, 1, nullptr), 1);
  start(mtimer_leaf_new(tree, nullptr, 2, nullptr), 1);
  sim_clock_advance_ms(1000);
  evloop_run_until_idle(loop_);
  EXPECT_EQ(calls, 1);
  // A freed tree outside any handler is gone from the loop as well.
  mtimer_tree_t* other = mtimer_tree_new(0, nullptr);
  ASSERT_EQ(evloop_attach_tree_timer(loop_, other, free_tree_handler, &calls), 0);
  start(mtimer_leaf_new(other, nullptr, 1, nullptr), 1);
  mtimer_tree_free(other);
  sim_clock_advance_ms(1000);
  evloop_run_until_idle(loop_);
  EXPECT_EQ(calls, 1);
  EXPECT_LT(evloop_detach_tree_timer(loop_, other), 0);
}

void count_item(void* arg) { ++*static_cast<int*>(arg); }

TEST_F(EvloopTimer, LoopTimersRunOnTheFakeClockAndCancel) {
  int a = 0, b = 0;
  uint64_t ta = evloop_timer_start(loop_, 1000, count_item, &a);
  uint64_t tb = evloop_timer_start(loop_, 2000, count_item, &b);
  ASSERT_NE(ta, 0u);
  ASSERT_NE(tb, 0u);
  sim_clock_advance_ms(999);
  evloop_run_until_idle(loop_);
  EXPECT_EQ(a, 0);
  sim_clock_advance_ms(1);
  evloop_run_until_idle(loop_);
  EXPECT_EQ(a, 1);
  EXPECT_EQ(evloop_timer_cancel(loop_, tb), 0);
  EXPECT_EQ(evloop_timer_cancel(loop_, ta), -1);  // already run
  sim_clock_advance_ms(5000);
  evloop_run_until_idle(loop_);
  EXPECT_EQ(b, 0);
  EXPECT_EQ(evloop_timer_start(nullptr, 1, count_item, &a), 0u);
}

int count_expired(mtimer_tree_t* tree, void* ctx) {
  while (mtimer_tree_first_expired(tree) != nullptr) ++*static_cast<int*>(ctx);
  return 0;
}

TEST(EvloopRealClock, TimersAndTreesFireOnTheLoopsTimerfd) {
  ASSERT_FALSE(sim_clock_is_fake());
  evloop_t* loop = evloop_create("real", 0);
  ASSERT_NE(loop, nullptr);
  int timer_runs = 0, leaves = 0;
  mtimer_tree_t* tree = mtimer_tree_new(0, nullptr);
  ASSERT_EQ(evloop_attach_tree_timer(loop, tree, count_expired, &leaves), 0);
  timeval tv{0, 2000};
  ASSERT_EQ(mtimer_leaf_start(mtimer_leaf_new(tree, nullptr, 1, nullptr), &tv), 0);
  ASSERT_NE(evloop_timer_start(loop, 3, count_item, &timer_runs), 0u);
  struct Both {
    int* a;
    int* b;
  } both{&timer_runs, &leaves};
  auto done = [](void* arg) {
    auto* w = static_cast<Both*>(arg);
    return (*w->a == 1 && *w->b == 1) ? 1 : 0;
  };
  EXPECT_EQ(evloop_run_until(loop, done, &both, 20000), 0)
      << "timer runs " << timer_runs << ", leaves expired " << leaves;
  mtimer_tree_free(tree);
  evloop_destroy(loop);
}

struct Blocked {
  evloop_t* loop;
  std::promise<void> fired;
};

int stop_on_expiry(mtimer_tree_t* tree, void* ctx) {
  auto* b = static_cast<Blocked*>(ctx);
  while (mtimer_tree_first_expired(tree) != nullptr) {
  }
  b->fired.set_value();
  evloop_stop(b->loop);
  return 0;
}

TEST(EvloopThread, AdvancingTheClockWakesALoopBlockedOnAnotherThread) {
  sim_clock_use_fake(0);
  Blocked b;
  std::future<void> fired = b.fired.get_future();
  std::promise<mtimer_leaf_t*> leaf_ready;
  std::future<mtimer_leaf_t*> leaf_future = leaf_ready.get_future();
  std::thread worker([&] {
    b.loop = evloop_create("worker", 0);
    mtimer_tree_t* tree = mtimer_tree_new(0, nullptr);
    evloop_attach_tree_timer(b.loop, tree, stop_on_expiry, &b);
    leaf_ready.set_value(mtimer_leaf_new(tree, nullptr, 9, nullptr));
    evloop_block(b.loop, 0);
    mtimer_tree_free(tree);
    evloop_destroy(b.loop);
  });
  mtimer_leaf_t* leaf = leaf_future.get();
  // Started from this thread while the worker's loop is blocked with no timer.
  timeval tv{60, 0};
  ASSERT_EQ(mtimer_leaf_start(leaf, &tv), 0);
  sim_clock_advance_ms(60000);
  bool ok = fired.wait_for(std::chrono::seconds(20)) == std::future_status::ready;
  if (!ok) evloop_stop(b.loop);
  worker.join();
  sim_clock_use_real();
  EXPECT_TRUE(ok) << "the blocked loop did not run the tree after the clock advanced";
}

TEST(EvloopThread, StopFromAnotherThreadEndsBlock) {
  evloop_t* loop = nullptr;
  std::promise<void> created;
  std::promise<int> result;
  std::thread worker([&] {
    loop = evloop_create("stoppable", 0);
    created.set_value();
    result.set_value(evloop_block(loop, 0));
  });
  created.get_future().wait();
  evloop_stop(loop);
  auto f = result.get_future();
  bool ok = f.wait_for(std::chrono::seconds(20)) == std::future_status::ready;
  ASSERT_TRUE(ok) << "evloop_block did not return after evloop_stop";
  EXPECT_EQ(f.get(), 0);
  worker.join();
  evloop_destroy(loop);
}

struct Resync {
  int fired = 0;
};

void resync_handler(int, uint32_t events, void* ctx) {
  if (events & EVLOOP_FD_READABLE) ++static_cast<Resync*>(ctx)->fired;
}

TEST_F(EvloopTimer, TestHooksFindAndFireAnArmedTimerfd) {
  int tfd = timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK);
  ASSERT_GE(tfd, 0);
  Resync r;
  ASSERT_EQ(evloop_attach_fd(loop_, tfd, 0, resync_handler, EVLOOP_FD_READABLE, 0, &r, 0), 0);
  int fds[4] = {-1, -1, -1, -1};
  EXPECT_EQ(evloop_test_armed_timerfds(loop_, fds, 4), 0);  // not armed yet
  itimerspec its{};
  its.it_value.tv_sec = 120;
  ASSERT_EQ(timerfd_settime(tfd, 0, &its, nullptr), 0);
  ASSERT_EQ(evloop_test_armed_timerfds(loop_, fds, 4), 1);
  EXPECT_EQ(fds[0], tfd);
  EXPECT_EQ(evloop_test_fire_fd(loop_, tfd, EVLOOP_FD_READABLE), 0);
  EXPECT_EQ(r.fired, 1);
  // A pipe is not a timerfd, and an unknown fd cannot be fired.
  int p[2];
  ASSERT_EQ(pipe(p), 0);
  ASSERT_EQ(evloop_attach_fd(loop_, p[0], 0, resync_handler, EVLOOP_FD_READABLE, 0, &r, 0), 0);
  EXPECT_EQ(evloop_test_armed_timerfds(loop_, fds, 4), 1);
  EXPECT_EQ(evloop_test_fire_fd(loop_, p[1], EVLOOP_FD_READABLE), -1);
  evloop_attach_fd(loop_, p[0], 0, nullptr, 0, 0, nullptr, 0);
  evloop_attach_fd(loop_, tfd, 0, nullptr, 0, 0, nullptr, 0);
  close(p[0]);
  close(p[1]);
  close(tfd);
}

}  // namespace

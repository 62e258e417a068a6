#include <gtest/gtest.h>
#include <sys/timerfd.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "evloop.h"

namespace {

struct Pipe {
  int r = -1, w = -1;
  Pipe() {
    int fds[2];
    if (pipe(fds) == 0) {
      r = fds[0];
      w = fds[1];
    }
  }
  ~Pipe() {
    if (r >= 0) close(r);
    if (w >= 0) close(w);
  }
  void put() { ASSERT_EQ(write(w, "x", 1), 1); }
};

class EvloopFd : public ::testing::Test {
 protected:
  void SetUp() override {
    loop_ = evloop_create("evloop_fd_test", 0);
    ASSERT_NE(loop_, nullptr);
  }
  void TearDown() override { evloop_destroy(loop_); }
  evloop_t* loop_ = nullptr;
};

struct Log {
  std::vector<std::string> entries;
  evloop_t* loop = nullptr;
  int detach_fd = -1;
};

void log_handler(int fd, uint32_t events, void* ctx) {
  auto* log = static_cast<Log*>(ctx);
  log->entries.push_back("fd " + std::to_string(fd) + " events " + std::to_string(events));
}

TEST_F(EvloopFd, UnreadDescriptorKeepsFiringUntilDetached) {
  Pipe p;
  Log log;
  ASSERT_EQ(evloop_attach_fd(loop_, p.r, 0, log_handler, EVLOOP_FD_READABLE, 0, &log, 0), 0);
  EXPECT_EQ(evloop_run_once(loop_, 0), 0);
  p.put();
  EXPECT_EQ(evloop_run_once(loop_, 0), 1);
  EXPECT_EQ(evloop_run_once(loop_, 0), 1);
  std::string expected = "fd " + std::to_string(p.r) + " events 2";
  EXPECT_EQ(log.entries, (std::vector<std::string>{expected, expected}));
  ASSERT_EQ(evloop_attach_fd(loop_, p.r, 0, nullptr, 0, 0, nullptr, 0), 0);
  EXPECT_EQ(evloop_run_once(loop_, 0), 0);
  EXPECT_EQ(log.entries.size(), 2u);
}

TEST_F(EvloopFd, UnreadTimerfdKeepsFiring) {
  int tfd = timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK);
  ASSERT_GE(tfd, 0);
  itimerspec its{};
  its.it_value.tv_nsec = 1;  // expires at once
  ASSERT_EQ(timerfd_settime(tfd, 0, &its, nullptr), 0);
  Log log;
  ASSERT_EQ(evloop_attach_fd(loop_, tfd, 0, log_handler, EVLOOP_FD_READABLE, 0, &log, 0), 0);
  auto three = [](void* arg) { return static_cast<Log*>(arg)->entries.size() >= 3 ? 1 : 0; };
  ASSERT_EQ(evloop_run_until(loop_, three, &log, 10000), 0)
      << "an expired, unread timerfd stopped firing after " << log.entries.size() << " calls";
  // Disarmed with a zero value it stays quiet even though it was never read.
  its = itimerspec{};
  ASSERT_EQ(timerfd_settime(tfd, 0, &its, nullptr), 0);
  size_t before = log.entries.size();
  EXPECT_EQ(evloop_run_once(loop_, 0), 0);
  EXPECT_EQ(log.entries.size(), before);
  EXPECT_EQ(evloop_attach_fd(loop_, tfd, 0, nullptr, 0, 0, nullptr, 0), 0);
  close(tfd);
}

void detach_other(int, uint32_t, void* ctx) {
  auto* log = static_cast<Log*>(ctx);
  log->entries.push_back("detacher");
  evloop_attach_fd(log->loop, log->detach_fd, 0, nullptr, 0, 0, nullptr, 0);
}

TEST_F(EvloopFd, DetachFromAHandlerTakesEffectInTheSamePass) {
  Pipe a, b;
  Log log;
  log.loop = loop_;
  a.put();
  b.put();
  // Whichever runs first detaches the other; only one handler may run.
  log.detach_fd = b.r;
  Log log_b;
  log_b.loop = loop_;
  log_b.detach_fd = a.r;
  ASSERT_EQ(evloop_attach_fd(loop_, a.r, 0, detach_other, EVLOOP_FD_READABLE, 0, &log, 0), 0);
  ASSERT_EQ(evloop_attach_fd(loop_, b.r, 0, detach_other, EVLOOP_FD_READABLE, 0, &log_b, 0), 0);
  EXPECT_EQ(evloop_run_once(loop_, 0), 1);
  EXPECT_EQ(log.entries.size() + log_b.entries.size(), 1u);
  // The survivor stays attached and its pipe is still readable.
  EXPECT_EQ(evloop_run_once(loop_, 0), 1);
}

TEST_F(EvloopFd, ReattachReplacesHandlerAndContext) {
  Pipe p;
  Log first, second;
  p.put();
  ASSERT_EQ(evloop_attach_fd(loop_, p.r, 0, log_handler, EVLOOP_FD_READABLE, 0, &first, 0), 0);
  ASSERT_EQ(evloop_attach_fd(loop_, p.r, 0, log_handler, EVLOOP_FD_READABLE, 0, &second, 0), 0);
  EXPECT_EQ(evloop_run_once(loop_, 0), 1);
  EXPECT_TRUE(first.entries.empty());
  EXPECT_EQ(second.entries.size(), 1u);
}

TEST_F(EvloopFd, WritableAndHangupAreReported) {
  Pipe p;
  Log log;
  ASSERT_EQ(evloop_attach_fd(loop_, p.w, 0, log_handler, EVLOOP_FD_WRITABLE, 0, &log, 0), 0);
  EXPECT_EQ(evloop_run_once(loop_, 0), 1);
  ASSERT_EQ(log.entries.size(), 1u);
  EXPECT_EQ(log.entries[0], "fd " + std::to_string(p.w) + " events 4");
  ASSERT_EQ(evloop_attach_fd(loop_, p.w, 0, nullptr, 0, 0, nullptr, 0), 0);
  // The writer goes away: the reader sees readable and error together.
  close(p.w);
  p.w = -1;
  log.entries.clear();
  ASSERT_EQ(evloop_attach_fd(loop_, p.r, 0, log_handler, EVLOOP_FD_READABLE, 0, &log, 0), 0);
  EXPECT_EQ(evloop_run_once(loop_, 0), 1);
  ASSERT_EQ(log.entries.size(), 1u);
  EXPECT_EQ(log.entries[0], "fd " + std::to_string(p.r) + " events " +
                                std::to_string(EVLOOP_FD_READABLE | EVLOOP_FD_ERROR));
  evloop_attach_fd(loop_, p.r, 0, nullptr, 0, 0, nullptr, 0);
}

TEST_F(EvloopFd, AttachFailuresAreNegative) {
  Pipe p;
  Log log;
  struct Case {
    const char* name;
    evloop_t* loop;
    int fd;
    evloop_fd_handler_t handler;
    uint32_t events;
  };
  const Case cases[] = {
      {"null loop", nullptr, p.r, log_handler, EVLOOP_FD_READABLE},
      {"negative fd", loop_, -1, log_handler, EVLOOP_FD_READABLE},
      {"closed fd", loop_, 999, log_handler, EVLOOP_FD_READABLE},
      {"detach of an fd never attached", loop_, p.r, nullptr, 0},
      {"null handler with events", loop_, p.r, nullptr, EVLOOP_FD_READABLE},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_LT(evloop_attach_fd(c.loop, c.fd, 0, c.handler, c.events, 0, &log, 0), 0);
  }
}

struct Order {
  std::vector<std::string> seen;
  evloop_t* loop;
};

void item_b(void* arg) { static_cast<Order*>(arg)->seen.push_back("item b"); }
void item_a(void* arg) {
  auto* o = static_cast<Order*>(arg);
  o->seen.push_back("item a");
  evloop_delayed_ev_item_enqueue(o->loop, item_b, o);
}
void handler_enqueuing(int fd, uint32_t, void* ctx) {
  auto* o = static_cast<Order*>(ctx);
  o->seen.push_back("handler start " + std::to_string(fd));
  ASSERT_EQ(evloop_delayed_ev_item_enqueue(o->loop, item_a, o), 0);
  o->seen.push_back("handler end " + std::to_string(fd));
  char c;
  ASSERT_EQ(read(fd, &c, 1), 1);
}

TEST_F(EvloopFd, DelayedItemsRunAfterTheCurrentEventBeforeTheNext) {
  Pipe a, b;
  Order o{{}, loop_};
  a.put();
  b.put();
  ASSERT_EQ(evloop_attach_fd(loop_, a.r, 0, handler_enqueuing, EVLOOP_FD_READABLE, 0, &o, 0), 0);
  ASSERT_EQ(evloop_attach_fd(loop_, b.r, 0, handler_enqueuing, EVLOOP_FD_READABLE, 0, &o, 0), 0);
  evloop_run_until_idle(loop_);
  ASSERT_EQ(o.seen.size(), 8u);
  for (size_t first = 0; first < 8; first += 4) {
    EXPECT_EQ(o.seen[first].rfind("handler start", 0), 0u);
    EXPECT_EQ(o.seen[first + 1].rfind("handler end", 0), 0u);
    EXPECT_EQ(o.seen[first + 2], "item a");
    EXPECT_EQ(o.seen[first + 3], "item b");
  }
  // Queued outside any handler: runs on the next pass.
  o.seen.clear();
  ASSERT_EQ(evloop_delayed_ev_item_enqueue(loop_, item_b, &o), 0);
  EXPECT_TRUE(o.seen.empty());
  EXPECT_EQ(evloop_run_once(loop_, 0), 1);
  EXPECT_EQ(o.seen, (std::vector<std::string>{"item b"}));
  EXPECT_LT(evloop_delayed_ev_item_enqueue(nullptr, item_b, &o), 0);
  EXPECT_LT(evloop_delayed_ev_item_enqueue(loop_, nullptr, &o), 0);
}

void free_item(void* arg) { delete static_cast<int*>(arg); }

TEST(EvloopLife, DestroyRunsDeferredFreesAndClearsTheCurrentLoop) {
  evloop_t* loop = evloop_create("life", 0);
  ASSERT_NE(loop, nullptr);
  EXPECT_STREQ(evloop_get_name(loop), "life");
  EXPECT_EQ(evloop_current(), loop);
  // Under the leak checker this fails if the deferred free is dropped.
  ASSERT_EQ(evloop_delayed_ev_item_enqueue(loop, free_item, new int(5)), 0);
  evloop_destroy(loop);
  EXPECT_EQ(evloop_current(), nullptr);
}

}  // namespace

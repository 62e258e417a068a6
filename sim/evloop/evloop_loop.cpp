// One loop per thread on epoll. Registered descriptors are level triggered;
// loop timers and attached timer trees share one timerfd armed at the earliest
// deadline (on the fake clock the loop checks deadlines on every pass and is
// woken by each clock advance instead).
#include <errno.h>
#include <pthread.h>
#include <string.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/timerfd.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "evloop.h"
#include "sim_clock.h"

namespace {

// epoll data of the loop's own descriptors; registered fds get serials above.
constexpr uint64_t kWakeSerial = 1;
constexpr uint64_t kTimerSerial = 2;
constexpr int kMaxEvents = 64;

struct FdRec {
  int fd;
  evloop_fd_handler_t handler;
  uint32_t events;
  void* ctx;
  uint64_t serial;
};

struct TimerRec {
  evloop_item_fn_t fn;
  void* arg;
};

struct TreeRec {
  evloop_tree_expiry_t expiry;
  void* ctx;
};

struct Item {
  evloop_item_fn_t fn;
  void* arg;
};

thread_local evloop* t_current = nullptr;

uint32_t to_epoll(uint32_t events) {
  uint32_t e = 0;
  if (events & EVLOOP_FD_READABLE) e |= EPOLLIN;
  if (events & EVLOOP_FD_WRITABLE) e |= EPOLLOUT;
  return e;
}

uint32_t from_epoll(uint32_t e, uint32_t wanted) {
  uint32_t events = 0;
  if (e & EPOLLIN) events |= EVLOOP_FD_READABLE;
  if (e & EPOLLOUT) events |= EVLOOP_FD_WRITABLE;
  if (e & (EPOLLERR | EPOLLHUP)) {
    // A reader learns of the hang-up by reading: report it readable too.
    events |= EVLOOP_FD_ERROR | (wanted & EVLOOP_FD_READABLE);
  }
  return events & (wanted | EVLOOP_FD_ERROR);
}

uint64_t real_now_ms() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<uint64_t>(ts.tv_sec) * 1000ull + static_cast<uint64_t>(ts.tv_nsec) / 1000000ull;
}

}  // namespace

struct evloop {
  std::string name;
  int epfd = -1;
  int wakefd = -1;
  int timerfd = -1;
  std::atomic<pthread_t> thread{};
  std::atomic<bool> stop{false};
  uint64_t clock_listener = 0;

  // Guards everything below. Never held while a handler runs.
  std::recursive_mutex mutex;
  std::unordered_map<int, std::shared_ptr<FdRec>> by_fd;
  std::unordered_map<uint64_t, std::shared_ptr<FdRec>> by_serial;
  uint64_t next_serial = 16;
  std::map<std::pair<uint64_t, uint64_t>, TimerRec> timers;  // (deadline, id)
  std::unordered_map<uint64_t, uint64_t> timer_deadline;    // id -> deadline
  uint64_t next_timer_id = 1;
  std::map<mtimer_tree_t*, TreeRec> trees;
  std::deque<Item> items;
  uint64_t armed_ns = 0;  // deadline the timerfd is armed for, 0: disarmed

  bool on_own_thread() const { return pthread_equal(thread.load(), pthread_self()) != 0; }
};

namespace {

void wake(evloop* loop) {
  uint64_t one = 1;
  ssize_t n = write(loop->wakefd, &one, sizeof one);
  (void)n;  // a full counter already means "wake up"
}

void clock_advanced(void* arg) { wake(static_cast<evloop*>(arg)); }

void tree_changed(mtimer_tree_t* tree, void* arg, int freed);

// Earliest deadline of timers and trees; false when none.
bool next_deadline(evloop* loop, uint64_t* when) {
  std::lock_guard<std::recursive_mutex> lock(loop->mutex);
  bool any = false;
  uint64_t best = 0;
  if (!loop->timers.empty()) {
    best = loop->timers.begin()->first.first;
    any = true;
  }
  for (auto& [tree, rec] : loop->trees) {
    uint64_t t;
    if (mtimer_tree_next_expiry_ns(tree, &t) && (!any || t < best)) {
      best = t;
      any = true;
    }
  }
  if (any) *when = best;
  return any;
}

void arm_timerfd(evloop* loop, uint64_t deadline_ns) {
  if (loop->armed_ns == deadline_ns) return;
  itimerspec its{};
  if (deadline_ns != 0) {
    its.it_value.tv_sec = static_cast<time_t>(deadline_ns / 1000000000ull);
    its.it_value.tv_nsec = static_cast<long>(deadline_ns % 1000000000ull);
  }
  if (timerfd_settime(loop->timerfd, deadline_ns ? TFD_TIMER_ABSTIME : 0, &its, nullptr) == 0) {
    loop->armed_ns = deadline_ns;
  }
}

// Runs the delayed items queued so far, and those they queue, in order.
int run_items(evloop* loop) {
  int ran = 0;
  for (;;) {
    Item item;
    {
      std::lock_guard<std::recursive_mutex> lock(loop->mutex);
      if (loop->items.empty()) return ran;
      item = loop->items.front();
      loop->items.pop_front();
    }
    item.fn(item.arg);
    ++ran;
  }
}

int dispatch_fd(evloop* loop, uint64_t serial, uint32_t epoll_events) {
  std::shared_ptr<FdRec> rec;
  {
    std::lock_guard<std::recursive_mutex> lock(loop->mutex);
    auto it = loop->by_serial.find(serial);
    if (it == loop->by_serial.end()) return 0;  // detached earlier in this pass
    rec = it->second;
  }
  uint32_t events = from_epoll(epoll_events, rec->events);
  if (events == 0 || rec->handler == nullptr) return 0;
  rec->handler(rec->fd, events, rec->ctx);
  return 1 + run_items(loop);
}

int run_due_timers(evloop* loop, uint64_t now) {
  int ran = 0;
  uint64_t last_id;
  {
    std::lock_guard<std::recursive_mutex> lock(loop->mutex);
    last_id = loop->next_timer_id;
  }
  for (;;) {
    TimerRec rec;
    {
      std::lock_guard<std::recursive_mutex> lock(loop->mutex);
      auto it = loop->timers.begin();
      // Timers started by these handlers wait for the next pass.
      while (it != loop->timers.end() && it->first.first <= now && it->first.second >= last_id) ++it;
      if (it == loop->timers.end() || it->first.first > now) break;
      rec = it->second;
      loop->timer_deadline.erase(it->first.second);
      loop->timers.erase(it);
    }
    rec.fn(rec.arg);
    ran += 1 + run_items(loop);
  }
  return ran;
}

int run_due_trees(evloop* loop, uint64_t now) {
  int ran = 0;
  std::vector<mtimer_tree_t*> due;
  {
    std::lock_guard<std::recursive_mutex> lock(loop->mutex);
    for (auto& [tree, rec] : loop->trees) {
      uint64_t t;
      if (mtimer_tree_next_expiry_ns(tree, &t) && t <= now) due.push_back(tree);
    }
  }
  for (mtimer_tree_t* tree : due) {
    TreeRec rec;
    {
      std::lock_guard<std::recursive_mutex> lock(loop->mutex);
      auto it = loop->trees.find(tree);
      if (it == loop->trees.end()) continue;  // freed or detached by an earlier handler
      rec = it->second;
    }
    rec.expiry(tree, rec.ctx);
    ran += 1 + run_items(loop);
  }
  return ran;
}

int one_pass(evloop* loop, int timeout_ms) {
  loop->thread.store(pthread_self());
  evloop* saved = t_current;
  t_current = loop;
  uint64_t deadline = 0;
  bool have = next_deadline(loop, &deadline);
  uint64_t now = sim_clock_now_ns();
  bool fake = sim_clock_is_fake() != 0;
  int timeout = timeout_ms;
  if (have && deadline <= now) timeout = 0;
  bool items_waiting;
  {
    std::lock_guard<std::recursive_mutex> lock(loop->mutex);
    items_waiting = !loop->items.empty();
  }
  if (items_waiting) timeout = 0;
  arm_timerfd(loop, (have && !fake) ? std::max<uint64_t>(deadline, 1) : 0);

  epoll_event evs[kMaxEvents];
  int n = epoll_wait(loop->epfd, evs, kMaxEvents, timeout);
  if (n < 0 && errno != EINTR) {
    t_current = saved;
    return -1;
  }
  int ran = 0;
  for (int i = 0; i < n; ++i) {
    uint64_t serial = evs[i].data.u64;
    if (serial == kWakeSerial) {
      uint64_t v;
      ssize_t r = read(loop->wakefd, &v, sizeof v);
      (void)r;
    } else if (serial == kTimerSerial) {
      uint64_t v;
      ssize_t r = read(loop->timerfd, &v, sizeof v);
      (void)r;
      loop->armed_ns = 0;
    } else {
      ran += dispatch_fd(loop, serial, evs[i].events);
    }
  }
  now = sim_clock_now_ns();
  ran += run_due_timers(loop, now);
  ran += run_due_trees(loop, now);
  ran += run_items(loop);
  t_current = saved;
  return ran;
}

void tree_changed(mtimer_tree_t* tree, void* arg, int freed) {
  auto* loop = static_cast<evloop*>(arg);
  if (freed) {
    std::lock_guard<std::recursive_mutex> lock(loop->mutex);
    loop->trees.erase(tree);
    return;
  }
  // On its own thread the loop looks at the trees before it waits again.
  if (!loop->on_own_thread()) wake(loop);
}

}  // namespace

evloop_t* evloop_create(const char* name, uint32_t) {
  auto loop = std::make_unique<evloop>();
  loop->name = name ? name : "";
  loop->thread.store(pthread_self());
  loop->epfd = epoll_create1(EPOLL_CLOEXEC);
  loop->wakefd = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  loop->timerfd = timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC);
  auto cleanup = [&]() {
    for (int fd : {loop->epfd, loop->wakefd, loop->timerfd}) {
      if (fd >= 0) close(fd);
    }
    return nullptr;
  };
  if (loop->epfd < 0 || loop->wakefd < 0 || loop->timerfd < 0) return cleanup();
  epoll_event ev{};
  ev.events = EPOLLIN;
  ev.data.u64 = kWakeSerial;
  if (epoll_ctl(loop->epfd, EPOLL_CTL_ADD, loop->wakefd, &ev) != 0) return cleanup();
  ev.data.u64 = kTimerSerial;
  if (epoll_ctl(loop->epfd, EPOLL_CTL_ADD, loop->timerfd, &ev) != 0) return cleanup();
  evloop* raw = loop.release();
  raw->clock_listener = sim_clock_add_listener(clock_advanced, raw);
  if (t_current == nullptr) t_current = raw;
  return raw;
}

void evloop_destroy(evloop_t* loop) {
  if (loop == nullptr) return;
  sim_clock_remove_listener(loop->clock_listener);
  // Deferred frees queued before the end still run, so nothing they own leaks.
  run_items(loop);
  {
    std::lock_guard<std::recursive_mutex> lock(loop->mutex);
    for (auto& [tree, rec] : loop->trees) mtimer_tree_set_hook(tree, nullptr, nullptr);
    loop->trees.clear();
  }
  close(loop->epfd);
  close(loop->wakefd);
  close(loop->timerfd);
  if (t_current == loop) t_current = nullptr;
  delete loop;
}

const char* evloop_get_name(const evloop_t* loop) { return loop ? loop->name.c_str() : ""; }

evloop_t* evloop_current(void) { return t_current; }

int evloop_block(evloop_t* loop, uint32_t) {
  if (loop == nullptr) return -1;
  while (!loop->stop.load()) {
    if (one_pass(loop, -1) < 0) return -1;
  }
  loop->stop.store(false);
  return 0;
}

void evloop_stop(evloop_t* loop) {
  if (loop == nullptr) return;
  loop->stop.store(true);
  wake(loop);
}

void evloop_wake(evloop_t* loop) {
  if (loop != nullptr) wake(loop);
}

int evloop_run_once(evloop_t* loop, int timeout_ms) {
  if (loop == nullptr) return -1;
  return one_pass(loop, timeout_ms);
}

int evloop_run_until_idle(evloop_t* loop) {
  if (loop == nullptr) return -1;
  int total = 0;
  for (;;) {
    int ran = one_pass(loop, 0);
    if (ran < 0) return -1;
    if (ran == 0) return total;
    total += ran;
  }
}

int evloop_run_until(evloop_t* loop, int (*done)(void*), void* arg, uint32_t bound_ms) {
  if (loop == nullptr || done == nullptr) return -1;
  uint64_t end = real_now_ms() + bound_ms;
  for (;;) {
    if (done(arg)) return 0;
    uint64_t now = real_now_ms();
    if (now >= end) return -1;
    if (one_pass(loop, static_cast<int>(std::min<uint64_t>(end - now, 100))) < 0) return -1;
  }
}

int evloop_attach_fd(evloop_t* loop, int fd, uint32_t, evloop_fd_handler_t handler,
                     uint32_t events, uint32_t, void* ctx, uint32_t) {
  if (loop == nullptr || fd < 0) return -1;
  std::lock_guard<std::recursive_mutex> lock(loop->mutex);
  auto it = loop->by_fd.find(fd);
  if (handler == nullptr) {
    if (events != 0 || it == loop->by_fd.end()) return -1;
    // The fd may already be closed (epoll then forgot it by itself).
    epoll_ctl(loop->epfd, EPOLL_CTL_DEL, fd, nullptr);
    loop->by_serial.erase(it->second->serial);
    loop->by_fd.erase(it);
    return 0;
  }
  auto rec = std::make_shared<FdRec>(FdRec{fd, handler, events, ctx, loop->next_serial++});
  epoll_event ev{};
  ev.events = to_epoll(events);
  ev.data.u64 = rec->serial;
  if (it != loop->by_fd.end()) {
    // Replacing: a new serial makes events already fetched for the old
    // registration miss, and a closed-and-reused fd number is added afresh.
    if (epoll_ctl(loop->epfd, EPOLL_CTL_MOD, fd, &ev) != 0 &&
        (errno != ENOENT || epoll_ctl(loop->epfd, EPOLL_CTL_ADD, fd, &ev) != 0)) {
      return -1;
    }
    loop->by_serial.erase(it->second->serial);
    it->second = rec;
  } else {
    if (epoll_ctl(loop->epfd, EPOLL_CTL_ADD, fd, &ev) != 0) return -1;
    loop->by_fd.emplace(fd, rec);
  }
  loop->by_serial.emplace(rec->serial, rec);
  return 0;
}

int evloop_attach_tree_timer(evloop_t* loop, mtimer_tree_t* tree, evloop_tree_expiry_t expiry,
                             void* ctx, uint32_t, uint32_t, uint32_t) {
  if (loop == nullptr || tree == nullptr || expiry == nullptr) return -1;
  {
    std::lock_guard<std::recursive_mutex> lock(loop->mutex);
    loop->trees[tree] = TreeRec{expiry, ctx};
  }
  mtimer_tree_set_hook(tree, tree_changed, loop);
  if (!loop->on_own_thread()) wake(loop);
  return 0;
}

int evloop_detach_tree_timer(evloop_t* loop, mtimer_tree_t* tree) {
  if (loop == nullptr || tree == nullptr) return -1;
  std::lock_guard<std::recursive_mutex> lock(loop->mutex);
  if (loop->trees.erase(tree) == 0) return -1;
  mtimer_tree_set_hook(tree, nullptr, nullptr);
  return 0;
}

int evloop_delayed_ev_item_enqueue(evloop_t* loop, evloop_item_fn_t fn, void* arg) {
  if (loop == nullptr || fn == nullptr) return -1;
  {
    std::lock_guard<std::recursive_mutex> lock(loop->mutex);
    loop->items.push_back({fn, arg});
  }
  if (!loop->on_own_thread()) wake(loop);
  return 0;
}

uint64_t evloop_timer_start(evloop_t* loop, uint64_t delay_ms, evloop_item_fn_t fn, void* arg) {
  if (loop == nullptr || fn == nullptr) return 0;
  uint64_t deadline = sim_clock_now_ns() + delay_ms * 1000000ull;
  uint64_t id;
  {
    std::lock_guard<std::recursive_mutex> lock(loop->mutex);
    id = loop->next_timer_id++;
    loop->timers.emplace(std::make_pair(deadline, id), TimerRec{fn, arg});
    loop->timer_deadline.emplace(id, deadline);
  }
  if (!loop->on_own_thread()) wake(loop);
  return id;
}

int evloop_timer_cancel(evloop_t* loop, uint64_t id) {
  if (loop == nullptr) return -1;
  std::lock_guard<std::recursive_mutex> lock(loop->mutex);
  auto it = loop->timer_deadline.find(id);
  if (it == loop->timer_deadline.end()) return -1;
  loop->timers.erase(std::make_pair(it->second, id));
  loop->timer_deadline.erase(it);
  return 0;
}

int evloop_test_armed_timerfds(evloop_t* loop, int* fds, int max) {
  if (loop == nullptr) return -1;
  std::vector<int> sorted;
  {
    std::lock_guard<std::recursive_mutex> lock(loop->mutex);
    for (auto& [fd, rec] : loop->by_fd) sorted.push_back(fd);
  }
  std::sort(sorted.begin(), sorted.end());
  int count = 0;
  for (int fd : sorted) {
    itimerspec cur{};
    // Only a timerfd answers timerfd_gettime.
    if (timerfd_gettime(fd, &cur) != 0) continue;
    if (cur.it_value.tv_sec == 0 && cur.it_value.tv_nsec == 0) continue;
    if (fds != nullptr && count < max) fds[count] = fd;
    ++count;
  }
  return count;
}

int evloop_test_fire_fd(evloop_t* loop, int fd, uint32_t events) {
  if (loop == nullptr) return -1;
  std::shared_ptr<FdRec> rec;
  {
    std::lock_guard<std::recursive_mutex> lock(loop->mutex);
    auto it = loop->by_fd.find(fd);
    if (it == loop->by_fd.end()) return -1;
    rec = it->second;
  }
  evloop* saved = t_current;
  t_current = loop;
  rec->handler(fd, events, rec->ctx);
  run_items(loop);
  t_current = saved;
  return 0;
}

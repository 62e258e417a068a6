#include <time.h>

#include <atomic>
#include <mutex>
#include <utility>
#include <vector>

#include "sim_clock.h"

namespace {

std::atomic<bool> g_fake{false};
std::atomic<uint64_t> g_fake_ns{0};

struct Listener {
  uint64_t id;
  void (*fn)(void*);
  void* arg;
};

std::mutex g_listeners_mutex;  // guards g_listeners and g_next_id; taken alone
std::vector<Listener> g_listeners;
uint64_t g_next_id = 1;

uint64_t monotonic_ns() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<uint64_t>(ts.tv_sec) * 1000000000ull + static_cast<uint64_t>(ts.tv_nsec);
}

}  // namespace

uint64_t sim_clock_now_ns(void) {
  if (g_fake.load(std::memory_order_acquire)) return g_fake_ns.load(std::memory_order_acquire);
  return monotonic_ns();
}

void sim_clock_use_fake(uint64_t start_ns) {
  g_fake_ns.store(start_ns, std::memory_order_release);
  g_fake.store(true, std::memory_order_release);
}

void sim_clock_use_real(void) { g_fake.store(false, std::memory_order_release); }

int sim_clock_is_fake(void) { return g_fake.load(std::memory_order_acquire) ? 1 : 0; }

void sim_clock_advance_ns(uint64_t ns) {
  if (!g_fake.load(std::memory_order_acquire)) return;
  g_fake_ns.fetch_add(ns, std::memory_order_acq_rel);
  // Held while calling, so that a loop being destroyed on another thread waits
  // until no call into it is under way. Listeners only wake their loop.
  std::lock_guard<std::mutex> lock(g_listeners_mutex);
  for (const auto& l : g_listeners) l.fn(l.arg);
}

void sim_clock_advance_ms(uint64_t ms) { sim_clock_advance_ns(ms * 1000000ull); }

uint64_t sim_clock_add_listener(void (*fn)(void*), void* arg) {
  if (fn == nullptr) return 0;
  std::lock_guard<std::mutex> lock(g_listeners_mutex);
  uint64_t id = g_next_id++;
  g_listeners.push_back({id, fn, arg});
  return id;
}

void sim_clock_remove_listener(uint64_t id) {
  std::lock_guard<std::mutex> lock(g_listeners_mutex);
  for (auto it = g_listeners.begin(); it != g_listeners.end(); ++it) {
    if (it->id == id) {
      g_listeners.erase(it);
      return;
    }
  }
}

// The thread that carries the families whose calls come without an event loop.
#include <signal.h>
#include <stdlib.h>

#include <condition_variable>
#include <mutex>
#include <thread>

#include "simsvc_internal.h"

namespace simsvc {

namespace {

struct Agent {
  std::mutex mu;
  std::condition_variable ready;
  evloop_t* loop = nullptr;
  bool started = false;
  bool created = false;  // the thread tried to make its loop
  std::thread thread;
};

// Never destroyed: the thread may still run while other statics go away; it
// is stopped by the exit handler below first.
Agent& agent() {
  static Agent* a = new Agent();
  return *a;
}

void stop_agent() {
  Agent& a = agent();
  evloop_t* loop = nullptr;
  {
    std::lock_guard<std::mutex> lock(a.mu);
    loop = a.loop;
  }
  if (loop == nullptr || !a.thread.joinable()) return;
  // Lets what was posted go out first, then stops.
  evloop_delayed_ev_item_enqueue(loop, [](void* l) { evloop_stop(static_cast<evloop_t*>(l)); },
                                 loop);
  a.thread.join();
}

void run_agent() {
  Agent& a = agent();
  evloop_t* loop = evloop_create("simsvc-agent");
  {
    std::lock_guard<std::mutex> lock(a.mu);
    a.loop = loop;
    a.created = true;
  }
  a.ready.notify_all();
  if (loop != nullptr) evloop_block(loop);
}

struct Posted {
  std::function<void()> fn;
};

void run_posted(void* arg) {
  std::unique_ptr<Posted> p(static_cast<Posted*>(arg));
  p->fn();
}

}  // namespace

evloop_t* agent_loop() {
  Agent& a = agent();
  std::unique_lock<std::mutex> lock(a.mu);
  if (!a.started) {
    a.started = true;
    // The thread takes no signals: they stay with the threads that wait for them
    // (a process that turns SIGTERM into a clean stop, for instance).
    sigset_t all;
    sigset_t old;
    sigfillset(&all);
    pthread_sigmask(SIG_BLOCK, &all, &old);
    a.thread = std::thread(run_agent);
    pthread_sigmask(SIG_SETMASK, &old, nullptr);
    atexit(stop_agent);
  }
  a.ready.wait(lock, [&] { return a.created; });
  return a.loop;
}

bool agent_post(std::function<void()> fn) {
  evloop_t* loop = agent_loop();
  if (loop == nullptr) return false;
  auto* p = new Posted{std::move(fn)};
  if (evloop_delayed_ev_item_enqueue(loop, run_posted, p) != 0) {
    delete p;
    return false;
  }
  return true;
}

}  // namespace simsvc

#include <errno.h>
#include <pthread.h>
#include <stdarg.h>
#include <stdio.h>
#include <string.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "sim_clock.h"
#include "simpaths.h"
#include "tlg.h"
#include "tlg_test.h"

extern "C" {
#include <safe_str_lib.h>
}

struct tlg_buffer {
  std::string name;
  size_t capacity = 0;  // bytes of text the ring keeps
  uint32_t points = 0;
  std::string component_path;
  std::string build_id;
  std::string parent_name;
  std::mutex mutex;  // guards lines and bytes
  std::deque<std::string> lines;
  size_t bytes = 0;
};

namespace {

// Small rings would drop lines that tests and dumps want to see; the memory is
// bounded by the number of distinct buffer names, which is small.
constexpr size_t kDefaultCapacity = 256 * 1024;
constexpr size_t kMaxLine = 64 * 1024;

std::mutex g_registry_mutex;  // guards g_registry; never held with a buffer's mutex
std::map<std::string, std::unique_ptr<tlg_buffer>, std::less<>>& registry() {
  static auto* r = new std::map<std::string, std::unique_ptr<tlg_buffer>, std::less<>>();
  return *r;
}

std::atomic<uint32_t> g_node_id{0};
std::mutex g_prefix_mutex;  // guards g_prefix
char g_prefix[64];
thread_local char t_thread_name[32];

tlg_buffer* find_buffer(std::string_view name) {
  std::lock_guard<std::mutex> lock(g_registry_mutex);
  auto it = registry().find(name);
  return it == registry().end() ? nullptr : it->second.get();
}

void append_node(std::string& out) {
  uint32_t id = g_node_id.load(std::memory_order_relaxed);
  char text[16];
  snprintf(text, sizeof text, "%u.%u.%u.%u", id >> 24, (id >> 16) & 0xffu, (id >> 8) & 0xffu,
           id & 0xffu);
  out += text;
}

// Process and thread ids are asked of the kernel once, not per line: a
// service round trip writes ten lines, and two system calls each were most of
// their cost. A forked child learns its own pid through the atfork handler.
std::atomic<pid_t> g_pid{0};
thread_local long t_tid = 0;

// Runs in the child's only thread, which inherited the parent thread's value.
void forget_ids_in_child() {
  g_pid.store(0, std::memory_order_relaxed);
  t_tid = 0;
}

pid_t cached_pid() {
  pid_t pid = g_pid.load(std::memory_order_relaxed);
  if (pid == 0) {
    static const int registered = pthread_atfork(nullptr, nullptr, forget_ids_in_child);
    (void)registered;
    pid = getpid();
    g_pid.store(pid, std::memory_order_relaxed);
  }
  return pid;
}

void append_thread(std::string& out) {
  if (t_thread_name[0] != '\0') {
    out += t_thread_name;
    return;
  }
  cached_pid();  // registers the atfork handler that resets t_tid in a child
  if (t_tid == 0) t_tid = static_cast<long>(syscall(SYS_gettid));
  out += std::to_string(t_tid);
}

void append_time(std::string& out) {
  uint64_t now = sim_clock_now_ns();
  char text[32];
  snprintf(text, sizeof text, "%llu.%06llu",
           static_cast<unsigned long long>(now / 1000000000ull),
           static_cast<unsigned long long>((now % 1000000000ull) / 1000ull));
  out += text;
}

// Expands into a per-thread buffer that keeps its storage between lines.
std::string_view expand(std::string_view text) {
  thread_local std::string out;
  out.clear();
  for (size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c != '$' || i + 1 == text.size()) {
      out += c;
      continue;
    }
    switch (text[i + 1]) {
      case 'n': append_node(out); break;
      case 'p': out += std::to_string(static_cast<long>(cached_pid())); break;
      case 'T': append_thread(out); break;
      case 'S': append_time(out); break;
      default: out += c; continue;
    }
    ++i;
  }
  return out;
}

void store(tlg_buffer* b, std::string_view line) {
  std::lock_guard<std::mutex> lock(b->mutex);
  // Once the ring is full every new line reuses the storage of the line it
  // drops, so steady tracing allocates nothing.
  std::string slot;
  while (!b->lines.empty() && b->bytes + line.size() > b->capacity) {
    b->bytes -= b->lines.front().size();
    if (slot.capacity() < b->lines.front().capacity()) slot = std::move(b->lines.front());
    b->lines.pop_front();
  }
  slot.assign(line);
  b->bytes += slot.size();
  b->lines.push_back(std::move(slot));
}

}  // namespace

int tlg_open_internal(tlg_handle_t* handle, const char* name, uint32_t size, uint32_t points,
                      const char* component_path, const char* build_id, tlg_handle_t parent) {
  if (handle == nullptr) return -1;
  *handle = nullptr;
  if (name == nullptr || name[0] == '\0') return -1;
  try {
    std::lock_guard<std::mutex> lock(g_registry_mutex);
    auto& slot = registry()[name];
    if (!slot) {
      slot = std::make_unique<tlg_buffer>();
      slot->name = name;
      slot->capacity = std::max<size_t>(size, kDefaultCapacity);
      slot->points = points;
      if (component_path != nullptr) slot->component_path = component_path;
      if (build_id != nullptr) slot->build_id = build_id;
      if (parent != nullptr) slot->parent_name = parent->name;
    }
    *handle = slot.get();
    return 0;
  } catch (...) {
    return -1;
  }
}

int tlg_enable_configuration(tlg_handle_t handle, struct evloop*) { return handle ? 0 : -1; }

void tlg_internal(tlg_handle_t handle, const char* fmt, ...) {
  if (handle == nullptr || fmt == nullptr) return;
  try {
    char small[512];
    va_list ap;
    va_start(ap, fmt);
    int n = vsnprintf(small, sizeof small, fmt, ap);
    va_end(ap);
    if (n < 0) return;
    std::string_view text;
    std::vector<char> big;
    if (static_cast<size_t>(n) < sizeof small) {
      text = std::string_view(small, static_cast<size_t>(n));
    } else {
      size_t len = std::min(static_cast<size_t>(n), kMaxLine);
      big.resize(len + 1);
      va_start(ap, fmt);
      vsnprintf(big.data(), big.size(), fmt, ap);
      va_end(ap);
      text = std::string_view(big.data(), len);
    }
    // Most lines carry no placeholder; they are stored as formatted.
    if (text.find('$') == std::string_view::npos) {
      store(handle, text);
    } else {
      store(handle, expand(text));
    }
  } catch (...) {
    // Tracing never fails its caller; the line is lost.
  }
}

void tlg_close(tlg_handle_t) {}

int tlg_dump(tlg_handle_t handle) {
  if (handle == nullptr) return -1;
  char dir[4096];
  if (sim_path("/tmp/tlg_dump", dir, sizeof dir) == nullptr || sim_mkdirs(dir) != 0) return -1;
  std::string path = std::string(dir) + "/" + handle->name + "." + std::to_string(getpid()) + ".txt";
  std::deque<std::string> lines;
  {
    std::lock_guard<std::mutex> lock(handle->mutex);
    lines = handle->lines;
  }
  FILE* f = fopen(path.c_str(), "w");
  if (f == nullptr) return -1;
  fprintf(f, "# trace buffer %s, component %s, build %s, parent %s, %zu lines\n",
          handle->name.c_str(), handle->component_path.c_str(), handle->build_id.c_str(),
          handle->parent_name.empty() ? "-" : handle->parent_name.c_str(), lines.size());
  for (const auto& line : lines) {
    fwrite(line.data(), 1, line.size(), f);
    if (line.empty() || line.back() != '\n') fputc('\n', f);
  }
  return fclose(f) == 0 ? 0 : -1;
}

const char* tlg_get_name(tlg_handle_t handle) { return handle ? handle->name.c_str() : ""; }

uint32_t tlg_get_node_id(void) { return g_node_id.load(std::memory_order_relaxed); }

void tlg_set_node_id(uint32_t node_id) { g_node_id.store(node_id, std::memory_order_relaxed); }

const char* tlg_get_process_prefix(void) {
  std::lock_guard<std::mutex> lock(g_prefix_mutex);
  if (g_prefix[0] == '\0') {
    strncpy_s(g_prefix, sizeof g_prefix, program_invocation_short_name, sizeof g_prefix - 1);
  }
  return g_prefix;
}

void tlg_set_process_prefix(const char* prefix) {
  if (prefix == nullptr) return;
  std::lock_guard<std::mutex> lock(g_prefix_mutex);
  strncpy_s(g_prefix, sizeof g_prefix, prefix, sizeof g_prefix - 1);
}

void tlg_set_current_thread_name(const char* name) {
  if (name == nullptr) {
    t_thread_name[0] = '\0';
    return;
  }
  strncpy_s(t_thread_name, sizeof t_thread_name, name, sizeof t_thread_name - 1);
}

std::vector<std::string> tlg_test_lines(const char* buffer_name) {
  tlg_buffer* b = buffer_name ? find_buffer(buffer_name) : nullptr;
  if (b == nullptr) return {};
  std::lock_guard<std::mutex> lock(b->mutex);
  return {b->lines.begin(), b->lines.end()};
}

bool tlg_test_contains(const char* buffer_name, const std::string& text) {
  for (const auto& line : tlg_test_lines(buffer_name)) {
    if (line.find(text) != std::string::npos) return true;
  }
  return false;
}

void tlg_test_clear(const char* buffer_name) {
  std::vector<tlg_buffer*> targets;
  {
    std::lock_guard<std::mutex> lock(g_registry_mutex);
    for (auto& [name, b] : registry()) {
      if (buffer_name == nullptr || name == buffer_name) targets.push_back(b.get());
    }
  }
  for (tlg_buffer* b : targets) {
    std::lock_guard<std::mutex> lock(b->mutex);
    b->lines.clear();
    b->bytes = 0;
  }
}

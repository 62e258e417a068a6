#include <stdlib.h>

#include <mutex>
#include <set>
#include <tuple>
#include <unordered_set>

#include "mtimer.h"
#include "sim_clock.h"

struct mtimer_leaf {
  mtimer_tree* tree;
  mtimer_leaf* parent;
  uint32_t type;
  void* context;
  bool running;
  uint64_t expiry_ns;
  uint64_t seq;  // start order, breaks ties between equal expiries
};

namespace {

struct ByExpiry {
  bool operator()(const mtimer_leaf* a, const mtimer_leaf* b) const {
    return std::tie(a->expiry_ns, a->seq) < std::tie(b->expiry_ns, b->seq);
  }
};

}  // namespace

struct mtimer_tree {
  std::mutex mutex;  // guards everything below and the leaves' timing fields
  std::set<mtimer_leaf*, ByExpiry> running;
  std::unordered_set<mtimer_leaf*> leaves;
  uint64_t next_seq = 1;
  mtimer_tree_hook_t hook = nullptr;
  void* hook_arg = nullptr;
};

namespace {

// Caller holds tree->mutex.
void unschedule(mtimer_leaf* leaf) {
  if (!leaf->running) return;
  leaf->tree->running.erase(leaf);
  leaf->running = false;
}

}  // namespace

mtimer_tree_t* mtimer_tree_new(uint32_t, void*) {
  return new (std::nothrow) mtimer_tree();
}

void mtimer_tree_free(mtimer_tree_t* tree) {
  if (tree == nullptr) return;
  mtimer_tree_hook_t hook;
  void* hook_arg;
  {
    std::lock_guard<std::mutex> lock(tree->mutex);
    hook = tree->hook;
    hook_arg = tree->hook_arg;
  }
  if (hook != nullptr) hook(tree, hook_arg, 1);
  for (mtimer_leaf* leaf : tree->leaves) delete leaf;
  delete tree;
}

mtimer_leaf_t* mtimer_leaf_new(mtimer_tree_t* tree, mtimer_leaf_t* parent, uint32_t type,
                               void* context) {
  if (tree == nullptr) return nullptr;
  auto* leaf = new (std::nothrow) mtimer_leaf{tree, parent, type, context, false, 0, 0};
  if (leaf == nullptr) return nullptr;
  std::lock_guard<std::mutex> lock(tree->mutex);
  tree->leaves.insert(leaf);
  return leaf;
}

void mtimer_leaf_free(mtimer_leaf_t* leaf) {
  if (leaf == nullptr) return;
  mtimer_tree* tree = leaf->tree;
  {
    std::lock_guard<std::mutex> lock(tree->mutex);
    unschedule(leaf);
    tree->leaves.erase(leaf);
  }
  delete leaf;
}

int mtimer_leaf_start(mtimer_leaf_t* leaf, const struct timeval* after, void* ctx) {
  if (leaf == nullptr || after == nullptr || after->tv_sec < 0 || after->tv_usec < 0) return -1;
  uint64_t delay_ns = static_cast<uint64_t>(after->tv_sec) * 1000000000ull +
                      static_cast<uint64_t>(after->tv_usec) * 1000ull;
  mtimer_tree* tree = leaf->tree;
  mtimer_tree_hook_t hook;
  void* hook_arg;
  {
    std::lock_guard<std::mutex> lock(tree->mutex);
    unschedule(leaf);
    if (ctx != nullptr) leaf->context = ctx;
    leaf->expiry_ns = sim_clock_now_ns() + delay_ns;
    leaf->seq = tree->next_seq++;
    leaf->running = true;
    tree->running.insert(leaf);
    hook = tree->hook;
    hook_arg = tree->hook_arg;
  }
  if (hook != nullptr) hook(tree, hook_arg, 0);
  return 0;
}

int mtimer_leaf_stop(mtimer_leaf_t* leaf) {
  if (leaf == nullptr) return -1;
  std::lock_guard<std::mutex> lock(leaf->tree->mutex);
  unschedule(leaf);
  return 0;
}

bool mtimer_leaf_running(const mtimer_leaf_t* leaf) {
  if (leaf == nullptr) return false;
  std::lock_guard<std::mutex> lock(leaf->tree->mutex);
  return leaf->running;
}

int32_t mtimer_leaf_remaining(const mtimer_leaf_t* leaf) {
  if (leaf == nullptr) return 0;
  std::lock_guard<std::mutex> lock(leaf->tree->mutex);
  if (!leaf->running) return 0;
  uint64_t now = sim_clock_now_ns();
  if (leaf->expiry_ns <= now) return 0;
  uint64_t left = leaf->expiry_ns - now;
  return static_cast<int32_t>((left + 999999999ull) / 1000000000ull);
}

uint32_t mtimer_leaf_get_type(const mtimer_leaf_t* leaf) { return leaf ? leaf->type : 0; }

void* mtimer_leaf_get_context(const mtimer_leaf_t* leaf) {
  if (leaf == nullptr) return nullptr;
  std::lock_guard<std::mutex> lock(leaf->tree->mutex);
  return leaf->context;
}

mtimer_leaf_t* mtimer_leaf_get_parent(const mtimer_leaf_t* leaf) {
  return leaf ? leaf->parent : nullptr;
}

mtimer_tree_t* mtimer_leaf_get_tree(const mtimer_leaf_t* leaf) {
  return leaf ? leaf->tree : nullptr;
}

mtimer_leaf_t* mtimer_tree_first_expired(mtimer_tree_t* tree) {
  if (tree == nullptr) return nullptr;
  std::lock_guard<std::mutex> lock(tree->mutex);
  if (tree->running.empty()) return nullptr;
  mtimer_leaf* first = *tree->running.begin();
  if (first->expiry_ns > sim_clock_now_ns()) return nullptr;
  unschedule(first);
  return first;
}

bool mtimer_tree_next_expiry_ns(mtimer_tree_t* tree, uint64_t* when_ns) {
  if (tree == nullptr) return false;
  std::lock_guard<std::mutex> lock(tree->mutex);
  if (tree->running.empty()) return false;
  if (when_ns != nullptr) *when_ns = (*tree->running.begin())->expiry_ns;
  return true;
}

void mtimer_tree_set_hook(mtimer_tree_t* tree, mtimer_tree_hook_t hook, void* arg) {
  if (tree == nullptr) return;
  std::lock_guard<std::mutex> lock(tree->mutex);
  tree->hook = hook;
  tree->hook_arg = arg;
}

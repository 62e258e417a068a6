// Timer leaves of the hardware abstraction's timer trees.
#include "envmon_core.h"
#include "envhal_private.h"

extern "C" int32_t envmon_mtimer_leaf_new(mtimer_tree_t* tree, mtimer_leaf_t* parent, uint32_t type, void* context,
                                          const char* /*label*/, mtimer_leaf_t** leaf) {
  if (leaf == nullptr) return -1;
  *leaf = mtimer_leaf_new(tree, parent, type, context);
  if (*leaf == nullptr) {
    tlg_internal(err_tlg_lib_hdl, "%s: mtimer_leaf_new failed\n", "envmon_mtimer_leaf_new");
    return -1;
  }
  return 0;
}

extern "C" void envmon_timer_leaf_start(mtimer_leaf_t* leaf, uint32_t seconds) {
  if (leaf == nullptr || seconds == 0) return;
  const timeval after{static_cast<time_t>(seconds), 0};
  mtimer_leaf_start(leaf, &after);
}

// The client side of the fault manager as far as fault identities and owner
// marks go.
#include <cstring>
#include <memory>
#include <vector>

#include "alarmd.h"
#include "alarmd_test.h"
#include "tlg.h"

struct alarmd_handle {
  std::vector<alarmd_fault_id_t> repeat_marks;
};

struct alarmd_fault {
  alarmd_fault_id_t id;
};

extern "C" {

void alarmd_fault_data_init(alarmd_fault_data* data) {
  if (data != nullptr) std::memset(data, 0, sizeof(*data));
}

alarmd_fault_id_t alarmd_create_local_fault_id(uint32_t category, uint32_t tag) {
  return (static_cast<alarmd_fault_id_t>(category) << 32) | tag;
}

int alarmd_set_action_repeat(alarmd_handle_t handle, alarmd_fault_id_t id, uint32_t repeat) {
  if (handle == nullptr) return -1;
  std::erase(handle->repeat_marks, id);
  if (repeat != 0) handle->repeat_marks.push_back(id);
  return 0;
}

// No fault-manager model serves these yet: what a client said is kept in the
// "alarmd" trace buffer, where tests and people can read it.
static tlg_handle_t alarmd_trace() {
  static tlg_handle_t h = [] {
    tlg_handle_t t = nullptr;
    tlg_open_internal(&t, "alarmd", 0, 0, "./sim/alarmd", "sim", nullptr);
    return t;
  }();
  return h;
}

int alarmd_registerations_complete(const char* name) {
  if (name == nullptr) return -1;
  tlg_internal(alarmd_trace(), "registrations complete: %s\n", name);
  return 0;
}

int alarmd_local_vm_ip_update(uint32_t address) {
  tlg_internal(alarmd_trace(), "local address: 0x%x\n", address);
  return 0;
}

long alarmd_get_fault_tag(const alarmd_fault_t* fault) {
  if (fault == nullptr) return -1;
  return static_cast<long>(fault->id & 0xffffffffu);
}

}  // extern "C"

alarmd_handle_t alarmd_test_handle_new() { return std::make_unique<alarmd_handle>().release(); }
void alarmd_test_handle_free(alarmd_handle_t handle) { std::unique_ptr<alarmd_handle> owned(handle); }
std::vector<alarmd_fault_id_t> alarmd_test_repeat_marks(alarmd_handle_t handle) {
  return handle ? handle->repeat_marks : std::vector<alarmd_fault_id_t>{};
}
alarmd_fault_t* alarmd_test_fault_new(uint32_t category, uint32_t tag) {
  return std::make_unique<alarmd_fault>(alarmd_fault{alarmd_create_local_fault_id(category, tag)}).release();
}
void alarmd_test_fault_free(alarmd_fault_t* fault) { std::unique_ptr<alarmd_fault> owned(fault); }

// For tests: handles and faults without a fault manager behind them, and what
// was marked on a handle.
#pragma once

#include <vector>

#include "alarmd.h"

alarmd_handle_t alarmd_test_handle_new();
void alarmd_test_handle_free(alarmd_handle_t handle);
// The fault ids marked repeatable on the handle, in the order of the calls.
std::vector<alarmd_fault_id_t> alarmd_test_repeat_marks(alarmd_handle_t handle);

alarmd_fault_t* alarmd_test_fault_new(uint32_t category, uint32_t tag);
void alarmd_test_fault_free(alarmd_fault_t* fault);

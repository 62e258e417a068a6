// For tests: what the FPD framework was told, and failures to inject.
#pragma once

#include <stdint.h>

#include <string>
#include <vector>

#include "fpd_drv.h"

// The calls since the last reset, in order, as text: "extend(<handle>,1500)",
// "unregister(<handle>)", "init(<name>)", "enable(<handle>,1)", the handle
// printed with %p.
std::vector<std::string> fpd_drv_test_calls();
// The next call of that name ("extend", "unregister", "init", "enable")
// answers `code`.
void fpd_drv_test_fail_next(const std::string& call, int code);
// The registration of a device registered and not withdrawn, or null.
const fpd_drv_reg_info* fpd_drv_test_device(void* fpd_hd);
// Devices registered and not withdrawn, in registration order.
std::vector<void*> fpd_drv_test_devices();
void fpd_drv_test_reset();

// For tests: what the FPD framework was told, and failures to inject.
#pragma once

#include <stdint.h>

#include <string>
#include <vector>

#include "fpd_drv.h"

// The calls since the last reset, in order, as text: "extend(<handle>,1500)",
// "unregister(<handle>)", the handle printed with %p.
std::vector<std::string> fpd_drv_test_calls();
// The next call of that name ("extend", "unregister") answers `code`.
void fpd_drv_test_fail_next(const std::string& call, int code);
void fpd_drv_test_reset();

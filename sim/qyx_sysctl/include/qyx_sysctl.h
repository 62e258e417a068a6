// Platform properties (qyx_sysctl_*): named values of the platform
// ("tolvu.zul.qyx.platform.*"). The stand-in reads them from a properties
// file, one "key=value" per line ('#' starts a comment), at
// sim_path("/etc/qyx_sysctl.conf"), read at every lookup; values set
// with qyx_sysctl_set in the process take precedence.
#pragma once

#include <stdbool.h>
#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

// The property as a boolean ("1", "true", "yes", "on" / "0", "false", "no",
// "off", any case); `def` when it is missing or reads as neither.
bool qyx_sysctl_get_bool(const char* key, bool def);
// The property as an unsigned number (decimal, or hexadecimal after "0x");
// `def` when it is missing or is not such a number.
size_t qyx_sysctl_get_size(const char* key, size_t def);
// Sets a property for this process (null value: removes it). 0, or -1 for a
// null or empty key.
int qyx_sysctl_set(const char* key, const char* value);

#ifdef __cplusplus
}
#endif

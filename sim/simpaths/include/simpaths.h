// Resolution of the system's fixed paths ("/tmp/envmon_dump", "/opt/tolvu/...")
// against an optional root directory, so that tests and the simulator can run
// side by side without touching the real locations.
#pragma once

#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

// Name of the environment variable that holds the root directory.
#define SIM_PATH_ROOT_ENV "ENVMON_ROOT"

// Writes ENVMON_ROOT (empty when unset) followed by `fixed` into out and returns
// out. When the result does not fit in out_len bytes, or an argument is null,
// out (if any) is left empty and the result is null.
const char* sim_path(const char* fixed, char* out, size_t out_len);

// Creates every missing directory of `path` (which is a directory itself),
// like "mkdir -p". 0 on success, -1 on failure with errno set.
int sim_mkdirs(const char* path);

#ifdef __cplusplus
}
#endif

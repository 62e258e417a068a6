#include "simpaths.h"

#include <errno.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>

#include <string>

extern "C" {
#include <safe_str_lib.h>
}

const char* sim_path(const char* fixed, char* out, size_t out_len) {
  if (out == nullptr || out_len == 0) return nullptr;
  out[0] = '\0';
  if (fixed == nullptr) return nullptr;
  const char* root = getenv(SIM_PATH_ROOT_ENV);
  if (root == nullptr) root = "";
  size_t root_len = strnlen(root, out_len);
  size_t fixed_len = strnlen(fixed, out_len);
  if (root_len + fixed_len >= out_len) return nullptr;
  // A root given with a trailing slash must not double the path's own slash.
  while (root_len > 0 && root[root_len - 1] == '/' && fixed[0] == '/') --root_len;
  if (root_len > 0 && strncpy_s(out, out_len, root, root_len) != EOK) {
    out[0] = '\0';
    return nullptr;
  }
  if (strcat_s(out, out_len, fixed) != EOK) {
    out[0] = '\0';
    return nullptr;
  }
  return out;
}

int sim_mkdirs(const char* path) {
  if (path == nullptr || path[0] == '\0') {
    errno = EINVAL;
    return -1;
  }
  std::string p(path);
  for (size_t i = 1; i <= p.size(); ++i) {
    if (i != p.size() && p[i] != '/') continue;
    std::string prefix = p.substr(0, i);
    if (mkdir(prefix.c_str(), 0777) != 0 && errno != EEXIST) return -1;
  }
  struct stat st {};
  if (stat(path, &st) != 0) return -1;
  if (!S_ISDIR(st.st_mode)) {
    errno = ENOTDIR;
    return -1;
  }
  return 0;
}

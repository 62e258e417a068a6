// Splitting a full entity name into node name, level names and the entity's own name.
#include "entprefix_internal.h"

using entprefix::append;
using entprefix::put;
using entprefix::set_prefix_from_dash_form;

namespace {

// Characters an entity's own name may hold: letters, digits, space, '-' and
// this punctuation. The name ends at the first other character.
constexpr char kRestChars[] =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789 "
    "~`!@#$%^&*()+=|\\{}:;\"'<,>.?/_-";

int refuse(platform_prefix_names* out) {
  memset(out, 0, sizeof *out);
  return ENTPREFIX_EINVAL;
}

// Sub-level markers; none when the name is a port adapter's ("-MPA").
int count_markers(const char* full_name) {
  if (strstr(full_name, "-MPA") != nullptr) return 0;
  int n = 0;
  for (const char* m : {"-Port", "-PM", "-SPA"}) n += strstr(full_name, m) != nullptr;
  return n;
}

}  // namespace

extern "C" int platform_decode_full_name(const char* full_name, const char* pattern,
                                         const char* text, platform_prefix_names* out) {
  if (full_name == nullptr || pattern == nullptr || text == nullptr || out == nullptr) {
    return ENTPREFIX_EINVAL;
  }
  memset(out, 0, sizeof *out);
  if (strstr(full_name, pattern) == nullptr || strstr(text, pattern) == nullptr) {
    return ENTPREFIX_EINVAL;
  }
  const int markers = count_markers(full_name);
  // Three markers have no defined split.
  if (markers > PLATFORM_MAX_LEVELS) return refuse(out);

  // The node name and one name per marker, each ended by '-', then the rest.
  char* const parts[PLATFORM_MAX_LEVELS + 1] = {out->first_part, out->second_part, out->third_part};
  const char* p = full_name;
  bool ended = false;
  for (int i = 0; i <= markers; ++i) {
    const size_t run = strcspn(p, "-");
    if (run == 0 && (i == 0 || *p == '-')) return refuse(out);  // an empty part
    if (!put(parts[i], PLATFORM_NAME_LEN, std::string_view(p, run))) return refuse(out);
    p += run;
    if (*p != '-') {
      ended = true;  // the name stops here; the later parts stay empty
      break;
    }
    ++p;
  }
  if (!ended) {
    // The entity's own name is informational; a long one is cut to its field.
    const size_t run = strspn(p, kRestChars);
    const size_t keep = run < PLATFORM_NAME_LEN - 1 ? run : PLATFORM_NAME_LEN - 1;
    put(out->rest, sizeof out->rest, std::string_view(p, keep));
  }

  if (markers == 0) {
    put(out->prefix, sizeof out->prefix, out->first_part);
    append(out->prefix_with_dash, sizeof out->prefix_with_dash, out->first_part);
    append(out->prefix_with_dash, sizeof out->prefix_with_dash, "-");
  } else {
    for (int i = 0; i <= markers; ++i) {
      if (!append(out->prefix_with_dash, sizeof out->prefix_with_dash, parts[i]) ||
          !append(out->prefix_with_dash, sizeof out->prefix_with_dash, "-")) {
        return refuse(out);
      }
    }
    if (!set_prefix_from_dash_form(out)) return refuse(out);
  }
  out->marker_count = static_cast<uint8_t>(markers);
  return ENTPREFIX_OK;
}

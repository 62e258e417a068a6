// Splits arbitrary names. The input is cut at its first two NUL bytes into
// the full name, the pattern and the text; each lives in a heap buffer of its
// exact length so that a read past a terminator is caught.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "entprefix.h"

namespace {

void check(bool ok) {
  if (!ok) __builtin_trap();
}

bool terminated(const char* field, size_t cap) { return memchr(field, '\0', cap) != nullptr; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<std::vector<char>> args;
  size_t start = 0;
  for (size_t i = 0; i <= size && args.size() < 3; ++i) {
    if (i == size || data[i] == 0 || args.size() == 2) {
      const size_t end = args.size() == 2 ? size : i;
      std::vector<char> s(data + start, data + end);
      s.push_back('\0');
      args.push_back(std::move(s));
      start = i + 1;
      if (end == size) break;
    }
  }
  while (args.size() < 3) args.push_back({'\0'});

  platform_prefix_names out;
  memset(&out, 0x5a, sizeof out);
  const int rc = platform_decode_full_name(args[0].data(), args[1].data(), args[2].data(), &out);
  if (rc != 0) {
    check(rc == ENTPREFIX_EINVAL);
    const auto* b = reinterpret_cast<const unsigned char*>(&out);
    for (size_t i = 0; i < sizeof out; ++i) check(b[i] == 0);
    return 0;
  }
  check(terminated(out.first_part, sizeof out.first_part));
  check(terminated(out.prefix, sizeof out.prefix));
  check(terminated(out.prefix_with_dash, sizeof out.prefix_with_dash));
  check(terminated(out.second_part, sizeof out.second_part));
  check(terminated(out.third_part, sizeof out.third_part));
  check(terminated(out.rest, sizeof out.rest));
  check(out.marker_count <= PLATFORM_MAX_LEVELS);
  check(out.first_part[0] != '\0');
  check(std::string(out.prefix) + "-" == out.prefix_with_dash);
  std::string joined = out.first_part;
  if (out.marker_count >= 1) joined += std::string("-") + out.second_part;
  if (out.marker_count == 2) joined += std::string("-") + out.third_part;
  check(joined == out.prefix);
  return 0;
}

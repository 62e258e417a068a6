// Parses arbitrary texts as node ids and rack ids: whatever parses must print
// back as exactly the same text.
#include <cstdint>
#include <cstring>
#include <string>

#include "nodeid.h"

namespace {
void check(bool ok) {
  if (!ok) __builtin_trap();
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const char* chars = reinterpret_cast<const char*>(data);
  const std::string text = size == 0 ? std::string() : std::string(chars, strnlen(chars, size));
  nodeid_td node = nullptr;
  if (nodeid_from_str_external(text.c_str(), &node) == NODEID_OK) {
    char buf[32];
    check(nodeid_to_str_external(node, buf, sizeof buf) == NODEID_OK);
    check(text == buf);
    uint64_t word = 0;
    check(nodeid_pack(node, &word) == NODEID_OK);
    nodeid_td back = nullptr;
    check(nodeid_unpack(word, &back) == NODEID_OK);
    check(nodeid_compare(node, back) == 0);
    nodeid_destroy(back);
    nodeid_destroy(node);
  } else {
    check(node == nullptr);
  }
  uint32_t rack = 0;
  if (nodeid_RACK_from_str_external(text.c_str(), &rack) == NODEID_OK) {
    char buf[8];
    check(nodeid_RACK_to_str_external(rack, buf, sizeof buf) == NODEID_OK);
    check(text == buf);
  }
  return 0;
}

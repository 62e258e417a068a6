// External texts of node ids ("<rack>/<slot name>") and rack ids ("<rack>").
#include <cstdio>
#include <string_view>

#include "nodeid_internal.h"

using namespace nodeid_detail;

namespace {

void clear_text(char* buf, size_t buf_len) {
  if (buf != nullptr && buf_len > 0) buf[0] = '\0';
}

// snprintf into buf; NODEID_ENOSPC, with the empty text left, when it does not fit.
template <typename... Args>
int print_text(char* buf, size_t buf_len, const char* fmt, Args... args) {
  if (buf == nullptr || buf_len == 0) return NODEID_EINVAL;
  const int n = snprintf(buf, buf_len, fmt, args...);
  if (n < 0 || static_cast<size_t>(n) >= buf_len) {
    buf[0] = '\0';
    return NODEID_ENOSPC;
  }
  return NODEID_OK;
}

// Reads a canonical decimal (no sign, no leading zero) of at most `max`
// from the front of `text`; advances `text` past it.
bool take_number(std::string_view& text, int32_t max, int32_t* value) {
  size_t len = 0;
  while (len < text.size() && text[len] >= '0' && text[len] <= '9') ++len;
  if (len == 0 || len > 3 || (len > 1 && text[0] == '0')) return false;
  int32_t v = 0;
  for (size_t i = 0; i < len; ++i) v = v * 10 + (text[i] - '0');
  if (v > max) return false;
  *value = v;
  text.remove_prefix(len);
  return true;
}

}  // namespace

extern "C" {

int nodeid_to_str_external(nodeid_td node, char* buf, size_t buf_len) {
  if (!record_ok(node)) {
    clear_text(buf, buf_len);
    return NODEID_EINVAL;
  }
  const std::string_view name = kSlotNames[static_cast<size_t>(node->slot_type)];
  const int name_len = static_cast<int>(name.size());
  if (node->slot_num == kNoSlotNum) {
    return print_text(buf, buf_len, "%d/%.*s", node->rack_num, name_len, name.data());
  }
  return print_text(buf, buf_len, "%d/%.*s%d", node->rack_num, name_len, name.data(),
                    node->slot_num);
}

int nodeid_RACK_to_str_external(uint32_t rack, char* buf, size_t buf_len) {
  int32_t rack_num = 0;
  if (nodeid_extract_rack_fields(rack, nullptr, &rack_num) != NODEID_OK) {
    clear_text(buf, buf_len);
    return NODEID_EINVAL;
  }
  return print_text(buf, buf_len, "%d", rack_num);
}

int nodeid_from_str_external(const char* text, nodeid_td* out) {
  if (text == nullptr || out == nullptr) return NODEID_EINVAL;
  std::string_view rest(text);
  int32_t rack_num = 0;
  if (!take_number(rest, NODEID_MAX_RACK_NUM, &rack_num) || rest.empty() || rest[0] != '/') {
    return NODEID_EINVAL;
  }
  rest.remove_prefix(1);
  int32_t slot_type = NODEID_SLOT_LC;
  for (size_t t = 1; t < kSlotNames.size(); ++t) {
    if (rest.starts_with(kSlotNames[t])) {
      slot_type = static_cast<int32_t>(t);
      rest.remove_prefix(kSlotNames[t].size());
      break;
    }
  }
  int32_t slot_num = kNoSlotNum;
  if (!rest.empty() && !take_number(rest, NODEID_MAX_SLOT_NUM, &slot_num)) return NODEID_EINVAL;
  if (!rest.empty()) return NODEID_EINVAL;
  return make_record(0, rack_num, slot_type, slot_num, 0, out);
}

int nodeid_RACK_from_str_external(const char* text, uint32_t* rack) {
  if (text == nullptr || rack == nullptr) return NODEID_EINVAL;
  std::string_view rest(text);
  int32_t rack_num = 0;
  if (!take_number(rest, NODEID_MAX_RACK_NUM, &rack_num) || !rest.empty()) return NODEID_EINVAL;
  return nodeid_rack_create(0, rack_num, rack);
}

}  // extern "C"

// JSON reading that remembers where each value stood, so that a description
// can be refused with the line of the faulty value, not only of a syntax error.
#pragma once

#include <map>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

namespace envsim {

struct JsonDoc {
  nlohmann::json root;
  // Line (from 1) of every value by its JSON pointer ("" is the root,
  // "/cards/2/slot" the slot of the third card).
  std::map<std::string, int> lines;

  int line_of(const std::string& pointer) const;
};

// Parses `text`. Refuses duplicate keys in an object, which the usual reading
// would silently collapse. On failure returns false with `error` set to
// "<line>: <what is wrong>" (line from 1).
bool json_parse_with_lines(std::string_view text, JsonDoc* doc, std::string* error);

// A member name as one token of a JSON pointer ("~" and "/" escaped).
std::string json_pointer_token(const std::string& key);

}  // namespace envsim

#include "envsim_json.h"

#include <algorithm>
#include <cctype>
#include <iterator>
#include <set>
#include <vector>

namespace envsim {

namespace {

// Input iterator over the text that records how far the parser has read, so
// that each parsing event can be given the line of what was just read.
struct ReadMark {
  const char* end_of_read = nullptr;
};

class MarkingIterator {
 public:
  using iterator_category = std::input_iterator_tag;
  using value_type = char;
  using difference_type = std::ptrdiff_t;
  using pointer = const char*;
  using reference = const char&;

  MarkingIterator() = default;
  MarkingIterator(const char* p, ReadMark* mark) : p_(p), mark_(mark) {}
  const char& operator*() const {
    if (mark_ != nullptr) mark_->end_of_read = p_ + 1;
    return *p_;
  }
  MarkingIterator& operator++() {
    ++p_;
    return *this;
  }
  MarkingIterator operator++(int) {
    MarkingIterator old = *this;
    ++p_;
    return old;
  }
  bool operator==(const MarkingIterator& o) const { return p_ == o.p_; }
  bool operator!=(const MarkingIterator& o) const { return p_ != o.p_; }

 private:
  const char* p_ = nullptr;
  ReadMark* mark_ = nullptr;
};

}  // namespace

std::string json_pointer_token(const std::string& key) {
  std::string out;
  for (char c : key) {
    if (c == '~') {
      out += "~0";
    } else if (c == '/') {
      out += "~1";
    } else {
      out += c;
    }
  }
  return out;
}

namespace {

class LineTable {
 public:
  explicit LineTable(std::string_view text) : text_(text) {
    starts_.push_back(0);
    for (size_t i = 0; i < text.size(); ++i) {
      if (text[i] == '\n') starts_.push_back(i + 1);
    }
  }
  int line_at(size_t offset) const {
    auto it = std::upper_bound(starts_.begin(), starts_.end(), offset);
    return static_cast<int>(it - starts_.begin());
  }
  // Line of the last character read before `end_of_read`, skipping the
  // white space that the parser reads ahead to find the end of a number.
  int line_of_last_token(size_t end_of_read) const {
    size_t i = std::min(end_of_read, text_.size());
    while (i > 0 && std::isspace(static_cast<unsigned char>(text_[i - 1])) != 0) --i;
    return line_at(i == 0 ? 0 : i - 1);
  }

 private:
  std::string_view text_;
  std::vector<size_t> starts_;
};

class PositionedBuilder {
 public:
  using json = nlohmann::json;

  PositionedBuilder(JsonDoc* doc, const LineTable* lines, const ReadMark* mark, const char* base)
      : doc_(doc), lines_(lines), mark_(mark), base_(base) {}

  bool null() { return put(json(nullptr)); }
  bool boolean(bool v) { return put(json(v)); }
  bool number_integer(json::number_integer_t v) { return put(json(v)); }
  bool number_unsigned(json::number_unsigned_t v) { return put(json(v)); }
  bool number_float(json::number_float_t v, const json::string_t&) { return put(json(v)); }
  bool string(json::string_t& v) { return put(json(v)); }
  bool binary(json::binary_t& v) { return put(json::binary(v)); }

  bool start_object(std::size_t) {
    if (!put(json::object())) return false;
    stack_.push_back(Frame{pointer_of_last_, true, 0, {}, {}});
    return true;
  }
  bool key(json::string_t& k) {
    Frame& f = stack_.back();
    if (!f.keys.insert(k).second) {
      error_ = std::to_string(current_line()) + ": key \"" + k + "\" appears twice in one object";
      return false;
    }
    f.pending_key = k;
    return true;
  }
  bool end_object() {
    stack_.pop_back();
    return true;
  }
  bool start_array(std::size_t) {
    if (!put(json::array())) return false;
    stack_.push_back(Frame{pointer_of_last_, false, 0, {}, {}});
    return true;
  }
  bool end_array() {
    stack_.pop_back();
    return true;
  }
  bool parse_error(std::size_t position, const std::string&, const nlohmann::json::exception& ex) {
    std::string what = ex.what();
    // The library's text starts with its own tag and position; the line is
    // given in front instead.
    const auto tag_end = what.find("] ");
    if (tag_end != std::string::npos) what = what.substr(tag_end + 2);
    const auto pos_end = what.find(": ");
    if (what.rfind("parse error", 0) == 0 && pos_end != std::string::npos) {
      what = what.substr(pos_end + 2);
    }
    const size_t offset = position == 0 ? 0 : position - 1;
    error_ = std::to_string(lines_->line_at(offset)) + ": malformed JSON: " + what;
    return false;
  }

  const std::string& error() const { return error_; }

 private:
  struct Frame {
    std::string pointer;
    bool is_object;
    size_t next_index;
    std::string pending_key;
    std::set<std::string> keys;
  };

  int current_line() const {
    const size_t read = mark_->end_of_read == nullptr
                            ? 0
                            : static_cast<size_t>(mark_->end_of_read - base_);
    return lines_->line_of_last_token(read);
  }

  // Stores a value where the parser stands and remembers its line.
  bool put(json value) {
    std::string pointer;
    json* slot = nullptr;
    if (stack_.empty()) {
      doc_->root = std::move(value);
      slot = &doc_->root;
    } else {
      Frame& f = stack_.back();
      json* parent = parent_of(f);
      if (f.is_object) {
        pointer = f.pointer + "/" + json_pointer_token(f.pending_key);
        slot = &(*parent)[f.pending_key];
        *slot = std::move(value);
      } else {
        pointer = f.pointer + "/" + std::to_string(f.next_index++);
        parent->push_back(std::move(value));
        slot = &parent->back();
      }
    }
    (void)slot;
    doc_->lines[pointer] = current_line();
    pointer_of_last_ = pointer;
    return true;
  }

  json* parent_of(const Frame& f) {
    return &doc_->root.at(json::json_pointer(f.pointer));
  }

  JsonDoc* doc_;
  const LineTable* lines_;
  const ReadMark* mark_;
  const char* base_;
  std::vector<Frame> stack_;
  std::string pointer_of_last_;
  std::string error_;
};

}  // namespace

int JsonDoc::line_of(const std::string& pointer) const {
  // A missing member is reported at the line of the nearest value that is
  // there, normally the object that lacks it.
  std::string p = pointer;
  for (;;) {
    auto it = lines.find(p);
    if (it != lines.end()) return it->second;
    if (p.empty()) return 1;
    p = p.substr(0, p.rfind('/'));
  }
}

bool json_parse_with_lines(std::string_view text, JsonDoc* doc, std::string* error) {
  JsonDoc parsed;
  LineTable lines(text);
  ReadMark mark;
  PositionedBuilder builder(&parsed, &lines, &mark, text.data());
  MarkingIterator first(text.data(), &mark);
  MarkingIterator last(text.data() + text.size(), nullptr);
  bool ok = false;
  try {
    ok = nlohmann::json::sax_parse(first, last, &builder);
  } catch (const nlohmann::json::exception& ex) {
    // Only reached through a fault of the builder; reported like the others.
    *error = std::string("1: ") + ex.what();
    return false;
  }
  if (!ok) {
    *error = builder.error().empty() ? std::string("1: malformed JSON") : builder.error();
    return false;
  }
  *doc = std::move(parsed);
  return true;
}

}  // namespace envsim

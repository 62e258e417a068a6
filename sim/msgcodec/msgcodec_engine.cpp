// The generic encoder, decoder, release and clear of table-described records.
#include <climits>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "msgcodec.h"
#include "msgcodec_trace.h"

namespace {

// ---- raw member access ------------------------------------------------------

uint8_t* at(void* rec, uint32_t offset) { return static_cast<uint8_t*>(rec) + offset; }
const uint8_t* at(const void* rec, uint32_t offset) {
  return static_cast<const uint8_t*>(rec) + offset;
}

uint64_t load_uint(const void* p, unsigned width) {
  switch (width) {
    case 1: { uint8_t v = 0; std::memcpy(&v, p, 1); return v; }
    case 2: { uint16_t v = 0; std::memcpy(&v, p, 2); return v; }
    case 4: { uint32_t v = 0; std::memcpy(&v, p, 4); return v; }
    default: { uint64_t v = 0; std::memcpy(&v, p, 8); return v; }
  }
}

void store_uint(void* p, unsigned width, uint64_t value) {
  switch (width) {
    case 1: { auto v = static_cast<uint8_t>(value); std::memcpy(p, &v, 1); break; }
    case 2: { auto v = static_cast<uint16_t>(value); std::memcpy(p, &v, 2); break; }
    case 4: { auto v = static_cast<uint32_t>(value); std::memcpy(p, &v, 4); break; }
    default: std::memcpy(p, &value, 8); break;
  }
}

uint64_t max_of_width(unsigned width) {
  return width >= 8 ? UINT64_MAX : (uint64_t{1} << (8 * width)) - 1;
}

template <typename T>
T load_ptr(const void* rec, uint32_t offset) {
  T v;
  std::memcpy(&v, at(rec, offset), sizeof v);
  return v;
}

template <typename T>
void store_ptr(void* rec, uint32_t offset, T v) {
  std::memcpy(at(rec, offset), &v, sizeof v);
}

bool field_present(const msgcodec_type* t, const void* rec, const msgcodec_field& f) {
  if (f.bit < 0) return true;
  if (t->presence_offset < 0 || static_cast<uint32_t>(f.bit) >= 8 * t->presence_bytes) return false;
  return msgcodec_test_bit(at(rec, static_cast<uint32_t>(t->presence_offset)),
                           static_cast<unsigned>(f.bit)) != 0;
}

// Presence bits that name a field of the type.
uint32_t known_bits(const msgcodec_type* t) {
  uint32_t mask = 0;
  for (uint32_t i = 0; i < t->field_count; ++i) {
    const int bit = t->fields[i].bit;
    if (bit >= 0 && bit < 24) mask |= 1u << bit;
  }
  return mask;
}

// Fewest bytes one encoded record of the type takes.
size_t min_encoded(const msgcodec_type* t, int depth) {
  if (depth > MSGCODEC_MAX_DEPTH) return 0;
  size_t n = t->presence_bytes;
  for (uint32_t i = 0; i < t->field_count; ++i) {
    const msgcodec_field& f = t->fields[i];
    if (f.bit >= 0) continue;
    switch (f.kind) {
      case MSGCODEC_KIND_INT: n += f.width; break;
      case MSGCODEC_KIND_RECORD: n += f.nested ? min_encoded(f.nested, depth + 1) : 0; break;
      default: n += 4; break;
    }
  }
  return n;
}

bool nested_ok(const msgcodec_field& f) { return f.nested != nullptr && f.nested->size == f.size; }

// ---- clear and release ------------------------------------------------------

void clear_field(void* rec, const msgcodec_field& f);

void clear_record(const msgcodec_type* t, void* rec) {
  if (t->presence_offset >= 0) {
    std::memset(at(rec, static_cast<uint32_t>(t->presence_offset)), 0, t->presence_bytes);
  }
  for (uint32_t i = 0; i < t->field_count; ++i) clear_field(rec, t->fields[i]);
}

void clear_field(void* rec, const msgcodec_field& f) {
  switch (f.kind) {
    case MSGCODEC_KIND_INT:
      store_uint(at(rec, f.offset), f.width, static_cast<uint64_t>(f.cleared));
      break;
    case MSGCODEC_KIND_FIXED_TEXT:
      std::memset(at(rec, f.offset), 0, f.size);
      break;
    case MSGCODEC_KIND_TEXT:
      store_ptr<char*>(rec, f.offset, nullptr);
      break;
    case MSGCODEC_KIND_RECORD:
      if (nested_ok(f)) clear_record(f.nested, at(rec, f.offset));
      break;
    case MSGCODEC_KIND_BYTES:
    case MSGCODEC_KIND_RECORD_LIST:
    case MSGCODEC_KIND_INT_LIST:
      store_ptr<void*>(rec, f.offset, nullptr);
      store_uint(at(rec, f.count_offset), f.count_width, 0);
      break;
    default:
      break;
  }
}

void release_record(const msgcodec_type* t, void* rec, msgcodec_free_fn free_fn, int depth) {
  if (depth > MSGCODEC_MAX_DEPTH) return;
  for (uint32_t i = 0; i < t->field_count; ++i) {
    const msgcodec_field& f = t->fields[i];
    switch (f.kind) {
      case MSGCODEC_KIND_TEXT:
      case MSGCODEC_KIND_BYTES:
      case MSGCODEC_KIND_INT_LIST: {
        void* p = load_ptr<void*>(rec, f.offset);
        if (p) free_fn(p);
        break;
      }
      case MSGCODEC_KIND_RECORD:
        if (nested_ok(f)) release_record(f.nested, at(rec, f.offset), free_fn, depth + 1);
        break;
      case MSGCODEC_KIND_RECORD_LIST: {
        auto* p = load_ptr<uint8_t*>(rec, f.offset);
        if (!p) break;
        if (nested_ok(f)) {
          const uint64_t count = load_uint(at(rec, f.count_offset), f.count_width);
          for (uint64_t k = 0; k < count; ++k) release_record(f.nested, p + k * f.size, free_fn, depth + 1);
        }
        free_fn(p);
        break;
      }
      default:
        break;
    }
    clear_field(rec, f);
  }
  if (t->presence_offset >= 0) {
    std::memset(at(rec, static_cast<uint32_t>(t->presence_offset)), 0, t->presence_bytes);
  }
}

// ---- encoding ---------------------------------------------------------------

class Writer {
 public:
  Writer(uint8_t* buf, size_t room) : buf_(buf), room_(buf ? room : 0) {}
  void put(const void* src, size_t n) {
    if (pos_ <= room_ && n <= room_ - pos_ && n > 0) std::memcpy(buf_ + pos_, src, n);
    pos_ += n;
  }
  void put_uint(uint64_t v, unsigned width) {
    uint8_t b[8];
    for (unsigned i = 0; i < width; ++i) b[i] = static_cast<uint8_t>(v >> (8 * (width - 1 - i)));
    put(b, width);
  }
  size_t pos() const { return pos_; }

 private:
  uint8_t* buf_;
  size_t room_;
  size_t pos_ = 0;
};

struct EncodeError {
  const char* what = nullptr;
  const char* field = "";
  const char* type = "";
};

bool fail(EncodeError& e, const msgcodec_type* t, const msgcodec_field* f, const char* what) {
  e.what = what;
  e.type = t->name;
  e.field = f ? f->name : "";
  return false;
}

bool encode_record(const msgcodec_type* t, const void* rec, Writer& w, int depth, EncodeError& e);

bool encode_count(const msgcodec_type* t, const msgcodec_field& f, uint64_t count, Writer& w,
                  EncodeError& e) {
  if (count > UINT32_MAX) return fail(e, t, &f, "length or count above 2^32-1");
  w.put_uint(count, 4);
  return true;
}

bool encode_field(const msgcodec_type* t, const void* rec, const msgcodec_field& f, Writer& w,
                  int depth, EncodeError& e) {
  switch (f.kind) {
    case MSGCODEC_KIND_INT:
      w.put_uint(load_uint(at(rec, f.offset), f.width), f.width);
      return true;
    case MSGCODEC_KIND_FIXED_TEXT: {
      const char* s = reinterpret_cast<const char*>(at(rec, f.offset));
      const size_t len = strnlen(s, f.size);
      if (len == f.size) return fail(e, t, &f, "fixed text without its terminating zero");
      w.put_uint(len, 4);
      w.put(s, len);
      return true;
    }
    case MSGCODEC_KIND_TEXT: {
      const char* s = load_ptr<const char*>(rec, f.offset);
      if (!s) return fail(e, t, &f, "present text is a null pointer");
      const size_t len = std::strlen(s);
      if (!encode_count(t, f, len, w, e)) return false;
      w.put(s, len);
      return true;
    }
    case MSGCODEC_KIND_BYTES: {
      const auto* p = load_ptr<const uint8_t*>(rec, f.offset);
      const uint64_t len = load_uint(at(rec, f.count_offset), f.count_width);
      if (len > 0 && !p) return fail(e, t, &f, "present byte string is a null pointer");
      if (!encode_count(t, f, len, w, e)) return false;
      w.put(p, static_cast<size_t>(len));
      return true;
    }
    case MSGCODEC_KIND_RECORD:
      if (!nested_ok(f)) return fail(e, t, &f, "nested record table does not match the member");
      return encode_record(f.nested, at(rec, f.offset), w, depth + 1, e);
    case MSGCODEC_KIND_RECORD_LIST: {
      if (!nested_ok(f)) return fail(e, t, &f, "list element table does not match the member");
      if (min_encoded(f.nested, depth + 1) == 0) return fail(e, t, &f, "list of records that encode to no bytes");
      const auto* p = load_ptr<const uint8_t*>(rec, f.offset);
      const uint64_t count = load_uint(at(rec, f.count_offset), f.count_width);
      if (count > 0 && !p) return fail(e, t, &f, "present list is a null pointer");
      if (!encode_count(t, f, count, w, e)) return false;
      for (uint64_t k = 0; k < count; ++k) {
        if (!encode_record(f.nested, p + k * f.size, w, depth + 1, e)) return false;
        if (w.pos() > MSGCODEC_MAX_ENCODED) return fail(e, t, &f, "encoding above 2^31-1 bytes");
      }
      return true;
    }
    case MSGCODEC_KIND_INT_LIST: {
      const auto* p = load_ptr<const uint8_t*>(rec, f.offset);
      const uint64_t count = load_uint(at(rec, f.count_offset), f.count_width);
      if (count > 0 && !p) return fail(e, t, &f, "present list is a null pointer");
      if (!encode_count(t, f, count, w, e)) return false;
      for (uint64_t k = 0; k < count; ++k) w.put_uint(load_uint(p + k * f.width, f.width), f.width);
      return true;
    }
    default:
      return fail(e, t, &f, "unknown field kind in the table");
  }
}

bool encode_record(const msgcodec_type* t, const void* rec, Writer& w, int depth, EncodeError& e) {
  if (depth > MSGCODEC_MAX_DEPTH) return fail(e, t, nullptr, "records nested too deep");
  if (t->presence_bytes > 3) return fail(e, t, nullptr, "more than three presence bytes");
  if (t->presence_offset >= 0) {
    const uint32_t mask = known_bits(t);
    const uint8_t* presence = at(rec, static_cast<uint32_t>(t->presence_offset));
    for (uint32_t i = 0; i < t->presence_bytes; ++i) {
      w.put_uint(presence[i] & ((mask >> (8 * i)) & 0xffu), 1);
    }
  }
  for (uint32_t i = 0; i < t->field_count; ++i) {
    const msgcodec_field& f = t->fields[i];
    if (!field_present(t, rec, f)) continue;
    if (!encode_field(t, rec, f, w, depth, e)) return false;
    if (w.pos() > MSGCODEC_MAX_ENCODED) return fail(e, t, &f, "encoding above 2^31-1 bytes");
  }
  return true;
}

// ---- decoding ---------------------------------------------------------------

struct Decoder {
  const uint8_t* bytes;
  size_t len;
  size_t pos = 0;
  msgcodec_alloc_fn alloc;
  const char* what = nullptr;
  const char* type = "";
  const char* field = "";
  char detail[96] = "";

  size_t left() const { return len - pos; }

  bool fail(const msgcodec_type* t, const msgcodec_field* f, const char* w) {
    what = w;
    type = t->name;
    field = f ? f->name : "";
    return false;
  }
  bool fail_detail(const msgcodec_type* t, const msgcodec_field* f, const char* w, const char* fmt, ...)
      __attribute__((format(printf, 5, 6))) {
    va_list ap;
    va_start(ap, fmt);
    std::vsnprintf(detail, sizeof detail, fmt, ap);
    va_end(ap);
    return fail(t, f, w);
  }
  bool get_uint(const msgcodec_type* t, const msgcodec_field* f, unsigned width, uint64_t& v) {
    if (left() < width) {
      return fail_detail(t, f, "input ends inside a value", " (%u bytes needed, %zu left)", width, left());
    }
    v = 0;
    for (unsigned i = 0; i < width; ++i) v = (v << 8) | bytes[pos + i];
    pos += width;
    return true;
  }
  void* allocate(size_t n) {
    void* p = alloc(n == 0 ? 1 : n);
    return p;
  }
};

bool decode_record(const msgcodec_type* t, void* rec, Decoder& d, int depth);

// Reads a u32 length or count and checks that `unit` bytes per item still fit.
bool decode_count(const msgcodec_type* t, const msgcodec_field& f, Decoder& d, size_t unit,
                  uint64_t& count) {
  if (!d.get_uint(t, &f, 4, count)) return false;
  // Texts have no length member; byte strings and lists store theirs.
  if (f.count_width > 0 && count > max_of_width(f.count_width)) {
    return d.fail_detail(t, &f, "length or count too large for its member", " (%llu)",
                         static_cast<unsigned long long>(count));
  }
  if (unit > 0 && count > d.left() / unit) {
    return d.fail_detail(t, &f, "length or count beyond the end of the input",
                         " (%llu items of at least %zu bytes, %zu bytes left)",
                         static_cast<unsigned long long>(count), unit, d.left());
  }
  return true;
}

bool decode_text(const msgcodec_type* t, const msgcodec_field& f, Decoder& d, uint64_t& len) {
  if (!decode_count(t, f, d, 1, len)) return false;
  if (std::memchr(d.bytes + d.pos, 0, static_cast<size_t>(len)) != nullptr) {
    return d.fail(t, &f, "zero byte inside a text");
  }
  return true;
}

bool decode_field(const msgcodec_type* t, void* rec, const msgcodec_field& f, Decoder& d, int depth) {
  switch (f.kind) {
    case MSGCODEC_KIND_INT: {
      uint64_t v = 0;
      if (!d.get_uint(t, &f, f.width, v)) return false;
      store_uint(at(rec, f.offset), f.width, v);
      return true;
    }
    case MSGCODEC_KIND_FIXED_TEXT: {
      uint64_t len = 0;
      if (!decode_text(t, f, d, len)) return false;
      if (len >= f.size) {
        return d.fail_detail(t, &f, "text longer than its fixed member", " (%llu bytes, room for %u)",
                             static_cast<unsigned long long>(len), f.size - 1);
      }
      char* dst = reinterpret_cast<char*>(at(rec, f.offset));
      std::memset(dst, 0, f.size);
      std::memcpy(dst, d.bytes + d.pos, static_cast<size_t>(len));
      d.pos += static_cast<size_t>(len);
      return true;
    }
    case MSGCODEC_KIND_TEXT: {
      uint64_t len = 0;
      if (!decode_text(t, f, d, len)) return false;
      auto* s = static_cast<char*>(d.allocate(static_cast<size_t>(len) + 1));
      if (!s) return d.fail(t, &f, "out of memory");
      std::memcpy(s, d.bytes + d.pos, static_cast<size_t>(len));
      s[len] = '\0';
      store_ptr<char*>(rec, f.offset, s);
      d.pos += static_cast<size_t>(len);
      return true;
    }
    case MSGCODEC_KIND_BYTES: {
      uint64_t len = 0;
      if (!decode_count(t, f, d, 1, len)) return false;
      if (len > 0) {
        auto* p = static_cast<uint8_t*>(d.allocate(static_cast<size_t>(len)));
        if (!p) return d.fail(t, &f, "out of memory");
        std::memcpy(p, d.bytes + d.pos, static_cast<size_t>(len));
        store_ptr<uint8_t*>(rec, f.offset, p);
        store_uint(at(rec, f.count_offset), f.count_width, len);
        d.pos += static_cast<size_t>(len);
      }
      return true;
    }
    case MSGCODEC_KIND_RECORD:
      if (!nested_ok(f)) return d.fail(t, &f, "nested record table does not match the member");
      return decode_record(f.nested, at(rec, f.offset), d, depth + 1);
    case MSGCODEC_KIND_RECORD_LIST: {
      if (!nested_ok(f)) return d.fail(t, &f, "list element table does not match the member");
      const size_t unit = min_encoded(f.nested, depth + 1);
      if (unit == 0) return d.fail(t, &f, "list of records that encode to no bytes");
      uint64_t count = 0;
      if (!decode_count(t, f, d, unit, count)) return false;
      if (count == 0) return true;
      const size_t n = static_cast<size_t>(count);
      if (n > SIZE_MAX / f.size) return d.fail(t, &f, "list too large for memory");
      auto* p = static_cast<uint8_t*>(d.allocate(n * f.size));
      if (!p) return d.fail(t, &f, "out of memory");
      std::memset(p, 0, n * f.size);
      for (size_t k = 0; k < n; ++k) clear_record(f.nested, p + k * f.size);
      // Owned by the record from here on, so that a failure below releases it.
      store_ptr<uint8_t*>(rec, f.offset, p);
      store_uint(at(rec, f.count_offset), f.count_width, count);
      for (size_t k = 0; k < n; ++k) {
        if (!decode_record(f.nested, p + k * f.size, d, depth + 1)) return false;
      }
      return true;
    }
    case MSGCODEC_KIND_INT_LIST: {
      uint64_t count = 0;
      if (!decode_count(t, f, d, f.width, count)) return false;
      if (count == 0) return true;
      const size_t n = static_cast<size_t>(count);
      auto* p = static_cast<uint8_t*>(d.allocate(n * f.width));
      if (!p) return d.fail(t, &f, "out of memory");
      store_ptr<uint8_t*>(rec, f.offset, p);
      store_uint(at(rec, f.count_offset), f.count_width, count);
      for (size_t k = 0; k < n; ++k) {
        uint64_t v = 0;
        if (!d.get_uint(t, &f, f.width, v)) return false;
        store_uint(p + k * f.width, f.width, v);
      }
      return true;
    }
    default:
      return d.fail(t, &f, "unknown field kind in the table");
  }
}

bool decode_record(const msgcodec_type* t, void* rec, Decoder& d, int depth) {
  if (depth > MSGCODEC_MAX_DEPTH) return d.fail(t, nullptr, "records nested too deep");
  if (t->presence_bytes > 3) return d.fail(t, nullptr, "more than three presence bytes");
  if (t->presence_offset >= 0) {
    const uint32_t mask = known_bits(t);
    uint8_t* presence = at(rec, static_cast<uint32_t>(t->presence_offset));
    for (uint32_t i = 0; i < t->presence_bytes; ++i) {
      uint64_t b = 0;
      if (!d.get_uint(t, nullptr, 1, b)) return false;
      const uint32_t unknown = static_cast<uint32_t>(b) & ~((mask >> (8 * i)) & 0xffu);
      if (unknown != 0) {
        return d.fail_detail(t, nullptr, "presence bit names no field", " (presence byte %u, bits 0x%02x)",
                             i + 1, unknown);
      }
      presence[i] = static_cast<uint8_t>(b);
    }
  }
  for (uint32_t i = 0; i < t->field_count; ++i) {
    const msgcodec_field& f = t->fields[i];
    if (!field_present(t, rec, f)) continue;
    if (!decode_field(t, rec, f, d, depth)) return false;
  }
  return true;
}

}  // namespace

extern "C" int msgcodec_encode(const msgcodec_type* type, const void* rec, void* buf, size_t room) {
  if (!type || !rec) {
    msgcodec_trace("msgcodec: encode of %s refused: null record\n", type ? type->name : "(no type)");
    return -1;
  }
  Writer w(static_cast<uint8_t*>(buf), room);
  EncodeError e;
  if (!encode_record(type, rec, w, 0, e)) {
    msgcodec_trace("msgcodec: cannot encode %s: %s (record %s, field %s)\n", type->name, e.what, e.type,
                   e.field);
    return -1;
  }
  return static_cast<int>(w.pos());
}

extern "C" int msgcodec_decode(const msgcodec_type* type, void* rec, const void* bytes, size_t len,
                               msgcodec_alloc_fn alloc, uint32_t flags) {
  if (!type || !rec || (!bytes && len > 0)) {
    msgcodec_trace("msgcodec: decode of %s refused: null record or input\n", type ? type->name : "(no type)");
    return -1;
  }
  clear_record(type, rec);
  if (len > MSGCODEC_MAX_ENCODED) {
    msgcodec_trace("msgcodec: cannot decode %s: input of %zu bytes above 2^31-1\n", type->name, len);
    return -1;
  }
  Decoder d{static_cast<const uint8_t*>(bytes), len, 0, alloc ? alloc : &std::malloc};
  bool ok = decode_record(type, rec, d, 0);
  if (ok && d.pos != len && !(flags & MSGCODEC_DECODE_PREFIX)) {
    std::snprintf(d.detail, sizeof d.detail, " (%zu bytes left over)", len - d.pos);
    ok = d.fail(type, nullptr, "trailing bytes after the record");
  }
  if (!ok) {
    msgcodec_trace("msgcodec: cannot decode %s: %s%s (record %s, field %s, at byte %zu of %zu)\n", type->name,
                   d.what, d.detail, d.type, d.field[0] ? d.field : "-", d.pos, len);
    release_record(type, rec, &std::free, 0);
    return -1;
  }
  return static_cast<int>(d.pos);
}

extern "C" void msgcodec_free(const msgcodec_type* type, void* rec, msgcodec_free_fn free_fn) {
  if (!type || !rec) return;
  release_record(type, rec, free_fn ? free_fn : &std::free, 0);
}

extern "C" void msgcodec_clear(const msgcodec_type* type, void* rec) {
  if (!type || !rec) return;
  clear_record(type, rec);
}

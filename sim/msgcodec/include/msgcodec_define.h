// Field-table macros for defining record types (C++ only). See msgcodec.h for
// the wire format and for how to add a record type.
//
//   MSGCODEC_INT(T, member, bit)                  integer; width and sign from the member
//   MSGCODEC_INT_CLEARED(T, member, bit, value)   same, with a cleared value other than 0
//   MSGCODEC_FIXED_TEXT(T, member, bit)           char[N]
//   MSGCODEC_TEXT(T, member, bit)                 char*, allocated on decode
//   MSGCODEC_BYTES(T, pointer, length, bit)       uint8_t* plus an unsigned length member
//   MSGCODEC_RECORD(T, member, bit)               nested record (its struct has a codec name)
//   MSGCODEC_RECORD_LIST(T, pointer, count, bit)  pointer to records plus a count member
//   MSGCODEC_INT_LIST(T, pointer, count, bit)     pointer to integers plus a count member
//
// `bit` is the field's presence bit number (0 = first byte 0x01, 8 = second
// byte 0x01) or MSGCODEC_ALWAYS.
#pragma once

#include <cstddef>
#include <iterator>
#include <type_traits>

#include "msgcodec.h"

namespace msgcodec_detail {

template <typename M>
constexpr msgcodec_field int_field(const char* name, size_t offset, int bit, int64_t cleared) {
  static_assert(std::is_integral_v<M>, "MSGCODEC_INT needs an integer member");
  static_assert(sizeof(M) == 1 || sizeof(M) == 2 || sizeof(M) == 4 || sizeof(M) == 8);
  return msgcodec_field{name, MSGCODEC_KIND_INT, static_cast<uint8_t>(sizeof(M)),
                        static_cast<uint8_t>(std::is_signed_v<M> ? 1 : 0), 0,
                        static_cast<int16_t>(bit), static_cast<uint32_t>(offset), 0, 0, cleared,
                        nullptr};
}

template <typename M>
constexpr msgcodec_field fixed_text_field(const char* name, size_t offset, int bit) {
  static_assert(std::is_array_v<M> && std::is_same_v<std::remove_extent_t<M>, char>,
                "MSGCODEC_FIXED_TEXT needs a char[N] member");
  return msgcodec_field{name, MSGCODEC_KIND_FIXED_TEXT, 0, 0, 0, static_cast<int16_t>(bit),
                        static_cast<uint32_t>(offset), 0, static_cast<uint32_t>(sizeof(M)), 0,
                        nullptr};
}

template <typename M>
constexpr msgcodec_field text_field(const char* name, size_t offset, int bit) {
  static_assert(std::is_same_v<M, char*>, "MSGCODEC_TEXT needs a char* member");
  return msgcodec_field{name, MSGCODEC_KIND_TEXT, 0, 0, 0, static_cast<int16_t>(bit),
                        static_cast<uint32_t>(offset), 0, 0, 0, nullptr};
}

template <typename C>
constexpr uint8_t count_width() {
  static_assert(std::is_integral_v<C> && std::is_unsigned_v<C>,
                "length and count members must be unsigned integers");
  return static_cast<uint8_t>(sizeof(C));
}

template <typename P, typename C>
constexpr msgcodec_field bytes_field(const char* name, size_t offset, size_t count_offset,
                                     int bit) {
  static_assert(std::is_pointer_v<P> && sizeof(std::remove_pointer_t<P>) == 1,
                "MSGCODEC_BYTES needs a pointer to bytes");
  return msgcodec_field{name, MSGCODEC_KIND_BYTES, 1, 0, count_width<C>(),
                        static_cast<int16_t>(bit), static_cast<uint32_t>(offset),
                        static_cast<uint32_t>(count_offset), 0, 0, nullptr};
}

template <typename M>
constexpr msgcodec_field record_field(const char* name, size_t offset, int bit) {
  static_assert(std::is_class_v<M>, "MSGCODEC_RECORD needs a struct member");
  return msgcodec_field{name, MSGCODEC_KIND_RECORD, 0, 0, 0, static_cast<int16_t>(bit),
                        static_cast<uint32_t>(offset), 0, static_cast<uint32_t>(sizeof(M)), 0,
                        msgcodec_type_of<M>::get()};
}

template <typename P, typename C>
constexpr msgcodec_field record_list_field(const char* name, size_t offset, size_t count_offset,
                                           int bit) {
  using E = std::remove_pointer_t<P>;
  static_assert(std::is_pointer_v<P> && std::is_class_v<E>,
                "MSGCODEC_RECORD_LIST needs a pointer to structs");
  return msgcodec_field{name, MSGCODEC_KIND_RECORD_LIST, 0, 0, count_width<C>(),
                        static_cast<int16_t>(bit), static_cast<uint32_t>(offset),
                        static_cast<uint32_t>(count_offset), static_cast<uint32_t>(sizeof(E)), 0,
                        msgcodec_type_of<E>::get()};
}

template <typename P, typename C>
constexpr msgcodec_field int_list_field(const char* name, size_t offset, size_t count_offset,
                                        int bit) {
  using E = std::remove_pointer_t<P>;
  static_assert(std::is_pointer_v<P> && std::is_integral_v<E>,
                "MSGCODEC_INT_LIST needs a pointer to integers");
  static_assert(sizeof(E) == 1 || sizeof(E) == 2 || sizeof(E) == 4 || sizeof(E) == 8);
  return msgcodec_field{name, MSGCODEC_KIND_INT_LIST, static_cast<uint8_t>(sizeof(E)),
                        static_cast<uint8_t>(std::is_signed_v<E> ? 1 : 0), count_width<C>(),
                        static_cast<int16_t>(bit), static_cast<uint32_t>(offset),
                        static_cast<uint32_t>(count_offset), static_cast<uint32_t>(sizeof(E)), 0,
                        nullptr};
}

template <typename M>
constexpr uint32_t presence_bytes() {
  if constexpr (std::is_array_v<M>) {
    static_assert(std::is_same_v<std::remove_extent_t<M>, uint8_t> && sizeof(M) <= 3,
                  "presence member must be uint8_t or uint8_t[2] / uint8_t[3]");
  } else {
    static_assert(std::is_same_v<M, uint8_t>, "presence member must be uint8_t");
  }
  return static_cast<uint32_t>(sizeof(M));
}

}  // namespace msgcodec_detail

#define MSGCODEC_MEMBER_T_(T, m) decltype(T::m)

#define MSGCODEC_INT(T, m, bit) \
  msgcodec_detail::int_field<MSGCODEC_MEMBER_T_(T, m)>(#m, offsetof(T, m), bit, 0)
#define MSGCODEC_INT_CLEARED(T, m, bit, value) \
  msgcodec_detail::int_field<MSGCODEC_MEMBER_T_(T, m)>(#m, offsetof(T, m), bit, value)
#define MSGCODEC_FIXED_TEXT(T, m, bit) \
  msgcodec_detail::fixed_text_field<MSGCODEC_MEMBER_T_(T, m)>(#m, offsetof(T, m), bit)
#define MSGCODEC_TEXT(T, m, bit) \
  msgcodec_detail::text_field<MSGCODEC_MEMBER_T_(T, m)>(#m, offsetof(T, m), bit)
#define MSGCODEC_BYTES(T, p, n, bit)                                                     \
  msgcodec_detail::bytes_field<MSGCODEC_MEMBER_T_(T, p), MSGCODEC_MEMBER_T_(T, n)>(      \
      #p, offsetof(T, p), offsetof(T, n), bit)
#define MSGCODEC_RECORD(T, m, bit) \
  msgcodec_detail::record_field<MSGCODEC_MEMBER_T_(T, m)>(#m, offsetof(T, m), bit)
#define MSGCODEC_RECORD_LIST(T, p, n, bit)                                                \
  msgcodec_detail::record_list_field<MSGCODEC_MEMBER_T_(T, p), MSGCODEC_MEMBER_T_(T, n)>( \
      #p, offsetof(T, p), offsetof(T, n), bit)
#define MSGCODEC_INT_LIST(T, p, n, bit)                                                \
  msgcodec_detail::int_list_field<MSGCODEC_MEMBER_T_(T, p), MSGCODEC_MEMBER_T_(T, n)>( \
      #p, offsetof(T, p), offsetof(T, n), bit)

#define MSGCODEC_DEFINE_FUNCTIONS_(name, ctype)                                                  \
  extern "C" int msgcodec_##name##_encode_ext(const ctype* rec, void* buf, size_t room,         \
                                              uint32_t) {                                        \
    return msgcodec_encode(&msgcodec_type_##name, rec, buf, room);                               \
  }                                                                                              \
  extern "C" int msgcodec_##name##_decode_ext(ctype* rec, const void* bytes, size_t len,        \
                                              msgcodec_alloc_fn alloc, void*, uint32_t flags) {  \
    return msgcodec_decode(&msgcodec_type_##name, rec, bytes, len, alloc, flags);                \
  }                                                                                              \
  extern "C" void msgcodec_##name##_free_ext(ctype* rec, msgcodec_free_fn free_fn, void*,       \
                                             uint32_t) {                                         \
    msgcodec_free(&msgcodec_type_##name, rec, free_fn);                                          \
  }                                                                                              \
  extern "C" void msgcodec_##name##_clear(ctype* rec) {                                          \
    msgcodec_clear(&msgcodec_type_##name, rec);                                                  \
  }

// Defines record type `name` for struct `ctype` whose presence bytes are the
// member `presence` and whose fields are listed in the array `table`.
#define MSGCODEC_DEFINE(name, ctype, presence, table)                                         \
  extern "C" const msgcodec_type msgcodec_type_##name = {                                     \
      #name,                                                                                  \
      sizeof(ctype),                                                                          \
      static_cast<int32_t>(offsetof(ctype, presence)),                                        \
      msgcodec_detail::presence_bytes<MSGCODEC_MEMBER_T_(ctype, presence)>(),                 \
      table,                                                                                  \
      static_cast<uint32_t>(std::size(table))};                                                          \
  MSGCODEC_DEFINE_FUNCTIONS_(name, ctype)

// Defines a record type whose struct carries no presence bytes; every field is
// then declared with MSGCODEC_ALWAYS.
#define MSGCODEC_DEFINE_NO_PRESENCE(name, ctype, table)                                  \
  extern "C" const msgcodec_type msgcodec_type_##name = {                                \
      #name, sizeof(ctype), -1, 0, table, static_cast<uint32_t>(std::size(table))};                 \
  MSGCODEC_DEFINE_FUNCTIONS_(name, ctype)

// A record type that uses every field kind, for the codec's own tests.
#pragma once

#include <cstdint>

#include "msgcodec.h"

extern "C" {

typedef struct kind_inner {
  int16_t a;
  char label[8];
  uint8_t present;
} kind_inner;

typedef struct kind_all {
  uint8_t u8;
  int8_t i8;
  uint16_t u16;
  int16_t i16;
  uint32_t u32;
  int32_t i32;
  uint64_t u64;
  int64_t i64;
  char fixed[6];
  char* text;
  uint8_t* bytes;
  uint32_t bytes_len;
  kind_inner inner;
  kind_inner* list;
  uint32_t list_count;
  int64_t* ints;
  uint16_t int_count;
  uint32_t flag_cleared_to_7;
  uint8_t present[3];
  uint8_t keep;  // not described: the codec must leave it alone
} kind_all;

MSGCODEC_DECLARE(kind_inner, kind_inner)
MSGCODEC_DECLARE(kind_all, kind_all)
}

// Presence bit numbers of kind_all, spread over all three bytes.
enum : unsigned {
  kBitU8 = 0, kBitI8, kBitU16, kBitI16, kBitU32, kBitI32, kBitU64, kBitI64,
  kBitFixed = 8, kBitText, kBitBytes, kBitInner, kBitList, kBitInts,
  kBitCleared7 = 16,
};

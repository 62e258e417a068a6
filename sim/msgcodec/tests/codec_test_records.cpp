#include "codec_test_records.h"

#include "msgcodec_define.h"

constexpr msgcodec_field kInnerFields[] = {
    MSGCODEC_INT(kind_inner, a, 0),
    MSGCODEC_FIXED_TEXT(kind_inner, label, 1),
};
MSGCODEC_DEFINE(kind_inner, kind_inner, present, kInnerFields)

constexpr msgcodec_field kAllFields[] = {
    MSGCODEC_INT(kind_all, u8, kBitU8),
    MSGCODEC_INT(kind_all, i8, kBitI8),
    MSGCODEC_INT(kind_all, u16, kBitU16),
    MSGCODEC_INT(kind_all, i16, kBitI16),
    MSGCODEC_INT(kind_all, u32, kBitU32),
    MSGCODEC_INT(kind_all, i32, kBitI32),
    MSGCODEC_INT(kind_all, u64, kBitU64),
    MSGCODEC_INT(kind_all, i64, kBitI64),
    MSGCODEC_FIXED_TEXT(kind_all, fixed, kBitFixed),
    MSGCODEC_TEXT(kind_all, text, kBitText),
    MSGCODEC_BYTES(kind_all, bytes, bytes_len, kBitBytes),
    MSGCODEC_RECORD(kind_all, inner, kBitInner),
    MSGCODEC_RECORD_LIST(kind_all, list, list_count, kBitList),
    MSGCODEC_INT_LIST(kind_all, ints, int_count, kBitInts),
    MSGCODEC_INT_CLEARED(kind_all, flag_cleared_to_7, kBitCleared7, 7),
};
MSGCODEC_DEFINE(kind_all, kind_all, present, kAllFields)

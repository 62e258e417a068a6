// msgcodec: one generic encoder/decoder of plain records with presence bits.
//
// Every record type is described by a field table (see msgcodec_define.h) and
// gets three functions from one line:
//
//   int  msgcodec_<type>_encode_ext(const rec*, void* buf, size_t room, flags = 0)
//        Writes the encoding into at most `room` bytes at `buf` and returns the
//        number of bytes the encoding needs, also when that exceeds `room` (then
//        nothing is written past `room`; the bytes within it are unspecified).
//        Negative: the record cannot be encoded (a present text, byte string or
//        list has a null pointer, a fixed text lacks its terminating zero, the
//        encoding would exceed MSGCODEC_MAX_ENCODED bytes).
//   int  msgcodec_<type>_decode_ext(rec*, const void* bytes, size_t len,
//                                   alloc, alloc_ctx = NULL, flags = 0)
//        Decodes exactly `len` bytes (with MSGCODEC_DECODE_PREFIX: a prefix of
//        them) into the record and returns the number of bytes used. Texts, byte
//        strings and lists are allocated with `alloc`. Negative on truncated or
//        malformed input; then nothing stays allocated, the record's described
//        fields are at their cleared values, and a line naming the fault is
//        written to the "msgcodec" trace buffer. Bytes of the record that no
//        field describes (a payload's keep byte, for instance) are not touched.
//        Memory obtained from `alloc` must be releasable with free(): the
//        decoder uses free() to undo a decode that fails half-way (only an
//        allocator that runs out can make it fail after allocating).
//   void msgcodec_<type>_free_ext(rec*, free_fn, ctx = NULL, flags = 0)
//        Releases, with `free_fn`, everything the record's fields point to
//        (recursively) and leaves the fields at their cleared values. The record
//        itself is not released.
//   void msgcodec_<type>_clear(rec*)
//        Sets every described field to its cleared value and clears its presence
//        bit without releasing anything.
//
// The allocator contexts and the flags of encode and free are accepted for the
// callers' shape and not used.
//
// Wire format (big-endian throughout; every length is checked on decode):
//
//   record   := presence body
//   presence := the type's presence bytes as they are in the record (0 to 3
//               bytes), masked to the bits that name a field; bit n of a
//               record's presence is byte n/8, mask 1 << (n%8)
//   body     := the value of each field in table order whose presence bit is
//               set (fields declared without a presence bit are always there)
//   value    := integer   : its member's width (1, 2, 4 or 8 bytes),
//                           two's complement for signed members
//             | text      : u32 length L, then L bytes without the terminating
//                           zero; no zero byte inside; a char[N] member takes
//                           L <= N-1
//             | bytes     : u32 length L, then L bytes
//             | record    : record
//             | rec list  : u32 count C, then C records
//             | int list  : u32 count C, then C integers of the element width
//
// Decoding rejects: input that ends inside a value; a presence bit that names no
// field; a length or count larger than the input left could hold; a zero byte
// inside a text; a fixed text that does not fit its member; nesting deeper than
// MSGCODEC_MAX_DEPTH; trailing bytes (unless MSGCODEC_DECODE_PREFIX); an
// allocation that fails.
//
// Adding a record type (a service payload, a platform record):
//   1. Declare the plain struct in an extern "C" header, with its presence byte(s)
//      as ONE member (uint8_t, or uint8_t[2] / uint8_t[3]) placed after the fields,
//      and below it `MSGCODEC_DECLARE(<name>, <struct>)`.
//   2. In a .cpp that includes msgcodec_define.h, write its field table and
//      `MSGCODEC_DEFINE(<name>, <struct>, <presence member>, <table>)`, e.g.
//
//        constexpr msgcodec_field kSensorValueFields[] = {
//            MSGCODEC_RECORD(sensor_value, eid, 0),     // pelm_eid, bit 0x01
//            MSGCODEC_INT(sensor_value, subtype, 1),    // width from the member
//            MSGCODEC_INT(sensor_value, value, 2),
//        };
//        MSGCODEC_DEFINE(sensor_value, sensor_value, present, kSensorValueFields)
//
//      Records with no presence bytes use MSGCODEC_DEFINE_NO_PRESENCE(name,
//      struct, table); records with no fields MSGCODEC_DEFINE_EMPTY(name, struct).
//   3. Add the .cpp to the library that owns the struct (platform records and
//      service payloads: sim/msgcodec/CMakeLists.txt, one msgcodec_<family>.cpp
//      and include/msgcodec_<family>.h per family) and a round trip to the tests.
// One codec name per C struct: nested records and lists find the table of their
// member's struct through it.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "inv_util.h"

#ifdef __cplusplus
#define MSGCODEC_DEFAULT(v) = v
extern "C" {
#else
#define MSGCODEC_DEFAULT(v)
#endif

// Largest encoding the codec produces or accepts.
#define MSGCODEC_MAX_ENCODED 0x7fffffff
// Deepest nesting of records inside records or lists.
#define MSGCODEC_MAX_DEPTH 16
// Decode flag: the record may be followed by other bytes; return what it used.
#define MSGCODEC_DECODE_PREFIX 0x1u
// Field without a presence bit: always encoded.
#define MSGCODEC_ALWAYS (-1)

typedef void* (*msgcodec_alloc_fn)(size_t size);
typedef void (*msgcodec_free_fn)(void* p);

typedef enum msgcodec_kind {
  MSGCODEC_KIND_INT = 1,     // integer member
  MSGCODEC_KIND_FIXED_TEXT,  // char[N] member
  MSGCODEC_KIND_TEXT,        // char* member, allocated on decode
  MSGCODEC_KIND_BYTES,       // uint8_t* member plus a length member
  MSGCODEC_KIND_RECORD,      // nested record member
  MSGCODEC_KIND_RECORD_LIST, // pointer to records plus a count member
  MSGCODEC_KIND_INT_LIST,    // pointer to integers plus a count member
} msgcodec_kind;

struct msgcodec_type;

// One row of a field table; build rows with the macros of msgcodec_define.h.
typedef struct msgcodec_field {
  const char* name;
  uint8_t kind;                // msgcodec_kind
  uint8_t width;               // INT: member width; INT_LIST: element width
  uint8_t is_signed;           // INT, INT_LIST
  uint8_t count_width;         // BYTES, lists: width of the length/count member
  int16_t bit;                 // presence bit number or MSGCODEC_ALWAYS
  uint32_t offset;             // of the member (the pointer for BYTES and lists)
  uint32_t count_offset;       // BYTES, lists
  uint32_t size;               // FIXED_TEXT: capacity; RECORD, RECORD_LIST: struct size
  int64_t cleared;             // INT: value after clearing
  const struct msgcodec_type* nested;  // RECORD, RECORD_LIST
} msgcodec_field;

typedef struct msgcodec_type {
  const char* name;
  size_t size;                 // sizeof the struct
  int32_t presence_offset;     // -1: the record has no presence bytes
  uint32_t presence_bytes;     // 0 to 3
  const msgcodec_field* fields;
  uint32_t field_count;
} msgcodec_type;

// The generic operations behind every record type's functions.
int msgcodec_encode(const msgcodec_type* type, const void* rec, void* buf, size_t room);
int msgcodec_decode(const msgcodec_type* type, void* rec, const void* bytes, size_t len,
                    msgcodec_alloc_fn alloc, uint32_t flags);
void msgcodec_free(const msgcodec_type* type, void* rec, msgcodec_free_fn free_fn);
void msgcodec_clear(const msgcodec_type* type, void* rec);

// Presence bit helpers: bit n is byte n/8, mask 1 << (n%8).
static inline void msgcodec_set_bit(uint8_t* presence, unsigned bit) {
  presence[bit / 8] = (uint8_t)(presence[bit / 8] | (1u << (bit % 8)));
}
static inline int msgcodec_test_bit(const uint8_t* presence, unsigned bit) {
  return (presence[bit / 8] >> (bit % 8)) & 1u;
}

#ifdef __cplusplus
}  // extern "C"
template <typename T>
struct msgcodec_type_of;  // specialised by MSGCODEC_DECLARE
#define MSGCODEC_DECLARE_TRAIT_(name, ctype)                                            \
  extern "C++" {                                                                        \
  template <>                                                                           \
  struct msgcodec_type_of<ctype> {                                                      \
    static constexpr const msgcodec_type* get() { return &msgcodec_type_##name; }                 \
  };                                                                                    \
  }
extern "C" {
#else
#define MSGCODEC_DECLARE_TRAIT_(name, ctype)
#endif

// Declares the descriptor and the functions of record type `name` (C struct `ctype`).
#define MSGCODEC_DECLARE(name, ctype)                                                          \
  extern const msgcodec_type msgcodec_type_##name;                                             \
  int msgcodec_##name##_encode_ext(const ctype* rec, void* buf, size_t room,                   \
                                   uint32_t flags MSGCODEC_DEFAULT(0));                        \
  int msgcodec_##name##_decode_ext(ctype* rec, const void* bytes, size_t len,                  \
                                   msgcodec_alloc_fn alloc, void* alloc_ctx MSGCODEC_DEFAULT(0), \
                                   uint32_t flags MSGCODEC_DEFAULT(0));                        \
  void msgcodec_##name##_free_ext(ctype* rec, msgcodec_free_fn free_fn,                        \
                                  void* ctx MSGCODEC_DEFAULT(0), uint32_t flags MSGCODEC_DEFAULT(0)); \
  void msgcodec_##name##_clear(ctype* rec);                                                    \
  MSGCODEC_DECLARE_TRAIT_(name, ctype)

// ---------------------------------------------------------------------------
// Entity ids (struct in inv_util.h). pelm_eid: id, rack, slot, subid with bits
// 0x01..0x08, the levels (tsi, tsi_count) with bit 0x20; `ext` belongs to the
// inventory library and is not carried. pelm_tsi: three u32, no presence.
MSGCODEC_DECLARE(pelm_tsi, pelm_tsi)
MSGCODEC_DECLARE(pelm_eid, pelm_eid)

// ---------------------------------------------------------------------------
// Transport endpoint (struct in msgpipe.h): address and port, bits 0x01 and
// 0x02. Encodes to 9 bytes; publishers refuse encodings above 15.
typedef struct msgpipe_endpoint msgpipe_endpoint;
MSGCODEC_DECLARE(msgpipe_endpoint, msgpipe_endpoint)

// ---------------------------------------------------------------------------
// Header of every request-layer message (message id 0x8000 is INIT).
// Presence: present[0] bits 0x01..0x80 for msg_id..version, present[1] 0x01
// program_name and 0x02 unique_id. Cleared values: final 1, all else 0 / none.
typedef struct capi_header {
  uint32_t msg_id;
  uint32_t request_id;
  int32_t status;
  uint8_t final;
  char* service_name;
  uint32_t node_addr;     // IPv4, host order
  uint32_t pid;
  char* version;
  char* program_name;     // argv[0] of the sender
  uint32_t unique_id;
  uint8_t present[2];
} capi_header;

enum {
  CAPI_HEADER_BIT_MSG_ID = 0,
  CAPI_HEADER_BIT_REQUEST_ID = 1,
  CAPI_HEADER_BIT_STATUS = 2,
  CAPI_HEADER_BIT_FINAL = 3,
  CAPI_HEADER_BIT_SERVICE_NAME = 4,
  CAPI_HEADER_BIT_NODE_ADDR = 5,
  CAPI_HEADER_BIT_PID = 6,
  CAPI_HEADER_BIT_VERSION = 7,
  CAPI_HEADER_BIT_PROGRAM_NAME = 8,
  CAPI_HEADER_BIT_UNIQUE_ID = 9,
};

MSGCODEC_DECLARE(capi_header, capi_header)

// ---------------------------------------------------------------------------
// Directory-service records. Every field has a presence bit, 0x01 upwards in
// field order.
typedef struct ds_attribute {
  uint32_t id;
  uint32_t int_value;
  char* string_value;
  uint8_t* bytes_value;
  uint32_t bytes_value_len;
  uint8_t present;
} ds_attribute;

// One published instance of a service. What watchers receive as entries.
typedef struct ds_service_info {
  char* service_name;      // left unset by publishers; filled in delivered entries
  uint8_t* endpoint;       // msgcodec_msgpipe_endpoint_encode_ext bytes
  uint32_t endpoint_len;   // at most 15
  uint32_t scope;          // 1 rack, 3 node
  ds_attribute* attributes;
  uint32_t attribute_count;
  char* instance_name;
  uint8_t present;
} ds_service_info;

typedef struct ds_service_publish_info {
  char* service_name;
  char* publisher;         // optional name shown in the directory service's log
  ds_service_info* service_info;
  uint32_t service_info_count;
  uint8_t present;
} ds_service_publish_info;

// What a watcher asks for: a service name and optionally one instance.
typedef struct ds_service_notification_req {
  char* service_name;
  char* instance_name;
  uint8_t present;
} ds_service_notification_req;

enum {
  DS_ATTRIBUTE_BIT_ID = 0,
  DS_ATTRIBUTE_BIT_INT_VALUE = 1,
  DS_ATTRIBUTE_BIT_STRING_VALUE = 2,
  DS_ATTRIBUTE_BIT_BYTES_VALUE = 3,
  DS_SERVICE_INFO_BIT_SERVICE_NAME = 0,
  DS_SERVICE_INFO_BIT_ENDPOINT = 1,
  DS_SERVICE_INFO_BIT_SCOPE = 2,
  DS_SERVICE_INFO_BIT_ATTRIBUTES = 3,
  DS_SERVICE_INFO_BIT_INSTANCE_NAME = 4,
  DS_PUBLISH_INFO_BIT_SERVICE_NAME = 0,
  DS_PUBLISH_INFO_BIT_PUBLISHER = 1,
  DS_PUBLISH_INFO_BIT_SERVICE_INFO = 2,
  DS_NOTIFICATION_REQ_BIT_SERVICE_NAME = 0,
  DS_NOTIFICATION_REQ_BIT_INSTANCE_NAME = 1,
};

MSGCODEC_DECLARE(ds_attribute, ds_attribute)
MSGCODEC_DECLARE(ds_service_info, ds_service_info)
MSGCODEC_DECLARE(ds_service_publish_info, ds_service_publish_info)
MSGCODEC_DECLARE(ds_service_notification_req, ds_service_notification_req)

#ifdef __cplusplus
}  // extern "C"
#endif

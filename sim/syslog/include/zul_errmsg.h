// System-log messages. A message is a constant record of the raising library
// plus the arguments of its format; zul_errmsg formats it and hands it to the
// syslog service. (The header is not named syslog.h so that it does not hide
// the C library's.)
#pragma once

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

// A message record, 72 bytes.
typedef struct zul_msg_rec {
  const char* prefix_fmt;    // 0: optional format of a leading text, or null
  const char* fmt;           // 8: the message format
  const void* reserved0;     // 16: null
  const char* facility;      // 24
  const char* sub_facility;  // 32
  const char* mnemonic;      // 40
  uint32_t severity_word;    // 48: severity << 16 (u16 0, u8 severity, u8 0)
  uint8_t reserved1[12];     // 52
  uint32_t code;             // 64: facility number << 16 | message index
  uint32_t reserved2;        // 68
} zul_msg_rec;

// Severity byte of a record.
#define ZUL_MSG_SEVERITY(rec) ((uint8_t)(((rec)->severity_word >> 16) & 0xffu))

// Formats the message of `rec` with the arguments (the leading-text format,
// when the record has one, takes the first of them) and sends it with
// `severity` to the syslog service. Any thread; never fails the caller: a
// message that cannot be delivered is dropped.
void zul_errmsg(const zul_msg_rec* rec, int severity, ...);

// The text a message is logged with:
// "%<facility>-<sub facility>-<severity>-<mnemonic> : <leading text><message>".
// Returns the length it needs (like snprintf).
int zul_msg_format(char* buf, size_t len, const zul_msg_rec* rec, int severity, ...);

#ifdef __cplusplus
}
#endif

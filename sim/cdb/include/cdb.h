// Configuration database reads. A configuration is a set of keys, each a path
// such as "/environment/config/router/altitude/all/num_meters" that may hold a
// value; list entries are written "name[i]" ("/a/rack_loc/location[0]/rackId").
//
// The reads run on a configuration handle: the integer the provider layer
// passes to a namespace's callback (provd.h). The handle shows the namespace as
// it was when the callback was called and is valid until the callback returns.
// Paths are printf formats with their arguments; a composed path longer than
// CDB_MAX_PATH characters is refused.
#pragma once

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define CDB_MAX_PATH 511

// Results of the reads.
#define CDB_OK 0
#define CDB_ERR_NOT_FOUND 2     // no such key, or the key holds no value
#define CDB_ERR_BAD_HANDLE 9    // no configuration behind the handle
#define CDB_ERR_BAD_VALUE 22    // the value is not of the asked kind, or a bad argument
#define CDB_ERR_PATH_TOO_LONG 36

// The 6-byte date of cdb_get_date ("YYYY-MM-DD" or "YYYY-MM-DD TZ").
typedef struct cdb_date {
  uint16_t year;
  uint8_t month;
  uint8_t day;
  int16_t tz;
} cdb_date;

// Chooses the namespace the following reads belong to. 0, or CDB_ERR_BAD_HANDLE.
int cdb_set_namespace(int cfg, uint32_t ns_hash);
// 1 when the key exists or has keys below it, else 0 (also for a bad handle).
int cdb_exists(int cfg, const char* fmt, ...) __attribute__((format(printf, 2, 3)));
// Number of entries of the list at the path ("p[0]", "p[1]", ...); 1 for a key
// that exists and is no list; 0 when nothing is there.
int cdb_num_instances(int cfg, const char* fmt, ...) __attribute__((format(printf, 2, 3)));
int cdb_get_enum_value(int cfg, int32_t* value, const char* fmt, ...)
    __attribute__((format(printf, 3, 4)));
int cdb_get_u_int32(int cfg, uint32_t* value, const char* fmt, ...)
    __attribute__((format(printf, 3, 4)));
int cdb_get_date(int cfg, cdb_date* date, const char* fmt, ...)
    __attribute__((format(printf, 3, 4)));

#ifdef __cplusplus
}
#endif

// Tracing: named trace buffers, each an in-memory ring of text lines, written
// printf style. Opening a name that is already open gives the same buffer, so
// repeated opens do not multiply buffers. Buffers live until the process ends;
// a closed handle stays safe to write to.
//
// Placeholders expanded in every written text (after printf formatting):
//   $n  the process node id (tlg_get_node_id) as a dotted IPv4 address
//   $p  the process id
//   $T  the calling thread's name (tlg_set_current_thread_name), else its id
//   $S  the time on the sim clock, "<seconds>.<microseconds>"
#pragma once

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct tlg_buffer* tlg_handle_t;
struct evloop;

// Opens (or finds) the buffer `name` and stores its handle in *handle.
// size: ring size in bytes (small values get a floor, 0 the default); points:
// trace-point count; component_path, build_id: recorded for dumps; parent: the
// parent buffer, recorded for dumps (may be null). 0 on success, -1 for a
// null handle pointer or an empty name (then *handle, if any, is null).
int tlg_open_internal(tlg_handle_t* handle, const char* name, uint32_t size, uint32_t points,
                      const char* component_path, const char* build_id, tlg_handle_t parent);
// Binds the buffer to the loop's configuration. Nothing to configure here;
// returns 0 (-1 for a null handle).
int tlg_enable_configuration(tlg_handle_t handle, struct evloop* loop = nullptr);
// Writes one trace line. Never fails the caller: a null handle, a bad format
// or an out-of-memory condition drops the line.
void tlg_internal(tlg_handle_t handle, const char* fmt, ...) __attribute__((format(printf, 2, 3)));
// Closes the handle. The buffer and its lines stay (see above).
void tlg_close(tlg_handle_t handle);
// Writes the buffer's lines, oldest first, to
// sim_path("/tmp/tlg_dump/<buffer name>.<pid>.txt") (replacing an older dump).
// 0 on success, -1 on failure.
int tlg_dump(tlg_handle_t handle);
// Name the buffer was opened with ("" for null).
const char* tlg_get_name(tlg_handle_t handle);

// The process node id used by "$n" (0 until set).
uint32_t tlg_get_node_id(void);
void tlg_set_node_id(uint32_t node_id);
// Display name of the process in trace texts; the program name unless set.
const char* tlg_get_process_prefix(void);
void tlg_set_process_prefix(const char* prefix);
// Name of the calling thread used by "$T".
void tlg_set_current_thread_name(const char* name);

#ifdef __cplusplus
}
#endif

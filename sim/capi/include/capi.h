// capi: the generic request layer under the service libraries: the pending
// request table of a connection, the INIT message and process-wide unique ids.
//
// Frame of every request-layer message (one msgpipe message):
//   bytes 0-3   header length H, unsigned, most significant byte first
//   bytes 4..   the capi_header encoded by msgcodec_capi_header_encode_ext
//   the rest    the payload (none for INIT)
#pragma once

#include <stdbool.h>
#include <stdint.h>

#include "msgcodec.h"
#include "msgpipe.h"

#ifdef __cplusplus
extern "C" {
#endif

// Message id of the INIT handshake.
#define CAPI_INIT_MSG_ID 0x8000u
// Bytes of the header-length word in front of the header.
#define CAPI_FRAME_LENGTH_BYTES 4u

// One pending request. The table assigns request_id; the caller fills msg_id
// and cookie. Entries are calloc'd by capi_table_add; whoever removes an entry
// from its table releases it with free().
typedef struct capi_table_entry {
  uint32_t request_id;
  uint32_t msg_id;
  void* cookie;
  struct capi_table_entry* next;  // the table's own link
} capi_table_entry;

// Pending-request table of one connection, embedded in its owner's record.
// Not locked: its users change it under the connection's mutex.
typedef struct capi_table {
  capi_table_entry* head;  // newest first
  uint32_t count;
  uint32_t last_id;
} capi_table;

typedef struct capi_table_iterator capi_table_iterator;

// Empties the record (does not release entries of an earlier use).
void capi_table_init(capi_table* table);
// A new entry whose request id differs from every pending one (never 0), or
// null when no memory is left.
capi_table_entry* capi_table_add(capi_table* table);
// The pending entry with that request id, or null.
capi_table_entry* capi_table_lookup(capi_table* table, uint32_t request_id);
// Takes the entry with that request id out of the table and returns it (the
// caller frees it), or null when none is pending.
capi_table_entry* capi_table_remove(capi_table* table, uint32_t request_id);
// Number of pending entries.
uint32_t capi_table_size(const capi_table* table);

// Iteration over the pending entries. The iterator is allocated (null when no
// memory is left) and released by capi_table_iterator_destroy. The table must
// not be changed meanwhile except through capi_table_iterator_remove_current.
capi_table_iterator* capi_table_get_iterator(capi_table* table);
bool capi_table_iterator_has_next(const capi_table_iterator* it);
// The next entry, or null at the end.
capi_table_entry* capi_table_iterator_next(capi_table_iterator* it);
// Takes the entry last returned by capi_table_iterator_next out of the table
// and returns it (the caller frees it); null when there is none.
capi_table_entry* capi_table_iterator_remove_current(capi_table_iterator* it);
void capi_table_iterator_destroy(capi_table_iterator* it);

// Builds and sends the INIT frame: a capi_header with message id `msg_id`
// (CAPI_INIT_MSG_ID), the service name, node address, version and unique id
// given, and this process's id and program name (argv[0]) filled in here, with
// no payload. Holds the connection's mutex around its connected test and send.
// 0 when sent; -1 when an argument is missing, the header cannot be encoded or
// memory is short; otherwise msgpipe_send's result. The frame is the
// transport's once sent.
int capi_send_init_msg(msgpipe_handle_t* transport, const char* service_name, uint32_t msg_id,
                       uint32_t unique_id, uint32_t node_addr, const char* version);

// A fresh id from one process-wide counter on every call (never 0); any thread.
uint32_t capi_get_unique_id_in_process(void);

// The program name the request layer puts into INIT (argv[0] of the process).
const char* capi_get_program_name(void);

#ifdef __cplusplus
}
#endif

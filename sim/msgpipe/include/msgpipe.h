// The message transport: connections between processes over TCP on the
// loopback range. An endpoint is an IPv4 address and a port; a process may
// bind any 127.x.y.z address. One msgpipe message is what one msgpipe_send
// sent, delivered whole to the peer.
//
// Every event of a handle reaches the handler attached with
// evloop_attach_msgpipe_handle, on that loop's thread:
//   handler(handle, event, failed, buf, size, flags)
//   MSGPIPE_EV_SENT (0)       buf was given to msgpipe_send and is returned to
//                             the caller, who frees it; failed != 0 when it
//                             could not be sent. Every accepted buffer comes
//                             back this way unless the handle is destroyed
//                             first (then the transport free()s it).
//   MSGPIPE_EV_RECEIVED (1)   buf, lent with msgpipe_receive, now holds the
//                             message of size bytes.
//   MSGPIPE_EV_CONNECTED (4)  a connect completed (failed != 0: it failed, see
//                             msgpipe_get_error). On a bound handle: a new
//                             inbound connection; the first argument is then
//                             the NEW connection's handle, which carries the
//                             listener's user context, handler and loop.
//   MSGPIPE_EV_DISCONNECTED (5) the connection ended; flags has
//                             MSGPIPE_FLAG_SILENT after msgpipe_silent_disconnect.
//   MSGPIPE_EV_RECEIVE_READY (6) a message of size bytes is waiting: the
//                             handler allocates size bytes and calls
//                             msgpipe_receive; a message not taken during this
//                             event is discarded.
//   MSGPIPE_EV_FLOW_RESUMED (7) msgpipe_send takes messages again.
//
// Threads: msgpipe_send, msgpipe_disconnect and the queries may be called from
// any thread; callers hold the connection's mutex (msgpipe_get_mutex, a
// recursive mutex) around a connected test and the send that follows. The
// transport never holds that mutex while it calls the handler.
// msgpipe_handle_destroy may be called from inside the handle's own handler.
#pragma once

#include <pthread.h>
#include <stdbool.h>
#include <stdint.h>

#include "evloop.h"
#include "tlg.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef struct msgpipe_handle msgpipe_handle_t;

// Presence bits of msgpipe_endpoint.present.
#define MSGPIPE_ENDPOINT_HAS_ADDRESS 0x01u
#define MSGPIPE_ENDPOINT_HAS_PORT 0x02u

// Transport endpoint: IPv4 address and TCP port, both in host byte order.
typedef struct msgpipe_endpoint {
  uint32_t node_address;
  uint32_t port;
  uint8_t present;  // MSGPIPE_ENDPOINT_HAS_* bits
} msgpipe_endpoint;

// Events (see above).
#define MSGPIPE_EV_SENT 0u
#define MSGPIPE_EV_RECEIVED 1u
#define MSGPIPE_EV_CONNECTED 4u
#define MSGPIPE_EV_DISCONNECTED 5u
#define MSGPIPE_EV_RECEIVE_READY 6u
#define MSGPIPE_EV_FLOW_RESUMED 7u

// flags of MSGPIPE_EV_DISCONNECTED.
#define MSGPIPE_FLAG_SILENT 0x1u

// Results of msgpipe_send and msgpipe_receive.
#define MSGPIPE_OK 0
#define MSGPIPE_FLOW_CONTROLLED (-1)  // send: queue full, MSGPIPE_EV_FLOW_RESUMED follows
#define MSGPIPE_FAILED (-2)           // not connected, connection failed, bad argument

// Options of msgpipe_set_option. The value is a const char* for 1 and 2 and
// an int for the others.
#define MSGPIPE_OPT_PEER_DESCRIPTION 1u   // text naming the peer, used in traces
#define MSGPIPE_OPT_LOCAL_DESCRIPTION 2u  // text naming this side, used in traces
#define MSGPIPE_OPT_NODELAY 3u            // 1: send small messages at once (TCP_NODELAY)
#define MSGPIPE_OPT_KEEPALIVE_PROBES 4u   // > 0: keep-alive on with that many probes
#define MSGPIPE_OPT_USER_TIMEOUT 5u       // seconds unacknowledged data may wait (0: system)

// Largest message the transport carries; a peer announcing more is dropped.
#define MSGPIPE_MAX_MESSAGE (64u * 1024u * 1024u)

typedef void (*msgpipe_event_handler_t)(msgpipe_handle_t* handle, uint32_t event, int failed,
                                        void* buf, int32_t size, uint32_t flags);

// A new idle handle in *out. flags: reserved (0). 0 on success, -1 on failure.
int msgpipe_handle_create(uint32_t flags, msgpipe_handle_t** out);
// Closes the connection or listener without events (queued messages go out as
// far as the socket takes them at once), free()s buffers still held, and frees
// the handle. Allowed from the handle's own handler.
void msgpipe_handle_destroy(msgpipe_handle_t* handle);
int msgpipe_handle_set_name(msgpipe_handle_t* handle, const char* name);
const char* msgpipe_handle_get_name(const msgpipe_handle_t* handle);
void msgpipe_handle_set_user_context(msgpipe_handle_t* handle, void* ctx);
void* msgpipe_handle_get_user_context(const msgpipe_handle_t* handle);
// Forgets the remote endpoint of an idle handle (after a disconnect, when no
// endpoint is known any more).
void msgpipe_handle_endpoint_init(msgpipe_handle_t* handle);

// 0, or -1 for an unknown option or a bad value.
int msgpipe_set_option(msgpipe_handle_t* handle, uint32_t option, ...);

// Attaches the handle to the loop that will deliver its events to handler;
// a null handler detaches it (events that happen meanwhile are kept until a
// handler is attached again). A handle not attached when it connects or binds
// uses the calling thread's current loop. The other arguments are reserved.
// 0 on success, negative on failure.
int evloop_attach_msgpipe_handle(evloop_t* loop, msgpipe_handle_t* handle,
                                 msgpipe_event_handler_t handler, uint32_t a4 = 0,
                                 uint32_t a5 = 0, uint32_t a6 = 0);
evloop_t* msgpipe_get_evloop(const msgpipe_handle_t* handle);

// Starts connecting to the endpoint (after the connect delay, when one is
// set); MSGPIPE_EV_CONNECTED follows. ctx: reserved. 0 when started, -1 when
// the handle is busy (connected, connecting or bound) or an argument is bad.
int msgpipe_connect(msgpipe_handle_t* handle, uint32_t flags, const msgpipe_endpoint* endpoint,
                    void* ctx = nullptr);
// The next msgpipe_connect waits delay_ms (sim clock) before it connects.
int msgpipe_set_connect_delay(msgpipe_handle_t* handle, uint32_t delay_ms);
// Closes the connection (or abandons a connect). Queued messages go out as
// far as the socket takes them at once; the buffers of the rest come back
// failed, then MSGPIPE_EV_DISCONNECTED. 0 when started, -1 when idle.
int msgpipe_disconnect(msgpipe_handle_t* handle, void* ctx = nullptr);
// Like msgpipe_disconnect, with MSGPIPE_FLAG_SILENT in the event's flags.
int msgpipe_silent_disconnect(msgpipe_handle_t* handle, void* ctx = nullptr);
bool msgpipe_is_connected(const msgpipe_handle_t* handle);
bool msgpipe_is_connecting(const msgpipe_handle_t* handle);

// Listens on the endpoint (port 0: any free port, see
// msgpipe_get_local_endpoint). Inbound connections arrive as
// MSGPIPE_EV_CONNECTED. ctx: reserved. 0 when bound, -1 on failure.
int msgpipe_bind(msgpipe_handle_t* handle, uint32_t flags, const msgpipe_endpoint* endpoint,
                 void* ctx = nullptr);
int msgpipe_unbind(msgpipe_handle_t* handle);

int msgpipe_get_remote_endpoint(const msgpipe_handle_t* handle, msgpipe_endpoint* endpoint);
int msgpipe_get_local_endpoint(const msgpipe_handle_t* handle, msgpipe_endpoint* endpoint);
// True when both hold the same address and port (presence bits included).
bool msgpipe_endpoint_equals(const msgpipe_endpoint* a, const msgpipe_endpoint* b);
// Fills an endpoint with both fields present.
void msgpipe_endpoint_set(msgpipe_endpoint* endpoint, uint32_t node_address, uint32_t port);

// Error of the last failed event (a negative errno), 0 when none.
int msgpipe_get_error(const msgpipe_handle_t* handle);
// The connection's recursive mutex.
pthread_mutex_t* msgpipe_get_mutex(msgpipe_handle_t* handle);

// Queues one message of len bytes (len may be 0; buf must then still be a
// buffer the caller can free). 0: queued, the transport owns buf until
// MSGPIPE_EV_SENT. MSGPIPE_FLOW_CONTROLLED: the queue is full. MSGPIPE_FAILED:
// not connected or bad argument. On a non-zero result buf stays the caller's.
// tag: the caller's message tag, kept for traces.
int msgpipe_send(msgpipe_handle_t* handle, void* buf, uint32_t len, uint32_t flags,
                 uint32_t tag);
// Lends buf (at least the size announced by MSGPIPE_EV_RECEIVE_READY; null
// for an empty message) to take the offered message; it comes back filled with
// MSGPIPE_EV_RECEIVED right after the current event. Only during
// MSGPIPE_EV_RECEIVE_READY. 0: taken; MSGPIPE_FAILED: no message offered
// (outside that event, or taken already) or buf too small.
int msgpipe_receive(msgpipe_handle_t* handle, void* buf, uint32_t size, uint32_t flags,
                    uint32_t reserved);

// Bounds of the send queue (messages and bytes queued in the transport,
// beyond what the kernel holds). A message larger than max_bytes is taken
// when the queue is empty. Defaults: 1024 messages, 8 MiB.
int msgpipe_set_send_queue_limit(msgpipe_handle_t* handle, uint32_t max_messages,
                                 uint32_t max_bytes);

// Trace buffers the transport writes its own lines to (null: none).
void msgpipe_set_tlg_info_parent_handle(msgpipe_handle_t* handle, tlg_handle_t buffer);
void msgpipe_set_tlg_error_parent_handle(msgpipe_handle_t* handle, tlg_handle_t buffer);
void msgpipe_set_tlg_conn_parent_handle(msgpipe_handle_t* handle, tlg_handle_t buffer);

#ifdef __cplusplus
}
#endif

// pelmarok_ds: client library of the directory service (the `dsd` daemon).
//
// Publishers announce a service (name, scope, encoded transport endpoint,
// attributes, optional instance name); watchers of a service name (optionally
// one instance) receive the current list of its published entries and every
// change. One handle is one connection to the daemon, on the caller's event
// loop; every callback runs on that loop.
//
// Connection: pelmarok_ds_connect starts connecting; the connect callback
// reports each attempt (0 connected, negative failed). The library retries by
// itself, PELMAROK_DS_RETRY_MS apart, after a failed attempt and after the
// connection goes away (the disconnect callback reports that). After a
// reconnection it registers its watches again by itself; publications are the
// publisher's to repeat from its connect callback. When a handle's connection
// ends (destroy, process exit, crash), the daemon withdraws everything it
// published.
//
// The daemon's endpoint: the endpoint factory when one is set, else the
// environment variable ENVMON_DS_ENDPOINT ("a.b.c.d:port"), else
// PELMAROK_DS_DEFAULT_ENDPOINT.
//
// Notifications of one watch:
//   notify-service          (entries, count): the current entries, in the order
//                           they were published; sent after the registration
//                           and after every change; count 0 when none is left.
//   notify-deleted-service  (entries, count): the entries just withdrawn; the
//                           notify-service with what is left follows.
// Entries carry service_name, endpoint, scope, attributes and, when published,
// instance_name. They belong to the library for the duration of the callback.
//
// Callback setters (a null function clears the slot):
//   pelmarok_ds_set_connect_callback                 connect(ds, status, ctx)
//   pelmarok_ds_set_disconnect_callback              disconnect(ds, reason, ctx)
//   pelmarok_ds_set_error_callback                   error(ds, code, ctx)
//   pelmarok_ds_set_notify_service_callback          notify_service(ds, entries, count, ctx)
//   pelmarok_ds_set_notify_deleted_service_callback  notify_deleted_service(ds, entries, count, ctx)
//   pelmarok_ds_set_registered_service_callback      registered_service(ds, status, ctx)
//   pelmarok_ds_set_unregistered_service_callback    unregistered_service(ds, status, ctx)
//   pelmarok_ds_set_published_service_callback       published_service(ds, status, ctx)
// ctx is: for connect, disconnect and error the context given to
// pelmarok_ds_connect; for the watch callbacks the context given to
// pelmarok_ds_register_service_notification; for published_service the
// handle's user context.
#pragma once

#include <stdbool.h>
#include <stdint.h>

#include "evloop.h"
#include "msgcodec.h"
#include "msgpipe.h"
#include "tlg.h"

#ifdef __cplusplus
extern "C" {
#endif

#define PELMAROK_DS_ENDPOINT_ENV "ENVMON_DS_ENDPOINT"
#define PELMAROK_DS_DEFAULT_ENDPOINT "127.0.0.1:17600"
#define PELMAROK_DS_RETRY_MS 1000u

#define PELMAROK_DS_SCOPE_RACK 1u
#define PELMAROK_DS_SCOPE_NODE 3u

// pelmarok_ds_set_option: the name this client goes by in the daemon's log.
#define PELMAROK_DS_OPT_CLIENT_NAME 4u

// Codes of the error callback and of failed statuses.
#define PELMAROK_DS_ERR_FAILED (-1)        // refused by the daemon (bad request)
#define PELMAROK_DS_ERR_TRANSPORT (-9)     // the connection failed
#define PELMAROK_DS_ERR_UNDECODABLE (-7)   // a message from the daemon did not decode

typedef struct pelmarok_ds_handle pelmarok_ds_handle_t;

typedef void (*pelmarok_ds_connect_cb_t)(pelmarok_ds_handle_t* ds, int32_t status, void* ctx);
typedef void (*pelmarok_ds_disconnect_cb_t)(pelmarok_ds_handle_t* ds, int32_t reason, void* ctx);
typedef void (*pelmarok_ds_error_cb_t)(pelmarok_ds_handle_t* ds, int32_t code, void* ctx);
typedef void (*pelmarok_ds_notify_service_cb_t)(pelmarok_ds_handle_t* ds,
                                                const ds_service_info* entries, uint32_t count,
                                                void* ctx);
typedef void (*pelmarok_ds_status_cb_t)(pelmarok_ds_handle_t* ds, int32_t status, void* ctx);
// Fills *endpoint with the daemon's endpoint; 0 on success.
typedef int (*pelmarok_ds_endpoint_factory_t)(void* factory_ctx, msgpipe_endpoint* endpoint);

// A new handle on `loop` in *out (null on failure). 0 on success, -1 on failure.
int pelmarok_ds_handle_create(pelmarok_ds_handle_t** out, evloop_t* loop,
                              void* user_context MSGCODEC_DEFAULT(0));
// Closes the connection (the daemon withdraws this handle's publications and
// watches) and frees the handle; allowed from inside the handle's callbacks.
// 0, or -1 for a null handle.
int pelmarok_ds_handle_destroy(pelmarok_ds_handle_t* ds);

void pelmarok_ds_set_user_context(pelmarok_ds_handle_t* ds, void* user_context);
void* pelmarok_ds_get_user_context(const pelmarok_ds_handle_t* ds);
void pelmarok_ds_set_tlg_info_parent_handle(pelmarok_ds_handle_t* ds, tlg_handle_t buffer);
void pelmarok_ds_set_tlg_parent_handle(pelmarok_ds_handle_t* ds, tlg_handle_t buffer);
void pelmarok_ds_set_ds_endpoint_factory(pelmarok_ds_handle_t* ds,
                                         pelmarok_ds_endpoint_factory_t factory,
                                         void* factory_ctx);
// 0, or -1 for an unknown option.
int pelmarok_ds_set_option(pelmarok_ds_handle_t* ds, uint32_t option, const char* value);

void pelmarok_ds_set_connect_callback(pelmarok_ds_handle_t* ds, pelmarok_ds_connect_cb_t cb);
void pelmarok_ds_set_disconnect_callback(pelmarok_ds_handle_t* ds,
                                         pelmarok_ds_disconnect_cb_t cb);
void pelmarok_ds_set_error_callback(pelmarok_ds_handle_t* ds, pelmarok_ds_error_cb_t cb);
void pelmarok_ds_set_notify_service_callback(pelmarok_ds_handle_t* ds,
                                             pelmarok_ds_notify_service_cb_t cb);
void pelmarok_ds_set_notify_deleted_service_callback(pelmarok_ds_handle_t* ds,
                                                     pelmarok_ds_notify_service_cb_t cb);
void pelmarok_ds_set_registered_service_callback(pelmarok_ds_handle_t* ds,
                                                 pelmarok_ds_status_cb_t cb);
void pelmarok_ds_set_unregistered_service_callback(pelmarok_ds_handle_t* ds,
                                                   pelmarok_ds_status_cb_t cb);
void pelmarok_ds_set_published_service_callback(pelmarok_ds_handle_t* ds,
                                                pelmarok_ds_status_cb_t cb);

// Starts connecting (and keeps retrying). 0 when started or already under
// way, -1 when no endpoint can be had or the transport refuses.
int pelmarok_ds_connect(pelmarok_ds_handle_t* ds, void* ctx);
bool pelmarok_ds_is_connected(const pelmarok_ds_handle_t* ds);

// Watches a service: req->service_name (required) and, when not null,
// req->instance_name (the pointers count, not the presence bits). The request is copied. The registered-service callback
// reports the daemon's answer, then notify-service delivers the current
// entries. Registering the same name, instance and ctx again replaces the
// watch. 0 when sent (or remembered for the next connection), -1 for a bad
// request or no memory.
int pelmarok_ds_register_service_notification(pelmarok_ds_handle_t* ds,
                                              const ds_service_notification_req* req, void* ctx);
// Ends a watch registered with the same name, instance and ctx; when
// connected, the unregistered-service callback reports the daemon's answer.
// 0 when ended, -1 when no such watch.
int pelmarok_ds_unregister_service_notification(pelmarok_ds_handle_t* ds,
                                                const ds_service_notification_req* req,
                                                void* ctx);

// Publishes the service info entries of `info` under info->service_name,
// replacing what this handle published earlier under that name. The record is
// read during the call and encoded by msgcodec: only fields whose presence bit
// is set travel. The daemon refuses a publication without a service name or an
// entry without an endpoint; the published-service callback then gets a
// negative status and the reason goes to the "pelmarok_ds" trace buffer. 0 when sent (the published-service callback reports
// the daemon's answer), -1 when not connected or the record cannot be encoded.
// flags: reserved (0).
int pelmarok_ds_publish_service(pelmarok_ds_handle_t* ds, const ds_service_publish_info* info,
                                uint32_t flags MSGCODEC_DEFAULT(0));

// Parses "a.b.c.d:port" into *endpoint (both presence bits set). 0 on
// success, -1 for a malformed text.
int pelmarok_ds_parse_endpoint(const char* text, msgpipe_endpoint* endpoint);
// The daemon's endpoint from ENVMON_DS_ENDPOINT or the default. 0 on
// success, -1 when the variable is malformed.
int pelmarok_ds_default_endpoint(msgpipe_endpoint* endpoint);

#ifdef __cplusplus
}
#endif

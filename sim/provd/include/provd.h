// Provider layer of the configuration database: a process registers the
// configuration namespaces it follows and is called back, on its event loop,
// with a configuration handle (cdb.h) once after activation and after every
// change of a namespace.
#pragma once

#include <stdint.h>

#include "cdb.h"
#include "evloop.h"
#include "tlg.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef struct provd_handle_s* provd_handle_t;

// Results of provd_conf_register_namespace: 0 registered, else one of these.
#define PROVD_ERR_ARG 22
#define PROVD_ERR_STATE 114   // the handle is already active or shut down
#define PROVD_ERR_NO_MEMORY 12
// Results of the other calls: 0, or the negative of one of these.

// pull(arg, cfg, cookie, ns_hash): `arg` is the context of provd_handle_create,
// `cfg` the configuration handle for the cdb_* reads (valid until the callback
// returns), `cookie` the pointer given at registration.
typedef uint64_t (*provd_conf_pull_cb_t)(void* arg, int cfg, void* cookie, uint32_t ns_hash);
// error(handle, code, arg): the connection to the configuration database failed.
typedef void (*provd_error_cb_t)(provd_handle_t h, int32_t code, void* arg);

// A handle in *h on `loop` for the component `name`; `trace` receives the
// library's lines (may be null). 0 or an error.
int provd_handle_create(provd_handle_t* h, evloop_t* loop, const char* name, tlg_handle_t trace,
                        void* arg);
int provd_handle_destroy(provd_handle_t h);
int provd_set_error_callback(provd_handle_t h, provd_error_cb_t cb);
// Follows the namespace at `path` (e.g. "/environment/config"). Only before
// provd_conf_activate.
uint64_t provd_conf_register_namespace(provd_handle_t h, void* cookie, provd_conf_pull_cb_t cb,
                                       uint32_t ns_hash, const char* path);
// Connects and starts the callbacks. 0 when under way.
int provd_conf_activate(provd_handle_t h);
// Stops the callbacks and forgets the namespaces. 0, or negative.
int provd_conf_shutdown(provd_handle_t h);

#ifdef __cplusplus
}
#endif

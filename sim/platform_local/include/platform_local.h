// Platform-local service client: who and where this card is (its node id and
// its address). One handle is one connection, on the caller's event loop;
// every callback runs on that loop.
//
// The card a process stands for is the one whose address is in the variable
// ENVMON_CARD_ADDR ("127.a.b.c"); without it, the chassis's first route
// processor.
//
// Records carry a presence bit per field (bit n of `present` is field n).
#pragma once

#include <stdbool.h>
#include <stdint.h>

#include "evloop.h"
#include "msgcodec.h"
#include "nodeid.h"

#ifdef __cplusplus
extern "C" {
#endif

#define PLATFORM_LOCAL_ERR_ARG (-22)
#define PLATFORM_LOCAL_ERR_NOT_CONNECTED (-107)
#define PLATFORM_LOCAL_ERR_NO_MEMORY (-12)
#define PLATFORM_LOCAL_ERR_STATE (-114)

typedef struct platform_local_client_hello {
  char* client_name;  // bit 0
  uint8_t present;
} platform_local_client_hello;

// Registration for the node id or the address: one optional field.
typedef struct platform_local_reg_req {
  uint32_t flags;  // bit 0
  uint8_t present;
} platform_local_reg_req;

MSGCODEC_DECLARE(platform_local_client_hello, platform_local_client_hello)
MSGCODEC_DECLARE(platform_local_reg_req, platform_local_reg_req)

typedef struct platform_local_handle_s* platform_local_handle_t;

typedef void (*platform_local_connect_cb_t)(platform_local_handle_t h, int32_t status, void* ctx);
typedef void (*platform_local_disconnect_cb_t)(platform_local_handle_t h, int32_t reason,
                                               void* ctx);
typedef void (*platform_local_error_cb_t)(platform_local_handle_t h, int32_t code);
// nodeid_registration_resp(handle, request, cookie, code): the answer to
// platform_local_register_for_my_nodeid; cookie is its third argument.
typedef void (*platform_local_nodeid_reg_resp_cb_t)(platform_local_handle_t h, void* request,
                                                    void* cookie, int32_t code);
// nodeid(handle, nodeid, cookie, status, ctx): this card's node id (owned by
// the library; copy it with nodeid_create0 to keep it). Delivered after the
// registration and again after every reconnection.
typedef void (*platform_local_nodeid_cb_t)(platform_local_handle_t h, nodeid_td nodeid,
                                           void* cookie, int32_t status, void* ctx);
// ip_address(handle, address): this card's IPv4 address, host order.
typedef void (*platform_local_ip_address_cb_t)(platform_local_handle_t h, uint32_t* address);

int platform_local_handle_create(platform_local_handle_t* h, evloop_t* loop, void* reserved);
int platform_local_handle_destroy(platform_local_handle_t h);
int platform_local_set_connect_callback(platform_local_handle_t h, platform_local_connect_cb_t cb);
int platform_local_set_disconnect_callback(platform_local_handle_t h,
                                           platform_local_disconnect_cb_t cb);
int platform_local_set_error_callback(platform_local_handle_t h, platform_local_error_cb_t cb);
int platform_local_set_nodeid_registration_resp_callback(platform_local_handle_t h,
                                                         platform_local_nodeid_reg_resp_cb_t cb);
int platform_local_set_nodeid_callback(platform_local_handle_t h, platform_local_nodeid_cb_t cb);
int platform_local_set_ip_address_callback(platform_local_handle_t h,
                                           platform_local_ip_address_cb_t cb);
// ctx: handed to the connect, disconnect and node-id callbacks. 0 when under way.
int platform_local_connect(platform_local_handle_t h, void* ctx);

int platform_local_client_hi(platform_local_handle_t h, platform_local_client_hello* hello);
int platform_local_register_for_my_nodeid(platform_local_handle_t h, platform_local_reg_req* req,
                                          void* cookie);
int platform_local_register_for_my_ip_address(platform_local_handle_t h,
                                              platform_local_reg_req* req, void* cookie);

// Whether the platform is a bare simulation without hardware behaviour. The
// chassis simulator models the hardware, so this is false.
bool platform_is_sim_platform(void);

#ifdef __cplusplus
}
#endif

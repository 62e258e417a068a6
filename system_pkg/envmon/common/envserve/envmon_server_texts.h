// Trace texts of the server library (the frame texts are in envmon_wire_texts.h).
#pragma once

namespace envmon_server_text {

// Trace buffers.
constexpr const char kInfoBuffer[] = "envmon_capi_server_info";
constexpr const char kErrorBuffer[] = "envmon_capi_server_error";
constexpr const char kConnBuffer[] = "envmon_capi_server_conn";
constexpr const char kMscBuffer[] = "envmon_capi_server_msc";
constexpr const char kComponentPath[] = "./pelmarok/system_pkg/envmon/common/envserve";

// Binding, activation and publication.
constexpr const char kBindFailed[] = "envmon_bind() failed in msgpipe_bind()\n";
constexpr const char kBound[] = "service envmon bound succesfully.\n";
constexpr const char kActivating[] = "activating service envmon\n";
constexpr const char kActivateNull[] = "envmon_activate(): invalid NULL argument\n";
constexpr const char kActivateBind[] = "envmon_activate() failed to bind \n";
constexpr const char kNoPublishInfo[] = "envmon_activate() failed to allocate publish_info\n";
constexpr const char kNoServiceInfo[] = "envmon_activate() failed to allocate service_info\n";
constexpr const char kNoEndpointBuffer[] = "unable to allocate 16 in envmon_activate()\n";
constexpr const char kEndpointBloat[] = "endpoint bloat in envmon_activate()\n";
constexpr const char kNoAttributes[] = "envmon_activate() failed to allocate attributes copy\n";
constexpr const char kNoAttributeString[] =
    "envmon_activate() failed to duplicate attribute string value\n";
constexpr const char kNoAttributeBytes[] =
    "envmon_activate() failed to duplicate attribute bytes value\n";
constexpr const char kPublishing[] = "publishing service envmon with DS\n";
constexpr const char kNoDsHandle[] = "envmon_activate() failed to create pelmarok_ds handle\n";
constexpr const char kConnectingDs[] = "connecting to DS for publishing service envmon\n";
constexpr const char kDsConnectFailed[] = "envmon_activate() failed to connect to pelmarok_ds\n";
constexpr const char kDsCalled[] = "%s called, status=%d\n";
constexpr const char kPublished[] = "published service envmon with DS.\n";
constexpr const char kPublishFailed[] = "error %lx publishing service envmon with DS.\n";
constexpr const char kDsIn[] = "in %s \n";
constexpr const char kDsConnectCb[] = "envmon_activate_pelmarok_ds_connect_cb";
constexpr const char kDsDisconnectCb[] = "envmon_activate_pelmarok_ds_disconnect_cb";
constexpr const char kDsErrorCb[] = "envmon_activate_pelmarok_ds_error_cb";
constexpr const char kDsPublishedCb[] = "envmon_activate_pelmarok_ds_published_service_cb";
constexpr const char kDeactivating[] = "deactivating service  envmon\n";

// Destruction.
constexpr const char kServerDestroyNull[] = "envmon_server_handle_destroy() invoked on NULL handle.\n";
constexpr const char kServerDestroy[] = "envmon_server_handle_destroy(%p) invoked\n";
constexpr const char kEnqueueFailed[] =
    "error in enqueing CAPI-free-hdl event with EVLOOP, freeing hdl synchronously\n";
constexpr const char kClientDestroyNull[] = "envmon_client_handle_destroy() invoked on NULL handle.\n";
constexpr const char kClientDestroy[] = "envmon_client_handle_destroy(%p) invoked\n";
constexpr const char kServerFreed[] = "delayed_ev: freeing server handle %p for service envmon\n";
constexpr const char kClientFreed[] = "delayed_ev: freeing client handle %p for service envmon\n";

// Connections.
constexpr const char kAccepted[] =
    "async transport connection to service envmon from client completed.\n";
constexpr const char kNoClientHandle[] = "unable to allocate client handle for client connection \n";
constexpr const char kSendingInit[] =
    "Sending INIT message to client (client_hdl=0x%p) for service envmon.\n";
constexpr const char kUnexpectedConnect[] =
    "server-side client handle for service envmon got connection: unexpected!\n";
constexpr const char kInitReceived[] =
    "Received INIT message for incoming connection (CAPI=%p) to service envmon. CAPI connection "
    "completed. Client is %s (PID=%lu)\n";
constexpr const char kNotConfigured[] =
    "CAPI configuration error for envmon: callback for client function %s not configured\n";

}  // namespace envmon_server_text

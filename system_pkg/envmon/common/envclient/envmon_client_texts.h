// Trace texts of the client library (the frame texts are in envmon_wire_texts.h).
#pragma once

namespace envmon_client_text {

// Trace buffers.
constexpr const char kInfoBuffer[] = "envmon_capi_info";
constexpr const char kErrorBuffer[] = "envmon_capi_error";
constexpr const char kConnBuffer[] = "envmon_capi_conn";
constexpr const char kMscBuffer[] = "envmon_capi_msc";
constexpr const char kComponentPath[] = "./pelmarok/system_pkg/envmon/common/envclient";

// Directory service.
constexpr const char kDsConnectError[] = "envmon_connect() error %d while connecting to DS\n";
constexpr const char kDsInstantiated[] = "DS handle %p instantiated for envmon client handle\n";
constexpr const char kDsConnected[] =
    "ds_connect_cb() completed connection to DS for connection to service \n";
constexpr const char kDsConnectFailed[] =
    "ds_connect_cb(): was unable to connect to DS for service envmon\n";
constexpr const char kDsRegistered[] =
    "ds_connect_cb() completed registration with DS for service envmon\n";
constexpr const char kDsRegisterFailed[] =
    "ds_connect_cb() registration with DS for service envmon failed\n";
constexpr const char kDsError[] = "ds_error_cb(): %d returned by DS for service envmon\n";

// Default endpoint filter.
constexpr const char kFilterNoRemote[] =
    "default filter callback: envmon handle (%p) Unable to extract endpoint information\n";
constexpr const char kFilterConnectedTo[] =
    "default filter callback: envmon handle (%p) already connected to (%x, %d)\n";
constexpr const char kFilterBadEntry[] =
    "default filter callback: envmon handle (%p) Unable to extract endpoint information(%d)\n";
constexpr const char kFilterEntry[] = "default filter callback: envmon handle (%p)  EP %d (%x, %d)\n";
constexpr const char kFilterMatch[] = "endpoint matches, ignoring it.\n";

// Connecting, disconnecting, destroying.
constexpr const char kConnectFailed[] =
    "error in envmon_connect_with_endpoint(): msgpipe_connect failed with error %d\n";
constexpr const char kDestroyNull[] = "envmon_handle_destroy() invoked on NULL handle.\n";
constexpr const char kDestroy[] = "envmon_handle_destroy(%p) invoked\n";
constexpr const char kDelayedFree[] = "delayed_ev: freeing handle %p for service envmon\n";

// Transport events.
constexpr const char kTransportConnected[] =
    "async transport connection to service envmon completed.\n";
constexpr const char kSendingInit[] = "Sending INIT message for to server for service envmon.\n";
constexpr const char kInitReceived[] =
    "Received INIT message for outgoing connection (CAPI=%p) to  service envmon. CAPI "
    "connection completed. Server is %s (PID=%lu)\n";
constexpr const char kNeverCompleted[] = "envmon: Received %s message on never-completed connection\n";
constexpr const char kNoPendingEntry[] = "response dispatching failed entry for ID %d\n";
constexpr const char kNotConfigured[] =
    "CAPI configuration error for envmon: callback for server function %s not configured\n";

// Message-sequence labels.
constexpr const char kMscRequesting[] =
    "requesting connection to envmon (CAPI hdl=%p, MSGPIPE hdl = %p)";
constexpr const char kMscDsConnectError[] = "error %d connecting to DS for envmon(%p) (will retry)";
constexpr const char kMscDsEndpoints[] = "DS dispatched endpoint(s) (%d) for connection to envmon(%p)";
constexpr const char kMscDsDeleted[] =
    "DS notification of service deletion for connection to envmon(%p)";
constexpr const char kMscNoEndpoints[] =
    "default DS filter: No more endpoints for service envmon (hdl=%p) info_count=%d";
constexpr const char kMscFilterChose[] =
    "default DS filter: endpoint (0x%x,%d) for service envmon (hdl=0x%p)";
constexpr const char kMscConnecting[] = "connecting to envmon with endpoint (0x%x, %d) (hdl=0x%p)";
constexpr const char kMscConnected[] = "connected to envmon (hdl=0x%p)";

}  // namespace envmon_client_text

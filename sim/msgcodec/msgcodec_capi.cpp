// Field table of the request-layer header.
#include "msgcodec_define.h"

constexpr msgcodec_field kCapiHeaderFields[] = {
    MSGCODEC_INT(capi_header, msg_id, CAPI_HEADER_BIT_MSG_ID),
    MSGCODEC_INT(capi_header, request_id, CAPI_HEADER_BIT_REQUEST_ID),
    MSGCODEC_INT(capi_header, status, CAPI_HEADER_BIT_STATUS),
    MSGCODEC_INT_CLEARED(capi_header, final, CAPI_HEADER_BIT_FINAL, 1),
    MSGCODEC_TEXT(capi_header, service_name, CAPI_HEADER_BIT_SERVICE_NAME),
    MSGCODEC_INT(capi_header, node_addr, CAPI_HEADER_BIT_NODE_ADDR),
    MSGCODEC_INT(capi_header, pid, CAPI_HEADER_BIT_PID),
    MSGCODEC_TEXT(capi_header, version, CAPI_HEADER_BIT_VERSION),
    MSGCODEC_TEXT(capi_header, program_name, CAPI_HEADER_BIT_PROGRAM_NAME),
    MSGCODEC_INT(capi_header, unique_id, CAPI_HEADER_BIT_UNIQUE_ID),
};
MSGCODEC_DEFINE(capi_header, capi_header, present, kCapiHeaderFields)

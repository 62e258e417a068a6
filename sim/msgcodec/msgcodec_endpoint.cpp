// Field table of the transport endpoint.
#include "msgcodec_define.h"
#include "msgpipe.h"

constexpr msgcodec_field kEndpointFields[] = {
    MSGCODEC_INT(msgpipe_endpoint, node_address, 0),
    MSGCODEC_INT(msgpipe_endpoint, port, 1),
};
MSGCODEC_DEFINE(msgpipe_endpoint, msgpipe_endpoint, present, kEndpointFields)

// Field tables of the platform-local service's records and its service table.
#include "msgcodec_define.h"
#include "platform_local.h"
#include "platform_local_wire.h"

namespace {

constexpr msgcodec_field kHello[] = {
    MSGCODEC_TEXT(platform_local_client_hello, client_name, 0),
};
constexpr msgcodec_field kRegReq[] = {
    MSGCODEC_INT(platform_local_reg_req, flags, 0),
};
constexpr msgcodec_field kNodeid[] = {
    MSGCODEC_INT(platform_local_nodeid_msg, nodeid, 0),
};
constexpr msgcodec_field kIp[] = {
    MSGCODEC_INT(platform_local_ip_msg, address, 0),
};

}  // namespace

MSGCODEC_DEFINE(platform_local_client_hello, platform_local_client_hello, present, kHello)
MSGCODEC_DEFINE(platform_local_reg_req, platform_local_reg_req, present, kRegReq)
MSGCODEC_DEFINE(platform_local_nodeid_msg, platform_local_nodeid_msg, present, kNodeid)
MSGCODEC_DEFINE(platform_local_ip_msg, platform_local_ip_msg, present, kIp)

namespace platform_local_wire {

namespace {
constexpr simsvc::Message kMessages[] = {
    {kHello, &msgcodec_type_platform_local_client_hello, "hello"},
    {kNodeidRegister, &msgcodec_type_platform_local_reg_req, "nodeid-register"},
    {kNodeidRegResp, &msgcodec_type_platform_local_reg_req, "nodeid-registration-response"},
    {kNodeid, &msgcodec_type_platform_local_nodeid_msg, "nodeid"},
    {kIpRegister, &msgcodec_type_platform_local_reg_req, "ip-address-register"},
    {kIpAddress, &msgcodec_type_platform_local_ip_msg, "ip-address"},
};
}  // namespace

const simsvc::Service kService = simsvc::make_service("platform_local", kMessages);

}  // namespace platform_local_wire

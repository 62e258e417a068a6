// Field tables of the process manager's records and its service table.
#include "msgcodec_define.h"
#include "pm.h"
#include "pm_wire.h"

namespace {

constexpr msgcodec_field kServiceControl[] = {
    MSGCODEC_TEXT(pm_service_control_msg, service_name, 0),
    MSGCODEC_INT(pm_service_control_msg, role, 1),
};
constexpr msgcodec_field kAcceptRole[] = {
    MSGCODEC_TEXT(pm_accept_role_msg, service_name, 0),
    MSGCODEC_INT(pm_accept_role_msg, role, 1),
    MSGCODEC_INT(pm_accept_role_msg, reason, 2),
    MSGCODEC_INT(pm_accept_role_msg, flags, 3),
};
constexpr msgcodec_field kHaReady[] = {
    MSGCODEC_TEXT(pm_ha_ready_msg, service_name, 0),
};
constexpr msgcodec_field kProcessUpdate[] = {
    MSGCODEC_INT(pm_process_update_event_msg, event_type, 0),
    MSGCODEC_INT(pm_process_update_event_msg, card_slot, 1),
};
constexpr msgcodec_field kProcessUpdateResp[] = {
    MSGCODEC_INT(pm_process_update_event_resp, event_type, 0),
    MSGCODEC_INT(pm_process_update_event_resp, status, 1),
    MSGCODEC_INT(pm_process_update_event_resp, reason, 2),
    MSGCODEC_INT(pm_process_update_event_resp, flags, 3),
};
constexpr msgcodec_field kLiveness[] = {
    MSGCODEC_INT(pm_liveness_status, status, 0),
};

}  // namespace

MSGCODEC_DEFINE(pm_service_control_msg, pm_service_control_msg, present, kServiceControl)
MSGCODEC_DEFINE(pm_accept_role_msg, pm_accept_role_msg, present, kAcceptRole)
MSGCODEC_DEFINE(pm_ha_ready_msg, pm_ha_ready_msg, present, kHaReady)
MSGCODEC_DEFINE(pm_process_update_event_msg, pm_process_update_event_msg, present, kProcessUpdate)
MSGCODEC_DEFINE(pm_process_update_event_resp, pm_process_update_event_resp, present,
                kProcessUpdateResp)
MSGCODEC_DEFINE(pm_liveness_status, pm_liveness_status, present, kLiveness)

namespace pm_wire {

namespace {
constexpr simsvc::Message kMessages[] = {
    {kServiceControl, &msgcodec_type_pm_service_control_msg, "service-control"},
    {kAcceptRole, &msgcodec_type_pm_accept_role_msg, "accept-role"},
    {kHaReady, &msgcodec_type_pm_ha_ready_msg, "ha-ready"},
    {kLivenessQuery, nullptr, "liveness-query"},
    {kLivenessStatus, &msgcodec_type_pm_liveness_status, "liveness-status"},
    {kProcessUpdate, &msgcodec_type_pm_process_update_event_msg, "process-update"},
    {kProcessUpdateResponse, &msgcodec_type_pm_process_update_event_resp,
     "process-update-response"},
};
}  // namespace

const simsvc::Service kService = simsvc::make_service("pm", kMessages);

}  // namespace pm_wire

// Field tables of the provider layer's records and its service table.
#include "msgcodec_define.h"
#include "provd_wire.h"

namespace {
constexpr msgcodec_field kEntry[] = {
    MSGCODEC_TEXT(provd_entry, path, 0),
    MSGCODEC_TEXT(provd_entry, value, 1),
};
}  // namespace
MSGCODEC_DEFINE(provd_entry, provd_entry, present, kEntry)

namespace {
constexpr msgcodec_field kNamespace[] = {
    MSGCODEC_INT(provd_namespace_msg, ns_id, 0),
    MSGCODEC_TEXT(provd_namespace_msg, path, 1),
    MSGCODEC_INT(provd_namespace_msg, ns_hash, 2),
    MSGCODEC_TEXT(provd_namespace_msg, component, 3),
};
constexpr msgcodec_field kConfig[] = {
    MSGCODEC_INT(provd_config_msg, ns_id, 0),
    MSGCODEC_RECORD_LIST(provd_config_msg, entries, entry_count, 1),
};
}  // namespace
MSGCODEC_DEFINE(provd_namespace_msg, provd_namespace_msg, present, kNamespace)
MSGCODEC_DEFINE(provd_config_msg, provd_config_msg, present, kConfig)

namespace provd_wire {

namespace {
constexpr simsvc::Message kMessages[] = {
    {kRegisterNamespace, &msgcodec_type_provd_namespace_msg, "register-namespace"},
    {kConfig, &msgcodec_type_provd_config_msg, "config"},
    {kShutdown, nullptr, "shutdown"},
    {kCallbackDone, &msgcodec_type_provd_namespace_msg, "callback-done"},
};
}  // namespace

const simsvc::Service kService = simsvc::make_service("cdb", kMessages);

}  // namespace provd_wire

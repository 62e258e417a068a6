// Field tables of the directory-service records.
#include "msgcodec_define.h"

constexpr msgcodec_field kDsAttributeFields[] = {
    MSGCODEC_INT(ds_attribute, id, DS_ATTRIBUTE_BIT_ID),
    MSGCODEC_INT(ds_attribute, int_value, DS_ATTRIBUTE_BIT_INT_VALUE),
    MSGCODEC_TEXT(ds_attribute, string_value, DS_ATTRIBUTE_BIT_STRING_VALUE),
    MSGCODEC_BYTES(ds_attribute, bytes_value, bytes_value_len, DS_ATTRIBUTE_BIT_BYTES_VALUE),
};
MSGCODEC_DEFINE(ds_attribute, ds_attribute, present, kDsAttributeFields)

constexpr msgcodec_field kDsServiceInfoFields[] = {
    MSGCODEC_TEXT(ds_service_info, service_name, DS_SERVICE_INFO_BIT_SERVICE_NAME),
    MSGCODEC_BYTES(ds_service_info, endpoint, endpoint_len, DS_SERVICE_INFO_BIT_ENDPOINT),
    MSGCODEC_INT(ds_service_info, scope, DS_SERVICE_INFO_BIT_SCOPE),
    MSGCODEC_RECORD_LIST(ds_service_info, attributes, attribute_count, DS_SERVICE_INFO_BIT_ATTRIBUTES),
    MSGCODEC_TEXT(ds_service_info, instance_name, DS_SERVICE_INFO_BIT_INSTANCE_NAME),
};
MSGCODEC_DEFINE(ds_service_info, ds_service_info, present, kDsServiceInfoFields)

constexpr msgcodec_field kDsPublishInfoFields[] = {
    MSGCODEC_TEXT(ds_service_publish_info, service_name, DS_PUBLISH_INFO_BIT_SERVICE_NAME),
    MSGCODEC_TEXT(ds_service_publish_info, publisher, DS_PUBLISH_INFO_BIT_PUBLISHER),
    MSGCODEC_RECORD_LIST(ds_service_publish_info, service_info, service_info_count,
                         DS_PUBLISH_INFO_BIT_SERVICE_INFO),
};
MSGCODEC_DEFINE(ds_service_publish_info, ds_service_publish_info, present, kDsPublishInfoFields)

constexpr msgcodec_field kDsNotificationReqFields[] = {
    MSGCODEC_TEXT(ds_service_notification_req, service_name, DS_NOTIFICATION_REQ_BIT_SERVICE_NAME),
    MSGCODEC_TEXT(ds_service_notification_req, instance_name, DS_NOTIFICATION_REQ_BIT_INSTANCE_NAME),
};
MSGCODEC_DEFINE(ds_service_notification_req, ds_service_notification_req, present,
                kDsNotificationReqFields)

// Field tables of the entity-id records.
#include "msgcodec_define.h"

constexpr msgcodec_field kPelmTsiFields[] = {
    MSGCODEC_INT(pelm_tsi, type, MSGCODEC_ALWAYS),
    MSGCODEC_INT(pelm_tsi, subtype, MSGCODEC_ALWAYS),
    MSGCODEC_INT(pelm_tsi, instance, MSGCODEC_ALWAYS),
};
MSGCODEC_DEFINE_NO_PRESENCE(pelm_tsi, pelm_tsi, kPelmTsiFields)

// `ext` (bit 0x10) belongs to the inventory library and does not travel.
constexpr msgcodec_field kPelmEidFields[] = {
    MSGCODEC_INT(pelm_eid, id, 0),
    MSGCODEC_INT(pelm_eid, rack, 1),
    MSGCODEC_INT(pelm_eid, slot, 2),
    MSGCODEC_INT(pelm_eid, subid, 3),
    MSGCODEC_RECORD_LIST(pelm_eid, tsi, tsi_count, 5),
};
MSGCODEC_DEFINE(pelm_eid, pelm_eid, present, kPelmEidFields)

// What the inventory-registration and inventory-service modules of envcore
// share: the client handles, the acknowledgement classes, the statistics
// counters and the callbacks they install on the client libraries.
#pragma once

#include <stdint.h>

#include "envcore_private.h"
#include "envmon.h"
#include "envmon_ceb_fsa.h"
#include "envmon_eid_text.h"
#include "envmon_retry_word.h"
#include "inv.h"
#include "invreg.h"

extern "C" {

// The two registration clients and the inventory-service client; null while
// they do not exist.
extern invreg_handle_t* envmon_inv_invreg_nm_hdl;
extern invreg_handle_t* envmon_inv_invreg_rm_hdl;
extern inv_handle_t* envmon_inv_hdl;
// 1 until the first FRU power information has been processed.
extern uint8_t envmon_inv_first_fru_power_info;

// ---- Registration clients (connection, filter, flow resume). ----
void envmon_inv_invreg_nm_connect_cb(invreg_handle_t* handle, uint32_t error, void* ctx);
void envmon_inv_invreg_rm_connect_cb(invreg_handle_t* handle, uint32_t error, void* ctx);
void envmon_inv_invreg_nm_disconnect_cb(invreg_handle_t* handle, uint32_t reason, void* ctx);
void envmon_inv_invreg_rm_disconnect_cb(invreg_handle_t* handle, uint32_t reason, void* ctx);
void envmon_inv_invreg_nm_error_cb(invreg_handle_t* handle, int32_t code);
void envmon_inv_invreg_rm_error_cb(invreg_handle_t* handle, int32_t code);
void envmon_inv_invreg_nm_filter_cb(invreg_handle_t* handle, const ds_service_info* infos,
                                    uint32_t count);
void envmon_inv_invreg_rm_filter_cb(invreg_handle_t* handle, const ds_service_info* infos,
                                    uint32_t count);
void envmon_inv_invreg_nm_flow_resume_cb(invreg_handle_t* handle);
void envmon_inv_invreg_rm_flow_resume_cb(invreg_handle_t* handle);
void envmon_inv_invreg_rm_get_fpga_data_cb(invreg_handle_t* handle, const pelm_eid* eid,
                                           uint64_t req_ctx);
void envmon_inv_invreg_rm_set_fpga_data(invreg_fpga_data* data, const fpd_data* fpd);

// ---- Acknowledgements. ----
void envmon_inv_invreg_resp_register_eid_cb(invreg_handle_t* handle, const invreg_multi_ack* ack,
                                            uint8_t flag, int32_t error, uint64_t user_ctx);
void envmon_inv_invreg_resp_report_eeprom_data_cb(invreg_handle_t* handle, const invreg_ack* ack,
                                                  uint8_t flag, int32_t error, uint64_t user_ctx);
void envmon_inv_invreg_notify_data_update_status_cb(invreg_handle_t* handle,
                                                    const invreg_ack* ack);
void envmon_inv_invreg_rm_resp_report_led_status_data_cb(invreg_handle_t* handle,
                                                         const invreg_ack* ack, uint8_t flag,
                                                         int32_t error, uint64_t user_ctx);
void envmon_inv_invreg_rm_resp_update_fru_power_info_cb(invreg_handle_t* handle,
                                                        const invreg_ack* ack, uint8_t flag,
                                                        int32_t error, uint64_t user_ctx);
void envmon_inv_invreg_resp_update_entity_state_cb(invreg_handle_t* handle,
                                                   const invreg_entity_state_ack* ack,
                                                   uint8_t flag, int32_t error, uint64_t user_ctx);
void envmon_inv_invreg_resp_report_pem_status_data_cb(invreg_handle_t* handle,
                                                      const invreg_ack* ack, uint8_t flag,
                                                      int32_t error, uint64_t user_ctx);
void envmon_inv_invreg_rm_resp_report_fpga_data_cb(invreg_handle_t* handle, const invreg_ack* ack,
                                                   uint8_t flag, int32_t error, uint64_t user_ctx);
void envmon_inv_invreg_rm_resp_update_eid_name_cb(invreg_handle_t* handle, const invreg_ack* ack,
                                                  uint8_t flag, int32_t error, uint64_t user_ctx);
void envmon_inv_invreg_rm_resp_update_eid_descr_cb(invreg_handle_t* handle, const invreg_ack* ack,
                                                   uint8_t flag, int32_t error, uint64_t user_ctx);
void envmon_inv_invreg_rm_resp_update_system_power_info_cb(invreg_handle_t* handle,
                                                           const invreg_ack* ack, uint8_t flag,
                                                           int32_t error, uint64_t user_ctx);
void envmon_inv_invreg_rm_resp_update_fru_prefix_cb(invreg_handle_t* handle,
                                                    const invreg_ack* ack, uint8_t flag,
                                                    int32_t error, uint64_t user_ctx);
void envmon_inv_invreg_resp_report_event_data_cb(invreg_handle_t* handle, const invreg_ack* ack,
                                                 uint8_t flag, int32_t error, uint64_t user_ctx);
void envmon_inv_invreg_rm_set_hw_state_cb(invreg_handle_t* handle,
                                          const invreg_set_hw_state_req* req, uint64_t req_arg);

// ---- FRU and container acknowledgements. ----
void envmon_inv_invreg_rm_resp_register_fru_type_cb(invreg_handle_t* handle,
                                                    const invreg_ack* ack, uint8_t flag,
                                                    int32_t error, uint64_t user_ctx);
void envmon_inv_invreg_rm_resp_unregister_fru_type_cb(invreg_handle_t* handle,
                                                      const invreg_ack* ack, uint8_t flag,
                                                      int32_t error, uint64_t user_ctx);
void envmon_inv_invreg_rm_resp_register_container_eid_cb(invreg_handle_t* handle,
                                                         const invreg_ack* ack, uint8_t flag,
                                                         int32_t error, uint64_t user_ctx);
void envmon_inv_upd_cntr_eid_nodeid_cb(invreg_handle_t* handle, const invreg_ack* ack,
                                       uint8_t flag, int32_t error, uint64_t user_ctx);

// ---- Inventory-service client. ----
void envmon_inv_connect_cb(inv_handle_t* handle, uint32_t error, void* ctx);
void envmon_inv_disconnect_cb(inv_handle_t* handle, uint32_t reason, void* ctx);
void envmon_inv_error_cb(inv_handle_t* handle, int32_t code);
void envmon_inv_resp_register_event_cb(inv_handle_t* handle, const inv_event_ack* ack,
                                       uint8_t flag, int32_t error, uint64_t user_ctx);
void envmon_inv_notify_event_cb(inv_handle_t* handle, const inv_notify_event_data* data);
void envmon_inv_resp_retrieve_eid_group_cb(inv_handle_t* handle, const inv_data_group* group,
                                           uint8_t flag, int32_t error, uint64_t user_ctx);
void envmon_inv_resp_retrieve_sensor_attribute_cb(inv_handle_t* handle,
                                                  const inv_sensor_attribute* attr, uint8_t flag,
                                                  int32_t error, uint64_t user_ctx);
void envmon_inv_resp_fru_power_info_cb(inv_handle_t* handle, const inv_fru_power_list* list,
                                       uint8_t flag, int32_t error, uint64_t user_ctx);
void envmon_inv_resp_fru_event_cb(inv_handle_t* handle, const inv_event_ack* ack, uint8_t flag,
                                  int32_t error, uint64_t user_ctx);
void envmon_inv_noti_fru_oir_event_cb(inv_handle_t* handle, const inv_fru_oir_event* event);
void envmon_inv_noti_mpa_oir_event_cb(inv_handle_t* handle, const inv_fru_oir_event* event);
void envmon_mpa_inv_notify_event_cb(inv_handle_t* handle, const inv_notify_event_data* data);
void envmon_inv_filter_ds_endpoints(inv_handle_t* handle, const ds_service_info* infos,
                                    uint32_t count);

// ---- Backplane current. ----
void envmon_bb_update_fru_current(const inv_notify_event_data* data);

}  // extern "C"

namespace envmon::invreg {

// Acknowledgement classes of the registration service.
enum class ack_class : uint8_t { accepted, retry, error };
constexpr ack_class classify(uint32_t code) {
  switch (code) {
    case 1: case 3: case 4: case 12: case 17:
      return ack_class::accepted;
    case 5: case 7: case 8: case 9: case 10: case 13: case 14: case 16:
      return ack_class::retry;
    default:
      return ack_class::error;
  }
}

// The four stamps on a registration word.
constexpr uint32_t stamp_reg(uint32_t w) { return retry::arm(w, retry::kReg); }
constexpr uint32_t stamp_eeprom(uint32_t w) { return retry::arm(w, retry::kEeprom); }
constexpr uint32_t stamp_poll(uint32_t w) { return retry::arm(w, retry::kPoll); }
constexpr uint32_t stamp_unreg(uint32_t w) { return retry::arm(w, retry::kUnreg); }

// Counters of the rack group, in their order.
enum rm_oper : uint32_t {
  kRmConnect, kRmDisconn, kRmError, kRmFilter, kRmRegFanFru, kRmRegFanFruack, kRmRegSensorEid,
  kRmRegSensorEidack, kRmHwStreq, kRmHwStrsp, kRmProm, kRmPromAck, kRmRegCnt, kRmRegCntack,
  kRmCntNid, kRmCntNidAck, kRmUnregFanFru, kRmUnregFanFruack, kRmTempSenUpd, kRmVoltSenUpd,
  kRmCurrSenUpd, kRmRegPwrtFru, kRmRegPwrtFruack, kRmUnregPwrtFru, kRmUnregPwrtFruack,
  kRmRegPemFru, kRmRegPemFruack, kRmUnregPemFru, kRmUnregPemFruack,
};
enum rm_err : uint32_t {
  kRmErrConnect, kRmErrDisconn, kRmErrError, kRmErrFilter, kRmErrRegFru, kRmErrRegFruNack,
  kRmErrRegEid, kRmErrRegEidNack, kRmErrHwSt, kRmErrHwStNack, kRmErrProm, kRmErrPromNack,
  kRmErrRegCnt, kRmErrRegCntNack, kRmErrCntNid, kRmErrCntNidNack, kRmErrUnknChas,
  kRmErrChasXml, kRmErrUnknSlot, kRmErrUnknNid, kRmErrAlloc, kRmErrModXml, kRmErrUnregFru,
  kRmErrUnregFrNack, kRmErrCrtHndl,
};
enum nm_oper : uint32_t {
  kNmConnect, kNmDisconn, kNmError, kNmFilter, kNmRegEid, kNmRegEidAck, kNmTempSenUpd,
  kNmVoltSenUpd, kNmCurrSenUpd,
};
enum nm_err : uint32_t {
  kNmErrConnect, kNmErrDisconn, kNmErrError, kNmErrFilter, kNmErrRegEid, kNmErrRegEidNack,
  kNmErrHwSt, kNmErrHwStNack, kNmErrAlloc, kNmErrModXml, kNmErrCrtHndl,
};

inline void rm_count(uint32_t i, uint32_t n = 1) { envmon_stats_bump(envmon_invregrm_oper_stats_hdl, i, n); }
inline void nm_count(uint32_t i, uint32_t n = 1) { envmon_stats_bump(envmon_invregnm_oper_stats_hdl, i, n); }
inline void rm_err_count(uint32_t i) { envmon_stats_bump(envmon_invregrm_err_stats_hdl, i); }
inline void nm_err_count(uint32_t i) { envmon_stats_bump(envmon_invregnm_err_stats_hdl, i); }
// The value-push counters (TempSenUpd, VoltSenUpd, CurrSenUpd) of a scope's group.
inline void value_count(uint32_t scope, uint32_t rm_index, uint32_t nm_index) {
  if (scope == ENVMON_SCOPE_NODE)
    nm_count(nm_index);
  else
    rm_count(rm_index);
}

// "NM" for the node scope, "RM" otherwise.
constexpr const char* scope_tag(uint32_t scope) { return scope == ENVMON_SCOPE_NODE ? "NM" : "RM"; }

// Sets bit `bit` of a record's presence bytes.
inline void set_bit(uint8_t* present, unsigned bit) { msgcodec_set_bit(present, bit); }

// An entity id for a request: a copy that owns its levels and frees them.
struct eid_copy {
  pelm_eid eid{};
  eid_copy() = default;
  explicit eid_copy(const pelm_eid& from) { inv_util_copy_pelm_eid_to_pelm_eid(&from, &eid); }
  ~eid_copy() { envmon_free_tsi(&eid); }
  eid_copy(const eid_copy&) = delete;
  eid_copy& operator=(const eid_copy&) = delete;
};

// The client of a rack-scope request, or null while it is not connected.
invreg_handle_t* rm_client();

}  // namespace envmon::invreg

namespace retry = envmon::retry;

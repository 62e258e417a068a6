// TEMPORARY: core functions not on main yet.
#include <cstdarg>
#include <cstdio>
#include <cstdlib>

#include "envmon.h"

extern "C" {
FILE* env_dump_fd;
tlg_handle_t main_tlg_cmn_hdl, err_tlg_cmn_hdl, info_tlg_cmn_hdl, dbg_tlg_cmn_hdl, pwrm_tlg_cmn_hdl,
    fanm_tlg_cmn_hdl, fault_tlg_cmn_hdl, smil_tlg_cmn_hdl, obfl_tlg_cmn_hdl, pmlib_tlg_cmn_hdl;
envmon_rm_t* envmon_rm;
envmon_nm_t* envmon_nm;
uint32_t client_count;
void envmon_debug_log(const char*, ...) {}
void envmon_dump_pelm_eid_to_string(const pelm_eid* eid, char* buf) {
  snprintf(buf, 256, "%u/%u TSI:", eid->rack, eid->slot);
}
void envmon_dump_inv_eid_to_string(const inv_eid* eid, char* buf) {
  snprintf(buf, 256, "%u/%u TSI:", eid->rack, eid->slot);
}
bool envmon_is_rp_card_type(uint32_t t) { return t == 0x1f0802; }
bool envmon_is_whitebox_cluster(void) { return false; }
void envmon_free_tsi(pelm_eid* eid) {
  free(eid->tsi);
  eid->tsi = nullptr;
  eid->tsi_count = 0;
}
bool envmon_is_mpa_slot(uint32_t, uint32_t*) { return false; }
envmon_err_t envmon_util_xml_parse_n_store_info(uint32_t, inv_xml_handle_t, uint32_t, uint32_t,
                                                uint16_t*, envmon_sensor_info**) {
  return 0;
}
__attribute__((weak)) envmon_err_t envmon_active_init(void) { return 0; }
}
extern "C" __attribute__((weak)) envmon_err_t envmon_server_uninit(uint32_t) { return 0; }

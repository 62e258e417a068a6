// Data symbols the core defines for the process; all zero at load.
#include <stdio.h>

#include "envmon_core.h"

extern "C" {

FILE* env_dump_fd;

tlg_handle_t main_tlg_cmn_hdl;
tlg_handle_t err_tlg_cmn_hdl;
tlg_handle_t info_tlg_cmn_hdl;
tlg_handle_t dbg_tlg_cmn_hdl;
tlg_handle_t pwrm_tlg_cmn_hdl;
tlg_handle_t fanm_tlg_cmn_hdl;
tlg_handle_t fault_tlg_cmn_hdl;
tlg_handle_t smil_tlg_cmn_hdl;
tlg_handle_t obfl_tlg_cmn_hdl;
tlg_handle_t pmlib_tlg_cmn_hdl;

tlg_handle_t main_tlg_hdl;
tlg_handle_t err_tlg_hdl;
tlg_handle_t info_tlg_hdl;
tlg_handle_t dbg_tlg_hdl;
tlg_handle_t pwrm_tlg_hdl;
tlg_handle_t fanm_tlg_hdl;
tlg_handle_t fault_tlg_hdl;
tlg_handle_t smil_tlg_hdl;
tlg_handle_t obfl_tlg_hdl;
tlg_handle_t pmlib_tlg_hdl;

envmon_rm_t* envmon_rm;
envmon_nm_t* envmon_nm;
uint32_t client_count;

// Year, month and day 0, time-zone part 145.
const envmon_date ENVMON_AIR_FILTER_RESET_TIME_DEFAULT = {0, 0, 0, 145};

}  // extern "C"

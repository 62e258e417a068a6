// Registration retry handlers: each sweeps one class of progress words,
// settles what was answered, re-sends what is still pending while its retries
// last, gives up what is spent, and returns how many requests it still waits
// for. The card-event state machine sums them in its registering state.
#pragma once

#ifdef __cplusplus
extern "C" {
#endif

int envmon_err_hdl_nm_bd_sensor(void);
int envmon_err_hdl_nm_MPA_sensor(void);
int envmon_err_hdl_nm_obfl(void);
int envmon_err_hdl_rm_bd_sensor(void);
int envmon_err_hdl_rm_fab_sensor(void);
int envmon_err_hdl_rm_fab_drvif(void);
int envmon_err_hdl_rm_fab_obfl(void);
int envmon_err_hdl_rm_swc_sensor(void);
int envmon_err_hdl_rm_swc_drvif(void);
int envmon_err_hdl_rm_swc_obfl(void);
int envmon_err_hdl_rm_lc_sensor(void);
int envmon_err_hdl_rm_lc_drvif(void);
int envmon_err_hdl_rm_lc_obfl(void);
int envmon_err_hdl_rm_ft_cont(void);
int envmon_err_hdl_rm_pwr_info(void);
int envmon_err_hdl_rm_pt_cont(void);
int envmon_err_hdl_rm_ft_fru(void);
int envmon_err_hdl_rm_ft_sensor(void);
int envmon_err_hdl_rm_pt_fru(void);
int envmon_err_hdl_rm_ft_obfl(void);
int envmon_err_hdl_rm_ft_drvif(void);

#ifdef __cplusplus
}
#endif

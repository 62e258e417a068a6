// Statistics counters of the server: the counter tables, their registration
// under "envmon", and the increment under the host's atomic_mutex.
#include <pthread.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

extern "C" {
#include <safe_str_lib.h>
}

#include "envcore_private.h"
#include "envmon_hal.h"
#include "envmon_stats.h"

namespace {

constexpr char kApp[] = "envmon";
constexpr char kPwrmOperFailed[] = "%s(): Error init stats (pwrm oper counter)";
constexpr char kPwrmOperFailedTrace[] = "%s(): Error init stats (pwrm oper counter)\n";
constexpr char kRegisterFailed[] = " registered: %s , rc:%ld\n";
constexpr size_t kNameLen = 16;

constexpr const char* kPwrmOperFixed[ENVMON_PWRM_OPER_FIXED] = {
    "PwrAlmRaise", "PwrAlmClear", "PMalmRaise", "PMalmClear", "PTinsertion", "PTremoval",
    "PMinsertion", "PMremoval",   "TotalCapacity", "NoPbudget", "TotalPreq"};

[[noreturn]] void pwrm_oper_failed() {
  static constexpr char kFunc[] = "envmon_stats_init_pwrm_oper_counters";
  envmon_debug_log(kPwrmOperFailed, kFunc);
  tlg_internal(err_tlg_cmn_hdl, kPwrmOperFailedTrace, kFunc);
  exit(1);
}

void free_pwrm_oper_defs() {
  if (!envmon_pwrm_oper_counter_def) return;
  for (uint32_t i = 0; i < ENVMON_PWRM_OPER_STAT_MAX; ++i)
    free(const_cast<char*>(envmon_pwrm_oper_counter_def[i].name));
  free(envmon_pwrm_oper_counter_def);
  envmon_pwrm_oper_counter_def = nullptr;
  ENVMON_PWRM_OPER_STAT_MAX = 0;
}

void envmon_stats_init_pwrm_oper_counters() {
  // Built once per start; a second start-up replaces the earlier table.
  free_pwrm_oper_defs();
  const uint32_t n = envmon_hal_get_max_lc() + envmon_hal_get_max_fc();
  const uint32_t total = ENVMON_PWRM_OPER_FIXED + n;
  auto* defs = static_cast<envmon_counter_def*>(envmon_calloc(total, sizeof(envmon_counter_def)));
  if (!defs) pwrm_oper_failed();
  for (uint32_t i = 0; i < total; ++i) {
    char* name = static_cast<char*>(envmon_calloc(1, kNameLen));
    if (!name) {
      for (uint32_t j = 0; j < i; ++j) free(const_cast<char*>(defs[j].name));
      free(defs);
      pwrm_oper_failed();
    }
    if (i < ENVMON_PWRM_OPER_FIXED)
      strcpy_s(name, kNameLen, kPwrmOperFixed[i]);
    else
      snprintf(name, kNameLen, "Card%dPbudget", static_cast<int>(i - ENVMON_PWRM_OPER_FIXED));
    defs[i].name = name;
    defs[i].value = 0;
  }
  envmon_pwrm_oper_counter_def = defs;
  ENVMON_PWRM_OPER_STAT_MAX = total;
}

}  // namespace

extern "C" {

envmon_counter_def envmon_plat_driver_oper_counter_def[7] = {
    {"Connect", 0}, {"Disconnect", 0}, {"Error", 0}, {"CardInfo", 0},
    {"ChassInfo", 0}, {"CardReq", 0}, {"ChassReq", 0}};
envmon_counter_def envmon_plat_driver_err_counter_def[8] = {
    {"ErrConn", 0},        {"ErrDisconn", 0}, {"ErrError", 0},   {"ErrCardInfo", 0},
    {"ErrChassInfoEr", 0}, {"ErrCardPIt", 0}, {"ErrChasPid", 0}, {"ErrCrtHndl", 0}};
envmon_counter_def envmon_invregrm_oper_counter_def[29] = {
    {"Connect", 0},         {"Disconn", 0},         {"Error", 0},          {"Filter", 0},
    {"RegFanFru", 0},       {"RegFanFruack", 0},    {"RegSensorEid", 0},   {"RegSensorEidack", 0},
    {"HwStreq", 0},         {"HwStrsp", 0},         {"Prom", 0},           {"PromAck", 0},
    {"RegCnt", 0},          {"RegCntack", 0},       {"CntNid", 0},         {"CntNidAck", 0},
    {"UnregFanFru", 0},     {"UnregFanFruack", 0},  {"TempSenUpd", 0},     {"VoltSenUpd", 0},
    {"CurrSenUpd", 0},      {"RegPwrtFru", 0},      {"RegPwrtFruack", 0},  {"UnregPwrtFru", 0},
    {"UnregPwrtFruack", 0}, {"RegPemFru", 0},       {"RegPemFruack", 0},   {"UnregPemFru", 0},
    {"UnregPemFruack", 0}};
envmon_counter_def envmon_invregrm_err_counter_def[25] = {
    {"ErrConnect", 0},  {"ErrDisconn", 0},     {"ErrError", 0},    {"ErrFilter", 0},
    {"ErrRegFru", 0},   {"ErrRegFruNack", 0},  {"ErrRegEid", 0},   {"ErrRegEidNack", 0},
    {"ErrHwSt", 0},     {"ErrHwStNack", 0},    {"ErrProm", 0},     {"ErrPromNack", 0},
    {"ErrRegCnt", 0},   {"ErrRegCntNack", 0},  {"ErrCntNid", 0},   {"ErrCntNidNack", 0},
    {"ErrUnknChas", 0}, {"ErrChasXml", 0},     {"ErrUnknSlot", 0}, {"ErrUnknNid", 0},
    {"ErrAlloc", 0},    {"ErrModXml", 0},      {"ErrUnregFru", 0}, {"ErrUnregFrNack", 0},
    {"ErrCrtHndl", 0}};
envmon_counter_def envmon_invregnm_oper_counter_def[9] = {
    {"Connect", 0}, {"Disconn", 0},   {"Error", 0},      {"Filter", 0},    {"RegEid", 0},
    {"RegEidAck", 0}, {"TempSenUpd", 0}, {"VoltSenUpd", 0}, {"CurrSenUpd", 0}};
envmon_counter_def envmon_invregnm_err_counter_def[11] = {
    {"ErrConnect", 0}, {"ErrDisconn", 0}, {"ErrError", 0},   {"ErrFilter", 0},
    {"ErrRegEid", 0},  {"ErrRegEidNack", 0}, {"ErrHwSt", 0}, {"ErrHwStNack", 0},
    {"ErrAlloc", 0},   {"ErrModXml", 0},  {"ErrCrtHndl", 0}};
envmon_counter_def envmon_drvif_oper_counter_def[8] = {
    {"Connect", 0}, {"Disconn", 0},      {"Error", 0},     {"Filter", 0},
    {"PollReq", 0}, {"SetSensorReq", 0}, {"FPDUpdReq", 0}, {"SensorDataResp", 0}};
envmon_counter_def envmon_drvif_err_counter_def[5] = {
    {"ErrConnect", 0}, {"ErrDisconn", 0}, {"ErrError", 0}, {"ErrFilter", 0}, {"ErrCrtHndl", 0}};
envmon_counter_def envmon_pwrm_err_counter_def[2] = {{"AlmRepFail", 0}, {"CMnotifErr", 0}};
envmon_counter_def envmon_fan_algo_oper_counter_def[9] = {
    {"TempUpdate", 0}, {"NormalPending", 0}, {"MinorTemp", 0}, {"MajorTemp", 0},
    {"CriticalTemp", 0}, {"FanRemoval", 0}, {"FanInsert", 0}, {"CardShutReq", 0},
    {"ChassisShutReq", 0}};

envmon_counter_def* envmon_pwrm_oper_counter_def;
uint32_t ENVMON_PWRM_OPER_STAT_MAX;

uint32_t* envmon_plat_driver_oper_stats_hdl;
uint32_t* envmon_plat_driver_err_stats_hdl;
uint32_t* envmon_invregrm_oper_stats_hdl;
uint32_t* envmon_invregrm_err_stats_hdl;
uint32_t* envmon_invregnm_oper_stats_hdl;
uint32_t* envmon_invregnm_err_stats_hdl;
uint32_t* envmon_drvif_oper_stats_hdl;
uint32_t* envmon_drvif_err_stats_hdl;
uint32_t* envmon_pwrm_oper_stats_hdl;
uint32_t* envmon_pwrm_err_stats_hdl;
uint32_t* envmon_fan_algo_oper_stats_hdl;

envmon_counter_block envmon_counter_info[ENVMON_COUNTER_BLOCKS] = {
    {"ENVMON_PLAT_DRV", "PLAT_DRV_Oper_Cntr", ENVMON_STATS_OPER,
     envmon_plat_driver_oper_counter_def, 7, &envmon_plat_driver_oper_stats_hdl},
    {"ENVMON_PLAT_DRV", "PLAT_DRV_Err_Cntr", ENVMON_STATS_ERR,
     envmon_plat_driver_err_counter_def, 8, &envmon_plat_driver_err_stats_hdl},
    {"ENVMON_INVREGRM", "INVREGRM_Oper_Counters", ENVMON_STATS_OPER,
     envmon_invregrm_oper_counter_def, 29, &envmon_invregrm_oper_stats_hdl},
    {"ENVMON_INVREGRM", "INVREGRM_Err_Counters", ENVMON_STATS_ERR,
     envmon_invregrm_err_counter_def, 25, &envmon_invregrm_err_stats_hdl},
    {"ENVMON_INVREGNM", "INVREGNM_Oper_Counters", ENVMON_STATS_OPER,
     envmon_invregnm_oper_counter_def, 9, &envmon_invregnm_oper_stats_hdl},
    {"ENVMON_INVREGNM", "INVREGNM_Err_Counters", ENVMON_STATS_ERR,
     envmon_invregnm_err_counter_def, 11, &envmon_invregnm_err_stats_hdl},
    {"ENVMON_DRVIF", "DRVIF_Oper_Counters", ENVMON_STATS_OPER, envmon_drvif_oper_counter_def, 8,
     &envmon_drvif_oper_stats_hdl},
    {"ENVMON_DRVIF", "DRVIF_Err_Counters", ENVMON_STATS_ERR, envmon_drvif_err_counter_def, 5,
     &envmon_drvif_err_stats_hdl},
    // Built at start-up: the definitions and count come from the pwrm table.
    {"ENVMON_PWRM", "PWRM_Oper_Counters", ENVMON_STATS_OPER, nullptr, 0,
     &envmon_pwrm_oper_stats_hdl},
    {"ENVMON_PWRM", "PWRM_Err_Counters", ENVMON_STATS_ERR, envmon_pwrm_err_counter_def, 2,
     &envmon_pwrm_err_stats_hdl},
    {"ENVMON_FAN_ALGO", "FAN_ALGO_Oper_Counters", ENVMON_STATS_OPER,
     envmon_fan_algo_oper_counter_def, 9, &envmon_fan_algo_oper_stats_hdl},
};

envmon_err_t envmon_stats_init(void) {
  envmon_stats_init_pwrm_oper_counters();
  for (uint32_t row = 0; row < ENVMON_COUNTER_BLOCKS; ++row) {
    envmon_counter_block& b = envmon_counter_info[row];
    envmon_counter_def* defs = b.defs;
    uint32_t count = b.count;
    if (row == 8) {
      defs = envmon_pwrm_oper_counter_def;
      count = ENVMON_PWRM_OPER_STAT_MAX;
    }
    char* group = strdup(b.group);
    char* table = strdup(b.table);
    long rc = static_cast<long>(ENVMON_ERR_NO_MEMORY);
    if (group && table)
      rc = ship_register(group, table, kApp, b.kind, 0, defs, count, b.handle);
    free(group);
    free(table);
    if (rc != 0) tlg_internal(err_tlg_cmn_hdl, kRegisterFailed, b.table, rc);
  }
  return envmon_hal_ship_stats_init();
}

uint32_t envmon_stats_add(uint32_t* counter, uint32_t n) {
  if (!counter) return 0;
  pthread_mutex_lock(&atomic_mutex);
  const uint32_t old = *counter;
  *counter = old + n;
  pthread_mutex_unlock(&atomic_mutex);
  return old;
}

}  // extern "C"

// Statistics counters of the server, registered with the statistics service
// under the name "envmon". A block handle addresses its counters; counter i is
// the u32 at position 5 * i (value first). A handle stays null while its block
// is not registered, and the counters of such a block are not counted.
#pragma once

#include <stdint.h>

#include "envmon_errors.h"
#include "ship.h"

extern "C" {

// One entry of a definition table: the counter's name and a u32 value.
typedef ship_counter_def envmon_counter_def;

// Counter kinds.
enum : uint32_t {
  ENVMON_STATS_OPER = 1,
  ENVMON_STATS_ERR = 11,
};

// One row of the block registration table.
typedef struct envmon_counter_block {
  char group[16];
  char table[32];
  uint32_t kind;
  envmon_counter_def* defs;
  uint32_t count;
  uint32_t** handle;
} envmon_counter_block;

inline constexpr uint32_t ENVMON_COUNTER_BLOCKS = 11;
inline constexpr uint32_t ENVMON_COUNTER_STRIDE = 5;  // u32 words per counter
inline constexpr uint32_t ENVMON_PWRM_OPER_FIXED = 11;

extern envmon_counter_block envmon_counter_info[ENVMON_COUNTER_BLOCKS];

extern envmon_counter_def envmon_plat_driver_oper_counter_def[7];
extern envmon_counter_def envmon_plat_driver_err_counter_def[8];
extern envmon_counter_def envmon_invregrm_oper_counter_def[29];
extern envmon_counter_def envmon_invregrm_err_counter_def[25];
extern envmon_counter_def envmon_invregnm_oper_counter_def[9];
extern envmon_counter_def envmon_invregnm_err_counter_def[11];
extern envmon_counter_def envmon_drvif_oper_counter_def[8];
extern envmon_counter_def envmon_drvif_err_counter_def[5];
extern envmon_counter_def envmon_pwrm_err_counter_def[2];
extern envmon_counter_def envmon_fan_algo_oper_counter_def[9];
// Built at start-up: 11 fixed counters, then "Card%dPbudget" per line and
// fabric card slot.
extern envmon_counter_def* envmon_pwrm_oper_counter_def;
extern uint32_t ENVMON_PWRM_OPER_STAT_MAX;

extern uint32_t* envmon_plat_driver_oper_stats_hdl;
extern uint32_t* envmon_plat_driver_err_stats_hdl;
extern uint32_t* envmon_invregrm_oper_stats_hdl;
extern uint32_t* envmon_invregrm_err_stats_hdl;
extern uint32_t* envmon_invregnm_oper_stats_hdl;
extern uint32_t* envmon_invregnm_err_stats_hdl;
extern uint32_t* envmon_drvif_oper_stats_hdl;
extern uint32_t* envmon_drvif_err_stats_hdl;
extern uint32_t* envmon_pwrm_oper_stats_hdl;
extern uint32_t* envmon_pwrm_err_stats_hdl;
extern uint32_t* envmon_fan_algo_oper_stats_hdl;

// Builds the power-management definitions and registers the blocks; returns
// the hardware abstraction's statistics hook result.
envmon_err_t envmon_stats_init(void);
// Adds n to one counter under atomic_mutex; returns the value before.
uint32_t envmon_stats_add(uint32_t* counter, uint32_t n);

}  // extern "C"

// Counter i of a block, or null when the block is not registered.
inline uint32_t* envmon_stats_counter(uint32_t* block, uint32_t i) {
  return block ? block + ENVMON_COUNTER_STRIDE * i : nullptr;
}
// Adds n to counter i of a block when the block is registered.
inline void envmon_stats_bump(uint32_t* block, uint32_t i, uint32_t n = 1) {
  if (block) envmon_stats_add(envmon_stats_counter(block, i), n);
}

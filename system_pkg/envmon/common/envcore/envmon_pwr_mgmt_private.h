// What the power-management modules of envcore share and do not export.
#pragma once

#include <stdint.h>

#include "envcore_private.h"
#include "envmon_core.h"
#include "envmon_hal.h"
#include "envmon_pwr_mgmt.h"
#include "envmon_server.h"
#include "envmon_stats.h"

namespace envmon_pm {

// Budget entity types: which inventory description carries an entity's budget.
enum : int32_t {
  kEntRpSc = 1,
  kEntFantray = 2,
  kEntFc = 3,
  kEntLc = 4,
  kEntSw = 5,
  kEntXc = 9,
};

// Counters of the power-management operational block.
enum : uint32_t {
  kCntNoPbudget = 9,
  kCntTotalPreq = 10,
  kCntCardFirst = ENVMON_PWRM_OPER_FIXED,  // "Card%dPbudget" at 11 + card index
};
// Counters of the power-management error block.
enum : uint32_t {
  kErrAlmRepFail = 0,
  kErrCmNotif = 1,
};

// Card-event number posted after a request word is armed.
inline constexpr uint32_t kCebRegRequest = ENVMON_CEB_EV_REG_REQ;

// Bits of a fan tray's allocation word (the sensor request-word layout): the
// request pending, not yet acknowledged, with a full retry count.
inline constexpr uint32_t kAllocArm = ENVMON_ST_REG_PENDING | ENVMON_ST_RETRY_RELOAD;
inline constexpr uint32_t kAllocClear = ENVMON_ST_REG_DONE;

// One kind of budgeted card: how its type code is recognised and where its
// budget is looked up.
struct BudgetKind {
  int32_t entity_type;  // budget entity type
  int32_t pi_type;      // inventory pi hardware type of its description
  uint8_t subtype;      // power-budget entity subtype (0: the platform's line-card subtype)
  bool (*is)(uint32_t card_type);
};
// The kinds in the order a card type is tested: route processor, system
// controller, line card, fabric card, switch card, cross-connect card, fan tray.
const BudgetKind* budget_kind_of(uint32_t card_type);
// The power-budget subtype of a kind.
uint8_t budget_subtype(const BudgetKind& kind);

// The record, or null before it is allocated.
inline envmon_pwr_mgmt_data_t* pm() { return envmon_pwr_mgmt_data; }

// 1, 2, 3, 4, 6, 7, 9, 10: the card holds its full budget.
bool holds_budget(int32_t status);
// Name of a power status; "INVALID" outside 0-10.
const char* status_name(int32_t status);

// Number of card records in pbudget_list (max FC + LC + SWC + XC).
uint32_t card_records();
// A card index that names a record of pbudget_list.
bool valid_card_index(uint32_t index);
// Whether a card group has records (its start index is not 255).
bool group_present(uint32_t group);

// Counter updates; skipped while the block is not registered.
void oper_add(uint32_t counter, int32_t delta);
// "Card%dPbudget" exists for indexes below max LC + max FC.
void card_counter_add(uint32_t index, int32_t delta);
void err_bump(uint32_t counter);
// Moves a card's allocation from `from` to `to` in "TotalPreq" and its own counter.
void counters_move(uint32_t index, int32_t from, int32_t to);

// Sends one record's allocation to the service clients.
void publish_alloc(const envmon_entity_pbudget_info_t& rec);
// Pushes one fan tray's allocation to inventory and arms its request word.
void push_fantray_alloc(envmon_entity_pbudget_info_t& rec);
// Set once the route-processor and card allocations have gone to the clients.
extern bool fru_pwr_alloc_published;

// The usable capacity for a budget decision, with the protection power taken
// off unless the redundant power may be used; `func` names the caller in the trace.
uint32_t usable_capacity(const char* func);

// Text of an entity id for traces.
struct EidText {
  char text[ENVMON_EID_STR_LEN];
  explicit EidText(const pelm_eid* eid) { envmon_dump_pelm_eid_to_string(eid, text); }
};

// The configuration-received flag of the rack record.
bool cfg_received();
// Extended (temperature) mode configured.
bool extended_mode();

}  // namespace envmon_pm

extern "C" {

// The platform-local service's answer whether this is a simulated platform
// (bound by name from the process).
bool platform_is_sim_platform(void);

// Internal steps of power management.
void envmon_pwr_mgmt_pbudget_data_init(void);
void envmon_pwr_mgmt_ps_data_init(void);
void envmon_pwr_mgmt_lcc_fc_pwr_budget_ch(void);
uint8_t envmon_pwr_mgmt_get_card_index(const pelm_eid* eid, uint32_t card_type);

}  // extern "C"

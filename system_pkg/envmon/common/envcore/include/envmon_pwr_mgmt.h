// Power management: the power-budget record of the chassis, the power-status
// numbers, and the operations the rest of the server calls.
#pragma once

#include <stdint.h>

#include "envmon_errors.h"
#include "envmon_records.h"
#include "envmon_sensor.h"
#include "inv_util.h"

struct pd_power_tray_info_t;
struct pd_power_supplies_data_t;

extern "C" {

// Power status of a card (`envmon_pwr_status`).
enum : int32_t {
  ENVMON_PWR_INVALID = 0,
  ENVMON_PWR_ON = 1,
  ENVMON_PWR_TEMP_RESERVED = 2,
  ENVMON_PWR_OFF_TEMP_RESERVED = 3,
  ENVMON_PWR_PRE_RESERVED = 4,
  ENVMON_PWR_OFF = 5,
  ENVMON_PWR_OFF_RESERVED = 6,
  ENVMON_PWR_OFF_REQUESTED = 7,
  ENVMON_PWR_STBY_ZONE_RESERVED = 8,
  ENVMON_PWR_RESERVED_GOING_DOWN = 9,
  ENVMON_PWR_ON_GOING_DOWN = 10,
};

// Result of a power request.
enum : int32_t {
  ENVMON_PWR_REQ_GRANTED = 1,
  ENVMON_PWR_REQ_NO_BUDGET = 2,
  ENVMON_PWR_REQ_NOT_READY = 3,
  ENVMON_PWR_REQ_BAD = 4,
};

// Group index value of an empty card group.
inline constexpr uint8_t ENVMON_PWR_NO_INDEX = 255;

// Progress word of a power tray.
enum : uint32_t {
  ENVMON_PT_REG_PENDING = 0x1,
  ENVMON_PT_REG_DONE = 0x2,
  ENVMON_PT_SET_PENDING = 0x4,
  ENVMON_PT_SET_DONE = 0x8,
  ENVMON_PT_UNREG_PENDING = 0x10,
  ENVMON_PT_UNREG_DONE = 0x20,
};

// System power figures (the caller zeroes the record and fills the reserved
// power and the two modes; the hardware abstraction fills the rest).
typedef struct envmon_sys_pwr_data {
  int32_t usable_pwr;              // W
  int32_t prot_pwr;                // W held back for redundancy
  int32_t resrv_n_alloc_pwr;       // W reserved and allocated
  int32_t cnf_pwr_red_mode;
  int32_t act_pwr_red_mode;
  int32_t total_available_current;
  int32_t total_drawn_current;
} envmon_sys_pwr_data;

// Budget record of one route processor, fan tray or card.
typedef struct envmon_entity_pbudget_info_t {
  pelm_eid eid;                  // FRU entity id, slot = hw_position
  pelm_eid fru_eid;              // fan trays
  pelm_eid container_eid;        // names the entity in allocation notifications
  int32_t hw_position;
  int32_t inst;
  uint32_t reg_state;            // fan trays: inventory push of the allocation
  uint16_t stby_zn_budget;
  uint16_t max_budget;
  uint16_t ext_budget;
  uint16_t pbudget;              // allocated, counted in total_power_budget
  int32_t status;                // ENVMON_PWR_*
  int32_t current;
  uint8_t shutdown_on_low_pbudget;
  uint8_t in_reload;
  uint8_t shut_pending;
} envmon_entity_pbudget_info_t;

// Budget record of one power tray.
typedef struct envmon_pwr_tray_budget {
  pelm_eid eid;                  // tray FRU
  pelm_eid fru_eid;
  int32_t hw_position;           // slot
  int32_t inst;
  int32_t type;                  // hardware type
  int32_t state;                 // 1 present, 2 removed
  uint8_t container_regi_done;
  uint8_t* idprom;               // physical trays only
  uint32_t idprom_len;
  pelm_eid idprom_eid;           // the tray's IDPROM entity in inventory
  char serial_num[12];
  char pid[19];
  char loc_str[33];
  char prefix_str[64];
  uint8_t fru_prefix_capi_flow_ctrl;
  uint32_t fru_type;             // FRU type code
  char fru_text[12];             // 11 characters
  uint32_t reg_state;            // ENVMON_PT_* bits, retries in 27-31
  uint8_t hw_access_failure;
  struct pd_power_tray_info_t* pd_tray;  // the PEM library's tray record
} envmon_pwr_tray_budget;

// The chassis power budget.
typedef struct envmon_pwr_mgmt_data {
  envmon_pwr_tray_budget* envmon_pwr_tray_data;  // physical or virtual tray count
  int32_t red_mode;              // 0 tray groups, 1 N+n, 2 none
  int32_t act_red_mode;
  uint32_t total_capacity;       // W
  uint8_t pwr_tray_drvif_reg_done;
  // System power figures last published.
  int32_t usable_pwr;
  int32_t prot_pwr;
  int32_t resrv_n_alloc_pwr;
  int32_t cnf_pwr_red_mode;
  int32_t act_pwr_red_mode;
  int32_t total_available_current;
  int32_t total_drawn_current;
  struct pd_power_supplies_data_t* power_supplies;
  envmon_entity_pbudget_info_t* rp_pbudget;       // envmon_hal_get_max_rp()
  envmon_entity_pbudget_info_t* fantray_pbudget;  // envmon_hal_get_max_fantray()
  envmon_entity_pbudget_info_t* pbudget_list;     // max FC + LC + SWC + XC
  uint8_t start_index[ENVMON_CARD_CLASS_COUNT];   // LC, FC, SWC, XC; 255 empty
  uint8_t last_index[ENVMON_CARD_CLASS_COUNT];
  uint8_t pbudget_last_index;
  int32_t total_power_budget;
  uint8_t all_card_info_rcvd;
  uint32_t lc_powered_on_bitmap;
  uint8_t use_redundand_pwr;
  uint8_t pwr_mgmt_action_ena;
  uint64_t alarms;               // raised chassis power-supply alarms
  uint8_t no_pt_detected;
} envmon_pwr_mgmt_data_t;

// The record (null until power management allocates it). envmon_rm also keeps
// a pointer to it once power management starts.
extern envmon_pwr_mgmt_data_t* envmon_pwr_mgmt_data;

// Operations of power management.
envmon_err_t envmon_init_pwr_mgmt_data(void);
int32_t envmon_convert_to_inv_pwr_stat(int32_t status);
bool envmon_pwr_mgmt_check_valid_indexes(uint8_t first, int8_t last);
void envmon_pwr_mgmt_handle_role_ch(void);
void envmon_pwr_mgmt_card_state_upd(uint8_t slot, int32_t card_class, uint32_t card_type,
                                    const char* pid, int32_t hw_ver_maj, int32_t hw_ver_min,
                                    int32_t card_state);
void envmon_pwr_mgmt_set_card_state_upd_done(void);
int32_t envmon_pwr_mgmt_get_budget(const pelm_eid* eid, uint32_t card_type, const char* pid,
                                   int32_t hw_ver_maj, int32_t hw_ver_min);
void envmon_pwr_mgmt_update_card_reload_info(const pelm_eid* eid, uint32_t card_type,
                                             const char* pid, int32_t hw_ver_maj,
                                             int32_t hw_ver_min, uint8_t in_reload);
envmon_err_t envmon_chk_n_upd_system_pwr_data(bool force);
envmon_err_t envmon_fru_power_alloc_update_all(bool to_inventory);
void envmon_volt_value_change_event(const pelm_eid* eid, int32_t value, int32_t scope,
                                    uint64_t timestamp);
void envmon_curr_value_change_event(const pelm_eid* eid, int32_t value, int32_t scope,
                                    uint64_t timestamp);
bool envmon_pwr_mgmt_ready(void);
envmon_err_t envmon_pwr_mgmt_update_pbudget_data(void);
void envmon_pwr_mgmt_set_action_mode(uint8_t action);
envmon_err_t envmon_set_pwr_mgmt_cfg_rcvd(void);
envmon_err_t envmon_pwr_mgmt_init(void);
void envmon_pwr_mgmt_fantray_oir_ev(uint8_t tray, uint8_t present);
void envmon_set_fru_current(int32_t slot, int32_t current);
bool envmon_all_power_tray_container_regi_done(void);
void envmon_update_card_budget(int32_t slot, int32_t card_type, const char* pid,
                               int32_t hw_ver_maj, int32_t hw_ver_min, bool check_alarms,
                               int32_t card_state);
void envmon_pwr_mgmt_card_powered_on_update_from_inv(uint8_t subtype, int32_t inst,
                                                     int32_t fru_power_status,
                                                     uint32_t power_allocated);
envmon_err_t envmon_check_chassis_ps_alm(bool force);
envmon_err_t envmon_pwr_mgmt_shutdown_entities(void);
envmon_err_t envmon_pwr_mgmt_check_card_shut_pending(void);
void envmon_pwr_mgmt_change_to_new_pbudget(uint8_t card_index, uint16_t new_budget);
void envmon_pwr_mgmt_update_max_pbudget(uint8_t card_index, uint32_t card_type, const char* pid,
                                        int32_t hw_ver_maj, int32_t hw_ver_min, bool check_alarms);
void envmon_pwr_mgmt_powertray_hwtype_upd(uint8_t tray, int32_t hw_type);
void envmon_pwr_mgmt_powertray_oir_ev(uint8_t tray, uint8_t present);
void envmon_pwr_mgmt_set_progressive_mode(uint8_t mode);

// The power status after a card-manager card state (0-5) of a card of that
// class and type, in status `status`; 0 for an unknown card state.
int32_t envmon_pwr_mgmt_map_card_st_to_power_st(uint32_t card_state, int32_t card_class,
                                                int32_t card_type, int32_t status,
                                                bool in_reload);
// 0 and the card's index in pbudget_list, or ENVMON_ERR_INVALID_ARG.
envmon_err_t envmon_pwr_mgmt_find_card_idx(uint8_t slot, int32_t card_class, uint32_t card_type,
                                           uint8_t* index);

// Budgets from the inventory descriptions: the three figures of the hardware
// (pi hardware type, pd hardware type, product id) under a power-budget
// entity of `subtype`; with `eid`, also the description's root entity id.
envmon_err_t envmon_get_power_budget(int32_t entity_type, int32_t pi_hw_type, int32_t pd_hw_type,
                                     const char* pid, int32_t hw_ver_maj, int32_t hw_ver_min,
                                     uint8_t subtype, uint16_t* max_budget,
                                     uint16_t* stby_zn_budget, uint16_t* ext_budget,
                                     pelm_eid* eid);
// The same for the hardware the platform names for a budget entity type (1
// RP/SC, 2 fan tray, 3 FC, 4 LC, 5 SW, 9 XC); all 0 when it names none.
void envmon_get_entity_power_budget(int32_t entity_type, uint16_t* max_budget,
                                    uint16_t* stby_zn_budget, uint16_t* ext_budget,
                                    pelm_eid* eid);
// Places the route processors, cards and fan trays of the chassis description
// into their budget records.
void envmon_get_rp_sc_eid(void);
void envmon_get_card_eid(void);
void envmon_get_fantray_eid(void);

// Extended (temperature) mode configured; a card's budget in the current mode.
bool is_extended_mode_on(void);
uint16_t get_lc_max_budget(uint8_t card_index);

// Names for traces and dumps: power status ("INVALID" outside 0-10), budget
// entity type, card group (0 LC, 1 FC, 2 SWC, 3 XC).
const char* envmon_pwr_status_str(int32_t status);
const char* envmon_rm_pwr_kind_str(int32_t entity_type);
const char* envmon_pwr_card_group_str(uint32_t group);

// The card-type lists of power budgeting.
bool envmon_pwr_is_rp_card_type(uint32_t card_type);
bool envmon_pwr_is_sc_card_type(uint32_t card_type);
bool envmon_pwr_is_lc_card_type(uint32_t card_type);
bool envmon_pwr_is_fc_card_type(uint32_t card_type);
bool envmon_pwr_is_swc_card_type(uint32_t card_type);
bool envmon_pwr_is_xc_card_type(uint32_t card_type);
bool envmon_pwr_is_fantray_type(uint32_t card_type);
// Chassis types on which fabric cards are budgeted up front while action is
// enabled (`envmon_pwr_fc_prereserve_chassis_types`).
bool envmon_pwr_is_fc_prereserve_chassis(uint32_t chassis_type);

}  // extern "C"

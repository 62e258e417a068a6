// The rack-scope record `envmon_rm`, the node-scope record `envmon_nm` and the
// records they hold. Every library of the monitoring server process binds the
// two record pointers by name and reads and writes the fields directly, on the
// server's one event-loop thread.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "envmon_sensor.h"
#include "inv_parser.h"
#include "inv_util.h"

struct envmon_client_handle;     // one client connection of the service server
struct envmon_pwr_mgmt_data;     // envmon_pwr_mgmt.h
struct pctrl_data_t;             // envmon_pem.h
struct nodeid_rec;               // node id (nodeid_td of the node-id library)

extern "C" {

// Platform-driver table: 17 clients, index 0-16.
inline constexpr uint32_t ENVMON_DRVIF_MAX = 17;
enum : uint32_t {
  ENVMON_DRV_FAN = 1,
  ENVMON_DRV_POWER = 2,
  ENVMON_DRV_SLOT_SHUT = 11,
  ENVMON_DRV_FAN2 = 14,
  ENVMON_DRV_ALL = 17,  // "every driver" / "each sensor's own driver"
};

// `misc_state` of envmon_nm.
enum : uint32_t {
  ENVMON_NM_CARD_INFO_DONE = 0x2,
  ENVMON_NM_CHASSIS_INFO_DONE = 0x4,
  ENVMON_NM_OBFL_LOG_ALL = 0x10000,
};

// Failure-log progress of an entity (`envmon_obfl_entity_state`), kept in the
// misc-state word of the node record, of each fan tray and of each remote card.
enum : uint32_t {
  ENVMON_OBFL_CARD_PRESENT = 0x1,       // remote cards: card present
  ENVMON_OBFL_TEMP_LOG_PENDING = 0x100,
  ENVMON_OBFL_VOLT_LOG_PENDING = 0x200,
  ENVMON_OBFL_CURR_LOG_PENDING = 0x400,
  ENVMON_OBFL_LOGS_PENDING = 0x700,
  ENVMON_OBFL_SVC_REG_PENDING = 0x1000,
  ENVMON_OBFL_TEMP_THR_PENDING = 0x2000,
  ENVMON_OBFL_VOLT_THR_PENDING = 0x4000,
  ENVMON_OBFL_CURR_THR_PENDING = 0x8000,
  ENVMON_OBFL_THR_PENDING = 0xe000,
};

// `obfl_flags` of envmon_rm: log-all requests per rack entity class.
enum : uint32_t {
  ENVMON_RM_OBFL_OTHER = 0x1,
  ENVMON_RM_OBFL_FANTRAYS = 0x2,
  ENVMON_RM_OBFL_PEMS = 0x4,
  ENVMON_RM_OBFL_FC = 0x8,
  ENVMON_RM_OBFL_LC = 0x10,
  ENVMON_RM_OBFL_SW = 0x20,
  ENVMON_RM_OBFL_ALL = 0x3f,
  ENVMON_RM_OBFL_THR_WRITE = 0x100,
};

// Card classes, in the order of the per-class tables.
enum : uint32_t {
  ENVMON_CARD_CLASS_LC = 0,
  ENVMON_CARD_CLASS_FC = 1,
  ENVMON_CARD_CLASS_SWC = 2,
  ENVMON_CARD_CLASS_XC = 3,
  ENVMON_CARD_CLASS_COUNT = 4,
};

// Text sizes.
inline constexpr size_t ENVMON_FPD_NAME_LEN = 26;
inline constexpr size_t ENVMON_FPD_PATH_LEN = 256;
inline constexpr size_t ENVMON_FPD_FAULT_MSG_LEN = 259;
inline constexpr size_t ENVMON_PID_LEN = 20;          // chassis product id
inline constexpr size_t ENVMON_PID_MAX = 17;          // characters written into a pid
inline constexpr size_t ENVMON_FT_PID_LEN = 64;
inline constexpr size_t ENVMON_PREFIX_LEN = 64;
inline constexpr size_t ENVMON_EID_STR_LEN = 256;     // text form of an entity id
inline constexpr size_t ENVMON_NODE_PRIORITY_MAX = 60;

// A field-programmable device of a fan tray or power module.
typedef struct fpd_data {
  inv_eid eid;
  char name[ENVMON_FPD_NAME_LEN];
  uint8_t name_len;
  struct {
    void* fpd_hd;  // the FPD framework's device handle
  } fpd_out;
  // The framework's completion callback of the last image request:
  // (framework handle, FPD record, status 3/5/6, text).
  void (*cb_func)(void* fpd_hd, void* ctx, uint32_t state, const char* msg);
  uint32_t state_set;
  uint32_t state;
  uint32_t init_st;
  uint32_t reg_state;
  char fpd_path[ENVMON_FPD_PATH_LEN];
  uint32_t req_fpd_ver_major;
  uint32_t req_fpd_ver_minor;
  uint32_t hw_ver_major;
  uint32_t hw_ver_minor;
  uint32_t fpd_ver_major;
  uint32_t fpd_ver_minor;
  uint32_t inst_fpd_ver_major;
  uint32_t inst_fpd_ver_minor;
  uint32_t fpd_size;
  uint32_t spi_flash;
  uint8_t is_upgradable;
  uint32_t upg_progress;  // percent
  uint8_t toggle_upgrade;
  char fault_msg[ENVMON_FPD_FAULT_MSG_LEN];
  uint32_t upgrade_state;
  uint8_t val_capi_flow_ctrl;
  uint32_t image_attr;    // 0x10 golden, 0x2 secure, 0x4 protected, 0x8 hidden
} fpd_data;

// Hardware-event context of a fan tray.
enum : uint32_t {
  ENVMON_HW_CTX_HAS_STATE = 0x1,
  ENVMON_HW_CTX_HAS_OPER_STATE = 0x2,
  ENVMON_HW_CTX_HAS_REASON = 0x4,
};
typedef struct envmon_hw_ctx {
  uint32_t state;
  uint32_t oper_state;
  const char* reason;  // static text
  uint8_t present;     // ENVMON_HW_CTX_HAS_* bits
} envmon_hw_ctx;

// Indexes of the hot-swap sensors of a board: [0] in the voltage list, [1] in
// the current list.
typedef struct envmon_board_pwr_idx {
  uint16_t hs1_idx[2];
  uint16_t hs2_idx[2];
  uint8_t has_hs2;
  uint16_t hs3_idx[2];
  uint8_t has_hs3;
  uint8_t valid;
} envmon_board_pwr_idx;

// A configuration date (six bytes).
typedef struct __attribute__((packed)) envmon_date {
  uint16_t year;
  uint8_t month;
  uint8_t day;
  uint16_t tz;
} envmon_date;

// One fan tray.
typedef struct fantray_cb {
  uint32_t misc_state;          // envmon_obfl_entity_state bits, retries in 27-31
  uint32_t hw_position;         // slot
  uint32_t board_id;            // hardware type
  uint32_t pd_type;             // from the driver's entity data
  char pid[ENVMON_FT_PID_LEN];
  uint8_t* eeprom;              // envmon_hal_get_max_idprom_size() bytes
  uint32_t eeprom_len;
  uint32_t flags;               // FRU registration word; 0x10 EEPROM report pending
  pelm_eid ceid;
  inv_xml_handle_t fru_xml;
  envmon_sensor_list temp_data;
  envmon_sensor_list voltage_data;
  envmon_sensor_list current_data;
  envmon_sensor_list fan_data;
  uint32_t speed_sensors_in_fault;
  envmon_sensor_list subtype13_data;  // LED group
  fpd_data* fpd_data;
  uint32_t fpd_count;
  uint32_t obfl_client_id;
  uint32_t obfl_log_client_id;
  char prefix_str[ENVMON_PREFIX_LEN];
  uint8_t fru_prefix_capi_flow_ctrl;
  envmon_hw_ctx hw_ctx;
  envmon_sensor_list power_data;
  // Kept apart from misc_state, whose bit 0x200 is a failure-log bit: the fan
  // driver's entity-data word of the tray (bit 0x200 airflow forward).
  uint32_t drv_ent_state;
  uint32_t hw_warning;          // warning word beside the hardware-event context
  envmon_board_pwr_idx board_pwr_idx;
} fantray_cb;

// A remotely managed fabric, line or switch card.
typedef struct envmon_remote_card_cb {
  int32_t card_state;
  uint32_t misc_state;          // bit0 present; envmon_obfl_entity_state bits
  uint32_t cm_card_type;
  uint32_t card_type;
  int32_t card_kind;
  uint32_t hw_position;
  pelm_eid ceid;
  inv_xml_handle_t card_xml;
  envmon_sensor_list temp_data;
  uint32_t temp_sensors_in_fault;
  envmon_sensor_list voltage_data;
  envmon_sensor_list current_data;
  uint32_t obfl_client_id;
  uint32_t reg_state;           // registration word of the card
} envmon_remote_card_cb;

// One inventory slot's FRU: its node id and container entity id.
typedef struct envmon_fru_obj {
  struct nodeid_rec* nodeid;    // owned
  pelm_eid* cont_eid;
} envmon_fru_obj;

// One entry of the monitoring service's client table.
typedef struct envmon_client_entry {
  struct envmon_client_handle* handle;
  uint8_t pwr_data_registered;  // set while registered for power data
} envmon_client_entry;

// One port-adapter (MPA) bay of this card.
enum : uint32_t { ENVMON_MPA_LISTS_BUILT = 0x100000 };
typedef struct envmon_mpa_cb {
  uint32_t state;
  uint32_t card_type;
  pelm_eid ceid;                // rack 0xfffe, the MPA slot
  inv_eid inv_ceid;
  inv_xml_handle_t xml;         // open only while the lists are built
  envmon_sensor_list temp_data;
  envmon_sensor_list voltage_data;
  envmon_sensor_list current_data;
} envmon_mpa_cb;

// Environment configuration.
typedef struct envmon_env_cfg {
  envmon_date air_filter_reset_time;
  uint32_t altitude;            // meters, 0 when not configured
  uint8_t ft_ctrl;              // fan control enabled (default 1)
  uint8_t temp_ctrl;            // temperature monitoring enabled (default 1)
  uint8_t envmon_ctrl;          // monitoring enabled; shutdown requests allowed (default 1)
} envmon_env_cfg;

// Power configuration (copied whole to compare old and new values).
typedef struct envmon_pwr_cfg {
  uint8_t pwr_ctrl;             // act on budget shortage (default 1)
  uint32_t red_num_pems;        // PEMs for redundancy, 255 not configured
  uint32_t pwr_cfg_ns;
  uint8_t pwr_mgmt_cfg_rcvd;
  uint8_t single_feed_operation;
  uint8_t extended_mode_operation;
  uint8_t progressive_mode_operation;
  uint32_t reserved;
  uint32_t prog_shut_threshold; // W
  int32_t node_priority[ENVMON_NODE_PRIORITY_MAX];
} envmon_pwr_cfg;

// Rack-scope record.
typedef struct envmon_rm_t {
  uint32_t chassis_type;
  char* chassis_sn;             // envmon_hal_get_chassis_sn_length() bytes
  char pid[ENVMON_PID_LEN];
  inv_xml_handle_t chassis_xml;
  envmon_sensor_list temp_data;
  inv_eid* chassis_inv_eids;
  pelm_eid chassis_eid;
  uint32_t rack_num;
  uint32_t rack;                // 0xfffe until known
  uint8_t inv_capi_connected;
  uint8_t cm_capi_connected;
  uint8_t inv_invreg_connected;
  uint8_t obfl_capi_connected;
  uint8_t cm_init_done;
  uint8_t cm_obj_reged;
  uint8_t mgbl_init_done;
  uint32_t obfl_flags;          // ENVMON_RM_OBFL_* bits
  uint32_t svc_role;            // 1 active, 2 standby, 3 none; 0 before the first role
  uint32_t prev_role;
  void* fm_hdl;                 // rack-scope fault-manager client
  envmon_remote_card_cb* fc_cb;
  envmon_remote_card_cb* lc_cb;
  envmon_remote_card_cb* sw_cb;
  uint16_t rp_count;
  uint32_t* rp_hw_position;     // envmon_hal_get_max_rp()
  uint8_t* rp_info_rcvd;        // envmon_hal_get_max_rp()
  fantray_cb* fantray_cb;       // envmon_hal_get_max_fantray()
  inv_eid* fan_cont_eids;
  uint16_t fan_cont_count;
  uint32_t* fan_cont_reg_state; // one per fan tray
  pelm_eid* fan_cont_pelm_eids; // one per fan tray
  inv_eid* pwr_tray_cont_eids;
  uint16_t pwr_tray_count;
  uint32_t* pwr_tray_cont_reg_state;  // envmon_hal_get_max_powertray(); null when 0
  inv_eid* rp_cont_eids;
  uint16_t rp_cont_count;
  envmon_eid_list card_eid_list[ENVMON_CARD_CLASS_COUNT];  // LC, FC, SWC, XC
  struct envmon_pwr_mgmt_data* pwr_mgmt_data;
  uint32_t cbreaker_off_alarms;
  struct pctrl_data_t* pctrl;   // the PEM library's power-controller records
  envmon_env_cfg env_cfg;
  uint32_t env_cfg_ns;
  envmon_pwr_cfg pwr_cfg;
  struct nodeid_rec* rack_nodeid;
  uint8_t rack_nodeid_valid;
  envmon_fru_obj* fru_objs_lst; // envmon_hal_get_max_inv_slots(), indexed by slot
  uint8_t is_proto_chassis;
  uint8_t fm_loc_update_pending;
  uint32_t user_fan_speed_pwm;
  uint8_t fan_ctrl_optics;
  uint8_t vin_uv_shut_disabled;
  // Kept by the other libraries of the process.
  uint16_t chassis_inv_eid_count;
  // Card containers by container subtype, in the order 1, 2, 4, 20.
  envmon_eid_list card_cont_by_subtype[4];
  void* fm_rack_entry;          // rack entry of the fault-manager client table
  uint8_t fm_rack_pending_faults;
} envmon_rm_t;

// Node-scope record.
inline constexpr size_t ENVMON_NM_TLG_SLOTS = 10;
typedef struct envmon_nm_t {
  void* tlg_hdl[ENVMON_NM_TLG_SLOTS];
  uint8_t temp_debug;
  uint8_t volt_debug;
  uint8_t curr_debug;
  uint8_t drvif_debug;          // also: entity power-state updates
  uint8_t fan_debug;
  uint8_t pwr_debug;
  uint8_t pm_capi_connected;
  uint8_t plat_drv_capi_connected;  // node card-manager client of the hardware abstraction
  uint8_t cm_rack_connected;        // rack card-manager client of the hardware abstraction
  uint8_t inv_invreg_connected;
  uint8_t obfl_capi_connected;
  uint8_t drvif_connected[ENVMON_DRVIF_MAX];
  uint8_t process_restart;
  uint32_t obfl_client_id;
  uint32_t misc_state;          // ENVMON_NM_* and envmon_obfl_entity_state bits
  uint32_t card_type;
  uint32_t hw_type;
  uint32_t slot_num;
  uint32_t card_container_valid_flag;
  pelm_eid card_ceid;
  inv_xml_handle_t card_xml;
  inv_eid card_cont_eid;
  void* provd_hdl;
  envmon_sensor_list temp_data;
  uint32_t temp_sensors_in_fault;
  envmon_sensor_list voltage_data;
  envmon_sensor_list current_data;
  void* fm_hdl;                 // node-scope fault-manager client
  struct nodeid_rec* nodeid;
  uint8_t nodeid_valid;
  uint32_t ip_address;          // 0xffffffff until known
  envmon_client_entry* clients; // envmon_hal_get_max_clients()
  uint8_t disable_temp_monitoring;
  uint8_t fm_loc_set;
  char* my_location;
  envmon_sensor_list power_data;
  uint8_t max_mpa;
  envmon_mpa_cb* mpa;
  // Kept by the other libraries of the process.
  envmon_board_pwr_idx board_pwr_idx;
  void* fm_node_entry;          // node entry of the fault-manager client table
  uint8_t fm_node_update_pending;
  uint8_t svc_server_ready;     // node-scope service server up
} envmon_nm_t;

inline constexpr uint32_t ENVMON_IP_UNKNOWN = 0xffffffffu;

}  // extern "C"

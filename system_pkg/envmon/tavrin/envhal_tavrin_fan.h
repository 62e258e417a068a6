// Fan management of platform tavrin: the chassis fan record, the fan zones'
// sensor lists, the per-slot temperature alarm counts, the optics list, the
// timer leaves and the control values, shared by the fan sources of the
// library. Everything here lives on the server's event-loop thread.
#pragma once

#include <stdint.h>

#include "envmon_core.h"
#include "envmon_fm.h"
#include "inv_util.h"
#include "mtimer.h"

struct drvif_sensor_data_rec;

extern "C" {

// ---- Records. ----

inline constexpr int32_t ENVMON_FAN_ZONES = 6;
inline constexpr int32_t ENVMON_FAN_ZONE_NONE = 6;
inline constexpr uint32_t ENVMON_FAN_CARD_SLOTS = 64;
inline constexpr uint32_t ENVMON_FAN_MPA_SLOTS = 48;
inline constexpr uint8_t ENVMON_FAN_PWM_UNSET = 101;  // "never set"

// `envmon_fan_state`.
enum : int32_t {
  ENVMON_FAN_ALL_PRESENT = 1,
  ENVMON_FAN_ONE_MISSING = 2,
  ENVMON_FAN_TWO_MISSING = 3,
};

// States of a zone sensor.
enum : int32_t {
  ENVMON_FAN_SENSOR_NORMAL = 1,
  ENVMON_FAN_SENSOR_WARM = 2,
  ENVMON_FAN_SENSOR_CRITICAL = 3,
};

typedef struct fan_zone_info {
  uint8_t speed;        // the zone's target PWM
  uint8_t last_speed;
  int32_t smallest_deltaT;
  int32_t last_smallest_deltaT;
} fan_zone_info;

typedef struct fan_info {
  int32_t h_zone;
  int32_t v_zone;
  uint8_t speed;        // target PWM
  uint8_t last_speed;   // PWM last written to the driver
  int32_t hw_speed;     // rpm last reported by the fan driver
} fan_info;

typedef struct fan_tray_info {
  uint8_t alarm_state;         // "fan tray removed" raised
  uint8_t active;              // present
  uint8_t inv_reg;
  uint8_t oir_ev_rcvd;
  uint8_t idprom_access_fail;
  fan_info* fans;              // envmon_hal_get_fans_per_tray()
} fan_tray_info;

typedef struct chassis_fan_info_t {
  int32_t envmon_fan_state;
  int32_t envmon_temp_state;
  int32_t temp_sensors_in_alarm;
  int32_t num_fans_out_of_tolerance;
  fan_zone_info zones[ENVMON_FAN_ZONES];
  fan_tray_info* trays;        // envmon_hal_get_max_fantray()
} chassis_fan_info_t;

// One temperature sensor of a card slot in its fan zone's list.
inline constexpr size_t ENVMON_FAN_SENSOR_NAME_LEN = 50;  // 49 characters and the terminator
typedef struct fan_algo_sensor {
  pelm_eid eid;                // owns its levels
  int32_t slot;
  int32_t value;
  int32_t last_value;
  int32_t deltaT;              // minor high - value
  int32_t last_deltaT;
  int32_t state;               // ENVMON_FAN_SENSOR_*
  int32_t last_state;
  int32_t threshold;           // level 1..7
  int32_t last_threshold;
  char name[ENVMON_FAN_SENSOR_NAME_LEN];
  struct fan_algo_sensor* next;
} fan_algo_sensor;

// Temperature sensors of a slot at minor, major and critical level.
typedef struct slot_temp_alarm_stats {
  uint8_t num_minor;
  uint8_t num_major;
  uint8_t num_critical;
  char name[32];               // the sensor whose critical alarm started the shutdown timer
} slot_temp_alarm_stats;

// Line cards of the types whose optics drive the fans.
typedef struct lc_info_t {
  int32_t slot;
  int32_t card_type;
  int32_t card_state;
  struct lc_info_t* prev;
  struct lc_info_t* next;
} lc_info_t;

// A hot optics sensor.
typedef struct optics_sensor {
  pelm_eid eid;                // owns its levels
  int32_t slot;
  int32_t value;
  int32_t last_value;
  int32_t deltaT;
  int32_t last_deltaT;
  struct optics_sensor* next;
} optics_sensor;

// ---- Exported data. ----
extern chassis_fan_info_t* chassis_fan_info;
extern uint8_t chassis_ft_type;
extern lc_info_t* lc_info;
extern uint8_t total_lc_cnt;
extern optics_sensor* optics_sensor_list;
extern uint8_t enable_fan_ramp_down;
extern uint8_t sensor_major_crossed;
extern int32_t card_shut_context[ENVMON_FAN_CARD_SLOTS];
extern int32_t mpa_shut_context[ENVMON_FAN_MPA_SLOTS];
extern int32_t mpa_shut_slot;

// ---- Exported operations of fan management not in envmon_hal.h. ----
int is_fan_tray_type_gen2(void);
uint32_t envmon_hal_get_fans_per_tray(void);
uint8_t envmon_hal_fan_mgmt_is_fantray_active(uint32_t tray);
void envmon_hal_clear_temp_alarm(void);
void envmon_init_card_fan_zone(void);
void envmon_set_card_fan_zone(uint32_t card_class, uint32_t slot, uint32_t hw_position);
int envmon_main_timer_handler(mtimer_tree_t* tree, void* ctx);
int is_timer_init_done(void);
int32_t envmon_tavrin_check_rp_inlet_chassis_shut(uint32_t slot);
void envman_hal_multi_fan_trays_removal_alm(uint8_t raise);
void envmon_fan_tray_idprom_access_status_ch(uint32_t tray, pelm_eid* oir_data, uint8_t fail,
                                             const char* reason);
void envmon_hal_fan_mgmt_fan_speed_value_change_event(uint32_t slot, uint32_t fan, int32_t rpm,
                                                      uint64_t timestamp, const pelm_eid* eid);
int32_t envmon_fan_algo_mpa_removal_upd(uint32_t mpa_slot);
int32_t envmon_fan_algo_sensor_list_cleanup(uint32_t slot);
int32_t update_fan_speed(void);
int32_t restart_optics_recover_timer(void);
int32_t optics_ramp_wait_timer_start_stop(uint8_t start);
void envmon_hal_fan_algo_optics_sensor_list_upd(uint32_t slot, uint32_t card_type,
                                                uint8_t inserted);
void disable_optics_FT_algo(void);
void envmon_hal_optics_FT_alm(uint8_t raise);
// An optics module's temperature notification from the platform driver.
void envmon_hal_process_optics_sensor(const struct drvif_sensor_data_rec* notification,
                                      const pelm_eid* eid, uint32_t slot);

}  // extern "C"

#pragma GCC visibility push(hidden)
namespace envhal::tavrin {

// Leaf types of the fan timer tree.
enum : uint32_t {
  kLeafInit = 0,
  kLeafPeriod = 1,
  kLeafChassisShut = 2,
  kLeafCardShut = 3,
  kLeafMpaShut = 4,
  kLeafRamp = 5,
  kLeafOpticsRamp = 6,
  kLeafOpticsHold = 7,
  kLeafOpticsRecover = 8,
  kLeafOpticsWait = 9,
};

// Periods, in seconds.
inline constexpr uint32_t kInitWaitSecs = 10;
inline constexpr uint32_t kInitSettleSecs = 20;
inline constexpr uint32_t kPeriodSecs = 30;
inline constexpr uint32_t kChassisShutSecs = 120;
inline constexpr uint32_t kCardShutSecs = 15;
inline constexpr uint32_t kRampSecs = 1;
inline constexpr uint32_t kOpticsRampSecs = 90;
inline constexpr uint32_t kOpticsHoldSecs = 600;
inline constexpr uint32_t kOpticsRecoverSecs = 900;
inline constexpr uint32_t kOpticsWaitSecs = 300;

inline constexpr uint32_t kAltitudeHigh = 1800;  // metres
inline constexpr uint8_t kFullSpeed = 100;
inline constexpr uint32_t kFanKindPwm = 13;      // set-sensor kind of a fan's PWM

// One row of a speed table: inlet temperatures in degrees Celsius.
struct SpeedRow {
  int32_t min;
  int32_t max;
  int32_t pwm;
};

// The timer tree and its leaves; null while fan management is stopped.
struct FanTimers {
  mtimer_tree_t* tree = nullptr;
  mtimer_leaf_t* init = nullptr;
  mtimer_leaf_t* period = nullptr;
  mtimer_leaf_t* chassis_shut = nullptr;
  mtimer_leaf_t* card_shut[ENVMON_FAN_CARD_SLOTS] = {};
  mtimer_leaf_t* mpa_shut[ENVMON_FAN_MPA_SLOTS] = {};
  mtimer_leaf_t* ramp = nullptr;
  mtimer_leaf_t* optics_ramp = nullptr;
  mtimer_leaf_t* optics_hold = nullptr;
  mtimer_leaf_t* optics_recover = nullptr;
  mtimer_leaf_t* optics_wait = nullptr;
};
FanTimers& timers();

// Process-wide control values.
struct FanControl {
  int32_t fan_level0_pwm = 20;
  int32_t fan_level1_pwm = 50;
  int32_t fan_speed_lowest_pwm = 30;  // 30: never evaluated
  int32_t init_wait_cnt = 1;
  int32_t fan_speed_level = 0;
  int32_t fan_speed_normal_level = 0;
  const SpeedRow* fan_speed_table = nullptr;
  int32_t fan_speed_table_rows = 0;
  uint8_t fan_ramp_pending = 0;
  uint8_t fan_ctrl_disabled = 0;
  uint8_t is_optics_ramping = 0;
  uint8_t optics_ramp_down = 0;
};
FanControl& control();
// Back to the start values of a run of fan management (the disable request
// of the monitoring service is kept).
void reset_run_control();

// Zone sensor lists and counts.
struct ZoneLists {
  fan_algo_sensor* head[ENVMON_FAN_ZONES] = {};
  int32_t count[ENVMON_FAN_ZONES] = {};
};
ZoneLists& zone_lists();
slot_temp_alarm_stats* slot_alarm_stats();  // ENVMON_FAN_CARD_SLOTS records
slot_temp_alarm_stats* mpa_alarm_stats();   // ENVMON_FAN_MPA_SLOTS records

// Timer helpers: null leaves are neither running nor started.
bool leaf_running(const mtimer_leaf_t* leaf);
void leaf_stop(mtimer_leaf_t* leaf);
void leaf_start(mtimer_leaf_t* leaf, uint32_t seconds);

// The chassis of the rack record is one of the quelm sub-platform.
bool is_quelm();
uint32_t altitude();
bool fan_tray_ctrl_on();
uint32_t max_fantray();
// Number of present trays.
uint32_t envmon_count_present_fantrays();

// The control algorithm.
void envmon_fan_algo_set_control_thresholds();
void envmon_fan_algo_select_speed_table();
int32_t envmon_fan_zone_of_slot(uint32_t slot);
// Fan zone of each card slot (ENVMON_FAN_CARD_SLOTS entries, 6 for none).
int32_t* card_fan_zone();
void envmon_tavrin_process_fan_speed();
envmon_err_t envmon_tavrin_fan_speed_set(bool all_trays, uint32_t tray, bool check_init);
// Evaluate, then write every tray.
void evaluate_and_set_all();
// Every zone and its last speed to full speed.
void all_zones_full_speed();
// The fans of a tray back to their start values.
void init_tray_fans(uint32_t tray);

// The optics step of an evaluation; `quelm` leaves the recover timer alone.
void optics_ramp_step(bool quelm);

// Fault reports of fan management (rack scope unless given). 0 or the fault
// manager's code.
struct FaultSpec {
  uint32_t type;
  uint32_t tag;
  uint32_t shutdown_action;
  int32_t state;          // 1 raise, 2 clear
  uint16_t level;
  const char* description;
  const char* name;
  pelm_eid* eid;
};
envmon_err_t report_fault(int32_t scope, const FaultSpec& spec);
// A raise-only shutdown request for rack 0xfffe and the slot.
envmon_err_t request_shutdown(uint32_t tag, uint32_t action, uint32_t slot, const char* text);

// Start-up check of trays whose IDPROM cannot be read: 1 keeps waiting.
int32_t envmon_fantray_idprom_fail_check(uint8_t* all_seen);
void chassis_shut_expired();
void card_shut_expired(uint32_t slot);
void mpa_shut_expired(const int32_t* index);
void raise_tray_removed(uint32_t tray, bool from_timer);
void trays_missing_check_start(uint32_t present);

// An optics temperature reading: value, minor-high threshold and operational
// state (1 valid) of an optics slot's sensor.
// An inventory temperature reading of a card's sensor.
int32_t inv_temp_reading(const pelm_eid* notified, int32_t value, const envmon_threshold_msg* thresholds,
                         uint32_t slot, const char* name);
void optics_reading(const pelm_eid* eid, uint32_t slot, int32_t value, int32_t minor_high,
                    uint32_t oper_state);
// Optics timer expiries.
void optics_ramp_expired();
void optics_wait_or_hold_expired(uint32_t type);
void optics_recover_expired();

// Temperature-alarm statistics of a slot (card slots 0..63 and MPA slots).
void slot_stats_update(uint32_t slot, uint32_t level, uint32_t prev_level, const char* name);
// Clearing of a card slot's or MPA index's counts, its zone nodes and its
// shutdown timer.
void clear_slot_stats(slot_temp_alarm_stats* stats, int32_t node_slot, mtimer_leaf_t* leaf);
void free_zone_lists();
// Line cards whose optics drive the fans.
bool is_optics_line_card(uint32_t card_type);
void free_optics_list();
void free_lc_list();

// Fan-algorithm counters.
enum : uint32_t {
  kStatInvTemp = 0,
  kStatMinor = 2,
  kStatMajor = 3,
  kStatCritical = 4,
  kStatTrayRemoved = 5,
  kStatTrayInserted = 6,
  kStatCardShut = 7,
  kStatChassisShut = 8,
};
void stat_add(uint32_t counter, int32_t n);

}  // namespace envhal::tavrin
#pragma GCC visibility pop

// Chassis descriptions: one JSON file per simulated chassis.
//
// {
//   "platform": "tavrin" | "olbrisk",
//   "description": "free text",                                   (optional)
//   "chassis": {"type": CODE, "pid": TEXT, "serial": TEXT,
//               "hw_major": N, "hw_minor": N,                       (optional)
//               "rack_type": N, "rack": N},                         (optional, 0)
//   "cards": [ {"slot": N, "hw_type": CODE, "role": ROLE, "address": "127.a.b.c",
//               "pid": TEXT, "serial": TEXT, "hw_major": N, "hw_minor": N,
//               "state": N, "sw_state": N, "pi_type": N, "present": BOOL,
//               "sensors": [SENSOR...]} ... ],                       (at least one card)
//   "fan_trays": [ {"slot": N, "hw_type": CODE, "fans": N, "present": BOOL,
//                   "pid": TEXT, "serial": TEXT, "idprom": FILE, "sensors": [...]} ],
//   "power_trays": [ {"slot": N, "hw_type": CODE,                   (both optional)
//                     "modules": [ {"slot": N, "hw_type": CODE, "present": BOOL,
//                                   "pid": TEXT, "serial": TEXT, "idprom": FILE,
//                                   "sensors": [...]} ]} ],
//   "config": {"/path/of/key": VALUE | true, ...}                   (optional)
// }
// SENSOR: {"name": TEXT, "kind": "temperature" | "voltage" | "current" | "power" |
//          "fan_speed" | "led", "value": N, "thresholds": [6 x N]}   (thresholds optional,
//          in the order critical low, critical high, major low, major high, minor low,
//          minor high)
// CODE: a JSON integer or a "0x..." text, 32 bits. ROLE: "active", "standby", "none".
// Slots follow the backplane numbering of the node-id library; a card's class
// (route processor, fabric card, line card, ...) is the class of its slot.
// FILE: relative to the description's folder.
//
// Keys not listed are refused, so that a misspelt key is not silently ignored.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace envsim {

enum class Platform { tavrin, olbrisk };

// Roles of the process manager.
enum : int32_t { kRoleActive = 1, kRoleStandby = 2, kRoleNone = 3 };

// Card-manager card states that count as up (3, 5, 6) and down (1, 2, 4, 8).
constexpr int32_t kCardStateDefault = 3;
constexpr int32_t kCardStateMax = 11;

enum class SensorKind { temperature, voltage, current, power, fan_speed, led };

struct SensorDesc {
  std::string name;
  SensorKind kind = SensorKind::temperature;
  uint32_t subtype = 0;  // inventory sensor subtype of the kind (25, 29, 7, 23, 8, 13)
  int32_t value = 0;
  bool has_thresholds = false;
  std::array<int32_t, 6> thresholds{};
};

struct CardDesc {
  int32_t slot = 0;
  int32_t slot_type = 0;  // node-id slot type of the slot
  int32_t slot_num = 0;
  uint32_t hw_type = 0;
  int32_t pi_type = 0;       // card class byte of the card information
  int32_t cm_card_type = 0;  // card class of the card-object notifications
  int32_t role = kRoleNone;
  uint32_t address = 0;  // IPv4, host order
  std::string pid;
  std::string serial;
  uint16_t hw_major = 0;
  uint16_t hw_minor = 0;
  int32_t state = kCardStateDefault;
  int32_t sw_state = 0;
  bool present = true;
  std::vector<SensorDesc> sensors;
};

struct FanTrayDesc {
  int32_t slot = 0;
  uint32_t hw_type = 0;
  uint32_t fans = 0;
  bool present = true;
  std::string pid;
  std::string serial;
  std::string idprom;  // resolved path, empty when none
  std::vector<SensorDesc> sensors;
};

struct PowerModuleDesc {
  int32_t slot = 0;
  uint32_t hw_type = 0;
  bool present = true;
  std::string pid;
  std::string serial;
  std::string idprom;
  std::vector<SensorDesc> sensors;
};

struct PowerTrayDesc {
  int32_t slot = -1;  // -1: a tray without a slot of its own
  uint32_t hw_type = 0;
  std::vector<PowerModuleDesc> modules;
};

// A configuration entry: a value, or a key that is there without one.
struct ConfigEntry {
  std::string path;
  std::string value;
  bool has_value = false;
};

struct ChassisDesc {
  std::string file;
  Platform platform = Platform::tavrin;
  std::string description;
  uint32_t chassis_type = 0;
  int32_t rack_type = 0;
  int32_t rack_num = 0;
  std::string pid;
  std::string serial;
  uint32_t hw_major = 0;
  uint32_t hw_minor = 0;
  std::vector<CardDesc> cards;
  std::vector<FanTrayDesc> fan_trays;
  std::vector<PowerTrayDesc> power_trays;
  std::vector<ConfigEntry> config;
};

// Limits of the descriptions.
constexpr size_t kMaxPidLen = 17;
constexpr size_t kMaxSerialLen = 11;
constexpr size_t kMaxSensorNameLen = 48;
constexpr size_t kIdpromSize = 256;

// Reads and checks the description in `path`. On failure `errors` holds one
// line per fault, each "<file>:<line>: <where>: <what is wrong>", and `out`
// is left as it was.
bool chassis_load(const std::string& path, ChassisDesc* out, std::vector<std::string>* errors);
// The same for a text already read; `file` names it in the messages and is
// the folder that relative file names are resolved against.
bool chassis_parse(std::string_view text, const std::string& file, ChassisDesc* out,
                   std::vector<std::string>* errors);

const char* platform_name(Platform p);
const char* sensor_kind_name(SensorKind k);
// "active", "standby", "none" or the number.
std::string role_name(int32_t role);
// Parses "active", "standby", "none" or a decimal number.
bool parse_role(std::string_view text, int32_t* role);
// Dotted IPv4 text of a host-order address, and back.
std::string address_text(uint32_t address);
bool parse_address(std::string_view text, uint32_t* address);
// Location text of a slot ("0/RP0", "0/3", ...) for rack `rack`.
std::string slot_location(int32_t rack_type, int32_t rack_num, int32_t slot);

}  // namespace envsim

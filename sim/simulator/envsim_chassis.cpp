// Reading and checking chassis descriptions (format in envsim_chassis.h).
#include "envsim_chassis.h"

#include <arpa/inet.h>
#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <functional>
#include <map>
#include <set>
#include <sstream>

#include "envsim_json.h"
#include "nodeid.h"

namespace envsim {

namespace {

using json = nlohmann::json;

constexpr size_t kMaxErrors = 50;
constexpr int32_t kMaxBackplaneSlot = 63;
// Olbrisk's card manager answers for the first 16 slots only.
constexpr int32_t kOlbriskCardSlots = 16;

struct SensorKindRow {
  const char* name;
  SensorKind kind;
  uint32_t subtype;
};
constexpr SensorKindRow kSensorKinds[] = {
    {"temperature", SensorKind::temperature, 25}, {"voltage", SensorKind::voltage, 29},
    {"current", SensorKind::current, 7},          {"power", SensorKind::power, 23},
    {"fan_speed", SensorKind::fan_speed, 8},      {"led", SensorKind::led, 13},
};

// Card class of each card slot type: the card-information class byte and the
// class of the card-object notifications.
struct CardClassRow {
  int32_t slot_type;
  int32_t pi_type;
  int32_t cm_card_type;
};
constexpr CardClassRow kCardClasses[] = {
    {NODEID_SLOT_LC, 0, 0}, {NODEID_SLOT_RP, 1, 1}, {NODEID_SLOT_SC, 1, 1},
    {NODEID_SLOT_FC, 3, 3}, {NODEID_SLOT_SW, 9, 9},
};

std::string pointer_to_path(const std::string& pointer) {
  // "/cards/2/slot" -> "cards[2].slot"
  std::string out;
  size_t i = 0;
  while (i < pointer.size()) {
    size_t next = pointer.find('/', i + 1);
    std::string tok = pointer.substr(i + 1, next == std::string::npos ? std::string::npos
                                                                       : next - i - 1);
    std::string unescaped;
    for (size_t k = 0; k < tok.size(); ++k) {
      if (tok[k] == '~' && k + 1 < tok.size()) {
        unescaped += tok[k + 1] == '1' ? '/' : '~';
        ++k;
      } else {
        unescaped += tok[k];
      }
    }
    const bool numeric = !unescaped.empty() &&
                         std::all_of(unescaped.begin(), unescaped.end(),
                                     [](char c) { return c >= '0' && c <= '9'; });
    if (numeric) {
      out += "[" + unescaped + "]";
    } else if (unescaped.find('/') != std::string::npos) {
      out += "[\"" + unescaped + "\"]";
    } else {
      if (!out.empty()) out += ".";
      out += unescaped;
    }
    if (next == std::string::npos) break;
    i = next;
  }
  return out.empty() ? "(top level)" : out;
}

std::string base_name(const std::string& path) {
  const auto slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string dir_name(const std::string& path) {
  const auto slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

// Walks the document, converting values and collecting faults with their lines.
class Checker {
 public:
  Checker(const JsonDoc& doc, const std::string& file, std::vector<std::string>* errors)
      : doc_(doc), file_(file), errors_(errors) {}

  void fail(const std::string& pointer, const std::string& what) {
    if (errors_->size() >= kMaxErrors) return;
    errors_->push_back(base_name(file_) + ":" + std::to_string(doc_.line_of(pointer)) + ": " +
                       pointer_to_path(pointer) + ": " + what);
  }
  bool ok() const { return errors_->empty(); }

  const json* at(const std::string& pointer) const {
    const json::json_pointer p(pointer);
    return doc_.root.contains(p) ? &doc_.root.at(p) : nullptr;
  }

  // Refuses members not in `allowed`; false when `pointer` is no object.
  bool object(const std::string& pointer, std::initializer_list<const char*> allowed) {
    const json* v = at(pointer);
    if (v == nullptr || !v->is_object()) {
      fail(pointer, "must be an object");
      return false;
    }
    for (const auto& item : v->items()) {
      const bool known = std::any_of(allowed.begin(), allowed.end(),
                                     [&](const char* a) { return item.key() == a; });
      if (!known) {
        std::string list;
        for (const char* a : allowed) list += std::string(list.empty() ? "" : ", ") + a;
        fail(pointer + "/" + json_pointer_token(item.key()), "unknown key (known: " + list + ")");
      }
    }
    return true;
  }

  bool has(const std::string& pointer) const { return at(pointer) != nullptr; }

  bool require(const std::string& pointer) {
    if (has(pointer)) return true;
    const auto slash = pointer.rfind('/');
    fail(pointer.substr(0, slash), "missing key \"" + pointer.substr(slash + 1) + "\"");
    return false;
  }

  // Unsigned integer in [lo, hi]; accepts "0x..." texts when `hex_text`.
  bool integer(const std::string& pointer, int64_t lo, int64_t hi, int64_t* out,
               bool hex_text = false) {
    const json* v = at(pointer);
    if (v == nullptr) return false;
    int64_t n = 0;
    if (v->is_number_unsigned()) {
      const uint64_t u = v->get<uint64_t>();
      if (u > static_cast<uint64_t>(hi)) {
        fail(pointer, range_text(*v, lo, hi, hex_text));
        return false;
      }
      n = static_cast<int64_t>(u);
    } else if (v->is_number_integer()) {
      n = v->get<int64_t>();
    } else if (hex_text && v->is_string()) {
      const std::string s = v->get<std::string>();
      if (s.size() < 3 || s.size() > 10 || s[0] != '0' || (s[1] != 'x' && s[1] != 'X') ||
          !std::all_of(s.begin() + 2, s.end(), [](char c) { return std::isxdigit(c) != 0; })) {
        fail(pointer, "\"" + s + "\" is not a hexadecimal code such as \"0x60010000\"");
        return false;
      }
      n = static_cast<int64_t>(std::stoull(s.substr(2), nullptr, 16));
    } else {
      fail(pointer, hex_text ? "must be an integer or a \"0x...\" code"
                             : "must be an integer");
      return false;
    }
    if (n < lo || n > hi) {
      fail(pointer, range_text(*v, lo, hi, hex_text));
      return false;
    }
    *out = n;
    return true;
  }

  template <typename T>
  void optional_integer(const std::string& pointer, int64_t lo, int64_t hi, T* out,
                        bool hex_text = false) {
    int64_t n = 0;
    if (has(pointer) && integer(pointer, lo, hi, &n, hex_text)) *out = static_cast<T>(n);
  }

  template <typename T>
  void required_integer(const std::string& pointer, int64_t lo, int64_t hi, T* out,
                        bool hex_text = false) {
    if (require(pointer)) optional_integer(pointer, lo, hi, out, hex_text);
  }

  void code(const std::string& pointer, uint32_t* out, bool required) {
    if (required && !require(pointer)) return;
    optional_integer(pointer, 0, 0xffffffffLL, out, true);
  }

  bool text(const std::string& pointer, size_t max_len, std::string* out) {
    const json* v = at(pointer);
    if (v == nullptr) return false;
    if (!v->is_string()) {
      fail(pointer, "must be a text");
      return false;
    }
    const std::string s = v->get<std::string>();
    if (s.size() > max_len) {
      fail(pointer, "\"" + s + "\" is longer than " + std::to_string(max_len) + " characters");
      return false;
    }
    if (s.find('\0') != std::string::npos) {
      fail(pointer, "must not hold a zero character");
      return false;
    }
    *out = s;
    return true;
  }

  void boolean(const std::string& pointer, bool* out) {
    const json* v = at(pointer);
    if (v == nullptr) return;
    if (!v->is_boolean()) {
      fail(pointer, "must be true or false");
      return;
    }
    *out = v->get<bool>();
  }

  size_t array_size(const std::string& pointer, bool required) {
    const json* v = at(pointer);
    if (v == nullptr) {
      if (required) require(pointer);
      return 0;
    }
    if (!v->is_array()) {
      fail(pointer, "must be a list");
      return 0;
    }
    return v->size();
  }

  const std::string& file() const { return file_; }

 private:
  static std::string range_text(const json& v, int64_t lo, int64_t hi, bool hex) {
    std::ostringstream s;
    s << v.dump() << " is out of range ";
    if (hex) {
      s << "0x" << std::hex << lo << "-0x" << hi;
    } else {
      s << lo << "-" << hi;
    }
    return s.str();
  }

  const JsonDoc& doc_;
  std::string file_;
  std::vector<std::string>* errors_;
};

void read_sensors(Checker& c, const std::string& pointer, std::vector<SensorDesc>* out) {
  const size_t n = c.array_size(pointer, false);
  std::set<std::string> names;
  for (size_t i = 0; i < n; ++i) {
    const std::string p = pointer + "/" + std::to_string(i);
    if (!c.object(p, {"name", "kind", "value", "thresholds"})) continue;
    SensorDesc s;
    if (c.require(p + "/name") && c.text(p + "/name", kMaxSensorNameLen, &s.name)) {
      if (s.name.empty()) {
        c.fail(p + "/name", "must not be empty");
      } else if (!names.insert(s.name).second) {
        c.fail(p + "/name", "sensor \"" + s.name + "\" is listed twice for this unit");
      }
    }
    std::string kind;
    if (c.require(p + "/kind") && c.text(p + "/kind", 32, &kind)) {
      bool found = false;
      for (const auto& row : kSensorKinds) {
        if (kind == row.name) {
          s.kind = row.kind;
          s.subtype = row.subtype;
          found = true;
        }
      }
      if (!found) {
        c.fail(p + "/kind", "\"" + kind +
                                "\" is no sensor kind (temperature, voltage, current, power, "
                                "fan_speed, led)");
      }
    }
    c.required_integer(p + "/value", INT32_MIN, INT32_MAX, &s.value);
    if (c.has(p + "/thresholds")) {
      const size_t t = c.array_size(p + "/thresholds", false);
      if (c.at(p + "/thresholds")->is_array() && t != s.thresholds.size()) {
        c.fail(p + "/thresholds",
               "needs 6 values (critical low, critical high, major low, major high, minor low, "
               "minor high), has " +
                   std::to_string(t));
      } else if (t == s.thresholds.size()) {
        s.has_thresholds = true;
        for (size_t k = 0; k < t; ++k) {
          c.optional_integer(p + "/thresholds/" + std::to_string(k), INT32_MIN, INT32_MAX,
                             &s.thresholds[k]);
        }
      }
    }
    out->push_back(std::move(s));
  }
}

// Checks that `slot` is a backplane slot of one of `types`; gives its type and number.
bool slot_of_class(Checker& c, const std::string& pointer, std::initializer_list<int32_t> types,
                   const char* what, int32_t* slot, int32_t* slot_type, int32_t* slot_num) {
  if (!c.require(pointer)) return false;
  int64_t n = 0;
  if (!c.integer(pointer, 0, kMaxBackplaneSlot, &n)) return false;
  int32_t pi_slot = 0;
  int32_t type = -1;
  int32_t num = -1;
  if (interpret_backplane_slotid(static_cast<int32_t>(n), 0, &pi_slot, &type, &num) != NODEID_OK ||
      std::find(types.begin(), types.end(), type) == types.end()) {
    c.fail(pointer, "slot " + std::to_string(n) + " is no " + what +
                        " slot (route processors 0-1, system controllers 2-3, fabric cards "
                        "4-9, line cards 10-25, switches 26-29, power trays 30-33, fan trays "
                        "41-46, power modules 48-63)");
    return false;
  }
  *slot = static_cast<int32_t>(n);
  if (slot_type != nullptr) *slot_type = type;
  if (slot_num != nullptr) *slot_num = num;
  return true;
}

void read_idprom(Checker& c, const std::string& pointer, std::string* out) {
  std::string name;
  if (!c.has(pointer) || !c.text(pointer, 4096, &name)) return;
  const std::string path = name.empty() || name[0] == '/' ? name : dir_name(c.file()) + "/" + name;
  struct stat st {};
  if (name.empty() || stat(path.c_str(), &st) != 0) {
    c.fail(pointer, "IDPROM image \"" + path + "\" cannot be read: " +
                        (name.empty() ? std::string("empty name") : std::strerror(errno)));
    return;
  }
  if (!S_ISREG(st.st_mode) || static_cast<size_t>(st.st_size) != kIdpromSize) {
    c.fail(pointer, "IDPROM image \"" + path + "\" must be a file of " +
                        std::to_string(kIdpromSize) + " bytes");
    return;
  }
  *out = path;
}

class SlotOwners {
 public:
  void claim(Checker& c, const std::string& pointer, int32_t slot) {
    auto [it, fresh] = owners_.emplace(slot, pointer);
    if (!fresh) {
      c.fail(pointer, "slot " + std::to_string(slot) + " is already taken by " +
                          pointer_to_path(it->second));
    }
  }

 private:
  std::map<int32_t, std::string> owners_;
};

void read_cards(Checker& c, ChassisDesc* d, SlotOwners* slots) {
  const size_t n = c.array_size("/cards", true);
  if (c.has("/cards") && c.at("/cards")->is_array() && n == 0) {
    c.fail("/cards", "a chassis needs at least one card");
  }
  std::map<uint32_t, std::string> addresses;
  for (size_t i = 0; i < n; ++i) {
    const std::string p = "/cards/" + std::to_string(i);
    if (!c.object(p, {"slot", "hw_type", "role", "address", "pid", "serial", "hw_major",
                      "hw_minor", "state", "sw_state", "pi_type", "present", "sensors"})) {
      continue;
    }
    CardDesc card;
    if (slot_of_class(c, p + "/slot",
                      {NODEID_SLOT_LC, NODEID_SLOT_RP, NODEID_SLOT_SC, NODEID_SLOT_FC,
                       NODEID_SLOT_SW},
                      "card", &card.slot, &card.slot_type, &card.slot_num)) {
      slots->claim(c, p + "/slot", card.slot);
      if (d->platform == Platform::olbrisk && card.slot >= kOlbriskCardSlots) {
        c.fail(p + "/slot", "olbrisk cards sit in slots below " +
                                std::to_string(kOlbriskCardSlots));
      }
      for (const auto& row : kCardClasses) {
        if (row.slot_type == card.slot_type) {
          card.pi_type = row.pi_type;
          card.cm_card_type = row.cm_card_type;
        }
      }
    }
    c.code(p + "/hw_type", &card.hw_type, true);
    std::string role;
    if (c.require(p + "/role") && c.text(p + "/role", 16, &role)) {
      if (role != "active" && role != "standby" && role != "none") {
        c.fail(p + "/role", "\"" + role + "\" is no role (active, standby, none)");
      } else {
        parse_role(role, &card.role);
      }
    }
    std::string address;
    if (c.require(p + "/address") && c.text(p + "/address", 15, &address)) {
      if (!parse_address(address, &card.address) || (card.address >> 24) != 127) {
        c.fail(p + "/address", "\"" + address + "\" is no 127.x.y.z address");
      } else if (card.address == 0x7f000001u) {
        c.fail(p + "/address", "127.0.0.1 is the node-scope address every card shares");
      } else if (auto [it, fresh] = addresses.emplace(card.address, p); !fresh) {
        c.fail(p + "/address", address + " is already the address of " +
                                   pointer_to_path(it->second));
      }
    }
    c.text(p + "/pid", kMaxPidLen, &card.pid);
    c.text(p + "/serial", kMaxSerialLen, &card.serial);
    c.optional_integer(p + "/hw_major", 0, 0xffff, &card.hw_major);
    c.optional_integer(p + "/hw_minor", 0, 0xffff, &card.hw_minor);
    c.optional_integer(p + "/state", 1, kCardStateMax, &card.state);
    c.optional_integer(p + "/sw_state", 0, INT32_MAX, &card.sw_state);
    c.optional_integer(p + "/pi_type", 0, 255, &card.pi_type);
    c.boolean(p + "/present", &card.present);
    read_sensors(c, p + "/sensors", &card.sensors);
    d->cards.push_back(std::move(card));
  }
}

void read_fan_trays(Checker& c, ChassisDesc* d, SlotOwners* slots) {
  const size_t n = c.array_size("/fan_trays", false);
  for (size_t i = 0; i < n; ++i) {
    const std::string p = "/fan_trays/" + std::to_string(i);
    if (!c.object(p, {"slot", "hw_type", "fans", "present", "pid", "serial", "idprom",
                      "sensors"})) {
      continue;
    }
    FanTrayDesc ft;
    if (slot_of_class(c, p + "/slot", {NODEID_SLOT_FT}, "fan tray", &ft.slot, nullptr,
                      nullptr)) {
      slots->claim(c, p + "/slot", ft.slot);
    }
    c.code(p + "/hw_type", &ft.hw_type, true);
    c.optional_integer(p + "/fans", 0, 64, &ft.fans);
    c.boolean(p + "/present", &ft.present);
    c.text(p + "/pid", kMaxPidLen, &ft.pid);
    c.text(p + "/serial", kMaxSerialLen, &ft.serial);
    read_idprom(c, p + "/idprom", &ft.idprom);
    read_sensors(c, p + "/sensors", &ft.sensors);
    d->fan_trays.push_back(std::move(ft));
  }
}

void read_power_trays(Checker& c, ChassisDesc* d, SlotOwners* slots) {
  const size_t n = c.array_size("/power_trays", false);
  for (size_t i = 0; i < n; ++i) {
    const std::string p = "/power_trays/" + std::to_string(i);
    if (!c.object(p, {"slot", "hw_type", "modules"})) continue;
    PowerTrayDesc pt;
    if (c.has(p + "/slot") &&
        slot_of_class(c, p + "/slot", {NODEID_SLOT_PT}, "power tray", &pt.slot, nullptr,
                      nullptr)) {
      slots->claim(c, p + "/slot", pt.slot);
    }
    c.code(p + "/hw_type", &pt.hw_type, false);
    const size_t m = c.array_size(p + "/modules", true);
    for (size_t k = 0; k < m; ++k) {
      const std::string q = p + "/modules/" + std::to_string(k);
      if (!c.object(q, {"slot", "hw_type", "present", "pid", "serial", "idprom", "sensors"})) {
        continue;
      }
      PowerModuleDesc pm;
      if (slot_of_class(c, q + "/slot", {NODEID_SLOT_PM}, "power module", &pm.slot, nullptr,
                        nullptr)) {
        slots->claim(c, q + "/slot", pm.slot);
      }
      c.code(q + "/hw_type", &pm.hw_type, true);
      c.boolean(q + "/present", &pm.present);
      c.text(q + "/pid", kMaxPidLen, &pm.pid);
      c.text(q + "/serial", kMaxSerialLen, &pm.serial);
      read_idprom(c, q + "/idprom", &pm.idprom);
      read_sensors(c, q + "/sensors", &pm.sensors);
      pt.modules.push_back(std::move(pm));
    }
    d->power_trays.push_back(std::move(pt));
  }
}

}  // namespace

bool chassis_parse(std::string_view text, const std::string& file, ChassisDesc* out,
                   std::vector<std::string>* errors) {
  errors->clear();
  JsonDoc doc;
  std::string error;
  if (!json_parse_with_lines(text, &doc, &error)) {
    errors->push_back(base_name(file) + ":" + error);
    return false;
  }
  Checker c(doc, file, errors);
  if (!doc.root.is_object()) {
    c.fail("", "a chassis description is a JSON object");
    return false;
  }
  c.object("", {"platform", "description", "chassis", "cards", "fan_trays", "power_trays",
                "config"});
  ChassisDesc d;
  d.file = file;
  std::string platform;
  if (c.require("/platform") && c.text("/platform", 16, &platform)) {
    if (platform == "tavrin") {
      d.platform = Platform::tavrin;
    } else if (platform == "olbrisk") {
      d.platform = Platform::olbrisk;
    } else {
      c.fail("/platform", "\"" + platform + "\" is no platform (tavrin, olbrisk)");
    }
  }
  c.text("/description", 1024, &d.description);
  if (c.require("/chassis") &&
      c.object("/chassis", {"type", "pid", "serial", "hw_major", "hw_minor", "rack_type",
                            "rack"})) {
    c.code("/chassis/type", &d.chassis_type, true);
    c.text("/chassis/pid", kMaxPidLen, &d.pid);
    c.text("/chassis/serial", kMaxSerialLen, &d.serial);
    c.optional_integer("/chassis/hw_major", 0, 0xffff, &d.hw_major);
    c.optional_integer("/chassis/hw_minor", 0, 0xffff, &d.hw_minor);
    c.optional_integer("/chassis/rack_type", 0, NODEID_MAX_RACK_TYPE, &d.rack_type);
    c.optional_integer("/chassis/rack", 0, NODEID_MAX_RACK_NUM, &d.rack_num);
  }
  SlotOwners slots;
  read_cards(c, &d, &slots);
  if (c.ok() && std::none_of(d.cards.begin(), d.cards.end(), [](const CardDesc& k) {
        return k.slot_type == NODEID_SLOT_RP;
      })) {
    c.fail("/cards", "a chassis needs a route processor (slot 0 or 1)");
  }
  read_fan_trays(c, &d, &slots);
  read_power_trays(c, &d, &slots);
  if (const json* cfg = c.at("/config"); cfg != nullptr) {
    if (!cfg->is_object()) {
      c.fail("/config", "must be an object of key paths and values");
    } else {
      for (const auto& item : cfg->items()) {
        const std::string p = "/config/" + json_pointer_token(item.key());
        ConfigEntry e;
        e.path = item.key();
        if (e.path.empty() || e.path[0] != '/' || e.path.back() == '/' ||
            e.path.find("//") != std::string::npos) {
          c.fail(p, "\"" + e.path + "\" is no key path such as \"/environment/config/...\"");
          continue;
        }
        const json& v = item.value();
        if (v.is_boolean() && v.get<bool>()) {
          e.has_value = false;
        } else if (v.is_string()) {
          e.value = v.get<std::string>();
          e.has_value = true;
        } else if (v.is_number_integer()) {
          e.value = v.dump();
          e.has_value = true;
        } else {
          c.fail(p, "must be a text, an integer or true (a key without a value)");
          continue;
        }
        d.config.push_back(std::move(e));
      }
    }
  }
  if (!c.ok()) return false;
  *out = std::move(d);
  return true;
}

bool chassis_load(const std::string& path, ChassisDesc* out, std::vector<std::string>* errors) {
  errors->clear();
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    errors->push_back(path + ": cannot be read: " + std::strerror(errno));
    return false;
  }
  std::ostringstream text;
  text << in.rdbuf();
  if (in.bad()) {
    errors->push_back(path + ": read failed: " + std::strerror(errno));
    return false;
  }
  return chassis_parse(text.str(), path, out, errors);
}

const char* platform_name(Platform p) { return p == Platform::tavrin ? "tavrin" : "olbrisk"; }

const char* sensor_kind_name(SensorKind k) {
  for (const auto& row : kSensorKinds) {
    if (row.kind == k) return row.name;
  }
  return "?";
}

std::string role_name(int32_t role) {
  switch (role) {
    case kRoleActive:
      return "active";
    case kRoleStandby:
      return "standby";
    case kRoleNone:
      return "none";
    default:
      return std::to_string(role);
  }
}

bool parse_role(std::string_view text, int32_t* role) {
  if (text == "active") {
    *role = kRoleActive;
  } else if (text == "standby") {
    *role = kRoleStandby;
  } else if (text == "none") {
    *role = kRoleNone;
  } else {
    if (text.empty() || text.size() > 11) return false;
    size_t i = text[0] == '-' ? 1 : 0;
    if (i == text.size()) return false;
    int64_t v = 0;
    for (; i < text.size(); ++i) {
      if (text[i] < '0' || text[i] > '9') return false;
      v = v * 10 + (text[i] - '0');
    }
    if (text[0] == '-') v = -v;
    if (v < INT32_MIN || v > INT32_MAX) return false;
    *role = static_cast<int32_t>(v);
  }
  return true;
}

std::string address_text(uint32_t address) {
  return std::to_string(address >> 24) + "." + std::to_string((address >> 16) & 0xff) + "." +
         std::to_string((address >> 8) & 0xff) + "." + std::to_string(address & 0xff);
}

bool parse_address(std::string_view text, uint32_t* address) {
  const std::string s(text);
  in_addr a{};
  if (s.empty() || s.size() > 15 || inet_pton(AF_INET, s.c_str(), &a) != 1) return false;
  *address = ntohl(a.s_addr);
  return true;
}

std::string slot_location(int32_t rack_type, int32_t rack_num, int32_t slot) {
  uint32_t rack = 0;
  int32_t pi_slot = 0;
  nodeid_td node = nullptr;
  char buf[32] = {0};
  if (nodeid_rack_create(rack_type, rack_num, &rack) != NODEID_OK ||
      interpret_backplane_slotid(slot, rack_type, &pi_slot, nullptr, nullptr) != NODEID_OK ||
      nodeid_create(rack, pi_slot, 0, &node) != NODEID_OK) {
    return "slot-" + std::to_string(slot);
  }
  const int rc = nodeid_to_str_external(node, buf, sizeof buf);
  nodeid_destroy(node);
  return rc == NODEID_OK ? std::string(buf) : "slot-" + std::to_string(slot);
}

}  // namespace envsim

// Inventory XML parser stand-in on libxml2. A description is read whole when
// it is opened; lookups work on the entities kept from it.
#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <libxml/parser.h>
#include <libxml/tree.h>

#include <array>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

extern "C" {
#include <safe_str_lib.h>
}

#include "inv_parser.h"
#include "invxmltab.h"
#include "simpaths.h"
#include "tlg.h"

namespace {

constexpr char kXmlDir[] = "/opt/tolvu/pelmarok/usr/xml/";
constexpr uint32_t kDefaultCategory = 6;
constexpr uint32_t kSensorType = 8;
constexpr uint32_t kLedSubtype = 13;
constexpr std::array<const char*, 6> kThresholdAttrs = {"crit_lo", "crit_hi", "maj_lo",
                                                         "maj_hi",  "min_lo",  "min_hi"};

struct Entity {
  uint32_t category = kDefaultCategory;
  uint8_t type = 0;
  uint8_t subtype = 0;
  inv_eid id{};
  bool root = false;
  uint8_t threshold_mask = 0;  // bit i: kThresholdAttrs[i] given
  inv_parser_eid_data data{};
  int line = 0;
};

tlg_handle_t trace() {
  static tlg_handle_t h = [] {
    tlg_handle_t t = nullptr;
    tlg_open_internal(&t, "inv_parser", 0, 0, "./sim/inv_parser", "sim", nullptr);
    return t;
  }();
  return h;
}

// Parses a whole string as a number (decimal, or 0x-hex), within [lo, hi].
std::optional<int64_t> parse_number(std::string_view text, int64_t lo, int64_t hi) {
  if (text.empty() || text.size() > 24) return std::nullopt;
  std::string s(text);
  errno = 0;
  char* end = nullptr;
  long long v = strtoll(s.c_str(), &end, 0);
  if (errno != 0 || end == s.c_str() || *end != '\0') return std::nullopt;
  if (v < lo || v > hi) return std::nullopt;
  return v;
}

struct Attr {
  const char* name;
  std::string value;
};

std::vector<Attr> attributes(xmlNode* node) {
  std::vector<Attr> out;
  for (xmlAttr* a = node->properties; a; a = a->next) {
    xmlChar* v = xmlNodeListGetString(node->doc, a->children, 1);
    out.push_back({reinterpret_cast<const char*>(a->name), v ? reinterpret_cast<char*>(v) : ""});
    xmlFree(v);
  }
  return out;
}

// Reads "t/s/i t/s/i ..." into the levels of id.
bool parse_levels(const std::string& text, inv_eid* id) {
  id->level_count = 0;
  size_t pos = 0;
  while (pos < text.size()) {
    while (pos < text.size() && text[pos] == ' ') ++pos;
    if (pos >= text.size()) break;
    size_t end = text.find(' ', pos);
    if (end == std::string::npos) end = text.size();
    std::string_view level(text.data() + pos, end - pos);
    size_t s1 = level.find('/');
    size_t s2 = s1 == std::string_view::npos ? s1 : level.find('/', s1 + 1);
    if (s2 == std::string_view::npos) return false;
    auto t = parse_number(level.substr(0, s1), 0, 255);
    auto st = parse_number(level.substr(s1 + 1, s2 - s1 - 1), 0, 255);
    auto in = parse_number(level.substr(s2 + 1), 0, 65535);
    if (!t || !st || !in || id->level_count >= INV_EID_MAX_LEVELS) return false;
    id->levels[id->level_count++] = {static_cast<uint8_t>(*t), static_cast<uint8_t>(*st),
                                     static_cast<uint16_t>(*in)};
    pos = end;
  }
  return id->level_count > 0;
}

bool same_levels(const inv_eid& a, const inv_eid& b) {
  if (a.level_count != b.level_count || a.level_count > INV_EID_MAX_LEVELS) return false;
  return memcmp(a.levels, b.levels, a.level_count * sizeof(inv_eid_level)) == 0;
}

}  // namespace

struct inv_parser_xml {
  std::string file;
  int32_t poll_rate = 0;
  int32_t delta = 0;
  std::vector<Entity> entities;
};

namespace {

// Fills one entity from its element; false (traced) on a bad attribute.
bool read_entity(inv_parser_xml* x, xmlNode* node, Entity* e) {
  e->line = static_cast<int>(xmlGetLineNo(node));
  std::optional<int64_t> type, subtype, instance;
  std::string tsi;
  for (const Attr& a : attributes(node)) {
    const std::string_view n = a.name;
    auto num = [&](int64_t lo, int64_t hi) -> std::optional<int64_t> {
      auto v = parse_number(a.value, lo, hi);
      if (!v)
        tlg_internal(trace(), "inv_parser: %s: line %d: bad value \"%s\" of attribute %s\n",
                     x->file.c_str(), e->line, a.value.c_str(), a.name);
      return v;
    };
    std::optional<int64_t> v;
    if (n == "name") {
      if (a.value.size() >= sizeof(e->data.name) ||
          strcpy_s(e->data.name, sizeof(e->data.name), a.value.c_str()) != EOK) {
        tlg_internal(trace(), "inv_parser: %s: line %d: name \"%s\" longer than %zu characters\n",
                     x->file.c_str(), e->line, a.value.c_str(), sizeof(e->data.name) - 1);
        return false;
      }
      continue;
    }
    if (n == "tsi") {
      tsi = a.value;
      continue;
    }
    bool is_threshold = false;
    for (size_t i = 0; i < kThresholdAttrs.size(); ++i) {
      if (n == kThresholdAttrs[i]) {
        if (!(v = num(INT32_MIN, INT32_MAX))) return false;
        e->data.thresholds[i] = static_cast<int32_t>(*v);
        e->threshold_mask |= static_cast<uint8_t>(1u << i);
        is_threshold = true;
      }
    }
    if (is_threshold) continue;
    if (n == "category") {
      if (!(v = num(0, UINT32_MAX))) return false;
      e->category = static_cast<uint32_t>(*v);
    } else if (n == "type") {
      if (!(type = num(0, 255))) return false;
    } else if (n == "subtype") {
      if (!(subtype = num(0, 255))) return false;
    } else if (n == "instance") {
      if (!(instance = num(0, 65535))) return false;
    } else if (n == "root") {
      if (!(v = num(0, 1))) return false;
      e->root = *v == 1;
    } else if (n == "hw_position") {
      if (!(v = num(0, UINT32_MAX))) return false;
      e->data.hw_position = static_cast<uint32_t>(*v);
    } else if (n == "pos_num") {
      if (!(v = num(0, UINT32_MAX))) return false;
      e->data.pos_num = static_cast<uint32_t>(*v);
    } else if (n == "logic_slot") {
      if (!(v = num(0, UINT32_MAX))) return false;
      e->data.logic_slot = static_cast<uint32_t>(*v);
    } else if (n == "driver") {
      if (!(v = num(0, UINT32_MAX))) return false;
      e->data.driver = static_cast<uint32_t>(*v);
    } else if (n == "scale") {
      if (!(v = num(0, 255))) return false;
      e->data.scale = static_cast<uint8_t>(*v);
    } else if (n == "precision") {
      if (!(v = num(0, 255))) return false;
      e->data.precision = static_cast<uint8_t>(*v);
    } else if (n == "obfl_disabled") {
      if (!(v = num(0, 1))) return false;
      e->data.obfl_disabled = static_cast<uint8_t>(*v);
    } else if (n == "attr") {
      if (!(v = num(0, UINT32_MAX))) return false;
      e->data.attr = static_cast<uint32_t>(*v);
    } else if (n == "poll_rate") {
      if (!(v = num(0, INT32_MAX))) return false;
      e->data.poll_rate = static_cast<int32_t>(*v);
    } else if (n == "delta") {
      if (!(v = num(0, INT32_MAX))) return false;
      e->data.delta = static_cast<int32_t>(*v);
    } else if (n == "stby_zn_budget" || n == "max_budget" || n == "ext_budget") {
      if (!(v = num(0, 65535))) return false;
      uint16_t& dst = n == "stby_zn_budget" ? e->data.stby_zn_budget
                      : n == "max_budget"   ? e->data.max_budget
                                            : e->data.ext_budget;
      dst = static_cast<uint16_t>(*v);
    }
    // Other attributes are comments for people reading the file.
  }
  if (!tsi.empty()) {
    if (!parse_levels(tsi, &e->id)) {
      tlg_internal(trace(), "inv_parser: %s: line %d: bad tsi \"%s\"\n", x->file.c_str(), e->line,
                   tsi.c_str());
      return false;
    }
  } else {
    if (!type || !subtype) {
      tlg_internal(trace(), "inv_parser: %s: line %d: entity without type/subtype\n",
                   x->file.c_str(), e->line);
      return false;
    }
    e->id.level_count = 1;
    e->id.levels[0] = {static_cast<uint8_t>(*type), static_cast<uint8_t>(*subtype),
                       static_cast<uint16_t>(instance.value_or(0))};
  }
  const inv_eid_level& last = e->id.levels[e->id.level_count - 1];
  e->type = type ? static_cast<uint8_t>(*type) : last.type;
  e->subtype = subtype ? static_cast<uint8_t>(*subtype) : last.subtype;
  e->data.instance = instance ? static_cast<uint16_t>(*instance) : last.instance;
  return true;
}

void quiet(void*, const char*, ...) {}

inv_parser_xml* load(const char* data, size_t len, const std::string& name) {
  if (len > static_cast<size_t>(INT32_MAX)) return nullptr;
  xmlInitParser();
  // The reason of a failure is traced below; libxml2 writes nothing itself.
  xmlSetGenericErrorFunc(nullptr, quiet);
  std::unique_ptr<xmlParserCtxt, decltype(&xmlFreeParserCtxt)> ctxt(xmlNewParserCtxt(),
                                                                     &xmlFreeParserCtxt);
  if (!ctxt) return nullptr;
  std::unique_ptr<xmlDoc, decltype(&xmlFreeDoc)> doc(
      xmlCtxtReadMemory(ctxt.get(), data, static_cast<int>(len), name.c_str(), nullptr,
                        XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING),
      &xmlFreeDoc);
  if (!doc) {
    xmlErrorPtr err = xmlCtxtGetLastError(ctxt.get());
    std::string msg = err && err->message ? err->message : "unreadable";
    while (!msg.empty() && msg.back() == '\n') msg.pop_back();
    tlg_internal(trace(), "inv_parser: %s: line %d: not well formed: %s\n", name.c_str(),
                 err ? err->line : 0, msg.c_str());
    return nullptr;
  }
  xmlNode* root = xmlDocGetRootElement(doc.get());
  if (!root || xmlStrcmp(root->name, BAD_CAST "inventory") != 0) {
    tlg_internal(trace(), "inv_parser: %s: root element is not <inventory>\n", name.c_str());
    return nullptr;
  }
  auto x = std::make_unique<inv_parser_xml>();
  x->file = name;
  for (const Attr& a : attributes(root)) {
    const std::string_view n = a.name;
    if (n != "poll_rate" && n != "delta") continue;
    auto v = parse_number(a.value, 0, INT32_MAX);
    if (!v) {
      tlg_internal(trace(), "inv_parser: %s: bad value \"%s\" of attribute %s\n", name.c_str(),
                   a.value.c_str(), a.name);
      return nullptr;
    }
    (n == "poll_rate" ? x->poll_rate : x->delta) = static_cast<int32_t>(*v);
  }
  for (xmlNode* n = root->children; n; n = n->next) {
    if (n->type != XML_ELEMENT_NODE || xmlStrcmp(n->name, BAD_CAST "entity") != 0) continue;
    Entity e;
    if (!read_entity(x.get(), n, &e)) return nullptr;
    x->entities.push_back(e);
  }
  return x.release();
}

}  // namespace

extern "C" {

int inv_parser_init(struct evloop* /*loop*/) {
  xmlInitParser();
  return INV_PARSER_OK;
}

inv_xml_handle_t inv_parser_open_xml_buffer(const char* data, size_t len, const char* name) {
  if (!data || !name) return nullptr;
  return load(data, len, name);
}

inv_xml_handle_t inv_parser_open_xml_file(const char* path) {
  if (!path || !*path) return nullptr;
  char full[1024];
  if (!sim_path(path, full, sizeof(full))) {
    tlg_internal(trace(), "inv_parser: %s: path too long\n", path);
    return nullptr;
  }
  FILE* f = fopen(full, "rb");
  if (!f) {
    tlg_internal(trace(), "inv_parser: %s: cannot open: %s\n", full, strerror(errno));
    return nullptr;
  }
  std::string text;
  char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof(buf), f)) > 0) text.append(buf, n);
  const bool failed = ferror(f) != 0;
  fclose(f);
  if (failed) {
    tlg_internal(trace(), "inv_parser: %s: read failed\n", full);
    return nullptr;
  }
  return load(text.data(), text.size(), full);
}

inv_xml_handle_t inv_parser_open_xml_file_v2(uint32_t /*mode*/, const inv_parser_open_req* req) {
  if (!req) return nullptr;
  platform_inv_xml_req r{};
  r.pi_hw_type = static_cast<int32_t>(req->pi_hw_type);
  r.pd_hw_type = static_cast<int32_t>(req->pd_hw_type);
  r.hw_ver_maj = static_cast<int32_t>(req->hw_major);
  r.hw_ver_min = static_cast<int32_t>(req->hw_minor);
  snprintf(r.pid, sizeof(r.pid), "%.*s", static_cast<int>(sizeof(r.pid) - 1), req->pid);
  const char* path = platform_get_inv_xml_file_name_v2(&r);
  if (!path) {
    tlg_internal(trace(), "inv_parser: no description for pi %u pd 0x%x pid \"%s\" in %s\n",
                 req->pi_hw_type, req->pd_hw_type, r.pid, kXmlDir);
    return nullptr;
  }
  return inv_parser_open_xml_file(path);
}

const char* inv_parser_get_file_name(inv_xml_handle_t xml) { return xml ? xml->file.c_str() : ""; }

void inv_parser_close_xml_file(inv_xml_handle_t xml) { delete xml; }

int inv_parser_get_eid_by_type_subtype(inv_xml_handle_t xml, uint32_t category, uint8_t type,
                                       uint8_t subtype, uint16_t* count, inv_eid** eids) {
  if (!xml || !count || !eids) return INV_PARSER_ERR_ARG;
  std::vector<const Entity*> found;
  for (const Entity& e : xml->entities)
    if (e.category == category && e.type == type && e.subtype == subtype) found.push_back(&e);
  if (found.size() > UINT16_MAX) return INV_PARSER_ERR_ARG;
  *count = 0;
  *eids = nullptr;
  if (found.empty()) return INV_PARSER_OK;
  auto* out = static_cast<inv_eid*>(calloc(found.size(), sizeof(inv_eid)));
  if (!out) return INV_PARSER_ERR_NO_MEMORY;
  for (size_t i = 0; i < found.size(); ++i) out[i] = found[i]->id;
  *eids = out;
  *count = static_cast<uint16_t>(found.size());
  return INV_PARSER_OK;
}

int inv_parser_get_eid_data(inv_xml_handle_t xml, const inv_eid* eid, inv_parser_eid_data* data) {
  if (!xml || !eid || !data) return INV_PARSER_ERR_ARG;
  for (const Entity& e : xml->entities) {
    if (!same_levels(e.id, *eid)) continue;
    if (e.type == kSensorType && e.subtype != kLedSubtype && e.threshold_mask != 0x3f) {
      std::string missing;
      for (size_t i = 0; i < kThresholdAttrs.size(); ++i)
        if (!(e.threshold_mask & (1u << i))) missing += std::string(missing.empty() ? "" : ", ") + kThresholdAttrs[i];
      tlg_internal(trace(), "inv_parser: %s: line %d: sensor \"%s\" (%u/%u) has no threshold %s\n",
                   xml->file.c_str(), e.line, e.data.name, e.type, e.subtype, missing.c_str());
      return INV_PARSER_ERR_INCOMPLETE;
    }
    *data = e.data;
    return INV_PARSER_OK;
  }
  return INV_PARSER_ERR_NOT_FOUND;
}

int inv_parser_get_root_eid(inv_xml_handle_t xml, inv_eid** eid) {
  if (!xml || !eid) return INV_PARSER_ERR_ARG;
  const Entity* root = nullptr;
  for (const Entity& e : xml->entities) {
    if (e.root) {
      root = &e;
      break;
    }
  }
  if (!root && !xml->entities.empty()) root = &xml->entities.front();
  if (!root) return INV_PARSER_ERR_NOT_FOUND;
  auto* out = static_cast<inv_eid*>(calloc(1, sizeof(inv_eid)));
  if (!out) return INV_PARSER_ERR_NO_MEMORY;
  *out = root->id;
  *eid = out;
  return INV_PARSER_OK;
}

int inv_parser_get_poll_rate(inv_xml_handle_t xml, int32_t* poll_rate) {
  if (!xml || !poll_rate) return INV_PARSER_ERR_ARG;
  *poll_rate = xml->poll_rate;
  return INV_PARSER_OK;
}

int inv_parser_get_delta(inv_xml_handle_t xml, int32_t* delta) {
  if (!xml || !delta) return INV_PARSER_ERR_ARG;
  *delta = xml->delta;
  return INV_PARSER_OK;
}

}  // extern "C"

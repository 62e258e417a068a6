// Publications and watches of the directory service.
#include "dsd_registry.h"

#include <cstdlib>
#include <cstring>

#include "msgpipe.h"
#include "pelmarok_ds.h"

namespace {

constexpr uint32_t kMaxEndpointBytes = 15;

const char* or_dash(const char* s) { return s && s[0] ? s : "-"; }

bool same_text(const char* a, const char* b) {
  if (!a || !b) return a == b;
  return std::strcmp(a, b) == 0;
}

bool same_place(const ds_service_info& a, const ds_service_info& b) {
  return a.endpoint_len == b.endpoint_len &&
         (a.endpoint_len == 0 || std::memcmp(a.endpoint, b.endpoint, a.endpoint_len) == 0) &&
         same_text(a.instance_name, b.instance_name);
}

// Why a service information cannot be published, or null when it can.
const char* refusal(const ds_service_info& info) {
  if (!msgcodec_test_bit(&info.present, DS_SERVICE_INFO_BIT_ENDPOINT) || info.endpoint_len == 0) {
    return "entry without an endpoint";
  }
  if (info.endpoint_len > kMaxEndpointBytes) return "encoded endpoint longer than 15 bytes";
  msgpipe_endpoint ep{};
  if (msgcodec_msgpipe_endpoint_decode_ext(&ep, info.endpoint, info.endpoint_len, malloc) < 0 ||
      (ep.present & (MSGPIPE_ENDPOINT_HAS_ADDRESS | MSGPIPE_ENDPOINT_HAS_PORT)) !=
          (MSGPIPE_ENDPOINT_HAS_ADDRESS | MSGPIPE_ENDPOINT_HAS_PORT)) {
    return "endpoint does not decode to an address and a port";
  }
  return nullptr;
}

}  // namespace

void DsRegistry::InfoFree::operator()(ds_service_info* p) const {
  msgcodec_ds_service_info_free_ext(p, free);
  std::free(p);
}

DsRegistry::DsRegistry(Log log) : log_(std::move(log)) {}

std::string DsRegistry::name_of(uint64_t conn) const {
  auto it = names_.find(conn);
  if (it != names_.end()) return it->second;
  return "client " + std::to_string(conn);
}

void DsRegistry::handle(uint64_t conn, ds_wire_msg& msg, std::vector<DsOutgoing>& out) {
  switch (msg.op) {
    case DS_OP_HELLO: {
      std::string name = msg.client_name ? msg.client_name : "";
      if (name.empty()) name = "client " + std::to_string(conn);
      name += " (pid " + std::to_string(msg.pid) + ")";
      names_[conn] = name;
      log_("client " + std::to_string(conn) + " is " + name);
      break;
    }
    case DS_OP_PUBLISH:
      publish(conn, msg, out);
      break;
    case DS_OP_WATCH:
      watch(conn, msg, out);
      break;
    case DS_OP_UNWATCH:
      unwatch(conn, msg, out);
      break;
    default: {
      const std::string why = "unexpected message " + std::to_string(msg.op) + " (" + ds_wire_op_name(msg.op) + ")";
      log_("refused message from " + name_of(conn) + ": " + why);
      answer(conn, DS_OP_ERROR, msg.seq, PELMAROK_DS_ERR_FAILED, why, out);
      break;
    }
  }
}

void DsRegistry::publish(uint64_t conn, ds_wire_msg& msg, std::vector<DsOutgoing>& out) {
  ds_service_publish_info& pub = msg.publish;
  const char* why = nullptr;
  if (!msgcodec_test_bit(msg.present, DS_WIRE_BIT_PUBLISH) || !pub.service_name || !pub.service_name[0]) {
    why = "publication without a service name";
  }
  for (uint32_t i = 0; !why && i < pub.service_info_count; ++i) why = refusal(pub.service_info[i]);
  if (why) {
    log_("refused PUBLISH from " + name_of(conn) + ": " + why);
    answer(conn, DS_OP_PUBLISH_ACK, msg.seq, PELMAROK_DS_ERR_FAILED, why, out);
    return;
  }
  const std::string service = pub.service_name;

  // The new entries replace what this client published under the name before.
  std::vector<Entry> old;
  for (auto it = entries_.begin(); it != entries_.end();) {
    if (it->conn == conn && it->service == service) {
      old.push_back(std::move(*it));
      it = entries_.erase(it);
    } else {
      ++it;
    }
  }
  std::vector<const ds_service_info*> touched;
  for (uint32_t i = 0; i < pub.service_info_count; ++i) {
    std::unique_ptr<ds_service_info, InfoFree> info(
        static_cast<ds_service_info*>(std::calloc(1, sizeof(ds_service_info))));
    if (!info) break;
    *info = pub.service_info[i];
    msgcodec_ds_service_info_clear(&pub.service_info[i]);  // taken over
    std::free(info->service_name);
    info->service_name = strdup(service.c_str());
    if (info->service_name) msgcodec_set_bit(&info->present, DS_SERVICE_INFO_BIT_SERVICE_NAME);
    log_("published " + service + " for " + name_of(conn) + ": scope " + std::to_string(info->scope) +
         " endpoint " + ds_wire_endpoint_text(info->endpoint, info->endpoint_len) + " instance " +
         or_dash(info->instance_name) + " attributes " + std::to_string(info->attribute_count));
    touched.push_back(info.get());
    entries_.push_back(Entry{conn, service, std::move(info)});
  }
  std::vector<const ds_service_info*> withdrawn;
  for (const Entry& e : old) {
    touched.push_back(e.info.get());
    bool again = false;
    for (const Entry& n : entries_) {
      again = again || (n.conn == conn && n.service == service && same_place(*n.info, *e.info));
    }
    if (!again) {
      withdrawn.push_back(e.info.get());
      log_("withdrew " + service + " entry of " + name_of(conn) + ": endpoint " +
           ds_wire_endpoint_text(e.info->endpoint, e.info->endpoint_len) + " instance " +
           or_dash(e.info->instance_name));
    }
  }
  answer(conn, DS_OP_PUBLISH_ACK, msg.seq, 0, "", out);
  notify_change(service, touched, withdrawn, out);
}

void DsRegistry::watch(uint64_t conn, const ds_wire_msg& msg, std::vector<DsOutgoing>& out) {
  const ds_service_notification_req& req = msg.watch;
  if (!msgcodec_test_bit(msg.present, DS_WIRE_BIT_WATCH) || !req.service_name || !req.service_name[0]) {
    const char* why = "watch without a service name";
    log_("refused WATCH from " + name_of(conn) + ": " + why);
    answer(conn, DS_OP_WATCH_ACK, msg.seq, PELMAROK_DS_ERR_FAILED, why, out);
    return;
  }
  Watch w{conn, msg.seq, req.service_name, req.instance_name != nullptr,
          req.instance_name ? req.instance_name : ""};
  bool replaced = false;
  for (Watch& existing : watches_) {
    if (existing.conn == conn && existing.id == msg.seq) {
      existing = w;
      replaced = true;
    }
  }
  if (!replaced) watches_.push_back(w);
  log_(name_of(conn) + " watches " + w.service + (w.has_instance ? " instance " + w.instance : ""));
  answer(conn, DS_OP_WATCH_ACK, msg.seq, 0, "", out);
  std::vector<const ds_service_info*> current;
  for (const Entry& e : entries_) {
    if (matches(w, e.service, *e.info)) current.push_back(e.info.get());
  }
  send_entries(w, DS_OP_NOTIFY, current, out);
}

void DsRegistry::unwatch(uint64_t conn, const ds_wire_msg& msg, std::vector<DsOutgoing>& out) {
  int32_t status = PELMAROK_DS_ERR_FAILED;
  for (auto it = watches_.begin(); it != watches_.end(); ++it) {
    if (it->conn == conn && it->id == msg.seq) {
      log_(name_of(conn) + " stopped watching " + it->service);
      watches_.erase(it);
      status = 0;
      break;
    }
  }
  answer(conn, DS_OP_UNWATCH_ACK, msg.seq, status, status ? "no such watch" : "", out);
}

void DsRegistry::drop(uint64_t conn, std::vector<DsOutgoing>& out) {
  std::erase_if(watches_, [conn](const Watch& w) { return w.conn == conn; });
  std::vector<Entry> gone;
  for (auto it = entries_.begin(); it != entries_.end();) {
    if (it->conn == conn) {
      gone.push_back(std::move(*it));
      it = entries_.erase(it);
    } else {
      ++it;
    }
  }
  std::map<std::string, std::vector<const ds_service_info*>> by_service;
  for (const Entry& e : gone) {
    log_("withdrew " + e.service + " entry of " + name_of(conn) + " (connection gone): endpoint " +
         ds_wire_endpoint_text(e.info->endpoint, e.info->endpoint_len) + " instance " +
         or_dash(e.info->instance_name));
    by_service[e.service].push_back(e.info.get());
  }
  for (const auto& [service, list] : by_service) notify_change(service, list, list, out);
  names_.erase(conn);
}

bool DsRegistry::matches(const Watch& w, const std::string& service, const ds_service_info& info) const {
  if (w.service != service) return false;
  return !w.has_instance || (info.instance_name && w.instance == info.instance_name);
}

void DsRegistry::notify_change(const std::string& service, const std::vector<const ds_service_info*>& touched,
                               const std::vector<const ds_service_info*>& withdrawn,
                               std::vector<DsOutgoing>& out) {
  for (const Watch& w : watches_) {
    bool affected = false;
    for (const ds_service_info* info : touched) affected = affected || matches(w, service, *info);
    if (!affected) continue;
    std::vector<const ds_service_info*> deleted;
    for (const ds_service_info* info : withdrawn) {
      if (matches(w, service, *info)) deleted.push_back(info);
    }
    if (!deleted.empty()) send_entries(w, DS_OP_NOTIFY_DELETED, deleted, out);
    std::vector<const ds_service_info*> current;
    for (const Entry& e : entries_) {
      if (matches(w, e.service, *e.info)) current.push_back(e.info.get());
    }
    send_entries(w, DS_OP_NOTIFY, current, out);
  }
}

void DsRegistry::send_entries(const Watch& w, uint32_t op, const std::vector<const ds_service_info*>& list,
                              std::vector<DsOutgoing>& out) {
  // Shallow copies: the message only reads them while it is encoded.
  std::vector<ds_service_info> copies;
  copies.reserve(list.size());
  for (const ds_service_info* info : list) copies.push_back(*info);
  ds_wire_msg msg = ds_wire_make(op, w.id);
  msg.entries = copies.empty() ? nullptr : copies.data();
  msg.entry_count = static_cast<uint32_t>(copies.size());
  msgcodec_set_bit(msg.present, DS_WIRE_BIT_ENTRIES);
  uint32_t len = 0;
  uint8_t* buf = ds_wire_encode(msg, &len);
  if (!buf) {
    log_("cannot encode " + std::string(ds_wire_op_name(op)) + " for " + name_of(w.conn));
    return;
  }
  out.push_back(DsOutgoing{w.conn, std::vector<uint8_t>(buf, buf + len)});
  std::free(buf);
}

void DsRegistry::answer(uint64_t conn, uint32_t op, uint32_t seq, int32_t status, const std::string& why,
                        std::vector<DsOutgoing>& out) {
  ds_wire_msg msg = ds_wire_make(op, seq);
  msg.status = status;
  msgcodec_set_bit(msg.present, DS_WIRE_BIT_STATUS);
  if (!why.empty()) {
    msg.text = const_cast<char*>(why.c_str());
    msgcodec_set_bit(msg.present, DS_WIRE_BIT_TEXT);
  }
  uint32_t len = 0;
  uint8_t* buf = ds_wire_encode(msg, &len);
  if (!buf) return;
  out.push_back(DsOutgoing{conn, std::vector<uint8_t>(buf, buf + len)});
  std::free(buf);
}

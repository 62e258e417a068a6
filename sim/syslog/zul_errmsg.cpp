// zul_errmsg: formats a message record and hands the line to the syslog model
// through the service mechanism's own thread (callers have no event loop).
#include "zul_errmsg.h"

#include <stdarg.h>
#include <stdio.h>

#include <deque>
#include <mutex>
#include <string>

#include "msgcodec_define.h"
#include "zul_errmsg_wire.h"

namespace {
constexpr msgcodec_field kLogFields[] = {
    MSGCODEC_TEXT(zul_log_msg, text, 0),         MSGCODEC_INT(zul_log_msg, code, 1),
    MSGCODEC_INT(zul_log_msg, severity, 2),      MSGCODEC_TEXT(zul_log_msg, mnemonic, 3),
    MSGCODEC_TEXT(zul_log_msg, facility, 4),     MSGCODEC_TEXT(zul_log_msg, sub_facility, 5),
};
}  // namespace
MSGCODEC_DEFINE(zul_log_msg, zul_log_msg, present, kLogFields)

namespace syslog_wire {
namespace {
constexpr simsvc::Message kMessages[] = {{kLog, &msgcodec_type_zul_log_msg, "log"}};
}  // namespace
const simsvc::Service kService = simsvc::make_service("syslog", kMessages);
}  // namespace syslog_wire

namespace {

// Messages raised before the service is reached wait here, up to a bound.
constexpr size_t kMaxWaiting = 1024;
constexpr size_t kMaxLine = 2048;

struct Line {
  std::string text;
  uint32_t code;
  int32_t severity;
  std::string mnemonic;
  std::string facility;
  std::string sub_facility;
};

// Lives on the agent loop; touched only there.
struct Sender {
  simsvc::Client* client = nullptr;
  std::deque<Line> waiting;
  size_t dropped = 0;

  void send(const Line& l) {
    zul_log_msg m{};
    msgcodec_zul_log_msg_clear(&m);
    m.text = const_cast<char*>(l.text.c_str());
    m.code = l.code;
    m.severity = l.severity;
    m.mnemonic = const_cast<char*>(l.mnemonic.c_str());
    m.facility = const_cast<char*>(l.facility.c_str());
    m.sub_facility = const_cast<char*>(l.sub_facility.c_str());
    for (unsigned bit = 0; bit < 6; ++bit) msgcodec_set_bit(&m.present, bit);
    client->send(syslog_wire::kLog, &m);
  }

  void flush() {
    while (!waiting.empty() && client->is_connected()) {
      send(waiting.front());
      waiting.pop_front();
    }
  }

  void take(Line l) {
    if (client == nullptr) {
      simsvc::Client::Events ev;
      ev.connected = [this](int32_t status) {
        if (status == 0) flush();
      };
      client = simsvc::Client::create(simsvc::agent_loop(), &syslog_wire::kService, std::move(ev));
      if (client == nullptr) return;
      client->connect();
    }
    if (client->is_connected()) {
      send(l);
      return;
    }
    if (waiting.size() >= kMaxWaiting) {
      waiting.pop_front();
      ++dropped;
    }
    waiting.push_back(std::move(l));
  }
};

Sender& sender() {
  static Sender* s = new Sender();  // used by the agent thread until the process ends
  return *s;
}

const char* or_empty(const char* s) { return s != nullptr ? s : ""; }

int format_v(char* buf, size_t len, const zul_msg_rec* rec, int severity, va_list ap) {
  if (rec == nullptr || rec->fmt == nullptr) return snprintf(buf, len, "(no message record)");
  const int head = snprintf(buf, len, "%%%s-%s-%d-%s : ", or_empty(rec->facility),
                            or_empty(rec->sub_facility), severity, or_empty(rec->mnemonic));
  if (head < 0) return head;
  // The leading text's format takes the first arguments, the message's the rest.
  const std::string fmt = std::string(or_empty(rec->prefix_fmt)) + rec->fmt;
  const size_t used = static_cast<size_t>(head) < len ? static_cast<size_t>(head) : len;
  const int body = vsnprintf(buf == nullptr ? nullptr : buf + used, len - used, fmt.c_str(), ap);
  if (body < 0) return body;
  return head + body;
}

}  // namespace

extern "C" {

int zul_msg_format(char* buf, size_t len, const zul_msg_rec* rec, int severity, ...) {
  va_list ap;
  va_start(ap, severity);
  const int n = format_v(buf, len, rec, severity, ap);
  va_end(ap);
  return n;
}

void zul_errmsg(const zul_msg_rec* rec, int severity, ...) {
  char text[kMaxLine];
  va_list ap;
  va_start(ap, severity);
  const int n = format_v(text, sizeof text, rec, severity, ap);
  va_end(ap);
  if (n < 0) return;
  Line l{text,
         rec != nullptr ? rec->code : 0,
         severity,
         rec != nullptr ? or_empty(rec->mnemonic) : "",
         rec != nullptr ? or_empty(rec->facility) : "",
         rec != nullptr ? or_empty(rec->sub_facility) : ""};
  simsvc::agent_post([l = std::move(l)]() mutable { sender().take(std::move(l)); });
}

}  // extern "C"

// Syslog model: the lines the processes logged, in the order they came.
#include <deque>
#include <sstream>

#include "envsim_sim.h"
#include "zul_errmsg_wire.h"

namespace envsim {

namespace {

// The oldest lines go once this many are kept.
constexpr size_t kMaxLines = 10000;

struct LogLine {
  uint64_t seq;
  std::string client;
  int32_t severity;
  uint32_t code;
  std::string mnemonic;
  std::string text;
};

class SyslogModel : public Model {
 public:
  explicit SyslogModel(Simulator& sim) : sim_(sim) {
    simsvc::Server::Handler h;
    h.message = [this](simsvc::Peer& p, const simsvc::Message& m, uint32_t, int32_t,
                       void* payload) {
      if (m.id != syslog_wire::kLog) return;
      auto* r = static_cast<zul_log_msg*>(payload);
      if (!msgcodec_test_bit(&r->present, 0) || r->text == nullptr) return;
      // One message is one line of the listing.
      std::string text = r->text;
      for (char& ch : text) {
        if (ch == '\n' || ch == '\r' || ch == '\t') ch = ' ';
      }
      while (!text.empty() && text.back() == ' ') text.pop_back();
      if (lines_.size() >= kMaxLines) lines_.pop_front();
      lines_.push_back(LogLine{++seq_, sim_.client_text(p), r->severity, r->code,
                               r->mnemonic != nullptr ? r->mnemonic : "", text});
      sim_.log("syslog: " + text);
      sim_.changed();
    };
    sim_.server().add(&syslog_wire::kService, std::move(h));
  }

  const char* name() const override { return "syslog"; }

  void show(std::ostream& out) const override {
    for (const auto& l : lines_) {
      char code[16];
      snprintf(code, sizeof code, "0x%08x", l.code);
      out << "syslog seq=" << l.seq << " " << l.client << " severity=" << l.severity
          << " code=" << code << " mnemonic=" << (l.mnemonic.empty() ? "-" : l.mnemonic)
          << " text=" << l.text << "\n";
    }
  }

 private:
  Simulator& sim_;
  std::deque<LogLine> lines_;
  uint64_t seq_ = 0;
};

}  // namespace

std::unique_ptr<Model> make_syslog_model(Simulator& sim) {
  return std::make_unique<SyslogModel>(sim);
}

}  // namespace envsim

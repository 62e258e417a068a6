// The server core's syslog messages: their records, read by the syslog
// library, the getters that give them, and the message sent for a fan tray
// no description fits.
#include "envmon_syslog.h"

#include "envmon.h"
#include "zul_errmsg.h"

namespace {
constexpr int kSeverityError = 3;
// Severity 3 in the byte at offset 50 of the record.
constexpr uint32_t kSeverityWord = 3u << 16;
}  // namespace

extern "C" {

const zul_msg_rec zul_msg_rec_envmon_power_tray_mismatch = {
    "%s",
    "Power tray mismatch, inserted power tray is %s in PT%d, in chassis type %s",
    nullptr,
    "ENVMON",
    "LIB",
    "POWER_TRAY_MISMATCH",
    kSeverityWord,
    {},
    0x14de0000u,
    0};

const zul_msg_rec zul_msg_rec_envmon_unsupported_fan_tray = {
    nullptr,
    "Unsupported Fan Tray (Location: %s, PID: %s, Controller Type: 0x%x)",
    nullptr,
    "ENVMON",
    "LIB",
    "UNSUPPORTED_FAN_TRAY",
    kSeverityWord,
    {},
    0x14de0001u,
    0};

const zul_msg_rec* zul_msg_rec_envmon_power_tray_mismatch_getfn(void) {
  return &zul_msg_rec_envmon_power_tray_mismatch;
}

const zul_msg_rec* zul_msg_rec_envmon_unsupported_fan_tray_getfn(void) {
  return &zul_msg_rec_envmon_unsupported_fan_tray;
}

}  // extern "C"

void envmon_syslog_unsupported_fan_tray(const char* location, const char* pid, uint32_t type) {
  zul_errmsg(&zul_msg_rec_envmon_unsupported_fan_tray, kSeverityError, location, pid, type);
}

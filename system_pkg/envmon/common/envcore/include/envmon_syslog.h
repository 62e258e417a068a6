// The server core's syslog messages: the two message records the syslog
// library reads (zul_errmsg.h), their getters, and the sender of the
// unsupported-fan-tray message.
#pragma once

#include <stdint.h>

struct zul_msg_rec;

#ifdef __cplusplus
extern "C" {
#endif

// "Power tray mismatch, inserted power tray is %s in PT%d, in chassis type %s"
// after a leading "%s"; error severity.
extern const struct zul_msg_rec zul_msg_rec_envmon_power_tray_mismatch;
// "Unsupported Fan Tray (Location: %s, PID: %s, Controller Type: 0x%x)"; error severity.
extern const struct zul_msg_rec zul_msg_rec_envmon_unsupported_fan_tray;

const struct zul_msg_rec* zul_msg_rec_envmon_power_tray_mismatch_getfn(void);
const struct zul_msg_rec* zul_msg_rec_envmon_unsupported_fan_tray_getfn(void);

#ifdef __cplusplus
}

// Sends the unsupported-fan-tray message with error severity.
void envmon_syslog_unsupported_fan_tray(const char* location, const char* pid, uint32_t type);
#endif

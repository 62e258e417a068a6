// The syslog messages between processes and the syslog model of the chassis
// simulator.
#pragma once

#include <stdint.h>

#include "msgcodec.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef struct zul_log_msg {
  char* text;          // bit 0, the whole logged line
  uint32_t code;       // bit 1
  int32_t severity;    // bit 2
  char* mnemonic;      // bit 3
  char* facility;      // bit 4
  char* sub_facility;  // bit 5
  uint8_t present;
} zul_log_msg;

MSGCODEC_DECLARE(zul_log_msg, zul_log_msg)

#ifdef __cplusplus
}

#include "simsvc.h"

namespace syslog_wire {

enum : uint32_t {
  kLog = 1,  // client -> model, zul_log_msg
};

extern const simsvc::Service kService;

}  // namespace syslog_wire
#endif

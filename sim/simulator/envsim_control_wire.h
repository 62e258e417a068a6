// Messages of the simulator's own control service, between `envsim` and the
// simulator it scripts.
#pragma once

#include <stdint.h>

#include "msgcodec.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef struct envsim_arg {
  char* text;  // bit 0
  uint8_t present;
} envsim_arg;

typedef struct envsim_command_msg {
  envsim_arg* args;  // bit 0
  uint32_t arg_count;
  uint8_t present;
} envsim_command_msg;

typedef struct envsim_result_msg {
  int32_t status;  // bit 0
  char* text;      // bit 1
  uint8_t present;
} envsim_result_msg;

MSGCODEC_DECLARE(envsim_arg, envsim_arg)
MSGCODEC_DECLARE(envsim_command_msg, envsim_command_msg)
MSGCODEC_DECLARE(envsim_result_msg, envsim_result_msg)

#ifdef __cplusplus
}

#include "simsvc.h"

namespace envsim_wire {

enum : uint32_t {
  kCommand = 1,  // envsim -> simulator, envsim_command_msg
  kResult = 2,   // simulator -> envsim, envsim_result_msg (request id of the command)
};

extern const simsvc::Service kService;

}  // namespace envsim_wire
#endif

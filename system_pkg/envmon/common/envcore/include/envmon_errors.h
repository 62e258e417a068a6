// 64-bit result codes of the monitoring server's libraries. 0 is success; a
// failure is a base (class in the top four bits, facility, error number in the
// low bits) plus the component number shifted left by 20.
#pragma once

#include <stdint.h>

typedef uint64_t envmon_err_t;

// The core's component number, shared by envcore, pemcore and the hardware
// abstractions.
inline constexpr uint64_t ENVMON_COMPONENT_ID = 3233;

inline constexpr uint64_t envmon_make_err(uint64_t base) {
  return base + (ENVMON_COMPONENT_ID << 20);
}

inline constexpr envmon_err_t ENVMON_OK = 0;

// Bases of the server libraries.
inline constexpr uint64_t ENVMON_ERR_BASE_NOT_CONNECTED = 0x101014de00000801ULL;
inline constexpr uint64_t ENVMON_ERR_BASE_INVALID_ARG = 0x401014de00000802ULL;
inline constexpr uint64_t ENVMON_ERR_BASE_ACTIVATION = 0x101014de00000803ULL;
inline constexpr uint64_t ENVMON_ERR_BASE_TLG_INIT = 0x301014de00000804ULL;
inline constexpr uint64_t ENVMON_ERR_BASE_NO_MEMORY = 0x401014de00000806ULL;
inline constexpr uint64_t ENVMON_ERR_BASE_UNSUPPORTED_FANTRAY = 0x401014de00000807ULL;

// Final codes.
// Peer not connected; a file cannot be opened.
inline constexpr envmon_err_t ENVMON_ERR_NOT_CONNECTED = envmon_make_err(ENVMON_ERR_BASE_NOT_CONNECTED);
// Bad parameters; no record for an entity id; work already done.
inline constexpr envmon_err_t ENVMON_ERR_INVALID_ARG = envmon_make_err(ENVMON_ERR_BASE_INVALID_ARG);
// The configuration client failed to activate its namespaces.
inline constexpr envmon_err_t ENVMON_ERR_ACTIVATION = envmon_make_err(ENVMON_ERR_BASE_ACTIVATION);
// A trace buffer could not be opened.
inline constexpr envmon_err_t ENVMON_ERR_TLG_INIT = envmon_make_err(ENVMON_ERR_BASE_TLG_INIT);
// An allocation failed.
inline constexpr envmon_err_t ENVMON_ERR_NO_MEMORY = envmon_make_err(ENVMON_ERR_BASE_NO_MEMORY);
// Fan-tray handling of the driver client met a tray type it does not support.
inline constexpr envmon_err_t ENVMON_ERR_UNSUPPORTED_FANTRAY =
    envmon_make_err(ENVMON_ERR_BASE_UNSUPPORTED_FANTRAY);

static_assert(ENVMON_ERR_NOT_CONNECTED == 0x101014deca100801ULL);
static_assert(ENVMON_ERR_INVALID_ARG == 0x401014deca100802ULL);
static_assert(ENVMON_ERR_ACTIVATION == 0x101014deca100803ULL);
static_assert(ENVMON_ERR_TLG_INIT == 0x301014deca100804ULL);
static_assert(ENVMON_ERR_NO_MEMORY == 0x401014deca100806ULL);
static_assert(ENVMON_ERR_UNSUPPORTED_FANTRAY == 0x401014deca100807ULL);

// The 32-bit answer of envmon_hal_send_card_info / envmon_hal_send_chassis_info
// once the information has been processed: the low word of the invalid-argument
// code (component 3233, error 2050).
inline constexpr uint32_t ENVMON_ERR32_ALREADY_DONE = static_cast<uint32_t>(ENVMON_ERR_INVALID_ARG);
static_assert(ENVMON_ERR32_ALREADY_DONE == 0xca100802u);

// Only the low 32 bits of a start-up result are tested by its callers.
inline constexpr bool envmon_failed32(envmon_err_t rc) {
  return static_cast<uint32_t>(rc) != 0;
}

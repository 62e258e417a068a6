// The fan-tray and power-module models of platform tavrin: hardware types and
// product ids, shared by the card names and the IDPROM checks.
#pragma once

#include <stdint.h>

#pragma GCC visibility push(hidden)
namespace envhal::tavrin {

// Chassis types.
inline constexpr uint32_t kChassis8Slot = 0x60010000;
inline constexpr uint32_t kChassis16Slot = 0x60010001;
inline constexpr uint32_t kChassis4Slot = 0x60010002;

// Product ids of the power modules.
inline constexpr char kPid3kAc[] = "TVR-PSU3K-AC";
inline constexpr char kPid3kAcReverse[] = "TVR-PSU3K-ACR";
inline constexpr char kPid3kDc[] = "TVR-PSU3K-DC";
inline constexpr char kPid3kUv[] = "TVR-PSU3K-UV";
inline constexpr char kPid3k2Hv[] = "TVR-PSU3K-2HV";
inline constexpr char kPid4k4Dc[] = "TVR-PSU4K4-DC";
inline constexpr char kPid1k6Ac[] = "TVR-PSU1K6-AC";
inline constexpr char kPid1k6Dc[] = "TVR-PSU1K6-DC";

// Product ids of the fan trays.
inline constexpr char kPidFan8[] = "TVR-FAN-8S";
inline constexpr char kPidFan8V2[] = "TVR-FAN-8S-V2";
inline constexpr char kPidFan16[] = "TVR-FAN-16S";
inline constexpr char kPidFan16R[] = "TVR-FAN-16S-R";
inline constexpr char kPidFan16V2[] = "TVR-FAN-16S-V2";
inline constexpr char kPidFan4[] = "TVR-FAN-4S";
inline constexpr char kPidFan4V2[] = "TVR-FAN-4S-V2";
inline constexpr char kPidFanGen[] = "TVR-FAN-GEN";
inline constexpr char kPidFanGenR[] = "TVR-FAN-GEN-R";

}  // namespace envhal::tavrin
#pragma GCC visibility pop

// Which IDPROM product ids tavrin accepts, and the board id it reports for a
// power module.
#include <cstring>

#include "envhal_private.h"
#include "envhal_tavrin_units.h"

using namespace envhal::tavrin;

namespace {

constexpr const char* kFanTrayPids[] = {kPidFan8,    kPidFan8V2, kPidFan16,  kPidFan16R, kPidFan16V2,
                                        kPidFan4,    kPidFan4V2, kPidFanGen, kPidFanGenR};
constexpr const char* kPowerModulePids[] = {kPid3kAc,  kPid3kAcReverse, kPid3kDc,  kPid3kUv,
                                            kPid3k2Hv, kPid4k4Dc,       kPid1k6Ac, kPid1k6Dc};

// Power modules whose IDPROM may carry an older board id: the product id
// decides, tested in this order.
struct BoardIdFix {
  const char* pid;
  uint32_t board_id;
};
constexpr BoardIdFix kBoardIdFixes[] = {
    {kPid3kDc, 0xab010010}, {kPid3kUv, 0xab010020},  {kPid3k2Hv, 0xab010030},
    {kPid4k4Dc, 0xab010040}, {kPid1k6Ac, 0xab010308}, {kPid1k6Dc, 0xab010309},
};

template <size_t N>
bool on_list(const char* const (&list)[N], const char* pid) {
  for (const char* known : list) {
    // The terminator takes part, so a longer id never matches a shorter one.
    if (std::strncmp(pid, known, std::strlen(known) + 1) == 0) return true;
  }
  return false;
}

}  // namespace

namespace envhal::plat {

bool idprom_pid_accepted(bool fan_tray, const char* pid) {
  if (fan_tray) {
    if (on_list(kFanTrayPids, pid)) return true;
    tlg_internal(err_tlg_lib_hdl, "invalid fan tray pid %s from idprom\n", pid);
    return false;
  }
  if (on_list(kPowerModulePids, pid)) return true;
  tlg_internal(err_tlg_lib_hdl, "invalid power module pid %s from idprom\n", pid);
  return false;
}

uint32_t idprom_inv_board_id(const dc_idprom_content& decoded) {
  char pid[sizeof(decoded.pid) + 1] = {};
  std::memcpy(pid, decoded.pid, sizeof(decoded.pid));
  for (const BoardIdFix& f : kBoardIdFixes) {
    if (std::strstr(pid, f.pid) != nullptr) return f.board_id;
  }
  return decoded.board_id;
}

void idprom_trace_inv_fields(const dc_idprom_content& d) {
  // The texts come from the unit: print no more than their fields hold.
  char pid[sizeof(d.pid) + 1] = {};
  char serial[sizeof(d.pcb_serial) + 1] = {};
  std::memcpy(pid, d.pid, sizeof(d.pid));
  std::memcpy(serial, d.pcb_serial, sizeof(d.pcb_serial));
  tlg_internal(main_tlg_lib_hdl, "%s: board_id 0x%x, pid %s, sn %s, ver 0x%x\n",
               "envmon_hal_idprom_set_inv_proto_fields", d.board_id, pid, serial, d.version);
}

}  // namespace envhal::plat

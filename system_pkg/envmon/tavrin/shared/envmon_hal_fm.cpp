// The platform's share of fault reporting: fault tables per scope, repeatable
// faults of the node scope, the fault manager's callbacks, fault tags and
// severities, and the FPD hooks that hand power-module work to the PEM
// library.
#include <iterator>

#include "alarmd.h"
#include "envmon_core.h"
#include "envmon_fm.h"
#include "envmon_hal.h"
#include "envmon_pem.h"
#include "envhal_private.h"

namespace {

constexpr const char kUnknownFaultTag[] = "Unknown fault_tag=%ld\n";

// Voltage alarm ids 1..6: the tag per scope and the severity.
struct VoltageFault {
  uint32_t rack_tag;
  uint32_t node_tag;
  uint16_t level;
};
constexpr VoltageFault kVoltageFaults[] = {
    {29, 3, 5}, {29, 3, 4}, {29, 3, 3}, {28, 2, 5}, {28, 2, 4}, {28, 2, 3},
};

bool rack_tag_known(long tag) {
  switch (tag) {
    case 1: case 2: case 3: case 27: case 28: case 29: case 30: case 50:
      return true;
    default:
      return false;
  }
}

}  // namespace

namespace envhal {

void fm_set_repeatable(alarmd_handle_t handle, std::span<const FaultKey> faults) {
  for (const FaultKey& f : faults) {
    alarmd_set_action_repeat(handle, alarmd_create_local_fault_id(f.category, f.tag), 1);
  }
}

}  // namespace envhal

extern "C" {

int32_t envmon_hal_fm_update_fm_table(uint32_t /*scope*/) { return 1; }

const char* envmon_hal_fm_get_fm_table(uint32_t scope) {
  return scope == ENVMON_SCOPE_NODE ? "envmon_tavrin_nm_fm.xml" : "envmon_tavrin_rm_fm.xml";
}

void envmon_hal_fm_nm_set_repeatable(alarmd_handle_t handle) {
  static constexpr envhal::FaultKey kNodeRepeatable[] = {
      {14, 1}, {14, 2}, {14, 3}, {14, 4}, {10, 100}, {14, 5}, {14, 6},
  };
  envhal::fm_set_repeatable(handle, kNodeRepeatable);
}

int envmon_hal_fm_rm_action_handler(alarmd_handle_t handle, alarmd_fault_t* fault, uint32_t action, void* data,
                                    uint32_t data_len, void* ctx) {
  const long tag = alarmd_get_fault_tag(fault);
  if (!rack_tag_known(tag)) tlg_internal(err_tlg_lib_hdl, kUnknownFaultTag, tag);
  // The PEM library checks its own tags; its answer does not change ours.
  envmon_pem_fm_rm_action_handler(handle, fault, action, data, data_len, ctx);
  return 0;
}

int envmon_hal_fm_nm_action_handler(alarmd_handle_t /*handle*/, alarmd_fault_t* fault, uint32_t /*action*/,
                                    void* /*data*/, uint32_t /*data_len*/, void* /*ctx*/) {
  const long tag = alarmd_get_fault_tag(fault);
  if (tag < 1 || tag > 4) tlg_internal(err_tlg_lib_hdl, kUnknownFaultTag, tag);
  return 0;
}

int envmon_hal_fm_rm_error_handler(alarmd_handle_t /*handle*/, int64_t /*error*/) { return 0; }
int envmon_hal_fm_nm_error_handler(alarmd_handle_t /*handle*/, int64_t /*error*/) { return 0; }

int32_t envmon_hal_fm_configure_location_string(int32_t slot, char* location, pelm_eid** eid1, pelm_eid** eid2) {
  return envmon_pem_fm_configure_location_string(slot, location, eid1, eid2);
}

void envmon_hal_fm_configure_shutdown_card_fault(envmon_fm_fault_req* req, uint32_t* scope) {
  if (scope != nullptr) *scope = ENVMON_SCOPE_NODE;
  if (req != nullptr) req->fault_tag = 100;
}

envmon_fm_fault_req* envmon_hal_fm_configure_idprom_access_failure(envmon_fm_fault_req* req) {
  if (req != nullptr) req->fault_tag = 42;
  return req;
}

void envmon_hal_fm_configure_voltage_fault(envmon_fm_fault_req* req, alarmd_fault_data* data, uint32_t alarm_id,
                                           uint32_t scope) {
  if (alarm_id < 1 || alarm_id > std::size(kVoltageFaults)) return;
  const VoltageFault& f = kVoltageFaults[alarm_id - 1];
  if (req != nullptr) req->fault_tag = scope == ENVMON_SCOPE_NODE ? f.node_tag : f.rack_tag;
  if (data != nullptr) data->alarm_level = f.level;
}

void envmon_hal_fm_configure_powertray_oir_fault(envmon_fm_fault_req* /*req*/, uint8_t /*inserted*/) {
  tlg_internal(err_tlg_lib_hdl, "PT OIR - Tavrin does not have power tray\n");
}

uint32_t envmon_hal_get_fm_powertray_slottype(uint32_t /*slot*/) {
  tlg_internal(err_tlg_lib_hdl, "GET PT slottype - Tavrin does not have power tray\n");
  return 0xFFFFFFFFu;
}

void envmon_check_chassis_alarms(void) {}

// FPDs of the power modules belong to the PEM library.
envmon_err_t envmon_hal_fpd_image_set(fpd_drv_upgrade_req* req, fpd_data** fpd, uint32_t* state, uint8_t* proceed) {
  return envmon_pem_fpd_image_set(req, fpd, state, proceed) != 0 ? ENVMON_ERR_INVALID_ARG : ENVMON_OK;
}

uint32_t envmon_hal_fpd_get_upgrade_timeout(const fpd_data* fpd) { return envmon_pem_fpd_get_upgrade_timeout(fpd); }

void envmon_hal_fpd_init_slot(uint32_t slot) { envmon_pem_fpd_init_slot(slot); }

int32_t envmon_hal_fpd_init(fpd_data* fpd, uint32_t slot, uint32_t* value, void* work) {
  const int32_t rc = envmon_pem_fpd_init(fpd, slot, value, work);
  if (rc == 0 && value != nullptr) *value = slot;
  return rc;
}

}  // extern "C"

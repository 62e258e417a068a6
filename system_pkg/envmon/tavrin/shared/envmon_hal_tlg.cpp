// The library's trace buffers: opened at start-up under the process's own
// buffers, then the PEM library opens its buffers the same way.
#include "envmon_core.h"
#include "envmon_hal.h"
#include "envmon_pem.h"
#include "envhal_private.h"

extern "C" {
tlg_handle_t main_tlg_lib_hdl = nullptr;
tlg_handle_t err_tlg_lib_hdl = nullptr;
tlg_handle_t info_tlg_lib_hdl = nullptr;
tlg_handle_t dbg_tlg_lib_hdl = nullptr;
tlg_handle_t pwrm_tlg_lib_hdl = nullptr;
tlg_handle_t fanm_tlg_lib_hdl = nullptr;
tlg_handle_t fault_tlg_lib_hdl = nullptr;
tlg_handle_t smil_tlg_lib_hdl = nullptr;
tlg_handle_t obfl_tlg_lib_hdl = nullptr;
}

namespace {
// The library's trace points are numbered 0..236.
constexpr uint32_t kTracePoints = 237;
}  // namespace

extern "C" envmon_err_t envmon_hal_tlg_init(struct evloop* loop, tlg_handle_t main, tlg_handle_t err,
                                            tlg_handle_t info, tlg_handle_t dbg, tlg_handle_t pwrm,
                                            tlg_handle_t fanm, tlg_handle_t fault, tlg_handle_t smil,
                                            tlg_handle_t obfl) {
  envmon_debug_log("%s(): entered  %d\n", __func__, __LINE__);
  struct Buffer {
    tlg_handle_t* handle;
    const char* name;
    tlg_handle_t parent;
  };
  const Buffer buffers[] = {
      {&main_tlg_lib_hdl, "envmon_lib_main", main},   {&err_tlg_lib_hdl, "envmon_lib_err", err},
      {&info_tlg_lib_hdl, "envmon_lib_info", info},   {&dbg_tlg_lib_hdl, "envmon_lib_dbg", dbg},
      {&pwrm_tlg_lib_hdl, "envmon_lib_pwrm", pwrm},   {&fanm_tlg_lib_hdl, "envmon_lib_fanm", fanm},
      {&fault_tlg_lib_hdl, "envmon_lib_fault", fault}, {&smil_tlg_lib_hdl, "envmon_lib_smil", smil},
      {&obfl_tlg_lib_hdl, "envmon_lib_obfl", obfl},
  };
  for (const Buffer& b : buffers) {
    if (tlg_open_internal(b.handle, b.name, 0, kTracePoints, envhal::plat::tlg_component_path(),
                          envhal::plat::tlg_build_id(), b.parent) != 0) {
      envmon_debug_log("%s(): tlg_open failed for %s\n", "envmon_hal_tlg_init", b.name);
      return ENVMON_ERR_TLG_INIT;
    }
  }
  for (tlg_handle_t h : {main_tlg_lib_hdl, err_tlg_lib_hdl, info_tlg_lib_hdl, dbg_tlg_lib_hdl, fanm_tlg_lib_hdl,
                         pwrm_tlg_lib_hdl, fault_tlg_lib_hdl, smil_tlg_lib_hdl, obfl_tlg_lib_hdl}) {
    tlg_enable_configuration(h, loop);
  }
  const envmon_err_t rc = envmon_pem_tlg_init(envmon_evloop, main, err, info, dbg, pwrm, fanm, fault, smil, obfl);
  envmon_debug_log("%s(): returning (line %d)\n", __func__, __LINE__);
  return rc;
}

extern "C" void envmon_hal_dump_tlgs(void) {
  // The smil buffer is left out of the dump.
  for (tlg_handle_t h : {main_tlg_lib_hdl, fanm_tlg_lib_hdl, err_tlg_lib_hdl, info_tlg_lib_hdl, dbg_tlg_lib_hdl,
                         pwrm_tlg_lib_hdl, fault_tlg_lib_hdl, obfl_tlg_lib_hdl}) {
    if (h != nullptr) tlg_dump(h);
  }
}

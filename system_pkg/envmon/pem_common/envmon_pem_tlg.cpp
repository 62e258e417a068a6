// The library's nine trace buffers, opened under the process's buffers.
#include <cstdio>

#include "envmon_pem_private.h"

extern "C" {
tlg_handle_t main_tlg_pem_hdl = nullptr;
tlg_handle_t err_tlg_pem_hdl = nullptr;
tlg_handle_t info_tlg_pem_hdl = nullptr;
tlg_handle_t dbg_tlg_pem_hdl = nullptr;
tlg_handle_t pwrm_tlg_pem_hdl = nullptr;
tlg_handle_t fanm_tlg_pem_hdl = nullptr;
tlg_handle_t fault_tlg_pem_hdl = nullptr;
tlg_handle_t smil_tlg_pem_hdl = nullptr;
tlg_handle_t obfl_tlg_pem_hdl = nullptr;
}

namespace {
constexpr uint32_t kTracePoints = 261;
constexpr char kComponentPath[] = "./pelmarok/system_pkg/envmon/pem_common/pemcore";
}  // namespace

extern "C" envmon_err_t envmon_pem_tlg_init(struct evloop* loop, tlg_handle_t main, tlg_handle_t err,
                                            tlg_handle_t info, tlg_handle_t dbg, tlg_handle_t pwrm,
                                            tlg_handle_t fanm, tlg_handle_t fault, tlg_handle_t smil,
                                            tlg_handle_t obfl) {
  envmon_debug_log("%s : Entered", __func__);
  struct Buffer {
    tlg_handle_t* handle;
    const char* name;
    uint32_t size;
    tlg_handle_t parent;
    const char* failure_name;  // the name the failure message gives
  };
  const Buffer buffers[] = {
      {&main_tlg_pem_hdl, "envmon_pem_lib_main", 65536, main, "envmon_lib_main"},
      {&err_tlg_pem_hdl, "envmon_pem_lib_err", 32768, err, "envmon_lib_err"},
      {&info_tlg_pem_hdl, "envmon_pem_lib_info", 32768, info, "envmon_lib_info"},
      {&dbg_tlg_pem_hdl, "envmon_pem_lib_dbg", 65536, dbg, "envmon_lib_dbg"},
      {&pwrm_tlg_pem_hdl, "envmon_pem_lib_pwrm", 65536, pwrm, "envmon_lib_pwrm"},
      {&fanm_tlg_pem_hdl, "envmon_pem_lib_fanm", 32768, fanm, "envmon_lib_fanm"},
      {&fault_tlg_pem_hdl, "envmon_pem_lib_fault", 65536, fault, "envmon_lib_fault"},
      {&smil_tlg_pem_hdl, "envmon_pem_lib_smil", 32768, smil, "envmon_lib_smil"},
      {&obfl_tlg_pem_hdl, "envmon_pem_lib_obfl", 32768, obfl, "envmon_lib_obfl"},
  };
  for (const Buffer& b : buffers) {
    if (tlg_open_internal(b.handle, b.name, b.size, kTracePoints, kComponentPath, PEMCORE_BUILD_ID, b.parent) !=
        0) {
      std::fprintf(stderr, "%s(): tlg_open failed for %s\n", __func__, b.failure_name);
      return ENVMON_ERR_TLG_INIT;
    }
  }
  for (tlg_handle_t h : {main_tlg_pem_hdl, err_tlg_pem_hdl, info_tlg_pem_hdl, dbg_tlg_pem_hdl, fanm_tlg_pem_hdl,
                         pwrm_tlg_pem_hdl, fault_tlg_pem_hdl, smil_tlg_pem_hdl, obfl_tlg_pem_hdl}) {
    tlg_enable_configuration(h, loop);
  }
  return ENVMON_OK;
}

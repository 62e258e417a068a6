#include "core_traces.h"

#include "envmon.h"
#include "tlg_test.h"

namespace fakes {

void open_core_traces() {
  struct buf {
    tlg_handle_t* handle;
    const char* name;
  };
  const buf bufs[] = {
      {&main_tlg_cmn_hdl, "envmon_cmn_main"}, {&err_tlg_cmn_hdl, "envmon_cmn_err"},
      {&info_tlg_cmn_hdl, "envmon_cmn_info"}, {&dbg_tlg_cmn_hdl, "envmon_cmn_dbg"},
      {&pwrm_tlg_cmn_hdl, "envmon_cmn_pwrm"}, {&fanm_tlg_cmn_hdl, "envmon_cmn_fanm"},
      {&fault_tlg_cmn_hdl, "envmon_cmn_fault"}, {&smil_tlg_cmn_hdl, "envmon_cmn_smil"},
      {&obfl_tlg_cmn_hdl, "envmon_cmn_obfl"}, {&pmlib_tlg_cmn_hdl, "envmon_pmlib"},
  };
  for (const buf& b : bufs) {
    if (*b.handle == nullptr) {
      tlg_open_internal(b.handle, b.name, 0, 1167, "./pelmarok/system_pkg/envmon/common/envcore",
                        "test", nullptr);
    }
  }
  tlg_test_clear();
}

}  // namespace fakes

// Helpers shared by the core's tests: a clean process state per test, and the
// text written to the debug log.
#pragma once

#include <stdio.h>
#include <stdlib.h>

#include <string>

#include "envcore_standin.h"
#include "envmon.h"
#include "ship.h"
#include "tlg_test.h"

extern "C" void envcore_test_fail_calloc(int nth);

// Frees what the start-up functions built and forgets the records.
inline void envcore_free_records() {
  if (envmon_rm_t* rm = envmon_rm) {
    free(rm->chassis_sn);
    if (rm->fantray_cb) {
      for (uint32_t i = 0; i < envcore_standin().max_fantray; ++i) free(rm->fantray_cb[i].eeprom);
      free(rm->fantray_cb);
    }
    free(rm->pwr_tray_cont_reg_state);
    free(rm->rp_hw_position);
    free(rm->rp_info_rcvd);
    free(rm->fru_objs_lst);
    free(rm->fan_cont_pelm_eids);
    free(rm->fan_cont_reg_state);
    free(rm->fc_cb);
    free(rm->lc_cb);
    free(rm->sw_cb);
    free(rm);
    envmon_rm = nullptr;
  }
  if (envmon_nm_t* nm = envmon_nm) {
    free(nm->clients);
    free(nm->mpa);
    free(nm);
    envmon_nm = nullptr;
  }
}

// Reads everything written to a stdio stream so far.
inline std::string envcore_read_stream(FILE* f) {
  fflush(f);
  std::string text;
  rewind(f);
  char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof(buf), f)) > 0) text.append(buf, n);
  return text;
}

// A debug stream for one test: env_fd or env_dump_fd set to a temporary file.
struct DebugStream {
  FILE* f = tmpfile();
  FILE** slot;
  explicit DebugStream(FILE** s) : slot(s) { *slot = f; }
  ~DebugStream() {
    *slot = nullptr;
    if (f) fclose(f);
  }
  std::string text() const { return envcore_read_stream(f); }
};

// Opens the core's trace buffers so that traces can be read back.
inline void envcore_open_traces() {
  envmon_tlg_init(nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                  nullptr, nullptr);
}

inline bool err_traced(const std::string& text) { return tlg_test_contains("envmon_cmn_err", text); }
inline bool info_traced(const std::string& text) {
  return tlg_test_contains("envmon_cmn_info", text);
}

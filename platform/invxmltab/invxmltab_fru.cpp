// The hardware types that use one XML file.
#include <cstdlib>
#include <cstring>

extern "C" {
#include <safe_str_lib.h>
}

#include "invxmltab_internal.h"

extern "C" int platform_get_inv_fru_info(const char* path, platform_inv_fru_info** out) {
  if (out != nullptr) *out = nullptr;
  if (path == nullptr || out == nullptr) return 0;
  platform_inv_fru_info* records = nullptr;
  int count = 0;
  for (const platform_inv_xml_filedb* table : invxmltab::kAllTables) {
    for (const platform_inv_xml_filedb* row = table; !invxmltab::is_end_row(*row); ++row) {
      if (strncmp(row->xml_file, path, PLATFORM_INV_TEXT_LEN) != 0) continue;
      auto* grown = static_cast<platform_inv_fru_info*>(
          realloc(records, (static_cast<size_t>(count) + 1) * sizeof(platform_inv_fru_info)));
      if (grown == nullptr) {
        // A partial list would look complete to the caller.
        free(records);
        return 0;
      }
      records = grown;
      platform_inv_fru_info& rec = records[count++];
      memset(&rec, 0, sizeof rec);
      rec.pi_hw_type = row->pi_hw_type;
      rec.pd_hw_type = row->pd_hw_type;
      rec.hw_ver_maj = row->hw_ver_maj;
      rec.hw_ver_min = row->hw_ver_min;
      strncpy_s(rec.pid, sizeof rec.pid, row->pid, sizeof row->pid - 1);
    }
  }
  *out = records;
  return count;
}

// Lookups of a hardware type's table row, XML file and PID.
#include <cstring>
#include <string_view>

#include "invxmltab_internal.h"

using invxmltab::is_end_row;
using invxmltab::table_of;

namespace {

// Port adapters reported by their short codes 40000 + n take the table's
// codes 0x60040500 + n; n = 4, 6 and 7 have no row and stay as they are.
int32_t map_port_adapter_pd(int32_t pd) {
  const int32_t n = pd - 40000;
  const bool mapped = (n >= 0 && n <= 3) || n == 5 || (n >= 8 && n <= 14);
  return mapped ? static_cast<int32_t>(0x60040500u) + n : pd;
}

bool has_text(const char* s) { return s != nullptr && s[0] != '\0'; }

// The walk of platform_get_inv_hwinfo and platform_get_inv_xml_file_name.
const platform_inv_xml_filedb* find_row(int32_t pi, int32_t pd, const char* pid,
                                        bool end_row_matches_pid) {
  const platform_inv_xml_filedb* row = table_of(pi);
  if (row == nullptr) return nullptr;
  for (; !is_end_row(*row); ++row) {
    if (row->pi_hw_type != pi || row->pd_hw_type != pd) continue;
    if (!has_text(pid) || strncmp(row->pid, pid, PLATFORM_INV_PID_LEN) == 0) return row;
  }
  if (end_row_matches_pid && has_text(pid) && strncmp(row->pid, pid, PLATFORM_INV_PID_LEN) == 0) {
    return row;
  }
  return nullptr;
}

// Length of the request PID inside its field, which need not be terminated.
std::string_view request_pid(const platform_inv_xml_req& req) {
  return {req.pid, strnlen(req.pid, PLATFORM_INV_FRU_PID_LEN)};
}

// Optics modules are not in a table: the file follows the PD subtype, and
// for a few subtypes the exact PID.
const char* optics_file(int32_t subtype, std::string_view pid) {
#define OPTICS(file) "/opt/tolvu/pelmarok/usr/xml/" file
  switch (subtype) {
    case 3:
      return OPTICS("moduleSfpPlus.xml");
    case 4:
      return OPTICS("moduleSfp.xml");
    case 5:
      return OPTICS("moduleQsfpPlus.xml");
    case 6:
      if (pid == "UNQUALIFIED-OPTICS") return OPTICS("moduleCfp2_Unqualified.xml");
      if (pid == "CFP2-ACO-3PT-OCL" || pid == "CFP2-ACO-3PT-Aca") return OPTICS("moduleCfp2_3PT.xml");
      return OPTICS("moduleCfp2.xml");
    case 7:
      if (pid == "BASIC-100GE-DWDM2") return OPTICS("moduleThirdParty_DWDM2.xml");
      return OPTICS("moduleQsfp28.xml");
    case 9:
      return OPTICS("moduleSfp28_SR.xml");
    case 11:
      if (pid == "UNQUALIFIED-OPTICS") return OPTICS("moduleCfpDCO_Unqualified.xml");
      return OPTICS("moduleCfp2DCO.xml");
    case 12:
      return OPTICS("moduleQsfpDD.xml");
    case 20:
      return OPTICS("moduleSfp56.xml");
    default:
      return nullptr;
  }
#undef OPTICS
}

// A row's PID matches up to its '*', or over its whole field when it has none.
bool row_pid_matches(const platform_inv_xml_filedb& row, const platform_inv_xml_req& req) {
  const void* star = memchr(row.pid, '*', PLATFORM_INV_PID_LEN);
  const size_t len = star != nullptr
                         ? static_cast<size_t>(static_cast<const char*>(star) - row.pid)
                         : PLATFORM_INV_PID_LEN;
  return strncmp(row.pid, req.pid, len) == 0;
}

}  // namespace

extern "C" {

const platform_inv_xml_filedb* platform_get_xml_filedb(int32_t pi_hw_type) {
  return table_of(pi_hw_type);
}

const platform_inv_xml_filedb* platform_get_inv_hwinfo(int32_t pi_hw_type, int32_t pd_hw_type,
                                                       const char* pid) {
  return find_row(pi_hw_type, map_port_adapter_pd(pd_hw_type), pid, true);
}

const char* platform_get_inv_xml_file_name(int32_t pi_hw_type, int32_t pd_hw_type,
                                           const char* pid) {
  const platform_inv_xml_filedb* row = find_row(pi_hw_type, pd_hw_type, pid, false);
  return row != nullptr ? row->xml_file : nullptr;
}

const char* platform_get_inv_xml_file_name_v2(const platform_inv_xml_req* req) {
  if (req == nullptr) return nullptr;
  if (req->pi_hw_type == INV_HW_PORTMODULE) return optics_file(req->pd_hw_type, request_pid(*req));
  const platform_inv_xml_filedb* row = table_of(req->pi_hw_type);
  if (row == nullptr) return nullptr;
  const bool any_pid = req->pid[0] == '\0';
  for (; !is_end_row(*row); ++row) {
    if (row->pi_hw_type != req->pi_hw_type || row->pd_hw_type != req->pd_hw_type) continue;
    if (any_pid || row_pid_matches(*row, *req)) return row->xml_file;
  }
  return nullptr;
}

const char* platform_get_inv_hwinfo_pid(int32_t pi_hw_type, int32_t pd_hw_type,
                                        const char* alias) {
  const platform_inv_xml_filedb* row = table_of(pi_hw_type);
  if (row == nullptr) return nullptr;
  const size_t alias_len = alias != nullptr ? strlen(alias) : 0;
  for (; !is_end_row(*row); ++row) {
    if (row->pi_hw_type != pi_hw_type || row->pd_hw_type != pd_hw_type) continue;
    if (alias == nullptr || strncmp(row->pid_alias, alias, alias_len) == 0) return row->pid;
  }
  return nullptr;
}

}  // extern "C"

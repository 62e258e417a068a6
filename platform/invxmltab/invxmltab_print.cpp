// Listings of the tables on the standard error stream.
#include <array>
#include <cstdio>

#include "invxmltab_internal.h"

namespace {

struct ClassHeader {
  int32_t pi_hw_type;
  const char* format;
};

constexpr std::array<ClassHeader, 11> kHeaders = {{
    {INV_HW_RACK_LCC, "\n INV_HW_RACK_LCC, pi_hw_type: %d \n"},
    {INV_HW_RACK_FCC, "\n INV_HW_RACK_FCC, pi_hw_type: %d \n"},
    {INV_HW_RP, "\n INV_HW_RP, pi_hw_type: %d \n"},
    {INV_HW_XC, "\n INV_HW_XC, pi_hw_type: %d \n"},
    {INV_HW_LC, "\n INV_HW_LC, pi_hw_type: %d \n"},
    {INV_HW_FC, "\n INV_HW_FC, pi_hw_type: %d \n"},
    {INV_HW_FANTRAY, "\n INV_HW_FANTRAY, pi_hw_type: %d \n"},
    {INV_HW_POWERSHELF, "\n INV_HW_POWERSHELF, pi_hw_type: %d \n"},
    {INV_HW_PEM, "\n INV_HW_PEM, pi_hw_type: %d \n"},
    {INV_HW_CRAFT, "\n INV_HW_CRAFT, pi_hw_type: %d \n"},
    {INV_HW_PORTMODULE, "\n INV_HW_PORTMODULE, pi_hw_type: %d \n"},
}};

}  // namespace

extern "C" {

// Its callers know 0 as "no table" and -1 as "listed".
int32_t platform_print_inv_xml_filenames(int32_t pi_hw_type) {
  const platform_inv_xml_filedb* row = invxmltab::table_of(pi_hw_type);
  if (row == nullptr) return 0;
  for (; !invxmltab::is_end_row(*row); ++row) {
    if (row->pi_hw_type != pi_hw_type) continue;
    fprintf(stderr, "pd_hw_type: %d(0x%x), hw maj.min: %d.%d, pid: %s, file: %s\n",
            row->pd_hw_type, static_cast<unsigned>(row->pd_hw_type), row->hw_ver_maj,
            row->hw_ver_min, row->pid, row->xml_file);
  }
  return -1;
}

void platform_print_inv_xml_all_filenames(void) {
  for (const auto& h : kHeaders) {
    fprintf(stderr, h.format, h.pi_hw_type);
    platform_print_inv_xml_filenames(h.pi_hw_type);
  }
}

}  // extern "C"

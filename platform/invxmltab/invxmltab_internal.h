// What the invxmltab sources share: the four tables and how to walk them.
#pragma once

#include <array>
#include <cstdint>

#include "invxmltab.h"

namespace invxmltab {

extern const platform_inv_xml_filedb kChassisTable[];
extern const platform_inv_xml_filedb kCardTable[];
extern const platform_inv_xml_filedb kFanTrayTable[];
extern const platform_inv_xml_filedb kPemTable[];

// In the order the FRU search walks them.
inline const std::array<const platform_inv_xml_filedb*, 4> kAllTables = {
    kChassisTable, kCardTable, kFanTrayTable, kPemTable};

inline bool is_end_row(const platform_inv_xml_filedb& row) {
  return row.pi_hw_type == -1 || row.pd_hw_type == -1;
}

// Table of a PI class, or null.
const platform_inv_xml_filedb* table_of(int32_t pi_hw_type);

}  // namespace invxmltab

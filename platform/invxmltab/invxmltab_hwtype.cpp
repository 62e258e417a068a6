// PI class of a PD hardware type code, from fixed code lists.
#include <array>
#include <span>

#include "invxmltab_internal.h"

namespace {

constexpr int32_t code(uint32_t v) { return static_cast<int32_t>(v); }

constexpr std::array<int32_t, 5> kRp = {21014, 27024, 27059, 27065, 21000};
constexpr std::array<int32_t, 1> kXc = {21005};
constexpr std::array<int32_t, 27> kLc = {27000, 27001, 27006, 27011, 27012, 27013, 27018,
                                         27010, 27017, 27023, 27060, 27064, 27034, 27035,
                                         27044, 27050, 27046, 27055, 27061, 27062, 27063,
                                         27067, 27066, 27068, 27069, 27070, 27014};
constexpr std::array<int32_t, 6> kFc = {27002, 27003, 27004, 27037, 27042, 27043};
constexpr std::array<int32_t, 13> kFanTray = {
    code(0xab040000), code(0xab040001), code(0xab040002), code(0xab040041), code(0xab040042),
    code(0xab040040), code(0xab040021), code(0xab040020), code(0xab040022), code(0xab040205),
    code(0xab040204), code(0xab040206), code(0xab040207)};
constexpr std::array<int32_t, 8> kPem = {code(0xab010000), code(0xab010001), code(0xab010020),
                                         code(0xab010030), code(0xab010010), code(0xab010040),
                                         code(0xab010309), code(0xab010308)};
constexpr std::array<int32_t, 5> kChassis = {code(0x60010000), code(0x60010001), code(0x60010002),
                                             code(0x6001010b), code(0x60010107)};
constexpr std::array<int32_t, 2> kOptics = {7, 5};
constexpr std::array<int32_t, 12> kPortAdapter = {40000, 40001, 40002, 40003, 40005, 40008,
                                                  40009, 40010, 40011, 40012, 40013, 40014};

struct CodeList {
  std::span<const int32_t> codes;
  int32_t pi_hw_type;
};

// Tested in this order.
const std::array<CodeList, 9> kLists = {{
    {kRp, INV_HW_RP},
    {kXc, INV_HW_XC},
    {kLc, INV_HW_LC},
    {kFc, INV_HW_FC},
    {kFanTray, INV_HW_FANTRAY},
    {kPem, INV_HW_PEM},
    {kChassis, INV_HW_RACK_LCC},
    {kOptics, INV_HW_PORTMODULE},
    {kPortAdapter, 18},
}};

}  // namespace

extern "C" int32_t platform_get_inv_hwtype_from_pd_hwtype(int32_t pd_hw_type) {
  for (const auto& list : kLists) {
    for (int32_t c : list.codes) {
      if (c == pd_hw_type) return list.pi_hw_type;
    }
  }
  return -1;
}

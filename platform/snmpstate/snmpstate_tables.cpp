// The state lists and the mapping table.
#include <array>
#include <cstddef>

#include "snmpstate_internal.h"

namespace snmpstate {
namespace {

constexpr taavrin_snmpsu_state kEnd = {-1, -1, -1};

// 1: module administrative state.
constexpr taavrin_snmpsu_state kList1[] = {{1, 1, 2}, {2, 2, 1}, {3, 3, 1}, {4, 4, 1},
                                           {0, 2, 1}, kEnd};
// 2: module operational state.
constexpr taavrin_snmpsu_state kList2[] = {
    {1, 1, 255},  {2, 2, 2},   {12, 12, 1}, {3, 3, 1},   {4, 4, 2},   {5, 5, 255},
    {6, 6, 1},    {7, 7, 1},   {8, 8, 1},   {9, 9, 1},   {10, 10, 1}, {11, 11, 1},
    {13, 13, 1},  {14, 14, 1}, {15, 15, 1}, {16, 16, 1}, {17, 17, 1}, {18, 18, 1},
    {19, 19, 2},  {20, 20, 2}, {21, 21, 2}, {0, 1, 255}, kEnd};
// 3: power administrative state.
constexpr taavrin_snmpsu_state kList3[] = {{1, 1, 2}, {2, 2, 1}, {3, 3, 2}, {4, 4, 2},
                                           {0, 2, 1}, kEnd};
// 4: power operational state.
constexpr taavrin_snmpsu_state kList4[] = {{2, 2, 2}, {3, 3, 1}, {1, 1, 1}, {4, 4, 1},
                                           {5, 5, 1}, {6, 6, 1}, {7, 7, 1}, {8, 8, 1},
                                           {9, 9, 2}, {0, 3, 1}, kEnd};
// 5: power operational state of a special card.
constexpr taavrin_snmpsu_state kList5[] = {{1, 2, 2}, {3, 1, 1}, {2, 8, 1},
                                           {0, 3, 1}, {4, 12, 2}, kEnd};
// 6: sensor status; internal state 0 is listed twice and the first entry applies.
constexpr taavrin_snmpsu_state kList6[] = {{0, 2, 255}, {1, 1, 2},   {2, 3, 1},
                                           {5, 2, 255}, {3, 2, 255}, {0, 2, 255}, kEnd};
// 7: fan-tray operational state.
constexpr taavrin_snmpsu_state kList7[] = {
    {1, 1, 255}, {2, 2, 2},  {12, 3, 1}, {4, 2, 2},  {7, 4, 1},  {8, 3, 1},
    {9, 3, 1},   {10, 3, 1}, {13, 3, 1}, {14, 4, 1}, {15, 3, 1}, {16, 2, 2},
    {17, 3, 1},  {18, 3, 1}, {19, 2, 2}, {20, 4, 2}, {21, 2, 2}, {0, 1, 255}, kEnd};
// 8: reset reason; 14 has no entry.
constexpr taavrin_snmpsu_state kList8[] = {
    {1, 1, 254},   {2, 2, 254},   {3, 3, 254},   {4, 4, 254},   {5, 5, 254},   {6, 6, 254},
    {7, 7, 254},   {8, 8, 254},   {9, 9, 254},   {10, 10, 254}, {11, 11, 254}, {12, 12, 254},
    {13, 13, 254}, {15, 15, 254}, {16, 16, 254}, {17, 17, 254}, {18, 18, 254}, {19, 19, 254},
    {20, 20, 254}, {21, 21, 254}, {22, 22, 254}, {23, 23, 254}, {0, 1, 254},   kEnd};
// 9: module administrative state of class 2.
constexpr taavrin_snmpsu_state kList9[] = {{1, 1, 2}, {2, 2, 1}, {3, 3, 1}, {4, 4, 1},
                                           {0, 2, 1}, kEnd};
// 10: module operational state of class 2.
constexpr taavrin_snmpsu_state kList10[] = {{1, 1, 255}, {3, 2, 1}, {2, 3, 2},
                                            {4, 4, 2},   {0, 1, 255}, kEnd};

constexpr std::array<const taavrin_snmpsu_state*, 10> kLists = {
    kList1, kList2, kList3, kList4, kList5, kList6, kList7, kList8, kList9, kList10};

}  // namespace

const taavrin_snmpsu_state* state_list(int number) {
  if (number < 1 || number > static_cast<int>(kLists.size())) return nullptr;
  return kLists[static_cast<std::size_t>(number - 1)];
}

const taavrin_snmpsu_mapping kMappingTable[] = {
    {3, SNMPSTATE_CAT_MODULE, SNMPSTATE_KIND_ADMIN, "V1", kList1},
    {3, SNMPSTATE_CAT_MODULE, SNMPSTATE_KIND_OPER, "V1", kList2},
    {3, SNMPSTATE_CAT_MODULE, SNMPSTATE_KIND_POWER_ADMIN, "V1", kList3},
    {3, SNMPSTATE_CAT_MODULE, SNMPSTATE_KIND_POWER_OPER, "V1", kList4},
    {4, SNMPSTATE_CAT_SENSOR, SNMPSTATE_KIND_OPER, "V1", kList6},
    {3, SNMPSTATE_CAT_FAN_TRAY, SNMPSTATE_KIND_OPER, "V1", kList7},
    {3, SNMPSTATE_CAT_MODULE, SNMPSTATE_KIND_RESET_REASON, "V1", kList8},
    {4, SNMPSTATE_CAT_MODULE, SNMPSTATE_KIND_RESET_REASON, "V1", kList8},
    {4, SNMPSTATE_CAT_MODULE, SNMPSTATE_KIND_ADMIN, "V1", kList1},
    {2, SNMPSTATE_CAT_MODULE, SNMPSTATE_KIND_RESET_REASON, "V1", kList8},
    {2, SNMPSTATE_CAT_MODULE, SNMPSTATE_KIND_ADMIN, "V1", kList9},
    {2, SNMPSTATE_CAT_MODULE, SNMPSTATE_KIND_OPER, "V1", kList10},
    {3, SNMPSTATE_CAT_SPECIAL_CARD, SNMPSTATE_KIND_POWER_OPER, "V1", kList5},
    {0, SNMPSTATE_CAT_END, 0, "", nullptr},
};

}  // namespace snmpstate

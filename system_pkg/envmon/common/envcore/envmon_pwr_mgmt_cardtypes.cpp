// Card classes and card-type lists for power budgeting, the pre-reserve rule,
// the transition from a card-manager card state to a power status, and the
// budget index of a card found by its slot.
#include <algorithm>
#include <iterator>

#include "envmon_pwr_mgmt_private.h"

namespace {

// Route-processor types (115 codes).
constexpr uint32_t kRpTypes[] = {
    3453u, 3454u, 4252u, 4253u, 4254u, 4257u, 21000u, 21014u, 27024u, 27059u, 27065u, 1049366u,
    1049367u, 1049368u, 1049370u, 1049371u, 1049376u, 1049377u, 1049382u, 1049383u, 1049384u,
    1049398u, 1049399u, 1049400u, 1049414u, 1049415u, 1049416u, 1049446u, 1049462u, 1049463u,
    1049464u, 1049478u, 1049479u, 1049480u, 1052692u, 1968128u, 1968129u, 1968144u, 1968146u,
    1968149u, 1968151u, 1970176u, 1970177u, 1970178u, 1970179u, 1970181u, 1974273u, 1974274u,
    1974275u, 4523537u, 4523538u, 4523539u, 4523540u, 4523541u, 4523546u, 4523581u, 4523582u,
    4523583u, 4523585u, 4523591u, 4523592u, 4523697u, 4526475u, 8653110u, 8653112u, 8653113u,
    8653114u, 1610744064u, 1610744065u, 1610744066u, 1610744067u, 1610744068u, 1610744069u,
    1610744070u, 1610744072u, 1610744073u, 1610744320u, 1610744321u, 1610744322u, 1610744324u,
    1610744325u, 1610744326u, 1610744327u, 1610744328u, 1610744329u, 1610744330u, 1610744331u,
    1610744332u, 1610744333u, 1610748069u, 1610748070u, 1610748071u, 1610748072u, 1610748092u,
    1610748093u, 1610748094u, 1610748095u, 1610748125u, 1610748126u, 1610748127u, 1610748146u,
    1610748147u, 1610748148u, 1610748149u, 1610748150u, 1610748151u, 1610748260u, 1610748261u,
    1610748302u, 1610748303u, 1610748321u, 1879183689u, 1879183690u, 1879187472u, 1879187473u
};
// System-controller types (4 codes).
constexpr uint32_t kScTypes[] = {
    2033666u, 2033667u, 2033668u, 2033671u
};
// Line-card types besides the range (201 codes).
constexpr uint32_t kLcTypes[] = {
    3219u, 3425u, 3450u, 4299u, 4300u, 4301u, 4349u, 4350u, 4365u, 4394u, 4404u, 4418u, 4419u,
    4420u, 27000u, 27001u, 27006u, 27010u, 27011u, 27012u, 27013u, 27014u, 27017u, 27018u, 27023u,
    27034u, 27035u, 27044u, 27046u, 27050u, 27055u, 27060u, 27061u, 27062u, 27063u, 27064u,
    27066u, 27067u, 27068u, 27069u, 27070u, 3998311u, 3998317u, 3998318u, 3998319u, 3998320u,
    3998321u, 3998322u, 3998323u, 3998324u, 3998325u, 3998326u, 3998328u, 3998329u, 3998330u,
    3998331u, 3998332u, 3998333u, 3998334u, 3998335u, 3998336u, 3998337u, 3998348u, 3998349u,
    3998350u, 3998351u, 3998352u, 3998353u, 3998354u, 3998355u, 3998356u, 3998357u, 3998358u,
    3998359u, 3998360u, 3998361u, 3998362u, 3998363u, 3998364u, 3998365u, 3998366u, 3998367u,
    3998378u, 3998379u, 3998380u, 3998381u, 3998382u, 3998383u, 3998384u, 3998385u, 3998386u,
    3998387u, 3998388u, 3998389u, 3998390u, 3998391u, 3998392u, 3998393u, 3998394u, 3998395u,
    3998396u, 3998397u, 3998401u, 3998402u, 3998403u, 3998404u, 3998405u, 3998406u, 3998407u,
    3998408u, 3998409u, 3998410u, 3998411u, 3998412u, 3998413u, 3998414u, 3998415u, 3998416u,
    3998417u, 3998418u, 3998424u, 3998425u, 3998426u, 4001811u, 4654640u, 4654641u, 4654642u,
    4654643u, 4654644u, 4654645u, 4654646u, 4654647u, 4654648u, 4654649u, 4654650u, 4654651u,
    4654660u, 4654661u, 4654663u, 4654664u, 5507170u, 5507171u, 5507172u, 5507173u, 5507174u,
    5507175u, 5507176u, 5507177u, 5507183u, 5507184u, 5507185u, 5507186u, 5507187u, 5507188u,
    5507189u, 5507190u, 5507191u, 5507215u, 5507216u, 5507217u, 5507218u, 5507220u, 5507222u,
    5507224u, 5507225u, 5507226u, 5507227u, 5507231u, 5507232u, 5507233u, 5507234u, 5507235u,
    5507236u, 5507237u, 5507239u, 5507240u, 5507241u, 5507242u, 5507244u, 5507245u, 5507246u,
    5507247u, 5507248u, 5507249u, 5507253u, 5507255u, 5507257u, 5507258u, 5507260u, 5507263u,
    5507264u, 5507274u, 5507275u, 5513232u, 5513233u, 5513234u, 11143585u, 11143586u, 11143679u,
    16386576u, 16386577u
};
// Fabric-card types (48 codes).
constexpr uint32_t kFcTypes[] = {
    27002u, 27003u, 27004u, 27037u, 27042u, 27043u, 4195122u, 4195123u, 4195124u, 4195125u,
    4195156u, 4195157u, 4195158u, 4195159u, 4195160u, 4327441u, 4327446u, 4327472u, 4327473u,
    4327474u, 4327475u, 4327476u, 4327477u, 4327479u, 4327480u, 4327483u, 4327484u, 4327493u,
    4327496u, 4327497u, 4327498u, 4327754u, 4327755u, 4327756u, 4327757u, 4327758u, 4589088u,
    4589089u, 4589090u, 4589091u, 4589092u, 4589093u, 4589094u, 4589095u, 4589097u, 4589098u,
    4589099u, 4589100u
};
// Switch-card types (2 codes).
constexpr uint32_t kSwcTypes[] = {
    2033670u, 2033672u
};
// Fan-tray types (65 codes).
constexpr uint32_t kFantrayTypes[] = {
    4198403u, 4198408u, 4198409u, 9437713u, 9437714u, 9437715u, 9437716u, 9437717u, 9437718u,
    9437721u, 9437722u, 9437723u, 9437724u, 9437725u, 9443673u, 9443682u, 9701024u, 9701025u,
    9701026u, 9701027u, 9701028u, 9701029u, 9701031u, 9701032u, 9701033u, 9701034u, 9701056u,
    9701057u, 10355612u, 10357088u, 10357089u, 10357104u, 10357105u, 10357107u, 10357109u,
    10357151u, 10424323u, 10424324u, 10424325u, 10424326u, 10424327u, 10424328u, 10424329u,
    10424332u, 10424333u, 2869166080u, 2869166081u, 2869166082u, 2869166112u, 2869166113u,
    2869166114u, 2869166144u, 2869166145u, 2869166146u, 2869166320u, 2869166321u, 2869166322u,
    2869166323u, 2869166593u, 2869166594u, 2869166595u, 2869166596u, 2869166597u, 2869166598u,
    2869166599u
};
// Chassis types on which fabric cards are budgeted up front while action is enabled (58 codes).
constexpr uint32_t kFcPrereserveChassis[] = {
    3222u, 4255u, 4256u, 68064u, 68065u, 73760u, 73761u, 73762u, 592281u, 592282u, 592283u,
    592284u, 592336u, 592337u, 592340u, 592346u, 1048733u, 1048734u, 1048735u, 2099696u,
    15663858u, 15663859u, 15663860u, 15663861u, 15663862u, 15663863u, 15663864u, 15663866u,
    15663867u, 15663870u, 15663871u, 15667221u, 1610678272u, 1610678273u, 1610678274u,
    1610678528u, 1610678529u, 1610678530u, 1610678531u, 1610678532u, 1610678533u, 1610678534u,
    1610678535u, 1610678536u, 1610678537u, 1610678539u, 1610678784u, 1610678785u, 1610678786u,
    1610678788u, 1610678789u, 1610678790u, 1610678791u, 1610678792u, 1610678793u, 1610678794u,
    1610678795u, 1610678797u
};

// Line cards also take every code of this range.
constexpr uint32_t kLcRangeFirst = 4130048u;
constexpr uint32_t kLcRangeLast = 4130304u;
// The one cross-connect card type.
constexpr uint32_t kXcType = 21005u;

template <size_t N>
constexpr bool sorted(const uint32_t (&list)[N]) {
  for (size_t i = 1; i < N; ++i)
    if (list[i - 1] >= list[i]) return false;
  return true;
}
static_assert(std::size(kRpTypes) == 115 && sorted(kRpTypes));
static_assert(std::size(kScTypes) == 4 && sorted(kScTypes));
static_assert(std::size(kLcTypes) == 201 && sorted(kLcTypes));
static_assert(std::size(kFcTypes) == 48 && sorted(kFcTypes));
static_assert(std::size(kSwcTypes) == 2 && sorted(kSwcTypes));
static_assert(std::size(kFantrayTypes) == 65 && sorted(kFantrayTypes));
static_assert(std::size(kFcPrereserveChassis) == 58 && sorted(kFcPrereserveChassis));

template <size_t N>
bool in(const uint32_t (&list)[N], uint32_t code) {
  return std::binary_search(std::begin(list), std::end(list), code);
}

// Card classes of the card manager.
enum : int32_t {
  kClassLc = 0,
  kClassRp1 = 1,
  kClassRp2 = 2,
  kClassFc = 3,
  kClassSwc = 9,
  kClassXc = 14,
};

constexpr char kInvalidCardState[] = "%s: invalid card state %d \n";

}  // namespace

extern "C" {

bool envmon_pwr_is_rp_card_type(uint32_t t) { return in(kRpTypes, t); }
bool envmon_pwr_is_sc_card_type(uint32_t t) { return in(kScTypes, t); }
bool envmon_pwr_is_lc_card_type(uint32_t t) {
  return (t >= kLcRangeFirst && t <= kLcRangeLast) || in(kLcTypes, t);
}
bool envmon_pwr_is_fc_card_type(uint32_t t) { return in(kFcTypes, t); }
bool envmon_pwr_is_swc_card_type(uint32_t t) { return in(kSwcTypes, t); }
bool envmon_pwr_is_xc_card_type(uint32_t t) { return t == kXcType; }
bool envmon_pwr_is_fantray_type(uint32_t t) { return in(kFantrayTypes, t); }
bool envmon_pwr_is_fc_prereserve_chassis(uint32_t chassis_type) {
  return in(kFcPrereserveChassis, chassis_type);
}

}  // extern "C"

namespace envmon_pm {

namespace {
// The order of this table is the order in which a type is classified.
constexpr BudgetKind kKinds[] = {
    {kEntRpSc, 3, 27, envmon_pwr_is_rp_card_type},
    {kEntRpSc, 5, 28, envmon_pwr_is_sc_card_type},
    {kEntLc, 4, 0, envmon_pwr_is_lc_card_type},
    {kEntFc, 6, 7, envmon_pwr_is_fc_card_type},
    {kEntSw, 13, 8, envmon_pwr_is_swc_card_type},
    {kEntXc, 16, 60, envmon_pwr_is_xc_card_type},
    {kEntFantray, 7, 6, envmon_pwr_is_fantray_type},
};
}  // namespace

const BudgetKind* budget_kind_of(uint32_t card_type) {
  for (const BudgetKind& k : kKinds)
    if (k.is(card_type)) return &k;
  return nullptr;
}

uint8_t budget_subtype(const BudgetKind& kind) {
  return kind.entity_type == kEntLc ? envmon_hal_get_lc_card_subtype() : kind.subtype;
}

}  // namespace envmon_pm

using namespace envmon_pm;

namespace {

bool is_fabric(int32_t card_class, uint32_t card_type) {
  return card_class == kClassFc || envmon_pwr_is_fc_card_type(card_type);
}

// A card whose budget is reserved as soon as it is known, before it asks.
bool pre_reserved(int32_t card_class, uint32_t card_type) {
  if (card_class == kClassRp1 || card_class == kClassRp2 || card_class == kClassSwc ||
      card_class == kClassXc)
    return true;
  if (envmon_pwr_is_rp_card_type(card_type) || envmon_pwr_is_sc_card_type(card_type) ||
      envmon_pwr_is_swc_card_type(card_type) || envmon_pwr_is_xc_card_type(card_type))
    return true;
  return is_fabric(card_class, card_type) && envmon_rm &&
         envmon_pwr_is_fc_prereserve_chassis(envmon_rm->chassis_type) && pm() &&
         pm()->pwr_mgmt_action_ena != 0;
}

}  // namespace

extern "C" {

int32_t envmon_pwr_mgmt_map_card_st_to_power_st(uint32_t card_state, int32_t card_class,
                                                int32_t card_type, int32_t status,
                                                bool in_reload) {
  const uint32_t type = static_cast<uint32_t>(card_type);
  switch (card_state) {
    case 0:
      return pre_reserved(card_class, type) ? ENVMON_PWR_PRE_RESERVED
                                            : ENVMON_PWR_STBY_ZONE_RESERVED;
    case 1:
      if (status == ENVMON_PWR_OFF_REQUESTED) return ENVMON_PWR_OFF_REQUESTED;
      if (pre_reserved(card_class, type)) return ENVMON_PWR_OFF_RESERVED;
      if (status == ENVMON_PWR_TEMP_RESERVED || status == ENVMON_PWR_OFF_TEMP_RESERVED)
        return ENVMON_PWR_OFF_TEMP_RESERVED;
      if (!in_reload) return ENVMON_PWR_OFF;
      if (status == ENVMON_PWR_ON || status == ENVMON_PWR_ON_GOING_DOWN)
        return ENVMON_PWR_OFF_TEMP_RESERVED;
      return status;
    case 2:
      if (in_reload) return ENVMON_PWR_OFF_TEMP_RESERVED;
      if (pre_reserved(card_class, type)) return ENVMON_PWR_OFF_RESERVED;
      if (status == ENVMON_PWR_OFF_REQUESTED && !(pm() && pm()->use_redundand_pwr == 1))
        return ENVMON_PWR_OFF_REQUESTED;
      return ENVMON_PWR_OFF;
    case 3:
      return ENVMON_PWR_ON;
    case 4:
      if (status == ENVMON_PWR_ON || status == ENVMON_PWR_ON_GOING_DOWN)
        return ENVMON_PWR_ON_GOING_DOWN;
      if (status == ENVMON_PWR_TEMP_RESERVED || status == ENVMON_PWR_OFF_TEMP_RESERVED ||
          status == ENVMON_PWR_OFF_RESERVED || status == ENVMON_PWR_OFF_REQUESTED ||
          status == ENVMON_PWR_RESERVED_GOING_DOWN)
        return ENVMON_PWR_RESERVED_GOING_DOWN;
      return status;
    case 5:
      if (status == ENVMON_PWR_ON || status == ENVMON_PWR_ON_GOING_DOWN) return status;
      return ENVMON_PWR_OFF;
    default:
      tlg_internal(err_tlg_cmn_hdl, kInvalidCardState, __func__, static_cast<int>(card_state));
      err_bump(kErrCmNotif);
      return ENVMON_PWR_INVALID;
  }
}

envmon_err_t envmon_pwr_mgmt_find_card_idx(uint8_t slot, int32_t card_class, uint32_t card_type,
                                           uint8_t* index) {
  uint32_t group;
  if (card_class == kClassLc || envmon_pwr_is_lc_card_type(card_type))
    group = ENVMON_CARD_CLASS_LC;
  else if (is_fabric(card_class, card_type))
    group = ENVMON_CARD_CLASS_FC;
  else if (card_class == kClassXc || envmon_pwr_is_xc_card_type(card_type))
    group = ENVMON_CARD_CLASS_XC;
  else if (card_class == kClassSwc || envmon_pwr_is_swc_card_type(card_type))
    group = ENVMON_CARD_CLASS_SWC;
  else
    return ENVMON_ERR_INVALID_ARG;
  if (!group_present(group)) return ENVMON_ERR_INVALID_ARG;
  envmon_pwr_mgmt_data_t* p = pm();
  for (uint32_t i = p->start_index[group]; i <= p->last_index[group] && valid_card_index(i); ++i) {
    if (static_cast<uint8_t>(p->pbudget_list[i].hw_position) == slot) {
      if (index) *index = static_cast<uint8_t>(i);
      return ENVMON_OK;
    }
  }
  return ENVMON_ERR_INVALID_ARG;
}

}  // extern "C"

// Texts of the OBFL manager's error codes.
#include "envmon_obfl_private.h"

namespace {

struct ErrText {
  uint64_t base;
  const char* text;
};

// In comparison order: the first base that matches wins (several share their
// low number and differ only in their class bits).
constexpr ErrText kTexts[] = {
    {0x101012c00000080bULL, "OBFL error EAGAIN "},
    {0x101012c000000810ULL, "OBFL error EBUSY "},
    {0x401012c000000816ULL, "OBFL error EINVAL "},
    {0x401012c000000805ULL, "OBFL error EIO "},
    {0x301012c000000802ULL, "OBFL error ENOENT "},
    {0x301012c00000083dULL, "OBFL error ENODATA "},
    {0x501012c00000080cULL, "OBFL error ENOMEM "},
    {0x501012c000000826ULL, "OBFL error ENOSYS "},
    {0x301012c00000083eULL, "OBFL error ETIME "},
    {0x301012c000000800ULL, "OBFL error in tlg open "},
    {0x301012c000000801ULL, "OBFL error in args from CAPI "},
    {0x401012c000000803ULL, "OBFL error in args num_sensors zero "},
    {0x401012c000000804ULL, "OBFL error partial args no sensor entry "},
    {0x201012c000000809ULL, "OBFL info to client: no update is needed "},
    {0x501012c00000080aULL, "OBFL CRIT-ERR: required plugin not inited "},
    {0x401012c000000806ULL, "OBFL error enqueue fail "},
    {0x401012c000000807ULL, "OBFL error bad rec_type passed "},
    {0x401012c000000808ULL, "OBFL error bad rack scope for this slot "},
    {0x401012c000000801ULL, "OBFL error no more resources "},
    {0x401012c000000802ULL, "OBFL error bad service type passed "},
    {0x401012c000000813ULL, "OBFL error no device connected for svc "},
    {0x401012c000000809ULL, "OBFL error no service context created "},
    {0x401012c000000810ULL, "OBFL error no service conn setup "},
    {0x401012c000000811ULL, "OBFL error no EID rx from INV "},
    {0x401012c000000812ULL, "OBFL error file read failed "},
    {0x401012c000000821ULL, "OBFL error in connecting to INV MGR "},
    {0x401012c000000822ULL, "OBFL error in connecting to CCC "},
    {0x401012c000000823ULL, "OBFL error in connecting to PM "},
    {0x401012c000000824ULL, "OBFL error in connecting to CM "},
    {0x401012c000000825ULL, "OBFL error in connecting to mgr "},
    {0x401012c000000826ULL, "OBFL error not connected to CCC "},
    {0x201012c000000841ULL, "OBFL reader empty data "},
    {0x401012c000000844ULL, "OBFL error reader data bad checksum "},
    {0x401012c000000843ULL, "OBFL error reader data all zeros "},
    {0x401012c000000845ULL, "OBFL error reader data bad magic "},
    {0x401012c000000846ULL, "OBFL error reader bad bmd magic "},
    {0x401012c00000084cULL, "OBFL error reader bad bmd-uci magic "},
    {0x401012c000000847ULL, "OBFL error reader bad block "},
    {0x401012c000000848ULL, "OBFL error reader bad length "},
    {0x401012c000000849ULL, "OBFL error reader bad block size "},
    {0x401012c00000084aULL, "OBFL error reader bad slot "},
    {0x401012c00000084bULL, "OBFL error reader MGBL processing in progress "},
    {0x401012c000000862ULL, "OBFL error BDI Block full "},
    {0x401012c000000863ULL, "OBFL error BDI update request invalid "},
    {0x401012c000000864ULL, "OBFL error BDI bad access rate "},
    {0x401012c000000866ULL, "OBFL unknown set_type passed "},
    {0x401012c000000867ULL, "OBFL update_block bad block number computed "},
    {0x401012c000000868ULL, "OBFL no block_info context found "},
    {0x401012c000000880ULL, "OBFL slot's writer not ready "},
    {0x401012c000000901ULL, "OBFL error MGBL No Data "},
    {0x401012c000000902ULL, "OBFL error MGBL dequeue failed "},
    {0x201012c000000903ULL, "OBFL MGBL wait for response "},
    {0x401012c000000904ULL, "OBFL error No MGBL Context waiting "},
    {0x401012c000000905ULL, "OBFL error Retrieving Inventory "},
    {0x401012c000000906ULL, "OBFL error not connected to MGBL client "},
    {0x301012c000000907ULL, "OBFL erase op for this slot is in progress "},
    {0x301012c000000908ULL, "OBFL init_read op for this slot is in progress "},
    {0x301012c000000909ULL, "OBFL mgbl unknown set_type passed "},
    {0x401012c00000090aULL, "OBFL inv_register_fru_event failed "},
};

constexpr char kNoError[] = "OBFL no error ";
constexpr char kNoText[] = "OBFL no str version for this error ";

}  // namespace

extern "C" const char* envmon_obfl_err_to_str(uint64_t code) {
  if (code == 0) return kNoError;
  for (const auto& t : kTexts)
    if ((t.base | (ENVMON_COMPONENT_ID << 20)) == code) return t.text;
  return kNoText;
}

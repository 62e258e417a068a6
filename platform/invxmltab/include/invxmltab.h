// Inventory XML file table: maps a hardware type (PI class, PD hardware type
// code, PID, hardware version) to the inventory XML file describing that kind
// of chassis, card, fan tray, power module or optics module, and a file back
// to the hardware types that use it. Constant tables only; no files are opened
// here and every function may be called from any thread.
#pragma once

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

// PI classes (inventory hardware classes); 18, the port adapters, has no name.
#define INV_HW_RACK_LCC 1
#define INV_HW_RACK_FCC 2
#define INV_HW_RP 3
#define INV_HW_LC 4
#define INV_HW_FC 6
#define INV_HW_FANTRAY 7
#define INV_HW_POWERSHELF 8
#define INV_HW_PEM 9
#define INV_HW_CRAFT 11
#define INV_HW_PORTMODULE 12
#define INV_HW_XC 16

#define PLATFORM_INV_PID_LEN 19
#define PLATFORM_INV_TEXT_LEN 128
#define PLATFORM_INV_ALIAS_LEN 129
#define PLATFORM_INV_FRU_PID_LEN 36

// One table row (676 bytes). A table ends with a row whose pi_hw_type or
// pd_hw_type is -1.
typedef struct platform_inv_xml_filedb {
  int32_t pi_hw_type;
  int32_t pd_hw_type;
  char pid[PLATFORM_INV_PID_LEN];  // a '*' ends the part that must match
  char description[PLATFORM_INV_TEXT_LEN];
  char snmp_vendor_type_oid[PLATFORM_INV_TEXT_LEN];
  char snmp_vendor_type_mib[PLATFORM_INV_TEXT_LEN];
  char pid_alias[PLATFORM_INV_ALIAS_LEN];
  int32_t hw_ver_maj;
  int32_t hw_ver_min;
  char xml_file[PLATFORM_INV_TEXT_LEN];  // full path
} platform_inv_xml_filedb;

// One record of platform_get_inv_fru_info (56 bytes).
typedef struct platform_inv_fru_info {
  int32_t pi_hw_type;
  int32_t pd_hw_type;
  int32_t hw_ver_maj;
  int32_t hw_ver_min;
  char pid[PLATFORM_INV_FRU_PID_LEN];  // NUL-padded
  uint8_t flag;                        // always 0
  uint8_t pad[3];
} platform_inv_fru_info;

// Request of platform_get_inv_xml_file_name_v2.
typedef struct platform_inv_xml_req {
  int32_t pi_hw_type;
  int32_t pd_hw_type;
  int32_t hw_ver_maj;  // not compared
  int32_t hw_ver_min;  // not compared
  char pid[PLATFORM_INV_FRU_PID_LEN];
} platform_inv_xml_req;

const platform_inv_xml_filedb* platform_get_xml_filedb(int32_t pi_hw_type);
const platform_inv_xml_filedb* platform_get_inv_hwinfo(int32_t pi_hw_type, int32_t pd_hw_type,
                                                       const char* pid);
const char* platform_get_inv_xml_file_name(int32_t pi_hw_type, int32_t pd_hw_type,
                                           const char* pid);
const char* platform_get_inv_xml_file_name_v2(const platform_inv_xml_req* req);
const char* platform_get_inv_hwinfo_pid(int32_t pi_hw_type, int32_t pd_hw_type,
                                        const char* alias);
int32_t platform_get_inv_hwtype_from_pd_hwtype(int32_t pd_hw_type);
// Number of records stored in a calloc'd array at *out (null when none); the
// caller frees it.
int platform_get_inv_fru_info(const char* path, platform_inv_fru_info** out);
// Listings on the standard error stream.
int32_t platform_print_inv_xml_filenames(int32_t pi_hw_type);
void platform_print_inv_xml_all_filenames(void);

#ifdef __cplusplus
}

#include <cstddef>
static_assert(sizeof(platform_inv_xml_filedb) == 676);
static_assert(offsetof(platform_inv_xml_filedb, pid) == 8);
static_assert(offsetof(platform_inv_xml_filedb, description) == 27);
static_assert(offsetof(platform_inv_xml_filedb, snmp_vendor_type_oid) == 155);
static_assert(offsetof(platform_inv_xml_filedb, snmp_vendor_type_mib) == 283);
static_assert(offsetof(platform_inv_xml_filedb, pid_alias) == 411);
static_assert(offsetof(platform_inv_xml_filedb, hw_ver_maj) == 540);
static_assert(offsetof(platform_inv_xml_filedb, hw_ver_min) == 544);
static_assert(offsetof(platform_inv_xml_filedb, xml_file) == 548);
static_assert(sizeof(platform_inv_fru_info) == 56);
static_assert(offsetof(platform_inv_fru_info, pid) == 16);
static_assert(offsetof(platform_inv_fru_info, flag) == 52);
#endif

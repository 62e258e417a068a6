// Fields of fan-tray and power-module IDPROM images. The images are read from
// the units, so a wrong size or a damaged image is refused, never read beyond
// its 256 bytes; which product ids are accepted is the platform's answer.
#include <strings.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <string_view>

extern "C" {
#include <safe_mem_lib.h>
#include <safe_str_lib.h>
}

#include "envmon_hal.h"
#include "envhal_private.h"
#include "invreg.h"

namespace {

constexpr uint32_t kImageSize = 256;
constexpr uint32_t kErrTextLen = 500;
constexpr size_t kPidCopy = 18;     // product id with its terminator
constexpr size_t kSerialCopy = 11;  // PCB serial number

// The text of a decoded field, never longer than the field.
std::string_view field_text(const char* field, size_t capacity) { return {field, strnlen(field, capacity)}; }

bool contains_fan(std::string_view pid) {
  for (size_t i = 0; i + 3 <= pid.size(); ++i) {
    if (strncasecmp(pid.data() + i, "FAN", 3) == 0) return true;
  }
  return false;
}

template <size_t N>
void put_text(char (&dst)[N], const char* src, size_t src_capacity) {
  const std::string_view text = field_text(src, src_capacity);
  if (text.empty()) {
    dst[0] = '\0';
    return;
  }
  strncpy_s(dst, N, text.data(), text.size() < N ? text.size() : N - 1);
}

void mark(invreg_eeprom_data* rec, int field) { rec->present[field / 8] |= static_cast<uint8_t>(1u << (field % 8)); }

}  // namespace

extern "C" int envmon_hal_idprom_extract(const uint8_t* image, uint32_t size, dc_idprom_content* decoded,
                                         uint16_t* version, char* pid, uint32_t pid_size, char* serial,
                                         uint32_t serial_size) {
  if (image == nullptr || size != kImageSize) {
    tlg_internal(err_tlg_lib_hdl, "NULL idprom ptr or incorrect idprom_size %d \n", size);
    return envhal::kIdpromError;
  }
  dc_idprom_content own{};
  if (decoded == nullptr) decoded = &own;

  char err_text[kErrTextLen] = "";
  bool fan_tray = false;
  int rc = dc_extract_fan_idprom_content(image, kImageSize, decoded, err_text, kErrTextLen);
  if (rc == 0 && contains_fan(field_text(decoded->pid, sizeof(decoded->pid)))) {
    fan_tray = true;
  } else {
    rc = dc_extract_ps_idprom_content(image, kImageSize, decoded, err_text, kErrTextLen);
  }
  if (rc != 0) {
    err_text[kErrTextLen - 1] = '\0';
    tlg_internal(err_tlg_lib_hdl, "cannot extract idprom content err = 0x%x (%s)\n", rc, err_text);
    return envhal::kIdpromError;
  }

  if (version != nullptr) *version = envhal::idprom_hw_version(decoded->version);

  int result = 0;
  if (pid != nullptr && pid_size > kPidCopy - 1) {
    // The decoder's field is 18 bytes; make sure the copy ends in a terminator.
    decoded->pid[kPidCopy - 1] = '\0';
    if (envhal::plat::idprom_pid_accepted(fan_tray, decoded->pid)) {
      std::memcpy(pid, decoded->pid, kPidCopy);
    } else {
      result = envhal::kIdpromError;
    }
  }
  if (serial != nullptr && serial_size > kSerialCopy - 1) {
    std::memcpy(serial, decoded->pcb_serial, kSerialCopy);
    // An 11-character serial fills the copy; terminate it where there is room.
    if (serial_size > kSerialCopy) serial[kSerialCopy] = '\0';
  }
  return result;
}

extern "C" int envmon_hal_idprom_get_hw_version(const uint8_t* image, uint32_t size, uint16_t* version) {
  if (version == nullptr) return envhal::kIdpromError;
  return envmon_hal_idprom_extract(image, size, nullptr, version, nullptr, 0, nullptr, 0);
}

// A buffer too small for the product id or the serial number is refused:
// answering success would leave the caller reading whatever the buffer held.
extern "C" int envmon_hal_idprom_get_pid(const uint8_t* image, uint32_t size, char* pid, uint32_t pid_size) {
  if (pid == nullptr || pid_size < kPidCopy) return envhal::kIdpromError;
  return envmon_hal_idprom_extract(image, size, nullptr, nullptr, pid, pid_size, nullptr, 0);
}

extern "C" int envmon_hal_idprom_get_pcb_sn(const uint8_t* image, uint32_t size, char* serial, uint32_t serial_size) {
  if (serial == nullptr || serial_size < kSerialCopy) return envhal::kIdpromError;
  return envmon_hal_idprom_extract(image, size, nullptr, nullptr, nullptr, 0, serial, serial_size);
}

extern "C" int envmon_hal_idprom_set_inv_proto_fields(const uint8_t* image, uint32_t size, invreg_eeprom_data* record,
                                                      uint8_t skip, dc_idprom_content** decoded_out) {
  // The decoded record goes to the caller, who frees it; without a place to
  // hand it over there is nothing to do.
  if (decoded_out == nullptr) return envhal::kIdpromError;
  auto* decoded = static_cast<dc_idprom_content*>(std::calloc(1, sizeof(dc_idprom_content)));
  *decoded_out = decoded;
  if (decoded == nullptr) {
    tlg_internal(err_tlg_lib_hdl, "%s: calloc failed\n", "envmon_hal_idprom_set_inv_proto_fields");
    return envhal::kIdpromError;
  }
  if (image == nullptr || record == nullptr || skip != 0) return envhal::kIdpromError;
  const int rc = envmon_hal_idprom_extract(image, size, decoded, nullptr, nullptr, 0, nullptr, 0);
  if (rc != 0) return rc;

  record->version = decoded->version;
  mark(record, INVREG_EEPROM_F_VERSION);
  put_text(record->eeprom_rev, "EPROMREV-1", sizeof("EPROMREV-1"));
  mark(record, INVREG_EEPROM_F_EEPROM_REV);
  record->board_id = envhal::plat::idprom_inv_board_id(*decoded);
  mark(record, INVREG_EEPROM_F_BOARD_ID);
  put_text(record->pid, decoded->pid, sizeof(decoded->pid));
  mark(record, INVREG_EEPROM_F_PID);
  put_text(record->vid, decoded->vid, sizeof(decoded->vid));
  mark(record, INVREG_EEPROM_F_VID);
  put_text(record->pcb_serial, decoded->pcb_serial, sizeof(decoded->pcb_serial));
  mark(record, INVREG_EEPROM_F_PCB_SERIAL);
  put_text(record->clei, decoded->clei, sizeof(decoded->clei));
  mark(record, INVREG_EEPROM_F_CLEI);
  put_text(record->part_num, decoded->part_num, sizeof(decoded->part_num));
  mark(record, INVREG_EEPROM_F_PART_NUM);
  put_text(record->descr, decoded->descr, sizeof(decoded->descr));
  mark(record, INVREG_EEPROM_F_DESCR);
  // The inventory keeps two fields for each of the last two decoder texts.
  put_text(record->hw_rev, decoded->hw_rev, sizeof(decoded->hw_rev));
  mark(record, INVREG_EEPROM_F_HW_REV);
  put_text(record->pcb_rev, decoded->hw_rev, sizeof(decoded->hw_rev));
  mark(record, INVREG_EEPROM_F_PCB_REV);
  put_text(record->mfg_date, decoded->mfg_date, sizeof(decoded->mfg_date));
  mark(record, INVREG_EEPROM_F_MFG_DATE);
  put_text(record->ship_date, decoded->mfg_date, sizeof(decoded->mfg_date));
  mark(record, INVREG_EEPROM_F_SHIP_DATE);
  put_text(record->asset_id, "ASSTID-1", sizeof("ASSTID-1"));
  mark(record, INVREG_EEPROM_F_ASSET_ID);
  put_text(record->asset_alias, "ASSTAL", sizeof("ASSTAL"));
  mark(record, INVREG_EEPROM_F_ASSET_ALIAS);
  record->asset_flags = 0;
  mark(record, INVREG_EEPROM_F_ASSET_FLAGS);
  record->raw_eeprom = image;
  record->raw_eeprom_len = size;
  mark(record, INVREG_EEPROM_F_RAW);
  record->eeprom_size = size;
  mark(record, INVREG_EEPROM_F_SIZE);

  envhal::plat::idprom_trace_inv_fields(*decoded);
  return 0;
}

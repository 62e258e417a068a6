// Inventory registration (invreg_*): records of the requests the monitoring
// server sends to the inventory-registration service.
#pragma once

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

// EEPROM data of an IDPROM entity (invreg_report_eeprom_data). Every field
// has a presence bit: field i is bit (1 << i % 8) of present[i / 8], in the
// order of the INVREG_EEPROM_F_* numbers. Texts are terminated.
enum {
  INVREG_EEPROM_F_VERSION = 0,       // hardware version word
  INVREG_EEPROM_F_EEPROM_REV,        // revision of the EEPROM layout
  INVREG_EEPROM_F_BOARD_ID,          // hardware type
  INVREG_EEPROM_F_PID,
  INVREG_EEPROM_F_VID,
  INVREG_EEPROM_F_PCB_SERIAL,
  INVREG_EEPROM_F_CLEI,
  INVREG_EEPROM_F_PART_NUM,
  INVREG_EEPROM_F_DESCR,
  INVREG_EEPROM_F_HW_REV,
  INVREG_EEPROM_F_PCB_REV,
  INVREG_EEPROM_F_MFG_DATE,
  INVREG_EEPROM_F_SHIP_DATE,
  INVREG_EEPROM_F_ASSET_ID,
  INVREG_EEPROM_F_ASSET_ALIAS,
  INVREG_EEPROM_F_ASSET_FLAGS,
  INVREG_EEPROM_F_RAW,               // raw_eeprom and raw_eeprom_len
  INVREG_EEPROM_F_SIZE,
  INVREG_EEPROM_F_COUNT
};

typedef struct invreg_eeprom_data {
  uint32_t version;
  char eeprom_rev[16];
  uint32_t board_id;
  char pid[20];
  char vid[8];
  char pcb_serial[16];
  char clei[16];
  char part_num[32];
  char descr[96];
  char hw_rev[32];
  char pcb_rev[32];
  char mfg_date[56];
  char ship_date[56];
  char asset_id[16];
  char asset_alias[16];
  uint32_t asset_flags;
  const uint8_t* raw_eeprom;         // owned by the sender until the request is sent
  uint32_t raw_eeprom_len;
  uint32_t eeprom_size;
  uint8_t present[(INVREG_EEPROM_F_COUNT + 7) / 8];
} invreg_eeprom_data;

#ifdef __cplusplus
}
#endif

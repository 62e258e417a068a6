// IDPROM decoders of fan trays and power modules.
//
// An IDPROM image is 256 bytes read from the unit:
//   0..1   magic "ID"
//   2      image format, 1
//   3      unit class: 1 fan tray, 2 power module
//   4..5   payload length L, big-endian (0 < L <= 248)
//   6..    L bytes of fields, each: tag (1 byte), length (1 byte), value
//   6+L    CRC-16 (CCITT, initial 0xffff) over bytes 0..6+L-1, big-endian
//   rest   0xff
// Numbers are 4 bytes big-endian; texts are stored without terminator.
// Every field may appear once; version, board id, product id and PCB serial
// number are required; unknown tags are skipped.
#pragma once

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define DC_IDPROM_IMAGE_SIZE 256u
#define DC_IDPROM_FORMAT 1u
#define DC_IDPROM_HEADER_SIZE 6u
#define DC_IDPROM_CRC_SIZE 2u
#define DC_IDPROM_MAX_PAYLOAD (DC_IDPROM_IMAGE_SIZE - DC_IDPROM_HEADER_SIZE - DC_IDPROM_CRC_SIZE)

// Unit classes of byte 3.
#define DC_IDPROM_CLASS_FAN 1u
#define DC_IDPROM_CLASS_PS 2u

// Field tags.
#define DC_IDPROM_TAG_VERSION 0x01u      // number: hardware version word
#define DC_IDPROM_TAG_BOARD_ID 0x02u     // number: hardware type of the unit
#define DC_IDPROM_TAG_FORMAT_REV 0x03u   // number: revision of the field set
#define DC_IDPROM_TAG_PID 0x04u          // text: product id
#define DC_IDPROM_TAG_VID 0x05u          // text: version id
#define DC_IDPROM_TAG_PCB_SERIAL 0x06u   // text: PCB serial number
#define DC_IDPROM_TAG_CLEI 0x07u         // text: equipment code
#define DC_IDPROM_TAG_PART_NUM 0x08u     // text: top assembly part number
#define DC_IDPROM_TAG_DESCR 0x09u        // text: description
#define DC_IDPROM_TAG_HW_REV 0x0au       // text: hardware revision
#define DC_IDPROM_TAG_MFG_DATE 0x0bu     // text: manufacturing date

// Results of the decoders (0 is success).
#define DC_IDPROM_OK 0
#define DC_IDPROM_ERR_ARG 0x101        // null pointer, short image or no room for the error text
#define DC_IDPROM_ERR_MAGIC 0x102      // not an IDPROM image
#define DC_IDPROM_ERR_FORMAT 0x103     // unknown image format
#define DC_IDPROM_ERR_CLASS 0x104      // image of another unit class
#define DC_IDPROM_ERR_LENGTH 0x105     // payload length out of range
#define DC_IDPROM_ERR_CHECKSUM 0x106   // CRC mismatch
#define DC_IDPROM_ERR_TRUNCATED 0x107  // a field runs past the payload
#define DC_IDPROM_ERR_FIELD 0x108      // bad field size or repeated field
#define DC_IDPROM_ERR_MISSING 0x109    // a required field is absent

// The decoded record, 256 bytes, zeroed by the caller. Texts are terminated.
// Hardware version: bits 16..23 of `version` are the major, bits 0..7 the minor.
typedef struct dc_idprom_content {
  uint32_t version;         // offset 0
  uint32_t board_id;        // offset 4
  uint32_t format_rev;      // offset 8
  char pid[18];             // offset 12
  uint8_t unit_class;       // offset 30
  char vid[5];              // offset 31
  char pcb_serial[12];      // offset 36
  char clei[11];            // offset 48
  char part_num[27];        // offset 59
  char descr[91];           // offset 86
  char hw_rev[27];          // offset 177
  char mfg_date[52];        // offset 204
} dc_idprom_content;

#ifdef __cplusplus
static_assert(sizeof(dc_idprom_content) == 256, "decoded IDPROM record is 256 bytes");
static_assert(offsetof(dc_idprom_content, pid) == 12, "product id at 12");
static_assert(offsetof(dc_idprom_content, vid) == 31, "version id at 31");
static_assert(offsetof(dc_idprom_content, pcb_serial) == 36, "PCB serial at 36");
static_assert(offsetof(dc_idprom_content, clei) == 48, "equipment code at 48");
static_assert(offsetof(dc_idprom_content, part_num) == 59, "part number at 59");
static_assert(offsetof(dc_idprom_content, descr) == 86, "description at 86");
static_assert(offsetof(dc_idprom_content, hw_rev) == 177, "hardware revision at 177");
static_assert(offsetof(dc_idprom_content, mfg_date) == 204, "manufacturing date at 204");
#endif

// Decode a fan-tray (class 1) or power-module (class 2) image of image_len
// bytes (at least 256; only the first 256 are read) into *content. On failure
// a text naming the fault is written to err_text (err_len bytes, terminated)
// and the fields of *content are unspecified.
int dc_extract_fan_idprom_content(const uint8_t* image, uint32_t image_len, dc_idprom_content* content,
                                  char* err_text, uint32_t err_len);
int dc_extract_ps_idprom_content(const uint8_t* image, uint32_t image_len, dc_idprom_content* content,
                                 char* err_text, uint32_t err_len);

// CRC of the images (CCITT polynomial 0x1021, initial value 0xffff).
uint16_t dc_idprom_crc16(const uint8_t* data, size_t len);

#ifdef __cplusplus
}
#endif

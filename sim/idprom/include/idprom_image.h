// Writing IDPROM images (the unit side of the IDPROM stand-in): used by the
// image generator and by tests that need good or damaged images.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "idprom.h"

#ifdef __cplusplus
extern "C" {
#endif

// Writes a 256-byte image of unit_class from *content into image (image_len
// must be at least 256): the three numbers always, each text only when it is
// not empty. 0 on success; DC_IDPROM_ERR_ARG for a null pointer or short
// buffer; DC_IDPROM_ERR_FIELD for an unterminated text or when the fields do
// not fit into the payload.
int dc_idprom_image_build(const dc_idprom_content* content, uint8_t unit_class, uint8_t* image,
                          size_t image_len);

// Recomputes the CRC after an image was edited, from its payload-length field.
// 0, or DC_IDPROM_ERR_LENGTH when that field is out of range (nothing written).
int dc_idprom_image_reseal(uint8_t* image, size_t image_len);

#ifdef __cplusplus
}
#endif

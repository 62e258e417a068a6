// Fuzz target of the IDPROM field extraction: images come from the units, so
// no input may make it read outside the image or hand out an unterminated
// text.
#include <array>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "envmon_hal.h"
#include "idprom.h"
#include "invreg.h"

namespace {

void must(bool ok) {
  if (!ok) __builtin_trap();
}

template <size_t N>
bool terminated(const char (&text)[N]) {
  return strnlen(text, N) < N;
}

void extract_all(const uint8_t* image, uint32_t size) {
  char pid[19];
  char serial[12];
  uint16_t version = 0;
  std::memset(pid, 0, sizeof(pid));
  std::memset(serial, 0, sizeof(serial));
  if (envmon_hal_idprom_extract(image, size, nullptr, &version, pid, sizeof(pid), serial, sizeof(serial)) == 0) {
    must(strnlen(pid, 18) < 18);
    must(terminated(serial));
  }
  char pid18[18];
  if (envmon_hal_idprom_get_pid(image, size, pid18, sizeof(pid18)) == 0) must(strnlen(pid18, 18) < 18);

  invreg_eeprom_data record{};
  dc_idprom_content* decoded = nullptr;
  if (envmon_hal_idprom_set_inv_proto_fields(image, size, &record, 0, &decoded) == 0) {
    must(terminated(record.pid) && terminated(record.pcb_serial) && terminated(record.descr) &&
         terminated(record.mfg_date) && terminated(record.ship_date));
    must(record.raw_eeprom == image && record.eeprom_size == 256);
  }
  std::free(decoded);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // Exactly as given, in a buffer of exactly that size: anything but 256
  // bytes is refused before it is read.
  std::vector<uint8_t> as_given(size);
  if (size > 0) std::memcpy(as_given.data(), data, size);
  extract_all(as_given.empty() ? nullptr : as_given.data(), static_cast<uint32_t>(size));
  // Cut or padded to an image, so that the decoders see every input.
  std::vector<uint8_t> image(256, 0xff);
  if (size > 0) std::memcpy(image.data(), data, size < 256 ? size : 256);
  extract_all(image.data(), 256);
  return 0;
}

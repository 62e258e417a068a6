// Frames from a peer of the platform-driver service: a header and a payload
// of any message id, decoded and released.
#include <stddef.h>
#include <stdint.h>

#include "drvif_link.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  drvif_link::Message m;
  if (drvif_link::decode(data, size, &m)) drvif_link::release(&m);
  return 0;
}

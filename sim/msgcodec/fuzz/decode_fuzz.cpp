// Fuzz target of the codec's decoder. The first byte picks the record type,
// the rest is decoded as that type. A decode that succeeds must encode back to
// exactly the same bytes; a decode that fails must leave nothing allocated.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "codec_test_records.h"
#include "msgcodec.h"
#include "msgpipe.h"

namespace {

template <typename T>
void check(int (*decode)(T*, const void*, size_t, msgcodec_alloc_fn, void*, uint32_t),
           int (*encode)(const T*, void*, size_t, uint32_t),
           void (*release)(T*, msgcodec_free_fn, void*, uint32_t), const uint8_t* data, size_t size) {
  T rec;
  std::memset(&rec, 0, sizeof rec);
  const int used = decode(&rec, data, size, malloc, nullptr, 0);
  if (used < 0) return;
  if (static_cast<size_t>(used) != size) __builtin_trap();
  std::vector<uint8_t> again(size + 1);
  if (encode(&rec, again.data(), again.size(), 0) != used) __builtin_trap();
  if (size > 0 && std::memcmp(again.data(), data, size) != 0) __builtin_trap();
  release(&rec, free, nullptr, 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const uint8_t* body = data + 1;
  const size_t n = size - 1;
  switch (data[0] % 6) {
    case 0:
      check<capi_header>(msgcodec_capi_header_decode_ext, msgcodec_capi_header_encode_ext,
                         msgcodec_capi_header_free_ext, body, n);
      break;
    case 1:
      check<msgpipe_endpoint>(msgcodec_msgpipe_endpoint_decode_ext,
                              msgcodec_msgpipe_endpoint_encode_ext,
                              msgcodec_msgpipe_endpoint_free_ext, body, n);
      break;
    case 2:
      check<pelm_eid>(msgcodec_pelm_eid_decode_ext, msgcodec_pelm_eid_encode_ext,
                      msgcodec_pelm_eid_free_ext, body, n);
      break;
    case 3:
      check<ds_service_publish_info>(msgcodec_ds_service_publish_info_decode_ext,
                                     msgcodec_ds_service_publish_info_encode_ext,
                                     msgcodec_ds_service_publish_info_free_ext, body, n);
      break;
    case 4:
      check<ds_service_notification_req>(msgcodec_ds_service_notification_req_decode_ext,
                                         msgcodec_ds_service_notification_req_encode_ext,
                                         msgcodec_ds_service_notification_req_free_ext, body, n);
      break;
    default:
      check<kind_all>(msgcodec_kind_all_decode_ext, msgcodec_kind_all_encode_ext,
                      msgcodec_kind_all_free_ext, body, n);
      break;
  }
  return 0;
}

// Feeds arbitrary bytes to the inventory XML reader and walks what it kept.
#include <stdint.h>
#include <stdlib.h>

#include "inv_parser.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  inv_xml_handle_t xml =
      inv_parser_open_xml_buffer(reinterpret_cast<const char*>(data), size, "fuzz.xml");
  if (!xml) return 0;
  static const uint8_t kinds[][2] = {{8, 25}, {8, 29}, {8, 7}, {8, 13}, {5, 2}, {9, 27}, {3, 1}};
  for (const auto& k : kinds) {
    uint16_t count = 0;
    inv_eid* eids = nullptr;
    if (inv_parser_get_eid_by_type_subtype(xml, 6, k[0], k[1], &count, &eids) == INV_PARSER_OK) {
      for (uint16_t i = 0; i < count; ++i) {
        inv_parser_eid_data d;
        inv_parser_get_eid_data(xml, &eids[i], &d);
      }
    }
    free(eids);
  }
  inv_eid* root = nullptr;
  if (inv_parser_get_root_eid(xml, &root) == INV_PARSER_OK) free(root);
  int32_t v;
  inv_parser_get_poll_rate(xml, &v);
  inv_parser_get_delta(xml, &v);
  inv_parser_close_xml_file(xml);
  return 0;
}

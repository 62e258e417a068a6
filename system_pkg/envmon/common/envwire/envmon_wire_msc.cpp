// Message-sequence trace lines: each send and its receipt carry the same
// pairing id (sender's node, sender's process id, the message's unique id).
#include <unistd.h>

#include <cstdio>

#include "envmon_wire.h"
#include "envmon_wire_texts.h"

namespace T = envmon_wire_text;

extern "C" void envmon_wire_node_text(uint32_t node_addr, char out[17]) {
  if (node_addr == ENVMON_LOOPBACK) {
    snprintf(out, 17, "$n");
  } else {
    snprintf(out, 17, "%x", node_addr);
  }
}

extern "C" void envmon_wire_msc_entity(tlg_handle_t msc) {
  tlg_internal(msc, T::kMscEntity, tlg_get_process_prefix());
}

extern "C" void envmon_wire_msc_label(tlg_handle_t msc, const char* label) {
  tlg_internal(msc, T::kMscLabel, label);
}

extern "C" void envmon_wire_msc_source(tlg_handle_t msc, const char* function, uint32_t own_addr,
                                       uint32_t unique_id) {
  char node[17];
  envmon_wire_node_text(own_addr, node);
  tlg_internal(msc, T::kMscSource, function, node, static_cast<int>(getpid()),
               static_cast<int>(unique_id));
}

extern "C" void envmon_wire_msc_sink(tlg_handle_t msc, const char* function, uint32_t peer_addr,
                                     uint32_t peer_pid, uint32_t unique_id) {
  char node[17];
  envmon_wire_node_text(peer_addr, node);
  tlg_internal(msc, T::kMscSink, function, node, static_cast<int>(peer_pid),
               static_cast<int>(unique_id));
}

extern "C" void envmon_wire_msc_init_source(tlg_handle_t msc, uint32_t own_addr,
                                            uint32_t unique_id) {
  char node[17];
  envmon_wire_node_text(own_addr, node);
  tlg_internal(msc, T::kMscInitSource, node, static_cast<int>(unique_id));
}

extern "C" void envmon_wire_msc_init_sink(tlg_handle_t msc, uint32_t peer_addr,
                                          uint32_t peer_pid, uint32_t unique_id) {
  tlg_internal(msc, T::kMscInitSink, peer_addr, static_cast<int>(peer_pid),
               static_cast<int>(unique_id));
}

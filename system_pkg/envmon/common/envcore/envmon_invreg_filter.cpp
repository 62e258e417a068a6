// Choice of the inventory endpoint among the directory service's offers: the
// first offer of the client's scope and class that is not the current
// endpoint; none offered while connected ends the connection.
#include <stdlib.h>

#include "envmon_invreg_private.h"

using namespace envmon::invreg;

namespace {

constexpr char kCurrent[] = "%s(): curr_ip  0x%x curr_port %u, info_count %d\n";
constexpr char kEmptyFailed[] = "%s(): failed during msgpipe_disconnect\n";
constexpr char kEmptyOk[] = "%s(): sucessful call to msgpipe_disconnect\n";
constexpr char kEntry[] = "%s(): scope %d ip 0x%x port %u attr_count %u cl_name %u\n";
constexpr char kNmDiscFailed[] = "%s(): failed in msgpipe_disconnect\n";
constexpr char kRmDiscFailed[] = "%s(): failed to msgpipe_disconnect\n";
constexpr char kDiscOk[] = "%s(): successful call to msgpipe_disconnect\n";
constexpr char kConnectOk[] = "%s(): successful call connect_with_endpoint, scope %d ip 0x%x port %u \n";
constexpr char kConnectFailed[] = "%s(): connect_with_endpoint failed, scope %d ip 0x%x port %u \n";
constexpr char kInvAttrs[] = "%s(): Incorrect number of attributes received Number of Attrs  %d\n";
constexpr char kInvNoEndpoint[] = "%s(): there is an error retreiving endpoint\n";
constexpr char kInvEntry[] = "%s(): scope %d ip 0x%x port %u \n";
constexpr char kInvConnectOk[] = "%s(): Successful call connect_with_endpoint to scope %dip 0x%x port %u \n";
constexpr char kInvConnectFailed[] =
    "%s(): connect_with_endpoint failure with scope %d  ip 0x%x port %u \n";

// The endpoint of an offer; false when it has none or it does not decode.
bool offer_endpoint(const ds_service_info& info, msgpipe_endpoint* ep) {
  if (!msgcodec_test_bit(&info.present, DS_SERVICE_INFO_BIT_ENDPOINT) || info.endpoint == nullptr)
    return false;
  return msgcodec_msgpipe_endpoint_decode_ext(ep, info.endpoint, info.endpoint_len, malloc) >= 0;
}

uint32_t class_name(const ds_service_info& info) {
  if (info.attributes == nullptr || info.attribute_count == 0) return 0;
  return info.attributes[0].int_value;
}

// What differs between the three clients.
struct filter_kind {
  uint32_t scope;
  const char* disc_failed;
  bool count_rack;  // counters of the rack group, else of the node group
  bool counted;     // the inventory-service client counts nothing
};

template <typename Connect>
void filter(const char* fn, const filter_kind& kind, msgpipe_handle_t* transport,
            const ds_service_info* infos, uint32_t count, Connect connect) {
  msgpipe_endpoint cur{};
  if (transport != nullptr) msgpipe_get_remote_endpoint(transport, &cur);
  const bool busy =
      transport != nullptr && (msgpipe_is_connected(transport) || msgpipe_is_connecting(transport));
  envmon_debug_log(kCurrent, fn, cur.node_address, cur.port, static_cast<int>(count));
  tlg_internal(info_tlg_cmn_hdl, kCurrent, fn, cur.node_address, cur.port, static_cast<int>(count));
  if (count == 0 || infos == nullptr) {
    if (!busy) return;
    if (msgpipe_disconnect(transport) != 0)
      tlg_internal(err_tlg_cmn_hdl, kEmptyFailed, fn);
    else
      tlg_internal(info_tlg_cmn_hdl, kEmptyOk, fn);
    return;
  }
  for (uint32_t i = 0; i < count; ++i) {
    const ds_service_info& info = infos[i];
    msgpipe_endpoint ep{};
    const bool has_ep = offer_endpoint(info, &ep);
    if (kind.counted) {
      envmon_debug_log(kEntry, fn, static_cast<int>(info.scope), ep.node_address, ep.port,
                       info.attribute_count, class_name(info));
      tlg_internal(info_tlg_cmn_hdl, kEntry, fn, static_cast<int>(info.scope), ep.node_address,
                   ep.port, info.attribute_count, class_name(info));
    } else {
      if (info.attributes == nullptr || info.attribute_count == 0) {
        tlg_internal(err_tlg_cmn_hdl, kInvAttrs, fn, static_cast<int>(info.attribute_count));
        continue;
      }
      if (!has_ep) {
        tlg_internal(err_tlg_cmn_hdl, kInvNoEndpoint, fn);
        continue;
      }
      tlg_internal(info_tlg_cmn_hdl, kInvEntry, fn, static_cast<int>(info.scope), ep.node_address,
                   ep.port);
    }
    if (!has_ep || class_name(info) != INVREG_DS_CLASS_NAME || info.scope != kind.scope ||
        msgpipe_endpoint_equals(&ep, &cur))
      continue;
    if (transport != nullptr &&
        (msgpipe_is_connected(transport) || msgpipe_is_connecting(transport))) {
      if (msgpipe_disconnect(transport) != 0)
        tlg_internal(err_tlg_cmn_hdl, kind.disc_failed, fn);
      else
        tlg_internal(info_tlg_cmn_hdl, kDiscOk, fn);
    }
    if (connect(&ep) == 0) {
      if (kind.counted) {
        envmon_debug_log(kConnectOk, fn, static_cast<int>(info.scope), ep.node_address, ep.port);
        tlg_internal(info_tlg_cmn_hdl, kConnectOk, fn, static_cast<int>(info.scope),
                     ep.node_address, ep.port);
        if (kind.count_rack)
          rm_count(kRmFilter);
        else
          nm_count(kNmFilter);
      } else {
        tlg_internal(info_tlg_cmn_hdl, kInvConnectOk, fn, static_cast<int>(info.scope),
                     ep.node_address, ep.port);
      }
      return;
    }
    if (kind.counted) {
      tlg_internal(err_tlg_cmn_hdl, kConnectFailed, fn, static_cast<int>(info.scope),
                   ep.node_address, ep.port);
      if (kind.count_rack)
        rm_err_count(kRmErrFilter);
      else
        nm_err_count(kNmErrFilter);
    } else {
      tlg_internal(err_tlg_cmn_hdl, kInvConnectFailed, fn, static_cast<int>(info.scope),
                   ep.node_address, ep.port);
    }
  }
}

void invreg_filter(const char* fn, const filter_kind& kind, invreg_handle_t* handle,
                   const ds_service_info* infos, uint32_t count) {
  filter(fn, kind, invreg_get_transport(handle), infos, count,
         [handle](const msgpipe_endpoint* ep) {
           return invreg_connect_with_endpoint(handle, ep, nullptr);
         });
}

}  // namespace

extern "C" {

void envmon_inv_invreg_nm_filter_cb(invreg_handle_t* handle, const ds_service_info* infos,
                                    uint32_t count) {
  invreg_filter(__func__, filter_kind{ENVMON_SCOPE_NODE, kNmDiscFailed, false, true}, handle,
                infos, count);
}

void envmon_inv_invreg_rm_filter_cb(invreg_handle_t* handle, const ds_service_info* infos,
                                    uint32_t count) {
  invreg_filter(__func__, filter_kind{ENVMON_SCOPE_RACK, kRmDiscFailed, true, true}, handle,
                infos, count);
}

void envmon_inv_filter_ds_endpoints(inv_handle_t* handle, const ds_service_info* infos,
                                    uint32_t count) {
  filter(__func__, filter_kind{ENVMON_SCOPE_RACK, kEmptyFailed, false, false},
         inv_get_transport(handle), infos, count, [handle](const msgpipe_endpoint* ep) {
           return inv_connect_with_endpoint(handle, ep, nullptr);
         });
}

}  // extern "C"

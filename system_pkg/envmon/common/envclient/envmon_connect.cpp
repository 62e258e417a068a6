// Finding and reaching the server: the directory-service road, the default
// endpoint filter, connecting to an endpoint and disconnecting.
#include <cstdlib>

#include "envmon_client.h"
#include "envmon_client_texts.h"

namespace T = envmon_client_text;

namespace {

envmon_handle* handle_of(pelmarok_ds_handle_t* ds) {
  return static_cast<envmon_handle*>(pelmarok_ds_get_user_context(ds));
}

void ds_connect_cb(pelmarok_ds_handle_t* ds, int32_t status, void*) {
  envmon_handle* h = handle_of(ds);
  if (h == nullptr) return;
  if (status != 0) {
    envmon_client_msc_label(h, T::kMscDsConnectError, status, static_cast<void*>(h));
    tlg_internal(h->error_tlg, T::kDsConnectFailed);
    return;  // the directory-service library retries by itself
  }
  tlg_internal(h->conn_tlg, T::kDsConnected);
  ds_service_notification_req req{};
  req.service_name = const_cast<char*>(ENVMON_SERVICE_NAME);
  msgcodec_set_bit(&req.present, DS_NOTIFICATION_REQ_BIT_SERVICE_NAME);
  if (h->service_instance != nullptr) {
    req.instance_name = h->service_instance;
    msgcodec_set_bit(&req.present, DS_NOTIFICATION_REQ_BIT_INSTANCE_NAME);
  }
  pelmarok_ds_register_service_notification(ds, &req, h);
}

void ds_disconnect_cb(pelmarok_ds_handle_t*, int32_t, void*) {}

void ds_error_cb(pelmarok_ds_handle_t* ds, int32_t code, void*) {
  envmon_handle* h = handle_of(ds);
  if (h != nullptr) tlg_internal(h->error_tlg, T::kDsError, code);
}

void ds_registered_cb(pelmarok_ds_handle_t* ds, int32_t status, void*) {
  envmon_handle* h = handle_of(ds);
  if (h == nullptr) return;
  if (status == 0) {
    tlg_internal(h->conn_tlg, T::kDsRegistered);
    return;
  }
  tlg_internal(h->error_tlg, T::kDsRegisterFailed);
  if (h->error_cb != nullptr) h->error_cb(h, ENVMON_ERR_DS_REGISTER);
}

void ds_unregistered_cb(pelmarok_ds_handle_t*, int32_t, void*) {}

void ds_notify_cb(pelmarok_ds_handle_t* ds, const ds_service_info* entries, uint32_t count,
                  void*) {
  envmon_handle* h = handle_of(ds);
  if (h == nullptr) return;
  envmon_client_msc_label(h, T::kMscDsEndpoints, static_cast<int>(count), static_cast<void*>(h));
  h->filter_cb(h, entries, count);
}

void ds_notify_deleted_cb(pelmarok_ds_handle_t* ds, const ds_service_info*, uint32_t, void*) {
  envmon_handle* h = handle_of(ds);
  if (h != nullptr) envmon_client_msc_label(h, T::kMscDsDeleted, static_cast<void*>(h));
}

// Decodes the endpoint of one directory-service entry.
bool decode_endpoint(const ds_service_info& entry, msgpipe_endpoint* ep) {
  *ep = msgpipe_endpoint{};
  if (!msgcodec_test_bit(&entry.present, DS_SERVICE_INFO_BIT_ENDPOINT) || entry.endpoint == nullptr) {
    return false;
  }
  // The endpoint record holds no allocated parts: nothing to release after it.
  return msgcodec_msgpipe_endpoint_decode_ext(ep, entry.endpoint, entry.endpoint_len, malloc) >= 0;
}

}  // namespace

extern "C" int32_t envmon_connect(envmon_handle* h, void* ctx) {
  if (h == nullptr) return ENVMON_ERR_FAILED;
  envmon_client_open_traces(h);
  envmon_client_msc_label(h, T::kMscRequesting, static_cast<void*>(h),
                          static_cast<void*>(h->transport));
  h->cb_ctx = ctx;
  if (h->ds != nullptr) return ENVMON_OK;

  pelmarok_ds_handle_t* ds = nullptr;
  int rc = pelmarok_ds_handle_create(&ds, h->loop);
  if (rc != 0) {
    tlg_internal(h->error_tlg, T::kDsConnectError, rc);
    return ENVMON_ERR_FAILED;
  }
  h->ds = ds;
  tlg_internal(h->info_tlg, T::kDsInstantiated, static_cast<void*>(ds));
  pelmarok_ds_set_tlg_info_parent_handle(ds, h->info_tlg);
  pelmarok_ds_set_tlg_parent_handle(ds, h->error_tlg);
  pelmarok_ds_set_ds_endpoint_factory(ds, h->factory, h->factory_ctx);
  pelmarok_ds_set_user_context(ds, h);
  pelmarok_ds_set_connect_callback(ds, ds_connect_cb);
  pelmarok_ds_set_disconnect_callback(ds, ds_disconnect_cb);
  pelmarok_ds_set_error_callback(ds, ds_error_cb);
  pelmarok_ds_set_notify_service_callback(ds, ds_notify_cb);
  pelmarok_ds_set_notify_deleted_service_callback(ds, ds_notify_deleted_cb);
  pelmarok_ds_set_registered_service_callback(ds, ds_registered_cb);
  pelmarok_ds_set_unregistered_service_callback(ds, ds_unregistered_cb);
  if (h->ds_option != nullptr) pelmarok_ds_set_option(ds, PELMAROK_DS_OPT_CLIENT_NAME, h->ds_option);

  rc = pelmarok_ds_connect(ds, h);
  if (rc != 0) {
    // The handle stays, so a later envmon_connect does not try again.
    tlg_internal(h->error_tlg, T::kDsConnectError, rc);
    return ENVMON_ERR_FAILED;
  }
  return ENVMON_OK;
}

extern "C" void envmon_default_ds_endpoint_filter(envmon_handle* h,
                                                  const ds_service_info* entries,
                                                  uint32_t count) {
  if (h == nullptr) return;
  msgpipe_handle_t* t = h->transport;
  if (entries == nullptr || count == 0) {
    envmon_client_msc_label(h, T::kMscNoEndpoints, static_cast<void*>(h), static_cast<int>(count));
    if (t == nullptr) return;
    if (msgpipe_is_connected(t) || msgpipe_is_connecting(t)) msgpipe_disconnect(t, h);
    msgpipe_handle_endpoint_init(t);
    return;
  }

  const bool busy = t != nullptr && (msgpipe_is_connected(t) || msgpipe_is_connecting(t));
  msgpipe_endpoint current{};
  if (busy) {
    if (msgpipe_get_remote_endpoint(t, &current) != 0) {
      tlg_internal(h->conn_tlg, T::kFilterNoRemote, static_cast<void*>(h));
      return;
    }
    tlg_internal(h->conn_tlg, T::kFilterConnectedTo, static_cast<void*>(h), current.node_address,
                 static_cast<int>(current.port));
  }

  // Idle: the first entry. Busy: keep the present server when it is still
  // published anywhere in the list, else move to the last entry.
  msgpipe_endpoint chosen{};
  for (uint32_t i = 0; i < count; ++i) {
    if (!decode_endpoint(entries[i], &chosen)) {
      tlg_internal(h->conn_tlg, T::kFilterBadEntry, static_cast<void*>(h), static_cast<int>(i));
      return;
    }
    tlg_internal(h->conn_tlg, T::kFilterEntry, static_cast<void*>(h), static_cast<int>(i),
                 chosen.node_address, static_cast<int>(chosen.port));
    if (!busy) break;
    if (msgpipe_endpoint_equals(&current, &chosen)) {
      tlg_internal(h->conn_tlg, T::kFilterMatch);
      return;
    }
  }
  if (busy) msgpipe_disconnect(t, h);
  envmon_client_msc_label(h, T::kMscFilterChose, chosen.node_address, static_cast<int>(chosen.port),
                          static_cast<void*>(h));
  envmon_connect_with_endpoint(h, &chosen, h->cb_ctx);
}

extern "C" int32_t envmon_connect_with_endpoint(envmon_handle* h, const msgpipe_endpoint* endpoint,
                                                void* ctx) {
  if (h == nullptr || h->transport == nullptr || endpoint == nullptr) return ENVMON_ERR_FAILED;
  envmon_client_open_traces(h);
  envmon_client_msc_label(h, T::kMscConnecting, endpoint->node_address,
                          static_cast<int>(endpoint->port), static_cast<void*>(h));
  h->cb_ctx = ctx;
  msgpipe_endpoint_set(&h->saved_endpoint, endpoint->node_address, endpoint->port);
  msgpipe_set_option(h->transport, MSGPIPE_OPT_NODELAY, 1);
  msgpipe_set_option(h->transport, MSGPIPE_OPT_KEEPALIVE_PROBES, 4);
  const int rc = msgpipe_connect(h->transport, 0, &h->saved_endpoint, h);
  if (rc != 0) {
    tlg_internal(h->error_tlg, T::kConnectFailed, rc);
    return ENVMON_ERR_FAILED;
  }
  return ENVMON_OK;
}

extern "C" int32_t envmon_disconnect(envmon_handle* h, void* ctx) {
  if (h == nullptr) return ENVMON_ERR_FAILED;
  h->cb_ctx = ctx;
  if (h->ds != nullptr) {
    pelmarok_ds_handle_destroy(h->ds);
    h->ds = nullptr;
  }
  h->user_disconnect = 1;
  if (h->transport != nullptr && msgpipe_disconnect(h->transport, h) != 0) return ENVMON_ERR_FAILED;
  envmon_wire_lock lock(h->transport != nullptr ? msgpipe_get_mutex(h->transport) : nullptr);
  envmon_client_drop_pending(h);
  return ENVMON_OK;
}

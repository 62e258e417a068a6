// Binding the listening transport and publishing the service in the
// directory service; deactivation.
#include <cstdlib>
#include <cstring>

#include "envmon_server.h"
#include "envmon_server_texts.h"

namespace T = envmon_server_text;

namespace {

// Room for an encoded endpoint; encodings above kMaxEndpoint are refused.
constexpr size_t kEndpointRoom = 16;
constexpr int kMaxEndpoint = 15;

envmon_server_handle* server_of(pelmarok_ds_handle_t* ds) {
  return static_cast<envmon_server_handle*>(pelmarok_ds_get_user_context(ds));
}

void ds_connect_cb(pelmarok_ds_handle_t* ds, int32_t status, void*) {
  envmon_server_handle* s = server_of(ds);
  if (s == nullptr) return;
  tlg_internal(s->info_tlg, T::kDsCalled, T::kDsConnectCb, status);
  if (status != 0) return;
  // Every new connection to the directory service publishes again.
  const int rc = pelmarok_ds_publish_service(ds, s->publish, 0);
  if (rc == 0) {
    tlg_internal(s->conn_tlg, T::kPublished);
  } else {
    tlg_internal(s->error_tlg, T::kPublishFailed, static_cast<long>(rc));
  }
}

void ds_disconnect_cb(pelmarok_ds_handle_t* ds, int32_t, void*) {
  if (envmon_server_handle* s = server_of(ds)) tlg_internal(s->info_tlg, T::kDsIn, T::kDsDisconnectCb);
}
void ds_error_cb(pelmarok_ds_handle_t* ds, int32_t, void*) {
  if (envmon_server_handle* s = server_of(ds)) tlg_internal(s->info_tlg, T::kDsIn, T::kDsErrorCb);
}
void ds_published_cb(pelmarok_ds_handle_t* ds, int32_t, void*) {
  if (envmon_server_handle* s = server_of(ds)) tlg_internal(s->info_tlg, T::kDsIn, T::kDsPublishedCb);
}

void release_publication(envmon_server_handle* s) {
  if (s->publish == nullptr) return;
  msgcodec_ds_service_publish_info_free_ext(s->publish, free);
  free(s->publish);
  s->publish = nullptr;
}

void release_attributes(ds_service_info* si) {
  for (uint32_t i = 0; si->attributes != nullptr && i < si->attribute_count; ++i) {
    msgcodec_ds_attribute_free_ext(&si->attributes[i], free);
  }
  free(si->attributes);
  si->attributes = nullptr;
  si->attribute_count = 0;
  si->present = static_cast<uint8_t>(si->present & ~(1u << DS_SERVICE_INFO_BIT_ATTRIBUTES));
}

// Deep copy of the owner's attributes; null text on success, else the trace.
const char* copy_attributes(ds_service_info* si, const envmon_server_activation_info* info) {
  auto* list = static_cast<ds_attribute*>(calloc(info->attribute_count, sizeof(ds_attribute)));
  if (list == nullptr) return T::kNoAttributes;
  si->attributes = list;
  si->attribute_count = info->attribute_count;
  msgcodec_set_bit(&si->present, DS_SERVICE_INFO_BIT_ATTRIBUTES);
  for (uint32_t i = 0; i < info->attribute_count; ++i) {
    const ds_attribute& from = info->attributes[i];
    ds_attribute& to = list[i];
    to = from;
    to.string_value = nullptr;
    to.bytes_value = nullptr;
    if (from.string_value != nullptr) {
      if ((to.string_value = strdup(from.string_value)) == nullptr) return T::kNoAttributeString;
    }
    if (from.bytes_value != nullptr) {
      to.bytes_value = static_cast<uint8_t*>(malloc(from.bytes_value_len > 0 ? from.bytes_value_len : 1));
      if (to.bytes_value == nullptr) return T::kNoAttributeBytes;
      memcpy(to.bytes_value, from.bytes_value, from.bytes_value_len);
    }
  }
  return nullptr;
}

// Closes the information and error buffers; the next bind reopens them.
int32_t fail_exit(envmon_server_handle* s) {
  tlg_close(s->info_tlg);
  tlg_close(s->error_tlg);
  s->info_tlg = nullptr;
  s->error_tlg = nullptr;
  return ENVMON_ERR_FAILED;
}

int32_t cleanup_and_fail(envmon_server_handle* s) {
  envmon_server_unbind(s);
  release_publication(s);
  return fail_exit(s);
}

}  // namespace

extern "C" int32_t envmon_server_bind(envmon_server_handle* s, const msgpipe_endpoint* endpoint) {
  if (s == nullptr) return ENVMON_ERR_FAILED;
  envmon_server_open_traces(s, s->info_parent, s->error_parent, s->conn_parent);
  envmon_server_open_msc(s);
  msgpipe_set_option(s->transport, MSGPIPE_OPT_NODELAY, 1);
  msgpipe_set_option(s->transport, MSGPIPE_OPT_KEEPALIVE_PROBES, 4);
  if (endpoint == nullptr || msgpipe_bind(s->transport, 0, endpoint, s) != 0) {
    tlg_internal(s->error_tlg, T::kBindFailed);
    return ENVMON_ERR_FAILED;
  }
  tlg_internal(s->conn_tlg, T::kBound);
  return ENVMON_OK;
}

extern "C" int32_t envmon_server_unbind(envmon_server_handle* s) {
  if (s == nullptr || s->transport == nullptr) return ENVMON_OK;
  return msgpipe_unbind(s->transport);
}

extern "C" int32_t envmon_server_activate(envmon_server_handle* s,
                                          const envmon_server_activation_info* info) {
  if (s == nullptr) return ENVMON_ERR_FAILED;
  envmon_server_open_traces(s, s->info_parent, s->error_parent, s->conn_parent);
  tlg_internal(s->conn_tlg, T::kActivating);
  if (info == nullptr) {
    tlg_internal(s->error_tlg, T::kActivateNull);
    return fail_exit(s);
  }
  // Activating an active handle moves it: the transport listens only once.
  if (s->publish != nullptr) envmon_server_unbind(s);
  if (envmon_server_bind(s, &info->endpoint) != ENVMON_OK) {
    tlg_internal(s->error_tlg, T::kActivateBind);
    return fail_exit(s);
  }

  ds_service_info* si = nullptr;
  uint8_t* ep_buf = nullptr;
  const bool first = s->publish == nullptr;
  if (first) {
    s->publish = static_cast<ds_service_publish_info*>(calloc(1, sizeof(ds_service_publish_info)));
    if (s->publish == nullptr) {
      tlg_internal(s->error_tlg, T::kNoPublishInfo);
      return cleanup_and_fail(s);
    }
    s->publish->service_name = strdup(ENVMON_SERVICE_NAME);
    if (s->publish->service_name != nullptr) {
      msgcodec_set_bit(&s->publish->present, DS_PUBLISH_INFO_BIT_SERVICE_NAME);
    }
    si = static_cast<ds_service_info*>(calloc(1, sizeof(ds_service_info)));
    if (si == nullptr) {
      tlg_internal(s->error_tlg, T::kNoServiceInfo);
      return cleanup_and_fail(s);
    }
    s->publish->service_info = si;
    s->publish->service_info_count = 1;
    msgcodec_set_bit(&s->publish->present, DS_PUBLISH_INFO_BIT_SERVICE_INFO);
    ep_buf = static_cast<uint8_t*>(calloc(1, kEndpointRoom));
    if (ep_buf == nullptr) {
      tlg_internal(s->info_tlg, T::kNoEndpointBuffer);
      return cleanup_and_fail(s);
    }
  } else {
    si = s->publish->service_info;
    ep_buf = si->endpoint;
  }

  si->scope = info->scope;
  msgcodec_set_bit(&si->present, DS_SERVICE_INFO_BIT_SCOPE);
  if (s->service_instance != nullptr) {
    free(si->instance_name);
    si->instance_name = strdup(s->service_instance);
    if (si->instance_name != nullptr) msgcodec_set_bit(&si->present, DS_SERVICE_INFO_BIT_INSTANCE_NAME);
  }

  // A port left open in the record is the one the transport chose.
  msgpipe_endpoint published = info->endpoint;
  msgpipe_endpoint bound{};
  if ((!(published.present & MSGPIPE_ENDPOINT_HAS_PORT) || published.port == 0) &&
      msgpipe_get_local_endpoint(s->transport, &bound) == 0) {
    msgpipe_endpoint_set(&published,
                         (published.present & MSGPIPE_ENDPOINT_HAS_ADDRESS) ? published.node_address
                                                                            : bound.node_address,
                         bound.port);
  }
  const int need = msgcodec_msgpipe_endpoint_encode_ext(&published, ep_buf, kEndpointRoom);
  if (need < 0 || need > kMaxEndpoint) {
    // A failed encoding is refused like an oversized one.
    if (first) free(ep_buf);
    tlg_internal(s->info_tlg, T::kEndpointBloat);
    return cleanup_and_fail(s);
  }
  si->endpoint = ep_buf;
  si->endpoint_len = static_cast<uint32_t>(need);
  msgcodec_set_bit(&si->present, DS_SERVICE_INFO_BIT_ENDPOINT);

  release_attributes(si);
  if (info->attribute_count > 0 && info->attributes != nullptr) {
    if (const char* why = copy_attributes(si, info)) {
      tlg_internal(s->error_tlg, "%s", why);
      return cleanup_and_fail(s);
    }
  }

  if (s->ds != nullptr) {
    pelmarok_ds_publish_service(s->ds, s->publish, 0);
    tlg_internal(s->conn_tlg, T::kPublishing);
    return ENVMON_OK;
  }
  pelmarok_ds_handle_t* ds = nullptr;
  if (pelmarok_ds_handle_create(&ds, s->loop, s) != 0) {
    tlg_internal(s->error_tlg, T::kNoDsHandle);
    return cleanup_and_fail(s);
  }
  s->ds = ds;
  pelmarok_ds_set_tlg_info_parent_handle(ds, s->info_tlg);
  pelmarok_ds_set_tlg_parent_handle(ds, s->error_tlg);
  pelmarok_ds_set_connect_callback(ds, ds_connect_cb);
  pelmarok_ds_set_disconnect_callback(ds, ds_disconnect_cb);
  pelmarok_ds_set_error_callback(ds, ds_error_cb);
  pelmarok_ds_set_published_service_callback(ds, ds_published_cb);
  if (pelmarok_ds_connect(ds, s) != 0) {
    pelmarok_ds_handle_destroy(ds);
    s->ds = nullptr;
    tlg_internal(s->error_tlg, T::kDsConnectFailed);
    return cleanup_and_fail(s);
  }
  tlg_internal(s->conn_tlg, T::kConnectingDs);
  return ENVMON_OK;
}

extern "C" int32_t envmon_server_deactivate(envmon_server_handle* s) {
  if (s == nullptr) return ENVMON_OK;
  tlg_internal(s->info_tlg, T::kDeactivating);
  if (s->ds != nullptr) {
    pelmarok_ds_handle_destroy(s->ds);
    s->ds = nullptr;
  }
  envmon_server_unbind(s);
  release_publication(s);
  return ENVMON_OK;
}

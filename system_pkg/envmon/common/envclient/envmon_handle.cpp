// The client handle: creation, destruction with a delayed free, callback
// setters, options, trace buffers and getters.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "envmon_client.h"
#include "envmon_client_texts.h"

namespace T = envmon_client_text;

#ifndef ENVMON_BUILD_ID
#define ENVMON_BUILD_ID "envmon"
#endif

namespace {

// Trace buffer sizes of the client library.
constexpr uint32_t kTraceSize = 4096;
constexpr uint32_t kTracePoints = 237;

tlg_handle_t open_buffer(const char* name, tlg_handle_t parent) {
  tlg_handle_t h = nullptr;
  if (tlg_open_internal(&h, name, kTraceSize, kTracePoints, T::kComponentPath, ENVMON_BUILD_ID,
                        parent) != 0) {
    return nullptr;
  }
  return h;
}

void delayed_free(void* arg) {
  auto* h = static_cast<envmon_handle*>(arg);
  tlg_internal(h->info_tlg, T::kDelayedFree, static_cast<void*>(h));
  tlg_close(h->info_tlg);
  tlg_close(h->error_tlg);
  free(h->ds_option);
  free(h->expected_name);
  free(h->service_instance);
  free(h);
}

// Replaces an owned text with a copy of another; false when memory is short.
bool replace_text(char** slot, const char* value) {
  char* copy = nullptr;
  if (value != nullptr && (copy = strdup(value)) == nullptr) return false;
  free(*slot);
  *slot = copy;
  return true;
}

void set_resp(envmon_handle* h, int row, uint32_t slot, envmon_resp_callback cb) {
  if (h != nullptr) h->resp_cb[row][slot] = cb;
}

}  // namespace

void envmon_client_open_traces(envmon_handle* h) {
  if (h->traces_open) return;
  h->traces_open = 1;
  if ((h->info_tlg = open_buffer(T::kInfoBuffer, h->info_parent)) != nullptr) {
    tlg_enable_configuration(h->info_tlg, h->loop);
    msgpipe_set_tlg_info_parent_handle(h->transport, h->info_tlg);
  }
  if ((h->error_tlg = open_buffer(T::kErrorBuffer, h->error_parent)) != nullptr) {
    tlg_enable_configuration(h->error_tlg, h->loop);
    msgpipe_set_tlg_error_parent_handle(h->transport, h->error_tlg);
  }
  if ((h->conn_tlg = open_buffer(T::kConnBuffer, h->conn_parent)) != nullptr) {
    tlg_enable_configuration(h->conn_tlg, h->loop);
    msgpipe_set_tlg_conn_parent_handle(h->transport, h->conn_tlg);
  }
  envmon_client_open_msc(h);
}

void envmon_client_open_msc(envmon_handle* h) {
  if (h->msc_tlg != nullptr) return;
  h->msc_tlg = open_buffer(T::kMscBuffer, nullptr);
  if (h->msc_tlg == nullptr) return;
  tlg_enable_configuration(h->msc_tlg, h->loop);
  envmon_wire_msc_entity(h->msc_tlg);
}

void envmon_client_msc_label(envmon_handle* h, const char* fmt, ...) {
  char label[256];
  va_list ap;
  va_start(ap, fmt);
  vsnprintf(label, sizeof label, fmt, ap);
  va_end(ap);
  envmon_wire_msc_label(h->msc_tlg, label);
}

void envmon_client_drop_pending(envmon_handle* h) {
  capi_table_iterator* it = capi_table_get_iterator(&h->pending);
  if (it != nullptr) {
    while (capi_table_iterator_next(it) != nullptr) free(capi_table_iterator_remove_current(it));
    capi_table_iterator_destroy(it);
    return;
  }
  // No memory for an iterator: take the entries out one by one.
  while (h->pending.head != nullptr) free(capi_table_remove(&h->pending, h->pending.head->request_id));
}

envmon_wire_side envmon_client_side(const envmon_handle* h) {
  return envmon_wire_side{h, h->transport, h->info_tlg, h->error_tlg, h->msc_tlg, h->local_addr};
}

void envmon_client_reconnect(envmon_handle* h) {
  msgpipe_set_connect_delay(h->transport, kReconnectDelayMs);
  msgpipe_connect(h->transport, 0, &h->saved_endpoint, h);
}

extern "C" int32_t envmon_handle_create(envmon_handle** out, evloop_t* loop, void* user_context) {
  if (out == nullptr) return ENVMON_ERR_NO_MEMORY;
  *out = nullptr;
  auto* h = static_cast<envmon_handle*>(calloc(1, sizeof(envmon_handle)));
  if (h == nullptr) return ENVMON_ERR_NO_MEMORY;
  h->service_name = ENVMON_SERVICE_NAME;
  h->user_ctx = user_context;
  h->cb_ctx = user_context;
  h->client_version = ENVMON_VERSION;
  capi_table_init(&h->pending);
  h->filter_cb = envmon_default_ds_endpoint_filter;

  if (msgpipe_handle_create(0, &h->transport) != 0) {
    free(h);
    return ENVMON_ERR_NO_MEMORY;
  }
  msgpipe_handle_set_name(h->transport, ENVMON_SERVICE_NAME);
  msgpipe_handle_set_user_context(h->transport, h);
  if (evloop_attach_msgpipe_handle(loop, h->transport, envmon_msgpipe_event_handler, 0, 0, 0) !=
      0) {
    msgpipe_handle_destroy(h->transport);
    free(h);
    return ENVMON_ERR_EVLOOP;
  }
  h->loop = loop;
  *out = h;
  return ENVMON_OK;
}

extern "C" int32_t envmon_handle_destroy(envmon_handle* h) {
  if (h == nullptr) {
    fputs(T::kDestroyNull, stderr);
    return ENVMON_ERR_FAILED;
  }
  tlg_internal(h->info_tlg, T::kDestroy, static_cast<void*>(h));
  if (h->destroyed) return ENVMON_OK;

  msgpipe_handle_t* t = h->transport;
  envmon_wire_lock lock(t != nullptr ? msgpipe_get_mutex(t) : nullptr);
  h->destroyed = 1;
  if (!h->user_disconnect) envmon_disconnect(h, h->cb_ctx);
  free(h->server_version);
  h->server_version = nullptr;
  free(h->server_argv0);
  h->server_argv0 = nullptr;
  envmon_client_drop_pending(h);
  if (t != nullptr) {
    lock.unlock();
    evloop_attach_msgpipe_handle(h->loop, t, nullptr, 0, 0, 0);
    msgpipe_handle_destroy(t);
    h->transport = nullptr;
  }
  if (evloop_delayed_ev_item_enqueue(h->loop, delayed_free, h) != 0) delayed_free(h);
  return ENVMON_OK;
}

// Callback setters.
extern "C" void envmon_set_connect_callback(envmon_handle* h, envmon_connect_callback cb) {
  if (h != nullptr) h->connect_cb = cb;
}
extern "C" void envmon_set_disconnect_callback(envmon_handle* h, envmon_disconnect_callback cb) {
  if (h != nullptr) h->disconnect_cb = cb;
}
extern "C" void envmon_set_error_callback(envmon_handle* h, envmon_error_callback cb) {
  if (h != nullptr) h->error_cb = cb;
}
extern "C" void envmon_set_flow_resume_callback(envmon_handle* h, envmon_flow_resume_callback cb) {
  if (h != nullptr) h->flow_resume_cb = cb;
}
extern "C" void envmon_set_ds_endpoint_filter_callback(envmon_handle* h,
                                                       envmon_ds_endpoint_filter_callback cb) {
  // Without a filter the endpoints would have nowhere to go.
  if (h != nullptr) h->filter_cb = cb != nullptr ? cb : envmon_default_ds_endpoint_filter;
}

extern "C" void envmon_set_power_budget_callback(envmon_handle* h, envmon_resp_callback cb) {
  set_resp(h, 0, ENVMON_REQ_POWER_BUDGET, cb);
}
extern "C" void envmon_set_resp_sensor_value_set_callback(envmon_handle* h,
                                                          envmon_resp_callback cb) {
  set_resp(h, 1, ENVMON_REQ_SENSOR_VALUE_SET, cb);
}
extern "C" void envmon_set_resp_sensor_fault_set_callback(envmon_handle* h,
                                                          envmon_resp_callback cb) {
  set_resp(h, 2, ENVMON_REQ_SENSOR_FAULT_SET, cb);
}
extern "C" void envmon_set_resp_test_callback(envmon_handle* h, envmon_resp_callback cb) {
  set_resp(h, 3, ENVMON_REQ_RUN_TEST, cb);
}
extern "C" void envmon_set_resp_dbg_flag_callback(envmon_handle* h, envmon_resp_callback cb) {
  set_resp(h, 4, ENVMON_REQ_SET_DBG_FLAG, cb);
}
extern "C" void envmon_set_resp_register_power_data_callback(envmon_handle* h,
                                                             envmon_resp_callback cb) {
  set_resp(h, 5, ENVMON_REQ_REGISTER_POWER_DATA, cb);
}
extern "C" void envmon_set_resp_dump_debug_callback(envmon_handle* h, envmon_resp_callback cb) {
  set_resp(h, 6, ENVMON_REQ_DUMP_DEBUG, cb);
}
extern "C" void envmon_set_resp_temp_monitoring_callback(envmon_handle* h,
                                                         envmon_resp_callback cb) {
  set_resp(h, 7, ENVMON_REQ_HW_TEMP_MONITORING, cb);
}
extern "C" void envmon_set_resp_altitude_value_callback(envmon_handle* h,
                                                        envmon_resp_callback cb) {
  set_resp(h, 8, ENVMON_REQ_ALTITUDE_VALUE, cb);
}

extern "C" void envmon_set_power_budget_callback_for_request_power_budget(
    envmon_handle* h, envmon_resp_callback cb) {
  envmon_set_power_budget_callback(h, cb);
}
extern "C" void envmon_set_resp_sensor_value_set_callback_for_sensor_value_set(
    envmon_handle* h, envmon_resp_callback cb) {
  envmon_set_resp_sensor_value_set_callback(h, cb);
}
extern "C" void envmon_set_resp_sensor_fault_set_callback_for_sensor_fault_set(
    envmon_handle* h, envmon_resp_callback cb) {
  envmon_set_resp_sensor_fault_set_callback(h, cb);
}
extern "C" void envmon_set_resp_test_callback_for_run_test(envmon_handle* h,
                                                           envmon_resp_callback cb) {
  envmon_set_resp_test_callback(h, cb);
}
extern "C" void envmon_set_resp_dbg_flag_callback_for_set_dbg_flag(envmon_handle* h,
                                                                   envmon_resp_callback cb) {
  envmon_set_resp_dbg_flag_callback(h, cb);
}
extern "C" void envmon_set_resp_register_power_data_callback_for_register_power_data(
    envmon_handle* h, envmon_resp_callback cb) {
  envmon_set_resp_register_power_data_callback(h, cb);
}
extern "C" void envmon_set_resp_dump_debug_callback_for_dump_debug(envmon_handle* h,
                                                                   envmon_resp_callback cb) {
  envmon_set_resp_dump_debug_callback(h, cb);
}
extern "C" void envmon_set_resp_temp_monitoring_callback_for_hw_temp_monitoring(
    envmon_handle* h, envmon_resp_callback cb) {
  envmon_set_resp_temp_monitoring_callback(h, cb);
}
extern "C" void envmon_set_resp_altitude_value_callback_for_request_altitude_value(
    envmon_handle* h, envmon_resp_callback cb) {
  envmon_set_resp_altitude_value_callback(h, cb);
}

extern "C" void envmon_set_notif_sys_pwr_data_callback(envmon_handle* h,
                                                       envmon_notif_callback cb) {
  if (h != nullptr) h->notif_sys_pwr_data_cb = cb;
}
extern "C" void envmon_set_notif_fru_pwr_alloc_data_callback(envmon_handle* h,
                                                             envmon_notif_callback cb) {
  if (h != nullptr) h->notif_fru_pwr_alloc_data_cb = cb;
}

// Options.
extern "C" int32_t envmon_set_option(envmon_handle* h, uint32_t option, const char* value) {
  if (h == nullptr) return ENVMON_ERR_FAILED;
  switch (option) {
    case 1:
    case 2:
      return msgpipe_set_option(h->transport, option, value) == 0 ? ENVMON_OK : ENVMON_ERR_FAILED;
    case 3:
      replace_text(&h->ds_option, value);
      return ENVMON_OK;
    case 4:
      replace_text(&h->expected_name, value);
      return ENVMON_OK;
    default:
      return ENVMON_ERR_FAILED;
  }
}

extern "C" int32_t envmon_set_tcp_user_timeout(envmon_handle* h, uint8_t seconds) {
  if (h == nullptr) return ENVMON_ERR_FAILED;
  return msgpipe_set_option(h->transport, MSGPIPE_OPT_USER_TIMEOUT, static_cast<int>(seconds)) == 0
             ? ENVMON_OK
             : ENVMON_ERR_FAILED;
}

extern "C" int32_t envmon_set_service_instance(envmon_handle* h, const char* instance) {
  if (h == nullptr || instance == nullptr) return ENVMON_ERR_FAILED;
  return replace_text(&h->service_instance, instance) ? ENVMON_OK : ENVMON_ERR_FAILED;
}

extern "C" void envmon_set_ds_endpoint_factory(envmon_handle* h,
                                               pelmarok_ds_endpoint_factory_t factory,
                                               void* factory_ctx) {
  if (h == nullptr) return;
  h->factory = factory;
  h->factory_ctx = factory_ctx;
}

extern "C" void envmon_set_user_context(envmon_handle* h, void* ctx) {
  if (h != nullptr) h->user_ctx = ctx;
}
extern "C" void* envmon_get_user_context(envmon_handle* h) {
  return h != nullptr ? h->user_ctx : nullptr;
}

extern "C" int32_t envmon_set_tlg_parent_handle(envmon_handle* h, tlg_handle_t parent) {
  if (h == nullptr) return ENVMON_ERR_FAILED;
  h->error_parent = parent;
  envmon_client_open_msc(h);
  return ENVMON_OK;
}
extern "C" int32_t envmon_set_tlg_info_parent_handle(envmon_handle* h, tlg_handle_t parent) {
  if (h == nullptr) return ENVMON_ERR_FAILED;
  h->info_parent = parent;
  return ENVMON_OK;
}
extern "C" tlg_handle_t envmon_get_tlg_handle(envmon_handle* h) {
  return h != nullptr ? h->error_tlg : nullptr;
}
extern "C" tlg_handle_t envmon_get_tlg_info_handle(envmon_handle* h) {
  return h != nullptr ? h->info_tlg : nullptr;
}

// Getters.
extern "C" msgpipe_handle_t* envmon_get_transport(envmon_handle* h) {
  return h != nullptr ? h->transport : nullptr;
}
extern "C" unsigned long envmon_get_pid(envmon_handle* h) { return h != nullptr ? h->server_pid : 0; }
extern "C" uint32_t envmon_get_remote_ip(envmon_handle* h) {
  return h != nullptr ? h->server_addr : 0;
}
extern "C" const char* envmon_get_server_argv0(envmon_handle* h) {
  return h != nullptr ? h->server_argv0 : nullptr;
}
extern "C" const char* envmon_get_server_version(envmon_handle* h) {
  return h != nullptr ? h->server_version : nullptr;
}
extern "C" const char* envmon_get_client_version(envmon_handle* h) {
  return h != nullptr ? h->client_version : nullptr;
}
extern "C" int32_t envmon_get_error_code(envmon_handle* h) {
  return h != nullptr ? h->last_error : ENVMON_ERR_FAILED;
}

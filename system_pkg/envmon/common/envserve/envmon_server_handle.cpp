// Server and client handles: creation, destruction with a delayed free,
// callback setters, options, trace buffers and getters.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "envmon_server.h"
#include "envmon_server_texts.h"

namespace T = envmon_server_text;

#ifndef ENVMON_BUILD_ID
#define ENVMON_BUILD_ID "envmon"
#endif

namespace {

constexpr uint32_t kTraceSize = 4096;
constexpr uint32_t kTracePoints = 209;

tlg_handle_t open_buffer(const char* name, tlg_handle_t parent) {
  tlg_handle_t h = nullptr;
  if (tlg_open_internal(&h, name, kTraceSize, kTracePoints, T::kComponentPath, ENVMON_BUILD_ID,
                        parent) != 0) {
    return nullptr;
  }
  return h;
}

// The three buffers of a handle; a buffer that does not open is skipped.
void open_three(tlg_handle_t* info, tlg_handle_t* error, tlg_handle_t* conn, evloop_t* loop,
                msgpipe_handle_t* t, tlg_handle_t info_parent, tlg_handle_t error_parent,
                tlg_handle_t conn_parent) {
  if ((*info = open_buffer(T::kInfoBuffer, info_parent)) != nullptr) {
    tlg_enable_configuration(*info, loop);
    msgpipe_set_tlg_info_parent_handle(t, *info);
  }
  if ((*error = open_buffer(T::kErrorBuffer, error_parent)) != nullptr) {
    tlg_enable_configuration(*error, loop);
    msgpipe_set_tlg_error_parent_handle(t, *error);
  }
  if ((*conn = open_buffer(T::kConnBuffer, conn_parent)) != nullptr) {
    tlg_enable_configuration(*conn, loop);
    msgpipe_set_tlg_conn_parent_handle(t, *conn);
  }
}

bool replace_text(char** slot, const char* value) {
  char* copy = nullptr;
  if (value != nullptr && (copy = strdup(value)) == nullptr) return false;
  free(*slot);
  *slot = copy;
  return true;
}

void set_request(envmon_server_handle* s, uint32_t id, envmon_server_request_callback cb) {
  if (s != nullptr) s->cb.request[id] = cb;
}
void set_oneway(envmon_server_handle* s, uint32_t id, envmon_server_oneway_callback cb) {
  if (s != nullptr) s->cb.oneway[id] = cb;
}

}  // namespace

void envmon_server_open_traces(envmon_server_handle* s, tlg_handle_t info_parent,
                               tlg_handle_t error_parent, tlg_handle_t conn_parent) {
  open_three(&s->info_tlg, &s->error_tlg, &s->conn_tlg, s->loop, s->transport, info_parent,
             error_parent, conn_parent);
}

void envmon_client_open_traces(envmon_client_handle* c, tlg_handle_t info_parent,
                               tlg_handle_t error_parent, tlg_handle_t conn_parent) {
  open_three(&c->info_tlg, &c->error_tlg, &c->conn_tlg, c->loop, c->transport, info_parent,
             error_parent, conn_parent);
}

void envmon_server_open_msc(envmon_server_handle* s) {
  if (s->msc_tlg != nullptr) return;
  s->msc_tlg = open_buffer(T::kMscBuffer, nullptr);
  if (s->msc_tlg == nullptr) return;
  tlg_enable_configuration(s->msc_tlg, s->loop);
  envmon_wire_msc_entity(s->msc_tlg);
}

void envmon_client_open_msc(envmon_client_handle* c) {
  if (c->msc_tlg != nullptr) return;
  c->msc_tlg = open_buffer(T::kMscBuffer, nullptr);
  if (c->msc_tlg != nullptr) tlg_enable_configuration(c->msc_tlg, c->loop);
}

void envmon_server_unlist(envmon_client_handle* c) {
  envmon_server_handle* s = c->server;
  if (s == nullptr) return;
  for (envmon_client_handle** p = &s->pending_head; *p != nullptr; p = &(*p)->next) {
    if (*p == c) {
      *p = c->next;
      c->next = nullptr;
      return;
    }
  }
}

void envmon_server_drop_client(envmon_client_handle* c) {
  envmon_server_unlist(c);
  envmon_client_handle_destroy(c);
}

void envmon_server_delayed_free(void* arg) {
  auto* s = static_cast<envmon_server_handle*>(arg);
  tlg_internal(s->info_tlg, T::kServerFreed, arg);
  tlg_close(s->info_tlg);
  tlg_close(s->error_tlg);
  s->info_tlg = nullptr;
  s->error_tlg = nullptr;
  free(s->service_instance);
  free(s);
}

void envmon_client_delayed_free(void* arg) {
  auto* c = static_cast<envmon_client_handle*>(arg);
  tlg_internal(c->info_tlg, T::kClientFreed, arg);
  tlg_close(c->info_tlg);
  tlg_close(c->error_tlg);
  c->info_tlg = nullptr;
  c->error_tlg = nullptr;
  free(c->option3);
  free(c->expected_name);
  free(c);
}

extern "C" int32_t envmon_server_handle_create(envmon_server_handle** out, evloop_t* loop) {
  if (out == nullptr) return ENVMON_ERR_FAILED;
  auto* s = static_cast<envmon_server_handle*>(calloc(1, sizeof(envmon_server_handle)));
  *out = s;
  if (s == nullptr) return ENVMON_ERR_FAILED;
  if (msgpipe_handle_create(0, &s->transport) != 0) {
    free(s);
    *out = nullptr;
    return ENVMON_ERR_FAILED;
  }
  msgpipe_handle_set_user_context(s->transport, s);
  msgpipe_handle_set_name(s->transport, "envmon_server");
  if (evloop_attach_msgpipe_handle(loop, s->transport, envmon_server_listen_event_handler, 0, 0,
                                   0) != 0) {
    msgpipe_handle_destroy(s->transport);
    free(s);
    *out = nullptr;
    return ENVMON_ERR_FAILED;
  }
  s->loop = loop;
  s->version = ENVMON_VERSION;
  return ENVMON_OK;
}

extern "C" int32_t envmon_server_handle_destroy(envmon_server_handle* s) {
  if (s == nullptr) {
    fputs(T::kServerDestroyNull, stderr);
    return ENVMON_ERR_FAILED;
  }
  tlg_internal(s->info_tlg, T::kServerDestroy, static_cast<void*>(s));
  if (s->destroying) return ENVMON_OK;
  s->destroying = 1;

  msgpipe_handle_t* t = s->transport;
  envmon_wire_lock lock(t != nullptr ? msgpipe_get_mutex(t) : nullptr);
  envmon_server_deactivate(s);
  // Established clients belong to the owner; only pending ones are ours.
  while (s->pending_head != nullptr) envmon_server_drop_client(s->pending_head);
  if (t != nullptr) {
    lock.unlock();
    evloop_attach_msgpipe_handle(s->loop, t, nullptr, 0, 0, 0);
    msgpipe_handle_destroy(t);
    s->transport = nullptr;
  }
  if (evloop_delayed_ev_item_enqueue(s->loop, envmon_server_delayed_free, s) != 0) {
    tlg_internal(s->error_tlg, T::kEnqueueFailed);
    envmon_server_delayed_free(s);
  }
  return ENVMON_OK;
}

extern "C" int32_t envmon_client_handle_destroy(envmon_client_handle* c) {
  if (c == nullptr) {
    fputs(T::kClientDestroyNull, stderr);
    return ENVMON_ERR_FAILED;
  }
  tlg_internal(c->info_tlg, T::kClientDestroy, static_cast<void*>(c));
  if (c->destroyed) return ENVMON_OK;

  msgpipe_handle_t* t = c->transport;
  envmon_wire_lock lock(t != nullptr ? msgpipe_get_mutex(t) : nullptr);
  c->destroyed = 1;
  free(c->client_version);
  c->client_version = nullptr;
  free(c->client_argv0);
  c->client_argv0 = nullptr;
  if (t != nullptr) {
    evloop_attach_msgpipe_handle(c->loop, t, nullptr, 0, 0, 0);
    c->transport = nullptr;
    lock.unlock();
    msgpipe_handle_destroy(t);
  }
  while (c->pending.head != nullptr) {
    free(capi_table_remove(&c->pending, c->pending.head->request_id));
  }
  if (evloop_delayed_ev_item_enqueue(c->loop, envmon_client_delayed_free, c) != 0) {
    envmon_client_delayed_free(c);
  }
  return ENVMON_OK;
}

extern "C" int32_t envmon_client_disconnect(envmon_client_handle* c) {
  if (c == nullptr) return ENVMON_ERR_FAILED;
  if (c->transport != nullptr && msgpipe_disconnect(c->transport, c) != 0) return ENVMON_ERR_FAILED;
  while (c->pending.head != nullptr) {
    free(capi_table_remove(&c->pending, c->pending.head->request_id));
  }
  return ENVMON_OK;
}

// Callback setters.
extern "C" void envmon_server_set_connect_callback(envmon_server_handle* s,
                                                   envmon_server_connect_callback cb) {
  if (s != nullptr) s->cb.connect = cb;
}
extern "C" void envmon_server_set_disconnect_callback(envmon_server_handle* s,
                                                      envmon_server_disconnect_callback cb) {
  if (s != nullptr) s->cb.disconnect = cb;
}
extern "C" void envmon_server_set_error_callback(envmon_server_handle* s,
                                                 envmon_server_error_callback cb) {
  if (s != nullptr) s->cb.error = cb;
}
extern "C" void envmon_server_set_flow_resume_callback(envmon_server_handle* s,
                                                       envmon_server_flow_resume_callback cb) {
  if (s != nullptr) s->cb.flow_resume = cb;
}
extern "C" void envmon_server_set_request_power_budget_callback(
    envmon_server_handle* s, envmon_server_request_callback cb) {
  set_request(s, ENVMON_REQ_POWER_BUDGET, cb);
}
extern "C" void envmon_server_set_sensor_value_set_callback(envmon_server_handle* s,
                                                            envmon_server_request_callback cb) {
  set_request(s, ENVMON_REQ_SENSOR_VALUE_SET, cb);
}
extern "C" void envmon_server_set_sensor_fault_set_callback(envmon_server_handle* s,
                                                            envmon_server_request_callback cb) {
  set_request(s, ENVMON_REQ_SENSOR_FAULT_SET, cb);
}
extern "C" void envmon_server_set_run_test_callback(envmon_server_handle* s,
                                                    envmon_server_request_callback cb) {
  set_request(s, ENVMON_REQ_RUN_TEST, cb);
}
extern "C" void envmon_server_set_set_dbg_flag_callback(envmon_server_handle* s,
                                                        envmon_server_request_callback cb) {
  set_request(s, ENVMON_REQ_SET_DBG_FLAG, cb);
}
extern "C" void envmon_server_set_register_power_data_callback(
    envmon_server_handle* s, envmon_server_request_callback cb) {
  set_request(s, ENVMON_REQ_REGISTER_POWER_DATA, cb);
}
extern "C" void envmon_server_set_dump_debug_callback(envmon_server_handle* s,
                                                      envmon_server_request_callback cb) {
  set_request(s, ENVMON_REQ_DUMP_DEBUG, cb);
}
extern "C" void envmon_server_set_hw_temp_monitoring_callback(envmon_server_handle* s,
                                                              envmon_server_request_callback cb) {
  set_request(s, ENVMON_REQ_HW_TEMP_MONITORING, cb);
}
extern "C" void envmon_server_set_oper_state_set_callback(envmon_server_handle* s,
                                                          envmon_server_oneway_callback cb) {
  set_oneway(s, ENVMON_REQ_OPER_STATE_SET, cb);
}
extern "C" void envmon_server_set_fan_timer_disable_callback(envmon_server_handle* s,
                                                             envmon_server_oneway_callback cb) {
  set_oneway(s, ENVMON_REQ_FAN_TIMER_DISABLE, cb);
}
extern "C" void envmon_server_set_request_altitude_value_callback(
    envmon_server_handle* s, envmon_server_request_callback cb) {
  set_request(s, ENVMON_REQ_ALTITUDE_VALUE, cb);
}

// Options, contexts and getters.
extern "C" int32_t envmon_server_set_tlg_parent_handle(envmon_server_handle* s,
                                                       tlg_handle_t parent) {
  if (s == nullptr) return ENVMON_ERR_FAILED;
  s->error_parent = parent;
  envmon_server_open_msc(s);
  return ENVMON_OK;
}
extern "C" int32_t envmon_server_set_tlg_info_parent_handle(envmon_server_handle* s,
                                                            tlg_handle_t parent) {
  if (s == nullptr) return ENVMON_ERR_FAILED;
  s->info_parent = parent;
  return ENVMON_OK;
}
extern "C" tlg_handle_t envmon_server_get_tlg_handle(envmon_server_handle* s) {
  return s != nullptr ? s->error_tlg : nullptr;
}
extern "C" tlg_handle_t envmon_server_get_tlg_info_handle(envmon_server_handle* s) {
  return s != nullptr ? s->info_tlg : nullptr;
}
extern "C" void envmon_server_set_user_context(envmon_server_handle* s, void* ctx) {
  if (s != nullptr) s->user_ctx = ctx;
}
extern "C" void* envmon_server_get_user_context(envmon_server_handle* s) {
  return s != nullptr ? s->user_ctx : nullptr;
}
extern "C" void envmon_client_set_user_context(envmon_client_handle* c, void* ctx) {
  if (c != nullptr) c->user_ctx = ctx;
}
extern "C" void* envmon_client_get_user_context(envmon_client_handle* c) {
  return c != nullptr ? c->user_ctx : nullptr;
}
extern "C" msgpipe_handle_t* envmon_server_get_transport(envmon_server_handle* s) {
  return s != nullptr ? s->transport : nullptr;
}
extern "C" msgpipe_handle_t* envmon_client_get_transport(envmon_client_handle* c) {
  return c != nullptr ? c->transport : nullptr;
}
extern "C" int32_t envmon_server_set_tcp_user_timeout(envmon_server_handle* s, uint8_t seconds) {
  if (s == nullptr) return ENVMON_ERR_FAILED;
  return msgpipe_set_option(s->transport, MSGPIPE_OPT_USER_TIMEOUT, static_cast<int>(seconds)) != 0
             ? ENVMON_ERR_FAILED
             : ENVMON_OK;
}
extern "C" int32_t envmon_client_set_option(envmon_client_handle* c, uint32_t option,
                                            const char* value) {
  if (c == nullptr) return ENVMON_ERR_FAILED;
  switch (option) {
    case 1:
    case 2:
      return msgpipe_set_option(c->transport, option, value) != 0 ? ENVMON_ERR_FAILED : ENVMON_OK;
    case 3:
      return replace_text(&c->option3, value) ? ENVMON_OK : ENVMON_ERR_FAILED;
    case 4:
      return replace_text(&c->expected_name, value) ? ENVMON_OK : ENVMON_ERR_FAILED;
    default:
      return ENVMON_ERR_FAILED;
  }
}
extern "C" int32_t envmon_server_set_service_instance(envmon_server_handle* s,
                                                      const char* instance) {
  if (s == nullptr || instance == nullptr) return ENVMON_ERR_FAILED;
  return replace_text(&s->service_instance, instance) ? ENVMON_OK : ENVMON_ERR_FAILED;
}
extern "C" void envmon_server_set_ds_endpoint_factory(envmon_server_handle* s,
                                                      pelmarok_ds_endpoint_factory_t factory,
                                                      void* factory_ctx) {
  if (s == nullptr) return;
  s->factory = factory;
  s->factory_ctx = factory_ctx;
}
extern "C" int32_t envmon_server_get_error_code(envmon_server_handle* s) {
  return s != nullptr ? s->last_error : ENVMON_ERR_FAILED;
}
extern "C" int32_t envmon_client_get_error_code(envmon_client_handle* c) {
  return c != nullptr ? c->last_error : ENVMON_ERR_FAILED;
}
extern "C" uint64_t envmon_client_get_pid(envmon_client_handle* c) {
  return c != nullptr ? c->client_pid : 0;
}
extern "C" uint32_t envmon_client_get_remote_ip(envmon_client_handle* c) {
  return c != nullptr ? c->client_addr : 0;
}
extern "C" const char* envmon_client_get_client_version(envmon_client_handle* c) {
  return c != nullptr ? c->client_version : nullptr;
}
extern "C" const char* envmon_client_get_client_argv0(envmon_client_handle* c) {
  return c != nullptr ? c->client_argv0 : nullptr;
}
extern "C" const char* envmon_server_get_server_version(envmon_server_handle* s) {
  return s != nullptr ? s->version : nullptr;
}

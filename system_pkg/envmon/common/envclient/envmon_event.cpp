// The client's transport events: the INIT handshake, responses matched to
// their pending requests, notifications, faults and reconnection.
//
// The connection's mutex is held from entry until just before a callback of
// the owner, so callbacks may send requests. A callback may also destroy the
// handle: after every callback the handler looks at the destroyed flag and
// then touches neither the transport (already gone) nor the pending table.
#include <cstdlib>
#include <cstring>

#include "envmon_client.h"
#include "envmon_client_texts.h"
#include "envmon_wire_texts.h"

namespace T = envmon_client_text;
namespace W = envmon_wire_text;

namespace {

// Drops the connection without telling the owner and connects again.
void restart(envmon_handle* h) {
  h->awaiting_init = 0;
  msgpipe_silent_disconnect(h->transport, h);
  envmon_client_reconnect(h);
}

void on_connected(envmon_handle* h, envmon_wire_lock& lock) {
  tlg_internal(h->conn_tlg, T::kTransportConnected);
  msgpipe_endpoint local{};
  if (msgpipe_get_local_endpoint(h->transport, &local) == 0) h->local_addr = local.node_address;
  envmon_wire_adopt_node_id(h->local_addr);
  const uint32_t unique_id = capi_get_unique_id_in_process();
  envmon_client_msc_label(h, T::kMscConnected, static_cast<void*>(h));
  envmon_wire_msc_init_source(h->msc_tlg, h->local_addr, unique_id);
  h->awaiting_init = 1;
  tlg_internal(h->conn_tlg, T::kSendingInit);
  const char* name = h->expected_name != nullptr ? h->expected_name : ENVMON_SERVICE_NAME;
  capi_send_init_msg(h->transport, name, ENVMON_MSG_INIT, unique_id, h->local_addr,
                     h->client_version);
  lock.unlock();
}

void on_connect_failed(envmon_handle* h, envmon_wire_lock& lock) {
  lock.unlock();
  const int err = msgpipe_get_error(h->transport);
  h->last_error = err != 0 ? err : ENVMON_ERR_FAILED;
  if (h->connect_cb != nullptr) h->connect_cb(h, h->last_error, h->cb_ctx);
  if (h->destroyed) return;
  envmon_client_reconnect(h);
}

void on_disconnected(envmon_handle* h, envmon_wire_lock& lock, int failed, uint32_t flags) {
  envmon_client_drop_pending(h);
  lock.unlock();
  if (flags & MSGPIPE_FLAG_SILENT) return;
  if (h->awaiting_init) {
    if (h->connect_cb != nullptr) h->connect_cb(h, ENVMON_ERR_FAILED, h->cb_ctx);
  } else if (h->disconnect_cb != nullptr) {
    h->disconnect_cb(h, failed ? ENVMON_ERR_FAILED : ENVMON_OK, h->cb_ctx);
  }
  if (h->destroyed) return;
  if (h->user_disconnect) {
    h->user_disconnect = 0;
    return;
  }
  envmon_client_reconnect(h);
}

void on_receive_ready(envmon_handle* h, envmon_wire_lock& lock, int32_t size) {
  void* buf = size >= 0 ? malloc(size > 0 ? static_cast<size_t>(size) : 1) : nullptr;
  if (buf == nullptr) {
    lock.unlock();
    if (h->awaiting_init) {
      h->awaiting_init = 0;
      if (h->connect_cb != nullptr) h->connect_cb(h, ENVMON_ERR_NO_MEMORY, h->cb_ctx);
    } else if (h->error_cb != nullptr) {
      h->error_cb(h, ENVMON_ERR_NO_MEMORY);
    }
    return;
  }
  lock.unlock();
  const int rc = msgpipe_receive(h->transport, buf, static_cast<uint32_t>(size), 0, 0);
  if (rc == MSGPIPE_FLOW_CONTROLLED) {
    tlg_internal(h->error_tlg, W::kReceiveFlowControl);
    free(buf);
  } else if (rc == MSGPIPE_FAILED) {
    tlg_internal(h->error_tlg, W::kReceiveError);
    free(buf);
  }
}

void on_init(envmon_handle* h, envmon_wire_lock& lock, envmon_wire_frame* f) {
  const capi_header& hdr = f->header;
  h->server_pid = hdr.pid;
  h->server_addr = hdr.node_addr;
  free(h->server_version);
  h->server_version = envmon_wire_strdup(hdr.version);
  free(h->server_argv0);
  h->server_argv0 = envmon_wire_strdup(hdr.program_name);

  if (envmon_wire_check_service(&hdr, h->expected_name, h->error_tlg) != ENVMON_OK) {
    lock.unlock();
    restart(h);
    return;
  }
  envmon_wire_msc_init_sink(h->msc_tlg, hdr.node_addr, hdr.pid, hdr.unique_id);
  h->awaiting_init = 0;
  lock.unlock();
  tlg_internal(h->conn_tlg, T::kInitReceived, static_cast<void*>(h),
               h->server_argv0 != nullptr ? h->server_argv0 : W::kNone, h->server_pid);
  if (h->connect_cb != nullptr) h->connect_cb(h, ENVMON_OK, h->cb_ctx);
}

// Takes the final response's entry out of the table (the owner's callback has
// run, so it is looked up again: the callback may have dropped it).
void end_request(envmon_handle* h, uint32_t request_id) {
  envmon_wire_lock lock(msgpipe_get_mutex(h->transport));
  free(capi_table_remove(&h->pending, request_id));
}

void on_server_msg(envmon_handle* h, envmon_wire_lock& lock, envmon_wire_frame* f,
                   const envmon_msg_desc* msg) {
  const capi_header& hdr = f->header;
  tlg_internal(h->info_tlg, W::kDispatched, msg->name);
  envmon_wire_msc_sink(h->msc_tlg, msg->sender, h->server_addr, static_cast<uint32_t>(h->server_pid),
                       hdr.unique_id);
  if (h->awaiting_init) {
    lock.unlock();
    tlg_internal(h->error_tlg, T::kNeverCompleted, msg->name);
    if (h->connect_cb != nullptr) h->connect_cb(h, ENVMON_ERR_NOT_COMPLETED, h->cb_ctx);
    if (!h->destroyed) restart(h);
    return;
  }

  const bool is_response = msg->kind == ENVMON_KIND_RESPONSE;
  envmon_resp_callback resp_cb = nullptr;
  envmon_notif_callback notif_cb = nullptr;
  void* cookie = nullptr;
  if (is_response) {
    const capi_table_entry* entry = capi_table_lookup(&h->pending, hdr.request_id);
    if (entry == nullptr) {
      tlg_internal(h->info_tlg, T::kNoPendingEntry, static_cast<int>(hdr.request_id));
      return;
    }
    if (entry->msg_id < static_cast<uint32_t>(kRespSlots)) resp_cb = h->resp_cb[msg->row][entry->msg_id];
    cookie = entry->cookie;
  } else {
    notif_cb = msg->id == ENVMON_NOTIF_SYS_PWR_DATA ? h->notif_sys_pwr_data_cb
                                                    : h->notif_fru_pwr_alloc_data_cb;
  }
  const uint8_t final = hdr.final;
  const int32_t status = hdr.status;
  const uint32_t request_id = hdr.request_id;
  const bool configured = is_response ? resp_cb != nullptr : notif_cb != nullptr;
  auto deliver = [&](void* record) {
    if (!configured) {
      tlg_internal(h->error_tlg, T::kNotConfigured, msg->name);
    } else if (is_response) {
      resp_cb(h, record, final, status, cookie);
    } else {
      notif_cb(h, record);
    }
  };

  if (status < 0) {
    h->last_error = status;
    lock.unlock();
    deliver(nullptr);
    if (!h->destroyed && is_response && final) end_request(h, request_id);
    return;
  }

  envmon_any_payload record;
  if (envmon_wire_decode_payload(msg, f, &record) != ENVMON_OK) {
    if (is_response && final) free(capi_table_remove(&h->pending, request_id));
    lock.unlock();
    h->last_error = ENVMON_ERR_BAD_PAYLOAD;
    tlg_internal(h->error_tlg, W::kInvalidPayload, msg->name);
    if (h->error_cb != nullptr) h->error_cb(h, ENVMON_ERR_BAD_PAYLOAD);
    if (!h->destroyed) restart(h);
    return;
  }
  lock.unlock();
  deliver(&record);
  envmon_wire_release_payload(msg, &record);
  if (!h->destroyed && is_response && final) end_request(h, request_id);
}

void on_message(envmon_handle* h, envmon_wire_lock& lock, void* buf, int32_t size) {
  envmon_wire_frame f;
  const int rc = envmon_wire_parse(buf, size, &f, h->error_tlg);
  if (rc == ENVMON_WIRE_BAD_LENGTH) {
    free(buf);
    return;  // dropped; the connection stays
  }
  if (rc != ENVMON_OK) {
    lock.unlock();
    free(buf);
    if (h->awaiting_init) {
      h->awaiting_init = 0;
      if (h->connect_cb != nullptr) h->connect_cb(h, ENVMON_ERR_BAD_HEADER, h->cb_ctx);
      if (!h->destroyed) restart(h);
    } else {
      // The end of the connection (event 5) brings the disconnect callback and
      // the delayed reconnection.
      if (h->error_cb != nullptr) h->error_cb(h, ENVMON_ERR_BAD_HEADER);
      if (!h->destroyed) msgpipe_disconnect(h->transport, h);
    }
    return;
  }

  if (f.header.msg_id == ENVMON_MSG_INIT) {
    on_init(h, lock, &f);
  } else if (const envmon_msg_desc* msg = envmon_wire_server_msg(f.header.msg_id)) {
    on_server_msg(h, lock, &f, msg);
  }
  // Every other id is dropped without a word.
  free(buf);
  envmon_wire_frame_free(&f);
}

}  // namespace

extern "C" void envmon_msgpipe_event_handler(msgpipe_handle_t* transport, uint32_t event,
                                             int failed, void* buf, int32_t size,
                                             uint32_t flags) {
  auto* h = static_cast<envmon_handle*>(msgpipe_handle_get_user_context(transport));
  if (h == nullptr || h->destroyed) {
    if (event == MSGPIPE_EV_SENT || event == MSGPIPE_EV_RECEIVED) free(buf);
    return;
  }
  envmon_wire_lock lock(msgpipe_get_mutex(transport));
  switch (event) {
    case MSGPIPE_EV_CONNECTED:
      if (failed) {
        on_connect_failed(h, lock);
      } else {
        on_connected(h, lock);
      }
      break;
    case MSGPIPE_EV_DISCONNECTED:
      on_disconnected(h, lock, failed, flags);
      break;
    case MSGPIPE_EV_RECEIVE_READY:
      if (!failed) on_receive_ready(h, lock, size);
      break;
    case MSGPIPE_EV_SENT:
      free(buf);
      if (failed) {
        lock.unlock();
        if (h->error_cb != nullptr) h->error_cb(h, ENVMON_ERR_SEND);
      }
      break;
    case MSGPIPE_EV_RECEIVED:
      if (failed) {
        free(buf);
        lock.unlock();
        if (h->error_cb != nullptr) h->error_cb(h, ENVMON_ERR_RECEIVE);
      } else {
        on_message(h, lock, buf, size);
      }
      break;
    case MSGPIPE_EV_FLOW_RESUMED:
      lock.unlock();
      if (!failed && h->flow_resume_cb != nullptr) h->flow_resume_cb(h);
      break;
    default:
      break;
  }
}

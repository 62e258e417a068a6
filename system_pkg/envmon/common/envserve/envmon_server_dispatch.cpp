// Accepting client connections, the INIT handshake with each client, and the
// dispatch of received requests to the owner's handlers.
//
// The connection's mutex is held while the handle and its transport are
// looked at and released before any callback of the owner, so callbacks may
// answer, disconnect or destroy the client handle. After a callback the
// handler checks the destroyed flag before it touches the transport again.
#include <cstdlib>
#include <cstring>

#include "envmon_server.h"
#include "envmon_server_texts.h"
#include "envmon_wire_texts.h"

namespace T = envmon_server_text;
namespace W = envmon_wire_text;

namespace {

void report_error(envmon_client_handle* c, int32_t code) {
  if (c->cb.error != nullptr) c->cb.error(c, c->server, code);
}

// After a fault reported to the owner: close, unless the owner already did.
void close_after_error(envmon_client_handle* c) {
  if (!c->destroyed) envmon_client_disconnect(c);
}

void accept_connection(envmon_server_handle* s, msgpipe_handle_t* t, envmon_wire_lock& lock) {
  tlg_internal(s->conn_tlg, T::kAccepted);
  msgpipe_endpoint local{};
  msgpipe_get_local_endpoint(t, &local);
  envmon_wire_adopt_node_id(local.node_address);
  msgpipe_set_option(t, MSGPIPE_OPT_NODELAY, 1);
  msgpipe_set_option(t, MSGPIPE_OPT_KEEPALIVE_PROBES, 4);

  auto* c = static_cast<envmon_client_handle*>(calloc(1, sizeof(envmon_client_handle)));
  if (c == nullptr) {
    tlg_internal(s->error_tlg, T::kNoClientHandle);
    lock.unlock();
    // Nobody would ever serve it: close it rather than leave it open.
    evloop_attach_msgpipe_handle(s->loop, t, nullptr, 0, 0, 0);
    msgpipe_handle_destroy(t);
    return;
  }
  c->cb = s->cb;
  c->server = s;
  c->transport = t;
  c->loop = msgpipe_get_evloop(t);
  if (c->loop == nullptr) c->loop = s->loop;
  capi_table_init(&c->pending);
  msgpipe_handle_set_user_context(t, c);
  envmon_client_open_traces(c, s->info_parent, s->error_parent, s->conn_parent);
  evloop_attach_msgpipe_handle(s->loop, t, nullptr, 0, 0, 0);
  evloop_attach_msgpipe_handle(s->loop, t, envmon_server_client_event_handler, 0, 0, 0);

  c->local_addr = local.node_address;
  const uint32_t unique_id = capi_get_unique_id_in_process();
  envmon_client_open_msc(c);
  envmon_wire_msc_init_source(c->msc_tlg, c->local_addr, unique_id);
  c->next = s->pending_head;
  s->pending_head = c;
  c->handshake_pending = 1;
  tlg_internal(c->conn_tlg, T::kSendingInit, static_cast<void*>(c));
  capi_send_init_msg(t, ENVMON_SERVICE_NAME, ENVMON_MSG_INIT, unique_id, c->local_addr,
                     s->version);
  lock.unlock();
}

void on_init(envmon_client_handle* c, envmon_wire_lock& lock, const capi_header& hdr) {
  c->client_pid = hdr.pid;
  c->client_addr = hdr.node_addr;
  free(c->client_version);
  c->client_version = envmon_wire_strdup(hdr.version);
  free(c->client_argv0);
  c->client_argv0 = envmon_wire_strdup(hdr.program_name);

  // A wrong name leaves the client pending: its first request drops it.
  if (envmon_wire_check_service(&hdr, c->expected_name, c->error_tlg) != ENVMON_OK) return;

  envmon_client_open_msc(c);
  envmon_wire_msc_init_sink(c->msc_tlg, hdr.node_addr, hdr.pid, hdr.unique_id);
  if (c->handshake_pending) envmon_server_unlist(c);
  c->handshake_pending = 0;
  lock.unlock();
  tlg_internal(c->conn_tlg, T::kInitReceived, static_cast<void*>(c),
               c->client_argv0 != nullptr ? c->client_argv0 : W::kNone,
               static_cast<unsigned long>(c->client_pid));
  if (c->cb.connect != nullptr) c->cb.connect(c, c->server, ENVMON_OK);
}

void on_request(envmon_client_handle* c, envmon_wire_lock& lock, const envmon_wire_frame& f,
                const envmon_msg_desc* msg) {
  const capi_header& hdr = f.header;
  tlg_internal(c->info_tlg, W::kDispatched, msg->name);
  envmon_client_open_msc(c);
  envmon_wire_msc_sink(c->msc_tlg, msg->sender, c->client_addr,
                       static_cast<uint32_t>(c->client_pid), hdr.unique_id);
  if (c->handshake_pending) {
    lock.unlock();
    envmon_server_drop_client(c);
    return;
  }

  const bool oneway = msg->kind == ENVMON_KIND_ONE_WAY;
  envmon_server_request_callback two_way = c->cb.request[msg->id];
  envmon_server_oneway_callback one_way = c->cb.oneway[msg->id];
  const uint32_t request_id = hdr.request_id;
  auto deliver = [&](void* record) {
    if (oneway ? one_way == nullptr : two_way == nullptr) {
      tlg_internal(c->error_tlg, T::kNotConfigured, msg->name);
    } else if (oneway) {
      one_way(c, record);
    } else {
      two_way(c, record, request_id);
    }
  };

  if (hdr.status < 0) {
    c->last_error = hdr.status;
    lock.unlock();
    deliver(nullptr);
    return;
  }
  envmon_any_payload record;
  if (envmon_wire_decode_payload(msg, &f, &record) != ENVMON_OK) {
    lock.unlock();
    c->last_error = ENVMON_ERR_BAD_PAYLOAD;
    tlg_internal(c->error_tlg, W::kInvalidPayload, msg->name);
    report_error(c, ENVMON_ERR_BAD_PAYLOAD);
    if (!c->destroyed) msgpipe_disconnect(c->transport, c);
    return;
  }
  lock.unlock();
  deliver(&record);
  envmon_wire_release_payload(msg, &record);
}

void on_message(envmon_client_handle* c, envmon_wire_lock& lock, void* buf, int32_t size) {
  envmon_wire_frame f;
  const int rc = envmon_wire_parse(buf, size, &f, c->error_tlg);
  if (rc == ENVMON_WIRE_BAD_LENGTH) {
    free(buf);
    return;  // dropped; the connection and its state stay
  }
  if (rc != ENVMON_OK) {
    lock.unlock();
    free(buf);
    if (c->handshake_pending) {
      envmon_server_drop_client(c);
    } else {
      report_error(c, ENVMON_ERR_BAD_HEADER);
      close_after_error(c);
    }
    return;
  }
  if (f.header.msg_id == ENVMON_MSG_INIT) {
    on_init(c, lock, f.header);
  } else if (const envmon_msg_desc* msg = envmon_wire_request(f.header.msg_id)) {
    on_request(c, lock, f, msg);
  }
  // Any other id (the notification ids 7 and 8 among them) is dropped.
  free(buf);
  envmon_wire_frame_free(&f);
}

void on_receive_ready(envmon_client_handle* c, envmon_wire_lock& lock, int32_t size) {
  void* buf = size >= 0 ? malloc(size > 0 ? static_cast<size_t>(size) : 1) : nullptr;
  lock.unlock();
  if (buf == nullptr) {
    if (c->handshake_pending) {
      envmon_server_drop_client(c);
    } else {
      report_error(c, ENVMON_ERR_NO_MEMORY);
      close_after_error(c);
    }
    return;
  }
  const int rc = msgpipe_receive(c->transport, buf, static_cast<uint32_t>(size), 0, 0);
  if (rc == MSGPIPE_FLOW_CONTROLLED) {
    tlg_internal(c->error_tlg, W::kReceiveFlowControl);
    free(buf);
  } else if (rc == MSGPIPE_FAILED) {
    tlg_internal(c->error_tlg, W::kReceiveError);
    free(buf);
    envmon_client_disconnect(c);
  }
}

}  // namespace

extern "C" void envmon_server_listen_event_handler(msgpipe_handle_t* transport, uint32_t event,
                                                   int failed, void* buf, int32_t, uint32_t) {
  auto* s = static_cast<envmon_server_handle*>(msgpipe_handle_get_user_context(transport));
  if (event == MSGPIPE_EV_SENT || event == MSGPIPE_EV_RECEIVED) free(buf);
  if (s == nullptr || event != MSGPIPE_EV_CONNECTED) return;
  envmon_wire_lock lock(msgpipe_get_mutex(transport));
  if (failed) {
    lock.unlock();
    if (s->cb.connect != nullptr) s->cb.connect(nullptr, s, ENVMON_ERR_FAILED);
    return;
  }
  accept_connection(s, transport, lock);
}

extern "C" void envmon_server_client_event_handler(msgpipe_handle_t* transport, uint32_t event,
                                                   int failed, void* buf, int32_t size,
                                                   uint32_t) {
  auto* c = static_cast<envmon_client_handle*>(msgpipe_handle_get_user_context(transport));
  if (c == nullptr || c->destroyed) {
    if (event == MSGPIPE_EV_SENT || event == MSGPIPE_EV_RECEIVED) free(buf);
    return;
  }
  envmon_wire_lock lock(msgpipe_get_mutex(transport));
  switch (event) {
    case MSGPIPE_EV_SENT:
      free(buf);
      if (failed) {
        lock.unlock();
        report_error(c, ENVMON_ERR_SEND);
        close_after_error(c);
      }
      break;
    case MSGPIPE_EV_RECEIVED:
      if (failed) {
        free(buf);
        lock.unlock();
        report_error(c, ENVMON_ERR_RECEIVE);
        close_after_error(c);
      } else {
        on_message(c, lock, buf, size);
      }
      break;
    case MSGPIPE_EV_CONNECTED:
      if (!failed) {
        tlg_internal(c->error_tlg, T::kUnexpectedConnect);
      } else {
        c->last_error = msgpipe_get_error(transport);
        if (c->last_error == 0) {
          c->last_error = ENVMON_ERR_FAILED;
          lock.unlock();
          if (c->cb.connect != nullptr) c->cb.connect(c, c->server, ENVMON_ERR_FAILED);
        }
      }
      break;
    case MSGPIPE_EV_DISCONNECTED:
      lock.unlock();
      if (c->handshake_pending) {
        envmon_server_drop_client(c);
      } else if (c->cb.disconnect != nullptr) {
        c->cb.disconnect(c, failed ? ENVMON_ERR_FAILED : ENVMON_OK);
      }
      break;
    case MSGPIPE_EV_RECEIVE_READY:
      if (!failed) on_receive_ready(c, lock, size);
      break;
    case MSGPIPE_EV_FLOW_RESUMED:
      lock.unlock();
      if (!failed && c->cb.flow_resume != nullptr) c->cb.flow_resume(c);
      break;
    default:
      break;
  }
}

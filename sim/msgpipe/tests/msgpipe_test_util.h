// Helpers of the transport tests: an event recorder used as the handler's
// user context, message builders and bounded waits on the loop.
#pragma once

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>
#include <unistd.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "evloop.h"
#include "evloop_test.h"
#include "msgpipe.h"

namespace msgpipe_test {

constexpr uint32_t kBoundMs = 20000;

// Runs the loop until f() holds or kBoundMs of real time passed.
template <class F>
bool wait_for(evloop_t* loop, F f, uint32_t bound_ms = kBoundMs) {
  return evloop_test_wait_for(loop, f, bound_ms);
}

struct Ev {
  msgpipe_handle_t* h;
  uint32_t event;
  int failed;
  int32_t size;
  uint32_t flags;
};

struct Recorder {
  bool is_server = false;
  bool take_messages = true;
  std::vector<Ev> events;
  std::vector<std::pair<msgpipe_handle_t*, std::string>> received;
  std::vector<msgpipe_handle_t*> accepted;
  std::vector<void*> returned;
  int returned_failed = 0;
  int receive_failures = 0;
  // Called first; returns true when it dealt with the event itself.
  std::function<bool(msgpipe_handle_t*, uint32_t, int, void*, int32_t, uint32_t)> hook;

  int count(uint32_t event, int failed = -1) const {
    int n = 0;
    for (const Ev& e : events) n += (e.event == event && (failed < 0 || e.failed == failed));
    return n;
  }
  const Ev* last(uint32_t event) const {
    for (auto it = events.rbegin(); it != events.rend(); ++it) {
      if (it->event == event) return &*it;
    }
    return nullptr;
  }
};

inline void record_handler(msgpipe_handle_t* h, uint32_t event, int failed, void* buf,
                           int32_t size, uint32_t flags) {
  auto* r = static_cast<Recorder*>(msgpipe_handle_get_user_context(h));
  r->events.push_back({h, event, failed, size, flags});
  if (r->hook && r->hook(h, event, failed, buf, size, flags)) return;
  switch (event) {
    case MSGPIPE_EV_SENT:
      r->returned.push_back(buf);
      if (failed) ++r->returned_failed;
      free(buf);
      break;
    case MSGPIPE_EV_RECEIVED:
      r->received.emplace_back(h, std::string(static_cast<char*>(buf), static_cast<size_t>(size)));
      free(buf);
      break;
    case MSGPIPE_EV_CONNECTED:
      if (r->is_server && !failed) r->accepted.push_back(h);
      break;
    case MSGPIPE_EV_RECEIVE_READY: {
      if (!r->take_messages) break;
      void* b = malloc(size > 0 ? static_cast<size_t>(size) : 1);
      if (msgpipe_receive(h, b, static_cast<uint32_t>(size), 0, 0) != 0) {
        ++r->receive_failures;
        free(b);
      }
      break;
    }
    default:
      break;
  }
}

// A message of n bytes with a recognisable pattern.
inline std::string pattern(size_t n, char seed = 'a') {
  std::string s(n, '\0');
  for (size_t i = 0; i < n; ++i) s[i] = static_cast<char>(seed + (i * 7 + i / 251) % 26);
  return s;
}

// Sends a malloc'd copy of text; frees it when the transport refuses it.
inline int send_text(msgpipe_handle_t* h, const std::string& text, void** sent = nullptr) {
  void* buf = malloc(text.empty() ? 1 : text.size());
  if (!text.empty()) memcpy(buf, text.data(), text.size());
  int rc = msgpipe_send(h, buf, static_cast<uint32_t>(text.size()), 0, 0);
  if (rc != 0) {
    free(buf);
  } else if (sent != nullptr) {
    *sent = buf;
  }
  return rc;
}

inline msgpipe_endpoint endpoint(uint32_t address, uint32_t port) {
  msgpipe_endpoint ep{};
  msgpipe_endpoint_set(&ep, address, port);
  return ep;
}

// A handle with the recorder as its context, attached to the loop.
inline msgpipe_handle_t* make_handle(evloop_t* loop, Recorder* r, const char* name) {
  msgpipe_handle_t* h = nullptr;
  EXPECT_EQ(msgpipe_handle_create(0, &h), 0);
  msgpipe_handle_set_name(h, name);
  msgpipe_handle_set_user_context(h, r);
  EXPECT_EQ(evloop_attach_msgpipe_handle(loop, h, record_handler, 0, 0, 0), 0);
  return h;
}

// A port nothing listens on (bound once by the kernel's choice, then freed).
inline uint32_t free_port() {
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof sa;
  uint32_t port = 0;
  if (bind(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) == 0 &&
      getsockname(fd, reinterpret_cast<sockaddr*>(&sa), &len) == 0) {
    port = ntohs(sa.sin_port);
  }
  close(fd);
  return port;
}

}  // namespace msgpipe_test

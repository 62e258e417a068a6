// The transport's event contract between handles of one process.
#include <arpa/inet.h>
#include <errno.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <thread>

#include "msgpipe_test_util.h"
#include "sim_clock.h"
#include "tlg_test.h"

using namespace msgpipe_test;

namespace {

constexpr uint32_t kLoopback = 0x7f000001u;

class MsgpipeLocal : public ::testing::Test {
 protected:
  void SetUp() override {
    loop_ = evloop_create("msgpipe_local_test", 0);
    ASSERT_NE(loop_, nullptr);
    server_.is_server = true;
    listener_ = make_handle(loop_, &server_, "test_server");
    msgpipe_endpoint any = endpoint(kLoopback, 0);
    ASSERT_EQ(msgpipe_bind(listener_, 0, &any, nullptr), 0);
    ASSERT_EQ(msgpipe_get_local_endpoint(listener_, &listen_ep_), 0);
    ASSERT_NE(listen_ep_.port, 0u);
    client_h_ = make_handle(loop_, &client_, "test_client");
  }
  void TearDown() override {
    for (msgpipe_handle_t* h : server_.accepted) msgpipe_handle_destroy(h);
    if (client_h_ != nullptr) msgpipe_handle_destroy(client_h_);
    msgpipe_handle_destroy(listener_);
    evloop_run_until_idle(loop_);
    evloop_destroy(loop_);
  }
  // Connects the client and waits for both ends.
  msgpipe_handle_t* connect_pair() {
    EXPECT_EQ(msgpipe_connect(client_h_, 0, &listen_ep_, nullptr), 0);
    bool ok = wait_for(loop_, [&] { return client_.count(MSGPIPE_EV_CONNECTED) == 1 && !server_.accepted.empty(); });
    EXPECT_TRUE(ok) << "no connection: client events " << client_.events.size()
                    << ", accepted " << server_.accepted.size();
    return server_.accepted.empty() ? nullptr : server_.accepted.back();
  }
  evloop_t* loop_ = nullptr;
  Recorder server_, client_;
  msgpipe_handle_t* listener_ = nullptr;
  msgpipe_handle_t* client_h_ = nullptr;
  msgpipe_endpoint listen_ep_{};
};

TEST_F(MsgpipeLocal, ConnectDeliversBothEndsWithTheirEndpoints) {
  msgpipe_handle_t* conn = connect_pair();
  ASSERT_NE(conn, nullptr);
  EXPECT_EQ(client_.last(MSGPIPE_EV_CONNECTED)->failed, 0);
  EXPECT_NE(conn, listener_);
  // The new connection carries the listener's context, handler and loop.
  EXPECT_EQ(msgpipe_handle_get_user_context(conn), &server_);
  EXPECT_EQ(msgpipe_get_evloop(conn), loop_);
  EXPECT_STREQ(msgpipe_handle_get_name(conn), "test_server");
  EXPECT_TRUE(msgpipe_is_connected(client_h_));
  EXPECT_FALSE(msgpipe_is_connecting(client_h_));
  EXPECT_TRUE(msgpipe_is_connected(conn));
  EXPECT_FALSE(msgpipe_is_connected(listener_));

  msgpipe_endpoint client_remote{}, client_local{}, conn_remote{}, conn_local{};
  ASSERT_EQ(msgpipe_get_remote_endpoint(client_h_, &client_remote), 0);
  ASSERT_EQ(msgpipe_get_local_endpoint(client_h_, &client_local), 0);
  ASSERT_EQ(msgpipe_get_remote_endpoint(conn, &conn_remote), 0);
  ASSERT_EQ(msgpipe_get_local_endpoint(conn, &conn_local), 0);
  EXPECT_TRUE(msgpipe_endpoint_equals(&client_remote, &listen_ep_));
  EXPECT_TRUE(msgpipe_endpoint_equals(&conn_local, &listen_ep_));
  EXPECT_TRUE(msgpipe_endpoint_equals(&conn_remote, &client_local));
  EXPECT_EQ(client_local.node_address, kLoopback);
  EXPECT_EQ(msgpipe_get_error(client_h_), 0);
  // A connected handle cannot connect or bind again.
  EXPECT_EQ(msgpipe_connect(client_h_, 0, &listen_ep_, nullptr), -1);
  EXPECT_EQ(msgpipe_bind(client_h_, 0, &listen_ep_, nullptr), -1);
}

TEST_F(MsgpipeLocal, ListenerOnAnotherLoopbackAddress) {
  Recorder other;
  other.is_server = true;
  msgpipe_handle_t* l2 = make_handle(loop_, &other, "second");
  const uint32_t address = 0x7f030405u;  // 127.3.4.5
  msgpipe_endpoint ep = endpoint(address, 0);
  ASSERT_EQ(msgpipe_bind(l2, 0, &ep, nullptr), 0);
  msgpipe_endpoint bound{};
  ASSERT_EQ(msgpipe_get_local_endpoint(l2, &bound), 0);
  EXPECT_EQ(bound.node_address, address);
  ASSERT_EQ(msgpipe_connect(client_h_, 0, &bound, nullptr), 0);
  ASSERT_TRUE(wait_for(loop_, [&] { return !other.accepted.empty(); })) << "no accept on 127.3.4.5";
  msgpipe_endpoint conn_local{};
  ASSERT_EQ(msgpipe_get_local_endpoint(other.accepted[0], &conn_local), 0);
  EXPECT_EQ(conn_local.node_address, address);
  msgpipe_handle_destroy(other.accepted[0]);
  msgpipe_handle_destroy(l2);
}

TEST_F(MsgpipeLocal, MessagesOfEverySizeArriveWholeAndInOrder) {
  msgpipe_handle_t* conn = connect_pair();
  ASSERT_NE(conn, nullptr);
  const size_t sizes[] = {0, 1, 3, 4, 5, 1000, 65536, 300001, 5 * 1024 * 1024, 0, 17};
  std::vector<std::string> sent;
  std::vector<void*> buffers;
  for (size_t i = 0; i < std::size(sizes); ++i) {
    sent.push_back(pattern(sizes[i], static_cast<char>('a' + i)));
    void* buf = nullptr;
    ASSERT_EQ(send_text(client_h_, sent.back(), &buf), 0) << "size " << sizes[i];
    buffers.push_back(buf);
  }
  // And the other way, at the same time.
  ASSERT_EQ(send_text(conn, "reply"), 0);
  ASSERT_TRUE(wait_for(loop_, [&] { return server_.received.size() == sent.size() && client_.received.size() == 1; }))
      << "received " << server_.received.size() << " of " << sent.size();
  for (size_t i = 0; i < sent.size(); ++i) {
    SCOPED_TRACE("message " + std::to_string(i) + " of " + std::to_string(sizes[i]) + " bytes");
    EXPECT_EQ(server_.received[i].first, conn);
    EXPECT_TRUE(server_.received[i].second == sent[i]);
  }
  EXPECT_EQ(client_.received[0].second, "reply");
  // Every buffer given to send came back once, in order, not failed.
  ASSERT_TRUE(wait_for(loop_, [&] { return client_.returned.size() == buffers.size(); }));
  EXPECT_EQ(client_.returned, buffers);
  EXPECT_EQ(client_.returned_failed, 0);
  EXPECT_EQ(server_.receive_failures, 0);
  // Sizes announced with event 6 and delivered with event 1 are the message sizes.
  std::vector<int32_t> announced, delivered;
  for (const Ev& e : server_.events) {
    if (e.event == MSGPIPE_EV_RECEIVE_READY) announced.push_back(e.size);
    if (e.event == MSGPIPE_EV_RECEIVED) delivered.push_back(e.size);
  }
  std::vector<int32_t> expected(std::begin(sizes), std::end(sizes));
  EXPECT_EQ(announced, expected);
  EXPECT_EQ(delivered, expected);
}

TEST_F(MsgpipeLocal, ReceiveIsOnlyForTheOfferedMessage) {
  msgpipe_handle_t* conn = connect_pair();
  ASSERT_NE(conn, nullptr);
  std::vector<int> results;
  int offers = 0;
  server_.hook = [&](msgpipe_handle_t* h, uint32_t event, int, void*, int32_t size, uint32_t) {
    if (event != MSGPIPE_EV_RECEIVE_READY) return false;
    ++offers;
    char small[2];
    if (offers == 1) {
      // First message: refuse to take it. It is dropped, the next one comes.
      return true;
    }
    results.push_back(msgpipe_receive(h, small, 2, 0, 0));  // too small for 5 bytes
    void* b = malloc(static_cast<size_t>(size));
    results.push_back(msgpipe_receive(h, b, static_cast<uint32_t>(size), 0, 0));
    results.push_back(msgpipe_receive(h, b, static_cast<uint32_t>(size), 0, 0));  // taken already
    return true;
  };
  ASSERT_EQ(send_text(client_h_, "first"), 0);
  ASSERT_EQ(send_text(client_h_, "secnd"), 0);
  ASSERT_TRUE(wait_for(loop_, [&] { return server_.received.size() == 1; }));
  EXPECT_EQ(server_.received[0].second, "secnd");
  EXPECT_EQ(results, (std::vector<int>{MSGPIPE_FAILED, MSGPIPE_OK, MSGPIPE_FAILED}));
  EXPECT_TRUE(tlg_test_contains("msgpipe", "message of 5 bytes from"));
  // Outside the offer there is nothing to receive.
  char b[8];
  EXPECT_EQ(msgpipe_receive(conn, b, sizeof b, 0, 0), MSGPIPE_FAILED);
}

TEST_F(MsgpipeLocal, DisconnectEndsBothSidesAndReturnsQueuedBuffers) {
  struct Case {
    const char* name;
    bool silent;
    uint32_t flags;
  };
  const Case cases[] = {{"disconnect", false, 0}, {"silent disconnect", true, MSGPIPE_FLAG_SILENT}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    client_ = Recorder{};
    size_t accepted_before = server_.accepted.size();
    msgpipe_handle_t* conn = connect_pair();
    ASSERT_NE(conn, nullptr);
    ASSERT_EQ(server_.accepted.size(), accepted_before + 1);
    // More than the kernel buffers hold while the server's loop does not run:
    // the last message is still queued when we disconnect.
    ASSERT_EQ(msgpipe_set_send_queue_limit(client_h_, 64, 64 * 1024 * 1024), 0);
    void* queued = nullptr;
    ASSERT_EQ(send_text(client_h_, pattern(8 * 1024 * 1024)), 0);
    ASSERT_EQ(send_text(client_h_, pattern(8 * 1024 * 1024)), 0);
    ASSERT_EQ(send_text(client_h_, pattern(8 * 1024 * 1024), &queued), 0);
    int server_closed_before = server_.count(MSGPIPE_EV_DISCONNECTED);
    ASSERT_EQ(c.silent ? msgpipe_silent_disconnect(client_h_, nullptr)
                       : msgpipe_disconnect(client_h_, nullptr),
              0);
    EXPECT_FALSE(msgpipe_is_connected(client_h_));
    ASSERT_TRUE(wait_for(loop_, [&] {
      return client_.count(MSGPIPE_EV_DISCONNECTED) == 1 &&
             server_.count(MSGPIPE_EV_DISCONNECTED) == server_closed_before + 1;
    })) << "disconnect not seen on both sides";
    EXPECT_EQ(client_.last(MSGPIPE_EV_DISCONNECTED)->flags, c.flags);
    EXPECT_EQ(server_.last(MSGPIPE_EV_DISCONNECTED)->flags, 0u);
    EXPECT_EQ(server_.last(MSGPIPE_EV_DISCONNECTED)->h, conn);
    // The last message could not have gone: it came back failed.
    EXPECT_EQ(client_.returned.size(), 3u);
    EXPECT_GE(client_.returned_failed, 1);
    EXPECT_EQ(client_.returned.back(), queued);
    EXPECT_EQ(msgpipe_disconnect(client_h_, nullptr), -1);  // idle now
    EXPECT_EQ(msgpipe_send(client_h_, queued, 1, 0, 0), MSGPIPE_FAILED);
  }
}

TEST_F(MsgpipeLocal, AMessageSentJustBeforeClosingStillArrives) {
  struct Case {
    const char* name;
    int how;  // 0 disconnect, 1 silent disconnect, 2 destroy
  };
  const Case cases[] = {{"disconnect", 0}, {"silent disconnect", 1}, {"destroy", 2}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    server_.received.clear();
    if (client_h_ == nullptr) client_h_ = make_handle(loop_, &client_, "test_client");
    client_ = Recorder{};
    msgpipe_handle_t* conn = connect_pair();
    ASSERT_NE(conn, nullptr);
    // Sent and closed within one stretch on the loop's thread.
    ASSERT_EQ(send_text(client_h_, "last words"), 0);
    if (c.how == 2) {
      msgpipe_handle_destroy(client_h_);
      client_h_ = nullptr;
    } else {
      ASSERT_EQ(c.how == 1 ? msgpipe_silent_disconnect(client_h_) : msgpipe_disconnect(client_h_), 0);
    }
    ASSERT_TRUE(wait_for(loop_, [&] { return !server_.received.empty(); }))
        << "the message sent before closing was lost";
    EXPECT_EQ(server_.received[0].second, "last words");
    if (c.how != 2) {
      ASSERT_TRUE(wait_for(loop_, [&] { return client_.returned.size() == 1; }));
      EXPECT_EQ(client_.returned_failed, 0);
    }
  }
}

TEST_F(MsgpipeLocal, DestroyInsideItsOwnCallback) {
  msgpipe_handle_t* conn = connect_pair();
  ASSERT_NE(conn, nullptr);
  // The client destroys its handle while handling the first of several messages.
  client_.hook = [&](msgpipe_handle_t* h, uint32_t event, int, void* buf, int32_t, uint32_t) {
    if (event != MSGPIPE_EV_RECEIVED) return false;
    free(buf);
    msgpipe_handle_destroy(h);
    client_h_ = nullptr;
    return true;
  };
  for (int i = 0; i < 5; ++i) ASSERT_EQ(send_text(conn, pattern(100000)), 0);
  ASSERT_TRUE(wait_for(loop_, [&] { return server_.count(MSGPIPE_EV_DISCONNECTED) == 1; }))
      << "the server did not see the destroyed client go";
  EXPECT_EQ(client_.count(MSGPIPE_EV_RECEIVED), 1);
  // Nothing reached the destroyed handle after its destroy.
  EXPECT_EQ(client_.events.back().event, MSGPIPE_EV_RECEIVED);

  // A server that turns a connection away inside the accept event.
  Recorder c2;
  msgpipe_handle_t* h2 = make_handle(loop_, &c2, "turned_away");
  server_.hook = [&](msgpipe_handle_t* h, uint32_t event, int failed, void*, int32_t, uint32_t) {
    if (event != MSGPIPE_EV_CONNECTED || failed) return false;
    msgpipe_handle_destroy(h);
    return true;
  };
  ASSERT_EQ(msgpipe_connect(h2, 0, &listen_ep_, nullptr), 0);
  ASSERT_TRUE(wait_for(loop_, [&] { return c2.count(MSGPIPE_EV_DISCONNECTED) == 1; }))
      << "a connection destroyed at accept did not end at the client";
  msgpipe_handle_destroy(h2);
}

TEST_F(MsgpipeLocal, DestroyWithBuffersOutstandingLeaksNothing) {
  msgpipe_handle_t* conn = connect_pair();
  ASSERT_NE(conn, nullptr);
  server_.take_messages = false;
  msgpipe_set_send_queue_limit(client_h_, 64, 64 * 1024 * 1024);
  for (int i = 0; i < 8; ++i) ASSERT_EQ(send_text(client_h_, pattern(4 * 1024 * 1024)), 0);
  // Queued sends, queued events and a half-read stream all go with the handle.
  msgpipe_handle_destroy(client_h_);
  client_h_ = nullptr;
  ASSERT_TRUE(wait_for(loop_, [&] { return server_.count(MSGPIPE_EV_DISCONNECTED) == 1; }));
}

TEST_F(MsgpipeLocal, SendsFromAnotherThreadUnderTheConnectionMutex) {
  msgpipe_handle_t* conn = connect_pair();
  ASSERT_NE(conn, nullptr);
  constexpr int kMessages = 200;
  int refused = 0;
  std::thread sender([&] {
    for (int i = 0; i < kMessages; ++i) {
      pthread_mutex_t* m = msgpipe_get_mutex(client_h_);
      pthread_mutex_lock(m);
      // The mutex is recursive: the transport takes it again inside.
      pthread_mutex_lock(m);
      if (!msgpipe_is_connected(client_h_) || send_text(client_h_, std::to_string(i)) != 0) ++refused;
      pthread_mutex_unlock(m);
      pthread_mutex_unlock(m);
    }
  });
  bool ok = wait_for(loop_, [&] { return server_.received.size() == kMessages; });
  sender.join();
  ASSERT_TRUE(ok) << "received " << server_.received.size();
  EXPECT_EQ(refused, 0);
  for (int i = 0; i < kMessages; ++i) EXPECT_EQ(server_.received[static_cast<size_t>(i)].second, std::to_string(i));
  ASSERT_TRUE(wait_for(loop_, [&] { return client_.returned.size() == kMessages; }));
}

// A plain TCP peer, to see the frames and to stop reading at will.
class RawListener {
 public:
  RawListener() {
    fd_ = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_addr.s_addr = htonl(kLoopback);
    socklen_t len = sizeof sa;
    int small = 4096;
    setsockopt(fd_, SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
    if (bind(fd_, reinterpret_cast<sockaddr*>(&sa), sizeof sa) == 0 && listen(fd_, 4) == 0 &&
        getsockname(fd_, reinterpret_cast<sockaddr*>(&sa), &len) == 0) {
      port_ = ntohs(sa.sin_port);
    }
  }
  ~RawListener() {
    if (conn_ >= 0) close(conn_);
    close(fd_);
  }
  uint32_t port() const { return port_; }
  int accept_one() {
    conn_ = accept(fd_, nullptr, nullptr);
    return conn_;
  }
  // Reads what is there without blocking; returns the bytes read.
  size_t drain(std::string* into) {
    char buf[65536];
    size_t total = 0;
    for (;;) {
      ssize_t n = recv(conn_, buf, sizeof buf, MSG_DONTWAIT);
      if (n <= 0) return total;
      into->append(buf, static_cast<size_t>(n));
      total += static_cast<size_t>(n);
    }
  }

 private:
  int fd_ = -1;
  int conn_ = -1;
  uint32_t port_ = 0;
};

TEST_F(MsgpipeLocal, FlowControlWhenThePeerStopsReadingThenResume) {
  RawListener raw;
  ASSERT_NE(raw.port(), 0u);
  msgpipe_endpoint ep = endpoint(kLoopback, raw.port());
  ASSERT_EQ(msgpipe_set_send_queue_limit(client_h_, 4, 64 * 1024 * 1024), 0);
  ASSERT_EQ(msgpipe_connect(client_h_, 0, &ep, nullptr), 0);
  ASSERT_TRUE(wait_for(loop_, [&] { return msgpipe_is_connected(client_h_); }));
  ASSERT_GE(raw.accept_one(), 0);
  const std::string msg = pattern(256 * 1024);
  int accepted = 0, rc = 0;
  // The kernel takes a few megabytes before the transport's own queue fills.
  while (accepted < 2000 && (rc = send_text(client_h_, msg)) == MSGPIPE_OK) {
    ++accepted;
    evloop_run_once(loop_, 0);
  }
  ASSERT_EQ(rc, MSGPIPE_FLOW_CONTROLLED) << "never flow controlled after " << accepted << " sends";
  EXPECT_EQ(client_.count(MSGPIPE_EV_FLOW_RESUMED), 0);
  // The peer reads again: the queue drains and the resume event comes.
  std::string wire;
  ASSERT_TRUE(wait_for(loop_, [&] {
    raw.drain(&wire);
    return client_.count(MSGPIPE_EV_FLOW_RESUMED) == 1;
  })) << "no resume event";
  ASSERT_EQ(send_text(client_h_, "after"), MSGPIPE_OK);
  const size_t expected_bytes = static_cast<size_t>(accepted) * (4 + msg.size()) + 4 + 5;
  ASSERT_TRUE(wait_for(loop_, [&] {
    raw.drain(&wire);
    return wire.size() >= expected_bytes;
  })) << "peer got " << wire.size() << " of " << expected_bytes << " bytes";
  EXPECT_EQ(wire.size(), expected_bytes);
  // On the wire: each message as a 4-byte big-endian length and its bytes.
  size_t pos = 0;
  int frames = 0;
  while (pos + 4 <= wire.size()) {
    uint32_t len = (uint32_t{static_cast<uint8_t>(wire[pos])} << 24) |
                   (uint32_t{static_cast<uint8_t>(wire[pos + 1])} << 16) |
                   (uint32_t{static_cast<uint8_t>(wire[pos + 2])} << 8) |
                   uint32_t{static_cast<uint8_t>(wire[pos + 3])};
    ASSERT_LE(pos + 4 + len, wire.size());
    std::string body = wire.substr(pos + 4, len);
    EXPECT_TRUE(frames < accepted ? body == msg : body == "after") << "frame " << frames;
    pos += 4 + len;
    ++frames;
  }
  EXPECT_EQ(frames, accepted + 1);
  ASSERT_TRUE(wait_for(loop_, [&] { return client_.returned.size() == static_cast<size_t>(accepted + 1); }));
  EXPECT_EQ(client_.returned_failed, 0);
}

int raw_connect(uint32_t port) {
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_port = htons(static_cast<uint16_t>(port));
  sa.sin_addr.s_addr = htonl(kLoopback);
  if (connect(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0) {
    close(fd);
    return -1;
  }
  return fd;
}

TEST_F(MsgpipeLocal, MalformedStreamsCloseTheConnectionWithATrace) {
  tlg_handle_t errors = nullptr;
  ASSERT_EQ(tlg_open_internal(&errors, "msgpipe_test_errors", 0, 0, "", "", nullptr), 0);
  struct Case {
    const char* name;
    std::string bytes;
    const char* trace;
  };
  const Case cases[] = {
      {"length beyond the limit", std::string("\xff\xff\xff\xff", 4), "exceeds the limit of"},
      {"length just beyond the limit", std::string("\x04\x00\x00\x01", 4), "frame of 67108865 bytes"},
      {"stream ends inside a message", std::string("\x00\x00\x00\x10" "abc", 7),
       "ended inside a message (7 bytes of it received)"},
      {"stream ends inside a length", std::string("\x00\x00", 2), "ended inside a message"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    tlg_test_clear("msgpipe_test_errors");
    size_t before = server_.accepted.size();
    int closed_before = server_.count(MSGPIPE_EV_DISCONNECTED);
    int fd = raw_connect(listen_ep_.port);
    ASSERT_GE(fd, 0);
    ASSERT_TRUE(wait_for(loop_, [&] { return server_.accepted.size() == before + 1; }));
    msgpipe_set_tlg_error_parent_handle(server_.accepted.back(), errors);
    ASSERT_EQ(write(fd, c.bytes.data(), c.bytes.size()), static_cast<ssize_t>(c.bytes.size()));
    if (std::string(c.trace).find("ended") != std::string::npos) shutdown(fd, SHUT_WR);
    ASSERT_TRUE(wait_for(loop_, [&] { return server_.count(MSGPIPE_EV_DISCONNECTED) == closed_before + 1; }))
        << "bad stream did not end the connection";
    EXPECT_TRUE(tlg_test_contains("msgpipe_test_errors", c.trace));
    EXPECT_EQ(server_.count(MSGPIPE_EV_RECEIVE_READY), 0);
    close(fd);
  }
}

TEST_F(MsgpipeLocal, RefusedConnectRetriedAfterTheDelay) {
  sim_clock_use_fake(1000000000ull);
  uint32_t port = free_port();
  ASSERT_NE(port, 0u);
  msgpipe_endpoint ep = endpoint(kLoopback, port);
  ASSERT_EQ(msgpipe_connect(client_h_, 0, &ep, nullptr), 0);
  ASSERT_TRUE(wait_for(loop_, [&] { return client_.count(MSGPIPE_EV_CONNECTED) == 1; }));
  EXPECT_EQ(client_.last(MSGPIPE_EV_CONNECTED)->failed, 1);
  EXPECT_EQ(msgpipe_get_error(client_h_), -ECONNREFUSED);
  EXPECT_FALSE(msgpipe_is_connecting(client_h_));
  msgpipe_endpoint remote{};
  ASSERT_EQ(msgpipe_get_remote_endpoint(client_h_, &remote), 0);
  EXPECT_TRUE(msgpipe_endpoint_equals(&remote, &ep));

  ASSERT_EQ(msgpipe_set_connect_delay(client_h_, 1000), 0);
  ASSERT_EQ(msgpipe_connect(client_h_, 0, &ep, nullptr), 0);
  EXPECT_TRUE(msgpipe_is_connecting(client_h_));
  // Now something listens there; the retry must wait for the delay.
  Recorder late;
  late.is_server = true;
  msgpipe_handle_t* l2 = make_handle(loop_, &late, "late_server");
  ASSERT_EQ(msgpipe_bind(l2, 0, &ep, nullptr), 0);
  sim_clock_advance_ms(999);
  evloop_run_until_idle(loop_);
  EXPECT_TRUE(msgpipe_is_connecting(client_h_));
  EXPECT_EQ(client_.count(MSGPIPE_EV_CONNECTED), 1);
  sim_clock_advance_ms(1);
  ASSERT_TRUE(wait_for(loop_, [&] { return client_.count(MSGPIPE_EV_CONNECTED) == 2 && !late.accepted.empty(); }))
      << "no connection after the delay";
  EXPECT_EQ(client_.last(MSGPIPE_EV_CONNECTED)->failed, 0);
  EXPECT_EQ(msgpipe_get_error(client_h_), 0);
  // The delay applied once: a later connect goes at once.
  msgpipe_disconnect(client_h_, nullptr);
  ASSERT_TRUE(wait_for(loop_, [&] { return client_.count(MSGPIPE_EV_DISCONNECTED) == 1; }));
  ASSERT_EQ(msgpipe_connect(client_h_, 0, &ep, nullptr), 0);
  ASSERT_TRUE(wait_for(loop_, [&] { return client_.count(MSGPIPE_EV_CONNECTED) == 3; }));
  for (msgpipe_handle_t* h : late.accepted) msgpipe_handle_destroy(h);
  msgpipe_handle_destroy(l2);
  sim_clock_use_real();
}

TEST_F(MsgpipeLocal, DisconnectDuringTheConnectDelay) {
  sim_clock_use_fake(0);
  msgpipe_set_connect_delay(client_h_, 1000);
  ASSERT_EQ(msgpipe_connect(client_h_, 0, &listen_ep_, nullptr), 0);
  ASSERT_EQ(msgpipe_disconnect(client_h_, nullptr), 0);
  EXPECT_FALSE(msgpipe_is_connecting(client_h_));
  sim_clock_advance_ms(5000);
  evloop_run_until_idle(loop_);
  EXPECT_EQ(client_.count(MSGPIPE_EV_DISCONNECTED), 1);
  EXPECT_EQ(client_.count(MSGPIPE_EV_CONNECTED), 0);
  EXPECT_TRUE(server_.accepted.empty());
  // Forgetting the endpoint of an idle handle.
  msgpipe_handle_endpoint_init(client_h_);
  msgpipe_endpoint ep{};
  EXPECT_EQ(msgpipe_get_remote_endpoint(client_h_, &ep), -1);
  sim_clock_use_real();
}

TEST_F(MsgpipeLocal, EventsWaitWhileNoHandlerIsAttached) {
  msgpipe_handle_t* conn = connect_pair();
  ASSERT_NE(conn, nullptr);
  ASSERT_EQ(evloop_attach_msgpipe_handle(loop_, conn, nullptr, 0, 0, 0), 0);
  ASSERT_EQ(send_text(client_h_, "held"), 0);
  ASSERT_TRUE(wait_for(loop_, [&] { return client_.returned.size() == 1; }));
  evloop_run_until_idle(loop_);
  EXPECT_TRUE(server_.received.empty());
  ASSERT_EQ(evloop_attach_msgpipe_handle(loop_, conn, record_handler, 0, 0, 0), 0);
  ASSERT_TRUE(wait_for(loop_, [&] { return server_.received.size() == 1; }));
  EXPECT_EQ(server_.received[0].second, "held");
}

TEST(MsgpipeArgs, BadArgumentsAndOptions) {
  evloop_t* loop = evloop_create("args", 0);
  msgpipe_handle_t* h = nullptr;
  ASSERT_EQ(msgpipe_handle_create(0, &h), 0);
  EXPECT_EQ(msgpipe_handle_create(0, nullptr), -1);
  char byte = 0;
  EXPECT_EQ(msgpipe_send(h, &byte, 1, 0, 0), MSGPIPE_FAILED);  // not connected
  EXPECT_EQ(msgpipe_send(nullptr, &byte, 1, 0, 0), MSGPIPE_FAILED);
  EXPECT_EQ(msgpipe_send(h, nullptr, 1, 0, 0), MSGPIPE_FAILED);
  EXPECT_EQ(msgpipe_receive(h, &byte, 1, 0, 0), MSGPIPE_FAILED);
  msgpipe_endpoint no_port{};
  no_port.node_address = kLoopback;
  no_port.present = MSGPIPE_ENDPOINT_HAS_ADDRESS;
  EXPECT_EQ(msgpipe_connect(h, 0, &no_port, nullptr), -1);
  msgpipe_endpoint big_port = endpoint(kLoopback, 70000);
  EXPECT_EQ(msgpipe_connect(h, 0, &big_port, nullptr), -1);
  EXPECT_EQ(msgpipe_bind(h, 0, &big_port, nullptr), -1);
  EXPECT_EQ(msgpipe_connect(h, 0, nullptr, nullptr), -1);
  EXPECT_EQ(msgpipe_unbind(h), -1);
  EXPECT_EQ(msgpipe_set_send_queue_limit(h, 0, 10), -1);
  EXPECT_EQ(evloop_attach_msgpipe_handle(nullptr, h, record_handler), -1);

  struct Case {
    const char* name;
    int rc;
    int expected;
  };
  const Case cases[] = {
      {"peer description", msgpipe_set_option(h, 1, "envmon server"), 0},
      {"local description", msgpipe_set_option(h, 2, "client"), 0},
      {"null description", msgpipe_set_option(h, 1, static_cast<const char*>(nullptr)), 0},
      {"no delay on", msgpipe_set_option(h, 3, 1), 0},
      {"no delay bad value", msgpipe_set_option(h, 3, 7), -1},
      {"keep-alive probes", msgpipe_set_option(h, 4, 4), 0},
      {"keep-alive negative", msgpipe_set_option(h, 4, -1), -1},
      {"user timeout", msgpipe_set_option(h, 5, 30), 0},
      {"user timeout too big", msgpipe_set_option(h, 5, 300), -1},
      {"unknown option", msgpipe_set_option(h, 9, 1), -1},
      {"null handle", msgpipe_set_option(nullptr, 3, 1), -1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(c.rc, c.expected);
  }
  msgpipe_handle_destroy(h);
  evloop_destroy(loop);
}

TEST(MsgpipeEndpoint, EqualityLooksAtPresentFields) {
  msgpipe_endpoint a = endpoint(kLoopback, 100);
  msgpipe_endpoint b = endpoint(kLoopback, 100);
  msgpipe_endpoint other_port = endpoint(kLoopback, 101);
  msgpipe_endpoint other_addr = endpoint(kLoopback + 1, 100);
  msgpipe_endpoint addr_only{kLoopback, 100, MSGPIPE_ENDPOINT_HAS_ADDRESS};
  msgpipe_endpoint addr_only_other_port{kLoopback, 5, MSGPIPE_ENDPOINT_HAS_ADDRESS};
  msgpipe_endpoint absent_same_values{kLoopback, 100, 0};
  struct Case {
    const char* name;
    const msgpipe_endpoint* x;
    const msgpipe_endpoint* y;
    bool equal;
  };
  const Case cases[] = {
      {"same", &a, &b, true},
      {"other port", &a, &other_port, false},
      {"other address", &a, &other_addr, false},
      {"presence differs", &a, &addr_only, false},
      {"absent port ignored", &addr_only, &addr_only_other_port, true},
      {"nothing present", &absent_same_values, &absent_same_values, true},
      {"one null", &a, nullptr, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(msgpipe_endpoint_equals(c.x, c.y), c.equal);
    EXPECT_EQ(msgpipe_endpoint_equals(c.y, c.x), c.equal);
  }
}

}  // namespace

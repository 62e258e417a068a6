// The transport's event contract between two processes: the peer is a forked
// child with its own event loop.
#include <errno.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

#include "msgpipe_test_util.h"
#include "sim_clock.h"

using namespace msgpipe_test;

namespace {

constexpr uint32_t kLoopback = 0x7f000001u;

// ---- the child side ----

enum class Mode { kEcho, kCount };

struct Peer {
  Mode mode;
  msgpipe_handle_t* conn = nullptr;
  bool done = false;
  int count = 0;
};

void peer_handler(msgpipe_handle_t* h, uint32_t event, int failed, void* buf, int32_t size,
                  uint32_t) {
  auto* p = static_cast<Peer*>(msgpipe_handle_get_user_context(h));
  switch (event) {
    case MSGPIPE_EV_CONNECTED:
      if (!failed) p->conn = h;
      break;
    case MSGPIPE_EV_RECEIVE_READY: {
      void* b = malloc(size > 0 ? static_cast<size_t>(size) : 1);
      if (msgpipe_receive(h, b, static_cast<uint32_t>(size), 0, 0) != 0) _exit(5);
      break;
    }
    case MSGPIPE_EV_RECEIVED:
      if (p->mode == Mode::kEcho) {
        if (msgpipe_send(h, buf, static_cast<uint32_t>(size), 0, 0) != 0) _exit(3);
        break;
      }
      if (std::string(static_cast<char*>(buf), static_cast<size_t>(size)) == "end") {
        if (send_text(h, "n=" + std::to_string(p->count)) != 0) _exit(3);
      } else {
        ++p->count;
      }
      free(buf);
      break;
    case MSGPIPE_EV_SENT:
      free(buf);
      break;
    case MSGPIPE_EV_DISCONNECTED:
      p->done = true;
      break;
    default:
      break;
  }
}

// Listens on port (0: any), writes the port to port_fd, serves one
// connection until it ends. With go_fd, stops after the accept until a byte
// arrives on go_fd, so that the parent meets a peer that does not read.
[[noreturn]] void run_peer(Mode mode, uint32_t port, int port_fd, int go_fd) {
  evloop_t* loop = evloop_create("peer", 0);
  Peer peer{mode};
  msgpipe_handle_t* listener = nullptr;
  if (loop == nullptr || msgpipe_handle_create(0, &listener) != 0) _exit(10);
  msgpipe_handle_set_user_context(listener, &peer);
  evloop_attach_msgpipe_handle(loop, listener, peer_handler);
  msgpipe_endpoint ep = endpoint(kLoopback, port);
  if (msgpipe_bind(listener, 0, &ep, nullptr) != 0) _exit(11);
  msgpipe_get_local_endpoint(listener, &ep);
  if (write(port_fd, &ep.port, sizeof ep.port) != sizeof ep.port) _exit(12);
  if (go_fd >= 0) {
    if (!wait_for(loop, [&] { return peer.conn != nullptr; }, 60000)) _exit(13);
    char go;
    if (read(go_fd, &go, 1) != 1) _exit(14);
  }
  if (!wait_for(loop, [&] { return peer.done; }, 60000)) _exit(15);
  msgpipe_handle_destroy(peer.conn);
  msgpipe_handle_destroy(listener);
  _exit(0);
}

// ---- the parent side ----

// Forks the peer and kills it on the way out, whatever happened.
class Child {
 public:
  Child(Mode mode, uint32_t port, bool held) {
    int p[2], g[2];
    if (pipe(p) != 0 || pipe(g) != 0) return;
    pid_ = fork();
    if (pid_ == 0) {
      close(p[0]);
      close(g[1]);
      run_peer(mode, port, p[1], held ? g[0] : -1);
    }
    close(p[1]);
    close(g[0]);
    port_fd_ = p[0];
    go_fd_ = g[1];
  }
  ~Child() {
    if (pid_ > 0 && !reaped_) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
    if (port_fd_ >= 0) close(port_fd_);
    if (go_fd_ >= 0) close(go_fd_);
  }
  // The port the child listens on, 0 when it did not say within the bound.
  uint32_t port() {
    pollfd pfd{port_fd_, POLLIN, 0};
    uint32_t port = 0;
    if (poll(&pfd, 1, static_cast<int>(kBoundMs)) == 1 &&
        read(port_fd_, &port, sizeof port) != sizeof port) {
      port = 0;
    }
    return port;
  }
  void go() { ASSERT_EQ(write(go_fd_, "g", 1), 1); }
  void crash() { kill(pid_, SIGKILL); }
  // Exit status once the child has ended (-1 until then); the loop keeps running meanwhile.
  bool ended(evloop_t* loop, int* status) {
    return wait_for(loop, [&] {
      int st = 0;
      if (waitpid(pid_, &st, WNOHANG) != pid_) return false;
      reaped_ = true;
      *status = st;
      return true;
    });
  }
  pid_t pid() const { return pid_; }

 private:
  pid_t pid_ = -1;
  int port_fd_ = -1;
  int go_fd_ = -1;
  bool reaped_ = false;
};

class MsgpipeProcess : public ::testing::Test {
 protected:
  void SetUp() override {
    loop_ = evloop_create("msgpipe_process_test", 0);
    ASSERT_NE(loop_, nullptr);
    h_ = make_handle(loop_, &rec_, "parent");
  }
  void TearDown() override {
    msgpipe_handle_destroy(h_);
    evloop_run_until_idle(loop_);
    evloop_destroy(loop_);
    sim_clock_use_real();
  }
  void connect_to(uint32_t port) {
    ASSERT_NE(port, 0u) << "the child did not report its port";
    msgpipe_endpoint ep = endpoint(kLoopback, port);
    ASSERT_EQ(msgpipe_connect(h_, 0, &ep, nullptr), 0);
    ASSERT_TRUE(wait_for(loop_, [&] { return rec_.count(MSGPIPE_EV_CONNECTED) > 0; }))
        << "no connect event from the child's port " << port;
    ASSERT_EQ(rec_.last(MSGPIPE_EV_CONNECTED)->failed, 0) << "connect to the child failed";
  }
  evloop_t* loop_ = nullptr;
  Recorder rec_;
  msgpipe_handle_t* h_ = nullptr;
};

TEST_F(MsgpipeProcess, LargeAndEmptyMessagesMakeTheRoundTrip) {
  Child child(Mode::kEcho, 0, false);
  ASSERT_GT(child.pid(), 0);
  connect_to(child.port());
  const size_t sizes[] = {0, 1, 4096, 1024 * 1024 + 3, 6 * 1024 * 1024, 0, 99};
  std::vector<std::string> sent;
  for (size_t i = 0; i < std::size(sizes); ++i) {
    sent.push_back(pattern(sizes[i], static_cast<char>('k' + i)));
    ASSERT_EQ(send_text(h_, sent.back()), 0) << "size " << sizes[i];
  }
  ASSERT_TRUE(wait_for(loop_, [&] { return rec_.received.size() == sent.size(); }))
      << "echoes received: " << rec_.received.size() << " of " << sent.size();
  for (size_t i = 0; i < sent.size(); ++i) {
    SCOPED_TRACE("message " + std::to_string(i));
    EXPECT_EQ(rec_.received[i].second.size(), sent[i].size());
    EXPECT_TRUE(rec_.received[i].second == sent[i]);
  }
  EXPECT_EQ(rec_.returned.size(), sent.size());
  EXPECT_EQ(rec_.returned_failed, 0);
  // Our disconnect ends the child's connection, and the child then exits.
  ASSERT_EQ(msgpipe_disconnect(h_, nullptr), 0);
  int status = -1;
  ASSERT_TRUE(child.ended(loop_, &status)) << "the child did not end after the disconnect";
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "child status " << status;
}

TEST_F(MsgpipeProcess, PeerCrashGivesADisconnectEvent) {
  Child child(Mode::kEcho, 0, false);
  ASSERT_GT(child.pid(), 0);
  connect_to(child.port());
  ASSERT_EQ(send_text(h_, "ping"), 0);
  ASSERT_TRUE(wait_for(loop_, [&] { return rec_.received.size() == 1; })) << "no echo";
  child.crash();
  ASSERT_TRUE(wait_for(loop_, [&] { return rec_.count(MSGPIPE_EV_DISCONNECTED) == 1; }))
      << "no disconnect event after the peer was killed";
  EXPECT_EQ(rec_.last(MSGPIPE_EV_DISCONNECTED)->flags, 0u);
  EXPECT_FALSE(msgpipe_is_connected(h_));
  EXPECT_EQ(send_text(h_, "after"), MSGPIPE_FAILED);
}

TEST_F(MsgpipeProcess, FlowControlAgainstAPeerThatStopsReadingThenResumes) {
  Child child(Mode::kCount, 0, true);
  ASSERT_GT(child.pid(), 0);
  ASSERT_EQ(msgpipe_set_send_queue_limit(h_, 4, 16 * 1024 * 1024), 0);
  connect_to(child.port());
  const std::string msg = pattern(256 * 1024);
  int accepted = 0, rc = 0;
  while (accepted < 2000 && (rc = send_text(h_, msg)) == MSGPIPE_OK) {
    ++accepted;
    evloop_run_once(loop_, 0);
  }
  ASSERT_EQ(rc, MSGPIPE_FLOW_CONTROLLED) << "never flow controlled after " << accepted << " sends";
  EXPECT_EQ(rec_.count(MSGPIPE_EV_FLOW_RESUMED), 0);
  child.go();
  ASSERT_TRUE(wait_for(loop_, [&] { return rec_.count(MSGPIPE_EV_FLOW_RESUMED) == 1; }))
      << "no resume event after the peer read again";
  ASSERT_EQ(send_text(h_, "end"), MSGPIPE_OK);
  ASSERT_TRUE(wait_for(loop_, [&] { return rec_.received.size() == 1; })) << "no count from the peer";
  EXPECT_EQ(rec_.received[0].second, "n=" + std::to_string(accepted));
  EXPECT_EQ(rec_.returned.size(), static_cast<size_t>(accepted + 1));
  EXPECT_EQ(rec_.returned_failed, 0);
}

TEST_F(MsgpipeProcess, RefusedConnectIsRetriedAfterTheDelay) {
  sim_clock_use_fake(0);
  uint32_t port = free_port();
  ASSERT_NE(port, 0u);
  msgpipe_endpoint ep = endpoint(kLoopback, port);
  ASSERT_EQ(msgpipe_connect(h_, 0, &ep, nullptr), 0);
  ASSERT_TRUE(wait_for(loop_, [&] { return rec_.count(MSGPIPE_EV_CONNECTED) == 1; }));
  ASSERT_EQ(rec_.last(MSGPIPE_EV_CONNECTED)->failed, 1);
  EXPECT_EQ(msgpipe_get_error(h_), -ECONNREFUSED);
  ASSERT_EQ(msgpipe_set_connect_delay(h_, 1000), 0);
  ASSERT_EQ(msgpipe_connect(h_, 0, &ep, nullptr), 0);
  // The peer process comes up on that port while we wait.
  Child child(Mode::kEcho, port, false);
  ASSERT_GT(child.pid(), 0);
  ASSERT_EQ(child.port(), port);
  sim_clock_advance_ms(999);
  evloop_run_until_idle(loop_);
  EXPECT_EQ(rec_.count(MSGPIPE_EV_CONNECTED), 1);
  EXPECT_TRUE(msgpipe_is_connecting(h_));
  sim_clock_advance_ms(1);
  ASSERT_TRUE(wait_for(loop_, [&] { return rec_.count(MSGPIPE_EV_CONNECTED) == 2; }))
      << "no connect after the delay";
  ASSERT_EQ(rec_.last(MSGPIPE_EV_CONNECTED)->failed, 0);
  ASSERT_EQ(send_text(h_, "hello"), 0);
  ASSERT_TRUE(wait_for(loop_, [&] { return rec_.received.size() == 1; }));
  EXPECT_EQ(rec_.received[0].second, "hello");
}

}  // namespace

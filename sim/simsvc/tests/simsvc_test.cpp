// The service mechanism on its own: a test service with a server and clients
// in this process, frames that do not decode, lost connections, the agent
// thread.
#include <gtest/gtest.h>

#include <signal.h>
#include <stdlib.h>
#include <string.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "capi.h"
#include "msgcodec_define.h"
#include "simsvc.h"
#include "tlg_test.h"

extern "C" {
struct svc_test_rec {
  uint32_t number;  // bit 0
  char* text;       // bit 1
  uint8_t present;
};
MSGCODEC_DECLARE(svc_test_rec, svc_test_rec)
}
namespace {
constexpr msgcodec_field kFields[] = {
    MSGCODEC_INT(svc_test_rec, number, 0),
    MSGCODEC_TEXT(svc_test_rec, text, 1),
};
}  // namespace
MSGCODEC_DEFINE(svc_test_rec, svc_test_rec, present, kFields)

namespace {

constexpr uint32_t kBoundMs = 10000;
constexpr uint32_t kAsk = 1;
constexpr uint32_t kAnswer = 2;
constexpr uint32_t kPing = 3;  // no payload

constexpr simsvc::Message kMessages[] = {
    {kAsk, &msgcodec_type_svc_test_rec, "ask"},
    {kAnswer, &msgcodec_type_svc_test_rec, "answer"},
    {kPing, nullptr, "ping"},
};
const simsvc::Service kService = simsvc::make_service("svc_test", kMessages);

svc_test_rec make_rec(uint32_t n, const char* text) {
  svc_test_rec r{};
  msgcodec_svc_test_rec_clear(&r);
  r.number = n;
  r.text = const_cast<char*>(text);
  msgcodec_set_bit(&r.present, 0);
  msgcodec_set_bit(&r.present, 1);
  return r;
}

template <typename Pred>
bool run_until(evloop_t* loop, Pred pred) {
  struct Ctx {
    Pred* p;
  } ctx{&pred};
  return evloop_run_until(
             loop, [](void* a) { return (*static_cast<Ctx*>(a)->p)() ? 1 : 0; }, &ctx,
             kBoundMs) == 0;
}

class Simsvc : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("ENVMON_DS_ENDPOINT", "127.0.0.1:1", 1);  // no directory service
    setenv("ENVMON_ROOT", "/simsvc-test-instance", 1);
    setenv("ENVMON_CARD_ADDR", "127.9.8.7", 1);
    loop_ = evloop_create("simsvc-test");
    std::string error;
    server_ = simsvc::Server::create(loop_, 0x7f000001u, simsvc::own_instance(), &error);
    ASSERT_NE(server_, nullptr) << error;
    simsvc::Server::Handler h;
    h.opened = [this](simsvc::Peer& p) { opened_.push_back(p); };
    h.closed = [this](simsvc::Peer& p) { closed_.push_back(p.id); };
    h.message = [this](simsvc::Peer& p, const simsvc::Message& m, uint32_t id, int32_t status,
                       void* payload) {
      if (m.id == kPing) {
        pings_++;
        return;
      }
      auto* r = static_cast<svc_test_rec*>(payload);
      asked_.push_back(std::string(r->text) + "/" + std::to_string(id) + "/" +
                       std::to_string(status));
      svc_test_rec a = make_rec(r->number * 2, "answer");
      server_->send(p.id, kAnswer, &a, id, 7);
    };
    server_->add(&kService, std::move(h));
    server_->publish();
  }
  void TearDown() override {
    server_.reset();
    evloop_run_until_idle(loop_);
    evloop_destroy(loop_);
  }

  evloop_t* loop_ = nullptr;
  std::unique_ptr<simsvc::Server> server_;
  std::vector<simsvc::Peer> opened_;
  std::vector<uint64_t> closed_;
  std::vector<std::string> asked_;
  int pings_ = 0;
};

TEST_F(Simsvc, RequestAnswerAndWhoTheClientIs) {
  struct Seen {
    int connected = 0;
    std::vector<std::string> answers;
  } seen;
  simsvc::Client::Events ev;
  ev.connected = [&](int32_t status) { seen.connected += status == 0; };
  ev.message = [&](const simsvc::Message& m, uint32_t id, int32_t status, void* payload) {
    auto* r = static_cast<svc_test_rec*>(payload);
    seen.answers.push_back(std::string(m.name) + " " + std::to_string(r->number) + "/" +
                           std::to_string(id) + "/" + std::to_string(status));
  };
  simsvc::Client* c = simsvc::Client::create(loop_, &kService, std::move(ev));
  ASSERT_NE(c, nullptr);
  EXPECT_EQ(c->send(kAsk, nullptr), simsvc::kErrNotConnected) << "nothing goes before connecting";
  ASSERT_EQ(c->connect(), simsvc::kOk);
  ASSERT_TRUE(run_until(loop_, [&] { return seen.connected == 1; }));
  ASSERT_EQ(opened_.size(), 1u);
  EXPECT_EQ(opened_[0].service, "svc_test");
  EXPECT_EQ(opened_[0].node_address, 0x7f090807u);
  EXPECT_EQ(opened_[0].pid, static_cast<uint32_t>(getpid()));
  EXPECT_FALSE(opened_[0].program.empty());

  svc_test_rec q = make_rec(21, "question");
  EXPECT_EQ(c->send(kAsk, &q, 5, -3), simsvc::kOk);
  EXPECT_EQ(c->send(kPing, nullptr), simsvc::kOk);
  EXPECT_EQ(c->send(99, &q), simsvc::kErrUnknownMessage);
  ASSERT_TRUE(run_until(loop_, [&] { return seen.answers.size() == 1 && pings_ == 1; }));
  EXPECT_EQ(asked_[0], "question/5/-3");
  EXPECT_EQ(seen.answers[0], "answer 42/5/7");

  // A record that cannot be encoded is refused by the sender.
  svc_test_rec bad = make_rec(1, nullptr);
  EXPECT_EQ(c->send(kAsk, &bad), simsvc::kErrEncode);
  c->destroy();
  ASSERT_TRUE(run_until(loop_, [&] { return closed_.size() == 1; }));
}

TEST_F(Simsvc, ClientThatDestroysItselfInItsOwnEventAndLostServer) {
  bool gone = false;
  int disconnects = 0;
  simsvc::Client* c = nullptr;
  simsvc::Client::Events ev;
  ev.connected = [&](int32_t) { c->send(kPing, nullptr); };
  ev.disconnected = [&](int32_t) { disconnects++; };
  ev.released = [&] { gone = true; };
  c = simsvc::Client::create(loop_, &kService, std::move(ev));
  ASSERT_EQ(c->connect(), simsvc::kOk);
  ASSERT_TRUE(run_until(loop_, [&] { return pings_ == 1; }));
  // The server goes away: the client hears it and keeps trying.
  server_.reset();
  ASSERT_TRUE(run_until(loop_, [&] { return disconnects == 1; }));
  EXPECT_FALSE(c->is_connected());
  c->destroy();
  EXPECT_TRUE(gone) << "outside its events the client goes at once";

  // Destroyed from inside its own event: it goes after that event.
  std::string error;
  server_ = simsvc::Server::create(loop_, 0x7f000001u, simsvc::own_instance(), &error);
  server_->add(&kService, {});
  server_->publish();
  gone = false;
  simsvc::Client::Events ev2;
  ev2.connected = [&](int32_t) {
    c->destroy();
    EXPECT_FALSE(gone) << "not while its event runs";
  };
  ev2.released = [&] { gone = true; };
  c = simsvc::Client::create(loop_, &kService, std::move(ev2));
  ASSERT_EQ(c->connect(), simsvc::kOk);
  ASSERT_TRUE(run_until(loop_, [&] { return gone; }));
}

// Raw frames from a transport handle of the test's own.
struct Raw {
  msgpipe_handle_t* h = nullptr;
  bool connected = false;
  bool disconnected = false;
  static void on_event(msgpipe_handle_t* h, uint32_t event, int failed, void* buf, int32_t size,
                       uint32_t) {
    auto* self = static_cast<Raw*>(msgpipe_handle_get_user_context(h));
    if (event == MSGPIPE_EV_CONNECTED) self->connected = failed == 0;
    if (event == MSGPIPE_EV_DISCONNECTED) self->disconnected = true;
    if (event == MSGPIPE_EV_SENT || event == MSGPIPE_EV_RECEIVED) free(buf);
    if (event == MSGPIPE_EV_RECEIVE_READY) {
      void* in = malloc(size > 0 ? static_cast<size_t>(size) : 1);
      if (msgpipe_receive(h, in, static_cast<uint32_t>(size), 0, 0) != 0) free(in);
    }
  }
  void send(const std::vector<uint8_t>& bytes) {
    void* buf = malloc(bytes.size() + 1);
    memcpy(buf, bytes.data(), bytes.size());
    if (msgpipe_send(h, buf, static_cast<uint32_t>(bytes.size()), 0, 0) != 0) free(buf);
  }
};

std::vector<uint8_t> frame_of(uint32_t msg_id, const std::vector<uint8_t>& payload) {
  capi_header hdr{};
  msgcodec_capi_header_clear(&hdr);
  hdr.msg_id = msg_id;
  msgcodec_set_bit(hdr.present, CAPI_HEADER_BIT_MSG_ID);
  uint8_t head[64];
  const int n = msgcodec_capi_header_encode_ext(&hdr, head, sizeof head);
  std::vector<uint8_t> f(4 + static_cast<size_t>(n) + payload.size());
  f[3] = static_cast<uint8_t>(n);
  memcpy(f.data() + 4, head, static_cast<size_t>(n));
  if (!payload.empty()) memcpy(f.data() + 4 + n, payload.data(), payload.size());
  return f;
}

TEST_F(Simsvc, FramesThatDoNotDecodeAreDroppedAndNamed) {
  tlg_test_clear("simsvc");
  Raw raw;
  ASSERT_EQ(msgpipe_handle_create(0, &raw.h), 0);
  msgpipe_handle_set_user_context(raw.h, &raw);
  evloop_attach_msgpipe_handle(loop_, raw.h, &Raw::on_event);
  const msgpipe_endpoint ep = server_->endpoint();
  ASSERT_EQ(msgpipe_connect(raw.h, 0, &ep), 0);
  ASSERT_TRUE(run_until(loop_, [&] { return raw.connected; }));
  ASSERT_EQ(capi_send_init_msg(raw.h, "svc_test", CAPI_INIT_MSG_ID, 1, 0, "1"), 0);
  ASSERT_TRUE(run_until(loop_, [&] { return opened_.size() == 1; }));

  struct Case {
    const char* name;
    std::vector<uint8_t> bytes;
    const char* trace;
  };
  const Case kCases[] = {
      {"shorter than its length word", {0, 0}, "has no header length"},
      {"header longer than the frame", {0, 0, 1, 0, 1, 2}, "exceeds the frame"},
      {"header that does not decode", {0, 0, 0, 2, 0xff, 0xff}, "header does not decode"},
      {"payload cut short", frame_of(kAsk, {0x03, 0, 0}), "payload of 3 bytes does not decode"},
      {"unknown message", frame_of(77, {}), "sent unknown message 77"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    raw.send(c.bytes);
    EXPECT_TRUE(run_until(loop_, [&] { return tlg_test_contains("simsvc", c.trace); }));
  }
  EXPECT_TRUE(asked_.empty());
  EXPECT_FALSE(raw.disconnected) << "a bad frame costs only itself";

  // A well-formed request still gets through.
  svc_test_rec q = make_rec(4, "after");
  uint8_t payload[64];
  const int n = msgcodec_svc_test_rec_encode_ext(&q, payload, sizeof payload);
  raw.send(frame_of(kAsk, std::vector<uint8_t>(payload, payload + n)));
  ASSERT_TRUE(run_until(loop_, [&] { return asked_.size() == 1; }));
  msgpipe_handle_destroy(raw.h);
  ASSERT_TRUE(run_until(loop_, [&] { return closed_.size() == 1; }));
}

TEST_F(Simsvc, ConnectionsThatDoNotIntroduceThemselvesAreClosed) {
  struct Case {
    const char* name;
    std::vector<uint8_t> first;
    const char* trace;
  };
  const Case kCases[] = {
      {"a request before INIT", frame_of(kPing, {}), "spoke before INIT"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    Raw raw;
    ASSERT_EQ(msgpipe_handle_create(0, &raw.h), 0);
    msgpipe_handle_set_user_context(raw.h, &raw);
    evloop_attach_msgpipe_handle(loop_, raw.h, &Raw::on_event);
    const msgpipe_endpoint ep = server_->endpoint();
    ASSERT_EQ(msgpipe_connect(raw.h, 0, &ep), 0);
    ASSERT_TRUE(run_until(loop_, [&] { return raw.connected; }));
    raw.send(c.first);
    EXPECT_TRUE(run_until(loop_, [&] { return raw.disconnected; }));
    EXPECT_TRUE(tlg_test_contains("simsvc", c.trace));
    msgpipe_handle_destroy(raw.h);
  }
  // INIT for a service this server does not have.
  Raw raw;
  ASSERT_EQ(msgpipe_handle_create(0, &raw.h), 0);
  msgpipe_handle_set_user_context(raw.h, &raw);
  evloop_attach_msgpipe_handle(loop_, raw.h, &Raw::on_event);
  const msgpipe_endpoint ep = server_->endpoint();
  ASSERT_EQ(msgpipe_connect(raw.h, 0, &ep), 0);
  ASSERT_TRUE(run_until(loop_, [&] { return raw.connected; }));
  ASSERT_EQ(capi_send_init_msg(raw.h, "no_such_service", CAPI_INIT_MSG_ID, 1, 0, "1"), 0);
  EXPECT_TRUE(run_until(loop_, [&] { return raw.disconnected; }));
  EXPECT_TRUE(tlg_test_contains("simsvc", "asked for unknown service \"no_such_service\""));
  EXPECT_TRUE(opened_.empty());
  msgpipe_handle_destroy(raw.h);
}

TEST(SimsvcAgent, SignalsStayWithTheThreadsThatWaitForThem) {
  ASSERT_NE(simsvc::agent_loop(), nullptr);  // the agent thread runs from here on
  sigset_t mask;
  sigemptyset(&mask);
  sigaddset(&mask, SIGUSR1);
  ASSERT_EQ(pthread_sigmask(SIG_BLOCK, &mask, nullptr), 0);
  const int fd = signalfd(-1, &mask, SFD_CLOEXEC);
  ASSERT_GE(fd, 0);
  // Were the agent thread open to it, SIGUSR1 would end this process.
  ASSERT_EQ(kill(getpid(), SIGUSR1), 0);
  signalfd_siginfo info{};
  ASSERT_EQ(read(fd, &info, sizeof info), static_cast<ssize_t>(sizeof info));
  EXPECT_EQ(info.ssi_signo, static_cast<uint32_t>(SIGUSR1));
  close(fd);
  // Work posted from here runs on the agent's thread.
  std::mutex mu;
  std::condition_variable cv;
  bool ran = false;
  std::thread::id where;
  ASSERT_TRUE(simsvc::agent_post([&] {
    std::lock_guard<std::mutex> lock(mu);
    ran = true;
    where = std::this_thread::get_id();
    cv.notify_all();
  }));
  std::unique_lock<std::mutex> lock(mu);
  ASSERT_TRUE(cv.wait_for(lock, std::chrono::milliseconds(kBoundMs), [&] { return ran; }));
  EXPECT_NE(where, std::this_thread::get_id());
}

}  // namespace

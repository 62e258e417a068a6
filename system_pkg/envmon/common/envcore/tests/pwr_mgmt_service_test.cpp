// Power requests as a card sees them over the real monitoring service: the
// answer in the response, and the allocation and system figures in the
// power-data notifications.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "envclient.h"
#include "evloop.h"
#include "evloop_test.h"
#include "pwr_mgmt_fixture.h"

// The card-event state machine is not running here; registration requests
// are only noted.
extern "C" envmon_err_t envmon_ceb_fsa_sched_event(uint32_t event) {
  pwr_mgmt_standin().calls.push_back("ceb_event(" + std::to_string(event) + ")");
  return 0;
}

namespace {

using namespace pwrtest;
using strings = std::vector<std::string>;

constexpr uint32_t kLoopback = 0x7f000001;

std::string text_of(const pelm_eid& eid) { return pwr_eid_text(eid); }

// A card's software: every answer and notification it received.
struct Card {
  envmon_handle* h = nullptr;
  bool connected = false;
  strings got;

  static Card* of(envmon_handle* h) { return static_cast<Card*>(envmon_get_user_context(h)); }

  void start(evloop_t* loop, const msgpipe_endpoint& server) {
    ASSERT_EQ(envmon_handle_create(&h, loop, this), 0);
    envmon_set_connect_callback(h, [](envmon_handle* hh, int32_t status, void*) {
      if (status == 0) of(hh)->connected = true;
    });
    envmon_set_resp_register_power_data_callback(
        h, [](envmon_handle* hh, void*, uint8_t, int32_t status, void*) {
          of(hh)->got.push_back("resp 6 status " + std::to_string(status));
        });
    envmon_set_power_budget_callback(h, [](envmon_handle* hh, void* p, uint8_t, int32_t, void*) {
      auto* b = static_cast<power_budget*>(p);
      of(hh)->got.push_back("budget " + std::to_string(b->budget_status) + " for slot " +
                            std::to_string(b->eid.slot));
    });
    envmon_set_resp_altitude_value_callback(
        h, [](envmon_handle* hh, void*, uint8_t, int32_t, void*) { of(hh)->got.push_back("alt"); });
    envmon_set_notif_sys_pwr_data_callback(h, [](envmon_handle* hh, void* p) {
      auto* n = static_cast<notif_sys_pwr_data*>(p);
      of(hh)->got.push_back("system usable " + std::to_string(n->usable_pwr) + " allocated " +
                            std::to_string(n->resrv_n_alloc_pwr));
    });
    envmon_set_notif_fru_pwr_alloc_data_callback(h, [](envmon_handle* hh, void* p) {
      auto* n = static_cast<notif_fru_pwr_alloc_data*>(p);
      of(hh)->got.push_back("fru " + text_of(n->eid) + " power " +
                            std::to_string(n->power_allocated) + " status " +
                            std::to_string(n->status));
    });
    ASSERT_EQ(envmon_connect_with_endpoint(h, &server, nullptr), 0);
  }
};

class PowerService : public PwrTest {
 protected:
  void SetUp() override {
    PwrTest::SetUp();
    loop_ = evloop_create("pwr_mgmt_service_test");
    envmon_evloop = loop_;
    // No directory service here: the server keeps trying to reach one.
    setenv("ENVMON_DS_ENDPOINT", "127.0.0.1:1", 1);
    pwr_mgmt_standin().sys_pwr.usable_pwr = 5000;
    start();
    make_ready();
    envmon_nm->ip_address = kLoopback;
    ASSERT_EQ(envmon_server_init(loop_, ENVMON_SCOPE_RACK), 0u);
    msgpipe_endpoint ep{};
    msgpipe_get_local_endpoint(envmon_server_get_transport(envmon_svr_hdl[1]), &ep);
    ep.node_address = kLoopback;
    ep.present = MSGPIPE_ENDPOINT_HAS_ADDRESS | MSGPIPE_ENDPOINT_HAS_PORT;
    card_.start(loop_, ep);
    ASSERT_TRUE(evloop_test_wait_for(loop_, [&] { return card_.connected; })) << "no handshake";
    register_power_data reg{};
    ASSERT_EQ(envmon_register_power_data(card_.h, &reg, nullptr), 0);
    settle();
    card_.got.clear();
  }

  void TearDown() override {
    if (card_.h != nullptr) envmon_handle_destroy(card_.h);
    evloop_test_wait_for(loop_, [] { return false; }, 100);
    envmon_server_uninit(ENVMON_SCOPE_RACK);
    evloop_test_wait_for(loop_, [] { return false; }, 50);
    PwrTest::TearDown();
    evloop_destroy(loop_);
    envmon_evloop = nullptr;
    unsetenv("ENVMON_DS_ENDPOINT");
  }

  // Requests on one connection are handled in order: once the answer to a
  // later request is in, everything before it has arrived.
  void settle() {
    request_altitude_value req{};
    ASSERT_EQ(envmon_request_altitude_value(card_.h, &req, nullptr), 0);
    ASSERT_TRUE(evloop_test_wait_for(loop_, [&] {
      return !card_.got.empty() && card_.got.back() == "alt";
    })) << "the server did not answer";
    card_.got.pop_back();
  }

  void ask(uint32_t slot, uint32_t subtype, uint32_t inst, uint32_t type) {
    request_power_budget req{};
    ReqEid eid(slot, subtype, inst);
    req.eid = eid.e;
    req.card_type = type;
    req.pid = const_cast<char*>("");
    req.present = REQUEST_POWER_BUDGET_HAS_EID | REQUEST_POWER_BUDGET_HAS_CARD_TYPE |
                  REQUEST_POWER_BUDGET_HAS_PID;
    ASSERT_EQ(envmon_request_power_budget(card_.h, &req, nullptr), 0);
    settle();
  }

  evloop_t* loop_ = nullptr;
  Card card_;
};

TEST_F(PowerService, AnswersAndNotificationsOnTheWire) {
  // 900 W allocated at start-up; each line card asks for 270 W more.
  const std::string lc0 = text_of(card_of(ENVMON_CARD_CLASS_LC, 0).container_eid);
  struct Case {
    const char* name;
    uint32_t pos;
    uint32_t type;
    uint32_t capacity;
    uint8_t cfg;
    strings got;
  };
  const Case cases[] = {
      {"granted at exactly the capacity", 0, kLcType, 1170, 1,
       {"fru " + lc0 + " power 300 status 4", "system usable 5000 allocated 1170",
        "budget 1 for slot 2"}},
      {"no budget one watt short", 1, kLcType, 1439, 1, {"budget 2 for slot 3"}},
      {"not ready before the configuration", 2, kLcType, 5000, 0, {"budget 3 for slot 4"}},
      {"bad request: a card without a record", 3, 12345, 5000, 1, {"budget 4 for slot 99"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    pm().total_capacity = c.capacity;
    envmon_rm->pwr_cfg.pwr_mgmt_cfg_rcvd = c.cfg;
    const uint32_t slot = c.type == kLcType ? slot_of(ENVMON_CARD_CLASS_LC, c.pos) : 99;
    ask(slot, 9, 99, c.type);
    EXPECT_EQ(card_.got, c.got);
    card_.got.clear();
  }
  EXPECT_EQ(pwr_mgmt_calls({"shut"}), strings{"shut(1, 1)"});
}

}  // namespace

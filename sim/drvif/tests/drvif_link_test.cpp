// The platform-driver service over the real transport and directory service,
// in one process: a client finds its driver by index, requests are answered
// with their cookies, notifications arrive, the endpoint filter sees what is
// published, and flow control is reported.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <optional>
#include <string>
#include <vector>

#include "drvif.h"
#include "dsd_server.h"
#include "evloop_test.h"

namespace {

constexpr uint32_t kLoopback = 0x7f000001;

struct Seen {
  std::vector<std::string> events;
  std::vector<uint32_t> acks;
  uint64_t cookie = 0;
  std::vector<int32_t> values;
  std::vector<std::pair<uint32_t, uint32_t>> endpoints;  // (scope, first attribute)
  uint32_t polled = 0;
  uint32_t rack = 0;
  uint32_t fpga_ack_id = 0;
  drvif_client_handle_t* client = nullptr;
};
Seen* g_seen = nullptr;

// A driver serving index `driver` in `scope`.
struct FakeDriver {
  drvif_server_handle_t* h = nullptr;
  drvif_capability caps[2];
  FakeDriver(evloop_t* loop, uint32_t driver, uint32_t scope) {
    EXPECT_EQ(drvif_server_handle_create(&h, loop, 0), 0);
    drvif_server_set_service_instance(h, "PWR");
    drvif_server_set_user_context(h, reinterpret_cast<void*>(static_cast<uintptr_t>(driver)));
    drvif_server_set_connect_callback(h, [](drvif_client_handle_t* c, void*, int32_t) {
      g_seen->client = c;
      g_seen->events.push_back("server connect");
      const auto d = reinterpret_cast<uintptr_t>(drvif_server_get_user_context(drvif_client_get_server(c)));
      g_seen->events.push_back("driver " + std::to_string(d) + " connect");
    });
    drvif_server_set_disconnect_callback(h, [](drvif_client_handle_t*, int32_t) {
      g_seen->client = nullptr;
      g_seen->events.push_back("server disconnect");
    });
    drvif_server_set_eid_register_callback(h, [](drvif_client_handle_t* c,
                                                 const drvif_eid_register_req* r, uint32_t id) {
      uint32_t acks[] = {r->op_count ? r->pt[0] * 2 : 0, 14};
      drvif_eid_register_resp resp{acks, 2, 1};
      drvif_resp_eid_register(c, &resp, 1, 0, id);
    });
    drvif_server_set_eid_config_polling_callback(
        h, [](drvif_client_handle_t* c, const drvif_eid_config_polling_req* r, uint32_t id) {
          g_seen->polled = r->eid_count;
          std::vector<uint32_t> acks(r->eid_count, 0);
          drvif_eid_ack_resp resp{r->eid, r->eid_count, acks.data(), r->eid_count, nullptr, 0x3};
          drvif_resp_eid_config_polling(c, &resp, 1, 0, id);
        });
    drvif_server_set_send_rack_num_callback(
        h, [](drvif_client_handle_t*, const drvif_rack_num_req* r, uint32_t) { g_seen->rack = r->rack; });
    drvif_server_set_notif_fpga_data_ack_callback(
        h, [](drvif_client_handle_t*, const drvif_notif_ack*, uint32_t id) { g_seen->fpga_ack_id = id; });
    caps[0] = {0, driver};
    caps[1] = {1, scope};
    drvif_server_activation a{kLoopback, 0, 1, caps, 2};
    EXPECT_EQ(drvif_server_activate(h, &a), 0);
  }
  ~FakeDriver() { drvif_server_handle_destroy(h); }
};

class DrvifLink : public ::testing::Test {
 protected:
  void SetUp() override {
    g_seen = &seen;
    loop = evloop_create("drvif_link_test");
    ds.emplace(loop, [](const std::string&) {});
    msgpipe_endpoint any{};
    msgpipe_endpoint_set(&any, kLoopback, 0);
    ASSERT_EQ(ds->start(any), 0);
    const std::string text = "127.0.0.1:" + std::to_string(ds->local_endpoint().port);
    setenv("ENVMON_DS_ENDPOINT", text.c_str(), 1);
    ASSERT_EQ(drvif_handle_create(&client, loop, 0), 0);
    drvif_set_connect_callback(client, [](drvif_handle_t*, uint32_t status, uint64_t ctx) {
      g_seen->events.push_back("connect " + std::to_string(status) + " " + std::to_string(ctx));
    });
    drvif_set_disconnect_callback(client, [](drvif_handle_t*, uint32_t, uint64_t ctx) {
      g_seen->events.push_back("disconnect " + std::to_string(ctx));
    });
    drvif_set_resp_eid_register_callback(
        client, [](drvif_handle_t*, const drvif_eid_register_resp* m, uint8_t, int32_t, uint64_t cookie) {
          g_seen->acks.assign(m->ack, m->ack + m->ack_count);
          g_seen->cookie = cookie;
        });
    drvif_set_resp_eid_config_polling_callback(
        client, [](drvif_handle_t*, const drvif_eid_ack_resp* m, uint8_t, int32_t, uint64_t cookie) {
          g_seen->acks.assign(m->ack, m->ack + m->ack_count);
          g_seen->cookie = cookie;
        });
    drvif_set_notify_sensor_data_callback(client, [](drvif_handle_t*, const drvif_sensor_data_msg* m) {
      for (uint32_t i = 0; i < m->data_count; ++i) g_seen->values.push_back(m->data[i].value);
    });
    drvif_set_notify_fpga_data_callback(
        client, [](drvif_handle_t* h, const drvif_fpga_data_msg*, uint64_t cookie) {
          drvif_notif_ack ack{};
          drvif_receive_notif_fpga_data(h, &ack, 1, 0, cookie);
        });
  }
  void TearDown() override {
    drvif_handle_destroy(client);
    driver.reset();
    evloop_test_wait_for(loop, [] { return false; }, 20);  // deferred frees
    ds.reset();
    evloop_destroy(loop);
    unsetenv("ENVMON_DS_ENDPOINT");
    g_seen = nullptr;
  }
  bool wait(const std::string& event) {
    return evloop_test_wait_for(loop, [&] {
      for (const auto& e : seen.events)
        if (e == event) return true;
      return false;
    });
  }

  Seen seen;
  evloop_t* loop = nullptr;
  std::optional<DsServer> ds;
  std::optional<FakeDriver> driver;
  drvif_handle_t* client = nullptr;
};

TEST_F(DrvifLink, ClientFindsItsDriverAndRequestsAreAnswered) {
  driver.emplace(loop, 2, 1);
  ASSERT_EQ(drvif_connect(client, 2), 0);
  ASSERT_TRUE(wait("connect 0 2")) << "the client did not connect to driver 2";
  ASSERT_TRUE(wait("server connect"));
  uint32_t op[] = {1}, pt[] = {9}, rt[] = {10};
  drvif_eid_register_req req{op, 1, pt, 1, rt, 1, 0x7};
  ASSERT_EQ(drvif_eid_register(client, &req, 0xabcdef12345ull), 0);
  ASSERT_TRUE(evloop_test_wait_for(loop, [&] { return !seen.acks.empty(); }));
  EXPECT_EQ(seen.acks, (std::vector<uint32_t>{18, 14}));
  EXPECT_EQ(seen.cookie, 0xabcdef12345ull);

  // Polling configuration of three sensors, answered per entity id.
  pelm_eid eids[3]{};
  uint32_t d[3] = {1, 2, 3}, iv[3] = {10, 10, 10};
  drvif_eid_config_polling_req poll{3, eids, 3, d, 3, iv, 3, 0xf};
  seen.acks.clear();
  ASSERT_EQ(drvif_eid_config_polling(client, &poll, 7), 0);
  ASSERT_TRUE(evloop_test_wait_for(loop, [&] { return !seen.acks.empty(); }));
  EXPECT_EQ(seen.polled, 3u);
  EXPECT_EQ(seen.acks.size(), 3u);
  EXPECT_EQ(seen.cookie, 7u);

  // A one-way request and a notification with its acknowledgement.
  drvif_rack_num_req rack{0x105, 1};
  ASSERT_EQ(drvif_send_rack_num(client, &rack), 0);
  drvif_sensor_data_rec recs[2]{};
  recs[0].value = 41;
  recs[1].value = -7;
  recs[0].present[0] = recs[1].present[0] = 0x2;
  drvif_sensor_data_msg msg{recs, 2, nullptr, 0, 1};
  ASSERT_EQ(drvif_notify_sensor_data(seen.client, &msg), 0);
  drvif_fpga_data_msg fpga{};
  ASSERT_EQ(drvif_notify_fpga_data(seen.client, &fpga, 77), 0);
  ASSERT_TRUE(evloop_test_wait_for(loop, [&] { return seen.values.size() == 2 && seen.rack && seen.fpga_ack_id; }));
  EXPECT_EQ(seen.values, (std::vector<int32_t>{41, -7}));
  EXPECT_EQ(seen.rack, 0x105u);
  EXPECT_EQ(seen.fpga_ack_id, 77u);
}

TEST_F(DrvifLink, NotConnectedRequestsAndTheDriverOfTheIndex) {
  uint32_t op[] = {1};
  drvif_eid_register_req req{op, 1, op, 1, op, 1, 0x7};
  EXPECT_EQ(drvif_eid_register(client, &req, 1), DRVIF_ERR_NOT_CONNECTED);
  // Driver 11 is published first; the client of driver 2 takes driver 2.
  FakeDriver other(loop, 11, 1);
  ASSERT_TRUE(evloop_test_wait_for(loop, [&] { return ds->registry().entry_count() > 0; }));
  driver.emplace(loop, 2, 1);
  ASSERT_EQ(drvif_connect(client, 2), 0);
  ASSERT_TRUE(wait("connect 0 2"));
  EXPECT_TRUE(wait("driver 2 connect"));
  for (const auto& e : seen.events) EXPECT_NE(e, "driver 11 connect");
}

TEST_F(DrvifLink, FilterSeesEveryPublishedDriver) {
  driver.emplace(loop, 12, 3);
  drvif_set_ds_endpoint_filter_callback(client, [](drvif_handle_t* h, const ds_service_info* e, uint32_t n) {
    for (uint32_t i = 0; i < n; ++i) {
      g_seen->endpoints.emplace_back(e[i].scope, e[i].attribute_count ? e[i].attributes[0].int_value : 99);
      msgpipe_endpoint ep{};
      msgcodec_msgpipe_endpoint_decode_ext(&ep, e[i].endpoint, e[i].endpoint_len, malloc);
      drvif_connect_with_endpoint(h, &ep, 12);
    }
  });
  ASSERT_EQ(drvif_connect(client, 12), 0);
  ASSERT_TRUE(wait("connect 0 12"));
  ASSERT_FALSE(seen.endpoints.empty());
  EXPECT_EQ(seen.endpoints[0], (std::pair<uint32_t, uint32_t>{3, 12}));
}

TEST_F(DrvifLink, LossOfTheDriverIsReportedAndFlowControlToo) {
  driver.emplace(loop, 2, 1);
  ASSERT_EQ(drvif_connect(client, 2), 0);
  ASSERT_TRUE(wait("connect 0 2"));
  // A send queue that holds nothing: the next sends are refused with flow
  // control while the socket is busy.
  msgpipe_set_send_queue_limit(drvif_get_transport(client), 1, 64);
  std::vector<drvif_set_sensor_rec> many(2000);
  for (auto& r : many) r.present = 0x4;
  drvif_set_sensor_req big{many.data(), static_cast<uint32_t>(many.size()), 1};
  int rc = 0;
  for (int i = 0; i < 1000 && rc == 0; ++i) rc = drvif_set_sensor_info(client, &big, 0);
  EXPECT_EQ(rc, DRVIF_ERR_FLOW_CONTROL);
  driver.reset();
  ASSERT_TRUE(wait("disconnect 2")) << "the loss of the driver was not reported";
}

}  // namespace

// The inventory model on its own: acknowledgements (default and scripted),
// what registrations and pushes leave in it, and what it answers and
// publishes to inventory-service clients.
#include <gtest/gtest.h>

#include <vector>

#include "inv_wire.h"
#include "invdb.h"
#include "invreg_wire.h"

namespace {

namespace w = invreg_wire;

struct Sent {
  uint64_t peer;
  uint32_t msg_id;
  uint32_t request_id;
  std::vector<uint32_t> codes;  // acknowledgement codes, when the message carries them
  uint32_t event = 0;           // notifications
  uint32_t count = 0;           // list answers
};

class Model : public ::testing::Test {
 protected:
  Model()
      : model_(
            [this](uint64_t peer, uint32_t id, const void* p, uint32_t rid) {
              capture_invreg(peer, id, p, rid);
            },
            [this](uint64_t peer, uint32_t id, const void* p, uint32_t rid) {
              capture_inv(peer, id, p, rid);
            }) {}

  // What the model sends to registration clients.
  void capture_invreg(uint64_t peer, uint32_t id, const void* p, uint32_t rid) {
    Sent s{peer, id, rid, {}};
    if (id == w::kRegisterEidResp || id == w::kUnregisterEidResp) {
      const auto* a = static_cast<const invreg_multi_ack*>(p);
      s.codes.assign(a->acks, a->acks + a->ack_count);
    } else if (id != w::kEntityStateResp && id != w::kSetHwStateReq && id != w::kGetFpgaDataReq) {
      s.codes.push_back(static_cast<const invreg_ack*>(p)->ack);
    }
    sent_.push_back(s);
  }
  // What it sends to inventory-service clients (ids apart from the others).
  void capture_inv(uint64_t peer, uint32_t id, const void* p, uint32_t rid) {
    Sent s{peer, 0x100 + id, rid, {}};
    if (id == inv_wire::kNotifyEvent)
      s.event = static_cast<const inv_notify_event_data*>(p)->event;
    else if (id == inv_wire::kFruPowerInfoResp)
      s.count = static_cast<const inv_fru_power_list*>(p)->count;
    else if (id == inv_wire::kDataGroupResp)
      s.count = static_cast<const inv_data_group*>(p)->sensor_count;
    sent_.push_back(s);
  }

  static pelm_eid sensor(uint32_t slot, uint32_t subtype, pelm_tsi* levels) {
    levels[0] = {5, 5, 1};
    levels[1] = {8, subtype, 1};
    pelm_eid e{};
    e.rack = 0xfffe;
    e.slot = slot;
    e.tsi = levels;
    e.tsi_count = 2;
    e.present = 0x26;
    return e;
  }

  void reg(uint64_t peer, pelm_eid* eids, uint32_t n, uint32_t rid = 1) {
    invreg_eid_list_req req{eids, n, 0x1};
    model_.invreg_message(peer, w::kRegisterEid, rid, &req);
  }

  invdb::Model model_;
  std::vector<Sent> sent_;
};

TEST_F(Model, ScriptedCodesAnswerEntitiesInOrderThenTheDefaultReturns) {
  model_.invreg_opened(1, 3);
  pelm_tsi l[3][2];
  pelm_eid eids[3] = {sensor(0xfffe, 25, l[0]), sensor(0xfffe, 29, l[1]), sensor(0xfffe, 7, l[2])};
  model_.script_acks(w::kRegisterEid, {1, 7});
  reg(1, eids, 3, 42);
  ASSERT_EQ(sent_.size(), 1u);
  EXPECT_EQ(sent_[0].msg_id, static_cast<uint32_t>(w::kRegisterEidResp));
  EXPECT_EQ(sent_[0].request_id, 42u) << "the answer names its request";
  EXPECT_EQ(sent_[0].codes, (std::vector<uint32_t>{1, 7, 1}));
  EXPECT_TRUE(model_.find(eids[0])->registered);
  EXPECT_EQ(model_.find(eids[1]), nullptr) << "a retried entity is not taken";
  EXPECT_EQ(model_.find(eids[2])->scope, 3u);
}

TEST_F(Model, ValuesOfUnregisteredEntitiesAreAnsweredWithARetry) {
  model_.invreg_opened(1, 1);
  pelm_tsi l[2];
  pelm_eid eid = sensor(40, 7, l);
  invreg_sensor_data d{eid, 500, 9, 0, 0xf};
  model_.invreg_message(1, w::kCurrentData, 0, &d);
  ASSERT_EQ(sent_.size(), 1u);
  EXPECT_EQ(sent_[0].msg_id, static_cast<uint32_t>(w::kDataUpdateStatus));
  EXPECT_EQ(sent_[0].codes, std::vector<uint32_t>{invdb::kAckRetry});
  reg(1, &eid, 1);
  model_.invreg_message(1, w::kCurrentData, 0, &d);
  EXPECT_EQ(sent_.back().codes, std::vector<uint32_t>{invdb::kAckAccepted});
  EXPECT_EQ(model_.find(eid)->value->value, 500);
}

TEST_F(Model, InventoryClientsGetOnlyTheEventsTheyRegisteredFor) {
  model_.invreg_opened(1, 1);
  model_.inv_opened(7);
  model_.inv_opened(8);
  inv_event_reg_req temp{8, 25, 1, INV_EVENT_TEMPERATURE, 0xf};
  model_.inv_message(7, inv_wire::kRegisterEvent, 3, &temp);
  sent_.clear();
  pelm_tsi lt[2], lc[2];
  pelm_eid t = sensor(40, 25, lt);
  pelm_eid c = sensor(40, 7, lc);
  pelm_eid both[2] = {t, c};
  reg(1, both, 2);
  invreg_temp_data td{};
  td.eid = t;
  td.value = 33;
  td.present[0] = 0x03;
  model_.invreg_message(1, w::kTempData, 0, &td);
  invreg_sensor_data cd{c, 900, 0, 0, 0x3};
  model_.invreg_message(1, w::kCurrentData, 0, &cd);
  std::vector<Sent> notes;
  for (const Sent& s : sent_)
    if (s.msg_id == 0x100 + inv_wire::kNotifyEvent) notes.push_back(s);
  ASSERT_EQ(notes.size(), 1u);
  EXPECT_EQ(notes[0].peer, 7u);
  EXPECT_EQ(notes[0].event, INV_EVENT_TEMPERATURE);
  // A client that goes away is not notified any more.
  model_.inv_closed(7);
  sent_.clear();
  model_.invreg_message(1, w::kTempData, 0, &td);
  for (const Sent& s : sent_) EXPECT_NE(s.msg_id, 0x100u + inv_wire::kNotifyEvent);
}

TEST_F(Model, FruPowerAndDataGroupsAnswerFromWhatWasPushed) {
  model_.invreg_opened(1, 1);
  model_.inv_opened(7);
  pelm_tsi l[2];
  pelm_eid tray = sensor(40, 25, l);
  tray.tsi_count = 1;  // the tray itself
  invreg_fru_power_info p{tray, 180, 1, 2500, 0, 0x1f};
  model_.invreg_message(1, w::kFruPowerInfo, 0, &p);
  model_.add_fru_power(tray, 200, 2);
  inv_data_req fru{5, 0, {}, 0x1};
  model_.inv_message(7, inv_wire::kFruPowerInfo, 11, &fru);
  EXPECT_EQ(sent_.back().msg_id, 0x100u + inv_wire::kFruPowerInfoResp);
  EXPECT_EQ(sent_.back().request_id, 11u);
  EXPECT_EQ(sent_.back().count, 2u);
  pelm_tsi lt[2][2];
  pelm_eid temps[2] = {sensor(40, 25, lt[0]), sensor(41, 25, lt[1])};
  reg(1, temps, 2);
  inv_data_req group{8, 25, {}, 0x3};
  model_.inv_message(7, inv_wire::kDataGroup, 12, &group);
  EXPECT_EQ(sent_.back().count, 2u) << "the registered temperature sensors";
}

TEST_F(Model, ServiceRequestsGoToTheRackClientsOnly) {
  EXPECT_FALSE(model_.request_set_hw_state(40, 1));
  model_.invreg_opened(1, 3);
  EXPECT_FALSE(model_.request_set_hw_state(40, 1)) << "a node-scope client is not asked";
  model_.invreg_opened(2, 1);
  EXPECT_TRUE(model_.request_set_hw_state(40, 1));
  EXPECT_EQ(sent_.back().peer, 2u);
  model_.invreg_closed(2);
  EXPECT_FALSE(model_.request_set_hw_state(40, 1));
}

}  // namespace

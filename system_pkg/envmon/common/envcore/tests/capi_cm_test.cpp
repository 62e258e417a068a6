// Card information of the whole chassis: what each card's state means for
// power management, fan control, route-processor presence and the remotely
// managed cards, record by record.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "card_mgr.h"
#include "core_traces.h"
#include "envcore_fakes.h"
#include "envmon_capi.h"
#include "records_fixture.h"
#include "tlg_test.h"

extern "C" {
envmon_err_t envmon_remotecard_init(uint32_t slot, uint32_t cls, uint32_t pd) {
  fakes::rec(__func__, "%u,%u,0x%x", slot, cls, pd);
  return 0;
}
envmon_err_t envmon_remotecard_uninit(uint32_t slot, uint32_t cls, uint32_t pd) {
  fakes::rec(__func__, "%u,%u,0x%x", slot, cls, pd);
  return 0;
}
}

namespace {

using strings = std::vector<std::string>;

// One card_info record; absent fields are those left out of `present`.
struct card {
  int32_t event_type = 1;
  uint32_t slot = 0;
  int32_t card_type = 0;
  int32_t card_state = 3;
  uint32_t hw = 0x1234;
  int32_t sw_state = 7;
  uint8_t present = 0x01 | 0x04 | 0x08 | 0x10 | 0x40 | 0x80;
  bool has_slot = true;
};

struct message {
  std::vector<cm_card_info> infos;
  std::vector<cm_card_location> locs;
  cm_object_data_msg msg{};

  explicit message(const std::vector<card>& cards) {
    infos.resize(cards.size());
    locs.resize(cards.size());
    for (size_t i = 0; i < cards.size(); ++i) {
      const card& c = cards[i];
      locs[i].slot = c.slot;
      locs[i].present = c.has_slot ? 0x2 : 0x0;
      cm_card_info& info = infos[i];
      info.event_type = c.event_type;
      info.card_loc = &locs[i];
      info.card_loc_count = 1;
      info.card_type = c.card_type;
      info.card_state = c.card_state;
      info.sub_card_type = c.hw;
      info.sw_card_state = c.sw_state;
      info.present = c.present;
    }
    msg.card_info = infos.data();
    msg.card_info_count = static_cast<uint32_t>(infos.size());
    msg.present = 0x1;
  }
};

class CapiCm : public ::testing::Test {
 protected:
  void SetUp() override {
    fakes::reset();
    fakes::open_core_traces();
  }
  void make(uint32_t role) {
    recs_.emplace();
    recs_->rm().svc_role = role;
    recs_->pwr_mgmt();
    recs_->rm().rp_count = 2;
  }
  strings deliver(const std::vector<card>& cards) {
    message m(cards);
    fakes::clear_calls();
    envmon_cm_notify_object_data_cb(nullptr, &m.msg);
    return fakes::calls();
  }
  std::optional<fakes::records> recs_;
};

TEST_F(CapiCm, CardStateMapping) {
  struct Case {
    int32_t state;
    int32_t pwr;
  };
  constexpr Case cases[] = {{1, 0}, {2, 1}, {3, 3}, {4, 2},  {5, 3},  {6, 3}, {7, 3},
                            {8, 5}, {9, 4}, {10, 4}, {11, 4}, {0, 6}, {12, 6}, {255, 6}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.state);
    EXPECT_EQ(envmon_cm_card_state_to_pwr_state(c.state), c.pwr);
  }
}

TEST_F(CapiCm, LineCardStates) {
  struct Case {
    const char* name;
    uint32_t role;
    int32_t state;
    strings calls;
  };
  const Case cases[] = {
      {"up, standby: fan control is told in any role", 2, 5,
       {"envmon_pwr_mgmt_card_state_upd(12,0,0x1234,,1,0,3)",
        "envmon_hal_fan_algo_card_state_upd(12,0x1234,5,1)",
        "envmon_hal_prog_mode_card_state_upd(12,5,7)",
        "envmon_pwr_mgmt_set_card_state_upd_done()"}},
      {"down, active", 1, 2,
       {"envmon_pwr_mgmt_card_state_upd(12,0,0x1234,,1,0,1)",
        "envmon_hal_fan_algo_card_state_upd(12,0x1234,2,0)",
        "envmon_remotecard_uninit(12,0,0x1234)",
        "envmon_hal_prog_mode_card_state_upd(12,2,7)",
        "envmon_pwr_mgmt_set_card_state_upd_done()"}},
      {"down, standby: power management only", 2, 8,
       {"envmon_pwr_mgmt_card_state_upd(12,0,0x1234,,1,0,5)",
        "envmon_hal_prog_mode_card_state_upd(12,8,7)",
        "envmon_pwr_mgmt_set_card_state_upd_done()"}},
      {"state 7: power state 3, nothing else", 1, 7,
       {"envmon_pwr_mgmt_card_state_upd(12,0,0x1234,,1,0,3)",
        "envmon_pwr_mgmt_set_card_state_upd_done()"}},
      {"booting: power state 4", 1, 10,
       {"envmon_pwr_mgmt_card_state_upd(12,0,0x1234,,1,0,4)",
        "envmon_pwr_mgmt_set_card_state_upd_done()"}},
      {"invalid state: no power update", 1, 0, {"envmon_pwr_mgmt_set_card_state_upd_done()"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    make(c.role);
    card lc;
    lc.slot = 12;
    lc.card_state = c.state;
    EXPECT_EQ(deliver({lc}), c.calls);
    recs_.reset();
  }
}

TEST_F(CapiCm, RouteProcessorPresence) {
  make(1);
  card rp;
  rp.slot = 1;
  rp.card_type = 1;
  rp.card_state = 6;
  deliver({rp});
  EXPECT_EQ(recs_->rm().rp_info_rcvd[1], 1);
  EXPECT_TRUE(tlg_test_contains("envmon_cmn_pwrm", "Set RP inst 1 TRUE for slot 1\n\n"));
  rp.card_state = 1;
  strings calls = deliver({rp});
  EXPECT_EQ(recs_->rm().rp_info_rcvd[1], 0);
  EXPECT_TRUE(fakes::called("envmon_hal_set_db_default_on_rp_down(1)"));
  // On standby a route processor going down changes nothing here.
  recs_->rm().rp_info_rcvd[1] = 1;
  recs_->rm().svc_role = 2;
  calls = deliver({rp});
  EXPECT_EQ(recs_->rm().rp_info_rcvd[1], 1);
  EXPECT_EQ(calls, (strings{"envmon_pwr_mgmt_card_state_upd(1,1,0x1234,,1,0,0)",
                            "envmon_hal_prog_mode_card_state_upd(1,1,7)",
                            "envmon_pwr_mgmt_set_card_state_upd_done()"}));
  // A route processor in a slot that holds none.
  rp.slot = 5;
  rp.card_state = 3;
  deliver({rp});
  EXPECT_TRUE(tlg_test_contains("envmon_cmn_pwrm", "Got card type as RP butslot 5 is invalid \n"));
}

TEST_F(CapiCm, RecordsAreValidatedOneByOne) {
  struct Case {
    const char* name;
    card bad;
    const char* trace;
  };
  card no_loc;
  no_loc.present &= ~0x04;
  card no_slot;
  no_slot.has_slot = false;
  card slot_too_big;
  slot_too_big.slot = 64;
  card no_type;
  no_type.present &= ~0x08;
  card no_sub;
  no_sub.present &= ~0x40;
  const Case cases[] = {
      {"no location", no_loc,
       "envmon_cm_handle_card_state_change: no card location in card_info for iter 0 in the CM "
       "object data msg\n"},
      {"no slot", no_slot,
       "envmon_cm_handle_card_state_change: no card slotin card_info for iter 0 in the CM object "
       "data msg\n"},
      {"slot equal to the slot count", slot_too_big,
       "envmon_cm_handle_card_state_change: invalid slot 64 in card_info iter 0 in the CM object "
       "data msg\n"},
      {"no card type", no_type,
       "envmon_cm_handle_card_state_change: no card type in card_info for iter 0 in the CM object "
       "data msg\n"},
      {"no sub card type", no_sub,
       "envmon_cm_handle_card_state_change: no sub card type in card_info for iter 0 in the CM "
       "object data msg\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    make(1);
    tlg_test_clear("envmon_cmn_err");
    card good;
    good.slot = 13;
    // The bad record is skipped, the next one still applied, the batch closed.
    EXPECT_EQ(deliver({c.bad, good}),
              (strings{"envmon_pwr_mgmt_card_state_upd(13,0,0x1234,,1,0,3)",
                       "envmon_hal_fan_algo_card_state_upd(13,0x1234,3,1)",
                       "envmon_remotecard_init(13,0,0x1234)",
                       "envmon_hal_prog_mode_card_state_upd(13,3,7)",
                       "envmon_pwr_mgmt_set_card_state_upd_done()"}));
    EXPECT_TRUE(tlg_test_contains("envmon_cmn_err", c.trace));
    recs_.reset();
  }
}

TEST_F(CapiCm, MissingStateIsNotTakenFromThePreviousRecord) {
  make(1);
  card first;
  first.slot = 12;
  first.card_state = 8;  // down
  card second;
  second.slot = 13;
  second.present &= ~(0x10 | 0x80);  // no card state, no sw card state
  strings calls = deliver({first, second});
  EXPECT_EQ(fakes::calls_of({"envmon_pwr_mgmt_card_state_upd", "envmon_remotecard"}),
            (strings{"envmon_pwr_mgmt_card_state_upd(12,0,0x1234,,1,0,5)",
                     "envmon_remotecard_uninit(12,0,0x1234)"}))
      << "the second card must not be taken down with the first card's state";
  EXPECT_TRUE(tlg_test_contains("envmon_cmn_err",
                                "no card state in card_info for iter 1 in the CM object data msg\n"));
  EXPECT_TRUE(tlg_test_contains(
      "envmon_cmn_pwrm",
      "envmon_cm_handle_card_state_change: card iter 1 -  slot 13, event type 1, card type 0, pd "
      "card type = 0x1234 card state 255\n"));
}

TEST_F(CapiCm, RemotelyManagedCards) {
  fakes::hal().max_fc = 2;
  fakes::hal().max_swc = 1;
  fakes::hal().fc_remote = 1;
  fakes::hal().sw_remote = 1;
  make(1);
  envmon_rm_t& rm = recs_->rm();
  rm.fc_cb[0].hw_position = 4;
  rm.fc_cb[1].hw_position = 5;
  rm.sw_cb[0].hw_position = 26;
  inv_eid fc_eids[2] = {};
  fc_eids[1].slot = 5;
  rm.card_eid_list[ENVMON_CARD_CLASS_FC] = {fc_eids, 2};
  card fc;
  fc.slot = 5;
  fc.card_type = 3;
  fc.hw = 0x4242;
  deliver({fc});
  EXPECT_EQ(rm.fc_cb[1].misc_state & 1u, 1u);
  EXPECT_EQ(rm.fc_cb[1].cm_card_type, 0x4242u);
  EXPECT_TRUE(fakes::called("envmon_remotecard_init(5,3,0x4242)"));
  card sw;
  sw.slot = 26;
  sw.card_type = 9;
  deliver({sw});
  EXPECT_EQ(rm.sw_cb[0].cm_card_type, 2033670u) << "switch cards keep their fixed type";
  // Removal of the fabric card: faults cleared by its entity id, record released.
  rm.fc_cb[1].temp_sensors_in_fault = 2;
  fc.event_type = 2;
  strings calls = deliver({fc});
  EXPECT_EQ(rm.fc_cb[1].misc_state & 1u, 0u);
  EXPECT_EQ(rm.fc_cb[1].cm_card_type, 0u);
  EXPECT_EQ(rm.fc_cb[1].temp_sensors_in_fault, 0u);
  EXPECT_EQ(calls, (strings{"envmon_pwr_mgmt_card_state_upd(5,3,0x4242,,1,0,0)",
                            "envmon_hal_fan_algo_card_state_upd(5,0x4242,3,0)",
                            "envmon_fm_fault_clear(1,5)",
                            "envmon_remotecard_uninit(5,3,0x4242)",
                            "envmon_hal_prog_mode_card_state_upd(5,3,7)",
                            "envmon_hal_sec_fan_alarm_clear(5)",
                            "envmon_pwr_mgmt_set_card_state_upd_done()"}));
  // A switch card whose class has no entity list: its faults cannot be named,
  // nothing is cleared and nothing is read beyond the list.
  sw.card_state = 2;
  calls = deliver({sw});
  EXPECT_EQ(rm.sw_cb[0].misc_state & 1u, 0u);
  EXPECT_FALSE(fakes::called("envmon_fm_fault_clear(1,26)"));
  EXPECT_TRUE(tlg_test_contains("envmon_cmn_err", "no entity id for card 0 of class 2"));
}

TEST_F(CapiCm, NotificationsWithoutCards) {
  make(1);
  cm_object_data_msg empty{};
  empty.present = 0x1;
  envmon_cm_notify_object_data_cb(nullptr, &empty);
  EXPECT_EQ(fakes::calls(), strings{"envmon_pwr_mgmt_set_card_state_upd_done()"});
  fakes::clear_calls();
  cm_object_data_msg none{};
  envmon_cm_notify_object_data_cb(nullptr, &none);
  EXPECT_TRUE(fakes::calls().empty());
  EXPECT_TRUE(tlg_test_contains("envmon_cmn_err",
                                "envmon_cm_notify_object_data_cb: no card info in the msg\n"));
}

}  // namespace

// Port-adapter bays: description and sensor lists of an inserted adapter,
// their registration with inventory, polling, and removal.
#include <stdlib.h>

#include "invreg_fixture.h"
#include "invreg_wire.h"

using namespace invtest;
namespace w = invreg_wire;

namespace {

using strings = std::vector<std::string>;

constexpr uint32_t kMorthane = 0x60040500;
// Slot of bay `bay` of card `card` (cards counted from 1).
uint32_t mpa_slot(uint32_t card, uint32_t bay) { return 512 + 3 * (card - 1) + bay; }

class InvMpa : public InvregTest {
 protected:
  void SetUp() override {
    setenv("ENVMON_ROOT", INVREG_TEST_DATA "/root", 1);
    InvregTest::SetUp();
    nm().max_mpa = 2;
    nm().mpa = bays_;
    connect_inv();
    clear_calls();
  }
  void TearDown() override {
    for (envmon_mpa_cb& b : bays_) {
      envmon_inv_free_sensor_data(&b.temp_data.sensors, &b.temp_data.count);
      envmon_inv_free_sensor_data(&b.voltage_data.sensors, &b.voltage_data.count);
      envmon_inv_free_sensor_data(&b.current_data.sensors, &b.current_data.count);
      envmon_free_tsi(&b.ceid);
    }
    nm().mpa = nullptr;
    InvregTest::TearDown();
    unsetenv("ENVMON_ROOT");
  }
  envmon_err_t insert(uint32_t slot, uint32_t type = kMorthane) {
    pelm_eid fru = entity_eid(slot, 5, 18, 1);
    const envmon_err_t rc = envmon_inv_mpa_init(envmon_inv_hdl, &fru, slot, type, "TV-MPA-MORTHANE");
    envmon_free_tsi(&fru);
    run();
    return rc;
  }
  envmon_mpa_cb bays_[2] = {};
};

TEST_F(InvMpa, AnInsertedAdapterGetsItsListsAndItsOperStateWatched) {
  ASSERT_EQ(insert(mpa_slot(kOwnSlot, 1)), ENVMON_OK);
  const envmon_mpa_cb& b = bays_[1];
  EXPECT_NE(b.state & ENVMON_MPA_LISTS_BUILT, 0u);
  EXPECT_EQ(b.card_type, kMorthane);
  EXPECT_EQ(b.temp_data.count, 2);
  EXPECT_EQ(b.voltage_data.count, 1);
  EXPECT_EQ(b.current_data.count, 1);
  EXPECT_EQ(b.ceid.rack, ENVMON_RACK_UNKNOWN);
  EXPECT_EQ(b.ceid.slot, mpa_slot(kOwnSlot, 1));
  EXPECT_EQ(b.xml, nullptr) << "the description is closed again";
  EXPECT_EQ(b.inv_ceid.slot, mpa_slot(kOwnSlot, 1));
  EXPECT_TRUE(model().has_event_registration(9, 63, INV_EVENT_OPER_STATE));
  EXPECT_EQ(bays_[0].state, 0u) << "the other bay is untouched";
  // The same adapter again: nothing changes.
  envmon_sensor_info* lists = b.temp_data.sensors;
  EXPECT_EQ(insert(mpa_slot(kOwnSlot, 1)), ENVMON_OK);
  EXPECT_EQ(b.temp_data.sensors, lists);
}

TEST_F(InvMpa, AdaptersOfOtherCardsUnknownBaysAndUnknownTypesAreRefused) {
  struct Case {
    const char* name;
    uint32_t slot;
    uint32_t type;
    envmon_err_t expected;
  };
  const Case cases[] = {
      {"another line card", mpa_slot(kOwnSlot + 1, 0), kMorthane, ENVMON_ERR_INVALID_ARG},
      {"bay beyond the card's bays", mpa_slot(kOwnSlot, 2), kMorthane, ENVMON_ERR_INVALID_ARG},
      {"no description", mpa_slot(kOwnSlot, 0), 0x60040599, ENVMON_ERR_NOT_CONNECTED},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(insert(c.slot, c.type), c.expected);
    EXPECT_EQ(bays_[0].state, 0u);
    EXPECT_EQ(bays_[1].state, 0u);
    EXPECT_EQ(bays_[0].xml, nullptr);
  }
}

TEST_F(InvMpa, SensorsAreRegisteredOnceTheNodeClientIsUpAndPolledByBay) {
  ASSERT_EQ(insert(mpa_slot(kOwnSlot, 0)), ENVMON_OK);
  envmon_mpa_cb& b = bays_[0];
  EXPECT_EQ(envmon_inv_register_mpa_sensor(0), ENVMON_OK) << "nothing to do while down";
  EXPECT_EQ(b.state & 0x1u, 0u);
  EXPECT_EQ(envmon_inv_register_mpa_sensor(2), ENVMON_ERR_INVALID_ARG);
  connect_node();  // registers the bays of the card
  for (envmon_sensor_list* l : {&b.temp_data, &b.voltage_data, &b.current_data}) {
    for (uint16_t i = 0; i < l->count; ++i) {
      SCOPED_TRACE(l->sensors[i].name);
      ASSERT_NE(in_model(l->sensors[i]), nullptr);
      EXPECT_TRUE(in_model(l->sensors[i])->registered);
      EXPECT_EQ(in_model(l->sensors[i])->scope, ENVMON_SCOPE_NODE);
    }
    EXPECT_EQ(l->reg_state & 0xf0000001, 0xf0000001u);
  }
  EXPECT_NE(b.state & 0x1u, 0u);
  clear_calls();
  envmon_mpa_start_stop_sensor_polling(0, ENVMON_POLL_START);
  EXPECT_EQ(invtest::calls_of("envmon_drvif_poll_request"),
            (strings{"envmon_drvif_poll_request(MPA Inlet,2,3,17)",
                     "envmon_drvif_poll_request(MPA 1V0,1,3,17)",
                     "envmon_drvif_poll_request(MPA Current,1,3,17)"}));
  EXPECT_NE(b.temp_data.reg_state & 0x100u, 0u);
  clear_calls();
  envmon_mpa_start_stop_sensor_polling(0, ENVMON_POLL_STOP);
  EXPECT_EQ(invtest::count_of("envmon_drvif_poll_request"), 3u);
  EXPECT_EQ(b.current_data.reg_state & 0x100u, 0u);
  EXPECT_EQ(invtest::calls_of("envmon_update_oper_state"),
            (strings(4, "envmon_update_oper_state(" + std::to_string(mpa_slot(kOwnSlot, 0)) +
                            ",0x40,3)")))
      << "every sensor of the bay is marked down";
}

TEST_F(InvMpa, RemovalUnregistersFreesAndFreesTheBay) {
  connect_node();
  ASSERT_EQ(insert(mpa_slot(kOwnSlot, 1)), ENVMON_OK);
  ASSERT_EQ(envmon_inv_register_mpa_sensor(1), ENVMON_OK);
  run();
  pelm_eid first{};
  inv_util_copy_pelm_eid_to_pelm_eid(&bays_[1].temp_data.sensors[0].eid, &first);
  ASSERT_TRUE(model().find(first)->registered);
  EXPECT_EQ(envmon_inv_handle_mpa_removal(mpa_slot(kOwnSlot, 1), kMorthane), ENVMON_OK);
  run();
  EXPECT_FALSE(model().find(first)->registered);
  EXPECT_EQ(bays_[1].state, 0u);
  EXPECT_EQ(bays_[1].temp_data.sensors, nullptr);
  EXPECT_EQ(bays_[1].temp_data.count, 0);
  // A bay that never initialised is refused and touched by nothing.
  clear_calls();
  EXPECT_EQ(envmon_inv_handle_mpa_removal(mpa_slot(kOwnSlot, 0), kMorthane),
            ENVMON_ERR_INVALID_ARG);
  EXPECT_EQ(invtest::count_of("envmon_drvif_poll_request"), 0u);
  envmon_free_tsi(&first);
}

TEST_F(InvMpa, RouteProcessorInsertionAndRemovalEvents) {
  answers().mpa_supported_on_rp = true;
  inv_fru_oir_event ev{};
  ev.op = INV_FRU_OIR_INSERTED;
  ev.pi_type = 18;
  ev.mpa.slot_id = mpa_slot(kOwnSlot, 0);
  ev.mpa.pd_card_type = kMorthane;
  ev.mpa.pid = const_cast<char*>("TV-MPA-MORTHANE");
  ev.present = 0x2f;
  ev.mpa.present = 0x7;
  model().publish_fru_oir(ev);
  run();
  EXPECT_NE(bays_[0].state & ENVMON_MPA_LISTS_BUILT, 0u);
  // Another kind of FRU is not an adapter event.
  ev.pi_type = 4;
  ev.op = INV_FRU_OIR_REMOVED;
  model().publish_fru_oir(ev);
  run();
  EXPECT_NE(bays_[0].state & ENVMON_MPA_LISTS_BUILT, 0u);
  ev.pi_type = 18;
  model().publish_fru_oir(ev);
  run();
  EXPECT_EQ(bays_[0].state, 0u);
  EXPECT_EQ(invtest::calls_of("envmon_hal_fan_algo_card_state_upd"),
            strings{"envmon_hal_fan_algo_card_state_upd(" + std::to_string(mpa_slot(kOwnSlot, 0)) +
                    ",0x60040500,1,0)"});
}

}  // namespace

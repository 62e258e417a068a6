// A server's records, its event loop and the inventory model served in the
// same process, for the tests of inventory registration.
#pragma once

#include <gtest/gtest.h>

#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "envmon_invreg_private.h"
#include "invdb.h"
#include "invreg_standin.h"
#include "invsvc_local.h"

namespace invtest {

// This card: a route processor in slot 5.
inline constexpr uint32_t kRpCardType = 0x60020100;
inline constexpr uint32_t kOwnSlot = 5;
// Fan tray t sits in slot kFanTraySlot0 + t.
inline constexpr uint32_t kFanTraySlot0 = 40;

// A sensor entity id: the container level, then type 8 of `subtype`.
pelm_eid sensor_eid(uint32_t slot, uint32_t subtype, uint32_t instance);
// An id of one level type/subtype/instance in slot `slot`.
pelm_eid entity_eid(uint32_t slot, uint32_t type, uint32_t subtype, uint32_t instance);
invdb::Key key_of(const pelm_eid& eid);

class InvregTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Runs the loop until nothing is left to do.
  void run();
  // Creates the node, rack or inventory-service client and lets it connect.
  void connect_node();
  void connect_rack();
  void connect_inv();

  invdb::Model& model() { return *model_; }
  evloop_t* loop() { return loop_; }

  // Fills a sensor list of `n` sensors of `subtype` in `slot`, named
  // "<prefix> <i>"; the list owns them until teardown.
  void fill_list(envmon_sensor_list& list, uint32_t slot, uint32_t subtype, uint16_t n,
                 const std::string& prefix);
  // A list of such sensors that belongs to no record.
  envmon_sensor_list& own_list(uint32_t slot, uint32_t subtype, uint16_t n,
                               const std::string& prefix);
  // The model's entity of a sensor; null when it has none.
  const invdb::Entity* in_model(const envmon_sensor_info& s) { return model().find(s.eid); }

  // Serves the model in this process (false: the test serves it itself and
  // sets model_).
  bool in_process_ = true;
  invdb::Model* model_ = nullptr;

  uint32_t rm_counter(uint32_t i) const { return rm_oper_[i * ENVMON_COUNTER_STRIDE]; }
  uint32_t nm_counter(uint32_t i) const { return nm_oper_[i * ENVMON_COUNTER_STRIDE]; }

  envmon_rm_t& rm() { return *envmon_rm; }
  envmon_nm_t& nm() { return *envmon_nm; }
  fantray_cb& tray(uint32_t t) { return envmon_rm->fantray_cb[t]; }

 private:
  void free_list(envmon_sensor_list& list);

  evloop_t* loop_ = nullptr;
  std::unique_ptr<invdb::LocalServer> server_;
  std::vector<envmon_sensor_list*> lists_;
  std::deque<envmon_sensor_list> own_lists_;
  std::vector<uint32_t> rm_oper_, rm_err_, nm_oper_, nm_err_;
};

}  // namespace invtest

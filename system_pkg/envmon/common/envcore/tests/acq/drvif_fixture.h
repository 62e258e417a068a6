// The chassis records with drivers served on the test's loop: the core's
// driver client connects to them through the directory service.
#pragma once

#include <map>
#include <memory>

#include "acq_fixture.h"
#include "envmon_drvif_private.h"
#include "evloop_test.h"
#include "fake_driver.h"

class DrvifFixture : public AcqFixture {
 protected:
  void SetUp() override {
    AcqFixture::SetUp();
    dir = std::make_unique<TestDirectory>(loop);
  }
  void TearDown() override {
    envmon_drvif_test_forget();
    drivers.clear();
    dir.reset();
    AcqFixture::TearDown();
  }
  // Serves driver `index` and has the core connect to it.
  FakeDriver& start(uint32_t index, uint32_t scope = ENVMON_SCOPE_NODE) {
    auto& d = drivers[index];
    d = std::make_unique<FakeDriver>(loop, index, scope);
    EXPECT_EQ(envmon_drvif_init(loop, index), 0);
    EXPECT_TRUE(wait([&] { return envmon_nm->drvif_connected[index] == 1 && d->connected(); }))
        << "driver " << index << " did not connect";
    return *d;
  }
  template <class F>
  bool wait(F done) {
    return evloop_test_wait_for(loop, done);
  }
  // Runs the loop until nothing more is pending on it and on the sockets of
  // this process (answers to what was just sent).
  template <class F>
  void settle(F done) {
    ASSERT_TRUE(wait(done)) << "the expected answer did not come";
  }

  std::unique_ptr<TestDirectory> dir;
  std::map<uint32_t, std::unique_ptr<FakeDriver>> drivers;
};

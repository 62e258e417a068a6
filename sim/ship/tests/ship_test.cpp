#include <gtest/gtest.h>

#include "ship.h"

namespace {

class Ship : public ::testing::Test {
 protected:
  void TearDown() override { ship_reset(); }
};

TEST_F(Ship, BlockHoldsFiveWordsPerCounterValueFirst) {
  ship_counter_def defs[] = {{"Connect", 0}, {"Disconnect", 7}, {"Error", 0}};
  uint32_t* block = nullptr;
  ASSERT_EQ(ship_register("G", "T", "app", 1, 0, defs, 3, &block), SHIP_OK);
  ASSERT_NE(block, nullptr);
  EXPECT_EQ(block[5], 7u);  // initial value of counter 1
  block[10] += 3;           // counter 2
  EXPECT_EQ(ship_get_counter("app", "G", "T", "Error"), 3);
  EXPECT_EQ(ship_get_counter("app", "G", "T", "Disconnect"), 7);
  EXPECT_EQ(ship_get_counter("app", "G", "T", "Nope"), -1);
}

TEST_F(Ship, RefusesBadArgumentsDuplicatesAndRefusedTables) {
  ship_counter_def defs[] = {{"A", 0}};
  uint32_t* block = nullptr;
  EXPECT_EQ(ship_register("", "T", "app", 1, 0, defs, 1, &block), SHIP_ERR_ARG);
  EXPECT_EQ(ship_register("G", "T", "app", 1, 0, defs, 0, &block), SHIP_ERR_ARG);
  EXPECT_EQ(ship_register("G", "T", "app", 1, 0, nullptr, 1, &block), SHIP_ERR_ARG);
  EXPECT_EQ(block, nullptr);
  ASSERT_EQ(ship_register("G", "T", "app", 1, 0, defs, 1, &block), SHIP_OK);
  uint32_t* again = nullptr;
  EXPECT_EQ(ship_register("G", "T", "app", 1, 0, defs, 1, &again), SHIP_ERR_EXISTS);
  EXPECT_EQ(again, nullptr);
  ship_test_refuse_table("R", 5);
  EXPECT_EQ(ship_register("G", "R", "app", 1, 0, defs, 1, &again), 5);
  EXPECT_EQ(again, nullptr);
}

}  // namespace

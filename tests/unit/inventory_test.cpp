// The 45 stacks: single adds and removals in search order, the all-or-nothing
// give that fills the active hotbar slot first, and the selected block.
#include <gtest/gtest.h>

#include <cstring>

#include "player.h"

namespace {

class InventoryTest : public ::testing::Test {
protected:
    void SetUp() override {
        player_ = player_create(0.0f, 0.0f, 0.0f);
        ASSERT_NE(player_, nullptr);
    }
    void TearDown() override { player_free(player_); }

    InventorySlot& slot(int i) { return i < 9 ? player_->inventory[i] : player_->big_inventory[i - 9]; }

    bool same_slots(const Player& a, const Player& b) {
        return memcmp(a.inventory, b.inventory, sizeof(a.inventory)) == 0 &&
               memcmp(a.big_inventory, b.big_inventory, sizeof(a.big_inventory)) == 0;
    }

    Player* player_ = nullptr;
};

TEST_F(InventoryTest, SixtyFifthStoneGoesToTheFirstEmptyHotbarSlot) {
    for (int i = 0; i < 65; i++) ASSERT_TRUE(inventory_add_block(player_, BLOCK_STONE));
    EXPECT_EQ(slot(0).count, 64);
    EXPECT_EQ(slot(1).type, BLOCK_STONE);
    EXPECT_EQ(slot(1).count, 1);
    EXPECT_EQ(slot(9).type, BLOCK_AIR);
}

TEST_F(InventoryTest, MatchingBackpackStackComesBeforeAnEmptySlot) {
    slot(0) = InventorySlot{BLOCK_STONE, 64};
    slot(9 + 5) = InventorySlot{BLOCK_STONE, 10};
    ASSERT_TRUE(inventory_add_block(player_, BLOCK_STONE));
    EXPECT_EQ(slot(14).count, 11);
    EXPECT_EQ(slot(1).type, BLOCK_AIR);
}

TEST_F(InventoryTest, AirAndBedrockNeverEnter) {
    EXPECT_FALSE(inventory_add_block(player_, BLOCK_AIR));
    EXPECT_FALSE(inventory_add_block(player_, BLOCK_BEDROCK));
    EXPECT_FALSE(inventory_give(player_, BLOCK_BEDROCK, 5));
    EXPECT_FALSE(inventory_give(player_, BLOCK_AIR, 5));
    EXPECT_EQ(slot(0).type, BLOCK_AIR);
}

TEST_F(InventoryTest, FullInventoryRefusesAnotherType) {
    for (int i = 0; i < INVENTORY_TOTAL_SLOTS; i++) slot(i) = InventorySlot{BLOCK_DIRT, 64};
    EXPECT_FALSE(inventory_add_block(player_, BLOCK_SAND));
    EXPECT_FALSE(inventory_add_block(player_, BLOCK_DIRT));
    EXPECT_EQ(inventory_total_free_capacity(player_, BLOCK_DIRT), 0);
}

TEST_F(InventoryTest, RemovingTheLastBlockEmptiesTheSlotAndTakesTheFirstStack) {
    slot(3) = InventorySlot{BLOCK_WOOD, 1};
    slot(12) = InventorySlot{BLOCK_WOOD, 5};
    player_->selected_slot = 8;
    ASSERT_TRUE(inventory_remove_block(player_, BLOCK_WOOD));
    EXPECT_EQ(slot(3).type, BLOCK_AIR);
    EXPECT_EQ(slot(3).count, 0);
    ASSERT_TRUE(inventory_remove_block(player_, BLOCK_WOOD));
    EXPECT_EQ(slot(12).count, 4);
    EXPECT_FALSE(inventory_remove_block(player_, BLOCK_SAND));
}

TEST_F(InventoryTest, SelectedBlockIsAirForAnEmptySlot) {
    EXPECT_EQ(inventory_get_selected_block(player_), BLOCK_AIR);
    slot(2) = InventorySlot{BLOCK_SAND, 3};
    player_->selected_slot = 2;
    EXPECT_EQ(inventory_get_selected_block(player_), BLOCK_SAND);
    slot(2).count = 0;
    EXPECT_EQ(inventory_get_selected_block(player_), BLOCK_AIR);
}

TEST_F(InventoryTest, GiveFillsTheSelectedSlotFirst) {
    player_->selected_slot = 4;
    ASSERT_TRUE(inventory_give(player_, BLOCK_DIRT, 100));
    EXPECT_EQ(slot(4).type, BLOCK_DIRT);
    EXPECT_EQ(slot(4).count, 64);
    EXPECT_EQ(slot(0).type, BLOCK_DIRT);
    EXPECT_EQ(slot(0).count, 36);
    EXPECT_EQ(slot(1).type, BLOCK_AIR);
}

TEST_F(InventoryTest, GiveTopsUpMatchingStacksBeforeEmptySlots) {
    slot(0) = InventorySlot{BLOCK_SAND, 1};  // the selected slot holds another type
    slot(20) = InventorySlot{BLOCK_DIRT, 60};
    ASSERT_TRUE(inventory_give(player_, BLOCK_DIRT, 10));
    EXPECT_EQ(slot(20).count, 64);
    EXPECT_EQ(slot(1).type, BLOCK_DIRT);
    EXPECT_EQ(slot(1).count, 6);
    EXPECT_EQ(slot(0).count, 1);
}

TEST_F(InventoryTest, GiveBeyondCapacityOrOfNothingChangesNothing) {
    slot(7) = InventorySlot{BLOCK_STONE, 3};
    Player before = *player_;
    EXPECT_FALSE(inventory_give(player_, BLOCK_DIRT, 44 * 64 + 1));
    EXPECT_FALSE(inventory_give(player_, BLOCK_DIRT, 0));
    EXPECT_FALSE(inventory_give(player_, BLOCK_DIRT, -5));
    EXPECT_TRUE(same_slots(before, *player_));
    EXPECT_EQ(inventory_total_free_capacity(player_, BLOCK_STONE), 45 * 64 - 3);
    EXPECT_TRUE(inventory_give(player_, BLOCK_DIRT, 44 * 64));
    EXPECT_EQ(inventory_total_free_capacity(player_, BLOCK_DIRT), 0);
}

TEST_F(InventoryTest, ToggleFlipsTheBigInventory) {
    EXPECT_FALSE(inventory_is_big_open(player_));
    inventory_toggle_big(player_);
    EXPECT_TRUE(inventory_is_big_open(player_));
    inventory_toggle_big(player_);
    EXPECT_FALSE(inventory_is_big_open(player_));
}

}  // namespace

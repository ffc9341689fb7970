// Breaking and placing blocks and the outline ray, against a World built in
// the test; the mouse buttons are left out by calling the edit steps directly.
#include "game_edit.h"

#include <gtest/gtest.h>

#include <cstring>

#include "play_world_fixture.h"
#include "player.h"

namespace {

class GameEdit : public PlayWorldTest {
protected:
    void SetUp() override {
        PlayWorldTest::SetUp();
        slab(0, 15, 64, 0, 15, BLOCK_STONE);
        put(5, 64, 8, BLOCK_BEDROCK);
        player_ = player_create(2.5f, 66.0f, 2.5f);
        ASSERT_NE(player_, nullptr);
        game_.world = world_;
        game_.player = player_;
        look_down_from(8.5f, 8.5f);
    }
    void TearDown() override {
        player_free(player_);
        PlayWorldTest::TearDown();
    }

    // Camera 1.7 above the floor's top over column (x, z), looking straight down.
    void look_down_from(float x, float z, float y = 66.7f) {
        game_.look.camera.position = Vector3{x, y, z};
        game_.look.camera.target = Vector3{x, y - 1.0f, z};
        game_.look.camera.up = Vector3{0.0f, 1.0f, 0.0f};
        game_.look.camera.fovy = 90.0f;
    }

    GameState game_ = {};
    Player* player_ = nullptr;
};

TEST_F(GameEdit, BreakingMovesTheBlockIntoTheInventory) {
    game_break_block(&game_);
    EXPECT_EQ(world_get_block(world_, 8, 64, 8), BLOCK_AIR);
    EXPECT_EQ(player_->inventory[0].type, BLOCK_STONE);
    EXPECT_EQ(player_->inventory[0].count, 1);
}

TEST_F(GameEdit, BedrockCannotBeBroken) {
    look_down_from(5.5f, 8.5f);
    game_break_block(&game_);
    EXPECT_EQ(world_get_block(world_, 5, 64, 8), BLOCK_BEDROCK);
    EXPECT_EQ(player_->inventory[0].type, BLOCK_AIR);
}

TEST_F(GameEdit, FullInventoryLosesTheBrokenBlock) {
    for (auto& slot : player_->inventory) slot = InventorySlot{BLOCK_DIRT, 64};
    for (auto& slot : player_->big_inventory) slot = InventorySlot{BLOCK_DIRT, 64};
    game_break_block(&game_);
    EXPECT_EQ(world_get_block(world_, 8, 64, 8), BLOCK_AIR);
    EXPECT_EQ(inventory_total_free_capacity(player_, BLOCK_STONE), 0);
}

TEST_F(GameEdit, NothingWithinReachDoesNothing) {
    look_down_from(8.5f, 8.5f, 80.0f);
    player_->inventory[0] = InventorySlot{BLOCK_SAND, 1};
    game_break_block(&game_);
    game_place_block(&game_);
    EXPECT_EQ(world_get_block(world_, 8, 64, 8), BLOCK_STONE);
    EXPECT_EQ(player_->inventory[0].count, 1);
}

TEST_F(GameEdit, PlacingPutsTheSelectedBlockOnTheTargetedFace) {
    player_->inventory[0] = InventorySlot{BLOCK_SAND, 3};
    game_place_block(&game_);
    EXPECT_EQ(world_get_block(world_, 8, 65, 8), BLOCK_SAND);
    EXPECT_EQ(player_->inventory[0].count, 2);
}

TEST_F(GameEdit, PlacingWithAnEmptySlotTouchesNothing) {
    player_->big_inventory[3] = InventorySlot{BLOCK_SAND, 3};  // not the selected hotbar slot
    game_place_block(&game_);
    EXPECT_EQ(world_get_block(world_, 8, 65, 8), BLOCK_AIR);
    EXPECT_EQ(player_->big_inventory[3].count, 3);
}

TEST_F(GameEdit, PlacingIntoThePlayerIsRefused) {
    player_->inventory[0] = InventorySlot{BLOCK_SAND, 3};
    player_->position = Vector3{8.5f, 67.0f, 8.5f};  // the body reaches down to 65.1
    game_place_block(&game_);
    EXPECT_EQ(world_get_block(world_, 8, 65, 8), BLOCK_AIR);
    EXPECT_EQ(player_->inventory[0].count, 3);
}

TEST_F(GameEdit, CameraInsideABlockPlacesNothing) {
    player_->inventory[0] = InventorySlot{BLOCK_SAND, 3};
    look_down_from(8.5f, 8.5f, 64.5f);
    game_place_block(&game_);
    EXPECT_EQ(world_get_block(world_, 8, 64, 8), BLOCK_STONE);
    EXPECT_EQ(player_->inventory[0].count, 3);
}

TEST_F(GameEdit, OutlineRayRunsEveryThirdFrameAndAMissClearsIt) {
    game_update_highlight(&game_);
    game_update_highlight(&game_);
    EXPECT_FALSE(game_.target.found);
    game_update_highlight(&game_);
    ASSERT_TRUE(game_.target.found);
    EXPECT_EQ(game_.target.x, 8);
    EXPECT_EQ(game_.target.y, 64);
    EXPECT_EQ(game_.target.z, 8);
    EXPECT_EQ(game_.target.raycast_frame_counter, 0);

    game_break_block(&game_);  // the outline stays on the empty cell until the next ray
    look_down_from(8.5f, 8.5f, 90.0f);
    game_update_highlight(&game_);
    game_update_highlight(&game_);
    EXPECT_TRUE(game_.target.found);
    game_update_highlight(&game_);
    EXPECT_FALSE(game_.target.found);
}

}  // namespace

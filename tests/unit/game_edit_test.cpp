// Breaking and placing blocks and the outline ray, against a World built in
// the test; the mouse buttons are left out by calling the edit steps directly.
#include "game_edit.h"

#include <gtest/gtest.h>

#include <memory>
#include <tuple>
#include <utility>

#include "play_world_fixture.h"
#include "player.h"

namespace {

class GameEdit : public PlayWorldTest {
protected:
    void SetUp() override {
        PlayWorldTest::SetUp();
        slab(0, 15, 64, 0, 15, BLOCK_STONE);
        game_.world = world_;
        game_.player = player_.get();
        look_down_from(8.5f, 8.5f);
    }

    // The camera over column (x, z), 1.7 above the floor's top by default, looking straight down.
    void look_down_from(float x, float z, float y = 66.7f) {
        game_.look.camera = Camera3D{{x, y, z}, {x, y - 1.0f, z}, {0.0f, 1.0f, 0.0f}, 90.0f, CAMERA_PERSPECTIVE};
    }

    std::unique_ptr<Player, decltype(&player_free)> player_{player_create(2.5f, 66.0f, 2.5f), player_free};
    GameState game_ = {};
};

TEST_F(GameEdit, BreakAndPlaceWithinReachOutsideThePlayer) {
    const InventorySlot none = {BLOCK_AIR, 0}, sand = {BLOCK_SAND, 3}, full = {BLOCK_DIRT, 64};
    struct Case {
        const char* what;
        float x, eye;                    // camera column x (z is 8.5) and height
        bool in_the_way;                 // the player stands at (8.5, 67, 8.5): its body reaches down to 65.1
        InventorySlot hotbar, backpack;  // every hotbar or backpack slot starts like this
        int cell_x, cell_y;              // the cell checked afterwards, z 8
        BlockType block;
        InventorySlot first_after;  // hotbar slot 0 afterwards
    };
    const Case cases[] = {
        {"b", 8.5f, 66.7f, false, none, none, 8, 64, BLOCK_AIR, {BLOCK_STONE, 1}},
        {"b", 5.5f, 66.7f, false, none, none, 5, 64, BLOCK_BEDROCK, none},
        {"b", 8.5f, 66.7f, false, full, full, 8, 64, BLOCK_AIR, full},  // a full inventory loses the block
        {"bp", 8.5f, 80.0f, false, {BLOCK_SAND, 1}, none, 8, 64, BLOCK_STONE, {BLOCK_SAND, 1}},  // out of reach
        {"p", 8.5f, 66.7f, false, sand, none, 8, 65, BLOCK_SAND, {BLOCK_SAND, 2}},
        {"p", 8.5f, 66.7f, false, none, sand, 8, 65, BLOCK_AIR, none},  // only the selected slot places
        {"p", 8.5f, 66.7f, true, sand, none, 8, 65, BLOCK_AIR, sand},
        {"p", 8.5f, 64.5f, false, sand, none, 8, 64, BLOCK_STONE, sand}};  // camera inside a block
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.what << " at " << c.x << ", eye " << c.eye << ", " << c.in_the_way);
        slab(0, 15, 64, 0, 15, BLOCK_STONE);
        slab(0, 15, 65, 0, 15, BLOCK_AIR);
        put(5, 64, 8, BLOCK_BEDROCK);
        for (InventorySlot& s : player_->inventory) s = c.hotbar;
        for (InventorySlot& s : player_->big_inventory) s = c.backpack;
        player_->position = c.in_the_way ? Vector3{8.5f, 67.0f, 8.5f} : Vector3{2.5f, 66.0f, 2.5f};
        look_down_from(c.x, 8.5f, c.eye);
        for (const char* a = c.what; *a; a++) (*a == 'b' ? game_break_block : game_place_block)(&game_);
        EXPECT_EQ(world_get_block(world_, c.cell_x, c.cell_y, 8), c.block);
        EXPECT_EQ(std::pair(player_->inventory[0].type, player_->inventory[0].count),
                  std::pair(c.first_after.type, c.first_after.count));
        EXPECT_EQ(player_->big_inventory[3].count, c.backpack.count);
    }
}

TEST_F(GameEdit, OutlineFollowsTheRayAndAMissClearsIt) {
    for (int i = 0; i < 3; i++) game_update_highlight(&game_);
    EXPECT_EQ(std::tuple(game_.target.found, game_.target.x, game_.target.y, game_.target.z),
              std::tuple(true, 8, 64, 8));
    look_down_from(8.5f, 8.5f, 90.0f);  // out of reach
    for (int i = 0; i < 3; i++) game_update_highlight(&game_);
    EXPECT_FALSE(game_.target.found);
}

}  // namespace

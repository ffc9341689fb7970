// Breaking and placing blocks and the outline ray, against a World built in the test, without the mouse.
#include "game_edit.h"

#include <gtest/gtest.h>

#include <memory>
#include <tuple>
#include <utility>

#include "play_world_fixture.h"
#include "player.h"

namespace {

using GameEdit = PlayWorldTest;

// The camera over column (x, 8.5) at height y, looking straight down.
Camera3D looking_down(float x, float y) {
    return Camera3D{{x, y, 8.5f}, {x, y - 1.0f, 8.5f}, {0.0f, 1.0f, 0.0f}, 90.0f, CAMERA_PERSPECTIVE};
}

TEST_F(GameEdit, BreakAndPlaceWithinReachOutsideThePlayerAndTheOutlineFollowsTheRay) {
    std::unique_ptr<Player, decltype(&player_free)> player(player_create(2.5f, 66.0f, 2.5f), player_free);
    GameState game = {};
    game.world = world_;
    game.player = player.get();
    const InventorySlot none = {BLOCK_AIR, 0}, sand = {BLOCK_SAND, 3}, full = {BLOCK_DIRT, 64};
    // Edits, camera x and height, the player in the way at (8.5, 67, 8.5), slots before; cell (x, y, 8), slot 0 after.
    const std::tuple<const char*, float, float, bool, InventorySlot, InventorySlot, int, BlockType, InventorySlot>
        cases[] = {{"b", 8.5f, 66.7f, false, none, none, 64, BLOCK_AIR, {BLOCK_STONE, 1}},
                   {"b", 5.5f, 66.7f, false, none, none, 64, BLOCK_BEDROCK, none},
                   {"b", 8.5f, 66.7f, false, full, full, 64, BLOCK_AIR, full},  // a full inventory loses the block
                   {"bp", 8.5f, 80.0f, false, {BLOCK_SAND, 1}, none, 64, BLOCK_STONE, {BLOCK_SAND, 1}},  // out of reach
                   {"p", 8.5f, 66.7f, false, sand, none, 65, BLOCK_SAND, {BLOCK_SAND, 2}},
                   {"p", 8.5f, 66.7f, false, none, sand, 65, BLOCK_AIR, none},  // only the selected slot places
                   {"p", 8.5f, 66.7f, true, sand, none, 65, BLOCK_AIR, sand},
                   {"p", 8.5f, 64.5f, false, sand, none, 64, BLOCK_STONE, sand}};  // camera inside a block
    for (const auto& [what, x, eye, in_the_way, hotbar, backpack, cell_y, block, first_after] : cases) {
        SCOPED_TRACE(testing::Message() << what << " at " << x << ", eye " << eye << ", " << in_the_way);
        slab(0, 15, 64, 0, 15, BLOCK_STONE);
        slab(0, 15, 65, 0, 15, BLOCK_AIR);
        put(5, 64, 8, BLOCK_BEDROCK);
        for (InventorySlot& s : player->inventory) s = hotbar;
        for (InventorySlot& s : player->big_inventory) s = backpack;
        player->position = in_the_way ? Vector3{8.5f, 67.0f, 8.5f} : Vector3{2.5f, 66.0f, 2.5f};
        game.look.camera = looking_down(x, eye);
        for (const char* a = what; *a; a++) (*a == 'b' ? game_break_block : game_place_block)(&game);
        EXPECT_EQ(world_get_block(world_, static_cast<int>(x), cell_y, 8), block);
        EXPECT_EQ(std::pair(player->inventory[0].type, player->inventory[0].count),
                  std::pair(first_after.type, first_after.count));
        EXPECT_EQ(player->big_inventory[3].count, backpack.count);
    }
    // The ray runs every third frame, the target kept in between; out of reach it finds nothing.
    for (const float eye : {66.7f, 90.0f}) {
        game.look.camera = looking_down(8.5f, eye);
        for (int i = 0; i < 3; i++) {
            EXPECT_EQ(game.target.found, eye > 80.0f) << "the target stays until the ray runs again";
            game_update_highlight(&game);
        }
        EXPECT_EQ(std::tuple(game.target.found, game.target.x, game.target.y, game.target.z),
                  std::tuple(eye < 80.0f, 8, 64, 8));
    }
}

}  // namespace

// The player body: input to velocity, jumping and flight, collision against a
// World built in the test, the sneak edge guard, long frames and start spots.
#include "player.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>

#include "config.h"
#include "play_world_fixture.h"

namespace {

constexpr float FRAME = 1.0f / 60.0f;
const Vector3 RIGHT_X = {1.0f, 0.0f, 0.0f};

float horizontal_speed(const Player* p) {
    return sqrtf(p->velocity.x * p->velocity.x + p->velocity.z * p->velocity.z);
}

PlayerKeys keys_none() {
    return PlayerKeys{};
}

struct PlayerDeleter {
    void operator()(Player* p) const { player_free(p); }
};
using PlayerPtr = std::unique_ptr<Player, PlayerDeleter>;

PlayerPtr make_player(float x, float y, float z) {
    return PlayerPtr(player_create(x, y, z));
}

// ---------------------------------------------------------------- input only

TEST(PlayerInput, CreateStartsAtRestWithEmptyInventory) {
    PlayerPtr p = make_player(1.0f, 2.0f, 3.0f);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p->position.y, 2.0f);
    EXPECT_EQ(p->prev_position.z, 3.0f);
    EXPECT_EQ(p->selected_block, BLOCK_STONE);
    EXPECT_EQ(p->space_press_time, 1.0f);
    EXPECT_FALSE(p->is_flying || p->no_clip || p->on_ground);
    EXPECT_EQ(p->inventory[0].type, BLOCK_AIR);
    EXPECT_EQ(p->big_inventory[35].count, 0);
    player_free(nullptr);
}

TEST(PlayerInput, DiagonalSpeedIsCappedForEachGait) {
    PlayerPtr p = make_player(0, 0, 0);
    PlayerKeys keys = keys_none();
    keys.forward = keys.right = true;
    player_apply_input(p.get(), &keys, RIGHT_X, false);
    EXPECT_NEAR(horizontal_speed(p.get()), 5.5f, 1e-4f);
    keys.sprint_held = true;
    player_apply_input(p.get(), &keys, RIGHT_X, false);
    EXPECT_NEAR(horizontal_speed(p.get()), 8.25f, 1e-4f);
    keys.shift_held = true;
    player_apply_input(p.get(), &keys, RIGHT_X, false);
    EXPECT_NEAR(horizontal_speed(p.get()), 2.75f, 1e-4f);
    EXPECT_TRUE(p->shifting);
}

TEST(PlayerInput, WalksAlongTheViewDerivedFromTheRightVector) {
    PlayerPtr p = make_player(0, 0, 0);
    PlayerKeys keys = keys_none();
    keys.forward = true;
    // Looking along +Z the camera's right is -X.
    player_apply_input(p.get(), &keys, Vector3{-1.0f, 0.0f, 0.0f}, false);
    EXPECT_NEAR(p->velocity.z, 5.5f, 1e-5f);
    EXPECT_NEAR(p->velocity.x, 0.0f, 1e-5f);
    keys.back = true;  // opposite keys cancel
    player_apply_input(p.get(), &keys, Vector3{-1.0f, 0.0f, 0.0f}, false);
    EXPECT_NEAR(horizontal_speed(p.get()), 0.0f, 1e-6f);
    keys = keys_none();
    keys.right = true;  // a degenerate right vector falls back to +X
    player_apply_input(p.get(), &keys, Vector3{0.0f, 0.0f, 0.0f}, false);
    EXPECT_NEAR(p->velocity.x, 5.5f, 1e-5f);
}

TEST(PlayerInput, DoubleTapTogglesFlightOnlyWhenAllowed) {
    PlayerPtr p = make_player(0, 100, 0);
    PlayerKeys tap = keys_none();
    tap.jump_pressed = true;
    p->velocity.y = -7.0f;
    player_apply_input(p.get(), &tap, RIGHT_X, false);
    player_apply_input(p.get(), &tap, RIGHT_X, false);
    EXPECT_FALSE(p->is_flying) << "no flight without permission";
    EXPECT_EQ(p->space_press_time, 0.0f);

    p->space_press_time = 0.29f;
    player_apply_input(p.get(), &tap, RIGHT_X, true);
    EXPECT_TRUE(p->is_flying);
    EXPECT_EQ(p->velocity.y, 0.0f);

    p->space_press_time = 0.1f;  // a third quick press toggles again
    player_apply_input(p.get(), &tap, RIGHT_X, true);
    EXPECT_FALSE(p->is_flying);

    p->space_press_time = 0.3f;  // too slow
    player_apply_input(p.get(), &tap, RIGHT_X, true);
    EXPECT_FALSE(p->is_flying);
}

TEST(PlayerInput, FlightClimbsWithSpaceAndDescendsWhenShiftIsHeldToo) {
    PlayerPtr p = make_player(0, 100, 0);
    p->is_flying = true;
    PlayerKeys keys = keys_none();
    keys.jump_held = true;
    player_apply_input(p.get(), &keys, RIGHT_X, true);
    EXPECT_EQ(p->velocity.y, 8.0f);
    keys.shift_held = true;
    player_apply_input(p.get(), &keys, RIGHT_X, true);
    EXPECT_EQ(p->velocity.y, -8.0f);
    keys.sprint_held = true;
    keys.forward = true;
    player_apply_input(p.get(), &keys, RIGHT_X, true);
    EXPECT_EQ(p->velocity.y, -12.0f);
    EXPECT_NEAR(horizontal_speed(p.get()), 8.25f, 1e-4f) << "flying ignores sneak and sprint speeds but not the factor";
}

// ---------------------------------------------------------------- against a world

class PlayerWorld : public PlayWorldTest {
protected:
    // Floor of stone blocks at y = 64 (walking surface 65) over x, z 0..15.
    void floor64() { slab(0, 15, 64, 0, 15, BLOCK_STONE); }

    // The loop's order: physics of the frame, then input for the next one.
    void frame(Player* p, const PlayerKeys* keys, float dt = FRAME) {
        player_update(p, world_, dt, false);
        if (keys) player_apply_input(p, keys, RIGHT_X, false);
    }

    void settle(Player* p, int frames = 90) {
        for (int i = 0; i < frames; i++) frame(p, nullptr);
    }
};

TEST_F(PlayerWorld, CollisionBoxTouchingFacesDoesNotCollide) {
    put(0, 64, 0, BLOCK_DIRT);
    EXPECT_FALSE(world_check_collision_box(world_, Vector3{1.5f, 64.5f, 0.5f}, 1.0f, 1.0f, 1.0f));
    EXPECT_FALSE(world_check_collision_box(world_, Vector3{0.5f, 65.5f, 0.5f}, 1.0f, 1.0f, 1.0f));
    EXPECT_FALSE(world_check_collision_box(world_, Vector3{-0.5f, 64.5f, 0.5f}, 1.0f, 1.0f, 1.0f));
    EXPECT_TRUE(world_check_collision_box(world_, Vector3{1.49f, 64.5f, 0.5f}, 1.0f, 1.0f, 1.0f));
    EXPECT_TRUE(world_check_collision_box(world_, Vector3{0.5f, 65.45f, 0.5f}, 0.2f, 1.0f, 0.2f));
    EXPECT_FALSE(world_check_collision_box(world_, Vector3{5.5f, 64.5f, 5.5f}, 1.0f, 1.0f, 1.0f));
}

TEST_F(PlayerWorld, FallsOntoTheFloorAndStaysThere) {
    floor64();
    PlayerPtr p = make_player(8.5f, 67.0f, 8.5f);
    settle(p.get());
    EXPECT_TRUE(p->on_ground);
    EXPECT_GE(p->position.y - PLAYER_HALF_HEIGHT, 65.0f);
    EXPECT_LT(p->position.y - PLAYER_HALF_HEIGHT, 65.02f);
    EXPECT_FALSE(world_check_collision_box(world_, p->position, PLAYER_WIDTH, PLAYER_HEIGHT, PLAYER_DEPTH));
}

TEST_F(PlayerWorld, HoldingSpaceHopsAgainAfterEachLanding) {
    floor64();
    PlayerPtr p = make_player(8.5f, 66.0f, 8.5f);
    settle(p.get());
    PlayerKeys keys = keys_none();
    keys.jump_held = true;
    int jumps = 0;
    for (int i = 0; i < 150; i++) {
        frame(p.get(), &keys);
        if (p->velocity.y == PLAYER_JUMP_VELOCITY) jumps++;
    }
    EXPECT_GE(jumps, 3) << "a jump lasts 0.68 s; 2.5 s of holding Space gives at least three";
    keys.jump_held = false;
    frame(p.get(), &keys);
    EXPECT_FALSE(p->jump_used);
}

TEST_F(PlayerWorld, NoClipFallsThroughTheGroundUnlessFlying) {
    floor64();
    PlayerPtr p = make_player(8.5f, 66.0f, 8.5f);
    settle(p.get());
    const float rest = p->position.y;
    p->no_clip = true;
    p->is_flying = true;
    settle(p.get(), 30);
    EXPECT_EQ(p->position.y, rest);
    p->is_flying = false;
    settle(p.get(), 60);
    EXPECT_LT(p->position.y, 60.0f);
    EXPECT_FALSE(p->on_ground);
}

TEST_F(PlayerWorld, SneakingHoldsThePlayerOnTheEdgeAndStillJumps) {
    slab(0, 3, 64, 0, 15, BLOCK_STONE);  // the floor ends at x = 4
    PlayerPtr p = make_player(3.2f, 66.0f, 8.5f);
    settle(p.get());
    PlayerKeys keys = keys_none();
    keys.shift_held = true;
    keys.right = true;  // +X
    for (int i = 0; i < 120; i++) frame(p.get(), &keys);
    EXPECT_GT(p->position.x, 4.0f) << "leaning out over the edge is allowed";
    EXPECT_LT(p->position.x, 4.3f) << "a sample must still find the floor";
    EXPECT_GE(p->position.y, 65.9f);
    EXPECT_TRUE(p->on_ground);

    keys.jump_held = true;
    frame(p.get(), &keys);
    EXPECT_EQ(p->velocity.y, PLAYER_JUMP_VELOCITY);
    const float before = p->position.y;
    frame(p.get(), &keys);
    EXPECT_GT(p->position.y, before);
}

TEST_F(PlayerWorld, WalkingIntoAWallSlidesAlongIt) {
    floor64();
    for (int y = 65; y <= 67; y++)
        for (int z = 0; z <= 15; z++) put(10, y, z, BLOCK_STONE);
    PlayerPtr p = make_player(9.5f, 66.0f, 4.5f);
    settle(p.get());
    for (int i = 0; i < 30; i++) {
        p->velocity.x = 3.0f;
        p->velocity.z = 3.0f;
        frame(p.get(), nullptr);
    }
    EXPECT_LE(p->position.x + PLAYER_WIDTH / 2.0f, 10.0f);
    EXPECT_GT(p->position.x, 9.6f);
    EXPECT_NEAR(p->position.z, 4.5f + 1.5f, 0.06f);
    EXPECT_EQ(p->velocity.x, 3.0f) << "a wall does not zero the horizontal velocity";
}

TEST_F(PlayerWorld, FallSpeedIsLimitedToFifty) {
    PlayerPtr p = make_player(8.5f, 2000.0f, 8.5f);
    for (int i = 0; i < 180; i++) frame(p.get(), nullptr);
    EXPECT_EQ(p->velocity.y, PLAYER_FALL_LIMIT);
    p->is_flying = true;
    p->velocity.y = -80.0f;
    frame(p.get(), nullptr);
    EXPECT_EQ(p->velocity.y, PLAYER_FALL_LIMIT) << "the limit holds in flight too";
}

TEST_F(PlayerWorld, LongFrameDoesNotCarryAFallingPlayerThroughAFloor) {
    slab(0, 15, 64, 0, 15, BLOCK_STONE);  // a one-block floor over a cave
    slab(0, 15, 30, 0, 15, BLOCK_STONE);  // the cave's bottom
    PlayerPtr p = make_player(8.5f, 67.0f, 8.5f);
    p->velocity.y = -50.0f;
    player_update(p.get(), world_, 0.5f, false);
    EXPECT_TRUE(p->on_ground);
    EXPECT_GE(p->position.y - PLAYER_HALF_HEIGHT, 65.0f);
    EXPECT_LT(p->position.y, 67.0f);
    EXPECT_EQ(p->prev_position.y, 67.0f) << "prev_position is where the frame began";
}

TEST_F(PlayerWorld, LongFrameRunsAsEqualShortSteps) {
    PlayerPtr whole = make_player(8.5f, 500.0f, 8.5f);
    PlayerPtr steps = make_player(8.5f, 500.0f, 8.5f);
    whole->velocity = steps->velocity = Vector3{2.0f, 3.0f, -1.0f};
    player_update(whole.get(), world_, 0.3f, false);
    for (int i = 0; i < 6; i++) player_update(steps.get(), world_, 0.3f / 6.0f, false);
    EXPECT_EQ(whole->position.y, steps->position.y);
    EXPECT_EQ(whole->velocity.y, steps->velocity.y);
    EXPECT_EQ(whole->position.x, steps->position.x);

    PlayerPtr single = make_player(8.5f, 500.0f, 8.5f);  // an ordinary frame is one step
    single->velocity.y = 3.0f;
    player_update(single.get(), world_, PLAYER_MAX_STEP, false);
    EXPECT_FLOAT_EQ(single->velocity.y, 3.0f - PLAYER_GRAVITY * PLAYER_MAX_STEP);
    EXPECT_FLOAT_EQ(single->position.y, 500.0f + single->velocity.y * PLAYER_MAX_STEP);
}

// ---------------------------------------------------------------- start spots

// A seed whose surface under (x, z) is above or below `level`.
uint64_t seed_with_surface(int x, int z, int level, bool above) {
    for (uint64_t seed = 1; seed < 5000; seed++) {
        const int h = smooth_terrain_height(x, z, seed);
        if (above ? h > level + 1 : h + 2 < level) return seed;
    }
    return 0;
}

TEST(PlayerSpawn, FreshWorldDefaultIsLiftedOntoTheSurface) {
    const uint64_t seed = 42;
    const float y = player_safe_spawn_y(WORLD_DEFAULT_PLAYER_X, WORLD_DEFAULT_PLAYER_Y, WORLD_DEFAULT_PLAYER_Z, seed);
    const int surface = smooth_terrain_height(8, 8, seed);
    EXPECT_GE(y, static_cast<float>(surface) + PLAYER_HALF_HEIGHT);
    int highest = 0;
    for (int x = 7; x <= 8; x++)
        for (int z = 7; z <= 8; z++) highest = std::max(highest, smooth_terrain_height(x, z, seed));
    EXPECT_FLOAT_EQ(y, static_cast<float>(highest) + PLAYER_HALF_HEIGHT + PLAYER_SPAWN_MARGIN);
}

TEST(PlayerSpawn, FixedSpotsKeepTheirHeightAboveTheSurfaceAndRiseBelowIt) {
    const int spots[2][2] = {{8, 8}, {0, 0}};
    for (const auto& spot : spots) {
        const float x = static_cast<float>(spot[0]), z = static_cast<float>(spot[1]);
        const uint64_t high = seed_with_surface(spot[0], spot[1], 105, true);
        const uint64_t low = seed_with_surface(spot[0], spot[1], 105, false);
        ASSERT_NE(high, 0u);
        ASSERT_NE(low, 0u);
        EXPECT_GT(player_safe_spawn_y(x, 105.0f, z, high),
                  static_cast<float>(smooth_terrain_height(spot[0], spot[1], high)) + PLAYER_HALF_HEIGHT);
        // A spot above all four columns under the body stays as it is.
        int highest = 0;
        for (int dx = -1; dx <= 0; dx++)
            for (int dz = -1; dz <= 0; dz++)
                highest = std::max(highest, smooth_terrain_height(spot[0] + dx, spot[1] + dz, low));
        if (static_cast<float>(highest) + PLAYER_HALF_HEIGHT + PLAYER_SPAWN_MARGIN <= 105.0f) {
            EXPECT_EQ(player_safe_spawn_y(x, 105.0f, z, low), 105.0f);
        }
    }
}

class PlayerSpawnWorld : public PlayWorldTest {
protected:
    void generate_around(int chunk_x, int chunk_z, uint64_t seed) {
        for (int cx = chunk_x - 1; cx <= chunk_x; cx++)
            for (int cz = chunk_z - 1; cz <= chunk_z; cz++)
                for (int cy = 0; cy <= 2; cy++) {
                    Chunk* chunk = world_load_or_create_chunk(world_, cx, cy, cz);
                    ASSERT_NE(chunk, nullptr);
                    world_generate_chunk(chunk, seed);
                    chunk->loaded = true;
                }
    }
};

TEST_F(PlayerSpawnWorld, PlayerPutAtEachSpotStandsOnTheGeneratedSurface) {
    const uint64_t seed = seed_with_surface(0, 0, 105, true);
    ASSERT_NE(seed, 0u);
    generate_around(0, 0, seed);
    const float spots[3][3] = {{8.0f, 20.0f, 8.0f}, {8.0f, 105.0f, 8.0f}, {0.0f, 105.0f, 0.0f}};
    for (const auto& s : spots) {
        const float y = player_safe_spawn_y(s[0], s[1], s[2], seed);
        PlayerPtr p = make_player(s[0], y, s[2]);
        EXPECT_FALSE(world_check_collision_box(world_, p->position, PLAYER_WIDTH, PLAYER_HEIGHT, PLAYER_DEPTH))
            << "spot (" << s[0] << ", " << s[1] << ", " << s[2] << ")";
        for (int i = 0; i < 120; i++) player_update(p.get(), world_, FRAME, false);
        EXPECT_TRUE(p->on_ground);
        EXPECT_LE(p->position.y, y);
        EXPECT_FALSE(world_check_collision_box(world_, p->position, PLAYER_WIDTH, PLAYER_HEIGHT, PLAYER_DEPTH));
    }
}

}  // namespace

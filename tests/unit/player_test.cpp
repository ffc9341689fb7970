// The player body: input to velocity, jumping and flight, collision against a
// World built in the test, the sneak edge guard, long frames and start spots.
#include "player.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <string>
#include <tuple>

#include "config.h"
#include "play_world_fixture.h"

namespace {

constexpr float FRAME = 1.0f / 60.0f;
const Vector3 RIGHT_X = {1.0f, 0.0f, 0.0f};

using PlayerPtr = std::unique_ptr<Player, decltype(&player_free)>;

PlayerPtr make_player(float x, float y, float z) {
    return PlayerPtr(player_create(x, y, z), player_free);
}

// Keys named by letter: Forward, Back, Left, Right, jump Pressed, Jump held, Shift, Control (sprint).
PlayerKeys pressed(const std::string& names) {
    PlayerKeys k = {};
    bool* flags[] = {&k.forward,      &k.back,      &k.left,       &k.right,
                     &k.jump_pressed, &k.jump_held, &k.shift_held, &k.sprint_held};
    for (char c : names) *flags[std::string("fblrpjsc").find(c)] = true;
    return k;
}

float horizontal_speed(const Player* p) {
    return std::hypot(p->velocity.x, p->velocity.z);
}

// ---------------------------------------------------------------- input only

TEST(PlayerInput, CreateStartsAtRestWithEmptyInventory) {
    PlayerPtr p = make_player(1.0f, 2.0f, 3.0f);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(std::tuple(p->position.y, p->prev_position.z, p->selected_block, p->space_press_time),
              std::tuple(2.0f, 3.0f, BLOCK_STONE, 1.0f));
    EXPECT_FALSE(p->is_flying || p->no_clip || p->on_ground);
    EXPECT_EQ(std::pair(p->inventory[0].type, p->big_inventory[35].count), std::pair(BLOCK_AIR, 0));
    player_free(nullptr);
}

// The horizontal speed, and each velocity component that is not NAN.
TEST(PlayerInput, SpeedFollowsTheGaitTheViewAndFlight) {
    struct Case {
        PlayerKeys keys;
        Vector3 right;
        bool flying;
        float speed;
        Vector3 velocity;
    };
    const Case cases[] = {
        {pressed("fr"), RIGHT_X, false, 5.5f, {NAN, NAN, NAN}},
        {pressed("frc"), RIGHT_X, false, 8.25f, {NAN, NAN, NAN}},
        {pressed("frsc"), RIGHT_X, false, 2.75f, {NAN, NAN, NAN}},  // sneaking wins over sprinting
        {pressed("f"), {-1, 0, 0}, false, 5.5f, {NAN, NAN, 5.5f}},  // looking along +Z the right is -X
        {pressed("fb"), {-1, 0, 0}, false, 0.0f, {NAN, NAN, NAN}},
        {pressed("r"), {0, 0, 0}, false, 5.5f, {5.5f, NAN, NAN}},  // a degenerate right vector means +X
        // Flight climbs with Space, descends when Shift is held too, and only knows the sprint factor.
        {pressed("j"), RIGHT_X, true, 0.0f, {NAN, 8.0f, NAN}},
        {pressed("js"), RIGHT_X, true, 0.0f, {NAN, -8.0f, NAN}},
        {pressed("fjsc"), RIGHT_X, true, 8.25f, {NAN, -12.0f, NAN}}};
    for (size_t i = 0; i < std::size(cases); i++) {
        const Case& c = cases[i];
        PlayerPtr p = make_player(0, 100, 0);
        p->is_flying = c.flying;
        player_apply_input(p.get(), &c.keys, c.right, c.flying);
        EXPECT_NEAR(horizontal_speed(p.get()), c.speed, 1e-4f) << i;
        const float got[3] = {p->velocity.x, p->velocity.y, p->velocity.z},
                    want[3] = {c.velocity.x, c.velocity.y, c.velocity.z};
        for (int axis = 0; axis < 3; axis++)
            EXPECT_TRUE(std::isnan(want[axis]) || std::fabs(got[axis] - want[axis]) < 1e-5f) << i;
        EXPECT_EQ(p->shifting, c.keys.shift_held) << i;
    }
}

TEST(PlayerInput, DoubleTapTogglesFlightOnlyWhenAllowed) {
    PlayerPtr p = make_player(0, 100, 0);
    const PlayerKeys tap = pressed("p");
    p->velocity.y = -7.0f;
    player_apply_input(p.get(), &tap, RIGHT_X, false);
    player_apply_input(p.get(), &tap, RIGHT_X, false);
    EXPECT_FALSE(p->is_flying) << "no flight without permission";
    EXPECT_EQ(p->space_press_time, 0.0f);
    // Time since the last press, and whether flight is on after this one.
    const std::pair<float, bool> taps[] = {{0.29f, true}, {0.1f, false}, {0.3f, false}};
    for (const auto& [since, flying] : taps) {
        p->space_press_time = since;
        player_apply_input(p.get(), &tap, RIGHT_X, true);
        EXPECT_EQ(p->is_flying, flying) << since;
    }
    EXPECT_EQ(p->velocity.y, 0.0f);
}

// ---------------------------------------------------------------- against a world

class PlayerWorld : public PlayWorldTest {
protected:
    // Floor of stone blocks at y = 64 (walking surface 65) over x, z 0..15.
    void floor64() { slab(0, 15, 64, 0, 15, BLOCK_STONE); }

    // The loop's order: physics of the frame, then input for the next one.
    void frames(Player* p, int n, const PlayerKeys* keys = nullptr) {
        for (int i = 0; i < n; i++) {
            player_update(p, world_, FRAME, false);
            if (keys) player_apply_input(p, keys, RIGHT_X, false);
        }
    }

    bool collides(const Player* p) const {
        return world_check_collision_box(world_, p->position, PLAYER_WIDTH, PLAYER_HEIGHT, PLAYER_DEPTH);
    }
};

TEST_F(PlayerWorld, CollisionBoxTouchingFacesDoesNotCollide) {
    put(0, 64, 0, BLOCK_DIRT);
    const std::pair<Vector3, bool> boxes[] = {{{1.5f, 64.5f, 0.5f}, false},
                                              {{0.5f, 65.5f, 0.5f}, false},
                                              {{-0.5f, 64.5f, 0.5f}, false},
                                              {{1.49f, 64.5f, 0.5f}, true},
                                              {{5.5f, 64.5f, 5.5f}, false}};
    for (const auto& [at, hit] : boxes) EXPECT_EQ(world_check_collision_box(world_, at, 1.0f, 1.0f, 1.0f), hit) << at.x;
    EXPECT_TRUE(world_check_collision_box(world_, Vector3{0.5f, 65.45f, 0.5f}, 0.2f, 1.0f, 0.2f));
}

TEST_F(PlayerWorld, FallsOntoTheFloorHopsWhileSpaceIsHeldAndWithoutClippingFallsThroughUnlessFlying) {
    floor64();
    PlayerPtr p = make_player(8.5f, 67.0f, 8.5f);
    frames(p.get(), 90);
    EXPECT_TRUE(p->on_ground);
    EXPECT_GE(p->position.y - PLAYER_HALF_HEIGHT, 65.0f);
    EXPECT_LT(p->position.y - PLAYER_HALF_HEIGHT, 65.02f);
    EXPECT_FALSE(collides(p.get()));

    PlayerKeys keys = pressed("j");
    int jumps = 0;
    for (int i = 0; i < 150; i++) {
        frames(p.get(), 1, &keys);
        if (p->velocity.y == PLAYER_JUMP_VELOCITY) jumps++;
    }
    EXPECT_GE(jumps, 3) << "a jump lasts 0.68 s; 2.5 s of holding Space gives at least three";
    keys.jump_held = false;
    frames(p.get(), 1, &keys);
    EXPECT_FALSE(p->jump_used);

    frames(p.get(), 90);
    const float rest = p->position.y;
    p->no_clip = p->is_flying = true;
    frames(p.get(), 30);
    EXPECT_EQ(p->position.y, rest);
    p->is_flying = false;
    frames(p.get(), 60);
    EXPECT_LT(p->position.y, 60.0f);
    EXPECT_FALSE(p->on_ground);
}

TEST_F(PlayerWorld, SneakingHoldsThePlayerOnTheEdgeAndStillJumps) {
    slab(0, 3, 64, 0, 15, BLOCK_STONE);  // the floor ends at x = 4
    PlayerPtr p = make_player(3.2f, 66.0f, 8.5f);
    frames(p.get(), 90);
    PlayerKeys keys = pressed("sr");  // towards +X
    frames(p.get(), 120, &keys);
    EXPECT_GT(p->position.x, 4.0f) << "leaning out over the edge is allowed";
    EXPECT_LT(p->position.x, 4.3f) << "a sample must still find the floor";
    EXPECT_GE(p->position.y, 65.9f);
    EXPECT_TRUE(p->on_ground);
    keys.jump_held = true;
    frames(p.get(), 1, &keys);
    EXPECT_EQ(p->velocity.y, PLAYER_JUMP_VELOCITY);
    const float before = p->position.y;
    frames(p.get(), 1, &keys);
    EXPECT_GT(p->position.y, before);
}

TEST_F(PlayerWorld, WalkingIntoAWallSlidesAlongIt) {
    floor64();
    for (int y = 65; y <= 67; y++) slab(10, 10, y, 0, 15, BLOCK_STONE);
    PlayerPtr p = make_player(9.5f, 66.0f, 4.5f);
    frames(p.get(), 90);
    for (int i = 0; i < 30; i++) {
        p->velocity.x = p->velocity.z = 3.0f;
        frames(p.get(), 1);
    }
    EXPECT_LE(p->position.x + PLAYER_WIDTH / 2.0f, 10.0f);
    EXPECT_GT(p->position.x, 9.6f);
    EXPECT_NEAR(p->position.z, 4.5f + 1.5f, 0.06f);
    EXPECT_EQ(p->velocity.x, 3.0f) << "a wall does not zero the horizontal velocity";
}

TEST_F(PlayerWorld, FallSpeedIsLimitedEvenInFlight) {
    PlayerPtr p = make_player(8.5f, 2000.0f, 8.5f);
    frames(p.get(), 180);
    EXPECT_EQ(p->velocity.y, PLAYER_FALL_LIMIT);
    p->is_flying = true;
    p->velocity.y = -80.0f;
    frames(p.get(), 1);
    EXPECT_EQ(p->velocity.y, PLAYER_FALL_LIMIT);
}

TEST_F(PlayerWorld, LongFrameRunsAsEqualShortStepsAndNotThroughAFloor) {
    slab(0, 15, 64, 0, 15, BLOCK_STONE);  // a one-block floor over a cave
    slab(0, 15, 30, 0, 15, BLOCK_STONE);  // the cave's bottom
    PlayerPtr p = make_player(8.5f, 67.0f, 8.5f);
    p->velocity.y = -50.0f;
    player_update(p.get(), world_, 0.5f, false);
    EXPECT_TRUE(p->on_ground);
    EXPECT_GE(p->position.y - PLAYER_HALF_HEIGHT, 65.0f);
    EXPECT_LT(p->position.y, 67.0f);
    EXPECT_EQ(p->prev_position.y, 67.0f) << "prev_position is where the frame began";

    PlayerPtr whole = make_player(8.5f, 500.0f, 8.5f), steps = make_player(8.5f, 500.0f, 8.5f);
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

// The highest surface under the four columns the body stands on at (x, z).
int highest_under(int x, int z, uint64_t seed) {
    int highest = 0;
    for (int dx = -1; dx <= 0; dx++)
        for (int dz = -1; dz <= 0; dz++) highest = std::max(highest, smooth_terrain_height(x + dx, z + dz, seed));
    return highest;
}

TEST(PlayerSpawn, SpotsBelowTheSurfaceRiseOntoItAndSpotsAboveItStay) {
    const float y = player_safe_spawn_y(WORLD_DEFAULT_PLAYER_X, WORLD_DEFAULT_PLAYER_Y, WORLD_DEFAULT_PLAYER_Z, 42);
    EXPECT_GE(y, static_cast<float>(smooth_terrain_height(8, 8, 42)) + PLAYER_HALF_HEIGHT);
    EXPECT_FLOAT_EQ(y, static_cast<float>(highest_under(8, 8, 42)) + PLAYER_HALF_HEIGHT + PLAYER_SPAWN_MARGIN);
    for (int spot : {8, 0}) {
        const float at = static_cast<float>(spot);
        const uint64_t high = seed_with_surface(spot, spot, 105, true), low = seed_with_surface(spot, spot, 105, false);
        ASSERT_NE(high, 0u);
        ASSERT_NE(low, 0u);
        EXPECT_GT(player_safe_spawn_y(at, 105.0f, at, high),
                  static_cast<float>(smooth_terrain_height(spot, spot, high)) + PLAYER_HALF_HEIGHT);
        const float lowest =
            static_cast<float>(highest_under(spot, spot, low)) + PLAYER_HALF_HEIGHT + PLAYER_SPAWN_MARGIN;
        EXPECT_EQ(player_safe_spawn_y(at, 105.0f, at, low), std::max(105.0f, lowest));
    }
}

TEST_F(PlayerWorld, PlayerPutAtEachSpotStandsOnTheGeneratedSurface) {
    const uint64_t seed = seed_with_surface(0, 0, 105, true);
    ASSERT_NE(seed, 0u);
    for (int cx = -1; cx <= 0; cx++)
        for (int cz = -1; cz <= 0; cz++)
            for (int cy = 0; cy <= 2; cy++) world_generate_chunk(add_chunk(cx, cy, cz), seed);
    const float spots[3][3] = {{8.0f, 20.0f, 8.0f}, {8.0f, 105.0f, 8.0f}, {0.0f, 105.0f, 0.0f}};
    for (const auto& s : spots) {
        SCOPED_TRACE(testing::Message() << s[0] << ", " << s[1] << ", " << s[2]);
        const float y = player_safe_spawn_y(s[0], s[1], s[2], seed);
        PlayerPtr p = make_player(s[0], y, s[2]);
        EXPECT_FALSE(collides(p.get()));
        frames(p.get(), 120);
        EXPECT_TRUE(p->on_ground);
        EXPECT_LE(p->position.y, y);
        EXPECT_FALSE(collides(p.get()));
    }
}

}  // namespace

// The player body: input, collision against a World built in the test, the sneak edge guard and long frames.
#include "player.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>
#include <tuple>

#include "play_world_fixture.h"

namespace {

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

// Keys, the right vector, flying (and allowed to); the horizontal speed and each velocity component that is not NAN.
TEST(PlayerInput, SpeedFollowsTheGaitTheViewAndFlight) {
    using Case = std::tuple<const char*, Vector3, bool, float, Vector3>;
    const Case cases[] = {
        {"frc", RIGHT_X, false, 8.25f, {NAN, NAN, NAN}},
        {"frsc", RIGHT_X, false, 2.75f, {NAN, NAN, NAN}},  // sneaking wins over sprinting
        {"f", {-1, 0, 0}, false, 5.5f, {NAN, NAN, 5.5f}},  // looking along +Z the right is -X
        {"fblr", {-1, 0, 0}, false, 0.0f, {NAN, NAN, NAN}},
        {"r", {0, 0, 0}, false, 5.5f, {5.5f, NAN, NAN}},  // a degenerate right vector means +X
        {"j", RIGHT_X, true, 0.0f, {NAN, 8.0f, NAN}},
        {"js", RIGHT_X, true, 0.0f, {NAN, -8.0f, NAN}},      // Shift wins over Space in flight
        {"fjsc", RIGHT_X, true, 8.25f, {NAN, -12.0f, NAN}},  // flight knows only the sprint factor
        {"p", RIGHT_X, true, 0.0f, {NAN, NAN, NAN}},         // a quick second tap switches flight where allowed
        {"p", RIGHT_X, false, 0.0f, {NAN, NAN, NAN}}};
    for (const auto& [names, right, flying, speed, want] : cases) {
        PlayerPtr p = make_player(0, 100, 0);
        p->is_flying = flying;
        p->space_press_time = 0.29f;
        const PlayerKeys keys = pressed(names);
        player_apply_input(p.get(), &keys, right, flying);
        EXPECT_NEAR(std::hypot(p->velocity.x, p->velocity.z), speed, 1e-4f) << names;
        const float got[3] = {p->velocity.x, p->velocity.y, p->velocity.z}, expected[3] = {want.x, want.y, want.z};
        for (int axis = 0; axis < 3; axis++)
            EXPECT_TRUE(std::isnan(expected[axis]) || std::fabs(got[axis] - expected[axis]) < 1e-5f) << names;
        EXPECT_EQ(std::pair(p->shifting, p->is_flying), std::pair(keys.shift_held, flying && !keys.jump_pressed))
            << names;
    }
}

using PlayerWorld = PlayWorldTest;

// A one-block floor at y = 64 over a cave floor at 30, ending at x = 16 and z = 16, with a wall at x = 10.
TEST_F(PlayerWorld, CollidesSlidesSneaksOnTheEdgeAndRunsLongFramesAsShortSteps) {
    // Physics of the frame, then input for the next one, as the loop runs them; returns how many jumps began.
    const auto frames = [&](Player* p, int n, const PlayerKeys* keys = nullptr) {
        int jumps = 0;
        for (int i = 0; i < n; i++) {
            player_update(p, world_, 1.0f / 60.0f, false);
            if (keys) player_apply_input(p, keys, RIGHT_X, false);
            jumps += p->velocity.y == PLAYER_JUMP_VELOCITY;
        }
        return jumps;
    };
    slab(0, 15, 64, 0, 15, BLOCK_STONE);
    slab(0, 15, 30, 0, 15, BLOCK_STONE);
    for (int y = 65; y <= 67; y++) slab(10, 10, y, 0, 15, BLOCK_STONE);
    // Unit boxes touching the wall's faces or the floor's top do not collide; overlapping by 0.01 does.
    const float boxes[][3] = {
        {9.5f, 66.5f, 0}, {11.5f, 66.5f, 0}, {5.5f, 65.5f, 0}, {9.51f, 66.5f, 1}, {5.5f, 65.49f, 1}};
    for (const auto& [x, y, hit] : boxes)
        EXPECT_EQ(world_check_collision_box(world_, Vector3{x, y, 2.5f}, 1.0f, 1.0f, 1.0f), hit != 0) << x << "," << y;
    PlayerPtr p = make_player(8.5f, 67.0f, 4.5f);
    frames(p.get(), 90);
    EXPECT_TRUE(p->on_ground && p->position.y >= 65.0f + PLAYER_HALF_HEIGHT && p->position.y < 65.97f) << p->position.y;

    PlayerKeys keys = pressed("j");
    EXPECT_GE(frames(p.get(), 150, &keys), 3) << "a jump lasts 0.68 s; 2.5 s of holding Space gives at least three";
    keys.jump_held = false;
    frames(p.get(), 90, &keys);
    for (int i = 0; i < 60; i++) {
        p->velocity.x = p->velocity.z = 3.0f;
        frames(p.get(), 1);
    }
    // Against the wall, slid along it, and the wall does not zero the velocity.
    EXPECT_TRUE(p->position.x + PLAYER_WIDTH / 2.0f <= 10.0f && p->position.x > 9.6f) << p->position.x;
    EXPECT_TRUE(std::fabs(p->position.z - 7.5f) < 0.1f && p->velocity.x == 3.0f) << p->position.z;

    const float rest = p->position.y;
    p->no_clip = p->is_flying = true;
    frames(p.get(), 30);
    EXPECT_EQ(p->position.y, rest);
    p->is_flying = false;
    frames(p.get(), 60);
    EXPECT_TRUE(p->position.y < 60.0f && !p->on_ground);

    // Sneaking into the corner may lean out over both edges while a sample still finds the floor, and still jumps.
    PlayerPtr sneak = make_player(15.2f, 66.0f, 15.2f);
    frames(sneak.get(), 90);
    keys = pressed("srb");
    frames(sneak.get(), 120, &keys);
    const Vector3 at = sneak->position;
    EXPECT_TRUE(at.x > 16.0f && at.x < 16.3f && at.z > 16.0f && at.z < 16.3f && sneak->on_ground)
        << at.x << "," << at.z;
    keys.jump_held = true;
    EXPECT_EQ(frames(sneak.get(), 2, &keys), 1) << "the guard does not hold a jump down";

    PlayerPtr fast = make_player(8.5f, 67.0f, 8.5f);
    fast->velocity.y = -50.0f;
    player_update(fast.get(), world_, 0.5f, false);
    EXPECT_TRUE(fast->on_ground && fast->position.y >= 65.0f + PLAYER_HALF_HEIGHT) << fast->position.y;
    EXPECT_EQ(fast->prev_position.y, 67.0f) << "prev_position is where the frame began";

    PlayerPtr whole = make_player(8.5f, 500.0f, 8.5f), steps = make_player(8.5f, 500.0f, 8.5f);
    whole->velocity = steps->velocity = Vector3{2.0f, 3.0f, -1.0f};
    player_update(whole.get(), world_, 0.3f, false);
    for (int i = 0; i < 6; i++) player_update(steps.get(), world_, 0.3f / 6.0f, false);
    EXPECT_EQ(std::tuple(whole->position.x, whole->position.y, whole->velocity.y),
              std::tuple(steps->position.x, steps->position.y, steps->velocity.y));

    whole->is_flying = true;  // the fall speed is limited even in flight
    whole->velocity.y = -80.0f;
    frames(whole.get(), 1);
    EXPECT_EQ(whole->velocity.y, PLAYER_FALL_LIMIT);
}

}  // namespace

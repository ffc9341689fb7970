// Face shading and light, the back-face test, fog and cut, the frustum, the placement overlap and the camera.
#include "rendering.h"

#include <gtest/gtest.h>

#include <array>
#include <memory>
#include <tuple>

#include "game.h"
#include "player.h"

namespace {

std::array<int, 4> rgba(Color c) {
    return {c.r, c.g, c.b, c.a};
}

TEST(Rendering, FacesShadeAndCullAndFogAndCutFollowTheRenderDistance) {
    const float shading[6] = {0.85f, 0.85f, 1.0f, 0.6f, 0.9f, 0.8f};
    const Vector3 above = {0.0f, 3.0f, 0.0f}, level = {2.0f, 0.0f, -1.0f};  // level: neither top nor bottom
    const bool towards_level[6] = {true, false, false, false, false, true};
    for (int face = 0; face < 6; face++) {
        EXPECT_NEAR(render_face_brightness(face, 15), shading[face], 1e-6f) << face;
        EXPECT_NEAR(render_face_brightness(face, 0), 0.3f * shading[face], 1e-6f) << face;
        EXPECT_EQ(render_face_towards(face, above), face == 2) << face;
        EXPECT_EQ(render_face_towards(face, level), towards_level[face]) << face;
    }
    EXPECT_EQ(rgba(render_face_color(Color{100, 200, 255, 77}, 3, 0)), (std::array{18, 36, 45, 77}))
        << "channels truncate, alpha stays";
    EXPECT_FLOAT_EQ(render_fog_factor(6.5f, 10.0f), 0.125f);
    EXPECT_EQ(render_fog_factor(6.0f, 10.0f), 0.0f) << "no fog exactly at the fog start";
    EXPECT_EQ(render_fog_factor(20.0f, 10.0f), 1.0f);
    EXPECT_TRUE(render_block_in_range(7.4f * 7.4f, 10.0f));
    EXPECT_FALSE(render_block_in_range(7.6f * 7.6f, 10.0f));
    EXPECT_EQ(rgba(render_apply_fog(Color{200, 100, 50, 255}, 0.125f)), (std::array{187, 111, 75, 255}));
}

TEST(RenderingFrustum, DropsOnlyBlocksWhollyOutsideTheViewAndTheCameraFollowsTheLook) {
    // Looking along +X, 45 degrees up to the top edge (y = x) and 1.5 times that across; the camera's right is +Z.
    const RenderFrustum f = render_frustum_make(Camera3D{{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, 90.0f, 0}, 1.5f);
    const std::pair<Vector3, bool> spheres[] = {
        {{10, 0, 0}, true},     {{-10, 0, 0}, false},  {{-0.5f, 0, 0}, true},  // reaches past the eye
        {{10, 10.5f, 0}, true},                                                // straddles the top edge
        {{10, 12, 0}, false},   {{10, -12, 0}, false}, {{10, 0, 14.5f}, true},
        {{10, 0, 17}, false},   {{10, 0, -17}, false}};
    for (const auto& [centre, inside] : spheres)
        EXPECT_EQ(render_frustum_sphere(&f, centre, 0.87f), inside) << centre.x << " " << centre.y << " " << centre.z;

    GameState game = {};
    Vector3 forward = {}, right = {};
    game_move_vectors(&game, &forward, &right);
    EXPECT_EQ(std::tuple(right.x, right.z, forward.x, forward.z), std::tuple(-1.0f, 0.0f, 0.0f, -1.0f));
    std::unique_ptr<Player, decltype(&player_free)> player(player_create(3.0f, 70.0f, -4.0f), player_free);
    game.player = player.get();
    game.look.forward = Vector3{0.0f, 0.0f, 1.0f};
    game_build_camera(&game);
    EXPECT_EQ(std::pair(game.look.camera.position.y, game.look.camera.target.z), std::pair(70.7f, -3.0f));
}

// Height and a circle of clearance decide overlap: (6, 69, 6) is 0.7 off on both axes, inside a square but not it.
TEST(PlayerPlacement, CircleAndHeightDecideOverlap) {
    const std::tuple<int, int, int, bool> blocks[] = {
        {5, 68, 5, true}, {5, 70, 5, false}, {5, 67, 5, false}, {6, 69, 6, false}};
    for (const auto& [x, y, z, overlaps] : blocks)
        EXPECT_EQ(player_overlaps_block(Vector3{5.8f, 70.0f, 5.8f}, x, y, z), overlaps) << x << "," << y << "," << z;
}

}  // namespace

// Face shading and light, the back-face test, distance fog and cut, the
// fixed-step raycast, the placement overlap test and the camera vectors.
#include "rendering.h"

#include <gtest/gtest.h>

#include <cmath>

#include "game.h"
#include "play_world_fixture.h"
#include "player.h"

namespace {

bool same_color(Color a, Color b) {
    return a.r == b.r && a.g == b.g && a.b == b.b && a.a == b.a;
}

TEST(RenderingFaces, BottomFaceInFullLightKeepsItsShading) {
    const Color drawn = render_face_color(Color{200, 100, 50, 255}, 3, 15);
    EXPECT_TRUE(same_color(drawn, Color{120, 60, 30, 255}))
        << static_cast<int>(drawn.r) << "," << static_cast<int>(drawn.g) << "," << static_cast<int>(drawn.b);
}

TEST(RenderingFaces, BrightnessRunsFromThirtyPercentToTheFaceShading) {
    const float shading[6] = {0.85f, 0.85f, 1.0f, 0.6f, 0.9f, 0.8f};
    for (int face = 0; face < 6; face++) {
        EXPECT_NEAR(render_face_brightness(face, 15), shading[face], 1e-6f) << face;
        EXPECT_NEAR(render_face_brightness(face, 0), 0.3f * shading[face], 1e-6f) << face;
    }
    EXPECT_NEAR(render_face_brightness(3, 0), 0.18f, 1e-6f);
    EXPECT_NEAR(render_face_brightness(4, 5), 5 * 0.042f + 0.27f, 1e-6f);
    const Color cave = render_face_color(Color{100, 200, 255, 77}, 3, 0);
    EXPECT_TRUE(same_color(cave, Color{18, 36, 45, 77})) << "channels truncate, alpha stays";
}

TEST(RenderingFaces, OnlyFacesTurnedTowardsTheCameraAreDrawn) {
    const Vector3 above = {0.0f, 3.0f, 0.0f};
    for (int face = 0; face < 6; face++) EXPECT_EQ(render_face_towards(face, above), face == 2) << face;
    const Vector3 level = {2.0f, 0.0f, -1.0f};  // level with the centre: neither top nor bottom
    EXPECT_FALSE(render_face_towards(2, level));
    EXPECT_FALSE(render_face_towards(3, level));
    EXPECT_TRUE(render_face_towards(0, level));
    EXPECT_TRUE(render_face_towards(5, level));
    EXPECT_FALSE(render_face_towards(4, level));
}

TEST(RenderingFog, FogAndCutFollowTheRenderDistance) {
    EXPECT_FLOAT_EQ(render_fog_factor(6.5f, 10.0f), 0.125f);
    EXPECT_EQ(render_fog_factor(6.0f, 10.0f), 0.0f) << "no fog exactly at the fog start";
    EXPECT_EQ(render_fog_factor(20.0f, 10.0f), 1.0f);
    EXPECT_TRUE(render_block_in_range(7.4f * 7.4f, 10.0f));
    EXPECT_FALSE(render_block_in_range(7.6f * 7.6f, 10.0f));
    EXPECT_NEAR(render_fog_factor(0.75f * 50.0f, 50.0f), 0.375f, 1e-6f) << "fog never completes inside the cut";
}

TEST(RenderingFog, FogBlendsTowardsTheSkyColour) {
    const Color base = {200, 100, 50, 255};
    EXPECT_TRUE(same_color(render_apply_fog(base, 0.0f), base));
    EXPECT_TRUE(same_color(render_apply_fog(base, 0.125f), Color{187, 111, 75, 255}));
    EXPECT_TRUE(same_color(render_apply_fog(base, 1.0f), Color{102, 191, 255, 255}));
}

TEST(RenderingFrustum, DropsOnlyBlocksWhollyOutsideTheView) {
    Camera3D camera = {};
    camera.position = Vector3{0.0f, 0.0f, 0.0f};
    camera.target = Vector3{1.0f, 0.0f, 0.0f};  // looking along +X
    camera.up = Vector3{0.0f, 1.0f, 0.0f};
    camera.fovy = 90.0f;
    const RenderFrustum f = render_frustum_make(camera, 1.5f);
    EXPECT_TRUE(render_frustum_sphere(&f, Vector3{10.0f, 0.0f, 0.0f}, 0.87f));
    EXPECT_FALSE(render_frustum_sphere(&f, Vector3{-10.0f, 0.0f, 0.0f}, 0.87f)) << "behind";
    EXPECT_TRUE(render_frustum_sphere(&f, Vector3{-0.5f, 0.0f, 0.0f}, 0.87f)) << "reaches past the eye";
    // Vertical half angle 45 degrees: y = x is the top edge.
    EXPECT_TRUE(render_frustum_sphere(&f, Vector3{10.0f, 10.5f, 0.0f}, 0.87f)) << "straddles the top edge";
    EXPECT_FALSE(render_frustum_sphere(&f, Vector3{10.0f, 12.0f, 0.0f}, 0.87f));
    EXPECT_FALSE(render_frustum_sphere(&f, Vector3{10.0f, -12.0f, 0.0f}, 0.87f));
    // Horizontal half width is 1.5 times the vertical one; the camera's right is +Z here.
    EXPECT_TRUE(render_frustum_sphere(&f, Vector3{10.0f, 0.0f, 14.5f}, 0.87f));
    EXPECT_FALSE(render_frustum_sphere(&f, Vector3{10.0f, 0.0f, 17.0f}, 0.87f));
    EXPECT_FALSE(render_frustum_sphere(&f, Vector3{10.0f, 0.0f, -17.0f}, 0.87f));
}

class RenderingRaycast : public PlayWorldTest {
protected:
    static Camera3D looking(Vector3 from, Vector3 dir) {
        Camera3D camera = {};
        camera.position = from;
        camera.target = Vector3{from.x + dir.x, from.y + dir.y, from.z + dir.z};
        camera.up = Vector3{0.0f, 1.0f, 0.0f};
        camera.fovy = 90.0f;
        return camera;
    }
    int out[6] = {-7, -7, -7, -7, -7, -7};
    bool cast(Camera3D camera, float reach) {
        return raycast_block(world_, camera, reach, &out[0], &out[1], &out[2], &out[3], &out[4], &out[5]);
    }
};

TEST_F(RenderingRaycast, StraightDownHitsTheBlockAndReportsTheCellAbove) {
    put(5, 64, 5, BLOCK_GRASS);
    ASSERT_TRUE(cast(looking(Vector3{5.5f, 66.7f, 5.5f}, Vector3{0.0f, -1.0f, 0.0f}), 10.0f));
    EXPECT_EQ(out[0], 5);
    EXPECT_EQ(out[1], 64);
    EXPECT_EQ(out[2], 5);
    EXPECT_EQ(out[3], 5);
    EXPECT_EQ(out[4], 65);
    EXPECT_EQ(out[5], 5);
}

TEST_F(RenderingRaycast, MissLeavesTheOutputsAlone) {
    put(5, 64, 5, BLOCK_GRASS);
    EXPECT_FALSE(cast(looking(Vector3{5.5f, 66.7f, 5.5f}, Vector3{0.0f, 1.0f, 0.0f}), 10.0f));
    EXPECT_FALSE(cast(looking(Vector3{5.5f, 80.0f, 5.5f}, Vector3{0.0f, -1.0f, 0.0f}), 10.0f)) << "out of reach";
    for (int v : out) EXPECT_EQ(v, -7);
}

TEST_F(RenderingRaycast, CameraInsideABlockHitsAtOnceAndZeroReachLooksNothingUp) {
    put(5, 64, 5, BLOCK_STONE);
    const Camera3D inside = looking(Vector3{5.5f, 64.5f, 5.5f}, Vector3{1.0f, 0.0f, 0.0f});
    EXPECT_FALSE(cast(inside, 0.0f));
    for (int v : out) EXPECT_EQ(v, -7);
    ASSERT_TRUE(cast(inside, 10.0f));
    EXPECT_EQ(out[0], out[3]);
    EXPECT_EQ(out[1], out[4]);
    EXPECT_EQ(out[2], out[5]);
}

TEST(PlayerPlacement, CircleAndHeightDecideOverlap) {
    const Vector3 player = {5.5f, 70.0f, 5.5f};
    EXPECT_TRUE(player_overlaps_block(player, 5, 69, 5));
    EXPECT_TRUE(player_overlaps_block(player, 5, 68, 5));
    EXPECT_FALSE(player_overlaps_block(player, 5, 70, 5));
    EXPECT_FALSE(player_overlaps_block(player, 6, 69, 5));
    EXPECT_FALSE(player_overlaps_block(player, 5, 67, 5));
    EXPECT_FALSE(player_overlaps_block(Vector3{5.8f, 70.0f, 5.8f}, 6, 69, 6))
        << "0.7 off on both axes: a circle, not a box";
}

TEST(GameCamera, VectorsAndEyeFollowTheLookAngles) {
    GameState game = {};
    game.look.yaw = 0.0f;
    Vector3 forward = {}, right = {};
    game_move_vectors(&game, &forward, &right);
    EXPECT_NEAR(right.x, -1.0f, 1e-6f);
    EXPECT_NEAR(right.z, 0.0f, 1e-6f);
    EXPECT_NEAR(forward.z, -1.0f, 1e-6f);

    Player* player = player_create(3.0f, 70.0f, -4.0f);
    ASSERT_NE(player, nullptr);
    game.player = player;
    game.look.forward = Vector3{0.0f, 0.0f, 1.0f};
    game_build_camera(&game);
    EXPECT_FLOAT_EQ(game.look.camera.position.y, 70.7f);
    EXPECT_FLOAT_EQ(game.look.camera.target.z, -3.0f);
    player_free(player);
}

}  // namespace

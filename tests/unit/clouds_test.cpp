// Which cloud tiles surround the camera, and the layer's drift; nothing here draws.
#include "clouds.h"

#include <gtest/gtest.h>

namespace {

TEST(Clouds, TilesAroundTheCameraTileUseFloorAndTheRenderOffset) {
    struct Case {
        float camera;
        int delta;
        float offset, origin;
    };
    const Case cases[] = {{511.9f, -1, 0.0f, -512.0f}, {511.9f, 1, 0.0f, 512.0f},
                          {512.0f, -1, 0.0f, 0.0f},    {512.0f, 1, 0.0f, 1024.0f},
                          {-0.5f, 0, 0.0f, -512.0f},   {1000.3f, 0, 1000.0f, 512.0f - 1000.0f},
                          {200.0f, 1, 200.0f, 312.0f}};
    for (const Case& c : cases) EXPECT_EQ(clouds_tile_origin(c.camera, c.delta, c.offset), c.origin) << c.camera;
    EXPECT_EQ(clouds_tile_index(511.9f), 0);
    EXPECT_EQ(clouds_tile_index(512.0f), 1);
    EXPECT_EQ(clouds_tile_index(-0.5f), -1);
}

TEST(Clouds, DriftFollowsThePlayerAndEveryCallAcceptsNull) {
    CloudSystem* clouds = clouds_create(nullptr);
    ASSERT_NE(clouds, nullptr);
    EXPECT_FALSE(clouds->texture_loaded);
    EXPECT_GT(clouds->cloud_height, 256.0f) << "above the highest block";
    clouds_update(clouds, Vector3{640.0f, 70.0f, -128.0f});
    EXPECT_FLOAT_EQ(clouds->grid_offset.x, 1.0f);
    EXPECT_FLOAT_EQ(clouds->grid_offset.y, -0.2f);
    clouds_reset(clouds);
    EXPECT_EQ(clouds->grid_offset.x, 0.0f);
    clouds_draw(clouds, Vector3{}, Vector3{});  // no image: draws nothing, touches no GL state
    clouds_free(clouds);
    clouds_update(nullptr, Vector3{1, 2, 3});
    clouds_reset(nullptr);
    clouds_draw(nullptr, Vector3{}, Vector3{});
    clouds_free(nullptr);
}

}  // namespace

// The cloud tiles around the camera and the layer's drift; nothing here draws.
#include "clouds.h"

#include <gtest/gtest.h>

namespace {

// Tiles are found with floor, so the tile of a camera just below zero is -1, not 0.
TEST(Clouds, TilesFollowTheCameraWithFloorAndDriftFollowsThePlayer) {
    struct Case {
        float camera;
        int delta;
        float offset, origin;
    };
    const Case cases[] = {{511.9f, 1, 0.0f, 512.0f},
                          {512.0f, -1, 0.0f, 0.0f},
                          {-0.5f, 0, 0.0f, -512.0f},
                          {1000.3f, 0, 1000.0f, 512.0f - 1000.0f}};
    for (const Case& c : cases) EXPECT_EQ(clouds_tile_origin(c.camera, c.delta, c.offset), c.origin) << c.camera;
    EXPECT_EQ(clouds_tile_index(-0.5f), -1);
    CloudSystem* clouds = clouds_create(nullptr);
    ASSERT_NE(clouds, nullptr);
    clouds_update(clouds, Vector3{640.0f, 70.0f, -128.0f});
    EXPECT_EQ(std::pair(clouds->grid_offset.x, clouds->grid_offset.y), std::pair(1.0f, -0.2f));
    clouds_reset(clouds);
    EXPECT_EQ(clouds->grid_offset.x, 0.0f);
    clouds_draw(clouds, Vector3{}, Vector3{});  // no image: draws nothing
    clouds_free(clouds);
    clouds_free(nullptr);
}

}  // namespace

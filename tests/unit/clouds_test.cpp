// Cloud tile arithmetic and the layer record; nothing here draws.
#include "clouds.h"

#include <gtest/gtest.h>

namespace {

TEST(CloudsTiles, TileUnderTheCameraUsesFloor) {
    EXPECT_EQ(clouds_tile_index(511.9f), 0);
    EXPECT_EQ(clouds_tile_index(512.0f), 1);
    EXPECT_EQ(clouds_tile_index(-0.5f), -1);
}

TEST(CloudsTiles, ThreeTilesSpanAroundTheCameraTile) {
    EXPECT_EQ(clouds_tile_origin(511.9f, -1, 0.0f), -512.0f);
    EXPECT_EQ(clouds_tile_origin(511.9f, 1, 0.0f) + CLOUD_TILE_SIZE, 1024.0f);
    EXPECT_EQ(clouds_tile_origin(512.0f, -1, 0.0f), 0.0f);
    EXPECT_EQ(clouds_tile_origin(512.0f, 1, 0.0f) + CLOUD_TILE_SIZE, 1536.0f);
    EXPECT_EQ(clouds_tile_origin(-0.5f, 0, 0.0f), -512.0f);
}

TEST(CloudsTiles, RenderOffsetShiftsEveryTile) {
    EXPECT_EQ(clouds_tile_origin(1000.3f, 0, 1000.0f), 512.0f - 1000.0f);
    EXPECT_EQ(clouds_tile_origin(200.0f, 1, 200.0f), 512.0f - 200.0f);
}

TEST(CloudsLayer, CreateUpdateResetAndFree) {
    CloudSystem* clouds = clouds_create(nullptr);
    ASSERT_NE(clouds, nullptr);
    EXPECT_EQ(clouds->cloud_height, 300.0f);
    EXPECT_EQ(clouds->cloud_spacing, 64.0f);
    EXPECT_EQ(clouds->grid_size, 12);
    EXPECT_FALSE(clouds->texture_loaded);
    clouds_update(clouds, Vector3{640.0f, 70.0f, -128.0f});
    EXPECT_FLOAT_EQ(clouds->grid_offset.x, 1.0f);
    EXPECT_FLOAT_EQ(clouds->grid_offset.y, -0.2f);
    clouds_reset(clouds);
    EXPECT_EQ(clouds->grid_offset.x, 0.0f);
    clouds_draw(clouds, Vector3{0, 0, 0}, Vector3{0, 0, 0});  // no image: draws nothing, touches no GL state
    clouds_free(clouds);
    clouds_update(nullptr, Vector3{1, 2, 3});
    clouds_reset(nullptr);
    clouds_draw(nullptr, Vector3{}, Vector3{});
    clouds_free(nullptr);
}

}  // namespace

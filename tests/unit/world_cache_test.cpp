// Blocks, chunk records, the chunk cache and its index, block access and editing.
#include <gtest/gtest.h>

#include <map>
#include <random>
#include <tuple>

#include "temp_world_fixture.h"
#include "world.h"

namespace {

using WorldCacheTest = TempWorldTest;

// After random appends and removals up to capacity every record left is found through the index, with its blocks.
TEST_F(WorldCacheTest, IndexFollowsRandomRemovalsUpToCapacity) {
    std::mt19937 rng(99);
    std::map<std::tuple<int, int, int>, int> marker;
    testing::internal::CaptureStdout();
    for (int step = 0; step < 3000; step++) {
        const auto key = std::tuple(int(rng() % 24) - 12, int(rng() % 5) - 2, int(rng() % 24) - 12);
        if (rng() % 3 != 0) {
            Chunk* c = world_load_or_create_chunk(world_, std::get<0>(key), std::get<1>(key), std::get<2>(key));
            if (marker.emplace(key, step + 100).second) c->blocks[1][2][3].type = static_cast<BlockType>(step + 100);
        } else if (count() > 0) {
            const int victim = static_cast<int>(rng() % static_cast<unsigned>(count()));
            marker.erase({at(victim)->chunk_x, at(victim)->chunk_y, at(victim)->chunk_z});
            world_remove_chunk_at(world_, victim);
        }
    }
    for (int i = 0; count() < CHUNK_CACHE_CAPACITY; i++) {
        marker.emplace(std::tuple(100 + i, 0, 0), BLOCK_AIR);
        world_load_or_create_chunk(world_, 100 + i, 0, 0);
    }
    testing::internal::GetCapturedStdout();
    testing::internal::CaptureStderr();
    EXPECT_EQ(world_load_or_create_chunk(world_, 0, 9, 0), nullptr);
    world_set_block(world_, 0, 9 * 64, 0, BLOCK_STONE);
    EXPECT_NE(testing::internal::GetCapturedStderr().find("Chunk cache overflow"), std::string::npos);
    ASSERT_EQ(static_cast<size_t>(count()), marker.size());
    for (const auto& [key, value] : marker) {
        const Chunk* c = get(std::get<0>(key), std::get<1>(key), std::get<2>(key));
        ASSERT_NE(c, nullptr);
        EXPECT_EQ(c->blocks[1][2][3].type, value);
    }
}

// An edit on a chunk face remeshes the loaded neighbour at once, showing the face toward the hole.
TEST_F(WorldCacheTest, ReadsCreateNothingEditsRelightOnLightChangesAndRemeshLoadedNeighbours) {
    // Cells outside a chunk are ignored; block reads find their cells below zero too and create no record.
    Chunk* a = add_chunk(-1, -2, -1);
    for (const auto& p : {std::tuple(-1, 0, 0), {32, 0, 0}, {0, 64, 0}, {0, -1, 0}, {0, 0, 32}, {0, 0, INT32_MIN}}) {
        world_chunk_set_block(a, std::get<0>(p), std::get<1>(p), std::get<2>(p), BLOCK_STONE);
        EXPECT_EQ(world_chunk_get_block(a, std::get<0>(p), std::get<1>(p), std::get<2>(p)), BLOCK_AIR);
    }
    EXPECT_FALSE(a->modified);
    a->blocks[63][0][31].type = BLOCK_WOOD;
    EXPECT_EQ(world_get_block(world_, -1, -65, -32), BLOCK_WOOD);
    EXPECT_EQ(world_get_block_or_solid(world_, -1, -65, -32), BLOCK_WOOD);
    EXPECT_EQ(world_get_block(world_, 0, 70, 0), BLOCK_AIR);
    EXPECT_EQ(world_get_block_or_solid(world_, 0, 70, 0), BLOCK_STONE);
    EXPECT_EQ(count(), 1);
    for (int cx = 0; cx < 3; cx++) fill_chunk(add_chunk(cx, 0, 0, cx != 2), BLOCK_STONE);
    // Each edit follows the one before; only the first (stone to dirt) leaves the light as it was.
    const int edits[] = {BLOCK_DIRT, BLOCK_AIR, BLOCK_GLOWSTONE, BLOCK_STONE, BLOCK_AIR, 9};  // 9: unknown, not air
    Chunk* east = get(2, 0, 0);  // out of play: the worker never relights it under the test
    for (int i = 0; i < 6; i++) {
        east->modified = east->needs_relighting = false;
        world_set_block(world_, 74, 10, 10, static_cast<BlockType>(edits[i]));
        EXPECT_TRUE(east->modified && east->meshed);  // rebuilt on the editing thread
        EXPECT_EQ(east->needs_relighting.load(), i > 0) << i;
    }
    fill_chunk(add_chunk(1, 1, 0), BLOCK_STONE);
    world_set_block(world_, 32, 5, 5, BLOCK_AIR);   // local x = 0 of chunk 1
    world_set_block(world_, 40, 63, 5, BLOCK_AIR);  // its top layer
    for (Chunk* neighbour : {get(0, 0, 0), get(1, 1, 0)})
        EXPECT_EQ(active_entries(neighbour), reference_list(neighbour, world_));
}

}  // namespace

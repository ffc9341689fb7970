// Blocks, chunk records, the chunk cache and its index, block access and editing.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>
#include <string>
#include <tuple>

#include "temp_world_fixture.h"
#include "world.h"

namespace {

class WorldCacheTest : public TempWorldTest {
protected:
    void SetUp() override {
        TempWorldTest::SetUp();
        world_->seed = 1234;
    }
};

TEST(WorldCoordinates, FloorDivisionAtNegativeCoordinates) {
    const int xs[][3] = {{31, 0, 31}, {32, 1, 0}, {-1, -1, 31}, {-32, -1, 0}, {-33, -2, 31}};
    for (const auto& c : xs) {
        EXPECT_EQ(world_to_chunk_xz(c[0]), c[1]) << c[0];
        EXPECT_EQ(world_to_local_xz(c[0]), c[2]) << c[0];
    }
    const int ys[][3] = {{-1, -1, 63}, {64, 1, 0}, {-64, -1, 0}, {63, 0, 63}, {-65, -2, 63}};
    for (const auto& c : ys) {
        EXPECT_EQ(world_to_chunk_y(c[0]), c[1]) << c[0];
        EXPECT_EQ(world_to_local_y(c[0]), c[2]) << c[0];
    }
}

// Unknown values have no colour; textures are absent until loaded.
TEST(WorldBlocks, UnknownValuesAndMissingTexturesReadAsNothing) {
    EXPECT_EQ(world_get_block_color(static_cast<BlockType>(8)).a, 0);
    World* w = world_create();
    EXPECT_EQ(world_get_block_texture(w, BLOCK_STONE).id + world_get_block_texture(nullptr, BLOCK_STONE).id, 0u);
    w->textures.textures_loaded = true;
    w->textures.stone_texture.id = 7;
    EXPECT_EQ(world_get_block_texture(w, BLOCK_STONE).id, 7u);
    EXPECT_EQ(world_get_block_texture(w, BLOCK_GLOWSTONE).id, 0u);
    w->textures.textures_loaded = false;
    world_unload_textures(w);  // nothing loaded: must not touch the graphics library
    world_free(w);
}

TEST_F(WorldCacheTest, ChunkAccessorsIgnoreOutOfRangeCells) {
    Chunk* c = world_load_or_create_chunk(world_, 0, 0, 0);
    c->blocks[63][31][31].type = BLOCK_SAND;
    EXPECT_EQ(world_chunk_get_block(c, 31, 63, 31), BLOCK_SAND);
    const int bad[][3] = {{-1, 0, 0}, {32, 0, 0}, {0, 64, 0}, {0, -1, 0}, {0, 0, 32}, {0, 0, -2147483647 - 1}};
    for (const auto& p : bad) {
        EXPECT_EQ(world_chunk_get_block(c, p[0], p[1], p[2]), BLOCK_AIR);
        world_chunk_set_block(c, p[0], p[1], p[2], BLOCK_STONE);
    }
    EXPECT_FALSE(c->modified);
    world_chunk_set_block(c, 0, 0, 0, BLOCK_STONE);
    EXPECT_TRUE(c->modified);
    EXPECT_EQ(world_chunk_get_block(c, 0, 0, 0), BLOCK_STONE);
}

// A new record is fresh and found again without a second read; block reads
// find the right chunk and cell and never create records.
TEST_F(WorldCacheTest, RecordsAreCreatedOnceAndReadsFindTheirCells) {
    testing::internal::CaptureStdout();
    Chunk* a = world_load_or_create_chunk(world_, 3, -1, -7);
    Chunk* b = world_load_or_create_chunk(world_, 3, -1, -7);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "[chunk_load] Chunk not found: ./worlds/default/chunks/chunk_3_-1_-7.chunk (will stay as air)\n");
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a, b);
    EXPECT_EQ(count(), 1);
    EXPECT_TRUE(!a->loaded && !a->generated && !a->modified && a->needs_relighting && !a->in_use_count);
    EXPECT_EQ(get(3, -1, -6), nullptr);

    add_chunk(-1, 1, -1)->blocks[6][31][31].type = BLOCK_WOOD;
    EXPECT_EQ(world_get_block(world_, -1, 70, -1), BLOCK_WOOD);
    EXPECT_EQ(world_get_block(world_, 0, 70, 0), BLOCK_AIR);
    EXPECT_EQ(world_get_block_or_solid(world_, 0, 70, 0), BLOCK_STONE);
    EXPECT_EQ(world_get_block_or_solid(world_, -1, 70, -1), BLOCK_WOOD);
    EXPECT_EQ(count(), 2);
}

TEST_F(WorldCacheTest, OverflowAtCapacityReturnsNull) {
    testing::internal::CaptureStdout();
    for (int i = 0; i < CHUNK_CACHE_CAPACITY; i++)
        EXPECT_NE(world_load_or_create_chunk(world_, i % 64, 0, i / 64), nullptr) << i;
    testing::internal::GetCapturedStdout();
    testing::internal::CaptureStderr();
    EXPECT_EQ(world_load_or_create_chunk(world_, 1000, 0, 0), nullptr);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "[ERROR] Chunk cache overflow! count=4096, capacity=4096. Preallocated buffer was too small!\n");
    EXPECT_EQ(count(), CHUNK_CACHE_CAPACITY);
    EXPECT_NE(get(63, 0, 63), nullptr);
    world_set_block(world_, 1000 * 32, 5, 0, BLOCK_STONE);  // does nothing when the cache is full
    EXPECT_EQ(count(), CHUNK_CACHE_CAPACITY);
}

// Random appends and removals: every lookup through the index must agree
// with a plain scan of the records in use, and moved records keep their blocks.
TEST_F(WorldCacheTest, IndexAgreesWithScanUnderRandomRemovals) {
    std::mt19937 rng(99);
    std::map<std::tuple<int, int, int>, int> marker;
    testing::internal::CaptureStdout();
    for (int step = 0; step < 3000; step++) {
        const int cx = static_cast<int>(rng() % 24) - 12, cy = static_cast<int>(rng() % 5) - 2,
                  cz = static_cast<int>(rng() % 24) - 12;
        if (rng() % 3 != 0) {
            Chunk* c = world_load_or_create_chunk(world_, cx, cy, cz);
            if (marker.emplace(std::make_tuple(cx, cy, cz), step + 100).second)
                c->blocks[1][2][3].type = static_cast<BlockType>(step + 100);
        } else if (count() > 0) {
            const int victim = static_cast<int>(rng() % static_cast<unsigned>(count()));
            marker.erase({at(victim)->chunk_x, at(victim)->chunk_y, at(victim)->chunk_z});
            world_remove_chunk_at(world_, victim);
        }
    }
    testing::internal::GetCapturedStdout();
    ASSERT_EQ(static_cast<size_t>(count()), marker.size());
    for (int cx = -12; cx < 12; cx++)
        for (int cy = -2; cy < 3; cy++)
            for (int cz = -12; cz < 12; cz++) {
                Chunk* scan = nullptr;
                for (int i = 0; i < count(); i++)
                    if (at(i)->chunk_x == cx && at(i)->chunk_y == cy && at(i)->chunk_z == cz) scan = at(i);
                ASSERT_EQ(get(cx, cy, cz), scan) << cx << "," << cy << "," << cz;
                if (scan) {
                    EXPECT_EQ(scan->blocks[1][2][3].type, marker[std::make_tuple(cx, cy, cz)]);
                }
            }
    for (int i = 0; i < count(); i++) {  // mutexes of moved records are usable
        ASSERT_EQ(pthread_mutex_trylock(&at(i)->mutex), 0);
        pthread_mutex_unlock(&at(i)->mutex);
    }
}

TEST_F(WorldCacheTest, EditFlagsFollowLightProperties) {
    Chunk* c = add_chunk(0, 0, 0, false);  // out of play: the worker never relights it under the test
    const struct {
        BlockType from, to;
        bool relight;
    } cases[] = {
        {BLOCK_STONE, BLOCK_DIRT, false},
        {BLOCK_STONE, BLOCK_AIR, true},
        {BLOCK_AIR, BLOCK_GLOWSTONE, true},
        {BLOCK_STONE, BLOCK_GLOWSTONE, true},
        {BLOCK_AIR, static_cast<BlockType>(9), true},  // unknown values still count as non-air
    };
    for (const auto& k : cases) {
        c->blocks[10][10][10].type = k.from;
        c->modified = false;
        c->needs_relighting = false;
        world_set_block(world_, 10, 10, 10, k.to);
        EXPECT_EQ(c->blocks[10][10][10].type, k.to);
        EXPECT_TRUE(c->modified);
        EXPECT_EQ(c->needs_relighting.load(), k.relight) << k.from << "->" << k.to;
        EXPECT_TRUE(c->meshed);  // rebuilt on the editing thread
    }
}

// An edit on a chunk face remeshes (not relights) the loaded neighbour across
// it, which then shows the face toward the hole; never one out of play.
TEST_F(WorldCacheTest, EditOnChunkFaceRemeshesLoadedNeighbourOnly) {
    for (int cx = 0; cx < 3; cx++) fill_chunk(add_chunk(cx, 0, 0, cx != 2), BLOCK_STONE);
    Chunk* west = get(0, 0, 0);
    west->needs_relighting = false;
    testing::internal::CaptureStdout();
    world_set_block(world_, 32, 5, 5, BLOCK_AIR);  // local x = 0 of chunk 1
    const std::string edge = testing::internal::GetCapturedStdout();
    EXPECT_NE(edge.find("Queued light/mesh job for chunk (1,0,0)"), std::string::npos) << edge;
    EXPECT_NE(edge.find("Queued light/mesh job for chunk (0,0,0)"), std::string::npos) << edge;
    EXPECT_EQ(edge.find("chunk (2,0,0)"), std::string::npos) << edge;
    EXPECT_FALSE(west->needs_relighting);
    EXPECT_EQ(active_entries(west), reference_list(west, world_));
    testing::internal::CaptureStdout();
    world_set_block(world_, 37, 5, 5, BLOCK_AIR);  // local x = 5: only the home chunk
    const std::string middle = testing::internal::GetCapturedStdout();
    EXPECT_EQ(middle.find("chunk (0,0,0)"), std::string::npos) << middle;
    EXPECT_EQ(middle.find("chunk (2,0,0)"), std::string::npos) << middle;
}

}  // namespace

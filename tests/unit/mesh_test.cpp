// Visible-block lists against a block-by-block reference, list growth,
// double-buffered publishing, and edits while the worker lights and meshes.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <random>
#include <vector>

#include "temp_world_fixture.h"
#include "world.h"

namespace {

using MeshTest = TempWorldTest;

// Every cached chunk of each scene is rebuilt and listed like the reference:
// faces toward air need the chunk holding that air to be loaded, unknown
// values are solid, and entries come in y, z, x order.
TEST_F(MeshTest, ScenesMatchTheReference) {
    auto stone_with_holes = [&](bool neighbour_loaded) {
        Chunk* c = add_chunk(0, 0, 0);
        fill_chunk(c, BLOCK_STONE);
        c->blocks[10][10][30].type = c->blocks[11][10][31].type = BLOCK_AIR;
        add_chunk(1, 0, 0, neighbour_loaded)->blocks[10][10][0].type = static_cast<BlockType>(9);
    };
    const struct Scene {
        const char* what;
        int capacity;  // of chunk (0, 0, 0)'s list, where the list must grow
        std::function<void()> build;
    } scenes[] = {
        {"one stone in air", 0, [&] { add_chunk(0, 0, 0)->blocks[20][5][7].type = BLOCK_STONE; }},
        {"faces toward a neighbour out of play", 0, [&] { stone_with_holes(false); }},
        {"faces toward a loaded neighbour, one of its cells unknown", 0, [&] { stone_with_holes(true); }},
        {"solid chunk under a loaded air chunk", 0,
         [&] {
             fill_chunk(add_chunk(0, 0, 0), BLOCK_STONE);
             add_chunk(0, 1, 0);
         }},
        {"chunk out of play hides faces toward its own air", 0,
         [&] {
             add_chunk(0, 0, 0, false)->blocks[63][3][3].type = BLOCK_STONE;
             add_chunk(0, 1, 0);
         }},
        {"3D checkerboard grows the list by doubling", 32768,
         [&] {
             Chunk* c = add_chunk(0, 0, 0);
             for (int i = 0; i < CHUNK_HEIGHT * CHUNK_SIZE * CHUNK_SIZE; i += 2)
                 (&c->blocks[0][0][0])[i + (i / 32 + i / 1024) % 2].type = BLOCK_DIRT;
         }},
        {"generated terrain around chunks loaded, out of play or absent", 0,
         [&] {
             world_->seed = 777;
             for (int cy = 0; cy <= 2; cy++)
                 for (int cz = -1; cz <= 1; cz++)
                     for (int cx = -1; cx <= 1; cx++) {
                         if ((cx == 1 && cy == 1 && cz == 0) || (cx == -1 && cy == 0 && cz == -1)) continue;
                         const bool loaded = !((cx == 0 && cy == 1 && cz == -1) || (cx == -1 && cy == 2 && cz == 0));
                         world_generate_chunk(add_chunk(cx, cy, cz, loaded), world_->seed);
                     }
             for (int y = 0; y < CHUNK_HEIGHT; y++) get(0, 1, 0)->blocks[y][0][9].type = BLOCK_AIR;
             get(0, 1, 0)->blocks[30][16][16].type = static_cast<BlockType>(9);
         }},
    };
    for (const Scene& s : scenes) {
        SCOPED_TRACE(s.what);
        world_clear_chunks(world_);
        s.build();
        for (int i = 0; i < count(); i++) {
            chunk_cache_visible_blocks(at(i), world_);
            ASSERT_NE(at(i)->visible_blocks[at(i)->active_mesh], nullptr);
            EXPECT_EQ(active_entries(at(i)), reference_list(at(i), world_)) << "chunk " << i;
        }
        const Chunk* c = get(0, 0, 0);
        EXPECT_TRUE(!s.capacity || c->visible_capacity[c->active_mesh] == s.capacity);
    }
    // Records that are not the cached record for their coordinates (the last
    // scene caches (0, 1, 0)): their cells must not be taken for the cache's.
    for (const int32_t where : {0, 5}) {
        ChunkPtr copy(chunk_create(where, 1, where));
        copy->loaded = true;
        for (int y = 0; y < 40; y++)
            for (int z = 0; z < CHUNK_SIZE; z++)
                for (int x = 0; x < CHUNK_SIZE; x++) copy->blocks[y][z][x].type = (x + z) % 3 ? BLOCK_STONE : BLOCK_AIR;
        chunk_cache_visible_blocks(copy.get(), world_);
        EXPECT_EQ(active_entries(copy.get()), reference_list(copy.get(), world_)) << "detached at " << where;
    }
    // The reference's own view of the first scene.
    world_clear_chunks(world_);
    scenes[0].build();
    chunk_cache_visible_blocks(get(0, 0, 0), world_);
    EXPECT_EQ(active_entries(get(0, 0, 0)), std::vector<Entry>{(Entry{7, 20, 5, 63, 0})});
}

// Rebuilds alternate between the two lists and leave the other untouched; a
// rebuild that started before the active one is dropped; freeing keeps the index.
TEST_F(MeshTest, RebuildsPublishInTurnAndOlderOnesAreDropped) {
    Chunk* c = add_chunk(0, 0, 0);
    chunk_free_visible_blocks(c);  // never rebuilt
    EXPECT_EQ(c->active_mesh, 0);
    for (int n = 1; n <= 3; n++) {
        c->blocks[n][n][n].type = BLOCK_STONE;
        chunk_cache_visible_blocks(c, world_);
        EXPECT_EQ(c->active_mesh, n % 2);
        EXPECT_EQ(c->visible_count[n % 2], n);
        EXPECT_EQ(c->visible_count[1 - n % 2], n - 1) << "the previous list is untouched";
    }
    const CachedVisibleBlock* list = c->visible_blocks[1];
    const uint32_t ours = c->mesh_builds_started + 1;
    c->mesh_published_build = ours + 1;  // a rebuild numbered after ours published first
    c->blocks[4][4][4].type = BLOCK_STONE;
    chunk_cache_visible_blocks(c, world_);
    EXPECT_TRUE(c->active_mesh == 1 && c->visible_blocks[1] == list && c->visible_count[1] == 3);
    c->mesh_builds_started = ours + 1;
    chunk_cache_visible_blocks(c, world_);
    EXPECT_TRUE(c->active_mesh == 0 && c->visible_count[0] == 4);
    chunk_cache_visible_blocks(c, world_);
    chunk_free_visible_blocks(c);
    EXPECT_EQ(c->active_mesh, 1);
    for (int i = 0; i < 2; i++)
        EXPECT_TRUE(c->visible_blocks[i] == nullptr && c->visible_count[i] == 0 && c->visible_capacity[i] == 0);
    chunk_free_visible_blocks(nullptr);
    chunk_cache_visible_blocks(nullptr, world_);
}

// The main thread edits blocks (inner cells and chunk borders) while the
// worker relights and remeshes the same chunks, and copies active lists the
// way the renderer does. Once the worker is idle, every chunk's light and list
// must match its final blocks.
TEST_F(MeshTest, EditsWhileWorkerLightsAndMeshes) {
    world_->seed = 99;
    for (int cz = -1; cz <= 1; cz++)
        for (int cx = -1; cx <= 1; cx++) world_generate_chunk(add_chunk(cx, 1, cz), world_->seed);
    for (int i = 0; i < count(); i++) worker_queue_chunk(world_, at(i));
    const BlockType cycle[4] = {BLOCK_AIR, BLOCK_STONE, BLOCK_GLOWSTONE, BLOCK_DIRT};
    std::mt19937 rng(12345);
    auto local = [&rng](int size) {  // a border cell half of the time
        const int pick = static_cast<int>(rng() % 4);
        return pick == 0 ? 0 : pick == 1 ? size - 1 : static_cast<int>(rng() % size);
    };
    std::vector<CachedVisibleBlock> copy;
    for (int edit = 0; edit < 50; edit++) {
        const int x = static_cast<int>(rng() % 3) * 32 - 32 + local(32), y = 64 + local(64),
                  z = static_cast<int>(rng() % 3) * 32 - 32 + local(32);
        world_set_block(world_, x, y, z, cycle[edit % 4]);
        Chunk* c = get(world_to_chunk_xz(x), 1, world_to_chunk_xz(z));
        pthread_mutex_lock(&c->mesh_swap_mutex);
        const int m = c->active_mesh;
        copy.assign(c->visible_blocks[m], c->visible_blocks[m] + c->visible_count[m]);
        pthread_mutex_unlock(&c->mesh_swap_mutex);
        for (const CachedVisibleBlock& e : copy)
            ASSERT_TRUE(e.exposed_faces != 0 && e.exposed_faces < 64 && e.x < 32 && e.y < 64 && e.z < 32);
        EXPECT_LE(world_get_skylight(world_, x, y, z), 15);
    }
    worker_flush_queue(world_);
    for (int i = 0; i < count(); i++) {
        Chunk* c = at(i);
        const int active = c->active_light_buffer;
        calculate_chunk_skylight(c, world_, 1 - active);
        calculate_chunk_blocklight(c, world_, 1 - active);
        EXPECT_EQ(memcmp(c->skylight[1 - active], c->skylight[active], sizeof c->skylight[0]), 0) << "chunk " << i;
        EXPECT_EQ(memcmp(c->blocklight[1 - active], c->blocklight[active], sizeof c->blocklight[0]), 0) << i;
        const std::vector<Entry> published = active_entries(c);
        chunk_cache_visible_blocks(c, world_);
        EXPECT_EQ(published, active_entries(c)) << "list of chunk " << i;
    }
}

}  // namespace

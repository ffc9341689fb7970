// Visible-block lists against a block-by-block reference.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "temp_world_fixture.h"

namespace {

using MeshTest = TempWorldTest;

// Scenes lie apart so as not to touch; faces toward air need that air's chunk in play.
TEST_F(MeshTest, ScenesMatchTheReference) {
    const BlockType unknown = static_cast<BlockType>(9);
    for (int32_t cx : {0, 3}) {  // stone with holes next to a neighbour out of play, then a loaded one
        Chunk* c = add_chunk(cx, 0, 0);
        fill_chunk(c, BLOCK_STONE);
        c->blocks[10][10][30].type = c->blocks[11][10][31].type = BLOCK_AIR;
        add_chunk(cx + 1, 0, 0, cx != 0)->blocks[10][10][0].type = unknown;
    }
    fill_chunk(add_chunk(6, 0, 0), BLOCK_STONE);  // solid under a loaded air chunk
    add_chunk(6, 1, 0);
    add_chunk(8, 0, 0, false)->blocks[63][3][3].type = BLOCK_STONE;  // out of play: no faces toward its own air
    add_chunk(8, 1, 0);
    add_chunk(10, 0, 0)->blocks[20][5][7].type = BLOCK_STONE;
    Chunk* checkers = add_chunk(12, 0, 0);  // grows the list by doubling
    for (int i = 0; i < CHUNK_HEIGHT * CHUNK_SIZE * CHUNK_SIZE; i += 2)
        (&checkers->blocks[0][0][0])[i + (i / 32 + i / 1024) % 2].type = BLOCK_DIRT;
    // Generated terrain around chunks loaded, out of play or absent.
    world_->seed = 777;
    for (int cy = 0; cy <= 2; cy++)
        for (int cz = 9; cz <= 11; cz++)
            for (int cx = -1; cx <= 1; cx++) {
                if ((cx == 1 && cy == 1 && cz == 10) || (cx == -1 && cy == 0 && cz == 9)) continue;
                const bool loaded = !((cx == 0 && cy == 1 && cz == 9) || (cx == -1 && cy == 2 && cz == 10));
                world_generate_chunk(add_chunk(cx, cy, cz, loaded), world_->seed);
            }
    for (int y = 0; y < CHUNK_HEIGHT; y++) get(0, 1, 10)->blocks[y][0][9].type = BLOCK_AIR;
    get(0, 1, 10)->blocks[30][16][16].type = unknown;

    for (int i = 0; i < count(); i++) {
        chunk_cache_visible_blocks(at(i), world_);
        EXPECT_EQ(active_entries(at(i)), reference_list(at(i), world_))
            << "chunk " << at(i)->chunk_x << "," << at(i)->chunk_y << "," << at(i)->chunk_z;
    }
    EXPECT_EQ(checkers->visible_capacity[checkers->active_mesh], 32768);
    Chunk* lone = get(10, 0, 0);
    EXPECT_EQ(active_entries(lone), std::vector<Entry>{(Entry{7, 20, 5, 63, 0})}) << "the reference itself";
    // A rebuild numbered up to the one already published read older blocks and is dropped.
    lone->mesh_published_build = lone->mesh_builds_started + 1;
    lone->blocks[1][1][1].type = BLOCK_STONE;
    chunk_cache_visible_blocks(lone, world_);
    EXPECT_EQ(active_entries(lone).size(), 1u);
    chunk_cache_visible_blocks(lone, world_);
    EXPECT_EQ(active_entries(lone).size(), 2u);
    chunk_free_visible_blocks(nullptr);
    chunk_cache_visible_blocks(nullptr, world_);
    // A record that is not the cached one for its coordinates must not be read as if it were.
    for (const int32_t where : {10, 5}) {
        ChunkPtr copy(chunk_create(0, 1, where));
        copy->loaded = true;
        for (int y = 0; y < 40; y++)
            for (int z = 0; z < CHUNK_SIZE; z++)
                for (int x = 0; x < CHUNK_SIZE; x++) copy->blocks[y][z][x].type = (x + z) % 3 ? BLOCK_STONE : BLOCK_AIR;
        chunk_cache_visible_blocks(copy.get(), world_);
        EXPECT_EQ(active_entries(copy.get()), reference_list(copy.get(), world_)) << "detached at " << where;
    }
}

// Edits, half on chunk borders, while the worker relights and remeshes and lists are copied as the
// renderer does; then every list must match the final blocks.
TEST_F(MeshTest, EditsWhileWorkerLightsAndMeshes) {
    world_->seed = 99;
    for (int cz = -1; cz <= 1; cz++)
        for (int cx = -1; cx <= 1; cx++) world_generate_chunk(add_chunk(cx, 1, cz), world_->seed);
    for (int i = 0; i < count(); i++) worker_queue_chunk(world_, at(i));
    const BlockType cycle[4] = {BLOCK_AIR, BLOCK_STONE, BLOCK_GLOWSTONE, BLOCK_DIRT};
    std::mt19937 rng(12345);
    auto local = [&rng](int size) {  // a border cell half of the time
        return static_cast<int>(rng() % 2 ? rng() % size : rng() % 2 * (size - 1));
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
        for (const CachedVisibleBlock& e : copy) ASSERT_TRUE(e.exposed_faces != 0 && e.exposed_faces < 64);
    }
    worker_flush_queue(world_);
    for (int i = 0; i < count(); i++) EXPECT_EQ(active_entries(at(i)), reference_list(at(i), world_)) << "chunk " << i;
}

}  // namespace

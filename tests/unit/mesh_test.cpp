// Visible-block lists against a block-by-block reference, list growth,
// double-buffered publishing, and edits while the worker lights and meshes.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <ostream>
#include <vector>

#include "temp_world_fixture.h"
#include "world.h"

namespace {

struct Entry {
    int x, y, z, faces, light;
    bool operator==(const Entry&) const = default;
};

void PrintTo(const Entry& e, std::ostream* os) {
    *os << "(" << e.x << "," << e.y << "," << e.z << " faces " << e.faces << " light " << e.light << ")";
}

// The rebuild exactly as described: every neighbour through world_get_block,
// and the loaded test through a lookup of the chunk that holds the neighbour.
std::vector<Entry> reference_list(const Chunk* chunk, World* world) {
    const int dirs[6][3] = {{1, 0, 0}, {-1, 0, 0}, {0, 1, 0}, {0, -1, 0}, {0, 0, 1}, {0, 0, -1}};
    std::vector<Entry> out;
    for (int y = 0; y < CHUNK_HEIGHT; y++)
        for (int z = 0; z < CHUNK_SIZE; z++)
            for (int x = 0; x < CHUNK_SIZE; x++) {
                if (world_chunk_get_block(chunk, x, y, z) == BLOCK_AIR) continue;
                const int wx = chunk->chunk_x * 32 + x, wy = chunk->chunk_y * 64 + y, wz = chunk->chunk_z * 32 + z;
                int faces = 0;
                for (int f = 0; f < 6; f++) {
                    const int nx = wx + dirs[f][0], ny = wy + dirs[f][1], nz = wz + dirs[f][2];
                    if (world_get_block(world, nx, ny, nz) != BLOCK_AIR) continue;
                    const Chunk* n =
                        world_get_chunk(world, world_to_chunk_xz(nx), world_to_chunk_y(ny), world_to_chunk_xz(nz));
                    if (n && n->loaded) faces |= 1 << f;
                }
                if (faces) out.push_back(Entry{x, y, z, faces, 0});
            }
    return out;
}

std::vector<Entry> active_entries(const Chunk* c) {
    std::vector<Entry> out;
    const int m = c->active_mesh;
    for (int i = 0; i < c->visible_count[m]; i++) {
        const CachedVisibleBlock& e = c->visible_blocks[m][i];
        out.push_back(Entry{e.x, e.y, e.z, e.exposed_faces, e.light_level});
    }
    return out;
}

using MeshTest = TempWorldTest;

// Every cached chunk of each scene is rebuilt and listed like the reference:
// faces toward air need the chunk holding that air to be loaded, unknown
// values are solid, and entries come in y, z, x order.
TEST_F(MeshTest, ScenesMatchTheReference) {
    const struct Scene {
        const char* what;
        int entries;  // of chunk (0, 0, 0)
        std::function<void()> build;
    } scenes[] = {
        {"one stone in air", 1, [&] { add_chunk(0, 0, 0)->blocks[20][5][7].type = BLOCK_STONE; }},
        {"faces toward a neighbour out of play", -1,
         [&] {
             Chunk* c = add_chunk(0, 0, 0);
             fill_chunk(c, BLOCK_STONE);
             c->blocks[10][10][30].type = c->blocks[11][10][31].type = BLOCK_AIR;
             add_chunk(1, 0, 0, false);
         }},
        {"faces toward a loaded neighbour, one of its cells unknown", -1,
         [&] {
             Chunk* c = add_chunk(0, 0, 0);
             fill_chunk(c, BLOCK_STONE);
             c->blocks[10][10][30].type = c->blocks[11][10][31].type = BLOCK_AIR;
             add_chunk(1, 0, 0)->blocks[10][10][0].type = static_cast<BlockType>(9);
         }},
        {"solid chunk alone", 0, [&] { fill_chunk(add_chunk(0, 0, 0), BLOCK_STONE); }},
        {"solid chunk under a loaded air chunk", 1024,
         [&] {
             fill_chunk(add_chunk(0, 0, 0), BLOCK_STONE);
             add_chunk(0, 1, 0);
         }},
        {"chunk out of play hides faces toward its own air", 1,
         [&] {
             add_chunk(0, 0, 0, false)->blocks[63][3][3].type = BLOCK_STONE;
             add_chunk(0, 1, 0);
         }},
        {"3D checkerboard grows the list by doubling", 32768,
         [&] {
             Chunk* c = add_chunk(0, 0, 0);
             for (int y = 0; y < CHUNK_HEIGHT; y++)
                 for (int z = 0; z < CHUNK_SIZE; z++)
                     for (int x = 0; x < CHUNK_SIZE; x++)
                         if ((x + y + z) % 2 == 0) c->blocks[y][z][x].type = BLOCK_DIRT;
         }},
        {"generated terrain around chunks loaded, out of play or absent", -1,
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
            Chunk* c = &world_->chunk_cache.chunks[i];
            chunk_cache_visible_blocks(c, world_);
            ASSERT_NE(c->visible_blocks[c->active_mesh], nullptr);
            EXPECT_EQ(active_entries(c), reference_list(c, world_)) << "chunk " << i;
        }
        const Chunk* c = get(0, 0, 0);
        if (s.entries >= 0) {
            EXPECT_EQ(c->visible_count[c->active_mesh], s.entries);
        }
        const int capacity = s.entries > VISIBLE_LIST_INITIAL_CAPACITY ? s.entries : VISIBLE_LIST_INITIAL_CAPACITY;
        if (s.entries >= 0) {
            EXPECT_EQ(c->visible_capacity[c->active_mesh], capacity);
        }
    }
    // Records that are not the cached record for their coordinates (the last
    // scene caches (0, 1, 0)): their cells must not be taken for the cache's.
    for (const int32_t at : {0, 5}) {
        ChunkPtr copy(chunk_create(at, 1, at));
        ASSERT_NE(copy, nullptr);
        copy->loaded = true;
        for (int y = 0; y < 40; y++)
            for (int z = 0; z < CHUNK_SIZE; z++)
                for (int x = 0; x < CHUNK_SIZE; x++) copy->blocks[y][z][x].type = (x + z) % 3 ? BLOCK_STONE : BLOCK_AIR;
        chunk_cache_visible_blocks(copy.get(), world_);
        EXPECT_EQ(active_entries(copy.get()), reference_list(copy.get(), world_)) << "detached at " << at;
    }
    chunk_free(nullptr);
    // The reference's own view of the first scene.
    world_clear_chunks(world_);
    scenes[0].build();
    chunk_cache_visible_blocks(get(0, 0, 0), world_);
    EXPECT_EQ(active_entries(get(0, 0, 0))[0], (Entry{7, 20, 5, 63, 0}));
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
        if (n == 1) {
            EXPECT_EQ(c->visible_blocks[0], nullptr);
        }
        if (n > 1) {
            EXPECT_EQ(c->visible_count[1 - n % 2], n - 1) << "the previous list is untouched";
        }
    }
    const CachedVisibleBlock* list = c->visible_blocks[1];
    const uint32_t ours = c->mesh_builds_started + 1;
    c->mesh_published_build = ours + 1;  // a rebuild numbered after ours published first
    c->blocks[4][4][4].type = BLOCK_STONE;
    chunk_cache_visible_blocks(c, world_);
    EXPECT_EQ(c->active_mesh, 1);
    EXPECT_EQ(c->visible_blocks[1], list);
    EXPECT_EQ(c->visible_count[1], 3);
    c->mesh_builds_started = ours + 1;
    chunk_cache_visible_blocks(c, world_);
    EXPECT_EQ(c->active_mesh, 0);
    EXPECT_EQ(c->visible_count[0], 4);
    chunk_cache_visible_blocks(c, world_);
    chunk_free_visible_blocks(c);
    EXPECT_EQ(c->active_mesh, 1);
    for (int i = 0; i < 2; i++)
        EXPECT_TRUE(c->visible_blocks[i] == nullptr && c->visible_count[i] == 0 && c->visible_capacity[i] == 0);
    chunk_free_visible_blocks(c);
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
    for (int i = 0; i < count(); i++) worker_queue_chunk(world_, &world_->chunk_cache.chunks[i]);
    const BlockType cycle[4] = {BLOCK_AIR, BLOCK_STONE, BLOCK_GLOWSTONE, BLOCK_DIRT};
    uint32_t rng = 12345;
    auto next = [&rng](int n) {
        rng = rng * 1664525u + 1013904223u;
        return static_cast<int>((rng >> 8) % static_cast<uint32_t>(n));
    };
    auto local = [&next](int size) {
        const int pick = next(4);
        return pick == 0 ? 0 : pick == 1 ? size - 1 : next(size);
    };
    std::vector<CachedVisibleBlock> copy;
    for (int edit = 0; edit < 50; edit++) {
        const int x = (next(3) - 1) * 32 + local(32), y = 64 + local(64), z = (next(3) - 1) * 32 + local(32);
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
        Chunk* c = &world_->chunk_cache.chunks[i];
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

// Visible-block lists: face exposure against loaded, unloaded and absent
// neighbours, list order and growth, double-buffered publishing, and agreement
// of the direct in-chunk reads with a block-by-block reference.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "temp_world_fixture.h"
#include "world.h"

namespace {

class MeshTest : public TempWorldTest {
protected:
    Chunk* add_chunk(int32_t cx, int32_t cy, int32_t cz, bool loaded = true) {
        Chunk* chunk = world_load_or_create_chunk(world_, cx, cy, cz);
        if (chunk) {
            chunk->generated = true;
            chunk->loaded = loaded;
        }
        return chunk;
    }

    static void fill(Chunk* chunk, BlockType type) {
        for (int y = 0; y < CHUNK_HEIGHT; y++)
            for (int z = 0; z < CHUNK_SIZE; z++)
                for (int x = 0; x < CHUNK_SIZE; x++) chunk->blocks[y][z][x].type = type;
    }

    static int active_count(const Chunk* c) { return c->visible_count[c->active_mesh]; }
    static const CachedVisibleBlock* active_list(const Chunk* c) { return c->visible_blocks[c->active_mesh]; }
};

// ---------------------------------------------------------------- exposure

using MeshFaces = MeshTest;

TEST_F(MeshFaces, SingleStoneInAirHasAllSixFaces) {
    Chunk* chunk = add_chunk(0, 0, 0);
    ASSERT_NE(chunk, nullptr);
    chunk->blocks[20][5][7].type = BLOCK_STONE;
    chunk_cache_visible_blocks(chunk, world_);
    ASSERT_EQ(active_count(chunk), 1);
    const CachedVisibleBlock e = active_list(chunk)[0];
    EXPECT_EQ(e.x, 7);
    EXPECT_EQ(e.y, 20);
    EXPECT_EQ(e.z, 5);
    EXPECT_EQ(e.exposed_faces, 63);
    EXPECT_EQ(e.light_level, 0);
}

// Air in a cached neighbour that is not in play hides the face; once the
// neighbour is loaded the same air exposes it. A solid neighbour cell always hides it.
TEST_F(MeshFaces, FaceTowardNeighbourNeedsLoadedChunk) {
    Chunk* chunk = add_chunk(0, 0, 0);
    Chunk* east = add_chunk(1, 0, 0, false);
    ASSERT_TRUE(chunk && east);
    fill(chunk, BLOCK_STONE);
    chunk->blocks[10][10][30].type = BLOCK_AIR;  // the block at x = 31 shows -x
    chunk->blocks[11][10][31].type = BLOCK_AIR;  // and +y
    chunk_cache_visible_blocks(chunk, world_);
    auto faces_at = [&](int x, int y, int z) {
        for (int i = 0; i < active_count(chunk); i++) {
            const CachedVisibleBlock& e = active_list(chunk)[i];
            if (e.x == x && e.y == y && e.z == z) return static_cast<int>(e.exposed_faces);
        }
        return 0;
    };
    EXPECT_EQ(faces_at(31, 10, 10), FACE_NEG_X | FACE_POS_Y);

    east->loaded = true;
    chunk_cache_visible_blocks(chunk, world_);
    EXPECT_EQ(faces_at(31, 10, 10), FACE_POS_X | FACE_NEG_X | FACE_POS_Y);
    EXPECT_EQ(faces_at(31, 20, 20), FACE_POS_X);

    east->blocks[10][10][0].type = static_cast<BlockType>(9);  // unknown values are solid here
    chunk_cache_visible_blocks(chunk, world_);
    EXPECT_EQ(faces_at(31, 10, 10), FACE_NEG_X | FACE_POS_Y);
}

// Absent neighbours expose nothing; a loaded all-air chunk above exposes the
// whole top layer, listed in z-then-x order.
TEST_F(MeshFaces, SolidChunkShowsOnlyFacesTowardLoadedAir) {
    Chunk* chunk = add_chunk(0, 0, 0);
    ASSERT_NE(chunk, nullptr);
    fill(chunk, BLOCK_STONE);
    chunk_cache_visible_blocks(chunk, world_);
    EXPECT_EQ(active_count(chunk), 0);
    EXPECT_NE(active_list(chunk), nullptr);

    ASSERT_NE(add_chunk(0, 1, 0), nullptr);
    chunk_cache_visible_blocks(chunk, world_);
    ASSERT_EQ(active_count(chunk), CHUNK_SIZE * CHUNK_SIZE);
    for (int i = 0; i < active_count(chunk); i++) {
        const CachedVisibleBlock& e = active_list(chunk)[i];
        ASSERT_EQ(e.y, 63);
        ASSERT_EQ(e.z, i / CHUNK_SIZE);
        ASSERT_EQ(e.x, i % CHUNK_SIZE);
        ASSERT_EQ(e.exposed_faces, FACE_POS_Y);
    }
}

// A chunk rebuilt while itself out of play shows no faces toward its own air.
TEST_F(MeshFaces, UnloadedChunkHidesFacesTowardItsOwnAir) {
    Chunk* chunk = add_chunk(0, 0, 0, false);
    Chunk* above = add_chunk(0, 1, 0);
    ASSERT_TRUE(chunk && above);
    chunk->blocks[63][3][3].type = BLOCK_STONE;
    chunk_cache_visible_blocks(chunk, world_);
    ASSERT_EQ(active_count(chunk), 1);
    EXPECT_EQ(active_list(chunk)[0].exposed_faces, FACE_POS_Y);
}

// A 3D checkerboard: every stone is listed, with the faces that stay inside the chunk.
TEST_F(MeshFaces, ListGrowsByDoublingAndKeepsCellOrder) {
    Chunk* chunk = add_chunk(0, 0, 0);
    ASSERT_NE(chunk, nullptr);
    for (int y = 0; y < CHUNK_HEIGHT; y++)
        for (int z = 0; z < CHUNK_SIZE; z++)
            for (int x = 0; x < CHUNK_SIZE; x++)
                if ((x + y + z) % 2 == 0) chunk->blocks[y][z][x].type = BLOCK_DIRT;
    chunk_cache_visible_blocks(chunk, world_);
    const int m = chunk->active_mesh;
    ASSERT_EQ(chunk->visible_count[m], 32768);
    EXPECT_EQ(chunk->visible_capacity[m], 32768);
    int i = 0;
    for (int y = 0; y < CHUNK_HEIGHT; y++)
        for (int z = 0; z < CHUNK_SIZE; z++)
            for (int x = 0; x < CHUNK_SIZE; x++) {
                if ((x + y + z) % 2 != 0) continue;
                int faces = 0;
                if (x < 31) faces |= FACE_POS_X;
                if (x > 0) faces |= FACE_NEG_X;
                if (y < 63) faces |= FACE_POS_Y;
                if (y > 0) faces |= FACE_NEG_Y;
                if (z < 31) faces |= FACE_POS_Z;
                if (z > 0) faces |= FACE_NEG_Z;
                const CachedVisibleBlock& e = chunk->visible_blocks[m][i++];
                ASSERT_TRUE(e.x == x && e.y == y && e.z == z && e.exposed_faces == faces)
                    << "entry " << i - 1 << " at " << x << "," << y << "," << z;
            }
}

// ---------------------------------------------------------------- publishing

using MeshPublish = MeshTest;

TEST_F(MeshPublish, AllAirChunkPublishesEmptyList) {
    Chunk* chunk = add_chunk(0, 0, 0);
    ASSERT_NE(chunk, nullptr);
    chunk_cache_visible_blocks(chunk, world_);
    EXPECT_EQ(chunk->active_mesh, 1);
    EXPECT_NE(chunk->visible_blocks[1], nullptr);
    EXPECT_EQ(chunk->visible_count[1], 0);
    EXPECT_EQ(chunk->visible_capacity[1], VISIBLE_LIST_INITIAL_CAPACITY);
}

TEST_F(MeshPublish, RebuildsAlternateBetweenTheTwoLists) {
    Chunk* chunk = add_chunk(0, 0, 0);
    ASSERT_NE(chunk, nullptr);
    chunk->blocks[1][1][1].type = BLOCK_STONE;
    chunk_cache_visible_blocks(chunk, world_);
    EXPECT_EQ(chunk->active_mesh, 1);
    EXPECT_EQ(chunk->visible_blocks[0], nullptr);
    EXPECT_EQ(chunk->visible_count[1], 1);

    chunk->blocks[2][2][2].type = BLOCK_STONE;
    chunk_cache_visible_blocks(chunk, world_);
    EXPECT_EQ(chunk->active_mesh, 0);
    ASSERT_NE(chunk->visible_blocks[0], nullptr);
    ASSERT_NE(chunk->visible_blocks[1], nullptr);
    EXPECT_EQ(chunk->visible_count[0], 2);
    EXPECT_EQ(chunk->visible_count[1], 1);  // the previous list is untouched

    chunk->blocks[3][3][3].type = BLOCK_STONE;
    chunk_cache_visible_blocks(chunk, world_);
    EXPECT_EQ(chunk->active_mesh, 1);
    EXPECT_EQ(chunk->visible_count[1], 3);
    EXPECT_EQ(chunk->visible_count[0], 2);
    EXPECT_EQ(chunk->visible_blocks[1][2].x, 3);
}

TEST_F(MeshPublish, FreeingListsLeavesActiveIndex) {
    Chunk* chunk = add_chunk(0, 0, 0);
    ASSERT_NE(chunk, nullptr);
    chunk_free_visible_blocks(chunk);  // never rebuilt
    EXPECT_EQ(chunk->visible_count[0] + chunk->visible_count[1], 0);
    EXPECT_EQ(chunk->active_mesh, 0);

    chunk->blocks[1][1][1].type = BLOCK_STONE;
    chunk_cache_visible_blocks(chunk, world_);
    chunk_cache_visible_blocks(chunk, world_);
    chunk_cache_visible_blocks(chunk, world_);
    chunk_free_visible_blocks(chunk);
    EXPECT_EQ(chunk->active_mesh, 1);
    for (int i = 0; i < 2; i++) {
        EXPECT_EQ(chunk->visible_blocks[i], nullptr);
        EXPECT_EQ(chunk->visible_count[i], 0);
        EXPECT_EQ(chunk->visible_capacity[i], 0);
    }
    chunk_free_visible_blocks(chunk);
    chunk_free_visible_blocks(nullptr);
    chunk_cache_visible_blocks(nullptr, world_);
}

// A rebuild that started before the one whose list is active must not
// replace that list: here a rebuild numbered after ours publishes first.
TEST_F(MeshPublish, OlderRebuildIsDroppedWhenNewerIsActive) {
    Chunk* chunk = add_chunk(0, 0, 0);
    ASSERT_NE(chunk, nullptr);
    chunk->blocks[1][1][1].type = BLOCK_STONE;
    chunk_cache_visible_blocks(chunk, world_);
    const int active = chunk->active_mesh;
    const CachedVisibleBlock* list = chunk->visible_blocks[active];
    const uint32_t ours = chunk->mesh_builds_started + 1;
    chunk->mesh_published_build = ours + 1;

    chunk->blocks[2][2][2].type = BLOCK_STONE;
    chunk_cache_visible_blocks(chunk, world_);
    EXPECT_EQ(chunk->active_mesh, active);
    EXPECT_EQ(chunk->visible_blocks[active], list);
    EXPECT_EQ(chunk->visible_count[active], 1);

    chunk->mesh_builds_started = ours + 1;
    chunk_cache_visible_blocks(chunk, world_);
    EXPECT_EQ(chunk->active_mesh, 1 - active);
    EXPECT_EQ(chunk->visible_count[1 - active], 2);
}

// ---------------------------------------------------------------- reference

struct Entry {
    int x, y, z, faces;
    bool operator==(const Entry&) const = default;
};

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
                    int32_t cx = chunk->chunk_x, cy = chunk->chunk_y, cz = chunk->chunk_z;
                    if (f < 2)
                        cx = world_to_chunk_xz(nx);
                    else if (f < 4)
                        cy = world_to_chunk_y(ny);
                    else
                        cz = world_to_chunk_xz(nz);
                    const Chunk* n = world_get_chunk(world, cx, cy, cz);
                    if (n && n->loaded) faces |= 1 << f;
                }
                if (faces) out.push_back(Entry{x, y, z, faces});
            }
    return out;
}

std::vector<Entry> active_entries(const Chunk* chunk) {
    std::vector<Entry> out;
    const int m = chunk->active_mesh;
    for (int i = 0; i < chunk->visible_count[m]; i++) {
        const CachedVisibleBlock& e = chunk->visible_blocks[m][i];
        out.push_back(Entry{e.x, e.y, e.z, e.exposed_faces});
    }
    return out;
}

struct ChunkDeleter {
    void operator()(Chunk* c) const {
        chunk_free_visible_blocks(c);
        pthread_mutex_destroy(&c->light_swap_mutex);
        pthread_mutex_destroy(&c->mesh_swap_mutex);
        pthread_mutex_destroy(&c->mutex);
        free(c);
    }
};

using MeshReference = MeshTest;

// Generated terrain around a surface chunk with neighbours that are loaded,
// cached but out of play, or absent; plus records that are not the cached
// record for their coordinates, whose cells must not be taken for the cache's.
TEST_F(MeshReference, DirectReadsMatchBlockByBlockReads) {
    world_->seed = 777;
    for (int cy = 0; cy <= 2; cy++)
        for (int cz = -1; cz <= 1; cz++)
            for (int cx = -1; cx <= 1; cx++) {
                if ((cx == 1 && cy == 1 && cz == 0) || (cx == -1 && cy == 0 && cz == -1)) continue;
                const bool loaded = !((cx == 0 && cy == 1 && cz == -1) || (cx == -1 && cy == 2 && cz == 0));
                Chunk* c = add_chunk(cx, cy, cz, loaded);
                ASSERT_NE(c, nullptr);
                world_generate_chunk(c, world_->seed);
            }
    Chunk* surface = world_get_chunk(world_, 0, 1, 0);
    for (int y = 0; y < CHUNK_HEIGHT; y++) surface->blocks[y][0][9].type = BLOCK_AIR;
    surface->blocks[30][16][16].type = static_cast<BlockType>(9);

    for (int i = 0; i < world_->chunk_cache.chunk_count; i++) {
        Chunk* c = &world_->chunk_cache.chunks[i];
        chunk_cache_visible_blocks(c, world_);
        EXPECT_EQ(active_entries(c), reference_list(c, world_))
            << "chunk " << c->chunk_x << "," << c->chunk_y << "," << c->chunk_z;
    }

    const int32_t detached_at[2][3] = {{0, 1, 0}, {5, 1, 5}};
    for (const auto& at : detached_at) {
        std::unique_ptr<Chunk, ChunkDeleter> copy(static_cast<Chunk*>(aligned_alloc(alignof(Chunk), sizeof(Chunk))));
        ASSERT_NE(copy, nullptr);
        world_chunk_init(copy.get(), at[0], at[1], at[2]);
        copy->loaded = true;
        for (int y = 0; y < 40; y++)
            for (int z = 0; z < CHUNK_SIZE; z++)
                for (int x = 0; x < CHUNK_SIZE; x++) copy->blocks[y][z][x].type = (x + z) % 3 ? BLOCK_STONE : BLOCK_AIR;
        chunk_cache_visible_blocks(copy.get(), world_);
        EXPECT_EQ(active_entries(copy.get()), reference_list(copy.get(), world_)) << "detached at " << at[0];
    }
}

// ---------------------------------------------------------------- concurrency

using ConcurrencyLightingMesh = MeshTest;

// The main thread edits blocks (inner cells and chunk borders) while the
// worker relights and remeshes the same chunks, and copies active lists the
// way the renderer does. Once the worker is idle, every chunk's light and list
// must match its final blocks.
TEST_F(ConcurrencyLightingMesh, EditsWhileWorkerLightsAndMeshes) {
    world_->seed = 99;
    pthread_mutex_lock(&world_->cache_mutex);
    for (int cz = -1; cz <= 1; cz++)
        for (int cx = -1; cx <= 1; cx++) {
            Chunk* c = world_load_or_create_chunk(world_, cx, 1, cz);
            ASSERT_NE(c, nullptr);
            world_generate_chunk(c, world_->seed);
            c->generated = true;
            c->loaded = true;
        }
    pthread_mutex_unlock(&world_->cache_mutex);
    for (int i = 0; i < world_->chunk_cache.chunk_count; i++)
        worker_queue_chunk(world_, &world_->chunk_cache.chunks[i]);

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
        const int x = (next(3) - 1) * 32 + local(32);
        const int y = 64 + local(64);
        const int z = (next(3) - 1) * 32 + local(32);
        world_set_block(world_, x, y, z, cycle[edit % 4]);

        Chunk* c = world_get_chunk(world_, world_to_chunk_xz(x), 1, world_to_chunk_xz(z));
        ASSERT_NE(c, nullptr);
        pthread_mutex_lock(&c->mesh_swap_mutex);
        const int m = c->active_mesh;
        copy.assign(c->visible_blocks[m], c->visible_blocks[m] + c->visible_count[m]);
        pthread_mutex_unlock(&c->mesh_swap_mutex);
        for (const CachedVisibleBlock& e : copy) {
            ASSERT_TRUE(e.exposed_faces != 0 && e.exposed_faces < 64);
            ASSERT_TRUE(e.x >= 0 && e.x < 32 && e.y >= 0 && e.y < 64 && e.z >= 0 && e.z < 32);
        }
        EXPECT_LE(world_get_skylight(world_, x, y, z), 15);
    }
    worker_flush_queue(world_);

    static uint8_t fresh[CHUNK_HEIGHT][CHUNK_SIZE][CHUNK_SIZE];
    for (int i = 0; i < world_->chunk_cache.chunk_count; i++) {
        Chunk* c = &world_->chunk_cache.chunks[i];
        const int active = c->active_light_buffer;
        calculate_chunk_skylight(c, world_, 1 - active);
        memcpy(fresh, c->skylight[1 - active], sizeof(fresh));
        EXPECT_EQ(memcmp(fresh, c->skylight[active], sizeof(fresh)), 0) << "sky light of chunk " << i;
        calculate_chunk_blocklight(c, world_, 1 - active);
        EXPECT_EQ(memcmp(c->blocklight[1 - active], c->blocklight[active], sizeof(fresh)), 0)
            << "block light of chunk " << i;
        const std::vector<Entry> published = active_entries(c);
        chunk_cache_visible_blocks(c, world_);
        EXPECT_EQ(published, active_entries(c)) << "list of chunk " << i;
    }
}

}  // namespace

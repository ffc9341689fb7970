// Streaming chunks around the player: the update trigger, the view test, the
// retire geometry, save-before-remove, compaction, the soft record limit,
// long flights, faces at chunk borders and a concurrent stress run.
//
// Most tests stream below y = 0, where generation only fills air, so that
// they exercise the bookkeeping without paying for terrain.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "temp_world_fixture.h"
#include "world.h"

namespace {

constexpr int32_t DEEP = -16;  // a chunk layer far below the terrain
// Chunks entered by the long flight; under ThreadSanitizer, which slows every
// record initialisation down many times, a flight still well past the soft limit.
#if defined(__SANITIZE_THREAD__)
constexpr int FLIGHT_CHUNKS = 640;
#else
constexpr int FLIGHT_CHUNKS = 1000;
#endif
const Vector3 EAST = {1.0f, 0.0f, 0.0f};
const Vector3 WEST = {-1.0f, 0.0f, 0.0f};

Vector3 centre_of(int32_t cx, int32_t cy, int32_t cz) {
    return Vector3{cx * 32.0f + 16.0f, cy * 64.0f + 32.0f, cz * 32.0f + 16.0f};
}

class StreamingTest : public TempWorldTest {
protected:
    void SetUp() override {
        TempWorldTest::SetUp();
        world_->seed = 42;
    }

    int count() const { return world_->chunk_cache.chunk_count; }
    Chunk* get(int32_t cx, int32_t cy, int32_t cz) { return world_get_chunk(world_, cx, cy, cz); }

    // An unmodified generated chunk in play that nothing else references.
    Chunk* add_chunk(int32_t cx, int32_t cy, int32_t cz) {
        pthread_mutex_lock(&world_->cache_mutex);
        Chunk* c = world_load_or_create_chunk(world_, cx, cy, cz);
        pthread_mutex_unlock(&world_->cache_mutex);
        c->generated = true;
        c->loaded = true;
        c->needs_relighting = false;
        c->meshed = true;
        return c;
    }

    // Runs the retire pass again without moving: the update only works on a change of chunk.
    void update_again(Vector3 pos, Vector3 fwd) {
        world_->last_loaded_chunk_x = WORLD_NO_CHUNK;
        world_update_chunks(world_, pos, fwd);
    }

    int index_of(const Chunk* c) const { return static_cast<int>(c - world_->chunk_cache.chunks); }
};

// ---------------------------------------------------------------- the trigger

TEST_F(StreamingTest, FirstUpdateRunsAndLoadsTheChunksAhead) {
    EXPECT_EQ(world_->last_loaded_chunk_x, WORLD_NO_CHUNK);
    world_update_chunks(world_, centre_of(0, DEEP, 0), EAST);
    EXPECT_EQ(world_->last_loaded_chunk_x, 0);
    EXPECT_EQ(world_->last_loaded_chunk_y, DEEP);
    EXPECT_EQ(world_->last_loaded_chunk_z, 0);
    // The column behind (dot -32 < -19.2) is skipped; the other 18 come into play.
    EXPECT_EQ(count(), 18);
    for (int32_t cx = 0; cx <= 1; cx++)
        for (int32_t cy = DEEP - 1; cy <= DEEP + 1; cy++)
            for (int32_t cz = -1; cz <= 1; cz++) {
                Chunk* c = get(cx, cy, cz);
                ASSERT_NE(c, nullptr);
                EXPECT_TRUE(c->loaded && c->generated);
                EXPECT_FALSE(c->modified);
            }
    EXPECT_EQ(get(-1, DEEP, 0), nullptr);
}

TEST_F(StreamingTest, NothingHappensWhileThePlayerStaysInOneChunk) {
    world_update_chunks(world_, centre_of(0, DEEP, 0), EAST);
    Chunk* far = add_chunk(9, DEEP, 9);  // retirable, but no update should look at it
    Vector3 p = centre_of(0, DEEP, 0);
    p.x += 10.0f;
    p.y -= 20.0f;
    world_update_chunks(world_, p, WEST);
    EXPECT_EQ(count(), 19);
    EXPECT_EQ(get(9, DEEP, 9), far);
}

TEST_F(StreamingTest, TurningAroundLoadsTheChunksBehindOnlyAtTheNextBorder) {
    world_update_chunks(world_, centre_of(0, DEEP, 0), EAST);
    world_update_chunks(world_, centre_of(0, DEEP, 0), WEST);
    EXPECT_EQ(get(-1, DEEP, 0), nullptr);
    world_update_chunks(world_, centre_of(-1, DEEP, 0), WEST);
    EXPECT_NE(get(-1, DEEP, 0), nullptr);
    EXPECT_NE(get(-2, DEEP, 0), nullptr);
    EXPECT_TRUE(get(-2, DEEP + 1, -1)->loaded);
}

TEST_F(StreamingTest, PositionsThatNameNoChunkAreIgnored) {
    const float bad[] = {NAN, INFINITY, -INFINITY, 1e30f};
    for (float v : bad) {
        world_update_chunks(world_, Vector3{v, 0.0f, 0.0f}, EAST);
        world_update_chunks(world_, Vector3{0.0f, v, 0.0f}, EAST);
        EXPECT_EQ(world_->last_loaded_chunk_x, WORLD_NO_CHUNK);
        EXPECT_EQ(count(), 0);
    }
}

// ---------------------------------------------------------------- retire geometry

struct RetireCase {
    int32_t dx, dy, dz;
    bool retired;
};

TEST_F(StreamingTest, RetireGeometryDiscLayersAndBehind) {
    const RetireCase cases[] = {
        {2, 0, 0, false},  // 2*2 <= 4 and ahead
        {2, 0, 1, true},   // 5 > 4
        {0, 3, 0, true},   // more than two layers up
        {0, -3, 0, true},  // or down
        {1, 2, 1, false},  // two layers is still in range
        {-1, 0, 0, true},  // directly behind at distance 1: dot -32
    };
    const Vector3 pos = centre_of(0, DEEP, 0);
    world_update_chunks(world_, pos, EAST);
    for (const RetireCase& rc : cases) {
        add_chunk(rc.dx, DEEP + rc.dy, rc.dz);
        update_again(pos, EAST);
        EXPECT_EQ(get(rc.dx, DEEP + rc.dy, rc.dz) == nullptr, rc.retired) << rc.dx << "," << rc.dy << "," << rc.dz;
    }
}

TEST_F(StreamingTest, ModifiedChunkLeavesPlayIsSavedAndRemovedLater) {
    const Vector3 pos = centre_of(0, DEEP, 0);
    world_update_chunks(world_, pos, EAST);
    Chunk* c = add_chunk(-1, DEEP, 0);
    world_chunk_set_block(c, 3, 4, 5, BLOCK_GLOWSTONE);
    ASSERT_TRUE(c->modified);

    update_again(pos, EAST);
    c = get(-1, DEEP, 0);
    ASSERT_NE(c, nullptr) << "a modified chunk must not be removed before its save";
    EXPECT_FALSE(c->loaded);
    EXPECT_TRUE(c->pending_unload);

    worker_flush_queue(world_);
    EXPECT_FALSE(c->modified);
    EXPECT_FALSE(c->pending_save);
    char path[WORLD_PATH_MAX];
    world_chunk_path(path, world_->world_name, -1, DEEP, 0);
    struct stat st = {};
    ASSERT_EQ(stat(path, &st), 0) << path;
    EXPECT_EQ(st.st_size, WORLD_CHUNK_FILE_BYTES);

    update_again(pos, EAST);
    EXPECT_EQ(get(-1, DEEP, 0), nullptr);
}

TEST_F(StreamingTest, ChunkComingBackBeforeRemovalReturnsToPlayWithItsEdits) {
    const Vector3 pos = centre_of(0, DEEP, 0);
    world_update_chunks(world_, pos, EAST);
    Chunk* c = add_chunk(-1, DEEP, 0);
    world_chunk_set_block(c, 1, 1, 1, BLOCK_WOOD);
    update_again(pos, EAST);  // out of play, save queued
    worker_flush_queue(world_);
    world_update_chunks(world_, centre_of(-1, DEEP, 0), WEST);
    c = get(-1, DEEP, 0);
    ASSERT_NE(c, nullptr);
    EXPECT_TRUE(c->loaded);
    EXPECT_FALSE(c->pending_unload);
    EXPECT_EQ(world_chunk_get_block(c, 1, 1, 1), BLOCK_WOOD) << "came back without regeneration";
}

TEST_F(StreamingTest, OnlyOneOfTwoRetirableChunksIsRemovedPerUpdate) {
    const Vector3 pos = centre_of(0, DEEP, 0);
    world_update_chunks(world_, pos, EAST);
    add_chunk(5, DEEP, 0);
    add_chunk(6, DEEP, 0);
    update_again(pos, EAST);
    EXPECT_EQ(get(5, DEEP, 0), nullptr) << "the first in array order goes first";
    EXPECT_NE(get(6, DEEP, 0), nullptr);
    update_again(pos, EAST);
    EXPECT_EQ(get(6, DEEP, 0), nullptr);
}

TEST_F(StreamingTest, CompactionMovesTheLastRecordAndLookupsFollowIt) {
    const Vector3 pos = centre_of(0, DEEP, 0);
    world_update_chunks(world_, pos, EAST);
    Chunk* gone = add_chunk(5, DEEP, 0);
    const int slot = index_of(gone);
    add_chunk(1, DEEP + 2, 0);  // ahead and in range: stays
    Chunk* last = add_chunk(2, DEEP, 0);
    world_chunk_set_block(last, 7, 8, 9, BLOCK_SAND);
    last->modified = false;
    const int before = count();

    update_again(pos, EAST);
    EXPECT_EQ(count(), before - 1);
    Chunk* moved = get(2, DEEP, 0);
    ASSERT_NE(moved, nullptr);
    EXPECT_EQ(index_of(moved), slot);
    EXPECT_EQ(world_chunk_get_block(moved, 7, 8, 9), BLOCK_SAND);
    // The moved record's mutexes work in their new slot.
    EXPECT_EQ(pthread_mutex_trylock(&moved->mutex), 0);
    EXPECT_EQ(pthread_mutex_unlock(&moved->mutex), 0);
    for (int i = 0; i < count(); i++) {
        const Chunk* c = &world_->chunk_cache.chunks[i];
        EXPECT_EQ(get(c->chunk_x, c->chunk_y, c->chunk_z), c);
    }
}

TEST_F(StreamingTest, NothingIsRemovedWhileTheRecordCompactionWouldMoveIsPinned) {
    const Vector3 pos = centre_of(0, DEEP, 0);
    world_update_chunks(world_, pos, EAST);
    add_chunk(5, DEEP, 0);
    Chunk* last = add_chunk(2, DEEP, 0);
    last->in_use_count.fetch_add(1);
    update_again(pos, EAST);
    EXPECT_NE(get(5, DEEP, 0), nullptr);
    EXPECT_EQ(get(2, DEEP, 0), last) << "a pinned record must not move";
    last->in_use_count.fetch_sub(1);
    update_again(pos, EAST);
    EXPECT_EQ(get(5, DEEP, 0), nullptr);
}

TEST_F(StreamingTest, PinnedChunkIsKept) {
    const Vector3 pos = centre_of(0, DEEP, 0);
    world_update_chunks(world_, pos, EAST);
    Chunk* c = add_chunk(5, DEEP, 0);
    c->in_use_count.fetch_add(1);
    update_again(pos, EAST);
    EXPECT_EQ(get(5, DEEP, 0), c);
    c->in_use_count.fetch_sub(1);
}

// ---------------------------------------------------------------- soft limit

TEST_F(StreamingTest, AboveTheSoftLimitOneUpdateRemovesDownToIt) {
    const Vector3 pos = centre_of(0, DEEP, 0);
    world_update_chunks(world_, pos, EAST);
    for (int i = 0; i < 600; i++) add_chunk(100 + i % 30, DEEP, 100 + i / 30);
    Chunk* edited = add_chunk(50, DEEP, 50);
    world_chunk_set_block(edited, 0, 0, 0, BLOCK_STONE);
    ASSERT_GT(count(), STREAM_SOFT_CHUNK_LIMIT + 100);

    update_again(pos, EAST);
    EXPECT_EQ(count(), STREAM_SOFT_CHUNK_LIMIT);
    Chunk* kept = get(50, DEEP, 50);
    ASSERT_NE(kept, nullptr) << "a chunk waiting for its save stays";
    EXPECT_TRUE(kept->pending_unload);
    for (int i = 0; i < count(); i++) {
        const Chunk* c = &world_->chunk_cache.chunks[i];
        EXPECT_EQ(get(c->chunk_x, c->chunk_y, c->chunk_z), c);
    }
    update_again(pos, EAST);
    EXPECT_EQ(count(), STREAM_SOFT_CHUNK_LIMIT - 1) << "at the limit, one removal per update again";
}

TEST_F(StreamingTest, LongFlightKeepsTheCacheBoundedAndTheGroundUnderThePlayer) {
    int most = 0;
    long late_total = 0;
    for (int step = 0; step < FLIGHT_CHUNKS; step++) {
        Vector3 pos = centre_of(step, DEEP, 0);
        world_update_chunks(world_, pos, EAST);
        most = std::max(most, count());
        if (step >= FLIGHT_CHUNKS - 100) late_total += count();
        Chunk* here = get(step, DEEP, 0);
        Chunk* below = get(step, DEEP - 1, 0);
        ASSERT_TRUE(here && here->generated && here->loaded) << "step " << step;
        ASSERT_TRUE(below && below->generated && below->loaded) << "step " << step;
    }
    // A removal waits while the worker pins the last record, so an update may
    // end above the limit; the next one catches up.
    EXPECT_LE(most, STREAM_SOFT_CHUNK_LIMIT + 64);
    EXPECT_LE(late_total / 100, STREAM_SOFT_CHUNK_LIMIT + 9) << "the cache does not keep growing";
    EXPECT_GE(most, STREAM_SOFT_CHUNK_LIMIT) << "ordinary play keeps the one-per-update removal";
}

// ---------------------------------------------------------------- failures

TEST_F(StreamingTest, FailedSaveKeepsTheChunkAndItsEdits) {
    ASSERT_EQ(mkdir("worlds", 0755), 0);
    ASSERT_EQ(mkdir("worlds/default", 0755), 0);
    FILE* blocker = fopen("worlds/default/chunks", "w");  // a file where the folder should be
    ASSERT_NE(blocker, nullptr);
    ASSERT_EQ(fclose(blocker), 0);

    const Vector3 pos = centre_of(0, DEEP, 0);
    world_update_chunks(world_, pos, EAST);
    Chunk* c = add_chunk(-1, DEEP, 0);
    world_chunk_set_block(c, 2, 2, 2, BLOCK_DIRT);
    for (int i = 0; i < 3; i++) {
        update_again(pos, EAST);
        worker_flush_queue(world_);
    }
    c = get(-1, DEEP, 0);
    ASSERT_NE(c, nullptr) << "unsaved edits must not be dropped";
    EXPECT_TRUE(c->modified);
    EXPECT_EQ(world_chunk_get_block(c, 2, 2, 2), BLOCK_DIRT);

    ASSERT_EQ(remove("worlds/default/chunks"), 0);
    update_again(pos, EAST);  // saved again, now successfully
    worker_flush_queue(world_);
    update_again(pos, EAST);
    EXPECT_EQ(get(-1, DEEP, 0), nullptr);
}

// ---------------------------------------------------------------- blocks set far away

TEST_F(StreamingTest, BlockSetInANeverGeneratedChunkSurvivesStreamingAndReload) {
    ASSERT_TRUE(world_load(world_, "far"));
    world_update_chunks(world_, Vector3{8.0f, 100.0f, 8.0f}, EAST);
    const int x = 10 * 32 + 5, y = 64 + 40, z = 10 * 32 + 6;
    world_set_block(world_, x, y, z, BLOCK_GLOWSTONE);
    Chunk* c = get(10, 1, 10);
    ASSERT_NE(c, nullptr);
    EXPECT_TRUE(c->generated);
    EXPECT_FALSE(c->loaded) << "left out of play, as streaming would find it";

    // The reference terrain for that chunk, made on the side.
    std::vector<Chunk> scratch(1);
    world_chunk_init(&scratch[0], 10, 1, 10);
    world_generate_chunk(&scratch[0], world_->seed);
    world_chunk_set_block(&scratch[0], 5, 40, 6, BLOCK_GLOWSTONE);

    // Far from the player: retired, saved by the worker, then removed.
    update_again(Vector3{8.0f, 100.0f, 8.0f}, EAST);
    worker_flush_queue(world_);
    update_again(Vector3{8.0f, 100.0f, 8.0f}, EAST);
    ASSERT_EQ(get(10, 1, 10), nullptr);

    ASSERT_TRUE(world_save(world_, "far"));
    ASSERT_TRUE(world_load(world_, "far"));
    world_update_chunks(world_, Vector3{x + 0.5f, y + 0.5f, z + 0.5f}, EAST);
    c = get(10, 1, 10);
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(memcmp(c->blocks, scratch[0].blocks, sizeof c->blocks), 0) << "terrain and the block both kept";
    EXPECT_EQ(world_get_block(world_, x, y, z), BLOCK_GLOWSTONE);
    pthread_mutex_destroy(&scratch[0].mutex);
    pthread_mutex_destroy(&scratch[0].mesh_swap_mutex);
    pthread_mutex_destroy(&scratch[0].light_swap_mutex);
}

// ---------------------------------------------------------------- faces at chunk borders

bool list_has_face(Chunk* c, int x, int y, int z, uint8_t face) {
    pthread_mutex_lock(&c->mesh_swap_mutex);
    const int m = c->active_mesh.load();
    bool found = false;
    for (int i = 0; i < c->visible_count[m] && !found; i++) {
        const CachedVisibleBlock& e = c->visible_blocks[m][i];
        found = e.x == x && e.y == y && e.z == z && (e.exposed_faces & face) != 0;
    }
    pthread_mutex_unlock(&c->mesh_swap_mutex);
    return found;
}

struct Side {
    int32_t dx, dy, dz;
    uint8_t face;
};

// Counts faces on the border of `a` towards `b` that border air but are not in a's list.
int missing_border_faces(Chunk* a, Chunk* b, const Side& s) {
    int missing = 0;
    const int nx = s.dx ? 1 : CHUNK_SIZE, ny = s.dy ? 1 : CHUNK_HEIGHT, nz = s.dz ? 1 : CHUNK_SIZE;
    for (int i = 0; i < nx; i++)
        for (int j = 0; j < ny; j++)
            for (int k = 0; k < nz; k++) {
                const int x = s.dx > 0 ? CHUNK_SIZE - 1 : s.dx < 0 ? 0 : i;
                const int y = s.dy > 0 ? CHUNK_HEIGHT - 1 : s.dy < 0 ? 0 : j;
                const int z = s.dz > 0 ? CHUNK_SIZE - 1 : s.dz < 0 ? 0 : k;
                const int bx = (x + s.dx) & (CHUNK_SIZE - 1), by = (y + s.dy) & (CHUNK_HEIGHT - 1),
                          bz = (z + s.dz) & (CHUNK_SIZE - 1);
                if (world_chunk_get_block(a, x, y, z) == BLOCK_AIR) continue;
                if (world_chunk_get_block(b, bx, by, bz) != BLOCK_AIR) continue;
                if (!list_has_face(a, x, y, z, s.face)) missing++;
            }
    return missing;
}

class StreamingBorders : public StreamingTest {
protected:
    // Every face between two chunks in play that borders air is in a list.
    void expect_no_border_holes(const char* when) {
        const Side sides[] = {{1, 0, 0, FACE_POS_X},  {-1, 0, 0, FACE_NEG_X}, {0, 1, 0, FACE_POS_Y},
                              {0, -1, 0, FACE_NEG_Y}, {0, 0, 1, FACE_POS_Z},  {0, 0, -1, FACE_NEG_Z}};
        int pairs = 0;
        for (int i = 0; i < count(); i++) {
            Chunk* a = &world_->chunk_cache.chunks[i];
            if (!a->loaded || !a->generated) continue;
            for (const Side& s : sides) {
                Chunk* b = get(a->chunk_x + s.dx, a->chunk_y + s.dy, a->chunk_z + s.dz);
                if (!b || !b->loaded || !b->generated) continue;
                pairs++;
                EXPECT_EQ(missing_border_faces(a, b, s), 0)
                    << when << ": chunk (" << a->chunk_x << "," << a->chunk_y << "," << a->chunk_z << ") face "
                    << static_cast<int>(s.face);
            }
        }
        EXPECT_GT(pairs, 0);
    }
};

TEST_F(StreamingBorders, BordersHaveNoHolesAfterSpawnAndAfterACrossing) {
    ASSERT_TRUE(world_load(world_, "borders"));
    world_update_chunks(world_, Vector3{8.0f, 100.0f, 8.0f}, EAST);
    worker_flush_queue(world_);
    expect_no_border_holes("spawn area");

    world_update_chunks(world_, Vector3{40.0f, 100.0f, 8.0f}, EAST);
    worker_flush_queue(world_);
    expect_no_border_holes("after a border crossing");
}

// ---------------------------------------------------------------- concurrency

// The worker lights, meshes and saves while this thread streams back and
// forth, edits blocks next to the player and saves the whole world. Run under
// ThreadSanitizer as well.
TEST_F(StreamingTest, ConcurrencyStressStreamingEditsAndSaves) {
    ASSERT_TRUE(world_load(world_, "stress"));
    std::mt19937 rng(7);
    const BlockType kinds[] = {BLOCK_GLOWSTONE, BLOCK_STONE, BLOCK_AIR, BLOCK_WOOD};
    int last_x = 0, last_y = 0, last_z = 0;
    for (int step = 0; step < 60; step++) {
        const int32_t cx = (step / 6) % 2 == 0 ? step % 6 : 6 - step % 6;
        const Vector3 fwd = (step / 6) % 2 == 0 ? EAST : WEST;
        const Vector3 pos = centre_of(cx, DEEP, (step / 12) % 2);
        world_update_chunks(world_, pos, fwd);
        for (int e = 0; e < 4; e++) {
            last_x = static_cast<int>(pos.x) + static_cast<int>(rng() % 40) - 20;
            last_y = static_cast<int>(pos.y) + static_cast<int>(rng() % 40) - 20;
            last_z = static_cast<int>(pos.z) + static_cast<int>(rng() % 40) - 20;
            world_set_block(world_, last_x, last_y, last_z, kinds[rng() % 4]);
        }
        world_set_block(world_, last_x, last_y, last_z, BLOCK_BEDROCK);
        if (step % 15 == 14) {
            EXPECT_TRUE(world_save(world_, "stress"));
        }
    }
    worker_flush_queue(world_);
    for (int i = 0; i < count(); i++) {
        const Chunk* c = &world_->chunk_cache.chunks[i];
        EXPECT_TRUE(c->generated);
        EXPECT_FALSE(c->loaded && c->pending_unload);
        EXPECT_EQ(c->in_use_count.load(), 0);
    }
    ASSERT_TRUE(world_save(world_, "stress"));
    ASSERT_TRUE(world_load(world_, "stress"));
    EXPECT_EQ(world_get_block(world_, last_x, last_y, last_z), BLOCK_AIR) << "not cached after a reload";
    world_update_chunks(world_, Vector3{last_x + 0.5f, last_y + 0.5f, last_z + 0.5f}, EAST);
    EXPECT_EQ(world_get_block(world_, last_x, last_y, last_z), BLOCK_BEDROCK);
}

}  // namespace

// Streaming. Most tests play below y = 0, where generation is cheap: only air.
#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "temp_world_fixture.h"

namespace {

constexpr int32_t DEEP = -16;       // a chunk layer far below the terrain
constexpr int FLIGHT_CHUNKS = 640;  // well past the soft limit, and still quick under ThreadSanitizer
const Vector3 EAST = {1.0f, 0.0f, 0.0f}, WEST = {-1.0f, 0.0f, 0.0f};

Vector3 centre_of(int32_t cx, int32_t cy, int32_t cz) {
    return Vector3{cx * 32.0f + 16.0f, cy * 64.0f + 32.0f, cz * 32.0f + 16.0f};
}

class StreamingTest : public TempWorldTest {
protected:
    // An unmodified chunk in play that the worker has nothing to do for.
    Chunk* idle_chunk(int32_t cx, int32_t cy, int32_t cz) {
        Chunk* c = add_chunk(cx, cy, cz);
        c->needs_relighting = false;
        c->meshed = true;
        return c;
    }

    // The update only works on a change of chunk, so forget the last one.
    void update_again(Vector3 pos = centre_of(0, DEEP, 0), Vector3 fwd = EAST) {
        world_->last_loaded_chunk_x = WORLD_NO_CHUNK;
        world_update_chunks(world_, pos, fwd);
    }
};

// Rows retire by the disc, the layers and the half-space behind; a failed save keeps the chunk and its edits.
TEST_F(StreamingTest, UpdatesLoadAheadRetireTheRestAndKeepAChunkWhoseSaveFailed) {
    ASSERT_TRUE(std::filesystem::create_directories("worlds/default"));
    write_file("worlds/default/chunks", "");  // a file where the folder should be
    for (float v : {NAN, INFINITY, -INFINITY, 1e30f}) {
        world_update_chunks(world_, Vector3{v, 0.0f, 0.0f}, EAST);
        world_update_chunks(world_, Vector3{0.0f, v, 0.0f}, EAST);
        EXPECT_EQ(world_->last_loaded_chunk_x, WORLD_NO_CHUNK) << v;
    }
    world_update_chunks(world_, centre_of(0, DEEP, 0), EAST);
    EXPECT_EQ(count(), 18) << "all but the column behind";
    for (int i = 0; i < count(); i++) EXPECT_TRUE(at(i)->chunk_x >= 0 && at(i)->loaded && at(i)->generated);
    const struct {
        int32_t dx, dy, dz;
        bool retired;
    } cases[] = {{2, 0, 0, false}, {2, 0, 1, true},  {0, 3, 0, true},
                 {0, -3, 0, true}, {1, 2, 1, false}, {-1, 0, 0, true}};
    for (const auto& rc : cases) {
        idle_chunk(rc.dx, DEEP + rc.dy, rc.dz);
        update_again();
        EXPECT_EQ(get(rc.dx, DEEP + rc.dy, rc.dz) == nullptr, rc.retired) << rc.dx << "," << rc.dy << "," << rc.dz;
    }
    world_update_chunks(world_, Vector3{26.0f, DEEP * 64.0f + 12.0f, 16.0f}, WEST);
    EXPECT_EQ(get(-1, DEEP, 0), nullptr) << "turning around loads nothing until the next border";
    world_chunk_set_block(idle_chunk(-1, DEEP, 0), 2, 2, 2, BLOCK_DIRT);
    testing::internal::CaptureStderr();
    update_again();
    worker_flush_queue(world_);
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("[worker] ERROR: failed to save chunk (-1,-16,0) of world default\n"), std::string::npos);
    Chunk* c = get(-1, DEEP, 0);
    ASSERT_NE(c, nullptr) << "unsaved edits must not be dropped";
    EXPECT_TRUE(c->modified && c->pending_unload && !c->loaded);
    world_update_chunks(world_, centre_of(-1, DEEP, 0), WEST);
    EXPECT_TRUE(c->loaded && !c->pending_unload && get(-2, DEEP + 1, -1) && get(-2, DEEP + 1, -1)->loaded);
    EXPECT_EQ(world_chunk_get_block(c, 2, 2, 2), BLOCK_DIRT) << "came back without regeneration";
}

// Compaction moves the last record into the gap, so nothing goes while that record is pinned.
TEST_F(StreamingTest, RemovalsGoOneAtATimeOrDownToTheSoftLimitAndSparePinnedRecords) {
    update_again();
    Chunk* gone = idle_chunk(5, DEEP, 0);
    idle_chunk(1, DEEP + 2, 0);  // ahead and in range: stays
    Chunk* last = idle_chunk(2, DEEP, 0);
    for (Chunk* pinned : {last, gone}) {
        pinned->in_use_count.fetch_add(1);
        update_again();
        EXPECT_TRUE(get(5, DEEP, 0) == gone && get(2, DEEP, 0) == last);
        pinned->in_use_count.fetch_sub(1);
    }
    idle_chunk(6, DEEP, 0);
    update_again();
    EXPECT_EQ(get(5, DEEP, 0), nullptr);
    ASSERT_EQ(get(6, DEEP, 0), gone) << "the first retirable record goes, the last takes its slot";
    for (int i = 0; i < 600; i++) idle_chunk(100 + i % 30, DEEP, 100 + i / 30);
    world_chunk_set_block(idle_chunk(50, DEEP, 50), 0, 0, 0, BLOCK_STONE);
    update_again();
    EXPECT_EQ(count(), STREAM_SOFT_CHUNK_LIMIT);
    EXPECT_NE(get(50, DEEP, 50), nullptr) << "a chunk waiting for its save stays";
    update_again();
    EXPECT_EQ(count(), STREAM_SOFT_CHUNK_LIMIT - 1) << "at the limit, one removal per update again";
}

TEST_F(StreamingTest, LongFlightKeepsTheCacheBoundedAndTheGroundUnderThePlayer) {
    long late_total = 0;
    for (int step = 0; step < FLIGHT_CHUNKS; step++) {
        world_update_chunks(world_, centre_of(step, DEEP, 0), EAST);
        if (step >= FLIGHT_CHUNKS - 100) late_total += count();
        for (Chunk* c : {get(step, DEEP, 0), get(step, DEEP - 1, 0)})
            ASSERT_TRUE(c && c->generated && c->loaded) << "step " << step;
    }
    // Removals wait while the worker pins the last record, so only the average keeps to the limit.
    EXPECT_LE(late_total / 100, STREAM_SOFT_CHUNK_LIMIT + 9) << "the cache does not keep growing";
}

// Also run under ThreadSanitizer: the worker lights, meshes and saves meanwhile.
TEST_F(StreamingTest, ConcurrencyStressStreamingEditsAndSaves) {
    world_->seed = 42;
    for (float x : {8.0f, 40.0f}) {  // lists gain the faces toward chunks that come into play later
        world_update_chunks(world_, Vector3{x, 100.0f, 8.0f}, EAST);
        worker_flush_queue(world_);
        for (int i = 0; i < count(); i++)
            EXPECT_EQ(active_entries(at(i)), reference_list(at(i), world_)) << "player at x " << x << ", chunk " << i;
    }
    ASSERT_TRUE(world_load(world_, "stress"));
    world_set_block(world_, 0, 200, 0, BLOCK_GLOWSTONE);
    EXPECT_TRUE(get(0, 3, 0)->generated) << "an edit gets terrain first, or streaming would generate over it";
    std::mt19937 rng(7);
    const BlockType kinds[] = {BLOCK_GLOWSTONE, BLOCK_STONE, BLOCK_AIR, BLOCK_WOOD};
    int last[3] = {};
    for (int step = 0; step < 60; step++) {
        const bool east = (step / 6) % 2 == 0;
        const int32_t cx = east ? step % 6 : 6 - step % 6, cz = (step / 12) % 2;
        world_update_chunks(world_, centre_of(cx, DEEP, cz), east ? EAST : WEST);
        const int centre[3] = {cx * 32 + 16, DEEP * 64 + 32, cz * 32 + 16};
        for (int e = 0; e < 4; e++) {
            for (int k = 0; k < 3; k++) last[k] = centre[k] + static_cast<int>(rng() % 40) - 20;
            world_set_block(world_, last[0], last[1], last[2], kinds[rng() % 4]);
        }
        world_set_block(world_, last[0], last[1], last[2], BLOCK_BEDROCK);
        EXPECT_TRUE(step % 15 != 14 || world_save(world_, "stress"));
    }
    worker_flush_queue(world_);
    for (int i = 0; i < count(); i++)
        EXPECT_TRUE(at(i)->generated && !(at(i)->loaded && at(i)->pending_unload) && !at(i)->in_use_count);
    ASSERT_TRUE(world_save(world_, "stress"));
    ASSERT_TRUE(world_load(world_, "stress"));
    EXPECT_EQ(world_get_block(world_, last[0], last[1], last[2]), BLOCK_AIR) << "not cached after a reload";
    world_update_chunks(world_, Vector3{last[0] + 0.5f, last[1] + 0.5f, last[2] + 0.5f}, EAST);
    EXPECT_EQ(world_get_block(world_, last[0], last[1], last[2]), BLOCK_BEDROCK);
}

}  // namespace

// The background worker: job queue, job processing, flush and shutdown.
#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "temp_world_fixture.h"

namespace {

constexpr int32_t kParkedChunk = 900;  // never cached: jobs for it are dropped

class WorkerTest : public TempWorldTest {
protected:
    // Queues a job through the public entry point for any coordinates.
    void queue_light_job(int32_t x, int32_t y, int32_t z) {
        ChunkPtr probe(chunk_create(x, y, z));
        worker_queue_chunk(world_, probe.get());
    }

    // The worker blocks looking up the parked job's chunk while we hold cache_mutex.
    void park_worker() {
        pthread_mutex_lock(&world_->cache_mutex);
        queue_light_job(kParkedChunk, 0, kParkedChunk);
        for (int waited = 0, taken = 0; !taken; waited++, usleep(1000)) {
            ASSERT_LT(waited, 10000) << "the worker never took the parked job";
            pthread_mutex_lock(&world_->worker_queue.mutex);
            taken = world_->worker_queue.count == 0 && world_->worker_queue.jobs_in_progress == 1;
            pthread_mutex_unlock(&world_->worker_queue.mutex);
        }
    }
};

// A job already taken is no longer waiting, so it can be queued again; a full queue doubles.
TEST_F(WorkerTest, QueueKeepsOneJobOfAKindPerChunkAndFlushGivesUpOnAStuckJob) {
    Chunk* chunk = add_chunk(-1, 0, 2);
    Chunk* pending = add_chunk(0, 0, 0);
    pending->pending_save = true;
    park_worker();
    testing::internal::CaptureStdout();
    queue_light_job(kParkedChunk, 0, kParkedChunk);
    queue_light_job(1, 2, 3);
    queue_light_job(1, 2, 3);
    worker_queue_chunk(world_, chunk);
    worker_queue_chunk_save(world_, chunk);
    worker_queue_chunk_save(world_, pending);
    const int more = WORKER_QUEUE_INITIAL_CAPACITY - 3;
    for (int i = 0; i < more; i++) queue_light_job(i, -i, 7);
    WorkerQueue* q = &world_->worker_queue;
    const std::vector<WorkerJob> s(q->queue, q->queue + q->count);
    worker_flush_queue(world_);
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_TRUE(chunk->pending_save && pending->pending_save);
    pthread_mutex_unlock(&world_->cache_mutex);  // releases the parked worker
    ASSERT_EQ(static_cast<int>(s.size()), 4 + more);
    EXPECT_EQ(q->capacity, 2 * WORKER_QUEUE_INITIAL_CAPACITY);
    auto is = [](const WorkerJob& j, int32_t x, int32_t y, int32_t z, WorkerJobType type) {
        return j.chunk_x == x && j.chunk_y == y && j.chunk_z == z && j.type == type;
    };
    const WorkerJobType light = WORKER_JOB_LIGHTING_AND_MESH;
    EXPECT_TRUE(is(s[0], kParkedChunk, 0, kParkedChunk, light) && is(s[1], 1, 2, 3, light) &&
                is(s[2], -1, 0, 2, light) && is(s[3], -1, 0, 2, WORKER_JOB_SAVE_CHUNK) &&
                is(s[3 + more], more - 1, 1 - more, 7, light));
    EXPECT_NE(out.find("[worker] Queued light/mesh job for chunk (1,2,3)\n"), std::string::npos);
    EXPECT_NE(out.find("[worker] Queued save job for chunk (-1,0,2)\n"), std::string::npos);
    // One progress line every ten checks, from the first to the last.
    const std::string state = "(count=" + std::to_string(4 + more) + ", in_progress=1)\n";
    const std::string waiting = "[worker] Waiting for queue... " + state;
    int lines = 0;
    for (size_t at = out.find(waiting); at != std::string::npos; at = out.find(waiting, at + 1)) lines++;
    EXPECT_EQ(lines, WORKER_FLUSH_MAX_CHECKS / 10 + 1);
    EXPECT_NE(out.find("[worker] WARNING: Queue flush timeout! " + state), std::string::npos);
    EXPECT_EQ(out.find("Queue flushed"), std::string::npos);
}

// Chunks out of play or without terrain are skipped; nothing stays pinned.
TEST_F(WorkerTest, LightJobDoesOnlyWhatIsStale) {
    const struct {
        bool generated, loaded, relight, meshed;
        const char* log;
    } cases[] = {
        {true, true, false, false,
         "[worker] Caching visible blocks for chunk (0,1,0)\n[worker] Cached 1 visible blocks for chunk (0,1,0)\n"},
        {true, true, true, true, "[worker] Computing lighting for chunk (0,1,0)\n"},
        {true, false, true, false, ""},
        {false, true, true, false, ""},
    };
    for (const auto& c : cases) {
        world_clear_chunks(world_);
        Chunk* chunk = add_chunk(0, 1, 0, c.loaded);
        chunk->generated = c.generated;
        world_chunk_set_block(chunk, 5, 5, 5, BLOCK_STONE);
        chunk->needs_relighting = c.relight;
        chunk->meshed = c.meshed;
        testing::internal::CaptureStderr();
        worker_queue_chunk(world_, chunk);
        worker_flush_queue(world_);
        EXPECT_EQ(testing::internal::GetCapturedStderr(), c.log) << "case " << &c - cases;
        const bool runs = c.generated && c.loaded, listed = runs && !c.meshed;
        EXPECT_TRUE(chunk->active_light_buffer == (runs && c.relight) &&
                    chunk->needs_relighting == (c.relight && !runs) &&
                    chunk->meshed == (c.meshed || (runs && !c.relight)) && chunk->active_mesh == listed &&
                    chunk->in_use_count == 0)
            << "case " << &c - cases;
    }
}

// Nothing is written for a chunk that is unmodified, removed, or without terrain (generation would replace it).
TEST_F(WorkerTest, FlushWaitsForSaveJobsThatWriteOnlyModifiedTerrain) {
    std::filesystem::create_directories("worlds/saves/chunks");
    snprintf(world_->world_name, sizeof world_->world_name, "%s", "saves");
    world_chunk_set_block(add_chunk(0, 0, 0), 0, 0, 0, BLOCK_GLOWSTONE);
    add_chunk(1, 0, 0);
    add_chunk(2, 0, 0)->modified = true;
    at(2)->generated = false;
    add_chunk(3, 0, 0)->modified = true;
    park_worker();
    for (int i = 0; i < 4; i++) worker_queue_chunk_save(world_, at(i));
    world_remove_chunk_at(world_, 3);
    testing::internal::CaptureStdout();
    std::thread flusher([this] { worker_flush_queue(world_); });
    usleep(200000);
    pthread_mutex_unlock(&world_->cache_mutex);  // releases the parked worker
    flusher.join();
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("[worker] Waiting for queue... (count=4, in_progress=1)\n"), std::string::npos) << out;
    EXPECT_NE(out.find("[worker] Queue flushed after "), std::string::npos);
    EXPECT_EQ(out.find("WARNING"), std::string::npos);
    char path[WORLD_PATH_MAX];
    for (int x = 0; x < 4; x++) {
        world_chunk_path(path, "saves", x, 0, 0);
        EXPECT_EQ(file_size(path), x == 0 ? WORLD_CHUNK_FILE_BYTES : -1) << x;
    }
    for (int i = 0; i < 3; i++) EXPECT_FALSE(at(i)->modified || at(i)->pending_save || at(i)->in_use_count) << i;
}

}  // namespace

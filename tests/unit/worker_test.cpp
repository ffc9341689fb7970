// The background worker: job queue, job processing, flush and shutdown.
//
// To inspect the queue while jobs wait, a test holds the world's cache_mutex
// after the worker has taken a job for an uncached chunk: the worker then
// blocks looking that chunk up and takes nothing else until the test lets go.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "world.h"

namespace {

constexpr int32_t kParkedChunk = 900;  // never cached: jobs for it are dropped
constexpr long kChunkFileBytes = 262144;

struct QueueSnapshot {
    std::vector<WorkerJob> jobs;
    int capacity;
    int in_progress;
};

int count_of(const std::string& text, const std::string& needle) {
    int n = 0;
    for (size_t at = text.find(needle); at != std::string::npos; at = text.find(needle, at + 1)) {
        n++;
    }
    return n;
}

long file_size(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 ? static_cast<long>(st.st_size) : -1;
}

class WorkerTest : public ::testing::Test {
protected:
    void SetUp() override {
        char tmpl[] = "/tmp/qvox_worker_XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir_ = tmpl;
        ASSERT_NE(getcwd(old_cwd_, sizeof old_cwd_), nullptr);
        ASSERT_EQ(chdir(dir_.c_str()), 0);
        probe_.reset(new Chunk());
        world_ = world_create();
        ASSERT_NE(world_, nullptr);
    }

    void TearDown() override {
        if (parked_) {
            release_worker();
        }
        world_free(world_);
        EXPECT_EQ(chdir(old_cwd_), 0);
        std::error_code ignored;
        std::filesystem::remove_all(dir_, ignored);
    }

    // Appends a chunk the way streaming does: under cache_mutex, because the worker may be looking.
    Chunk* add_chunk(int32_t x, int32_t y, int32_t z) {
        pthread_mutex_lock(&world_->cache_mutex);
        Chunk* chunk = world_load_or_create_chunk(world_, x, y, z);
        pthread_mutex_unlock(&world_->cache_mutex);
        return chunk;
    }

    Chunk* add_terrain_chunk(int32_t x, int32_t y, int32_t z) {
        Chunk* chunk = add_chunk(x, y, z);
        if (chunk) {
            chunk->generated = true;
            chunk->loaded = true;
        }
        return chunk;
    }

    // Queues a job through the public entry point for any coordinates.
    void queue_light_job(int32_t x, int32_t y, int32_t z) {
        probe_->chunk_x = x;
        probe_->chunk_y = y;
        probe_->chunk_z = z;
        worker_queue_chunk(world_, probe_.get());
    }

    QueueSnapshot snapshot() {
        WorkerQueue* q = &world_->worker_queue;
        pthread_mutex_lock(&q->mutex);
        QueueSnapshot s{std::vector<WorkerJob>(q->queue, q->queue + q->count), q->capacity, q->jobs_in_progress};
        pthread_mutex_unlock(&q->mutex);
        return s;
    }

    // Waits on the queue's own state, with a deadline far beyond any real run.
    template <typename Done>
    bool wait_for(Done done) {
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (std::chrono::steady_clock::now() < deadline) {
            if (done(snapshot())) {
                return true;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return false;
    }

    void park_worker() {
        pthread_mutex_lock(&world_->cache_mutex);
        parked_ = true;
        queue_light_job(kParkedChunk, 0, kParkedChunk);
        ASSERT_TRUE(wait_for([](const QueueSnapshot& s) { return s.jobs.empty() && s.in_progress == 1; }));
    }

    void release_worker() {
        parked_ = false;
        pthread_mutex_unlock(&world_->cache_mutex);
    }

    void wait_idle() {
        ASSERT_TRUE(wait_for([](const QueueSnapshot& s) { return s.jobs.empty() && s.in_progress == 0; }));
    }

    void make_world_dir(const char* name) {
        std::filesystem::create_directories(std::string("worlds/") + name + "/chunks");
        snprintf(world_->world_name, sizeof world_->world_name, "%s", name);
    }

    World* world_ = nullptr;
    std::unique_ptr<Chunk> probe_;
    bool parked_ = false;
    std::string dir_;
    char old_cwd_[4096] = {0};
};

// ---------------------------------------------------------------- queueing

using WorkerQueueTest = WorkerTest;

TEST_F(WorkerQueueTest, SameJobTwiceWaitsOnceAndLogsOnce) {
    park_worker();
    testing::internal::CaptureStdout();
    queue_light_job(1, 2, 3);
    queue_light_job(1, 2, 3);
    std::string out = testing::internal::GetCapturedStdout();
    QueueSnapshot s = snapshot();
    release_worker();

    ASSERT_EQ(s.jobs.size(), 1u);
    EXPECT_EQ(count_of(out, "[worker] Queued light/mesh job for chunk (1,2,3)\n"), 1);
}

TEST_F(WorkerQueueTest, JobBeingProcessedCanBeQueuedAgain) {
    park_worker();
    queue_light_job(kParkedChunk, 0, kParkedChunk);
    QueueSnapshot s = snapshot();
    release_worker();

    ASSERT_EQ(s.jobs.size(), 1u);
    EXPECT_EQ(s.jobs[0].chunk_x, kParkedChunk);
}

TEST_F(WorkerQueueTest, LightAndSaveJobsForOneChunkBothWaitInOrder) {
    Chunk* chunk = add_chunk(-1, 0, 2);
    ASSERT_NE(chunk, nullptr);
    park_worker();
    testing::internal::CaptureStdout();
    worker_queue_chunk(world_, chunk);
    worker_queue_chunk_save(world_, chunk);
    std::string out = testing::internal::GetCapturedStdout();
    QueueSnapshot s = snapshot();
    bool pending_while_queued = chunk->pending_save;
    release_worker();

    ASSERT_EQ(s.jobs.size(), 2u);
    EXPECT_EQ(s.jobs[0].type, WORKER_JOB_LIGHTING_AND_MESH);
    EXPECT_EQ(s.jobs[1].type, WORKER_JOB_SAVE_CHUNK);
    EXPECT_EQ(s.jobs[1].chunk_x, -1);
    EXPECT_EQ(s.jobs[1].chunk_z, 2);
    EXPECT_NE(out.find("[worker] Queued save job for chunk (-1,0,2)\n"), std::string::npos);
    EXPECT_TRUE(pending_while_queued);
}

TEST_F(WorkerQueueTest, SaveRequestWithSaveAlreadyPendingQueuesNothing) {
    Chunk* chunk = add_chunk(0, 0, 0);
    ASSERT_NE(chunk, nullptr);
    chunk->pending_save = true;
    park_worker();
    testing::internal::CaptureStdout();
    worker_queue_chunk_save(world_, chunk);
    std::string out = testing::internal::GetCapturedStdout();
    QueueSnapshot s = snapshot();
    release_worker();

    EXPECT_TRUE(s.jobs.empty());
    EXPECT_EQ(out, "");
    EXPECT_TRUE(chunk->pending_save);
}

TEST_F(WorkerQueueTest, GrowsPastInitialCapacityKeepingEveryJobInOrder) {
    const int jobs = WORKER_QUEUE_INITIAL_CAPACITY + 1;
    park_worker();
    testing::internal::CaptureStdout();
    for (int i = 0; i < jobs; i++) {
        queue_light_job(i, -i, 7);
    }
    std::string out = testing::internal::GetCapturedStdout();
    QueueSnapshot s = snapshot();
    release_worker();

    EXPECT_EQ(s.capacity, 2 * WORKER_QUEUE_INITIAL_CAPACITY);
    ASSERT_EQ(static_cast<int>(s.jobs.size()), jobs);
    for (int i = 0; i < jobs; i++) {
        EXPECT_EQ(s.jobs[i].chunk_x, i);
        EXPECT_EQ(s.jobs[i].chunk_y, -i);
        EXPECT_EQ(s.jobs[i].chunk_z, 7);
    }
    EXPECT_EQ(count_of(out, "[worker] Queued light/mesh job"), jobs);
    wait_idle();
}

// ---------------------------------------------------------------- lighting and meshing

using WorkerLightJobTest = WorkerTest;

TEST_F(WorkerLightJobTest, UpToDateChunkIsLeftAloneSilently) {
    Chunk* chunk = add_terrain_chunk(0, 0, 0);
    ASSERT_NE(chunk, nullptr);
    chunk->needs_relighting = false;
    chunk->meshed = true;
    testing::internal::CaptureStderr();
    worker_queue_chunk(world_, chunk);
    wait_idle();
    std::string err = testing::internal::GetCapturedStderr();

    EXPECT_EQ(err, "");
    EXPECT_EQ(chunk->active_light_buffer, 0);
    EXPECT_EQ(chunk->active_mesh, 0);
    EXPECT_EQ(chunk->visible_blocks[0], nullptr);
    EXPECT_EQ(chunk->visible_blocks[1], nullptr);
    EXPECT_FALSE(chunk->needs_relighting);
    EXPECT_TRUE(chunk->meshed);
    EXPECT_EQ(chunk->in_use_count, 0);
}

TEST_F(WorkerLightJobTest, StaleListIsRebuiltWithoutRelighting) {
    Chunk* chunk = add_terrain_chunk(0, 0, 0);
    ASSERT_NE(chunk, nullptr);
    world_chunk_set_block(chunk, 5, 5, 5, BLOCK_STONE);
    chunk->needs_relighting = false;
    chunk->meshed = false;
    testing::internal::CaptureStderr();
    worker_queue_chunk(world_, chunk);
    wait_idle();
    std::string err = testing::internal::GetCapturedStderr();

    EXPECT_TRUE(chunk->meshed);
    EXPECT_EQ(chunk->active_light_buffer, 0);
    ASSERT_EQ(chunk->visible_count[chunk->active_mesh], 1);
    EXPECT_EQ(chunk->visible_blocks[chunk->active_mesh][0].y, 5);
    EXPECT_EQ(err,
              "[worker] Caching visible blocks for chunk (0,0,0)\n"
              "[worker] Cached 1 visible blocks for chunk (0,0,0)\n");
    EXPECT_EQ(chunk->in_use_count, 0);
}

TEST_F(WorkerLightJobTest, StaleLightIsComputedIntoTheOtherBufferAndFlipped) {
    Chunk* chunk = add_terrain_chunk(0, 1, 0);
    ASSERT_NE(chunk, nullptr);
    chunk->needs_relighting = true;
    chunk->meshed = true;
    testing::internal::CaptureStderr();
    worker_queue_chunk(world_, chunk);
    wait_idle();
    std::string err = testing::internal::GetCapturedStderr();

    EXPECT_EQ(err, "[worker] Computing lighting for chunk (0,1,0)\n");
    EXPECT_EQ(chunk->active_light_buffer, 1);
    // An empty chunk under open sky is lit to full everywhere.
    EXPECT_EQ(chunk->skylight[1][10][3][4], LIGHT_MAX);
    EXPECT_EQ(chunk->skylight[0][10][3][4], 0);
    EXPECT_FALSE(chunk->needs_relighting);
    EXPECT_EQ(chunk->visible_blocks[0], nullptr);
    EXPECT_EQ(chunk->in_use_count, 0);
}

TEST_F(WorkerLightJobTest, ChunkOutOfPlayOrWithoutTerrainIsSkipped) {
    Chunk* unloaded = add_chunk(0, 0, 0);
    Chunk* bare = add_chunk(1, 0, 0);
    ASSERT_NE(unloaded, nullptr);
    ASSERT_NE(bare, nullptr);
    unloaded->generated = true;
    bare->loaded = true;
    testing::internal::CaptureStderr();
    worker_queue_chunk(world_, unloaded);
    worker_queue_chunk(world_, bare);
    wait_idle();
    std::string err = testing::internal::GetCapturedStderr();

    EXPECT_EQ(err, "");
    for (Chunk* chunk : {unloaded, bare}) {
        EXPECT_TRUE(chunk->needs_relighting);
        EXPECT_FALSE(chunk->meshed);
        EXPECT_EQ(chunk->in_use_count, 0);
    }
}

// ---------------------------------------------------------------- saving

using WorkerSaveJobTest = WorkerTest;

TEST_F(WorkerSaveJobTest, ModifiedChunkIsWrittenAndItsFlagsCleared) {
    make_world_dir("saves");
    Chunk* chunk = add_terrain_chunk(-1, 0, 2);
    ASSERT_NE(chunk, nullptr);
    world_chunk_set_block(chunk, 0, 0, 0, BLOCK_GLOWSTONE);
    ASSERT_TRUE(chunk->modified);
    worker_queue_chunk_save(world_, chunk);
    wait_idle();

    EXPECT_EQ(file_size("worlds/saves/chunks/chunk_-1_0_2.chunk"), kChunkFileBytes);
    EXPECT_FALSE(chunk->modified);
    EXPECT_FALSE(chunk->pending_save);
    EXPECT_EQ(chunk->in_use_count, 0);
}

TEST_F(WorkerSaveJobTest, UnmodifiedOrBareChunkIsNotWritten) {
    make_world_dir("saves");
    Chunk* clean = add_terrain_chunk(0, 0, 0);
    Chunk* bare = add_chunk(1, 0, 0);
    ASSERT_NE(clean, nullptr);
    ASSERT_NE(bare, nullptr);
    bare->modified = true;
    worker_queue_chunk_save(world_, clean);
    worker_queue_chunk_save(world_, bare);
    wait_idle();

    EXPECT_EQ(file_size("worlds/saves/chunks/chunk_0_0_0.chunk"), -1);
    EXPECT_EQ(file_size("worlds/saves/chunks/chunk_1_0_0.chunk"), -1);
    EXPECT_FALSE(clean->pending_save);
    EXPECT_FALSE(bare->pending_save);
    // Generation replaces every cell of a chunk without terrain, so its edit is not kept.
    EXPECT_FALSE(bare->modified);
    EXPECT_EQ(clean->in_use_count, 0);
    EXPECT_EQ(bare->in_use_count, 0);
}

TEST_F(WorkerSaveJobTest, FailedWriteKeepsEditsAndIsReported) {
    // A plain file where the chunks folder should be makes every chunk write fail.
    std::filesystem::create_directories("worlds/blocked");
    FILE* in_the_way = fopen("worlds/blocked/chunks", "w");
    ASSERT_NE(in_the_way, nullptr);
    ASSERT_EQ(fclose(in_the_way), 0);
    snprintf(world_->world_name, sizeof world_->world_name, "%s", "blocked");
    Chunk* chunk = add_terrain_chunk(4, 0, -2);
    ASSERT_NE(chunk, nullptr);
    chunk->modified = true;
    testing::internal::CaptureStderr();
    worker_queue_chunk_save(world_, chunk);
    wait_idle();
    std::string err = testing::internal::GetCapturedStderr();

    EXPECT_TRUE(chunk->modified);
    EXPECT_FALSE(chunk->pending_save);
    EXPECT_EQ(chunk->in_use_count, 0);
    EXPECT_EQ(count_of(err, "[worker] ERROR: failed to save chunk (4,0,-2) of world blocked\n"), 1);
}

TEST_F(WorkerSaveJobTest, JobForChunkRemovedBeforeItRunsIsDropped) {
    make_world_dir("saves");
    Chunk* chunk = add_terrain_chunk(3, 0, 3);
    ASSERT_NE(chunk, nullptr);
    chunk->modified = true;
    park_worker();
    worker_queue_chunk_save(world_, chunk);
    world_remove_chunk_at(world_, 0);
    testing::internal::CaptureStderr();
    release_worker();
    wait_idle();
    std::string err = testing::internal::GetCapturedStderr();

    EXPECT_EQ(world_->chunk_cache.chunk_count, 0);
    EXPECT_EQ(file_size("worlds/saves/chunks/chunk_3_0_3.chunk"), -1);
    EXPECT_EQ(err, "");
}

// ---------------------------------------------------------------- flush and shutdown

using WorkerLifecycleTest = WorkerTest;

TEST_F(WorkerLifecycleTest, FlushOfIdleWorkerReturnsWithoutWaiting) {
    testing::internal::CaptureStdout();
    worker_flush_queue(world_);
    std::string out = testing::internal::GetCapturedStdout();

    EXPECT_EQ(out, "[worker] Queue flushed after 0 checks\n");
}

TEST_F(WorkerLifecycleTest, FlushWaitsForQueuedAndRunningJobs) {
    std::vector<Chunk*> chunks;
    for (int i = 0; i < 5; i++) {
        chunks.push_back(add_terrain_chunk(i, 0, 0));
        ASSERT_NE(chunks.back(), nullptr);
    }
    // Another thread holds the cache so that it can let the worker go while this one flushes.
    std::atomic<bool> held{false};
    std::atomic<bool> flushing{false};
    std::thread holder([&] {
        pthread_mutex_lock(&world_->cache_mutex);
        held = true;
        while (!flushing) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        pthread_mutex_unlock(&world_->cache_mutex);
    });
    while (!held) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    queue_light_job(kParkedChunk, 0, kParkedChunk);
    bool taken = wait_for([](const QueueSnapshot& s) { return s.jobs.empty() && s.in_progress == 1; });
    for (Chunk* chunk : chunks) {
        worker_queue_chunk_save(world_, chunk);
    }
    testing::internal::CaptureStdout();
    flushing = true;
    worker_flush_queue(world_);
    std::string out = testing::internal::GetCapturedStdout();
    holder.join();

    ASSERT_TRUE(taken);
    for (Chunk* chunk : chunks) {
        EXPECT_FALSE(chunk->pending_save);
    }
    EXPECT_NE(out.find("[worker] Waiting for queue... (count=5, in_progress=1)\n"), std::string::npos);
    EXPECT_NE(out.find("[worker] Queue flushed after "), std::string::npos);
    EXPECT_EQ(out.find("WARNING"), std::string::npos);
}

TEST_F(WorkerLifecycleTest, FlushGivesUpOnAStuckJobAfterItsLastCheck) {
    park_worker();
    testing::internal::CaptureStdout();
    worker_flush_queue(world_);
    std::string out = testing::internal::GetCapturedStdout();
    release_worker();

    // One progress line every ten checks, from the first to the last (check 500).
    EXPECT_EQ(count_of(out, "[worker] Waiting for queue... (count=0, in_progress=1)\n"),
              WORKER_FLUSH_MAX_CHECKS / 10 + 1);
    EXPECT_NE(out.find("[worker] WARNING: Queue flush timeout! (count=0, in_progress=1)\n"), std::string::npos);
    EXPECT_EQ(out.find("Queue flushed"), std::string::npos);
}

TEST_F(WorkerLifecycleTest, ShutdownRunsEveryQueuedJobFirst) {
    make_world_dir("saves");
    std::vector<Chunk*> chunks;
    for (int i = 0; i < 10; i++) {
        Chunk* chunk = add_terrain_chunk(i, 0, -i);
        ASSERT_NE(chunk, nullptr);
        chunk->modified = true;
        chunks.push_back(chunk);
    }
    park_worker();
    for (Chunk* chunk : chunks) {
        worker_queue_chunk_save(world_, chunk);
    }
    ASSERT_EQ(snapshot().jobs.size(), 10u);
    std::thread stopper([this] { worker_shutdown(world_); });
    WorkerQueue* q = &world_->worker_queue;
    ASSERT_TRUE(wait_for([q](const QueueSnapshot&) {
        pthread_mutex_lock(&q->mutex);
        bool set = q->shutdown;
        pthread_mutex_unlock(&q->mutex);
        return set;
    }));
    release_worker();
    stopper.join();

    for (int i = 0; i < 10; i++) {
        std::string path = "worlds/saves/chunks/chunk_" + std::to_string(i) + "_0_" + std::to_string(-i) + ".chunk";
        EXPECT_EQ(file_size(path), kChunkFileBytes) << path;
        EXPECT_FALSE(chunks[i]->modified);
        EXPECT_FALSE(chunks[i]->pending_save);
    }
    EXPECT_FALSE(world_->worker_running);
}

}  // namespace

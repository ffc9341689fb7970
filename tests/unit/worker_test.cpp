// The background worker: job queue, job processing, flush and shutdown.
//
// To inspect the queue while jobs wait, a test holds the world's cache_mutex
// after the worker has taken a job for an uncached chunk: the worker then
// blocks looking that chunk up and takes nothing else until the test lets go.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "temp_world_fixture.h"
#include "world.h"

namespace {

constexpr int32_t kParkedChunk = 900;  // never cached: jobs for it are dropped

int count_of(const std::string& text, const std::string& needle) {
    int n = 0;
    for (size_t at = text.find(needle); at != std::string::npos; at = text.find(needle, at + 1)) n++;
    return n;
}

std::string chunk_file(int32_t x, int32_t y, int32_t z) {
    char path[WORLD_PATH_MAX];
    world_chunk_path(path, "saves", x, y, z);
    return path;
}

void sleep_ms(int ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

class WorkerTest : public TempWorldTest {
protected:
    void SetUp() override {
        TempWorldTest::SetUp();
        probe_.reset(chunk_create(0, 0, 0));
        std::filesystem::create_directories("worlds/saves/chunks");
        snprintf(world_->world_name, sizeof world_->world_name, "%s", "saves");
    }

    void TearDown() override {
        if (parked_) release_worker();
        TempWorldTest::TearDown();
    }

    // Queues a job through the public entry point for any coordinates.
    void queue_light_job(int32_t x, int32_t y, int32_t z) {
        probe_->chunk_x = x;
        probe_->chunk_y = y;
        probe_->chunk_z = z;
        worker_queue_chunk(world_, probe_.get());
    }

    std::vector<WorkerJob> jobs() {
        WorkerQueue* q = &world_->worker_queue;
        pthread_mutex_lock(&q->mutex);
        std::vector<WorkerJob> s(q->queue, q->queue + q->count);
        pthread_mutex_unlock(&q->mutex);
        return s;
    }

    // Waits on the queue's own state, with a deadline far beyond any real run.
    bool wait_for(int queued, int running) {
        WorkerQueue* q = &world_->worker_queue;
        for (int i = 0; i < 60000; i++, sleep_ms(1)) {
            pthread_mutex_lock(&q->mutex);
            const bool done = q->count == queued && q->jobs_in_progress == running;
            pthread_mutex_unlock(&q->mutex);
            if (done) return true;
        }
        return false;
    }

    void park_worker() {
        pthread_mutex_lock(&world_->cache_mutex);
        parked_ = true;
        queue_light_job(kParkedChunk, 0, kParkedChunk);
        ASSERT_TRUE(wait_for(0, 1));
    }

    void release_worker() {
        parked_ = false;
        pthread_mutex_unlock(&world_->cache_mutex);
    }

    ChunkPtr probe_;
    bool parked_ = false;
};

// While the worker is parked: the same job twice waits once and logs once; a
// job being processed can be queued again; light and save jobs of one chunk
// both wait, in order; a save request while a save is pending adds nothing;
// the queue doubles past its initial capacity keeping every job in order.
TEST_F(WorkerTest, QueueKeepsOneJobOfAKindPerChunkInOrder) {
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
    EXPECT_TRUE(chunk->pending_save);
    const int more = WORKER_QUEUE_INITIAL_CAPACITY - 3;
    for (int i = 0; i < more; i++) queue_light_job(i, -i, 7);
    const std::string out = testing::internal::GetCapturedStdout();
    const std::vector<WorkerJob> s = jobs();
    release_worker();

    ASSERT_EQ(static_cast<int>(s.size()), 4 + more);
    EXPECT_EQ(world_->worker_queue.capacity, 2 * WORKER_QUEUE_INITIAL_CAPACITY);
    const WorkerJob first[] = {{kParkedChunk, 0, kParkedChunk, WORKER_JOB_LIGHTING_AND_MESH},
                               {1, 2, 3, WORKER_JOB_LIGHTING_AND_MESH},
                               {-1, 0, 2, WORKER_JOB_LIGHTING_AND_MESH},
                               {-1, 0, 2, WORKER_JOB_SAVE_CHUNK}};
    for (int i = 0; i < 4 + more; i++) {
        const WorkerJob want = i < 4 ? first[i] : WorkerJob{i - 4, 4 - i, 7, WORKER_JOB_LIGHTING_AND_MESH};
        EXPECT_TRUE(s[i].type == want.type && s[i].chunk_x == want.chunk_x && s[i].chunk_y == want.chunk_y &&
                    s[i].chunk_z == want.chunk_z)
            << i;
    }
    EXPECT_EQ(count_of(out, "[worker] Queued light/mesh job for chunk (1,2,3)\n"), 1);
    EXPECT_EQ(count_of(out, "[worker] Queued save job for chunk (-1,0,2)\n"), 1);
    EXPECT_EQ(count_of(out, "save job"), 1);
    EXPECT_TRUE(pending->pending_save);
    ASSERT_TRUE(wait_for(0, 0));
}

// A light job relights what is stale into the other buffer, rebuilds a stale
// list, leaves an up-to-date chunk alone and skips chunks out of play or
// without terrain; it never leaves its chunk pinned.
TEST_F(WorkerTest, LightJobDoesOnlyWhatIsStale) {
    const struct {
        bool generated, loaded, relight, meshed;
        const char* log;
    } cases[] = {
        {true, true, false, true, ""},
        {true, true, false, false,
         "[worker] Caching visible blocks for chunk (0,1,0)\n[worker] Cached 1 visible blocks for chunk (0,1,0)\n"},
        {true, true, true, true, "[worker] Computing lighting for chunk (0,1,0)\n"},
        {true, false, true, false, ""},
        {false, true, true, false, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.log);
        world_clear_chunks(world_);
        Chunk* chunk = add_chunk(0, 1, 0, c.loaded);
        chunk->generated = c.generated;
        world_chunk_set_block(chunk, 5, 5, 5, BLOCK_STONE);
        chunk->needs_relighting = c.relight;
        chunk->meshed = c.meshed;
        testing::internal::CaptureStderr();
        worker_queue_chunk(world_, chunk);
        ASSERT_TRUE(wait_for(0, 0));
        EXPECT_EQ(testing::internal::GetCapturedStderr(), c.log);
        const bool runs = c.generated && c.loaded, listed = runs && !c.meshed;
        EXPECT_EQ(chunk->active_light_buffer, runs && c.relight ? 1 : 0);
        EXPECT_EQ(chunk->skylight[1][10][3][4], runs && c.relight ? LIGHT_MAX : 0);
        EXPECT_EQ(chunk->needs_relighting, c.relight && !runs);
        EXPECT_EQ(chunk->meshed, c.meshed || (runs && !c.relight));
        EXPECT_EQ(chunk->active_mesh, listed ? 1 : 0);
        EXPECT_EQ(chunk->visible_blocks[1] != nullptr, listed);
        EXPECT_TRUE(!listed || (chunk->visible_count[1] == 1 && chunk->visible_blocks[1][0].y == 5));
        EXPECT_EQ(chunk->in_use_count, 0);
    }
}

// A save job writes a modified chunk with terrain and clears its flags; it
// writes nothing for an unmodified chunk or one without terrain (whose edit
// generation would replace); a failed write keeps the edits and is reported.
TEST_F(WorkerTest, SaveJobWritesOnlyModifiedTerrain) {
    Chunk* edited = add_chunk(-1, 0, 2);
    world_chunk_set_block(edited, 0, 0, 0, BLOCK_GLOWSTONE);
    Chunk* clean = add_chunk(0, 0, 0);
    Chunk* bare = add_chunk(1, 0, 0);
    bare->generated = false;
    bare->modified = true;
    for (Chunk* c : {edited, clean, bare}) worker_queue_chunk_save(world_, c);
    ASSERT_TRUE(wait_for(0, 0));
    EXPECT_EQ(file_size(chunk_file(-1, 0, 2)), WORLD_CHUNK_FILE_BYTES);
    EXPECT_EQ(file_size(chunk_file(0, 0, 0)) + file_size(chunk_file(1, 0, 0)), -2);
    for (Chunk* c : {edited, clean, bare}) EXPECT_FALSE(c->modified || c->pending_save || c->in_use_count);

    // A plain file where the chunks folder should be makes every chunk write fail.
    std::filesystem::create_directories("worlds/blocked");
    write_file("worlds/blocked/chunks", "");
    snprintf(world_->world_name, sizeof world_->world_name, "%s", "blocked");
    Chunk* chunk = add_chunk(4, 0, -2);
    chunk->modified = true;
    testing::internal::CaptureStderr();
    worker_queue_chunk_save(world_, chunk);
    ASSERT_TRUE(wait_for(0, 0));
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_TRUE(chunk->modified);
    EXPECT_FALSE(chunk->pending_save || chunk->in_use_count);
    EXPECT_EQ(count_of(err, "[worker] ERROR: failed to save chunk (4,0,-2) of world blocked\n"), 1) << err;
}

// A flush of an idle worker returns at once; otherwise it waits for queued
// and running jobs, reporting every tenth check.
TEST_F(WorkerTest, FlushWaitsForQueuedAndRunningJobs) {
    testing::internal::CaptureStdout();
    worker_flush_queue(world_);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "[worker] Queue flushed after 0 checks\n");

    std::vector<Chunk*> chunks;
    for (int i = 0; i < 5; i++) chunks.push_back(add_chunk(i, 0, 0));
    // Another thread parks the worker, so that it can let it go while this one flushes.
    std::atomic<int> stage{0};
    std::thread holder([&] {
        pthread_mutex_lock(&world_->cache_mutex);
        for (stage = 1; stage != 2;) sleep_ms(1);
        sleep_ms(200);
        pthread_mutex_unlock(&world_->cache_mutex);
    });
    while (stage != 1) sleep_ms(1);
    queue_light_job(kParkedChunk, 0, kParkedChunk);
    EXPECT_TRUE(wait_for(0, 1));
    for (Chunk* chunk : chunks) worker_queue_chunk_save(world_, chunk);
    testing::internal::CaptureStdout();
    stage = 2;
    worker_flush_queue(world_);
    const std::string out = testing::internal::GetCapturedStdout();
    holder.join();
    for (Chunk* chunk : chunks) EXPECT_FALSE(chunk->pending_save);
    EXPECT_NE(out.find("[worker] Waiting for queue... (count=5, in_progress=1)\n"), std::string::npos) << out;
    EXPECT_NE(out.find("[worker] Queue flushed after "), std::string::npos);
    EXPECT_EQ(out.find("WARNING"), std::string::npos);
}

TEST_F(WorkerTest, FlushGivesUpOnAStuckJobAfterItsLastCheck) {
    park_worker();
    testing::internal::CaptureStdout();
    worker_flush_queue(world_);
    const std::string out = testing::internal::GetCapturedStdout();
    release_worker();
    // One progress line every ten checks, from the first to the last (check 500).
    EXPECT_EQ(count_of(out, "[worker] Waiting for queue... (count=0, in_progress=1)\n"),
              WORKER_FLUSH_MAX_CHECKS / 10 + 1);
    EXPECT_NE(out.find("[worker] WARNING: Queue flush timeout! (count=0, in_progress=1)\n"), std::string::npos);
    EXPECT_EQ(out.find("Queue flushed"), std::string::npos);
}

// Shutdown runs every queued job first; a job whose chunk was removed before
// it ran is dropped without a word.
TEST_F(WorkerTest, ShutdownRunsEveryQueuedJobFirst) {
    std::vector<Chunk*> chunks;
    for (int i = 0; i < 11; i++) {
        chunks.push_back(add_chunk(i, 0, -i));
        chunks.back()->modified = true;
    }
    park_worker();
    for (Chunk* chunk : chunks) worker_queue_chunk_save(world_, chunk);
    ASSERT_EQ(jobs().size(), 11u);
    world_remove_chunk_at(world_, 10);
    testing::internal::CaptureStderr();
    std::thread stopper([this] { worker_shutdown(world_); });
    WorkerQueue* q = &world_->worker_queue;
    for (bool set = false; !set; sleep_ms(1)) {
        pthread_mutex_lock(&q->mutex);
        set = q->shutdown;
        pthread_mutex_unlock(&q->mutex);
    }
    release_worker();
    stopper.join();
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    for (int i = 0; i < 10; i++) {
        EXPECT_EQ(file_size(chunk_file(i, 0, -i)), WORLD_CHUNK_FILE_BYTES) << i;
        EXPECT_FALSE(chunks[i]->modified || chunks[i]->pending_save);
    }
    EXPECT_EQ(file_size(chunk_file(10, 0, -10)), -1);
    EXPECT_FALSE(world_->worker_running);
}

}  // namespace

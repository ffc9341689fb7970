// Saving while the game runs: two writers of one chunk file on a slow disk,
// save requests that cannot be queued, and autosave.
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <random>
#include <string>

#include "game.h"
#include "game_loop.h"
#include "player.h"
#include "temp_world_fixture.h"
#include "world.h"

// The test binary is linked with --wrap=fsync: every sync of the game's files
// comes through here and, while the disk is slow, takes 20 ms longer, which
// holds a save job between its copy of the cells and its rename.
static std::atomic<bool> slow_disk{false};

extern "C" int __real_fsync(int fd);
extern "C" int __wrap_fsync(int fd);
extern "C" int __wrap_fsync(int fd) {
    if (slow_disk.load()) usleep(20000);
    return __real_fsync(fd);
}

namespace {

// The cell of world block (x, y, z) as stored in the chunk file of its chunk.
int32_t cell_on_disk(const char* world_name, int x, int y, int z) {
    char path[WORLD_PATH_MAX];
    world_chunk_path(path, world_name, world_to_chunk_xz(x), world_to_chunk_y(y), world_to_chunk_xz(z));
    FILE* file = fopen(path, "rb");
    if (!file) return -1;
    const long offset =
        4L * ((world_to_local_y(y) * CHUNK_SIZE + world_to_local_xz(z)) * CHUNK_SIZE + world_to_local_xz(x));
    unsigned char b[4] = {0, 0, 0, 0};
    const bool ok = fseek(file, offset, SEEK_SET) == 0 && fread(b, 1, 4, file) == 4;
    fclose(file);
    return ok ? static_cast<int32_t>(b[0] | (b[1] << 8) | (b[2] << 16) | (static_cast<uint32_t>(b[3]) << 24)) : -1;
}

class SaveConcurrencyTest : public TempWorldTest {
protected:
    void TearDown() override {
        slow_disk = false;
        TempWorldTest::TearDown();
    }
};

TEST_F(SaveConcurrencyTest, NewestCopyOfAChunkWinsOverAnOlderSaveJob) {
    world_->seed = 3;
    ASSERT_TRUE(world_load(world_, "race"));
    worker_flush_queue(world_);
    Chunk* chunk = world_get_chunk(world_, 0, 1, 0);
    ASSERT_NE(chunk, nullptr);
    slow_disk = true;
    std::mt19937 rng(11);
    int lost = 0;
    const int rounds = 100;
    for (int round = 0; round < rounds; round++) {
        // Every round edits two cells of its own, high above the terrain.
        const int x = round % CHUNK_SIZE, z = round / CHUNK_SIZE, y = 124;
        world_set_block(world_, x, y, z, BLOCK_STONE);
        worker_queue_chunk_save(world_, chunk);
        usleep(static_cast<useconds_t>(rng() % 30000));
        world_set_block(world_, x, y + 1, z, BLOCK_GLOWSTONE);
        ASSERT_TRUE(world_save(world_, "race"));
        worker_flush_queue(world_);
        if (cell_on_disk("race", x, y + 1, z) != BLOCK_GLOWSTONE) lost++;
        ASSERT_EQ(cell_on_disk("race", x, y, z), BLOCK_STONE) << "round " << round;
    }
    EXPECT_EQ(lost, 0) << lost << " of " << rounds << " rounds left an older copy on disk";
}

TEST_F(SaveConcurrencyTest, SaveRequestThatCannotBeQueuedLeavesTheChunkFreeToGo) {
    Chunk* chunk = add_chunk(2, 0, 2, false);
    chunk->modified = true;
    // A worker that has ended takes no jobs, like a queue that cannot grow.
    worker_shutdown(world_);
    testing::internal::CaptureStderr();
    worker_queue_chunk_save(world_, chunk);
    const std::string err = testing::internal::GetCapturedStderr();

    EXPECT_FALSE(chunk->pending_save) << "streaming would keep the chunk until the program ends";
    EXPECT_TRUE(chunk->modified);
    EXPECT_NE(err.find("dropped save job for chunk (2,0,2)"), std::string::npos) << err;
}

class WorkerAutosaveTest : public TempWorldTest {
protected:
    void SetUp() override {
        TempWorldTest::SetUp();
        world_->seed = 5;
        ASSERT_TRUE(world_load(world_, "auto"));
        worker_flush_queue(world_);
    }

    int autosave_and_wait(Vector3 position) {
        const int queued = world_autosave(world_, position);
        worker_flush_queue(world_);
        return queued;
    }
};

TEST_F(WorkerAutosaveTest, EditsAndPositionReachTheFilesOnlyWhenSomethingChanged) {
    world_set_block(world_, 3, 120, 4, BLOCK_GLOWSTONE);  // chunk (0,1,0)
    world_set_block(world_, -3, 120, 4, BLOCK_WOOD);      // chunk (-1,1,0)
    EXPECT_EQ(autosave_and_wait(Vector3{1.5f, 121.0f, 2.25f}), 2);
    EXPECT_TRUE(cell_on_disk("auto", 3, 120, 4) == BLOCK_GLOWSTONE && cell_on_disk("auto", -3, 120, 4) == BLOCK_WOOD);
    EXPECT_EQ(cell_on_disk("auto", 3, 120, 40), -1) << "an unedited chunk was written";
    EXPECT_FALSE(world_get_chunk(world_, 0, 1, 0)->modified);
    const std::string text = read_file("./worlds/auto/world.txt");
    EXPECT_NE(text.find("player_x=1.500000\nplayer_y=121.000000\nplayer_z=2.250000\n"), std::string::npos) << text;

    // Nothing edited and the player still: nothing is written at all.
    ASSERT_EQ(remove("./worlds/auto/world.txt"), 0);
    EXPECT_EQ(autosave_and_wait(Vector3{1.5f, 121.0f, 2.25f}), 0);
    EXPECT_EQ(read_file("./worlds/auto/world.txt"), "");

    // The player moved: world.txt follows, and no chunk is written.
    EXPECT_EQ(autosave_and_wait(Vector3{7.0f, 110.0f, -3.5f}), 0);
    EXPECT_NE(read_file("./worlds/auto/world.txt").find("player_x=7.000000\n"), std::string::npos);
}

TEST_F(WorkerAutosaveTest, RunsEveryFiveSecondsOfPlay) {
    GameState game = {};
    game.world = world_;
    game.player = player_create(2.0f, 121.0f, 2.0f);
    ASSERT_NE(game.player, nullptr);
    world_set_block(world_, 3, 120, 4, BLOCK_GLOWSTONE);
    const struct {
        float dt;
        bool saved;
    } frames[] = {{1.0f, false}, {2.5f, false}, {1.4f, false}, {0.2f, true}, {4.9f, false}, {0.1f, true}};
    for (const auto& frame : frames) {
        game.frame.dt = frame.dt;
        const bool was_modified = world_get_chunk(world_, 0, 1, 0)->modified;
        game_autosave_tick(&game);
        worker_flush_queue(world_);
        EXPECT_EQ(was_modified && !world_get_chunk(world_, 0, 1, 0)->modified, frame.saved) << "dt " << frame.dt;
        world_set_block(world_, 3, 120, 4, frame.saved ? BLOCK_STONE : BLOCK_GLOWSTONE);
    }
    player_free(game.player);
}

}  // namespace

// Saving while the game runs: two writers of one chunk file, and autosave.
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <random>

#include "game_loop.h"
#include "player.h"
#include "temp_world_fixture.h"

// Linked with --wrap=fsync: a slow disk holds a save job 20 ms between its copy of the cells and its rename.
static std::atomic<bool> slow_disk{false};

extern "C" int __real_fsync(int fd);
extern "C" int __wrap_fsync(int fd);
extern "C" int __wrap_fsync(int fd) {
    if (slow_disk.load()) usleep(20000);
    return __real_fsync(fd);
}

namespace {

// The cell of world block (x, y, z) as stored in the chunk file of its chunk; -1 when there is none.
int32_t cell_on_disk(const char* world_name, int x, int y, int z) {
    char path[WORLD_PATH_MAX];
    world_chunk_path(path, world_name, world_to_chunk_xz(x), world_to_chunk_y(y), world_to_chunk_xz(z));
    std::ifstream in(path, std::ios::binary);
    in.seekg(4L * ((world_to_local_y(y) * CHUNK_SIZE + world_to_local_xz(z)) * CHUNK_SIZE + world_to_local_xz(x)));
    int32_t cell = -1;  // the file is little-endian, as is the machine
    in.read(reinterpret_cast<char*>(&cell), 4);
    return in ? cell : -1;
}

class SaveConcurrencyTest : public TempWorldTest {
protected:
    void load(uint64_t seed, const char* name) {
        world_->seed = seed;
        ASSERT_TRUE(world_load(world_, name));
        worker_flush_queue(world_);
    }

    void TearDown() override {
        slow_disk = false;
        TempWorldTest::TearDown();
    }
};

// Each round edits one cell before a save job is queued and one before a whole-world save runs.
TEST_F(SaveConcurrencyTest, NewestCopyOfAChunkWinsOverAnOlderSaveJob) {
    load(3, "race");
    Chunk* chunk = world_get_chunk(world_, 0, 1, 0);
    slow_disk = true;
    std::mt19937 rng(11);
    int lost = 0;
    for (int round = 0; round < 100; round++) {
        const int x = round % CHUNK_SIZE, z = round / CHUNK_SIZE, y = 124;
        world_set_block(world_, x, y, z, BLOCK_STONE);
        worker_queue_chunk_save(world_, chunk);
        usleep(static_cast<useconds_t>(rng() % 30000));
        world_set_block(world_, x, y + 1, z, BLOCK_GLOWSTONE);
        ASSERT_TRUE(world_save(world_, "race"));
        worker_flush_queue(world_);
        lost += cell_on_disk("race", x, y + 1, z) != BLOCK_GLOWSTONE;
        ASSERT_EQ(cell_on_disk("race", x, y, z), BLOCK_STONE) << "round " << round;
    }
    EXPECT_EQ(lost, 0) << lost << " of 100 rounds left an older copy on disk";
}

using AutosaveTest = SaveConcurrencyTest;

// A save that cannot be queued leaves the chunk free to go: streaming keeps a chunk until its save is done.
TEST_F(AutosaveTest, WritesEditsAndPositionEveryFiveSecondsWhenSomethingChanged) {
    load(5, "auto");
    world_set_block(world_, 3, 120, 4, BLOCK_GLOWSTONE);  // chunk (0,1,0)
    world_set_block(world_, -3, 120, 4, BLOCK_WOOD);      // chunk (-1,1,0)
    EXPECT_EQ(world_autosave(world_, Vector3{1.5f, 121.0f, 2.25f}), 2);
    worker_flush_queue(world_);
    EXPECT_TRUE(cell_on_disk("auto", 3, 120, 4) == BLOCK_GLOWSTONE && cell_on_disk("auto", -3, 120, 4) == BLOCK_WOOD);
    ASSERT_EQ(remove("./worlds/auto/world.txt"), 0);
    EXPECT_EQ(world_autosave(world_, Vector3{1.5f, 121.0f, 2.25f}), 0);
    worker_flush_queue(world_);
    EXPECT_EQ(file_size("./worlds/auto/world.txt"), -1) << "nothing edited and the player still: nothing written";
    EXPECT_EQ(world_autosave(world_, Vector3{7.0f, 110.0f, -3.5f}), 0);
    worker_flush_queue(world_);
    EXPECT_NE(read_file("./worlds/auto/world.txt").find("player_x=7.000000\nplayer_y=110.000000\nplayer_z=-3.500000\n"),
              std::string::npos);

    GameState game = {};
    game.world = world_;
    game.player = player_create(7.0f, 110.0f, -3.5f);
    Chunk* edited = world_get_chunk(world_, 0, 1, 0);
    for (const auto& [dt, saved] :
         {std::pair(1.0f, false), {2.5f, false}, {1.4f, false}, {0.2f, true}, {4.9f, false}, {0.1f, true}}) {
        edited->modified = true;
        game.frame.dt = dt;
        game_autosave_tick(&game);
        worker_flush_queue(world_);
        EXPECT_EQ(!edited->modified, saved) << "dt " << dt;
    }
    player_free(game.player);
    worker_shutdown(world_);  // a worker that has ended takes no jobs, like a queue that cannot grow
    edited->modified = true;
    testing::internal::CaptureStderr();
    world_autosave(world_, Vector3{});
    EXPECT_NE(testing::internal::GetCapturedStderr().find("dropped save job for chunk (0,1,0)"), std::string::npos);
    EXPECT_TRUE(edited->modified && !edited->pending_save);
}

}  // namespace

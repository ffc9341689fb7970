// Saved worlds: chunk files, world.txt, saving, loading, names, failed writes and kills mid-save.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <random>
#include <span>

#include "temp_world_fixture.h"

namespace {

namespace fs = std::filesystem;

int entries_in(const std::string& dir) {
    std::error_code ec;
    return static_cast<int>(std::distance(fs::directory_iterator(dir, ec), fs::directory_iterator()));
}

std::string chunk_file(const std::string& world, int x) {
    return "./worlds/" + world + "/chunks/chunk_" + std::to_string(x) + "_0_0.chunk";
}

Chunk* pattern(Chunk* c, int salt) {
    Block* cells = &c->blocks[0][0][0];
    for (int i = 0; i < CHUNK_SIZE * CHUNK_HEIGHT * CHUNK_SIZE; i++)
        cells[i].type = static_cast<BlockType>((i * 7 + i / 5 + salt) % 8);
    c->modified = true;
    return c;
}

using WorldFilesTest = TempWorldTest;  // the running world is "default"

// A damaged world.txt keeps the defaults where it is unusable; a load leaves the 27 chunks around the origin cached.
TEST_F(WorldFilesTest, MetadataIsWrittenExactlyAndReadBackSafely) {
    setenv("TZ", "UTC", 1);
    tzset();
    ASSERT_TRUE(fs::create_directories("worlds/default"));
    for (int i = 0; i < 3; i++) add_chunk(i, 0, 0);
    world_->seed = 18446744073709551615ull;
    world_->last_player_position = Vector3{-1.5f, 1e6f, 0.125f};
    ASSERT_TRUE(world_write_metadata(world_, "default", 1769882709));  // 2026-01-31 18:05:09 UTC
    EXPECT_EQ(read_file("./worlds/default/world.txt"),
              "name=default\nseed=18446744073709551615\nlast_saved=2026-01-31 18:05:09\nchunk_count=3\n"
              "player_x=-1.500000\nplayer_y=1000000.000000\nplayer_z=0.125000\n");
    // Damaged values, and the tail of an overlong line, which is not a line, change nothing.
    write_file("./worlds/default/world.txt", "seed=7\nplayer_x=nan\nplayer_y=inf\nplayer_z=1e39\nplayer_x=oops\n" +
                                                 std::string(400, 'a') + "player_y=5\nseed=x\nplayer_z=-3.5\nname=x\n");
    add_chunk(40, 0, 40);
    world_->last_loaded_chunk_x = 5;
    ASSERT_TRUE(world_load(world_, "default"));
    const Vector3 p = world_->last_player_position;
    EXPECT_TRUE(world_->seed == 7 && p.x == 8.0f && p.y == 20.0f && p.z == -3.5f) << p.x << "," << p.y << "," << p.z;
    EXPECT_EQ(world_->last_loaded_chunk_x, WORLD_NO_CHUNK);
    EXPECT_TRUE(count() == 27 && get(40, 0, 40) == nullptr && get(-1, -1, -1) && get(1, 1, 1));
    for (const Chunk& c : std::span(world_->chunk_cache.chunks, 27)) EXPECT_TRUE(c.generated && c.loaded);  // in play
    worker_flush_queue(world_);
}

// A save rewrites only chunks whose files are stale; a copy also carries the chunks streaming already dropped.
TEST_F(WorldFilesTest, NamesAreCheckedSavesWriteWhatChangedAndCopiesCarryEveryChunk) {
    const std::string too_long(WORLD_NAME_MAX, 'n');  // the console's commands try the other bad names
    EXPECT_FALSE(world_save(world_, too_long.c_str()) || world_load(world_, too_long.c_str()) ||
                 world_save_chunk(add_chunk(0, 0, 0), too_long.c_str()) || world_save_chunk(nullptr, "x") ||
                 world_save(nullptr, "x") || world_save(world_, nullptr) || world_load(world_, nullptr));
    EXPECT_EQ(entries_in("."), 0);
    ASSERT_TRUE(world_save(world_, too_long.c_str() + 1) && world_save(world_, "a\"; touch pwned; `x` $(id) & |"));
    EXPECT_EQ(file_size("pwned"), -1);
    for (int i = 0; i < 3; i++) pattern(add_chunk(i, 0, 0), i);
    add_chunk(9, 9, 9)->generated = false;
    at(0)->blocks[0][0][0].type = static_cast<BlockType>(0x01020304);
    at(0)->blocks[63][31][31].type = static_cast<BlockType>(-2);
    ASSERT_TRUE(world_save_chunk(at(0), "default"));
    EXPECT_TRUE(at(0)->modified) << "a save job clears the flags itself";
    const std::string bytes = read_file(chunk_file("default", 0));
    EXPECT_EQ(bytes.substr(0, 4) + bytes.substr(262140), std::string("\x04\x03\x02\x01\xfe\xff\xff\xff", 8));

    ASSERT_TRUE(world_save(world_, "default"));
    EXPECT_FALSE(at(0)->modified || at(1)->modified || at(2)->modified);
    EXPECT_EQ(entries_in("./worlds/default/chunks") + entries_in("./worlds/default"), 5) << "no air file, no temporary";
    write_file(chunk_file("default", 0), std::string(WORLD_CHUNK_FILE_BYTES, 'x'));  // stands for the cells it holds
    world_chunk_set_block(at(1), 0, 0, 0, BLOCK_GLOWSTONE);
    ASSERT_EQ(remove(chunk_file("default", 2).c_str()), 0);
    ASSERT_TRUE(world_save(world_, "default"));
    EXPECT_EQ(read_file(chunk_file("default", 0))[0], 'x') << "an unchanged chunk was written again";
    EXPECT_EQ(read_file(chunk_file("default", 1)).substr(0, 4), std::string("\x07\x00\x00\x00", 4));
    const std::string dropped = read_file(chunk_file("default", 2));
    EXPECT_EQ(dropped.size(), static_cast<size_t>(WORLD_CHUNK_FILE_BYTES));

    world_remove_chunk_at(world_, 2);
    pattern(add_chunk(1, 0, 0), 5);
    write_file("./worlds/default/chunks/notes.txt", "not a chunk");
    ASSERT_TRUE(world_save(world_, "copy"));
    EXPECT_STREQ(world_->world_name, "default");
    EXPECT_TRUE(at(1)->modified) << "streaming and autosave must still write it";
    EXPECT_NE(read_file("./worlds/copy/world.txt").find("name=copy\n"), std::string::npos);
    EXPECT_EQ(read_file(chunk_file("copy", 2)), dropped);
    EXPECT_NE(read_file(chunk_file("copy", 1)), read_file(chunk_file("default", 1)));
    EXPECT_EQ(entries_in("./worlds/copy/chunks"), 3) << "only chunk files are copied";
}

// Root ignores permission bits: something of the wrong kind where a file or folder goes stands for an unwritable one.
TEST_F(WorldFilesTest, FailedWritesAreReportedAndKeepOnlyThoseChunksModified) {
    pattern(add_chunk(0, 0, 0), 0);
    pattern(add_chunk(1, 0, 0), 0);
    write_file("worlds", "not a folder");
    testing::internal::CaptureStderr();
    EXPECT_FALSE(world_save(world_, "default") || world_save_chunk(at(0), "default"));
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("World default not saved: its directories could not be created"), std::string::npos) << err;
    EXPECT_TRUE(at(0)->modified && at(1)->modified);

    ASSERT_EQ(remove("worlds"), 0);
    fs::create_directories("worlds/default/chunks/chunk_1_0_0.chunk");  // cannot be renamed over
    fs::create_directories("worlds/default/world.txt");
    testing::internal::CaptureStderr();
    EXPECT_FALSE(world_save(world_, "default"));
    err = testing::internal::GetCapturedStderr();
    for (const char* failed : {"to ./worlds/default/chunks/chunk_1_0_0.chunk:", "to ./worlds/default/world.txt:",
                               "World default was not saved completely"})
        EXPECT_NE(err.find(failed), std::string::npos) << failed;
    EXPECT_FALSE(at(0)->modified) << "the chunk itself was written";
    EXPECT_TRUE(at(1)->modified);
    EXPECT_EQ(entries_in("worlds/default") + entries_in("worlds/default/chunks"), 4)
        << "the failed temporary files were removed";
}

// Seven lines, the position written with its own round's seed.
bool metadata_is_whole(const std::string& text) {
    unsigned long seed = 0;
    float x = 0;
    const int read =
        sscanf(text.c_str(), "name=crash\nseed=%lu\nlast_saved=%*[^\n]\nchunk_count=4\nplayer_x=%f\n", &seed, &x);
    return read == 2 && x == static_cast<float>(seed % 1000) && std::count(text.begin(), text.end(), '\n') == 7 &&
           text.back() == '\n';
}

[[noreturn]] void save_in_a_loop(World* world) {
    for (int round = 1;; round++) {
        world->seed = static_cast<uint64_t>(round);
        world->last_player_position.x = static_cast<float>(round % 1000);
        for (int i = 0; i < world->chunk_cache.chunk_count; i++) {
            fill_chunk(&world->chunk_cache.chunks[i], static_cast<BlockType>(round));
            world->chunk_cache.chunks[i].modified = true;
        }
        round % 3 == 0 ? world_save_chunk(&world->chunk_cache.chunks[0], "crash") : world_save(world, "crash");
    }
}

TEST_F(WorldFilesTest, KillDuringSavesLeavesEveryFileWhole) {
    for (int i = 0; i < 4; i++) add_chunk(i, 0, 0);
    world_->last_player_position.x = static_cast<float>(world_->seed % 1000);  // as every round writes it
    ASSERT_TRUE(world_save(world_, "crash"));
    std::mt19937 rng(1234);
    int runs_that_changed_files = 0;
    for (int run = 0; run < 50; run++) {
        const std::string before = read_file("./worlds/crash/world.txt");
        fflush(nullptr);
        pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) save_in_a_loop(world_);  // the copy of the world in the child; its worker is not copied
        usleep(1000 + rng() % 60000);
        ASSERT_TRUE(kill(child, SIGKILL) == 0 && waitpid(child, nullptr, 0) == child);
        for (int i = 0; i < 4; i++) {  // every cell holds one round's value: whole, from one save
            const std::string cells = read_file(chunk_file("crash", i));
            ASSERT_TRUE(cells.size() == WORLD_CHUNK_FILE_BYTES && cells.substr(4) == cells.substr(0, cells.size() - 4))
                << run << ": " << i;
        }
        const std::string text = read_file("./worlds/crash/world.txt");
        ASSERT_TRUE(metadata_is_whole(text)) << "run " << run << ":\n" << text;
        runs_that_changed_files += text != before;
    }
    EXPECT_GT(runs_that_changed_files, 10) << "the children must get to replace files before they die";
    // Loading clears away the temporary files of killed writers, and only them.
    write_file("worlds/crash/chunks/chunk_5_5_5.chunk.tmp.123.456.7", "partial");
    write_file("worlds/crash/world.txt.tmp.123.456.8", "name=");
    write_file("worlds/crash/chunks/notes.tmp.txt", "mine");  // not one of the game's names
    ASSERT_TRUE(world_load(world_, "crash"));
    worker_flush_queue(world_);
    EXPECT_EQ(entries_in("./worlds/crash/chunks") + entries_in("./worlds/crash"), 7);
}

}  // namespace

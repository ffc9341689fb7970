// Saved worlds: chunk file format and names, world.txt, world_save and
// world_load, refused names, failed writes and kills in the middle of a save.
#include <dirent.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <cmath>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "temp_world_fixture.h"
#include "world.h"

namespace {

// Number of entries in `dir` (files and folders, "." and ".." excluded).
int entries_in(const std::string& dir) {
    int n = 0;
    if (DIR* d = opendir(dir.c_str())) {
        while (struct dirent* e = readdir(d)) n += strcmp(e->d_name, ".") != 0 && strcmp(e->d_name, "..") != 0;
        closedir(d);
    }
    return n;
}

ino_t inode_of(const std::string& path) {
    struct stat st = {};
    return stat(path.c_str(), &st) == 0 ? st.st_ino : 0;
}

class WorldFilesTest : public TempWorldTest {
protected:
    void SetUp() override {
        TempWorldTest::SetUp();
        world_->seed = 42;
        snprintf(world_->world_name, sizeof world_->world_name, "%s", "home");
    }

    // A modified chunk in play whose cells follow a pattern seeded by `salt`.
    Chunk* patterned_chunk(int32_t cx, int32_t cy, int32_t cz, int salt) {
        Chunk* c = add_chunk(cx, cy, cz);
        for (int y = 0; y < CHUNK_HEIGHT; y++)
            for (int z = 0; z < CHUNK_SIZE; z++)
                for (int x = 0; x < CHUNK_SIZE; x++)
                    c->blocks[y][z][x].type = static_cast<BlockType>((x * 7 + y * 3 + z + salt) % 8);
        c->modified = true;
        return c;
    }

    void expect_position(float x, float y, float z) {
        const Vector3 p = world_->last_player_position;
        EXPECT_TRUE(p.x == x && p.y == y && p.z == z) << p.x << "," << p.y << "," << p.z;
    }
};

// Raw little-endian cells in memory order, every value kept (unknown ones too),
// under a name with signed coordinates; world_save_chunk touches no flag.
TEST_F(WorldFilesTest, ChunkFilesHoldEveryCellAndReadBack) {
    char path[WORLD_PATH_MAX];
    world_chunk_path(path, "home", -2147483647 - 1, 2147483647, -5);
    EXPECT_STREQ(path, "./worlds/home/chunks/chunk_-2147483648_2147483647_-5.chunk");
    Chunk* c = patterned_chunk(-1, 0, 2, 0);
    c->blocks[0][0][0].type = static_cast<BlockType>(0x01020304);
    c->blocks[63][31][31].type = static_cast<BlockType>(-2);
    c->blocks[1][2][3].type = BLOCK_GLOWSTONE;
    ASSERT_TRUE(world_save_chunk(c, "home"));
    EXPECT_TRUE(c->modified);
    const std::string bytes = read_file("./worlds/home/chunks/chunk_-1_0_2.chunk");
    ASSERT_EQ(bytes.size(), static_cast<size_t>(WORLD_CHUNK_FILE_BYTES));
    EXPECT_EQ(bytes.substr(0, 4), std::string("\x04\x03\x02\x01", 4));
    EXPECT_EQ(bytes.substr(262140, 4), std::string("\xfe\xff\xff\xff", 4));
    EXPECT_EQ(bytes.substr(((1 * 32 + 2) * 32 + 3) * 4, 4), std::string("\x07\x00\x00\x00", 4));

    const std::vector<Block> expected(&c->blocks[0][0][0],
                                      &c->blocks[0][0][0] + CHUNK_SIZE * CHUNK_HEIGHT * CHUNK_SIZE);
    ASSERT_TRUE(world_save(world_, "home"));
    ASSERT_TRUE(world_load(world_, "home"));
    Chunk* back = load_chunk(world_, -1, 0, 2);
    EXPECT_TRUE(back->generated && !back->modified);
    EXPECT_EQ(memcmp(&back->blocks[0][0][0], expected.data(), expected.size() * sizeof(Block)), 0);
    worker_flush_queue(world_);
}

// world.txt lines exactly, read back; a file with only a seed, or with damaged
// values and an overlong line, keeps the defaults where it says nothing usable.
TEST_F(WorldFilesTest, MetadataIsWrittenExactlyAndReadBackSafely) {
    setenv("TZ", "UTC", 1);
    tzset();
    for (int i = 0; i < 27; i++) patterned_chunk(i, 0, 0, i);
    world_->last_player_position = Vector3{8.0f, 20.0f, 8.0f};
    ASSERT_TRUE(world_save(world_, "home"));
    const int64_t saved_at = 1769882709;  // 2026-01-31 18:05:09 UTC
    ASSERT_TRUE(world_write_metadata(world_, "home", saved_at));
    EXPECT_EQ(read_file("./worlds/home/world.txt"),
              "name=home\nseed=42\nlast_saved=2026-01-31 18:05:09\nchunk_count=27\n"
              "player_x=8.000000\nplayer_y=20.000000\nplayer_z=8.000000\n");
    world_->seed = 18446744073709551615ull;
    world_->last_player_position = Vector3{-1.5f, 1e6f, 0.125f};
    ASSERT_TRUE(world_write_metadata(world_, "home", saved_at));
    const std::string text = read_file("./worlds/home/world.txt");
    EXPECT_NE(text.find("seed=18446744073709551615\n"), std::string::npos);
    EXPECT_NE(text.find("player_x=-1.500000\nplayer_y=1000000.000000\nplayer_z=0.125000\n"), std::string::npos);
    world_->seed = 1;
    ASSERT_TRUE(world_load(world_, "home"));
    EXPECT_EQ(world_->seed, 18446744073709551615ull);
    expect_position(-1.5f, 1e6f, 0.125f);
    worker_flush_queue(world_);

    const struct {
        std::string text;
        uint64_t seed;
        float x, y, z;
    } files[] = {
        {"seed=7", 7, 8.0f, 20.0f, 8.0f},
        // The tail of an overlong line is not a line.
        {"player_x=nan\nplayer_y=inf\nplayer_z=1e39\nplayer_x=oops\n" + std::string(400, 'a') +
             "player_y=5\nseed=x\nplayer_z=-3.5\nname=whatever\n",
         42, 8.0f, 20.0f, -3.5f},
    };
    for (const auto& f : files) {
        ASSERT_TRUE(std::filesystem::create_directories("worlds/odd"));
        write_file("worlds/odd/world.txt", f.text);
        world_->seed = 42;
        world_->last_player_position = Vector3{1.0f, 2.0f, 3.0f};
        ASSERT_TRUE(world_load(world_, "odd"));
        EXPECT_EQ(world_->seed, f.seed) << f.text;
        expect_position(f.x, f.y, f.z);
        worker_flush_queue(world_);
        std::filesystem::remove_all("worlds/odd");
    }
}

TEST_F(WorldFilesTest, LoadingAMissingWorldStartsFreshAroundTheOrigin) {
    world_->last_player_position = Vector3{1.0f, 2.0f, 3.0f};
    patterned_chunk(40, 0, 40, 0);
    ASSERT_TRUE(world_load(world_, "nowhere"));
    EXPECT_STREQ(world_->world_name, "nowhere");
    EXPECT_EQ(world_->seed, 42u) << "the previous seed stays";
    expect_position(8.0f, 20.0f, 8.0f);
    EXPECT_EQ(world_->last_loaded_chunk_x, WORLD_NO_CHUNK);
    ASSERT_EQ(count(), 27);
    EXPECT_EQ(file_size("./worlds/nowhere"), -1) << "loading writes nothing";
    worker_flush_queue(world_);
    for (int i = 0; i < count(); i++) {
        const Chunk* c = at(i);
        EXPECT_TRUE(std::abs(c->chunk_x) <= 1 && std::abs(c->chunk_y) <= 1 && std::abs(c->chunk_z) <= 1);
        EXPECT_TRUE(c->generated && c->loaded && !c->modified && c->meshed && !c->needs_relighting);
    }
}

// A save rewrites only the chunks whose files do not hold their cells
// (modified, or with no file yet), skips records without terrain, clears
// `modified` and leaves no temporary file behind.
TEST_F(WorldFilesTest, SavingAgainRewritesOnlyChunksWhoseFilesAreNotCurrent) {
    for (int i = 0; i < 3; i++) patterned_chunk(i, 0, 0, i);
    Chunk* empty = add_chunk(9, 9, 9);
    empty->generated = false;
    empty->modified = true;
    ASSERT_TRUE(world_save(world_, "home"));
    for (int i = 0; i < 3; i++) EXPECT_FALSE(at(i)->modified);
    EXPECT_EQ(file_size("./worlds/home/chunks/chunk_9_9_9.chunk"), -1) << "an all-air record is not terrain";
    EXPECT_EQ(entries_in("./worlds/home/chunks"), 3);
    EXPECT_EQ(entries_in("./worlds/home"), 2);
    const std::string kept = "./worlds/home/chunks/chunk_0_0_0.chunk";
    const std::string edited = "./worlds/home/chunks/chunk_1_0_0.chunk";
    const std::string lost = "./worlds/home/chunks/chunk_2_0_0.chunk";
    const ino_t kept_inode = inode_of(kept), edited_inode = inode_of(edited);
    world_chunk_set_block(at(1), 0, 0, 0, BLOCK_GLOWSTONE);
    ASSERT_EQ(remove(lost.c_str()), 0);
    ASSERT_TRUE(world_save(world_, "home"));
    EXPECT_EQ(inode_of(kept), kept_inode) << "an unchanged chunk was written again";
    EXPECT_NE(inode_of(edited), edited_inode);
    EXPECT_EQ(read_file(edited).substr(0, 4), std::string("\x07\x00\x00\x00", 4));
    EXPECT_EQ(file_size(lost), WORLD_CHUNK_FILE_BYTES);
}

// Saving under another name writes a copy and leaves the world's own folder
// and `modified` alone; the copy carries chunks streaming already dropped
// (only in the running world's folder) and cached chunks win over their files.
TEST_F(WorldFilesTest, CopyUnderAnotherNameCarriesEveryChunk) {
    snprintf(world_->world_name, sizeof world_->world_name, "%s", "original");
    patterned_chunk(0, 0, 0, 1);
    patterned_chunk(-3, 2, 9, 2);
    ASSERT_TRUE(world_save(world_, "copy"));
    EXPECT_STREQ(world_->world_name, "original");
    EXPECT_NE(read_file("./worlds/copy/world.txt").find("name=copy\n"), std::string::npos);
    EXPECT_EQ(file_size("./worlds/copy/chunks/chunk_-3_2_9.chunk"), WORLD_CHUNK_FILE_BYTES);
    EXPECT_EQ(file_size("./worlds/original"), -1);
    EXPECT_TRUE(at(0)->modified && at(1)->modified) << "streaming and autosave must still write them";

    ASSERT_TRUE(world_save(world_, "original"));
    const std::string dropped = read_file("./worlds/original/chunks/chunk_-3_2_9.chunk");
    world_remove_chunk_at(world_, 1);
    patterned_chunk(0, 0, 0, 3);
    write_file("./worlds/original/chunks/notes.txt", "not a chunk");
    ASSERT_TRUE(world_save(world_, "copy2"));
    EXPECT_EQ(read_file("./worlds/copy2/chunks/chunk_-3_2_9.chunk"), dropped);
    EXPECT_NE(read_file("./worlds/copy2/chunks/chunk_0_0_0.chunk"),
              read_file("./worlds/original/chunks/chunk_0_0_0.chunk"));
    EXPECT_EQ(file_size("./worlds/copy2/chunks/notes.txt"), -1);
}

// Names that would leave ./worlds are refused by every entry point; shell
// characters are just characters.
TEST_F(WorldFilesTest, NamesThatLeaveTheWorldsFolderAreRefused) {
    patterned_chunk(0, 0, 0, 0);
    const std::string too_long(WORLD_NAME_MAX, 'n');
    world_system_init();
    world_system_init();
    for (const char* name : {"", ".", "..", ".hidden", "../escape", "a/b", "a\\b", "/abs", too_long.c_str()}) {
        EXPECT_FALSE(world_save(world_, name)) << name;
        EXPECT_FALSE(world_load(world_, name)) << name;
        EXPECT_FALSE(world_save_chunk(at(0), name)) << name;
    }
    EXPECT_EQ(entries_in("."), 1) << "only ./worlds";
    EXPECT_EQ(entries_in("./worlds"), 0);
    EXPECT_EQ(count(), 1) << "a refused load leaves the world alone";
    EXPECT_FALSE(world_save(nullptr, "home") || world_save(world_, nullptr) || world_load(world_, nullptr) ||
                 world_save_chunk(nullptr, "home"));

    const char* name = "a\"; touch pwned; echo \"$(id) `x` & | > <";
    ASSERT_TRUE(world_save(world_, name));
    EXPECT_EQ(file_size("pwned"), -1);
    EXPECT_GT(file_size(std::string("./worlds/") + name + "/world.txt"), 0);
    ASSERT_TRUE(world_load(world_, name));
    EXPECT_STREQ(world_->world_name, name);
    worker_flush_queue(world_);
}

// The three name rules side by side: what save and load take, what the
// console's world commands take, what the create-world screen lets a player type.
TEST(WorldNames, EachRuleAcceptsItsOwnNames) {
    const std::string longest(WORLD_NAME_MAX - 1, 'n'), too_long(WORLD_NAME_MAX, 'n');
    const struct {
        const char* name;
        bool file_safe, plain;
    } cases[] = {
        {"home", true, true},      {"My_World_2", true, true},    {"my world", true, false},
        {"a;b$(c)", true, false},  {"caf\xc3\xa9", true, false},  {"", false, false},
        {".hidden", false, false}, {"..", false, false},          {"a/b", false, false},
        {"a\\b", false, false},    {longest.c_str(), true, true}, {too_long.c_str(), false, false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(world_name_is_file_safe(c.name), c.file_safe) << c.name;
        EXPECT_EQ(world_name_is_plain(c.name), c.plain) << c.name;
    }
    for (int ch = 0; ch < 256; ch++)
        EXPECT_EQ(world_name_char_typable(ch), (isalnum(ch) || ch == '_' || ch == ' ') && ch < 128) << ch;
}

// Tests run as root, which ignores permission bits, so an unwritable place is
// simulated by something of the wrong kind standing where a file or folder goes.
TEST_F(WorldFilesTest, FailedWritesFailTheSaveAndKeepOnlyThoseChunksModified) {
    std::filesystem::create_directories("worlds/home");
    write_file("worlds/home/chunks", "not a folder");
    patterned_chunk(0, 0, 0, 0);
    patterned_chunk(1, 0, 0, 0);
    EXPECT_FALSE(world_save(world_, "home"));
    EXPECT_TRUE(at(0)->modified && at(1)->modified);
    EXPECT_FALSE(world_save_chunk(at(0), "home"));
    EXPECT_EQ(read_file("worlds/home/chunks"), "not a folder");

    ASSERT_EQ(remove("worlds/home/chunks"), 0);
    std::filesystem::create_directories("worlds/home/chunks/chunk_1_0_0.chunk");  // cannot be renamed over
    std::filesystem::remove("worlds/home/world.txt");
    std::filesystem::create_directories("worlds/home/world.txt");
    EXPECT_FALSE(world_save(world_, "home"));
    EXPECT_FALSE(at(0)->modified) << "the chunk itself was written";
    EXPECT_TRUE(at(1)->modified);
    EXPECT_EQ(file_size("worlds/home/chunks/chunk_0_0_0.chunk"), WORLD_CHUNK_FILE_BYTES);
    EXPECT_EQ(entries_in("worlds/home"), 2) << "the failed temporary file was removed";
    EXPECT_EQ(entries_in("worlds/home/chunks"), 2);
}

// Every cell of a chunk holds the same value, so a file mixing two saves or
// cut short is caught.
bool chunk_file_is_whole(const std::string& bytes) {
    if (bytes.size() != static_cast<size_t>(WORLD_CHUNK_FILE_BYTES)) return false;
    for (size_t i = 4; i < bytes.size(); i += 4)
        if (bytes.compare(i, 4, bytes, 0, 4) != 0) return false;
    return true;
}

bool metadata_is_whole(const std::string& text) {
    unsigned long seed = 0;
    int count = 0;
    float x = 0, y = 0, z = 0;
    char stamp[64] = "";
    return sscanf(text.c_str(),
                  "name=crash\nseed=%lu\nlast_saved=%63[^\n]\nchunk_count=%d\nplayer_x=%f\nplayer_y=%f\nplayer_z=%f\n",
                  &seed, stamp, &count, &x, &y, &z) == 6 &&
           count == 4 && std::isfinite(x) && x == static_cast<float>(seed % 1000) && text.back() == '\n';
}

// Saves forever with a new value each round; never returns.
[[noreturn]] void save_in_a_loop(World* world) {
    for (int round = 1;; round++) {
        world->seed = static_cast<uint64_t>(round);
        world->last_player_position.x = static_cast<float>(round % 1000);
        for (int i = 0; i < world->chunk_cache.chunk_count; i++) {
            fill_chunk(&world->chunk_cache.chunks[i], static_cast<BlockType>(round));
            world->chunk_cache.chunks[i].modified = true;
        }
        if (round % 3 == 0)
            world_save_chunk(&world->chunk_cache.chunks[0], "crash");
        else
            world_save(world, "crash");
    }
}

TEST_F(WorldFilesTest, KillDuringSavesLeavesEveryFileWhole) {
    for (int i = 0; i < 4; i++) fill_chunk(patterned_chunk(i, 0, 0, 0), BLOCK_AIR);
    world_->last_player_position.x = 42.0f;  // consistent with seed 42, as every round writes it
    ASSERT_TRUE(world_save(world_, "crash"));
    std::mt19937 rng(1234);
    int runs_that_changed_files = 0;
    auto snapshot = [] {
        return read_file("./worlds/crash/world.txt") +
               read_file("./worlds/crash/chunks/chunk_0_0_0.chunk").substr(0, 4);
    };
    for (int run = 0; run < 50; run++) {
        const std::string before = snapshot();
        fflush(stdout);
        fflush(stderr);
        pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) save_in_a_loop(world_);  // the copy of the world in the child; its worker is not copied
        usleep(1000 + rng() % 60000);
        ASSERT_EQ(kill(child, SIGKILL), 0);
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFSIGNALED(status));
        for (int i = 0; i < 4; i++) {
            const std::string path = "./worlds/crash/chunks/chunk_" + std::to_string(i) + "_0_0.chunk";
            ASSERT_TRUE(chunk_file_is_whole(read_file(path))) << "run " << run << ": " << path;
        }
        const std::string text = read_file("./worlds/crash/world.txt");
        ASSERT_TRUE(metadata_is_whole(text)) << "run " << run << ":\n" << text;
        runs_that_changed_files += snapshot() != before;
    }
    EXPECT_GT(runs_that_changed_files, 10) << "the children must get to replace files before they die";
    // Temporary files of killed writers never replace a real file; loading
    // clears them away, and only them.
    write_file("worlds/crash/chunks/chunk_5_5_5.chunk.tmp.123.456.7", "partial");
    write_file("worlds/crash/world.txt.tmp.123.456.8", "name=");
    write_file("worlds/crash/chunks/notes.tmp.txt", "mine");
    ASSERT_TRUE(world_load(world_, "crash"));
    worker_flush_queue(world_);
    EXPECT_EQ(entries_in("./worlds/crash/chunks"), 5);
    EXPECT_EQ(entries_in("./worlds/crash"), 2);
    EXPECT_GT(file_size("worlds/crash/chunks/notes.tmp.txt"), 0);
}

}  // namespace

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
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "temp_world_fixture.h"
#include "world.h"

namespace {

bool file_exists(const std::string& path) {
    struct stat st = {};
    return stat(path.c_str(), &st) == 0;
}

long file_size(const std::string& path) {
    struct stat st = {};
    return stat(path.c_str(), &st) == 0 ? static_cast<long>(st.st_size) : -1;
}

std::string read_text(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

void write_text(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
}

// Number of entries in `dir` (files and folders, "." and ".." excluded).
int entries_in(const std::string& dir) {
    int n = 0;
    if (DIR* d = opendir(dir.c_str())) {
        while (struct dirent* e = readdir(d))
            if (strcmp(e->d_name, ".") != 0 && strcmp(e->d_name, "..") != 0) n++;
        closedir(d);
    }
    return n;
}

class WorldFilesTest : public TempWorldTest {
protected:
    void SetUp() override {
        TempWorldTest::SetUp();
        world_->seed = 42;
        snprintf(world_->world_name, sizeof world_->world_name, "%s", "home");
    }

    int count() const { return world_->chunk_cache.chunk_count; }

    // A generated chunk whose cells follow a pattern seeded by `salt`.
    Chunk* patterned_chunk(int32_t cx, int32_t cy, int32_t cz, int salt) {
        pthread_mutex_lock(&world_->cache_mutex);
        Chunk* c = world_load_or_create_chunk(world_, cx, cy, cz);
        pthread_mutex_unlock(&world_->cache_mutex);
        for (int y = 0; y < CHUNK_HEIGHT; y++)
            for (int z = 0; z < CHUNK_SIZE; z++)
                for (int x = 0; x < CHUNK_SIZE; x++)
                    c->blocks[y][z][x].type = static_cast<BlockType>((x * 7 + y * 3 + z + salt) % 8);
        c->generated = true;
        c->loaded = true;
        c->modified = true;
        return c;
    }
};

// ---------------------------------------------------------------- chunk files

TEST_F(WorldFilesTest, ChunkFileNamesUseSignedCoordinates) {
    char path[WORLD_PATH_MAX];
    world_chunk_path(path, "home", -1, 0, 2);
    EXPECT_STREQ(path, "./worlds/home/chunks/chunk_-1_0_2.chunk");
    world_chunk_path(path, "home", -2147483647 - 1, 2147483647, -5);
    EXPECT_STREQ(path, "./worlds/home/chunks/chunk_-2147483648_2147483647_-5.chunk");
}

TEST_F(WorldFilesTest, ChunkFileIsRawLittleEndianInMemoryOrder) {
    Chunk* c = patterned_chunk(-1, 0, 2, 0);
    c->blocks[0][0][0].type = static_cast<BlockType>(0x01020304);
    c->blocks[63][31][31].type = static_cast<BlockType>(-2);
    c->blocks[1][2][3].type = BLOCK_GLOWSTONE;
    ASSERT_TRUE(world_save_chunk(c, "home"));
    const std::string bytes = read_text("./worlds/home/chunks/chunk_-1_0_2.chunk");
    ASSERT_EQ(bytes.size(), static_cast<size_t>(262144));
    EXPECT_EQ(bytes.substr(0, 4), std::string("\x04\x03\x02\x01", 4));
    EXPECT_EQ(bytes.substr(262140, 4), std::string("\xfe\xff\xff\xff", 4));
    const size_t at = ((1 * 32 + 2) * 32 + 3) * 4;
    EXPECT_EQ(bytes.substr(at, 4), std::string("\x07\x00\x00\x00", 4));
    EXPECT_TRUE(c->modified) << "world_save_chunk touches no flag";
}

TEST_F(WorldFilesTest, SaveAndReloadKeepsEveryCellIncludingUnknownValues) {
    Chunk* c = patterned_chunk(3, 1, -4, 5);
    c->blocks[10][11][12].type = static_cast<BlockType>(1234567);
    c->blocks[20][0][31].type = static_cast<BlockType>(-7);
    c->blocks[0][31][0].type = static_cast<BlockType>(8);
    std::vector<Block> expected(&c->blocks[0][0][0], &c->blocks[0][0][0] + CHUNK_SIZE * CHUNK_HEIGHT * CHUNK_SIZE);
    ASSERT_TRUE(world_save(world_, "home"));
    ASSERT_TRUE(world_load(world_, "home"));
    pthread_mutex_lock(&world_->cache_mutex);
    Chunk* back = world_load_or_create_chunk(world_, 3, 1, -4);
    pthread_mutex_unlock(&world_->cache_mutex);
    ASSERT_NE(back, nullptr);
    EXPECT_TRUE(back->generated);
    EXPECT_FALSE(back->modified);
    EXPECT_EQ(memcmp(&back->blocks[0][0][0], expected.data(), expected.size() * sizeof(Block)), 0);
    worker_flush_queue(world_);
}

// ---------------------------------------------------------------- world.txt

TEST_F(WorldFilesTest, MetadataLinesAreExactWithAFixedTime) {
    setenv("TZ", "UTC", 1);
    tzset();
    for (int i = 0; i < 27; i++) patterned_chunk(i, 0, 0, i);
    world_->last_player_position = Vector3{8.0f, 20.0f, 8.0f};
    ASSERT_TRUE(world_save(world_, "home"));
    const int64_t saved_at = 1769882709;  // 2026-01-31 18:05:09 UTC
    ASSERT_TRUE(world_write_metadata(world_, "home", saved_at));
    EXPECT_EQ(read_text("./worlds/home/world.txt"),
              "name=home\nseed=42\nlast_saved=2026-01-31 18:05:09\nchunk_count=27\n"
              "player_x=8.000000\nplayer_y=20.000000\nplayer_z=8.000000\n");
    world_->seed = 18446744073709551615ull;
    world_->last_player_position = Vector3{-1.5f, 1e6f, 0.125f};
    ASSERT_TRUE(world_write_metadata(world_, "home", saved_at));
    const std::string text = read_text("./worlds/home/world.txt");
    EXPECT_NE(text.find("seed=18446744073709551615\n"), std::string::npos);
    EXPECT_NE(text.find("player_x=-1.500000\nplayer_y=1000000.000000\nplayer_z=0.125000\n"), std::string::npos);
}

TEST_F(WorldFilesTest, LoadReadsSeedAndPositionBack) {
    world_->seed = 987654321987ull;
    world_->last_player_position = Vector3{-100.25f, 130.5f, 77.75f};
    ASSERT_TRUE(world_save(world_, "home"));
    world_->seed = 1;
    ASSERT_TRUE(world_load(world_, "home"));
    EXPECT_EQ(world_->seed, 987654321987ull);
    EXPECT_FLOAT_EQ(world_->last_player_position.x, -100.25f);
    EXPECT_FLOAT_EQ(world_->last_player_position.y, 130.5f);
    EXPECT_FLOAT_EQ(world_->last_player_position.z, 77.75f);
    worker_flush_queue(world_);
}

TEST_F(WorldFilesTest, MetadataWithOnlyASeedKeepsTheDefaultPosition) {
    ASSERT_EQ(mkdir("worlds", 0755), 0);
    ASSERT_EQ(mkdir("worlds/seven", 0755), 0);
    write_text("worlds/seven/world.txt", "seed=7");
    world_->last_player_position = Vector3{1.0f, 2.0f, 3.0f};
    ASSERT_TRUE(world_load(world_, "seven"));
    EXPECT_EQ(world_->seed, 7u);
    EXPECT_EQ(world_->last_player_position.x, 8.0f);
    EXPECT_EQ(world_->last_player_position.y, 20.0f);
    EXPECT_EQ(world_->last_player_position.z, 8.0f);
    worker_flush_queue(world_);
}

TEST_F(WorldFilesTest, DamagedMetadataNeverGivesANonFinitePosition) {
    ASSERT_EQ(mkdir("worlds", 0755), 0);
    ASSERT_EQ(mkdir("worlds/odd", 0755), 0);
    const std::string overlong(400, 'a');
    write_text("worlds/odd/world.txt", "player_x=nan\nplayer_y=inf\nplayer_z=1e39\nplayer_x=oops\n" + overlong +
                                           "player_y=5\nseed=x\nplayer_z=-3.5\nname=whatever\n");
    ASSERT_TRUE(world_load(world_, "odd"));
    EXPECT_EQ(world_->last_player_position.x, 8.0f);
    EXPECT_EQ(world_->last_player_position.y, 20.0f) << "the tail of an overlong line is not a line";
    EXPECT_EQ(world_->last_player_position.z, -3.5f);
    EXPECT_EQ(world_->seed, 42u);
    worker_flush_queue(world_);
}

// ---------------------------------------------------------------- world_save and world_load

TEST_F(WorldFilesTest, LoadingAMissingWorldStartsFreshAroundTheOrigin) {
    world_->last_player_position = Vector3{1.0f, 2.0f, 3.0f};
    patterned_chunk(40, 0, 40, 0);
    ASSERT_TRUE(world_load(world_, "nowhere"));
    EXPECT_STREQ(world_->world_name, "nowhere");
    EXPECT_EQ(world_->seed, 42u) << "the previous seed stays";
    EXPECT_EQ(world_->last_player_position.x, 8.0f);
    EXPECT_EQ(world_->last_player_position.y, 20.0f);
    EXPECT_EQ(world_->last_player_position.z, 8.0f);
    EXPECT_EQ(world_->last_loaded_chunk_x, WORLD_NO_CHUNK);
    ASSERT_EQ(count(), 27);
    for (int32_t cx = -1; cx <= 1; cx++)
        for (int32_t cy = -1; cy <= 1; cy++)
            for (int32_t cz = -1; cz <= 1; cz++) {
                Chunk* c = world_get_chunk(world_, cx, cy, cz);
                ASSERT_NE(c, nullptr);
                EXPECT_TRUE(c->generated && c->loaded);
                EXPECT_FALSE(c->modified);
            }
    EXPECT_FALSE(file_exists("./worlds/nowhere")) << "loading writes nothing";
    worker_flush_queue(world_);
    for (int i = 0; i < count(); i++) {
        EXPECT_TRUE(world_->chunk_cache.chunks[i].meshed) << "every spawn chunk was queued";
        EXPECT_FALSE(world_->chunk_cache.chunks[i].needs_relighting);
    }
}

TEST_F(WorldFilesTest, SavingUnderAnotherNameWritesACopy) {
    snprintf(world_->world_name, sizeof world_->world_name, "%s", "original");
    patterned_chunk(0, 0, 0, 1);
    patterned_chunk(-3, 2, 9, 2);
    ASSERT_TRUE(world_save(world_, "copy"));
    EXPECT_STREQ(world_->world_name, "original");
    EXPECT_TRUE(file_exists("./worlds/copy/world.txt"));
    EXPECT_EQ(file_size("./worlds/copy/chunks/chunk_0_0_0.chunk"), 262144);
    EXPECT_EQ(file_size("./worlds/copy/chunks/chunk_-3_2_9.chunk"), 262144);
    EXPECT_FALSE(file_exists("./worlds/original"));
    EXPECT_NE(read_text("./worlds/copy/world.txt").find("name=copy\n"), std::string::npos);
    // The world's own folder still lacks the edits: streaming and autosave must still write them there.
    EXPECT_TRUE(world_->chunk_cache.chunks[0].modified);
    EXPECT_TRUE(world_->chunk_cache.chunks[1].modified);
}

ino_t inode_of(const std::string& path) {
    struct stat st = {};
    return stat(path.c_str(), &st) == 0 ? st.st_ino : 0;
}

// A whole-world save blocks the frame: it rewrites only the chunks whose files
// do not already hold their cells (modified, or with no file yet).
TEST_F(WorldFilesTest, SavingAgainRewritesOnlyChunksWhoseFilesAreNotCurrent) {
    for (int i = 0; i < 3; i++) patterned_chunk(i, 0, 0, i);
    ASSERT_TRUE(world_save(world_, "home"));
    const std::string kept = "./worlds/home/chunks/chunk_0_0_0.chunk";
    const std::string edited = "./worlds/home/chunks/chunk_1_0_0.chunk";
    const std::string lost = "./worlds/home/chunks/chunk_2_0_0.chunk";
    const ino_t kept_inode = inode_of(kept), edited_inode = inode_of(edited);
    world_chunk_set_block(&world_->chunk_cache.chunks[1], 0, 0, 0, BLOCK_GLOWSTONE);
    ASSERT_EQ(remove(lost.c_str()), 0);

    ASSERT_TRUE(world_save(world_, "home"));
    EXPECT_EQ(inode_of(kept), kept_inode) << "an unchanged chunk was written again";
    EXPECT_NE(inode_of(edited), edited_inode);
    EXPECT_EQ(read_text(edited).substr(0, 4), std::string("\x07\x00\x00\x00", 4));
    EXPECT_EQ(file_size(lost), 262144);
}

// A chunk that streaming wrote out and dropped lives only in the running
// world's folder; a copy made afterwards must still carry it, and a cached
// chunk must win over its older file.
TEST_F(WorldFilesTest, CopyCarriesChunksAlreadyDroppedFromTheCache) {
    snprintf(world_->world_name, sizeof world_->world_name, "%s", "original");
    patterned_chunk(0, 0, 0, 1);
    patterned_chunk(5, 1, -2, 2);
    ASSERT_TRUE(world_save(world_, "original"));
    const std::string dropped = read_text("./worlds/original/chunks/chunk_5_1_-2.chunk");
    pthread_mutex_lock(&world_->cache_mutex);
    world_remove_chunk_at(world_, 1);
    pthread_mutex_unlock(&world_->cache_mutex);
    ASSERT_EQ(world_get_chunk(world_, 5, 1, -2), nullptr);
    patterned_chunk(0, 0, 0, 3);
    write_text("./worlds/original/chunks/notes.txt", "not a chunk");

    ASSERT_TRUE(world_save(world_, "copy"));
    EXPECT_EQ(read_text("./worlds/copy/chunks/chunk_5_1_-2.chunk"), dropped);
    EXPECT_EQ(world_chunk_get_block(world_get_chunk(world_, 0, 0, 0), 1, 0, 0), static_cast<BlockType>((7 + 3) % 8));
    EXPECT_NE(read_text("./worlds/copy/chunks/chunk_0_0_0.chunk"),
              read_text("./worlds/original/chunks/chunk_0_0_0.chunk"));
    EXPECT_FALSE(file_exists("./worlds/copy/chunks/notes.txt"));

    World* reloaded = world_create();
    ASSERT_NE(reloaded, nullptr);
    ASSERT_TRUE(world_load(reloaded, "copy"));
    pthread_mutex_lock(&reloaded->cache_mutex);
    Chunk* far = world_load_or_create_chunk(reloaded, 5, 1, -2);
    pthread_mutex_unlock(&reloaded->cache_mutex);
    ASSERT_NE(far, nullptr);
    EXPECT_EQ(world_chunk_get_block(far, 1, 0, 0), static_cast<BlockType>((7 + 2) % 8));
    world_free(reloaded);
}

TEST_F(WorldFilesTest, SuccessfulSaveLeavesNothingModifiedAndSkipsUngeneratedRecords) {
    for (int i = 0; i < 5; i++) patterned_chunk(i, 0, 0, i);
    pthread_mutex_lock(&world_->cache_mutex);
    Chunk* empty = world_load_or_create_chunk(world_, 9, 9, 9);  // never generated
    pthread_mutex_unlock(&world_->cache_mutex);
    empty->modified = true;
    ASSERT_TRUE(world_save(world_, "home"));
    for (int i = 0; i < 5; i++) EXPECT_FALSE(world_->chunk_cache.chunks[i].modified);
    EXPECT_FALSE(file_exists("./worlds/home/chunks/chunk_9_9_9.chunk")) << "an all-air record is not terrain";
    EXPECT_EQ(entries_in("./worlds/home/chunks"), 5) << "no temporary file is left behind";
    EXPECT_EQ(entries_in("./worlds/home"), 2);
}

TEST_F(WorldFilesTest, SystemInitMakesTheWorldsFolderAndIsRepeatable) {
    world_system_init();
    world_system_init();
    struct stat st = {};
    ASSERT_EQ(stat("./worlds", &st), 0);
    EXPECT_TRUE(S_ISDIR(st.st_mode));
}

// ---------------------------------------------------------------- refused names

TEST_F(WorldFilesTest, NamesThatLeaveTheWorldsFolderAreRefused) {
    patterned_chunk(0, 0, 0, 0);
    const std::string too_long(WORLD_NAME_MAX, 'n');
    const char* bad[] = {"", ".", "..", ".hidden", "../escape", "a/b", "a\\b", "/abs", too_long.c_str()};
    world_system_init();
    for (const char* name : bad) {
        EXPECT_FALSE(world_save(world_, name)) << name;
        EXPECT_FALSE(world_load(world_, name)) << name;
        EXPECT_FALSE(world_save_chunk(&world_->chunk_cache.chunks[0], name)) << name;
    }
    EXPECT_EQ(entries_in("."), 1) << "only ./worlds";
    EXPECT_EQ(entries_in("./worlds"), 0);
    EXPECT_EQ(count(), 1) << "a refused load leaves the world alone";
    EXPECT_FALSE(world_save(nullptr, "home"));
    EXPECT_FALSE(world_save(world_, nullptr));
    EXPECT_FALSE(world_load(world_, nullptr));
    EXPECT_FALSE(world_save_chunk(nullptr, "home"));
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
    for (int ch = 0; ch < 256; ch++) {
        const bool typable = isalnum(ch) || ch == '_' || ch == ' ';
        EXPECT_EQ(world_name_char_typable(ch), typable && ch < 128) << ch;
    }
}

TEST_F(WorldFilesTest, ShellCharactersInANameAreJustCharacters) {
    patterned_chunk(0, 0, 0, 0);
    const char* name = "a\"; touch pwned; echo \"$(id) `x` & | > <";
    ASSERT_TRUE(world_save(world_, name));
    EXPECT_FALSE(file_exists("pwned"));
    EXPECT_TRUE(file_exists(std::string("./worlds/") + name + "/world.txt"));
    ASSERT_TRUE(world_load(world_, name));
    EXPECT_STREQ(world_->world_name, name);
    worker_flush_queue(world_);
}

// ---------------------------------------------------------------- failed writes

// Tests run as root, which ignores permission bits, so a read-only folder is
// simulated by a regular file standing where the chunks folder should be.
TEST_F(WorldFilesTest, UnwritableChunksFolderMakesSaveFailAndKeepsModified) {
    ASSERT_EQ(mkdir("worlds", 0755), 0);
    ASSERT_EQ(mkdir("worlds/home", 0755), 0);
    write_text("worlds/home/chunks", "not a folder");
    patterned_chunk(0, 0, 0, 0);
    patterned_chunk(1, 0, 0, 0);
    EXPECT_FALSE(world_save(world_, "home"));
    EXPECT_TRUE(world_->chunk_cache.chunks[0].modified);
    EXPECT_TRUE(world_->chunk_cache.chunks[1].modified);
    EXPECT_FALSE(world_save_chunk(&world_->chunk_cache.chunks[0], "home"));
    EXPECT_EQ(read_text("worlds/home/chunks"), "not a folder");
}

TEST_F(WorldFilesTest, UnwritableMetadataMakesSaveFailButChunksAreWritten) {
    ASSERT_EQ(mkdir("worlds", 0755), 0);
    ASSERT_EQ(mkdir("worlds/home", 0755), 0);
    ASSERT_EQ(mkdir("worlds/home/world.txt", 0755), 0);  // a folder cannot be renamed over
    patterned_chunk(0, 0, 0, 0);
    EXPECT_FALSE(world_save(world_, "home"));
    EXPECT_FALSE(world_->chunk_cache.chunks[0].modified) << "the chunk itself was written";
    EXPECT_EQ(file_size("worlds/home/chunks/chunk_0_0_0.chunk"), 262144);
    EXPECT_EQ(entries_in("worlds/home"), 2) << "the failed temporary file was removed";
}

TEST_F(WorldFilesTest, OnlyTheChunksThatFailedKeepModified) {
    patterned_chunk(0, 0, 0, 0);
    patterned_chunk(1, 0, 0, 0);
    ASSERT_TRUE(world_save(world_, "home"));
    world_->chunk_cache.chunks[0].modified = true;
    world_->chunk_cache.chunks[1].modified = true;
    ASSERT_EQ(remove("worlds/home/chunks/chunk_1_0_0.chunk"), 0);
    ASSERT_EQ(mkdir("worlds/home/chunks/chunk_1_0_0.chunk", 0755), 0);
    EXPECT_FALSE(world_save(world_, "home"));
    EXPECT_FALSE(world_->chunk_cache.chunks[0].modified);
    EXPECT_TRUE(world_->chunk_cache.chunks[1].modified);
}

// ---------------------------------------------------------------- kills during a save

// Every cell of a chunk holds the same value, so a file mixing two saves or
// cut short is caught.
bool chunk_file_is_whole(const std::string& path) {
    const std::string bytes = read_text(path);
    if (bytes.size() != 262144) return false;
    for (size_t i = 4; i < bytes.size(); i += 4)
        if (bytes.compare(i, 4, bytes, 0, 4) != 0) return false;
    return true;
}

bool metadata_is_whole(const std::string& path) {
    const std::string text = read_text(path);
    unsigned long seed = 0;
    int count = 0;
    float x = 0, y = 0, z = 0;
    char stamp[64] = "";
    return sscanf(text.c_str(),
                  "name=crash\nseed=%lu\nlast_saved=%63[^\n]\nchunk_count=%d\nplayer_x=%f\nplayer_y=%f\nplayer_z=%f\n",
                  &seed, stamp, &count, &x, &y, &z) == 6 &&
           count == 4 && std::isfinite(x) && x == static_cast<float>(seed % 1000) && text.back() == '\n';
}

void fill_all(Chunk* c, int value) {
    for (int y = 0; y < CHUNK_HEIGHT; y++)
        for (int z = 0; z < CHUNK_SIZE; z++)
            for (int x = 0; x < CHUNK_SIZE; x++) c->blocks[y][z][x].type = static_cast<BlockType>(value);
}

// Saves forever with a new value each round; never returns.
[[noreturn]] void save_in_a_loop(World* world) {
    for (int round = 1;; round++) {
        world->seed = static_cast<uint64_t>(round);
        world->last_player_position.x = static_cast<float>(round % 1000);
        for (int i = 0; i < world->chunk_cache.chunk_count; i++) {
            fill_all(&world->chunk_cache.chunks[i], round);
            world->chunk_cache.chunks[i].modified = true;
        }
        if (round % 3 == 0) {
            world_save_chunk(&world->chunk_cache.chunks[0], "crash");
        } else {
            world_save(world, "crash");
        }
    }
}

TEST_F(WorldFilesTest, KillDuringSavesLeavesEveryFileWhole) {
    for (int i = 0; i < 4; i++) fill_all(patterned_chunk(i, 0, 0, 0), 0);
    world_->last_player_position.x = 42.0f;  // consistent with seed 42, as every round writes it
    ASSERT_TRUE(world_save(world_, "crash"));
    std::mt19937 rng(1234);
    int runs_that_changed_files = 0;
    for (int run = 0; run < 50; run++) {
        const std::string before =
            read_text("./worlds/crash/world.txt") + read_text("./worlds/crash/chunks/chunk_0_0_0.chunk").substr(0, 4);
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
            ASSERT_TRUE(chunk_file_is_whole(path)) << "run " << run << ": " << path;
        }
        ASSERT_TRUE(metadata_is_whole("./worlds/crash/world.txt")) << "run " << run << ":\n"
                                                                   << read_text("./worlds/crash/world.txt");
        const std::string after =
            read_text("./worlds/crash/world.txt") + read_text("./worlds/crash/chunks/chunk_0_0_0.chunk").substr(0, 4);
        if (after != before) runs_that_changed_files++;
    }
    EXPECT_GT(runs_that_changed_files, 10) << "the children must get to replace files before they die";
    // Temporary files of killed writers never replace a real file; loading clears them away.
    ASSERT_TRUE(world_load(world_, "crash"));
    worker_flush_queue(world_);
    EXPECT_EQ(entries_in("./worlds/crash/chunks"), 4);
    EXPECT_EQ(entries_in("./worlds/crash"), 2);
}

TEST_F(WorldFilesTest, LoadRemovesOnlyStaleTemporaryFiles) {
    patterned_chunk(5, 5, 5, 0);
    ASSERT_TRUE(world_save(world_, "home"));
    write_text("worlds/home/chunks/chunk_5_5_5.chunk.tmp.123.456.7", "partial");
    write_text("worlds/home/world.txt.tmp.123.456.8", "name=");
    write_text("worlds/home/chunks/notes.tmp.txt", "mine");
    ASSERT_TRUE(world_load(world_, "home"));
    worker_flush_queue(world_);
    EXPECT_FALSE(file_exists("worlds/home/chunks/chunk_5_5_5.chunk.tmp.123.456.7"));
    EXPECT_FALSE(file_exists("worlds/home/world.txt.tmp.123.456.8"));
    EXPECT_TRUE(file_exists("worlds/home/chunks/notes.tmp.txt"));
    EXPECT_EQ(file_size("worlds/home/chunks/chunk_5_5_5.chunk"), 262144);
}

}  // namespace

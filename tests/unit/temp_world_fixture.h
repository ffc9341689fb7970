// Fixtures that run each test in a fresh temporary working directory, so that
// ./worlds, ./options.txt and ./chathistory start absent; TempWorldTest adds a
// World (with its running worker) created there.
#pragma once

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "world.h"

class TempDirTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(getcwd(old_dir_, sizeof(old_dir_)), nullptr);
        char tmpl[] = "/tmp/qvox_test_XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir_ = tmpl;
        ASSERT_EQ(chdir(dir_.c_str()), 0);
    }

    void TearDown() override {
        EXPECT_EQ(chdir(old_dir_), 0);
        std::filesystem::remove_all(dir_);
    }

    static void write_file(const std::string& path, const std::string& text) {
        std::ofstream out(path, std::ios::binary);
        out << text;
    }

    static std::string read_file(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }

    // Size in bytes, or -1 when nothing is there.
    static long file_size(const std::string& path) {
        struct stat st = {};
        return stat(path.c_str(), &st) == 0 ? static_cast<long>(st.st_size) : -1;
    }

private:
    char old_dir_[4096] = {};
    std::string dir_;
};

struct ChunkFree {
    void operator()(Chunk* chunk) const { chunk_free(chunk); }
};
using ChunkPtr = std::unique_ptr<Chunk, ChunkFree>;

inline void fill_chunk(Chunk* chunk, BlockType type) {
    for (auto& layer : chunk->blocks)
        for (auto& row : layer)
            for (Block& cell : row) cell.type = type;
}

class TempWorldTest : public TempDirTest {
protected:
    void SetUp() override {
        TempDirTest::SetUp();
        world_ = world_create();
        ASSERT_NE(world_, nullptr);
    }

    void TearDown() override {
        world_free(world_);
        TempDirTest::TearDown();
    }

    // A cached record with terrain, in play unless `loaded` is false; its
    // blocks are air until the test fills them.
    Chunk* add_chunk(int32_t cx, int32_t cy, int32_t cz, bool loaded = true) {
        pthread_mutex_lock(&world_->cache_mutex);
        Chunk* chunk = world_load_or_create_chunk(world_, cx, cy, cz);
        pthread_mutex_unlock(&world_->cache_mutex);
        if (chunk) {
            chunk->generated = true;
            chunk->loaded = loaded;
        }
        return chunk;
    }

    int count() const { return world_->chunk_cache.chunk_count; }
    Chunk* get(int32_t cx, int32_t cy, int32_t cz) { return world_get_chunk(world_, cx, cy, cz); }

    int pending_jobs() {
        pthread_mutex_lock(&world_->worker_queue.mutex);
        const int n = world_->worker_queue.count + world_->worker_queue.jobs_in_progress;
        pthread_mutex_unlock(&world_->worker_queue.mutex);
        return n;
    }

    World* world_ = nullptr;
};

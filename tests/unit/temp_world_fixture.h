// Each test runs in a fresh temporary directory, so ./worlds, ./options.txt and ./chathistory start absent.
#pragma once

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "world.h"

class TempDirTest : public ::testing::Test {
protected:
    void SetUp() override {
        old_dir_ = std::filesystem::current_path();
        char tmpl[] = "/tmp/qvox_test_XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir_ = tmpl;
        std::filesystem::current_path(dir_);
    }

    void TearDown() override {
        std::filesystem::current_path(old_dir_);
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
    std::filesystem::path old_dir_, dir_;
};

using ChunkPtr = std::unique_ptr<Chunk, decltype([](Chunk* chunk) { chunk_free(chunk); })>;

inline void fill_chunk(Chunk* chunk, BlockType type) {
    for (auto& layer : chunk->blocks)
        for (auto& row : layer)
            for (Block& cell : row) cell.type = type;
}

// One entry of a visible-block list: x, y, z, faces, light; a tuple so that failures print it.
using Entry = std::tuple<int, int, int, int, int>;

// The list the slow way: each neighbour through world_get_block and a lookup of its chunk.
inline std::vector<Entry> reference_list(const Chunk* chunk, World* world) {
    const int dirs[6][3] = {{1, 0, 0}, {-1, 0, 0}, {0, 1, 0}, {0, -1, 0}, {0, 0, 1}, {0, 0, -1}};
    std::vector<Entry> out;
    for (int y = 0; y < CHUNK_HEIGHT; y++)
        for (int z = 0; z < CHUNK_SIZE; z++)
            for (int x = 0; x < CHUNK_SIZE; x++) {
                if (world_chunk_get_block(chunk, x, y, z) == BLOCK_AIR) continue;
                const int wx = chunk->chunk_x * 32 + x, wy = chunk->chunk_y * 64 + y, wz = chunk->chunk_z * 32 + z;
                int faces = 0;
                for (int f = 0; f < 6; f++) {
                    const int nx = wx + dirs[f][0], ny = wy + dirs[f][1], nz = wz + dirs[f][2];
                    const Chunk* n =
                        world_get_chunk(world, world_to_chunk_xz(nx), world_to_chunk_y(ny), world_to_chunk_xz(nz));
                    if (world_get_block(world, nx, ny, nz) == BLOCK_AIR && n && n->loaded) faces |= 1 << f;
                }
                if (faces) out.emplace_back(x, y, z, faces, 0);
            }
    return out;
}

inline std::vector<Entry> active_entries(const Chunk* c) {
    std::vector<Entry> out;
    const int m = c->active_mesh;
    for (int i = 0; i < c->visible_count[m]; i++) {
        const CachedVisibleBlock& e = c->visible_blocks[m][i];
        out.emplace_back(e.x, e.y, e.z, e.exposed_faces, e.light_level);
    }
    return out;
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

    // The cached record, read from disk or created, marked generated and in play unless `loaded` is false.
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
    Chunk* at(int i) { return &world_->chunk_cache.chunks[i]; }

    int pending_jobs() {
        pthread_mutex_lock(&world_->worker_queue.mutex);
        const int n = world_->worker_queue.count + world_->worker_queue.jobs_in_progress;
        pthread_mutex_unlock(&world_->worker_queue.mutex);
        return n;
    }

    World* world_ = nullptr;
};

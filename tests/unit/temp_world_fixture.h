// Each test runs in a fresh temporary working directory, so that ./worlds,
// ./options.txt and ./chathistory start absent; TempWorldTest adds a World.
#pragma once

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

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

// One entry of a visible-block list, as compared against the reference.
struct Entry {
    int x, y, z, faces, light;
    bool operator==(const Entry&) const = default;
};

inline void PrintTo(const Entry& e, std::ostream* os) {
    *os << "(" << e.x << "," << e.y << "," << e.z << " faces " << e.faces << " light " << e.light << ")";
}

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
                if (faces) out.push_back(Entry{x, y, z, faces, 0});
            }
    return out;
}

inline std::vector<Entry> active_entries(const Chunk* c) {
    std::vector<Entry> out;
    const int m = c->active_mesh;
    for (int i = 0; i < c->visible_count[m]; i++) {
        const CachedVisibleBlock& e = c->visible_blocks[m][i];
        out.push_back(Entry{e.x, e.y, e.z, e.exposed_faces, e.light_level});
    }
    return out;
}

// The cached record at those coordinates, read from disk or created.
inline Chunk* load_chunk(World* world, int32_t cx, int32_t cy, int32_t cz) {
    pthread_mutex_lock(&world->cache_mutex);
    Chunk* chunk = world_load_or_create_chunk(world, cx, cy, cz);
    pthread_mutex_unlock(&world->cache_mutex);
    return chunk;
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

    // A cached record with terrain (all air), in play unless `loaded` is false.
    Chunk* add_chunk(int32_t cx, int32_t cy, int32_t cz, bool loaded = true) {
        Chunk* chunk = load_chunk(world_, cx, cy, cz);
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

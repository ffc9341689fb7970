// Terrain generation cost per chunk: the ground layer (chunk_y = 0, both cave
// bands), the surface layer (chunk_y = 1) and, for comparison, the same chunks
// evaluated cell by cell through the public noise functions.
#include <benchmark/benchmark.h>

#include <memory>

#include "world.h"

namespace {

constexpr uint64_t BENCH_SEED = 0xDEADBEEFCAFEBABEull;

struct ChunkFree {
    void operator()(Chunk* c) const { chunk_free(c); }
};

std::unique_ptr<Chunk, ChunkFree> bench_chunk(int chunk_y) {
    return std::unique_ptr<Chunk, ChunkFree>(chunk_create(-3, chunk_y, 7));
}

void BM_GenerateChunk(benchmark::State& state) {
    auto c = bench_chunk(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        world_generate_chunk(c.get(), BENCH_SEED);
        benchmark::DoNotOptimize(c->blocks[20][5][5].type);
    }
}
BENCHMARK(BM_GenerateChunk)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// A cave band of three fields, as the generator weighs them.
float literal_cave(float x, float y, float z, const float* scales, uint64_t seed) {
    return (cave_noise_3d(x * scales[0], y * scales[0], z * scales[0], seed) +
            0.7f * cave_noise_3d(x * scales[1], y * scales[1], z * scales[1], seed + 1) +
            0.42000002f * cave_noise_3d(x * scales[2], y * scales[2], z * scales[2], seed + 2)) *
           0.43478262f;
}

BlockType literal_block(int wx, int wy, int wz, int h) {
    static const float lower[3] = {0.03f, 0.1f, 0.25f};
    static const float upper[3] = {0.05f, 0.15f, 0.35f};
    const float fx = static_cast<float>(wx), fy = static_cast<float>(wy), fz = static_cast<float>(wz);
    if (wy == 0) return BLOCK_BEDROCK;
    if (wy >= h) return BLOCK_AIR;
    if (wy >= 15 && wy <= 39 && literal_cave(fx, fy, fz, lower, BENCH_SEED + 5000) < 0.42f) return BLOCK_AIR;
    if (wy >= 40 && wy <= 84 && literal_cave(fx, fy, fz, upper, BENCH_SEED + 5010) < 0.45f) return BLOCK_AIR;
    if (wy == h - 1) return BLOCK_GRASS;
    return wy > h - 7 ? BLOCK_DIRT : BLOCK_STONE;
}

// Nine terrain heights per column and every cave field per cell, nothing shared.
void BM_GenerateChunkLiteral(benchmark::State& state) {
    auto c = bench_chunk(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        for (int x = 0; x < CHUNK_SIZE; x++) {
            for (int z = 0; z < CHUNK_SIZE; z++) {
                const int wx = c->chunk_x * CHUNK_SIZE + x, wz = c->chunk_z * CHUNK_SIZE + z;
                const int h = smooth_terrain_height(wx, wz, BENCH_SEED);
                for (int y = 0; y < CHUNK_HEIGHT; y++) {
                    c->blocks[y][z][x].type = literal_block(wx, c->chunk_y * CHUNK_HEIGHT + y, wz, h);
                }
            }
        }
        benchmark::DoNotOptimize(c->blocks[20][5][5].type);
    }
}
BENCHMARK(BM_GenerateChunkLiteral)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

}  // namespace

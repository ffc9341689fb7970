// Cost of one lighting-and-mesh job for a surface chunk, with few and with
// many chunks cached: the job must not slow down as the cache fills.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "world.h"

namespace {

constexpr uint64_t BENCH_SEED = 4242;
constexpr int BENCH_MAX_WORLDS = 2;

struct BenchWorld {
    int chunk_count;
    World* world;
};

BenchWorld bench_worlds[BENCH_MAX_WORLDS];
int bench_world_count = 0;

void free_bench_worlds() {
    for (int i = 0; i < bench_world_count; i++) world_free(bench_worlds[i].world);
    bench_world_count = 0;
}

// Appending a record with no chunk file logs one line per chunk; keep those
// lines out of the benchmark report.
int silence_stdout() {
    fflush(stdout);
    const int saved = dup(STDOUT_FILENO);
    const int null_fd = open("/dev/null", O_WRONLY);
    if (saved < 0 || null_fd < 0 || dup2(null_fd, STDOUT_FILENO) < 0) perror("[bench] redirecting stdout");
    if (null_fd >= 0 && close(null_fd) != 0) perror("[bench] closing /dev/null");
    return saved;
}

void restore_stdout(int saved) {
    fflush(stdout);
    if (saved < 0) return;
    if (dup2(saved, STDOUT_FILENO) < 0) perror("[bench] restoring stdout");
    if (close(saved) != 0) perror("[bench] closing saved stdout");
}

// Generated, loaded terrain in the 3 x 3 x 3 chunks around (0, 1, 0), the
// chunk that holds the surface; the remaining records are all-air chunks in
// columns away from those nine, so they change no result, only the cache size.
World* build_world(int chunk_count) {
    World* world = world_create();
    if (!world) return nullptr;
    world->seed = BENCH_SEED;
    const int saved = silence_stdout();
    int added = 0;
    for (int cy = 0; cy <= 2; cy++)
        for (int cz = -1; cz <= 1; cz++)
            for (int cx = -1; cx <= 1; cx++, added++) {
                Chunk* chunk = world_load_or_create_chunk(world, cx, cy, cz);
                world_generate_chunk(chunk, world->seed);
                chunk->generated = true;
                chunk->loaded = true;
            }
    for (int cy = 0; cy < 8 && added < chunk_count; cy++)
        for (int cz = -12; cz <= 12 && added < chunk_count; cz++)
            for (int cx = -12; cx <= 12 && added < chunk_count; cx++) {
                if (abs(cx) <= 1 && abs(cz) <= 1) continue;
                if (world_load_or_create_chunk(world, cx, cy, cz)) added++;
            }
    restore_stdout(saved);
    return world;
}

World* bench_world(int chunk_count) {
    for (int i = 0; i < bench_world_count; i++)
        if (bench_worlds[i].chunk_count == chunk_count) return bench_worlds[i].world;
    if (bench_world_count == BENCH_MAX_WORLDS) return nullptr;
    if (bench_world_count == 0) atexit(free_bench_worlds);
    World* world = build_world(chunk_count);
    if (world) bench_worlds[bench_world_count++] = BenchWorld{chunk_count, world};
    return world;
}

// What the worker does for a chunk that needs both light and a new list.
void BM_LightAndMeshSurfaceChunk(benchmark::State& state) {
    World* world = bench_world(static_cast<int>(state.range(0)));
    Chunk* chunk = world ? world_get_chunk(world, 0, 1, 0) : nullptr;
    if (!chunk) {
        state.SkipWithError("could not build the world");
        return;
    }
    for (auto _ : state) {
        const int target = 1 - chunk->active_light_buffer;
        calculate_chunk_skylight(chunk, world, target);
        calculate_chunk_blocklight(chunk, world, target);
        pthread_mutex_lock(&chunk->light_swap_mutex);
        chunk->active_light_buffer = target;
        pthread_mutex_unlock(&chunk->light_swap_mutex);
        chunk_cache_visible_blocks(chunk, world);
    }
    state.counters["cached_chunks"] = world->chunk_cache.chunk_count;
    state.counters["visible_blocks"] = chunk->visible_count[chunk->active_mesh];
}
BENCHMARK(BM_LightAndMeshSurfaceChunk)->Arg(27)->Arg(2000)->Unit(benchmark::kMillisecond);

// The three steps of the job on their own, to see where the time goes.
enum BenchStep { STEP_SKYLIGHT, STEP_BLOCKLIGHT, STEP_VISIBLE_BLOCKS };

void BM_SurfaceChunkStep(benchmark::State& state) {
    World* world = bench_world(27);
    Chunk* chunk = world ? world_get_chunk(world, 0, 1, 0) : nullptr;
    if (!chunk) {
        state.SkipWithError("could not build the world");
        return;
    }
    const int target = 1 - chunk->active_light_buffer;
    for (auto _ : state) {
        switch (static_cast<BenchStep>(state.range(0))) {
        case STEP_SKYLIGHT: calculate_chunk_skylight(chunk, world, target); break;
        case STEP_BLOCKLIGHT: calculate_chunk_blocklight(chunk, world, target); break;
        case STEP_VISIBLE_BLOCKS: chunk_cache_visible_blocks(chunk, world); break;
        }
    }
}
BENCHMARK(BM_SurfaceChunkStep)
    ->ArgName("step")
    ->Arg(STEP_SKYLIGHT)
    ->Arg(STEP_BLOCKLIGHT)
    ->Arg(STEP_VISIBLE_BLOCKS)
    ->Unit(benchmark::kMicrosecond);

}  // namespace

// Main-thread cost of making a chunk mesh again after a block edit: copying
// the chunk's list, making its faces with their light, finding which sides of
// each section see each other, each column's solid cells and each
// section's box, for the chunk with the most visible blocks among the
// 3 x 3 x 3 lit chunks around the spawn of the standard scene's world.
// Sending the faces to the card is not included: it needs a window, and it is
// one buffer copy.
// Also the per-frame cost of working out which far sections nearer ground
// hides, for the standard scene's camera over those chunks.
#include <benchmark/benchmark.h>

#include <cstdio>

#include "chunk_mesh.h"
#include "world.h"

namespace {

constexpr uint64_t BENCH_SEED = 42;

World* build_world() {
    World* world = world_create();
    if (!world) return nullptr;
    world->seed = BENCH_SEED;
    for (int cy = 0; cy <= 2; cy++)
        for (int cz = -1; cz <= 1; cz++)
            for (int cx = -1; cx <= 1; cx++) {
                Chunk* chunk = world_load_or_create_chunk(world, cx, cy, cz);
                world_generate_chunk(chunk, world->seed);
                chunk->generated = true;
                chunk->loaded = true;
            }
    for (int i = 0; i < world->chunk_cache.chunk_count; i++) {
        Chunk* chunk = &world->chunk_cache.chunks[i];
        calculate_chunk_skylight(chunk, world, 0);
        calculate_chunk_blocklight(chunk, world, 0);
        chunk_cache_visible_blocks(chunk, world);
    }
    return world;
}

Chunk* busiest_chunk(World* world) {
    Chunk* busiest = nullptr;
    for (int i = 0; i < world->chunk_cache.chunk_count; i++) {
        Chunk* chunk = &world->chunk_cache.chunks[i];
        if (!busiest || chunk->visible_count[chunk->active_mesh] > busiest->visible_count[busiest->active_mesh])
            busiest = chunk;
    }
    return busiest;
}

void BM_ChunkMeshRebuild(benchmark::State& state) {
    World* world = build_world();
    Chunk* chunk = world ? busiest_chunk(world) : nullptr;
    if (!chunk) {
        state.SkipWithError("no world");
        world_free(world);
        return;
    }
    ChunkMeshBuild build = {};
    ChunkMesh* mesh = new ChunkMesh();
    for (auto _ : state) {
        uint32_t stamp = 0;
        const int count = chunk_mesh_copy_list(chunk, &build, &stamp);
        if (count < 0 || !chunk_mesh_build(&build, world, chunk, count)) state.SkipWithError("out of memory");
        chunk_mesh_read_cells(chunk, mesh);
        chunk_mesh_boxes(build.cells, count, mesh->boxes);
        benchmark::DoNotOptimize(build.vertex_count);
        benchmark::DoNotOptimize(mesh->links[0]);
    }
    state.counters["blocks"] = build.cell_count;
    state.counters["faces"] = build.vertex_count / 4;
    delete mesh;
    chunk_mesh_build_free(&build);
    world_free(world);
}

void BM_ChunkMeshHorizon(benchmark::State& state) {
    World* world = build_world();
    if (!world) {
        state.SkipWithError("no world");
        return;
    }
    const int count = world->chunk_cache.chunk_count;
    ChunkMesh* meshes = new ChunkMesh[count]();
    for (int i = 0; i < count; i++) chunk_mesh_read_cells(&world->chunk_cache.chunks[i], &meshes[i]);
    // The standard scene: the spawn at eye height, looking along +x with pitch -0.3.
    Camera3D camera = {
        {8.5f, 90.75f, 8.5f}, {9.5f, 90.75f - 0.31f, 8.5f}, {0.0f, 1.0f, 0.0f}, 90.0f, CAMERA_PERSPECTIVE};
    const ChunkMeshView view = {{}, camera.position, 100.0f, render_frustum_make(camera, 1.5f)};
    ChunkMeshHorizon horizon = {};
    for (auto _ : state) {
        chunk_mesh_horizon_make(&horizon, meshes, count, &view, false);
        benchmark::DoNotOptimize(horizon.active);
    }
    chunk_mesh_horizon_free(&horizon);
    delete[] meshes;
    world_free(world);
}

}  // namespace

BENCHMARK(BM_ChunkMeshRebuild)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ChunkMeshHorizon)->Unit(benchmark::kMicrosecond);

// Streaming: keeps the 3 x 3 x 3 chunks around the player in play and retires
// chunks that are far away or well behind the view, saving modified ones
// through the worker before they leave the cache.
#include <cmath>
#include <cstdint>

#include "world.h"

// A chunk coordinate this far from the int32 limits leaves room for the
// neighbour arithmetic and can never equal the "no update yet" sentinel.
constexpr double STREAM_CHUNK_COORD_LIMIT = 2147483647.0 - 16.0;

static bool chunk_coord_of(float scaled, int32_t* out) {
    const float f = floorf(scaled);
    if (!std::isfinite(f) || std::fabs(static_cast<double>(f)) > STREAM_CHUNK_COORD_LIMIT) return false;
    *out = static_cast<int32_t>(f);
    return true;
}

// False for positions that name no chunk (NaN, infinities, beyond the int32 range).
static bool player_chunk_of(Vector3 pos, int32_t pc[3]) {
    return chunk_coord_of(pos.x * 0.03125f, &pc[0]) && chunk_coord_of(pos.y * 0.015625f, &pc[1]) &&
           chunk_coord_of(pos.z * 0.03125f, &pc[2]);
}

// How far the chunk's centre lies along the view direction, in blocks.
static float view_dot(int32_t cx, int32_t cy, int32_t cz, Vector3 pos, Vector3 fwd) {
    const float dx = static_cast<float>(static_cast<int64_t>(cx) * CHUNK_SIZE + CHUNK_SIZE / 2) - pos.x;
    const float dy = static_cast<float>(static_cast<int64_t>(cy) * CHUNK_HEIGHT + CHUNK_HEIGHT / 2) - pos.y;
    const float dz = static_cast<float>(static_cast<int64_t>(cz) * CHUNK_SIZE + CHUNK_SIZE / 2) - pos.z;
    return dx * fwd.x + dy * fwd.y + dz * fwd.z;
}

void world_remesh_neighbours_in_play(World* world, Chunk* chunk) {
    if (!world || !chunk) return;
    static const int32_t offsets[6][3] = {{1, 0, 0}, {-1, 0, 0}, {0, 1, 0}, {0, -1, 0}, {0, 0, 1}, {0, 0, -1}};
    for (const auto& d : offsets) {
        Chunk* n = world_get_chunk(world, chunk->chunk_x + d[0], chunk->chunk_y + d[1], chunk->chunk_z + d[2]);
        if (!n || !n->loaded || !n->generated) continue;
        pthread_mutex_lock(&n->mutex);
        n->meshed = false;
        pthread_mutex_unlock(&n->mutex);
        worker_queue_chunk(world, n);
    }
}

static void bring_into_play(World* world, Chunk* chunk) {
    if (!chunk->generated) {
        world_generate_chunk(chunk, world->seed);
        chunk->generated = true;
    }
    chunk->loaded = true;
    chunk->pending_unload = false;
    chunk->needs_relighting = true;
    chunk->meshed = false;
    // Lists of chunks already in play left out their faces towards this one.
    world_remesh_neighbours_in_play(world, chunk);
}

static void load_pass(World* world, const int32_t pc[3], Vector3 pos, Vector3 fwd) {
    for (int32_t cx = pc[0] - STREAM_LOAD_DIST; cx <= pc[0] + STREAM_LOAD_DIST; cx++)
        for (int32_t cy = pc[1] - STREAM_LOAD_DIST; cy <= pc[1] + STREAM_LOAD_DIST; cy++)
            for (int32_t cz = pc[2] - STREAM_LOAD_DIST; cz <= pc[2] + STREAM_LOAD_DIST; cz++) {
                if (view_dot(cx, cy, cz, pos, fwd) < STREAM_LOAD_VIEW_THRESHOLD) continue;
                Chunk* chunk = world_load_or_create_chunk(world, cx, cy, cz);
                if (chunk && !chunk->loaded) bring_into_play(world, chunk);
            }
}

static void relight_pass(World* world, const int32_t pc[3]) {
    for (int32_t cx = pc[0] - STREAM_LOAD_DIST; cx <= pc[0] + STREAM_LOAD_DIST; cx++)
        for (int32_t cy = pc[1] - STREAM_LOAD_DIST; cy <= pc[1] + STREAM_LOAD_DIST; cy++)
            for (int32_t cz = pc[2] - STREAM_LOAD_DIST; cz <= pc[2] + STREAM_LOAD_DIST; cz++) {
                Chunk* chunk = world_get_chunk(world, cx, cy, cz);
                if (chunk && chunk->generated && chunk->loaded && chunk->needs_relighting)
                    worker_queue_chunk(world, chunk);
            }
}

static bool should_retire(const Chunk* chunk, const int32_t pc[3], Vector3 pos, Vector3 fwd) {
    const int64_t dx = static_cast<int64_t>(chunk->chunk_x) - pc[0];
    const int64_t dy = static_cast<int64_t>(chunk->chunk_y) - pc[1];
    const int64_t dz = static_cast<int64_t>(chunk->chunk_z) - pc[2];
    const int64_t r = STREAM_UNLOAD_DIST;
    if (dx * dx + dz * dz > r * r || dy > r || dy < -r) return true;
    return view_dot(chunk->chunk_x, chunk->chunk_y, chunk->chunk_z, pos, fwd) < STREAM_RETIRE_VIEW_THRESHOLD;
}

// Takes a modified chunk out of play and asks the worker to save it; the
// record stays cached until a later pass finds it saved.
static void request_save_before_removal(World* world, Chunk* chunk) {
    chunk->pending_unload = true;
    chunk->loaded = false;
    worker_queue_chunk_save(world, chunk);
}

// One removal per update in ordinary play; above the soft limit, as many as it
// takes to get back to it. Compaction moves the last record, so nothing is
// removed while a job pins that record.
static void retire_pass(World* world, const int32_t pc[3], Vector3 pos, Vector3 fwd) {
    ChunkCache* cache = &world->chunk_cache;
    int removed = 0;
    int i = 0;
    while (i < cache->chunk_count) {
        Chunk* chunk = &cache->chunks[i];
        if (!should_retire(chunk, pc, pos, fwd) || chunk->in_use_count.load() > 0) {
            i++;
            continue;
        }
        if (chunk->modified && !chunk->pending_save) {
            request_save_before_removal(world, chunk);
            i++;
            continue;
        }
        if (chunk->pending_save) {
            i++;
            continue;
        }
        if (cache->chunks[cache->chunk_count - 1].in_use_count.load() > 0) return;
        world_remove_chunk_at(world, i);
        removed++;
        if (removed >= STREAM_MAX_UNLOADS_PER_UPDATE && cache->chunk_count <= STREAM_SOFT_CHUNK_LIMIT) return;
    }
}

void world_update_chunks(World* world, Vector3 player_pos, Vector3 camera_forward) {
    if (!world) return;
    int32_t pc[3] = {0, 0, 0};
    if (!player_chunk_of(player_pos, pc)) return;
    if (pc[0] == world->last_loaded_chunk_x && pc[1] == world->last_loaded_chunk_y &&
        pc[2] == world->last_loaded_chunk_z)
        return;
    world->last_loaded_chunk_x = pc[0];
    world->last_loaded_chunk_y = pc[1];
    world->last_loaded_chunk_z = pc[2];

    pthread_mutex_lock(&world->cache_mutex);
    load_pass(world, pc, player_pos, camera_forward);
    pthread_mutex_unlock(&world->cache_mutex);

    pthread_mutex_lock(&world->cache_mutex);
    relight_pass(world, pc);
    pthread_mutex_unlock(&world->cache_mutex);

    pthread_mutex_lock(&world->cache_mutex);
    retire_pass(world, pc, player_pos, camera_forward);
    pthread_mutex_unlock(&world->cache_mutex);
}

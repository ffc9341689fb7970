// Sky light and block light of a chunk, and reading light by world coordinates.
//
// Both fields are computed into the inactive buffer and spread by a
// breadth-first flood fill that loses one level per step and never leaves the
// chunk. The worker flips `active_light_buffer` once both fields are done.
#include <atomic>
#include <cstring>

#include "world.h"

typedef uint8_t LightField[CHUNK_HEIGHT][CHUNK_SIZE][CHUNK_SIZE];

struct LightQueueEntry {
    int x, y, z;
    uint8_t light;  // level stored at the cell when it was queued
};

// Cells are read with relaxed atomic loads: the main thread may edit a block
// while the worker lights the chunk, and the job every edit queues corrects a
// stale read.
static inline BlockType load_block(const Chunk* chunk, int x, int y, int z) {
    BlockType& cell = const_cast<BlockType&>(chunk->blocks[y][z][x].type);
    return std::atomic_ref<BlockType>(cell).load(std::memory_order_relaxed);
}

static bool light_passes(BlockType type, bool sky) {
    if (sky) return type == BLOCK_AIR;
    return get_block_properties(type).opacity < LIGHT_MAX;
}

// Stores `level` at a neighbour that is passable and darker, and queues it
// while it can still light further and the queue has room. A full queue keeps
// the stored level but ends spreading at that cell.
static void light_neighbour(const Chunk* chunk, LightField field, LightQueueEntry* queue, int* queue_tail, int x, int y,
                            int z, uint8_t level, bool sky) {
    if (static_cast<unsigned>(x) >= static_cast<unsigned>(CHUNK_SIZE) ||
        static_cast<unsigned>(y) >= static_cast<unsigned>(CHUNK_HEIGHT) ||
        static_cast<unsigned>(z) >= static_cast<unsigned>(CHUNK_SIZE))
        return;
    if (!light_passes(load_block(chunk, x, y, z), sky)) return;
    if (field[y][z][x] >= level) return;
    field[y][z][x] = level;
    if (level > 1 && *queue_tail < LIGHT_QUEUE_SIZE) {
        queue[*queue_tail] = LightQueueEntry{x, y, z, level};
        (*queue_tail)++;
    }
}

// The queue holds cells whose level is already stored. It is read front to
// back once and never wraps, so at most LIGHT_QUEUE_SIZE cells ever spread.
static void spread_light(const Chunk* chunk, LightField field, LightQueueEntry* queue, int queue_tail, bool sky) {
    for (int head = 0; head < queue_tail; head++) {
        const LightQueueEntry e = queue[head];
        if (e.light < 2) continue;
        const uint8_t level = static_cast<uint8_t>(e.light - 1);
        light_neighbour(chunk, field, queue, &queue_tail, e.x + 1, e.y, e.z, level, sky);
        light_neighbour(chunk, field, queue, &queue_tail, e.x - 1, e.y, e.z, level, sky);
        light_neighbour(chunk, field, queue, &queue_tail, e.x, e.y + 1, e.z, level, sky);
        light_neighbour(chunk, field, queue, &queue_tail, e.x, e.y - 1, e.z, level, sky);
        light_neighbour(chunk, field, queue, &queue_tail, e.x, e.y, e.z + 1, level, sky);
        light_neighbour(chunk, field, queue, &queue_tail, e.x, e.y, e.z - 1, level, sky);
    }
}

// Scans every column down from SKYLIGHT_TOP_Y exactly as reading each block
// with world_get_block would, but one chunk layer at a time with one cache
// lookup per layer, and row by row so that reads follow memory order. A column
// goes dark at its first block that is not air (that cell and everything below
// keep 0); layers below this chunk cannot shade it and are not read.
static void skylight_scan_columns(const Chunk* chunk, World* world, LightField field) {
    bool dark[CHUNK_SIZE][CHUNK_SIZE] = {};
    int dark_columns = 0;
    const int32_t top_layer = world_to_chunk_y(SKYLIGHT_TOP_Y);
    for (int32_t layer_y = top_layer; layer_y >= chunk->chunk_y && dark_columns < CHUNK_SIZE * CHUNK_SIZE; layer_y--) {
        const bool own_layer = layer_y == chunk->chunk_y;
        const int high = layer_y == top_layer ? SKYLIGHT_TOP_Y - top_layer * CHUNK_HEIGHT : CHUNK_HEIGHT - 1;
        pthread_mutex_lock(&world->cache_mutex);
        const Chunk* layer = world_get_chunk(world, chunk->chunk_x, layer_y, chunk->chunk_z);
        // An uncached layer above reads as air: it neither shades nor is lit here.
        if (!layer && !own_layer) {
            pthread_mutex_unlock(&world->cache_mutex);
            continue;
        }
        for (int y = high; y >= 0; y--)
            for (int z = 0; z < CHUNK_SIZE; z++)
                for (int x = 0; x < CHUNK_SIZE; x++) {
                    if (dark[z][x]) continue;
                    if (layer && load_block(layer, x, y, z) != BLOCK_AIR) {
                        dark[z][x] = true;
                        dark_columns++;
                    } else if (own_layer) {
                        field[y][z][x] = LIGHT_MAX;
                    }
                }
        pthread_mutex_unlock(&world->cache_mutex);
    }
}

void calculate_chunk_skylight(Chunk* chunk, World* world, int target_buffer) {
    if (!chunk || !world) return;
    LightField& field = chunk->skylight[target_buffer];
    memset(field, 0, sizeof(field));
    // Nothing above SKYLIGHT_TOP_Y shades and nothing below y = 0 is lit.
    if (chunk->chunk_y < 0 || chunk->chunk_y > world_to_chunk_y(SKYLIGHT_TOP_Y)) return;

    skylight_scan_columns(chunk, world, field);

    // Per thread so that two worlds' workers (or a test thread) never share it.
    static thread_local LightQueueEntry queue[LIGHT_QUEUE_SIZE];
    int queue_tail = 0;
    for (int y = 0; y < CHUNK_HEIGHT && queue_tail < LIGHT_QUEUE_SIZE; y++)
        for (int z = 0; z < CHUNK_SIZE && queue_tail < LIGHT_QUEUE_SIZE; z++)
            for (int x = 0; x < CHUNK_SIZE && queue_tail < LIGHT_QUEUE_SIZE; x++)
                if (field[y][z][x] > 0 && load_block(chunk, x, y, z) == BLOCK_AIR)
                    queue[queue_tail++] = LightQueueEntry{x, y, z, field[y][z][x]};
    spread_light(chunk, field, queue, queue_tail, true);
}

void calculate_chunk_blocklight(Chunk* chunk, World* world, int target_buffer) {
    (void)world;
    if (!chunk) return;
    LightField& field = chunk->blocklight[target_buffer];
    memset(field, 0, sizeof(field));

    // Emission of the known types, looked up once per computation.
    uint8_t known_emission[BLOCK_GLOWSTONE + 1] = {0};
    for (int t = 0; t <= BLOCK_GLOWSTONE; t++)
        known_emission[t] = get_block_properties(static_cast<BlockType>(t)).emission;

    static thread_local LightQueueEntry queue[LIGHT_QUEUE_SIZE];
    int queue_tail = 0;
    for (int y = 0; y < CHUNK_HEIGHT; y++)
        for (int z = 0; z < CHUNK_SIZE; z++)
            for (int x = 0; x < CHUNK_SIZE; x++) {
                const BlockType type = load_block(chunk, x, y, z);
                const uint8_t emission = static_cast<unsigned>(type) <= static_cast<unsigned>(BLOCK_GLOWSTONE)
                                             ? known_emission[type]
                                             : get_block_properties(type).emission;
                if (emission == 0) continue;
                field[y][z][x] = emission;
                if (queue_tail < LIGHT_QUEUE_SIZE) queue[queue_tail++] = LightQueueEntry{x, y, z, emission};
            }
    spread_light(chunk, field, queue, queue_tail, false);
}

// Main thread only: it is the only thread that changes the chunk array, so the
// lookup needs no lock, and the worker never writes the active buffer.
static uint8_t world_get_light(World* world, int x, int y, int z, bool sky) {
    if (!world || y < 0 || y > SKYLIGHT_TOP_Y) return 0;
    const Chunk* chunk = world_get_chunk(world, world_to_chunk_xz(x), world_to_chunk_y(y), world_to_chunk_xz(z));
    if (!chunk) return 0;
    const int active = chunk->active_light_buffer.load();
    const int lx = world_to_local_xz(x), ly = world_to_local_y(y), lz = world_to_local_xz(z);
    return sky ? chunk->skylight[active][ly][lz][lx] : chunk->blocklight[active][ly][lz][lx];
}

uint8_t world_get_skylight(World* world, int x, int y, int z) {
    return world_get_light(world, x, y, z, true);
}

uint8_t world_get_blocklight(World* world, int x, int y, int z) {
    return world_get_light(world, x, y, z, false);
}

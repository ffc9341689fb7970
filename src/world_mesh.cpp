// Visible-block lists: every solid block with a face toward air in a loaded
// chunk, with the mask of those faces. Lists are built aside and swapped in,
// so the renderer always copies one complete list.
#include <atomic>
#include <cstdio>
#include <cstdlib>

#include "world.h"

// Cells are read with relaxed atomic loads: the main thread may edit a block
// while the worker rebuilds the list, and every edit queues another rebuild.
static inline BlockType load_block(const Chunk* chunk, int x, int y, int z) {
    BlockType& cell = const_cast<BlockType&>(chunk->blocks[y][z][x].type);
    return std::atomic_ref<BlockType>(cell).load(std::memory_order_relaxed);
}

static bool is_air(const Chunk* chunk, int x, int y, int z) {
    return load_block(chunk, x, y, z) == BLOCK_AIR;
}

struct VisibleList {
    CachedVisibleBlock* blocks;
    int count;
    int capacity;
};

// What the rebuild needs to know about the chunk's own record: whether it is
// the cached record for its coordinates (so its cells are what world_get_block
// would read) and whether it is loaded.
struct SelfState {
    bool cached;
    bool loaded;
};

static SelfState self_state(const Chunk* chunk, World* world) {
    pthread_mutex_lock(&world->cache_mutex);
    const Chunk* found = world_get_chunk(world, chunk->chunk_x, chunk->chunk_y, chunk->chunk_z);
    const SelfState state{found == chunk, found != nullptr && found->loaded};
    pthread_mutex_unlock(&world->cache_mutex);
    return state;
}

// A face looking into another record (or into a record we cannot read
// directly) is exposed only when that cell is air and its chunk is cached and
// loaded. The lookup runs under cache_mutex because on the worker the main
// thread may append or move records at the same moment.
static bool face_exposed_locked(World* world, int32_t cx, int32_t cy, int32_t cz, int x, int y, int z) {
    pthread_mutex_lock(&world->cache_mutex);
    const Chunk* n = world_get_chunk(world, cx, cy, cz);
    const bool exposed = n != nullptr && load_block(n, x, y, z) == BLOCK_AIR && n->loaded;
    pthread_mutex_unlock(&world->cache_mutex);
    return exposed;
}

// Face test for the neighbour at local (x, y, z) of `chunk`, which may lie one
// step outside the chunk. Inside, the cell is the chunk's own and is read
// directly; outside, the coordinate wraps into the neighbour record.
static bool face_exposed(const Chunk* chunk, World* world, SelfState self, int x, int y, int z) {
    const int32_t cx = chunk->chunk_x + (x < 0 ? -1 : x >= CHUNK_SIZE ? 1 : 0);
    const int32_t cy = chunk->chunk_y + (y < 0 ? -1 : y >= CHUNK_HEIGHT ? 1 : 0);
    const int32_t cz = chunk->chunk_z + (z < 0 ? -1 : z >= CHUNK_SIZE ? 1 : 0);
    const int lx = x & (CHUNK_SIZE - 1), ly = y & (CHUNK_HEIGHT - 1), lz = z & (CHUNK_SIZE - 1);
    const bool inside = cx == chunk->chunk_x && cy == chunk->chunk_y && cz == chunk->chunk_z;
    if (inside && self.cached) return self.loaded && is_air(chunk, lx, ly, lz);
    return face_exposed_locked(world, cx, cy, cz, lx, ly, lz);
}

// All six neighbours of an inner cell are the chunk's own cells.
static uint8_t inner_exposed_faces(const Chunk* chunk, int x, int y, int z) {
    return static_cast<uint8_t>(
        (is_air(chunk, x + 1, y, z) ? FACE_POS_X : 0) | (is_air(chunk, x - 1, y, z) ? FACE_NEG_X : 0) |
        (is_air(chunk, x, y + 1, z) ? FACE_POS_Y : 0) | (is_air(chunk, x, y - 1, z) ? FACE_NEG_Y : 0) |
        (is_air(chunk, x, y, z + 1) ? FACE_POS_Z : 0) | (is_air(chunk, x, y, z - 1) ? FACE_NEG_Z : 0));
}

static uint8_t exposed_faces(const Chunk* chunk, World* world, SelfState self, int x, int y, int z) {
    const bool inner = x > 0 && x < CHUNK_SIZE - 1 && y > 0 && y < CHUNK_HEIGHT - 1 && z > 0 && z < CHUNK_SIZE - 1;
    if (inner && self.cached) return self.loaded ? inner_exposed_faces(chunk, x, y, z) : 0;
    uint8_t faces = 0;
    if (face_exposed(chunk, world, self, x + 1, y, z)) faces |= FACE_POS_X;
    if (face_exposed(chunk, world, self, x - 1, y, z)) faces |= FACE_NEG_X;
    if (face_exposed(chunk, world, self, x, y + 1, z)) faces |= FACE_POS_Y;
    if (face_exposed(chunk, world, self, x, y - 1, z)) faces |= FACE_NEG_Y;
    if (face_exposed(chunk, world, self, x, y, z + 1)) faces |= FACE_POS_Z;
    if (face_exposed(chunk, world, self, x, y, z - 1)) faces |= FACE_NEG_Z;
    return faces;
}

static bool list_append(VisibleList* list, CachedVisibleBlock entry) {
    if (list->count == list->capacity) {
        const int capacity = list->capacity * 2;
        void* grown = realloc(list->blocks, static_cast<size_t>(capacity) * sizeof(CachedVisibleBlock));
        if (!grown) {
            fprintf(stderr, "[mesh] Failed to grow visible-block list to %d entries\n", capacity);
            return false;
        }
        list->blocks = static_cast<CachedVisibleBlock*>(grown);
        list->capacity = capacity;
    }
    list->blocks[list->count++] = entry;
    return true;
}

static bool build_list(const Chunk* chunk, World* world, VisibleList* list) {
    const SelfState self = self_state(chunk, world);
    for (int y = 0; y < CHUNK_HEIGHT; y++)
        for (int z = 0; z < CHUNK_SIZE; z++)
            for (int x = 0; x < CHUNK_SIZE; x++) {
                if (load_block(chunk, x, y, z) == BLOCK_AIR) continue;
                const uint8_t faces = exposed_faces(chunk, world, self, x, y, z);
                if (faces != 0 && !list_append(list, CachedVisibleBlock{x, y, z, faces, 0})) return false;
            }
    return true;
}

// Makes `list` active in the slot that is not; the list that slot held became
// inactive one rebuild ago, and no reader can still be copying it. A rebuild
// that started before the one whose list is already active read older blocks:
// its list is dropped, because the newer list is the one the flags promise.
static void publish_list(Chunk* chunk, VisibleList list, uint32_t build) {
    pthread_mutex_lock(&chunk->mesh_swap_mutex);
    if (static_cast<int32_t>(build - chunk->mesh_published_build) <= 0) {
        pthread_mutex_unlock(&chunk->mesh_swap_mutex);
        free(list.blocks);
        return;
    }
    const int inactive = 1 - chunk->active_mesh.load();
    free(chunk->visible_blocks[inactive]);
    chunk->visible_blocks[inactive] = list.blocks;
    chunk->visible_count[inactive] = list.count;
    chunk->visible_capacity[inactive] = list.capacity;
    chunk->mesh_published_build = build;
    chunk->active_mesh.store(inactive);
    chunk->list_stamp.store(world_next_stamp());
    pthread_mutex_unlock(&chunk->mesh_swap_mutex);
}

void chunk_cache_visible_blocks(Chunk* chunk, World* world) {
    if (!chunk || !world) return;
    // Numbered before any cell is read: a higher number reads blocks at least as new.
    const uint32_t build = chunk->mesh_builds_started.fetch_add(1) + 1;
    VisibleList list{
        static_cast<CachedVisibleBlock*>(malloc(VISIBLE_LIST_INITIAL_CAPACITY * sizeof(CachedVisibleBlock))), 0,
        VISIBLE_LIST_INITIAL_CAPACITY};
    if (!list.blocks) {
        fprintf(stderr, "[mesh] Failed to allocate visible-block list for chunk (%d,%d,%d)\n", chunk->chunk_x,
                chunk->chunk_y, chunk->chunk_z);
        return;
    }
    if (!build_list(chunk, world, &list)) {
        free(list.blocks);
        return;
    }
    publish_list(chunk, list, build);
}

void chunk_free_visible_blocks(Chunk* chunk) {
    if (!chunk) return;
    pthread_mutex_lock(&chunk->mesh_swap_mutex);
    for (int i = 0; i < 2; i++) {
        free(chunk->visible_blocks[i]);
        chunk->visible_blocks[i] = nullptr;
        chunk->visible_count[i] = 0;
        chunk->visible_capacity[i] = 0;
    }
    chunk->list_stamp.store(world_next_stamp());
    pthread_mutex_unlock(&chunk->mesh_swap_mutex);
}

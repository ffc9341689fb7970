// The World record and its chunk cache: one array of records reserved once,
// a coordinate index over it, lookups, appends (reading chunk files) and removal.
#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <new>

#include "world.h"

// ---------------------------------------------------------------- index
// Open addressing with linear probing; deletion shifts later entries back so
// that no tombstones are needed. Slots hold record number + 1.

static uint32_t index_hash(int32_t cx, int32_t cy, int32_t cz) {
    uint64_t h = static_cast<uint64_t>(static_cast<uint32_t>(cx)) * 0x9E3779B97F4A7C15ull;
    h ^= static_cast<uint64_t>(static_cast<uint32_t>(cy)) * 0xC2B2AE3D27D4EB4Full;
    h ^= static_cast<uint64_t>(static_cast<uint32_t>(cz)) * 0x165667B19E3779F9ull;
    h ^= h >> 29;
    return static_cast<uint32_t>(h) & (CHUNK_INDEX_SLOTS - 1);
}

static bool record_is(const Chunk* c, int32_t cx, int32_t cy, int32_t cz) {
    return c->chunk_x == cx && c->chunk_y == cy && c->chunk_z == cz;
}

// Slot holding the record with these coordinates, or -1.
static int index_find_slot(const ChunkCache* cache, int32_t cx, int32_t cy, int32_t cz) {
    uint32_t slot = index_hash(cx, cy, cz);
    while (cache->index[slot] != 0) {
        if (record_is(&cache->chunks[cache->index[slot] - 1], cx, cy, cz)) return static_cast<int>(slot);
        slot = (slot + 1) & (CHUNK_INDEX_SLOTS - 1);
    }
    return -1;
}

static void index_insert(ChunkCache* cache, int record) {
    const Chunk* c = &cache->chunks[record];
    uint32_t slot = index_hash(c->chunk_x, c->chunk_y, c->chunk_z);
    while (cache->index[slot] != 0) slot = (slot + 1) & (CHUNK_INDEX_SLOTS - 1);
    cache->index[slot] = static_cast<int16_t>(record + 1);
}

static void index_erase_slot(ChunkCache* cache, int slot) {
    const uint32_t mask = CHUNK_INDEX_SLOTS - 1;
    uint32_t hole = static_cast<uint32_t>(slot);
    uint32_t next = (hole + 1) & mask;
    while (cache->index[next] != 0) {
        const Chunk* c = &cache->chunks[cache->index[next] - 1];
        uint32_t home = index_hash(c->chunk_x, c->chunk_y, c->chunk_z);
        // Move the entry back if its home does not lie cyclically in (hole, next].
        if (((next - home) & mask) >= ((next - hole) & mask)) {
            cache->index[hole] = cache->index[next];
            hole = next;
        }
        next = (next + 1) & mask;
    }
    cache->index[hole] = 0;
}

// ---------------------------------------------------------------- records

static void init_mutexes(Chunk* chunk) {
    pthread_mutex_init(&chunk->light_swap_mutex, nullptr);
    pthread_mutex_init(&chunk->mesh_swap_mutex, nullptr);
    pthread_mutex_init(&chunk->mutex, nullptr);
}

static void destroy_mutexes(Chunk* chunk) {
    pthread_mutex_destroy(&chunk->light_swap_mutex);
    pthread_mutex_destroy(&chunk->mesh_swap_mutex);
    pthread_mutex_destroy(&chunk->mutex);
}

uint32_t world_next_stamp(void) {
    static std::atomic<uint32_t> last{0};
    return last.fetch_add(1) + 1;
}

void world_chunk_init(Chunk* chunk, int32_t chunk_x, int32_t chunk_y, int32_t chunk_z) {
    memset(static_cast<void*>(chunk), 0, sizeof(Chunk));
    new (chunk) Chunk;
    chunk->chunk_x = chunk_x;
    chunk->chunk_y = chunk_y;
    chunk->chunk_z = chunk_z;
    chunk->needs_relighting = true;
    init_mutexes(chunk);
}

Chunk* chunk_create(int32_t chunk_x, int32_t chunk_y, int32_t chunk_z) {
    // Records are page-aligned, which plain new does not promise for every allocator.
    Chunk* chunk = static_cast<Chunk*>(aligned_alloc(alignof(Chunk), sizeof(Chunk)));
    if (!chunk) {
        fprintf(stderr, "[chunk_cache] Failed to allocate a chunk record\n");
        return nullptr;
    }
    world_chunk_init(chunk, chunk_x, chunk_y, chunk_z);
    return chunk;
}

void chunk_free(Chunk* chunk) {
    if (!chunk) return;
    chunk_free_visible_blocks(chunk);
    destroy_mutexes(chunk);
    free(chunk);
}

// Gives the pages of an unused slot back to the system; they read as zero
// when touched again.
static void release_slot_pages(Chunk* chunk) {
    if (madvise(static_cast<void*>(chunk), sizeof(Chunk), MADV_DONTNEED) != 0)
        fprintf(stderr, "[chunk_cache] madvise failed: %s\n", strerror(errno));
}

World* world_create(void) {
    World* world = static_cast<World*>(calloc(1, sizeof(World)));
    if (!world) {
        fprintf(stderr, "[world] Failed to allocate the world record\n");
        return nullptr;
    }
    // About 2 GiB of address space; only the pages of records in use become resident.
    void* array = mmap(nullptr, sizeof(Chunk) * CHUNK_CACHE_CAPACITY, PROT_READ | PROT_WRITE,
                       MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    if (array == MAP_FAILED) {
        fprintf(stderr, "[world] Failed to reserve the chunk array: %s\n", strerror(errno));
        free(world);
        return nullptr;
    }
    world->chunk_cache.chunks = static_cast<Chunk*>(array);
    world->chunk_cache.chunk_capacity = CHUNK_CACHE_CAPACITY;
    world->chunk_cache.chunk_count = 0;
    world->last_loaded_chunk_x = WORLD_NO_CHUNK;
    world->last_loaded_chunk_y = WORLD_NO_CHUNK;
    world->last_loaded_chunk_z = WORLD_NO_CHUNK;
    world->textures.textures_loaded = false;
    snprintf(world->world_name, sizeof(world->world_name), "%s", "default");
    world->last_player_position = Vector3{WORLD_DEFAULT_PLAYER_X, WORLD_DEFAULT_PLAYER_Y, WORLD_DEFAULT_PLAYER_Z};
    world->seed = static_cast<uint64_t>(time(nullptr));
    pthread_mutex_init(&world->cache_mutex, nullptr);
    worker_init(world);
    return world;
}

void world_free(World* world) {
    if (!world) return;
    worker_shutdown(world);
    ChunkCache* cache = &world->chunk_cache;
    for (int i = 0; i < cache->chunk_count; i++) {
        chunk_free_visible_blocks(&cache->chunks[i]);
        destroy_mutexes(&cache->chunks[i]);
    }
    if (munmap(static_cast<void*>(cache->chunks), sizeof(Chunk) * CHUNK_CACHE_CAPACITY) != 0)
        fprintf(stderr, "[world] Failed to release the chunk array: %s\n", strerror(errno));
    pthread_mutex_destroy(&world->cache_mutex);
    free(world);
}

Chunk* world_get_chunk(World* world, int32_t chunk_x, int32_t chunk_y, int32_t chunk_z) {
    if (!world || world->chunk_cache.chunk_count == 0) return nullptr;
    const ChunkCache* cache = &world->chunk_cache;
    int slot = index_find_slot(cache, chunk_x, chunk_y, chunk_z);
    return slot < 0 ? nullptr : &cache->chunks[cache->index[slot] - 1];
}

// Cells stay air where the file is short; values are taken as they are.
static void read_chunk_file(Chunk* chunk, FILE* file, const char* path) {
    unsigned char* bytes = static_cast<unsigned char*>(malloc(WORLD_CHUNK_FILE_BYTES));
    if (!bytes) {
        fprintf(stderr, "[chunk_load] Out of memory reading %s\n", path);
        return;
    }
    size_t got = fread(bytes, 1, WORLD_CHUNK_FILE_BYTES, file);
    if (got < static_cast<size_t>(WORLD_CHUNK_FILE_BYTES) && ferror(file))
        fprintf(stderr, "[chunk_load] Read error in %s after %zu bytes\n", path, got);
    Block* cells = &chunk->blocks[0][0][0];
    for (size_t i = 0; i < got / 4; i++) {
        const unsigned char* b = bytes + i * 4;
        uint32_t v = static_cast<uint32_t>(b[0]) | (static_cast<uint32_t>(b[1]) << 8) |
                     (static_cast<uint32_t>(b[2]) << 16) | (static_cast<uint32_t>(b[3]) << 24);
        cells[i].type = static_cast<BlockType>(static_cast<int32_t>(v));
    }
    free(bytes);
}

Chunk* world_load_or_create_chunk(World* world, int32_t chunk_x, int32_t chunk_y, int32_t chunk_z) {
    if (!world) return nullptr;
    Chunk* found = world_get_chunk(world, chunk_x, chunk_y, chunk_z);
    if (found) return found;
    ChunkCache* cache = &world->chunk_cache;
    if (cache->chunk_count >= cache->chunk_capacity) {
        fprintf(stderr, "[ERROR] Chunk cache overflow! count=%d, capacity=%d. Preallocated buffer was too small!\n",
                cache->chunk_count, cache->chunk_capacity);
        return nullptr;
    }
    Chunk* chunk = &cache->chunks[cache->chunk_count];
    world_chunk_init(chunk, chunk_x, chunk_y, chunk_z);
    index_insert(cache, cache->chunk_count);
    cache->chunk_count++;

    char path[WORLD_PATH_MAX];
    world_chunk_path(path, world->world_name, chunk_x, chunk_y, chunk_z);
    FILE* file = fopen(path, "rb");
    if (!file) {
        printf("[chunk_load] Chunk not found: %s (will stay as air)\n", path);
        return chunk;
    }
    read_chunk_file(chunk, file, path);
    if (fclose(file) != 0) fprintf(stderr, "[chunk_load] Failed to close %s\n", path);
    chunk->loaded = true;
    chunk->generated = true;
    chunk->modified = false;
    chunk->needs_relighting = true;
    printf("[chunk_load] Loaded chunk from %s\n", path);
    worker_queue_chunk(world, chunk);
    world_remesh_neighbours_in_play(world, chunk);
    return chunk;
}

static BlockType locked_block_read(World* world, int x, int y, int z, BlockType missing) {
    if (!world) return missing;
    pthread_mutex_lock(&world->cache_mutex);
    Chunk* chunk = world_get_chunk(world, world_to_chunk_xz(x), world_to_chunk_y(y), world_to_chunk_xz(z));
    BlockType type =
        chunk ? world_chunk_get_block(chunk, world_to_local_xz(x), world_to_local_y(y), world_to_local_xz(z)) : missing;
    pthread_mutex_unlock(&world->cache_mutex);
    return type;
}

BlockType world_get_block(World* world, int x, int y, int z) {
    return locked_block_read(world, x, y, z, BLOCK_AIR);
}

BlockType world_get_block_or_solid(World* world, int x, int y, int z) {
    return locked_block_read(world, x, y, z, BLOCK_STONE);
}

void world_remove_chunk_at(World* world, int index) {
    ChunkCache* cache = &world->chunk_cache;
    if (index < 0 || index >= cache->chunk_count) return;
    Chunk* gone = &cache->chunks[index];
    chunk_free_visible_blocks(gone);
    index_erase_slot(cache, index_find_slot(cache, gone->chunk_x, gone->chunk_y, gone->chunk_z));
    destroy_mutexes(gone);

    const int last = cache->chunk_count - 1;
    Chunk* moved = &cache->chunks[last];
    if (index != last) {
        // A byte copy of a mutex is not a mutex: the moved record gets fresh ones.
        // Nothing holds them now; the caller made sure the record is not pinned.
        destroy_mutexes(moved);
        memcpy(static_cast<void*>(gone), static_cast<const void*>(moved), sizeof(Chunk));
        init_mutexes(gone);
        cache->index[index_find_slot(cache, gone->chunk_x, gone->chunk_y, gone->chunk_z)] =
            static_cast<int16_t>(index + 1);
    }
    cache->chunk_count = last;
    release_slot_pages(moved);
}

void world_clear_chunks(World* world) {
    if (!world) return;
    ChunkCache* cache = &world->chunk_cache;
    for (int i = 0; i < cache->chunk_count; i++) {
        chunk_free_visible_blocks(&cache->chunks[i]);
        destroy_mutexes(&cache->chunks[i]);
    }
    if (cache->chunk_count > 0 && madvise(static_cast<void*>(cache->chunks),
                                          sizeof(Chunk) * static_cast<size_t>(cache->chunk_count), MADV_DONTNEED) != 0)
        fprintf(stderr, "[chunk_cache] madvise failed: %s\n", strerror(errno));
    cache->chunk_count = 0;
    memset(cache->index, 0, sizeof(cache->index));
}

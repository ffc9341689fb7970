// Saving and loading worlds: chunk files written by the worker's save jobs, by
// autosave and by whole-world saves, and world_load. Every file is written
// whole and renamed over the old one (file_io), so a crash or kill at any
// moment leaves either the complete old file or the complete new one.
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "file_io.h"
#include "world.h"

// ---------------------------------------------------------------- chunk files

// Cells in memory order (y, then z, then x fastest), little-endian, as they are.
static void encode_blocks(const Chunk* chunk, unsigned char* out) {
    const Block* cells = &chunk->blocks[0][0][0];
    for (int i = 0; i < CHUNK_SIZE * CHUNK_HEIGHT * CHUNK_SIZE; i++) {
        BlockType& cell = const_cast<BlockType&>(cells[i].type);
        uint32_t v = (uint32_t)std::atomic_ref<BlockType>(cell).load(std::memory_order_relaxed);
        out[i * 4 + 0] = (unsigned char)(v & 0xFF);
        out[i * 4 + 1] = (unsigned char)((v >> 8) & 0xFF);
        out[i * 4 + 2] = (unsigned char)((v >> 16) & 0xFF);
        out[i * 4 + 3] = (unsigned char)(v >> 24);
    }
}

static bool write_chunk_file(const unsigned char* bytes, const Chunk* chunk, const char* world_name, bool sync) {
    char path[WORLD_PATH_MAX];
    world_chunk_path(path, world_name, chunk->chunk_x, chunk->chunk_y, chunk->chunk_z);
    return file_write_whole(path, bytes, (size_t)WORLD_CHUNK_FILE_BYTES, sync);
}

// Copies the cells under the chunk's mutex, so that no edit lands halfway
// through, and numbers the copy.
static uint32_t take_numbered_copy(Chunk* chunk, unsigned char* bytes) {
    pthread_mutex_lock(&chunk->mutex);
    encode_blocks(chunk, bytes);
    const uint32_t number = ++chunk->file_copies_taken;
    pthread_mutex_unlock(&chunk->mutex);
    return number;
}

// A save job and a whole-world save may write the same chunk file at once, each
// with its own copy of the cells. Whichever copy was taken later must end up in
// the file, whatever order the writers finish in: a copy replaces the file only
// when it is newer than the one there, checked and renamed under the chunk's
// mutex. The slow part (writing and syncing the temporary file) runs unlocked.
static bool write_numbered_copy(Chunk* chunk, const char* world_name, const unsigned char* bytes, uint32_t number,
                                bool sync) {
    char path[WORLD_PATH_MAX], temp[FILE_TEMP_PATH_MAX];
    world_chunk_path(path, world_name, chunk->chunk_x, chunk->chunk_y, chunk->chunk_z);
    if (!file_write_temp(path, temp, bytes, (size_t)WORLD_CHUNK_FILE_BYTES, sync)) return false;
    pthread_mutex_lock(&chunk->mutex);
    const bool newer = (int32_t)(number - chunk->file_copy_on_disk) > 0;
    const bool ok = !newer || file_replace_with_temp(temp, path);
    if (newer && ok) chunk->file_copy_on_disk = number;
    pthread_mutex_unlock(&chunk->mutex);
    if (!newer) file_remove_temp(temp);
    return ok;
}

// Used by the worker's save jobs, a few files at a time, so each file is synced
// to disk before it replaces the old one.
bool world_save_chunk(Chunk* chunk, const char* world_name) {
    if (!chunk || !world_name || !world_check_name(world_name, "save a chunk of")) return false;
    unsigned char* bytes = static_cast<unsigned char*>(malloc((size_t)WORLD_CHUNK_FILE_BYTES));
    if (!bytes) {
        fprintf(stderr, "[world] Out of memory saving chunk (%d,%d,%d)\n", chunk->chunk_x, chunk->chunk_y,
                chunk->chunk_z);
        return false;
    }
    const uint32_t number = take_numbered_copy(chunk, bytes);
    bool ok = world_make_folders(world_name) && write_numbered_copy(chunk, world_name, bytes, number, true);
    free(bytes);
    return ok;
}

// ---------------------------------------------------------------- world.txt

static WorldMetadata metadata_of(const World* world) {
    WorldMetadata metadata = {};
    metadata.seed = world->seed;
    metadata.chunk_count = world->chunk_cache.chunk_count;
    metadata.player_position = world->last_player_position;
    return metadata;
}

bool world_write_metadata(const World* world, const char* world_name, int64_t saved_at) {
    if (!world) return false;
    const WorldMetadata metadata = metadata_of(world);
    return world_write_metadata_values(&metadata, world_name, saved_at);
}

// ---------------------------------------------------------------- autosave

static bool same_position(Vector3 a, Vector3 b) {
    return a.x == b.x && a.y == b.y && a.z == b.z;
}

// Main thread. Only queues work: the worker writes and syncs the chunk files,
// then world.txt, in the order they were asked for, so world.txt never names a
// save whose chunks are not written yet. The record of the player's position
// moves on as for every save.
int world_autosave(World* world, Vector3 player_position) {
    if (!world || !world_name_is_file_safe(world->world_name)) return 0;
    int queued = 0;
    ChunkCache* cache = &world->chunk_cache;
    for (int i = 0; i < cache->chunk_count; i++) {
        Chunk* chunk = &cache->chunks[i];
        if (!chunk->generated || !chunk->modified || chunk->pending_save) continue;
        worker_queue_chunk_save(world, chunk);
        queued++;
    }
    if (queued == 0 && same_position(player_position, world->last_player_position)) return 0;
    world->last_player_position = player_position;
    const WorldMetadata metadata = metadata_of(world);
    worker_queue_metadata_save(world, &metadata);
    return queued;
}

bool world_finish_autosave(const WorldMetadata* metadata, const char* world_name) {
    if (!metadata || !world_check_name(world_name, "autosave")) return false;
    char chunks[WORLD_PATH_MAX];
    world_chunks_path(chunks, world_name);
    // A world whose chunks were never written has no chunks folder yet.
    if (!world_make_folders(world_name) || !file_sync_directory(chunks) ||
        !world_write_metadata_values(metadata, world_name, (int64_t)time(nullptr))) {
        fprintf(stderr, "[world] Autosave of world %s failed\n", world_name);
        return false;
    }
    printf("[world] Autosaved world %s\n", world_name);
    return true;
}

// ---------------------------------------------------------------- world_save

// The chunk file already holds the cells: the chunk was not modified since it
// was read or written, and no save job is halfway through writing it.
static bool chunk_file_is_current(const Chunk* chunk, const char* world_name) {
    if (chunk->modified || chunk->pending_save) return false;
    char path[WORLD_PATH_MAX];
    world_chunk_path(path, world_name, chunk->chunk_x, chunk->chunk_y, chunk->chunk_z);
    struct stat st = {};
    return stat(path, &st) == 0 && st.st_size == WORLD_CHUNK_FILE_BYTES;
}

// Into the world's own folder a chunk goes as a numbered copy (a save job may
// write the same file) and only when its file is not current; a copy under
// another name is written whole and leaves `modified` alone, since the world's
// own files still lack the edits.
static bool save_one_chunk(Chunk* chunk, const char* world_name, bool own_folder, unsigned char* bytes, int* written) {
    if (!chunk->generated || (own_folder && chunk_file_is_current(chunk, world_name))) return true;
    bool ok = false;
    if (own_folder) {
        const uint32_t number = take_numbered_copy(chunk, bytes);
        ok = write_numbered_copy(chunk, world_name, bytes, number, false);
        if (ok) chunk->modified = false;
    } else {
        encode_blocks(chunk, bytes);
        ok = write_chunk_file(bytes, chunk, world_name, false);
    }
    if (ok) (*written)++;
    return ok;
}

// Writes every generated record; a record whose terrain was never made holds
// nothing worth keeping, and an all-air file would later be taken as terrain.
// Files are not synced one by one (too slow for hundreds of files); the caller
// syncs the file system once at the end, and only when something was written.
static bool save_all_chunks(World* world, const char* world_name, int* written) {
    unsigned char* bytes = static_cast<unsigned char*>(malloc((size_t)WORLD_CHUNK_FILE_BYTES));
    if (!bytes) {
        fprintf(stderr, "[world] Out of memory saving world %s\n", world_name);
        return false;
    }
    const bool own_folder = strcmp(world->world_name, world_name) == 0;
    bool ok = true;
    ChunkCache* cache = &world->chunk_cache;
    for (int i = 0; i < cache->chunk_count; i++)
        if (!save_one_chunk(&cache->chunks[i], world_name, own_folder, bytes, written)) ok = false;
    free(bytes);
    return ok;
}

// Copies one chunk file of the running world into the world being saved,
// unless the chunk is in the cache: save_all_chunks writes that one.
static bool copy_chunk_file_if_uncached(World* world, const char* from_dir, const char* entry, const char* world_name,
                                        unsigned char* bytes) {
    int cx = 0, cy = 0, cz = 0, end = 0;
    if (sscanf(entry, "chunk_%d_%d_%d.chunk%n", &cx, &cy, &cz, &end) != 3 || entry[end] != '\0') return true;
    const Chunk* cached = world_get_chunk(world, cx, cy, cz);
    if (cached && cached->generated) return true;
    char from[WORLD_PATH_MAX + 300], to[WORLD_PATH_MAX];
    snprintf(from, sizeof from, "%s/%s", from_dir, entry);
    world_chunk_path(to, world_name, cx, cy, cz);
    size_t size = 0;
    return file_read_whole(from, bytes, (size_t)WORLD_CHUNK_FILE_BYTES, &size) &&
           file_write_whole(to, bytes, size, false);
}

// Saving under another name makes a full copy: chunks that streaming already
// wrote out and dropped from the cache live only in the running world's own
// folder, and without them the copy would lose every edit made there.
static bool copy_uncached_chunk_files(World* world, const char* world_name) {
    char from_dir[WORLD_PATH_MAX];
    world_chunks_path(from_dir, world->world_name);
    DIR* dir = opendir(from_dir);
    if (!dir) return errno == ENOENT;  // nothing was ever written out
    unsigned char* bytes = static_cast<unsigned char*>(malloc((size_t)WORLD_CHUNK_FILE_BYTES));
    bool ok = bytes != nullptr;
    if (!ok) fprintf(stderr, "[world] Out of memory copying %s\n", from_dir);
    for (struct dirent* entry = readdir(dir); ok && entry; entry = readdir(dir))
        ok = copy_chunk_file_if_uncached(world, from_dir, entry->d_name, world_name, bytes);
    free(bytes);
    if (closedir(dir) != 0) {
        fprintf(stderr, "[world] Failed to close %s: %s\n", from_dir, strerror(errno));
        ok = false;
    }
    return ok;
}

static bool saving_under_another_name(const World* world, const char* world_name) {
    return world->world_name[0] != '\0' && strcmp(world->world_name, world_name) != 0 &&
           world_name_is_file_safe(world->world_name);
}

bool world_save(World* world, const char* world_name) {
    if (!world || !world_name || !world_check_name(world_name, "save")) return false;
    if (!world_make_folders(world_name)) {
        fprintf(stderr, "[world] World %s not saved: its directories could not be created\n", world_name);
        return false;
    }
    int written = 0;
    bool ok = true;
    if (saving_under_another_name(world, world_name)) {
        ok = copy_uncached_chunk_files(world, world_name);
        written++;
    }
    if (!save_all_chunks(world, world_name, &written)) ok = false;
    char dir[WORLD_PATH_MAX];
    world_folder_path(dir, world_name);
    if (written > 0 && !file_sync_file_system(dir)) ok = false;
    if (!world_write_metadata(world, world_name, (int64_t)time(nullptr))) ok = false;
    if (!ok) {
        fprintf(stderr, "[world] World %s was not saved completely\n", world_name);
        return false;
    }
    printf("[world] Saved world %s\n", world_name);
    return true;
}

// ---------------------------------------------------------------- world_load

void world_read_metadata(World* world, const char* world_name) {
    WorldMetadata metadata = metadata_of(world);
    if (!world_metadata_read(world_name, &metadata)) {
        char path[WORLD_PATH_MAX];
        world_metadata_path(path, world_name);
        printf("[world] No metadata at %s, starting with defaults\n", path);
        return;
    }
    world->seed = metadata.seed;
    world->last_player_position = metadata.player_position;
}

static bool worker_is_idle(World* world) {
    WorkerQueue* q = &world->worker_queue;
    pthread_mutex_lock(&q->mutex);
    bool idle = q->count == 0 && q->jobs_in_progress == 0;
    pthread_mutex_unlock(&q->mutex);
    return idle;
}

// The cache may be emptied only when no job is waiting or running; a flush
// that times out is repeated (it prints its warning each time) rather than
// dropping chunks under a running job.
static void wait_for_worker_idle(World* world) {
    if (!world->worker_running || !world->worker_thread_started) return;
    do {
        worker_flush_queue(world);
    } while (!worker_is_idle(world));
}

static void bring_spawn_chunk_into_play(World* world, Chunk* chunk) {
    if (chunk->loaded) {
        if (chunk->needs_relighting || !chunk->meshed) worker_queue_chunk(world, chunk);
        return;
    }
    const bool fresh = !chunk->generated;
    if (fresh) world_generate_chunk(chunk, world->seed);
    chunk->generated = true;
    chunk->loaded = true;
    chunk->needs_relighting = true;
    chunk->meshed = false;
    worker_queue_chunk(world, chunk);
    if (fresh) chunk->modified = false;
    world_remesh_neighbours_in_play(world, chunk);
}

// The 27 chunks around chunk (0, 0, 0). Jobs queued by the first chunks may
// already run while later ones are appended, hence cache_mutex.
static void load_spawn_area(World* world) {
    pthread_mutex_lock(&world->cache_mutex);
    for (int32_t cx = -STREAM_LOAD_DIST; cx <= STREAM_LOAD_DIST; cx++)
        for (int32_t cy = -STREAM_LOAD_DIST; cy <= STREAM_LOAD_DIST; cy++)
            for (int32_t cz = -STREAM_LOAD_DIST; cz <= STREAM_LOAD_DIST; cz++) {
                Chunk* chunk = world_load_or_create_chunk(world, cx, cy, cz);
                if (chunk) bring_spawn_chunk_into_play(world, chunk);
            }
    pthread_mutex_unlock(&world->cache_mutex);
}

bool world_load(World* world, const char* world_name) {
    if (!world || !world_name || !world_check_name(world_name, "load")) return false;
    wait_for_worker_idle(world);

    pthread_mutex_lock(&world->cache_mutex);
    world_clear_chunks(world);
    snprintf(world->world_name, sizeof world->world_name, "%s", world_name);
    pthread_mutex_unlock(&world->cache_mutex);
    world->last_loaded_chunk_x = WORLD_NO_CHUNK;
    world->last_loaded_chunk_y = WORLD_NO_CHUNK;
    world->last_loaded_chunk_z = WORLD_NO_CHUNK;
    world->last_player_position = Vector3{WORLD_DEFAULT_PLAYER_X, WORLD_DEFAULT_PLAYER_Y, WORLD_DEFAULT_PLAYER_Z};

    // No writer is active now (the worker is idle): every temporary file there is stale.
    world_remove_stale_temp_files(world_name);
    world_read_metadata(world, world_name);
    load_spawn_area(world);
    printf("[world] Loaded world %s\n", world_name);
    return true;
}

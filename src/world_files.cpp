// Saved worlds: "./worlds/<name>/world.txt" and one raw chunk file per chunk.
//
// Every file is written whole into a temporary file beside it and renamed over
// the old one, so a crash or kill at any moment leaves either the complete old
// file or the complete new one. Directories are made with mkdir(2) directly:
// a world name never passes through a shell.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "world.h"

static const char* const WORLDS_DIR = "./worlds";

// Names stay inside ./worlds: no path separators, nothing hidden, no "." or "..".
static bool world_name_is_valid(const char* name) {
    if (!name || name[0] == '\0' || name[0] == '.') return false;
    if (strlen(name) >= (size_t)WORLD_NAME_MAX) return false;
    return strchr(name, '/') == nullptr && strchr(name, '\\') == nullptr;
}

static bool check_world_name(const char* name, const char* action) {
    if (world_name_is_valid(name)) return true;
    fprintf(stderr, "[world] Refused to %s world \"%s\": not a valid world name\n", action, name ? name : "");
    return false;
}

static bool make_dir(const char* path) {
    if (mkdir(path, 0755) == 0 || errno == EEXIST) return true;
    fprintf(stderr, "[world] Failed to create directory %s: %s\n", path, strerror(errno));
    return false;
}

// ./worlds, ./worlds/<name> and ./worlds/<name>/chunks.
static bool make_world_dirs(const char* world_name) {
    char path[WORLD_PATH_MAX];
    if (!make_dir(WORLDS_DIR)) return false;
    snprintf(path, sizeof path, "%s/%s", WORLDS_DIR, world_name);
    if (!make_dir(path)) return false;
    snprintf(path, sizeof path, "%s/%s/chunks", WORLDS_DIR, world_name);
    return make_dir(path);
}

void world_system_init(void) {
    make_dir(WORLDS_DIR);
}

void world_chunk_path(char* out, const char* world_name, int32_t chunk_x, int32_t chunk_y, int32_t chunk_z) {
    snprintf(out, WORLD_PATH_MAX, "%s/%s/chunks/chunk_%d_%d_%d.chunk", WORLDS_DIR, world_name, (int)chunk_x,
             (int)chunk_y, (int)chunk_z);
}

// ---------------------------------------------------------------- atomic writes

// A save job on the worker and a whole-world save on the main thread may write
// the same file at once, so every writer gets its own temporary name.
static bool make_temp_path(char* out, size_t size, const char* path) {
    static std::atomic<unsigned> counter{0};
    const long tid = (long)syscall(SYS_gettid);
    int n = snprintf(out, size, "%s.tmp.%d.%ld.%u", path, (int)getpid(), tid, counter.fetch_add(1));
    return n > 0 && (size_t)n < size;
}

static bool write_all(int fd, const unsigned char* data, size_t size) {
    size_t done = 0;
    while (done < size) {
        ssize_t n = write(fd, data + done, size - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += (size_t)n;
    }
    return true;
}

// Fills, optionally syncs and closes the open temporary file; false after the
// first failure, with the failing step logged.
static bool fill_temp_file(int fd, const char* temp, const unsigned char* data, size_t size, bool sync) {
    bool ok = write_all(fd, data, size);
    if (!ok) fprintf(stderr, "[world] Failed to write %s: %s\n", temp, strerror(errno));
    if (ok && sync && fsync(fd) != 0) {
        fprintf(stderr, "[world] Failed to sync %s: %s\n", temp, strerror(errno));
        ok = false;
    }
    if (close(fd) != 0 && ok) {
        fprintf(stderr, "[world] Failed to close %s: %s\n", temp, strerror(errno));
        ok = false;
    }
    return ok;
}

static void remove_temp_file(const char* temp) {
    if (unlink(temp) != 0 && errno != ENOENT)
        fprintf(stderr, "[world] Failed to remove %s: %s\n", temp, strerror(errno));
}

// Writes `data` completely into a new temporary file beside `path`, whose name
// goes to `temp`; on failure nothing is left behind.
static bool write_temp_file(const char* path, char* temp, size_t temp_size, const unsigned char* data, size_t size,
                            bool sync) {
    if (!make_temp_path(temp, temp_size, path)) {
        fprintf(stderr, "[world] Path too long for a temporary file: %s\n", path);
        return false;
    }
    int fd = open(temp, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0) {
        fprintf(stderr, "[world] Failed to create %s: %s\n", temp, strerror(errno));
        return false;
    }
    if (fill_temp_file(fd, temp, data, size, sync)) return true;
    remove_temp_file(temp);
    return false;
}

static bool replace_with_temp_file(const char* temp, const char* path) {
    if (rename(temp, path) == 0) return true;
    fprintf(stderr, "[world] Failed to rename %s to %s: %s\n", temp, path, strerror(errno));
    remove_temp_file(temp);
    return false;
}

// Writes `data` to a temporary file beside `path` and renames it over `path`.
// On any failure the temporary file is removed and `path` is left as it was.
static bool write_file_atomically(const char* path, const unsigned char* data, size_t size, bool sync) {
    char temp[WORLD_PATH_MAX + 64];
    return write_temp_file(path, temp, sizeof temp, data, size, sync) && replace_with_temp_file(temp, path);
}

// Flushes the whole file system holding `dir` (its renames included) to disk.
static bool sync_file_system(const char* dir) {
    int fd = open(dir, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        fprintf(stderr, "[world] Failed to open %s for syncing: %s\n", dir, strerror(errno));
        return false;
    }
    bool ok = syncfs(fd) == 0;
    if (!ok) fprintf(stderr, "[world] Failed to sync %s: %s\n", dir, strerror(errno));
    if (close(fd) != 0 && ok) {
        fprintf(stderr, "[world] Failed to close %s: %s\n", dir, strerror(errno));
        ok = false;
    }
    return ok;
}

// Makes a rename inside `dir` durable.
static bool sync_directory(const char* dir) {
    int fd = open(dir, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        fprintf(stderr, "[world] Failed to open %s for syncing: %s\n", dir, strerror(errno));
        return false;
    }
    bool ok = fsync(fd) == 0;
    if (!ok) fprintf(stderr, "[world] Failed to sync %s: %s\n", dir, strerror(errno));
    if (close(fd) != 0 && ok) {
        fprintf(stderr, "[world] Failed to close %s: %s\n", dir, strerror(errno));
        ok = false;
    }
    return ok;
}

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
    return write_file_atomically(path, bytes, (size_t)WORLD_CHUNK_FILE_BYTES, sync);
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
    char path[WORLD_PATH_MAX], temp[WORLD_PATH_MAX + 64];
    world_chunk_path(path, world_name, chunk->chunk_x, chunk->chunk_y, chunk->chunk_z);
    if (!write_temp_file(path, temp, sizeof temp, bytes, (size_t)WORLD_CHUNK_FILE_BYTES, sync)) return false;
    pthread_mutex_lock(&chunk->mutex);
    const bool newer = (int32_t)(number - chunk->file_copy_on_disk) > 0;
    const bool ok = !newer || replace_with_temp_file(temp, path);
    if (newer && ok) chunk->file_copy_on_disk = number;
    pthread_mutex_unlock(&chunk->mutex);
    if (!newer) remove_temp_file(temp);
    return ok;
}

// Used by the worker's save jobs, a few files at a time, so each file is synced
// to disk before it replaces the old one.
bool world_save_chunk(Chunk* chunk, const char* world_name) {
    if (!chunk || !world_name || !check_world_name(world_name, "save a chunk of")) return false;
    unsigned char* bytes = static_cast<unsigned char*>(malloc((size_t)WORLD_CHUNK_FILE_BYTES));
    if (!bytes) {
        fprintf(stderr, "[world] Out of memory saving chunk (%d,%d,%d)\n", chunk->chunk_x, chunk->chunk_y,
                chunk->chunk_z);
        return false;
    }
    const uint32_t number = take_numbered_copy(chunk, bytes);
    bool ok = make_world_dirs(world_name) && write_numbered_copy(chunk, world_name, bytes, number, true);
    free(bytes);
    return ok;
}

// ---------------------------------------------------------------- world.txt

bool world_write_metadata_values(const WorldMetadata* metadata, const char* world_name, int64_t saved_at) {
    if (!metadata || !check_world_name(world_name, "save")) return false;
    char stamp[64] = "";
    const time_t when = (time_t)saved_at;
    struct tm local = {};
    if (!localtime_r(&when, &local) || strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S", &local) == 0)
        fprintf(stderr, "[world] Failed to format the save time %lld\n", (long long)saved_at);
    char text[1024];
    const Vector3 p = metadata->player_position;
    int n = snprintf(text, sizeof text,
                     "name=%s\nseed=%lu\nlast_saved=%s\nchunk_count=%d\nplayer_x=%.6f\nplayer_y=%.6f\nplayer_z=%.6f\n",
                     world_name, (unsigned long)metadata->seed, stamp, metadata->chunk_count, (double)p.x, (double)p.y,
                     (double)p.z);
    if (n < 0 || (size_t)n >= sizeof text) {
        fprintf(stderr, "[world] Metadata of world %s does not fit its buffer\n", world_name);
        return false;
    }
    char dir[WORLD_PATH_MAX], path[WORLD_PATH_MAX];
    snprintf(dir, sizeof dir, "%s/%s", WORLDS_DIR, world_name);
    snprintf(path, sizeof path, "%s/%s/world.txt", WORLDS_DIR, world_name);
    return write_file_atomically(path, reinterpret_cast<const unsigned char*>(text), (size_t)n, true) &&
           sync_directory(dir);
}

static WorldMetadata metadata_of(const World* world) {
    return WorldMetadata{world->seed, world->chunk_cache.chunk_count, world->last_player_position};
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
    if (!world || !world_name_is_valid(world->world_name)) return 0;
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
    if (!metadata || !check_world_name(world_name, "autosave")) return false;
    char chunks[WORLD_PATH_MAX];
    snprintf(chunks, sizeof chunks, "%s/%s/chunks", WORLDS_DIR, world_name);
    // A world whose chunks were never written has no chunks folder yet.
    if (!make_world_dirs(world_name) || !sync_directory(chunks) ||
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

// Reads a whole file of at most `capacity` bytes; false (logged) on any failure.
static bool read_whole_file(const char* path, unsigned char* out, size_t capacity, size_t* size) {
    FILE* file = fopen(path, "rb");
    if (!file) {
        fprintf(stderr, "[world] Failed to open %s: %s\n", path, strerror(errno));
        return false;
    }
    *size = fread(out, 1, capacity, file);
    bool ok = !ferror(file);
    if (!ok) fprintf(stderr, "[world] Failed to read %s\n", path);
    if (fclose(file) != 0 && ok) {
        fprintf(stderr, "[world] Failed to close %s\n", path);
        ok = false;
    }
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
    return read_whole_file(from, bytes, (size_t)WORLD_CHUNK_FILE_BYTES, &size) &&
           write_file_atomically(to, bytes, size, false);
}

// Saving under another name makes a full copy: chunks that streaming already
// wrote out and dropped from the cache live only in the running world's own
// folder, and without them the copy would lose every edit made there.
static bool copy_uncached_chunk_files(World* world, const char* world_name) {
    char from_dir[WORLD_PATH_MAX];
    snprintf(from_dir, sizeof from_dir, "%s/%s/chunks", WORLDS_DIR, world->world_name);
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
           world_name_is_valid(world->world_name);
}

bool world_save(World* world, const char* world_name) {
    if (!world || !world_name || !check_world_name(world_name, "save")) return false;
    if (!make_world_dirs(world_name)) {
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
    snprintf(dir, sizeof dir, "%s/%s", WORLDS_DIR, world_name);
    if (written > 0 && !sync_file_system(dir)) ok = false;
    if (!world_write_metadata(world, world_name, (int64_t)time(nullptr))) ok = false;
    if (!ok) {
        fprintf(stderr, "[world] World %s was not saved completely\n", world_name);
        return false;
    }
    printf("[world] Saved world %s\n", world_name);
    return true;
}

// ---------------------------------------------------------------- world_load

static void apply_coordinate(float* field, float value) {
    // A damaged file must never put the player at NaN or infinity.
    if (std::isfinite(value)) *field = value;
}

static void apply_metadata_line(World* world, const char* line) {
    float value = 0.0f;
    unsigned long seed = 0;
    if (sscanf(line, "player_x=%f", &value) == 1) {
        apply_coordinate(&world->last_player_position.x, value);
    } else if (sscanf(line, "player_y=%f", &value) == 1) {
        apply_coordinate(&world->last_player_position.y, value);
    } else if (sscanf(line, "player_z=%f", &value) == 1) {
        apply_coordinate(&world->last_player_position.z, value);
    } else if (sscanf(line, "seed=%lu", &seed) == 1) {
        world->seed = (uint64_t)seed;
    }
}

// Reads the rest of an overlong line so that its tail is not taken as a line of its own.
static void skip_rest_of_line(FILE* file) {
    int c = 0;
    do {
        c = fgetc(file);
    } while (c != '\n' && c != EOF);
}

void world_read_metadata(World* world, const char* world_name) {
    char path[WORLD_PATH_MAX];
    snprintf(path, sizeof path, "%s/%s/world.txt", WORLDS_DIR, world_name);
    FILE* file = fopen(path, "r");
    if (!file) {
        printf("[world] No metadata at %s, starting with defaults\n", path);
        return;
    }
    char line[WORLD_METADATA_LINE_MAX];
    while (fgets(line, sizeof line, file)) {
        if (!strchr(line, '\n')) skip_rest_of_line(file);
        apply_metadata_line(world, line);
    }
    if (ferror(file)) fprintf(stderr, "[world] Failed to read %s\n", path);
    if (fclose(file) != 0) fprintf(stderr, "[world] Failed to close %s\n", path);
}

static bool is_temp_file_name(const char* name) {
    return strstr(name, ".tmp.") != nullptr && (strncmp(name, "chunk_", 6) == 0 || strncmp(name, "world.txt", 9) == 0);
}

static void remove_temp_files_in(const char* dir) {
    DIR* d = opendir(dir);
    if (!d) return;
    char path[WORLD_PATH_MAX + 256];
    while (struct dirent* entry = readdir(d)) {
        if (!is_temp_file_name(entry->d_name)) continue;
        snprintf(path, sizeof path, "%s/%s", dir, entry->d_name);
        if (unlink(path) != 0) fprintf(stderr, "[world] Failed to remove %s: %s\n", path, strerror(errno));
    }
    if (closedir(d) != 0) fprintf(stderr, "[world] Failed to close %s: %s\n", dir, strerror(errno));
}

// Temporary files left by a save that was killed; no writer is active while
// world_load runs (the worker is idle), so every one of them is stale.
static void remove_stale_temp_files(const char* world_name) {
    char dir[WORLD_PATH_MAX];
    snprintf(dir, sizeof dir, "%s/%s", WORLDS_DIR, world_name);
    remove_temp_files_in(dir);
    snprintf(dir, sizeof dir, "%s/%s/chunks", WORLDS_DIR, world_name);
    remove_temp_files_in(dir);
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
    if (!world || !world_name || !check_world_name(world_name, "load")) return false;
    wait_for_worker_idle(world);

    pthread_mutex_lock(&world->cache_mutex);
    world_clear_chunks(world);
    snprintf(world->world_name, sizeof world->world_name, "%s", world_name);
    pthread_mutex_unlock(&world->cache_mutex);
    world->last_loaded_chunk_x = WORLD_NO_CHUNK;
    world->last_loaded_chunk_y = WORLD_NO_CHUNK;
    world->last_loaded_chunk_z = WORLD_NO_CHUNK;
    world->last_player_position = Vector3{WORLD_DEFAULT_PLAYER_X, WORLD_DEFAULT_PLAYER_Y, WORLD_DEFAULT_PLAYER_Z};

    remove_stale_temp_files(world_name);
    world_read_metadata(world, world_name);
    load_spawn_area(world);
    printf("[world] Loaded world %s\n", world_name);
    return true;
}

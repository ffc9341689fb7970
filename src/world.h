// The world: blocks, chunks, the chunk cache, terrain, light, visible-block
// lists, streaming, world files, and the background worker that serves them.
#pragma once

#include <dirent.h>
#include <pthread.h>

#include <atomic>
#include <cstdint>

#include "config.h"
#include "raylib.h"

// ---------------------------------------------------------------- blocks

enum BlockType : int32_t {
    BLOCK_AIR = 0,
    BLOCK_STONE = 1,
    BLOCK_DIRT = 2,
    BLOCK_GRASS = 3,
    BLOCK_SAND = 4,
    BLOCK_WOOD = 5,
    BLOCK_BEDROCK = 6,
    BLOCK_GLOWSTONE = 7,
};

// One cell. Values outside 0..7 (from a damaged file) are kept and behave like air in every table.
struct Block {
    BlockType type;
};

struct BlockProperties {
    uint8_t emission;  // light level the block gives off, 0..15
    uint8_t opacity;   // 0 lets light through, 15 stops it
};

struct TextureCache {
    Texture2D grass_texture;
    Texture2D dirt_texture;
    Texture2D stone_texture;
    Texture2D sand_texture;
    Texture2D wood_texture;
    Texture2D bedrock_texture;  // a second load of the stone image
    bool textures_loaded;
};

// Face bits of CachedVisibleBlock::exposed_faces; the bit number is also the face index 0..5.
enum : uint8_t {
    FACE_POS_X = 1,
    FACE_NEG_X = 2,
    FACE_POS_Y = 4,
    FACE_NEG_Y = 8,
    FACE_POS_Z = 16,
    FACE_NEG_Z = 32,
};

struct CachedVisibleBlock {
    int x, y, z;            // local coordinates inside the chunk
    uint8_t exposed_faces;  // FACE_* bits of the faces to draw; never 0 in a list
    uint8_t light_level;    // always 0; faces are lit when drawn
};

// One 32 x 64 x 32 box of blocks with its light and visible-block lists.
// A plain fixed-size record: everything but the two lists is inline, so the
// chunk array is allocated once and a record moves with one memory copy.
// Records are page-aligned so that a vacated slot's pages can be given back whole.
// Flags and indices that other threads read without the matching mutex are atomics.
struct alignas(4096) Chunk {
    Block blocks[CHUNK_HEIGHT][CHUNK_SIZE][CHUNK_SIZE];           // [y][z][x]
    uint8_t skylight[2][CHUNK_HEIGHT][CHUNK_SIZE][CHUNK_SIZE];    // [buffer][y][z][x]
    uint8_t blocklight[2][CHUNK_HEIGHT][CHUNK_SIZE][CHUNK_SIZE];  // [buffer][y][z][x]
    std::atomic<int> active_light_buffer;                         // which buffer of both light fields readers use
    std::atomic<uint32_t> light_stamp;   // world_next_stamp() of the last flip; 0 while never lit
    pthread_mutex_t light_swap_mutex;    // held while active_light_buffer flips
    int32_t chunk_x, chunk_y, chunk_z;   // identity of the record in the cache
    std::atomic<bool> loaded;            // in play: drawn, meshed, lit, kept by streaming
    std::atomic<bool> generated;         // blocks hold real terrain (generated or read)
    std::atomic<bool> modified;          // blocks differ from the chunk file
    std::atomic<bool> needs_relighting;  // light buffers are stale
    std::atomic<bool> meshed;            // the active list matches the blocks
    std::atomic<bool> pending_save;      // a save job is queued or running
    std::atomic<bool> pending_unload;    // out of play, waiting for its save before removal
    std::atomic<int> in_use_count;       // worker jobs pinning the record
    CachedVisibleBlock* visible_blocks[2];
    int visible_count[2];
    int visible_capacity[2];
    std::atomic<int> active_mesh;               // which list readers use
    pthread_mutex_t mesh_swap_mutex;            // held while lists swap and while the renderer copies
    std::atomic<uint32_t> mesh_builds_started;  // numbers list rebuilds in the order they start
    uint32_t mesh_published_build;              // number of the rebuild whose list is active (mesh_swap_mutex)
    std::atomic<uint32_t> list_stamp;           // world_next_stamp() of the active list; 0 before the first
    pthread_mutex_t mutex;                      // block edits and the flag changes of editing and the worker
    // Copies of the cells taken for the chunk file, numbered in the order they
    // were taken, and the number of the copy the file holds (both under mutex).
    uint32_t file_copies_taken;
    uint32_t file_copy_on_disk;
};

// The chunk array: the first chunk_count records are in use, in insertion order
// (changed only by compaction). `index` maps coordinates to records so that a
// lookup costs a few probes instead of a scan; it always gives the same answer as a scan.
struct ChunkCache {
    Chunk* chunks;
    int chunk_count;
    int chunk_capacity;
    int16_t index[CHUNK_INDEX_SLOTS];  // record number + 1 per slot, 0 for an empty slot
};

// ---------------------------------------------------------------- worker

enum WorkerJobType : int32_t {
    WORKER_JOB_LIGHTING_AND_MESH = 0,
    WORKER_JOB_SAVE_CHUNK = 1,
    WORKER_JOB_SAVE_METADATA = 2,  // world.txt from the queue's metadata; no chunk
};

// What world.txt records besides the world's name. Reading keeps the value of
// a field the file lacks or that does not parse.
struct WorldMetadata {
    uint64_t seed;
    int chunk_count;
    Vector3 player_position;
    char last_saved[64];  // as read; the writer stamps the time of the save itself
};

// Jobs name their chunk by coordinates: records move and disappear.
struct WorkerJob {
    int32_t chunk_x, chunk_y, chunk_z;
    WorkerJobType type;
};

struct WorkerQueue {
    WorkerJob* queue;      // waiting jobs, index 0 the oldest
    int count;             // jobs waiting
    int capacity;          // entries allocated; doubled when full
    int jobs_in_progress;  // jobs taken and not finished
    pthread_mutex_t mutex;
    pthread_cond_t cond;     // signalled on queueing, broadcast at shutdown
    bool shutdown;           // end the thread once the queue is empty
    WorldMetadata metadata;  // what the next metadata job writes
};

// ---------------------------------------------------------------- world

constexpr int32_t WORLD_NO_CHUNK = 2147483647;

struct World {
    ChunkCache chunk_cache;
    TextureCache textures;
    int32_t last_loaded_chunk_x, last_loaded_chunk_y, last_loaded_chunk_z;  // player chunk at the last streaming update
    char world_name[WORLD_NAME_MAX];                                        // directory name under ./worlds
    Vector3 last_player_position;                                           // written to and read from world.txt
    uint64_t seed;
    WorkerQueue worker_queue;
    pthread_t worker_thread;
    bool worker_running;          // between worker_init and worker_shutdown
    bool worker_thread_started;   // false when the thread could not be created
    pthread_mutex_t cache_mutex;  // guards the chunk array against the worker
};

// Floor division of world coordinates into chunk coordinates and local offsets.
inline int32_t world_to_chunk_xz(int v) {
    return v >> 5;
}
inline int32_t world_to_chunk_y(int v) {
    return v >> 6;
}
inline int world_to_local_xz(int v) {
    return v & (CHUNK_SIZE - 1);
}
inline int world_to_local_y(int v) {
    return v & (CHUNK_HEIGHT - 1);
}

// Blocks and chunk storage.
BlockType world_chunk_get_block(const Chunk* chunk, int x, int y, int z);
void world_chunk_set_block(Chunk* chunk, int x, int y, int z, BlockType type);
BlockProperties get_block_properties(BlockType type);
Color world_get_block_color(BlockType type);
void world_load_textures(World* world);
void world_unload_textures(World* world);
Texture2D world_get_block_texture(World* world, BlockType type);

// The world record and its chunk cache.
World* world_create(void);
void world_free(World* world);
Chunk* world_get_chunk(World* world, int32_t chunk_x, int32_t chunk_y, int32_t chunk_z);
Chunk* world_load_or_create_chunk(World* world, int32_t chunk_x, int32_t chunk_y, int32_t chunk_z);
BlockType world_get_block(World* world, int x, int y, int z);
BlockType world_get_block_or_solid(World* world, int x, int y, int z);
void world_set_block(World* world, int x, int y, int z, BlockType type);
// A number never handed out before in this process (never 0). Light flips and
// list swaps take one, so a copy made from a chunk can tell whether the chunk
// changed since, even when the record was dropped and made again in between.
uint32_t world_next_stamp(void);
// Removes record `index` by moving the last record into its slot (main thread,
// caller holds cache_mutex or the worker is idle). Frees the record's lists.
void world_remove_chunk_at(World* world, int index);
// Drops every record without saving (the worker must be idle).
void world_clear_chunks(World* world);
// Initialises record `chunk` as a fresh all-air chunk at the given coordinates.
void world_chunk_init(Chunk* chunk, int32_t chunk_x, int32_t chunk_y, int32_t chunk_z);
// A standalone record outside any world's cache (fresh, all air), for work on
// the side such as a scratch copy; chunk_free accepts null.
Chunk* chunk_create(int32_t chunk_x, int32_t chunk_y, int32_t chunk_z);
void chunk_free(Chunk* chunk);
// Marks the loaded, generated face neighbours of `chunk` unmeshed and queues them,
// so that faces towards a chunk that just came into play are drawn
// (caller holds cache_mutex or the worker is idle).
void world_remesh_neighbours_in_play(World* world, Chunk* chunk);

// Terrain.
uint64_t hash_seed(uint64_t x, uint64_t y, uint64_t seed);
float noise_value(float x, float z, uint64_t seed);
float perlin_noise(float x, float z, uint64_t seed);
float fbm_noise(float x, float z, int octaves, uint64_t seed);
float terrain_height_seeded(float x, float z, uint64_t seed);
int smooth_terrain_height(int x, int z, uint64_t seed);
float cave_noise_3d(float x, float y, float z, uint64_t seed);
void world_generate_chunk(Chunk* chunk, uint64_t seed);
void world_generate_prism(World* world);

// Lighting.
void calculate_chunk_skylight(Chunk* chunk, World* world, int target_buffer);
void calculate_chunk_blocklight(Chunk* chunk, World* world, int target_buffer);
uint8_t world_get_skylight(World* world, int x, int y, int z);
uint8_t world_get_blocklight(World* world, int x, int y, int z);

// Visible-block lists.
void chunk_cache_visible_blocks(Chunk* chunk, World* world);
void chunk_free_visible_blocks(Chunk* chunk);

// Streaming around the player.
void world_update_chunks(World* world, Vector3 player_pos, Vector3 camera_forward);

// World names and the worlds folder (world_folder.cpp).
// Names that keep a world inside ./worlds (world_save and world_load, /save
// and /load): not empty, not hidden, no path separator, shorter than WORLD_NAME_MAX.
bool world_name_is_file_safe(const char* name);
// Names /createworld and /loadworld accept: file-safe, letters, digits and "_" only.
bool world_name_is_plain(const char* name);
// Characters the create-world screen lets a player type: those of plain names and the space.
bool world_name_char_typable(int c);
// world_name_is_file_safe, logging a refusal to `action` the world.
bool world_check_name(const char* name, const char* action);
// Paths of one world, into `out` (WORLD_PATH_MAX bytes): ./worlds/<name>,
// its chunks folder, its world.txt, and the file of one chunk
// (./worlds/<name>/chunks/chunk_<x>_<y>_<z>.chunk).
void world_folder_path(char* out, const char* world_name);
void world_chunks_path(char* out, const char* world_name);
void world_metadata_path(char* out, const char* world_name);
void world_chunk_path(char* out, const char* world_name, int32_t chunk_x, int32_t chunk_y, int32_t chunk_z);
// ./worlds, ./worlds/<name> and ./worlds/<name>/chunks.
bool world_make_folders(const char* world_name);
// The worlds folder for listing its worlds (null when it cannot be opened).
DIR* world_open_worlds_folder(void);
bool world_folder_exists(const char* world_name);
bool world_metadata_exists(const char* world_name);
// Temporary files that a killed save left in a world's folders (call only
// while nothing writes that world).
void world_remove_stale_temp_files(const char* world_name);
// Reads world.txt into `metadata`; false when the world has none.
bool world_metadata_read(const char* world_name, WorldMetadata* metadata);

// World files.
void world_system_init(void);
// Takes the chunk's mutex for the copy of its blocks: call it without that mutex held.
bool world_save_chunk(Chunk* chunk, const char* world_name);
bool world_save(World* world, const char* world_name);
bool world_load(World* world, const char* world_name);
// Applies world.txt to the world record (seed and player position); a missing
// file leaves the record as it is.
void world_read_metadata(World* world, const char* world_name);
// Writes "./worlds/<name>/world.txt" with `saved_at` (seconds since the epoch) as
// the save time; the world's directory must exist. world_save uses the current time.
bool world_write_metadata(const World* world, const char* world_name, int64_t saved_at);
bool world_write_metadata_values(const WorldMetadata* metadata, const char* world_name, int64_t saved_at);
// Asks the worker to save every modified chunk and then world.txt with the
// player at `player_position`; queues nothing when no chunk is modified and the
// player has not moved since the last save. Returns the number of chunks queued.
int world_autosave(World* world, Vector3 player_position);
// Worker: makes the chunk files written so far durable, then writes world.txt
// from `metadata` and logs the autosave.
bool world_finish_autosave(const WorldMetadata* metadata, const char* world_name);

// Background worker.
void worker_init(World* world);
void worker_queue_chunk(World* world, Chunk* chunk);
void worker_queue_chunk_save(World* world, Chunk* chunk);
// Queues a job that writes world.txt of the running world from `metadata`
// (after every job queued before it).
void worker_queue_metadata_save(World* world, const WorldMetadata* metadata);
void worker_flush_queue(World* world);
void worker_shutdown(World* world);

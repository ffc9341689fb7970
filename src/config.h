// Tunables of qvox in one place: sizes, radii, limits and intervals, and the
// few constants the whole program shares (title, version, sky colour).
#pragma once

#include "raylib.h"

// The window title, also the last line of the HUD's system page.
constexpr const char* QVOX_WINDOW_TITLE = "qvox 0.0.17-beta";
// The version line under the main menu's title.
constexpr const char* QVOX_MENU_VERSION_LINE = "Quarvane - v0.0.17-beta";
// The sky, and the fog that fades far blocks into it.
constexpr Color SKY_COLOR = {102, 191, 255, 255};

// Chunk extent in blocks: x and z, then y.
constexpr int CHUNK_SIZE = 32;
constexpr int CHUNK_HEIGHT = 64;

// The chunk array is reserved once with this many records and never grows.
constexpr int CHUNK_CACHE_CAPACITY = 4096;
// Slots of the coordinate index over the chunk array (a power of two, at least twice the capacity).
constexpr int CHUNK_INDEX_SLOTS = 8192;

// Sky light is scanned down from this height; nothing above it shades.
constexpr int SKYLIGHT_TOP_Y = 500;
// Entries of each light flood-fill queue, seeds included.
constexpr int LIGHT_QUEUE_SIZE = 4096;
constexpr int LIGHT_MAX = 15;

// First allocation of a visible-block list; it doubles when full.
constexpr int VISIBLE_LIST_INITIAL_CAPACITY = 1024;

// A chunk mesh keeps its faces in ranges by block type, face direction and
// section of the chunk, so that a frame skips whole sections beyond the cut,
// outside the view or out of sight, and whole directions turned away from the
// camera.
// Sections are this many blocks along x and z, and this many along y.
constexpr int CHUNK_MESH_SECTION_SIZE = 8;
constexpr int CHUNK_MESH_SECTION_HEIGHT = 8;
// Far sections hidden behind nearer ground: headings across the view fall
// into this many bins, and columns out to this many blocks from the camera,
// in rings one block wide, can hide what lies beyond them.
constexpr int CHUNK_MESH_HORIZON_BINS = 128;
constexpr int CHUNK_MESH_HORIZON_RINGS = 64;

// Freed memory the heap keeps instead of handing back to the system. A
// software rasteriser allocates and frees megabytes of vertex data in every
// draw call; handed back each time, every frame pays for faulting it in again.
constexpr int RENDER_HEAP_KEEP_BYTES = 64 << 20;

// Worker job queue: first allocation (doubled when full), flush polling.
constexpr int WORKER_QUEUE_INITIAL_CAPACITY = 256;
constexpr int WORKER_FLUSH_MAX_CHECKS = 500;
constexpr long WORKER_FLUSH_SLEEP_NS = 10000000L;
// The worker is pinned to this CPU so that it does not compete with the main thread.
constexpr int WORKER_CPU = 1;

// Streaming: chunks within this many chunks are brought into play.
constexpr int STREAM_LOAD_DIST = 1;
// Chunks farther than this (disc horizontally, layers vertically) are retired.
constexpr int STREAM_UNLOAD_DIST = 2;
constexpr int STREAM_MAX_UNLOADS_PER_UPDATE = 1;
// Dot product of (chunk centre - player) with the view direction, in blocks.
constexpr float STREAM_LOAD_VIEW_THRESHOLD = -19.2f;
constexpr float STREAM_RETIRE_VIEW_THRESHOLD = -28.800001f;
// Above this many records in use, one update keeps removing retirable chunks
// until no more than this many remain, so a long journey never fills the cache.
constexpr int STREAM_SOFT_CHUNK_LIMIT = 512;

// Seconds of unpaused play between autosaves: a crash loses at most the edits
// of about this long.
constexpr float AUTOSAVE_INTERVAL_SECONDS = 5.0f;

// Where a world without saved metadata puts the player.
constexpr float WORLD_DEFAULT_PLAYER_X = 8.0f;
constexpr float WORLD_DEFAULT_PLAYER_Y = 20.0f;
constexpr float WORLD_DEFAULT_PLAYER_Z = 8.0f;

// Path buffers for world and chunk files.
constexpr int WORLD_PATH_MAX = 512;
constexpr int WORLD_NAME_MAX = 256;
// Bytes of one chunk file: one little-endian 32-bit value per cell.
constexpr int WORLD_CHUNK_FILE_BYTES = 4 * CHUNK_SIZE * CHUNK_HEIGHT * CHUNK_SIZE;
// Longest line of world.txt that is read as one line.
constexpr int WORLD_METADATA_LINE_MAX = 256;

// Mouse look: radians per pixel on both axes, and the pitch just short of
// straight up or down; the eye sits this far above the player's position.
constexpr float MOUSE_SPEED = 0.005f;
constexpr float PITCH_LIMIT = 1.56905f;
constexpr float EYE_HEIGHT = 0.7f;

// Blocks farther than this from the eye can be neither broken nor placed
// against; the outline ray runs in every third frame in which editing runs.
constexpr float EDIT_REACH = 10.0f;
constexpr int HIGHLIGHT_PERIOD = 3;

// A chat message shows this many seconds, fading out over the last second.
constexpr double CHAT_MESSAGE_LIFETIME = 5.0;
constexpr double CHAT_FADE_START = 4.0;

// Where the create-world and load-world commands put the player; the height
// is raised above the terrain when the surface there is higher.
constexpr float CMD_SPAWN_X = 0.0f;
constexpr float CMD_SPAWN_Y = 105.0f;
constexpr float CMD_SPAWN_Z = 0.0f;
// Where a freshly created player of the load-world command starts.
constexpr float CMD_NEW_PLAYER_X = 8.0f;
constexpr float CMD_NEW_PLAYER_Y = 22.650362f;
constexpr float CMD_NEW_PLAYER_Z = 8.0f;

// Player: a frame longer than this runs as equal physics steps of at most this
// many seconds, so a slow frame cannot carry a falling body through a floor.
constexpr float PLAYER_MAX_STEP = 0.05f;
// Height above the surface at which a player put at a fixed spot starts.
constexpr float PLAYER_SPAWN_MARGIN = 0.1f;

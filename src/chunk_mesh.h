// Chunk meshes: every loaded chunk's visible faces kept in one vertex buffer
// on the graphics card, with a vertex range per block type so that each range
// is drawn with its type's texture. A small shader fogs each block from its
// centre and drops blocks beyond the cut, so the picture is the one the
// block-by-block pass draws. Meshes are rebuilt on the main thread when the
// chunk's list, its light or the light of a face neighbour changes. Each frame
// draws only the sections a line of sight from the camera can get into, and
// leaves out far sections that nearer ground hides.
#pragma once

#include <cstddef>
#include <cstdint>

#include "raylib.h"
#include "rendering.h"
#include "world.h"

// Block types with a vertex range; air's stay empty.
constexpr int CHUNK_MESH_TYPES = BLOCK_GLOWSTONE + 1;
constexpr int CHUNK_MESH_SECTIONS_XZ = CHUNK_SIZE / CHUNK_MESH_SECTION_SIZE;
constexpr int CHUNK_MESH_SECTIONS_Y = CHUNK_HEIGHT / CHUNK_MESH_SECTION_HEIGHT;
constexpr int CHUNK_MESH_SECTIONS = CHUNK_MESH_SECTIONS_XZ * CHUNK_MESH_SECTIONS_XZ * CHUNK_MESH_SECTIONS_Y;
// Ranges in vertex order: by type, then face 0..5, then section (x fastest, then z, then y from the top).
constexpr int CHUNK_MESH_RANGES = CHUNK_MESH_TYPES * 6 * CHUNK_MESH_SECTIONS;
// Faces are drawn through one shared list of 16-bit corner numbers, so one
// vertex array reaches this many faces of a buffer; a buffer with more faces
// gets a vertex array per window of that many faces.
constexpr int CHUNK_MESH_WINDOW_FACES = 16384;
// Most faces a chunk can have (every other cell solid, six faces each), in windows.
constexpr int CHUNK_MESH_MAX_WINDOWS = CHUNK_SIZE * CHUNK_HEIGHT * CHUNK_SIZE / 2 * 6 / CHUNK_MESH_WINDOW_FACES;
// The chunk itself and its six face neighbours, whose light border faces read.
constexpr int CHUNK_MESH_SOURCES = 7;
// Which sides of a section see each other through cells drawn as nothing: bit
// side * 6 + other, sides numbered in face order; and from bit
// CHUNK_MESH_TOUCH_SHIFT on, the sides such cells touch, through which a line
// of sight can get into the section at all. A section of a chunk that is
// not loaded or never listed is unknown: it draws nothing, and its neighbours
// draw no faces towards it, so a line of sight through it goes on through
// their solid cells as well.
constexpr int CHUNK_MESH_TOUCH_SHIFT = 36;
constexpr uint64_t CHUNK_MESH_UNKNOWN = ~uint64_t{0};

// One corner of a face, eight bytes; the shader reads whole numbers 0..255.
struct ChunkMeshVertex {
    uint8_t corner[4];  // corner x, y, z inside the chunk; texture u + 2 v
    uint8_t cell[4];    // block cell x, y, z inside the chunk; face * 16 + light the face looks into
};

// What a mesh was made from. Stamps change with every list swap and light
// flip; 0 stands for a chunk never lit or listed, or one that is not cached,
// which both read as darkness and no blocks.
struct ChunkMeshSource {
    uint32_t list_stamp;
    uint32_t light_stamps[CHUNK_MESH_SOURCES];
};

// A mesh made on the CPU, before it goes to the card. Reused between builds.
struct ChunkMeshBuild {
    ChunkMeshVertex* vertices;  // four corners per face, in range order, and by layer inside a range
    int vertex_count;
    int vertex_capacity;
    int start[CHUNK_MESH_RANGES + 1];  // first vertex of each range; the last entry is vertex_count
    uint16_t* cells;  // every list entry, x | z << 5 | y << 10, by section, for counting blocks within reach
    int cell_count;
    int cell_capacity;
    CachedVisibleBlock* list;  // the copy of the chunk's list the mesh is made from
    int list_capacity;
    uint8_t* layers;  // per face, its layer: the place of its block inside the section along the face's axis
    int layer_capacity;
    ChunkMeshVertex* spare;  // where faces are put in order of layer
    int spare_capacity;
};

struct ChunkMesh {
    int32_t chunk_x, chunk_y, chunk_z;
    ChunkMeshSource source;
    unsigned int vbo;                           // 0 when the chunk has no faces
    unsigned int vaos[CHUNK_MESH_MAX_WINDOWS];  // one per window of faces in use
    int start[CHUNK_MESH_RANGES + 1];
    int vertex_count;
    uint16_t* cells;
    int cell_count;
    uint8_t* layers;                      // per face, as ChunkMeshBuild::layers
    uint64_t links[CHUNK_MESH_SECTIONS];  // by section, as the cells stood at the last build
    // By section, the box around its listed cells: lowest x, y, z, then
    // highest x, y, z, inside the chunk; an empty section has lowest > highest.
    uint8_t boxes[CHUNK_MESH_SECTIONS][6];
    // By column x + z * CHUNK_SIZE, bit y set for each cell drawn as a block,
    // as the cells stood at the last build.
    uint64_t solid[CHUNK_SIZE * CHUNK_SIZE];
    bool seen;  // met in this frame's sweep over the chunks
};

// Locations of the shader's uniforms.
struct ChunkMeshShader {
    unsigned int id;
    int mvp, chunk_origin, cam_pos, cut_sq, fog_start, fog_length, base_color, fog_color, brightness, texture0;
    int frustum_eye, frustum_normals, cube_radius;
    int corner_attrib, cell_attrib;
};

// The sections a frame can look into, on a grid that holds the meshes'
// sections and a shell of unknown ones around them. `all` stands for every
// section, when the grid could not be made.
struct ChunkMeshReach {
    int32_t low[3];  // the grid's lowest section, in sections of the world
    int size[3];
    uint64_t* links;
    uint8_t* entered;  // sides the walk came in through, and how (REACH_CAMERA, REACH_THROUGH)
    int* queue;        // section * 8 + the side it was entered by, or 6 for a line through solid cells
    int cell_capacity;
    int entered_capacity;
    int queue_capacity;
    bool all;
};

// The square of columns around the camera that holds every ring of the
// horizon, in whole blocks of 8 columns, and the chunk columns it reaches.
constexpr int CHUNK_MESH_HORIZON_SQUARE = (2 * CHUNK_MESH_HORIZON_RINGS + 10) / 8 * 8 + 8;
constexpr int CHUNK_MESH_HORIZON_CHUNKS = CHUNK_MESH_HORIZON_SQUARE / CHUNK_SIZE + 2;

// Which directions nearer ground closes, as seen from the camera. Directions
// fall into bins across the view by their heading; the camera's surroundings
// into rings of columns one block wide. For each ring and bin: the slopes
// (height gained per block of horizontal distance) of the lines that solid
// cells in that ring or a nearer one stop in every direction of the bin.
struct ChunkMeshHorizon {
    bool active;
    double eye[3];     // the camera in world blocks
    double ahead[2];   // the view's heading along x and z, a unit vector
    double tan_low;    // bins split tangents of the heading (sideways over ahead) evenly
    double bin_scale;  // bins per unit of tangent
    bool level;        // a plane between cells runs close to the camera's height
    // Chunk columns of the square from known_chunk (x, z) on, known when
    // loaded and listed between known_low and known_high.
    int32_t known_chunk[2];
    uint8_t known[CHUNK_MESH_HORIZON_CHUNKS * CHUNK_MESH_HORIZON_CHUNKS];
    double known_low;
    double known_high;
    float* slopes;  // [ring][bin][2]: lowest and highest slope stopped; lowest > highest for none
    int slope_capacity;
    int32_t corner[2];  // the square of columns around the camera: its lowest x and z
};

struct ChunkMeshSet {
    const World* world;  // the world the meshes belong to
    ChunkMesh* meshes;
    int count;
    int capacity;
    ChunkMeshBuild build;
    Chunk** chunks;  // this frame's snapshot of the chunk array
    int chunk_capacity;
    int* order;  // meshes to draw, near to far
    int order_capacity;
    ChunkMeshReach reach;
    ChunkMeshHorizon horizon;
    ChunkMeshShader shader;
    unsigned int corner_list;  // the shared corner numbers: 0 1 2 0 2 3, then the same plus 4 for each face
};

// What one pass needs to place, fog, cut and count blocks.
struct ChunkMeshView {
    Vector3 offset;  // whole-block shift of x and z
    Vector3 cam;     // shifted camera position
    float render_distance;
    RenderFrustum frustum;
};

// ---- on the CPU (chunk_mesh.cpp)

// The stamps `chunk` and its face neighbours carry now. Main thread only.
ChunkMeshSource chunk_mesh_source(World* world, const Chunk* chunk);
bool chunk_mesh_source_equal(const ChunkMeshSource* a, const ChunkMeshSource* b);
// Range of the faces of one type, face and section.
inline int chunk_mesh_range(int type, int face, int section) {
    return (type * 6 + face) * CHUNK_MESH_SECTIONS + section;
}
// Section of a cell inside its chunk.
int chunk_mesh_section(int x, int y, int z);
// Copies the chunk's active list into build->list under its swap lock and
// stores the list's stamp in *list_stamp; the number of entries, -1 when memory runs out.
int chunk_mesh_copy_list(Chunk* chunk, ChunkMeshBuild* build, uint32_t* list_stamp);
// Makes the faces of the first `count` entries of build->list with their light
// and block types as they are now. False when memory runs out.
bool chunk_mesh_build(ChunkMeshBuild* build, World* world, const Chunk* chunk, int count);
void chunk_mesh_build_free(ChunkMeshBuild* build);
// How many of the cells of a chunk lie within the cut of the view: the count
// the block-by-block pass makes, with the same arithmetic. Fastest with the
// cells grouped by section, as a build leaves them.
int chunk_mesh_count_within(const uint16_t* cells, int count, int32_t chunk_x, int32_t chunk_y, int32_t chunk_z,
                            const ChunkMeshView* view);

// Fills links[CHUNK_MESH_SECTIONS] from the chunk's cells as they are now.
void chunk_mesh_links(const Chunk* chunk, uint64_t* links);
// Marks the cells drawn as blocks of every column of the chunk.
void chunk_mesh_solid(const Chunk* chunk, uint64_t* solid);
// Places the mesh at the chunk and fills its links and solid cells from the chunk's cells as they are now.
void chunk_mesh_read_cells(const Chunk* chunk, ChunkMesh* mesh);
// Fills the box of each section around the given cells, packed as in ChunkMeshBuild::cells.
void chunk_mesh_boxes(const uint16_t* cells, int count, uint8_t (*boxes)[6]);

// ---- which sections a frame can look into (chunk_mesh_reach.cpp)

// Walks from the camera's section through sides that see each other, never
// back towards the camera along an axis, and only into sections within the cut
// and the view. Sections of no mesh are unknown. `eye_in_block`: the camera
// sees from inside a solid block, through every solid cell around it.
void chunk_mesh_reach_walk(ChunkMeshReach* reach, const ChunkMesh* meshes, int count, const ChunkMeshView* view,
                           bool eye_in_block);
// Whether the section at world section `section` may hold anything the frame
// draws: within the cut and inside the view, tested with the sphere around it.
bool chunk_mesh_section_in_view(const int32_t* section, const ChunkMeshView* view);
// Whether a line of sight can get into the cells of the section at world
// section (sx, sy, sz): the walk came in through a side they touch.
bool chunk_mesh_reached(const ChunkMeshReach* reach, int32_t sx, int32_t sy, int32_t sz);
void chunk_mesh_reach_free(ChunkMeshReach* reach);

// ---- far sections hidden behind nearer ground (chunk_mesh_horizon.cpp)

// Works out which directions the meshes' solid cells close. `eye_in_block`:
// the camera sees through the solid cells around it, so nothing is closed.
void chunk_mesh_horizon_make(ChunkMeshHorizon* horizon, const ChunkMesh* meshes, int count, const ChunkMeshView* view,
                             bool eye_in_block);
// Whether every line of sight from the camera to the box (world blocks, lowest
// corner then highest) ends on solid cells at least a block nearer than the
// box, on a face the frame draws.
bool chunk_mesh_horizon_hides(const ChunkMeshHorizon* horizon, const double* low, const double* high);
void chunk_mesh_horizon_free(ChunkMeshHorizon* horizon);

// ---- on the card (chunk_mesh_draw.cpp); need the window, main thread only

// Null when the shader cannot be made (one log line).
ChunkMeshSet* chunk_meshes_create(void);
// Releases every buffer on the card; accepts null.
void chunk_meshes_free(ChunkMeshSet* set);
// Brings the meshes in line with the loaded chunks of `world`: rebuilds the
// stale ones, makes missing ones and frees those of chunks gone or out of play.
void chunk_meshes_update(ChunkMeshSet* set, World* world);
// Draws the meshes within reach and returns the blocks within the cut, counted
// as the block-by-block pass counts them. Between BeginMode3D and EndMode3D.
int chunk_meshes_draw(ChunkMeshSet* set, World* world, const ChunkMeshView* view);
// Bytes the meshes hold on the card.
size_t chunk_meshes_card_bytes(const ChunkMeshSet* set);

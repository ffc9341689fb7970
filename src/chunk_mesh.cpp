// Chunk meshes on the CPU: what a mesh is made from, the faces it holds, and
// the count of blocks within reach.
#include "chunk_mesh.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "utils.h"
#include "vec_math.h"

// Face neighbours in face order: +x, -x, +y, -y, +z, -z.
static const int neighbour_offsets[6][3] = {{1, 0, 0}, {-1, 0, 0}, {0, 1, 0}, {0, -1, 0}, {0, 0, 1}, {0, 0, -1}};
static constexpr int VERTICES_PER_FACE = 4;
static constexpr int LIGHT_LEVELS = LIGHT_MAX + 1;
// Squared blocks kept clear of the cut when a whole chunk is counted at once;
// far more than the rounding of one block's squared distance.
static constexpr double COUNT_MARGIN_SQ = 0.5;

ChunkMeshSource chunk_mesh_source(World* world, const Chunk* chunk) {
    ChunkMeshSource source = {};
    source.list_stamp = chunk->list_stamp.load();
    source.light_stamps[0] = chunk->light_stamp.load();
    for (int i = 0; i < 6; i++) {
        const Chunk* n =
            world_get_chunk(world, chunk->chunk_x + neighbour_offsets[i][0], chunk->chunk_y + neighbour_offsets[i][1],
                            chunk->chunk_z + neighbour_offsets[i][2]);
        source.light_stamps[i + 1] = n ? n->light_stamp.load() : 0;
    }
    return source;
}

bool chunk_mesh_source_equal(const ChunkMeshSource* a, const ChunkMeshSource* b) {
    if (a->list_stamp != b->list_stamp) return false;
    for (int i = 0; i < CHUNK_MESH_SOURCES; i++)
        if (a->light_stamps[i] != b->light_stamps[i]) return false;
    return true;
}

int chunk_mesh_copy_list(Chunk* chunk, ChunkMeshBuild* build, uint32_t* list_stamp) {
    pthread_mutex_lock(&chunk->mesh_swap_mutex);
    const int active = chunk->active_mesh.load();
    const int count = chunk->visible_count[active];
    const CachedVisibleBlock* list = chunk->visible_blocks[active];
    *list_stamp = chunk->list_stamp.load();
    int copied = 0;
    if (count > 0 && list) {
        if (grow_buffer(reinterpret_cast<void**>(&build->list), &build->list_capacity, count,
                        sizeof(CachedVisibleBlock))) {
            memcpy(build->list, list, static_cast<size_t>(count) * sizeof(CachedVisibleBlock));
            copied = count;
        } else {
            copied = -1;
        }
    }
    pthread_mutex_unlock(&chunk->mesh_swap_mutex);
    return copied;
}

// The block type an entry is drawn with, or air for a cell drawn as nothing:
// a cell that turned to air since the list was built has the fully transparent
// colour of air, and so has a type from a damaged file.
static BlockType drawn_type(const Chunk* chunk, const CachedVisibleBlock* entry) {
    const BlockType type = world_chunk_get_block(chunk, entry->x, entry->y, entry->z);
    return world_get_block_color(type).a == 0 ? BLOCK_AIR : type;
}

// The top layer of sections comes first: seen from above ground, the surface
// is then drawn before the caves under it, and the depth test spares the
// caves' hidden pixels.
int chunk_mesh_section(int x, int y, int z) {
    const int layer = CHUNK_MESH_SECTIONS_Y - 1 - y / CHUNK_MESH_SECTION_HEIGHT;
    return (layer * CHUNK_MESH_SECTIONS_XZ + z / CHUNK_MESH_SECTION_SIZE) * CHUNK_MESH_SECTIONS_XZ +
           x / CHUNK_MESH_SECTION_SIZE;
}

// The packed cells of the entries, grouped by section.
static void pack_cells(ChunkMeshBuild* build, int count) {
    int next[CHUNK_MESH_SECTIONS + 1] = {};
    for (int i = 0; i < count; i++)
        next[chunk_mesh_section(build->list[i].x, build->list[i].y, build->list[i].z) + 1]++;
    for (int s = 0; s < CHUNK_MESH_SECTIONS; s++) next[s + 1] += next[s];
    for (int i = 0; i < count; i++) {
        const CachedVisibleBlock* entry = &build->list[i];
        const int at = next[chunk_mesh_section(entry->x, entry->y, entry->z)]++;
        build->cells[at] = static_cast<uint16_t>(entry->x | entry->z << 5 | entry->y << 10);
    }
}

// Vertex ranges, and the packed cell of every entry.
static bool plan_build(ChunkMeshBuild* build, const Chunk* chunk, int count) {
    if (!grow_buffer(reinterpret_cast<void**>(&build->cells), &build->cell_capacity, count, sizeof(uint16_t)))
        return false;
    pack_cells(build, count);
    int* sizes = build->start + 1;  // counted in place, then summed
    memset(build->start, 0, sizeof build->start);
    for (int i = 0; i < count; i++) {
        const CachedVisibleBlock* entry = &build->list[i];
        const BlockType type = drawn_type(chunk, entry);
        if (type == BLOCK_AIR) continue;
        const int section = chunk_mesh_section(entry->x, entry->y, entry->z);
        for (int face = 0; face < 6; face++)
            if (entry->exposed_faces & (1u << face)) sizes[chunk_mesh_range(type, face, section)] += VERTICES_PER_FACE;
    }
    build->cell_count = count;
    for (int r = 0; r < CHUNK_MESH_RANGES; r++) build->start[r + 1] += build->start[r];
    build->vertex_count = build->start[CHUNK_MESH_RANGES];
    return grow_buffer(reinterpret_cast<void**>(&build->vertices), &build->vertex_capacity, build->vertex_count,
                       sizeof(ChunkMeshVertex));
}

static void put_face(ChunkMeshVertex* out, const CachedVisibleBlock* entry, int face, int light) {
    for (int v = 0; v < VERTICES_PER_FACE; v++) {
        const signed char* sign = render_face_corners[face][v];
        const float* uv = render_face_uv[face][v];
        out[v].corner[0] = static_cast<uint8_t>(entry->x + (sign[0] > 0));
        out[v].corner[1] = static_cast<uint8_t>(entry->y + (sign[1] > 0));
        out[v].corner[2] = static_cast<uint8_t>(entry->z + (sign[2] > 0));
        out[v].corner[3] = static_cast<uint8_t>((uv[0] > 0.5f) + 2 * (uv[1] > 0.5f));
        out[v].cell[0] = static_cast<uint8_t>(entry->x);
        out[v].cell[1] = static_cast<uint8_t>(entry->y);
        out[v].cell[2] = static_cast<uint8_t>(entry->z);
        out[v].cell[3] = static_cast<uint8_t>(face * LIGHT_LEVELS + light);
    }
}

// A face's layer, from its first corner.
static int face_layer(const ChunkMeshVertex* corner) {
    const int axis = corner->cell[3] / LIGHT_LEVELS / 2;
    return corner->cell[axis] % (axis == 1 ? CHUNK_MESH_SECTION_HEIGHT : CHUNK_MESH_SECTION_SIZE);
}

static constexpr int MOST_LAYERS =
    CHUNK_MESH_SECTION_SIZE > CHUNK_MESH_SECTION_HEIGHT ? CHUNK_MESH_SECTION_SIZE : CHUNK_MESH_SECTION_HEIGHT;

// Orders the faces of each range by layer. A camera inside a section's slab
// along an axis sees only the faces in front of it, which are then the first
// faces of a range turned towards +axis and the last of one towards -axis.
static bool order_by_layer(ChunkMeshBuild* build) {
    const int faces = build->vertex_count / VERTICES_PER_FACE;
    if (!grow_buffer(reinterpret_cast<void**>(&build->layers), &build->layer_capacity, faces, sizeof(uint8_t)) ||
        !grow_buffer(reinterpret_cast<void**>(&build->spare), &build->spare_capacity, build->vertex_count,
                     sizeof(ChunkMeshVertex)))
        return false;
    for (int r = 0; r < CHUNK_MESH_RANGES; r++) {
        const int first = build->start[r] / VERTICES_PER_FACE, end = build->start[r + 1] / VERTICES_PER_FACE;
        int next[MOST_LAYERS + 1] = {};
        for (int f = first; f < end; f++) next[face_layer(&build->vertices[f * VERTICES_PER_FACE]) + 1]++;
        for (int layer = 0; layer < MOST_LAYERS; layer++) next[layer + 1] += next[layer];
        for (int f = first; f < end; f++) {
            const int layer = face_layer(&build->vertices[f * VERTICES_PER_FACE]);
            const int at = first + next[layer]++;
            memcpy(&build->spare[at * VERTICES_PER_FACE], &build->vertices[f * VERTICES_PER_FACE],
                   VERTICES_PER_FACE * sizeof(ChunkMeshVertex));
            build->layers[at] = static_cast<uint8_t>(layer);
        }
    }
    ChunkMeshVertex* sorted = build->spare;
    build->spare = build->vertices;
    build->vertices = sorted;
    const int capacity = build->spare_capacity;
    build->spare_capacity = build->vertex_capacity;
    build->vertex_capacity = capacity;
    return true;
}

bool chunk_mesh_build(ChunkMeshBuild* build, World* world, const Chunk* chunk, int count) {
    if (!plan_build(build, chunk, count)) return false;
    int next[CHUNK_MESH_RANGES];
    memcpy(next, build->start, sizeof next);
    const Chunk* own = world_get_chunk(world, chunk->chunk_x, chunk->chunk_y, chunk->chunk_z);
    const int origin_x = chunk->chunk_x * CHUNK_SIZE, origin_y = chunk->chunk_y * CHUNK_HEIGHT;
    const int origin_z = chunk->chunk_z * CHUNK_SIZE;
    for (int i = 0; i < count; i++) {
        const CachedVisibleBlock* entry = &build->list[i];
        const BlockType type = drawn_type(chunk, entry);
        if (type == BLOCK_AIR) continue;
        const int section = chunk_mesh_section(entry->x, entry->y, entry->z);
        for (int face = 0; face < 6; face++) {
            if (!(entry->exposed_faces & (1u << face))) continue;
            const int light =
                render_face_light(world, own, origin_x + entry->x, origin_y + entry->y, origin_z + entry->z, face);
            int* at = &next[chunk_mesh_range(type, face, section)];
            put_face(&build->vertices[*at], entry, face, light);
            *at += VERTICES_PER_FACE;
        }
    }
    return order_by_layer(build);
}

void chunk_mesh_build_free(ChunkMeshBuild* build) {
    if (!build) return;
    free(build->vertices);
    free(build->cells);
    free(build->list);
    free(build->layers);
    free(build->spare);
    memset(build, 0, sizeof *build);
}

// Squared distances of the nearest and farthest block centre of a chunk
// from the camera, along one axis.
static void axis_range(double lo, double span, double* near_sq, double* far_sq) {
    const double hi = lo + span;
    const double nearest = lo > 0.0 ? lo : hi < 0.0 ? -hi : 0.0;
    const double farthest = fabs(lo) > fabs(hi) ? fabs(lo) : fabs(hi);
    *near_sq += nearest * nearest;
    *far_sq += farthest * farthest;
}

// Whether the block centres of a box of cells, from world cell (x, y, z) and
// (w, h, d) cells large, all lie within the cut (1), all beyond it (-1), or
// on both sides (0).
static int box_against_cut(int x, int y, int z, int w, int h, int d, const ChunkMeshView* view) {
    double near_sq = 0.0, far_sq = 0.0;
    axis_range(x + 0.5 - view->offset.x - view->cam.x, w - 1, &near_sq, &far_sq);
    axis_range(y + 0.5 - view->cam.y, h - 1, &near_sq, &far_sq);
    axis_range(z + 0.5 - view->offset.z - view->cam.z, d - 1, &near_sq, &far_sq);
    const float cut = RENDER_CUT_SHARE * view->render_distance;
    const double cut_sq = static_cast<double>(cut) * static_cast<double>(cut);
    if (far_sq < cut_sq - COUNT_MARGIN_SQ) return 1;
    if (near_sq > cut_sq + COUNT_MARGIN_SQ) return -1;
    return 0;
}

static int count_cells_within(const uint16_t* cells, int count, int origin_x, int origin_y, int origin_z,
                              const ChunkMeshView* view) {
    int within = 0;
    for (int i = 0; i < count; i++) {
        const int x = cells[i] & 31, z = (cells[i] >> 5) & 31, y = cells[i] >> 10;
        const Vector3 pos = {static_cast<float>(origin_x + x) + 0.5f - view->offset.x,
                             static_cast<float>(origin_y + y) + 0.5f,
                             static_cast<float>(origin_z + z) + 0.5f - view->offset.z};
        const Vector3 to_block = vec3_sub(pos, view->cam);
        const float dist_sq = to_block.x * to_block.x + to_block.y * to_block.y + to_block.z * to_block.z;
        if (render_block_in_range(dist_sq, view->render_distance)) within++;
    }
    return within;
}

// A packed cell with the bits of its place inside its section cleared.
static uint16_t section_key(uint16_t cell) {
    const int inside =
        (CHUNK_MESH_SECTION_SIZE - 1) | (CHUNK_MESH_SECTION_SIZE - 1) << 5 | (CHUNK_MESH_SECTION_HEIGHT - 1) << 10;
    return static_cast<uint16_t>(cell & ~inside);
}

int chunk_mesh_count_within(const uint16_t* cells, int count, int32_t chunk_x, int32_t chunk_y, int32_t chunk_z,
                            const ChunkMeshView* view) {
    const int origin_x = chunk_x * CHUNK_SIZE, origin_y = chunk_y * CHUNK_HEIGHT, origin_z = chunk_z * CHUNK_SIZE;
    const int chunk_side = box_against_cut(origin_x, origin_y, origin_z, CHUNK_SIZE, CHUNK_HEIGHT, CHUNK_SIZE, view);
    if (chunk_side != 0) return chunk_side > 0 ? count : 0;
    // Each run of cells of one section that lies wholly on one side of the cut counts at once.
    int within = 0;
    for (int i = 0; i < count;) {
        const uint16_t key = section_key(cells[i]);
        int end = i + 1;
        while (end < count && section_key(cells[end]) == key) end++;
        const int side =
            box_against_cut(origin_x + (key & 31), origin_y + (key >> 10), origin_z + ((key >> 5) & 31),
                            CHUNK_MESH_SECTION_SIZE, CHUNK_MESH_SECTION_HEIGHT, CHUNK_MESH_SECTION_SIZE, view);
        if (side > 0) within += end - i;
        if (side == 0) within += count_cells_within(cells + i, end - i, origin_x, origin_y, origin_z, view);
        i = end;
    }
    return within;
}

// Cells a face can be seen through: the ones drawn as nothing.
static bool see_through(const Chunk* chunk, int x, int y, int z) {
    return world_get_block_color(world_chunk_get_block(chunk, x, y, z)).a == 0;
}

static constexpr int SECTION_CELLS = CHUNK_MESH_SECTION_SIZE * CHUNK_MESH_SECTION_HEIGHT * CHUNK_MESH_SECTION_SIZE;

// Sides of a section a cell lies on, as face bits.
static unsigned sides_of(int x, int y, int z) {
    const int last_xz = CHUNK_MESH_SECTION_SIZE - 1, last_y = CHUNK_MESH_SECTION_HEIGHT - 1;
    return (x == last_xz ? 1u : 0u) | (x == 0 ? 2u : 0u) | (y == last_y ? 4u : 0u) | (y == 0 ? 8u : 0u) |
           (z == last_xz ? 16u : 0u) | (z == 0 ? 32u : 0u);
}

// Links of one section: a flood fill of each group of see-through cells joins
// every pair of sides the group touches, and marks the sides it touches. A line
// of sight leaves a section by another side than the one it came in through,
// so a side is not linked to itself.
static uint64_t section_links(const Chunk* chunk, int x0, int y0, int z0) {
    const int n = CHUNK_MESH_SECTION_SIZE, h = CHUNK_MESH_SECTION_HEIGHT;
    bool open[SECTION_CELLS];
    for (int i = 0; i < SECTION_CELLS; i++) open[i] = see_through(chunk, x0 + i % n, y0 + i / (n * n), z0 + i / n % n);
    uint16_t stack[SECTION_CELLS];
    uint64_t links = 0;
    for (int seed = 0; seed < SECTION_CELLS; seed++) {
        if (!open[seed]) continue;
        open[seed] = false;
        int top = 0;
        stack[top++] = static_cast<uint16_t>(seed);
        unsigned sides = 0;
        while (top > 0) {
            const int i = stack[--top];
            const int x = i % n, z = i / n % n, y = i / (n * n);
            sides |= sides_of(x, y, z);
            const int next[6] = {x + 1 < n ? i + 1 : -1, x > 0 ? i - 1 : -1,     y + 1 < h ? i + n * n : -1,
                                 y > 0 ? i - n * n : -1, z + 1 < n ? i + n : -1, z > 0 ? i - n : -1};
            for (const int j : next)
                if (j >= 0 && open[j]) {
                    open[j] = false;
                    stack[top++] = static_cast<uint16_t>(j);
                }
        }
        for (int side = 0; side < 6; side++)
            if (sides & (1u << side)) links |= static_cast<uint64_t>(sides & ~(1u << side)) << (side * 6);
        links |= static_cast<uint64_t>(sides) << CHUNK_MESH_TOUCH_SHIFT;
    }
    return links;
}

void chunk_mesh_links(const Chunk* chunk, uint64_t* links) {
    for (int y = 0; y < CHUNK_HEIGHT; y += CHUNK_MESH_SECTION_HEIGHT)
        for (int z = 0; z < CHUNK_SIZE; z += CHUNK_MESH_SECTION_SIZE)
            for (int x = 0; x < CHUNK_SIZE; x += CHUNK_MESH_SECTION_SIZE)
                links[chunk_mesh_section(x, y, z)] = section_links(chunk, x, y, z);
}

static_assert(CHUNK_HEIGHT == 64, "a column's cells are the bits of one 64-bit word");

void chunk_mesh_solid(const Chunk* chunk, uint64_t* solid) {
    memset(solid, 0, sizeof(uint64_t) * CHUNK_SIZE * CHUNK_SIZE);
    // Neighbouring cells mostly share a type, so the last answer is kept.
    BlockType last = BLOCK_AIR;
    bool last_solid = world_get_block_color(last).a != 0;
    for (int y = 0; y < CHUNK_HEIGHT; y++)
        for (int z = 0; z < CHUNK_SIZE; z++)
            for (int x = 0; x < CHUNK_SIZE; x++) {
                const BlockType type = chunk->blocks[y][z][x].type;
                if (type != last) {
                    last = type;
                    last_solid = world_get_block_color(type).a != 0;
                }
                if (last_solid) solid[x + z * CHUNK_SIZE] |= uint64_t{1} << y;
            }
}

void chunk_mesh_boxes(const uint16_t* cells, int count, uint8_t (*boxes)[6]) {
    for (int s = 0; s < CHUNK_MESH_SECTIONS; s++) {
        boxes[s][0] = boxes[s][1] = boxes[s][2] = UINT8_MAX;
        boxes[s][3] = boxes[s][4] = boxes[s][5] = 0;
    }
    for (int i = 0; i < count; i++) {
        const int at[3] = {cells[i] & 31, cells[i] >> 10, (cells[i] >> 5) & 31};
        uint8_t* box = boxes[chunk_mesh_section(at[0], at[1], at[2])];
        for (int a = 0; a < 3; a++) {
            if (at[a] < box[a]) box[a] = static_cast<uint8_t>(at[a]);
            if (at[a] > box[a + 3]) box[a + 3] = static_cast<uint8_t>(at[a]);
        }
    }
}

void chunk_mesh_read_cells(const Chunk* chunk, ChunkMesh* mesh) {
    mesh->chunk_x = chunk->chunk_x;
    mesh->chunk_y = chunk->chunk_y;
    mesh->chunk_z = chunk->chunk_z;
    chunk_mesh_links(chunk, mesh->links);
    chunk_mesh_solid(chunk, mesh->solid);
}

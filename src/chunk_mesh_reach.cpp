// Which sections of the loaded chunks a frame can look into. A line of sight
// from the camera crosses sections side to side, moving away from the camera
// along every axis, and inside each section it runs through cells drawn as
// nothing from the side it came in by to the side it leaves by. A walk that
// follows exactly those steps reaches every section such a line can reach, so
// the faces it leaves out are the ones the depth test would hide: caves under
// the ground seen from above, the ground seen from inside a closed cave.
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "chunk_mesh.h"
#include "utils.h"

static constexpr uint8_t REACH_CAMERA = 1u << 6;
// Came in on a line of sight that passes through solid cells: after an
// unknown section, or from a camera inside a block. Such a line is not
// stopped until it has left the solid cells, which a walk by sections cannot
// tell, so from there on every side is open.
static constexpr uint8_t REACH_THROUGH = 1u << 7;
static constexpr int THROUGH_ENTRY = 6;
// Sections a grid may hold; more than any set of loaded chunks needs.
static constexpr long REACH_MAX_CELLS = 1L << 21;
static const int SECTION_BLOCKS[3] = {CHUNK_MESH_SECTION_SIZE, CHUNK_MESH_SECTION_HEIGHT, CHUNK_MESH_SECTION_SIZE};
static const int CHUNK_SECTIONS[3] = {CHUNK_MESH_SECTIONS_XZ, CHUNK_MESH_SECTIONS_Y, CHUNK_MESH_SECTIONS_XZ};

// The camera in world blocks, which the view shifts by whole blocks along x and z.
static void camera_world(const ChunkMeshView* view, double* out) {
    out[0] = static_cast<double>(view->cam.x) + view->offset.x;
    out[1] = view->cam.y;
    out[2] = static_cast<double>(view->cam.z) + view->offset.z;
}

// The grid holds every mesh's sections and a shell of open sections around
// them. A camera outside starts from the shell section nearest to it: every
// line of sight from there into the meshes crosses the shell moving away from
// the camera, which the walk can follow.
static bool size_grid(ChunkMeshReach* reach, const ChunkMesh* meshes, int count) {
    if (count == 0) return false;
    int32_t low[3] = {INT32_MAX, INT32_MAX, INT32_MAX}, high[3] = {INT32_MIN, INT32_MIN, INT32_MIN};
    for (int i = 0; i < count; i++) {
        const int32_t chunk[3] = {meshes[i].chunk_x, meshes[i].chunk_y, meshes[i].chunk_z};
        for (int a = 0; a < 3; a++) {
            const int32_t first = chunk[a] * CHUNK_SECTIONS[a], last = first + CHUNK_SECTIONS[a] - 1;
            if (first < low[a]) low[a] = first;
            if (last > high[a]) high[a] = last;
        }
    }
    long cells = 1;
    for (int a = 0; a < 3; a++) {
        reach->low[a] = low[a] - 1;
        reach->size[a] = static_cast<int>(static_cast<long>(high[a]) - low[a] + 3);
        cells *= reach->size[a];
        if (cells > REACH_MAX_CELLS) return false;
    }
    return grow_buffer(reinterpret_cast<void**>(&reach->links), &reach->cell_capacity, static_cast<int>(cells),
                       sizeof(uint64_t)) &&
           grow_buffer(reinterpret_cast<void**>(&reach->entered), &reach->entered_capacity, static_cast<int>(cells),
                       sizeof(uint8_t)) &&
           grow_buffer(reinterpret_cast<void**>(&reach->queue), &reach->queue_capacity, static_cast<int>(cells) * 7,
                       sizeof(int));
}

static int cell_index(const ChunkMeshReach* reach, const int32_t* section) {
    int at[3];
    for (int a = 0; a < 3; a++) {
        const long offset = static_cast<long>(section[a]) - reach->low[a];
        if (offset < 0 || offset >= reach->size[a]) return -1;
        at[a] = static_cast<int>(offset);
    }
    return (at[1] * reach->size[2] + at[2]) * reach->size[0] + at[0];
}

static void fill_grid(ChunkMeshReach* reach, const ChunkMesh* meshes, int count) {
    const int cells = reach->size[0] * reach->size[1] * reach->size[2];
    for (int i = 0; i < cells; i++) reach->links[i] = CHUNK_MESH_UNKNOWN;
    memset(reach->entered, 0, static_cast<size_t>(cells));
    for (int m = 0; m < count; m++) {
        const ChunkMesh* mesh = &meshes[m];
        for (int s = 0; s < CHUNK_MESH_SECTIONS; s++) {
            const int32_t section[3] = {
                mesh->chunk_x * CHUNK_MESH_SECTIONS_XZ + s % CHUNK_MESH_SECTIONS_XZ,
                mesh->chunk_y * CHUNK_MESH_SECTIONS_Y + CHUNK_MESH_SECTIONS_Y - 1 -
                    s / (CHUNK_MESH_SECTIONS_XZ * CHUNK_MESH_SECTIONS_XZ),
                mesh->chunk_z * CHUNK_MESH_SECTIONS_XZ + s / CHUNK_MESH_SECTIONS_XZ % CHUNK_MESH_SECTIONS_XZ};
            reach->links[cell_index(reach, section)] = mesh->links[s];
        }
    }
}

static void cell_section(const ChunkMeshReach* reach, int cell, int32_t* out) {
    out[0] = reach->low[0] + cell % reach->size[0];
    out[2] = reach->low[2] + cell / reach->size[0] % reach->size[2];
    out[1] = reach->low[1] + cell / (reach->size[0] * reach->size[2]);
}

bool chunk_mesh_section_in_view(const int32_t* section, const ChunkMeshView* view) {
    const float half[3] = {SECTION_BLOCKS[0] * 0.5f, SECTION_BLOCKS[1] * 0.5f, SECTION_BLOCKS[2] * 0.5f};
    const float radius = sqrtf(half[0] * half[0] + half[1] * half[1] + half[2] * half[2]);
    const Vector3 centre = {static_cast<float>(section[0] * SECTION_BLOCKS[0]) + half[0] - view->offset.x,
                            static_cast<float>(section[1] * SECTION_BLOCKS[1]) + half[1],
                            static_cast<float>(section[2] * SECTION_BLOCKS[2]) + half[2] - view->offset.z};
    const float x = centre.x - view->cam.x, y = centre.y - view->cam.y, z = centre.z - view->cam.z;
    const float cut = RENDER_CUT_SHARE * view->render_distance;
    return sqrtf(x * x + y * y + z * z) - radius <= cut + 1.0f && render_frustum_sphere(&view->frustum, centre, radius);
}

// A line of sight crosses the plane of a side only moving away from the
// camera; a block of slack keeps rounding on the safe side.
static bool crossing_ahead(const int32_t* section, int side, const double* cam) {
    const int axis = side / 2;
    const bool positive = side % 2 == 0;
    const double plane = static_cast<double>(section[axis] + (positive ? 1 : 0)) * SECTION_BLOCKS[axis];
    return positive ? plane > cam[axis] - 1.0 : plane < cam[axis] + 1.0;
}

// Steps out of `cell` through every side in `exits`; `through`: on a line of
// sight that passes through solid cells.
static int step_out(ChunkMeshReach* reach, int cell, unsigned exits, bool through, const double* cam,
                    const ChunkMeshView* view, int tail) {
    int32_t section[3];
    cell_section(reach, cell, section);
    for (int side = 0; side < 6; side++) {
        if (!(exits & (1u << side)) || !crossing_ahead(section, side, cam)) continue;
        int32_t next[3] = {section[0], section[1], section[2]};
        next[side / 2] += side % 2 == 0 ? 1 : -1;
        const int into = cell_index(reach, next);
        const int entry = through ? THROUGH_ENTRY : side ^ 1;
        const uint8_t mark = through ? REACH_THROUGH : static_cast<uint8_t>(1u << entry);
        if (into < 0 || (reach->entered[into] & mark) || !chunk_mesh_section_in_view(next, view)) continue;
        reach->entered[into] |= mark;
        reach->queue[tail++] = into * 8 + entry;
    }
    return tail;
}

void chunk_mesh_reach_walk(ChunkMeshReach* reach, const ChunkMesh* meshes, int count, const ChunkMeshView* view,
                           bool eye_in_block) {
    double cam[3];
    camera_world(view, cam);
    reach->all = !size_grid(reach, meshes, count);
    if (reach->all) return;
    fill_grid(reach, meshes, count);
    int32_t start[3];
    for (int a = 0; a < 3; a++) {
        const double section = floor(cam[a] / SECTION_BLOCKS[a]), last = reach->low[a] + reach->size[a] - 1;
        start[a] = static_cast<int32_t>(section < reach->low[a] ? reach->low[a] : section > last ? last : section);
    }
    const int first = cell_index(reach, start);
    reach->entered[first] |= REACH_CAMERA;
    const bool start_through = eye_in_block || reach->links[first] == CHUNK_MESH_UNKNOWN;
    int head = 0, tail = step_out(reach, first, 63u, start_through, cam, view, 0);
    while (head < tail) {
        const int item = reach->queue[head++];
        const int cell = item / 8, entry = item % 8;
        const bool through = entry == THROUGH_ENTRY || reach->links[cell] == CHUNK_MESH_UNKNOWN;
        const unsigned exits = through ? 63u : static_cast<unsigned>(reach->links[cell] >> (entry * 6)) & 63u;
        tail = step_out(reach, cell, exits, through, cam, view, tail);
    }
}

bool chunk_mesh_reached(const ChunkMeshReach* reach, int32_t sx, int32_t sy, int32_t sz) {
    if (reach->all) return true;
    const int32_t section[3] = {sx, sy, sz};
    const int cell = cell_index(reach, section);
    if (cell < 0) return false;
    const unsigned touched = static_cast<unsigned>(reach->links[cell] >> CHUNK_MESH_TOUCH_SHIFT) & 63u;
    const uint8_t entered = reach->entered[cell];
    return (entered & (REACH_CAMERA | REACH_THROUGH)) || (entered & touched);
}

void chunk_mesh_reach_free(ChunkMeshReach* reach) {
    if (!reach) return;
    free(reach->links);
    free(reach->entered);
    free(reach->queue);
    memset(reach, 0, sizeof *reach);
}

// Far sections hidden behind nearer ground. A line of sight from the camera
// to a far section crosses every ring of columns around the camera on its
// way. In one ring, it passes through some column and meets the column's run
// of solid cells if its height there lies within the run; if that holds for
// every column of the ring its heading can cross, the line ends in that ring,
// on a face the frame draws. A column's run is the one a line from the
// camera's height meets first on its way down: the ground under open sky, a
// wall or the floor in a cave. Hills seen at a grazing angle hide most of the
// ground behind them this way, and cave walls the cave beyond; the walk by
// sections cannot tell, since the air above or the cave joins everything.
#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "chunk_mesh.h"
#include "utils.h"

static constexpr int BINS = CHUNK_MESH_HORIZON_BINS;
static constexpr int RINGS = CHUNK_MESH_HORIZON_RINGS;
// Columns that reach within this many blocks of the camera are left out: the
// rings start beyond them.
static constexpr int FIRST_RING = 3;
static constexpr int SQUARE_SIDE = CHUNK_MESH_HORIZON_SQUARE;
static constexpr int HORIZON_CHUNKS = CHUNK_MESH_HORIZON_CHUNKS;
// The square is looked at in blocks of 8 x 8 columns. Farther out, where a
// column spans few bins, columns go in groups of 2 x 2 and then 4 x 4, whose
// common run stands for them all.
static constexpr int BLOCK = 8;
static constexpr double PAIRS_FROM = 12.0;
static constexpr double QUADS_FROM = 32.0;
// Headings more than this far to the side (the cosine of 80 degrees) are not
// split into bins; a view that takes them in, looking steeply up or down,
// leaves every section to the walk.
static constexpr double AHEAD_MIN = 0.17;
// Layers of chunks above and below the camera's that are looked at for being known.
static constexpr int KNOWN_LAYERS = 4;
// A camera farther out than this from the world's origin turns the horizon
// off, so that its cells stay within reach of 32-bit numbers.
static constexpr double EYE_LIMIT = 1e8;
// Faces in a plane between cells that passes this close to the camera are
// seen so nearly edge-on that the rasterizer may drop them, and a line of
// sight along that plane may then slip past the edge of the first face it
// meets into the rock behind. Such lines head within GRID_ANGLE (radians) of
// the plane, as seen from the camera.
static constexpr double GRID_SLACK = 0.25;
static constexpr double GRID_ANGLE = 0.01;
// Slopes within this much of a run's end are not counted as stopped.
static constexpr float SLOPE_MARGIN = 1e-4f;
// Cells within this much of the cut are not counted as drawn.
static constexpr double CUT_MARGIN = 0.05;

static float* slope_cell(const ChunkMeshHorizon* horizon, int ring, int bin) {
    return horizon->slopes + (static_cast<long>(ring) * BINS + bin) * 2;
}

static bool known_column(const ChunkMeshHorizon* horizon, int index) {
    return horizon->known[index] != 0;
}

// A footprint on the ground relative to the camera: lowest x and z, then highest.
struct Footprint {
    double x0, z0, x1, z1;
};

// The rings and bins a footprint may meet.
struct Reach {
    double nearest, farthest;  // horizontal distances from the camera
    int ring_first, ring_last, bin_first, bin_last;
};

// Tangent of a direction's heading from the view's heading; false when it is
// not well ahead. *side: which side it lies on.
static bool heading_tangent(const ChunkMeshHorizon* horizon, double dx, double dz, double* tangent, int* side) {
    const double ahead = dx * horizon->ahead[0] + dz * horizon->ahead[1];
    const double across = dz * horizon->ahead[0] - dx * horizon->ahead[1];
    *side = across > 0.0 ? 1 : -1;
    if (ahead <= 0.0 || ahead * ahead <= AHEAD_MIN * AHEAD_MIN * (dx * dx + dz * dz)) return false;
    *tangent = across / ahead;
    return true;
}

// The bins of the view: the headings of the frustum's four edges, when all
// of them are well ahead.
static bool set_bins(ChunkMeshHorizon* horizon, const RenderFrustum* frustum) {
    const Vector3 forward = {-frustum->normals[0].x, -frustum->normals[0].y, -frustum->normals[0].z};
    const double flat = sqrt(static_cast<double>(forward.x) * forward.x + static_cast<double>(forward.z) * forward.z);
    if (flat < AHEAD_MIN) return false;
    horizon->ahead[0] = forward.x / flat;
    horizon->ahead[1] = forward.z / flat;
    double low = INFINITY, high = -INFINITY;
    for (int a = 1; a <= 2; a++)
        for (int b = 3; b <= 4; b++) {
            const Vector3 n = frustum->normals[a], m = frustum->normals[b];
            double edge[3] = {n.y * m.z - n.z * m.y, n.z * m.x - n.x * m.z, n.x * m.y - n.y * m.x};
            if (edge[0] * forward.x + edge[1] * forward.y + edge[2] * forward.z < 0.0)
                for (double& e : edge) e = -e;
            double tangent = 0.0;
            int side = 0;
            if (!heading_tangent(horizon, edge[0], edge[2], &tangent, &side)) return false;
            low = std::min(low, tangent);
            high = std::max(high, tangent);
        }
    horizon->tan_low = low - 1e-3;
    horizon->bin_scale = BINS / (high - low + 2e-3);
    return true;
}

// The bins the corners of a footprint fall into; false when none. A corner
// not well ahead stretches the range to the end of the view on its side.
static bool footprint_bins(const ChunkMeshHorizon* horizon, const Footprint& f, Reach* reach) {
    const double corners[4][2] = {{f.x0, f.z0}, {f.x1, f.z0}, {f.x0, f.z1}, {f.x1, f.z1}};
    double low = INFINITY, high = -INFINITY;
    bool ahead = false;
    for (const auto& c : corners) {
        double tangent = 0.0;
        int side = 0;
        if (heading_tangent(horizon, c[0], c[1], &tangent, &side)) {
            ahead = true;
            low = std::min(low, tangent);
            high = std::max(high, tangent);
        } else if (side > 0) {
            high = INFINITY;
        } else {
            low = -INFINITY;
        }
    }
    if (!ahead) return false;
    const double from = (low - horizon->tan_low) * horizon->bin_scale;
    const double to = (high - horizon->tan_low) * horizon->bin_scale;
    if (to < 0.0 || from >= BINS) return false;
    reach->bin_first = from < 0.0 ? 0 : static_cast<int>(from);
    reach->bin_last = to >= BINS ? BINS - 1 : static_cast<int>(to);
    return true;
}

static void footprint_distances(const Footprint& f, Reach* reach) {
    const double nx = f.x0 > 0.0 ? f.x0 : f.x1 < 0.0 ? f.x1 : 0.0;
    const double nz = f.z0 > 0.0 ? f.z0 : f.z1 < 0.0 ? f.z1 : 0.0;
    const double fx = std::max(-f.x0, f.x1), fz = std::max(-f.z0, f.z1);
    reach->nearest = sqrt(nx * nx + nz * nz);
    reach->farthest = sqrt(fx * fx + fz * fz);
}

// The rings and bins a footprint of the square may meet; false when none.
static bool footprint_reach(const ChunkMeshHorizon* horizon, const Footprint& f, Reach* reach) {
    footprint_distances(f, reach);
    if (reach->farthest < FIRST_RING || reach->nearest >= RINGS) return false;
    reach->ring_first = reach->nearest < FIRST_RING ? FIRST_RING : static_cast<int>(reach->nearest);
    reach->ring_last = reach->farthest >= RINGS ? RINGS - 1 : static_cast<int>(reach->farthest);
    return footprint_bins(horizon, f, reach);
}

static Footprint square_footprint(const ChunkMeshHorizon* horizon, int x, int z, int side) {
    const double x0 = horizon->corner[0] + x - horizon->eye[0], z0 = horizon->corner[1] + z - horizon->eye[2];
    return Footprint{x0, z0, x0 + side, z0 + side};
}

// The meshes of the square's chunk columns in the camera's layer of chunks
// and the layers below and above it, null where a chunk is unknown; and the
// camera's cell in the middle layer.
struct Stack {
    const ChunkMesh* layers[HORIZON_CHUNKS * HORIZON_CHUNKS][3];
    int32_t layer;
    int eye_bit;
};

// Cells low..top-1 of the run in one column of a stack that a line of sight
// from the camera's height meets first on its way down: the highest solid
// cell at or below the camera's cell and the solid cells joined to it above
// and below; top 0 for none. Bit 64 * i + y of the column is cell y of layer i.
static void column_run(const Stack& stack, int chunk, int column, int32_t* run) {
    uint64_t words[3];
    for (int i = 0; i < 3; i++) words[i] = stack.layers[chunk][i] ? stack.layers[chunk][i]->solid[column] : 0;
    const uint64_t below = stack.eye_bit == 63 ? words[1] : words[1] & ((uint64_t{1} << (stack.eye_bit + 1)) - 1);
    int at = below ? 127 - std::countl_zero(below) : words[0] ? 63 - std::countl_zero(words[0]) : -1;
    run[0] = run[1] = 0;
    if (at < 0) return;
    int top = at, low = at;
    for (int w = at / 64, b = at % 64;; w++, b = 0) {
        const uint64_t gaps = ~words[w] >> b;
        top = w * 64 + b + std::countr_zero(gaps);  // 64 more when the word is solid from b up
        if (gaps != 0 || w == 2) break;
    }
    for (int w = at / 64, b = at % 64;; w--, b = 63) {
        const uint64_t gaps = ~words[w] << (63 - b);
        low = w * 64 + b + 1 - std::countl_zero(gaps);
        if (gaps != 0 || w == 0) break;
    }
    const int32_t base = (stack.layer - 1) * CHUNK_HEIGHT;
    run[0] = base + low;
    run[1] = base + top;
}

// The run solid in every column of a side x side group inside one chunk column.
static void group_run(const Stack& stack, int chunk, int x, int z, int side, int32_t* run) {
    run[0] = INT32_MIN;
    run[1] = INT32_MAX;
    for (int dz = 0; dz < side; dz++)
        for (int dx = 0; dx < side; dx++) {
            int32_t column[2];
            column_run(stack, chunk, (x + dx) + (z + dz) * CHUNK_SIZE, column);
            run[0] = std::max(run[0], column[0]);
            run[1] = std::min(run[1], column[1]);
        }
}

// The slopes a run stops wherever a line crosses its footprint: cells beyond
// the cut are not drawn, so the run ends there.
static void run_slopes(const ChunkMeshHorizon* horizon, const int32_t* run, const Reach& reach, double cut,
                       float* out) {
    out[0] = INFINITY;
    out[1] = -INFINITY;
    const double room = cut * cut - reach.farthest * reach.farthest;
    if (run[1] <= run[0] || room <= 0.0) return;
    const double within = sqrt(room) - CUT_MARGIN, centre = horizon->eye[1] - 0.5;
    const double low = std::max(static_cast<double>(run[0]), ceil(centre - within));
    const double top = std::min(static_cast<double>(run[1]), floor(centre + within) + 1.0);
    if (top <= low) return;
    const double below = low - horizon->eye[1], above = top - horizon->eye[1];
    out[0] = static_cast<float>(std::max(below / reach.nearest, below / reach.farthest)) + SLOPE_MARGIN;
    out[1] = static_cast<float>(std::min(above / reach.nearest, above / reach.farthest)) - SLOPE_MARGIN;
}

// Narrows every ring and bin in reach to the slopes stopped; null for a
// footprint in an unknown chunk column.
static void narrow(ChunkMeshHorizon* horizon, const Reach& reach, const float* stopped) {
    for (int ring = reach.ring_first; ring <= reach.ring_last; ring++) {
        float* cell = slope_cell(horizon, ring, reach.bin_first);
        // std::max keeps a NaN in its first place.
        for (int bin = reach.bin_first; bin <= reach.bin_last; bin++, cell += 2) {
            cell[0] = stopped ? std::max(cell[0], stopped[0]) : NAN;
            cell[1] = stopped ? std::min(cell[1], stopped[1]) : cell[1];
        }
    }
}

// One block of columns of the square: all of it at once when it lies in an
// unknown chunk column, else column by column or group by group.
static void add_block(ChunkMeshHorizon* horizon, const Stack& stack, int bx, int bz, double cut) {
    Reach reach = {};
    if (!footprint_reach(horizon, square_footprint(horizon, bx, bz, BLOCK), &reach)) return;
    const int32_t world_x = horizon->corner[0] + bx, world_z = horizon->corner[1] + bz;
    const int chunk = (world_to_chunk_xz(world_z) - horizon->known_chunk[1]) * HORIZON_CHUNKS +
                      world_to_chunk_xz(world_x) - horizon->known_chunk[0];
    if (!known_column(horizon, chunk)) {
        narrow(horizon, reach, nullptr);
        return;
    }
    const int side = reach.nearest >= QUADS_FROM ? 4 : reach.nearest >= PAIRS_FROM ? 2 : 1;
    const int local_x = world_to_local_xz(world_x), local_z = world_to_local_xz(world_z);
    for (int z = 0; z < BLOCK; z += side)
        for (int x = 0; x < BLOCK; x += side) {
            Reach unit = {};
            if (!footprint_reach(horizon, square_footprint(horizon, bx + x, bz + z, side), &unit)) continue;
            int32_t run[2];
            group_run(stack, chunk, local_x + x, local_z + z, side, run);
            float stopped[2];
            run_slopes(horizon, run, unit, cut, stopped);
            narrow(horizon, unit, stopped);
        }
}

// Turns each ring's slopes into those stopped by that ring or a nearer one,
// keeping one span per bin: the union while the spans overlap, else the
// higher one. A line that may have crossed an unknown chunk column (marked
// NaN) is not stopped by anything beyond it.
static void join_rings(ChunkMeshHorizon* horizon) {
    float low[BINS], high[BINS];
    bool open[BINS];
    for (int bin = 0; bin < BINS; bin++) {
        low[bin] = INFINITY;
        high[bin] = -INFINITY;
        open[bin] = true;
    }
    for (int ring = 0; ring < RINGS; ring++) {
        float* cell = slope_cell(horizon, ring, 0);
        for (int bin = 0; bin < BINS; bin++, cell += 2) {
            open[bin] = open[bin] && !std::isnan(cell[0]);
            const bool stops = open[bin] && ring >= FIRST_RING && cell[0] < cell[1];
            if (stops && low[bin] < high[bin] && cell[0] <= high[bin] && cell[1] >= low[bin]) {
                low[bin] = std::min(low[bin], cell[0]);
                high[bin] = std::max(high[bin], cell[1]);
            } else if (stops && cell[1] > high[bin]) {
                low[bin] = cell[0];
                high[bin] = cell[1];
            }
            cell[0] = low[bin];
            cell[1] = high[bin];
        }
    }
}

// Whether the chunk at (x, y, z) has a mesh made from its list: a chunk not
// loaded or never listed draws nothing, nor do its neighbours' faces towards
// it, so a line of sight through it passes solid cells unseen.
static bool chunk_known(const ChunkMesh* meshes, int count, int32_t x, int32_t y, int32_t z) {
    for (int m = 0; m < count; m++)
        if (meshes[m].chunk_x == x && meshes[m].chunk_y == y && meshes[m].chunk_z == z)
            return meshes[m].links[0] != CHUNK_MESH_UNKNOWN;
    return false;
}

// Whether every chunk column known in the camera's layer is known in `layer` too.
static bool layer_whole(const ChunkMeshHorizon* horizon, const ChunkMesh* meshes, int count, int32_t layer) {
    for (int i = 0; i < HORIZON_CHUNKS * HORIZON_CHUNKS; i++)
        if (known_column(horizon, i) && !chunk_known(meshes, count, horizon->known_chunk[0] + i % HORIZON_CHUNKS, layer,
                                                     horizon->known_chunk[1] + i / HORIZON_CHUNKS))
            return false;
    return true;
}

// Marks the chunk columns of the square known in the camera's layer of
// chunks, and the heights of the layers above and below where all of them are
// known too; fills the stack. False when no column is known.
static bool set_known(ChunkMeshHorizon* horizon, const ChunkMesh* meshes, int count, Stack* stack) {
    horizon->known_chunk[0] = world_to_chunk_xz(horizon->corner[0]);
    horizon->known_chunk[1] = world_to_chunk_xz(horizon->corner[1]);
    const int32_t eye_cell = static_cast<int32_t>(floor(horizon->eye[1]));
    const int32_t layer = world_to_chunk_y(eye_cell);
    stack->layer = layer;
    stack->eye_bit = world_to_local_y(eye_cell);
    memset(stack->layers, 0, sizeof stack->layers);
    for (int m = 0; m < count; m++) {
        const ChunkMesh* mesh = &meshes[m];
        const int32_t x = mesh->chunk_x - horizon->known_chunk[0], z = mesh->chunk_z - horizon->known_chunk[1];
        const int32_t y = mesh->chunk_y - layer + 1;
        if (x >= 0 && x < HORIZON_CHUNKS && z >= 0 && z < HORIZON_CHUNKS && y >= 0 && y < 3 &&
            mesh->links[0] != CHUNK_MESH_UNKNOWN)
            stack->layers[z * HORIZON_CHUNKS + x][y] = mesh;
    }
    bool any = false;
    for (int i = 0; i < HORIZON_CHUNKS * HORIZON_CHUNKS; i++) {
        horizon->known[i] = stack->layers[i][1] != nullptr;
        any = any || horizon->known[i];
    }
    int32_t low = layer, high = layer;
    while (low > layer - KNOWN_LAYERS && layer_whole(horizon, meshes, count, low - 1)) low--;
    while (high < layer + KNOWN_LAYERS && layer_whole(horizon, meshes, count, high + 1)) high++;
    horizon->known_low = static_cast<double>(low) * CHUNK_HEIGHT;
    horizon->known_high = static_cast<double>(high + 1) * CHUNK_HEIGHT;
    return any;
}

// Leaves open the bins of headings within GRID_ANGLE of a plane x = k or
// z = k near the camera: NaN in the first ring stops every line in them.
static void open_along_planes(ChunkMeshHorizon* horizon) {
    for (int axis = 0; axis < 2; axis++) {
        const double at = horizon->eye[axis * 2];
        if (fabs(at - nearbyint(at)) >= GRID_SLACK) continue;
        for (const double way : {1.0, -1.0}) {
            // Headings along the plane, turned by GRID_ANGLE either side.
            const double along = way * cos(GRID_ANGLE), aside = sin(GRID_ANGLE);
            const Footprint f =
                axis == 0 ? Footprint{-aside, along, aside, along} : Footprint{along, -aside, along, aside};
            Reach reach = {};
            reach.ring_first = reach.ring_last = FIRST_RING;
            if (footprint_bins(horizon, f, &reach)) narrow(horizon, reach, nullptr);
        }
    }
}

void chunk_mesh_horizon_make(ChunkMeshHorizon* horizon, const ChunkMesh* meshes, int count, const ChunkMeshView* view,
                             bool eye_in_block) {
    horizon->active = false;
    if (eye_in_block || !set_bins(horizon, &view->frustum)) return;
    if (!grow_buffer(reinterpret_cast<void**>(&horizon->slopes), &horizon->slope_capacity, RINGS * BINS * 2,
                     sizeof(float)))
        return;
    horizon->eye[0] = static_cast<double>(view->cam.x) + view->offset.x;
    horizon->eye[1] = view->cam.y;
    horizon->eye[2] = static_cast<double>(view->cam.z) + view->offset.z;
    for (const double at : horizon->eye)
        if (!(fabs(at) < EYE_LIMIT)) return;
    for (int a = 0; a < 2; a++) {
        const int32_t from = static_cast<int32_t>(floor(horizon->eye[a * 2])) - RINGS - 1;
        horizon->corner[a] = from - ((from % BLOCK) + BLOCK) % BLOCK;
    }
    Stack stack;
    if (!set_known(horizon, meshes, count, &stack)) return;
    for (int i = 0; i < RINGS * BINS; i++) {
        horizon->slopes[i * 2] = -INFINITY;
        horizon->slopes[i * 2 + 1] = INFINITY;
    }
    const double cut = RENDER_CUT_SHARE * view->render_distance;
    for (int bz = 0; bz < SQUARE_SIDE; bz += BLOCK)
        for (int bx = 0; bx < SQUARE_SIDE; bx += BLOCK) add_block(horizon, stack, bx, bz, cut);
    open_along_planes(horizon);
    join_rings(horizon);
    horizon->level = fabs(horizon->eye[1] - nearbyint(horizon->eye[1])) < GRID_SLACK;
    horizon->active = true;
}

bool chunk_mesh_horizon_hides(const ChunkMeshHorizon* horizon, const double* low, const double* high) {
    // Lines of sight to the box stay between its heights and the camera's.
    if (!horizon->active || low[1] < horizon->known_low || high[1] > horizon->known_high) return false;
    const Footprint f = {low[0] - horizon->eye[0], low[2] - horizon->eye[2], high[0] - horizon->eye[0],
                         high[2] - horizon->eye[2]};
    Reach reach = {};
    footprint_distances(f, &reach);
    // The line must end at least a block nearer than the box.
    const int ring = std::min(static_cast<int>(reach.nearest) - 2, RINGS - 1);
    if (ring < FIRST_RING) return false;
    for (const double x : {f.x0, f.x1})
        for (const double z : {f.z0, f.z1}) {
            double tangent = 0.0;
            int side = 0;
            if (!heading_tangent(horizon, x, z, &tangent, &side)) return false;
        }
    if (!footprint_bins(horizon, f, &reach)) return false;
    float from = INFINITY, to = -INFINITY;
    for (const double y : {low[1], high[1]})
        for (const double r : {reach.nearest, reach.farthest}) {
            const float slope = static_cast<float>((y - horizon->eye[1]) / r);
            from = std::min(from, slope);
            to = std::max(to, slope);
        }
    // Level lines run along the plane between cells at the camera's height.
    if (horizon->level && from <= GRID_ANGLE && to >= -GRID_ANGLE) return false;
    const float* cell = slope_cell(horizon, ring, reach.bin_first);
    for (int bin = reach.bin_first; bin <= reach.bin_last; bin++, cell += 2)
        if (!(cell[0] <= from && to <= cell[1])) return false;
    return true;
}

void chunk_mesh_horizon_free(ChunkMeshHorizon* horizon) {
    if (!horizon) return;
    free(horizon->slopes);
    memset(horizon, 0, sizeof *horizon);
}

// Terrain: seeded value noise, the surface height field and the cave bands.
//
// Terrain is a pure function of the seed and the block coordinates, so every
// formula here is part of the world format: the same seed must give the same
// blocks in every build. All noise arithmetic is single precision, written
// step by step so that the compiler (built with -ffp-contract=off and without
// -ffast-math) neither fuses nor reorders it.
#include <algorithm>
#include <cmath>
#include <cstdint>

#include "world.h"

namespace {

// Surface: a base height plus weighted octave fields, clamped.
constexpr float TERRAIN_BASE_HEIGHT = 100.0f;
constexpr float TERRAIN_MIN_HEIGHT = 85.0f;
constexpr float TERRAIN_MAX_HEIGHT = 120.0f;
// A column is pulled toward its neighbours only when it differs from all
// eight by more than this (a lone spike or pit).
constexpr float TERRAIN_SPIKE_DIFF = 2.0f;

struct HeightField {
    float scale;
    int octaves;
    uint64_t seed_offset;
    float weight;
};

constexpr HeightField HEIGHT_FIELDS[5] = {
    {0.0008f, 5, 0, 20.0f}, {0.002f, 6, 1, 16.0f}, {0.008f, 5, 2, 10.0f}, {0.025f, 4, 50, 6.0f}, {0.06f, 3, 100, 1.0f},
};

// Caves: two bands of three 3D noise fields each. The weighted sum is divided
// by 2.3 (not by the sum of the weights), as a multiplication by the
// single-precision reciprocal.
constexpr int CAVE_FIELDS_PER_BAND = 3;
constexpr float CAVE_WEIGHT_1 = 0.7f;
constexpr float CAVE_WEIGHT_2 = 0.42000002f;
constexpr float CAVE_INV_DIVISOR = 0.43478262f;

struct CaveBand {
    int y_min, y_max;  // world y, both inclusive
    float scales[CAVE_FIELDS_PER_BAND];
    uint64_t seed_offsets[CAVE_FIELDS_PER_BAND];
    float threshold;  // cells whose cave value is below it are carved out
};

constexpr int CAVE_BAND_COUNT = 2;
constexpr CaveBand CAVE_BANDS[CAVE_BAND_COUNT] = {
    {15, 39, {0.03f, 0.1f, 0.25f}, {5000, 5001, 5002}, 0.42f},
    {40, 84, {0.05f, 0.15f, 0.35f}, {5010, 5011, 5012}, 0.45f},
};
constexpr int CAVE_FIELD_COUNT = CAVE_BAND_COUNT * CAVE_FIELDS_PER_BAND;

// Grass on top, then this many layers of dirt, then stone.
constexpr int TERRAIN_DIRT_DEPTH = 5;

// The height grid of one chunk: its columns plus a one-block border.
constexpr int HEIGHT_GRID = CHUNK_SIZE + 2;

}  // namespace

static inline float fade(float t) {
    return t * t * t * (t * (t * 6.0f - 15.0f) + 10.0f);
}

static inline float lerp(float a, float b, float t) {
    return a * (1.0f - t) + b * t;
}

// Lattice coordinates enter hashes sign-extended to 64 bits.
static inline uint64_t lattice_bits(int v) {
    return static_cast<uint64_t>(static_cast<int64_t>(v));
}

static inline uint64_t hash_finish(uint64_t h) {
    h ^= h >> 33;
    h *= 0xFF51AFD7ED558CCDull;
    h ^= h >> 33;
    return h;
}

static inline uint64_t seed_fold(uint64_t seed) {
    return seed ^ (seed >> 32);
}

uint64_t hash_seed(uint64_t x, uint64_t y, uint64_t seed) {
    return hash_finish(x ^ y ^ seed_fold(seed));
}

static inline int floor_to_int(float v) {
    return static_cast<int>(std::floor(v));
}

static inline float lattice_value(int xi, int zi, uint64_t seed) {
    const uint64_t h = hash_seed(lattice_bits(xi), lattice_bits(zi), seed);
    return static_cast<float>(h % 1000) * 0.002f - 1.0f;
}

float noise_value(float x, float z, uint64_t seed) {
    return lattice_value(floor_to_int(x), floor_to_int(z), seed);
}

float perlin_noise(float x, float z, uint64_t seed) {
    const int xi = floor_to_int(x);
    const int zi = floor_to_int(z);
    const float u = fade(x - static_cast<float>(xi));
    const float v = fade(z - static_cast<float>(zi));
    const float x0 = static_cast<float>(xi);
    const float x1 = static_cast<float>(xi + 1);
    const float z0 = static_cast<float>(zi);
    const float z1 = static_cast<float>(zi + 1);
    const float n00 = noise_value(x0, z0, seed);
    const float n10 = noise_value(x1, z0, seed);
    const float n01 = noise_value(x0, z1, seed);
    const float n11 = noise_value(x1, z1, seed);
    const float nx0 = lerp(n00, n10, u);
    const float nx1 = lerp(n01, n11, u);
    return lerp(nx0, nx1, v);
}

float fbm_noise(float x, float z, int octaves, uint64_t seed) {
    float value = 0.0f;
    float amplitude = 1.0f;
    float frequency = 1.0f;
    float max_value = 0.0f;
    for (int i = 0; i < octaves; i++) {
        value += perlin_noise(x * frequency, z * frequency, seed + static_cast<uint64_t>(i)) * amplitude;
        max_value += amplitude;
        amplitude *= 0.5f;
        frequency *= 2.0f;
    }
    return value / max_value;
}

float terrain_height_seeded(float x, float z, uint64_t seed) {
    float height = TERRAIN_BASE_HEIGHT;
    for (const HeightField& f : HEIGHT_FIELDS) {
        const float n = fbm_noise(x * f.scale, z * f.scale, f.octaves, seed + f.seed_offset);
        // The unit-weight field is added as it is; multiplying by 1 is exact anyway.
        height += f.weight * n;
    }
    height = std::fmax(height, TERRAIN_MIN_HEIGHT);
    height = std::fmin(height, TERRAIN_MAX_HEIGHT);
    return height;
}

// heights holds the 3 x 3 neighbourhood, index (dx + 1) * 3 + (dz + 1).
static int smooth_height_from(const float heights[9]) {
    float center = heights[4];
    int isolated_count = 0;
    for (int i = 0; i < 9; i++) {
        if (i != 4 && std::fabs(heights[i] - center) > TERRAIN_SPIKE_DIFF) {
            isolated_count++;
        }
    }
    if (isolated_count == 8) {
        float sum = 0.0f;
        for (int i = 0; i < 9; i++) {
            if (i != 4) {
                sum += heights[i];
            }
        }
        const float neighbor_avg = sum / 8.0f;
        center = center * 0.4f + neighbor_avg * 0.6f;
    }
    return static_cast<int>(center);
}

// World coordinates wrap like the hardware does for chunks far from the origin.
static inline int wrap_add(int a, int b) {
    return static_cast<int>(static_cast<uint32_t>(a) + static_cast<uint32_t>(b));
}

int smooth_terrain_height(int x, int z, uint64_t seed) {
    float heights[9] = {};
    for (int dx = -1; dx <= 1; dx++) {
        for (int dz = -1; dz <= 1; dz++) {
            const float fx = static_cast<float>(wrap_add(x, dx));
            const float fz = static_cast<float>(wrap_add(z, dz));
            heights[(dx + 1) * 3 + (dz + 1)] = terrain_height_seeded(fx, fz, seed);
        }
    }
    return smooth_height_from(heights);
}

static inline float cave_lattice(uint64_t partial, int yi) {
    return static_cast<float>(hash_finish(partial ^ lattice_bits(yi)) % 1000) * 0.001f;
}

// The partial hash of cave lattice corner (xi, ., zi): everything but y.
static inline uint64_t cave_partial(int xi, int zi, uint64_t seed) {
    return seed_fold(seed + lattice_bits(zi)) ^ lattice_bits(xi);
}

float cave_noise_3d(float x, float y, float z, uint64_t seed) {
    const int xi = floor_to_int(x);
    const int yi = floor_to_int(y);
    const int zi = floor_to_int(z);
    const float u = fade(x - static_cast<float>(xi));
    const float v = fade(y - static_cast<float>(yi));
    const float w = fade(z - static_cast<float>(zi));
    const uint64_t p00 = cave_partial(xi, zi, seed);
    const uint64_t p10 = cave_partial(xi + 1, zi, seed);
    const uint64_t p01 = cave_partial(xi, zi + 1, seed);
    const uint64_t p11 = cave_partial(xi + 1, zi + 1, seed);
    const float c00 = lerp(cave_lattice(p00, yi), cave_lattice(p10, yi), u);
    const float c10 = lerp(cave_lattice(p00, yi + 1), cave_lattice(p10, yi + 1), u);
    const float c01 = lerp(cave_lattice(p01, yi), cave_lattice(p11, yi), u);
    const float c11 = lerp(cave_lattice(p01, yi + 1), cave_lattice(p11, yi + 1), u);
    const float c0 = lerp(c00, c10, v);
    const float c1 = lerp(c01, c11, v);
    return lerp(c0, c1, w);
}

// ---------------------------------------------------------------- chunk generation
//
// A chunk evaluates the same formulas as the functions above, bit for bit, but
// shares the work between cells: the terrain heights come from one grid per
// chunk (neighbouring columns share eight of their nine samples), and the cave
// noise splits into per-axis floor and fade, per-column partial hashes and,
// per y lattice step, the four x-interpolated corner values.

namespace {

// Floor and fade of one coordinate at one cave scale.
struct AxisSample {
    int lattice;
    float fade;
};

struct CaveTables {
    AxisSample x[CAVE_FIELD_COUNT][CHUNK_SIZE];
    AxisSample y[CAVE_FIELD_COUNT][CHUNK_HEIGHT];
    AxisSample z[CAVE_FIELD_COUNT][CHUNK_SIZE];
};

}  // namespace

static void axis_samples(AxisSample* out, int count, int origin, float scale) {
    for (int i = 0; i < count; i++) {
        const float p = static_cast<float>(wrap_add(origin, i)) * scale;
        const int lattice = floor_to_int(p);
        out[i].lattice = lattice;
        out[i].fade = fade(p - static_cast<float>(lattice));
    }
}

static void cave_tables_fill(CaveTables* t, int x0, int y0, int z0) {
    for (int b = 0; b < CAVE_BAND_COUNT; b++) {
        for (int f = 0; f < CAVE_FIELDS_PER_BAND; f++) {
            const int k = b * CAVE_FIELDS_PER_BAND + f;
            const float scale = CAVE_BANDS[b].scales[f];
            axis_samples(t->x[k], CHUNK_SIZE, x0, scale);
            axis_samples(t->y[k], CHUNK_HEIGHT, y0, scale);
            axis_samples(t->z[k], CHUNK_SIZE, z0, scale);
        }
    }
}

// One cave field along one column, for local y in [y_lo, y_hi).
static void cave_field_column(float* out, const CaveTables* t, int k, int x, int z, uint64_t seed, int y_lo, int y_hi) {
    const AxisSample sx = t->x[k][x];
    const AxisSample sz = t->z[k][z];
    const uint64_t p00 = cave_partial(sx.lattice, sz.lattice, seed);
    const uint64_t p10 = cave_partial(sx.lattice + 1, sz.lattice, seed);
    const uint64_t p01 = cave_partial(sx.lattice, sz.lattice + 1, seed);
    const uint64_t p11 = cave_partial(sx.lattice + 1, sz.lattice + 1, seed);
    const float u = sx.fade;
    const float w = sz.fade;
    bool have_corners = false;
    int corners_yi = 0;
    float c00 = 0.0f, c10 = 0.0f, c01 = 0.0f, c11 = 0.0f;
    for (int y = y_lo; y < y_hi; y++) {
        const AxisSample sy = t->y[k][y];
        if (!have_corners || sy.lattice != corners_yi) {
            const int yi = sy.lattice;
            c00 = lerp(cave_lattice(p00, yi), cave_lattice(p10, yi), u);
            c10 = lerp(cave_lattice(p00, yi + 1), cave_lattice(p10, yi + 1), u);
            c01 = lerp(cave_lattice(p01, yi), cave_lattice(p11, yi), u);
            c11 = lerp(cave_lattice(p01, yi + 1), cave_lattice(p11, yi + 1), u);
            corners_yi = yi;
            have_corners = true;
        }
        const float c0 = lerp(c00, c10, sy.fade);
        const float c1 = lerp(c01, c11, sy.fade);
        out[y] = lerp(c0, c1, w);
    }
}

static int clamp_local_y(int64_t y) {
    return static_cast<int>(y < 0 ? 0 : (y > CHUNK_HEIGHT ? CHUNK_HEIGHT : y));
}

// Marks carved[y] for the cells of one band that lie below the surface (world
// y < h) and are carved out.
static void carve_band_column(bool* carved, const CaveTables* t, int band, int x, int z, int y0, int h, uint64_t seed) {
    const CaveBand& cb = CAVE_BANDS[band];
    const int64_t top = (cb.y_max < h - 1) ? cb.y_max : h - 1;
    const int64_t lo = int64_t{cb.y_min} - y0;
    const int64_t hi = top - y0 + 1;
    const int y_lo = clamp_local_y(lo);
    const int y_hi = clamp_local_y(hi);
    if (y_lo >= y_hi) {
        return;
    }
    float n[CAVE_FIELDS_PER_BAND][CHUNK_HEIGHT];
    for (int f = 0; f < CAVE_FIELDS_PER_BAND; f++) {
        const int k = band * CAVE_FIELDS_PER_BAND + f;
        cave_field_column(n[f], t, k, x, z, seed + cb.seed_offsets[f], y_lo, y_hi);
    }
    for (int y = y_lo; y < y_hi; y++) {
        const float sum = n[0][y] + CAVE_WEIGHT_1 * n[1][y] + CAVE_WEIGHT_2 * n[2][y];
        carved[y] = sum * CAVE_INV_DIVISOR < cb.threshold;
    }
}

static BlockType surface_block(int world_y, int h) {
    if (world_y == h - 1) {
        return BLOCK_GRASS;
    }
    if (world_y > h - 2 - TERRAIN_DIRT_DEPTH) {
        return BLOCK_DIRT;
    }
    return BLOCK_STONE;
}

static void generate_column(Chunk* chunk, const CaveTables* t, int x, int z, int h, uint64_t seed) {
    const int y0 = static_cast<int>(static_cast<uint32_t>(chunk->chunk_y) * CHUNK_HEIGHT);
    bool carved[CHUNK_HEIGHT] = {};
    for (int band = 0; band < CAVE_BAND_COUNT; band++) {
        carve_band_column(carved, t, band, x, z, y0, h, seed);
    }
    for (int y = 0; y < CHUNK_HEIGHT; y++) {
        const int world_y = wrap_add(y0, y);
        BlockType type = BLOCK_AIR;
        if (world_y == 0) {
            type = BLOCK_BEDROCK;
        } else if (world_y < h && !carved[y]) {
            type = surface_block(world_y, h);
        }
        chunk->blocks[y][z][x].type = type;
    }
}

static void fill_air(Chunk* chunk) {
    for (int y = 0; y < CHUNK_HEIGHT; y++) {
        for (int z = 0; z < CHUNK_SIZE; z++) {
            for (int x = 0; x < CHUNK_SIZE; x++) {
                chunk->blocks[y][z][x].type = BLOCK_AIR;
            }
        }
    }
}

// One octave of one height field along one axis of the height grid: per grid
// line the fade and the two lattice coordinates that perlin_noise would look
// up, the latter as indices into the ascending list of distinct coordinates.
namespace {

struct OctaveAxis {
    float fade[HEIGHT_GRID];
    int lo[HEIGHT_GRID];
    int hi[HEIGHT_GRID];
    int lattice[2 * HEIGHT_GRID];
    int count;
};

}  // namespace

static void octave_axis_fill(OctaveAxis* a, int origin, float scale, float frequency) {
    int raw[2 * HEIGHT_GRID] = {};
    for (int i = 0; i < HEIGHT_GRID; i++) {
        const float p = static_cast<float>(wrap_add(origin, i - 1)) * scale * frequency;
        const int cell = floor_to_int(p);
        a->fade[i] = fade(p - static_cast<float>(cell));
        // perlin_noise passes cell + 1 through a float; where that rounds
        // (beyond 2^24) p is an integer, the fade is 0 and the corner unused.
        raw[2 * i] = cell;
        raw[2 * i + 1] = cell + 1;
    }
    std::copy(raw, raw + 2 * HEIGHT_GRID, a->lattice);
    std::sort(a->lattice, a->lattice + 2 * HEIGHT_GRID);
    a->count = static_cast<int>(std::unique(a->lattice, a->lattice + 2 * HEIGHT_GRID) - a->lattice);
    const int* begin = a->lattice;
    const int* end = begin + a->count;
    for (int i = 0; i < HEIGHT_GRID; i++) {
        a->lo[i] = static_cast<int>(std::lower_bound(begin, end, raw[2 * i]) - begin);
        a->hi[i] = static_cast<int>(std::lower_bound(begin, end, raw[2 * i + 1]) - begin);
    }
}

// value += perlin_noise(...) * amplitude over the grid; every lattice value
// is hashed once and shared by the grid points around it.
static void octave_accumulate(float (*value)[HEIGHT_GRID], const OctaveAxis* ax, const OctaveAxis* az, uint64_t seed,
                              float amplitude) {
    float lattice[2 * HEIGHT_GRID][2 * HEIGHT_GRID];
    for (int a = 0; a < ax->count; a++) {
        for (int b = 0; b < az->count; b++) {
            lattice[a][b] = lattice_value(ax->lattice[a], az->lattice[b], seed);
        }
    }
    for (int i = 0; i < HEIGHT_GRID; i++) {
        const float* n0 = lattice[ax->lo[i]];
        const float* n1 = lattice[ax->hi[i]];
        const float u = ax->fade[i];
        for (int j = 0; j < HEIGHT_GRID; j++) {
            const float nx0 = lerp(n0[az->lo[j]], n1[az->lo[j]], u);
            const float nx1 = lerp(n0[az->hi[j]], n1[az->hi[j]], u);
            value[i][j] += lerp(nx0, nx1, az->fade[j]) * amplitude;
        }
    }
}

// terrain_height_seeded over the chunk's columns and their one-block border,
// [x][z], one field and one octave at a time.
static void height_grid_fill(float (*grid)[HEIGHT_GRID], int x0, int z0, uint64_t seed) {
    for (int i = 0; i < HEIGHT_GRID; i++) {
        for (int j = 0; j < HEIGHT_GRID; j++) {
            grid[i][j] = TERRAIN_BASE_HEIGHT;
        }
    }
    for (const HeightField& f : HEIGHT_FIELDS) {
        float value[HEIGHT_GRID][HEIGHT_GRID] = {};
        float amplitude = 1.0f;
        float frequency = 1.0f;
        float max_value = 0.0f;
        for (int o = 0; o < f.octaves; o++) {
            OctaveAxis ax = {};
            OctaveAxis az = {};
            octave_axis_fill(&ax, x0, f.scale, frequency);
            octave_axis_fill(&az, z0, f.scale, frequency);
            octave_accumulate(value, &ax, &az, seed + f.seed_offset + static_cast<uint64_t>(o), amplitude);
            max_value += amplitude;
            amplitude *= 0.5f;
            frequency *= 2.0f;
        }
        for (int i = 0; i < HEIGHT_GRID; i++) {
            for (int j = 0; j < HEIGHT_GRID; j++) {
                grid[i][j] += f.weight * (value[i][j] / max_value);
            }
        }
    }
    for (int i = 0; i < HEIGHT_GRID; i++) {
        for (int j = 0; j < HEIGHT_GRID; j++) {
            grid[i][j] = std::fmin(std::fmax(grid[i][j], TERRAIN_MIN_HEIGHT), TERRAIN_MAX_HEIGHT);
        }
    }
}

static int grid_smooth_height(const float (*grid)[HEIGHT_GRID], int x, int z) {
    float heights[9] = {};
    for (int dx = 0; dx < 3; dx++) {
        for (int dz = 0; dz < 3; dz++) {
            heights[dx * 3 + dz] = grid[x + dx][z + dz];
        }
    }
    return smooth_height_from(heights);
}

void world_generate_chunk(Chunk* chunk, uint64_t seed) {
    if (chunk == nullptr) {
        return;
    }
    // Nothing exists below y = 0, so no height or cave is needed there.
    if (chunk->chunk_y < 0) {
        fill_air(chunk);
        chunk->generated = true;
        return;
    }
    const int x0 = static_cast<int>(static_cast<uint32_t>(chunk->chunk_x) * CHUNK_SIZE);
    const int y0 = static_cast<int>(static_cast<uint32_t>(chunk->chunk_y) * CHUNK_HEIGHT);
    const int z0 = static_cast<int>(static_cast<uint32_t>(chunk->chunk_z) * CHUNK_SIZE);
    float grid[HEIGHT_GRID][HEIGHT_GRID] = {};
    CaveTables tables = {};
    height_grid_fill(grid, x0, z0, seed);
    cave_tables_fill(&tables, x0, y0, z0);
    for (int z = 0; z < CHUNK_SIZE; z++) {
        for (int x = 0; x < CHUNK_SIZE; x++) {
            generate_column(chunk, &tables, x, z, grid_smooth_height(grid, x, z), seed);
        }
    }
    chunk->generated = true;
}

void world_generate_prism(World* world) {
    if (world == nullptr) {
        return;
    }
    // The worker may already be serving jobs that look chunks up and read
    // their neighbours' blocks, so the append and the generation both happen
    // under the cache lock.
    pthread_mutex_lock(&world->cache_mutex);
    Chunk* chunk = world_load_or_create_chunk(world, 0, 0, 0);
    if (chunk != nullptr && !chunk->generated) {
        world_generate_chunk(chunk, world->seed);
        chunk->loaded = true;
        chunk->generated = true;
        worker_queue_chunk(world, chunk);
        chunk->modified = false;
    }
    pthread_mutex_unlock(&world->cache_mutex);
}

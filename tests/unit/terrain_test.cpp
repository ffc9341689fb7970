// Terrain: the noise functions and the chunk generator against a literal
// cell-by-cell evaluation of the terrain formulas, and world_generate_prism.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <memory>
#include <ostream>
#include <string>

#include "temp_world_fixture.h"
#include "world.h"

namespace {

// Each formula evaluated as written, once per cell and per column, with no
// sharing between cells. The generator must match it bit for bit.

uint64_t ref_hash(uint64_t x, uint64_t y, uint64_t seed) {
    uint64_t h = x ^ y ^ seed ^ (seed >> 32);
    h ^= h >> 33;
    h *= 0xFF51AFD7ED558CCDull;
    return h ^ (h >> 33);
}

// Lattice coordinates are floored and enter hashes sign-extended.
int ref_floor(float v) {
    return static_cast<int>(std::floor(v));
}
uint64_t ref_sext(int v) {
    return static_cast<uint64_t>(static_cast<int64_t>(v));
}
float ref_fade(float t) {
    return t * t * t * (t * (6.0f * t - 15.0f) + 10.0f);
}
float ref_lerp(float a, float b, float t) {
    return a * (1.0f - t) + b * t;
}

float ref_noise_value(float x, float z, uint64_t seed) {
    return static_cast<float>(ref_hash(ref_sext(ref_floor(x)), ref_sext(ref_floor(z)), seed) % 1000) * 0.002f - 1.0f;
}

float ref_perlin(float x, float z, uint64_t seed) {
    const int xi = ref_floor(x), zi = ref_floor(z);
    const float u = ref_fade(x - xi), v = ref_fade(z - zi);
    auto n = [&](int dx, int dz) {
        return ref_noise_value(static_cast<float>(xi + dx), static_cast<float>(zi + dz), seed);
    };
    return ref_lerp(ref_lerp(n(0, 0), n(1, 0), u), ref_lerp(n(0, 1), n(1, 1), u), v);
}

float ref_fbm(float x, float z, int octaves, uint64_t seed) {
    float value = 0.0f, amplitude = 1.0f, frequency = 1.0f, max_value = 0.0f;
    for (int i = 0; i < octaves; i++, amplitude *= 0.5f, frequency *= 2.0f) {
        value += ref_perlin(x * frequency, z * frequency, seed + i) * amplitude;
        max_value += amplitude;
    }
    return value / max_value;
}

float ref_terrain_height(float x, float z, uint64_t seed) {
    const struct {
        float weight, scale;
        int octaves, seed_offset;
    } fields[] = {{20.0f, 0.0008f, 5, 0},
                  {16.0f, 0.002f, 6, 1},
                  {10.0f, 0.008f, 5, 2},
                  {6.0f, 0.025f, 4, 50},
                  {1.0f, 0.06f, 3, 100}};
    float h = 100.0f;
    for (const auto& f : fields) h = h + f.weight * ref_fbm(x * f.scale, z * f.scale, f.octaves, seed + f.seed_offset);
    return std::min(std::max(h, 85.0f), 120.0f);
}

// A column that differs from all eight neighbours by more than 2 is pulled toward them.
int ref_smooth_height(int x, int z, uint64_t seed) {
    float center = ref_terrain_height(static_cast<float>(x), static_cast<float>(z), seed), sum = 0.0f;
    int isolated = 0;
    for (int dx = -1; dx <= 1; dx++)
        for (int dz = -1; dz <= 1; dz++) {
            if (dx == 0 && dz == 0) continue;
            const float h = ref_terrain_height(static_cast<float>(x + dx), static_cast<float>(z + dz), seed);
            isolated += std::fabs(h - center) > 2.0f;
            sum += h;
        }
    if (isolated == 8) center = center * 0.4f + sum / 8.0f * 0.6f;
    return static_cast<int>(center);
}

float ref_cave_noise(float x, float y, float z, uint64_t seed) {
    const int xi = ref_floor(x), yi = ref_floor(y), zi = ref_floor(z);
    const float u = ref_fade(x - xi), v = ref_fade(y - yi), w = ref_fade(z - zi);
    auto corner = [&](int i, int j, int k) {
        return static_cast<float>(ref_hash(ref_sext(i), ref_sext(j), seed + ref_sext(k)) % 1000) * 0.001f;
    };
    auto c = [&](int dy, int dz) {
        return ref_lerp(corner(xi, yi + dy, zi + dz), corner(xi + 1, yi + dy, zi + dz), u);
    };
    return ref_lerp(ref_lerp(c(0, 0), c(1, 0), v), ref_lerp(c(0, 1), c(1, 1), v), w);
}

// Two cave bands of three fields each, weighed 1, 0.7 and 0.42 and divided by 2.3.
bool ref_carved(int wx, int wy, int wz, uint64_t seed) {
    const bool lower = wy >= 15 && wy <= 39, upper = wy >= 40 && wy <= 84;
    if (!lower && !upper) return false;
    static const float band_scales[2][3] = {{0.03f, 0.1f, 0.25f}, {0.05f, 0.15f, 0.35f}};
    const float* scales = band_scales[upper];
    const uint64_t first = seed + (lower ? 5000 : 5010);
    const float fx = static_cast<float>(wx), fy = static_cast<float>(wy), fz = static_cast<float>(wz);
    float n[3];
    for (int i = 0; i < 3; i++) n[i] = ref_cave_noise(fx * scales[i], fy * scales[i], fz * scales[i], first + i);
    return (n[0] + 0.7f * n[1] + 0.42000002f * n[2]) * 0.43478262f < (lower ? 0.42f : 0.45f);
}

// blocks[y][z][x] of chunk (cx, cy, cz), evaluated cell by cell.
void ref_generate(BlockType (*out)[CHUNK_SIZE][CHUNK_SIZE], int cx, int cy, int cz, uint64_t seed) {
    for (int x = 0; x < CHUNK_SIZE; x++)
        for (int z = 0; z < CHUNK_SIZE; z++) {
            const int wx = cx * CHUNK_SIZE + x, wz = cz * CHUNK_SIZE + z, h = ref_smooth_height(wx, wz, seed);
            for (int y = 0, wy = cy * CHUNK_HEIGHT; y < CHUNK_HEIGHT; y++, wy++) {
                BlockType& b = out[y][z][x];
                if (cy < 0)
                    b = BLOCK_AIR;
                else if (wy == 0)
                    b = BLOCK_BEDROCK;
                else if (wy >= h || ref_carved(wx, wy, wz, seed))
                    b = BLOCK_AIR;
                else
                    b = wy == h - 1 ? BLOCK_GRASS : wy > h - 7 ? BLOCK_DIRT : BLOCK_STONE;
            }
        }
}

constexpr uint64_t HIGH_SEED = 0xDEADBEEFCAFEBABEull;

// The noise functions the spawn search uses equal their literal forms,
// also at lattice points, negative coordinates and seeds above 2^32.
TEST(TerrainNoise, MatchesLiteralFormulas) {
    const uint64_t big = 1ull << 32, hashes[][3] = {{0, 0, big}, {big + 1, 0, big}, {~0ull, ~0ull - 1, 7}};
    for (const auto& h : hashes) EXPECT_EQ(hash_seed(h[0], h[1], h[2]), ref_hash(h[0], h[1], h[2])) << h[0];
    for (int i = -50; i < 150; i++) {
        SCOPED_TRACE(i);
        const float x = i * 0.5f, z = i * -0.377f + 12.0f, cx = i * 0.613f - 20.0f, cy = i * 0.21f;
        EXPECT_EQ(perlin_noise(x, z, HIGH_SEED), ref_perlin(x, z, HIGH_SEED));
        EXPECT_EQ(fbm_noise(x, z, 2, 9), ref_fbm(x, z, 2, 9));
        EXPECT_EQ(cave_noise_3d(cx, cy, x, HIGH_SEED), ref_cave_noise(cx, cy, x, HIGH_SEED));
        const int hx = i * 977 - 30000, hz = i * -613 + 1000;
        const uint64_t seed = i < 50 ? HIGH_SEED : 12345;
        EXPECT_TRUE(i % 4 != 0 || smooth_terrain_height(hx, hz, seed) == ref_smooth_height(hx, hz, seed));
    }
}

struct RefCase {
    int cx, cy, cz;
    uint64_t seed;
};

void PrintTo(const RefCase& c, std::ostream* os) {
    *os << "chunk (" << c.cx << "," << c.cy << "," << c.cz << ") seed " << c.seed;
}

class TerrainGenerator : public ::testing::TestWithParam<RefCase> {};

// The record starts full of sand, so a cell the generator forgets to write is
// caught; generation sets `generated` and touches neither `modified` nor `loaded`.
TEST_P(TerrainGenerator, MatchesLiteralFormulasBitForBit) {
    const RefCase rc = GetParam();
    auto ref = std::make_unique<BlockType[][CHUNK_SIZE][CHUNK_SIZE]>(CHUNK_HEIGHT);
    ref_generate(ref.get(), rc.cx, rc.cy, rc.cz, rc.seed);
    ChunkPtr c(chunk_create(rc.cx, rc.cy, rc.cz));
    ASSERT_NE(c, nullptr);
    fill_chunk(c.get(), BLOCK_SAND);
    const bool modified = rc.cx % 2 != 0;
    c->modified = modified;
    world_generate_chunk(c.get(), rc.seed);
    int diffs = 0;
    for (int y = 0; y < CHUNK_HEIGHT; y++)
        for (int z = 0; z < CHUNK_SIZE; z++)
            for (int x = 0; x < CHUNK_SIZE; x++)
                if (c->blocks[y][z][x].type != ref[y][z][x] && diffs++ == 0)
                    ADD_FAILURE() << "first difference at local (" << x << "," << y << "," << z << "): got "
                                  << c->blocks[y][z][x].type << ", want " << ref[y][z][x];
    EXPECT_EQ(diffs, 0);
    EXPECT_TRUE(c->generated);
    EXPECT_EQ(c->modified.load(), modified);
    EXPECT_FALSE(c->loaded);
    world_generate_chunk(nullptr, rc.seed);
}

INSTANTIATE_TEST_SUITE_P(TerrainChunks, TerrainGenerator,
                         ::testing::Values(RefCase{0, 0, 0, 0}, RefCase{0, 1, 0, 0}, RefCase{3, 1, -2, 1234567},
                                           RefCase{-1, 0, -1, HIGH_SEED}, RefCase{-7, 1, 5, HIGH_SEED},
                                           RefCase{120, 1, -300, 0xFFFFFFFF00000000ull},
                                           RefCase{-4000, 0, 2500, 1733505600}, RefCase{2, 2, 2, 99},
                                           // Far out, where floats no longer hold every integer.
                                           RefCase{3000000, 1, -2900000, 31}, RefCase{-3100000, 0, 3000000, 31},
                                           RefCase{1, -1, 1, 99}, RefCase{4, -5, -4, HIGH_SEED}),
                         [](const ::testing::TestParamInfo<RefCase>& param) {
                             return "case" + std::to_string(param.index);
                         });

using TerrainPrism = TempWorldTest;

// The origin chunk is generated once, queued for light and mesh, and never
// regenerated: not when the worker has run, not once it has been edited.
TEST_F(TerrainPrism, GeneratesTheOriginChunkOnce) {
    world_generate_prism(nullptr);
    ChunkPtr expected(chunk_create(0, 0, 0));
    world_generate_chunk(expected.get(), HIGH_SEED);
    for (int round = 0; round < 3; round++) {
        world_->seed = HIGH_SEED + round;
        if (round == 2) world_chunk_set_block(get(0, 0, 0), 3, 20, 3, BLOCK_GLOWSTONE);
        world_generate_prism(world_);
        ASSERT_EQ(count(), 1);
        Chunk* c = get(0, 0, 0);
        ASSERT_NE(c, nullptr);
        EXPECT_TRUE(c->generated && c->loaded);
        EXPECT_EQ(c->modified, round == 2);
        EXPECT_EQ(c->blocks[20][3][3].type, round == 2 ? BLOCK_GLOWSTONE : expected->blocks[20][3][3].type);
        EXPECT_TRUE(round == 2 || memcmp(c->blocks, expected->blocks, sizeof c->blocks) == 0);
        EXPECT_TRUE(round == 0 || pending_jobs() == 0) << "round " << round;
        worker_flush_queue(world_);
        EXPECT_TRUE(c->meshed && !c->needs_relighting);
    }
}

}  // namespace

// Terrain: the noise functions and the chunk generator against a literal
// cell-by-cell evaluation of the terrain formulas, and world_generate_prism.
#include <gtest/gtest.h>

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
    h ^= h >> 33;
    return h;
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
    const int xi = static_cast<int>(std::floor(x));
    const int zi = static_cast<int>(std::floor(z));
    return static_cast<float>(ref_hash(ref_sext(xi), ref_sext(zi), seed) % 1000) * 0.002f - 1.0f;
}

float ref_perlin(float x, float z, uint64_t seed) {
    const int xi = static_cast<int>(std::floor(x));
    const int zi = static_cast<int>(std::floor(z));
    const float u = ref_fade(x - static_cast<float>(xi));
    const float v = ref_fade(z - static_cast<float>(zi));
    const float n00 = ref_noise_value(static_cast<float>(xi), static_cast<float>(zi), seed);
    const float n10 = ref_noise_value(static_cast<float>(xi + 1), static_cast<float>(zi), seed);
    const float n01 = ref_noise_value(static_cast<float>(xi), static_cast<float>(zi + 1), seed);
    const float n11 = ref_noise_value(static_cast<float>(xi + 1), static_cast<float>(zi + 1), seed);
    return ref_lerp(ref_lerp(n00, n10, u), ref_lerp(n01, n11, u), v);
}

float ref_fbm(float x, float z, int octaves, uint64_t seed) {
    float value = 0.0f, amplitude = 1.0f, frequency = 1.0f, max_value = 0.0f;
    for (int i = 0; i < octaves; i++) {
        value += ref_perlin(x * frequency, z * frequency, seed + i) * amplitude;
        max_value += amplitude;
        amplitude *= 0.5f;
        frequency *= 2.0f;
    }
    return value / max_value;
}

float ref_terrain_height(float x, float z, uint64_t seed) {
    float h = 100.0f + 20.0f * ref_fbm(x * 0.0008f, z * 0.0008f, 5, seed);
    h = h + 16.0f * ref_fbm(x * 0.002f, z * 0.002f, 6, seed + 1);
    h = h + 10.0f * ref_fbm(x * 0.008f, z * 0.008f, 5, seed + 2);
    h = h + 6.0f * ref_fbm(x * 0.025f, z * 0.025f, 4, seed + 50);
    h = h + ref_fbm(x * 0.06f, z * 0.06f, 3, seed + 100);
    if (h < 85.0f) h = 85.0f;
    if (h > 120.0f) h = 120.0f;
    return h;
}

int ref_smooth_height(int x, int z, uint64_t seed) {
    float heights[9];
    for (int dx = -1; dx <= 1; dx++) {
        for (int dz = -1; dz <= 1; dz++) {
            heights[(dx + 1) * 3 + (dz + 1)] =
                ref_terrain_height(static_cast<float>(x + dx), static_cast<float>(z + dz), seed);
        }
    }
    float center = heights[4];
    int isolated = 0;
    for (int i : {0, 1, 2, 3, 5, 6, 7, 8}) {
        if (std::fabs(heights[i] - center) > 2.0f) isolated++;
    }
    if (isolated == 8) {
        float sum = 0.0f;
        for (int i : {0, 1, 2, 3, 5, 6, 7, 8}) sum += heights[i];
        const float neighbor_avg = sum / 8.0f;
        center = center * 0.4f + neighbor_avg * 0.6f;
    }
    return static_cast<int>(center);
}

float ref_cave_corner(int i, int j, int k, uint64_t seed) {
    return static_cast<float>(ref_hash(ref_sext(i), ref_sext(j), seed + ref_sext(k)) % 1000) * 0.001f;
}

float ref_cave_noise(float x, float y, float z, uint64_t seed) {
    const int xi = static_cast<int>(std::floor(x));
    const int yi = static_cast<int>(std::floor(y));
    const int zi = static_cast<int>(std::floor(z));
    const float u = ref_fade(x - static_cast<float>(xi));
    const float v = ref_fade(y - static_cast<float>(yi));
    const float w = ref_fade(z - static_cast<float>(zi));
    const float c00 = ref_lerp(ref_cave_corner(xi, yi, zi, seed), ref_cave_corner(xi + 1, yi, zi, seed), u);
    const float c10 = ref_lerp(ref_cave_corner(xi, yi + 1, zi, seed), ref_cave_corner(xi + 1, yi + 1, zi, seed), u);
    const float c01 = ref_lerp(ref_cave_corner(xi, yi, zi + 1, seed), ref_cave_corner(xi + 1, yi, zi + 1, seed), u);
    const float c11 =
        ref_lerp(ref_cave_corner(xi, yi + 1, zi + 1, seed), ref_cave_corner(xi + 1, yi + 1, zi + 1, seed), u);
    return ref_lerp(ref_lerp(c00, c10, v), ref_lerp(c01, c11, v), w);
}

float ref_cave_value(float x, float y, float z, uint64_t seed, const float scales[3], uint64_t first_offset) {
    const float a = ref_cave_noise(x * scales[0], y * scales[0], z * scales[0], seed + first_offset);
    const float b = ref_cave_noise(x * scales[1], y * scales[1], z * scales[1], seed + first_offset + 1);
    const float c = ref_cave_noise(x * scales[2], y * scales[2], z * scales[2], seed + first_offset + 2);
    return (a + 0.7f * b + 0.42000002f * c) * 0.43478262f;
}

BlockType ref_block(int wx, int wy, int wz, int h, uint64_t seed) {
    static const float lower[3] = {0.03f, 0.1f, 0.25f};
    static const float upper[3] = {0.05f, 0.15f, 0.35f};
    const float fx = static_cast<float>(wx), fy = static_cast<float>(wy), fz = static_cast<float>(wz);
    if (wy == 0) return BLOCK_BEDROCK;
    if (wy >= h) return BLOCK_AIR;
    if (wy >= 15 && wy <= 39 && ref_cave_value(fx, fy, fz, seed, lower, 5000) < 0.42f) return BLOCK_AIR;
    if (wy >= 40 && wy <= 84 && ref_cave_value(fx, fy, fz, seed, upper, 5010) < 0.45f) return BLOCK_AIR;
    if (wy == h - 1) return BLOCK_GRASS;
    if (wy > h - 7 && wy < h - 1) return BLOCK_DIRT;
    return BLOCK_STONE;
}

// blocks[y][z][x] of chunk (cx, cy, cz), evaluated cell by cell.
void ref_generate(BlockType (*out)[CHUNK_SIZE][CHUNK_SIZE], int cx, int cy, int cz, uint64_t seed) {
    for (int x = 0; x < CHUNK_SIZE; x++) {
        for (int z = 0; z < CHUNK_SIZE; z++) {
            const int wx = cx * CHUNK_SIZE + x, wz = cz * CHUNK_SIZE + z;
            const int h = ref_smooth_height(wx, wz, seed);
            for (int y = 0; y < CHUNK_HEIGHT; y++) {
                out[y][z][x] = cy < 0 ? BLOCK_AIR : ref_block(wx, cy * CHUNK_HEIGHT + y, wz, h, seed);
            }
        }
    }
}

constexpr uint64_t HIGH_SEED = 0xDEADBEEFCAFEBABEull;

// Every public noise function equals its literal form, also at lattice points,
// negative coordinates and seeds above 2^32.
TEST(TerrainNoise, MatchesLiteralFormulas) {
    const uint64_t hashes[][3] = {{0, 0, 0},
                                  {1, 0, 0},
                                  {0, 1, 0},
                                  {5, 5, 0},
                                  {0, 0, 1ull << 32},
                                  {0x100000001ull, 0, 1ull << 32},
                                  {~0ull, ~0ull - 1, 7}};
    for (const auto& h : hashes) EXPECT_EQ(hash_seed(h[0], h[1], h[2]), ref_hash(h[0], h[1], h[2])) << h[0];
    const float lattice[][3] = {{0, 0, 0}, {0.75f, 0.25f, 0}, {1.5f, 0.5f, 0}, {-0.5f, 0, 7}, {-1, -2, 7}, {3, -5, 42}};
    for (const auto& p : lattice) {
        const uint64_t seed = static_cast<uint64_t>(p[2]);
        EXPECT_EQ(noise_value(p[0], p[1], seed), ref_noise_value(p[0], p[1], seed)) << p[0] << "," << p[1];
        EXPECT_EQ(perlin_noise(p[0], p[1], seed), ref_perlin(p[0], p[1], seed)) << p[0] << "," << p[1];
    }
    EXPECT_EQ(perlin_noise(3.5f, -5.0f, 42), ref_perlin(3.5f, -5.0f, 42));
    EXPECT_EQ(cave_noise_3d(2.0f, 3.0f, -4.0f, 100), ref_cave_noise(2.0f, 3.0f, -4.0f, 100));
    EXPECT_EQ(cave_noise_3d(0.0f, 0.0f, 0.0f, 0), 0.0f);
    for (int i = -50; i < 50; i++)
        EXPECT_EQ(noise_value(i * 3.7f, i * -1.3f, HIGH_SEED), ref_noise_value(i * 3.7f, i * -1.3f, HIGH_SEED)) << i;
    for (int i = 0; i < 200; i++) {
        const float x = i * 0.731f - 70.0f, z = i * -0.377f + 12.0f;
        EXPECT_EQ(perlin_noise(x, z, HIGH_SEED), ref_perlin(x, z, HIGH_SEED)) << x << "," << z;
    }
    for (int i = 0; i < 50; i++) {
        const float x = i * 1.37f - 30.0f, z = i * 0.91f - 9.0f;
        EXPECT_EQ(fbm_noise(x, z, 1, 9), ref_fbm(x, z, 1, 9)) << x << "," << z;
        EXPECT_EQ(fbm_noise(x, z, 2, 9), ref_fbm(x, z, 2, 9)) << x << "," << z;
        EXPECT_EQ(fbm_noise(x, z, 6, HIGH_SEED), ref_fbm(x, z, 6, HIGH_SEED)) << x << "," << z;
    }
    for (int i = 0; i < 300; i++) {
        const float x = i * 0.613f - 90.0f, y = i * 0.21f, z = i * -0.437f + 5.0f;
        EXPECT_EQ(cave_noise_3d(x, y, z, HIGH_SEED), ref_cave_noise(x, y, z, HIGH_SEED)) << x << "," << y << "," << z;
    }
    for (int i = 0; i < 60; i++) {
        const int x = i * 977 - 30000, z = i * -613 + 1000;
        const float fx = static_cast<float>(x), fz = static_cast<float>(z);
        EXPECT_EQ(terrain_height_seeded(fx, fz, HIGH_SEED), ref_terrain_height(fx, fz, HIGH_SEED)) << x << "," << z;
        EXPECT_EQ(smooth_terrain_height(x, z, 12345), ref_smooth_height(x, z, 12345)) << x << "," << z;
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
    world_->seed = HIGH_SEED;
    world_generate_prism(world_);
    ASSERT_EQ(count(), 1);
    Chunk* c = get(0, 0, 0);
    ASSERT_NE(c, nullptr);
    EXPECT_TRUE(c->generated && c->loaded);
    EXPECT_FALSE(c->modified);
    ChunkPtr expected(chunk_create(0, 0, 0));
    world_generate_chunk(expected.get(), HIGH_SEED);
    EXPECT_EQ(memcmp(c->blocks, expected->blocks, sizeof c->blocks), 0);
    worker_flush_queue(world_);
    ASSERT_EQ(pending_jobs(), 0);
    EXPECT_TRUE(c->meshed);
    EXPECT_FALSE(c->needs_relighting);

    world_->seed = HIGH_SEED + 1;
    world_generate_prism(world_);
    EXPECT_EQ(pending_jobs(), 0);
    EXPECT_EQ(count(), 1);
    EXPECT_EQ(get(0, 0, 0), c);
    EXPECT_EQ(memcmp(c->blocks, expected->blocks, sizeof c->blocks), 0);
    EXPECT_FALSE(c->modified);

    world_chunk_set_block(c, 3, 20, 3, BLOCK_GLOWSTONE);
    world_generate_prism(world_);
    EXPECT_EQ(c->blocks[20][3][3].type, BLOCK_GLOWSTONE);
    EXPECT_TRUE(c->modified);
    EXPECT_EQ(pending_jobs(), 0);
}

}  // namespace

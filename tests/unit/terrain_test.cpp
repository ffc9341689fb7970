// The noise functions and the chunk generator against the terrain formulas evaluated literally, and the prism.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <memory>

#include "player.h"
#include "temp_world_fixture.h"
#include "world.h"

namespace {

// Each formula as written, cell by cell with nothing shared; the generator must match it bit for bit.

uint64_t ref_hash(uint64_t x, uint64_t y, uint64_t seed) {
    uint64_t h = x ^ y ^ seed ^ (seed >> 32);
    h ^= h >> 33;
    h *= 0xFF51AFD7ED558CCDull;
    return h ^ (h >> 33);
}

const auto ref_floor = [](float v) { return static_cast<int>(std::floor(v)); };
const auto ref_sext = [](int v) { return static_cast<uint64_t>(static_cast<int64_t>(v)); };
const auto ref_fade = [](float t) { return t * t * t * (t * (6.0f * t - 15.0f) + 10.0f); };
const auto ref_lerp = [](float a, float b, float t) { return a * (1.0f - t) + b * t; };

float ref_perlin(float x, float z, uint64_t seed) {
    const int xi = ref_floor(x), zi = ref_floor(z);
    const float u = ref_fade(x - xi), v = ref_fade(z - zi);
    auto n = [&](int dx, int dz) {  // the lattice point goes through a float before it is floored
        const uint64_t h = ref_hash(ref_sext(ref_floor(static_cast<float>(xi + dx))),
                                    ref_sext(ref_floor(static_cast<float>(zi + dz))), seed);
        return static_cast<float>(h % 1000) * 0.002f - 1.0f;
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
    const float weights[] = {20.0f, 16.0f, 10.0f, 6.0f, 1.0f}, scales[] = {0.0008f, 0.002f, 0.008f, 0.025f, 0.06f};
    const int octaves[] = {5, 6, 5, 4, 3}, seed_offsets[] = {0, 1, 2, 50, 100};
    float h = 100.0f;
    for (int i = 0; i < 5; i++)
        h = h + weights[i] * ref_fbm(x * scales[i], z * scales[i], octaves[i], seed + seed_offsets[i]);
    return std::min(std::max(h, 85.0f), 120.0f);
}

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

void ref_generate(BlockType (*out)[CHUNK_SIZE][CHUNK_SIZE], int cx, int cy, int cz, uint64_t seed) {
    for (int x = 0; x < CHUNK_SIZE; x++)
        for (int z = 0; z < CHUNK_SIZE; z++) {
            const int wx = cx * CHUNK_SIZE + x, wz = cz * CHUNK_SIZE + z, h = ref_smooth_height(wx, wz, seed);
            for (int y = 0, wy = cy * CHUNK_HEIGHT; y < CHUNK_HEIGHT; y++, wy++) {
                const bool air = cy < 0 || (wy > 0 && (wy >= h || ref_carved(wx, wy, wz, seed)));
                const BlockType solid = wy == h - 1 ? BLOCK_GRASS : wy > h - 7 ? BLOCK_DIRT : BLOCK_STONE;
                out[y][z][x] = air ? BLOCK_AIR : wy == 0 ? BLOCK_BEDROCK : solid;
            }
        }
}

constexpr uint64_t HIGH_SEED = 0xDEADBEEFCAFEBABEull;

TEST(TerrainGenerator, NoiseHeightsAndChunksMatchLiteralFormulasBitForBit) {
    // Cave noise, column heights and the start height atop the four columns under the body, also at seeds above 2^32.
    for (int i = -50; i < 150; i++) {
        const float x = i * 0.5f, cx = i * 0.613f - 20.0f, cy = i * 0.21f;
        EXPECT_EQ(cave_noise_3d(cx, cy, x, HIGH_SEED), ref_cave_noise(cx, cy, x, HIGH_SEED)) << i;
        const int hx = i * 977 - 30000, hz = i * -613 + 1000;
        const uint64_t seed = i < 50 ? HIGH_SEED : 12345;
        EXPECT_EQ(smooth_terrain_height(hx, hz, seed), ref_smooth_height(hx, hz, seed)) << i;
        int highest = 0;
        for (int dx = -1; dx <= 0; dx++)
            for (int dz = -1; dz <= 0; dz++) highest = std::max(highest, ref_smooth_height(hx + dx, hz + dz, seed));
        const float standing = static_cast<float>(highest) + PLAYER_HALF_HEIGHT + PLAYER_SPAWN_MARGIN;
        EXPECT_EQ(player_safe_spawn_y(hx, 105.0f, hz, seed), std::max(105.0f, standing)) << i;
    }
    // Chunks full of sand, so a forgotten cell shows, both sides of zero, off the ground, and beyond exact floats.
    const int xs[] = {0, 0, 3, -1, -7, 2, 1, 120, -4000, 3000000, -3100000}, ys[] = {0, 1, 1, 0, 1, 2, -1, 1, 0, 1, 0},
              zs[] = {0, 0, -2, -1, 5, 2, 1, -300, 2500, -2900000, 3000000};
    const uint64_t seeds[] = {0, 0, 1234567, HIGH_SEED, HIGH_SEED, 99, 99, 0xFFFFFFFF00000000ull, 1733505600, 31, 31};
    auto ref = std::make_unique<BlockType[][CHUNK_SIZE][CHUNK_SIZE]>(CHUNK_HEIGHT);
    for (int i = 0; i < 11; i++) {
        SCOPED_TRACE(testing::Message() << "chunk " << xs[i] << "," << ys[i] << "," << zs[i] << " seed " << seeds[i]);
        ref_generate(ref.get(), xs[i], ys[i], zs[i], seeds[i]);
        ChunkPtr c(chunk_create(xs[i], ys[i], zs[i]));
        fill_chunk(c.get(), BLOCK_SAND);
        c->modified = i % 2 != 0;
        world_generate_chunk(c.get(), seeds[i]);
        for (int y = 0; y < CHUNK_HEIGHT; y++)
            for (int z = 0; z < CHUNK_SIZE; z++)
                for (int x = 0; x < CHUNK_SIZE; x++)
                    ASSERT_EQ(c->blocks[y][z][x].type, ref[y][z][x]) << "local " << x << "," << y << "," << z;
        EXPECT_TRUE(c->generated && !c->loaded && c->modified == (i % 2 != 0));
    }
    world_generate_chunk(nullptr, 0);
}

using TerrainPrism = TempWorldTest;

// The origin chunk is generated once and queued for light and mesh; neither a new seed nor an edit regenerates it.
TEST_F(TerrainPrism, GeneratesTheOriginChunkOnce) {
    world_generate_prism(nullptr);
    ChunkPtr expected(chunk_create(0, 0, 0));
    world_generate_chunk(expected.get(), HIGH_SEED);
    for (int round = 0; round < 3; round++) {
        world_->seed = HIGH_SEED + round;
        if (round == 2)
            world_chunk_set_block(get(0, 0, 0), 3, 20, 3, expected->blocks[20][3][3].type = BLOCK_GLOWSTONE);
        world_generate_prism(world_);
        Chunk* c = get(0, 0, 0);
        ASSERT_TRUE(count() == 1 && c && c->generated && c->loaded) << round;
        EXPECT_EQ(c->modified, round == 2) << round;
        EXPECT_EQ(memcmp(c->blocks, expected->blocks, sizeof c->blocks), 0) << round;
        EXPECT_TRUE(round == 0 || pending_jobs() == 0) << round;
        worker_flush_queue(world_);
        EXPECT_TRUE(c->meshed && !c->needs_relighting) << round;
    }
}

}  // namespace

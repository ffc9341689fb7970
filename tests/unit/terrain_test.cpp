// Terrain: noise values worked out by hand, the chunk generator against a
// literal cell-by-cell evaluation of the terrain formulas, terrain invariants
// and world_generate_prism.
#include <gtest/gtest.h>
#include <pthread.h>
#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <ostream>
#include <string>

#include "world.h"

namespace {

// ------------------------------------------------------------ literal reference
//
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

// ------------------------------------------------------------ helpers

struct ChunkDeleter {
    void operator()(Chunk* c) const {
        pthread_mutex_destroy(&c->light_swap_mutex);
        pthread_mutex_destroy(&c->mesh_swap_mutex);
        pthread_mutex_destroy(&c->mutex);
        delete c;
    }
};
using ChunkPtr = std::unique_ptr<Chunk, ChunkDeleter>;

ChunkPtr make_chunk(int cx, int cy, int cz) {
    ChunkPtr c(new Chunk());
    world_chunk_init(c.get(), cx, cy, cz);
    return c;
}

ChunkPtr generated_chunk(int cx, int cy, int cz, uint64_t seed) {
    ChunkPtr c = make_chunk(cx, cy, cz);
    world_generate_chunk(c.get(), seed);
    return c;
}

int count_differences(const Chunk& c, const BlockType (*ref)[CHUNK_SIZE][CHUNK_SIZE], std::string* first) {
    int diffs = 0;
    for (int y = 0; y < CHUNK_HEIGHT; y++) {
        for (int z = 0; z < CHUNK_SIZE; z++) {
            for (int x = 0; x < CHUNK_SIZE; x++) {
                if (c.blocks[y][z][x].type == ref[y][z][x]) continue;
                if (diffs++ == 0) {
                    *first = "local (" + std::to_string(x) + "," + std::to_string(y) + "," + std::to_string(z) +
                             ") got " + std::to_string(c.blocks[y][z][x].type) + " want " +
                             std::to_string(ref[y][z][x]);
                }
            }
        }
    }
    return diffs;
}

bool same_blocks(const Chunk& a, const Chunk& b) {
    return std::memcmp(a.blocks, b.blocks, sizeof a.blocks) == 0;
}

constexpr uint64_t HIGH_SEED = 0xDEADBEEFCAFEBABEull;

// ------------------------------------------------------------ noise by hand

TEST(TerrainNoise, HashValuesWorkedByHand) {
    // Every step maps 0 to 0.
    EXPECT_EQ(hash_seed(0, 0, 0), 0u);
    // h = 1; 1 >> 33 = 0; 1 * C = C = 0xFF51AFD7ED558CCD;
    // C >> 33 = 0x7FA8D7EB; 0xED558CCD ^ 0x7FA8D7EB = 0x92FD5B26.
    EXPECT_EQ(hash_seed(1, 0, 0), 0xFF51AFD792FD5B26ull);
    // x and y enter by XOR, so they commute and cancel.
    EXPECT_EQ(hash_seed(0, 1, 0), 0xFF51AFD792FD5B26ull);
    EXPECT_EQ(hash_seed(5, 5, 0), 0u);
    // seed = 2^32: seed ^ (seed >> 32) = 0x100000001; >> 33 gives 0;
    // times C = C + (C << 32) = 0xECA73CA4ED558CCD (mod 2^64);
    // >> 33 = 0x76539E52; 0xED558CCD ^ 0x76539E52 = 0x9B06129F.
    EXPECT_EQ(hash_seed(0, 0, 1ull << 32), 0xECA73CA49B06129Full);
    // The folded seed bits cancel a matching x.
    EXPECT_EQ(hash_seed(0x100000001ull, 0, 1ull << 32), 0u);
}

TEST(TerrainNoise, LatticeValues) {
    // hash 0 gives 0 * 0.002 - 1 anywhere in the unit cell of the origin.
    EXPECT_EQ(noise_value(0.0f, 0.0f, 0), -1.0f);
    EXPECT_EQ(noise_value(0.75f, 0.25f, 0), -1.0f);
    // 0xFF51AFD792FD5B26 = 18397679293204093734, which is 734 mod 1000, so the
    // value is 734 * 0.002 - 1 in single precision.
    EXPECT_EQ(hash_seed(1, 0, 0) % 1000, 734u);
    EXPECT_EQ(noise_value(1.5f, 0.5f, 0), 734.0f * 0.002f - 1.0f);
    // Negative lattice coordinates are floored and sign-extended.
    const uint64_t minus_one = ~0ull;
    EXPECT_EQ(noise_value(-0.5f, 0.0f, 7), static_cast<float>(hash_seed(minus_one, 0, 7) % 1000) * 0.002f - 1.0f);
    EXPECT_EQ(noise_value(-1.0f, -2.0f, 7),
              static_cast<float>(hash_seed(minus_one, minus_one - 1, 7) % 1000) * 0.002f - 1.0f);
    for (int i = -50; i < 50; i++) {
        const float n = noise_value(i * 3.7f, i * -1.3f, HIGH_SEED);
        EXPECT_GE(n, -1.0f);
        EXPECT_LE(n, 0.998f);
    }
}

TEST(TerrainNoise, PerlinInterpolatesLatticeValues) {
    // At a lattice point the fade is 0, so the value is the lattice value itself.
    EXPECT_EQ(perlin_noise(3.0f, -5.0f, 42), noise_value(3.0f, -5.0f, 42));
    // Halfway along x between two lattice points the fade is exactly 0.5.
    const float a = noise_value(3.0f, -5.0f, 42), b = noise_value(4.0f, -5.0f, 42);
    EXPECT_EQ(perlin_noise(3.5f, -5.0f, 42), a * 0.5f + b * 0.5f);
    for (int i = 0; i < 200; i++) {
        const float x = i * 0.731f - 70.0f, z = i * -0.377f + 12.0f;
        EXPECT_EQ(perlin_noise(x, z, HIGH_SEED), ref_perlin(x, z, HIGH_SEED)) << x << "," << z;
    }
}

TEST(TerrainNoise, FbmOctaves) {
    for (int i = 0; i < 50; i++) {
        const float x = i * 1.37f - 30.0f, z = i * 0.91f - 9.0f;
        EXPECT_EQ(fbm_noise(x, z, 1, 9), perlin_noise(x, z, 9));
        // Octave two: double frequency, half amplitude, next seed; max_value 1.5.
        const float two = (perlin_noise(x, z, 9) + perlin_noise(x * 2.0f, z * 2.0f, 10) * 0.5f) / 1.5f;
        EXPECT_EQ(fbm_noise(x, z, 2, 9), two);
        EXPECT_EQ(fbm_noise(x, z, 6, HIGH_SEED), ref_fbm(x, z, 6, HIGH_SEED));
    }
}

TEST(TerrainNoise, CaveNoiseLatticeAndRange) {
    // At a lattice point: (hash(i, j, seed + k) mod 1000) * 0.001, k added to the seed.
    EXPECT_EQ(cave_noise_3d(2.0f, 3.0f, -4.0f, 100), static_cast<float>(hash_seed(2, 3, 96) % 1000) * 0.001f);
    EXPECT_EQ(cave_noise_3d(0.0f, 0.0f, 0.0f, 0), 0.0f);
    for (int i = 0; i < 300; i++) {
        const float x = i * 0.613f - 90.0f, y = i * 0.21f, z = i * -0.437f + 5.0f;
        const float n = cave_noise_3d(x, y, z, HIGH_SEED);
        EXPECT_EQ(n, ref_cave_noise(x, y, z, HIGH_SEED));
        EXPECT_GE(n, 0.0f);
        EXPECT_LE(n, 0.999f);
    }
}

TEST(TerrainNoise, HeightsMatchFormulaAndStayInRange) {
    for (int i = 0; i < 60; i++) {
        const int x = i * 977 - 30000, z = i * -613 + 1000;
        const float h = terrain_height_seeded(static_cast<float>(x), static_cast<float>(z), HIGH_SEED);
        EXPECT_EQ(h, ref_terrain_height(static_cast<float>(x), static_cast<float>(z), HIGH_SEED));
        EXPECT_GE(h, 85.0f);
        EXPECT_LE(h, 120.0f);
        const int s = smooth_terrain_height(x, z, 12345);
        EXPECT_EQ(s, ref_smooth_height(x, z, 12345));
        EXPECT_GE(s, 85);
        EXPECT_LE(s, 120);
    }
}

// ------------------------------------------------------------ generator vs reference

struct RefCase {
    int cx, cy, cz;
    uint64_t seed;
};

void PrintTo(const RefCase& c, std::ostream* os) {
    *os << "chunk (" << c.cx << "," << c.cy << "," << c.cz << ") seed " << c.seed;
}

class TerrainGenerator : public ::testing::TestWithParam<RefCase> {};

TEST_P(TerrainGenerator, MatchesLiteralFormulasBitForBit) {
    const RefCase rc = GetParam();
    auto ref = std::make_unique<BlockType[][CHUNK_SIZE][CHUNK_SIZE]>(CHUNK_HEIGHT);
    ref_generate(ref.get(), rc.cx, rc.cy, rc.cz, rc.seed);
    ChunkPtr c = generated_chunk(rc.cx, rc.cy, rc.cz, rc.seed);
    std::string first;
    EXPECT_EQ(count_differences(*c, ref.get(), &first), 0) << "first difference: " << first;
    EXPECT_TRUE(c->generated);
}

INSTANTIATE_TEST_SUITE_P(TerrainChunks, TerrainGenerator,
                         ::testing::Values(RefCase{0, 0, 0, 0}, RefCase{0, 1, 0, 0}, RefCase{3, 1, -2, 1234567},
                                           RefCase{-1, 0, -1, HIGH_SEED}, RefCase{-7, 1, 5, HIGH_SEED},
                                           RefCase{120, 1, -300, 0xFFFFFFFF00000000ull},
                                           RefCase{-4000, 0, 2500, 1733505600}, RefCase{2, 2, 2, 99},
                                           // Far out, where floats no longer hold every integer.
                                           RefCase{3000000, 1, -2900000, 31}, RefCase{-3100000, 0, 3000000, 31},
                                           RefCase{1, -1, 1, 99}),
                         [](const ::testing::TestParamInfo<RefCase>& param) {
                             return "case" + std::to_string(param.index);
                         });

// ------------------------------------------------------------ invariants

TEST(TerrainInvariants, GroundLayerHasBedrockAndSolidFloor) {
    for (const RefCase& rc : {RefCase{0, 0, 0, 1}, RefCase{-3, 0, 8, HIGH_SEED}, RefCase{50, 0, -50, 77}}) {
        ChunkPtr c = generated_chunk(rc.cx, 0, rc.cz, rc.seed);
        for (int z = 0; z < CHUNK_SIZE; z++) {
            for (int x = 0; x < CHUNK_SIZE; x++) {
                ASSERT_EQ(c->blocks[0][z][x].type, BLOCK_BEDROCK) << x << "," << z;
                for (int y = 1; y <= 14; y++) {
                    ASSERT_EQ(c->blocks[y][z][x].type, BLOCK_STONE) << x << "," << y << "," << z;
                }
            }
        }
    }
}

// Above the upper cave band the column is exactly grass, five dirt, stone
// up to the smoothed height, and air from it up.
void expect_surface_column(const Chunk& c, int x, int z, uint64_t seed) {
    const int wx = c.chunk_x * CHUNK_SIZE + x, wz = c.chunk_z * CHUNK_SIZE + z;
    const int h = smooth_terrain_height(wx, wz, seed);
    ASSERT_GE(h, 85);
    ASSERT_LE(h, 120);
    for (int y = 0; y < CHUNK_HEIGHT; y++) {
        const int wy = c.chunk_y * CHUNK_HEIGHT + y;
        const BlockType got = c.blocks[y][z][x].type;
        BlockType want = BLOCK_STONE;
        if (wy >= h) {
            want = BLOCK_AIR;
        } else if (wy == h - 1) {
            want = BLOCK_GRASS;
        } else if (wy >= h - 6) {
            want = BLOCK_DIRT;
        }
        if (wy <= 84 && got == BLOCK_AIR) {
            continue;  // cave
        }
        ASSERT_EQ(got, want) << "column " << wx << "," << wz << " y " << wy << " h " << h;
    }
}

TEST(TerrainInvariants, SurfaceLayerShape) {
    for (const RefCase& rc : {RefCase{0, 1, 0, 1}, RefCase{-3, 1, 8, HIGH_SEED}, RefCase{700, 1, -50, 77}}) {
        ChunkPtr c = generated_chunk(rc.cx, 1, rc.cz, rc.seed);
        for (int z = 0; z < CHUNK_SIZE; z++) {
            for (int x = 0; x < CHUNK_SIZE; x++) {
                expect_surface_column(*c, x, z, rc.seed);
                // Nothing solid at y = 120 and up, whatever the height.
                for (int y = 120 - CHUNK_HEIGHT; y < CHUNK_HEIGHT; y++) {
                    ASSERT_EQ(c->blocks[y][z][x].type, BLOCK_AIR);
                }
            }
        }
    }
}

TEST(TerrainInvariants, LayersAboveAndBelowAreAirAndEveryCellIsWritten) {
    for (int cy : {-1, -5, 2, 3}) {
        ChunkPtr c = make_chunk(4, cy, -4);
        for (int y = 0; y < CHUNK_HEIGHT; y++) {
            for (int z = 0; z < CHUNK_SIZE; z++) {
                for (int x = 0; x < CHUNK_SIZE; x++) c->blocks[y][z][x].type = BLOCK_SAND;
            }
        }
        world_generate_chunk(c.get(), HIGH_SEED);
        EXPECT_TRUE(c->generated);
        ChunkPtr air = make_chunk(4, cy, -4);
        EXPECT_TRUE(same_blocks(*c, *air)) << "chunk_y " << cy;
    }
}

TEST(TerrainInvariants, GenerationIsPureAndOrderFree) {
    ChunkPtr a1 = generated_chunk(-2, 1, 3, HIGH_SEED);
    ChunkPtr b1 = generated_chunk(5, 0, -1, HIGH_SEED);
    ChunkPtr other = generated_chunk(-2, 1, 3, HIGH_SEED + 1);
    ChunkPtr b2 = generated_chunk(5, 0, -1, HIGH_SEED);
    ChunkPtr a2 = generated_chunk(-2, 1, 3, HIGH_SEED);
    EXPECT_TRUE(same_blocks(*a1, *a2));
    EXPECT_TRUE(same_blocks(*b1, *b2));
    EXPECT_FALSE(same_blocks(*a1, *other));
    // Regenerating over existing terrain gives the same blocks again.
    world_generate_chunk(a2.get(), HIGH_SEED);
    EXPECT_TRUE(same_blocks(*a1, *a2));
}

TEST(TerrainInvariants, GenerationLeavesModifiedAndLoadedAlone) {
    for (bool modified : {false, true}) {
        ChunkPtr c = make_chunk(0, 1, 0);
        c->modified = modified;
        world_generate_chunk(c.get(), 5);
        EXPECT_EQ(c->modified.load(), modified);
        EXPECT_FALSE(c->loaded);
        EXPECT_TRUE(c->generated);
    }
    world_generate_chunk(nullptr, 5);
}

// ------------------------------------------------------------ world_generate_prism

// world_create reads chunk files relative to the working directory, so each
// test runs in a fresh empty directory.
class TerrainPrism : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(getcwd(old_cwd_, sizeof old_cwd_), nullptr);
        char tmpl[] = "/tmp/qvox_terrain_XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir_ = tmpl;
        ASSERT_EQ(chdir(dir_.c_str()), 0);
        world_ = world_create();
        ASSERT_NE(world_, nullptr);
        world_->seed = HIGH_SEED;
    }

    void TearDown() override {
        world_free(world_);
        EXPECT_EQ(chdir(old_cwd_), 0);
        EXPECT_EQ(std::system(("rm -rf '" + dir_ + "'").c_str()), 0);
    }

    int pending_jobs() {
        pthread_mutex_lock(&world_->worker_queue.mutex);
        const int n = world_->worker_queue.count + world_->worker_queue.jobs_in_progress;
        pthread_mutex_unlock(&world_->worker_queue.mutex);
        return n;
    }

    char old_cwd_[4096] = {};
    std::string dir_;
    World* world_ = nullptr;
};

TEST_F(TerrainPrism, GeneratesOriginChunkOnce) {
    world_generate_prism(world_);
    ASSERT_EQ(world_->chunk_cache.chunk_count, 1);
    Chunk* c = world_get_chunk(world_, 0, 0, 0);
    ASSERT_NE(c, nullptr);
    EXPECT_TRUE(c->generated);
    EXPECT_TRUE(c->loaded);
    EXPECT_FALSE(c->modified);
    ChunkPtr expected = generated_chunk(0, 0, 0, HIGH_SEED);
    EXPECT_TRUE(same_blocks(*c, *expected));

    // The lighting-and-mesh job it queued has run.
    worker_flush_queue(world_);
    ASSERT_EQ(pending_jobs(), 0);
    EXPECT_TRUE(c->meshed);
    EXPECT_FALSE(c->needs_relighting);
    // The worker may not touch anything that would make the second call act.
    world_->seed = HIGH_SEED + 1;
    world_generate_prism(world_);
    EXPECT_EQ(pending_jobs(), 0);
    EXPECT_EQ(world_->chunk_cache.chunk_count, 1);
    EXPECT_EQ(world_get_chunk(world_, 0, 0, 0), c);
    EXPECT_TRUE(same_blocks(*c, *expected));
    EXPECT_FALSE(c->modified);
}

TEST_F(TerrainPrism, KeepsEditedOriginChunk) {
    Chunk* c = world_load_or_create_chunk(world_, 0, 0, 0);
    ASSERT_NE(c, nullptr);
    world_generate_chunk(c, world_->seed);
    c->generated = true;
    world_chunk_set_block(c, 3, 20, 3, BLOCK_GLOWSTONE);
    world_generate_prism(world_);
    EXPECT_EQ(c->blocks[20][3][3].type, BLOCK_GLOWSTONE);
    EXPECT_TRUE(c->modified);
    EXPECT_EQ(pending_jobs(), 0);
}

TEST(TerrainPrismNull, NullWorldDoesNothing) {
    world_generate_prism(nullptr);
}

}  // namespace

// Sky light and block light: flood-fill shape, shading, queue limit, height
// limits, reads by world coordinates, and agreement of the cached column scan
// with a block-by-block reference.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "temp_world_fixture.h"
#include "world.h"

namespace {

typedef uint8_t Field[CHUNK_HEIGHT][CHUNK_SIZE][CHUNK_SIZE];

class LightingTest : public TempWorldTest {
protected:
    // What the worker does for one relight.
    void relight(Chunk* chunk) {
        const int target = 1 - chunk->active_light_buffer;
        calculate_chunk_skylight(chunk, world_, target);
        calculate_chunk_blocklight(chunk, world_, target);
        pthread_mutex_lock(&chunk->light_swap_mutex);
        chunk->active_light_buffer = target;
        pthread_mutex_unlock(&chunk->light_swap_mutex);
    }

    static void fill(Chunk* chunk, BlockType type) {
        for (int y = 0; y < CHUNK_HEIGHT; y++)
            for (int z = 0; z < CHUNK_SIZE; z++)
                for (int x = 0; x < CHUNK_SIZE; x++) chunk->blocks[y][z][x].type = type;
    }

    static const Field& sky(const Chunk* chunk) { return chunk->skylight[chunk->active_light_buffer]; }
    static const Field& block(const Chunk* chunk) { return chunk->blocklight[chunk->active_light_buffer]; }
};

int manhattan(int x, int y, int z, int gx, int gy, int gz) {
    return abs(x - gx) + abs(y - gy) + abs(z - gz);
}

// ---------------------------------------------------------------- block light

using LightingBlock = LightingTest;

// The diamond must hold both in air and in cells of an unknown type, which
// block light passes like air (opacity 0).
TEST_F(LightingBlock, SingleGlowstoneGivesDiamondClippedByChunkFaces) {
    for (BlockType filler : {BLOCK_AIR, static_cast<BlockType>(9)}) {
        Chunk* chunk = add_chunk(0, 0, 0);
        Chunk* east = add_chunk(1, 0, 0);
        ASSERT_NE(chunk, nullptr);
        ASSERT_NE(east, nullptr);
        fill(chunk, filler);
        const int gx = 30, gy = 30, gz = 1;
        chunk->blocks[gy][gz][gx].type = BLOCK_GLOWSTONE;
        relight(chunk);
        relight(east);
        int wrong = 0;
        for (int y = 0; y < CHUNK_HEIGHT; y++)
            for (int z = 0; z < CHUNK_SIZE; z++)
                for (int x = 0; x < CHUNK_SIZE; x++) {
                    const int expected = std::max(0, 15 - manhattan(x, y, z, gx, gy, gz));
                    if (block(chunk)[y][z][x] != expected) wrong++;
                }
        EXPECT_EQ(wrong, 0) << "filler " << filler;
        EXPECT_EQ(world_get_blocklight(world_, 31, 30, 1), 14);
        EXPECT_EQ(world_get_blocklight(world_, 30, 30 + 14, 1), 1);
        EXPECT_EQ(world_get_blocklight(world_, 30, 30 + 15, 1), 0);
        // Light stops at the chunk face; the cached neighbour stays dark.
        EXPECT_EQ(world_get_blocklight(world_, 32, 30, 1), 0);
        EXPECT_EQ(world_get_blocklight(world_, 30, 30, -1), 0);
        world_clear_chunks(world_);
    }
}

TEST_F(LightingBlock, EnclosedGlowstoneLightsOnlyItsCell) {
    Chunk* chunk = add_chunk(0, 0, 0);
    ASSERT_NE(chunk, nullptr);
    chunk->blocks[10][10][10].type = BLOCK_GLOWSTONE;
    chunk->blocks[10][10][11].type = BLOCK_STONE;
    chunk->blocks[10][10][9].type = BLOCK_DIRT;
    chunk->blocks[11][10][10].type = BLOCK_GRASS;
    chunk->blocks[9][10][10].type = BLOCK_BEDROCK;
    chunk->blocks[10][11][10].type = BLOCK_SAND;
    chunk->blocks[10][9][10].type = BLOCK_WOOD;
    relight(chunk);
    int lit = 0;
    for (int y = 0; y < CHUNK_HEIGHT; y++)
        for (int z = 0; z < CHUNK_SIZE; z++)
            for (int x = 0; x < CHUNK_SIZE; x++) lit += block(chunk)[y][z][x] != 0;
    EXPECT_EQ(lit, 1);
    EXPECT_EQ(block(chunk)[10][10][10], 15);
}

// Five full layers of glowstone are 5120 seeds; only the lowest 4096 (layers
// 0..3) are queued, and all their neighbours are already at 15. The fifth
// layer is lit as a seed but never spreads, so the air above stays dark.
TEST_F(LightingBlock, SeedsBeyondQueueLimitDoNotSpread) {
    Chunk* chunk = add_chunk(0, 0, 0);
    ASSERT_NE(chunk, nullptr);
    for (int y = 0; y < 5; y++)
        for (int z = 0; z < CHUNK_SIZE; z++)
            for (int x = 0; x < CHUNK_SIZE; x++) chunk->blocks[y][z][x].type = BLOCK_GLOWSTONE;
    relight(chunk);
    int wrong = 0;
    for (int y = 0; y < CHUNK_HEIGHT; y++)
        for (int z = 0; z < CHUNK_SIZE; z++)
            for (int x = 0; x < CHUNK_SIZE; x++) wrong += block(chunk)[y][z][x] != (y < 5 ? 15 : 0);
    EXPECT_EQ(wrong, 0);
}

// ---------------------------------------------------------------- sky light

using LightingSky = LightingTest;

TEST_F(LightingSky, AllAirChunkWithNothingAboveIsFullyLit) {
    Chunk* chunk = add_chunk(0, 1, 0);
    ASSERT_NE(chunk, nullptr);
    relight(chunk);
    int wrong = 0;
    for (int y = 0; y < CHUNK_HEIGHT; y++)
        for (int z = 0; z < CHUNK_SIZE; z++)
            for (int x = 0; x < CHUNK_SIZE; x++) wrong += sky(chunk)[y][z][x] != 15;
    EXPECT_EQ(wrong, 0);
}

// Stone up to y = 60 leaves 3 lit layers (under 4096 cells), so spreading is
// not cut short. A glowstone on top shades its column like any solid block; a
// covered tunnel at y = 55 fed by an open shaft at x = 0 darkens one level per step.
TEST_F(LightingSky, GlowstoneShadesAndCoveredCellsLightBySpreading) {
    Chunk* chunk = add_chunk(0, 0, 0);
    ASSERT_NE(chunk, nullptr);
    for (int y = 0; y <= 60; y++)
        for (int z = 0; z < CHUNK_SIZE; z++)
            for (int x = 0; x < CHUNK_SIZE; x++) chunk->blocks[y][z][x].type = BLOCK_STONE;
    chunk->blocks[63][10][10].type = BLOCK_GLOWSTONE;
    for (int y = 55; y <= 60; y++) chunk->blocks[y][5][0].type = BLOCK_AIR;
    for (int x = 1; x < CHUNK_SIZE; x++) chunk->blocks[55][5][x].type = BLOCK_AIR;
    relight(chunk);

    EXPECT_EQ(sky(chunk)[63][10][10], 0);
    EXPECT_EQ(sky(chunk)[62][10][10], 14);
    EXPECT_EQ(sky(chunk)[61][10][10], 14);
    EXPECT_EQ(sky(chunk)[61][10][11], 15);
    for (int y = 55; y <= 60; y++) EXPECT_EQ(sky(chunk)[y][5][0], 15) << "shaft y " << y;
    for (int x = 1; x < CHUNK_SIZE; x++) EXPECT_EQ(sky(chunk)[55][5][x], std::max(0, 15 - x)) << "tunnel x " << x;
    EXPECT_EQ(sky(chunk)[60][5][1], 0);  // stone
    EXPECT_EQ(sky(chunk)[54][5][0], 0);  // stone below the shaft
    // The glowstone gives block light, not sky light.
    EXPECT_EQ(block(chunk)[63][10][10], 15);
}

// Every layer is lit, so the queue holds the 4096 lowest lit cells: layers
// 0..3 less the shaded column, then (0..3, 4, 0). Cells under the glowstone
// get 14 from a queued neighbour only in layers 0..3; from layer 4 up nothing
// queued touches them.
TEST_F(LightingSky, FullQueueSpreadsOnlyFromLowestLitCells) {
    Chunk* chunk = add_chunk(0, 0, 0);
    ASSERT_NE(chunk, nullptr);
    chunk->blocks[40][10][10].type = BLOCK_GLOWSTONE;
    relight(chunk);
    for (int y = 0; y < 4; y++) EXPECT_EQ(sky(chunk)[y][10][10], 14) << "y " << y;
    for (int y = 4; y <= 40; y++) EXPECT_EQ(sky(chunk)[y][10][10], 0) << "y " << y;
    for (int y = 41; y < CHUNK_HEIGHT; y++) EXPECT_EQ(sky(chunk)[y][10][10], 15) << "y " << y;
}

// Blocks of cached chunks above shade (unknown values count as solid, since
// sky light passes air only); an uncached chunk above reads as air; the scan
// starts at y = 500, so a block at 501 shades nothing.
TEST_F(LightingSky, ColumnScanReadsChunksAbove) {
    Chunk* chunk = add_chunk(0, 0, 0);
    ASSERT_NE(chunk, nullptr);
    fill(chunk, BLOCK_STONE);
    chunk->blocks[63][4][3].type = BLOCK_AIR;
    chunk->blocks[63][4][20].type = BLOCK_AIR;
    chunk->blocks[63][20][20].type = BLOCK_AIR;
    Chunk* above = add_chunk(0, 1, 0);
    ASSERT_NE(above, nullptr);
    above->blocks[100 - 64][4][3].type = BLOCK_STONE;
    above->blocks[127 - 64][4][20].type = static_cast<BlockType>(9);
    Chunk* top = add_chunk(0, 7, 0);
    ASSERT_NE(top, nullptr);
    top->blocks[501 - 448][20][20].type = BLOCK_STONE;
    relight(chunk);
    EXPECT_EQ(sky(chunk)[63][4][3], 0);
    EXPECT_EQ(sky(chunk)[63][4][20], 0);
    EXPECT_EQ(sky(chunk)[63][20][20], 15);

    world_clear_chunks(world_);
    chunk = add_chunk(0, 0, 0);
    fill(chunk, BLOCK_STONE);
    chunk->blocks[63][4][3].type = BLOCK_AIR;
    relight(chunk);
    EXPECT_EQ(sky(chunk)[63][4][3], 15);
}

// Only y = 0..500 is ever lit. In the top lit chunk the queue fills from the
// bottom, so nothing spreads up past y = 500.
TEST_F(LightingSky, HeightLimits) {
    Chunk* top = add_chunk(0, 7, 0);
    Chunk* higher = add_chunk(0, 8, 0);
    Chunk* below = add_chunk(0, -1, 0);
    ASSERT_TRUE(top && higher && below);
    for (Chunk* c : {higher, below}) {
        // Stale values must not survive a relight.
        memset(c->skylight, 9, sizeof(c->skylight));
        relight(c);
    }
    relight(top);
    int wrong = 0;
    for (int y = 0; y < CHUNK_HEIGHT; y++)
        for (int z = 0; z < CHUNK_SIZE; z++)
            for (int x = 0; x < CHUNK_SIZE; x++) {
                wrong += sky(top)[y][z][x] != (448 + y <= 500 ? 15 : 0);
                wrong += sky(higher)[y][z][x] != 0;
                wrong += sky(below)[y][z][x] != 0;
            }
    EXPECT_EQ(wrong, 0);
}

// ---------------------------------------------------------------- reads and relights

using LightingRead = LightingTest;

TEST_F(LightingRead, ReadsActiveBufferWithinHeightRange) {
    Chunk* top = add_chunk(0, 7, 0);
    Chunk* below = add_chunk(0, -1, 0);
    Chunk* west = add_chunk(-1, 1, -1);
    ASSERT_TRUE(top && below && west);
    memset(top->skylight, 9, sizeof(top->skylight));
    memset(top->blocklight, 8, sizeof(top->blocklight));
    memset(below->skylight, 9, sizeof(below->skylight));
    memset(below->blocklight, 9, sizeof(below->blocklight));
    EXPECT_EQ(world_get_skylight(world_, 0, 500, 0), 9);
    EXPECT_EQ(world_get_blocklight(world_, 0, 500, 0), 8);
    EXPECT_EQ(world_get_skylight(world_, 0, 501, 0), 0);
    EXPECT_EQ(world_get_blocklight(world_, 0, 501, 0), 0);
    EXPECT_EQ(world_get_skylight(world_, 0, -1, 0), 0);
    EXPECT_EQ(world_get_blocklight(world_, 0, -1, 0), 0);
    EXPECT_EQ(world_get_skylight(world_, 64, 500, 0), 0);  // not cached
    EXPECT_EQ(world_get_skylight(nullptr, 0, 500, 0), 0);

    // (-1, 70, -1) is local (31, 6, 31) of chunk (-1, 1, -1).
    west->skylight[0][6][31][31] = 3;
    west->skylight[1][6][31][31] = 12;
    west->blocklight[1][6][31][31] = 7;
    EXPECT_EQ(world_get_skylight(world_, -1, 70, -1), 3);
    west->active_light_buffer = 1;
    EXPECT_EQ(world_get_skylight(world_, -1, 70, -1), 12);
    EXPECT_EQ(world_get_blocklight(world_, -1, 70, -1), 7);
    calculate_chunk_skylight(nullptr, world_, 0);
    calculate_chunk_blocklight(nullptr, world_, 0);
}

TEST_F(LightingRead, TwoRelightsFlipTwiceWithSameValues) {
    Chunk* chunk = add_chunk(0, 1, 0);
    ASSERT_NE(chunk, nullptr);
    for (int y = 0; y < 30; y++)
        for (int z = 0; z < CHUNK_SIZE; z++)
            for (int x = 0; x < CHUNK_SIZE; x++) chunk->blocks[y][z][x].type = BLOCK_STONE;
    chunk->blocks[20][3][3].type = BLOCK_AIR;
    chunk->blocks[21][3][3].type = BLOCK_GLOWSTONE;
    chunk->blocks[45][16][16].type = BLOCK_GLOWSTONE;
    chunk->blocks[46][16][16].type = BLOCK_STONE;
    EXPECT_EQ(chunk->active_light_buffer, 0);
    relight(chunk);
    EXPECT_EQ(chunk->active_light_buffer, 1);
    relight(chunk);
    EXPECT_EQ(chunk->active_light_buffer, 0);
    EXPECT_EQ(memcmp(chunk->skylight[0], chunk->skylight[1], sizeof(Field)), 0);
    EXPECT_EQ(memcmp(chunk->blocklight[0], chunk->blocklight[1], sizeof(Field)), 0);
    EXPECT_EQ(sky(chunk)[20][3][3], 0);
    EXPECT_EQ(block(chunk)[20][3][3], 14);
    EXPECT_EQ(sky(chunk)[45][16][16], 0);
    EXPECT_EQ(block(chunk)[44][16][16], 14);
}

// ---------------------------------------------------------------- reference

// Sky light exactly as described block by block: every read of the column
// scan goes through world_get_block, and the flood fill uses its own queue.
struct RefEntry {
    int x, y, z;
    uint8_t light;
};

void reference_skylight(Chunk* chunk, World* world, Field out) {
    memset(out, 0, sizeof(Field));
    const int base_y = chunk->chunk_y * CHUNK_HEIGHT;
    for (int z = 0; z < CHUNK_SIZE; z++)
        for (int x = 0; x < CHUNK_SIZE; x++) {
            int light = 15;
            for (int wy = 500; wy >= 0; wy--) {
                const BlockType t = world_get_block(world, chunk->chunk_x * 32 + x, wy, chunk->chunk_z * 32 + z);
                if (t != BLOCK_AIR)
                    light = 0;
                else if (wy >= base_y && wy < base_y + CHUNK_HEIGHT)
                    out[wy - base_y][z][x] = static_cast<uint8_t>(light);
            }
        }
    std::vector<RefEntry> queue;
    for (int y = 0; y < CHUNK_HEIGHT; y++)
        for (int z = 0; z < CHUNK_SIZE; z++)
            for (int x = 0; x < CHUNK_SIZE; x++)
                if (chunk->blocks[y][z][x].type == BLOCK_AIR && out[y][z][x] > 0 && queue.size() < 4096)
                    queue.push_back(RefEntry{x, y, z, out[y][z][x]});
    const int dirs[6][3] = {{1, 0, 0}, {-1, 0, 0}, {0, 1, 0}, {0, -1, 0}, {0, 0, 1}, {0, 0, -1}};
    for (size_t head = 0; head < queue.size(); head++) {
        const RefEntry e = queue[head];
        if (e.light < 2) continue;
        const uint8_t nl = static_cast<uint8_t>(e.light - 1);
        for (const auto& d : dirs) {
            const int nx = e.x + d[0], ny = e.y + d[1], nz = e.z + d[2];
            if (nx < 0 || nx >= 32 || ny < 0 || ny >= 64 || nz < 0 || nz >= 32) continue;
            if (chunk->blocks[ny][nz][nx].type != BLOCK_AIR || out[ny][nz][nx] >= nl) continue;
            out[ny][nz][nx] = nl;
            if (nl > 1 && queue.size() < 4096) queue.push_back(RefEntry{nx, ny, nz, nl});
        }
    }
}

using LightingReference = LightingTest;

TEST_F(LightingReference, CachedColumnScanMatchesBlockByBlockReads) {
    world_->seed = 20261206;
    for (int cy = 0; cy <= 2; cy++)
        for (int cz = -1; cz <= 1; cz++)
            for (int cx = -1; cx <= 1; cx++) {
                if (cx == 1 && cy == 2 && cz == 1) continue;  // an uncached chunk above a surface chunk
                Chunk* c = add_chunk(cx, cy, cz);
                ASSERT_NE(c, nullptr);
                world_generate_chunk(c, world_->seed);
            }
    // A few edits: a hole through the surface, an overhang and a glowstone.
    Chunk* surface = world_get_chunk(world_, 0, 1, 0);
    for (int y = 0; y < CHUNK_HEIGHT; y++) surface->blocks[y][7][7].type = BLOCK_AIR;
    world_get_chunk(world_, 0, 2, 0)->blocks[10][12][12].type = BLOCK_GLOWSTONE;
    world_get_chunk(world_, 0, 2, 0)->blocks[5][12][13].type = static_cast<BlockType>(9);

    static Field expected;
    for (int i = 0; i < world_->chunk_cache.chunk_count; i++) {
        Chunk* c = &world_->chunk_cache.chunks[i];
        relight(c);
        reference_skylight(c, world_, expected);
        EXPECT_EQ(memcmp(expected, sky(c), sizeof(Field)), 0)
            << "chunk " << c->chunk_x << "," << c->chunk_y << "," << c->chunk_z;
    }
}

}  // namespace

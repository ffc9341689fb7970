// Sky light and block light against a block-by-block reference on hand-made
// scenes and generated terrain, and light reads by world coordinates.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <vector>

#include "temp_world_fixture.h"
#include "world.h"

namespace {

typedef uint8_t Field[CHUNK_HEIGHT][CHUNK_SIZE][CHUNK_SIZE];

// Light exactly as described: sky light from a scan of every column down from
// y = 500 through world_get_block (anything but air shades), block light from
// every glowstone; then a flood fill from the first 4096 lit cells in memory
// order, through air for sky light and through anything but the six opaque
// types for block light, that queues only the first 4096 cells it ever lights.
void reference_light(Chunk* chunk, World* world, bool sky, Field out) {
    memset(out, 0, sizeof(Field));
    auto passes = [sky](BlockType t) { return sky ? t == BLOCK_AIR : t < BLOCK_STONE || t > BLOCK_BEDROCK; };
    const int base_y = chunk->chunk_y * CHUNK_HEIGHT;
    for (int z = 0; z < CHUNK_SIZE && sky; z++)
        for (int x = 0; x < CHUNK_SIZE; x++)
            for (int wy = 500, light = 15; wy >= 0; wy--) {
                if (world_get_block(world, chunk->chunk_x * 32 + x, wy, chunk->chunk_z * 32 + z) != BLOCK_AIR)
                    light = 0;
                else if (wy >= base_y && wy < base_y + CHUNK_HEIGHT)
                    out[wy - base_y][z][x] = static_cast<uint8_t>(light);
            }
    struct Entry {
        int x, y, z, light;
    };
    std::vector<Entry> queue;
    for (int y = 0; y < CHUNK_HEIGHT; y++)
        for (int z = 0; z < CHUNK_SIZE; z++)
            for (int x = 0; x < CHUNK_SIZE; x++) {
                const BlockType t = chunk->blocks[y][z][x].type;
                if (!sky && t == BLOCK_GLOWSTONE) out[y][z][x] = 15;
                if (out[y][z][x] > 0 && (!sky || t == BLOCK_AIR) && queue.size() < 4096)
                    queue.push_back(Entry{x, y, z, out[y][z][x]});
            }
    const int dirs[6][3] = {{1, 0, 0}, {-1, 0, 0}, {0, 1, 0}, {0, -1, 0}, {0, 0, 1}, {0, 0, -1}};
    for (size_t head = 0; head < queue.size(); head++) {
        const Entry e = queue[head];
        for (const auto& d : dirs) {
            const int nx = e.x + d[0], ny = e.y + d[1], nz = e.z + d[2], nl = e.light - 1;
            if (nl < 1 || nx < 0 || nx >= 32 || ny < 0 || ny >= 64 || nz < 0 || nz >= 32) continue;
            if (!passes(chunk->blocks[ny][nz][nx].type) || out[ny][nz][nx] >= nl) continue;
            out[ny][nz][nx] = static_cast<uint8_t>(nl);
            if (nl > 1 && queue.size() < 4096) queue.push_back(Entry{nx, ny, nz, nl});
        }
    }
}

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

    static const Field& sky(const Chunk* c) { return c->skylight[c->active_light_buffer]; }
    static const Field& block(const Chunk* c) { return c->blocklight[c->active_light_buffer]; }
};

void layers(Chunk* c, int y0, int y1, BlockType type) {
    for (int y = y0; y <= y1; y++)
        for (int z = 0; z < CHUNK_SIZE; z++)
            for (int x = 0; x < CHUNK_SIZE; x++) c->blocks[y][z][x].type = type;
}

// Every chunk of each scene is relit over stale values in both buffers and
// must match the reference.
TEST_F(LightingTest, ScenesMatchTheReference) {
    const BlockType unknown = static_cast<BlockType>(9);
    const struct Scene {
        const char* what;
        std::function<void()> build;
    } scenes[] = {
        {"glowstone diamond in air, clipped by the chunk faces",
         [&] {
             add_chunk(0, 0, 0)->blocks[30][1][30].type = BLOCK_GLOWSTONE;
             add_chunk(1, 0, 0);
         }},
        {"glowstone in cells of an unknown type, which block light passes",
         [&] {
             Chunk* c = add_chunk(0, 0, 0);
             fill_chunk(c, unknown);
             c->blocks[30][1][30].type = BLOCK_GLOWSTONE;
         }},
        {"glowstone enclosed by six solid types",
         [&] {
             Chunk* c = add_chunk(0, 0, 0);
             c->blocks[10][10][10].type = BLOCK_GLOWSTONE;
             const int around[6][3] = {{10, 10, 11}, {10, 10, 9}, {11, 10, 10}, {9, 10, 10}, {10, 11, 10}, {10, 9, 10}};
             for (int i = 0; i < 6; i++)
                 c->blocks[around[i][0]][around[i][1]][around[i][2]].type = BlockType(BLOCK_STONE + i);
         }},
        {"five layers of glowstone: seeds beyond the queue do not spread",
         [&] { layers(add_chunk(0, 0, 0), 0, 4, BLOCK_GLOWSTONE); }},
        {"all air with nothing above", [&] { add_chunk(0, 1, 0); }},
        {"glowstone shades; a covered tunnel is lit from a shaft",
         [&] {
             Chunk* c = add_chunk(0, 0, 0);
             layers(c, 0, 60, BLOCK_STONE);
             c->blocks[63][10][10].type = BLOCK_GLOWSTONE;
             for (int y = 55; y <= 60; y++) c->blocks[y][5][0].type = BLOCK_AIR;
             for (int x = 1; x < CHUNK_SIZE; x++) c->blocks[55][5][x].type = BLOCK_AIR;
         }},
        {"full queue spreads only from the lowest lit cells",
         [&] { add_chunk(0, 0, 0)->blocks[40][10][10].type = BLOCK_GLOWSTONE; }},
        {"columns shaded by chunks above, not by y = 501 or uncached chunks",
         [&] {
             Chunk* c = add_chunk(0, 0, 0);
             fill_chunk(c, BLOCK_STONE);
             c->blocks[63][4][3].type = c->blocks[63][4][20].type = c->blocks[63][20][20].type = BLOCK_AIR;
             Chunk* above = add_chunk(0, 1, 0);
             above->blocks[100 - 64][4][3].type = BLOCK_STONE;
             above->blocks[127 - 64][4][20].type = unknown;
             add_chunk(0, 7, 0)->blocks[501 - 448][20][20].type = BLOCK_STONE;
             Chunk* lone = add_chunk(3, 0, 0);
             fill_chunk(lone, BLOCK_STONE);
             lone->blocks[63][4][3].type = BLOCK_AIR;
         }},
        {"generated terrain with a hole, an overhang, a glowstone and an uncached chunk above",
         [&] {
             world_->seed = 20261206;
             for (int cy = 0; cy <= 2; cy++)
                 for (int cz = -1; cz <= 1; cz++)
                     for (int cx = -1; cx <= 1; cx++)
                         if (!(cx == 1 && cy == 2 && cz == 1))
                             world_generate_chunk(add_chunk(cx, cy, cz), world_->seed);
             for (int y = 0; y < CHUNK_HEIGHT; y++) get(0, 1, 0)->blocks[y][7][7].type = BLOCK_AIR;
             get(0, 2, 0)->blocks[10][12][12].type = BLOCK_GLOWSTONE;
             get(0, 2, 0)->blocks[5][12][13].type = static_cast<BlockType>(9);
         }},
        {"nothing lit above y = 500 or below 0",
         [&] {
             add_chunk(0, 7, 0);
             add_chunk(0, 8, 0);
             add_chunk(0, -1, 0);
         }},
    };
    static Field expected;
    for (const Scene& s : scenes) {
        SCOPED_TRACE(s.what);
        world_clear_chunks(world_);
        s.build();
        for (int i = 0; i < count(); i++) {
            Chunk* c = at(i);
            memset(c->skylight, 9, sizeof c->skylight);
            memset(c->blocklight, 9, sizeof c->blocklight);
            relight(c);
            SCOPED_TRACE("chunk " + std::to_string(c->chunk_x) + "," + std::to_string(c->chunk_y));
            reference_light(c, world_, true, expected);
            EXPECT_EQ(memcmp(expected, sky(c), sizeof(Field)), 0) << "sky light";
            reference_light(c, world_, false, expected);
            EXPECT_EQ(memcmp(expected, block(c), sizeof(Field)), 0) << "block light";
        }
    }
    // Spot checks of the reference itself, in the last scene and the diamond.
    EXPECT_EQ(sky(get(0, 7, 0))[500 - 448][0][0], 15);
    EXPECT_EQ(sky(get(0, 7, 0))[501 - 448][0][0], 0);
    world_clear_chunks(world_);
    scenes[0].build();
    relight(get(0, 0, 0));
    const int diamond[][3] = {{30, 30, 15}, {30, 44, 1}, {30, 45, 0}, {32, 30, 0}};
    for (const auto& d : diamond) EXPECT_EQ(world_get_blocklight(world_, d[0], d[1], 1), d[2]) << d[0] << "," << d[1];
}

// Reads use the active buffer, only for y in 0..500 and cached chunks; a
// relight fills the inactive buffer and flips.
TEST_F(LightingTest, ReadsAndRelightsUseTheActiveBuffer) {
    for (Chunk* c : {add_chunk(0, 7, 0), add_chunk(0, -1, 0)}) {
        memset(c->skylight, 9, sizeof(c->skylight));
        memset(c->blocklight, 8, sizeof(c->blocklight));
    }
    Chunk* west = add_chunk(-1, 1, -1);
    // (-1, 70, -1) is local (31, 6, 31) of chunk (-1, 1, -1).
    west->skylight[0][6][31][31] = 3;
    EXPECT_EQ(world_get_skylight(world_, -1, 70, -1), 3);
    west->skylight[1][6][31][31] = 12;
    west->blocklight[1][6][31][31] = 7;
    west->active_light_buffer = 1;
    const struct {
        int x, y, z, sky, block;
    } reads[] = {{0, 500, 0, 9, 8}, {0, 501, 0, 0, 0}, {0, -1, 0, 0, 0}, {64, 500, 0, 0, 0}, {-1, 70, -1, 12, 7}};
    for (const auto& r : reads) {
        EXPECT_EQ(world_get_skylight(world_, r.x, r.y, r.z), r.sky) << r.x << "," << r.y;
        EXPECT_EQ(world_get_blocklight(world_, r.x, r.y, r.z), r.block) << r.x << "," << r.y;
    }
    EXPECT_EQ(world_get_skylight(nullptr, 0, 500, 0), 0);
    calculate_chunk_skylight(nullptr, world_, 0);
    calculate_chunk_blocklight(nullptr, world_, 0);
    relight(west);
    EXPECT_EQ(west->active_light_buffer, 0);
    relight(west);
    EXPECT_EQ(west->active_light_buffer, 1);
    EXPECT_EQ(memcmp(west->skylight[0], west->skylight[1], sizeof(Field)), 0);
}

}  // namespace

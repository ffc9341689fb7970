// Sky light, block light and visible lists against their references, and light reads.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "temp_world_fixture.h"

namespace {

typedef uint8_t Field[CHUNK_HEIGHT][CHUNK_SIZE][CHUNK_SIZE];

// Cell by cell, with the engine's limits: sky from y = 500 down, floods queue only 4096 cells.
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
    struct Cell {
        int x, y, z, light;
    };
    std::vector<Cell> queue;
    for (int y = 0; y < CHUNK_HEIGHT; y++)
        for (int z = 0; z < CHUNK_SIZE; z++)
            for (int x = 0; x < CHUNK_SIZE; x++) {
                const BlockType t = chunk->blocks[y][z][x].type;
                if (!sky && t == BLOCK_GLOWSTONE) out[y][z][x] = 15;
                if (out[y][z][x] > 0 && (!sky || t == BLOCK_AIR) && queue.size() < 4096)
                    queue.push_back(Cell{x, y, z, out[y][z][x]});
            }
    const int dirs[6][3] = {{1, 0, 0}, {-1, 0, 0}, {0, 1, 0}, {0, -1, 0}, {0, 0, 1}, {0, 0, -1}};
    for (size_t head = 0; head < queue.size(); head++) {
        const Cell e = queue[head];
        for (const auto& d : dirs) {
            const int nx = e.x + d[0], ny = e.y + d[1], nz = e.z + d[2], nl = e.light - 1;
            if (nl < 1 || nx < 0 || nx >= 32 || ny < 0 || ny >= 64 || nz < 0 || nz >= 32) continue;
            if (!passes(chunk->blocks[ny][nz][nx].type) || out[ny][nz][nx] >= nl) continue;
            out[ny][nz][nx] = static_cast<uint8_t>(nl);
            if (nl > 1 && queue.size() < 4096) queue.push_back(Cell{nx, ny, nz, nl});
        }
    }
}

using LightingTest = TempWorldTest;

// Light does not cross chunk borders, so each chunk (column, for sky light) is a scene of its own.
TEST_F(LightingTest, ScenesMatchTheReferences) {
    const BlockType unknown = static_cast<BlockType>(9);
    // Glowstone clipped by the chunk faces, under a full sky-light queue, and walled in by the six solid types.
    Chunk* c = add_chunk(0, 0, 0);
    c->blocks[30][1][30].type = c->blocks[40][10][10].type = c->blocks[10][10][10].type = BLOCK_GLOWSTONE;
    const int around[6][3] = {{10, 10, 11}, {10, 10, 9}, {11, 10, 10}, {9, 10, 10}, {10, 11, 10}, {10, 9, 10}};
    for (int i = 0; i < 6; i++) c->blocks[around[i][0]][around[i][1]][around[i][2]].type = BlockType(BLOCK_STONE + i);
    fill_chunk(c = add_chunk(1, 0, 0), unknown);  // block light passes cells of an unknown type
    c->blocks[10][20][20].type = BLOCK_GLOWSTONE;
    c = add_chunk(2, 0, 0);  // five layers of glowstone: seeds beyond the queue do not spread
    for (int i = 0; i < 5 * 1024; i++) (&c->blocks[0][0][0])[i].type = BLOCK_GLOWSTONE;
    c = add_chunk(3, 0, 0);  // glowstone shades; a covered tunnel is lit from a shaft
    for (int i = 0; i < 61 * 1024; i++) (&c->blocks[0][0][0])[i].type = BLOCK_STONE;
    c->blocks[63][10][10].type = BLOCK_GLOWSTONE;
    for (int y = 55; y <= 60; y++) c->blocks[y][5][0].type = BLOCK_AIR;
    for (int x = 1; x < CHUNK_SIZE; x++) c->blocks[55][5][x].type = BLOCK_AIR;
    // Columns shaded by chunks above, not by y = 501 or uncached chunks; nothing lit above 500 or below 0.
    fill_chunk(c = add_chunk(4, 0, 0), BLOCK_STONE);
    c->blocks[63][4][3].type = c->blocks[63][4][20].type = c->blocks[63][20][20].type = BLOCK_AIR;
    c = add_chunk(4, 1, 0);
    c->blocks[100 - 64][4][3].type = BLOCK_STONE;
    c->blocks[127 - 64][4][20].type = unknown;
    add_chunk(4, 7, 0)->blocks[501 - 448][20][20].type = BLOCK_STONE;
    for (int32_t cy : {8, -1}) add_chunk(4, cy, 0);
    fill_chunk(c = add_chunk(5, 0, 0), BLOCK_STONE);
    c->blocks[63][4][3].type = BLOCK_AIR;
    // Faces toward air need its chunk in play: stone with holes next to one out of play, and a chunk out of play.
    fill_chunk(c = add_chunk(0, 0, 3), BLOCK_STONE);
    c->blocks[10][10][30].type = c->blocks[11][10][31].type = BLOCK_AIR;
    add_chunk(1, 0, 3, false)->blocks[10][10][0].type = unknown;
    add_chunk(3, 0, 3, false)->blocks[63][3][3].type = BLOCK_STONE;
    add_chunk(3, 1, 3);
    Chunk* lone = add_chunk(5, 0, 3);
    lone->blocks[20][5][7].type = BLOCK_STONE;
    Chunk* checkers = add_chunk(7, 0, 3);  // grows the list by doubling
    for (int i = 0; i < CHUNK_HEIGHT * CHUNK_SIZE * CHUNK_SIZE; i += 2)
        (&checkers->blocks[0][0][0])[i + (i / 32 + i / 1024) % 2].type = BLOCK_DIRT;
    // Generated terrain with a hole, a glowstone, and chunks loaded, out of play or absent.
    world_->seed = 20261206;
    for (int cy = 0; cy <= 2; cy++)
        for (int cz = 9; cz <= 11; cz++)
            for (int cx = -1; cx <= 1; cx++) {
                if ((cx == 1 && cy == 1 && cz == 10) || (cx == -1 && cy == 0 && cz == 9)) continue;
                const bool loaded = !((cx == 0 && cy == 1 && cz == 9) || (cx == -1 && cy == 2 && cz == 10));
                world_generate_chunk(add_chunk(cx, cy, cz, loaded), world_->seed);
            }
    for (int y = 0; y < CHUNK_HEIGHT; y++) get(0, 1, 10)->blocks[y][0][9].type = BLOCK_AIR;
    get(0, 2, 10)->blocks[10][12][12].type = BLOCK_GLOWSTONE;
    get(0, 2, 10)->blocks[5][12][13].type = unknown;

    static Field expected;
    for (int i = 0; i < count(); i++) {
        c = at(i);
        SCOPED_TRACE(testing::Message() << "chunk " << c->chunk_x << "," << c->chunk_y << "," << c->chunk_z);
        memset(c->skylight, 9, sizeof c->skylight);
        memset(c->blocklight, 9, sizeof c->blocklight);
        calculate_chunk_skylight(c, world_, 1);
        calculate_chunk_blocklight(c, world_, 1);
        c->active_light_buffer = 1;
        reference_light(c, world_, true, expected);
        EXPECT_EQ(memcmp(expected, c->skylight[1], sizeof(Field)), 0) << "sky light";
        reference_light(c, world_, false, expected);
        EXPECT_EQ(memcmp(expected, c->blocklight[1], sizeof(Field)), 0) << "block light";
        chunk_cache_visible_blocks(c, world_);
        EXPECT_EQ(active_entries(c), reference_list(c, world_));
    }
    EXPECT_EQ(checkers->visible_capacity[checkers->active_mesh], 32768);
    EXPECT_EQ(active_entries(lone), std::vector{Entry(7, 20, 5, 63, 0)}) << "the reference itself";
    // A rebuild numbered up to the one already published read older blocks and is dropped.
    lone->mesh_published_build = lone->mesh_builds_started + 1;
    lone->blocks[1][1][1].type = BLOCK_STONE;
    chunk_cache_visible_blocks(lone, world_);
    EXPECT_EQ(active_entries(lone).size(), 1u);
    chunk_cache_visible_blocks(lone, world_);
    EXPECT_EQ(active_entries(lone).size(), 2u);
    chunk_free_visible_blocks(nullptr);
    chunk_cache_visible_blocks(nullptr, world_);
    // A record that is not the cached one for its coordinates must not be read as if it were.
    for (const int32_t where : {10, 5}) {
        ChunkPtr copy(chunk_create(0, 1, where));
        copy->loaded = true;
        for (int i = 0; i < 40 * 1024; i++) (&copy->blocks[0][0][0])[i].type = i % 3 ? BLOCK_STONE : BLOCK_AIR;
        chunk_cache_visible_blocks(copy.get(), world_);
        EXPECT_EQ(active_entries(copy.get()), reference_list(copy.get(), world_)) << "detached at " << where;
    }
    // Reads from the active buffer (stale cells hold 9): spot checks of the reference, then the edges of the world.
    const int diamond[][3] = {{30, 30, 15}, {30, 44, 1}, {30, 45, 0}, {32, 30, 0}};
    for (const auto& d : diamond) EXPECT_EQ(world_get_blocklight(world_, d[0], d[1], 1), d[2]) << d[0] << "," << d[1];
    EXPECT_EQ(world_get_skylight(world_, 4 * 32, 500, 0), 15);
    get(-1, 1, 10)->skylight[1][6][0][31] = 12;
    EXPECT_EQ(world_get_skylight(world_, -1, 70, 320), 12);
    get(4, 7, 0)->skylight[1][501 - 448][0][0] = get(4, -1, 0)->blocklight[1][63][0][0] = 7;
    EXPECT_EQ(world_get_skylight(world_, 4 * 32, 501, 0) + world_get_blocklight(world_, 4 * 32, -1, 0), 0);
    EXPECT_EQ(world_get_skylight(world_, 64 * 32, 100, 0) + world_get_skylight(nullptr, 0, 100, 0), 0);
    calculate_chunk_skylight(nullptr, world_, 0);
    calculate_chunk_blocklight(nullptr, world_, 0);
}

}  // namespace

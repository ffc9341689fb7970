// Chunk meshes on the CPU: staleness, faces and light, the count within the cut,
// and the sections a frame can look into.
#include "chunk_mesh.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "temp_world_fixture.h"
#include "vec_math.h"

namespace {

using ChunkMeshTest = TempWorldTest;

// Border faces look into the cells of face neighbours, so their light is part of the source too.
TEST_F(ChunkMeshTest, SourceChangesWithListAndLightAndFacesCarryTheLightTheyLookInto) {
    Chunk* centre = add_chunk(0, 1, 0);
    const struct {
        int32_t cx, cy, cz;  // the chunk that changes
        bool relist, stale;  // its list is swapped, not its light flipped
    } cases[] = {{0, 1, 0, true, true},   {0, 1, 0, false, true}, {1, 1, 0, false, true}, {-1, 1, 0, false, true},
                 {0, 2, 0, false, true},  {0, 0, 0, false, true}, {0, 1, 1, false, true}, {0, 1, -1, false, true},
                 {1, 1, 1, false, false}, {1, 1, 0, true, false}};
    for (const auto& c : cases) add_chunk(c.cx, c.cy, c.cz);
    for (const auto& c : cases) {
        const ChunkMeshSource before = chunk_mesh_source(world_, centre);
        if (c.relist)
            chunk_cache_visible_blocks(get(c.cx, c.cy, c.cz), world_);
        else
            get(c.cx, c.cy, c.cz)->light_stamp = world_next_stamp();
        const ChunkMeshSource after = chunk_mesh_source(world_, centre);
        EXPECT_EQ(!chunk_mesh_source_equal(&before, &after), c.stale) << c.cx << "," << c.cy << "," << c.cz;
    }
    // Faces carry the light of the cell they look into; an entry whose cell turned to air counts but has none.
    Chunk* chunk = get(0, 0, 0);
    Chunk* east = add_chunk(1, 0, 0);
    memset(chunk->skylight, 9, sizeof chunk->skylight);
    memset(east->skylight, 4, sizeof east->skylight);
    east->blocklight[0][20][5][0] = 12;  // the cell the +x face of (31, 20, 5) looks into
    chunk->blocks[20][5][31].type = BLOCK_SAND;
    chunk->blocks[40][6][2].type = BLOCK_GLOWSTONE;
    chunk->blocks[10][10][10].type = BLOCK_STONE;
    chunk_cache_visible_blocks(chunk, world_);
    chunk->blocks[10][10][10].type = BLOCK_AIR;  // edited after the list was made

    ChunkMeshBuild build = {};
    uint32_t stamp = 0;
    ASSERT_EQ(chunk_mesh_copy_list(chunk, &build, &stamp), 3);
    ASSERT_TRUE(chunk_mesh_build(&build, world_, chunk, 3));
    EXPECT_TRUE(build.cell_count == 3 && build.vertex_count == 2 * 6 * 4);
    const struct {
        BlockType type;
        int x, y, z, face, light;
    } faces[] = {
        {BLOCK_SAND, 31, 20, 5, 0, 12},    {BLOCK_SAND, 31, 20, 5, 1, 9},     {BLOCK_SAND, 31, 20, 5, 2, 9},
        {BLOCK_GLOWSTONE, 2, 40, 6, 3, 9}, {BLOCK_GLOWSTONE, 2, 40, 6, 5, 9},
    };
    for (const auto& f : faces) {
        const int r = chunk_mesh_range(f.type, f.face, chunk_mesh_section(f.x, f.y, f.z));
        ASSERT_EQ(build.start[r + 1] - build.start[r], 4) << "type " << f.type << " face " << f.face;
        for (int v = build.start[r]; v < build.start[r + 1]; v++) {
            const ChunkMeshVertex& vertex = build.vertices[v];
            const signed char* sign = render_face_corners[f.face][v - build.start[r]];
            EXPECT_TRUE(vertex.cell[0] == f.x && vertex.cell[1] == f.y && vertex.cell[2] == f.z &&
                        vertex.cell[3] == f.face * 16 + f.light && vertex.corner[0] == f.x + (sign[0] > 0) &&
                        vertex.corner[1] == f.y + (sign[1] > 0) && vertex.corner[2] == f.z + (sign[2] > 0))
                << "type " << f.type << " face " << f.face << " vertex " << v;
        }
    }
    chunk_mesh_build_free(&build);
}

// Chunks wholly inside or outside the cut are counted at once; that must not change the count.
TEST_F(ChunkMeshTest, CountWithinTheCutMatchesBlockByBlock) {
    std::vector<uint16_t> cells;  // every seventh cell of chunk (3, 1, -2), grouped by section
    for (int i = 0; i < CHUNK_HEIGHT * CHUNK_SIZE * CHUNK_SIZE; i += 7) cells.push_back(static_cast<uint16_t>(i));
    std::stable_sort(cells.begin(), cells.end(), [](uint16_t a, uint16_t b) {
        return chunk_mesh_section(a & 31, a >> 10, (a >> 5) & 31) < chunk_mesh_section(b & 31, b >> 10, (b >> 5) & 31);
    });
    for (const float distance : {10.0f, 37.0f, 50.0f, 100.0f})
        for (const Vector3 player : {Vector3{100.3f, 90.0f, -50.7f}, Vector3{20.0f, 100.0f, 8.0f},
                                     Vector3{130.9f, 64.0f, -33.1f}, Vector3{-300.0f, 100.0f, 8.0f}}) {
            ChunkMeshView view = {Vector3{floorf(player.x), 0.0f, floorf(player.z)}, {}, distance, {}};
            view.cam = vec3_sub(player, view.offset);
            int expected = 0;
            for (const uint16_t cell : cells) {
                const Vector3 pos = {static_cast<float>(96 + (cell & 31)) + 0.5f - view.offset.x,
                                     static_cast<float>(64 + (cell >> 10)) + 0.5f,
                                     static_cast<float>(((cell >> 5) & 31) - 64) + 0.5f - view.offset.z};
                const Vector3 to = vec3_sub(pos, view.cam);
                expected += render_block_in_range(to.x * to.x + to.y * to.y + to.z * to.z, distance);
            }
            EXPECT_EQ(chunk_mesh_count_within(cells.data(), static_cast<int>(cells.size()), 3, 1, -2, &view), expected)
                << "player " << player.x << "," << player.y << "," << player.z << " distance " << distance;
        }
}

uint64_t link(int a, int b) {
    return uint64_t{1} << (a * 6 + b) | uint64_t{1} << (b * 6 + a);
}

uint64_t touch(unsigned sides) {
    return uint64_t{sides} << CHUNK_MESH_TOUCH_SHIFT;
}

void set_box(Chunk* chunk, int x0, int y0, int z0, int x1, int y1, int z1, BlockType type) {
    for (int y = y0; y < y1; y++)
        for (int z = z0; z < z1; z++)
            for (int x = x0; x < x1; x++) chunk->blocks[y][z][x].type = type;
}

// Each row carves more of the first section of a stone chunk (sides in face order +x -x +y -y +z -z).
TEST_F(ChunkMeshTest, SectionLinksJoinTheSidesThatSeeEachOther) {
    Chunk* chunk = add_chunk(0, 0, 0);
    set_box(chunk, 0, 0, 0, CHUNK_SIZE, CHUNK_HEIGHT, CHUNK_SIZE, BLOCK_STONE);
    const BlockType damaged = static_cast<BlockType>(99);
    const struct {
        int x0, y0, z0, x1, y1, z1;
        BlockType type;
        uint64_t links;
    } rows[] = {
        {0, 0, 0, 0, 0, 0, BLOCK_AIR, 0},
        {0, 3, 3, 8, 4, 4, BLOCK_AIR, link(0, 1) | touch(3)},
        {3, 4, 3, 4, 8, 4, BLOCK_AIR, link(0, 1) | link(0, 2) | link(1, 2) | touch(7)},
        {5, 1, 5, 7, 3, 7, BLOCK_AIR, link(0, 1) | link(0, 2) | link(1, 2) | touch(7)},
        {6, 0, 6, 7, 1, 8, damaged, link(0, 1) | link(0, 2) | link(1, 2) | link(3, 4) | touch(31)},
    };
    uint64_t links[CHUNK_MESH_SECTIONS];
    for (const auto& r : rows) {
        set_box(chunk, r.x0, r.y0, r.z0, r.x1, r.y1, r.z1, r.type);
        chunk_mesh_links(chunk, links);
        EXPECT_EQ(links[chunk_mesh_section(0, 0, 0)], r.links) << "after the box from " << r.x0 << "," << r.y0;
    }
    set_box(chunk, 8, 8, 8, 16, 16, 16, BLOCK_AIR);
    chunk_mesh_links(chunk, links);
    uint64_t all = touch(63);
    for (int a = 0; a < 6; a++)
        for (int b = a + 1; b < 6; b++) all |= link(a, b);
    EXPECT_EQ(links[chunk_mesh_section(8, 8, 8)], all);
    // Inside a range, faces come in order of layer: their block's place in the section along the face's axis.
    chunk_cache_visible_blocks(chunk, world_);
    ChunkMeshBuild build = {};
    uint32_t stamp = 0;
    const int count = chunk_mesh_copy_list(chunk, &build, &stamp);
    ASSERT_TRUE(count > 0 && chunk_mesh_build(&build, world_, chunk, count));
    for (int r = 0; r < CHUNK_MESH_RANGES; r++)
        for (int f = build.start[r] / 4; f < build.start[r + 1] / 4; f++) {
            const ChunkMeshVertex& corner = build.vertices[f * 4];
            EXPECT_EQ(build.layers[f], corner.cell[corner.cell[3] / 32] % 8) << "face " << f;
            EXPECT_TRUE(f == build.start[r] / 4 || build.layers[f - 1] <= build.layers[f]) << "face " << f;
        }
    chunk_mesh_build_free(&build);
}

// Stone under open air, a cave of one section at sections (1, 3, 1) and a
// pocket at (2, 5, 1) that a tunnel joins to the cave from below.
TEST_F(ChunkMeshTest, TheWalkReachesWhatALineOfSightCan) {
    Chunk* ground = add_chunk(0, 0, 0);
    set_box(ground, 0, 0, 0, CHUNK_SIZE, CHUNK_HEIGHT, CHUNK_SIZE, BLOCK_STONE);
    set_box(ground, 8, 24, 8, 24, 32, 16, BLOCK_AIR);
    set_box(ground, 16, 32, 8, 24, 48, 16, BLOCK_AIR);
    ChunkMesh meshes[2] = {};
    meshes[0].chunk_y = 0;
    meshes[1].chunk_y = 1;
    chunk_mesh_links(add_chunk(0, 1, 0), meshes[1].links);
    const struct {
        const char* name;
        bool shaft;
        int count;
        float cam_y;
        bool eye_in_block, cave, pocket;
    } rows[] = {
        {"closed", false, 2, 100.0f, false, false, false},
        {"from inside a block", false, 2, 100.0f, true, true, true},
        {"shaft", true, 2, 100.0f, false, true, false},
        {"under unknown chunks", true, 1, 100.0f, false, true, true},
        {"above the grid", false, 2, 200.0f, false, true, true},
    };
    ChunkMeshReach reach = {};
    for (const auto& r : rows) {
        set_box(ground, 8, 32, 8, 10, 64, 10, r.shaft ? BLOCK_AIR : BLOCK_STONE);
        chunk_mesh_links(ground, meshes[0].links);
        ChunkMeshView view = {{}, {16.5f, r.cam_y, 16.5f}, 1000.0f, {}};
        chunk_mesh_reach_walk(&reach, meshes, r.count, &view, r.eye_in_block);
        EXPECT_TRUE(chunk_mesh_reached(&reach, 1, 8, 1)) << r.name;
        EXPECT_EQ(chunk_mesh_reached(&reach, 1, 3, 1), r.cave) << r.name;
        EXPECT_EQ(chunk_mesh_reached(&reach, 2, 5, 1), r.pocket) << r.name;
        EXPECT_EQ(chunk_mesh_reached(&reach, 1, 6, 1), r.shaft || r.cave) << r.name;
    }
    chunk_mesh_reach_free(&reach);
}

}  // namespace

// Chunk meshes on the CPU: when a mesh is stale, the faces and light it
// holds, and its count of blocks within the cut.
#include "chunk_mesh.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "temp_world_fixture.h"
#include "vec_math.h"

namespace {

class ChunkMeshTest : public TempWorldTest {
protected:
    void TearDown() override {
        chunk_mesh_build_free(&build_);
        TempWorldTest::TearDown();
    }

    ChunkMeshBuild build_ = {};
};

// A mesh is stale when the chunk's list or light changed, or the light of a
// face neighbour, whose cells the border faces look into; not when a chunk
// that only touches an edge changed.
TEST_F(ChunkMeshTest, SourceChangesWithListOwnLightAndFaceNeighbourLight) {
    Chunk* centre = add_chunk(0, 1, 0);
    struct Case {
        const char* what;
        int32_t cx, cy, cz;  // the chunk that changes
        bool relist;         // its list is swapped, not its light flipped
        bool stale;
    };
    const Case cases[] = {
        {"own list", 0, 1, 0, true, true},
        {"own light", 0, 1, 0, false, true},
        {"+x light", 1, 1, 0, false, true},
        {"-x light", -1, 1, 0, false, true},
        {"+y light", 0, 2, 0, false, true},
        {"-y light", 0, 0, 0, false, true},
        {"+z light", 0, 1, 1, false, true},
        {"-z light", 0, 1, -1, false, true},
        {"edge neighbour light", 1, 1, 1, false, false},
        {"neighbour list", 1, 1, 0, true, false},
    };
    for (const Case& c : cases) add_chunk(c.cx, c.cy, c.cz);
    for (const Case& c : cases) {
        const ChunkMeshSource before = chunk_mesh_source(world_, centre);
        Chunk* changed = get(c.cx, c.cy, c.cz);
        if (c.relist)
            chunk_cache_visible_blocks(changed, world_);
        else
            changed->light_stamp = world_next_stamp();
        const ChunkMeshSource after = chunk_mesh_source(world_, centre);
        EXPECT_EQ(!chunk_mesh_source_equal(&before, &after), c.stale) << c.what;
    }
}

// Each exposed face becomes four corners in the range of its type, face and
// section, carrying the light of the cell it looks into, also when that cell
// lies in the next chunk; an entry whose cell turned to air makes no faces but
// is still counted.
TEST_F(ChunkMeshTest, FacesCarryTheLightOfTheCellTheyLookInto) {
    Chunk* chunk = add_chunk(0, 0, 0);
    Chunk* east = add_chunk(1, 0, 0);
    memset(chunk->skylight, 9, sizeof chunk->skylight);
    memset(east->skylight, 4, sizeof east->skylight);
    east->blocklight[0][20][5][0] = 12;  // the cell the +x face of (31, 20, 5) looks into
    chunk->blocks[20][5][31].type = BLOCK_SAND;
    chunk->blocks[40][6][2].type = BLOCK_GLOWSTONE;
    chunk->blocks[10][10][10].type = BLOCK_STONE;
    chunk_cache_visible_blocks(chunk, world_);
    chunk->blocks[10][10][10].type = BLOCK_AIR;  // edited after the list was made

    uint32_t stamp = 0;
    ASSERT_EQ(chunk_mesh_copy_list(chunk, &build_, &stamp), 3);
    ASSERT_TRUE(chunk_mesh_build(&build_, world_, chunk, 3));
    EXPECT_EQ(build_.cell_count, 3);
    EXPECT_EQ(build_.vertex_count, 2 * 6 * 4);
    struct Expect {
        BlockType type;
        int x, y, z, face, light;
    };
    const Expect faces[] = {
        {BLOCK_SAND, 31, 20, 5, 0, 12},    {BLOCK_SAND, 31, 20, 5, 1, 9},     {BLOCK_SAND, 31, 20, 5, 2, 9},
        {BLOCK_GLOWSTONE, 2, 40, 6, 3, 9}, {BLOCK_GLOWSTONE, 2, 40, 6, 5, 9},
    };
    for (const Expect& f : faces) {
        const int r = chunk_mesh_range(f.type, f.face, chunk_mesh_section(f.x, f.y, f.z));
        ASSERT_EQ(build_.start[r + 1] - build_.start[r], 4) << "type " << f.type << " face " << f.face;
        for (int v = build_.start[r]; v < build_.start[r + 1]; v++) {
            const ChunkMeshVertex& vertex = build_.vertices[v];
            EXPECT_EQ(vertex.cell[0], f.x);
            EXPECT_EQ(vertex.cell[1], f.y);
            EXPECT_EQ(vertex.cell[2], f.z);
            EXPECT_EQ(vertex.cell[3], f.face * 16 + f.light) << "type " << f.type << " face " << f.face;
            const signed char* sign = render_face_corners[f.face][v - build_.start[r]];
            EXPECT_EQ(vertex.corner[0], f.x + (sign[0] > 0));
            EXPECT_EQ(vertex.corner[1], f.y + (sign[1] > 0));
            EXPECT_EQ(vertex.corner[2], f.z + (sign[2] > 0));
        }
    }
}

// The count of blocks within the cut, whole chunks at a time where they lie
// wholly inside or outside, equals the block-by-block count, wherever the
// camera stands.
TEST_F(ChunkMeshTest, CountWithinTheCutMatchesBlockByBlock) {
    std::vector<uint16_t> cells;
    for (int y = 0; y < CHUNK_HEIGHT; y += 3)
        for (int z = 0; z < CHUNK_SIZE; z += 2)
            for (int x = 0; x < CHUNK_SIZE; x++) cells.push_back(static_cast<uint16_t>(x | z << 5 | y << 10));
    const int32_t chunk_x = 3, chunk_y = 1, chunk_z = -2;
    struct Case {
        Vector3 player;
        float render_distance;
    };
    const Case cases[] = {
        {{100.3f, 90.0f, -50.7f}, 10.0f}, {{100.3f, 90.0f, -50.7f}, 100.0f}, {{20.0f, 100.0f, 8.0f}, 100.0f},
        {{20.0f, 100.0f, 8.0f}, 50.0f},   {{-300.0f, 100.0f, 8.0f}, 100.0f}, {{130.9f, 64.0f, -33.1f}, 37.0f},
    };
    for (const Case& c : cases) {
        ChunkMeshView view = {};
        view.offset = Vector3{floorf(c.player.x), 0.0f, floorf(c.player.z)};
        view.cam = vec3_sub(c.player, view.offset);
        view.render_distance = c.render_distance;
        int expected = 0;
        for (uint16_t cell : cells) {
            const Vector3 pos = {static_cast<float>(chunk_x * CHUNK_SIZE + (cell & 31)) + 0.5f - view.offset.x,
                                 static_cast<float>(chunk_y * CHUNK_HEIGHT + (cell >> 10)) + 0.5f,
                                 static_cast<float>(chunk_z * CHUNK_SIZE + ((cell >> 5) & 31)) + 0.5f - view.offset.z};
            const Vector3 to = vec3_sub(pos, view.cam);
            if (render_block_in_range(to.x * to.x + to.y * to.y + to.z * to.z, c.render_distance)) expected++;
        }
        EXPECT_EQ(
            chunk_mesh_count_within(cells.data(), static_cast<int>(cells.size()), chunk_x, chunk_y, chunk_z, &view),
            expected)
            << "player " << c.player.x << "," << c.player.y << "," << c.player.z << " distance " << c.render_distance;
    }
}

}  // namespace

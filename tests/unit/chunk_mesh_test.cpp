// Chunk meshes on the CPU: staleness, faces and light, the count within the cut,
// the sections a frame can look into and the ground that hides far sections.
#include "chunk_mesh.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <random>
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

// Every chunk of the world as a mesh built from it: its links and solid cells.
std::vector<ChunkMesh> meshes_of(World* world) {
    std::vector<ChunkMesh> meshes(static_cast<size_t>(world->chunk_cache.chunk_count));
    for (size_t i = 0; i < meshes.size(); i++) chunk_mesh_read_cells(&world->chunk_cache.chunks[i], &meshes[i]);
    return meshes;
}

ChunkMeshView view_from(Vector3 eye, float yaw, float pitch, float distance) {
    const Vector3 ahead = {cosf(pitch) * cosf(yaw), sinf(pitch), cosf(pitch) * sinf(yaw)};
    const Camera3D camera = {eye, vec3_add(eye, ahead), {0.0f, 1.0f, 0.0f}, 90.0f, CAMERA_PERSPECTIVE};
    return ChunkMeshView{{}, eye, distance, render_frustum_make(camera, 1.5f)};
}

// Stone up to y 40 over chunks x 0..2, z -1..1, a ridge up to y 50 across
// x 20..27 in the chunk z 0, the camera at (2.5, 44.6, -0.5) looking along +x
// a little down, so that lines to the boxes at z 2..8 set out over the chunk z
// -1; the last rows look from z 16.5, and from planes between cells.
TEST_F(ChunkMeshTest, NearerGroundHidesOnlyWhatEveryLineOfSightToItMeets) {
    for (int cz = -1; cz <= 1; cz++)
        for (int cx = 0; cx <= 2; cx++) set_box(add_chunk(cx, 0, cz), 0, 0, 0, CHUNK_SIZE, 40, CHUNK_SIZE, BLOCK_STONE);
    set_box(get(0, 0, 0), 20, 40, 0, 28, 50, CHUNK_SIZE, BLOCK_STONE);
    const struct {
        const char* name;
        Vector3 eye;
        double low[3], high[3];
        bool notch, eye_in_block, unknown, hidden;
    } rows[] = {
        {"behind the ridge", {2.5f, 44.6f, -0.5f}, {40, 36, 2}, {48, 41, 8}, false, false, false, true},
        {"just above the line over the ridge",
         {2.5f, 44.6f, -0.5f},
         {40, 56.7, 4},
         {41, 57.4, 5},
         false,
         false,
         false,
         false},
        {"before the ridge", {2.5f, 44.6f, -0.5f}, {10, 36, 2}, {18, 41, 8}, false, false, false, false},
        {"the ridge itself", {2.5f, 44.6f, -0.5f}, {20, 40, 4}, {28, 46, 5}, false, false, false, false},
        {"behind a notch in the ridge", {2.5f, 44.6f, -0.5f}, {40, 36, 2}, {48, 41, 8}, true, false, false, false},
        {"from inside a block", {2.5f, 44.6f, -0.5f}, {40, 36, 2}, {48, 41, 8}, false, true, false, false},
        {"past the camera's chunk, unknown", {2.5f, 44.6f, -0.5f}, {40, 36, 2}, {48, 41, 8}, false, false, true, false},
        {"straight ahead, behind the ridge",
         {2.5f, 44.6f, 16.5f},
         {40, 36, 15},
         {48, 41, 17},
         false,
         false,
         false,
         true},
        {"level, on a plane between cells",
         {2.5f, 45.0f, 16.5f},
         {40, 44, 15},
         {48, 46, 17},
         false,
         false,
         false,
         false},
        {"along a plane between cells", {2.5f, 44.6f, 16.0f}, {40, 36, 15}, {48, 41, 17}, false, false, false, false},
    };
    ChunkMeshHorizon horizon = {};
    for (const auto& r : rows) {
        set_box(get(0, 0, 0), 20, 40, 1, 28, 50, 3, r.notch ? BLOCK_AIR : BLOCK_STONE);
        std::vector<ChunkMesh> meshes = meshes_of(world_);
        if (r.unknown)
            for (ChunkMesh& mesh : meshes)
                if (mesh.chunk_x == 0 && mesh.chunk_z == -1) mesh.links[0] = CHUNK_MESH_UNKNOWN;
        const ChunkMeshView view = view_from(r.eye, 0.0f, -0.1f, 200.0f);
        chunk_mesh_horizon_make(&horizon, meshes.data(), static_cast<int>(meshes.size()), &view, r.eye_in_block);
        EXPECT_EQ(chunk_mesh_horizon_hides(&horizon, r.low, r.high), r.hidden) << r.name;
    }
    chunk_mesh_horizon_free(&horizon);
}

// Whether a line from `eye` to `to` meets a solid cell within the cut that
// lies outside the box from `low` to `high`, whose cells are not drawn.
bool meets_solid(World* world, const double* eye, const double* to, double cut, const double* low, const double* high) {
    double dir[3], t_max[3], t_delta[3];
    int cell[3], step[3];
    double length = 0.0;
    for (int a = 0; a < 3; a++) {
        dir[a] = to[a] - eye[a];
        length += dir[a] * dir[a];
    }
    length = sqrt(length);
    for (int a = 0; a < 3; a++) {
        dir[a] /= length;
        cell[a] = static_cast<int>(floor(eye[a]));
        step[a] = dir[a] > 0 ? 1 : -1;
        const double edge = dir[a] > 0 ? cell[a] + 1.0 : cell[a];
        t_delta[a] = dir[a] != 0.0 ? fabs(1.0 / dir[a]) : INFINITY;
        t_max[a] = dir[a] != 0.0 ? (edge - eye[a]) / dir[a] : INFINITY;
    }
    for (double t = 0.0; t < length;) {
        double far = 0.0;
        bool in_box = true;
        for (int a = 0; a < 3; a++) {
            far += (cell[a] + 0.5 - eye[a]) * (cell[a] + 0.5 - eye[a]);
            in_box = in_box && cell[a] + 1 > low[a] && cell[a] < high[a];
        }
        if (!in_box && far <= cut * cut &&
            world_get_block_color(world_get_block(world, cell[0], cell[1], cell[2])).a != 0)
            return true;
        const int a = t_max[0] < t_max[1] ? (t_max[0] < t_max[2] ? 0 : 2) : (t_max[1] < t_max[2] ? 1 : 2);
        t = t_max[a];
        t_max[a] += t_delta[a];
        cell[a] += step[a];
    }
    return false;
}

// Rolling ground with caves and overhangs, seen from random places above it
// and in its caves: every line of sight to a box said to be hidden, towards
// any point of it inside the view, meets a solid cell outside the box first.
TEST_F(ChunkMeshTest, WhatNearerGroundHidesIsBehindSolidCellsFromEverywhere) {
    std::mt19937 random(5);
    std::vector<std::array<double, 3>> caves;
    auto uniform = [&random](double low, double high) {
        return std::uniform_real_distribution<double>(low, high)(random);
    };
    for (int cz = -1; cz <= 1; cz++)
        for (int cx = -1; cx <= 1; cx++) {
            Chunk* chunk = add_chunk(cx, 0, cz);
            for (int z = 0; z < CHUNK_SIZE; z++)
                for (int x = 0; x < CHUNK_SIZE; x++) {
                    const int wx = cx * CHUNK_SIZE + x, wz = cz * CHUNK_SIZE + z;
                    const int top = 30 + static_cast<int>(4 * sin(wx / 9.0) + 3 * cos(wz / 11.0) + uniform(0, 2));
                    set_box(chunk, x, 0, z, x + 1, top, z + 1, BLOCK_DIRT);
                }
            for (int cave = 0; cave < 12; cave++) {
                const int x = static_cast<int>(uniform(0, 28)), y = static_cast<int>(uniform(18, 40));
                const int z = static_cast<int>(uniform(0, 28));
                set_box(chunk, x, y, z, x + static_cast<int>(uniform(1, 5)), y + 3, z + static_cast<int>(uniform(1, 5)),
                        BLOCK_AIR);
                if (y < 24) caves.push_back({cx * CHUNK_SIZE + x + 0.5, y + 1.5, cz * CHUNK_SIZE + z + 0.5});
            }
        }
    const std::vector<ChunkMesh> meshes = meshes_of(world_);
    ChunkMeshHorizon horizon = {};
    int hidden = 0;
    for (int v = 0; v < 40; v++) {
        double eye[3] = {uniform(-20, 20), 0.0, uniform(-20, 20)};
        int ground = CHUNK_HEIGHT;
        while (ground > 0 && world_get_block(world_, static_cast<int>(floor(eye[0])), ground - 1,
                                             static_cast<int>(floor(eye[2]))) == BLOCK_AIR)
            ground--;
        eye[1] = ground + uniform(1.6, 24);
        // Every other view from the middle of a cave cell deep under the ground.
        const bool underground = v % 2 == 1;
        if (underground) {
            const size_t pick = static_cast<size_t>(uniform(0, static_cast<double>(caves.size())));
            const std::array<double, 3>& cave = caves[std::min(pick, caves.size() - 1)];
            for (int a = 0; a < 3; a++) eye[a] = cave[static_cast<size_t>(a)];
        }
        const float distance = static_cast<float>(uniform(40, 140));
        const Vector3 cam = {static_cast<float>(eye[0]), static_cast<float>(eye[1]), static_cast<float>(eye[2])};
        const ChunkMeshView view =
            view_from(cam, static_cast<float>(uniform(0, 6.3)), static_cast<float>(uniform(-0.7, 0.3)), distance);
        chunk_mesh_horizon_make(&horizon, meshes.data(), static_cast<int>(meshes.size()), &view, false);
        // Boxes around the ground's surface, or around the camera's height in a cave, where lines of
        // sight graze the ground or the floor in front.
        for (int b = 0; b < 400; b++) {
            const int x = static_cast<int>(uniform(-32, 92)), z = static_cast<int>(uniform(-32, 92));
            int top = CHUNK_HEIGHT;
            while (top > 0 && world_get_block(world_, x, top - 1, z) == BLOCK_AIR) top--;
            if (underground) top = static_cast<int>(eye[1] + uniform(-3, 3));
            const int size = static_cast<int>(uniform(1, 9));
            const double low[3] = {static_cast<double>(x), top - uniform(0, 4), static_cast<double>(z)};
            const double high[3] = {low[0] + size, top + uniform(0, 3), low[2] + size};
            if (!chunk_mesh_horizon_hides(&horizon, low, high)) continue;
            hidden++;
            for (int p = 0; p < 40; p++) {
                const double at[3] = {p < 8 ? (p & 1 ? high[0] : low[0]) : uniform(low[0], high[0]),
                                      p < 8 ? (p & 2 ? high[1] : low[1]) : uniform(low[1], high[1]),
                                      p < 8 ? (p & 4 ? high[2] : low[2]) : uniform(low[2], high[2])};
                const Vector3 point = {static_cast<float>(at[0] - eye[0]) + cam.x, static_cast<float>(at[1]),
                                       static_cast<float>(at[2] - eye[2]) + cam.z};
                if (!render_frustum_sphere(&view.frustum, point, 0.0f)) continue;
                ASSERT_TRUE(meets_solid(world_, eye, at, RENDER_CUT_SHARE * distance, low, high))
                    << "view " << v << " box " << low[0] << "," << low[1] << "," << low[2] << " point " << at[0] << ","
                    << at[1] << "," << at[2];
            }
        }
    }
    EXPECT_GT(hidden, 200) << "the ground should hide a good share of the boxes";
    chunk_mesh_horizon_free(&horizon);
}

}  // namespace

// Picture test: the chunk meshes draw the picture the block-by-block pass
// draws, in a real window, at places chosen for what can go wrong: the
// standard scene at three render distances, the view from inside the rock
// (which sees through it), a cave lit only by glowstone, a
// cliff on a chunk border, a wall with more faces than one vertex array
// reaches, the terrain from high above, and a room whose neighbour chunk is lit
// after its mesh was made. At most 0.1 % of the pixels may differ, none by more
// than 2 levels per channel, and both passes must count the same blocks.
//
//   qvox_picture_test <output directory>      (run from the repository root)
#include <limits.h>
#include <sys/stat.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "chunk_mesh.h"
#include "clouds.h"
#include "game.h"
#include "menu.h"
#include "player.h"
#include "raylib.h"
#include "scene.h"
#include "world.h"

namespace {

constexpr int WINDOW_WIDTH = 1200;
constexpr int WINDOW_HEIGHT = 800;
// The first frames make the meshes; the last one is compared.
constexpr int FRAMES = 3;
constexpr double MAX_DIFFERING_SHARE = 0.001;
constexpr int MAX_LEVELS = 2;
constexpr float LOOK_EAST = 1.5707964f;
constexpr float LOOK_WEST = -1.5707964f;
constexpr float LOOK_SOUTH = 3.1415927f;  // along -Z

struct Place {
    const char* name;
    float render_distance;
    float x, y, z;  // the player's position; y relative to the surface at (x, z) when `above_surface`
    bool above_surface;
    float yaw, pitch;
};

struct Shot {
    Image image;
    int blocks_rendered;
};

int failures = 0;

int surface(int x, int z) {
    return smooth_terrain_height(x, z, SCENE_SEED);
}

void set_cell(World* world, int x, int y, int z, BlockType type) {
    Chunk* chunk = world_get_chunk(world, world_to_chunk_xz(x), world_to_chunk_y(y), world_to_chunk_xz(z));
    if (!chunk) return;
    pthread_mutex_lock(&chunk->mutex);
    world_chunk_set_block(chunk, world_to_local_xz(x), world_to_local_y(y), world_to_local_xz(z), type);
    pthread_mutex_unlock(&chunk->mutex);
}

// Has the worker relight and relist the chunks of the box [x0, x1) x [y0, y1)
// x [z0, z1) and their neighbours, as an edit does block by block.
void redo_chunks(World* world, int x0, int y0, int z0, int x1, int y1, int z1) {
    for (int cy = world_to_chunk_y(y0) - 1; cy <= world_to_chunk_y(y1 - 1) + 1; cy++)
        for (int cz = world_to_chunk_xz(z0) - 1; cz <= world_to_chunk_xz(z1 - 1) + 1; cz++)
            for (int cx = world_to_chunk_xz(x0) - 1; cx <= world_to_chunk_xz(x1 - 1) + 1; cx++) {
                Chunk* chunk = world_get_chunk(world, cx, cy, cz);
                if (!chunk || !chunk->loaded) continue;
                pthread_mutex_lock(&chunk->mutex);
                chunk->needs_relighting = true;
                chunk->meshed = false;
                pthread_mutex_unlock(&chunk->mutex);
                worker_queue_chunk(world, chunk);
            }
    scene_wait_for_worker(world);
}

void fill_box(World* world, int x0, int y0, int z0, int x1, int y1, int z1, BlockType type) {
    for (int y = y0; y < y1; y++)
        for (int z = z0; z < z1; z++)
            for (int x = x0; x < x1; x++) set_cell(world, x, y, z, type);
    redo_chunks(world, x0, y0, z0, x1, y1, z1);
}

// A room under the spawn, sealed from the sky, with three glowstone blocks.
void dig_cave(World* world) {
    const int h = surface(8, 8);
    fill_box(world, 1, h - 20, 1, 15, h - 14, 15, BLOCK_AIR);
    fill_box(world, 4, h - 20, 12, 5, h - 19, 13, BLOCK_GLOWSTONE);
    fill_box(world, 12, h - 19, 3, 13, h - 18, 4, BLOCK_GLOWSTONE);
    fill_box(world, 9, h - 15, 13, 10, h - 14, 14, BLOCK_GLOWSTONE);
}

// A pit east of the spawn whose west wall is the last column of chunk x = 0.
void dig_cliff(World* world) {
    fill_box(world, 32, 80, -6, 44, 140, 22, BLOCK_AIR);
}

// The south wall of the pit turned into a three-dimensional checkerboard of
// air: a chunk with more faces than one window of corner numbers reaches.
void dig_sponge(World* world) {
    for (int y = 64; y < 100; y++)
        for (int z = -32; z < -6; z++)
            for (int x = 32; x < 64; x++)
                if (((x + y + z) & 1) == 0) set_cell(world, x, y, z, BLOCK_AIR);
    redo_chunks(world, 32, 64, -32, 64, 100, -6);
}

// A dark room in chunk x = 1 whose west wall is the last column of chunk x = 0,
// deep under the surface.
void dig_border_room(World* world) {
    fill_box(world, 32, 70, 2, 41, 76, 12, BLOCK_AIR);
}

void place_player(GameState* game, const Place& place) {
    float y = place.y;
    if (place.above_surface) y += static_cast<float>(surface(static_cast<int>(place.x), static_cast<int>(place.z)));
    game->player->position = Vector3{place.x, y, place.z};
    game->menu->render_distance = place.render_distance;
    clouds_update(game->clouds, game->player->position);
    scene_look(game, place.yaw, place.pitch);
}

Shot draw_place(GameState* game, bool immediate) {
    game->render.immediate_blocks = immediate;
    Shot shot = {};
    for (int frame = 0; frame < FRAMES; frame++) {
        game_update_render(game);
        BeginDrawing();
        ClearBackground(SKY_COLOR);
        game_render_world(game);
        if (frame == FRAMES - 1) shot.image = LoadImageFromScreen();
        EndDrawing();
    }
    shot.blocks_rendered = game->frame.blocks_rendered;
    return shot;
}

void save(const Image& image, const char* dir, const char* place, const char* pass) {
    char path[PATH_MAX] = {};
    std::snprintf(path, sizeof path, "%s/%s_%s.png", dir, place, pass);
    if (!ExportImage(image, path)) std::fprintf(stderr, "[picture] writing %s failed\n", path);
}

// Counts the pixels that differ and the largest difference of one channel.
void compare(const Image& a, const Image& b, long* differing, int* largest) {
    *differing = 0;
    *largest = 0;
    const unsigned char* pa = static_cast<const unsigned char*>(a.data);
    const unsigned char* pb = static_cast<const unsigned char*>(b.data);
    const long pixels = static_cast<long>(a.width) * a.height;
    for (long i = 0; i < pixels; i++) {
        int worst = 0;
        for (int c = 0; c < 3; c++) {
            const int d = std::abs(static_cast<int>(pa[i * 4 + c]) - static_cast<int>(pb[i * 4 + c]));
            if (d > worst) worst = d;
        }
        if (worst > 0) (*differing)++;
        if (worst > *largest) *largest = worst;
    }
}

int largest_mesh_faces(const ChunkMeshSet* set) {
    int largest = 0;
    for (int i = 0; set && i < set->count; i++)
        if (set->meshes[i].vertex_count / 4 > largest) largest = set->meshes[i].vertex_count / 4;
    return largest;
}

void check_place(GameState* game, const Place& place, const char* out_dir) {
    place_player(game, place);
    Shot meshes = draw_place(game, false);
    Shot blocks = draw_place(game, true);
    save(meshes.image, out_dir, place.name, "meshes");
    save(blocks.image, out_dir, place.name, "blocks");
    const bool same_size = meshes.image.width == blocks.image.width && meshes.image.height == blocks.image.height &&
                           meshes.image.format == PIXELFORMAT_UNCOMPRESSED_R8G8B8A8 &&
                           blocks.image.format == meshes.image.format;
    long differing = 0;
    int largest = 0;
    if (same_size) compare(meshes.image, blocks.image, &differing, &largest);
    const long pixels = static_cast<long>(meshes.image.width) * meshes.image.height;
    const bool ok = same_size && pixels > 0 && differing <= static_cast<long>(MAX_DIFFERING_SHARE * pixels) &&
                    largest <= MAX_LEVELS && meshes.blocks_rendered == blocks.blocks_rendered &&
                    blocks.blocks_rendered > 0;
    std::printf(
        "[picture] %-10s distance %3.0f: %ld of %ld pixels differ (%.4f %%), largest difference %d levels, "
        "blocks %d (meshes) %d (block by block), largest mesh %d faces %s\n",
        place.name, place.render_distance, differing, pixels, pixels > 0 ? 100.0 * differing / pixels : 0.0, largest,
        meshes.blocks_rendered, blocks.blocks_rendered, largest_mesh_faces(game->render.chunk_meshes),
        ok ? "ok" : "FAIL");
    if (!ok) failures++;
    UnloadImage(meshes.image);
    UnloadImage(blocks.image);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: qvox_picture_test <output directory>\n");
        return 2;
    }
    char out_dir[PATH_MAX] = {};
    if ((mkdir(argv[1], 0755) != 0 && errno != EEXIST) || !realpath(argv[1], out_dir)) {
        std::fprintf(stderr, "[picture] no output directory %s: %s\n", argv[1], std::strerror(errno));
        return 1;
    }
    char dir[PATH_MAX] = {};
    char home[PATH_MAX] = {};
    if (!scene_enter_scratch_dir(dir, sizeof dir, home, sizeof home)) return 1;
    SetTraceLogLevel(LOG_NONE);
    InitWindow(WINDOW_WIDTH, WINDOW_HEIGHT, "qvox picture test");
    world_system_init();
    static GameState game;
    const bool ready = scene_set_up(&game, 10.0f);
    if (ready) {
        const float spawn_y = game.player->position.y;
        const Place standard[] = {
            {"standard10", 10.0f, SCENE_X, spawn_y, SCENE_Z, false, SCENE_YAW, SCENE_PITCH},
            {"standard50", 50.0f, SCENE_X, spawn_y, SCENE_Z, false, SCENE_YAW, SCENE_PITCH},
            {"standard100", 100.0f, SCENE_X, spawn_y, SCENE_Z, false, SCENE_YAW, SCENE_PITCH},
        };
        for (const Place& place : standard) check_place(&game, place, out_dir);
        check_place(&game, Place{"in_rock", 100.0f, 20.0f, 55.0f, -10.0f, false, LOOK_SOUTH, 0.3f}, out_dir);
        dig_cave(game.world);
        check_place(&game, Place{"cave", 50.0f, 2.5f, -19.0f, 8.5f, true, LOOK_EAST, -0.1f}, out_dir);
        dig_cliff(game.world);
        check_place(&game, Place{"cliff", 50.0f, 42.5f, 81.0f, 8.5f, false, LOOK_WEST, 0.15f}, out_dir);
        dig_sponge(game.world);
        check_place(&game, Place{"sponge", 50.0f, 42.5f, 81.0f, 8.5f, false, LOOK_SOUTH, 0.0f}, out_dir);
        check_place(&game, Place{"high", 100.0f, 8.5f, 150.0f, 8.5f, false, LOOK_EAST, -1.2f}, out_dir);
        // Glowstone one block from the border relights chunk x = 1 only; the
        // wall's faces belong to chunk x = 0 and read that light, so its mesh
        // must be made again although its own list and light stay the same.
        dig_border_room(game.world);
        const Place room = {"border", 50.0f, 39.5f, 71.0f, 7.5f, false, LOOK_WEST, 0.0f};
        check_place(&game, room, out_dir);
        world_set_block(game.world, 33, 72, 7, BLOCK_GLOWSTONE);
        scene_wait_for_worker(game.world);
        Place lit = room;
        lit.name = "border_lit";
        check_place(&game, lit, out_dir);
    } else {
        std::fprintf(stderr, "[picture] setting up the scene failed\n");
        failures++;
    }
    scene_tear_down(&game);
    CloseWindow();
    scene_leave_scratch_dir(dir, home);
    return failures == 0 ? 0 : 1;
}

// The world render pass: every listed block within reach, fogged towards the
// sky, then the outline of the targeted block, the ground grid and the clouds.
// Everything is drawn shifted by the player's whole-block x and z, so vertex
// coordinates stay small and precise however far the player walks.
//
// Blocks normally come from the chunk meshes kept on the graphics card. The
// block-by-block pass below draws the same picture on the CPU every frame; it
// stays for comparing pictures and timing the two.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "chunk_mesh.h"
#include "clouds.h"
#include "game.h"
#include "menu.h"
#include "player.h"
#include "rendering.h"
#include "utils.h"
#include "vec_math.h"

static constexpr Color OUTLINE_COLOR = {253, 249, 0, 255};
static constexpr int GRID_SLICES = 30;
// Render distance when no menu record is attached (never the case in the game).
static constexpr float RENDER_FALLBACK_DISTANCE = 10.0f;
// Blocks are drawn near to far in bands of this many blocks, and grouped by
// type inside a band. Near blocks first let the depth test reject most hidden
// pixels before they are shaded; grouping by type keeps the bound texture from
// changing at almost every block, which would open a new draw call each time
// and flush the batch every 256 of them. Opaque cubes under a depth test give
// the same picture in any order.
static constexpr float RENDER_BAND_WIDTH = 8.0f;
static constexpr int RENDER_MAX_BANDS = 16;
static constexpr int RENDER_TYPES = BLOCK_GLOWSTONE + 1;
static constexpr int RENDER_KEYS = RENDER_MAX_BANDS * RENDER_TYPES;
// Widens the view volume a little so that rounding never drops an edge block.
static constexpr float RENDER_FRUSTUM_SLACK = 1.05f;

struct RenderItem {
    Vector3 pos;  // cube centre in shifted coordinates
    Color color;  // block colour after fog
    int world_x, world_y, world_z;
    uint8_t exposed_faces;
    uint8_t type;
    uint16_t key;  // band * RENDER_TYPES + type
};

// Buffers reused from frame to frame; only the main thread draws.
struct RenderScratch {
    Chunk** chunks;
    int chunk_capacity;
    CachedVisibleBlock* copy;
    int copy_capacity;
    RenderItem* items;   // blocks to draw, in collection order
    RenderItem* sorted;  // the same, ordered by key
    int item_count;
    int item_capacity;
    int sorted_capacity;
    int key_count[RENDER_KEYS];
};

static RenderScratch scratch = {};

// What one pass needs to place, fog and cull a block.
using PassView = ChunkMeshView;

// Pointers to every record in use; 0 on an allocation failure (a frame without chunks).
static int snapshot_chunks(World* world) {
    pthread_mutex_lock(&world->cache_mutex);
    const int count = world->chunk_cache.chunk_count;
    int taken = 0;
    if (grow_buffer(reinterpret_cast<void**>(&scratch.chunks), &scratch.chunk_capacity, count, sizeof(Chunk*))) {
        for (int i = 0; i < count; i++) scratch.chunks[i] = &world->chunk_cache.chunks[i];
        taken = count;
    }
    pthread_mutex_unlock(&world->cache_mutex);
    return taken;
}

// Copies the chunk's active list under its swap lock; the count copied, 0 to skip the chunk.
static int copy_visible_list(Chunk* chunk) {
    pthread_mutex_lock(&chunk->mesh_swap_mutex);
    const int active = chunk->active_mesh.load();
    const int count = chunk->visible_count[active];
    const CachedVisibleBlock* list = chunk->visible_blocks[active];
    int copied = 0;
    if (count > 0 && list &&
        grow_buffer(reinterpret_cast<void**>(&scratch.copy), &scratch.copy_capacity, count,
                    sizeof(CachedVisibleBlock))) {
        memcpy(scratch.copy, list, static_cast<size_t>(count) * sizeof(CachedVisibleBlock));
        copied = count;
    }
    pthread_mutex_unlock(&chunk->mesh_swap_mutex);
    return copied;
}

static void push_item(const RenderItem* item) {
    if (!grow_buffer(reinterpret_cast<void**>(&scratch.items), &scratch.item_capacity, scratch.item_count + 1,
                     sizeof(RenderItem)))
        return;
    scratch.items[scratch.item_count++] = *item;
    scratch.key_count[item->key]++;
}

static uint16_t item_key(float dist, BlockType block) {
    int band = static_cast<int>(dist / RENDER_BAND_WIDTH);
    if (band >= RENDER_MAX_BANDS) band = RENDER_MAX_BANDS - 1;
    const int type = block > BLOCK_AIR && block < RENDER_TYPES ? static_cast<int>(block) : BLOCK_AIR;
    return static_cast<uint16_t>(band * RENDER_TYPES + type);
}

// Keeps the chunk's blocks within reach; returns how many count as rendered.
// Blocks outside the view volume count but are not drawn: they would not
// show, and the count stays the number of blocks within the render distance.
static int collect_chunk(const Chunk* chunk, int count, const PassView* view) {
    int kept = 0;
    for (int i = 0; i < count; i++) {
        const CachedVisibleBlock* entry = &scratch.copy[i];
        RenderItem item = {};
        item.world_x = chunk->chunk_x * CHUNK_SIZE + entry->x;
        item.world_y = chunk->chunk_y * CHUNK_HEIGHT + entry->y;
        item.world_z = chunk->chunk_z * CHUNK_SIZE + entry->z;
        item.pos =
            Vector3{static_cast<float>(item.world_x) + 0.5f - view->offset.x, static_cast<float>(item.world_y) + 0.5f,
                    static_cast<float>(item.world_z) + 0.5f - view->offset.z};
        const Vector3 to_block = vec3_sub(item.pos, view->cam);
        const float dist_sq = to_block.x * to_block.x + to_block.y * to_block.y + to_block.z * to_block.z;
        if (!render_block_in_range(dist_sq, view->render_distance)) continue;
        kept++;
        if (!render_frustum_sphere(&view->frustum, item.pos, RENDER_CUBE_RADIUS)) continue;
        const BlockType block = world_chunk_get_block(chunk, entry->x, entry->y, entry->z);
        const float dist = sqrtf(dist_sq);
        item.color = render_apply_fog(world_get_block_color(block), render_fog_factor(dist, view->render_distance));
        // A cell that turned to air since its list was built has the fully
        // transparent colour of air: counted, but drawing it would only punch
        // a hole into whatever lies behind it.
        if (item.color.a == 0) continue;
        item.exposed_faces = entry->exposed_faces;
        item.type = static_cast<uint8_t>(block);
        item.key = item_key(dist, block);
        push_item(&item);
    }
    return kept;
}

// Counting sort of the collected blocks by key; false when memory runs out.
static bool sort_items(void) {
    if (!grow_buffer(reinterpret_cast<void**>(&scratch.sorted), &scratch.sorted_capacity, scratch.item_count,
                     sizeof(RenderItem)))
        return false;
    int start[RENDER_KEYS] = {};
    for (int k = 1; k < RENDER_KEYS; k++) start[k] = start[k - 1] + scratch.key_count[k - 1];
    for (int i = 0; i < scratch.item_count; i++) scratch.sorted[start[scratch.items[i].key]++] = scratch.items[i];
    return true;
}

static void draw_items(World* world, Vector3 cam) {
    const RenderItem* order = sort_items() ? scratch.sorted : scratch.items;
    for (int i = 0; i < scratch.item_count; i++) {
        const RenderItem* item = &order[i];
        draw_cube_faces(item->pos, 1.0f, item->color, cam, world, item->world_x, item->world_y, item->world_z,
                        static_cast<BlockType>(item->type), item->exposed_faces);
    }
    scratch.item_count = 0;
    memset(scratch.key_count, 0, sizeof scratch.key_count);
}

static int render_blocks(World* world, const PassView* view) {
    const int chunk_count = snapshot_chunks(world);
    int rendered = 0;
    for (int c = 0; c < chunk_count; c++) {
        Chunk* chunk = scratch.chunks[c];
        if (!chunk->loaded.load() || !chunk->generated.load()) continue;
        const int count = copy_visible_list(chunk);
        if (count > 0) rendered += collect_chunk(chunk, count, view);
    }
    draw_items(world, view->cam);
    return rendered;
}

// The meshes are made when first needed; without them the pass draws block by
// block. Edits made earlier in the frame and light flipped since the last
// frame are in the meshes when this returns.
void game_update_render(GameState* game) {
    if (!game || !game->world || game->render.immediate_blocks) return;
    if (!game->render.chunk_meshes) {
        game->render.chunk_meshes = chunk_meshes_create();
        if (!game->render.chunk_meshes) {
            fprintf(stderr, "[render] Drawing blocks one by one\n");
            game->render.immediate_blocks = true;
            return;
        }
    }
    chunk_meshes_update(game->render.chunk_meshes, game->world);
}

void game_render_release(GameState* game) {
    if (!game) return;
    chunk_meshes_free(game->render.chunk_meshes);
    game->render.chunk_meshes = nullptr;
}

// The aspect BeginMode3D projects with, widened a little; a wider volume only draws more.
static float view_aspect(void) {
    const int render_w = GetRenderWidth(), render_h = GetRenderHeight();
    const int screen_w = GetScreenWidth(), screen_h = GetScreenHeight();
    float aspect = render_h > 0 ? static_cast<float>(render_w) / static_cast<float>(render_h) : 1.0f;
    if (screen_h > 0 && static_cast<float>(screen_w) / static_cast<float>(screen_h) > aspect)
        aspect = static_cast<float>(screen_w) / static_cast<float>(screen_h);
    return aspect * RENDER_FRUSTUM_SLACK;
}

void game_render_world(GameState* game) {
    if (!game) return;
    game->frame.blocks_rendered = 0;
    if (!game->world || !game->player) return;
    const Vector3 player_pos = game->player->position;
    const Vector3 world_cam = game->look.camera.position;
    const Vector3 offset = {floorf(player_pos.x), 0.0f, floorf(player_pos.z)};
    Camera3D camera = game->look.camera;
    camera.position = vec3_sub(world_cam, offset);
    camera.target = vec3_sub(camera.target, offset);
    PassView view = {};
    view.offset = offset;
    view.cam = camera.position;
    view.render_distance = game->menu ? game->menu->render_distance : RENDER_FALLBACK_DISTANCE;
    Camera3D wide = camera;
    wide.fovy = camera.fovy * RENDER_FRUSTUM_SLACK;
    view.frustum = render_frustum_make(wide, view_aspect());

    BeginMode3D(camera);
    const bool meshes = game->render.chunk_meshes && !game->render.immediate_blocks;
    game->frame.blocks_rendered =
        meshes ? chunk_meshes_draw(game->render.chunk_meshes, game->world, &view) : render_blocks(game->world, &view);
    if (game->target.found) {
        const Vector3 outline = {static_cast<float>(game->target.x) + 0.5f - offset.x,
                                 static_cast<float>(game->target.y) + 0.5f,
                                 static_cast<float>(game->target.z) + 0.5f - offset.z};
        DrawCubeWires(outline, 1.0f, 1.0f, 1.0f, OUTLINE_COLOR);
    }
    DrawGrid(GRID_SLICES, 1.0f);
    clouds_draw(game->clouds, world_cam, offset);
    EndMode3D();
}

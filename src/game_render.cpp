// The world render pass: every listed block within reach, fogged towards the
// sky, then the outline of the targeted block, the ground grid and the clouds.
// Everything is drawn shifted by the player's whole-block x and z, so vertex
// coordinates stay small and precise however far the player walks.
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "clouds.h"
#include "game.h"
#include "menu.h"
#include "player.h"
#include "rendering.h"
#include "vec_math.h"

static constexpr Color OUTLINE_COLOR = {253, 249, 0, 255};
static constexpr int GRID_SLICES = 30;
// Render distance when no menu record is attached (never the case in the game).
static constexpr float RENDER_FALLBACK_DISTANCE = 10.0f;
// One bucket per block type: blocks are drawn grouped by type, so the bound
// texture changes a handful of times per frame instead of at almost every
// block, which keeps the number of draw calls and batch flushes low.
static constexpr int RENDER_BUCKETS = BLOCK_GLOWSTONE + 1;

struct RenderItem {
    Vector3 pos;  // cube centre in shifted coordinates
    Color color;  // block colour after fog
    int world_x, world_y, world_z;
    uint8_t exposed_faces;
};

// Buffers reused from frame to frame; only the main thread draws.
struct RenderScratch {
    Chunk** chunks;
    int chunk_capacity;
    CachedVisibleBlock* copy;
    int copy_capacity;
    RenderItem* items[RENDER_BUCKETS];
    int item_count[RENDER_BUCKETS];
    int item_capacity[RENDER_BUCKETS];
};

static RenderScratch scratch = {};

// Grows *buffer to hold at least `needed` elements of `size` bytes; false when memory runs out.
static bool ensure_capacity(void** buffer, int* capacity, int needed, size_t size) {
    if (needed <= *capacity) return true;
    int grown = *capacity > 0 ? *capacity : 256;
    while (grown < needed) grown *= 2;
    void* bigger = realloc(*buffer, static_cast<size_t>(grown) * size);
    if (!bigger) return false;
    *buffer = bigger;
    *capacity = grown;
    return true;
}

// Pointers to every record in use; 0 on an allocation failure (a frame without chunks).
static int snapshot_chunks(World* world) {
    pthread_mutex_lock(&world->cache_mutex);
    const int count = world->chunk_cache.chunk_count;
    int taken = 0;
    if (ensure_capacity(reinterpret_cast<void**>(&scratch.chunks), &scratch.chunk_capacity, count, sizeof(Chunk*))) {
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
        ensure_capacity(reinterpret_cast<void**>(&scratch.copy), &scratch.copy_capacity, count,
                        sizeof(CachedVisibleBlock))) {
        memcpy(scratch.copy, list, static_cast<size_t>(count) * sizeof(CachedVisibleBlock));
        copied = count;
    }
    pthread_mutex_unlock(&chunk->mesh_swap_mutex);
    return copied;
}

static bool push_item(int bucket, const RenderItem* item) {
    const int n = scratch.item_count[bucket];
    if (!ensure_capacity(reinterpret_cast<void**>(&scratch.items[bucket]), &scratch.item_capacity[bucket], n + 1,
                         sizeof(RenderItem)))
        return false;
    scratch.items[bucket][n] = *item;
    scratch.item_count[bucket] = n + 1;
    return true;
}

// Sorts the chunk's blocks within reach into the type buckets; returns how many were kept.
static int collect_chunk(Chunk* chunk, int count, Vector3 offset, Vector3 cam, float render_distance) {
    int kept = 0;
    for (int i = 0; i < count; i++) {
        const CachedVisibleBlock* entry = &scratch.copy[i];
        const BlockType block = world_chunk_get_block(chunk, entry->x, entry->y, entry->z);
        RenderItem item = {};
        item.world_x = chunk->chunk_x * CHUNK_SIZE + entry->x;
        item.world_y = chunk->chunk_y * CHUNK_HEIGHT + entry->y;
        item.world_z = chunk->chunk_z * CHUNK_SIZE + entry->z;
        item.pos = Vector3{static_cast<float>(item.world_x) + 0.5f - offset.x, static_cast<float>(item.world_y) + 0.5f,
                           static_cast<float>(item.world_z) + 0.5f - offset.z};
        const Vector3 to_block = vec3_sub(item.pos, cam);
        const float dist_sq = to_block.x * to_block.x + to_block.y * to_block.y + to_block.z * to_block.z;
        if (!render_block_in_range(dist_sq, render_distance)) continue;
        const float fog = render_fog_factor(sqrtf(dist_sq), render_distance);
        item.color = render_apply_fog(world_get_block_color(block), fog);
        item.exposed_faces = entry->exposed_faces;
        const bool known = block > BLOCK_AIR && block < RENDER_BUCKETS;
        if (push_item(known ? static_cast<int>(block) : BLOCK_AIR, &item)) kept++;
    }
    return kept;
}

// Draws the buckets in type order. A cell that turned to air since its list
// was built has the fully transparent colour of air: it is counted but not
// drawn, so it cannot punch a hole into what lies behind it.
static void draw_buckets(World* world, Vector3 cam) {
    for (int bucket = 0; bucket < RENDER_BUCKETS; bucket++) {
        const BlockType type = static_cast<BlockType>(bucket);
        for (int i = 0; i < scratch.item_count[bucket]; i++) {
            const RenderItem* item = &scratch.items[bucket][i];
            if (item->color.a == 0) continue;
            draw_cube_faces(item->pos, 1.0f, item->color, cam, world, item->world_x, item->world_y, item->world_z, type,
                            item->exposed_faces);
        }
        scratch.item_count[bucket] = 0;
    }
}

static int render_blocks(World* world, Vector3 offset, Vector3 cam, float render_distance) {
    const int chunk_count = snapshot_chunks(world);
    int rendered = 0;
    for (int c = 0; c < chunk_count; c++) {
        Chunk* chunk = scratch.chunks[c];
        if (!chunk->loaded.load() || !chunk->generated.load()) continue;
        const int count = copy_visible_list(chunk);
        if (count > 0) rendered += collect_chunk(chunk, count, offset, cam, render_distance);
    }
    draw_buckets(world, cam);
    return rendered;
}

void game_render_world(GameState* game) {
    if (!game) return;
    game->blocks_rendered = 0;
    if (!game->world || !game->player) return;
    const Vector3 player_pos = game->player->position;
    const Vector3 world_cam = game->camera.position;
    const Vector3 offset = {floorf(player_pos.x), 0.0f, floorf(player_pos.z)};
    game->camera.position = vec3_sub(world_cam, offset);
    game->camera.target = vec3_sub(game->camera.target, offset);
    const float render_distance = game->menu ? game->menu->render_distance : RENDER_FALLBACK_DISTANCE;

    BeginMode3D(game->camera);
    game->blocks_rendered = render_blocks(game->world, offset, game->camera.position, render_distance);
    if (game->has_highlighted_block) {
        const Vector3 outline = {static_cast<float>(game->highlighted_block_x) + 0.5f - offset.x,
                                 static_cast<float>(game->highlighted_block_y) + 0.5f,
                                 static_cast<float>(game->highlighted_block_z) + 0.5f - offset.z};
        DrawCubeWires(outline, 1.0f, 1.0f, 1.0f, OUTLINE_COLOR);
    }
    DrawGrid(GRID_SLICES, 1.0f);
    clouds_draw(game->clouds, world_cam, offset);
    EndMode3D();

    game->camera.position = world_cam;
    game->camera.target = vec3_add(game->camera.target, offset);
}

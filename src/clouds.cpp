// The cloud layer: 3 x 3 tiles of 512 units, each an upper quad seen from below
// and a dimmer lower quad seen from above.
#include "clouds.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "rlgl.h"

CloudSystem* clouds_create(const char* cloud_image_path) {
    CloudSystem* clouds = static_cast<CloudSystem*>(calloc(1, sizeof(CloudSystem)));
    if (!clouds) {
        fprintf(stderr, "[clouds] Out of memory creating the cloud layer\n");
        return nullptr;
    }
    clouds->grid_size = 12;
    clouds->cloud_height = 300.0f;
    clouds->cloud_spacing = 64.0f;
    clouds->cloud_size = 64.0f;
    clouds->grid_offset = Vector2{0.0f, 0.0f};
    clouds->texture_loaded = false;
    if (cloud_image_path) {
        clouds->cloud_texture = LoadTexture(cloud_image_path);
        clouds->texture_loaded = clouds->cloud_texture.id != 0;
        if (!clouds->texture_loaded) fprintf(stderr, "[clouds] Failed to load %s\n", cloud_image_path);
    }
    if (clouds->texture_loaded) {
        // Seen at a grazing angle far away, a single-level texture shimmers into streaks.
        GenTextureMipmaps(&clouds->cloud_texture);
        SetTextureFilter(clouds->cloud_texture, TEXTURE_FILTER_TRILINEAR);
    }
    return clouds;
}

void clouds_free(CloudSystem* clouds) {
    if (!clouds) return;
    if (clouds->texture_loaded) UnloadTexture(clouds->cloud_texture);
    free(clouds);
}

void clouds_update(CloudSystem* clouds, Vector3 player_pos) {
    if (!clouds) return;
    const float inv_spacing = 1.0f / clouds->cloud_spacing;
    clouds->grid_offset = Vector2{player_pos.x * 0.1f * inv_spacing, player_pos.z * 0.1f * inv_spacing};
}

void clouds_reset(CloudSystem* clouds) {
    if (clouds) clouds->grid_offset = Vector2{0.0f, 0.0f};
}

int clouds_tile_index(float coord) {
    return static_cast<int>(floorf(coord * CLOUD_TILE_SCALE));
}

float clouds_tile_origin(float camera_coord, int tile_delta, float offset) {
    const float tile = static_cast<float>(clouds_tile_index(camera_coord) + tile_delta);
    return fmaf(tile, CLOUD_TILE_SIZE, -offset);
}

static void cloud_vertex(float u, float v, float x, float y, float z) {
    rlTexCoord2f(u, v);
    rlVertex3f(x, y, z);
}

static void draw_tile(float x0, float z0, float y) {
    const float x1 = x0 + CLOUD_TILE_SIZE, z1 = z0 + CLOUD_TILE_SIZE;
    rlBegin(RL_QUADS);
    rlColor4ub(255, 255, 255, 220);
    cloud_vertex(0.0f, 0.0f, x0, y, z0);
    cloud_vertex(1.0f, 0.0f, x1, y, z0);
    cloud_vertex(1.0f, 1.0f, x1, y, z1);
    cloud_vertex(0.0f, 1.0f, x0, y, z1);
    rlEnd();
    const float lower = y - CLOUD_LOWER_DROP;
    rlBegin(RL_QUADS);
    rlColor4ub(180, 180, 180, 160);
    cloud_vertex(0.0f, 0.0f, x0, lower, z1);
    cloud_vertex(1.0f, 0.0f, x1, lower, z1);
    cloud_vertex(1.0f, 1.0f, x1, lower, z0);
    cloud_vertex(0.0f, 1.0f, x0, lower, z0);
    rlEnd();
}

void clouds_draw(CloudSystem* clouds, Vector3 camera_pos, Vector3 camera_offset) {
    if (!clouds || !clouds->texture_loaded) return;
    // Blend mode first: a change of mode flushes the batch and would drop the texture choice.
    BeginBlendMode(BLEND_ALPHA);
    rlSetTexture(clouds->cloud_texture.id);
    const float y = clouds->cloud_height - camera_offset.y;
    for (int tile_dx = -1; tile_dx <= 1; tile_dx++) {
        for (int tile_dz = -1; tile_dz <= 1; tile_dz++) {
            const float x0 = clouds_tile_origin(camera_pos.x, tile_dx, camera_offset.x);
            const float z0 = clouds_tile_origin(camera_pos.z, tile_dz, camera_offset.z);
            draw_tile(x0, z0, y);
        }
    }
    rlSetTexture(0);
    EndBlendMode();
}

// A flat layer of textured cloud tiles high above the terrain, kept centred on
// the tile under the camera. Main thread only.
#pragma once

#include <cstdint>

#include "raylib.h"

constexpr float CLOUD_TILE_SIZE = 512.0f;
constexpr float CLOUD_TILE_SCALE = 0.001953125f;  // 1 / CLOUD_TILE_SIZE
constexpr float CLOUD_LOWER_DROP = 2.0f;          // the dimmer lower quad hangs this far below

struct CloudSystem {
    int32_t grid_size;
    float cloud_height;   // world height of the upper quad of every tile
    float cloud_spacing;  // divisor of clouds_update
    float cloud_size;
    Vector2 grid_offset;  // player position scaled by clouds_update
    Texture2D cloud_texture;
    bool texture_loaded;  // drawing happens only when the image loaded
};

// Null when the record cannot be allocated. A null or unreadable image gives a
// layer that draws nothing.
CloudSystem* clouds_create(const char* cloud_image_path);
void clouds_free(CloudSystem* clouds);
void clouds_update(CloudSystem* clouds, Vector3 player_pos);
void clouds_reset(CloudSystem* clouds);
// Inside the 3D pass; camera_pos in world coordinates, camera_offset the shift
// the render pass subtracts from every world coordinate.
void clouds_draw(CloudSystem* clouds, Vector3 camera_pos, Vector3 camera_offset);

// Tile index of a world coordinate along x or z (floor, not truncation).
int clouds_tile_index(float coord);
// Minimum corner, in render coordinates, of the tile tile_delta (-1, 0, +1)
// away from the camera's tile along one axis.
float clouds_tile_origin(float camera_coord, int tile_delta, float offset);

// Drawing one block's exposed faces with texture, per-face shading and light;
// the block raycast; the distance fog arithmetic of the world render pass.
#pragma once

#include <cstdint>

#include "raylib.h"
#include "world.h"

// Blocks farther than this share of the render distance are not drawn.
constexpr float RENDER_CUT_SHARE = 0.75f;
// Fog starts at this share of the render distance and takes this share to be complete.
constexpr float RENDER_FOG_START_SHARE = 0.6f;
constexpr float RENDER_FOG_LENGTH_SHARE = 0.4f;
constexpr float RAYCAST_STEP = 0.1f;
// Radius of a sphere around a unit cube (sqrt(3) / 2), rounded up.
constexpr float RENDER_CUBE_RADIUS = 0.87f;

// Has the heap keep RENDER_HEAP_KEEP_BYTES of freed memory; before the window opens.
bool render_keep_freed_memory(void);

// The view volume of a perspective camera as four side planes and the eye
// plane, for skipping blocks that cannot appear on screen.
struct RenderFrustum {
    Vector3 eye;
    Vector3 normals[5];  // unit outward normals: eye plane, right, left, top, bottom
};

// Draws the faces of one block that are set in exposed_faces and turned towards
// cam_pos. pos and cam_pos are in the coordinates of the current 3D pass;
// (block_x, block_y, block_z) is the block's world cell, used for the light.
// Between BeginMode3D and EndMode3D, main thread only.
void draw_cube_faces(Vector3 pos, float size, Color color, Vector3 cam_pos, World* world, int block_x, int block_y,
                     int block_z, BlockType block_type, uint8_t exposed_faces);

// Walks the view ray in steps of 0.1 from the camera. On a hit within
// max_distance writes the hit cell and the cell the ray passed just before it
// and returns true; on a miss the outputs are left alone.
bool raycast_block(World* world, Camera3D camera, float max_distance, int* out_block_x, int* out_block_y,
                   int* out_block_z, int* out_adjacent_x, int* out_adjacent_y, int* out_adjacent_z);

// Per face 0..5: the signs (x, y, z) of its four corners around the block
// centre, counter-clockwise seen from outside, and their texture coordinates
// (v downwards in the image).
extern const signed char render_face_corners[6][4][3];
extern const float render_face_uv[6][4][2];

// Light of the cell face 0..5 of block (x, y, z) looks into: the larger of sky
// and block light. `own` is the block's chunk record, or null. Main thread
// only, like world_get_skylight: no other thread adds, moves or removes records.
int render_face_light(World* world, const Chunk* own, int x, int y, int z, int face);
// Brightness of face 0..5 looking into a cell of the given light level 0..15.
float render_face_brightness(int face, int light);
// The block colour shaded for that face and light; alpha unchanged.
Color render_face_color(Color color, int face, int light);
// True when face 0..5 is turned towards a camera in direction to_cam from the block centre.
bool render_face_towards(int face, Vector3 to_cam);
// True when a block at squared distance dist_sq is within the drawn range.
bool render_block_in_range(float dist_sq, float render_distance);
// 0 up to the fog start, rising to 1 over the fog length.
float render_fog_factor(float dist, float render_distance);
// The colour blended towards the sky colour by fog_factor; alpha unchanged.
Color render_apply_fog(Color color, float fog_factor);
// Frustum of `camera` (its fovy in degrees) for a viewport of the given aspect
// (width / height). The planes pass through the eye.
RenderFrustum render_frustum_make(Camera3D camera, float aspect);
// False only when a sphere lies wholly outside the frustum: never drops anything visible.
bool render_frustum_sphere(const RenderFrustum* frustum, Vector3 center, float radius);

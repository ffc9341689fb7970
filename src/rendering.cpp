// Block faces in immediate mode and the fixed-step block raycast.
#include "rendering.h"

#include <malloc.h>

#include <cmath>
#include <cstdio>

#include "rlgl.h"
#include "vec_math.h"

bool render_keep_freed_memory(void) {
    if (mallopt(M_TRIM_THRESHOLD, RENDER_HEAP_KEEP_BYTES) == 1) return true;
    fprintf(stderr, "[render] Could not set the heap's trim threshold\n");
    return false;
}

// Per face: outward normal (also the offset of the cell the face looks into).
static const int face_normals[6][3] = {{1, 0, 0}, {-1, 0, 0}, {0, 1, 0}, {0, -1, 0}, {0, 0, 1}, {0, 0, -1}};

// Corner signs (x, y, z) of the four corners of each face, counter-clockwise from outside.
const signed char render_face_corners[6][4][3] = {
    {{1, -1, -1}, {1, 1, -1}, {1, 1, 1}, {1, -1, 1}}, {{-1, -1, 1}, {-1, 1, 1}, {-1, 1, -1}, {-1, -1, -1}},
    {{-1, 1, 1}, {1, 1, 1}, {1, 1, -1}, {-1, 1, -1}}, {{1, -1, 1}, {-1, -1, 1}, {-1, -1, -1}, {1, -1, -1}},
    {{-1, -1, 1}, {1, -1, 1}, {1, 1, 1}, {-1, 1, 1}}, {{1, -1, -1}, {-1, -1, -1}, {-1, 1, -1}, {1, 1, -1}},
};

// Texture coordinates, v downwards in the image; v = 1 is the lower edge of a side face.
const float render_face_uv[6][4][2] = {
    {{0, 1}, {0, 0}, {1, 0}, {1, 1}}, {{1, 1}, {1, 0}, {0, 0}, {0, 1}}, {{0, 0}, {1, 0}, {1, 1}, {0, 1}},
    {{1, 0}, {0, 0}, {0, 1}, {1, 1}}, {{0, 1}, {1, 1}, {1, 0}, {0, 0}}, {{1, 1}, {0, 1}, {0, 0}, {1, 0}},
};

// Brightness is L * k + c in single precision with k = 0.7 * shading / 15 and
// c = 0.3 * shading, so full light gives exactly the face's shading: the fixed
// 0.85, 0.85, 1.0, 0.6, 0.9, 0.8 per face that gives a cube its shape.
static const float face_light_k[6] = {0.7f * 0.85f / 15.0f, 0.7f * 0.85f / 15.0f, 0.7f * 1.0f / 15.0f,
                                      0.7f * 0.6f / 15.0f,  0.7f * 0.9f / 15.0f,  0.7f * 0.8f / 15.0f};
static const float face_light_c[6] = {0.3f * 0.85f, 0.3f * 0.85f, 0.3f * 1.0f, 0.3f * 0.6f, 0.3f * 0.9f, 0.3f * 0.8f};

float render_face_brightness(int face, int light) {
    if (face < 0 || face > 5) return 0.0f;
    return static_cast<float>(light) * face_light_k[face] + face_light_c[face];
}

static unsigned char scale_channel(unsigned char channel, float factor) {
    return static_cast<unsigned char>(static_cast<int>(static_cast<float>(channel) * factor));
}

Color render_face_color(Color color, int face, int light) {
    const float brightness = render_face_brightness(face, light);
    return Color{scale_channel(color.r, brightness), scale_channel(color.g, brightness),
                 scale_channel(color.b, brightness), color.a};
}

bool render_face_towards(int face, Vector3 to_cam) {
    if (face < 0 || face > 5) return false;
    const int* n = face_normals[face];
    return static_cast<float>(n[0]) * to_cam.x + static_cast<float>(n[1]) * to_cam.y +
               static_cast<float>(n[2]) * to_cam.z >
           0.0f;
}

bool render_block_in_range(float dist_sq, float render_distance) {
    const float cut = RENDER_CUT_SHARE * render_distance;
    return !(dist_sq > cut * cut);
}

float render_fog_factor(float dist, float render_distance) {
    const float fog_start = RENDER_FOG_START_SHARE * render_distance;
    if (!(dist > fog_start)) return 0.0f;
    const float factor = (dist - fog_start) / (RENDER_FOG_LENGTH_SHARE * render_distance);
    return factor < 1.0f ? factor : 1.0f;
}

static unsigned char fog_channel(unsigned char channel, unsigned char fog, float factor) {
    const float mixed = static_cast<float>(channel) * (1.0f - factor) + static_cast<float>(fog) * factor;
    return static_cast<unsigned char>(static_cast<int>(mixed));
}

Color render_apply_fog(Color color, float fog_factor) {
    if (fog_factor <= 0.0f) return color;
    return Color{fog_channel(color.r, SKY_COLOR.r, fog_factor), fog_channel(color.g, SKY_COLOR.g, fog_factor),
                 fog_channel(color.b, SKY_COLOR.b, fog_factor), color.a};
}

RenderFrustum render_frustum_make(Camera3D camera, float aspect) {
    const Vector3 forward = vec3_normalize(vec3_sub(camera.target, camera.position));
    const Vector3 right = vec3_normalize(vec3_cross(forward, camera.up));
    const Vector3 up = vec3_cross(right, forward);
    const float tan_v = tanf(camera.fovy * 0.5f * DEG2RAD);
    const float tan_h = tan_v * aspect;
    RenderFrustum frustum = {};
    frustum.eye = camera.position;
    frustum.normals[0] = vec3_scale(forward, -1.0f);
    // A point p (from the eye) is inside a side when dot(p, side) <= tan * dot(p, forward).
    frustum.normals[1] = vec3_normalize(vec3_sub(right, vec3_scale(forward, tan_h)));
    frustum.normals[2] = vec3_normalize(vec3_sub(vec3_scale(right, -1.0f), vec3_scale(forward, tan_h)));
    frustum.normals[3] = vec3_normalize(vec3_sub(up, vec3_scale(forward, tan_v)));
    frustum.normals[4] = vec3_normalize(vec3_sub(vec3_scale(up, -1.0f), vec3_scale(forward, tan_v)));
    return frustum;
}

bool render_frustum_sphere(const RenderFrustum* frustum, Vector3 center, float radius) {
    const Vector3 p = vec3_sub(center, frustum->eye);
    for (const Vector3& n : frustum->normals)
        if (p.x * n.x + p.y * n.y + p.z * n.z > radius) return false;
    return true;
}

static Vector3 face_corner(Vector3 pos, float h, int face, int corner) {
    const signed char* s = render_face_corners[face][corner];
    return Vector3{pos.x + static_cast<float>(s[0]) * h, pos.y + static_cast<float>(s[1]) * h,
                   pos.z + static_cast<float>(s[2]) * h};
}

// Most neighbours lie in the block's own chunk, found once per block; the
// others are read through the world.
int render_face_light(World* world, const Chunk* own, int x, int y, int z, int face) {
    if (face < 0 || face > 5) return 0;
    const int* n = face_normals[face];
    const int nx = x + n[0], ny = y + n[1], nz = z + n[2];
    const bool inside = own && world_to_chunk_xz(nx) == own->chunk_x && world_to_chunk_y(ny) == own->chunk_y &&
                        world_to_chunk_xz(nz) == own->chunk_z;
    if (!inside) {
        const int sky = world_get_skylight(world, nx, ny, nz);
        const int block = world_get_blocklight(world, nx, ny, nz);
        return sky > block ? sky : block;
    }
    if (ny < 0 || ny > SKYLIGHT_TOP_Y) return 0;
    const int active = own->active_light_buffer.load();
    const int lx = world_to_local_xz(nx), ly = world_to_local_y(ny), lz = world_to_local_xz(nz);
    const int sky = own->skylight[active][ly][lz][lx];
    const int block = own->blocklight[active][ly][lz][lx];
    return sky > block ? sky : block;
}

static void draw_textured_faces(const Color* colors, Vector3 pos, float h, unsigned int texture_id, unsigned faces) {
    rlSetTexture(texture_id);
    for (int face = 0; face < 6; face++) {
        if (!(faces & (1u << face))) continue;
        rlBegin(RL_QUADS);
        rlColor4ub(colors[face].r, colors[face].g, colors[face].b, colors[face].a);
        for (int corner = 0; corner < 4; corner++) {
            const Vector3 v = face_corner(pos, h, face, corner);
            rlTexCoord2f(render_face_uv[face][corner][0], render_face_uv[face][corner][1]);
            rlVertex3f(v.x, v.y, v.z);
        }
        rlEnd();
    }
    rlSetTexture(0);
}

static void draw_flat_faces(const Color* colors, Vector3 pos, float h, unsigned faces) {
    for (int face = 0; face < 6; face++) {
        if (!(faces & (1u << face))) continue;
        const Vector3 c0 = face_corner(pos, h, face, 0), c1 = face_corner(pos, h, face, 1);
        const Vector3 c2 = face_corner(pos, h, face, 2), c3 = face_corner(pos, h, face, 3);
        DrawTriangle3D(c0, c1, c2, colors[face]);
        DrawTriangle3D(c0, c2, c3, colors[face]);
    }
}

// Light is looked up only for the faces that are drawn: the lookups have no
// effect of their own, and a block never shows more than three faces.
void draw_cube_faces(Vector3 pos, float size, Color color, Vector3 cam_pos, World* world, int block_x, int block_y,
                     int block_z, BlockType block_type, uint8_t exposed_faces) {
    const float h = size * 0.5f;
    const Vector3 to_cam = vec3_sub(cam_pos, pos);
    unsigned faces = 0;
    for (int face = 0; face < 6; face++)
        if ((exposed_faces & (1u << face)) && render_face_towards(face, to_cam)) faces |= 1u << face;
    if (faces == 0) return;
    const Chunk* own =
        world_get_chunk(world, world_to_chunk_xz(block_x), world_to_chunk_y(block_y), world_to_chunk_xz(block_z));
    Color colors[6] = {};
    for (int face = 0; face < 6; face++)
        if (faces & (1u << face))
            colors[face] =
                render_face_color(color, face, render_face_light(world, own, block_x, block_y, block_z, face));
    const Texture2D texture = world_get_block_texture(world, block_type);
    if (texture.id != 0)
        draw_textured_faces(colors, pos, h, texture.id, faces);
    else
        draw_flat_faces(colors, pos, h, faces);
}

bool raycast_block(World* world, Camera3D camera, float max_distance, int* out_block_x, int* out_block_y,
                   int* out_block_z, int* out_adjacent_x, int* out_adjacent_y, int* out_adjacent_z) {
    const Vector3 ray_origin = camera.position;
    const Vector3 ray_dir = vec3_normalize(vec3_sub(camera.target, camera.position));
    if (max_distance <= 0.0f) return false;
    float distance = 0.0f;
    Vector3 prev_pos = ray_origin;
    for (;;) {
        const Vector3 current_pos = vec3_add(ray_origin, vec3_scale(ray_dir, distance));
        const int bx = static_cast<int>(floorf(current_pos.x));
        const int by = static_cast<int>(floorf(current_pos.y));
        const int bz = static_cast<int>(floorf(current_pos.z));
        if (world_get_block(world, bx, by, bz) != BLOCK_AIR) {
            *out_block_x = bx;
            *out_block_y = by;
            *out_block_z = bz;
            *out_adjacent_x = static_cast<int>(floorf(prev_pos.x));
            *out_adjacent_y = static_cast<int>(floorf(prev_pos.y));
            *out_adjacent_z = static_cast<int>(floorf(prev_pos.z));
            return true;
        }
        prev_pos = current_pos;
        distance += RAYCAST_STEP;
        if (!(distance < max_distance)) return false;
    }
}

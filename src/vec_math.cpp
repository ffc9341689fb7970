// Vector operations used by the camera, movement, ray cast and rendering.
#include "vec_math.h"

#include <cmath>

Vector3 vec3_add(Vector3 a, Vector3 b) {
    return Vector3{a.x + b.x, a.y + b.y, a.z + b.z};
}

Vector3 vec3_sub(Vector3 a, Vector3 b) {
    return Vector3{a.x - b.x, a.y - b.y, a.z - b.z};
}

Vector3 vec3_scale(Vector3 v, float s) {
    return Vector3{v.x * s, v.y * s, v.z * s};
}

Vector3 vec3_cross(Vector3 a, Vector3 b) {
    return Vector3{a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}

Vector3 vec3_normalize(Vector3 v) {
    float len_sq = v.x * v.x + v.y * v.y + v.z * v.z;
    if (len_sq == 0.0f) return Vector3{0.0f, 0.0f, 0.0f};
    float inv = 1.0f / sqrtf(len_sq);
    return Vector3{v.x * inv, v.y * inv, v.z * inv};
}

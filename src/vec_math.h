// Small 3-vector operations on raylib's Vector3, by value, no state.
#pragma once

#include "raylib.h"

Vector3 vec3_add(Vector3 a, Vector3 b);
Vector3 vec3_sub(Vector3 a, Vector3 b);
Vector3 vec3_scale(Vector3 v, float s);
Vector3 vec3_cross(Vector3 a, Vector3 b);
// Unit vector along v; the zero vector stays zero, however short v is otherwise.
Vector3 vec3_normalize(Vector3 v);

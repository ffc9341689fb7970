// Vector operations used by the camera, movement and ray cast.
#include "vec_math.h"

#include <gtest/gtest.h>

namespace {

void expect_vec(Vector3 v, float x, float y, float z) {
    EXPECT_FLOAT_EQ(v.x, x);
    EXPECT_FLOAT_EQ(v.y, y);
    EXPECT_FLOAT_EQ(v.z, z);
}

TEST(VecMath, NormalizeKeepsZeroAndScalesTinyVectors) {
    expect_vec(vec3_normalize(Vector3{0, 0, 0}), 0, 0, 0);
    expect_vec(vec3_normalize(Vector3{0, 0.001f, 0}), 0, 1, 0);
    expect_vec(vec3_normalize(Vector3{3, 0, -4}), 0.6f, 0, -0.8f);
    Vector3 tiny = vec3_normalize(Vector3{1e-30f, 0, 0});  // squared length underflows to 0
    expect_vec(tiny, 0, 0, 0);
}

TEST(VecMath, CrossFollowsTheRightHandRule) {
    expect_vec(vec3_cross(Vector3{1, 0, 0}, Vector3{0, 1, 0}), 0, 0, 1);
    expect_vec(vec3_cross(Vector3{0, 1, 0}, Vector3{-1, 0, 0}), 0, 0, 1);
    expect_vec(vec3_cross(Vector3{0, 1, 0}, Vector3{1, 0, 0}), 0, 0, -1);
}

TEST(VecMath, ArithmeticIsComponentWise) {
    expect_vec(vec3_add(Vector3{1, 2, 3}, Vector3{-1, 0.5f, 4}), 0, 2.5f, 7);
    expect_vec(vec3_sub(Vector3{1, 2, 3}, Vector3{-1, 0.5f, 4}), 2, 1.5f, -1);
    expect_vec(vec3_scale(Vector3{1, -2, 3}, -0.5f), -0.5f, 1, -1.5f);
}

}  // namespace

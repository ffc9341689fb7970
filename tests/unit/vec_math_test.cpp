// The vector operations with a rule beyond component arithmetic.
#include "vec_math.h"

#include <gtest/gtest.h>

namespace {

TEST(VecMath, NormalizeKeepsZeroAndCrossFollowsTheRightHandRule) {
    struct Case {
        Vector3 got, want;
    };
    const Case cases[] = {{vec3_normalize(Vector3{0, 0, 0}), {0, 0, 0}},
                          {vec3_normalize(Vector3{0, 0.001f, 0}), {0, 1, 0}},
                          {vec3_normalize(Vector3{3, 0, -4}), {0.6f, 0, -0.8f}},
                          {vec3_normalize(Vector3{1e-30f, 0, 0}), {0, 0, 0}},  // the squared length underflows to 0
                          {vec3_cross(Vector3{1, 0, 0}, Vector3{0, 1, 0}), {0, 0, 1}},
                          {vec3_cross(Vector3{0, 1, 0}, Vector3{-1, 0, 0}), {0, 0, 1}},
                          {vec3_cross(Vector3{0, 1, 0}, Vector3{1, 0, 0}), {0, 0, -1}}};
    for (const Case& c : cases) {
        EXPECT_FLOAT_EQ(c.got.x, c.want.x);
        EXPECT_FLOAT_EQ(c.got.y, c.want.y);
        EXPECT_FLOAT_EQ(c.got.z, c.want.z);
    }
}

}  // namespace

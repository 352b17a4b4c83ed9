#include <gtest/gtest.h>

#include <array>
#include <glm/glm.hpp>

#include "render/CubeFaces.h"

namespace {

std::array<glm::vec3, 8> box(glm::vec3 low, glm::vec3 high) {
    std::array<glm::vec3, 8> corners;
    for (int i = 0; i < 8; ++i) {
        corners[static_cast<std::size_t>(i)] =
            glm::vec3(i & 1 ? high.x : low.x, i & 2 ? high.y : low.y, i & 4 ? high.z : low.z);
    }
    return corners;
}

}  // namespace

// Which faces of a cube map around the eye see a box: the faces in layer order +X, -X, +Y, -Y,
// +Z, -Z, bit k for face k.
TEST(CubeFaces, SeeTheBoxesInTheirQuarterOfSpace) {
    const glm::vec3 eye(1, 2, 3);
    for (std::size_t k = 0; k < 6; ++k) {
        const glm::vec3 at = eye + 10.0f * cubeFaceDirections[k];
        EXPECT_EQ(cubeFacesSeeing(eye, box(at - 0.5f, at + 0.5f)), 1u << k) << k;
    }
    // Across the edge between +X and +Z; around the eye, every face.
    EXPECT_EQ(cubeFacesSeeing(eye, box(eye + glm::vec3(5, -1, 4), eye + glm::vec3(6, 1, 6))),
              (1u << 0) | (1u << 4));
    EXPECT_EQ(cubeFacesSeeing(eye, box(eye - 1.0f, eye + 1.0f)), 0x3fu);
}

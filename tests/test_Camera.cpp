#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <utility>

#include "camera/Camera.h"

namespace {

void expectVec3Near(glm::vec3 actual, glm::vec3 expected, float tolerance = 1e-5f) {
    EXPECT_NEAR(actual.x, expected.x, tolerance);
    EXPECT_NEAR(actual.y, expected.y, tolerance);
    EXPECT_NEAR(actual.z, expected.z, tolerance);
}

}  // namespace

// Positive pitch looks down; the view turns by the clamped angle (one degree short of straight
// down or up); right stays horizontal.
TEST(Camera, PitchIsClampedToEightyNineDegreesBeforeTheRotationIsBuilt) {
    Camera camera;
    const float y = toRadians(30.0f);
    for (const auto& [asked, kept] :
         {std::pair{90.0f, 89.0f}, std::pair{-120.0f, -89.0f}, std::pair{89.0f, 89.0f},
          std::pair{-89.0f, -89.0f}, std::pair{30.0f, 30.0f}}) {
        camera.setAngles(asked, 30.0f);
        EXPECT_EQ(camera.pitch, kept) << asked;
        const float p = toRadians(kept);
        expectVec3Near(camera.forward(),
                       {std::sin(y) * std::cos(p), -std::sin(p), -std::cos(y) * std::cos(p)});
        expectVec3Near(camera.right(), {std::cos(y), 0.0f, std::sin(y)});
    }
}

TEST(Camera, YawWrapsIntoZeroToThreeSixty) {
    Camera camera;
    camera.setAngles(0.0f, -30.0f);
    EXPECT_FLOAT_EQ(camera.yaw, 330.0f);
    camera.setAngles(0.0f, 720.0f);
    EXPECT_EQ(camera.yaw, 0.0f);
    camera.setAngles(0.0f, 360.0f);
    EXPECT_EQ(camera.yaw, 0.0f);
    camera.setAngles(0.0f, -720.5f);
    EXPECT_FLOAT_EQ(camera.yaw, 359.5f);
    // A remainder too small to survive the addition of 360 must not leave yaw at 360.
    camera.setAngles(0.0f, -1e-6f);
    EXPECT_GE(camera.yaw, 0.0f);
    EXPECT_LT(camera.yaw, 360.0f);
}

TEST(Camera, LookAtOwnPositionOrNoUsableDirectionChangesNothing) {
    Camera camera;
    camera.position = {1.0f, 2.0f, 3.0f};
    camera.setAngles(10.0f, 20.0f);
    camera.lookAt({1.0f, 2.0f, 3.0f});
    EXPECT_EQ(camera.pitch, 10.0f);
    EXPECT_EQ(camera.yaw, 20.0f);

    // A target so close that the length underflows to 0, or one at infinity: the angles would
    // turn NaN and stay NaN.
    camera.position = {0.0f, 0.0f, 0.0f};
    const float inf = std::numeric_limits<float>::infinity();
    for (const glm::vec3& target :
         {glm::vec3(1e-30f, 0.0f, 0.0f), glm::vec3(0.0f, -1e-25f, 1e-30f),
          glm::vec3(inf, 0.0f, 0.0f), glm::vec3(1.0f, std::nanf(""), 0.0f)}) {
        camera.lookAt(target);
        EXPECT_EQ(camera.pitch, 10.0f) << target.x << "," << target.y << "," << target.z;
        EXPECT_EQ(camera.yaw, 20.0f) << target.x << "," << target.y << "," << target.z;
    }
}

TEST(Camera, LookAtStraightUpAndDownClampsPitch) {
    Camera camera;
    camera.position = {0.0f, 0.0f, 0.0f};
    camera.lookAt({0.0f, 5.0f, 0.0f});
    EXPECT_EQ(camera.pitch, -89.0f);
    EXPECT_FLOAT_EQ(camera.yaw, 180.0f);
    camera.lookAt({0.0f, -5.0f, 0.0f});
    EXPECT_EQ(camera.pitch, 89.0f);
}

TEST(Camera, LookAtTurnsAnglesButLeavesRotation) {
    Camera camera;
    camera.position = {2.0f, 1.0f, 3.0f};
    camera.setAngles(12.0f, 34.0f);
    const glm::mat4 before = camera.rotation;
    camera.lookAt(camera.position + glm::vec3(1.0f, 0.0f, -1.0f));
    EXPECT_NEAR(camera.yaw, 45.0f, 1e-4f);
    EXPECT_NEAR(camera.pitch, 0.0f, 1e-4f);
    EXPECT_EQ(camera.rotation, before);
}

TEST(Camera, ViewMatrixTakesPositionToOrigin) {
    Camera camera;
    camera.position = {20.5f, 2.2f, 8.0f};
    camera.setAngles(20.5f, 256.0f);
    const glm::vec4 eye = camera.viewMatrix() * glm::vec4(camera.position, 1.0f);
    expectVec3Near(glm::vec3(eye), {0.0f, 0.0f, 0.0f}, 1e-5f);
}

TEST(Camera, ProjectionIsTheOpenGlPerspective) {
    Camera camera;
    const glm::mat4 m = camera.projectionMatrix();
    const float t = std::tan(toRadians(45.0f) / 2.0f) * 0.1f;
    EXPECT_NEAR(m[0][0], 0.1f / (t * (4.0f / 3.0f)), 1e-4f);
    EXPECT_NEAR(m[1][1], 0.1f / t, 1e-4f);
    EXPECT_NEAR(m[2][2], -(300.0f + 0.1f) / (300.0f - 0.1f), 1e-6f);
    EXPECT_EQ(m[2][3], -1.0f);
    EXPECT_NEAR(m[3][2], -2.0f * 300.0f * 0.1f / (300.0f - 0.1f), 1e-6f);
    EXPECT_EQ(m[3][3], 0.0f);
}

TEST(Camera, ViewProjectionPutsWhatIsAheadInTheMiddleBetweenTheClipPlanes) {
    Camera camera;
    camera.position = {20.5f, 2.2f, 8.0f};
    camera.setAngles(20.5f, 256.0f);
    const auto ndc = [&camera](glm::vec3 world) {
        const glm::vec4 clip = camera.viewProjectionMatrix() * glm::vec4(world, 1.0f);
        return glm::vec3(clip) / clip.w;
    };
    // On the line of sight: the middle of the screen, at the near plane's depth -1 and the far
    // plane's +1; above it and to the right of it: up and right on the screen.
    const glm::vec3 ahead = camera.position + 0.1f * camera.forward();
    expectVec3Near(ndc(ahead), {0.0f, 0.0f, -1.0f}, 1e-3f);
    expectVec3Near(ndc(camera.position + 300.0f * camera.forward()), {0.0f, 0.0f, 1.0f}, 1e-3f);
    const glm::vec3 farAhead = camera.position + 10.0f * camera.forward();
    EXPECT_GT(ndc(farAhead + camera.right()).x, 0.1f);
    EXPECT_NEAR(ndc(farAhead + camera.right()).y, 0.0f, 1e-4f);
    const glm::vec3 up = glm::cross(camera.right(), camera.forward());
    EXPECT_GT(ndc(farAhead + up).y, 0.1f);
    // Four units up at ten units ahead: the 45-degree field spans tan(22.5) x 10 = 4.14 each way.
    EXPECT_NEAR(ndc(farAhead + 4.0f * up).y, 4.0f / (10.0f * std::tan(toRadians(22.5f))), 1e-3f);
}

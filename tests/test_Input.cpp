#include <GLFW/glfw3.h>
#include <gtest/gtest.h>

#include <glm/gtc/matrix_transform.hpp>
#include <initializer_list>
#include <set>

#include "app/Input.h"
#include "app/Loop.h"
#include "camera/Camera.h"
#include "core/Platform.h"
#include "scene/Scene.h"
#include "support/TestSupport.h"

namespace {

void expectVec3Near(glm::vec3 actual, glm::vec3 expected, float tolerance = 1e-4f) {
    EXPECT_NEAR(actual.x, expected.x, tolerance);
    EXPECT_NEAR(actual.y, expected.y, tolerance);
    EXPECT_NEAR(actual.z, expected.z, tolerance);
}

class InputTest : public ::testing::Test {
protected:
    void SetUp() override {
        loop = LoopState{};
        input = InputState{};
        scene = Scene{};
        mainCamera = Camera{};
        mainCamera.setAngles(0.0f, 0.0f);  // forward (0, 0, -1), right (1, 0, 0)
        SceneObject light;
        light.name = "LICHT";
        light.setPosition({5, 20, 0});
        scene.sceneObjects.push_back(light);
        // GLFW's sticky keys: a key tapped since it was last read reads as down once.
        platform().keyDown = [this](int key) {
            return held.count(key) > 0 || tapped.erase(key) > 0;
        };
    }
    void TearDown() override {
        resetPlatform();
        scene = Scene{};
        mainCamera = Camera{};
        loop = LoopState{};
        input = InputState{};
    }

    // One frame with exactly these keys down.
    void frame(std::initializer_list<int> keys, float deltaTime = 0.1f) {
        held = keys;
        handleInput(deltaTime);
    }

    std::set<int> held;
    std::set<int> tapped;  // pressed and let go since the key was last read
};

}  // namespace

TEST_F(InputTest, FirstKeyOfEachPairWins) {
    frame({GLFW_KEY_W, GLFW_KEY_S}, 0.5f);
    expectVec3Near(mainCamera.position, {0, 0, -10});
    frame({GLFW_KEY_A, GLFW_KEY_D}, 0.5f);
    expectVec3Near(mainCamera.position, {-10, 0, -10});
    frame({GLFW_KEY_Y, GLFW_KEY_X}, 0.5f);
    expectVec3Near(mainCamera.position, {-10, -10, -10});

    frame({GLFW_KEY_J, GLFW_KEY_L}, 0.5f);  // 24 units per second sideways
    expectVec3Near(lightCube().position, {-7, 20, 0});
    frame({GLFW_KEY_I, GLFW_KEY_K}, 0.5f);  // 12 units per second along the view
    expectVec3Near(lightCube().position, {-7, 20, -6});

    frame({GLFW_KEY_LEFT, GLFW_KEY_RIGHT}, 0.5f);
    EXPECT_FLOAT_EQ(mainCamera.yaw, 310.0f);
    frame({GLFW_KEY_C, GLFW_KEY_V}, 0.1f);
    EXPECT_FLOAT_EQ(mainCamera.pitch, 10.0f);
}

TEST_F(InputTest, SecondKeyOfEachPairActsAlone) {
    frame({GLFW_KEY_S, GLFW_KEY_D, GLFW_KEY_X}, 0.5f);
    expectVec3Near(mainCamera.position, {10, 10, 10});
    frame({GLFW_KEY_L, GLFW_KEY_K}, 0.5f);
    expectVec3Near(lightCube().position, {17, 20, 6});
    frame({GLFW_KEY_RIGHT}, 0.5f);
    EXPECT_FLOAT_EQ(mainCamera.yaw, 50.0f);
}

TEST_F(InputTest, TiltIsClampedAndTurnWraps) {
    mainCamera.setAngles(20.5f, 0.0f);
    for (int i = 0; i < 10; ++i) frame({GLFW_KEY_C}, 0.1f);
    EXPECT_EQ(mainCamera.pitch, 89.0f);
    frame({GLFW_KEY_C}, 0.1f);
    EXPECT_EQ(mainCamera.pitch, 89.0f);

    mainCamera.setAngles(0.0f, 0.0f);
    for (int i = 0; i < 20; ++i) frame({GLFW_KEY_V}, 0.1f);
    EXPECT_EQ(mainCamera.pitch, -89.0f);

    mainCamera.setAngles(0.0f, 300.0f);
    frame({GLFW_KEY_RIGHT}, 1.0f);
    EXPECT_FLOAT_EQ(mainCamera.yaw, 40.0f);
}

TEST_F(InputTest, LightMoveFollowsThePitchedView) {
    mainCamera.setAngles(30.0f, 0.0f);  // looking down: I moves the light down as well
    frame({GLFW_KEY_I}, 1.0f);
    expectVec3Near(lightCube().position, {5, 20 - 12 * 0.5f, -12 * 0.8660254f});
}

TEST_F(InputTest, HeldSwitchFlipsOnceOnRelease) {
    for (int i = 0; i < 5; ++i) frame({GLFW_KEY_F});
    EXPECT_TRUE(loop.showFps);
    frame({});
    EXPECT_FALSE(loop.showFps);
    frame({});
    frame({});
    EXPECT_FALSE(loop.showFps);

    // A tap shorter than a frame: one flip.
    tapped = {GLFW_KEY_F};
    frame({});
    frame({});
    frame({});
    EXPECT_TRUE(loop.showFps);
}

TEST_F(InputTest, ReleaseIsSeenOnlyWhenTheChainReachesIt) {
    // Q pressed and let go entirely while C is held: never seen.
    frame({GLFW_KEY_C});
    frame({GLFW_KEY_C, GLFW_KEY_Q});
    frame({GLFW_KEY_C});
    frame({});
    EXPECT_FALSE(loop.wireframe);
    // The same for a tap within a frame while C is held: every key is read each frame, so the
    // tap is used up then and not taken for a press once C is let go.
    tapped = {GLFW_KEY_Q};
    frame({GLFW_KEY_C});
    frame({});
    frame({});
    EXPECT_FALSE(loop.wireframe);

    // Q pressed, then C held, Q let go, then C let go: one flip, once C is up.
    frame({GLFW_KEY_Q});
    frame({GLFW_KEY_Q, GLFW_KEY_C});
    frame({GLFW_KEY_C});
    EXPECT_FALSE(loop.wireframe);
    frame({});
    EXPECT_TRUE(loop.wireframe);
    frame({});
    EXPECT_TRUE(loop.wireframe);

    // While F is held, Q and O presses are not seen.
    frame({GLFW_KEY_F});
    frame({GLFW_KEY_F, GLFW_KEY_Q, GLFW_KEY_O});
    frame({GLFW_KEY_F});
    frame({});
    frame({});
    EXPECT_FALSE(loop.showFps);
    EXPECT_TRUE(loop.wireframe);
    EXPECT_EQ(loop.shadowMode, 1);
}

TEST_F(InputTest, ShadowModeCyclesBetweenZeroAndOne) {
    loop.shadowMode = 2;
    for (int expected : {1, 0, 1}) {
        frame({GLFW_KEY_O});
        frame({});
        EXPECT_EQ(loop.shadowMode, expected);
    }
}

TEST_F(InputTest, ZeroDeltaTimeMovesNothingButSwitches) {
    mainCamera.setAngles(20.5f, 256.0f);
    const glm::mat4 rotation = mainCamera.rotation;
    frame({GLFW_KEY_W, GLFW_KEY_A, GLFW_KEY_X, GLFW_KEY_J, GLFW_KEY_I, GLFW_KEY_LEFT, GLFW_KEY_F},
          0.0f);
    frame({GLFW_KEY_W, GLFW_KEY_A, GLFW_KEY_X, GLFW_KEY_J, GLFW_KEY_I, GLFW_KEY_LEFT}, 0.0f);
    EXPECT_EQ(mainCamera.position, glm::vec3(0.0f));
    EXPECT_EQ(lightCube().position, glm::vec3(5, 20, 0));
    EXPECT_EQ(mainCamera.pitch, 20.5f);
    EXPECT_EQ(mainCamera.yaw, 256.0f);
    EXPECT_EQ(mainCamera.rotation, rotation);
    EXPECT_FALSE(loop.showFps);
}

TEST_F(InputTest, ReportPrintsTheStartUpCamera) {
    mainCamera.position = glm::vec3(20.5f, 2.2f, 8.0f);
    mainCamera.setAngles(20.5f, 256.0f);
    const std::string once = captureStdout([&] { frame({GLFW_KEY_H}); });
    EXPECT_EQ(once, "20.5,2.2,8\n20.5 256\n");
    const std::string twice = captureStdout([&] {
        frame({GLFW_KEY_H});
        frame({GLFW_KEY_H});
    });
    EXPECT_EQ(twice, once + once);
    EXPECT_EQ(captureStdout([&] { frame({}); }), "");
}

TEST_F(InputTest, LightMoveReplacesOnlyTheTranslation) {
    SceneObject& light = lightCube();
    light.setScale(2, 3, 4);
    light.setRotation(30, 40, 50);
    const glm::mat4 scale = light.scaleMatrix;
    const glm::mat4 rotation = light.rotationMatrix;
    frame({GLFW_KEY_L}, 0.25f);
    expectVec3Near(light.position, {11, 20, 0});
    EXPECT_EQ(light.translationMatrix, glm::translate(glm::mat4(1.0f), light.position));
    EXPECT_EQ(light.scaleMatrix, scale);
    EXPECT_EQ(light.rotationMatrix, rotation);
}

TEST_F(InputTest, LightKeysWithoutASceneDoNothing) {
    scene = Scene{};
    frame({GLFW_KEY_J, GLFW_KEY_I});
    EXPECT_TRUE(scene.sceneObjects.empty());
}

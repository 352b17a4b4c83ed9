// The frame's shortcuts (the cube maps keep only the levels that the stage files sample) leave
// the cubes complete: they give the same shadows in every shadow mode.
#include <GL/glew.h>

#include <vector>

#include "camera/Camera.h"
#include "scene/Scene.h"
#include "support/PipelineFixture.h"

namespace {

class FastFrameTest : public PipelineTest {
protected:
    void SetUp() override {
        PipelineTest::SetUp();
        mainCamera.aspectRatio = 4.0f / 3.0f;
    }
};

// A light up and to the side of a small cube on a grey floor, seen from straight above: the
// cube's shadow falls on the floor beside it, in view.
void buildShadowScene() {
    scene.sceneObjects.push_back(makeLight(glm::vec3(-8, 10, 0), 0.3f));
    scene.sceneObjects.push_back(makeCube("testcube", glm::vec3(0, 1, 0), 0.5f, glm::vec3(1)));
    scene.sceneObjects.push_back(makeFloor("Plane", 6.0f, glm::vec3(0.6f)));
    mainCamera.position = glm::vec3(0, 6, 0);
    mainCamera.setAngles(89.0f, 0.0f);
}

// Brightness (sum of RGB) of the scene image where a world point lands.
float sceneBrightnessAt(glm::vec3 world) {
    const glm::vec4 clip = mainCamera.viewProjectionMatrix() * glm::vec4(world, 1.0f);
    const glm::vec2 ndc = glm::vec2(clip) / clip.w;
    const int x = static_cast<int>((ndc.x * 0.5f + 0.5f) * kSceneTargetSize);
    const int y = static_cast<int>((ndc.y * 0.5f + 0.5f) * kSceneTargetSize);
    std::vector<float> pixels(static_cast<std::size_t>(kSceneTargetSize) * kSceneTargetSize * 3);
    glBindTexture(GL_TEXTURE_2D, targets.sceneTarget.colorTexture);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RGB, GL_FLOAT, pixels.data());
    const std::size_t i = (static_cast<std::size_t>(y) * kSceneTargetSize + x) * 3;
    return pixels[i] + pixels[i + 1] + pixels[i + 2];
}

}  // namespace

// A cube that is not complete for its filters samples as black or as "in shadow" everywhere;
// the limited levels must leave all three cubes complete in every mode.
TEST_F(FastFrameTest, TheFloorIsDarkInTheCubesShadowAndLitBesideItInEveryShadowMode) {
    buildShadowScene();
    for (int mode : {1, 2, 0}) {
        loop.shadowMode = mode;
        renderCubesAndScene();
        const float shadowed = sceneBrightnessAt(glm::vec3(1.4f, 0.0f, 0.0f));
        const float lit = sceneBrightnessAt(glm::vec3(0.0f, 0.0f, -2.5f));
        EXPECT_GT(lit, 0.2f) << "mode " << mode;
        EXPECT_LT(shadowed, 0.6f * lit) << "mode " << mode;
    }
}

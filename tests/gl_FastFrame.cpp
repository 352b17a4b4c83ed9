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

namespace {

// Levels 1 to 3 of every face of the shadow moments cube.
std::vector<float> momentMipmaps() {
    glFinish();  // llvmpipe may still be writing the levels through its blits
    std::vector<float> all;
    for (int level = 1; level < kShadowMomentsLevels; ++level) {
        const int size = kCubeFaceSize >> level;
        std::vector<float> texels(static_cast<std::size_t>(size) * size * 3);
        glBindTexture(GL_TEXTURE_CUBE_MAP, targets.shadowCubeTarget.colorCube);
        for (GLenum face = 0; face < 6; ++face) {
            glGetTexImage(GL_TEXTURE_CUBE_MAP_POSITIVE_X + face, level, GL_RGB, GL_FLOAT,
                          texels.data());
            all.insert(all.end(), texels.begin(), texels.end());
        }
    }
    return all;
}

}  // namespace

// Soft shadows rebuild only the moments faces whose casters changed; what they leave must be
// what a rebuild of the whole cube gives.
TEST_F(FastFrameTest, RebuildingTheChangedMomentFacesGivesTheWholeRebuild) {
    buildShadowScene();
    loop.shadowMode = 1;
    renderCubesAndScene();
    // The cube, below the light and off to +x, moves: faces that saw it before or after change.
    scene.sceneObjects[1].setPosition(glm::vec3(2, 1, 0));
    beginShadowPass();
    drawShadowCasters();
    const std::uint8_t stale = targets.shadowCubeTarget.staleFaces;
    EXPECT_NE(stale, 0);
    EXPECT_NE(stale, kAllCubeFaces);
    EXPECT_EQ(stale & (1u << 3), 1u << 3);  // -Y, the face looking down at it
    renderReflectionPass();
    renderScenePass();
    const std::vector<float> changedFacesOnly = momentMipmaps();
    targets.shadowCubeTarget.staleFaces = kAllCubeFaces;
    glBindTexture(GL_TEXTURE_CUBE_MAP, targets.shadowCubeTarget.colorCube);
    rebuildStaleMomentFaces(targets.shadowCubeTarget);
    EXPECT_TRUE(momentMipmaps() == changedFacesOnly);
    glBindTexture(GL_TEXTURE_CUBE_MAP, 0);
}

// The frame's shortcuts: the cube maps keep only the level that the stage files sample, so the
// scene pass's per-frame mipmap rebuild builds nothing, and the cubes stay complete and give
// the same shadows in every shadow mode.
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

TEST_F(FastFrameTest, CubeMapsKeepOnlyTheSampledLevelSoTheMipmapRebuildBuildsNothing) {
    buildShadowScene();
    renderCubesAndScene();
    struct Cube {
        GLuint name;
        bool rebuilt;  // the scene pass regenerates its mipmaps every frame
    };
    const Cube cubes[] = {{targets.shadowCubeTarget.depthCube, true},
                          {targets.shadowCubeTarget.colorCube, true},
                          {targets.reflectionCubeTarget.depthCube, false},
                          {targets.reflectionCubeTarget.colorCube, true}};
    for (const Cube& cube : cubes) {
        glBindTexture(GL_TEXTURE_CUBE_MAP, cube.name);
        GLint maxLevel = -1;
        glGetTexParameteriv(GL_TEXTURE_CUBE_MAP, GL_TEXTURE_MAX_LEVEL, &maxLevel);
        GLint level0 = 0;
        GLint level1 = -1;
        glGetTexLevelParameteriv(GL_TEXTURE_CUBE_MAP_POSITIVE_X, 0, GL_TEXTURE_WIDTH, &level0);
        glGetTexLevelParameteriv(GL_TEXTURE_CUBE_MAP_POSITIVE_X, 1, GL_TEXTURE_WIDTH, &level1);
        EXPECT_EQ(level0, kCubeFaceSize) << cube.name;
#ifdef PELK_STRAIGHTFORWARD
        // GL's default range: the rebuild makes the whole chain.
        EXPECT_EQ(maxLevel, 1000) << cube.name;
        EXPECT_EQ(level1, cube.rebuilt ? kCubeFaceSize / 2 : 0) << cube.name;
#else
        EXPECT_EQ(maxLevel, kCubeMapSampledLevels - 1) << cube.name;
        EXPECT_EQ(level1, 0) << cube.name;  // nothing built below the sampled level
#endif
    }
    glBindTexture(GL_TEXTURE_CUBE_MAP, 0);
}

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

#include "render/ReflectionPass.h"

#include <GL/glew.h>

#include <array>
#include <glm/gtc/type_ptr.hpp>
#include <string>

#include "core/FrameState.h"
#include "render/CubeFaces.h"
#include "render/PassState.h"
#include "render/Programs.h"
#include "render/Targets.h"
#include "scene/Scene.h"

namespace {

// The reflector: the object whose surroundings the cube holds.
constexpr std::size_t kReflectorIndex = 1;
constexpr float kReflectionNearPlane = 0.1f;
constexpr float kReflectionFarPlane = 300.0f;

// Draws one object with the build made for its kind; `useTexture` says whether to send the
// object's own "useTexture" (the sky walls share the one sent for all of them).
void drawObject(const SceneObject& object, bool useTexture) {
    const ReflectionBuild& build = reflectionBuildFor(object);
    glUseProgram(build.program);
    object.bindAttributes(true);
    bindTexture(kObjectTextureUnit, GL_TEXTURE_2D, object.texture);
    if (useTexture) glUniform1f(build["useTexture"], object.texture != 0 ? 1.0f : 0.0f);
    glUniformMatrix4fv(build["ModelMatrix"], 1, GL_FALSE, glm::value_ptr(object.modelMatrix()));
    object.draw(false);
}

}  // namespace

const ReflectionBuild& reflectionBuildFor(const SceneObject& object) {
    return reflectionProgramFor(object.kind, object.texture != 0);
}

void renderReflectionPass() {
    const ReflectionBuild& reflection = programs.reflectionProgram;
    CubeMapTarget& target = targets.reflectionCubeTarget;
    glBindFramebuffer(GL_FRAMEBUFFER, target.framebuffer);
    glViewport(0, 0, kCubeFaceSize, kCubeFaceSize);
    glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
    setDepthTesting(true);

    const SceneObject& reflector = scene.sceneObjects[kReflectorIndex];
    const std::array<glm::mat4, 6> faceViews = cubeFaceViews(reflector.position);
    const std::array<glm::mat4, 6> faceMatrices =
        cubeFaceMatrices(faceViews, kReflectionNearPlane, kReflectionFarPlane);

    const glm::vec3 light = lightCube().position;
    forEachBuild(reflection, programs.reflectionVariants, [&](const ReflectionBuild& build) {
        glUniformMatrix4fv(build["cm_mat"], 6, GL_FALSE, glm::value_ptr(faceMatrices[0]));
        glUniformMatrix4fv(build["ViewMatrix"], 6, GL_FALSE, glm::value_ptr(faceViews[0]));
        glUniform3f(build["light_source_position"], light.x, light.y, light.z);
        glUniform1f(build["elapsedTime"], static_cast<float>(loop.currentTime));
        glUniform1f(build["useTexture"], 1.0f);  // every sky wall counts as textured
    });

    attachCubeMapTarget(target);
    glClearColor(0.0f, 0.0f, 0.0f, 0.0f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);

    // The light's cube shadows the surroundings by comparison.
    bindTexture(kShadowDepthUnit, GL_TEXTURE_CUBE_MAP, targets.shadowCubeTarget.depthCube,
                targets.depthSamplers.shadowCompared);

    setDepthTesting(true);
    const std::string reflectorName = reflector.getName();
    for (const SceneObject& object : scene.sceneObjects) {
        if (object.getName() == reflectorName) continue;
        drawObject(object, true);
    }

    // The sky is the background, never hiding anything: drawn last, behind everything, writing
    // no depth, so that only the texels where it shows run its shader.
    glDepthMask(GL_FALSE);
    for (const SceneObject& wall : drawnSkyWalls()) drawObject(wall, false);
    glDepthMask(GL_TRUE);
    glUseProgram(reflection.program);
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
}

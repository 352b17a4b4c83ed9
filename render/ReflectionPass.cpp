#include "render/ReflectionPass.h"

#include <GL/glew.h>

#include <array>
#include <glm/gtc/type_ptr.hpp>
#include <string>

#include "core/FrameState.h"
#include "render/CubeFaces.h"
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
    const ShaderProgram& build = reflectionBuildFor(object);
    glUseProgram(build.program);
    object.bindAttributes(true);
    glBindTexture(GL_TEXTURE_2D, object.texture);
    if (useTexture) glUniform1f(build.useTexture, object.texture != 0 ? 1.0f : 0.0f);
    glUniformMatrix4fv(build.modelMatrix, 1, GL_FALSE, glm::value_ptr(object.modelMatrix()));
    object.draw(false);
}

}  // namespace

const ShaderProgram& reflectionBuildFor(const SceneObject& object) {
    return reflectionProgramFor(object.kind, object.texture != 0);
}

void renderReflectionPass() {
    const ShaderProgram& reflection = programs.reflectionProgram;
    CubeMapTarget& target = targets.reflectionCubeTarget;
    glBindFramebuffer(GL_FRAMEBUFFER, target.framebuffer);
    // The scene pass left the reflection cube on its unit.
    unbindTexture(kReflectionColorUnit, GL_TEXTURE_CUBE_MAP);

    const SceneObject& reflector = scene.sceneObjects[kReflectorIndex];
    const std::array<glm::mat4, 6> faceViews = cubeFaceViews(reflector.position);
    const std::array<glm::mat4, 6> faceMatrices =
        cubeFaceMatrices(faceViews, kReflectionNearPlane, kReflectionFarPlane);

    const glm::vec3 light = lightCube().position;
    forEachBuild(reflection, programs.reflectionVariants, [&](const ShaderProgram& build) {
        glUniformMatrix4fv(build.cubeFaceMatrices, 6, GL_FALSE, glm::value_ptr(faceMatrices[0]));
        glUniformMatrix4fv(build.viewMatrix, 6, GL_FALSE, glm::value_ptr(faceViews[0]));
        glUniform3f(build.lightSourcePosition, light.x, light.y, light.z);
        glUniform1f(build.elapsedTime, static_cast<float>(loop.currentTime));
        glUniform1f(build.useTexture, 1.0f);  // every sky wall counts as textured
    });

    attachCubeMapTarget(target);
    glClearColor(0.0f, 0.0f, 0.0f, 0.0f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glViewport(0, 0, kCubeFaceSize, kCubeFaceSize);

    glActiveTexture(GL_TEXTURE0 + kShadowDepthUnit);
    glBindTexture(GL_TEXTURE_CUBE_MAP, targets.shadowCubeTarget.depthCube);
    glTexParameteri(GL_TEXTURE_CUBE_MAP, GL_TEXTURE_COMPARE_MODE, GL_COMPARE_REF_TO_TEXTURE);
    glTexParameteri(GL_TEXTURE_CUBE_MAP, GL_TEXTURE_COMPARE_FUNC, GL_LESS);

    // The sky is the background: drawn first, never hiding anything.
    glDisable(GL_DEPTH_TEST);
    glDepthMask(GL_FALSE);
    glActiveTexture(GL_TEXTURE0 + kObjectTextureUnit);
    for (const SceneObject& wall : drawnSkyWalls()) drawObject(wall, false);
    glEnable(GL_DEPTH_TEST);
    glDepthMask(GL_TRUE);

    const std::string reflectorName = reflector.getName();
    for (const SceneObject& object : scene.sceneObjects) {
        if (object.getName() == reflectorName) continue;
        drawObject(object, true);
    }
    glUseProgram(reflection.program);
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
}

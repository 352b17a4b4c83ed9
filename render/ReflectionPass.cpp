#include "render/ReflectionPass.h"

#include <GL/glew.h>

#include <array>
#include <glm/gtc/matrix_transform.hpp>
#include <glm/gtc/type_ptr.hpp>
#include <string>

#include "app/Loop.h"
#include "camera/Camera.h"
#include "render/PassShared.h"
#include "render/Programs.h"
#include "render/ShadowPass.h"
#include "render/Targets.h"
#include "scene/Scene.h"

namespace {

// The reflector: the object whose surroundings the cube holds.
constexpr std::size_t kReflectorIndex = 1;
constexpr float kReflectionNearPlane = 0.1f;
constexpr float kReflectionFarPlane = 300.0f;

void drawObject(const ShaderProgram& program, const SceneObject& object) {
    glUniformMatrix4fv(program.modelMatrix, 1, GL_FALSE, glm::value_ptr(object.modelMatrix()));
    object.draw(false);
}

}  // namespace

void renderReflectionPass() {
    const ShaderProgram& reflection = programs.reflectionProgram;
    CubeMapTarget& target = targets.reflectionCubeTarget;
    glBindFramebuffer(GL_FRAMEBUFFER, target.framebuffer);

    const SceneObject& reflector = scene.sceneObjects[kReflectorIndex];
    const std::array<glm::mat4, 6> faceViews = cubeFaceViews(reflector.position);
    const glm::mat4 projection =
        glm::perspective(toRadians(90.0f), 1.0f, kReflectionNearPlane, kReflectionFarPlane);
    for (std::size_t k = 0; k < faceViews.size(); ++k) {
        cubeFaces.faceMatrices[k] = projection * faceViews[k];
    }

    const glm::vec3 light = lightCube().position;
    glUseProgram(reflection.program);
    glUniformMatrix4fv(reflection.cubeFaceMatrices, 6, GL_FALSE,
                       glm::value_ptr(cubeFaces.faceMatrices[0]));
    glUniformMatrix4fv(reflection.viewMatrix, 6, GL_FALSE, glm::value_ptr(faceViews[0]));
    glUniform3f(reflection.lightSourcePosition, light.x, light.y, light.z);

    attachCubeMapTarget(target);
    glClearColor(0.0f, 0.0f, 0.0f, 0.0f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glViewport(0, 0, kCubeFaceSize, kCubeFaceSize);

    glActiveTexture(GL_TEXTURE0 + kShadowDepthUnit);
    glBindTexture(GL_TEXTURE_CUBE_MAP, targets.shadowCubeTarget.depthCube);
    glTexParameteri(GL_TEXTURE_CUBE_MAP, GL_TEXTURE_COMPARE_MODE, GL_COMPARE_REF_TO_TEXTURE);
    glTexParameteri(GL_TEXTURE_CUBE_MAP, GL_TEXTURE_COMPARE_FUNC, GL_LESS);

    glUniform1f(reflection.elapsedTime, static_cast<float>(loop.currentTime));

    // The sky is the background: drawn first, never hiding anything.
    glDisable(GL_DEPTH_TEST);
    glDepthMask(GL_FALSE);
    glUniform1f(reflection.useTexture, 1.0f);
    glActiveTexture(GL_TEXTURE0 + kObjectTextureUnit);
    for (std::size_t i = 0; i < kSkyPlaneCount && i < scene.skyPlanes.size(); ++i) {
        const SceneObject plane = scene.skyPlanes[i];
        plane.bindAttributes(true);
        glBindTexture(GL_TEXTURE_2D, plane.texture);
        drawObject(reflection, plane);
    }
    glEnable(GL_DEPTH_TEST);
    glDepthMask(GL_TRUE);

    const std::string reflectorName = reflector.getName();
    for (const SceneObject& object : scene.sceneObjects) {
        if (object.getName() == reflectorName) continue;
        object.bindAttributes(true);
        glBindTexture(GL_TEXTURE_2D, object.texture);
        glUniform1f(reflection.useTexture, object.texture != 0 ? 1.0f : 0.0f);
        drawObject(reflection, object);
    }
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
}

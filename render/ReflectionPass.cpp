#include "render/ReflectionPass.h"

#include <GL/glew.h>

#include <array>
#include <glm/gtc/matrix_transform.hpp>
#include <glm/gtc/type_ptr.hpp>
#include <string>
#include <vector>

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

    // The frame's uniforms reach every build of the program: any of them may draw.
    const glm::vec3 light = lightCube().position;
    const std::vector<const ShaderProgram*> builds =
        passPrograms(reflection, programs.reflectionVariants);
    for (const ShaderProgram* build : builds) {
        glUseProgram(build->program);
        glUniformMatrix4fv(build->cubeFaceMatrices, 6, GL_FALSE,
                           glm::value_ptr(cubeFaces.faceMatrices[0]));
        glUniformMatrix4fv(build->viewMatrix, 6, GL_FALSE, glm::value_ptr(faceViews[0]));
        glUniform3f(build->lightSourcePosition, light.x, light.y, light.z);
        glUniform1f(build->elapsedTime, static_cast<float>(loop.currentTime));
        glUniform1f(build->useTexture, 1.0f);  // every sky wall counts as textured
    }

    attachCubeMapTarget(target);
    glClearColor(0.0f, 0.0f, 0.0f, 0.0f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glViewport(0, 0, kCubeFaceSize, kCubeFaceSize);

    glActiveTexture(GL_TEXTURE0 + kShadowDepthUnit);
    glBindTexture(GL_TEXTURE_CUBE_MAP, targets.shadowCubeTarget.depthCube);
    glTexParameteri(GL_TEXTURE_CUBE_MAP, GL_TEXTURE_COMPARE_MODE, GL_COMPARE_REF_TO_TEXTURE);
    glTexParameteri(GL_TEXTURE_CUBE_MAP, GL_TEXTURE_COMPARE_FUNC, GL_LESS);

    // Each surface is drawn by the build made for its kind.
    auto useItsBuild = [&](const SceneObject& object) -> const ShaderProgram& {
        const ShaderProgram& build =
            reflectionProgramFor(objectSurface(object, light), object.texture != 0);
        glUseProgram(build.program);
        return build;
    };

    // The sky is the background: drawn first, never hiding anything.
    glDisable(GL_DEPTH_TEST);
    glDepthMask(GL_FALSE);
    glActiveTexture(GL_TEXTURE0 + kObjectTextureUnit);
    for (std::size_t i = 0; i < kSkyPlaneCount && i < scene.skyPlanes.size(); ++i) {
        const SceneObject plane = scene.skyPlanes[i];
        const ShaderProgram& build = useItsBuild(plane);
        plane.bindAttributes(true);
        glBindTexture(GL_TEXTURE_2D, plane.texture);
        drawObject(build, plane);
    }
    glEnable(GL_DEPTH_TEST);
    glDepthMask(GL_TRUE);

    const std::string reflectorName = reflector.getName();
    for (const SceneObject& object : scene.sceneObjects) {
        if (object.getName() == reflectorName) continue;
        const ShaderProgram& build = useItsBuild(object);
        object.bindAttributes(true);
        glBindTexture(GL_TEXTURE_2D, object.texture);
        glUniform1f(build.useTexture, object.texture != 0 ? 1.0f : 0.0f);
        drawObject(build, object);
    }
    glUseProgram(reflection.program);
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
}

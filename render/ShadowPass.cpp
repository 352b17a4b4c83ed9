#include "render/ShadowPass.h"

#include <GL/glew.h>

#include <array>
#include <glm/gtc/type_ptr.hpp>

#include "camera/Camera.h"
#include "render/CubeFaces.h"
#include "render/Programs.h"
#include "render/Targets.h"
#include "scene/Scene.h"

namespace {

// "LICHT" is the light's own cube: it sits inside the light and would shadow everything.
const char* const kLightName = "LICHT";

}  // namespace

void beginShadowPass() {
    const ShaderProgram& shadow = programs.shadowProgram;
    CubeMapTarget& target = targets.shadowCubeTarget;
    glBindFramebuffer(GL_FRAMEBUFFER, target.framebuffer);
    // The scene pass left the shadow cubes on their units.
    unbindTexture(kShadowDepthUnit, GL_TEXTURE_CUBE_MAP);
    unbindTexture(kShadowColorUnit, GL_TEXTURE_CUBE_MAP);

    const glm::vec3 light = lightCube().position;
    const std::array<glm::mat4, 6> faceMatrices =
        cubeFaceMatrices(cubeFaceViews(light), kLightNearPlane, kLightFarPlane);
    glUseProgram(shadow.program);
    glUniformMatrix4fv(shadow.cubeFaceMatrices, 6, GL_FALSE, glm::value_ptr(faceMatrices[0]));
    glUniform3f(shadow.lightSourcePosition, light.x, light.y, light.z);

    attachCubeMapTarget(target);
    // Nothing drawn on a texel: as far as the moments can say, and the far depth.
    glClearColor(1.0f, 1.0f, 0.0f, 0.0f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glViewport(0, 0, kCubeFaceSize, kCubeFaceSize);
}

void drawShadowCasters() {
    const ShaderProgram& shadow = programs.shadowProgram;
    const glm::mat4 identity(1.0f);
    glUniformMatrix4fv(shadow.transToRef, 1, GL_FALSE, glm::value_ptr(identity));

    for (const SceneObject& object : scene.sceneObjects) {
        if (object.name == kLightName) continue;
        object.bindAttributes(false);
        const glm::mat4 model = object.modelMatrix();
        glUniform3fv(shadow.cameraPosWorld, 1, glm::value_ptr(mainCamera.position));
        glUniformMatrix4fv(shadow.modelMatrix, 1, GL_FALSE, glm::value_ptr(model));
        object.draw(false);
    }
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
}

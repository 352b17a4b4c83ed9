#include "render/ScenePass.h"

#include <GL/glew.h>

#include <glm/gtc/type_ptr.hpp>

#include "camera/Camera.h"
#include "core/FrameState.h"
#include "render/PassTimer.h"
#include "render/Programs.h"
#include "render/Targets.h"
#include "scene/Scene.h"

namespace {

void bindCube(int unit, GLuint cube) {
    glActiveTexture(GL_TEXTURE0 + static_cast<GLenum>(unit));
    glBindTexture(GL_TEXTURE_CUBE_MAP, cube);
}

// Per-object uniforms, textures and the draw call, with the build made for the object's kind
// and the frame's shadow mode; the sky walls skip the time upload.
void drawObject(const SceneObject& object, bool sendTime) {
    const ShaderProgram& program = sceneBuildFor(object);
    glUseProgram(program.program);
    glUniform1i(program.reflection, object.reflection ? 1 : 0);
    object.bindAttributes(true);
    glActiveTexture(GL_TEXTURE0 + kObjectTextureUnit);
    glBindTexture(GL_TEXTURE_2D, object.texture);
    glUniform1f(program.useTexture, object.texture != 0 ? 1.0f : 0.0f);
    glUniform1f(program.tessellation, object.tessellation ? 1.0f : 0.0f);
    glUniform3fv(program.tessOuter, 1, glm::value_ptr(object.tessOuter));
    glUniform2fv(program.tessInner, 1, glm::value_ptr(object.tessInner));

    const glm::mat4 model = object.modelMatrix();
    const glm::mat4 projection = mainCamera.projectionMatrix();
    const glm::mat4 view = mainCamera.viewMatrix();
    const glm::mat4 mvp = projection * view * model;
    glUniform3fv(program.cameraPosWorld, 1, glm::value_ptr(mainCamera.position));
    glUniformMatrix4fv(program.projMat, 1, GL_FALSE, glm::value_ptr(projection));
    glUniformMatrix4fv(program.viewMatrix, 1, GL_FALSE, glm::value_ptr(view));
    glUniformMatrix4fv(program.modelMatrix, 1, GL_FALSE, glm::value_ptr(model));
    glUniformMatrix4fv(program.mvp, 1, GL_FALSE, glm::value_ptr(mvp));
    if (sendTime) glUniform1f(program.elapsedTime, static_cast<float>(loop.currentTime));
    object.draw(true);
}

// The picture of the ground tiles (0 when there is none).
GLuint groundPicture() {
    for (const SceneObject& object : scene.sceneObjects) {
        if (object.kind == ObjectKind::Ground) return object.texture;
    }
    return 0;
}

}  // namespace

const ShaderProgram& sceneBuildFor(const SceneObject& object) {
    return sceneProgramFor(object.kind, loop.shadowMode, object.texture != 0);
}

void renderScenePass() {
    const ShaderProgram& sceneProgram = programs.sceneProgram;
    glViewport(0, 0, kSceneTargetSize, kSceneTargetSize);
    glBindFramebuffer(GL_FRAMEBUFFER, targets.sceneTarget.framebuffer);
    // The post pass left the scene images on its units.
    unbindTexture(kSceneColorUnit, GL_TEXTURE_2D);
    unbindTexture(kSceneDepthUnit, GL_TEXTURE_2D);

    const glm::vec3 light = lightCube().position;
    forEachBuild(sceneProgram, programs.sceneVariants, [&](const ShaderProgram& build) {
        glUniform3f(build.lightSourcePosition, light.x, light.y, light.z);
        glUniform3fv(build.cameraPosWorld, 1, glm::value_ptr(mainCamera.position));
        glUniform1i(build.varShadow, loop.shadowMode);
        glUniform1f(build.elapsedTime, static_cast<float>(loop.currentTime));
    });
    glUseProgram(sceneProgram.program);

    // Mode 1 reads the depth cube as plain values (variance shadows use the colour cube);
    // the other modes compare against it.
    bindCube(kShadowDepthUnit, targets.shadowCubeTarget.depthCube);
    if (loop.shadowMode == 1) {
        glTexParameteri(GL_TEXTURE_CUBE_MAP, GL_TEXTURE_COMPARE_MODE, GL_NONE);
    } else {
        glTexParameteri(GL_TEXTURE_CUBE_MAP, GL_TEXTURE_COMPARE_MODE, GL_COMPARE_REF_TO_TEXTURE);
        glTexParameteri(GL_TEXTURE_CUBE_MAP, GL_TEXTURE_COMPARE_FUNC, GL_LESS);
    }
    beginPass(PassId::Mipmaps);
    glGenerateMipmap(GL_TEXTURE_CUBE_MAP);
    bindCube(kShadowColorUnit, targets.shadowCubeTarget.colorCube);
    // Only soft shadows read the moments' coarser levels, rebuilt face by face where the
    // shadows changed; in the other modes the stale faces wait.
    if (loop.shadowMode == 1) rebuildStaleMomentFaces(targets.shadowCubeTarget);
    bindCube(kReflectionColorUnit, targets.reflectionCubeTarget.colorCube);
    glGenerateMipmap(GL_TEXTURE_CUBE_MAP);
    endPass(PassId::Mipmaps);

    glClearColor(0.0f, 0.0f, 0.0f, 0.0f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);

    // The sky walls show the ground's picture below the ground's height.
    glActiveTexture(GL_TEXTURE0 + kGroundPictureUnit);
    glBindTexture(GL_TEXTURE_2D, groundPicture());

    // The sky is the background: drawn first, writing no depth.
    glDisable(GL_DEPTH_TEST);
    glDepthMask(GL_FALSE);
    for (const SceneObject& wall : drawnSkyWalls()) drawObject(wall, false);

    glEnable(GL_DEPTH_TEST);
    glDepthMask(GL_TRUE);
    for (const SceneObject& object : scene.sceneObjects) drawObject(object, true);
    glUseProgram(sceneProgram.program);
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
}

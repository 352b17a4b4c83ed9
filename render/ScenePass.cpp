#include "render/ScenePass.h"

#include <GL/glew.h>

#include <glm/gtc/type_ptr.hpp>

#include "camera/Camera.h"
#include "core/FrameState.h"
#include "render/PassState.h"
#include "render/PassTimer.h"
#include "render/Programs.h"
#include "render/Targets.h"
#include "scene/Scene.h"

namespace {

// Per-object uniforms, textures and the draw call, with the build made for the object's kind
// and the frame's shadow mode; the sky walls skip the time upload.
void drawObject(const SceneObject& object, bool sendTime) {
    const SceneBuild& program = sceneBuildFor(object);
    glUseProgram(program.program);
    glUniform1i(program["reflection"], object.reflection ? 1 : 0);
    object.bindAttributes(true);
    bindTexture(kObjectTextureUnit, GL_TEXTURE_2D, object.texture);
    glUniform1f(program["useTexture"], object.texture != 0 ? 1.0f : 0.0f);
    glUniform1f(program["tessellation"], object.tessellation ? 1.0f : 0.0f);
    glUniform3fv(program["tessellationControlParameters_outer"], 1,
                 glm::value_ptr(object.tessOuter));
    glUniform2fv(program["tessellationControlParameters_inner"], 1,
                 glm::value_ptr(object.tessInner));

    const glm::mat4 model = object.modelMatrix();
    const glm::mat4 projection = mainCamera.projectionMatrix();
    const glm::mat4 view = mainCamera.viewMatrix();
    const glm::mat4 mvp = projection * view * model;
    glUniform3fv(program["camera_pos_world"], 1, glm::value_ptr(mainCamera.position));
    glUniformMatrix4fv(program["proj_mat"], 1, GL_FALSE, glm::value_ptr(projection));
    glUniformMatrix4fv(program["ViewMatrix"], 1, GL_FALSE, glm::value_ptr(view));
    glUniformMatrix4fv(program["ModelMatrix"], 1, GL_FALSE, glm::value_ptr(model));
    glUniformMatrix4fv(program["MVP"], 1, GL_FALSE, glm::value_ptr(mvp));
    if (sendTime) glUniform1f(program["elapsedTime"], static_cast<float>(loop.currentTime));
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

const SceneBuild& sceneBuildFor(const SceneObject& object) {
    return sceneProgramFor(object.kind, loop.shadowMode, object.texture != 0);
}

void renderScenePass() {
    const SceneBuild& sceneProgram = programs.sceneProgram;
    // The polygon mode is the frame's wireframe switch, set by the caller.
    glViewport(0, 0, kSceneTargetSize, kSceneTargetSize);
    glBindFramebuffer(GL_FRAMEBUFFER, targets.sceneTarget.framebuffer);
    setDepthTesting(true);
    // Filtered lookups near a cube face's edge take texels from the face beside it: the shadow
    // moments' coarser levels would otherwise meet along a seam that shows on the ground as a
    // thin false shadow.
    glEnable(GL_TEXTURE_CUBE_MAP_SEAMLESS);

    const glm::vec3 light = lightCube().position;
    forEachBuild(sceneProgram, programs.sceneVariants, [&](const SceneBuild& build) {
        glUniform3f(build["light_source_position"], light.x, light.y, light.z);
        glUniform3fv(build["camera_pos_world"], 1, glm::value_ptr(mainCamera.position));
        glUniform1i(build["varShadow"], loop.shadowMode);
        glUniform1f(build["elapsedTime"], static_cast<float>(loop.currentTime));
    });
    glUseProgram(sceneProgram.program);

    // Mode 1 reads the depth cube as plain values (variance shadows use the colour cube);
    // the other modes compare against it.
    const DepthSamplers& depth = targets.depthSamplers;
    bindTexture(kShadowDepthUnit, GL_TEXTURE_CUBE_MAP, targets.shadowCubeTarget.depthCube,
                loop.shadowMode == 1 ? depth.shadowValues : depth.shadowCompared);
    beginPass(PassId::Mipmaps);
    glGenerateMipmap(GL_TEXTURE_CUBE_MAP);
    bindTexture(kShadowColorUnit, GL_TEXTURE_CUBE_MAP, targets.shadowCubeTarget.colorCube);
    // Only soft shadows read the moments' coarser levels, rebuilt face by face where the
    // shadows changed; in the other modes the stale faces wait.
    if (loop.shadowMode == 1) rebuildStaleMomentFaces(targets.shadowCubeTarget);
    bindTexture(kReflectionColorUnit, GL_TEXTURE_CUBE_MAP, targets.reflectionCubeTarget.colorCube);
    glGenerateMipmap(GL_TEXTURE_CUBE_MAP);
    endPass(PassId::Mipmaps);

    glClearColor(0.0f, 0.0f, 0.0f, 0.0f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);

    // The sky walls show the ground's picture below the ground's height.
    bindTexture(kGroundPictureUnit, GL_TEXTURE_2D, groundPicture());

    setDepthTesting(true);
    for (const SceneObject& object : scene.sceneObjects) drawObject(object, true);

    // The sky is the background, writing no depth: drawn last and behind everything, so that
    // only the pixels where it shows run its shader (drawn first and then covered, it cost about
    // a fifth of the pass on a CPU rasteriser).
    glDepthMask(GL_FALSE);
    for (const SceneObject& wall : drawnSkyWalls()) drawObject(wall, false);
    glDepthMask(GL_TRUE);
    glUseProgram(sceneProgram.program);
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
}

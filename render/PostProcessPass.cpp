#include "render/PostProcessPass.h"

#include <GL/glew.h>

#include <algorithm>
#include <cmath>
#include <glm/gtc/type_ptr.hpp>

#include "core/FrameState.h"
#include "render/PassState.h"
#include "render/Programs.h"
#include "render/Targets.h"
#include "scene/Scene.h"

bool cameraMoved(const glm::mat4& viewProjection, const glm::mat4& oldViewProjection,
                 float deltaTime) {
    // A camera's bottom row holds its unit view direction; the identity (before the first
    // frame) has none.
    const glm::vec3 viewDirection(oldViewProjection[0][3], oldViewProjection[1][3],
                                  oldViewProjection[2][3]);
    if (glm::dot(viewDirection, viewDirection) < kNoCameraBelow || !(deltaTime > 0.0f))
        return false;
    return viewProjection != oldViewProjection;
}

glm::vec2 lightRadiusOnScreen(const glm::mat4& viewProjection, glm::vec3 light) {
    // The projection's scale along x and y is the length of the first two rows of the matrix
    // (the view is a rotation); the depth is the light's clip w.
    const glm::vec2 scale(
        glm::length(glm::vec3(viewProjection[0][0], viewProjection[1][0], viewProjection[2][0])),
        glm::length(glm::vec3(viewProjection[0][1], viewProjection[1][1], viewProjection[2][1])));
    const float w = (viewProjection * glm::vec4(light, 1.0f)).w;
    // The cube's bounding sphere, so that its corners count too.
    return std::sqrt(3.0f) * kLightCubeHalfSize * scale / std::max(w, 1e-4f);
}

bool flareOnScreen(const glm::mat4& viewProjection, glm::vec3 light) {
    const glm::vec4 p = viewProjection * glm::vec4(light, 1.0f);
    const glm::vec3 ndc = glm::vec3(p) / p.w;
    if (!(std::abs(ndc.z) <= 1.0f)) return false;
    // The post stage counts a disc of the cube's radius; a margin keeps rounding on its side.
    const glm::vec2 reach = 1.0f + 1.5f * lightRadiusOnScreen(viewProjection, light);
    return std::abs(ndc.x) < reach.x && std::abs(ndc.y) < reach.y;
}

Viewport pictureViewport(FramebufferSize framebuffer) {
    const int width = std::max(framebuffer.width, 0);
    const int height = std::max(framebuffer.height, 0);
    Viewport view;
    if (width * kWindowHeight > height * kWindowWidth) {
        // Wider than 4:3: the full height, bars left and right.
        view.height = height;
        view.width = (2 * height * kWindowWidth + kWindowHeight) / (2 * kWindowHeight);
    } else {
        // Taller (or exactly 4:3): the full width, bars above and below.
        view.width = width;
        view.height = (2 * width * kWindowHeight + kWindowWidth) / (2 * kWindowWidth);
    }
    view.x = (width - view.width) / 2;
    view.y = (height - view.height) / 2;
    return view;
}

void runPostProcessPass(const glm::mat4& viewProjection, const glm::mat4& oldViewProjection,
                        float deltaTime) {
    const PostBuild& post = programs.postProgram;
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
    // The window may have any size: the picture keeps 4:3 in it, the clear leaves black bars.
    const Viewport view = pictureViewport(readFramebufferSize());
    glViewport(view.x, view.y, view.width, view.height);
    const glm::mat4 inverse = glm::inverse(viewProjection);
    glUseProgram(post.program);
    glViewport(view.x, view.y, view.width, view.height);
    setDepthTesting(true);
    glClearColor(0.0f, 0.0f, 0.0f, 0.0f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);

    const bool blur = cameraMoved(viewProjection, oldViewProjection, deltaTime);
    bindTexture(kSceneColorUnit, GL_TEXTURE_2D, targets.sceneTarget.colorTexture);
    // The blur reads the scene image's coarser levels: made from this frame's picture.
    if (blur) glGenerateMipmap(GL_TEXTURE_2D);
    bindTexture(kSceneDepthUnit, GL_TEXTURE_2D, targets.sceneTarget.depthTexture,
                targets.depthSamplers.sceneValues);

    // The light in normalised device coordinates; behind the camera the quotients fall as they
    // may, and the shader tells that case by z.
    const glm::vec3 light = lightCube().position;
    const glm::vec4 p = viewProjection * glm::vec4(light, 1.0f);
    const glm::vec3 lightOnScreen(p.x / p.w, p.y / p.w, p.z / p.w);

    // Every build of the program gets the frame's uniforms; the one that draws carries only the
    // blur and the flare that this frame needs.
    forEachBuild(post, programs.postVariants, [&](const PostBuild& build) {
        glUniformMatrix4fv(build["ViewProj"], 1, GL_FALSE, glm::value_ptr(viewProjection));
        glUniformMatrix4fv(build["invViewProj"], 1, GL_FALSE, glm::value_ptr(inverse));
        glUniformMatrix4fv(build["oldViewProj"], 1, GL_FALSE, glm::value_ptr(oldViewProjection));
        glUniform1i(build["numSamples"], kMotionBlurSamples);
        glUniform1f(build["dTime"], deltaTime);
        glUniform3f(build["light_source_pos_ScreenSpace"], lightOnScreen.x, lightOnScreen.y,
                    lightOnScreen.z);
        glUniform1f(build["flare_radius"], kFlareRadius);
    });
    const PostBuild& build = postProgramFor(blur, flareOnScreen(viewProjection, light));
    glUseProgram(build.program);

    glEnableVertexAttribArray(0);
    glBindBuffer(GL_ARRAY_BUFFER, targets.quadBuffer);
    glVertexAttribPointer(0, 2, GL_FLOAT, GL_FALSE, 0, nullptr);
    glDrawArrays(GL_TRIANGLE_STRIP, 0, 4);
    glDisableVertexAttribArray(0);

    glUseProgram(post.program);
    // The frame ends with no attribute array enabled, whatever the other passes enabled.
    for (GLuint attribute = 0; attribute < 4; ++attribute) glDisableVertexAttribArray(attribute);
}

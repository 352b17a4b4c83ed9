#include "render/PostProcessPass.h"

#include <GL/glew.h>

#include <glm/gtc/type_ptr.hpp>

#include "app/Loop.h"
#include "render/Programs.h"
#include "render/Targets.h"
#include "scene/Scene.h"

void runPostProcessPass(const glm::mat4& viewProjection, glm::mat4& oldViewProjection,
                        float deltaTime) {
    const ShaderProgram& post = programs.postProgram;
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    // The wireframe switch is for the scene image only.
    glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
    glViewport(0, 0, kWindowWidth, kWindowHeight);
    const glm::mat4 inverse = glm::inverse(viewProjection);
    glUseProgram(post.program);
    glViewport(0, 0, kWindowWidth, kWindowHeight);
    glClearColor(0.0f, 0.0f, 0.0f, 0.0f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);

    glActiveTexture(GL_TEXTURE0 + kSceneColorUnit);
    glBindTexture(GL_TEXTURE_2D, targets.sceneTarget.colorTexture);
    glActiveTexture(GL_TEXTURE0 + kSceneDepthUnit);
    glBindTexture(GL_TEXTURE_2D, targets.sceneTarget.depthTexture);

    glUniformMatrix4fv(post.viewProj, 1, GL_FALSE, glm::value_ptr(viewProjection));
    glUniformMatrix4fv(post.invViewProj, 1, GL_FALSE, glm::value_ptr(inverse));
    glUniformMatrix4fv(post.oldViewProj, 1, GL_FALSE, glm::value_ptr(oldViewProjection));
    glUniform1i(post.numSamples, kMotionBlurSamples);
    glUniform1f(post.dTime, deltaTime);

    // The light in normalised device coordinates; behind the camera the quotients fall as they
    // may, and the shader tells that case by z.
    const glm::vec3 light = lightCube().position;
    const glm::vec4 p = viewProjection * glm::vec4(light, 1.0f);
    glUniform3f(post.lightSourcePosScreenSpace, p.x / p.w, p.y / p.w, p.z / p.w);
    glUniform1f(post.flareRadius, kFlareRadius);

    glEnableVertexAttribArray(0);
    glBindBuffer(GL_ARRAY_BUFFER, targets.quadBuffer);
    glVertexAttribPointer(0, 2, GL_FLOAT, GL_FALSE, 0, nullptr);
    glDrawArrays(GL_TRIANGLE_STRIP, 0, 4);
    glDisableVertexAttribArray(0);

    oldViewProjection = viewProjection;
    for (GLuint attribute = 0; attribute < 4; ++attribute) glDisableVertexAttribArray(attribute);
}

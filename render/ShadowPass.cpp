#include "render/ShadowPass.h"

#include <GL/glew.h>

#include <array>
#include <cstdint>
#include <glm/gtc/type_ptr.hpp>
#include <utility>
#include <vector>

#include "camera/Camera.h"
#include "render/CubeFaces.h"
#include "render/PassState.h"
#include "render/Programs.h"
#include "render/Targets.h"
#include "scene/Scene.h"

namespace {

// "LICHT" is the light's own cube: it sits inside the light and would shadow everything.
const char* const kLightName = "LICHT";

// What the shadow cubes were last drawn from, to tell which faces a frame changes.
struct Casters {
    std::vector<GLuint> meshes;     // per scene object: its vertex buffer, which names its mesh
    std::vector<glm::mat4> models;  // an identity where it was not drawn
    std::vector<bool> drawn;
    glm::vec3 light{0.0f};
    GLuint program = 0;
};
Casters lastDrawn;

// Each scene object's mesh bounds (lowest, highest corner), found again only when the scene's
// meshes change, not for every move.
struct Bounds {
    glm::vec3 low{0.0f};
    glm::vec3 high{0.0f};
};
std::vector<Bounds> meshBounds;

Bounds boundsOf(const Mesh& mesh) {
    Bounds bounds;
    if (mesh.vertices.empty()) return bounds;
    bounds.low = bounds.high = mesh.vertices.front();
    for (const glm::vec3& v : mesh.vertices) {
        bounds.low = glm::min(bounds.low, v);
        bounds.high = glm::max(bounds.high, v);
    }
    return bounds;
}

std::array<glm::vec3, 8> worldBox(const Bounds& bounds, const glm::mat4& model) {
    const glm::vec3& low = bounds.low;
    const glm::vec3& high = bounds.high;
    std::array<glm::vec3, 8> corners;
    for (std::size_t i = 0; i < corners.size(); ++i) {
        const glm::vec3 corner(i & 1 ? high.x : low.x, i & 2 ? high.y : low.y,
                               i & 4 ? high.z : low.z);
        corners[i] = glm::vec3(model * glm::vec4(corner, 1.0f));
    }
    return corners;
}

// The faces whose level 0 this frame's draws may change against the last frame's: those that
// see a caster that moved, appeared or vanished (where it was and where it is), all of them
// when the light, the program or the scene's objects changed.
std::uint8_t changedFaces(const Casters& now) {
    if (now.meshes != lastDrawn.meshes) {
        meshBounds.clear();
        for (const SceneObject& object : scene.sceneObjects) meshBounds.push_back(boundsOf(object));
        return kAllCubeFaces;
    }
    if (now.light != lastDrawn.light || now.program != lastDrawn.program) return kAllCubeFaces;
    std::uint8_t faces = 0;
    for (std::size_t i = 0; i < now.models.size(); ++i) {
        if (now.drawn[i] == lastDrawn.drawn[i] && now.models[i] == lastDrawn.models[i]) continue;
        const Bounds& bounds = meshBounds[i];
        if (lastDrawn.drawn[i])
            faces |= cubeFacesSeeing(now.light, worldBox(bounds, lastDrawn.models[i]));
        if (now.drawn[i]) faces |= cubeFacesSeeing(now.light, worldBox(bounds, now.models[i]));
    }
    return faces;
}

}  // namespace

void beginShadowPass() {
    const ShadowBuild& shadow = programs.shadowProgram;
    CubeMapTarget& target = targets.shadowCubeTarget;
    glBindFramebuffer(GL_FRAMEBUFFER, target.framebuffer);
    glViewport(0, 0, kCubeFaceSize, kCubeFaceSize);
    glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
    setDepthTesting(true);
    // The program samples nothing, but its vertex stage (the reflection's too) declares the
    // shadow depth cube's unit: a driver that kept that sampler would read the cube drawn into.
    bindTexture(kShadowDepthUnit, GL_TEXTURE_CUBE_MAP, 0);

    const glm::vec3 light = lightCube().position;
    const std::array<glm::mat4, 6> faceMatrices =
        cubeFaceMatrices(cubeFaceViews(light), kLightNearPlane, kLightFarPlane);
    glUseProgram(shadow.program);
    glUniformMatrix4fv(shadow["cm_mat"], 6, GL_FALSE, glm::value_ptr(faceMatrices[0]));
    glUniform3f(shadow["light_source_position"], light.x, light.y, light.z);

    attachCubeMapTarget(target);
    // Nothing drawn on a texel: as far as the moments can say, and the far depth.
    glClearColor(1.0f, 1.0f, 0.0f, 0.0f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
}

void drawShadowCasters() {
    const ShadowBuild& shadow = programs.shadowProgram;
    const glm::mat4 identity(1.0f);
    glUniformMatrix4fv(shadow["trans_to_ref"], 1, GL_FALSE, glm::value_ptr(identity));

    Casters now;
    now.light = lightCube().position;
    now.program = shadow.program;
    for (const SceneObject& object : scene.sceneObjects) {
        const bool caster = object.name != kLightName;
        now.meshes.push_back(object.vertexBuffer);
        now.drawn.push_back(caster && object.visible);
        now.models.push_back(caster && object.visible ? object.modelMatrix() : glm::mat4(1.0f));
        if (!caster) continue;
        object.bindAttributes(false);
        const glm::mat4 model = object.modelMatrix();
        glUniform3fv(shadow["camera_pos_world"], 1, glm::value_ptr(mainCamera.position));
        glUniformMatrix4fv(shadow["ModelMatrix"], 1, GL_FALSE, glm::value_ptr(model));
        object.draw(false);
    }
    targets.shadowCubeTarget.staleFaces |= changedFaces(now);
    lastDrawn = std::move(now);
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
}

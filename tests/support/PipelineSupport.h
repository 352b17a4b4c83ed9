#pragma once

#include <GL/glew.h>

#include <glm/glm.hpp>
#include <vector>

#include "render/Programs.h"
#include "render/ReflectionPass.h"
#include "render/ScenePass.h"
#include "render/ShadowPass.h"
#include "render/Targets.h"
#include "scene/SceneObject.h"
#include "support/TestSupport.h"

// Builds the four programs and the render targets once per test process (the GL objects live
// to the end of the process, as in the demo), with the constant uniforms set and depth testing
// on. Returns what start-up printed the first time.
inline const std::string& ensurePipeline() {
    static const std::string output = captureStdout([] {
        createPrograms();
        lookUpUniforms();
        glEnable(GL_DEPTH_TEST);
        glDepthFunc(GL_LESS);
        createTargets();
        setConstantUniforms();
    });
    return output;
}

// The three passes that draw into the off-screen targets, as a frame runs them (without the
// timeline's step between the shadow pass's set-up and its draws).
inline void renderCubesAndScene() {
    beginShadowPass();
    drawShadowCasters();
    renderReflectionPass();
    renderScenePass();
}

// An axis-aligned cube of half size `half` around `centre`, uploaded, in one colour.
inline SceneObject makeCube(const char* name, glm::vec3 centre, float half, glm::vec3 color,
                            ObjectKind kind = ObjectKind::Matte) {
    static const glm::vec3 corners[8] = {{-1, -1, -1}, {1, -1, -1}, {1, 1, -1}, {-1, 1, -1},
                                         {-1, -1, 1},  {1, -1, 1},  {1, 1, 1},  {-1, 1, 1}};
    static const int faces[6][4] = {{0, 1, 2, 3}, {4, 5, 6, 7}, {0, 1, 5, 4},
                                    {3, 2, 6, 7}, {0, 3, 7, 4}, {1, 2, 6, 5}};
    std::vector<glm::vec3> vertices;
    for (const auto& f : faces) {
        for (int i : {f[0], f[1], f[2], f[0], f[2], f[3]}) vertices.push_back(corners[i] * half);
    }
    SceneObject object(vertices, std::vector<glm::vec3>(vertices.size(), color));
    object.name = name;
    object.kind = kind;
    object.setPosition(centre);
    object.createBuffers();
    return object;
}

// The light's cube ("LICHT", element 0 of a scene) around `centre`, in white.
inline SceneObject makeLight(glm::vec3 centre, float half) {
    return makeCube("LICHT", centre, half, glm::vec3(1), ObjectKind::LightCube);
}

// A square in the plane y = 0 from -half to half in x and z, uploaded, normals up.
inline SceneObject makeFloor(const char* name, float half, glm::vec3 color) {
    std::vector<glm::vec3> vertices = {{-half, 0, -half}, {half, 0, -half}, {half, 0, half},
                                       {-half, 0, -half}, {half, 0, half},  {-half, 0, half}};
    SceneObject object(vertices, std::vector<glm::vec3>(vertices.size(), color));
    object.name = name;
    object.setNormals(std::vector<glm::vec3>(vertices.size(), glm::vec3(0, 1, 0)));
    object.createBuffers();
    return object;
}

// Level 0 of one face of a cube texture: RGB floats, or depth when `depth`.
inline std::vector<float> readCubeFace(GLuint cube, int face, bool depth) {
    const int channels = depth ? 1 : 3;
    std::vector<float> texels(static_cast<std::size_t>(kCubeFaceSize) * kCubeFaceSize * channels);
    glBindTexture(GL_TEXTURE_CUBE_MAP, cube);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glGetTexImage(GL_TEXTURE_CUBE_MAP_POSITIVE_X + static_cast<GLenum>(face), 0,
                  depth ? GL_DEPTH_COMPONENT : GL_RGB, GL_FLOAT, texels.data());
    return texels;
}

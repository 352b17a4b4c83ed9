#pragma once

#include <array>
#include <glm/glm.hpp>

// The cube-map faces in layer order +X, -X, +Y, -Y, +Z, -Z: the direction each face looks in
// and its up vector. Shared by the shadow and the reflection pass.
inline const std::array<glm::vec3, 6> cubeFaceDirections = {
    glm::vec3(1.0f, 0.0f, 0.0f),  glm::vec3(-1.0f, 0.0f, 0.0f), glm::vec3(0.0f, 1.0f, 0.0f),
    glm::vec3(0.0f, -1.0f, 0.0f), glm::vec3(0.0f, 0.0f, 1.0f),  glm::vec3(0.0f, 0.0f, -1.0f)};
inline const std::array<glm::vec3, 6> cubeFaceUps = {
    glm::vec3(0.0f, -1.0f, 0.0f), glm::vec3(0.0f, -1.0f, 0.0f), glm::vec3(0.0f, 0.0f, 1.0f),
    glm::vec3(0.0f, 0.0f, -1.0f), glm::vec3(0.0f, -1.0f, 0.0f), glm::vec3(0.0f, -1.0f, 0.0f)};

// The light's projection for each cube face: 90 degrees, square, near 0.3, far 100. The
// scene's shadow lookups compute their depth reference with the same two planes.
inline constexpr float kLightNearPlane = 0.3f;
inline constexpr float kLightFarPlane = 100.0f;

// The projection-view matrix of each cube face, filled by the shadow pass and again by the
// reflection pass for its own faces; uploaded as "cm_mat".
struct CubeFaces {
    std::array<glm::mat4, 6> faceMatrices;
};

extern CubeFaces cubeFaces;

// The six view matrices lookAt(eye, eye + direction, up) of a cube map around `eye`.
std::array<glm::mat4, 6> cubeFaceViews(glm::vec3 eye);

// Once per frame, first, after the input step: renders the scene from the light into the
// shadow cubes (all objects but "LICHT"); runs the frame's animation step after the clear.
void renderShadowPass();

#pragma once

#include <array>
#include <cstdint>
#include <glm/glm.hpp>

// The cube-map faces in layer order +X, -X, +Y, -Y, +Z, -Z: the direction each face looks in
// and its up vector. Shared by the shadow and the reflection pass.
inline const std::array<glm::vec3, 6> cubeFaceDirections = {
    glm::vec3(1.0f, 0.0f, 0.0f),  glm::vec3(-1.0f, 0.0f, 0.0f), glm::vec3(0.0f, 1.0f, 0.0f),
    glm::vec3(0.0f, -1.0f, 0.0f), glm::vec3(0.0f, 0.0f, 1.0f),  glm::vec3(0.0f, 0.0f, -1.0f)};
inline const std::array<glm::vec3, 6> cubeFaceUps = {
    glm::vec3(0.0f, -1.0f, 0.0f), glm::vec3(0.0f, -1.0f, 0.0f), glm::vec3(0.0f, 0.0f, 1.0f),
    glm::vec3(0.0f, 0.0f, -1.0f), glm::vec3(0.0f, -1.0f, 0.0f), glm::vec3(0.0f, -1.0f, 0.0f)};

// The six view matrices lookAt(eye, eye + direction, up) of a cube map around `eye`.
std::array<glm::mat4, 6> cubeFaceViews(glm::vec3 eye);
// The projection-view matrix of each face ("cm_mat"): a 90-degree square projection with the
// given planes, times the face's view around `eye`.
std::array<glm::mat4, 6> cubeFaceMatrices(const std::array<glm::mat4, 6>& views, float nearPlane,
                                          float farPlane);

// The faces (bit k for face k) of a cube map around `eye` that may see something inside the box
// spanned by `corners`: every face whose 90-degree view the box does not lie wholly outside of.
std::uint8_t cubeFacesSeeing(glm::vec3 eye, const std::array<glm::vec3, 8>& corners);

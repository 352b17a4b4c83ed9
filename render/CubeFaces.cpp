#include "render/CubeFaces.h"

#include <cstddef>
#include <glm/gtc/matrix_transform.hpp>

#include "core/Angles.h"

std::array<glm::mat4, 6> cubeFaceViews(glm::vec3 eye) {
    std::array<glm::mat4, 6> views;
    for (std::size_t k = 0; k < views.size(); ++k) {
        views[k] = glm::lookAt(eye, eye + cubeFaceDirections[k], cubeFaceUps[k]);
    }
    return views;
}

std::array<glm::mat4, 6> cubeFaceMatrices(const std::array<glm::mat4, 6>& views, float nearPlane,
                                          float farPlane) {
    const glm::mat4 projection = glm::perspective(toRadians(90.0f), 1.0f, nearPlane, farPlane);
    std::array<glm::mat4, 6> matrices;
    for (std::size_t k = 0; k < views.size(); ++k) matrices[k] = projection * views[k];
    return matrices;
}

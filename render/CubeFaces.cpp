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

std::uint8_t cubeFacesSeeing(glm::vec3 eye, const std::array<glm::vec3, 8>& corners) {
    std::uint8_t faces = 0;
    for (std::size_t k = 0; k < cubeFaceDirections.size(); ++k) {
        const glm::vec3& a = cubeFaceDirections[k];
        // The face's view is bounded by the four planes where a direction leaves its 45-degree
        // cone along each of the two other axes.
        const std::size_t axis = k / 2;
        glm::vec3 u(0.0f);
        glm::vec3 v(0.0f);
        u[static_cast<int>((axis + 1) % 3)] = 1.0f;
        v[static_cast<int>((axis + 2) % 3)] = 1.0f;
        bool outside = false;
        for (const glm::vec3& plane : {a - u, a + u, a - v, a + v}) {
            bool allBehind = true;
            for (const glm::vec3& corner : corners)
                allBehind = allBehind && glm::dot(corner - eye, plane) < 0.0f;
            outside = outside || allBehind;
        }
        if (!outside) faces = static_cast<std::uint8_t>(faces | (1u << k));
    }
    return faces;
}

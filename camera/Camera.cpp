#include "camera/Camera.h"

#include <cmath>
#include <glm/gtc/matrix_transform.hpp>

Camera mainCamera;

glm::vec3 Camera::forward() const {
    return glm::vec3(glm::inverse(rotation) * glm::vec4(0.0f, 0.0f, -1.0f, 1.0f));
}

glm::vec3 Camera::right() const {
    return glm::vec3(glm::inverse(rotation) * glm::vec4(1.0f, 0.0f, 0.0f, 1.0f));
}

glm::mat4 Camera::viewMatrix() const {
    return rotation * glm::translate(glm::mat4(1.0f), -position);
}

glm::mat4 Camera::projectionMatrix() const {
    return glm::perspective(toRadians(fieldOfView), aspectRatio, nearPlane, farPlane);
}

glm::mat4 Camera::viewProjectionMatrix() const { return projectionMatrix() * viewMatrix(); }

void Camera::setAngles(float newPitch, float newYaw) {
    pitch = newPitch;
    yaw = newYaw;
    normalizeAngles();
    rotation = glm::rotate(glm::mat4(1.0f), toRadians(pitch), glm::vec3(1.0f, 0.0f, 0.0f));
    rotation = glm::rotate(rotation, toRadians(yaw), glm::vec3(0.0f, 1.0f, 0.0f));
}

void Camera::lookAt(glm::vec3 target) {
    if (target.x == position.x && target.y == position.y && target.z == position.z) return;
    glm::vec3 d = target - position;
    // A target so near the eye that the length underflows to 0, or one at infinity, gives no
    // direction: like the eye itself, it leaves the angles alone (they would turn NaN for good).
    const float length = glm::length(d);
    if (!(length > 0.0f) || !std::isfinite(length)) return;
    d *= 1.0f / length;
    pitch = std::asin(-d.y) * 180.0f / kPi;
    yaw = std::atan2(d.x, -d.z) * 180.0f / kPi;
    normalizeAngles();
}

void Camera::normalizeAngles() {
    yaw = std::fmod(yaw, 360.0f);
    while (yaw < 0.0f) yaw += 360.0f;
    // A tiny negative remainder plus 360 rounds to 360 in float; keep the [0, 360) promise.
    if (yaw >= 360.0f) yaw = 0.0f;
    if (pitch > 89.0f) {
        pitch = 89.0f;
    } else if (pitch < -89.0f) {
        pitch = -89.0f;
    }
}

#pragma once

#include <glm/glm.hpp>

#include "core/Angles.h"

// The one viewer: an eye position, yaw and pitch in degrees, and a perspective projection.
// `rotation` is rebuilt from the angles by setAngles() only; lookAt() turns the angles and
// leaves the rotation of the current frame alone.
struct Camera {
    glm::vec3 position{0.0f, 0.0f, 0.0f};
    glm::mat4 rotation{1.0f};
    float yaw = 0.0f;    // about world +Y, kept in [0, 360)
    float pitch = 0.0f;  // about the camera's +X, kept in [-89, 89]; positive looks down
    float fieldOfView = 45.0f;
    float nearPlane = 0.1f;
    float farPlane = 300.0f;
    float aspectRatio = 4.0f / 3.0f;

    // Unit vector the camera looks along, world space.
    glm::vec3 forward() const;
    // Unit vector to the camera's right; always horizontal.
    glm::vec3 right() const;
    // World-to-eye transform: rotation * translate(-position).
    glm::mat4 viewMatrix() const;
    // Eye-to-clip transform from fieldOfView, aspectRatio, nearPlane and farPlane.
    glm::mat4 projectionMatrix() const;
    // World-to-clip transform with the current fields.
    glm::mat4 viewProjectionMatrix() const;

    // Stores the angles (degrees), normalises them and rebuilds `rotation`.
    void setAngles(float newPitch, float newYaw);
    // Turns pitch and yaw toward a world point; does not rebuild `rotation`. A point that gives
    // no direction (the eye itself, one too near to measure, one at infinity) changes nothing.
    void lookAt(glm::vec3 target);
    // Wraps yaw into [0, 360) and clamps pitch to [-89, 89].
    void normalizeAngles();
};

extern Camera mainCamera;

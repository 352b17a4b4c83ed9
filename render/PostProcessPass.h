#pragma once

#include <glm/glm.hpp>

// Flare and motion-blur settings handed to the post program every frame.
inline constexpr int kMotionBlurSamples = 4;
inline constexpr float kFlareRadius = 0.03f;

// Once per frame, last: draws the scene image onto the window as a filled full-screen quad,
// with what the motion blur and the light's flare need. Afterwards oldViewProjection holds
// viewProjection, and vertex attributes 0 to 3 are disabled.
void runPostProcessPass(const glm::mat4& viewProjection, glm::mat4& oldViewProjection,
                        float deltaTime);

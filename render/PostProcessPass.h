#pragma once

#include <glm/glm.hpp>

#include "core/Platform.h"

// Flare and motion-blur settings handed to the post program every frame.
inline constexpr int kMotionBlurSamples = 4;
inline constexpr float kFlareRadius = 0.03f;
// A previous view-projection whose bottom row (a camera's unit view direction) is shorter than
// this squared is no camera: the identity before the first frame.
inline constexpr float kNoCameraBelow = 0.25f;

// Whether this frame's picture moved against the last one: a real previous camera (not the
// identity of the first frame), time passed, and the matrices differ. Otherwise the frame is
// drawn without the blur's taps, which would all read the same pixel.
bool cameraMoved(const glm::mat4& viewProjection, const glm::mat4& oldViewProjection,
                 float deltaTime);
// The radius of the light cube's bounding sphere on the screen, in normalised device
// coordinates along x and y, for a
// light at `light` (world) seen through `viewProjection`.
glm::vec2 lightRadiusOnScreen(const glm::mat4& viewProjection, glm::vec3 light);
// Whether the light can have a flare: in front of the camera, and some of its cube's disc on
// the screen. Otherwise the post stage's visibility is 0 and there is no flare to draw.
bool flareOnScreen(const glm::mat4& viewProjection, glm::vec3 light);

// The part of a framebuffer that the 4:3 picture covers: as large as fits, centred, so that it
// keeps its proportions at any window size and scale (black bars fill the rest); empty for an
// empty framebuffer (a minimised window).
struct Viewport {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
};
Viewport pictureViewport(FramebufferSize framebuffer);

// Once per frame, last: draws the scene image onto the window's framebuffer, whatever its size,
// as a filled quad over pictureViewport(), with what the motion blur (this frame's and the
// previous frame's camera, the time between them) and the light's flare need. Afterwards vertex
// attributes 0 to 3 are disabled.
void runPostProcessPass(const glm::mat4& viewProjection, const glm::mat4& oldViewProjection,
                        float deltaTime);

#pragma once

// The light's projection for each cube face: 90 degrees, square, near 0.3, far 100. The
// scene's shadow lookups compute their depth reference with the same two planes.
inline constexpr float kLightNearPlane = 0.3f;
inline constexpr float kLightFarPlane = 100.0f;

// The shadow pass in two steps, between which the frame's animation step moves the scene.
// First, once per frame after the input step: binds the shadow cubes, uploads the light's six
// face matrices (around the light as it is now) and position, and clears the cubes.
void beginShadowPass();
// Then: draws every object but "LICHT" from the light into the cubes, as the timeline left it,
// and binds the default framebuffer again.
void drawShadowCasters();

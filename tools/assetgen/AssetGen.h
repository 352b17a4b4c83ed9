#pragma once

#include "Geometry.h"
#include "Picture.h"

// Texture atlases: where each model's parts take their colours from. The models and the
// pictures are made from the same rectangles, so they always agree.
namespace atlas {
// barrel.bmp: the staves wrap around the lower three quarters, u around and v up; the lid
// and the end grain of the rims sit in the top strip.
inline constexpr UvRect barrelSide{{0.0f, 0.0f}, {1.0f, 0.75f}};
inline constexpr UvRect barrelLid{{0.0f, 0.75f}, {0.25f, 1.0f}};
inline constexpr UvRect barrelRim{{0.25f, 0.75f}, {0.5f, 1.0f}};
// Heights of the barrel's iron hoops (fractions of its height, centres) and their half width.
inline constexpr float kBarrelHoops[4] = {0.08f, 0.27f, 0.73f, 0.92f};
inline constexpr float kBarrelHoopHalf = 0.035f;
// streetlamp_texture.bmp: painted cast iron on the left half, the glass pane top right, the
// brass trim bottom right.
inline constexpr UvRect lampIron{{0.0f, 0.0f}, {0.5f, 1.0f}};
inline constexpr UvRect lampGlass{{0.5f, 0.5f}, {1.0f, 1.0f}};
inline constexpr UvRect lampBrass{{0.5f, 0.0f}, {1.0f, 0.5f}};
}  // namespace atlas

// Edge of one letter cube; the letters are placed on a grid of this step.
inline constexpr float kLetterCube = 1.1f;

Model buildPlane();
Model buildSphere();
Model buildBarrel();
Model buildStreetlamp();
// The four-cube letters 'J', 'O', 'T' and 'Z'.
Model buildLetter(char letter);

inline constexpr int kSkyFace = 1024;
Picture makeBarrelTexture();
Picture makeLetterTexture(char letter);
Picture makeStreetlampTexture();
Picture makeGroundTexture();
Picture makeWaterTexture();
Picture makeSkyboxTexture();

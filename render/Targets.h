#pragma once

#include <GL/glew.h>

#include <array>
#include <cstddef>
#include <cstdint>

// Sizes of the off-screen images.
inline constexpr int kCubeFaceSize = 512;      // each face of the shadow and reflection cubes
inline constexpr int kSceneTargetSize = 1024;  // the square scene image

// Upper bound for the cube maps' anisotropy: 1, so none. Measured on llvmpipe (Mesa 22.3.6,
// LLVM 15) with the driver's maximum let through: with the full mipmap chain the filtered-shadow
// frame at 3 s is almost all in shadow, and with the cubes limited to one level (as below) the
// driver's shader compiler crashes (SIGSEGV inside LLVM's code generator) at the first frame.
// The cubes are read with explicit filter taps, so anisotropic filtering has nothing to add.
inline constexpr float kCubeMapAnisotropyLimit = 1.0f;

// Mipmap levels of the cube maps that the stage files sample: level 0 of the depth cubes and
// the reflection cube; five levels of the shadow moments cube (soft shadows search for blockers
// in the fifth, the moments averaged over 16 x 16 texels, and read between the third and the
// fifth, trilinearly, as wide as the penumbra). The cubes are limited to them, so that the
// scene pass's per-frame mipmap rebuild builds nothing unused.
inline constexpr int kCubeMapSampledLevels = 1;
// Mipmap levels of the scene's colour image below the first: the motion blur reads the level
// whose texels are about as wide as the gap between its taps.
inline constexpr int kSceneBlurLevels = 3;
inline constexpr int kShadowMomentsLevels = 5;

// Bit k stands for cube face k.
inline constexpr std::uint8_t kAllCubeFaces = 0x3f;

// Texture units shared by the passes; the stage files bind their samplers to the same numbers.
inline constexpr int kSceneDepthUnit = 7;
inline constexpr int kSceneColorUnit = 8;
inline constexpr int kShadowDepthUnit = 9;
inline constexpr int kObjectTextureUnit = 10;
inline constexpr int kShadowColorUnit = 11;
inline constexpr int kReflectionColorUnit = 12;
// The ground's picture, for the sky walls of the scene pass: below the ground's height they show
// the meadow that lies between the viewer and them.
inline constexpr int kGroundPictureUnit = 13;

// The float formats of the colour images, in order of preference. GL does not require
// GL_RGB32F to be colour-renderable, and some drivers refuse it as an attachment; the first
// format in which every target is complete is used.
struct ColorFormat {
    GLint internalFormat;
    GLenum format;  // of the empty upload (its type is GL_FLOAT)
    const char* name;
};
inline constexpr std::array<ColorFormat, 3> kFloatColorFormats = {
    {{GL_RGB32F, GL_RGB, "GL_RGB32F"},
     {GL_RGBA32F, GL_RGBA, "GL_RGBA32F"},
     {GL_RGBA16F, GL_RGBA, "GL_RGBA16F"}}};

// A layered render target: a depth cube and a float colour cube, attached by the pass that
// renders into it.
struct CubeMapTarget {
    GLuint framebuffer = 0;
    GLuint depthCube = 0;
    GLuint colorCube = 0;
    bool checked = false;  // completeness reported once, at the first attachment
    // The shadow moments cube only: two framebuffers that rebuild one face's mipmaps at a time,
    // each level from the one before, and the faces (bit k for face k) whose level 0 may have
    // changed since their mipmaps were last built.
    GLuint mipmapSource = 0;
    GLuint mipmapDestination = 0;
    std::uint8_t staleFaces = kAllCubeFaces;
};

// The camera's view: a square depth and float colour image.
struct SceneTarget {
    GLuint framebuffer = 0;
    GLuint depthTexture = 0;  // sceneDepthTexture
    GLuint colorTexture = 0;  // sceneColorTexture
};

// How the passes read the depth images: through sampler objects of their own, with the
// images' own wraps and filters, so that the compare mode is the reading pass's and no pass
// changes a texture's parameters for another.
struct DepthSamplers {
    GLuint shadowCompared = 0;  // the shadow depth cube, compared with GL_LESS
    GLuint shadowValues = 0;    // the shadow depth cube, as plain values
    GLuint sceneValues = 0;     // sceneDepthTexture, as plain values
};

// Everything on the GPU that the passes of a frame share, created once at start-up.
struct Targets {
    CubeMapTarget shadowCubeTarget;      // shadowDepthCube, shadowColorCube
    CubeMapTarget reflectionCubeTarget;  // reflectionDepthCube, reflectionColorCube
    SceneTarget sceneTarget;
    GLuint quadBuffer = 0;        // four 2D vertices of a full-screen triangle strip
    std::size_t colorFormat = 0;  // the colour images' format: an index of kFloatColorFormats
    DepthSamplers depthSamplers;
};

extern Targets targets;

// Start-up: one framebuffer and its two cube textures (nothing attached yet), the colour cube in
// the colour format in use. Prints the pending GL error number.
void createCubeMapTarget(GLuint& framebuffer, GLuint& depthCube, GLuint& colorCube);
// Start-up: the scene framebuffer with its depth and colour textures attached, in the colour
// format in use or the next one that the driver renders into. Returns false, after a message,
// when none does.
bool createSceneTarget();
// Start-up: the full-screen quad's vertex buffer. Prints the pending GL error number.
void createQuadBuffer();
// Start-up: all of the above, in order, for the global targets; each cube target is attached
// and given the first colour format that makes it complete. Says once when that is not
// GL_RGB32F. Then the shadow moments cube gets its levels and the framebuffers that rebuild them,
// and the depth images their samplers. Returns false, after a plain message, when a target is
// complete in none of kFloatColorFormats: nothing could be drawn.
bool createTargets();

// Each frame in which soft shadows read the moments: rebuilds the mipmaps of the moments cube's
// stale faces only (a face whose casters did not change holds the same level 0 as when its
// mipmaps were built), and marks them fresh. Leaves the bound framebuffer as it found it.
void rebuildStaleMomentFaces(CubeMapTarget& target);

// Each frame, with the target's framebuffer bound: attaches both cubes, all six faces, at
// level 0. The first time for a target it also checks the framebuffer and reports it when it is
// incomplete.
void attachCubeMapTarget(CubeMapTarget& target);

// Prints "Framebuffer not complete: <status>" when the bound framebuffer is incomplete.
// Returns whether it was complete.
bool checkFramebuffer();

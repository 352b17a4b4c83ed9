#pragma once

#include <string>
#include <vector>

// What the pipeline needs of the GL driver: the stage files are GLSL 4.50, the scene pass
// tessellates, the cube passes render all six faces at once from a geometry stage, the targets
// hold floats, and the passes bind textures on units up to 12.
struct GlCapabilities {
    bool gl45 = false;              // OpenGL 4.5
    bool glsl450 = false;           // GLSL 4.50 among the shading language versions
    bool tessellation = false;      // tessellation stages and glPatchParameteri
    bool layeredRendering = false;  // layered attachments written from a geometry stage
    bool floatTextures = false;     // float colour textures
    int textureUnits = 0;           // combined texture image units
};

// The units the passes bind: 0 to 12.
inline constexpr int kTextureUnitsNeeded = 14;

// Right after GLEW is initialised: what the driver offers, from GLEW's flags (which are false
// where a version's or extension's entry points did not load) and GL queries.
GlCapabilities queryGlCapabilities();

// What is missing, each as words for the refusal line, in the order of the struct; empty when
// the driver has everything.
std::vector<std::string> missingCapabilities(const GlCapabilities& offered);

// The one line that says why the demo cannot run on this driver: the renderer, its version and
// what is missing.
std::string capabilityRefusal(const std::string& renderer, const std::string& version,
                              const std::vector<std::string>& missing);

#include "render/Capabilities.h"

#include <GL/glew.h>

#include <cstring>

namespace {

// Whether the driver compiles "#version 450" stages: listed among its shading language
// versions (a list that exists from GL 4.3 on; below that there is no GLSL 4.50 anyway).
bool compilesGlsl450() {
    if (!GLEW_VERSION_4_3) return false;
    GLint count = 0;
    glGetIntegerv(GL_NUM_SHADING_LANGUAGE_VERSIONS, &count);
    for (GLint i = 0; i < count; ++i) {
        const auto* version =
            reinterpret_cast<const char*>(glGetStringi(GL_SHADING_LANGUAGE_VERSION, i));
        if (version == nullptr) continue;
        if (std::strcmp(version, "450") == 0 || std::strcmp(version, "450 compatibility") == 0)
            return true;
    }
    return false;
}

}  // namespace

GlCapabilities queryGlCapabilities() {
    GlCapabilities offered;
    offered.gl45 = GLEW_VERSION_4_5;
    offered.glsl450 = compilesGlsl450();
    offered.tessellation =
        (GLEW_VERSION_4_0 || GLEW_ARB_tessellation_shader) && glPatchParameteri != nullptr;
    offered.layeredRendering =
        (GLEW_VERSION_3_2 || GLEW_ARB_geometry_shader4) && glFramebufferTexture != nullptr;
    offered.floatTextures = GLEW_VERSION_3_0 || GLEW_ARB_texture_float;
    glGetIntegerv(GL_MAX_COMBINED_TEXTURE_IMAGE_UNITS, &offered.textureUnits);
    return offered;
}

std::vector<std::string> missingCapabilities(const GlCapabilities& offered) {
    std::vector<std::string> missing;
    if (!offered.gl45) missing.emplace_back("OpenGL 4.5");
    if (!offered.glsl450) missing.emplace_back("GLSL 4.50");
    if (!offered.tessellation) missing.emplace_back("tessellation shaders");
    if (!offered.layeredRendering) missing.emplace_back("layered rendering from geometry shaders");
    if (!offered.floatTextures) missing.emplace_back("float textures");
    if (offered.textureUnits < kTextureUnitsNeeded) {
        missing.push_back(std::to_string(kTextureUnitsNeeded) + " texture units (it has " +
                          std::to_string(offered.textureUnits) + ")");
    }
    return missing;
}

std::string capabilityRefusal(const std::string& renderer, const std::string& version,
                              const std::vector<std::string>& missing) {
    std::string line =
        "Pelk needs OpenGL 4.5; this driver (" + renderer + ", OpenGL " + version + ") lacks: ";
    for (std::size_t i = 0; i < missing.size(); ++i) line += (i == 0 ? "" : "; ") + missing[i];
    return line;
}

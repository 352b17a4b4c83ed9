#include "render/Targets.h"

#include <algorithm>
#include <cstdio>
#include <functional>
#include <string>

#include "core/OutOfMemory.h"

Targets targets;

namespace {

// Whether GL has recorded this error since it was last asked; every recorded error is taken.
bool glErrorRecorded(GLenum wanted) {
    bool recorded = false;
    for (GLenum error = glGetError(); error != GL_NO_ERROR; error = glGetError()) {
        recorded = recorded || error == wanted;
    }
    return recorded;
}

// How an image is read: the wrap on all three axes and the two filters. The depth images'
// sampler objects read them with the same settings as the textures themselves.
struct Sampling {
    GLint wrap;
    GLint magFilter;
    GLint minFilter;
};
constexpr Sampling kDepthCubeSampling{GL_REPEAT, GL_LINEAR, GL_NEAREST_MIPMAP_NEAREST};
constexpr Sampling kColorCubeSampling{GL_CLAMP_TO_EDGE, GL_LINEAR, GL_LINEAR};
constexpr Sampling kSceneImageSampling{GL_CLAMP_TO_EDGE, GL_LINEAR, GL_LINEAR};
constexpr Sampling kSceneColorSampling{GL_CLAMP_TO_EDGE, GL_LINEAR, GL_LINEAR_MIPMAP_NEAREST};

// Sets a texture's or a sampler object's parameters through `set(name, value)`.
template <typename Set>
void applySampling(const Sampling& sampling, Set&& set) {
    set(GL_TEXTURE_WRAP_S, sampling.wrap);
    set(GL_TEXTURE_WRAP_T, sampling.wrap);
    set(GL_TEXTURE_WRAP_R, sampling.wrap);
    set(GL_TEXTURE_MAG_FILTER, sampling.magFilter);
    set(GL_TEXTURE_MIN_FILTER, sampling.minFilter);
}

void setSampling(GLenum target, const Sampling& sampling) {
    applySampling(sampling,
                  [target](GLenum name, GLint value) { glTexParameteri(target, name, value); });
}

// Anisotropy exists only with its extension; without it the names are invalid enums.
bool anisotropyAvailable() {
    return GLEW_EXT_texture_filter_anisotropic || GLEW_ARB_texture_filter_anisotropic;
}

// The cube maps' anisotropy: the driver's maximum, capped by kCubeMapAnisotropyLimit.
GLfloat cubeMapAnisotropy() {
    GLfloat maxAnisotropy = 1.0f;
    glGetFloatv(GL_MAX_TEXTURE_MAX_ANISOTROPY_EXT, &maxAnisotropy);
    return std::min(maxAnisotropy, kCubeMapAnisotropyLimit);
}

// A sampler object that reads like a texture made with `sampling`, comparing depths with
// GL_LESS or not.
GLuint makeDepthSampler(const Sampling& sampling, bool compare, bool cubeMap) {
    GLuint sampler = 0;
    glGenSamplers(1, &sampler);
    applySampling(sampling, [sampler](GLenum name, GLint value) {
        glSamplerParameteri(sampler, name, value);
    });
    if (cubeMap && anisotropyAvailable()) {
        glSamplerParameterf(sampler, GL_TEXTURE_MAX_ANISOTROPY_EXT, cubeMapAnisotropy());
    }
    glSamplerParameteri(sampler, GL_TEXTURE_COMPARE_MODE,
                        compare ? GL_COMPARE_REF_TO_TEXTURE : GL_NONE);
    glSamplerParameteri(sampler, GL_TEXTURE_COMPARE_FUNC, GL_LESS);
    return sampler;
}

void createDepthSamplers() {
    DepthSamplers& samplers = targets.depthSamplers;
    samplers.shadowCompared = makeDepthSampler(kDepthCubeSampling, true, true);
    samplers.shadowValues = makeDepthSampler(kDepthCubeSampling, false, true);
    samplers.sceneValues = makeDepthSampler(kSceneImageSampling, false, false);
}

void allocateCubeFaces(GLint internalFormat, GLenum format, GLenum type) {
    for (GLenum face = 0; face < 6; ++face) {
        glTexImage2D(GL_TEXTURE_CUBE_MAP_POSITIVE_X + face, 0, internalFormat, kCubeFaceSize,
                     kCubeFaceSize, 0, format, type, nullptr);
    }
}

// The stage files read every cube at level 0 only (explicit level 0 or zero gradients), so the
// per-frame mipmap rebuild of the scene pass has nothing to build below it.
void limitToSampledLevels() {
#ifndef PELK_STRAIGHTFORWARD
    glTexParameteri(GL_TEXTURE_CUBE_MAP, GL_TEXTURE_MAX_LEVEL, kCubeMapSampledLevels - 1);
#endif
}

const ColorFormat& colorFormatInUse() { return kFloatColorFormats[targets.colorFormat]; }

// With a target's images attached to the bound framebuffer: while it is not complete, allocates
// its colour image again in the next float format. Says so once when the format in use changes;
// returns false, after saying why, when no format is left.
bool settleColorFormat(const char* target,
                       const std::function<void(const ColorFormat&)>& allocate) {
    const std::size_t before = targets.colorFormat;
    GLenum status = glCheckFramebufferStatus(GL_FRAMEBUFFER);
    while (status != GL_FRAMEBUFFER_COMPLETE) {
        // A driver that had no memory for the images is not one that cannot render into them.
        if (glErrorRecorded(GL_OUT_OF_MEMORY)) {
            char what[128];
            std::snprintf(what, sizeof what,
                          "the GL driver has no memory for the %s (GL_OUT_OF_MEMORY)", target);
            endOutOfMemory(what);
        }
        if (targets.colorFormat + 1 == kFloatColorFormats.size()) {
            std::string formats;
            for (std::size_t i = 0; i < kFloatColorFormats.size(); ++i) {
                formats += i == 0 ? "" : i + 1 < kFloatColorFormats.size() ? ", " : " and ";
                formats += kFloatColorFormats[i].name;
            }
            std::printf(
                "This driver cannot render into the %s in any of %s (framebuffer status %u); "
                "Pelk cannot run on it.\n",
                target, formats.c_str(), status);
            return false;
        }
        ++targets.colorFormat;
        allocate(colorFormatInUse());
        status = glCheckFramebufferStatus(GL_FRAMEBUFFER);
    }
    if (targets.colorFormat != before) {
        std::printf(
            "This driver cannot render into %s; the %s and the colour images after it use %s "
            "instead.\n",
            kFloatColorFormats[before].name, target, colorFormatInUse().name);
    }
    return true;
}

// Soft shadows read the moments cube's levels trilinearly, at a level that follows the width of
// the penumbra, and search its coarser levels for blockers. The cube gets its levels in
// the colour format now settled, and framebuffers through which the scene pass rebuilds the
// mipmaps of the faces whose shadows changed, leaving the others: building a face's levels
// costs about a sixth of the whole cube's.
void giveMomentsTheirLevels(CubeMapTarget& target) {
    const ColorFormat& color = colorFormatInUse();
    glBindTexture(GL_TEXTURE_CUBE_MAP, target.colorCube);
    for (GLint level = 1; level < kShadowMomentsLevels; ++level) {
        for (GLenum face = 0; face < 6; ++face) {
            glTexImage2D(GL_TEXTURE_CUBE_MAP_POSITIVE_X + face, level, color.internalFormat,
                         kCubeFaceSize >> level, kCubeFaceSize >> level, 0, color.format, GL_FLOAT,
                         nullptr);
        }
    }
    glTexParameteri(GL_TEXTURE_CUBE_MAP, GL_TEXTURE_MAX_LEVEL, kShadowMomentsLevels - 1);
    glTexParameteri(GL_TEXTURE_CUBE_MAP, GL_TEXTURE_MIN_FILTER, GL_LINEAR_MIPMAP_LINEAR);
    glBindTexture(GL_TEXTURE_CUBE_MAP, 0);
    glGenFramebuffers(1, &target.mipmapSource);
    glGenFramebuffers(1, &target.mipmapDestination);
    target.staleFaces = kAllCubeFaces;
}

// Attaches a new cube target's images and settles its colour format.
bool settleCubeMapTarget(const CubeMapTarget& target, const char* name) {
    glBindFramebuffer(GL_FRAMEBUFFER, target.framebuffer);
    glFramebufferTexture(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, target.depthCube, 0);
    glFramebufferTexture(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, target.colorCube, 0);
    const bool settled = settleColorFormat(name, [&](const ColorFormat& color) {
        glBindTexture(GL_TEXTURE_CUBE_MAP, target.colorCube);
        allocateCubeFaces(color.internalFormat, color.format, GL_FLOAT);
        glBindTexture(GL_TEXTURE_CUBE_MAP, 0);
    });
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    return settled;
}

}  // namespace

void rebuildStaleMomentFaces(CubeMapTarget& target) {
    if (target.staleFaces == 0) return;
    // Each level from the one before it: a filtered blit to half the size averages 2 x 2 texels.
    // The caller's framebuffer is bound again afterwards.
    GLint previous = 0;
    glGetIntegerv(GL_DRAW_FRAMEBUFFER_BINDING, &previous);
    glBindFramebuffer(GL_READ_FRAMEBUFFER, target.mipmapSource);
    glBindFramebuffer(GL_DRAW_FRAMEBUFFER, target.mipmapDestination);
    for (GLenum face = 0; face < 6; ++face) {
        if ((target.staleFaces & (1u << face)) == 0) continue;
        const GLenum image = GL_TEXTURE_CUBE_MAP_POSITIVE_X + face;
        for (GLint level = 1; level < kShadowMomentsLevels; ++level) {
            glFramebufferTexture2D(GL_READ_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, image,
                                   target.colorCube, level - 1);
            glFramebufferTexture2D(GL_DRAW_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, image,
                                   target.colorCube, level);
            const GLint from = kCubeFaceSize >> (level - 1);
            glBlitFramebuffer(0, 0, from, from, 0, 0, from / 2, from / 2, GL_COLOR_BUFFER_BIT,
                              GL_LINEAR);
        }
    }
    glBindFramebuffer(GL_FRAMEBUFFER, static_cast<GLuint>(previous));
    target.staleFaces = 0;
}

bool checkFramebuffer() {
    if (glCheckFramebufferStatus(GL_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE) return true;
    std::printf("Framebuffer not complete: %u\n", glCheckFramebufferStatus(GL_FRAMEBUFFER));
    return false;
}

void createCubeMapTarget(GLuint& framebuffer, GLuint& depthCube, GLuint& colorCube) {
    glGenFramebuffers(1, &framebuffer);
    glBindFramebuffer(GL_FRAMEBUFFER, framebuffer);

    const bool anisotropic = anisotropyAvailable();
    GLfloat maxAnisotropy = 1.0f;
    glGenTextures(1, &depthCube);
    glBindTexture(GL_TEXTURE_CUBE_MAP, depthCube);
    setSampling(GL_TEXTURE_CUBE_MAP, kDepthCubeSampling);
    if (anisotropic) {
        maxAnisotropy = cubeMapAnisotropy();
        glTexParameterf(GL_TEXTURE_CUBE_MAP, GL_TEXTURE_MAX_ANISOTROPY_EXT, maxAnisotropy);
    }
    allocateCubeFaces(GL_DEPTH_COMPONENT24, GL_DEPTH_COMPONENT, GL_UNSIGNED_BYTE);
    limitToSampledLevels();

    glGenTextures(1, &colorCube);
    glBindTexture(GL_TEXTURE_CUBE_MAP, colorCube);
    setSampling(GL_TEXTURE_CUBE_MAP, kColorCubeSampling);
    if (anisotropic) {
        glTexParameterf(GL_TEXTURE_CUBE_MAP, GL_TEXTURE_MAX_ANISOTROPY_EXT, maxAnisotropy);
    }
    allocateCubeFaces(colorFormatInUse().internalFormat, colorFormatInUse().format, GL_FLOAT);
    limitToSampledLevels();

    glBindTexture(GL_TEXTURE_CUBE_MAP, 0);
    std::printf("%u\n", glGetError());
    // Nothing is attached here: createTargets() attaches the cubes to check the framebuffer,
    // and the passes attach them again each frame.
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
}

bool createSceneTarget() {
    SceneTarget& scene = targets.sceneTarget;
    glGenFramebuffers(1, &scene.framebuffer);
    glBindFramebuffer(GL_FRAMEBUFFER, scene.framebuffer);

    glGenTextures(1, &scene.depthTexture);
    glBindTexture(GL_TEXTURE_2D, scene.depthTexture);
    setSampling(GL_TEXTURE_2D, kSceneImageSampling);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_DEPTH_COMPONENT24, kSceneTargetSize, kSceneTargetSize, 0,
                 GL_DEPTH_COMPONENT, GL_UNSIGNED_BYTE, nullptr);
    glFramebufferTexture2D(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_TEXTURE_2D, scene.depthTexture,
                           0);

    glGenTextures(1, &scene.colorTexture);
    glBindTexture(GL_TEXTURE_2D, scene.colorTexture);
    // The motion blur reads coarser levels, which the post pass rebuilds in the frames that
    // blur; a still frame reads the first level only, as through GL_LINEAR.
    setSampling(GL_TEXTURE_2D, kSceneColorSampling);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, kSceneBlurLevels);
    auto allocate = [](const ColorFormat& color) {
        for (GLint level = 0; level <= kSceneBlurLevels; ++level) {
            glTexImage2D(GL_TEXTURE_2D, level, color.internalFormat, kSceneTargetSize >> level,
                         kSceneTargetSize >> level, 0, color.format, GL_FLOAT, nullptr);
        }
    };
    allocate(colorFormatInUse());
    glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, scene.colorTexture,
                           0);

    const bool settled = settleColorFormat("scene image", allocate);
    glBindTexture(GL_TEXTURE_2D, 0);
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    return settled;
}

void createQuadBuffer() {
    static constexpr GLfloat corners[8] = {-1.0f, -1.0f, 1.0f, -1.0f, -1.0f, 1.0f, 1.0f, 1.0f};
    glGenBuffers(1, &targets.quadBuffer);
    glBindBuffer(GL_ARRAY_BUFFER, targets.quadBuffer);
    glBufferData(GL_ARRAY_BUFFER, sizeof corners, corners, GL_STATIC_DRAW);
    glBindBuffer(GL_ARRAY_BUFFER, 0);
    std::printf("%u\n", glGetError());
}

bool createTargets() {
    glGetError();  // drop whatever start-up left pending; the numbers below are ours
    CubeMapTarget& shadow = targets.shadowCubeTarget;
    createCubeMapTarget(shadow.framebuffer, shadow.depthCube, shadow.colorCube);
    if (!settleCubeMapTarget(shadow, "shadow cube")) return false;
    CubeMapTarget& reflection = targets.reflectionCubeTarget;
    createCubeMapTarget(reflection.framebuffer, reflection.depthCube, reflection.colorCube);
    if (!settleCubeMapTarget(reflection, "reflection cube")) return false;
    if (!createSceneTarget()) return false;
    createQuadBuffer();
    giveMomentsTheirLevels(shadow);
    // The coarser levels could not be had either: the moments cube would stay incomplete.
    if (glErrorRecorded(GL_OUT_OF_MEMORY)) {
        endOutOfMemory(
            "the GL driver has no memory for the shadow moments' coarser levels "
            "(GL_OUT_OF_MEMORY)");
    }
    createDepthSamplers();
    return true;
}

void attachCubeMapTarget(CubeMapTarget& target) {
    glFramebufferTexture(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, target.depthCube, 0);
    glFramebufferTexture(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, target.colorCube, 0);
    if (!target.checked) {
        target.checked = true;
        checkFramebuffer();
    }
}

#include "render/Programs.h"

#include <algorithm>
#include <cstdio>
#include <string>

#include "assets/Paths.h"
#include "assets/ShaderLoader.h"
#include "render/Targets.h"
#include "scene/SceneObject.h"

Programs programs;

namespace {

std::string stagePath(const char* file) { return joinPath(srcDir, file); }

// The stage files of one program, in stage order; null for a stage it does not have.
struct StageFiles {
    const char* vertex;
    const char* tessControl;
    const char* tessEvaluation;
    const char* geometry;
    const char* fragment;
};

constexpr StageFiles kShadowStages{"1stPass.vertexshader", nullptr, nullptr,
                                   "1stPass.geometryshader", "1stPass_1.fragmentshader"};
constexpr StageFiles kReflectionStages{"1stPass.vertexshader", nullptr, nullptr,
                                       "1stPass.geometryshader", "1stPass_2.fragmentshader"};
constexpr StageFiles kSceneStages{"2ndPass.vertexshader", "2ndPass.tesControlShader",
                                  "2ndPass.tesEvaluationShader", nullptr, "2ndPass.fragmentshader"};
constexpr StageFiles kPostStages{"3rdPass.vertexshader", nullptr, nullptr, nullptr,
                                 "3rdPass.fragmentshader"};

// Builds the program with the printing loader, or, given defines, silently as a variant
// (0 when it does not build, with the reasons in `log`).
GLuint buildProgram(const StageFiles& files, const std::string* defines = nullptr,
                    std::string* log = nullptr) {
    auto path = [](const char* file) { return file ? stagePath(file) : std::string(); };
    const std::string paths[] = {path(files.vertex), path(files.tessControl),
                                 path(files.tessEvaluation), path(files.geometry),
                                 path(files.fragment)};
    auto arg = [](const std::string& p) { return p.empty() ? nullptr : p.c_str(); };
    if (defines == nullptr) {
        return loadShaderProgram(arg(paths[0]), arg(paths[1]), arg(paths[2]), arg(paths[3]),
                                 arg(paths[4]));
    }
    return buildShaderVariant(arg(paths[0]), arg(paths[1]), arg(paths[2]), arg(paths[3]),
                              arg(paths[4]), *defines, *log);
}

// The defines of each variant, in the order of the index functions.
std::string surfaceDefine(const char* surface) {
    return std::string("#define SURFACE ") + surface + "\n";
}
std::string shadowDefine(int mode) { return "#define SHADOW_MODE " + std::to_string(mode) + "\n"; }

// Whether a build's surfaces all have a picture (1) or none has (0).
const std::string kTextured = "#define TEXTURED 1\n";
const std::string kUntextured = "#define TEXTURED 0\n";

std::vector<std::string> sceneVariantDefines() {
    std::vector<std::string> defines = {surfaceDefine("SURFACE_SKY") + kTextured,
                                        surfaceDefine("SURFACE_LIGHT_CUBE")};
    for (const char* surface : {"SURFACE_MATTE", "SURFACE_MIRROR", "SURFACE_WATER"}) {
        const std::string& textured =
            std::string(surface) == "SURFACE_MIRROR" ? kUntextured : kTextured;
        for (int mode = 0; mode < kShadowModeCount; ++mode) {
            defines.push_back(surfaceDefine(surface) + shadowDefine(mode) + textured);
        }
    }
    return defines;
}

std::vector<std::string> reflectionVariantDefines() {
    return {surfaceDefine("SURFACE_SKY") + kTextured, surfaceDefine("SURFACE_LIGHT_CUBE"),
            surfaceDefine("SURFACE_MATTE")};
}

std::vector<std::string> postVariantDefines() {
    std::vector<std::string> defines;
    for (int blur = 0; blur < 2; ++blur) {
        for (int flare = 0; flare < 2; ++flare) {
            defines.push_back("#define MOTION_BLUR " + std::to_string(blur) + "\n#define FLARE " +
                              std::to_string(flare) + "\n");
        }
    }
    return defines;
}

// The defines on one line, for a message: "SURFACE SURFACE_SKY, SHADOW_MODE 1".
std::string describeDefines(const std::string& defines) {
    std::string text;
    std::size_t at = 0;
    while (at < defines.size()) {
        std::size_t end = defines.find('\n', at);
        if (end == std::string::npos) end = defines.size();
        std::string line = defines.substr(at, end - at);
        if (line.rfind("#define ", 0) == 0) line.erase(0, 8);
        text += (text.empty() ? "" : ", ") + line;
        at = end + 1;
    }
    return text;
}

// Builds a pass's variants after its general program. When the general program itself did not
// link, its own log has said why, and the variants (built from the same files) are not tried.
std::vector<ShaderVariant> buildVariants(const char* name, const StageFiles& files,
                                         const ShaderProgram& general,
                                         const std::vector<std::string>& defines) {
    GLint generalLinked = GL_FALSE;
    glGetProgramiv(general.program, GL_LINK_STATUS, &generalLinked);
    std::vector<ShaderVariant> variants;
    for (const std::string& lines : defines) {
        ShaderVariant& variant = variants.emplace_back();
        variant.defines = lines;
        variant.program = general;
        if (generalLinked != GL_TRUE) continue;
        std::string log;
        const GLuint program = buildProgram(files, &lines, &log);
        if (program != 0) {
            variant.program.program = program;
            continue;
        }
        std::printf("The %s variant with %s did not build; its draws use %s itself:\n%s\n", name,
                    describeDefines(lines).c_str(), name, log.c_str());
    }
    return variants;
}

struct UniformRow {
    const char* name;
    GLint ShaderProgram::*location;
};

void lookUp(ShaderProgram& target, std::initializer_list<UniformRow> rows) {
    for (const UniformRow& row : rows) {
        target.*(row.location) = glGetUniformLocation(target.program, row.name);
    }
}

}  // namespace

Surface objectSurface(const SceneObject& object, glm::vec3 light) {
    const glm::mat4 model = object.modelMatrix();
    float stretch = 0.0f;
    for (int axis = 0; axis < 3; ++axis) {
        const glm::vec3 column(model[axis]);
        stretch = std::max(stretch, glm::dot(column, column));
    }
    if (stretch > 15.0f * 15.0f) return Surface::Sky;
    const glm::vec3 offset = glm::vec3(model[3]) - light;
    if (glm::dot(offset, offset) < 0.01f * 0.01f) return Surface::LightCube;
    if (object.tessellation) return Surface::Water;
    if (object.reflection) return Surface::Mirror;
    return Surface::Matte;
}

int sceneVariantIndex(Surface surface, int shadowMode, bool textured) {
    // The mirror is the one kind of the scene without a picture.
    if (surface != Surface::LightCube && textured != (surface != Surface::Mirror)) return -1;
    switch (surface) {
        case Surface::Sky:
            return 0;
        case Surface::LightCube:
            return 1;
        default:
            break;
    }
    if (shadowMode < 0 || shadowMode >= kShadowModeCount) return -1;
    const int lit = surface == Surface::Matte ? 0 : (surface == Surface::Mirror ? 1 : 2);
    return 2 + lit * kShadowModeCount + shadowMode;
}

int reflectionVariantIndex(Surface surface, bool textured) {
    switch (surface) {
        case Surface::Sky:
            return textured ? 0 : -1;
        case Surface::LightCube:
            return 1;
        default:
            return 2;
    }
}

int postVariantIndex(bool motionBlur, bool flare) { return (motionBlur ? 2 : 0) + (flare ? 1 : 0); }

namespace {

const ShaderProgram& variantOr(const ShaderProgram& general,
                               const std::vector<ShaderVariant>& variants, int index) {
    if (index < 0 || static_cast<std::size_t>(index) >= variants.size()) return general;
    return variants[static_cast<std::size_t>(index)].program;
}

}  // namespace

const ShaderProgram& sceneProgramFor(Surface surface, int shadowMode, bool textured) {
    return variantOr(programs.sceneProgram, programs.sceneVariants,
                     sceneVariantIndex(surface, shadowMode, textured));
}

const ShaderProgram& reflectionProgramFor(Surface surface, bool textured) {
    return variantOr(programs.reflectionProgram, programs.reflectionVariants,
                     reflectionVariantIndex(surface, textured));
}

const ShaderProgram& postProgramFor(bool motionBlur, bool flare) {
    return variantOr(programs.postProgram, programs.postVariants,
                     postVariantIndex(motionBlur, flare));
}

std::vector<const ShaderProgram*> passPrograms(const ShaderProgram& general,
                                               const std::vector<ShaderVariant>& variants) {
    std::vector<const ShaderProgram*> all{&general};
    for (const ShaderVariant& variant : variants) all.push_back(&variant.program);
    return all;
}

void createPrograms() {
    programs.shadowProgram.program = buildProgram(kShadowStages);
    programs.reflectionProgram.program = buildProgram(kReflectionStages);
    programs.sceneProgram.program = buildProgram(kSceneStages);
    programs.postProgram.program = buildProgram(kPostStages);
    programs.reflectionVariants =
        buildVariants("reflectionProgram", kReflectionStages, programs.reflectionProgram,
                      reflectionVariantDefines());
    programs.sceneVariants =
        buildVariants("sceneProgram", kSceneStages, programs.sceneProgram, sceneVariantDefines());
    programs.postVariants =
        buildVariants("postProgram", kPostStages, programs.postProgram, postVariantDefines());
}

namespace {

using P = ShaderProgram;

void lookUpReflection(ShaderProgram& program) {
    lookUp(program, {{"light_source_position", &P::lightSourcePosition},
                     {"near_far_plane", &P::nearFarPlane},
                     {"cm_mat", &P::cubeFaceMatrices},
                     {"ModelMatrix", &P::modelMatrix},
                     {"ViewMatrix", &P::viewMatrix},
                     {"useTexture", &P::useTexture},
                     {"elapsedTime", &P::elapsedTime}});
}

void lookUpScene(ShaderProgram& program) {
    lookUp(program, {{"reflection", &P::reflection},
                     {"tex_size", &P::texSize},
                     {"light_source_position", &P::lightSourcePosition},
                     {"near_far_plane", &P::nearFarPlane},
                     {"MVP", &P::mvp},
                     {"ModelMatrix", &P::modelMatrix},
                     {"ViewMatrix", &P::viewMatrix},
                     {"proj_mat", &P::projMat},
                     {"camera_pos_world", &P::cameraPosWorld},
                     {"elapsedTime", &P::elapsedTime},
                     {"useTexture", &P::useTexture},
                     {"tessellation", &P::tessellation},
                     {"tessellationControlParameters_outer", &P::tessOuter},
                     {"tessellationControlParameters_inner", &P::tessInner},
                     {"kernelsize", &P::kernelSize},
                     {"mipmap_level", &P::mipmapLevel},
                     {"varShadow", &P::varShadow}});
}

void lookUpPost(ShaderProgram& program) {
    lookUp(program, {{"ViewProj", &P::viewProj},
                     {"invViewProj", &P::invViewProj},
                     {"oldViewProj", &P::oldViewProj},
                     {"numSamples", &P::numSamples},
                     {"light_source_pos_ScreenSpace", &P::lightSourcePosScreenSpace},
                     {"flare_radius", &P::flareRadius},
                     {"dTime", &P::dTime}});
}

void setSceneConstants(const ShaderProgram& scene, const GLfloat* nearFar) {
    glUseProgram(scene.program);
    glUniform2fv(scene.nearFarPlane, 1, nearFar);
    glUniform1i(scene.texSize, kCubeFaceSize);
    glUniform1i(scene.kernelSize, kShadowKernelSize);
    glUniform1f(scene.mipmapLevel, kShadowMipmapLevel);
}

}  // namespace

void lookUpUniforms() {
    lookUp(programs.shadowProgram, {{"light_source_position", &P::lightSourcePosition},
                                    {"near_far_plane", &P::nearFarPlane},
                                    {"cm_mat", &P::cubeFaceMatrices},
                                    {"ModelMatrix", &P::modelMatrix},
                                    {"camera_pos_world", &P::cameraPosWorld},
                                    {"trans_to_ref", &P::transToRef}});
    lookUpReflection(programs.reflectionProgram);
    lookUpScene(programs.sceneProgram);
    lookUpPost(programs.postProgram);
    for (ShaderVariant& variant : programs.reflectionVariants) lookUpReflection(variant.program);
    for (ShaderVariant& variant : programs.sceneVariants) lookUpScene(variant.program);
    for (ShaderVariant& variant : programs.postVariants) lookUpPost(variant.program);
}

void setConstantUniforms() {
    const GLfloat nearFar[2] = {kUniformNearPlane, kUniformFarPlane};
    glUseProgram(programs.shadowProgram.program);
    glUniform2fv(programs.shadowProgram.nearFarPlane, 1, nearFar);
    glUseProgram(programs.reflectionProgram.program);
    glUniform2fv(programs.reflectionProgram.nearFarPlane, 1, nearFar);
    for (const ShaderVariant& variant : programs.reflectionVariants) {
        glUseProgram(variant.program.program);
        glUniform2fv(variant.program.nearFarPlane, 1, nearFar);
    }
    for (const ShaderVariant& variant : programs.sceneVariants) {
        setSceneConstants(variant.program, nearFar);
    }
    setSceneConstants(programs.sceneProgram, nearFar);
}

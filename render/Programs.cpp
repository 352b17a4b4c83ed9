#include "render/Programs.h"

#include <algorithm>
#include <cstdio>
#include <initializer_list>
#include <string>
#include <utility>

#include "assets/Paths.h"
#include "assets/ShaderLoader.h"
#include "render/Targets.h"

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

const char* surfaceName(int surface) {
    switch (static_cast<ObjectKind>(surface)) {
        case ObjectKind::SkyWall:
            return "SURFACE_SKY";
        case ObjectKind::LightCube:
            return "SURFACE_LIGHT_CUBE";
        case ObjectKind::Matte:
            return "SURFACE_MATTE";
        case ObjectKind::Reflector:
            return "SURFACE_MIRROR";
        case ObjectKind::Water:
            return "SURFACE_WATER";
        case ObjectKind::Ground:
            return "SURFACE_GROUND";
    }
    return "SURFACE_ANY";
}

constexpr std::array<const char*, kChoiceCount> kChoiceNames = {"SURFACE", "SHADOW_MODE",
                                                                "TEXTURED", "MOTION_BLUR", "FLARE"};

VariantKey keyOf(std::initializer_list<std::pair<Choice, int>> fixed) {
    VariantKey key = anyVariant();
    for (const auto& [choice, value] : fixed) key[choice] = value;
    return key;
}

int surface(ObjectKind kind) { return static_cast<int>(kind); }

// The choices a build fixes, each as "NAME VALUE" ("SURFACE SURFACE_MATTE"), in Choice order.
std::vector<std::string> fixedChoices(const VariantKey& key) {
    std::vector<std::string> choices;
    for (int c = 0; c < kChoiceCount; ++c) {
        const int value = key.values[static_cast<std::size_t>(c)];
        if (value == kAny) continue;
        choices.push_back(std::string(kChoiceNames[static_cast<std::size_t>(c)]) + " " +
                          (static_cast<Choice>(c) == Choice::Surface ? surfaceName(value)
                                                                     : std::to_string(value)));
    }
    return choices;
}

// The choices on one line, for a message: "SURFACE SURFACE_SKY, SHADOW_MODE 1".
std::string describeVariant(const VariantKey& key) {
    std::string text;
    for (const std::string& choice : fixedChoices(key)) text += (text.empty() ? "" : ", ") + choice;
    return text;
}

// Builds a pass's variants after its general program. When the general program itself did not
// link, its own log has said why, and the variants (built from the same files) are not tried.
std::vector<ShaderVariant> buildVariants(const char* name, const StageFiles& files,
                                         const ShaderProgram& general,
                                         const std::vector<VariantKey>& table) {
    GLint generalLinked = GL_FALSE;
    glGetProgramiv(general.program, GL_LINK_STATUS, &generalLinked);
    std::vector<ShaderVariant> variants;
    for (const VariantKey& key : table) {
        ShaderVariant& variant = variants.emplace_back();
        variant.key = key;
        variant.defines = variantDefines(key);
        variant.program = general;
        if (generalLinked != GL_TRUE) continue;
        std::string log;
        const GLuint program = buildProgram(files, &variant.defines, &log);
        if (program != 0) {
            variant.program.program = program;
            continue;
        }
        std::printf("The %s variant with %s did not build; its draws use %s itself:\n%s\n", name,
                    describeVariant(key).c_str(), name, log.c_str());
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

VariantKey anyVariant() {
    VariantKey key;
    key.values.fill(kAny);
    return key;
}

std::string variantDefines(const VariantKey& key) {
    std::string lines;
    for (const std::string& choice : fixedChoices(key)) lines += "#define " + choice + "\n";
    return lines;
}

bool variantServes(const VariantKey& key, const VariantKey& draw) {
    for (std::size_t c = 0; c < key.values.size(); ++c) {
        if (key.values[c] != kAny && key.values[c] != draw.values[c]) return false;
    }
    return true;
}

const std::vector<VariantKey>& sceneVariantTable() {
    static const std::vector<VariantKey> table = [] {
        std::vector<VariantKey> rows = {
            keyOf({{Choice::Surface, surface(ObjectKind::SkyWall)}, {Choice::Textured, 1}}),
            keyOf({{Choice::Surface, surface(ObjectKind::LightCube)}})};
        for (ObjectKind kind :
             {ObjectKind::Matte, ObjectKind::Reflector, ObjectKind::Water, ObjectKind::Ground}) {
            // The mirror is the one lit kind of the scene without a picture.
            const int textured = kind == ObjectKind::Reflector ? 0 : 1;
            for (int mode = 0; mode < kShadowModeCount; ++mode) {
                rows.push_back(keyOf({{Choice::Surface, surface(kind)},
                                      {Choice::ShadowMode, mode},
                                      {Choice::Textured, textured}}));
            }
        }
        return rows;
    }();
    return table;
}

const std::vector<VariantKey>& reflectionVariantTable() {
    static const std::vector<VariantKey> table = {
        keyOf({{Choice::Surface, surface(ObjectKind::SkyWall)}, {Choice::Textured, 1}}),
        keyOf({{Choice::Surface, surface(ObjectKind::LightCube)}}),
        keyOf({{Choice::Surface, surface(ObjectKind::Matte)}})};
    return table;
}

const std::vector<VariantKey>& postVariantTable() {
    static const std::vector<VariantKey> table = [] {
        std::vector<VariantKey> rows;
        for (int blur = 0; blur < 2; ++blur) {
            for (int flare = 0; flare < 2; ++flare) {
                rows.push_back(keyOf({{Choice::MotionBlur, blur}, {Choice::Flare, flare}}));
            }
        }
        return rows;
    }();
    return table;
}

VariantKey sceneDraw(ObjectKind kind, int shadowMode, bool textured) {
    return keyOf({{Choice::Surface, surface(kind)},
                  {Choice::ShadowMode, shadowMode},
                  {Choice::Textured, textured ? 1 : 0}});
}

VariantKey reflectionDraw(ObjectKind kind, bool textured) {
    // The cube is seen only in the sphere: every lit kind is shaded alike there.
    const bool ownShading = kind == ObjectKind::SkyWall || kind == ObjectKind::LightCube;
    return keyOf({{Choice::Surface, surface(ownShading ? kind : ObjectKind::Matte)},
                  {Choice::Textured, textured ? 1 : 0}});
}

VariantKey postDraw(bool motionBlur, bool flare) {
    return keyOf({{Choice::MotionBlur, motionBlur ? 1 : 0}, {Choice::Flare, flare ? 1 : 0}});
}

const ShaderProgram& programFor(const ShaderProgram& general,
                                const std::vector<ShaderVariant>& variants,
                                const VariantKey& draw) {
    for (const ShaderVariant& variant : variants) {
        if (variantServes(variant.key, draw)) return variant.program;
    }
    return general;
}

const ShaderProgram& sceneProgramFor(ObjectKind kind, int shadowMode, bool textured) {
    return programFor(programs.sceneProgram, programs.sceneVariants,
                      sceneDraw(kind, shadowMode, textured));
}

const ShaderProgram& reflectionProgramFor(ObjectKind kind, bool textured) {
    return programFor(programs.reflectionProgram, programs.reflectionVariants,
                      reflectionDraw(kind, textured));
}

const ShaderProgram& postProgramFor(bool motionBlur, bool flare) {
    return programFor(programs.postProgram, programs.postVariants, postDraw(motionBlur, flare));
}

std::vector<ProgramBuild> programBuilds() {
    std::vector<ProgramBuild> builds;
    auto add = [&](const char* name, const char* program, const StageFiles& files,
                   const std::vector<VariantKey>* table) {
        ProgramBuild build;
        build.program = program;
        const char* stages[] = {files.vertex, files.tessControl, files.tessEvaluation,
                                files.geometry, files.fragment};
        for (std::size_t s = 0; s < build.paths.size(); ++s) {
            if (stages[s] != nullptr) build.paths[s] = stagePath(stages[s]);
        }
        if (table == nullptr) {
            build.name = name;
            builds.push_back(build);
            return;
        }
        for (std::size_t v = 0; v < table->size(); ++v) {
            build.name = std::string(name) + "-" + std::to_string(v + 1);
            build.defines = variantDefines((*table)[v]);
            builds.push_back(build);
        }
    };
    add("shadow", "shadowProgram", kShadowStages, nullptr);
    add("reflection", "reflectionProgram", kReflectionStages, nullptr);
    add("scene", "sceneProgram", kSceneStages, nullptr);
    add("post", "postProgram", kPostStages, nullptr);
    add("reflection", "reflectionProgram", kReflectionStages, &reflectionVariantTable());
    add("scene", "sceneProgram", kSceneStages, &sceneVariantTable());
    add("post", "postProgram", kPostStages, &postVariantTable());
    return builds;
}

void createPrograms() {
    programs.shadowProgram.program = buildProgram(kShadowStages);
    programs.reflectionProgram.program = buildProgram(kReflectionStages);
    programs.sceneProgram.program = buildProgram(kSceneStages);
    programs.postProgram.program = buildProgram(kPostStages);
    programs.reflectionVariants =
        buildVariants("reflectionProgram", kReflectionStages, programs.reflectionProgram,
                      reflectionVariantTable());
    programs.sceneVariants =
        buildVariants("sceneProgram", kSceneStages, programs.sceneProgram, sceneVariantTable());
    programs.postVariants =
        buildVariants("postProgram", kPostStages, programs.postProgram, postVariantTable());
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
    forEachBuild(programs.reflectionProgram, programs.reflectionVariants,
                 [&](const ShaderProgram& build) { glUniform2fv(build.nearFarPlane, 1, nearFar); });
    forEachBuild(programs.sceneProgram, programs.sceneVariants,
                 [&](const ShaderProgram& build) { setSceneConstants(build, nearFar); });
    glUseProgram(programs.sceneProgram.program);
}

#pragma once

// What each of the four programs is made of, one table per program: its stage files, its
// uniforms (GLSL name and type, and when the passes set them) in look-up order, the samplers
// that its stage files bind to texture units, and the specialised builds made of it.
//
// Everything else derives from these tables: the builds that start-up makes, the uniform
// look-ups, the values set once at start-up, the build list that pelk-stages writes out for the
// reference compiler, and the names that the passes set uniforms by (build["ModelMatrix"], a
// name checked against the table while compiling). A uniform is written twice: in its row here
// and in the GLSL. Adding one is one row here; adding a build is one row of its variants.

#include <GL/glew.h>

#include <algorithm>
#include <array>
#include <cstddef>
#include <span>
#include <string_view>

#include "render/Targets.h"
#include "scene/SceneObject.h"

// A GLSL type as the stage files spell it and as GL reports it for an active uniform.
struct GlslType {
    const char* spelling;  // "mat4"
    GLenum glType;         // GL_FLOAT_MAT4
    GLenum textureTarget;  // a sampler's: the target its texture is bound to; GL_NONE
};
inline constexpr GlslType kInt{"int", GL_INT, GL_NONE};
inline constexpr GlslType kFloat{"float", GL_FLOAT, GL_NONE};
inline constexpr GlslType kVec2{"vec2", GL_FLOAT_VEC2, GL_NONE};
inline constexpr GlslType kVec3{"vec3", GL_FLOAT_VEC3, GL_NONE};
inline constexpr GlslType kMat4{"mat4", GL_FLOAT_MAT4, GL_NONE};
inline constexpr GlslType kSampler2D{"sampler2D", GL_SAMPLER_2D, GL_TEXTURE_2D};
inline constexpr GlslType kSamplerCube{"samplerCube", GL_SAMPLER_CUBE, GL_TEXTURE_CUBE_MAP};
inline constexpr GlslType kSamplerCubeShadow{"samplerCubeShadow", GL_SAMPLER_CUBE_SHADOW,
                                             GL_TEXTURE_CUBE_MAP};

// When a uniform is set: once at start-up by setConstantUniforms(), in every build; by its pass
// once a frame, in every build, as any of them may draw (and maybe again for each object); or
// for each object, in the build that draws it.
enum class SetWhen { AtStartUp, PerFrame, PerObject };

// A value set once at start-up: an int, a float or two floats (GL_NONE: none).
struct UniformValue {
    GLenum glType = GL_NONE;
    std::array<float, 2> floats{};
    int integer = 0;

    constexpr UniformValue() = default;
    constexpr UniformValue(int value) : glType(GL_INT), integer(value) {}
    constexpr UniformValue(float value) : glType(GL_FLOAT), floats{value, 0.0f} {}
    constexpr UniformValue(float x, float y) : glType(GL_FLOAT_VEC2), floats{x, y} {}
};

// One uniform of a program, looked up by its name in its table's order.
struct UniformRow {
    const char* name;  // as the stage files spell it
    GlslType type;
    int count = 1;  // array length: "cm_mat" is mat4[6]
    SetWhen when = SetWhen::PerFrame;
    UniformValue value;    // AtStartUp only
    bool declared = true;  // false: no stage file of the program declares it (location -1)

    // The same row for a uniform that the program's stage files do not declare: it is still
    // looked up and set, in its place, and GL ignores it.
    constexpr UniformRow notDeclared() const {
        UniformRow row = *this;
        row.declared = false;
        return row;
    }
};
constexpr UniformRow perFrame(const char* name, GlslType type, int count = 1) {
    return {name, type, count, SetWhen::PerFrame, {}, true};
}
constexpr UniformRow perObject(const char* name, GlslType type) {
    return {name, type, 1, SetWhen::PerObject, {}, true};
}
constexpr UniformRow atStartUp(const char* name, GlslType type, UniformValue value) {
    return {name, type, 1, SetWhen::AtStartUp, value, true};
}

// A sampler that the stage files bind to a texture unit themselves (layout(binding = N)); no
// sampler uniform is ever set. The pass binds the unit's texture.
struct SamplerRow {
    const char* name;
    GlslType type;
    int unit;
};

// Values that never change after start-up.
inline constexpr float kUniformNearPlane = 0.1f;
inline constexpr float kUniformFarPlane = 300.0f;
inline constexpr int kShadowKernelSize = 4;
inline constexpr float kShadowMipmapLevel = 0.5f;

// The choices that a specialised build fixes. A software rasteriser runs every branch of a
// fragment stage for a block of pixels as soon as one pixel takes it, so a general program
// costs the sum of all its paths; a build with some choices fixed by #defines (inserted after
// the stage files' #version line) carries only its own. kAny: not fixed, any value serves.
inline constexpr int kAny = -1;
struct VariantKey {
    int surface = kAny;     // SURFACE: an ObjectKind (surface() below)
    int shadowMode = kAny;  // SHADOW_MODE: 0 hard, 1 variance (soft), 2 filtered
    int textured = kAny;    // TEXTURED: 1 every surface drawn has a picture, 0 none has
    int motionBlur = kAny;  // MOTION_BLUR: 1 the camera moved since the last frame
    int flare = kAny;       // FLARE: 1 the light is near the screen

    bool operator==(const VariantKey&) const = default;
};
constexpr int surface(ObjectKind kind) { return static_cast<int>(kind); }

// Each choice's #define, in the order a build's lines give them.
struct ChoiceDefine {
    const char* name;
    int VariantKey::*field;
};
inline constexpr std::array<ChoiceDefine, 5> kChoiceDefines = {{
    {"SURFACE", &VariantKey::surface},
    {"SHADOW_MODE", &VariantKey::shadowMode},
    {"TEXTURED", &VariantKey::textured},
    {"MOTION_BLUR", &VariantKey::motionBlur},
    {"FLARE", &VariantKey::flare},
}};

inline constexpr std::array<const char*, 5> kStageNames = {
    "vertex", "tessellation control", "tessellation evaluation", "geometry", "fragment"};

// One program: what it is built from and what it is given.
struct ProgramTable {
    const char* buildName;  // "scene": its builds are "scene", "scene-1", "scene-2", ...
    const char* name;       // "sceneProgram"
    std::array<const char*, 5> stages;     // files in kStageNames order; null where none
    std::span<const UniformRow> uniforms;  // in look-up order
    std::span<const SamplerRow> samplers;
    std::span<const VariantKey> variants;  // the specialised builds, in the order they are made
};

// ---- shadowProgram: the scene from the light into the shadow cubes --------------------------

inline constexpr UniformRow kShadowUniforms[] = {
    perFrame("light_source_position", kVec3),
    atStartUp("near_far_plane", kVec2, {kUniformNearPlane, kUniformFarPlane}),
    perFrame("cm_mat", kMat4, 6),
    perObject("ModelMatrix", kMat4),
    perObject("camera_pos_world", kVec3).notDeclared(),
    perFrame("trans_to_ref", kMat4).notDeclared(),  // the identity
};
// The cube passes' vertex stage declares both for the reflection's lighting; the shadow
// program, whose fragment stage reads none of it, leaves them out when it links.
inline constexpr SamplerRow kCubePassSamplers[] = {
    {"shadowDepthCube", kSamplerCubeShadow, kShadowDepthUnit},
    {"objectTexture", kSampler2D, kObjectTextureUnit},
};
inline constexpr ProgramTable kShadowProgram{
    "shadow",
    "shadowProgram",
    {"1stPass.vertexshader", nullptr, nullptr, "1stPass.geometryshader",
     "1stPass_1.fragmentshader"},
    kShadowUniforms,
    kCubePassSamplers,
    {},
};

// ---- reflectionProgram: the reflector's lit surroundings into the reflection cube ------------

inline constexpr UniformRow kReflectionUniforms[] = {
    perFrame("light_source_position", kVec3),
    atStartUp("near_far_plane", kVec2, {kUniformNearPlane, kUniformFarPlane}).notDeclared(),
    perFrame("cm_mat", kMat4, 6),
    perObject("ModelMatrix", kMat4),
    perFrame("ViewMatrix", kMat4, 6),
    perObject("useTexture", kFloat),  // the sky walls all count as pictured
    perFrame("elapsedTime", kFloat),
};
// The cube is seen only in the sphere: every lit kind is shaded alike there.
inline constexpr VariantKey kReflectionVariants[] = {
    {.surface = surface(ObjectKind::SkyWall), .textured = 1},
    {.surface = surface(ObjectKind::LightCube)},
    {.surface = surface(ObjectKind::Matte)},
};
inline constexpr ProgramTable kReflectionProgram{
    "reflection",
    "reflectionProgram",
    {"1stPass.vertexshader", nullptr, nullptr, "1stPass.geometryshader",
     "1stPass_2.fragmentshader"},
    kReflectionUniforms,
    kCubePassSamplers,
    kReflectionVariants,
};

// ---- sceneProgram: the camera's view into the scene target ----------------------------------

inline constexpr UniformRow kSceneUniforms[] = {
    perObject("reflection", kInt),
    atStartUp("tex_size", kInt, kCubeFaceSize),
    perFrame("light_source_position", kVec3),
    atStartUp("near_far_plane", kVec2, {kUniformNearPlane, kUniformFarPlane}),
    perObject("MVP", kMat4),
    perObject("ModelMatrix", kMat4),
    perObject("ViewMatrix", kMat4),
    perObject("proj_mat", kMat4),
    perFrame("camera_pos_world", kVec3),
    perFrame("elapsedTime", kFloat),
    perObject("useTexture", kFloat),
    perObject("tessellation", kFloat),
    perObject("tessellationControlParameters_outer", kVec3),
    perObject("tessellationControlParameters_inner", kVec2),
    atStartUp("kernelsize", kInt, kShadowKernelSize),
    atStartUp("mipmap_level", kFloat, kShadowMipmapLevel),
    perFrame("varShadow", kInt),
};
inline constexpr SamplerRow kSceneSamplers[] = {
    {"shadowDepthCube", kSamplerCubeShadow, kShadowDepthUnit},
    {"objectTexture", kSampler2D, kObjectTextureUnit},
    {"shadowMoments", kSamplerCube, kShadowColorUnit},
    {"reflectionCube", kSamplerCube, kReflectionColorUnit},
    {"groundPicture", kSampler2D, kGroundPictureUnit},
};
// One build per kind of surface, the lit ones per shadow mode. The sky, matte, water and ground
// take their colour from a picture, the mirror from its vertices, as the scene's objects do (an
// object that differs, a picture that failed to load say, meets no build and is drawn by the
// general program).
inline constexpr VariantKey kSceneVariants[] = {
    {.surface = surface(ObjectKind::SkyWall), .textured = 1},
    {.surface = surface(ObjectKind::LightCube)},
    {.surface = surface(ObjectKind::Matte), .shadowMode = 0, .textured = 1},
    {.surface = surface(ObjectKind::Matte), .shadowMode = 1, .textured = 1},
    {.surface = surface(ObjectKind::Matte), .shadowMode = 2, .textured = 1},
    {.surface = surface(ObjectKind::Reflector), .shadowMode = 0, .textured = 0},
    {.surface = surface(ObjectKind::Reflector), .shadowMode = 1, .textured = 0},
    {.surface = surface(ObjectKind::Reflector), .shadowMode = 2, .textured = 0},
    {.surface = surface(ObjectKind::Water), .shadowMode = 0, .textured = 1},
    {.surface = surface(ObjectKind::Water), .shadowMode = 1, .textured = 1},
    {.surface = surface(ObjectKind::Water), .shadowMode = 2, .textured = 1},
    {.surface = surface(ObjectKind::Ground), .shadowMode = 0, .textured = 1},
    {.surface = surface(ObjectKind::Ground), .shadowMode = 1, .textured = 1},
    {.surface = surface(ObjectKind::Ground), .shadowMode = 2, .textured = 1},
};
inline constexpr ProgramTable kSceneProgram{
    "scene",
    "sceneProgram",
    {"2ndPass.vertexshader", "2ndPass.tesControlShader", "2ndPass.tesEvaluationShader", nullptr,
     "2ndPass.fragmentshader"},
    kSceneUniforms,
    kSceneSamplers,
    kSceneVariants,
};

// ---- postProgram: the scene image onto the window --------------------------------------------

inline constexpr UniformRow kPostUniforms[] = {
    perFrame("ViewProj", kMat4),
    perFrame("invViewProj", kMat4),
    perFrame("oldViewProj", kMat4),
    perFrame("numSamples", kInt),
    perFrame("light_source_pos_ScreenSpace", kVec3),
    perFrame("flare_radius", kFloat),
    perFrame("dTime", kFloat),
};
inline constexpr SamplerRow kPostSamplers[] = {
    {"sceneDepth", kSampler2D, kSceneDepthUnit},
    {"sceneColor", kSampler2D, kSceneColorUnit},
};
// One build per still or moving camera, with or without a flare.
inline constexpr VariantKey kPostVariants[] = {
    {.motionBlur = 0, .flare = 0},
    {.motionBlur = 0, .flare = 1},
    {.motionBlur = 1, .flare = 0},
    {.motionBlur = 1, .flare = 1},
};
inline constexpr ProgramTable kPostProgram{
    "post",
    "postProgram",
    {"3rdPass.vertexshader", nullptr, nullptr, nullptr, "3rdPass.fragmentshader"},
    kPostUniforms,
    kPostSamplers,
    kPostVariants,
};

// ---- the four, in the order they are built ----------------------------------------------------

enum class ProgramId { Shadow, Reflection, Scene, Post };
inline constexpr std::array<const ProgramTable*, 4> kProgramTables = {
    &kShadowProgram, &kReflectionProgram, &kSceneProgram, &kPostProgram};
constexpr const ProgramTable& programTable(ProgramId id) {
    return *kProgramTables[static_cast<std::size_t>(id)];
}

// The longest uniform table: the size of a program's location array.
inline constexpr std::size_t kMostUniforms =
    std::max({kShadowProgram.uniforms.size(), kReflectionProgram.uniforms.size(),
              kSceneProgram.uniforms.size(), kPostProgram.uniforms.size()});

// Not constexpr: reached only while compiling, where it stops a name that has no row.
inline void uniformNameHasNoRowInThisProgramsTable() {}

consteval std::size_t uniformRow(const ProgramTable& table, std::string_view name) {
    for (std::size_t row = 0; row < table.uniforms.size(); ++row) {
        if (name == table.uniforms[row].name) return row;
    }
    uniformNameHasNoRowInThisProgramsTable();
    return 0;
}

// A uniform of program Id, named as in the GLSL: build["ModelMatrix"]. The name is looked up in
// the table while compiling; one that has no row there does not compile.
template <ProgramId Id>
struct UniformOf {
    consteval UniformOf(const char* name) : row(uniformRow(programTable(Id), name)) {}
    std::size_t row;
};

// What the compiler can check of a table: distinct names and units, and a start-up value of
// its row's type on exactly the rows set at start-up.
consteval bool tableIsConsistent(const ProgramTable& table) {
    for (std::size_t i = 0; i < table.uniforms.size(); ++i) {
        const UniformRow& row = table.uniforms[i];
        const bool startUp = row.when == SetWhen::AtStartUp;
        if (startUp != (row.value.glType != GL_NONE)) return false;
        if (startUp && row.value.glType != row.type.glType) return false;
        if (row.count < 1 || row.type.textureTarget != GL_NONE) return false;
        for (std::size_t j = 0; j < i; ++j) {
            if (std::string_view(row.name) == table.uniforms[j].name) return false;
        }
    }
    for (std::size_t i = 0; i < table.samplers.size(); ++i) {
        if (table.samplers[i].type.textureTarget == GL_NONE) return false;
        for (std::size_t j = 0; j < i; ++j) {
            if (table.samplers[i].unit == table.samplers[j].unit) return false;
        }
    }
    return true;
}
static_assert(tableIsConsistent(kShadowProgram));
static_assert(tableIsConsistent(kReflectionProgram));
static_assert(tableIsConsistent(kSceneProgram));
static_assert(tableIsConsistent(kPostProgram));

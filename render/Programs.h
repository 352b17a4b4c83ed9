#pragma once

#include <GL/glew.h>

#include <array>
#include <cstddef>
#include <string>
#include <vector>

#include "scene/SceneObject.h"

// One linked GPU program and the locations of the uniforms that its passes set. A location the
// program does not have stays -1, which GL accepts and ignores.
struct ShaderProgram {
    GLuint program = 0;
    GLint lightSourcePosition = -1;        // "light_source_position"
    GLint nearFarPlane = -1;               // "near_far_plane"
    GLint cubeFaceMatrices = -1;           // "cm_mat"
    GLint modelMatrix = -1;                // "ModelMatrix"
    GLint cameraPosWorld = -1;             // "camera_pos_world"
    GLint transToRef = -1;                 // "trans_to_ref"
    GLint viewMatrix = -1;                 // "ViewMatrix"
    GLint useTexture = -1;                 // "useTexture"
    GLint elapsedTime = -1;                // "elapsedTime"
    GLint reflection = -1;                 // "reflection"
    GLint texSize = -1;                    // "tex_size"
    GLint mvp = -1;                        // "MVP"
    GLint projMat = -1;                    // "proj_mat"
    GLint tessellation = -1;               // "tessellation"
    GLint tessOuter = -1;                  // "tessellationControlParameters_outer"
    GLint tessInner = -1;                  // "tessellationControlParameters_inner"
    GLint kernelSize = -1;                 // "kernelsize"
    GLint mipmapLevel = -1;                // "mipmap_level"
    GLint varShadow = -1;                  // "varShadow"
    GLint viewProj = -1;                   // "ViewProj"
    GLint invViewProj = -1;                // "invViewProj"
    GLint oldViewProj = -1;                // "oldViewProj"
    GLint numSamples = -1;                 // "numSamples"
    GLint lightSourcePosScreenSpace = -1;  // "light_source_pos_ScreenSpace"
    GLint flareRadius = -1;                // "flare_radius"
    GLint dTime = -1;                      // "dTime"
};

// The choices that a specialised build of a pass fixes. A software rasteriser runs every branch
// of a fragment stage for a block of pixels as soon as one pixel takes it, so a general program
// costs the sum of all its paths; a build with some choices fixed by #defines (inserted after
// the stage files' #version line) carries only its own. Each choice is a #define of the stage
// files, in this order.
enum class Choice { Surface, ShadowMode, Textured, MotionBlur, Flare, Count };
inline constexpr int kChoiceCount = static_cast<int>(Choice::Count);
inline constexpr int kShadowModeCount = 3;  // 0 hard, 1 variance (soft), 2 filtered

// Values of the choices, one per Choice: a build serves the draws whose values equal the ones
// it fixes (kAny: not fixed, any value serves). Surface takes an ObjectKind, the others
// integers (Textured, MotionBlur and Flare 0 or 1).
inline constexpr int kAny = -1;
struct VariantKey {
    std::array<int, kChoiceCount> values;
    int& operator[](Choice c) { return values[static_cast<std::size_t>(c)]; }
    int operator[](Choice c) const { return values[static_cast<std::size_t>(c)]; }
};
VariantKey anyVariant();

// The lines that make a build: "#define SURFACE SURFACE_MATTE\n#define SHADOW_MODE 1\n..." for
// its fixed choices, in Choice order.
std::string variantDefines(const VariantKey& key);
// Whether a build of `key` serves a draw whose choices are `draw` (every choice set).
bool variantServes(const VariantKey& key, const VariantKey& draw);

// The builds of each pass, in the order they are made. The scene pass has one per kind of
// surface, the lit ones per shadow mode; the sky, matte, water and ground take their colour
// from a picture, the mirror from its vertices, as the scene's objects do (an object that
// differs, a picture that failed to load say, meets no build and is drawn by the general
// program). The reflection pass lights every lit kind alike. The post pass has one per still
// or moving camera, with or without a flare.
const std::vector<VariantKey>& sceneVariantTable();
const std::vector<VariantKey>& reflectionVariantTable();
const std::vector<VariantKey>& postVariantTable();

// What a draw asks of each pass's builds.
VariantKey sceneDraw(ObjectKind kind, int shadowMode, bool textured);
VariantKey reflectionDraw(ObjectKind kind, bool textured);
VariantKey postDraw(bool motionBlur, bool flare);

// A specialised build of a pass's stage files.
struct ShaderVariant {
    VariantKey key;         // the choices it fixes
    std::string defines;    // variantDefines(key)
    ShaderProgram program;  // a copy of the general program when the variant did not build
};

// The four programs of a frame, one per pass, and the variants of three of them.
struct Programs {
    ShaderProgram shadowProgram;      // light's view into the shadow cubes
    ShaderProgram reflectionProgram;  // lit surroundings of the reflector into its cube
    ShaderProgram sceneProgram;       // the camera's view into the scene target
    ShaderProgram postProgram;        // scene target onto the window
    std::vector<ShaderVariant> reflectionVariants;  // one per row of reflectionVariantTable()
    std::vector<ShaderVariant> sceneVariants;       // one per row of sceneVariantTable()
    std::vector<ShaderVariant> postVariants;        // one per row of postVariantTable()
};

extern Programs programs;

// Values that never change after start-up.
inline constexpr float kUniformNearPlane = 0.1f;
inline constexpr float kUniformFarPlane = 300.0f;
inline constexpr int kShadowKernelSize = 4;
inline constexpr float kShadowMipmapLevel = 0.5f;

// The first of a pass's builds that serves a draw, or its general program when none does.
const ShaderProgram& programFor(const ShaderProgram& general,
                                const std::vector<ShaderVariant>& variants, const VariantKey& draw);
// The program that draws an object of a kind in each pass (the general one where no variant
// serves).
const ShaderProgram& sceneProgramFor(ObjectKind kind, int shadowMode, bool textured);
const ShaderProgram& reflectionProgramFor(ObjectKind kind, bool textured);
const ShaderProgram& postProgramFor(bool motionBlur, bool flare);

// Calls `set(build)` for a pass's general program and then each of its variants, each made
// current first: the per-frame uniforms must reach every build, as any of them may draw.
template <typename Set>
void forEachBuild(const ShaderProgram& general, const std::vector<ShaderVariant>& variants,
                  Set&& set) {
    glUseProgram(general.program);
    set(general);
    for (const ShaderVariant& variant : variants) {
        glUseProgram(variant.program.program);
        set(variant.program);
    }
}

// One build of a pass's stage files: a program of the four, or a variant.
struct ProgramBuild {
    std::string name;                  // "scene", or "scene-3" for the third of its variants
    std::string program;               // "sceneProgram"
    std::string defines;               // the variant's #define lines; empty for the program itself
    std::array<std::string, 5> paths;  // stage files in stage order; empty where it has none
};
inline constexpr std::array<const char*, 5> kStageNames = {
    "vertex", "tessellation control", "tessellation evaluation", "geometry", "fragment"};

// Every build that createPrograms() makes, in its order: the four programs, then the
// reflection, scene and post variants.
std::vector<ProgramBuild> programBuilds();

// Start-up, right after the window: builds the four programs from the stage files in srcDir,
// then, printing nothing, the variants (a variant that fails is reported once, with its
// defines, and its draws fall back to the general program).
void createPrograms();
// Start-up, after the scene assembly: looks up every uniform location, program by program, the
// variants after the four.
void lookUpUniforms();
// Start-up, after the targets: sets the uniforms that never change, in the variants too. Leaves
// sceneProgram in use.
void setConstantUniforms();

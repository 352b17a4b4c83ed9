#pragma once

#include <GL/glew.h>

#include <array>
#include <cstddef>
#include <string>
#include <vector>

#include "render/ProgramTables.h"
#include "scene/SceneObject.h"

// One linked GPU program and the locations of the uniforms of its table, by row. A location the
// program does not have stays -1, which GL accepts and ignores.
struct ShaderProgram {
    GLuint program = 0;
    std::array<GLint, kMostUniforms> locations = noLocations();

    static constexpr std::array<GLint, kMostUniforms> noLocations() {
        std::array<GLint, kMostUniforms> none{};
        none.fill(-1);
        return none;
    }
};

// A build of program Id's stage files: the general program or one of its variants. Its uniforms
// are found by their GLSL names, checked against the table when compiling.
template <ProgramId Id>
struct ProgramOf : ShaderProgram {
    static constexpr ProgramId id = Id;
    GLint operator[](UniformOf<Id> uniform) const { return locations[uniform.row]; }
};
using ShadowBuild = ProgramOf<ProgramId::Shadow>;
using ReflectionBuild = ProgramOf<ProgramId::Reflection>;
using SceneBuild = ProgramOf<ProgramId::Scene>;
using PostBuild = ProgramOf<ProgramId::Post>;

// A specialised build of a program: one row of its table's variants.
template <ProgramId Id>
struct ShaderVariant {
    VariantKey key;         // the choices it fixes
    std::string defines;    // variantDefines(key)
    ProgramOf<Id> program;  // a copy of the general program when the variant did not build
};

// The four programs of a frame, one per pass, and the variants of each.
struct Programs {
    ShadowBuild shadowProgram;          // light's view into the shadow cubes
    ReflectionBuild reflectionProgram;  // lit surroundings of the reflector into its cube
    SceneBuild sceneProgram;            // the camera's view into the scene target
    PostBuild postProgram;              // scene target onto the window
    std::vector<ShaderVariant<ProgramId::Shadow>> shadowVariants;  // one per row of the table's
    std::vector<ShaderVariant<ProgramId::Reflection>> reflectionVariants;
    std::vector<ShaderVariant<ProgramId::Scene>> sceneVariants;
    std::vector<ShaderVariant<ProgramId::Post>> postVariants;
};

extern Programs programs;

// Calls f(general, variants) for each of the four programs, in the order they are built.
template <typename F>
void forEachProgram(Programs& all, F&& f) {
    f(all.shadowProgram, all.shadowVariants);
    f(all.reflectionProgram, all.reflectionVariants);
    f(all.sceneProgram, all.sceneVariants);
    f(all.postProgram, all.postVariants);
}

// The lines that make a build: "#define SURFACE SURFACE_MATTE\n#define SHADOW_MODE 1\n..." for
// its fixed choices, in kChoiceDefines order.
std::string variantDefines(const VariantKey& key);
// Whether a build of `key` serves a draw whose choices are `draw`.
bool variantServes(const VariantKey& key, const VariantKey& draw);

// What a draw asks of each pass's builds.
VariantKey sceneDraw(ObjectKind kind, int shadowMode, bool textured);
VariantKey reflectionDraw(ObjectKind kind, bool textured);
VariantKey postDraw(bool motionBlur, bool flare);

// The first of a program's builds that serves a draw, or its general program when none does.
template <ProgramId Id>
const ProgramOf<Id>& programFor(const ProgramOf<Id>& general,
                                const std::vector<ShaderVariant<Id>>& variants,
                                const VariantKey& draw) {
    for (const ShaderVariant<Id>& variant : variants) {
        if (variantServes(variant.key, draw)) return variant.program;
    }
    return general;
}
// The program that draws an object of a kind in each pass (the general one where no variant
// serves).
const SceneBuild& sceneProgramFor(ObjectKind kind, int shadowMode, bool textured);
const ReflectionBuild& reflectionProgramFor(ObjectKind kind, bool textured);
const PostBuild& postProgramFor(bool motionBlur, bool flare);

// Calls `set(build)` for a program and then each of its variants, each made current first: the
// per-frame uniforms must reach every build, as any of them may draw.
template <ProgramId Id, typename Set>
void forEachBuild(const ProgramOf<Id>& general, const std::vector<ShaderVariant<Id>>& variants,
                  Set&& set) {
    glUseProgram(general.program);
    set(general);
    for (const ShaderVariant<Id>& variant : variants) {
        glUseProgram(variant.program.program);
        set(variant.program);
    }
}

// One build of a program's stage files: the program itself, or a variant.
struct ProgramBuild {
    std::string name;                  // "scene", or "scene-3" for the third of its variants
    std::string program;               // "sceneProgram"
    std::string defines;               // the variant's #define lines; empty for the program itself
    std::array<std::string, 5> paths;  // stage files in stage order; empty where it has none
};

// Every build that createPrograms() makes, in its order: the four programs, then the variants
// of each.
std::vector<ProgramBuild> programBuilds();

// Start-up, right after the window: builds the four programs from the stage files in srcDir,
// then, printing nothing, the variants (a variant that fails is reported once, with its
// defines, and its draws fall back to the general program).
void createPrograms();
// Start-up, after the scene assembly: looks up every uniform location, program by program and
// row by row, the variants after the four.
void lookUpUniforms();
// Start-up, after the targets: sets the uniforms that the tables set at start-up, in the
// variants too. Leaves sceneProgram in use.
void setConstantUniforms();

#include "render/Programs.h"

#include <cstdio>
#include <string>

#include "assets/Paths.h"
#include "assets/ShaderLoader.h"

Programs programs;

namespace {

// The table's stage files as paths in srcDir, in stage order; empty where it has none.
std::array<std::string, 5> stagePaths(const ProgramTable& table) {
    std::array<std::string, 5> paths;
    for (std::size_t s = 0; s < paths.size(); ++s) {
        if (table.stages[s] != nullptr) paths[s] = joinPath(srcDir, table.stages[s]);
    }
    return paths;
}

const char* pathArgument(const std::string& path) { return path.empty() ? nullptr : path.c_str(); }

// Builds the program with the printing loader.
GLuint buildProgram(const ProgramTable& table) {
    const std::array<std::string, 5> paths = stagePaths(table);
    return loadShaderProgram(pathArgument(paths[0]), pathArgument(paths[1]), pathArgument(paths[2]),
                             pathArgument(paths[3]), pathArgument(paths[4]));
}

// Builds a variant silently: 0 when it does not build, with the reasons in `log`.
GLuint buildVariant(const ProgramTable& table, const std::string& defines, std::string& log) {
    const std::array<std::string, 5> paths = stagePaths(table);
    return buildShaderVariant(pathArgument(paths[0]), pathArgument(paths[1]),
                              pathArgument(paths[2]), pathArgument(paths[3]),
                              pathArgument(paths[4]), defines, log);
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

// The choices a build fixes, each as "NAME VALUE" ("SURFACE SURFACE_MATTE"), in
// kChoiceDefines order.
std::vector<std::string> fixedChoices(const VariantKey& key) {
    std::vector<std::string> choices;
    for (const ChoiceDefine& choice : kChoiceDefines) {
        const int value = key.*choice.field;
        if (value == kAny) continue;
        const bool isSurface = choice.field == &VariantKey::surface;
        choices.push_back(std::string(choice.name) + " " +
                          (isSurface ? surfaceName(value) : std::to_string(value)));
    }
    return choices;
}

// The choices on one line, for a message: "SURFACE SURFACE_SKY, SHADOW_MODE 1".
std::string describeVariant(const VariantKey& key) {
    std::string text;
    for (const std::string& choice : fixedChoices(key)) text += (text.empty() ? "" : ", ") + choice;
    return text;
}

// Builds a program's variants after the program itself. When the program did not link, its
// own log has said why, and the variants (built from the same files) are not tried.
template <ProgramId Id>
std::vector<ShaderVariant<Id>> buildVariants(const ProgramOf<Id>& general) {
    const ProgramTable& table = programTable(Id);
    GLint generalLinked = GL_FALSE;
    glGetProgramiv(general.program, GL_LINK_STATUS, &generalLinked);
    std::vector<ShaderVariant<Id>> variants;
    for (const VariantKey& key : table.variants) {
        ShaderVariant<Id>& variant = variants.emplace_back();
        variant.key = key;
        variant.defines = variantDefines(key);
        variant.program = general;
        if (generalLinked != GL_TRUE) continue;
        std::string log;
        const GLuint program = buildVariant(table, variant.defines, log);
        if (program != 0) {
            variant.program.program = program;
            continue;
        }
        std::printf("The %s variant with %s did not build; its draws use %s itself:\n%s\n",
                    table.name, describeVariant(key).c_str(), table.name, log.c_str());
    }
    return variants;
}

void lookUp(ShaderProgram& build, const ProgramTable& table) {
    build.locations = ShaderProgram::noLocations();
    for (std::size_t row = 0; row < table.uniforms.size(); ++row) {
        build.locations[row] = glGetUniformLocation(build.program, table.uniforms[row].name);
    }
}

void setStartUpValue(GLint location, const UniformRow& row) {
    const UniformValue& value = row.value;
    switch (value.glType) {
        case GL_INT:
            glUniform1i(location, value.integer);
            break;
        case GL_FLOAT:
            glUniform1f(location, value.floats[0]);
            break;
        case GL_FLOAT_VEC2:
            glUniform2fv(location, 1, value.floats.data());
            break;
        default:
            break;
    }
}

}  // namespace

std::string variantDefines(const VariantKey& key) {
    std::string lines;
    for (const std::string& choice : fixedChoices(key)) lines += "#define " + choice + "\n";
    return lines;
}

bool variantServes(const VariantKey& key, const VariantKey& draw) {
    for (const ChoiceDefine& choice : kChoiceDefines) {
        const int fixed = key.*choice.field;
        if (fixed != kAny && fixed != draw.*choice.field) return false;
    }
    return true;
}

VariantKey sceneDraw(ObjectKind kind, int shadowMode, bool textured) {
    return {.surface = surface(kind), .shadowMode = shadowMode, .textured = textured ? 1 : 0};
}

VariantKey reflectionDraw(ObjectKind kind, bool textured) {
    // The cube is seen only in the sphere: every lit kind is shaded alike there.
    const bool ownShading = kind == ObjectKind::SkyWall || kind == ObjectKind::LightCube;
    return {.surface = surface(ownShading ? kind : ObjectKind::Matte),
            .textured = textured ? 1 : 0};
}

VariantKey postDraw(bool motionBlur, bool flare) {
    return {.motionBlur = motionBlur ? 1 : 0, .flare = flare ? 1 : 0};
}

const SceneBuild& sceneProgramFor(ObjectKind kind, int shadowMode, bool textured) {
    return programFor(programs.sceneProgram, programs.sceneVariants,
                      sceneDraw(kind, shadowMode, textured));
}

const ReflectionBuild& reflectionProgramFor(ObjectKind kind, bool textured) {
    return programFor(programs.reflectionProgram, programs.reflectionVariants,
                      reflectionDraw(kind, textured));
}

const PostBuild& postProgramFor(bool motionBlur, bool flare) {
    return programFor(programs.postProgram, programs.postVariants, postDraw(motionBlur, flare));
}

std::vector<ProgramBuild> programBuilds() {
    std::vector<ProgramBuild> builds;
    std::size_t count = kProgramTables.size();
    for (const ProgramTable* table : kProgramTables) count += table->variants.size();
    builds.reserve(count);
    for (const ProgramTable* table : kProgramTables) {
        builds.push_back({table->buildName, table->name, "", stagePaths(*table)});
    }
    for (const ProgramTable* table : kProgramTables) {
        for (std::size_t v = 0; v < table->variants.size(); ++v) {
            builds.push_back({std::string(table->buildName) + "-" + std::to_string(v + 1),
                              table->name, variantDefines(table->variants[v]), stagePaths(*table)});
        }
    }
    return builds;
}

void createPrograms() {
    forEachProgram(programs, [](auto& general, auto&) {
        general.program = buildProgram(programTable(general.id));
    });
    forEachProgram(programs,
                   [](const auto& general, auto& variants) { variants = buildVariants(general); });
}

void lookUpUniforms() {
    forEachProgram(programs,
                   [](auto& general, auto&) { lookUp(general, programTable(general.id)); });
    forEachProgram(programs, [](const auto& general, auto& variants) {
        for (auto& variant : variants) lookUp(variant.program, programTable(general.id));
    });
}

void setConstantUniforms() {
    forEachProgram(programs, [](const auto& general, const auto& variants) {
        const ProgramTable& table = programTable(general.id);
        bool any = false;
        for (const UniformRow& row : table.uniforms) any = any || row.when == SetWhen::AtStartUp;
        if (!any) return;
        forEachBuild(general, variants, [&](const ShaderProgram& build) {
            for (std::size_t row = 0; row < table.uniforms.size(); ++row) {
                if (table.uniforms[row].when != SetWhen::AtStartUp) continue;
                setStartUpValue(build.locations[row], table.uniforms[row]);
            }
        });
    });
    glUseProgram(programs.sceneProgram.program);
}

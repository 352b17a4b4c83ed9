// pelk-stages: writes out the stage texts of every program build that the demo makes (the four
// programs and every variant of the scene, reflection and post passes) exactly as the shader
// loader hands them to the compiler, for an outside compiler to check.
//
//   pelk-stages DIR
//
// Reads the stage files from ./src, as the demo does, and writes DIR/NAME.vert, .tesc, .tese,
// .geom and .frag for the stages that build NAME has ("scene", "scene-3", ...); prints one line
// per build: its name, its program and the #defines of a variant; then the same for the pass
// views' two programs (render/PassViews.h), whose texts are kept in the program itself rather
// than in ./src ("passview-cube", "passview-flat"). The tessellation stages are
// written as a driver with GL 4 or later gets them, the only drivers the demo runs on.
// Exit code 0; 1 when a stage file cannot be read or a text cannot be written; 2 for bad usage.

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "assets/Paths.h"
#include "assets/ShaderLoader.h"
#include "render/PassViews.h"
#include "render/Programs.h"

namespace {

bool writeText(const std::filesystem::path& file, const std::string& text) {
    std::ofstream out(file, std::ios::binary);
    out << text;
    if (out.flush()) return true;
    std::fprintf(stderr, "pelk-stages: cannot write %s\n", file.c_str());
    return false;
}

// The stage names that glslangValidator tells stages by, in stage order.
constexpr const char* kExtensions[] = {"vert", "tesc", "tese", "geom", "frag"};

// "#define A 1\n#define B 2\n" as "#define A 1; #define B 2".
std::string oneLine(const std::string& defines) {
    std::string line;
    for (char c : defines) line += c == '\n' ? "; " : std::string(1, c);
    return line.substr(0, line.size() >= 2 ? line.size() - 2 : 0);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: pelk-stages DIR\n");
        return 2;
    }
    const std::filesystem::path dir = argv[1];
    std::error_code error;
    std::filesystem::create_directories(dir, error);
    int status = 0;
    for (const ProgramBuild& build : programBuilds()) {
        for (std::size_t s = 0; s < build.paths.size(); ++s) {
            const std::string& path = build.paths[s];
            if (path.empty()) continue;
            if (fileKind(path.c_str()) != FileKind::Regular) {
                std::fprintf(stderr, "pelk-stages: cannot read %s\n", path.c_str());
                status = 1;
                continue;
            }
            const std::string text =
                compiledStageText(readShaderSource(path.c_str()), build.defines);
            if (!writeText(dir / (build.name + "." + kExtensions[s]), text)) status = 1;
        }
        std::printf("%s: %s%s%s\n", build.name.c_str(), build.program.c_str(),
                    build.defines.empty() ? "" : " with ", oneLine(build.defines).c_str());
    }
    for (const bool cube : {true, false}) {
        const std::string name = cube ? "passview-cube" : "passview-flat";
        if (!writeText(dir / (name + ".vert"), passViewVertexText()) ||
            !writeText(dir / (name + ".frag"), passViewFragmentText(cube))) {
            status = 1;
        }
        std::printf("%s: the pass views with #define CUBE %d\n", name.c_str(), cube ? 1 : 0);
    }
    return status;
}

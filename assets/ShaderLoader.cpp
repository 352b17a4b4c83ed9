#include "assets/ShaderLoader.h"

#include <GL/glew.h>

#include <cstdio>
#include <fstream>
#include <vector>

#include "app/Platform.h"
#include "assets/Paths.h"

std::string readShaderSource(const char* path) {
    std::string source;
    // Anything but a regular file counts as missing.
    if (path == nullptr || fileKind(path) != FileKind::Regular) return source;
    std::ifstream file(path);
    if (!file.is_open()) return source;
    std::string line;
    while (std::getline(file, line)) {
        // Files written with CR LF line ends give the same text as their LF twins.
        if (!line.empty() && line.back() == '\r') line.pop_back();
        source += "\n";
        source += line;
    }
    return source;
}

namespace {

// Prints the stage's compiling line, compiles it and prints its log when there is one. The
// compile status is not consulted: the log is the report.
void compileStage(GLuint shader, const char* path, const std::string& source) {
    std::printf("Compiling shader : %s\n", path);
    const char* text = source.c_str();
    glShaderSource(shader, 1, &text, nullptr);
    glCompileShader(shader);
    GLint logLength = 0;
    glGetShaderiv(shader, GL_INFO_LOG_LENGTH, &logLength);
    if (logLength > 0) {
        std::vector<char> log(static_cast<std::size_t>(logLength), '\0');
        glGetShaderInfoLog(shader, logLength, nullptr, log.data());
        std::printf("%s\n", log.data());
    }
}

void buildStage(GLuint shader, const char* path, GLuint program) {
    compileStage(shader, path, readShaderSource(path));
    glAttachShader(program, shader);
}

}  // namespace

std::uint32_t loadShaderProgram(const char* vertexPath, const char* tessControlPath,
                                const char* tessEvaluationPath, const char* geometryPath,
                                const char* fragmentPath) {
    // All shader objects exist before any file is read; absent stages are created but never
    // compiled or attached, and deleted with the others at the end. The version is decided
    // once, so the objects that are used and deleted are exactly those that were created.
    const bool tessellationCapable = glVersionAtLeast4();
    GLuint vertexShader = glCreateShader(GL_VERTEX_SHADER);
    GLuint tessControlShader = 0;
    GLuint tessEvaluationShader = 0;
    if (tessellationCapable) {
        tessControlShader = glCreateShader(GL_TESS_CONTROL_SHADER);
        tessEvaluationShader = glCreateShader(GL_TESS_EVALUATION_SHADER);
    }
    GLuint geometryShader = glCreateShader(GL_GEOMETRY_SHADER);
    GLuint fragmentShader = glCreateShader(GL_FRAGMENT_SHADER);
    GLuint program = glCreateProgram();

    if (vertexPath != nullptr) buildStage(vertexShader, vertexPath, program);
    // The tessellation stages come as a pair or not at all: both read, both compiled, then
    // both attached.
    if (tessellationCapable && tessControlPath != nullptr && tessEvaluationPath != nullptr) {
        const std::string controlSource = readShaderSource(tessControlPath);
        const std::string evaluationSource = readShaderSource(tessEvaluationPath);
        compileStage(tessControlShader, tessControlPath, controlSource);
        compileStage(tessEvaluationShader, tessEvaluationPath, evaluationSource);
        glAttachShader(program, tessControlShader);
        glAttachShader(program, tessEvaluationShader);
    }
    if (geometryPath != nullptr) buildStage(geometryShader, geometryPath, program);
    if (fragmentPath != nullptr) buildStage(fragmentShader, fragmentPath, program);

    std::printf("Linking program\n");
    glLinkProgram(program);
    GLint logLength = 0;
    glGetProgramiv(program, GL_INFO_LOG_LENGTH, &logLength);
    std::vector<char> log(static_cast<std::size_t>(logLength > 1 ? logLength : 1), '\0');
    glGetProgramInfoLog(program, logLength, nullptr, log.data());
    std::printf("%s\n", log.data());

    glDeleteShader(vertexShader);
    if (tessellationCapable) {
        glDeleteShader(tessControlShader);
        glDeleteShader(tessEvaluationShader);
    }
    glDeleteShader(geometryShader);
    glDeleteShader(fragmentShader);
    return program;
}

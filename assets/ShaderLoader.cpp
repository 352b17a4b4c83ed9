#include "assets/ShaderLoader.h"

#include <GL/glew.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "assets/Paths.h"
#include "core/Platform.h"

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
        // Nor does the byte-order mark that some editors put at the start of a UTF-8 file.
        if (source.empty() && line.rfind("\xEF\xBB\xBF", 0) == 0) line.erase(0, 3);
        source += "\n";
        source += line;
    }
    return source;
}

namespace {

// A shader or program object's info log through the matching pair of GL queries, and the
// length that GL reported for it (0: no log at all).
struct InfoLog {
    GLint length = 0;
    std::string text;
};

InfoLog infoLog(GLuint object, PFNGLGETSHADERIVPROC getLength, PFNGLGETSHADERINFOLOGPROC getLog) {
    InfoLog log;
    getLength(object, GL_INFO_LOG_LENGTH, &log.length);
    std::vector<char> message(static_cast<std::size_t>(log.length > 1 ? log.length : 1), '\0');
    getLog(object, log.length, nullptr, message.data());
    log.text = message.data();
    return log;
}

// How a build reports. The four programs print as they go: a compiling line per stage, every
// stage's log, "Linking program" and the link log, whatever the outcome. A variant prints
// nothing; the logs of what failed go to `failures`, and a failure gives no program.
struct Reporting {
    std::string_view defines;         // inserted after each stage's #version line
    std::string* failures = nullptr;  // null: print on the console
    bool printing() const { return failures == nullptr; }
};

// Compiles one stage from its source text; reports as the build does. Returns whether it
// compiled. The caller attaches it, whatever the outcome.
bool compileStage(GLuint shader, const char* path, const std::string& source,
                  const Reporting& reporting) {
    if (reporting.printing()) std::printf("Compiling shader : %s\n", path);
    const std::string text = compiledStageText(source, reporting.defines);
    const char* chars = text.c_str();
    glShaderSource(shader, 1, &chars, nullptr);
    glCompileShader(shader);
    GLint compiled = GL_FALSE;
    glGetShaderiv(shader, GL_COMPILE_STATUS, &compiled);
    const InfoLog log = infoLog(shader, glGetShaderiv, glGetShaderInfoLog);
    if (reporting.printing()) {
        if (log.length > 0) std::printf("%s\n", log.text.c_str());
    } else if (compiled != GL_TRUE) {
        *reporting.failures += std::string(path) + ": " + log.text;
    }
    return compiled == GL_TRUE;
}

// The one way a program is built from its stage files. All shader objects exist before any
// file is read; absent stages are created but never compiled or attached, and deleted with the
// others at the end. The version is decided once, so the objects that are used and deleted are
// exactly those that were created.
GLuint buildProgram(const char* vertexPath, const char* tessControlPath,
                    const char* tessEvaluationPath, const char* geometryPath,
                    const char* fragmentPath, const Reporting& reporting) {
    const bool tessellationCapable = glVersionAtLeast4();
    const GLuint vertexShader = glCreateShader(GL_VERTEX_SHADER);
    GLuint tessControlShader = 0;
    GLuint tessEvaluationShader = 0;
    if (tessellationCapable) {
        tessControlShader = glCreateShader(GL_TESS_CONTROL_SHADER);
        tessEvaluationShader = glCreateShader(GL_TESS_EVALUATION_SHADER);
    }
    const GLuint geometryShader = glCreateShader(GL_GEOMETRY_SHADER);
    const GLuint fragmentShader = glCreateShader(GL_FRAGMENT_SHADER);
    const GLuint program = glCreateProgram();

    bool compiled = true;
    auto compile = [&](GLuint shader, const char* path, const std::string& source) {
        compiled = compileStage(shader, path, source, reporting) && compiled;
    };
    auto stage = [&](GLuint shader, const char* path) {
        compile(shader, path, readShaderSource(path));
        glAttachShader(program, shader);
    };
    if (vertexPath != nullptr) stage(vertexShader, vertexPath);
    // The tessellation stages come as a pair or not at all: both read, both compiled, then
    // both attached.
    if (tessellationCapable && tessControlPath != nullptr && tessEvaluationPath != nullptr) {
        const std::string controlSource = readShaderSource(tessControlPath);
        const std::string evaluationSource = readShaderSource(tessEvaluationPath);
        compile(tessControlShader, tessControlPath, controlSource);
        compile(tessEvaluationShader, tessEvaluationPath, evaluationSource);
        glAttachShader(program, tessControlShader);
        glAttachShader(program, tessEvaluationShader);
    }
    if (geometryPath != nullptr) stage(geometryShader, geometryPath);
    if (fragmentPath != nullptr) stage(fragmentShader, fragmentPath);

    bool linked = false;
    if (reporting.printing()) {
        std::printf("Linking program\n");
        glLinkProgram(program);
        std::printf("%s\n", infoLog(program, glGetProgramiv, glGetProgramInfoLog).text.c_str());
    } else if (compiled) {
        glLinkProgram(program);
        GLint status = GL_FALSE;
        glGetProgramiv(program, GL_LINK_STATUS, &status);
        linked = status == GL_TRUE;
        if (!linked)
            *reporting.failures += infoLog(program, glGetProgramiv, glGetProgramInfoLog).text;
    }

    glDeleteShader(vertexShader);
    if (tessellationCapable) {
        glDeleteShader(tessControlShader);
        glDeleteShader(tessEvaluationShader);
    }
    glDeleteShader(geometryShader);
    glDeleteShader(fragmentShader);
    if (reporting.printing() || linked) return program;
    glDeleteProgram(program);
    return 0;
}

}  // namespace

std::uint32_t loadShaderProgram(const char* vertexPath, const char* tessControlPath,
                                const char* tessEvaluationPath, const char* geometryPath,
                                const char* fragmentPath) {
    return buildProgram(vertexPath, tessControlPath, tessEvaluationPath, geometryPath, fragmentPath,
                        Reporting{});
}

std::string compiledStageText(const std::string& source, std::string_view defines) {
    return defines.empty() ? source : insertDefines(source, defines);
}

std::string insertDefines(const std::string& source, std::string_view defines) {
    // Lines of the source text are numbered from 1, the leading newline making line 1 empty.
    std::size_t lineStart = 0;
    int lineNumber = 1;
    while (lineStart <= source.size()) {
        std::size_t lineEnd = source.find('\n', lineStart);
        if (lineEnd == std::string::npos) lineEnd = source.size();
        const std::size_t text = source.find_first_not_of(" \t", lineStart);
        if (text != std::string::npos && text < lineEnd &&
            source.compare(text, 8, "#version") == 0) {
            // "#line n" numbers the next line n from GLSL 3.30 on, and n + 1 before it.
            const int version = std::atoi(source.c_str() + text + 8);
            const int next = version >= 330 ? lineNumber + 1 : lineNumber;
            return source.substr(0, lineEnd) + "\n" + std::string(defines) + "#line " +
                   std::to_string(next) + source.substr(lineEnd);
        }
        if (lineEnd == source.size()) break;
        lineStart = lineEnd + 1;
        ++lineNumber;
    }
    // No #version line (GLSL 1.10, where "#line n" numbers the next line n + 1): the defines
    // come first, and the text keeps its numbering from line 1.
    return std::string(defines) + "#line 0\n" + source;
}

std::uint32_t buildShaderVariant(const char* vertexPath, const char* tessControlPath,
                                 const char* tessEvaluationPath, const char* geometryPath,
                                 const char* fragmentPath, std::string_view defines,
                                 std::string& log) {
    return buildProgram(vertexPath, tessControlPath, tessEvaluationPath, geometryPath, fragmentPath,
                        Reporting{defines, &log});
}

#include "assets/ShaderLoader.h"

#include <GL/glew.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
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
        // Nor does the byte-order mark that some editors put at the start of a UTF-8 file.
        if (source.empty() && line.rfind("\xEF\xBB\xBF", 0) == 0) line.erase(0, 3);
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

namespace {

// The info log of a shader or program object, through the matching pair of GL queries.
std::string infoLog(GLuint object, PFNGLGETSHADERIVPROC getLength,
                    PFNGLGETSHADERINFOLOGPROC getLog) {
    GLint length = 0;
    getLength(object, GL_INFO_LOG_LENGTH, &length);
    std::vector<char> message(static_cast<std::size_t>(length > 1 ? length : 1), '\0');
    getLog(object, length, nullptr, message.data());
    return message.data();
}

// Compiles one stage of a variant and attaches it; false, with the compiler's log appended to
// `log`, when it does not compile.
bool compileVariantStage(GLenum stage, const char* path, std::string_view defines, GLuint program,
                         std::string& log) {
    const GLuint shader = glCreateShader(stage);
    const std::string source = insertDefines(readShaderSource(path), defines);
    const char* text = source.c_str();
    glShaderSource(shader, 1, &text, nullptr);
    glCompileShader(shader);
    GLint compiled = GL_FALSE;
    glGetShaderiv(shader, GL_COMPILE_STATUS, &compiled);
    if (compiled != GL_TRUE) {
        log += std::string(path) + ": " + infoLog(shader, glGetShaderiv, glGetShaderInfoLog);
    }
    glAttachShader(program, shader);
    glDeleteShader(shader);  // lives on, attached, until the program goes
    return compiled == GL_TRUE;
}

}  // namespace

std::uint32_t buildShaderVariant(const char* vertexPath, const char* tessControlPath,
                                 const char* tessEvaluationPath, const char* geometryPath,
                                 const char* fragmentPath, std::string_view defines,
                                 std::string& log) {
    const bool tessellation =
        glVersionAtLeast4() && tessControlPath != nullptr && tessEvaluationPath != nullptr;
    const struct {
        GLenum stage;
        const char* path;
    } stages[] = {{GL_VERTEX_SHADER, vertexPath},
                  {GL_TESS_CONTROL_SHADER, tessellation ? tessControlPath : nullptr},
                  {GL_TESS_EVALUATION_SHADER, tessellation ? tessEvaluationPath : nullptr},
                  {GL_GEOMETRY_SHADER, geometryPath},
                  {GL_FRAGMENT_SHADER, fragmentPath}};
    const GLuint program = glCreateProgram();
    bool compiled = true;
    for (const auto& stage : stages) {
        if (stage.path == nullptr) continue;
        compiled = compileVariantStage(stage.stage, stage.path, defines, program, log) && compiled;
    }
    GLint linked = GL_FALSE;
    if (compiled) {
        glLinkProgram(program);
        glGetProgramiv(program, GL_LINK_STATUS, &linked);
        if (linked != GL_TRUE) log += infoLog(program, glGetProgramiv, glGetProgramInfoLog);
    }
    if (linked == GL_TRUE) return program;
    glDeleteProgram(program);
    return 0;
}

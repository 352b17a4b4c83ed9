#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// Builds one linked program from up to five stage files (null = stage absent), in stage order
// vertex, tessellation control, tessellation evaluation, geometry, fragment. Prints a
// "Compiling shader : <path>" line and the log of each present stage, "Linking program" and
// the link log. Never fails: whatever the files hold, a program name comes back.
std::uint32_t loadShaderProgram(const char* vertexPath, const char* tessControlPath,
                                const char* tessEvaluationPath, const char* geometryPath,
                                const char* fragmentPath);

// A stage file's source text: a newline before every line of the file, none at the end, so
// compiler line numbers are one above the file's. A file that cannot be opened, or that is not a
// regular file (a pipe, a device, a folder), gives "".
std::string readShaderSource(const char* path);

// The source text with `defines` (whole lines, each ended by a newline) inserted right after its
// #version line, or at the start when it has none, and a #line directive after them, so that
// the compiler numbers every other line as it does without them.
std::string insertDefines(const std::string& source, std::string_view defines);

// The text a stage is compiled from: its file's source text (readShaderSource), with a variant's
// `defines` inserted when there are any.
std::string compiledStageText(const std::string& source, std::string_view defines);

// Builds the same program as loadShaderProgram from the same stage files, each with `defines`
// inserted after its #version line, and prints nothing. Returns 0, and the logs of what failed
// in `log`, when a stage does not compile or the program does not link.
std::uint32_t buildShaderVariant(const char* vertexPath, const char* tessControlPath,
                                 const char* tessEvaluationPath, const char* geometryPath,
                                 const char* fragmentPath, std::string_view defines,
                                 std::string& log);

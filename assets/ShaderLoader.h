#pragma once

#include <cstdint>
#include <string>

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

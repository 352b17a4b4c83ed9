#pragma once

#include <string>

// Resource folders below the working directory; the demo runs from the repository root.
extern const std::string rootDir;      // "."
extern const std::string resDir;       // rootDir/res
extern const std::string modelsDir;    // resDir/models
extern const std::string texturesDir;  // resDir/textures
extern const std::string srcDir;       // rootDir/src

// A file in a folder: the folder, the platform separator, the file name.
std::string joinPath(const std::string& folder, const std::string& file);

// What a path names, links followed. The loaders read regular files only: opening a pipe waits
// for a writer (for good, at start-up) and a device may never end.
enum class FileKind { Missing, Regular, Other };
FileKind fileKind(const char* path);

#pragma once

#include <string>
#include <vector>

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

// Whether the working directory holds the resource folders ./src and ./res, checked before
// anything is read. When it holds neither (the program was started from another folder) and
// `builtFrom` (the source tree the program was built from; may be empty) holds both,
// `useInstead` names that folder. `message` is the one line to print, without its newline, or
// empty when both folders are there.
struct ResourceFolderCheck {
    std::string message;
    std::string useInstead;
};
ResourceFolderCheck checkResourceFolders(const std::string& workingDir,
                                         const std::string& builtFrom);

// Whether the working directory's modelsDir holds the mesh files named (`files`, names within
// modelsDir), each a regular file that can be opened for reading, checked before anything is
// read: an empty ./res, one without its models folder, or a models folder that is a link loop
// would otherwise give a scene of nothing but the sky. The one line to print (no newline), or
// empty when every file is there: "./res in DIR lacks the scene's meshes: 8 of 8 cannot be read
// (./res/models/sphere.3ds: No such file or directory)".
std::string checkMeshFiles(const std::string& workingDir, const std::vector<std::string>& files);

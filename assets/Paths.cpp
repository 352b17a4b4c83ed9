#include "assets/Paths.h"

#include <filesystem>

// The folders join with '/', the separator of the platforms we run on.
const std::string rootDir = ".";
const std::string resDir = rootDir + "/" + "res";
const std::string modelsDir = resDir + "/" + "models";
const std::string texturesDir = resDir + "/" + "textures";
const std::string srcDir = rootDir + "/" + "src";

std::string joinPath(const std::string& folder, const std::string& file) {
    return folder + "/" + file;
}

FileKind fileKind(const char* path) {
    std::error_code error;
    const std::filesystem::file_status status = std::filesystem::status(path, error);
    if (!std::filesystem::exists(status)) return FileKind::Missing;
    return std::filesystem::is_regular_file(status) ? FileKind::Regular : FileKind::Other;
}

ResourceFolderCheck checkResourceFolders(const std::string& workingDir,
                                         const std::string& builtFrom) {
    namespace fs = std::filesystem;
    const auto holds = [](const std::string& dir, const std::string& folder) {
        std::error_code error;
        return !dir.empty() && fs::is_directory(joinPath(dir, folder), error);
    };
    const bool hasSrc = holds(workingDir, "src");
    const bool hasRes = holds(workingDir, "res");
    if (hasSrc && hasRes) return {};
    if (hasSrc) {
        return {"./res is missing in " + workingDir + ": the meshes and pictures cannot be read",
                ""};
    }
    if (hasRes) {
        return {"./src is missing in " + workingDir +
                    ": the stage files cannot be read, so no program will build",
                ""};
    }
    if (holds(builtFrom, "src") && holds(builtFrom, "res")) {
        return {"./src and ./res are missing in " + workingDir + "; reading them from " +
                    builtFrom + ", where this program was built",
                builtFrom};
    }
    return {"./src and ./res are missing in " + workingDir +
                ": the stage files, meshes and pictures cannot be read; start the program from "
                "the folder that holds them",
            ""};
}

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

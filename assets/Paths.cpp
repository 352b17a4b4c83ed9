#include "assets/Paths.h"

// The folders join with '/', the separator of the platforms we run on.
const std::string rootDir = ".";
const std::string resDir = rootDir + "/" + "res";
const std::string modelsDir = resDir + "/" + "models";
const std::string texturesDir = resDir + "/" + "textures";
const std::string srcDir = rootDir + "/" + "src";

std::string joinPath(const std::string& folder, const std::string& file) {
    return folder + "/" + file;
}

#include "app/StartFolder.h"

#include <cstdio>
#include <filesystem>

#include "assets/Paths.h"
#include "scene/Assembly.h"

void lineBufferedOutput() { std::setvbuf(stdout, nullptr, _IOLBF, BUFSIZ); }

void findResourceFolders(const char* builtFrom) {
    std::error_code error;
    std::filesystem::path workingDir = std::filesystem::current_path(error);
    if (error) return;  // a working directory that was deleted: the loaders say what fails
    const ResourceFolderCheck check =
        checkResourceFolders(workingDir.string(), builtFrom != nullptr ? builtFrom : "");
    if (!check.message.empty()) {
        std::printf("%s\n", check.message.c_str());
        if (check.useInstead.empty()) return;
        std::filesystem::current_path(check.useInstead, error);
        if (error) {
            std::printf("Could not change to %s: %s\n", check.useInstead.c_str(),
                        error.message().c_str());
            return;
        }
        workingDir = check.useInstead;
    }
    const std::string meshes = checkMeshFiles(workingDir.string(), sceneMeshFiles());
    if (!meshes.empty()) std::printf("%s\n", meshes.c_str());
}

std::string toolResourceProblem() {
    std::error_code error;
    const std::string here = std::filesystem::current_path(error).string();
    const ResourceFolderCheck check = checkResourceFolders(here, "");
    if (!check.message.empty()) return check.message;
    return checkMeshFiles(here, sceneMeshFiles());
}

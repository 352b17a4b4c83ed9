#include "app/StartFolder.h"

#include <cstdio>
#include <filesystem>

#include "assets/Paths.h"

void lineBufferedOutput() { std::setvbuf(stdout, nullptr, _IOLBF, BUFSIZ); }

void findResourceFolders(const char* builtFrom) {
    std::error_code error;
    const std::filesystem::path workingDir = std::filesystem::current_path(error);
    if (error) return;  // a working directory that was deleted: the loaders say what fails
    const ResourceFolderCheck check =
        checkResourceFolders(workingDir.string(), builtFrom != nullptr ? builtFrom : "");
    if (check.message.empty()) return;
    std::printf("%s\n", check.message.c_str());
    if (check.useInstead.empty()) return;
    std::filesystem::current_path(check.useInstead, error);
    if (error) {
        std::printf("Could not change to %s: %s\n", check.useInstead.c_str(),
                    error.message().c_str());
    }
}

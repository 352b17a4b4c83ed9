#include "assets/Paths.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <optional>

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

namespace {

// Why a file cannot be read as a regular file, or nothing.
std::optional<std::string> whyUnreadable(const std::string& path) {
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return std::string(std::strerror(errno));
    struct stat info {};
    const bool regular = fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
    close(fd);
    if (!regular) return std::string("not a file");
    return std::nullopt;
}

}  // namespace

std::string checkMeshFiles(const std::string& workingDir, const std::vector<std::string>& files) {
    std::size_t unreadable = 0;
    std::string first;
    for (const std::string& file : files) {
        const std::string path = joinPath(modelsDir, file);
        const std::optional<std::string> why = whyUnreadable(joinPath(workingDir, path));
        if (!why) continue;
        if (unreadable++ == 0) first = path + ": " + *why;
    }
    if (unreadable == 0) return "";
    return "./res in " + workingDir + " lacks the scene's meshes: " + std::to_string(unreadable) +
           " of " + std::to_string(files.size()) + " cannot be read (" + first + ")";
}

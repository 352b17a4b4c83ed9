#include "tools/capture/Files.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

namespace {

// rw-rw-rw- less the umask: the file as any new file of the user.
constexpr mode_t kNewFileMode = 0666;

}  // namespace

std::string folderOf(const std::string& path) {
    const std::filesystem::path folder = std::filesystem::path(path).parent_path();
    return folder.empty() ? "." : folder.string();
}

std::string createTemporaryBeside(const std::string& path) {
    std::string name = folderOf(path);
    name += "/.";
    name += std::filesystem::path(path).filename().string();
    name += ".XXXXXX";
    const int fd = mkstemp(name.data());
    if (fd < 0) return "";
    const mode_t mask = umask(0);
    umask(mask);
    fchmod(fd, kNewFileMode & ~mask);
    close(fd);
    return name;
}

bool writeFileWhole(const std::string& path, const std::function<bool(std::FILE*)>& write,
                    std::string& why) {
    const std::string temporary = createTemporaryBeside(path);
    if (temporary.empty()) {
        why = std::string("cannot make a file in ") + folderOf(path) + ": " + std::strerror(errno);
        return false;
    }
    std::FILE* file = std::fopen(temporary.c_str(), "wb");
    bool written = file != nullptr;
    int error = written ? 0 : errno;
    // The data on the disk before the rename, so that an error the kernel meets only when it
    // writes back (a full disk on some file systems) is seen here rather than lost.
    if (written && !(write(file) && std::fflush(file) == 0 && fsync(fileno(file)) == 0)) {
        written = false;
        error = errno;
    }
    if (file != nullptr && std::fclose(file) != 0 && written) {
        written = false;
        error = errno;
    }
    if (written && std::rename(temporary.c_str(), path.c_str()) != 0) {
        written = false;
        error = errno;
    }
    if (written) return true;
    why = error != 0 ? std::strerror(error) : "the data could not be written";
    std::remove(temporary.c_str());
    return false;
}

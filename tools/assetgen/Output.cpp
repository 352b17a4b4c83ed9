#include "Output.h"

#include <unistd.h>

#include <filesystem>
#include <system_error>

bool writeAtomically(const std::string& path,
                     const std::function<bool(const std::string& temporary)>& write) {
    // The process id keeps two generators that write the same folder apart.
    const std::string temporary = path + ".tmp" + std::to_string(static_cast<long>(getpid()));
    std::error_code error;
    if (!write(temporary)) {
        std::filesystem::remove(temporary, error);
        return false;
    }
    std::filesystem::rename(temporary, path, error);
    if (error) {
        std::filesystem::remove(temporary, error);
        return false;
    }
    return true;
}

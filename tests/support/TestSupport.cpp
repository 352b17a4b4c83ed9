#include "support/TestSupport.h"

#include <atomic>
#include <fstream>
#include <random>
#include <unistd.h>

namespace fs = std::filesystem;

TempDir::TempDir() {
    static std::atomic<int> counter{0};
    std::random_device random;
    path_ = fs::temp_directory_path() /
            ("pelk-test-" + std::to_string(::getpid()) + "-" + std::to_string(counter++) + "-" +
             std::to_string(random()));
    fs::create_directories(path_);
}

TempDir::~TempDir() {
    std::error_code ignored;
    fs::remove_all(path_, ignored);
}

std::string TempDir::write(const std::string& name, const std::string& bytes) const {
    const fs::path file = path_ / name;
    fs::create_directories(file.parent_path());
    std::ofstream out(file, std::ios::binary);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return file.string();
}

std::string TempDir::write(const std::string& name, const std::vector<unsigned char>& bytes) const {
    return write(name, std::string(bytes.begin(), bytes.end()));
}

ScopedWorkingDir::ScopedWorkingDir(const fs::path& dir) : previous_(fs::current_path()) {
    fs::current_path(dir);
}

ScopedWorkingDir::~ScopedWorkingDir() {
    std::error_code ignored;
    fs::current_path(previous_, ignored);
}

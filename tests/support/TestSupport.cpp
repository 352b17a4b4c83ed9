#include "support/TestSupport.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <fstream>
#include <random>

namespace fs = std::filesystem;

TempDir::TempDir() {
    static std::atomic<int> counter{0};
    std::random_device random;
    path_ =
        fs::temp_directory_path() / ("pelk-test-" + std::to_string(::getpid()) + "-" +
                                     std::to_string(counter++) + "-" + std::to_string(random()));
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

PipeWithWriter::PipeWithWriter(const TempDir& dir, const std::string& name, std::string bytes)
    : path_((dir.path() / name).string()) {
    if (::mkfifo(path_.c_str(), 0600) != 0) {
        ADD_FAILURE() << "could not make a named pipe at " << path_;
        return;
    }
    writer_ = std::thread([path = path_, bytes = std::move(bytes)] {
        std::ofstream out(path, std::ios::binary);  // waits for a reader
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    });
}

PipeWithWriter::~PipeWithWriter() {
    if (!writer_.joinable()) return;
    // A reader that does not wait for a writer: lets a writer still waiting for one go on.
    const int reader = ::open(path_.c_str(), O_RDONLY | O_NONBLOCK);
    writer_.join();
    if (reader >= 0) ::close(reader);
}

ChildEnd runInChild(const std::function<void()>& body) {
    int fds[2];
    ChildEnd end;
    if (pipe(fds) != 0) return end;
    std::fflush(stdout);
    std::fflush(stderr);
    const pid_t child = fork();
    if (child == 0) {
        close(fds[0]);
        dup2(fds[1], STDERR_FILENO);
        // The child must not go on into the rest of the suite, whatever `body` does.
        try {
            body();
        } catch (...) {
            std::fputs("an exception left the child's body\n", stderr);
            _exit(kChildThrew);
        }
        std::fflush(stdout);
        _exit(0);
    }
    close(fds[1]);
    char buffer[512];
    ssize_t got = 0;
    while ((got = read(fds[0], buffer, sizeof buffer)) > 0) {
        end.errors.append(buffer, static_cast<std::size_t>(got));
    }
    close(fds[0]);
    int status = 0;
    waitpid(child, &status, 0);
    end.exited = WIFEXITED(status);
    end.code = end.exited ? WEXITSTATUS(status) : 0;
    end.signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
    return end;
}
